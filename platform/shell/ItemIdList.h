// Item id lists over file-system paths: building the list of an absolute
// path, reading the path back (with every field checked, since lists come
// from callers), and the list's size.
#pragma once

#include "platform/CString.h"
#include "platform/shell/ShellApi.h"

namespace platform {

class CItemIdList {
public:
    // The absolute, lexically normalised form of `path` ("." and ".." folded,
    // doubled and trailing '/' dropped), or empty when `path` is not absolute.
    static CString NormalPath(const CString& path);

    // A new list (task memory) for a normalised absolute path, or null when
    // a name is too long for an item id or memory runs out.
    static PIDLIST_ABSOLUTE FromPath(const CString& normalPath);

    // The path a list stands for. Returns false when the list was not made
    // by FromPath: an item id of the wrong size or signature, or a name that
    // is empty, "." or "..", or holds '/' or a zero unit.
    static bool ToPath(PCIDLIST_ABSOLUTE list, CString& path);

    // Size in bytes, the two-byte terminator included (0 for null).
    static UINT Size(PCUIDLIST_RELATIVE list);

    // A copy in task memory (null for null or when memory runs out).
    static PIDLIST_RELATIVE Clone(PCUIDLIST_RELATIVE list);
};

} // namespace platform
