// An in-process server module for the COM suites: one class of counter
// objects, counted by the module's own bookkeeping.
#include <cstdlib>
#include <cstring>
#include <new>

#include "ComTestServer.h"
#include "platform/com/ServerModule.h"
#include "platform/shell/FileDialogApi.h"

namespace {

platform::CServerModule g_module;

bool ModeIs(const char* mode)
{
    const char* value = std::getenv(kComTestServerMode);
    return value && std::strcmp(value, mode) == 0;
}

class CTestObject : public platform::CComObjectBase<CTestObject, ITestCounter, ITestName> {
public:
    CTestObject() : CComObjectBase(&g_module) {}

    static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
    {
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) CTestObject;
        if (!object)
            return E_OUTOFMEMORY;
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }

    void* FindInterface(REFIID riid)
    {
        if (riid == IID_IUnknown || riid == IID_ITestCounter)
            return static_cast<ITestCounter*>(this);
        if (riid == IID_ITestName)
            return static_cast<ITestName*>(this);
        return nullptr;
    }

    ULONG STDMETHODCALLTYPE Increment() override { return ++m_count; }
    long STDMETHODCALLTYPE ModuleObjects() override { return g_module.ObjectCount(); }
    const char* STDMETHODCALLTYPE Name() override { return "comtestserver"; }

private:
    ULONG m_count = 0;
};

} // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (ModeIs("unload-in-getclassobject"))
        CoFreeUnusedLibraries(); // must not unload this module while it runs
    if (rclsid != CLSID_ComTestObject && rclsid != CLSID_FileOpenDialog) {
        if (ppv)
            *ppv = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return platform::CClassFactory<CTestObject>::Create(&g_module, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    if (ModeIs("unload-in-canunload"))
        CoFreeUnusedLibraries(); // must neither deadlock nor unload this module
    return g_module.CanUnloadNow();
}
