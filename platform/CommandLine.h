// Windows command lines: splitting one command-line string into the program
// and its arguments by the Windows quoting rules, and quoting arguments so
// that the split gives them back unchanged.
#pragma once

#include <vector>

#include "platform/CString.h"

namespace platform {

// Splits a command line into its tokens, the program first. The program
// token ends at the first blank or tab outside double quotes; the quotes
// are dropped and backslashes in it are kept as they are.
// The arguments follow the Microsoft C runtime rules: blanks and tabs
// separate them outside quotes; 2n backslashes before a double quote give n
// backslashes and the quote opens or closes a quoted part, 2n+1 give n
// backslashes and a literal quote; "" inside a quoted part gives one literal
// quote; other backslashes are literal. Returns an empty list for a line of
// only blanks. Pitfall: a line that starts with blanks has an empty program
// token, as on Windows.
std::vector<CString> SplitCommandLine(const CString& commandLine);

// Quotes one argument so that SplitCommandLine returns it unchanged: kept as
// it is when it has no blank, tab or double quote and is not empty (unless
// `always` asks for quotes, as the logged command lines show every path),
// else enclosed in double quotes with inner quotes and the backslashes
// before them escaped. Pitfall: not for the program token, which can't hold
// a double quote at all.
CString QuoteArgument(const CString& argument, bool always = false);

} // namespace platform
