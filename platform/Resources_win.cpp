// Resources of a Windows module, found with FindResourceEx in its resource
// section (the resource module is made by the resource compiler from the
// same script).
#include "platform/Resources_p.h"

#include "platform/Win32_win.h"

#include <algorithm>
#include <vector>

namespace platform {

namespace {

HMODULE AsModule(ResourceSource source)
{
    return static_cast<HMODULE>(const_cast<void*>(source));
}

BOOL CALLBACK NoteLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

// The languages the module has the resource in, in the module's order.
std::vector<WORD> Languages(HMODULE module, WORD type, UINT id)
{
    std::vector<WORD> found;
    ::EnumResourceLanguagesW(module, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), NoteLanguage,
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
    // The language is chosen among those the module has, so that the one
    // reported is the one taken: FindResourceEx asked for the neutral
    // language falls back to any other on its own.
    std::vector<WORD> languages = Languages(module, t, id);
    if (languages.empty())
        return false;
    auto has = [&](WORD l) { return std::find(languages.begin(), languages.end(), l) != languages.end(); };
    if (language && has(language))
        return Take(module, t, id, language, out);
    for (WORD fallback : {GetUserDefaultLangID(), LANG_ID_NEUTRAL})
        if (has(fallback))
            return Take(module, t, id, fallback, out);
    return Take(module, t, id, languages.front(), out);
}

bool HasResource(ResourceSource source, ResourceType type, UINT id)
{
    return source && !Languages(AsModule(source), static_cast<WORD>(type), id).empty();
}

WORD GetUserDefaultLangID()
{
    return ::GetUserDefaultLangID();
}

} // namespace platform
