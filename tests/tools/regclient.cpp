// regclient: a second process for the registry tests.
//   regclient write <key path> <prefix> <count>
//     writes <count> REG_DWORD values "<prefix>-<i>" = i into the key below
//     HKEY_CURRENT_USER (opening and closing the key for every value, as
//     the configuration does) and creates a sub-key "<prefix>-<i>" for every
//     tenth value; exit code 0 when every call succeeded.
//   regclient read <key path> <value name>
//     prints the REG_SZ value as UTF-8; exit code 1 when it cannot be read.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Registry.h"

namespace {

int Write(const CString& path, const CString& prefix, int count)
{
    for (int i = 0; i < count; ++i) {
        HKEY key = nullptr;
        LSTATUS rc = platform::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
        if (rc != ERROR_SUCCESS) {
            std::fprintf(stderr, "create failed: %ld\n", static_cast<long>(rc));
            return 1;
        }
        CString name;
        name.Format(u"%s-%d", prefix.GetString(), i);
        DWORD value = static_cast<DWORD>(i);
        rc = platform::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        if (rc == ERROR_SUCCESS && i % 10 == 0) {
            HKEY sub = nullptr;
            rc = platform::RegCreateKeyW(key, name, &sub);
            if (rc == ERROR_SUCCESS)
                platform::RegCloseKey(sub);
        }
        platform::RegCloseKey(key);
        if (rc != ERROR_SUCCESS) {
            std::fprintf(stderr, "write %d failed: %ld\n", i, static_cast<long>(rc));
            return 1;
        }
    }
    return 0;
}

int Read(const CString& path, const CString& valueName)
{
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    char16_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(char16_t);
    DWORD type = 0;
    LSTATUS rc = platform::RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    platform::RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return 1;
    std::printf("%s", CString(buffer).ToUtf8().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 5)
        return Write(CString::FromUtf8(argv[2]), CString::FromUtf8(argv[3]), std::atoi(argv[4]));
    if (mode == "read" && argc == 4)
        return Read(CString::FromUtf8(argv[2]), CString::FromUtf8(argv[3]));
    std::fprintf(stderr, "usage: regclient write <key> <prefix> <count> | read <key> <value>\n");
    return 2;
}
