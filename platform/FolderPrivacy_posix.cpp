#include "platform/FolderPrivacy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/SystemError_posix.h"

namespace platform {

namespace {

std::string Native(const CString& path)
{
    std::string native = path.ToUtf8();
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return native;
}

// Open folders of the user the process acts as: that user owns what the
// process creates, so that is whose the folder must be.
EFolderPrivacy Judge(const struct stat& st)
{
    if (!S_ISDIR(st.st_mode))
        return EFolderPrivacy::eNotAFolder;
    if (st.st_uid != geteuid())
        return EFolderPrivacy::eForeignOwner;
    return (st.st_mode & 077) ? EFolderPrivacy::eOpenToOthers : EFolderPrivacy::ePrivate;
}

// The folder opened for examination (O_PATH needs no permission on it), so
// that the check and a later change concern the same folder even if the
// path is swapped meanwhile.
class CFolder {
public:
    CFolder(const std::string& path, bool followLink)
        : m_fd(path.empty() ? -1
                            : open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)))
    {
    }
    ~CFolder()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CFolder(const CFolder&) = delete;
    CFolder& operator=(const CFolder&) = delete;
    bool IsOpen() const { return m_fd >= 0; }
    bool Stat(struct stat& st) const { return fstat(m_fd, &st) == 0; }
    // fchmod refuses an O_PATH descriptor; its /proc name reaches the folder.
    bool CloseUp(const struct stat& st) const
    {
        std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        return chmod(self.c_str(), st.st_mode & 0700) == 0;
    }

private:
    int m_fd;
};

// The verdict for a path that could not be opened as a folder.
EFolderPrivacy JudgeUnopened(const std::string& path)
{
    struct stat st {};
    return (path.empty() || lstat(path.c_str(), &st) != 0) ? EFolderPrivacy::eMissing : EFolderPrivacy::eNotAFolder;
}

} // namespace

EFolderPrivacy CheckFolderPrivacy(const CString& path, bool followLink)
{
    std::string native = Native(path);
    CFolder folder(native, followLink);
    struct stat st {};
    if (!folder.IsOpen() || !folder.Stat(st))
        return JudgeUnopened(native);
    return Judge(st);
}

bool RestrictFolderToOwner(const CString& path)
{
    CFolder folder(Native(path), true);
    struct stat st {};
    if (!folder.IsOpen() || !folder.Stat(st) || Judge(st) == EFolderPrivacy::eForeignOwner)
        return false;
    return folder.CloseUp(st);
}

EFolderPrivacy EnsurePrivateFolder(const CString& path, bool tighten, DWORD* error)
{
    std::string native = Native(path);
    if (native.empty() || (mkdir(native.c_str(), 0700) != 0 && errno != EEXIST)) {
        if (error)
            *error = native.empty() ? ERROR_PATH_NOT_FOUND : LastErrnoError();
        return JudgeUnopened(native);
    }
    CFolder folder(native, false);
    struct stat st {};
    if (!folder.IsOpen() || !folder.Stat(st))
        return JudgeUnopened(native);
    EFolderPrivacy verdict = Judge(st);
    if (verdict == EFolderPrivacy::eOpenToOthers && tighten && folder.CloseUp(st))
        return EFolderPrivacy::ePrivate;
    return verdict;
}

} // namespace platform
