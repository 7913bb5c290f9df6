// Opening with no sharing is what Windows offers for this: the open fails
// with ERROR_SHARING_VIOLATION while any other handle is open, and no other
// process can open the file while we read it.
#include "platform/ExclusiveFile.h"

#include <utility>

#include "platform/Win32_win.h"

namespace platform {

namespace {

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

CExclusiveFileReader::~CExclusiveFileReader()
{
    Close();
}

CExclusiveFileReader::CExclusiveFileReader(CExclusiveFileReader&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1))
{
}

CExclusiveFileReader& CExclusiveFileReader::operator=(CExclusiveFileReader&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

DWORD CExclusiveFileReader::Open(const CString& path)
{
    Close();
    if (path.IsEmpty())
        return ERROR_FILE_NOT_FOUND;
    HANDLE file = ::CreateFileW(win::W(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        return ERROR_INVALID_PARAMETER;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return ERROR_SUCCESS;
}

int CExclusiveFileReader::Read(void* buffer, DWORD size, DWORD& error)
{
    error = ERROR_SUCCESS;
    if (m_handle == -1) {
        error = ERROR_INVALID_HANDLE;
        return -1;
    }
    DWORD wanted = size > 0x7FFFFFFFu ? 0x7FFFFFFFu : size;
    DWORD n = 0;
    if (!::ReadFile(AsHandle(m_handle), buffer, wanted, &n, nullptr)) {
        error = ::GetLastError();
        return -1;
    }
    return static_cast<int>(n);
}

void CExclusiveFileReader::Close()
{
    if (m_handle != -1) {
        ::CloseHandle(AsHandle(m_handle));
        m_handle = -1;
    }
}

} // namespace platform
