// File-system facilities: directory enumeration with Windows wildcard rules and
// attribute words, single-entry lookups, creating and deleting files and
// folders, absolute paths and link targets, the private temporary folder, the
// user's special folders, mounted volumes (the "drives") with their free
// space, removability and labels, a sequential file reader, and environment
// variables.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/CString.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

#ifndef _WIN32
// Attribute bits of an entry, as Windows names them (and what they stand
// for here).
#define FILE_ATTRIBUTE_READONLY 0x00000001      // owner has no write bit
#define FILE_ATTRIBUTE_HIDDEN 0x00000002        // name starts with a dot
#define FILE_ATTRIBUTE_SYSTEM 0x00000004        // device, pipe or socket
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010     // a folder (or a link to one)
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020       // every ordinary file
#define FILE_ATTRIBUTE_NORMAL 0x00000080        // accepted by SetAttributes only
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400 // a symbolic link

// Shell folder numbers understood by SpecialFolder.
#define CSIDL_PERSONAL 0x0005          // documents
#define CSIDL_DESKTOPDIRECTORY 0x0010  // desktop folder
#define CSIDL_APPDATA 0x001a           // roaming application data
#define CSIDL_LOCAL_APPDATA 0x001c     // machine-local application data
#define CSIDL_PROFILE 0x0028           // the home folder
#endif

namespace platform {

// One directory entry as a listing reports it.
struct FileEntry {
    CString name;               // bare name, no folder
    DWORD attributes = 0;       // FILE_ATTRIBUTE_* bits
    ULONGLONG size = 0;         // bytes (0 for folders)
    std::int64_t lastWriteTime = 0; // seconds since 1970 (UTC)
};

// The error code (a Windows code, SystemError.h) of the last failed call of
// this module on the calling thread. Pitfall: only meaningful right after a call reported failure.
DWORD LastFileError();

// Whether `name` matches a Windows wildcard pattern: '*' any run, '?' one
// character, case ignored, "*.*" and a trailing ".*" also match names without
// a dot, a trailing '.' matches names without an extension.
// Pitfall: '/' in the pattern is an ordinary character, not a separator.
bool MatchWildcard(const CString& pattern, const CString& name);

// Appends the entries of `directory` whose names match `pattern` ("." and
// ".." are never reported). Returns false (LastFileError set) when the folder
// cannot be read, and, without followLink, when `directory` itself is a
// symbolic link. Pitfall: entries that are links are reported, not followed,
// except that a link to a folder also carries FILE_ATTRIBUTE_DIRECTORY.
bool EnumerateDirectory(const CString& directory, const CString& pattern, std::vector<FileEntry>& entries,
                        bool followLink = true);

// Looks up a path whose last part may hold wildcards and gives its first
// matching entry; an entry named exactly like the pattern comes first.
// Returns false when nothing matches. Pitfall: a trailing '/' is ignored, so
// "dir/" finds the folder "dir" itself.
bool FindFirst(const CString& pathPattern, FileEntry& entry);

// The attribute word of a path (the link itself, not its target, for a
// symbolic link); INVALID_FILE_ATTRIBUTES when it does not exist.
DWORD GetAttributes(const CString& path);

// Applies an attribute word: READONLY present removes every write bit,
// absent gives the owner write permission back; other bits are ignored.
// Returns false on failure. Pitfall: follows a symbolic link to its target.
bool SetAttributes(const CString& path, DWORD attributes);

// Deletes a file or a symbolic link (never its target). Refuses folders and,
// as Windows does, read-only files (EACCES). Returns false on failure.
bool RemoveFile(const CString& path);

// Creates one folder level; with privateToUser its mode is 0700, else the
// default mode limited by the umask. Returns false when it already exists or
// cannot be made.
bool MakeDirectory(const CString& path, bool privateToUser = false);

// Removes an empty folder, or a symbolic link that points to a folder (the
// link only). Returns false on failure.
bool RemoveEmptyDirectory(const CString& path);

// Size of a file in bytes (following links). Returns false when it cannot be
// queried.
bool QueryFileSize(const CString& path, ULONGLONG& size);

// Sets the last-write (and access) time in seconds since 1970. Returns false
// on failure.
bool SetLastWriteTime(const CString& path, std::int64_t secondsSince1970);

// The absolute, lexically normalised form of a path ("." and ".." folded,
// doubled '/' removed); relative paths are taken from the current folder.
// Pitfall: links are not resolved and nothing needs to exist.
CString FullPath(const CString& path);

// The absolute path of what `path` names with every link on the way
// resolved; empty when it does not exist or can't be resolved.
CString FinalPath(const CString& path);

// Moves the file `source` over `target` in one step, so that a reader sees
// either the old or the new file, never a mix or none. When `target` exists
// the moved file takes over its access rights. Returns ERROR_SUCCESS or the
// error code; on failure both files are as they were. Pitfall: both must
// lie on the same volume.
DWORD MoveOverFile(const CString& source, const CString& target);

// Target text of a symbolic link as stored; empty when the path is no link.
CString ReadLink(const CString& path);

// The user's private temporary folder with a trailing '/': $XDG_RUNTIME_DIR
// when it is a folder owned by the user with mode 0700, else a 0700 folder
// "veilcase-<uid>" under $TMPDIR or /tmp that is created when missing.
// Empty when no safe folder can be had. Pitfall: folders owned by another
// user or open to others are never used.
CString PrivateTempDirectory();

// The path (no trailing '/') of a shell folder by CSIDL number, from the XDG
// variables and $HOME; empty for unknown numbers or when $HOME is unset.
CString SpecialFolder(int csidl);

// One mounted file system.
struct MountedVolume {
    CString mountPoint;      // absolute path, octal escapes decoded
    CString source;          // device or source as mounted ("/dev/sdb1")
    CString fsType;          // "ext4", "vfat", ...
    unsigned devMajor = 0;   // device numbers of the mounted file system
    unsigned devMinor = 0;
};

// The mounted file systems of this process ("/" first), from
// /proc/self/mountinfo. Empty when that cannot be read.
std::vector<MountedVolume> MountedVolumes();

// The mount points of MountedVolumes(): the "logical drives" here.
std::vector<CString> LogicalDrives();

// Whether the path (normalised) is "/" or the mount point of a file system.
bool IsMountPoint(const CString& path);

// Free space of the file system holding `path`: available to the caller,
// total size and total free. Returns false when it cannot be queried.
bool DiskFreeSpace(const CString& path, ULONGLONG& availableToCaller, ULONGLONG& totalBytes,
                   ULONGLONG& totalFree);

// Whether the volume's block device (or the disk holding that partition) is
// marked removable in /sys/block. False for non-block file systems.
bool IsRemovableVolume(const MountedVolume& volume);

// Whether the volume's block device hangs off a USB bus.
bool IsUsbVolume(const MountedVolume& volume);

// The label of the volume's block device from /dev/disk/by-label; empty when
// it has none. Pitfall: only block devices have labels here.
CString VolumeLabel(const MountedVolume& volume);

// Whether the path names a regular file (a link is followed) that the user
// may run.
bool IsExecutableFile(const CString& path);

// The full path of the program `name` ("gpg") in the first folder of the
// PATH variable that holds it, with the system's program suffix added
// (".exe" on Windows); empty when none does. Relative entries of PATH are
// skipped: they would depend on the current folder.
CString FindProgramOnSearchPath(const CString& name);

// Value of an environment variable. Returns false when it is not set.
bool EnvironmentVariable(const CString& name, CString& value);

// A file opened for sequential reading; closed by the destructor.
class SequentialReader {
public:
    SequentialReader() = default;
    ~SequentialReader();
    SequentialReader(const SequentialReader&) = delete;
    SequentialReader& operator=(const SequentialReader&) = delete;

    // Opens a file (not a folder) for reading. Returns false on failure.
    bool Open(const CString& path);
    // Size of the open file. Returns false on failure.
    bool Size(ULONGLONG& size) const;
    // Reads up to `count` bytes; the number read (0 at the end), or -1 on
    // failure. Pitfall: a short count does not mean the end was reached.
    std::int64_t Read(void* buffer, std::size_t count);
    void Close();

private:
    std::intptr_t m_handle = -1;
};

} // namespace platform
