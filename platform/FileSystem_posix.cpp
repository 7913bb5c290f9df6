#include "platform/FileSystem.h"
#include "platform/FolderPrivacy.h"
#include "platform/Wildcard_p.h"
#include "platform/SystemError_posix.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

namespace {

thread_local DWORD t_lastError = 0;

// Records an errno value as the Windows code of the failure.
bool Fail(int error)
{
    t_lastError = ErrorFromErrno(error);
    return false;
}

bool FailErrno()
{
    return Fail(errno);
}

// A folder level that is not there is a missing path, not a missing file,
// when a folder is listed or made (Windows says ERROR_PATH_NOT_FOUND there).
bool FailFolder(int error)
{
    if (error == ENOENT) {
        t_lastError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    return Fail(error);
}

std::string U8(const CString& s)
{
    return s.ToUtf8();
}

// A path without trailing '/' (except the root itself), so that lstat looks
// at a link rather than through it.
std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string LastComponent(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool HasWildcards(const CString& pattern)
{
    return pattern.FindOneOf(u"*?") >= 0;
}

// Attribute word, size and time of an entry from its lstat data; `follow`
// is the stat of the link's target when the entry is a link that resolves.
void Describe(const std::string& name, const struct stat& own, const struct stat* follow, FileEntry& entry)
{
    DWORD attributes = 0;
    const struct stat* content = &own;
    if (S_ISLNK(own.st_mode)) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        if (follow) {
            content = follow;
            attributes |= S_ISDIR(follow->st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        } else {
            attributes |= FILE_ATTRIBUTE_ARCHIVE; // dangling: a link file
        }
    } else if (S_ISDIR(own.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (S_ISREG(own.st_mode)) {
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
    } else {
        attributes |= FILE_ATTRIBUTE_SYSTEM;
    }
    if (!(content->st_mode & S_IWUSR) && !(S_ISLNK(content->st_mode)))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..")
        attributes |= FILE_ATTRIBUTE_HIDDEN;

    entry.name = CString::FromUtf8(name);
    entry.attributes = attributes;
    entry.size = S_ISREG(content->st_mode) ? static_cast<ULONGLONG>(content->st_size) : 0;
    entry.lastWriteTime = static_cast<std::int64_t>(content->st_mtim.tv_sec);
}

bool DescribePath(const std::string& path, FileEntry& entry)
{
    struct stat own {};
    if (lstat(path.c_str(), &own) != 0)
        return FailErrno();
    struct stat target {};
    const struct stat* follow = nullptr;
    if (S_ISLNK(own.st_mode) && stat(path.c_str(), &target) == 0)
        follow = &target;
    Describe(path == "/" ? path : LastComponent(path), own, follow, entry);
    return true;
}

std::string ReadSmallFile(const std::string& path)
{
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

// "\040" style octal escapes of /proc/self/mountinfo.
std::string DecodeOctalEscapes(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const char* d = text.c_str() + i + 1;
            if (d[0] >= '0' && d[0] <= '3' && d[1] >= '0' && d[1] <= '7' && d[2] >= '0' && d[2] <= '7') {
                out += static_cast<char>((d[0] - '0') * 64 + (d[1] - '0') * 8 + (d[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// "\x20" style escapes of the names udev gives in /dev/disk/by-label.
std::string DecodeHexEscapes(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
            continue;
        }
        out += text[i];
    }
    return out;
}

// Device number of the volume's block device, if it has one.
bool BlockDeviceOf(const MountedVolume& volume, dev_t& device)
{
    struct stat st {};
    std::string sys = "/sys/dev/block/" + std::to_string(volume.devMajor) + ":" + std::to_string(volume.devMinor);
    if (volume.devMajor != 0 && stat(sys.c_str(), &st) == 0) {
        device = makedev(volume.devMajor, volume.devMinor);
        return true;
    }
    // File systems such as btrfs report an anonymous device number; their
    // source still names the block device.
    std::string source = U8(volume.source);
    if (source.rfind("/dev/", 0) == 0 && stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
        device = st.st_rdev;
        return true;
    }
    return false;
}

// The /sys folder of the whole disk that holds the volume; empty if none.
std::string SysDiskFolder(const MountedVolume& volume)
{
    dev_t device;
    if (!BlockDeviceOf(volume, device))
        return {};
    std::string link = "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char* real = realpath(link.c_str(), nullptr);
    if (!real)
        return {};
    std::string folder = real;
    free(real);
    struct stat st {};
    if (stat((folder + "/partition").c_str(), &st) == 0)
        folder = folder.substr(0, folder.rfind('/'));
    return folder;
}

// A folder passes when it is private (never through a link) and the user
// can work in it; one open to others is left alone and not used.
bool PrivateFolderUsable(const std::string& path, bool create)
{
    CString folder = CString::FromUtf8(path);
    EFolderPrivacy verdict = create ? EnsurePrivateFolder(folder, false) : CheckFolderPrivacy(folder, false);
    return verdict == EFolderPrivacy::ePrivate && access(path.c_str(), R_OK | W_OK | X_OK) == 0;
}

std::string EnvPath(const char* name)
{
    const char* value = getenv(name);
    if (!value || value[0] != '/')
        return {};
    return WithoutTrailingSlash(value);
}

std::string HomeFolder()
{
    std::string home = EnvPath("HOME");
    if (!home.empty())
        return home;
    struct passwd* pw = getpwuid(getuid());
    return pw && pw->pw_dir && pw->pw_dir[0] == '/' ? WithoutTrailingSlash(pw->pw_dir) : std::string();
}

// A folder named in the user's user-dirs.dirs (XDG_DESKTOP_DIR="$HOME/Desktop").
std::string UserDir(const char* key, const std::string& home)
{
    std::string config = EnvPath("XDG_CONFIG_HOME");
    if (config.empty())
        config = home + "/.config";
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line, prefix = std::string(key) + "=\"";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 1 || line.back() != '"')
            continue;
        std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (value.empty() || value[0] != '/')
            return {};
        return WithoutTrailingSlash(value);
    }
    return {};
}

} // namespace

DWORD LastFileError()
{
    return t_lastError;
}

bool MatchWildcard(const CString& pattern, const CString& name)
{
    // Names that differ only in case are different files here.
    return MatchWildcardRules(pattern, name, false);
}

bool EnumerateDirectory(const CString& directory, const CString& pattern, std::vector<FileEntry>& entries,
                        bool followLink)
{
    std::string folder = directory.IsEmpty() ? std::string(".") : WithoutTrailingSlash(U8(directory));
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return FailFolder(errno);
    DIR* dir = fdopendir(fd);
    if (!dir) {
        int error = errno;
        close(fd);
        return Fail(error);
    }
    size_t first = entries.size();
    int dirFd = dirfd(dir);
    while (dirent* item = readdir(dir)) {
        std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        if (!MatchWildcard(pattern, CString::FromUtf8(name)))
            continue;
        struct stat own {};
        if (fstatat(dirFd, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // removed while listing
        struct stat target {};
        const struct stat* follow = nullptr;
        if (S_ISLNK(own.st_mode) && fstatat(dirFd, name.c_str(), &target, 0) == 0)
            follow = &target;
        FileEntry entry;
        Describe(name, own, follow, entry);
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    // Listings come in a stable order (names ignoring case), as users see
    // them elsewhere, rather than in the file system's hash order.
    std::sort(entries.begin() + static_cast<std::ptrdiff_t>(first), entries.end(),
              [](const FileEntry& a, const FileEntry& b) {
                  int c = a.name.CompareNoCase(b.name);
                  return c != 0 ? c < 0 : a.name < b.name;
              });
    return true;
}

bool FindFirst(const CString& pathPattern, FileEntry& entry)
{
    std::string path = WithoutTrailingSlash(U8(pathPattern));
    if (path.empty())
        return Fail(ENOENT);
    CString last = CString::FromUtf8(LastComponent(path));
    // '*' and '?' are legal in names here: an entry with exactly this name
    // is the answer before the name is read as a pattern.
    if (DescribePath(path, entry))
        return true;
    if (!HasWildcards(last))
        return false;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::vector<FileEntry> found;
    if (!EnumerateDirectory(CString::FromUtf8(folder), last, found))
        return false;
    if (found.empty())
        return Fail(ENOENT);
    entry = std::move(found.front());
    return true;
}

DWORD GetAttributes(const CString& path)
{
    FileEntry entry;
    std::string p = WithoutTrailingSlash(U8(path));
    if (p.empty() || !DescribePath(p, entry))
        return INVALID_FILE_ATTRIBUTES;
    return entry.attributes;
}

bool SetAttributes(const CString& path, DWORD attributes)
{
    std::string p = U8(path);
    struct stat st {};
    if (stat(p.c_str(), &st) != 0)
        return FailErrno();
    mode_t mode = st.st_mode & 07777;
    mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH))
                                                            : (mode | S_IWUSR);
    if (wanted != mode && chmod(p.c_str(), wanted) != 0)
        return FailErrno();
    return true;
}

bool RemoveFile(const CString& path)
{
    std::string p = U8(path);
    struct stat st {};
    if (lstat(p.c_str(), &st) != 0)
        return FailErrno();
    if (S_ISDIR(st.st_mode))
        return Fail(EISDIR);
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR))
        return Fail(EACCES);
    if (unlink(p.c_str()) != 0)
        return FailErrno();
    return true;
}

bool MakeDirectory(const CString& path, bool privateToUser)
{
    std::string p = WithoutTrailingSlash(U8(path));
    if (p.empty())
        return FailFolder(ENOENT);
    if (mkdir(p.c_str(), privateToUser ? 0700 : 0777) != 0)
        return FailFolder(errno);
    return true;
}

bool RemoveEmptyDirectory(const CString& path)
{
    std::string p = WithoutTrailingSlash(U8(path));
    struct stat st {};
    if (lstat(p.c_str(), &st) != 0)
        return FailErrno();
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (stat(p.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
            return Fail(ENOTDIR); // reported as ERROR_PATH_NOT_FOUND
        if (unlink(p.c_str()) != 0)
            return FailErrno();
        return true;
    }
    if (rmdir(p.c_str()) != 0)
        return FailErrno();
    return true;
}

bool QueryFileSize(const CString& path, ULONGLONG& size)
{
    struct stat st {};
    if (stat(U8(path).c_str(), &st) != 0)
        return FailErrno();
    size = S_ISREG(st.st_mode) ? static_cast<ULONGLONG>(st.st_size) : 0;
    return true;
}

bool SetLastWriteTime(const CString& path, std::int64_t secondsSince1970)
{
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(secondsSince1970);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (utimensat(AT_FDCWD, U8(path).c_str(), times, 0) != 0)
        return FailErrno();
    return true;
}

CString FullPath(const CString& path)
{
    std::string p = U8(path);
    if (p.empty() || p[0] != '/') {
        std::string cwd;
        std::vector<char> buffer(PATH_MAX);
        while (!getcwd(buffer.data(), buffer.size())) {
            if (errno != ERANGE)
                return path;
            buffer.resize(buffer.size() * 2);
        }
        cwd = buffer.data();
        p = p.empty() ? cwd : cwd + "/" + p;
    }
    bool trailing = p.size() > 1 && p.back() == '/';
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= p.size()) {
        size_t next = p.find('/', pos);
        if (next == std::string::npos)
            next = p.size();
        std::string part = p.substr(pos, next - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    std::string out;
    for (const auto& part : parts)
        out += "/" + part;
    if (out.empty())
        out = "/";
    else if (trailing)
        out += "/";
    return CString::FromUtf8(out);
}

CString ReadLink(const CString& path)
{
    std::string p = WithoutTrailingSlash(U8(path));
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = readlink(p.c_str(), buffer.data(), buffer.size());
        if (n < 0) {
            FailErrno();
            return CString();
        }
        if (static_cast<size_t>(n) < buffer.size())
            return CString::FromUtf8(std::string_view(buffer.data(), static_cast<size_t>(n)));
        buffer.resize(buffer.size() * 2);
    }
}

CString FinalPath(const CString& path)
{
    std::string p = U8(path);
    if (p.empty())
        return CString();
    char* real = realpath(p.c_str(), nullptr);
    if (!real) {
        FailErrno();
        return CString();
    }
    CString result = CString::FromUtf8(real);
    free(real);
    return result;
}

DWORD MoveOverFile(const CString& source, const CString& target)
{
    std::string from = U8(source), to = U8(target);
    struct stat old {};
    if (stat(to.c_str(), &old) == 0 && chmod(from.c_str(), old.st_mode & 07777) != 0)
        return LastErrnoError();
    if (rename(from.c_str(), to.c_str()) != 0)
        return LastErrnoError();
    return ERROR_SUCCESS;
}

CString PrivateTempDirectory()
{
    std::string runtime = EnvPath("XDG_RUNTIME_DIR");
    if (!runtime.empty() && PrivateFolderUsable(runtime, false))
        return CString::FromUtf8(runtime + "/");

    std::vector<std::string> bases;
    std::string tmpdir = EnvPath("TMPDIR");
    if (!tmpdir.empty())
        bases.push_back(tmpdir);
    bases.emplace_back("/tmp");
    std::string own = "veilcase-" + std::to_string(getuid());
    for (const auto& base : bases) {
        // Somebody else may hold the first name; every process of the user
        // walks the same short sequence and so agrees on the folder.
        for (int i = 0; i < 10; ++i) {
            std::string candidate = base + "/" + own + (i ? "-" + std::to_string(i) : std::string());
            if (PrivateFolderUsable(candidate, true))
                return CString::FromUtf8(candidate + "/");
        }
    }
    Fail(EACCES);
    return CString();
}

CString SpecialFolder(int csidl)
{
    std::string home = HomeFolder();
    if (home.empty())
        return CString();
    std::string result;
    switch (csidl) {
    case CSIDL_PROFILE:
        result = home;
        break;
    case CSIDL_APPDATA:
    case CSIDL_LOCAL_APPDATA:
        // No roaming profiles here: both are the user's persistent data
        // folder (the cache folder could be purged at any time).
        result = EnvPath("XDG_DATA_HOME");
        if (result.empty())
            result = home + "/.local/share";
        break;
    case CSIDL_PERSONAL:
        result = UserDir("XDG_DOCUMENTS_DIR", home);
        if (result.empty())
            result = home;
        break;
    case CSIDL_DESKTOPDIRECTORY:
        result = UserDir("XDG_DESKTOP_DIR", home);
        if (result.empty())
            result = home + "/Desktop";
        break;
    default:
        return CString();
    }
    return CString::FromUtf8(result);
}

std::vector<MountedVolume> MountedVolumes()
{
    std::vector<MountedVolume> volumes;
    std::unordered_map<std::string, size_t> byMountPoint;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        std::vector<std::string> fields;
        size_t pos = 0;
        while (pos < line.size()) {
            size_t next = line.find(' ', pos);
            if (next == std::string::npos)
                next = line.size();
            fields.push_back(line.substr(pos, next - pos));
            pos = next + 1;
        }
        auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || dash == fields.end() || std::distance(dash, fields.end()) < 3)
            continue;
        MountedVolume volume;
        std::string mountPoint = DecodeOctalEscapes(fields[4]);
        volume.mountPoint = CString::FromUtf8(mountPoint);
        volume.fsType = CString::FromUtf8(DecodeOctalEscapes(*(dash + 1)));
        volume.source = CString::FromUtf8(DecodeOctalEscapes(*(dash + 2)));
        unsigned maj = 0, min = 0;
        if (sscanf(fields[2].c_str(), "%u:%u", &maj, &min) == 2) {
            volume.devMajor = maj;
            volume.devMinor = min;
        }
        // A later mount over the same point hides the earlier one.
        auto known = byMountPoint.find(mountPoint);
        if (known != byMountPoint.end()) {
            volumes[known->second] = std::move(volume);
        } else {
            byMountPoint[mountPoint] = volumes.size();
            volumes.push_back(std::move(volume));
        }
    }
    std::stable_partition(volumes.begin(), volumes.end(),
                          [](const MountedVolume& v) { return v.mountPoint == CString(u"/"); });
    return volumes;
}

std::vector<CString> LogicalDrives()
{
    std::vector<CString> drives;
    for (auto& volume : MountedVolumes())
        drives.push_back(std::move(volume.mountPoint));
    if (std::find(drives.begin(), drives.end(), CString(u"/")) == drives.end())
        drives.insert(drives.begin(), CString(u"/"));
    return drives;
}

bool IsMountPoint(const CString& path)
{
    if (path.IsEmpty())
        return false;
    CString full = FullPath(path);
    while (full.GetLength() > 1 && full[full.GetLength() - 1] == u'/')
        full = full.Left(full.GetLength() - 1);
    if (full == CString(u"/"))
        return true;
    for (const auto& drive : LogicalDrives())
        if (drive == full)
            return true;
    // A file system mounted but hidden from this listing still changes the
    // device number between a folder and its parent.
    struct stat own {}, parent {};
    std::string p = U8(full);
    std::string up = p.substr(0, p.rfind('/'));
    if (up.empty())
        up = "/";
    if (lstat(p.c_str(), &own) == 0 && S_ISDIR(own.st_mode) && stat(up.c_str(), &parent) == 0 &&
        own.st_dev != parent.st_dev)
        return true;
    // The folded path above is lexical: "link/." or "link/.." reach a folder
    // the spelled-out name does not show, perhaps the root itself. The folder
    // as the system resolves it is compared with its real parent too (the
    // root is its own parent). A link named without such a suffix is the link.
    std::string raw = WithoutTrailingSlash(U8(path));
    if (lstat(raw.c_str(), &own) == 0 && S_ISDIR(own.st_mode) && stat((raw + "/..").c_str(), &parent) == 0)
        return own.st_dev != parent.st_dev || own.st_ino == parent.st_ino;
    return false;
}

bool DiskFreeSpace(const CString& path, ULONGLONG& availableToCaller, ULONGLONG& totalBytes,
                   ULONGLONG& totalFree)
{
    struct statvfs vfs {};
    if (statvfs(U8(path).c_str(), &vfs) != 0)
        return FailErrno();
    ULONGLONG unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    availableToCaller = static_cast<ULONGLONG>(vfs.f_bavail) * unit;
    totalBytes = static_cast<ULONGLONG>(vfs.f_blocks) * unit;
    totalFree = static_cast<ULONGLONG>(vfs.f_bfree) * unit;
    return true;
}

bool IsRemovableVolume(const MountedVolume& volume)
{
    std::string disk = SysDiskFolder(volume);
    return !disk.empty() && ReadSmallFile(disk + "/removable") == "1";
}

bool IsUsbVolume(const MountedVolume& volume)
{
    std::string disk = SysDiskFolder(volume);
    return disk.find("/usb") != std::string::npos;
}

CString VolumeLabel(const MountedVolume& volume)
{
    dev_t device;
    if (!BlockDeviceOf(volume, device))
        return CString();
    DIR* dir = opendir("/dev/disk/by-label");
    if (!dir)
        return CString();
    CString label;
    while (dirent* item = readdir(dir)) {
        std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (fstatat(dirfd(dir), name.c_str(), &st, 0) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == device) {
            label = CString::FromUtf8(DecodeHexEscapes(name));
            break;
        }
    }
    closedir(dir);
    return label;
}

bool EnvironmentVariable(const CString& name, CString& value)
{
    if (name.IsEmpty() || name.Find(u'=') >= 0)
        return false;
    const char* text = getenv(U8(name).c_str());
    if (!text)
        return false;
    value = CString::FromUtf8(text);
    return true;
}

SequentialReader::~SequentialReader()
{
    Close();
}

bool SequentialReader::Open(const CString& path)
{
    Close();
    int fd = open(U8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return FailErrno();
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        close(fd);
        return Fail(error);
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_handle = fd;
    return true;
}

bool SequentialReader::Size(ULONGLONG& size) const
{
    struct stat st {};
    if (m_handle < 0 || fstat(static_cast<int>(m_handle), &st) != 0)
        return Fail(m_handle < 0 ? EBADF : errno);
    size = static_cast<ULONGLONG>(st.st_size);
    return true;
}

std::int64_t SequentialReader::Read(void* buffer, std::size_t count)
{
    if (m_handle < 0) {
        Fail(EBADF);
        return -1;
    }
    for (;;) {
        ssize_t n = read(static_cast<int>(m_handle), buffer, count);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            FailErrno();
            return -1;
        }
    }
}

void SequentialReader::Close()
{
    if (m_handle >= 0) {
        close(static_cast<int>(m_handle));
        m_handle = -1;
    }
}

bool IsExecutableFile(const CString& path)
{
    std::string native = path.ToUtf8();
    struct stat st {};
    return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           access(native.c_str(), X_OK) == 0;
}

CString FindProgramOnSearchPath(const CString& name)
{
    CString searchPath;
    if (name.IsEmpty() || !EnvironmentVariable(u"PATH", searchPath))
        return CString();
    while (!searchPath.IsEmpty()) {
        int end = searchPath.Find(u':');
        CString folder = end < 0 ? searchPath : searchPath.Left(end);
        searchPath = end < 0 ? CString() : searchPath.Mid(end + 1);
        if (folder.IsEmpty() || folder[0] != u'/')
            continue;
        CString candidate = folder;
        if (candidate[candidate.GetLength() - 1] != u'/')
            candidate += u'/';
        candidate += name;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return CString();
}

} // namespace platform
