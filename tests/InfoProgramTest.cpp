// veilcase-info as its user runs it, against registry stores that can't be
// used: the reason reaches the program's output and the log, and a setting
// that was not stored is never reported as stored.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "TestEnvironment.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct SRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs bin/veilcase-info with `args`; standard output and error are read
// from files so that neither pipe can fill up.
SRun RunInfo(const std::vector<std::string>& args, const testsupport::TempDir& scratch)
{
    std::string program = (testsupport::BinDir() / "veilcase-info").string();
    std::vector<std::string> copy = args;
    std::vector<char*> argv{program.data()};
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outPath = scratch.Str() + "/out", errPath = scratch.Str() + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    SRun run;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0) << program;
    if (rc != 0)
        return run;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = testsupport::ReadFile(outPath);
    run.err = testsupport::ReadFile(errPath);
    return run;
}

// Every test has its own configuration and data folders, so each starts
// with a store of its own making.
class InfoProgramTest : public ::testing::Test {
protected:
    fs::path StoreFolder() const { return m_config.Path() / "veilcase"; }
    fs::path Store() const { return StoreFolder() / "registry.sqlite3"; }
    std::string LogText() const
    {
        std::string all;
        fs::path folder = m_data.Path() / "Orvelin" / "veilcase" / "LogFiles";
        if (fs::is_directory(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                all += testsupport::ReadFile(entry.path());
        return all;
    }

    testsupport::TempDir m_config{"config"};
    testsupport::TempDir m_data{"data"};
    testsupport::TempDir m_scratch{"scratch"};
    testsupport::ScopedEnv m_configEnv{"XDG_CONFIG_HOME", m_config.Str()};
    testsupport::ScopedEnv m_dataEnv{"XDG_DATA_HOME", m_data.Str()};
};

} // namespace

TEST_F(InfoProgramTest, StoredSettingIsReportedAndShown)
{
    SRun set = RunInfo({"--set-gpg", "/bin/sh"}, m_scratch);
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(set.err.find("not stored"), std::string::npos) << set.err;
    EXPECT_NE(set.out.find("GnuPG program:       /bin/sh\n"), std::string::npos) << set.out;
    EXPECT_EQ(set.out.find("unusable"), std::string::npos) << set.out;
}

TEST_F(InfoProgramTest, UnusableStoreSaysWhyAndStoresNothing)
{
    struct SCase {
        const char* name;
        void (*make)(const fs::path& store);
        const char* reason;
    };
    const SCase cases[] = {
        {"not a database",
         [](const fs::path& store) { testsupport::WriteFile(store, std::string(4096, 'x')); },
         "file is not a database"},
        {"a folder", [](const fs::path& store) { fs::create_directory(store); }, "Is a directory"},
        {"truncated header",
         [](const fs::path& store) { testsupport::WriteFile(store, "SQLite format 3"); },
         "registry.sqlite3"},
        // Only a process that may give files away can make this one.
        {"another user's",
         [](const fs::path& store) {
             testsupport::WriteFile(store, "");
             if (chown(store.c_str(), 65534, 65534) != 0)
                 fs::remove(store);
         },
         "file belongs to another user"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.reason == cases[3].reason && geteuid() != 0)
            continue;
        fs::remove_all(StoreFolder());
        fs::create_directory(StoreFolder());
        fs::permissions(StoreFolder(), fs::perms::owner_all, fs::perm_options::replace);
        c.make(Store());

        SRun set = RunInfo({"--set-gpg", "/bin/sh"}, m_scratch);
        EXPECT_EQ(set.exitCode, 1);
        EXPECT_NE(set.err.find("the GnuPG program was not stored: "), std::string::npos) << set.err;
        EXPECT_NE(set.err.find(c.reason), std::string::npos) << set.err;
        EXPECT_FALSE(fs::is_regular_file(Store()) && testsupport::ReadFile(Store()).find("/bin/sh") != std::string::npos);

        SRun show = RunInfo({}, m_scratch);
        EXPECT_EQ(show.exitCode, 0);
        EXPECT_NE(show.out.find("(unusable: "), std::string::npos) << show.out;
        EXPECT_NE(show.out.find(c.reason), std::string::npos) << show.out;
        // The log has the reason the GnuPG setting could not be read.
        EXPECT_NE(LogText().find(c.reason), std::string::npos);
    }
}
