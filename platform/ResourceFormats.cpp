// Readers of the Windows binary resource layouts: extended dialog templates
// and version blocks. Every read is checked against the size given.
#include "platform/Resources.h"

namespace platform {

namespace {

class Reader {
public:
    Reader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
    bool Ok() const { return m_ok; }
    size_t Pos() const { return m_pos; }
    WORD U16()
    {
        if (!Need(2))
            return 0;
        WORD v = static_cast<WORD>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    DWORD U32()
    {
        DWORD lo = U16();
        return lo | (static_cast<DWORD>(U16()) << 16);
    }
    BYTE U8()
    {
        if (!Need(1))
            return 0;
        return m_data[m_pos++];
    }
    int S16() { return static_cast<int16_t>(U16()); }
    CString Str()
    {
        std::u16string s;
        for (;;) {
            WORD c = U16();
            if (!m_ok || c == 0)
                break;
            s += static_cast<char16_t>(c);
        }
        return CString(std::move(s));
    }
    // A field that holds either a text or 0xFFFF and a number.
    CString NameOrOrdinal(UINT* ordinal)
    {
        *ordinal = 0;
        if (Need(2) && m_data[m_pos] == 0xFF && m_data[m_pos + 1] == 0xFF) {
            U16();
            *ordinal = U16();
            return CString();
        }
        return Str();
    }
    void Align4()
    {
        size_t aligned = (m_pos + 3) & ~static_cast<size_t>(3);
        if (aligned > m_size)
            m_ok = false;
        else
            m_pos = aligned;
    }
    void Skip(size_t n)
    {
        if (Need(n))
            m_pos += n;
    }

private:
    bool Need(size_t n)
    {
        if (!m_ok || n > m_size - m_pos) {
            m_ok = false;
            return false;
        }
        return true;
    }
    const BYTE* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

CString PredefinedClassName(UINT ordinal)
{
    switch (ordinal) {
    case 0x80: return u"Button";
    case 0x81: return u"Edit";
    case 0x82: return u"Static";
    case 0x83: return u"ListBox";
    case 0x84: return u"ScrollBar";
    case 0x85: return u"ComboBox";
    default: return CString();
    }
}

// One node of a version block: its key, value and the span of its children.
struct VersionNode {
    size_t start = 0, end = 0;  // the node's bytes
    std::u16string key;
    size_t value = 0;           // offset of the value
    WORD valueLength = 0;
    WORD type = 0;
    size_t children = 0;        // offset of the first child
};

bool ReadVersionNode(const std::vector<BYTE>& block, size_t start, size_t limit, VersionNode& node)
{
    if (start + 6 > limit)
        return false;
    const WORD length = static_cast<WORD>(block[start] | (block[start + 1] << 8));
    if (length < 6 || length > limit - start)
        return false;
    node.start = start;
    node.end = start + length;
    node.valueLength = static_cast<WORD>(block[start + 2] | (block[start + 3] << 8));
    node.type = static_cast<WORD>(block[start + 4] | (block[start + 5] << 8));
    node.key.clear();
    size_t pos = start + 6;
    for (;;) {
        if (pos + 2 > node.end)
            return false;
        char16_t c = static_cast<char16_t>(block[pos] | (block[pos + 1] << 8));
        pos += 2;
        if (c == 0)
            break;
        node.key += c;
    }
    pos = (pos + 3) & ~static_cast<size_t>(3);
    node.value = pos;
    // Text values count characters, binary ones bytes.
    size_t valueBytes = node.type == 1 ? static_cast<size_t>(node.valueLength) * 2 : node.valueLength;
    if (node.value > node.end || valueBytes > node.end - node.value)
        return false;
    node.children = (node.value + valueBytes + 3) & ~static_cast<size_t>(3);
    return true;
}

bool SameKey(const std::u16string& a, const CString& b)
{
    return CString(a).CompareNoCase(b.GetString()) == 0;
}

} // namespace

bool DecodeDialogTemplate(const BYTE* data, size_t size, DialogTemplate& out)
{
    if (!data)
        return false;
    Reader r(data, size);
    DialogTemplate t;
    if (r.U16() != 1 || r.U16() != 0xFFFF)
        return false; // not an extended template
    r.U32();          // help id
    t.exStyle = r.U32();
    t.style = r.U32();
    const WORD count = r.U16();
    t.x = r.S16();
    t.y = r.S16();
    t.cx = r.S16();
    t.cy = r.S16();
    UINT ordinal = 0;
    r.NameOrOrdinal(&ordinal); // menu
    r.NameOrOrdinal(&ordinal); // window class
    t.caption = r.Str();
    if (t.style & DS_SETFONT) {
        t.fontPointSize = r.U16();
        t.fontWeight = r.U16();
        t.fontItalic = r.U8() != 0;
        r.U8(); // character set
        t.fontName = r.Str();
    }
    for (WORD i = 0; i < count && r.Ok(); ++i) {
        r.Align4();
        DialogControl c;
        r.U32(); // help id
        c.exStyle = r.U32();
        c.style = r.U32();
        c.x = r.S16();
        c.y = r.S16();
        c.cx = r.S16();
        c.cy = r.S16();
        c.id = static_cast<int>(r.U32());
        UINT classOrdinal = 0;
        c.className = r.NameOrOrdinal(&classOrdinal);
        if (classOrdinal)
            c.className = PredefinedClassName(classOrdinal);
        c.text = r.NameOrOrdinal(&c.textResourceId);
        r.Skip(r.U16()); // creation data
        t.controls.push_back(std::move(c));
    }
    if (!r.Ok())
        return false;
    out = std::move(t);
    return true;
}

bool VerQueryValue(const std::vector<BYTE>& block, const CString& subBlock, const BYTE** value, UINT* length)
{
    VersionNode node;
    if (!value || !length || !ReadVersionNode(block, 0, block.size(), node))
        return false;
    int pos = 0;
    for (;;) {
        CString part = subBlock.Tokenize(u"\\", pos);
        if (pos < 0)
            break;
        if (part.IsEmpty())
            continue;
        bool found = false;
        VersionNode child;
        for (size_t at = node.children; at + 6 <= node.end;) {
            if (!ReadVersionNode(block, at, node.end, child))
                return false;
            if (SameKey(child.key, part)) {
                found = true;
                break;
            }
            at = (child.end + 3) & ~static_cast<size_t>(3);
        }
        if (!found)
            return false;
        node = child;
    }
    *value = block.data() + node.value;
    *length = node.valueLength;
    return true;
}

} // namespace platform
