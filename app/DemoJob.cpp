// The demonstration works in a fresh private folder: GnuPG home, settings
// (registry store), desktop files, working copies. It makes a demo key and
// a sample document encrypted to it, lets the desktop open the decrypted
// copy with the demo editor (veilcase-demo-editor, which adds a line and
// exits), and runs the pending-tasks window until the task is "Encrypted".
// The decrypt-file dialog is confirmed by the framework's automation, as a
// user would click "Open File".
#include "app/DemoJob.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Configuration.h"
#include "Directory.h"
#include "EncryptionTaskList.h"
#include "app/VeilcaseApp.h"
#include "platform/Module.h"
#include "platform/Process.h"
#include "platform/TempFile.h"
#include "platform/Time.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "resources/resource.h"

namespace {

const char* const kDemoUser = "Demo User <demo@example.org>";

std::string g_root;

void Say(const std::string& text)
{
    std::printf("veilcase demo: %s\n", text.c_str());
    std::fflush(stdout);
}

// Runs a program (no shell) and waits; its output goes where ours goes
// unless `quiet`. Returns its exit code, -1 when it can't start.
int Run(const std::string& commandLine, bool quiet = true)
{
    std::string line = quiet ? commandLine + " >/dev/null 2>&1" : commandLine;
    return std::system(line.c_str()) == 0 ? 0 : 1;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool WriteText(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    bool ok = std::fputs(text.c_str(), file) >= 0;
    return std::fclose(file) == 0 && ok;
}

std::string ReadText(const std::string& path)
{
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, n);
        std::fclose(file);
    }
    return text;
}

// Points every per-user location of this process (and its children) into
// the demo's own folder, before anything reads them.
bool IsolateFromTheUser()
{
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/veilcase-demo-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return false;
    g_root = pattern;
    for (const char* sub : {"/config", "/data", "/run", "/gnupg", "/Documents"})
        mkdir((g_root + sub).c_str(), 0700);
    setenv("XDG_CONFIG_HOME", (g_root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (g_root + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (g_root + "/run").c_str(), 1);
    setenv("GNUPGHOME", (g_root + "/gnupg").c_str(), 1);
    setenv("VEILCASE_DEMO_EDITOR_LOG", (g_root + "/editor.log").c_str(), 1);
    return true;
}

void CleanUp()
{
    if (g_root.empty())
        return;
    Run("gpgconf --kill gpg-agent");
    CDirectory::Remove(CString::FromUtf8(g_root), false);
}

// The demo editor as the desktop's application for text files.
bool InstallDemoEditor()
{
    std::string editor = (CDirectory::GetExePath() + u"veilcase-demo-editor").ToUtf8();
    mkdir((g_root + "/data/applications").c_str(), 0700);
    return WriteText(g_root + "/data/applications/veilcase-demo-editor.desktop",
                     "[Desktop Entry]\nType=Application\nName=Demo Editor\nExec=" + Quote(editor) +
                         " %f\nMimeType=text/plain;\nNoDisplay=true\n") &&
           WriteText(g_root + "/config/mimeapps.list",
                     "[Default Applications]\ntext/plain=veilcase-demo-editor.desktop;\n");
}

// The program's own log lines (its console) go to a file of the demo's
// folder, so that the demonstration prints a plain account; they are shown
// only when it fails.
int g_savedStderr = -1;

void CaptureConsole()
{
    int file = open((g_root + "/console.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0)
        return;
    std::fflush(stderr);
    g_savedStderr = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    close(file);
}

void ReleaseConsole(bool show)
{
    if (g_savedStderr < 0)
        return;
    std::fflush(stderr);
    dup2(g_savedStderr, STDERR_FILENO);
    close(g_savedStderr);
    g_savedStderr = -1;
    if (show) {
        std::fputs("veilcase demo: what the program logged:\n", stderr);
        std::fputs(ReadText(g_root + "/console.txt").c_str(), stderr);
    }
}

// "User <mail>(0xID) \r\n" lines as one line.
std::string OneLine(const CString& keys)
{
    std::string lines = keys.ToUtf8();
    std::string text;
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find("\r\n", start);
        std::string part = lines.substr(start, end == std::string::npos ? std::string::npos : end - start);
        while (!part.empty() && part.back() == ' ')
            part.pop_back();
        if (!part.empty())
            text += (text.empty() ? "" : ", ") + part;
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return text;
}

struct SStateSeen {
    CString text;
    ULONGLONG tick;
};

} // namespace

int RunDemoJob()
{
    if (!IsolateFromTheUser()) {
        std::fprintf(stderr, "veilcase demo: cannot create a private folder\n");
        return 1;
    }
    Say("working in " + g_root + " (your own keys and settings are not touched)");
    CaptureConsole();
    if (!platform::gui::HasDisplay())
        platform::gui::UseOffscreenDisplay();

    int result = 1;
    do {
        CString gpg;
        CConfiguration::ConfigureGnuPGFromPath(gpg);
        if (gpg.IsEmpty()) {
            Say("no gpg on PATH");
            break;
        }
        CConfiguration::SetGnuPGHomeDir(CString::FromUtf8(g_root + "/gnupg"));
        Say("GnuPG program: " + gpg.ToUtf8());

        // A demo key without passphrase, and a document encrypted to it.
        std::string gpgCmd = Quote(gpg.ToUtf8()) + " --batch --yes";
        if (Run(gpgCmd + " --passphrase '' --quick-gen-key " + Quote(kDemoUser) + " ed25519 cert,sign never") != 0)
            break;
        std::string listing;
        {
            std::string keys = g_root + "/keys.txt";
            Run(gpgCmd + " --with-colons --list-keys > " + Quote(keys), false);
            listing = ReadText(keys);
        }
        size_t fpr = listing.find("\nfpr:");
        if (fpr == std::string::npos)
            break;
        std::string fingerprint = listing.substr(fpr + 13, 40);
        if (Run(gpgCmd + " --passphrase '' --quick-add-key " + fingerprint + " cv25519 encr never") != 0)
            break;
        Say("demo key: " + std::string(kDemoUser) + " " + fingerprint);

        std::string plain = g_root + "/Documents/letter.txt";
        std::string encrypted = plain + ".gpg";
        WriteText(plain, "Dear reader,\nthis letter is kept encrypted with OpenPGP.\n");
        if (Run(gpgCmd + " --trust-model always -r " + fingerprint + " -o " + Quote(encrypted) + " -e " +
                Quote(plain)) != 0)
            break;
        unlink(plain.c_str());
        Say("encrypted sample document: " + encrypted);
        if (!InstallDemoEditor())
            break;

        CVeilcaseApp app;
        std::vector<SStateSeen> states;
        CString png = CDirectory::GetExePath() + u"veilcase-demo-window.png";
        bool encryptedAgain = false;
        ULONGLONG doneTick = 0;
        {
            platform::gui::Automation automation;
            // The user looks at the file's particulars and opens it.
            automation.OnDialog(IDD_DECRYPTFILE, [](platform::gui::ModalDriver& d) {
                Say("decrypt-file dialog: original name " + d.Text(IDC_ORIGINALFILENAME).ToUtf8() + ", recipient " +
                    d.ListText(IDC_RECIPIENTS, 0, 1).ToUtf8());
                d.Click(IDOK);
            });
            automation.OnDialog(IDD_VEILCASE_DIALOG, [&](platform::gui::ModalDriver& d) {
                CEncryptionTaskList& tasks = app.Tasks();
                auto note = [&] {
                    if (tasks.GetCount() == 0)
                        return false;
                    const CEncryptionTask& task = tasks.GetAt(0);
                    CString text = task.GetStatusString();
                    if (states.empty() || states.back().text != text)
                        states.push_back({text, platform::GetTickCount64()});
                    if (!doneTick && (task.GetStatus() == eTaskEncryptionComplete || task.GetStatus() == eTaskEncrypted))
                        doneTick = platform::GetTickCount64();
                    return task.IsFinished();
                };
                d.WaitUntil(note, 60000);
                d.Wait(100);
                d.SavePng(png);
                encryptedAgain = tasks.GetCount() > 0 && tasks.GetAt(0).GetStatus() == eTaskEncrypted;
                if (tasks.GetCount() > 0)
                    Say("recipients: " + OneLine(tasks.GetAt(0).GetKeysString()));
                d.Close();
            });
            if (app.OpenFile(CString::FromUtf8(encrypted)))
                app.RunWindow();
        }
        std::string states_text;
        for (const SStateSeen& seen : states)
            states_text += (states_text.empty() ? "" : " -> ") + seen.text.ToUtf8();
        Say("states: " + states_text);
        std::string editorLog = ReadText(g_root + "/editor.log");
        if (editorLog.rfind("exit ", 0) == 0 && doneTick) {
            long long exitTick = std::atoll(editorLog.c_str() + 5);
            Say("time from the editor's exit to the re-encrypted file: " +
                std::to_string(static_cast<long long>(doneTick) - exitTick) + " ms");
        }
        Say("window: " + png.ToUtf8());
        if (!encryptedAgain) {
            Say("the task did not end \"Encrypted\"");
            break;
        }
        std::string check = g_root + "/check.txt";
        if (Run(gpgCmd + " -o " + Quote(check) + " -d " + Quote(encrypted)) != 0 ||
            ReadText(check).find("A line added by the editing application.") == std::string::npos) {
            Say("the encrypted file does not hold the edit");
            break;
        }
        Say("the document is encrypted again for " + std::string(kDemoUser) + " and holds the edit");
        result = 0;
    } while (false);
    ReleaseConsole(result != 0);
    CleanUp();
    return result;
}
