#include "platform/gui/Widgets_qt.h"

#include <QEvent>
#include <QKeySequence>
#include <QPainter>
#include <QShortcutEvent>
#include <QTextLayout>
#include <QtMath>

#include <algorithm>

#include "platform/gui/DisplayText.h"
#include "platform/gui/Gui_qt.h"

namespace platform::gui::qt {

Win32CheckBox::Win32CheckBox(QWidget* parent, DWORD type) : QCheckBox(parent), buttonType(type)
{
    setTristate(type == BS_3STATE || type == BS_AUTO3STATE);
}

void Win32CheckBox::nextCheckState()
{
    if (buttonType == BS_CHECKBOX || buttonType == BS_3STATE)
        return; // the owner decides
    switch (checkState()) {
    case Qt::Unchecked:
        setCheckState(Qt::Checked);
        break;
    case Qt::Checked:
        setCheckState(buttonType == BS_AUTO3STATE ? Qt::PartiallyChecked : Qt::Unchecked);
        break;
    case Qt::PartiallyChecked:
        setCheckState(Qt::Unchecked);
        break;
    }
}

Win32RadioButton::Win32RadioButton(QWidget* parent, bool isAutomatic) : QRadioButton(parent), automatic(isAutomatic)
{
    setAutoExclusive(false);
}

void Win32RadioButton::nextCheckState()
{
    if (!automatic)
        return;
    setChecked(true);
    // Clear the other radio buttons of this button's group.
    WindowRecord* self = Record(this);
    WindowRecord* dialog = self ? OwningRecord(parentWidget()) : nullptr;
    if (!dialog)
        return;
    auto& controls = dialog->controls;
    int index = -1;
    for (size_t i = 0; i < controls.size(); ++i) {
        if (controls[i] == this)
            index = static_cast<int>(i);
    }
    if (index < 0)
        return;
    int first = index;
    while (first > 0) {
        WindowRecord* r = Record(controls[static_cast<size_t>(first)].data());
        if (r && (r->style & WS_GROUP))
            break;
        --first;
    }
    for (size_t i = static_cast<size_t>(first); i < controls.size(); ++i) {
        WindowRecord* r = Record(controls[i].data());
        if (static_cast<int>(i) > first && r && (r->style & WS_GROUP))
            break;
        if (auto* radio = dynamic_cast<Win32RadioButton*>(controls[i].data()); radio && radio != this)
            radio->setChecked(false);
    }
}

StaticText::StaticText(QWidget* parent, DWORD style) : QFrame(parent), m_style(style)
{
    setFocusPolicy(Qt::NoFocus);
    if (style & SS_SUNKEN)
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

void StaticText::SetText(const CString& text, bool fromTemplate)
{
    m_text = ToQ(DisplaySafeText(text, true));
    if (m_shortcutId) {
        releaseShortcut(m_shortcutId);
        m_shortcutId = 0;
    }
    m_mnemonic = fromTemplate && !(m_style & SS_NOPREFIX) && m_text.contains(u'&');
    if (m_mnemonic) {
        const QKeySequence key = QKeySequence::mnemonic(m_text);
        if (!key.isEmpty())
            m_shortcutId = grabShortcut(key);
    }
    update();
}

bool StaticText::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut && static_cast<QShortcutEvent*>(event)->shortcutId() == m_shortcutId) {
        if (m_buddy && m_buddy->isEnabled())
            m_buddy->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    return QFrame::event(event);
}

namespace {

// "&&" -> "&", "&x" -> "x": the text without its mnemonic marks.
QString StripMnemonics(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

} // namespace

QSize StaticText::SizeForWidth(int width) const
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    int height = 0;
    int widest = 0;
    for (const QString& paragraph : m_text.split(u'\n')) {
        QTextLayout layout(paragraph, font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(width);
            height += qRound(line.height());
            widest = std::max(widest, qCeil(line.naturalTextWidth()));
        }
        layout.endLayout();
    }
    const QMargins m = contentsMargins();
    return QSize(widest + m.left() + m.right(), height + m.top() + m.bottom());
}

int StaticText::NaturalWidth() const
{
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& paragraph : m_text.split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(paragraph));
    return widest;
}

QString StaticText::ShownText() const
{
    return LayoutText(contentsRect().width());
}

QString StaticText::LayoutText(int width) const
{
    const QString plain = m_mnemonic ? StripMnemonics(m_text) : m_text;
    const DWORD ellipsis = m_style & SS_ELLIPSISMASK;
    if (!ellipsis)
        return plain;
    QString line = plain;
    line.replace(u'\n', u' ');
    const QFontMetrics metrics(font());
    if (ellipsis == SS_PATHELLIPSIS) {
        const CString fitted = PathEllipsisText(FromQ(line), width,
                                                [&metrics](const CString& t) { return metrics.horizontalAdvance(ToQ(t)); });
        return ToQ(fitted);
    }
    return metrics.elidedText(line, Qt::ElideRight, width);
}

void StaticText::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const DWORD type = m_style & SS_TYPEMASK;
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (type == SS_CENTER)
        horizontal = Qt::AlignHCenter;
    else if (type == SS_RIGHT)
        horizontal = Qt::AlignRight;
    const bool singleLine = (m_style & SS_ELLIPSISMASK) || type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE ||
                            (m_style & SS_CENTERIMAGE);
    if (singleLine) {
        const QString shown = LayoutText(area.width());
        const Qt::Alignment vertical = (m_style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
        int flags = static_cast<int>(horizontal | vertical) | Qt::TextSingleLine;
        if (m_mnemonic && !(m_style & SS_ELLIPSISMASK)) {
            painter.drawText(area, flags | Qt::TextShowMnemonic, m_text);
            return;
        }
        painter.drawText(area, flags, shown);
        return;
    }
    // Wrapped text: at word boundaries, and inside a word only when the word
    // alone is wider than the label; lines beyond the bottom are clipped.
    const QString text = m_mnemonic ? StripMnemonics(m_text) : m_text;
    QTextOption option(horizontal);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QFont font = this->font();
    int y = area.top();
    const QStringList paragraphs = text.split(u'\n');
    for (const QString& paragraph : paragraphs) {
        QTextLayout layout(paragraph, font, this);
        layout.setTextOption(option);
        if (m_mnemonic) {
            // Underline the mnemonic letter of the template text.
            const qsizetype mark = m_text.indexOf(u'&');
            if (mark >= 0 && mark + 1 < m_text.size() && m_text[mark + 1] != u'&') {
                QTextLayout::FormatRange range;
                range.start = static_cast<int>(StripMnemonics(m_text.left(mark)).size());
                range.length = 1;
                range.format.setFontUnderline(true);
                if (paragraphs.size() == 1)
                    layout.setFormats({range});
            }
        }
        layout.beginLayout();
        int lineY = 0;
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(area.width());
            line.setPosition(QPointF(0, lineY));
            lineY += qRound(line.height());
        }
        layout.endLayout();
        layout.draw(&painter, QPointF(area.left(), y));
        y += lineY;
        if (y > area.bottom())
            break;
    }
}

} // namespace platform::gui::qt
