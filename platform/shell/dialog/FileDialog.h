// The system's Open and Save dialog object: IFileOpenDialog (or
// IFileSaveDialog), IFileDialogCustomize, IOleWindow and IObjectWithSite over
// one dialog session, with the application's event sinks (Advise cookies)
// and the window that shows the session while Show runs.
#pragma once

#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/ServerModule.h"
#include "platform/shell/FileDialogApi.h"
#include "platform/shell/dialog/FileDialogSession.h"

namespace platform {

class IFileDialogWindow;

class CFileDialog : public CComObjectBase<CFileDialog, IFileOpenDialog, IFileSaveDialog, IFileDialogCustomize,
                                          IOleWindow, IObjectWithSite>,
                    private CFileDialogSession::IHost {
public:
    // The class objects' creation: an Open or Save dialog object for riid,
    // counted as a live object of `module`. No aggregation.
    static HRESULT CreateInstance(CFileDialogSession::EMode mode, CServerModule* module, IUnknown* pUnkOuter,
                                  REFIID riid, void** ppv);

    void* FindInterface(REFIID riid);

    // ---- IModalWindow -----------------------------------------------------------------------------
    // S_OK when the user confirmed, HRESULT_FROM_WIN32(ERROR_CANCELLED) when
    // cancelled, the code given to Close, E_UNEXPECTED while already shown,
    // E_FAIL when no window can be shown (no display).
    HRESULT STDMETHODCALLTYPE Show(HWND hwndOwner) override;

    // ---- IFileDialog -----------------------------------------------------------------------------
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
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem** ppsi) override;
    HRESULT STDMETHODCALLTYPE AddPlace(IShellItem* psi, FDAP fdap) override;
    HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR pszDefaultExtension) override;
    HRESULT STDMETHODCALLTYPE Close(HRESULT hr) override;
    HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID guid) override;
    HRESULT STDMETHODCALLTYPE ClearClientData() override;
    HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter* pFilter) override;

    // ---- IFileOpenDialog ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetResults(IShellItemArray** ppenum) override;
    HRESULT STDMETHODCALLTYPE GetSelectedItems(IShellItemArray** ppsai) override;

    // ---- IFileSaveDialog ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SetSaveAsItem(IShellItem* psi) override;
    HRESULT STDMETHODCALLTYPE SetProperties(IPropertyStore* pStore) override;
    HRESULT STDMETHODCALLTYPE SetCollectedProperties(IPropertyDescriptionList* pList, BOOL fAppendDefault) override;
    HRESULT STDMETHODCALLTYPE GetProperties(IPropertyStore** ppStore) override;
    HRESULT STDMETHODCALLTYPE ApplyProperties(IShellItem* psi, IPropertyStore* pStore, HWND hwnd,
                                              IFileOperationProgressSink* pSink) override;

    // ---- IFileDialogCustomize -------------------------------------------------------------------
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

    // ---- IOleWindow, IObjectWithSite -------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL fEnterMode) override;
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* pUnkSite) override;
    HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** ppvSite) override;

    // Whether showing a dialog of this module has started the GUI toolkit in
    // this process (the module must then stay loaded).
    static bool StartedGui();

private:
    CFileDialog(CFileDialogSession::EMode mode, CServerModule* module);

    // The face the events pass as their IFileDialog argument.
    IFileDialog* DialogFace();

    // ---- CFileDialogSession::IHost ----------------------------------------------------------------
    HRESULT FolderChanging(const CString& folder) override;
    void FolderChanged() override;
    void SelectionChanged() override;
    void TypeChanged() override;
    FDE_OVERWRITE_RESPONSE Overwrite(const CString& path) override;
    HRESULT FileOk() override;
    void CheckButtonToggled(DWORD id, bool checked) override;
    void ButtonClicked(DWORD id) override;
    void ItemSelected(DWORD id, DWORD item) override;
    void ControlActivating(DWORD id) override;

    struct SSink {
        DWORD cookie = 0;
        ComPtr<IFileDialogEvents> events;
        ComPtr<IFileDialogControlEvents> controlEvents; // when the sink implements them
    };
    // The sinks as they are now: a handler may advise or unadvise while an
    // event runs, which affects the next event only.
    std::vector<SSink> Sinks() const { return m_sinks; }

    CFileDialogSession m_session;
    std::vector<SSink> m_sinks;
    DWORD m_nextCookie = 1;
    ComPtr<IUnknown> m_site;
    IFileDialogWindow* m_window = nullptr;
};

} // namespace platform
