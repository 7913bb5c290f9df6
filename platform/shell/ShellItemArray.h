// An ordered, fixed array of shell items.
#pragma once

#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/ServerModule.h"
#include "platform/shell/ShellApi.h"

namespace platform {

class CShellItemArray : public CComObjectBase<CShellItemArray, IShellItemArray> {
public:
    static ComPtr<IShellItemArray> Create(std::vector<ComPtr<IShellItem>> items);

    void* FindInterface(REFIID riid);

    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx* pbc, REFGUID bhid, REFIID riid, void** ppvOut) override;
    HRESULT STDMETHODCALLTYPE GetPropertyStore(GETPROPERTYSTOREFLAGS flags, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE GetPropertyDescriptionList(REFPROPERTYKEY keyType, REFIID riid, void** ppv) override;
    // SIATTRIBFLAGS_AND (and APPCOMPAT): attributes every item has;
    // SIATTRIBFLAGS_OR: attributes any item has. S_OK when the result equals
    // the mask, else S_FALSE.
    HRESULT STDMETHODCALLTYPE GetAttributes(SIATTRIBFLAGS AttribFlags, SFGAOF sfgaoMask,
                                            SFGAOF* psfgaoAttribs) override;
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* pdwNumItems) override;
    HRESULT STDMETHODCALLTYPE GetItemAt(DWORD dwIndex, IShellItem** ppsi) override;
    HRESULT STDMETHODCALLTYPE EnumItems(IEnumShellItems** ppenumShellItems) override;

private:
    explicit CShellItemArray(std::vector<ComPtr<IShellItem>> items) : m_items(std::move(items)) {}

    std::vector<ComPtr<IShellItem>> m_items;
};

} // namespace platform
