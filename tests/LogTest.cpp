#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <chrono>
#include <unistd.h>
#include <vector>

#include "GuiUtils.h"
#include "Log.h"
#include "TestEnvironment.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string Today(const char* format)
{
    std::time_t now = std::time(nullptr);
    struct tm parts {};
    localtime_r(&now, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, format, &parts);
    return buffer;
}

std::vector<std::string> SplitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the file ends with a whole line";
    return lines;
}

std::string Header()
{
    const std::string dashes(41, '-');
    return dashes + "\r\nStarting veilcase v" + CGuiUtils::GetProductVersion().ToUtf8() + " Log\r\n" +
           Today("%d.%m.%Y") + "\r\n" + dashes + "\r\n";
}

const std::regex kStamp(R"(\d\d:\d\d:\d\d )");

// Runs bin/logwriter with `args`; its standard error goes to `stderrFd` and
// its standard output to `stdoutFd` (each /dev/null when not given).
// Returns the process id.
pid_t SpawnLogWriter(const std::vector<std::string>& args, int stderrFd = -1, int stdoutFd = -1)
{
    std::string program = (testsupport::BinDir() / "logwriter").string();
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copy = args;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (auto [fd, target] : {std::pair{stderrFd, STDERR_FILENO}, std::pair{stdoutFd, STDOUT_FILENO}}) {
        if (fd >= 0)
            posix_spawn_file_actions_adddup2(&actions, fd, target);
        else
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0) << program;
    return pid;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadAll(int fd)
{
    std::string out;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // EOF, or EIO from a terminal whose other side closed
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

// Console output (standard error) of one logwriter run, read through a pipe.
std::string ConsoleOfLogWriter(const std::vector<std::string>& args)
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid_t pid = SpawnLogWriter(args, fds[1]);
    close(fds[1]);
    std::string out = ReadAll(fds[0]);
    close(fds[0]);
    EXPECT_EQ(WaitFor(pid), 0);
    return out;
}

// Every test logs into its own application-data folder.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("XDG_DATA_HOME");
        m_oldDataHome = old ? old : "";
        setenv("XDG_DATA_HOME", m_dataHome.Str().c_str(), 1);
        CloseLogFile();
    }
    void TearDown() override
    {
        CloseLogFile();
        setenv("XDG_DATA_HOME", m_oldDataHome.c_str(), 1);
    }
    fs::path LogFolder() const { return m_dataHome.Path() / "Orvelin" / "veilcase" / "LogFiles"; }
    fs::path LogPath() const { return LogFolder() / ("Log" + Today("%Y%m%d") + ".txt"); }
    std::string LogText() const { return fs::exists(LogPath()) ? testsupport::ReadFile(LogPath()) : std::string(); }

    testsupport::TempDir m_dataHome{"data"};
    std::string m_oldDataHome;
};

} // namespace

TEST_F(LogTest, FirstLineOpensTheDailyFileWithHeaderAndStampedLines)
{
    WriteLog(eLogDebug, u"hello %d %s %S", 42, u"w\u00f6rld", "narrow");
    WriteLog(eLogWarning, u"second");
    std::string text = LogText();
    const std::string header = Header();
    ASSERT_EQ(text.compare(0, header.size(), header), 0) << text;
    std::vector<std::string> lines = SplitCrLf(text.substr(header.size()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d:\d\d:\d\d \thello 42 w\xC3\xB6rld narrow)"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\d\d:\d\d:\d\d \tsecond)"))) << lines[1];
    EXPECT_FALSE(CGuiUtils::GetProductVersion().IsEmpty());

    // Private to the user.
    EXPECT_EQ(fs::status(LogFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(LogPath()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(LogTest, ReopeningAppendsWithAFreshHeaderAndNeverTruncates)
{
    WriteLog(eLogDebug, u"one");
    CloseLogFile();
    WriteLog(eLogDebug, u"two");
    std::string text = LogText();
    const std::string header = Header();
    size_t first = text.find(header);
    size_t second = text.find(header, first + 1);
    ASSERT_EQ(first, 0u);
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(text.find("\tone\r\n"), std::string::npos);
    EXPECT_LT(text.find("\tone\r\n"), second);
    EXPECT_GT(text.find("\ttwo\r\n"), second);
}

TEST_F(LogTest, LongMessagesAreCutTo1023Units)
{
    WriteLog(eLogDebug, u"%s", CString(u'a', 2000).GetString());
    // A cut that would split a surrogate pair drops its first half as well.
    CString withPair = CString(u'b', 1022) + u"\U0001F600" + u"tail";
    WriteLog(eLogDebug, u"%s", withPair.GetString());
    std::vector<std::string> lines = SplitCrLf(LogText().substr(Header().size()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(10), std::string(1023, 'a'));
    EXPECT_EQ(lines[1].substr(10), std::string(1022, 'b'));
}

TEST_F(LogTest, UncreatableLogFolderNeverThrowsAndIsRetriedLater)
{
    // The application-data "folder" is a file: no log folder can be made below it.
    fs::path blocker = m_dataHome.Path() / "blocker";
    testsupport::WriteFile(blocker, "not a folder");
    setenv("XDG_DATA_HOME", blocker.c_str(), 1);
    EXPECT_NO_THROW(WriteLog(eLogError, u"lost %d", 1));
    EXPECT_NO_THROW(WriteLog(eLogError, u"lost %d", 2));
    EXPECT_EQ(testsupport::ReadFile(blocker), "not a folder");

    setenv("XDG_DATA_HOME", m_dataHome.Str().c_str(), 1);
    WriteLog(eLogDebug, u"kept");
    std::string text = LogText();
    EXPECT_EQ(text.find(Header()), 0u);
    EXPECT_NE(text.find("\tkept\r\n"), std::string::npos);
    EXPECT_EQ(text.find("lost"), std::string::npos);
}

TEST_F(LogTest, PercentSignsAreSingleInTheFileAndDoubledOnTheConsole)
{
    std::string console = ConsoleOfLogWriter({"--message", "0", "50% done"});
    EXPECT_TRUE(std::regex_match(console, std::regex(R"(DEBUG: \d\d:\d\d:\d\d 50%% done\n)"))) << console;
    EXPECT_NE(LogText().find(" \t50% done\r\n"), std::string::npos);

    console = ConsoleOfLogWriter({"--message", "5", "no prefix"});
    EXPECT_TRUE(std::regex_match(console, std::regex(R"(\d\d:\d\d:\d\d no prefix\n)"))) << console;
    EXPECT_NE(LogText().find(" \tno prefix\r\n"), std::string::npos);

    const std::map<std::string, std::string> prefixes{{"1", "WARNG: "}, {"2", "ERROR: "}, {"3", "CHILD: "}};
    for (const auto& [level, prefix] : prefixes) {
        console = ConsoleOfLogWriter({"--message", level, "x"});
        EXPECT_EQ(console.rfind(prefix, 0), 0u) << console;
        EXPECT_EQ(console.find('\x1b'), std::string::npos) << "no colours when output is no terminal";
    }
    EXPECT_EQ(LogText().find("DEBUG"), std::string::npos) << "prefixes stay out of the file";
}

TEST_F(LogTest, StandardOutputStaysTheProgramsOwn)
{
    // A program that loaded the library may write its data to standard
    // output: log lines must never land there.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = SpawnLogWriter({"--message", "2", "an error with /some/path"}, -1, fds[1]);
    close(fds[1]);
    std::string out = ReadAll(fds[0]);
    close(fds[0]);
    EXPECT_EQ(WaitFor(pid), 0);
    EXPECT_EQ(out, "");
    EXPECT_NE(LogText().find("an error with /some/path"), std::string::npos);
}

namespace {

// Waits up to five seconds for the process; kills it when it is still
// running then. Returns its exit code, -1 when it had to be killed.
int WaitAtMostFiveSeconds(pid_t pid)
{
    for (int i = 0; i < 500; ++i) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    WaitFor(pid);
    return -1;
}

} // namespace

TEST_F(LogTest, AFifoInPlaceOfTheDaysFileNeitherBlocksNorTakesTheLines)
{
    fs::create_directories(LogFolder());
    fs::permissions(LogFolder(), fs::perms::owner_all, fs::perm_options::replace);
    ASSERT_EQ(mkfifo(LogPath().c_str(), 0600), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = SpawnLogWriter({"--message", "2", "still on the console"}, fds[1]);
    close(fds[1]);
    EXPECT_EQ(WaitAtMostFiveSeconds(pid), 0) << "logging waited for a reader of the FIFO";
    std::string console = ReadAll(fds[0]);
    close(fds[0]);
    EXPECT_NE(console.find("still on the console"), std::string::npos);
    EXPECT_TRUE(fs::is_fifo(LogPath()));
}

TEST_F(LogTest, ALinkedLogFolderIsNeitherFollowedNorChanged)
{
    // Somebody's folder, readable by others, that the log folder points to.
    testsupport::TempDir elsewhere{"elsewhere"};
    fs::permissions(elsewhere.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace);
    fs::create_directories(LogFolder().parent_path());
    fs::create_directory_symlink(elsewhere.Path(), LogFolder());

    EXPECT_NO_THROW(WriteLog(eLogError, u"command line with a secret path"));
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    EXPECT_EQ(fs::status(elsewhere.Path()).permissions() & fs::perms::others_read, fs::perms::others_read);
    EXPECT_TRUE(fs::is_symlink(LogFolder()));

    // Once the link is gone, the folder is made and used.
    CloseLogFile();
    fs::remove(LogFolder());
    WriteLog(eLogDebug, u"kept");
    EXPECT_NE(LogText().find("\tkept\r\n"), std::string::npos);
    EXPECT_EQ(fs::status(LogFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(LogTest, ConsoleLinesAreColouredOnATerminal)
{
    const std::map<std::string, std::string> colours{{"2", "\x1b[1;31m"}, {"1", "\x1b[1;33m"}};
    for (const auto& [level, colour] : colours) {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        pid_t pid = SpawnLogWriter({"--message", level, "coloured"}, slave);
        close(slave);
        std::string out = ReadAll(master);
        close(master);
        EXPECT_EQ(WaitFor(pid), 0);
        EXPECT_EQ(out.rfind(colour, 0), 0u) << out;
        EXPECT_NE(out.find("coloured\x1b[0m"), std::string::npos) << out;
    }
}

TEST_F(LogTest, TwoProcessesShareOneFileWithoutLosingOrTearingLines)
{
    constexpr int kLines = 1500;
    const std::string padding = "300";
    pid_t a = SpawnLogWriter({std::to_string(kLines), "A", "0", padding});
    pid_t b = SpawnLogWriter({std::to_string(kLines), "B", "1", padding});
    EXPECT_EQ(WaitFor(a), 0);
    EXPECT_EQ(WaitFor(b), 0);

    std::vector<std::string> lines = SplitCrLf(LogText());
    const std::string dashes(41, '-');
    const std::regex line(R"(\d\d:\d\d:\d\d \t([AB]) line (\d+) x{300})");
    std::map<std::string, int> next{{"A", 0}, {"B", 0}};
    int headers = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == dashes) {
            // A header is four lines that stay together.
            ASSERT_LT(i + 3, lines.size());
            EXPECT_EQ(lines[i + 1].rfind("Starting veilcase v", 0), 0u);
            EXPECT_EQ(lines[i + 2], Today("%d.%m.%Y"));
            EXPECT_EQ(lines[i + 3], dashes);
            ++headers;
            i += 3;
            continue;
        }
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, line)) << "torn line " << i << ": " << lines[i].substr(0, 80);
        // Each process's lines arrive whole and in its own order.
        EXPECT_EQ(std::stoi(m[2]), next[m[1]]++) << m[1];
    }
    EXPECT_EQ(headers, 2);
    EXPECT_EQ(next["A"], kLines);
    EXPECT_EQ(next["B"], kLines);
}

TEST_F(LogTest, ThreadsOfOneProcessWriteOneHeaderAndWholeLines)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i)
                WriteLog(eLogDebug, u"thread %d line %d %s", t, i, CString(u'y', 100).GetString());
        });
    for (std::thread& t : threads)
        t.join();
    std::string text = LogText();
    ASSERT_EQ(text.find(Header()), 0u);
    std::vector<std::string> lines = SplitCrLf(text.substr(Header().size()));
    ASSERT_EQ(lines.size(), 400u);
    for (const std::string& l : lines)
        EXPECT_TRUE(std::regex_match(l, std::regex(R"(\d\d:\d\d:\d\d \tthread \d line \d+ y{100})"))) << l;
}
