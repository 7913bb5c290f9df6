// CEdit: an edit control of a dialog. Its text is CWnd::SetWindowText /
// GetWindowText; a change of the text (by the user or by SetWindowText)
// sends EN_CHANGE to the parent.
#pragma once

#include "platform/gui/Wnd.h"

class CEdit : public CWnd {
public:
    // Selects characters start..end (UTF-16 units); (0, -1) selects all,
    // (-1, 0) removes the selection.
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    // Replaces the selection (or inserts at the caret).
    void ReplaceSel(const CString& text, BOOL canUndo = FALSE);
    // Limits the text to `maxChars` units (0: no limit of ours).
    void SetLimitText(UINT maxChars);
    UINT GetLimitText() const;
    BOOL SetReadOnly(BOOL readOnly = TRUE);
    // A hint shown while the edit is empty.
    BOOL SetCueBanner(const CString& text);
};
