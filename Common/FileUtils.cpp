#include "FileUtils.h"

#include "platform/Exception.h"
#include "platform/ExclusiveFile.h"
#include "platform/Md5.h"

CString CFileUtils::GetAppName(const platform::CProcessHandle& process)
{
    if (process.IsNull())
        return CString();
    return platform::ProcessAppName(process);
}

CString CFileUtils::IsFileInUse(const CString& path)
{
    CString appName;
    if (platform::FindFileHolder(path, &appName) == 0)
        return CString();
    // A holder whose name can't be read (it ended meanwhile) still counts,
    // but there is nothing to show for it.
    return appName;
}

CArrayEx<BYTE, BYTE> CFileUtils::ComputeFileHash(CString& path)
{
    platform::CExclusiveFileReader file;
    DWORD error = file.Open(path);
    if (error != 0)
        throw new CFileException(error, path);

    platform::CMd5 md5;
    BYTE block[ciHashBlockSize];
    for (;;) {
        int read = file.Read(block, sizeof block, error);
        if (read < 0)
            throw new CFileException(error, path);
        if (read == 0)
            break;
        // After a failure of the digest the file is still read to its end,
        // so a read error is reported the same way in both cases.
        if (!md5.Failed())
            md5.Update(block, static_cast<size_t>(read));
    }
    file.Close();

    CArrayEx<BYTE, BYTE> hash;
    BYTE digest[platform::CMd5::ciDigestSize];
    if (!md5.Final(digest))
        return hash;
    for (BYTE b : digest)
        hash.Add(b);
    return hash;
}

bool CFileUtils::IsSameHash(const CArrayEx<BYTE, BYTE>& a, const CArrayEx<BYTE, BYTE>& b)
{
    if (a.GetSize() != ciHashSize || b.GetSize() != ciHashSize)
        return false;
    for (int i = 0; i < ciHashSize; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}
