#include "ui/OrvDialogEx.h"

#include "ui/LayoutRules.h"

int COrvDialogEx::PixelToDialogUnitsX(int pixels)
{
    return MulDiv(pixels, 4, LOWORD(GetDialogBaseUnits()));
}

int COrvDialogEx::PixelToDialogUnitsY(int pixels)
{
    return MulDiv(pixels, 8, HIWORD(GetDialogBaseUnits()));
}

CRect COrvDialogEx::GetControlRect(int id) const
{
    CWnd* control = GetDlgItem(id);
    if (!control)
        return CRect();
    CRect rect;
    control->GetWindowRect(rect);
    ScreenToClient(rect);
    return rect;
}

void COrvDialogEx::MoveTopRightTo(CPoint point)
{
    CRect frame;
    GetWindowRect(frame);
    SetWindowPos(nullptr, point.x - frame.Width(), point.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void COrvDialogEx::MoveControl(int id, int x, int y)
{
    if (CWnd* control = GetDlgItem(id))
        control->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void COrvDialogEx::OffsetControl(int id, int dx, int dy)
{
    if (!GetDlgItem(id))
        return;
    const CRect rect = GetControlRect(id);
    MoveControl(id, rect.left + dx, rect.top + dy);
}

void COrvDialogEx::MoveControlLeftTo(int id, int x)
{
    if (GetDlgItem(id))
        MoveControl(id, x, GetControlRect(id).top);
}

void COrvDialogEx::MoveControlTopTo(int id, int y)
{
    if (GetDlgItem(id))
        MoveControl(id, GetControlRect(id).left, y);
}

void COrvDialogEx::CenterControlHorizontal(int id)
{
    if (!GetDlgItem(id))
        return;
    CRect client;
    GetClientRect(client);
    const CRect rect = GetControlRect(id);
    MoveControl(id, (client.Width() - rect.Width()) / 2, rect.top);
}

void COrvDialogEx::CenterControlsHorizontal(const std::vector<int>& ids, int gap)
{
    std::vector<int> shown, widths;
    for (int id : ids) {
        CWnd* control = GetDlgItem(id);
        if (control && (control->GetStyle() & WS_VISIBLE)) {
            shown.push_back(id);
            widths.push_back(GetControlRect(id).Width());
        }
    }
    CRect client;
    GetClientRect(client);
    const std::vector<int> lefts = layout::CenteredRow(widths, client.Width(), gap);
    for (size_t i = 0; i < shown.size(); ++i)
        MoveControl(shown[i], lefts[i], GetControlRect(shown[i]).top);
}

void COrvDialogEx::AdjustButtonWidths(const std::vector<int>& ids, int margin)
{
    std::vector<CWnd*> buttons;
    std::vector<int> current, captions;
    for (int id : ids) {
        CWnd* control = GetDlgItem(id);
        if (!control || !(control->GetStyle() & WS_VISIBLE))
            continue;
        buttons.push_back(control);
        current.push_back(GetControlRect(id).Width());
        captions.push_back(control->GetTextExtent(control->GetWindowText()).cx);
    }
    CRect client;
    GetClientRect(client);
    const int width = layout::CommonButtonWidth(current, captions, client.Width(), margin);
    if (width < 0)
        return;
    for (CWnd* button : buttons) {
        const CRect rect = GetControlRect(button->GetDlgCtrlID());
        button->SetWindowPos(nullptr, 0, 0, width, rect.Height(), SWP_NOMOVE | SWP_NOZORDER);
    }
}
