// File times (100 ns since 1601-01-01 00:00 UTC) to local file times and to calendar fields.
//
// The local time zone is the C library's, so TZ chooses it; it is read afresh on every call so
// that a change of TZ takes effect at once, as a change of the PC's time zone does on Windows.
#include <ctime>

#include "platform/kernel.h"

namespace {

constexpr LONGLONG kTicksPerSecond = 10000000LL;
constexpr LONGLONG kTicksPerDay = kTicksPerSecond * 86400;
// 100 ns ticks from 1601-01-01 to 1970-01-01.
constexpr LONGLONG kUnixEpochTicks = 116444736000000000LL;

LONGLONG ToTicks(const FILETIME& time)
{
    return static_cast<LONGLONG>((ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

FILETIME FromTicks(LONGLONG ticks)
{
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(ULONGLONG(ticks) & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(ULONGLONG(ticks) >> 32);
    return result;
}

// The local time zone's offset from UTC in seconds, east positive, as it stands now.
long CurrentBiasSeconds()
{
    tzset();
    time_t now = time(nullptr);
    struct tm local {};
    if (!localtime_r(&now, &local))
        return 0;
    return local.tm_gmtoff;
}

}  // namespace

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime)
{
    if (!fileTime || !localFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Unsigned, so that a value with the top bit set is out of range rather than negative.
    ULONGLONG ticks = (ULONGLONG(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    LONGLONG bias = LONGLONG(CurrentBiasSeconds()) * kTicksPerSecond;
    constexpr ULONGLONG kLimit = 0x8000000000000000ull;
    if (ticks >= kLimit || (bias < 0 && ticks < ULONGLONG(-bias)) ||
        (bias > 0 && ticks >= kLimit - ULONGLONG(bias))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *localFileTime = FromTicks(LONGLONG(ticks) + bias);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime)
{
    if (!fileTime || !systemTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LONGLONG ticks = ToTicks(*fileTime);
    if (ticks < 0) {  // 0x8000000000000000 and above
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LONGLONG days = ticks / kTicksPerDay;
    LONGLONG rest = ticks % kTicksPerDay;
    // Days since 1970-01-01, turned into a civil date of the proleptic Gregorian calendar
    // (eras of 400 years, each starting on 1 March).
    LONGLONG z = days - (kUnixEpochTicks / kTicksPerDay) + 719468;
    LONGLONG era = (z >= 0 ? z : z - 146096) / 146097;
    LONGLONG dayOfEra = z - era * 146097;
    LONGLONG yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    LONGLONG dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    LONGLONG shiftedMonth = (5 * dayOfYear + 2) / 153;
    LONGLONG day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    LONGLONG month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    LONGLONG year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    // 1601-01-01 was a Monday.
    systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wHour = static_cast<WORD>(rest / (kTicksPerSecond * 3600));
    systemTime->wMinute = static_cast<WORD>(rest / (kTicksPerSecond * 60) % 60);
    systemTime->wSecond = static_cast<WORD>(rest / kTicksPerSecond % 60);
    systemTime->wMilliseconds = static_cast<WORD>(rest / 10000 % 1000);
    return TRUE;
}
