// CListCtrl: a report-style list control of a dialog ("SysListView32"),
// and CHeaderCtrl, its column header. Rows ("items") and columns are
// 0-based; an index out of range makes an operation do nothing and return
// FALSE / 0 / an empty text, or -1 where an index is returned.
//
//   m_list.InsertColumn(0, u"KeyID", LVCFMT_LEFT, 60);
//   m_list.InsertColumn(1, u"UserID");
//   m_list.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
//   int row = m_list.InsertItem(m_list.GetItemCount(), key.GetShortKeyIDString());
//   m_list.SetItemText(row, 1, key.GetUserID());
//   m_list.SetItemData(row, reinterpret_cast<DWORD_PTR>(pTask));
//
// Notifications to the parent (WM_NOTIFY, MapNotify): NM_CLICK and NM_DBLCLK
// (NMITEMACTIVATE with the row and column under the mouse, -1 for none),
// LVN_ITEMCHANGED (NMLISTVIEW with LVIF_STATE and the old and new
// LVIS_SELECTED / LVIS_FOCUSED bits) for every row whose selection or focus
// changed, LVN_COLUMNCLICK (iSubItem = column) for a click on a header.
// Texts are shown as written, single-line, cut with "..." when too long.
#pragma once

#include "platform/gui/Wnd.h"

class CHeaderCtrl : public CWnd {
public:
    int GetItemCount() const;
    // The item's rectangle in the header's client coordinates.
    BOOL GetItemRect(int index, LPRECT rect) const;
    // Format bits (HDF_LEFT, HDF_RIGHT, HDF_CENTER, HDF_CHECKBOX, HDF_OWNERDRAW)
    // and the caller's value of an item.
    int GetItemFormat(int index) const;
    BOOL SetItemFormat(int index, int format);
    LPARAM GetItemParam(int index) const;
    BOOL SetItemParam(int index, LPARAM param);
};

class CListCtrl : public CWnd {
public:
    CListCtrl();
    ~CListCtrl() override;

    // ---- columns ------------------------------------------------------------------
    // Inserts a column before `column` (at the end when beyond); width -1
    // sizes it to its heading. Returns its index, or -1.
    int InsertColumn(int column, const CString& heading, int format = LVCFMT_LEFT, int width = -1,
                     int subItem = -1);
    BOOL DeleteColumn(int column);
    int GetColumnCount() const;
    int GetColumnWidth(int column) const;
    // A width in pixels, LVSCW_AUTOSIZE (the widest cell) or
    // LVSCW_AUTOSIZE_USEHEADER (the wider of heading and cells; the last
    // column fills the rest of the list's width).
    BOOL SetColumnWidth(int column, int width);
    CString GetColumnHeading(int column) const;
    int GetColumnFormat(int column) const;
    CHeaderCtrl* GetHeaderCtrl() const;

    // ---- rows ------------------------------------------------------------------------
    // Inserts a row before `item` (at the end when beyond the count) with
    // `text` in column 0; returns its index, or -1.
    int InsertItem(int item, const CString& text);
    int InsertItem(int item, const CString& text, int image);
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();
    int GetItemCount() const;
    BOOL SetItemText(int item, int subItem, const CString& text);
    CString GetItemText(int item, int subItem) const;
    BOOL SetItemData(int item, DWORD_PTR data);
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItem(int item, int subItem, UINT mask, const CString& text, int image, UINT state, UINT stateMask,
                 LPARAM param);
    int GetItemImage(int item) const;

    // ---- selection and focus ------------------------------------------------------------
    // LVIS_SELECTED and LVIS_FOCUSED under `mask`.
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const;
    // The next row after `start` (-1: from the first) with all of `flags`
    // (LVNI_SELECTED, LVNI_FOCUSED; LVNI_ALL: any row), or -1.
    int GetNextItem(int start, int flags) const;
    UINT GetSelectedCount() const;
    POSITION GetFirstSelectedItemPosition() const;
    int GetNextSelectedItem(POSITION& position) const;
    int GetSelectionMark() const;
    int SetSelectionMark(int item);
    BOOL EnsureVisible(int item, BOOL partialOK);

    // ---- geometry and hit tests ---------------------------------------------------------
    // Rectangles in the list's client coordinates (LVIR_BOUNDS, LVIR_LABEL).
    BOOL GetItemRect(int item, LPRECT rect, UINT code) const;
    BOOL GetSubItemRect(int item, int subItem, int code, CRect& rect) const;
    // The row under a point of the client area, or -1.
    int HitTest(CPoint point, UINT* flags = nullptr) const;
    // Row and column under info->pt (client coordinates); the row, or -1.
    int SubItemHitTest(LVHITTESTINFO* info) const;
    int GetTopIndex() const;
    int GetCountPerPage() const;

    // ---- appearance ------------------------------------------------------------------------
    DWORD SetExtendedStyle(DWORD exStyle);
    DWORD GetExtendedStyle() const;
    BOOL RedrawItems(int first, int last);
    BOOL Update(int item);

    // Sorts the rows with `compare` (item data of two rows and `data`;
    // negative, zero, positive). The sort is stable.
    using PFNLVCOMPARE = int (*)(LPARAM, LPARAM, LPARAM);
    BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data);

private:
    mutable CHeaderCtrl m_header;
};
