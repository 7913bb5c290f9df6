// The arithmetic of the dialog layout helpers, apart from any window:
// anchors with margins (how a control follows the dialog's size), a row of
// controls centred with gaps, and one common width for a row of buttons.
//
//   SAnchoredRect item = AnchorRect(controlRect, clientSize, TOP_LEFT, BOTTOM_RIGHT);
//   CRect moved = ArrangeAnchored(item, newClientSize);
#pragma once

#include <vector>

#include "platform/gui/GuiTypes.h"

// Anchors: percentages of the client area's width and height.
inline const CSize TOP_LEFT(0, 0), TOP_CENTER(50, 0), TOP_RIGHT(100, 0), MIDDLE_LEFT(0, 50), MIDDLE_CENTER(50, 50),
    MIDDLE_RIGHT(100, 50), BOTTOM_LEFT(0, 100), BOTTOM_CENTER(50, 100), BOTTOM_RIGHT(100, 100), NOANCHOR(-1, -1);

namespace layout {

// A control tied to two anchor points, with its distances (margins) to them.
struct SAnchoredRect {
    CSize topLeft;
    int marginLeft = 0, marginTop = 0;
    CSize bottomRight;
    int marginRight = 0, marginBottom = 0;
};

// The margins of `control` (client coordinates) to the anchor points in a
// client area of `client`; a bottom-right anchor of NOANCHOR (-1, -1) is the
// top-left one. Divisions truncate toward zero.
SAnchoredRect AnchorRect(const CRect& control, CSize client, CSize topLeft, CSize bottomRight);

// Where the control goes in a client area of `client`.
CRect ArrangeAnchored(const SAnchoredRect& item, CSize client);

// Left edges of a row of controls of the given widths, centred in
// `clientWidth` with `gap` between them; the row starts at 0 when it is
// wider than the client area.
std::vector<int> CenteredRow(const std::vector<int>& widths, int clientWidth, int gap);

// The common width for a row of buttons: `currentWidths` and the widths
// their captions need (caption width + 16). When no caption outgrows its
// button the result is -1 (nothing changes); otherwise the widest need,
// capped so that all buttons fit side by side within `clientWidth` with
// `margin` at both ends and between them.
int CommonButtonWidth(const std::vector<int>& currentWidths, const std::vector<int>& captionWidths, int clientWidth,
                      int margin);

} // namespace layout
