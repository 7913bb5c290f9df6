// Texts for the operating system's error codes (errno values here).
#pragma once

#include "CString.h"
#include "WinTypes.h"

namespace platform {

// The system's description of `errorCode`, or empty when the system has no
// text for that code. Pitfall: code 0 is "Success", not an empty text.
CString SystemErrorText(DWORD errorCode);

} // namespace platform
