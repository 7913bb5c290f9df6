#include "platform/ExclusiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "platform/Process.h"
#include "platform/SystemError_posix.h"

namespace platform {

CExclusiveFileReader::~CExclusiveFileReader()
{
    Close();
}

CExclusiveFileReader::CExclusiveFileReader(CExclusiveFileReader&& other) noexcept : m_handle(std::exchange(other.m_handle, -1))
{
}

CExclusiveFileReader& CExclusiveFileReader::operator=(CExclusiveFileReader&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

DWORD CExclusiveFileReader::Open(const CString& path)
{
    Close();
    std::string name = path.ToUtf8();
    if (name.empty())
        return ERROR_FILE_NOT_FOUND;
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return LastErrnoError();
    struct stat opened{};
    if (fstat(fd, &opened) != 0) {
        DWORD error = LastErrnoError();
        close(fd);
        return error;
    }
    if (!S_ISREG(opened.st_mode)) {
        close(fd);
        return S_ISDIR(opened.st_mode) ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    // The holder scan goes by the path, so it must still name the file that
    // was opened; a file replaced in between is in the middle of a write.
    struct stat named{};
    if (stat(name.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
        close(fd);
        return ERROR_SHARING_VIOLATION;
    }
    if (FindFileHolder(path) != 0) {
        close(fd);
        return ERROR_SHARING_VIOLATION;
    }
    m_handle = fd;
    return ERROR_SUCCESS;
}

int CExclusiveFileReader::Read(void* buffer, DWORD size, DWORD& error)
{
    error = ERROR_SUCCESS;
    if (m_handle < 0) {
        error = ERROR_INVALID_HANDLE;
        return -1;
    }
    size_t wanted = size > static_cast<DWORD>(INT_MAX) ? static_cast<size_t>(INT_MAX) : size;
    for (;;) {
        ssize_t n = read(static_cast<int>(m_handle), buffer, wanted);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno != EINTR) {
            error = LastErrnoError();
            return -1;
        }
    }
}

void CExclusiveFileReader::Close()
{
    if (m_handle >= 0) {
        close(static_cast<int>(m_handle));
        m_handle = -1;
    }
}

} // namespace platform
