// CVeilshim: the common base of the objects that stand in for the system's
// Open and Save dialogs. It creates the real system dialog from the system
// dialog module's own class-object entry, keeps it for its whole life and
// passes every call through, puts itself between the system dialog and the
// application's event sink, lists encrypted files under every file type,
// and finds the side-file that ties a working copy to its encrypted
// original. The derived classes decide what happens on confirmation.
#pragma once

#include <atomic>
#include <new>

#include "platform/CString.h"
#include "platform/com/ComPtr.h"
#include "platform/shell/FileDialogApi.h"

class COrvException;

class CVeilshim : public IFileOpenDialog,
                  public IFileSaveDialog,
                  public IFileDialogCustomize,
                  public IFileDialogEvents,
                  public IFileDialogControlEvents {
public:
    // Control ids and texts of what the wrappers add to the system dialog.
    static constexpr DWORD ciGroupId = 4700;
    static constexpr DWORD ciEncryptCheckId = 4711;
    static constexpr DWORD ciKeysLabelId = 4712;
    static constexpr DWORD ciSeparatorId = 111;
    static constexpr const char16_t* cszGroupLabel = u"veilcase";
    // The side-file of a working copy: its path plus this suffix, an INI file
    // with one section.
    static constexpr const char16_t* cszSideFileSuffix = u".veilcase";
    static constexpr const char16_t* cszSideFileSection = u"veilcase";
    static constexpr const char16_t* cszOriginalFilenameKey = u"OriginalFilename";
    static constexpr const char16_t* cszUsedKeysKey = u"UsedKeys";

    // The class objects' creation: a new `T` (plain, or aggregated into
    // `pUnkOuter`, which may then only ask for IUnknown) asked for `riid`.
    template <class T>
    static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv);

    // Whether a dialog of this library has been shown in this process (its
    // windows may then still reach the library's code).
    static bool HasShownWindows() { return s_bShownWindows.load(); }

    // Creates a system dialog (Open when `bOpen`, else Save) from the system
    // dialog module's own DllGetClassObject, never through the class
    // registrations, which may name this library. Null (with the reason in
    // the log) when the module or its class object is missing.
    static platform::ComPtr<IFileDialog> CreateSystemDialog(bool bOpen);
    // The file-system path of a shell item; empty when it has none.
    static CString PathOfItem(IShellItem* item);

    // ---- IUnknown: to the controlling object (the outer one when aggregated) -----------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ---- IModalWindow / IFileDialog ------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE Show(HWND hwndOwner) override = 0;
    HRESULT STDMETHODCALLTYPE SetFileTypes(UINT cFileTypes, const COMDLG_FILTERSPEC* rgFilterSpec) override;
    HRESULT STDMETHODCALLTYPE SetFileTypeIndex(UINT iFileType) override;
    HRESULT STDMETHODCALLTYPE GetFileTypeIndex(UINT* piFileType) override;
    HRESULT STDMETHODCALLTYPE Advise(IFileDialogEvents* pfde, DWORD* pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    HRESULT STDMETHODCALLTYPE SetOptions(FILEOPENDIALOGOPTIONS fos) override;
    HRESULT STDMETHODCALLTYPE GetOptions(FILEOPENDIALOGOPTIONS* pfos) override;
    HRESULT STDMETHODCALLTYPE SetDefaultFolder(IShellItem* psi) override;
    HRESULT STDMETHODCALLTYPE SetFolder(IShellItem* psi) override;
    HRESULT STDMETHODCALLTYPE GetFolder(IShellItem** ppsi) override;
    HRESULT STDMETHODCALLTYPE GetCurrentSelection(IShellItem** ppsi) override;
    HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR pszName) override;
    HRESULT STDMETHODCALLTYPE GetFileName(LPWSTR* pszName) override;
    HRESULT STDMETHODCALLTYPE SetTitle(LPCWSTR pszTitle) override;
    HRESULT STDMETHODCALLTYPE SetOkButtonLabel(LPCWSTR pszText) override;
    HRESULT STDMETHODCALLTYPE SetFileNameLabel(LPCWSTR pszLabel) override;
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem** ppsi) override = 0;
    HRESULT STDMETHODCALLTYPE AddPlace(IShellItem* psi, FDAP fdap) override;
    HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR pszDefaultExtension) override;
    HRESULT STDMETHODCALLTYPE Close(HRESULT hr) override;
    HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID guid) override;
    HRESULT STDMETHODCALLTYPE ClearClientData() override;
    HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter* pFilter) override;

    // ---- IFileOpenDialog ----------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetResults(IShellItemArray** ppenum) override;
    HRESULT STDMETHODCALLTYPE GetSelectedItems(IShellItemArray** ppsai) override;

    // ---- IFileSaveDialog -------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SetSaveAsItem(IShellItem* psi) override;
    HRESULT STDMETHODCALLTYPE SetProperties(IPropertyStore* pStore) override;
    HRESULT STDMETHODCALLTYPE SetCollectedProperties(IPropertyDescriptionList* pList, BOOL fAppendDefault) override;
    HRESULT STDMETHODCALLTYPE GetProperties(IPropertyStore** ppStore) override;
    HRESULT STDMETHODCALLTYPE ApplyProperties(IShellItem* psi, IPropertyStore* pStore, HWND hwnd,
                                              IFileOperationProgressSink* pSink) override;

    // ---- IFileDialogCustomize ---------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE EnableOpenDropDown(DWORD dwIDCtl) override;
    HRESULT STDMETHODCALLTYPE AddMenu(DWORD dwIDCtl, LPCWSTR pszLabel) override;
    HRESULT STDMETHODCALLTYPE AddPushButton(DWORD dwIDCtl, LPCWSTR pszLabel) override;
    HRESULT STDMETHODCALLTYPE AddComboBox(DWORD dwIDCtl) override;
    HRESULT STDMETHODCALLTYPE AddRadioButtonList(DWORD dwIDCtl) override;
    HRESULT STDMETHODCALLTYPE AddCheckButton(DWORD dwIDCtl, LPCWSTR pszLabel, BOOL bChecked) override;
    HRESULT STDMETHODCALLTYPE AddEditBox(DWORD dwIDCtl, LPCWSTR pszText) override;
    HRESULT STDMETHODCALLTYPE AddSeparator(DWORD dwIDCtl) override;
    HRESULT STDMETHODCALLTYPE AddText(DWORD dwIDCtl, LPCWSTR pszText) override;
    HRESULT STDMETHODCALLTYPE SetControlLabel(DWORD dwIDCtl, LPCWSTR pszLabel) override;
    HRESULT STDMETHODCALLTYPE GetControlState(DWORD dwIDCtl, CDCONTROLSTATEF* pdwState) override;
    HRESULT STDMETHODCALLTYPE SetControlState(DWORD dwIDCtl, CDCONTROLSTATEF dwState) override;
    HRESULT STDMETHODCALLTYPE GetEditBoxText(DWORD dwIDCtl, WCHAR** ppszText) override;
    HRESULT STDMETHODCALLTYPE SetEditBoxText(DWORD dwIDCtl, LPCWSTR pszText) override;
    HRESULT STDMETHODCALLTYPE GetCheckButtonState(DWORD dwIDCtl, BOOL* pbChecked) override;
    HRESULT STDMETHODCALLTYPE SetCheckButtonState(DWORD dwIDCtl, BOOL bChecked) override;
    HRESULT STDMETHODCALLTYPE AddControlItem(DWORD dwIDCtl, DWORD dwIDItem, LPCWSTR pszLabel) override;
    HRESULT STDMETHODCALLTYPE RemoveControlItem(DWORD dwIDCtl, DWORD dwIDItem) override;
    HRESULT STDMETHODCALLTYPE RemoveAllControlItems(DWORD dwIDCtl) override;
    HRESULT STDMETHODCALLTYPE GetControlItemState(DWORD dwIDCtl, DWORD dwIDItem, CDCONTROLSTATEF* pdwState) override;
    HRESULT STDMETHODCALLTYPE SetControlItemState(DWORD dwIDCtl, DWORD dwIDItem, CDCONTROLSTATEF dwState) override;
    HRESULT STDMETHODCALLTYPE GetSelectedControlItem(DWORD dwIDCtl, DWORD* pdwIDItem) override;
    HRESULT STDMETHODCALLTYPE SetSelectedControlItem(DWORD dwIDCtl, DWORD dwIDItem) override;
    HRESULT STDMETHODCALLTYPE StartVisualGroup(DWORD dwIDCtl, LPCWSTR pszLabel) override;
    HRESULT STDMETHODCALLTYPE EndVisualGroup() override;
    HRESULT STDMETHODCALLTYPE MakeProminent(DWORD dwIDCtl) override;
    HRESULT STDMETHODCALLTYPE SetControlItemText(DWORD dwIDCtl, DWORD dwIDItem, LPCWSTR pszLabel) override;

    // ---- IFileDialogEvents: relayed to the application's sink -----------------------------------
    // Each calls the application's sink (if any) with this object in place
    // of the system dialog, ignores its answer and returns S_OK.
    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog* pfd) override;
    HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog* pfd, IShellItem* psiFolder) override;
    HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* pfd) override;
    HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog* pfd) override;
    HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog* pfd, IShellItem* psi,
                                               FDE_SHAREVIOLATION_RESPONSE* pResponse) override;
    HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog* pfd) override;
    HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog* pfd, IShellItem* psi, FDE_OVERWRITE_RESPONSE* pResponse) override;

    // ---- IFileDialogControlEvents: never passed to the application ----------------------------
    HRESULT STDMETHODCALLTYPE OnItemSelected(IFileDialogCustomize* pfdc, DWORD dwIDCtl, DWORD dwIDItem) override;
    HRESULT STDMETHODCALLTYPE OnButtonClicked(IFileDialogCustomize* pfdc, DWORD dwIDCtl) override;
    HRESULT STDMETHODCALLTYPE OnCheckButtonToggled(IFileDialogCustomize* pfdc, DWORD dwIDCtl, BOOL bChecked) override;
    HRESULT STDMETHODCALLTYPE OnControlActivating(IFileDialogCustomize* pfdc, DWORD dwIDCtl) override;

    // ---- the side-file ------------------------------------------------------------------------
    // Where working copies live as this lookup sees it: the stored
    // "GPGWorkingDir" when there is one, else the private temporary folder's
    // "veilcase", with links resolved where it exists. Nothing is created.
    static CString SideFileWorkingDir();
    // Whether `path` is `folder` or lies below it, comparing whole path
    // components (a folder named like `folder` plus a suffix is outside).
    static bool IsPathInside(const CString& path, const CString& folder);
    // A value of the side-file's section; empty when the file, section or key
    // is missing (at most 2047 characters are taken).
    static CString ReadSideFileValue(const CString& sideFile, const char16_t* key);

    // The side-file that belongs to where the dialog starts: the first side
    // file in the dialog's folder (or else the current folder) when that lies
    // in the working directory; otherwise the one named after the dialog's
    // file name found deepest in the working directory tree (the last found
    // wins). A folder path when none is found.
    CString FindSideFile();
    // The same for a dialog showing `folder` with `fileName` in its name box.
    static CString FindSideFileFor(const CString& folder, const CString& fileName);

protected:
    explicit CVeilshim(IUnknown* pUnkOuter);
    virtual ~CVeilshim();

    // Creates the system dialog of the kind `bOpen` from the system dialog
    // module's own DllGetClassObject (never through the class registrations,
    // which name this library). A failure leaves the object without one.
    void CreateInnerDialog(bool bOpen);

    // The face given out for IUnknown and IFileDialog.
    IFileDialog* PrimaryFace() { return static_cast<IFileOpenDialog*>(this); }

    // The steps shared by both Show overrides: BeginShow marks the library
    // as having shown a window and stores the owner; AdviseSelf advises this
    // object's event face to the system dialog; ShowSystemDialog shows it and
    // unadvises again, returning what its Show returned.
    void BeginShow(HWND hwndOwner);
    void AdviseSelf();
    HRESULT ShowSystemDialog(HWND hwndOwner);

    // Points the dialog at the encrypted original of the side-file `side`
    // ("OriginalFilename"): its folder and its name. Does nothing when the
    // value is shorter than 4 characters or its folder can't be parsed.
    void PrefillOriginalLocation(const CString& side);

    // Shows an error raised inside a COM call and deletes it; with
    // `offerSettings`, the errors of a missing background program or GnuPG
    // configuration are followed by the settings dialog so that the user can
    // repair them.
    static void ReportException(COrvException* error, bool offerSettings = true);
    // The settings dialog, modal and without parent, so that the user can
    // repair the configuration after an error that names it.
    static void ShowSettingsForRepair();
    // Shows an error nobody anticipated (message 2001) for `source`.
    static void ReportUnexpected(const char* source, UINT line);

    ULONG m_dwCookie = 0;
    platform::ComPtr<IFileDialog> m_pDialog;
    platform::ComPtr<IFileOpenDialog> m_pOpenDialog;
    platform::ComPtr<IFileSaveDialog> m_pSaveDialog;
    platform::ComPtr<IFileDialogCustomize> m_pCustomize;
    platform::ComPtr<IFileDialogEvents> m_pEvents;
    bool m_bOpen = false;
    HWND m_hwndOwner = nullptr;

private:
    // The object's own IUnknown: counts references and answers by the
    // interface table. When aggregated it is what the outer object holds.
    class CInnerUnknown : public IUnknown {
    public:
        explicit CInnerUnknown(CVeilshim& owner) : m_owner(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        CVeilshim& m_owner;
    };

    void* FindInterface(REFIID riid);
    HRESULT InternalQueryInterface(REFIID riid, void** ppv);
    CString CurrentFolderPath();
    CString CurrentFileName();
    // The first side-file in `folder`, else `folder`.
    static CString SearchFolder(const CString& folder);
    // The side-file named `target` in the tree below `workingDir` (the last
    // found wins), else `workingDir`.
    static CString SearchTree(const CString& workingDir, const CString& target);

    CInnerUnknown m_inner;
    IUnknown* m_pControlling;
    bool m_bAggregated;
    ULONG m_refs = 1; // apartment object: a plain counter

    static std::atomic<bool> s_bShownWindows;
};

template <class T>
HRESULT CVeilshim::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    T* object = nullptr;
    try {
        object = new T(pUnkOuter);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    // The object starts with one reference of its own; the answer adds the
    // caller's, and a failed answer leaves none, so the object goes.
    IUnknown* inner = &static_cast<CVeilshim*>(object)->m_inner;
    HRESULT hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
}
