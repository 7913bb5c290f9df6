#include "platform/LogFile.h"

#include <aclapi.h>

#include <memory>
#include <vector>

#include "platform/Win32_win.h"

namespace platform {

namespace {

struct SLocalFree {
    void operator()(void* p) const { ::LocalFree(p); }
};

// Whether the file behind `file` belongs to the user the process runs as
// (or, for an elevated process, to the Administrators group that owns what
// it creates).
bool IsOwnFile(HANDLE file)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return false;
    std::unique_ptr<void, SLocalFree> release(descriptor);
    if (!owner)
        return false;
    if (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid))
        return true;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    win::CHandle tokenOwner(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, user.data(), size, &size))
        return false;
    return ::EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid) != FALSE;
}

// Writes all of `bytes` at the end of the append-only file.
bool WriteAll(HANDLE file, std::string_view bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

bool CAppendFile::Open(const CString& path)
{
    Close();
    // FILE_APPEND_DATA alone makes every write land at the current end of
    // the file, whoever else appends; the sharing lets other processes log
    // into the same file and readers look at it. A link (symbolic link,
    // junction, any reparse point) is opened as itself, not followed, and
    // then refused, as is anything but a file on disk or a file of another
    // user: the lines (command lines and paths) must not land where somebody
    // else decides or can read.
    HANDLE file = ::CreateFileW(win::W(win::NativePath(path)),
                                FILE_APPEND_DATA | FILE_READ_DATA | READ_CONTROL | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    win::CHandle owner(file);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileType(file) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) ||
        (tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 || !IsOwnFile(file))
        return false;
    m_handle = reinterpret_cast<std::intptr_t>(owner.Release());
    return true;
}

bool CAppendFile::Write(std::string_view bytes)
{
    if (m_handle == -1)
        return false;
    // Every writer of the log holds a lock on one byte far past any end the
    // file reaches while it appends. Windows puts each append-only write at
    // the end as one piece anyway; Wine emulates it by taking the size and
    // then writing there, which lets two processes write over each other.
    HANDLE file = reinterpret_cast<HANDLE>(m_handle);
    OVERLAPPED lockAt{};
    lockAt.Offset = 0xFFFFFFFEu;
    lockAt.OffsetHigh = 0x7FFFFFFFu;
    const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != FALSE;
    const bool written = WriteAll(file, bytes);
    if (locked)
        ::UnlockFileEx(file, 0, 1, 0, &lockAt);
    return written;
}

void CAppendFile::Close()
{
    if (m_handle != -1) {
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
        m_handle = -1;
    }
}

} // namespace platform
