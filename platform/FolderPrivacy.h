// The one rule for folders that hold what only the user may see (working
// copies, the registry store, the private temporary folder): a folder is
// private when it is a real folder of the user the process acts as and
// nothing in it is open to anybody else. Checking a folder against that
// rule, closing up a folder of the user's, and making a private folder.
#pragma once

#include "platform/CString.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

namespace platform {

enum class EFolderPrivacy {
    eMissing,      // nothing exists at the path
    ePrivate,      // a folder of the user, open to nobody else
    eOpenToOthers, // a folder of the user that others may read or change
    eForeignOwner, // a folder that belongs to another user
    eNotAFolder,   // something else exists at the path (or a link not followed)
};

// How private the folder at `path` is. With `followLink`, a symbolic link is
// judged by the folder it points to (a folder the user chose may be reached
// through one); without it a link is eNotAFolder (a folder we keep at a fixed
// place must be that folder itself, or whoever placed the link decides where
// our files go). Pitfall: the answer can change the moment after it was
// given; use it to refuse a folder, not to trust one others could change.
EFolderPrivacy CheckFolderPrivacy(const CString& path, bool followLink = true);

// Closes a folder the user owns to everybody else. Returns false (nothing
// changed) when the folder is missing, not the user's or cannot be changed.
bool RestrictFolderToOwner(const CString& path);

// Makes sure a private folder is at `path` (never through a link): creates
// it private when missing (its parent must exist) and, with `tighten`,
// closes up a folder of the user's that is open to others. Returns the
// verdict on the folder as it then is (ePrivate when it can be used);
// eMissing when it could not be made, with the reason in `error` (if given).
EFolderPrivacy EnsurePrivateFolder(const CString& path, bool tighten, DWORD* error = nullptr);

} // namespace platform
