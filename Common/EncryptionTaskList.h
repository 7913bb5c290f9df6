// CEncryptionTaskList: the background program's encryption tasks, in arrival
// order, and what the pending-tasks window does with them apart from showing
// them: receiving a task, advancing every task once per timer pass with
// errors contained per task, keeping each unfinished task's record beside its
// working copy so that it is taken up again after a restart (also after a
// crash), and cleaning the working directory at the end without losing an
// unfinished task's working copy.
#pragma once

#include <memory>
#include <vector>

#include "platform/CString.h"
#include "EncryptionTask.h"
#include "platform/WinTypes.h"

class IEncryption;

class CEncryptionTaskList {
public:
    // A clean-up that failed is tried again after this delay, doubled after
    // every further failure up to ciMaxRetryDelayMs.
    static constexpr ULONGLONG ciFirstRetryDelayMs = 1000;
    static constexpr ULONGLONG ciMaxRetryDelayMs = 60000;
    // A working folder without a task is left alone this long after its last
    // change: a decryption elsewhere may have made it for a task on its way.
    static constexpr LONGLONG ciOrphanGraceSeconds = 60;

    // `engine` null means the process's engine.
    explicit CEncryptionTaskList(IEncryption* engine = nullptr);
    ~CEncryptionTaskList();
    CEncryptionTaskList(const CEncryptionTaskList&) = delete;
    CEncryptionTaskList& operator=(const CEncryptionTaskList&) = delete;

    // Takes ownership and appends the task, writes "UsedKeys" into the
    // working copy's side file and the task's record file.
    CEncryptionTask& Add(std::unique_ptr<CEncryptionTask> task);

    // A record that arrived from another process: checked against the
    // working directory (CEncryptionTask::ReadRecord) and added. False, with
    // the reason logged and given, when it is refused.
    bool Receive(const void* data, size_t size, CString* reason = nullptr);

    // Delay between passes, and the shorter one while GnuPG runs for a
    // task, so that its result is collected soon after it is there.
    static constexpr DWORD ciPassDelayMs = 300;
    static constexpr DWORD ciWatchingPassDelayMs = 100;
    static constexpr DWORD ciEncryptingPassDelayMs = 50;
    // Steps one task may take in one pass (each step that needs no waiting
    // is followed by the next).
    static constexpr int ciMaxStepsPerPass = 8;

    // One timer pass: every task, in list order, advances as far as it can
    // without waiting. A step that throws ends its task in "Encrytion failed"
    // with the error in the log and in the task; a clean-up that throws
    // keeps its task in "Cleaning up" and is retried with back-off. Returns
    // whether any task changed what its row shows.
    bool ProcessAll();
    // How long to wait before the next pass: ciEncryptingPassDelayMs while
    // any task is encrypting, ciWatchingPassDelayMs while one waits for its
    // application to end, else ciPassDelayMs.
    DWORD GetNextPassDelay() const;

    int GetCount() const { return static_cast<int>(m_tasks.size()); }
    CEncryptionTask& GetAt(int index) { return *m_tasks.at(static_cast<size_t>(index)).task; }
    const CEncryptionTask& GetAt(int index) const { return *m_tasks.at(static_cast<size_t>(index)).task; }
    // The index of a task of this list, -1 when it is not in the list.
    int IndexOf(const CEncryptionTask* task) const;

    // Drops the task: it is no longer advanced and not taken up again after
    // a restart; its working copy is not touched here.
    void RemoveAt(int index);
    // The user is done with a file that was handed on: the task goes on.
    void Finish(int index);

    // Whether any task is in a state other than 6, 7 and 9.
    bool HasPending() const;

    // Takes up the tasks whose record files lie in the working directory's
    // folders (skipping those already in the list). Returns how many.
    int Resume();

    // At the end of the program: removes the folders of finished tasks
    // ("Encrypted", "Encrypted(Not modified)") and folders that hold no task
    // record, unless a process holds a file in them or they changed in the
    // last ciOrphanGraceSeconds. Every other folder (unfinished and failed
    // tasks) stays with its working copy and record.
    void CleanWorkingDirectory();

private:
    struct SEntry {
        std::unique_ptr<CEncryptionTask> task;
        int failures = 0;            // clean-up failures in a row
        ULONGLONG nextAttempt = 0;   // tick before which a failed clean-up waits
    };
    void WriteUsedKeys(const CEncryptionTask& task);
    // One step of one task with its errors contained; true when its state
    // changed and another step may follow at once.
    bool Step(SEntry& entry, ULONGLONG now);
    IEncryption& Engine();

    IEncryption* m_engine;
    std::vector<SEntry> m_tasks;
};
