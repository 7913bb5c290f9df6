#include "platform/LogFile.h"

#include "platform/Win32_win.h"

namespace platform {

bool CAppendFile::Open(const CString& path)
{
    Close();
    // FILE_APPEND_DATA alone makes every write land at the current end of
    // the file, whoever else appends; the sharing lets other processes log
    // into the same file and readers look at it.
    HANDLE file = ::CreateFileW(win::W(win::NativePath(path)), FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool CAppendFile::Write(std::string_view bytes)
{
    if (m_handle == -1)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(reinterpret_cast<HANDLE>(m_handle), bytes.data() + done,
                         static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

void CAppendFile::Close()
{
    if (m_handle != -1) {
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
        m_handle = -1;
    }
}

} // namespace platform
