// Dialog units: the Windows rule that turns the positions and sizes of a
// dialog template into pixels. A dialog's base units are the average width
// of the letters A-Z a-z of its font (rounded) and the font's line height;
// a horizontal dialog unit is a quarter of the base width and a vertical
// one an eighth of the base height. Plain arithmetic, no window needed:
//
//   DialogBaseUnits units{7, 14};                 // measured from the font
//   CRect r = TemplateRectToPixels(control, units); // x, y, cx, cy each scaled
#pragma once

#include "platform/gui/GuiTypes.h"

#ifndef _WIN32 // on Windows the system's own
// number * numerator / denominator, rounded half away from zero, computed
// without overflow in 64 bits; -1 when the denominator is 0 or the result
// does not fit an int (the Windows contract).
int MulDiv(int number, int numerator, int denominator);
#endif

namespace platform::gui {

struct DialogBaseUnits {
    int cx = 0; // average character width in pixels
    int cy = 0; // character height in pixels
};

// The base width from the width in pixels of the 52 letters "A".."Z"
// "a".."z" set in the font: their average, rounded to the nearest pixel.
int BaseUnitWidthFromAlphabet(int alphabetWidth);

// Dialog units to pixels along one axis.
inline int DialogUnitsToPixelsX(int units, const DialogBaseUnits& base) { return MulDiv(units, base.cx, 4); }
inline int DialogUnitsToPixelsY(int units, const DialogBaseUnits& base) { return MulDiv(units, base.cy, 8); }
// Pixels to dialog units (the reverse rule, rounded the same way).
inline int PixelsToDialogUnitsX(int pixels, const DialogBaseUnits& base) { return MulDiv(pixels, 4, base.cx); }
inline int PixelsToDialogUnitsY(int pixels, const DialogBaseUnits& base) { return MulDiv(pixels, 8, base.cy); }

// A rectangle of a template (x, y, cx, cy in dialog units) in pixels: the
// position and the size are scaled separately, as the dialog manager
// creates controls, so a control's width never depends on where it sits.
CRect TemplateRectToPixels(int x, int y, int cx, int cy, const DialogBaseUnits& base);

// MapDialogRect: each edge of a rectangle in dialog units scaled on its own.
CRect MapDialogRect(const RECT& units, const DialogBaseUnits& base);

} // namespace platform::gui
