// CVeilcaseApp: the background program's start-up. Its command line chooses
// one of its jobs: register the system ("/Register"), unregister it
// ("/Unregister"), open a double-clicked encrypted file (a path), or run the
// pending-tasks window (nothing). Exactly one instance keeps the tasks; a
// second one hands its task to the first and ends.
#pragma once

#include <memory>

#include "ArrayEx.h"
#include "EncryptionTaskList.h"
#include "platform/CString.h"

class CVeilcaseDlg;

class CVeilcaseApp {
public:
    enum ECommand {
        eRunWindow,  // nothing on the command line
        eRegister,   // "/Register", "/Regserver"
        eUnregister, // "/Unregister", "/Unregserver"
        eOpenFile,   // a file path
        eHelp,       // "--help", "-h", "/?"
        eDemo,       // "--demo": the demonstration main job
        eBadOption,  // an option nobody knows
    };
    struct SCommandLine {
        ECommand command = eRunWindow;
        CString file;
        bool hidden = false; // "/Hidden": the window starts hidden
        CString badOption;
    };

    // Reads the arguments (without the program name). Switches start with
    // '/' or '-' and ignore case.
    static SCommandLine ParseCommandLine(const std::vector<CString>& arguments);
    static const char* UsageText();

    // Runs the job and returns the process's exit code.
    int Run(const SCommandLine& commandLine);

    // Whether another instance's window can be found.
    static bool IsAnotherInstanceRunning();
    // Asks the running instance's window to show itself (it may run hidden,
    // started by a hand-off); false when none answers.
    static bool ShowRunningInstance();

    // Opens a file as a double click does; returns whether the window runs
    // next (a task for it, or a file whose recipients are all unknown).
    bool OpenFile(const CString& path);
    // Runs the pending-tasks window until it closes (tasks of an earlier run
    // are taken up first), then cleans the working directory.
    int RunWindow();
    CEncryptionTaskList& Tasks() { return m_tasks; }

private:
    int Register();
    int Unregister();
    // Stores the gpg on PATH when none is configured, and says so.
    void ConfigureGnuPGOnFirstRun();
    // Shows an error caught during start-up, and the settings dialog for
    // the errors the user can repair there.
    void ReportStartError(class COrvException* error);

    CEncryptionTaskList m_tasks;
    std::unique_ptr<SEncryptionTask> m_pendingRecord; // built by OpenFile for this instance
    bool m_bHidden = false;
};
