#include "dialoghook/SettingsDlg.h"

#include "Configuration.h"
#include "Directory.h"
#include "OrvException.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "dialoghook/Veilshim.h"
#include "platform/shell/ShellApi.h"
#include "resources/resource.h"

CSettingsDlg::CSettingsDlg(CWnd* parent) : CDialog(IDD_SETTINGS, parent)
{
    MapClicked(IDC_REPLACEDIALOG, &CSettingsDlg::OnCbReplaceFileDialog);
    MapClicked(IDC_ASSOCIATEFILES, &CSettingsDlg::OnChbRegisterFileExtensions);
    MapClicked(IDC_BROWSEGPGPATH, &CSettingsDlg::OnBrowseGPGPathClicked);
    MapClicked(IDC_BROWSEHOMEDIR, &CSettingsDlg::OnBrowseHomedirClicked);
    MapClicked(IDC_BROWSEDECRYPTDIR, &CSettingsDlg::OnBrowseWorkingDirClicked);
}

bool CSettingsDlg::IsValidGnuPGProgram(const CString& path)
{
    return !path.IsEmpty() && platform::IsExecutableFile(path);
}

void CSettingsDlg::ShowReplacementStatus()
{
    bool decided = true;
    CConfiguration::eRegisterStatus status = CConfiguration::GetDialogReplacementStatus(decided);
    CString text;
    if (!decided) {
        CheckDlgButton(IDC_REPLACEDIALOG, BST_UNCHECKED);
    } else if (status == CConfiguration::eNotRegistered) {
        CheckDlgButton(IDC_REPLACEDIALOG, BST_UNCHECKED);
        platform::LoadResourceString(IDS_DEFAULT_DIALOG_RUNNING, text);
    } else if (status == CConfiguration::eRegistered) {
        CheckDlgButton(IDC_REPLACEDIALOG, BST_CHECKED);
        platform::LoadResourceString(IDS_DIALOG_MOD_REGISTERED, text);
    } else {
        CheckDlgButton(IDC_REPLACEDIALOG, BST_INDETERMINATE);
        platform::LoadResourceString(IDS_UNKNOWN_DIALOG_REGISTERED, text);
        m_bUnusualConfiguration = 1;
    }
    SetDlgItemText(IDC_REGISTRATIONSTATUS, text);
}

BOOL CSettingsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    ShowReplacementStatus();
    CheckDlgButton(IDC_ASSOCIATEFILES,
                   CConfiguration::GetFileExtensionRegistrationStatus() == CConfiguration::eRegistered
                       ? BST_CHECKED
                       : BST_UNCHECKED);
    CString gpg;
    try {
        gpg = CConfiguration::GetGnuPGPath();
    } catch (COrvException* error) {
        UINT id = error->GetMessageId();
        if (id != IDS_ERR_NO_VEILCASE_PROCESS && id != IDS_ERR_NO_GNUPG_CONFIG && id != IDS_ERR_GPG_NOT_FOUND)
            throw;
        error->Delete();
    }
    SetDlgItemText(IDC_GPGPATH, gpg);
    SetDlgItemText(IDC_HOMEDIR, CConfiguration::GetGnuPGHomeDir());
    SetDlgItemText(IDC_DECRYPTDIR, CConfiguration::GetWorkingDir(0));
    return TRUE;
}

void CSettingsDlg::OnCbReplaceFileDialog()
{
    if (!m_bUnusualConfiguration) {
        if (IsDlgButtonChecked(IDC_REPLACEDIALOG) == BST_INDETERMINATE)
            CheckDlgButton(IDC_REPLACEDIALOG, BST_UNCHECKED);
        return;
    }
    if (AfxMessageBox(IDS_UNUSUAL_DIALOG_CONFIG, MB_YESNO | MB_ICONWARNING) != IDYES) {
        CheckDlgButton(IDC_REPLACEDIALOG, BST_INDETERMINATE);
        return;
    }
    CheckDlgButton(IDC_REPLACEDIALOG, BST_CHECKED);
    m_bUnusualConfiguration = 0;
}

void CSettingsDlg::OnChbRegisterFileExtensions()
{
    if (IsDlgButtonChecked(IDC_ASSOCIATEFILES) == BST_CHECKED &&
        AfxMessageBox(IDS_CONFIRM_ASSOCIATION, MB_YESNO | MB_ICONQUESTION) != IDYES)
        CheckDlgButton(IDC_ASSOCIATEFILES, BST_UNCHECKED);
}

bool CSettingsDlg::Browse(bool folders, const CString& current, CString& chosen)
{
    // The system dialog lives in this thread's apartment, for as long as it shows.
    struct SApartment {
        bool joined = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ~SApartment()
        {
            if (joined)
                CoUninitialize();
        }
    } apartment;
    platform::ComPtr<IFileDialog> dialog = CVeilshim::CreateSystemDialog(true);
    if (!dialog)
        return false;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    options |= FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
    options |= folders ? FOS_PICKFOLDERS : FOS_FILEMUSTEXIST;
    dialog->SetOptions(options);
    if (!folders) {
        const COMDLG_FILTERSPEC filter{cszGnuPGFilterName, cszGnuPGFilterPattern};
        dialog->SetFileTypes(1, &filter);
    }
    // Start where the box points: the folder itself, or the program's folder.
    CString start = current;
    if (!folders || !CDirectory::Exist(start))
        start = CDirectory::SplitPathFromFileNameWithPath(current);
    platform::ComPtr<IShellItem> folder;
    if (!start.IsEmpty() && CDirectory::Exist(start) &&
        SUCCEEDED(SHCreateItemFromParsingName(start, nullptr, IID_IShellItem, folder.PutVoid())))
        dialog->SetFolder(folder.Get());
    if (dialog->Show(GetSafeHwnd()) != S_OK)
        return false;
    platform::ComPtr<IShellItem> result;
    if (FAILED(dialog->GetResult(result.Put())) || !result)
        return false;
    chosen = CVeilshim::PathOfItem(result.Get());
    return !chosen.IsEmpty();
}

void CSettingsDlg::OnBrowseGPGPathClicked()
{
    CString chosen;
    if (Browse(false, GetDlgItemText(IDC_GPGPATH), chosen))
        SetDlgItemText(IDC_GPGPATH, chosen);
}

void CSettingsDlg::OnBrowseHomedirClicked()
{
    CString chosen;
    if (Browse(true, GetDlgItemText(IDC_HOMEDIR), chosen))
        SetDlgItemText(IDC_HOMEDIR, chosen);
}

void CSettingsDlg::OnBrowseWorkingDirClicked()
{
    CString chosen;
    if (Browse(true, GetDlgItemText(IDC_DECRYPTDIR), chosen))
        SetDlgItemText(IDC_DECRYPTDIR, chosen);
}

void CSettingsDlg::OnOK()
{
    // Each step acts at once; a later refusal keeps what earlier steps did.
    UINT replace = IsDlgButtonChecked(IDC_REPLACEDIALOG);
    if (replace == BST_CHECKED)
        CConfiguration::RegisterDialogReplacement();
    else if (replace == BST_UNCHECKED)
        CConfiguration::UnregisterDialogReplacement();

    if (IsDlgButtonChecked(IDC_ASSOCIATEFILES) == BST_CHECKED)
        CConfiguration::RegisterFileExtensions(1);
    else
        CConfiguration::UnRegisterFileExtensions();

    CString home = GetDlgItemText(IDC_HOMEDIR);
    if (!home.IsEmpty())
        platform::MakeDirectory(home, true);
    if (!home.IsEmpty() && !CDirectory::Exist(home)) {
        AfxMessageBox(IDS_HOMEDIR_MISSING, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    CConfiguration::SetGnuPGHomeDir(home);

    CString gpg = GetDlgItemText(IDC_GPGPATH);
    if (!IsValidGnuPGProgram(gpg)) {
        AfxMessageBox(IDS_GPG_EXE_INVALID, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    CConfiguration::SetGnuPGPath(gpg);

    CString working = GetDlgItemText(IDC_DECRYPTDIR);
    if (!working.IsEmpty())
        platform::MakeDirectory(working, true);
    if (!working.IsEmpty() && !CDirectory::Exist(working)) {
        AfxMessageBox(IDS_DECRYPTDIR_MISSING, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    CConfiguration::SetWorkingDir(working);
    EndDialog(IDOK);
}
