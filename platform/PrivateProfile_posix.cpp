// File access of the INI functions: whole-file reads and locked, atomic
// replacement.
#include "platform/PrivateProfile.h"
#include "platform/PrivateProfile_posix.h"
#include "platform/SystemError_posix.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// Records an errno value as the Windows code of the failure.
bool Fail(int error)
{
    t_lastError = ErrorFromErrno(error);
    return false;
}

class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

bool ReadAll(int fd, std::string& bytes)
{
    bytes.clear();
    char buffer[8192];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, static_cast<size_t>(n));
        else if (n == 0)
            return true;
        else if (errno != EINTR)
            return false;
    }
}

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return true;
}

// The file a write really goes to: the target of a symbolic link, else the
// path itself.
std::string TargetPath(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved))
            return resolved;
    }
    return path;
}

// Opens an existing file for reading without waiting on it: a FIFO or a
// device in place of an INI file would block the open or the read (and a
// writer keeps the folder's lock meanwhile), so only a regular file is
// accepted. Returns the descriptor, or -1 with errno set (EISDIR for a
// folder, EINVAL for anything else that is not a regular file).
int OpenRegularFile(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

DWORD LastProfileError()
{
    return t_lastError;
}

bool ReadProfileFile(const CString& path, std::string& bytes)
{
    CFd fd(OpenRegularFile(path.ToUtf8()));
    if (fd.Get() < 0)
        return Fail(errno);
    if (!ReadAll(fd.Get(), bytes))
        return Fail(errno);
    return true;
}

bool RewriteProfileFile(const CString& path, const std::function<bool(std::string& bytes, bool exists)>& edit)
{
    const std::string target = TargetPath(path.ToUtf8());
    const std::string folder = FolderOf(target);

    // One writer per folder at a time: the read, the edit and the rename
    // form one step, so two writers of the same file never lose a change.
    CFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0)
        return Fail(errno);
    while (flock(dir.Get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return Fail(errno);

    std::string bytes;
    bool exists = true;
    {
        CFd in(OpenRegularFile(target));
        if (in.Get() < 0) {
            if (errno != ENOENT)
                return Fail(errno);
            exists = false;
        } else {
            if (!ReadAll(in.Get(), bytes))
                return Fail(errno);
        }
    }
    if (!edit(bytes, exists)) {
        t_lastError = ERROR_SUCCESS;
        return true;
    }

    std::string temp = folder + "/.ini-XXXXXX";
    CFd out(mkostemp(temp.data(), O_CLOEXEC));
    if (out.Get() < 0)
        return Fail(errno);
    // mkostemp creates the file with mode 0600; say it explicitly so that no
    // umask or inherited default can widen it.
    if (fchmod(out.Get(), S_IRUSR | S_IWUSR) != 0 || !WriteAll(out.Get(), bytes) || fsync(out.Get()) != 0 ||
        rename(temp.c_str(), target.c_str()) != 0) {
        int error = errno;
        unlink(temp.c_str());
        return Fail(error);
    }
    fsync(dir.Get());
    return true;
}

} // namespace platform
