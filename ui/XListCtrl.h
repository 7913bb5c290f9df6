// CXListCtrl: a report list whose cells can be plain text, check boxes
// (cleared, checked, indeterminate), push buttons, drop-down combo cells or
// progress bars, each with its own colours, enabled state, bold text and
// tool tip. Rows and columns are 0-based; an index out of range makes an
// operation do nothing and return 0 / FALSE (or -1 where an index or a
// check state is returned).
//
//   DDX_Control(pDX, IDC_KEYLIST, m_list);            // in DoDataExchange
//   m_list.InsertColumn(0, u"", LVCFMT_LEFT, 30);
//   int row = m_list.InsertItem(m_list.GetItemCount(), u"");
//   m_list.SetCheckbox(row, 0, 1);
//   m_list.SetItemText(row, 1, key.GetUserID());
//   MapMessage(WM_XLISTCTRL_CHECKBOX_CLICKED, &CMyDlg::OnCheckBoxClicked);
//
// Messages to the parent (registered, see below): a check box toggled by the
// user (row, column); a column header clicked (-1, column) after its header
// check box, if any, was toggled; a button cell clicked (control id, row in
// the low and column in the high 16 bits); a combo choice (row, column),
// followed by ComboboxItemChanged. Tool tips use the id row * 1000 +
// column + 1 (so columns stay below 1000). Every text (cells, tool tips,
// progress texts, the empty-list message) is shown as written.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/ListCtrl.h"

// The registered messages of the control (RegisterWindowMessageW names).
extern const UINT WM_XLISTCTRL_CHECKBOX_CLICKED;
extern const UINT WM_XLISTCTRL_BUTTON_CLICKED;
extern const UINT WM_XLISTCTRL_COMBO_SELECTION;
extern const UINT WM_XCOMBOLIST_VK_RETURN;
extern const UINT WM_XCOMBOLIST_VK_ESCAPE;
extern const UINT WM_XCOMBOLIST_KEYDOWN;
extern const UINT WM_XCOMBOLIST_LBUTTONUP;

// One choice of a combo cell.
struct SComboChoice {
    CString text;
    DWORD_PTR data = 0;
};

// The state of one cell.
struct XLISTCTRLDATA {
    BOOL bEnabled = TRUE; // column 0: the whole row
    BOOL bBold = FALSE;
    int nImage = -1;
    CString strToolTip;
    BOOL bCombo = FALSE;
    BOOL bComboButtonPressed = FALSE;
    std::unique_ptr<std::vector<SComboChoice>> pComboData;
    int nComboListHeight = 10;
    int nInitialComboSel = 0;
    COLORREF crText = 0;
    COLORREF crBackground = 0;
    BOOL bShowProgress = FALSE;
    int nProgressPercent = 0;
    CString strProgressText;
    BOOL bShowProgressMessage = TRUE;
    int nCheckedState = -1; // -1 no check box, 0 cleared, 1 checked, 2 indeterminate
    BOOL bItemButton = FALSE;
    DWORD_PTR dwItemData = 0; // the caller's value (column 0)
};

class CXListCtrl : public CListCtrl {
public:
    CXListCtrl();
    ~CXListCtrl() override;

    // ---- rows ------------------------------------------------------------------------
    // Inserts a row; every cell gets the control's default colours (or the
    // ones given; CLR_DEFAULT_ALL_BITS for the default). The new row's index, or -1.
    int InsertItem(int item, const CString& text);
    int InsertItem(int item, const CString& text, COLORREF textColor, COLORREF backgroundColor);
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();
    BOOL SetItemText(int item, int subItem, const CString& text);
    // With colours; CLR_DEFAULT_ALL_BITS keeps the control's default.
    BOOL SetItemText(int item, int subItem, const CString& text, COLORREF textColor, COLORREF backgroundColor);
    // Repaints the list only when a colour changed.
    BOOL SetItemColor(int item, int subItem, COLORREF textColor, COLORREF backgroundColor);
    // The cell's background colour (the default for a bad index).
    COLORREF GetItemColor(int item, int subItem) const;
    COLORREF GetItemTextColor(int item, int subItem) const;
    BOOL SetItemData(int item, DWORD_PTR data);
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItemImage(int item, int subItem, int image);
    // The first selected row, or -1; SetCurSel selects one row only.
    int GetCurSel() const;
    BOOL SetCurSel(int item);
    int GetColumns() const { return GetColumnCount(); }
    BOOL UpdateSubItem(int item, int subItem);
    // Sorts by the caller's item data (see CListCtrl::SortItems).
    BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data);

    // ---- cell kinds ---------------------------------------------------------------------
    // Makes the cell a check box in that state, then recomputes the column's
    // header check box (when the update flag is set).
    BOOL SetCheckbox(int item, int subItem, int checkedState);
    int GetCheckbox(int item, int subItem) const;
    BOOL SetButton(int item, int subItem, const CString& caption);
    BOOL SetProgress(int item, int subItem, BOOL showProgressText = TRUE, const CString& progressText = CString());
    void UpdateProgress(int item, int subItem, int percent);
    void DeleteProgress(int item, int subItem);
    BOOL SetComboBox(int item, int subItem, BOOL enableCombo, const std::vector<SComboChoice>& choices,
                     int listHeight, int initialSelection);
    CString GetComboText(int item, int subItem) const;
    int GetComboSel(int item, int subItem) const;
    BOOL SetComboSelByData(int item, int subItem, DWORD_PTR data);
    DWORD_PTR GetComboItemData(int item, int subItem, int choice) const;
    DWORD_PTR GetSelectedComboItemData(int item, int subItem) const;
    int GetComboItemCount(int item, int subItem) const;
    BOOL IsComboBoxItem(int item, int subItem) const;

    // ---- state ------------------------------------------------------------------------
    // A disabled row (column 0) swallows clicks and shows grey text.
    BOOL SetEnabled(int item, BOOL enable);
    BOOL SetEnabled(int item, int subItem, BOOL enable);
    BOOL GetEnabled(int item) const;
    BOOL GetEnabled(int item, int subItem) const;
    BOOL SetBold(int item, int subItem, BOOL bold);
    BOOL GetBold(int item, int subItem) const;

    // ---- header check box ----------------------------------------------------------------
    BOOL SetCheckboxInHeader(int column);
    // 0 cleared, 1 checked, 2 indeterminate; -1 without a header check box.
    int GetHeaderCheckedState(int column) const;
    BOOL SetHeaderCheckedState(int column, int state);
    int CountCheckedItems(int column) const;
    // Whether SetCheckbox recomputes the header (on by default).
    void SetUpdateHeaderCheckbox(BOOL update) { m_bHeaderIsChecked = update; }

    // ---- tool tips and the empty list ------------------------------------------------------
    BOOL SetItemToolTipText(int item, int subItem, const CString& text);
    CString GetItemToolTipText(int item, int subItem) const;
    void DeleteAllToolTips();
    // Shown centred below the header while the list has no rows.
    void SetEmptyMessageText(const CString& text);
    CString GetEmptyMessageText() const { return m_strNoItemsMessage; }

    DWORD GetExtendedStyleX() const { return m_dwExtendedStyleX; }
    DWORD SetExtendedStyleX(DWORD style);

    INT_PTR OnToolHitTest(CPoint point, TOOLINFO* info) const override;
    CString GetToolTipText(UINT_PTR id) const override;

    // The text over a progress bar: the cell's progress text (or "%d%%")
    // with its first "%d" replaced by the percent and "%%" read as "%";
    // nothing else in it is a format.
    static CString ProgressText(const CString& format, int percent);

    // ---- the realisation's entries (not for application code) ---------------------------------
    const XLISTCTRLDATA* GetCellData(int item, int subItem) const;
    // A press of the left button on a cell: true when it was consumed.
    bool HandleCellPress(int item, int subItem, bool inComboButton);
    void HandleCellRelease(int item, int subItem);
    void HandleHeaderClick(int column);
    // Space on the focused row: toggles its first enabled check box.
    bool HandleToggleKey(int item);
    void HandleComboChoice(int item, int subItem, int choice);
    COLORREF DefaultTextColor() const { return m_crWindowText; }
    COLORREF DefaultBackgroundColor() const { return m_crWindow; }

protected:
    // A choice was taken from a combo cell's drop-down.
    virtual void ComboboxItemChanged(int item, int subItem, int choice);
    void PreSubclassWindow() override;
    void OnDestroy() override;
    void OnTimer(UINT_PTR id) override;

private:
    using Row = std::vector<XLISTCTRLDATA>;
    Row* RowData(int item) const;
    XLISTCTRLDATA* Cell(int item, int subItem) const;
    void FreeRows();
    void UpdateHeaderCheckbox(int column);
    void Notify(UINT message, WPARAM wParam, LPARAM lParam);
    void InstallRealisation();
    void RemoveRealisation();

    COLORREF m_crWindowText;
    COLORREF m_crWindow;
    BOOL m_bHeaderIsChecked = TRUE;
    CString m_strNoItemsMessage;
    DWORD m_dwExtendedStyleX = 0;
    int m_nComboItem = -1;    // the cell whose drop-down is being opened
    int m_nComboSubItem = -1;
};
