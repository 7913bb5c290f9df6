#include "platform/PrivateProfile_p.h"

namespace platform::profile {

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

std::u16string_view Trim(std::u16string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The text to write for a value so that reading it gives the value back.
std::u16string QuoteIfNeeded(std::u16string_view value)
{
    bool blankEnds = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    bool enclosed = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                    value.back() == value.front();
    if (blankEnds || enclosed)
        return u"\"" + std::u16string(value) + u"\"";
    return std::u16string(value);
}

bool HasLineBreak(std::u16string_view s)
{
    return s.find_first_of(u"\r\n") != std::u16string_view::npos || s.find(u'\0') != std::u16string_view::npos;
}

bool ValidSection(std::u16string_view s)
{
    return !Trim(s).empty() && !HasLineBreak(s) && s.find(u']') == std::u16string_view::npos;
}

bool ValidKey(std::u16string_view s)
{
    std::u16string_view t = Trim(s);
    return !t.empty() && !HasLineBreak(s) && s.find(u'=') == std::u16string_view::npos && t.front() != u'[' &&
           t.front() != u';';
}

} // namespace platform::profile
