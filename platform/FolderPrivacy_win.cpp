// Privacy of a folder on Windows: its owner and its access list. A folder is
// the user's when the user (or, for an elevated process, the Administrators
// group that owns what it creates) owns it; it is open to others when its
// access list grants anything to anybody but the owner, the user, the
// system and the administrators.
#include "platform/FolderPrivacy.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/Win32_win.h"

namespace platform {

namespace {

// The SID of the user the process runs as.
std::vector<BYTE> CurrentUserSid()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    win::CHandle owner(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    std::vector<BYTE> copy(::GetLengthSid(sid));
    ::CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid);
    return copy;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    return ::IsWellKnownSid(sid, type) != 0;
}

// Whether an entry for `sid` leaves the folder to its owner.
bool IsOwnSide(PSID sid, PSID owner, PSID user)
{
    return (owner && ::EqualSid(sid, owner)) || (user && ::EqualSid(sid, user)) ||
           IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid) ||
           IsWellKnown(sid, WinCreatorOwnerSid);
}

struct SLocalFree {
    void operator()(void* p) const { ::LocalFree(p); }
};

EFolderPrivacy Judge(const CString& path)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(win::W(path), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return EFolderPrivacy::eForeignOwner; // what we may not even read is not ours
    std::unique_ptr<void, SLocalFree> release(descriptor);
    std::vector<BYTE> user = CurrentUserSid();
    PSID userSid = user.empty() ? nullptr : user.data();
    bool mine = owner && ((userSid && ::EqualSid(owner, userSid)) || IsWellKnown(owner, WinBuiltinAdministratorsSid));
    if (!mine)
        return EFolderPrivacy::eForeignOwner;
    if (!dacl)
        return EFolderPrivacy::eOpenToOthers; // no list at all grants everything to everybody
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry))
            continue;
        auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
        if (!IsOwnSide(sid, owner, userSid))
            return EFolderPrivacy::eOpenToOthers;
    }
    return EFolderPrivacy::ePrivate;
}

DWORD Attributes(const CString& path)
{
    return ::GetFileAttributesW(win::W(path));
}

CString WithoutTrailingSeparator(const CString& path)
{
    CString p = win::NativePath(path);
    while (p.GetLength() > 3 && p[p.GetLength() - 1] == u'\\')
        p = p.Left(p.GetLength() - 1);
    return p;
}

} // namespace

EFolderPrivacy CheckFolderPrivacy(const CString& path, bool followLink)
{
    CString native = WithoutTrailingSeparator(path);
    DWORD attributes = native.IsEmpty() ? INVALID_FILE_ATTRIBUTES : Attributes(native);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return EFolderPrivacy::eMissing;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (!followLink && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        return EFolderPrivacy::eNotAFolder;
    return Judge(native);
}

bool RestrictFolderToOwner(const CString& path)
{
    CString native = WithoutTrailingSeparator(path);
    EFolderPrivacy verdict = CheckFolderPrivacy(native, true);
    if (verdict == EFolderPrivacy::ePrivate)
        return true;
    if (verdict != EFolderPrivacy::eOpenToOthers)
        return false;
    // A protected list: full control for the user, the system and the
    // administrators, inherited by everything below; nothing else.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                                SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    std::unique_ptr<void, SLocalFree> release(descriptor);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present)
        return false;
    std::vector<wchar_t> name(win::W(native), win::W(native) + native.GetLength() + 1);
    return ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   dacl, nullptr) == ERROR_SUCCESS;
}

EFolderPrivacy EnsurePrivateFolder(const CString& path, bool tighten, DWORD* error)
{
    CString native = WithoutTrailingSeparator(path);
    if (native.IsEmpty()) {
        if (error)
            *error = ERROR_PATH_NOT_FOUND;
        return EFolderPrivacy::eMissing;
    }
    // A new folder inherits the access list of its parent, which for the
    // user's temporary and application-data folders is the user's alone.
    if (!::CreateDirectoryW(win::W(native), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        if (error)
            *error = ::GetLastError();
        return CheckFolderPrivacy(native, false);
    }
    EFolderPrivacy verdict = CheckFolderPrivacy(native, false);
    if (verdict == EFolderPrivacy::eOpenToOthers && tighten && RestrictFolderToOwner(native))
        return EFolderPrivacy::ePrivate;
    return verdict;
}

} // namespace platform
