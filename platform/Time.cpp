// Local calendar times and CTime: the conversions between seconds and
// calendar fields, the same on every system; the zone rules are the
// system's (Time_posix.cpp, Time_win.cpp).
#include "platform/Time.h"

#include "platform/Time_p.h"

namespace platform {

bool ToLocalTime(LONGLONG seconds, SLocalTime& local)
{
    local = SLocalTime{};
    tm fields{};
    if (!LocalFields(seconds, fields))
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
    LONGLONG seconds = -1;
    return SecondsOfLocalFields(fields, seconds) ? seconds : -1;
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
