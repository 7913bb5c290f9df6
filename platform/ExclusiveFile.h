// Reading a file that no other process holds open: the counterpart of a
// Windows open with no sharing, for callers that must see a file's settled
// content (hashing a working copy after the application that wrote it).
#pragma once

#include "CString.h"
#include "WinTypes.h"

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

    // Opens an existing regular file for reading. Returns 0 on success, else
    // an errno value: ENOENT for a missing file, EISDIR for a folder,
    // EINVAL for anything else that is not a regular file, EBUSY when
    // another process has the file open (descriptors of the calling process
    // do not count). Pitfall: nothing stops another process from opening
    // the file after this check; the file is not locked.
    int Open(const CString& path);

    // Reads up to `size` bytes. Returns the count (0 at the end of the file)
    // or -1 with the errno value in `error`.
    int Read(void* buffer, DWORD size, int& error);

    bool IsOpen() const { return m_fd >= 0; }
    void Close();

private:
    int m_fd = -1;
};

} // namespace platform
