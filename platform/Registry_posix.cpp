// The registry calls over the per-user store: handles, access rights, the
// 32-bit view of the class registrations and the merged HKEY_CLASSES_ROOT.
#include "platform/Registry.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/RegistryStore_sqlite.h"

using platform::CRegistryStore;
using platform::FoldRegistryName;

// An open key. Keys of the user's hive are held by their id, so a handle
// keeps naming its key (and reports ERROR_KEY_DELETED once it is gone).
// HKEY_CLASSES_ROOT keys are held by path and looked up on every call,
// because their user part may appear or vanish while the handle is open.
struct HKEY__ {
    bool classesRoot = false;
    int view = 64;
    REGSAM access = KEY_ALL_ACCESS;
    std::vector<CString> path; // below the hive root, or below HKEY_CLASSES_ROOT
    std::int64_t id = 0;       // user's hive only
};

namespace {

constexpr size_t ciMaxKeyNameLength = 255;
constexpr size_t ciMaxValueNameLength = 16383;
constexpr REGSAM ciWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE;

// ---- the fixed machine part of HKEY_CLASSES_ROOT ------------------------------------

struct SMachineValue {
    const char16_t* name; // empty: the default value
    const char16_t* text; // REG_SZ
};

struct SMachineKey {
    const char16_t* name;
    std::vector<SMachineValue> values;
    std::vector<SMachineKey> children;
};

// The system's dialog classes, served by the system dialog module.
const SMachineKey& MachineClasses()
{
    static const SMachineKey root{
        u"",
        {},
        {{u"CLSID",
          {},
          {{u"{DC1C5A9C-E88A-4DDE-A5A1-60F82A20AEF7}",
            {{u"", u"File Open Dialog"}},
            {{u"InProcServer32", {{u"", u"comdlg32.dll"}, {u"ThreadingModel", u"Apartment"}}, {}}}},
           {u"{C0B4E2F3-BA21-4773-8DBA-335EC946EB8B}",
            {{u"", u"File Save Dialog"}},
            {{u"InProcServer32", {{u"", u"comdlg32.dll"}, {u"ThreadingModel", u"Apartment"}}, {}}}}}}}};
    return root;
}

const SMachineKey* FindMachineKey(const std::vector<CString>& path)
{
    const SMachineKey* key = &MachineClasses();
    for (const auto& name : path) {
        auto it = std::find_if(key->children.begin(), key->children.end(),
                               [&](const SMachineKey& child) { return name.CompareNoCase(child.name) == 0; });
        if (it == key->children.end())
            return nullptr;
        key = &*it;
    }
    return key;
}

std::string StringBytes(const char16_t* text)
{
    size_t units = Utf16Length(text) + 1; // with the terminator
    return std::string(reinterpret_cast<const char*>(text), units * sizeof(char16_t));
}

// ---- process-wide state ------------------------------------------------------------

std::mutex g_mutex;
CRegistryStore* g_store = nullptr;
long g_storePid = 0;
std::string g_storeProblem; // why the store could not be opened last time
std::unordered_set<HKEY__*> g_handles;
HKEY__ g_currentUser{false, 64, KEY_ALL_ACCESS, {}, CRegistryStore::ciRootId};
HKEY__ g_classesRoot{true, 64, KEY_ALL_ACCESS, {}, 0};

const std::string& StorePath()
{
    static const std::string path = platform::RegistryStoreLocation();
    return path;
}

// The open store, opened on first use. A forked child must not share its
// parent's connection: it leaves that one alone and opens its own.
CRegistryStore* Store()
{
    long pid = platform::RegistryProcessId();
    if (g_store && g_storePid != pid) {
        g_store->Abandon();
        delete g_store;
        g_store = nullptr;
    }
    if (!g_store) {
        std::string error;
        if (!platform::PrepareRegistryStoreFile(StorePath(), error)) {
            g_storeProblem = error;
            return nullptr;
        }
        auto store = std::make_unique<CRegistryStore>();
        if (store->Open(StorePath(), error) != ERROR_SUCCESS) {
            g_storeProblem = StorePath() + ": " + error;
            return nullptr;
        }
        g_store = store.release();
        g_storePid = pid;
        g_storeProblem.clear();
    }
    return g_store;
}

HKEY__* Lookup(HKEY key)
{
    if (key == HKEY_CURRENT_USER)
        return &g_currentUser;
    if (key == HKEY_CLASSES_ROOT)
        return &g_classesRoot;
    return g_handles.count(key) ? key : nullptr;
}

// The key of a handle that grants one of `rights`, and the store; the
// caller holds g_mutex. Returns ERROR_SUCCESS or the failure to report.
LSTATUS UsableKey(HKEY handle, REGSAM rights, HKEY__*& key, CRegistryStore*& store)
{
    key = Lookup(handle);
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (!(key->access & rights))
        return ERROR_ACCESS_DENIED;
    store = Store();
    if (!store)
        return ERROR_REGISTRY_IO_FAILED;
    return ERROR_SUCCESS;
}

bool IsPredefined(HKEY key)
{
    return key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT;
}

// ---- paths ---------------------------------------------------------------------------

// Splits "a\b\c" (one trailing "\" allowed) into its levels.
LSTATUS SplitPath(const char16_t* subKey, std::vector<CString>& names)
{
    names.clear();
    if (!subKey || !*subKey)
        return ERROR_SUCCESS;
    std::u16string_view text(subKey);
    if (text.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    if (text.back() == u'\\')
        text.remove_suffix(1);
    size_t start = 0;
    for (;;) {
        size_t end = text.find(u'\\', start);
        auto name = text.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
        if (name.empty())
            return ERROR_BAD_PATHNAME;
        if (name.size() > ciMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        names.emplace_back(name);
        if (end == std::u16string_view::npos)
            return ERROR_SUCCESS;
        start = end + 1;
    }
}

LSTATUS ViewOf(REGSAM sam, int fallback, int& view)
{
    switch (sam & KEY_WOW64_RES) {
    case 0:
        view = fallback;
        return ERROR_SUCCESS;
    case KEY_WOW64_64KEY:
        view = 64;
        return ERROR_SUCCESS;
    case KEY_WOW64_32KEY:
        view = 32;
        return ERROR_SUCCESS;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

bool IsRedirectedClassKey(const CString& name)
{
    for (const char16_t* redirected : {u"CLSID", u"Interface", u"DirectShow", u"Media Type", u"MediaFoundation"})
        if (name.CompareNoCase(redirected) == 0)
            return true;
    return false;
}

// The stored location of a path of the user's hive: in the 32-bit view the
// redirected class keys live below "Software\Classes\Wow6432Node".
std::vector<CString> PhysicalPath(std::vector<CString> path, int view)
{
    if (view == 32 && path.size() >= 3 && path[0].CompareNoCase(u"Software") == 0 &&
        path[1].CompareNoCase(u"Classes") == 0 && IsRedirectedClassKey(path[2]))
        path.insert(path.begin() + 2, CString(u"Wow6432Node"));
    return path;
}

std::vector<CString> Concat(const std::vector<CString>& a, const std::vector<CString>& b)
{
    std::vector<CString> all(a);
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

std::vector<CString> UserClassesPath(const HKEY__& key)
{
    return PhysicalPath(Concat({CString(u"Software"), CString(u"Classes")}, key.path), key.view);
}

// Where to start looking up `names` below `parent` in `view`, and the levels
// to walk from there. Relative lookups are safe unless the view changes or
// the walk may cross a redirected class key.
void LookupStart(const HKEY__& parent, const std::vector<CString>& names, int view, std::int64_t& start,
                 std::vector<CString>& walk)
{
    if (view == parent.view && (view == 64 || parent.path.size() >= 3)) {
        start = parent.id;
        walk = names;
    } else {
        start = CRegistryStore::ciRootId;
        walk = PhysicalPath(Concat(parent.path, names), view);
    }
}

// ---- what a handle names right now ---------------------------------------------------------

struct STarget {
    std::int64_t user = 0;                 // the key in the user's hive (0: none)
    const SMachineKey* machine = nullptr;  // the key in the machine part
};

LSTATUS Resolve(CRegistryStore& store, const HKEY__& key, STarget& target)
{
    target = {};
    if (!key.classesRoot) {
        target.user = key.id;
        return ERROR_SUCCESS;
    }
    std::int64_t id = 0;
    LSTATUS rc = store.Resolve(CRegistryStore::ciRootId, UserClassesPath(key), id);
    if (rc == ERROR_SUCCESS)
        target.user = id;
    else if (rc != ERROR_FILE_NOT_FOUND)
        return rc;
    target.machine = FindMachineKey(key.path);
    if (!target.user && !target.machine)
        return key.path.empty() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    return ERROR_SUCCESS;
}

// The user part of a HKEY_CLASSES_ROOT key, created for a write.
LSTATUS EnsureUserPart(CRegistryStore& store, const HKEY__& key, STarget& target)
{
    if (target.user)
        return ERROR_SUCCESS;
    bool created = false;
    return store.CreatePath(CRegistryStore::ciRootId, UserClassesPath(key), true, target.user, created);
}

LSTATUS ReadValue(CRegistryStore& store, const HKEY__& key, const CString& name, DWORD& type, std::string& data)
{
    STarget target;
    if (LSTATUS rc = Resolve(store, key, target); rc != ERROR_SUCCESS)
        return rc;
    if (target.user) {
        LSTATUS rc = store.GetValue(target.user, name, type, data);
        if (rc != ERROR_FILE_NOT_FOUND || !target.machine)
            return rc;
    }
    if (target.machine) {
        for (const auto& value : target.machine->values) {
            if (name.CompareNoCase(value.name) == 0) {
                type = REG_SZ;
                data = StringBytes(value.text);
                return ERROR_SUCCESS;
            }
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS CopyOut(DWORD type, const std::string& data, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    if (lpType)
        *lpType = type;
    if (!lpcbData)
        return ERROR_SUCCESS;
    auto size = static_cast<DWORD>(data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData && size)
        std::memcpy(lpData, data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS CopyName(const CString& name, char16_t* buffer, LPDWORD lpcch)
{
    if (!buffer || !lpcch)
        return ERROR_INVALID_PARAMETER;
    auto length = static_cast<DWORD>(name.GetLength());
    if (*lpcch < length + 1)
        return ERROR_MORE_DATA;
    std::memcpy(buffer, name.GetString(), (length + 1) * sizeof(char16_t));
    *lpcch = length;
    return ERROR_SUCCESS;
}

// Sub-key names of a merged HKEY_CLASSES_ROOT key: the user's names, then
// the machine's names the user does not have, in folded order.
LSTATUS MergedSubKeys(CRegistryStore& store, const STarget& target, std::vector<CString>& names)
{
    names.clear();
    if (target.user)
        if (LSTATUS rc = store.SubKeyNames(target.user, names); rc != ERROR_SUCCESS)
            return rc;
    if (target.machine) {
        for (const auto& child : target.machine->children) {
            bool shadowed = std::any_of(names.begin(), names.end(),
                                        [&](const CString& name) { return name.CompareNoCase(child.name) == 0; });
            if (!shadowed)
                names.emplace_back(child.name);
        }
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const CString& a, const CString& b) { return FoldRegistryName(a) < FoldRegistryName(b); });
    return ERROR_SUCCESS;
}

LSTATUS MergedValues(CRegistryStore& store, const STarget& target, std::vector<CRegistryStore::SValue>& values)
{
    values.clear();
    if (target.user)
        if (LSTATUS rc = store.Values(target.user, values); rc != ERROR_SUCCESS)
            return rc;
    if (target.machine) {
        for (const auto& value : target.machine->values) {
            bool shadowed = std::any_of(values.begin(), values.end(), [&](const CRegistryStore::SValue& v) {
                return v.name.CompareNoCase(value.name) == 0;
            });
            if (!shadowed)
                values.push_back({CString(value.name), REG_SZ, StringBytes(value.text)});
        }
    }
    std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
        return FoldRegistryName(a.name) < FoldRegistryName(b.name);
    });
    return ERROR_SUCCESS;
}

LSTATUS OpenOrCreate(HKEY hKey, const char16_t* lpSubKey, REGSAM samDesired, bool create, PHKEY phkResult,
                     LPDWORD lpdwDisposition)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::lock_guard lock(g_mutex);
    HKEY__* parent = Lookup(hKey);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    std::vector<CString> names;
    if (LSTATUS rc = SplitPath(lpSubKey, names); rc != ERROR_SUCCESS)
        return rc;
    int view = 64;
    if (LSTATUS rc = ViewOf(samDesired, parent->view, view); rc != ERROR_SUCCESS)
        return rc;
    if (!create && names.empty() && IsPredefined(hKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    CRegistryStore* store = Store();
    if (!store)
        return ERROR_REGISTRY_IO_FAILED;

    auto key = std::make_unique<HKEY__>();
    key->classesRoot = parent->classesRoot;
    key->view = view;
    key->access = (samDesired & MAXIMUM_ALLOWED) ? KEY_ALL_ACCESS : (samDesired & ~(KEY_WOW64_RES | MAXIMUM_ALLOWED));
    key->path = Concat(parent->path, names);
    bool mayCreate = (parent->access & KEY_CREATE_SUB_KEY) != 0;
    bool created = false;

    if (!key->classesRoot) {
        std::int64_t start = 0;
        std::vector<CString> walk;
        LookupStart(*parent, names, view, start, walk);
        LSTATUS rc = create ? store->CreatePath(start, walk, mayCreate, key->id, created)
                            : store->Resolve(start, walk, key->id);
        if (rc == ERROR_FILE_NOT_FOUND && start != CRegistryStore::ciRootId && !store->KeyExists(start))
            rc = ERROR_KEY_DELETED;
        if (rc != ERROR_SUCCESS)
            return rc;
    } else {
        STarget target;
        LSTATUS rc = Resolve(*store, *key, target);
        if (rc != ERROR_SUCCESS && rc != ERROR_KEY_DELETED)
            return rc;
        if (!target.user && !target.machine) {
            if (!create)
                return ERROR_FILE_NOT_FOUND;
            std::int64_t id = 0;
            rc = store->CreatePath(CRegistryStore::ciRootId, UserClassesPath(*key), mayCreate, id, created);
            if (rc != ERROR_SUCCESS)
                return rc;
        }
    }
    if (lpdwDisposition)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = key.get();
    g_handles.insert(key.release());
    return ERROR_SUCCESS;
}

// Looks up `lpSubKey` below `parent` for a deletion: the user part (0 when
// there is none) and whether the machine part has the key.
LSTATUS FindForDelete(CRegistryStore& store, const HKEY__& parent, const char16_t* lpSubKey, REGSAM samDesired,
                      STarget& target)
{
    std::vector<CString> names;
    if (LSTATUS rc = SplitPath(lpSubKey, names); rc != ERROR_SUCCESS)
        return rc;
    int view = 64;
    if (LSTATUS rc = ViewOf(samDesired, parent.view, view); rc != ERROR_SUCCESS)
        return rc;
    target = {};
    if (!parent.classesRoot) {
        std::int64_t start = 0;
        std::vector<CString> walk;
        LookupStart(parent, names, view, start, walk);
        LSTATUS rc = store.Resolve(start, walk, target.user);
        if (rc == ERROR_FILE_NOT_FOUND && start != CRegistryStore::ciRootId && !store.KeyExists(start))
            rc = ERROR_KEY_DELETED;
        return rc;
    }
    HKEY__ key{true, view, parent.access, Concat(parent.path, names), 0};
    if (key.path.empty())
        return ERROR_ACCESS_DENIED; // the root of the merged view itself
    LSTATUS rc = Resolve(store, key, target);
    if (rc == ERROR_KEY_DELETED)
        return ERROR_FILE_NOT_FOUND;
    return rc;
}

LSTATUS DeleteKey(HKEY hKey, const char16_t* lpSubKey, REGSAM samDesired, bool tree)
{
    std::lock_guard lock(g_mutex);
    HKEY__* parent = Lookup(hKey);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    // A key named through a handle is opened by the call itself, so the
    // handle's rights do not matter (as on Windows, where callers delete
    // trees through keys opened for reading and writing only); emptying the
    // handle's own key walks it, and that needs the three rights of the walk.
    constexpr REGSAM treeRights = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
    const bool named = lpSubKey && *lpSubKey;
    if (tree && !named && (parent->access & treeRights) != treeRights)
        return ERROR_ACCESS_DENIED;
    CRegistryStore* store = Store();
    if (!store)
        return ERROR_REGISTRY_IO_FAILED;
    STarget target;
    if (!named && tree) {
        // Empty the key itself, keeping it.
        if (LSTATUS rc = Resolve(*store, *parent, target); rc != ERROR_SUCCESS)
            return rc;
        if (!target.user)
            return target.machine ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return store->ClearKey(target.user);
    }
    if (LSTATUS rc = FindForDelete(*store, *parent, lpSubKey, samDesired, target); rc != ERROR_SUCCESS)
        return rc;
    if (!target.user)
        return target.machine ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    return store->DeleteKey(target.user, !tree);
}

} // namespace

// ---- the registry calls ------------------------------------------------------------------

namespace platform {

LSTATUS RegOpenKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    return OpenOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LSTATUS RegOpenKeyW(HKEY hKey, const char16_t* lpSubKey, PHKEY phkResult)
{
    return OpenOrCreate(hKey, lpSubKey, MAXIMUM_ALLOWED, false, phkResult, nullptr);
}

LSTATUS RegCreateKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD, char16_t*, DWORD dwOptions, REGSAM samDesired, const void*,
                        PHKEY phkResult, LPDWORD lpdwDisposition)
{
    // Volatile keys (gone after a restart) and links are not kept here; a
    // volatile key stored for good would outlive what its creator meant.
    if (dwOptions != REG_OPTION_NON_VOLATILE) {
        if (phkResult)
            *phkResult = nullptr;
        return ERROR_INVALID_PARAMETER;
    }
    return OpenOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LSTATUS RegCreateKeyW(HKEY hKey, const char16_t* lpSubKey, PHKEY phkResult)
{
    return OpenOrCreate(hKey, lpSubKey, MAXIMUM_ALLOWED, true, phkResult, nullptr);
}

LSTATUS RegCloseKey(HKEY hKey)
{
    if (IsPredefined(hKey))
        return ERROR_SUCCESS;
    std::lock_guard lock(g_mutex);
    if (!g_handles.erase(hKey))
        return ERROR_INVALID_HANDLE;
    delete hKey;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY hKey, const char16_t* lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    std::lock_guard lock(g_mutex);
    HKEY__* key = nullptr;
    CRegistryStore* store = nullptr;
    if (LSTATUS rc = UsableKey(hKey, KEY_QUERY_VALUE, key, store); rc != ERROR_SUCCESS)
        return rc;
    DWORD type = REG_NONE;
    std::string data;
    if (LSTATUS rc = ReadValue(*store, *key, CString(lpValueName), type, data); rc != ERROR_SUCCESS)
        return rc;
    return CopyOut(type, data, lpType, lpData, lpcbData);
}

LSTATUS RegSetValueExW(HKEY hKey, const char16_t* lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    if (!lpData && cbData)
        return ERROR_INVALID_PARAMETER;
    CString name(lpValueName);
    if (static_cast<size_t>(name.GetLength()) > ciMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    HKEY__* key = nullptr;
    CRegistryStore* store = nullptr;
    if (LSTATUS rc = UsableKey(hKey, KEY_SET_VALUE, key, store); rc != ERROR_SUCCESS)
        return rc;
    STarget target;
    if (LSTATUS rc = Resolve(*store, *key, target); rc != ERROR_SUCCESS)
        return rc;
    if (LSTATUS rc = EnsureUserPart(*store, *key, target); rc != ERROR_SUCCESS)
        return rc;
    std::string data(reinterpret_cast<const char*>(lpData ? lpData : reinterpret_cast<const BYTE*>("")), cbData);
    return store->SetValue(target.user, name, dwType, data);
}

LSTATUS RegSetKeyValueW(HKEY hKey, const char16_t* lpSubKey, const char16_t* lpValueName, DWORD dwType, const void* lpData,
                        DWORD cbData)
{
    if (!lpSubKey || !*lpSubKey)
        return RegSetValueExW(hKey, lpValueName, 0, dwType, static_cast<const BYTE*>(lpData), cbData);
    HKEY sub = nullptr;
    LSTATUS rc = RegCreateKeyExW(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &sub,
                                 nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExW(sub, lpValueName, 0, dwType, static_cast<const BYTE*>(lpData), cbData);
    RegCloseKey(sub);
    return rc;
}

LSTATUS RegSetValueW(HKEY hKey, const char16_t* lpSubKey, DWORD dwType, const char16_t* lpData, DWORD)
{
    if (dwType != REG_SZ || !lpData)
        return ERROR_INVALID_PARAMETER;
    auto bytes = static_cast<DWORD>((Utf16Length(lpData) + 1) * sizeof(char16_t));
    return RegSetKeyValueW(hKey, lpSubKey, nullptr, REG_SZ, lpData, bytes);
}

LSTATUS RegQueryValueW(HKEY hKey, const char16_t* lpSubKey, char16_t* lpData, PLONG lpcbData)
{
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    HKEY key = hKey;
    if (lpSubKey && *lpSubKey) {
        if (LSTATUS rc = RegOpenKeyExW(hKey, lpSubKey, 0, KEY_QUERY_VALUE, &key); rc != ERROR_SUCCESS)
            return rc;
    }
    DWORD type = REG_SZ;
    std::string data;
    LSTATUS rc;
    {
        std::lock_guard lock(g_mutex);
        HKEY__* open = Lookup(key);
        CRegistryStore* store = open ? Store() : nullptr;
        if (!open)
            rc = ERROR_INVALID_HANDLE;
        else if (!(open->access & KEY_QUERY_VALUE))
            rc = ERROR_ACCESS_DENIED;
        else if (!store)
            rc = ERROR_REGISTRY_IO_FAILED;
        else
            rc = ReadValue(*store, *open, CString(), type, data);
    }
    if (key != hKey)
        RegCloseKey(key);
    if (rc == ERROR_FILE_NOT_FOUND) { // a key without default value reads as ""
        rc = ERROR_SUCCESS;
        data.clear();
    }
    if (rc != ERROR_SUCCESS)
        return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_INVALID_DATA;
    // Hand out whole UTF-16 units and always a terminated string.
    data.resize(data.size() & ~size_t(1));
    if (data.size() < 2 || data[data.size() - 1] != 0 || data[data.size() - 2] != 0)
        data.append(2, '\0');
    if (!lpcbData)
        return ERROR_SUCCESS;
    auto size = static_cast<LONG>(data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData)
        std::memcpy(lpData, data.data(), data.size());
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY hKey, const char16_t* lpValueName)
{
    std::lock_guard lock(g_mutex);
    HKEY__* key = nullptr;
    CRegistryStore* store = nullptr;
    if (LSTATUS rc = UsableKey(hKey, KEY_SET_VALUE, key, store); rc != ERROR_SUCCESS)
        return rc;
    STarget target;
    if (LSTATUS rc = Resolve(*store, *key, target); rc != ERROR_SUCCESS)
        return rc;
    CString name(lpValueName);
    LSTATUS rc = target.user ? store->DeleteValue(target.user, name) : ERROR_FILE_NOT_FOUND;
    if (rc == ERROR_FILE_NOT_FOUND && target.machine) {
        bool machineHasIt = std::any_of(target.machine->values.begin(), target.machine->values.end(),
                                        [&](const SMachineValue& v) { return name.CompareNoCase(v.name) == 0; });
        if (machineHasIt)
            return ERROR_ACCESS_DENIED;
    }
    return rc;
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, char16_t* lpName, LPDWORD lpcchName, LPDWORD, char16_t* lpClass,
                      LPDWORD lpcchClass, _FILETIME*)
{
    if (!lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    HKEY__* key = nullptr;
    CRegistryStore* store = nullptr;
    if (LSTATUS rc = UsableKey(hKey, KEY_ENUMERATE_SUB_KEYS, key, store); rc != ERROR_SUCCESS)
        return rc;
    CString name;
    if (!key->classesRoot) {
        if (LSTATUS rc = store->SubKeyAt(key->id, dwIndex, name); rc != ERROR_SUCCESS)
            return rc;
    } else {
        STarget target;
        if (LSTATUS rc = Resolve(*store, *key, target); rc != ERROR_SUCCESS)
            return rc;
        std::vector<CString> names;
        if (LSTATUS rc = MergedSubKeys(*store, target, names); rc != ERROR_SUCCESS)
            return rc;
        if (dwIndex >= names.size())
            return ERROR_NO_MORE_ITEMS;
        name = names[dwIndex];
    }
    if (LSTATUS rc = CopyName(name, lpName, lpcchName); rc != ERROR_SUCCESS)
        return rc;
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        *lpClass = 0;
        *lpcchClass = 0;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, char16_t* lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    HKEY__* key = nullptr;
    CRegistryStore* store = nullptr;
    if (LSTATUS rc = UsableKey(hKey, KEY_QUERY_VALUE, key, store); rc != ERROR_SUCCESS)
        return rc;
    CRegistryStore::SValue value;
    if (!key->classesRoot) {
        if (LSTATUS rc = store->ValueAt(key->id, dwIndex, value.name, value.type, value.data); rc != ERROR_SUCCESS)
            return rc;
    } else {
        STarget target;
        if (LSTATUS rc = Resolve(*store, *key, target); rc != ERROR_SUCCESS)
            return rc;
        std::vector<CRegistryStore::SValue> values;
        if (LSTATUS rc = MergedValues(*store, target, values); rc != ERROR_SUCCESS)
            return rc;
        if (dwIndex >= values.size())
            return ERROR_NO_MORE_ITEMS;
        value = values[dwIndex];
    }
    if (LSTATUS rc = CopyName(value.name, lpValueName, lpcchValueName); rc != ERROR_SUCCESS)
        return rc;
    return CopyOut(value.type, value.data, lpType, lpData, lpcbData);
}

LSTATUS RegDeleteKeyExW(HKEY hKey, const char16_t* lpSubKey, REGSAM samDesired, DWORD)
{
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    if (!*lpSubKey) {
        // The key of the handle itself.
        if (IsPredefined(hKey))
            return ERROR_ACCESS_DENIED;
        std::lock_guard lock(g_mutex);
        HKEY__* key = nullptr;
        CRegistryStore* store = nullptr;
        if (LSTATUS rc = UsableKey(hKey, ciWriteRights, key, store); rc != ERROR_SUCCESS)
            return rc;
        STarget target;
        if (LSTATUS rc = Resolve(*store, *key, target); rc != ERROR_SUCCESS)
            return rc;
        if (!target.user)
            return target.machine ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return store->DeleteKey(target.user, true);
    }
    return DeleteKey(hKey, lpSubKey, samDesired, false);
}

LSTATUS RegDeleteKeyW(HKEY hKey, const char16_t* lpSubKey)
{
    return RegDeleteKeyExW(hKey, lpSubKey, 0, 0);
}

LSTATUS RegDeleteTreeW(HKEY hKey, const char16_t* lpSubKey)
{
    return DeleteKey(hKey, lpSubKey, 0, true);
}

LSTATUS RegFlushKey(HKEY hKey)
{
    std::lock_guard lock(g_mutex);
    if (!Lookup(hKey))
        return ERROR_INVALID_HANDLE;
    CRegistryStore* store = Store();
    return store ? store->Flush() : ERROR_REGISTRY_IO_FAILED;
}

CString RegistryStorePath()
{
    return CString::FromUtf8(StorePath());
}

CString RegistryStoreProblem()
{
    std::lock_guard lock(g_mutex);
    Store();
    return CString::FromUtf8(g_storeProblem);
}

} // namespace platform
