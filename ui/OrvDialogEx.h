// COrvDialogEx: CDialog with small layout helpers for its controls (by id;
// a missing control is ignored): unit conversion, moving, centring a row,
// and one common width for a row of buttons.
//
//   AdjustButtonWidths({IDC_OPENREADONLY, IDC_OPENWRITEABLE, IDCANCEL}, 8);
//   CenterControlsHorizontal({IDC_OPENREADONLY, IDC_OPENWRITEABLE, IDCANCEL}, 8);
#pragma once

#include <vector>

#include "platform/gui/Dialog.h"

class COrvDialogEx : public CDialog {
public:
    COrvDialogEx() = default;
    explicit COrvDialogEx(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}
    COrvDialogEx(const char16_t* templateName, CWnd* parent = nullptr) : CDialog(templateName, parent) {}

    // Pixels to dialog units of the system dialog font (GetDialogBaseUnits).
    static int PixelToDialogUnitsX(int pixels);
    static int PixelToDialogUnitsY(int pixels);

    // The control's rectangle in client coordinates; empty if there is none.
    CRect GetControlRect(int id) const;
    // Moves the dialog (size kept) so that its top-right corner is at `point`.
    void MoveTopRightTo(CPoint point);
    void OffsetControl(int id, int dx, int dy);
    void MoveControlLeftTo(int id, int x);
    void MoveControlTopTo(int id, int y);
    // Left edge to (client width - control width) / 2.
    void CenterControlHorizontal(int id);
    // The visible controls among `ids`, side by side in array order with
    // `gap` between them, centred as a row (hidden ones take no room).
    void CenterControlsHorizontal(const std::vector<int>& ids, int gap);
    // Gives the visible buttons among `ids` one width that fits the widest
    // caption, capped so that they fit side by side with `margin`; leaves
    // them alone when every caption fits.
    void AdjustButtonWidths(const std::vector<int>& ids, int margin);

private:
    void MoveControl(int id, int x, int y);
};
