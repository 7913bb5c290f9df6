#include "FolderPrivacy.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string Native(const CString& path)
{
    std::string native = path.ToUtf8();
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return native;
}

} // namespace

EFolderPrivacy CheckFolderPrivacy(const CString& path)
{
    std::string native = Native(path);
    struct stat st {};
    if (native.empty() || stat(native.c_str(), &st) != 0)
        return (native.empty() || lstat(native.c_str(), &st) != 0) ? EFolderPrivacy::eMissing
                                                                    : EFolderPrivacy::eNotAFolder;
    if (!S_ISDIR(st.st_mode))
        return EFolderPrivacy::eNotAFolder;
    if (st.st_uid != geteuid())
        return EFolderPrivacy::eForeignOwner;
    return (st.st_mode & 077) ? EFolderPrivacy::eOpenToOthers : EFolderPrivacy::ePrivate;
}

bool RestrictFolderToOwner(const CString& path)
{
    std::string native = Native(path);
    struct stat st {};
    if (native.empty() || stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return false;
    return chmod(native.c_str(), st.st_mode & 0700) == 0;
}

} // namespace platform
