// The Open and Save dialog wrappers over the real system dialog module,
// driven headless through the dialog framework's automation on real
// widgets, with the real gpg and a task receiver window that takes the
// hand-off as the background program does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "ComRules.h"
#include "Configuration.h"
#include "Encryption.h"
#include "EncryptionTask.h"
#include "FileUtils.h"
#include "GpgTestHome.h"
#include "Ipc.h"
#include "OutsideKeyRing.h"
#include "TestEnvironment.h"
#include "dialoghook/VeilFileOpenDialogImpl.h"
#include "dialoghook/VeilFileSaveDialogImpl.h"
#include "platform/PrivateProfile.h"
#include "platform/Process.h"
#include "platform/Window.h"
#include "platform/com/ComPtr.h"
#include "platform/gui/Automation.h"
#include "platform/shell/FileDialogApi.h"
#include "platform/shell/dialog/FileDialogIds.h"
#include "resources/resource.h"

using platform::ComPtr;
using platform::gui::Automation;
using platform::gui::ModalDriver;
using testsupport::GpgTestHome;
using testsupport::TempDir;
using testsupport::ToCString;
namespace fs = std::filesystem;
namespace ids = platform::filedialog;

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

namespace {

// Takes tasks as the background program's window does and keeps them.
class CTaskReceiver {
public:
    CTaskReceiver()
    {
        auto result = m_window.Create(CIpc::cszWindowClass, CIpc::GetWindowTitle(),
                                      [this](WPARAM, const COPYDATASTRUCT& data) -> LRESULT {
                                          if (data.cbData != sizeof(SEncryptionTask))
                                              return 0;
                                          std::lock_guard<std::mutex> lock(m_lock);
                                          SEncryptionTask record;
                                          std::memcpy(&record, data.lpData, sizeof record);
                                          m_tasks.push_back(record);
                                          return 1;
                                      },
                                      [](std::function<void()> fn) { fn(); });
        EXPECT_EQ(result, platform::EWindowCreateResult::eCreated);
    }
    std::vector<SEncryptionTask> Tasks()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_tasks;
    }

private:
    platform::CFindableWindow m_window;
    std::mutex m_lock;
    std::vector<SEncryptionTask> m_tasks;
};

CString PathOf(IShellItem* item)
{
    LPWSTR name = nullptr;
    if (!item || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)))
        return CString();
    CString path(name);
    CoTaskMemFree(name);
    return path;
}

ComPtr<IShellItem> ItemFor(const fs::path& path)
{
    ComPtr<IShellItem> item;
    EXPECT_EQ(SHCreateItemFromParsingName(ToCString(path), nullptr, IID_IShellItem, item.PutVoid()), S_OK);
    return item;
}

template <class T>
ComPtr<T> CreateDialog(REFCLSID clsid)
{
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    ComPtr<T> dialog;
    EXPECT_EQ(factory->CreateInstance(nullptr, platform::InterfaceId<T>::Get(), dialog.PutVoid()), S_OK);
    return dialog;
}

CString RecordPath(const char16_t* field)
{
    return CString(field);
}

// An application's event sink that records what reaches it.
class CRecordingSink : public IFileDialogEvents {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IFileDialogEvents) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog* pfd) override
    {
        m_events.push_back("FileOk");
        m_dialogs.push_back(pfd);
        // What the application sees here is already the substituted result.
        ComPtr<IShellItem> item;
        if (SUCCEEDED(pfd->GetResult(item.Put())))
            m_resultAtFileOk = PathOf(item.Get());
        return E_FAIL; // ignored
    }
    HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog* pfd, IShellItem*) override { return Note("FolderChanging", pfd); }
    HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* pfd) override { return Note("FolderChange", pfd); }
    HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog* pfd) override { return Note("SelectionChange", pfd); }
    HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog* pfd, IShellItem*, FDE_SHAREVIOLATION_RESPONSE*) override
    {
        return Note("ShareViolation", pfd);
    }
    HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog* pfd) override { return Note("TypeChange", pfd); }
    HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog* pfd, IShellItem*, FDE_OVERWRITE_RESPONSE*) override
    {
        return Note("Overwrite", pfd);
    }

    ULONG m_refs = 1;
    std::vector<std::string> m_events;
    std::vector<IFileDialog*> m_dialogs;
    CString m_resultAtFileOk;

private:
    HRESULT Note(const char* name, IFileDialog* pfd)
    {
        m_events.push_back(name);
        m_dialogs.push_back(pfd);
        return E_FAIL; // ignored
    }
};

// Where the pictures of the dialogs go for people to look at.
fs::path ImagePath(const std::string& name)
{
    const fs::path folder = testsupport::BinDir().parent_path() / "test-images";
    fs::create_directories(folder);
    return folder / name;
}

enum EMissingKeysAnswer { eCancel, eReadOnly, eWriteable };

// Answers the question about missing public keys.
void AnswerMissingKeys(Automation& automation, EMissingKeysAnswer answer)
{
    automation.OnDialog(IDD_MISSINGPUBLICKEY, [answer](ModalDriver& d) {
        d.SavePng(ToCString(ImagePath("open-dialog-missing-public-keys.png")));
        d.Click(answer == eCancel ? IDCANCEL : answer == eReadOnly ? IDC_OPENREADONLY : IDC_OPENWRITEABLE);
    });
}

// The row of the key selection list that shows `key`; -1 when none does.
int RowOf(ModalDriver& d, const testsupport::GpgTestKey& key)
{
    for (int row = 0; row < d.ListRowCount(IDC_KEYLIST); ++row)
        if (d.ListText(IDC_KEYLIST, row, 1) == CString::FromUtf8(key.userId))
            return row;
    return -1;
}

class DialogWrappersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GpgTestHome::Get(); }

    void SetUp() override
    {
        const GpgTestHome& home = GpgTestHome::Get();
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
        CConfiguration::SetGnuPGHomeDir(ToCString(home.Home()));
        m_work = m_root.Path() / "work";
        fs::create_directories(m_work);
        fs::permissions(m_work, fs::perms::owner_all);
        CConfiguration::SetWorkingDir(ToCString(m_work));
        m_docs = m_root.Path() / "docs";
        fs::create_directories(m_docs);
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override
    {
        CoUninitialize();
        CConfiguration::SetWorkingDir(CString());
    }

    // `name` in the documents folder, encrypted for `recipients`.
    fs::path Encrypted(const std::string& name, const std::string& content,
                       const std::vector<const testsupport::GpgTestKey*>& recipients)
    {
        const fs::path plain = m_root.Path() / ("plain-" + name);
        std::ofstream(plain) << content;
        std::vector<std::string> args{"--yes", "--trust-model", "always", "--set-filename", name};
        for (const auto* key : recipients) {
            args.push_back("-r");
            args.push_back(key->keyId);
        }
        const fs::path encrypted = m_docs / (name + ".gpg");
        args.insert(args.end(), {"-o", encrypted.string(), "-e", plain.string()});
        EXPECT_EQ(testsupport::RunGpg(args), 0);
        fs::remove(plain);
        return encrypted;
    }

    // `name` in the documents folder, encrypted for Alice and for a key
    // that is not in the test key ring.
    fs::path EncryptedWithStranger(const std::string& name)
    {
        const fs::path encrypted = m_docs / (name + ".gpg");
        EXPECT_TRUE(testsupport::EncryptForAliceAndStranger(encrypted, name, "shared\n"));
        return encrypted;
    }

    // Types `name` into the shown dialog's name box and confirms.
    static void TypeAndConfirm(ModalDriver& d, const CString& name)
    {
        d.Type(ids::kFileNameEdit, name);
        d.Click(ids::kOkButton);
    }

    TempDir m_root;
    fs::path m_work;
    fs::path m_docs;
};

} // namespace

TEST_F(DialogWrappersTest, OpenHandsOutTheWorkingCopyOfAnEncryptedFileAndThePlainFileAsItIs)
{
    const GpgTestHome& home = GpgTestHome::Get();
    const fs::path secret = Encrypted("secret.txt", "top secret\n", {&home.Alice()});
    std::ofstream(m_docs / "plain.txt") << "plain\n";
    CTaskReceiver receiver;

    ComPtr<IFileOpenDialog> dialog = CreateDialog<IFileOpenDialog>(CLSID_FileOpenDialog);
    const COMDLG_FILTERSPEC types[] = {{u"Text files", u"*.txt"}};
    ASSERT_EQ(dialog->SetFileTypes(1, types), S_OK);
    ASSERT_EQ(dialog->SetOptions(FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST), S_OK);
    ASSERT_EQ(dialog->SetFolder(ItemFor(m_docs).Get()), S_OK);
    CRecordingSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(dialog->Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);
    EXPECT_EQ(dialog->Advise(&sink, &cookie), E_NOTIMPL) << "one sink at a time";

    Automation automation;
    bool listedEncrypted = false;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(CVeilshim::ciGroupId), u"veilcase");
        for (int row = 0; row < d.ListRowCount(ids::kFileList); ++row)
            listedEncrypted |= d.ListText(ids::kFileList, row, ids::kNameColumn) == u"secret.txt.gpg";
        d.SavePng(ToCString(ImagePath("open-dialog-veilcase-group.png")));
        TypeAndConfirm(d, u"\"plain.txt\" \"secret.txt.gpg\"");
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    EXPECT_TRUE(automation.Unexpected().empty());
    EXPECT_TRUE(listedEncrypted) << "the .gpg file is listed under the text filter";

    ComPtr<IShellItemArray> results;
    ASSERT_EQ(dialog->GetResults(results.Put()), S_OK);
    DWORD count = 0;
    ASSERT_EQ(results->GetCount(&count), S_OK);
    ASSERT_EQ(count, 2u);
    ComPtr<IShellItem> first, second;
    results->GetItemAt(0, first.Put());
    results->GetItemAt(1, second.Put());
    EXPECT_EQ(PathOf(first.Get()), ToCString(m_docs / "plain.txt"));
    const CString copy = PathOf(second.Get());
    EXPECT_TRUE(CVeilshim::IsPathInside(copy, ToCString(m_work))) << copy.ToUtf8();
    std::ifstream in(copy.ToUtf8());
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "top secret\n");
    // GetResult gives the first item; the application's own OnFileOk
    // already saw the substituted result, with the wrapper as its dialog.
    ComPtr<IShellItem> single;
    ASSERT_EQ(dialog->GetResult(single.Put()), S_OK);
    EXPECT_EQ(PathOf(single.Get()), ToCString(m_docs / "plain.txt"));
    EXPECT_EQ(sink.m_resultAtFileOk, ToCString(m_docs / "plain.txt"));
    for (IFileDialog* argument : sink.m_dialogs)
        EXPECT_EQ(argument, static_cast<IFileDialog*>(dialog.Get()));
    EXPECT_NE(std::find(sink.m_events.begin(), sink.m_events.end(), "FileOk"), sink.m_events.end());

    // One task, for the encrypted file only.
    const std::vector<SEncryptionTask> tasks = receiver.Tasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(RecordPath(tasks[0].filePath), copy);
    EXPECT_EQ(RecordPath(tasks[0].encryptedFilePath), ToCString(secret));
    EXPECT_EQ(tasks[0].keyIds[0], home.Alice().keyIdValue);
    EXPECT_EQ(tasks[0].keyIds[1], 0u);
    EXPECT_EQ(tasks[0].encryptionScheduled, 1);
    EXPECT_EQ(tasks[0].deletionScheduled, 1);
    EXPECT_EQ(tasks[0].processId, platform::CurrentProcessId());
    CString copyPath = copy;
    const CArrayEx<BYTE, BYTE> hash = CFileUtils::ComputeFileHash(copyPath);
    ASSERT_EQ(hash.GetSize(), 16);
    EXPECT_EQ(std::memcmp(tasks[0].fileHash, hash.GetData(), 16), 0);
    EXPECT_EQ(dialog->Unadvise(2), E_NOTIMPL);
    EXPECT_EQ(dialog->Unadvise(cookie), S_OK);
}

TEST_F(DialogWrappersTest, OpenLeavesNoPlainCopyWhenTheHandOffFails)
{
    // A working directory so deep that the copy's path does not fit the
    // task record (while the setting itself still fits its value): the
    // hand-off refuses it, and the copy must not stay.
    fs::path deep = m_work;
    while (deep.string().size() < 200) {
        deep /= "level-with-a-long-folder-name";
        fs::create_directory(deep);
        fs::permissions(deep, fs::perms::owner_all, fs::perm_options::replace);
    }
    CConfiguration::SetWorkingDir(ToCString(deep));
    const fs::path secret = Encrypted("a-rather-long-document-name-for-the-record.txt", "x\n",
                                      {&GpgTestHome::Get().Alice()});
    CTaskReceiver receiver;
    ComPtr<IFileOpenDialog> dialog = CreateDialog<IFileOpenDialog>(CLSID_FileOpenDialog);
    Automation automation;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        TypeAndConfirm(d, ToCString(secret));
        // The error is shown and the dialog stays open.
        EXPECT_TRUE(d.Exists(ids::kFileNameEdit));
        d.Click(ids::kCancelButton);
    });
    automation.OnMessageBox([](ModalDriver& d) { d.Answer(IDOK); });
    EXPECT_EQ(dialog->Show(nullptr), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    for (const SEncryptionTask& task : receiver.Tasks())
        ADD_FAILURE() << "task sent for " << RecordPath(task.filePath).ToUtf8();
    std::vector<fs::path> left;
    for (const auto& entry : fs::recursive_directory_iterator(deep))
        if (entry.is_regular_file())
            left.push_back(entry.path());
    EXPECT_TRUE(left.empty()) << left.front();
    ComPtr<IShellItem> none;
    EXPECT_EQ(dialog->GetResult(none.Put()), E_UNEXPECTED);
}

TEST_F(DialogWrappersTest, MissingPublicKeysAskHowToOpen)
{
    const fs::path shared = EncryptedWithStranger("shared.txt");
    CTaskReceiver receiver;
    ComPtr<IFileOpenDialog> dialog = CreateDialog<IFileOpenDialog>(CLSID_FileOpenDialog);
    Automation automation;
    // Cancelled: no task, and the dialog stays open.
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        TypeAndConfirm(d, ToCString(shared));
        EXPECT_TRUE(d.Exists(ids::kFileNameEdit));
        d.Click(ids::kCancelButton);
    });
    AnswerMissingKeys(automation, eCancel);
    EXPECT_EQ(dialog->Show(nullptr), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_TRUE(receiver.Tasks().empty());

    // Read only: the copy is removed afterwards, never encrypted.
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) { TypeAndConfirm(d, ToCString(shared)); });
    AnswerMissingKeys(automation, eReadOnly);
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    // Writeable: re-encrypted for the recipients that are known.
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) { TypeAndConfirm(d, ToCString(shared)); });
    AnswerMissingKeys(automation, eWriteable);
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    EXPECT_TRUE(automation.Unexpected().empty());

    const std::vector<SEncryptionTask> tasks = receiver.Tasks();
    ASSERT_EQ(tasks.size(), 2u);
    const BYTE zeros[16] = {};
    EXPECT_EQ(tasks[0].encryptionScheduled, 0);
    EXPECT_EQ(tasks[0].deletionScheduled, 1);
    EXPECT_EQ(std::memcmp(tasks[0].fileHash, zeros, 16), 0);
    EXPECT_EQ(tasks[1].encryptionScheduled, 1);
    EXPECT_EQ(tasks[1].deletionScheduled, 1);
    EXPECT_NE(std::memcmp(tasks[1].fileHash, zeros, 16), 0);
    EXPECT_NE(RecordPath(tasks[0].filePath), RecordPath(tasks[1].filePath)) << "a fresh copy each time";
    EXPECT_EQ(RecordPath(tasks[1].encryptedFilePath), ToCString(shared));
}

TEST_F(DialogWrappersTest, SaveFromAWorkingCopyPointsBackAtTheOriginalWithItsRecipients)
{
    const GpgTestHome& home = GpgTestHome::Get();
    const fs::path copyFolder = m_work / "5D1E";
    fs::create_directories(copyFolder);
    std::ofstream(copyFolder / "report.txt") << "draft\n";
    const CString side = ToCString(copyFolder / "report.txt.veilcase");
    const fs::path original = m_docs / "report.txt";
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"OriginalFilename", ToCString(original), side));
    const CString usedKeys = CString::FromUtf8(home.Alice().keyId + "," + home.Bob().keyId + ",," +
                                               "0123456789ABCDEF," + home.Alice().keyId);
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"UsedKeys", usedKeys, side));
    CTaskReceiver receiver;

    ComPtr<IFileSaveDialog> dialog = CreateDialog<IFileSaveDialog>(CLSID_FileSaveDialog);
    ASSERT_EQ(dialog->SetFolder(ItemFor(copyFolder).Get()), S_OK);
    Automation automation;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(ids::kFileNameEdit), u"report.txt");
        EXPECT_EQ(d.Check(CVeilshim::ciEncryptCheckId), 1);
        const CString label = d.Text(CVeilshim::ciKeysLabelId);
        EXPECT_GE(label.Find(u"Alice Example"), 0) << label.ToUtf8();
        d.SavePng(ToCString(ImagePath("save-dialog-encrypt-check-box.png")));
        d.Click(ids::kOkButton);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    EXPECT_TRUE(automation.Unexpected().empty());

    ComPtr<IShellItem> first, again;
    ASSERT_EQ(dialog->GetResult(first.Put()), S_OK);
    ASSERT_EQ(dialog->GetResult(again.Put()), S_OK);
    EXPECT_EQ(first.Get(), again.Get()) << "the same item for one confirmation";
    const CString path = PathOf(first.Get());
    EXPECT_TRUE(CVeilshim::IsPathInside(path, ToCString(m_work)));
    EXPECT_NE(path, ToCString(copyFolder / "report.txt"));
    const std::vector<SEncryptionTask> tasks = receiver.Tasks();
    ASSERT_EQ(tasks.size(), 1u) << "no second task for a repeated GetResult";
    EXPECT_EQ(RecordPath(tasks[0].filePath), path);
    EXPECT_EQ(RecordPath(tasks[0].encryptedFilePath), ToCString(original) + u".gpg");
    EXPECT_EQ(tasks[0].keyIds[0], home.Alice().keyIdValue);
    EXPECT_EQ(tasks[0].keyIds[1], home.Bob().keyIdValue);
    EXPECT_EQ(tasks[0].keyIds[2], 0u) << "unknown ids and duplicates are left out";
    EXPECT_EQ(tasks[0].encryptionScheduled, 1);
    EXPECT_EQ(tasks[0].deletionScheduled, 1);
}

TEST_F(DialogWrappersTest, TickingTheBoxAsksForRecipientsAndACancelUnticksIt)
{
    const GpgTestHome& home = GpgTestHome::Get();
    CTaskReceiver receiver;
    ComPtr<IFileSaveDialog> dialog = CreateDialog<IFileSaveDialog>(CLSID_FileSaveDialog);
    ASSERT_EQ(dialog->SetFolder(ItemFor(m_docs).Get()), S_OK);
    Automation automation;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(CVeilshim::ciKeysLabelId), u"<keys>");
        d.Click(CVeilshim::ciEncryptCheckId); // cancelled: unticked again
        EXPECT_EQ(d.Check(CVeilshim::ciEncryptCheckId), 0);
        d.Click(CVeilshim::ciEncryptCheckId); // two recipients chosen
        EXPECT_EQ(d.Check(CVeilshim::ciEncryptCheckId), 1);
        const CString label = d.Text(CVeilshim::ciKeysLabelId);
        EXPECT_GE(label.Find(u"Alice Example"), 0) << label.ToUtf8();
        EXPECT_GE(label.Find(u"Bob Example"), 0) << label.ToUtf8();
        d.SavePng(ToCString(ImagePath("save-dialog-chosen-recipients.png")));
        d.Type(ids::kFileNameEdit, u"note.txt");
        d.Click(ids::kOkButton);
    });
    automation.OnDialog(IDD_KEYSELECTION, [](ModalDriver& d) { d.Click(IDCANCEL); });
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        d.ListClick(IDC_KEYLIST, RowOf(d, home.Alice()), 0);
        d.ListClick(IDC_KEYLIST, RowOf(d, home.Bob()), 0);
        d.SavePng(ToCString(ImagePath("save-dialog-key-selection.png")));
        d.Click(IDOK);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    EXPECT_TRUE(automation.Unexpected().empty());

    ComPtr<IShellItem> item;
    ASSERT_EQ(dialog->GetResult(item.Put()), S_OK);
    const CString path = PathOf(item.Get());
    EXPECT_TRUE(CVeilshim::IsPathInside(path, ToCString(m_work)));
    EXPECT_TRUE(path.Right(9) == u"/note.txt") << path.ToUtf8();
    const std::vector<SEncryptionTask> tasks = receiver.Tasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(RecordPath(tasks[0].encryptedFilePath), ToCString(m_docs / "note.txt.gpg"));
    std::vector<ULONGLONG> ids{tasks[0].keyIds[0], tasks[0].keyIds[1]};
    std::sort(ids.begin(), ids.end());
    std::vector<ULONGLONG> expected{home.Alice().keyIdValue, home.Bob().keyIdValue};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(tasks[0].keyIds[2], 0u);
}

TEST_F(DialogWrappersTest, SaveNeverTicksTheBoxWithoutRecipients)
{
    const fs::path copyFolder = m_work / "9A9A";
    fs::create_directories(copyFolder);
    const CString side = ToCString(copyFolder / "memo.txt.veilcase");
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"OriginalFilename", ToCString(m_docs / "memo.txt"), side));
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"UsedKeys", u"0123456789ABCDEF,FEDCBA9876543210", side));
    CTaskReceiver receiver;
    ComPtr<IFileSaveDialog> dialog = CreateDialog<IFileSaveDialog>(CLSID_FileSaveDialog);
    ASSERT_EQ(dialog->SetFolder(ItemFor(copyFolder).Get()), S_OK);
    Automation automation;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Check(CVeilshim::ciEncryptCheckId), 0);
        EXPECT_EQ(d.Text(CVeilshim::ciKeysLabelId), u"<keys>");
        d.Click(ids::kOkButton);
    });
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    ComPtr<IShellItem> item;
    ASSERT_EQ(dialog->GetResult(item.Put()), S_OK);
    EXPECT_EQ(PathOf(item.Get()), ToCString(m_docs / "memo.txt"));
    EXPECT_TRUE(receiver.Tasks().empty());
}

TEST_F(DialogWrappersTest, ErrorsInsideTheDialogAreShownAndNeverLeaveTheCall)
{
    const GpgTestHome& home = GpgTestHome::Get();
    const fs::path secret = Encrypted("x.txt", "x\n", {&home.Alice()});
    // A side-file whose recipients can't be looked up: GnuPG is missing.
    const fs::path copyFolder = m_work / "0E0E";
    fs::create_directories(copyFolder);
    const CString side = ToCString(copyFolder / "x.txt.veilcase");
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"UsedKeys", CString::FromUtf8(home.Alice().keyId), side));
    // An empty key cache, then no GnuPG at all: looking the recipients up
    // fails with an error object.
    CConfiguration::SetGnuPGPath(u"/bin/true");
    CEncryption::GetDefault().RefreshKeys();
    CConfiguration::SetGnuPGPath(ToCString(m_root.Path() / "no-gpg-here"));

    // The error is told, and the settings come up so that the user can
    // name the GnuPG program there.
    int settingsShown = 0;
    auto expectMissingGnuPG = [](ModalDriver& d) {
        EXPECT_GE(d.MessageText().Find(u"GnuPG"), 0) << d.MessageText().ToUtf8();
        d.Answer(IDOK);
    };
    auto cancelSettings = [&](ModalDriver& d) {
        ++settingsShown;
        d.Click(IDCANCEL);
    };

    ComPtr<IFileSaveDialog> save = CreateDialog<IFileSaveDialog>(CLSID_FileSaveDialog);
    ASSERT_EQ(save->SetFolder(ItemFor(copyFolder).Get()), S_OK);
    Automation automation;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        EXPECT_EQ(d.Check(CVeilshim::ciEncryptCheckId), 0);
        d.Click(CVeilshim::ciEncryptCheckId);
        EXPECT_EQ(d.Check(CVeilshim::ciEncryptCheckId), 0) << "unticked again";
        EXPECT_EQ(settingsShown, 1);
        d.Click(ids::kCancelButton);
    });
    automation.OnMessageBox(expectMissingGnuPG);
    automation.OnDialog(IDD_SETTINGS, cancelSettings);
    EXPECT_EQ(save->Show(nullptr), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    ComPtr<IShellItem> none;
    EXPECT_EQ(save->GetResult(none.Put()), E_FAIL) << "nothing was confirmed";

    ComPtr<IFileOpenDialog> open = CreateDialog<IFileOpenDialog>(CLSID_FileOpenDialog);
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        TypeAndConfirm(d, ToCString(secret));
        EXPECT_TRUE(d.Exists(ids::kFileNameEdit)) << "still open after the error";
        EXPECT_EQ(settingsShown, 2);
        d.Click(ids::kCancelButton);
    });
    automation.OnMessageBox(expectMissingGnuPG);
    automation.OnDialog(IDD_SETTINGS, cancelSettings);
    EXPECT_EQ(open->Show(nullptr), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_EQ(open->GetResults(nullptr), E_POINTER);
    for (const CString& what : automation.Unexpected())
        ADD_FAILURE() << "unexpected: " << what.ToUtf8();
    EXPECT_EQ(automation.PendingActions(), 0);
}

TEST_F(DialogWrappersTest, AnUnsupportedGnuPGIsToldAndNothingIsOpenedOrTicked)
{
    const fs::path secret = Encrypted("old.txt", "x\n", {&GpgTestHome::Get().Alice()});
    CConfiguration::SetGnuPGPath(ToCString(testsupport::BinDir() / "fakegpg1"));
    CTaskReceiver receiver;
    Automation automation;
    auto expectUnsupported = [](ModalDriver& d) {
        EXPECT_GE(d.MessageText().Find(u"unsupported GnuPG version"), 0) << d.MessageText().ToUtf8();
        d.Answer(IDOK);
    };

    ComPtr<IFileSaveDialog> save = CreateDialog<IFileSaveDialog>(CLSID_FileSaveDialog);
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        d.Click(CVeilshim::ciEncryptCheckId);
        EXPECT_EQ(d.Check(CVeilshim::ciEncryptCheckId), 0) << "unticked again";
        d.Click(ids::kCancelButton);
    });
    automation.OnMessageBox(expectUnsupported);
    EXPECT_EQ(save->Show(nullptr), HRESULT_FROM_WIN32(ERROR_CANCELLED));

    ComPtr<IFileOpenDialog> open = CreateDialog<IFileOpenDialog>(CLSID_FileOpenDialog);
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        TypeAndConfirm(d, ToCString(secret));
        EXPECT_TRUE(d.Exists(ids::kFileNameEdit)) << "the dialog stays open";
        d.Click(ids::kCancelButton);
    });
    automation.OnMessageBox(expectUnsupported);
    EXPECT_EQ(open->Show(nullptr), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_TRUE(automation.Unexpected().empty());
    EXPECT_TRUE(receiver.Tasks().empty());
    ComPtr<IShellItemArray> none;
    EXPECT_EQ(open->GetResults(none.Put()), E_UNEXPECTED);
}

TEST_F(DialogWrappersTest, EncryptingOverAnExistingFileAsksFirst)
{
    const GpgTestHome& home = GpgTestHome::Get();
    const fs::path copyFolder = m_work / "AB12";
    fs::create_directories(copyFolder);
    const CString side = ToCString(copyFolder / "budget.txt.veilcase");
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"OriginalFilename", ToCString(m_docs / "budget.txt"), side));
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"UsedKeys", CString::FromUtf8(home.Alice().keyId), side));
    std::ofstream(m_docs / "budget.txt") << "an older plain copy\n";
    CTaskReceiver receiver;
    ComPtr<IFileSaveDialog> dialog = CreateDialog<IFileSaveDialog>(CLSID_FileSaveDialog);
    ASSERT_EQ(dialog->SetFolder(ItemFor(copyFolder).Get()), S_OK);
    Automation automation;
    automation.OnDialog(ids::kTemplateId, [&](ModalDriver& d) {
        d.Click(ids::kOkButton); // "No": the dialog stays
        EXPECT_TRUE(d.Exists(ids::kFileNameEdit));
        d.Click(ids::kOkButton); // "Yes"
    });
    // The system dialog's own question about replacing the file comes first
    // (its answer reaches it unchanged), then ours about the original.
    auto replace = [](ModalDriver& d) {
        EXPECT_LT(d.MessageText().Find(u"The original file will be deleted"), 0) << d.MessageText().ToUtf8();
        d.Answer(IDYES);
    };
    auto original = [](int answer) {
        return [answer](ModalDriver& d) {
            EXPECT_GE(d.MessageText().Find(u"The original file will be deleted after encryption"), 0)
                << d.MessageText().ToUtf8();
            d.Answer(answer);
        };
    };
    automation.OnMessageBox(replace);
    automation.OnMessageBox(original(IDNO));
    automation.OnMessageBox(replace);
    automation.OnMessageBox(original(IDYES));
    ASSERT_EQ(dialog->Show(nullptr), S_OK);
    EXPECT_TRUE(automation.Unexpected().empty());
    ComPtr<IShellItem> item;
    ASSERT_EQ(dialog->GetResult(item.Put()), S_OK);
    const std::vector<SEncryptionTask> tasks = receiver.Tasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(RecordPath(tasks[0].filePath), PathOf(item.Get()));
    EXPECT_EQ(RecordPath(tasks[0].encryptedFilePath), ToCString(m_docs / "budget.txt.gpg"));
}

TEST_F(DialogWrappersTest, InterfacesOutsideTheTableAreTheSystemDialogsOwn)
{
    ComPtr<IFileOpenDialog> dialog = CreateDialog<IFileOpenDialog>(CLSID_FileOpenDialog);
    ComPtr<IModalWindow> modal;
    ASSERT_EQ(dialog.As(modal), S_OK);
    ComPtr<IModalWindow> ours;
    ASSERT_EQ(dialog->QueryInterface(IID_IFileDialog, ours.PutVoid()), S_OK);
    EXPECT_NE(modal.Get(), ours.Get()) << "the system dialog's own face";
    ComPtr<IOleWindow> window;
    EXPECT_EQ(dialog.As(window), S_OK);
    ComPtr<IFileSaveDialog> save;
    EXPECT_EQ(dialog.As(save), E_NOINTERFACE);
}
