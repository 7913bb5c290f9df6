// Test automation of modal dialogs and message boxes: a test says what to
// do when a dialog template or a message box comes up, and the action then
// drives the real window (real widgets, real events) from inside its modal
// loop. Nothing in production depends on this: without an Automation object
// dialogs and boxes run as usual.
//
//   platform::gui::Automation automation;
//   automation.OnDialog(IDD_KEYSELECTION, [](ModalDriver& d) {
//       d.ListClickCheckBox(IDC_KEYLIST, 0, 0);  // tick the first row
//       d.SavePng(u"keys.png");
//       d.Click(IDOK);                           // may bring up a message box,
//   });                                          // answered by the next action:
//   automation.OnMessageBox([](ModalDriver& d) { d.Answer(IDYES); });
//   EXPECT_EQ(dlg.DoModal(), IDOK);
//   EXPECT_TRUE(automation.Unexpected().empty());
//
// Actions are used once each, in the order registered, matched by template
// id (dialogs) or by kind (message boxes). A dialog or box that comes up
// with no action waiting, or that is still open when its action returns, is
// closed (IDCANCEL, or the box's Escape answer) and recorded in
// Unexpected(), so a test never hangs on a window nobody answers.
#pragma once

#include <functional>
#include <vector>

#include "platform/CString.h"
#include "platform/gui/GuiTypes.h"

class CWnd;

namespace platform::gui {

class ModalDriver {
public:
    virtual ~ModalDriver() = default;

    // What came up.
    virtual HWND Window() const = 0;
    virtual bool IsMessageBox() const = 0;
    virtual UINT TemplateId() const = 0;      // 0 for a message box
    virtual CString Caption() const = 0;      // the window title
    virtual CString MessageText() const = 0;  // a message box's text
    virtual UINT MessageType() const = 0;     // a message box's MB_ bits
    // The CWnd object of the dialog (null for a message box).
    virtual CWnd* Dialog() const = 0;

    // Controls by id (first control of that id in template order).
    virtual bool Exists(int id) const = 0;
    virtual CString Text(int id) const = 0;       // the window text as set
    virtual CString ShownText(int id) const = 0;  // what the control shows (mnemonic marks removed, elided)
    virtual bool IsEnabled(int id) const = 0;
    virtual bool IsVisible(int id) const = 0;
    virtual bool HasFocus(int id) const = 0;
    virtual int Check(int id) const = 0;          // BST_ state of a check box
    virtual CRect Rect(int id) const = 0;         // in the dialog's client coordinates
    virtual CString Focused() const = 0;          // description of the focus control ("Button 1")
    virtual int FocusedId() const = 0;            // id of the focus control, 0 for none

    // User input on real widgets.
    virtual void Click(int id) = 0;                        // mouse press and release on the control
    virtual void Type(int id, const CString& text) = 0;    // focus, select all, type the text
    virtual void ChooseCombo(int id, const CString& entry) = 0; // choose an entry as from the drop-down
    virtual void ChooseComboIndex(int id, int index) = 0;
    virtual int ComboCount(int id) const = 0;
    virtual CString ComboEntry(int id, int index) const = 0;
    virtual int ComboSelection(int id) const = 0;
    virtual void PressKey(UINT virtualKey) = 0;            // to the focus control (VK_RETURN, VK_ESCAPE, VK_TAB, VK_SPACE, ...)
    virtual void PressAltKey(char16_t letter) = 0;         // a mnemonic (Alt + letter)
    virtual void Close() = 0;                              // the window's close box
    virtual void Answer(int buttonId) = 0;                 // a message box's button (IDYES, IDNO, ...)

    // Lists (report views) by control id.
    virtual int ListRowCount(int id) const = 0;
    virtual int ListColumnCount(int id) const = 0;
    virtual CString ListText(int id, int row, int column) const = 0;       // as set
    virtual CString ListShownText(int id, int row, int column) const = 0;  // as shown (made safe)
    virtual CString ListHeading(int id, int column) const = 0;
    virtual CRect ListCellRect(int id, int row, int column) const = 0; // list client coordinates
    virtual void ListClick(int id, int row, int column) = 0;           // mouse click on the cell's centre
    virtual void ListClickAt(int id, CPoint point) = 0;                // mouse click at a point of the list
    virtual void ListDoubleClick(int id, int row, int column) = 0;
    virtual void ListHeaderClick(int id, int column) = 0;
    virtual void ListKey(int id, UINT virtualKey) = 0;                 // focus the list and press a key
    // The tool tip the list shows when the mouse rests on the cell; empty
    // when it shows none.
    virtual CString ListToolTip(int id, int row, int column) = 0;
    virtual bool ListIsSelected(int id, int row) const = 0;

    // Lets the window's event loop run (timers, posted tasks) for a while,
    // or until `condition` holds; false on time-out.
    virtual void Wait(int milliseconds) = 0;
    virtual bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) = 0;

    // Writes what the window shows as a PNG.
    virtual bool SavePng(const CString& path) const = 0;
};

using ModalAction = std::function<void(ModalDriver&)>;

// One dialog or message box that came up while automation was installed.
struct ModalRecord {
    bool isMessageBox = false;
    UINT templateId = 0;
    CString caption;
    CString text;      // a message box's text
    UINT type = 0;     // a message box's MB_ bits
    int result = 0;    // what it returned
    bool handled = false; // an action was waiting for it and closed it
};

class Automation {
public:
    // Installs this object (innermost wins); the destructor removes it.
    Automation();
    ~Automation();
    Automation(const Automation&) = delete;
    Automation& operator=(const Automation&) = delete;

    // The next dialog on template `templateId` runs `action`.
    void OnDialog(UINT templateId, ModalAction action);
    // The next message box runs `action`.
    void OnMessageBox(ModalAction action);
    // The next message box is answered with `buttonId`; its text is recorded.
    void AnswerMessageBox(int buttonId);

    // Every dialog and box that came up, in order of appearance.
    const std::vector<ModalRecord>& Shown() const { return m_shown; }
    // The message box texts shown, in order.
    std::vector<CString> MessageBoxTexts() const;
    // What came up without an action, or stayed open after its action,
    // described one per entry ("message box: <text>", "dialog 201").
    const std::vector<CString>& Unexpected() const { return m_unexpected; }
    // Actions registered but never used.
    int PendingActions() const;

    // Used by the framework. Not for tests.
    static Automation* Current();
    struct Pending {
        bool isMessageBox;
        UINT templateId;
        ModalAction action;
    };
    bool TakeAction(bool isMessageBox, UINT templateId, ModalAction& action);
    size_t Record(const ModalRecord& record);
    void SetResult(size_t index, int result, bool handled);
    void AddUnexpected(const CString& what) { m_unexpected.push_back(what); }

private:
    std::vector<Pending> m_pending;
    std::vector<ModalRecord> m_shown;
    std::vector<CString> m_unexpected;
    Automation* m_previous = nullptr;
};

} // namespace platform::gui
