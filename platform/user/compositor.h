// What the compositor and the presenters (screen/) need of the window manager: the visible
// windows with their pixels in z-order, the screen's dirty area, the pointer, and a way to feed
// real input into the input queue.
//
// These are exported from the library for the layer's own tests, as GDI's surface interface is.
//
// Locks: TakeScreenState copies what it needs under the window manager's lock and returns
// without holding it. The surfaces it hands out are shared with the windows: read them under
// each surface's own lock (gdi::Surface::Lock), and never take the window manager's lock while
// holding one.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "../gdi/surface.h"
#include "platform/user.h"

namespace platform::user {

// One buffer of a window tree: a window's own pixels placed on the screen.
struct ScreenLayer {
    // The window's pixels, or null when nothing has been painted into it yet (the screen
    // shows what lies beneath).
    std::shared_ptr<gdi::Surface> pixels;
    POINT origin = {0, 0};  // screen position of the buffer's pixel (0, 0)
    // Where the layer may show: its window clipped by every ancestor's client area and by the
    // screen, in screen pixels. Empty layers are left out.
    RECT clip = {0, 0, 0, 0};
};

// A visible, not minimised top-level window.
struct ScreenWindow {
    HWND window = nullptr;
    RECT rect = {0, 0, 0, 0};  // screen pixels
    // A layered window has one layer, its UpdateLayeredWindow picture, composed source-over
    // with constantAlpha and, when perPixelAlpha is set, the picture's premultiplied alpha.
    // Every other window is opaque whatever its alpha bytes hold (GDI leaves them 0), with its
    // layers in painting order: the window, then its visible children bottom to top, each
    // followed by its own children.
    bool layered = false;
    BYTE constantAlpha = 255;
    bool perPixelAlpha = false;
    std::vector<ScreenLayer> layers;
};

enum class CursorShape { Arrow, IBeam, Wait, SizeNWSE, SizeNESW, SizeWE, SizeNS, SizeAll, Hand };

struct ScreenState {
    SIZE size = {0, 0};
    // Grows by one with every change of what the screen shows.
    uint64_t generation = 0;
    // The desktop's pixels (GetDC of the null window), beneath every window; null until drawn.
    std::shared_ptr<gdi::Surface> desktop;
    std::vector<ScreenWindow> windows;  // bottom to top
    // Screen rectangles that changed since the previous TakeScreenState, non-overlapping.
    std::vector<RECT> dirty;
    POINT cursor = {0, 0};
    CursorShape cursorShape = CursorShape::Arrow;
    bool cursorVisible = true;
};

// A snapshot of the screen; the dirty area starts afresh afterwards.
PLATFORM_API ScreenState TakeScreenState();

// Blocks until the screen's generation differs from `seen` or `milliseconds` pass (INFINITE
// waits for a change). Returns the generation now.
PLATFORM_API uint64_t WaitForScreenChange(uint64_t seen, DWORD milliseconds);

// Input as it arrives from a device, in screen pixels.
struct InputEvent {
    enum class Kind { Move, Button, Wheel, Key };
    Kind kind = Kind::Move;
    POINT point = {0, 0};  // Move, Button, Wheel: where the pointer is
    int button = 0;        // Button: 0 left, 1 right, 2 middle
    bool down = false;     // Button, Key
    int wheelDelta = 0;    // Wheel: multiples of WHEEL_DELTA, positive away from the user
    UINT virtualKey = 0;   // Key: a VK_ code
};

// Appends an event to the input queue, stamped with the window manager's clock. Any thread.
PLATFORM_API void PostInput(const InputEvent& event);

}  // namespace platform::user
