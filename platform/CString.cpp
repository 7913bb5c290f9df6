#include "platform/CString.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <stdexcept>

size_t Utf16Length(const char16_t* text)
{
    if (!text)
        return 0;
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

std::ostream& operator<<(std::ostream& out, const CString& text)
{
    return out << '"' << text.ToUtf8() << '"';
}

CString::CString(const char16_t* text)
{
    if (text)
        m_s.assign(text, Utf16Length(text));
}

CString::CString(const char16_t* text, int length)
{
    if (text && length > 0)
        m_s.assign(text, static_cast<size_t>(length));
}

CString::CString(char16_t ch, int repeat)
{
    if (repeat > 0)
        m_s.assign(static_cast<size_t>(repeat), ch);
}

CString& CString::operator=(const char16_t* text)
{
    if (text)
        m_s.assign(text, Utf16Length(text));
    else
        m_s.clear();
    return *this;
}

CString& CString::operator=(char16_t ch)
{
    m_s.assign(1, ch);
    return *this;
}

// --- UTF-8 ------------------------------------------------------------------

CString CString::FromUtf8(std::string_view in)
{
    std::u16string out;
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    size_t n = in.size(), i = 0;
    while (i < n) {
        unsigned char c = p[i];
        char32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (i + len > n) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Reject overlong forms, surrogates and values beyond Unicode.
        static const char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return CString(std::move(out));
}

std::string CString::ToUtf8() const
{
    std::string out;
    out.reserve(m_s.size());
    size_t n = m_s.size();
    for (size_t i = 0; i < n; ++i) {
        char32_t cp = m_s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && m_s[i + 1] >= 0xDC00 && m_s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (m_s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

CString CString::FromBytes(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes)
        out += static_cast<char16_t>(c);
    return CString(std::move(out));
}

// --- buffer access ----------------------------------------------------------

char16_t* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_s.resize(static_cast<size_t>(minLength), u'\0');
    return m_s.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0) {
        size_t end = m_s.find(u'\0');
        if (end != std::u16string::npos)
            m_s.resize(end);
    } else if (static_cast<size_t>(newLength) <= m_s.size()) {
        m_s.resize(static_cast<size_t>(newLength));
    }
}

CString& CString::operator+=(const char16_t* text)
{
    if (text)
        m_s.append(text, Utf16Length(text));
    return *this;
}

void CString::Append(const char16_t* text, int length)
{
    if (text && length > 0)
        m_s.append(text, static_cast<size_t>(length));
}

CString operator+(const CString& a, const char16_t* b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const char16_t* a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

// --- case -------------------------------------------------------------------

char16_t CString::ToUpperChar(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 32);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs: even upper, odd lower, with a shifted run.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? c : static_cast<char16_t>(c - 1);
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return (c & 1) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 80);
    return c;
}

char16_t CString::ToLowerChar(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    if (c == 0x178)
        return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? static_cast<char16_t>(c + 1) : c;
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    return c;
}

bool CString::IsSpaceChar(char16_t c)
{
    return c == u' ' || (c >= 0x09 && c <= 0x0D) || c == 0xA0 || c == 0x2000 || c == 0x3000 ||
           (c >= 0x2001 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x1680 || c == 0x85;
}

int CString::Compare(const char16_t* other) const
{
    std::u16string_view b(other ? other : u"");
    int r = std::u16string_view(m_s).compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char16_t* other) const
{
    std::u16string_view b(other ? other : u"");
    size_t n = std::min(m_s.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = ToLowerChar(m_s[i]), y = ToLowerChar(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (m_s.size() == b.size())
        return 0;
    return m_s.size() < b.size() ? -1 : 1;
}

bool CString::EqualsNoCase(std::u16string_view other) const
{
    if (other.size() != m_s.size())
        return false;
    for (size_t i = 0; i < m_s.size(); ++i)
        if (ToLowerChar(m_s[i]) != ToLowerChar(other[i]))
            return false;
    return true;
}

// --- searching ----------------------------------------------------------------

static int ToIndex(size_t pos)
{
    return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(char16_t ch, int start) const
{
    if (start < 0 || start > GetLength())
        return -1;
    return ToIndex(m_s.find(ch, static_cast<size_t>(start)));
}

int CString::Find(const char16_t* text, int start) const
{
    if (start < 0 || start > GetLength() || !text)
        return -1;
    return ToIndex(m_s.find(text, static_cast<size_t>(start)));
}

int CString::ReverseFind(char16_t ch) const
{
    return ToIndex(m_s.rfind(ch));
}

int CString::FindOneOf(const char16_t* set) const
{
    if (!set || !*set)
        return -1;
    return ToIndex(m_s.find_first_of(set));
}

CString CString::Left(int count) const
{
    count = std::clamp(count, 0, GetLength());
    return CString(m_s.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const
{
    count = std::clamp(count, 0, GetLength());
    return CString(m_s.substr(m_s.size() - static_cast<size_t>(count)));
}

CString CString::Mid(int start) const
{
    return Mid(start, GetLength());
}

CString CString::Mid(int start, int count) const
{
    start = std::clamp(start, 0, GetLength());
    if (count < 0)
        count = 0;
    count = std::min(count, GetLength() - start);
    return CString(m_s.substr(static_cast<size_t>(start), static_cast<size_t>(count)));
}

CString CString::SpanIncluding(const char16_t* set) const
{
    size_t end = m_s.find_first_not_of(set ? set : u"");
    return CString(m_s.substr(0, end));
}

CString CString::SpanExcluding(const char16_t* set) const
{
    if (!set || !*set)
        return *this;
    size_t end = m_s.find_first_of(set);
    return CString(m_s.substr(0, end));
}

CString CString::Tokenize(const char16_t* delims, int& pos) const
{
    if (pos < 0 || pos >= GetLength()) {
        pos = -1;
        return CString();
    }
    std::u16string_view set(delims ? delims : u"");
    size_t start = m_s.find_first_not_of(set, static_cast<size_t>(pos));
    if (start == std::u16string::npos) {
        pos = -1;
        return CString();
    }
    size_t end = m_s.find_first_of(set, start);
    if (end == std::u16string::npos)
        end = m_s.size();
    pos = static_cast<int>(end) + 1;
    return CString(m_s.substr(start, end - start));
}

// --- editing ----------------------------------------------------------------

int CString::Insert(int index, char16_t ch)
{
    index = std::clamp(index, 0, GetLength());
    m_s.insert(static_cast<size_t>(index), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char16_t* text)
{
    index = std::clamp(index, 0, GetLength());
    if (text)
        m_s.insert(static_cast<size_t>(index), text);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    if (index < 0)
        index = 0;
    if (index < GetLength() && count > 0)
        m_s.erase(static_cast<size_t>(index), static_cast<size_t>(std::min(count, GetLength() - index)));
    return GetLength();
}

int CString::Replace(char16_t oldCh, char16_t newCh)
{
    int n = 0;
    for (auto& c : m_s)
        if (c == oldCh) {
            c = newCh;
            ++n;
        }
    return n;
}

int CString::Replace(const char16_t* oldText, const char16_t* newText)
{
    std::u16string_view from(oldText ? oldText : u"");
    std::u16string_view to(newText ? newText : u"");
    if (from.empty())
        return 0;
    std::u16string out;
    int n = 0;
    size_t pos = 0;
    for (;;) {
        size_t hit = m_s.find(from, pos);
        if (hit == std::u16string::npos)
            break;
        out.append(m_s, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
        ++n;
    }
    if (n) {
        out.append(m_s, pos, std::u16string::npos);
        m_s.swap(out);
    }
    return n;
}

int CString::Remove(char16_t ch)
{
    auto it = std::remove(m_s.begin(), m_s.end(), ch);
    int n = static_cast<int>(m_s.end() - it);
    m_s.erase(it, m_s.end());
    return n;
}

CString& CString::MakeUpper()
{
    for (auto& c : m_s)
        c = ToUpperChar(c);
    return *this;
}

CString& CString::MakeLower()
{
    for (auto& c : m_s)
        c = ToLowerChar(c);
    return *this;
}

CString& CString::MakeReverse()
{
    std::reverse(m_s.begin(), m_s.end());
    return *this;
}

CString& CString::Trim()
{
    return TrimRight().TrimLeft();
}

CString& CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_s.size() && IsSpaceChar(m_s[i]))
        ++i;
    m_s.erase(0, i);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = m_s.size();
    while (n > 0 && IsSpaceChar(m_s[n - 1]))
        --n;
    m_s.resize(n);
    return *this;
}

CString& CString::Trim(char16_t ch)
{
    char16_t set[2] = {ch, 0};
    return Trim(set);
}

CString& CString::Trim(const char16_t* set)
{
    return TrimRight(set).TrimLeft(set);
}

CString& CString::TrimLeft(const char16_t* set)
{
    size_t i = m_s.find_first_not_of(set ? set : u"");
    m_s.erase(0, i == std::u16string::npos ? m_s.size() : i);
    return *this;
}

CString& CString::TrimRight(const char16_t* set)
{
    size_t i = m_s.find_last_not_of(set ? set : u"");
    m_s.resize(i == std::u16string::npos ? 0 : i + 1);
    return *this;
}

// --- formatting ---------------------------------------------------------------

void CString::Format(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char16_t* format, va_list args)
{
    m_s = FormatWide(format, args);
}

void CString::AppendFormatV(const char16_t* format, va_list args)
{
    m_s += FormatWide(format, args);
}

namespace {

// Pads `body` to `width` units, on the left unless `left` is set.
void AppendPadded(std::u16string& out, std::u16string_view body, int width, bool left, char16_t pad = u' ')
{
    size_t fill = width > 0 && static_cast<size_t>(width) > body.size() ? static_cast<size_t>(width) - body.size() : 0;
    if (!left)
        out.append(fill, pad);
    out.append(body);
    if (left)
        out.append(fill, u' ');
}

enum class Size { None, Short, Char, Long, LongLong, Size, IntMax, PtrDiff, LongDouble, Wide };

// Widths and precisions are bounded, whether written or taken from the
// arguments, so a stray value cannot ask for gigabytes of padding.
constexpr int ciMaxField = 100000;

// snprintf of one numeric conversion into a string of whatever length it needs.
template <class T>
std::string FormatNumber(const std::string& spec, T value)
{
    int n = snprintf(nullptr, 0, spec.c_str(), value);
    if (n <= 0)
        return std::string();
    std::string text(static_cast<size_t>(n) + 1, '\0');
    snprintf(text.data(), text.size(), spec.c_str(), value);
    text.resize(static_cast<size_t>(n));
    return text;
}

} // namespace

std::u16string FormatWide(const char16_t* format, va_list ap)
{
    std::u16string out;
    if (!format)
        return out;
    va_list args;
    va_copy(args, ap);
    const char16_t* p = format;
    while (*p) {
        if (*p != u'%') {
            out += *p++;
            continue;
        }
        const char16_t* specStart = p++;
        if (*p == u'%') {
            out += u'%';
            ++p;
            continue;
        }
        std::string flags;
        while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0')
            flags += static_cast<char>(*p++);
        bool left = flags.find('-') != std::string::npos;
        int width = -1;
        if (*p == u'*') {
            // A negative width means left alignment; INT_MIN has no positive
            // counterpart, so the bound is applied before negating.
            width = va_arg(args, int);
            if (width < 0) {
                left = true;
                flags += '-';
                width = width < -ciMaxField ? ciMaxField : -width;
            }
            width = std::min(width, ciMaxField);
            ++p;
        } else if (*p >= u'0' && *p <= u'9') {
            width = 0;
            while (*p >= u'0' && *p <= u'9')
                width = std::min(width * 10 + (*p++ - u'0'), ciMaxField);
        }
        int precision = -1;
        if (*p == u'.') {
            ++p;
            precision = 0;
            if (*p == u'*') {
                // A negative precision counts as none at all.
                precision = va_arg(args, int);
                precision = precision < 0 ? -1 : std::min(precision, ciMaxField);
                ++p;
            } else {
                while (*p >= u'0' && *p <= u'9')
                    precision = std::min(precision * 10 + (*p++ - u'0'), ciMaxField);
            }
        }
        Size size = Size::None;
        if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
            size = Size::LongLong;
            p += 3;
        } else if (p[0] == u'I' && p[1] == u'3' && p[2] == u'2') {
            p += 3;
        } else if (*p == u'I') {
            size = Size::Size;
            ++p;
        } else if (p[0] == u'h' && p[1] == u'h') {
            size = Size::Char;
            p += 2;
        } else if (*p == u'h') {
            size = Size::Short;
            ++p;
        } else if (p[0] == u'l' && p[1] == u'l') {
            size = Size::LongLong;
            p += 2;
        } else if (*p == u'l') {
            size = Size::Long;
            ++p;
        } else if (*p == u'w') {
            size = Size::Wide;
            ++p;
        } else if (*p == u'z') {
            size = Size::Size;
            ++p;
        } else if (*p == u'j') {
            size = Size::IntMax;
            ++p;
        } else if (*p == u't') {
            size = Size::PtrDiff;
            ++p;
        } else if (*p == u'L') {
            size = Size::LongDouble;
            ++p;
        }
        char16_t conv = *p;
        if (!conv)
            break;
        ++p;
        switch (conv) {
        case u's':
        case u'S': {
            // In the wide functions %s is the wide string and %S the narrow
            // one; h forces narrow, l and w force wide.
            bool narrow = (conv == u'S');
            if (size == Size::Short)
                narrow = true;
            else if (size == Size::Long || size == Size::Wide)
                narrow = false;
            std::u16string text;
            if (narrow) {
                const char* s = va_arg(args, const char*);
                if (!s)
                    text = u"(null)";
                else if (precision >= 0)
                    text = CString::FromUtf8(std::string_view(s, strnlen(s, static_cast<size_t>(precision)))).Str();
                else
                    text = CString::FromUtf8(s).Str();
            } else {
                const char16_t* s = va_arg(args, const char16_t*);
                if (!s)
                    text = u"(null)";
                else if (precision >= 0) {
                    size_t n = 0;
                    while (n < static_cast<size_t>(precision) && s[n])
                        ++n;
                    text.assign(s, n);
                } else {
                    text = s;
                }
            }
            if (precision >= 0 && text.size() > static_cast<size_t>(precision))
                text.resize(static_cast<size_t>(precision));
            AppendPadded(out, text, width, left);
            break;
        }
        case u'c':
        case u'C': {
            int value = va_arg(args, int);
            bool narrow = (conv == u'C');
            if (size == Size::Short)
                narrow = true;
            else if (size == Size::Long || size == Size::Wide)
                narrow = false;
            char16_t ch = narrow ? static_cast<char16_t>(static_cast<unsigned char>(value)) : static_cast<char16_t>(value);
            AppendPadded(out, std::u16string_view(&ch, 1), width, left);
            break;
        }
        case u'd':
        case u'i':
        case u'u':
        case u'o':
        case u'x':
        case u'X':
        case u'p': {
            std::string spec = "%" + flags;
            if (width >= 0)
                spec += std::to_string(width);
            if (precision >= 0)
                spec += "." + std::to_string(precision);
            char buffer[128];
            bool isSigned = conv == u'd' || conv == u'i';
            if (conv == u'p') {
                // Windows prints pointers as upper-case hex of the pointer width.
                void* value = va_arg(args, void*);
                snprintf(buffer, sizeof buffer, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(value)));
                std::u16string wide(buffer, buffer + strlen(buffer));
                AppendPadded(out, wide, width, left);
                break;
            }
            spec += "ll";
            spec += static_cast<char>(conv);
            std::string text;
            if (isSigned) {
                long long v;
                switch (size) {
                case Size::LongLong: v = va_arg(args, long long); break;
                case Size::Size: v = static_cast<long long>(va_arg(args, ptrdiff_t)); break;
                case Size::IntMax: v = static_cast<long long>(va_arg(args, intmax_t)); break;
                case Size::PtrDiff: v = static_cast<long long>(va_arg(args, ptrdiff_t)); break;
                case Size::Short: v = static_cast<short>(va_arg(args, int)); break;
                case Size::Char: v = static_cast<signed char>(va_arg(args, int)); break;
                case Size::Long: v = va_arg(args, int); break; // long is 32-bit on Windows
                default: v = va_arg(args, int); break;
                }
                text = FormatNumber(spec, v);
            } else {
                unsigned long long v;
                switch (size) {
                case Size::LongLong: v = va_arg(args, unsigned long long); break;
                case Size::Size: v = va_arg(args, size_t); break;
                case Size::IntMax: v = static_cast<unsigned long long>(va_arg(args, uintmax_t)); break;
                case Size::PtrDiff: v = static_cast<unsigned long long>(va_arg(args, ptrdiff_t)); break;
                case Size::Short: v = static_cast<unsigned short>(va_arg(args, unsigned)); break;
                case Size::Char: v = static_cast<unsigned char>(va_arg(args, unsigned)); break;
                case Size::Long: v = va_arg(args, unsigned); break;
                default: v = va_arg(args, unsigned); break;
                }
                text = FormatNumber(spec, v);
            }
            out.append(text.begin(), text.end());
            break;
        }
        case u'e':
        case u'E':
        case u'f':
        case u'F':
        case u'g':
        case u'G':
        case u'a':
        case u'A': {
            std::string spec = "%" + flags;
            if (width >= 0)
                spec += std::to_string(width);
            if (precision >= 0)
                spec += "." + std::to_string(precision);
            std::string text;
            if (size == Size::LongDouble) {
                spec += "L";
                spec += static_cast<char>(conv);
                text = FormatNumber(spec, va_arg(args, long double));
            } else {
                spec += static_cast<char>(conv);
                text = FormatNumber(spec, va_arg(args, double));
            }
            out.append(text.begin(), text.end());
            break;
        }
        case u'n':
            // Writing through %n is refused, as the Windows runtime does.
            (void)va_arg(args, void*);
            break;
        default:
            // Unknown conversion: copy it as written.
            out.append(specStart, p);
            break;
        }
    }
    va_end(args);
    return out;
}
