// The encryption task: SEncryptionTask, the fixed-layout record that the
// dialogs fill and hand to the background program, and CEncryptionTask, the
// task object the background program builds from it, with its states.
#pragma once

#include <cstddef>
#include <memory>

#include "ArrayEx.h"
#include "platform/CString.h"
#include "Key.h"
#include "platform/Process.h"
#include "platform/Time.h"
#include "platform/WinTypes.h"

class IEncryption;

// The record as it crosses process boundaries: 5456 bytes, little-endian,
// the same in 32-bit and 64-bit processes, no pointers.
struct SEncryptionTask {
    static constexpr DWORD ciVersion = 1;
    static constexpr DWORD ciSize = 5456;
    static constexpr DWORD ciKindEncryption = 0;
    static constexpr int ciPathLength = MAX_PATH; // UTF-16 units per path field
    static constexpr int ciMaxKeyIds = 512;
    static constexpr int ciHashSize = 16;

    DWORD version;                           // always 1
    DWORD size;                              // always 5456
    DWORD kind;                              // 0: an encryption task
    DWORD reserved;                          // 0
    char16_t filePath[ciPathLength];         // the working copy, zero-terminated
    DWORD processId;                         // the process using the working copy
    BYTE reserved2[260];                     // zero
    ULONGLONG keyIds[ciMaxKeyIds];           // recipients' long key ids, zero behind the last
    LONGLONG creationTime;                   // seconds since 1970 (UTC)
    LONGLONG completionTime;                 // seconds since 1970 (UTC); 0 until finished
    char16_t encryptedFilePath[ciPathLength]; // where the encrypted file is written, zero-terminated
    BOOL encryptionScheduled;                // re-encrypt the working copy if it was modified
    BOOL deletionScheduled;                  // remove the working copy when the task ends
    BYTE fileHash[ciHashSize];               // MD5 of the working copy when handed out, or zeros
};

static_assert(sizeof(SEncryptionTask) == SEncryptionTask::ciSize, "the task record is 5456 bytes");
static_assert(offsetof(SEncryptionTask, version) == 0);
static_assert(offsetof(SEncryptionTask, size) == 4);
static_assert(offsetof(SEncryptionTask, kind) == 8);
static_assert(offsetof(SEncryptionTask, reserved) == 12);
static_assert(offsetof(SEncryptionTask, filePath) == 16);
static_assert(offsetof(SEncryptionTask, processId) == 536);
static_assert(offsetof(SEncryptionTask, reserved2) == 540);
static_assert(offsetof(SEncryptionTask, keyIds) == 800);
static_assert(offsetof(SEncryptionTask, creationTime) == 4896);
static_assert(offsetof(SEncryptionTask, completionTime) == 4904);
static_assert(offsetof(SEncryptionTask, encryptedFilePath) == 4912);
static_assert(offsetof(SEncryptionTask, encryptionScheduled) == 5432);
static_assert(offsetof(SEncryptionTask, deletionScheduled) == 5436);
static_assert(offsetof(SEncryptionTask, fileHash) == 5440);

// The states of a task.
enum EEncryptionTaskStatus : int {
    eTaskWaitingForFile = 0,      // the working copy does not exist yet
    eTaskFileMissing = 1,         // no transition enters it
    eTaskFileInUse = 2,           // waiting for the using process to end
    eTaskStartEncryption = 3,     // the process has ended; hash check next
    eTaskEncrypting = 4,          // GnuPG was started; its result is awaited
    eTaskEncryptionComplete = 5,  // GnuPG succeeded
    eTaskEncryptionFailed = 6,    // GnuPG failed; final
    eTaskEncrypted = 7,           // encrypted and cleaned up; final
    eTaskCleaningUp = 8,          // removal of the working copy is next
    eTaskNotModified = 9,         // finished without encryption; final
};

// A task of the background program. Copies share one handle to the using
// process, which is closed once, when the last copy goes.
//
// Process() advances the task by at most one step per call and never blocks:
// GnuPG runs in the background while the task is "Encrypting...". A working
// copy is never hashed for the last time nor removed while any process holds
// it open. A task whose using process ended within ciHandOnMs of its start
// (a launcher that handed the file to a running instance), or could not be
// seen at all, waits in "File in use" until the user says it is finished.
class CEncryptionTask : public SEncryptionTask {
public:
    // A task looks at its working copy no earlier than this after its creation.
    static constexpr ULONGLONG ciMinWaitMs = 2000;
    // A using process that ended within this time of its start handed the
    // file on to another process.
    static constexpr ULONGLONG ciHandOnMs = 3000;
    // Suffix of the task's record file beside its working copy.
    static constexpr const char16_t* cszRecordSuffix = u".veilcase-task";

    // Builds a task in state 0 from a record: opens the using process (a
    // null handle when it has ended or the id is 0) and takes its name and
    // the record's hash.
    explicit CEncryptionTask(const SEncryptionTask& record);
    CEncryptionTask(const CEncryptionTask&) = default;
    CEncryptionTask& operator=(const CEncryptionTask&) = default;
    virtual ~CEncryptionTask() = default;

    EEncryptionTaskStatus GetStatus() const { return m_status; }
    // The text of the current state; "?" for a value outside the states.
    CString GetStatusString() const;
    // The text of any state value; "?" for a value outside the states.
    static CString GetStatusString(int status);

    CString GetUsingProcess() const { return m_strUsingProcess; }
    // The paths, read up to their terminator but never past their field.
    CString GetFilePath() const;
    CString GetEncryptedFilePath() const;
    CTime GetCreationTime() const { return CTime(creationTime); }
    CTime GetCompletionTime() const { return CTime(completionTime); }
    int IsEncryptionScheduled() const { return encryptionScheduled; }
    int IsDeletionScheduled() const { return deletionScheduled; }
    // A copy of the hash taken from the record.
    CArrayEx<BYTE, BYTE> GetFileHash() const { return m_storedHash; }

    // The handle of the using process (the null handle when it could not be
    // opened); shared by all copies of this task.
    const platform::CProcessHandle& GetProcess() const { return *m_process; }
    ULONGLONG GetCreatedTick() const { return m_ullCreatedTick; }
    bool IsNotModified() const { return m_bNotModified; }

    // ---- keys ---------------------------------------------------------------------

    // The recipients the key ring knows, in record order (ids from entry 0
    // up to the first 0, at most 512); unknown ids are left out.
    CArrayEx<CKey, const CKey&> GetKeys() const;
    CArrayEx<CKey, const CKey&> GetKeys(IEncryption& engine) const;
    // One line "<user id>(0x<ID>) \r\n" per non-zero id of all 512 entries;
    // an id the key ring does not know gives "(0x<ID>) \r\n".
    CString GetKeysString() const;
    CString GetKeysString(IEncryption& engine) const;

    // ---- processing ----------------------------------------------------------------

    // Advances the task by at most one step with the process's engine.
    // Errors of hashing, GnuPG and clean-up are thrown (heap exceptions);
    // the owner decides (see Fail and the clean-up back-off of the task list).
    void Process();
    void Process(IEncryption& engine);

    // Whether the task has reached a final state (6, 7 or 9).
    bool IsFinished() const;
    // Ends the task in "Encrytion failed" with `reason` shown in its row;
    // the working copy stays.
    void Fail(const CString& reason);
    // The last error of the task (empty when none); a clean-up that failed
    // sets it while the task stays in "Cleaning up".
    const CString& GetLastError() const { return m_strLastError; }
    void SetLastError(const CString& error) { m_strLastError = error; }
    // Percent of the running encryption, -1 when unknown or not encrypting.
    int GetProgress() const { return m_iProgress; }
    // The task waits for the user because the file was handed on (or its
    // process could not be seen); FinishHandedOn lets it go on.
    bool IsHandedOn() const { return m_bHandedOn && !m_bFinishRequested; }
    void FinishHandedOn() { m_bFinishRequested = true; }
    // A newly saved file: its record carries no hash.
    bool IsSaveTask() const;
    // The working copy was encrypted by this task.
    bool WasEncrypted() const { return m_bEncrypted; }
    // The state text with what the row adds: progress, handing on, errors.
    CString GetStatusDisplayText() const;

    // ---- the record beside the working copy ----------------------------------------

    // filePath + ".veilcase-task".
    CString GetRecordFilePath() const;
    // Writes the record and the task's state to GetRecordFilePath(), private
    // (0600), replacing the old one in one step. False when the folder is
    // gone or the file can't be written.
    bool SaveRecordFile() const;
    // Removes the record file (nothing happens when there is none).
    void DeleteRecordFile() const;
    // Reads a task back from its record file for resuming after a restart.
    // The record is checked as a received one is (see ReadRecord), must lie
    // beside its working copy, and the using process is taken up again only
    // when it is the same process (same start) as before. Null, with
    // `reason`, when the file is no usable task.
    static std::unique_ptr<CEncryptionTask> LoadRecordFile(const CString& path, const CString& workingDir,
                                                           CString& reason);

    // Checks a record that came from outside (`size` bytes at `data`) and
    // copies it into `record`: exactly 5456 bytes, kind 0, both paths
    // terminated within their fields and absolute, the working copy in a
    // folder of its own directly inside `workingDir` and no ".." anywhere;
    // the flags become 0 or 1. False, with `reason`, when it is refused.
    static bool ReadRecord(const void* data, size_t size, const CString& workingDir, SEncryptionTask& record,
                           CString& reason);

protected:
    void SetStatus(EEncryptionTaskStatus status) { m_status = status; }
    // Notes the moment the using process is first seen ended.
    void ObserveProcess();
    bool IsUsingProcessRunning() const;
    // Whether another process holds the working copy open; updates the
    // using process's name to the holder's.
    bool IsWorkingCopyHeld();
    void StartEncryption(IEncryption& engine);
    void CleanUp();

    ULONGLONG m_ullCreatedTick = 0;
    EEncryptionTaskStatus m_status = eTaskWaitingForFile;
    CString m_strUsingProcess;
    std::shared_ptr<platform::CProcessHandle> m_process;
    CArrayEx<BYTE, BYTE> m_storedHash;
    bool m_bNotModified = false;

    ULONGLONG m_ullProcessStartStamp = 0;  // the using process's start, 0 when unknown
    ULONGLONG m_ullProcessAgeAtCreation = 0;
    ULONGLONG m_ullProcessEndTick = 0;     // when the process was first seen ended
    bool m_bHandedOn = false;
    bool m_bFinishRequested = false;
    bool m_bEncrypted = false;
    int m_iProgress = -1;
    CString m_strLastError;
};
