// Test isolation on Windows: TMP and TEMP point into one fresh temporary
// tree, and HKEY_CURRENT_USER into a key of its own for this process, so
// that test processes running side by side never see each other's
// settings.
#include "TestEnvironment.h"
#include "TestEnvironment_p.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/Registry.h"
#include "platform/Uuid.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

CString g_userKey; // below the real HKEY_CURRENT_USER
HKEY g_userHive = nullptr;

std::wstring Wide(const std::string& utf8)
{
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

// Values are UTF-8, as the tests write them; the process environment holds
// UTF-16, not the ANSI code page.
void SetVariable(const char* name, const std::string& value)
{
    _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
    // The C runtime keeps its own copy; child processes inherit the
    // process's environment block, so set it there too (an empty value
    // removes the variable, as it does above).
    ::SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str());
}

} // namespace

fs::path CreateIsolatedTree()
{
    platform::SUuid uuid{};
    if (!platform::CreateUuid(uuid))
        throw std::runtime_error("no UUID for the test folder");
    std::string tag = platform::UuidToString(uuid).ToUtf8();
    fs::path root = fs::temp_directory_path() / ("veilcase-test-" + tag);
    fs::create_directories(root / "tmp");
    SetVariable("TMP", (root / "tmp").string());
    SetVariable("TEMP", (root / "tmp").string());

    // Everything the process reads and writes through HKEY_CURRENT_USER
    // lands in a fresh key of its own.
    g_userKey = u"Software\\VeilcaseTests\\" + platform::UuidToString(uuid);
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(g_userKey.GetString()), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &g_userHive, nullptr) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_CURRENT_USER, g_userHive) != ERROR_SUCCESS)
        throw std::runtime_error("cannot give the tests a registry hive of their own");
    // Helper programs that should see the same settings (the shell folders
    // a test chose) take the hive over by this name.
    SetVariable("VEILCASE_TEST_HKCU", g_userKey.ToUtf8());
    return root;
}

void RemoveIsolatedTree(const fs::path& root)
{
    if (g_userHive) {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegCloseKey(g_userHive);
        g_userHive = nullptr;
        ::RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(g_userKey.GetString()));
    }
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string ProcessTag()
{
    return std::to_string(::GetCurrentProcessId());
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name)
{
    if (const wchar_t* old = _wgetenv(Wide(name).c_str())) {
        int n = ::WideCharToMultiByte(CP_UTF8, 0, old, -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
        if (n > 1)
            ::WideCharToMultiByte(CP_UTF8, 0, old, -1, utf8.data(), n, nullptr, nullptr);
        m_old = utf8;
    }
    SetVariable(name, value ? value : "");
}

ScopedEnv::~ScopedEnv()
{
    SetVariable(m_name.c_str(), m_old ? *m_old : "");
}

namespace {

const wchar_t* const kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

} // namespace

ScopedAppDataFolder::ScopedAppDataFolder(const fs::path& folder)
{
    Set(folder);
}

ScopedAppDataFolder::~ScopedAppDataFolder()
{
    // The hive is the test process's own: without the value the system's
    // default folder applies again.
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellFolders, L"AppData");
}

void ScopedAppDataFolder::Set(const fs::path& folder)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot set the application-data folder");
    const std::wstring value = folder.wstring();
    LSTATUS status = ::RegSetValueExW(key, L"AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        throw std::runtime_error("cannot set the application-data folder");
}

fs::path BinDir()
{
    wchar_t buffer[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
    return fs::path(std::wstring(buffer, n)).parent_path();
}

bool RunsUnderWine()
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace testsupport
