// CButton on Qt: push buttons, Windows-cycling check boxes, radio buttons
// and group boxes.
#include "platform/gui/Button.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "platform/gui/Gui_qt.h"

using namespace platform::gui::qt;

namespace platform::gui::qt {

int ButtonCheck(WindowRecord* record)
{
    if (!record)
        return BST_UNCHECKED;
    if (record->kind == Kind::CheckBox) {
        switch (static_cast<QCheckBox*>(record->widget)->checkState()) {
        case Qt::Checked:
            return BST_CHECKED;
        case Qt::PartiallyChecked:
            return BST_INDETERMINATE;
        default:
            return BST_UNCHECKED;
        }
    }
    if (record->kind == Kind::RadioButton)
        return static_cast<QRadioButton*>(record->widget)->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    return BST_UNCHECKED;
}

void SetButtonCheck(WindowRecord* record, int check)
{
    if (!record)
        return;
    if (record->kind == Kind::CheckBox) {
        auto* box = static_cast<QCheckBox*>(record->widget);
        Qt::CheckState state = check == BST_CHECKED ? Qt::Checked : Qt::Unchecked;
        if (check == BST_INDETERMINATE)
            state = box->isTristate() ? Qt::PartiallyChecked : Qt::Checked;
        box->setCheckState(state);
    } else if (record->kind == Kind::RadioButton) {
        static_cast<QRadioButton*>(record->widget)->setChecked(check == BST_CHECKED);
    }
}

} // namespace platform::gui::qt

int CButton::GetCheck() const
{
    return ButtonCheck(Record(m_hWnd));
}

void CButton::SetCheck(int check)
{
    SetButtonCheck(Record(m_hWnd), check);
}

UINT CButton::GetButtonStyle() const
{
    WindowRecord* record = Record(m_hWnd);
    return record ? (record->style & 0x0F) : 0;
}

void CButton::SetButtonStyle(UINT style, BOOL)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return;
    record->style = (record->style & ~0x0Fu) | (style & 0x0F);
    if (record->kind == Kind::PushButton)
        static_cast<QPushButton*>(record->widget)->setDefault((style & 0x0F) == BS_DEFPUSHBUTTON);
}

void CButton::Click()
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || !record->widget->isEnabled())
        return;
    if (auto* button = dynamic_cast<QAbstractButton*>(record->widget))
        button->click();
}

void CWnd::CheckDlgButton(int id, UINT check)
{
    CWnd* item = GetDlgItem(id);
    if (item)
        SetButtonCheck(Record(item->m_hWnd), static_cast<int>(check));
}

UINT CWnd::IsDlgButtonChecked(int id) const
{
    CWnd* item = GetDlgItem(id);
    return item ? static_cast<UINT>(ButtonCheck(Record(item->m_hWnd))) : 0;
}
