// Process handles, process start with captured output, snapshots and names.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/CommandLine.h"
#include "platform/Process.h"
#include "TestEnvironment.h"

using namespace platform;

namespace {

// What follows a program's name in its file name (and so in its
// application name).
#ifdef _WIN32
const char16_t* const kExeSuffix = u".exe";
#else
const char16_t* const kExeSuffix = u"";
#endif

CString ChildProc()
{
    return testsupport::ToCString(testsupport::BinDir() / "childproc");
}

CString Command(std::initializer_list<CString> args, const CString& program = ChildProc())
{
    CString line = u"\"" + program + u"\"";
    for (const CString& arg : args)
        line += u" " + QuoteArgument(arg);
    return line;
}

// Reads the pipe until every writer has closed it (bounded so a broken test
// cannot hang the suite).
std::string ReadToEnd(CPipeReader& pipe)
{
    std::string text;
    for (int round = 0; round < 3000; ++round) {
        DWORD available = 0;
        DWORD state = pipe.Peek(available);
        if (state == ERROR_BROKEN_PIPE)
            break;
        EXPECT_EQ(state, static_cast<DWORD>(ERROR_SUCCESS));
        if (available == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        std::string chunk(available, '\0');
        int n = pipe.Read(chunk.data(), available);
        EXPECT_EQ(n, static_cast<int>(available)); // what Peek promised is there
        chunk.resize(n > 0 ? static_cast<size_t>(n) : 0);
        text += chunk;
    }
    return text;
}

std::string ReadLine(CPipeReader& pipe)
{
    std::string line;
    for (int round = 0; round < 3000; ++round) {
        char ch;
        int n = pipe.Read(&ch, 1);
        if (n == 1) {
            if (ch == '\n')
                return line;
            line += ch;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return line;
}

// The parent of a process as the snapshot lists it; 0 when it is not listed.
DWORD ParentInSnapshot(DWORD pid)
{
    for (const SProcessEntry& entry : TakeProcessSnapshot())
        if (entry.processId == pid)
            return entry.parentProcessId;
    return 0;
}

#ifndef _WIN32
bool ProcessEntryExists(DWORD pid)
{
    return std::filesystem::exists("/proc/" + std::to_string(pid));
}

char ProcState(DWORD pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}
#endif

} // namespace

TEST(ProcessTest, ArgumentsReachTheChildIntactAndBothStreamsAreCaptured)
{
    const CString args[] = {
        u"plain",        u"with blank",          u"quote\"inside", u"trail\\",
        u"a\\\\\"b",     u"",                    u"tab\there",     u"Jürgen Müller ñ 日本",
        u"\\\\server\\", u"\"fully quoted\"",
    };
    CString line = Command({u"args"});
    for (const CString& arg : args)
        line += u" " + QuoteArgument(arg);

    CProcessHandle process;
    CPipeReader pipe;
    DWORD error = ERROR_GEN_FAILURE;
    ASSERT_TRUE(StartProcess(line, EProcessOutput::eCapturedPipe, process, &pipe, error)) << error;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(process);
    EXPECT_TRUE(process.IsChild());
    std::string output = ReadToEnd(pipe);
    ASSERT_EQ(process.Wait(INFINITE), WAIT_OBJECT_0);

    std::string expected;
    for (const CString& arg : args)
        expected += arg.ToUtf8() + "\n";
    expected += "on stderr\n";
    EXPECT_EQ(output, expected);
    DWORD code = 1234;
    EXPECT_TRUE(process.GetExitCode(code));
    EXPECT_EQ(code, 0u);
}

TEST(ProcessTest, TheChildSplitsARawCommandLineAsSplitCommandLineDoes)
{
    // Lines written by hand rather than by QuoteArgument: what the child's
    // runtime makes of them is what the split promises.
    const char16_t* const tails[] = {
        u"a\"b c\"d",    u"\"a\"\"b\"",       u"\"a\"\"b c\" d", u"\\\\\"x y\"",  u"a\\\\b c\\",
        u"\\\"",       u"\"unterminated x", u"\"\" \"\"",      u"a\tb  c   ",  u"\"\"\"\"\"\" z",
        u"x\\\\\\\"y", u"\"a b\"c\" d\"",
    };
    for (const char16_t* tail : tails) {
        CString line = Command({u"args"}) + u" " + tail;
        std::vector<CString> tokens = SplitCommandLine(line);
        ASSERT_GE(tokens.size(), 2u);
        std::string expected;
        for (size_t i = 2; i < tokens.size(); ++i)
            expected += tokens[i].ToUtf8() + "\n";
        expected += "on stderr\n";

        CProcessHandle process;
        CPipeReader pipe;
        DWORD error = 0;
        ASSERT_TRUE(StartProcess(line, EProcessOutput::eCapturedPipe, process, &pipe, error)) << error;
        EXPECT_EQ(ReadToEnd(pipe), expected) << CString(tail).ToUtf8();
        EXPECT_EQ(process.Wait(INFINITE), WAIT_OBJECT_0);
    }
}

TEST(ProcessTest, ProgramPathWithBlanksAndParenthesesRunsAndIsSeenInTheSnapshot)
{
    testsupport::TempDir dir;
    const CString name = CString(u"sp ace) (x") + kExeSuffix;
    std::filesystem::path odd = dir.Path() / name.GetString();
    std::filesystem::copy_file(testsupport::BinDir() / (CString(u"childproc") + kExeSuffix).GetString(), odd);
    std::filesystem::permissions(odd, std::filesystem::perms::owner_all);

    CProcessHandle process;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"0", u"5000"}, testsupport::ToCString(odd)),
                             EProcessOutput::eInherit, process, nullptr, error))
        << error;
    EXPECT_EQ(ParentInSnapshot(process.GetId()), CurrentProcessId());
    EXPECT_EQ(ProcessAppName(process), name);
    EXPECT_TRUE(process.Terminate(1));
    EXPECT_EQ(process.Wait(INFINITE), WAIT_OBJECT_0);
}

TEST(ProcessTest, AStartThatCannotRunIsReportedAsAFailureOfTheStart)
{
    testsupport::TempDir dir;
    CProcessHandle process;
    CPipeReader pipe;
    DWORD error = 0;

    EXPECT_FALSE(StartProcess(u"\"" + testsupport::ToCString(dir / "missing") + u"\" --version",
                              EProcessOutput::eCapturedPipe, process, &pipe, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(process.IsNull());
    EXPECT_FALSE(pipe.IsOpen());

    EXPECT_FALSE(StartProcess(u"no-such-program-anywhere-xyz", EProcessOutput::eInherit, process, nullptr, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A program file whose content is no program.
    const CString garbage = CString(u"garbage") + kExeSuffix;
    testsupport::WriteFile(dir.Path() / garbage.GetString(), "data that is no program\n");
    std::filesystem::permissions(dir.Path() / garbage.GetString(), std::filesystem::perms::owner_all);
    EXPECT_FALSE(StartProcess(u"\"" + testsupport::ToCString(dir.Path() / garbage.GetString()) + u"\"",
                              EProcessOutput::eCapturedPipe, process, &pipe, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_TRUE(process.IsNull());
    EXPECT_FALSE(pipe.IsOpen());

#ifndef _WIN32
    // Without the execute permission (Windows has no such bit).
    testsupport::WriteFile(dir / "notexec", "data");
    EXPECT_FALSE(StartProcess(testsupport::ToCString(dir / "notexec"), EProcessOutput::eInherit, process, nullptr,
                              error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
#endif

    // A folder is no program.
    EXPECT_FALSE(StartProcess(u"\"" + testsupport::ToCString(dir.Path()) + u"\"", EProcessOutput::eInherit, process,
                              nullptr, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // Output captured for nobody is refused before anything starts.
    EXPECT_FALSE(StartProcess(Command({u"exit", u"0"}), EProcessOutput::eCapturedPipe, process, nullptr, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(process.IsNull());

    EXPECT_FALSE(StartProcess(u"   ", EProcessOutput::eInherit, process, nullptr, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(StartProcess(u"", EProcessOutput::eInherit, process, nullptr, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ProcessTest, ExitCodesWaitsAndTermination)
{
    CProcessHandle running;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"0", u"60000"}), EProcessOutput::eInherit, running, nullptr, error));
    DWORD code = 0;
    EXPECT_EQ(running.Wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(running.Wait(20), WAIT_TIMEOUT);
    EXPECT_TRUE(running.GetExitCode(code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_TRUE(running.Terminate(5));
    EXPECT_EQ(running.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(running.GetExitCode(code));
    EXPECT_EQ(code, 5u);
    // Terminating an ended process is not a failure and changes nothing.
    EXPECT_TRUE(running.Terminate(9));
    EXPECT_TRUE(running.GetExitCode(code));
    EXPECT_EQ(code, 5u);

    CProcessHandle exiting;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"42"}), EProcessOutput::eInherit, exiting, nullptr, error));
    EXPECT_EQ(exiting.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(exiting.GetExitCode(code));
    EXPECT_EQ(code, 42u);

    // A process that exits with STILL_ACTIVE's value reads as running; only
    // Wait tells that it has ended.
    CProcessHandle pretending;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"259"}), EProcessOutput::eInherit, pretending, nullptr, error));
    EXPECT_EQ(pretending.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(pretending.GetExitCode(code));
#ifdef _WIN32
    EXPECT_EQ(code, STILL_ACTIVE);
#else
    // A POSIX exit status keeps only the low eight bits.
    EXPECT_EQ(code, 259u & 0xFFu);
#endif

    CProcessHandle none;
    EXPECT_EQ(none.Wait(0), WAIT_FAILED);
    EXPECT_FALSE(none.GetExitCode(code));
    EXPECT_FALSE(none.Terminate(1));
    EXPECT_EQ(none.GetId(), 0u);
}

TEST(ProcessTest, AnEndedChildKeepsItsIdAndStatusUntilItsLastHandleCloses)
{
    CProcessHandle child;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"3"}), EProcessOutput::eInherit, child, nullptr, error));
    DWORD pid = child.GetId();
    // A second handle opened by id shares what the first learns.
    CProcessHandle byId = CProcessHandle::Open(pid);
    ASSERT_TRUE(byId);
    EXPECT_TRUE(byId.IsChild());
    ASSERT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(child.GetExitCode(code));
    EXPECT_EQ(code, 3u);
    EXPECT_EQ(byId.Wait(0), WAIT_OBJECT_0);
    EXPECT_TRUE(byId.GetExitCode(code));
    EXPECT_EQ(code, 3u);
    // While handles are open the id stays reserved for the ended child, and
    // opening it again finds the ended child with its status ...
#ifndef _WIN32
    EXPECT_EQ(ProcState(pid), 'Z');
#endif
    CProcessHandle again = CProcessHandle::Open(pid);
    ASSERT_TRUE(again);
    EXPECT_EQ(again.GetId(), pid);
    EXPECT_TRUE(again.IsChild());
    EXPECT_EQ(again.Wait(0), WAIT_OBJECT_0);
    EXPECT_TRUE(again.GetExitCode(code));
    EXPECT_EQ(code, 3u);
    again.Close();
    // ... an ended process is no longer listed ...
    EXPECT_EQ(ParentInSnapshot(pid), 0u);
    // ... and once the last handle is closed the id is free for the system
    // to hand out again.
    CProcessHandle kept = std::move(byId);
    child.Close();
#ifndef _WIN32
    EXPECT_TRUE(ProcessEntryExists(pid));
#endif
    kept.Close();
#ifndef _WIN32
    EXPECT_FALSE(ProcessEntryExists(pid));
#endif
    CProcessHandle reopened = CProcessHandle::Open(pid);
    // Wine drops its own reference to an ended process a moment after the
    // last handle has gone (about half a second); Windows at once.
    for (int waited = 0; testsupport::RunsUnderWine() && reopened && reopened.IsChild() && waited < 5000;
         waited += 50) {
        reopened.Close();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        reopened = CProcessHandle::Open(pid);
    }
    EXPECT_TRUE(reopened.IsNull() || !reopened.IsChild());
}

#ifndef _WIN32
// Reaping and SIGCHLD are POSIX facts: a Windows process object keeps its
// exit code for every handle.

TEST(ProcessTest, AChildWhoseStatusOtherCodeCollectedHasNoExitCode)
{
    // Code of a host process (a SIGCHLD handler that reaps every child, or
    // SIGCHLD set to be ignored) can take a child's status before we read
    // it; the child must not then pass for one that exited with 0.
    CProcessHandle child;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"3"}), EProcessOutput::eInherit, child, nullptr, error));
    int status = 0;
    ASSERT_EQ(waitpid(static_cast<pid_t>(child.GetId()), &status, 0), static_cast<pid_t>(child.GetId()));
    EXPECT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
    DWORD code = 1234;
    EXPECT_FALSE(child.GetExitCode(code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(child.GetExitCode(code)); // and stays so
}
#endif

TEST(ProcessTest, OpeningByIdAndTheCurrentProcess)
{
    EXPECT_TRUE(CProcessHandle::Open(0).IsNull());
    EXPECT_TRUE(CProcessHandle::Open(0x7FFFFFF0u).IsNull());

    CProcessHandle self = CProcessHandle::Current();
    ASSERT_TRUE(self);
#ifdef _WIN32
    EXPECT_EQ(CurrentProcessId(), static_cast<DWORD>(::GetCurrentProcessId()));
#else
    EXPECT_EQ(CurrentProcessId(), static_cast<DWORD>(getpid()));
#endif
    EXPECT_EQ(self.GetId(), CurrentProcessId());
    EXPECT_FALSE(self.IsChild());
    EXPECT_EQ(self.Wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(self.Wait(20), WAIT_TIMEOUT);
    DWORD code = 0;
    EXPECT_TRUE(self.GetExitCode(code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(ProcessAppName(self), CString(u"ProcessTest") + kExeSuffix);
    EXPECT_TRUE(ProcessAppName(CProcessHandle()).IsEmpty());
    CProcessHandle selfById = CProcessHandle::Open(CurrentProcessId());
    ASSERT_TRUE(selfById);
    EXPECT_FALSE(selfById.IsChild());
    EXPECT_EQ(selfById.Wait(0), WAIT_TIMEOUT);
}

TEST(ProcessTest, TheParentIsOpenedAsAProcessThatIsNotOurs)
{
    // The snapshot names our parent, which runs on.
    DWORD parentId = ParentInSnapshot(CurrentProcessId());
#ifndef _WIN32
    EXPECT_EQ(parentId, static_cast<DWORD>(getppid()));
#else
    if (testsupport::RunsUnderWine() && CProcessHandle::Open(parentId).IsNull())
        GTEST_SKIP() << "Wine lists the Linux process that started the test as parent, which is no Windows process";
#endif
    CProcessHandle parent = CProcessHandle::Open(parentId);
    ASSERT_TRUE(parent) << parentId;
    EXPECT_FALSE(parent.IsChild());
    DWORD code = 0;
    EXPECT_TRUE(parent.GetExitCode(code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(parent.Wait(0), WAIT_TIMEOUT);
}

TEST(ProcessTest, AHandleToAnotherProcessStaysBoundToItAfterItsIdIsFree)
{
    CProcessHandle child;
    CPipeReader pipe;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"spawn", u"60000"}), EProcessOutput::eCapturedPipe, child, &pipe, error));
    DWORD grandchildId = static_cast<DWORD>(std::stoul(ReadLine(pipe)));
    ASSERT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);

    CProcessHandle grandchild = CProcessHandle::Open(grandchildId);
    ASSERT_TRUE(grandchild);
    EXPECT_FALSE(grandchild.IsChild());
#ifdef _WIN32
    // The id of the ended parent stays recorded (it may name a newer
    // process by now) ...
    EXPECT_EQ(ParentInSnapshot(grandchildId), child.GetId());
#else
    // ... where POSIX has the orphan adopted.
    EXPECT_NE(ParentInSnapshot(grandchildId), child.GetId());
    EXPECT_NE(ParentInSnapshot(grandchildId), 0u);
#endif
    DWORD code = 0;
    EXPECT_TRUE(grandchild.GetExitCode(code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(ProcessAppName(grandchild), CString(u"childproc") + kExeSuffix);
    // The grandchild still holds the pipe's writing end: not broken yet.
    DWORD available = 0;
    EXPECT_EQ(pipe.Peek(available), static_cast<DWORD>(ERROR_SUCCESS));

    EXPECT_TRUE(grandchild.Terminate(7));
    EXPECT_EQ(grandchild.Wait(INFINITE), WAIT_OBJECT_0);
    // Ended through this handle, it has the code given there.
    EXPECT_TRUE(grandchild.GetExitCode(code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(ReadToEnd(pipe), "");
    EXPECT_EQ(pipe.Peek(available), static_cast<DWORD>(ERROR_BROKEN_PIPE));

    // Its id is free now (someone else reaped it). Whatever starts meanwhile,
    // the handle goes on naming the ended process and never reaches another.
    for (int i = 0; i < 20; ++i) {
        CProcessHandle other;
        ASSERT_TRUE(StartProcess(Command({u"exit", u"0", u"2000"}), EProcessOutput::eInherit, other, nullptr, error));
        EXPECT_EQ(grandchild.Wait(0), WAIT_OBJECT_0);
        EXPECT_TRUE(grandchild.Terminate(1));
        EXPECT_EQ(other.Wait(0), WAIT_TIMEOUT); // not killed through the old handle
        other.Terminate(0);
    }
    EXPECT_TRUE(ProcessAppName(grandchild).IsEmpty());
}

#ifndef _WIN32
// Zombies and descriptor inheritance are POSIX facts; the Windows
// counterpart of the second is the test below.
TEST(ProcessTest, NoZombieIsLeftEvenWhenTheHandleWasClosedEarly)
{
    CProcessHandle child;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"0", u"100"}), EProcessOutput::eInherit, child, nullptr, error));
    DWORD pid = child.GetId();
    child.Close();
    EXPECT_TRUE(child.IsNull());
    // Any later call into the process module reaps it once it has ended.
    bool gone = false;
    for (int i = 0; i < 400 && !gone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        TakeProcessSnapshot();
        gone = !ProcessEntryExists(pid);
    }
    EXPECT_TRUE(gone) << "child " << pid << " left in state " << ProcState(pid);
}

TEST(ProcessTest, OnlyTheStandardDescriptorsReachTheChild)
{
    // A descriptor opened without close-on-exec must not leak either.
    int leaky = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    CProcessHandle child;
    CPipeReader pipe;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"fds"}), EProcessOutput::eCapturedPipe, child, &pipe, error));
    std::string output = ReadToEnd(pipe);
    close(leaky);
    EXPECT_EQ(output, "0\n1\n2\n");
    EXPECT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
}
#else
TEST(ProcessTest, OnlyTheStandardHandlesReachTheChild)
{
    // An inheritable handle of ours that the child is not given must not
    // reach it; the handle number is the same in a child that inherits it.
    testsupport::TempDir dir;
    std::filesystem::path file = dir / "inheritable";
    testsupport::WriteFile(file, "x");
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE leaky = ::CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(leaky, INVALID_HANDLE_VALUE);
    const CString number = CString::FromUtf8(std::to_string(reinterpret_cast<std::intptr_t>(leaky)));
    const CString path = testsupport::ToCString(file);

    // Checked first with a child that is meant to inherit it, so that the
    // check itself is known to see a handle that got through.
    std::wstring line(reinterpret_cast<const wchar_t*>(Command({u"handle", number, path}).GetString()));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    SECURITY_ATTRIBUTES pipeAttributes{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readSide = nullptr, writeSide = nullptr;
    ASSERT_TRUE(::CreatePipe(&readSide, &writeSide, &pipeAttributes, 0));
    ::SetHandleInformation(readSide, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeSide;
    startup.hStdError = writeSide;
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info));
    ::CloseHandle(writeSide);
    ::WaitForSingleObject(info.hProcess, INFINITE);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    char said[64] = {};
    DWORD n = 0;
    ::ReadFile(readSide, said, sizeof said - 1, &n, nullptr);
    ::CloseHandle(readSide);
    EXPECT_EQ(std::string(said, n), "open\n");

    CProcessHandle child;
    CPipeReader pipe;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"handle", number, path}), EProcessOutput::eCapturedPipe, child, &pipe, error));
    EXPECT_EQ(ReadToEnd(pipe), "closed\n");
    EXPECT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
    ::CloseHandle(leaky);
}
#endif

TEST(ProcessTest, AChildPipeReachesTheChildUnderTheNumberItNames)
{
    CChildPipe channel;
    EXPECT_TRUE(channel.ChildNumber().IsEmpty());
    ASSERT_EQ(channel.Create(), static_cast<DWORD>(ERROR_SUCCESS));
    const CString number = channel.ChildNumber();
    ASSERT_FALSE(number.IsEmpty());

    CProcessHandle child;
    CPipeReader output;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"write", number, u"[GNUPG:] NEWSIG"}), EProcessOutput::eCapturedPipe, child,
                             &output, error, &channel))
        << error;
    EXPECT_EQ(ReadToEnd(channel.Reader()), "[GNUPG:] NEWSIG\n");
    EXPECT_EQ(ReadToEnd(output), "");
    ASSERT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
    DWORD code = 1;
    EXPECT_TRUE(child.GetExitCode(code));
    EXPECT_EQ(code, 0u);
    // Once the child has gone the pipe is broken: nobody else kept the
    // writing end.
    DWORD available = 1;
    EXPECT_EQ(channel.Reader().Peek(available), static_cast<DWORD>(ERROR_BROKEN_PIPE));
    EXPECT_EQ(available, 0u);

    // With the standard output discarded the pipe still carries its lines.
    CChildPipe second;
    ASSERT_EQ(second.Create(), static_cast<DWORD>(ERROR_SUCCESS));
    CProcessHandle quiet;
    ASSERT_TRUE(StartProcess(Command({u"write", second.ChildNumber(), u"second"}), EProcessOutput::eDiscarded, quiet,
                             nullptr, error, &second))
        << error;
    EXPECT_EQ(ReadToEnd(second.Reader()), "second\n");
    ASSERT_EQ(quiet.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(quiet.GetExitCode(code));
    EXPECT_EQ(code, 0u);
}

TEST(ProcessTest, WaitingForAProcessOrItsOutput)
{
    CProcessHandle quiet;
    CPipeReader silence;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"0", u"60000"}), EProcessOutput::eCapturedPipe, quiet, &silence,
                             error));
    EXPECT_EQ(WaitForProcessOrOutput(&quiet, {&silence}, 30), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForProcessOrOutput(nullptr, {&silence}, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(quiet.Terminate(0));
    EXPECT_EQ(WaitForProcessOrOutput(&quiet, {}, INFINITE), WAIT_OBJECT_0);

    CProcessHandle talking;
    CPipeReader said;
    ASSERT_TRUE(StartProcess(Command({u"args", u"x"}), EProcessOutput::eCapturedPipe, talking, &said, error));
    // Whichever comes first, the output is there to read once either has.
    DWORD result = WaitForProcessOrOutput(&talking, {&said}, INFINITE);
    EXPECT_TRUE(result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1) << result;
    EXPECT_EQ(ReadToEnd(said), "x\non stderr\n");
    EXPECT_EQ(talking.Wait(INFINITE), WAIT_OBJECT_0);

    CProcessHandle none;
    EXPECT_EQ(WaitForProcessOrOutput(&none, {}, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForProcessOrOutput(nullptr, {}, 0), WAIT_FAILED);
}

TEST(ProcessTest, StartStampsTellProcessesApartAndAgesGrow)
{
    CProcessHandle first;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"0", u"60000"}), EProcessOutput::eInherit, first, nullptr, error));
    const ULONGLONG firstStamp = GetProcessStartStamp(first);
    EXPECT_NE(firstStamp, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    CProcessHandle second;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"0", u"60000"}), EProcessOutput::eInherit, second, nullptr, error));
    // The same for the life of a process, whichever handle asks; later for
    // a process started later.
    EXPECT_EQ(GetProcessStartStamp(CProcessHandle::Open(first.GetId())), firstStamp);
    EXPECT_GT(GetProcessStartStamp(second), firstStamp);
    EXPECT_GE(GetProcessStartStamp(CProcessHandle::Current()), 1u);
    EXPECT_LE(GetProcessStartStamp(CProcessHandle::Current()), firstStamp);

    ULONGLONG firstAge = 0, secondAge = 0;
    ASSERT_TRUE(GetProcessAge(first, firstAge));
    ASSERT_TRUE(GetProcessAge(second, secondAge));
    // The first has run for at least the pause (less the clock's ticks).
    EXPECT_GE(firstAge, 150u);
    EXPECT_GE(firstAge, secondAge);

    ASSERT_TRUE(first.Terminate(0));
    ASSERT_EQ(first.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(GetProcessStartStamp(first), 0u);
    EXPECT_FALSE(GetProcessAge(first, firstAge));
    EXPECT_EQ(firstAge, 0u);
    EXPECT_EQ(GetProcessStartStamp(CProcessHandle()), 0u);
    EXPECT_FALSE(GetProcessAge(CProcessHandle(), secondAge));
    second.Terminate(0);
    second.Wait(INFINITE);
}

TEST(ProcessTest, MovingAndReadingAClosedPipe)
{
    CPipeReader empty;
    DWORD available = 1;
    char buffer[4];
    EXPECT_EQ(empty.Peek(available), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(available, 0u);
    EXPECT_EQ(empty.Read(buffer, sizeof buffer), -1);

    CProcessHandle child;
    CPipeReader pipe;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"args", u"x"}), EProcessOutput::eCapturedPipe, child, &pipe, error));
    CPipeReader moved(std::move(pipe));
    EXPECT_FALSE(pipe.IsOpen());
    EXPECT_EQ(ReadToEnd(moved), "x\non stderr\n");
    CProcessHandle movedHandle(std::move(child));
    EXPECT_TRUE(child.IsNull());
    EXPECT_EQ(movedHandle.Wait(INFINITE), WAIT_OBJECT_0);
}
