// CEncryptionGnuPG: the encryption engine on the GnuPG 2 program. Every
// operation is one or more runs of gpg whose text output is parsed here; the
// engine keeps the key cache of the process and what it has learned about
// each encrypted file: its recorded name and time and its recipients, kept
// for as long as the file stays as it was (same path, size, times, file
// number), whichever operation read them.
#pragma once

#include <map>
#include <memory>
#include <string_view>

#include "Encryption.h"
#include "GnuPGRun.h"
#include "platform/FileIdentity.h"
#include "platform/Process.h"

struct SGnuPGStatus;

// The parsed ":literal data packet:" of a packet listing.
struct SLiteralDataInfo {
    bool found = false;       // the listing has a literal data packet
    bool hasCreated = false;  // its "created" time could be read
    LONGLONG created = 0;     // seconds since 1970 (UTC)
    CString rawName;          // the name as listed, still escaped
};

class CEncryptionGnuPG : public IEncryption {
public:
    CEncryptionGnuPG();
    virtual ~CEncryptionGnuPG();
    CEncryptionGnuPG(const CEncryptionGnuPG&) = delete;
    CEncryptionGnuPG& operator=(const CEncryptionGnuPG&) = delete;

    CArrayEx<CKey, const CKey&> ListKeys() override;
    CArrayEx<CKey, const CKey&> ListSecretKeys() override;
    CArrayEx<CKey, const CKey&> ListPublicKeys() override;
    void RefreshKeys() override;
    bool FindKey(ULONGLONG keyId, CKey& key) override;
    bool KeyExists(ULONGLONG keyId) override;
    bool IsEncryptedFile(const CString& path) override;
    // The name is read without decrypting: GnuPG is stopped as soon as it
    // has named the plain data. With `inWorkingDir`, the path lies in a fresh
    // working folder that is named but not made; empty when there is no
    // private working folder.
    CString GetDecryptedFileName(const CString& path, int inWorkingDir) override;
    void StartEncryptFile(CEncryptionTask& task, CArrayEx<CKey, const CKey&>& keys) override;
    EOperationResult GetEnryptionResult(CEncryptionTask& task) override;
    // One GnuPG run: its status lines give the recorded name, time and
    // recipients. The copy goes into a fresh private working folder under a
    // temporary name and takes its own name once GnuPG has succeeded; a
    // failure leaves no folder behind. While no full key listing is known,
    // the keys of the file's recipients are looked up beside the
    // decryption, so that the questions about them that follow an open need
    // no further run. Throws 1007 when there is no private
    // working folder (nothing is decrypted then), 2005/2006/2001 as GnuPG's
    // status tells.
    EOperationResult DecryptFileW(const CString& encryptedPath, CString& decryptedPath) override;
    // Read without any secret key or passphrase (GnuPG stopped once it has
    // named every recipient) unless already known; subkey ids are replaced by
    // the id of their primary key as the key cache knows it.
    CArrayEx<ULONGLONG, const ULONGLONG&> GetPublicKeyIdsForEncryptedFile(CString path) override;
    CArrayEx<CKey, const CKey&> GetPublicKeysForEncryptedFile(CString path) override;
    CArrayEx<CKey, const CKey&> GetMissingKeysForFile(const CString& path) override;
    // Read as the name is, once per state of the file; after a refused
    // passphrase it stays unknown (time 0) rather than asking again.
    CTime GetEncryptionDate(const CString& path) override;
    int GetEncryptionProgress(CEncryptionTask& task) override;
    CString GetEncryptionFailure(CEncryptionTask& task) override;

    // Non-zero when the configured gpg reports version 2 or later. Runs
    // "gpg --version" (3 s) once per program file (its path and identity:
    // a replaced or updated program is asked again) in the process, and not
    // at all while the user's registry store records that this program file,
    // in this very state, answered as GnuPG 2 or later before (each such
    // answer is recorded there). A run that fails or times out counts as
    // unsupported and is tried again the next time.
    static int IsSupportedVersion();

    // ---- pure readers of GnuPG's output (no gpg run) -------------------------

    // Non-zero when a "--version" banner names GnuPG 2 or later: the text
    // after "(GnuPG) " starts with '2' or a higher character. A banner without
    // "(GnuPG)" is not supported.
    static int IsSupportedVersionBanner(const CString& banner);

    // Recipient key ids of a "--list-packets" listing, one per ":pubkey"
    // packet, in packet order. Lines may end in "\n" or "\r\n".
    static CArrayEx<ULONGLONG, const ULONGLONG&> ParseRecipientKeyIds(const CString& packetListing);

    // Replaces every id that names a primary key or a subkey of the colon key
    // listing by the id of its primary key; ids the listing lacks stay.
    static void ResolvePrimaryKeyIds(const CString& colonListing, CArrayEx<ULONGLONG, const ULONGLONG&>& ids);

    // Sets the private-part flag of every key of `keys` for which a public
    // listing made with "--with-secret" names secret material: field 15 of
    // its "pub" record or of one of its "sub" records is not empty ("+", the
    // serial number of a card, or "#" for a stub, as a secret listing shows
    // them too). Flags already set stay set.
    static void MarkKeysWithSecret(const CString& colonListing, CArrayEx<CKey, const CKey&>& keys);

    // The first ":literal data packet:" of a packet listing: its creation
    // time and its still escaped name (empty when the name is missing).
    static SLiteralDataInfo ParseLiteralData(const CString& packetListing);

    // The file name recorded in a literal data packet as a safe bare file
    // name: "\xHH" escapes decoded as UTF-8 bytes, at most 512 characters, the
    // characters < > : " / \ | ? * and control characters replaced by '_'. A
    // name longer than 246 UTF-8 bytes (so that it and its side file fit in the
    // file system) is cut before its extension.
    // Empty when nothing usable remains (an empty name, "." or "..").
    static CString DecodeLiteralName(const CString& rawName);

    // The file name of a PLAINTEXT status line as a safe bare file name: the
    // "%XX" escapes decoded, the bytes read as UTF-8, then made safe and cut
    // as DecodeLiteralName does. Empty when nothing usable remains.
    static CString DecodeStatusName(std::string_view escapedName);

    // The name under which a plain copy of an encrypted file goes when the
    // file records none: its own name without ".gpg"/".pgp", made safe as
    // DecodeLiteralName does; empty when nothing usable remains.
    static CString FallbackPlainName(const CString& encryptedPath);

    // Field number `field` (from 1) of the colon record that starts at
    // `start`; empty when the record has fewer fields. A last field runs to
    // the end of the text.
    static CString GetFieldValue(const CString& text, int start, int field);

    // Position of the last occurrence of `what` in `text`, -1 if none.
    static int LastIndexOf(const CString& text, const CString& what);

    // All keys of a colon listing ("sec" blocks when `secret` is non-zero,
    // else "pub" blocks), in listing order; keys without user id or key id
    // are dropped. Records are recognised by their first field only, so user
    // ids holding "pub", "sec" or "sub" don't disturb the reading.
    static CArrayEx<CKey, const CKey&> ParseListKeysOutput(const CString& output, int secret);

    // Fills `key` from one key block (its first record is the "pub" or "sec"
    // record); true when the key is valid.
    static bool ExtractKey(const CString& block, CKey& key);

protected:
    // Starts gpg with a status file (as StartGnuPG does) and returns at once.
    std::unique_ptr<CGnuPGRun> StartGnuPGRun(const CString& arguments, const CString& homeDir);

    // Runs gpg with a status file: "<gpg>" [--homedir "<home>"] --status-file
    // "<file>" <arguments>, waits until it ends and returns its handle after
    // exit code 0. Throws COrvException 2005 (bad or missing passphrase),
    // 2006 (no secret key) or 2001 (anything else, also a gpg that can't be
    // started); 2002/2004 when gpg is not configured or missing.
    std::shared_ptr<platform::CProcessHandle> StartGnuPG(const CString& arguments, const CString& homeDir);

    // "-r <long key id> " for every key that is enabled, neither revoked nor
    // expired, in list order.
    CString GetRecipients(CArrayEx<CKey, const CKey&>& keys);

private:
    // What is known about one encrypted file in one state (its identity).
    struct SEncryptedFileInfo {
        platform::SFileIdentity identity;
        bool recipientsKnown = false;
        CArrayEx<ULONGLONG, const ULONGLONG&> recipients; // as GnuPG names them, in packet order
        bool literalKnown = false; // its recorded name and time have been read
        bool literalTried = false; // a read of them failed in this state
        CString name;              // the recorded name made safe; empty when unusable
        bool hasCreated = false;
        LONGLONG created = 0;      // seconds since 1970 (UTC)
    };

    // The key listing started at one moment and taken into the key cache at
    // a later one (RefreshKeys does both at once).
    struct SKeyListing;
    void StartKeyListing(SKeyListing& listing);
    // Starts `lookup` for the recipients once `status` shows that GnuPG has
    // named them all, or once the run has ended (at most once per run).
    void LookUpRecipientsOnceNamed(SKeyListing& lookup, const CString& gnupg, const CString& homeOption,
                                   const SGnuPGStatus& status, bool runEnded);
    // Lists only the keys with one of these ids (as key or subkey), those
    // not looked up yet, while no full listing is known.
    void StartKeyLookup(SKeyListing& listing, const CString& gnupg, const CString& homeOption,
                        const CArrayEx<ULONGLONG, const ULONGLONG&>& ids);
    // Collects a listing into the key cache, a lookup into the looked-up
    // keys; a run that failed leaves both as they were.
    void TakeKeyListing(SKeyListing& listing);

    // A key looked up by one of its ids: the first key of the key ring that
    // has it, or none (only when GnuPG said so without any error).
    struct SLookedUpKey {
        bool found = false;
        CKey key;
    };

    // What is known about the file at `path` in its present state: the
    // remembered facts while the file is unchanged, else none. False when the
    // path names no ordinary file.
    bool LookUp(const CString& path, SEncryptedFileInfo& info) const;
    // Remembers `info` for `path` when the file is still in the state it
    // describes.
    void Remember(const CString& path, const SEncryptedFileInfo& info);
    // Takes what a GnuPG run said about the file; `runEnded` when GnuPG ended
    // by itself, so that everything it had to say was said.
    static void Absorb(SEncryptedFileInfo& info, const SGnuPGStatus& status, bool runEnded);
    // Reads the recipients with GnuPG, stopped as soon as it has named them
    // all (no secret key or passphrase needed).
    void ReadRecipients(const CString& path, SEncryptedFileInfo& info);
    // Reads the recorded name and time (and the recipients) with GnuPG,
    // stopped as soon as it has said them, before it writes any plain data;
    // may prompt for a passphrase (300 s).
    void ReadLiteral(const CString& path, SEncryptedFileInfo& info);
    // The name of the plain copy: the recorded name, else the file's own
    // name without its extension; empty when neither is usable.
    static CString PlainNameFor(const CString& encryptedPath, const SEncryptedFileInfo& info);

    // One encryption per working copy: GnuPG writes `temporary`, which
    // replaces `target` once GnuPG has succeeded.
    struct SEncryptionRun {
        std::unique_ptr<CGnuPGRun> run;
        CString temporary;
        CString target;
        EOperationResult result = eOperationPending;
        CString failure;
    };
    // Collects an ended run: renames on success, records the failure.
    void CompleteEncryption(SEncryptionRun& encryption);

    CArrayEx<CKey, const CKey&> m_keys;
    // Keys looked up by id while m_keys is empty; dropped once it is filled.
    std::map<ULONGLONG, SLookedUpKey> m_lookedUp;
    std::map<CString, SEncryptionRun> m_encryptions;
    std::map<CString, SEncryptedFileInfo> m_files;
};
