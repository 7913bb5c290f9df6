// The operating-system side of the diagnostic log: a private file shared by
// several processes that each append whole lines to it.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/CString.h"

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

    // Opens (creating if missing, private to the user, never truncating)
    // `path` for appending. Returns false on failure. Pitfall: an existing
    // file readable by others is made private when we own it.
    bool Open(const CString& path);
    bool IsOpen() const { return m_handle != -1; }
    // Appends `bytes` with one system write (more only when the system
    // accepts part of it). Returns false when not all could be written.
    bool Write(std::string_view bytes);
    void Close();

private:
    std::intptr_t m_handle = -1; // the system's handle; -1 when closed
};

} // namespace platform
