// The test helper that saves a bitmap as PNG.
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <png.h>

#include "platform/testing.h"
#include "surface.h"

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Writes 8-bit RGB rows. Only plain data lives in this frame, because libpng reports errors by
// longjmp.
bool WritePng(FILE* file, int width, int height, const std::vector<png_bytep>& rows)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

namespace platform::testing {

bool SaveBitmapPng(HBITMAP bitmap, const std::string& path)
{
    std::shared_ptr<gdi::Surface> surface = gdi::BitmapSurface(bitmap);
    if (!surface)
        return false;
    int width = surface->Width();
    int height = surface->Height();
    std::vector<png_byte> pixels(size_t(width) * size_t(height) * 3);
    {
        std::lock_guard<std::mutex> guard(surface->Lock());
        for (int y = 0; y < height; ++y) {
            const uint32_t* row = surface->Row(y);
            png_byte* out = pixels.data() + size_t(y) * size_t(width) * 3;
            for (int x = 0; x < width; ++x) {
                out[3 * x] = png_byte(row[x] >> 16);
                out[3 * x + 1] = png_byte(row[x] >> 8);
                out[3 * x + 2] = png_byte(row[x]);
            }
        }
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[size_t(y)] = pixels.data() + size_t(y) * size_t(width) * 3;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    bool ok = WritePng(file.get(), width, height, rows);
    if (std::fflush(file.get()) != 0)
        ok = false;
    return ok;
}

}  // namespace platform::testing
