// Lines and fills.
#include <cstdlib>

#include "object.h"
#include "paint.h"

using namespace platform::gdi;

namespace {

// floor(a / b) for b > 0. The numerators can pass 64 bits for lines between far-away points.
int64_t FloorDiv(__int128 a, __int128 b)
{
    return int64_t(a >= 0 ? a / b : -((-a + b - 1) / b));
}

// Draws the pixels of the line from (x0, y0) to (x1, y1), device coordinates, end point
// excluded. The line steps one pixel along its major axis per pixel drawn; the minor
// coordinate is the exact one rounded half up. Only the steps that fall inside a clip
// rectangle are visited, so the work is bounded by the visible part however long the line is.
// Requires the surface's lock.
void DrawLine(const Target& target, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t pixel)
{
    int64_t dx = x1 - x0;
    int64_t dy = y1 - y0;
    if (dx == 0 && dy == 0)
        return;
    bool xMajor = std::llabs(dx) >= std::llabs(dy);
    int64_t major0 = xMajor ? x0 : y0;
    int64_t minor0 = xMajor ? y0 : x0;
    int64_t length = xMajor ? std::llabs(dx) : std::llabs(dy);  // pixels drawn
    int64_t step = (xMajor ? dx : dy) > 0 ? 1 : -1;
    int64_t minorDelta = xMajor ? dy : dx;

    for (const RECT& clip : target.clip) {
        int64_t low = xMajor ? clip.left : clip.top;
        int64_t high = (xMajor ? clip.right : clip.bottom) - 1;
        // Steps i in [0, length) whose major coordinate major0 + i * step lies in [low, high].
        int64_t first = step > 0 ? low - major0 : major0 - high;
        int64_t last = step > 0 ? high - major0 : major0 - low;
        first = std::max<int64_t>(first, 0);
        last = std::min<int64_t>(last, length - 1);
        for (int64_t i = first; i <= last; ++i) {
            int64_t major = major0 + i * step;
            int64_t minor =
                minor0 + FloorDiv(__int128(2) * i * minorDelta + length, __int128(2) * length);
            int64_t x = xMajor ? major : minor;
            int64_t y = xMajor ? minor : major;
            if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
                continue;
            target.surface->Row(int(y))[x] = pixel;
        }
    }
}

}  // namespace

BOOL MoveToEx(HDC handle, int x, int y, LPPOINT previous)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    DcLock lock(dc.get());
    if (previous)
        *previous = dc->position;
    dc->position = POINT{x, y};
    return TRUE;
}

BOOL LineTo(HDC handle, int x, int y)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    DcLock lock(dc.get());
    POINT from = dc->position;
    dc->position = POINT{x, y};
    Target target = dc->CurrentTarget();
    if (!target.surface)
        return TRUE;
    uint32_t pixel = PixelOf(dc->pen->color);
    SurfaceLock pixels(target.surface.get());
    DrawLine(target, int64_t(from.x) + target.origin.x, int64_t(from.y) + target.origin.y,
             int64_t(x) + target.origin.x, int64_t(y) + target.origin.y, pixel);
    return TRUE;
}

BOOL Polyline(HDC handle, const POINT* points, int count)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    if (!points || count < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DcLock lock(dc.get());
    Target target = dc->CurrentTarget();
    if (!target.surface)
        return TRUE;
    uint32_t pixel = PixelOf(dc->pen->color);
    SurfaceLock pixels(target.surface.get());
    for (int i = 1; i < count; ++i)
        DrawLine(target, int64_t(points[i - 1].x) + target.origin.x,
                 int64_t(points[i - 1].y) + target.origin.y, int64_t(points[i].x) + target.origin.x,
                 int64_t(points[i].y) + target.origin.y, pixel);
    return TRUE;
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brushHandle)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return 0;
    auto brush = LookupAs<BrushObject>(reinterpret_cast<HGDIOBJ>(brushHandle), Kind::Brush);
    if (!brush)
        return 0;
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DcLock lock(dc.get());
    Target target = dc->CurrentTarget();
    if (brush->null || !target.surface)
        return 1;
    Box box{int64_t(rect->left) + target.origin.x, int64_t(rect->top) + target.origin.y,
            int64_t(rect->right) + target.origin.x, int64_t(rect->bottom) + target.origin.y};
    SurfaceLock pixels(target.surface.get());
    FillBox(target, box, PixelOf(brush->color));
    return 1;
}
