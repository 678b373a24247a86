// Pictures as the skin files hold them: 8-bit RGBA with straight (not premultiplied) alpha, so
// that a frame pixel can be transparent and still white or black in its colour channels.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SkinTable.h"

namespace skin {

struct Pixel {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Pixel&) const = default;
};

// Frame pixels: markers are opaque black; every other frame pixel is transparent white, which no
// reading of the frame takes for a marker, with or without looking at alpha.
constexpr Pixel kMarker = {0, 0, 0, 255};
constexpr Pixel kClear = {255, 255, 255, 0};

class Image {
public:
    Image() = default;
    Image(int width, int height)
        : m_width(width), m_height(height), m_pixels(size_t(width) * height)
    {
    }

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    Pixel& At(int x, int y) { return m_pixels[size_t(y) * m_width + x]; }
    const Pixel& At(int x, int y) const { return m_pixels[size_t(y) * m_width + x]; }

    // The straight-alpha copy of a premultiplied Cairo surface of the same size.
    static Image FromSurface(cairo_surface_t* surface);
    // A premultiplied Cairo surface of the image; the caller destroys it.
    cairo_surface_t* ToSurface() const;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<Pixel> m_pixels;
};

// Writes the frame that the picture's kind asks for over the image's outer pixels: nine-patch
// markers and content runs, the three-slice border with its marker, or the empty row and column
// of an inset icon. Plain pictures are left as they are.
void ApplyFrame(Image& image, const Picture& picture);

// Writes an 8-bit RGBA PNG; throws std::runtime_error on failure, leaving no file behind.
void WritePng(const Image& image, const std::string& path);

}  // namespace skin
