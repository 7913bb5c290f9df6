#include "platform/SystemError.h"

#include "platform/Win32_win.h"

namespace platform {

CString SystemErrorText(DWORD errorCode)
{
    wchar_t* buffer = nullptr;
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                        FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                    reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || !buffer)
        return CString();
    CString text = win::FromW(buffer, length);
    ::LocalFree(buffer);
    // The system's texts end in a line break (and some in a blank).
    text.TrimRight(u"\r\n ");
    return text;
}

} // namespace platform
