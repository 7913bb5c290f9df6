#include "ProcessRunner.h"

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

bool RunProcess(CString executablePath, CString parameters, UINT timeoutSeconds, CString& output, DWORD* exitCode)
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
    std::string pending;
    DWORD wait = WAIT_TIMEOUT;
    while (wait == WAIT_TIMEOUT) {
        wait = process.Wait(ciWaitSliceMs);
        if (wait != WAIT_TIMEOUT)
            break;
        const ULONGLONG nowMs = platform::GetTickCount64();
        ReadPipeOutput(pipe, ciReadSliceMs, output, &pending);
        // Whole seconds, as the time-out is given: only a run that has gone
        // on for more than timeoutSeconds full seconds is cut off.
        if ((nowMs - startMs) / 1000 > timeoutSeconds) {
            WriteLog(eLogError, u"Process wait timed out - terminating process");
            if (!KillProcessTree(process.GetId(), 1000))
                WriteLog(eLogError, u"ProcessTerminate failed - error code %u",
                         static_cast<unsigned>(platform::LastError()));
            process.Wait(ciKilledWaitMs);
            // Whatever arrived before the kill belongs to the partial output.
            ReadPipeOutput(pipe, ciFinalReadMs, output, &pending);
            AppendUtf8(output, pending, true);
            return false;
        }
    }

    ReadPipeOutput(pipe, ciFinalReadMs, output, &pending);
    AppendUtf8(output, pending, true);

    if (wait != WAIT_OBJECT_0) {
        WriteLog(eLogError, u"WaitFor Process end failed - WaitForSingleObject returned %u", static_cast<unsigned>(wait));
        return false;
    }
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
