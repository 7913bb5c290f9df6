// A shell item for one file-system path, existing or not.
#pragma once

#include "platform/CString.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ServerModule.h"
#include "platform/shell/ShellApi.h"

namespace platform {

class CShellItem : public CComObjectBase<CShellItem, IShellItem> {
public:
    // An item for a normalised absolute path (see CItemIdList::NormalPath).
    static ComPtr<IShellItem> Create(const CString& normalPath);

    // The file-system path of any shell item (through SIGDN_FILESYSPATH).
    // Returns false when the item has none.
    static bool PathOf(IShellItem* item, CString& path);

    void* FindInterface(REFIID riid);

    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx* pbc, REFGUID bhid, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE GetParent(IShellItem** ppsi) override;
    HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN sigdnName, LPWSTR* ppszName) override;
    HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF sfgaoMask, SFGAOF* psfgaoAttribs) override;
    HRESULT STDMETHODCALLTYPE Compare(IShellItem* psi, SICHINTF hint, int* piOrder) override;

    // The attributes of a path as the item reports them: SFGAO_FILESYSTEM
    // always; for an existing folder SFGAO_FOLDER, SFGAO_FILESYSANCESTOR,
    // SFGAO_STORAGE and SFGAO_BROWSABLE; for an existing file SFGAO_STREAM;
    // SFGAO_LINK, SFGAO_HIDDEN (a name starting with '.') and SFGAO_READONLY
    // as they apply; the copy, move, rename and delete capabilities.
    static SFGAOF AttributesOfPath(const CString& normalPath);

private:
    explicit CShellItem(const CString& normalPath) : m_path(normalPath) {}

    CString Name() const;
    static CString FileUrl(const CString& path);

    CString m_path;
};

// A copy of `text` in task memory (zero-terminated), or null.
LPWSTR CoTaskMemString(const CString& text);

} // namespace platform
