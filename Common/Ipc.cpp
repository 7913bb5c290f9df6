#include "Ipc.h"

#include <cstring>
#include <thread>

#include "platform/CommandLine.h"
#include "Directory.h"
#include "GuiUtils.h"
#include "Log.h"
#include "OrvException.h"
#include "platform/Process.h"
#include "platform/Time.h"
#include "platform/Window.h"
#include "resources/resource.h"

namespace {

const char* const kSource = "Common\\Ipc";

constexpr DWORD ciFindIntervalMs = 25;

void CopyPath(char16_t (&field)[SEncryptionTask::ciPathLength], const CString& path)
{
    if (path.GetLength() > SEncryptionTask::ciPathLength - 1)
        throw new COrvException(IDS_ERR_PATH_TOO_LONG, path, kSource, __LINE__, eDisplayError);
    std::memset(field, 0, sizeof field);
    std::memcpy(field, path.GetString(), static_cast<size_t>(path.GetLength()) * sizeof(char16_t));
}

HWND FindBackgroundWindow()
{
    return platform::FindWindowW(CIpc::cszWindowClass, CIpc::GetWindowTitle());
}

// Starts the background program from the library's folder, hidden, and waits
// until its window can be found; null when it can't be started or shows no
// window in time. The program outlives the application that starts it, so
// it gets none of the application's output: whoever reads that output (a
// pipe, a terminal) sees its end when the application ends. Its lines still
// go to the log file.
HWND StartBackgroundProgram()
{
    CString library = platform::ModuleFileName(CIpc::GetVeilcaseDllModuleHandle());
    CString program = CDirectory::SplitPathFromFileNameWithPath(library) + u"veilcase";
    CString commandLine = platform::QuoteArgument(program, true) + u" /Hidden";
    WriteLog(eLogDebug, u"Starting the background program: %s", commandLine.GetString());
    platform::CProcessHandle process;
    DWORD error = ERROR_SUCCESS;
    if (!platform::StartProcess(commandLine, platform::EProcessOutput::eDiscarded, process, nullptr, error)) {
        WriteLog(eLogError, u"Cannot start <%s>: error %u", program.GetString(), static_cast<unsigned>(error));
        return nullptr;
    }
    const ULONGLONG start = platform::GetTickCount64();
    for (;;) {
        if (HWND window = FindBackgroundWindow())
            return window;
        // A program that ended (another instance won the race, or it failed)
        // gets one more look.
        if (process.Wait(0) != WAIT_TIMEOUT)
            return FindBackgroundWindow();
        if (platform::GetTickCount64() - start > CIpc::ciStartWaitMs)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(ciFindIntervalMs));
    }
}

} // namespace

platform::ModuleHandle CIpc::GetVeilcaseDllModuleHandle()
{
    // The address of this very function lies in the library's code, so the
    // module holding it is the library, whichever program loaded it.
    return platform::ModuleFromAddress(reinterpret_cast<const void*>(&CIpc::GetVeilcaseDllModuleHandle));
}

CString CIpc::GetWindowTitle()
{
    return CString(cszWindowTitlePrefix) + CGuiUtils::GetProductVersion();
}

void CIpc::FillRecord(SEncryptionTask& record, const CString& filePath, const CString& encryptedFilePath,
                      const CArrayEx<ULONGLONG, const ULONGLONG&>& keyIds, DWORD processId,
                      int encryptionScheduled, int deletionScheduled, const CArrayEx<BYTE, BYTE>& fileHash)
{
    std::memset(&record, 0, sizeof record);
    record.version = SEncryptionTask::ciVersion;
    record.size = SEncryptionTask::ciSize;
    record.kind = SEncryptionTask::ciKindEncryption;
    CopyPath(record.filePath, filePath);
    CopyPath(record.encryptedFilePath, encryptedFilePath);
    record.processId = processId;
    record.creationTime = platform::Time64();
    record.encryptionScheduled = encryptionScheduled;
    record.deletionScheduled = deletionScheduled;
    if (fileHash.GetSize() == SEncryptionTask::ciHashSize)
        for (int i = 0; i < SEncryptionTask::ciHashSize; ++i)
            record.fileHash[i] = fileHash[i];
    for (int i = 0; i < keyIds.GetSize() && i < SEncryptionTask::ciMaxKeyIds; ++i)
        record.keyIds[i] = keyIds[i];
}

void CIpc::SendEncryptionTask(const CString& filePath, const CString& encryptedFilePath,
                              const CArrayEx<ULONGLONG, const ULONGLONG&>& keyIds, DWORD processId,
                              int encryptionScheduled, int deletionScheduled, CArrayEx<BYTE, BYTE> fileHash)
{
    // Refused before anything starts: a task for a cut path would watch or
    // encrypt another file.
    SEncryptionTask record;
    FillRecord(record, filePath, encryptedFilePath, keyIds, processId, encryptionScheduled, deletionScheduled,
               fileHash);

    HWND window = FindBackgroundWindow();
    if (!window)
        window = StartBackgroundProgram();
    if (!window)
        throw new COrvException(IDS_ERR_NO_VEILCASE_PROCESS, kSource, __LINE__, eDisplayDetails);

    COPYDATASTRUCT data{1, static_cast<DWORD>(sizeof record), &record};
    LRESULT result = 0;
    if (!platform::SendCopyData(window, 0, data, platform::ciSendMessageTimeoutMs, result)) {
        // The window may have closed since it was found: one more try with a
        // fresh look (and a start if needed).
        window = FindBackgroundWindow();
        if (!window)
            window = StartBackgroundProgram();
        if (!window || !platform::SendCopyData(window, 0, data, platform::ciSendMessageTimeoutMs, result))
            throw new COrvException(IDS_ERR_NO_VEILCASE_PROCESS, u"The background program did not take the task",
                                    kSource, __LINE__, eDisplayDetails);
    }
    WriteLog(eLogDebug, u"Encryption task for <%s> handed to the background program", filePath.GetString());
}
