#include "EncryptionTask.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "Directory.h"
#include "Encryption.h"
#include "platform/FileSystem.h"
#include "FileUtils.h"
#include "platform/TempFile.h"
#include "platform/Time.h"

namespace fs = std::filesystem;

namespace {

// What follows the record in a task's record file.
struct STaskTrailer {
    char magic[4];               // "VCTS"
    DWORD version;               // 1
    LONG status;                 // EEncryptionTaskStatus
    DWORD flags;                 // ciFlag* bits
    ULONGLONG processStartStamp; // start of the using process; 0 when unknown
};
static_assert(sizeof(STaskTrailer) == 24);
constexpr DWORD ciFlagNotModified = 1;
constexpr DWORD ciFlagHandedOn = 2;
constexpr DWORD ciFlagFinishRequested = 4;
constexpr DWORD ciFlagEncrypted = 8;

// A path field up to its terminator, or the whole field when it has none.
CString PathField(const char16_t (&field)[SEncryptionTask::ciPathLength])
{
    int length = 0;
    while (length < SEncryptionTask::ciPathLength && field[length] != 0)
        ++length;
    return CString(field, length);
}

bool IsTerminated(const char16_t (&field)[SEncryptionTask::ciPathLength])
{
    for (char16_t c : field)
        if (c == 0)
            return true;
    return false;
}

CString WithoutTrailingSlash(CString path)
{
    while (path.GetLength() > 1 && path[path.GetLength() - 1] == u'/')
        path = path.Left(path.GetLength() - 1);
    return path;
}

// An absolute path already in its normal form: no ".", "..", "//" or
// trailing separator that could point somewhere else than it reads.
bool IsPlainAbsolutePath(const CString& path)
{
    return path.GetLength() > 1 && path[0] == u'/' && CDirectory::FullPath(path) == path;
}

bool EndsWithEncryptedExtension(const CString& path)
{
    if (path.GetLength() < 5)
        return false;
    CString extension = path.Right(4);
    return extension.EqualsNoCase(u".gpg") || extension.EqualsNoCase(u".pgp");
}

} // namespace

CEncryptionTask::CEncryptionTask(const SEncryptionTask& record)
    : SEncryptionTask(record),
      m_ullCreatedTick(platform::GetTickCount64()),
      m_status(eTaskWaitingForFile),
      m_process(std::make_shared<platform::CProcessHandle>(platform::CProcessHandle::Open(record.processId)))
{
    m_strUsingProcess = CFileUtils::GetAppName(*m_process);
    for (BYTE b : record.fileHash)
        m_storedHash.Add(b);
    m_ullProcessStartStamp = platform::GetProcessStartStamp(*m_process);
    if (m_ullProcessStartStamp == 0 || !platform::GetProcessAge(*m_process, m_ullProcessAgeAtCreation)) {
        // A process that can't be seen gives no sign of when the user is
        // done: it ended before the task arrived (a launcher) or was never
        // known.
        m_bHandedOn = true;
    }
}

CString CEncryptionTask::GetStatusString() const
{
    return GetStatusString(m_status);
}

CString CEncryptionTask::GetStatusString(int status)
{
    switch (status) {
    case eTaskWaitingForFile:
        return u"Waiting for file";
    case eTaskFileMissing:
        return u"File missing";
    case eTaskFileInUse:
        return u"File in use";
    case eTaskStartEncryption:
        return u"Start encryption";
    case eTaskEncrypting:
        return u"Encrypting...";
    case eTaskEncryptionComplete:
        return u"Encryption complete";
    case eTaskEncryptionFailed:
        return u"Encrytion failed";
    case eTaskEncrypted:
        return u"Encrypted";
    case eTaskCleaningUp:
        return u"Cleaning up";
    case eTaskNotModified:
        return u"Encrypted(Not modified)";
    default:
        return u"?";
    }
}

CString CEncryptionTask::GetStatusDisplayText() const
{
    CString text = GetStatusString();
    if (m_status == eTaskEncrypting && m_iProgress >= 0)
        text.AppendFormat(u" %d%%", m_iProgress);
    else if (m_status == eTaskFileInUse && IsHandedOn())
        text += u" (handed on: finish it when you are done)";
    if (!m_strLastError.IsEmpty())
        text += u": " + m_strLastError;
    return text;
}

CString CEncryptionTask::GetFilePath() const
{
    return PathField(filePath);
}

CString CEncryptionTask::GetEncryptedFilePath() const
{
    return PathField(encryptedFilePath);
}

bool CEncryptionTask::IsSaveTask() const
{
    for (BYTE b : fileHash)
        if (b != 0)
            return false;
    return true;
}

bool CEncryptionTask::IsFinished() const
{
    return m_status == eTaskEncryptionFailed || m_status == eTaskEncrypted || m_status == eTaskNotModified;
}

void CEncryptionTask::Fail(const CString& reason)
{
    m_strLastError = reason;
    completionTime = platform::Time64();
    m_iProgress = -1;
    m_status = eTaskEncryptionFailed;
}

// ---- keys ----------------------------------------------------------------------------

CArrayEx<CKey, const CKey&> CEncryptionTask::GetKeys() const
{
    return GetKeys(CEncryption::GetDefault());
}

CArrayEx<CKey, const CKey&> CEncryptionTask::GetKeys(IEncryption& engine) const
{
    CArrayEx<CKey, const CKey&> keys;
    for (int i = 0; i < ciMaxKeyIds && keyIds[i] != 0; ++i) {
        CKey key;
        if (engine.FindKey(keyIds[i], key))
            keys.Add(key);
    }
    return keys;
}

CString CEncryptionTask::GetKeysString() const
{
    return GetKeysString(CEncryption::GetDefault());
}

CString CEncryptionTask::GetKeysString(IEncryption& engine) const
{
    CString text;
    bool any = false;
    for (ULONGLONG id : keyIds)
        any = any || id != 0;
    if (!any)
        return text;
    CArrayEx<CKey, const CKey&> listed = engine.ListPublicKeys();
    for (ULONGLONG id : keyIds) {
        if (id == 0)
            continue;
        CString line;
        for (const CKey& key : listed)
            if (key.GetLongKeyID() == id)
                line = key.GetUserID();
        line.AppendFormat(u"(0x%llX) ", static_cast<unsigned long long>(id));
        text += line + u"\r\n";
    }
    return text;
}

// ---- processing -----------------------------------------------------------------------

bool CEncryptionTask::IsUsingProcessRunning() const
{
    return !m_process->IsNull() && m_process->Wait(0) == WAIT_TIMEOUT;
}

void CEncryptionTask::ObserveProcess()
{
    if (m_ullProcessEndTick != 0 || m_process->IsNull() || IsUsingProcessRunning())
        return;
    m_ullProcessEndTick = platform::GetTickCount64();
    // At most this long can the process have lived: it was this old when the
    // task was made and has been seen ended now.
    ULONGLONG lifetime = m_ullProcessAgeAtCreation + (m_ullProcessEndTick - m_ullCreatedTick);
    if (lifetime < ciHandOnMs)
        m_bHandedOn = true;
}

bool CEncryptionTask::IsWorkingCopyHeld()
{
    CString holder;
    if (platform::FindFileHolder(GetFilePath(), &holder) == 0)
        return false;
    if (!holder.IsEmpty())
        m_strUsingProcess = holder;
    return true;
}

void CEncryptionTask::Process()
{
    Process(CEncryption::GetDefault());
}

void CEncryptionTask::Process(IEncryption& engine)
{
    switch (m_status) {
    case eTaskWaitingForFile:
        ObserveProcess();
        if (CDirectory::FileExist(GetFilePath(), CString())) {
            // A program started through a launcher that replaced itself
            // (GIO's gio-launch-desktop) goes by its own name by now.
            if (IsUsingProcessRunning()) {
                CString name = CFileUtils::GetAppName(*m_process);
                if (!name.IsEmpty())
                    m_strUsingProcess = name;
            }
            m_status = eTaskFileInUse;
        }
        break;
    case eTaskFileInUse:
        ObserveProcess();
        if (platform::GetTickCount64() <= m_ullCreatedTick + ciMinWaitMs || IsUsingProcessRunning() ||
            IsHandedOn() || IsWorkingCopyHeld())
            break;
        m_status = encryptionScheduled ? eTaskStartEncryption : eTaskCleaningUp;
        break;
    case eTaskStartEncryption:
        // The file may have been opened again since the last look.
        if (IsWorkingCopyHeld()) {
            m_status = eTaskFileInUse;
            break;
        }
        StartEncryption(engine);
        break;
    case eTaskEncrypting: {
        IEncryption::EOperationResult result = engine.GetEnryptionResult(*this);
        if (result == IEncryption::eOperationPending) {
            m_iProgress = engine.GetEncryptionProgress(*this);
        } else if (result == IEncryption::eOperationSucceeded) {
            m_bEncrypted = true;
            m_iProgress = -1;
            m_status = eTaskEncryptionComplete;
        } else {
            CString failure = engine.GetEncryptionFailure(*this);
            Fail(failure.IsEmpty() ? CString(u"GnuPG did not encrypt the file (see the log)") : failure);
        }
        break;
    }
    case eTaskEncryptionComplete:
        m_status = eTaskCleaningUp;
        break;
    case eTaskCleaningUp:
        CleanUp();
        break;
    default:
        break;
    }
}

void CEncryptionTask::StartEncryption(IEncryption& engine)
{
    // Set first: a hash or GnuPG start that throws leaves the task here
    // with no run, which its next step reports as failed.
    m_status = eTaskEncrypting;
    CString path = GetFilePath();
    CArrayEx<BYTE, BYTE> hash = CFileUtils::ComputeFileHash(path);
    m_bNotModified = true;
    for (int i = 0; i < m_storedHash.GetSize(); ++i)
        if (i >= hash.GetSize() || hash[i] != m_storedHash[i])
            m_bNotModified = false;
    if (m_bNotModified) {
        m_status = eTaskCleaningUp;
        return;
    }
    CArrayEx<CKey, const CKey&> keys = GetKeys(engine);
    m_iProgress = 0;
    engine.StartEncryptFile(*this, keys);
}

void CEncryptionTask::CleanUp()
{
    // A process still holding the working copy may be writing to it.
    if (IsWorkingCopyHeld())
        return;
    if (deletionScheduled) {
        CString folder = CDirectory::SplitPathFromFileNameWithPath(GetFilePath());
        if (!folder.IsEmpty() && CDirectory::Exist(folder))
            CDirectory::Remove(folder, true);
        // A newly saved file replaces a plain file the user saved over, which
        // goes once its encrypted form is safely written. Beside an opened
        // file a plain one of that name is unrelated and stays.
        CString encrypted = GetEncryptedFilePath();
        if (IsSaveTask() && m_bEncrypted && EndsWithEncryptedExtension(encrypted)) {
            CString plain = encrypted.Left(encrypted.GetLength() - 4);
            if (CDirectory::FileExist(plain, CString()) && !platform::RemoveFile(plain))
                throw new CFileException(static_cast<int>(platform::LastFileError()), plain);
        }
    }
    if (m_bNotModified || !encryptionScheduled)
        m_status = eTaskNotModified;
    else
        m_status = eTaskEncrypted;
    completionTime = platform::Time64();
    m_strLastError.Empty();
}

// ---- the record beside the working copy ------------------------------------------------

CString CEncryptionTask::GetRecordFilePath() const
{
    return GetFilePath() + cszRecordSuffix;
}

bool CEncryptionTask::SaveRecordFile() const
{
    CString target = GetRecordFilePath();
    CString folder = CDirectory::SplitPathFromFileNameWithPath(target);
    if (folder.IsEmpty() || !CDirectory::Exist(folder))
        return false;
    STaskTrailer trailer{};
    std::memcpy(trailer.magic, "VCTS", 4);
    trailer.version = 1;
    trailer.status = m_status;
    trailer.flags = (m_bNotModified ? ciFlagNotModified : 0) | (m_bHandedOn ? ciFlagHandedOn : 0) |
                    (m_bFinishRequested ? ciFlagFinishRequested : 0) | (m_bEncrypted ? ciFlagEncrypted : 0);
    trailer.processStartStamp = m_ullProcessStartStamp;

    CString temporary;
    if (platform::CreatePrivateTempFile(folder, u".veilcase-task-", temporary) != 0)
        return false;
    bool written = false;
    {
        std::ofstream out(temporary.ToUtf8(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(static_cast<const SEncryptionTask*>(this)), sizeof(SEncryptionTask));
        out.write(reinterpret_cast<const char*>(&trailer), sizeof trailer);
        out.flush();
        written = out.good();
    }
    std::error_code ec;
    if (written)
        fs::rename(fs::path(temporary.ToUtf8()), fs::path(target.ToUtf8()), ec);
    if (!written || ec) {
        platform::DeleteTempFile(temporary);
        return false;
    }
    return true;
}

void CEncryptionTask::DeleteRecordFile() const
{
    std::error_code ec;
    fs::remove(fs::path(GetRecordFilePath().ToUtf8()), ec);
}

bool CEncryptionTask::ReadRecord(const void* data, size_t size, const CString& workingDir, SEncryptionTask& record,
                                 CString& reason)
{
    if (!data || size != sizeof(SEncryptionTask)) {
        reason.Format(u"a record of %u bytes (%u expected)", static_cast<unsigned>(size),
                      static_cast<unsigned>(sizeof(SEncryptionTask)));
        return false;
    }
    std::memcpy(&record, data, sizeof record);
    if (record.kind != ciKindEncryption) {
        reason.Format(u"a record of kind %u", static_cast<unsigned>(record.kind));
        return false;
    }
    if (!IsTerminated(record.filePath) || !IsTerminated(record.encryptedFilePath)) {
        reason = u"a path without its terminator";
        return false;
    }
    CString plain = PathField(record.filePath);
    CString encrypted = PathField(record.encryptedFilePath);
    if (!IsPlainAbsolutePath(plain) || !IsPlainAbsolutePath(encrypted)) {
        reason = u"a path that is not absolute and plain: " + (IsPlainAbsolutePath(plain) ? encrypted : plain);
        return false;
    }
    // The working copy lies in a folder of its own directly inside the
    // working directory: the task removes that folder when it ends.
    CString root = WithoutTrailingSlash(CDirectory::FullPath(workingDir));
    CString folder = WithoutTrailingSlash(CDirectory::SplitPathFromFileNameWithPath(plain));
    CString parent = WithoutTrailingSlash(CDirectory::SplitPathFromFileNameWithPath(folder));
    if (workingDir.IsEmpty() || parent != root || folder == root ||
        CDirectory::SplitFileNameAndExtensionFromPath(plain).IsEmpty()) {
        reason = u"a working copy outside a folder of its own in the working directory: " + plain;
        return false;
    }
    if (platform::GetAttributes(folder) != INVALID_FILE_ATTRIBUTES &&
        (platform::GetAttributes(folder) & FILE_ATTRIBUTE_REPARSE_POINT)) {
        reason = u"a working copy whose folder is a link: " + folder;
        return false;
    }
    record.encryptionScheduled = record.encryptionScheduled ? 1 : 0;
    record.deletionScheduled = record.deletionScheduled ? 1 : 0;
    return true;
}

std::unique_ptr<CEncryptionTask> CEncryptionTask::LoadRecordFile(const CString& path, const CString& workingDir,
                                                                 CString& reason)
{
    std::string bytes;
    constexpr DWORD ciFileSize = sizeof(SEncryptionTask) + sizeof(STaskTrailer);
    if (platform::ReadFileStart(path, ciFileSize + 1, bytes) != 0 || bytes.size() != ciFileSize) {
        reason = u"a record file of the wrong size";
        return nullptr;
    }
    SEncryptionTask record;
    if (!ReadRecord(bytes.data(), sizeof record, workingDir, record, reason))
        return nullptr;
    STaskTrailer trailer;
    std::memcpy(&trailer, bytes.data() + sizeof record, sizeof trailer);
    if (std::memcmp(trailer.magic, "VCTS", 4) != 0 || trailer.version != 1 || trailer.status < 0 ||
        trailer.status > eTaskNotModified) {
        reason = u"a record file with an unknown state";
        return nullptr;
    }
    if (PathField(record.filePath) + cszRecordSuffix != path) {
        reason = u"a record file that does not lie beside its working copy";
        return nullptr;
    }

    auto task = std::make_unique<CEncryptionTask>(record);
    // The id may name another process by now: only the same process counts.
    if (trailer.processStartStamp == 0 || trailer.processStartStamp != task->m_ullProcessStartStamp) {
        task->m_process = std::make_shared<platform::CProcessHandle>();
        task->m_strUsingProcess.Empty();
        task->m_ullProcessStartStamp = 0;
    }
    task->m_bNotModified = (trailer.flags & ciFlagNotModified) != 0;
    task->m_bHandedOn = (trailer.flags & ciFlagHandedOn) != 0;
    task->m_bFinishRequested = (trailer.flags & ciFlagFinishRequested) != 0;
    task->m_bEncrypted = (trailer.flags & ciFlagEncrypted) != 0;
    switch (trailer.status) {
    case eTaskWaitingForFile:
    case eTaskFileMissing:
    case eTaskFileInUse:
        task->m_status = eTaskWaitingForFile;
        break;
    case eTaskStartEncryption:
    case eTaskEncrypting:
    case eTaskEncryptionFailed:
        // An interrupted or failed encryption is tried again.
        task->m_status = eTaskStartEncryption;
        task->m_bEncrypted = false;
        break;
    case eTaskEncryptionComplete:
    case eTaskCleaningUp:
        task->m_status = eTaskCleaningUp;
        break;
    default:
        task->m_status = static_cast<EEncryptionTaskStatus>(trailer.status);
        break;
    }
    return task;
}
