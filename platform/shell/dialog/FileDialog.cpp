#include "platform/shell/dialog/FileDialog.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "platform/shell/ShellApi.h"
#include "platform/shell/dialog/FileDialogWindow.h"

namespace platform {

namespace {

std::atomic<bool> g_startedGui{false};

// A shell item for a path (the file need not exist), or null.
ComPtr<IShellItem> ItemForPath(const CString& path)
{
    ComPtr<IShellItem> item;
    PIDLIST_ABSOLUTE list = SHSimpleIDListFromPath(path);
    if (list) {
        SHCreateItemFromIDList(list, IID_PPV_ARGS(item.Put()));
        ILFree(list);
    }
    return item;
}

// The file-system path of any shell item; empty when it has none.
CString PathOfItem(IShellItem* item)
{
    LPWSTR name = nullptr;
    if (!item || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) || !name)
        return CString();
    CString path(name);
    CoTaskMemFree(name);
    return path;
}

HRESULT HandOut(const ComPtr<IShellItem>& item, IShellItem** ppsi)
{
    if (!item)
        return E_OUTOFMEMORY;
    *ppsi = ComPtr<IShellItem>(item).Detach();
    return S_OK;
}

HRESULT CopyString(const CString& text, LPWSTR* out)
{
    size_t units = static_cast<size_t>(text.GetLength()) + 1;
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(units * sizeof(WCHAR)));
    if (!copy)
        return E_OUTOFMEMORY;
    std::copy(text.GetString(), text.GetString() + units, copy);
    *out = copy;
    return S_OK;
}

} // namespace

CFileDialog::CFileDialog(CFileDialogSession::EMode mode, CServerModule* module)
    : CComObjectBase(module), m_session(mode)
{
    m_session.SetHost(this);
}

HRESULT CFileDialog::CreateInstance(CFileDialogSession::EMode mode, CServerModule* module, IUnknown* pUnkOuter,
                                    REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    auto* dialog = new (std::nothrow) CFileDialog(mode, module);
    if (!dialog)
        return E_OUTOFMEMORY;
    HRESULT hr = dialog->QueryInterface(riid, ppv);
    dialog->Release();
    return hr;
}

bool CFileDialog::StartedGui()
{
    return g_startedGui.load();
}

IFileDialog* CFileDialog::DialogFace()
{
    if (m_session.Mode() == CFileDialogSession::eOpen)
        return static_cast<IFileOpenDialog*>(this);
    return static_cast<IFileSaveDialog*>(this);
}

void* CFileDialog::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IFileDialog || riid == IID_IModalWindow)
        return DialogFace();
    if (riid == IID_IFileOpenDialog)
        return m_session.Mode() == CFileDialogSession::eOpen ? static_cast<IFileOpenDialog*>(this) : nullptr;
    if (riid == IID_IFileSaveDialog)
        return m_session.Mode() == CFileDialogSession::eSave ? static_cast<IFileSaveDialog*>(this) : nullptr;
    if (riid == IID_IFileDialogCustomize)
        return static_cast<IFileDialogCustomize*>(this);
    if (riid == IID_IOleWindow)
        return static_cast<IOleWindow*>(this);
    if (riid == IID_IObjectWithSite)
        return static_cast<IObjectWithSite*>(this);
    return nullptr;
}

// ---- IModalWindow ------------------------------------------------------------------------------------

HRESULT CFileDialog::Show(HWND hwndOwner)
{
    if (m_session.IsShown())
        return E_UNEXPECTED;
    // The application may release its last reference from an event handler;
    // the object lives until Show has returned.
    ComPtr<IFileDialog> keepAlive(DialogFace());
    std::unique_ptr<IFileDialogWindow> window = CreateFileDialogWindow(m_session);
    if (!window)
        return E_OUTOFMEMORY;
    m_session.Begin(window.get());
    m_window = window.get();
    bool shown = window->Run(hwndOwner);
    m_window = nullptr;
    m_session.End();
    if (window->StartedGui())
        g_startedGui = true;
    return shown ? m_session.CloseResult() : E_FAIL;
}

// ---- IFileDialog ---------------------------------------------------------------------------------------

HRESULT CFileDialog::SetFileTypes(UINT cFileTypes, const COMDLG_FILTERSPEC* rgFilterSpec)
{
    return m_session.SetFileTypes(cFileTypes, rgFilterSpec);
}

HRESULT CFileDialog::SetFileTypeIndex(UINT iFileType)
{
    m_session.SetFileTypeIndex(iFileType);
    return S_OK;
}

HRESULT CFileDialog::GetFileTypeIndex(UINT* piFileType)
{
    if (!piFileType)
        return E_POINTER;
    *piFileType = m_session.FileTypeIndex();
    return S_OK;
}

HRESULT CFileDialog::Advise(IFileDialogEvents* pfde, DWORD* pdwCookie)
{
    if (!pfde || !pdwCookie)
        return E_INVALIDARG;
    SSink sink;
    sink.cookie = m_nextCookie++;
    sink.events = ComPtr<IFileDialogEvents>(pfde);
    sink.events.As(sink.controlEvents);
    m_sinks.push_back(std::move(sink));
    *pdwCookie = m_sinks.back().cookie;
    return S_OK;
}

HRESULT CFileDialog::Unadvise(DWORD dwCookie)
{
    auto found = std::find_if(m_sinks.begin(), m_sinks.end(), [dwCookie](const SSink& s) { return s.cookie == dwCookie; });
    if (found == m_sinks.end())
        return E_INVALIDARG;
    m_sinks.erase(found);
    return S_OK;
}

HRESULT CFileDialog::SetOptions(FILEOPENDIALOGOPTIONS fos)
{
    m_session.SetOptions(fos);
    return S_OK;
}

HRESULT CFileDialog::GetOptions(FILEOPENDIALOGOPTIONS* pfos)
{
    if (!pfos)
        return E_POINTER;
    *pfos = m_session.Options();
    return S_OK;
}

HRESULT CFileDialog::SetDefaultFolder(IShellItem* psi)
{
    CString path = PathOfItem(psi);
    if (path.IsEmpty())
        return E_INVALIDARG;
    m_session.SetDefaultFolder(path);
    return S_OK;
}

HRESULT CFileDialog::SetFolder(IShellItem* psi)
{
    CString path = PathOfItem(psi);
    if (path.IsEmpty())
        return E_INVALIDARG;
    m_session.SetFolder(path);
    return S_OK;
}

HRESULT CFileDialog::GetFolder(IShellItem** ppsi)
{
    if (!ppsi)
        return E_POINTER;
    *ppsi = nullptr;
    return HandOut(ItemForPath(m_session.Folder()), ppsi);
}

HRESULT CFileDialog::GetCurrentSelection(IShellItem** ppsi)
{
    if (!ppsi)
        return E_POINTER;
    *ppsi = nullptr;
    CString path = m_session.CurrentSelection();
    if (path.IsEmpty())
        return E_FAIL;
    return HandOut(ItemForPath(path), ppsi);
}

HRESULT CFileDialog::SetFileName(LPCWSTR pszName)
{
    m_session.SetFileName(CString(pszName));
    return S_OK;
}

HRESULT CFileDialog::GetFileName(LPWSTR* pszName)
{
    if (!pszName)
        return E_POINTER;
    *pszName = nullptr;
    return CopyString(m_session.FileNameText(), pszName);
}

HRESULT CFileDialog::SetTitle(LPCWSTR pszTitle)
{
    m_session.SetTitle(CString(pszTitle));
    return S_OK;
}

HRESULT CFileDialog::SetOkButtonLabel(LPCWSTR pszText)
{
    m_session.SetOkLabel(CString(pszText));
    return S_OK;
}

HRESULT CFileDialog::SetFileNameLabel(LPCWSTR pszLabel)
{
    m_session.SetFileNameLabel(CString(pszLabel));
    return S_OK;
}

HRESULT CFileDialog::GetResult(IShellItem** ppsi)
{
    if (!ppsi)
        return E_POINTER;
    *ppsi = nullptr;
    if (m_session.Results().empty())
        return E_UNEXPECTED;
    return HandOut(ItemForPath(m_session.Results().front()), ppsi);
}

HRESULT CFileDialog::AddPlace(IShellItem* psi, FDAP fdap)
{
    CString path = PathOfItem(psi);
    if (path.IsEmpty() || (fdap != FDAP_TOP && fdap != FDAP_BOTTOM))
        return E_INVALIDARG;
    m_session.AddPlace(path, fdap == FDAP_TOP);
    return S_OK;
}

HRESULT CFileDialog::SetDefaultExtension(LPCWSTR pszDefaultExtension)
{
    m_session.SetDefaultExtension(CString(pszDefaultExtension));
    return S_OK;
}

HRESULT CFileDialog::Close(HRESULT hr)
{
    return m_session.Close(hr);
}

HRESULT CFileDialog::SetClientGuid(REFGUID guid)
{
    m_session.SetClientGuid(guid);
    return S_OK;
}

HRESULT CFileDialog::ClearClientData()
{
    m_session.ClearClientData();
    return S_OK;
}

HRESULT CFileDialog::SetFilter(IShellItemFilter*)
{
    // Not available, as on Windows since Windows 7.
    return E_NOTIMPL;
}

// ---- IFileOpenDialog ------------------------------------------------------------------------------------

namespace {

HRESULT ArrayOfPaths(const std::vector<CString>& paths, IShellItemArray** ppsai)
{
    std::vector<PIDLIST_ABSOLUTE> lists;
    for (const CString& path : paths)
        if (PIDLIST_ABSOLUTE list = SHSimpleIDListFromPath(path))
            lists.push_back(list);
    HRESULT hr = lists.size() == paths.size()
                     ? SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()), lists.data(), ppsai)
                     : E_OUTOFMEMORY;
    for (PIDLIST_ABSOLUTE list : lists)
        ILFree(list);
    return hr;
}

} // namespace

HRESULT CFileDialog::GetResults(IShellItemArray** ppenum)
{
    if (!ppenum)
        return E_POINTER;
    *ppenum = nullptr;
    if (m_session.Results().empty())
        return E_UNEXPECTED;
    return ArrayOfPaths(m_session.Results(), ppenum);
}

HRESULT CFileDialog::GetSelectedItems(IShellItemArray** ppsai)
{
    if (!ppsai)
        return E_POINTER;
    *ppsai = nullptr;
    if (!m_session.IsShown())
        return E_UNEXPECTED;
    std::vector<CString> paths;
    const CString& folder = m_session.Folder();
    for (size_t index : m_session.Selection())
        paths.push_back(folder + (folder == u"/" ? u"" : u"/") + m_session.Listing()[index].name);
    if (paths.empty())
        return E_FAIL;
    return ArrayOfPaths(paths, ppsai);
}

// ---- IFileSaveDialog: there is no property system here ---------------------------------------------

HRESULT CFileDialog::SetSaveAsItem(IShellItem* psi)
{
    CString path = PathOfItem(psi);
    if (path.IsEmpty() || path == u"/")
        return E_INVALIDARG;
    int slash = path.ReverseFind(u'/');
    m_session.SetFolder(slash == 0 ? CString(u"/") : path.Left(slash));
    m_session.SetFileName(path.Mid(slash + 1));
    return S_OK;
}

HRESULT CFileDialog::SetProperties(IPropertyStore*) { return E_NOTIMPL; }
HRESULT CFileDialog::SetCollectedProperties(IPropertyDescriptionList*, BOOL) { return E_NOTIMPL; }

HRESULT CFileDialog::GetProperties(IPropertyStore** ppStore)
{
    if (ppStore)
        *ppStore = nullptr;
    return E_NOTIMPL;
}

HRESULT CFileDialog::ApplyProperties(IShellItem*, IPropertyStore*, HWND, IFileOperationProgressSink*)
{
    return E_NOTIMPL;
}

// ---- IFileDialogCustomize --------------------------------------------------------------------------

HRESULT CFileDialog::EnableOpenDropDown(DWORD dwIDCtl) { return m_session.Controls().EnableOpenDropDown(dwIDCtl); }
HRESULT CFileDialog::AddMenu(DWORD dwIDCtl, LPCWSTR pszLabel) { return m_session.Controls().AddMenu(dwIDCtl, pszLabel); }
HRESULT CFileDialog::AddPushButton(DWORD dwIDCtl, LPCWSTR pszLabel)
{
    return m_session.Controls().AddPushButton(dwIDCtl, pszLabel);
}
HRESULT CFileDialog::AddComboBox(DWORD dwIDCtl) { return m_session.Controls().AddComboBox(dwIDCtl); }
HRESULT CFileDialog::AddRadioButtonList(DWORD dwIDCtl) { return m_session.Controls().AddRadioButtonList(dwIDCtl); }
HRESULT CFileDialog::AddCheckButton(DWORD dwIDCtl, LPCWSTR pszLabel, BOOL bChecked)
{
    return m_session.Controls().AddCheckButton(dwIDCtl, pszLabel, bChecked != FALSE);
}
HRESULT CFileDialog::AddEditBox(DWORD dwIDCtl, LPCWSTR pszText) { return m_session.Controls().AddEditBox(dwIDCtl, pszText); }
HRESULT CFileDialog::AddSeparator(DWORD dwIDCtl) { return m_session.Controls().AddSeparator(dwIDCtl); }
HRESULT CFileDialog::AddText(DWORD dwIDCtl, LPCWSTR pszText) { return m_session.Controls().AddText(dwIDCtl, pszText); }
HRESULT CFileDialog::SetControlLabel(DWORD dwIDCtl, LPCWSTR pszLabel)
{
    return m_session.Controls().SetControlLabel(dwIDCtl, pszLabel);
}

HRESULT CFileDialog::GetControlState(DWORD dwIDCtl, CDCONTROLSTATEF* pdwState)
{
    if (!pdwState)
        return E_POINTER;
    return m_session.Controls().GetControlState(dwIDCtl, *pdwState);
}

HRESULT CFileDialog::SetControlState(DWORD dwIDCtl, CDCONTROLSTATEF dwState)
{
    return m_session.Controls().SetControlState(dwIDCtl, dwState);
}

HRESULT CFileDialog::GetEditBoxText(DWORD dwIDCtl, WCHAR** ppszText)
{
    if (!ppszText)
        return E_POINTER;
    *ppszText = nullptr;
    CString text;
    HRESULT hr = m_session.Controls().GetEditBoxText(dwIDCtl, text);
    return FAILED(hr) ? hr : CopyString(text, ppszText);
}

HRESULT CFileDialog::SetEditBoxText(DWORD dwIDCtl, LPCWSTR pszText)
{
    return m_session.Controls().SetEditBoxText(dwIDCtl, pszText);
}

HRESULT CFileDialog::GetCheckButtonState(DWORD dwIDCtl, BOOL* pbChecked)
{
    if (!pbChecked)
        return E_POINTER;
    bool checked = false;
    HRESULT hr = m_session.Controls().GetCheckButtonState(dwIDCtl, checked);
    if (SUCCEEDED(hr))
        *pbChecked = checked ? TRUE : FALSE;
    return hr;
}

HRESULT CFileDialog::SetCheckButtonState(DWORD dwIDCtl, BOOL bChecked)
{
    return m_session.Controls().SetCheckButtonState(dwIDCtl, bChecked != FALSE);
}

HRESULT CFileDialog::AddControlItem(DWORD dwIDCtl, DWORD dwIDItem, LPCWSTR pszLabel)
{
    return m_session.Controls().AddControlItem(dwIDCtl, dwIDItem, pszLabel);
}

HRESULT CFileDialog::RemoveControlItem(DWORD dwIDCtl, DWORD dwIDItem)
{
    return m_session.Controls().RemoveControlItem(dwIDCtl, dwIDItem);
}

HRESULT CFileDialog::RemoveAllControlItems(DWORD)
{
    // Windows does not implement it either; items go one by one.
    return E_NOTIMPL;
}

HRESULT CFileDialog::GetControlItemState(DWORD dwIDCtl, DWORD dwIDItem, CDCONTROLSTATEF* pdwState)
{
    if (!pdwState)
        return E_POINTER;
    return m_session.Controls().GetControlItemState(dwIDCtl, dwIDItem, *pdwState);
}

HRESULT CFileDialog::SetControlItemState(DWORD dwIDCtl, DWORD dwIDItem, CDCONTROLSTATEF dwState)
{
    return m_session.Controls().SetControlItemState(dwIDCtl, dwIDItem, dwState);
}

HRESULT CFileDialog::GetSelectedControlItem(DWORD dwIDCtl, DWORD* pdwIDItem)
{
    if (!pdwIDItem)
        return E_POINTER;
    return m_session.Controls().GetSelectedControlItem(dwIDCtl, *pdwIDItem);
}

HRESULT CFileDialog::SetSelectedControlItem(DWORD dwIDCtl, DWORD dwIDItem)
{
    return m_session.Controls().SetSelectedControlItem(dwIDCtl, dwIDItem);
}

HRESULT CFileDialog::StartVisualGroup(DWORD dwIDCtl, LPCWSTR pszLabel)
{
    return m_session.Controls().StartVisualGroup(dwIDCtl, pszLabel);
}

HRESULT CFileDialog::EndVisualGroup() { return m_session.Controls().EndVisualGroup(); }
HRESULT CFileDialog::MakeProminent(DWORD dwIDCtl) { return m_session.Controls().MakeProminent(dwIDCtl); }

HRESULT CFileDialog::SetControlItemText(DWORD dwIDCtl, DWORD dwIDItem, LPCWSTR pszLabel)
{
    return m_session.Controls().SetControlItemText(dwIDCtl, dwIDItem, pszLabel);
}

// ---- IOleWindow, IObjectWithSite ---------------------------------------------------------------------

HRESULT CFileDialog::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_window ? m_window->Handle() : nullptr;
    return *phwnd ? S_OK : E_FAIL;
}

HRESULT CFileDialog::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

HRESULT CFileDialog::SetSite(IUnknown* pUnkSite)
{
    m_site = ComPtr<IUnknown>(pUnkSite);
    return S_OK;
}

HRESULT CFileDialog::GetSite(REFIID riid, void** ppvSite)
{
    if (!ppvSite)
        return E_POINTER;
    *ppvSite = nullptr;
    if (!m_site)
        return E_FAIL;
    return m_site->QueryInterface(riid, ppvSite);
}

// ---- events to the application's sinks ------------------------------------------------------------

HRESULT CFileDialog::FolderChanging(const CString& folder)
{
    ComPtr<IShellItem> item = ItemForPath(folder);
    for (const SSink& sink : Sinks()) {
        HRESULT hr = sink.events->OnFolderChanging(DialogFace(), item.Get());
        if (FAILED(hr) && hr != E_NOTIMPL)
            return hr;
    }
    return S_OK;
}

void CFileDialog::FolderChanged()
{
    for (const SSink& sink : Sinks())
        sink.events->OnFolderChange(DialogFace());
}

void CFileDialog::SelectionChanged()
{
    for (const SSink& sink : Sinks())
        sink.events->OnSelectionChange(DialogFace());
}

void CFileDialog::TypeChanged()
{
    for (const SSink& sink : Sinks())
        sink.events->OnTypeChange(DialogFace());
}

FDE_OVERWRITE_RESPONSE CFileDialog::Overwrite(const CString& path)
{
    ComPtr<IShellItem> item = ItemForPath(path);
    for (const SSink& sink : Sinks()) {
        FDE_OVERWRITE_RESPONSE response = FDEOR_DEFAULT;
        if (SUCCEEDED(sink.events->OnOverwrite(DialogFace(), item.Get(), &response)) && response != FDEOR_DEFAULT)
            return response == FDEOR_ACCEPT ? FDEOR_ACCEPT : FDEOR_REFUSE;
    }
    return FDEOR_DEFAULT;
}

HRESULT CFileDialog::FileOk()
{
    for (const SSink& sink : Sinks()) {
        if (sink.events->OnFileOk(DialogFace()) == S_FALSE)
            return S_FALSE;
    }
    return S_OK;
}

void CFileDialog::CheckButtonToggled(DWORD id, bool checked)
{
    for (const SSink& sink : Sinks())
        if (sink.controlEvents)
            sink.controlEvents->OnCheckButtonToggled(this, id, checked ? TRUE : FALSE);
}

void CFileDialog::ButtonClicked(DWORD id)
{
    for (const SSink& sink : Sinks())
        if (sink.controlEvents)
            sink.controlEvents->OnButtonClicked(this, id);
}

void CFileDialog::ItemSelected(DWORD id, DWORD item)
{
    for (const SSink& sink : Sinks())
        if (sink.controlEvents)
            sink.controlEvents->OnItemSelected(this, id, item);
}

void CFileDialog::ControlActivating(DWORD id)
{
    for (const SSink& sink : Sinks())
        if (sink.controlEvents)
            sink.controlEvents->OnControlActivating(this, id);
}

} // namespace platform
