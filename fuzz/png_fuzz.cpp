// PNG pictures through GDI+: a Bitmap decoded from arbitrary bytes either fails with a status or
// holds a picture whose every pixel can be read and drawn. Checksums stop blind mutation at the
// first chunk, so half of the inputs are raw files and half describe a picture (size, kind,
// palette, scanlines) that the target wraps in chunks with correct checksums.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../tests/platform/gdiplus/pictures.h"
#include "platform/gdiplus.h"

namespace {

struct Scene {
    Scene()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
        dc = CreateCompatibleDC(nullptr);
        SelectObject(dc, CreateCompatibleBitmap(dc, 16, 16));
    }
    ULONG_PTR token = 0;
    HDC dc;
};

// The valid pairs of colour type and bit depth.
const struct {
    int type;
    int depth;
} kKinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
              {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

std::vector<uint8_t> Described(const uint8_t* data, size_t size)
{
    if (size < 6)
        return {};
    const auto& kind = kKinds[data[3] % (sizeof(kKinds) / sizeof(kKinds[0]))];
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    pngtest::PutBigEndian(&header, 1 + data[1] % 64);
    pngtest::PutBigEndian(&header, 1 + data[2] % 64);
    header.insert(header.end(),
                  {uint8_t(kind.depth), uint8_t(kind.type), 0, 0, uint8_t(data[4] & 1)});
    pngtest::PutChunk(&png, "IHDR", header);
    size_t at = 6;
    if (kind.type == 3) {
        size_t entries = 1 + data[5] % 16;
        size_t bytes = std::min(entries * 3, size - at);
        pngtest::PutChunk(&png, "PLTE", std::vector<uint8_t>(data + at, data + at + bytes));
        at += bytes;
        if (data[5] & 0x80) {
            size_t alphas = std::min<size_t>(entries, size - at);
            pngtest::PutChunk(&png, "tRNS", std::vector<uint8_t>(data + at, data + at + alphas));
            at += alphas;
        }
    }
    pngtest::PutChunk(&png, "IDAT",
                      pngtest::StoredZlib(std::vector<uint8_t>(data + at, data + size)));
    pngtest::PutChunk(&png, "IEND", {});
    return png;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Scene scene;
    if (size < 1)
        return 0;
    std::vector<uint8_t> bytes =
        (data[0] & 1) ? Described(data, size) : std::vector<uint8_t>(data + 1, data + size);
    ComPtr<IStream> stream = pngtest::StreamOf(bytes);
    if (!stream)
        return 0;
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream.Get()));
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok)
        return 0;
    INT width = INT(bitmap->GetWidth());
    INT height = INT(bitmap->GetHeight());
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        std::abort();
    Gdiplus::Color color;
    for (INT y : {0, height / 2, height - 1})
        for (INT x : {0, width / 2, width - 1})
            if (bitmap->GetPixel(x, y, &color) != Gdiplus::Ok)
                std::abort();
    if (bitmap->GetPixel(width, 0, &color) == Gdiplus::Ok)
        std::abort();
    Gdiplus::Graphics graphics(scene.dc);
    INT shift = data[0] >> 4;
    if (graphics.DrawImage(bitmap.get(), Gdiplus::Rect(-1, 1, 15, 14), shift - 4, 0, width, height,
                           Gdiplus::UnitPixel) != Gdiplus::Ok ||
        graphics.DrawImage(bitmap.get(), Gdiplus::Rect(3, 3, 5, 5), 0, 0, 5, 5,
                           Gdiplus::UnitPixel) != Gdiplus::Ok)
        std::abort();
    return 0;
}
