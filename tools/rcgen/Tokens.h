// Tokens of the resource-script language after preprocessing, and the
// error type every stage reports with its file and line.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace rcgen {

enum class TokenKind { Identifier, Number, String, Punct, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;       // identifier / punctuation as written; string literals: raw spelling
    std::u16string str;     // decoded text of a string literal
    uint32_t number = 0;    // value of a number
    bool longNumber = false; // number written with an L suffix (a 32-bit value in version blocks)
    std::string file;
    int line = 0;
};

// A problem in the input, reported as "file(line): error: message".
class ScriptError : public std::runtime_error {
public:
    ScriptError(const std::string& file, int line, const std::string& message)
        : std::runtime_error(file + "(" + std::to_string(line) + "): error: " + message)
    {
    }
};

// Reads the whole file; throws ScriptError (with the including location)
// when it cannot be read.
std::string ReadWholeFile(const std::string& path, const std::string& fromFile, int fromLine);

// UTF-8 to UTF-16; invalid sequences are reported as errors at `line`.
std::u16string Utf8ToUtf16(const std::string& text, const std::string& file, int line);

} // namespace rcgen
