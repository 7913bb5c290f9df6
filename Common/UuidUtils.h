// CUuidUtils: text forms of class identifiers as the registry writes them.
#pragma once

#include "platform/CString.h"
#include "platform/Guid.h"

class CUuidUtils {
public:
    // The braced upper-case form "{C0B4E2F3-BA21-4773-8DBA-335EC946EB8B}".
    static CString ToString(const GUID& guid);
};
