#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Configuration.h"
#include "platform/Registry.h"

#include <sqlite3.h>

namespace {

const CString kGroups = u"Software\\Orvelin\\veilcase\\Configuration\\Keygroups";

using KeyIds = CArrayEx<DWORD, const DWORD&>;
using Pieces = CArrayEx<CString, const CString&>;

KeyIds Ids(std::initializer_list<DWORD> values)
{
    KeyIds ids;
    for (DWORD v : values)
        ids.Add(v);
    return ids;
}

std::vector<DWORD> Vec(const KeyIds& ids)
{
    return std::vector<DWORD>(ids.begin(), ids.end());
}

std::vector<CString> Names()
{
    auto names = CConfiguration::GetKeyGroupNames();
    return std::vector<CString>(names.begin(), names.end());
}

// Pieces as the key selection dialog passes them: "," after all but the last.
Pieces Formatted(std::initializer_list<const char16_t*> ids)
{
    Pieces pieces;
    size_t i = 0;
    for (const char16_t* id : ids)
        pieces.Add(CString(id) + (++i < ids.size() ? u"," : u""));
    return pieces;
}

class KeyGroupsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Orvelin");
        CConfiguration::m_keyGroups.clear();
        CConfiguration::m_bKeyGroupsLoaded = 0;
    }
    void TearDown() override { platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Orvelin"); }

    // Writes a group's "Keys" text straight into the registry.
    static void StoreKeys(const CString& name, const CString& text)
    {
        ASSERT_EQ(ERROR_SUCCESS, platform::RegSetKeyValueW(HKEY_CURRENT_USER, kGroups + u"\\" + name, u"Keys", REG_SZ,
                                                 text.GetString(), static_cast<DWORD>(2 * text.GetLength() + 2)));
    }
    static CString StoredKeys(const CString& name, DWORD* bytes = nullptr)
    {
        char16_t buffer[4096] = {};
        DWORD size = sizeof buffer;
        HKEY key = nullptr;
        if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, kGroups + u"\\" + name, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return u"<no key>";
        LSTATUS rc = platform::RegQueryValueExW(key, u"Keys", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        platform::RegCloseKey(key);
        if (bytes)
            *bytes = size;
        return rc == ERROR_SUCCESS ? CString(buffer) : CString(u"<no value>");
    }
};

TEST_F(KeyGroupsTest, SavedGroupRoundTripsAndIsFoundByItsKeySet)
{
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"1234ABCD", u"00C0FFEE"}), u"Work"));
    DWORD bytes = 0;
    EXPECT_EQ(CString(u"1234ABCD,00C0FFEE"), StoredKeys(u"Work", &bytes));
    EXPECT_EQ(2u * 17 + 2, bytes);
    EXPECT_EQ((std::vector<DWORD>{0x1234ABCD, 0x00C0FFEE}), Vec(CConfiguration::GetKeyGroupKey(u"Work")));
    EXPECT_EQ(CString(u"Work"), CConfiguration::GetKeyGroupByKeyList(Ids({0x1234ABCD, 0x00C0FFEE})));
    EXPECT_EQ(CString(u"Work"), CConfiguration::GetKeyGroupByKeyList(Ids({0x00C0FFEE, 0x1234ABCD})));
    EXPECT_EQ(CString(), CConfiguration::GetKeyGroupByKeyList(Ids({0x00C0FFEE})));
    EXPECT_EQ(CString(), CConfiguration::GetKeyGroupByKeyList(Ids({0x00C0FFEE, 0x1234ABCD, 1})));
    EXPECT_TRUE(CConfiguration::GetKeyGroupKey(u"Other").IsEmpty());
    EXPECT_EQ(std::vector<CString>{CString(u"Work")}, Names());
}

TEST_F(KeyGroupsTest, StoredTextsAreReadLeniently)
{
    StoreKeys(u"lower", u"1234abcd,00c0ffee,");
    StoreKeys(u"single", u"DEADBEEF");
    StoreKeys(u"empty", u"");
    StoreKeys(u"odd", u"zz,123456789,-1, 0x1f,,7");
    HKEY bare = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegCreateKeyW(HKEY_CURRENT_USER, kGroups + u"\\bare", &bare));
    platform::RegCloseKey(bare);

    EXPECT_EQ((std::vector<DWORD>{0x1234ABCD, 0x00C0FFEE}), Vec(CConfiguration::GetKeyGroupKey(u"lower")));
    EXPECT_EQ(std::vector<DWORD>{0xDEADBEEF}, Vec(CConfiguration::GetKeyGroupKey(u"single")));
    EXPECT_TRUE(CConfiguration::GetKeyGroupKey(u"empty").IsEmpty());
    EXPECT_TRUE(CConfiguration::GetKeyGroupKey(u"bare").IsEmpty());
    // Not a number: 0; beyond 32 bits: all bits set; a sign and "0x" are
    // taken as wcstoul takes them; ",," leaves ",7" whole, which reads as 0.
    EXPECT_EQ((std::vector<DWORD>{0, 0xFFFFFFFF, 0xFFFFFFFF, 0x1F, 0}), Vec(CConfiguration::GetKeyGroupKey(u"odd")));
    EXPECT_EQ((std::vector<CString>{u"bare", u"empty", u"lower", u"odd", u"single"}), Names());
    // An empty key list finds an empty group (either of the two, always the same).
    CString emptyGroup = CConfiguration::GetKeyGroupByKeyList(KeyIds());
    EXPECT_TRUE(emptyGroup == u"bare" || emptyGroup == u"empty");
    EXPECT_EQ(emptyGroup, CConfiguration::GetKeyGroupByKeyList(KeyIds()));
}

TEST_F(KeyGroupsTest, SplittingTakesOnePieceAtATime)
{
    CString rest = u"AB,Cd,", token;
    ASSERT_TRUE(CConfiguration::splitKeyGroupKeys(rest, token));
    EXPECT_EQ(CString(u"ab"), token);
    EXPECT_EQ(CString(u"Cd,"), rest);
    ASSERT_TRUE(CConfiguration::splitKeyGroupKeys(rest, token));
    EXPECT_EQ(CString(u"cd"), token);
    EXPECT_EQ(CString(), rest);
    EXPECT_FALSE(CConfiguration::splitKeyGroupKeys(rest, token));
    EXPECT_EQ(CString(), token);
    rest = u",X,Y";
    ASSERT_TRUE(CConfiguration::splitKeyGroupKeys(rest, token));
    EXPECT_EQ(CString(u",x,y"), token);
    EXPECT_TRUE(rest.IsEmpty());
}

TEST_F(KeyGroupsTest, DuplicatesAndEqualGroups)
{
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"0000000A", u"0000000A"}), u"twice"));
    EXPECT_EQ(CString(u"twice"), CConfiguration::GetKeyGroupByKeyList(Ids({10, 10})));
    EXPECT_EQ(CString(), CConfiguration::GetKeyGroupByKeyList(Ids({10})));
    EXPECT_EQ(CString(), CConfiguration::GetKeyGroupByKeyList(Ids({10, 11})));

    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000001", u"00000002"}), u"first"));
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000002", u"00000001"}), u"second"));
    CString winner = CConfiguration::GetKeyGroupByKeyList(Ids({1, 2}));
    EXPECT_TRUE(winner == u"first" || winner == u"second");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(winner, CConfiguration::GetKeyGroupByKeyList(Ids({2, 1})));
}

TEST_F(KeyGroupsTest, RemovingAGroup)
{
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000001"}), u"keep"));
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000002"}), u"drop"));
    CConfiguration::RemoveGroupKeyConfig(u"DROP"); // registry names ignore case
    EXPECT_EQ(std::vector<CString>{CString(u"keep")}, Names());
    EXPECT_EQ(CString(u"<no key>"), StoredKeys(u"drop"));
    CConfiguration::RemoveGroupKeyConfig(u"never-existed");
    EXPECT_EQ(std::vector<CString>{CString(u"keep")}, Names());
    // The groups key itself is never removed through an empty name.
    CConfiguration::RemoveGroupKeyConfig(u"");
    CConfiguration::RemoveGroupKeyConfig(u"keep");
    EXPECT_TRUE(Names().empty());
    HKEY groups = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CURRENT_USER, kGroups, 0, KEY_READ, &groups));
    platform::RegCloseKey(groups);
    // A group removed from the registry behind the map's back disappears
    // at the next reload, even when the whole groups key is gone.
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000003"}), u"gone"));
    ASSERT_EQ(ERROR_SUCCESS, platform::RegDeleteTreeW(HKEY_CURRENT_USER, kGroups));
    CConfiguration::RemoveGroupKeyConfig(u"gone");
    EXPECT_TRUE(Names().empty());
}

TEST_F(KeyGroupsTest, NamesMatchTheRegistryWithoutCaseButTheMapWithCase)
{
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000001"}), u"Team"));
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000002"}), u"TEAM"));
    EXPECT_EQ(std::vector<CString>{CString(u"Team")}, Names());
    EXPECT_EQ(std::vector<DWORD>{2}, Vec(CConfiguration::GetKeyGroupKey(u"Team")));
    EXPECT_TRUE(CConfiguration::GetKeyGroupKey(u"TEAM").IsEmpty());
    EXPECT_EQ(CString(u"00000002"), StoredKeys(u"team"));
}

TEST_F(KeyGroupsTest, MapIsLoadedOnceAndReloadedBySaveAndRemove)
{
    // No groups key yet: nothing is loaded and the next reader tries again.
    EXPECT_TRUE(Names().empty());
    EXPECT_EQ(0, CConfiguration::m_bKeyGroupsLoaded);
    StoreKeys(u"external", u"00000005");
    EXPECT_EQ(std::vector<CString>{CString(u"external")}, Names());
    EXPECT_EQ(1, CConfiguration::m_bKeyGroupsLoaded);
    // Another process's change shows only after a reload.
    StoreKeys(u"later", u"00000006");
    EXPECT_EQ(std::vector<CString>{CString(u"external")}, Names());
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Pieces(), u"mine"));
    EXPECT_EQ((std::vector<CString>{u"external", u"later", u"mine"}), Names());
    EXPECT_EQ(CString(u""), StoredKeys(u"mine"));
}

TEST_F(KeyGroupsTest, NamesAndSizesAtTheLimits)
{
    // Every name the registry accepts is listed again, even 255 characters.
    CString longName(u'g', 255);
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000001"}), longName));
    EXPECT_EQ(std::vector<CString>{longName}, Names());
    EXPECT_FALSE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000001"}), CString(u'g', 256)));
    // A name that would make nested keys, or none at all, is refused.
    EXPECT_FALSE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000001"}), u"Work\\Team"));
    EXPECT_FALSE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00000001"}), u""));
    EXPECT_EQ(std::vector<CString>{longName}, Names());
    HKEY nested = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(HKEY_CURRENT_USER, kGroups + u"\\Work", 0, KEY_READ, &nested));

    // A large group survives whole.
    Pieces pieces;
    std::vector<DWORD> expected;
    for (DWORD i = 0; i < 400; ++i) {
        CString id;
        id.Format(u"%08X%s", 0xA0000000u + i, i + 1 < 400 ? u"," : u"");
        pieces.Add(id);
        expected.push_back(0xA0000000u + i);
    }
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(pieces, u"everyone"));
    EXPECT_EQ(expected, Vec(CConfiguration::GetKeyGroupKey(u"everyone")));
}

TEST_F(KeyGroupsTest, UnterminatedKeysOfAnOddSizeAreReadWithinTheirBytes)
{
    // Written by something else: no terminator and an odd byte count. Only
    // whole UTF-16 units count, and nothing past the value may be read.
    const char raw[] = "1\0002\000,\0003"; // "12," and a lone byte '3'
    ASSERT_EQ(ERROR_SUCCESS, platform::RegSetKeyValueW(HKEY_CURRENT_USER, kGroups + u"\\raw", u"Keys", REG_BINARY, raw, 7));
    EXPECT_EQ(std::vector<DWORD>{0x12}, Vec(CConfiguration::GetKeyGroupKey(u"raw")));
}

} // namespace

namespace {

// Makes every write of a "Keys" value fail inside the registry store, as a
// full disk or a damaged store would, while keys can still be created.
class RefusedKeysWrites {
public:
    RefusedKeysWrites()
    {
        const std::string path = platform::RegistryStorePath().ToUtf8();
        EXPECT_EQ(sqlite3_open(path.c_str(), &m_db), SQLITE_OK) << path;
        Exec("CREATE TRIGGER refuse_keys_insert BEFORE INSERT ON vals WHEN NEW.name = 'Keys'"
             " BEGIN SELECT RAISE(ABORT, 'refused'); END");
        Exec("CREATE TRIGGER refuse_keys_update BEFORE UPDATE ON vals WHEN NEW.name = 'Keys'"
             " BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
    ~RefusedKeysWrites()
    {
        Exec("DROP TRIGGER refuse_keys_insert");
        Exec("DROP TRIGGER refuse_keys_update");
        sqlite3_close(m_db);
    }

private:
    void Exec(const char* sql)
    {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(m_db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
    }
    sqlite3* m_db = nullptr;
};

} // namespace

TEST_F(KeyGroupsTest, AFailedWriteLeavesNoHalfWrittenGroupAndReportsTheFailure)
{
    ASSERT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"1234ABCD"}), u"Work"));
    {
        RefusedKeysWrites refused;
        // A new group: the key made for it goes again, so no empty group
        // (a selection nobody saved) appears.
        EXPECT_FALSE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00C0FFEE", u"1234ABCD"}), u"Friends"));
        EXPECT_EQ(StoredKeys(u"Friends"), CString(u"<no key>"));
        EXPECT_EQ(std::vector<CString>{CString(u"Work")}, Names());
        // An existing group keeps the keys it had, and the failure is told.
        EXPECT_FALSE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00C0FFEE"}), u"Work"));
        EXPECT_EQ(StoredKeys(u"Work"), CString(u"1234ABCD"));
        EXPECT_EQ(std::vector<DWORD>{0x1234ABCDu}, Vec(CConfiguration::GetKeyGroupKey(u"Work")));
    }
    EXPECT_TRUE(CConfiguration::SaveGroupKeyConfig(Formatted({u"00C0FFEE"}), u"Friends"));
}
