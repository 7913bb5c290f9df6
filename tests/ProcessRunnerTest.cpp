#include <gtest/gtest.h>

#include <signal.h>

#include "Directory.h"
#include "EncryptionGnuPG.h"
#include "GpgTestHome.h"
#include "OrvException.h"
#include "ProcessRunner.h"
#include "TestEnvironment.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using testsupport::BinDir;
using testsupport::GpgTestHome;
using testsupport::TempDir;

namespace {

const auto P = &testsupport::ToCString;

CString Tool(const char* name)
{
    return P(BinDir() / name);
}

// Whether the process runs (a zombie has ended and counts as gone).
bool IsAlive(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return false;
    size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z' &&
           stat[paren + 2] != 'X';
}

// Waits (bounded) for a killed process to disappear.
bool GoneSoon(long pid)
{
    for (int i = 0; i < 200 && IsAlive(pid); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !IsAlive(pid);
}

long PidAfter(const std::string& text, const std::string& tag)
{
    std::smatch m;
    if (!std::regex_search(text, m, std::regex(tag + " ([0-9]+)")))
        return 0;
    return std::stol(m[1]);
}

size_t CountLines(const std::string& text, char tag)
{
    size_t n = 0;
    for (size_t pos = 0; pos < text.size();) {
        if (text[pos] == tag)
            ++n;
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
    return n;
}

// The status files of GnuPG runs left in the private temporary folder.
int StatusFilesLeft()
{
    int n = 0;
    for (const auto& e : fs::directory_iterator(fs::path(CDirectory::GetTempPathW().ToUtf8()))) {
        std::string name = e.path().filename().string();
        if (name.rfind("gpg", 0) == 0 && e.path().extension() == ".tmp")
            ++n;
    }
    return n;
}

// Runs the status-file run and returns the message id it throws, 0 when it
// returns a process instead.
UINT StatusRunMessage(const CString& program, const CString& home, const CString& arguments,
                      CString* details = nullptr)
{
    try {
        auto process = RunGnuPGWithStatusFile(program, home, arguments);
        EXPECT_TRUE(process && process->Wait(0) == WAIT_OBJECT_0);
        return 0;
    } catch (COrvException* e) {
        UINT id = e->GetMessageId();
        EXPECT_STREQ(e->GetSourceFile(), "Common\\EncryptionGnuPG");
        if (details)
            *details = e->GetMessageDetails();
        e->Delete();
        return id;
    }
}

CString HomeOption()
{
    return u"--homedir \"" + P(GpgTestHome::Get().Home()) + u"\" ";
}

} // namespace

TEST(ProcessRunnerTest, CapturesRealGpgVersion)
{
    CString output = u"kept: ";
    DWORD exitCode = 12345;
    ASSERT_TRUE(RunProcess(u"/usr/bin/gpg", u" --version", 3, output, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(output.Find(u"kept: gpg (GnuPG) 2."), 0) << output.ToUtf8();
}

TEST(ProcessRunnerTest, QuickChildGivesAllOutputAndItsExitCode)
{
    // More than a pipe holds, from a child that ends at once.
    CString output;
    DWORD exitCode = 0;
    ASSERT_TRUE(RunProcess(Tool("chatty"), u"--out 200000 --err 3000 --exit 7", 10, output, &exitCode));
    EXPECT_EQ(exitCode, 7u);
    std::string text = output.ToUtf8();
    EXPECT_EQ(text.size(), 203000u);
    EXPECT_EQ(CountLines(text, 'O'), 2000u);
    EXPECT_EQ(CountLines(text, 'E'), 30u);
}

TEST(ProcessRunnerTest, MegabytesOfOutputDoNotStallTheChild)
{
    CString output;
    ASSERT_TRUE(RunProcess(Tool("chatty"), u"--out 4000000 --err 4000000", 120, output));
    std::string text = output.ToUtf8();
    EXPECT_EQ(text.size(), 8000000u);
    EXPECT_EQ(CountLines(text, 'O'), 40000u);
    EXPECT_EQ(CountLines(text, 'E'), 40000u);
}

TEST(ProcessRunnerTest, CharactersSplitBetweenReadsStayWhole)
{
    CString output;
    ASSERT_TRUE(RunProcess(Tool("chatty"), u"--split-utf8 8", 10, output));
    CString expected;
    for (int i = 0; i < 8; ++i)
        expected += u"ä€😀\n";
    EXPECT_EQ(output, expected);
}

TEST(ProcessRunnerTest, TimeOutKillsTheWholeTreeAndKeepsPartialOutput)
{
    CString output;
    DWORD exitCode = 99;
    EXPECT_FALSE(RunProcess(Tool("spawntree"), u"", 1, output, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    std::string text = output.ToUtf8();
    long root = PidAfter(text, "root"), child = PidAfter(text, "child");
    ASSERT_NE(root, 0) << text;
    ASSERT_NE(child, 0) << text;
    EXPECT_TRUE(GoneSoon(root));
    EXPECT_TRUE(GoneSoon(child));

    // A child that printed everything but outlives its time-out also fails.
    output.Empty();
    EXPECT_FALSE(RunProcess(Tool("chatty"), u"--out 300 --sleep-ms 30000", 1, output));
    EXPECT_EQ(CountLines(output.ToUtf8(), 'O'), 3u);
}

TEST(ProcessRunnerTest, RunOfExactlyTheTimeOutIsNotTooLong)
{
    CString output;
    DWORD exitCode = 0;
    EXPECT_TRUE(RunProcess(Tool("chatty"), u"--out 50 --sleep-ms 1000 --exit 3", 1, output, &exitCode));
    EXPECT_EQ(exitCode, 3u);
    EXPECT_EQ(output.GetLength(), 50);
}

TEST(ProcessRunnerTest, ArgumentsAndProgramPathsArriveIntact)
{
    TempDir dir;
    fs::path folder = dir / "dir with blank ü";
    fs::create_directories(folder);
    fs::copy_file(BinDir() / "chatty", folder / "chatty prog");
    fs::create_directory_symlink(folder, dir / "link");

    CString output;
    ASSERT_TRUE(RunProcess(P(dir / "link" / "chatty prog"),
                           u"--argv \"a b\" \"say \\\"hi\\\"\" Jürgen\\Müller \"C:\\dir with\\\\\" 😀", 10, output));
    EXPECT_EQ(output, u"--argv\na b\nsay \"hi\"\nJürgen\\Müller\nC:\\dir with\\\n😀\n");
}

TEST(ProcessRunnerTest, OutputBeyondTheLimitStopsTheRunAsAFailure)
{
    // A child that floods its output is stopped once it passes the limit;
    // what came before the limit stays, nothing after it.
    CString output = u"kept ";
    DWORD exitCode = 7;
    EXPECT_FALSE(RunProcess(Tool("chatty"), u"--out 50000000 --sleep-ms 30000", 60, output, &exitCode, 100000));
    EXPECT_EQ(exitCode, 0u);
    std::string text = output.ToUtf8();
    ASSERT_EQ(text.size(), 5u + 100000u);
    EXPECT_EQ(CountLines(text.substr(5), 'O'), 1000u);

    // Exactly the limit is still a whole answer.
    output.Empty();
    EXPECT_TRUE(RunProcess(Tool("chatty"), u"--out 100000", 10, output, &exitCode, 100000));
    EXPECT_EQ(output.GetLength(), 100000);
}

TEST(ProcessRunnerTest, ProgramThatCannotStartGivesNoAnswer)
{
    CString output;
    DWORD exitCode = 5;
    EXPECT_FALSE(RunProcess(u"/nonexistent/gpg", u" --version", 3, output, &exitCode));
    EXPECT_TRUE(output.IsEmpty());
    EXPECT_EQ(exitCode, 0u);
}

TEST(ProcessRunnerTest, KillProcessTreeRefusesWhatIsNoTree)
{
    // Id 0 would name every process of the system, our own id ourselves.
    EXPECT_FALSE(KillProcessTree(0));
    EXPECT_FALSE(KillProcessTree(platform::CProcessHandle::Current().GetId()));

    // A process that has already gone is no failure.
    platform::CProcessHandle process;
    DWORD error = 0;
    ASSERT_TRUE(platform::StartProcess(Tool("chatty"), platform::EProcessOutput::eInherit, process, nullptr, error));
    DWORD id = process.GetId();
    ASSERT_EQ(process.Wait(INFINITE), WAIT_OBJECT_0);
    process.Close();
    EXPECT_TRUE(KillProcessTree(id));
}

TEST(ProcessRunnerTest, StatusFileRunMapsTheStatusAndAlwaysRemovesTheFile)
{
    const CString chatty = Tool("chatty");
    const int before = StatusFilesLeft();

    EXPECT_EQ(StatusRunMessage(chatty, u"", u"--exit 0"), 0u);
    EXPECT_EQ(StatusRunMessage(chatty, u"", u"--exit 2"), 2001u);
    EXPECT_EQ(StatusRunMessage(chatty, u"", u"--write-status \"[GNUPG:] BAD_PASSPHRASE 1\\n\" --exit 2"), 2005u);
    EXPECT_EQ(StatusRunMessage(chatty, u"",
                               u"--write-status \"[GNUPG:] NO_SECKEY 1\\n[GNUPG:] DECRYPTION_FAILED\\n\" --exit 2"),
              2006u);
    // Keywords GnuPG writes on a success do not matter.
    EXPECT_EQ(StatusRunMessage(chatty, u"", u"--write-status \"[GNUPG:] BAD_PASSPHRASE 1\\n\" --exit 0"), 0u);
    // Only the first 5000 bytes are judged.
    std::string filler(5000, 'x');
    EXPECT_EQ(StatusRunMessage(chatty, u"",
                               CString::FromUtf8("--write-status " + filler + "BAD_PASSPHRASE --exit 2")),
              2001u);
    EXPECT_EQ(StatusFilesLeft(), before);

    CString details;
    EXPECT_EQ(StatusRunMessage(u"/nonexistent/gpg2", u"", u"--decrypt x", &details), 2001u);
    EXPECT_NE(details.Find(u"/nonexistent/gpg2"), -1) << details.ToUtf8();
    EXPECT_EQ(StatusFilesLeft(), before);
}

TEST(ProcessRunnerTest, ARunWhoseExitStatusIsLostIsNoSuccess)
{
    // A host process that ignores SIGCHLD has its children reaped by the
    // system, so their exit status can't be read.
    struct sigaction ignore{}, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGCHLD, &ignore, &previous), 0);
    CString output;
    DWORD exitCode = 5;
    bool captured = RunProcess(Tool("chatty"), u"--out 10 --exit 2", 10, output, &exitCode);
    UINT failed = StatusRunMessage(Tool("chatty"), u"", u"--exit 2");
    sigaction(SIGCHLD, &previous, nullptr);

    EXPECT_FALSE(captured);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(output.GetLength(), 10); // what it wrote is still there
    EXPECT_EQ(failed, 2001u);
}

TEST(ProcessRunnerTest, StatusFileIsPrivateWhileGnuPGRuns)
{
    // The child reports the mode of the status file it was given.
    TempDir dir;
    fs::path script = dir / "statmode";
    testsupport::WriteFile(script, "#!/bin/sh\nstat -c %a \"$2\" > \"$0.mode\"\n");
    fs::permissions(script, fs::perms::owner_all);
    EXPECT_EQ(StatusRunMessage(P(script), u"", u""), 0u);
    EXPECT_EQ(testsupport::ReadFile(dir / "statmode.mode"), "600\n");
}

class ProcessRunnerGpgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const GpgTestHome& home = GpgTestHome::Get();
        m_plain = m_dir / "plain text ü.txt";
        testsupport::WriteFile(m_plain, "secret content\n");
        for (const auto& [key, file] : {std::pair{&home.Protected(), &m_toProtected}, {&home.PublicOnly(), &m_toPublicOnly}}) {
            *file = m_dir / ("to " + key->email + ".gpg");
            std::string out;
            ASSERT_EQ(testsupport::RunGpg({"--trust-model", "always", "-r", key->keyId, "-o", file->string(), "-e",
                                           m_plain.string()},
                                          &out),
                      0)
                << out;
        }
    }
    CString DecryptArguments(const fs::path& encrypted)
    {
        return u" --yes --charset=utf-8 --output \"" + P(m_dir / "out.txt") + u"\" --decrypt \"" + P(encrypted) + u"\"";
    }

    TempDir m_dir;
    fs::path m_plain, m_toProtected, m_toPublicOnly;
};

TEST_F(ProcessRunnerGpgTest, WrongOrCancelledPassphraseIsReportedAsSuch)
{
    const int before = StatusFilesLeft();
    testsupport::SetPinentryMode("wrong");
    EXPECT_EQ(StatusRunMessage(u"/usr/bin/gpg", HomeOption(), DecryptArguments(m_toProtected)), 2005u);
    EXPECT_GT(testsupport::PinentryRequests(), 0);

    testsupport::SetPinentryMode("cancel");
    EXPECT_EQ(StatusRunMessage(u"/usr/bin/gpg", HomeOption(), DecryptArguments(m_toProtected)), 2005u);
    EXPECT_EQ(testsupport::PinentryRequests(), 1);
    EXPECT_FALSE(fs::exists(m_dir / "out.txt"));

    testsupport::SetPinentryMode("ok:" + GpgTestHome::Get().Protected().passphrase);
    EXPECT_EQ(StatusRunMessage(u"/usr/bin/gpg", HomeOption(), DecryptArguments(m_toProtected)), 0u);
    EXPECT_EQ(testsupport::ReadFile(m_dir / "out.txt"), "secret content\n");
    EXPECT_EQ(StatusFilesLeft(), before);
}

TEST_F(ProcessRunnerGpgTest, MissingSecretKeyIsReportedAsSuch)
{
    // Without a configured home the option is empty: gpg uses GNUPGHOME.
    EXPECT_EQ(StatusRunMessage(u"/usr/bin/gpg", u"", DecryptArguments(m_toPublicOnly)), 2006u);
    EXPECT_EQ(StatusRunMessage(u"/usr/bin/gpg", HomeOption(), DecryptArguments(m_dir / "missing.gpg")), 2001u);
}

namespace {

// A status-channel run of the chatty child; `stopAt` names a status that
// ends the run (empty: none).
EStatusRunEnd StatusChannelRun(const CString& arguments, CGnuPGStatusReader& reader, DWORD& exitCode,
                               DWORD timeoutSeconds = 10, bool stopAtPlaintext = false)
{
    std::function<bool(const SGnuPGStatus&)> stop;
    if (stopAtPlaintext)
        stop = [](const SGnuPGStatus& status) { return status.plaintext; };
    return RunGnuPGWithStatusChannel(Tool("chatty"), u"", arguments, platform::EProcessOutput::eDiscarded,
                                     timeoutSeconds, reader, stop, exitCode);
}

} // namespace

TEST(ProcessRunnerTest, StatusChannelCarriesEveryLineAndTheExitCode)
{
    // The channel's number comes right after "--status-fd"; the child writes
    // there and ends at once: nothing written before the end is lost.
    CGnuPGStatusReader reader;
    DWORD exitCode = 0;
    EXPECT_EQ(StatusChannelRun(u"--out 100000 --write-status \"[GNUPG:] ENC_TO 00000000000000A1 18 0\\n\" "
                               u"--repeat-status 3000 --exit 2",
                               reader, exitCode),
              EStatusRunEnd::eEnded);
    EXPECT_EQ(exitCode, 2u);
    EXPECT_EQ(reader.Status().recipients.GetSize(), 3000);

    // The last line needs no line end.
    CGnuPGStatusReader last;
    EXPECT_EQ(StatusChannelRun(u"--write-status \"[GNUPG:] DECRYPTION_OKAY\"", last, exitCode), EStatusRunEnd::eEnded);
    EXPECT_TRUE(last.Status().decryptionOkay);
    EXPECT_EQ(exitCode, 0u);
}

TEST(ProcessRunnerTest, StatusChannelRunStopsWhenToldAtTheTimeOutAndAtTheLimit)
{
    CGnuPGStatusReader reader;
    DWORD exitCode = 5;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(StatusChannelRun(u"--write-status \"[GNUPG:] ENC_TO 1 18 0\\n[GNUPG:] PLAINTEXT 62 5 n\\n\" "
                               u"--sleep-ms 30000",
                               reader, exitCode, 60, true),
              EStatusRunEnd::eStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(reader.Status().plaintext);
    EXPECT_EQ(reader.Status().recipients.GetSize(), 1);

    // Without a stop, a child that outlives its time-out is stopped.
    CGnuPGStatusReader slow;
    EXPECT_EQ(StatusChannelRun(u"--write-status \"[GNUPG:] PLAINTEXT 62 5 n\\n\" --sleep-ms 30000", slow, exitCode, 1),
              EStatusRunEnd::eTimedOut);
    EXPECT_TRUE(slow.Status().plaintext);

    // A flood of status is cut at the reader's limit.
    CGnuPGStatusReader flooded;
    EXPECT_EQ(StatusChannelRun(u"--write-status \"[GNUPG:] NEWSIG\\n\" --repeat-status 1000000 --sleep-ms 30000",
                               flooded, exitCode, 60),
              EStatusRunEnd::eOverLimit);
    EXPECT_TRUE(flooded.IsOverLimit());
}

TEST(ProcessRunnerTest, StatusChannelRunOfAProgramThatCannotStart)
{
    CGnuPGStatusReader reader;
    DWORD exitCode = 4;
    CString failure;
    EXPECT_EQ(RunGnuPGWithStatusChannel(u"/nonexistent/gpg2", u"", u"--decrypt x", platform::EProcessOutput::eInherit,
                                        INFINITE, reader, nullptr, exitCode, &failure),
              EStatusRunEnd::eNotStarted);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_NE(failure.Find(u"/nonexistent/gpg2"), -1) << failure.ToUtf8();
}

TEST_F(ProcessRunnerGpgTest, StatusChannelOfARealDecryption)
{
    testsupport::SetPinentryMode("cancel");
    CGnuPGStatusReader reader;
    DWORD exitCode = 0;
    EXPECT_EQ(RunGnuPGWithStatusChannel(u"/usr/bin/gpg", HomeOption(), DecryptArguments(m_toProtected),
                                        platform::EProcessOutput::eDiscarded, INFINITE, reader, nullptr,
                                        exitCode),
              EStatusRunEnd::eEnded);
    EXPECT_NE(exitCode, 0u);
    EXPECT_EQ(reader.FailureMessageId(), 2005u);
    ASSERT_EQ(reader.Status().recipients.GetSize(), 1);
    EXPECT_EQ(reader.Status().recipients[0], std::stoull(GpgTestHome::Get().Protected().encryptionSubkeyId, nullptr, 16));
    EXPECT_TRUE(reader.Status().beginDecryption);
    EXPECT_FALSE(reader.Status().plaintext);

    testsupport::SetPinentryMode("ok:" + GpgTestHome::Get().Protected().passphrase);
    CGnuPGStatusReader good;
    EXPECT_EQ(RunGnuPGWithStatusChannel(u"/usr/bin/gpg", HomeOption(), DecryptArguments(m_toProtected),
                                        platform::EProcessOutput::eDiscarded, INFINITE, good, nullptr,
                                        exitCode),
              EStatusRunEnd::eEnded);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(good.Status().decryptionOkay);
    EXPECT_TRUE(good.Status().plaintext);
    EXPECT_EQ(CEncryptionGnuPG::DecodeStatusName(good.Status().plaintextName), CString(u"plain text ü.txt"));
    EXPECT_EQ(testsupport::ReadFile(m_dir / "out.txt"), "secret content\n");
}
