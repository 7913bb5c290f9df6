// GUID: the 128-bit identifier of COM classes and interfaces, laid out as
// Windows lays it out, with its braced text form.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

#ifdef _WIN32
#include <cguid.h> // GUID_NULL (the rest comes with <windows.h>)
#else
struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes");

using CLSID = GUID;
using IID = GUID;
using REFGUID = const GUID&;
using REFCLSID = const GUID&;
using REFIID = const GUID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

// The all-zero GUID.
inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#endif

namespace platform {

// The 38-character braced form with upper-case digits, as the registry
// writes class ids: "{C0B4E2F3-BA21-4773-8DBA-335EC946EB8B}".
CString GuidToString(REFGUID guid);

// Parses the braced form (or the 36-character form without braces), any
// letter case. Returns false and leaves `guid` alone on any other text.
// Pitfall: surrounding blanks are not accepted.
bool GuidFromString(const CString& text, GUID& guid);

// The 16 bytes of a GUID in the RFC 4122 order (Data1..Data3 big-endian),
// and back; the form random UUIDs are generated in.
void GuidToBytes(REFGUID guid, BYTE bytes[16]);
GUID GuidFromBytes(const BYTE bytes[16]);

} // namespace platform
