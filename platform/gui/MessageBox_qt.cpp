// Real message boxes on Qt: the buttons, icon, default button, Escape and
// close-box rules of Windows message boxes, as a framework window (its
// buttons have the ids of their answers, its text is control 0xFFFF), so
// automation drives it like any dialog.
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <vector>

#include "platform/gui/DisplayText.h"
#include "platform/gui/Gui.h"
#include "platform/gui/Gui_qt.h"
#include "platform/gui/Modal_qt.h"
#include "platform/gui/Widgets_qt.h"

namespace platform::gui::qt {

namespace {

constexpr int kTextId = 0xFFFF; // the text control of a Windows message box
constexpr int kIconId = 20;     // its icon control

struct BoxButton {
    int id;
    const char16_t* caption;
};

std::vector<BoxButton> ButtonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
        return {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}};
    default:
        return {{IDOK, u"OK"}};
    }
}

// The answer of Escape and the close box: Cancel where the box has one,
// OK for an OK-only box, nothing (0) otherwise.
int EscapeAnswer(UINT type)
{
    for (const BoxButton& button : ButtonsOf(type)) {
        if (button.id == IDCANCEL)
            return IDCANCEL;
    }
    return (type & MB_TYPEMASK) == MB_OK ? IDOK : 0;
}

class MessageBoxWindow : public QDialog {
public:
    MessageBoxWindow(QWidget* owner, const CString& text, const CString& caption, UINT type)
        : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             (EscapeAnswer(type) ? Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint
                                                 : Qt::WindowFlags())),
          m_type(type), m_caption(caption), m_text(text)
    {
        auto* record = new WindowRecord(this, Kind::Dialog);
        record->className = u"#32770";
        record->text = caption;
        record->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        setWindowTitle(ToQ(platform::gui::DisplaySafeText(caption)));
        setWindowModality(Qt::ApplicationModal);

        auto* top = new QHBoxLayout;
        top->setSpacing(12);
        QStyle::StandardPixmap icon = QStyle::SP_CustomBase;
        switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            icon = QStyle::SP_MessageBoxCritical;
            break;
        case MB_ICONQUESTION:
            icon = QStyle::SP_MessageBoxQuestion;
            break;
        case MB_ICONWARNING:
            icon = QStyle::SP_MessageBoxWarning;
            break;
        case MB_ICONINFORMATION:
            icon = QStyle::SP_MessageBoxInformation;
            break;
        default:
            break;
        }
        if (icon != QStyle::SP_CustomBase) {
            auto* iconLabel = new QLabel(this);
            iconLabel->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(32, 32));
            iconLabel->setAlignment(Qt::AlignTop);
            auto* iconRecord = new WindowRecord(iconLabel, Kind::Picture);
            iconRecord->id = kIconId;
            iconRecord->className = u"Static";
            iconRecord->style = WS_CHILD | WS_VISIBLE | SS_ICON;
            record->controls.emplace_back(iconLabel);
            top->addWidget(iconLabel, 0, Qt::AlignTop);
        }

        // The text, wrapped to a readable width; a very long text scrolls
        // instead of growing the box beyond the screen.
        auto* label = new StaticText(nullptr, SS_LEFT | SS_NOPREFIX);
        label->setFont(font());
        label->SetText(text, false);
        auto* labelRecord = new WindowRecord(label, Kind::Label);
        labelRecord->id = kTextId;
        labelRecord->className = u"Static";
        labelRecord->text = text;
        labelRecord->templateText = false;
        labelRecord->style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
        const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                               : QRect(0, 0, 1024, 768);
        const int maxWidth = std::max(240, std::min(520, screen.width() * 5 / 8));
        const int width = std::min(maxWidth, std::max(1, label->NaturalWidth()) + 2);
        const QSize needed = label->SizeForWidth(width);
        label->setFixedSize(std::max(width, needed.width()), needed.height());
        const int maxHeight = std::max(120, screen.height() / 2);
        if (needed.height() > maxHeight) {
            auto* scroll = new QScrollArea(this);
            scroll->setFrameShape(QFrame::NoFrame);
            scroll->setWidget(label);
            scroll->setFixedSize(label->width() + scroll->verticalScrollBar()->sizeHint().width() + 2, maxHeight);
            scroll->setFocusPolicy(Qt::NoFocus);
            top->addWidget(scroll);
        } else {
            label->setParent(this);
            top->addWidget(label, 0, Qt::AlignTop);
        }
        record->controls.emplace_back(label);

        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        const std::vector<BoxButton> list = ButtonsOf(type);
        size_t defaultIndex = static_cast<size_t>((type & MB_DEFMASK) >> 8);
        if (defaultIndex >= list.size())
            defaultIndex = 0;
        for (size_t i = 0; i < list.size(); ++i) {
            auto* button = new QPushButton(ToQ(CString(list[i].caption)), this);
            button->setAutoDefault(true);
            button->setMinimumWidth(std::max(button->sizeHint().width(), 88));
            auto* buttonRecord = new WindowRecord(button, Kind::PushButton);
            buttonRecord->id = list[i].id;
            buttonRecord->className = u"Button";
            buttonRecord->text = list[i].caption;
            buttonRecord->style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == defaultIndex ? BS_DEFPUSHBUTTON : 0);
            record->controls.emplace_back(button);
            const int answer = list[i].id;
            connect(button, &QPushButton::clicked, this, [this, answer] { Finish(answer); });
            buttons->addWidget(button);
            if (i == defaultIndex) {
                button->setDefault(true);
                m_default = button;
            }
        }
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(16, 16, 16, 12);
        layout->setSpacing(16);
        layout->addLayout(top);
        layout->addLayout(buttons);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

    int Run()
    {
        show();
        raise();
        activateWindow();
        if (m_default)
            m_default->setFocus(Qt::OtherFocusReason);
        QEventLoop loop;
        m_loop = &loop;
        ModalRun run;
        run.window = this;
        run.isMessageBox = true;
        run.caption = m_caption;
        run.text = m_text;
        run.type = m_type;
        run.ended = [this] { return m_result != 0; };
        run.endByDefault = [this] {
            const int answer = EscapeAnswer(m_type);
            Finish(answer ? answer : ::DefaultMessageBoxButton(m_type));
        };
        StartModal(run);
        if (m_result == 0)
            loop.exec(QEventLoop::DialogExec);
        m_loop = nullptr;
        FinishModal(run, m_result);
        return m_result;
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            if (const int answer = EscapeAnswer(m_type))
                Finish(answer);
            return;
        }
        if (event->matches(QKeySequence::Copy)) {
            // Windows copies the whole box as text.
            QString text = QStringLiteral("---------------------------\n") + ToQ(m_caption) +
                           QStringLiteral("\n---------------------------\n") + ToQ(m_text) +
                           QStringLiteral("\n---------------------------\n");
            for (const BoxButton& button : ButtonsOf(m_type)) {
                QString caption = ToQ(CString(button.caption));
                caption.remove(u'&');
                text += caption + QStringLiteral("   ");
            }
            text += QStringLiteral("\n---------------------------\n");
            if (QClipboard* clipboard = QGuiApplication::clipboard())
                clipboard->setText(text);
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        if (const int answer = EscapeAnswer(m_type))
            Finish(answer);
    }

private:
    void Finish(int answer)
    {
        if (m_result != 0)
            return;
        m_result = answer;
        hide();
        if (m_loop)
            m_loop->quit();
    }

    UINT m_type;
    CString m_caption;
    CString m_text;
    QPushButton* m_default = nullptr;
    QEventLoop* m_loop = nullptr;
    int m_result = 0;
};

} // namespace

} // namespace platform::gui::qt

namespace platform::gui {

int ShowMessageBox(HWND owner, const CString& text, const CString& caption, UINT type)
{
    using namespace platform::gui::qt;
    if (!InitGui() || !IsUiThread())
        return ConsoleMessageBox(caption.IsEmpty() ? text : caption + u": " + text, type);
    QWidget* parent = Widget(owner);
    if (parent)
        parent = parent->window();
    if (!parent)
        parent = QApplication::activeModalWidget();
    if (parent && !parent->isVisible())
        parent = nullptr;
    auto* box = new MessageBoxWindow(parent, text, caption, type);
    const int answer = box->Run();
    delete box;
    return answer;
}

} // namespace platform::gui

int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type)
{
    return platform::gui::ShowMessageBox(owner, CString(text), caption ? CString(caption) : CString(u"Error"), type);
}
