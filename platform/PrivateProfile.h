// Private-profile (INI) files: reading and writing "key=value" lines under
// "[section]" headers with the Windows rules, plus the two file primitives
// the functions stand on (read whole file; replace it under a lock).
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
// Every other line of the file is kept as it was. The file is replaced
// atomically (written beside it, then renamed over it) under an exclusive
// lock, with mode 0600, in the encoding it had (UTF-8 for a new file).
// Returns FALSE, leaving the file as it was, when it can't be written or
// when a name or value would break the file's structure (a line break
// anywhere, ']' in a section name, '=' in a key, an empty name). Pitfall:
// values with blanks at either end or enclosing quotes are written inside
// double quotes, so that reading gives them back unchanged.
BOOL WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const CString& path);

namespace platform {

// Reads the whole file into `bytes`. Returns false when it can't be read
// (ERROR_FILE_NOT_FOUND for a missing file, see LastProfileError). Pitfall: reads files of
// any size; INI files are expected to be small.
bool ReadProfileFile(const CString& path, std::string& bytes);

// Replaces the file with what `edit` makes of its current bytes (empty for a
// missing file; `exists` tells which). `edit` returns false to leave the file
// untouched. The new content goes to a 0600 temporary file in the same
// folder, is flushed to disk and renamed over the file, all while an
// exclusive lock on the folder keeps other writers waiting, so concurrent
// writers never lose each other's changes. A symbolic link is followed and
// its target replaced. Returns false when the file can't be written; then
// the old file is unchanged and no temporary file stays behind. Pitfall:
// the lock is advisory: only writers that use this function wait for it.
bool RewriteProfileFile(const CString& path, const std::function<bool(std::string& bytes, bool exists)>& edit);

// The error code of the last failure of the two functions above on this
// thread.
DWORD LastProfileError();

} // namespace platform
