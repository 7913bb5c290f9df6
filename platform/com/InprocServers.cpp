#include "platform/com/InprocServers.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/SystemError.h"

namespace platform {

namespace {

// An address inside the runtime's own module: bare module names are looked
// up beside it.
void RuntimeAnchor() {}

bool HasFolderPart(const CString& name)
{
    return name.Find(u'/') >= 0 || name.Find(u'\\') >= 0;
}

} // namespace

CString ResolveServerModulePath(const CString& moduleName)
{
    if (moduleName.IsEmpty())
        return CString();
    CString mapped = MapModuleName(moduleName);
    if (mapped[0] == u'/')
        return FullPath(mapped);
    if (HasFolderPart(mapped))
        return CString();
    return mapped; // LoadModule looks beside the runtime, then in the system's folders
}

// One loaded module. `calls` counts the requests and unload questions in
// progress; it is guarded by the table's lock.
struct CInprocServers::SServer {
    CString registeredName; // the name as the registration gave it
    ModuleHandle handle = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr;
    int calls = 0;
};

// Marks a module as being called into for its lifetime.
class CInprocServers::CCallGuard {
public:
    CCallGuard(CInprocServers& table, std::shared_ptr<SServer> server) : m_table(table), m_server(std::move(server)) {}
    ~CCallGuard()
    {
        std::lock_guard<std::mutex> lock(m_table.m_lock);
        --m_server->calls;
    }
    CCallGuard(const CCallGuard&) = delete;
    CCallGuard& operator=(const CCallGuard&) = delete;

private:
    CInprocServers& m_table;
    std::shared_ptr<SServer> m_server;
};

CInprocServers& CInprocServers::Instance()
{
    // Never destroyed: modules may still hold objects when the process ends,
    // and they must not be unloaded from under them by a static destructor.
    static CInprocServers* table = new CInprocServers;
    return *table;
}

std::shared_ptr<CInprocServers::SServer> CInprocServers::FindByHandle(ModuleHandle handle)
{
    for (auto& server : m_servers)
        if (server->handle == handle)
            return server;
    return nullptr;
}

// Finds or loads the module; on success the returned entry already counts
// one call in progress, which the caller's guard takes back.
HRESULT CInprocServers::Load(const CString& moduleName, std::shared_ptr<SServer>& server)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto& known : m_servers) {
            if (known->registeredName == moduleName) {
                ++known->calls;
                server = known;
                return S_OK;
            }
        }
    }

    CString path = ResolveServerModulePath(moduleName);
    if (path.IsEmpty())
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    bool absolute = path[0] == u'/';
    if (absolute) {
        DWORD attributes = GetAttributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return E_ACCESSDENIED;
    }

    // Loading runs the module's initialisers, which may call back into the
    // runtime: never under the lock.
    ModuleHandle handle = LoadModule(path, reinterpret_cast<const void*>(&RuntimeAnchor));
    if (!handle) {
        ULONGLONG size = 0;
        return absolute && QueryFileSize(path, size) ? HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)
                                                    : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }

    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(ModuleSymbol(handle, "DllGetClassObject"));
    if (!getClassObject) {
        FreeModule(handle);
        return CO_E_ERRORINDLL;
    }

    bool duplicate = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        server = FindByHandle(handle);
        if (server) {
            duplicate = true; // the same file under another name, or loaded by another thread meanwhile
        } else {
            server = std::make_shared<SServer>();
            server->registeredName = moduleName;
            server->handle = handle;
            server->getClassObject = getClassObject;
            server->canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(ModuleSymbol(handle, "DllCanUnloadNow"));
            m_servers.push_back(server);
        }
        ++server->calls;
    }
    if (duplicate)
        FreeModule(handle); // the table holds the module once
    return S_OK;
}

HRESULT CInprocServers::Request(const CString& moduleName, REFCLSID clsid, bool create, IUnknown* pUnkOuter,
                                REFIID riid, void** ppv)
{
    *ppv = nullptr;
    std::shared_ptr<SServer> server;
    HRESULT hr = Load(moduleName, server);
    if (FAILED(hr))
        return hr;
    CCallGuard guard(*this, server);

    if (!create)
        return server->getClassObject(clsid, riid, ppv);

    IClassFactory* factory = nullptr;
    hr = server->getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    if (!factory)
        return CO_E_ERRORINDLL;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr))
        *ppv = nullptr;
    return hr;
}

void CInprocServers::FreeUnused()
{
    std::vector<std::shared_ptr<SServer>> candidates;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto& server : m_servers) {
            // A module without DllCanUnloadNow cannot tell, so it stays.
            if (server->calls == 0 && server->canUnloadNow) {
                ++server->calls; // being asked counts as a call into it
                candidates.push_back(server);
            }
        }
    }
    for (auto& server : candidates) {
        // Asked without the lock: the module may call back into the runtime.
        HRESULT answer = server->canUnloadNow();
        bool unload = false;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            --server->calls;
            if (answer == S_OK && server->calls == 0) {
                m_servers.erase(std::find(m_servers.begin(), m_servers.end(), server));
                unload = true;
            }
        }
        if (unload)
            FreeModule(server->handle);
    }
}

size_t CInprocServers::LoadedCount()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_servers.size();
}

} // namespace platform
