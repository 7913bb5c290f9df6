// The component object model as programs see it: HRESULT and its codes,
// IUnknown, IClassFactory, the window interfaces of modal objects, the
// apartment and creation functions, task memory, and the entry points an
// in-process server exports. Names, values, method order and signatures are
// those of Windows, so that a Windows build includes the system's own headers
// in place of this one.
#pragma once

#if defined(_WIN32)
#include <objbase.h>
#include <ocidl.h>
#include <oleidl.h>
#include <shobjidl.h>
#else

#include <cstddef>
#include <cstdint>

#include "platform/Guid.h"
#include "platform/WinTypes.h"

// ---- base types ------------------------------------------------------------------------

using HRESULT = LONG;
using ULONG = std::uint32_t;
using USHORT = std::uint16_t;
using LPVOID = void*;
using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using SIZE_T = std::size_t;

// A top-level window, as the window interfaces pass it; null means none.
struct HWND__;
using HWND = HWND__*;

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define IFACEMETHODIMP STDMETHODIMP
#define IFACEMETHODIMP_(type) STDMETHODIMP_(type)
#define STDAPI extern "C" HRESULT STDAPICALLTYPE
#define STDAPI_(type) extern "C" type STDAPICALLTYPE

// ---- HRESULT -------------------------------------------------------------------------------

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr int FACILITY_WIN32 = 7;
constexpr int FACILITY_ITF = 4;
constexpr int HRESULT_FACILITY(HRESULT hr) { return (static_cast<DWORD>(hr) >> 16) & 0x1FFF; }
constexpr int HRESULT_CODE(HRESULT hr) { return static_cast<int>(static_cast<DWORD>(hr) & 0xFFFF); }

// The HRESULT that carries a Windows error code (0 stays S_OK).
constexpr HRESULT HRESULT_FROM_WIN32(DWORD error)
{
    return static_cast<LONG>(error) <= 0 ? static_cast<HRESULT>(error)
                                         : static_cast<HRESULT>((error & 0xFFFF) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT CO_E_NOT_SUPPORTED = static_cast<HRESULT>(0x80004021u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
constexpr HRESULT RPC_E_WRONG_THREAD = static_cast<HRESULT>(0x8001010Eu);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT MK_E_NOOBJECT = static_cast<HRESULT>(0x800401E5u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// ---- IUnknown and the class factory -----------------------------------------------------

// Every interface starts with these three methods. QueryInterface sets *ppvObject
// to null when it fails; a successful answer carries one reference.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

// An object that owns a window (the common item dialog while it is shown).
struct IOleWindow : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) = 0;
    virtual HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL fEnterMode) = 0;
};

// An object told about the object that hosts it.
struct IObjectWithSite : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetSite(IUnknown* pUnkSite) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** ppvSite) = 0;
};

// An object that shows itself modally over an owner window.
struct IModalWindow : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Show(HWND hwndOwner) = 0;
};

constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IBindCtx{0x0000000e, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IOleWindow{0x00000114, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IObjectWithSite{0xfc4801a3, 0x2ba9, 0x11cf, {0xa2, 0x29, 0x00, 0xaa, 0x00, 0x3d, 0x73, 0x52}};
constexpr IID IID_IModalWindow{0xb4db1657, 0x70d7, 0x485e, {0x8e, 0x3e, 0x6f, 0xcb, 0x5a, 0x5c, 0x18, 0x02}};

// ---- apartments and creation -------------------------------------------------------------

enum tagCOINIT : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};
using COINIT = tagCOINIT;

enum tagCLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
    CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
};
using CLSCTX = tagCLSCTX;

// Enters the calling thread into an apartment. The first call of a thread
// gives S_OK, every further call with the same model S_FALSE (each must be
// matched by CoUninitialize); a call with the other model RPC_E_CHANGED_MODE.
// Only single-threaded apartments can create the apartment-threaded classes
// that the registrations name; a multithreaded one can create "Both", "Free"
// and "Neutral" classes.
STDAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
STDAPI CoInitialize(LPVOID pvReserved);

// Leaves the apartment entered by the matching CoInitialize(Ex). When the last
// apartment of the process ends, every server module that agrees to be
// unloaded is unloaded. Pitfall: a module that still has live objects stays
// loaded (rather than leave them without code).
STDAPI_(void) CoUninitialize();

// Creates an object of a registered class: HKEY_CLASSES_ROOT
// "CLSID\{clsid}\InProcServer32" names the module (a bare "X.dll" is the
// system module beside the runtime, an absolute path is taken as it is), which
// is loaded once and asked for the class object through DllGetClassObject.
// Errors: E_POINTER (ppv null), CO_E_NOTINITIALIZED (no apartment on this
// thread), REGDB_E_CLASSNOTREG (no registration, or no in-process server in
// dwClsContext), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) (module missing, or a
// relative path), E_ACCESSDENIED (a folder), HRESULT_FROM_WIN32(
// ERROR_BAD_EXE_FORMAT) (not a loadable module), CO_E_ERRORINDLL (no
// DllGetClassObject), or what the module's class object answers.
STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

// The class object of a registered class, found and loaded as above.
STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv);

// Asks every loaded server module through DllCanUnloadNow and unloads those
// that answer S_OK. A module that is being called into (on any thread) is not
// asked. CoFreeUnusedLibrariesEx takes an unload delay that is ignored here.
STDAPI_(void) CoFreeUnusedLibraries();
STDAPI_(void) CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);

// Task memory: blocks that cross interfaces (strings a method returns, item
// id lists). CoTaskMemFree accepts null.
STDAPI_(LPVOID) CoTaskMemAlloc(SIZE_T cb);
STDAPI_(LPVOID) CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
STDAPI_(void) CoTaskMemFree(LPVOID pv);

// The braced text of a GUID into lpsz (cchMax characters, 39 needed). Returns
// the characters written with the terminator, or 0 when the buffer is short.
STDAPI_(int) StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Parses the braced text of a class id; CO_E_CLASSSTRING on anything else.
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
STDAPI CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);

// ---- what an in-process server module exports -------------------------------------------
//
// DllGetClassObject(rclsid, riid, ppv): the class object of one of the
//   module's classes; CLASS_E_CLASSNOTAVAILABLE for a class it does not serve.
// DllCanUnloadNow(): S_OK when no object of the module is alive and no
//   LockServer lock is held, else S_FALSE. The runtime unloads the module only
//   after S_OK and never while it is being called into.
// DllRegisterServer() / DllUnregisterServer(): write or remove the module's
//   own class registrations; the first failure is returned.
// DllInstall(bInstall, pszCmdLine): registration with a command line ("user"
//   writes below the user's classes); a failed install is undone.
using LPFNGETCLASSOBJECT = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT(STDAPICALLTYPE*)();
using LPFNREGISTERSERVER = HRESULT(STDAPICALLTYPE*)();
using LPFNINSTALL = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);

#endif // !_WIN32

// ---- typed interface requests -------------------------------------------------------------

#include <type_traits>

namespace platform {

// The interface id of an interface type (Get()); specialised beside each
// interface. Ids are constants of each translation unit, never shared data:
// shared (unique) data would keep a module that includes them from ever
// being unloaded.
template <class T>
struct InterfaceId;

template <> struct InterfaceId<IUnknown> { static const IID& Get() { return IID_IUnknown; } };
template <> struct InterfaceId<IClassFactory> { static const IID& Get() { return IID_IClassFactory; } };
template <> struct InterfaceId<IOleWindow> { static const IID& Get() { return IID_IOleWindow; } };
template <> struct InterfaceId<IObjectWithSite> { static const IID& Get() { return IID_IObjectWithSite; } };
template <> struct InterfaceId<IModalWindow> { static const IID& Get() { return IID_IModalWindow; } };

// The untyped form of a typed interface out pointer (only T** is accepted).
template <class T>
void** InterfaceOutPointer(T** pp)
{
    return reinterpret_cast<void**>(pp);
}

} // namespace platform

#if !defined(_WIN32)
// "The id of **pp's interface, pp as void**", as the Windows macro expands.
#define IID_PPV_ARGS(pp)                                                                                   \
    ::platform::InterfaceId<std::remove_cv_t<std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>>>::Get(), \
        ::platform::InterfaceOutPointer(pp)
#endif
