// CDialog on Qt: the window and its controls built from a template, the
// Windows dialog keyboard (Enter, Escape, close box), the modal loop, and
// the destruction sequence.
#include "platform/gui/Dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSizeGrip>
#include <QTimer>

#include "platform/gui/DisplayText.h"
#include "platform/gui/Gui.h"
#include "platform/gui/Gui_qt.h"
#include "platform/gui/ListCtrl_qt.h"
#include "platform/gui/Modal_qt.h"
#include "platform/gui/Widgets_qt.h"

namespace platform::gui::qt {

bool ShowBitmapResource(WindowRecord* record, UINT id); // Static_qt.cpp

namespace {

bool IsWindowsDialogFont(const CString& name)
{
    for (const char16_t* known : {u"MS Shell Dlg", u"MS Shell Dlg 2", u"MS Sans Serif", u"Microsoft Sans Serif",
                                  u"Tahoma", u"Segoe UI", u"System"}) {
        if (name.CompareNoCase(known) == 0)
            return true;
    }
    return name.IsEmpty();
}

} // namespace

// The font of a template: the Windows dialog fonts become the desktop's
// general font; other families are asked for by name.
QFont TemplateFont(const platform::DialogTemplate& t)
{
    QFont font;
    if (IsWindowsDialogFont(t.fontName)) {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    } else {
        font = QFont(ToQ(t.fontName));
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPointSizeF(t.fontPointSize > 0 ? t.fontPointSize : 8);
    font.setWeight(t.fontWeight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(t.fontItalic);
    return font;
}

platform::gui::DialogBaseUnits MeasureBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    platform::gui::DialogBaseUnits units;
    units.cx = platform::gui::BaseUnitWidthFromAlphabet(
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")));
    units.cy = metrics.height();
    return units;
}

// The top-level window of a framework dialog.
class DialogWindow : public QDialog {
public:
    DialogWindow(QWidget* owner, Qt::WindowFlags flags) : QDialog(owner, flags) {}

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        WindowRecord* record = Record(this);
        if (!record) {
            QDialog::keyPressEvent(event);
            return;
        }
        const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
            event->accept();
            PressDefault(record);
            return;
        }
        if (plain && event->key() == Qt::Key_Escape) {
            event->accept();
            HWND cancel = ::GetDlgItem(Handle(this), IDCANCEL);
            Deliver(Handle(this), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
            return;
        }
        QWidget::keyPressEvent(event); // not QDialog's: it has its own Enter and Escape
    }

    void closeEvent(QCloseEvent* event) override
    {
        // The close box asks the dialog (WM_CLOSE); it closes by ending itself.
        event->ignore();
        if (WindowRecord* record = Record(this); record && !record->gone)
            Deliver(Handle(this), WM_CLOSE, 0, 0);
    }

    void resizeEvent(QResizeEvent* event) override
    {
        QDialog::resizeEvent(event);
        PlaceGrip();
        SendSize();
    }

public:
    void SetGrip(bool show)
    {
        if (show && !m_grip) {
            m_grip = new QSizeGrip(this);
            m_grip->setObjectName(QStringLiteral("veil_sizegrip"));
        }
        if (m_grip) {
            m_grip->setVisible(show);
            PlaceGrip();
        }
    }

protected:
    void PlaceGrip()
    {
        if (!m_grip)
            return;
        const QSize size = m_grip->sizeHint();
        m_grip->setGeometry(width() - size.width(), height() - size.height(), size.width(), size.height());
        m_grip->raise();
    }

    void changeEvent(QEvent* event) override
    {
        QDialog::changeEvent(event);
        if (event->type() == QEvent::WindowStateChange)
            SendSize();
    }

    void showEvent(QShowEvent* event) override
    {
        WindowRecord* record = Record(this);
        if (record) {
            WindowRecord& data = *record;
            if (!data.shownOnce) {
                data.shownOnce = true;
                if (!data.positioned && !property("veil_positioned").toBool()) {
                    if (CWnd* self = CWnd::FromHandle(Handle(this)))
                        self->CenterWindow();
                }
            }
        }
        QDialog::showEvent(event);
    }

private:
    void SendSize()
    {
        WindowRecord* record = Record(this);
        if (!record || record->gone || !record->attached)
            return;
        UINT type = SIZE_RESTORED;
        if (isMinimized())
            type = SIZE_MINIMIZED;
        else if (isMaximized())
            type = SIZE_MAXIMIZED;
        Deliver(Handle(this), WM_SIZE, type, MAKELPARAM(width(), height()));
    }

    // Enter: the focused push button, else the default button (IDOK when the
    // dialog has none). A disabled default button does nothing.
    void PressDefault(WindowRecord* record)
    {
        QWidget* focus = focusWidget();
        WindowRecord* focused = focus ? OwningRecord(focus) : nullptr;
        if (focused && focused != record && focused->kind == Kind::PushButton) {
            if (focused->widget->isEnabled())
                NotifyCommand(focused, BN_CLICKED);
            return;
        }
        const UINT id = record->defId;
        HWND control = ::GetDlgItem(Handle(this), static_cast<int>(id));
        if (control) {
            if (Widget(control)->isEnabled())
                Deliver(Handle(this), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
            return;
        }
        Deliver(Handle(this), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }

    QSizeGrip* m_grip = nullptr;
};

namespace {

Qt::FocusPolicy TabPolicy(DWORD style)
{
    return (style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus;
}

bool ClassIs(const CString& className, const char16_t* name)
{
    return className.CompareNoCase(name) == 0;
}

// Creates one control of a template inside `dialog`.
WindowRecord* CreateControl(WindowRecord* dialog, const platform::DialogControl& c,
                            const platform::gui::DialogBaseUnits& units)
{
    QWidget* parent = dialog->widget;
    const CRect rect = platform::gui::TemplateRectToPixels(c.x, c.y, c.cx, c.cy, units);
    QRect geometry(rect.left, rect.top, rect.Width(), rect.Height());
    QWidget* widget = nullptr;
    Kind kind = Kind::Other;

    if (ClassIs(c.className, u"Button")) {
        const DWORD type = c.style & 0x0F;
        switch (type) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE: {
            auto* box = new Win32CheckBox(parent, type);
            if (c.style & BS_LEFTTEXT)
                box->setLayoutDirection(Qt::RightToLeft);
            widget = box;
            kind = Kind::CheckBox;
            break;
        }
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            widget = new Win32RadioButton(parent, type == BS_AUTORADIOBUTTON);
            kind = Kind::RadioButton;
            break;
        case BS_GROUPBOX:
            widget = new QGroupBox(parent);
            widget->setFocusPolicy(Qt::NoFocus);
            kind = Kind::GroupBox;
            break;
        default: {
            auto* button = new QPushButton(parent);
            button->setAutoDefault(true);
            button->setDefault(type == BS_DEFPUSHBUTTON);
            widget = button;
            kind = Kind::PushButton;
            break;
        }
        }
        if (kind != Kind::GroupBox)
            widget->setFocusPolicy(TabPolicy(c.style));
    } else if (ClassIs(c.className, u"Edit")) {
        if (c.style & ES_MULTILINE) {
            auto* edit = new QPlainTextEdit(parent);
            edit->setReadOnly(c.style & ES_READONLY);
            edit->setTabChangesFocus(true);
            widget = edit;
        } else {
            auto* edit = new QLineEdit(parent);
            edit->setReadOnly(c.style & ES_READONLY);
            if (c.style & ES_PASSWORD)
                edit->setEchoMode(QLineEdit::Password);
            if (c.style & ES_NUMBER)
                edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
            if (c.style & ES_CENTER)
                edit->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
            else if (c.style & ES_RIGHT)
                edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            edit->setMaxLength(30000); // the Windows default limit of an edit
            widget = edit;
        }
        widget->setFocusPolicy(TabPolicy(c.style));
        kind = Kind::Edit;
    } else if (ClassIs(c.className, u"Static")) {
        const DWORD type = c.style & SS_TYPEMASK;
        if (type == SS_BITMAP || type == SS_ICON) {
            auto* label = new QLabel(parent);
            label->setAlignment((c.style & SS_CENTERIMAGE) ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            kind = Kind::Picture;
        } else if ((type >= SS_BLACKRECT && type <= SS_WHITEFRAME) || (type >= SS_ETCHEDHORZ && type <= SS_ETCHEDFRAME)) {
            auto* frame = new QFrame(parent);
            if (type == SS_ETCHEDHORZ)
                frame->setFrameStyle(QFrame::HLine | QFrame::Sunken);
            else if (type == SS_ETCHEDVERT)
                frame->setFrameStyle(QFrame::VLine | QFrame::Sunken);
            else
                frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
            widget = frame;
            kind = Kind::Frame;
        } else {
            widget = new StaticText(parent, c.style);
            kind = Kind::Label;
        }
        widget->setFocusPolicy(Qt::NoFocus);
    } else if (ClassIs(c.className, u"ComboBox")) {
        auto* combo = new QComboBox(parent);
        combo->setEditable((c.style & CBS_TYPEMASK) != CBS_DROPDOWNLIST);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setFocusPolicy(TabPolicy(c.style));
        // The template's height is that of the dropped-down list; the box
        // itself is as high as its font needs.
        const int boxHeight = combo->sizeHint().height();
        const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
        combo->setMaxVisibleItems(std::max(1, (geometry.height() - boxHeight) / itemHeight));
        geometry.setHeight(boxHeight);
        widget = combo;
        kind = Kind::ComboBox;
    } else if (ClassIs(c.className, u"SysListView32")) {
        widget = new ListView(parent, c.style);
        widget->setFocusPolicy(TabPolicy(c.style));
        kind = Kind::ListView;
    } else if (ClassIs(c.className, u"msctls_progress32")) {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        widget = bar;
        kind = Kind::Progress;
    } else {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        widget = frame;
        kind = Kind::Other;
    }

    auto* record = new WindowRecord(widget, kind);
    record->id = c.id;
    record->className = c.className;
    record->style = c.style | WS_CHILD;
    record->exStyle = c.exStyle;
    widget->setObjectName(QStringLiteral("ctl%1").arg(c.id));
    widget->setGeometry(geometry);
    if (c.exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) {
        if (auto* frame = dynamic_cast<QFrame*>(widget); frame && kind == Kind::Label)
            frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }

    // Text: through SetWindowText (or the label's template form), so that
    // every text takes one path.
    if (kind == Kind::Label) {
        record->text = c.text;
        static_cast<StaticText*>(widget)->SetText(c.text, true);
    } else if (kind == Kind::Picture) {
        if (c.textResourceId && (c.style & SS_TYPEMASK) == SS_BITMAP) {
            ShowBitmapResource(record, c.textResourceId);
        } else if (c.textResourceId && (c.style & SS_TYPEMASK) == SS_ICON) {
            if (HICON icon = platform::gui::LoadIconResource(c.textResourceId)) {
                static_cast<QLabel*>(widget)->setPixmap(reinterpret_cast<QIcon*>(icon)->pixmap(32, 32));
                record->icons[ICON_BIG] = icon;
            }
        }
    } else {
        CWnd::FromHandle(Handle(widget))->SetWindowText(c.text);
    }

    // Notifications of the user's actions.
    switch (kind) {
    case Kind::PushButton:
    case Kind::CheckBox:
    case Kind::RadioButton:
        QObject::connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, widget,
                         [widget] {
                             if (WindowRecord* r = Record(widget))
                                 NotifyCommand(r, BN_CLICKED);
                         });
        break;
    case Kind::Edit:
        if (auto* line = dynamic_cast<QLineEdit*>(widget)) {
            QObject::connect(line, &QLineEdit::textChanged, widget, [widget] {
                if (WindowRecord* r = Record(widget))
                    NotifyCommand(r, EN_CHANGE);
            });
        } else if (auto* text = dynamic_cast<QPlainTextEdit*>(widget)) {
            QObject::connect(text, &QPlainTextEdit::textChanged, widget, [widget] {
                if (WindowRecord* r = Record(widget))
                    NotifyCommand(r, EN_CHANGE);
            });
        }
        break;
    case Kind::ComboBox: {
        auto* combo = static_cast<QComboBox*>(widget);
        QObject::connect(combo, &QComboBox::activated, widget, [widget] {
            if (WindowRecord* r = Record(widget))
                NotifyCommand(r, CBN_SELCHANGE);
        });
        if (combo->lineEdit()) {
            QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, widget, [widget] {
                if (WindowRecord* r = Record(widget))
                    NotifyCommand(r, CBN_EDITCHANGE);
            });
        }
        break;
    }
    default:
        break;
    }

    widget->setVisible(c.style & WS_VISIBLE);
    widget->setEnabled(!(c.style & WS_DISABLED));
    dialog->controls.emplace_back(widget);
    return record;
}

// Tab order follows template order; a label's mnemonic goes to the next
// control that takes the focus.
void ApplyTabOrderAndBuddies(WindowRecord* dialog)
{
    QWidget* previous = nullptr;
    std::vector<StaticText*> waitingLabels;
    for (const auto& control : dialog->controls) {
        QWidget* w = control.data();
        if (!w)
            continue;
        if (auto* label = dynamic_cast<StaticText*>(w)) {
            waitingLabels.push_back(label);
            continue;
        }
        if (w->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
        for (StaticText* label : waitingLabels)
            label->SetBuddy(w);
        waitingLabels.clear();
    }
}

} // namespace

// Builds the window of `dialog` from its template; false when missing.
bool BuildDialogWindow(CDialog* dialog, const platform::DialogTemplate& t, CWnd* parent, bool modal)
{
    QWidget* owner = parent ? Widget(parent->m_hWnd) : nullptr;
    if (owner)
        owner = owner->window();
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (t.style & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (t.style & WS_MINIMIZEBOX)
        flags |= Qt::WindowMinimizeButtonHint;
    if (t.style & WS_MAXIMIZEBOX)
        flags |= Qt::WindowMaximizeButtonHint;
    auto* window = new DialogWindow(owner, flags);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* record = new WindowRecord(window, Kind::Dialog);
    record->className = u"#32770";
    record->style = t.style;
    record->exStyle = t.exStyle;
    WindowRecord& data = *record;

    const QFont font = TemplateFont(t);
    window->setFont(font);
    data.units = MeasureBaseUnits(font);
    data.positioned = t.x != 0 || t.y != 0;

    const int width = platform::gui::DialogUnitsToPixelsX(t.cx, data.units);
    const int height = platform::gui::DialogUnitsToPixelsY(t.cy, data.units);
    if (t.style & WS_THICKFRAME)
        window->resize(width, height);
    else
        window->setFixedSize(width, height);
    if (data.positioned) {
        QPoint origin;
        if (owner)
            origin = owner->geometry().topLeft();
        window->move(origin + QPoint(platform::gui::DialogUnitsToPixelsX(t.x, data.units),
                                     platform::gui::DialogUnitsToPixelsY(t.y, data.units)));
    }
    window->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);

    dialog->Attach(Handle(window));
    dialog->SetWindowText(t.caption);
    bool haveDefault = false;
    for (const platform::DialogControl& c : t.controls) {
        CreateControl(record, c, data.units);
        // The first default push button of the template is the default.
        if (!haveDefault && c.className.CompareNoCase(u"Button") == 0 && (c.style & 0x0F) == BS_DEFPUSHBUTTON) {
            data.defId = static_cast<UINT>(c.id);
            haveDefault = true;
        }
    }
    ApplyTabOrderAndBuddies(record);
    return true;
}

void ShowDialogWindow(WindowRecord* record, int command)
{
    QWidget* w = record->widget;
    switch (command) {
    case SW_HIDE:
        w->hide();
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
        w->showMinimized();
        break;
    case SW_MAXIMIZE:
        w->showMaximized();
        break;
    case SW_RESTORE:
        w->showNormal();
        break;
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
        w->setAttribute(Qt::WA_ShowWithoutActivating, true);
        w->show();
        w->setAttribute(Qt::WA_ShowWithoutActivating, false);
        break;
    default:
        w->show();
        w->raise();
        w->activateWindow();
        break;
    }
}

// Removes the handles of a window and everything in it, so that nothing
// reaches them any more.
void RetireHandles(QWidget* widget)
{
    const QList<QWidget*> children = widget->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (WindowRecord* record = Record(child)) {
            for (auto& [id, timer] : record->timers)
                timer->stop();
            record->gone = true;
            delete record;
        }
    }
    if (WindowRecord* record = Record(widget)) {
        for (auto& [id, timer] : record->timers)
            timer->stop();
        record->gone = true;
        delete record;
    }
}

// WM_DESTROY to the window's object, then to its controls' objects; then
// the objects are detached and the widgets deleted.
void DestroyFrameworkWindow(WindowRecord* record)
{
    if (!record || record->gone)
        return;
    record->gone = true;
    QWidget* widget = record->widget;
    widget->hide();
    if (record->kind == Kind::Dialog) {
        if (auto* dialog = dynamic_cast<CDialog*>(record->attached))
            dialog->EndDialogLoopForDestroy();
    }
    std::vector<CWnd*> objects;
    if (record->attached)
        objects.push_back(record->attached);
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        if (WindowRecord* r = Record(child); r && r->attached)
            objects.push_back(r->attached);
    }
    for (CWnd* object : objects) {
        if (Record(object->m_hWnd))
            Guarded([object] { object->HandleWindowGone(); });
    }
    RetireHandles(widget);
    widget->deleteLater();
}

} // namespace platform::gui::qt

using namespace platform::gui::qt;

LONG GetDialogBaseUnits()
{
    if (!platform::gui::IsGuiRunning())
        return MAKELONG(6, 13); // the Windows values for "MS Shell Dlg" 8 at 96 dpi
    platform::DialogTemplate system;
    system.fontName = u"MS Shell Dlg";
    system.fontPointSize = 8;
    const platform::gui::DialogBaseUnits units = MeasureBaseUnits(TemplateFont(system));
    return MAKELONG(units.cx, units.cy);
}

BOOL CDialog::CreateWindowFromTemplate(bool modal)
{
    platform::DialogTemplate t;
    if (!GetTemplate(t))
        return FALSE;
    if (!platform::gui::InitGui())
        return FALSE;
    return BuildDialogWindow(this, t, m_parent, modal) ? TRUE : FALSE;
}

void CDialog::EndDialogLoopForDestroy()
{
    if (m_loop && !m_ended) {
        m_result = -1;
        m_ended = true;
        static_cast<QEventLoop*>(m_loop)->quit();
    }
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd)
        return -1; // already running
    m_ended = false;
    m_result = -1;
    m_modal = true;
    if (!CreateWindowFromTemplate(true)) {
        m_modal = false;
        return -1;
    }
    QPointer<QWidget> window = Widget(m_hWnd);
    m_result = 0;
    Guarded([this] { HandleInitDialog(); });
    if (!m_ended && m_hWnd && window) {
        if (!m_startHidden)
            ShowDialogWindow(Record(m_hWnd), SW_SHOW);
        QEventLoop loop;
        m_loop = &loop;
        ModalRun run;
        run.window = window;
        run.templateId = m_templateId;
        run.caption = GetWindowText();
        run.dialog = this;
        run.ended = [this] { return m_ended; };
        run.endByDefault = [this] { EndDialog(IDCANCEL); };
        StartModal(run);
        if (!m_ended)
            loop.exec(QEventLoop::DialogExec);
        m_loop = nullptr;
        FinishModal(run, m_result);
    }
    if (WindowRecord* record = Record(m_hWnd))
        DestroyFrameworkWindow(record);
    if (window)
        delete window.data();
    m_modal = false;
    return m_result;
}

void CDialog::EndDialog(int result)
{
    m_result = result;
    m_ended = true;
    if (WindowRecord* record = Record(m_hWnd))
        record->widget->hide();
    if (m_loop)
        static_cast<QEventLoop*>(m_loop)->quit();
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_templateId = templateId;
    m_haveIndirect = false;
    if (parent)
        m_parent = parent;
    return CreateIndirect(platform::DialogTemplate{}, nullptr);
}

BOOL CDialog::CreateIndirect(const platform::DialogTemplate& dialogTemplate, CWnd* parent)
{
    if (m_hWnd)
        return FALSE;
    if (dialogTemplate.id != 0 || !dialogTemplate.controls.empty() || dialogTemplate.cx != 0) {
        m_indirect = dialogTemplate;
        m_haveIndirect = true;
        m_templateId = dialogTemplate.id;
    }
    if (parent)
        m_parent = parent;
    m_modal = false;
    m_ended = false;
    if (!CreateWindowFromTemplate(false))
        return FALSE;
    platform::DialogTemplate t;
    GetTemplate(t);
    Guarded([this] { HandleInitDialog(); });
    if (m_hWnd && (t.style & WS_VISIBLE) && !m_startHidden)
        ShowDialogWindow(Record(m_hWnd), SW_SHOW);
    return m_hWnd ? TRUE : FALSE;
}

void CDialog::NextDlgCtrl() const
{
    if (QWidget* w = Widget(m_hWnd); w && w->focusWidget())
        w->focusWidget()->nextInFocusChain()->setFocus(Qt::TabFocusReason);
}

void CDialog::PrevDlgCtrl() const
{
    if (QWidget* w = Widget(m_hWnd); w && w->focusWidget())
        w->focusWidget()->previousInFocusChain()->setFocus(Qt::BacktabFocusReason);
}

void CDialog::GotoDlgCtrl(CWnd* control)
{
    if (!control)
        return;
    WindowRecord* record = Record(control->m_hWnd);
    if (!record)
        return;
    control->SetFocus();
    // Moving into an edit by dialog navigation selects its text.
    if (auto* line = dynamic_cast<QLineEdit*>(record->widget))
        line->selectAll();
}

DWORD CDialog::GetDefID() const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || record->kind != Kind::Dialog)
        return 0;
    return MAKELONG(record->defId, DC_HASDEFID);
}

void CDialog::SetDefID(UINT id)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || record->kind != Kind::Dialog)
        return;
    WindowRecord& data = *record;
    // The old default button becomes a plain one, the new one the default.
    if (WindowRecord* old = Record(::GetDlgItem(m_hWnd, static_cast<int>(data.defId))); old && old->kind == Kind::PushButton)
        static_cast<QPushButton*>(old->widget)->setDefault(false);
    data.defId = id;
    if (WindowRecord* now = Record(::GetDlgItem(m_hWnd, static_cast<int>(id))); now && now->kind == Kind::PushButton)
        static_cast<QPushButton*>(now->widget)->setDefault(true);
}

void CDialog::SetSizeGrip(BOOL show)
{
    if (WindowRecord* record = Record(m_hWnd); record && record->kind == Kind::Dialog) {
        if (auto* window = dynamic_cast<DialogWindow*>(record->widget))
            window->SetGrip(show != FALSE);
    }
}

platform::gui::DialogBaseUnits CDialog::GetBaseUnits() const
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || record->kind != Kind::Dialog)
        return {};
    return record->units;
}

void CDialog::MapDialogRect(LPRECT rect) const
{
    if (rect)
        *rect = platform::gui::MapDialogRect(*rect, GetBaseUnits());
}

CWnd* CDialog::CreateDlgItem(const platform::DialogControl& control)
{
    WindowRecord* record = Record(m_hWnd);
    if (!record || record->kind != Kind::Dialog)
        return nullptr;
    WindowRecord* created = CreateControl(record, control, record->units);
    ApplyTabOrderAndBuddies(record);
    created->widget->setFont(record->widget->font());
    return FromHandle(Handle(created->widget));
}
