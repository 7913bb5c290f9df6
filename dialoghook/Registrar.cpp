#include "dialoghook/Registrar.h"

#include "platform/com/Com.h"

namespace {

// An open key, closed when it goes.
class CKeyHolder {
public:
    CKeyHolder() = default;
    ~CKeyHolder()
    {
        if (m_key)
            platform::RegCloseKey(m_key);
    }
    CKeyHolder(const CKeyHolder&) = delete;
    CKeyHolder& operator=(const CKeyHolder&) = delete;
    HKEY* Put() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

HRESULT FromStatus(LSTATUS status)
{
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

LSTATUS SetString(HKEY key, const char16_t* name, const CString& value)
{
    const DWORD bytes = static_cast<DWORD>((value.GetLength() + 1) * sizeof(char16_t));
    return platform::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.GetString()), bytes);
}

// Whether the key has neither sub-keys nor values left.
bool IsEmptyKey(HKEY key)
{
    char16_t name[256];
    DWORD length = 256;
    if (platform::RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        return false;
    length = 256;
    return platform::RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS;
}

} // namespace

bool CRegistrar::Expand(const CString& text, CString& out) const
{
    out.Empty();
    int pos = 0;
    while (pos < text.GetLength()) {
        const int open = text.Find(u'%', pos);
        if (open < 0) {
            out += text.Mid(pos);
            break;
        }
        out += text.Mid(pos, open - pos);
        const int close = text.Find(u'%', open + 1);
        if (close < 0)
            return false;
        const CString name = text.Mid(open + 1, close - open - 1);
        if (name.IsEmpty()) {
            out += u'%';
        } else {
            auto found = m_replacements.find(name);
            if (found == m_replacements.end())
                return false;
            out += found->second;
        }
        pos = close + 1;
    }
    return true;
}

HRESULT CRegistrar::Register(HKEY root, const CString& rootPath, const std::vector<SRegistrarKey>& script) const
{
    CKeyHolder base;
    LSTATUS status = platform::RegCreateKeyExW(root, rootPath.IsEmpty() ? nullptr : rootPath.GetString(), 0, nullptr,
                                               REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE | DELETE, nullptr, base.Put(),
                                               nullptr);
    if (status != ERROR_SUCCESS)
        return FromStatus(status);
    for (const SRegistrarKey& key : script) {
        HRESULT hr = RegisterKey(base.Get(), key);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CRegistrar::RegisterKey(HKEY parent, const SRegistrarKey& key) const
{
    CString name;
    if (!Expand(key.name, name) || name.IsEmpty())
        return E_INVALIDARG;
    if (key.rule == SRegistrarKey::eForceRemove) {
        LSTATUS status = platform::RegDeleteTreeW(parent, name);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return FromStatus(status);
    }
    CKeyHolder opened;
    LSTATUS status = platform::RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_READ | KEY_WRITE | DELETE, nullptr, opened.Put(), nullptr);
    if (status != ERROR_SUCCESS)
        return FromStatus(status);
    CString value;
    if (key.hasDefaultValue) {
        if (!Expand(key.defaultValue, value))
            return E_INVALIDARG;
        if ((status = SetString(opened.Get(), nullptr, value)) != ERROR_SUCCESS)
            return FromStatus(status);
    }
    for (const auto& [valueName, text] : key.values) {
        if (!Expand(text, value))
            return E_INVALIDARG;
        if ((status = SetString(opened.Get(), valueName, value)) != ERROR_SUCCESS)
            return FromStatus(status);
    }
    for (const SRegistrarKey& sub : key.subKeys) {
        HRESULT hr = RegisterKey(opened.Get(), sub);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CRegistrar::Unregister(HKEY root, const CString& rootPath, const std::vector<SRegistrarKey>& script) const
{
    CKeyHolder base;
    LSTATUS status = platform::RegOpenKeyExW(root, rootPath.IsEmpty() ? nullptr : rootPath.GetString(), 0,
                                             KEY_READ | KEY_WRITE | DELETE, base.Put());
    if (status == ERROR_FILE_NOT_FOUND)
        return S_OK;
    if (status != ERROR_SUCCESS)
        return FromStatus(status);
    HRESULT first = S_OK;
    for (const SRegistrarKey& key : script) {
        HRESULT hr = UnregisterKey(base.Get(), key);
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
    }
    return first;
}

HRESULT CRegistrar::UnregisterKey(HKEY parent, const SRegistrarKey& key) const
{
    CString name;
    if (!Expand(key.name, name) || name.IsEmpty())
        return E_INVALIDARG;
    if (key.rule == SRegistrarKey::eForceRemove) {
        LSTATUS status = platform::RegDeleteTreeW(parent, name);
        return status == ERROR_FILE_NOT_FOUND ? S_OK : FromStatus(status);
    }
    CKeyHolder opened;
    LSTATUS status = platform::RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE | DELETE, opened.Put());
    if (status == ERROR_FILE_NOT_FOUND)
        return S_OK;
    if (status != ERROR_SUCCESS)
        return FromStatus(status);
    HRESULT first = S_OK;
    for (const SRegistrarKey& sub : key.subKeys) {
        HRESULT hr = UnregisterKey(opened.Get(), sub);
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
    }
    if (key.rule == SRegistrarKey::eNoRemove)
        return first;
    // The values the script wrote go; the key goes when nothing else is left
    // in it (someone else's values and sub-keys are kept).
    if (key.hasDefaultValue)
        platform::RegDeleteValueW(opened.Get(), nullptr);
    for (const auto& value : key.values)
        platform::RegDeleteValueW(opened.Get(), value.first);
    if (IsEmptyKey(opened.Get())) {
        status = platform::RegDeleteKeyW(parent, name);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(first))
            first = FromStatus(status);
    }
    return first;
}
