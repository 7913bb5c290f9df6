#include "Log.h"

#include <cstdarg>
#include <exception>
#include <mutex>
#include <string>

#include "platform/Console.h"
#include "Directory.h"
#include "platform/Exception.h"
#include "platform/FolderPrivacy.h"
#include "GuiUtils.h"
#include "platform/LogFile.h"
#include "platform/Time.h"

namespace {

constexpr int kMaxMessageUnits = 1023;
constexpr int kAppDataFolder = 26; // the user's application-data folder

// The process's one log file. Constant-initialised, so logging works even
// from other objects' constructors; closed when the library unloads.
platform::CAppendFile g_logFile;
// Serialises opening and writing, so that two threads never write two
// headers or split each other's lines.
std::mutex g_logLock;

const char16_t* LevelPrefix(int level)
{
    switch (level) {
    case eLogDebug:
        return u"DEBUG: ";
    case eLogWarning:
        return u"WARNG: ";
    case eLogError:
        return u"ERROR: ";
    case eLogChild:
        return u"CHILD: ";
    default:
        return u"";
    }
}

int LevelColour(int level)
{
    switch (level) {
    case eLogWarning:
        return platform::eConsoleYellow;
    case eLogError:
        return platform::eConsoleRed;
    default:
        return platform::eConsoleGrey;
    }
}

// Cuts a message to 1023 units without leaving half of a surrogate pair.
CString CutMessage(std::u16string text)
{
    if (text.size() > static_cast<size_t>(kMaxMessageUnits)) {
        text.resize(kMaxMessageUnits);
        if (text.back() >= 0xD800 && text.back() <= 0xDBFF)
            text.pop_back();
    }
    return CString(std::move(text));
}

platform::SLocalTime Now()
{
    platform::SLocalTime now{};
    if (!platform::ToLocalTime(platform::Time64(), now))
        now = platform::SLocalTime{};
    return now;
}

// The folder that holds the log folder; empty when the application-data
// folder is unknown (never a folder relative to wherever we run).
CString ProductFolder()
{
    CString appData = CDirectory::GetSpecialDirectory(kAppDataFolder);
    if (appData.IsEmpty())
        return CString();
    return CDirectory::Concat(CDirectory::Concat(appData, u"Orvelin"), u"veilcase");
}

// Opens the day's log file and returns the header to write in front of the
// first line; false when the folder or the file cannot be made (the next
// call tries again).
bool OpenLogFile(const platform::SLocalTime& now, CString& header)
{
    try {
        const CString product = ProductFolder();
        if (product.IsEmpty())
            return false;
        CDirectory::Make(product);
        const CString folder = CDirectory::Concat(product, u"LogFiles");
        // The folder must be the user's own, reached without a link: through
        // a linked or foreign folder the lines (command lines and paths)
        // would land where somebody else decides or can read. Then only
        // the console gets them.
        const platform::EFolderPrivacy verdict = platform::EnsurePrivateFolder(folder, true);
        if (verdict != platform::EFolderPrivacy::ePrivate && verdict != platform::EFolderPrivacy::eOpenToOthers)
            return false;
        CString name;
        name.Format(u"Log%04d%02d%02d.txt", now.year, now.month, now.day);
        if (!g_logFile.Open(CDirectory::Concat(folder, name)))
            return false;
        const CString dashes(u'-', 41);
        header.Format(u"%s\r\nStarting veilcase v%s Log\r\n%02d.%02d.%04d\r\n%s\r\n", dashes.GetString(),
                      CGuiUtils::GetProductVersion().GetString(), now.day, now.month, now.year,
                      dashes.GetString());
        return true;
    } catch (CException* e) {
        // A log folder that cannot be created must not fail whoever logs.
        e->Delete();
    } catch (const std::exception&) {
    }
    g_logFile.Close();
    return false;
}

void Emit(int level, const CString& message)
{
    const platform::SLocalTime now = Now();
    CString stamp;
    stamp.Format(u"%02u:%02u:%02u ", static_cast<unsigned>(now.hour), static_cast<unsigned>(now.minute),
                 static_cast<unsigned>(now.second));

    // The console line carries the level prefix and doubles every percent
    // sign; it ends in a line feed, which the console turns into the
    // system's line end.
    CString consoleLine = LevelPrefix(level) + stamp + message + u"\n";
    consoleLine.Replace(u"%", u"%%");
    consoleLine.Replace(u"\r\n", u"\n");
    CString fileLine = stamp + u"\t" + message + u"\r\n";

    std::lock_guard<std::mutex> lock(g_logLock);
    platform::WriteConsole(consoleLine, LevelColour(level));

    CString text = fileLine;
    if (!g_logFile.IsOpen()) {
        CString header;
        if (OpenLogFile(now, header))
            text = header + fileLine; // one write: the header and its first line stay together
    }
    if (g_logFile.IsOpen() && !g_logFile.Write(text.ToUtf8()))
        g_logFile.Close(); // reopened (with a fresh header) by the next call

    platform::OutputDebugString(consoleLine);
}

} // namespace

void WriteLog(int level, const char16_t* format, ...)
{
    try {
        va_list args;
        va_start(args, format);
        std::u16string text;
        try {
            text = FormatWide(format ? format : u"", args);
        } catch (...) {
            va_end(args);
            throw;
        }
        va_end(args);
        Emit(level, CutMessage(std::move(text)));
    } catch (CException* e) {
        e->Delete();
    } catch (const std::exception&) {
        // Logging never fails its caller.
    }
}

void WriteLogText(int level, const char16_t* message)
{
    try {
        Emit(level, CutMessage(message ? std::u16string(message) : std::u16string()));
    } catch (CException* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
}

void CloseLogFile()
{
    std::lock_guard<std::mutex> lock(g_logLock);
    g_logFile.Close();
}
