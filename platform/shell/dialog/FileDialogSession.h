// What an Open or Save dialog knows and decides, apart from any window: the
// settings the application makes (options, file types, default extension,
// texts, folders, file name, places), the state while it is shown (folder,
// listing, selection, file name text, file type), what the user's actions do
// (navigate, select, type, choose a type, confirm, cancel, use the added
// controls), and the checks and questions before it closes with its results.
//
// The session tells the application through its host (the events) and the
// window through its view (what to show, the questions to ask). Both may be
// called back from inside those calls: the application's handlers change
// settings, texts and controls while an event runs.
#pragma once

#include <vector>

#include "platform/CString.h"
#include "platform/shell/FileDialogApi.h"
#include "platform/shell/dialog/CustomControls.h"
#include "platform/shell/dialog/FileTypes.h"
#include "platform/shell/dialog/FolderListing.h"

namespace platform {

class CFileDialogSession {
public:
    enum EMode { eOpen, eSave };

    // The application's side: the events of IFileDialogEvents and
    // IFileDialogControlEvents.
    class IHost {
    public:
        virtual ~IHost() = default;
        // A failure refuses the navigation.
        virtual HRESULT FolderChanging(const CString& folder) = 0;
        virtual void FolderChanged() = 0;
        virtual void SelectionChanged() = 0;
        virtual void TypeChanged() = 0;
        virtual FDE_OVERWRITE_RESPONSE Overwrite(const CString& path) = 0;
        // S_FALSE keeps the dialog open.
        virtual HRESULT FileOk() = 0;
        virtual void CheckButtonToggled(DWORD id, bool checked) = 0;
        virtual void ButtonClicked(DWORD id) = 0;
        virtual void ItemSelected(DWORD id, DWORD item) = 0;
        virtual void ControlActivating(DWORD id) = 0;
    };

    // The window's side while the dialog is shown.
    class IView {
    public:
        virtual ~IView() = default;
        virtual void ShowFolder() = 0;   // the folder and its listing changed (the selection is empty)
        virtual void ShowFileName() = 0; // the file name text changed
        virtual void ShowFileType() = 0; // the chosen file type changed
        virtual void ShowTexts() = 0;    // title, OK label or file name label changed
        virtual void ShowControl(DWORD id) = 0;
        virtual void EndDialog() = 0;    // the dialog is to close (see CloseResult)
        // A question or message of the dialog; returns IDYES, IDNO, IDOK, ...
        virtual int Ask(const CString& text, UINT type) = 0;
    };

    // A place offered beside the folders (AddPlace).
    struct SPlace {
        CString path;
        bool top = false;
    };

    explicit CFileDialogSession(EMode mode);
    CFileDialogSession(const CFileDialogSession&) = delete;
    CFileDialogSession& operator=(const CFileDialogSession&) = delete;

    EMode Mode() const { return m_mode; }
    void SetHost(IHost* host) { m_host = host; }

    // ---- settings (IFileDialog) ----------------------------------------------------------------
    FILEOPENDIALOGOPTIONS Options() const { return m_options; }
    void SetOptions(FILEOPENDIALOGOPTIONS options);
    HRESULT SetFileTypes(UINT count, const COMDLG_FILTERSPEC* specs);
    const CFileTypes& FileTypes() const { return m_types; }
    // 1-based as the interface counts; 0 while there are no types.
    UINT FileTypeIndex() const;
    void SetFileTypeIndex(UINT index);
    void SetTitle(const CString& title);
    void SetOkLabel(const CString& label);
    void SetFileNameLabel(const CString& label);
    const CString& Title() const { return m_title; }
    const CString& OkLabel() const { return m_okLabel; }
    const CString& FileNameLabel() const { return m_fileNameLabel; }
    // The extension given to a name without one (stored without a leading '.').
    void SetDefaultExtension(const CString& extension);
    const CString& DefaultExtension() const { return m_defaultExtension; }
    void SetDefaultFolder(const CString& folder) { m_defaultFolder = folder; }
    // The folder the dialog opens in (or, while shown, goes to at once).
    void SetFolder(const CString& folder);
    void SetFileName(const CString& text);
    void AddPlace(const CString& path, bool top);
    void SetClientGuid(REFGUID guid) { m_clientGuid = guid; }
    // Forgets the folder remembered for this dialog's client.
    void ClearClientData();
    // The folder the dialog shows (or would open in, or showed last).
    CString Folder() const;
    // The file name text (as set, or as the user left it).
    const CString& FileNameText() const { return m_nameText; }
    // The item the user has chosen so far: a selected entry, else the typed
    // name; empty when there is none.
    CString CurrentSelection() const;
    // The confirmed results (empty until the user confirmed).
    const std::vector<CString>& Results() const { return m_results; }

    CCustomControls& Controls() { return m_controls; }
    const CCustomControls& Controls() const { return m_controls; }

    // The places offered: the user's home, desktop and documents folders and
    // the root (unless hidden by FOS_HIDEPINNEDPLACES), with added places
    // before or after them.
    std::vector<CString> Places() const;

    // ---- showing ------------------------------------------------------------------------------------
    // Starts showing: picks the folder (set folder, else the one remembered
    // for the client, else the default folder, else the current folder, else
    // home), clamps the file type, clears earlier results. The view must stay
    // valid until End.
    void Begin(IView* view);
    // The events of a dialog that has just come up.
    void RaiseOpeningEvents();
    // Ends showing.
    void End();
    bool IsShown() const { return m_view != nullptr; }
    // What Show returns: S_OK when confirmed, the code given to Close, or
    // HRESULT_FROM_WIN32(ERROR_CANCELLED).
    HRESULT CloseResult() const { return m_closeResult; }
    // Closes the shown dialog with `hr` (IFileDialog::Close).
    HRESULT Close(HRESULT hr);

    // The listing of the folder shown (valid while shown).
    const std::vector<CFolderListing::SEntry>& Listing() const { return m_listing; }
    const std::vector<size_t>& Selection() const { return m_selection; }
    // 0-based index of the chosen type (0 with no types).
    size_t TypeChoice() const { return m_typeChoice; }
    // A pattern the user typed into the file name box, shown instead of the type's.
    const CString& TypedPattern() const { return m_typedPattern; }

    // ---- the user's actions -----------------------------------------------------------------------
    // Goes to a folder (asking the application first). False when refused or
    // unreadable (the user is told).
    bool UserNavigate(const CString& folder);
    bool UserGoUp();
    // Double click or Enter on an entry: a folder is opened, a file confirmed.
    void UserOpenEntry(size_t index);
    // The entries selected in the list (indexes into Listing()).
    void UserSelect(const std::vector<size_t>& indexes);
    void UserTypeName(const CString& text);
    void UserChooseType(size_t index);
    // The OK button (or Enter in the file name box). True when the dialog closes.
    bool UserConfirm();
    void UserCancel();
    void UserToggleCheck(DWORD id, bool checked);
    void UserClickButton(DWORD id);
    void UserChooseItem(DWORD id, DWORD item);
    void UserActivate(DWORD id);
    void UserEditText(DWORD id, const CString& text);
    // An item of the OK button's drop-down: chosen, then confirmed.
    bool UserChooseOpenItem(DWORD item);

private:
    CString InitialFolder() const;
    CFolderListing::SFilter Filter() const;
    bool Relist(const CString& folder);
    void ApplyFolder(const CString& folder);
    bool IsMultiSelect() const;
    CString Home() const;
    CString ExtensionToAdd() const;
    bool Validate(std::vector<CString>& paths);
    bool ConfirmFolders(const std::vector<CString>& names);
    bool Finish(std::vector<CString> results);
    void Tell(const CString& text);

    EMode m_mode;
    IHost* m_host = nullptr;
    IView* m_view = nullptr;

    FILEOPENDIALOGOPTIONS m_options;
    CFileTypes m_types;
    UINT m_requestedType = 1;
    CString m_title, m_okLabel, m_fileNameLabel;
    CString m_defaultExtension;
    bool m_defaultExtensionSet = false;
    CString m_folder;        // set by SetFolder
    bool m_folderSetSinceShown = false;
    CString m_defaultFolder; // set by SetDefaultFolder
    CString m_nameText;
    std::vector<SPlace> m_places;
    GUID m_clientGuid = GUID_NULL;
    CCustomControls m_controls;

    CString m_current; // the folder shown (or last shown)
    std::vector<CFolderListing::SEntry> m_listing;
    std::vector<size_t> m_selection;
    size_t m_typeChoice = 0;
    CString m_typedPattern;
    std::vector<CString> m_results;
    HRESULT m_closeResult = S_OK;
    bool m_closing = false;
};

} // namespace platform
