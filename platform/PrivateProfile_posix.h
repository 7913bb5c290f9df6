// Private to the POSIX realisation of the private-profile functions: the
// two file primitives they stand on (read a whole file; replace it under a
// lock).
#pragma once

#include <functional>
#include <string>

#include "platform/CString.h"
#include "platform/SystemError.h"

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
