// Private to the Qt realisation of the dialog framework (and to realisation
// files of controls built on it): the record every framework window carries,
// handle <-> widget mapping, message delivery, text and colour conversion.
#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/CString.h"
#include "platform/gui/DialogUnits.h"
#include "platform/gui/GuiTypes.h"
#include "platform/gui/Wnd.h"

class QTimer;

namespace platform::gui::qt {

enum class Kind {
    Dialog,
    PushButton,
    CheckBox,
    RadioButton,
    GroupBox,
    Label,
    Picture,
    Frame,
    Edit,
    ComboBox,
    ListView,
    Header,
    Progress,
    Other,
};

// What the framework knows of one of its windows. A child QObject of the
// widget, so it goes when the widget goes; while it lives, the widget's
// handle is valid.
class WindowRecord : public QObject {
public:
    WindowRecord(QWidget* widget, Kind kind);
    ~WindowRecord() override;

    QWidget* widget;
    Kind kind;
    int id = 0;
    CString className;
    CString text;           // the text as set (mnemonic marks included)
    bool templateText = true; // a label's text is still the template's own
    DWORD style = 0;
    DWORD exStyle = 0;
    CWnd* attached = nullptr;
    std::unique_ptr<CWnd> wrapper; // FromHandle's object for an unattached window
    std::map<UINT_PTR, QTimer*> timers;
    HICON icons[2] = {nullptr, nullptr};
    bool toolTips = false;
    bool toolTipFilter = false; // the tool tip filter is installed
    COLORREF textColor = CLR_DEFAULT_ALL_BITS;
    COLORREF backColor = CLR_DEFAULT_ALL_BITS;
    // Controls of a dialog in template (z and tab) order.
    std::vector<QPointer<QWidget>> controls;
    bool gone = false; // WM_DESTROY delivered, object detached
    // Dialogs only.
    platform::gui::DialogBaseUnits units;
    UINT defId = IDOK;
    bool shownOnce = false;
    bool positioned = false; // the template gave a position
};

// Handle <-> widget. Record() is null for anything that is not a live
// window of the framework.
inline HWND Handle(const QWidget* widget) { return reinterpret_cast<HWND>(const_cast<QWidget*>(widget)); }
WindowRecord* Record(HWND hwnd);
WindowRecord* Record(const QWidget* widget);
inline QWidget* Widget(HWND hwnd)
{
    WindowRecord* record = Record(hwnd);
    return record ? record->widget : nullptr;
}
// The framework window a widget belongs to (itself or its nearest
// framework ancestor), or null.
WindowRecord* OwningRecord(const QWidget* widget);
// The dialog (top-level framework window) of a window.
WindowRecord* DialogOf(WindowRecord* record);

// Delivers a message to the object attached to `hwnd` (through WindowProc);
// 0 when none. Errors thrown by the handler are shown in a stop box (the
// framework's standard report) and swallowed, as an event loop must.
LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// WM_COMMAND from a control to its dialog.
void NotifyCommand(WindowRecord* control, UINT code);
// WM_NOTIFY from a control to its dialog; fills hdr's sender fields.
LRESULT NotifyParent(WindowRecord* control, NMHDR* header);
// Runs `call` as a message handler: reports what it throws.
void Guarded(const std::function<void()>& call);
// The framework's standard report of an error that escaped a handler.
void ReportHandlerError(const CString& text);

inline QString ToQ(const CString& text)
{
    return QString::fromUtf16(text.GetString(), text.GetLength());
}
inline CString FromQ(const QString& text)
{
    return CString(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<int>(text.size()));
}
inline QColor ToQColor(COLORREF color)
{
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}
inline COLORREF FromQColor(const QColor& color)
{
    return RGB(color.red(), color.green(), color.blue());
}

// Makes (or finds) the record of a widget built by someone else (a file
// dialog's own widgets, a header view), so that it gets a handle.
WindowRecord* Adopt(QWidget* widget, Kind kind, int id, const CString& className);

// The widget's client origin inside the widget (frames excluded): client
// coordinates are widget coordinates minus this.
QPoint ClientOrigin(const QWidget* widget);

// Applies a record's colours to its widget.
void ApplyColours(WindowRecord* record);

// A control's text as shown on screen: for labels, the safe display form;
// for buttons the caption (with "&" as Qt's mnemonic mark).
QString ButtonCaption(const CString& text);

// The dialog font mapped from a template's font (family, point size,
// weight, italic).
class DialogFont;

} // namespace platform::gui::qt
