// The registration of one class as the runtime reads it from
// HKEY_CLASSES_ROOT "CLSID\{clsid}\InProcServer32": the module that serves
// it and the threading model it declares. The user's "Software\Classes"
// overrides the fixed machine part there.
#pragma once

#include "platform/CString.h"
#include "platform/com/Com.h"

namespace platform {

class CClassRegistration {
public:
    // How the class wants to be called.
    enum EThreadingModel {
        eSingle,    // no value: the main single-threaded apartment
        eApartment, // "Apartment"
        eFree,      // "Free"
        eBoth,      // "Both"
        eNeutral,   // "Neutral"
    };

    // Reads the registration. Returns S_OK, REGDB_E_CLASSNOTREG when the class
    // has no in-process server key or its module value is empty, or
    // REGDB_E_READREGDB when the value cannot be read as a string. A
    // REG_EXPAND_SZ module value has its %VARIABLE% references expanded.
    static HRESULT Lookup(REFCLSID clsid, CClassRegistration& registration);

    const CString& Module() const { return m_module; }
    EThreadingModel ThreadingModel() const { return m_threadingModel; }
    // Whether an apartment of this kind may call objects of the class
    // directly (without marshalling, which this runtime does not do).
    bool CallableFrom(bool singleThreadedApartment) const;

    // %NAME% references replaced by the environment's values; unknown names
    // and a lone '%' stay as written, as Windows leaves them.
    static CString ExpandEnvironment(const CString& text);

private:
    CString m_module;
    EThreadingModel m_threadingModel = eSingle;
};

} // namespace platform
