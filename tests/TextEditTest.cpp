// The text editor end to end: its window and the system's Open and Save
// dialogs (through COM, from the system dialog module) driven by the dialog
// framework's automation; and its documents, which never lose what a file
// held.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestEnvironment.h"
#include "app/editor/EditorDlg.h"
#include "app/editor/TextDocument.h"
#include "app/editor/resource.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "platform/com/Com.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "platform/shell/dialog/FileDialogIds.h"

using platform::gui::Automation;
using platform::gui::ModalDriver;
using testsupport::TempDir;
using testsupport::ToCString;
namespace ids = platform::filedialog;

namespace {

class TextEditTest : public ::testing::Test {
protected:
    TextEditTest() : dir("edit")
    {
        testsupport::WriteFile(dir / "one.txt", "first file\n");
        testsupport::WriteFile(dir / "two.txt", "second\r\nfile\r\n");
    }
    void SetUp() override
    {
        ASSERT_TRUE(platform::gui::InitGui());
        CEditorDlg::RegisterResources();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    }
    void TearDown() override
    {
        CoUninitialize();
        for (const CString& what : automation.Unexpected())
            ADD_FAILURE() << "unexpected: " << what;
        EXPECT_EQ(automation.PendingActions(), 0);
    }

    // Goes to the test folder in a file dialog, as a user typing its path.
    void GoToFolder(ModalDriver& d)
    {
        d.Type(ids::kFileNameEdit, ToCString(dir.Path()));
        d.PressKey(VK_RETURN);
        EXPECT_EQ(d.Text(ids::kFileNameEdit), u"");
    }

    TempDir dir;
    Automation automation;
};

} // namespace

TEST_F(TextEditTest, OpensTwoFilesEditsSavesUnderANewNameAndExits)
{
    CEditorDlg editor;
    automation.OnDialog(IDD_TEXTEDIT, [&](ModalDriver& d) {
        EXPECT_EQ(d.ComboCount(IDC_DOCUMENTS), 1);
        EXPECT_EQ(d.ComboEntry(IDC_DOCUMENTS, 0), u"Untitled");
        d.Click(IDC_OPEN);
        // Both files are open; the last one is shown.
        ASSERT_EQ(d.ComboCount(IDC_DOCUMENTS), 2);
        EXPECT_EQ(d.ComboEntry(IDC_DOCUMENTS, 0), u"one.txt");
        EXPECT_EQ(d.ComboEntry(IDC_DOCUMENTS, 1), u"two.txt");
        EXPECT_EQ(d.Text(IDC_TEXT), u"second\nfile\n");
        EXPECT_EQ(d.Text(IDC_PATH), ToCString(dir / "two.txt"));
        d.ChooseComboIndex(IDC_DOCUMENTS, 0);
        EXPECT_EQ(d.Text(IDC_TEXT), u"first file\n");

        d.Type(IDC_TEXT, u"first file, edited");
        EXPECT_EQ(d.ComboEntry(IDC_DOCUMENTS, 0), u"one.txt *");
        d.Click(IDC_SAVEAS);
        EXPECT_EQ(d.ComboEntry(IDC_DOCUMENTS, 0), u"renamed.txt");
        EXPECT_EQ(d.Text(IDC_PATH), ToCString(dir / "renamed.txt"));
        EXPECT_TRUE(d.SavePng(CString::FromUtf8(
            (testsupport::BinDir().parent_path() / "test-images" / "textedit.png").string())));
        d.Click(IDCANCEL); // Exit: nothing left unsaved, so no question
    });
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Caption(), u"Open");
        GoToFolder(d);
        EXPECT_EQ(d.ListRowCount(ids::kFileList), 2);
        d.Type(ids::kFileNameEdit, u"\"one.txt\" \"two.txt\"");
        d.Click(IDOK);
    });
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Caption(), u"Save As");
        EXPECT_EQ(d.Text(ids::kFileNameEdit), u"one.txt") << "the document's own name to start with";
        EXPECT_EQ(d.ListRowCount(ids::kFileList), 2) << "in the document's folder";
        d.Type(ids::kFileNameEdit, u"renamed");
        d.Click(IDOK);
    });
    std::filesystem::create_directories(testsupport::BinDir().parent_path() / "test-images");
    EXPECT_EQ(editor.DoModal(), IDCANCEL);

    EXPECT_EQ(testsupport::ReadFile(dir / "renamed.txt"), "first file, edited") << "saved with the default extension";
    EXPECT_EQ(testsupport::ReadFile(dir / "one.txt"), "first file\n") << "the original stays";
    EXPECT_EQ(testsupport::ReadFile(dir / "two.txt"), "second\r\nfile\r\n");
    // Each document kept its path while the editor ran.
    ASSERT_EQ(editor.Documents().size(), 2u);
    EXPECT_EQ(editor.Documents()[0].Path(), ToCString(dir / "renamed.txt"));
    EXPECT_EQ(editor.Documents()[1].Path(), ToCString(dir / "two.txt"));
}

TEST_F(TextEditTest, UnsavedChangesAreAskedForBeforeExit)
{
    CEditorDlg editor({ToCString(dir / "two.txt")});
    automation.OnDialog(IDD_TEXTEDIT, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDC_TEXT), u"second\nfile\n");
        d.Type(IDC_TEXT, u"second\nfile\nthird\n");
        d.Click(IDCANCEL); // "Cancel": the editor stays
        EXPECT_TRUE(d.IsVisible(IDC_TEXT));
        d.Click(IDCANCEL); // "Yes": saved to its path, then the editor ends
    });
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.MessageText(), u"Save the changes to two.txt?");
        d.Answer(IDCANCEL);
    });
    automation.AnswerMessageBox(IDYES);
    EXPECT_EQ(editor.DoModal(), IDCANCEL);
    EXPECT_EQ(testsupport::ReadFile(dir / "two.txt"), "second\r\nfile\r\nthird\r\n") << "its line breaks kept";
}

TEST_F(TextEditTest, AFileThatIsNoTextIsNotOpened)
{
    testsupport::WriteFile(dir / "binary.dat", std::string("a\0b", 3));
    testsupport::WriteFile(dir / "latin1.txt", "caf\xE9\n");
    CEditorDlg editor({ToCString(dir / "binary.dat"), ToCString(dir / "latin1.txt"), ToCString(dir / "one.txt")});
    automation.OnMessageBox([&](ModalDriver& d) {
        EXPECT_GE(d.MessageText().Find(ToCString(dir / "binary.dat")), 0);
        EXPECT_GE(d.MessageText().Find(ToCString(dir / "latin1.txt")), 0);
        EXPECT_GE(d.MessageText().Find(u"not UTF-8 text"), 0);
        d.Answer(IDOK);
    });
    automation.OnDialog(IDD_TEXTEDIT, [&](ModalDriver& d) {
        EXPECT_EQ(d.ComboCount(IDC_DOCUMENTS), 1);
        EXPECT_EQ(d.ComboEntry(IDC_DOCUMENTS, 0), u"one.txt");
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(editor.DoModal(), IDCANCEL);
}

TEST(TextDocumentTest, SavingReplacesTheFileWholeOrNotAtAll)
{
    TempDir dir("document");
    testsupport::WriteFile(dir / "a.txt", "one\r\ntwo\r\n");
    CTextDocument document;
    CString why;
    ASSERT_EQ(document.Load(ToCString(dir / "a.txt"), why), ERROR_SUCCESS) << why;
    EXPECT_EQ(document.Text(), u"one\ntwo\n");
    EXPECT_FALSE(document.IsModified());
    document.SetText(u"one\ntwo\nthree");
    EXPECT_TRUE(document.IsModified());
    ASSERT_EQ(document.SaveAs(ToCString(dir / "a.txt")), ERROR_SUCCESS);
    EXPECT_EQ(testsupport::ReadFile(dir / "a.txt"), "one\r\ntwo\r\nthree");
    EXPECT_FALSE(document.IsModified());

    // A target that cannot take the file: the error, the document's path as
    // it was, the target untouched and no temporary file left behind.
    std::filesystem::create_directory(dir / "folder");
    testsupport::WriteFile(dir / "folder" / "inside.txt", "kept");
    EXPECT_NE(document.SaveAs(ToCString(dir / "folder")), ERROR_SUCCESS);
    EXPECT_NE(document.SaveAs(ToCString(dir / "nowhere" / "b.txt")), ERROR_SUCCESS);
    EXPECT_EQ(document.Path(), ToCString(dir / "a.txt"));
    EXPECT_EQ(testsupport::ReadFile(dir / "folder" / "inside.txt"), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2) << "a.txt and the folder";

    EXPECT_NE(document.Load(ToCString(dir / "missing.txt"), why), ERROR_SUCCESS);
    EXPECT_FALSE(why.IsEmpty());
    EXPECT_EQ(document.Path(), ToCString(dir / "a.txt")) << "a failed load changes nothing";
}
