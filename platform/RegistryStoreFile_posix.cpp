// Where the registry store lives on a POSIX system and how it is kept
// private: $XDG_CONFIG_HOME/veilcase/registry.sqlite3 (default ~/.config),
// folder 0700 and file 0600, both owned by the user.
#include "platform/RegistryStore_sqlite.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/FolderPrivacy.h"

namespace platform {

namespace {

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        return pw->pw_dir;
    return std::string();
}

std::string Describe(const std::string& what, const std::string& path, int error)
{
    return what + " " + path + ": " + std::strerror(error);
}

// Creates `path` (mode 0700) when missing; an existing one must be a
// folder, or a link to one (as a linked ~/.config or /home is).
bool EnsureFolder(const std::string& path, std::string& error)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Describe("cannot create folder", path, errno);
        return false;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        error = Describe("cannot examine folder", path, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "not a folder: " + path;
        return false;
    }
    return true;
}

// Creates every missing level of `path` with mode 0700 (an existing level is
// left as it is).
bool EnsureParents(const std::string& path, std::string& error)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (!EnsureFolder(path.substr(0, slash), error))
            return false;
    }
    return EnsureFolder(path, error);
}

// The store's own folder: private by the common rule, never a link; one of
// the user's that is open to others is closed up (it is ours alone by then).
bool EnsureStoreFolder(const std::string& path, std::string& error)
{
    DWORD reason = ERROR_SUCCESS;
    switch (EnsurePrivateFolder(CString::FromUtf8(path), true, &reason)) {
    case EFolderPrivacy::ePrivate:
        return true;
    case EFolderPrivacy::eMissing:
        error = "cannot create folder " + path + ": " + SystemErrorText(reason).ToUtf8();
        return false;
    case EFolderPrivacy::eOpenToOthers:
        error = "cannot make folder private: " + path;
        return false;
    case EFolderPrivacy::eForeignOwner:
        error = "folder belongs to another user: " + path;
        return false;
    case EFolderPrivacy::eNotAFolder:
        error = "not a folder: " + path;
        return false;
    }
    return false;
}

bool EnsurePrivateFile(const std::string& path, std::string& error)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = Describe("cannot open", path, errno);
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (!ok)
        error = Describe("cannot examine", path, errno);
    else if (!S_ISREG(st.st_mode)) {
        error = "not a regular file: " + path;
        ok = false;
    } else if (st.st_uid != geteuid()) {
        error = "file belongs to another user: " + path;
        ok = false;
    } else if ((st.st_mode & 077) != 0 && fchmod(fd, 0600) != 0) {
        error = Describe("cannot make file private", path, errno);
        ok = false;
    }
    close(fd);
    return ok;
}

} // namespace

std::string RegistryStoreLocation()
{
    std::string config;
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base
    // directory rules say.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        config = xdg;
    else if (std::string home = HomeDirectory(); !home.empty())
        config = home + "/.config";
    else
        return std::string();
    while (config.size() > 1 && config.back() == '/')
        config.pop_back();
    return config + "/veilcase/registry.sqlite3";
}

bool PrepareRegistryStoreFile(const std::string& path, std::string& error)
{
    auto slash = path.rfind('/');
    if (path.empty() || slash == std::string::npos || slash == 0) {
        error = "no location for the registry store";
        return false;
    }
    std::string folder = path.substr(0, slash);
    auto parentSlash = folder.rfind('/');
    if (parentSlash != std::string::npos && parentSlash > 0 && !EnsureParents(folder.substr(0, parentSlash), error))
        return false;
    if (!EnsureStoreFolder(folder, error))
        return false;
    // SQLite gives its -wal and -shm files the mode of the database file.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::string file = path + suffix;
        if (*suffix && access(file.c_str(), F_OK) != 0)
            continue;
        if (!EnsurePrivateFile(file, error))
            return false;
    }
    return true;
}

long RegistryProcessId()
{
    return static_cast<long>(getpid());
}

} // namespace platform
