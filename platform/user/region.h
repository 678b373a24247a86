// A set of pixels as non-overlapping rectangles: update regions and the screen's dirty area.
#pragma once

#include <vector>

#include "platform/gdi.h"

namespace platform::user {

class Region {
public:
    // Regions that grow past this many rectangles collapse into their bounds, which paints a
    // little more than needed but keeps every operation cheap.
    static constexpr size_t kMaxRects = 64;

    bool Empty() const { return m_rects.empty(); }
    const std::vector<RECT>& Rects() const { return m_rects; }
    // The smallest rectangle holding the region; (0, 0, 0, 0) when empty.
    RECT Bounds() const;
    void Clear() { m_rects.clear(); }
    void Add(const RECT& rect);
    void Subtract(const RECT& rect);
    // Keeps only the part inside `rect`.
    void Intersect(const RECT& rect);
    void Offset(int dx, int dy);

private:
    std::vector<RECT> m_rects;
};

// The parts of `a` outside `b` (at most four rectangles) appended to `out`.
void SubtractRect(const RECT& a, const RECT& b, std::vector<RECT>* out);

}  // namespace platform::user
