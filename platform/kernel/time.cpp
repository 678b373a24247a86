// Sleep and the tick counts. Ticks are milliseconds of CLOCK_MONOTONIC, which counts from an
// arbitrary point (on Linux, the boot) and is never set back; GetTickCount is its low 32 bits,
// so it wraps after about 49.7 days and callers compare tick counts by unsigned difference.
#include <cerrno>
#include <ctime>

#include <sched.h>

#include "platform/kernel.h"

namespace {

ULONGLONG MonotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return ULONGLONG(now.tv_sec) * 1000u + ULONGLONG(now.tv_nsec) / 1000000u;
}

}  // namespace

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        // As on Windows, a zero sleep gives up the rest of the time slice.
        sched_yield();
        return;
    }
    if (milliseconds == INFINITE) {
        // Never returns, as on Windows: the thread only ends with the process.
        for (;;) {
            timespec day{86400, 0};
            nanosleep(&day, nullptr);
        }
    }
    timespec remaining{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    // A signal handler interrupts nanosleep; the rest of the time is slept afterwards.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

DWORD GetTickCount()
{
    return DWORD(MonotonicMilliseconds());
}

ULONGLONG GetTickCount64()
{
    return MonotonicMilliseconds();
}
