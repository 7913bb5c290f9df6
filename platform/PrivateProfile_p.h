// Private to the private-profile realisations: the rules both apply on top
// of the file format (what may be written, and how a value is quoted so
// that reading gives it back).
#pragma once

#include <string>
#include <string_view>

namespace platform::profile {

bool IsBlank(char16_t c);
// `s` without blanks and tabs at either end.
std::u16string_view Trim(std::u16string_view s);
// The text to write for a value so that reading it gives the value back:
// values with blanks at either end or enclosing quotes go inside quotes.
std::u16string QuoteIfNeeded(std::u16string_view value);
// A line break or a zero unit anywhere.
bool HasLineBreak(std::u16string_view s);
// Whether a section name, a key name can be written without breaking the
// file's structure.
bool ValidSection(std::u16string_view s);
bool ValidKey(std::u16string_view s);

} // namespace platform::profile
