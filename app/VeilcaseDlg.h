// CVeilcaseDlg: the background program's main window, "Pending encryption
// tasks". It owns the task list, can be found by other processes under its
// title (class "#32770", "veilcase <version>") and takes their tasks by
// WM_COPYDATA, advances every task on a timer, and shows one row per task:
// file, process, state (with a progress bar while GnuPG runs), keys, and a
// "Remove" button; a task whose file was handed on to another program gets
// a "Finish" button for when the user is done with it.
#pragma once

#include <map>
#include <memory>

#include "EncryptionTaskList.h"
#include "platform/Window.h"
#include "ui/ResizableDialog.h"
#include "ui/XListCtrl.h"

class CVeilcaseDlg : public CResizableDialog {
public:
    // Column of the "Finish" button of a handed-on task, and of "Remove".
    static constexpr int ciFinishColumn = 1;
    static constexpr int ciRemoveColumn = 4;
    static constexpr UINT_PTR ciTimerId = 1;
    static constexpr UINT ciFirstTimerMs = 100;
    // WM_COPYDATA without data and with this dwData: another start of the
    // program asks the window to show itself (task records carry 1).
    static constexpr ULONG_PTR ciShowRequest = 2;

    // `tasks` outlives the window.
    explicit CVeilcaseDlg(CEncryptionTaskList& tasks, CWnd* parent = nullptr);
    ~CVeilcaseDlg() override;

    // Adds a task (the list takes it) and shows it.
    void AddTask(std::unique_ptr<CEncryptionTask> task);
    // After DoModal: whether another window already had the title, so that
    // this one could not be found (another instance runs).
    bool WasNameTaken() const { return m_bNameTaken; }
    // Whether a timer pass has run (for callers that wait for the first).
    int GetPassCount() const { return m_iPasses; }
    CEncryptionTaskList& GetTasks() { return m_tasks; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnTimer(UINT_PTR id) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnClose() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;

private:
    LRESULT OnCopyData(WPARAM wParam, const COPYDATASTRUCT& data);
    LRESULT OnListButton(WPARAM wParam, LPARAM lParam);
    void OnDoubleClick(NMHDR* header, LRESULT* result);
    void OnSettings();
    void OnAbout();
    // The task's particulars and recipients, a snapshot.
    void ShowTaskDetails(const CEncryptionTask& task);
    // Closes after the question of message 1005 when tasks are pending.
    void CloseIfConfirmed();
    // Whether a task waits for the user ("Finish") or has failed.
    bool NeedsUser() const;
    // Rebuilds every row from the task list.
    void BuildList();
    // Brings one row up to date with its task.
    void UpdateRow(int row);

    CEncryptionTaskList& m_tasks;
    CXListCtrl m_list;
    platform::CFindableWindow m_findable;
    bool m_bNameTaken = false;
    bool m_bClosing = false;
    int m_iPasses = 0;
    int m_iInitialClientWidth = 0;
    // What each row shows, to touch only cells that changed.
    struct SRowState {
        CString status;
        int progress = -2;
        bool finishButton = false;
    };
    std::map<const CEncryptionTask*, SRowState> m_rows;
    std::map<const CEncryptionTask*, CString> m_keyTexts;
};
