// CWnd: one window of the dialog framework (a dialog or a control of it),
// in the shape of the MFC class: text, enabling, showing, focus, geometry in
// client coordinates, timers, messages, and the dialog-item helpers by id.
//
// Windows come from dialog templates (see Dialog.h); a CWnd object is
// attached to a window to operate on it and to receive its messages:
//
//   CWnd* ok = dlg.GetDlgItem(IDOK);   // any control of a dialog, by id
//   ok->EnableWindow(FALSE);
//   dlg.SetTimer(1, 300);               // OnTimer(1) every 300 ms, also while
//                                       // a nested dialog or message box runs
//
// Messages reach the object's WindowProc, which dispatches them to the
// handlers mapped with MapCommand / MapClicked / MapNotify / MapMessage
// (later mappings win, so a derived class overrides its base) and then to
// the virtual On... functions. Every operation on a window that no longer
// exists does nothing and returns 0, FALSE, nullptr or an empty value.
// All functions must be called on the user-interface thread; see
// platform/gui/Gui.h for the way in from other threads.
#pragma once

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "platform/CString.h"
#include "platform/gui/GuiTypes.h"

class CWnd;

// Run-time class information in the shape of MFC's: a class's name, size
// and base, reachable from any object (GetRuntimeClass) and from the class
// (GetThisClass / RUNTIME_CLASS).
//   class CMyDlg : public CDialog { DECLARE_DYNAMIC(CMyDlg) ... };
//   IMPLEMENT_DYNAMIC(CMyDlg, CDialog)      // in the .cpp
struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    const CRuntimeClass* m_pBaseClass;
    // Whether this class is `base` or derives from it.
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};
#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())
#define DECLARE_DYNAMIC(class_name) \
public: \
    static const CRuntimeClass* GetThisClass(); \
    const CRuntimeClass* GetRuntimeClass() const override;
#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    const CRuntimeClass* class_name::GetThisClass() \
    { \
        static const CRuntimeClass info{#class_name, static_cast<int>(sizeof(class_name)), \
                                        base_class_name::GetThisClass()}; \
        return &info; \
    } \
    const CRuntimeClass* class_name::GetRuntimeClass() const { return GetThisClass(); }

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The window this object is attached to; null before creation and after
    // destruction.
    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    static const CRuntimeClass* GetThisClass();
    virtual const CRuntimeClass* GetRuntimeClass() const;
    BOOL IsKindOf(const CRuntimeClass* type) const { return GetRuntimeClass()->IsDerivedFrom(type); }
    operator HWND() const { return m_hWnd; }

    // ---- attaching objects to windows ------------------------------------------------
    // The object attached to `hwnd`, or else a wrapper owned by the framework
    // that lives as long as the window. Null for a null or dead handle.
    static CWnd* FromHandle(HWND hwnd);
    // Only an attached object; null otherwise.
    static CWnd* FromHandlePermanent(HWND hwnd);
    // Attaches this object to a window (SubclassDlgItem: to a control of a
    // dialog): from then on the window's messages reach this object. FALSE
    // when the window does not exist or already has an object attached.
    BOOL Attach(HWND hwnd);
    BOOL SubclassWindow(HWND hwnd) { return Attach(hwnd); }
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND Detach();
    HWND UnsubclassWindow() { return Detach(); }

    // ---- identity and relations -------------------------------------------------------
    int GetDlgCtrlID() const;
    // The window class: "#32770" for a dialog, else the template's class
    // ("Button", "Static", "Edit", "ComboBox", "SysListView32", ...).
    CString GetWindowClassName() const;
    CWnd* GetParent() const;
    CWnd* GetOwner() const { return GetParent(); }
    // The control `id` of this window (the first in template order), or null.
    CWnd* GetDlgItem(int id) const;
    // Siblings in z-order (template order) and the first child: GW_HWNDNEXT,
    // GW_HWNDPREV, GW_HWNDFIRST, GW_HWNDLAST, GW_CHILD, GW_OWNER.
    CWnd* GetWindow(UINT relation) const;
    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    // Changes style bits; the ones a realisation can follow at run time
    // (WS_VISIBLE, WS_DISABLED, WS_TABSTOP, ES_READONLY, the resizable frame)
    // take effect at once, the others are only recorded.
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);

    // ---- text ---------------------------------------------------------------------------
    // Sets the window's text: a dialog's title, a control's caption or
    // content. Shown as written ("%" and everything else), with control
    // characters made visible; "&" marks a mnemonic on buttons and on labels
    // that name the control after them.
    void SetWindowText(const CString& text);
    void GetWindowText(CString& text) const;
    CString GetWindowText() const;
    int GetWindowTextLength() const;

    // ---- state --------------------------------------------------------------------------
    // Returns whether the window was disabled before (as Windows does).
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    // SW_HIDE, SW_SHOW, SW_SHOWNORMAL, SW_SHOWNA, SW_MINIMIZE, SW_MAXIMIZE,
    // SW_RESTORE, ... Returns whether the window was visible before.
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    BOOL IsZoomed() const;
    // Gives this window the keyboard focus; returns the window that had it.
    CWnd* SetFocus();
    // The window with the keyboard focus (of the active window, or of the
    // innermost modal dialog when no window is active), or null.
    static CWnd* GetFocus();
    BOOL DestroyWindow();

    // ---- geometry ---------------------------------------------------------------------
    // The window's rectangle in screen coordinates (a dialog: its frame).
    void GetWindowRect(LPRECT rect) const;
    // The client area: (0, 0, width, height).
    void GetClientRect(LPRECT rect) const;
    void ClientToScreen(LPPOINT point) const;
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const;
    void ScreenToClient(LPRECT rect) const;
    // Moves and sizes the window; a control in its parent's client
    // coordinates, a dialog in screen coordinates (its frame).
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    // SWP_NOMOVE, SWP_NOSIZE, SWP_NOZORDER, SWP_SHOWWINDOW, SWP_HIDEWINDOW
    // are followed; `insertAfter` is ignored (z-order is template order).
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    // Centres a dialog on its owner (or the screen).
    void CenterWindow(CWnd* alternateOwner = nullptr);
    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void UpdateWindow();
    // FALSE stops repainting (and, for lists, view updates) until TRUE.
    void SetRedraw(BOOL redraw = TRUE);

    // ---- messages and timers ---------------------------------------------------------------
    // Delivers a message to the attached object's WindowProc at once and
    // returns its result (0 when no object is attached).
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Queues the message for the user-interface thread's event loop.
    // Callable from any thread. FALSE when the window does not exist.
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Starts (or restarts) timer `id`: WM_TIMER / OnTimer(id) every `elapse`
    // milliseconds until KillTimer, delivered by whatever event loop runs,
    // also while the window is hidden. Returns `id`, 0 on failure.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, void* unused = nullptr);
    BOOL KillTimer(UINT_PTR id);

    // ---- icons, colours, tool tips -------------------------------------------------------------
    // Sets the window's icon (ICON_BIG or ICON_SMALL); returns the previous one.
    HICON SetIcon(HICON icon, BOOL big);
    HICON GetIcon(BOOL big) const;
    // Text and background colour of a control (labels, check boxes, edits).
    // CLR_DEFAULT_ALL_BITS returns to the system colour.
    void SetTextColor(COLORREF color);
    void SetBackgroundColor(COLORREF color);
    // Tool tips: when enabled, hovering asks OnToolHitTest and GetToolTipText.
    BOOL EnableToolTips(BOOL enable = TRUE);
    // The size of a one-line text in the window's font, "&" marks removed as
    // a caption shows them (DrawText with DT_CALCRECT | DT_SINGLELINE).
    CSize GetTextExtent(const CString& text) const;

    // ---- controls of this window by id -----------------------------------------------------
    void SetDlgItemText(int id, const CString& text);
    UINT GetDlgItemText(int id, CString& text) const;
    CString GetDlgItemText(int id) const;
    // Check states BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE.
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    // Checks `checkId` and clears the other radio buttons from first to last.
    void CheckRadioButton(int firstId, int lastId, int checkId);
    int GetCheckedRadioButton(int firstId, int lastId) const;
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // ---- message dispatch -----------------------------------------------------------------
    // Message handling entry: mapped handlers first, then the virtual
    // handlers below, then DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default handling: WM_CLOSE ends a dialog with IDCANCEL (through
    // WM_COMMAND) or destroys another window; everything else returns 0.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called by Attach once the object is attached to its window: the place
    // for a control class to set itself up on the window it takes over.
    virtual void PreSubclassWindow();

    // A tool tip asks which tool lies under `point` (client coordinates):
    // return its id and fill `info`, or -1 for none. Default: -1.
    virtual INT_PTR OnToolHitTest(CPoint point, TOOLINFO* info) const;
    // The text of tool `id` (found by OnToolHitTest). Default: empty.
    virtual CString GetToolTipText(UINT_PTR id) const;

protected:
    // WM_COMMAND: runs the command handler mapped for (id, code); FALSE when
    // there is none.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // WM_NOTIFY: runs the handler mapped for (idFrom, code); FALSE when none.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual void OnTimer(UINT_PTR id);
    // WM_SIZE with SIZE_RESTORED, SIZE_MINIMIZED, SIZE_MAXIMIZED (SIZE_MAXSHOW
    // and SIZE_MAXHIDE only when sent) and the new client size.
    virtual void OnSize(UINT type, int cx, int cy);
    // WM_CLOSE (the close box, Alt+F4): the default closes (a dialog with
    // IDCANCEL); an override that does not call it refuses to close.
    virtual void OnClose();
    // WM_DESTROY, while the window and its controls still exist.
    virtual void OnDestroy();
    // WM_GETMINMAXINFO: asked after OnInitDialog and on UpdateSizeLimits;
    // fill ptMinTrackSize / ptMaxTrackSize (outer sizes) to limit resizing.
    virtual void OnGetMinMaxInfo(MINMAXINFO* info);
    // After the window is gone and this object detached.
    virtual void PostNcDestroy();

public:
    // Asks OnGetMinMaxInfo again and applies the limits to the window.
    void UpdateSizeLimits();

    // ---- mapping handlers (the message map) ---------------------------------------------------
    using CommandHandler = std::function<void()>;
    using NotifyHandler = std::function<void(NMHDR*, LRESULT*)>;
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;

    // WM_COMMAND from control `id` with notification `code`.
    void MapCommand(UINT id, UINT code, CommandHandler handler);
    // BN_CLICKED of a button (push button, check box, radio button).
    void MapClicked(UINT id, CommandHandler handler) { MapCommand(id, BN_CLICKED, std::move(handler)); }
    // WM_NOTIFY from control `id` with code `code` (NM_DBLCLK, LVN_ITEMCHANGED, ...).
    void MapNotify(UINT id, UINT code, NotifyHandler handler);
    // Any message, registered ones included (RegisterWindowMessageW).
    void MapMessage(UINT message, MessageHandler handler);

    // The same with member functions of the derived class:
    //   MapClicked(IDC_REMOVE, &CMyDlg::OnRemove);
    template <class T>
    void MapCommand(UINT id, UINT code, void (T::*fn)())
    {
        T* self = static_cast<T*>(this);
        MapCommand(id, code, CommandHandler([self, fn] { (self->*fn)(); }));
    }
    template <class T>
    void MapClicked(UINT id, void (T::*fn)())
    {
        MapCommand(id, BN_CLICKED, fn);
    }
    template <class T>
    void MapNotify(UINT id, UINT code, void (T::*fn)(NMHDR*, LRESULT*))
    {
        T* self = static_cast<T*>(this);
        MapNotify(id, code, NotifyHandler([self, fn](NMHDR* n, LRESULT* r) { (self->*fn)(n, r); }));
    }
    template <class T>
    void MapMessage(UINT message, LRESULT (T::*fn)(WPARAM, LPARAM))
    {
        T* self = static_cast<T*>(this);
        MapMessage(message, MessageHandler([self, fn](WPARAM w, LPARAM l) { return (self->*fn)(w, l); }));
    }

    // Called by the framework when the window is being destroyed: delivers
    // WM_DESTROY, then detaches. Not for application code.
    void HandleWindowGone();

private:
    std::map<std::pair<UINT, UINT>, CommandHandler> m_commands;
    std::map<std::pair<UINT, UINT>, NotifyHandler> m_notifies;
    std::map<UINT, MessageHandler> m_messages;
};

#ifndef _WIN32 // on Windows these are the system's own

// The window `id` of the parent window `dialog`, or null.
HWND GetDlgItem(HWND dialog, int id);
// Whether the handle names a live window of the framework.
BOOL IsWindow(HWND hwnd);
// Posts to a window of this process by handle (see CWnd::PostMessage);
// callable from any thread.
BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// A message number unique to `name` in this process (0xC000 to 0xFFFF; the
// same name, in any case, gives the same number). 0 when the range is full.
UINT RegisterWindowMessageW(const char16_t* name);

// System colours (COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_BTNFACE, ...) of the
// running toolkit's palette, or the Windows defaults before there is one.
COLORREF GetSysColor(int index);
// System metrics (SM_CXVSCROLL, SM_CYHSCROLL, SM_CXSCREEN, ...).
int GetSystemMetrics(int index);
// The base units of the system's dialog font ("MS Shell Dlg" 8 as mapped
// here): width in the low word, height in the high word.
LONG GetDialogBaseUnits();

#endif
