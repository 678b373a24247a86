// PLATFORM_SCREENSHOT=file.png: the screen as it is when the process exits (or, with
// PLATFORM_EXIT_AFTER, when that time is up: see exit_after.cpp).
//
// "When it exits" means before the layer takes down the exiting thread's windows: when the main
// thread leaves main, its thread-local objects end before any exit handler runs, and the window
// manager's thread record among them removes that thread's windows. So the picture is taken by
// a thread-local object of the main thread made just after that record, whose end therefore
// comes first. An exit handler takes it instead when the process ends from another thread.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "../user/wm.h"
#include "presenter.h"
#include "screenshot.h"

namespace platform::screen {

namespace {

std::atomic<bool> g_taken{false};

void TakeScreenshotAtExit() { TakeScreenshot(); }

struct MainThreadEnd {
    MainThreadEnd()
    {
        // Makes the thread's window-manager record first, so that this object ends before it.
        user::CurrentThread();
    }
    ~MainThreadEnd()
    {
        TakeScreenshot();
        // The presenter would show the windows going away; it has nothing more to show.
        StopPresenter();
    }
    void Arm() {}
};

thread_local MainThreadEnd t_mainThreadEnd;

struct Setup {
    Setup()
    {
        const char* path = std::getenv("PLATFORM_SCREENSHOT");
        if (!path || !*path)
            return;
        // The library is loaded by the main thread of the programs that link it.
        t_mainThreadEnd.Arm();
        std::atexit(TakeScreenshotAtExit);
    }
} g_setup;

}  // namespace

bool TakeScreenshot()
{
    if (g_taken.exchange(true))
        return false;
    const char* path = std::getenv("PLATFORM_SCREENSHOT");
    if (!path || !*path)
        return false;
    if (!SaveScreenFile(path, nullptr)) {
        std::fprintf(stderr, "PLATFORM_SCREENSHOT: cannot write the screen to \"%s\"\n", path);
        return false;
    }
    return true;
}

}  // namespace platform::screen
