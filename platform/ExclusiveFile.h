// Reading a file that no other process holds open: the counterpart of a
// Windows open with no sharing, for callers that must see a file's settled
// content (hashing a working copy after the application that wrote it).
#pragma once

#include <cstdint>

#include "platform/CString.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

namespace platform {

// A regular file opened for reading while no other process held it open.
// Move-only; the destructor closes it.
class CExclusiveFileReader {
public:
    CExclusiveFileReader() = default;
    ~CExclusiveFileReader();
    CExclusiveFileReader(CExclusiveFileReader&& other) noexcept;
    CExclusiveFileReader& operator=(CExclusiveFileReader&& other) noexcept;
    CExclusiveFileReader(const CExclusiveFileReader&) = delete;
    CExclusiveFileReader& operator=(const CExclusiveFileReader&) = delete;

    // Opens an existing regular file for reading. Returns ERROR_SUCCESS, else
    // an error code: ERROR_FILE_NOT_FOUND for a missing file,
    // ERROR_ACCESS_DENIED for a folder, ERROR_INVALID_PARAMETER for anything
    // else that is not a regular file, ERROR_SHARING_VIOLATION when another
    // process has the file open (handles of the calling process do not
    // count). Pitfall: where the system has no sharing modes nothing stops
    // another process from opening the file after this check.
    DWORD Open(const CString& path);

    // Reads up to `size` bytes. Returns the count (0 at the end of the file)
    // or -1 with the error code in `error`.
    int Read(void* buffer, DWORD size, DWORD& error);

    bool IsOpen() const { return m_handle != -1; }
    void Close();

private:
    std::intptr_t m_handle = -1; // the system's handle; -1 when closed
};

} // namespace platform
