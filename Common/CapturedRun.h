// CCapturedRun: one run of a program whose standard output and standard
// error are collected as text, started at one moment and collected at a
// later one, so that the caller can do other work (another run) meanwhile.
// RunProcess is a start followed at once by its collection.
#pragma once

#include <string>

#include "platform/CString.h"
#include "platform/Process.h"
#include "platform/WinTypes.h"

class CCapturedRun {
public:
    CCapturedRun() = default;
    // A run that was started and never collected is stopped (with all it
    // started), so that no child outlives the object.
    ~CCapturedRun();
    CCapturedRun(const CCapturedRun&) = delete;
    CCapturedRun& operator=(const CCapturedRun&) = delete;

    // Starts `"<executablePath>" <parameters>` with standard output and
    // standard error merged into one pipe and the caller's standard input.
    // The path is resolved through links first. Returns false (logged) when
    // the child can't be started; Collect then gives no answer.
    bool Start(const CString& executablePath, const CString& parameters, UINT timeoutSeconds,
               size_t maxOutputBytes);

    // Appends everything the child writes to `output` (UTF-8, a character
    // split between two reads kept whole) until it ends, and returns true
    // when it ended by itself and its exit code was read (then in
    // `*exitCode`, else 0 there). The child is stopped with all it started,
    // and false returned, when more than the time-out in whole seconds has
    // passed since this call (a child that had to wait for the caller to read
    // its output is not blamed for that wait), or once it has written more
    // than the maximum (only the first bytes up to the maximum are kept).
    // Pitfall: collects once; later calls give no answer.
    bool Collect(CString& output, DWORD* exitCode = nullptr);

    // Appends the leading complete UTF-8 characters of `pending` to `output`
    // and leaves an incomplete one at the end in `pending`; with `flush`
    // everything is appended (an incomplete character as U+FFFD).
    static void AppendUtf8(CString& output, std::string& pending, bool flush);

private:
    platform::CProcessHandle m_process;
    platform::CPipeReader m_pipe;
    UINT m_timeoutSeconds = 0;
    size_t m_maxOutputBytes = 0;
    bool m_started = false;
};
