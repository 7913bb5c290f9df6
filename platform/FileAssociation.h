// The desktop's side of the file association for encrypted files: which
// application a file manager (or "gio open", "xdg-open") starts for a
// "*.gpg" or "*.pgp" file of this user. On Windows the registry's class
// entries are the association; elsewhere the freedesktop files are: a
// desktop entry for the program, a per-user MIME definition and the user's
// default application for the type.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

namespace platform {

// The type the desktop gives encrypted files.
constexpr const char16_t* cszEncryptedFileType = u"application/pgp-encrypted";
// The name of the program's desktop entry.
constexpr const char16_t* cszDesktopEntryName = u"veilcase.desktop";

enum class EFileAssociation {
    eNone,    // no default application of the user for the type
    eOurs,    // our desktop entry is the user's default
    eForeign, // another application is the user's default
};

// Makes `programPath` the user's application for "*.gpg" and "*.pgp": a
// desktop entry whose command is the program with the file, a per-user MIME
// definition that gives both patterns the encrypted type ahead of the
// other types that share them, and that entry as the user's default for the
// type (a default it replaces is remembered for UnregisterFileAssociation).
// Returns false when something could not be written.
bool RegisterFileAssociation(const CString& programPath);

// Removes exactly what RegisterFileAssociation added and gives a default it
// replaced back; another application's default set meanwhile stays.
void UnregisterFileAssociation();

// The user's default application for encrypted files.
EFileAssociation QueryFileAssociation();

// Where the desktop entry lies ($XDG_DATA_HOME/applications/veilcase.desktop);
// empty when there is no home.
CString DesktopEntryPath();

} // namespace platform
