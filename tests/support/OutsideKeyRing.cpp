#include "OutsideKeyRing.h"

#include <cstdlib>
#include <vector>

#include "GpgTestHome.h"
#include "TestEnvironment.h"

namespace testsupport {

bool EncryptForAliceAndStranger(const std::filesystem::path& encrypted, const std::string& name,
                                const std::string& content)
{
    namespace fs = std::filesystem;
    const GpgTestHome& home = GpgTestHome::Get();
    TempDir other("otherring");
    fs::permissions(other.Path(), fs::perms::owner_all, fs::perm_options::replace);
    auto runOther = [&](std::vector<std::string> args, std::string* output = nullptr, const std::string& input = {}) {
        args.insert(args.begin(), {"--homedir", other.Str()});
        return RunGpg(args, output, input);
    };
    std::string exported;
    bool ok = RunGpg({"--armor", "--export", home.Alice().fingerprint}, &exported) == 0 &&
              exported.find("-----BEGIN") != std::string::npos;
    ok = ok && runOther({"--import"}, nullptr, exported.substr(exported.find("-----BEGIN"))) == 0;
    ok = ok && runOther({"--passphrase", "", "--pinentry-mode", "loopback", "--quick-gen-key",
                         "Stranger <stranger@example.org>", "ed25519", "cert", "never"}) == 0;
    std::string listing;
    ok = ok && runOther({"--with-colons", "--list-keys", "stranger@example.org"}, &listing) == 0;
    const size_t fpr = listing.find("\nfpr:");
    ok = ok && fpr != std::string::npos && listing.size() >= fpr + 53;
    if (ok) {
        const std::string fingerprint = listing.substr(fpr + 1).substr(12, 40);
        ok = runOther({"--passphrase", "", "--pinentry-mode", "loopback", "--quick-add-key", fingerprint, "cv25519",
                       "encr"}) == 0;
    }
    const fs::path plain = other.Path() / "plain";
    WriteFile(plain, content);
    ok = ok && runOther({"--yes", "--trust-model", "always", "--set-filename", name, "-r", home.Alice().keyId, "-r",
                         "stranger@example.org", "-o", encrypted.string(), "--encrypt", plain.string()}) == 0;
    // No agent stays running for the temporary ring.
    if (std::system(("gpgconf --homedir '" + other.Str() + "' --kill all >/dev/null 2>&1").c_str()) != 0) {
    }
    return ok;
}

} // namespace testsupport
