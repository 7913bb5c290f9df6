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
    // or when the name is empty or holds a "\" (it would name a nested key
    // that no enumeration of the groups sees).
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
