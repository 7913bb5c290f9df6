// CFileUtils: what the task machinery asks of the system about processes
// and files: the display name of an application, the application that holds
// a file open, and the MD5 digest of a file's content.
#pragma once

#include "ArrayEx.h"
#include "platform/CString.h"
#include "platform/Process.h"
#include "platform/WinTypes.h"

class CFileUtils {
public:
    static constexpr int ciHashSize = 16;
    static constexpr int ciHashBlockSize = 4096;

    // The display name of the application behind a process (its program's
    // file name); empty for a null handle or a process that has ended.
    // Never throws.
    static CString GetAppName(const platform::CProcessHandle& process);

    // The application name of the first other process that holds the file
    // open; empty when none does or the file does not exist. Never throws.
    static CString IsFileInUse(const CString& path);

    // The 16-byte MD5 digest of the file's whole content, read in blocks so
    // that the file is never held in memory as a whole. Throws a
    // CFileException (new'ed; the catcher calls Delete) when the file is
    // missing, is not a regular file, is held open by another process, or
    // can't be read. When the digest itself can't be computed the result is
    // empty, so it never equals a real digest.
    static CArrayEx<BYTE, BYTE> ComputeFileHash(CString& path);

    // Whether two results of ComputeFileHash name the same content: both
    // must be complete 16-byte digests with equal bytes.
    static bool IsSameHash(const CArrayEx<BYTE, BYTE>& a, const CArrayEx<BYTE, BYTE>& b);
};
