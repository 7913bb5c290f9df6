// Running GnuPG (or any program) as a child process: the captured run, which
// collects everything the child writes within a time-out and kills the whole
// process tree when it is exceeded (CCapturedRun does the work); the run with
// a status channel, whose status lines are read while GnuPG runs and which
// can be stopped as soon as GnuPG has said enough; and the status-file run,
// which waits for GnuPG without limit and turns a failure into the error the
// user sees.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "GnuPGStatusReader.h"
#include "platform/CString.h"
#include "platform/Process.h"
#include "platform/WinTypes.h"

// What a captured run keeps of a child's output at most: far above any real
// listing (a key ring of 20,000 keys lists in about 10 MB).
constexpr size_t ciMaxCapturedOutputBytes = 64u << 20;

// Starts `"<executablePath>" <parameters>` with standard output and standard
// error merged into one pipe and the caller's standard input, and appends
// everything the child writes to `output`, decoded as UTF-8 (a character
// split between two reads is kept whole). Waits until the child ends or
// until more than `timeoutSeconds` whole seconds have passed (measured on a
// monotonic clock, so a run of exactly the time-out is not yet too long);
// at the time-out the child and all its descendants are killed and the
// text read so far stays in `output`. Output is read as it arrives; once
// the child has written more than `maxOutputBytes`, it and its descendants
// are killed in the same way and only the first `maxOutputBytes` stay in
// `output`. Returns true only when the child ended by itself and its exit
// code was read; then `*exitCode` (if given) holds it, otherwise `*exitCode`
// is 0. Pitfall: a child whose own children keep the pipe open is still
// judged by its own end alone.
bool RunProcess(CString executablePath, CString parameters, UINT timeoutSeconds, CString& output,
                DWORD* exitCode = nullptr, size_t maxOutputBytes = ciMaxCapturedOutputBytes);

// Reads whatever has arrived in `pipe` for up to `durationMs` milliseconds,
// appending the text to `output` as it arrives; stops early once the pipe is
// broken (every writer gone and nothing left). Bytes of an incomplete UTF-8
// sequence at the end of a read are kept in `pending` for the next call;
// without `pending` they are decoded (as U+FFFD) at the end of this call.
// Pitfall: never blocks, so a child that writes nothing costs 10 ms sleeps
// until the duration is over.
void ReadPipeOutput(platform::CPipeReader& pipe, DWORD durationMs, CString& output,
                    std::string* pending = nullptr);

// Kills the process with this id and, first, all of its descendants (each
// subtree before its root). Descendants end with exit code 0, the process
// itself with 1. Returns false when a process of the tree could not be
// terminated; a process that has already gone is no failure. The second
// number is accepted for callers that pass one and has no effect. Pitfall:
// id 0 and the calling process's own id are refused (false): killing "the
// tree of 0" would mean every process of the system.
bool KillProcessTree(DWORD processId, DWORD unused = 1000);

// Runs GnuPG as `"<gnupgPath>" <homeOption> --status-file "<file>" <arguments>`
// without redirecting its standard handles, and waits without limit for it
// to end. `homeOption` is "--homedir "<dir>" " or empty. The status file is
// created fresh (mode 0600) in the user's private temporary folder and
// deleted before this returns or throws. Returns the handle of the ended
// process when GnuPG exited with 0. Otherwise throws a COrvException (heap)
// with message 2005 (passphrase wrong, cancelled or missing), 2006 (no
// fitting secret key) or 2001 (anything else), chosen from the first 5000
// bytes of the status file; 2001 with a detail text naming the cause when
// the status file can't be made or GnuPG can't be started at all.
std::shared_ptr<platform::CProcessHandle> RunGnuPGWithStatusFile(const CString& gnupgPath,
                                                                 const CString& homeOption,
                                                                 const CString& arguments);

// How a run with a status channel ended.
enum class EStatusRunEnd {
    eEnded,     // GnuPG ended by itself and its exit code was read
    eStopped,   // the caller had heard enough: GnuPG was stopped
    eTimedOut,  // it ran longer than its time-out and was stopped
    eOverLimit, // its status said more than the reader keeps: it was stopped
    eLost,      // it ended, but its exit code can't be read
    eNotStarted, // the channel could not be made or GnuPG could not be started
};

// Runs GnuPG as `"<gnupgPath>" <homeOption> --status-fd <n> <arguments>`
// with a status channel of its own and reads its status lines into
// `reader` as they arrive. Standard input is the caller's; standard output
// and standard error go as `outputMode` says (eInherit lets GnuPG talk on the
// caller's terminal). After every piece of status `stopWhen` (if set) is
// asked; when it answers true, GnuPG is stopped at once. Waits without
// limit when `timeoutSeconds` is INFINITE, else stops GnuPG once more than
// that many whole seconds have passed. The full command line is logged at
// debug level, and how the run ended. `exitCode` gets GnuPG's exit code
// for eEnded, else 0. For eNotStarted, `failure` (if given) gets a text
// that names the cause.
EStatusRunEnd RunGnuPGWithStatusChannel(const CString& gnupgPath, const CString& homeOption,
                                        const CString& arguments, platform::EProcessOutput outputMode,
                                        DWORD timeoutSeconds, CGnuPGStatusReader& reader,
                                        const std::function<bool(const SGnuPGStatus&)>& stopWhen, DWORD& exitCode,
                                        CString* failure = nullptr);
