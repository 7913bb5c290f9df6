// Running GnuPG (or any program) as a child process: the captured run, which
// collects everything the child writes within a time-out and kills the whole
// process tree when it is exceeded, and the status-file run, which waits for
// GnuPG without limit and turns a failure into the error the user sees.
#pragma once

#include <memory>
#include <string>

#include "platform/CString.h"
#include "platform/Process.h"
#include "platform/WinTypes.h"

// Starts `"<executablePath>" <parameters>` with standard output and standard
// error merged into one pipe and the caller's standard input, and appends
// everything the child writes to `output`, decoded as UTF-8 (a character
// split between two reads is kept whole). Waits until the child ends or
// until more than `timeoutSeconds` whole seconds have passed (measured on a
// monotonic clock, so a run of exactly the time-out is not yet too long);
// at the time-out the child and all its descendants are killed and the
// text read so far stays in `output`. Returns true only when the child ended
// by itself and its exit code was read; then `*exitCode` (if given) holds
// it, otherwise `*exitCode` is 0. Pitfall: a child whose own children keep
// the pipe open is still judged by its own end alone.
bool RunProcess(CString executablePath, CString parameters, UINT timeoutSeconds, CString& output,
                DWORD* exitCode = nullptr);

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
