#include "EncryptionGnuPG.h"

#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "CapturedRun.h"
#include "Configuration.h"
#include "Directory.h"
#include "EncryptionTask.h"
#include "GnuPGStatusReader.h"
#include "GnuPGVersionRecord.h"
#include "Log.h"
#include "OrvException.h"
#include "ProcessRunner.h"
#include "platform/CommandLine.h"
#include "platform/FileSystem.h"
#include "platform/FolderPrivacy.h"
#include "platform/PrivateProfile.h"
#include "platform/SystemError.h"
#include "platform/TempFile.h"
#include "platform/Uuid.h"
#include "resources/resource.h"


namespace {

const char* const kSource = "Common\\EncryptionGnuPG";

constexpr UINT ciUnknownGnuPGError = 2001;

// Time-outs of the captured runs, in seconds.
constexpr UINT ciVersionTimeout = 3;
constexpr UINT ciRecipientListingTimeout = 5;
constexpr UINT ciKeyListingTimeout = 20;
// Reading the recorded name decrypts the session key and may wait for a
// passphrase.
constexpr UINT ciNameListingTimeout = 300;
// A version banner is a few hundred bytes; a program that says much more
// is no GnuPG.
constexpr size_t ciMaxVersionBannerBytes = 64 * 1024;

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

// Gives a file another name in the same folder. False when that fails.
bool RenameFile(const CString& from, const CString& to)
{
    return platform::MoveOverFile(from, to) == ERROR_SUCCESS;
}

} // namespace

CEncryptionGnuPG::CEncryptionGnuPG() = default;

CEncryptionGnuPG::~CEncryptionGnuPG() = default;

// ---- key cache ------------------------------------------------------------------

// The listing of a refresh: the public keys, each with whether its secret
// part is at hand; started at one moment, collected at a later one. A
// lookup lists, the same way, only the keys that have one of `ids` as their
// own id or as the id of a subkey.
struct CEncryptionGnuPG::SKeyListing {
    CCapturedRun keys;
    bool started = false;
    bool lookup = false;
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
};

namespace {

const char16_t* const kKeyListingArguments = u"--with-colons --fixed-list-mode --with-secret --list-public-keys";
// A lookup names each id on the command line; more ids than this are
// answered by listing every key instead.
constexpr int ciMaxLookupIds = 256;

// The first key of `keys` (in listing order) whose own id or one of whose
// subkey ids is `id`; null when there is none.
const CKey* FirstKeyWithId(const CArrayEx<CKey, const CKey&>& keys, ULONGLONG id)
{
    for (const CKey& key : keys) {
        if (key.GetLongKeyID() == id)
            return &key;
        for (ULONGLONG sub : key.GetSubKeys())
            if (sub == id)
                return &key;
    }
    return nullptr;
}

} // namespace

void CEncryptionGnuPG::StartKeyListing(SKeyListing& listing)
{
    CString gnupg = CConfiguration::GetGnuPGPath();
    listing.keys.Start(gnupg, HomeOption() + kKeyListingArguments, ciKeyListingTimeout, ciMaxCapturedOutputBytes);
    listing.started = true;
    listing.lookup = false;
}

void CEncryptionGnuPG::StartKeyLookup(SKeyListing& listing, const CString& gnupg, const CString& homeOption,
                                      const CArrayEx<ULONGLONG, const ULONGLONG&>& ids)
{
    // Only while no full listing is known: then that answers everything.
    if (listing.started || !m_keys.IsEmpty())
        return;
    CArrayEx<ULONGLONG, const ULONGLONG&> unknown;
    for (ULONGLONG id : ids) {
        if (m_lookedUp.find(id) != m_lookedUp.end() || unknown.Find(id) >= 0)
            continue;
        if (unknown.GetSize() == ciMaxLookupIds)
            return;
        unknown.Add(id);
    }
    if (unknown.IsEmpty())
        return;
    CString arguments = homeOption + kKeyListingArguments;
    for (ULONGLONG id : unknown)
        arguments.AppendFormat(u" 0x%s", CKey(id).GetLongKeyIDString().GetString());
    listing.keys.Start(gnupg, arguments, ciKeyListingTimeout, ciMaxCapturedOutputBytes);
    listing.started = true;
    listing.lookup = true;
    listing.ids = unknown;
}

void CEncryptionGnuPG::TakeKeyListing(SKeyListing& listing)
{
    if (!listing.started)
        return;
    listing.started = false;
    CString output;
    DWORD exitCode = 0;
    if (!listing.keys.Collect(output, &exitCode))
        return; // the cache keeps what it had
    CArrayEx<CKey, const CKey&> keys = ParseListKeysOutput(output, 0);
    MarkKeysWithSecret(output, keys);
    if (!listing.lookup) {
        m_keys = keys;
        m_lookedUp.clear();
        return;
    }
    // GnuPG ends with an error when one of the ids names no key (or when
    // it fails otherwise): then only the keys it did list count, and the
    // rest is left for a full listing to tell.
    for (ULONGLONG id : listing.ids) {
        const CKey* key = FirstKeyWithId(keys, id);
        if (key)
            m_lookedUp[id] = SLookedUpKey{true, *key};
        else if (exitCode == 0)
            m_lookedUp[id] = SLookedUpKey{false, CKey()};
    }
    // A recipient's key is asked for next by its own id (the id its subkey
    // stands for).
    for (ULONGLONG id : listing.ids) {
        auto known = m_lookedUp.find(id);
        if (known != m_lookedUp.end() && known->second.found)
            m_lookedUp.emplace(known->second.key.GetLongKeyID(), known->second);
    }
}

void CEncryptionGnuPG::LookUpRecipientsOnceNamed(SKeyListing& lookup, const CString& gnupg,
                                                 const CString& homeOption, const SGnuPGStatus& status,
                                                 bool runEnded)
{
    // Whoever asks about an encrypted file asks about its keys next: while
    // not every key is known, those of its recipients are looked up as soon
    // as GnuPG has named them all, beside its work on the file (or after
    // it, when it ended before that could be seen).
    if (!lookup.started && (status.beginDecryption || status.plaintext || runEnded))
        StartKeyLookup(lookup, gnupg, homeOption, status.recipients);
}

void CEncryptionGnuPG::RefreshKeys()
{
    SKeyListing listing;
    StartKeyListing(listing);
    TakeKeyListing(listing);
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
    // Until every key has been listed, a key looked up on its own answers.
    if (m_keys.IsEmpty()) {
        auto known = m_lookedUp.find(keyId);
        if (known != m_lookedUp.end()) {
            if (!known->second.found)
                return false;
            key = known->second.key;
            return true;
        }
    }
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

// ---- what is known about encrypted files -------------------------------------------

bool CEncryptionGnuPG::LookUp(const CString& path, SEncryptedFileInfo& info) const
{
    info = SEncryptedFileInfo();
    if (!platform::QueryFileIdentity(path, info.identity) || !info.identity.regularFile)
        return false; // missing, a folder, or something GnuPG might wait on for ever
    auto known = m_files.find(path);
    if (known != m_files.end() && known->second.identity == info.identity)
        info = known->second;
    return true;
}

void CEncryptionGnuPG::Remember(const CString& path, const SEncryptedFileInfo& info)
{
    // A file that changed while GnuPG read it may have given the facts of
    // neither state: they are used once, not kept.
    platform::SFileIdentity now;
    if (platform::QueryFileIdentity(path, now) && now == info.identity)
        m_files[path] = info;
    else
        m_files.erase(path);
}

void CEncryptionGnuPG::Absorb(SEncryptedFileInfo& info, const SGnuPGStatus& status, bool runEnded)
{
    // GnuPG names every recipient before it starts on the encrypted data.
    if (status.beginDecryption || status.plaintext || runEnded) {
        info.recipientsKnown = true;
        info.recipients = status.recipients;
    }
    if (status.plaintext && !info.literalKnown) {
        info.literalKnown = true;
        info.name = DecodeStatusName(status.plaintextName);
        info.hasCreated = status.hasPlaintextTime;
        info.created = status.plaintextTime;
    }
}

void CEncryptionGnuPG::ReadRecipients(const CString& path, SEncryptedFileInfo& info)
{
    CString gnupg = CConfiguration::GetGnuPGPath();
    CString home = HomeOption();
    SKeyListing keyLookup;
    CGnuPGStatusReader reader;
    DWORD exitCode = 0;
    EStatusRunEnd end = RunGnuPGWithStatusChannel(
        gnupg, home, u"--list-only --list-packets " + platform::QuoteArgument(path, true),
        platform::EProcessOutput::eDiscarded, ciRecipientListingTimeout, reader,
        [&](const SGnuPGStatus& status) {
            LookUpRecipientsOnceNamed(keyLookup, gnupg, home, status, false);
            return status.beginDecryption || status.plaintext;
        },
        exitCode);
    Absorb(info, reader.Status(), end == EStatusRunEnd::eEnded);
    Remember(path, info);
    LookUpRecipientsOnceNamed(keyLookup, gnupg, home, reader.Status(), end == EStatusRunEnd::eEnded);
    TakeKeyListing(keyLookup);
}

void CEncryptionGnuPG::ReadLiteral(const CString& path, SEncryptedFileInfo& info)
{
    CString gnupg = CConfiguration::GetGnuPGPath();
    info.literalTried = true;
    // GnuPG names the plain data before it opens its output. The output is a
    // file in a folder that does not exist, inside the user's private
    // temporary folder (where nobody else can make it exist): even before it
    // is stopped, GnuPG can't write a byte of plain data anywhere.
    CString temp = CDirectory::GetTempPathW();
    platform::SUuid uuid{};
    if (temp.IsEmpty() || !platform::CreateUuid(uuid)) {
        WriteLog(eLogError, u"No private temporary folder: the recorded name of <%s> is not read", path.GetString());
        Remember(path, info);
        return;
    }
    CString nowhere = CDirectory::Concat(CDirectory::Concat(temp, u".veilcase-" + platform::UuidToString(uuid)), u"plain");
    // "-q": GnuPG need not look up the recipients' keys to say to whom the
    // file is encrypted on its error output, which nobody reads here. (It
    // also keeps the ERROR line of a refused passphrase from the status, so
    // a decryption, whose failure is reported, must not run quiet.)
    CString arguments = u"-q --charset=utf-8 --output " + platform::QuoteArgument(nowhere, true) + u" --decrypt " +
                        platform::QuoteArgument(path, true);
    CString home = HomeOption();
    SKeyListing keyLookup;
    CGnuPGStatusReader reader;
    DWORD exitCode = 0;
    auto namedThePlainData = [&](const SGnuPGStatus& status) {
        LookUpRecipientsOnceNamed(keyLookup, gnupg, home, status, false);
        return status.plaintext;
    };
    EStatusRunEnd end = RunGnuPGWithStatusChannel(gnupg, home, arguments, platform::EProcessOutput::eDiscarded,
                                                  ciNameListingTimeout, reader, namedThePlainData, exitCode);
    Absorb(info, reader.Status(), end == EStatusRunEnd::eEnded);
    Remember(path, info);
    LookUpRecipientsOnceNamed(keyLookup, gnupg, home, reader.Status(), end == EStatusRunEnd::eEnded);
    TakeKeyListing(keyLookup);
}

CString CEncryptionGnuPG::PlainNameFor(const CString& encryptedPath, const SEncryptedFileInfo& info)
{
    CString name = info.literalKnown ? info.name : CString();
    if (name.IsEmpty())
        name = FallbackPlainName(encryptedPath);
    return name;
}

CArrayEx<ULONGLONG, const ULONGLONG&> CEncryptionGnuPG::GetPublicKeyIdsForEncryptedFile(CString path)
{
    SEncryptedFileInfo info;
    if (!LookUp(path, info))
        return CArrayEx<ULONGLONG, const ULONGLONG&>();
    if (!info.recipientsKnown)
        ReadRecipients(path, info);
    CArrayEx<ULONGLONG, const ULONGLONG&> ids = info.recipients;
    if (ids.IsEmpty())
        return ids;
    // An id that names a subkey of the key ring stands for its primary key.
    if (m_keys.IsEmpty()) {
        bool allLookedUp = true;
        for (ULONGLONG id : ids)
            allLookedUp = allLookedUp && m_lookedUp.find(id) != m_lookedUp.end();
        if (allLookedUp) {
            for (int i = 0; i < ids.GetSize(); ++i) {
                const SLookedUpKey& known = m_lookedUp.at(ids[i]);
                if (known.found)
                    ids[i] = known.key.GetLongKeyID();
            }
            return ids;
        }
    }
    std::unordered_map<ULONGLONG, ULONGLONG> primaryOf;
    CArrayEx<CKey, const CKey&> keys = ListKeys();
    for (const CKey& key : keys) {
        primaryOf.emplace(key.GetLongKeyID(), key.GetLongKeyID());
        for (ULONGLONG sub : key.GetSubKeys())
            primaryOf.emplace(sub, key.GetLongKeyID());
    }
    for (int i = 0; i < ids.GetSize(); ++i) {
        auto it = primaryOf.find(ids[i]);
        if (it != primaryOf.end())
            ids[i] = it->second;
    }
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

CString CEncryptionGnuPG::GetDecryptedFileName(const CString& path, int inWorkingDir)
{
    SEncryptedFileInfo info;
    if (!IsEncryptedFile(path) || !LookUp(path, info))
        return CString();
    // A read that failed (a refused passphrase) is tried again: the user
    // may give the right one now.
    if (!info.literalKnown)
        ReadLiteral(path, info);
    if (!info.literalKnown)
        return CString();
    CString name = PlainNameFor(path, info);
    if (name.IsEmpty())
        return CString();
    if (!inWorkingDir)
        return CDirectory::SplitPathFromFileNameWithPath(path) + name;
    // A fresh working folder of its own, named but not made: a folder is
    // made only for a decryption that goes ahead. Without a private working
    // folder there is no place for a working copy at all.
    CString workingDir = CConfiguration::GetWorkingDir(FALSE);
    platform::SUuid uuid{};
    if (workingDir.IsEmpty() || !platform::CreateUuid(uuid))
        return CString();
    return CDirectory::Concat(CDirectory::Concat(workingDir, platform::UuidToString(uuid)), name);
}

CTime CEncryptionGnuPG::GetEncryptionDate(const CString& path)
{
    SEncryptedFileInfo info;
    if (!IsEncryptedFile(path) || !LookUp(path, info))
        return CTime(0);
    // Asked once per state of the file: after a refused passphrase the date
    // stays unknown rather than asking the user again.
    if (!info.literalKnown && !info.literalTried)
        ReadLiteral(path, info);
    return info.hasCreated ? CTime(info.created) : CTime(0);
}

int CEncryptionGnuPG::IsSupportedVersion()
{
    CString program = CConfiguration::GetGnuPGPath();
    // The answer of each program file, for as long as the file stays as it
    // was; shared by every engine of the process.
    struct SVersionAnswer {
        platform::SFileIdentity identity;
        int supported;
    };
    static std::mutex mutex;
    static std::map<CString, SVersionAnswer> answers;
    // The check runs the program under its resolved path, so that file is
    // the one whose state decides whether an answer still holds.
    CString resolved = platform::FinalPath(program);
    platform::SFileIdentity identity;
    bool identified = !resolved.IsEmpty() && platform::QueryFileIdentity(resolved, identity) && identity.regularFile;
    if (identified) {
        std::lock_guard<std::mutex> lock(mutex);
        auto known = answers.find(program);
        if (known != answers.end() && known->second.identity == identity)
            return known->second.supported;
    }
    // An earlier process may have checked this very program file already.
    if (identified && CGnuPGVersionRecord::IsRecorded(resolved, identity)) {
        std::lock_guard<std::mutex> lock(mutex);
        answers[program] = {identity, 1};
        return 1;
    }
    CString output;
    if (!RunProcess(program, u" --version", ciVersionTimeout, output, nullptr, ciMaxVersionBannerBytes))
        return 0;
    int supported = IsSupportedVersionBanner(output);
    // Kept only when the program is still the file that answered.
    platform::SFileIdentity after;
    if (identified && platform::FinalPath(program) == resolved && platform::QueryFileIdentity(resolved, after) &&
        after == identity) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            answers[program] = {identity, supported};
        }
        if (supported)
            CGnuPGVersionRecord::Record(resolved, identity);
    }
    return supported;
}

// ---- decrypt and encrypt ---------------------------------------------------------

std::shared_ptr<platform::CProcessHandle> CEncryptionGnuPG::StartGnuPG(const CString& arguments,
                                                                        const CString& homeDir)
{
    return RunGnuPGWithStatusFile(CConfiguration::GetGnuPGPath(), HomeOption(homeDir), arguments);
}

IEncryption::EOperationResult CEncryptionGnuPG::DecryptFileW(const CString& encryptedPath, CString& decryptedPath)
{
    decryptedPath.Empty();
    SEncryptedFileInfo info;
    if (!IsEncryptedFile(encryptedPath) || !LookUp(encryptedPath, info))
        return eOperationFailed;
    CString gnupg = CConfiguration::GetGnuPGPath();
    CString home = CConfiguration::GetGnuPGHomeDir();

    // The plain copy goes into a fresh folder that only the user can enter,
    // or nowhere: never beside the encrypted file, where others may be able
    // to plant a file, a link or a pipe for it.
    CString folder = CConfiguration::GetWorkingDir(TRUE);
    if (folder.IsEmpty() || platform::CheckFolderPrivacy(folder) != platform::EFolderPrivacy::ePrivate) {
        if (!folder.IsEmpty())
            platform::RemoveEmptyDirectory(folder);
        throw new COrvException(IDS_DECRYPTION_FAILED,
                                u"There is no private working folder for the decrypted copy of " + encryptedPath +
                                    u". Check the decryption folder in the settings: it must be a folder that "
                                    u"belongs to you and that nobody else can open.",
                                kSource, __LINE__);
    }
    // GnuPG writes under a temporary name, made private before GnuPG keeps
    // its access rights; the copy takes its name once GnuPG has succeeded.
    CString temporary;
    if (DWORD error = platform::CreatePrivateTempFile(folder, u".veilcase-", temporary); error != ERROR_SUCCESS) {
        platform::RemoveEmptyDirectory(folder);
        throw new COrvException(IDS_DECRYPTION_FAILED,
                                u"Cannot create a file in the working folder " + folder + u": " +
                                    platform::SystemErrorText(error),
                                kSource, __LINE__);
    }
    auto discard = [&] {
        RemoveQuietly(temporary);
        platform::RemoveEmptyDirectory(folder);
    };

    CString arguments = u" --yes --charset=utf-8 --output " + platform::QuoteArgument(temporary, true) +
                        u" --decrypt " + platform::QuoteArgument(encryptedPath, true);
    WriteLogText(eLogDebug, u"Decryption command line: " + arguments);
    // While no full key listing is known, the keys of the recipients are
    // looked up beside the decryption, as soon as GnuPG has named them all
    // (GnuPG lists a few keys in far less time than all of them).
    SKeyListing keyLookup;
    const CString homeOption = HomeOption(home);
    auto lookUpRecipients = [&](const SGnuPGStatus& status) {
        LookUpRecipientsOnceNamed(keyLookup, gnupg, homeOption, status, false);
        return false;
    };
    CGnuPGStatusReader reader;
    DWORD exitCode = 0;
    CString failure;
    EStatusRunEnd end = RunGnuPGWithStatusChannel(gnupg, HomeOption(home), arguments, platform::EProcessOutput::eInherit,
                                                  INFINITE, reader, lookUpRecipients, exitCode, &failure);
    LookUpRecipientsOnceNamed(keyLookup, gnupg, homeOption, reader.Status(), end == EStatusRunEnd::eEnded);
    TakeKeyListing(keyLookup);
    // Whatever the outcome, what GnuPG said about the file holds.
    Absorb(info, reader.Status(), end == EStatusRunEnd::eEnded);
    Remember(encryptedPath, info);
    if (end != EStatusRunEnd::eEnded || exitCode != 0) {
        discard();
        UINT messageId = end == EStatusRunEnd::eNotStarted ? ciUnknownGnuPGError : reader.FailureMessageId();
        throw new COrvException(messageId, failure, kSource, __LINE__);
    }

    CString name = PlainNameFor(encryptedPath, info);
    if (name.IsEmpty()) {
        WriteLog(eLogError, u"No usable name for the decrypted copy of <%s>", encryptedPath.GetString());
        discard();
        return eOperationFailed;
    }
    decryptedPath = CDirectory::Concat(folder, name);
    if (!RenameFile(temporary, decryptedPath)) {
        WriteLog(eLogError, u"Cannot name the decrypted copy <%s>", decryptedPath.GetString());
        discard();
        return eOperationFailed;
    }
    bool exists = CDirectory::FileExist(decryptedPath, CString());

    CString originalPath = CDirectory::SplitPathFromFileNameWithPath(encryptedPath) + name;
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
