// The background program end to end with the real gpg, the desktop's choice
// of application (a real child process started through GIO) and the real
// windows: a double-clicked file through the decrypt-file dialog and the
// pending-tasks window, driven through the automation with pictures of
// both; an unchanged file; a plain file; a file nobody here can decrypt;
// missing public keys and a read-only copy; a failed encryption tried again;
// closing with a task still pending and taking it up at the next start; a
// task's details, the version, the columns of a widened window and the
// question before a pending task is dropped; a file no application opens; a
// hidden window coming up for a task that needs the user; and the program
// as a separate process: a second instance handing its file to the first
// (and a bare one ending at once), and the first killed with SIGKILL
// mid-task, taking the task up when started again.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Configuration.h"
#include "Encryption.h"
#include "FileUtils.h"
#include "GuiUtils.h"
#include "GpgTestHome.h"
#include "Ipc.h"
#include "OutsideKeyRing.h"
#include "TestEnvironment.h"
#include "app/TaskDetailsDialog.h"
#include "app/VeilcaseApp.h"
#include "app/VeilcaseDlg.h"
#include "platform/Process.h"
#include "platform/Resources.h"
#include "platform/Window.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "resources/resource.h"

namespace fs = std::filesystem;
using platform::gui::Automation;
using platform::gui::ModalDriver;
using namespace testsupport;

namespace {

constexpr int ciLongWaitMs = 60000;
const char* const cszEdit = "A line added by the editing application.";

CString U(const fs::path& path)
{
    return CString::FromUtf8(path.string());
}

CString ImagePath(const char* name)
{
    fs::path folder = BinDir().parent_path() / "test-images";
    fs::create_directories(folder);
    return ToCString(folder / name);
}

bool PollUntil(const std::function<bool()>& done, int timeoutMs = ciLongWaitMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

fs::path WorkingDir()
{
    return fs::path(CConfiguration::GetWorkingDir(0).ToUtf8());
}

// Working copies named `name` in the folders of the working directory.
std::vector<fs::path> WorkingCopies(const std::string& name)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& folder : fs::directory_iterator(WorkingDir(), ec))
        if (fs::exists(folder.path() / name))
            found.push_back(folder.path() / name);
    return found;
}

fs::path RecordOf(const fs::path& workingCopy)
{
    return workingCopy.string() + CString(CEncryptionTask::cszRecordSuffix).ToUtf8();
}

// The long key ids gpg names as recipients of an encrypted file.
std::set<std::string> RecipientsOf(const fs::path& encrypted)
{
    std::string output;
    RunGpg({"--list-packets", "--list-only", encrypted.string()}, &output);
    std::set<std::string> ids;
    for (size_t at = output.find("keyid "); at != std::string::npos; at = output.find("keyid ", at + 6))
        ids.insert(output.substr(at + 6, 16));
    return ids;
}

std::string Decrypt(const fs::path& encrypted)
{
    fs::path out = encrypted.string() + ".check";
    std::string log;
    EXPECT_EQ(0, RunGpg({"--yes", "-o", out.string(), "-d", encrypted.string()}, &log)) << log;
    std::string content = fs::exists(out) ? ReadFile(out) : std::string();
    fs::remove(out);
    return content;
}

// The background program as a process of its own, started as the library
// starts it when a task must be handed over; killed when the object goes.
class CProgram {
public:
    CProgram()
    {
        DWORD error = 0;
        EXPECT_TRUE(platform::StartProcess(u"\"" + U(BinDir() / "veilcase") + u"\" /Hidden",
                                           platform::EProcessOutput::eInherit, m_process, nullptr, error))
            << error;
        m_pid = m_process.GetId();
    }
    ~CProgram() { Kill(); }
    // Whether its window can be found (it takes tasks).
    bool WaitForWindow()
    {
        return PollUntil([this] {
            HWND window = platform::FindWindowW(CIpc::cszWindowClass, CIpc::GetWindowTitle());
            DWORD pid = 0;
            if (window)
                platform::GetWindowThreadProcessId(window, &pid);
            return pid == m_pid;
        });
    }
    // SIGKILL: no chance to clean anything up.
    void Kill()
    {
        if (m_process.IsNull())
            return;
        m_process.Terminate(9);
        m_process.Wait(INFINITE);
        m_process.Close();
    }

private:
    platform::CProcessHandle m_process;
    DWORD m_pid = 0;
};

class VeilcaseAppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        home = &GpgTestHome::Get();
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
        CConfiguration::SetGnuPGHomeDir(U(home->Home()));
        // The desktop's application for text files: a child process that
        // edits the file as $CHILDPROC_EDIT_MS and $CHILDPROC_EDIT_TEXT say.
        const char* data = std::getenv("XDG_DATA_HOME");
        const char* config = std::getenv("XDG_CONFIG_HOME");
        ASSERT_TRUE(data && config);
        fs::create_directories(fs::path(data) / "applications");
        WriteFile(fs::path(data) / "applications/veilcase-test-editor.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test Editor\nExec=\"" + (BinDir() / "childproc").string() +
                      "\" edit %f\nMimeType=text/plain;\nNoDisplay=true\n");
        WriteFile(fs::path(config) / "mimeapps.list",
                  "[Default Applications]\ntext/plain=veilcase-test-editor.desktop;\n");
    }

    void SetUp() override { ASSERT_TRUE(platform::gui::InitGui()); }

    // An encrypted document in the user's folder.
    fs::path MakeDocument(const std::string& name, const std::string& content,
                          std::initializer_list<const GpgTestKey*> recipients)
    {
        fs::path encrypted = user / (name + ".gpg");
        fs::path source = user / (name + ".source");
        WriteFile(source, content);
        std::vector<std::string> args = {"--trust-model", "always", "--yes", "--set-filename", name,
                                         "-o",            encrypted.string()};
        for (const GpgTestKey* key : recipients) {
            args.push_back("-r");
            args.push_back(key->keyId);
        }
        args.push_back("-e");
        args.push_back(source.string());
        EXPECT_EQ(0, RunGpg(args));
        fs::remove(source);
        return encrypted;
    }

    // Waits in the window until the first row's state is `status`, noting
    // every state it shows on the way.
    // With `prefix`, a state shown with more after it (": <error>") counts.
    static bool WaitForStatus(ModalDriver& d, const CString& status, std::vector<std::string>& seen,
                              int timeoutMs = ciLongWaitMs, bool prefix = false)
    {
        return d.WaitUntil(
            [&] {
                if (d.ListRowCount(IDC_TASKLIST) < 1)
                    return false;
                std::string shown = d.ListText(IDC_TASKLIST, 0, 2).ToUtf8();
                if (seen.empty() || seen.back() != shown)
                    seen.push_back(shown);
                return prefix ? shown.rfind(status.ToUtf8(), 0) == 0 : shown == status.ToUtf8();
            },
            timeoutMs);
    }

    static std::string Joined(const std::vector<std::string>& states)
    {
        std::string text;
        for (const std::string& state : states)
            text += (text.empty() ? "" : " -> ") + state;
        return text;
    }

    static const GpgTestHome* home;
    TempDir user{"user"};
};

const GpgTestHome* VeilcaseAppTest::home = nullptr;

TEST_F(VeilcaseAppTest, ADoubleClickedFileIsShownOpenedInItsApplicationAndEncryptedAgainForItsRecipients)
{
    fs::path encrypted = MakeDocument("report.txt", "Quarterly figures\n", {&home->Alice(), &home->Bob()});
    std::set<std::string> recipients = RecipientsOf(encrypted);
    ASSERT_EQ(recipients.size(), 2u);
    ScopedEnv wait("CHILDPROC_EDIT_MS", "3500");
    ScopedEnv edit("CHILDPROC_EDIT_TEXT", cszEdit);

    CVeilcaseApp app;
    Automation automation;
    automation.OnDialog(IDD_DECRYPTFILE, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDC_ORIGINALFILENAME), U(user / "report.txt"));
        EXPECT_EQ(d.ListHeading(IDC_RECIPIENTS, 0), u"KeyID");
        EXPECT_EQ(d.ListHeading(IDC_RECIPIENTS, 1), u"UserID");
        ASSERT_EQ(d.ListRowCount(IDC_RECIPIENTS), 2);
        std::set<std::string> rows;
        for (int row = 0; row < 2; ++row)
            rows.insert(d.ListText(IDC_RECIPIENTS, row, 1).ToUtf8());
        EXPECT_TRUE(rows.count(home->Alice().userId)) << *rows.begin();
        EXPECT_TRUE(rows.count(home->Bob().userId));
        // Nothing cut: the user ids reach the list's right edge.
        EXPECT_GE(d.ListCellRect(IDC_RECIPIENTS, 0, 1).right, d.Rect(IDC_RECIPIENTS).Width() - 30);
        EXPECT_NE(d.Text(IDC_ENCRYPTIONDATE), u"Unknown");
        EXPECT_TRUE(d.IsEnabled(IDOK));
        EXPECT_FALSE(d.IsVisible(IDC_NOPRIVATEKEY));
        EXPECT_FALSE(d.IsVisible(IDC_KEEPUNENCRYPTED));
        d.SavePng(ImagePath("veilcase-decrypt-file.png"));
        d.Click(IDOK);
    });
    std::vector<std::string> states;
    fs::path workingCopy;
    automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
        EXPECT_EQ(d.Caption(), CIpc::GetWindowTitle());
        ASSERT_TRUE(WaitForStatus(d, u"File in use", states, 20000)) << Joined(states);
        workingCopy = app.Tasks().GetAt(0).GetFilePath().ToUtf8();
        EXPECT_EQ(d.ListText(IDC_TASKLIST, 0, 0), U(encrypted));
        EXPECT_EQ(d.ListText(IDC_TASKLIST, 0, 1), u"childproc");
        EXPECT_NE(d.ListText(IDC_TASKLIST, 0, 3).Find(CString::FromUtf8(home->Alice().userId)), -1);
        EXPECT_EQ(d.ListText(IDC_TASKLIST, 0, 4), u"Remove");
        d.SavePng(ImagePath("veilcase-window-file-in-use.png"));
        EXPECT_TRUE(WaitForStatus(d, u"Encrypted", states)) << Joined(states);
        d.SavePng(ImagePath("veilcase-window-encrypted.png"));
        d.Close(); // nothing pending: no question
    });
    ASSERT_TRUE(app.OpenFile(U(encrypted)));
    EXPECT_EQ(app.RunWindow(), 0);
    EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected().front().ToUtf8();
    EXPECT_EQ(automation.PendingActions(), 0);

    EXPECT_EQ(Decrypt(encrypted), std::string("Quarterly figures\n") + cszEdit + "\n");
    EXPECT_EQ(RecipientsOf(encrypted), recipients);
    ASSERT_FALSE(workingCopy.empty());
    EXPECT_FALSE(fs::exists(workingCopy.parent_path())) << "the working copy's folder stays";
}

TEST_F(VeilcaseAppTest, AnUnchangedFileStaysAsItWasAPlainFileJustOpensAndAFileNobodyHereCanDecryptIsNotOpened)
{
    fs::path encrypted = MakeDocument("notes.txt", "unchanged\n", {&home->Alice()});
    std::string before = ReadFile(encrypted);
    ScopedEnv wait("CHILDPROC_EDIT_MS", "3200");
    ScopedEnv noEdit("CHILDPROC_EDIT_TEXT", nullptr);
    {
        CVeilcaseApp app;
        Automation automation;
        automation.OnDialog(IDD_DECRYPTFILE, [](ModalDriver& d) { d.Click(IDOK); });
        std::vector<std::string> states;
        automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
            EXPECT_TRUE(WaitForStatus(d, u"Encrypted(Not modified)", states)) << Joined(states);
            d.Close();
        });
        ASSERT_TRUE(app.OpenFile(U(encrypted)));
        app.RunWindow();
        EXPECT_TRUE(automation.Unexpected().empty());
    }
    EXPECT_EQ(ReadFile(encrypted), before);
    EXPECT_TRUE(WorkingCopies("notes.txt").empty());

    // A file that is not encrypted just opens in its application.
    fs::path plain = user / "plain.txt";
    WriteFile(plain, "plain\n");
    {
        ScopedEnv quick("CHILDPROC_EDIT_MS", "0");
        ScopedEnv mark("CHILDPROC_EDIT_TEXT", "opened");
        CVeilcaseApp app;
        Automation automation;
        EXPECT_FALSE(app.OpenFile(U(plain)));
        EXPECT_TRUE(PollUntil([&] { return ReadFile(plain) == "plain\nopened\n"; }, 20000));
        EXPECT_TRUE(automation.Shown().empty());
        EXPECT_TRUE(WorkingCopies("plain.txt").empty());
    }

    // Only a key whose secret part is elsewhere: nothing to open it with.
    fs::path foreign = MakeDocument("secret.txt", "not for us\n", {&home->PublicOnly()});
    CVeilcaseApp app;
    Automation automation;
    automation.OnDialog(IDD_DECRYPTFILE, [&](ModalDriver& d) {
        EXPECT_EQ(d.ListRowCount(IDC_RECIPIENTS), 1);
        EXPECT_FALSE(d.IsEnabled(IDOK));
        EXPECT_TRUE(d.IsVisible(IDC_NOPRIVATEKEY));
        d.SavePng(ImagePath("veilcase-decrypt-file-no-secret-key.png"));
        d.Click(IDCANCEL);
    });
    EXPECT_FALSE(app.OpenFile(U(foreign)));
    EXPECT_EQ(app.Tasks().GetCount(), 0);
    EXPECT_TRUE(WorkingCopies("secret.txt").empty());
    EXPECT_TRUE(automation.Unexpected().empty());
}

TEST_F(VeilcaseAppTest, WithPublicKeysMissingTheUserChoosesAndAReadOnlyCopyIsNeverEncrypted)
{
    fs::path shared = user / "shared.txt.gpg";
    ASSERT_TRUE(EncryptForAliceAndStranger(shared, "shared.txt", "shared\n"));
    std::string before = ReadFile(shared);
    ScopedEnv wait("CHILDPROC_EDIT_MS", "3200");
    ScopedEnv edit("CHILDPROC_EDIT_TEXT", cszEdit);

    CVeilcaseApp app;
    Automation automation;
    // "Open File" asks how to open; "Cancel" there keeps the decrypt-file
    // dialog open, "Open Read Only" opens read-only.
    automation.OnDialog(IDD_DECRYPTFILE, [&](ModalDriver& d) {
        EXPECT_EQ(d.ListRowCount(IDC_RECIPIENTS), 2);
        d.SavePng(ImagePath("veilcase-decrypt-file-key-missing.png"));
        automation.OnDialog(IDD_MISSINGPUBLICKEY, [](ModalDriver& question) { question.Click(IDCANCEL); });
        d.Click(IDOK);
        EXPECT_TRUE(d.IsVisible(IDOK));
        automation.OnDialog(IDD_MISSINGPUBLICKEY, [](ModalDriver& question) { question.Click(IDC_OPENREADONLY); });
        d.Click(IDOK);
    });
    std::vector<std::string> states;
    fs::path workingCopy;
    automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
        EXPECT_TRUE(WaitForStatus(d, u"File in use", states, 20000)) << Joined(states);
        workingCopy = app.Tasks().GetAt(0).GetFilePath().ToUtf8();
        EXPECT_EQ(app.Tasks().GetAt(0).IsEncryptionScheduled(), 0);
        EXPECT_TRUE(WaitForStatus(d, u"Encrypted(Not modified)", states)) << Joined(states);
        d.Close();
    });
    ASSERT_TRUE(app.OpenFile(U(shared)));
    app.RunWindow();
    EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected().front().ToUtf8();
    EXPECT_EQ(ReadFile(shared), before) << "a read-only copy was encrypted";
    ASSERT_FALSE(workingCopy.empty());
    EXPECT_FALSE(fs::exists(workingCopy.parent_path()));
}

TEST_F(VeilcaseAppTest, AFailedEncryptionKeepsTheEditAndIsTriedAgainAtTheNextStart)
{
    fs::path encrypted = MakeDocument("budget.txt", "budget\n", {&home->Alice()});
    std::string before = ReadFile(encrypted);
    ScopedEnv wait("CHILDPROC_EDIT_MS", "3200");
    ScopedEnv edit("CHILDPROC_EDIT_TEXT", cszEdit);
    fs::path workingCopy;
    {
        CVeilcaseApp app;
        Automation automation;
        automation.OnDialog(IDD_DECRYPTFILE, [](ModalDriver& d) { d.Click(IDOK); });
        automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
            std::vector<std::string> states;
            ASSERT_TRUE(WaitForStatus(d, u"File in use", states, 20000)) << Joined(states);
            workingCopy = app.Tasks().GetAt(0).GetFilePath().ToUtf8();
            // GnuPG fails from now on.
            CConfiguration::SetGnuPGPath(u"/bin/false");
            EXPECT_TRUE(WaitForStatus(d, u"Encrytion failed", states, ciLongWaitMs, true)) << Joined(states);
            EXPECT_NE(d.ListText(IDC_TASKLIST, 0, 2).Find(u"Unknown GnuPG Error"), -1);
            d.SavePng(ImagePath("veilcase-window-encryption-failed.png"));
            d.Close(); // a failed task is not pending: no question
        });
        ASSERT_TRUE(app.OpenFile(U(encrypted)));
        app.RunWindow();
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
        EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected().front().ToUtf8();
    }
    EXPECT_EQ(ReadFile(encrypted), before);
    ASSERT_FALSE(workingCopy.empty());
    EXPECT_NE(ReadFile(workingCopy).find(cszEdit), std::string::npos) << "the edit is lost";
    EXPECT_TRUE(fs::exists(RecordOf(workingCopy)));

    CVeilcaseApp next;
    Automation automation;
    automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
        std::vector<std::string> states;
        EXPECT_TRUE(WaitForStatus(d, u"Encrypted", states)) << Joined(states);
        d.Close();
    });
    next.RunWindow();
    EXPECT_EQ(Decrypt(encrypted), std::string("budget\n") + cszEdit + "\n");
    EXPECT_FALSE(fs::exists(workingCopy.parent_path()));
}

TEST_F(VeilcaseAppTest, ClosingWithATaskPendingKeepsItsWorkingCopyForTheNextStart)
{
    fs::path encrypted = MakeDocument("draft.txt", "first draft\n", {&home->Alice()});
    ScopedEnv wait("CHILDPROC_EDIT_MS", "3500");
    ScopedEnv edit("CHILDPROC_EDIT_TEXT", cszEdit);
    fs::path workingCopy;
    {
        CVeilcaseApp app;
        Automation automation;
        automation.OnDialog(IDD_DECRYPTFILE, [](ModalDriver& d) { d.Click(IDOK); });
        automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
            std::vector<std::string> states;
            ASSERT_TRUE(WaitForStatus(d, u"File in use", states, 20000)) << Joined(states);
            workingCopy = app.Tasks().GetAt(0).GetFilePath().ToUtf8();
            // The close box asks first; "No" keeps the window open.
            automation.OnMessageBox([](ModalDriver& box) {
                box.Answer(IDNO);
            });
            d.Close();
            EXPECT_EQ(d.ListRowCount(IDC_TASKLIST), 1);
            automation.OnMessageBox([](ModalDriver& box) { box.Answer(IDYES); });
            d.Close();
        });
        ASSERT_TRUE(app.OpenFile(U(encrypted)));
        app.RunWindow();
        EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected().front().ToUtf8();
        CString question;
        platform::LoadResourceString(IDS_TASKS_PENDING, question);
        ASSERT_EQ(automation.MessageBoxTexts().size(), 2u);
        EXPECT_EQ(automation.MessageBoxTexts()[0], question);
        EXPECT_EQ(automation.MessageBoxTexts()[1], question);
    }
    ASSERT_FALSE(workingCopy.empty());
    EXPECT_TRUE(fs::exists(workingCopy)) << "the unfinished task's working copy was removed";
    EXPECT_TRUE(fs::exists(RecordOf(workingCopy)));

    // The next start takes the task up; the application has ended meanwhile.
    PollUntil([&] { return ReadFile(workingCopy).find(cszEdit) != std::string::npos; }, 20000);
    CVeilcaseApp next;
    Automation automation;
    std::vector<std::string> states;
    automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
        EXPECT_TRUE(WaitForStatus(d, u"Encrypted", states)) << Joined(states);
        d.Close();
    });
    next.RunWindow();
    EXPECT_EQ(Decrypt(encrypted), std::string("first draft\n") + cszEdit + "\n");
    EXPECT_FALSE(fs::exists(workingCopy.parent_path()));
}

TEST_F(VeilcaseAppTest, TheWindowShowsDetailsAndVersionAndAsksBeforeDroppingAPendingTask)
{
    fs::path encrypted = MakeDocument("plan.txt", "plan\n", {&home->Alice()});
    fs::path workingCopy = fs::path(CConfiguration::GetWorkingDir(1).ToUtf8()) / "plan.txt";
    WriteFile(workingCopy, "plan\n");
    platform::CProcessHandle editor;
    DWORD error = 0;
    ASSERT_TRUE(platform::StartProcess(u"\"" + U(BinDir() / "childproc") + u"\" exit 0 600000",
                                       platform::EProcessOutput::eInherit, editor, nullptr, error));
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
    ids.Add(home->Alice().keyIdValue);
    CString copyPath = U(workingCopy);
    SEncryptionTask record;
    CIpc::FillRecord(record, copyPath, U(encrypted), ids, editor.GetId(), 1, 1,
                     CFileUtils::ComputeFileHash(copyPath));
    CVeilcaseApp app;
    app.Tasks().Add(std::make_unique<CEncryptionTask>(record));

    Automation automation;
    automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
        std::vector<std::string> states;
        ASSERT_TRUE(WaitForStatus(d, u"File in use", states, 20000)) << Joined(states);
        // Widened by 101 pixels: "File Name" and "Keys" get 50 each.
        int fileWidth = d.ListCellRect(IDC_TASKLIST, 0, 0).Width();
        int keysWidth = d.ListCellRect(IDC_TASKLIST, 0, 3).Width();
        int processWidth = d.ListCellRect(IDC_TASKLIST, 0, 1).Width();
        CRect frame;
        d.Dialog()->GetWindowRect(&frame);
        d.Dialog()->MoveWindow(frame.left, frame.top, frame.Width() + 101, frame.Height());
        d.Wait(50);
        EXPECT_EQ(d.ListCellRect(IDC_TASKLIST, 0, 0).Width(), fileWidth + 50);
        EXPECT_EQ(d.ListCellRect(IDC_TASKLIST, 0, 3).Width(), keysWidth + 50);
        EXPECT_EQ(d.ListCellRect(IDC_TASKLIST, 0, 1).Width(), processWidth);

        // A double click on the row: the task's particulars.
        automation.OnDialog(IDD_DETAILS, [&](ModalDriver& box) {
            EXPECT_EQ(box.Caption(), u"Details");
            EXPECT_EQ(box.Text(IDC_DETAILS_FILE), u"Affected file: " + copyPath);
            EXPECT_EQ(box.Text(IDC_DETAILS_PROCESS), u"Using process: childproc");
            EXPECT_EQ(box.Text(IDC_DETAILS_STATUS), u"Status: File in use");
            EXPECT_EQ(box.Text(IDC_DETAILS_CREATED),
                      u"Task created: " + CTaskDetailsDialog::FormatTime(CTime(record.creationTime)));
            EXPECT_EQ(box.Text(IDC_DETAILS_COMPLETED), u"Task completed: not finished yet");
            ASSERT_EQ(box.ListRowCount(IDC_DETAILS_KEYS), 1);
            EXPECT_EQ(box.ListText(IDC_DETAILS_KEYS, 0, 1), CString::FromUtf8(home->Alice().userId));
            EXPECT_EQ(box.ListText(IDC_DETAILS_KEYS, 0, 0).GetLength(), 8);
            box.SavePng(ImagePath("veilcase-task-details.png"));
            box.Click(IDCANCEL);
        });
        d.ListDoubleClick(IDC_TASKLIST, 0, 0);
        automation.OnDialog(IDD_ABOUTBOX, [](ModalDriver& box) {
            EXPECT_EQ(box.Text(IDC_VERSION), u"Version: " + CGuiUtils::GetProductVersion());
            box.SavePng(ImagePath("veilcase-about.png"));
            box.Click(IDOK);
        });
        d.Click(IDC_ABOUT);
        // "Remove" on a pending task asks; "No" keeps it, "Yes" drops it.
        automation.OnMessageBox([](ModalDriver& box) { box.Answer(IDNO); });
        d.ListClick(IDC_TASKLIST, 0, 4);
        EXPECT_EQ(d.ListRowCount(IDC_TASKLIST), 1);
        automation.OnMessageBox([](ModalDriver& box) { box.Answer(IDYES); });
        d.ListClick(IDC_TASKLIST, 0, 4);
        EXPECT_EQ(d.ListRowCount(IDC_TASKLIST), 0);
        d.SavePng(ImagePath("veilcase-window-empty.png"));
        d.Close(); // nothing pending any more: no question
    });
    app.RunWindow();
    EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected().front().ToUtf8();
    CString removeQuestion;
    platform::LoadResourceString(IDS_TASK_PENDING, removeQuestion);
    std::vector<CString> texts = automation.MessageBoxTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], removeQuestion);
    EXPECT_EQ(texts[1], removeQuestion);
    EXPECT_EQ(app.Tasks().GetCount(), 0);
    // A dropped task is not taken up again, and its working copy is left alone.
    EXPECT_FALSE(fs::exists(RecordOf(workingCopy)));
    EXPECT_TRUE(fs::exists(workingCopy));
    editor.Terminate(0);
    editor.Wait(INFINITE);
}

TEST_F(VeilcaseAppTest, WithNoApplicationForTheFileTheUserIsToldWhereTheCopyIs)
{
    fs::path encrypted = MakeDocument("blob.bin", std::string("\x00\x01\x02\xff binary", 11), {&home->Alice()});
    CVeilcaseApp app;
    Automation automation;
    automation.OnDialog(IDD_DECRYPTFILE, [](ModalDriver& d) { d.Click(IDOK); });
    CString told;
    automation.OnMessageBox([&](ModalDriver& box) {
        told = box.MessageText();
        box.SavePng(ImagePath("veilcase-no-application.png"));
        box.Answer(IDOK);
    });
    ASSERT_TRUE(app.OpenFile(U(encrypted)));
    ASSERT_EQ(app.Tasks().GetCount(), 1);
    CString copy = app.Tasks().GetAt(0).GetFilePath();
    EXPECT_NE(told.Find(u"No application is set up to open files of this type."), -1) << told.ToUtf8();
    EXPECT_NE(told.Find(copy), -1) << told.ToUtf8();
    // The task waits for the user, who opens the copy elsewhere and says so.
    EXPECT_TRUE(app.Tasks().GetAt(0).IsHandedOn());
    app.Tasks().RemoveAt(0);
    EXPECT_TRUE(automation.Unexpected().empty());
}

TEST_F(VeilcaseAppTest, AHiddenWindowComesUpWhenATaskNeedsTheUserOrTheProgramIsStartedAgain)
{
    fs::path encrypted = MakeDocument("memo.txt", "memo\n", {&home->Alice()});
    std::string before = ReadFile(encrypted);
    platform::CProcessHandle editor;
    DWORD error = 0;
    ASSERT_TRUE(platform::StartProcess(u"\"" + U(BinDir() / "childproc") + u"\" exit 0 600000",
                                       platform::EProcessOutput::eInherit, editor, nullptr, error));
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
    ids.Add(home->Alice().keyIdValue);
    auto makeTask = [&](const std::string& name, DWORD pid) {
        fs::path copy = fs::path(CConfiguration::GetWorkingDir(1).ToUtf8()) / name;
        WriteFile(copy, "memo\n");
        CString copyPath = U(copy);
        SEncryptionTask record;
        CIpc::FillRecord(record, copyPath, U(encrypted), ids, pid, 1, 1, CFileUtils::ComputeFileHash(copyPath));
        return std::make_unique<CEncryptionTask>(record);
    };

    CEncryptionTaskList tasks;
    tasks.Add(makeTask("memo.txt", editor.GetId())); // its application still runs
    CVeilcaseDlg window(tasks);
    window.SetStartHidden(true);
    Automation automation;
    fs::path handedOn;
    automation.OnDialog(IDD_VEILCASE_DIALOG, [&](ModalDriver& d) {
        std::vector<std::string> states;
        ASSERT_TRUE(WaitForStatus(d, u"File in use", states, 20000)) << Joined(states);
        d.Wait(500);
        EXPECT_FALSE(window.IsWindowVisible()) << "a task that needs nobody brought the window up";
        // Another start of the program asks it to come up.
        EXPECT_TRUE(CVeilcaseApp::ShowRunningInstance());
        EXPECT_TRUE(window.IsWindowVisible());
        window.ShowWindow(SW_HIDE);
        // A file handed on to another program: the window comes up and its
        // row offers "Finish".
        window.AddTask(makeTask("memo.txt", 0));
        handedOn = tasks.GetAt(1).GetFilePath().ToUtf8();
        EXPECT_TRUE(d.WaitUntil([&] { return window.IsWindowVisible() != FALSE; }, 20000));
        EXPECT_TRUE(d.WaitUntil([&] { return d.ListText(IDC_TASKLIST, 1, 1) == u"Finish"; }, 5000));
        d.SavePng(ImagePath("veilcase-window-finish.png"));
        WriteFile(handedOn, std::string("memo\n") + cszEdit + "\n");
        d.ListClick(IDC_TASKLIST, 1, 1);
        EXPECT_TRUE(d.WaitUntil([&] { return d.ListText(IDC_TASKLIST, 1, 2) == u"Encrypted"; }, ciLongWaitMs))
            << d.ListText(IDC_TASKLIST, 1, 2).ToUtf8();
        automation.OnMessageBox([](ModalDriver& box) { box.Answer(IDYES); });
        d.Close(); // the first task is still pending
    });
    window.DoModal();
    EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected().front().ToUtf8();
    EXPECT_EQ(Decrypt(encrypted), std::string("memo\n") + cszEdit + "\n");
    EXPECT_FALSE(fs::exists(handedOn.parent_path()));
    editor.Terminate(0);
    editor.Wait(INFINITE);
}

TEST_F(VeilcaseAppTest, ASecondInstanceHandsItsFileToTheFirst)
{
    CProgram first;
    ASSERT_TRUE(first.WaitForWindow());
    fs::path encrypted = MakeDocument("letter.txt", "Dear reader,\n", {&home->Alice()});
    // An application that saves at once: the edit must not count as the
    // state the file was opened in.
    ScopedEnv wait("CHILDPROC_EDIT_MS", "0");
    ScopedEnv edit("CHILDPROC_EDIT_TEXT", cszEdit);
    ScopedEnv stay("CHILDPROC_EDIT_STAY_MS", "3500");

    CVeilcaseApp second;
    Automation automation;
    automation.OnDialog(IDD_DECRYPTFILE, [](ModalDriver& d) { d.Click(IDOK); });
    EXPECT_TRUE(CVeilcaseApp::IsAnotherInstanceRunning());
    // The window runs in the first instance, not here.
    EXPECT_FALSE(second.OpenFile(U(encrypted)));
    EXPECT_EQ(second.Tasks().GetCount(), 0);
    EXPECT_TRUE(automation.Unexpected().empty());

    // Started again with nothing to do, it ends at once: no window here.
    CVeilcaseApp bare;
    EXPECT_EQ(bare.Run(CVeilcaseApp::ParseCommandLine({})), 0);
    EXPECT_TRUE(automation.Unexpected().empty());
    EXPECT_EQ(automation.Shown().size(), 1u);

    std::vector<fs::path> copies = WorkingCopies("letter.txt");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_TRUE(fs::exists(RecordOf(copies[0]))) << "the first instance keeps no record of the task";
    // The first instance encrypts the edit and removes the working copy.
    EXPECT_TRUE(PollUntil([&] { return !fs::exists(copies[0].parent_path()); }));
    EXPECT_EQ(Decrypt(encrypted), std::string("Dear reader,\n") + cszEdit + "\n");
}

TEST_F(VeilcaseAppTest, AProgramKilledMidTaskTakesTheTaskUpWhenStartedAgain)
{
    fs::path encrypted = MakeDocument("minutes.txt", "Minutes\n", {&home->Alice()});
    IEncryption& engine = CEncryption::GetDefault();
    CString decrypted;
    ASSERT_EQ(engine.DecryptFileW(U(encrypted), decrypted), IEncryption::eOperationSucceeded);
    fs::path workingCopy = decrypted.ToUtf8();
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
    for (ULONGLONG id : engine.GetPublicKeyIdsForEncryptedFile(U(encrypted)))
        ids.Add(id);

    // The editing application, as the dialog library would have seen it.
    platform::CProcessHandle editor;
    DWORD error = 0;
    ASSERT_TRUE(platform::StartProcess(u"\"" + U(BinDir() / "childproc") + u"\" exit 0 600000",
                                       platform::EProcessOutput::eInherit, editor, nullptr, error));
    {
        CProgram program;
        ASSERT_TRUE(program.WaitForWindow());
        CIpc::SendEncryptionTask(decrypted, U(encrypted), ids, editor.GetId(), 1, 1,
                                 CFileUtils::ComputeFileHash(decrypted));
        ASSERT_TRUE(PollUntil([&] { return fs::exists(RecordOf(workingCopy)); }, 20000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // a few passes: "File in use"
        program.Kill();
    }
    // While no program runs, the user saves the edit and ends the application.
    WriteFile(workingCopy, std::string("Minutes\n") + cszEdit + "\n");
    editor.Terminate(0);
    editor.Wait(INFINITE);
    EXPECT_TRUE(fs::exists(RecordOf(workingCopy)));

    CProgram again;
    ASSERT_TRUE(again.WaitForWindow());
    EXPECT_TRUE(PollUntil([&] { return !fs::exists(workingCopy.parent_path()); }));
    EXPECT_EQ(Decrypt(encrypted), std::string("Minutes\n") + cszEdit + "\n");
}

} // namespace
