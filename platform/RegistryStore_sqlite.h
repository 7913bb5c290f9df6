// CRegistryStore: the database behind the registry calls of Registry.h, a
// tree of keys with typed values in one SQLite file per user. Internal to
// the registry implementation; the core uses Registry.h only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/CString.h"
#include "platform/Registry.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform {

// Name of a key or value as stored (case kept) and folded for comparison.
CString FoldRegistryName(const CString& name);

class CRegistryStore {
public:
    // Id of the root key of the user's hive.
    static constexpr std::int64_t ciRootId = 1;

    CRegistryStore() = default;
    ~CRegistryStore();
    CRegistryStore(const CRegistryStore&) = delete;
    CRegistryStore& operator=(const CRegistryStore&) = delete;

    // Opens (creating when missing) the database file and its tables. The
    // file must already exist with the right permissions. Returns
    // ERROR_SUCCESS, or ERROR_REGISTRY_IO_FAILED with SQLite's reason in
    // `error` (a file that is no database, one that can't be written).
    LSTATUS Open(const std::string& path, std::string& error);
    // Leaves the connection open without closing it: for a process that was
    // forked from the one that opened it, where closing would disturb the
    // parent's locks.
    void Abandon();

    // Walks `names` down from `start`; ERROR_FILE_NOT_FOUND when a level is
    // missing. Pitfall: a deleted `start` also reads as not found.
    LSTATUS Resolve(std::int64_t start, const std::vector<CString>& names, std::int64_t& id);
    // Like Resolve, creating the missing levels in one transaction;
    // `created` tells whether the last level is new. With `mayCreate` false a
    // missing level gives ERROR_ACCESS_DENIED instead.
    LSTATUS CreatePath(std::int64_t start, const std::vector<CString>& names, bool mayCreate, std::int64_t& id,
                       bool& created);
    // Whether the key still exists.
    bool KeyExists(std::int64_t id);
    // Whether the key has at least one sub-key.
    LSTATUS HasSubKeys(std::int64_t id, bool& has);

    LSTATUS GetValue(std::int64_t key, const CString& name, DWORD& type, std::string& data);
    // ERROR_KEY_DELETED when the key no longer exists.
    LSTATUS SetValue(std::int64_t key, const CString& name, DWORD type, const std::string& data);
    LSTATUS DeleteValue(std::int64_t key, const CString& name);

    // Names of the sub-keys / values in folded-name order.
    LSTATUS SubKeyNames(std::int64_t key, std::vector<CString>& names);
    LSTATUS SubKeyAt(std::int64_t key, DWORD index, CString& name);
    LSTATUS ValueAt(std::int64_t key, DWORD index, CString& name, DWORD& type, std::string& data);
    struct SValue {
        CString name;
        DWORD type;
        std::string data;
    };
    LSTATUS Values(std::int64_t key, std::vector<SValue>& values);

    // Deletes the key and everything below it; with `onlyIfLeaf` a key with
    // sub-keys is refused with ERROR_ACCESS_DENIED.
    LSTATUS DeleteKey(std::int64_t id, bool onlyIfLeaf);
    // Deletes every value and sub-key of the key, keeping the key.
    LSTATUS ClearKey(std::int64_t id);
    // Writes the log of recent changes into the database file and syncs it.
    LSTATUS Flush();

private:
    class CStatement;
    class CTransaction;
    sqlite3_stmt* Prepare(const char* sql);
    bool Exec(const char* sql);

    sqlite3* m_db = nullptr;
    std::vector<std::pair<const char*, sqlite3_stmt*>> m_statements;
};

// The location of the store and its preparation (RegistryStoreFile_posix.cpp).
// Full path of the database file from XDG_CONFIG_HOME (or ~/.config).
std::string RegistryStoreLocation();
// Creates the private folder (0700) and file (0600), tightening the mode of
// ones the user owns and refusing ones that belong to somebody else.
// Returns false with a reason in `error`.
bool PrepareRegistryStoreFile(const std::string& path, std::string& error);
// Id of the calling process, to notice a fork.
long RegistryProcessId();

} // namespace platform
