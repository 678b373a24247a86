// Lines, fills and the rectangle helpers.
#include <climits>
#include <set>
#include <utility>

#include "canvas.h"

using gditest::Argb;
using gditest::Canvas;

namespace {

constexpr uint32_t kBackground = Argb(0xFF, 0x10, 0x20, 0x30);

std::set<std::pair<int, int>> PixelsOf(const Canvas& canvas, uint32_t pixel)
{
    std::set<std::pair<int, int>> found;
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            if (canvas.At(x, y) == pixel)
                found.insert({x, y});
    return found;
}

struct LineCase {
    const char* what;
    POINT from;
    POINT to;
    std::set<std::pair<int, int>> pixels;
};

TEST(GdiLines, OnePixelWideEndPointExcluded)
{
    const LineCase cases[] = {
        {"horizontal", {2, 3}, {6, 3}, {{2, 3}, {3, 3}, {4, 3}, {5, 3}}},
        {"leftwards", {6, 3}, {2, 3}, {{6, 3}, {5, 3}, {4, 3}, {3, 3}}},
        {"vertical", {1, 1}, {1, 4}, {{1, 1}, {1, 2}, {1, 3}}},
        {"diagonal", {0, 0}, {3, 3}, {{0, 0}, {1, 1}, {2, 2}}},
        {"shallow", {0, 0}, {4, 2}, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},
        {"a point", {5, 5}, {5, 5}, {}},
        // Mostly outside: only the steps inside the surface are drawn, however long the line.
        {"far outside", {-100000000, 2}, {INT_MAX, 2}, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.what);
        Canvas canvas(40, 30);
        canvas.Fill(kBackground);
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 138, 72));
        HGDIOBJ previous = SelectObject(canvas.Dc(), pen);
        ASSERT_TRUE(MoveToEx(canvas.Dc(), c.from.x, c.from.y, nullptr));
        ASSERT_TRUE(LineTo(canvas.Dc(), c.to.x, c.to.y));
        // The pen's colour, and alpha 0 as GDI leaves it.
        auto drawn = PixelsOf(canvas, Argb(0, 255, 138, 72));
        if (std::string(c.what) == "far outside") {
            EXPECT_EQ(drawn.size(), 40u);
        } else {
            EXPECT_EQ(drawn, c.pixels);
            EXPECT_EQ(PixelsOf(canvas, kBackground).size(), size_t(40 * 30) - c.pixels.size());
        }
        // The current position moves to the end point, so a polyline continues from there.
        POINT position;
        MoveToEx(canvas.Dc(), 0, 0, &position);
        EXPECT_EQ(position.x, c.to.x);
        EXPECT_EQ(position.y, c.to.y);
        SelectObject(canvas.Dc(), previous);
        DeleteObject(pen);
    }
}

TEST(GdiLines, PolylineOfSegmentsJoinsWithoutGaps)
{
    // A frame drawn as MoveTo/LineTo segments: each segment's end point is the next one's
    // start, so the corners are drawn exactly once and the last end point is not drawn.
    Canvas canvas(10, 10);
    canvas.Fill(kBackground);
    HDC dc = canvas.Dc();
    HGDIOBJ previous = SelectObject(dc, GetStockObject(BLACK_PEN));
    MoveToEx(dc, 1, 1, nullptr);
    LineTo(dc, 1, 5);
    LineTo(dc, 6, 5);
    LineTo(dc, 6, 1);
    LineTo(dc, 2, 1);
    SelectObject(dc, previous);
    auto drawn = PixelsOf(canvas, 0u);
    EXPECT_EQ(drawn.size(), size_t(4 + 5 + 4 + 4));
    for (std::pair<int, int> corner : {std::pair{1, 1}, {1, 5}, {6, 5}, {6, 1}})
        EXPECT_EQ(drawn.count(corner), 1u) << corner.first << "," << corner.second;
    EXPECT_EQ(drawn.count({2, 1}), 0u);

    // Polyline draws the same pixels in one call, and leaves the current position alone.
    Canvas again(10, 10);
    again.Fill(kBackground);
    HDC dc2 = again.Dc();
    previous = SelectObject(dc2, GetStockObject(BLACK_PEN));
    MoveToEx(dc2, 7, 8, nullptr);
    const POINT frame[] = {{1, 1}, {1, 5}, {6, 5}, {6, 1}, {2, 1}};
    EXPECT_TRUE(Polyline(dc2, frame, 5));
    EXPECT_EQ(PixelsOf(again, 0u), drawn);
    POINT position;
    MoveToEx(dc2, 0, 0, &position);
    EXPECT_EQ(position.x, 7);
    EXPECT_EQ(position.y, 8);
    // Fewer than two points is no line: refused, nothing drawn.
    again.Fill(kBackground);
    SetLastError(0);
    EXPECT_FALSE(Polyline(dc2, frame, 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(Polyline(dc2, nullptr, 5));
    EXPECT_TRUE(PixelsOf(again, 0u).empty());
    SelectObject(dc2, previous);
}

TEST(GdiFill, FillRectFillsLeftTopInclusiveWithAlphaZero)
{
    Canvas canvas;
    canvas.Fill(kBackground);
    HBRUSH brush = CreateSolidBrush(RGB(108, 180, 235));
    RECT rect = {34, 26, 60, 29};  // passes the right edge
    ASSERT_TRUE(FillRect(canvas.Dc(), &rect, brush));
    EXPECT_EQ(canvas.At(34, 26), Argb(0, 108, 180, 235));
    EXPECT_EQ(canvas.Changed(kBackground), (RECT{34, 26, 40, 29}));

    // Empty and inverted rectangles, and the null brush, fill nothing.
    canvas.Fill(kBackground);
    RECT inverted = {10, 10, 5, 20};
    EXPECT_TRUE(FillRect(canvas.Dc(), &inverted, brush));
    RECT whole = {0, 0, 40, 30};
    EXPECT_TRUE(FillRect(canvas.Dc(), &whole, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))));
    EXPECT_EQ(canvas.Changed(kBackground), (RECT{0, 0, 0, 0}));
    EXPECT_FALSE(FillRect(canvas.Dc(), nullptr, brush));
    DeleteObject(brush);
}

struct IntersectCase {
    RECT a;
    RECT b;
    BOOL intersects;
    RECT intersection;
    RECT unionRect;
};

TEST(GdiRect, IntersectAndUnion)
{
    const IntersectCase cases[] = {
        {{0, 0, 10, 10}, {5, 5, 15, 15}, TRUE, {5, 5, 10, 10}, {0, 0, 15, 15}},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, FALSE, {0, 0, 0, 0}, {0, 0, 20, 10}},
        {{0, 0, 10, 10}, {2, 2, 2, 8}, FALSE, {0, 0, 0, 0}, {0, 0, 10, 10}},
        {{3, 3, 3, 3}, {1, 1, 1, 1}, FALSE, {0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const IntersectCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.a << " and " << c.b);
        RECT out = {9, 9, 9, 9};
        EXPECT_EQ(IntersectRect(&out, &c.a, &c.b), c.intersects);
        EXPECT_EQ(out, c.intersection);
        UnionRect(&out, &c.a, &c.b);
        EXPECT_EQ(out, c.unionRect);
    }
}

TEST(GdiRect, PointsEdgesAndOffsets)
{
    RECT rect;
    SetRect(&rect, 2, 3, 6, 8);
    EXPECT_TRUE(PtInRect(&rect, POINT{2, 3}));
    EXPECT_TRUE(PtInRect(&rect, POINT{5, 7}));
    EXPECT_FALSE(PtInRect(&rect, POINT{6, 7}));
    EXPECT_FALSE(PtInRect(&rect, POINT{5, 8}));
    OffsetRect(&rect, -2, 10);
    EXPECT_EQ(rect, (RECT{0, 13, 4, 18}));
    InflateRect(&rect, 1, -2);
    EXPECT_EQ(rect, (RECT{-1, 15, 5, 16}));
    EXPECT_FALSE(IsRectEmpty(&rect));
    InflateRect(&rect, 0, -1);
    EXPECT_TRUE(IsRectEmpty(&rect));
    RECT copy;
    CopyRect(&copy, &rect);
    EXPECT_TRUE(EqualRect(&copy, &rect));
    SetRectEmpty(&copy);
    EXPECT_EQ(copy, (RECT{0, 0, 0, 0}));
    // Arithmetic wraps as 32-bit integers do instead of failing.
    RECT far = {INT_MAX - 1, 0, INT_MAX, 1};
    EXPECT_TRUE(OffsetRect(&far, 2, 0));
    EXPECT_EQ(far.left, INT_MIN);
}

}  // namespace
