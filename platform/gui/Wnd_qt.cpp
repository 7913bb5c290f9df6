// CWnd on Qt: window operations on the widget behind a handle, timers,
// tool tips, and the objects FromHandle hands out.
#include "platform/gui/Wnd.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

#include "platform/gui/Button.h"
#include "platform/gui/ComboBox.h"
#include "platform/gui/Dialog.h"
#include "platform/gui/DisplayText.h"
#include "platform/gui/Edit.h"
#include "platform/gui/Gui.h"
#include "platform/gui/Gui_qt.h"
#include "platform/gui/ListCtrl.h"
#include "platform/gui/ProgressCtrl.h"
#include "platform/gui/Static.h"
#include "platform/gui/Widgets_qt.h"

using namespace platform::gui::qt;

namespace platform::gui::qt {

void DestroyFrameworkWindow(WindowRecord* record);      // Dialog_qt.cpp
void ShowDialogWindow(WindowRecord* record, int command); // Dialog_qt.cpp

namespace {

// Shows the tool tip an attached object supplies for the point under the
// mouse (OnToolHitTest, then GetToolTipText). The text is shown as plain
// text, wrapped where it is long.
class ToolTipFilter : public QObject {
public:
    explicit ToolTipFilter(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        WindowRecord* record = widget ? OwningRecord(widget) : nullptr;
        if (!record || !record->toolTips || !record->attached)
            return false;
        auto* help = static_cast<QHelpEvent*>(event);
        const QPoint inRecord = widget->mapTo(record->widget, help->pos()) - ClientOrigin(record->widget);
        TOOLINFO info{};
        const INT_PTR id = record->attached->OnToolHitTest(CPoint(inRecord.x(), inRecord.y()), &info);
        CString text;
        if (id >= 0)
            text = record->attached->GetToolTipText(static_cast<UINT_PTR>(id));
        if (text.IsEmpty()) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const QString html = QStringLiteral("<p style='white-space:pre-wrap'>") +
                             ToQ(platform::gui::DisplaySafeText(text, true)).toHtmlEscaped() + QStringLiteral("</p>");
        const CRect tool(info.rect);
        QRect area(tool.left, tool.top, tool.Width(), tool.Height());
        area.translate(ClientOrigin(record->widget));
        area = QRect(widget->mapFrom(record->widget, area.topLeft()), area.size());
        QToolTip::showText(help->globalPos(), html, widget, area.isEmpty() ? QRect() : area);
        return true;
    }
};

CWnd* MakeWrapper(WindowRecord* record)
{
    switch (record->kind) {
    case Kind::PushButton:
    case Kind::CheckBox:
    case Kind::RadioButton:
    case Kind::GroupBox:
        return new CButton;
    case Kind::Edit:
        return new CEdit;
    case Kind::ComboBox:
        return new CComboBox;
    case Kind::ListView:
        return new CListCtrl;
    case Kind::Header:
        return new CHeaderCtrl;
    case Kind::Label:
    case Kind::Picture:
    case Kind::Frame:
        return new CStatic;
    case Kind::Progress:
        return new CProgressCtrl;
    default:
        return new CWnd;
    }
}

// Outer size minus client size of a top-level window (0 before it is shown
// or where the platform draws no frame).
QSize FrameExtra(const QWidget* widget)
{
    if (!widget->isWindow())
        return QSize(0, 0);
    return widget->frameGeometry().size() - widget->size();
}

QWidget* FocusWidget()
{
    if (QWidget* focus = QApplication::focusWidget())
        return focus;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal->focusWidget();
    if (QWidget* active = QApplication::activeWindow())
        return active->focusWidget();
    return nullptr;
}

} // namespace

} // namespace platform::gui::qt

// ---- attaching ----------------------------------------------------------------------------

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    WindowRecord* record = Record(hwnd);
    return record ? record->attached : nullptr;
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    WindowRecord* record = Record(hwnd);
    if (!record)
        return nullptr;
    if (record->attached)
        return record->attached;
    if (!record->wrapper) {
        record->wrapper.reset(MakeWrapper(record));
        record->wrapper->m_hWnd = hwnd;
    }
    return record->wrapper.get();
}

BOOL CWnd::Attach(HWND hwnd)
{
    WindowRecord* record = Record(hwnd);
    if (!record || (record->attached && record->attached != this))
        return FALSE;
    if (m_hWnd && m_hWnd != hwnd)
        Detach();
    record->attached = this;
    m_hWnd = hwnd;
    PreSubclassWindow();
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent)
        return FALSE;
    return Attach(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::Detach()
{
    HWND hwnd = m_hWnd;
    if (WindowRecord* record = Record(hwnd); record && record->attached == this)
        record->attached = nullptr;
    m_hWnd = nullptr;
    return hwnd;
}

// ---- identity ---------------------------------------------------------------------------

int CWnd::GetDlgCtrlID() const
{
    WindowRecord* record = Record(m_hWnd);
    return record ? record->id : 0;
}

CString CWnd::GetWindowClassName() const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return CString();
    return record->kind == Kind::Dialog ? CString(u"#32770") : record->className;
}

CWnd* CWnd::GetParent() const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || !record->widget->parentWidget())
        return nullptr;
    WindowRecord* parent = OwningRecord(record->widget->parentWidget());
    return parent ? FromHandle(Handle(parent->widget)) : nullptr;
}

HWND GetDlgItem(HWND dialog, int id)
{
    WindowRecord* record = Record(dialog);
    if (!record)
        return nullptr;
    for (const auto& control : record->controls) {
        WindowRecord* child = control ? Record(control.data()) : nullptr;
        if (child && child->id == id)
            return Handle(child->widget);
    }
    return nullptr;
}

CWnd* CWnd::GetDlgItem(int id) const
{
    return FromHandle(::GetDlgItem(m_hWnd, id));
}

CWnd* CWnd::GetWindow(UINT relation) const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return nullptr;
    if (relation == GW_CHILD) {
        for (const auto& control : record->controls) {
            if (control && Record(control.data()))
                return FromHandle(Handle(control.data()));
        }
        return nullptr;
    }
    if (relation == GW_OWNER)
        return record->kind == Kind::Dialog ? GetParent() : nullptr;
    WindowRecord* parent = record->widget->parentWidget() ? OwningRecord(record->widget->parentWidget()) : nullptr;
    if (!parent)
        return nullptr;
    std::vector<QWidget*> siblings;
    for (const auto& control : parent->controls) {
        if (control && Record(control.data()))
            siblings.push_back(control.data());
    }
    if (siblings.empty())
        return nullptr;
    auto it = std::find(siblings.begin(), siblings.end(), record->widget);
    switch (relation) {
    case GW_HWNDFIRST:
        return FromHandle(Handle(siblings.front()));
    case GW_HWNDLAST:
        return FromHandle(Handle(siblings.back()));
    case GW_HWNDNEXT:
        return it != siblings.end() && it + 1 != siblings.end() ? FromHandle(Handle(*(it + 1))) : nullptr;
    case GW_HWNDPREV:
        return it != siblings.end() && it != siblings.begin() ? FromHandle(Handle(*(it - 1))) : nullptr;
    default:
        return nullptr;
    }
}

DWORD CWnd::GetStyle() const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return 0;
    DWORD style = record->style & ~(WS_VISIBLE | WS_DISABLED);
    if (!record->widget->isHidden())
        style |= WS_VISIBLE;
    if (record->widget->testAttribute(Qt::WA_ForceDisabled))
        style |= WS_DISABLED;
    return style;
}

DWORD CWnd::GetExStyle() const
{
    WindowRecord* record = Record(m_hWnd);
    return record ? record->exStyle : 0;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return FALSE;
    const DWORD before = GetStyle();
    const DWORD after = (before & ~remove) | add;
    record->style = after;
    if ((before ^ after) & WS_VISIBLE)
        record->widget->setVisible(after & WS_VISIBLE);
    if ((before ^ after) & WS_DISABLED)
        record->widget->setEnabled(!(after & WS_DISABLED));
    if (record->kind != Kind::Dialog && ((before ^ after) & WS_TABSTOP) && record->widget->focusPolicy() != Qt::NoFocus)
        record->widget->setFocusPolicy((after & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    if (record->kind == Kind::Edit && ((before ^ after) & ES_READONLY)) {
        if (auto* line = dynamic_cast<QLineEdit*>(record->widget))
            line->setReadOnly(after & ES_READONLY);
    }
    if (record->kind == Kind::Dialog && ((before ^ after) & WS_THICKFRAME)) {
        if (after & WS_THICKFRAME) {
            record->widget->setMinimumSize(0, 0);
            record->widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        } else {
            record->widget->setFixedSize(record->widget->size());
        }
    }
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return FALSE;
    record->exStyle = (record->exStyle & ~remove) | add;
    return TRUE;
}

// ---- text -------------------------------------------------------------------------------

void CWnd::SetWindowText(const CString& text)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return;
    record->text = text;
    QWidget* w = record->widget;
    switch (record->kind) {
    case Kind::Dialog:
        w->setWindowTitle(ToQ(platform::gui::DisplaySafeText(text)));
        break;
    case Kind::PushButton:
    case Kind::CheckBox:
    case Kind::RadioButton:
        static_cast<QAbstractButton*>(w)->setText(
            ButtonCaption(platform::gui::DisplaySafeText(text, (record->style & BS_MULTILINE) != 0)));
        break;
    case Kind::GroupBox:
        static_cast<QGroupBox*>(w)->setTitle(ButtonCaption(platform::gui::DisplaySafeText(text)));
        break;
    case Kind::Label:
        record->templateText = false;
        static_cast<StaticText*>(w)->SetText(text, false);
        break;
    case Kind::Edit:
        if (auto* line = dynamic_cast<QLineEdit*>(w))
            line->setText(ToQ(text));
        else if (auto* edit = dynamic_cast<QPlainTextEdit*>(w))
            edit->setPlainText(ToQ(text));
        break;
    case Kind::ComboBox:
        if (auto* combo = static_cast<QComboBox*>(w); combo->isEditable())
            combo->setEditText(ToQ(text));
        break;
    default:
        break;
    }
}

void CWnd::GetWindowText(CString& text) const
{
    text.Empty();
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return;
    switch (record->kind) {
    case Kind::Edit:
        if (auto* line = dynamic_cast<QLineEdit*>(record->widget))
            text = FromQ(line->text());
        else if (auto* edit = dynamic_cast<QPlainTextEdit*>(record->widget))
            text = FromQ(edit->toPlainText());
        return;
    case Kind::ComboBox: {
        auto* combo = static_cast<QComboBox*>(record->widget);
        if (combo->isEditable())
            text = FromQ(combo->currentText());
        else if (combo->currentIndex() >= 0)
            text = FromQ(combo->itemData(combo->currentIndex(), Qt::UserRole + 1).toString());
        return;
    }
    default:
        text = record->text;
        return;
    }
}

int CWnd::GetWindowTextLength() const
{
    return GetWindowText().GetLength();
}

// ---- state ------------------------------------------------------------------------------

BOOL CWnd::EnableWindow(BOOL enable)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return FALSE;
    const BOOL wasDisabled = record->widget->testAttribute(Qt::WA_ForceDisabled) ? TRUE : FALSE;
    record->widget->setEnabled(enable != FALSE);
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const
{
    WindowRecord* record = Record(m_hWnd);
    return record && !record->widget->testAttribute(Qt::WA_ForceDisabled);
}

BOOL CWnd::ShowWindow(int command)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return FALSE;
    const BOOL wasVisible = record->widget->isHidden() ? FALSE : TRUE;
    if (record->kind == Kind::Dialog)
        ShowDialogWindow(record, command);
    else
        record->widget->setVisible(command != SW_HIDE);
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const
{
    WindowRecord* record = Record(m_hWnd);
    return record && record->widget->isVisible();
}

BOOL CWnd::IsIconic() const
{
    WindowRecord* record = Record(m_hWnd);
    return record && record->widget->isMinimized();
}

BOOL CWnd::IsZoomed() const
{
    WindowRecord* record = Record(m_hWnd);
    return record && record->widget->isMaximized();
}

CWnd* CWnd::SetFocus()
{
    CWnd* previous = GetFocus();
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return previous;
    QWidget* target = record->widget;
    if (record->kind == Kind::ComboBox && static_cast<QComboBox*>(target)->isEditable())
        target = static_cast<QComboBox*>(target)->lineEdit();
    target->setFocus(Qt::OtherFocusReason);
    return previous;
}

CWnd* CWnd::GetFocus()
{
    QWidget* focus = FocusWidget();
    WindowRecord* record = focus ? OwningRecord(focus) : nullptr;
    return record ? FromHandle(Handle(record->widget)) : nullptr;
}

BOOL CWnd::DestroyWindow()
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return FALSE;
    DestroyFrameworkWindow(record);
    return TRUE;
}

// ---- geometry ---------------------------------------------------------------------------

void CWnd::GetWindowRect(LPRECT rect) const
{
    if (!rect)
        return;
    *rect = CRect();
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return;
    QWidget* w = record->widget;
    QRect r = w->isWindow() ? w->frameGeometry() : QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    *rect = CRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
}

void CWnd::GetClientRect(LPRECT rect) const
{
    if (!rect)
        return;
    *rect = CRect();
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return;
    const QRect contents = record->widget->contentsRect();
    *rect = CRect(0, 0, contents.width(), contents.height());
}

void CWnd::ClientToScreen(LPPOINT point) const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || !point)
        return;
    const QPoint p = record->widget->mapToGlobal(QPoint(point->x, point->y) + ClientOrigin(record->widget));
    *point = POINT{p.x(), p.y()};
}

void CWnd::ClientToScreen(LPRECT rect) const
{
    if (!rect)
        return;
    POINT topLeft{rect->left, rect->top}, bottomRight{rect->right, rect->bottom};
    ClientToScreen(&topLeft);
    ClientToScreen(&bottomRight);
    *rect = CRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
}

void CWnd::ScreenToClient(LPPOINT point) const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || !point)
        return;
    const QPoint p = record->widget->mapFromGlobal(QPoint(point->x, point->y)) - ClientOrigin(record->widget);
    *point = POINT{p.x(), p.y()};
}

void CWnd::ScreenToClient(LPRECT rect) const
{
    if (!rect)
        return;
    POINT topLeft{rect->left, rect->top}, bottomRight{rect->right, rect->bottom};
    ScreenToClient(&topLeft);
    ScreenToClient(&bottomRight);
    *rect = CRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL)
{
    SetWindowPos(nullptr, x, y, width, height, SWP_NOZORDER);
}

BOOL CWnd::SetWindowPos(const CWnd*, int x, int y, int cx, int cy, UINT flags)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return FALSE;
    QWidget* w = record->widget;
    if (w->isWindow()) {
        const QSize extra = FrameExtra(w);
        if (!(flags & SWP_NOSIZE)) {
            const QSize client(std::max(cx - extra.width(), 0), std::max(cy - extra.height(), 0));
            if (w->minimumSize() == w->maximumSize())
                w->setFixedSize(client); // a fixed-size dialog can still be sized by code
            else
                w->resize(client);
        }
        if (!(flags & SWP_NOMOVE)) {
            w->move(x, y);
            w->setProperty("veil_positioned", true);
        }
    } else {
        // Children sit in the client area of their parent.
        const QPoint origin = w->parentWidget() ? ClientOrigin(w->parentWidget()) : QPoint();
        if (!(flags & SWP_NOMOVE))
            w->move(QPoint(x, y) + origin);
        if (!(flags & SWP_NOSIZE))
            w->resize(std::max(cx, 0), std::max(cy, 0));
    }
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(SW_SHOWNA);
    if (flags & SWP_HIDEWINDOW)
        ShowWindow(SW_HIDE);
    return TRUE;
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || !record->widget->isWindow())
        return;
    QWidget* w = record->widget;
    QRect area;
    QWidget* owner = alternateOwner ? Widget(alternateOwner->m_hWnd) : w->parentWidget();
    if (owner && owner->isVisible())
        area = owner->window()->frameGeometry();
    else if (QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    const QSize outer = w->size() + FrameExtra(w);
    w->move(area.left() + (area.width() - outer.width()) / 2, area.top() + (area.height() - outer.height()) / 2);
    w->setProperty("veil_positioned", true);
}

void CWnd::Invalidate(BOOL)
{
    if (WindowRecord* record = Record(m_hWnd)) {
        record->widget->update();
        if (auto* area = dynamic_cast<QAbstractScrollArea*>(record->widget))
            area->viewport()->update();
    }
}

void CWnd::InvalidateRect(LPCRECT rect, BOOL erase)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return;
    if (!rect) {
        Invalidate(erase);
        return;
    }
    const QPoint origin = ClientOrigin(record->widget);
    record->widget->update(QRect(rect->left + origin.x(), rect->top + origin.y(), rect->right - rect->left,
                                 rect->bottom - rect->top));
    if (auto* area = dynamic_cast<QAbstractScrollArea*>(record->widget))
        area->viewport()->update();
}

void CWnd::UpdateWindow()
{
    if (WindowRecord* record = Record(m_hWnd))
        record->widget->repaint();
}

void CWnd::SetRedraw(BOOL redraw)
{
    if (WindowRecord* record = Record(m_hWnd)) {
        record->widget->setUpdatesEnabled(redraw != FALSE);
        if (redraw)
            record->widget->update();
    }
}

// ---- messages and timers ----------------------------------------------------------------

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return 0;
    if (record->attached)
        return Deliver(m_hWnd, message, wParam, lParam);
    return 0;
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (platform::gui::IsUiThread() && !Record(hwnd))
        return FALSE;
    platform::gui::PostToUiThread([hwnd, message, wParam, lParam] { Deliver(hwnd, message, wParam, lParam); });
    return TRUE;
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return PostMessageW(m_hWnd, message, wParam, lParam);
}

BOOL IsWindow(HWND hwnd)
{
    return Record(hwnd) != nullptr;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void*)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return 0;
    QTimer*& timer = record->timers[id];
    if (!timer) {
        timer = new QTimer(record);
        HWND hwnd = m_hWnd;
        QObject::connect(timer, &QTimer::timeout, record, [hwnd, id] { Deliver(hwnd, WM_TIMER, id, 0); });
    }
    // Windows raises intervals below 10 ms to 10 ms.
    timer->start(static_cast<int>(std::min<UINT>(std::max<UINT>(elapse, 10), 0x7FFFFFFF)));
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return FALSE;
    auto it = record->timers.find(id);
    if (it == record->timers.end())
        return FALSE;
    it->second->stop();
    it->second->deleteLater();
    record->timers.erase(it);
    return TRUE;
}

// ---- icons, colours, tool tips ------------------------------------------------------------

HICON CWnd::SetIcon(HICON icon, BOOL big)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return nullptr;
    const int which = big ? ICON_BIG : ICON_SMALL;
    HICON previous = record->icons[which];
    record->icons[which] = icon;
    if (record->widget->isWindow()) {
        HICON shown = record->icons[ICON_BIG] ? record->icons[ICON_BIG] : record->icons[ICON_SMALL];
        record->widget->setWindowIcon(shown ? *reinterpret_cast<QIcon*>(shown) : QIcon());
    }
    return previous;
}

HICON CWnd::GetIcon(BOOL big) const
{
    WindowRecord* record = Record(m_hWnd);
    return record ? record->icons[big ? ICON_BIG : ICON_SMALL] : nullptr;
}

void CWnd::SetTextColor(COLORREF color)
{
    if (WindowRecord* record = Record(m_hWnd)) {
        record->textColor = color;
        ApplyColours(record);
    }
}

void CWnd::SetBackgroundColor(COLORREF color)
{
    if (WindowRecord* record = Record(m_hWnd)) {
        record->backColor = color;
        ApplyColours(record);
    }
}

BOOL CWnd::EnableToolTips(BOOL enable)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return FALSE;
    record->toolTips = enable != FALSE;
    if (enable && !record->toolTipFilter) {
        record->toolTipFilter = true;
        auto* filter = new ToolTipFilter(record);
        record->widget->installEventFilter(filter);
        if (auto* area = dynamic_cast<QAbstractScrollArea*>(record->widget))
            area->viewport()->installEventFilter(filter);
    }
    return TRUE;
}

CSize CWnd::GetTextExtent(const CString& text) const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record)
        return CSize();
    QString shown;
    const QString raw = ToQ(text);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == u'&' && i + 1 < raw.size())
            ++i;
        shown += raw[i];
    }
    const QFontMetrics metrics(record->widget->font());
    return CSize(metrics.horizontalAdvance(shown), metrics.height());
}

void CWnd::UpdateSizeLimits()
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || !record->widget->isWindow() || !record->attached)
        return;
    QWidget* w = record->widget;
    MINMAXINFO info{};
    const QSize extra = FrameExtra(w);
    info.ptMinTrackSize = POINT{0, 0};
    info.ptMaxTrackSize = POINT{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    Deliver(m_hWnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    if (!(record->style & WS_THICKFRAME))
        return; // a fixed-size dialog keeps its size
    w->setMinimumSize(std::max(0, static_cast<int>(info.ptMinTrackSize.x) - extra.width()),
                      std::max(0, static_cast<int>(info.ptMinTrackSize.y) - extra.height()));
    const int maxW = info.ptMaxTrackSize.x >= QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX : info.ptMaxTrackSize.x - extra.width();
    const int maxH = info.ptMaxTrackSize.y >= QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX : info.ptMaxTrackSize.y - extra.height();
    w->setMaximumSize(std::max(maxW, w->minimumWidth()), std::max(maxH, w->minimumHeight()));
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE)
        DestroyWindow();
    return 0;
}
