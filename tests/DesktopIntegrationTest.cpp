// The registrations that tie the system into the desktop: the file
// association in the registry store and in the user's freedesktop files
// (checked with xdg-mime and gio in the isolated XDG tree), the dialog
// replacement, opening a file in its default application, and the first
// run's choice of gpg.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "Configuration.h"
#include "Directory.h"
#include "TestEnvironment.h"
#include "platform/FileAssociation.h"
#include "platform/FileSystem.h"
#include "platform/Module.h"
#include "platform/PrivateProfile.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/shell/ShellExecute.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

fs::path DataHome()
{
    return getenv("XDG_DATA_HOME");
}

fs::path ConfigHome()
{
    return getenv("XDG_CONFIG_HOME");
}

// Runs a shell command line and returns what it printed (standard output).
std::string Shell(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

CString DefaultFromList()
{
    CString value;
    GetPrivateProfileStringW(u"Default Applications", u"application/pgp-encrypted", u"", value,
                             CString::FromUtf8((ConfigHome() / "mimeapps.list").string()));
    return value;
}

void SetExtensionValue(const char16_t* key, const char16_t* value)
{
    platform::RegSetValueW(HKEY_CURRENT_USER, key, REG_SZ, value, 0);
}

std::string RecordedAfter(const fs::path& file, int timeoutMs = 10000)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (fs::exists(file) && fs::file_size(file) > 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fs::exists(file) ? ReadFile(file) : std::string();
}

class DesktopIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean()
    {
        CConfiguration::UnRegisterFileExtensions();
        fs::remove(ConfigHome() / "mimeapps.list");
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes");
    }
};

} // namespace

TEST_F(DesktopIntegrationTest, RegisteringMakesTheProgramTheDesktopsChoiceAndUnregisteringUndoesIt)
{
    // Somebody else's entry in the list stays untouched throughout.
    WriteFile(ConfigHome() / "mimeapps.list", "[Default Applications]\ntext/plain=editor.desktop;\n");
    EXPECT_EQ(CConfiguration::eNotRegistered, CConfiguration::GetFileExtensionRegistrationStatus());
    CConfiguration::RegisterFileExtensions(0);
    EXPECT_EQ(CConfiguration::eRegistered, CConfiguration::GetFileExtensionRegistrationStatus());

    // The registry store keeps the record the status is judged by.
    char16_t command[600] = {};
    LONG size = sizeof command;
    ASSERT_EQ(ERROR_SUCCESS, platform::RegQueryValueW(HKEY_CURRENT_USER, u"Software\\Classes\\veilcase\\shell\\open\\command",
                                                      command, &size));
    EXPECT_EQ(platform::ExecutablePath() + u" \"%1\"", CString(command));

    // The desktop names our entry, whose command runs this program with the file.
    EXPECT_EQ("veilcase.desktop\n", Shell("xdg-mime query default application/pgp-encrypted"));
    std::string entry = ReadFile(DataHome() / "applications" / "veilcase.desktop");
    EXPECT_NE(std::string::npos, entry.find("Exec=\"" + platform::ExecutablePath().ToUtf8() + "\" %f")) << entry;
    EXPECT_NE(std::string::npos, entry.find("MimeType=application/pgp-encrypted;"));
    // A binary encrypted file is the encrypted type by its name alone.
    WriteFile(DataHome() / "doc.txt.gpg", std::string("\x84\x5e\x03\x6f\x00\x01 binary", 12));
    EXPECT_NE(std::string::npos,
              Shell("gio info -a standard::content-type '" + (DataHome() / "doc.txt.gpg").string() + "'")
                  .find("application/pgp-encrypted"));

    CConfiguration::UnRegisterFileExtensions();
    EXPECT_EQ(CConfiguration::eNotRegistered, CConfiguration::GetFileExtensionRegistrationStatus());
    EXPECT_EQ(std::string::npos, Shell("xdg-mime query default application/pgp-encrypted").find("veilcase"));
    EXPECT_FALSE(fs::exists(DataHome() / "applications" / "veilcase.desktop"));
    EXPECT_FALSE(fs::exists(DataHome() / "mime" / "packages" / "veilcase.xml"));
    std::string list = ReadFile(ConfigHome() / "mimeapps.list");
    EXPECT_EQ(std::string::npos, list.find("veilcase")) << list;
    EXPECT_NE(std::string::npos, list.find("text/plain=editor.desktop;")) << list;
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\.gpg", &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\veilcase", &key));
}

TEST_F(DesktopIntegrationTest, GioOpenStartsTheRegisteredProgramWithTheFile)
{
    fs::path record = DataHome() / "record.txt";
    fs::remove(record);
    ScopedEnv file("VEILCASE_RECORD_FILE", record.string());
    ASSERT_TRUE(platform::RegisterFileAssociation(CString::FromUtf8((BinDir() / "recordargs").string())));
    fs::path encrypted = DataHome() / "with a blank name.pgp";
    // Binary packets that no magic rule knows: the name decides.
    WriteFile(encrypted, std::string("\x85\x02\x0c\x03\xff\x00 not sniffed", 19));

    std::string said = Shell("gio open '" + encrypted.string() + "' 2>&1");
    std::string recorded = RecordedAfter(record);
    EXPECT_NE(std::string::npos, recorded.find("\n" + encrypted.string() + "\n")) << recorded << said;

    platform::UnregisterFileAssociation();
    EXPECT_EQ(std::string::npos, Shell("gio mime application/pgp-encrypted 2>&1").find("Default application for "
                                                                                     "“application/pgp-encrypted”: "
                                                                                     "veilcase.desktop"));
}

TEST_F(DesktopIntegrationTest, AnotherProgramsAssociationIsForeignAndComesBackAfterAForcedOne)
{
    WriteFile(ConfigHome() / "mimeapps.list", "[Default Applications]\napplication/pgp-encrypted=kleopatra.desktop;\n");
    EXPECT_EQ(CConfiguration::eForeignRegistered, CConfiguration::GetFileExtensionRegistrationStatus());
    CConfiguration::RegisterFileExtensions(0);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\.gpg", &key));
    EXPECT_EQ(CString(u"kleopatra.desktop;"), DefaultFromList());

    CConfiguration::RegisterFileExtensions(1);
    EXPECT_EQ(CConfiguration::eRegistered, CConfiguration::GetFileExtensionRegistrationStatus());
    EXPECT_EQ(CString(u"veilcase.desktop;"), DefaultFromList());
    CConfiguration::RegisterFileExtensions(1); // again: the first replaced default is kept
    CConfiguration::UnRegisterFileExtensions();
    EXPECT_EQ(CString(u"kleopatra.desktop;"), DefaultFromList());
}

TEST_F(DesktopIntegrationTest, TheRegistryRecordIsJudgedExactly)
{
    // ".gpg" with an empty value counts as foreign; a forced registration
    // overwrites it, a plain one does not.
    SetExtensionValue(u"Software\\Classes\\.gpg", u"");
    SetExtensionValue(u"Software\\Classes\\.pgp", u"veilcase");
    EXPECT_EQ(CConfiguration::eForeignRegistered, CConfiguration::GetFileExtensionRegistrationStatus());
    SetExtensionValue(u"Software\\Classes\\.gpg", u"Veilcase");
    EXPECT_EQ(CConfiguration::eForeignRegistered, CConfiguration::GetFileExtensionRegistrationStatus());
    SetExtensionValue(u"Software\\Classes\\.gpg", u"veilcase");
    EXPECT_EQ(CConfiguration::eRegistered, CConfiguration::GetFileExtensionRegistrationStatus());
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\.pgp");
    platform::RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\.pgp");
    EXPECT_EQ(CConfiguration::eNotRegistered, CConfiguration::GetFileExtensionRegistrationStatus());
    // Unregistering removes both extension keys whatever they hold.
    SetExtensionValue(u"Software\\Classes\\.pgp", u"otherprogram");
    CConfiguration::UnRegisterFileExtensions();
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\.pgp", &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, platform::RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\.gpg", &key));
}

TEST_F(DesktopIntegrationTest, TheDialogReplacementIsOneCompleteRegistrationOfTheOwnLibrary)
{
    bool decided = false;
    EXPECT_EQ(CConfiguration::eNotRegistered, CConfiguration::GetDialogReplacementStatus(decided));
    EXPECT_EQ(CString(u"<not found>"), CConfiguration::GetRegisteredApp(true, true));
    EXPECT_FALSE(CConfiguration::UnregisterDLL(false, true)); // nothing there

    CConfiguration::RegisterDialogReplacement();
    CString expected = CDirectory::Concat(CDirectory::GetExePath(), u"veilshim64.dll");
    EXPECT_EQ(expected, CConfiguration::GetRegisteredApp(true, true));
    EXPECT_EQ(expected, CConfiguration::GetRegisteredApp(false, false)); // the own view is the 64-bit view
    EXPECT_EQ(CConfiguration::eRegistered, CConfiguration::GetDialogReplacementStatus(decided));
    EXPECT_TRUE(decided);

    CConfiguration::RegisterDLL(true, u"/opt/other/otherdialogs.dll");
    EXPECT_EQ(CConfiguration::eForeignRegistered, CConfiguration::GetDialogReplacementStatus(decided));
    CConfiguration::RegisterDLL(true, CString(u"/") + CString(u'x', 300) + u"/veilshim64.dll");
    EXPECT_EQ(CString(u"<not found>"), CConfiguration::GetRegisteredApp(true, true));

    EXPECT_TRUE(CConfiguration::UnregisterDLL(false, true));
    EXPECT_TRUE(CConfiguration::UnregisterDLL(false, false));
    EXPECT_EQ(CConfiguration::eNotRegistered, CConfiguration::GetDialogReplacementStatus(decided));
}

TEST_F(DesktopIntegrationTest, AFileOpensInItsDefaultApplicationWhoseProcessIsKnown)
{
    fs::path record = DataHome() / "opened.txt";
    fs::remove(record);
    ScopedEnv file("VEILCASE_RECORD_FILE", record.string());
    ScopedEnv stay("VEILCASE_RECORD_STAY", "3000");
    fs::create_directories(DataHome() / "applications");
    WriteFile(DataHome() / "applications" / "testeditor.desktop",
              "[Desktop Entry]\nType=Application\nName=Test Editor\nExec=" + (BinDir() / "recordargs").string() +
                  " %f\nMimeType=text/plain;\n");
    WriteFile(ConfigHome() / "mimeapps.list", "[Default Applications]\ntext/plain=testeditor.desktop;\n");
    fs::path document = DataHome() / "notes.txt";
    WriteFile(document, "plain text\n");

    platform::SShellOpenResult result;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), platform::ShellOpenFile(CString::FromUtf8(document.string()), result));
    EXPECT_EQ(CString(u"Test Editor"), result.application);
    ASSERT_FALSE(result.process.IsNull());
    std::string recorded = RecordedAfter(record);
    EXPECT_EQ("pid " + std::to_string(result.process.GetId()) + "\n" + document.string() + "\n", recorded);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), result.process.Wait(10000));

    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              platform::ShellOpenFile(CString::FromUtf8((DataHome() / "missing.txt").string()), result));
    fs::remove(ConfigHome() / "mimeapps.list");
    fs::remove(DataHome() / "applications" / "testeditor.desktop");
    WriteFile(DataHome() / "thing.veilcase-unknown-type", std::string("\x01\x02\x03", 3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_ASSOCIATION),
              platform::ShellOpenFile(CString::FromUtf8((DataHome() / "thing.veilcase-unknown-type").string()),
                                      result));
}

TEST_F(DesktopIntegrationTest, TheFirstRunTakesTheGpgOnThePathAndNeverReplacesASetting)
{
    TempDir bin("bin");
    fs::path gpg = bin / "gpg";
    WriteFile(gpg, "#!/bin/sh\nexit 0\n");
    fs::permissions(gpg, fs::perms::owner_all);
    fs::create_directory(bin / "empty");
    ScopedEnv path("PATH", "relative/bin:" + (bin / "empty").string() + ":" + bin.Str() + ":/usr/bin");

    platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Orvelin\\veilcase\\Configuration");
    CString configured;
    EXPECT_TRUE(CConfiguration::ConfigureGnuPGFromPath(configured));
    EXPECT_EQ(CString::FromUtf8(gpg.string()), configured);
    EXPECT_EQ(CString::FromUtf8(gpg.string()), CConfiguration::GetGnuPGPath());

    // A working setting stays as it is.
    CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
    EXPECT_FALSE(CConfiguration::ConfigureGnuPGFromPath(configured));
    EXPECT_EQ(CString(u"/usr/bin/gpg"), CConfiguration::GetGnuPGPath());
    // So does one that names no file (a program on a drive not mounted now):
    // the user fixes it in the settings, nothing replaces it behind their back.
    CConfiguration::SetGnuPGPath(u"/opt/gnupg/bin/gpg");
    EXPECT_FALSE(CConfiguration::ConfigureGnuPGFromPath(configured));
    EXPECT_EQ(CString(u"/opt/gnupg/bin/gpg"), configured);
    EXPECT_EQ(CString(u"/opt/gnupg/bin/gpg"), CConfiguration::GetGnuPGPathSetting());

    // A file that is not executable is no program.
    CConfiguration::SetGnuPGPath(u"");
    fs::permissions(gpg, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    ScopedEnv onlyBin("PATH", bin.Str());
    EXPECT_FALSE(CConfiguration::ConfigureGnuPGFromPath(configured));
    EXPECT_TRUE(configured.IsEmpty());
    CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
}
