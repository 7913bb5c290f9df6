#include "platform/Module.h"

#include <dirent.h>
#include <dlfcn.h>
#include <strings.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace platform {

namespace {

std::string FolderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseName(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct FindByName {
    std::string wanted;
    std::string found;
};

int VisitLoaded(struct dl_phdr_info* info, size_t, void* data)
{
    auto* search = static_cast<FindByName*>(data);
    if (info->dlpi_name && *info->dlpi_name && BaseName(info->dlpi_name) == search->wanted) {
        search->found = info->dlpi_name;
        return 1;
    }
    return 0;
}

// The path of `file` in `folder`: the exact name when it exists, else the
// first entry whose name differs only in letter case (module names are not
// case-sensitive on Windows: "ComDlg32.dll" finds libcomdlg32.so). Empty when
// there is none.
std::string FindInFolder(const std::string& folder, const std::string& file)
{
    std::string exact = folder + file;
    if (access(exact.c_str(), F_OK) == 0)
        return exact;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return std::string();
    std::string found;
    while (dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, file.c_str()) == 0) {
            found = folder + entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

} // namespace

ModuleHandle ModuleFromAddress(const void* address)
{
    Dl_info info{};
    if (!address || !dladdr(address, &info) || !info.dli_fname)
        return nullptr;
    // RTLD_NOLOAD yields a handle for an already loaded library without
    // loading anything; dlopen of the main program's path would load a copy,
    // so the program itself is represented by the handle of dlopen(nullptr).
    std::string self = ExecutablePath().ToUtf8();
    char resolved[PATH_MAX];
    std::string fname = info.dli_fname;
    if (realpath(fname.c_str(), resolved))
        fname = resolved;
    if (fname == self)
        return dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD);
    void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle); // keep the reference count as it was
    return handle;
}

CString ModuleFileName(ModuleHandle module)
{
    if (!module)
        return ExecutablePath();
    struct link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return CString();
    if (!map->l_name || !*map->l_name)
        return ExecutablePath(); // the main program
    char resolved[PATH_MAX];
    if (realpath(map->l_name, resolved))
        return CString::FromUtf8(resolved);
    return CString::FromUtf8(map->l_name);
}

CString ExecutablePath()
{
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return CString();
    return CString::FromUtf8(std::string_view(buffer, static_cast<size_t>(n)));
}

CString MapModuleName(const CString& name)
{
    int slash = name.ReverseFind(u'/');
    CString folder = name.Left(slash + 1);
    CString file = name.Mid(slash + 1);
    if (file.GetLength() > 4 && file.Right(4).CompareNoCase(u".dll") == 0)
        return folder + u"lib" + file.Left(file.GetLength() - 4) + u".so";
    return name;
}

ModuleHandle FindLoadedModule(const CString& name)
{
    FindByName search{BaseName(MapModuleName(name).ToUtf8()), {}};
    dl_iterate_phdr(VisitLoaded, &search);
    if (search.found.empty())
        return nullptr;
    void* handle = dlopen(search.found.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle;
}

ModuleHandle LoadModule(const CString& name, const void* askingAddress, CString* error)
{
    std::string file = MapModuleName(name).ToUtf8();
    void* handle = nullptr;
    if (!file.empty() && file[0] == '/') {
        handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    } else {
        Dl_info info{};
        if (askingAddress && dladdr(askingAddress, &info) && info.dli_fname) {
            char resolved[PATH_MAX];
            std::string asking = info.dli_fname;
            if (realpath(asking.c_str(), resolved))
                asking = resolved;
            std::string candidate = FindInFolder(FolderOf(asking), file);
            if (!candidate.empty())
                handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
        if (!handle)
            handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle && error) {
        const char* message = dlerror();
        *error = CString::FromUtf8(message ? message : "cannot load module");
    }
    return handle;
}

void FreeModule(ModuleHandle module)
{
    if (module)
        dlclose(module);
}

void* ModuleSymbol(ModuleHandle module, const char* name)
{
    if (!module || !name)
        return nullptr;
    return dlsym(module, name);
}

} // namespace platform
