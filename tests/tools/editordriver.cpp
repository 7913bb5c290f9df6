// editordriver: runs the text editor as an ordinary application whose user
// is played by the dialog framework's automation, so that the end-to-end
// suite can let a real application process open, edit and save through the
// system's Open and Save dialogs and then end, as a user's would.
//   editordriver open <folder> <names> [<answer> [<text>]]
//       Opens the files (<names> as typed into the dialog's name box) from
//       <folder>; answers a question about missing public keys with
//       <answer> ("writeable", "readonly" or "-" for none expected); with
//       <text>, replaces the current document's text and saves it.
//   editordriver save-encrypted <folder> <name> <text> <png> <user id>...
//       Writes <text> into a new document and saves it as <name> in
//       <folder> with "Encrypt file after save" ticked and the keys of the
//       user ids chosen; the Save dialog is pictured in <png>.
//   editordriver open-saveas <folder> <name> <png>
//       Opens <name> from <folder>, then saves it with Save As, pictured in
//       <png>: reports what the Save dialog shows and confirms it as shown.
// Prints "doc <path>" for every document when the editor ends, the Save
// dialog's "name <text>", "folder <text>" and "checked <0|1>" where asked,
// and "fail <what>" for anything unexpected; exit code 0 when nothing was.
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "EncryptionTask.h"
#include "app/editor/EditorDlg.h"
#include "app/editor/resource.h"
#include "platform/FileSystem.h"
#include "platform/com/Com.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "platform/shell/dialog/FileDialogIds.h"
#include "resources/resource.h"

using platform::gui::Automation;
using platform::gui::ModalDriver;
namespace ids = platform::filedialog;

namespace {

int g_failures = 0;
const auto g_started = std::chrono::steady_clock::now();

void Fail(const std::string& what)
{
    std::printf("fail %s\n", what.c_str());
    ++g_failures;
}

CString Arg(char** argv, int i)
{
    return CString::FromUtf8(argv[i]);
}

// Goes to `folder` in a shown file dialog as a user typing its path.
void GoToFolder(ModalDriver& d, const CString& folder)
{
    d.Type(ids::kFileNameEdit, folder);
    d.PressKey(VK_RETURN);
}

// Exits the editor, as its user does, but never sooner than a person would:
// the background program takes an application that ends within moments of
// its start for a launcher that handed the file on to another program, and
// then waits for the user instead of for the application's end.
void Exit(ModalDriver& d)
{
    const auto spent = std::chrono::steady_clock::now() - g_started;
    const auto least = std::chrono::milliseconds(CEncryptionTask::ciHandOnMs + 500);
    if (spent < least)
        std::this_thread::sleep_for(least - spent);
    d.Click(IDCANCEL);
}

// The row of the key selection list that shows `userId`; -1 when none does.
int RowOf(ModalDriver& d, const CString& userId)
{
    for (int row = 0; row < d.ListRowCount(IDC_KEYLIST); ++row)
        if (d.ListText(IDC_KEYLIST, row, 1) == userId)
            return row;
    return -1;
}

void AnswerMissingKeys(Automation& automation, const std::string& answer)
{
    if (answer == "-")
        return;
    automation.OnDialog(IDD_MISSINGPUBLICKEY, [answer](ModalDriver& d) {
        d.Click(answer == "writeable" ? IDC_OPENWRITEABLE : answer == "readonly" ? IDC_OPENREADONLY : IDCANCEL);
    });
}

int Run(int argc, char** argv, Automation& automation)
{
    const std::string scenario = argc > 1 ? argv[1] : "";
    if (scenario == "open" && argc >= 4) {
        const CString folder = Arg(argv, 2), names = Arg(argv, 3);
        const std::string answer = argc > 4 ? argv[4] : "-";
        const bool edit = argc > 5;
        const CString text = edit ? Arg(argv, 5) : CString();
        automation.OnDialog(IDD_TEXTEDIT, [=](ModalDriver& d) {
            d.Click(IDC_OPEN);
            if (edit) {
                d.Type(IDC_TEXT, text);
                d.Click(IDC_SAVE);
            }
            Exit(d);
        });
        automation.OnDialog(ids::kTemplateId, [=](ModalDriver& d) {
            GoToFolder(d, folder);
            d.Type(ids::kFileNameEdit, names);
            d.Click(IDOK);
        });
        AnswerMissingKeys(automation, answer);
        return 0;
    }
    if (scenario == "save-encrypted" && argc >= 7) {
        const CString folder = Arg(argv, 2), name = Arg(argv, 3), text = Arg(argv, 4), png = Arg(argv, 5);
        std::vector<CString> userIds;
        for (int i = 6; i < argc; ++i)
            userIds.push_back(Arg(argv, i));
        automation.OnDialog(IDD_TEXTEDIT, [=](ModalDriver& d) {
            d.Type(IDC_TEXT, text);
            d.Click(IDC_SAVEAS);
            Exit(d);
        });
        automation.OnDialog(ids::kTemplateId, [=](ModalDriver& d) {
            GoToFolder(d, folder);
            d.Click(4711); // "Encrypt file after save": the key selection comes up
            if (d.Check(4711) != 1)
                Fail("the box is not ticked after choosing keys");
            if (!d.SavePng(png))
                Fail("no picture");
            d.Type(ids::kFileNameEdit, name);
            d.Click(IDOK);
        });
        automation.OnDialog(IDD_KEYSELECTION, [=](ModalDriver& d) {
            for (const CString& userId : userIds) {
                const int row = RowOf(d, userId);
                if (row < 0)
                    Fail("no row for " + userId.ToUtf8());
                else
                    d.ListClick(IDC_KEYLIST, row, 0);
            }
            d.Click(IDOK);
        });
        return 0;
    }
    if (scenario == "open-saveas" && argc >= 5) {
        const CString folder = Arg(argv, 2), name = Arg(argv, 3), png = Arg(argv, 4);
        automation.OnDialog(IDD_TEXTEDIT, [=](ModalDriver& d) {
            d.Click(IDC_OPEN);
            d.Type(IDC_TEXT, u"saved again");
            d.Click(IDC_SAVEAS);
            Exit(d);
        });
        automation.OnDialog(ids::kTemplateId, [=](ModalDriver& d) {
            GoToFolder(d, folder);
            d.Type(ids::kFileNameEdit, name);
            d.Click(IDOK);
        });
        automation.OnDialog(ids::kTemplateId, [=](ModalDriver& d) {
            std::printf("name %s\n", d.Text(ids::kFileNameEdit).ToUtf8().c_str());
            std::printf("folder %s\n", d.Text(ids::kFolderCombo).ToUtf8().c_str());
            std::printf("checked %d\n", d.Check(4711));
            if (!d.SavePng(png))
                Fail("no picture");
            d.Click(IDOK);
        });
        return 0;
    }
    std::fprintf(stderr, "usage: editordriver open|save-encrypted|open-saveas ...\n");
    return 2;
}

} // namespace

// LeakSanitizer (sanitizer builds) leaves alone what fontconfig keeps for
// the life of the process: its configuration, loaded once by Qt's font
// database, as the test suites do.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
    if (!platform::gui::InitGui()) {
        std::fprintf(stderr, "editordriver: no display\n");
        return 2;
    }
    CEditorDlg::RegisterResources();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    int result = 0;
    {
        Automation automation;
        result = Run(argc, argv, automation);
        if (result == 0) {
            CEditorDlg editor;
            if (editor.DoModal() == -1)
                Fail("the editor did not come up");
            for (const CTextDocument& document : editor.Documents())
                std::printf("doc %s\n", document.Path().ToUtf8().c_str());
            for (const CString& what : automation.Unexpected())
                Fail("unexpected " + what.ToUtf8());
            if (automation.PendingActions() != 0)
                Fail("actions left unused");
        }
    }
    CoUninitialize();
    std::fflush(stdout);
    return result != 0 ? result : g_failures == 0 ? 0 : 1;
}
