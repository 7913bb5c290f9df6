// The common item dialog: the system's Open and Save dialog classes and the
// interfaces they implement (IFileDialog, IFileOpenDialog, IFileSaveDialog,
// IFileDialogCustomize) and call back (IFileDialogEvents,
// IFileDialogControlEvents). Names, values, method order and signatures are
// those of Windows, so that a Windows build includes the system's own headers
// in place of this one.
#pragma once

#include "platform/com/Com.h"
#include "platform/shell/ShellApi.h"

#if defined(_WIN32)
#include <shobjidl.h>
#else

// ---- the classes ---------------------------------------------------------------------------------

constexpr CLSID CLSID_FileOpenDialog{0xdc1c5a9c, 0xe88a, 0x4dde, {0xa5, 0xa1, 0x60, 0xf8, 0x2a, 0x20, 0xae, 0xf7}};
constexpr CLSID CLSID_FileSaveDialog{0xc0b4e2f3, 0xba21, 0x4773, {0x8d, 0xba, 0x33, 0x5e, 0xc9, 0x46, 0xeb, 0x8b}};

// ---- types and values --------------------------------------------------------------------------

// One entry of the file-type list: a name shown to the user ("Text files")
// and its patterns separated by ';' ("*.txt;*.text").
struct COMDLG_FILTERSPEC {
    LPCWSTR pszName;
    LPCWSTR pszSpec;
};

using FILEOPENDIALOGOPTIONS = DWORD;
constexpr FILEOPENDIALOGOPTIONS FOS_OVERWRITEPROMPT = 0x2;
constexpr FILEOPENDIALOGOPTIONS FOS_STRICTFILETYPES = 0x4;
constexpr FILEOPENDIALOGOPTIONS FOS_NOCHANGEDIR = 0x8;
constexpr FILEOPENDIALOGOPTIONS FOS_PICKFOLDERS = 0x20;
constexpr FILEOPENDIALOGOPTIONS FOS_FORCEFILESYSTEM = 0x40;
constexpr FILEOPENDIALOGOPTIONS FOS_ALLNONSTORAGEITEMS = 0x80;
constexpr FILEOPENDIALOGOPTIONS FOS_NOVALIDATE = 0x100;
constexpr FILEOPENDIALOGOPTIONS FOS_ALLOWMULTISELECT = 0x200;
constexpr FILEOPENDIALOGOPTIONS FOS_PATHMUSTEXIST = 0x800;
constexpr FILEOPENDIALOGOPTIONS FOS_FILEMUSTEXIST = 0x1000;
constexpr FILEOPENDIALOGOPTIONS FOS_CREATEPROMPT = 0x2000;
constexpr FILEOPENDIALOGOPTIONS FOS_SHAREAWARE = 0x4000;
constexpr FILEOPENDIALOGOPTIONS FOS_NOREADONLYRETURN = 0x8000;
constexpr FILEOPENDIALOGOPTIONS FOS_NOTESTFILECREATE = 0x10000;
constexpr FILEOPENDIALOGOPTIONS FOS_HIDEMRUPLACES = 0x20000;
constexpr FILEOPENDIALOGOPTIONS FOS_HIDEPINNEDPLACES = 0x40000;
constexpr FILEOPENDIALOGOPTIONS FOS_NODEREFERENCELINKS = 0x100000;
constexpr FILEOPENDIALOGOPTIONS FOS_OKBUTTONNEEDSINTERACTION = 0x200000;
constexpr FILEOPENDIALOGOPTIONS FOS_DONTADDTORECENT = 0x2000000;
constexpr FILEOPENDIALOGOPTIONS FOS_FORCESHOWHIDDEN = 0x10000000;
constexpr FILEOPENDIALOGOPTIONS FOS_DEFAULTNOMINIMODE = 0x20000000;
constexpr FILEOPENDIALOGOPTIONS FOS_FORCEPREVIEWPANEON = 0x40000000;
constexpr FILEOPENDIALOGOPTIONS FOS_SUPPORTSTREAMABLEITEMS = 0x80000000;

// Where AddPlace puts a place in the list of places.
enum FDAP : DWORD {
    FDAP_BOTTOM = 0,
    FDAP_TOP = 1,
};

// Answers of OnShareViolation and OnOverwrite.
enum FDE_SHAREVIOLATION_RESPONSE : DWORD {
    FDESVR_DEFAULT = 0,
    FDESVR_ACCEPT = 1,
    FDESVR_REFUSE = 2,
};
enum FDE_OVERWRITE_RESPONSE : DWORD {
    FDEOR_DEFAULT = 0,
    FDEOR_ACCEPT = 1,
    FDEOR_REFUSE = 2,
};

// State bits of a customisation control or control item.
using CDCONTROLSTATEF = DWORD;
constexpr CDCONTROLSTATEF CDCS_INACTIVE = 0x0;
constexpr CDCONTROLSTATEF CDCS_ENABLED = 0x1;
constexpr CDCONTROLSTATEF CDCS_VISIBLE = 0x2;
constexpr CDCONTROLSTATEF CDCS_ENABLEDVISIBLE = 0x3;

// ---- interfaces ------------------------------------------------------------------------------------

struct IFileDialog;
struct IFileDialogCustomize;

struct IShellItemFilter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE IncludeItem(IShellItem* psi) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEnumFlagsForItem(IShellItem* psi, SHCONTF* pgrfFlags) = 0;
};

struct IFileDialogEvents : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog* pfd) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog* pfd, IShellItem* psiFolder) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* pfd) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog* pfd) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog* pfd, IShellItem* psi,
                                                       FDE_SHAREVIOLATION_RESPONSE* pResponse) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog* pfd) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog* pfd, IShellItem* psi,
                                                  FDE_OVERWRITE_RESPONSE* pResponse) = 0;
};

struct IFileDialog : IModalWindow {
    virtual HRESULT STDMETHODCALLTYPE SetFileTypes(UINT cFileTypes, const COMDLG_FILTERSPEC* rgFilterSpec) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFileTypeIndex(UINT iFileType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFileTypeIndex(UINT* piFileType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IFileDialogEvents* pfde, DWORD* pdwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOptions(FILEOPENDIALOGOPTIONS fos) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOptions(FILEOPENDIALOGOPTIONS* pfos) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultFolder(IShellItem* psi) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFolder(IShellItem* psi) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFolder(IShellItem** ppsi) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentSelection(IShellItem** ppsi) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR pszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFileName(LPWSTR* pszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTitle(LPCWSTR pszTitle) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOkButtonLabel(LPCWSTR pszText) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFileNameLabel(LPCWSTR pszLabel) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResult(IShellItem** ppsi) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddPlace(IShellItem* psi, FDAP fdap) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR pszDefaultExtension) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close(HRESULT hr) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearClientData() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter* pFilter) = 0;
};

struct IFileOpenDialog : IFileDialog {
    virtual HRESULT STDMETHODCALLTYPE GetResults(IShellItemArray** ppenum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSelectedItems(IShellItemArray** ppsai) = 0;
};

struct IFileSaveDialog : IFileDialog {
    virtual HRESULT STDMETHODCALLTYPE SetSaveAsItem(IShellItem* psi) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperties(IPropertyStore* pStore) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCollectedProperties(IPropertyDescriptionList* pList, BOOL fAppendDefault) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperties(IPropertyStore** ppStore) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyProperties(IShellItem* psi, IPropertyStore* pStore, HWND hwnd,
                                                      IFileOperationProgressSink* pSink) = 0;
};

struct IFileDialogCustomize : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnableOpenDropDown(DWORD dwIDCtl) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddMenu(DWORD dwIDCtl, LPCWSTR pszLabel) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddPushButton(DWORD dwIDCtl, LPCWSTR pszLabel) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddComboBox(DWORD dwIDCtl) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddRadioButtonList(DWORD dwIDCtl) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddCheckButton(DWORD dwIDCtl, LPCWSTR pszLabel, BOOL bChecked) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddEditBox(DWORD dwIDCtl, LPCWSTR pszText) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSeparator(DWORD dwIDCtl) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddText(DWORD dwIDCtl, LPCWSTR pszText) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetControlLabel(DWORD dwIDCtl, LPCWSTR pszLabel) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetControlState(DWORD dwIDCtl, CDCONTROLSTATEF* pdwState) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetControlState(DWORD dwIDCtl, CDCONTROLSTATEF dwState) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEditBoxText(DWORD dwIDCtl, WCHAR** ppszText) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEditBoxText(DWORD dwIDCtl, LPCWSTR pszText) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCheckButtonState(DWORD dwIDCtl, BOOL* pbChecked) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCheckButtonState(DWORD dwIDCtl, BOOL bChecked) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddControlItem(DWORD dwIDCtl, DWORD dwIDItem, LPCWSTR pszLabel) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveControlItem(DWORD dwIDCtl, DWORD dwIDItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAllControlItems(DWORD dwIDCtl) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetControlItemState(DWORD dwIDCtl, DWORD dwIDItem, CDCONTROLSTATEF* pdwState) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetControlItemState(DWORD dwIDCtl, DWORD dwIDItem, CDCONTROLSTATEF dwState) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSelectedControlItem(DWORD dwIDCtl, DWORD* pdwIDItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSelectedControlItem(DWORD dwIDCtl, DWORD dwIDItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartVisualGroup(DWORD dwIDCtl, LPCWSTR pszLabel) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndVisualGroup() = 0;
    virtual HRESULT STDMETHODCALLTYPE MakeProminent(DWORD dwIDCtl) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetControlItemText(DWORD dwIDCtl, DWORD dwIDItem, LPCWSTR pszLabel) = 0;
};

struct IFileDialogControlEvents : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnItemSelected(IFileDialogCustomize* pfdc, DWORD dwIDCtl, DWORD dwIDItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnButtonClicked(IFileDialogCustomize* pfdc, DWORD dwIDCtl) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnCheckButtonToggled(IFileDialogCustomize* pfdc, DWORD dwIDCtl, BOOL bChecked) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnControlActivating(IFileDialogCustomize* pfdc, DWORD dwIDCtl) = 0;
};

constexpr IID IID_IShellItemFilter{0x2659b475, 0xeeb8, 0x48b7, {0x8f, 0x07, 0xb3, 0x78, 0x81, 0x0f, 0x48, 0xcf}};
constexpr IID IID_IFileDialogEvents{0x973510db, 0x7d7f, 0x452b, {0x89, 0x75, 0x74, 0xa8, 0x58, 0x28, 0xd3, 0x54}};
constexpr IID IID_IFileDialog{0x42f85136, 0xdb7e, 0x439c, {0x85, 0xf1, 0xe4, 0x07, 0x5d, 0x13, 0x5f, 0xc8}};
constexpr IID IID_IFileOpenDialog{0xd57c7288, 0xd4ad, 0x4768, {0xbe, 0x02, 0x9d, 0x96, 0x95, 0x32, 0xd9, 0x60}};
constexpr IID IID_IFileSaveDialog{0x84bccd23, 0x5fde, 0x4cdb, {0xae, 0xa4, 0xaf, 0x64, 0xb8, 0x3d, 0x78, 0xab}};
constexpr IID IID_IFileDialogCustomize{0xe6fdd21a, 0x163f, 0x4975, {0x9c, 0x8c, 0xa6, 0x9f, 0x1b, 0xa3, 0x70, 0x34}};
constexpr IID IID_IFileDialogControlEvents{0x36116642, 0xd713, 0x4b97, {0x9b, 0x83, 0x74, 0x84, 0xa9, 0xd0, 0x04, 0x33}};

#endif // !_WIN32

namespace platform {
template <> struct InterfaceId<IShellItemFilter> { static const IID& Get() { return IID_IShellItemFilter; } };
template <> struct InterfaceId<IFileDialogEvents> { static const IID& Get() { return IID_IFileDialogEvents; } };
template <> struct InterfaceId<IFileDialog> { static const IID& Get() { return IID_IFileDialog; } };
template <> struct InterfaceId<IFileOpenDialog> { static const IID& Get() { return IID_IFileOpenDialog; } };
template <> struct InterfaceId<IFileSaveDialog> { static const IID& Get() { return IID_IFileSaveDialog; } };
template <> struct InterfaceId<IFileDialogCustomize> { static const IID& Get() { return IID_IFileDialogCustomize; } };
template <> struct InterfaceId<IFileDialogControlEvents> { static const IID& Get() { return IID_IFileDialogControlEvents; } };
} // namespace platform
