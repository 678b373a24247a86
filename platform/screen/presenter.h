// The presenters: what shows the composed screen to a person. `headless` shows nothing (tests,
// CI); `sdl` shows the screen in an SDL2 window and feeds that window's mouse, keyboard, wheel
// and dropped files back into the window manager. PLATFORM_PRESENTER chooses; the default is
// `sdl` where a display exists (DISPLAY or WAYLAND_DISPLAY set) and SDL can open it, else
// `headless`.
//
// The SDL presenter runs on a thread of its own, which owns every SDL video object: the window
// manager offers the screen (TakeScreenState, WaitForScreenChange) and the input queue
// (PostInput) to any thread, so nothing has to run on the user-interface thread's idle. Not
// part of Windows; the exported entry points exist for the layer's own tests.
#pragma once

#include <string>

#include "platform/base.h"

namespace platform::screen {

enum class PresenterKind { Headless, Sdl };

struct PresenterChoice {
    PresenterKind kind = PresenterKind::Headless;
    // Why the setting was not followed as written, for standard error; empty when it was.
    std::string note;
};

// The presenter for a PLATFORM_PRESENTER value (null or empty when unset) on a machine with or
// without a display. Without a display the SDL presenter is never chosen.
PLATFORM_API PresenterChoice ChoosePresenter(const char* setting, bool displayExists);

// Starts the presenter that PLATFORM_PRESENTER chooses, the first time a top-level window is
// shown; later calls do nothing. Returns at once without waiting for SDL; the presenter falls
// back to showing nothing when SDL cannot open the display. Safe under the window manager's
// lock.
void StartPresenter();

// Starts the SDL presenter now with whatever video driver SDL picks (SDL_VIDEODRIVER), whatever
// PLATFORM_PRESENTER says, and waits until its window is open. False when SDL cannot show the
// screen or a presenter already runs. For tests, which use SDL's dummy video driver.
PLATFORM_API bool StartSdlPresenter();

// Stops the running presenter, if any, and waits for its thread: its window closes and SDL's
// video ends. Later StartPresenter calls do nothing. Called at exit as well.
PLATFORM_API void StopPresenter();

// The presenter showing the screen now.
PLATFORM_API PresenterKind ActivePresenter();

}  // namespace platform::screen
