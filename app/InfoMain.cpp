// veilcase-info: prints what the system resolved on this machine (product
// version, working directory, log file, registry store, GnuPG program) and
// writes its run into the daily log.
//
//   veilcase-info                 show the resolved settings
//   veilcase-info --set-gpg PATH  store PATH as the GnuPG program
//   veilcase-info --set-homedir D store D as the GnuPG home directory ("" = default)
#include <cstdio>
#include <cstring>

#include "Configuration.h"
#include "Directory.h"
#include "GuiUtils.h"
#include "Log.h"
#include "OrvException.h"
#include "platform/Registry.h"
#include "platform/Time.h"

namespace {

void PrintLine(const char* label, const CString& value)
{
    std::printf("%-20s %s\n", label, value.ToUtf8().c_str());
}

CString TodaysLogFile()
{
    platform::SLocalTime now{};
    platform::ToLocalTime(platform::Time64(), now);
    CString name;
    name.Format(u"Log%04d%02d%02d.txt", now.year, now.month, now.day);
    CString folder = CDirectory::GetSpecialDirectory(CSIDL_APPDATA);
    for (const char16_t* level : {u"Orvelin", u"veilcase", u"LogFiles"})
        folder = CDirectory::Concat(folder, level);
    return CDirectory::Concat(folder, name);
}

// A setting that did not reach the registry (read back differently): said
// with the store's reason, never reported as stored.
int NotStored(const char* what)
{
    CString problem = platform::RegistryStoreProblem();
    std::fprintf(stderr, "veilcase-info: the %s was not stored: %s\n", what,
                 problem.IsEmpty() ? "the registry refused it (see the log)" : problem.ToUtf8().c_str());
    return 1;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: veilcase-info [--set-gpg PATH] [--set-homedir DIR]\n"
                 "  without options: print the resolved settings\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if ((!std::strcmp(argv[i], "--set-gpg") || !std::strcmp(argv[i], "--set-homedir")) && i + 1 < argc) {
            CString value = CString::FromUtf8(argv[i + 1]);
            if (!std::strcmp(argv[i], "--set-gpg")) {
                if (!CDirectory::FileExist(value, CString())) {
                    std::fprintf(stderr, "veilcase-info: no such program: %s\n", argv[i + 1]);
                    return 1;
                }
                CConfiguration::SetGnuPGPath(value);
                if (CConfiguration::GetGnuPGPathSetting() != value)
                    return NotStored("GnuPG program");
            } else {
                if (!value.IsEmpty() && !CDirectory::Exist(value)) {
                    std::fprintf(stderr, "veilcase-info: no such folder: %s\n", argv[i + 1]);
                    return 1;
                }
                CConfiguration::SetGnuPGHomeDir(value);
                if (CConfiguration::GetGnuPGHomeDir() != value)
                    return NotStored("GnuPG home directory");
            }
            ++i;
        } else {
            return Usage();
        }
    }

    CString version = CGuiUtils::GetProductVersion();
    WriteLog(eLogDebug, u"veilcase-info started, version %s", version.GetString());

    PrintLine("Product version:", version.IsEmpty() ? CString(u"(resource module not found)") : version);
    PrintLine("Working directory:", CConfiguration::GetWorkingDir(0));
    PrintLine("Log file:", TodaysLogFile());
    CString store = platform::RegistryStorePath();
    CString problem = platform::RegistryStoreProblem();
    if (!problem.IsEmpty())
        store += u" (unusable: " + problem + u")";
    PrintLine("Registry store:", store);

    try {
        PrintLine("GnuPG program:", CConfiguration::GetGnuPGPath());
    } catch (COrvException* error) {
        CString reason = error->GetMessageText();
        reason += u" (configure it with: veilcase-info --set-gpg /usr/bin/gpg)";
        PrintLine("GnuPG program:", reason);
        error->Delete();
    }
    CString home = CConfiguration::GetGnuPGHomeDir();
    PrintLine("GnuPG home:", home.IsEmpty() ? CString(u"(GnuPG's default)") : home);

    WriteLog(eLogDebug, u"veilcase-info finished");
    return 0;
}
