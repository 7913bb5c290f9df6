// Private to the POSIX realisation: errno values mapped to the Windows error
// codes of SystemError.h, and back for their texts.
#pragma once

#include "platform/SystemError.h"

namespace platform {

// The Windows code for an errno value: the code Windows gives for the same
// failure (ENOENT -> ERROR_FILE_NOT_FOUND, EACCES -> ERROR_ACCESS_DENIED,
// EEXIST -> ERROR_ALREADY_EXISTS, ...); 0 stays ERROR_SUCCESS. A value with no
// Windows counterpart keeps its number with ciApplicationErrorBit set.
// Pitfall: some Windows codes depend on the call (a file that exists is
// ERROR_FILE_EXISTS for a create, ERROR_ALREADY_EXISTS for a folder); the
// caller passes such codes itself.
DWORD ErrorFromErrno(int errnoValue);

// The errno value closest to a Windows code (for its text); 0 when none.
int ErrnoFromError(DWORD errorCode);

// The Windows code for the calling thread's errno.
DWORD LastErrnoError();

} // namespace platform
