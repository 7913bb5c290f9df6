// On Windows the class entries under HKEY_CURRENT_USER\Software\Classes are
// the association, and the caller writes those itself; what is left here is
// the user's own choice made in Explorer ("Open with", "Always use this
// app"), which takes precedence over the class entries.
#include "platform/FileAssociation.h"

#include "platform/Win32_win.h"

namespace platform {

namespace {

// The program id Explorer was told to use for `extension`; empty when the
// user made no choice.
CString UserChoice(const wchar_t* extension)
{
    std::wstring path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
    path += extension;
    path += L"\\UserChoice";
    wchar_t buffer[256] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, path.c_str(), L"ProgId", RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return CString();
    return win::FromW(buffer);
}

} // namespace

bool RegisterFileAssociation(const CString&)
{
    return true; // the class entries are the whole association
}

void UnregisterFileAssociation()
{
}

EFileAssociation QueryFileAssociation()
{
    // A choice of the user's for one of the two types that names another
    // program id than the class entries' wins over them.
    for (const wchar_t* extension : {L".gpg", L".pgp"}) {
        CString choice = UserChoice(extension);
        if (choice.IsEmpty())
            continue;
        wchar_t registered[256] = {};
        DWORD size = sizeof registered - sizeof(wchar_t);
        std::wstring classKey = L"Software\\Classes\\";
        classKey += extension;
        if (::RegGetValueW(HKEY_CURRENT_USER, classKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, registered, &size) !=
                ERROR_SUCCESS ||
            choice.CompareNoCase(win::FromW(registered)) != 0)
            return EFileAssociation::eForeign;
        return EFileAssociation::eOurs;
    }
    return EFileAssociation::eNone;
}

CString DesktopEntryPath()
{
    return CString(); // Windows has no desktop entries
}

} // namespace platform
