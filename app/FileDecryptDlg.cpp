#include "app/FileDecryptDlg.h"

#include "Encryption.h"
#include "dialoghook/VeilDialogs.h"
#include "platform/Time.h"
#include "resources/resource.h"

CFileDecryptDlg::CFileDecryptDlg(const CString& encryptedFilePath, IEncryption* engine, CWnd* parent)
    : CResizableDialog(IDD_DECRYPTFILE, parent), m_strEncryptedFilePath(encryptedFilePath), m_engine(engine)
{
}

IEncryption& CFileDecryptDlg::Engine()
{
    return m_engine ? *m_engine : CEncryption::GetDefault();
}

void CFileDecryptDlg::DoDataExchange(CDataExchange* pDX)
{
    CResizableDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_RECIPIENTS, m_recipients);
}

CString CFileDecryptDlg::FormatEncryptionDate(LONGLONG seconds)
{
    CTime time(seconds);
    if (time.GetYear() < 1971)
        return u"Unknown";
    CString date = time.Format(u"%A, %d %B %Y");
    CString clock = time.Format(u"%X");
    if (date.IsEmpty() || clock.IsEmpty())
        return u"Unknown";
    return date + u", " + clock;
}

BOOL CFileDecryptDlg::OnInitDialog()
{
    CResizableDialog::OnInitDialog();
    AddAnchor(IDOK, BOTTOM_CENTER);
    AddAnchor(IDCANCEL, BOTTOM_CENTER);
    AddAnchor(IDC_RECIPIENTS, TOP_LEFT, BOTTOM_RIGHT);
    AddAnchor(IDC_KEEPUNENCRYPTED, BOTTOM_LEFT);
    AddAnchor(IDC_NOPRIVATEKEY, BOTTOM_LEFT);

    SetDlgItemText(IDC_ORIGINALFILENAME, Engine().GetDecryptedFileName(m_strEncryptedFilePath, 0));
    m_recipients.InsertColumn(0, u"KeyID", LVCFMT_LEFT, 70);
    m_recipients.InsertColumn(1, u"UserID", LVCFMT_LEFT, 100);
    m_recipients.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
    bool anySecret = false;
    CArrayEx<CKey, const CKey&> keys = Engine().GetPublicKeysForEncryptedFile(m_strEncryptedFilePath);
    for (const CKey& key : keys) {
        int row = m_recipients.InsertItem(m_recipients.GetItemCount(), key.GetShortKeyIDString());
        m_recipients.SetItemText(row, 1, key.GetUserID());
        anySecret = anySecret || key.HasPrivatePart();
    }
    // Key ids are never cut: the column grows to its widest id, and the user
    // ids take the rest of the list.
    int idWidth = m_recipients.GetColumnWidth(0);
    m_recipients.SetColumnWidth(0, LVSCW_AUTOSIZE);
    if (m_recipients.GetColumnWidth(0) < idWidth)
        m_recipients.SetColumnWidth(0, idWidth);
    m_recipients.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
    if (!anySecret) {
        CWnd* warning = GetDlgItem(IDC_NOPRIVATEKEY);
        if (warning) {
            warning->SetTextColor(RGB(255, 0, 0));
            warning->ShowWindow(SW_SHOW);
        }
        if (CWnd* open = GetDlgItem(IDOK))
            open->EnableWindow(FALSE);
    }
    SetDlgItemText(IDC_ENCRYPTIONDATE, FormatEncryptionDate(Engine().GetEncryptionDate(m_strEncryptedFilePath).GetTime()));
    return TRUE;
}

void CFileDecryptDlg::OnSize(UINT type, int cx, int cy)
{
    CResizableDialog::OnSize(type, cx, cy);
    if (m_recipients.GetSafeHwnd() && m_recipients.GetColumnCount() > 1)
        m_recipients.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
}

void CFileDecryptDlg::OnOK()
{
    CArrayEx<CKey, const CKey&> missing = Engine().GetMissingKeysForFile(m_strEncryptedFilePath);
    m_bKeepUnencrypted = IsDlgButtonChecked(IDC_KEEPUNENCRYPTED) == BST_CHECKED ? 1 : 0;
    if (m_bKeepUnencrypted) {
        m_bDeleteAfterwards = 0;
    } else if (!missing.IsEmpty()) {
        // Without every recipient's public key the file can't be encrypted
        // for all of them again: the user chooses how to open it.
        CVeilDialogs::EOpenMode mode = CVeilDialogs::AskMissingPublicKeyOpenMode();
        if (mode == CVeilDialogs::eOpenCancelled)
            return; // stay here
        if (mode == CVeilDialogs::eOpenReadOnly) {
            m_bKeepUnencrypted = 1;
            m_bDeleteAfterwards = 1;
        }
    }
    EndDialog(IDOK);
}
