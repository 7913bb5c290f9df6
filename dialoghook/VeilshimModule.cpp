#include "dialoghook/VeilshimModule.h"

#include "Log.h"
#include "dialoghook/VeilFileOpenDialogImpl.h"
#include "dialoghook/VeilFileSaveDialogImpl.h"
#include "platform/Guid.h"
#include "platform/Module.h"
#include "platform/shell/FileDialogApi.h"

namespace {

constexpr CLSID kClassId{0x0ff590ba, 0xcaf8, 0x4f4d, {0x89, 0xd0, 0x72, 0x1a, 0xde, 0x18, 0x5f, 0xfa}};
constexpr GUID kTypeLibId{0x69b1c6e8, 0xc650, 0x4f84, {0x82, 0xc5, 0x0d, 0x4f, 0xac, 0x89, 0x49, 0x0f}};
constexpr GUID kAppId{0x0ca5d5f1, 0x763f, 0x4b3e, {0xa3, 0x2d, 0xdb, 0x2d, 0x08, 0xf0, 0x54, 0xc0}};

struct SOpenDialogClass {
    static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
    {
        return CVeilshim::CreateInstance<CVeilFileOpenDialogImpl>(pUnkOuter, riid, ppv);
    }
};

struct SSaveDialogClass {
    static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
    {
        return CVeilshim::CreateInstance<CVeilFileSaveDialogImpl>(pUnkOuter, riid, ppv);
    }
};

// "user" in any letter case and nothing after it.
bool IsUserCommandLine(const char16_t* cmdLine)
{
    return cmdLine && CString(cmdLine).CompareNoCase(u"user") == 0;
}

} // namespace

const CLSID& CVeilshimModule::GetClassId()
{
    return kClassId;
}

const GUID& CVeilshimModule::GetTypeLibId()
{
    return kTypeLibId;
}

const GUID& CVeilshimModule::GetAppId()
{
    return kAppId;
}

CVeilshimModule& CVeilshimModule::Instance()
{
    static CVeilshimModule module;
    return module;
}

HRESULT CVeilshimModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid == CLSID_FileOpenDialog)
        return platform::CClassFactory<SOpenDialogClass>::Create(&m_server, riid, ppv);
    if (rclsid == CLSID_FileSaveDialog)
        return platform::CClassFactory<SSaveDialogClass>::Create(&m_server, riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CVeilshimModule::CanUnloadNow()
{
    // Once a dialog of the library has run, the GUI toolkit holds on to code
    // of this library (its windows' classes and handlers): it stays.
    if (CVeilshim::HasShownWindows())
        return S_FALSE;
    return m_server.CanUnloadNow();
}

CRegistrar CVeilshimModule::MakeRegistrar() const
{
    CRegistrar registrar;
    // The module's own path as the registration names it: the absolute path
    // of this library, wherever it was loaded from.
    const void* self = reinterpret_cast<const void*>(&CVeilshimModule::Instance);
    registrar.AddReplacement(u"MODULE", platform::ModuleFileName(platform::ModuleFromAddress(self)));
    registrar.AddReplacement(u"APPID", platform::GuidToString(kAppId));
    return registrar;
}

HKEY CVeilshimModule::RegistrationRoot(CString& path) const
{
    if (m_perUser) {
        path = u"Software\\Classes";
        return HKEY_CURRENT_USER;
    }
    path.Empty();
    return HKEY_CLASSES_ROOT;
}

std::vector<SRegistrarKey> CVeilshimModule::ClassScript()
{
    SRegistrarKey server;
    server.name = u"InprocServer32";
    server.hasDefaultValue = true;
    server.defaultValue = u"%MODULE%";
    server.values.emplace_back(u"ThreadingModel", u"Apartment");

    SRegistrarKey typeLib;
    typeLib.name = u"TypeLib";
    typeLib.hasDefaultValue = true;
    typeLib.defaultValue = platform::GuidToString(kTypeLibId);

    SRegistrarKey version;
    version.name = u"Version";
    version.hasDefaultValue = true;
    version.defaultValue = u"1.0";

    SRegistrarKey classKey;
    classKey.name = platform::GuidToString(kClassId);
    classKey.rule = SRegistrarKey::eForceRemove;
    classKey.hasDefaultValue = true;
    classKey.defaultValue = u"Veilshim Class";
    classKey.subKeys = {server, typeLib, version};

    SRegistrarKey clsid;
    clsid.name = u"CLSID";
    clsid.rule = SRegistrarKey::eNoRemove;
    clsid.subKeys = {classKey};
    return {clsid};
}

HRESULT CVeilshimModule::RegisterServer()
{
    CString rootPath;
    const HKEY root = RegistrationRoot(rootPath);
    const CRegistrar registrar = MakeRegistrar();
    HRESULT hr = registrar.Register(root, rootPath, ModuleScript());
    // One entry per dialog class; both name the same script.
    for (int entry = 0; entry < 2 && SUCCEEDED(hr); ++entry)
        hr = registrar.Register(root, rootPath, ClassScript());
    if (FAILED(hr))
        WriteLog(eLogError, u"Self-registration failed: 0x%08X", static_cast<unsigned>(hr));
    return hr;
}

HRESULT CVeilshimModule::UnregisterServer()
{
    CString rootPath;
    const HKEY root = RegistrationRoot(rootPath);
    const CRegistrar registrar = MakeRegistrar();
    HRESULT first = S_OK;
    for (int entry = 0; entry < 2; ++entry) {
        HRESULT hr = registrar.Unregister(root, rootPath, ClassScript());
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
    }
    HRESULT hr = registrar.Unregister(root, rootPath, ModuleScript());
    return SUCCEEDED(first) ? hr : first;
}

HRESULT CVeilshimModule::Install(BOOL bInstall, const char16_t* cmdLine)
{
    const bool previous = m_perUser;
    if (IsUserCommandLine(cmdLine))
        m_perUser = true;
    HRESULT hr;
    if (!bInstall) {
        hr = UnregisterServer();
    } else {
        hr = RegisterServer();
        if (FAILED(hr))
            UnregisterServer();
    }
    m_perUser = previous;
    return hr;
}
