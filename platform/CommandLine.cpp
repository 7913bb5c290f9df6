#include "platform/CommandLine.h"

namespace platform {

namespace {

bool IsBlank(char16_t ch)
{
    return ch == u' ' || ch == u'\t';
}

} // namespace

std::vector<CString> SplitCommandLine(const CString& commandLine)
{
    std::vector<CString> tokens;
    const std::u16string& line = commandLine.Str();
    const size_t n = line.size();
    size_t i = 0;

    bool onlyBlanks = true;
    for (char16_t ch : line)
        if (!IsBlank(ch)) {
            onlyBlanks = false;
            break;
        }
    if (onlyBlanks)
        return tokens;

    // The program token: quotes only switch blanks on and off as part of
    // the name; backslashes are plain characters.
    std::u16string program;
    bool programQuoted = false;
    while (i < n && (programQuoted || !IsBlank(line[i]))) {
        if (line[i] == u'"')
            programQuoted = !programQuoted;
        else
            program += line[i];
        ++i;
    }
    tokens.emplace_back(program);

    for (;;) {
        while (i < n && IsBlank(line[i]))
            ++i;
        if (i >= n)
            break;

        std::u16string arg;
        bool inQuotes = false;
        while (i < n && (inQuotes || !IsBlank(line[i]))) {
            if (line[i] == u'\\') {
                size_t backslashes = 0;
                while (i < n && line[i] == u'\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < n && line[i] == u'"') {
                    arg.append(backslashes / 2, u'\\');
                    if (backslashes % 2 == 1) {
                        arg += u'"';
                        ++i;
                    }
                    // An even count leaves the quote to the branch below.
                } else {
                    arg.append(backslashes, u'\\');
                }
            } else if (line[i] == u'"') {
                if (inQuotes && i + 1 < n && line[i + 1] == u'"') {
                    arg += u'"'; // "" inside quotes: a literal quote
                    i += 2;
                } else {
                    inQuotes = !inQuotes;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        tokens.emplace_back(arg);
    }
    return tokens;
}

CString QuoteArgument(const CString& argument, bool always)
{
    const std::u16string& arg = argument.Str();
    if (!always && !arg.empty() && arg.find_first_of(u" \t\"") == std::u16string::npos)
        return argument;

    std::u16string quoted = u"\"";
    size_t backslashes = 0;
    for (char16_t ch : arg) {
        if (ch == u'\\') {
            ++backslashes;
            continue;
        }
        if (ch == u'"') {
            // Backslashes before a quote are doubled, then the quote escaped.
            quoted.append(backslashes * 2 + 1, u'\\');
        } else {
            quoted.append(backslashes, u'\\');
        }
        backslashes = 0;
        quoted += ch;
    }
    // Backslashes before the closing quote are doubled too.
    quoted.append(backslashes * 2, u'\\');
    quoted += u'"';
    return CString(quoted);
}

} // namespace platform
