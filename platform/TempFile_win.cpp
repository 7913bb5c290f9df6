#include "platform/TempFile.h"

#include "platform/Path.h"
#include "platform/Uuid.h"
#include "platform/Win32_win.h"

namespace platform {

namespace {

// Creates a new file that nobody else can open while we hold it; the
// folder's inherited access rights keep it private (the user's temporary
// and profile folders are the user's alone).
DWORD CreateNew(const CString& path)
{
    win::CHandle file(::CreateFileW(win::W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid() ? ERROR_SUCCESS : ::GetLastError();
}

} // namespace

DWORD CreatePrivateTempFile(const CString& directory, const CString& prefix, CString& path)
{
    if (directory.IsEmpty())
        return ERROR_PATH_NOT_FOUND;
    CString folder = directory;
    if (!IsPathSeparator(folder[folder.GetLength() - 1]))
        folder += PathSeparator();
    for (int attempt = 0; attempt < 100; ++attempt) {
        SUuid uuid{};
        if (!CreateUuid(uuid))
            return ERROR_GEN_FAILURE;
        CString name;
        name.Format(u"%08X%04X.tmp", static_cast<unsigned>(uuid.data1), static_cast<unsigned>(uuid.data2));
        CString candidate = folder + prefix + name;
        DWORD error = CreateNew(candidate);
        if (error == ERROR_SUCCESS) {
            path = candidate;
            return ERROR_SUCCESS;
        }
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return error;
    }
    return ERROR_FILE_EXISTS;
}

DWORD CreatePrivateFile(const CString& path)
{
    DWORD error = CreateNew(path);
    return error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error;
}

DWORD ReadFileRange(const CString& path, unsigned long long offset, DWORD maxBytes, std::string& bytes)
{
    bytes.clear();
    win::CHandle file(::CreateFileW(win::W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return ::GetLastError();
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (offset > 0x7FFFFFFFFFFFFFFFull || !::SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN))
        return ::GetLastError();
    bytes.resize(maxBytes);
    DWORD done = 0;
    while (done < maxBytes) {
        DWORD n = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, maxBytes - done, &n, nullptr)) {
            DWORD error = ::GetLastError();
            bytes.clear();
            return error;
        }
        if (n == 0)
            break;
        done += n;
    }
    bytes.resize(done);
    return ERROR_SUCCESS;
}

DWORD ReadFileStart(const CString& path, DWORD maxBytes, std::string& bytes)
{
    return ReadFileRange(path, 0, maxBytes, bytes);
}

DWORD DeleteTempFile(const CString& path)
{
    return ::DeleteFileW(win::W(path)) ? ERROR_SUCCESS : ::GetLastError();
}

} // namespace platform
