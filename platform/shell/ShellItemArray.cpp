#include "platform/shell/ShellItemArray.h"

#include <new>

#include "platform/shell/EnumShellItems.h"

namespace platform {

ComPtr<IShellItemArray> CShellItemArray::Create(std::vector<ComPtr<IShellItem>> items)
{
    return ComPtr<IShellItemArray>::Attach(new (std::nothrow) CShellItemArray(std::move(items)));
}

void* CShellItemArray::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IShellItemArray)
        return static_cast<IShellItemArray*>(this);
    return nullptr;
}

// There are no handlers and no property system for items here.
HRESULT CShellItemArray::BindToHandler(IBindCtx*, REFGUID, REFIID, void** ppvOut)
{
    if (ppvOut)
        *ppvOut = nullptr;
    return MK_E_NOOBJECT;
}

HRESULT CShellItemArray::GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void** ppv)
{
    if (ppv)
        *ppv = nullptr;
    return E_NOTIMPL;
}

HRESULT CShellItemArray::GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void** ppv)
{
    if (ppv)
        *ppv = nullptr;
    return E_NOTIMPL;
}

HRESULT CShellItemArray::GetAttributes(SIATTRIBFLAGS AttribFlags, SFGAOF sfgaoMask, SFGAOF* psfgaoAttribs)
{
    if (!psfgaoAttribs)
        return E_POINTER;
    bool any = (AttribFlags & SIATTRIBFLAGS_MASK) == SIATTRIBFLAGS_OR;
    SFGAOF result = any ? 0 : sfgaoMask;
    for (const auto& item : m_items) {
        SFGAOF attributes = 0;
        item->GetAttributes(sfgaoMask, &attributes);
        result = any ? (result | attributes) : (result & attributes);
    }
    if (m_items.empty())
        result = 0;
    *psfgaoAttribs = result;
    return result == sfgaoMask ? S_OK : S_FALSE;
}

HRESULT CShellItemArray::GetCount(DWORD* pdwNumItems)
{
    if (!pdwNumItems)
        return E_POINTER;
    *pdwNumItems = static_cast<DWORD>(m_items.size());
    return S_OK;
}

HRESULT CShellItemArray::GetItemAt(DWORD dwIndex, IShellItem** ppsi)
{
    if (!ppsi)
        return E_POINTER;
    *ppsi = nullptr;
    if (dwIndex >= m_items.size())
        return E_INVALIDARG;
    return m_items[dwIndex].CopyTo(ppsi);
}

HRESULT CShellItemArray::EnumItems(IEnumShellItems** ppenumShellItems)
{
    if (!ppenumShellItems)
        return E_POINTER;
    *ppenumShellItems = CEnumShellItems::Create(m_items).Detach();
    return *ppenumShellItems ? S_OK : E_OUTOFMEMORY;
}

} // namespace platform
