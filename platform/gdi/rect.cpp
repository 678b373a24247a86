// The rectangle helpers. Arithmetic wraps as 32-bit integers do on Windows, without undefined
// behaviour here.
#include <algorithm>

#include "platform/gdi.h"
#include "platform/kernel.h"

namespace {

LONG Add(LONG a, int b)
{
    return LONG(uint32_t(a) + uint32_t(b));
}
LONG Sub(LONG a, int b)
{
    return LONG(uint32_t(a) - uint32_t(b));
}

bool Empty(const RECT& rect)
{
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

bool Invalid(const void* pointer)
{
    if (pointer)
        return false;
    SetLastError(ERROR_INVALID_PARAMETER);
    return true;
}

}  // namespace

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom)
{
    if (Invalid(rect))
        return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(LPRECT rect)
{
    return SetRect(rect, 0, 0, 0, 0);
}

BOOL CopyRect(LPRECT destination, const RECT* source)
{
    if (Invalid(destination) || Invalid(source))
        return FALSE;
    *destination = *source;
    return TRUE;
}

BOOL OffsetRect(LPRECT rect, int dx, int dy)
{
    if (Invalid(rect))
        return FALSE;
    rect->left = Add(rect->left, dx);
    rect->right = Add(rect->right, dx);
    rect->top = Add(rect->top, dy);
    rect->bottom = Add(rect->bottom, dy);
    return TRUE;
}

BOOL InflateRect(LPRECT rect, int dx, int dy)
{
    if (Invalid(rect))
        return FALSE;
    rect->left = Sub(rect->left, dx);
    rect->right = Add(rect->right, dx);
    rect->top = Sub(rect->top, dy);
    rect->bottom = Add(rect->bottom, dy);
    return TRUE;
}

BOOL IsRectEmpty(const RECT* rect)
{
    return !rect || Empty(*rect);
}

BOOL EqualRect(const RECT* a, const RECT* b)
{
    if (!a || !b)
        return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL PtInRect(const RECT* rect, POINT point)
{
    if (!rect)
        return FALSE;
    return point.x >= rect->left && point.x < rect->right && point.y >= rect->top &&
           point.y < rect->bottom;
}

BOOL IntersectRect(LPRECT destination, const RECT* a, const RECT* b)
{
    if (Invalid(destination) || Invalid(a) || Invalid(b))
        return FALSE;
    RECT result{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
                std::min(a->bottom, b->bottom)};
    if (Empty(*a) || Empty(*b) || Empty(result)) {
        *destination = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *destination = result;
    return TRUE;
}

BOOL UnionRect(LPRECT destination, const RECT* a, const RECT* b)
{
    if (Invalid(destination) || Invalid(a) || Invalid(b))
        return FALSE;
    bool emptyA = Empty(*a);
    bool emptyB = Empty(*b);
    if (emptyA && emptyB) {
        *destination = RECT{0, 0, 0, 0};
        return FALSE;
    }
    if (emptyA) {
        *destination = *b;
    } else if (emptyB) {
        *destination = *a;
    } else {
        *destination = RECT{std::min(a->left, b->left), std::min(a->top, b->top),
                            std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
    }
    return TRUE;
}
