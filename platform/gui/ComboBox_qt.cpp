// CComboBox on Qt: entries with their item data, Windows search and sort
// rules.
#include "platform/gui/ComboBox.h"

#include <QAbstractItemView>
#include <QComboBox>

#include "platform/gui/DisplayText.h"
#include "platform/gui/Gui_qt.h"

using namespace platform::gui::qt;

namespace {

// The entry's text as set (the list shows its display-safe form).
constexpr int kRawTextRole = Qt::UserRole + 1;
constexpr int kDataRole = Qt::UserRole + 2;

QComboBox* Combo(HWND hwnd, WindowRecord** recordOut = nullptr)
{
    WindowRecord* record = Record(hwnd);
    if (recordOut)
        *recordOut = record;
    return record && record->kind == Kind::ComboBox ? static_cast<QComboBox*>(record->widget) : nullptr;
}

CString EntryText(QComboBox* combo, int index)
{
    return FromQ(combo->itemData(index, kRawTextRole).toString());
}

void InsertEntry(QComboBox* combo, int index, const CString& text)
{
    combo->insertItem(index, ToQ(platform::gui::DisplaySafeText(text)));
    combo->setItemData(index, ToQ(text), kRawTextRole);
    combo->setItemData(index, QVariant::fromValue<qulonglong>(0), kDataRole);
}

int Find(QComboBox* combo, int startAfter, const CString& text, bool exact)
{
    const int count = combo->count();
    if (count == 0)
        return CB_ERR;
    const int start = (startAfter < 0 || startAfter >= count) ? 0 : startAfter + 1;
    for (int n = 0; n < count; ++n) {
        const int index = (start + n) % count;
        const CString entry = EntryText(combo, index);
        if (exact ? entry.CompareNoCase(text) == 0
                  : entry.GetLength() >= text.GetLength() && entry.Left(text.GetLength()).CompareNoCase(text) == 0)
            return index;
    }
    return CB_ERR;
}

} // namespace

int CComboBox::GetCount() const
{
    QComboBox* combo = Combo(m_hWnd);
    return combo ? combo->count() : CB_ERR;
}

int CComboBox::GetCurSel() const
{
    QComboBox* combo = Combo(m_hWnd);
    return combo ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int index)
{
    QComboBox* combo = Combo(m_hWnd);
    if (!combo)
        return CB_ERR;
    if (index < 0 || index >= combo->count()) {
        combo->setCurrentIndex(-1);
        return CB_ERR;
    }
    combo->setCurrentIndex(index);
    return index;
}

int CComboBox::AddString(const CString& text)
{
    WindowRecord* record = nullptr;
    QComboBox* combo = Combo(m_hWnd, &record);
    if (!combo)
        return CB_ERR;
    int index = combo->count();
    if (record->style & CBS_SORT) {
        for (int i = 0; i < combo->count(); ++i) {
            if (EntryText(combo, i).CompareNoCase(text) > 0) {
                index = i;
                break;
            }
        }
    }
    InsertEntry(combo, index, text);
    return index;
}

int CComboBox::InsertString(int index, const CString& text)
{
    QComboBox* combo = Combo(m_hWnd);
    if (!combo || index > combo->count())
        return CB_ERR;
    if (index < 0)
        index = combo->count();
    InsertEntry(combo, index, text);
    return index;
}

int CComboBox::DeleteString(UINT index)
{
    QComboBox* combo = Combo(m_hWnd);
    if (!combo || index >= static_cast<UINT>(combo->count()))
        return CB_ERR;
    combo->removeItem(static_cast<int>(index));
    return combo->count();
}

void CComboBox::ResetContent()
{
    if (QComboBox* combo = Combo(m_hWnd))
        combo->clear();
}

int CComboBox::FindString(int startAfter, const CString& text) const
{
    QComboBox* combo = Combo(m_hWnd);
    return combo ? Find(combo, startAfter, text, false) : CB_ERR;
}

int CComboBox::FindStringExact(int startAfter, const CString& text) const
{
    QComboBox* combo = Combo(m_hWnd);
    return combo ? Find(combo, startAfter, text, true) : CB_ERR;
}

int CComboBox::SelectString(int startAfter, const CString& text)
{
    const int index = FindString(startAfter, text);
    if (index == CB_ERR)
        return CB_ERR;
    return SetCurSel(index);
}

void CComboBox::GetLBText(int index, CString& text) const
{
    text = GetLBText(index);
}

CString CComboBox::GetLBText(int index) const
{
    QComboBox* combo = Combo(m_hWnd);
    if (!combo || index < 0 || index >= combo->count())
        return CString();
    return EntryText(combo, index);
}

int CComboBox::GetLBTextLen(int index) const
{
    QComboBox* combo = Combo(m_hWnd);
    if (!combo || index < 0 || index >= combo->count())
        return CB_ERR;
    return EntryText(combo, index).GetLength();
}

int CComboBox::SetItemData(int index, DWORD_PTR data)
{
    QComboBox* combo = Combo(m_hWnd);
    if (!combo || index < 0 || index >= combo->count())
        return CB_ERR;
    combo->setItemData(index, QVariant::fromValue<qulonglong>(data), kDataRole);
    return 0;
}

DWORD_PTR CComboBox::GetItemData(int index) const
{
    QComboBox* combo = Combo(m_hWnd);
    if (!combo || index < 0 || index >= combo->count())
        return static_cast<DWORD_PTR>(CB_ERR);
    return static_cast<DWORD_PTR>(combo->itemData(index, kDataRole).toULongLong());
}

BOOL CComboBox::GetDroppedState() const
{
    QComboBox* combo = Combo(m_hWnd);
    return combo && combo->view() && combo->view()->isVisible();
}

void CComboBox::ShowDropDown(BOOL show)
{
    if (QComboBox* combo = Combo(m_hWnd)) {
        if (show)
            combo->showPopup();
        else
            combo->hidePopup();
    }
}
