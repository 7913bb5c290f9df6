// CString: a growable string of UTF-16 code units with the operations the
// core uses. Lengths and positions count UTF-16 units. Formatting follows the
// Windows wide printf rules (%s is a UTF-16 string, %S a narrow UTF-8 one).
// Text crosses every OS boundary as UTF-8 (FromUtf8 / ToUtf8).
#pragma once

#include <cstdarg>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"

class CString {
public:
    CString() = default;
    CString(const char16_t* text);                 // null reads as empty
    CString(const char16_t* text, int length);
    CString(char16_t ch, int repeat = 1);
    CString(std::u16string text) : m_s(std::move(text)) {}
    CString(std::u16string_view text) : m_s(text) {}
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char16_t* text);
    CString& operator=(char16_t ch);

    // UTF-8 conversion. Invalid sequences become U+FFFD.
    static CString FromUtf8(std::string_view utf8);
    std::string ToUtf8() const;
    // Latin-1 style widening: each byte becomes the code unit of equal value.
    static CString FromBytes(std::string_view bytes);

    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char16_t GetAt(int index) const { return m_s.at(static_cast<size_t>(index)); }
    void SetAt(int index, char16_t ch) { m_s.at(static_cast<size_t>(index)) = ch; }
    char16_t operator[](int index) const { return GetAt(index); }
    const char16_t* GetString() const { return m_s.c_str(); }
    operator const char16_t*() const { return m_s.c_str(); }
    const std::u16string& Str() const { return m_s; }
    std::u16string_view View() const { return m_s; }

    // Writable buffer of at least minLength units; ReleaseBuffer(-1) takes
    // the length up to the first zero unit.
    char16_t* GetBuffer(int minLength = 0);
    void ReleaseBuffer(int newLength = -1);

    CString& operator+=(const CString& other) { m_s += other.m_s; return *this; }
    CString& operator+=(const char16_t* text);
    CString& operator+=(char16_t ch) { m_s += ch; return *this; }
    void Append(const CString& other) { m_s += other.m_s; }
    void Append(const char16_t* text, int length);
    void AppendChar(char16_t ch) { m_s += ch; }

    int Compare(const char16_t* other) const;
    int CompareNoCase(const char16_t* other) const;
    bool EqualsNoCase(std::u16string_view other) const;

    // Searches return -1 when nothing is found.
    int Find(char16_t ch, int start = 0) const;
    int Find(const char16_t* text, int start = 0) const;
    int Find(const CString& text, int start = 0) const { return Find(text.GetString(), start); }
    int ReverseFind(char16_t ch) const;
    int FindOneOf(const char16_t* set) const;

    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int start) const;
    CString Mid(int start, int count) const;
    CString SpanIncluding(const char16_t* set) const;
    CString SpanExcluding(const char16_t* set) const;
    // Next token delimited by any of the characters of `delims`, starting at
    // `pos`; pos becomes -1 after the last token.
    CString Tokenize(const char16_t* delims, int& pos) const;

    int Insert(int index, char16_t ch);
    int Insert(int index, const char16_t* text);
    int Delete(int index, int count = 1);
    int Replace(char16_t oldCh, char16_t newCh);
    int Replace(const char16_t* oldText, const char16_t* newText);
    int Remove(char16_t ch);

    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim(char16_t ch);
    CString& Trim(const char16_t* set);
    CString& TrimLeft(const char16_t* set);
    CString& TrimRight(const char16_t* set);

    // printf-style formatting with the Windows wide rules.
    void Format(const char16_t* format, ...);
    void AppendFormat(const char16_t* format, ...);
    void FormatV(const char16_t* format, va_list args);
    void AppendFormatV(const char16_t* format, va_list args);

    // Case mapping of one UTF-16 unit (ASCII, Latin-1, Latin Extended-A,
    // Greek and Cyrillic): what case-insensitive comparisons fold with.
    static char16_t ToUpperChar(char16_t ch);
    static char16_t ToLowerChar(char16_t ch);
    static bool IsSpaceChar(char16_t ch);

    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char16_t* b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_s != b.m_s; }
    friend bool operator!=(const CString& a, const char16_t* b) { return a.Compare(b) != 0; }
    friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_s + b.m_s); }
    friend CString operator+(const CString& a, const char16_t* b);
    friend CString operator+(const char16_t* a, const CString& b);
    friend CString operator+(const CString& a, char16_t b) { return CString(a.m_s + b); }
    friend CString operator+(char16_t a, const CString& b) { return CString(std::u16string(1, a) + b.m_s); }

private:
    std::u16string m_s;
};

// Windows wide printf formatting into a new string (the engine of Format).
std::u16string FormatWide(const char16_t* format, va_list args);

// Writes the text as UTF-8 (for diagnostics and test output).
std::ostream& operator<<(std::ostream& out, const CString& text);

// Length of a zero-terminated UTF-16 text.
size_t Utf16Length(const char16_t* text);

template <>
struct std::hash<CString> {
    size_t operator()(const CString& s) const noexcept { return std::hash<std::u16string>()(s.Str()); }
};
