// The toolkit-neutral part of CXListCtrl: the cell records of every row
// (kept as the list's item data), the click, header and combo rules, the
// tool tip ids, and the messages to the parent.
#include "ui/XListCtrl.h"

#include <algorithm>

const UINT WM_XLISTCTRL_CHECKBOX_CLICKED = RegisterWindowMessageW(u"WM_XLISTCTRL_CHECKBOX_CLICKED");
const UINT WM_XLISTCTRL_BUTTON_CLICKED = RegisterWindowMessageW(u"WM_XLISTCTRL_BUTTON_CLICKED");
const UINT WM_XLISTCTRL_COMBO_SELECTION = RegisterWindowMessageW(u"WM_XLISTCTRL_COMBO_SELECTION");
const UINT WM_XCOMBOLIST_VK_RETURN = RegisterWindowMessageW(u"WM_XCOMBOLIST_VK_RETURN");
const UINT WM_XCOMBOLIST_VK_ESCAPE = RegisterWindowMessageW(u"WM_XCOMBOLIST_VK_ESCAPE");
const UINT WM_XCOMBOLIST_KEYDOWN = RegisterWindowMessageW(u"WM_XCOMBOLIST_KEYDOWN");
const UINT WM_XCOMBOLIST_LBUTTONUP = RegisterWindowMessageW(u"WM_XCOMBOLIST_LBUTTONUP");

namespace {

constexpr UINT_PTR ciComboTimer = 1; // opens a combo cell's drop-down
constexpr UINT ciComboDelayMs = 100;

} // namespace

CXListCtrl::CXListCtrl() : m_crWindowText(GetSysColor(COLOR_WINDOWTEXT)), m_crWindow(GetSysColor(COLOR_WINDOW)) {}

CXListCtrl::~CXListCtrl()
{
    if (m_hWnd) {
        RemoveRealisation();
        FreeRows();
    }
}

void CXListCtrl::PreSubclassWindow()
{
    CListCtrl::PreSubclassWindow();
    // Rows that exist before the control took over get their records.
    for (int item = 0; item < GetItemCount(); ++item) {
        if (!CListCtrl::GetItemData(item)) {
            auto* row = new Row(static_cast<size_t>(std::max(GetColumnCount(), 1)));
            for (XLISTCTRLDATA& cell : *row) {
                cell.crText = m_crWindowText;
                cell.crBackground = m_crWindow;
            }
            CListCtrl::SetItemData(item, reinterpret_cast<DWORD_PTR>(row));
        }
    }
    EnableToolTips(TRUE);
    InstallRealisation();
}

void CXListCtrl::OnDestroy()
{
    RemoveRealisation();
    FreeRows();
    CListCtrl::OnDestroy();
}

void CXListCtrl::FreeRows()
{
    for (int item = 0; item < CListCtrl::GetItemCount(); ++item) {
        delete RowData(item);
        CListCtrl::SetItemData(item, 0);
    }
}

CXListCtrl::Row* CXListCtrl::RowData(int item) const
{
    if (item < 0 || item >= GetItemCount())
        return nullptr;
    return reinterpret_cast<Row*>(CListCtrl::GetItemData(item));
}

XLISTCTRLDATA* CXListCtrl::Cell(int item, int subItem) const
{
    Row* row = RowData(item);
    if (!row || subItem < 0 || subItem >= static_cast<int>(row->size()))
        return nullptr;
    return &(*row)[static_cast<size_t>(subItem)];
}

const XLISTCTRLDATA* CXListCtrl::GetCellData(int item, int subItem) const
{
    return Cell(item, subItem);
}

void CXListCtrl::Notify(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (CWnd* parent = GetParent())
        parent->SendMessage(message, wParam, lParam);
}

// ---- rows ------------------------------------------------------------------------------

int CXListCtrl::InsertItem(int item, const CString& text)
{
    return InsertItem(item, text, m_crWindowText, m_crWindow);
}

int CXListCtrl::InsertItem(int item, const CString& text, COLORREF textColor, COLORREF backgroundColor)
{
    if (!m_hWnd || item < 0)
        return -1;
    const int index = CListCtrl::InsertItem(item, text);
    if (index < 0)
        return -1;
    auto* row = new Row(static_cast<size_t>(std::max(GetColumnCount(), 1)));
    for (XLISTCTRLDATA& cell : *row) {
        cell.crText = m_crWindowText;
        cell.crBackground = m_crWindow;
    }
    (*row)[0].crText = textColor == CLR_DEFAULT_ALL_BITS ? m_crWindowText : textColor;
    (*row)[0].crBackground = backgroundColor == CLR_DEFAULT_ALL_BITS ? m_crWindow : backgroundColor;
    CListCtrl::SetItemData(index, reinterpret_cast<DWORD_PTR>(row));
    return index;
}

BOOL CXListCtrl::DeleteItem(int item)
{
    Row* row = RowData(item);
    if (!row)
        return FALSE;
    if (item == m_nComboItem)
        m_nComboItem = m_nComboSubItem = -1;
    CListCtrl::SetItemData(item, 0);
    delete row;
    return CListCtrl::DeleteItem(item);
}

BOOL CXListCtrl::DeleteAllItems()
{
    if (!m_hWnd)
        return FALSE;
    m_nComboItem = m_nComboSubItem = -1;
    FreeRows();
    return CListCtrl::DeleteAllItems();
}

BOOL CXListCtrl::SetItemText(int item, int subItem, const CString& text)
{
    if (!Cell(item, subItem))
        return FALSE;
    return CListCtrl::SetItemText(item, subItem, text);
}

BOOL CXListCtrl::SetItemText(int item, int subItem, const CString& text, COLORREF textColor,
                             COLORREF backgroundColor)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->crText = textColor == CLR_DEFAULT_ALL_BITS ? m_crWindowText : textColor;
    cell->crBackground = backgroundColor == CLR_DEFAULT_ALL_BITS ? m_crWindow : backgroundColor;
    return CListCtrl::SetItemText(item, subItem, text);
}

BOOL CXListCtrl::SetItemColor(int item, int subItem, COLORREF textColor, COLORREF backgroundColor)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    if (cell->crText != textColor || cell->crBackground != backgroundColor) {
        cell->crText = textColor;
        cell->crBackground = backgroundColor;
        Invalidate();
    }
    return TRUE;
}

COLORREF CXListCtrl::GetItemColor(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell ? cell->crBackground : m_crWindow;
}

COLORREF CXListCtrl::GetItemTextColor(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell ? cell->crText : m_crWindowText;
}

BOOL CXListCtrl::SetItemData(int item, DWORD_PTR data)
{
    XLISTCTRLDATA* cell = Cell(item, 0);
    if (!cell)
        return FALSE;
    cell->dwItemData = data;
    return TRUE;
}

DWORD_PTR CXListCtrl::GetItemData(int item) const
{
    const XLISTCTRLDATA* cell = Cell(item, 0);
    return cell ? cell->dwItemData : 0;
}

BOOL CXListCtrl::SetItemImage(int item, int subItem, int image)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->nImage = image;
    UpdateSubItem(item, subItem);
    return TRUE;
}

int CXListCtrl::GetCurSel() const
{
    return GetNextItem(-1, LVNI_SELECTED);
}

BOOL CXListCtrl::SetCurSel(int item)
{
    if (item < 0 || item >= GetItemCount())
        return FALSE;
    SetItemState(-1, 0, LVIS_SELECTED);
    SetItemState(item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EnsureVisible(item, FALSE);
    return TRUE;
}

BOOL CXListCtrl::UpdateSubItem(int item, int subItem)
{
    if (!Cell(item, subItem))
        return FALSE;
    return Update(item);
}

namespace {

struct SSortContext {
    CListCtrl::PFNLVCOMPARE compare;
    LPARAM data;
};

int CompareCallerData(LPARAM a, LPARAM b, LPARAM context)
{
    auto* sort = reinterpret_cast<SSortContext*>(context);
    auto* rowA = reinterpret_cast<const std::vector<XLISTCTRLDATA>*>(a);
    auto* rowB = reinterpret_cast<const std::vector<XLISTCTRLDATA>*>(b);
    const LPARAM dataA = rowA && !rowA->empty() ? static_cast<LPARAM>(rowA->front().dwItemData) : 0;
    const LPARAM dataB = rowB && !rowB->empty() ? static_cast<LPARAM>(rowB->front().dwItemData) : 0;
    return sort->compare(dataA, dataB, sort->data);
}

} // namespace

BOOL CXListCtrl::SortItems(PFNLVCOMPARE compare, DWORD_PTR data)
{
    if (!compare)
        return FALSE;
    SSortContext context{compare, static_cast<LPARAM>(data)};
    return CListCtrl::SortItems(CompareCallerData, reinterpret_cast<DWORD_PTR>(&context));
}

// ---- cell kinds ---------------------------------------------------------------------------

BOOL CXListCtrl::SetCheckbox(int item, int subItem, int checkedState)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->nCheckedState = checkedState;
    UpdateSubItem(item, subItem);
    if (m_bHeaderIsChecked)
        UpdateHeaderCheckbox(subItem);
    return TRUE;
}

int CXListCtrl::GetCheckbox(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell ? cell->nCheckedState : -1;
}

BOOL CXListCtrl::SetButton(int item, int subItem, const CString& caption)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->bItemButton = TRUE;
    cell->bCombo = FALSE;
    return CListCtrl::SetItemText(item, subItem, caption);
}

BOOL CXListCtrl::SetProgress(int item, int subItem, BOOL showProgressText, const CString& progressText)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->bShowProgress = TRUE;
    cell->nProgressPercent = 0;
    cell->bShowProgressMessage = showProgressText;
    cell->strProgressText = progressText;
    UpdateSubItem(item, subItem);
    return TRUE;
}

void CXListCtrl::UpdateProgress(int item, int subItem, int percent)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell || !cell->bShowProgress)
        return;
    cell->nProgressPercent = std::clamp(percent, 0, 100);
    UpdateSubItem(item, subItem);
}

void CXListCtrl::DeleteProgress(int item, int subItem)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return;
    cell->bShowProgress = FALSE;
    cell->nProgressPercent = 0;
    UpdateSubItem(item, subItem);
}

CString CXListCtrl::ProgressText(const CString& format, int percent)
{
    const CString pattern = format.IsEmpty() ? CString(u"%d%%") : format;
    CString number;
    number.Format(u"%d", percent);
    CString out;
    bool replaced = false;
    for (int i = 0; i < pattern.GetLength(); ++i) {
        const char16_t ch = pattern[i];
        if (ch == u'%' && i + 1 < pattern.GetLength()) {
            const char16_t next = pattern[i + 1];
            if (next == u'%') {
                out += u'%';
                ++i;
                continue;
            }
            if (next == u'd' && !replaced) {
                out += number;
                replaced = true;
                ++i;
                continue;
            }
        }
        out += ch;
    }
    return out;
}

BOOL CXListCtrl::SetComboBox(int item, int subItem, BOOL enableCombo, const std::vector<SComboChoice>& choices,
                             int listHeight, int initialSelection)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->bCombo = enableCombo;
    cell->bItemButton = FALSE;
    cell->pComboData = std::make_unique<std::vector<SComboChoice>>(choices);
    cell->nComboListHeight = listHeight > 0 ? listHeight : 10;
    cell->nInitialComboSel = initialSelection;
    if (enableCombo && initialSelection >= 0 && initialSelection < static_cast<int>(choices.size()))
        CListCtrl::SetItemText(item, subItem, choices[static_cast<size_t>(initialSelection)].text);
    return TRUE;
}

CString CXListCtrl::GetComboText(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell && cell->bCombo ? GetItemText(item, subItem) : CString();
}

int CXListCtrl::GetComboSel(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell || !cell->bCombo || !cell->pComboData)
        return -1;
    const CString text = GetItemText(item, subItem);
    for (size_t i = 0; i < cell->pComboData->size(); ++i) {
        if ((*cell->pComboData)[i].text == text)
            return static_cast<int>(i);
    }
    return -1;
}

BOOL CXListCtrl::SetComboSelByData(int item, int subItem, DWORD_PTR data)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell || !cell->bCombo || !cell->pComboData)
        return FALSE;
    for (const SComboChoice& choice : *cell->pComboData) {
        if (choice.data == data)
            return CListCtrl::SetItemText(item, subItem, choice.text);
    }
    return FALSE;
}

DWORD_PTR CXListCtrl::GetComboItemData(int item, int subItem, int choice) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell || !cell->pComboData || choice < 0 || choice >= static_cast<int>(cell->pComboData->size()))
        return 0;
    return (*cell->pComboData)[static_cast<size_t>(choice)].data;
}

DWORD_PTR CXListCtrl::GetSelectedComboItemData(int item, int subItem) const
{
    return GetComboItemData(item, subItem, GetComboSel(item, subItem));
}

int CXListCtrl::GetComboItemCount(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell && cell->pComboData ? static_cast<int>(cell->pComboData->size()) : 0;
}

BOOL CXListCtrl::IsComboBoxItem(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell && cell->bCombo;
}

void CXListCtrl::ComboboxItemChanged(int, int, int) {}

// ---- state -------------------------------------------------------------------------------

BOOL CXListCtrl::SetEnabled(int item, BOOL enable)
{
    XLISTCTRLDATA* cell = Cell(item, 0);
    if (!cell)
        return FALSE;
    cell->bEnabled = enable;
    Update(item);
    UpdateWindow();
    return TRUE;
}

BOOL CXListCtrl::SetEnabled(int item, int subItem, BOOL enable)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->bEnabled = enable;
    UpdateSubItem(item, subItem);
    return TRUE;
}

BOOL CXListCtrl::GetEnabled(int item) const
{
    const XLISTCTRLDATA* cell = Cell(item, 0);
    return cell ? cell->bEnabled : FALSE;
}

BOOL CXListCtrl::GetEnabled(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell ? cell->bEnabled : FALSE;
}

BOOL CXListCtrl::SetBold(int item, int subItem, BOOL bold)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->bBold = bold;
    UpdateSubItem(item, subItem);
    return TRUE;
}

BOOL CXListCtrl::GetBold(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell ? cell->bBold : FALSE;
}

// ---- header check box -------------------------------------------------------------------

BOOL CXListCtrl::SetCheckboxInHeader(int column)
{
    CHeaderCtrl* header = GetHeaderCtrl();
    if (!header || column < 0 || column >= header->GetItemCount())
        return FALSE;
    header->SetItemFormat(column, header->GetItemFormat(column) | HDF_CHECKBOX | HDF_OWNERDRAW);
    header->SetItemParam(column, 0);
    UpdateHeaderCheckbox(column);
    return TRUE;
}

int CXListCtrl::GetHeaderCheckedState(int column) const
{
    CHeaderCtrl* header = GetHeaderCtrl();
    if (!header || column < 0 || column >= header->GetItemCount() || !(header->GetItemFormat(column) & HDF_CHECKBOX))
        return -1;
    return static_cast<int>(header->GetItemParam(column));
}

BOOL CXListCtrl::SetHeaderCheckedState(int column, int state)
{
    CHeaderCtrl* header = GetHeaderCtrl();
    if (!header || column < 0 || column >= header->GetItemCount() || !(header->GetItemFormat(column) & HDF_CHECKBOX))
        return FALSE;
    header->SetItemParam(column, state);
    return TRUE;
}

int CXListCtrl::CountCheckedItems(int column) const
{
    int count = 0;
    for (int item = 0; item < GetItemCount(); ++item) {
        const XLISTCTRLDATA* cell = Cell(item, column);
        if (cell && cell->nCheckedState == 1)
            ++count;
    }
    return count;
}

void CXListCtrl::UpdateHeaderCheckbox(int column)
{
    if (GetHeaderCheckedState(column) < 0)
        return;
    const int checked = CountCheckedItems(column);
    int state = 0;
    if (checked > 0 && checked == GetItemCount())
        state = 1;
    else if (checked > 0)
        state = 2;
    SetHeaderCheckedState(column, state);
}

// ---- tool tips, empty list, styles --------------------------------------------------------------

BOOL CXListCtrl::SetItemToolTipText(int item, int subItem, const CString& text)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return FALSE;
    cell->strToolTip = text;
    return TRUE;
}

CString CXListCtrl::GetItemToolTipText(int item, int subItem) const
{
    const XLISTCTRLDATA* cell = Cell(item, subItem);
    return cell ? cell->strToolTip : CString();
}

void CXListCtrl::DeleteAllToolTips()
{
    for (int item = 0; item < GetItemCount(); ++item) {
        if (Row* row = RowData(item)) {
            for (XLISTCTRLDATA& cell : *row)
                cell.strToolTip.Empty();
        }
    }
}

void CXListCtrl::SetEmptyMessageText(const CString& text)
{
    m_strNoItemsMessage = text;
    Invalidate();
}

DWORD CXListCtrl::SetExtendedStyleX(DWORD style)
{
    const DWORD previous = m_dwExtendedStyleX;
    m_dwExtendedStyleX = style;
    return previous;
}

INT_PTR CXListCtrl::OnToolHitTest(CPoint point, TOOLINFO* info) const
{
    LVHITTESTINFO hit{};
    hit.pt = point;
    const int item = SubItemHitTest(&hit);
    if (item < 0 || hit.iSubItem < 0 || hit.iSubItem >= 1000)
        return -1;
    const INT_PTR id = static_cast<INT_PTR>(item) * 1000 + hit.iSubItem + 1;
    if (info) {
        CRect cell;
        GetSubItemRect(item, hit.iSubItem, LVIR_LABEL, cell);
        info->uId = static_cast<UINT_PTR>(id);
        info->rect = cell;
    }
    return id;
}

CString CXListCtrl::GetToolTipText(UINT_PTR id) const
{
    if (id == 0)
        return CString();
    const int item = static_cast<int>((id - 1) / 1000);
    const int subItem = static_cast<int>((id - 1) % 1000);
    return GetItemToolTipText(item, subItem);
}

// ---- input rules ---------------------------------------------------------------------------

bool CXListCtrl::HandleCellPress(int item, int subItem, bool inComboButton)
{
    Row* row = RowData(item);
    if (!row)
        return false; // no cell: the default handling (and closing a drop-down) runs
    if (!(*row)[0].bEnabled)
        return true; // a disabled row swallows the press
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell)
        return false;
    if (cell->nCheckedState >= 0) {
        if (!cell->bEnabled)
            return true;
        cell->nCheckedState = cell->nCheckedState == 0 ? 1 : 0;
        UpdateSubItem(item, subItem);
        Notify(WM_XLISTCTRL_CHECKBOX_CLICKED, static_cast<WPARAM>(item), static_cast<LPARAM>(subItem));
        UpdateHeaderCheckbox(subItem);
        return true;
    }
    if (cell->bCombo && cell->bEnabled && inComboButton) {
        cell->bComboButtonPressed = TRUE;
        m_nComboItem = item;
        m_nComboSubItem = subItem;
        UpdateSubItem(item, subItem);
        SetTimer(ciComboTimer, ciComboDelayMs);
    }
    return false;
}

void CXListCtrl::HandleCellRelease(int item, int subItem)
{
    Row* row = RowData(item);
    if (row && (*row)[0].bEnabled) {
        XLISTCTRLDATA* cell = Cell(item, subItem);
        if (cell && cell->bItemButton && cell->bEnabled)
            Notify(WM_XLISTCTRL_BUTTON_CLICKED, static_cast<WPARAM>(GetDlgCtrlID()), MAKELPARAM(item, subItem));
    }
    if (XLISTCTRLDATA* pressed = Cell(m_nComboItem, m_nComboSubItem)) {
        pressed->bComboButtonPressed = FALSE;
        UpdateSubItem(m_nComboItem, m_nComboSubItem);
    }
}

void CXListCtrl::HandleHeaderClick(int column)
{
    const int state = GetHeaderCheckedState(column);
    if (state >= 0) {
        const int now = state == 0 ? 1 : 0; // an indeterminate header becomes cleared
        SetHeaderCheckedState(column, now);
        for (int item = 0; item < GetItemCount(); ++item) {
            XLISTCTRLDATA* cell = Cell(item, column);
            if (cell && cell->nCheckedState >= 0) {
                cell->nCheckedState = now;
                UpdateSubItem(item, column);
            }
        }
    }
    Notify(WM_XLISTCTRL_CHECKBOX_CLICKED, static_cast<WPARAM>(-1), static_cast<LPARAM>(column));
}

bool CXListCtrl::HandleToggleKey(int item)
{
    Row* row = RowData(item);
    if (!row || !(*row)[0].bEnabled)
        return false;
    for (size_t column = 0; column < row->size(); ++column) {
        if ((*row)[column].nCheckedState >= 0 && (*row)[column].bEnabled)
            return HandleCellPress(item, static_cast<int>(column), false);
    }
    return false;
}

void CXListCtrl::HandleComboChoice(int item, int subItem, int choice)
{
    XLISTCTRLDATA* cell = Cell(item, subItem);
    if (!cell || !cell->pComboData || choice < 0 || choice >= static_cast<int>(cell->pComboData->size()))
        return;
    CListCtrl::SetItemText(item, subItem, (*cell->pComboData)[static_cast<size_t>(choice)].text);
    Notify(WM_XLISTCTRL_COMBO_SELECTION, static_cast<WPARAM>(item), static_cast<LPARAM>(subItem));
    ComboboxItemChanged(item, subItem, choice);
}
