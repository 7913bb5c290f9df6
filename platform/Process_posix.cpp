#include "platform/Process.h"
#include "platform/SystemError_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/CommandLine.h"
#include "platform/Time.h"

extern char** environ;

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace platform {

// Everything known about one process; shared by every handle to it.
struct SProcessState {
    int pidfd = -1;
    pid_t pid = 0;
    bool child = false;       // ours to reap
    bool statusKnown = false; // exitCode below is final (children only)
    bool statusLost = false;  // other code of ours reaped it: no exit code
    DWORD exitCode = 0;
    bool terminated = false;  // Terminate was called on it
    DWORD terminateCode = 0;

    ~SProcessState()
    {
        if (pidfd >= 0)
            close(pidfd);
    }
};

namespace {

// Serialises reaping and the table of children not yet reaped.
std::mutex g_reapMutex;
// Every child of ours that has not been reaped yet. A child is reaped only
// once it has ended and no handle refers to it any more: until then its
// zombie keeps the id reserved, so the id can't name another process while
// a handle to this one is open (and Open by id finds it). Entries whose
// handles are all closed are reaped by the next sweep once they end.
std::map<pid_t, std::shared_ptr<SProcessState>> g_unreaped;

int PidfdOpen(pid_t pid)
{
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int PidfdSendSignal(int pidfd, int sig)
{
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0));
}

// Whether the process behind the descriptor has ended (it signals then).
bool HasEnded(int pidfd)
{
    pollfd p{pidfd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// Reads the final status of an ended child of ours; `reap` also releases
// its zombie. Caller holds g_reapMutex. Returns true once the status is
// known.
bool CollectStatusLocked(SProcessState& state, bool reap)
{
    if (!state.child)
        return false;
    if (state.statusKnown && !reap)
        return true;
    siginfo_t info{};
    int flags = WEXITED | WNOHANG | (reap ? 0 : WNOWAIT);
    int r;
    do {
        info = siginfo_t{};
        r = waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(state.pidfd), &info, flags);
    } while (r < 0 && errno == EINTR);
    if (r == 0 && info.si_pid == 0)
        return false; // still running
    if (!state.statusKnown) {
        if (r != 0)
            state.statusLost = true; // reaped elsewhere: the status is gone
        else if (info.si_code == CLD_EXITED)
            state.exitCode = static_cast<DWORD>(info.si_status);
        else if (state.terminated && info.si_status == SIGKILL)
            state.exitCode = state.terminateCode;
        else
            state.exitCode = 128u + static_cast<DWORD>(info.si_status);
        state.statusKnown = true;
    }
    if (reap || r != 0) {
        // Only this child's own entry: its id may already belong to a newer
        // child of ours whose entry must stay.
        auto entry = g_unreaped.find(state.pid);
        if (entry != g_unreaped.end() && entry->second.get() == &state)
            g_unreaped.erase(entry);
    }
    return true;
}

// Reaps every ended child of ours that no handle refers to any more, so no
// zombie outlives the next call into this module.
void SweepChildrenLocked()
{
    for (auto it = g_unreaped.begin(); it != g_unreaped.end();) {
        auto state = it->second; // keep alive across the erase below
        ++it;
        if (state.use_count() == 2) // the table and this loop: no handle
            CollectStatusLocked(*state, true);
    }
}

void SweepChildren()
{
    std::lock_guard<std::mutex> lock(g_reapMutex);
    SweepChildrenLocked();
}

bool ReadSmallFile(const std::string& path, std::string& content)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content.clear();
    char buffer[1024];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
        if (content.size() > 65536)
            break;
    }
    close(fd);
    return true;
}

// The executable's file name, or the short command name; empty when neither
// can be read.
std::string NameOfPid(pid_t pid)
{
    std::string base = "/proc/" + std::to_string(pid);
    char target[PATH_MAX];
    ssize_t n = readlink((base + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string exe(target, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        auto slash = exe.rfind('/');
        std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
        if (!name.empty())
            return name;
    }
    std::string comm;
    if (!ReadSmallFile(base + "/comm", comm))
        return std::string();
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\r'))
        comm.pop_back();
    return comm;
}

bool IsNumeric(const char* name)
{
    if (!*name)
        return false;
    for (const char* p = name; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

} // namespace

// Grants StartProcess access to the private constructors.
struct SProcessStarter {
    static CProcessHandle MakeHandle(std::shared_ptr<SProcessState> state) { return CProcessHandle(std::move(state)); }
    static CPipeReader MakePipe(int fd) { return CPipeReader(static_cast<std::intptr_t>(fd)); }
    static int FdOf(const CPipeReader& reader) { return static_cast<int>(reader.m_handle); }
    static const SProcessState* StateOf(const CProcessHandle& process) { return process.m_state.get(); }
    static int WritingEndOf(const CChildPipe& pipe) { return static_cast<int>(pipe.m_writeHandle); }
    static void CloseWritingEnd(CChildPipe& pipe) { pipe.CloseWritingEnd(); }
};

// --- CProcessHandle -----------------------------------------------------------

CProcessHandle::~CProcessHandle()
{
    Close();
}

CProcessHandle::CProcessHandle(CProcessHandle&& other) noexcept : m_state(std::move(other.m_state)) {}

CProcessHandle& CProcessHandle::operator=(CProcessHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        m_state = std::move(other.m_state);
    }
    return *this;
}

CProcessHandle CProcessHandle::Open(DWORD processId)
{
    if (processId == 0 || processId > static_cast<DWORD>(INT_MAX))
        return CProcessHandle();
    pid_t pid = static_cast<pid_t>(processId);

    std::lock_guard<std::mutex> lock(g_reapMutex);
    SweepChildrenLocked();
    // A child of ours that has not been reaped still owns its id, ended or not.
    auto known = g_unreaped.find(pid);
    if (known != g_unreaped.end())
        return CProcessHandle(known->second);

    int fd = PidfdOpen(pid);
    if (fd < 0)
        return CProcessHandle();
    auto state = std::make_shared<SProcessState>();
    state->pidfd = fd;
    state->pid = pid;
    // A child of ours that we did not start here (its status can be read
    // and it must be reaped); WNOWAIT leaves it as it is.
    siginfo_t info{};
    int r;
    do {
        r = waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(fd), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
        state->child = true;
        g_unreaped[pid] = state;
    }
    return CProcessHandle(std::move(state));
}

CProcessHandle CProcessHandle::Current()
{
    int fd = PidfdOpen(getpid());
    if (fd < 0)
        return CProcessHandle();
    auto state = std::make_shared<SProcessState>();
    state->pidfd = fd;
    state->pid = getpid();
    return CProcessHandle(std::move(state));
}

DWORD CProcessHandle::GetId() const
{
    return m_state ? static_cast<DWORD>(m_state->pid) : 0;
}

DWORD CProcessHandle::Wait(DWORD timeoutMs) const
{
    if (!m_state)
        return WAIT_FAILED;
    if (m_state->pidfd < 0)
        return WAIT_OBJECT_0; // ended before it could be watched
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        int slice = -1;
        if (timeoutMs != INFINITE) {
            ULONGLONG elapsed = GetTickCount64() - start;
            ULONGLONG left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
            slice = static_cast<int>(left > static_cast<ULONGLONG>(INT_MAX) ? INT_MAX : left);
        }
        pollfd p{m_state->pidfd, POLLIN, 0};
        int r = poll(&p, 1, slice);
        if (r > 0)
            return WAIT_OBJECT_0;
        if (r < 0 && errno != EINTR)
            return WAIT_FAILED;
        if (r == 0 && slice == 0)
            return WAIT_TIMEOUT;
        // Interrupted, or a long time-out cut into slices: go on waiting.
        if (r == 0 && timeoutMs != INFINITE && GetTickCount64() - start >= timeoutMs)
            return WAIT_TIMEOUT;
    }
}

bool CProcessHandle::GetExitCode(DWORD& code) const
{
    code = 0;
    if (!m_state)
        return false;
    std::lock_guard<std::mutex> lock(g_reapMutex);
    if (!m_state->statusKnown) {
        if (!HasEnded(m_state->pidfd)) {
            code = STILL_ACTIVE;
            return true;
        }
        if (!m_state->child) {
            // Not ours: the status can't be read. Ended through this
            // handle, it has the code given there (SIGKILL can't be
            // caught); otherwise it reports 0.
            code = m_state->terminated ? m_state->terminateCode : 0;
            return true;
        }
        // The status is read without reaping: the zombie keeps the id
        // reserved while this handle lives.
        if (!CollectStatusLocked(*m_state, false)) {
            code = STILL_ACTIVE;
            return true;
        }
    }
    // A child whose status other code took must not pass for one that
    // exited with 0: its outcome is unknown.
    if (m_state->statusLost)
        return false;
    code = m_state->exitCode;
    return true;
}

bool CProcessHandle::Terminate(DWORD exitCode)
{
    if (!m_state)
        return false;
    std::lock_guard<std::mutex> lock(g_reapMutex);
    // A process that has already ended keeps the outcome it had.
    if (m_state->statusKnown || m_state->pidfd < 0 || HasEnded(m_state->pidfd))
        return true;
    const bool first = !m_state->terminated;
    if (first) {
        m_state->terminated = true;
        m_state->terminateCode = exitCode;
    }
    if (PidfdSendSignal(m_state->pidfd, SIGKILL) == 0)
        return true;
    const int error = errno;
    if (error == ESRCH)
        return true; // gone meanwhile
    if (first)
        m_state->terminated = false; // nothing was sent
    errno = error;
    return false;
}

void CProcessHandle::Close()
{
    if (!m_state)
        return;
    std::lock_guard<std::mutex> lock(g_reapMutex);
    m_state.reset();
    SweepChildrenLocked(); // reaps the child if this was its last handle
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
    if (m_handle < 0)
        return ERROR_INVALID_HANDLE;
    const int fd = static_cast<int>(m_handle);
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0)
        return LastErrnoError();
    if (waiting > 0) {
        available = static_cast<DWORD>(waiting);
        return ERROR_SUCCESS;
    }
    // Nothing waiting: the pipe is broken when no writer is left.
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    if (r < 0)
        return LastErrnoError();
    if (r > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) {
        // Data may have arrived between the two questions.
        if (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
            available = static_cast<DWORD>(waiting);
            return ERROR_SUCCESS;
        }
        return ERROR_BROKEN_PIPE;
    }
    return ERROR_SUCCESS;
}

int CPipeReader::Read(void* buffer, DWORD size)
{
    if (m_handle < 0)
        return -1;
    if (size == 0)
        return 0;
    size_t wanted = size > static_cast<DWORD>(INT_MAX) ? static_cast<size_t>(INT_MAX) : size;
    for (;;) {
        ssize_t n = read(static_cast<int>(m_handle), buffer, wanted);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

void CPipeReader::Close()
{
    if (m_handle >= 0) {
        close(static_cast<int>(m_handle));
        m_handle = -1;
    }
}

// --- CChildPipe ------------------------------------------------------------------

namespace {

// The child finds the writing end of a CChildPipe here.
constexpr int ciChildPipeFd = 3;
// The caller's copies of pipe ends are kept at or above this number, so
// that no file action of a start (dup2 onto 1, 2 and 3) can overwrite one
// before it is used, even when the caller's standard handles are closed.
constexpr int ciLowestPrivateFd = 10;

// Moves a descriptor to ciLowestPrivateFd or above (close-on-exec). Returns
// the new descriptor, or -1 with errno set (the old one is closed then too).
int MoveAboveStandardFds(int fd)
{
    if (fd >= ciLowestPrivateFd)
        return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, ciLowestPrivateFd);
    int saved = errno;
    close(fd);
    errno = saved;
    return moved;
}

} // namespace

CChildPipe::~CChildPipe()
{
    CloseWritingEnd();
}

void CChildPipe::CloseWritingEnd()
{
    if (m_writeHandle >= 0) {
        close(static_cast<int>(m_writeHandle));
        m_writeHandle = -1;
    }
}

DWORD CChildPipe::Create()
{
    CloseWritingEnd();
    m_reader.Close();
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0)
        return LastErrnoError();
    int readFd = MoveAboveStandardFds(fds[0]);
    int error = readFd < 0 ? errno : 0;
    int writeFd = MoveAboveStandardFds(fds[1]);
    if (!error && writeFd < 0)
        error = errno;
    if (!error) {
        int flags = fcntl(readFd, F_GETFL);
        if (flags < 0 || fcntl(readFd, F_SETFL, flags | O_NONBLOCK) != 0)
            error = errno;
    }
    if (error) {
        if (readFd >= 0)
            close(readFd);
        if (writeFd >= 0)
            close(writeFd);
        return ErrorFromErrno(error);
    }
    m_reader = SProcessStarter::MakePipe(readFd);
    m_writeHandle = writeFd;
    return ERROR_SUCCESS;
}

CString CChildPipe::ChildNumber() const
{
    return m_writeHandle >= 0 || m_reader.IsOpen() ? CString::FromUtf8(std::to_string(ciChildPipeFd)) : CString();
}

DWORD WaitForProcessOrOutput(const CProcessHandle* process, const std::vector<const CPipeReader*>& readers,
                             DWORD timeoutMs)
{
    std::vector<pollfd> fds;
    const SProcessState* state = process ? SProcessStarter::StateOf(*process) : nullptr;
    if (process) {
        if (!state)
            return WAIT_FAILED;
        if (state->pidfd < 0)
            return WAIT_OBJECT_0; // ended before it could be watched
        fds.push_back({state->pidfd, POLLIN, 0});
    }
    for (const CPipeReader* reader : readers)
        if (reader && reader->IsOpen())
            fds.push_back({SProcessStarter::FdOf(*reader), POLLIN, 0});
    if (fds.empty())
        return WAIT_FAILED; // nothing to wait for
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        int slice = -1;
        if (timeoutMs != INFINITE) {
            ULONGLONG elapsed = GetTickCount64() - start;
            ULONGLONG left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
            slice = static_cast<int>(left > static_cast<ULONGLONG>(INT_MAX) ? INT_MAX : left);
        }
        int r = poll(fds.data(), fds.size(), slice);
        if (r > 0) {
            if (process && fds[0].revents != 0)
                return WAIT_OBJECT_0;
            return WAIT_OBJECT_0 + 1;
        }
        if (r < 0 && errno != EINTR)
            return WAIT_FAILED;
        if (timeoutMs != INFINITE && GetTickCount64() - start >= timeoutMs)
            return WAIT_TIMEOUT;
    }
}

// --- starting processes --------------------------------------------------------

namespace {

// Owns the spawn attribute objects for the length of one start.
struct SSpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    bool actionsReady = false;
    bool attributesReady = false;
    ~SSpawnSetup()
    {
        if (actionsReady)
            posix_spawn_file_actions_destroy(&actions);
        if (attributesReady)
            posix_spawnattr_destroy(&attributes);
    }
};

} // namespace

namespace {

bool StartProcessErrno(const CString& commandLine, EProcessOutput outputMode, CProcessHandle& process,
                       CPipeReader* output, int& error, CChildPipe* childPipe)
{
    // Whatever happens, the caller's copy of the child's writing end goes:
    // the pipe must break when the child (the only writer left) ends.
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
    error = 0;
    SweepChildren();

    std::vector<CString> tokens = SplitCommandLine(commandLine);
    if (tokens.empty() || tokens[0].IsEmpty()) {
        error = ENOENT;
        return false;
    }
    if ((outputMode == EProcessOutput::eCapturedPipe && !output) ||
        (childPipe && SProcessStarter::WritingEndOf(*childPipe) < 0)) {
        error = EINVAL;
        return false;
    }
    std::vector<std::string> args;
    args.reserve(tokens.size());
    for (const CString& token : tokens) {
        args.push_back(token.ToUtf8());
        if (args.back().find('\0') != std::string::npos) {
            error = EINVAL;
            return false;
        }
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    auto closePipe = [&] {
        for (int& fd : pipeFds)
            if (fd >= 0) {
                close(fd);
                fd = -1;
            }
    };
    if (outputMode == EProcessOutput::eCapturedPipe) {
        if (pipe2(pipeFds, O_CLOEXEC) != 0) {
            error = errno;
            return false;
        }
        // Reads by the caller never block.
        int flags = fcntl(pipeFds[0], F_GETFL);
        if (flags < 0 || fcntl(pipeFds[0], F_SETFL, flags | O_NONBLOCK) != 0) {
            error = errno;
            closePipe();
            return false;
        }
    }

    SSpawnSetup setup;
    if ((error = posix_spawn_file_actions_init(&setup.actions)) != 0) {
        closePipe();
        return false;
    }
    setup.actionsReady = true;
    if ((error = posix_spawnattr_init(&setup.attributes)) != 0) {
        closePipe();
        return false;
    }
    setup.attributesReady = true;

    if (outputMode == EProcessOutput::eCapturedPipe) {
        error = posix_spawn_file_actions_adddup2(&setup.actions, pipeFds[1], 1);
        if (!error)
            error = posix_spawn_file_actions_adddup2(&setup.actions, pipeFds[1], 2);
    } else if (outputMode == EProcessOutput::eDiscarded) {
        error = posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
        if (!error)
            error = posix_spawn_file_actions_adddup2(&setup.actions, 1, 2);
    }
    int firstClosed = 3;
    if (!error && childPipe) {
        error = posix_spawn_file_actions_adddup2(&setup.actions, SProcessStarter::WritingEndOf(*childPipe),
                                                 ciChildPipeFd);
        firstClosed = ciChildPipeFd + 1;
    }
    // Nothing but the standard descriptors (and the child pipe) reaches the
    // child, even descriptors that other code opened without close-on-exec.
    if (!error)
        error = posix_spawn_file_actions_addclosefrom_np(&setup.actions, firstClosed);
    // The child starts with no blocked signals and default dispositions
    // (an ignored SIGPIPE of ours must not be passed on).
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    if (!error)
        error = posix_spawnattr_setsigmask(&setup.attributes, &none);
    if (!error)
        error = posix_spawnattr_setsigdefault(&setup.attributes, &all);
    if (!error)
        error = posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (error) {
        closePipe();
        return false;
    }

    pid_t pid = 0;
    {
        // Hold the reap lock so no sweep can meet the new child before it
        // is recorded.
        std::lock_guard<std::mutex> lock(g_reapMutex);
        bool hasPath = args[0].find('/') != std::string::npos;
        error = hasPath ? posix_spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ)
                        : posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
        if (pipeFds[1] >= 0) {
            close(pipeFds[1]); // from here on only the child writes
            pipeFds[1] = -1;
        }
        if (error) {
            closePipe();
            return false;
        }
        int fd = PidfdOpen(pid);
        auto state = std::make_shared<SProcessState>();
        state->pid = pid;
        if (fd < 0 && errno == ESRCH) {
            // The child has run and ended already, and the system has reaped
            // it (a process that ignores SIGCHLD gets no zombies): it ran,
            // so its output stands, but its exit status is gone. Its id may
            // be reused by now, so nothing may be sent to it.
            state->child = false;
            state->statusKnown = true;
            state->statusLost = true;
        } else if (fd < 0) {
            // Without a handle the living child can't be watched: undo the
            // start (it is still our zombie-to-be, so the id is still its).
            error = errno;
            kill(pid, SIGKILL);
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            closePipe();
            return false;
        } else {
            state->pidfd = fd;
            state->child = true;
            g_unreaped[pid] = state;
        }
        process = SProcessStarter::MakeHandle(std::move(state));
    }
    if (output && pipeFds[0] >= 0) {
        *output = SProcessStarter::MakePipe(pipeFds[0]);
        pipeFds[0] = -1;
    }
    closePipe();
    return true;
}

} // namespace

bool StartProcess(const CString& commandLine, EProcessOutput outputMode, CProcessHandle& process,
                  CPipeReader* output, DWORD& error, CChildPipe* childPipe)
{
    int native = 0;
    bool started = StartProcessErrno(commandLine, outputMode, process, output, native, childPipe);
    error = started ? ERROR_SUCCESS : ErrorFromErrno(native);
    return started;
}

// --- snapshots, names, file holders -------------------------------------------

std::vector<SProcessEntry> TakeProcessSnapshot()
{
    SweepChildren();
    std::vector<SProcessEntry> entries;
    DIR* dir = opendir("/proc");
    if (!dir)
        return entries;
    while (dirent* entry = readdir(dir)) {
        if (!IsNumeric(entry->d_name))
            continue;
        std::string stat;
        if (!ReadSmallFile(std::string("/proc/") + entry->d_name + "/stat", stat))
            continue; // gone meanwhile
        // "pid (comm) state ppid ...": comm may hold blanks and parentheses,
        // so the fields are read after the last ')'.
        auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        unsigned long parent = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %lu", &state, &parent) != 2)
            continue;
        // An ended process whose status has not been collected yet is
        // listed no more than an ended one whose handles are still open.
        if (state == 'Z' || state == 'X' || state == 'x')
            continue;
        unsigned long pid = std::strtoul(entry->d_name, nullptr, 10);
        entries.push_back({static_cast<DWORD>(pid), static_cast<DWORD>(parent)});
    }
    closedir(dir);
    return entries;
}

namespace {

// Start time of a process in milliseconds since boot (field 22 of its stat
// line, in clock ticks); 0 when it can't be read.
ULONGLONG StartTimeOfPid(pid_t pid)
{
    std::string stat;
    if (!ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", stat))
        return 0;
    auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    // Fields after the command: state is field 3, start time field 22.
    const char* p = stat.c_str() + close + 1;
    for (int field = 3; field < 22; ++field) {
        while (*p == ' ')
            ++p;
        while (*p && *p != ' ')
            ++p;
    }
    unsigned long long ticks = std::strtoull(p, nullptr, 10);
    long perSecond = sysconf(_SC_CLK_TCK);
    if (ticks == 0 || perSecond <= 0)
        return 0;
    return static_cast<ULONGLONG>(ticks) * 1000u / static_cast<ULONGLONG>(perSecond);
}

ULONGLONG MillisecondsSinceBoot()
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<ULONGLONG>(ts.tv_sec) * 1000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000u;
}

} // namespace

ULONGLONG GetProcessStartStamp(const CProcessHandle& process)
{
    if (process.IsNull() || process.Wait(0) != WAIT_TIMEOUT)
        return 0;
    ULONGLONG stamp = StartTimeOfPid(static_cast<pid_t>(process.GetId()));
    // Read from a process that ended meanwhile, the number may be another's.
    if (process.Wait(0) != WAIT_TIMEOUT)
        return 0;
    return stamp;
}

bool GetProcessAge(const CProcessHandle& process, ULONGLONG& ageMs)
{
    ageMs = 0;
    ULONGLONG start = GetProcessStartStamp(process);
    if (start == 0)
        return false;
    ULONGLONG now = MillisecondsSinceBoot();
    ageMs = now > start ? now - start : 0;
    return true;
}

CString ProcessAppName(const CProcessHandle& process)
{
    if (process.IsNull() || process.Wait(0) != WAIT_TIMEOUT)
        return CString();
    std::string name = NameOfPid(static_cast<pid_t>(process.GetId()));
    // Had the process ended while its name was read, the id might already
    // name another process.
    if (process.Wait(0) != WAIT_TIMEOUT)
        return CString();
    return CString::FromUtf8(name);
}

DWORD FindFileHolder(const CString& path, CString* appName)
{
    if (appName)
        appName->Empty();
    struct stat wanted{};
    std::string target = path.ToUtf8();
    if (target.empty() || stat(target.c_str(), &wanted) != 0)
        return 0;

    const pid_t self = getpid();
    DIR* proc = opendir("/proc");
    if (!proc)
        return 0;
    DWORD holder = 0;
    while (holder == 0) {
        dirent* entry = readdir(proc);
        if (!entry)
            break;
        if (!IsNumeric(entry->d_name))
            continue;
        pid_t pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
        if (pid == self)
            continue;
        std::string fdDir = std::string("/proc/") + entry->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (!fds)
            continue; // gone, or another user's
        while (dirent* fdEntry = readdir(fds)) {
            if (!IsNumeric(fdEntry->d_name))
                continue;
            struct stat st{};
            if (stat((fdDir + "/" + fdEntry->d_name).c_str(), &st) == 0 && st.st_dev == wanted.st_dev &&
                st.st_ino == wanted.st_ino) {
                holder = static_cast<DWORD>(pid);
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);

    if (holder && appName) {
        CProcessHandle handle = CProcessHandle::Open(holder);
        *appName = ProcessAppName(handle);
    }
    return holder;
}

DWORD LastError()
{
    return LastErrnoError();
}

DWORD CurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

} // namespace platform
