// The in-process server modules the runtime has loaded: each is loaded once,
// asked for class objects through its DllGetClassObject, and unloaded only
// when its DllCanUnloadNow agrees and no call into it is in progress.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/CString.h"
#include "platform/Module.h"
#include "platform/com/Com.h"

namespace platform {

class CInprocServers {
public:
    // The one table of the process.
    static CInprocServers& Instance();

    // Gets the class object of `clsid` from the module `moduleName` (a bare
    // "X.dll" is looked up beside the runtime; otherwise an absolute path),
    // loading the module if needed, and creates an instance from it when
    // `create` is set (pUnkOuter, riid as CoCreateInstance takes them), else
    // hands out the class object for riid. The module counts as being called
    // into for the whole request. Returns the HRESULT documented for
    // CoCreateInstance.
    HRESULT Request(const CString& moduleName, REFCLSID clsid, bool create, IUnknown* pUnkOuter, REFIID riid,
                    void** ppv);

    // Asks every module that nobody is calling into whether it can be
    // unloaded, and unloads those that answer S_OK.
    void FreeUnused();

    // Number of modules loaded through the table (for diagnostics and tests).
    size_t LoadedCount();

private:
    struct SServer;
    class CCallGuard;

    CInprocServers() = default;

    HRESULT Load(const CString& moduleName, std::shared_ptr<SServer>& server);
    std::shared_ptr<SServer> FindByHandle(ModuleHandle handle);

    std::mutex m_lock;
    std::vector<std::shared_ptr<SServer>> m_servers;
};

// The name a registered module value is loaded by: "X.dll" becomes "libX.so"
// (without a folder it is looked up beside the runtime, letter case ignored,
// then in the system's folders); an absolute path stays absolute, mapped by
// the same rule and lexically normalised. A name with a folder that is not
// absolute gives an empty result: relative paths are never resolved against
// the current folder.
CString ResolveServerModulePath(const CString& moduleName);

} // namespace platform
