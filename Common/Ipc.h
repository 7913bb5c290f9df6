// CIpc: communication between the library in an application and the
// background program: the library's own module handle, and handing an
// encryption task to the one background program, started when none runs.
#pragma once

#include "ArrayEx.h"
#include "platform/CString.h"
#include "EncryptionTask.h"
#include "platform/Module.h"
#include "platform/WinTypes.h"

class CIpc {
public:
    // The window class and the title prefix of the background program's
    // main window; the title ends in the product version.
    static constexpr const char16_t* cszWindowClass = u"#32770";
    static constexpr const char16_t* cszWindowTitlePrefix = u"veilcase ";
    // How long a freshly started background program may take until its
    // window can be found.
    static constexpr DWORD ciStartWaitMs = 5000;

    // The module handle of the veilshim library itself (the library this
    // code is part of), never null while the library is loaded. Used to
    // find the library's folder and its resources.
    static platform::ModuleHandle GetVeilcaseDllModuleHandle();

    // "veilcase " + the product version: the title the background program's
    // window carries and senders look for.
    static CString GetWindowTitle();

    // Hands a task to the background program: finds its window (class
    // "#32770", GetWindowTitle()); when there is none, starts "veilcase"
    // from the library's folder hidden ("veilcase /Hidden") and waits up to
    // ciStartWaitMs for its window. Returns once the program has taken the
    // task. Throws COrvException 2000 when no program can be reached or it
    // did not take the task, and 2007 when a path is longer than the
    // record holds (259 units): a cut path would name another file.
    static void SendEncryptionTask(const CString& filePath, const CString& encryptedFilePath,
                                   const CArrayEx<ULONGLONG, const ULONGLONG&>& keyIds, DWORD processId,
                                   int encryptionScheduled, int deletionScheduled, CArrayEx<BYTE, BYTE> fileHash);

    // Fills a zeroed record as the sender does: version 1, size 5456, kind
    // 0, the creation time now, the paths, at most 512 key ids and the hash
    // (16 bytes, or zeros when it has another length). Throws COrvException
    // 2007 for a path longer than 259 units.
    static void FillRecord(SEncryptionTask& record, const CString& filePath, const CString& encryptedFilePath,
                           const CArrayEx<ULONGLONG, const ULONGLONG&>& keyIds, DWORD processId,
                           int encryptionScheduled, int deletionScheduled, const CArrayEx<BYTE, BYTE>& fileHash);
};
