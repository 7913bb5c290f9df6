#include "platform/gui/DisplayText.h"

namespace platform::gui {

namespace {

bool IsDirectionControl(char16_t ch)
{
    return (ch >= 0x202A && ch <= 0x202E) || (ch >= 0x2066 && ch <= 0x2069);
}

} // namespace

CString DisplaySafeText(const CString& text, bool multiLine)
{
    const std::u16string& in = text.Str();
    std::u16string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const char16_t ch = in[i];
        if (multiLine && (ch == u'\r' || ch == u'\n')) {
            if (ch == u'\r' && i + 1 < in.size() && in[i + 1] == u'\n')
                ++i;
            out += u'\n';
        } else if (ch < 0x20) {
            out += static_cast<char16_t>(0x2400 + ch);
        } else if (ch == 0x7F) {
            out += u'\u2421';
        } else if (ch >= 0x80 && ch <= 0x9F) {
            out += u'\uFFFD';
        } else if (IsDirectionControl(ch)) {
            out += u'\uFFFD';
        } else if (ch >= 0xD800 && ch <= 0xDBFF) {
            if (i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
                out += ch;
                out += in[++i];
            } else {
                out += u'\uFFFD';
            }
        } else if (ch >= 0xDC00 && ch <= 0xDFFF) {
            out += u'\uFFFD';
        } else {
            out += ch;
        }
    }
    return CString(std::move(out));
}

} // namespace platform::gui

namespace platform::gui {

CString PathEllipsisText(const CString& text, int maxWidth, const std::function<int(const CString&)>& width)
{
    if (width(text) <= maxWidth)
        return text;
    const CString ellipsis(u"\u2026");
    int split = -1;
    for (int i = text.GetLength() - 1; i >= 0; --i) {
        if (text[i] == u'/' || text[i] == u'\\') {
            split = i;
            break;
        }
    }
    const CString tail = split >= 0 ? text.Mid(split) : CString();
    const CString head = split >= 0 ? text.Left(split) : text;
    // The longest start of the head that fits before "..." and the tail
    // (binary search: widths grow with the length).
    int low = 0, high = head.GetLength();
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (width(head.Left(mid) + ellipsis + tail) <= maxWidth)
            low = mid;
        else
            high = mid - 1;
    }
    if (low > 0 || width(ellipsis + tail) <= maxWidth)
        return head.Left(low) + ellipsis + tail;
    // Not even the last element fits: keep its start, then "...".
    const CString last = split >= 0 ? text.Mid(split + 1) : text;
    low = 0;
    high = last.GetLength();
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (width(ellipsis + last.Left(mid) + ellipsis) <= maxWidth)
            low = mid;
        else
            high = mid - 1;
    }
    return ellipsis + last.Left(low) + ellipsis;
}

} // namespace platform::gui
