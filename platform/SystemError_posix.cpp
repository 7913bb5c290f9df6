#include "SystemError.h"

#include <cstring>

namespace platform {

CString SystemErrorText(DWORD errorCode)
{
    if (errorCode > 0x7FFFFFFFu)
        return CString();
    int code = static_cast<int>(errorCode);
    // glibc answers unknown codes with a made-up "Unknown error N"; only a
    // code with a symbolic name is one the system knows.
    if (code != 0 && !::strerrorname_np(code))
        return CString();
    char buffer[256];
    const char* text = ::strerror_r(code, buffer, sizeof buffer); // GNU variant
    return text ? CString::FromUtf8(text) : CString();
}

} // namespace platform
