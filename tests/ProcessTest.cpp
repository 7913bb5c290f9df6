// Process handles, process start with captured output, snapshots and names.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/CommandLine.h"
#include "platform/Process.h"
#include "TestEnvironment.h"

using namespace platform;

namespace {

CString ChildProc()
{
    return CString::FromUtf8((testsupport::BinDir() / "childproc").string());
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

TEST(ProcessTest, ProgramPathWithBlanksAndParenthesesRunsAndIsSeenInTheSnapshot)
{
    testsupport::TempDir dir;
    std::filesystem::path odd = dir / "sp ace) (x";
    std::filesystem::copy_file(testsupport::BinDir() / "childproc", odd);
    std::filesystem::permissions(odd, std::filesystem::perms::owner_all);

    CProcessHandle process;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(Command({u"exit", u"0", u"5000"}, CString::FromUtf8(odd.string())),
                             EProcessOutput::eInherit, process, nullptr, error))
        << error;
    bool found = false;
    for (const SProcessEntry& entry : TakeProcessSnapshot())
        if (entry.processId == process.GetId()) {
            found = true;
            EXPECT_EQ(entry.parentProcessId, static_cast<DWORD>(getpid()));
        }
    EXPECT_TRUE(found);
    EXPECT_EQ(ProcessAppName(process), CString(u"sp ace) (x"));
    EXPECT_TRUE(process.Terminate(1));
    EXPECT_EQ(process.Wait(INFINITE), WAIT_OBJECT_0);
}

TEST(ProcessTest, AStartThatCannotRunIsReportedAsAFailureOfTheStart)
{
    testsupport::TempDir dir;
    CProcessHandle process;
    CPipeReader pipe;
    DWORD error = 0;

    EXPECT_FALSE(StartProcess(u"\"" + CString::FromUtf8((dir / "missing").string()) + u"\" --version",
                              EProcessOutput::eCapturedPipe, process, &pipe, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(process.IsNull());
    EXPECT_FALSE(pipe.IsOpen());

    EXPECT_FALSE(StartProcess(u"no-such-program-anywhere-xyz", EProcessOutput::eInherit, process, nullptr, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    testsupport::WriteFile(dir / "notexec", "data");
    EXPECT_FALSE(StartProcess(CString::FromUtf8((dir / "notexec").string()), EProcessOutput::eInherit, process,
                              nullptr, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_FALSE(StartProcess(u"   ", EProcessOutput::eInherit, process, nullptr, error));
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
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
    // While handles are open the id stays reserved for the ended child ...
    EXPECT_EQ(ProcState(pid), 'Z');
    EXPECT_EQ(CProcessHandle::Open(pid).GetId(), pid);
    // ... and once the last one is closed it is reaped and the id is free
    // for the system to hand out again.
    CProcessHandle kept = std::move(byId);
    child.Close();
    EXPECT_TRUE(ProcessEntryExists(pid));
    kept.Close();
    EXPECT_FALSE(ProcessEntryExists(pid));
    EXPECT_TRUE(CProcessHandle::Open(pid).IsNull() || !CProcessHandle::Open(pid).IsChild());
}

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

TEST(ProcessTest, OpeningByIdAndTheCurrentProcess)
{
    EXPECT_TRUE(CProcessHandle::Open(0).IsNull());
    EXPECT_TRUE(CProcessHandle::Open(0x7FFFFFF0u).IsNull());

    CProcessHandle self = CProcessHandle::Current();
    ASSERT_TRUE(self);
    EXPECT_EQ(self.GetId(), static_cast<DWORD>(getpid()));
    EXPECT_EQ(self.Wait(0), WAIT_TIMEOUT);
    DWORD code = 0;
    EXPECT_TRUE(self.GetExitCode(code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(ProcessAppName(self), CString(u"ProcessTest"));
    EXPECT_TRUE(ProcessAppName(CProcessHandle()).IsEmpty());

    CProcessHandle parent = CProcessHandle::Open(static_cast<DWORD>(getppid()));
    ASSERT_TRUE(parent);
    EXPECT_FALSE(parent.IsChild());
    EXPECT_TRUE(parent.GetExitCode(code));
    EXPECT_EQ(code, STILL_ACTIVE);
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
    DWORD code = 0;
    EXPECT_TRUE(grandchild.GetExitCode(code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(ProcessAppName(grandchild), CString(u"childproc"));
    // The grandchild still holds the pipe's writing end: not broken yet.
    DWORD available = 0;
    EXPECT_EQ(pipe.Peek(available), static_cast<DWORD>(ERROR_SUCCESS));

    EXPECT_TRUE(grandchild.Terminate(7));
    EXPECT_EQ(grandchild.Wait(INFINITE), WAIT_OBJECT_0);
    // Not ours: the status can't be read, so an ended one reports 0.
    EXPECT_TRUE(grandchild.GetExitCode(code));
    EXPECT_EQ(code, 0u);
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
