#include "Preprocessor.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace rcgen {

namespace {

constexpr int kMaxIncludeDepth = 32;

// System headers whose constants we know; including one makes them defined.
const char* const kSystemHeaders[] = {"windows.h", "winres.h", "winresrc.h", "afxres.h", "commctrl.h",
                                      "winuser.h", "winuser.rh", "commctrl.rh", "winver.h", "verrsrc.h",
                                      "winnt.h", "winnt.rh", "dlgs.h"};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string FolderOf(const std::string& path)
{
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsHeader(const std::string& path)
{
    std::string lower = Lower(path);
    auto dot = lower.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = lower.substr(dot);
    return ext == ".h" || ext == ".hh" || ext == ".hpp" || ext == ".c";
}

// Replaces comments by blanks (newlines kept, so line numbers stay right).
// String literals are skipped over so that "//" inside them survives.
std::string StripComments(const std::string& text, const std::string& file)
{
    std::string out = text;
    size_t i = 0;
    int line = 1;
    while (i < out.size()) {
        char c = out[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '"') {
            ++i;
            while (i < out.size() && out[i] != '\n') {
                if (out[i] == '\\' && i + 1 < out.size() && out[i + 1] != '\n') {
                    i += 2;
                } else if (out[i] == '"') {
                    if (i + 1 < out.size() && out[i + 1] == '"') {
                        i += 2;
                    } else {
                        break;
                    }
                } else {
                    ++i;
                }
            }
            if (i < out.size() && out[i] == '"')
                ++i;
        } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '/') {
            while (i < out.size() && out[i] != '\n')
                out[i++] = ' ';
        } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '*') {
            int startLine = line;
            out[i] = out[i + 1] = ' ';
            i += 2;
            while (i < out.size() && !(out[i] == '*' && i + 1 < out.size() && out[i + 1] == '/')) {
                if (out[i] == '\n')
                    ++line;
                else
                    out[i] = ' ';
                ++i;
            }
            if (i >= out.size())
                throw ScriptError(file, startLine, "unterminated comment");
            out[i] = out[i + 1] = ' ';
            i += 2;
        } else {
            ++i;
        }
    }
    return out;
}

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

void AppendUtf16(std::u16string& out, uint32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
}

} // namespace

std::string ReadWholeFile(const std::string& path, const std::string& fromFile, int fromLine)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ScriptError(fromFile, fromLine, "cannot open file \"" + path + "\"");
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        throw ScriptError(fromFile, fromLine, "cannot read file \"" + path + "\"");
    return content.str();
}

std::u16string Utf8ToUtf16(const std::string& text, const std::string& file, int line)
{
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            throw ScriptError(file, line, "text is not valid UTF-8");
        }
        if (i + static_cast<size_t>(extra) >= text.size() && extra > 0)
            throw ScriptError(file, line, "text is not valid UTF-8");
        for (int k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((cc & 0xC0) != 0x80)
                throw ScriptError(file, line, "text is not valid UTF-8");
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            throw ScriptError(file, line, "text is not valid UTF-8");
        AppendUtf16(out, cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

Preprocessor::Preprocessor(std::vector<std::string> includeDirs) : m_includeDirs(std::move(includeDirs))
{
    Token one;
    one.kind = TokenKind::Number;
    one.text = "1";
    one.number = 1;
    m_macros["RC_INVOKED"] = {one};
}

std::vector<Token> Preprocessor::Run(const std::string& path)
{
    m_tokens.clear();
    m_conditions.clear();
    ProcessFile(path, path, 0, 0);
    Token end;
    end.kind = TokenKind::End;
    end.file = path;
    end.line = m_tokens.empty() ? 1 : m_tokens.back().line;
    m_tokens.push_back(end);
    return std::move(m_tokens);
}

void Preprocessor::DefineBuiltins()
{
    if (m_builtinsLoaded)
        return;
    m_builtinsLoaded = true;
    for (const auto& [name, value] : BuiltinConstants()) {
        Token t;
        t.kind = TokenKind::Number;
        t.text = std::to_string(value);
        t.number = value;
        t.longNumber = true;
        m_macros[name] = {t};
    }
}

bool Preprocessor::Active() const
{
    for (const auto& c : m_conditions)
        if (!c.taking)
            return false;
    return true;
}

void Preprocessor::ProcessFile(const std::string& path, const std::string& fromFile, int fromLine, int depth)
{
    if (depth > kMaxIncludeDepth)
        throw ScriptError(fromFile, fromLine, "#include nested too deeply");
    std::string text = StripComments(ReadWholeFile(path, fromFile, fromLine), path);
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    const bool headerOnly = IsHeader(path);
    const std::string folder = FolderOf(path);
    const size_t conditionsAtStart = m_conditions.size();

    size_t pos = 0;
    int line = 0;
    while (pos <= text.size()) {
        size_t eol = text.find('\n', pos);
        std::string current = text.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        ++line;
        int firstLine = line;
        pos = eol == std::string::npos ? text.size() + 1 : eol + 1;
        if (!current.empty() && current.back() == '\r')
            current.pop_back();
        size_t start = current.find_first_not_of(" \t");
        if (start != std::string::npos && current[start] == '#') {
            // Directives continue over lines that end in a backslash.
            while (!current.empty() && current.back() == '\\' && pos <= text.size()) {
                current.pop_back();
                size_t next = text.find('\n', pos);
                std::string more = text.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
                if (!more.empty() && more.back() == '\r')
                    more.pop_back();
                current += more;
                ++line;
                pos = next == std::string::npos ? text.size() + 1 : next + 1;
            }
            Directive(current.substr(start + 1), path, firstLine, folder, depth);
        } else if (!headerOnly && Active()) {
            Tokenize(current, path, firstLine, m_tokens);
        }
    }
    if (m_conditions.size() > conditionsAtStart)
        throw ScriptError(path, m_conditions.back().line, "#if without #endif");
}

void Preprocessor::Directive(const std::string& body, const std::string& file, int line, const std::string& folder,
                             int depth)
{
    size_t i = body.find_first_not_of(" \t");
    if (i == std::string::npos)
        return; // a lone '#' is allowed
    size_t j = i;
    while (j < body.size() && IsIdentChar(body[j]))
        ++j;
    std::string name = body.substr(i, j - i);
    std::string rest = body.substr(j);
    size_t r = rest.find_first_not_of(" \t");
    rest = r == std::string::npos ? std::string() : rest.substr(r);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t'))
        rest.pop_back();

    auto firstWord = [&](const char* what) {
        size_t k = 0;
        while (k < rest.size() && IsIdentChar(rest[k]))
            ++k;
        if (k == 0 || !IsIdentStart(rest[0]))
            throw ScriptError(file, line, std::string("#") + what + " needs a macro name");
        return rest.substr(0, k);
    };

    if (name == "if" || name == "ifdef" || name == "ifndef") {
        bool value = false;
        if (Active()) {
            if (name == "if")
                value = EvaluateCondition(rest, file, line);
            else
                value = IsDefined(firstWord(name.c_str())) == (name == "ifdef");
        }
        m_conditions.push_back({value, value, false, line});
        return;
    }
    if (name == "elif" || name == "else" || name == "endif") {
        if (m_conditions.empty())
            throw ScriptError(file, line, "#" + name + " without #if");
        Conditional& c = m_conditions.back();
        if (name == "endif") {
            m_conditions.pop_back();
            return;
        }
        if (c.sawElse)
            throw ScriptError(file, line, "#" + name + " after #else");
        m_conditions.pop_back();
        bool outer = Active();
        m_conditions.push_back(c);
        Conditional& cur = m_conditions.back();
        if (name == "else") {
            cur.sawElse = true;
            cur.taking = outer && !cur.taken;
        } else {
            cur.taking = outer && !cur.taken && EvaluateCondition(rest, file, line);
        }
        cur.taken = cur.taken || cur.taking;
        return;
    }
    if (!Active())
        return;

    if (name == "include") {
        if (rest.size() < 2)
            throw ScriptError(file, line, "#include needs a file name in \"\" or <>");
        char open = rest[0];
        char close = open == '"' ? '"' : open == '<' ? '>' : 0;
        size_t endPos = close ? rest.find(close, 1) : std::string::npos;
        if (!close || endPos == std::string::npos)
            throw ScriptError(file, line, "#include needs a file name in \"\" or <>");
        std::string target = rest.substr(1, endPos - 1);
        std::string base = target.substr(target.find_last_of("/\\") == std::string::npos ? 0 : target.find_last_of("/\\") + 1);
        for (const char* system : kSystemHeaders) {
            if (Lower(base) == system) {
                DefineBuiltins();
                return;
            }
        }
        std::vector<std::string> candidates;
        if (open == '"')
            candidates.push_back(folder + target);
        for (const auto& dir : m_includeDirs)
            candidates.push_back(dir + "/" + target);
        for (const auto& candidate : candidates) {
            std::ifstream probe(candidate);
            if (probe) {
                ProcessFile(candidate, file, line, depth + 1);
                return;
            }
        }
        throw ScriptError(file, line, "cannot find include file \"" + target + "\"");
    }
    if (name == "define") {
        std::string macro = firstWord("define");
        std::string value = rest.substr(macro.size());
        if (!value.empty() && value[0] == '(')
            throw ScriptError(file, line, "function-like macro \"" + macro + "\" is not supported");
        std::vector<Token> tokens;
        Tokenize(value, file, line, tokens);
        m_macros[macro] = tokens;
        return;
    }
    if (name == "undef") {
        m_macros.erase(firstWord("undef"));
        return;
    }
    if (name == "pragma") {
        std::string lower = Lower(rest);
        if (lower.rfind("code_page", 0) == 0) {
            size_t open = lower.find('(');
            size_t close = lower.find(')');
            std::string page = open != std::string::npos && close != std::string::npos && close > open
                                   ? lower.substr(open + 1, close - open - 1)
                                   : std::string();
            if (page != "65001" && page != "default")
                throw ScriptError(file, line, "only #pragma code_page(65001) (UTF-8) is supported");
        }
        return; // other pragmas (once, ...) do not concern resources
    }
    if (name == "error")
        throw ScriptError(file, line, "#error " + rest);
    throw ScriptError(file, line, "unknown preprocessor directive #" + name);
}

void Preprocessor::Tokenize(const std::string& text, const std::string& file, int line, std::vector<Token>& out) const
{
    std::set<std::string> active;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        Token t;
        t.file = file;
        t.line = line;
        bool wide = (c == 'L' && i + 1 < text.size() && text[i + 1] == '"');
        if (c == '"' || wide) {
            size_t startPos = i;
            i += wide ? 2 : 1;
            std::string chunk; // UTF-8 bytes not yet decoded
            auto flush = [&] {
                t.str += Utf8ToUtf16(chunk, file, line);
                chunk.clear();
            };
            bool closed = false;
            while (i < text.size()) {
                char ch = text[i];
                if (ch == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        chunk += '"';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                if (ch == '\\' && i + 1 < text.size()) {
                    char e = text[i + 1];
                    i += 2;
                    switch (e) {
                    case 'n': chunk += '\n'; break;
                    case 'r': chunk += '\r'; break;
                    case 't': chunk += '\t'; break;
                    case 'a': chunk += '\a'; break;
                    case '\\': chunk += '\\'; break;
                    case '"': chunk += '"'; break;
                    case '0': chunk += '\0'; break;
                    case 'x': case 'X': {
                        uint32_t v = 0;
                        int digits = 0;
                        while (i < text.size() && digits < 4 && std::isxdigit(static_cast<unsigned char>(text[i]))) {
                            char d = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
                            v = v * 16 + static_cast<uint32_t>(d <= '9' ? d - '0' : d - 'a' + 10);
                            ++i;
                            ++digits;
                        }
                        if (digits == 0)
                            throw ScriptError(file, line, "\\x without hexadecimal digits in string");
                        flush();
                        t.str += static_cast<char16_t>(v);
                        break;
                    }
                    default:
                        // An unknown escape keeps its backslash, as the resource compiler does.
                        chunk += '\\';
                        chunk += e;
                        break;
                    }
                    continue;
                }
                chunk += ch;
                ++i;
            }
            if (!closed)
                throw ScriptError(file, line, "unterminated string literal");
            flush();
            t.kind = TokenKind::String;
            t.text = text.substr(startPos, i - startPos);
            out.push_back(t);
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t startPos = i;
            uint64_t value = 0;
            if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
                i += 2;
                size_t digitsStart = i;
                while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) {
                    char d = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
                    value = value * 16 + static_cast<uint64_t>(d <= '9' ? d - '0' : d - 'a' + 10);
                    if (value > 0xFFFFFFFFull)
                        throw ScriptError(file, line, "number too large");
                    ++i;
                }
                if (i == digitsStart)
                    throw ScriptError(file, line, "malformed hexadecimal number");
            } else {
                while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
                    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
                    if (value > 0xFFFFFFFFull)
                        throw ScriptError(file, line, "number too large");
                    ++i;
                }
            }
            while (i < text.size() && (text[i] == 'L' || text[i] == 'l' || text[i] == 'U' || text[i] == 'u')) {
                if (text[i] == 'L' || text[i] == 'l')
                    t.longNumber = true;
                ++i;
            }
            if (i < text.size() && IsIdentChar(text[i]))
                throw ScriptError(file, line, "malformed number \"" + text.substr(startPos, i - startPos + 1) + "\"");
            t.kind = TokenKind::Number;
            t.number = static_cast<uint32_t>(value);
            t.text = text.substr(startPos, i - startPos);
            out.push_back(t);
            continue;
        }
        if (IsIdentStart(c)) {
            size_t startPos = i;
            while (i < text.size() && IsIdentChar(text[i]))
                ++i;
            t.kind = TokenKind::Identifier;
            t.text = text.substr(startPos, i - startPos);
            Expand(t, out, active);
            continue;
        }
        static const char* const twoChar[] = {"&&", "||", "==", "!=", "<=", ">=", "<<", ">>"};
        t.kind = TokenKind::Punct;
        t.text = std::string(1, c);
        for (const char* two : twoChar) {
            if (i + 1 < text.size() && text[i] == two[0] && text[i + 1] == two[1]) {
                t.text = two;
                break;
            }
        }
        if (std::string(",|&+-~()!{}<>=*/^%").find(c) == std::string::npos)
            throw ScriptError(file, line, std::string("unexpected character '") + c + "'");
        i += t.text.size();
        out.push_back(t);
    }
}

void Preprocessor::Expand(const Token& token, std::vector<Token>& out, std::set<std::string>& active) const
{
    auto it = m_macros.find(token.text);
    if (it == m_macros.end() || active.count(token.text)) {
        out.push_back(token);
        return;
    }
    active.insert(token.text);
    for (Token t : it->second) {
        t.file = token.file;
        t.line = token.line;
        if (t.kind == TokenKind::Identifier)
            Expand(t, out, active);
        else
            out.push_back(t);
    }
    active.erase(token.text);
}

namespace {

// Integer expressions of #if: || && == != | & + - ! ~ ( ), numbers;
// unknown identifiers count as 0.
class ConditionEvaluator {
public:
    ConditionEvaluator(const std::vector<Token>& tokens, const std::string& file, int line)
        : m_t(tokens), m_file(file), m_line(line)
    {
    }
    int64_t Evaluate()
    {
        int64_t v = Or();
        if (m_pos != m_t.size())
            throw ScriptError(m_file, m_line, "unexpected \"" + m_t[m_pos].text + "\" in #if expression");
        return v;
    }

private:
    bool Accept(const char* p)
    {
        if (m_pos < m_t.size() && m_t[m_pos].kind == TokenKind::Punct && m_t[m_pos].text == p) {
            ++m_pos;
            return true;
        }
        return false;
    }
    int64_t Or() { int64_t v = And(); while (Accept("||")) { int64_t r = And(); v = (v || r); } return v; }
    int64_t And() { int64_t v = Eq(); while (Accept("&&")) { int64_t r = Eq(); v = (v && r); } return v; }
    int64_t Eq()
    {
        int64_t v = BitOr();
        for (;;) {
            if (Accept("==")) v = (v == BitOr());
            else if (Accept("!=")) v = (v != BitOr());
            else return v;
        }
    }
    int64_t BitOr() { int64_t v = BitAnd(); while (Accept("|")) v |= BitAnd(); return v; }
    int64_t BitAnd() { int64_t v = Add(); while (Accept("&")) v &= Add(); return v; }
    int64_t Add()
    {
        int64_t v = Unary();
        for (;;) {
            if (Accept("+")) v += Unary();
            else if (Accept("-")) v -= Unary();
            else return v;
        }
    }
    int64_t Unary()
    {
        if (Accept("!")) return !Unary();
        if (Accept("~")) return ~Unary();
        if (Accept("-")) return -Unary();
        if (Accept("(")) {
            int64_t v = Or();
            if (!Accept(")"))
                throw ScriptError(m_file, m_line, "missing ')' in #if expression");
            return v;
        }
        if (m_pos >= m_t.size())
            throw ScriptError(m_file, m_line, "incomplete #if expression");
        const Token& t = m_t[m_pos++];
        if (t.kind == TokenKind::Number) return t.number;
        if (t.kind == TokenKind::Identifier) return 0;
        throw ScriptError(m_file, m_line, "unexpected \"" + t.text + "\" in #if expression");
    }

    const std::vector<Token>& m_t;
    size_t m_pos = 0;
    std::string m_file;
    int m_line;
};

} // namespace

bool Preprocessor::EvaluateCondition(const std::string& expr, const std::string& file, int line) const
{
    // Resolve defined(X) / defined X before macros are expanded.
    std::string resolved;
    size_t i = 0;
    while (i < expr.size()) {
        if (expr.compare(i, 7, "defined") == 0 && (i == 0 || !IsIdentChar(expr[i - 1])) &&
            (i + 7 >= expr.size() || !IsIdentChar(expr[i + 7]))) {
            i += 7;
            while (i < expr.size() && (expr[i] == ' ' || expr[i] == '\t'))
                ++i;
            bool paren = i < expr.size() && expr[i] == '(';
            if (paren)
                ++i;
            while (i < expr.size() && (expr[i] == ' ' || expr[i] == '\t'))
                ++i;
            size_t s = i;
            while (i < expr.size() && IsIdentChar(expr[i]))
                ++i;
            if (s == i)
                throw ScriptError(file, line, "defined needs a macro name");
            std::string macro = expr.substr(s, i - s);
            while (i < expr.size() && (expr[i] == ' ' || expr[i] == '\t'))
                ++i;
            if (paren) {
                if (i >= expr.size() || expr[i] != ')')
                    throw ScriptError(file, line, "missing ')' after defined");
                ++i;
            }
            resolved += IsDefined(macro) ? " 1 " : " 0 ";
        } else {
            resolved += expr[i++];
        }
    }
    std::vector<Token> tokens;
    Tokenize(resolved, file, line, tokens);
    if (tokens.empty())
        throw ScriptError(file, line, "#if needs an expression");
    return ConditionEvaluator(tokens, file, line).Evaluate() != 0;
}

} // namespace rcgen
