// File times to local file times and calendar fields: the calendar, the limits, and the
// time zone as TZ gives it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/kernel.h"

namespace {

constexpr ULONGLONG kUnixEpoch = 116444736000000000ull;
constexpr ULONGLONG kTicksPerSecond = 10000000ull;

FILETIME FromTicks(ULONGLONG ticks)
{
    return FILETIME{DWORD(ticks & 0xFFFFFFFFu), DWORD(ticks >> 32)};
}

ULONGLONG TicksOf(const FILETIME& t)
{
    return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME FromUnix(long long seconds, ULONGLONG extraTicks = 0)
{
    return FromTicks(kUnixEpoch + ULONGLONG(seconds) * kTicksPerSecond + extraTicks);
}

// Sets TZ for the life of the object and restores the previous value.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
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

TEST(FileTimeToSystemTime, GivesTheCalendarFields)
{
    struct Case {
        FILETIME time;
        SYSTEMTIME expected;  // year, month, day of week, day, hour, minute, second, ms
    };
    const Case cases[] = {
        {FromTicks(0), {1601, 1, 1, 1, 0, 0, 0, 0}},
        {FromUnix(0), {1970, 1, 4, 1, 0, 0, 0, 0}},
        {FromUnix(951782400), {2000, 2, 2, 29, 0, 0, 0, 0}},  // a leap day of a century
        {FromUnix(1778715000, 1234567), {2026, 5, 3, 13, 23, 30, 0, 123}},
        {FromUnix(4102444799), {2099, 12, 4, 31, 23, 59, 59, 0}},
        {FromTicks(0x7FFFFFFFFFFFFFFFull), {30828, 9, 4, 14, 2, 48, 5, 477}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TicksOf(c.time));
        SYSTEMTIME got{};
        ASSERT_TRUE(FileTimeToSystemTime(&c.time, &got));
        EXPECT_EQ(got.wYear, c.expected.wYear);
        EXPECT_EQ(got.wMonth, c.expected.wMonth);
        EXPECT_EQ(got.wDayOfWeek, c.expected.wDayOfWeek);
        EXPECT_EQ(got.wDay, c.expected.wDay);
        EXPECT_EQ(got.wHour, c.expected.wHour);
        EXPECT_EQ(got.wMinute, c.expected.wMinute);
        EXPECT_EQ(got.wSecond, c.expected.wSecond);
        EXPECT_EQ(got.wMilliseconds, c.expected.wMilliseconds);
    }
}

TEST(FileTimeToSystemTime, RefusesValuesWithTheTopBitSet)
{
    FILETIME t = FromTicks(0x8000000000000000ull);
    SYSTEMTIME got{};
    SetLastError(0);
    EXPECT_FALSE(FileTimeToSystemTime(&t, &got));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(FileTimeToLocalFileTime, AddsTheZoneOffset)
{
    struct Case {
        const char* zone;
        long long offsetSeconds;
    };
    const Case cases[] = {{"UTC0", 0}, {"KST-9", 9 * 3600}, {"XST+3:30", -(3 * 3600 + 1800)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone zone(c.zone);
        FILETIME utc = FromUnix(1778711400), local{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(static_cast<long long>(TicksOf(local) - TicksOf(utc)),
                  c.offsetSeconds * static_cast<long long>(kTicksPerSecond));
    }
}

// As on Windows, the offset in force now applies to every time converted, so a winter time
// converted in summer gets the summer offset and the other way round.
TEST(FileTimeToLocalFileTime, UsesTheOffsetInForceNow)
{
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    time_t now = time(nullptr);
    struct tm local {};
    ASSERT_TRUE(localtime_r(&now, &local));
    const long long nowOffset = local.tm_gmtoff;
    for (long long seconds : {1767225600LL /* 1 January 2026 */, 1783036800LL /* 3 July 2026 */}) {
        FILETIME utc = FromUnix(seconds), converted{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &converted));
        EXPECT_EQ(static_cast<long long>(TicksOf(converted) - TicksOf(utc)),
                  nowOffset * static_cast<long long>(kTicksPerSecond));
    }
}

TEST(FileTimeToLocalFileTime, RefusesResultsOutOfRange)
{
    ScopedTimeZone zone("XST+5");
    FILETIME early = FromTicks(60 * kTicksPerSecond), late = FromTicks(0x8000000000000000ull),
             out{};
    EXPECT_FALSE(FileTimeToLocalFileTime(&early, &out));
    EXPECT_FALSE(FileTimeToLocalFileTime(&late, &out));
    EXPECT_FALSE(FileTimeToLocalFileTime(nullptr, &out));
}

}  // namespace
