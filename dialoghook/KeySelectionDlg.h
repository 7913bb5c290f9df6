// CKeySelectionDlg: the user chooses the recipients of a file about to be
// encrypted. It lists the usable keys of the key ring with a check box each
// (keys with a secret part in blue), ticks the keys it was opened with,
// offers the saved key groups to tick a saved selection, can save the
// ticks as a new group or remove a group, and checks the choice on OK.
//
//   CKeySelectionDlg dlg(nullptr, lastRecipients);
//   if (dlg.DoModal() == IDOK)
//       recipients = dlg.GetSelectedKeys();
#pragma once

#include "ArrayEx.h"
#include "Key.h"
#include "platform/gui/Button.h"
#include "platform/gui/ComboBox.h"
#include "platform/gui/Edit.h"
#include "ui/ResizableDialog.h"
#include "ui/XListCtrl.h"

class CKeySelectionDlg : public CResizableDialog {
public:
    explicit CKeySelectionDlg(CWnd* parent);
    // Opens with `keys` ticked (compared by long key id).
    CKeySelectionDlg(CWnd* parent, CArrayEx<CKey, const CKey&> keys);
    ~CKeySelectionDlg() override;

    // The ticked keys, in row order; meaningful after DoModal returned IDOK.
    CArrayEx<CKey, const CKey&> GetSelectedKeys() const { return m_selectedKeys; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnDestroy() override;

    // A group was chosen in the box: tick exactly its keys.
    void OnSettingChange();
    // A row's check box was toggled: show the group with exactly these keys.
    LRESULT OnCheckBoxClicked(WPARAM row, LPARAM column);
    // "Save selection as" was clicked: the name field follows it.
    void OnBnClickedCheckEditGroupname();
    // "Remove": deletes the chosen group.
    void OnBnClickedRemoveGroup();

    void ListKeys();
    void fillComboBox();
    // The short key ids ("1234ABCD") of the ticked rows, in row order.
    CArrayEx<CString, const CString&> getCheckedKeys();
    // Saves the ticks under the name in the name field (message 1008 when
    // that fails, 1009 when it worked).
    void SaveGroup();

private:
    const CKey* KeyOfRow(int row) const;

    CArrayEx<CKey, const CKey&> m_selectedKeys;
    CXListCtrl m_keyList;
    CComboBox m_groupBox;
    CEdit m_groupName;
    CButton m_saveCheck;
    CButton m_removeButton;
};
