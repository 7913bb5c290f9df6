// CGuiUtils: small helpers for the user interface; today the product
// version text that window titles, the About dialog and the log show.
#pragma once

#include "platform/CString.h"

class CGuiUtils {
public:
    CGuiUtils() = default;
    ~CGuiUtils() = default;

    // The "ProductVersion" string of version resource 1 of the first module
    // in the resource chain that has one ("1.0.0.145"), read under the
    // language and code page of the block's translation table (or, without
    // a usable table, the user's default language and code page 04B0).
    // Empty when there is no version resource or no such string.
    static CString GetProductVersion();
};
