// CTaskDetailsDialog: one task's particulars as they are when it opens (the
// working copy, the program using it, the state, when the task was made and
// finished) and the recipient keys the key ring knows. Shown by a double
// click on a row of the pending-tasks window.
#pragma once

#include "EncryptionTask.h"
#include "platform/gui/ListCtrl.h"
#include "ui/OrvDialogEx.h"

class CTaskDetailsDialog : public COrvDialogEx {
public:
    // `task` stays owned by the caller and outlives the dialog.
    explicit CTaskDetailsDialog(const CEncryptionTask& task, CWnd* parent = nullptr);

    // A time as the dialog shows it: local "%d.%m.%Y %H:%M:%S"; "unknown"
    // when it cannot be converted.
    static CString FormatTime(const CTime& time);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    const CEncryptionTask& m_task;
    CListCtrl m_keys;
};
