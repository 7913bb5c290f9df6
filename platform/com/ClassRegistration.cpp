#include "platform/com/ClassRegistration.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/KeyCloser.h"
#include "platform/Registry.h"

namespace platform {

namespace {

// A string value (REG_SZ or REG_EXPAND_SZ) up to its first terminator.
LSTATUS ReadString(HKEY key, const char16_t* name, CString& value, DWORD& type)
{
    DWORD size = 0;
    LSTATUS rc = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_INVALID_DATA;
    std::vector<BYTE> data(size + sizeof(char16_t));
    rc = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    std::u16string text(size / sizeof(char16_t), u'\0');
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(text.size() * sizeof(char16_t)),
              reinterpret_cast<BYTE*>(text.data()));
    size_t end = text.find(u'\0');
    if (end != std::u16string::npos)
        text.resize(end);
    value = CString(std::move(text));
    return ERROR_SUCCESS;
}

} // namespace

CString CClassRegistration::ExpandEnvironment(const CString& text)
{
    CString result;
    int pos = 0;
    while (pos < text.GetLength()) {
        int open = text.Find(u'%', pos);
        int close = open < 0 ? -1 : text.Find(u'%', open + 1);
        if (close < 0) {
            result += text.Mid(pos);
            break;
        }
        result += text.Mid(pos, open - pos);
        CString value;
        if (close > open + 1 && EnvironmentVariable(text.Mid(open + 1, close - open - 1), value)) {
            result += value;
            pos = close + 1;
        } else {
            // Not a variable: keep "%NAME" and let its closing '%' start the next one.
            result += text.Mid(open, close - open);
            pos = close;
        }
    }
    return result;
}

HRESULT CClassRegistration::Lookup(REFCLSID clsid, CClassRegistration& registration)
{
    CString path = u"CLSID\\" + GuidToString(clsid) + u"\\InProcServer32";
    HKEY key = nullptr;
    LSTATUS rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key);
    if (rc == ERROR_FILE_NOT_FOUND)
        return REGDB_E_CLASSNOTREG;
    if (rc != ERROR_SUCCESS)
        return REGDB_E_READREGDB;
    CKeyCloser closer(key);

    CString module;
    DWORD type = REG_NONE;
    rc = ReadString(key, nullptr, module, type);
    if (rc == ERROR_FILE_NOT_FOUND)
        return REGDB_E_CLASSNOTREG;
    if (rc != ERROR_SUCCESS)
        return REGDB_E_READREGDB;
    if (type == REG_EXPAND_SZ)
        module = ExpandEnvironment(module);
    if (module.IsEmpty())
        return REGDB_E_CLASSNOTREG;

    CString model;
    registration.m_threadingModel = eSingle;
    if (ReadString(key, u"ThreadingModel", model, type) == ERROR_SUCCESS) {
        if (model.CompareNoCase(u"Apartment") == 0)
            registration.m_threadingModel = eApartment;
        else if (model.CompareNoCase(u"Free") == 0)
            registration.m_threadingModel = eFree;
        else if (model.CompareNoCase(u"Both") == 0)
            registration.m_threadingModel = eBoth;
        else if (model.CompareNoCase(u"Neutral") == 0)
            registration.m_threadingModel = eNeutral;
    }
    registration.m_module = module;
    return S_OK;
}

bool CClassRegistration::CallableFrom(bool singleThreadedApartment) const
{
    switch (m_threadingModel) {
    case eSingle:
    case eApartment:
        return singleThreadedApartment;
    case eFree:
        return !singleThreadedApartment;
    case eBoth:
    case eNeutral:
        return true;
    }
    return false;
}

} // namespace platform
