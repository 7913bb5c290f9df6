// IEncryption: the one interface through which the system encrypts, decrypts
// and asks about keys and encrypted files; CEncryption hands out the single
// engine object of the process.
#pragma once

#include "ArrayEx.h"
#include "platform/CString.h"
#include "Key.h"
#include "platform/Time.h"
#include "platform/WinTypes.h"

class CEncryptionTask;

class IEncryption {
public:
    enum EOperationResult {
        eOperationSucceeded = 0, // finished, and its output file exists
        eOperationPending = 1,   // the GnuPG process of the operation still runs
        eOperationFailed = 2,    // no process known, GnuPG failed, or no output file
    };

    // The slots keep this order; the engine calls its own operations through
    // them, so an override of ListKeys or FindKey changes the operations built
    // on them.
    virtual CArrayEx<CKey, const CKey&> ListKeys() = 0;
    virtual CArrayEx<CKey, const CKey&> ListSecretKeys() = 0;
    virtual CArrayEx<CKey, const CKey&> ListPublicKeys() = 0;
    virtual void RefreshKeys() = 0;
    virtual bool FindKey(ULONGLONG keyId, CKey& key) = 0;
    virtual bool KeyExists(ULONGLONG keyId) = 0;
    virtual bool IsEncryptedFile(const CString& path) = 0;
    virtual CString GetDecryptedFileName(const CString& path, int inWorkingDir) = 0;
    virtual void StartEncryptFile(CEncryptionTask& task, CArrayEx<CKey, const CKey&>& keys) = 0;
    virtual EOperationResult GetEnryptionResult(CEncryptionTask& task) = 0;
    virtual EOperationResult DecryptFileW(const CString& encryptedPath, CString& decryptedPath) = 0;
    virtual CArrayEx<ULONGLONG, const ULONGLONG&> GetPublicKeyIdsForEncryptedFile(CString path) = 0;
    virtual CArrayEx<CKey, const CKey&> GetPublicKeysForEncryptedFile(CString path) = 0;
    virtual CArrayEx<CKey, const CKey&> GetMissingKeysForFile(const CString& path) = 0;
    virtual CTime GetEncryptionDate(const CString& path) = 0;
    // How far the encryption started for the task has come, in percent (0
    // to 100); -1 when the engine can't tell (no run, or nothing said yet).
    virtual int GetEncryptionProgress(CEncryptionTask& task) = 0;
    // Why the last encryption of the task failed, as the user is told;
    // empty when it has not failed.
    virtual CString GetEncryptionFailure(CEncryptionTask& task) = 0;

protected:
    // Never deleted through the interface.
    ~IEncryption() = default;
};

class CEncryption {
public:
    // The engine of this process, created on the first call and destroyed
    // when the library unloads. Pitfall: the first call must not race with
    // another thread's first call.
    static IEncryption& GetDefault();
};
