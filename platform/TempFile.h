// Private temporary files: creating a fresh, uniquely named file that only
// its owner can read, reading its first bytes back, and deleting it.
#pragma once

#include <string>

#include "CString.h"
#include "WinTypes.h"

namespace platform {

// Creates a new empty file "<prefix><random>.tmp" in `directory` (which ends
// in '/' or not) with mode 0600; the name is chosen by the system and never
// names an existing file. Returns 0 with `path` set, or the errno value of
// the failure. Pitfall: the file stays until DeleteTempFile; callers must
// remove it on every path.
int CreatePrivateTempFile(const CString& directory, const CString& prefix, CString& path);

// Creates the named file, new and empty, readable and writable by its owner
// only, so that a program that later writes into it keeps it private.
// Returns 0, or the errno value (EEXIST when a file of that name exists).
// Pitfall: never opens an existing file, not even an empty one.
int CreatePrivateFile(const CString& path);

// Reads at most `maxBytes` bytes from the start of the file into `bytes`.
// Returns 0 or the errno value of the failure (then `bytes` is empty).
// Pitfall: a file that is still being written may be cut anywhere.
int ReadFileStart(const CString& path, DWORD maxBytes, std::string& bytes);

// Deletes the file. Returns 0, or the errno value (ENOENT when it is gone).
int DeleteTempFile(const CString& path);

} // namespace platform
