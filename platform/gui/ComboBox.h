// CComboBox: a combo box of a dialog (drop-down list, drop-down, simple).
// Indexes are 0-based; CB_ERR (-1) reports "none" or a bad index. The user
// choosing an entry sends CBN_SELCHANGE to the parent; SetCurSel and the
// other operations notify nobody.
//
//   int i = m_groups.AddString(u"Friends");   // sorted insert with CBS_SORT
//   m_groups.SetItemData(i, 42);
//   m_groups.SetCurSel(m_groups.FindStringExact(-1, u"Friends"));
#pragma once

#include "platform/gui/Wnd.h"

class CComboBox : public CWnd {
public:
    int GetCount() const;
    int GetCurSel() const;
    // Selects entry `index`; -1 clears the selection (and returns CB_ERR,
    // as does a bad index).
    int SetCurSel(int index);
    // Appends, or with CBS_SORT inserts in order (case-insensitive, before
    // the first greater entry); returns the index.
    int AddString(const CString& text);
    // Inserts at `index` (-1: at the end), never sorted; returns the index.
    int InsertString(int index, const CString& text);
    // Removes entry `index`; returns the remaining count or CB_ERR.
    int DeleteString(UINT index);
    void ResetContent();
    // The first entry after `startAfter` (-1: from the start, wrapping round)
    // that begins with `text` / equals `text`, case-insensitive; CB_ERR if none.
    int FindString(int startAfter, const CString& text) const;
    int FindStringExact(int startAfter, const CString& text) const;
    // FindString, then SetCurSel; the new selection or CB_ERR.
    int SelectString(int startAfter, const CString& text);
    // Entry text; an empty text (and CB_ERR from GetLBTextLen) for a bad index.
    void GetLBText(int index, CString& text) const;
    CString GetLBText(int index) const;
    int GetLBTextLen(int index) const;
    // CB_ERR for a bad index.
    int SetItemData(int index, DWORD_PTR data);
    // CB_ERR (all bits set) for a bad index.
    DWORD_PTR GetItemData(int index) const;
    BOOL GetDroppedState() const;
    void ShowDropDown(BOOL show = TRUE);
    // The text of the edit part (drop-down and simple combos).
    void SetEditText(const CString& text) { SetWindowText(text); }
};
