#include "EncryptionTask.h"

#include "FileUtils.h"

namespace {

// A path field up to its terminator, or the whole field when it has none.
CString PathField(const char16_t (&field)[SEncryptionTask::ciPathLength])
{
    int length = 0;
    while (length < SEncryptionTask::ciPathLength && field[length] != 0)
        ++length;
    return CString(field, length);
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

CString CEncryptionTask::GetFilePath() const
{
    return PathField(filePath);
}

CString CEncryptionTask::GetEncryptedFilePath() const
{
    return PathField(encryptedFilePath);
}
