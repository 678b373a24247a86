#include "app/PlayProgress.h"

#include <algorithm>
#include <cmath>

#include "ui/DebugLog.h"
#include "ui/TDropBriSpd.h"

namespace {

std::wstring ClockText(const wchar_t* format, int seconds)
{
    if (seconds < 0)
        seconds = 0;
    return FormatText(format, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

// Days since 1970-01-01 of a proleptic Gregorian date; linear in the day, so that a day beyond
// the month's end runs on into the next month.
long long DaysFromCivil(long long year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yoe = year - era * 400;
    const long long mp = (month + 9) % 12;
    const long long doy = (153 * mp + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The speed truncated to whole km/h; values beyond the displays' reach stop at a bound.
int WholeKmh(double kmh)
{
    if (!(kmh > 0))
        return 0;
    return kmh >= 100000.0 ? 100000 : static_cast<int>(kmh);
}

}  // namespace

std::wstring PlayTimeText(int seconds)
{
    return ClockText(L"%02d:%02d:%02d /", seconds);
}

std::wstring TotalTimeText(int seconds)
{
    return ClockText(L"%02d:%02d:%02d", seconds);
}

size_t GSensorSampleIndex(size_t n, int pos, int dur)
{
    if (n == 0 || dur <= 0 || pos <= 0)
        return 0;
    const unsigned long long index =
        static_cast<unsigned long long>(n) * static_cast<unsigned long long>(pos) /
        static_cast<unsigned long long>(dur);
    return index >= n ? n - 1 : static_cast<size_t>(index);
}

std::wstring GSensorLabelText(wchar_t axis, int value)
{
    const double g = static_cast<double>(value) / 128.0;
    return FormatText(value >= 0 ? L"%lc : %0.2f" : L"%lc :%0.2f", static_cast<wint_t>(axis), g);
}

std::wstring GSensorEmptyText(wchar_t axis)
{
    return FormatText(L"%lc :%0.2f", static_cast<wint_t>(axis), 0.0);
}

std::wstring GSensorStoppedText(wchar_t axis)
{
    return FormatText(L"%lc : %04d", static_cast<wint_t>(axis), 0);
}

bool GpsFixTime(const CGPSData& fix, long long& seconds)
{
    if (fix.m_nYear < 0 || fix.m_nMonth > 12 || fix.m_nDay > 31 || fix.m_nHour < 0 ||
        fix.m_nHour > 23 || fix.m_nMinute < 0 || fix.m_nMinute > 59 || fix.m_nSecond < 0 ||
        fix.m_nSecond > 59)
        return false;
    const int month = fix.m_nMonth < 1 ? 1 : fix.m_nMonth;
    const int day = fix.m_nDay < 1 ? 1 : fix.m_nDay;
    seconds = DaysFromCivil(2000LL + fix.m_nYear, month, day) * 86400LL + fix.m_nHour * 3600LL +
              fix.m_nMinute * 60LL + fix.m_nSecond;
    return true;
}

const CGPSData* PickGpsFix(const std::list<CGPSData>& fixes, int pos, int dur)
{
    if (fixes.empty() || dur <= 0)
        return nullptr;
    if (pos < 0)
        pos = 0;
    const size_t g = fixes.size();
    if (g >= static_cast<size_t>(dur)) {
        if (static_cast<size_t>(pos) >= g || pos == dur)
            return &fixes.back();
        auto it = fixes.begin();
        std::advance(it, pos);
        return &*it;
    }
    const CGPSData* chosen = nullptr;
    bool haveStart = false;
    long long target = 0;
    for (const CGPSData& fix : fixes) {
        long long t = 0;
        if (!GpsFixTime(fix, t))
            continue;
        if (!haveStart) {
            haveStart = true;
            target = t + pos;
        }
        if (t >= target) {
            chosen = &fix;
            break;
        }
    }
    if (chosen)
        return pos == dur ? &fixes.back() : chosen;
    if (static_cast<size_t>(pos) <= g)
        return &fixes.back();
    return nullptr;
}

int SpeedNumber(double kmh, BOOL mph)
{
    const int s = WholeKmh(kmh);
    if (s < 8)
        return -1;
    if (mph)
        return static_cast<int>(s * 0.621371192 + 0.5);
    return s;
}

float SpeedGauge(double kmh)
{
    const int s = WholeKmh(kmh);
    if (s <= 8)
        return 0.0f;
    return std::min(static_cast<float>(s) / 200.0f * 100.0f, 100.0f);
}

int VolumeLevel(int volume)
{
    if (volume < 0)
        return -1;
    if (volume >= 80)
        return 5;
    if (volume >= 60)
        return 4;
    if (volume >= 40)
        return 3;
    if (volume >= 20)
        return 2;
    if (volume >= 1)
        return 1;
    return 0;
}

float PlaySpeedForIndex(LPARAM index)
{
    if (index < 0 || index >= static_cast<LPARAM>(std::size(g_PlaySpeedTable)))
        return 0.0f;
    return g_PlaySpeedTable[index];
}

BOOL IsRepeatedClickAt(int& lastId, DWORD& lastTick, int id, DWORD interval, DWORD now)
{
    if (id == lastId && static_cast<DWORD>(now - lastTick) < interval)
        return TRUE;
    lastId = id;
    lastTick = now;
    return FALSE;
}
