#include "platform/shell/ShellItem.h"

#include <algorithm>
#include <new>

#include "platform/FileSystem.h"

namespace platform {

LPWSTR CoTaskMemString(const CString& text)
{
    size_t units = static_cast<size_t>(text.GetLength()) + 1;
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(units * sizeof(WCHAR)));
    if (copy)
        std::copy(text.GetString(), text.GetString() + units, copy);
    return copy;
}

ComPtr<IShellItem> CShellItem::Create(const CString& normalPath)
{
    auto* item = new (std::nothrow) CShellItem(normalPath);
    return ComPtr<IShellItem>::Attach(item);
}

bool CShellItem::PathOf(IShellItem* item, CString& path)
{
    if (!item)
        return false;
    LPWSTR name = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) || !name)
        return false;
    path = CString(name);
    CoTaskMemFree(name);
    return true;
}

void* CShellItem::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IShellItem)
        return static_cast<IShellItem*>(this);
    return nullptr;
}

CString CShellItem::Name() const
{
    if (m_path == u"/")
        return m_path;
    return m_path.Mid(m_path.ReverseFind(u'/') + 1);
}

CString CShellItem::FileUrl(const CString& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path.ToUtf8()) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0xF];
        }
    }
    return CString::FromUtf8(url);
}

HRESULT CShellItem::BindToHandler(IBindCtx*, REFGUID, REFIID, void** ppv)
{
    // No handlers (streams, storages, enumerations) exist for items here.
    if (ppv)
        *ppv = nullptr;
    return MK_E_NOOBJECT;
}

HRESULT CShellItem::GetParent(IShellItem** ppsi)
{
    if (!ppsi)
        return E_POINTER;
    *ppsi = nullptr;
    if (m_path == u"/")
        return MK_E_NOOBJECT;
    int slash = m_path.ReverseFind(u'/');
    ComPtr<IShellItem> parent = Create(slash == 0 ? CString(u"/") : m_path.Left(slash));
    if (!parent)
        return E_OUTOFMEMORY;
    *ppsi = parent.Detach();
    return S_OK;
}

HRESULT CShellItem::GetDisplayName(SIGDN sigdnName, LPWSTR* ppszName)
{
    if (!ppszName)
        return E_POINTER;
    *ppszName = nullptr;
    CString name;
    switch (sigdnName) {
    case SIGDN_FILESYSPATH:
    case SIGDN_DESKTOPABSOLUTEPARSING:
    case SIGDN_DESKTOPABSOLUTEEDITING:
        name = m_path;
        break;
    case SIGDN_NORMALDISPLAY:
    case SIGDN_PARENTRELATIVEPARSING:
    case SIGDN_PARENTRELATIVEEDITING:
    case SIGDN_PARENTRELATIVEFORADDRESSBAR:
    case SIGDN_PARENTRELATIVE:
    case SIGDN_PARENTRELATIVEFORUI:
        name = Name();
        break;
    case SIGDN_URL:
        name = FileUrl(m_path);
        break;
    default:
        return E_INVALIDARG;
    }
    *ppszName = CoTaskMemString(name);
    return *ppszName ? S_OK : E_OUTOFMEMORY;
}

SFGAOF CShellItem::AttributesOfPath(const CString& normalPath)
{
    SFGAOF result = SFGAO_FILESYSTEM;
    DWORD attributes = platform::GetAttributes(normalPath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return result;
    result |= SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        result |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_STORAGE | SFGAO_BROWSABLE;
    else
        result |= SFGAO_STREAM;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        result |= SFGAO_LINK;
    if (attributes & FILE_ATTRIBUTE_HIDDEN)
        result |= SFGAO_HIDDEN;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        result |= SFGAO_READONLY;
    return result;
}

HRESULT CShellItem::GetAttributes(SFGAOF sfgaoMask, SFGAOF* psfgaoAttribs)
{
    if (!psfgaoAttribs)
        return E_POINTER;
    *psfgaoAttribs = AttributesOfPath(m_path) & sfgaoMask;
    // S_OK only when every attribute asked for is present.
    return *psfgaoAttribs == sfgaoMask ? S_OK : S_FALSE;
}

HRESULT CShellItem::Compare(IShellItem* psi, SICHINTF, int* piOrder)
{
    if (!piOrder)
        return E_POINTER;
    *piOrder = 0;
    CString other;
    if (!psi || !PathOf(psi, other))
        return E_INVALIDARG;
    // File names on this system are case-sensitive, so paths compare exactly.
    int order = m_path.Compare(other);
    *piOrder = order < 0 ? -1 : order > 0 ? 1 : 0;
    return order == 0 ? S_OK : S_FALSE;
}

} // namespace platform
