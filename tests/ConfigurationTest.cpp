#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "Configuration.h"
#include "Directory.h"
#include "OrvException.h"
#include "platform/Registry.h"
#include "TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

const char16_t* const kKey = u"Software\\Orvelin\\veilcase\\Configuration";

class ConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Orvelin");
        m_default = CDirectory::Concat(CDirectory::GetTempPathW(), u"veilcase").ToUtf8();
        ASSERT_FALSE(m_default.empty());
        std::error_code ec;
        fs::remove_all(m_default, ec);
    }
    void TearDown() override { platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Orvelin"); }

    // Runs `call` and returns the message id of the COrvException it
    // throws; 0 when it throws nothing.
    template <class F>
    static UINT ThrownId(F call)
    {
        try {
            call();
        } catch (COrvException* e) {
            UINT id = e->GetMessageId();
            e->Delete();
            return id;
        }
        return 0;
    }
    static LSTATUS Raw(const char16_t* name, DWORD& type, std::string& bytes)
    {
        HKEY key = nullptr;
        LSTATUS rc = platform::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key);
        if (rc != ERROR_SUCCESS)
            return rc;
        char buffer[1024];
        DWORD size = sizeof buffer;
        rc = platform::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        platform::RegCloseKey(key);
        if (rc == ERROR_SUCCESS)
            bytes.assign(buffer, size);
        return rc;
    }
    static void StoreRaw(const char16_t* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(ERROR_SUCCESS, platform::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, type, data, size));
    }
    static unsigned Mode(const std::string& path)
    {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
    }
    // Everything logged so far by this process.
    static std::string LogText()
    {
        std::string text;
        fs::path folder = testsupport::IsolatedRoot() / "home/.local/share/Orvelin/veilcase/LogFiles";
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec))
            text += testsupport::ReadFile(entry.path());
        return text;
    }

    std::string m_default;
};

TEST_F(ConfigurationTest, WithoutAnyConfigurationDefaultsApply)
{
    EXPECT_EQ(2002u, ThrownId([] { CConfiguration::GetGnuPGPath(); }));
    EXPECT_EQ(CString(), CConfiguration::GetGnuPGHomeDir());
    CString working = CConfiguration::GetWorkingDir(0);
    EXPECT_EQ(m_default, working.ToUtf8());
    EXPECT_NE(u'/', working[working.GetLength() - 1]);
    EXPECT_EQ(0700u, Mode(m_default));
    // Asking did not create the configuration key.
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key));
}

TEST_F(ConfigurationTest, GnuPGPathMustNameAnExistingFile)
{
    testsupport::TempDir dir("gpgpath");
    testsupport::WriteFile(dir / "gpg", "#!/bin/sh\n");
    CString file = CString::FromUtf8((dir / "gpg").string());
    CConfiguration::SetGnuPGPath(file);
    EXPECT_EQ(file, CConfiguration::GetGnuPGPath());
    DWORD type = 0;
    std::string bytes;
    ASSERT_EQ(ERROR_SUCCESS, Raw(u"OpenPGP_PathToExecutable", type, bytes));
    EXPECT_EQ(REG_EXPAND_SZ, type);
    EXPECT_EQ(static_cast<size_t>(2 * file.GetLength() + 2), bytes.size());

    // A folder, an empty path, a missing file and a missing value: 2004.
    CConfiguration::SetGnuPGPath(CString::FromUtf8(dir.Str()));
    EXPECT_EQ(2004u, ThrownId([] { CConfiguration::GetGnuPGPath(); }));
    CConfiguration::SetGnuPGPath(u"");
    EXPECT_EQ(2004u, ThrownId([] { CConfiguration::GetGnuPGPath(); }));
    ASSERT_EQ(ERROR_SUCCESS, Raw(u"OpenPGP_PathToExecutable", type, bytes));
    EXPECT_EQ(REG_EXPAND_SZ, type);
    EXPECT_EQ(std::string(2, '\0'), bytes);
    CConfiguration::SetGnuPGPath(file + u".missing");
    EXPECT_EQ(2004u, ThrownId([] { CConfiguration::GetGnuPGPath(); }));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key));
    EXPECT_EQ(ERROR_SUCCESS, platform::RegDeleteValueW(key, u"OpenPGP_PathToExecutable"));
    platform::RegCloseKey(key);
    EXPECT_EQ(2004u, ThrownId([] { CConfiguration::GetGnuPGPath(); }));

    // The path is used as stored: no %VARIABLE% expansion.
    setenv("VEILCASE_TEST_DIR", dir.Str().c_str(), 1);
    CConfiguration::SetGnuPGPath(u"%VEILCASE_TEST_DIR%/gpg");
    EXPECT_EQ(2004u, ThrownId([] { CConfiguration::GetGnuPGPath(); }));
}

TEST_F(ConfigurationTest, GnuPGHomeDirRoundTripsAndMayBeEmpty)
{
    CConfiguration::SetGnuPGHomeDir(u"/home/somebody/.gnupg");
    EXPECT_EQ(CString(u"/home/somebody/.gnupg"), CConfiguration::GetGnuPGHomeDir());
    DWORD type = 0;
    std::string bytes;
    ASSERT_EQ(ERROR_SUCCESS, Raw(u"OpenPGP_HomeDirectory", type, bytes));
    EXPECT_EQ(REG_EXPAND_SZ, type);
    EXPECT_EQ(2u * 21 + 2, bytes.size());
    CConfiguration::SetGnuPGHomeDir(u"");
    EXPECT_EQ(CString(), CConfiguration::GetGnuPGHomeDir());
    ASSERT_EQ(ERROR_SUCCESS, Raw(u"OpenPGP_HomeDirectory", type, bytes));
    EXPECT_EQ(2u, bytes.size());
}

TEST_F(ConfigurationTest, StoredWorkingDirIsUsedLiterallyAndCreatedPrivate)
{
    testsupport::TempDir dir("working");
    CString stored = CString::FromUtf8(dir.Str()) + u"/%HOME%";
    CConfiguration::SetWorkingDir(stored);
    DWORD type = 0;
    std::string bytes;
    ASSERT_EQ(ERROR_SUCCESS, Raw(u"GPGWorkingDir", type, bytes));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(static_cast<size_t>(2 * stored.GetLength() + 2), bytes.size());

    EXPECT_EQ(stored, CConfiguration::GetWorkingDir(0));
    EXPECT_EQ(0700u, Mode(stored.ToUtf8()));

    // Two unique folders: fresh upper-case UUID names, both made private.
    CString first = CConfiguration::GetWorkingDir(1);
    CString second = CConfiguration::GetWorkingDir(1);
    EXPECT_NE(first, second);
    // "XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX" in upper case, Y one of 8 9 A B.
    auto isUuid = [](const std::string& name) {
        if (name.size() != 36 || name[14] != '4' || std::string("89AB").find(name[19]) == std::string::npos)
            return false;
        for (size_t i = 0; i < name.size(); ++i) {
            bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            if (dash ? name[i] != '-' : std::string("0123456789ABCDEF").find(name[i]) == std::string::npos)
                return false;
        }
        return true;
    };
    for (const CString& unique : {first, second}) {
        fs::path path(unique.ToUtf8());
        EXPECT_EQ(stored.ToUtf8(), path.parent_path().string());
        EXPECT_TRUE(isUuid(path.filename().string())) << path;
        EXPECT_EQ(0700u, Mode(path.string()));
    }

    // An empty setting means the default.
    CConfiguration::SetWorkingDir(u"");
    ASSERT_EQ(ERROR_SUCCESS, Raw(u"GPGWorkingDir", type, bytes));
    EXPECT_EQ(2u, bytes.size());
    EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());
}

TEST_F(ConfigurationTest, MalformedWorkingDirValuesFallBackToTheDefault)
{
    testsupport::TempDir dir("malformed");
    chmod(dir.Str().c_str(), 0700);
    CString path = CString::FromUtf8(dir.Str());
    DWORD number = 7;
    StoreRaw(u"GPGWorkingDir", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());
    // Without its terminator, or with an odd byte count, the text does not count.
    StoreRaw(u"GPGWorkingDir", REG_SZ, path.GetString(), static_cast<DWORD>(2 * path.GetLength()));
    EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());
    StoreRaw(u"GPGWorkingDir", REG_SZ, path.GetString(), static_cast<DWORD>(2 * path.GetLength() + 1));
    EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());
    // Too long for 260 characters.
    CString tooLong = path + u"/" + CString(u'x', 300);
    CConfiguration::SetWorkingDir(tooLong);
    EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());
    // REG_EXPAND_SZ counts like REG_SZ.
    StoreRaw(u"GPGWorkingDir", REG_EXPAND_SZ, path.GetString(), static_cast<DWORD>(2 * path.GetLength() + 2));
    EXPECT_EQ(path, CConfiguration::GetWorkingDir(0));
}

TEST_F(ConfigurationTest, WorkingDirWhoseParentIsMissingIsLoggedAndStillReturned)
{
    testsupport::TempDir dir("parent");
    CString stored = CString::FromUtf8((dir / "missing/child").string());
    CConfiguration::SetWorkingDir(stored);
    EXPECT_EQ(stored, CConfiguration::GetWorkingDir(0));
    EXPECT_FALSE(fs::exists(stored.ToUtf8()));
    // A missing level is a missing path, as CreateDirectory says on Windows.
    EXPECT_NE(std::string::npos, LogText().find("Cannot create WorkingDir " + stored.ToUtf8() + ". ErrorCode " +
                                                std::to_string(ERROR_PATH_NOT_FOUND)));
    CString unique = CConfiguration::GetWorkingDir(1);
    EXPECT_EQ(stored.ToUtf8(), fs::path(unique.ToUtf8()).parent_path().string());
    EXPECT_FALSE(fs::exists(unique.ToUtf8()));
}

TEST_F(ConfigurationTest, WorkingDirOpenToOthersOrForeignIsRefused)
{
    testsupport::TempDir dir("shared");
    fs::path open = dir / "open";
    fs::create_directory(open);
    chmod(open.c_str(), 0755);
    CConfiguration::SetWorkingDir(CString::FromUtf8(open.string()));
    EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());
    CString unique = CConfiguration::GetWorkingDir(1);
    EXPECT_EQ(m_default, fs::path(unique.ToUtf8()).parent_path().string());
    EXPECT_EQ(0755u, Mode(open.string())); // the user's own folder is not changed behind their back
    EXPECT_NE(std::string::npos, LogText().find("WorkingDir " + open.string() + " is open to other users"));

    // A link to such a folder is judged by the folder.
    fs::create_directory_symlink(open, dir / "link");
    CConfiguration::SetWorkingDir(CString::FromUtf8((dir / "link").string()));
    EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());

    if (geteuid() == 0) {
        fs::path foreign = dir / "foreign";
        fs::create_directory(foreign);
        chmod(foreign.c_str(), 0700);
        ASSERT_EQ(0, chown(foreign.c_str(), 65534, 65534));
        CConfiguration::SetWorkingDir(CString::FromUtf8(foreign.string()));
        EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());
        EXPECT_NE(std::string::npos, LogText().find("WorkingDir " + foreign.string() + " belongs to another user"));
    }

    // The default folder is the user's own: one left open is closed up.
    CConfiguration::SetWorkingDir(u"");
    chmod(m_default.c_str(), 0777);
    EXPECT_EQ(m_default, CConfiguration::GetWorkingDir(0).ToUtf8());
    EXPECT_EQ(0700u, Mode(m_default));
}

} // namespace
