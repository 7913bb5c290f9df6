#include "platform/shell/dialog/FileDialogSession.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/SystemError.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/dialog/FileNameText.h"

namespace platform {

namespace {

// The folder each client (by its GUID; GUID_NULL for dialogs without one)
// confirmed last while the module is loaded. An ordinary static: the module
// may be unloaded, and its memory must go with it.
std::mutex g_rememberedLock;
std::map<CString, CString>& Remembered()
{
    static std::map<CString, CString> folders;
    return folders;
}

bool IsFolder(const CString& path)
{
    DWORD attributes = GetAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const CString& path)
{
    return GetAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

CString ParentOf(const CString& path)
{
    int slash = path.ReverseFind(u'/');
    return slash <= 0 ? CString(u"/") : path.Left(slash);
}

CString NameOf(const CString& path)
{
    return path == u"/" ? path : path.Mid(path.ReverseFind(u'/') + 1);
}

} // namespace

CFileDialogSession::CFileDialogSession(EMode mode)
    : m_mode(mode),
      m_options(mode == eOpen ? FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST | FOS_NOCHANGEDIR
                              : FOS_OVERWRITEPROMPT | FOS_NOREADONLYRETURN | FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR)
{
    // Changes the application makes to its controls show at once.
    m_controls.SetListener([this](DWORD id) {
        if (m_view)
            m_view->ShowControl(id);
    });
}

// ---- settings ---------------------------------------------------------------------------------------

void CFileDialogSession::SetOptions(FILEOPENDIALOGOPTIONS options)
{
    FILEOPENDIALOGOPTIONS before = m_options;
    m_options = options;
    // Hidden files and folders-only change what the list shows.
    const FILEOPENDIALOGOPTIONS listed = FOS_FORCESHOWHIDDEN | FOS_PICKFOLDERS;
    if (IsShown() && ((before ^ options) & listed)) {
        m_selection.clear();
        Relist(m_current);
        m_view->ShowFolder();
    }
}

HRESULT CFileDialogSession::SetFileTypes(UINT count, const COMDLG_FILTERSPEC* specs)
{
    if (IsShown())
        return E_UNEXPECTED;
    return m_types.Set(count, specs);
}

UINT CFileDialogSession::FileTypeIndex() const
{
    if (m_types.IsEmpty())
        return 0;
    if (IsShown())
        return static_cast<UINT>(m_typeChoice + 1);
    return m_requestedType;
}

void CFileDialogSession::SetFileTypeIndex(UINT index)
{
    m_requestedType = index;
    if (IsShown() && index >= 1 && index <= m_types.Count() && index - 1 != m_typeChoice) {
        m_typeChoice = index - 1;
        m_typedPattern.Empty();
        Relist(m_current);
        m_view->ShowFileType();
        m_view->ShowFolder();
        if (m_host)
            m_host->TypeChanged();
    }
}

void CFileDialogSession::SetTitle(const CString& title)
{
    m_title = title;
    if (IsShown())
        m_view->ShowTexts();
}

void CFileDialogSession::SetOkLabel(const CString& label)
{
    m_okLabel = label;
    if (IsShown())
        m_view->ShowTexts();
}

void CFileDialogSession::SetFileNameLabel(const CString& label)
{
    m_fileNameLabel = label;
    if (IsShown())
        m_view->ShowTexts();
}

void CFileDialogSession::SetDefaultExtension(const CString& extension)
{
    m_defaultExtension = extension;
    // Given as Windows takes it, without the period; a leading one is dropped.
    while (m_defaultExtension.Left(1) == u".")
        m_defaultExtension = m_defaultExtension.Mid(1);
    m_defaultExtensionSet = !m_defaultExtension.IsEmpty();
}

void CFileDialogSession::SetFolder(const CString& folder)
{
    m_folder = folder;
    m_folderSetSinceShown = !IsShown();
    if (IsShown() && folder != m_current && Relist(folder))
        ApplyFolder(folder);
}

void CFileDialogSession::SetFileName(const CString& text)
{
    m_nameText = text;
    if (IsShown())
        m_view->ShowFileName();
}

void CFileDialogSession::AddPlace(const CString& path, bool top)
{
    m_places.push_back(SPlace{path, top});
}

void CFileDialogSession::ClearClientData()
{
    std::lock_guard<std::mutex> lock(g_rememberedLock);
    Remembered().erase(GuidToString(m_clientGuid));
}

CString CFileDialogSession::Folder() const
{
    if (IsShown())
        return m_current;
    // Before the dialog is shown, or after: where the next Show would open,
    // unless the dialog was shown and nothing set a folder since.
    return m_current.IsEmpty() || m_folderSetSinceShown ? InitialFolder() : m_current;
}

CString CFileDialogSession::CurrentSelection() const
{
    if (!m_results.empty())
        return m_results.front();
    if (IsShown() && !m_selection.empty())
        return m_current + (m_current == u"/" ? u"" : u"/") + m_listing[m_selection.front()].name;
    std::vector<CString> names = CFileNameText::Split(m_nameText);
    if (names.empty())
        return CString();
    return CFileNameText::Resolve(Folder(), names.front(), Home());
}

std::vector<CString> CFileDialogSession::Places() const
{
    std::vector<CString> places;
    for (const SPlace& place : m_places)
        if (place.top)
            places.push_back(place.path);
    if (!(m_options & FOS_HIDEPINNEDPLACES)) {
        for (int csidl : {CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL}) {
            CString folder = SpecialFolder(csidl);
            if (!folder.IsEmpty() && IsFolder(folder) && std::find(places.begin(), places.end(), folder) == places.end())
                places.push_back(folder);
        }
        places.push_back(u"/");
    }
    for (const SPlace& place : m_places)
        if (!place.top)
            places.push_back(place.path);
    return places;
}

// ---- showing ---------------------------------------------------------------------------------------

CString CFileDialogSession::Home() const
{
    CString home = SpecialFolder(CSIDL_PROFILE);
    return home.IsEmpty() ? CString(u"/") : home;
}

CString CFileDialogSession::InitialFolder() const
{
    CString remembered;
    {
        std::lock_guard<std::mutex> lock(g_rememberedLock);
        auto found = Remembered().find(GuidToString(m_clientGuid));
        if (found != Remembered().end())
            remembered = found->second;
    }
    for (const CString& candidate :
         {m_folder, remembered, m_defaultFolder, CItemIdList::NormalPath(FullPath(u".")), Home()}) {
        if (!candidate.IsEmpty() && IsFolder(candidate))
            return candidate;
    }
    return u"/";
}

void CFileDialogSession::Begin(IView* view)
{
    CString folder = InitialFolder();
    m_typeChoice = m_types.IsEmpty() || m_requestedType < 1 || m_requestedType > m_types.Count() ? 0
                                                                                                 : m_requestedType - 1;
    m_typedPattern.Empty();
    m_results.clear();
    m_selection.clear();
    m_closing = false;
    m_folderSetSinceShown = false;
    m_closeResult = HRESULT_FROM_WIN32(ERROR_CANCELLED);
    m_current = folder;
    m_view = view;
    if (view) {
        Relist(folder);
        m_controls.SetLocked(true);
    }
}

void CFileDialogSession::RaiseOpeningEvents()
{
    if (!m_host)
        return;
    m_host->FolderChanged();
    if (IsShown() && !m_types.IsEmpty())
        m_host->TypeChanged();
}

void CFileDialogSession::End()
{
    m_view = nullptr;
    m_listing.clear();
    m_selection.clear();
    m_controls.SetLocked(false);
}

HRESULT CFileDialogSession::Close(HRESULT hr)
{
    if (!IsShown())
        return E_UNEXPECTED;
    if (!m_closing) {
        m_closing = true;
        m_closeResult = hr;
        m_view->EndDialog();
    }
    return S_OK;
}

CFolderListing::SFilter CFileDialogSession::Filter() const
{
    CFolderListing::SFilter filter;
    filter.types = m_types.IsEmpty() ? nullptr : &m_types;
    filter.typeIndex = m_typeChoice;
    filter.pattern = m_typedPattern;
    filter.showHidden = (m_options & FOS_FORCESHOWHIDDEN) != 0;
    filter.foldersOnly = (m_options & FOS_PICKFOLDERS) != 0;
    return filter;
}

bool CFileDialogSession::Relist(const CString& folder)
{
    std::vector<CFolderListing::SEntry> listing;
    if (!CFolderListing::List(folder, Filter(), listing))
        return false;
    m_listing = std::move(listing);
    return true;
}

// Shows `folder`, whose listing is already in place; the application hears
// of the new folder, then of the selection it lost.
void CFileDialogSession::ApplyFolder(const CString& folder)
{
    bool hadSelection = !m_selection.empty();
    m_current = folder;
    m_selection.clear();
    m_view->ShowFolder();
    if (m_host) {
        m_host->FolderChanged();
        if (hadSelection)
            m_host->SelectionChanged();
    }
}

bool CFileDialogSession::IsMultiSelect() const
{
    return m_mode == eOpen && (m_options & FOS_ALLOWMULTISELECT);
}

void CFileDialogSession::Tell(const CString& text)
{
    if (m_view)
        m_view->Ask(text, MB_OK | MB_ICONWARNING);
}

// ---- the user's actions ----------------------------------------------------------------------------

bool CFileDialogSession::UserNavigate(const CString& folder)
{
    if (!IsShown() || m_closing)
        return false;
    CString target = CItemIdList::NormalPath(folder);
    if (target.IsEmpty())
        return false;
    if (m_host && FAILED(m_host->FolderChanging(target)))
        return false;
    std::vector<CFolderListing::SEntry> listing;
    if (!CFolderListing::List(target, Filter(), listing)) {
        DWORD error = LastFileError();
        Tell(target + u"\n\n" + SystemErrorText(error));
        return false;
    }
    m_listing = std::move(listing);
    ApplyFolder(target);
    return true;
}

bool CFileDialogSession::UserGoUp()
{
    return m_current != u"/" && UserNavigate(ParentOf(m_current));
}

void CFileDialogSession::UserOpenEntry(size_t index)
{
    if (!IsShown() || index >= m_listing.size())
        return;
    CString path = m_current + (m_current == u"/" ? u"" : u"/") + m_listing[index].name;
    if (m_listing[index].folder) {
        UserNavigate(path);
        return;
    }
    UserSelect({index});
    UserConfirm();
}

void CFileDialogSession::UserSelect(const std::vector<size_t>& indexes)
{
    if (!IsShown())
        return;
    std::vector<size_t> selection;
    for (size_t index : indexes)
        if (index < m_listing.size() && std::find(selection.begin(), selection.end(), index) == selection.end())
            selection.push_back(index);
    if (!IsMultiSelect() && selection.size() > 1)
        selection.resize(1);
    if (selection == m_selection)
        return;
    m_selection = selection;

    // Chosen files (folders in a folder dialog) show in the file name box.
    bool pickFolders = (m_options & FOS_PICKFOLDERS) != 0;
    std::vector<CString> names;
    for (size_t index : m_selection)
        if (m_listing[index].folder == pickFolders)
            names.push_back(m_listing[index].name);
    if (!names.empty()) {
        m_nameText = CFileNameText::Join(names);
        m_view->ShowFileName();
    }
    if (m_host)
        m_host->SelectionChanged();
}

void CFileDialogSession::UserTypeName(const CString& text)
{
    m_nameText = text;
}

void CFileDialogSession::UserChooseType(size_t index)
{
    if (!IsShown() || index >= m_types.Count() || index == m_typeChoice)
        return;
    // A name that carries the extension of the type left behind takes the
    // new type's, as the user sees in the name box.
    if (m_mode == eSave && m_defaultExtensionSet) {
        CString oldExtension = m_types.Extension(m_typeChoice);
        CString newExtension = m_types.Extension(index);
        std::vector<CString> names = CFileNameText::Split(m_nameText);
        if (names.size() == 1 && !newExtension.IsEmpty() &&
            CFileNameText::Extension(names.front()).CompareNoCase(oldExtension) == 0 && !oldExtension.IsEmpty()) {
            m_nameText = CFileNameText::ReplaceExtension(names.front(), newExtension);
            m_view->ShowFileName();
        }
    }
    m_typeChoice = index;
    m_typedPattern.Empty();
    m_selection.clear();
    Relist(m_current);
    m_view->ShowFolder();
    if (m_host)
        m_host->TypeChanged();
}

void CFileDialogSession::UserCancel()
{
    if (!IsShown() || m_closing)
        return;
    m_closing = true;
    m_closeResult = HRESULT_FROM_WIN32(ERROR_CANCELLED);
    m_view->EndDialog();
}

void CFileDialogSession::UserToggleCheck(DWORD id, bool checked)
{
    m_controls.UserSetChecked(id, checked);
    if (m_host)
        m_host->CheckButtonToggled(id, checked);
}

void CFileDialogSession::UserClickButton(DWORD id)
{
    if (m_host)
        m_host->ButtonClicked(id);
}

void CFileDialogSession::UserChooseItem(DWORD id, DWORD item)
{
    m_controls.UserSelectItem(id, item);
    if (m_host)
        m_host->ItemSelected(id, item);
}

void CFileDialogSession::UserActivate(DWORD id)
{
    if (m_host)
        m_host->ControlActivating(id);
}

void CFileDialogSession::UserEditText(DWORD id, const CString& text)
{
    m_controls.UserSetEditText(id, text);
}

bool CFileDialogSession::UserChooseOpenItem(DWORD item)
{
    const CCustomControls::SControl* dropDown = m_controls.OpenDropDown();
    if (!dropDown)
        return UserConfirm();
    UserChooseItem(dropDown->id, item);
    return UserConfirm();
}

// ---- confirming ----------------------------------------------------------------------------------

// The extension a saved name without one receives: the chosen type's, else
// the default extension; none unless a default extension was set.
CString CFileDialogSession::ExtensionToAdd() const
{
    if (!m_defaultExtensionSet)
        return CString();
    CString typeExtension = m_types.Extension(m_typeChoice);
    return typeExtension.IsEmpty() ? m_defaultExtension : typeExtension;
}

bool CFileDialogSession::UserConfirm()
{
    if (!IsShown() || m_closing)
        return false;
    std::vector<CString> names = CFileNameText::Split(m_nameText);
    bool quoted = m_nameText.Find(u'"') >= 0;

    if (m_options & FOS_PICKFOLDERS)
        return ConfirmFolders(names);

    if (names.empty()) {
        // Nothing named: a folder chosen in the list is opened.
        if (m_selection.size() == 1 && m_listing[m_selection.front()].folder)
            UserNavigate(m_current + (m_current == u"/" ? u"" : u"/") + m_listing[m_selection.front()].name);
        return false;
    }
    // A typed pattern filters the list instead.
    if (names.size() == 1 && !quoted && CFileTypes::HasWildcard(names.front())) {
        m_typedPattern = names.front();
        m_selection.clear();
        Relist(m_current);
        m_view->ShowFolder();
        return false;
    }
    if (names.size() > 1 && !IsMultiSelect()) {
        Tell(u"You can choose only one file here.");
        return false;
    }
    std::vector<CString> paths;
    for (const CString& name : names)
        paths.push_back(CFileNameText::Resolve(m_current, name, Home()));
    // One name that is a folder (or ends in '/'): go there.
    if (names.size() == 1 && (IsFolder(paths.front()) || names.front().Right(1) == u"/")) {
        if (UserNavigate(paths.front())) {
            m_nameText.Empty();
            m_view->ShowFileName();
        } else if (!IsFolder(paths.front()) && !(m_options & FOS_NOVALIDATE)) {
            Tell(paths.front() + u"\nPath does not exist.\nCheck the path and try again.");
        }
        return false;
    }
    if (!Validate(paths))
        return false;
    return Finish(std::move(paths));
}

// Applies the extension rules and the checks the options ask for; tells the
// user and returns false at the first problem.
bool CFileDialogSession::Validate(std::vector<CString>& paths)
{
    bool validate = !(m_options & FOS_NOVALIDATE);
    for (CString& path : paths) {
        CString name = NameOf(path);
        bool hasExtension = !CFileNameText::Extension(name).IsEmpty();
        bool endsInDot = name.Right(1) == u".";
        CString extension = ExtensionToAdd();
        if (m_mode == eSave) {
            if (!hasExtension && !endsInDot && !extension.IsEmpty())
                path += u'.' + extension;
            else if (hasExtension && (m_options & FOS_STRICTFILETYPES) && !m_types.IsEmpty() &&
                     !m_types.Matches(m_typeChoice, name) && !m_types.Extension(m_typeChoice).IsEmpty())
                path += u'.' + m_types.Extension(m_typeChoice);
        } else if (!Exists(path) && !hasExtension && !endsInDot && !extension.IsEmpty() &&
                   Exists(path + u'.' + extension)) {
            path += u'.' + extension;
        }
        if (!validate)
            continue;

        name = NameOf(path);
        if ((m_options & FOS_PATHMUSTEXIST) && !IsFolder(ParentOf(path))) {
            Tell(ParentOf(path) + u"\nPath does not exist.\nCheck the path and try again.");
            return false;
        }
        if (IsFolder(path)) {
            Tell(name + u"\nThis is a folder. Choose a file.");
            return false;
        }
        bool exists = Exists(path);
        if (m_mode == eOpen && !exists) {
            if (m_options & FOS_FILEMUSTEXIST) {
                Tell(name + u"\nFile not found.\nCheck the file name and try again.");
                return false;
            }
            if ((m_options & FOS_CREATEPROMPT) &&
                m_view->Ask(name + u"\nThis file doesn't exist.\nCreate the file?", MB_YESNO | MB_ICONWARNING) != IDYES)
                return false;
        }
        if (exists && (m_options & FOS_NOREADONLYRETURN) && (GetAttributes(path) & FILE_ATTRIBUTE_READONLY)) {
            Tell(name + u"\nThis file is set to read-only.\nTry again with a different file name.");
            return false;
        }
        if (exists && m_mode == eSave && (m_options & FOS_OVERWRITEPROMPT)) {
            FDE_OVERWRITE_RESPONSE response = m_host ? m_host->Overwrite(path) : FDEOR_DEFAULT;
            if (response == FDEOR_REFUSE)
                return false;
            if (response == FDEOR_DEFAULT &&
                m_view->Ask(name + u" already exists.\nDo you want to replace it?",
                            MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
                return false;
        }
    }
    return true;
}

bool CFileDialogSession::ConfirmFolders(const std::vector<CString>& names)
{
    std::vector<CString> folders;
    if (names.empty()) {
        for (size_t index : m_selection)
            folders.push_back(m_current + (m_current == u"/" ? u"" : u"/") + m_listing[index].name);
        if (folders.empty())
            folders.push_back(m_current);
    } else {
        if (names.size() > 1 && !IsMultiSelect()) {
            Tell(u"You can choose only one folder here.");
            return false;
        }
        for (const CString& name : names) {
            CString path = CFileNameText::Resolve(m_current, name, Home());
            bool mustExist = (m_options & (FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST)) && !(m_options & FOS_NOVALIDATE);
            if (Exists(path) && !IsFolder(path)) {
                Tell(NameOf(path) + u"\nThis is not a folder. Choose a folder.");
                return false;
            }
            if (mustExist && !IsFolder(path)) {
                Tell(path + u"\nPath does not exist.\nCheck the path and try again.");
                return false;
            }
            folders.push_back(path);
        }
    }
    return Finish(std::move(folders));
}

bool CFileDialogSession::Finish(std::vector<CString> results)
{
    m_results = std::move(results);
    // The application sees the results from OnFileOk on; S_FALSE keeps the
    // dialog open for another choice.
    if (m_host && m_host->FileOk() == S_FALSE) {
        m_results.clear();
        return false;
    }
    if (m_closing) // the application closed it from its handler
        return true;
    m_closing = true;
    m_closeResult = S_OK;
    {
        std::lock_guard<std::mutex> lock(g_rememberedLock);
        Remembered()[GuidToString(m_clientGuid)] = m_current;
    }
    m_view->EndDialog();
    return true;
}

} // namespace platform
