#include "platform/Time.h"

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

bool ToLocalTime(LONGLONG seconds, SLocalTime& local)
{
    local = SLocalTime{};
    __time64_t t = static_cast<__time64_t>(seconds);
    tm fields{};
    if (_localtime64_s(&fields, &t) != 0)
        return false;
    local.year = fields.tm_year + 1900;
    local.month = fields.tm_mon + 1;
    local.day = fields.tm_mday;
    local.hour = fields.tm_hour;
    local.minute = fields.tm_min;
    local.second = fields.tm_sec;
    local.dayOfWeek = fields.tm_wday;
    return true;
}

LONGLONG FromLocalTime(const SLocalTime& local)
{
    tm fields{};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1; // let the zone rules decide
    // mktime returns -1 both for failure and for 1969-12-31 23:59:59 UTC;
    // tm_wday stays untouched only on failure.
    fields.tm_wday = -1;
    __time64_t t = _mktime64(&fields);
    if (t == static_cast<__time64_t>(-1) && fields.tm_wday == -1)
        return -1;
    return static_cast<LONGLONG>(t);
}

} // namespace platform

CTime::CTime(int year, int month, int day, int hour, int minute, int second)
    : m_time(platform::FromLocalTime({year, month, day, hour, minute, second, 0}))
{
}

platform::SLocalTime CTime::Local() const
{
    platform::SLocalTime local{};
    platform::ToLocalTime(m_time, local);
    return local;
}

CString CTime::Format(const char16_t* format) const
{
    __time64_t t = static_cast<__time64_t>(m_time);
    tm fields{};
    if (!format || !*format || _localtime64_s(&fields, &t) != 0)
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
