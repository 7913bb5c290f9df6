// Test isolation: every suite runs with HOME, the XDG folders, TMPDIR and
// GNUPGHOME pointing into one fresh temporary tree, removed at the end.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/CString.h"

namespace testsupport {

// Creates the isolated tree and points the variables at it; called by the
// shared test main before any test runs.
void InstallIsolation();

// Root of the isolated tree of this test process.
const std::filesystem::path& IsolatedRoot();

// A fresh folder below the isolated root, removed by its destructor.
class TempDir {
public:
    explicit TempDir(const std::string& hint = "t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }
    // Path of `name` inside the folder ("a/b" names a level below: written
    // with this system's separator).
    std::filesystem::path operator/(const std::string& name) const
    {
        std::filesystem::path path = m_path / name;
        path.make_preferred();
        return path;
    }

private:
    std::filesystem::path m_path;
};

// Writes `content` to `path` (creating or truncating it).
void WriteFile(const std::filesystem::path& path, const std::string& content);
// Reads the whole file; throws when it cannot be opened.
std::string ReadFile(const std::filesystem::path& path);

// A path as the UTF-16 text the core takes.
CString ToCString(const std::filesystem::path& path);

// An absolute path written the POSIX way ("/a/b/") in this system's own
// syntax: on Windows with drive C: and backslashes ("C:\a\b\"), so that
// one test checks path rules on both systems.
CString NativePath(const char16_t* posix);

// Sets (or, with a null value, unsets) an environment variable for the life
// of the object and restores the earlier state afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Points the user's application-data folder at `folder` for the life of
// the object (Linux: XDG_DATA_HOME; Windows: the AppData shell folder of the
// test's own HKEY_CURRENT_USER, which logwriter takes over too), and
// restores the earlier one afterwards.
class ScopedAppDataFolder {
public:
    explicit ScopedAppDataFolder(const std::filesystem::path& folder);
    ~ScopedAppDataFolder();
    ScopedAppDataFolder(const ScopedAppDataFolder&) = delete;
    ScopedAppDataFolder& operator=(const ScopedAppDataFolder&) = delete;
    // Points it elsewhere (restored all the same by the destructor).
    void Set(const std::filesystem::path& folder);

private:
    std::optional<ScopedEnv> m_env;
};

// Folder of the test executables and helper programs (bin/).
std::filesystem::path BinDir();

// Whether the tests run under Wine (a reimplementation of Windows). Where
// Wine is known to disagree with Windows' documentation, a test checks the
// documented behaviour only on Windows itself and says so; the POSIX
// stand-ins are never tuned to Wine.
bool RunsUnderWine();

} // namespace testsupport
