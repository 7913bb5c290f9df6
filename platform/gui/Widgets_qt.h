// Private to the Qt realisation: the widgets that give template controls
// their Windows behaviour where Qt's own differ (check-box cycling, radio
// groups by WS_GROUP, labels with Windows wrapping and ellipsis rules).
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QRadioButton>

#include "platform/CString.h"
#include "platform/gui/GuiTypes.h"

namespace platform::gui::qt {

// A check box whose user clicks move the state as Windows does:
// unchecked -> checked -> indeterminate (three-state only) -> unchecked;
// a non-automatic box (BS_CHECKBOX, BS_3STATE) does not change by itself.
class Win32CheckBox : public QCheckBox {
public:
    Win32CheckBox(QWidget* parent, DWORD buttonType);
    DWORD buttonType;

protected:
    void nextCheckState() override;
};

// A radio button grouped as Windows groups them: from the nearest control
// with WS_GROUP at or before it to the next one with WS_GROUP.
class Win32RadioButton : public QRadioButton {
public:
    Win32RadioButton(QWidget* parent, bool automatic);
    bool automatic;

protected:
    void nextCheckState() override;
};

// A label drawn by the rules of a Windows static control: left, centred or
// right; word-wrapped unless SS_LEFTNOWORDWRAP / SS_SIMPLE; one line with
// "..." at the end (SS_ENDELLIPSIS, SS_WORDELLIPSIS) or in the middle of a
// path (SS_PATHELLIPSIS); vertically centred with SS_CENTERIMAGE. A word
// longer than the width breaks where it must. "&" marks a mnemonic only in
// the template's own text; texts set later show "&" as written.
class StaticText : public QFrame {
public:
    StaticText(QWidget* parent, DWORD style);
    void SetText(const CString& text, bool fromTemplate);
    // What the label shows now (ellipsis applied, mnemonic marks removed).
    QString ShownText() const;
    // The control that gets the focus from this label's mnemonic.
    void SetBuddy(QWidget* buddy) { m_buddy = buddy; }
    // The size the wrapped text needs at `width` pixels (word-wrapping
    // styles; one line otherwise).
    QSize SizeForWidth(int width) const;
    // The width of the text's longest line, unwrapped.
    int NaturalWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QString LayoutText(int width) const;
    DWORD m_style;
    QString m_text;      // display-safe text
    bool m_mnemonic = false;
    int m_shortcutId = 0;
    QWidget* m_buddy = nullptr;
};

} // namespace platform::gui::qt
