#include "app/editor/EditorDlg.h"

#include <algorithm>
#include <iterator>

#include "app/editor/resource.h"
#include "platform/SystemError.h"
#include "platform/Resources.h"
#include "platform/ResourceTable.h"
#include "platform/com/ComPtr.h"
#include "platform/gui/Gui.h"
#include "platform/shell/FileDialogApi.h"

// The editor's own resources, compiled from its resource script.
extern "C" const VeilResourceTable veilcase_resource_table;

using platform::ComPtr;

namespace {

const COMDLG_FILTERSPEC kFileTypes[] = {
    {u"Text documents", u"*.txt;*.text;*.md"},
    {u"All files", u"*.*"},
};

// The file-system path of a shell item; empty when it has none.
CString PathOf(IShellItem* item)
{
    LPWSTR name = nullptr;
    if (!item || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) || !name)
        return CString();
    CString path(name);
    CoTaskMemFree(name);
    return path;
}

ComPtr<IShellItem> FolderItemOf(const CString& path)
{
    ComPtr<IShellItem> item;
    int slash = path.ReverseFind(u'/');
    if (slash < 0)
        return item;
    PIDLIST_ABSOLUTE list = SHSimpleIDListFromPath(slash == 0 ? CString(u"/") : path.Left(slash));
    if (list) {
        SHCreateItemFromIDList(list, IID_PPV_ARGS(item.Put()));
        ILFree(list);
    }
    return item;
}

} // namespace

void CEditorDlg::RegisterResources()
{
    platform::AddResourceSource(&veilcase_resource_table, true);
}

CEditorDlg::CEditorDlg(std::vector<CString> files) : CDialog(IDD_TEXTEDIT), m_startFiles(std::move(files))
{
    MapClicked(IDC_OPEN, &CEditorDlg::OnOpen);
    MapClicked(IDC_SAVE, &CEditorDlg::OnSave);
    MapClicked(IDC_SAVEAS, &CEditorDlg::OnSaveAs);
    MapClicked(IDC_CLOSEDOC, &CEditorDlg::OnCloseDocument);
    MapCommand(IDC_DOCUMENTS, CBN_SELCHANGE, &CEditorDlg::OnDocumentChosen);
    MapCommand(IDC_TEXT, EN_CHANGE, &CEditorDlg::OnTextChanged);
}

BOOL CEditorDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_list.SubclassDlgItem(IDC_DOCUMENTS, this);
    m_text.SubclassDlgItem(IDC_TEXT, this);
    m_documents.emplace_back(); // an untitled document to start with
    if (!m_startFiles.empty())
        OpenFiles(m_startFiles);
    ShowDocuments();
    ShowCurrent();
    Layout();
    m_text.SetFocus();
    return FALSE;
}

int CEditorDlg::Ask(const CString& text, UINT type)
{
    return ::MessageBoxW(m_hWnd, text, u"Text Editor", type);
}

void CEditorDlg::OnSize(UINT type, int cx, int cy)
{
    CDialog::OnSize(type, cx, cy);
    if (m_text.GetSafeHwnd())
        Layout();
}

// The text fills the window; the buttons keep their places on the right.
void CEditorDlg::Layout()
{
    CRect client;
    GetClientRect(&client);
    CRect margin(7, 7, 7, 7);
    MapDialogRect(&margin);
    CRect exit;
    GetDlgItem(IDCANCEL)->GetWindowRect(&exit);
    ScreenToClient(&exit);
    CRect top;
    m_list.GetWindowRect(&top);
    ScreenToClient(&top);
    const int bottomRow = client.bottom - margin.bottom - exit.Height();
    GetDlgItem(IDCANCEL)->MoveWindow(client.right - margin.right - exit.Width(), bottomRow, exit.Width(),
                                     exit.Height());
    CWnd* path = GetDlgItem(IDC_PATH);
    CRect pathRect;
    path->GetWindowRect(&pathRect);
    ScreenToClient(&pathRect);
    path->MoveWindow(margin.left, bottomRow + (exit.Height() - pathRect.Height()) / 2,
                     std::max(client.Width() - 2 * margin.left - exit.Width() - margin.left, 10), pathRect.Height());
    const int textTop = top.bottom + margin.top / 2;
    m_text.MoveWindow(margin.left, textTop, std::max(client.Width() - 2 * margin.left, 10),
                      std::max(bottomRow - margin.top / 2 - textTop, 10));
}

void CEditorDlg::OnTextChanged()
{
    if (m_showing || m_current >= m_documents.size())
        return;
    bool wasModified = m_documents[m_current].IsModified();
    m_documents[m_current].SetText(m_text.GetWindowText());
    if (wasModified != m_documents[m_current].IsModified())
        ShowDocuments(); // the list marks changed documents
}

void CEditorDlg::ShowDocuments()
{
    m_showing = true;
    m_list.ResetContent();
    for (const CTextDocument& document : m_documents)
        m_list.AddString(document.Name() + (document.IsModified() ? u" *" : u""));
    m_list.SetCurSel(static_cast<int>(m_current));
    m_showing = false;
}

void CEditorDlg::ShowCurrent()
{
    m_showing = true;
    const CTextDocument& document = m_documents[m_current];
    m_text.SetWindowText(document.Text());
    SetDlgItemText(IDC_PATH, document.Path());
    SetWindowText(document.Name() + u" - Text Editor");
    m_showing = false;
}

void CEditorDlg::OnDocumentChosen()
{
    int index = m_list.GetCurSel();
    if (m_showing || index < 0 || static_cast<size_t>(index) >= m_documents.size())
        return;
    m_current = static_cast<size_t>(index);
    ShowCurrent();
}

void CEditorDlg::OpenFiles(const std::vector<CString>& paths)
{
    CString failures;
    for (const CString& path : paths) {
        auto open = std::find_if(m_documents.begin(), m_documents.end(),
                                 [&](const CTextDocument& d) { return d.Path() == path; });
        if (open != m_documents.end()) {
            m_current = static_cast<size_t>(open - m_documents.begin());
            continue;
        }
        CTextDocument document;
        CString why;
        if (document.Load(path, why) != ERROR_SUCCESS) {
            failures += path + u"\n" + why + u"\n";
            continue;
        }
        // An untouched untitled document makes room for the first file.
        if (m_documents.size() == 1 && m_documents[0].Path().IsEmpty() && !m_documents[0].IsModified() &&
            m_documents[0].Text().IsEmpty())
            m_documents.clear();
        m_documents.push_back(std::move(document));
        m_current = m_documents.size() - 1;
    }
    if (!failures.IsEmpty())
        Ask(u"These files could not be opened:\n\n" + failures, MB_OK | MB_ICONWARNING);
}

void CEditorDlg::OnOpen()
{
    ComPtr<IFileOpenDialog> dialog;
    HRESULT hr = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(dialog.Put()));
    if (FAILED(hr)) {
        CString text;
        text.Format(u"The Open dialog is not available (error 0x%08X).", static_cast<unsigned>(hr));
        Ask(text, MB_OK | MB_ICONERROR);
        return;
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST | FOS_FORCEFILESYSTEM);
    dialog->SetFileTypes(static_cast<UINT>(std::size(kFileTypes)), kFileTypes);
    if (!m_documents[m_current].Path().IsEmpty())
        if (ComPtr<IShellItem> folder = FolderItemOf(m_documents[m_current].Path()))
            dialog->SetFolder(folder.Get());
    if (dialog->Show(m_hWnd) != S_OK)
        return; // cancelled
    ComPtr<IShellItemArray> results;
    if (FAILED(dialog->GetResults(results.Put())))
        return;
    DWORD count = 0;
    results->GetCount(&count);
    std::vector<CString> paths;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        if (SUCCEEDED(results->GetItemAt(i, item.Put()))) {
            CString path = PathOf(item.Get());
            if (!path.IsEmpty())
                paths.push_back(path);
        }
    }
    OpenFiles(paths);
    ShowDocuments();
    ShowCurrent();
}

bool CEditorDlg::Save(size_t index, bool askForPath)
{
    CTextDocument& document = m_documents[index];
    CString path = document.Path();
    if (askForPath || path.IsEmpty()) {
        ComPtr<IFileSaveDialog> dialog;
        HRESULT hr = CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(dialog.Put()));
        if (FAILED(hr)) {
            CString text;
            text.Format(u"The Save dialog is not available (error 0x%08X).", static_cast<unsigned>(hr));
            Ask(text, MB_OK | MB_ICONERROR);
            return false;
        }
        dialog->SetFileTypes(static_cast<UINT>(std::size(kFileTypes)), kFileTypes);
        dialog->SetDefaultExtension(u"txt");
        if (!path.IsEmpty()) {
            if (ComPtr<IShellItem> folder = FolderItemOf(path))
                dialog->SetFolder(folder.Get());
            dialog->SetFileName(document.Name());
        } else {
            dialog->SetFileName(u"Untitled.txt");
        }
        if (dialog->Show(m_hWnd) != S_OK)
            return false;
        ComPtr<IShellItem> result;
        if (FAILED(dialog->GetResult(result.Put())))
            return false;
        path = PathOf(result.Get());
        if (path.IsEmpty())
            return false;
    }
    DWORD error = document.SaveAs(path);
    if (error != ERROR_SUCCESS) {
        Ask(path + u"\n\nThe file could not be saved: " + platform::SystemErrorText(error), MB_OK | MB_ICONERROR);
        return false;
    }
    ShowDocuments();
    if (index == m_current)
        ShowCurrent();
    return true;
}

void CEditorDlg::OnSave()
{
    Save(m_current, false);
}

void CEditorDlg::OnSaveAs()
{
    Save(m_current, true);
}

bool CEditorDlg::MayDiscard(size_t index)
{
    if (!m_documents[index].IsModified())
        return true;
    m_current = index;
    ShowDocuments();
    ShowCurrent();
    switch (Ask(u"Save the changes to " + m_documents[index].Name() + u"?", MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return Save(index, false);
    case IDNO:
        return true;
    default:
        return false;
    }
}

void CEditorDlg::OnCloseDocument()
{
    if (!MayDiscard(m_current))
        return;
    m_documents.erase(m_documents.begin() + static_cast<std::ptrdiff_t>(m_current));
    if (m_documents.empty())
        m_documents.emplace_back();
    m_current = std::min(m_current, m_documents.size() - 1);
    ShowDocuments();
    ShowCurrent();
}

void CEditorDlg::OnCancel()
{
    for (size_t i = 0; i < m_documents.size(); ++i)
        if (!MayDiscard(i))
            return;
    CDialog::OnCancel();
}
