#include "dialoghook/Veilshim.h"

#include <vector>

#include "Configuration.h"
#include "Directory.h"
#include "Log.h"
#include "OrvException.h"
#include "dialoghook/FilterSpecList.h"
#include "dialoghook/VeilDialogs.h"
#include "dialoghook/VeilshimModule.h"
#include "platform/FileSystem.h"
#include "platform/Module.h"
#include "platform/Path.h"
#include "platform/PrivateProfile.h"
#include "platform/Registry.h"
#include "resources/resource.h"

namespace {

const char* const kSource = "dialoghook\\Veilshim";

// Readers of the side-file take at most this many characters.
constexpr int ciSideFileValueLength = 2048;
constexpr int ciWorkingDirValueLength = 2048;

// The system dialog module, by its Windows name (libcomdlg32.so beside this
// library).
constexpr const char16_t* kSystemDialogModule = u"ComDlg32.dll";

// Forwards a call to one of the system dialog's interfaces; E_NOTIMPL when
// the object has none.
#define VEIL_FORWARD(target, call)                                                                               \
    do {                                                                                                         \
        if (!(target))                                                                                           \
            return E_NOTIMPL;                                                                                    \
        return (target)->call;                                                                                   \
    } while (0)

CString StoredWorkingDir()
{
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Orvelin\\veilcase\\Configuration", 0,
                                KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return CString();
    char16_t buffer[ciWorkingDirValueLength] = {};
    DWORD size = sizeof buffer - sizeof(char16_t);
    DWORD type = 0;
    CString value;
    if (platform::RegQueryValueExW(key, u"GPGWorkingDir", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
        value = CString(buffer, static_cast<int>(size / sizeof(char16_t))).SpanExcluding(u"\0");
    platform::RegCloseKey(key);
    return value;
}

// The path with its links resolved when it exists, else its lexical form.
CString CanonicalPath(const CString& path)
{
    CString resolved = platform::FinalPath(path);
    return resolved.IsEmpty() ? platform::FullPath(path) : resolved;
}

} // namespace

std::atomic<bool> CVeilshim::s_bShownWindows{false};

// ---- life ---------------------------------------------------------------------------------------------------

CVeilshim::CVeilshim(IUnknown* pUnkOuter)
    : m_inner(*this), m_pControlling(pUnkOuter ? pUnkOuter : &m_inner), m_bAggregated(pUnkOuter != nullptr)
{
    CVeilshimModule::Instance().Server().AddObject();
}

CVeilshim::~CVeilshim()
{
    m_pEvents.Reset();
    m_pCustomize.Reset();
    m_pOpenDialog.Reset();
    m_pSaveDialog.Reset();
    m_pDialog.Reset();
    CVeilshimModule::Instance().Server().ReleaseObject();
}

platform::ComPtr<IFileDialog> CVeilshim::CreateSystemDialog(bool bOpen)
{
    platform::ComPtr<IFileDialog> dialog;
    // Loaded once and kept for the life of the process: the dialog objects
    // it makes must never outlive its code.
    static platform::ModuleHandle module = [] {
        CString error;
        platform::ModuleHandle handle =
            platform::LoadModule(kSystemDialogModule, reinterpret_cast<const void*>(&CVeilshimModule::Instance),
                                 &error);
        if (!handle)
            WriteLog(eLogError, u"The system dialog module cannot be loaded: %s", error.GetString());
        return handle;
    }();
    if (!module)
        return dialog;
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(platform::ModuleSymbol(module, "DllGetClassObject"));
    if (!getClassObject) {
        WriteLog(eLogError, u"The system dialog module has no DllGetClassObject");
        return dialog;
    }
    platform::ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(bOpen ? CLSID_FileOpenDialog : CLSID_FileSaveDialog, IID_IClassFactory,
                                factory.PutVoid());
    if (FAILED(hr) || !factory) {
        WriteLog(eLogError, u"The system dialog module gives no class object: 0x%08X", static_cast<unsigned>(hr));
        return dialog;
    }
    hr = factory->CreateInstance(nullptr, IID_IFileDialog, dialog.PutVoid());
    if (FAILED(hr) || !dialog) {
        dialog.Reset();
        WriteLog(eLogError, u"The system dialog cannot be created: 0x%08X", static_cast<unsigned>(hr));
    }
    return dialog;
}

void CVeilshim::CreateInnerDialog(bool bOpen)
{
    m_bOpen = bOpen;
    m_pDialog = CreateSystemDialog(bOpen);
    if (!m_pDialog)
        return;
    m_pDialog.As(m_pCustomize);
    if (bOpen)
        m_pDialog.As(m_pOpenDialog);
    else
        m_pDialog.As(m_pSaveDialog);
}

// ---- IUnknown ---------------------------------------------------------------------------------------------

HRESULT CVeilshim::QueryInterface(REFIID riid, void** ppvObject)
{
    return m_pControlling->QueryInterface(riid, ppvObject);
}

ULONG CVeilshim::AddRef()
{
    return m_pControlling->AddRef();
}

ULONG CVeilshim::Release()
{
    return m_pControlling->Release();
}

HRESULT CVeilshim::CInnerUnknown::QueryInterface(REFIID riid, void** ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (riid == IID_IUnknown && m_owner.m_bAggregated) {
        *ppvObject = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    return m_owner.InternalQueryInterface(riid, ppvObject);
}

ULONG CVeilshim::CInnerUnknown::AddRef()
{
    return ++m_owner.m_refs;
}

ULONG CVeilshim::CInnerUnknown::Release()
{
    const ULONG left = --m_owner.m_refs;
    if (left == 0)
        delete &m_owner;
    return left;
}

void* CVeilshim::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IFileDialog)
        return PrimaryFace();
    if (riid == IID_IFileOpenDialog)
        return m_bOpen ? static_cast<IFileOpenDialog*>(this) : nullptr;
    if (riid == IID_IFileSaveDialog)
        return m_bOpen ? nullptr : static_cast<IFileSaveDialog*>(this);
    if (riid == IID_IFileDialogCustomize)
        return static_cast<IFileDialogCustomize*>(this);
    if (riid == IID_IFileDialogEvents)
        return static_cast<IFileDialogEvents*>(this);
    if (riid == IID_IFileDialogControlEvents)
        return static_cast<IFileDialogControlEvents*>(this);
    return nullptr;
}

HRESULT CVeilshim::InternalQueryInterface(REFIID riid, void** ppv)
{
    *ppv = nullptr;
    const bool ours = riid == IID_IUnknown || riid == IID_IFileDialog || riid == IID_IFileOpenDialog ||
                      riid == IID_IFileSaveDialog || riid == IID_IFileDialogCustomize ||
                      riid == IID_IFileDialogEvents || riid == IID_IFileDialogControlEvents;
    if (ours) {
        void* face = FindInterface(riid);
        if (!face)
            return E_NOINTERFACE;
        *ppv = face;
        static_cast<IUnknown*>(face)->AddRef();
        return S_OK;
    }
    // Everything else is the system dialog's own (its window, its site).
    if (!m_pDialog)
        return E_NOINTERFACE;
    return m_pDialog->QueryInterface(riid, ppv);
}

// ---- IFileDialog ------------------------------------------------------------------------------------------

HRESULT CVeilshim::SetFileTypes(UINT cFileTypes, const COMDLG_FILTERSPEC* rgFilterSpec)
{
    if (!m_pDialog)
        return E_NOTIMPL;
    if (cFileTypes > 0 && !rgFilterSpec)
        return E_POINTER;
    try {
        CFilterSpecList augmented(cFileTypes, rgFilterSpec);
        return m_pDialog->SetFileTypes(augmented.GetCount(), augmented.GetSpecs());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CVeilshim::SetFileTypeIndex(UINT iFileType) { VEIL_FORWARD(m_pDialog, SetFileTypeIndex(iFileType)); }
HRESULT CVeilshim::GetFileTypeIndex(UINT* piFileType) { VEIL_FORWARD(m_pDialog, GetFileTypeIndex(piFileType)); }

HRESULT CVeilshim::Advise(IFileDialogEvents* pfde, DWORD* pdwCookie)
{
    if (m_pEvents)
        return E_NOTIMPL;
    if (!pfde || !pdwCookie)
        return E_POINTER;
    m_pEvents = platform::ComPtr<IFileDialogEvents>(pfde);
    *pdwCookie = 1;
    return S_OK;
}

HRESULT CVeilshim::Unadvise(DWORD dwCookie)
{
    if (dwCookie != 1)
        return E_NOTIMPL;
    m_pEvents.Reset();
    return S_OK;
}

HRESULT CVeilshim::SetOptions(FILEOPENDIALOGOPTIONS fos) { VEIL_FORWARD(m_pDialog, SetOptions(fos)); }
HRESULT CVeilshim::GetOptions(FILEOPENDIALOGOPTIONS* pfos) { VEIL_FORWARD(m_pDialog, GetOptions(pfos)); }
HRESULT CVeilshim::SetDefaultFolder(IShellItem* psi) { VEIL_FORWARD(m_pDialog, SetDefaultFolder(psi)); }
HRESULT CVeilshim::SetFolder(IShellItem* psi) { VEIL_FORWARD(m_pDialog, SetFolder(psi)); }
HRESULT CVeilshim::GetFolder(IShellItem** ppsi) { VEIL_FORWARD(m_pDialog, GetFolder(ppsi)); }
HRESULT CVeilshim::GetCurrentSelection(IShellItem** ppsi) { VEIL_FORWARD(m_pDialog, GetCurrentSelection(ppsi)); }
HRESULT CVeilshim::SetFileName(LPCWSTR pszName) { VEIL_FORWARD(m_pDialog, SetFileName(pszName)); }
HRESULT CVeilshim::GetFileName(LPWSTR* pszName) { VEIL_FORWARD(m_pDialog, GetFileName(pszName)); }
HRESULT CVeilshim::SetTitle(LPCWSTR pszTitle) { VEIL_FORWARD(m_pDialog, SetTitle(pszTitle)); }
HRESULT CVeilshim::SetOkButtonLabel(LPCWSTR pszText) { VEIL_FORWARD(m_pDialog, SetOkButtonLabel(pszText)); }
HRESULT CVeilshim::SetFileNameLabel(LPCWSTR pszLabel) { VEIL_FORWARD(m_pDialog, SetFileNameLabel(pszLabel)); }
HRESULT CVeilshim::AddPlace(IShellItem* psi, FDAP fdap) { VEIL_FORWARD(m_pDialog, AddPlace(psi, fdap)); }
HRESULT CVeilshim::SetDefaultExtension(LPCWSTR pszDefaultExtension)
{
    VEIL_FORWARD(m_pDialog, SetDefaultExtension(pszDefaultExtension));
}
HRESULT CVeilshim::Close(HRESULT hr) { VEIL_FORWARD(m_pDialog, Close(hr)); }
HRESULT CVeilshim::SetClientGuid(REFGUID guid) { VEIL_FORWARD(m_pDialog, SetClientGuid(guid)); }
HRESULT CVeilshim::ClearClientData() { VEIL_FORWARD(m_pDialog, ClearClientData()); }
HRESULT CVeilshim::SetFilter(IShellItemFilter* pFilter) { VEIL_FORWARD(m_pDialog, SetFilter(pFilter)); }

// ---- IFileOpenDialog, IFileSaveDialog ---------------------------------------------------------------------

HRESULT CVeilshim::GetResults(IShellItemArray** ppenum) { VEIL_FORWARD(m_pOpenDialog, GetResults(ppenum)); }
HRESULT CVeilshim::GetSelectedItems(IShellItemArray** ppsai) { VEIL_FORWARD(m_pOpenDialog, GetSelectedItems(ppsai)); }
HRESULT CVeilshim::SetSaveAsItem(IShellItem* psi) { VEIL_FORWARD(m_pSaveDialog, SetSaveAsItem(psi)); }
HRESULT CVeilshim::SetProperties(IPropertyStore* pStore) { VEIL_FORWARD(m_pSaveDialog, SetProperties(pStore)); }
HRESULT CVeilshim::SetCollectedProperties(IPropertyDescriptionList* pList, BOOL fAppendDefault)
{
    VEIL_FORWARD(m_pSaveDialog, SetCollectedProperties(pList, fAppendDefault));
}
HRESULT CVeilshim::GetProperties(IPropertyStore** ppStore) { VEIL_FORWARD(m_pSaveDialog, GetProperties(ppStore)); }
HRESULT CVeilshim::ApplyProperties(IShellItem* psi, IPropertyStore* pStore, HWND hwnd,
                                   IFileOperationProgressSink* pSink)
{
    VEIL_FORWARD(m_pSaveDialog, ApplyProperties(psi, pStore, hwnd, pSink));
}

// ---- IFileDialogCustomize ---------------------------------------------------------------------------------

HRESULT CVeilshim::EnableOpenDropDown(DWORD id) { VEIL_FORWARD(m_pCustomize, EnableOpenDropDown(id)); }
HRESULT CVeilshim::AddMenu(DWORD id, LPCWSTR label) { VEIL_FORWARD(m_pCustomize, AddMenu(id, label)); }
HRESULT CVeilshim::AddPushButton(DWORD id, LPCWSTR label) { VEIL_FORWARD(m_pCustomize, AddPushButton(id, label)); }
HRESULT CVeilshim::AddComboBox(DWORD id) { VEIL_FORWARD(m_pCustomize, AddComboBox(id)); }
HRESULT CVeilshim::AddRadioButtonList(DWORD id) { VEIL_FORWARD(m_pCustomize, AddRadioButtonList(id)); }
HRESULT CVeilshim::AddCheckButton(DWORD id, LPCWSTR label, BOOL checked)
{
    VEIL_FORWARD(m_pCustomize, AddCheckButton(id, label, checked));
}
HRESULT CVeilshim::AddEditBox(DWORD id, LPCWSTR text) { VEIL_FORWARD(m_pCustomize, AddEditBox(id, text)); }
HRESULT CVeilshim::AddSeparator(DWORD id) { VEIL_FORWARD(m_pCustomize, AddSeparator(id)); }
HRESULT CVeilshim::AddText(DWORD id, LPCWSTR text) { VEIL_FORWARD(m_pCustomize, AddText(id, text)); }
HRESULT CVeilshim::SetControlLabel(DWORD id, LPCWSTR label) { VEIL_FORWARD(m_pCustomize, SetControlLabel(id, label)); }
HRESULT CVeilshim::GetControlState(DWORD id, CDCONTROLSTATEF* state)
{
    VEIL_FORWARD(m_pCustomize, GetControlState(id, state));
}
HRESULT CVeilshim::SetControlState(DWORD id, CDCONTROLSTATEF state)
{
    VEIL_FORWARD(m_pCustomize, SetControlState(id, state));
}
HRESULT CVeilshim::GetEditBoxText(DWORD id, WCHAR** text) { VEIL_FORWARD(m_pCustomize, GetEditBoxText(id, text)); }
HRESULT CVeilshim::SetEditBoxText(DWORD id, LPCWSTR text) { VEIL_FORWARD(m_pCustomize, SetEditBoxText(id, text)); }
HRESULT CVeilshim::GetCheckButtonState(DWORD id, BOOL* checked)
{
    VEIL_FORWARD(m_pCustomize, GetCheckButtonState(id, checked));
}
HRESULT CVeilshim::SetCheckButtonState(DWORD id, BOOL checked)
{
    VEIL_FORWARD(m_pCustomize, SetCheckButtonState(id, checked));
}
HRESULT CVeilshim::AddControlItem(DWORD id, DWORD item, LPCWSTR label)
{
    VEIL_FORWARD(m_pCustomize, AddControlItem(id, item, label));
}
HRESULT CVeilshim::RemoveControlItem(DWORD id, DWORD item) { VEIL_FORWARD(m_pCustomize, RemoveControlItem(id, item)); }
HRESULT CVeilshim::RemoveAllControlItems(DWORD id) { VEIL_FORWARD(m_pCustomize, RemoveAllControlItems(id)); }
HRESULT CVeilshim::GetControlItemState(DWORD id, DWORD item, CDCONTROLSTATEF* state)
{
    VEIL_FORWARD(m_pCustomize, GetControlItemState(id, item, state));
}
HRESULT CVeilshim::SetControlItemState(DWORD id, DWORD item, CDCONTROLSTATEF state)
{
    VEIL_FORWARD(m_pCustomize, SetControlItemState(id, item, state));
}
HRESULT CVeilshim::GetSelectedControlItem(DWORD id, DWORD* item)
{
    VEIL_FORWARD(m_pCustomize, GetSelectedControlItem(id, item));
}
HRESULT CVeilshim::SetSelectedControlItem(DWORD id, DWORD item)
{
    VEIL_FORWARD(m_pCustomize, SetSelectedControlItem(id, item));
}
HRESULT CVeilshim::StartVisualGroup(DWORD id, LPCWSTR label) { VEIL_FORWARD(m_pCustomize, StartVisualGroup(id, label)); }
HRESULT CVeilshim::EndVisualGroup() { VEIL_FORWARD(m_pCustomize, EndVisualGroup()); }
HRESULT CVeilshim::MakeProminent(DWORD id) { VEIL_FORWARD(m_pCustomize, MakeProminent(id)); }
HRESULT CVeilshim::SetControlItemText(DWORD id, DWORD item, LPCWSTR label)
{
    VEIL_FORWARD(m_pCustomize, SetControlItemText(id, item, label));
}

// ---- event relay -----------------------------------------------------------------------------------------
//
// The application's answers are ignored; an exception from its handler is
// not allowed back into the system dialog.

#define VEIL_RELAY(call)                                                                                         \
    do {                                                                                                         \
        platform::ComPtr<IFileDialogEvents> events = m_pEvents;                                                  \
        if (events) {                                                                                            \
            try {                                                                                                \
                events->call;                                                                                    \
            } catch (...) {                                                                                      \
                WriteLog(eLogError, u"An application's dialog event handler failed");                          \
            }                                                                                                    \
        }                                                                                                        \
        return S_OK;                                                                                             \
    } while (0)

HRESULT CVeilshim::OnFileOk(IFileDialog*) { VEIL_RELAY(OnFileOk(PrimaryFace())); }
HRESULT CVeilshim::OnFolderChanging(IFileDialog*, IShellItem* psiFolder)
{
    VEIL_RELAY(OnFolderChanging(PrimaryFace(), psiFolder));
}
HRESULT CVeilshim::OnFolderChange(IFileDialog*) { VEIL_RELAY(OnFolderChange(PrimaryFace())); }
HRESULT CVeilshim::OnSelectionChange(IFileDialog*) { VEIL_RELAY(OnSelectionChange(PrimaryFace())); }
HRESULT CVeilshim::OnShareViolation(IFileDialog*, IShellItem* psi, FDE_SHAREVIOLATION_RESPONSE* pResponse)
{
    VEIL_RELAY(OnShareViolation(PrimaryFace(), psi, pResponse));
}
HRESULT CVeilshim::OnTypeChange(IFileDialog*) { VEIL_RELAY(OnTypeChange(PrimaryFace())); }
HRESULT CVeilshim::OnOverwrite(IFileDialog*, IShellItem* psi, FDE_OVERWRITE_RESPONSE* pResponse)
{
    VEIL_RELAY(OnOverwrite(PrimaryFace(), psi, pResponse));
}

HRESULT CVeilshim::OnItemSelected(IFileDialogCustomize*, DWORD, DWORD) { return S_OK; }
HRESULT CVeilshim::OnButtonClicked(IFileDialogCustomize*, DWORD) { return S_OK; }
HRESULT CVeilshim::OnCheckButtonToggled(IFileDialogCustomize*, DWORD, BOOL) { return S_OK; }
HRESULT CVeilshim::OnControlActivating(IFileDialogCustomize*, DWORD) { return S_OK; }

// ---- showing --------------------------------------------------------------------------------------------

void CVeilshim::BeginShow(HWND hwndOwner)
{
    s_bShownWindows = true;
    m_hwndOwner = hwndOwner;
}

void CVeilshim::AdviseSelf()
{
    DWORD cookie = 0;
    if (SUCCEEDED(m_pDialog->Advise(static_cast<IFileDialogEvents*>(this), &cookie)))
        m_dwCookie = cookie;
}

HRESULT CVeilshim::ShowSystemDialog(HWND hwndOwner)
{
    // The application may drop its last reference from an event handler:
    // the object lives until the system dialog has returned.
    platform::ComPtr<IUnknown> keepAlive(m_pControlling);
    HRESULT hr = m_pDialog->Show(hwndOwner);
    if (m_dwCookie) {
        m_pDialog->Unadvise(m_dwCookie);
        m_dwCookie = 0;
    }
    return hr;
}

CString CVeilshim::PathOfItem(IShellItem* item)
{
    if (!item)
        return CString();
    LPWSTR name = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) || !name)
        return CString();
    CString path(name);
    CoTaskMemFree(name);
    return path;
}

void CVeilshim::PrefillOriginalLocation(const CString& side)
{
    const CString original = ReadSideFileValue(side, cszOriginalFilenameKey);
    if (original.GetLength() < 4)
        return;
    const CString folder = CDirectory::SplitPathFromFileNameWithPath(original);
    PIDLIST_ABSOLUTE list = nullptr;
    SFGAOF attributes = 0;
    if (FAILED(SHParseDisplayName(folder, nullptr, &list, SFGAO_FILESYSTEM, &attributes)) || !list)
        return;
    platform::ComPtr<IShellItem> item;
    HRESULT hr = SHCreateItemFromIDList(list, IID_IShellItem, item.PutVoid());
    ILFree(list);
    if (FAILED(hr) || !item)
        return;
    m_pDialog->SetFolder(item.Get());
    m_pDialog->SetFileName(CDirectory::SplitFileNameAndExtensionFromPath(original));
}

// ---- the side-file --------------------------------------------------------------------------------------

CString CVeilshim::SideFileWorkingDir()
{
    CString directory = StoredWorkingDir();
    if (directory.IsEmpty()) {
        const CString temp = CDirectory::GetTempPathW();
        if (temp.IsEmpty())
            return CString();
        directory = CDirectory::Concat(temp, u"veilcase");
    }
    return CanonicalPath(directory);
}

bool CVeilshim::IsPathInside(const CString& path, const CString& folder)
{
    if (path.IsEmpty() || folder.IsEmpty())
        return false;
    CString outer = platform::FullPath(folder);
    CString inner = platform::FullPath(path);
    while (outer.GetLength() > 1 && outer[outer.GetLength() - 1] == u'/')
        outer = outer.Left(outer.GetLength() - 1);
    while (inner.GetLength() > 1 && inner[inner.GetLength() - 1] == u'/')
        inner = inner.Left(inner.GetLength() - 1);
    if (inner.Find(outer) != 0)
        return false;
    if (inner.GetLength() == outer.GetLength())
        return true;
    // The next unit must start a new component (the root "/" already ends in one).
    return outer[outer.GetLength() - 1] == u'/' || inner[outer.GetLength()] == u'/';
}

CString CVeilshim::ReadSideFileValue(const CString& sideFile, const char16_t* key)
{
    CString value;
    if (sideFile.IsEmpty())
        return value;
    GetPrivateProfileStringW(cszSideFileSection, key, nullptr, value, sideFile);
    if (value.GetLength() > ciSideFileValueLength - 1)
        value = value.Left(ciSideFileValueLength - 1);
    return value;
}

CString CVeilshim::CurrentFolderPath()
{
    platform::ComPtr<IShellItem> folder;
    if (FAILED(GetFolder(folder.Put())) || !folder)
        return CString();
    return PathOfItem(folder.Get());
}

CString CVeilshim::CurrentFileName()
{
    LPWSTR name = nullptr;
    if (FAILED(GetFileName(&name)) || !name)
        return CString();
    CString text(name);
    CoTaskMemFree(name);
    return text;
}

CString CVeilshim::SearchFolder(const CString& folder)
{
    std::vector<platform::FileEntry> entries;
    CString pattern = CString(u"*") + cszSideFileSuffix;
    if (platform::EnumerateDirectory(folder, pattern, entries)) {
        for (const platform::FileEntry& entry : entries)
            if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY))
                return CDirectory::Concat(folder, entry.name);
    }
    return folder;
}

CString CVeilshim::SearchTree(const CString& workingDir, const CString& target)
{
    CString result = workingDir;
    // Used as a stack: folders found later in a listing are searched earlier.
    std::vector<CString> pending{workingDir};
    while (!pending.empty()) {
        const CString folder = pending.back();
        pending.pop_back();
        std::vector<platform::FileEntry> entries;
        if (!platform::EnumerateDirectory(folder, u"*", entries, false))
            continue;
        for (const platform::FileEntry& entry : entries) {
            // Links are never followed: they could lead out of the working
            // directory or round in a circle.
            if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                continue;
            if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
                pending.push_back(CDirectory::Concat(folder, entry.name));
            } else if (entry.name == target) {
                result = CDirectory::Concat(folder, entry.name);
                break;
            }
        }
    }
    return result;
}

CString CVeilshim::FindSideFile()
{
    return FindSideFileFor(CurrentFolderPath(), CurrentFileName());
}

CString CVeilshim::FindSideFileFor(const CString& shownFolder, const CString& fileName)
{
    const CString workingDir = SideFileWorkingDir();
    if (workingDir.IsEmpty())
        return CString();
    const CString folder = shownFolder.IsEmpty() ? CString() : CanonicalPath(shownFolder);
    if (IsPathInside(folder, workingDir))
        return SearchFolder(folder);
    const CString current = CanonicalPath(platform::FullPath(u"."));
    if (IsPathInside(current, workingDir))
        return SearchFolder(current);
    return SearchTree(workingDir, fileName + cszSideFileSuffix);
}

// ---- errors at the boundary ------------------------------------------------------------------------------

void CVeilshim::ReportException(COrvException* error, bool offerSettings)
{
    if (!error)
        return;
    const UINT id = error->GetMessageId();
    try {
        error->Display();
    } catch (...) {
    }
    error->Delete();
    if (offerSettings &&
        (id == IDS_ERR_NO_VEILCASE_PROCESS || id == IDS_ERR_NO_GNUPG_CONFIG || id == IDS_ERR_GPG_NOT_FOUND))
        ShowSettingsForRepair();
}

void CVeilshim::ReportUnexpected(const char* source, UINT line)
{
    try {
        COrvException::DisplayUnhandledException(IDS_ERR_UNKNOWN_GNUPG, source, line);
    } catch (...) {
    }
}

void CVeilshim::ShowSettingsForRepair()
{
    try {
        CVeilDialogs::ShowSettings();
    } catch (COrvException* error) {
        ReportException(error, false);
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
        WriteLog(eLogError, u"The settings dialog failed");
    }
}
