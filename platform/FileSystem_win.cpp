#include "platform/FileSystem.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Path.h"
#include "platform/Wildcard_p.h"
#include "platform/Win32_win.h"

namespace platform {

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

bool Fail(DWORD error)
{
    t_lastError = error;
    return false;
}

bool FailLast()
{
    return Fail(::GetLastError());
}

// A path without trailing separators, except where they belong to a root.
CString WithoutTrailingSeparator(const CString& path)
{
    CString p = win::NativePath(path);
    while (p.GetLength() > 1 && p[p.GetLength() - 1] == u'\\' && !IsRootPath(p))
        p = p.Left(p.GetLength() - 1);
    return p;
}

// Seconds since 1970 from a FILETIME (100 ns units since 1601).
std::int64_t UnixSeconds(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<std::int64_t>(value.QuadPart / 10000000ull) - 11644473600ll;
}

FILETIME FileTimeOf(std::int64_t secondsSince1970)
{
    ULARGE_INTEGER value;
    value.QuadPart = static_cast<ULONGLONG>(secondsSince1970 + 11644473600ll) * 10000000ull;
    FILETIME time;
    time.dwLowDateTime = value.LowPart;
    time.dwHighDateTime = value.HighPart;
    return time;
}

FileEntry EntryOf(const WIN32_FIND_DATAW& data)
{
    FileEntry entry;
    entry.name = win::FromW(data.cFileName);
    entry.attributes = data.dwFileAttributes;
    entry.size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                     ? 0
                     : (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.lastWriteTime = UnixSeconds(data.ftLastWriteTime);
    return entry;
}

// Opens a file or folder (not following a final link unless asked) for
// reading its attributes.
win::CHandle OpenForQuery(const CString& path, DWORD access, bool followLink)
{
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return win::CHandle(::CreateFileW(win::W(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr));
}

// The volume root holding `path` ("C:\"); empty when it can't be found.
CString VolumeOf(const CString& path)
{
    wchar_t buffer[MAX_PATH + 1];
    if (!::GetVolumePathNameW(win::W(win::NativePath(path)), buffer, MAX_PATH + 1))
        return CString();
    return win::FromW(buffer);
}

} // namespace

DWORD LastFileError()
{
    return t_lastError;
}

bool MatchWildcard(const CString& pattern, const CString& name)
{
    // Names are case-insensitive on Windows.
    return MatchWildcardRules(pattern, name, true);
}

bool EnumerateDirectory(const CString& directory, const CString& pattern, std::vector<FileEntry>& entries,
                        bool followLink)
{
    CString folder = directory.IsEmpty() ? CString(u".") : WithoutTrailingSeparator(directory);
    if (!followLink) {
        DWORD own = ::GetFileAttributesW(win::W(folder));
        if (own == INVALID_FILE_ATTRIBUTES)
            return FailLast();
        if (own & FILE_ATTRIBUTE_REPARSE_POINT)
            return Fail(ERROR_CANT_RESOLVE_FILENAME);
    }
    if (pattern.IsEmpty())
        return true;
    CString search = IsRootPath(folder) ? folder + pattern : folder + u"\\" + pattern;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW(win::W(search), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        // An empty listing is no failure; a missing folder is.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
            return true;
        return Fail(error);
    }
    size_t first = entries.size();
    do {
        if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0)
            continue;
        entries.push_back(EntryOf(data));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    // Listings come in one stable order (names ignoring case) whatever the
    // file system's own order is.
    std::sort(entries.begin() + static_cast<std::ptrdiff_t>(first), entries.end(),
              [](const FileEntry& a, const FileEntry& b) {
                  int c = a.name.CompareNoCase(b.name);
                  return c != 0 ? c < 0 : a.name < b.name;
              });
    return true;
}

bool FindFirst(const CString& pathPattern, FileEntry& entry)
{
    CString path = WithoutTrailingSeparator(pathPattern);
    if (path.IsEmpty())
        return Fail(ERROR_FILE_NOT_FOUND);
    if (IsRootPath(path)) {
        DWORD attributes = ::GetFileAttributesW(win::W(path));
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return FailLast();
        entry = FileEntry{};
        entry.name = path;
        entry.attributes = attributes;
        return true;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW(win::W(path), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return FailLast();
    std::vector<FileEntry> found;
    do {
        if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0)
            found.push_back(EntryOf(data));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    if (found.empty())
        return Fail(ERROR_FILE_NOT_FOUND);
    // An entry named exactly like the pattern comes first.
    CString last = path.Mid(ReverseFindSeparator(path) + 1);
    auto exact = std::find_if(found.begin(), found.end(),
                              [&](const FileEntry& e) { return e.name.CompareNoCase(last) == 0; });
    if (exact == found.end())
        exact = std::min_element(found.begin(), found.end(), [](const FileEntry& a, const FileEntry& b) {
            return a.name.CompareNoCase(b.name) < 0;
        });
    entry = *exact;
    return true;
}

DWORD GetAttributes(const CString& path)
{
    CString p = WithoutTrailingSeparator(path);
    if (p.IsEmpty())
        return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = ::GetFileAttributesW(win::W(p));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        FailLast();
    return attributes;
}

bool SetAttributes(const CString& path, DWORD attributes)
{
    CString p = win::NativePath(path);
    DWORD current = ::GetFileAttributesW(win::W(p));
    if (current == INVALID_FILE_ATTRIBUTES)
        return FailLast();
    DWORD wanted = (current & ~FILE_ATTRIBUTE_READONLY) | (attributes & FILE_ATTRIBUTE_READONLY);
    // Only the bits SetFileAttributes takes; a word without any is NORMAL.
    wanted &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;
    if (wanted == 0)
        wanted = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileAttributesW(win::W(p), wanted))
        return FailLast();
    return true;
}

bool RemoveFile(const CString& path)
{
    CString p = WithoutTrailingSeparator(path);
    DWORD attributes = ::GetFileAttributesW(win::W(p));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FailLast();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A link to a folder goes as a link; a real folder is refused.
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return Fail(ERROR_ACCESS_DENIED);
        return ::RemoveDirectoryW(win::W(p)) ? true : FailLast();
    }
    return ::DeleteFileW(win::W(p)) ? true : FailLast();
}

bool MakeDirectory(const CString& path, bool privateToUser)
{
    (void)privateToUser; // a new folder inherits its parent's access list
    CString p = WithoutTrailingSeparator(path);
    if (p.IsEmpty())
        return Fail(ERROR_PATH_NOT_FOUND);
    return ::CreateDirectoryW(win::W(p), nullptr) ? true : FailLast();
}

bool RemoveEmptyDirectory(const CString& path)
{
    CString p = WithoutTrailingSeparator(path);
    return ::RemoveDirectoryW(win::W(p)) ? true : FailLast();
}

bool QueryFileSize(const CString& path, ULONGLONG& size)
{
    win::CHandle file = OpenForQuery(win::NativePath(path), FILE_READ_ATTRIBUTES, true);
    if (!file.IsValid())
        return FailLast();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file.Get(), &info))
        return FailLast();
    size = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
               ? 0
               : (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

bool SetLastWriteTime(const CString& path, std::int64_t secondsSince1970)
{
    win::CHandle file = OpenForQuery(win::NativePath(path), FILE_WRITE_ATTRIBUTES, true);
    if (!file.IsValid())
        return FailLast();
    FILETIME time = FileTimeOf(secondsSince1970);
    return ::SetFileTime(file.Get(), nullptr, &time, &time) ? true : FailLast();
}

CString FullPath(const CString& path)
{
    CString p = path.IsEmpty() ? CString(u".") : win::NativePath(path);
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = ::GetFullPathNameW(win::W(p), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (n == 0) {
            FailLast();
            return path;
        }
        if (n < buffer.size())
            return win::FromW(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

CString ReadLink(const CString& path)
{
    // The reparse data of a symbolic link or junction, as stored.
    struct SReparseData {
        DWORD tag;
        WORD dataLength;
        WORD reserved;
        WORD substituteOffset;
        WORD substituteLength;
        WORD printOffset;
        WORD printLength;
    };
    win::CHandle link = OpenForQuery(WithoutTrailingSeparator(path), 0, false);
    if (!link.IsValid()) {
        FailLast();
        return CString();
    }
    std::vector<BYTE> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    if (!::DeviceIoControl(link.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                           static_cast<DWORD>(buffer.size()), &got, nullptr) ||
        got < sizeof(SReparseData)) {
        FailLast();
        return CString();
    }
    SReparseData head;
    std::memcpy(&head, buffer.data(), sizeof head);
    size_t pathStart = sizeof head;
    if (head.tag == IO_REPARSE_TAG_SYMLINK)
        pathStart += sizeof(ULONG); // the flags word of a symbolic link
    else if (head.tag != IO_REPARSE_TAG_MOUNT_POINT)
        return CString();
    // The name as the user wrote it, else the system's form without "\??\".
    WORD offset = head.printLength ? head.printOffset : head.substituteOffset;
    WORD length = head.printLength ? head.printLength : head.substituteLength;
    if (pathStart + offset + length > got)
        return CString();
    CString target(reinterpret_cast<const char16_t*>(buffer.data() + pathStart + offset), length / 2);
    if (target.Left(4) == u"\\??\\")
        target = target.Mid(4);
    return target;
}

CString FinalPath(const CString& path)
{
    win::CHandle file = OpenForQuery(win::NativePath(path), 0, true);
    if (!file.IsValid()) {
        FailLast();
        return CString();
    }
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = ::GetFinalPathNameByHandleW(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED);
        if (n == 0) {
            FailLast();
            return CString();
        }
        if (n < buffer.size()) {
            CString result = win::FromW(buffer.data(), n);
            if (result.Left(8) == u"\\\\?\\UNC\\")
                return u"\\\\" + result.Mid(8);
            if (result.Left(4) == u"\\\\?\\")
                return result.Mid(4);
            return result;
        }
        buffer.resize(n + 1);
    }
}

DWORD MoveOverFile(const CString& source, const CString& target)
{
    CString from = win::NativePath(source), to = win::NativePath(target);
    if (::GetFileAttributesW(win::W(to)) != INVALID_FILE_ATTRIBUTES) {
        // ReplaceFile keeps the replaced file's access list and attributes.
        if (::ReplaceFileW(win::W(to), win::W(from), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
            return ERROR_SUCCESS;
        return ::GetLastError();
    }
    return ::MoveFileExW(win::W(from), win::W(to), MOVEFILE_REPLACE_EXISTING) ? ERROR_SUCCESS : ::GetLastError();
}

CString PrivateTempDirectory()
{
    // The user's own temporary folder ("...\AppData\Local\Temp\"), which
    // only the user and the system can open.
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) {
        FailLast();
        return CString();
    }
    CString folder = win::FromW(buffer, n);
    if (!IsPathSeparator(folder[folder.GetLength() - 1]))
        folder += u'\\';
    return folder;
}

CString SpecialFolder(int csidl)
{
    wchar_t buffer[MAX_PATH];
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return CString();
    CString folder = win::FromW(buffer);
    while (folder.GetLength() > 3 && IsPathSeparator(folder[folder.GetLength() - 1]))
        folder = folder.Left(folder.GetLength() - 1);
    return folder;
}

std::vector<MountedVolume> MountedVolumes()
{
    std::vector<MountedVolume> volumes;
    for (const CString& root : LogicalDrives()) {
        MountedVolume volume;
        volume.mountPoint = root;
        wchar_t name[MAX_PATH + 1] = {};
        if (::GetVolumeNameForVolumeMountPointW(win::W(root), name, MAX_PATH + 1))
            volume.source = win::FromW(name);
        wchar_t fsName[MAX_PATH + 1] = {};
        if (::GetVolumeInformationW(win::W(root), nullptr, 0, nullptr, nullptr, nullptr, fsName, MAX_PATH + 1))
            volume.fsType = win::FromW(fsName);
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

std::vector<CString> LogicalDrives()
{
    std::vector<CString> drives;
    std::vector<wchar_t> buffer(256);
    DWORD n = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n > buffer.size()) {
        buffer.resize(n + 1);
        n = ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    for (const wchar_t* p = buffer.data(); n > 0 && *p; p += std::wcslen(p) + 1)
        drives.push_back(win::FromW(p));
    return drives;
}

bool IsMountPoint(const CString& path)
{
    CString full = FullPath(path);
    if (full.IsEmpty())
        return false;
    if (!IsPathSeparator(full[full.GetLength() - 1]))
        full += u'\\';
    CString volume = VolumeOf(full);
    return !volume.IsEmpty() && volume.CompareNoCase(full) == 0;
}

bool DiskFreeSpace(const CString& path, ULONGLONG& availableToCaller, ULONGLONG& totalBytes, ULONGLONG& totalFree)
{
    ULARGE_INTEGER available, total, free;
    CString folder = win::NativePath(path);
    if (!folder.IsEmpty() && !IsPathSeparator(folder[folder.GetLength() - 1]))
        folder += u'\\';
    if (!::GetDiskFreeSpaceExW(win::W(folder), &available, &total, &free))
        return FailLast();
    availableToCaller = available.QuadPart;
    totalBytes = total.QuadPart;
    totalFree = free.QuadPart;
    return true;
}

bool IsRemovableVolume(const MountedVolume& volume)
{
    return ::GetDriveTypeW(win::W(volume.mountPoint)) == DRIVE_REMOVABLE;
}

bool IsUsbVolume(const MountedVolume& volume)
{
    CString root = volume.mountPoint;
    if (root.GetLength() < 2 || root[1] != u':')
        return false;
    CString device = u"\\\\.\\" + root.Left(2);
    win::CHandle disk(::CreateFileW(win::W(device), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (!disk.IsValid())
        return false;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    DWORD got = 0;
    if (!::DeviceIoControl(disk.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor,
                           sizeof descriptor, &got, nullptr))
        return false;
    return descriptor.BusType == BusTypeUsb;
}

CString VolumeLabel(const MountedVolume& volume)
{
    wchar_t label[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(win::W(volume.mountPoint), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                 0))
        return CString();
    return win::FromW(label);
}

bool EnvironmentVariable(const CString& name, CString& value)
{
    if (name.IsEmpty() || name.Find(u'=') >= 0)
        return false;
    std::vector<wchar_t> buffer(256);
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        DWORD n = ::GetEnvironmentVariableW(win::W(name), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
                return false;
            value.Empty(); // set, but empty
            return true;
        }
        if (n < buffer.size()) {
            value = win::FromW(buffer.data(), n);
            return true;
        }
        buffer.resize(n);
    }
}

SequentialReader::~SequentialReader()
{
    Close();
}

bool SequentialReader::Open(const CString& path)
{
    Close();
    HANDLE file = ::CreateFileW(win::W(win::NativePath(path)), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FailLast();
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool SequentialReader::Size(ULONGLONG& size) const
{
    LARGE_INTEGER value;
    if (m_handle == -1)
        return Fail(ERROR_INVALID_HANDLE);
    if (!::GetFileSizeEx(reinterpret_cast<HANDLE>(m_handle), &value))
        return FailLast();
    size = static_cast<ULONGLONG>(value.QuadPart);
    return true;
}

std::int64_t SequentialReader::Read(void* buffer, std::size_t count)
{
    if (m_handle == -1) {
        Fail(ERROR_INVALID_HANDLE);
        return -1;
    }
    DWORD wanted = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD n = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(m_handle), buffer, wanted, &n, nullptr)) {
        FailLast();
        return -1;
    }
    return n;
}

void SequentialReader::Close()
{
    if (m_handle != -1) {
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
        m_handle = -1;
    }
}

bool IsExecutableFile(const CString& path)
{
    if (path.IsEmpty())
        return false;
    DWORD attributes = ::GetFileAttributesW(win::W(win::NativePath(path)));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // What CreateProcessW starts: a program image.
    CString name = path.Right(4);
    return name.CompareNoCase(u".exe") == 0 || name.CompareNoCase(u".com") == 0;
}

CString FindProgramOnSearchPath(const CString& name)
{
    CString searchPath;
    if (name.IsEmpty() || !EnvironmentVariable(u"PATH", searchPath))
        return CString();
    const CString program = name + u".exe";
    while (!searchPath.IsEmpty()) {
        int end = searchPath.Find(u';');
        CString folder = end < 0 ? searchPath : searchPath.Left(end);
        searchPath = end < 0 ? CString() : searchPath.Mid(end + 1);
        folder.Trim(u'"');
        // Only absolute entries: a drive with a separator after it, or a
        // network share.
        bool absolute = (folder.GetLength() >= 3 && folder[1] == u':' && IsPathSeparator(folder[2])) ||
                        (folder.GetLength() >= 2 && IsPathSeparator(folder[0]) && IsPathSeparator(folder[1]));
        if (!absolute)
            continue;
        CString candidate = folder;
        if (!IsPathSeparator(candidate[candidate.GetLength() - 1]))
            candidate += u'\\';
        candidate += program;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return CString();
}

} // namespace platform
