// The shell's exported functions for item id lists and items.
#include "platform/shell/ShellApi.h"

#include <cstring>

#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellItem.h"
#include "platform/shell/ShellItemArray.h"

using platform::CItemIdList;
using platform::ComPtr;

namespace {

// The normalised path of an existing item, or the error SHParseDisplayName gives.
HRESULT ParseExistingPath(PCWSTR name, CString& path)
{
    if (!name)
        return E_INVALIDARG;
    path = CItemIdList::NormalPath(CString(name));
    if (path.IsEmpty())
        return E_INVALIDARG;
    if (platform::GetAttributes(path) != INVALID_FILE_ATTRIBUTES)
        return S_OK;
    int slash = path.ReverseFind(u'/');
    CString folder = slash <= 0 ? CString(u"/") : path.Left(slash);
    DWORD folderAttributes = platform::GetAttributes(folder);
    bool folderExists = folderAttributes != INVALID_FILE_ATTRIBUTES && (folderAttributes & FILE_ATTRIBUTE_DIRECTORY);
    return HRESULT_FROM_WIN32(folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
}

HRESULT ItemForPath(const CString& path, REFIID riid, void** ppv)
{
    ComPtr<IShellItem> item = platform::CShellItem::Create(path);
    if (!item)
        return E_OUTOFMEMORY;
    return item->QueryInterface(riid, ppv);
}

} // namespace

STDAPI SHParseDisplayName(PCWSTR pszName, IBindCtx*, PIDLIST_ABSOLUTE* ppidl, SFGAOF sfgaoIn, SFGAOF* psfgaoOut)
{
    if (!ppidl)
        return E_POINTER;
    *ppidl = nullptr;
    if (psfgaoOut)
        *psfgaoOut = 0;
    CString path;
    HRESULT hr = ParseExistingPath(pszName, path);
    if (FAILED(hr))
        return hr;
    *ppidl = CItemIdList::FromPath(path);
    if (!*ppidl)
        return E_OUTOFMEMORY;
    if (psfgaoOut)
        *psfgaoOut = platform::CShellItem::AttributesOfPath(path) & sfgaoIn;
    return S_OK;
}

STDAPI_(PIDLIST_ABSOLUTE) SHSimpleIDListFromPath(PCWSTR pszPath)
{
    if (!pszPath)
        return nullptr;
    CString path = CItemIdList::NormalPath(CString(pszPath));
    return path.IsEmpty() ? nullptr : CItemIdList::FromPath(path);
}

STDAPI SHCreateItemFromIDList(PCIDLIST_ABSOLUTE pidl, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CString path;
    if (!CItemIdList::ToPath(pidl, path))
        return E_INVALIDARG;
    return ItemForPath(path, riid, ppv);
}

STDAPI SHCreateItemFromParsingName(PCWSTR pszPath, IBindCtx*, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CString path;
    HRESULT hr = ParseExistingPath(pszPath, path);
    if (FAILED(hr))
        return hr;
    return ItemForPath(path, riid, ppv);
}

STDAPI SHGetIDListFromObject(IUnknown* punk, PIDLIST_ABSOLUTE* ppidl)
{
    if (!ppidl)
        return E_POINTER;
    *ppidl = nullptr;
    if (!punk)
        return E_INVALIDARG;
    ComPtr<IShellItem> item;
    HRESULT hr = punk->QueryInterface(IID_IShellItem, item.PutVoid());
    if (FAILED(hr))
        return hr;
    CString path;
    if (!platform::CShellItem::PathOf(item.Get(), path))
        return E_FAIL;
    path = CItemIdList::NormalPath(path);
    if (path.IsEmpty())
        return E_FAIL;
    *ppidl = CItemIdList::FromPath(path);
    return *ppidl ? S_OK : E_OUTOFMEMORY;
}

STDAPI SHCreateShellItemArrayFromIDLists(UINT cidl, PCIDLIST_ABSOLUTE_ARRAY rgpidl, IShellItemArray** ppsiItemArray)
{
    if (!ppsiItemArray)
        return E_POINTER;
    *ppsiItemArray = nullptr;
    if (cidl == 0 || !rgpidl)
        return E_INVALIDARG;
    std::vector<ComPtr<IShellItem>> items;
    items.reserve(cidl);
    for (UINT i = 0; i < cidl; ++i) {
        CString path;
        if (!CItemIdList::ToPath(rgpidl[i], path))
            return E_INVALIDARG;
        ComPtr<IShellItem> item = platform::CShellItem::Create(path);
        if (!item)
            return E_OUTOFMEMORY;
        items.push_back(std::move(item));
    }
    *ppsiItemArray = platform::CShellItemArray::Create(std::move(items)).Detach();
    return *ppsiItemArray ? S_OK : E_OUTOFMEMORY;
}

STDAPI SHCreateShellItemArrayFromShellItem(IShellItem* psi, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!psi)
        return E_INVALIDARG;
    ComPtr<IShellItemArray> array = platform::CShellItemArray::Create({ComPtr<IShellItem>(psi)});
    if (!array)
        return E_OUTOFMEMORY;
    return array->QueryInterface(riid, ppv);
}

STDAPI_(BOOL) SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR pszPath)
{
    if (!pszPath)
        return FALSE;
    pszPath[0] = 0;
    CString path;
    if (!CItemIdList::ToPath(pidl, path) || path.GetLength() >= MAX_PATH)
        return FALSE;
    std::memcpy(pszPath, path.GetString(), (static_cast<size_t>(path.GetLength()) + 1) * sizeof(WCHAR));
    return TRUE;
}

STDAPI_(void) ILFree(PIDLIST_RELATIVE pidl)
{
    CoTaskMemFree(pidl);
}

STDAPI_(PIDLIST_RELATIVE) ILClone(PCUIDLIST_RELATIVE pidl)
{
    return CItemIdList::Clone(pidl);
}

STDAPI_(UINT) ILGetSize(PCUIDLIST_RELATIVE pidl)
{
    return CItemIdList::Size(pidl);
}

STDAPI_(BOOL) ILIsEqual(PCIDLIST_ABSOLUTE pidl1, PCIDLIST_ABSOLUTE pidl2)
{
    CString a, b;
    return CItemIdList::ToPath(pidl1, a) && CItemIdList::ToPath(pidl2, b) && a == b;
}
