// Events, critical sections and the named mutex, within a process and across two.
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "platform/kernel.h"

namespace {

// The tests' names are ASCII.
std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}
std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += char(c);
    return narrow;
}

// Child roles: "mutex" creates the mutex named by KV_CHILD_NAME, tells the parent it is
// ready, holds the mutex until released, and exits with 0 when the name was new, 1 when it
// already existed, 2 when the creation failed.
int ChildRoles(const std::string& role)
{
    if (role != "mutex")
        return 100;
    std::wstring name = Widen(kvtest::ChildArgument("KV_CHILD_NAME"));
    SetLastError(ERROR_ALREADY_EXISTS);  // a stale value must not leak into the answer
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    int result = !mutex ? 2 : GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0;
    kvtest::ReadyAndWait();
    if (mutex)
        CloseHandle(mutex);
    return result;
}
KV_CHILD_ROLES(ChildRoles);

// A name no other test run uses at the same time.
std::wstring UniqueName(const char* what)
{
    static std::atomic<int> counter{0};
    return L"kvtest-" + std::to_wstring(getpid()) + L"-" + Widen(what) + L"-" +
           std::to_wstring(counter++);
}

// Guards the harness's own waits so that a broken event fails the test instead of hanging it.
constexpr auto kPatience = std::chrono::seconds(30);

// ---------------------------------------------------------------------------------------------
// Critical sections

TEST(CriticalSection, IsRecursiveForItsOwnerAndExcludesOtherThreads)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    auto otherThreadGetsIn = [&] {
        BOOL entered = FALSE;
        std::thread other([&] {
            entered = TryEnterCriticalSection(&section);
            if (entered)
                LeaveCriticalSection(&section);
        });
        other.join();
        return entered;
    };

    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));  // the owner enters again
    EnterCriticalSection(&section);
    EXPECT_FALSE(otherThreadGetsIn());
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    EXPECT_FALSE(otherThreadGetsIn()) << "still held once by its owner";
    LeaveCriticalSection(&section);
    EXPECT_TRUE(otherThreadGetsIn());
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, SerialisesNestedUpdatesFromManyThreads)
{
    struct Shared {
        CRITICAL_SECTION section;
        long counter = 0;  // guarded by section
    } shared;
    InitializeCriticalSection(&shared.section);
    constexpr int kThreads = 4, kRounds = 20000;
    auto work = [](LPVOID parameter) -> DWORD {
        auto* shared = static_cast<Shared*>(parameter);
        for (int i = 0; i < kRounds; ++i) {
            EnterCriticalSection(&shared->section);
            EnterCriticalSection(&shared->section);
            long seen = shared->counter;
            shared->counter = seen + 1;
            LeaveCriticalSection(&shared->section);
            LeaveCriticalSection(&shared->section);
        }
        return 0;
    };
    std::vector<HANDLE> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.push_back(CreateThread(nullptr, 0, work, &shared, 0, nullptr));
    for (HANDLE thread : threads) {
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    EXPECT_EQ(shared.counter, long(kThreads) * kRounds);
    DeleteCriticalSection(&shared.section);
}

// ---------------------------------------------------------------------------------------------
// Events

TEST(Event, SignalStateFollowsItsResetMode)
{
    // Steps: 'S' SetEvent, 'R' ResetEvent, '+' a wait of 0 that must succeed, '-' one that
    // must time out.
    struct Case {
        BOOL manualReset;
        BOOL initialState;
        const char* steps;
    } cases[] = {
        {FALSE, FALSE, "-S+-"},    // an auto-reset event is consumed by the wait it releases
        {FALSE, TRUE, "+-"},       // an initial signal counts once
        {FALSE, FALSE, "SS+-"},    // signals do not add up
        {FALSE, FALSE, "SR-"},     // a reset takes back an unconsumed signal
        {TRUE, FALSE, "-S+++R-"},  // a manual-reset event stays signalled until reset
        {TRUE, TRUE, "++R-S+"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "manual " << c.manualReset << ", initial "
                                        << c.initialState << ", steps " << c.steps);
        HANDLE event = CreateEventW(nullptr, c.manualReset, c.initialState, nullptr);
        ASSERT_NE(event, nullptr);
        for (const char* step = c.steps; *step; ++step) {
            switch (*step) {
                case 'S':
                    EXPECT_TRUE(SetEvent(event));
                    break;
                case 'R':
                    EXPECT_TRUE(ResetEvent(event));
                    break;
                case '+':
                    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0)
                        << "step " << step - c.steps;
                    break;
                case '-':
                    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT)
                        << "step " << step - c.steps;
                    break;
            }
        }
        CloseHandle(event);
    }
}

TEST(Event, AutoResetLetsOneBlockedWaiterThroughPerSet)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    constexpr int kWaiters = 8, kSets = 5;
    std::atomic<int> sets{0}, released{0}, overtakes{0};
    std::atomic<bool> stopping{false};
    std::counting_semaphore<kWaiters> oneReleased(0);
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            for (;;) {
                if (WaitForSingleObject(event, INFINITE) != WAIT_OBJECT_0)
                    return;
                if (stopping) {
                    SetEvent(event);  // passes the signal on to the next waiter
                    return;
                }
                // A correct event never lets more waiters through than there were sets.
                if (++released > sets)
                    ++overtakes;
                oneReleased.release();
            }
        });
    }
    for (int i = 0; i < kSets; ++i) {
        ++sets;
        ASSERT_TRUE(SetEvent(event));
        ASSERT_TRUE(oneReleased.try_acquire_for(kPatience)) << "set " << i << " released nobody";
    }
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "every signal was consumed";
    stopping = true;
    SetEvent(event);
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(released, kSets);
    EXPECT_EQ(overtakes, 0);
    CloseHandle(event);
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSignalled)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    constexpr int kWaiters = 6;
    std::counting_semaphore<kWaiters> released(0);
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0)
                released.release();
        });
    ASSERT_TRUE(SetEvent(event));
    for (int i = 0; i < kWaiters; ++i)
        ASSERT_TRUE(released.try_acquire_for(kPatience)) << "only " << i << " released";
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(event);
}

TEST(Event, TimedWaitOnAnUnsignalledEventTimesOutNoSooner)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ULONGLONG before = GetTickCount64();
    EXPECT_EQ(WaitForSingleObject(event, 30), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount64() - before, 30u);
    CloseHandle(event);
}

TEST(Event, NamedEventIsSharedUntilItsLastHandleCloses)
{
    std::wstring name = UniqueName("event");
    SetLastError(ERROR_ALREADY_EXISTS);
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << "a new name clears the last error";

    // The second creation's reset mode and initial state are ignored.
    HANDLE second = CreateEventW(nullptr, FALSE, TRUE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_NE(second, first);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(first));
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0) << "still manual-reset";

    // Names compare with regard to case.
    std::wstring upper = name;
    for (wchar_t& c : upper)
        c = towupper(c);
    HANDLE other = CreateEventW(nullptr, FALSE, FALSE, upper.c_str());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_TIMEOUT);
    CloseHandle(other);

    CloseHandle(first);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0) << "alive through its other handle";
    CloseHandle(second);
    HANDLE fresh = CreateEventW(nullptr, FALSE, FALSE, name.c_str());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << "the name went with its last handle";
    EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
    CloseHandle(fresh);
}

TEST(Event, BadHandlesAreRefused)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    HANDLE closed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(closed);
    for (HANDLE handle : {HANDLE(nullptr), closed, mutex, INVALID_HANDLE_VALUE}) {
        SetLastError(0);
        EXPECT_FALSE(SetEvent(handle));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(ResetEvent(handle));
    }
    EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
    CloseHandle(mutex);
}

// ---------------------------------------------------------------------------------------------
// The named mutex

TEST(NamedMutex, ReportsAnExistingNameWithinTheProcess)
{
    std::wstring name = UniqueName("mutex");
    SetLastError(ERROR_ALREADY_EXISTS);
    HANDLE first = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    HANDLE second = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));

    // Events and mutexes share one namespace.
    SetLastError(0);
    EXPECT_EQ(CreateEventW(nullptr, FALSE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

    // The mutex cannot be owned, so waiting on it fails rather than pretending.
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_FAILED);

    CloseHandle(first);
    CloseHandle(second);
    HANDLE again = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    CloseHandle(again);

    SetLastError(0);
    EXPECT_EQ(CreateMutexW(nullptr, TRUE, name.c_str()), nullptr) << "initial ownership";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(NamedMutex, AnotherProcessSeesTheNameWhileThisOneHoldsIt)
{
    std::wstring name = UniqueName("held-here");
    std::string variable = "KV_CHILD_NAME=" + Narrow(name);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    {
        kvtest::ChildProcess child("mutex", {variable});
        ASSERT_TRUE(child.Started());
        child.Release();
        EXPECT_EQ(child.Wait(), 1) << "the child should have found the name taken";
    }
    CloseHandle(mutex);
    kvtest::ChildProcess child("mutex", {variable});
    ASSERT_TRUE(child.Started());
    child.Release();
    EXPECT_EQ(child.Wait(), 0) << "closed here, the name is free again";
}

TEST(NamedMutex, NamesAreSharedWithinOneSessionOnly)
{
    std::wstring name = UniqueName("session");
    std::string variable = "KV_CHILD_NAME=" + Narrow(name);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    const char* ours = std::getenv("PLATFORM_SESSION");
    std::string other = std::string("other-") + (ours ? ours : "");
    for (const auto& [session, expected] : {std::pair{std::string(ours ? ours : ""), 1},
                                            std::pair{other, 0}}) {
        kvtest::ChildProcess child("mutex", {variable, "PLATFORM_SESSION=" + session});
        ASSERT_TRUE(child.Started());
        child.Release();
        EXPECT_EQ(child.Wait(), expected) << "session \"" << session << "\"";
    }
    CloseHandle(mutex);
}

TEST(NamedMutex, TheNameIsFreedWhenTheHoldingProcessEndsHoweverItEnds)
{
    for (bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "child killed" : "child exits");
        std::wstring name = UniqueName("held-there");
        kvtest::ChildProcess child("mutex", {"KV_CHILD_NAME=" + Narrow(name)});
        ASSERT_TRUE(child.Started());
        ASSERT_TRUE(child.WaitReady());

        HANDLE seen = CreateMutexW(nullptr, FALSE, name.c_str());
        ASSERT_NE(seen, nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
        CloseHandle(seen);

        if (killed) {
            child.Kill();
            EXPECT_EQ(child.Wait(), 128 + SIGKILL);
        } else {
            child.Release();
            EXPECT_EQ(child.Wait(), 0);
        }
        HANDLE mine = CreateMutexW(nullptr, FALSE, name.c_str());
        ASSERT_NE(mine, nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
        CloseHandle(mine);
    }
}

TEST(NamedMutex, OfProcessesCreatingTogetherExactlyOneFindsTheNameNew)
{
    std::wstring name = UniqueName("together");
    std::string variable = "KV_CHILD_NAME=" + Narrow(name);
    constexpr int kChildren = 4;
    std::vector<std::unique_ptr<kvtest::ChildProcess>> children;
    for (int i = 0; i < kChildren; ++i) {
        children.push_back(std::make_unique<kvtest::ChildProcess>("mutex", std::vector{variable}));
        ASSERT_TRUE(children.back()->Started());
    }
    // All hold their handles at once before any lets go.
    for (auto& child : children)
        ASSERT_TRUE(child->WaitReady());
    int fresh = 0, existing = 0;
    for (auto& child : children) {
        child->Release();
        int result = child->Wait();
        fresh += result == 0;
        existing += result == 1;
    }
    EXPECT_EQ(fresh, 1);
    EXPECT_EQ(existing, kChildren - 1);
}

}  // namespace
