// CDialog: a dialog built from a template of the resource module, in the
// shape of the MFC class.
//
//   class CMyDlg : public CDialog {
//   public:
//       CMyDlg() : CDialog(IDD_MY) { MapClicked(IDC_REMOVE, &CMyDlg::OnRemove); }
//   protected:
//       void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_LIST, m_list); }
//       BOOL OnInitDialog() override { CDialog::OnInitDialog(); ...; return TRUE; }
//       void OnOK() override { if (valid) CDialog::OnOK(); }   // else stay open
//       void OnRemove() { ... }
//       CListCtrl m_list;
//   };
//   CMyDlg dlg;
//   if (dlg.DoModal() == IDOK) ...
//
// The template's dialog units become pixels by the base units of the
// template's font (see DialogUnits.h); "MS Shell Dlg" and the other Windows
// dialog fonts are mapped to the desktop's sans-serif font of the same size.
// Every control is created with its id, class, text, style bits and
// position; tab order is template order; Enter presses the focused push
// button, else the default button (IDOK when there is none); Escape sends
// IDCANCEL; the close box sends WM_CLOSE (OnClose), which by default ends
// the dialog with IDCANCEL. A template whose position is (0, 0) is centred
// on its owner or the screen.
#pragma once

#include "platform/Resources.h"
#include "platform/gui/DialogUnits.h"
#include "platform/gui/Wnd.h"

class CDataExchange;

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog();
    // A dialog on template `templateId` of the resource chain.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    // A template by name: MAKEINTRESOURCE-style ids and "#123" name ids.
    CDialog(const char16_t* templateName, CWnd* parent = nullptr);
    ~CDialog() override;

    // Uses a template given in memory (a decoded or hand-made one) instead
    // of one of the resource chain; its `id` is what automation sees.
    BOOL InitModalIndirect(const platform::DialogTemplate& dialogTemplate, CWnd* parent = nullptr);

    // Creates the window, runs OnInitDialog, shows the dialog (unless
    // started hidden) and runs a modal event loop until EndDialog; then
    // destroys the window and returns EndDialog's result. -1 when the
    // template is missing or no window can be shown in this process.
    virtual INT_PTR DoModal();
    // Ends a modal dialog with `result` once control returns to its loop
    // (at once when called from a handler; after OnInitDialog when called
    // there, without showing the window). A modeless dialog is hidden.
    void EndDialog(int result);

    // Creates the dialog modeless (visible if the template says so); the
    // caller destroys it with DestroyWindow. FALSE when it cannot.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL CreateIndirect(const platform::DialogTemplate& dialogTemplate, CWnd* parent = nullptr);

    // Runs DoModal without showing the window: it exists, runs its timers and
    // receives messages until ShowWindow(SW_SHOW) shows it or EndDialog ends it.
    void SetStartHidden(bool hidden) { m_startHidden = hidden; }
    bool GetStartHidden() const { return m_startHidden; }

    // Data exchange between members and controls (see the DDX_ functions).
    // FALSE when a DDX_ function failed validation (CDataExchange::Fail).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Focus moves as Tab and Shift+Tab would, or to one control.
    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void GotoDlgCtrl(CWnd* control);
    // The default push button's id (DM_GETDEFID): the high word is DC_HASDEFID.
    DWORD GetDefID() const;
    void SetDefID(UINT id);

    // Converts dialog units of this dialog's font to pixels.
    void MapDialogRect(LPRECT rect) const;
    platform::gui::DialogBaseUnits GetBaseUnits() const;

    UINT GetTemplateId() const { return m_templateId; }
    // The template the dialog was (or will be) built from; false when missing.
    bool GetTemplate(platform::DialogTemplate& out) const;
    // The result passed to EndDialog (valid after it was called).
    int GetResult() const { return m_result; }
    bool IsModal() const { return m_modal; }

    // Shows or hides a size grip in the bottom-right corner of the client
    // area (resizable dialogs); it stays in the corner as the dialog resizes.
    void SetSizeGrip(BOOL show);

    // Creates one more control at run time, from a control description in
    // dialog units, after the existing ones in tab order. Returns it, or null.
    CWnd* CreateDlgItem(const platform::DialogControl& control);

protected:
    // After the controls exist, before the dialog shows. The default
    // exchanges data (UpdateData(FALSE)) and returns TRUE: the focus then
    // goes to the first control in tab order. Return FALSE after placing the
    // focus yourself.
    virtual BOOL OnInitDialog();
    // IDOK: the default exchanges data back (UpdateData(TRUE)) and ends
    // the dialog with IDOK; stays open when that fails.
    virtual void OnOK();
    // IDCANCEL: ends the dialog with IDCANCEL.
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX);

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

public:
    // The framework's entries from its window realisation. Not for application code.
    BOOL HandleInitDialog();
    void EndDialogLoopForDestroy();

private:
    BOOL CreateWindowFromTemplate(bool modal);
    void DestroyDialogWindow();

    UINT m_templateId = 0;
    bool m_haveIndirect = false;
    platform::DialogTemplate m_indirect;
    CWnd* m_parent = nullptr;
    bool m_startHidden = false;
    bool m_modal = false;
    bool m_ended = false;
    int m_result = 0;
    void* m_loop = nullptr; // the running modal loop of the realisation
};

// Data exchange context of CDialog::DoDataExchange.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    // TRUE: controls to members (validating); FALSE: members to controls.
    BOOL m_bSaveAndValidate;
    CDialog* m_pDlgWnd;
    // The control `id` for the exchange; remembered for Fail.
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id) { return PrepareCtrl(id); }
    // Ends the exchange as failed (UpdateData returns FALSE) after putting
    // the focus on the last prepared control.
    [[noreturn]] void Fail();

private:
    HWND m_lastControl = nullptr;
};

// Attaches `control` to the dialog's control `id` (once; later calls do nothing).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// The control's text.
void DDX_Text(CDataExchange* pDX, int id, CString& value);
// A decimal number in an edit; a text that is not one fails validation.
void DDX_Text(CDataExchange* pDX, int id, int& value);
// Check state of a check box (BST_ values).
void DDX_Check(CDataExchange* pDX, int id, int& value);
// Index of the selected entry of a combo box (-1 for none).
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
// Text of a combo box (saving: its edit text or the selected entry).
void DDX_CBString(CDataExchange* pDX, int id, CString& value);
// Which of a group of radio buttons is checked, counted from the one with
// `id` (-1 for none).
void DDX_Radio(CDataExchange* pDX, int id, int& value);
