#include "ExclusiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "Process.h"

namespace platform {

CExclusiveFileReader::~CExclusiveFileReader()
{
    Close();
}

CExclusiveFileReader::CExclusiveFileReader(CExclusiveFileReader&& other) noexcept : m_fd(std::exchange(other.m_fd, -1))
{
}

CExclusiveFileReader& CExclusiveFileReader::operator=(CExclusiveFileReader&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int CExclusiveFileReader::Open(const CString& path)
{
    Close();
    std::string name = path.ToUtf8();
    if (name.empty())
        return ENOENT;
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat opened{};
    if (fstat(fd, &opened) != 0) {
        int error = errno;
        close(fd);
        return error;
    }
    if (!S_ISREG(opened.st_mode)) {
        close(fd);
        return S_ISDIR(opened.st_mode) ? EISDIR : EINVAL;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    // The holder scan goes by the path, so it must still name the file that
    // was opened; a file replaced in between is in the middle of a write.
    struct stat named{};
    if (stat(name.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
        close(fd);
        return EBUSY;
    }
    if (FindFileHolder(path) != 0) {
        close(fd);
        return EBUSY;
    }
    m_fd = fd;
    return 0;
}

int CExclusiveFileReader::Read(void* buffer, DWORD size, int& error)
{
    error = 0;
    if (m_fd < 0) {
        error = EBADF;
        return -1;
    }
    size_t wanted = size > static_cast<DWORD>(INT_MAX) ? static_cast<size_t>(INT_MAX) : size;
    for (;;) {
        ssize_t n = read(m_fd, buffer, wanted);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

void CExclusiveFileReader::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

} // namespace platform
