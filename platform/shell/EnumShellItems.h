// An enumerator over a fixed list of shell items.
#pragma once

#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/ServerModule.h"
#include "platform/shell/ShellApi.h"

namespace platform {

class CEnumShellItems : public CComObjectBase<CEnumShellItems, IEnumShellItems> {
public:
    static ComPtr<IEnumShellItems> Create(std::vector<ComPtr<IShellItem>> items, size_t position = 0);

    void* FindInterface(REFIID riid);

    // Up to celt items; S_OK when celt were fetched, S_FALSE when fewer.
    // pceltFetched may be null only when celt is 1 (E_INVALIDARG otherwise).
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IShellItem** rgelt, ULONG* pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumShellItems** ppenum) override;

private:
    CEnumShellItems(std::vector<ComPtr<IShellItem>> items, size_t position)
        : m_items(std::move(items)), m_position(position)
    {
    }

    std::vector<ComPtr<IShellItem>> m_items;
    size_t m_position;
};

} // namespace platform
