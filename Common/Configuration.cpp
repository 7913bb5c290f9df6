#include "Configuration.h"

#include "Directory.h"
#include "platform/FileSystem.h"
#include "platform/FolderPrivacy.h"
#include "Log.h"
#include "OrvException.h"
#include "platform/KeyCloser.h"
#include "platform/Registry.h"
#include "platform/SystemError.h"
#include "platform/Uuid.h"

namespace {

// The GnuPG settings name the key with a trailing separator, the working
// directory without; both spellings name the same key.
const char16_t* const kConfigurationKey = u"Software\\Orvelin\\veilcase\\Configuration\\";
const char16_t* const kWorkingDirKey = u"Software\\Orvelin\\veilcase\\Configuration";
const char16_t* const kGnuPGPathValue = u"OpenPGP_PathToExecutable";
const char16_t* const kGnuPGHomeValue = u"OpenPGP_HomeDirectory";
const char16_t* const kWorkingDirValue = u"GPGWorkingDir";
const char* const kSource = "Common\\Configuration";

// Room for a path of 259 characters and its terminator.
constexpr DWORD ciPathBytes = 520;

using platform::CKeyCloser;

// A raw value read into `buffer` as text: up to the first zero character,
// whole UTF-16 units only.
CString TextOf(const char16_t* buffer, DWORD bytes)
{
    int units = static_cast<int>(bytes / sizeof(char16_t));
    int length = 0;
    while (length < units && buffer[length])
        ++length;
    return CString(buffer, length);
}

// Reads a value of any type into a path-sized buffer; empty when it is
// absent or does not fit.
bool ReadPathValue(HKEY key, const char16_t* name, CString& text)
{
    char16_t buffer[ciPathBytes / sizeof(char16_t)] = {};
    DWORD size = ciPathBytes;
    if (platform::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    text = TextOf(buffer, size);
    return true;
}

// Logs a registry call that failed, with the store's own reason when the
// registry could not be used at all.
void LogRegistryFailure(const char16_t* what, const char16_t* keyPath, LSTATUS status)
{
    CString reason = platform::SystemErrorText(static_cast<DWORD>(status));
    if (reason.IsEmpty())
        reason.Format(u"error %ld", static_cast<long>(status));
    if (status == ERROR_REGISTRY_IO_FAILED) {
        CString problem = platform::RegistryStoreProblem();
        if (!problem.IsEmpty())
            reason += u" (" + problem + u")";
    }
    WriteLog(eLogError, u"%s HKEY_CURRENT_USER\\%s failed: %s", what, keyPath, reason.GetString());
}

void WriteStringValue(const char16_t* keyPath, const char16_t* name, DWORD type, const CString& text, bool flush)
{
    HKEY key = nullptr;
    LSTATUS status = platform::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        LogRegistryFailure(u"Creating", keyPath, status);
        return;
    }
    CKeyCloser closer(key);
    status = platform::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.GetString()),
                                      static_cast<DWORD>((text.GetLength() + 1) * sizeof(char16_t)));
    if (status == ERROR_SUCCESS && flush)
        status = platform::RegFlushKey(key);
    if (status != ERROR_SUCCESS)
        LogRegistryFailure(u"Writing a value of", keyPath, status);
}

// The stored working directory; empty when unset or not a proper string.
CString StoredWorkingDir()
{
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, kWorkingDirKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return CString();
    CKeyCloser closer(key);
    char16_t buffer[MAX_PATH] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (platform::RegQueryValueExW(key, kWorkingDirValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return CString();
    // Only a terminated string counts.
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(char16_t) || size % sizeof(char16_t) != 0 ||
        buffer[size / sizeof(char16_t) - 1] != 0)
        return CString();
    return TextOf(buffer, size);
}

// Creates one level of a working directory (mode 0700), logging failure.
void CreateWorkingFolder(const CString& path)
{
    if (!platform::MakeDirectory(path, true))
        WriteLog(eLogError, u"Cannot create WorkingDir %s. ErrorCode %u", path.GetString(), platform::LastFileError());
}

// Whether an existing working directory may hold decrypted files: it must be
// the user's own and closed to others. The default folder (inside the
// user's private temporary folder) is closed up when it is the user's.
bool IsUsableWorkingDir(const CString& path, bool isDefault)
{
    switch (platform::CheckFolderPrivacy(path)) {
    case platform::EFolderPrivacy::eMissing:
    case platform::EFolderPrivacy::ePrivate:
        return true;
    case platform::EFolderPrivacy::eOpenToOthers:
        if (isDefault && platform::RestrictFolderToOwner(path)) {
            WriteLog(eLogWarning, u"WorkingDir %s was open to other users and has been made private", path.GetString());
            return true;
        }
        WriteLog(eLogError, u"WorkingDir %s is open to other users and is not used for decrypted files",
                 path.GetString());
        return false;
    case platform::EFolderPrivacy::eForeignOwner:
        WriteLog(eLogError, u"WorkingDir %s belongs to another user and is not used for decrypted files",
                 path.GetString());
        return false;
    case platform::EFolderPrivacy::eNotAFolder:
        WriteLog(eLogError, u"WorkingDir %s is not a directory", path.GetString());
        return false;
    }
    return false;
}

} // namespace

CString CConfiguration::GetGnuPGPath()
{
    HKEY key = nullptr;
    if (LSTATUS status = platform::RegOpenKeyW(HKEY_CURRENT_USER, kConfigurationKey, &key); status != ERROR_SUCCESS) {
        if (status != ERROR_FILE_NOT_FOUND)
            LogRegistryFailure(u"Opening", kConfigurationKey, status);
        throw new COrvException(2002, kSource, __LINE__, eDisplayDetails);
    }
    CString path;
    {
        CKeyCloser closer(key);
        ReadPathValue(key, kGnuPGPathValue, path);
    }
    if (path.IsEmpty() || !CDirectory::FileExist(path, CString()))
        throw new COrvException(2004, kSource, __LINE__, eDisplayDetails);
    return path;
}

CString CConfiguration::GetGnuPGPathSetting()
{
    HKEY key = nullptr;
    if (platform::RegOpenKeyW(HKEY_CURRENT_USER, kConfigurationKey, &key) != ERROR_SUCCESS)
        return CString();
    CKeyCloser closer(key);
    CString path;
    ReadPathValue(key, kGnuPGPathValue, path);
    return path;
}

void CConfiguration::SetGnuPGPath(const CString& path)
{
    WriteStringValue(kConfigurationKey, kGnuPGPathValue, REG_EXPAND_SZ, path, true);
}

CString CConfiguration::GetGnuPGHomeDir()
{
    HKEY key = nullptr;
    if (platform::RegOpenKeyW(HKEY_CURRENT_USER, kConfigurationKey, &key) != ERROR_SUCCESS)
        return CString();
    CKeyCloser closer(key);
    CString directory;
    ReadPathValue(key, kGnuPGHomeValue, directory);
    return directory;
}

void CConfiguration::SetGnuPGHomeDir(const CString& directory)
{
    WriteStringValue(kConfigurationKey, kGnuPGHomeValue, REG_EXPAND_SZ, directory, true);
}

void CConfiguration::SetWorkingDir(const CString& directory)
{
    WriteStringValue(kWorkingDirKey, kWorkingDirValue, REG_SZ, directory, false);
}

CString CConfiguration::GetWorkingDir(int bUnique)
{
    CString temp = CDirectory::GetTempPathW();
    CString fallback = temp.IsEmpty() ? CString() : CDirectory::Concat(temp, u"veilcase");
    CString directory = fallback;
    // The stored setting is used exactly as written (no %VARIABLE% expansion).
    CString stored = StoredWorkingDir();
    if (!stored.IsEmpty()) {
        if (IsUsableWorkingDir(stored, false))
            directory = stored;
        else if (!fallback.IsEmpty())
            WriteLog(eLogError, u"Using the default WorkingDir %s instead", fallback.GetString());
    }
    if (directory == fallback && (fallback.IsEmpty() || !IsUsableWorkingDir(fallback, true))) {
        WriteLog(eLogError, u"No private WorkingDir is available");
        return CString();
    }

    if (platform::CheckFolderPrivacy(directory) == platform::EFolderPrivacy::eMissing) {
        CreateWorkingFolder(directory);
        // Somebody else may have made the folder between the check and the
        // creation; it must pass the same test as one found in place.
        if (!IsUsableWorkingDir(directory, directory == fallback)) {
            WriteLog(eLogError, u"No private WorkingDir is available");
            return CString();
        }
    }
    if (!bUnique)
        return directory;

    platform::SUuid uuid{};
    if (!platform::CreateUuid(uuid)) {
        // Without a name of its own the copy would land in the working
        // directory itself, whose removal by the task would take every other
        // working copy with it: report no directory instead.
        WriteLog(eLogError, u"Cannot create a unique folder name in WorkingDir %s", directory.GetString());
        return CString();
    }
    CString unique = CDirectory::Concat(directory, platform::UuidToString(uuid));
    CreateWorkingFolder(unique);
    return unique;
}
