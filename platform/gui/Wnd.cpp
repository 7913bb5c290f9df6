// The toolkit-neutral part of CWnd: the message map and the dispatch of
// messages to the virtual handlers.
#include "platform/gui/Wnd.h"

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const
{
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass) {
        if (c == base)
            return TRUE;
    }
    return FALSE;
}

const CRuntimeClass* CWnd::GetThisClass()
{
    static const CRuntimeClass info{"CWnd", static_cast<int>(sizeof(CWnd)), nullptr};
    return &info;
}

const CRuntimeClass* CWnd::GetRuntimeClass() const
{
    return GetThisClass();
}

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_hWnd)
        Detach();
}

void CWnd::MapCommand(UINT id, UINT code, CommandHandler handler)
{
    m_commands[{id, code}] = std::move(handler);
}

void CWnd::MapNotify(UINT id, UINT code, NotifyHandler handler)
{
    m_notifies[{id, code}] = std::move(handler);
}

void CWnd::MapMessage(UINT message, MessageHandler handler)
{
    m_messages[message] = std::move(handler);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    auto mapped = m_messages.find(message);
    if (mapped != m_messages.end() && mapped->second) {
        // Copied: the handler may remap itself while it runs.
        MessageHandler handler = mapped->second;
        return handler(wParam, lParam);
    }
    switch (message) {
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        break;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (OnNotify(wParam, lParam, &result))
            return result;
        break;
    }
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM)
{
    auto it = m_commands.find({LOWORD(wParam), HIWORD(wParam)});
    if (it == m_commands.end() || !it->second)
        return FALSE;
    CommandHandler handler = it->second;
    handler();
    return TRUE;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result)
{
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header)
        return FALSE;
    auto it = m_notifies.find({static_cast<UINT>(header->idFrom), header->code});
    if (it == m_notifies.end() || !it->second)
        return FALSE;
    NotifyHandler handler = it->second;
    LRESULT local = 0;
    handler(header, result ? result : &local);
    return TRUE;
}

void CWnd::PreSubclassWindow() {}
void CWnd::OnTimer(UINT_PTR) {}
void CWnd::OnSize(UINT, int, int) {}
void CWnd::OnDestroy() {}
void CWnd::OnGetMinMaxInfo(MINMAXINFO*) {}
void CWnd::PostNcDestroy() {}

void CWnd::OnClose()
{
    DefWindowProc(WM_CLOSE, 0, 0);
}

INT_PTR CWnd::OnToolHitTest(CPoint, TOOLINFO*) const
{
    return -1;
}

CString CWnd::GetToolTipText(UINT_PTR) const
{
    return CString();
}

void CWnd::HandleWindowGone()
{
    if (!m_hWnd)
        return;
    WindowProc(WM_DESTROY, 0, 0);
    Detach();
    PostNcDestroy();
}

CString CWnd::GetWindowText() const
{
    CString text;
    GetWindowText(text);
    return text;
}

CString CWnd::GetDlgItemText(int id) const
{
    CString text;
    GetDlgItemText(id, text);
    return text;
}

UINT CWnd::GetDlgItemText(int id, CString& text) const
{
    text.Empty();
    if (CWnd* item = GetDlgItem(id))
        item->GetWindowText(text);
    return static_cast<UINT>(text.GetLength());
}

void CWnd::SetDlgItemText(int id, const CString& text)
{
    if (CWnd* item = GetDlgItem(id))
        item->SetWindowText(text);
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* item = GetDlgItem(id);
    return item ? item->SendMessage(message, wParam, lParam) : 0;
}

void CWnd::CheckRadioButton(int firstId, int lastId, int checkId)
{
    for (int id = firstId; id <= lastId; ++id)
        CheckDlgButton(id, id == checkId ? BST_CHECKED : BST_UNCHECKED);
}

int CWnd::GetCheckedRadioButton(int firstId, int lastId) const
{
    for (int id = firstId; id <= lastId; ++id) {
        if (IsDlgButtonChecked(id) == BST_CHECKED)
            return id;
    }
    return 0;
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint)
{
    if (rect)
        MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}
