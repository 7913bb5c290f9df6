// UUIDs: random (version 4) UUIDs and their text form.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

namespace platform {

// A UUID in the field layout of the Windows GUID structure. The text form
// writes data1, data2 and data3 as numbers and data4 byte by byte.
struct SUuid {
    DWORD data1;
    WORD data2;
    WORD data3;
    BYTE data4[8];
};

// Fills `uuid` with a new random version-4 UUID (RFC 4122 variant) from the
// system's random source. Returns false only when that source fails; `uuid`
// is then all zero. Pitfall: never use a UUID whose creation failed.
bool CreateUuid(SUuid& uuid);

// The 36-character text form "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" in upper
// case, without braces.
CString UuidToString(const SUuid& uuid);

} // namespace platform
