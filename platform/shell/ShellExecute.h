// Opening a file in the application the desktop chooses for its type, as a
// double click does (ShellExecuteExW with the default verb), so that the
// caller learns which process was started.
#pragma once

#include "platform/CString.h"
#include "platform/Process.h"
#include "platform/WinTypes.h"

namespace platform {

// What ShellOpenFile started.
struct SShellOpenResult {
    CProcessHandle process; // the started application; null when it can't be known
    CString application;    // its display name ("Text Editor")
    CString command;        // the desktop entry's id or command it ran
};

// Opens `path` (an existing file) in the default application for its type.
// Returns ERROR_SUCCESS with `result` filled; the process is the program
// the application's command started (not a launcher around it where the
// desktop can tell), and null when the desktop started it another way (a
// service activation) or it ended before it could be seen.
// ERROR_FILE_NOT_FOUND for a missing file, ERROR_NO_ASSOCIATION when no
// application handles the type, ERROR_BAD_COMMAND when it can't be started.
// Pitfall: an application that hands the file to an instance that was
// already running ends at once; its process then says nothing about when
// the user is done with the file.
DWORD ShellOpenFile(const CString& path, SShellOpenResult& result);

} // namespace platform
