// CConfiguration: the user's settings kept in the registry (where the GnuPG
// executable lies, the GnuPG home directory, the working directory for
// decrypted files), read afresh on every use, and the saved key groups
// (named selections of recipients' short key ids).
#pragma once

#include <map>

#include "ArrayEx.h"
#include "platform/CString.h"
#include "platform/WinTypes.h"

class CConfiguration {
public:
    CConfiguration() = delete;

    // ---- settings --------------------------------------------------------------------

    // Full path of the GnuPG executable. Throws COrvException 2002 when the
    // configuration key is missing, 2004 when no file exists at the stored
    // path (unset, empty, or naming a folder).
    static CString GetGnuPGPath();
    // The stored GnuPG path as it stands (expanded), whether or not a file is
    // there; empty when none is stored. Never throws.
    static CString GetGnuPGPathSetting();
    // Stores the executable's path (an empty path is stored as it is).
    // Failures are silent.
    static void SetGnuPGPath(const CString& path);
    // The GnuPG home directory; empty when unset (GnuPG uses its default).
    static CString GetGnuPGHomeDir();
    static void SetGnuPGHomeDir(const CString& directory);
    // The working directory (the stored one, else the private temporary
    // folder's "veilcase"), created when missing with mode 0700. With
    // bUnique set, a new subfolder named by a random upper-case UUID is made
    // (0700) and returned. A stored directory that belongs to another user or
    // is open to others is refused with an error in the log and the default
    // is used instead. Never throws; failures to create are logged and the
    // path is still returned. Empty only when no private folder can be had.
    static CString GetWorkingDir(int bUnique);
    // Stores the working directory; an empty text means "use the default".
    static void SetWorkingDir(const CString& directory);

    // ---- integration with the system -----------------------------------------------

    // The state of a registration.
    enum eRegisterStatus {
        eNotRegistered = 0,     // nothing of ours and nothing foreign
        eRegistered = 1,        // registered to this system, complete
        eForeignRegistered = 2, // something else is registered
    };

    // Points the user's registrations of the File Open and File Save dialog
    // classes ("InProcServer32" default values) at `modulePath`, in the
    // 64-bit view (the own view here) or the 32-bit view. Silent.
    static void RegisterDLL(bool b64BitView, const CString& modulePath);
    // Deletes the user's registration of the Open (or Save) dialog class with
    // everything below it, in the 64-bit or the caller's own view. True when
    // the class key was deleted; false when it was not there.
    static bool UnregisterDLL(bool b64BitView, bool bOpenDialog);
    // The registered module of the Open (or Save) dialog class, or
    // "<not found>" (also for a value longer than 255 characters).
    static CString GetRegisteredApp(bool b64BitView, bool bOpenDialog);
    // The library that stands in for the system dialogs in this build, as
    // registered and judged: "veilshim64.dll" (a name "X.dll" stands for
    // "libX.so" beside the program).
    static CString GetOwnLibraryName();
    // Registers the dialog replacement as the register mode does: the own
    // library from the program's folder, in the own view (this build has one
    // bitness).
    static void RegisterDialogReplacement();
    // Removes the dialog replacement of both classes in the own view.
    static void UnregisterDialogReplacement();
    // Judges the dialog replacement from the four registrations; `decided`
    // is false in the one case no judgement is made (a 64-bit system whose
    // 64-bit Save registration names another library).
    static eRegisterStatus GetDialogReplacementStatus(bool& decided);

    // Gives ".gpg" and ".pgp" to "veilcase" (open command: this program with
    // the file) and makes it the desktop's application for encrypted files.
    // Without bForce an association that belongs to another program is left
    // alone.
    static void RegisterFileExtensions(int bForce);
    // Deletes "veilcase", ".gpg" and ".pgp" from the user's classes and
    // removes exactly what the desktop association added.
    static void UnRegisterFileExtensions();
    // eRegistered when both extension keys name "veilcase" (and the desktop
    // does not name another default); eForeignRegistered when an extension
    // key names something else, or the user's default application for
    // encrypted files is another program; else eNotRegistered.
    static eRegisterStatus GetFileExtensionRegistrationStatus();

    // ---- first run ---------------------------------------------------------------------

    // When no GnuPG executable is configured, stores the "gpg" found on PATH
    // and returns true with its path in `path`. An existing setting is never
    // overwritten, even one that names no file (false, `path` = the stored
    // one). False with an empty `path` when none is stored and none is found.
    static bool ConfigureGnuPGFromPath(CString& path);

    // ---- key groups --------------------------------------------------------------------

    // Names of all groups, in the map's (stable) order.
    static CArrayEx<CString, const CString&> GetKeyGroupNames();
    // The short key ids of the group named exactly `name`; empty when there
    // is none.
    static CArrayEx<DWORD, const DWORD&> GetKeyGroupKey(const CString& name);
    // The name of a group holding exactly the ids of `keys` (any order,
    // duplicates count); the last such group in map order wins. Empty when
    // no group matches.
    static CString GetKeyGroupByKeyList(CArrayEx<DWORD, const DWORD&> keys);
    // Stores a group: the pieces of `keys` (already formatted, "," included)
    // are joined as they are. False when the group's key cannot be created,
    // when its "Keys" cannot be written (a key created for it is removed
    // again; a group that existed keeps its old keys), or when the name is
    // empty or holds a "\" (it would name a nested key that no enumeration
    // of the groups sees).
    static bool SaveGroupKeyConfig(const CArrayEx<CString, const CString&>& keys, const CString& name);
    // Deletes a group (a group with sub-keys of its own stays). Failures are
    // silent; the map is reloaded either way.
    static void RemoveGroupKeyConfig(const CString& name);
    // Takes the next piece off a stored "Keys" text into `token` (lower
    // case); false when `rest` was already empty.
    static bool splitKeyGroupKeys(CString& rest, CString& token);

    // Group name (exact case) to its short key ids, in stored order.
    static std::map<CString, CArrayEx<DWORD, const DWORD&>> m_keyGroups;
    // Non-zero once the registry's groups have been read completely.
    static int m_bKeyGroupsLoaded;

protected:
    // Reads every group from the registry into m_keyGroups; leaves the map
    // and the flag alone when the groups key cannot be opened.
    static void LoadKeyGroups();
};
