#include "platform/LogFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool CAppendFile::Open(const CString& path)
{
    Close();
    // O_NONBLOCK keeps a FIFO in the file's place from blocking the open
    // (and with it every process that logs); only a regular file of the
    // user's is written to, never a link or somebody else's file.
    int fd = ::open(path.ToUtf8().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
                    S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return false;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        ::fchmod(fd, S_IRUSR | S_IWUSR);
    m_handle = fd;
    return true;
}

bool CAppendFile::Write(std::string_view bytes)
{
    if (m_handle < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(static_cast<int>(m_handle), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void CAppendFile::Close()
{
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
        m_handle = -1;
    }
}

} // namespace platform
