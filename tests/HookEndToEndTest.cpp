// The whole system as a user meets it: the text editor, an ordinary
// application in a process of its own, gets its Open and Save dialogs
// through COM after "veilcase /Register"; the real background program takes
// the tasks over the real socket hand-off and re-encrypts with the real gpg
// once the editor has ended. The editor's user is played by the dialog
// framework's automation inside the editor process (tests/tools/editordriver).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "GpgTestHome.h"
#include "Configuration.h"
#include "Ipc.h"
#include "OutsideKeyRing.h"
#include "TestEnvironment.h"
#include "platform/Window.h"

using testsupport::GpgTestHome;
using testsupport::RunGpg;
using testsupport::TempDir;
using testsupport::ToCString;
namespace fs = std::filesystem;

namespace {

struct SRun {
    int code = -1;
    std::vector<std::string> lines;

    // The values of the lines that start with "<key> ".
    std::vector<std::string> Values(const std::string& key) const
    {
        std::vector<std::string> values;
        for (const std::string& line : lines)
            if (line.rfind(key + " ", 0) == 0)
                values.push_back(line.substr(key.size() + 1));
        return values;
    }
    std::string Text() const
    {
        std::string all;
        for (const std::string& line : lines)
            all += line + "\n";
        return all;
    }
};

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a program of the build folder with `args` and collects its output.
SRun RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    std::string command = Quote((testsupport::BinDir() / program).string());
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    SRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    std::string output;
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        run.lines.push_back(line);
    return run;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

std::string Decrypt(const fs::path& encrypted)
{
    const fs::path out = encrypted.string() + ".out";
    std::string log;
    EXPECT_EQ(RunGpg({"--yes", "-o", out.string(), "-d", encrypted.string()}, &log), 0) << log;
    std::string content = testsupport::ReadFile(out);
    fs::remove(out);
    return content;
}

std::string RecipientsOf(const fs::path& encrypted)
{
    std::string output;
    RunGpg({"--list-packets", "--list-only", encrypted.string()}, &output);
    return output;
}

// Whether the listing names one of the key's encryption subkeys.
bool EncryptedFor(const std::string& recipients, const testsupport::GpgTestKey& key)
{
    for (const std::string& id : key.subkeyIds)
        if (recipients.find(id) != std::string::npos)
            return true;
    return false;
}

// The last lines of today's log, which every process of the system writes:
// what the background program did with a task that did not finish.
std::string LogTail(size_t count = 60)
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (!data)
        return {};
    const fs::path folder = fs::path(data) / "Orvelin" / "veilcase" / "LogFiles";
    std::vector<std::string> lines;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::istringstream in(testsupport::ReadFile(entry.path()));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    std::string tail = "log:\n";
    for (size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
        tail += lines[i] + "\n";
    return tail;
}

class HookEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const GpgTestHome& home = GpgTestHome::Get();
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
        CConfiguration::SetGnuPGHomeDir(ToCString(home.Home()));
        m_docs = m_root.Path() / "docs";
        fs::create_directories(m_docs);
        m_images = testsupport::BinDir().parent_path() / "test-images";
        fs::create_directories(m_images);
        const SRun registered = RunProgram("veilcase", {"/Register"});
        ASSERT_EQ(registered.code, 0) << registered.Text();
    }

    void TearDown() override
    {
        // The background program this suite started ends with it.
        if (HWND window = platform::FindWindowW(CIpc::cszWindowClass, CIpc::GetWindowTitle())) {
            DWORD pid = 0;
            platform::GetWindowThreadProcessId(window, &pid);
            if (pid != 0)
                kill(static_cast<pid_t>(pid), SIGTERM);
            WaitUntil([] { return !platform::FindWindowW(CIpc::cszWindowClass, CIpc::GetWindowTitle()); }, 10000);
        }
        RunProgram("veilcase", {"/Unregister"});
    }

    fs::path Encrypted(const std::string& name, const std::string& content,
                       const std::vector<const testsupport::GpgTestKey*>& recipients)
    {
        const fs::path plain = m_root.Path() / ("plain-" + name);
        testsupport::WriteFile(plain, content);
        std::vector<std::string> args{"--yes", "--trust-model", "always", "--set-filename", name};
        for (const auto* key : recipients)
            args.insert(args.end(), {"-r", key->keyId});
        const fs::path encrypted = m_docs / (name + ".gpg");
        args.insert(args.end(), {"-o", encrypted.string(), "-e", plain.string()});
        EXPECT_EQ(RunGpg(args), 0);
        fs::remove(plain);
        return encrypted;
    }

    // Waits until the background program has finished with a working copy:
    // its folder is gone.
    static bool Finished(const fs::path& workingCopy)
    {
        return WaitUntil([&] { return !fs::exists(workingCopy.parent_path()); }, 60000);
    }

    TempDir m_root;
    fs::path m_docs;
    fs::path m_images;
};

} // namespace

TEST_F(HookEndToEndTest, AnEncryptedFileOpenedEditedAndSavedIsEncryptedAgainForTheSameRecipients)
{
    const GpgTestHome& home = GpgTestHome::Get();
    const fs::path secret = Encrypted("letter.txt", "Dear Bob\n", {&home.Alice(), &home.Bob()});
    const SRun run = RunProgram("editordriver", {"open", m_docs.string(), "letter.txt.gpg", "-", "Dear Bob, edited"});
    ASSERT_EQ(run.code, 0) << run.Text();
    const std::vector<std::string> docs = run.Values("doc");
    ASSERT_EQ(docs.size(), 1u) << run.Text();
    const fs::path copy = docs[0];
    EXPECT_EQ(copy.filename(), "letter.txt");
    EXPECT_NE(copy.parent_path(), m_docs) << "the editor worked on a working copy";

    ASSERT_TRUE(Finished(copy)) << "the working copy is still there\n" << LogTail();
    EXPECT_EQ(Decrypt(secret), "Dear Bob, edited");
    const std::string recipients = RecipientsOf(secret);
    EXPECT_TRUE(EncryptedFor(recipients, home.Alice())) << recipients;
    EXPECT_TRUE(EncryptedFor(recipients, home.Bob())) << recipients;
    EXPECT_FALSE(fs::exists(m_docs / "letter.txt")) << "no plain file beside the original";
}

TEST_F(HookEndToEndTest, APlainAndAnEncryptedFileOpenedTogether)
{
    const GpgTestHome& home = GpgTestHome::Get();
    testsupport::WriteFile(m_docs / "plain.txt", "plain\n");
    const fs::path secret = Encrypted("secret.txt", "secret\n", {&home.Alice()});
    const std::string before = testsupport::ReadFile(secret);
    const SRun run = RunProgram("editordriver", {"open", m_docs.string(), "\"plain.txt\" \"secret.txt.gpg\""});
    ASSERT_EQ(run.code, 0) << run.Text();
    const std::vector<std::string> docs = run.Values("doc");
    ASSERT_EQ(docs.size(), 2u) << run.Text();
    EXPECT_EQ(fs::path(docs[0]), m_docs / "plain.txt");
    EXPECT_EQ(fs::path(docs[1]).filename(), "secret.txt");
    EXPECT_NE(fs::path(docs[1]).parent_path(), m_docs) << "the editor worked on a working copy";
    ASSERT_TRUE(Finished(docs[1])) << LogTail();
    EXPECT_EQ(testsupport::ReadFile(secret), before) << "not modified: not encrypted again";
}

TEST_F(HookEndToEndTest, MissingPublicKeysOpenReadOnlyOrWriteable)
{
    const GpgTestHome& home = GpgTestHome::Get();
    const fs::path shared = m_docs / "shared.txt.gpg";
    ASSERT_TRUE(testsupport::EncryptForAliceAndStranger(shared, "shared.txt", "shared\n"));
    const std::string before = testsupport::ReadFile(shared);

    // Read only: changes are not encrypted back, and the copy goes.
    SRun run = RunProgram("editordriver", {"open", m_docs.string(), "shared.txt.gpg", "readonly", "changed"});
    ASSERT_EQ(run.code, 0) << run.Text();
    std::vector<std::string> docs = run.Values("doc");
    ASSERT_EQ(docs.size(), 1u) << run.Text();
    ASSERT_TRUE(Finished(docs[0])) << LogTail();
    EXPECT_EQ(testsupport::ReadFile(shared), before);

    // Writeable: encrypted back for the recipients whose keys are there.
    run = RunProgram("editordriver", {"open", m_docs.string(), "shared.txt.gpg", "writeable", "changed"});
    ASSERT_EQ(run.code, 0) << run.Text();
    docs = run.Values("doc");
    ASSERT_EQ(docs.size(), 1u) << run.Text();
    ASSERT_TRUE(Finished(docs[0])) << LogTail();
    EXPECT_EQ(Decrypt(shared), "changed");
    EXPECT_TRUE(EncryptedFor(RecipientsOf(shared), home.Alice()));
}

TEST_F(HookEndToEndTest, SavingWithEncryptionGivesNameGpgForTheChosenKeysAndNoPlainFile)
{
    const GpgTestHome& home = GpgTestHome::Get();
    const SRun run = RunProgram("editordriver", {"save-encrypted", m_docs.string(), "minutes.txt", "the minutes",
                                                 (m_images / "textedit-save-encrypted.png").string(),
                                                 home.Alice().userId, home.Bob().userId});
    ASSERT_EQ(run.code, 0) << run.Text();
    const std::vector<std::string> docs = run.Values("doc");
    ASSERT_EQ(docs.size(), 1u) << run.Text();
    ASSERT_TRUE(Finished(docs[0])) << LogTail();
    const fs::path encrypted = m_docs / "minutes.txt.gpg";
    ASSERT_TRUE(fs::exists(encrypted));
    EXPECT_FALSE(fs::exists(m_docs / "minutes.txt"));
    EXPECT_EQ(Decrypt(encrypted), "the minutes");
    const std::string recipients = RecipientsOf(encrypted);
    int count = 0;
    for (const auto& key : home.All())
        count += EncryptedFor(recipients, key) ? 1 : 0;
    EXPECT_EQ(count, 2) << recipients;
    EXPECT_TRUE(EncryptedFor(recipients, home.Alice())) << recipients;
    EXPECT_TRUE(EncryptedFor(recipients, home.Bob())) << recipients;
}

TEST_F(HookEndToEndTest, SavingAgainFromAWorkingCopyPointsBackAtTheOriginal)
{
    const GpgTestHome& home = GpgTestHome::Get();
    const fs::path secret = Encrypted("plan.txt", "plan\n", {&home.Alice(), &home.Bob()});
    const SRun run = RunProgram("editordriver", {"open-saveas", m_docs.string(), "plan.txt.gpg",
                                                 (m_images / "textedit-save-points-back.png").string()});
    ASSERT_EQ(run.code, 0) << run.Text();
    ASSERT_EQ(run.Values("name"), std::vector<std::string>{"plan.txt"}) << run.Text();
    ASSERT_EQ(run.Values("folder"), std::vector<std::string>{m_docs.string()}) << run.Text();
    ASSERT_EQ(run.Values("checked"), std::vector<std::string>{"1"}) << run.Text();
    const std::vector<std::string> docs = run.Values("doc");
    ASSERT_EQ(docs.size(), 1u);
    ASSERT_TRUE(Finished(docs[0])) << LogTail();
    EXPECT_EQ(Decrypt(secret), "saved again");
    const std::string recipients = RecipientsOf(secret);
    EXPECT_TRUE(EncryptedFor(recipients, home.Alice())) << recipients;
    EXPECT_TRUE(EncryptedFor(recipients, home.Bob())) << recipients;
    EXPECT_FALSE(fs::exists(m_docs / "plan.txt"));
}
