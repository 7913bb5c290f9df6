#include "ProcessRunner.h"

#include <algorithm>
#include <thread>
#include <vector>

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
constexpr DWORD ciReadSliceMs = 500;
constexpr DWORD ciFinalReadMs = 20;
constexpr int ciIdleSleepMs = 10;
// How long to wait for a killed process to be gone before returning.
constexpr DWORD ciKilledWaitMs = 1000;

// Number of leading bytes of `bytes` that form complete UTF-8 sequences; an
// incomplete sequence at the end is left for the next read. Bytes that can
// never start a sequence count as complete (they decode to U+FFFD).
size_t CompleteUtf8Length(const std::string& bytes)
{
    size_t n = bytes.size();
    // A sequence is at most 4 bytes: look back over up to 3 continuation bytes.
    for (size_t back = 1; back <= 4 && back <= n; ++back) {
        unsigned char c = static_cast<unsigned char>(bytes[n - back]);
        if ((c & 0xC0) == 0x80)
            continue; // continuation byte: keep looking for the lead byte
        size_t need = (c & 0x80) == 0 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        return need > back ? n - back : n;
    }
    return n;
}

void AppendUtf8(CString& output, std::string& pending, bool flush)
{
    size_t complete = flush ? pending.size() : CompleteUtf8Length(pending);
    if (complete == 0)
        return;
    output += CString::FromUtf8(std::string_view(pending.data(), complete));
    pending.erase(0, complete);
}

// Terminates one process by handle; logs and returns false when it refuses.
bool TerminateLogged(platform::CProcessHandle& process, DWORD exitCode)
{
    if (process.Terminate(exitCode))
        return true;
    WriteLog(eLogError, u"Terminate process failed. Reason %u", static_cast<unsigned>(platform::LastError()));
    return false;
}

// Size of one read from a pipe.
constexpr size_t ciReadChunkBytes = 64 * 1024;

// The output of one captured run: bytes read from its pipe, decoded as UTF-8
// into the caller's text, up to a limit.
struct SCapture {
    SCapture(CString& text, size_t limit) : output(text), maxBytes(limit) {}
    CString& output;
    size_t maxBytes;
    size_t received = 0;
    std::string pending; // the start of a character split between two reads
    std::vector<char> buffer = std::vector<char>(ciReadChunkBytes);

    // Reads everything waiting in the pipe without blocking, and closes the
    // pipe once every writer is gone. Returns false once more than maxBytes
    // have arrived in all; nothing beyond them is kept.
    bool Drain(platform::CPipeReader& pipe)
    {
        while (pipe.IsOpen()) {
            DWORD available = 0;
            int result = pipe.Peek(available);
            if (result == platform::ERROR_BROKEN_PIPE) {
                WriteLog(eLogDebug, u"Process Pipe closed\n");
                pipe.Close();
                break;
            }
            if (result != 0 || available == 0)
                break;
            int read = pipe.Read(buffer.data(), static_cast<DWORD>(std::min<size_t>(available, buffer.size())));
            if (read <= 0)
                break;
            size_t size = static_cast<size_t>(read);
            bool over = size > maxBytes - received;
            if (over)
                size = maxBytes - received;
            received += size;
            pending.append(buffer.data(), size);
            AppendUtf8(output, pending, false);
            if (over)
                return false;
        }
        return true;
    }
    void Flush() { AppendUtf8(output, pending, true); }
};

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

    // Bind a handle to every child first, then confirm from a fresh snapshot
    // that each is still a child: an id seen in the first snapshot may have
    // been given to an unrelated process in between.
    std::vector<std::pair<DWORD, platform::CProcessHandle>> children;
    for (const platform::SProcessEntry& entry : platform::TakeProcessSnapshot())
        if (entry.parentProcessId == processId && entry.processId != processId)
            children.emplace_back(entry.processId, platform::CProcessHandle::Open(entry.processId));
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

    platform::CProcessHandle self = platform::CProcessHandle::Open(processId);
    if (!self.IsNull() && !TerminateLogged(self, 1))
        result = false;
    return result;
}

bool RunProcess(CString executablePath, CString parameters, UINT timeoutSeconds, CString& output, DWORD* exitCode,
                size_t maxOutputBytes)
{
    if (exitCode)
        *exitCode = 0;

    CString resolved = CDirectory::ResolveReparsePoints(executablePath);
    if (resolved != executablePath)
        WriteLog(eLogDebug, u"Process is located in <%s>", resolved.GetString());

    const ULONGLONG startMs = platform::GetTickCount64();
    WriteLog(eLogDebug, u" +   Parameters         <%s>", parameters.GetString());

    CString commandLine = u"\"" + resolved + u"\" " + parameters;
    WriteLog(eLogDebug, u"CreateProcess <%s>", commandLine.GetString());

    platform::CProcessHandle process;
    platform::CPipeReader pipe;
    DWORD error = ERROR_SUCCESS;
    if (!platform::StartProcess(commandLine, platform::EProcessOutput::eCapturedPipe, process, &pipe, error)) {
        WriteLog(eLogError, u"CreateProcess failed - error code %u", static_cast<unsigned>(error));
        return false;
    }

    WriteLog(eLogDebug, u"Wait %u seconds for process end.... (Default Timeout)", timeoutSeconds);
    SCapture capture{output, maxOutputBytes};
    // Stops the child and all it started, keeping what it wrote so far.
    auto stop = [&] {
        if (!KillProcessTree(process.GetId(), 1000))
            WriteLog(eLogError, u"ProcessTerminate failed - error code %u", static_cast<unsigned>(platform::LastError()));
        process.Wait(ciKilledWaitMs);
        capture.Drain(pipe);
        capture.Flush();
        return false;
    };
    // The output is read as it arrives, so a chatty child never waits for
    // room in the pipe; the process is watched at the same time.
    for (;;) {
        const ULONGLONG elapsedMs = platform::GetTickCount64() - startMs;
        // Whole seconds, as the time-out is given: only a run that has gone
        // on for more than timeoutSeconds full seconds is cut off.
        if (elapsedMs / 1000 > timeoutSeconds) {
            WriteLog(eLogError, u"Process wait timed out - terminating process");
            return stop();
        }
        const ULONGLONG untilTimeOutMs = (static_cast<ULONGLONG>(timeoutSeconds) + 1) * 1000 - elapsedMs;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(untilTimeOutMs, ciWaitSliceMs));
        DWORD wait = platform::WaitForProcessOrOutput(&process, {&pipe}, slice);
        if (wait == platform::WAIT_FAILED) {
            WriteLog(eLogError, u"WaitFor Process end failed - WaitForSingleObject returned %u",
                     static_cast<unsigned>(wait));
            return stop();
        }
        if (!capture.Drain(pipe)) {
            WriteLog(eLogError, u"Process output exceeds %u bytes - terminating process",
                     static_cast<unsigned>(maxOutputBytes));
            return stop();
        }
        if (wait == platform::WAIT_OBJECT_0)
            break;
    }
    // The rest: until every writer is gone, or a last short while without
    // anything new (descendants of the child may hold the pipe open).
    while (pipe.IsOpen() &&
           platform::WaitForProcessOrOutput(nullptr, {&pipe}, ciFinalReadMs) == platform::WAIT_OBJECT_0 + 1) {
        if (!capture.Drain(pipe)) {
            WriteLog(eLogError, u"Process output exceeds %u bytes - terminating process",
                     static_cast<unsigned>(maxOutputBytes));
            return stop();
        }
    }
    capture.Flush();

    DWORD code = 0;
    if (!process.GetExitCode(code)) {
        WriteLog(eLogError, u"GetExitCodeProcess failed - error code %u", static_cast<unsigned>(platform::LastError()));
        return false;
    }
    WriteLog(eLogDebug, u"Process terminated - exitcode 0x%08x", static_cast<unsigned>(code));
    if (exitCode)
        *exitCode = code;
    return true;
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
        int result = pipe.Peek(available);
        if (result == platform::ERROR_BROKEN_PIPE) {
            pipe.Close();
            reader.Finish();
            break;
        }
        if (result != 0 || available == 0)
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
                                        const std::function<bool(const SGnuPGStatus&)>& stopWhen, DWORD& exitCode)
{
    exitCode = 0;
    platform::CChildPipe channel;
    if (int error = channel.Create(); error != 0) {
        CString details;
        details.Format(u"The GnuPG status channel could not be created: %s", ErrorText(error).GetString());
        ThrowGnuPGError(IDS_ERR_UNKNOWN_GNUPG, details, __LINE__);
    }
    CString commandLine;
    commandLine.Format(u"\"%s\" %s --status-fd %s %s", gnupgPath.GetString(), homeOption.GetString(),
                       channel.ChildNumber().GetString(), arguments.GetString());
    WriteLog(eLogDebug, u"CreateProcess <%s>", commandLine.GetString());

    platform::CProcessHandle process;
    int error = 0;
    if (!platform::StartProcess(commandLine, outputMode, process, nullptr, error, &channel)) {
        CString details;
        details.Format(u"GnuPG could not be started (%s): %s", gnupgPath.GetString(), ErrorText(error).GetString());
        ThrowGnuPGError(IDS_ERR_UNKNOWN_GNUPG, details, __LINE__);
    }

    platform::CPipeReader& pipe = channel.Reader();
    std::vector<char> buffer(ciReadChunkBytes);
    const ULONGLONG startMs = platform::GetTickCount64();
    EStatusRunEnd end = EStatusRunEnd::eEnded;
    for (;;) {
        DWORD slice = platform::INFINITE;
        if (timeoutSeconds != platform::INFINITE) {
            const ULONGLONG elapsedMs = platform::GetTickCount64() - startMs;
            if (elapsedMs / 1000 > timeoutSeconds) {
                end = EStatusRunEnd::eTimedOut;
                break;
            }
            slice = static_cast<DWORD>((static_cast<ULONGLONG>(timeoutSeconds) + 1) * 1000 - elapsedMs);
        }
        DWORD wait = platform::WaitForProcessOrOutput(&process, {&pipe}, slice);
        if (wait == platform::WAIT_FAILED)
            wait = process.Wait(ciWaitSliceMs); // the process alone can still be watched
        if (!DrainStatus(pipe, reader, buffer)) {
            end = EStatusRunEnd::eOverLimit;
            break;
        }
        if (wait == platform::WAIT_OBJECT_0)
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
           platform::WaitForProcessOrOutput(nullptr, {&pipe}, ciFinalReadMs) == platform::WAIT_OBJECT_0 + 1) {
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
