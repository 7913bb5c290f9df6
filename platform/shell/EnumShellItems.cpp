#include "platform/shell/EnumShellItems.h"

#include <algorithm>
#include <new>

namespace platform {

ComPtr<IEnumShellItems> CEnumShellItems::Create(std::vector<ComPtr<IShellItem>> items, size_t position)
{
    return ComPtr<IEnumShellItems>::Attach(new (std::nothrow) CEnumShellItems(std::move(items), position));
}

void* CEnumShellItems::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IEnumShellItems)
        return static_cast<IEnumShellItems*>(this);
    return nullptr;
}

HRESULT CEnumShellItems::Next(ULONG celt, IShellItem** rgelt, ULONG* pceltFetched)
{
    if (!rgelt || (celt > 1 && !pceltFetched))
        return E_INVALIDARG;
    ULONG fetched = 0;
    while (fetched < celt && m_position < m_items.size())
        m_items[m_position++].CopyTo(&rgelt[fetched++]);
    if (pceltFetched)
        *pceltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
}

HRESULT CEnumShellItems::Skip(ULONG celt)
{
    size_t left = m_items.size() - m_position;
    m_position += std::min<size_t>(celt, left);
    return celt <= left ? S_OK : S_FALSE;
}

HRESULT CEnumShellItems::Reset()
{
    m_position = 0;
    return S_OK;
}

HRESULT CEnumShellItems::Clone(IEnumShellItems** ppenum)
{
    if (!ppenum)
        return E_POINTER;
    *ppenum = Create(m_items, m_position).Detach();
    return *ppenum ? S_OK : E_OUTOFMEMORY;
}

} // namespace platform
