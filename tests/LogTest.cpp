// The daily log on both systems: the file, its header and lines, the
// console lines on standard error, processes and threads sharing one file,
// and the log refusing folders and files it must not write into.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "GuiUtils.h"
#include "Log.h"
#include "platform/FolderPrivacy.h"
#include "TestEnvironment.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace {

std::string Today(const char* format)
{
    std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &now);
#else
    localtime_r(&now, &parts);
#endif
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

// The line end of console text: the system's own.
#ifdef _WIN32
const std::string kConsoleLineEnd = "\r\n";
#else
const std::string kConsoleLineEnd = "\n";
#endif

// What one logwriter run printed, and how it ended.
struct SRun {
    int exitCode = -1;
    std::string console; // standard error
    std::string output;  // standard output
};

#ifdef _WIN32
using ChildProcess = HANDLE;

HANDLE NullDevice()
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                       nullptr);
}

// Starts logwriter with `args`; standard error goes to `errTarget`, standard
// output to `outTarget` (each the null device when not given).
HANDLE StartLogWriter(const std::vector<std::string>& args, HANDLE errTarget = nullptr, HANDLE outTarget = nullptr)
{
    std::wstring program = (testsupport::BinDir() / "logwriter.exe").wstring();
    std::wstring commandLine = L"\"" + program + L"\"";
    for (const std::string& a : args)
        commandLine += L" \"" + fs::path(std::u8string(a.begin(), a.end())).wstring() + L"\"";
    HANDLE nullErr = errTarget ? nullptr : NullDevice();
    HANDLE nullOut = outTarget ? nullptr : NullDevice();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdError = errTarget ? errTarget : nullErr;
    startup.hStdOutput = outTarget ? outTarget : nullOut;
    PROCESS_INFORMATION info{};
    BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &info);
    EXPECT_TRUE(started) << GetLastError();
    for (HANDLE h : {nullErr, nullOut})
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    if (!started)
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

int WaitFor(HANDLE process)
{
    if (!process)
        return -1;
    DWORD code = 1;
    WaitForSingleObject(process, INFINITE);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code);
}

// A pipe whose writing end a child inherits.
struct SPipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    SPipe()
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        EXPECT_TRUE(CreatePipe(&read, &write, &inherit, 0));
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    }
    void CloseWrite()
    {
        CloseHandle(write);
        write = nullptr;
    }
    std::string ReadAll()
    {
        std::string out;
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0)
            out.append(buffer, n);
        return out;
    }
    ~SPipe()
    {
        if (write)
            CloseHandle(write);
        CloseHandle(read);
    }
};

SRun RunLogWriter(const std::vector<std::string>& args)
{
    SPipe err, out;
    HANDLE process = StartLogWriter(args, err.write, out.write);
    err.CloseWrite();
    out.CloseWrite();
    SRun run;
    // Both outputs are a line or two: far below a pipe's buffer.
    run.console = err.ReadAll();
    run.output = out.ReadAll();
    run.exitCode = WaitFor(process);
    return run;
}
#else
using ChildProcess = pid_t;

// Runs bin/logwriter with `args`; its standard error goes to `stderrFd` and
// its standard output to `stdoutFd` (each /dev/null when not given).
// Returns the process id.
pid_t StartLogWriter(const std::vector<std::string>& args, int stderrFd = -1, int stdoutFd = -1)
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

SRun RunLogWriter(const std::vector<std::string>& args)
{
    int err[2], out[2];
    EXPECT_EQ(pipe(err), 0);
    EXPECT_EQ(pipe(out), 0);
    pid_t pid = StartLogWriter(args, err[1], out[1]);
    close(err[1]);
    close(out[1]);
    SRun run;
    // Both outputs are a line or two: far below a pipe's buffer.
    run.console = ReadAll(err[0]);
    run.output = ReadAll(out[0]);
    close(err[0]);
    close(out[0]);
    run.exitCode = WaitFor(pid);
    return run;
}
#endif

// Makes `link` a symbolic link (on Windows: or a junction) to the folder or
// file `target`. Returns false, with the reason in `why`, where the system
// does not let this process make one.
bool MakeLink(const fs::path& target, const fs::path& link, bool folder, std::string& why)
{
#ifdef _WIN32
    const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    BOOL made = CreateSymbolicLinkW(link.c_str(), target.c_str(), flags);
    DWORD attributes = GetFileAttributesW(link.c_str());
    if (made && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    why = "CreateSymbolicLinkW returned " + std::to_string(made) + " (error " + std::to_string(GetLastError()) +
          ") and made no link";
    if (!folder)
        return false;
    // A junction: a folder with a mount-point reparse point.
    if (!CreateDirectoryW(link.c_str(), nullptr))
        return false;
    HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const std::wstring substitute = L"\\??\\" + target.wstring();
    const std::wstring print = target.wstring();
    std::vector<BYTE> buffer(16 + (substitute.size() + print.size() + 2) * sizeof(wchar_t));
    auto put16 = [&buffer](size_t at, size_t value) {
        buffer[at] = static_cast<BYTE>(value & 0xFF);
        buffer[at + 1] = static_cast<BYTE>(value >> 8);
    };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buffer.data(), &tag, sizeof tag);
    put16(4, buffer.size() - 8);                                // data length
    put16(8, 0);                                                // substitute name offset
    put16(10, substitute.size() * sizeof(wchar_t));             // and length
    put16(12, (substitute.size() + 1) * sizeof(wchar_t));       // print name offset
    put16(14, print.size() * sizeof(wchar_t));                  // and length
    std::memcpy(buffer.data() + 16, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
    std::memcpy(buffer.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), print.c_str(),
                (print.size() + 1) * sizeof(wchar_t));
    DWORD returned = 0;
    BOOL junction = handle != INVALID_HANDLE_VALUE &&
                    DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    nullptr, 0, &returned, nullptr);
    DWORD error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (junction)
        return true;
    RemoveDirectoryW(link.c_str());
    why += "; FSCTL_SET_REPARSE_POINT for a junction failed with error " + std::to_string(error);
    return false;
#else
    std::error_code ec;
    if (folder)
        fs::create_directory_symlink(target, link, ec);
    else
        fs::create_symlink(target, link, ec);
    why = ec.message();
    return !ec;
#endif
}

// Gives `path` to another user. Returns false, with the reason in `why`,
// where this process may not give files away.
bool GiveAway(const fs::path& path, std::string& why)
{
#ifdef _WIN32
    // Setting another owner needs the restore privilege (an elevated
    // process has it, disabled).
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    PSID other = nullptr;
    ConvertStringSidToSidW(L"S-1-5-7", &other); // the anonymous logon
    std::wstring name = path.wstring();
    DWORD set = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, other, nullptr,
                                      nullptr, nullptr);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool given = GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                       nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
                 EqualSid(owner, other);
    LocalFree(descriptor);
    LocalFree(other);
    if (!given)
        why = "SetNamedSecurityInfoW returned " + std::to_string(set) + " and the owner stayed the user";
    return given;
#else
    if (geteuid() != 0) {
        why = "only a process that may give files away can make one of another user";
        return false;
    }
    if (chown(path.c_str(), 65534, 65534) != 0) {
        why = std::string("chown: ") + std::strerror(errno);
        return false;
    }
    return true;
#endif
}

// Checks that `folder` is a folder of the user's that nobody else may open.
void ExpectPrivateFolder(const fs::path& folder)
{
    // Wine derives a folder's access list from its Unix mode and reports
    // success for SetNamedSecurityInfoW without storing the new list, so a
    // folder it made stays readable by Everyone there.
    if (testsupport::RunsUnderWine())
        return;
    EXPECT_EQ(platform::CheckFolderPrivacy(testsupport::ToCString(folder), false), platform::EFolderPrivacy::ePrivate);
}

// Every test logs into its own application-data folder.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_appData.emplace(m_dataHome.Path());
        CloseLogFile();
    }
    void TearDown() override
    {
        CloseLogFile();
        m_appData.reset();
    }
    fs::path LogFolder() const { return m_dataHome.Path() / "Orvelin" / "veilcase" / "LogFiles"; }
    fs::path LogPath() const { return LogFolder() / ("Log" + Today("%Y%m%d") + ".txt"); }
    std::string LogText() const { return fs::exists(LogPath()) ? testsupport::ReadFile(LogPath()) : std::string(); }
    // The log folder, made as the log makes it (private to the user).
    void MakeLogFolder() const
    {
        fs::create_directories(LogFolder().parent_path());
        ASSERT_EQ(platform::EnsurePrivateFolder(testsupport::ToCString(LogFolder()), true),
                  platform::EFolderPrivacy::ePrivate);
    }

    testsupport::TempDir m_dataHome{"data"};
    std::optional<testsupport::ScopedAppDataFolder> m_appData;
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
    ExpectPrivateFolder(LogFolder());
#ifndef _WIN32
    EXPECT_EQ(fs::status(LogFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(LogPath()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
#endif
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
    m_appData->Set(blocker);
    EXPECT_NO_THROW(WriteLog(eLogError, u"lost %d", 1));
    EXPECT_NO_THROW(WriteLog(eLogError, u"lost %d", 2));
    EXPECT_EQ(testsupport::ReadFile(blocker), "not a folder");

    m_appData->Set(m_dataHome.Path());
    WriteLog(eLogDebug, u"kept");
    std::string text = LogText();
    EXPECT_EQ(text.find(Header()), 0u);
    EXPECT_NE(text.find("\tkept\r\n"), std::string::npos);
    EXPECT_EQ(text.find("lost"), std::string::npos);
}

TEST_F(LogTest, PercentSignsAreSingleInTheFileAndDoubledOnTheConsole)
{
    SRun run = RunLogWriter({"--message", "0", "50% done"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(std::regex_match(run.console, std::regex(R"(DEBUG: \d\d:\d\d:\d\d 50%% done)" + kConsoleLineEnd)))
        << run.console;
    EXPECT_NE(LogText().find(" \t50% done\r\n"), std::string::npos);

    run = RunLogWriter({"--message", "5", "no prefix"});
    EXPECT_TRUE(std::regex_match(run.console, std::regex(R"(\d\d:\d\d:\d\d no prefix)" + kConsoleLineEnd)))
        << run.console;
    EXPECT_NE(LogText().find(" \tno prefix\r\n"), std::string::npos);

    const std::map<std::string, std::string> prefixes{{"1", "WARNG: "}, {"2", "ERROR: "}, {"3", "CHILD: "}};
    for (const auto& [level, prefix] : prefixes) {
        run = RunLogWriter({"--message", level, "x"});
        EXPECT_EQ(run.console.rfind(prefix, 0), 0u) << run.console;
        EXPECT_EQ(run.console.find('\x1b'), std::string::npos) << "no colours when output is no terminal";
    }
    EXPECT_EQ(LogText().find("DEBUG"), std::string::npos) << "prefixes stay out of the file";
}

TEST_F(LogTest, StandardOutputStaysTheProgramsOwn)
{
    // A program that loaded the library may write its data to standard
    // output: log lines must never land there.
    SRun run = RunLogWriter({"--message", "2", "an error with /some/path"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_NE(run.console.find("an error with /some/path"), std::string::npos) << run.console;
    EXPECT_NE(LogText().find("an error with /some/path"), std::string::npos) << run.console;
}

#ifndef _WIN32
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

// A FIFO is a POSIX file type; Windows keeps named pipes out of the file
// system, so nothing like it can take the log file's place there.
TEST_F(LogTest, AFifoInPlaceOfTheDaysFileNeitherBlocksNorTakesTheLines)
{
    MakeLogFolder();
    ASSERT_EQ(mkfifo(LogPath().c_str(), 0600), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = StartLogWriter({"--message", "2", "still on the console"}, fds[1]);
    close(fds[1]);
    EXPECT_EQ(WaitAtMostFiveSeconds(pid), 0) << "logging waited for a reader of the FIFO";
    std::string console = ReadAll(fds[0]);
    close(fds[0]);
    EXPECT_NE(console.find("still on the console"), std::string::npos);
    EXPECT_TRUE(fs::is_fifo(LogPath()));
}
#endif

TEST_F(LogTest, AFolderInPlaceOfTheDaysFileTakesNoLinesUntilItIsGone)
{
    MakeLogFolder();
    fs::create_directory(LogPath());
    EXPECT_NO_THROW(WriteLog(eLogError, u"only on the console"));
    EXPECT_TRUE(fs::is_directory(LogPath()));
    EXPECT_TRUE(fs::is_empty(LogPath()));

    fs::remove(LogPath());
    WriteLog(eLogDebug, u"kept");
    std::string text = LogText();
    EXPECT_EQ(text.find(Header()), 0u);
    EXPECT_NE(text.find("\tkept\r\n"), std::string::npos);
    EXPECT_EQ(text.find("only on the console"), std::string::npos);
}

#ifdef _WIN32
// Windows' sharing modes: others may read the day's file while processes log
// into it; a reader that denies writing keeps the lines on the console only
// until it lets go.
TEST_F(LogTest, ReadersShareTheDaysFileAndOneDenyingWritesOnlyDelaysTheFile)
{
    WriteLog(eLogDebug, u"first");
    HANDLE reader = CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE) << GetLastError();
    WriteLog(eLogDebug, u"second");
    CloseHandle(reader);

    CloseLogFile();
    HANDLE denying = CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(denying, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_NO_THROW(WriteLog(eLogDebug, u"while denied"));
    CloseHandle(denying);
    WriteLog(eLogDebug, u"after");

    std::string text = LogText();
    EXPECT_NE(text.find("\tfirst\r\n"), std::string::npos);
    EXPECT_NE(text.find("\tsecond\r\n"), std::string::npos);
    EXPECT_EQ(text.find("while denied"), std::string::npos);
    EXPECT_GT(text.find("\tafter\r\n"), text.rfind(Header())) << "reopened with a fresh header";
}
#endif

TEST_F(LogTest, ALinkedLogFolderIsNeitherFollowedNorChanged)
{
    // Somebody's folder, readable by others, that the log folder points to.
    testsupport::TempDir elsewhere{"elsewhere"};
#ifndef _WIN32
    fs::permissions(elsewhere.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace);
#endif
    fs::create_directories(LogFolder().parent_path());
    std::string why;
    if (!MakeLink(elsewhere.Path(), LogFolder(), true, why))
        GTEST_SKIP() << "no link to a folder can be made here: " << why;

    EXPECT_NO_THROW(WriteLog(eLogError, u"command line with a secret path"));
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
#ifndef _WIN32
    EXPECT_EQ(fs::status(elsewhere.Path()).permissions() & fs::perms::others_read, fs::perms::others_read);
    EXPECT_TRUE(fs::is_symlink(LogFolder()));
#endif

    // Once the link is gone, the folder is made and used.
    CloseLogFile();
    fs::remove(LogFolder());
    WriteLog(eLogDebug, u"kept");
    EXPECT_NE(LogText().find("\tkept\r\n"), std::string::npos);
    ExpectPrivateFolder(LogFolder());
}

TEST_F(LogTest, ALogFolderOfAnotherUserTakesNoLines)
{
    MakeLogFolder();
    std::string why;
    if (!GiveAway(LogFolder(), why))
        GTEST_SKIP() << "no folder of another user can be made here: " << why;
    EXPECT_NO_THROW(WriteLog(eLogError, u"command line with a secret path"));
    EXPECT_FALSE(fs::exists(LogPath()));
}

TEST_F(LogTest, ADaysFileThatIsALinkTakesNoLines)
{
    MakeLogFolder();
    testsupport::TempDir elsewhere{"elsewhere"};
    const fs::path target = elsewhere.Path() / "somebody's file";
    testsupport::WriteFile(target, "theirs\r\n");
    std::string why;
    if (!MakeLink(target, LogPath(), false, why))
        GTEST_SKIP() << "no link to a file can be made here: " << why;
    EXPECT_NO_THROW(WriteLog(eLogError, u"command line with a secret path"));
    EXPECT_EQ(testsupport::ReadFile(target), "theirs\r\n");
}

TEST_F(LogTest, ADaysFileOfAnotherUserTakesNoLines)
{
    MakeLogFolder();
    testsupport::WriteFile(LogPath(), "");
    std::string why;
    if (!GiveAway(LogPath(), why))
        GTEST_SKIP() << "no file of another user can be made here: " << why;
    EXPECT_NO_THROW(WriteLog(eLogError, u"command line with a secret path"));
    EXPECT_EQ(fs::file_size(LogPath()), 0u);
}

#ifndef _WIN32
// A Windows console can't be had under Wine without a display (AllocConsole
// succeeds, but its handles are no console; a pseudo console's output stays
// empty), so the colours are checked on a Linux terminal only.
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
        pid_t pid = StartLogWriter({"--message", level, "coloured"}, slave);
        close(slave);
        std::string out = ReadAll(master);
        close(master);
        EXPECT_EQ(WaitFor(pid), 0);
        EXPECT_EQ(out.rfind(colour, 0), 0u) << out;
        EXPECT_NE(out.find("coloured\x1b[0m"), std::string::npos) << out;
    }
}
#endif

TEST_F(LogTest, TwoProcessesShareOneFileWithoutLosingOrTearingLines)
{
    constexpr int kLines = 1500;
    const std::string padding = "300";
    ChildProcess a = StartLogWriter({std::to_string(kLines), "A", "0", padding});
    ChildProcess b = StartLogWriter({std::to_string(kLines), "B", "1", padding});
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
