#include <gtest/gtest.h>

#ifndef _WIN32
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "TestEnvironment.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace {

const char16_t* const kOpenClsid = u"CLSID\\{DC1C5A9C-E88A-4DDE-A5A1-60F82A20AEF7}\\InProcServer32";
const char16_t* const kSaveClsid = u"CLSID\\{C0B4E2F3-BA21-4773-8DBA-335EC946EB8B}\\InProcServer32";

// Every test works below its own key of HKEY_CURRENT_USER, emptied first.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base = CString(u"Software\\RegTest\\") +
                 CString::FromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, m_base);
        ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(HKEY_CURRENT_USER, m_base, &m_key));
    }
    void TearDown() override
    {
        if (m_key)
            platform::RegCloseKey(m_key);
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, m_base);
    }

    static LSTATUS SetString(HKEY key, const char16_t* name, const CString& text, DWORD type = REG_SZ)
    {
        return platform::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.GetString()),
                              static_cast<DWORD>((text.GetLength() + 1) * 2));
    }
    // The raw bytes of a value; the type in *type.
    static LSTATUS Get(HKEY key, const char16_t* name, std::string& bytes, DWORD* type = nullptr)
    {
        DWORD size = 0;
        LSTATUS rc = platform::RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
        if (rc != ERROR_SUCCESS)
            return rc;
        bytes.assign(size, '\x7f');
        return platform::RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    }
    static CString GetString(HKEY key, const char16_t* name)
    {
        std::string bytes;
        if (Get(key, name, bytes) != ERROR_SUCCESS)
            return u"<missing>";
        return CString(reinterpret_cast<const char16_t*>(bytes.data()), static_cast<int>(bytes.size() / 2 - 1));
    }
    static std::vector<CString> SubKeys(HKEY key)
    {
        std::vector<CString> names;
        char16_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            LSTATUS rc = platform::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, rc);
                return names;
            }
            EXPECT_EQ(Utf16Length(name), length);
            names.emplace_back(name);
        }
    }

    CString m_base;
    HKEY m_key = nullptr;
};

TEST_F(RegistryTest, TypedValuesRoundTripWithWindowsByteCounts)
{
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"Text", u"Hällo wörld"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"Expand", u"%TEMP%\\x", REG_EXPAND_SZ));
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"Empty", u""));
    DWORD number = 0xDEADBEEF;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegSetValueExW(m_key, u"Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4));
    const BYTE raw[] = {0, 1, 0, 0xff, 0};
    ASSERT_EQ(ERROR_SUCCESS, platform::RegSetValueExW(m_key, u"Raw", 0, REG_BINARY, raw, sizeof raw));
    // A string written without its terminator is kept exactly as given.
    ASSERT_EQ(ERROR_SUCCESS, platform::RegSetValueExW(m_key, u"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"ab"), 4));
    ASSERT_EQ(ERROR_SUCCESS, platform::RegSetValueExW(m_key, u"Nothing", 0, REG_BINARY, nullptr, 0));

    std::string bytes;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, Get(m_key, u"Text", bytes, &type));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(2u * 11 + 2, bytes.size());
    EXPECT_EQ(CString(u"Hällo wörld"), GetString(m_key, u"Text"));
    ASSERT_EQ(ERROR_SUCCESS, Get(m_key, u"Expand", bytes, &type));
    EXPECT_EQ(REG_EXPAND_SZ, type);
    EXPECT_EQ(CString(u"%TEMP%\\x"), GetString(m_key, u"Expand"));
    ASSERT_EQ(ERROR_SUCCESS, Get(m_key, u"Empty", bytes, &type));
    EXPECT_EQ(std::string(2, '\0'), bytes);
    ASSERT_EQ(ERROR_SUCCESS, Get(m_key, u"Number", bytes, &type));
    EXPECT_EQ(REG_DWORD, type);
    ASSERT_EQ(4u, bytes.size());
    DWORD readBack = 0;
    std::memcpy(&readBack, bytes.data(), 4);
    EXPECT_EQ(0xDEADBEEFu, readBack);
    ASSERT_EQ(ERROR_SUCCESS, Get(m_key, u"Raw", bytes, &type));
    EXPECT_EQ(REG_BINARY, type);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw), sizeof raw), bytes);
    ASSERT_EQ(ERROR_SUCCESS, Get(m_key, u"Bare", bytes, &type));
    // Windows returns a string value as stored, terminated or not; Wine adds
    // room for a terminator.
    if (!testsupport::RunsUnderWine()) {
        EXPECT_EQ(4u, bytes.size());
    }
    ASSERT_EQ(ERROR_SUCCESS, Get(m_key, u"Nothing", bytes, &type));
    EXPECT_TRUE(bytes.empty());

    // Overwriting changes type and size; the default value has the empty name.
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"number", u"now text"));
    ASSERT_EQ(ERROR_SUCCESS, Get(m_key, u"NUMBER", bytes, &type));
    EXPECT_EQ(REG_SZ, type);
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, nullptr, u"default"));
    EXPECT_EQ(CString(u"default"), GetString(m_key, u""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Get(m_key, u"Absent", bytes));
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteValueW(m_key, u"TEXT"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegDeleteValueW(m_key, u"Text"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Get(m_key, u"Text", bytes));
}

TEST_F(RegistryTest, BufferTooSmallReportsMoreDataAndTheSizeNeeded)
{
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"Path", u"0123456789"));
    BYTE buffer[22];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD size = 21; // one byte short
    DWORD type = 0;
    EXPECT_EQ(ERROR_MORE_DATA, platform::RegQueryValueExW(m_key, u"Path", nullptr, &type, buffer, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(0xAB, buffer[0]); // nothing copied
    size = 22;
    EXPECT_EQ(ERROR_SUCCESS, platform::RegQueryValueExW(m_key, u"Path", nullptr, &type, buffer, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, platform::RegQueryValueExW(m_key, u"Path", nullptr, &type, buffer, nullptr));

    // RegQueryValueW counts in bytes too and always terminates.
    char16_t text[4];
    LONG bytes = sizeof text;
    // A key without a default value reads as the empty string.
    EXPECT_EQ(ERROR_SUCCESS, platform::RegQueryValueW(m_key, nullptr, text, &bytes));
    EXPECT_EQ(2, bytes);
    EXPECT_EQ(0, text[0]);
    ASSERT_EQ(ERROR_SUCCESS, platform::RegSetValueW(m_key, u"Sub", REG_SZ, u"abc", 0));
    bytes = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegQueryValueW(m_key, u"Sub", text, &bytes));
    EXPECT_EQ(8, bytes);
    EXPECT_EQ(CString(u"abc"), CString(text));
    ASSERT_EQ(ERROR_SUCCESS, platform::RegSetValueW(m_key, u"Sub", REG_SZ, u"abcd", 0));
    bytes = sizeof text;
    EXPECT_EQ(ERROR_MORE_DATA, platform::RegQueryValueW(m_key, u"Sub", text, &bytes));
    EXPECT_EQ(10, bytes);
}

TEST_F(RegistryTest, KeyNamesIgnoreCaseKeepCaseAndTrailingBackslash)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyExW(m_key, u"MixedCase\\Ärger Ωmega Жук", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"Value", u"x"));
    platform::RegCloseKey(key);

    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyExW(m_key, u"MIXEDCASE\\ärger ωMEGA жУК\\", 0, nullptr, 0, KEY_READ,
                                             nullptr, &key, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    EXPECT_EQ(CString(u"x"), GetString(key, u"VALUE"));
    platform::RegCloseKey(key);
    CString full = m_base + u"\\mixedcase\\";
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CURRENT_USER, full, 0, KEY_READ, &key));
    EXPECT_EQ(std::vector<CString>{CString(u"Ärger Ωmega Жук")}, SubKeys(key));
    platform::RegCloseKey(key);
    EXPECT_EQ(std::vector<CString>{CString(u"MixedCase")}, SubKeys(m_key));

    // Malformed paths and names.
    EXPECT_EQ(ERROR_BAD_PATHNAME, platform::RegOpenKeyExW(m_key, u"\\MixedCase", 0, KEY_READ, &key));
    // Wine takes an empty level and a name over the documented 255
    // characters; Windows refuses both.
    if (!testsupport::RunsUnderWine()) {
        EXPECT_EQ(ERROR_BAD_PATHNAME, platform::RegCreateKeyW(m_key, u"a\\\\b", &key));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, platform::RegCreateKeyW(m_key, CString(u'n', 256), &key));
    }
    EXPECT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, CString(u'n', 255), &key));
    platform::RegCloseKey(key);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(m_key, u"Missing\\Deeper", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_INVALID_HANDLE, platform::RegCloseKey(key));
}

TEST_F(RegistryTest, EnumerationByIndexWithNamesAsStored)
{
    for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"Delta"}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, name, &key));
        platform::RegCloseKey(key);
    }
    EXPECT_EQ((std::vector<CString>{u"Alpha", u"beta", u"Delta", u"gamma"}), SubKeys(m_key));

    char16_t name[5];
    DWORD length = 5; // "Alpha" needs 6 with its terminator
    EXPECT_EQ(ERROR_MORE_DATA, platform::RegEnumKeyExW(m_key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = 5;
    EXPECT_EQ(ERROR_SUCCESS, platform::RegEnumKeyExW(m_key, 1, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(4u, length);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, platform::RegEnumKeyExW(m_key, 4, name, &length, nullptr, nullptr, nullptr, nullptr));

    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"Second", u"2"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"first", u"1"));
    char16_t valueName[16];
    BYTE data[16];
    DWORD nameLength = 16, dataSize = sizeof data, type = 0;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegEnumValueW(m_key, 0, valueName, &nameLength, nullptr, &type, data, &dataSize));
    EXPECT_EQ(CString(u"first"), CString(valueName));
    EXPECT_EQ(4u, dataSize);
    nameLength = 16;
    EXPECT_EQ(ERROR_SUCCESS, platform::RegEnumValueW(m_key, 1, valueName, &nameLength, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(CString(u"Second"), CString(valueName));
    nameLength = 16;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, platform::RegEnumValueW(m_key, 2, valueName, &nameLength, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryTest, DeletingKeysAndTrees)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, u"Parent\\Child\\Grandchild", &key));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"v", u"deep"));
    platform::RegCloseKey(key);
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(m_key, u"Parent", 0, KEY_ALL_ACCESS, &parent));
    ASSERT_EQ(ERROR_SUCCESS, SetString(parent, u"v", u"top"));

    // A key with sub-keys is refused; a leaf goes with its values.
    EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegDeleteKeyW(m_key, u"Parent"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegDeleteKeyExW(m_key, u"Parent\\Child", KEY_WOW64_64KEY, 0));
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteKeyW(m_key, u"parent\\child\\grandchild\\"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegDeleteKeyW(m_key, u"Parent\\Child\\Grandchild"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, platform::RegDeleteKeyW(m_key, nullptr));

    // A tree goes at once; handles into it report the key as deleted.
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, u"Parent\\Child\\Other\\Deeper", &key));
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteTreeW(m_key, u"Parent"));
    std::string bytes;
    EXPECT_EQ(ERROR_KEY_DELETED, Get(parent, u"v", bytes));
    EXPECT_EQ(ERROR_KEY_DELETED, SetString(parent, u"v", u"again"));
    EXPECT_EQ(ERROR_KEY_DELETED, SetString(key, u"v", u"again"));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, platform::RegCreateKeyW(key, u"New", &child));
    platform::RegCloseKey(key);
    platform::RegCloseKey(parent);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(m_key, u"Parent", 0, KEY_READ, &key));
    EXPECT_TRUE(SubKeys(m_key).empty());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegDeleteTreeW(m_key, u"Parent"));

    // A re-created key of the same name is a new key, not the old handle's.
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, u"Parent", &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Get(key, u"v", bytes));

    // With no sub-key name the tree call empties the key and keeps it.
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"v", u"value"));
    HKEY sub = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(key, u"Sub", &sub));
    platform::RegCloseKey(sub);
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteTreeW(key, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Get(key, u"v", bytes));
    EXPECT_TRUE(SubKeys(key).empty());
    // An empty sub-key name deletes the handle's own key.
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteKeyW(key, u""));
    platform::RegCloseKey(key);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(m_key, u"Parent", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegDeleteKeyW(HKEY_CURRENT_USER, u""));
}

TEST_F(RegistryTest, AccessRightsOfTheHandleAreEnforced)
{
    HKEY sub = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, u"Existing", &sub));
    platform::RegCloseKey(sub);
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"v", u"kept"));

    HKEY readOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CURRENT_USER, m_base, 0, KEY_READ, &readOnly));
    EXPECT_EQ(CString(u"kept"), GetString(readOnly, u"v"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetString(readOnly, u"v", u"changed"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegDeleteValueW(readOnly, u"v"));
    // Wine does not check the rights of a registry handle; Windows does.
    const bool rightsChecked = !testsupport::RunsUnderWine();
    if (rightsChecked) {
        EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegCreateKeyW(readOnly, u"New", &sub));
        // Emptying the handle's own key walks it: that needs DELETE,
        // KEY_ENUMERATE_SUB_KEYS and KEY_QUERY_VALUE.
        EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegDeleteTreeW(readOnly, nullptr));
        EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegSetKeyValueW(readOnly, nullptr, u"v", REG_SZ, u"x", 4));
    }
    // Deleting a key or a tree does not depend on the rights of the handle
    // it is named through.
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteKeyW(readOnly, u"Existing"));
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, u"Existing\\Below", &sub));
    platform::RegCloseKey(sub);
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteTreeW(readOnly, u"Existing"));
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, u"Existing", &sub));
    platform::RegCloseKey(sub);
    // An existing key opens through a read-only parent.
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyExW(readOnly, u"Existing", 0, nullptr, 0, KEY_WRITE, nullptr, &sub, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, SetString(sub, u"w", u"through a writable child"));
    platform::RegCloseKey(sub);
    platform::RegCloseKey(readOnly);
    EXPECT_EQ(CString(u"kept"), GetString(m_key, u"v"));

    HKEY queryOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(m_key, nullptr, 0, KEY_QUERY_VALUE, &queryOnly));
    char16_t name[64];
    DWORD length = 64;
    if (rightsChecked) {
        EXPECT_EQ(ERROR_ACCESS_DENIED,
                  platform::RegEnumKeyExW(queryOnly, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    }
    platform::RegCloseKey(queryOnly);
    HKEY setOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(m_key, nullptr, 0, KEY_SET_VALUE, &setOnly));
    std::string bytes;
    if (rightsChecked) {
        EXPECT_EQ(ERROR_ACCESS_DENIED, Get(setOnly, u"v", bytes));
    }
    platform::RegCloseKey(setOnly);

    if (rightsChecked) {
        EXPECT_EQ(ERROR_INVALID_PARAMETER,
                  platform::RegOpenKeyExW(m_key, nullptr, 0, KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY, &sub));
    }
#ifndef _WIN32
    // The store keeps every key: volatile keys (gone at the next start of
    // the system) are refused rather than kept for ever.
    EXPECT_EQ(ERROR_INVALID_PARAMETER, platform::RegCreateKeyExW(m_key, u"Volatile", 0, nullptr, 1, KEY_ALL_ACCESS,
                                                                 nullptr, &sub, nullptr));
#endif
}

TEST_F(RegistryTest, ThirtyTwoBitViewSeparatesClassRegistrationsOnly)
{
    if (testsupport::RunsUnderWine())
        GTEST_SKIP() << "Wine shares HKEY_CURRENT_USER\\Software\\Classes\\CLSID between the views; Windows "
                        "redirects the 32-bit view to Wow6432Node";
    const CString clsid = u"Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyExW(HKEY_CURRENT_USER, clsid, 0, nullptr, 0,
                                             KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, nullptr, u"32-bit server"));
    platform::RegCloseKey(key);

    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(HKEY_CURRENT_USER, clsid, 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(HKEY_CURRENT_USER, clsid, 0, KEY_READ | KEY_WOW64_64KEY, &key));
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CURRENT_USER,
                                           u"software\\classes\\Wow6432Node\\clsid\\{11111111-2222-3333-4444-555555555555}",
                                           0, KEY_READ, &key));
    EXPECT_EQ(CString(u"32-bit server"), GetString(key, nullptr));
    platform::RegCloseKey(key);
    // Relative opens stay in the view of their parent handle.
    HKEY classes = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              platform::RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Classes", 0, KEY_READ | KEY_WOW64_32KEY, &classes));
    EXPECT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(classes, u"CLSID\\{11111111-2222-3333-4444-555555555555}", 0, KEY_READ, &key));
    platform::RegCloseKey(key);
    platform::RegCloseKey(classes);

    // Everything else is shared between the views.
    HKEY other = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CURRENT_USER, m_base, 0, KEY_READ | KEY_WOW64_32KEY, &other));
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"shared", u"yes"));
    EXPECT_EQ(CString(u"yes"), GetString(other, u"shared"));
    platform::RegCloseKey(other);

    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteKeyExW(HKEY_CURRENT_USER, clsid, KEY_WOW64_32KEY, 0));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegDeleteKeyExW(HKEY_CURRENT_USER, clsid, KEY_WOW64_32KEY, 0));
}

TEST_F(RegistryTest, ClassesRootMergesUserClassesOverTheMachinePart)
{
#ifdef _WIN32
    GTEST_SKIP() << "pins the fixed machine part of the POSIX stand-in; on Windows HKEY_CLASSES_ROOT holds the "
                    "system's own registrations";
#endif
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{DC1C5A9C-E88A-4DDE-A5A1-60F82A20AEF7}");
    // The machine part names the system dialog module for both classes.
    for (const char16_t* path : {kOpenClsid, kSaveClsid}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key));
        EXPECT_EQ(CString(u"comdlg32.dll"), GetString(key, nullptr));
        EXPECT_EQ(CString(u"Apartment"), GetString(key, u"threadingmodel"));
        platform::RegCloseKey(key);
    }
    char16_t text[256];
    LONG size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegQueryValueW(HKEY_CLASSES_ROOT, kOpenClsid, text, &size));
    EXPECT_EQ(CString(u"comdlg32.dll"), CString(text));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\Nothing"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegDeleteKeyW(HKEY_CLASSES_ROOT, kOpenClsid));
    HKEY machine = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CLASSES_ROOT, kOpenClsid, 0, KEY_ALL_ACCESS, &machine));
    EXPECT_EQ(ERROR_ACCESS_DENIED, platform::RegDeleteValueW(machine, u"ThreadingModel"));

    // A user registration overrides the default value; the rest still shows.
    const CString userKey = CString(u"Software\\Classes\\") + kOpenClsid;
    const CString module = u"/opt/libveilshim64.so";
    ASSERT_EQ(ERROR_SUCCESS, platform::RegSetKeyValueW(HKEY_CURRENT_USER, userKey, nullptr, REG_SZ, module.GetString(),
                                             2 * module.GetLength() + 2));
    EXPECT_EQ(CString(u"/opt/libveilshim64.so"), GetString(machine, nullptr));
    EXPECT_EQ(CString(u"Apartment"), GetString(machine, u"ThreadingModel"));
    HKEY clsid = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &clsid));
    EXPECT_EQ((std::vector<CString>{u"{C0B4E2F3-BA21-4773-8DBA-335EC946EB8B}", u"{DC1C5A9C-E88A-4DDE-A5A1-60F82A20AEF7}"}),
              SubKeys(clsid));
    platform::RegCloseKey(clsid);

    // Writes through the merged view land in the user's classes.
    ASSERT_EQ(ERROR_SUCCESS, SetString(machine, u"Extra", u"user"));
    HKEY user = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CURRENT_USER, userKey, 0, KEY_READ, &user));
    EXPECT_EQ(CString(u"user"), GetString(user, u"Extra"));
    platform::RegCloseKey(user);
    HKEY ext = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(HKEY_CLASSES_ROOT, u".regtest", &ext));
    ASSERT_EQ(ERROR_SUCCESS, SetString(ext, nullptr, u"veilcase"));
    platform::RegCloseKey(ext);
    size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegQueryValueW(HKEY_CURRENT_USER, u"Software\\Classes\\.regtest", text, &size));
    EXPECT_EQ(CString(u"veilcase"), CString(text));
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteTreeW(HKEY_CLASSES_ROOT, u".regtest"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Classes\\.regtest", 0, KEY_READ, &ext));

    // Removing the user's registration brings the machine's back.
    EXPECT_EQ(ERROR_SUCCESS,
              platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{DC1C5A9C-E88A-4DDE-A5A1-60F82A20AEF7}"));
    EXPECT_EQ(CString(u"comdlg32.dll"), GetString(machine, nullptr));
    EXPECT_EQ(CString(u"<missing>"), GetString(machine, u"Extra"));
    platform::RegCloseKey(machine);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-0000-0000-0000-000000000000}", 0,
                                                  KEY_READ, &machine));
}

// The store of the POSIX realisation (a private SQLite file shared by the
// user's processes); Windows keeps the hive itself.
#ifndef _WIN32
TEST_F(RegistryTest, StoreIsPrivateToTheUser)
{
    std::string path = platform::RegistryStorePath().ToUtf8();
    auto config = testsupport::IsolatedRoot() / "home/.config/veilcase/registry.sqlite3";
    EXPECT_EQ(config.string(), path);
    platform::RegFlushKey(HKEY_CURRENT_USER);
    struct stat st {};
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    ASSERT_EQ(0, stat((path + "-wal").c_str(), &st));
    EXPECT_EQ(0u, st.st_mode & 077);
    ASSERT_EQ(0, stat(config.parent_path().c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
}

// Runs regclient with the arguments; returns its exit code.
pid_t StartClient(const std::vector<std::string>& args)
{
    std::string program = (testsupport::BinDir() / "regclient").string();
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copy(args);
    for (auto& arg : copy)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

int WaitClient(pid_t pid)
{
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST_F(RegistryTest, ConcurrentWritersFromSeveralProcessesLoseNothing)
{
    constexpr int ciCount = 1000;
    std::string key = m_base.ToUtf8() + "\\Shared";
    pid_t first = StartClient({"write", key, "first", std::to_string(ciCount)});
    pid_t second = StartClient({"write", key, "second", std::to_string(ciCount)});
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    // This process writes at the same time.
    HKEY shared = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(m_key, u"Shared", &shared));
    for (int i = 0; i < ciCount; ++i) {
        CString name;
        name.Format(u"own-%d", i);
        ASSERT_EQ(ERROR_SUCCESS, SetString(shared, name, name));
    }
    EXPECT_EQ(0, WaitClient(first));
    EXPECT_EQ(0, WaitClient(second));

    for (const char16_t* prefix : {u"first", u"second"}) {
        for (int i = 0; i < ciCount; ++i) {
            CString name;
            name.Format(u"%s-%d", prefix, i);
            DWORD value = 0, size = 4, type = 0;
            ASSERT_EQ(ERROR_SUCCESS,
                      platform::RegQueryValueExW(shared, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size))
                << name.ToUtf8();
            EXPECT_EQ(static_cast<DWORD>(i), value);
        }
    }
    for (int i = 0; i < ciCount; ++i) {
        CString name;
        name.Format(u"own-%d", i);
        EXPECT_EQ(name, GetString(shared, name));
    }
    EXPECT_EQ(2u * (ciCount / 10), SubKeys(shared).size());
    platform::RegCloseKey(shared);

    // The other process sees what this one wrote.
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"Greeting", u"grüß dich"));
    int pipeFds[2];
    ASSERT_EQ(0, pipe(pipeFds));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string program = (testsupport::BinDir() / "regclient").string();
    std::string mode = "read", path = m_base.ToUtf8(), value = "GREETING";
    char* argv[] = {program.data(), mode.data(), path.data(), value.data(), nullptr};
    pid_t reader = 0;
    ASSERT_EQ(0, posix_spawn(&reader, program.c_str(), &actions, nullptr, argv, environ));
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    EXPECT_EQ(0, WaitClient(reader));
    EXPECT_EQ("grüß dich", output);
}

TEST_F(RegistryTest, StoreOpensBelowLinkedFolders)
{
    // Configuration folders kept elsewhere and linked in (dotfile setups,
    // a home below a linked /home) must still hold the store.
    namespace fs = std::filesystem;
    testsupport::TempDir dir("linkedconfig");
    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "link");
    for (const char* config : {"link", "link/deeper/config"}) {
        testsupport::ScopedEnv env("XDG_CONFIG_HOME", (dir / config).string());
        EXPECT_EQ(0, WaitClient(StartClient({"write", m_base.ToUtf8(), "v", "1"}))) << config;
    }
    EXPECT_TRUE(fs::is_regular_file(dir / "real/veilcase/registry.sqlite3"));
    EXPECT_TRUE(fs::is_regular_file(dir / "real/deeper/config/veilcase/registry.sqlite3"));
}

TEST_F(RegistryTest, ForkedChildUsesItsOwnConnection)
{
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, u"Before", u"parent"));
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        HKEY key = nullptr;
        bool ok = platform::RegOpenKeyExW(HKEY_CURRENT_USER, m_base, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS &&
                  GetString(key, u"Before") == CString(u"parent") &&
                  SetString(key, u"FromChild", u"child") == ERROR_SUCCESS;
        _exit(ok ? 0 : 1);
    }
    EXPECT_EQ(0, WaitClient(child));
    EXPECT_EQ(CString(u"child"), GetString(m_key, u"FromChild"));
    EXPECT_EQ(ERROR_SUCCESS, SetString(m_key, u"After", u"parent"));
}

#endif

} // namespace
