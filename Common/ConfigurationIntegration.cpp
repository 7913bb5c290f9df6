// CConfiguration: the registrations that tie the system into the desktop
// (the dialog replacement and the file association), and the first-run
// choice of the GnuPG program.
#include "Configuration.h"

#include "Directory.h"
#include "Log.h"
#include "OrvException.h"
#include "UuidUtils.h"
#include "platform/FileAssociation.h"
#include "platform/FileSystem.h"
#include "platform/Module.h"
#include "platform/KeyCloser.h"
#include "platform/Registry.h"
#include "platform/shell/FileDialogApi.h"

namespace {

const char16_t* const kNotFound = u"<not found>";
const char16_t* const kProgramId = u"veilcase";
const char16_t* const kGpgKey = u"Software\\Classes\\.gpg\\";
const char16_t* const kPgpKey = u"Software\\Classes\\.pgp\\";
const char16_t* const kProgramKey = u"Software\\Classes\\veilcase";
const char16_t* const kCommandKey = u"Software\\Classes\\veilcase\\shell\\open\\command";

using platform::CKeyCloser;

REGSAM ViewFlag(bool b64BitView, REGSAM otherwise)
{
    return b64BitView ? KEY_WOW64_64KEY : otherwise;
}

CString ClassKey(bool bOpenDialog)
{
    return u"Software\\Classes\\CLSID\\" + CUuidUtils::ToString(bOpenDialog ? CLSID_FileOpenDialog : CLSID_FileSaveDialog);
}

void SetDefaultString(const CString& keyPath, REGSAM access, const CString& value)
{
    HKEY key = nullptr;
    if (platform::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                  &key, nullptr) != ERROR_SUCCESS)
        return;
    CKeyCloser closer(key);
    platform::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.GetString()),
                             static_cast<DWORD>((value.GetLength() + 1) * sizeof(char16_t)));
}

// The default value of an extension key: whether the key opened, and its text.
bool ReadExtension(const char16_t* keyPath, CString& value)
{
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    CKeyCloser closer(key);
    char16_t buffer[257] = {};
    LONG size = sizeof buffer;
    if (platform::RegQueryValueW(key, nullptr, buffer, &size) == ERROR_SUCCESS)
        value = CString(buffer);
    else
        value.Empty();
    return true;
}

bool SetExtension(const char16_t* keyPath)
{
    HKEY key = nullptr;
    if (platform::RegCreateKeyW(HKEY_CURRENT_USER, keyPath, &key) != ERROR_SUCCESS)
        return false;
    CKeyCloser closer(key);
    return platform::RegSetValueW(key, nullptr, REG_SZ, kProgramId, 0) == ERROR_SUCCESS;
}

} // namespace

void CConfiguration::RegisterDLL(bool b64BitView, const CString& modulePath)
{
    REGSAM access = KEY_READ | KEY_WRITE | ViewFlag(b64BitView, KEY_WOW64_32KEY);
    SetDefaultString(ClassKey(true) + u"\\InProcServer32", access, modulePath);
    SetDefaultString(ClassKey(false) + u"\\InProcServer32", access, modulePath);
}

bool CConfiguration::UnregisterDLL(bool b64BitView, bool bOpenDialog)
{
    REGSAM view = ViewFlag(b64BitView, 0);
    CString path = ClassKey(bOpenDialog);
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ | KEY_WRITE | view, &key) != ERROR_SUCCESS)
        return false;
    // Every sub-key first, then the key itself.
    for (;;) {
        char16_t name[256] = {};
        DWORD length = 256;
        if (platform::RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (platform::RegDeleteTreeW(key, name) != ERROR_SUCCESS)
            break;
    }
    platform::RegCloseKey(key);
    return platform::RegDeleteKeyExW(HKEY_CURRENT_USER, path, view, 0) == ERROR_SUCCESS;
}

CString CConfiguration::GetRegisteredApp(bool b64BitView, bool bOpenDialog)
{
    CString path = ClassKey(bOpenDialog) + u"\\InProcServer32";
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ | ViewFlag(b64BitView, 0), &key) !=
        ERROR_SUCCESS)
        return kNotFound;
    CKeyCloser closer(key);
    char16_t buffer[256] = {};
    LONG size = sizeof buffer;
    if (platform::RegQueryValueW(key, nullptr, buffer, &size) != ERROR_SUCCESS)
        return kNotFound;
    return CString(buffer);
}

CString CConfiguration::GetOwnLibraryName()
{
    return u"veilshim64.dll";
}

void CConfiguration::RegisterDialogReplacement()
{
    RegisterDLL(true, CDirectory::Concat(CDirectory::GetExePath(), GetOwnLibraryName()));
}

void CConfiguration::UnregisterDialogReplacement()
{
    UnregisterDLL(false, true);
    UnregisterDLL(false, false);
}

CConfiguration::eRegisterStatus CConfiguration::GetDialogReplacementStatus(bool& decided)
{
    decided = true;
    CString o32 = GetRegisteredApp(false, true);
    CString o64 = GetRegisteredApp(true, true);
    CString s32 = GetRegisteredApp(false, false);
    CString s64 = GetRegisteredApp(true, false);
    if (o32 == kNotFound && o64 == kNotFound && s32 == kNotFound && s64 == kNotFound)
        return eNotRegistered;
    // One bitness here: the own view is the 64-bit view and names the own
    // library, and that is the whole registration.
    if (o32 == s32 && o64 == s64 && s32.Find(GetOwnLibraryName()) >= 0)
        return eRegistered;
    return eForeignRegistered;
}

void CConfiguration::RegisterFileExtensions(int bForce)
{
    if (!bForce && GetFileExtensionRegistrationStatus() == eForeignRegistered) {
        WriteLog(eLogWarning, u"*.gpg and *.pgp belong to another program; the association is left alone");
        return;
    }
    bool gpg = SetExtension(kGpgKey);
    bool pgp = SetExtension(kPgpKey);
    if (!gpg && !pgp)
        return;
    CString program = platform::ExecutablePath();
    SetDefaultString(kCommandKey, KEY_READ | KEY_WRITE, program + u" \"%1\"");
    if (!platform::RegisterFileAssociation(program))
        WriteLog(eLogError, u"The desktop association of *.gpg and *.pgp with <%s> is incomplete",
                 program.GetString());
}

void CConfiguration::UnRegisterFileExtensions()
{
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, kProgramKey);
    platform::RegDeleteKeyW(HKEY_CURRENT_USER, kProgramKey);
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\.gpg");
    platform::RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\.gpg");
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\.pgp");
    platform::RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Classes\\.pgp");
    platform::UnregisterFileAssociation();
}

CConfiguration::eRegisterStatus CConfiguration::GetFileExtensionRegistrationStatus()
{
    // Another program chosen on the desktop is foreign whatever the
    // registry says.
    if (platform::QueryFileAssociation() == platform::EFileAssociation::eForeign)
        return eForeignRegistered;
    CString value;
    bool gpgOpened = ReadExtension(kGpgKey, value);
    if (gpgOpened && value != kProgramId)
        return eForeignRegistered;
    if (!ReadExtension(kPgpKey, value))
        return eNotRegistered;
    if (value != kProgramId)
        return eForeignRegistered;
    return gpgOpened ? eRegistered : eNotRegistered;
}

bool CConfiguration::ConfigureGnuPGFromPath(CString& path)
{
    path = GetGnuPGPathSetting();
    if (!path.IsEmpty())
        return false; // the user's setting stays, even one that names no file
    path = platform::FindProgramOnSearchPath(u"gpg");
    if (path.IsEmpty())
        return false;
    SetGnuPGPath(path);
    WriteLog(eLogDebug, u"GnuPG program configured from PATH: %s", path.GetString());
    return true;
}
