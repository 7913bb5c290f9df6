// Reading GnuPG's status channel ("--status-fd"): the lines
// "[GNUPG:] <KEYWORD> <arguments>" of one run, taken as the bytes arrive,
// and what they say about a decryption: to whom the file is encrypted, the
// name and time recorded with the plain data, and how a failure is to be
// reported to the user.
#pragma once

#include <string>
#include <string_view>

#include "ArrayEx.h"
#include "platform/CString.h"
#include "platform/WinTypes.h"

// What the status lines of one run have said so far.
struct SGnuPGStatus {
    // Key ids of the ENC_TO lines in their order (0 for a hidden recipient).
    CArrayEx<ULONGLONG, const ULONGLONG&> recipients;
    // BEGIN_DECRYPTION: every ENC_TO line has been said (GnuPG writes them
    // before it starts on the encrypted data, also with "--list-only").
    bool beginDecryption = false;
    // PLAINTEXT: the plain data is about to be written; its time and name.
    // Only the first PLAINTEXT line of a run counts.
    bool plaintext = false;
    bool hasPlaintextTime = false;
    LONGLONG plaintextTime = 0;      // seconds since 1970 (UTC)
    std::string plaintextName;       // as written: percent-escaped bytes
    bool decryptionOkay = false;     // DECRYPTION_OKAY
    bool decryptionFailed = false;   // DECRYPTION_FAILED
    bool noSecretKey = false;        // NO_SECKEY
    // BAD_PASSPHRASE, MISSING_PASSPHRASE, CANCELED_BY_USER, or an ERROR line
    // whose code means a wrong, cancelled or missing passphrase.
    bool passphraseRefused = false;
};

class CGnuPGStatusReader {
public:
    // Far more than any decryption says (an ENC_TO line is about 40 bytes).
    static constexpr size_t ciDefaultMaxBytes = 1u << 20;

    explicit CGnuPGStatusReader(size_t maxBytes = ciDefaultMaxBytes) : m_maxBytes(maxBytes) {}

    // Takes the next bytes of the channel and reads every line they
    // complete. Returns false once more than the maximum number of bytes
    // has arrived; nothing beyond the maximum is read or kept.
    bool Feed(std::string_view bytes);
    // Reads a last line that ended without a line feed (the channel closed).
    void Finish();

    bool IsOverLimit() const { return m_overLimit; }
    const SGnuPGStatus& Status() const { return m_status; }

    // The message for a run that failed with these lines, by the first rule
    // that holds: 2005 when the passphrase was refused, 2006 when
    // DECRYPTION_FAILED and NO_SECKEY were both said, else 2001.
    UINT FailureMessageId() const;

    // Reads one line (without its line feed; a "\r" before it is ignored)
    // into `status`. Lines that are no status lines, unknown keywords and
    // malformed arguments change nothing.
    static void ReadLine(std::string_view line, SGnuPGStatus& status);

private:
    size_t m_maxBytes;
    size_t m_received = 0;
    bool m_overLimit = false;
    std::string m_partial; // the start of a line whose line feed has not come yet
    SGnuPGStatus m_status;
};
