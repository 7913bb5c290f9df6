// Stack traces on Linux: backtrace() captures the return addresses; elfutils'
// libdwfl, loaded at run time so that the system runs on without it, maps an
// address to its module, symbol, source file and line.
#include "platform/DebugHelp.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <elfutils/libdwfl.h>
#include <execinfo.h>
#include <string>
#include <unistd.h>

#include "platform/Console.h"

namespace platform::debughelp {

namespace {

constexpr const char* kDefaultLibrary = "libdw.so.1";

// The entry points taken from the library, looked up by name.
struct Entries {
    decltype(&dwfl_begin) begin = nullptr;
    decltype(&dwfl_end) end = nullptr;
    decltype(&dwfl_linux_proc_find_elf) procFindElf = nullptr;
    decltype(&dwfl_standard_find_debuginfo) findDebuginfo = nullptr;
    decltype(&dwfl_linux_proc_report) procReport = nullptr;
    decltype(&dwfl_report_end) reportEnd = nullptr;
    decltype(&dwfl_addrmodule) addrModule = nullptr;
    decltype(&dwfl_module_addrname) moduleAddrName = nullptr;
    decltype(&dwfl_module_getsrc) moduleGetSrc = nullptr;
    decltype(&dwfl_lineinfo) lineInfo = nullptr;
    decltype(&dwfl_line_comp_dir) lineCompDir = nullptr;
};

std::string g_libraryName = kDefaultLibrary;
Entries g_entries;
bool g_linked = false;
Dwfl_Callbacks g_callbacks{};
Dwfl* g_session = nullptr;

template <typename T>
bool Resolve(void* library, const char* name, T& slot)
{
    slot = reinterpret_cast<T>(::dlsym(library, name));
    return slot != nullptr;
}

Dwfl_Module* ModuleOf(ULONGLONG address)
{
    if (!g_session)
        return nullptr;
    return g_entries.addrModule(g_session, static_cast<Dwarf_Addr>(address));
}

// Drops the parameter list (and any qualifiers after it) from a demangled
// function name: "A::f(int, char const*) const" becomes "A::f", the way
// the names of functions read in a trace.
std::string WithoutParameters(const std::string& name)
{
    size_t close = name.rfind(')');
    if (close == std::string::npos)
        return name;
    for (size_t i = close + 1; i < name.size(); ++i)
        if (!(std::islower(static_cast<unsigned char>(name[i])) || name[i] == ' ' || name[i] == '&'))
            return name; // something else follows: not a parameter list
    int depth = 0;
    for (size_t i = close + 1; i-- > 0;) {
        if (name[i] == ')')
            ++depth;
        else if (name[i] == '(' && --depth == 0)
            return i > 0 ? name.substr(0, i) : name;
    }
    return name;
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
    void* library = ::dlopen(g_libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        OutputDebugString(CString::FromUtf8("ERROR: Unable to load " + g_libraryName + ".\n"));
        return false;
    }
    Entries e;
    bool all = Resolve(library, "dwfl_begin", e.begin) && Resolve(library, "dwfl_end", e.end)
        && Resolve(library, "dwfl_linux_proc_find_elf", e.procFindElf)
        && Resolve(library, "dwfl_standard_find_debuginfo", e.findDebuginfo)
        && Resolve(library, "dwfl_linux_proc_report", e.procReport)
        && Resolve(library, "dwfl_report_end", e.reportEnd) && Resolve(library, "dwfl_addrmodule", e.addrModule)
        && Resolve(library, "dwfl_module_addrname", e.moduleAddrName)
        && Resolve(library, "dwfl_module_getsrc", e.moduleGetSrc) && Resolve(library, "dwfl_lineinfo", e.lineInfo)
        && Resolve(library, "dwfl_line_comp_dir", e.lineCompDir);
    if (!all) {
        OutputDebugString(CString::FromUtf8("ERROR: Unable to find all functions in " + g_libraryName + ".\n"));
        return false;
    }
    g_entries = e;
    g_callbacks = Dwfl_Callbacks{};
    g_callbacks.find_elf = e.procFindElf;
    g_callbacks.find_debuginfo = e.findDebuginfo;
    g_linked = true;
    return true;
}

bool Initialize()
{
    if (!g_linked)
        return false;
    Cleanup();
    Dwfl* session = g_entries.begin(&g_callbacks);
    if (!session)
        return false;
    if (g_entries.procReport(session, ::getpid()) != 0 || g_entries.reportEnd(session, nullptr, nullptr) != 0) {
        g_entries.end(session);
        return false;
    }
    g_session = session;
    return true;
}

void Cleanup()
{
    if (g_session) {
        g_entries.end(g_session);
        g_session = nullptr;
    }
}

bool IsInitialized()
{
    return g_session != nullptr;
}

__attribute__((noinline)) int CaptureStack(ULONGLONG* addresses, int maxCount, int skipFrames)
{
    if (!addresses || maxCount <= 0)
        return 0;
    if (skipFrames < 0)
        skipFrames = 0;
    const int wanted = maxCount + skipFrames + 1; // + this function's own frame
    void* frames[256];
    int n = ::backtrace(frames, wanted < 256 ? wanted : 256);
    int stored = 0;
    for (int i = skipFrames + 1; i < n && stored < maxCount; ++i)
        addresses[stored++] = reinterpret_cast<ULONGLONG>(frames[i]);
    return stored;
}

bool LineFromAddress(ULONGLONG address, CString& file, int& line)
{
    Dwfl_Module* module = ModuleOf(address);
    if (!module)
        return false;
    Dwfl_Line* info = g_entries.moduleGetSrc(module, static_cast<Dwarf_Addr>(address));
    if (!info)
        return false;
    int lineNumber = 0;
    const char* source = g_entries.lineInfo(info, nullptr, &lineNumber, nullptr, nullptr, nullptr);
    if (!source || !*source || lineNumber <= 0)
        return false;
    std::string path = source;
    if (path.front() != '/') {
        // Relative names are relative to the folder the unit was compiled in.
        const char* dir = g_entries.lineCompDir(info);
        if (dir && *dir)
            path = std::string(dir) + "/" + path;
    }
    file = CString::FromUtf8(path);
    line = lineNumber;
    return true;
}

bool SymbolFromAddress(ULONGLONG address, CString& name)
{
    Dwfl_Module* module = ModuleOf(address);
    if (!module)
        return false;
    const char* symbol = g_entries.moduleAddrName(module, static_cast<GElf_Addr>(address));
    if (!symbol || !*symbol)
        return false;
    int status = 0;
    char* readable = abi::__cxa_demangle(symbol, nullptr, nullptr, &status);
    name = CString::FromUtf8(status == 0 && readable ? WithoutParameters(readable) : std::string(symbol));
    std::free(readable);
    return true;
}

bool IsOwnSourceFile(const CString& fileName)
{
    CString own = CString::FromUtf8(__FILE__);
    own = own.Mid(own.ReverseFind(u'/') + 1);
    return fileName.CompareNoCase(own) == 0;
}

} // namespace platform::debughelp
