#include "Script.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace rcgen {

namespace {

constexpr uint16_t RT_BITMAP = 2, RT_ICON = 3, RT_DIALOG = 5, RT_STRING = 6, RT_GROUP_ICON = 14,
                   RT_VERSION = 16;
constexpr uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000,
                   WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_SYSMENU = 0x00080000,
                   WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000, DS_SETFONT = 0x40;

// Little-endian writer of the binary layouts.
class Writer {
public:
    void U8(uint32_t v) { m_b.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) { U8(v & 0xFF); U8((v >> 8) & 0xFF); }
    void U32(uint32_t v) { U16(v & 0xFFFF); U16(v >> 16); }
    void Str(const std::u16string& s)
    {
        for (char16_t c : s)
            U16(c);
        U16(0);
    }
    void Align4()
    {
        while (m_b.size() % 4)
            U8(0);
    }
    void Bytes(const std::vector<uint8_t>& b) { m_b.insert(m_b.end(), b.begin(), b.end()); }
    void Patch16(size_t at, uint32_t v)
    {
        m_b[at] = static_cast<uint8_t>(v & 0xFF);
        m_b[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
    size_t Size() const { return m_b.size(); }
    std::vector<uint8_t>& Data() { return m_b; }

private:
    std::vector<uint8_t> m_b;
};

uint32_t Le16(const std::string& b, size_t at)
{
    return static_cast<uint8_t>(b[at]) | (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8);
}
uint32_t Le32(const std::string& b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct StyleBits {
    uint32_t set = 0;
    uint32_t clear = 0;
    uint32_t Apply(uint32_t defaults) const { return (defaults | set) & ~clear; }
};

// How each control statement fills in its class and style: `style` when the
// statement gives none, otherwise the given style over `base` (a text label
// with a style of its own, for instance, no longer starts a group).
struct ControlKind {
    const char* keyword;
    const char* className;
    uint32_t style;
    uint32_t base;
    enum { Text, NoText, Generic, Icon } shape;
};
const ControlKind kControls[] = {
    {"LTEXT", "Static", 0x0 | WS_GROUP, 0x0, ControlKind::Text},
    {"RTEXT", "Static", 0x2 | WS_GROUP, 0x2, ControlKind::Text},
    {"CTEXT", "Static", 0x1 | WS_GROUP, 0x1, ControlKind::Text},
    {"PUSHBUTTON", "Button", 0x0 | WS_TABSTOP, 0x0 | WS_TABSTOP, ControlKind::Text},
    {"DEFPUSHBUTTON", "Button", 0x1 | WS_TABSTOP, 0x1 | WS_TABSTOP, ControlKind::Text},
    {"CHECKBOX", "Button", 0x2 | WS_TABSTOP, 0x2 | WS_TABSTOP, ControlKind::Text},
    {"AUTOCHECKBOX", "Button", 0x3 | WS_TABSTOP, 0x3, ControlKind::Text},
    {"RADIOBUTTON", "Button", 0x4, 0x4, ControlKind::Text},
    {"STATE3", "Button", 0x5 | WS_TABSTOP, 0x5, ControlKind::Text},
    {"AUTO3STATE", "Button", 0x6 | WS_TABSTOP, 0x6, ControlKind::Text},
    {"GROUPBOX", "Button", 0x7, 0x7, ControlKind::Text},
    {"AUTORADIOBUTTON", "Button", 0x9, 0x9, ControlKind::Text},
    {"EDITTEXT", "Edit", 0x0 | WS_BORDER | WS_TABSTOP, 0x0 | WS_BORDER | WS_TABSTOP, ControlKind::NoText},
    {"COMBOBOX", "ComboBox", 0x1 | WS_TABSTOP, 0x0, ControlKind::NoText},
    {"LISTBOX", "ListBox", 0x1 | WS_BORDER, 0x1 | WS_BORDER, ControlKind::NoText},
    {"SCROLLBAR", "ScrollBar", 0x0, 0x0, ControlKind::NoText},
    {"ICON", "Static", 0x3, 0x3, ControlKind::Icon},
    {"CONTROL", nullptr, 0, 0, ControlKind::Generic},
};

// Classes that templates name by a small number instead of their name.
int PredefinedClassOrdinal(const std::u16string& name)
{
    static const char* const names[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    std::string upper;
    for (char16_t c : name) {
        if (c > 0x7F)
            return 0;
        upper += static_cast<char>(std::toupper(static_cast<int>(c)));
    }
    for (int i = 0; i < 6; ++i)
        if (upper == names[i])
            return 0x80 + i;
    return 0;
}

// A text or a resource number, as a template's class, menu and title fields hold it.
struct NameOrOrdinal {
    bool isOrdinal = false;
    uint32_t ordinal = 0;
    std::u16string name;
    void Write(Writer& w) const
    {
        if (isOrdinal) {
            w.U16(0xFFFF);
            w.U16(ordinal);
        } else {
            w.Str(name);
        }
    }
};

struct VersionNode {
    std::u16string key;
    bool text = true;               // wType 1: the value is a string
    std::vector<uint8_t> value;     // encoded value
    uint32_t valueLength = 0;       // characters (text) or bytes (binary)
    std::vector<VersionNode> children;
};

void WriteVersionNode(Writer& w, const VersionNode& node)
{
    w.Align4();
    size_t start = w.Size();
    w.U16(0); // length, patched below
    w.U16(node.valueLength);
    w.U16(node.text ? 1 : 0);
    w.Str(node.key);
    w.Align4();
    w.Bytes(node.value);
    for (const auto& child : node.children)
        WriteVersionNode(w, child);
    size_t length = w.Size() - start;
    w.Patch16(start, static_cast<uint32_t>(length));
}

class Parser {
public:
    Parser(const std::vector<Token>& tokens, std::string folder) : m_t(tokens), m_folder(std::move(folder)) {}

    CompiledScript Run()
    {
        while (Peek().kind != TokenKind::End)
            TopLevel();
        for (auto& [key, block] : m_stringBlocks) {
            Writer w;
            for (const auto& s : block) {
                w.U16(static_cast<uint32_t>(s.size()));
                for (char16_t c : s)
                    w.U16(c);
            }
            Add(RT_STRING, key.first, key.second, std::move(w.Data()), m_stringBlockLine[key]);
        }
        std::sort(m_out.resources.begin(), m_out.resources.end(), [](const Resource& a, const Resource& b) {
            return std::tie(a.type, a.id, a.language) < std::tie(b.type, b.id, b.language);
        });
        return std::move(m_out);
    }

private:
    // --- tokens ---------------------------------------------------------
    const Token& Peek(size_t ahead = 0) const { return m_t[std::min(m_pos + ahead, m_t.size() - 1)]; }
    const Token& Next()
    {
        const Token& t = Peek();
        if (t.kind != TokenKind::End)
            ++m_pos;
        return t;
    }
    [[noreturn]] void Fail(const Token& at, const std::string& message) const
    {
        throw ScriptError(at.file, at.line, message);
    }
    static std::string Describe(const Token& t)
    {
        return t.kind == TokenKind::End ? std::string("end of file") : "\"" + t.text + "\"";
    }
    bool IsKeyword(const Token& t, const char* word) const
    {
        return t.kind == TokenKind::Identifier && Upper(t.text) == word;
    }
    bool IsPunct(const Token& t, const char* p) const { return t.kind == TokenKind::Punct && t.text == p; }
    bool AcceptPunct(const char* p)
    {
        if (IsPunct(Peek(), p)) {
            Next();
            return true;
        }
        return false;
    }
    void ExpectComma()
    {
        if (!AcceptPunct(","))
            Fail(Peek(), "expected ',' but found " + Describe(Peek()));
    }
    bool AtBegin() const { return IsKeyword(Peek(), "BEGIN") || IsPunct(Peek(), "{"); }
    bool AtEnd() const { return IsKeyword(Peek(), "END") || IsPunct(Peek(), "}"); }
    void ExpectBegin()
    {
        if (!AtBegin())
            Fail(Peek(), "expected BEGIN but found " + Describe(Peek()));
        Next();
    }
    std::u16string ExpectString(const char* what)
    {
        if (Peek().kind != TokenKind::String)
            Fail(Peek(), std::string("expected ") + what + " (a quoted string) but found " + Describe(Peek()));
        return Next().str;
    }

    // --- numbers ---------------------------------------------------------
    bool StartsNumber(const Token& t) const
    {
        return t.kind == TokenKind::Number || IsPunct(t, "(") || IsPunct(t, "-") || IsPunct(t, "~") ||
               (t.kind == TokenKind::Identifier && !IsKeyword(t, "NOT"));
    }
    uint32_t Primary()
    {
        const Token& t = Next();
        if (t.kind == TokenKind::Number)
            return t.number;
        if (IsPunct(t, "-"))
            return 0u - Primary();
        if (IsPunct(t, "~"))
            return ~Primary();
        if (IsPunct(t, "(")) {
            uint32_t v = Number();
            if (!AcceptPunct(")"))
                Fail(Peek(), "expected ')' but found " + Describe(Peek()));
            return v;
        }
        if (t.kind == TokenKind::Identifier)
            Fail(t, "undefined symbol \"" + t.text + "\"");
        Fail(t, "expected a number but found " + Describe(t));
    }
    uint32_t Term()
    {
        uint32_t v = Primary();
        for (;;) {
            if (AcceptPunct("+")) v += Primary();
            else if (AcceptPunct("-")) v -= Primary();
            else if (AcceptPunct("&")) v &= Primary();
            else return v;
        }
    }
    uint32_t Number()
    {
        uint32_t v = Term();
        while (AcceptPunct("|"))
            v |= Term();
        return v;
    }
    uint32_t NumberInRange(const char* what, int64_t low, int64_t high)
    {
        const Token& at = Peek();
        auto v = static_cast<int64_t>(static_cast<int32_t>(Number()));
        if (v < low || v > high)
            Fail(at, std::string(what) + " " + std::to_string(v) + " is out of range");
        return static_cast<uint32_t>(v);
    }
    // A style: terms joined by '|', each optionally preceded by NOT.
    StyleBits Style()
    {
        StyleBits bits;
        do {
            bool negate = false;
            if (IsKeyword(Peek(), "NOT")) {
                Next();
                negate = true;
            }
            uint32_t v = Term();
            if (negate)
                bits.clear |= v;
            else
                bits.set |= v, bits.clear &= ~v;
        } while (AcceptPunct("|"));
        return bits;
    }
    uint16_t Language()
    {
        uint32_t primary = NumberInRange("language", 0, 0x3FF);
        ExpectComma();
        uint32_t sub = NumberInRange("sublanguage", 0, 0x3F);
        return static_cast<uint16_t>((sub << 10) | primary);
    }
    uint32_t ResourceId()
    {
        const Token& at = Peek();
        if (at.kind == TokenKind::Identifier)
            Fail(at, "undefined resource id \"" + at.text + "\" (resources are identified by number)");
        return NumberInRange("resource id", 1, 0xFFFF);
    }

    // --- output ----------------------------------------------------------
    void Add(uint16_t type, uint32_t id, uint16_t language, std::vector<uint8_t> data, const Token& at)
    {
        if (!m_seen.insert({type, id, language}).second)
            Fail(at, "resource " + std::to_string(id) + " of type " + std::to_string(type) + " is defined twice");
        m_out.resources.push_back({type, language, id, std::move(data)});
    }
    std::string ReadResourceFile(const Token& nameToken)
    {
        std::string name;
        for (char16_t c : nameToken.str)
            name += static_cast<char>(c);
        for (char& c : name)
            if (c == '\\')
                c = '/';
        return ReadWholeFile(name.size() && name[0] == '/' ? name : m_folder + name, nameToken.file, nameToken.line);
    }

    // --- statements ------------------------------------------------------
    void TopLevel()
    {
        const Token& first = Peek();
        if (IsKeyword(first, "LANGUAGE")) {
            Next();
            m_language = Language();
            return;
        }
        if (IsKeyword(first, "STRINGTABLE")) {
            Next();
            StringTable(first);
            return;
        }
        uint32_t id = ResourceId();
        const Token& kind = Peek();
        if (IsKeyword(kind, "DIALOGEX")) {
            Next();
            Dialog(id, first);
        } else if (IsKeyword(kind, "ICON")) {
            Next();
            IconGroup(id, first);
        } else if (IsKeyword(kind, "BITMAP")) {
            Next();
            Bitmap(id, first);
        } else if (IsKeyword(kind, "VERSIONINFO")) {
            Next();
            VersionInfo(id, first);
        } else if (kind.kind == TokenKind::Number) {
            uint32_t type = Next().number;
            if (type == 0 || type > 0xFFFF)
                Fail(kind, "resource type " + std::to_string(type) + " is out of range");
            if (Peek().kind != TokenKind::String)
                Fail(Peek(), "expected the file name of resource " + std::to_string(id) + " but found " +
                                 Describe(Peek()));
            std::string bytes = ReadResourceFile(Next());
            Add(static_cast<uint16_t>(type), id, m_language, std::vector<uint8_t>(bytes.begin(), bytes.end()), first);
        } else if (kind.kind == TokenKind::Identifier) {
            Fail(kind, "unsupported resource statement \"" + kind.text + "\"");
        } else {
            Fail(kind, "expected a resource type but found " + Describe(kind));
        }
    }

    void StringTable(const Token& at)
    {
        uint16_t language = m_language;
        while (!AtBegin()) {
            if (IsKeyword(Peek(), "LANGUAGE")) {
                Next();
                language = Language();
            } else if (IsKeyword(Peek(), "CHARACTERISTICS") || IsKeyword(Peek(), "VERSION")) {
                Next();
                Number();
            } else {
                Fail(Peek(), "expected BEGIN after STRINGTABLE but found " + Describe(Peek()));
            }
        }
        Next();
        while (!AtEnd()) {
            if (Peek().kind == TokenKind::End)
                Fail(at, "STRINGTABLE without END");
            const Token& idToken = Peek();
            if (idToken.kind == TokenKind::Identifier)
                Fail(idToken, "undefined symbol \"" + idToken.text + "\"");
            uint32_t id = NumberInRange("string id", 0, 0xFFFF);
            AcceptPunct(",");
            std::u16string text = ExpectString("the string text");
            if (text.size() > 0xFFFF)
                Fail(idToken, "string " + std::to_string(id) + " is too long");
            if (m_out.strings.count(id))
                Fail(idToken, "string " + std::to_string(id) + " is defined twice");
            m_out.strings[id] = {language, text};
            std::pair<uint32_t, uint16_t> key{(id >> 4) + 1, language};
            auto& block = m_stringBlocks[key];
            if (block.empty()) {
                block.resize(16);
                m_stringBlockLine.emplace(key, idToken);
            }
            block[id & 15] = text;
        }
        Next();
    }

    void Dialog(uint32_t id, const Token& at)
    {
        uint16_t language = m_language;
        Writer w;
        int16_t rect[4];
        for (int i = 0; i < 4; ++i) {
            if (i)
                ExpectComma();
            rect[i] = static_cast<int16_t>(NumberInRange("dialog coordinate", -32768, 32767));
        }
        uint32_t helpId = 0;
        if (AcceptPunct(","))
            helpId = Number();
        bool haveStyle = false;
        StyleBits style, exStyle;
        std::u16string caption;
        bool haveCaption = false, haveFont = false;
        uint32_t pointSize = 0, weight = 0, italic = 0, charset = 1;
        std::u16string face;
        NameOrOrdinal menu, windowClass;
        while (!AtBegin()) {
            const Token& s = Peek();
            if (IsKeyword(s, "STYLE")) {
                Next();
                style = Style();
                haveStyle = true;
            } else if (IsKeyword(s, "EXSTYLE")) {
                Next();
                exStyle = Style();
            } else if (IsKeyword(s, "CAPTION")) {
                Next();
                caption = ExpectString("the caption");
                haveCaption = true;
            } else if (IsKeyword(s, "FONT")) {
                Next();
                pointSize = NumberInRange("font size", 0, 0xFFFF);
                ExpectComma();
                face = ExpectString("the font name");
                if (AcceptPunct(",")) {
                    weight = NumberInRange("font weight", 0, 0xFFFF);
                    if (AcceptPunct(",")) {
                        italic = NumberInRange("font italic flag", 0, 0xFF);
                        if (AcceptPunct(","))
                            charset = NumberInRange("font character set", 0, 0xFF);
                    }
                }
                haveFont = true;
            } else if (IsKeyword(s, "MENU")) {
                Next();
                menu.isOrdinal = true;
                menu.ordinal = ResourceId();
            } else if (IsKeyword(s, "CLASS")) {
                Next();
                windowClass.name = ExpectString("the window class");
            } else if (IsKeyword(s, "LANGUAGE")) {
                Next();
                language = Language();
            } else if (IsKeyword(s, "CHARACTERISTICS") || IsKeyword(s, "VERSION")) {
                Next();
                Number();
            } else {
                Fail(s, "unexpected " + Describe(s) + " in the DIALOGEX header (missing BEGIN?)");
            }
        }
        Next();
        uint32_t dialogStyle = haveStyle ? style.Apply(0) : (WS_POPUP | WS_BORDER | WS_SYSMENU);
        if (haveCaption)
            dialogStyle |= WS_CAPTION;
        if (haveFont)
            dialogStyle |= DS_SETFONT;

        Writer items;
        uint32_t count = 0;
        while (!AtEnd()) {
            if (Peek().kind == TokenKind::End)
                Fail(at, "DIALOGEX without END");
            Control(items);
            ++count;
        }
        Next();
        if (count > 0xFFFF)
            Fail(at, "too many controls");

        w.U16(1);
        w.U16(0xFFFF);
        w.U32(helpId);
        w.U32(exStyle.Apply(0));
        w.U32(dialogStyle);
        w.U16(count);
        for (int16_t v : rect)
            w.U16(static_cast<uint16_t>(v));
        menu.Write(w);
        windowClass.Write(w);
        w.Str(caption);
        if (dialogStyle & DS_SETFONT) {
            w.U16(pointSize);
            w.U16(weight);
            w.U8(italic);
            w.U8(charset);
            w.Str(face);
        }
        w.Align4();
        w.Bytes(items.Data());
        Add(RT_DIALOG, id, language, std::move(w.Data()), at);
    }

    void Control(Writer& w)
    {
        const Token& keyword = Next();
        const ControlKind* kind = nullptr;
        for (const auto& k : kControls)
            if (IsKeyword(keyword, k.keyword))
                kind = &k;
        if (!kind)
            Fail(keyword, "unknown control statement " + Describe(keyword));

        NameOrOrdinal text, className;
        uint32_t id = 0;
        StyleBits style, exStyle;
        bool styleGiven = false;
        uint32_t helpId = 0;
        int16_t rect[4] = {0, 0, 0, 0};
        auto readText = [&](bool numberAllowed) {
            if (Peek().kind == TokenKind::String) {
                text.name = Next().str;
            } else if (numberAllowed && StartsNumber(Peek())) {
                text.isOrdinal = true;
                text.ordinal = NumberInRange("control text id", 0, 0xFFFF);
            } else {
                Fail(Peek(), "expected the control text but found " + Describe(Peek()));
            }
            ExpectComma();
        };
        auto readId = [&] { id = Number(); };
        auto readRect = [&](int count) {
            for (int i = 0; i < count; ++i) {
                ExpectComma();
                rect[i] = static_cast<int16_t>(NumberInRange("control coordinate", -32768, 32767));
            }
        };
        auto readTail = [&] {
            if (AcceptPunct(",")) {
                style = Style();
                styleGiven = true;
                if (AcceptPunct(",")) {
                    exStyle = Style();
                    if (AcceptPunct(","))
                        helpId = Number();
                }
            }
        };

        switch (kind->shape) {
        case ControlKind::Text:
            readText(false);
            readId();
            readRect(4);
            readTail();
            break;
        case ControlKind::NoText:
            readId();
            readRect(4);
            readTail();
            break;
        case ControlKind::Icon:
            readText(true);
            readId();
            readRect(2);
            if (AcceptPunct(",")) {
                rect[2] = static_cast<int16_t>(NumberInRange("control coordinate", -32768, 32767));
                ExpectComma();
                rect[3] = static_cast<int16_t>(NumberInRange("control coordinate", -32768, 32767));
                readTail();
            }
            break;
        case ControlKind::Generic: {
            readText(true);
            readId();
            ExpectComma();
            if (Peek().kind == TokenKind::String)
                className.name = Next().str;
            else if (Peek().kind == TokenKind::Identifier)
                className.name = Widen(Next().text); // Button, Edit, ... written without quotes
            else
                Fail(Peek(), "expected the control class but found " + Describe(Peek()));
            ExpectComma();
            style = Style();
            styleGiven = true;
            readRect(4);
            if (AcceptPunct(",")) {
                exStyle = Style();
                if (AcceptPunct(","))
                    helpId = Number();
            }
            break;
        }
        }
        if (kind->className)
            className.name = Widen(kind->className);
        if (int ordinal = PredefinedClassOrdinal(className.name)) {
            className.isOrdinal = true;
            className.ordinal = static_cast<uint32_t>(ordinal);
        }

        w.Align4();
        w.U32(helpId);
        w.U32(exStyle.Apply(0));
        w.U32(style.Apply(WS_CHILD | WS_VISIBLE | (styleGiven ? kind->base : kind->style)));
        for (int16_t v : rect)
            w.U16(static_cast<uint16_t>(v));
        w.U32(id);
        className.Write(w);
        text.Write(w);
        w.U16(0); // no creation data
    }

    void IconGroup(uint32_t id, const Token& at)
    {
        if (Peek().kind != TokenKind::String)
            Fail(Peek(), "expected the icon file name but found " + Describe(Peek()));
        const Token& nameToken = Next();
        std::string ico = ReadResourceFile(nameToken);
        auto bad = [&](const std::string& why) { Fail(nameToken, "invalid icon file: " + why); };
        if (ico.size() < 6 || Le16(ico, 0) != 0 || Le16(ico, 2) != 1)
            bad("missing icon header");
        uint32_t count = Le16(ico, 4);
        if (count == 0)
            bad("no images");
        if (ico.size() < 6 + 16 * static_cast<size_t>(count))
            bad("truncated image directory");
        Writer group;
        group.U16(0);
        group.U16(1);
        group.U16(count);
        for (uint32_t i = 0; i < count; ++i) {
            size_t entry = 6 + 16 * i;
            uint32_t size = Le32(ico, entry + 8), offset = Le32(ico, entry + 12);
            if (size == 0 || offset > ico.size() || size > ico.size() - offset)
                bad("image " + std::to_string(i + 1) + " lies outside the file");
            uint32_t imageId = ++m_lastIconId;
            for (size_t k = 0; k < 8; ++k) // width, height, colours, reserved, planes, bit count
                group.U8(static_cast<uint8_t>(ico[entry + k]));
            group.U32(size);
            group.U16(imageId);
            Add(RT_ICON, imageId, m_language,
                std::vector<uint8_t>(ico.begin() + offset, ico.begin() + offset + size), at);
        }
        Add(RT_GROUP_ICON, id, m_language, std::move(group.Data()), at);
    }

    void Bitmap(uint32_t id, const Token& at)
    {
        if (Peek().kind != TokenKind::String)
            Fail(Peek(), "expected the bitmap file name but found " + Describe(Peek()));
        const Token& nameToken = Next();
        std::string bmp = ReadResourceFile(nameToken);
        if (bmp.size() < 14 + 40 || bmp[0] != 'B' || bmp[1] != 'M')
            Fail(nameToken, "invalid bitmap file: missing BM header");
        if (Le32(bmp, 14) < 40)
            Fail(nameToken, "invalid bitmap file: unsupported info header");
        Add(RT_BITMAP, id, m_language, std::vector<uint8_t>(bmp.begin() + 14, bmp.end()), at);
    }

    void VersionInfo(uint32_t id, const Token& at)
    {
        uint32_t fixed[13] = {0xFEEF04BD, 0x00010000, 0, 0, 0, 0, 0x3F, 0, 0x40004, 0x1, 0, 0, 0};
        auto readVersion = [&](int ms) {
            uint32_t parts[4] = {0, 0, 0, 0};
            for (int i = 0; i < 4; ++i) {
                if (i && !AcceptPunct(","))
                    break;
                parts[i] = NumberInRange("version number", 0, 0xFFFF);
            }
            fixed[ms] = (parts[0] << 16) | parts[1];
            fixed[ms + 1] = (parts[2] << 16) | parts[3];
        };
        while (!AtBegin()) {
            const Token& s = Next();
            std::string word = Upper(s.text);
            if (s.kind != TokenKind::Identifier)
                Fail(s, "unexpected " + Describe(s) + " in VERSIONINFO (missing BEGIN?)");
            if (word == "FILEVERSION") readVersion(2);
            else if (word == "PRODUCTVERSION") readVersion(4);
            else if (word == "FILEFLAGSMASK") fixed[6] = Number();
            else if (word == "FILEFLAGS") fixed[7] = Number();
            else if (word == "FILEOS") fixed[8] = Number();
            else if (word == "FILETYPE") fixed[9] = Number();
            else if (word == "FILESUBTYPE") fixed[10] = Number();
            else Fail(s, "unknown VERSIONINFO statement " + Describe(s));
        }
        VersionNode root;
        root.key = u"VS_VERSION_INFO";
        root.text = false;
        Writer value;
        for (uint32_t v : fixed)
            value.U32(v);
        root.value = value.Data();
        root.valueLength = 52;
        VersionBlock(root, at);
        Writer w;
        WriteVersionNode(w, root);
        Add(RT_VERSION, id, m_language, std::move(w.Data()), at);
    }

    void VersionBlock(VersionNode& parent, const Token& at)
    {
        ExpectBegin();
        while (!AtEnd()) {
            const Token& s = Next();
            if (IsKeyword(s, "BLOCK")) {
                VersionNode block;
                block.key = ExpectString("the block name");
                VersionBlock(block, s);
                parent.children.push_back(std::move(block));
            } else if (IsKeyword(s, "VALUE")) {
                VersionNode node;
                node.key = ExpectString("the value name");
                Writer value;
                bool sawText = false, sawNumber = false;
                while (AcceptPunct(",")) {
                    if (Peek().kind == TokenKind::String) {
                        std::u16string text = Next().str;
                        for (char16_t c : text)
                            value.U16(c);
                        node.valueLength += static_cast<uint32_t>(text.size());
                        sawText = true;
                    } else {
                        const Token& n = Peek();
                        bool isLong = n.kind == TokenKind::Number && n.longNumber;
                        uint32_t v = Number();
                        if (isLong) value.U32(v); else value.U16(v);
                        sawNumber = true;
                    }
                }
                if (sawText && sawNumber)
                    Fail(s, "a VALUE cannot mix text and numbers");
                node.text = !sawNumber;
                if (sawText) {
                    value.U16(0);
                    node.valueLength += 1;
                } else {
                    node.valueLength = static_cast<uint32_t>(value.Size());
                }
                node.value = value.Data();
                parent.children.push_back(std::move(node));
            } else if (s.kind == TokenKind::End) {
                Fail(at, "BLOCK without END");
            } else {
                Fail(s, "expected BLOCK or VALUE but found " + Describe(s));
            }
        }
        Next();
    }

    const std::vector<Token>& m_t;
    size_t m_pos = 0;
    std::string m_folder;
    uint16_t m_language = 0;
    uint32_t m_lastIconId = 0;
    CompiledScript m_out;
    std::set<std::tuple<uint16_t, uint32_t, uint16_t>> m_seen;
    std::map<std::pair<uint32_t, uint16_t>, std::vector<std::u16string>> m_stringBlocks;
    std::map<std::pair<uint32_t, uint16_t>, Token> m_stringBlockLine;
};

} // namespace

CompiledScript CompileScript(const std::vector<Token>& tokens, const std::string& folder)
{
    return Parser(tokens, folder).Run();
}

} // namespace rcgen
