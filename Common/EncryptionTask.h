// The encryption task: SEncryptionTask, the fixed-layout record that the
// dialogs fill and hand to the background program, and CEncryptionTask, the
// task object the background program builds from it, with its states.
#pragma once

#include <cstddef>
#include <memory>

#include "ArrayEx.h"
#include "platform/CString.h"
#include "platform/Process.h"
#include "platform/Time.h"
#include "platform/WinTypes.h"

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
class CEncryptionTask : public SEncryptionTask {
public:
    // Builds a task in state 0 from a record: opens the using process (a
    // null handle when it has ended or the id is 0) and takes its name and
    // the record's hash.
    explicit CEncryptionTask(const SEncryptionTask& record);
    CEncryptionTask(const CEncryptionTask&) = default;
    CEncryptionTask& operator=(const CEncryptionTask&) = default;
    ~CEncryptionTask() = default;

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

protected:
    ULONGLONG m_ullCreatedTick = 0;
    EEncryptionTaskStatus m_status = eTaskWaitingForFile;
    CString m_strUsingProcess;
    std::shared_ptr<platform::CProcessHandle> m_process;
    CArrayEx<BYTE, BYTE> m_storedHash;
    bool m_bNotModified = false;
};
