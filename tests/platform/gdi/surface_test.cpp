// Device contexts onto surfaces that are not bitmaps, as the window manager makes them for
// windows: drawing lands at the target's origin, inside its clip rectangles only.
#include <memory>

#include "canvas.h"
#include "gdi/surface.h"

using gditest::Argb;
using gditest::Canvas;
using platform::gdi::Surface;
using platform::gdi::Target;

namespace {

int CountNonZero(const Surface& surface, const RECT& area)
{
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            count += surface.Row(y)[x] != 0;
    return count;
}

class SurfaceDc : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_surface = Surface::Create(40, 30);
        ASSERT_NE(m_surface, nullptr);
        Target target;
        target.surface = m_surface;
        target.origin = POINT{10, 5};
        target.clip = {RECT{10, 5, 30, 15}, RECT{0, 20, 40, 30}};
        m_dc = platform::gdi::CreateSurfaceDC(target);
        ASSERT_NE(m_dc, nullptr);
    }
    void TearDown() override { EXPECT_TRUE(DeleteDC(m_dc)); }

    std::shared_ptr<Surface> m_surface;
    HDC m_dc = nullptr;
};

TEST_F(SurfaceDc, FillsOnlyInsideTheClipRectangles)
{
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    RECT everything = {-100, -100, 100, 100};
    ASSERT_TRUE(FillRect(m_dc, &everything, brush));
    DeleteObject(brush);
    EXPECT_EQ(CountNonZero(*m_surface, RECT{10, 5, 30, 15}), 20 * 10);
    EXPECT_EQ(CountNonZero(*m_surface, RECT{0, 20, 40, 30}), 40 * 10);
    EXPECT_EQ(CountNonZero(*m_surface, RECT{0, 0, 40, 30}), 20 * 10 + 40 * 10);
    EXPECT_EQ(m_surface->Row(5)[10], Argb(0, 1, 2, 3));
}

TEST_F(SurfaceDc, LogicalCoordinatesStartAtTheOrigin)
{
    HGDIOBJ previous = SelectObject(m_dc, GetStockObject(BLACK_PEN));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    SelectObject(m_dc, pen);
    MoveToEx(m_dc, 0, 0, nullptr);
    LineTo(m_dc, 5, 0);
    SelectObject(m_dc, previous);
    DeleteObject(pen);
    for (int x = 10; x < 15; ++x)
        EXPECT_EQ(m_surface->Row(5)[x], Argb(0, 255, 0, 0)) << x;
    EXPECT_EQ(CountNonZero(*m_surface, RECT{0, 0, 40, 30}), 5);

    // A blit from a memory bitmap lands at the origin too, and is clipped.
    Canvas source(30, 30);
    source.Fill(Argb(9, 8, 7, 6));
    ASSERT_TRUE(BitBlt(m_dc, 0, 0, 30, 30, source.Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(m_surface->Row(5)[10], Argb(9, 8, 7, 6));
    EXPECT_EQ(m_surface->Row(14)[29], Argb(9, 8, 7, 6));
    EXPECT_EQ(m_surface->Row(15)[29], 0u);  // between the two clip rectangles
    EXPECT_EQ(m_surface->Row(20)[9], 0u);   // left of the blit's start
    EXPECT_EQ(m_surface->Row(29)[39], Argb(9, 8, 7, 6));

    // And a blit from the surface device context reads at its origin.
    Canvas copy(4, 4);
    ASSERT_TRUE(BitBlt(copy.Dc(), 0, 0, 4, 4, m_dc, 0, 0, SRCCOPY));
    EXPECT_EQ(copy.At(0, 0), Argb(9, 8, 7, 6));
}

TEST_F(SurfaceDc, TextIsClippedToTheTargetEvenWithoutClipping)
{
    platform::testing::PinFontFile(gditest::kPinnedFont);
    HFONT font = gditest::MakeFont(-14);
    HGDIOBJ previous = SelectObject(m_dc, font);
    SetBkMode(m_dc, OPAQUE);
    SetBkColor(m_dc, RGB(0, 0, 255));
    SetTextColor(m_dc, RGB(255, 255, 255));
    RECT rect = {0, 0, 200, 200};
    ASSERT_GT(DrawTextW(m_dc, L"WWWWWWWWWW\nWWWWWWWWWW\nWWWWWWWWWW", -1, &rect, DT_NOCLIP), 0);
    SelectObject(m_dc, previous);
    DeleteObject(font);
    platform::testing::PinFontFile("");
    // Line boxes of 16 pixels from y 5 (origin 10, 5): the first one covers the first clip
    // rectangle, the second clip rectangle shows the lines from x 10 on; nothing else is drawn.
    EXPECT_EQ(CountNonZero(*m_surface, RECT{10, 5, 30, 15}), 20 * 10);
    EXPECT_GT(CountNonZero(*m_surface, RECT{10, 20, 40, 30}), 0);
    EXPECT_EQ(CountNonZero(*m_surface, RECT{0, 20, 10, 30}), 0);
    EXPECT_EQ(CountNonZero(*m_surface, RECT{0, 0, 40, 5}), 0);
    EXPECT_EQ(CountNonZero(*m_surface, RECT{0, 15, 40, 20}), 0);
}

TEST_F(SurfaceDc, TargetsCanBeReadAndMoved)
{
    Target target;
    ASSERT_TRUE(platform::gdi::GetDCTarget(m_dc, &target));
    EXPECT_EQ(target.surface, m_surface);
    EXPECT_EQ(target.origin.x, 10);
    ASSERT_EQ(target.clip.size(), 2u);

    // Clip rectangles are trimmed to the surface; moving the target moves the drawing.
    Target moved;
    moved.surface = m_surface;
    moved.clip = {RECT{-50, -50, 500, 500}};
    ASSERT_TRUE(platform::gdi::SetSurfaceDCTarget(m_dc, moved));
    ASSERT_TRUE(platform::gdi::GetDCTarget(m_dc, &target));
    ASSERT_EQ(target.clip.size(), 1u);
    EXPECT_EQ(target.clip[0], (RECT{0, 0, 40, 30}));
    RECT corner = {0, 0, 1, 1};
    HBRUSH brush = CreateSolidBrush(RGB(5, 5, 5));
    FillRect(m_dc, &corner, brush);
    EXPECT_EQ(m_surface->Row(0)[0], Argb(0, 5, 5, 5));

    // No bitmap goes into a surface device context; a memory device context is not retargeted.
    Canvas canvas(3, 3);
    HBITMAP bitmap = CreateCompatibleBitmap(canvas.Dc(), 3, 3);
    EXPECT_EQ(SelectObject(m_dc, bitmap), nullptr);
    EXPECT_FALSE(platform::gdi::SetSurfaceDCTarget(canvas.Dc(), moved));
    ASSERT_TRUE(platform::gdi::GetDCTarget(canvas.Dc(), &target));
    EXPECT_EQ(target.surface, platform::gdi::BitmapSurface(canvas.Bitmap()));
    EXPECT_EQ(target.clip[0], (RECT{0, 0, 3, 3}));

    // A target without a surface draws nothing and fails nothing.
    ASSERT_TRUE(platform::gdi::SetSurfaceDCTarget(m_dc, Target()));
    EXPECT_TRUE(FillRect(m_dc, &corner, brush));
    EXPECT_TRUE(BitBlt(m_dc, 0, 0, 3, 3, canvas.Dc(), 0, 0, SRCCOPY));
    DeleteObject(brush);
    DeleteObject(bitmap);
}

TEST(Surface, BottomUpMemoryStartsWithTheBottomRow)
{
    auto surface = Surface::Create(4, 3, true);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(static_cast<void*>(surface->Row(2)), surface->Bits());
    EXPECT_EQ(surface->Row(1), surface->Row(2) + 4);
    EXPECT_EQ(Surface::Create(0, 3), nullptr);
    EXPECT_EQ(Surface::Create(1 << 20, 1 << 20), nullptr);
}

}  // namespace
