// Private-profile (INI) files: reading and writing "key=value" lines under
// "[section]" headers with the Windows rules.
#pragma once

#include <functional>
#include <string>

#include "platform/CString.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

// Reads the value of `key` in `section` of the INI file `path` into `out`.
// Sections and keys match ignoring case and surrounding blanks; the first
// matching section and the first matching key in it count. Blanks around the
// value are dropped, and so is one pair of matching quotes (" or ') that
// encloses it. Lines starting with ';' are comments. When the file, section
// or key is missing, `out` is `defaultValue` (null reads as empty) without
// its trailing blanks. A null `key` lists the section's key names, a null
// `section` the file's section names, each name followed by a zero unit.
// Returns the length of `out`. The file may be UTF-8 (with or without BOM)
// or UTF-16LE with BOM. Pitfall: a value read back loses enclosing quotes,
// so WritePrivateProfileStringW quotes values that would otherwise change.
DWORD GetPrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                               CString& out, const CString& path);

// Sets `key` in `section` to `value`, creating the file and the section when
// needed; a null `value` deletes the key, a null `key` the whole section.
// Every other line of the file is kept as it was, and so is the file's
// encoding; a new file is private to the user (UTF-8 here, UTF-16LE where
// the system's profile functions write Unicode only so). Other processes
// see the file before or after a write, never half-written.
// Returns FALSE, leaving the file as it was, when it can't be written or
// when a name or value would break the file's structure (a line break
// anywhere, ']' in a section name, '=' in a key, an empty name). Pitfall:
// values with blanks at either end or enclosing quotes are written inside
// double quotes, so that reading gives them back unchanged.
BOOL WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const CString& path);
