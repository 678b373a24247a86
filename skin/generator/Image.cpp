#include "Image.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace skin {

Image Image::FromSurface(cairo_surface_t* surface)
{
    cairo_surface_flush(surface);
    int width = cairo_image_surface_get_width(surface);
    int height = cairo_image_surface_get_height(surface);
    int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    Image image(width, height);
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
        for (int x = 0; x < width; ++x) {
            uint32_t argb = row[x];
            unsigned a = argb >> 24;
            Pixel& p = image.At(x, y);
            p.a = uint8_t(a);
            if (a == 0)
                continue;  // stays transparent black
            auto straight = [a](unsigned c) { return uint8_t((c * 255 + a / 2) / a); };
            p.r = straight((argb >> 16) & 0xFF);
            p.g = straight((argb >> 8) & 0xFF);
            p.b = straight(argb & 0xFF);
        }
    }
    return image;
}

cairo_surface_t* Image::ToSurface() const
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m_width, m_height);
    int stride = cairo_image_surface_get_stride(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < m_height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + size_t(y) * stride);
        for (int x = 0; x < m_width; ++x) {
            const Pixel& p = At(x, y);
            auto pre = [&p](unsigned c) { return (c * p.a + 127) / 255; };
            row[x] = uint32_t(p.a) << 24 | pre(p.r) << 16 | pre(p.g) << 8 | pre(p.b);
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

namespace {

void ClearBorder(Image& image)
{
    for (int x = 0; x < image.Width(); ++x) {
        image.At(x, 0) = kClear;
        image.At(x, image.Height() - 1) = kClear;
    }
    for (int y = 0; y < image.Height(); ++y) {
        image.At(0, y) = kClear;
        image.At(image.Width() - 1, y) = kClear;
    }
}

}  // namespace

void ApplyFrame(Image& image, const Picture& picture)
{
    const Frame& f = picture.frame;
    int w = image.Width();
    int h = image.Height();
    switch (picture.kind) {
        case Kind::Plain:
            return;
        case Kind::Inset:
            for (int x = 0; x < w; ++x)
                image.At(x, 0) = kClear;
            for (int y = 0; y < h; ++y)
                image.At(0, y) = kClear;
            return;
        case Kind::SliceHorz:
            ClearBorder(image);
            image.At(1 + f.stretchX, 0) = kMarker;
            return;
        case Kind::SliceVert:
            ClearBorder(image);
            image.At(0, 1 + f.stretchY) = kMarker;
            return;
        case Kind::NinePatch:
            ClearBorder(image);
            image.At(1 + f.stretchX, 0) = kMarker;
            image.At(0, 1 + f.stretchY) = kMarker;
            // The content runs lie strictly inside the frame: the corners stay white, so each
            // run starts after a white pixel and ends at one.
            for (int y = 1 + f.contentTop; y <= h - 2 - f.contentBottom; ++y) {
                image.At(w - 1, y) = kMarker;
            }
            for (int x = 1 + f.contentLeft; x <= w - 2 - f.contentRight; ++x) {
                image.At(x, h - 1) = kMarker;
            }
            return;
    }
}

namespace {

// The libpng write structures, freed when the write ends either way.
struct WriteState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteState() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// libpng reports errors by this callback, which keeps the message and returns to the setjmp
// point of WriteTo; nothing with a destructor lives between the two.
void PngError(png_structp png, png_const_charp message)
{
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Returns false with the message in error when libpng fails.
bool WriteTo(FILE* file, const Image& image, std::string& error)
{
    WriteState state;
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, PngError, PngWarning);
    if (!state.png)
        return false;
    state.info = png_create_info_struct(state.png);
    if (!state.info)
        return false;
    if (setjmp(png_jmpbuf(state.png)))
        return false;
    png_init_io(state.png, file);
    png_set_compression_level(state.png, 9);
    png_set_IHDR(state.png, state.info, image.Width(), image.Height(), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(state.png, state.info);
    for (int y = 0; y < image.Height(); ++y) {
        png_write_row(state.png, reinterpret_cast<png_const_bytep>(&image.At(0, y)));
    }
    png_write_end(state.png, nullptr);
    return true;
}

}  // namespace

void WritePng(const Image& image, const std::string& path)
{
    static_assert(sizeof(Pixel) == 4, "a row of pixels is a row of RGBA bytes");
    std::string temporary = path + ".part";
    try {
        std::unique_ptr<FILE, FileCloser> file(std::fopen(temporary.c_str(), "wb"));
        if (!file)
            throw std::runtime_error("cannot create " + temporary);
        std::string error = "libpng cannot start";
        if (!WriteTo(file.get(), image, error)) {
            throw std::runtime_error("cannot write " + path + ": " + error);
        }
        if (std::fflush(file.get()) != 0)
            throw std::runtime_error("cannot write " + temporary);
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot rename " + temporary + " to " + path);
    }
}

}  // namespace skin
