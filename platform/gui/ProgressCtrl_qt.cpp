// CProgressCtrl on Qt: a progress bar without text, as Windows draws it.
#include "platform/gui/ProgressCtrl.h"

#include <QProgressBar>

#include "platform/gui/Gui_qt.h"

using namespace platform::gui::qt;

namespace {

QProgressBar* Bar(HWND hwnd)
{
    WindowRecord* record = Record(hwnd);
    return record && record->kind == Kind::Progress ? static_cast<QProgressBar*>(record->widget) : nullptr;
}

} // namespace

void CProgressCtrl::SetRange32(int lower, int upper)
{
    if (QProgressBar* bar = Bar(m_hWnd))
        bar->setRange(lower, upper);
}

void CProgressCtrl::GetRange(int& lower, int& upper) const
{
    lower = upper = 0;
    if (QProgressBar* bar = Bar(m_hWnd)) {
        lower = bar->minimum();
        upper = bar->maximum();
    }
}

int CProgressCtrl::SetPos(int position)
{
    QProgressBar* bar = Bar(m_hWnd);
    if (!bar)
        return 0;
    const int previous = bar->value();
    bar->setValue(position);
    return previous;
}

int CProgressCtrl::GetPos() const
{
    QProgressBar* bar = Bar(m_hWnd);
    return bar ? bar->value() : 0;
}
