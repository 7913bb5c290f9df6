// Test isolation on POSIX: HOME, the XDG folders, TMPDIR and GNUPGHOME
// point into one fresh temporary tree.
#include "TestEnvironment.h"
#include "TestEnvironment_p.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

fs::path CreateIsolatedTree()
{
    std::string pattern = (fs::temp_directory_path() / "veilcase-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    fs::path root = pattern;
    auto make = [](const char* var, const fs::path& path) {
        fs::create_directories(path);
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
        setenv(var, path.c_str(), 1);
    };
    make("HOME", root / "home");
    make("XDG_CONFIG_HOME", root / "home/.config");
    make("XDG_DATA_HOME", root / "home/.local/share");
    make("XDG_CACHE_HOME", root / "home/.cache");
    make("XDG_STATE_HOME", root / "home/.local/state");
    make("XDG_RUNTIME_DIR", root / "run");
    make("TMPDIR", root / "tmp");
    make("GNUPGHOME", root / "home/.gnupg");
    unsetenv("GPG_AGENT_INFO");
    unsetenv("DISPLAY");
    // A run under a real X server names its display here, and the dialogs
    // show on it (gpg-agent asks the test pinentry either way).
    if (const char* display = std::getenv("VEILCASE_TEST_DISPLAY"); display && *display)
        setenv("DISPLAY", display, 1);
    return root;
}

void RemoveIsolatedTree(const fs::path& root)
{
    // Stop any gpg-agent a test started in the isolated home before the
    // folder disappears under it.
    std::string kill = "gpgconf --homedir '" + (root / "home/.gnupg").string() + "' --kill all >/dev/null 2>&1";
    if (system(kill.c_str()) != 0) {
    }
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string ProcessTag()
{
    return std::to_string(getpid());
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name)
{
    if (const char* old = getenv(name))
        m_old = old;
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_old)
        setenv(m_name.c_str(), m_old->c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

ScopedAppDataFolder::ScopedAppDataFolder(const fs::path& folder)
{
    m_env.emplace("XDG_DATA_HOME", folder.string());
}

ScopedAppDataFolder::~ScopedAppDataFolder() = default;

void ScopedAppDataFolder::Set(const fs::path& folder)
{
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
}

fs::path BinDir()
{
    return fs::read_symlink("/proc/self/exe").parent_path();
}

bool RunsUnderWine()
{
    return false;
}

} // namespace testsupport
