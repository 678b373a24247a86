// PLATFORM_EXIT_AFTER=seconds: a program that runs without anyone to close it (a headless run,
// a demonstration) shows itself for that long, then saves the screen and ends.
//
// When the time is up, on a thread of its own: the screen goes to PLATFORM_SCREENSHOT (when
// set; the picture at exit is then not taken again, since the windows are closing by then) and
// every visible top-level window without an owner is sent WM_CLOSE by posting, so that the
// program closes as if the user had closed it. A program that is still running a grace period
// later (a window that refuses to close, a modal loop in the way) gets WM_QUIT in each thread
// that has top-level windows; one still running after a second grace period is ended at once
// with exit code 124, so that a run never hangs.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/user.h"
#include "screenshot.h"

namespace platform::screen {

namespace {

constexpr std::chrono::seconds kGrace(3);
constexpr double kLongest = 7 * 24 * 3600.0;

// Reads "12" or "0.5": ASCII digits with an optional fraction, more than 0 and at most a week.
bool ParseSeconds(const char* text, double* seconds)
{
    double value = 0;
    bool digits = false;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p, digits = true)
        value = value * 10 + (*p - '0');
    if (*p == '.') {
        double scale = 0.1;
        for (++p; *p >= '0' && *p <= '9'; ++p, scale /= 10, digits = true)
            value += (*p - '0') * scale;
    }
    if (!digits || *p || value <= 0 || value > kLongest)
        return false;
    *seconds = value;
    return true;
}

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

class ExitAfter {
public:
    ~ExitAfter()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void Start(double seconds)
    {
        m_thread = std::thread([this, seconds] { Run(seconds); });
    }

private:
    // False when the process is ending anyway (its static objects are going).
    bool Wait(std::chrono::steady_clock::duration span)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return !m_wake.wait_for(guard, span, [this] { return m_stopping; });
    }

    void Run(double seconds)
    {
        if (!Wait(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(seconds))))
            return;
        if (TakeScreenshot())
            std::fprintf(stderr, "PLATFORM_EXIT_AFTER: the screen was saved to %s\n",
                         std::getenv("PLATFORM_SCREENSHOT"));
        for (HWND window : TopLevelWindows()) {
            if (IsWindowVisible(window) && !GetWindow(window, GW_OWNER))
                PostMessageW(window, WM_CLOSE, 0, 0);
        }
        if (!Wait(kGrace))
            return;
        std::set<DWORD> threads;
        for (HWND window : TopLevelWindows())
            threads.insert(GetWindowThreadProcessId(window, nullptr));
        for (DWORD thread : threads)
            PostThreadMessageW(thread, WM_QUIT, 0, 0);
        if (!Wait(kGrace))
            return;
        std::fprintf(stderr, "PLATFORM_EXIT_AFTER: the program did not end; ending it\n");
        std::fflush(stderr);
        std::_Exit(124);
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;  // guarded by m_lock
    std::thread m_thread;
};

struct Setup {
    Setup()
    {
        const char* text = std::getenv("PLATFORM_EXIT_AFTER");
        if (!text || !*text)
            return;
        double seconds = 0;
        if (!ParseSeconds(text, &seconds)) {
            std::fprintf(stderr, "PLATFORM_EXIT_AFTER: \"%s\" is not a number of seconds; ignored\n",
                         text);
            return;
        }
        m_exitAfter.Start(seconds);
    }
    ExitAfter m_exitAfter;
} g_setup;

}  // namespace

}  // namespace platform::screen
