#include "platform/SystemError_posix.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

struct SErrnoCode {
    int errnoValue;
    DWORD code;
};

// In the order a code's text is looked up: the first errno of a code is the
// one whose text describes it.
constexpr SErrnoCode caErrnoCodes[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EROFS, ERROR_WRITE_PROTECT},
    {EIO, ERROR_GEN_FAILURE},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EWOULDBLOCK, ERROR_LOCK_VIOLATION},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ESRCH, ERROR_INVALID_PARAMETER},
    {EPIPE, ERROR_NO_DATA},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {ERANGE, ERROR_INSUFFICIENT_BUFFER},
    {EILSEQ, ERROR_INVALID_NAME},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
};

} // namespace

DWORD ErrorFromErrno(int errnoValue)
{
    if (errnoValue == 0)
        return ERROR_SUCCESS;
    for (const auto& entry : caErrnoCodes)
        if (entry.errnoValue == errnoValue)
            return entry.code;
    return ciApplicationErrorBit | static_cast<DWORD>(errnoValue);
}

int ErrnoFromError(DWORD errorCode)
{
    if ((errorCode & ciApplicationErrorBit) && (errorCode & ~ciApplicationErrorBit) < 0x10000u)
        return static_cast<int>(errorCode & ~ciApplicationErrorBit);
    for (const auto& entry : caErrnoCodes)
        if (entry.code == errorCode)
            return entry.errnoValue;
    // Codes the table has no errno for, reported by the registry and pipes.
    switch (errorCode) {
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILE_EXISTS:
        return EEXIST;
    case ERROR_BROKEN_PIPE:
        return EPIPE;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_REGISTRY_IO_FAILED:
        return EIO;
    default:
        return 0;
    }
}

DWORD LastErrnoError()
{
    return ErrorFromErrno(errno);
}

CString SystemErrorText(DWORD errorCode)
{
    if (errorCode == ERROR_SUCCESS)
        return CString::FromUtf8(std::strerror(0));
    int code = ErrnoFromError(errorCode);
    // glibc answers unknown codes with a made-up "Unknown error N"; only a
    // code with a symbolic name is one the system knows.
    if (code == 0 || !::strerrorname_np(code))
        return CString();
    char buffer[256];
    const char* text = ::strerror_r(code, buffer, sizeof buffer); // GNU variant
    return text ? CString::FromUtf8(text) : CString();
}

} // namespace platform
