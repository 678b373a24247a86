// The virtual screen: every visible top-level window composed, bottom to top, into one opaque
// picture of the screen's size, redrawn only where the window manager reported a change.
//
// Locks: the compositor's own lock guards the picture and is held for a whole composition.
// Order: compositor lock, then the window manager's lock (inside TakeScreenState, released
// before any pixel is read), then one window surface's lock at a time. Nothing that holds the
// window manager's lock or a surface lock takes the compositor lock. Not part of Windows; the
// entry points are exported only for the layer's own tests and benchmarks.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "../user/compositor.h"
#include "../user/region.h"

namespace platform::screen {

// Where the pointer is and what it looks like, as of the last composition.
struct CursorState {
    POINT position = {0, 0};  // screen pixels
    user::CursorShape shape = user::CursorShape::Arrow;
    bool visible = true;
};

class Compositor {
public:
    // The process's compositor, made on first use; it lives until the process ends, so that a
    // presenter stopping late at exit still finds it.
    PLATFORM_API static Compositor& Get();

    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // Brings the picture up to date with the windows: recomposes what changed since the
    // previous composition, or every pixel when `everything` is set. Any thread.
    PLATFORM_API void Compose(bool everything = false);

    // Composes, then copies the part of the screen inside `area` (screen pixels; clipped to the
    // screen) into `pixels`, row by row from the top, every pixel 0xFFRRGGBB. False (nothing
    // copied) when the area holds no screen pixel.
    PLATFORM_API bool Read(const RECT& area, std::vector<uint32_t>* pixels, SIZE* size);

    // What a presenter is handed: the whole picture (size.cx pixels a row), the rectangles that
    // changed since the presenter's previous pass, whoever composed them, and the cursor.
    struct Frame {
        const uint32_t* pixels = nullptr;
        SIZE size = {0, 0};
        const std::vector<RECT>* changed = nullptr;
        CursorState cursor;
    };
    // Composes, then calls `present` with the frame, under the compositor's lock: `present`
    // must copy what it needs and must not call into the window manager. There is one
    // presenter at a time.
    void Present(const std::function<void(const Frame&)>& present);

    // The screen's size in pixels (fixed for the life of the process).
    SIZE Size();

private:
    Compositor() = default;

    // A window buffer as composed: its pixels, where they land and how.
    struct Layer {
        std::shared_ptr<gdi::Surface> pixels;
        POINT origin = {0, 0};
        RECT area = {0, 0, 0, 0};  // screen pixels this layer covers: its clip within its buffer
        bool opaque = true;        // copies its pixels, covering everything beneath
        uint32_t constantAlpha = 255;
        bool perPixelAlpha = false;
    };

    // The next three require m_lock.
    void ComposeL(bool everything);
    void PaintL(const RECT& dirty, const std::vector<Layer>& layers,
                const std::shared_ptr<gdi::Surface>& desktop);
    void EnsureSizeL(SIZE size);

    std::mutex m_lock;
    // The picture, m_size.cx pixels a row, top row first; each pixel 0xFFRRGGBB. Guarded by
    // m_lock, as are the members below.
    std::vector<uint32_t> m_pixels;
    SIZE m_size = {0, 0};
    bool m_composed = false;  // false until the first composition drew every pixel
    // What was recomposed since the presenter last looked.
    user::Region m_unpresented;
    std::vector<RECT> m_changed;  // the copy handed to the presenter
    CursorState m_cursor;
};

}  // namespace platform::screen
