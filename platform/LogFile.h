// The operating-system side of the diagnostic log: a private file shared by
// several processes that each append whole lines to it.
#pragma once

#include <string_view>

#include "CString.h"

namespace platform {

// A file opened for appending by any number of processes at once: every
// Write lands whole at the end of the file, never interleaved with another
// process's write.
class CAppendFile {
public:
    constexpr CAppendFile() = default;
    ~CAppendFile() { Close(); }
    CAppendFile(const CAppendFile&) = delete;
    CAppendFile& operator=(const CAppendFile&) = delete;

    // Opens (creating if missing, owner read/write only, never truncating)
    // `path` for appending. Returns false on failure. Pitfall: an existing
    // file readable by others is made owner-only when we own it.
    bool Open(const CString& path);
    bool IsOpen() const { return m_fd >= 0; }
    // Appends `bytes` with one system write (more only when the system
    // accepts part of it). Returns false when not all could be written.
    bool Write(std::string_view bytes);
    void Close();

private:
    int m_fd = -1;
};

} // namespace platform
