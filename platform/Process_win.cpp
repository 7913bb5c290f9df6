#include "platform/Process.h"

#include <restartmanager.h>
#include <tlhelp32.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/Path.h"
#include "platform/Win32_win.h"

namespace platform {

struct SProcessState {
    win::CHandle process;
    DWORD id = 0;
    bool child = false;
};

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

bool Fail(DWORD error)
{
    t_lastError = error;
    return false;
}

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// The parent of every process of the system at this moment.
std::vector<SProcessEntry> Snapshot()
{
    std::vector<SProcessEntry> entries;
    win::CHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid())
        return entries;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry))
        entries.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    return entries;
}

FILETIME CreationTime(HANDLE process)
{
    FILETIME created{}, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
        return FILETIME{};
    return created;
}

// Whether the process behind the handle was started by the calling process.
// Asked of the process object itself, so that an ended child (no longer
// listed in a snapshot) is still known as ours; a process whose recorded
// parent id is ours but which is older than we are had an earlier owner of
// that id as its parent.
bool IsChildOfOurs(HANDLE process)
{
    struct SBasicInformation { // PROCESS_BASIC_INFORMATION
        LONG exitStatus;
        PVOID peb;
        ULONG_PTR affinityMask;
        LONG basePriority;
        ULONG_PTR processId;
        ULONG_PTR parentProcessId;
    };
    using QueryFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    SBasicInformation info{};
    ULONG length = 0;
    if (!query || query(process, 0 /* ProcessBasicInformation */, &info, sizeof info, &length) < 0 ||
        info.parentProcessId != ::GetCurrentProcessId())
        return false;
    FILETIME ours = CreationTime(::GetCurrentProcess());
    FILETIME theirs = CreationTime(process);
    return ::CompareFileTime(&theirs, &ours) >= 0;
}

// A duplicate of one of our standard handles that the child may inherit;
// none when we have no such handle.
win::CHandle InheritableStdHandle(DWORD which)
{
    HANDLE own = ::GetStdHandle(which);
    HANDLE copy = nullptr;
    if (!own || own == INVALID_HANDLE_VALUE ||
        !::DuplicateHandle(::GetCurrentProcess(), own, ::GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return win::CHandle();
    return win::CHandle(copy);
}

} // namespace

// Grants StartProcess access to the private constructors.
struct SProcessStarter {
    static CProcessHandle MakeHandle(std::shared_ptr<SProcessState> state) { return CProcessHandle(std::move(state)); }
    static CPipeReader MakePipe(HANDLE handle) { return CPipeReader(reinterpret_cast<std::intptr_t>(handle)); }
    static HANDLE WritingEndOf(const CChildPipe& pipe) { return AsHandle(pipe.m_writeHandle); }
    static void CloseWritingEnd(CChildPipe& pipe) { pipe.CloseWritingEnd(); }
    static HANDLE ProcessOf(const CProcessHandle& process)
    {
        return process.m_state ? process.m_state->process.Get() : nullptr;
    }
};

// --- CProcessHandle -----------------------------------------------------------

CProcessHandle::~CProcessHandle()
{
    Close();
}

CProcessHandle::CProcessHandle(CProcessHandle&& other) noexcept : m_state(std::move(other.m_state)) {}

CProcessHandle& CProcessHandle::operator=(CProcessHandle&& other) noexcept
{
    if (this != &other)
        m_state = std::move(other.m_state);
    return *this;
}

CProcessHandle CProcessHandle::Open(DWORD processId)
{
    if (processId == 0)
        return CProcessHandle();
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                   processId);
    if (!process) {
        // Another user's process may still be watched, if not ended.
        process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
        if (!process)
            return CProcessHandle();
    }
    auto state = std::make_shared<SProcessState>();
    state->process = win::CHandle(process);
    state->id = processId;
    state->child = IsChildOfOurs(process);
    return CProcessHandle(std::move(state));
}

CProcessHandle CProcessHandle::Current()
{
    auto state = std::make_shared<SProcessState>();
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    state->process = win::CHandle(self);
    state->id = ::GetCurrentProcessId();
    return CProcessHandle(std::move(state));
}

DWORD CProcessHandle::GetId() const
{
    return m_state ? m_state->id : 0;
}

DWORD CProcessHandle::Wait(DWORD timeoutMs) const
{
    if (!m_state || !m_state->process.IsValid())
        return WAIT_FAILED;
    DWORD result = ::WaitForSingleObject(m_state->process.Get(), timeoutMs);
    return result == WAIT_OBJECT_0 || result == WAIT_TIMEOUT ? result : WAIT_FAILED;
}

bool CProcessHandle::GetExitCode(DWORD& code) const
{
    code = 0;
    if (!m_state || !m_state->process.IsValid())
        return Fail(ERROR_INVALID_HANDLE);
    if (!::GetExitCodeProcess(m_state->process.Get(), &code)) {
        code = 0;
        return Fail(::GetLastError());
    }
    return true;
}

bool CProcessHandle::Terminate(DWORD exitCode)
{
    if (!m_state || !m_state->process.IsValid())
        return Fail(ERROR_INVALID_HANDLE);
    if (::TerminateProcess(m_state->process.Get(), exitCode))
        return true;
    DWORD error = ::GetLastError();
    // A process that has already ended can't be terminated, and needn't be.
    if (::WaitForSingleObject(m_state->process.Get(), 0) == WAIT_OBJECT_0)
        return true;
    return Fail(error);
}

void CProcessHandle::Close()
{
    m_state.reset();
}

bool CProcessHandle::IsChild() const
{
    return m_state && m_state->child;
}

// --- CPipeReader ----------------------------------------------------------------

CPipeReader::~CPipeReader()
{
    Close();
}

CPipeReader::CPipeReader(CPipeReader&& other) noexcept : m_handle(std::exchange(other.m_handle, -1)) {}

CPipeReader& CPipeReader::operator=(CPipeReader&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

DWORD CPipeReader::Peek(DWORD& available) const
{
    available = 0;
    if (m_handle == -1)
        return ERROR_INVALID_HANDLE;
    DWORD waiting = 0;
    if (!::PeekNamedPipe(AsHandle(m_handle), nullptr, 0, nullptr, &waiting, nullptr))
        return ::GetLastError(); // ERROR_BROKEN_PIPE once every writer is gone
    available = waiting;
    return ERROR_SUCCESS;
}

int CPipeReader::Read(void* buffer, DWORD size)
{
    if (m_handle == -1)
        return -1;
    DWORD waiting = 0;
    if (size == 0 || !::PeekNamedPipe(AsHandle(m_handle), nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0)
        return 0; // never block: read only what is already there
    DWORD wanted = std::min<DWORD>({size, waiting, 0x7FFFFFFFu});
    DWORD n = 0;
    if (!::ReadFile(AsHandle(m_handle), buffer, wanted, &n, nullptr))
        return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return static_cast<int>(n);
}

void CPipeReader::Close()
{
    if (m_handle != -1) {
        ::CloseHandle(AsHandle(m_handle));
        m_handle = -1;
    }
}

// --- CChildPipe ------------------------------------------------------------------

CChildPipe::~CChildPipe()
{
    CloseWritingEnd();
}

void CChildPipe::CloseWritingEnd()
{
    if (m_writeHandle != -1) {
        ::CloseHandle(AsHandle(m_writeHandle));
        m_writeHandle = -1;
    }
}

DWORD CChildPipe::Create()
{
    CloseWritingEnd();
    m_reader.Close();
    // The writing end is inheritable (StartProcess hands it to the child
    // alone); the reading end stays ours.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readSide = nullptr, writeSide = nullptr;
    if (!::CreatePipe(&readSide, &writeSide, &inheritable, 0))
        return ::GetLastError();
    ::SetHandleInformation(readSide, HANDLE_FLAG_INHERIT, 0);
    m_reader = SProcessStarter::MakePipe(readSide);
    m_writeHandle = reinterpret_cast<std::intptr_t>(writeSide);
    return ERROR_SUCCESS;
}

CString CChildPipe::ChildNumber() const
{
    // An inherited handle has the same value in the child.
    if (m_writeHandle == -1)
        return CString();
    return CString::FromUtf8(std::to_string(static_cast<unsigned long long>(m_writeHandle)));
}

DWORD WaitForProcessOrOutput(const CProcessHandle* process, const std::vector<const CPipeReader*>& readers,
                             DWORD timeoutMs)
{
    HANDLE handle = nullptr;
    if (process) {
        handle = SProcessStarter::ProcessOf(*process);
        if (!handle)
            return WAIT_FAILED;
    }
    std::vector<const CPipeReader*> open;
    for (const CPipeReader* reader : readers)
        if (reader && reader->IsOpen())
            open.push_back(reader);
    if (!handle && open.empty())
        return WAIT_FAILED; // nothing to wait for
    // Anonymous pipes can't be waited on: look at them between short waits.
    constexpr DWORD ciLookMs = 5;
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        for (const CPipeReader* reader : open) {
            DWORD available = 0;
            if (reader->Peek(available) != ERROR_SUCCESS || available > 0)
                return WAIT_OBJECT_0 + 1;
        }
        ULONGLONG elapsed = ::GetTickCount64() - start;
        if (timeoutMs != INFINITE && elapsed >= timeoutMs)
            return WAIT_TIMEOUT;
        DWORD slice = ciLookMs;
        if (timeoutMs != INFINITE && timeoutMs - elapsed < slice)
            slice = static_cast<DWORD>(timeoutMs - elapsed);
        if (handle) {
            DWORD wait = ::WaitForSingleObject(handle, open.empty() ? (timeoutMs == INFINITE ? INFINITE : slice) : slice);
            if (wait == WAIT_OBJECT_0)
                return WAIT_OBJECT_0;
            if (wait == WAIT_FAILED)
                return WAIT_FAILED;
        } else {
            ::Sleep(slice);
        }
    }
}

// --- starting processes --------------------------------------------------------

bool StartProcess(const CString& commandLine, EProcessOutput outputMode, CProcessHandle& process,
                  CPipeReader* output, DWORD& error, CChildPipe* childPipe)
{
    // Whatever happens, our copy of the child's writing end goes: the pipe
    // must break when the child (the only writer left) ends.
    struct SCloseChildPipe {
        CChildPipe* pipe;
        ~SCloseChildPipe()
        {
            if (pipe)
                SProcessStarter::CloseWritingEnd(*pipe);
        }
    } closeChildPipe{childPipe};
    process.Close();
    if (output)
        output->Close();
    error = ERROR_SUCCESS;

    std::vector<CString> tokens = SplitCommandLine(commandLine);
    if (tokens.empty() || tokens[0].IsEmpty()) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    // Output captured for nobody would leave the child writing into a pipe
    // nobody reads.
    if (outputMode == EProcessOutput::eCapturedPipe && !output) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }

    // The child's standard handles: ours for input, the pipe or ours for
    // output; only these are inherited.
    win::CHandle input = InheritableStdHandle(STD_INPUT_HANDLE);
    win::CHandle outputHandle, errorHandle, readEnd;
    if (outputMode == EProcessOutput::eCapturedPipe) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE readSide = nullptr, writeSide = nullptr;
        if (!::CreatePipe(&readSide, &writeSide, &inheritable, 0)) {
            error = ::GetLastError();
            return false;
        }
        readEnd = win::CHandle(readSide);
        ::SetHandleInformation(readSide, HANDLE_FLAG_INHERIT, 0);
        outputHandle = win::CHandle(writeSide);
    } else if (outputMode == EProcessOutput::eDiscarded) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        outputHandle = win::CHandle(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  &inheritable, OPEN_EXISTING, 0, nullptr));
        if (!outputHandle.IsValid()) {
            error = ::GetLastError();
            return false;
        }
    } else {
        outputHandle = InheritableStdHandle(STD_OUTPUT_HANDLE);
        errorHandle = InheritableStdHandle(STD_ERROR_HANDLE);
    }
    HANDLE childError = outputMode != EProcessOutput::eInherit ? outputHandle.Get() : errorHandle.Get();
    if (childPipe && SProcessStarter::WritingEndOf(*childPipe) == AsHandle(-1)) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    HANDLE childPipeEnd = childPipe ? SProcessStarter::WritingEndOf(*childPipe) : nullptr;

    std::vector<HANDLE> inherited;
    for (HANDLE h : {input.Get(), outputHandle.Get(), childError, childPipeEnd})
        if (h && std::find(inherited.begin(), inherited.end(), h) == inherited.end())
            inherited.push_back(h);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input.Get();
    startup.StartupInfo.hStdOutput = outputHandle.Get();
    startup.StartupInfo.hStdError = childError;

    SIZE_T listSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<BYTE> list(listSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    bool limited = !inherited.empty() && listSize > 0 && ::InitializeProcThreadAttributeList(attributes, 1, 0, &listSize) &&
                   ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                               inherited.size() * sizeof(HANDLE), nullptr, nullptr);
    if (limited)
        startup.lpAttributeList = attributes;

    std::vector<wchar_t> line(win::W(commandLine), win::W(commandLine) + commandLine.GetLength() + 1);
    PROCESS_INFORMATION info{};
    BOOL created = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, !inherited.empty(),
                                    CREATE_UNICODE_ENVIRONMENT | (limited ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                                    nullptr, &startup.StartupInfo, &info);
    DWORD createError = created ? ERROR_SUCCESS : ::GetLastError();
    if (limited)
        ::DeleteProcThreadAttributeList(attributes);
    if (!created) {
        error = createError;
        return false;
    }
    ::CloseHandle(info.hThread);

    auto state = std::make_shared<SProcessState>();
    state->process = win::CHandle(info.hProcess);
    state->id = info.dwProcessId;
    state->child = true;
    process = SProcessStarter::MakeHandle(std::move(state));
    // Our copy of the writing end goes, so the pipe breaks with the child.
    outputHandle.Close();
    if (output && readEnd.IsValid())
        *output = SProcessStarter::MakePipe(readEnd.Release());
    return true;
}

// --- snapshots, names, file holders -------------------------------------------

std::vector<SProcessEntry> TakeProcessSnapshot()
{
    return Snapshot();
}

CString ProcessAppName(const CProcessHandle& process)
{
    if (process.IsNull() || process.Wait(0) != WAIT_TIMEOUT)
        return CString();
    win::CHandle handle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.GetId()));
    if (!handle.IsValid())
        return CString();
    wchar_t buffer[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (!::QueryFullProcessImageNameW(handle.Get(), 0, buffer, &size))
        return CString();
    // Had the process ended while its name was read, the id might already
    // name another process.
    if (process.Wait(0) != WAIT_TIMEOUT)
        return CString();
    CString path = win::FromW(buffer, size);
    return path.Mid(ReverseFindSeparator(path) + 1);
}

namespace {

// The creation time of a running process, in milliseconds since 1601; 0
// for the null handle or an ended process.
ULONGLONG CreationMs(const CProcessHandle& process)
{
    if (process.IsNull() || process.Wait(0) != WAIT_TIMEOUT)
        return 0;
    win::CHandle handle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.GetId()));
    FILETIME created, exited, kernel, user;
    if (!handle.IsValid() || !::GetProcessTimes(handle.Get(), &created, &exited, &kernel, &user))
        return 0;
    // The id may have been taken over while it was looked up.
    if (process.Wait(0) != WAIT_TIMEOUT)
        return 0;
    return ((static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime) / 10000u;
}

} // namespace

ULONGLONG GetProcessStartStamp(const CProcessHandle& process)
{
    return CreationMs(process);
}

bool GetProcessAge(const CProcessHandle& process, ULONGLONG& ageMs)
{
    ageMs = 0;
    ULONGLONG created = CreationMs(process);
    if (created == 0)
        return false;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULONGLONG nowMs = ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000u;
    ageMs = nowMs > created ? nowMs - created : 0;
    return true;
}

DWORD FindFileHolder(const CString& path, CString* appName)
{
    if (appName)
        appName->Empty();
    if (path.IsEmpty() || ::GetFileAttributesW(win::W(path)) == INVALID_FILE_ATTRIBUTES)
        return 0;
    // The Restart Manager knows which applications hold a file.
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (::RmStartSession(&session, 0, key) != ERROR_SUCCESS)
        return 0;
    DWORD holder = 0;
    LPCWSTR files[] = {win::W(path)};
    if (::RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        UINT needed = 0, count = 0;
        DWORD reasons = 0;
        std::vector<RM_PROCESS_INFO> infos;
        DWORD rc = ERROR_MORE_DATA;
        for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
            infos.resize(needed + 4);
            count = static_cast<UINT>(infos.size());
            rc = ::RmGetList(session, &needed, &count, infos.data(), &reasons);
        }
        const DWORD self = ::GetCurrentProcessId();
        for (UINT i = 0; rc == ERROR_SUCCESS && i < count; ++i) {
            if (infos[i].Process.dwProcessId == self)
                continue;
            holder = infos[i].Process.dwProcessId;
            if (appName)
                *appName = win::FromW(infos[i].strAppName);
            break;
        }
    }
    ::RmEndSession(session);
    return holder;
}

DWORD LastError()
{
    return t_lastError;
}

DWORD CurrentProcessId()
{
    return ::GetCurrentProcessId();
}

} // namespace platform
