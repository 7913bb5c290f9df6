// Time: a monotonic millisecond clock, calendar seconds since 1970 (UTC),
// conversion between those seconds and local broken-down time, and CTime,
// a point in time held as seconds since 1970.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

namespace platform {

// Milliseconds since an arbitrary fixed point (system start); never goes
// back. Pitfall: only differences between two readings mean anything.
ULONGLONG GetTickCount64();

// Seconds since 1970-01-01 00:00:00 UTC. Pitfall: follows the system clock,
// which the user may set back; use GetTickCount64 to measure durations.
LONGLONG Time64();

// A moment in the local time zone, broken down.
struct SLocalTime {
    int year;      // e.g. 2024
    int month;     // 1 to 12
    int day;       // 1 to 31
    int hour;      // 0 to 23
    int minute;    // 0 to 59
    int second;    // 0 to 60 (leap second)
    int dayOfWeek; // 0 = Sunday to 6 = Saturday
};

// Breaks seconds since 1970 down into local time. Returns false for a value
// the system can't represent. Pitfall: reads the time zone of the process
// (TZ) at each call.
bool ToLocalTime(LONGLONG seconds, SLocalTime& local);

// Seconds since 1970 of a local time (dayOfWeek is ignored; out-of-range
// fields are normalised, so month 13 is January of the next year). Returns
// -1 when it can't be represented. Pitfall: a local time that occurs twice
// when daylight saving ends is taken in whichever offset the system picks.
LONGLONG FromLocalTime(const SLocalTime& local);

} // namespace platform

// A point in time as seconds since 1970-01-01 UTC, read out in local time.
class CTime {
public:
    CTime() = default;
    CTime(LONGLONG seconds) : m_time(seconds) {}
    // From local fields; a time that can't be represented gives -1.
    CTime(int year, int month, int day, int hour, int minute, int second);

    static CTime GetCurrentTime() { return CTime(platform::Time64()); }

    // Seconds since 1970.
    LONGLONG GetTime() const { return m_time; }

    // Local fields; all 0 when the time can't be broken down.
    int GetYear() const { return Local().year; }
    int GetMonth() const { return Local().month; }
    int GetDay() const { return Local().day; }
    int GetHour() const { return Local().hour; }
    int GetMinute() const { return Local().minute; }
    int GetSecond() const { return Local().second; }
    // 1 = Sunday to 7 = Saturday.
    int GetDayOfWeek() const { return Local().dayOfWeek + 1; }

    // The local time written with strftime conversions ("%Y%m%d", "%H:%M:%S",
    // "%c"...). Empty when the time can't be broken down.
    CString Format(const char16_t* format) const;

    friend bool operator==(const CTime& a, const CTime& b) { return a.m_time == b.m_time; }
    friend bool operator!=(const CTime& a, const CTime& b) { return a.m_time != b.m_time; }
    friend bool operator<(const CTime& a, const CTime& b) { return a.m_time < b.m_time; }

private:
    platform::SLocalTime Local() const;
    LONGLONG m_time = 0;
};
