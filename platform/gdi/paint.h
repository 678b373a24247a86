// Pixel arithmetic and clipping shared by the drawing calls.
#pragma once

#include <algorithm>
#include <cstdint>

#include "surface.h"

namespace platform::gdi {

// A rectangle in surface pixels that may lie anywhere (logical coordinates plus an origin can
// pass the range of a LONG).
struct Box {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;
};

inline Box DeviceBox(int64_t x, int64_t y, int64_t width, int64_t height, POINT origin)
{
    return Box{x + origin.x, y + origin.y, x + origin.x + width, y + origin.y + height};
}

// The part of `box` inside one clip rectangle (already within the surface); false when empty.
inline bool ClipBox(const Box& box, const RECT& clip, RECT* out)
{
    int64_t left = std::max<int64_t>(box.left, clip.left);
    int64_t top = std::max<int64_t>(box.top, clip.top);
    int64_t right = std::min<int64_t>(box.right, clip.right);
    int64_t bottom = std::min<int64_t>(box.bottom, clip.bottom);
    if (left >= right || top >= bottom)
        return false;
    *out = RECT{LONG(left), LONG(top), LONG(right), LONG(bottom)};
    return true;
}

// x / 255 rounded to the nearest integer, for 0 <= x <= 255 * 255.
inline uint32_t Div255(uint32_t x)
{
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// Every channel of a pixel, alpha included, scaled by alpha / 255 (0..255): a premultiplied
// pixel made that much more transparent.
inline uint32_t ScaleChannels(uint32_t pixel, uint32_t alpha)
{
    uint32_t scaled = 0;
    for (int shift = 0; shift < 32; shift += 8)
        scaled |= Div255(((pixel >> shift) & 0xFF) * alpha) << shift;
    return scaled;
}

// A premultiplied source pixel over a premultiplied destination pixel (source-over), each
// channel saturated at 255 so that a source whose colour exceeds its alpha cannot wrap.
inline uint32_t PremultipliedOver(uint32_t source, uint32_t dest)
{
    uint32_t alpha = source >> 24;
    if (alpha == 255)
        return source;
    if (source == 0)
        return dest;
    uint32_t inverse = 255 - alpha;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t value = ((source >> shift) & 0xFF) + Div255(((dest >> shift) & 0xFF) * inverse);
        out |= std::min<uint32_t>(value, 255) << shift;
    }
    return out;
}

// Colour over a pixel with coverage 1..255: each colour channel moves towards the colour by the
// coverage; the alpha byte becomes 0, as GDI leaves it wherever it draws.
inline uint32_t Cover(uint32_t pixel, uint32_t color, uint32_t coverage)
{
    if (coverage >= 255)
        return color & 0x00FFFFFFu;
    uint32_t inverse = 255 - coverage;
    uint32_t b = Div255((color & 0xFF) * coverage + (pixel & 0xFF) * inverse);
    uint32_t g = Div255(((color >> 8) & 0xFF) * coverage + ((pixel >> 8) & 0xFF) * inverse);
    uint32_t r = Div255(((color >> 16) & 0xFF) * coverage + ((pixel >> 16) & 0xFF) * inverse);
    return (r << 16) | (g << 8) | b;
}

// Fills the part of a box inside the target's clip with one pixel value. Requires the
// surface's lock.
inline void FillBox(const Target& target, const Box& box, uint32_t pixel)
{
    for (const RECT& clip : target.clip) {
        RECT area;
        if (!ClipBox(box, clip, &area))
            continue;
        for (LONG y = area.top; y < area.bottom; ++y) {
            uint32_t* row = target.surface->Row(y);
            std::fill(row + area.left, row + area.right, pixel);
        }
    }
}

}  // namespace platform::gdi
