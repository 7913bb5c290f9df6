// A GnuPG keyring for tests, generated once per test process with the real
// gpg in the isolated GNUPGHOME, and a test pinentry that gpg-agent asks for
// passphrases and that answers as the test chose.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// One generated key as GnuPG lists it. Ids and fingerprints are upper-case
// hexadecimal; texts are UTF-8.
struct GpgTestKey {
    std::string userId;                            // e.g. "Jürgen Müller <jm@example.org>"
    std::string email;                             // e.g. "jm@example.org"
    std::string fingerprint;                       // 40 hex digits of the primary key
    std::string keyId;                             // long key id, 16 hex digits
    unsigned long long keyIdValue = 0;             // the same id as a number
    std::vector<std::string> subkeyIds;            // long ids of the subkeys, listing order
    std::vector<unsigned long long> subkeyIdValues;
    std::string encryptionSubkeyId;                // the (first) subkey that encrypts
    bool hasSecret = false;                        // the secret part is in the keyring
    std::string passphrase;                        // empty for an unprotected key
    bool revoked = false;
    bool expired = false;
    bool disabled = false;
};

// The keyring of this test process. Generation takes well under a second
// (ed25519 primary keys with cv25519 encryption subkeys). Every key has a
// secret part unless said otherwise. GnuPG 2.2 cannot hold a secret key
// whose public key is missing from the public listing (both listings walk
// the same keybox), so there is no "secret-only" key: tests of that case
// feed listing text to the parser instead.
class GpgTestHome {
public:
    // Generates the keyring on first use and returns it; later calls return
    // the same one. Throws std::runtime_error when gpg fails. Also sets up
    // gpg-agent to ask the test pinentry (answering "cancel" until a test
    // calls SetPinentryMode).
    static const GpgTestHome& Get();

    // The GnuPG home directory ($GNUPGHOME of the test process).
    const std::filesystem::path& Home() const { return m_home; }

    const GpgTestKey& Alice() const { return m_keys[0]; }      // "Alice Example <alice@example.org>"
    const GpgTestKey& Bob() const { return m_keys[1]; }        // signing subkey + two encryption subkeys
    const GpgTestKey& Juergen() const { return m_keys[2]; }    // "Jürgen Müller <jm@example.org>"
    const GpgTestKey& Anna() const { return m_keys[3]; }       // "Anna <pub@example.org>"
    const GpgTestKey& Revoked() const { return m_keys[4]; }    // revoked primary key
    const GpgTestKey& Expired() const { return m_keys[5]; }    // expired in 2020
    const GpgTestKey& Disabled() const { return m_keys[6]; }   // disabled in the keyring
    const GpgTestKey& PublicOnly() const { return m_keys[7]; } // secret part deleted: cannot decrypt
    const GpgTestKey& Protected() const { return m_keys[8]; }  // passphrase "correct horse battery"
    // Every key above, in that order.
    const std::vector<GpgTestKey>& All() const { return m_keys; }

private:
    GpgTestHome() = default;
    void Generate();

    std::filesystem::path m_home;
    std::vector<GpgTestKey> m_keys;
};

// Runs the real gpg with `args` (no shell; "--batch" is added first) in the
// test home, feeding `input` to its standard input. Standard output and
// standard error are appended to `*output` when given. Returns gpg's exit code
// (-1 when it could not be started).
int RunGpg(const std::vector<std::string>& args, std::string* output = nullptr, const std::string& input = {});

// Chooses what the test pinentry answers from now on and flushes the agent's
// passphrase cache:
//   "ok:<passphrase>"  returns the passphrase
//   "wrong"            returns a wrong passphrase
//   "cancel"           reports the prompt as cancelled
// The mode lives in the file PinentryModeFile(); the agent need not restart.
void SetPinentryMode(const std::string& mode);

// File the test pinentry reads its mode from, and the log it appends one
// line to for every command it receives (so tests can see it was asked).
std::filesystem::path PinentryModeFile();
std::filesystem::path PinentryLogFile();

// Number of GETPIN requests the test pinentry has answered since the last
// SetPinentryMode.
int PinentryRequests();

} // namespace testsupport
