// BitBlt, StretchBlt and AlphaBlend.
#include <cstring>
#include <vector>

#include "object.h"
#include "paint.h"

using namespace platform::gdi;

namespace {

enum class Mode { Copy, Blend };

// The source pixels a blit reads. When source and destination are one surface the needed part
// is copied first, so that overlapping rectangles read the pixels as they were before the call.
class SourcePixels {
public:
    SourcePixels(const Surface& surface, bool snapshot, const Box& area) : m_surface(surface)
    {
        if (!snapshot)
            return;
        m_left = std::max<int64_t>(area.left, 0);
        m_top = std::max<int64_t>(area.top, 0);
        int64_t right = std::min<int64_t>(area.right, surface.Width());
        int64_t bottom = std::min<int64_t>(area.bottom, surface.Height());
        m_width = std::max<int64_t>(right - m_left, 0);
        int64_t height = std::max<int64_t>(bottom - m_top, 0);
        m_copy.resize(size_t(m_width * height));
        for (int64_t y = 0; y < height; ++y)
            std::memcpy(m_copy.data() + y * m_width, surface.Row(int(m_top + y)) + m_left,
                        size_t(m_width) * 4);
        m_snapshot = true;
    }
    // Pixels of row y of the surface from column x on; (x, y) must lie in the needed part.
    const uint32_t* At(int64_t x, int64_t y) const
    {
        if (!m_snapshot)
            return m_surface.Row(int(y)) + x;
        return m_copy.data() + (y - m_top) * m_width + (x - m_left);
    }

private:
    const Surface& m_surface;
    bool m_snapshot = false;
    int64_t m_left = 0;
    int64_t m_top = 0;
    int64_t m_width = 0;
    std::vector<uint32_t> m_copy;
};

struct BlendParams {
    uint32_t constantAlpha = 255;
    bool perPixel = false;
};

// offset x numerator / denominator, for offsets from a destination edge that may lie far off
// the surface (the product can pass 64 bits); offset and denominator are not negative.
inline int64_t Scale(int64_t offset, int numerator, int denominator)
{
    return int64_t(__int128(offset) * numerator / denominator);
}

inline uint32_t BlendPixel(uint32_t source, uint32_t dest, const BlendParams& blend)
{
    uint32_t sca = blend.constantAlpha;
    if (!blend.perPixel) {
        uint32_t inverse = 255 - sca;
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            uint32_t s = (source >> shift) & 0xFF;
            uint32_t d = (dest >> shift) & 0xFF;
            out |= Div255(s * sca + d * inverse) << shift;
        }
        return out;
    }
    if (sca != 255)
        source = ScaleChannels(source, sca);
    return PremultipliedOver(source, dest);
}

// The shared body of the three blits, with the device contexts' handles already checked.
// Destination and source boxes are in logical units; sizes are not negative.
BOOL Blit(HDC destinationHandle, int x, int y, int width, int height, HDC sourceHandle, int sx,
          int sy, int sourceWidth, int sourceHeight, Mode mode, const BlendParams& blend)
{
    auto destination = LookupDc(destinationHandle);
    if (!destination)
        return FALSE;
    auto source = LookupDc(sourceHandle);
    if (!source)
        return FALSE;
    DcLock lock(destination.get(), source.get());
    Target to = destination->CurrentTarget();
    Target from = source->CurrentTarget();
    if (!from.surface) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return mode == Mode::Copy;
    }
    Box sourceBox = DeviceBox(sx, sy, sourceWidth, sourceHeight, from.origin);
    Box destBox = DeviceBox(x, y, width, height, to.origin);
    const Surface& src = *from.surface;
    bool same = to.surface == from.surface;
    if (mode == Mode::Blend) {
        // The source rectangle must lie wholly inside the source, and must not overlap the
        // destination rectangle in the same surface.
        if (sourceBox.left < 0 || sourceBox.top < 0 || sourceBox.right > src.Width() ||
            sourceBox.bottom > src.Height()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (same && sourceBox.left < destBox.right && destBox.left < sourceBox.right &&
            sourceBox.top < destBox.bottom && destBox.top < sourceBox.bottom) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    if (!to.surface || width == 0 || height == 0 || sourceWidth == 0 || sourceHeight == 0)
        return TRUE;

    SurfaceLock pixels(to.surface.get(), from.surface.get());
    SourcePixels read(src, same, sourceBox);
    std::vector<int64_t> columns;
    for (const RECT& clip : to.clip) {
        RECT area;
        if (!ClipBox(destBox, clip, &area))
            continue;
        // Source column of each destination column in the area; -1 outside the source.
        columns.resize(size_t(area.right - area.left));
        for (LONG dx = area.left; dx < area.right; ++dx) {
            int64_t column = sourceBox.left + Scale(dx - destBox.left, sourceWidth, width);
            columns[size_t(dx - area.left)] = (column >= 0 && column < src.Width()) ? column : -1;
        }
        bool straight = mode == Mode::Copy && sourceWidth == width;
        for (LONG dy = area.top; dy < area.bottom; ++dy) {
            int64_t row = sourceBox.top + Scale(dy - destBox.top, sourceHeight, height);
            if (row < 0 || row >= src.Height())
                continue;
            uint32_t* out = to.surface->Row(dy);
            if (straight) {
                // Columns map one to one: copy the run that lies inside the source at once.
                int64_t offset = sourceBox.left - destBox.left;
                int64_t left = std::max<int64_t>(area.left, -offset);
                int64_t right = std::min<int64_t>(area.right, src.Width() - offset);
                if (left < right)
                    std::memmove(out + left, read.At(left + offset, row), size_t(right - left) * 4);
                continue;
            }
            for (LONG dx = area.left; dx < area.right; ++dx) {
                int64_t column = columns[size_t(dx - area.left)];
                if (column < 0)
                    continue;
                uint32_t pixel = *read.At(column, row);
                out[dx] = mode == Mode::Copy ? pixel : BlendPixel(pixel, out[dx], blend);
            }
        }
    }
    return TRUE;
}

}  // namespace

BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
            int sourceY, DWORD rop)
{
    if (rop != SRCCOPY || width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Blit(destination, x, y, width, height, source, sourceX, sourceY, width, height,
                Mode::Copy, BlendParams());
}

BOOL StretchBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
                int sourceY, int sourceWidth, int sourceHeight, DWORD rop)
{
    if (rop != SRCCOPY || width < 0 || height < 0 || sourceWidth < 0 || sourceHeight < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Blit(destination, x, y, width, height, source, sourceX, sourceY, sourceWidth,
                sourceHeight, Mode::Copy, BlendParams());
}

BOOL AlphaBlend(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
                int sourceY, int sourceWidth, int sourceHeight, BLENDFUNCTION function)
{
    if (function.BlendOp != AC_SRC_OVER || function.BlendFlags != 0 ||
        (function.AlphaFormat & ~AC_SRC_ALPHA) != 0 || width < 0 || height < 0 || sourceWidth < 0 ||
        sourceHeight < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BlendParams blend;
    blend.constantAlpha = function.SourceConstantAlpha;
    blend.perPixel = (function.AlphaFormat & AC_SRC_ALPHA) != 0;
    return Blit(destination, x, y, width, height, source, sourceX, sourceY, sourceWidth,
                sourceHeight, Mode::Blend, blend);
}
