// Whether a folder is private to the user (owned by the user, nothing open to
// group or others), and closing up a folder the user owns.
#pragma once

#include "CString.h"
#include "WinTypes.h"

namespace platform {

enum class EFolderPrivacy {
    eMissing,      // nothing exists at the path
    ePrivate,      // a folder of the user, no group or other permission bits
    eOpenToOthers, // a folder of the user with group or other permission bits
    eForeignOwner, // a folder that belongs to another user
    eNotAFolder,   // something else exists at the path
};

// How private the folder at `path` is; a symbolic link is judged by what it
// points to. Pitfall: the answer can change the moment after it was given;
// use it to refuse a folder, not to trust one that others could still change.
EFolderPrivacy CheckFolderPrivacy(const CString& path);

// Removes the group and other permission bits of a folder the user owns.
// Returns false (nothing changed) when the folder is missing, not the user's
// or cannot be changed.
bool RestrictFolderToOwner(const CString& path);

} // namespace platform
