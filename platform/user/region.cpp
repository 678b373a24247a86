#include "region.h"

#include <algorithm>

namespace platform::user {

namespace {

bool IsEmpty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

bool Overlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

void SubtractRect(const RECT& a, const RECT& b, std::vector<RECT>* out)
{
    if (IsEmpty(a))
        return;
    if (!Overlap(a, b)) {
        out->push_back(a);
        return;
    }
    LONG top = a.top;
    LONG bottom = a.bottom;
    if (b.top > a.top) {
        out->push_back(RECT{a.left, a.top, a.right, b.top});
        top = b.top;
    }
    if (b.bottom < a.bottom) {
        out->push_back(RECT{a.left, b.bottom, a.right, a.bottom});
        bottom = b.bottom;
    }
    if (b.left > a.left)
        out->push_back(RECT{a.left, top, b.left, bottom});
    if (b.right < a.right)
        out->push_back(RECT{b.right, top, a.right, bottom});
}

RECT Region::Bounds() const
{
    if (m_rects.empty())
        return RECT{0, 0, 0, 0};
    RECT bounds = m_rects.front();
    for (const RECT& r : m_rects) {
        bounds.left = std::min(bounds.left, r.left);
        bounds.top = std::min(bounds.top, r.top);
        bounds.right = std::max(bounds.right, r.right);
        bounds.bottom = std::max(bounds.bottom, r.bottom);
    }
    return bounds;
}

void Region::Add(const RECT& rect)
{
    if (IsEmpty(rect))
        return;
    // Only the parts of the new rectangle that no rectangle holds yet are added, so the
    // rectangles never overlap.
    std::vector<RECT> pieces{rect};
    for (const RECT& existing : m_rects) {
        std::vector<RECT> next;
        for (const RECT& piece : pieces)
            SubtractRect(piece, existing, &next);
        pieces.swap(next);
        if (pieces.empty())
            return;
    }
    m_rects.insert(m_rects.end(), pieces.begin(), pieces.end());
    if (m_rects.size() > kMaxRects) {
        RECT bounds = Bounds();
        m_rects.assign(1, bounds);
    }
}

void Region::Subtract(const RECT& rect)
{
    if (IsEmpty(rect) || m_rects.empty())
        return;
    std::vector<RECT> next;
    for (const RECT& r : m_rects)
        SubtractRect(r, rect, &next);
    // No collapse here: that would add pixels back. Each subtraction adds at most three
    // rectangles per rectangle it cuts, and the next Add collapses a region grown too large.
    m_rects.swap(next);
}

void Region::Intersect(const RECT& rect)
{
    std::vector<RECT> next;
    for (const RECT& r : m_rects) {
        RECT part{std::max(r.left, rect.left), std::max(r.top, rect.top),
                  std::min(r.right, rect.right), std::min(r.bottom, rect.bottom)};
        if (!IsEmpty(part))
            next.push_back(part);
    }
    m_rects.swap(next);
}

void Region::Offset(int dx, int dy)
{
    for (RECT& r : m_rects) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

}  // namespace platform::user
