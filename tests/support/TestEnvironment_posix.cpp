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

namespace {

fs::path g_root;

class IsolationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!g_root.empty())
            return;
        std::string pattern = (fs::temp_directory_path() / "veilcase-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        g_root = pattern;
        auto make = [](const char* var, const fs::path& path) {
            fs::create_directories(path);
            fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
            setenv(var, path.c_str(), 1);
        };
        make("HOME", g_root / "home");
        make("XDG_CONFIG_HOME", g_root / "home/.config");
        make("XDG_DATA_HOME", g_root / "home/.local/share");
        make("XDG_CACHE_HOME", g_root / "home/.cache");
        make("XDG_STATE_HOME", g_root / "home/.local/state");
        make("XDG_RUNTIME_DIR", g_root / "run");
        make("TMPDIR", g_root / "tmp");
        make("GNUPGHOME", g_root / "home/.gnupg");
        unsetenv("GPG_AGENT_INFO");
        unsetenv("DISPLAY");
        // A run under a real X server names its display here, and the dialogs
        // show on it (gpg-agent asks the test pinentry either way).
        if (const char* display = std::getenv("VEILCASE_TEST_DISPLAY"); display && *display)
            setenv("DISPLAY", display, 1);
    }
    void TearDown() override
    {
        if (g_root.empty())
            return;
        // Stop any gpg-agent a test started in the isolated home before the
        // folder disappears under it.
        std::string kill = "gpgconf --homedir '" + (g_root / "home/.gnupg").string() +
                           "' --kill all >/dev/null 2>&1";
        if (system(kill.c_str()) != 0) {
        }
        std::error_code ec;
        fs::remove_all(g_root, ec);
        g_root.clear();
    }
};

} // namespace

void InstallIsolation()
{
    auto* env = new IsolationEnvironment;
    env->SetUp(); // folders exist before any test code reads the variables
    ::testing::AddGlobalTestEnvironment(env);
    // Listing the tests runs no environment tear-down: clean up at exit too.
    std::atexit([] { IsolationEnvironment().TearDown(); });
}

const fs::path& IsolatedRoot()
{
    return g_root;
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

fs::path BinDir()
{
    return fs::read_symlink("/proc/self/exe").parent_path();
}

bool RunsUnderWine()
{
    return false;
}

} // namespace testsupport
