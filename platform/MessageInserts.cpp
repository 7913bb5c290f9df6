#include "platform/MessageInserts.h"

namespace platform {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Turns a printf format between the exclamation marks into one for
// CString::Format with a fixed argument type: text ("%...s") or a 64-bit
// integer ("%...ll<conv>"). Returns false for formats we do not accept.
bool BuildFormat(const CString& conversion, bool& wantsText, CString& format)
{
    int i = 0;
    const int n = conversion.GetLength();
    CString head;
    while (i < n && CString(u"-+ #0").Find(conversion[i]) >= 0)
        head += conversion[i++];
    while (i < n && IsDigit(conversion[i]))
        head += conversion[i++];
    if (i < n && conversion[i] == u'.') {
        head += conversion[i++];
        while (i < n && IsDigit(conversion[i]))
            head += conversion[i++];
    }
    // Length modifiers only say how wide the argument was; ours are typed.
    if (conversion.Mid(i, 3) == u"I64" || conversion.Mid(i, 3) == u"I32")
        i += 3;
    else if (conversion.Mid(i, 2) == u"ll" || conversion.Mid(i, 2) == u"hh")
        i += 2;
    else if (i < n && CString(u"hlwIzjt").Find(conversion[i]) >= 0)
        ++i;
    if (i != n - 1)
        return false;
    const char16_t conv = conversion[i];
    if (conv == u's' || conv == u'S') {
        wantsText = true;
        format = u"%" + head + u"s";
        return true;
    }
    if (CString(u"diuxXo").Find(conv) >= 0) {
        wantsText = false;
        format = u"%" + head + u"ll" + conv;
        return true;
    }
    if (conv == u'c' || conv == u'C') {
        wantsText = false;
        format = u"%" + head + u"c";
        return true;
    }
    return false;
}

} // namespace

CString FormatMessageInserts(const CString& pattern, const std::vector<MessageArg>& args)
{
    CString out;
    const int n = pattern.GetLength();
    int i = 0;
    while (i < n) {
        const char16_t c = pattern[i];
        if (c != u'%' || i + 1 >= n) {
            out += c;
            ++i;
            continue;
        }
        const char16_t next = pattern[i + 1];
        switch (next) {
        case u'%': out += u'%'; i += 2; continue;
        case u'n': out += u'\n'; i += 2; continue;
        case u'r': out += u'\r'; i += 2; continue;
        case u't': out += u'\t'; i += 2; continue;
        case u'.': out += u'.'; i += 2; continue;
        case u' ': out += u' '; i += 2; continue;
        case u'0': return out;
        default: break;
        }
        if (next < u'1' || next > u'9') {
            out += c; // "%!" and every other sequence stay as written
            ++i;
            continue;
        }

        int end = i + 2;
        size_t number = static_cast<size_t>(next - u'0');
        if (end < n && IsDigit(pattern[end]))
            number = number * 10 + static_cast<size_t>(pattern[end++] - u'0');
        CString conversion = u"s";
        if (end < n && pattern[end] == u'!') {
            int close = pattern.Find(u'!', end + 1);
            if (close < 0) {
                out += pattern.Mid(i, end - i); // malformed: leave it as written
                i = end;
                continue;
            }
            conversion = pattern.Mid(end + 1, close - end - 1);
            end = close + 1;
        }

        bool wantsText = false;
        CString format;
        const bool usable = number <= args.size() && BuildFormat(conversion, wantsText, format) &&
                            args[number - 1].IsText() == wantsText;
        if (!usable) {
            out += pattern.Mid(i, end - i);
        } else if (wantsText) {
            out.AppendFormat(format, args[number - 1].Text().GetString());
        } else if (format.Right(1) == u"c") {
            out.AppendFormat(format, static_cast<int>(args[number - 1].Number()));
        } else {
            long long value = args[number - 1].Number();
            if (args[number - 1].Bits() <= 32 && CString(u"uxXo").Find(format[format.GetLength() - 1]) >= 0)
                value = static_cast<long long>(static_cast<DWORD>(value));
            out.AppendFormat(format, value);
        }
        i = end;
    }
    return out;
}

} // namespace platform
