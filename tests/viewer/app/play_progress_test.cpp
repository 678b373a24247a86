// The texts and sample choices of the play progress, the speed and volume displays and the
// click guard.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "app/PlayProgress.h"

namespace {

CGPSData FixAt(int hour, int minute, int second, int day = 10, int month = 9, int year = 18)
{
    CGPSData fix;
    fix.m_nYear = year;
    fix.m_nMonth = month;
    fix.m_nDay = day;
    fix.m_nHour = hour;
    fix.m_nMinute = minute;
    fix.m_nSecond = second;
    fix.m_bValid = TRUE;
    fix.m_dSpeed = second;  // marks the fix
    return fix;
}

// n fixes one second apart from 12:00:00.
std::list<CGPSData> Fixes(int n)
{
    std::list<CGPSData> fixes;
    for (int i = 0; i < n; ++i) {
        CGPSData fix = FixAt(12, i / 60, i % 60);
        fix.m_dSpeed = i;
        fixes.push_back(fix);
    }
    return fixes;
}

int Rank(const std::list<CGPSData>& fixes, const CGPSData* fix)
{
    int i = 0;
    for (const CGPSData& f : fixes) {
        if (&f == fix)
            return i;
        ++i;
    }
    return -1;
}

}  // namespace

TEST(PlayProgress, TimeTexts)
{
    EXPECT_EQ(PlayTimeText(0), L"00:00:00 /");
    EXPECT_EQ(PlayTimeText(3725), L"01:02:05 /");
    EXPECT_EQ(TotalTimeText(60), L"00:01:00");
    EXPECT_EQ(TotalTimeText(-5), L"00:00:00");
}

TEST(PlayProgress, GSensorSampleAndLabels)
{
    EXPECT_EQ(GSensorSampleIndex(600, 30, 60), 300u);
    EXPECT_EQ(GSensorSampleIndex(600, 60, 60), 599u);
    EXPECT_EQ(GSensorSampleIndex(600, 0, 60), 0u);
    EXPECT_EQ(GSensorSampleIndex(1, 59, 60), 0u);
    EXPECT_EQ(GSensorLabelText(L'X', -1), L"X :-0.01");
    EXPECT_EQ(GSensorLabelText(L'X', 0), L"X : 0.00");
    EXPECT_EQ(GSensorLabelText(L'Y', 64), L"Y : 0.50");
    EXPECT_EQ(GSensorLabelText(L'Z', -512), L"Z :-4.00");
    EXPECT_EQ(GSensorEmptyText(L'X'), L"X :0.00");
    EXPECT_EQ(GSensorStoppedText(L'Z'), L"Z : 0000");
}

TEST(PlayProgress, GpsFixByRankWithOnePerSecond)
{
    const auto fixes = Fixes(60);
    EXPECT_EQ(Rank(fixes, PickGpsFix(fixes, 0, 60)), 0);
    EXPECT_EQ(Rank(fixes, PickGpsFix(fixes, 59, 60)), 59);
    EXPECT_EQ(Rank(fixes, PickGpsFix(fixes, 60, 60)), 59);
    EXPECT_EQ(PickGpsFix({}, 3, 60), nullptr);
    EXPECT_EQ(PickGpsFix(fixes, 3, 0), nullptr);
}

TEST(PlayProgress, GpsFixByTimeWithFewerThanOnePerSecond)
{
    const auto fixes = Fixes(30);
    struct {
        int pos;
        int rank;  // -1: none
    } cases[] = {{0, 0}, {10, 10}, {29, 29}, {30, 29}, {31, -1}, {59, -1}, {60, -1}};
    for (const auto& c : cases) {
        const CGPSData* fix = PickGpsFix(fixes, c.pos, 60);
        if (c.rank < 0)
            EXPECT_EQ(fix, nullptr) << c.pos;
        else
            EXPECT_EQ(Rank(fixes, fix), c.rank) << c.pos;
    }
    // A fix exactly at the target is taken; a gap makes the next later one the choice.
    std::list<CGPSData> gaps = {FixAt(12, 0, 0), FixAt(12, 0, 5), FixAt(12, 0, 9)};
    EXPECT_EQ(Rank(gaps, PickGpsFix(gaps, 5, 60)), 1);
    EXPECT_EQ(Rank(gaps, PickGpsFix(gaps, 6, 60)), 2);
    // Across midnight and a month's end the time line runs on.
    std::list<CGPSData> midnight = {FixAt(23, 59, 58, 31, 12, 18), FixAt(0, 0, 2, 1, 1, 19)};
    EXPECT_EQ(Rank(midnight, PickGpsFix(midnight, 4, 60)), 1);
}

TEST(PlayProgress, GpsTimeSearchIgnoresTheDaylightSavingChange)
{
    // Fixes one second apart whose fields pass 03:00 on the night the clocks go forward in
    // Central Europe: read as local time, 02:59:59 and 03:00:00 lie an hour apart backwards.
    // The search must still find the fix n seconds after the first.
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    std::list<CGPSData> fixes;
    for (int i = 0; i < 20; ++i) {
        const int t = 2 * 3600 + 59 * 60 + 50 + i;  // from 02:59:50
        fixes.push_back(FixAt(t / 3600, t / 60 % 60, t % 60, 25, 3, 18));
    }
    EXPECT_EQ(Rank(fixes, PickGpsFix(fixes, 10, 60)), 10);
    EXPECT_EQ(Rank(fixes, PickGpsFix(fixes, 15, 60)), 15);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(PlayProgress, GpsFixesOffTheCalendarArePassedOver)
{
    std::list<CGPSData> fixes = {FixAt(12, 0, 0), FixAt(25, 0, 0), FixAt(12, 0, 3),
                                 FixAt(12, 61, 0), FixAt(12, 0, 6)};
    EXPECT_EQ(Rank(fixes, PickGpsFix(fixes, 2, 60)), 2);
    EXPECT_EQ(Rank(fixes, PickGpsFix(fixes, 4, 60)), 4);
    // A first fix that cannot be placed: the time line starts at the next.
    std::list<CGPSData> badFirst = {FixAt(99, 0, 0), FixAt(12, 0, 0), FixAt(12, 0, 4)};
    EXPECT_EQ(Rank(badFirst, PickGpsFix(badFirst, 3, 60)), 2);
    // Nothing placeable at all: treated as no fix at or after the target.
    std::list<CGPSData> none = {FixAt(99, 0, 0), FixAt(12, 99, 0)};
    EXPECT_EQ(Rank(none, PickGpsFix(none, 1, 60)), 1);
    EXPECT_EQ(PickGpsFix(none, 3, 60), nullptr);
    long long t = 0;
    EXPECT_TRUE(GpsFixTime(FixAt(0, 0, 0, 0, 0, 0), t));  // month and day 0 count as 1
    EXPECT_EQ(t, 946684800LL);                            // 2000-01-01 00:00:00
}

TEST(PlayProgress, SpeedNumberAndGauge)
{
    struct {
        double kmh;
        int kmhNumber;
        int mphNumber;
        float gauge;
    } cases[] = {
        {0, -1, -1, 0},      {7.9, -1, -1, 0},   {8, 8, 5, 0},        {9, 9, 6, 4.5f},
        {100, 100, 62, 50},  {199, 199, 124, 99.5f}, {200, 200, 124, 100}, {450, 450, 280, 100},
        {-20, -1, -1, 0},    {1e300, 100000, 62137, 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpeedNumber(c.kmh, FALSE), c.kmhNumber) << c.kmh;
        EXPECT_EQ(SpeedNumber(c.kmh, TRUE), c.mphNumber) << c.kmh;
        EXPECT_FLOAT_EQ(SpeedGauge(c.kmh), c.gauge) << c.kmh;
    }
}

TEST(PlayProgress, VolumeLevelsAndSpeedIndexes)
{
    struct {
        int volume;
        int level;
    } cases[] = {{0, 0}, {1, 1}, {19, 1}, {20, 2}, {39, 2}, {40, 3}, {59, 3}, {60, 4},
                 {79, 4}, {80, 5}, {100, 5}, {-1, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(VolumeLevel(c.volume), c.level) << c.volume;
    const float rates[] = {0.2f, 0.5f, 0.7f, 1.0f, 2.0f, 3.0f, 4.0f};
    for (int i = 0; i < 7; ++i)
        EXPECT_FLOAT_EQ(PlaySpeedForIndex(i), rates[i]);
    EXPECT_EQ(PlaySpeedForIndex(7), 0.0f);
    EXPECT_EQ(PlaySpeedForIndex(-1), 0.0f);
    EXPECT_EQ(PlaySpeedForIndex(LPARAM(1) << 40), 0.0f);
}

TEST(PlayProgress, ClickGuardDropsQuickRepeatsOfTheSameCommand)
{
    int id = 0;
    DWORD tick = 0;
    EXPECT_FALSE(IsRepeatedClickAt(id, tick, 1103, 1000, 5000));
    EXPECT_TRUE(IsRepeatedClickAt(id, tick, 1103, 1000, 5999));
    EXPECT_FALSE(IsRepeatedClickAt(id, tick, 1103, 1000, 6000));  // measured from the last pass
    EXPECT_FALSE(IsRepeatedClickAt(id, tick, 1104, 1000, 6001));  // another id: never a repeat
    EXPECT_FALSE(IsRepeatedClickAt(id, tick, 1103, 1000, 6002));
    // Across the tick count's wrap.
    int wrapId = 0;
    DWORD wrapTick = 0;
    EXPECT_FALSE(IsRepeatedClickAt(wrapId, wrapTick, 1105, 400, 0xFFFFFF00u));
    EXPECT_TRUE(IsRepeatedClickAt(wrapId, wrapTick, 1105, 400, 0x00000010u));
    EXPECT_FALSE(IsRepeatedClickAt(wrapId, wrapTick, 1105, 400, 0x00000100u));
}
