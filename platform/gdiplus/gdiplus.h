// Shared inside the GDI+ part of the layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/gdiplus.h"

namespace platform::gdiplus {

// True while at least one GdiplusStartup token is outstanding. Any thread.
bool IsStarted();

// The largest picture a Bitmap decodes: pixels per side and pixels in all.
constexpr uint32_t kMaxSide = 16384;
constexpr uint64_t kMaxPixels = uint64_t(1) << 26;

// A decoded picture: straight ARGB (0xAARRGGBB), row after row from the top.
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::unique_ptr<Gdiplus::ARGB[]> pixels;
};

// Decodes a whole PNG file held in memory. Ok and the picture, or InvalidParameter (not a PNG,
// damaged, truncated) or OutOfMemory (too large, see above); never throws, whatever the bytes.
Gdiplus::Status DecodePng(const uint8_t* data, size_t size, Picture* picture);

}  // namespace platform::gdiplus
