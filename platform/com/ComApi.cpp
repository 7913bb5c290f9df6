// The runtime's exported functions: apartments, creation through the class
// registrations, unloading, task memory and GUID text.
#include <atomic>
#include <cstdlib>

#include "platform/com/ClassRegistration.h"
#include "platform/com/Com.h"
#include "platform/com/InprocServers.h"

namespace {

// The apartment of the calling thread: how often it was entered, and how.
struct SApartment {
    int entered = 0;
    bool singleThreaded = false;
};
thread_local SApartment t_apartment;

// Threads of the process that are in an apartment.
std::atomic<int> g_apartments{0};

HRESULT GetClassObjectOrInstance(REFCLSID rclsid, DWORD dwClsContext, bool create, IUnknown* pUnkOuter,
                                 REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (t_apartment.entered == 0)
        return CO_E_NOTINITIALIZED;
    // Only in-process servers exist here.
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (create && pUnkOuter && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;

    platform::CClassRegistration registration;
    HRESULT hr = platform::CClassRegistration::Lookup(rclsid, registration);
    if (FAILED(hr))
        return hr;
    if (!registration.CallableFrom(t_apartment.singleThreaded))
        return CO_E_NOT_SUPPORTED;
    return platform::CInprocServers::Instance().Request(registration.Module(), rclsid, create, pUnkOuter, riid, ppv);
}

} // namespace

STDAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit)
{
    if (pvReserved)
        return E_INVALIDARG;
    bool singleThreaded = (dwCoInit & COINIT_APARTMENTTHREADED) != 0;
    if (t_apartment.entered > 0) {
        if (t_apartment.singleThreaded != singleThreaded)
            return RPC_E_CHANGED_MODE;
        ++t_apartment.entered;
        return S_FALSE;
    }
    t_apartment.entered = 1;
    t_apartment.singleThreaded = singleThreaded;
    g_apartments.fetch_add(1);
    return S_OK;
}

STDAPI CoInitialize(LPVOID pvReserved)
{
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

STDAPI_(void) CoUninitialize()
{
    if (t_apartment.entered == 0)
        return;
    if (--t_apartment.entered > 0)
        return;
    if (g_apartments.fetch_sub(1) == 1)
        platform::CInprocServers::Instance().FreeUnused();
}

STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv)
{
    return GetClassObjectOrInstance(rclsid, dwClsContext, true, pUnkOuter, riid, ppv);
}

STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv)
{
    if (pvReserved)
        return E_INVALIDARG;
    return GetClassObjectOrInstance(rclsid, dwClsContext, false, nullptr, riid, ppv);
}

STDAPI_(void) CoFreeUnusedLibraries()
{
    platform::CInprocServers::Instance().FreeUnused();
}

STDAPI_(void) CoFreeUnusedLibrariesEx(DWORD, DWORD)
{
    platform::CInprocServers::Instance().FreeUnused();
}

STDAPI_(LPVOID) CoTaskMemAlloc(SIZE_T cb)
{
    // A zero-byte request still yields a block that CoTaskMemFree takes.
    return std::malloc(cb ? cb : 1);
}

STDAPI_(LPVOID) CoTaskMemRealloc(LPVOID pv, SIZE_T cb)
{
    if (cb == 0) {
        std::free(pv);
        return nullptr;
    }
    return std::realloc(pv, cb);
}

STDAPI_(void) CoTaskMemFree(LPVOID pv)
{
    std::free(pv);
}

STDAPI_(int) StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    CString text = platform::GuidToString(rguid);
    if (!lpsz || cchMax <= text.GetLength())
        return 0;
    std::copy(text.GetString(), text.GetString() + text.GetLength() + 1, lpsz);
    return text.GetLength() + 1;
}

STDAPI CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid)
{
    if (!pclsid)
        return E_INVALIDARG;
    CString text(lpsz);
    // Only the braced form names a class, as in the registry.
    if (text.GetLength() != 38 || text[0] != u'{' || !platform::GuidFromString(text, *pclsid)) {
        *pclsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}
