// Threads (handles, exit codes, ids) and time (Sleep, tick counts).
#include <atomic>
#include <chrono>
#include <semaphore>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(30);

// A thread that returns `result` once `go` is set, after noting its own id.
struct Gated {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD result = 0;
    std::atomic<DWORD> idInside{0};
    ~Gated() { CloseHandle(go); }

    static DWORD WINAPI Run(LPVOID parameter)
    {
        auto* gated = static_cast<Gated*>(parameter);
        gated->idInside = GetCurrentThreadId();
        WaitForSingleObject(gated->go, INFINITE);
        return gated->result;
    }
};

TEST(Thread, HandleIsSignalledWithTheFunctionsResultWhenItReturns)
{
    // STILL_ACTIVE as a result cannot be told from a running thread, on Windows too.
    for (DWORD result : {DWORD(0), DWORD(42), DWORD(0xFFFFFFFF), DWORD(STILL_ACTIVE)}) {
        SCOPED_TRACE(result);
        Gated gated;
        gated.result = result;
        HANDLE thread = CreateThread(nullptr, 0, Gated::Run, &gated, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        DWORD code = 0;
        ASSERT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, DWORD(STILL_ACTIVE));
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);

        SetEvent(gated.go);
        EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "stays signalled";
        ASSERT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, result);
        EXPECT_TRUE(CloseHandle(thread));
    }
}

TEST(Thread, EveryWaiterOnAThreadIsReleasedWhenItEnds)
{
    Gated gated;
    HANDLE thread = CreateThread(nullptr, 0, Gated::Run, &gated, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    constexpr int kWaiters = 4;
    std::counting_semaphore<kWaiters> released(0);
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0)
                released.release();
        });
    SetEvent(gated.go);
    for (int i = 0; i < kWaiters; ++i)
        EXPECT_TRUE(released.try_acquire_for(kPatience));
    for (auto& waiter : waiters)
        waiter.join();
    CloseHandle(thread);
}

TEST(Thread, RunsOnAfterItsHandleIsClosed)
{
    struct Work {
        HANDLE go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        int value = 0;  // written by the thread before it sets `done`
    } work;
    auto run = [](LPVOID parameter) -> DWORD {
        auto* work = static_cast<Work*>(parameter);
        WaitForSingleObject(work->go, INFINITE);
        work->value = 7;
        SetEvent(work->done);
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 0, run, &work, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread)) << "a closed handle is gone";
    SetEvent(work.go);
    ASSERT_EQ(WaitForSingleObject(work.done, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(work.value, 7);
    CloseHandle(work.go);
    CloseHandle(work.done);
}

TEST(Thread, IdsNameThreadsAndTheProcess)
{
    Gated gated;
    DWORD reported = 0;
    HANDLE thread = CreateThread(nullptr, 0, Gated::Run, &gated, 0, &reported);
    ASSERT_NE(thread, nullptr);
    SetEvent(gated.go);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    EXPECT_NE(reported, 0u);
    EXPECT_EQ(gated.idInside.load(), reported);
    EXPECT_NE(GetCurrentThreadId(), reported);
    EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());
    DWORD foreign = 0;
    std::thread([&] { foreign = GetCurrentThreadId(); }).join();
    EXPECT_NE(foreign, 0u);
    EXPECT_NE(foreign, GetCurrentThreadId());
    EXPECT_NE(foreign, reported);
    EXPECT_EQ(GetCurrentProcessId(), DWORD(getpid()));
}

TEST(Thread, BadRequestsAreRefused)
{
    auto nothing = [](LPVOID) -> DWORD { return 0; };
    struct Case {
        LPTHREAD_START_ROUTINE routine;
        DWORD flags;
    } cases[] = {{nullptr, 0}, {nothing, CREATE_SUSPENDED}};
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(CreateThread(nullptr, 0, c.routine, nullptr, c.flags, nullptr), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }

    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD code = 123;
    for (HANDLE handle : {HANDLE(nullptr), event}) {
        SetLastError(0);
        EXPECT_FALSE(GetExitCodeThread(handle, &code));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
    EXPECT_EQ(code, 123u);
    CloseHandle(event);
}

TEST(Thread, HonoursASmallStackRequest)
{
    auto run = [](LPVOID) -> DWORD {
        volatile char scratch[16 * 1024];
        scratch[0] = 1;
        return scratch[0] + 1;
    };
    HANDLE thread = CreateThread(nullptr, 1, run, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 2u);
    CloseHandle(thread);
}

// ---------------------------------------------------------------------------------------------
// Time

TEST(Time, TickCountIsTheLow32BitsOfTheMonotonicMilliseconds)
{
    ULONGLONG before = GetTickCount64();
    DWORD ticks = GetTickCount();
    ULONGLONG after = GetTickCount64();
    ASSERT_LE(before, after);
    // Unsigned differences, so the check holds across a wrap of the 32-bit count.
    EXPECT_LE(DWORD(ticks - DWORD(before)), DWORD(after - before));
}

TEST(Time, SleepLastsAtLeastTheMilliseconds)
{
    ULONGLONG before = GetTickCount64();
    Sleep(25);
    EXPECT_GE(GetTickCount64() - before, 25u);
    Sleep(0);  // only yields
}

}  // namespace
