// The clocks, local-time conversion and random UUIDs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <set>

#include "platform/Time.h"
#include "platform/Uuid.h"

using namespace platform;

namespace {

#ifndef _WIN32
// Runs a test body under a fixed time zone and restores the old one.
class CZone {
public:
    explicit CZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (m_had)
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~CZone()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};
#endif

} // namespace

TEST(TimeUuidTest, LocalTimeRoundTripsInTheSystemZone)
{
    for (LONGLONG seconds : {0ll, 1704067200ll, 1719829230ll, 4102444800ll}) {
        SLocalTime local{};
        ASSERT_TRUE(ToLocalTime(seconds, local)) << seconds;
        EXPECT_EQ(FromLocalTime(local), seconds) << seconds;
        EXPECT_GE(local.dayOfWeek, 0);
        EXPECT_LE(local.dayOfWeek, 6);
    }
}

TEST(TimeUuidTest, LocalTimeConvertsBothWays)
{
#ifdef _WIN32
    GTEST_SKIP() << "pinned with a POSIX time-zone rule in TZ; Windows takes its zone from the system settings";
#else
    CZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    SLocalTime local{};
    // 2024-07-01 10:20:30 UTC is 12:20:30 summer time, a Monday.
    ASSERT_TRUE(ToLocalTime(1719829230, local));
    EXPECT_EQ(local.year, 2024);
    EXPECT_EQ(local.month, 7);
    EXPECT_EQ(local.day, 1);
    EXPECT_EQ(local.hour, 12);
    EXPECT_EQ(local.minute, 20);
    EXPECT_EQ(local.second, 30);
    EXPECT_EQ(local.dayOfWeek, 1);
    EXPECT_EQ(FromLocalTime(local), 1719829230);
    // Winter time: one hour ahead of UTC only.
    EXPECT_EQ(FromLocalTime({2024, 1, 1, 1, 0, 0, 0}), 1704067200);
    // Out-of-range fields are carried over.
    EXPECT_EQ(FromLocalTime({2023, 13, 1, 1, 0, 0, 0}), 1704067200);
    // The second before the epoch is a valid time, not the failure value.
    CZone utc("UTC0");
    EXPECT_EQ(FromLocalTime({1969, 12, 31, 23, 59, 59, 0}), -1);
    EXPECT_EQ(FromLocalTime({1970, 1, 1, 0, 0, 0, 0}), 0);

    CTime time(2024, 7, 1, 10, 20, 30);
    EXPECT_EQ(time.GetTime(), 1719829230);
    EXPECT_EQ(time.GetDayOfWeek(), 2); // Monday, counted from Sunday = 1
    EXPECT_EQ(time.Format(u"%Y%m%d %H:%M:%S"), CString(u"20240701 10:20:30"));
    EXPECT_TRUE(time.Format(u"").IsEmpty());
#endif
}

TEST(TimeUuidTest, ClocksMoveForward)
{
    ULONGLONG tick = platform::GetTickCount64();
    EXPECT_GE(platform::GetTickCount64(), tick);
    LONGLONG now = Time64();
    EXPECT_GT(now, 1700000000);
    EXPECT_LE(now - CTime::GetCurrentTime().GetTime(), 0);
}

TEST(TimeUuidTest, UuidsAreRandomVersion4InUpperCaseText)
{
    std::set<std::u16string> seen;
    for (int i = 0; i < 200; ++i) {
        SUuid uuid{};
        ASSERT_TRUE(CreateUuid(uuid));
        CString text = UuidToString(uuid);
        ASSERT_EQ(text.GetLength(), 36);
        EXPECT_EQ(text[8], u'-');
        EXPECT_EQ(text[13], u'-');
        EXPECT_EQ(text[14], u'4');
        EXPECT_EQ(text[18], u'-');
        EXPECT_TRUE(text[19] == u'8' || text[19] == u'9' || text[19] == u'A' || text[19] == u'B');
        EXPECT_EQ(text[23], u'-');
        for (int k = 0; k < 36; ++k)
            EXPECT_TRUE(text[k] == u'-' || (text[k] >= u'0' && text[k] <= u'9') || (text[k] >= u'A' && text[k] <= u'F'));
        seen.insert(text.Str());
    }
    EXPECT_EQ(seen.size(), 200u);

    SUuid fixed{0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0x0B, 0xA9, 0x87, 0x65, 0x43, 0x21}};
    EXPECT_EQ(UuidToString(fixed), CString(u"0123ABCD-4567-89EF-FEDC-0BA987654321"));
}
