#include "app/TaskDetailsDialog.h"

#include "platform/MessageInserts.h"
#include "platform/Resources.h"
#include "resources/resource.h"

namespace {

// The string `id` with its insert "%1!s!" replaced by `value`.
CString Line(UINT id, const CString& value)
{
    CString pattern;
    platform::LoadResourceString(id, pattern);
    return platform::FormatMessageInserts(pattern, {value});
}

} // namespace

CTaskDetailsDialog::CTaskDetailsDialog(const CEncryptionTask& task, CWnd* parent)
    : COrvDialogEx(IDD_DETAILS, parent), m_task(task)
{
}

void CTaskDetailsDialog::DoDataExchange(CDataExchange* pDX)
{
    COrvDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DETAILS_KEYS, m_keys);
}

CString CTaskDetailsDialog::FormatTime(const CTime& time)
{
    // A damaged record's time may not convert; the dialog still shows.
    const CString text = time.Format(u"%d.%m.%Y %H:%M:%S");
    return text.IsEmpty() ? CString(u"unknown") : text;
}

BOOL CTaskDetailsDialog::OnInitDialog()
{
    COrvDialogEx::OnInitDialog();
    SetDlgItemText(IDC_DETAILS_FILE, Line(IDS_AFFECTED_FILE, m_task.GetFilePath()));
    SetDlgItemText(IDC_DETAILS_PROCESS, Line(IDS_USING_PROCESS, m_task.GetUsingProcess()));
    SetDlgItemText(IDC_DETAILS_STATUS, Line(IDS_STATUS, m_task.GetStatusDisplayText()));
    SetDlgItemText(IDC_DETAILS_CREATED, Line(IDS_TASK_CREATED, FormatTime(m_task.GetCreationTime())));
    SetDlgItemText(IDC_DETAILS_COMPLETED,
                   Line(IDS_TASK_COMPLETED, m_task.GetCompletionTime().GetTime() == 0
                                                ? CString(u"not finished yet")
                                                : FormatTime(m_task.GetCompletionTime())));

    m_keys.InsertColumn(0, u"KeyID", LVCFMT_LEFT, 60);
    m_keys.InsertColumn(1, u"UserID", LVCFMT_LEFT, 100);
    for (const CKey& key : m_task.GetKeys()) {
        int row = m_keys.InsertItem(m_keys.GetItemCount(), key.GetShortKeyIDString());
        m_keys.SetItemText(row, 1, key.GetUserID());
    }
    // Key ids are never cut; the user ids take the rest of the list.
    int idWidth = m_keys.GetColumnWidth(0);
    m_keys.SetColumnWidth(0, LVSCW_AUTOSIZE);
    if (m_keys.GetColumnWidth(0) < idWidth)
        m_keys.SetColumnWidth(0, idWidth);
    m_keys.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
    return TRUE;
}
