// logwriter: logs lines through WriteLog, for tests that need another
// process writing to the same log file or the console output of a process.
//
//   logwriter <count> <tag> [level] [padding]
//       logs <count> lines "<tag> line <n> <padding x's>" at the level.
//   logwriter --message <level> <text>
//       logs <text> once as the format of WriteLog.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/CString.h"
#include "Log.h"

int main(int argc, char** argv)
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
