#include "ProcessRunner.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "CapturedRun.h"
#include "platform/CommandLine.h"
#include "Directory.h"
#include "GnuPGRun.h"
#include "Log.h"
#include "OrvException.h"
#include "platform/TempFile.h"
#include "platform/Time.h"
#include "resources/resource.h"

namespace {

const char* const kSource = "Common\\EncryptionGnuPG";

// Polling of the captured run: waits on the process, reading slices while
// it runs, a last slice once it has ended, sleeps while the pipe is empty.
constexpr DWORD ciWaitSliceMs = 100;
constexpr DWORD ciFinalReadMs = 20;
constexpr int ciIdleSleepMs = 10;
// How long to wait for a killed process to be gone before returning.
constexpr DWORD ciKilledWaitMs = 1000;

void AppendUtf8(CString& output, std::string& pending, bool flush)
{
    CCapturedRun::AppendUtf8(output, pending, flush);
}

// Terminates one process by handle; logs and returns false when it refuses.
bool TerminateLogged(platform::CProcessHandle& process, DWORD exitCode)
{
    if (process.Terminate(exitCode))
        return true;
    WriteLog(eLogError, u"Terminate process failed. Reason %u", static_cast<unsigned>(platform::LastError()));
    return false;
}

// Size of one read from the status channel.
constexpr size_t ciReadChunkBytes = 64 * 1024;

// An error code with the system's text for it.
CString ErrorText(DWORD error)
{
    CString text = COrvException::GetLastErrorMessage(error);
    CString result;
    result.Format(u"%s (error %u)", text.GetString(), static_cast<unsigned>(error));
    return result;
}

[[noreturn]] void ThrowGnuPGError(UINT messageId, const CString& details, UINT line)
{
    throw new COrvException(messageId, details, kSource, line);
}

} // namespace

void ReadPipeOutput(platform::CPipeReader& pipe, DWORD durationMs, CString& output, std::string* pending)
{
    std::string local;
    std::string& carry = pending ? *pending : local;
    const ULONGLONG start = platform::GetTickCount64();
    std::vector<char> buffer;
    while (platform::GetTickCount64() - start < durationMs) {
        DWORD available = 0;
        DWORD result = pipe.Peek(available);
        if (result == ERROR_BROKEN_PIPE) {
            WriteLog(eLogDebug, u"Process Pipe closed\n");
            break;
        }
        if (result != ERROR_SUCCESS)
            available = 0;
        if (available == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ciIdleSleepMs));
            continue;
        }
        buffer.resize(available);
        int read = pipe.Read(buffer.data(), available);
        if (read > 0) {
            carry.append(buffer.data(), static_cast<size_t>(read));
            AppendUtf8(output, carry, false);
        }
    }
    if (!pending)
        AppendUtf8(output, carry, true);
}

bool KillProcessTree(DWORD processId, DWORD /*unused*/)
{
    WriteLog(eLogDebug, u"KillProcessTree. Process 0x%x", static_cast<unsigned>(processId));
    if (processId == 0 || processId == platform::CProcessHandle::Current().GetId())
        return false;
    bool result = true;
    platform::CProcessHandle self = platform::CProcessHandle::Open(processId);
    const ULONGLONG selfStarted = platform::GetProcessStartStamp(self);

    // Bind a handle to every child first, then confirm from a fresh snapshot
    // that each is still a child: an id seen in the first snapshot may have
    // been given to an unrelated process in between. A process older than
    // this one names as its parent an earlier process that had this id
    // (where orphans keep their parent's id): it is no child of this one.
    std::vector<std::pair<DWORD, platform::CProcessHandle>> children;
    for (const platform::SProcessEntry& entry : platform::TakeProcessSnapshot())
        if (entry.parentProcessId == processId && entry.processId != processId) {
            platform::CProcessHandle child = platform::CProcessHandle::Open(entry.processId);
            if (selfStarted != 0 && platform::GetProcessStartStamp(child) < selfStarted)
                continue;
            children.emplace_back(entry.processId, std::move(child));
        }
    if (!children.empty()) {
        std::vector<platform::SProcessEntry> now = platform::TakeProcessSnapshot();
        for (auto& [childId, child] : children) {
            bool stillChild = false;
            for (const platform::SProcessEntry& entry : now)
                if (entry.processId == childId && entry.parentProcessId == processId)
                    stillChild = true;
            if (!stillChild || child.IsNull())
                continue; // gone meanwhile: nothing left to kill
            if (!KillProcessTree(childId))
                result = false;
            if (!TerminateLogged(child, 0))
                result = false;
        }
    }

    if (!self.IsNull() && !TerminateLogged(self, 1))
        result = false;
    return result;
}

bool RunProcess(CString executablePath, CString parameters, UINT timeoutSeconds, CString& output, DWORD* exitCode,
                size_t maxOutputBytes)
{
    if (exitCode)
        *exitCode = 0;
    CCapturedRun run;
    if (!run.Start(executablePath, parameters, timeoutSeconds, maxOutputBytes))
        return false;
    return run.Collect(output, exitCode);
}

std::shared_ptr<platform::CProcessHandle> RunGnuPGWithStatusFile(const CString& gnupgPath, const CString& homeOption,
                                                                 const CString& arguments)
{
    std::unique_ptr<CGnuPGRun> run = CGnuPGRun::Start(gnupgPath, homeOption, arguments);
    run->Wait();
    UINT messageId = run->Finish();
    if (messageId == 0)
        return run->Process();
    ThrowGnuPGError(messageId, CString(), __LINE__);
}

namespace {

// Feeds everything waiting in the status channel to the reader without
// blocking; closes the channel once GnuPG's end is gone. Returns false once
// the reader is over its limit.
bool DrainStatus(platform::CPipeReader& pipe, CGnuPGStatusReader& reader, std::vector<char>& buffer)
{
    while (pipe.IsOpen()) {
        DWORD available = 0;
        DWORD result = pipe.Peek(available);
        if (result != ERROR_SUCCESS) {
            // Every writer gone (or a pipe that can't be read any more, which
            // would keep every wait on it ready): nothing more will come.
            pipe.Close();
            reader.Finish();
            break;
        }
        if (available == 0)
            break;
        int read = pipe.Read(buffer.data(), static_cast<DWORD>(std::min<size_t>(available, buffer.size())));
        if (read <= 0)
            break;
        if (!reader.Feed(std::string_view(buffer.data(), static_cast<size_t>(read))))
            return false;
    }
    return true;
}

} // namespace

EStatusRunEnd RunGnuPGWithStatusChannel(const CString& gnupgPath, const CString& homeOption,
                                        const CString& arguments, platform::EProcessOutput outputMode,
                                        DWORD timeoutSeconds, CGnuPGStatusReader& reader,
                                        const std::function<bool(const SGnuPGStatus&)>& stopWhen, DWORD& exitCode,
                                        CString* failure)
{
    exitCode = 0;
    platform::CChildPipe channel;
    if (DWORD error = channel.Create(); error != ERROR_SUCCESS) {
        CString details;
        details.Format(u"The GnuPG status channel could not be created: %s", ErrorText(error).GetString());
        WriteLogText(eLogError, details);
        if (failure)
            *failure = details;
        return EStatusRunEnd::eNotStarted;
    }
    CString commandLine;
    commandLine.Format(u"\"%s\" %s --status-fd %s %s", gnupgPath.GetString(), homeOption.GetString(),
                       channel.ChildNumber().GetString(), arguments.GetString());
    WriteLog(eLogDebug, u"CreateProcess <%s>", commandLine.GetString());

    platform::CProcessHandle process;
    DWORD error = ERROR_SUCCESS;
    if (!platform::StartProcess(commandLine, outputMode, process, nullptr, error, &channel)) {
        CString details;
        details.Format(u"GnuPG could not be started (%s): %s", gnupgPath.GetString(), ErrorText(error).GetString());
        WriteLog(eLogError, u"CreateProcess failed - error code %u", static_cast<unsigned>(error));
        if (failure)
            *failure = details;
        return EStatusRunEnd::eNotStarted;
    }

    platform::CPipeReader& pipe = channel.Reader();
    std::vector<char> buffer(ciReadChunkBytes);
    const ULONGLONG startMs = platform::GetTickCount64();
    EStatusRunEnd end = EStatusRunEnd::eEnded;
    for (;;) {
        DWORD slice = INFINITE;
        if (timeoutSeconds != INFINITE) {
            const ULONGLONG elapsedMs = platform::GetTickCount64() - startMs;
            if (elapsedMs / 1000 > timeoutSeconds) {
                end = EStatusRunEnd::eTimedOut;
                break;
            }
            const ULONGLONG untilTimeOutMs = (static_cast<ULONGLONG>(timeoutSeconds) + 1) * 1000 - elapsedMs;
            slice = static_cast<DWORD>(std::min<ULONGLONG>(untilTimeOutMs, INFINITE - 1));
        }
        DWORD wait = platform::WaitForProcessOrOutput(&process, {&pipe}, slice);
        if (wait == WAIT_FAILED)
            wait = process.Wait(ciWaitSliceMs); // the process alone can still be watched
        if (!DrainStatus(pipe, reader, buffer)) {
            end = EStatusRunEnd::eOverLimit;
            break;
        }
        if (wait == WAIT_OBJECT_0)
            break;
        if (stopWhen && stopWhen(reader.Status())) {
            end = EStatusRunEnd::eStopped;
            break;
        }
    }

    if (end != EStatusRunEnd::eEnded) {
        // GnuPG itself only: an agent it is starting must be left to finish.
        if (end == EStatusRunEnd::eTimedOut)
            WriteLog(eLogError, u"Process wait timed out - terminating process");
        else if (end == EStatusRunEnd::eOverLimit)
            WriteLog(eLogError, u"Process status exceeds its limit - terminating process");
        else
            WriteLog(eLogDebug, u"Process stopped - GnuPG has said what was asked");
        if (!process.Terminate(1))
            WriteLog(eLogError, u"Terminate process failed. Reason %u", static_cast<unsigned>(platform::LastError()));
        process.Wait(ciKilledWaitMs);
        return end;
    }

    // Everything GnuPG wrote before it ended is waiting in the channel.
    while (pipe.IsOpen() &&
           platform::WaitForProcessOrOutput(nullptr, {&pipe}, ciFinalReadMs) == WAIT_OBJECT_0 + 1) {
        if (!DrainStatus(pipe, reader, buffer)) {
            WriteLog(eLogError, u"Process status exceeds its limit");
            return EStatusRunEnd::eOverLimit;
        }
    }
    reader.Finish();
    DWORD code = 0;
    if (!process.GetExitCode(code)) {
        WriteLog(eLogError, u"GetExitCodeProcess failed - error code %u", static_cast<unsigned>(platform::LastError()));
        return EStatusRunEnd::eLost;
    }
    WriteLog(eLogDebug, u"Process terminated - exitcode 0x%08x", static_cast<unsigned>(code));
    exitCode = code;
    return EStatusRunEnd::eEnded;
}
