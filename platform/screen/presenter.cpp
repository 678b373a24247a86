#include "presenter.h"

#include <strings.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "sdl_presenter.h"

namespace platform::screen {

namespace {

struct Presenters {
    std::mutex lock;
    std::shared_ptr<SdlPresenter> sdl;  // guarded by lock; null while nothing is shown
};

Presenters& P()
{
    static Presenters* presenters = new Presenters;  // lives until the process ends
    return *presenters;
}

// Set by the first StartPresenter (and by StopPresenter): the automatic start happens once.
std::atomic<bool> g_autoStartDone{false};
std::once_flag g_exitHook;

bool DisplayExists()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

void StopAtExit()
{
    StopPresenter();
}

// Starts an SDL presenter unless one runs. Requires P().lock.
std::shared_ptr<SdlPresenter> StartSdlL(bool reportFailure)
{
    Presenters& p = P();
    if (p.sdl)
        return nullptr;
    // The thread must be gone before the process's static objects are, so it is stopped by an
    // exit handler registered now, after everything it uses was made.
    std::call_once(g_exitHook, [] { std::atexit(StopAtExit); });
    p.sdl = std::make_shared<SdlPresenter>();
    p.sdl->Start(reportFailure);
    return p.sdl;
}

}  // namespace

PresenterChoice ChoosePresenter(const char* setting, bool displayExists)
{
    PresenterChoice choice;
    PresenterKind fallback = displayExists ? PresenterKind::Sdl : PresenterKind::Headless;
    if (!setting || !*setting) {
        choice.kind = fallback;
    } else if (strcasecmp(setting, "headless") == 0) {
        choice.kind = PresenterKind::Headless;
    } else if (strcasecmp(setting, "sdl") == 0) {
        choice.kind = fallback;
        if (!displayExists)
            choice.note =
                "PLATFORM_PRESENTER=sdl: there is no display (DISPLAY and "
                "WAYLAND_DISPLAY are unset); the screen is not shown";
    } else {
        choice.kind = fallback;
        choice.note = std::string("PLATFORM_PRESENTER=") + setting +
                      ": not a presenter (headless or sdl); using " +
                      (fallback == PresenterKind::Sdl ? "sdl" : "headless");
    }
    return choice;
}

void StartPresenter()
{
    if (g_autoStartDone.exchange(true))
        return;
    const char* setting = std::getenv("PLATFORM_PRESENTER");
    PresenterChoice choice = ChoosePresenter(setting, DisplayExists());
    if (!choice.note.empty())
        std::fprintf(stderr, "%s\n", choice.note.c_str());
    if (choice.kind != PresenterKind::Sdl)
        return;
    std::lock_guard<std::mutex> guard(P().lock);
    // Only a user who asked for SDL by name hears that it failed; the default falls back
    // quietly.
    StartSdlL(setting && *setting);
}

bool StartSdlPresenter()
{
    std::shared_ptr<SdlPresenter> started;
    {
        std::lock_guard<std::mutex> guard(P().lock);
        started = StartSdlL(true);
    }
    if (!started)
        return false;
    if (started->WaitUntilOpen())
        return true;
    StopPresenter();
    return false;
}

void StopPresenter()
{
    g_autoStartDone.store(true);
    std::shared_ptr<SdlPresenter> running;
    {
        std::lock_guard<std::mutex> guard(P().lock);
        running.swap(P().sdl);
    }
    // Joined outside the lock: the thread may be waiting for the window manager's lock, whose
    // holder may be in StartPresenter. Only the thread that took it out of the table stops it.
    if (running)
        running->Stop();
}

PresenterKind ActivePresenter()
{
    std::lock_guard<std::mutex> guard(P().lock);
    return P().sdl && P().sdl->Open() ? PresenterKind::Sdl : PresenterKind::Headless;
}

}  // namespace platform::screen
