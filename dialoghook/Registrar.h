// CRegistrar: runs a registrar script (a tree of registry keys with default
// values, named string values and removal rules) on the registry store, in
// registration or in removal mode, with %NAME% placeholders replaced.
#pragma once

#include <map>
#include <vector>

#include "platform/CString.h"
#include "platform/Registry.h"
#include "platform/com/Com.h"

// One key of a script.
struct SRegistrarKey {
    // How removal treats the key.
    enum ERule {
        eNormal,      // created when missing; removed once its sub-keys and values are gone
        eForceRemove, // deleted with everything below it before it is written, and on removal
        eNoRemove,    // created when missing, never deleted (its sub-keys are still processed)
    };

    CString name;                // may hold placeholders
    ERule rule = eNormal;
    bool hasDefaultValue = false;
    CString defaultValue;        // REG_SZ, may hold placeholders
    std::vector<std::pair<CString, CString>> values; // named REG_SZ values
    std::vector<SRegistrarKey> subKeys;
};

class CRegistrar {
public:
    // Text put in for "%NAME%" (the name without the percent signs). "%%"
    // stands for one percent sign; an unknown name is an error.
    void AddReplacement(const CString& name, const CString& value) { m_replacements[name] = value; }

    // Writes the keys below `root` + `rootPath`. Returns S_OK or the first
    // failure as an HRESULT (what was written before it stays).
    HRESULT Register(HKEY root, const CString& rootPath, const std::vector<SRegistrarKey>& script) const;
    // Removes what the script wrote. Missing keys are no failure.
    HRESULT Unregister(HKEY root, const CString& rootPath, const std::vector<SRegistrarKey>& script) const;

    // `text` with its placeholders replaced; false for an unknown or
    // unterminated placeholder.
    bool Expand(const CString& text, CString& out) const;

private:
    HRESULT RegisterKey(HKEY parent, const SRegistrarKey& key) const;
    HRESULT UnregisterKey(HKEY parent, const SRegistrarKey& key) const;

    std::map<CString, CString> m_replacements;
};
