#include "EncryptionGnuPG.h"

#include <cstdio>
#include <unordered_map>

#include "platform/CommandLine.h"
#include "Configuration.h"
#include "Directory.h"
#include "EncryptionTask.h"
#include "Log.h"
#include "OrvException.h"
#include "platform/PrivateProfile.h"
#include "ProcessRunner.h"
#include "platform/SystemError.h"
#include "platform/TempFile.h"


namespace {

const char* const kSource = "Common\\EncryptionGnuPG";

constexpr UINT ciUnknownGnuPGError = 2001;

// Time-outs of the captured runs, in seconds.
constexpr UINT ciVersionTimeout = 3;
constexpr UINT ciRecipientListingTimeout = 5;
constexpr UINT ciKeyListingTimeout = 20;
// The name listing decrypts the session key and may wait for a passphrase.
constexpr UINT ciNameListingTimeout = 300;

// "--homedir "<dir>" " when a GnuPG home directory is configured, else "".
CString HomeOption(const CString& homeDir)
{
    if (homeDir.IsEmpty())
        return CString();
    return u"--homedir " + platform::QuoteArgument(homeDir, true) + u" ";
}

CString HomeOption()
{
    return HomeOption(CConfiguration::GetGnuPGHomeDir());
}

// A captured run of the configured gpg.
bool RunGnuPG(const CString& parameters, UINT timeoutSeconds, CString& output)
{
    return RunProcess(CConfiguration::GetGnuPGPath(), parameters, timeoutSeconds, output);
}

// Creates an empty file readable and writable by the owner only, beside
// `target`, under a hidden name no other file has. Empty when none can be made.
CString CreatePrivateFileBeside(const CString& target)
{
    CString path;
    if (platform::CreatePrivateTempFile(CDirectory::SplitPathFromFileNameWithPath(target), u".veilcase-", path) != 0)
        return CString();
    return path;
}

void RemoveQuietly(const CString& path)
{
    platform::DeleteTempFile(path);
}

} // namespace

CEncryptionGnuPG::CEncryptionGnuPG() = default;

CEncryptionGnuPG::~CEncryptionGnuPG() = default;

// ---- key cache ------------------------------------------------------------------

void CEncryptionGnuPG::RefreshKeys()
{
    CString output;
    if (RunGnuPG(HomeOption() + u"--with-colons --fixed-list-mode --list-public-keys", ciKeyListingTimeout, output))
        m_keys = ParseListKeysOutput(output, 0);

    CString secretOutput;
    if (!RunGnuPG(HomeOption() + u"--with-colons --fixed-list-mode --list-secret-keys", ciKeyListingTimeout,
                  secretOutput))
        return;
    CArrayEx<CKey, const CKey&> secretKeys = ParseListKeysOutput(secretOutput, 1);
    // Index of the first cached key of each id, so that marking stays linear.
    std::unordered_map<ULONGLONG, int> firstIndex;
    for (int i = 0; i < m_keys.GetSize(); ++i)
        firstIndex.emplace(m_keys[i].GetLongKeyID(), i);
    for (int i = 0; i < secretKeys.GetSize(); ++i) {
        auto it = firstIndex.find(secretKeys[i].GetLongKeyID());
        if (it != firstIndex.end()) {
            m_keys[it->second].SetPrivatePart(true);
        } else {
            CKey key = secretKeys[i];
            key.SetPrivatePart(true);
            firstIndex.emplace(key.GetLongKeyID(), m_keys.Add(key));
        }
    }
}

CArrayEx<CKey, const CKey&> CEncryptionGnuPG::ListKeys()
{
    if (m_keys.IsEmpty())
        RefreshKeys();
    return m_keys;
}

CArrayEx<CKey, const CKey&> CEncryptionGnuPG::ListPublicKeys()
{
    return ListKeys();
}

CArrayEx<CKey, const CKey&> CEncryptionGnuPG::ListSecretKeys()
{
    if (m_keys.IsEmpty())
        RefreshKeys();
    CArrayEx<CKey, const CKey&> secret;
    for (const CKey& key : m_keys)
        if (key.HasPrivatePart())
            secret.Add(key);
    return secret;
}

bool CEncryptionGnuPG::FindKey(ULONGLONG keyId, CKey& key)
{
    CArrayEx<CKey, const CKey&> keys = ListKeys();
    for (const CKey& candidate : keys) {
        bool match = candidate.GetLongKeyID() == keyId;
        if (!match) {
            CArrayEx<ULONGLONG, const ULONGLONG&> subKeys = candidate.GetSubKeys();
            match = subKeys.Find(keyId) >= 0;
        }
        if (match) {
            key = candidate;
            return true;
        }
    }
    return false;
}

bool CEncryptionGnuPG::KeyExists(ULONGLONG keyId)
{
    CKey scratch;
    return FindKey(keyId, scratch);
}

// ---- encrypted files --------------------------------------------------------------

bool CEncryptionGnuPG::IsEncryptedFile(const CString& path)
{
    if (path.GetLength() < 5)
        return false;
    CString extension = path.Right(4);
    return extension.EqualsNoCase(u".gpg") || extension == u".pgp";
}

CArrayEx<ULONGLONG, const ULONGLONG&> CEncryptionGnuPG::GetPublicKeyIdsForEncryptedFile(CString path)
{
    // Both listings read the configured key ring, the one that decrypts.
    CString home = HomeOption();
    CString output;
    CString parameters = home + u" --list-packets --list-only " + platform::QuoteArgument(path, true);
    if (!RunGnuPG(parameters, ciRecipientListingTimeout, output))
        return CArrayEx<ULONGLONG, const ULONGLONG&>();
    CArrayEx<ULONGLONG, const ULONGLONG&> ids = ParseRecipientKeyIds(output);
    if (ids.IsEmpty())
        return ids;
    CString listing;
    RunGnuPG(home + u" --list-key --with-colons", ciRecipientListingTimeout, listing);
    ResolvePrimaryKeyIds(listing, ids);
    return ids;
}

CArrayEx<CKey, const CKey&> CEncryptionGnuPG::GetPublicKeysForEncryptedFile(CString path)
{
    CArrayEx<ULONGLONG, const ULONGLONG&> ids = GetPublicKeyIdsForEncryptedFile(path);
    CArrayEx<CKey, const CKey&> keys;
    for (ULONGLONG id : ids) {
        CKey key;
        if (FindKey(id, key))
            keys.Add(key);
        else
            keys.Add(CKey(id));
    }
    return keys;
}

CArrayEx<CKey, const CKey&> CEncryptionGnuPG::GetMissingKeysForFile(const CString& path)
{
    CArrayEx<CKey, const CKey&> missing;
    for (const CKey& key : CEncryptionGnuPG::GetPublicKeysForEncryptedFile(path))
        if (!key.IsValid())
            missing.Add(key);
    return missing;
}

SLiteralDataInfo CEncryptionGnuPG::ListLiteralData(const CString& path)
{
    CString parameters;
    parameters.Format(u"--charset=utf-8 %s --list-packets %s", HomeOption().GetString(),
                      platform::QuoteArgument(path, true).GetString());
    CString output;
    // A failed or timed-out run still leaves what it printed; read that.
    RunGnuPG(parameters, ciNameListingTimeout, output);
    SLiteralDataInfo info = ParseLiteralData(output);
    if (info.hasCreated)
        m_dates[path] = CTime(info.created);
    return info;
}

CString CEncryptionGnuPG::PlainPathFor(const CString& encryptedPath, const CString& fileName, bool inWorkingDir)
{
    if (inWorkingDir) {
        CString workingDir = CConfiguration::GetWorkingDir(TRUE);
        if (!workingDir.IsEmpty())
            return CDirectory::Concat(workingDir, fileName);
    }
    return CDirectory::SplitPathFromFileNameWithPath(encryptedPath) + fileName;
}

CString CEncryptionGnuPG::GetDecryptedFileName(const CString& path, int inWorkingDir)
{
    if (!inWorkingDir) {
        auto cached = m_names.find(path);
        if (cached != m_names.end())
            return cached->second;
    }
    if (!IsEncryptedFile(path))
        return CString();

    SLiteralDataInfo info = ListLiteralData(path);
    if (!info.found)
        return CString(); // not remembered: the next call asks gpg again
    CString name = DecodeLiteralName(info.rawName);
    if (name.IsEmpty())
        name = FallbackPlainName(path);
    if (name.IsEmpty())
        return CString();

    // Both modes read the same listing, so the name beside the file is
    // remembered either way; a later call for it needs no gpg run.
    CString besideFile = PlainPathFor(path, name, false);
    m_names[path] = besideFile;
    if (!inWorkingDir)
        return besideFile;
    return PlainPathFor(path, name, true);
}

CTime CEncryptionGnuPG::GetEncryptionDate(const CString& path)
{
    auto it = m_dates.find(path);
    return it == m_dates.end() ? CTime(0) : it->second;
}

int CEncryptionGnuPG::IsSupportedVersion()
{
    CString output;
    if (!RunProcess(CConfiguration::GetGnuPGPath(), u" --version", ciVersionTimeout, output))
        return 0;
    return IsSupportedVersionBanner(output);
}

// ---- decrypt and encrypt ---------------------------------------------------------

std::shared_ptr<platform::CProcessHandle> CEncryptionGnuPG::StartGnuPG(const CString& arguments,
                                                                        const CString& homeDir)
{
    return RunGnuPGWithStatusFile(CConfiguration::GetGnuPGPath(), HomeOption(homeDir), arguments);
}

IEncryption::EOperationResult CEncryptionGnuPG::DecryptFileW(const CString& encryptedPath, CString& decryptedPath)
{
    decryptedPath = GetDecryptedFileName(encryptedPath, 1);
    CString originalPath;
    if (decryptedPath.IsEmpty()) {
        // The listing gave no name: the file records none, or gpg could not
        // read it (wrong or cancelled passphrase, no secret key, damage).
        // Decrypt under the file's own name without ".gpg", so that gpg
        // either succeeds or says why it can't.
        if (!IsEncryptedFile(encryptedPath) || !CDirectory::FileExist(encryptedPath, CString()))
            return eOperationFailed;
        CString fallback = FallbackPlainName(encryptedPath);
        if (fallback.IsEmpty())
            return eOperationFailed;
        decryptedPath = PlainPathFor(encryptedPath, fallback, true);
        originalPath = PlainPathFor(encryptedPath, fallback, false);
    }

    CString arguments = u" --yes --charset=utf-8 --output " + platform::QuoteArgument(decryptedPath, true) +
                        u" --decrypt " + platform::QuoteArgument(encryptedPath, true);
    WriteLogText(eLogDebug, u"Decryption command line: " + arguments);
    bool existedBefore = CDirectory::FileExist(decryptedPath, CString());
    // gpg keeps the access rights of a file it writes into: a fresh plain
    // copy starts private, wherever it lies.
    if (!existedBefore && platform::CreatePrivateFile(decryptedPath) != 0)
        WriteLog(eLogWarning, u"Cannot create the private file <%s> before decryption", decryptedPath.GetString());
    try {
        std::shared_ptr<platform::CProcessHandle> process = StartGnuPG(arguments, CConfiguration::GetGnuPGHomeDir());
        if (process)
            process->Wait(INFINITE);
    } catch (...) {
        // Never leave a partly written plain file behind.
        if (!existedBefore)
            RemoveQuietly(decryptedPath);
        throw;
    }
    bool exists = CDirectory::FileExist(decryptedPath, CString());

    if (originalPath.IsEmpty())
        originalPath = GetDecryptedFileName(encryptedPath, 0);
    if (!WritePrivateProfileStringW(u"veilcase", u"OriginalFilename", originalPath.GetString(),
                                    decryptedPath + u".veilcase"))
        WriteLog(eLogError, u"Cannot write the side file of <%s>", decryptedPath.GetString());
    return exists ? eOperationSucceeded : eOperationFailed;
}

CString CEncryptionGnuPG::GetRecipients(CArrayEx<CKey, const CKey&>& keys)
{
    CString recipients;
    for (const CKey& key : keys)
        if (key.IsEnabled() && !key.IsRevoked() && !key.IsExpired())
            recipients.AppendFormat(u"-r %s ", key.GetLongKeyIDString().GetString());
    return recipients;
}

std::unique_ptr<CGnuPGRun> CEncryptionGnuPG::StartGnuPGRun(const CString& arguments, const CString& homeDir)
{
    return CGnuPGRun::Start(CConfiguration::GetGnuPGPath(), HomeOption(homeDir), arguments);
}

void CEncryptionGnuPG::StartEncryptFile(CEncryptionTask& task, CArrayEx<CKey, const CKey&>& keys)
{
    CString plainPath = task.GetFilePath();
    CString encryptedPath = task.GetEncryptedFilePath();
    CString recordedName = CDirectory::SplitFileNameAndExtensionFromPath(plainPath);
    // Whatever happens now, an earlier run for this file no longer answers
    // for it.
    m_encryptions.erase(plainPath);

    CString recipients = GetRecipients(keys);
    if (recipients.IsEmpty()) {
        // gpg without any "-r" would encrypt to nobody (or ask on a terminal).
        throw new COrvException(ciUnknownGnuPGError,
                                u"None of the recipient keys can be used (disabled, revoked or expired): " +
                                    plainPath,
                                kSource, __LINE__);
    }
    if (!CDirectory::FileExist(plainPath, CString()))
        throw new COrvException(ciUnknownGnuPGError, u"The file to encrypt does not exist: " + plainPath, kSource,
                                __LINE__);

    // gpg writes a private file beside the target, which replaces the target
    // only once gpg has succeeded: a failure never costs the old encrypted file.
    CString target = encryptedPath;
    DWORD attributes = platform::GetAttributes(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CString resolved = platform::FinalPath(target);
        if (!resolved.IsEmpty())
            target = resolved;
    }
    CString temporary = CreatePrivateFileBeside(target);
    if (temporary.IsEmpty())
        throw new COrvException(ciUnknownGnuPGError,
                                u"Cannot create a temporary file beside " + target, kSource, __LINE__);

    // On Linux the command line reaches gpg as UTF-8, so the recorded name
    // goes as it is; "--utf8-strings" tells gpg to read it so. The progress
    // filter makes gpg report how far it has come.
    CString arguments;
    arguments.Format(u"%s  --yes --enable-progress-filter --output %s --trust-model always --utf8-strings "
                     u"--set-filename %s --encrypt %s",
                     recipients.GetString(), platform::QuoteArgument(temporary, true).GetString(),
                     platform::QuoteArgument(recordedName, true).GetString(),
                     platform::QuoteArgument(plainPath, true).GetString());
    WriteLogText(eLogDebug, u"Encryption command line: " + arguments);

    SEncryptionRun encryption;
    try {
        encryption.run = StartGnuPGRun(arguments, CConfiguration::GetGnuPGHomeDir());
    } catch (...) {
        RemoveQuietly(temporary);
        throw;
    }
    encryption.temporary = temporary;
    encryption.target = target;
    m_encryptions[plainPath] = std::move(encryption);
}

void CEncryptionGnuPG::CompleteEncryption(SEncryptionRun& encryption)
{
    UINT messageId = encryption.run->Finish();
    if (messageId != 0) {
        RemoveQuietly(encryption.temporary);
        COrvException* error = new COrvException(messageId, kSource, __LINE__);
        encryption.failure = error->GetMessageText();
        error->Delete();
        encryption.result = eOperationFailed;
        return;
    }
    // The new file takes over the access rights of the one it replaces.
    if (DWORD error = platform::MoveOverFile(encryption.temporary, encryption.target); error != ERROR_SUCCESS) {
        RemoveQuietly(encryption.temporary);
        COrvException* failure =
            new COrvException(ciUnknownGnuPGError,
                              u"Cannot replace the encrypted file: " + platform::SystemErrorText(error) + u": " +
                                  encryption.target,
                              kSource, __LINE__);
        encryption.failure = failure->GetErrorMessageWithoutDebugInfo();
        failure->Delete();
        encryption.result = eOperationFailed;
        return;
    }
    encryption.result = eOperationSucceeded;
}

IEncryption::EOperationResult CEncryptionGnuPG::GetEnryptionResult(CEncryptionTask& task)
{
    auto it = m_encryptions.find(task.GetFilePath());
    if (it == m_encryptions.end() || !it->second.run)
        return eOperationFailed;
    SEncryptionRun& encryption = it->second;
    if (encryption.result == eOperationPending) {
        if (encryption.run->IsRunning())
            return eOperationPending;
        CompleteEncryption(encryption);
    }
    if (encryption.result != eOperationSucceeded)
        return eOperationFailed;
    return CDirectory::FileExist(task.GetEncryptedFilePath(), CString()) ? eOperationSucceeded : eOperationFailed;
}

int CEncryptionGnuPG::GetEncryptionProgress(CEncryptionTask& task)
{
    auto it = m_encryptions.find(task.GetFilePath());
    if (it == m_encryptions.end() || !it->second.run)
        return -1;
    if (it->second.result == eOperationSucceeded)
        return 100;
    return it->second.run->GetProgress();
}

CString CEncryptionGnuPG::GetEncryptionFailure(CEncryptionTask& task)
{
    auto it = m_encryptions.find(task.GetFilePath());
    if (it == m_encryptions.end())
        return CString();
    return it->second.failure;
}
