// The system dialog module as applications get it: created through COM from
// the machine registration, shown for real (offscreen) and driven through
// the dialog framework's automation, with an event sink that records what
// the dialog raises and in which order.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "ComRules.h"
#include "TestEnvironment.h"
#include "platform/FileSystem.h"
#include "platform/Module.h"
#include "platform/SystemError.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ServerModule.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "platform/shell/FileDialogApi.h"
#include "platform/shell/dialog/FileDialogIds.h"

using platform::ComPtr;
using platform::gui::Automation;
using platform::gui::ModalDriver;
using testsupport::TempDir;
using testsupport::ToCString;
namespace ids = platform::filedialog;

namespace {

constexpr HRESULT kCancelled = HRESULT_FROM_WIN32(ERROR_CANCELLED);

CString NameOf(IShellItem* item, SIGDN form = SIGDN_NORMALDISPLAY)
{
    LPWSTR name = nullptr;
    if (!item || FAILED(item->GetDisplayName(form, &name)))
        return u"?";
    CString result(name);
    CoTaskMemFree(name);
    return result;
}

ComPtr<IShellItem> Item(const std::filesystem::path& path)
{
    ComPtr<IShellItem> item;
    EXPECT_EQ(SHCreateItemFromParsingName(ToCString(path), nullptr, IID_PPV_ARGS(item.Put())), S_OK) << path;
    return item;
}

// Where the suites leave the pictures of dialogs for people to look at.
CString ImagePath(const char* name)
{
    std::filesystem::path folder = testsupport::BinDir().parent_path() / "test-images";
    std::filesystem::create_directories(folder);
    return ToCString(folder / name);
}

// Records the events a dialog raises, as "Event argument", and answers as told.
class CRecordingSink : public platform::CComObjectBase<CRecordingSink, IFileDialogEvents, IFileDialogControlEvents> {
public:
    static ComPtr<CRecordingSink> Create() { return ComPtr<CRecordingSink>::Attach(new CRecordingSink); }

    void* FindInterface(REFIID riid)
    {
        if (riid == IID_IUnknown || riid == IID_IFileDialogEvents)
            return static_cast<IFileDialogEvents*>(this);
        if (riid == IID_IFileDialogControlEvents)
            return static_cast<IFileDialogControlEvents*>(this);
        return nullptr;
    }

    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog* pfd) override
    {
        ComPtr<IShellItem> result;
        pfd->GetResult(result.Put());
        Record(u"FileOk " + NameOf(result.Get()));
        return fileOk ? fileOk(pfd) : S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog*, IShellItem* psiFolder) override
    {
        Record(u"FolderChanging " + NameOf(psiFolder));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* pfd) override
    {
        ComPtr<IShellItem> folder;
        pfd->GetFolder(folder.Put());
        Record(u"FolderChange " + NameOf(folder.Get()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog* pfd) override
    {
        ComPtr<IShellItem> selection;
        pfd->GetCurrentSelection(selection.Put());
        Record(u"SelectionChange " + NameOf(selection.Get()));
        if (selectionChange)
            selectionChange(pfd);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog*, IShellItem*, FDE_SHAREVIOLATION_RESPONSE*) override
    {
        Record(u"ShareViolation");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog* pfd) override
    {
        UINT index = 0;
        pfd->GetFileTypeIndex(&index);
        CString text;
        text.Format(u"TypeChange %u", index);
        Record(text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog*, IShellItem* psi, FDE_OVERWRITE_RESPONSE* pResponse) override
    {
        Record(u"Overwrite " + NameOf(psi));
        *pResponse = overwrite;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnItemSelected(IFileDialogCustomize*, DWORD dwIDCtl, DWORD dwIDItem) override
    {
        CString text;
        text.Format(u"ItemSelected %u %u", dwIDCtl, dwIDItem);
        Record(text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnButtonClicked(IFileDialogCustomize*, DWORD dwIDCtl) override
    {
        CString text;
        text.Format(u"ButtonClicked %u", dwIDCtl);
        Record(text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCheckButtonToggled(IFileDialogCustomize* pfdc, DWORD dwIDCtl, BOOL bChecked) override
    {
        CString text;
        text.Format(u"CheckButtonToggled %u %d", dwIDCtl, bChecked);
        Record(text);
        if (checkToggled)
            checkToggled(pfdc, dwIDCtl, bChecked);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnControlActivating(IFileDialogCustomize*, DWORD dwIDCtl) override
    {
        CString text;
        text.Format(u"ControlActivating %u", dwIDCtl);
        Record(text);
        return S_OK;
    }

    std::vector<CString> Take() { return std::exchange(events, {}); }

    std::vector<CString> events;
    std::function<HRESULT(IFileDialog*)> fileOk;
    std::function<void(IFileDialog*)> selectionChange;
    std::function<void(IFileDialogCustomize*, DWORD, BOOL)> checkToggled;
    FDE_OVERWRITE_RESPONSE overwrite = FDEOR_DEFAULT;

private:
    void Record(const CString& event) { events.push_back(event); }
};

int Row(ModalDriver& d, const CString& name)
{
    for (int row = 0; row < d.ListRowCount(ids::kFileList); ++row)
        if (d.ListText(ids::kFileList, row, ids::kNameColumn) == name)
            return row;
    ADD_FAILURE() << "no row " << name;
    return -1;
}

const COMDLG_FILTERSPEC kTypes[] = {{u"Text files", u"*.txt"}, {u"Logs", u"*.log"}, {u"All files", u"*.*"}};

class FileDialogModuleTest : public ::testing::Test {
protected:
    FileDialogModuleTest() : dir("dialog")
    {
        std::filesystem::create_directory(dir / "sub");
        testsupport::WriteFile(dir / "a.txt", "alpha");
        testsupport::WriteFile(dir / "b.txt", "beta");
        testsupport::WriteFile(dir / "run.log", "log");
        testsupport::WriteFile(dir / "sub" / "inner.txt", "inner");
    }
    void SetUp() override
    {
        // The test's own GUI, as an application has one.
        ASSERT_TRUE(platform::gui::InitGui());
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        sink = CRecordingSink::Create();
    }
    void TearDown() override
    {
        sink.Reset();
        CoUninitialize();
        EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected().front();
        EXPECT_EQ(automation.PendingActions(), 0);
    }

    template <class T>
    ComPtr<T> Create(REFCLSID clsid)
    {
        ComPtr<T> dialog;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(dialog.Put())), S_OK);
        return dialog;
    }

    // A dialog in the test folder with the recording sink advised.
    template <class T>
    ComPtr<T> Prepare(REFCLSID clsid, DWORD& cookie)
    {
        ComPtr<T> dialog = Create<T>(clsid);
        if (dialog) {
            EXPECT_EQ(dialog->SetFolder(Item(dir.Path()).Get()), S_OK);
            EXPECT_EQ(dialog->Advise(sink.Get(), &cookie), S_OK);
        }
        return dialog;
    }

    TempDir dir;
    Automation automation;
    ComPtr<CRecordingSink> sink;
};

CString Path(IShellItem* item)
{
    return NameOf(item, SIGDN_FILESYSPATH);
}

} // namespace

TEST_F(FileDialogModuleTest, TheClassesComeFromTheSystemModuleAndKeepTheInterfaceRules)
{
    ComPtr<IFileOpenDialog> open = Create<IFileOpenDialog>(CLSID_FileOpenDialog);
    ASSERT_TRUE(open);
    EXPECT_NE(platform::FindLoadedModule(u"comdlg32.dll"), nullptr);
    testsupport::ExpectQueryInterfaceRules(open.Get(),
                                           {IID_IUnknown, IID_IModalWindow, IID_IFileDialog, IID_IFileOpenDialog,
                                            IID_IFileDialogCustomize, IID_IOleWindow, IID_IObjectWithSite},
                                           {IID_IFileSaveDialog, IID_IShellItem, IID_IClassFactory});
    ComPtr<IFileSaveDialog> save = Create<IFileSaveDialog>(CLSID_FileSaveDialog);
    ASSERT_TRUE(save);
    testsupport::ExpectQueryInterfaceRules(save.Get(),
                                           {IID_IUnknown, IID_IModalWindow, IID_IFileDialog, IID_IFileSaveDialog,
                                            IID_IFileDialogCustomize, IID_IOleWindow, IID_IObjectWithSite},
                                           {IID_IFileOpenDialog, IID_IShellItemArray});

    // The module's own entry: other classes are not served, aggregation not offered.
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
        platform::ModuleSymbol(platform::FindLoadedModule(u"comdlg32.dll"), "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_IFileDialog, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(CLSID_FileSaveDialog, IID_PPV_ARGS(factory.Put())), S_OK);
    EXPECT_EQ(factory->CreateInstance(open.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);

    // What a dialog answers before it was shown.
    FILEOPENDIALOGOPTIONS options = 0;
    ASSERT_EQ(open->GetOptions(&options), S_OK);
    EXPECT_EQ(options, FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST | FOS_NOCHANGEDIR);
    ASSERT_EQ(save->GetOptions(&options), S_OK);
    EXPECT_EQ(options, FOS_OVERWRITEPROMPT | FOS_NOREADONLYRETURN | FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR);
    ComPtr<IShellItem> item;
    EXPECT_EQ(open->GetResult(item.Put()), E_UNEXPECTED);
    ComPtr<IShellItemArray> items;
    EXPECT_EQ(open->GetResults(items.Put()), E_UNEXPECTED);
    UINT index = 9;
    ASSERT_EQ(open->GetFileTypeIndex(&index), S_OK);
    EXPECT_EQ(index, 0u) << "no file types yet";
    ASSERT_EQ(open->SetFileTypes(3, kTypes), S_OK);
    EXPECT_EQ(open->SetFileTypes(3, kTypes), E_UNEXPECTED);
    ASSERT_EQ(open->GetFileTypeIndex(&index), S_OK);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(open->SetFilter(nullptr), E_NOTIMPL);
    EXPECT_EQ(open->Close(S_OK), E_UNEXPECTED);
    HWND window = reinterpret_cast<HWND>(1);
    ComPtr<IOleWindow> oleWindow;
    ASSERT_EQ(open.As(oleWindow), S_OK);
    EXPECT_EQ(oleWindow->GetWindow(&window), E_FAIL);
    EXPECT_EQ(window, nullptr);
    ComPtr<IFileDialogCustomize> customize;
    ASSERT_EQ(open.As(customize), S_OK);
    EXPECT_EQ(customize->AddComboBox(5), S_OK);
    EXPECT_EQ(customize->RemoveAllControlItems(5), E_NOTIMPL);

    // Cookies: one per sink, each taken back once.
    DWORD first = 0, second = 0;
    ASSERT_EQ(open->Advise(sink.Get(), &first), S_OK);
    ASSERT_EQ(open->Advise(sink.Get(), &second), S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(open->Unadvise(first), S_OK);
    EXPECT_EQ(open->Unadvise(first), E_INVALIDARG);
    EXPECT_EQ(open->Unadvise(second), S_OK);
    EXPECT_EQ(open->Advise(nullptr, &first), E_INVALIDARG);

    // Unused, the module goes again.
    factory.Reset();
    open.Reset();
    save.Reset();
    oleWindow.Reset();
    customize.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(platform::FindLoadedModule(u"comdlg32.dll"), nullptr);
}

TEST_F(FileDialogModuleTest, OpenRaisesItsEventsInOrderAndGivesTheChosenFile)
{
    DWORD cookie = 0;
    ComPtr<IFileOpenDialog> dialog = Prepare<IFileOpenDialog>(CLSID_FileOpenDialog, cookie);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(dialog->SetFileTypes(3, kTypes), S_OK);
    ASSERT_EQ(dialog->SetTitle(u"Pick a text"), S_OK);
    ASSERT_EQ(dialog->SetOkButtonLabel(u"Take"), S_OK);
    ASSERT_EQ(dialog->SetFileNameLabel(u"Pick:"), S_OK);
    HWND shownWindow = nullptr;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Caption(), u"Pick a text");
        EXPECT_EQ(d.Text(ids::kOkButton), u"Take");
        EXPECT_EQ(d.Text(ids::kFileNameLabel), u"Pick:");
        EXPECT_EQ(d.ListRowCount(ids::kFileList), 3) << "sub, a.txt, b.txt";
        EXPECT_EQ(d.ListText(ids::kFileList, 0, ids::kTypeColumn), u"Folder");
        ComPtr<IOleWindow> oleWindow;
        dialog.As(oleWindow);
        EXPECT_EQ(oleWindow->GetWindow(&shownWindow), S_OK);
        EXPECT_EQ(shownWindow, d.Window());
        d.ListClick(ids::kFileList, Row(d, u"b.txt"), ids::kNameColumn);
        EXPECT_EQ(d.Text(ids::kFileNameEdit), u"b.txt");
        d.Click(IDOK);
    });
    EXPECT_EQ(dialog->Show(nullptr), S_OK);
    CString folder = NameOf(Item(dir.Path()).Get());
    EXPECT_EQ(sink->Take(), (std::vector<CString>{u"FolderChange " + folder, u"TypeChange 1",
                                                  u"SelectionChange b.txt", u"FileOk b.txt"}));
    ComPtr<IShellItem> result;
    ASSERT_EQ(dialog->GetResult(result.Put()), S_OK);
    EXPECT_EQ(Path(result.Get()), ToCString(dir / "b.txt"));
    LPWSTR name = nullptr;
    ASSERT_EQ(dialog->GetFileName(&name), S_OK);
    EXPECT_EQ(CString(name), u"b.txt");
    CoTaskMemFree(name);
    ComPtr<IShellItem> folderItem;
    ASSERT_EQ(dialog->GetFolder(folderItem.Put()), S_OK);
    EXPECT_EQ(Path(folderItem.Get()), ToCString(dir.Path()));
    EXPECT_EQ(dialog->Unadvise(cookie), S_OK);
}

TEST_F(FileDialogModuleTest, SeveralFilesCanBeOpenedAtOnce)
{
    DWORD cookie = 0;
    ComPtr<IFileOpenDialog> dialog = Prepare<IFileOpenDialog>(CLSID_FileOpenDialog, cookie);
    ASSERT_TRUE(dialog);
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    ASSERT_EQ(dialog->SetOptions(options | FOS_ALLOWMULTISELECT), S_OK);
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        d.Type(ids::kFileNameEdit, u"\"run.log\" \"a.txt\"");
        d.Click(IDOK);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    ComPtr<IShellItemArray> results;
    ASSERT_EQ(dialog->GetResults(results.Put()), S_OK);
    DWORD count = 0;
    ASSERT_EQ(results->GetCount(&count), S_OK);
    ASSERT_EQ(count, 2u);
    ComPtr<IShellItem> item;
    results->GetItemAt(0, item.Put());
    EXPECT_EQ(Path(item.Get()), ToCString(dir / "run.log"));
    results->GetItemAt(1, item.Put());
    EXPECT_EQ(Path(item.Get()), ToCString(dir / "a.txt"));
    ASSERT_EQ(dialog->GetResult(item.Put()), S_OK);
    EXPECT_EQ(Path(item.Get()), ToCString(dir / "run.log")) << "the first of several";
}

TEST_F(FileDialogModuleTest, TheUserNavigatesAndChoosesTypes)
{
    DWORD cookie = 0;
    ComPtr<IFileOpenDialog> dialog = Prepare<IFileOpenDialog>(CLSID_FileOpenDialog, cookie);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(dialog->SetFileTypes(3, kTypes), S_OK);
    ASSERT_EQ(dialog->SetFileTypeIndex(2), S_OK);
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.ComboSelection(ids::kTypeCombo), 1);
        EXPECT_EQ(d.ListRowCount(ids::kFileList), 2) << "sub, run.log";
        d.ChooseComboIndex(ids::kTypeCombo, 0);
        EXPECT_EQ(d.ListRowCount(ids::kFileList), 3) << "sub, a.txt, b.txt";
        d.ListDoubleClick(ids::kFileList, Row(d, u"sub"), ids::kNameColumn);
        EXPECT_EQ(d.ListRowCount(ids::kFileList), 1);
        EXPECT_EQ(d.ListText(ids::kFileList, 0, ids::kNameColumn), u"inner.txt");
        d.Click(ids::kUpButton);
        d.Type(ids::kFileNameEdit, u"sub");
        d.PressKey(VK_RETURN);
        d.Type(ids::kFileNameEdit, u"inner");
        d.Click(IDOK); // no such file: the user is told and the dialog stays
        d.Click(IDCANCEL);
    });
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.MessageText(), u"inner\nFile not found.\nCheck the file name and try again.");
        d.Answer(IDOK);
    });
    EXPECT_EQ(dialog->Show(nullptr), kCancelled);

    CString folder = NameOf(Item(dir.Path()).Get());
    EXPECT_EQ(sink->Take(), (std::vector<CString>{
                                u"FolderChange " + folder, u"TypeChange 2", u"TypeChange 1", u"SelectionChange sub",
                                u"FolderChanging sub", u"FolderChange sub", u"SelectionChange ?", u"FolderChanging " + folder, u"FolderChange " + folder,
                                u"FolderChanging sub", u"FolderChange sub"}));
    ComPtr<IShellItem> result;
    EXPECT_EQ(dialog->GetResult(result.Put()), E_UNEXPECTED) << "cancelled";
}

TEST_F(FileDialogModuleTest, AnApplicationKeepsTheDialogOpenWithSFalse)
{
    DWORD cookie = 0;
    ComPtr<IFileOpenDialog> dialog = Prepare<IFileOpenDialog>(CLSID_FileOpenDialog, cookie);
    ASSERT_TRUE(dialog);
    int refusals = 1;
    sink->fileOk = [&](IFileDialog*) { return refusals-- > 0 ? S_FALSE : S_OK; };
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        d.Type(ids::kFileNameEdit, u"a.txt");
        d.Click(IDOK);
        EXPECT_TRUE(d.IsVisible(IDOK)) << "still open";
        d.Type(ids::kFileNameEdit, u"b.txt");
        d.Click(IDOK);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    EXPECT_EQ(sink->Take(), (std::vector<CString>{u"FolderChange " + NameOf(Item(dir.Path()).Get()), u"FileOk a.txt",
                                                  u"FileOk b.txt"}));
    ComPtr<IShellItem> result;
    ASSERT_EQ(dialog->GetResult(result.Put()), S_OK);
    EXPECT_EQ(NameOf(result.Get()), u"b.txt");

    // Close from a handler ends Show with the handler's code; the application
    // may even drop its last reference meanwhile (Show keeps the object).
    IFileOpenDialog* raw = dialog.Detach();
    sink->fileOk = nullptr;
    sink->selectionChange = [&](IFileDialog* pfd) {
        pfd->Close(E_ABORT);
        raw->Release();
    };
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) { d.ListClick(ids::kFileList, Row(d, u"a.txt"), 0); });
    EXPECT_EQ(raw->Show(nullptr), E_ABORT);
}

TEST_F(FileDialogModuleTest, SavingOverAFileAsksUnlessTheApplicationAnswers)
{
    DWORD cookie = 0;
    ComPtr<IFileSaveDialog> dialog = Prepare<IFileSaveDialog>(CLSID_FileSaveDialog, cookie);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(dialog->SetFileTypes(3, kTypes), S_OK);
    ASSERT_EQ(dialog->SetDefaultExtension(u"txt"), S_OK);
    ASSERT_EQ(dialog->SetFileName(u"a"), S_OK);
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Caption(), u"Save As");
        EXPECT_EQ(d.Text(ids::kFileNameEdit), u"a");
        d.Click(IDOK); // a.txt exists: the question comes, "No" keeps the dialog open
        d.Type(ids::kFileNameEdit, u"fresh");
        d.Click(IDOK);
    });
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.MessageText(), u"a.txt already exists.\nDo you want to replace it?");
        d.Answer(IDNO);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    ComPtr<IShellItem> result;
    ASSERT_EQ(dialog->GetResult(result.Put()), S_OK);
    EXPECT_EQ(Path(result.Get()), ToCString(dir / "fresh.txt"));
    std::vector<CString> events = sink->Take();
    EXPECT_EQ(std::vector<CString>(events.begin() + 2, events.end()),
              (std::vector<CString>{u"Overwrite a.txt", u"FileOk fresh.txt"}));

    // An application that accepts the overwrite spares the user the question.
    sink->overwrite = FDEOR_ACCEPT;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        d.ChooseComboIndex(ids::kTypeCombo, 2);
        d.Type(ids::kFileNameEdit, u"run.log");
        d.Click(IDOK);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    ASSERT_EQ(dialog->GetResult(result.Put()), S_OK);
    EXPECT_EQ(Path(result.Get()), ToCString(dir / "run.log"));
    events = sink->Take();
    EXPECT_EQ(std::vector<CString>(events.end() - 2, events.end()),
              (std::vector<CString>{u"Overwrite run.log", u"FileOk run.log"}));
}

TEST_F(FileDialogModuleTest, AddedControlsShowAsAGroupAndReportTheUser)
{
    for (bool save : {false, true}) {
        DWORD cookie = 0;
        ComPtr<IFileDialog> dialog = Prepare<IFileDialog>(save ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, cookie);
        ASSERT_TRUE(dialog);
        ASSERT_EQ(dialog->SetFileTypes(3, kTypes), S_OK);
        ComPtr<IFileDialogCustomize> customize;
        ASSERT_EQ(dialog.As(customize), S_OK);
        ASSERT_EQ(customize->StartVisualGroup(4700, u"veilcase"), S_OK);
        ASSERT_EQ(customize->AddCheckButton(4711, u"Encrypt file after save", FALSE), S_OK);
        ASSERT_EQ(customize->AddSeparator(111), S_OK);
        ASSERT_EQ(customize->AddText(4712, u"<keys>"), S_OK);
        ASSERT_EQ(customize->EndVisualGroup(), S_OK);
        ASSERT_EQ(customize->AddComboBox(20), S_OK);
        ASSERT_EQ(customize->SetControlLabel(20, u"Encoding:"), S_OK);
        ASSERT_EQ(customize->AddControlItem(20, 1, u"UTF-8"), S_OK);
        ASSERT_EQ(customize->AddControlItem(20, 2, u"Latin-1"), S_OK);
        ASSERT_EQ(customize->SetSelectedControlItem(20, 1), S_OK);
        ASSERT_EQ(customize->AddPushButton(30, u"Details..."), S_OK);
        sink->checkToggled = [](IFileDialogCustomize* pfdc, DWORD, BOOL checked) {
            pfdc->SetControlLabel(4712, checked ? u"Alice Example\r\n(0x1234abcd)" : u"<keys>");
        };
        automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
            EXPECT_EQ(d.Text(4700), u"veilcase");
            EXPECT_EQ(d.Check(4711), BST_UNCHECKED);
            CRect list = d.Rect(ids::kFileList), group = d.Rect(4700), box = d.Rect(4711);
            EXPECT_GE(group.top, list.bottom) << "the group is under the file list";
            EXPECT_GT(box.top, group.top);
            EXPECT_LT(box.bottom, group.bottom) << "the check button is inside the group";
            EXPECT_EQ(d.ComboSelection(20), 0);
            d.Click(4711);
            EXPECT_EQ(d.Check(4711), BST_CHECKED);
            EXPECT_EQ(d.Text(4712), u"Alice Example\n(0x1234abcd)");
            d.ChooseComboIndex(20, 1);
            d.Click(30);
            d.Type(ids::kFileNameEdit, save ? u"new.txt" : u"a.txt");
            EXPECT_TRUE(d.SavePng(ImagePath(save ? "save-dialog.png" : "open-dialog.png")));
            d.Click(IDOK);
        });
        ASSERT_EQ(dialog->Show(nullptr), S_OK);
        std::vector<CString> events = sink->Take();
        EXPECT_EQ(std::vector<CString>(events.begin() + 2, events.end()),
                  (std::vector<CString>{u"CheckButtonToggled 4711 1", u"ItemSelected 20 2", u"ButtonClicked 30",
                                        save ? u"FileOk new.txt" : u"FileOk a.txt"}));
        BOOL checked = FALSE;
        ASSERT_EQ(customize->GetCheckButtonState(4711, &checked), S_OK);
        EXPECT_TRUE(checked) << "the state outlives the window";
        DWORD item = 0;
        ASSERT_EQ(customize->GetSelectedControlItem(20, &item), S_OK);
        EXPECT_EQ(item, 2u);
        EXPECT_EQ(dialog->Unadvise(cookie), S_OK);
    }
}

TEST_F(FileDialogModuleTest, AFolderDialogChoosesAFolder)
{
    DWORD cookie = 0;
    ComPtr<IFileOpenDialog> dialog = Prepare<IFileOpenDialog>(CLSID_FileOpenDialog, cookie);
    ASSERT_TRUE(dialog);
    ASSERT_EQ(dialog->SetOptions(FOS_PICKFOLDERS | FOS_PATHMUSTEXIST), S_OK);
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDOK), u"Select &Folder");
        EXPECT_EQ(d.ListRowCount(ids::kFileList), 1) << "folders only";
        d.ListClick(ids::kFileList, 0, 0);
        d.Click(IDOK);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    ComPtr<IShellItem> result;
    ASSERT_EQ(dialog->GetResult(result.Put()), S_OK);
    EXPECT_EQ(Path(result.Get()), ToCString(dir / "sub"));
}

TEST_F(FileDialogModuleTest, CancelGivesNoResult)
{
    DWORD cookie = 0;
    ComPtr<IFileSaveDialog> dialog = Prepare<IFileSaveDialog>(CLSID_FileSaveDialog, cookie);
    ASSERT_TRUE(dialog);
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        d.Type(ids::kFileNameEdit, u"never.txt");
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(dialog->Show(nullptr), kCancelled);
    ComPtr<IShellItem> result;
    EXPECT_EQ(dialog->GetResult(result.Put()), E_UNEXPECTED);
    EXPECT_EQ(result, nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir / "never.txt"));
}

TEST_F(FileDialogModuleTest, RadioButtonsEditBoxesAndStatesFollowBothSides)
{
    DWORD cookie = 0;
    ComPtr<IFileOpenDialog> dialog = Prepare<IFileOpenDialog>(CLSID_FileOpenDialog, cookie);
    ASSERT_TRUE(dialog);
    ComPtr<IFileDialogCustomize> customize;
    ASSERT_EQ(dialog.As(customize), S_OK);
    ASSERT_EQ(customize->AddRadioButtonList(40), S_OK);
    ASSERT_EQ(customize->AddControlItem(40, 1, u"Read only"), S_OK);
    ASSERT_EQ(customize->AddControlItem(40, 2, u"Writeable"), S_OK);
    ASSERT_EQ(customize->SetSelectedControlItem(40, 2), S_OK);
    ASSERT_EQ(customize->AddCheckButton(50, u"Show later", TRUE), S_OK);
    ASSERT_EQ(customize->AddEditBox(60, u"initial"), S_OK);
    ASSERT_EQ(customize->SetControlLabel(60, u"Note:"), S_OK);
    // Radio buttons and the edit box's label take spare ids, in order.
    const int readOnly = ids::kFirstSpareId, writeable = ids::kFirstSpareId + 1;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(readOnly), u"Read only");
        EXPECT_EQ(d.Check(writeable), BST_CHECKED);
        EXPECT_EQ(d.Check(50), BST_CHECKED);
        EXPECT_EQ(d.Text(60), u"initial");
        EXPECT_EQ(d.Text(ids::kFirstSpareId + 2), u"Note:");

        // What the application changes shows at once.
        customize->SetControlState(50, CDCS_VISIBLE);
        EXPECT_FALSE(d.IsEnabled(50));
        customize->SetControlState(50, CDCS_INACTIVE);
        EXPECT_FALSE(d.IsVisible(50));
        customize->SetControlItemText(40, 1, u"Read only (safe)");
        EXPECT_EQ(d.Text(readOnly), u"Read only (safe)");
        customize->SetEditBoxText(60, u"from the application");
        EXPECT_EQ(d.Text(60), u"from the application");

        // What the user does reaches the application.
        d.Click(readOnly);
        d.Type(60, u"from the user");
        d.Type(ids::kFileNameEdit, u"a.txt");
        d.Click(IDOK);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    std::vector<CString> events = sink->Take();
    EXPECT_EQ(std::vector<CString>(events.begin() + 1, events.end()),
              (std::vector<CString>{u"ItemSelected 40 1", u"FileOk a.txt"}));
    DWORD item = 0;
    ASSERT_EQ(customize->GetSelectedControlItem(40, &item), S_OK);
    EXPECT_EQ(item, 1u);
    WCHAR* text = nullptr;
    ASSERT_EQ(customize->GetEditBoxText(60, &text), S_OK);
    EXPECT_EQ(CString(text), u"from the user");
    CoTaskMemFree(text);
    CDCONTROLSTATEF state = CDCS_ENABLEDVISIBLE;
    ASSERT_EQ(customize->GetControlState(50, &state), S_OK);
    EXPECT_EQ(state, CDCS_INACTIVE);
}
