// Message texts with inserts ("The config of %1!s! has been saved"): the
// insert rules of the Windows message formatter, applied to a text taken
// from the string table.
#pragma once

#include <initializer_list>
#include <type_traits>
#include <vector>

#include "platform/CString.h"

namespace platform {

// One argument of a message text: a string or an integer.
class MessageArg {
public:
    MessageArg(const CString& text) : m_isText(true), m_text(text) {}
    MessageArg(const char16_t* text) : m_isText(true), m_text(text) {}
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
    MessageArg(T value) : m_isText(false), m_number(static_cast<long long>(value)), m_bits(sizeof(T) * 8)
    {
    }
    bool IsText() const { return m_isText; }
    const CString& Text() const { return m_text; }
    long long Number() const { return m_number; }
    // Width of the argument's type in bits: a 32-bit value shown unsigned
    // or in hexadecimal keeps its 32-bit form (-1 shows as FFFFFFFF).
    int Bits() const { return m_bits; }

private:
    bool m_isText;
    CString m_text;
    long long m_number = 0;
    int m_bits = 0;
};

// Fills the inserts of `pattern`:
//   %1 .. %99          argument n, as a string ("%1" alone means "%1!s!")
//   %n!fmt!            argument n formatted by the printf format fmt
//                      (s, S for strings; d, i, u, x, X, o, c for integers)
//   %%  -> %           %n  -> line break ("\n")   %r -> "\r"   %t -> tab
//   %.  -> .           "% " -> space              %0 -> ends the text here
// Everything else stands as written: "%!" stays "%!", and an insert whose
// argument is missing or of the wrong kind, or whose format is malformed,
// is left in the text unchanged instead of reading a wrong argument.
// Pitfall: the result is built for display; it is not a format string again.
CString FormatMessageInserts(const CString& pattern, const std::vector<MessageArg>& args);
inline CString FormatMessageInserts(const CString& pattern, std::initializer_list<MessageArg> args)
{
    return FormatMessageInserts(pattern, std::vector<MessageArg>(args));
}

} // namespace platform
