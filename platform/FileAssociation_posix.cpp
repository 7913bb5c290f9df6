// The freedesktop files of the association: $XDG_DATA_HOME/applications/
// veilcase.desktop, $XDG_DATA_HOME/mime/packages/veilcase.xml (compiled by
// update-mime-database) and the "Default Applications" and "Added
// Associations" of $XDG_CONFIG_HOME/mimeapps.list.
#include "platform/FileAssociation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"
#include "platform/PrivateProfile.h"
#include "platform/PrivateProfile_posix.h"
#include "platform/Process.h"

namespace platform {

namespace {

const char16_t* const kDefaults = u"Default Applications";
const char16_t* const kAdded = u"Added Associations";
// Kept in our desktop entry: the default application ours replaced.
const char16_t* const kReplacedKey = u"X-Veilcase-Replaced-Default";

std::string HomeFolder(const char* variable, const char* fallback)
{
    const char* value = getenv(variable);
    if (value && value[0] == '/')
        return value;
    const char* home = getenv("HOME");
    if (!home || !*home)
        return std::string();
    return std::string(home) + "/" + fallback;
}

std::string DataHome()
{
    return HomeFolder("XDG_DATA_HOME", ".local/share");
}

std::string ConfigHome()
{
    return HomeFolder("XDG_CONFIG_HOME", ".config");
}

CString MimeAppsList()
{
    std::string config = ConfigHome();
    return config.empty() ? CString() : CString::FromUtf8(config + "/mimeapps.list");
}

CString MimePackage()
{
    std::string data = DataHome();
    return data.empty() ? CString() : CString::FromUtf8(data + "/mime/packages/veilcase.xml");
}

void MakeFolders(const std::string& path)
{
    for (size_t pos = 1; pos != std::string::npos; pos = path.find('/', pos + 1))
        mkdir(path.substr(0, pos).c_str(), 0700);
    mkdir(path.c_str(), 0700);
}

bool WriteWholeFile(const CString& path, const std::string& content)
{
    return RewriteProfileFile(path, [&](std::string& bytes, bool) {
        bytes = content;
        return true;
    });
}

// A command-line argument of a desktop entry's Exec key: in double quotes,
// with '"', '`', '$' and '\' escaped, and '%' doubled.
std::string ExecArgument(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += '"';
    // The Exec value is itself a string value: its backslashes are escaped once more.
    std::string value;
    for (char c : quoted) {
        if (c == '\\')
            value += '\\';
        value += c;
    }
    return value;
}

// The first entry of a "a.desktop;b.desktop;" list.
CString FirstEntry(const CString& list)
{
    int end = list.Find(u';');
    CString first = end < 0 ? list : list.Left(end);
    first.Trim();
    return first;
}

// The list without `entry`.
CString WithoutEntry(const CString& list, const CString& entry)
{
    CString result;
    CString rest = list;
    while (!rest.IsEmpty()) {
        int end = rest.Find(u';');
        CString item = end < 0 ? rest : rest.Left(end);
        rest = end < 0 ? CString() : rest.Mid(end + 1);
        item.Trim();
        if (!item.IsEmpty() && item != entry)
            result += item + u";";
    }
    return result;
}

CString ReadListValue(const char16_t* section)
{
    CString value;
    CString path = MimeAppsList();
    if (!path.IsEmpty())
        GetPrivateProfileStringW(section, cszEncryptedFileType, u"", value, path);
    return value;
}

bool WriteListValue(const char16_t* section, const CString& value)
{
    return WritePrivateProfileStringW(section, cszEncryptedFileType, value.IsEmpty() ? nullptr : value.GetString(),
                                      MimeAppsList()) != FALSE;
}

// Compiles the user's MIME definitions so that the desktop sees the change.
bool UpdateMimeDatabase()
{
    std::string data = DataHome();
    if (data.empty())
        return false;
    CProcessHandle process;
    DWORD error = 0;
    CString commandLine = u"update-mime-database \"" + CString::FromUtf8(data + "/mime") + u"\"";
    if (!StartProcess(commandLine, EProcessOutput::eInherit, process, nullptr, error))
        return false;
    process.Wait(INFINITE);
    DWORD code = 1;
    return process.GetExitCode(code) && code == 0;
}

} // namespace

CString DesktopEntryPath()
{
    std::string data = DataHome();
    return data.empty() ? CString() : CString::FromUtf8(data + "/applications/") + cszDesktopEntryName;
}

bool RegisterFileAssociation(const CString& programPath)
{
    CString entryPath = DesktopEntryPath();
    CString listPath = MimeAppsList();
    if (entryPath.IsEmpty() || listPath.IsEmpty())
        return false;
    std::string data = DataHome();
    MakeFolders(data + "/applications");
    MakeFolders(data + "/mime/packages");
    MakeFolders(ConfigHome());

    // A default that is not ours is remembered, so that unregistering gives
    // it back; registering again keeps the first remembered one.
    CString replaced;
    CString current = FirstEntry(ReadListValue(kDefaults));
    if (!current.IsEmpty() && current != cszDesktopEntryName)
        replaced = current;
    else
        GetPrivateProfileStringW(u"Desktop Entry", kReplacedKey, u"", replaced, entryPath);

    std::string entry = "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=veilcase\n"
                        "GenericName=Encrypted file\n"
                        "Comment=Open an OpenPGP-encrypted file for editing and encrypt it again afterwards\n"
                        "Exec=" +
                        ExecArgument(programPath.ToUtf8()) +
                        " %f\n"
                        "Icon=dialog-password\n"
                        "Terminal=false\n"
                        "MimeType=application/pgp-encrypted;\n"
                        "Categories=Utility;Security;\n";
    if (!replaced.IsEmpty())
        entry += CString(kReplacedKey).ToUtf8() + "=" + replaced.ToUtf8() + "\n";
    bool ok = WriteWholeFile(entryPath, entry);

    // Both patterns outweigh the other types that share them (keys and
    // signatures), so content sniffing decides only for what really is one.
    ok = WriteWholeFile(MimePackage(),
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                        "  <mime-type type=\"application/pgp-encrypted\">\n"
                        "    <glob pattern=\"*.gpg\" weight=\"100\"/>\n"
                        "    <glob pattern=\"*.pgp\" weight=\"100\"/>\n"
                        "  </mime-type>\n"
                        "</mime-info>\n") &&
         ok;
    ok = UpdateMimeDatabase() && ok;

    ok = WriteListValue(kDefaults, CString(cszDesktopEntryName) + u";") && ok;
    CString added = WithoutEntry(ReadListValue(kAdded), cszDesktopEntryName);
    ok = WriteListValue(kAdded, CString(cszDesktopEntryName) + u";" + added) && ok;
    return ok;
}

void UnregisterFileAssociation()
{
    CString entryPath = DesktopEntryPath();
    if (entryPath.IsEmpty())
        return;
    CString replaced;
    GetPrivateProfileStringW(u"Desktop Entry", kReplacedKey, u"", replaced, entryPath);

    if (!MimeAppsList().IsEmpty()) {
        // Only our own default goes (and the one it replaced comes back).
        if (FirstEntry(ReadListValue(kDefaults)) == cszDesktopEntryName)
            WriteListValue(kDefaults, replaced.IsEmpty() ? CString() : replaced + u";");
        WriteListValue(kAdded, WithoutEntry(ReadListValue(kAdded), cszDesktopEntryName));
    }
    unlink(entryPath.ToUtf8().c_str());
    CString package = MimePackage();
    if (!package.IsEmpty() && unlink(package.ToUtf8().c_str()) == 0)
        UpdateMimeDatabase();
}

EFileAssociation QueryFileAssociation()
{
    CString current = FirstEntry(ReadListValue(kDefaults));
    if (current.IsEmpty())
        return EFileAssociation::eNone;
    if (current == cszDesktopEntryName && GetAttributes(DesktopEntryPath()) != INVALID_FILE_ATTRIBUTES)
        return EFileAssociation::eOurs;
    return EFileAssociation::eForeign;
}

} // namespace platform
