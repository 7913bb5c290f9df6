// CButton: push buttons, check boxes (two- and three-state), radio buttons
// and group boxes of a dialog. Attach with DDX_Control or SubclassDlgItem.
//
//   m_save.SetCheck(BST_CHECKED);
//   if (m_save.GetCheck() == BST_INDETERMINATE) ...
//
// A click by the user sends BN_CLICKED to the parent (MapClicked) after an
// automatic box has moved to its next state: unchecked -> checked ->
// (three-state boxes: indeterminate ->) unchecked. SetCheck notifies nobody.
#pragma once

#include "platform/gui/Wnd.h"

class CButton : public CWnd {
public:
    // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE; 0 for a push button.
    int GetCheck() const;
    // BST_INDETERMINATE on a two-state box is shown as checked.
    void SetCheck(int check);
    // The button type (BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, ...).
    UINT GetButtonStyle() const;
    // Switches between BS_PUSHBUTTON and BS_DEFPUSHBUTTON (other types are
    // only recorded).
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);
    // Presses the button as a click of the user would (BM_CLICK).
    void Click();
};
