#include "app/VeilcaseDlg.h"

#include "Ipc.h"
#include "Log.h"
#include "app/AboutDialog.h"
#include "app/TaskDetailsDialog.h"
#include "dialoghook/SettingsDlg.h"
#include "platform/MessageBox.h"
#include "platform/gui/Gui.h"
#include "resources/resource.h"

namespace {

// Initial column widths; "File Name" and "Keys" share extra width.
constexpr int ciFileColumnWidth = 300;
constexpr int ciProcessColumnWidth = 100;
constexpr int ciStatusColumnWidth = 100;
constexpr int ciKeysColumnWidth = 180;
constexpr int ciButtonColumnWidth = 50;

} // namespace

CVeilcaseDlg::CVeilcaseDlg(CEncryptionTaskList& tasks, CWnd* parent)
    : CResizableDialog(IDD_VEILCASE_DIALOG, parent), m_tasks(tasks)
{
    MapClicked(IDC_SETTINGS, &CVeilcaseDlg::OnSettings);
    MapClicked(IDC_ABOUT, &CVeilcaseDlg::OnAbout);
    MapNotify(IDC_TASKLIST, NM_DBLCLK, &CVeilcaseDlg::OnDoubleClick);
    MapMessage(WM_XLISTCTRL_BUTTON_CLICKED, &CVeilcaseDlg::OnListButton);
}

CVeilcaseDlg::~CVeilcaseDlg() = default;

void CVeilcaseDlg::DoDataExchange(CDataExchange* pDX)
{
    CResizableDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_TASKLIST, m_list);
}

BOOL CVeilcaseDlg::OnInitDialog()
{
    CString title = CIpc::GetWindowTitle();
    SetWindowText(title);
    CResizableDialog::OnInitDialog();
    if (HICON icon = platform::gui::LoadIconResource(IDI_VEILCASE)) {
        SetIcon(icon, TRUE);
        SetIcon(icon, FALSE);
    }
    AddAnchor(IDC_TASKLIST, TOP_LEFT, BOTTOM_RIGHT);
    AddAnchor(IDC_SETTINGS, TOP_RIGHT);
    AddAnchor(IDC_ABOUT, TOP_RIGHT);

    m_list.InsertColumn(0, u"File Name", LVCFMT_LEFT, ciFileColumnWidth);
    m_list.InsertColumn(1, u"Process", LVCFMT_LEFT, ciProcessColumnWidth);
    m_list.InsertColumn(2, u"Status", LVCFMT_LEFT, ciStatusColumnWidth);
    m_list.InsertColumn(3, u"Keys", LVCFMT_LEFT, ciKeysColumnWidth);
    m_list.InsertColumn(4, u"", LVCFMT_LEFT, ciButtonColumnWidth);
    m_list.SetColumnWidth(4, LVSCW_AUTOSIZE_USEHEADER);
    m_list.EnableToolTips(TRUE);
    m_list.SetEmptyMessageText(u"No pending encryption tasks");
    BuildList();
    CRect client;
    GetClientRect(&client);
    m_iInitialClientWidth = client.Width();

    // Other programs find this window by its title and hand their tasks to
    // it; the messages arrive on this thread through the event loop.
    platform::EWindowCreateResult created = m_findable.Create(
        CIpc::cszWindowClass, title,
        [this](WPARAM wParam, const COPYDATASTRUCT& data) { return OnCopyData(wParam, data); },
        [](std::function<void()> task) { platform::gui::PostToUiThread(std::move(task)); });
    if (created == platform::EWindowCreateResult::eNameTaken) {
        m_bNameTaken = true;
        EndDialog(IDABORT);
        return TRUE;
    }
    if (created != platform::EWindowCreateResult::eCreated)
        WriteLog(eLogError, u"The window cannot be found by other programs: tasks can't be handed to it");

    SetTimer(ciTimerId, ciFirstTimerMs);
    return TRUE;
}

void CVeilcaseDlg::OnDestroy()
{
    KillTimer(ciTimerId);
    m_findable.Destroy();
    CResizableDialog::OnDestroy();
}

LRESULT CVeilcaseDlg::OnCopyData(WPARAM, const COPYDATASTRUCT& data)
{
    // Another start of the program without a task asks to be shown.
    if (data.dwData == ciShowRequest && data.cbData == 0) {
        ShowWindow(SW_SHOW);
        return TRUE;
    }
    // Too short to be anything is ignored; everything else is checked
    // before it becomes a task. The sender is answered TRUE in every case.
    if (data.cbData <= 16 || !data.lpData)
        return TRUE;
    if (m_tasks.Receive(data.lpData, data.cbData))
        BuildList();
    return TRUE;
}

void CVeilcaseDlg::AddTask(std::unique_ptr<CEncryptionTask> task)
{
    m_tasks.Add(std::move(task));
    if (GetSafeHwnd())
        BuildList();
}

void CVeilcaseDlg::OnTimer(UINT_PTR id)
{
    if (id != ciTimerId) {
        CResizableDialog::OnTimer(id);
        return;
    }
    KillTimer(ciTimerId);
    // The list contains every task's errors, so the timer always comes back.
    bool changed = false;
    try {
        changed = m_tasks.ProcessAll();
    } catch (...) {
        WriteLog(eLogError, u"A timer pass failed unexpectedly");
    }
    ++m_iPasses;
    if (changed) {
        if (m_list.GetItemCount() != m_tasks.GetCount())
            BuildList();
        else
            for (int row = 0; row < m_list.GetItemCount(); ++row)
                UpdateRow(row);
    }
    // A window started hidden by a hand-off comes up when a task needs the
    // user: a file handed on to another program waits for "Finish", and a
    // failed encryption leaves an edit unencrypted.
    if (!IsWindowVisible() && NeedsUser())
        ShowWindow(SW_SHOW);
    if (!m_bClosing)
        SetTimer(ciTimerId, m_tasks.GetNextPassDelay());
}

bool CVeilcaseDlg::NeedsUser() const
{
    for (int i = 0; i < m_tasks.GetCount(); ++i) {
        const CEncryptionTask& task = m_tasks.GetAt(i);
        if ((task.GetStatus() == eTaskFileInUse && task.IsHandedOn()) || task.GetStatus() == eTaskEncryptionFailed)
            return true;
    }
    return false;
}

void CVeilcaseDlg::BuildList()
{
    m_list.SetRedraw(FALSE);
    m_list.DeleteAllItems();
    m_rows.clear();
    for (int i = 0; i < m_tasks.GetCount(); ++i) {
        CEncryptionTask& task = m_tasks.GetAt(i);
        auto keys = m_keyTexts.find(&task);
        if (keys == m_keyTexts.end())
            keys = m_keyTexts.emplace(&task, task.GetKeysString()).first;
        m_list.InsertItem(i, task.GetEncryptedFilePath());
        m_list.SetItemText(i, 3, keys->second);
        m_list.SetItemToolTipText(i, 3, keys->second);
        m_list.SetItemData(i, reinterpret_cast<DWORD_PTR>(&task));
        m_list.SetButton(i, ciRemoveColumn, u"Remove");
        UpdateRow(i);
    }
    m_list.SetRedraw(TRUE);
}

void CVeilcaseDlg::UpdateRow(int row)
{
    auto* task = reinterpret_cast<CEncryptionTask*>(m_list.GetItemData(row));
    if (!task || m_tasks.IndexOf(task) < 0)
        return;
    SRowState& shown = m_rows[task];
    bool finish = task->GetStatus() == eTaskFileInUse && task->IsHandedOn();
    if (finish != shown.finishButton || shown.status.IsEmpty()) {
        if (finish) {
            m_list.SetButton(row, ciFinishColumn, u"Finish");
            m_list.SetItemToolTipText(row, ciFinishColumn,
                                      u"The file was handed to another program. Press when you have closed it "
                                      u"there, and it is encrypted again.");
        } else {
            m_list.SetItemText(row, ciFinishColumn, task->GetUsingProcess());
            m_list.SetItemToolTipText(row, ciFinishColumn, task->GetUsingProcess());
        }
        shown.finishButton = finish;
    } else if (!finish) {
        m_list.SetItemText(row, ciFinishColumn, task->GetUsingProcess());
    }

    CString status = task->GetStatusDisplayText();
    int progress = task->GetStatus() == eTaskEncrypting ? std::max(task->GetProgress(), 0) : -1;
    if (progress != shown.progress) {
        if (progress >= 0 && shown.progress < 0)
            m_list.SetProgress(row, 2, TRUE, u"Encrypting %d%%");
        else if (progress < 0 && shown.progress >= 0)
            m_list.DeleteProgress(row, 2);
        if (progress >= 0)
            m_list.UpdateProgress(row, 2, progress);
        shown.progress = progress;
    }
    if (status != shown.status) {
        m_list.SetItemText(row, 2, status);
        m_list.SetItemToolTipText(row, 2, status);
        shown.status = status;
    }
}

LRESULT CVeilcaseDlg::OnListButton(WPARAM, LPARAM lParam)
{
    int row = LOWORD(lParam);
    int column = HIWORD(lParam);
    if (row >= m_list.GetItemCount())
        return 0;
    auto* task = reinterpret_cast<CEncryptionTask*>(m_list.GetItemData(row));
    int index = m_tasks.IndexOf(task);
    if (index < 0)
        return 0;
    if (column == ciFinishColumn) {
        m_tasks.Finish(index);
        UpdateRow(row);
        return 0;
    }
    if (column != ciRemoveColumn)
        return 0;
    EEncryptionTaskStatus status = task->GetStatus();
    if (status != eTaskEncrypted && status != eTaskEncryptionFailed &&
        AfxMessageBox(IDS_TASK_PENDING, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;
    m_keyTexts.erase(task);
    m_rows.erase(task);
    m_tasks.RemoveAt(index);
    BuildList();
    return 0;
}

void CVeilcaseDlg::OnDoubleClick(NMHDR*, LRESULT* result)
{
    *result = 0;
    int row = m_list.GetCurSel();
    if (row < 0)
        return;
    auto* task = reinterpret_cast<CEncryptionTask*>(m_list.GetItemData(row));
    if (m_tasks.IndexOf(task) < 0)
        return;
    ShowTaskDetails(*task);
}

void CVeilcaseDlg::ShowTaskDetails(const CEncryptionTask& task)
{
    CTaskDetailsDialog details(task, this);
    details.DoModal();
}

void CVeilcaseDlg::OnAbout()
{
    CAboutDialog about(this);
    about.DoModal();
}

void CVeilcaseDlg::OnSettings()
{
    CSettingsDlg settings;
    settings.DoModal();
}

void CVeilcaseDlg::OnSize(UINT type, int cx, int cy)
{
    if (m_list.GetSafeHwnd() && m_iInitialClientWidth > 0) {
        int extra = (cx - m_iInitialClientWidth) / 2;
        m_list.SetColumnWidth(0, ciFileColumnWidth + extra);
        m_list.SetColumnWidth(3, ciKeysColumnWidth + extra);
        m_list.SetColumnWidth(4, LVSCW_AUTOSIZE_USEHEADER);
    }
    CResizableDialog::OnSize(type, cx, cy);
}

void CVeilcaseDlg::CloseIfConfirmed()
{
    if (m_tasks.HasPending() && AfxMessageBox(IDS_TASKS_PENDING, MB_YESNO | MB_ICONWARNING) != IDYES)
        return;
    m_bClosing = true;
    KillTimer(ciTimerId);
    EndDialog(IDOK);
}

void CVeilcaseDlg::OnClose()
{
    CloseIfConfirmed();
}

// Enter and Escape close the window as the close box does, with the same
// question while tasks are pending.
void CVeilcaseDlg::OnOK()
{
    CloseIfConfirmed();
}

void CVeilcaseDlg::OnCancel()
{
    CloseIfConfirmed();
}
