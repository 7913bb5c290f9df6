// CVeilshimModule: the COM server side of the library: its class objects
// for the system's Open and Save dialog classes, the count of live objects
// and locks that decides whether it may be unloaded, and its own
// self-registration (the registrar script on the registry store).
#pragma once

#include <vector>

#include "dialoghook/Registrar.h"
#include "platform/com/ServerModule.h"

class CVeilshimModule {
public:
    // The library's own class id (the one self-registration writes), the id
    // its registration names as type library, and its application id.
    static const CLSID& GetClassId();
    static const GUID& GetTypeLibId();
    static const GUID& GetAppId();

    // The one module object of the library.
    static CVeilshimModule& Instance();

    // Objects and locks; every wrapper object counts from construction to
    // destruction, every class object while it lives, and LockServer locks.
    platform::CServerModule& Server() { return m_server; }

    // The class object for the File Open or File Save dialog class, asked
    // for `riid`; CLASS_E_CLASSNOTAVAILABLE for any other class.
    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
    // S_OK when no object is alive, no lock is held and no window of the
    // library's dialogs can still call into it; else S_FALSE.
    HRESULT CanUnloadNow();

    // Writes (or removes) the library's own class registration. The first
    // failure is returned. The type library the script names is not
    // registered: the library carries none, and nothing reads one.
    HRESULT RegisterServer();
    HRESULT UnregisterServer();
    // Registration with a command line: "user" (any letter case, nothing
    // more) writes below HKEY_CURRENT_USER "Software\Classes"; otherwise
    // below HKEY_CLASSES_ROOT. A failed installation is undone.
    HRESULT Install(BOOL bInstall, const char16_t* cmdLine);

    // The script of the class registration ("Veilshim Class").
    static std::vector<SRegistrarKey> ClassScript();
    // The script run before the class entries (writes nothing).
    static std::vector<SRegistrarKey> ModuleScript() { return {}; }

private:
    CVeilshimModule() = default;
    CRegistrar MakeRegistrar() const;
    HKEY RegistrationRoot(CString& path) const;

    platform::CServerModule m_server;
    bool m_perUser = false;
};
