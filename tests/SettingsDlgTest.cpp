// The settings dialog on real widgets: what it shows of the stored settings
// and registrations, the step-by-step OK with its three refusals, the
// replacement box's three states, the association question, and the browse
// buttons, which show the system dialog (driven like any other dialog).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "Configuration.h"
#include "TestEnvironment.h"
#include "dialoghook/SettingsDlg.h"
#include "platform/FileAssociation.h"
#include "platform/Registry.h"
#include "platform/Resources.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "platform/shell/dialog/FileDialogIds.h"
#include "resources/resource.h"

namespace fs = std::filesystem;
namespace ids = platform::filedialog;
using platform::gui::Automation;
using platform::gui::ModalDriver;
using namespace testsupport;

namespace {

CString Text(UINT id)
{
    CString text;
    platform::LoadResourceString(id, text);
    return text;
}

CString ImagePath(const char* name)
{
    fs::path folder = BinDir().parent_path() / "test-images";
    fs::create_directories(folder);
    return ToCString(folder / name);
}

// An executable regular file.
void MakeProgram(const fs::path& path)
{
    WriteFile(path, "#!/bin/sh\nexit 0\n");
    chmod(path.c_str(), 0755);
}

class SettingsDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform::gui::InitGui());
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes");
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Orvelin");
        CConfiguration::UnRegisterFileExtensions();
    }
    void TearDown() override
    {
        platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes");
        CConfiguration::UnRegisterFileExtensions();
    }

    TempDir m_root{"settings"};
};

} // namespace

TEST_F(SettingsDlgTest, OpensWithTheStoredSettingsAndRefusesAMissingProgram)
{
    CConfiguration::SetGnuPGHomeDir(ToCString(m_root.Path()));
    Automation automation;
    automation.OnDialog(IDD_SETTINGS, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDC_GPGPATH), u"") << "no program is stored";
        EXPECT_EQ(d.Text(IDC_HOMEDIR), ToCString(m_root.Path()));
        EXPECT_EQ(d.Text(IDC_DECRYPTDIR), CConfiguration::GetWorkingDir(0)) << "the default is shown";
        EXPECT_EQ(d.Check(IDC_REPLACEDIALOG), BST_UNCHECKED);
        EXPECT_EQ(d.Text(IDC_REGISTRATIONSTATUS), Text(IDS_DEFAULT_DIALOG_RUNNING));
        EXPECT_EQ(d.Check(IDC_ASSOCIATEFILES), BST_UNCHECKED);
        EXPECT_TRUE(d.SavePng(ImagePath("settings-dialog.png")));
        d.Click(IDOK);
        EXPECT_TRUE(d.IsVisible(IDOK)) << "still open after the refusal";
        d.Click(IDCANCEL);
    });
    automation.AnswerMessageBox(IDOK);
    CSettingsDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(automation.MessageBoxTexts(), std::vector<CString>{Text(IDS_GPG_EXE_INVALID)});
    EXPECT_TRUE(automation.Unexpected().empty());
}

TEST_F(SettingsDlgTest, OkStoresStepByStepAndStopsAtTheFirstRefusedValue)
{
    const fs::path program = m_root / "gpg";
    MakeProgram(program);
    WriteFile(m_root / "notes.txt", "not a program\n");
    const fs::path newWorking = m_root / "decrypted";
    ASSERT_FALSE(fs::exists(newWorking));

    Automation automation;
    automation.OnDialog(IDD_SETTINGS, [&](ModalDriver& d) {
        // The association is asked for and registered before the values are checked.
        d.Click(IDC_ASSOCIATEFILES);
        // A home folder whose parent is missing is refused ...
        d.Type(IDC_HOMEDIR, ToCString(m_root / "no" / "such"));
        d.Type(IDC_GPGPATH, ToCString(m_root / "notes.txt"));
        d.Click(IDOK);
        // ... then, with an empty home folder, the file that is not a program ...
        d.Type(IDC_HOMEDIR, u"");
        d.PressKey(VK_DELETE);
        EXPECT_EQ(d.Text(IDC_HOMEDIR), u"");
        d.Click(IDOK);
        // ... and a folder.
        d.Type(IDC_GPGPATH, ToCString(m_root.Path()));
        d.Click(IDOK);
        // A program, and a decryption folder whose parent exists, are taken.
        d.Type(IDC_GPGPATH, ToCString(program));
        d.Type(IDC_DECRYPTDIR, ToCString(newWorking));
        d.Click(IDOK);
    });
    automation.AnswerMessageBox(IDYES); // set veilcase as the default application
    automation.AnswerMessageBox(IDOK);  // 1019
    automation.AnswerMessageBox(IDOK);  // 1020
    automation.AnswerMessageBox(IDOK);  // 1020
    CSettingsDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(automation.MessageBoxTexts(),
              (std::vector<CString>{Text(IDS_CONFIRM_ASSOCIATION), Text(IDS_HOMEDIR_MISSING), Text(IDS_GPG_EXE_INVALID),
                                    Text(IDS_GPG_EXE_INVALID)}));
    EXPECT_TRUE(automation.Unexpected().empty());

    EXPECT_EQ(CConfiguration::GetFileExtensionRegistrationStatus(), CConfiguration::eRegistered);
    EXPECT_EQ(platform::QueryFileAssociation(), platform::EFileAssociation::eOurs);
    EXPECT_EQ(CConfiguration::GetGnuPGHomeDir(), u"") << "an empty home folder is stored as empty";
    EXPECT_EQ(CConfiguration::GetGnuPGPathSetting(), ToCString(program));
    EXPECT_TRUE(fs::is_directory(newWorking)) << "one missing level is created";
    EXPECT_EQ(CConfiguration::GetWorkingDir(0), ToCString(newWorking));
    EXPECT_FALSE(fs::exists(m_root / "no")) << "only one level is ever created";
}

TEST_F(SettingsDlgTest, TheReplacementBoxTogglesAndAForeignRegistrationIsOnlyReplacedOnRequest)
{
    Automation automation;
    // Normal configuration: clicks alternate between ticked and cleared.
    automation.OnDialog(IDD_SETTINGS, [&](ModalDriver& d) {
        d.Click(IDC_REPLACEDIALOG);
        EXPECT_EQ(d.Check(IDC_REPLACEDIALOG), BST_CHECKED);
        d.Click(IDC_REPLACEDIALOG);
        EXPECT_EQ(d.Check(IDC_REPLACEDIALOG), BST_UNCHECKED);
        d.Click(IDC_REPLACEDIALOG);
        EXPECT_EQ(d.Check(IDC_REPLACEDIALOG), BST_CHECKED);
        // No to the association question leaves its box cleared.
        d.Click(IDC_ASSOCIATEFILES);
        EXPECT_EQ(d.Check(IDC_ASSOCIATEFILES), BST_UNCHECKED);
        d.Click(IDCANCEL);
    });
    automation.AnswerMessageBox(IDNO);
    {
        CSettingsDlg dialog;
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    }
    EXPECT_EQ(CConfiguration::GetRegisteredApp(true, true), u"<not found>") << "Cancel changes nothing";

    // Another module in place of the dialogs: indeterminate, and the user is asked.
    const CString foreign = u"/opt/other/libshellext.so";
    CConfiguration::RegisterDLL(true, foreign);
    MakeProgram(m_root / "gpg");
    CConfiguration::SetGnuPGPath(ToCString(m_root / "gpg"));
    automation.OnDialog(IDD_SETTINGS, [&](ModalDriver& d) {
        EXPECT_EQ(d.Check(IDC_REPLACEDIALOG), BST_INDETERMINATE);
        EXPECT_EQ(d.Text(IDC_REGISTRATIONSTATUS), Text(IDS_UNKNOWN_DIALOG_REGISTERED));
        d.Click(IDC_REPLACEDIALOG); // No
        EXPECT_EQ(d.Check(IDC_REPLACEDIALOG), BST_INDETERMINATE);
        d.Click(IDOK);
    });
    automation.AnswerMessageBox(IDNO);
    {
        CSettingsDlg dialog;
        EXPECT_EQ(dialog.DoModal(), IDOK);
    }
    EXPECT_EQ(CConfiguration::GetRegisteredApp(true, true), foreign) << "left alone";

    automation.OnDialog(IDD_SETTINGS, [&](ModalDriver& d) {
        d.Click(IDC_REPLACEDIALOG); // Yes
        EXPECT_EQ(d.Check(IDC_REPLACEDIALOG), BST_CHECKED);
        d.Click(IDC_REPLACEDIALOG); // now it toggles freely
        EXPECT_EQ(d.Check(IDC_REPLACEDIALOG), BST_UNCHECKED);
        d.Click(IDC_REPLACEDIALOG);
        d.Click(IDOK);
    });
    automation.AnswerMessageBox(IDYES);
    {
        CSettingsDlg dialog;
        EXPECT_EQ(dialog.DoModal(), IDOK);
    }
    EXPECT_EQ(automation.MessageBoxTexts(),
              (std::vector<CString>{Text(IDS_CONFIRM_ASSOCIATION), Text(IDS_UNUSUAL_DIALOG_CONFIG),
                                    Text(IDS_UNUSUAL_DIALOG_CONFIG)}));
    bool decided = false;
    EXPECT_EQ(CConfiguration::GetDialogReplacementStatus(decided), CConfiguration::eRegistered);
    EXPECT_TRUE(automation.Unexpected().empty());
}

TEST_F(SettingsDlgTest, BrowsingShowsTheSystemDialogForTheProgramAndForFolders)
{
    const fs::path bin = m_root / "bin";
    fs::create_directories(bin / "sub");
    MakeProgram(bin / "gpg");
    MakeProgram(bin / "gpg2");
    MakeProgram(bin / "gpgsm");
    WriteFile(bin / "readme.txt", "x\n");
    CConfiguration::SetGnuPGPath(ToCString(bin / "gpg2"));
    const fs::path home = m_root / "gnupg-home";
    fs::create_directories(home);

    Automation automation;
    automation.OnDialog(IDD_SETTINGS, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDC_GPGPATH), ToCString(bin / "gpg2"));
        d.Click(IDC_BROWSEGPGPATH);
        EXPECT_EQ(d.Text(IDC_GPGPATH), ToCString(bin / "gpg"));
        d.Type(IDC_HOMEDIR, ToCString(m_root.Path()));
        d.Click(IDC_BROWSEHOMEDIR);
        EXPECT_EQ(d.Text(IDC_HOMEDIR), ToCString(home));
        // A cancelled browse leaves the box as it was.
        d.Click(IDC_BROWSEDECRYPTDIR);
        EXPECT_EQ(d.Text(IDC_DECRYPTDIR), CConfiguration::GetWorkingDir(0));
        d.Click(IDCANCEL);
    });
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        // It starts in the program's folder and lists only gpg and gpg2 beside the folders.
        EXPECT_EQ(d.ComboCount(ids::kTypeCombo), 1);
        EXPECT_EQ(d.ComboEntry(ids::kTypeCombo, 0).Find(u"GnuPG 2 (gpg;gpg2)"), 0) << d.ComboEntry(ids::kTypeCombo, 0).ToUtf8();
        std::vector<CString> names;
        for (int row = 0; row < d.ListRowCount(ids::kFileList); ++row)
            names.push_back(d.ListText(ids::kFileList, row, ids::kNameColumn));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<CString>{u"gpg", u"gpg2", u"sub"}));
        EXPECT_TRUE(d.SavePng(ImagePath("settings-browse-gnupg.png")));
        d.Type(ids::kFileNameEdit, u"gpg");
        d.Click(ids::kOkButton);
    });
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        d.Type(ids::kFileNameEdit, u"gnupg-home");
        d.Click(ids::kOkButton);
    });
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) { d.Click(ids::kCancelButton); });
    CSettingsDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(automation.Unexpected().empty());
    EXPECT_EQ(automation.PendingActions(), 0);
}

TEST(SettingsDlgRules, AValidGnuPGProgramIsAnExecutableRegularFile)
{
    TempDir root{"program"};
    MakeProgram(root / "gpg");
    WriteFile(root / "plain", "x\n");
    fs::create_directories(root / "folder");
    chmod((root / "folder").c_str(), 0755);
    EXPECT_TRUE(CSettingsDlg::IsValidGnuPGProgram(ToCString(root / "gpg")));
    EXPECT_FALSE(CSettingsDlg::IsValidGnuPGProgram(ToCString(root / "plain")));
    EXPECT_FALSE(CSettingsDlg::IsValidGnuPGProgram(ToCString(root / "folder")));
    EXPECT_FALSE(CSettingsDlg::IsValidGnuPGProgram(ToCString(root / "missing")));
    EXPECT_FALSE(CSettingsDlg::IsValidGnuPGProgram(u""));
}
