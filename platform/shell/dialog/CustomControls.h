// The controls an application adds to a file dialog (IFileDialogCustomize):
// visual groups, check buttons, push buttons, texts, separators, edit boxes,
// combo boxes, radio button lists, menus and the drop-down of the OK button,
// each with its label, state (enabled, visible) and, where it has them,
// check state, text, items and selected item. The rules and error codes are
// those of the Windows dialog; the window that shows the controls follows
// every change through the listener.
#pragma once

#include <functional>
#include <vector>

#include "platform/CString.h"
#include "platform/shell/FileDialogApi.h"

namespace platform {

class CCustomControls {
public:
    enum EKind {
        eVisualGroup,
        eCheckButton,
        ePushButton,
        eText,
        eSeparator,
        eEditBox,
        eComboBox,
        eRadioButtonList,
        eMenu,
        eOpenDropDown,
    };

    struct SItem {
        DWORD id = 0;
        CString label;
        CDCONTROLSTATEF state = CDCS_ENABLEDVISIBLE;
    };

    struct SControl {
        DWORD id = 0;
        EKind kind = eText;
        CString label;        // button text, text, group or menu label, edit box label
        CString text;         // an edit box's content
        CDCONTROLSTATEF state = CDCS_ENABLEDVISIBLE;
        bool checked = false; // check buttons
        std::vector<SItem> items;
        bool hasSelection = false; // combo boxes, radio lists: an item is selected;
        DWORD selected = 0;        // menus, drop-down: an item was chosen
        bool inGroup = false;
        DWORD group = 0;           // the visual group holding the control
    };

    // Called after every change of a control (its id), so that a shown
    // window can follow.
    using Listener = std::function<void(DWORD id)>;
    void SetListener(Listener listener) { m_listener = std::move(listener); }

    // While locked (the dialog is shown) no control can be added: E_UNEXPECTED.
    void SetLocked(bool locked) { m_locked = locked; }

    // ---- IFileDialogCustomize -------------------------------------------------------------------
    HRESULT EnableOpenDropDown(DWORD id);
    HRESULT AddMenu(DWORD id, LPCWSTR label);
    HRESULT AddPushButton(DWORD id, LPCWSTR label);
    HRESULT AddComboBox(DWORD id);
    HRESULT AddRadioButtonList(DWORD id);
    HRESULT AddCheckButton(DWORD id, LPCWSTR label, bool checked);
    HRESULT AddEditBox(DWORD id, LPCWSTR text);
    HRESULT AddSeparator(DWORD id);
    HRESULT AddText(DWORD id, LPCWSTR text);
    HRESULT SetControlLabel(DWORD id, LPCWSTR label);
    HRESULT GetControlState(DWORD id, CDCONTROLSTATEF& state) const;
    HRESULT SetControlState(DWORD id, CDCONTROLSTATEF state);
    HRESULT GetEditBoxText(DWORD id, CString& text) const;
    HRESULT SetEditBoxText(DWORD id, LPCWSTR text);
    HRESULT GetCheckButtonState(DWORD id, bool& checked) const;
    HRESULT SetCheckButtonState(DWORD id, bool checked);
    HRESULT AddControlItem(DWORD id, DWORD item, LPCWSTR label);
    HRESULT RemoveControlItem(DWORD id, DWORD item);
    HRESULT GetControlItemState(DWORD id, DWORD item, CDCONTROLSTATEF& state) const;
    HRESULT SetControlItemState(DWORD id, DWORD item, CDCONTROLSTATEF state);
    HRESULT GetSelectedControlItem(DWORD id, DWORD& item) const;
    HRESULT SetSelectedControlItem(DWORD id, DWORD item);
    HRESULT StartVisualGroup(DWORD id, LPCWSTR label);
    HRESULT EndVisualGroup();
    HRESULT MakeProminent(DWORD id);
    HRESULT SetControlItemText(DWORD id, DWORD item, LPCWSTR label);

    // ---- what the window shows ------------------------------------------------------------------
    // Controls in the order they were added (groups before their members).
    const std::vector<SControl>& Controls() const { return m_controls; }
    const SControl* Find(DWORD id) const;
    // The prominent control (shown beside the OK button), if any.
    bool HasProminent() const { return m_hasProminent; }
    DWORD Prominent() const { return m_prominent; }
    // The drop-down of the OK button, if any.
    const SControl* OpenDropDown() const;

    // ---- the user's input (states change without notifying the listener) --------------------------
    void UserSetChecked(DWORD id, bool checked);
    void UserSetEditText(DWORD id, const CString& text);
    void UserSelectItem(DWORD id, DWORD item);

private:
    SControl* FindMutable(DWORD id);
    HRESULT Add(DWORD id, EKind kind, LPCWSTR label);
    void Changed(DWORD id);

    std::vector<SControl> m_controls;
    bool m_groupOpen = false;
    DWORD m_openGroup = 0;
    bool m_hasProminent = false;
    DWORD m_prominent = 0;
    bool m_locked = false;
    Listener m_listener;
};

} // namespace platform
