// The GnuPG engine against the real gpg with the generated test keyring.
#include <gtest/gtest.h>

#include <thread>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "Configuration.h"
#include "Directory.h"
#include "EncryptionGnuPG.h"
#include "EncryptionTask.h"
#include "GpgTestHome.h"
#include "OrvException.h"
#include "platform/PrivateProfile.h"
#include "platform/Registry.h"
#include "TestEnvironment.h"

namespace fs = std::filesystem;
using testsupport::GpgTestHome;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

CString U(const std::string& utf8)
{
    return CString::FromUtf8(utf8);
}

CString U(const fs::path& path)
{
    return CString::FromUtf8(path.string());
}

// Runs `body`, which must throw a COrvException, and returns its message id.
template <class F>
UINT ThrownMessageId(F body)
{
    try {
        body();
    } catch (COrvException* e) {
        UINT id = e->GetMessageId();
        e->Delete();
        return id;
    }
    return 0;
}

CEncryptionTask MakeTask(const fs::path& plain, const fs::path& encrypted)
{
    SEncryptionTask record;
    std::memset(&record, 0, sizeof record);
    record.version = SEncryptionTask::ciVersion;
    record.size = SEncryptionTask::ciSize;
    std::u16string p = U(plain).Str(), e = U(encrypted).Str();
    std::memcpy(record.filePath, p.c_str(), (p.size() + 1) * sizeof(char16_t));
    std::memcpy(record.encryptedFilePath, e.c_str(), (e.size() + 1) * sizeof(char16_t));
    return CEncryptionTask(record);
}

CArrayEx<CKey, const CKey&> KeysOf(CEncryptionGnuPG& engine, std::initializer_list<const testsupport::GpgTestKey*> keys)
{
    CArrayEx<CKey, const CKey&> result;
    for (const auto* k : keys) {
        CKey key;
        EXPECT_TRUE(engine.FindKey(k->keyIdValue, key)) << k->userId;
        result.Add(key);
    }
    return result;
}

class EncryptionGnuPGTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        home = &GpgTestHome::Get();
        CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
        // The configured home is the test keyring, so every run that must
        // see it has to pass "--homedir".
        CConfiguration::SetGnuPGHomeDir(U(home->Home()));
        workRoot = new TempDir("work");
        fs::permissions(workRoot->Path(), fs::perms::owner_all, fs::perm_options::replace);
        CConfiguration::SetWorkingDir(U(workRoot->Path()));
    }
    static void TearDownTestSuite()
    {
        delete workRoot;
        workRoot = nullptr;
    }
    void SetUp() override { testsupport::SetPinentryMode("cancel"); }

    // Encrypts `plain` to `encrypted` through the engine and checks the result.
    void Encrypt(CEncryptionGnuPG& engine, const fs::path& plain, const fs::path& encrypted,
                 CArrayEx<CKey, const CKey&> keys)
    {
        CEncryptionTask task = MakeTask(plain, encrypted);
        engine.StartEncryptFile(task, keys);
        // The run goes on in the background; the result is collected later.
        IEncryption::EOperationResult result;
        while ((result = engine.GetEnryptionResult(task)) == IEncryption::eOperationPending)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(result, IEncryption::eOperationSucceeded);
        EXPECT_EQ(engine.GetEncryptionProgress(task), 100);
        EXPECT_EQ(engine.GetEncryptionFailure(task), CString());
        ASSERT_EQ(engine.GetEnryptionResult(task), IEncryption::eOperationSucceeded); // asked again
    }

    static const GpgTestHome* home;
    static TempDir* workRoot;
    TempDir dir{"enc"};
};

const GpgTestHome* EncryptionGnuPGTest::home = nullptr;
TempDir* EncryptionGnuPGTest::workRoot = nullptr;

TEST_F(EncryptionGnuPGTest, KeyCacheHoldsEveryKeyOnceWithItsFlags)
{
    CEncryptionGnuPG engine;
    CArrayEx<CKey, const CKey&> keys = engine.ListKeys();
    ASSERT_EQ(keys.GetSize(), static_cast<int>(home->All().size()));
    for (const auto& expected : home->All()) {
        int found = keys.Find(CKey(expected.keyIdValue));
        ASSERT_GE(found, 0) << expected.userId;
        const CKey& key = keys[found];
        EXPECT_EQ(key.GetUserID(), U(expected.userId));
        EXPECT_EQ(key.GetMailAddress(), U(expected.email));
        EXPECT_EQ(key.HasPrivatePart() != 0, expected.hasSecret) << expected.userId;
        EXPECT_EQ(key.IsRevoked(), expected.revoked) << expected.userId;
        EXPECT_EQ(key.IsExpired(), expected.expired) << expected.userId;
        EXPECT_EQ(key.IsEnabled(), !expected.disabled) << expected.userId;
        CArrayEx<ULONGLONG, const ULONGLONG&> subKeys = key.GetSubKeys();
        ASSERT_EQ(subKeys.GetSize(), static_cast<int>(expected.subkeyIdValues.size()));
        for (size_t i = 0; i < expected.subkeyIdValues.size(); ++i)
            EXPECT_EQ(subKeys[static_cast<int>(i)], expected.subkeyIdValues[i]);
    }
    EXPECT_EQ(engine.ListPublicKeys().GetSize(), keys.GetSize());
    CArrayEx<CKey, const CKey&> secret = engine.ListSecretKeys();
    EXPECT_LT(secret.Find(CKey(home->PublicOnly().keyIdValue)), 0);
    EXPECT_GE(secret.Find(CKey(home->Alice().keyIdValue)), 0);
    for (const CKey& key : secret)
        EXPECT_TRUE(key.HasPrivatePart());
}

TEST_F(EncryptionGnuPGTest, FindKeyResolvesSubkeysToTheirPrimaryKey)
{
    CEncryptionGnuPG engine;
    const auto& bob = home->Bob();
    ASSERT_GE(bob.subkeyIdValues.size(), 2u);
    for (ULONGLONG sub : bob.subkeyIdValues) {
        CKey key;
        ASSERT_TRUE(engine.FindKey(sub, key));
        EXPECT_EQ(key.GetLongKeyID(), bob.keyIdValue);
        EXPECT_EQ(key.GetUserID(), U(bob.userId));
    }
    CKey untouched(0x42);
    EXPECT_FALSE(engine.FindKey(0x0123456789ABCDEFull, untouched));
    EXPECT_EQ(untouched.GetLongKeyID(), 0x42u);
    EXPECT_TRUE(engine.KeyExists(home->Anna().keyIdValue));
    EXPECT_FALSE(engine.KeyExists(0x0123456789ABCDEFull));
}

TEST_F(EncryptionGnuPGTest, RoundTripKeepsBytesAndRecordsTheName)
{
    CEncryptionGnuPG engine;
    const std::string name = "Bericht für Jürgen: Plan? v2.txt";
    fs::path plain = dir / name;
    std::string content = "first line\nsecond line \xc3\xa4\n";
    content += std::string(100000, 'x');
    WriteFile(plain, content);
    fs::path encrypted = dir / (name + ".gpg");
    Encrypt(engine, plain, encrypted, KeysOf(engine, {&home->Alice(), &home->Bob()}));
    EXPECT_FALSE(fs::exists(plain.string() + ".veilcase"));

    // Recipients in packet order, each resolved to its primary key.
    CArrayEx<ULONGLONG, const ULONGLONG&> ids = engine.GetPublicKeyIdsForEncryptedFile(U(encrypted));
    ASSERT_EQ(ids.GetSize(), 2);
    EXPECT_GE(ids.Find(home->Alice().keyIdValue), 0);
    EXPECT_GE(ids.Find(home->Bob().keyIdValue), 0);
    EXPECT_EQ(engine.GetMissingKeysForFile(U(encrypted)).GetSize(), 0);

    CString decrypted;
    ASSERT_EQ(engine.DecryptFileW(U(encrypted), decrypted), IEncryption::eOperationSucceeded);
    // Colon and question mark can't stand in a name; the umlauts can.
    const CString expectedName = U(std::string("Bericht für Jürgen_ Plan_ v2.txt"));
    EXPECT_TRUE(decrypted.Right(expectedName.GetLength()) == expectedName) << decrypted.ToUtf8();
    EXPECT_EQ(decrypted.Find(U(workRoot->Str())), 0) << decrypted.ToUtf8();
    EXPECT_EQ(ReadFile(decrypted.ToUtf8()), content);
    // The plain copy is its owner's alone, whatever the umask allows.
    EXPECT_EQ(fs::status(decrypted.ToUtf8()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // The side file points back to where the plain file belongs.
    CString original;
    GetPrivateProfileStringW(u"veilcase", u"OriginalFilename", u"", original, decrypted + u".veilcase");
    EXPECT_EQ(original, U(dir.Path() / expectedName.ToUtf8()));
    EXPECT_EQ(engine.GetDecryptedFileName(U(encrypted), 0), original);

    // The creation time of the literal data is remembered for the path.
    LONGLONG now = CTime::GetCurrentTime().GetTime();
    LONGLONG created = engine.GetEncryptionDate(U(encrypted)).GetTime();
    EXPECT_GT(created, now - 600);
    EXPECT_LE(created, now + 5);
    EXPECT_EQ(engine.GetEncryptionDate(U(dir / "other.gpg")).GetTime(), 0);
}

TEST_F(EncryptionGnuPGTest, OnlyUsableRecipientsAreNamedAndNoneIsAnError)
{
    CEncryptionGnuPG engine;
    fs::path plain = dir / "plain.txt";
    WriteFile(plain, "data");
    fs::path encrypted = dir / "plain.txt.gpg";
    Encrypt(engine, plain, encrypted,
            KeysOf(engine, {&home->Revoked(), &home->Juergen(), &home->Disabled(), &home->Expired()}));
    CArrayEx<ULONGLONG, const ULONGLONG&> ids = engine.GetPublicKeyIdsForEncryptedFile(U(encrypted));
    ASSERT_EQ(ids.GetSize(), 1);
    EXPECT_EQ(ids[0], home->Juergen().keyIdValue);

    // Without a usable recipient nothing is started and the old file stays.
    std::string before = ReadFile(encrypted);
    CEncryptionTask task = MakeTask(plain, encrypted);
    CArrayEx<CKey, const CKey&> unusable = KeysOf(engine, {&home->Revoked(), &home->Disabled()});
    EXPECT_EQ(ThrownMessageId([&] { engine.StartEncryptFile(task, unusable); }), 2001u);
    EXPECT_EQ(ReadFile(encrypted), before);
    // The earlier success no longer answers for this file.
    EXPECT_EQ(engine.GetEnryptionResult(task), IEncryption::eOperationFailed);
}

TEST_F(EncryptionGnuPGTest, FailedEncryptionKeepsTheOldEncryptedFile)
{
    CEncryptionGnuPG engine;
    fs::path plain = dir / "doc.txt";
    fs::path encrypted = dir / "doc.txt.gpg";
    WriteFile(encrypted, "the old encrypted content");
    fs::permissions(encrypted, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                    fs::perm_options::replace);
    CEncryptionTask task = MakeTask(plain, encrypted); // the plain file does not exist
    CArrayEx<CKey, const CKey&> keys = KeysOf(engine, {&home->Alice()});
    EXPECT_EQ(ThrownMessageId([&] { engine.StartEncryptFile(task, keys); }), 2001u);
    EXPECT_EQ(ReadFile(encrypted), "the old encrypted content");
    EXPECT_EQ(engine.GetEnryptionResult(task), IEncryption::eOperationFailed);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1); // no temporary file left behind

    // A successful run replaces it and keeps its access rights.
    WriteFile(plain, "new content");
    Encrypt(engine, plain, encrypted, keys);
    EXPECT_NE(ReadFile(encrypted), "the old encrypted content");
    EXPECT_EQ(fs::status(encrypted).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A task never started in this engine has no result.
    CEncryptionTask other = MakeTask(dir / "never.txt", dir / "never.txt.gpg");
    EXPECT_EQ(engine.GetEnryptionResult(other), IEncryption::eOperationFailed);
}

TEST_F(EncryptionGnuPGTest, PassphraseAndSecretKeyFailuresHaveTheirMessages)
{
    CEncryptionGnuPG engine;
    fs::path plain = dir / "secret note.txt";
    WriteFile(plain, "for the protected key only");
    fs::path toProtected = dir / "secret note.txt.gpg";
    Encrypt(engine, plain, toProtected, KeysOf(engine, {&home->Protected()}));

    for (const char* mode : {"wrong", "cancel"}) {
        testsupport::SetPinentryMode(mode);
        CString decrypted;
        EXPECT_EQ(ThrownMessageId([&] { engine.DecryptFileW(U(toProtected), decrypted); }), 2005u) << mode;
        EXPECT_GT(testsupport::PinentryRequests(), 0) << mode;
        if (!decrypted.IsEmpty()) {
            EXPECT_FALSE(fs::exists(decrypted.ToUtf8())) << "no partial plain file";
        }
    }
    testsupport::SetPinentryMode("ok:" + home->Protected().passphrase);
    CString decrypted;
    ASSERT_EQ(engine.DecryptFileW(U(toProtected), decrypted), IEncryption::eOperationSucceeded);
    EXPECT_EQ(ReadFile(decrypted.ToUtf8()), "for the protected key only");

    fs::path toPublicOnly = dir / "public.txt.gpg";
    Encrypt(engine, plain, toPublicOnly, KeysOf(engine, {&home->PublicOnly()}));
    CString none;
    EXPECT_EQ(ThrownMessageId([&] { engine.DecryptFileW(U(toPublicOnly), none); }), 2006u);

    // Not OpenPGP at all.
    fs::path garbage = dir / "garbage.gpg";
    WriteFile(garbage, "this is not an OpenPGP message");
    EXPECT_EQ(ThrownMessageId([&] { engine.DecryptFileW(U(garbage), none); }), 2001u);
    EXPECT_EQ(engine.GetPublicKeyIdsForEncryptedFile(U(garbage)).GetSize(), 0);
    // A missing file or a name that is no encrypted file runs nothing.
    EXPECT_EQ(engine.DecryptFileW(U(dir / "missing.gpg"), none), IEncryption::eOperationFailed);
    EXPECT_EQ(engine.DecryptFileW(U(plain), none), IEncryption::eOperationFailed);
}

TEST_F(EncryptionGnuPGTest, UnusableRecordedNamesFallBackToTheFileName)
{
    CEncryptionGnuPG engine;
    fs::path plain = dir / "in.txt";
    WriteFile(plain, "payload");
    // A name that would mean the folder itself, and no name at all.
    fs::path dotted = dir / "dotted.txt.gpg";
    ASSERT_EQ(testsupport::RunGpg({"--trust-model", "always", "--set-filename", "..", "-r", home->Alice().keyId,
                                   "-o", dotted.string(), "--encrypt", plain.string()}),
              0);
    fs::path unnamed = dir / "unnamed.bin.PGP.gpg";
    ASSERT_EQ(testsupport::RunGpg({"--trust-model", "always", "-r", home->Alice().keyId, "-o", unnamed.string(),
                                   "--encrypt"},
                                  nullptr, "payload"),
              0);
    struct {
        fs::path file;
        const char16_t* expected;
    } cases[] = {{dotted, u"dotted.txt"}, {unnamed, u"unnamed.bin.PGP"}};
    for (const auto& c : cases) {
        CString decrypted;
        ASSERT_EQ(engine.DecryptFileW(U(c.file), decrypted), IEncryption::eOperationSucceeded);
        EXPECT_EQ(CDirectory::SplitFileNameAndExtensionFromPath(decrypted), CString(c.expected));
        EXPECT_TRUE(fs::is_regular_file(decrypted.ToUtf8()));
        EXPECT_EQ(ReadFile(decrypted.ToUtf8()), "payload");
    }
}

TEST_F(EncryptionGnuPGTest, QuotedAndOverlongRecordedNamesStillDecrypt)
{
    CEncryptionGnuPG engine;
    // Double quotes are legal in names here and reach the recorded name.
    const std::string quoted = "say \"hi\", ok.txt";
    fs::path plain = dir / quoted;
    WriteFile(plain, "quoted");
    fs::path encrypted = dir / (quoted + ".gpg");
    Encrypt(engine, plain, encrypted, KeysOf(engine, {&home->Alice()}));
    CString decrypted;
    ASSERT_EQ(engine.DecryptFileW(U(encrypted), decrypted), IEncryption::eOperationSucceeded);
    EXPECT_EQ(CDirectory::SplitFileNameAndExtensionFromPath(decrypted), U(std::string("say _hi_, ok.txt")));
    EXPECT_EQ(ReadFile(decrypted.ToUtf8()), "quoted");

    // A recorded name holds up to 255 bytes, and gpg cuts a longer one there
    // even inside a character. A name of 255 bytes leaves no room for the
    // side file's ".veilcase"; a cut character read as U+FFFD (3 bytes)
    // makes the name longer than any name here. Both must still decrypt,
    // keep their extension where they have one, and get their side file.
    std::string umlauts;
    for (int i = 0; i < 130; ++i)
        umlauts += "\xc3\xa4";
    const struct {
        std::string recorded;
        const char* extension;
    } cases[] = {{umlauts.substr(0, 250) + ".docx", ".docx"}, {umlauts + "-report.docx", nullptr}};
    for (const auto& c : cases) {
        fs::path longEncrypted = dir / "long.gpg";
        ASSERT_EQ(testsupport::RunGpg({"--yes", "--trust-model", "always", "--set-filename", c.recorded, "-r",
                                       home->Alice().keyId, "-o", longEncrypted.string(), "--encrypt",
                                       plain.string()}),
                  0);
        CString longDecrypted;
        ASSERT_EQ(engine.DecryptFileW(U(longEncrypted), longDecrypted), IEncryption::eOperationSucceeded);
        std::string name = CDirectory::SplitFileNameAndExtensionFromPath(longDecrypted).ToUtf8();
        EXPECT_LE(name.size() + std::strlen(".veilcase"), 255u) << name;
        EXPECT_EQ(name.substr(0, 2), "\xc3\xa4");
        if (c.extension) {
            EXPECT_EQ(name.substr(name.size() - 5), c.extension);
        }
        EXPECT_EQ(ReadFile(longDecrypted.ToUtf8()), "quoted");
        EXPECT_TRUE(fs::exists(longDecrypted.ToUtf8() + ".veilcase"));
    }
}

TEST_F(EncryptionGnuPGTest, RecipientsAndMissingKeysComeFromTheConfiguredKeyring)
{
    CEncryptionGnuPG engine;
    // A second key ring that knows Alice and a key of its own.
    TempDir other("otherring");
    fs::permissions(other.Path(), fs::perms::owner_all, fs::perm_options::replace);
    std::string exported;
    ASSERT_EQ(testsupport::RunGpg({"--armor", "--export", home->Alice().fingerprint}, &exported), 0);
    auto runOther = [&](std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {"--homedir", other.Str()});
        return testsupport::RunGpg(args, nullptr, input);
    };
    ASSERT_EQ(runOther({"--import"}, exported.substr(exported.find("-----BEGIN"))), 0);
    ASSERT_EQ(runOther({"--passphrase", "", "--pinentry-mode", "loopback", "--quick-gen-key",
                        "Stranger <stranger@example.org>", "ed25519", "cert", "never"}),
              0);
    std::string listing;
    ASSERT_EQ(testsupport::RunGpg({"--homedir", other.Str(), "--with-colons", "--list-keys", "stranger@example.org"},
                                  &listing),
              0);
    std::string fpr = listing.substr(listing.find("\nfpr:") + 1);
    fpr = fpr.substr(12, 40);
    ASSERT_EQ(runOther({"--passphrase", "", "--pinentry-mode", "loopback", "--quick-add-key", fpr, "cv25519", "encr"}),
              0);
    fs::path plain = dir / "shared.txt";
    WriteFile(plain, "shared");
    fs::path encrypted = dir / "shared.txt.gpg";
    ASSERT_EQ(runOther({"--trust-model", "always", "-r", home->Alice().keyId, "-r", "stranger@example.org", "-o",
                        encrypted.string(), "--encrypt", plain.string()}),
              0);
    // No agent stays running for the temporary ring.
    if (std::system(("gpgconf --homedir '" + other.Str() + "' --kill all >/dev/null 2>&1").c_str()) != 0) {
    }

    // The process environment names an empty key ring; the engine must still
    // read the configured one.
    TempDir empty("emptyring");
    fs::permissions(empty.Path(), fs::perms::owner_all, fs::perm_options::replace);
    std::string saved = std::getenv("GNUPGHOME");
    setenv("GNUPGHOME", empty.Str().c_str(), 1);
    CArrayEx<ULONGLONG, const ULONGLONG&> ids = engine.GetPublicKeyIdsForEncryptedFile(U(encrypted));
    CArrayEx<CKey, const CKey&> missing = engine.GetMissingKeysForFile(U(encrypted));
    setenv("GNUPGHOME", saved.c_str(), 1);

    ASSERT_EQ(ids.GetSize(), 2);
    EXPECT_GE(ids.Find(home->Alice().keyIdValue), 0); // resolved from its subkey
    ASSERT_EQ(missing.GetSize(), 1);
    EXPECT_FALSE(missing[0].IsValid());
    EXPECT_TRUE(missing[0].GetUserID().IsEmpty());
    EXPECT_NE(missing[0].GetLongKeyID(), home->Alice().keyIdValue);
    EXPECT_GE(ids.Find(missing[0].GetLongKeyID()), 0);
}

TEST_F(EncryptionGnuPGTest, VersionAndConfigurationErrors)
{
    EXPECT_EQ(CEncryptionGnuPG::IsSupportedVersion(), 1);
    CConfiguration::SetGnuPGPath(U(testsupport::BinDir() / "fakegpg1"));
    EXPECT_EQ(CEncryptionGnuPG::IsSupportedVersion(), 0);

    CEncryptionGnuPG engine;
    CConfiguration::SetGnuPGPath(U(testsupport::BinDir() / "no-such-gpg"));
    EXPECT_EQ(ThrownMessageId([] { CEncryptionGnuPG::IsSupportedVersion(); }), 2004u);
    EXPECT_EQ(ThrownMessageId([&] { engine.ListKeys(); }), 2004u);
    CString decrypted;
    WriteFile(dir / "x.gpg", "x");
    EXPECT_EQ(ThrownMessageId([&] { engine.DecryptFileW(U(dir / "x.gpg"), decrypted); }), 2004u);
    CConfiguration::SetGnuPGPath(u"");
    EXPECT_EQ(ThrownMessageId([&] { engine.ListKeys(); }), 2004u);

    // Without any configuration at all, every run reports the missing
    // configuration before anything is started.
    ASSERT_EQ(platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Orvelin\\veilcase\\Configuration"), ERROR_SUCCESS);
    EXPECT_EQ(ThrownMessageId([] { CEncryptionGnuPG::IsSupportedVersion(); }), 2002u);
    EXPECT_EQ(ThrownMessageId([&] { engine.ListKeys(); }), 2002u);
    EXPECT_EQ(ThrownMessageId([&] { engine.DecryptFileW(U(dir / "x.gpg"), decrypted); }), 2002u);
    CConfiguration::SetGnuPGHomeDir(U(home->Home()));
    CConfiguration::SetWorkingDir(U(workRoot->Path()));
    CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");

    EXPECT_TRUE(engine.IsEncryptedFile(u"a.gpg"));
    EXPECT_TRUE(engine.IsEncryptedFile(u"/x/REPORT.GPG"));
    EXPECT_TRUE(engine.IsEncryptedFile(u"/x/report.pgp"));
    EXPECT_FALSE(engine.IsEncryptedFile(u"/x/report.PGP"));
    EXPECT_FALSE(engine.IsEncryptedFile(u".gpg"));
    EXPECT_FALSE(engine.IsEncryptedFile(u"/x/report.txt"));
    EXPECT_EQ(&CEncryption::GetDefault(), &CEncryption::GetDefault());
}

} // namespace

TEST_F(EncryptionGnuPGTest, ARunThatFailsAfterItsStartIsReportedWhenCollected)
{
    CEncryptionGnuPG engine;
    fs::path plain = dir / "late.txt";
    fs::path encrypted = dir / "late.txt.gpg";
    WriteFile(plain, "content");
    WriteFile(encrypted, "the old encrypted content");
    CArrayEx<CKey, const CKey&> keys = KeysOf(engine, {&home->Alice()});
    CEncryptionTask task = MakeTask(plain, encrypted);
    // A "gpg" that starts and fails.
    CConfiguration::SetGnuPGPath(u"/bin/false");
    engine.StartEncryptFile(task, keys);
    CConfiguration::SetGnuPGPath(u"/usr/bin/gpg");
    IEncryption::EOperationResult result;
    while ((result = engine.GetEnryptionResult(task)) == IEncryption::eOperationPending)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(result, IEncryption::eOperationFailed);
    EXPECT_EQ(engine.GetEnryptionResult(task), IEncryption::eOperationFailed); // asked again
    EXPECT_EQ(engine.GetEncryptionFailure(task), CString(u"Unknown GnuPG Error"));
    EXPECT_EQ(ReadFile(encrypted), "the old encrypted content");
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2); // the temporary file is gone
}
