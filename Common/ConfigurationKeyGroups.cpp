// The key-group members of CConfiguration: one registry sub-key per group
// below the groups key, holding the short key ids as "1234ABCD,00C0FFEE".
#include "Configuration.h"

#include <vector>

#include "Key.h"
#include "platform/Registry.h"

std::map<CString, CArrayEx<DWORD, const DWORD&>> CConfiguration::m_keyGroups;
int CConfiguration::m_bKeyGroupsLoaded = 0;

namespace {

const char16_t* const kGroupsKey = u"Software\\Orvelin\\veilcase\\Configuration\\Keygroups";
const char16_t* const kKeysValue = u"Keys";

// Long enough for every key name the registry accepts (255 characters).
constexpr DWORD ciMaxGroupName = 256;

// A piece of a "Keys" text as an unsigned 32-bit number, read the way
// wcstoul reads base 16: leading blanks, an optional sign and "0x" are
// accepted, reading stops at the first other character (nothing read: 0),
// a value beyond 32 bits gives all bits set, a minus sign negates.
DWORD ParseShortKeyId(const CString& token)
{
    ULONGLONG value = ParseUInt64(token, 16);
    if (value > 0xFFFFFFFFull) {
        // _wcstoui64 negates "-n" within 64 bits; tell that apart from an
        // overflow, which saturates.
        CString trimmed = token;
        trimmed.TrimLeft();
        if (!trimmed.IsEmpty() && trimmed[0] == u'-') {
            ULONGLONG magnitude = 0 - value;
            if (magnitude <= 0xFFFFFFFFull)
                return static_cast<DWORD>(0 - magnitude);
        }
        return 0xFFFFFFFFu;
    }
    return static_cast<DWORD>(value);
}

// The "Keys" value of a group key as text; empty when it is missing. Read at
// its full size, so that a group of many keys is never cut or lost.
CString ReadKeysText(HKEY key)
{
    DWORD size = 0;
    if (platform::RegQueryValueExW(key, kKeysValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return CString();
    std::vector<char16_t> buffer(size / sizeof(char16_t) + 1, 0);
    if (platform::RegQueryValueExW(key, kKeysValue, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return CString();
    // The value need not end in a zero character: end it after its last
    // whole unit (a lone odd byte is dropped).
    buffer[size / sizeof(char16_t)] = 0;
    return CString(buffer.data()); // up to the first zero character
}

CString GroupKeyPath(const CString& name)
{
    return CString(kGroupsKey) + u"\\" + name;
}

} // namespace

bool CConfiguration::splitKeyGroupKeys(CString& rest, CString& token)
{
    token.Empty();
    if (rest.IsEmpty())
        return false;
    int comma = rest.Find(u',');
    if (comma >= 1) {
        token = rest.Left(comma);
        rest = rest.Mid(comma + 1);
    } else {
        token = rest;
        rest.Empty();
    }
    token.MakeLower();
    return true;
}

void CConfiguration::LoadKeyGroups()
{
    HKEY groups = nullptr;
    LSTATUS opened = platform::RegOpenKeyExW(HKEY_CURRENT_USER, kGroupsKey, 0, KEY_READ | KEY_WRITE, &groups);
    if (opened == ERROR_FILE_NOT_FOUND) {
        // No groups key: there are no groups (and none left over from an
        // earlier load); the next reader looks again.
        m_keyGroups.clear();
        m_bKeyGroupsLoaded = 0;
    }
    if (opened != ERROR_SUCCESS)
        return;
    m_keyGroups.clear();
    LSTATUS rc = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        char16_t name[ciMaxGroupName] = {};
        DWORD length = ciMaxGroupName;
        rc = platform::RegEnumKeyExW(groups, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        HKEY group = nullptr;
        if (platform::RegOpenKeyExW(groups, name, 0, KEY_READ | KEY_WRITE, &group) != ERROR_SUCCESS)
            continue;
        CString rest = ReadKeysText(group);
        platform::RegCloseKey(group);
        CArrayEx<DWORD, const DWORD&> ids;
        CString token;
        while (splitKeyGroupKeys(rest, token))
            ids.Add(ParseShortKeyId(token));
        m_keyGroups[CString(name)] = ids;
    }
    if (rc == ERROR_NO_MORE_ITEMS)
        m_bKeyGroupsLoaded = 1;
    platform::RegCloseKey(groups);
}

CArrayEx<CString, const CString&> CConfiguration::GetKeyGroupNames()
{
    if (!m_bKeyGroupsLoaded)
        LoadKeyGroups();
    CArrayEx<CString, const CString&> names;
    for (const auto& [name, ids] : m_keyGroups)
        names.Add(name);
    return names;
}

CArrayEx<DWORD, const DWORD&> CConfiguration::GetKeyGroupKey(const CString& name)
{
    if (!m_bKeyGroupsLoaded)
        LoadKeyGroups();
    auto it = m_keyGroups.find(name);
    return it == m_keyGroups.end() ? CArrayEx<DWORD, const DWORD&>() : it->second;
}

CString CConfiguration::GetKeyGroupByKeyList(CArrayEx<DWORD, const DWORD&> keys)
{
    if (!m_bKeyGroupsLoaded)
        LoadKeyGroups();
    CDWORDComparer comparer;
    keys.Sort(comparer);
    CString found;
    for (const auto& [name, stored] : m_keyGroups) {
        if (stored.GetSize() != keys.GetSize())
            continue;
        CArrayEx<DWORD, const DWORD&> sorted = stored;
        sorted.Sort(comparer);
        bool equal = true;
        for (int i = 0; i < sorted.GetSize() && equal; ++i)
            equal = sorted[i] == keys[i];
        if (equal)
            found = name;
    }
    return found;
}

bool CConfiguration::SaveGroupKeyConfig(const CArrayEx<CString, const CString&>& keys, const CString& name)
{
    // An empty name would write into the groups key itself, and a "\" would
    // make a nested key that the list of groups never shows.
    if (name.IsEmpty() || name.Find(u'\\') >= 0)
        return false;
    CString text;
    for (const auto& piece : keys)
        text += piece;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (platform::RegCreateKeyExW(HKEY_CURRENT_USER, GroupKeyPath(name), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                  &key, &disposition) != ERROR_SUCCESS)
        return false;
    const LSTATUS written = platform::RegSetKeyValueW(key, nullptr, kKeysValue, REG_SZ, text.GetString(),
                                                      static_cast<DWORD>((text.GetLength() + 1) * sizeof(char16_t)));
    platform::RegCloseKey(key);
    if (written != ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
        // A key without its "Keys" would read as an empty group: a
        // selection nobody saved. A group that existed keeps its old keys.
        platform::RegDeleteKeyExW(HKEY_CURRENT_USER, GroupKeyPath(name), 0, 0);
    }
    LoadKeyGroups();
    return written == ERROR_SUCCESS;
}

void CConfiguration::RemoveGroupKeyConfig(const CString& name)
{
    // An empty name would name the groups key itself.
    if (!name.IsEmpty())
        platform::RegDeleteKeyExW(HKEY_CURRENT_USER, GroupKeyPath(name), 0, 0);
    platform::RegFlushKey(HKEY_CURRENT_USER);
    LoadKeyGroups();
}
