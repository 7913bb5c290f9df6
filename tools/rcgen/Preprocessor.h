// The preprocessor of the resource-script language: comments, #include,
// object-like #define/#undef, #if/#ifdef/#ifndef/#elif/#else/#endif and
// #pragma code_page, producing the token stream the parser reads.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Tokens.h"

namespace rcgen {

class Preprocessor {
public:
    // `includeDirs` are searched after the including file's own folder.
    explicit Preprocessor(std::vector<std::string> includeDirs);

    // Tokens of the whole script with every macro expanded.
    // Throws ScriptError on the first problem.
    std::vector<Token> Run(const std::string& path);

    // Whether a macro is defined (used for #if defined and by tests).
    bool IsDefined(const std::string& name) const { return m_macros.count(name) != 0; }

private:
    void ProcessFile(const std::string& path, const std::string& fromFile, int fromLine, int depth);
    void Directive(const std::string& body, const std::string& file, int line, const std::string& folder,
                   int depth);
    void Tokenize(const std::string& text, const std::string& file, int line, std::vector<Token>& out) const;
    void Expand(const Token& token, std::vector<Token>& out, std::set<std::string>& active) const;
    bool Active() const;
    bool EvaluateCondition(const std::string& expr, const std::string& file, int line) const;
    void DefineBuiltins();

    struct Conditional {
        bool taking;     // this branch is taken
        bool taken;      // some branch of this #if was taken already
        bool sawElse;
        int line;
    };

    std::vector<std::string> m_includeDirs;
    std::map<std::string, std::vector<Token>> m_macros;
    std::vector<Conditional> m_conditions;
    std::vector<Token> m_tokens;
    bool m_builtinsLoaded = false;
};

// The numeric Windows constants a resource script gets from the system
// headers (window, dialog and control styles, language ids, ...).
const std::vector<std::pair<const char*, uint32_t>>& BuiltinConstants();

} // namespace rcgen
