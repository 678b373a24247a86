// Graphics::DrawImage: premultiplied source-over, bilinear stretching that reads only the source
// rectangle, and the device context's origin and clip area.
#include <gtest/gtest.h>

#include "canvas.h"
#include "gdi/surface.h"
#include "pictures.h"
#include "platform/gdiplus.h"

using namespace Gdiplus;
using gditest::Canvas;
using pngtest::Picture;

namespace {

class GdiplusGraphics : public ::testing::Test {
protected:
    void SetUp() override
    {
        GdiplusStartupInput input;
        ASSERT_EQ(GdiplusStartup(&m_token, &input, nullptr), Ok);
    }
    void TearDown() override { GdiplusShutdown(m_token); }

    static std::unique_ptr<Bitmap> Make(const Picture& picture)
    {
        std::unique_ptr<Bitmap> bitmap(
            Bitmap::FromStream(pngtest::StreamOf(pngtest::Encode(picture)).Get()));
        EXPECT_EQ(bitmap->GetLastStatus(), Ok);
        return bitmap;
    }

    static std::vector<uint32_t> Row(const Canvas& canvas, int y)
    {
        std::vector<uint32_t> row;
        for (int x = 0; x < canvas.Width(); ++x)
            row.push_back(canvas.At(x, y));
        return row;
    }

    ULONG_PTR m_token = 0;
};

TEST_F(GdiplusGraphics, ComposesPremultipliedSourceOver)
{
    struct Case {
        const char* what;
        uint32_t source;  // straight ARGB
        uint32_t before;  // premultiplied destination
        uint32_t after;
    } cases[] = {
        {"opaque replaces", 0xFFFF0000, 0xFF0000FF, 0xFFFF0000},
        {"half over nothing is premultiplied", 0x80FF0000, 0x00000000, 0x80800000},
        {"half over opaque", 0x80FF0000, 0xFF0000FF, 0xFF80007F},
        {"half over text pixels without alpha", 0x80FF0000, 0x00204060, 0x80902030},
        {"quarter white over nothing", 0x40FFFFFF, 0x00000000, 0x40404040},
        {"transparent white changes nothing", 0x00FFFFFF, 0xFF112233, 0xFF112233},
    };
    for (const Case& c : cases) {
        Canvas canvas(1, 1);
        canvas.Fill(c.before);
        std::unique_ptr<Bitmap> picture = Make(Picture(1, 1, c.source));
        Graphics graphics(canvas.Dc());
        EXPECT_EQ(graphics.DrawImage(picture.get(), Rect(0, 0, 1, 1), 0, 0, 1, 1, UnitPixel), Ok);
        EXPECT_EQ(canvas.At(0, 0), c.after) << c.what << std::hex << " got " << canvas.At(0, 0);
    }
}

TEST_F(GdiplusGraphics, OneToOneCopiesExactlyAndOnlyTheDestination)
{
    Picture picture(3, 2);
    const uint32_t values[] = {0xFF010203, 0x80FF8000, 0x00FFFFFF,
                               0xFFFFFFFF, 0x01020304, 0xFE102030};
    for (int i = 0; i < 6; ++i)
        picture.argb[size_t(i)] = values[i];
    std::unique_ptr<Bitmap> bitmap = Make(picture);
    Canvas canvas(6, 4, true);  // bottom-up: rows are counted from the top all the same
    Graphics graphics(canvas.Dc());
    ASSERT_EQ(graphics.DrawImage(bitmap.get(), Rect(2, 1, 3, 2), 0, 0, 3, 2, UnitPixel), Ok);
    EXPECT_EQ(Row(canvas, 0), std::vector<uint32_t>(6, 0));
    EXPECT_EQ(Row(canvas, 1), (std::vector<uint32_t>{0, 0, 0xFF010203, 0x80804000, 0, 0}));
    EXPECT_EQ(Row(canvas, 2), (std::vector<uint32_t>{0, 0, 0xFFFFFFFF, 0x01000000, 0xFE102030, 0}));
    EXPECT_EQ(Row(canvas, 3), std::vector<uint32_t>(6, 0));
}

TEST_F(GdiplusGraphics, StretchesBilinearlyWithinTheSourceRectangle)
{
    Picture ramp(2, 1);
    ramp.At(0, 0) = 0xFF000000;
    ramp.At(1, 0) = 0xFFFFFFFF;
    Picture stripes(3, 1);
    stripes.At(0, 0) = 0xFFFF0000;
    stripes.At(1, 0) = 0xFF00FF00;
    stripes.At(2, 0) = 0xFF0000FF;
    Picture fringe(2, 1);
    fringe.At(0, 0) = 0xFFFF0000;
    fringe.At(1, 0) = 0x0000FF00;  // transparent green must not tint the blend
    const uint32_t kUntouched = 0x11223344;
    struct Case {
        const char* what;
        const Picture* picture;
        int sourceX;
        int sourceWidth;
        int destWidth;
        std::vector<uint32_t> row;
    } cases[] = {
        {"twice as wide", &ramp, 0, 2, 4, {0xFF000000, 0xFF404040, 0xFFBFBFBF, 0xFFFFFFFF}},
        {"one column of three, no bleeding",
         &stripes,
         1,
         1,
         4,
         {0xFF00FF00, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00}},
        // Half red (0x80800000 premultiplied, no green) over the fill.
        {"halved, premultiplied", &fringe, 0, 2, 1, {0x88911922}},
        {"source past the picture's edge",
         &stripes,
         2,
         2,
         4,
         {0xFF0000FF, 0xFF0000FF, kUntouched, kUntouched}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Bitmap> bitmap = Make(*c.picture);
        Canvas canvas(c.destWidth, 2);
        canvas.Fill(kUntouched);
        Graphics graphics(canvas.Dc());
        ASSERT_EQ(graphics.DrawImage(bitmap.get(), Rect(0, 0, c.destWidth, 2), c.sourceX, 0,
                                     c.sourceWidth, 1, UnitPixel),
                  Ok)
            << c.what;
        EXPECT_EQ(Row(canvas, 0), c.row) << c.what;
        EXPECT_EQ(Row(canvas, 1), c.row) << c.what;
    }
}

TEST_F(GdiplusGraphics, FollowsTheOriginAndClipOfAWindowDeviceContext)
{
    auto surface = platform::gdi::Surface::Create(12, 8);
    ASSERT_TRUE(surface);
    // A window at (5, 3) whose right part is covered: only x < 8 is visible.
    platform::gdi::Target target{surface, {5, 3}, {RECT{5, 3, 8, 8}}};
    HDC dc = platform::gdi::CreateSurfaceDC(target);
    ASSERT_TRUE(dc);
    std::unique_ptr<Bitmap> bitmap = Make(Picture(4, 2, 0xFFABCDEF));
    Graphics graphics(dc);
    ASSERT_EQ(graphics.GetLastStatus(), Ok);
    ASSERT_EQ(graphics.DrawImage(bitmap.get(), Rect(1, 1, 4, 2), 0, 0, 4, 2, UnitPixel), Ok);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 12; ++x) {
            bool drawn = x >= 6 && x < 8 && y >= 4 && y < 6;
            EXPECT_EQ(surface->Row(y)[x], drawn ? 0xFFABCDEFu : 0u) << x << "," << y;
        }
    }
    DeleteDC(dc);
}

TEST_F(GdiplusGraphics, RefusesWhatItCannotDrawAndLeavesThePixels)
{
    std::unique_ptr<Bitmap> bitmap = Make(Picture(2, 2, 0xFF00FF00));
    Bitmap broken(pngtest::StreamOf({1, 2, 3}).Get());
    ASSERT_NE(broken.GetLastStatus(), Ok);
    struct Case {
        const char* what;
        Image* image;
        Rect dest;
        int sw;
        int sh;
        Status expected;
    } cases[] = {
        {"no image", nullptr, Rect(0, 0, 2, 2), 2, 2, InvalidParameter},
        {"image without a picture", &broken, Rect(0, 0, 2, 2), 2, 2, InvalidParameter},
        {"mirrored destination", bitmap.get(), Rect(2, 0, -2, 2), 2, 2, InvalidParameter},
        {"mirrored source", bitmap.get(), Rect(0, 0, 2, 2), 2, -2, InvalidParameter},
        {"empty destination", bitmap.get(), Rect(0, 0, 0, 2), 2, 2, Ok},
        {"empty source", bitmap.get(), Rect(0, 0, 2, 2), 0, 2, Ok},
        {"destination off the bitmap", bitmap.get(), Rect(-5, 7, 2, 2), 2, 2, Ok},
    };
    for (const Case& c : cases) {
        Canvas canvas(4, 4);
        canvas.Fill(0x55555555);
        Graphics graphics(canvas.Dc());
        EXPECT_EQ(graphics.DrawImage(c.image, c.dest, 0, 0, c.sw, c.sh, UnitPixel), c.expected)
            << c.what;
        EXPECT_EQ(graphics.GetLastStatus(), c.expected) << c.what;
        EXPECT_EQ(canvas.Changed(0x55555555), (RECT{0, 0, 0, 0})) << c.what;
    }

    HDC dc = CreateCompatibleDC(nullptr);
    Graphics graphics(dc);
    EXPECT_EQ(graphics.GetLastStatus(), Ok);
    DeleteDC(dc);
    EXPECT_EQ(graphics.DrawImage(bitmap.get(), Rect(0, 0, 1, 1), 0, 0, 1, 1, UnitPixel),
              Win32Error);
    Graphics none(nullptr);
    EXPECT_EQ(none.GetLastStatus(), InvalidParameter);
}

}  // namespace
