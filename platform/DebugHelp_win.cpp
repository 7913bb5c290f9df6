// Stack traces on Windows: RtlCaptureStackBackTrace for the addresses,
// "dbghelp.dll" loaded at run time for file, line and function names.
#include "platform/DebugHelp.h"

#include <dbghelp.h>

#include <string>

#include "platform/Console.h"
#include "platform/Path.h"
#include "platform/Win32_win.h"

namespace platform::debughelp {

namespace {

constexpr const char* kDefaultLibrary = "dbghelp.dll";

using SymSetOptionsFn = DWORD(WINAPI*)(DWORD);
using SymInitializeFn = BOOL(WINAPI*)(HANDLE, PCWSTR, BOOL);
using SymCleanupFn = BOOL(WINAPI*)(HANDLE);
using SymFromAddrFn = BOOL(WINAPI*)(HANDLE, DWORD64, PDWORD64, PSYMBOL_INFOW);
using SymGetLineFromAddrFn = BOOL(WINAPI*)(HANDLE, DWORD64, PDWORD, PIMAGEHLP_LINEW64);

struct Entries {
    SymSetOptionsFn setOptions = nullptr;
    SymInitializeFn initialize = nullptr;
    SymCleanupFn cleanup = nullptr;
    SymFromAddrFn fromAddr = nullptr;
    SymGetLineFromAddrFn lineFromAddr = nullptr;
};

std::string g_libraryName = kDefaultLibrary;
Entries g_entries;
bool g_linked = false;
bool g_session = false;

template <typename T>
bool Resolve(HMODULE library, const char* name, T& slot)
{
    slot = reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
    return slot != nullptr;
}

} // namespace

void SetLibraryName(const char* name)
{
    g_libraryName = name ? name : kDefaultLibrary;
}

bool Link()
{
    Cleanup();
    g_linked = false;
    g_entries = Entries{};
    HMODULE library = ::LoadLibraryA(g_libraryName.c_str());
    if (!library) {
        OutputDebugString(CString::FromUtf8("ERROR: Unable to load " + g_libraryName + ".\n"));
        return false;
    }
    Entries e;
    bool all = Resolve(library, "SymSetOptions", e.setOptions) && Resolve(library, "SymInitializeW", e.initialize) &&
               Resolve(library, "SymCleanup", e.cleanup) && Resolve(library, "SymFromAddrW", e.fromAddr) &&
               Resolve(library, "SymGetLineFromAddrW64", e.lineFromAddr);
    if (!all) {
        OutputDebugString(CString::FromUtf8("ERROR: Unable to find all functions in " + g_libraryName + ".\n"));
        return false;
    }
    g_entries = e;
    g_linked = true;
    return true;
}

bool Initialize()
{
    Cleanup();
    if (!g_linked)
        return false;
    g_entries.setOptions(SYMOPT_UNDNAME | SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS);
    g_session = g_entries.initialize(::GetCurrentProcess(), nullptr, TRUE) != FALSE;
    return g_session;
}

void Cleanup()
{
    if (g_session && g_entries.cleanup)
        g_entries.cleanup(::GetCurrentProcess());
    g_session = false;
}

bool IsInitialized()
{
    return g_session;
}

__attribute__((noinline)) int CaptureStack(ULONGLONG* addresses, int maxCount, int skipFrames)
{
    if (!addresses || maxCount <= 0)
        return 0;
    if (skipFrames < 0)
        skipFrames = 0;
    void* frames[62]; // the most RtlCaptureStackBackTrace takes on older systems
    int wanted = maxCount < 62 ? maxCount : 62;
    int n = ::RtlCaptureStackBackTrace(static_cast<DWORD>(skipFrames + 1), static_cast<DWORD>(wanted), frames,
                                       nullptr);
    for (int i = 0; i < n; ++i)
        addresses[i] = reinterpret_cast<ULONGLONG>(frames[i]);
    return n;
}

bool LineFromAddress(ULONGLONG address, CString& file, int& line)
{
    if (!g_session)
        return false;
    IMAGEHLP_LINEW64 info{};
    info.SizeOfStruct = sizeof info;
    DWORD displacement = 0;
    if (!g_entries.lineFromAddr(::GetCurrentProcess(), address, &displacement, &info) || !info.FileName)
        return false;
    file = win::FromW(info.FileName);
    line = static_cast<int>(info.LineNumber);
    return true;
}

bool SymbolFromAddress(ULONGLONG address, CString& name)
{
    if (!g_session)
        return false;
    alignas(SYMBOL_INFOW) BYTE buffer[sizeof(SYMBOL_INFOW) + 512 * sizeof(wchar_t)] = {};
    auto* symbol = reinterpret_cast<SYMBOL_INFOW*>(buffer);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFOW);
    symbol->MaxNameLen = 512;
    DWORD64 displacement = 0;
    if (!g_entries.fromAddr(::GetCurrentProcess(), address, &displacement, symbol))
        return false;
    name = win::FromW(symbol->Name, symbol->NameLen);
    return true;
}

bool IsOwnSourceFile(const CString& fileName)
{
    CString own = CString::FromUtf8(__FILE__);
    own = own.Mid(ReverseFindSeparator(own) + 1);
    int slash = own.ReverseFind(u'/');
    if (slash >= 0)
        own = own.Mid(slash + 1);
    return fileName.CompareNoCase(own) == 0;
}

} // namespace platform::debughelp
