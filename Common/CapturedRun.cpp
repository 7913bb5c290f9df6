#include "CapturedRun.h"

#include <algorithm>
#include <vector>

#include "Directory.h"
#include "Log.h"
#include "ProcessRunner.h"
#include "platform/Time.h"

namespace {

// Longest wait on the child between two looks at the clock.
constexpr DWORD ciWaitSliceMs = 100;
// After the child has ended: how long to wait for more of its output
// (descendants of the child may hold the pipe open).
constexpr DWORD ciFinalReadMs = 20;
// How long to wait for a killed process to be gone before returning.
constexpr DWORD ciKilledWaitMs = 1000;
// Size of one read from the pipe.
constexpr size_t ciReadChunkBytes = 64 * 1024;

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

// The output of one run: bytes read from its pipe, decoded into the
// caller's text, up to a limit.
class COutputCollector {
public:
    COutputCollector(CString& output, size_t maxBytes) : m_output(output), m_maxBytes(maxBytes) {}

    // Reads everything waiting in the pipe without blocking, and closes the
    // pipe once every writer is gone. Returns false once more than the
    // maximum has arrived in all; nothing beyond it is kept.
    bool Drain(platform::CPipeReader& pipe)
    {
        while (pipe.IsOpen()) {
            DWORD available = 0;
            DWORD result = pipe.Peek(available);
            if (result == ERROR_BROKEN_PIPE) {
                WriteLog(eLogDebug, u"Process Pipe closed\n");
                pipe.Close();
                break;
            }
            if (result != ERROR_SUCCESS) {
                // A pipe that can't be read any more would keep every wait
                // on it ready: it is given up.
                WriteLog(eLogError, u"Process Pipe cannot be read - error code %u", static_cast<unsigned>(result));
                pipe.Close();
                break;
            }
            if (available == 0)
                break;
            int read = pipe.Read(m_buffer.data(), static_cast<DWORD>(std::min<size_t>(available, m_buffer.size())));
            if (read <= 0)
                break;
            size_t size = static_cast<size_t>(read);
            bool over = size > m_maxBytes - m_received;
            if (over)
                size = m_maxBytes - m_received;
            m_received += size;
            m_pending.append(m_buffer.data(), size);
            CCapturedRun::AppendUtf8(m_output, m_pending, false);
            if (over)
                return false;
        }
        return true;
    }
    void Flush() { CCapturedRun::AppendUtf8(m_output, m_pending, true); }

private:
    CString& m_output;
    size_t m_maxBytes;
    size_t m_received = 0;
    std::string m_pending; // the start of a character split between two reads
    std::vector<char> m_buffer = std::vector<char>(ciReadChunkBytes);
};

} // namespace

void CCapturedRun::AppendUtf8(CString& output, std::string& pending, bool flush)
{
    size_t complete = flush ? pending.size() : CompleteUtf8Length(pending);
    if (complete == 0)
        return;
    output += CString::FromUtf8(std::string_view(pending.data(), complete));
    pending.erase(0, complete);
}

CCapturedRun::~CCapturedRun()
{
    if (m_started && m_process.Wait(0) == WAIT_TIMEOUT) {
        KillProcessTree(m_process.GetId(), 1000);
        m_process.Wait(ciKilledWaitMs);
    }
}

bool CCapturedRun::Start(const CString& executablePath, const CString& parameters, UINT timeoutSeconds,
                         size_t maxOutputBytes)
{
    m_started = false;
    m_timeoutSeconds = timeoutSeconds;
    m_maxOutputBytes = maxOutputBytes;

    CString resolved = CDirectory::ResolveReparsePoints(executablePath);
    if (resolved != executablePath)
        WriteLog(eLogDebug, u"Process is located in <%s>", resolved.GetString());
    WriteLog(eLogDebug, u" +   Parameters         <%s>", parameters.GetString());
    CString commandLine = u"\"" + resolved + u"\" " + parameters;
    WriteLog(eLogDebug, u"CreateProcess <%s>", commandLine.GetString());

    DWORD error = ERROR_SUCCESS;
    if (!platform::StartProcess(commandLine, platform::EProcessOutput::eCapturedPipe, m_process, &m_pipe, error)) {
        WriteLog(eLogError, u"CreateProcess failed - error code %u", static_cast<unsigned>(error));
        return false;
    }
    m_started = true;
    return true;
}

bool CCapturedRun::Collect(CString& output, DWORD* exitCode)
{
    if (exitCode)
        *exitCode = 0;
    if (!m_started)
        return false;
    m_started = false;

    WriteLog(eLogDebug, u"Wait %u seconds for process end.... (Default Timeout)", m_timeoutSeconds);
    const ULONGLONG startMs = platform::GetTickCount64();
    COutputCollector collector(output, m_maxOutputBytes);
    // Stops the child and all it started, keeping what it wrote so far.
    auto stop = [&] {
        if (!KillProcessTree(m_process.GetId(), 1000))
            WriteLog(eLogError, u"ProcessTerminate failed - error code %u", static_cast<unsigned>(platform::LastError()));
        m_process.Wait(ciKilledWaitMs);
        collector.Drain(m_pipe);
        collector.Flush();
        m_pipe.Close();
        return false;
    };
    auto overLimit = [&] {
        WriteLog(eLogError, u"Process output exceeds %u bytes - terminating process",
                 static_cast<unsigned>(m_maxOutputBytes));
        return stop();
    };
    // The output is read as it arrives, so a chatty child never waits for
    // room in the pipe; the process is watched at the same time.
    for (;;) {
        const ULONGLONG elapsedMs = platform::GetTickCount64() - startMs;
        // Whole seconds, as the time-out is given: only a run that has gone
        // on for more than timeoutSeconds full seconds is cut off.
        if (elapsedMs / 1000 > m_timeoutSeconds) {
            WriteLog(eLogError, u"Process wait timed out - terminating process");
            return stop();
        }
        const ULONGLONG untilTimeOutMs = (static_cast<ULONGLONG>(m_timeoutSeconds) + 1) * 1000 - elapsedMs;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(untilTimeOutMs, ciWaitSliceMs));
        DWORD wait = platform::WaitForProcessOrOutput(&m_process, {&m_pipe}, slice);
        if (wait == WAIT_FAILED) {
            WriteLog(eLogError, u"WaitFor Process end failed - WaitForSingleObject returned %u",
                     static_cast<unsigned>(wait));
            return stop();
        }
        if (!collector.Drain(m_pipe))
            return overLimit();
        if (wait == WAIT_OBJECT_0)
            break;
    }
    // The rest: until every writer is gone, or a last short while without
    // anything new.
    while (m_pipe.IsOpen() &&
           platform::WaitForProcessOrOutput(nullptr, {&m_pipe}, ciFinalReadMs) == WAIT_OBJECT_0 + 1) {
        if (!collector.Drain(m_pipe))
            return overLimit();
    }
    collector.Flush();
    m_pipe.Close();

    DWORD code = 0;
    if (!m_process.GetExitCode(code)) {
        WriteLog(eLogError, u"GetExitCodeProcess failed - error code %u", static_cast<unsigned>(platform::LastError()));
        return false;
    }
    WriteLog(eLogDebug, u"Process terminated - exitcode 0x%08x", static_cast<unsigned>(code));
    if (exitCode)
        *exitCode = code;
    return true;
}
