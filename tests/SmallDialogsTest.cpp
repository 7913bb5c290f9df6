// The dialogs that need no background program running: the missing public
// key question, the About box and the task details, on real widgets.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "Configuration.h"
#include "Encryption.h"
#include "GpgTestHome.h"
#include "TestEnvironment.h"
#include "app/AboutDialog.h"
#include "app/TaskDetailsDialog.h"
#include "dialoghook/MissingPublicKeyDialog.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "resources/resource.h"

using platform::gui::Automation;
using platform::gui::ModalDriver;

namespace {

class SmallDialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(platform::gui::InitGui()); }
    void TearDown() override { EXPECT_TRUE(automation.Unexpected().empty()); }
    Automation automation;
};

// Pictures for the people who look at the dialogs: build/test-images/<name>.png.
CString PicturePath(const char* name)
{
    const std::filesystem::path folder = testsupport::BinDir().parent_path() / "test-images";
    std::filesystem::create_directories(folder);
    return CString::FromUtf8((folder / name).string());
}

} // namespace

// ---- missing public keys -------------------------------------------------------------------

TEST_F(SmallDialogsTest, MissingPublicKeyReadOnlyWriteableAndCancel)
{
    {
        CMissingPublicKeyDialog dlg(nullptr);
        automation.OnDialog(IDD_MISSINGPUBLICKEY, [](ModalDriver& d) {
            EXPECT_EQ(d.Caption(), CString(u"veilcase"));
            EXPECT_TRUE(d.SavePng(PicturePath("missing-public-key.png")));
            d.Click(IDC_OPENREADONLY);
        });
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.GetOpenMode(), 0); // the same as a dialog never answered
    }
    {
        CMissingPublicKeyDialog dlg(nullptr);
        automation.OnDialog(IDD_MISSINGPUBLICKEY, [](ModalDriver& d) { d.PressKey(VK_RETURN); });
        EXPECT_EQ(dlg.DoModal(), IDOK); // Enter is "Open Writeable", the default button
        EXPECT_EQ(dlg.GetOpenMode(), 1);
    }
    {
        CMissingPublicKeyDialog dlg(nullptr);
        automation.OnDialog(IDD_MISSINGPUBLICKEY, [](ModalDriver& d) { d.PressKey(VK_ESCAPE); });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        CMissingPublicKeyDialog closed(nullptr);
        automation.OnDialog(IDD_MISSINGPUBLICKEY, [](ModalDriver& d) { d.Close(); });
        EXPECT_EQ(closed.DoModal(), IDCANCEL);
        EXPECT_EQ(closed.GetOpenMode(), 0);
    }
}

TEST_F(SmallDialogsTest, MissingPublicKeyDialogCarriesItsClassInformation)
{
    CMissingPublicKeyDialog dlg(nullptr);
    EXPECT_STREQ(dlg.GetRuntimeClass()->m_lpszClassName, "CMissingPublicKeyDialog");
    EXPECT_EQ(CMissingPublicKeyDialog::GetThisClass()->m_pBaseClass, RUNTIME_CLASS(CDialog));
    EXPECT_TRUE(dlg.IsKindOf(RUNTIME_CLASS(CDialog)));
    EXPECT_TRUE(dlg.IsKindOf(RUNTIME_CLASS(CWnd)));
}

// ---- About ----------------------------------------------------------------------------------

TEST_F(SmallDialogsTest, AboutShowsTheProductVersionUnderTheBanner)
{
    CAboutDialog dlg;
    automation.OnDialog(IDD_ABOUTBOX, [](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDC_VERSION), CString(u"Version: 1.0.0.145"));
        EXPECT_EQ(d.Caption(), CString(u"About veilcase"));
        EXPECT_TRUE(d.SavePng(PicturePath("about.png")));
        d.PressKey(VK_RETURN);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

// ---- task details -----------------------------------------------------------------------------

namespace {

CEncryptionTask MakeTask(const CString& path, const std::vector<ULONGLONG>& ids, LONGLONG created, LONGLONG completed)
{
    EXPECT_LT(path.GetLength() + 4, SEncryptionTask::ciPathLength);
    SEncryptionTask record{};
    record.version = SEncryptionTask::ciVersion;
    record.size = SEncryptionTask::ciSize;
    std::memcpy(record.filePath, path.GetString(), static_cast<size_t>(path.GetLength() + 1) * sizeof(char16_t));
    const CString encrypted = path + u".gpg";
    std::memcpy(record.encryptedFilePath, encrypted.GetString(),
                static_cast<size_t>(encrypted.GetLength() + 1) * sizeof(char16_t));
    for (size_t i = 0; i < ids.size(); ++i)
        record.keyIds[i] = ids[i];
    record.creationTime = created;
    record.completionTime = completed;
    return CEncryptionTask(record);
}

class TaskDetailsTest : public SmallDialogsTest {
protected:
    static void SetUpTestSuite()
    {
        SmallDialogsTest::SetUpTestSuite();
        home = &testsupport::GpgTestHome::Get();
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
        CConfiguration::SetGnuPGHomeDir(testsupport::ToCString(home->Home()));
    }
    static const testsupport::GpgTestHome* home;
};
const testsupport::GpgTestHome* TaskDetailsTest::home = nullptr;

} // namespace

TEST_F(TaskDetailsTest, AnUnfinishedTaskAndItsKeys)
{
    testsupport::ScopedEnv zone("TZ", "UTC");
    const CString path = u"/tmp/work/A1B2/100% report <final>.txt";
    const CEncryptionTask task = MakeTask(path, {home->Alice().keyIdValue, 0x1122334455667788ull, home->Bob().keyIdValue},
                                          1796624570 /* 07.12.2026 06:22:50 UTC */, 0);
    CTaskDetailsDialog dlg(task);
    automation.OnDialog(IDD_DETAILS, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDC_DETAILS_FILE), CString(u"Affected file: ") + path); // "%" and "<" as written
        EXPECT_EQ(d.Text(IDC_DETAILS_STATUS), CString(u"Status: Waiting for file"));
        EXPECT_EQ(d.Text(IDC_DETAILS_CREATED), CString(u"Task created: 07.12.2026 06:22:50"));
        EXPECT_EQ(d.Text(IDC_DETAILS_COMPLETED), CString(u"Task completed: not finished yet"));
        EXPECT_EQ(d.ListHeading(IDC_DETAILS_KEYS, 0), CString(u"KeyID"));
        EXPECT_EQ(d.ListHeading(IDC_DETAILS_KEYS, 1), CString(u"UserID"));
        // The unknown id has no row; the others keep the record's order.
        ASSERT_EQ(d.ListRowCount(IDC_DETAILS_KEYS), 2);
        EXPECT_EQ(d.ListText(IDC_DETAILS_KEYS, 0, 0), CString::FromUtf8(home->Alice().keyId.substr(8)));
        EXPECT_EQ(d.ListText(IDC_DETAILS_KEYS, 0, 1), CString::FromUtf8(home->Alice().userId));
        EXPECT_EQ(d.ListText(IDC_DETAILS_KEYS, 1, 1), CString::FromUtf8(home->Bob().userId));
        // The path label keeps the file name in sight when the path is long.
        EXPECT_NE(d.ShownText(IDC_DETAILS_FILE).Find(u"report <final>.txt"), -1);
        EXPECT_TRUE(d.SavePng(PicturePath("task-details.png")));
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(TaskDetailsTest, AFinishedTaskWhoseKeysAreAllUnknown)
{
    testsupport::ScopedEnv zone("TZ", "UTC");
    CString deep = u"/tmp/work";
    for (int i = 0; i < 8; ++i) // the record holds 259 units
        deep += u"/a-rather-long-folder-name";
    deep += u"/letter.odt";
    const CEncryptionTask task = MakeTask(deep, {0x1122334455667788ull}, 1796624570, 1796624600);
    CTaskDetailsDialog dlg(task);
    automation.OnDialog(IDD_DETAILS, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDC_DETAILS_COMPLETED), CString(u"Task completed: 07.12.2026 06:23:20"));
        EXPECT_EQ(d.ListRowCount(IDC_DETAILS_KEYS), 0);
        const CString shown = d.ShownText(IDC_DETAILS_FILE);
        EXPECT_NE(shown.Find(u"\u2026"), -1) << shown.ToUtf8(); // shortened in the middle
        EXPECT_NE(shown.Find(u"/letter.odt"), -1);
        EXPECT_EQ(shown.Left(15), CString(u"Affected file: "));
        d.PressKey(VK_ESCAPE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(CTaskDetailsDialog::FormatTime(CTime(-1LL << 60)), CString(u"unknown"));
}
