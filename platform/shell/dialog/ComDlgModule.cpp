// The system dialog module: the class objects of the File Open and File Save
// dialog classes, and whether the module may be unloaded.
#include "platform/com/ServerModule.h"
#include "platform/shell/FileDialogApi.h"
#include "platform/shell/dialog/FileDialog.h"

namespace {

platform::CServerModule g_module;

struct SOpenDialogClass {
    static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
    {
        return platform::CFileDialog::CreateInstance(platform::CFileDialogSession::eOpen, &g_module, pUnkOuter, riid,
                                                     ppv);
    }
};

struct SSaveDialogClass {
    static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
    {
        return platform::CFileDialog::CreateInstance(platform::CFileDialogSession::eSave, &g_module, pUnkOuter, riid,
                                                     ppv);
    }
};

} // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid == CLSID_FileOpenDialog)
        return platform::CClassFactory<SOpenDialogClass>::Create(&g_module, riid, ppv);
    if (rclsid == CLSID_FileSaveDialog)
        return platform::CClassFactory<SSaveDialogClass>::Create(&g_module, riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    // A module whose dialog started the GUI toolkit stays: the toolkit
    // cannot be taken out of a running process.
    if (platform::CFileDialog::StartedGui())
        return S_FALSE;
    return g_module.CanUnloadNow();
}
