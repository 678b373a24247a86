// Graphics: bilinear, premultiplied source-over drawing of pictures into device contexts.
#include <algorithm>
#include <vector>

#include "../gdi/paint.h"
#include "gdiplus.h"

using namespace Gdiplus;
using platform::gdi::Box;
using platform::gdi::Div255;

namespace {

// Where one destination column (or row) samples the picture: between picture columns first
// and first + 1, weight / 256 of the way; weight 0 reads first alone. first is -1 when the
// column's centre maps outside the sampled area, which leaves the column unchanged.
struct Sample {
    int64_t first;
    uint32_t weight;
};

int64_t FloorDiv(__int128 value, int64_t divisor)
{
    __int128 quotient = value / divisor;
    if (value % divisor != 0 && value < 0)
        --quotient;
    return int64_t(quotient);
}

// Samples for destination offsets [from, to) of a destination edge of `destLength` pixels
// showing source [sourceStart, sourceStart + sourceLength), of which [low, high) is sampled.
// Positions are kept in units of 1 / (2 x destLength) pixel so that they are exact: the centre
// of destination offset k maps to sourceStart + (k + 0.5) x sourceLength / destLength.
void MapEdge(int64_t from, int64_t to, int64_t destLength, int64_t sourceStart,
             int64_t sourceLength, int64_t low, int64_t high, std::vector<Sample>* samples)
{
    samples->clear();
    const int64_t unit = 2 * destLength;
    for (int64_t k = from; k < to; ++k) {
        __int128 centre =
            __int128(2) * sourceStart * destLength + __int128(2 * k + 1) * sourceLength;
        if (centre < __int128(low) * unit || centre >= __int128(high) * unit) {
            samples->push_back({-1, 0});
            continue;
        }
        // The sample point is the centre less half a pixel: pixel x's centre is x + 0.5.
        __int128 point = centre - destLength;
        int64_t first = FloorDiv(point, unit);
        int64_t remainder = int64_t(point - __int128(first) * unit);
        if (first < low) {
            first = low;
            remainder = 0;
        } else if (first >= high - 1) {
            first = high - 1;
            remainder = 0;
        }
        uint32_t weight = uint32_t((__int128(remainder) * 256 + destLength) / unit);
        if (weight >= 256) {
            ++first;
            weight = 0;
        }
        samples->push_back({first, weight});
    }
}

inline uint32_t Premultiply(ARGB pixel)
{
    uint32_t alpha = pixel >> 24;
    if (alpha == 255)
        return pixel;
    if (alpha == 0)
        return 0;
    uint32_t r = Div255(((pixel >> 16) & 0xFF) * alpha);
    uint32_t g = Div255(((pixel >> 8) & 0xFF) * alpha);
    uint32_t b = Div255((pixel & 0xFF) * alpha);
    return (alpha << 24) | (r << 16) | (g << 8) | b;
}

// The premultiplied value between four premultiplied pixels, weights in 1/256.
inline uint32_t Interpolate(uint32_t p00, uint32_t p01, uint32_t p10, uint32_t p11, uint32_t wx,
                            uint32_t wy)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t top = ((p00 >> shift) & 0xFF) * (256 - wx) + ((p01 >> shift) & 0xFF) * wx;
        uint32_t bottom = ((p10 >> shift) & 0xFF) * (256 - wx) + ((p11 >> shift) & 0xFF) * wx;
        uint32_t value = (top * (256 - wy) + bottom * wy + 32768) >> 16;
        out |= value << shift;
    }
    return out;
}


}  // namespace

namespace Gdiplus {

Graphics::Graphics(HDC dc) : m_dc(dc)
{
    platform::gdi::Target target;
    if (!platform::gdiplus::IsStarted())
        SetStatus(GdiplusNotInitialized);
    else if (!platform::gdi::GetDCTarget(dc, &target))
        SetStatus(InvalidParameter);
}

Graphics::~Graphics() = default;

Status Graphics::GetLastStatus() const
{
    Status last = m_lastResult;
    m_lastResult = Ok;
    return last;
}

Status Graphics::DrawImage(Image* image, const Rect& destination, INT sourceX, INT sourceY,
                           INT sourceWidth, INT sourceHeight, Unit sourceUnit)
{
    if (!image || !image->m_pixels || sourceUnit != UnitPixel || destination.Width < 0 ||
        destination.Height < 0 || sourceWidth < 0 || sourceHeight < 0)
        return SetStatus(InvalidParameter);
    platform::gdi::Target target;
    if (!platform::gdi::GetDCTarget(m_dc, &target))
        return SetStatus(Win32Error);
    if (!target.surface || destination.Width == 0 || destination.Height == 0 || sourceWidth == 0 ||
        sourceHeight == 0)
        return Ok;
    // The part of the source rectangle that lies on the picture is what is sampled.
    const int64_t low = std::max<int64_t>(sourceX, 0);
    const int64_t top = std::max<int64_t>(sourceY, 0);
    const int64_t high = std::min<int64_t>(int64_t(sourceX) + sourceWidth, image->m_width);
    const int64_t bottom = std::min<int64_t>(int64_t(sourceY) + sourceHeight, image->m_height);
    if (low >= high || top >= bottom)
        return Ok;

    const Box box = platform::gdi::DeviceBox(destination.X, destination.Y, destination.Width,
                                             destination.Height, target.origin);
    const ARGB* pixels = image->m_pixels.get();
    const size_t stride = image->m_width;
    std::vector<Sample> columns;
    std::vector<Sample> rows;
    std::lock_guard<std::mutex> guard(target.surface->Lock());
    for (const RECT& clip : target.clip) {
        RECT area;
        if (!platform::gdi::ClipBox(box, clip, &area))
            continue;
        MapEdge(area.left - box.left, area.right - box.left, destination.Width, sourceX,
                sourceWidth, low, high, &columns);
        MapEdge(area.top - box.top, area.bottom - box.top, destination.Height, sourceY,
                sourceHeight, top, bottom, &rows);
        for (LONG y = area.top; y < area.bottom; ++y) {
            const Sample& row = rows[size_t(y - area.top)];
            if (row.first < 0)
                continue;
            const ARGB* line0 = pixels + size_t(row.first) * stride;
            const ARGB* line1 = row.weight ? line0 + stride : line0;
            uint32_t* out = target.surface->Row(y);
            for (LONG x = area.left; x < area.right; ++x) {
                const Sample& column = columns[size_t(x - area.left)];
                if (column.first < 0)
                    continue;
                size_t x0 = size_t(column.first);
                size_t x1 = column.weight ? x0 + 1 : x0;
                uint32_t source;
                if (!column.weight && !row.weight) {
                    source = Premultiply(line0[x0]);
                } else {
                    source = Interpolate(Premultiply(line0[x0]), Premultiply(line0[x1]),
                                         Premultiply(line1[x0]), Premultiply(line1[x1]),
                                         column.weight, row.weight);
                }
                out[x] = platform::gdi::PremultipliedOver(source, out[x]);
            }
        }
    }
    return Ok;
}

}  // namespace Gdiplus
