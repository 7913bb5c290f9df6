// logwriter: logs lines through WriteLog, for tests that need another
// process writing to the same log file or the console output of a process.
//
//   logwriter <count> <tag> [level] [padding]
//       logs <count> lines "<tag> line <n> <padding x's>" at the level.
//   logwriter --message <level> <text>
//       logs <text> once as the format of WriteLog.
//
// On Windows the arguments come as the C runtime splits the wide command
// line; the child takes the test's own HKEY_CURRENT_USER (named in
// VEILCASE_TEST_HKCU), so that it finds the application-data folder the
// test chose there.
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/CString.h"
#include "Log.h"

namespace {

int Main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--message") == 0) {
        CString text = CString::FromUtf8(argv[3]);
        WriteLog(std::atoi(argv[2]), u"%s", text.GetString());
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: logwriter <count> <tag> [level] [padding]\n"
                             "       logwriter --message <level> <text>\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const CString tag = CString::FromUtf8(argv[2]);
    const int level = argc > 3 ? std::atoi(argv[3]) : 0;
    const CString padding(u'x', argc > 4 ? std::atoi(argv[4]) : 0);
    for (int i = 0; i < count; ++i)
        WriteLog(level, u"%s line %d %s", tag.GetString(), i, padding.GetString());
    return 0;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    if (const wchar_t* key = _wgetenv(L"VEILCASE_TEST_HKCU"); key && *key) {
        HKEY hive = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &hive) == ERROR_SUCCESS)
            RegOverridePredefKey(HKEY_CURRENT_USER, hive);
    }
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        static_assert(sizeof(wchar_t) == sizeof(char16_t));
        args.push_back(CString(reinterpret_cast<const char16_t*>(argv[i])).ToUtf8());
    }
    std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return Main(argc, pointers.data());
}
#else
int main(int argc, char** argv)
{
    return Main(argc, argv);
}
#endif
