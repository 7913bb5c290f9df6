#include "ui/LayoutRules.h"

#include <algorithm>

namespace layout {

SAnchoredRect AnchorRect(const CRect& control, CSize client, CSize topLeft, CSize bottomRight)
{
    if (bottomRight == NOANCHOR)
        bottomRight = topLeft;
    SAnchoredRect item;
    item.topLeft = topLeft;
    item.bottomRight = bottomRight;
    item.marginLeft = control.left - client.cx * topLeft.cx / 100;
    item.marginTop = control.top - client.cy * topLeft.cy / 100;
    item.marginRight = control.right - client.cx * bottomRight.cx / 100;
    item.marginBottom = control.bottom - client.cy * bottomRight.cy / 100;
    return item;
}

CRect ArrangeAnchored(const SAnchoredRect& item, CSize client)
{
    return CRect(client.cx * item.topLeft.cx / 100 + item.marginLeft, client.cy * item.topLeft.cy / 100 + item.marginTop,
                 client.cx * item.bottomRight.cx / 100 + item.marginRight,
                 client.cy * item.bottomRight.cy / 100 + item.marginBottom);
}

std::vector<int> CenteredRow(const std::vector<int>& widths, int clientWidth, int gap)
{
    int sum = 0;
    for (int w : widths)
        sum += w;
    const int count = static_cast<int>(widths.size());
    int x = count == 0 ? 0 : (clientWidth - (count - 1) * gap - sum) / 2;
    if (x < 0)
        x = 0;
    std::vector<int> lefts;
    lefts.reserve(widths.size());
    for (int w : widths) {
        lefts.push_back(x);
        x += w + gap;
    }
    return lefts;
}

int CommonButtonWidth(const std::vector<int>& currentWidths, const std::vector<int>& captionWidths, int clientWidth,
                      int margin)
{
    const int count = static_cast<int>(std::min(currentWidths.size(), captionWidths.size()));
    int available = clientWidth - 2 * margin;
    int largest = -1;
    for (int i = 0; i < count; ++i) {
        const int needed = captionWidths[static_cast<size_t>(i)] + 16;
        if (needed > currentWidths[static_cast<size_t>(i)] && needed > largest)
            largest = needed;
    }
    available -= (count - 1) * margin;
    if (count == 0 || largest < 0)
        return -1;
    return std::min(largest, available / count);
}

} // namespace layout
