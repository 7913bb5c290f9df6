#include "platform/Time.h"
#include "platform/Time_p.h"

#include <ctime>

namespace platform {

ULONGLONG GetTickCount64()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<ULONGLONG>(ts.tv_sec) * 1000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000u;
}

LONGLONG Time64()
{
    return static_cast<LONGLONG>(std::time(nullptr));
}

bool LocalFields(LONGLONG seconds, tm& fields)
{
    time_t t = static_cast<time_t>(seconds);
    return static_cast<LONGLONG>(t) == seconds && localtime_r(&t, &fields);
}

bool SecondsOfLocalFields(tm& fields, LONGLONG& seconds)
{
    // mktime returns -1 both for failure and for 1969-12-31 23:59:59 UTC;
    // tm_wday stays untouched only on failure.
    fields.tm_wday = -1;
    time_t t = mktime(&fields);
    if (t == static_cast<time_t>(-1) && fields.tm_wday == -1)
        return false;
    seconds = static_cast<LONGLONG>(t);
    return true;
}

} // namespace platform

CString CTime::Format(const char16_t* format) const
{
    tm fields{};
    if (!format || !platform::LocalFields(m_time, fields))
        return CString();
    std::string pattern = CString(format).ToUtf8();
    if (pattern.empty())
        return CString();
    // strftime returns 0 both for "too small" and for an empty result, so
    // grow the buffer a few times before taking 0 as the real answer.
    for (size_t size = 256; size <= 65536; size *= 4) {
        std::string out(size, '\0');
        size_t written = strftime(out.data(), out.size(), pattern.c_str(), &fields);
        if (written > 0) {
            out.resize(written);
            return CString::FromUtf8(out);
        }
    }
    return CString();
}
