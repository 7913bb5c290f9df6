#include "EncryptionTaskList.h"

#include <exception>
#include <vector>

#include "Configuration.h"
#include "Directory.h"
#include "Encryption.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "Log.h"
#include "OrvException.h"
#include "platform/PrivateProfile.h"
#include "platform/Process.h"
#include "platform/Time.h"

namespace {

// The text of a caught heap exception; the exception is deleted.
CString TakeMessage(CException* error)
{
    CString text;
    if (auto* orv = dynamic_cast<COrvException*>(error)) {
        text = orv->GetErrorMessageWithoutDebugInfo();
    } else if (auto* user = dynamic_cast<CUserException*>(error)) {
        text = user->GetDiagnostic();
    } else {
        char16_t buffer[1024] = {};
        if (error->GetErrorMessage(buffer, 1024))
            text = buffer;
    }
    error->Delete();
    if (text.IsEmpty())
        text = u"Unknown error";
    return text;
}

// Whether any file in the folder tree is held open by another process.
bool IsAnyFileHeld(const CString& folder)
{
    CArrayEx<CString> files;
    CDirectory::ListFilesRecursive(folder, files, u"*");
    for (const CString& file : files)
        if (platform::FindFileHolder(file) != 0)
            return true;
    return false;
}

CString WithoutSlash(CString path)
{
    while (path.GetLength() > 1 && path[path.GetLength() - 1] == u'/')
        path = path.Left(path.GetLength() - 1);
    return path;
}

} // namespace

CEncryptionTaskList::CEncryptionTaskList(IEncryption* engine) : m_engine(engine) {}

CEncryptionTaskList::~CEncryptionTaskList() = default;

IEncryption& CEncryptionTaskList::Engine()
{
    return m_engine ? *m_engine : CEncryption::GetDefault();
}

void CEncryptionTaskList::WriteUsedKeys(const CEncryptionTask& task)
{
    CString ids;
    for (const CKey& key : task.GetKeys(Engine())) {
        if (!ids.IsEmpty())
            ids += u",";
        ids += key.GetLongKeyIDString();
    }
    CString sideFile = task.GetFilePath() + u".veilcase";
    if (!WritePrivateProfileStringW(u"veilcase", u"UsedKeys", ids.GetString(), sideFile))
        WriteLog(eLogError, u"Cannot write the used keys into <%s>", sideFile.GetString());
}

CEncryptionTask& CEncryptionTaskList::Add(std::unique_ptr<CEncryptionTask> task)
{
    WriteUsedKeys(*task);
    if (!task->SaveRecordFile())
        WriteLog(eLogWarning, u"Cannot keep the record of the task for <%s>; it will not survive a restart",
                 task->GetFilePath().GetString());
    WriteLog(eLogDebug, u"Task added for <%s> (encrypted file <%s>)", task->GetFilePath().GetString(),
             task->GetEncryptedFilePath().GetString());
    SEntry entry;
    entry.task = std::move(task);
    m_tasks.push_back(std::move(entry));
    return *m_tasks.back().task;
}

bool CEncryptionTaskList::Receive(const void* data, size_t size, CString* reason)
{
    SEncryptionTask record;
    CString why;
    if (!CEncryptionTask::ReadRecord(data, size, CConfiguration::GetWorkingDir(0), record, why)) {
        WriteLog(eLogError, u"Encryption task refused: %s", why.GetString());
        if (reason)
            *reason = why;
        return false;
    }
    Add(std::make_unique<CEncryptionTask>(record));
    return true;
}

bool CEncryptionTaskList::Step(SEntry& entry, ULONGLONG now)
{
    CEncryptionTask& task = *entry.task;
    const EEncryptionTaskStatus before = task.GetStatus();
    CString error;
    try {
        task.Process(Engine());
    } catch (CException* caught) {
        error = TakeMessage(caught);
    } catch (const std::exception& caught) {
        error = CString::FromUtf8(caught.what());
    }
    if (!error.IsEmpty()) {
        WriteLog(eLogError, u"Task for <%s> failed in state \"%s\": %s", task.GetFilePath().GetString(),
                 CEncryptionTask::GetStatusString(before).GetString(), error.GetString());
        if (task.GetStatus() == eTaskCleaningUp) {
            // Try again later, less often each time.
            ++entry.failures;
            ULONGLONG delay = ciFirstRetryDelayMs;
            for (int i = 1; i < entry.failures && delay < ciMaxRetryDelayMs; ++i)
                delay *= 2;
            entry.nextAttempt = now + std::min(delay, ciMaxRetryDelayMs);
            task.SetLastError(error);
        } else {
            task.Fail(error);
        }
    } else if (task.GetStatus() != eTaskCleaningUp) {
        entry.failures = 0;
    }
    if (task.GetStatus() == before)
        return false;
    // A finished task's folder is gone with its record; every other state
    // is kept for a restart.
    task.SaveRecordFile();
    WriteLog(eLogDebug, u"Task for <%s>: %s", task.GetFilePath().GetString(), task.GetStatusDisplayText().GetString());
    return error.IsEmpty();
}

bool CEncryptionTaskList::ProcessAll()
{
    bool changed = false;
    const ULONGLONG now = platform::GetTickCount64();
    for (SEntry& entry : m_tasks) {
        CEncryptionTask& task = *entry.task;
        if (task.IsFinished() || now < entry.nextAttempt)
            continue;
        const CString textBefore = task.GetStatusDisplayText();
        // Steps that need no waiting follow each other in one pass, so that
        // a file is encrypted in the pass that sees its application end.
        for (int step = 0; step < ciMaxStepsPerPass && !task.IsFinished(); ++step)
            if (!Step(entry, now))
                break;
        if (task.GetStatusDisplayText() != textBefore)
            changed = true;
    }
    return changed;
}

DWORD CEncryptionTaskList::GetNextPassDelay() const
{
    DWORD delay = ciPassDelayMs;
    for (const SEntry& entry : m_tasks) {
        const CEncryptionTask& task = *entry.task;
        if (task.GetStatus() == eTaskEncrypting)
            return ciEncryptingPassDelayMs;
        // A task that only waits for its application to end is looked at
        // more often, so that the file is encrypted soon after.
        if (task.GetStatus() == eTaskFileInUse && !task.IsHandedOn())
            delay = ciWatchingPassDelayMs;
    }
    return delay;
}

int CEncryptionTaskList::IndexOf(const CEncryptionTask* task) const
{
    for (size_t i = 0; i < m_tasks.size(); ++i)
        if (m_tasks[i].task.get() == task)
            return static_cast<int>(i);
    return -1;
}

void CEncryptionTaskList::RemoveAt(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    m_tasks[static_cast<size_t>(index)].task->DeleteRecordFile();
    m_tasks.erase(m_tasks.begin() + index);
}

void CEncryptionTaskList::Finish(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    CEncryptionTask& task = GetAt(index);
    task.FinishHandedOn();
    task.SaveRecordFile();
}

bool CEncryptionTaskList::HasPending() const
{
    for (const SEntry& entry : m_tasks)
        if (!entry.task->IsFinished())
            return true;
    return false;
}

int CEncryptionTaskList::Resume()
{
    CString workingDir = CConfiguration::GetWorkingDir(0);
    if (workingDir.IsEmpty())
        return 0;
    int resumed = 0;
    CArrayEx<CString> folders;
    CDirectory::ListFiles(workingDir, folders, u"*", FILE_ATTRIBUTE_DIRECTORY);
    for (const CString& name : folders) {
        CString folder = CDirectory::Concat(workingDir, name);
        if (platform::GetAttributes(folder) & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;
        CArrayEx<CString> records;
        CDirectory::ListFiles(folder, records, CString(u"*") + CEncryptionTask::cszRecordSuffix,
                              FILE_ATTRIBUTE_ARCHIVE);
        for (const CString& recordName : records) {
            CString path = CDirectory::Concat(folder, recordName);
            CString reason;
            std::unique_ptr<CEncryptionTask> task = CEncryptionTask::LoadRecordFile(path, workingDir, reason);
            if (!task) {
                WriteLog(eLogError, u"Task record <%s> not taken up: %s", path.GetString(), reason.GetString());
                continue;
            }
            bool known = false;
            for (const SEntry& entry : m_tasks)
                known = known || entry.task->GetFilePath() == task->GetFilePath();
            if (known)
                continue;
            WriteLog(eLogDebug, u"Task for <%s> taken up again in state \"%s\"", task->GetFilePath().GetString(),
                     task->GetStatusString().GetString());
            SEntry entry;
            entry.task = std::move(task);
            m_tasks.push_back(std::move(entry));
            ++resumed;
        }
    }
    return resumed;
}

void CEncryptionTaskList::CleanWorkingDirectory()
{
    CString workingDir = CConfiguration::GetWorkingDir(0);
    if (workingDir.IsEmpty())
        return;
    CArrayEx<CString> folders;
    CDirectory::ListFiles(workingDir, folders, u"*", FILE_ATTRIBUTE_DIRECTORY);
    const LONGLONG now = platform::Time64();
    for (const CString& name : folders) {
        CString folder = CDirectory::Concat(workingDir, name);
        platform::FileEntry entry;
        bool isLink = (platform::GetAttributes(folder) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;

        // The folder's task, if the list has one.
        const CEncryptionTask* owner = nullptr;
        for (const SEntry& e : m_tasks)
            if (WithoutSlash(CDirectory::SplitPathFromFileNameWithPath(e.task->GetFilePath())) == folder)
                owner = e.task.get();
        bool done = owner && (owner->GetStatus() == eTaskEncrypted || owner->GetStatus() == eTaskNotModified);
        if (owner && !done)
            continue; // unfinished or failed: keep it for the next start
        if (!owner && !isLink) {
            CArrayEx<CString> records;
            CDirectory::ListFiles(folder, records, CString(u"*") + CEncryptionTask::cszRecordSuffix,
                                  FILE_ATTRIBUTE_ARCHIVE);
            if (records.GetSize() > 0)
                continue; // a task not in this list (refused or not yet taken up)
            if (platform::FindFirst(folder, entry) && now - entry.lastWriteTime < ciOrphanGraceSeconds)
                continue;
        }
        if (!isLink && IsAnyFileHeld(folder)) {
            WriteLog(eLogWarning, u"Working folder <%s> is still in use and stays", folder.GetString());
            continue;
        }
        try {
            CDirectory::Remove(folder, true);
        } catch (CException* error) {
            WriteLog(eLogError, u"Cannot remove working folder <%s>: %s", folder.GetString(),
                     TakeMessage(error).GetString());
        }
    }
}
