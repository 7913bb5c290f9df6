#include "platform/Module.h"

#include <vector>

#include "platform/Path.h"
#include "platform/SystemError.h"
#include "platform/Win32_win.h"

namespace platform {

ModuleHandle ModuleFromAddress(const void* address)
{
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

CString ModuleFileName(ModuleHandle module)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return CString();
        if (n < buffer.size())
            return win::FromW(buffer.data(), n);
        if (buffer.size() >= 32768)
            return CString();
        buffer.resize(buffer.size() * 2);
    }
}

CString ExecutablePath()
{
    return ModuleFileName(nullptr);
}

CString MapModuleName(const CString& name)
{
    return name; // Windows names are the names
}

ModuleHandle FindLoadedModule(const CString& name)
{
    return ::GetModuleHandleW(win::W(name));
}

ModuleHandle LoadModule(const CString& name, const void* askingAddress, CString* error)
{
    HMODULE module = nullptr;
    if (!IsAbsolutePath(name) && ReverseFindSeparator(name) < 0) {
        // A bare name: the asking module's own folder first.
        CString folder = ModuleFileName(ModuleFromAddress(askingAddress));
        int slash = ReverseFindSeparator(folder);
        if (slash >= 0)
            module = ::LoadLibraryExW(win::W(folder.Left(slash + 1) + name), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (!module)
        module = ::LoadLibraryW(win::W(name));
    if (!module && error) {
        DWORD code = ::GetLastError();
        error->Format(u"%s: %s", name.GetString(), SystemErrorText(code).GetString());
    }
    return module;
}

void FreeModule(ModuleHandle module)
{
    if (module)
        ::FreeLibrary(static_cast<HMODULE>(module));
}

void* ModuleSymbol(ModuleHandle module, const char* name)
{
    if (!module || !name)
        return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

} // namespace platform
