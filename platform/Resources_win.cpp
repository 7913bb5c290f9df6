// Resources of a Windows module, found with FindResourceEx in its resource
// section (the resource module is made by the resource compiler from the
// same script).
#include "platform/Resources_p.h"

#include "platform/Win32_win.h"

namespace platform {

namespace {

HMODULE AsModule(ResourceSource source)
{
    return static_cast<HMODULE>(const_cast<void*>(source));
}

BOOL CALLBACK TakeFirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    *reinterpret_cast<int*>(found) = language;
    return FALSE; // the first is enough
}

// The first language the module has the resource in; -1 when none.
int AnyLanguage(HMODULE module, WORD type, UINT id)
{
    int found = -1;
    ::EnumResourceLanguagesW(module, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), TakeFirstLanguage,
                             reinterpret_cast<LONG_PTR>(&found));
    return found;
}

// Notes (and stops at) a type that makes a module a source of resources.
BOOL CALLBACK NoteTableType(HMODULE, LPWSTR type, LONG_PTR found)
{
    if (!IS_INTRESOURCE(type))
        return TRUE;
    auto t = static_cast<ResourceType>(reinterpret_cast<ULONG_PTR>(type));
    if (t == ResourceType::String || t == ResourceType::Dialog || t == ResourceType::Version ||
        t == ResourceType::GroupIcon) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

bool Take(HMODULE module, WORD type, UINT id, WORD language, ResourceBytes& out)
{
    HRSRC info = ::FindResourceExW(module, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), language);
    if (!info)
        return false;
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data)
        return false;
    out.data = static_cast<const BYTE*>(data);
    out.size = ::SizeofResource(module, info);
    out.language = language;
    return true;
}

} // namespace

ResourceSource ResourcesOfModule(ModuleHandle module)
{
    if (!module)
        return nullptr;
    HMODULE m = static_cast<HMODULE>(module);
    // A program's own manifest does not make it a source of resources.
    bool any = false;
    ::EnumResourceTypesW(m, NoteTableType, reinterpret_cast<LONG_PTR>(&any));
    return any ? static_cast<ResourceSource>(m) : nullptr;
}

bool FindResourceBytes(ResourceSource source, ResourceType type, UINT id, ResourceBytes& out, WORD language)
{
    if (!source)
        return false;
    HMODULE module = AsModule(source);
    const auto t = static_cast<WORD>(type);
    if (language && Take(module, t, id, language, out))
        return true;
    if (Take(module, t, id, GetUserDefaultLangID(), out) || Take(module, t, id, LANG_ID_NEUTRAL, out))
        return true;
    int any = AnyLanguage(module, t, id);
    return any >= 0 && Take(module, t, id, static_cast<WORD>(any), out);
}

bool HasResource(ResourceSource source, ResourceType type, UINT id)
{
    return source && AnyLanguage(AsModule(source), static_cast<WORD>(type), id) >= 0;
}

WORD GetUserDefaultLangID()
{
    return ::GetUserDefaultLangID();
}

} // namespace platform
