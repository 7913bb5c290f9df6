#include "platform/FileIdentity.h"

#include "platform/Win32_win.h"

namespace platform {

namespace {

// 100-ns units between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr LONGLONG ciEpochDifference = 116444736000000000LL;

LONGLONG SinceUnixEpoch(LONGLONG fileTime)
{
    return fileTime - ciEpochDifference;
}

} // namespace

bool QueryFileIdentity(const CString& path, SFileIdentity& identity)
{
    identity = SFileIdentity();
    if (path.IsEmpty())
        return false;
    // Attributes only, following links, folders too; nothing is locked.
    win::CHandle file(::CreateFileW(win::W(win::NativePath(path)), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.IsValid())
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandle(file.Get(), &info) ||
        !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic))
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.fileId = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.modified = SinceUnixEpoch(basic.LastWriteTime.QuadPart);
    identity.changed = SinceUnixEpoch(basic.ChangeTime.QuadPart);
    identity.regularFile = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0 &&
                           ::GetFileType(file.Get()) == FILE_TYPE_DISK;
    return true;
}

} // namespace platform
