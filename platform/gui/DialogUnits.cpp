#include "platform/gui/DialogUnits.h"

#include <climits>
#include <cstdint>

#ifndef _WIN32
int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    // Round half away from zero: add half the divisor in the product's
    // direction before the truncating division.
    std::int64_t half = denominator / 2;
    if (denominator < 0)
        half = -half;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t adjusted = negative ? product - half : product + half;
    const std::int64_t result = adjusted / denominator;
    if (result > INT_MAX || result < INT_MIN)
        return -1;
    return static_cast<int>(result);
}
#endif

namespace platform::gui {

int BaseUnitWidthFromAlphabet(int alphabetWidth)
{
    return (alphabetWidth / 26 + 1) / 2;
}

CRect TemplateRectToPixels(int x, int y, int cx, int cy, const DialogBaseUnits& base)
{
    const int left = DialogUnitsToPixelsX(x, base);
    const int top = DialogUnitsToPixelsY(y, base);
    return CRect(left, top, left + DialogUnitsToPixelsX(cx, base), top + DialogUnitsToPixelsY(cy, base));
}

CRect MapDialogRect(const RECT& units, const DialogBaseUnits& base)
{
    return CRect(DialogUnitsToPixelsX(units.left, base), DialogUnitsToPixelsY(units.top, base),
                 DialogUnitsToPixelsX(units.right, base), DialogUnitsToPixelsY(units.bottom, base));
}

} // namespace platform::gui
