// Test automation on Qt: runs a test's action inside the modal loop of the
// dialog or box it was registered for, and drives the real widgets. Mouse
// and key input goes through the window system entry points that Qt's own
// test library uses, so hit-testing, modality, focus and shortcuts behave
// as for a user.
#include "platform/gui/Automation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include "platform/gui/Button.h"
#include "platform/gui/Dialog.h"
#include "platform/gui/Gui.h"
#include "platform/gui/Gui_qt.h"
#include "platform/gui/ListCtrl_qt.h"
#include "platform/gui/Modal_qt.h"
#include "platform/gui/Widgets_qt.h"

// Exported by QtGui for its test library: input as the window system
// delivers it.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type type, int key, Qt::KeyboardModifiers mods,
                                    const QString& text, bool autorep, ushort count);

namespace platform::gui::qt {

int ButtonCheck(WindowRecord* record); // Button_qt.cpp

namespace {

// Timestamps of synthetic input: far enough apart that two separate clicks
// never count as a double click.
int NextTimestamp(int step)
{
    static int timestamp = 100000;
    timestamp += step;
    return timestamp;
}

int QtKey(UINT vk)
{
    switch (vk) {
    case VK_RETURN:
        return Qt::Key_Return;
    case VK_ESCAPE:
        return Qt::Key_Escape;
    case VK_TAB:
        return Qt::Key_Tab;
    case VK_SPACE:
        return Qt::Key_Space;
    case VK_BACK:
        return Qt::Key_Backspace;
    case VK_DELETE:
        return Qt::Key_Delete;
    case VK_LEFT:
        return Qt::Key_Left;
    case VK_RIGHT:
        return Qt::Key_Right;
    case VK_UP:
        return Qt::Key_Up;
    case VK_DOWN:
        return Qt::Key_Down;
    case VK_HOME:
        return Qt::Key_Home;
    case VK_END:
        return Qt::Key_End;
    case VK_F4:
        return Qt::Key_F4;
    default:
        if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
            return static_cast<int>(vk);
        return 0;
    }
}

class Driver : public ModalDriver {
public:
    explicit Driver(ModalRun& run) : m_run(run) {}

    HWND Window() const override { return m_run.window ? Handle(m_run.window.data()) : nullptr; }
    bool IsMessageBox() const override { return m_run.isMessageBox; }
    UINT TemplateId() const override { return m_run.templateId; }
    CString Caption() const override
    {
        return m_run.window ? FromQ(m_run.window->windowTitle()) : CString();
    }
    CString MessageText() const override { return m_run.text; }
    UINT MessageType() const override { return m_run.type; }
    CWnd* Dialog() const override { return m_run.dialog; }

    bool Exists(int id) const override { return Control(id) != nullptr; }
    CString Text(int id) const override
    {
        WindowRecord* r = Control(id);
        CWnd* w = r ? CWnd::FromHandle(Handle(r->widget)) : nullptr;
        return w ? w->GetWindowText() : CString();
    }
    CString ShownText(int id) const override
    {
        WindowRecord* r = Control(id);
        if (!r)
            return CString();
        if (auto* label = dynamic_cast<StaticText*>(r->widget))
            return FromQ(label->ShownText());
        if (auto* button = dynamic_cast<QAbstractButton*>(r->widget)) {
            QString text = button->text();
            QString out;
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (text[i] == u'&' && i + 1 < text.size())
                    ++i;
                out += text[i];
            }
            return FromQ(out);
        }
        if (auto* combo = dynamic_cast<QComboBox*>(r->widget))
            return FromQ(combo->currentText());
        if (auto* line = dynamic_cast<QLineEdit*>(r->widget))
            return FromQ(line->displayText());
        return Text(id);
    }
    bool IsEnabled(int id) const override
    {
        WindowRecord* r = Control(id);
        return r && r->widget->isEnabled();
    }
    bool IsVisible(int id) const override
    {
        WindowRecord* r = Control(id);
        return r && r->widget->isVisible();
    }
    bool HasFocus(int id) const override { return FocusedId() == id && Control(id); }
    int Check(int id) const override { return ButtonCheck(Control(id)); }
    CRect Rect(int id) const override
    {
        WindowRecord* r = Control(id);
        if (!r)
            return CRect();
        const QRect g = r->widget->geometry();
        return CRect(g.left(), g.top(), g.left() + g.width(), g.top() + g.height());
    }
    CString Focused() const override
    {
        WindowRecord* r = FocusRecord();
        if (!r)
            return u"(none)";
        CString text;
        text.Format(u"%s %d", r->className.GetString(), r->id);
        return text;
    }
    int FocusedId() const override
    {
        WindowRecord* r = FocusRecord();
        return r ? r->id : 0;
    }

    void Click(int id) override
    {
        WindowRecord* r = Control(id);
        if (!r)
            return;
        QPoint point = r->widget->rect().center();
        if (auto* box = dynamic_cast<QCheckBox*>(r->widget)) {
            QStyleOptionButton option;
            option.initFrom(box);
            point = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center();
        } else if (auto* radio = dynamic_cast<QRadioButton*>(r->widget)) {
            QStyleOptionButton option;
            option.initFrom(radio);
            point = radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio).center();
        }
        MouseClick(r->widget, point, false);
    }
    void Type(int id, const CString& text) override
    {
        WindowRecord* r = Control(id);
        if (!r || !r->widget->isEnabled())
            return;
        QWidget* target = r->widget;
        if (auto* combo = dynamic_cast<QComboBox*>(target); combo && combo->lineEdit())
            target = combo->lineEdit();
        target->setFocus(Qt::TabFocusReason);
        if (auto* line = dynamic_cast<QLineEdit*>(target))
            line->selectAll();
        else if (auto* edit = dynamic_cast<QPlainTextEdit*>(target))
            edit->selectAll();
        QCoreApplication::processEvents();
        SendKey(0, ToQ(text), Qt::NoModifier);
    }
    void ChooseCombo(int id, const CString& entry) override
    {
        WindowRecord* r = Control(id);
        auto* combo = r ? dynamic_cast<QComboBox*>(r->widget) : nullptr;
        if (!combo)
            return;
        for (int i = 0; i < combo->count(); ++i) {
            if (FromQ(combo->itemData(i, Qt::UserRole + 1).toString()) == entry) {
                ChooseComboIndex(id, i);
                return;
            }
        }
    }
    void ChooseComboIndex(int id, int index) override
    {
        WindowRecord* r = Control(id);
        auto* combo = r ? dynamic_cast<QComboBox*>(r->widget) : nullptr;
        if (!combo || !combo->isEnabled() || !combo->isVisible() || index < 0 || index >= combo->count())
            return;
        // As a choice from the drop-down list: focus, new selection, then
        // the notification of a user's choice.
        combo->setFocus(Qt::MouseFocusReason);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        QCoreApplication::processEvents();
    }
    int ComboCount(int id) const override
    {
        WindowRecord* r = Control(id);
        auto* combo = r ? dynamic_cast<QComboBox*>(r->widget) : nullptr;
        return combo ? combo->count() : 0;
    }
    CString ComboEntry(int id, int index) const override
    {
        WindowRecord* r = Control(id);
        auto* combo = r ? dynamic_cast<QComboBox*>(r->widget) : nullptr;
        return combo && index >= 0 && index < combo->count()
                   ? FromQ(combo->itemData(index, Qt::UserRole + 1).toString())
                   : CString();
    }
    int ComboSelection(int id) const override
    {
        WindowRecord* r = Control(id);
        auto* combo = r ? dynamic_cast<QComboBox*>(r->widget) : nullptr;
        return combo ? combo->currentIndex() : -1;
    }
    void PressKey(UINT virtualKey) override
    {
        QString text;
        if (virtualKey == VK_RETURN)
            text = QStringLiteral("\r");
        else if (virtualKey == VK_ESCAPE)
            text = QString(QChar(0x1B));
        else if (virtualKey == VK_SPACE)
            text = QStringLiteral(" ");
        else if (virtualKey == VK_TAB)
            text = QStringLiteral("\t");
        SendKey(QtKey(virtualKey), text, Qt::NoModifier);
    }
    void PressAltKey(char16_t letter) override
    {
        const QChar upper = QChar(letter).toUpper();
        SendKey(upper.unicode(), QString(QChar(letter)), Qt::AltModifier);
    }
    void Close() override
    {
        if (m_run.window)
            m_run.window->close();
        QCoreApplication::processEvents();
    }
    void Answer(int buttonId) override { Click(buttonId); }

    int ListRowCount(int id) const override
    {
        ListView* view = List(id);
        return view ? static_cast<int>(view->Model()->rows.size()) : 0;
    }
    int ListColumnCount(int id) const override
    {
        ListView* view = List(id);
        return view ? static_cast<int>(view->Model()->columns.size()) : 0;
    }
    CString ListText(int id, int row, int column) const override
    {
        ListView* view = List(id);
        return view ? view->Model()->Text(row, column) : CString();
    }
    CString ListShownText(int id, int row, int column) const override
    {
        ListView* view = List(id);
        if (!view || row < 0 || column < 0 || row >= static_cast<int>(view->Model()->rows.size()))
            return CString();
        return FromQ(view->Model()->data(view->Model()->index(row, column), Qt::DisplayRole).toString());
    }
    CString ListHeading(int id, int column) const override
    {
        ListView* view = List(id);
        if (!view || column < 0 || column >= static_cast<int>(view->Model()->columns.size()))
            return CString();
        return view->Model()->columns[static_cast<size_t>(column)].heading;
    }
    CRect ListCellRect(int id, int row, int column) const override
    {
        ListView* view = List(id);
        if (!view || row < 0 || column < 0 || row >= static_cast<int>(view->Model()->rows.size()))
            return CRect();
        const QRect cell = view->visualRect(view->Model()->index(row, column));
        const QPoint topLeft = view->ViewportToClient(cell.topLeft());
        return CRect(topLeft.x(), topLeft.y(), topLeft.x() + cell.width(), topLeft.y() + cell.height());
    }
    void ListClick(int id, int row, int column) override
    {
        ListView* view = List(id);
        if (!view)
            return;
        view->scrollTo(view->Model()->index(row, column));
        const CRect cell = ListCellRect(id, row, column);
        ListClickAt(id, cell.CenterPoint());
    }
    void ListClickAt(int id, CPoint point) override
    {
        ListView* view = List(id);
        if (!view)
            return;
        MouseClick(view, QPoint(point.x, point.y) + ClientOrigin(view), false);
    }
    void ListDoubleClick(int id, int row, int column) override
    {
        ListView* view = List(id);
        if (!view)
            return;
        view->scrollTo(view->Model()->index(row, column));
        const CRect cell = ListCellRect(id, row, column);
        MouseClick(view, QPoint(cell.CenterPoint().x, cell.CenterPoint().y) + ClientOrigin(view), true);
    }
    void ListHeaderClick(int id, int column) override
    {
        ListView* view = List(id);
        if (!view || column < 0 || column >= view->Header()->count())
            return;
        HeaderView* header = view->Header();
        const QPoint point(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        MouseClick(header->viewport(), point, false);
    }
    void ListKey(int id, UINT virtualKey) override
    {
        ListView* view = List(id);
        if (!view)
            return;
        view->setFocus(Qt::OtherFocusReason);
        PressKey(virtualKey);
    }
    CString ListToolTip(int id, int row, int column) override
    {
        ListView* view = List(id);
        if (!view)
            return CString();
        view->scrollTo(view->Model()->index(row, column));
        const QRect cell = view->visualRect(view->Model()->index(row, column));
        const QPoint point = cell.center();
        QHelpEvent event(QEvent::ToolTip, point, view->viewport()->mapToGlobal(point));
        // A tip still on screen from before would read as this cell's.
        QToolTip::hideText();
        WaitUntil([] { return !QToolTip::isVisible(); }, 2000);
        QCoreApplication::sendEvent(view->viewport(), &event);
        const QString shown = QToolTip::isVisible() ? QToolTip::text() : QString();
        QToolTip::hideText();
        return FromQ(QTextDocumentFragment::fromHtml(shown).toPlainText());
    }
    bool ListIsSelected(int id, int row) const override
    {
        ListView* view = List(id);
        return view && view->selectionModel()->isRowSelected(row, QModelIndex());
    }

    void Wait(int milliseconds) override { platform::gui::ProcessEvents(milliseconds); }
    bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) override
    {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() >= timeoutMs)
                return false;
            platform::gui::ProcessEvents(10);
        }
        return true;
    }

    bool SavePng(const CString& path) const override { return platform::gui::SaveWindowImage(Window(), path); }

private:
    WindowRecord* Control(int id) const
    {
        return m_run.window ? Record(::GetDlgItem(Handle(m_run.window.data()), id)) : nullptr;
    }
    ListView* List(int id) const
    {
        WindowRecord* r = Control(id);
        return r ? ListViewOf(Handle(r->widget)) : nullptr;
    }
    WindowRecord* FocusRecord() const
    {
        if (!m_run.window)
            return nullptr;
        QWidget* focus = m_run.window->isActiveWindow() ? QApplication::focusWidget() : m_run.window->focusWidget();
        if (!focus)
            focus = m_run.window->focusWidget();
        WindowRecord* r = focus ? OwningRecord(focus) : nullptr;
        return r && r->widget != m_run.window ? r : nullptr;
    }

    // A click as the window system delivers it: at `point` of `widget`.
    void MouseClick(QWidget* widget, const QPoint& point, bool doubleClick)
    {
        if (!widget->isVisible())
            return;
        QWidget* top = widget->window();
        QWindow* window = top->windowHandle();
        if (!window)
            return;
        const QPointF local = widget->mapTo(top, point);
        const QPointF global = widget->mapToGlobal(point);
        const int clicks = doubleClick ? 2 : 1;
        for (int i = 0; i < clicks; ++i) {
            const int step = i == 0 ? 1000 : 10;
            qt_handleMouseEvent(window, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress,
                                Qt::NoModifier, NextTimestamp(step));
            qt_handleMouseEvent(window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease,
                                Qt::NoModifier, NextTimestamp(10));
        }
        QCoreApplication::processEvents();
    }

    void SendKey(int key, const QString& text, Qt::KeyboardModifiers modifiers)
    {
        if (!m_run.window)
            return;
        QWindow* window = m_run.window->window()->windowHandle();
        if (!window)
            return;
        qt_handleKeyEvent(window, QEvent::KeyPress, key, modifiers, text, false, 1);
        qt_handleKeyEvent(window, QEvent::KeyRelease, key, modifiers, text, false, 1);
        QCoreApplication::processEvents();
    }

    ModalRun& m_run;
};

CString Describe(const ModalRun& run)
{
    CString text;
    if (run.isMessageBox)
        text = CString(u"message box: ") + run.text;
    else
        text.Format(u"dialog %u (%s)", run.templateId, run.caption.GetString());
    return text;
}

} // namespace

void StartModal(ModalRun& run)
{
    platform::gui::Automation* automation = platform::gui::Automation::Current();
    if (!automation)
        return;
    platform::gui::ModalRecord record;
    record.isMessageBox = run.isMessageBox;
    record.templateId = run.templateId;
    record.caption = run.caption;
    record.text = run.text;
    record.type = run.type;
    run.ticket = automation->Record(record);
    auto action = std::make_shared<platform::gui::ModalAction>();
    const bool have = automation->TakeAction(run.isMessageBox, run.templateId, *action);
    ModalRun* target = &run;
    QTimer::singleShot(0, run.window.data(), [target, action, have] {
        if (target->ended())
            return;
        platform::gui::Automation* current = platform::gui::Automation::Current();
        if (!have) {
            if (current)
                current->AddUnexpected(Describe(*target));
            target->endByDefault();
            return;
        }
        Driver driver(*target);
        Guarded([&] { (*action)(driver); });
        if (!target->ended()) {
            if (current)
                current->AddUnexpected(Describe(*target) + u" stayed open after its action");
            target->endByDefault();
        } else {
            target->handled = true;
        }
    });
}

void FinishModal(ModalRun& run, int result)
{
    platform::gui::Automation* automation = platform::gui::Automation::Current();
    if (automation && run.ticket != static_cast<size_t>(-1))
        automation->SetResult(run.ticket, result, run.handled);
}

} // namespace platform::gui::qt
