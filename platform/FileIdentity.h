// File identity: what tells one state of a file from another without
// reading it (the volume and file number it lives at, its size, and the
// times of its last change), so that what was learned from a file can be
// kept for exactly as long as the file stays as it was.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

namespace platform {

struct SFileIdentity {
    ULONGLONG volume = 0;     // the file system it lives on (volume serial number)
    ULONGLONG fileId = 0;     // its number on that volume (file index)
    ULONGLONG size = 0;       // bytes
    LONGLONG modified = 0;    // last write of the content, 100 ns units since 1970 (UTC)
    LONGLONG changed = 0;     // last change of content or attributes, same units
    bool regularFile = false; // an ordinary file (no folder, device, pipe or socket)

    bool operator==(const SFileIdentity& other) const = default;
};

// Reads the identity of the file at `path`, following symbolic links.
// Returns false when the path names nothing that can be queried. Pitfall: a
// file rewritten within the clock's resolution to the same size keeps its
// times; the change time and the file number still tell a replaced file.
bool QueryFileIdentity(const CString& path, SFileIdentity& identity);

} // namespace platform
