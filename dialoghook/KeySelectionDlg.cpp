#include "dialoghook/KeySelectionDlg.h"

#include "Configuration.h"
#include "Encryption.h"
#include "GuiUtils.h"
#include "KeyComparer.h"
#include "platform/MessageBox.h"
#include "platform/MessageInserts.h"
#include "platform/Resources.h"
#include "resources/resource.h"

namespace {

// Column 1 of a key with a secret part: red 28, green 81, blue 203.
constexpr COLORREF ciPrivateKeyColor = RGB(28, 81, 203);

} // namespace

CKeySelectionDlg::CKeySelectionDlg(CWnd* parent) : CResizableDialog(IDD_KEYSELECTION, parent)
{
    MapCommand(IDC_KEYGROUPS, CBN_SELCHANGE, &CKeySelectionDlg::OnSettingChange);
    MapMessage(WM_XLISTCTRL_CHECKBOX_CLICKED, &CKeySelectionDlg::OnCheckBoxClicked);
    MapClicked(IDC_SAVESELECTION, &CKeySelectionDlg::OnBnClickedCheckEditGroupname);
    MapClicked(IDC_REMOVEGROUP, &CKeySelectionDlg::OnBnClickedRemoveGroup);
}

CKeySelectionDlg::CKeySelectionDlg(CWnd* parent, CArrayEx<CKey, const CKey&> keys) : CKeySelectionDlg(parent)
{
    m_selectedKeys = std::move(keys);
}

CKeySelectionDlg::~CKeySelectionDlg() = default;

void CKeySelectionDlg::DoDataExchange(CDataExchange* pDX)
{
    CResizableDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_KEYLIST, m_keyList);
    DDX_Control(pDX, IDC_KEYGROUPS, m_groupBox);
    DDX_Control(pDX, IDC_GROUPNAME, m_groupName);
    DDX_Control(pDX, IDC_SAVESELECTION, m_saveCheck);
    DDX_Control(pDX, IDC_REMOVEGROUP, m_removeButton);
}

BOOL CKeySelectionDlg::OnInitDialog()
{
    CResizableDialog::OnInitDialog();
    fillComboBox();
    m_groupBox.AddString(u""); // sorted in: the first entry
    m_groupBox.SetCurSel(0);
    SetWindowText(CString(u"veilcase ") + CGuiUtils::GetProductVersion());

    AddAnchor(IDC_KEYLIST, TOP_LEFT, BOTTOM_RIGHT);
    AddAnchor(IDOK, BOTTOM_RIGHT);
    AddAnchor(IDCANCEL, BOTTOM_RIGHT);
    AddAnchor(IDC_SAVESELECTION, BOTTOM_LEFT);
    AddAnchor(IDC_GROUPNAME, BOTTOM_LEFT);

    m_removeButton.EnableWindow(FALSE);
    m_keyList.InsertColumn(0, u"", LVCFMT_LEFT, 30);
    m_keyList.InsertColumn(1, u"User name", LVCFMT_LEFT, 300);
    m_keyList.InsertColumn(2, u"Mail address", LVCFMT_LEFT, 200);
    m_keyList.InsertColumn(3, u"Key ID", LVCFMT_LEFT, 100);
    ListKeys();
    // The key ids show whole, whatever the font (they all have one length).
    const int idWidth = m_keyList.GetColumnWidth(3);
    m_keyList.SetColumnWidth(3, LVSCW_AUTOSIZE);
    if (m_keyList.GetColumnWidth(3) < idWidth)
        m_keyList.SetColumnWidth(3, idWidth);
    GotoDlgCtrl(&m_keyList);
    return FALSE; // the focus is placed
}

void CKeySelectionDlg::fillComboBox()
{
    const CArrayEx<CString, const CString&> names = CConfiguration::GetKeyGroupNames();
    for (int i = 0; i < names.GetSize(); ++i)
        m_groupBox.InsertString(i, names[i]);
}

void CKeySelectionDlg::ListKeys()
{
    CArrayEx<CKey, const CKey&> keys = CEncryption::GetDefault().ListKeys();
    if (keys.GetSize() > 1) {
        CKeyComparer comparer;
        keys.Sort(comparer);
    }
    // Many keys are listed at once: the list is repainted once at the end.
    m_keyList.SetRedraw(FALSE);
    for (const CKey& key : keys) {
        if (key.IsExpired() || key.IsRevoked() || !key.IsEnabled())
            continue;
        const int row = m_keyList.InsertItem(m_keyList.GetItemCount(), u"");
        m_keyList.SetCheckbox(row, 0, m_selectedKeys.Find(key) >= 0 ? 1 : 0);
        if (key.HasPrivatePart())
            m_keyList.SetItemColor(row, 1, ciPrivateKeyColor, GetSysColor(COLOR_WINDOW));
        m_keyList.SetItemText(row, 1, key.GetUserID());
        m_keyList.SetItemText(row, 2, key.GetMailAddress());
        m_keyList.SetItemText(row, 3, key.GetLongKeyIDString().Left(8) + u"." + key.GetShortKeyIDString());
        m_keyList.SetItemData(row, reinterpret_cast<DWORD_PTR>(new CKey(key)));
    }
    m_keyList.SetRedraw(TRUE);
}

const CKey* CKeySelectionDlg::KeyOfRow(int row) const
{
    return reinterpret_cast<const CKey*>(m_keyList.GetItemData(row));
}

void CKeySelectionDlg::OnSettingChange()
{
    m_saveCheck.SetCheck(BST_UNCHECKED);
    m_groupName.EnableWindow(FALSE);
    m_groupName.SetWindowText(u"");
    const CString name = m_groupBox.GetWindowText();
    m_removeButton.EnableWindow(!name.IsEmpty());
    for (int row = 0; row < m_keyList.GetItemCount(); ++row)
        m_keyList.SetCheckbox(row, 0, 0);
    const CArrayEx<DWORD, const DWORD&> ids = CConfiguration::GetKeyGroupKey(name);
    for (DWORD id : ids) {
        for (int row = 0; row < m_keyList.GetItemCount(); ++row) {
            const CKey* key = KeyOfRow(row);
            if (key && key->GetShortKeyID() == id) {
                m_keyList.SetCheckbox(row, 0, 1);
                break;
            }
        }
    }
    GotoDlgCtrl(&m_keyList);
}

LRESULT CKeySelectionDlg::OnCheckBoxClicked(WPARAM, LPARAM)
{
    m_selectedKeys.RemoveAll();
    CArrayEx<DWORD, const DWORD&> ids;
    for (int row = 0; row < m_keyList.GetItemCount(); ++row) {
        const CKey* key = KeyOfRow(row);
        if (key && m_keyList.GetCheckbox(row, 0) == 1) {
            m_selectedKeys.Add(*key);
            ids.Add(key->GetShortKeyID());
        }
    }
    const CString group = CConfiguration::GetKeyGroupByKeyList(ids);
    m_groupBox.SetCurSel(m_groupBox.FindStringExact(-1, group));
    return 0;
}

void CKeySelectionDlg::OnBnClickedCheckEditGroupname()
{
    if (m_groupName.IsWindowEnabled()) {
        m_groupName.EnableWindow(FALSE);
        m_groupName.SetWindowText(u"");
    } else {
        m_groupName.EnableWindow(TRUE);
        m_groupName.SetWindowText(m_groupBox.GetWindowText());
    }
}

void CKeySelectionDlg::OnBnClickedRemoveGroup()
{
    CConfiguration::RemoveGroupKeyConfig(m_groupBox.GetWindowText());
    const int chosen = m_groupBox.GetCurSel();
    if (chosen >= 0)
        m_groupBox.DeleteString(static_cast<UINT>(chosen));
    m_groupBox.SetCurSel(0);
    m_removeButton.EnableWindow(FALSE);
    OnSettingChange();
}

CArrayEx<CString, const CString&> CKeySelectionDlg::getCheckedKeys()
{
    CArrayEx<CString, const CString&> ids;
    for (int row = 0; row < m_keyList.GetItemCount(); ++row) {
        const CKey* key = KeyOfRow(row);
        if (key && m_keyList.GetCheckbox(row, 0) == 1)
            ids.Add(key->GetShortKeyIDString());
    }
    return ids;
}

void CKeySelectionDlg::SaveGroup()
{
    const CString name = m_groupName.GetWindowText();
    CArrayEx<CString, const CString&> pieces = getCheckedKeys();
    for (int i = 0; i + 1 < pieces.GetSize(); ++i)
        pieces[i] += u",";
    if (!CConfiguration::SaveGroupKeyConfig(pieces, name)) {
        AfxMessageBox(IDS_GROUP_SAVE_FAILED, MB_OK | MB_ICONERROR);
        return;
    }
    m_groupBox.AddString(name);
    m_groupBox.SetCurSel(m_groupBox.FindStringExact(-1, name));
    CString pattern;
    platform::LoadResourceString(IDS_GROUP_SAVED, pattern);
    AfxMessageBox(platform::FormatMessageInserts(pattern, {name}), MB_OK);
}

void CKeySelectionDlg::OnOK()
{
    if (m_saveCheck.GetCheck() == BST_CHECKED) {
        if (m_groupName.GetWindowTextLength() == 0) {
            AfxMessageBox(IDS_GROUP_NAME_MISSING, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        SaveGroup();
    }
    m_selectedKeys.RemoveAll();
    bool anyPrivate = false;
    for (int row = 0; row < m_keyList.GetItemCount(); ++row) {
        const CKey* key = KeyOfRow(row);
        if (!key || m_keyList.GetCheckbox(row, 0) != 1)
            continue;
        if (!key->IsEnabled()) {
            AfxMessageBox(IDS_KEY_DISABLED, MB_OK | MB_ICONERROR);
            return;
        }
        if (key->IsRevoked()) {
            AfxMessageBox(IDS_KEY_REVOKED, MB_OK | MB_ICONERROR);
            return;
        }
        if (key->IsExpired()) {
            AfxMessageBox(IDS_KEY_EXPIRED, MB_OK | MB_ICONERROR);
            return;
        }
        anyPrivate = anyPrivate || key->HasPrivatePart();
        m_selectedKeys.Add(*key);
    }
    if (m_selectedKeys.GetSize() > 0 && !anyPrivate && AfxMessageBox(IDS_NO_PRIVATE_KEY_SELECTED, MB_YESNO) != IDYES)
        return;
    CResizableDialog::OnOK();
}

void CKeySelectionDlg::OnDestroy()
{
    for (int row = 0; row < m_keyList.GetItemCount(); ++row) {
        delete KeyOfRow(row);
        m_keyList.SetItemData(row, 0);
    }
    CResizableDialog::OnDestroy();
}
