// The Open and Save dialog's decisions apart from its window: where it
// opens, what it lists, what the user's actions do, the checks before it
// closes, the events it raises in which order, and the model of the controls
// an application adds. The window here is a script: it records what the
// session asks it to show and answers the dialog's questions.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "TestEnvironment.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/SystemError.h"
#include "platform/shell/dialog/CustomControls.h"
#include "platform/shell/dialog/FileDialogSession.h"
#include "platform/shell/dialog/FileNameText.h"
#include "platform/shell/dialog/FileTypes.h"

using platform::CFileDialogSession;
using testsupport::TempDir;
using testsupport::ToCString;

namespace {

class CScriptedView : public CFileDialogSession::IView {
public:
    void ShowFolder() override { ++folderShown; }
    void ShowFileName() override { ++nameShown; }
    void ShowFileType() override { ++typeShown; }
    void ShowTexts() override { ++textsShown; }
    void ShowControl(DWORD id) override { controlsShown.push_back(id); }
    void EndDialog() override { ended = true; }
    int Ask(const CString& text, UINT type) override
    {
        questions.push_back(text);
        if (answers.empty())
            return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    int folderShown = 0, nameShown = 0, typeShown = 0, textsShown = 0;
    std::vector<DWORD> controlsShown;
    bool ended = false;
    std::vector<CString> questions;
    std::deque<int> answers;
};

// Records the events as the application sees them, and answers as told.
class CRecordingHost : public CFileDialogSession::IHost {
public:
    explicit CRecordingHost(CFileDialogSession& session) : m_session(session) {}

    HRESULT FolderChanging(const CString& folder) override
    {
        events.push_back(u"FolderChanging " + folder);
        return refuseFolder == folder ? E_ACCESSDENIED : S_OK;
    }
    void FolderChanged() override { events.push_back(u"FolderChange " + m_session.Folder()); }
    void SelectionChanged() override { events.push_back(u"SelectionChange"); }
    void TypeChanged() override
    {
        CString text;
        text.Format(u"TypeChange %u", m_session.FileTypeIndex());
        events.push_back(text);
    }
    FDE_OVERWRITE_RESPONSE Overwrite(const CString& path) override
    {
        events.push_back(u"Overwrite " + path);
        return overwrite;
    }
    HRESULT FileOk() override
    {
        CString text = u"FileOk";
        for (const CString& result : m_session.Results())
            text += u" " + result;
        events.push_back(text);
        if (onFileOk)
            onFileOk();
        if (refuseFileOk > 0) {
            --refuseFileOk;
            return S_FALSE;
        }
        return S_OK;
    }
    void CheckButtonToggled(DWORD id, bool checked) override
    {
        CString text;
        text.Format(u"CheckButtonToggled %u %d", id, checked ? 1 : 0);
        events.push_back(text);
    }
    void ButtonClicked(DWORD id) override
    {
        CString text;
        text.Format(u"ButtonClicked %u", id);
        events.push_back(text);
    }
    void ItemSelected(DWORD id, DWORD item) override
    {
        CString text;
        text.Format(u"ItemSelected %u %u", id, item);
        events.push_back(text);
    }
    void ControlActivating(DWORD id) override
    {
        CString text;
        text.Format(u"ControlActivating %u", id);
        events.push_back(text);
    }

    std::vector<CString> Take() { return std::exchange(events, {}); }

    std::vector<CString> events;
    CString refuseFolder;
    FDE_OVERWRITE_RESPONSE overwrite = FDEOR_DEFAULT;
    int refuseFileOk = 0;
    std::function<void()> onFileOk;

private:
    CFileDialogSession& m_session;
};

const COMDLG_FILTERSPEC kTypes[] = {{u"Text files", u"*.txt; *.text"}, {u"Logs", u"*.log"}, {u"All files", u"*.*"}};

// A session over a folder with a few files, shown in a scripted window.
class FileDialogSessionTest : public ::testing::Test {
protected:
    FileDialogSessionTest() : dir("session")
    {
        std::filesystem::create_directory(dir / "sub");
        std::filesystem::create_directory(dir / "Archive");
        testsupport::WriteFile(dir / "a.txt", "a");
        testsupport::WriteFile(dir / "B.TXT", "b");
        testsupport::WriteFile(dir / "notes.text", "n");
        testsupport::WriteFile(dir / "run.log", "r");
        testsupport::WriteFile(dir / ".hidden.txt", "h");
        folder = ToCString(dir.Path());
    }

    CString Path(const char* name) const { return ToCString(dir / name); }

    std::vector<CString> Names(const CFileDialogSession& session) const
    {
        std::vector<CString> names;
        for (const auto& entry : session.Listing())
            names.push_back(entry.name);
        return names;
    }

    // Shows `session` in `view`, opening in the test folder.
    void Show(CFileDialogSession& session, CScriptedView& view, CRecordingHost& host)
    {
        session.SetHost(&host);
        session.SetFolder(folder);
        session.Begin(&view);
        session.RaiseOpeningEvents();
    }

    TempDir dir;
    CString folder;
};

size_t IndexOf(const CFileDialogSession& session, const CString& name)
{
    for (size_t i = 0; i < session.Listing().size(); ++i)
        if (session.Listing()[i].name == name)
            return i;
    ADD_FAILURE() << "not listed: " << name;
    return 0;
}

} // namespace

TEST_F(FileDialogSessionTest, OpensWhereTheApplicationAndTheLastChoiceSay)
{
    TempDir other("other");
    CString otherFolder = ToCString(other.Path());
    const GUID client{0x11112222, 0x3333, 0x4444, {5, 5, 6, 6, 7, 7, 8, 8}};
    {
        // Without a folder of its own the dialog opens in the default folder.
        CFileDialogSession session(CFileDialogSession::eOpen);
        session.SetClientGuid(client);
        session.SetDefaultFolder(otherFolder);
        EXPECT_EQ(session.Folder(), otherFolder);
        CScriptedView view;
        session.Begin(&view);
        EXPECT_EQ(session.Folder(), otherFolder);
        // The user goes to the test folder and confirms a file there.
        ASSERT_TRUE(session.UserNavigate(folder));
        session.UserTypeName(u"a.txt");
        EXPECT_TRUE(session.UserConfirm());
        EXPECT_TRUE(view.ended);
        session.End();
        EXPECT_EQ(session.Folder(), folder) << "the folder shown last";
    }
    {
        // The next dialog of the same client opens where the user confirmed,
        // in spite of its default folder; a set folder wins over both.
        CFileDialogSession session(CFileDialogSession::eSave);
        session.SetClientGuid(client);
        session.SetDefaultFolder(otherFolder);
        EXPECT_EQ(session.Folder(), folder);
        session.SetFolder(otherFolder);
        EXPECT_EQ(session.Folder(), otherFolder);
    }
    {
        CFileDialogSession session(CFileDialogSession::eSave);
        session.SetClientGuid(client);
        session.ClearClientData();
        session.SetDefaultFolder(otherFolder);
        EXPECT_EQ(session.Folder(), otherFolder) << "the remembered folder is forgotten";
        session.SetDefaultFolder(ToCString(dir / "missing"));
        EXPECT_EQ(session.Folder(), ToCString(std::filesystem::current_path())) << "then the current folder";
    }
}

TEST_F(FileDialogSessionTest, ListsFoldersFirstAndTheFilesOfTheChosenType)
{
    CFileDialogSession session(CFileDialogSession::eOpen);
    ASSERT_EQ(session.SetFileTypes(3, kTypes), S_OK);
    EXPECT_EQ(session.SetFileTypes(3, kTypes), E_UNEXPECTED) << "types are set once";
    session.SetFileTypeIndex(7); // out of range: the first type is taken
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);
    EXPECT_EQ(host.Take(), (std::vector<CString>{u"FolderChange " + folder, u"TypeChange 1"}));
    EXPECT_EQ(Names(session), (std::vector<CString>{u"Archive", u"sub", u"a.txt", u"B.TXT", u"notes.text"}));

    session.UserChooseType(1);
    EXPECT_EQ(Names(session), (std::vector<CString>{u"Archive", u"sub", u"run.log"}));
    EXPECT_EQ(host.Take(), std::vector<CString>{u"TypeChange 2"});
    EXPECT_EQ(session.FileTypeIndex(), 2u);

    // A pattern typed into the name box filters instead, and stays open.
    session.UserTypeName(u"n*");
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_EQ(Names(session), (std::vector<CString>{u"Archive", u"sub", u"notes.text"}));
    EXPECT_EQ(session.TypedPattern(), u"n*");

    // Hidden files only when asked; a folder dialog lists folders only.
    session.SetFileTypeIndex(3);
    EXPECT_EQ(Names(session).size(), 6u);
    session.SetOptions(session.Options() | FOS_FORCESHOWHIDDEN);
    EXPECT_EQ(Names(session).size(), 7u);
    session.SetOptions(session.Options() | FOS_PICKFOLDERS);
    EXPECT_EQ(Names(session), (std::vector<CString>{u"Archive", u"sub"}));
    EXPECT_EQ(host.Take(), std::vector<CString>{u"TypeChange 3"}) << "a change of the type by the application";
}

TEST_F(FileDialogSessionTest, OpenChecksFilesAndTakesSeveralInOrder)
{
    CFileDialogSession session(CFileDialogSession::eOpen);
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);
    host.Take();

    session.UserTypeName(u"missing.txt");
    EXPECT_FALSE(session.UserConfirm());
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0], u"missing.txt\nFile not found.\nCheck the file name and try again.");
    session.UserTypeName(u"\"a.txt\" \"run.log\"");
    EXPECT_FALSE(session.UserConfirm()) << "several names need FOS_ALLOWMULTISELECT";
    EXPECT_TRUE(host.events.empty());

    session.SetOptions(session.Options() | FOS_ALLOWMULTISELECT);
    session.UserSelect({IndexOf(session, u"run.log"), IndexOf(session, u"a.txt")});
    EXPECT_EQ(session.FileNameText(), u"\"run.log\" \"a.txt\"");
    EXPECT_EQ(host.Take(), std::vector<CString>{u"SelectionChange"});
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(host.Take(), std::vector<CString>{u"FileOk " + Path("run.log") + u" " + Path("a.txt")});
    EXPECT_EQ(session.Results(), (std::vector<CString>{Path("run.log"), Path("a.txt")}));
    EXPECT_EQ(session.CloseResult(), S_OK);
}

TEST_F(FileDialogSessionTest, FoldersAreOpenedByNameByListAndByTheApplicationsLeave)
{
    CFileDialogSession session(CFileDialogSession::eOpen);
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);
    host.Take();

    session.UserTypeName(u"sub");
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_EQ(session.Folder(), Path("sub"));
    EXPECT_EQ(session.FileNameText(), u"");
    EXPECT_EQ(host.Take(), (std::vector<CString>{u"FolderChanging " + Path("sub"), u"FolderChange " + Path("sub")}));

    session.UserTypeName(u"..");
    session.UserConfirm();
    EXPECT_EQ(session.Folder(), folder);
    session.UserOpenEntry(IndexOf(session, u"Archive"));
    EXPECT_EQ(session.Folder(), Path("Archive"));
    EXPECT_TRUE(session.UserGoUp());
    host.Take();

    // The application may refuse a folder; the dialog stays where it is.
    host.refuseFolder = Path("sub");
    EXPECT_FALSE(session.UserNavigate(Path("sub")));
    EXPECT_EQ(session.Folder(), folder);
    EXPECT_EQ(host.Take(), std::vector<CString>{u"FolderChanging " + Path("sub")});

    // A folder that cannot be read is reported, not entered.
    EXPECT_FALSE(session.UserNavigate(Path("missing")));
    EXPECT_EQ(session.Folder(), folder);
    ASSERT_FALSE(view.questions.empty());
    EXPECT_EQ(view.questions.back().Left(Path("missing").GetLength()), Path("missing"));

    // Leaving a folder clears the selection, which the application hears of.
    session.UserSelect({IndexOf(session, u"a.txt")});
    host.Take();
    session.SetFolder(Path("sub"));
    EXPECT_EQ(host.Take(), (std::vector<CString>{u"FolderChange " + Path("sub"), u"SelectionChange"}));
}

TEST_F(FileDialogSessionTest, SaveAddsTheExtensionOfTheTypeOrTheDefault)
{
    CFileDialogSession session(CFileDialogSession::eSave);
    ASSERT_EQ(session.SetFileTypes(3, kTypes), S_OK);
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);

    // Without a default extension names stay as typed.
    session.UserTypeName(u"plain");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(session.Results(), std::vector<CString>{Path("plain")});
    session.End();

    session.SetDefaultExtension(u".md"); // given with its period: taken without
    EXPECT_EQ(session.DefaultExtension(), u"md");
    view.ended = false;
    session.Begin(&view);
    session.UserTypeName(u"report");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(session.Results(), std::vector<CString>{Path("report.txt")}) << "the type's extension first";
    session.End();

    session.Begin(&view);
    session.UserTypeName(u"report.txt");
    session.UserChooseType(1);
    EXPECT_EQ(session.FileNameText(), u"report.log") << "the name follows the type";
    session.UserChooseType(2);
    EXPECT_EQ(session.FileNameText(), u"report.log") << "\"*.*\" has no extension to give";
    session.UserTypeName(u"report");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(session.Results(), std::vector<CString>{Path("report.md")}) << "then the default extension";
    session.End();

    session.Begin(&view);
    session.UserTypeName(u"report.");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(session.Results(), std::vector<CString>{Path("report.")}) << "a final dot asks for no extension";
    session.End();

    session.SetOptions(session.Options() | FOS_STRICTFILETYPES);
    session.Begin(&view);
    session.UserTypeName(u"data.csv");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(session.Results(), std::vector<CString>{Path("data.csv.txt")}) << "strict types";
}

TEST_F(FileDialogSessionTest, ReplacingAFileAsksTheApplicationThenTheUser)
{
    CFileDialogSession session(CFileDialogSession::eSave);
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);
    host.Take();

    session.UserSelect({IndexOf(session, u"a.txt")});
    EXPECT_EQ(session.FileNameText(), u"a.txt");
    host.Take();
    view.answers = {IDNO};
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_EQ(view.questions, std::vector<CString>{u"a.txt already exists.\nDo you want to replace it?"});
    EXPECT_EQ(host.Take(), std::vector<CString>{u"Overwrite " + Path("a.txt")});

    host.overwrite = FDEOR_REFUSE;
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_EQ(view.questions.size(), 1u) << "a refusal asks nothing";
    host.overwrite = FDEOR_ACCEPT;
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(view.questions.size(), 1u) << "nor does an acceptance";
    EXPECT_EQ(host.Take(), (std::vector<CString>{u"Overwrite " + Path("a.txt"), u"Overwrite " + Path("a.txt"),
                                                 u"FileOk " + Path("a.txt")}));
    session.End();

    // Without the prompt option nothing is asked; a read-only file is refused.
    platform::SetAttributes(Path("B.TXT"), FILE_ATTRIBUTE_READONLY);
    session.SetOptions(FOS_NOREADONLYRETURN | FOS_PATHMUSTEXIST);
    session.Begin(&view);
    session.UserTypeName(u"B.TXT");
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_EQ(view.questions.back(), u"B.TXT\nThis file is set to read-only.\nTry again with a different file name.");
    session.UserTypeName(u"nothere/x.txt");
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_EQ(view.questions.back(), Path("nothere") + u"\nPath does not exist.\nCheck the path and try again.");
    platform::SetAttributes(Path("B.TXT"), 0);
}

TEST_F(FileDialogSessionTest, TheApplicationCanKeepTheDialogOpenOrCloseIt)
{
    CFileDialogSession session(CFileDialogSession::eOpen);
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);
    host.Take();

    host.refuseFileOk = 1;
    session.UserTypeName(u"a.txt");
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_FALSE(view.ended);
    EXPECT_TRUE(session.Results().empty()) << "a refused choice is no result";
    session.UserTypeName(u"run.log");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(host.Take(), (std::vector<CString>{u"FileOk " + Path("a.txt"), u"FileOk " + Path("run.log")}));
    session.End();

    // Close from a handler ends the dialog with the code given.
    view.ended = false;
    session.Begin(&view);
    host.onFileOk = [&] { session.Close(E_ABORT); };
    session.UserTypeName(u"a.txt");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(session.CloseResult(), E_ABORT);
    session.End();
    EXPECT_EQ(session.Close(S_OK), E_UNEXPECTED) << "not shown";

    session.Begin(&view);
    session.UserCancel();
    EXPECT_EQ(session.CloseResult(), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_TRUE(session.Results().empty());
}

TEST_F(FileDialogSessionTest, CreatePromptAndDefaultExtensionWhenOpening)
{
    CFileDialogSession session(CFileDialogSession::eOpen);
    session.SetOptions(FOS_CREATEPROMPT | FOS_PATHMUSTEXIST);
    session.SetDefaultExtension(u"log");
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);

    session.UserTypeName(u"run");
    EXPECT_TRUE(session.UserConfirm()) << "run.log exists";
    EXPECT_EQ(session.Results(), std::vector<CString>{Path("run.log")});
    session.End();

    session.Begin(&view);
    view.answers = {IDNO, IDYES};
    session.UserTypeName(u"new.txt");
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_EQ(view.questions.back(), u"new.txt\nThis file doesn't exist.\nCreate the file?");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(session.Results(), std::vector<CString>{Path("new.txt")});
}

TEST_F(FileDialogSessionTest, FolderDialogsChooseFolders)
{
    CFileDialogSession session(CFileDialogSession::eOpen);
    session.SetOptions(session.Options() | FOS_PICKFOLDERS);
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);

    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(session.Results(), std::vector<CString>{folder}) << "nothing chosen: the folder shown";
    session.End();

    session.Begin(&view);
    session.UserSelect({IndexOf(session, u"sub")});
    EXPECT_EQ(session.FileNameText(), u"sub");
    EXPECT_TRUE(session.UserConfirm());
    EXPECT_EQ(session.Results(), std::vector<CString>{Path("sub")});
    session.End();

    session.Begin(&view);
    session.UserTypeName(u"a.txt");
    EXPECT_FALSE(session.UserConfirm());
    EXPECT_EQ(view.questions.back(), u"a.txt\nThis is not a folder. Choose a folder.");
    session.UserOpenEntry(IndexOf(session, u"Archive"));
    EXPECT_EQ(session.Folder(), Path("Archive")) << "a double click opens a folder";
}

TEST_F(FileDialogSessionTest, ControlEventsFollowTheUser)
{
    CFileDialogSession session(CFileDialogSession::eSave);
    auto& controls = session.Controls();
    ASSERT_EQ(controls.StartVisualGroup(4700, u"veilcase"), S_OK);
    ASSERT_EQ(controls.AddCheckButton(4711, u"Encrypt file after save", false), S_OK);
    ASSERT_EQ(controls.EndVisualGroup(), S_OK);
    ASSERT_EQ(controls.AddComboBox(20), S_OK);
    ASSERT_EQ(controls.AddControlItem(20, 1, u"one"), S_OK);
    ASSERT_EQ(controls.AddControlItem(20, 2, u"two"), S_OK);
    ASSERT_EQ(controls.EnableOpenDropDown(30), S_OK);
    ASSERT_EQ(controls.AddControlItem(30, 7, u"Save as copy"), S_OK);
    CScriptedView view;
    CRecordingHost host(session);
    Show(session, view, host);
    host.Take();
    EXPECT_EQ(controls.AddPushButton(40, u"late"), E_UNEXPECTED) << "no controls while shown";

    session.UserToggleCheck(4711, true);
    bool checked = false;
    EXPECT_EQ(controls.GetCheckButtonState(4711, checked), S_OK);
    EXPECT_TRUE(checked);
    session.UserChooseItem(20, 2);
    DWORD item = 0;
    EXPECT_EQ(controls.GetSelectedControlItem(20, item), S_OK);
    EXPECT_EQ(item, 2u);
    session.UserTypeName(u"copy.txt");
    EXPECT_TRUE(session.UserChooseOpenItem(7));
    EXPECT_EQ(controls.GetSelectedControlItem(30, item), S_OK);
    EXPECT_EQ(item, 7u);
    EXPECT_EQ(host.Take(), (std::vector<CString>{u"CheckButtonToggled 4711 1", u"ItemSelected 20 2",
                                                 u"ItemSelected 30 7", u"FileOk " + Path("copy.txt")}));
    session.End();
    EXPECT_EQ(controls.AddPushButton(40, u"after"), S_OK);
}

TEST(CustomControlsTest, IdsItemsGroupsAndStatesFollowTheWindowsRules)
{
    platform::CCustomControls controls;
    std::vector<DWORD> changed;
    controls.SetListener([&](DWORD id) { changed.push_back(id); });

    ASSERT_EQ(controls.StartVisualGroup(1, u"Group"), S_OK);
    EXPECT_EQ(controls.StartVisualGroup(2, u"Nested"), E_UNEXPECTED);
    ASSERT_EQ(controls.AddText(3, u"<keys>"), S_OK);
    ASSERT_EQ(controls.AddSeparator(4), S_OK);
    ASSERT_EQ(controls.EndVisualGroup(), S_OK);
    EXPECT_EQ(controls.EndVisualGroup(), E_UNEXPECTED);
    EXPECT_EQ(controls.AddPushButton(3, u"again"), E_INVALIDARG) << "ids are unique";
    ASSERT_EQ(controls.AddRadioButtonList(5), S_OK);
    ASSERT_EQ(controls.AddEditBox(6, u"initial"), S_OK);
    ASSERT_EQ(controls.AddMenu(8, u"Menu"), S_OK);
    EXPECT_TRUE(controls.Find(3)->inGroup);
    EXPECT_EQ(controls.Find(3)->group, 1u);
    EXPECT_FALSE(controls.Find(5)->inGroup);

    // Items belong to lists, combos, menus and the drop-down only.
    EXPECT_EQ(controls.AddControlItem(3, 1, u"x"), E_INVALIDARG);
    ASSERT_EQ(controls.AddControlItem(5, 10, u"ten"), S_OK);
    ASSERT_EQ(controls.AddControlItem(5, 11, u"eleven"), S_OK);
    EXPECT_EQ(controls.AddControlItem(5, 10, u"again"), E_INVALIDARG);
    DWORD item = 0;
    EXPECT_EQ(controls.GetSelectedControlItem(5, item), E_FAIL) << "nothing selected yet";
    EXPECT_EQ(controls.SetSelectedControlItem(5, 12), E_INVALIDARG);
    ASSERT_EQ(controls.SetSelectedControlItem(5, 11), S_OK);
    ASSERT_EQ(controls.RemoveControlItem(5, 11), S_OK);
    EXPECT_EQ(controls.GetSelectedControlItem(5, item), E_FAIL) << "the selected item went";
    EXPECT_EQ(controls.SetSelectedControlItem(8, 1), E_INVALIDARG) << "a menu has no selection to set";
    ASSERT_EQ(controls.SetControlItemText(5, 10, u"TEN"), S_OK);
    EXPECT_EQ(controls.Find(5)->items[0].label, u"TEN");

    // Kinds are checked; states hold only the enabled and visible bits.
    bool checked = false;
    EXPECT_EQ(controls.GetCheckButtonState(6, checked), E_INVALIDARG);
    CString text;
    ASSERT_EQ(controls.GetEditBoxText(6, text), S_OK);
    EXPECT_EQ(text, u"initial");
    EXPECT_EQ(controls.SetControlState(3, 0x4), E_INVALIDARG);
    ASSERT_EQ(controls.SetControlState(3, CDCS_VISIBLE), S_OK);
    CDCONTROLSTATEF state = 0;
    ASSERT_EQ(controls.GetControlState(3, state), S_OK);
    EXPECT_EQ(state, CDCS_VISIBLE);
    EXPECT_EQ(controls.GetControlState(99, state), E_INVALIDARG);
    EXPECT_EQ(controls.MakeProminent(3), E_INVALIDARG) << "a text cannot be prominent";
    EXPECT_EQ(controls.MakeProminent(8), S_OK);
    EXPECT_EQ(controls.EnableOpenDropDown(9), S_OK);
    EXPECT_EQ(controls.EnableOpenDropDown(10), E_UNEXPECTED) << "one drop-down";

    // Every change an application makes is passed on to the window.
    ASSERT_EQ(controls.SetControlLabel(3, u"Alice\r\n(0x12345678)"), S_OK);
    EXPECT_EQ(changed, (std::vector<DWORD>{5, 5, 5, 5, 5, 3, 3}));
}

TEST(FileNameTextTest, NamesExtensionsAndPaths)
{
    using platform::CFileNameText;
    EXPECT_EQ(CFileNameText::Split(u"  report.txt "), std::vector<CString>{u"report.txt"});
    EXPECT_EQ(CFileNameText::Split(u"\"a b.txt\" junk \"c.txt\" \"\" \"open"),
              (std::vector<CString>{u"a b.txt", u"c.txt", u"open"}));
    EXPECT_TRUE(CFileNameText::Split(u"   ").empty());
    EXPECT_EQ(CFileNameText::Join({u"a b.txt", u"c.txt"}), u"\"a b.txt\" \"c.txt\"");
    EXPECT_EQ(CFileNameText::Join({u"a b.txt"}), u"a b.txt");

    EXPECT_EQ(CFileNameText::Extension(u"archive.tar.gz"), u"gz");
    EXPECT_EQ(CFileNameText::Extension(u".profile"), u"");
    EXPECT_EQ(CFileNameText::Extension(u"name."), u"");
    EXPECT_EQ(CFileNameText::Extension(u"dir.d/name"), u"");
    EXPECT_EQ(CFileNameText::ReplaceExtension(u"a.txt", u"log"), u"a.log");
    EXPECT_EQ(CFileNameText::ReplaceExtension(u"a", u"log"), u"a.log");

    EXPECT_EQ(CFileNameText::Resolve(u"/home/u", u"x.txt", u"/home/u"), u"/home/u/x.txt");
    EXPECT_EQ(CFileNameText::Resolve(u"/srv", u"~/x.txt", u"/home/u"), u"/home/u/x.txt");
    EXPECT_EQ(CFileNameText::Resolve(u"/srv/a", u"../b/./x.txt", u"/home/u"), u"/srv/b/x.txt");
    EXPECT_EQ(CFileNameText::Resolve(u"/srv", u"/etc//hosts", u"/home/u"), u"/etc/hosts");

    using platform::CFileTypes;
    EXPECT_EQ(CFileTypes::SplitPatterns(u" *.doc ;;*.docx;"), (std::vector<CString>{u"*.doc", u"*.docx"}));
    EXPECT_EQ(CFileTypes::PatternExtension(u"*.txt"), u"txt");
    EXPECT_EQ(CFileTypes::PatternExtension(u"*.*"), u"");
    EXPECT_EQ(CFileTypes::PatternExtension(u"*.t?t"), u"");
    EXPECT_EQ(CFileTypes::PatternExtension(u"*.tar.gz"), u"");
    CFileTypes types;
    EXPECT_EQ(types.Set(0, kTypes), E_INVALIDARG);
    const COMDLG_FILTERSPEC broken[] = {{u"x", nullptr}};
    EXPECT_EQ(types.Set(1, broken), E_INVALIDARG);
    ASSERT_EQ(types.Set(3, kTypes), S_OK);
    EXPECT_TRUE(types.Matches(0, u"A.TXT")) << "case is ignored";
    EXPECT_TRUE(types.Matches(0, u"x.text"));
    EXPECT_FALSE(types.Matches(0, u"x.txt.gpg"));
    EXPECT_TRUE(types.Matches(2, u"Makefile")) << "\"*.*\" takes names without a dot";
}
