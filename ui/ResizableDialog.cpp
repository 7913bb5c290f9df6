#include "ui/ResizableDialog.h"

void CResizableDialog::UpdateGripRect()
{
    CRect client;
    GetClientRect(client);
    m_rcGripRect = CRect(client.right - m_szGripSize.cx, client.bottom - m_szGripSize.cy, client.right, client.bottom);
}

BOOL CResizableDialog::OnInitDialog()
{
    COrvDialogEx::OnInitDialog();
    m_szGripSize = CSize(GetSystemMetrics(SM_CXVSCROLL), GetSystemMetrics(SM_CYHSCROLL));
    UpdateGripRect();
    CRect frame;
    GetWindowRect(frame);
    m_ptMinTrackSize = frame.Size();
    SetSizeGrip(m_bShowGrip);
    m_bInitDone = 1;
    UpdateSizeLimits();
    return TRUE;
}

void CResizableDialog::AddAnchor(HWND control, CSize topLeft, CSize bottomRight)
{
    CWnd* wnd = CWnd::FromHandle(control);
    if (!wnd)
        return;
    SLayout item;
    item.hwnd = control;
    CString cls = wnd->GetWindowClassName();
    cls.MakeUpper();
    const DWORD style = wnd->GetStyle();
    if (cls == u"BUTTON" && (style & 0x7))
        wnd->ModifyStyle(0, WS_CLIPSIBLINGS); // group and check boxes must not paint over their neighbours
    if (cls == u"LISTBOX")
        item.horizontalScroll = true;
    if (cls == u"STATIC") {
        const DWORD type = style & SS_TYPEMASK;
        item.repaint = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || (style & SS_CENTERIMAGE);
        if (type == SS_LEFTNOWORDWRAP)
            item.repaint = false;
    }
    CRect client;
    GetClientRect(client);
    CRect rect;
    wnd->GetWindowRect(rect);
    ScreenToClient(rect);
    item.anchors = layout::AnchorRect(rect, client.Size(), topLeft, bottomRight);
    m_plLayoutList.push_back(item);
}

void CResizableDialog::AddAnchor(UINT id, CSize topLeft, CSize bottomRight)
{
    if (CWnd* control = GetDlgItem(static_cast<int>(id)))
        AddAnchor(control->m_hWnd, topLeft, bottomRight);
}

void CResizableDialog::AddAnchorWithLabel(UINT id, CSize topLeft, CSize bottomRight)
{
    CWnd* control = GetDlgItem(static_cast<int>(id));
    if (!control)
        return;
    AddAnchor(control->m_hWnd, topLeft, bottomRight);
    if (CWnd* label = control->GetWindow(GW_HWNDPREV))
        AddAnchor(label->m_hWnd, topLeft, bottomRight);
}

void CResizableDialog::ShowSizeGrip(BOOL show)
{
    const int flag = show ? 1 : 0;
    if (m_bShowGrip == flag)
        return;
    m_bShowGrip = flag;
    if (m_hWnd)
        SetSizeGrip(show);
}

void CResizableDialog::SetMinTrackSize(const CSize& size)
{
    m_ptMinTrackSize = size;
    m_bUseMinTrack = 1;
    UpdateSizeLimits();
}

void CResizableDialog::ResetMinTrackSize()
{
    m_bUseMinTrack = 0;
    UpdateSizeLimits();
}

void CResizableDialog::SetMaxTrackSize(const CSize& size)
{
    m_ptMaxTrackSize = size;
    m_bUseMaxTrack = 1;
    UpdateSizeLimits();
}

void CResizableDialog::ResetMaxTrackSize()
{
    m_bUseMaxTrack = 0;
    UpdateSizeLimits();
}

void CResizableDialog::SetMaximizedRect(const CRect& rect)
{
    m_ptMaxPos = rect.TopLeft();
    m_ptMaxSize = rect.Size();
    m_bUseMaxRect = 1;
}

void CResizableDialog::ResetMaximizedRect()
{
    m_bUseMaxRect = 0;
}

void CResizableDialog::EnableSaveRestore(const CString& section, const CString& entry)
{
    m_sSection = section;
    m_sEntry = entry;
    m_bEnableSaveRestore = 1;
}

LRESULT CResizableDialog::OnNcHitTest(CPoint point) const
{
    if (m_bShowGrip && point.x >= 0 && point.y >= 0 && m_rcGripRect.PtInRect(point))
        return HTBOTTOMRIGHT;
    return HTCLIENT;
}

void CResizableDialog::OnGetMinMaxInfo(MINMAXINFO* info)
{
    if (!m_bInitDone || !info)
        return;
    if (m_bUseMinTrack)
        info->ptMinTrackSize = POINT{m_ptMinTrackSize.cx, m_ptMinTrackSize.cy};
    if (m_bUseMaxTrack)
        info->ptMaxTrackSize = POINT{m_ptMaxTrackSize.cx, m_ptMaxTrackSize.cy};
    if (m_bUseMaxRect) {
        info->ptMaxPosition = m_ptMaxPos;
        info->ptMaxSize = POINT{m_ptMaxSize.cx, m_ptMaxSize.cy};
    }
}

void CResizableDialog::OnSize(UINT type, int cx, int cy)
{
    COrvDialogEx::OnSize(type, cx, cy);
    if (type == SIZE_MAXHIDE || type == SIZE_MAXSHOW)
        return; // another window was maximized or restored
    if (m_bInitDone)
        ArrangeLayout();
}

void CResizableDialog::ArrangeLayout()
{
    CRect client;
    GetClientRect(client);
    for (const SLayout& item : m_plLayoutList) {
        CWnd* control = CWnd::FromHandle(item.hwnd);
        if (!control)
            continue;
        const CRect now = layout::ArrangeAnchored(item.anchors, client.Size());
        CRect old;
        control->GetWindowRect(old);
        ScreenToClient(old);
        if (now == old)
            continue;
        control->SetWindowPos(nullptr, now.left, now.top, now.Width(), now.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
        if (item.repaint || item.horizontalScroll)
            control->Invalidate();
    }
    UpdateGripRect();
}

void CResizableDialog::OnDestroy()
{
    COrvDialogEx::OnDestroy();
}
