#include "platform/TempFile.h"
#include "platform/SystemError_posix.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int CreatePrivateTempFileErrno(const CString& directory, const CString& prefix, CString& path)
{
    std::string pattern = directory.ToUtf8();
    if (pattern.empty())
        return ENOENT;
    if (pattern.back() != '/')
        pattern += '/';
    pattern += prefix.ToUtf8() + "XXXXXX.tmp";
    // mkostemps opens with O_EXCL and mode 0600, so the file is new and ours.
    int fd = mkostemps(pattern.data(), 4, O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = fchmod(fd, S_IRUSR | S_IWUSR) == 0 ? 0 : errno;
    close(fd);
    if (error != 0) {
        unlink(pattern.c_str());
        return error;
    }
    path = CString::FromUtf8(pattern);
    return 0;
}

int CreatePrivateFileErrno(const CString& path)
{
    int fd = open(path.ToUtf8().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return errno;
    // The umask can only take bits away; make sure no other bit is set.
    int error = fchmod(fd, S_IRUSR | S_IWUSR) == 0 ? 0 : errno;
    close(fd);
    if (error != 0)
        unlink(path.ToUtf8().c_str());
    return error;
}

int ReadFileRangeErrno(const CString& path, unsigned long long offset, DWORD maxBytes, std::string& bytes)
{
    bytes.clear();
    int fd = open(path.ToUtf8().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    bytes.resize(maxBytes);
    size_t done = 0;
    int error = 0;
    while (done < maxBytes) {
        ssize_t n = pread(fd, bytes.data() + done, maxBytes - done, static_cast<off_t>(offset + done));
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    close(fd);
    bytes.resize(error == 0 ? done : 0);
    return error;
}

} // namespace

DWORD CreatePrivateTempFile(const CString& directory, const CString& prefix, CString& path)
{
    return ErrorFromErrno(CreatePrivateTempFileErrno(directory, prefix, path));
}

DWORD CreatePrivateFile(const CString& path)
{
    int error = CreatePrivateFileErrno(path);
    // A create that finds the file in place fails as Windows says it.
    return error == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(error);
}

DWORD ReadFileStart(const CString& path, DWORD maxBytes, std::string& bytes)
{
    return ErrorFromErrno(ReadFileRangeErrno(path, 0, maxBytes, bytes));
}

DWORD ReadFileRange(const CString& path, unsigned long long offset, DWORD maxBytes, std::string& bytes)
{
    return ErrorFromErrno(ReadFileRangeErrno(path, offset, maxBytes, bytes));
}

DWORD DeleteTempFile(const CString& path)
{
    return unlink(path.ToUtf8().c_str()) == 0 ? ERROR_SUCCESS : LastErrnoError();
}

} // namespace platform
