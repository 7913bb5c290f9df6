#include "GpgTestHome.h"

#include "TestEnvironment.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace testsupport {

namespace {

fs::path GnuPGHome()
{
    const char* home = getenv("GNUPGHOME");
    if (!home || !*home)
        throw std::runtime_error("GNUPGHOME is not set: the test main did not isolate the run");
    return home;
}

// Runs `argv` (looked up in PATH) with standard input from `input` and
// standard output and error merged into `output`; returns the exit code.
int Spawn(const std::vector<std::string>& argv, const std::string& input, std::string* output)
{
    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return -1;
    fs::path inputFile;
    int inFd = -1;
    if (input.empty()) {
        inFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    } else {
        // A file rather than a pipe: gpg may not read its input before it
        // writes a lot of output, and a pipe could then fill up both ways.
        std::string pattern = (fs::path(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") / "gpgin-XXXXXX").string();
        inFd = mkostemp(pattern.data(), O_CLOEXEC);
        if (inFd >= 0) {
            inputFile = pattern;
            if (write(inFd, input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
                lseek(inFd, 0, SEEK_SET) != 0) {
                close(inFd);
                inFd = -1;
            }
        }
    }
    if (inFd < 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return -1;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inFd, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(inFd);
    if (!inputFile.empty())
        unlink(inputFile.c_str());
    if (rc != 0) {
        close(outPipe[0]);
        return -1;
    }
    char buf[4096];
    for (;;) {
        ssize_t n = read(outPipe[0], buf, sizeof buf);
        if (n > 0) {
            if (output)
                output->append(buf, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(outPipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void MustRun(const std::vector<std::string>& args, const std::string& input = {})
{
    std::string out;
    int rc = RunGpg(args, &out, input);
    if (rc != 0) {
        std::string cmd;
        for (const auto& a : args)
            cmd += " " + a;
        throw std::runtime_error("gpg" + cmd + " failed (" + std::to_string(rc) + "):\n" + out);
    }
}

std::string KeyBlock(const std::string& name, const std::string& email, const std::string& expire,
                     const std::string& passphrase)
{
    std::string block = passphrase.empty() ? "%no-protection\n" : "";
    block += "Key-Type: EDDSA\nKey-Curve: ed25519\nKey-Usage: sign,cert\n"
             "Subkey-Type: ECDH\nSubkey-Curve: cv25519\nSubkey-Usage: encrypt\n";
    block += "Name-Real: " + name + "\nName-Email: " + email + "\nExpire-Date: " + expire + "\n";
    if (!passphrase.empty())
        block += "Passphrase: " + passphrase + "\n";
    block += "%commit\n";
    return block;
}

std::vector<std::string> SplitColons(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t colon = line.find(':', start);
        fields.push_back(line.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos)
            return fields;
        start = colon + 1;
    }
}

std::string Field(const std::vector<std::string>& f, size_t i)
{
    return i < f.size() ? f[i] : std::string();
}

// Decodes the "\xNN" escapes GnuPG puts into user ids of colon listings.
std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

int RunGpg(const std::vector<std::string>& args, std::string* output, const std::string& input)
{
    std::vector<std::string> argv{"gpg", "--batch", "--homedir", GnuPGHome().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv, input, output);
}

fs::path PinentryModeFile()
{
    return GnuPGHome() / "testpinentry.mode";
}

fs::path PinentryLogFile()
{
    return GnuPGHome() / "testpinentry.log";
}

void SetPinentryMode(const std::string& mode)
{
    WriteText(PinentryModeFile(), mode + "\n");
    std::error_code ec;
    fs::remove(PinentryLogFile(), ec);
    // A reload makes the agent forget every cached passphrase, so the next
    // operation asks the pinentry again.
    Spawn({"gpgconf", "--homedir", GnuPGHome().string(), "--reload", "gpg-agent"}, {}, nullptr);
}

int PinentryRequests()
{
    std::ifstream in(PinentryLogFile());
    int count = 0;
    std::string line;
    while (std::getline(in, line))
        if (line == "GETPIN")
            ++count;
    return count;
}

const GpgTestHome& GpgTestHome::Get()
{
    static const GpgTestHome home = [] {
        GpgTestHome h;
        h.Generate();
        return h;
    }();
    return home;
}

void GpgTestHome::Generate()
{
    m_home = GnuPGHome();
    fs::create_directories(m_home);
    fs::permissions(m_home, fs::perms::owner_all, fs::perm_options::replace);

    // The agent asks our pinentry and keeps no passphrase: each decryption
    // of the protected key reaches the pinentry. A fixed, small S2K count
    // spares the agent its calibration, which takes many seconds on a busy
    // machine.
    fs::path pinentry = BinDir() / "testpinentry";
    if (!fs::exists(pinentry))
        throw std::runtime_error("test pinentry missing: " + pinentry.string());
    WriteText(m_home / "gpg-agent.conf", "pinentry-program " + pinentry.string() +
                                             "\ndefault-cache-ttl 0\nmax-cache-ttl 0\ns2k-count 65536\n");
    WriteText(PinentryModeFile(), "cancel\n");
    Spawn({"gpgconf", "--homedir", m_home.string(), "--kill", "gpg-agent"}, {}, nullptr);

    struct Spec {
        const char* name;
        const char* email;
    };
    const Spec specs[] = {
        {"Alice Example", "alice@example.org"}, {"Bob Example", "bob@example.org"},
        {"Jürgen Müller", "jm@example.org"},    {"Anna", "pub@example.org"},
        {"Revoked Key", "revoked@example.org"}, {"Expired Key", "expired@example.org"},
        {"Disabled Key", "disabled@example.org"}, {"Public Only", "public@example.org"},
        {"Protected Key", "protected@example.org"},
    };
    const std::string passphrase = "correct horse battery";

    std::string plain;
    for (int i : {0, 1, 2, 3, 4, 6, 7})
        plain += KeyBlock(specs[i].name, specs[i].email, "0", "");
    fs::path params = m_home / "keyparams";
    WriteText(params, plain);
    MustRun({"--generate-key", params.string()});
    // The new key signs itself right away; the agent keeps no passphrase, so
    // hand it over directly instead of through a prompt.
    WriteText(params, KeyBlock(specs[8].name, specs[8].email, "0", passphrase));
    MustRun({"--pinentry-mode", "loopback", "--passphrase", passphrase, "--generate-key", params.string()});
    // Created on 1 January 2020 with one day of validity.
    WriteText(params, KeyBlock(specs[5].name, specs[5].email, "1d", ""));
    MustRun({"--faked-system-time", "20200101T000000", "--generate-key", params.string()});
    fs::remove(params);

    auto fingerprintOf = [&](const std::string& email) {
        std::string out;
        if (RunGpg({"--with-colons", "--fixed-list-mode", "--list-keys", "<" + email + ">"}, &out) != 0)
            throw std::runtime_error("cannot list " + email + ":\n" + out);
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("fpr:", 0) == 0)
                return Field(SplitColons(line), 9);
        throw std::runtime_error("no fingerprint for " + email);
    };

    // Bob gets a signing subkey and a second encryption subkey.
    std::string bob = fingerprintOf(specs[1].email);
    // New subkeys of an unprotected key stay unprotected: an empty
    // passphrase given directly, so no prompt appears.
    const std::vector<std::string> noPassphrase{"--pinentry-mode", "loopback", "--passphrase", ""};
    for (const char* spec : {"ed25519 sign", "cv25519 encr"}) {
        std::vector<std::string> args = noPassphrase;
        std::istringstream words(spec);
        std::string algo, usage;
        words >> algo >> usage;
        args.insert(args.end(), {"--quick-add-key", bob, algo, usage, "0"});
        MustRun(args);
    }

    // Revocation through the certificate GnuPG stored at generation (its
    // first line is guarded by a colon against accidental import).
    std::string revoked = fingerprintOf(specs[4].email);
    std::string cert;
    {
        std::ifstream in(m_home / "openpgp-revocs.d" / (revoked + ".rev"));
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind(":-----", 0) == 0)
                line.erase(0, 1);
            cert += line + "\n";
        }
    }
    MustRun({"--import"}, cert);

    MustRun({"--edit-key", fingerprintOf(specs[6].email), "disable", "quit"});
    MustRun({"--yes", "--delete-secret-keys", fingerprintOf(specs[7].email)});

    // Read everything back as GnuPG lists it.
    std::string listing, secret;
    if (RunGpg({"--with-colons", "--fixed-list-mode", "--list-keys"}, &listing) != 0 ||
        RunGpg({"--with-colons", "--fixed-list-mode", "--list-secret-keys"}, &secret) != 0)
        throw std::runtime_error("cannot list the test keyring:\n" + listing + secret);

    std::vector<GpgTestKey> found;
    {
        std::istringstream in(listing);
        std::string line;
        bool inSub = false;
        while (std::getline(in, line)) {
            auto f = SplitColons(line);
            const std::string& type = f[0];
            if (type == "pub") {
                found.emplace_back();
                GpgTestKey& k = found.back();
                k.keyId = Field(f, 4);
                k.keyIdValue = std::stoull(k.keyId, nullptr, 16);
                k.revoked = Field(f, 1) == "r";
                k.expired = Field(f, 1) == "e";
                k.disabled = Field(f, 11).find('D') != std::string::npos;
                inSub = false;
            } else if (found.empty()) {
                continue;
            } else if (type == "fpr" && !inSub && found.back().fingerprint.empty()) {
                found.back().fingerprint = Field(f, 9);
            } else if (type == "uid" && found.back().userId.empty()) {
                found.back().userId = Unescape(Field(f, 9));
            } else if (type == "sub") {
                inSub = true;
                GpgTestKey& k = found.back();
                k.subkeyIds.push_back(Field(f, 4));
                k.subkeyIdValues.push_back(std::stoull(Field(f, 4), nullptr, 16));
                if (k.encryptionSubkeyId.empty() && Field(f, 11).find('e') != std::string::npos)
                    k.encryptionSubkeyId = Field(f, 4);
            }
        }
    }
    for (auto& k : found) {
        size_t lt = k.userId.find('<'), gt = k.userId.find('>');
        if (lt != std::string::npos && gt != std::string::npos && gt > lt)
            k.email = k.userId.substr(lt + 1, gt - lt - 1);
        k.hasSecret = secret.find(":" + k.keyId + ":") != std::string::npos;
    }

    for (const Spec& s : specs) {
        auto it = std::find_if(found.begin(), found.end(), [&](const GpgTestKey& k) { return k.email == s.email; });
        if (it == found.end())
            throw std::runtime_error(std::string("generated key missing: ") + s.email);
        m_keys.push_back(*it);
    }
    m_keys[8].passphrase = passphrase;
    if (!Revoked().revoked || !Expired().expired || !Disabled().disabled || PublicOnly().hasSecret ||
        Bob().subkeyIds.size() != 3)
        throw std::runtime_error("test keyring not as intended:\n" + listing);
}

} // namespace testsupport
