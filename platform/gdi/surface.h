// The pixels that device contexts draw into, and the interface through which the window manager
// (window device contexts, layered windows), the compositor and GDI+ reach them. Not part of
// Windows; exported only so that the layer's own tests can reach it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/gdi.h"

namespace platform::gdi {

// A 32-bit BGRA pixel buffer: a bitmap's pixels, or a window's. A pixel is a uint32_t
// 0xAARRGGBB (blue at the lowest address); (x, y) counts from the top-left corner whatever the
// order in memory. Size and memory order never change after creation.
//
// Lock() guards the pixels: every GDI call holds it while it reads or writes them, and so must
// anyone else who touches them while another thread may draw (the compositor, GDI+). The only
// exception is the memory of a DIB section, which its owner may write directly, as on Windows.
class Surface {
public:
    // Zero-filled pixels; bottomUp puts the bottom row first in memory (DIB sections with a
    // positive height). Null for sizes below 1 or when the memory cannot be had.
    PLATFORM_API static std::shared_ptr<Surface> Create(int width, int height,
                                                        bool bottomUp = false);
    PLATFORM_API ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Row y (0 = top), m_width pixels.
    uint32_t* Row(int y) const { return reinterpret_cast<uint32_t*>(m_top + m_stride * y); }
    // The first byte in memory: the top row, or the bottom row of a bottom-up surface.
    void* Bits() const { return m_memory; }
    std::mutex& Lock() const { return m_lock; }

private:
    Surface() = default;

    int m_width = 0;
    int m_height = 0;
    uint8_t* m_memory = nullptr;  // owned, calloc'd
    uint8_t* m_top = nullptr;     // the top row inside m_memory
    ptrdiff_t m_stride = 0;       // bytes from one row to the one below it; negative when bottom-up
    mutable std::mutex m_lock;
};

// Where a device context draws: a surface, the surface position of logical (0, 0), and the
// visible part as rectangles in surface pixels, which must not overlap (each pixel is drawn
// once). Everything is also clipped to the surface's bounds.
struct Target {
    std::shared_ptr<Surface> surface;
    POINT origin = {0, 0};
    std::vector<RECT> clip;
};

// A device context onto a surface that is not a bitmap (a window's pixels). It behaves as a
// memory device context except that no bitmap can be selected into it. DeleteDC frees it.
PLATFORM_API HDC CreateSurfaceDC(Target target);

// Points an existing surface device context at another target (after a window was moved,
// resized or its update region changed). False for a memory device context or a bad handle.
PLATFORM_API bool SetSurfaceDCTarget(HDC dc, Target target);

// What the device context draws into now: for a memory device context, the selected bitmap's
// pixels with origin (0, 0) and the whole bitmap visible. False for a bad handle.
PLATFORM_API bool GetDCTarget(HDC dc, Target* target);

// The pixels of a bitmap (null for a bad handle).
PLATFORM_API std::shared_ptr<Surface> BitmapSurface(HBITMAP bitmap);

// Packs a COLORREF (0x00BBGGRR) into a pixel with the given alpha byte.
inline uint32_t PixelOf(COLORREF color, uint32_t alpha = 0)
{
    return (alpha << 24) | ((color & 0xffu) << 16) | (color & 0xff00u) | ((color >> 16) & 0xffu);
}

}  // namespace platform::gdi
