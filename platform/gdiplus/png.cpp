// PNG decoding with libpng, into straight 8-bit ARGB.
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include <png.h>

#include "gdiplus.h"

using namespace Gdiplus;

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->offset)
        png_error(png, "truncated");
    std::memcpy(out, reader->data + reader->offset, length);
    reader->offset += length;
}

// libpng's own handlers print; a damaged picture is an ordinary result here.
void FailQuietly(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void WarnQuietly(png_structp, png_const_charp) {}

// What the decoding keeps outside the frame that calls setjmp, so that nothing in that frame
// changes between setjmp and a longjmp, and nothing with a destructor is jumped over.
struct Decoding {
    MemoryReader reader;
    png_structp png = nullptr;
    png_infop info = nullptr;
    Status failure = InvalidParameter;
    uint32_t width = 0;
    uint32_t height = 0;
    std::unique_ptr<ARGB[]> pixels;
    std::vector<png_bytep> rows;
};

// Allocates the pixels and the row table; false (with the failure noted) when the picture is
// too large or memory runs out. Not called from inside libpng.
bool Allocate(Decoding* d)
{
    if (d->width == 0 || d->height == 0 || d->width > platform::gdiplus::kMaxSide ||
        d->height > platform::gdiplus::kMaxSide ||
        uint64_t(d->width) * d->height > platform::gdiplus::kMaxPixels) {
        d->failure = OutOfMemory;
        return false;
    }
    try {
        // Not zero-filled: libpng writes every row before the picture is used.
        d->pixels.reset(new ARGB[size_t(d->width) * d->height]);
        d->rows.resize(d->height);
    } catch (const std::bad_alloc&) {
        d->failure = OutOfMemory;
        return false;
    }
    for (uint32_t y = 0; y < d->height; ++y)
        d->rows[y] = reinterpret_cast<png_bytep>(d->pixels.get() + size_t(y) * d->width);
    return true;
}

// Runs libpng over the bytes. Only the pointer to the decoding lives in this frame, because
// libpng reports errors by longjmp back to it.
bool Run(Decoding* d)
{
    if (setjmp(png_jmpbuf(d->png)))
        return false;
    png_set_read_fn(d->png, &d->reader, ReadFromMemory);
    png_read_info(d->png, d->info);
    int colorType = png_get_color_type(d->png, d->info);
    int bitDepth = png_get_bit_depth(d->png, d->info);
    // Every kind of picture becomes 8-bit B, G, R, A in memory, which is 0xAARRGGBB read as a
    // little-endian 32-bit value. No gamma is applied: the values stay the file's own.
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(d->png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(d->png);
    if (png_get_valid(d->png, d->info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(d->png);
    if (bitDepth == 16)
        png_set_scale_16(d->png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(d->png);
    png_set_filler(d->png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(d->png);
    png_set_interlace_handling(d->png);
    png_read_update_info(d->png, d->info);
    d->width = png_get_image_width(d->png, d->info);
    d->height = png_get_image_height(d->png, d->info);
    if (png_get_rowbytes(d->png, d->info) != size_t(d->width) * 4)
        return false;
    if (!Allocate(d))
        return false;
    png_read_image(d->png, d->rows.data());
    // The chunks after the pixels are checked as well: a file cut off there is truncated.
    png_read_end(d->png, nullptr);
    return true;
}

}  // namespace

namespace platform::gdiplus {

Status DecodePng(const uint8_t* data, size_t size, Picture* picture)
{
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return InvalidParameter;
    Decoding d;
    d.reader = MemoryReader{data, size, 0};
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, FailQuietly, WarnQuietly);
    if (!d.png)
        return OutOfMemory;
    d.info = png_create_info_struct(d.png);
    if (!d.info) {
        png_destroy_read_struct(&d.png, nullptr, nullptr);
        return OutOfMemory;
    }
    bool ok = Run(&d);
    png_destroy_read_struct(&d.png, &d.info, nullptr);
    if (!ok)
        return d.failure;
    picture->width = d.width;
    picture->height = d.height;
    picture->pixels = std::move(d.pixels);
    return Ok;
}

}  // namespace platform::gdiplus
