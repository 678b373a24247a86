// Image and Bitmap: a picture decoded at once from a stream.
#include <algorithm>
#include <new>
#include <vector>

#include "gdiplus.h"

using namespace Gdiplus;

namespace {

// The most bytes read from one stream: more than any picture within the size limits needs.
constexpr size_t kMaxStreamBytes = size_t(1) << 30;

// Reads the stream from its position to its end. Win32Error when a read fails, OutOfMemory
// beyond the limit or when memory runs out.
Status ReadAll(IStream* stream, std::vector<uint8_t>* bytes)
{
    constexpr ULONG kChunk = 1 << 16;
    try {
        for (;;) {
            size_t had = bytes->size();
            if (had >= kMaxStreamBytes)
                return OutOfMemory;
            bytes->resize(had + kChunk);
            ULONG read = 0;
            HRESULT hr = stream->Read(bytes->data() + had, kChunk, &read);
            if (FAILED(hr))
                return Win32Error;
            bytes->resize(had + std::min<ULONG>(read, kChunk));
            if (read == 0)
                return Ok;
        }
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
}

}  // namespace

namespace Gdiplus {

Image::~Image() = default;

UINT Image::GetWidth()
{
    if (!m_pixels) {
        SetStatus(InvalidParameter);
        return 0;
    }
    return m_width;
}

UINT Image::GetHeight()
{
    if (!m_pixels) {
        SetStatus(InvalidParameter);
        return 0;
    }
    return m_height;
}

Status Image::GetLastStatus() const
{
    Status last = m_lastResult;
    m_lastResult = Ok;
    return last;
}

Bitmap::Bitmap(IStream* stream)
{
    if (!platform::gdiplus::IsStarted()) {
        SetStatus(GdiplusNotInitialized);
        return;
    }
    if (!stream) {
        SetStatus(InvalidParameter);
        return;
    }
    std::vector<uint8_t> bytes;
    if (SetStatus(ReadAll(stream, &bytes)) != Ok)
        return;
    platform::gdiplus::Picture picture;
    if (SetStatus(platform::gdiplus::DecodePng(bytes.data(), bytes.size(), &picture)) != Ok)
        return;
    m_width = picture.width;
    m_height = picture.height;
    m_pixels = std::move(picture.pixels);
}

Bitmap* Bitmap::FromStream(IStream* stream)
{
    return new (std::nothrow) Bitmap(stream);
}

Status Bitmap::GetPixel(INT x, INT y, Color* color)
{
    if (!m_pixels || !color || x < 0 || y < 0 || UINT(x) >= m_width || UINT(y) >= m_height)
        return SetStatus(InvalidParameter);
    *color = Color(m_pixels[size_t(y) * m_width + size_t(x)]);
    return Ok;
}

}  // namespace Gdiplus
