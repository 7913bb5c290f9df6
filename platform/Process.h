// Processes: handles bound to one process for their whole life (a reused
// process id is never mistaken for the process it once named), starting a
// program from a Windows command line with its output optionally captured in
// a pipe, waiting, exit codes, termination, a snapshot of all processes with
// their parents, and the processes that hold a file open.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/CString.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

#ifndef _WIN32
// Results of CProcessHandle::Wait, with the values Windows gives them.
#define WAIT_OBJECT_0 ((DWORD)0)
#define WAIT_TIMEOUT 258
#define WAIT_FAILED ((DWORD)0xFFFFFFFFu)
// A time-out that never expires.
#define INFINITE 0xFFFFFFFFu
#endif

namespace platform {

struct SProcessState; // shared between all handles of one process

// A handle to one process. It stays bound to the process it was opened on:
// once that process has ended, the handle keeps reporting it as ended (and,
// for a child of ours, its exit code) even if its id is reused. An ended
// child of ours keeps its id reserved until its last handle is closed, as a
// Windows process object does. Move-only; the destructor closes it. Share it
// with std::shared_ptr where several owners need it.
class CProcessHandle {
public:
    CProcessHandle() = default; // the null handle
    ~CProcessHandle();
    CProcessHandle(CProcessHandle&& other) noexcept;
    CProcessHandle& operator=(CProcessHandle&& other) noexcept;
    CProcessHandle(const CProcessHandle&) = delete;
    CProcessHandle& operator=(const CProcessHandle&) = delete;

    // Opens the process with this id. Returns the null handle for id 0, for
    // an id that names no process, or when the system refuses. Pitfall: an id
    // is only a hint; the handle is bound to whatever process has the id at
    // the moment of the call.
    static CProcessHandle Open(DWORD processId);
    // A handle to the calling process; it never signals.
    static CProcessHandle Current();

    bool IsNull() const { return !m_state; }
    explicit operator bool() const { return !IsNull(); }

    // The process id, 0 for the null handle. Pitfall: after the process has
    // ended the id may already name another process; use the handle instead.
    DWORD GetId() const;

    // Waits up to timeoutMs milliseconds (INFINITE: without limit) for the
    // process to end. Returns WAIT_OBJECT_0 when it has ended, WAIT_TIMEOUT
    // when it still runs, WAIT_FAILED for the null handle. Pitfall: the
    // calling process's own handle never signals, so waiting on it without
    // limit never returns.
    DWORD Wait(DWORD timeoutMs) const;

    // Exit code into `code`: STILL_ACTIVE (259) while the process runs. For a
    // child started or opened by this process it is the real exit status (a
    // child ended by a signal gives 128 + the signal number, one ended by
    // Terminate the code given there). For any other process the status
    // can't be read, so an ended one reports the code given to Terminate
    // through this handle, else 0. Returns false (with 0) for
    // the null handle and for an ended child of ours whose status other code
    // of the calling process took first (a handler that reaps every child,
    // or SIGCHLD ignored): its outcome is unknown, not a success. Pitfall: a
    // process that itself exits with 259 is indistinguishable from a running
    // one; Wait tells them apart.
    bool GetExitCode(DWORD& code) const;

    // Ends the process at once (SIGKILL). Its exit code becomes `exitCode`
    // (for a process that is not our child: as this handle reports it). A
    // process that had already ended keeps its exit code. Returns true when
    // the signal was delivered or the process had already ended; false for
    // the null handle or when the system
    // refuses (another user's process). Pitfall: the process may still be
    // running when this returns; Wait for it.
    bool Terminate(DWORD exitCode);

    // Releases the handle; it becomes the null handle. Closing the last
    // handle of a child of ours reaps it (at once if it has ended, else at
    // the next call into this module after it ends), so no zombie stays.
    void Close();

    // Whether this handle's process is a child of the calling process.
    bool IsChild() const;

private:
    explicit CProcessHandle(std::shared_ptr<SProcessState> state) : m_state(std::move(state)) {}
    friend struct SProcessStarter;
    std::shared_ptr<SProcessState> m_state;
};

// The read end of a pipe into which a child writes its standard output and
// standard error. Reads never block. Move-only; the destructor closes it.
class CPipeReader {
public:
    CPipeReader() = default;
    ~CPipeReader();
    CPipeReader(CPipeReader&& other) noexcept;
    CPipeReader& operator=(CPipeReader&& other) noexcept;
    CPipeReader(const CPipeReader&) = delete;
    CPipeReader& operator=(const CPipeReader&) = delete;

    bool IsOpen() const { return m_handle != -1; }

    // How many bytes are waiting, into `available`. Returns ERROR_SUCCESS,
    // ERROR_BROKEN_PIPE once every writer has closed its end and nothing is
    // left to read, or another error code on failure (ERROR_INVALID_HANDLE
    // for a closed reader). Pitfall: a child's own children inherit the
    // writing end, so the pipe breaks only when the last of them has gone.
    DWORD Peek(DWORD& available) const;

    // Reads up to `size` bytes that are already waiting into `buffer`.
    // Returns the number read (0 when nothing is waiting or the pipe is
    // broken), or -1 on error. Never blocks.
    int Read(void* buffer, DWORD size);

    // Closes the read end.
    void Close();

private:
    explicit CPipeReader(std::intptr_t handle) : m_handle(handle) {}
    friend struct SProcessStarter;
    std::intptr_t m_handle = -1; // the system's handle of the read end; -1 when closed
};

// How a started process's standard output and standard error are handled.
enum class EProcessOutput {
    eInherit,      // both go where the caller's go
    eCapturedPipe, // both go into one pipe whose read end the caller gets
    eDiscarded,    // both go to the null device
};

// A pipe into which a started child writes through a handle of its own
// beside the standard ones, under a number the caller names on the child's
// command line (GnuPG's "--status-fd <n>"). Create it, put ChildNumber()
// on the command line, pass it to StartProcess, and read Reader(). Only the
// child keeps the writing end once it has started.
class CChildPipe {
public:
    CChildPipe() = default;
    ~CChildPipe();
    CChildPipe(const CChildPipe&) = delete;
    CChildPipe& operator=(const CChildPipe&) = delete;

    // Makes the pipe. Returns ERROR_SUCCESS or the error code of the failure.
    DWORD Create();
    // The number under which the child finds the writing end, as text; empty
    // before Create. Pitfall: valid only for a child started with this pipe.
    CString ChildNumber() const;
    // The reading end (reads never block).
    CPipeReader& Reader() { return m_reader; }

private:
    friend struct SProcessStarter;
    void CloseWritingEnd();
    CPipeReader m_reader;
    std::intptr_t m_writeHandle = -1; // the system's handle of the writing end; -1 when closed
};

// Starts the program named by the first token of a Windows command line,
// with the rest of the tokens as its arguments (split by the Windows quoting
// rules, see CommandLine.h). A program token that names a folder is used as
// a path; otherwise it is looked up as the system looks up programs (PATH). The child gets the caller's standard
// input, environment and current directory and no other open descriptor of
// the caller. With eCapturedPipe, `output` receives the read end of the pipe.
// Returns true with `process` set; on failure returns false with `error` set
// to the error code (ERROR_FILE_NOT_FOUND for a missing program,
// ERROR_BAD_EXE_FORMAT or ERROR_ACCESS_DENIED for one that can't be run),
// and nothing is left running. Pitfall: the caller must
// keep reading a captured pipe or a chatty child stalls once it is full.
// With `childPipe`, the child also gets that pipe's writing end under its
// ChildNumber(), and the caller's copy of it is closed.
bool StartProcess(const CString& commandLine, EProcessOutput outputMode, CProcessHandle& process,
                  CPipeReader* output, DWORD& error, CChildPipe* childPipe = nullptr);

// Waits up to timeoutMs milliseconds until the process has ended or one of
// the open readers has something to read (data, or every writer gone).
// Returns WAIT_OBJECT_0 when the process has ended, WAIT_OBJECT_0 + 1 when
// a reader is ready while it runs, WAIT_TIMEOUT, or WAIT_FAILED. A null
// `process` waits for the readers alone. Pitfall: a reader whose writers
// are all gone stays ready for ever; close it once Peek reports that.
DWORD WaitForProcessOrOutput(const CProcessHandle* process, const std::vector<const CPipeReader*>& readers,
                             DWORD timeoutMs);

// One process of a snapshot.
struct SProcessEntry {
    DWORD processId;
    DWORD parentProcessId;
};

// All running processes of the system with their parents at this moment
// (ended ones are not listed, even while handles to them are open).
// Pitfall: processes come and go; an entry may be stale by the time it is
// used. The parent of a process whose parent has ended is the process that
// adopted it where the system re-parents orphans, else the id the parent
// had, which may name a newer process by now: a parent must be older than
// its children.
std::vector<SProcessEntry> TakeProcessSnapshot();

// The display name of the application behind a process: the file name of its
// executable, or its short command name when that can't be read. Empty for
// the null handle and for a process that has ended.
CString ProcessAppName(const CProcessHandle& process);

// When the process started, as a number that stays the same for the life of
// the process and differs for a later process that gets the same id
// (milliseconds from an origin of the system's choosing); 0 for the null
// handle or a process that has ended. Pitfall: only comparable with other
// values of this function.
ULONGLONG GetProcessStartStamp(const CProcessHandle& process);

// How long the process has been running, in milliseconds, into `ageMs`.
// False for the null handle or a process that has ended.
bool GetProcessAge(const CProcessHandle& process, ULONGLONG& ageMs);

// The id of the first process other than the calling one that holds the file
// open, and its application name into `appName` (if given); 0 when none does
// (or the file does not exist). Processes of other users whose descriptors
// can't be inspected are not seen. Pitfall: a process may open the file just
// after the check.
DWORD FindFileHolder(const CString& path, CString* appName = nullptr);

// The error code of the last failed call of this module on this thread
// (Terminate, GetExitCode). Pitfall: only meaningful right after a failure.
DWORD LastError();

// The id of the calling process (GetCurrentProcessId).
DWORD CurrentProcessId();

} // namespace platform
