// The library's COM entry points and its start in a process: the resource
// module beside it joins the resource chain when the library is loaded.
#include "dialoghook/VeilshimApp.h"
#include "dialoghook/VeilshimModule.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    try {
        return CVeilshimModule::Instance().GetClassObject(rclsid, riid, ppv);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllCanUnloadNow()
{
    return CVeilshimModule::Instance().CanUnloadNow();
}

STDAPI DllRegisterServer()
{
    try {
        return CVeilshimModule::Instance().RegisterServer();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllUnregisterServer()
{
    try {
        return CVeilshimModule::Instance().UnregisterServer();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine)
{
    try {
        return CVeilshimModule::Instance().Install(bInstall, pszCmdLine);
    } catch (...) {
        return E_UNEXPECTED;
    }
}
