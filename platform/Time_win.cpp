#include "platform/Time.h"
#include "platform/Time_p.h"

#include <string>

#include "platform/Win32_win.h"

#include <ctime>

namespace platform {

ULONGLONG GetTickCount64()
{
    return ::GetTickCount64();
}

LONGLONG Time64()
{
    return static_cast<LONGLONG>(_time64(nullptr));
}

bool LocalFields(LONGLONG seconds, tm& fields)
{
    __time64_t t = static_cast<__time64_t>(seconds);
    return _localtime64_s(&fields, &t) == 0;
}

bool SecondsOfLocalFields(tm& fields, LONGLONG& seconds)
{
    // _mktime64 returns -1 both for failure and for 1969-12-31 23:59:59 UTC;
    // tm_wday stays untouched only on failure.
    fields.tm_wday = -1;
    __time64_t t = _mktime64(&fields);
    if (t == static_cast<__time64_t>(-1) && fields.tm_wday == -1)
        return false;
    seconds = static_cast<LONGLONG>(t);
    return true;
}

} // namespace platform

CString CTime::Format(const char16_t* format) const
{
    tm fields{};
    if (!format || !*format || !platform::LocalFields(m_time, fields))
        return CString();
    // wcsftime returns 0 both for "too small" and for an empty result, so
    // grow the buffer a few times before taking 0 as the real answer.
    for (size_t size = 256; size <= 65536; size *= 4) {
        std::wstring out(size, L'\0');
        size_t written = wcsftime(out.data(), out.size(), platform::win::W(format), &fields);
        if (written > 0)
            return platform::win::FromW(out.data(), written);
    }
    return CString();
}
