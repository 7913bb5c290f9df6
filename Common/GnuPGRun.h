// CGnuPGRun: one GnuPG run with a status file that the caller follows while
// it runs: whether it still runs, how far it has come (its PROGRESS status
// lines) and, once it has ended, whether it succeeded or which message
// tells the user why not.
#pragma once

#include <memory>
#include <string>

#include "platform/CString.h"
#include "platform/Process.h"
#include "platform/WinTypes.h"

class CGnuPGRun {
public:
    ~CGnuPGRun();
    CGnuPGRun(const CGnuPGRun&) = delete;
    CGnuPGRun& operator=(const CGnuPGRun&) = delete;

    // Starts `"<gnupgPath>" <homeOption> --status-file "<file>" <arguments>`
    // with the caller's standard handles; the status file is created fresh
    // (0600) in the user's private temporary folder. Returns at once.
    // Throws COrvException 2001 (heap) with a detail text when the status
    // file can't be made or GnuPG can't be started.
    static std::unique_ptr<CGnuPGRun> Start(const CString& gnupgPath, const CString& homeOption,
                                            const CString& arguments);

    // Whether GnuPG still runs. Never blocks.
    bool IsRunning() const;
    // Waits without limit until GnuPG has ended.
    void Wait() const;

    // How far the run has come, in percent, from the last PROGRESS line
    // GnuPG wrote so far (new lines only are read, so following a run costs
    // what it writes); -1 while it has said nothing usable.
    int GetProgress();

    // Once GnuPG has ended: 0 when it exited with 0, else the message id that
    // explains the failure (2005, 2006 or 2001, from the first 5000 bytes of
    // the status file). The status file is deleted then. Pitfall: call it
    // only after IsRunning() turned false; a running GnuPG counts as failed.
    UINT Finish();

    const std::shared_ptr<platform::CProcessHandle>& Process() const { return m_process; }

private:
    CGnuPGRun() = default;
    void DeleteStatusFile();

    std::shared_ptr<platform::CProcessHandle> m_process;
    CString m_statusPath;
    unsigned long long m_statusOffset = 0; // bytes of the status file read for progress
    std::string m_partialLine;
    int m_progress = -1;
    bool m_finished = false;
    UINT m_result = 0;
};
