// Private temporary files: creating a fresh, uniquely named file that only
// its owner can read, reading its first bytes back, and deleting it.
#pragma once

#include <string>

#include "platform/CString.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

namespace platform {

// Creates a new empty file "<prefix><random>.tmp" in `directory` (which ends
// in a separator or not) that only the user can read and write; the name is
// chosen by the system and never names an existing file. Returns
// ERROR_SUCCESS with `path` set, or the error code of the failure. Pitfall:
// the file stays until DeleteTempFile; callers must remove it on every path.
DWORD CreatePrivateTempFile(const CString& directory, const CString& prefix, CString& path);

// Creates the named file, new and empty, readable and writable by its owner
// only, so that a program that later writes into it keeps it private.
// Returns ERROR_SUCCESS, or the error code (ERROR_FILE_EXISTS when a file of
// that name exists). Pitfall: never opens an existing file, not even an
// empty one.
DWORD CreatePrivateFile(const CString& path);

// Reads at most `maxBytes` bytes from the start of the file into `bytes`.
// Returns ERROR_SUCCESS or the error code of the failure (then `bytes` is
// empty). Pitfall: a file that is still being written may be cut anywhere.
DWORD ReadFileStart(const CString& path, DWORD maxBytes, std::string& bytes);

// Reads at most `maxBytes` bytes starting at byte `offset` into `bytes`
// (fewer near the end, none past it). Returns ERROR_SUCCESS or the error
// code of the failure (then `bytes` is empty).
DWORD ReadFileRange(const CString& path, unsigned long long offset, DWORD maxBytes, std::string& bytes);

// Deletes the file. Returns ERROR_SUCCESS, or the error code
// (ERROR_FILE_NOT_FOUND when it is gone).
DWORD DeleteTempFile(const CString& path);

} // namespace platform
