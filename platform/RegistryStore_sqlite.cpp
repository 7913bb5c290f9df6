#include "platform/RegistryStore_sqlite.h"

#include <sqlite3.h>

#include <cstring>

namespace platform {

namespace {

// Rows of `keys` form the tree (the root has no parent); deleting a key
// takes its sub-keys and values with it through the cascades. Ids are never
// reused, so a handle to a deleted key cannot come to name a new one.
const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL,"
    " folded TEXT NOT NULL,"
    " UNIQUE(parent, folded));"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL,"
    " folded TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, folded)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name, folded) VALUES(1, NULL, 'HKEY_CURRENT_USER', 'hkey_current_user');";

// How long a writer waits for another process's transaction to end.
constexpr int ciBusyTimeoutMs = 30000;

} // namespace

CString FoldRegistryName(const CString& name)
{
    std::u16string folded = name.Str();
    for (auto& ch : folded)
        ch = CString::ToLowerChar(ch);
    return CString(std::move(folded));
}

// A prepared statement borrowed from the cache, reset when it goes out of
// scope so that it holds no read lock.
class CRegistryStore::CStatement {
public:
    CStatement(CRegistryStore& store, const char* sql) : m_stmt(store.Prepare(sql)) {}
    ~CStatement()
    {
        if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    bool Ok() const { return m_stmt != nullptr; }
    void Bind(int index, std::int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }
    void Bind(int index, const CString& text)
    {
        std::string utf8 = text.ToUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    void BindBlob(int index, const std::string& data)
    {
        // A zero-length blob must still be a blob, not NULL.
        sqlite3_bind_blob(m_stmt, index, data.empty() ? "" : data.data(), static_cast<int>(data.size()),
                          SQLITE_TRANSIENT);
    }
    int Step() { return sqlite3_step(m_stmt); }
    std::int64_t Int(int column) { return sqlite3_column_int64(m_stmt, column); }
    CString Text(int column)
    {
        auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return CString::FromUtf8(text ? std::string_view(text, sqlite3_column_bytes(m_stmt, column)) : "");
    }
    std::string Blob(int column)
    {
        auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return data ? std::string(data, sqlite3_column_bytes(m_stmt, column)) : std::string();
    }

private:
    sqlite3_stmt* m_stmt;
};

// A transaction rolled back unless committed. Writers start with IMMEDIATE so
// that they take the write lock up front (waiting for other processes)
// instead of failing when a read transaction would have to be upgraded.
class CRegistryStore::CTransaction {
public:
    CTransaction(CRegistryStore& store, bool write) : m_store(store)
    {
        m_active = store.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    }
    ~CTransaction()
    {
        if (m_active)
            m_store.Exec("ROLLBACK");
    }
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    bool Active() const { return m_active; }
    bool Commit()
    {
        if (!m_active)
            return false;
        m_active = false;
        if (m_store.Exec("COMMIT"))
            return true;
        m_store.Exec("ROLLBACK");
        return false;
    }

private:
    CRegistryStore& m_store;
    bool m_active;
};

CRegistryStore::~CRegistryStore()
{
    for (auto& [sql, stmt] : m_statements)
        sqlite3_finalize(stmt);
    if (m_db)
        sqlite3_close(m_db);
}

void CRegistryStore::Abandon()
{
    m_statements.clear();
    m_db = nullptr;
}

LSTATUS CRegistryStore::Open(const std::string& path, std::string& error)
{
    auto fail = [&] {
        error = m_db ? sqlite3_errmsg(m_db) : "cannot open the database";
        return ERROR_REGISTRY_IO_FAILED;
    };
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        LSTATUS status = fail();
        if (m_db)
            sqlite3_close(m_db);
        m_db = nullptr;
        return status;
    }
    sqlite3_busy_timeout(m_db, ciBusyTimeoutMs);
    // WAL lets readers go on while one process writes; NORMAL syncing keeps
    // the file consistent after a crash and RegFlushKey makes it durable.
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL") || !Exec("PRAGMA foreign_keys=ON"))
        return fail();
    CTransaction tx(*this, true);
    if (!tx.Active() || !Exec(kSchema) || !tx.Commit())
        return fail();
    return ERROR_SUCCESS;
}

bool CRegistryStore::Exec(const char* sql)
{
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt* CRegistryStore::Prepare(const char* sql)
{
    for (auto& [text, stmt] : m_statements)
        if (text == sql)
            return stmt;
    sqlite3_stmt* stmt = nullptr;
    if (!m_db || sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
        return nullptr;
    m_statements.emplace_back(sql, stmt);
    return stmt;
}

namespace {
const char* const kFindChild = "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2";
const char* const kInsertChild = "INSERT OR IGNORE INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)";
const char* const kKeyExists = "SELECT 1 FROM keys WHERE id = ?1";
const char* const kHasChild = "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1";
const char* const kGetValue = "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2";
const char* const kSetValue =
    "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data";
const char* const kDeleteValue = "DELETE FROM vals WHERE key = ?1 AND folded = ?2";
const char* const kChildNames = "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded";
const char* const kChildAt = "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded LIMIT 1 OFFSET ?2";
const char* const kValueAt = "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded LIMIT 1 OFFSET ?2";
const char* const kValues = "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded";
const char* const kDeleteKey = "DELETE FROM keys WHERE id = ?1";
const char* const kDeleteChildren = "DELETE FROM keys WHERE parent = ?1";
const char* const kDeleteValues = "DELETE FROM vals WHERE key = ?1";
} // namespace

LSTATUS CRegistryStore::Resolve(std::int64_t start, const std::vector<CString>& names, std::int64_t& id)
{
    id = start;
    if (names.empty())
        return KeyExists(start) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    // One read transaction for the whole walk: one snapshot, one lock.
    CTransaction tx(*this, false);
    for (const auto& name : names) {
        CStatement find(*this, kFindChild);
        if (!find.Ok())
            return ERROR_CANTREAD;
        find.Bind(1, id);
        find.Bind(2, FoldRegistryName(name));
        int rc = find.Step();
        if (rc == SQLITE_DONE)
            return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW)
            return ERROR_CANTREAD;
        id = find.Int(0);
    }
    return ERROR_SUCCESS;
}

LSTATUS CRegistryStore::CreatePath(std::int64_t start, const std::vector<CString>& names, bool mayCreate,
                                   std::int64_t& id, bool& created)
{
    created = false;
    CTransaction tx(*this, true);
    if (!tx.Active())
        return ERROR_CANTWRITE;
    if (!KeyExists(start))
        return ERROR_KEY_DELETED;
    id = start;
    for (const auto& name : names) {
        CString folded = FoldRegistryName(name);
        {
            CStatement find(*this, kFindChild);
            if (!find.Ok())
                return ERROR_CANTWRITE;
            find.Bind(1, id);
            find.Bind(2, folded);
            int rc = find.Step();
            if (rc == SQLITE_ROW) {
                id = find.Int(0);
                created = false;
                continue;
            }
            if (rc != SQLITE_DONE)
                return ERROR_CANTWRITE;
        }
        if (!mayCreate)
            return ERROR_ACCESS_DENIED;
        CStatement insert(*this, kInsertChild);
        if (!insert.Ok())
            return ERROR_CANTWRITE;
        insert.Bind(1, id);
        insert.Bind(2, name);
        insert.Bind(3, folded);
        if (insert.Step() != SQLITE_DONE)
            return ERROR_CANTWRITE;
        id = sqlite3_last_insert_rowid(m_db);
        created = true;
    }
    return tx.Commit() ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

bool CRegistryStore::KeyExists(std::int64_t id)
{
    CStatement exists(*this, kKeyExists);
    if (!exists.Ok())
        return false;
    exists.Bind(1, id);
    return exists.Step() == SQLITE_ROW;
}

LSTATUS CRegistryStore::HasSubKeys(std::int64_t id, bool& has)
{
    CStatement child(*this, kHasChild);
    if (!child.Ok())
        return ERROR_CANTREAD;
    child.Bind(1, id);
    int rc = child.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return ERROR_CANTREAD;
    has = rc == SQLITE_ROW;
    return ERROR_SUCCESS;
}

LSTATUS CRegistryStore::GetValue(std::int64_t key, const CString& name, DWORD& type, std::string& data)
{
    {
        CStatement get(*this, kGetValue);
        if (!get.Ok())
            return ERROR_CANTREAD;
        get.Bind(1, key);
        get.Bind(2, FoldRegistryName(name));
        int rc = get.Step();
        if (rc == SQLITE_ROW) {
            type = static_cast<DWORD>(get.Int(0));
            data = get.Blob(1);
            return ERROR_SUCCESS;
        }
        if (rc != SQLITE_DONE)
            return ERROR_CANTREAD;
    }
    return KeyExists(key) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
}

LSTATUS CRegistryStore::SetValue(std::int64_t key, const CString& name, DWORD type, const std::string& data)
{
    CTransaction tx(*this, true);
    if (!tx.Active())
        return ERROR_CANTWRITE;
    if (!KeyExists(key))
        return ERROR_KEY_DELETED;
    CStatement set(*this, kSetValue);
    if (!set.Ok())
        return ERROR_CANTWRITE;
    set.Bind(1, key);
    set.Bind(2, name);
    set.Bind(3, FoldRegistryName(name));
    set.Bind(4, static_cast<std::int64_t>(type));
    set.BindBlob(5, data);
    if (set.Step() != SQLITE_DONE)
        return ERROR_CANTWRITE;
    return tx.Commit() ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

LSTATUS CRegistryStore::DeleteValue(std::int64_t key, const CString& name)
{
    CTransaction tx(*this, true);
    if (!tx.Active())
        return ERROR_CANTWRITE;
    if (!KeyExists(key))
        return ERROR_KEY_DELETED;
    {
        CStatement del(*this, kDeleteValue);
        if (!del.Ok())
            return ERROR_CANTWRITE;
        del.Bind(1, key);
        del.Bind(2, FoldRegistryName(name));
        if (del.Step() != SQLITE_DONE)
            return ERROR_CANTWRITE;
    }
    if (sqlite3_changes(m_db) == 0)
        return ERROR_FILE_NOT_FOUND;
    return tx.Commit() ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

LSTATUS CRegistryStore::SubKeyNames(std::int64_t key, std::vector<CString>& names)
{
    names.clear();
    CStatement list(*this, kChildNames);
    if (!list.Ok())
        return ERROR_CANTREAD;
    list.Bind(1, key);
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW)
        names.push_back(list.Text(0));
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTREAD;
}

LSTATUS CRegistryStore::SubKeyAt(std::int64_t key, DWORD index, CString& name)
{
    {
        CStatement at(*this, kChildAt);
        if (!at.Ok())
            return ERROR_CANTREAD;
        at.Bind(1, key);
        at.Bind(2, static_cast<std::int64_t>(index));
        int rc = at.Step();
        if (rc == SQLITE_ROW) {
            name = at.Text(0);
            return ERROR_SUCCESS;
        }
        if (rc != SQLITE_DONE)
            return ERROR_CANTREAD;
    }
    return KeyExists(key) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
}

LSTATUS CRegistryStore::ValueAt(std::int64_t key, DWORD index, CString& name, DWORD& type, std::string& data)
{
    {
        CStatement at(*this, kValueAt);
        if (!at.Ok())
            return ERROR_CANTREAD;
        at.Bind(1, key);
        at.Bind(2, static_cast<std::int64_t>(index));
        int rc = at.Step();
        if (rc == SQLITE_ROW) {
            name = at.Text(0);
            type = static_cast<DWORD>(at.Int(1));
            data = at.Blob(2);
            return ERROR_SUCCESS;
        }
        if (rc != SQLITE_DONE)
            return ERROR_CANTREAD;
    }
    return KeyExists(key) ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
}

LSTATUS CRegistryStore::Values(std::int64_t key, std::vector<SValue>& values)
{
    values.clear();
    CStatement list(*this, kValues);
    if (!list.Ok())
        return ERROR_CANTREAD;
    list.Bind(1, key);
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW)
        values.push_back({list.Text(0), static_cast<DWORD>(list.Int(1)), list.Blob(2)});
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTREAD;
}

LSTATUS CRegistryStore::DeleteKey(std::int64_t id, bool onlyIfLeaf)
{
    if (id == ciRootId)
        return ERROR_ACCESS_DENIED;
    CTransaction tx(*this, true);
    if (!tx.Active())
        return ERROR_CANTWRITE;
    if (!KeyExists(id))
        return ERROR_KEY_DELETED;
    if (onlyIfLeaf) {
        bool has = false;
        if (LSTATUS rc = HasSubKeys(id, has); rc != ERROR_SUCCESS)
            return ERROR_CANTWRITE;
        if (has)
            return ERROR_ACCESS_DENIED;
    }
    CStatement del(*this, kDeleteKey);
    if (!del.Ok())
        return ERROR_CANTWRITE;
    del.Bind(1, id);
    if (del.Step() != SQLITE_DONE)
        return ERROR_CANTWRITE;
    return tx.Commit() ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

LSTATUS CRegistryStore::ClearKey(std::int64_t id)
{
    CTransaction tx(*this, true);
    if (!tx.Active())
        return ERROR_CANTWRITE;
    if (!KeyExists(id))
        return ERROR_KEY_DELETED;
    for (const char* sql : {kDeleteChildren, kDeleteValues}) {
        CStatement del(*this, sql);
        if (!del.Ok())
            return ERROR_CANTWRITE;
        del.Bind(1, id);
        if (del.Step() != SQLITE_DONE)
            return ERROR_CANTWRITE;
    }
    return tx.Commit() ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

LSTATUS CRegistryStore::Flush()
{
    int logFrames = 0, checkpointed = 0;
    int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &checkpointed);
    // A checkpoint syncs the log first; frames another process is still
    // reading stay in the (synced) log and are checkpointed later.
    return rc == SQLITE_OK || rc == SQLITE_BUSY ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

} // namespace platform
