// COffscreenDC: a memory surface is either wholly made (device context, bitmap and size) or
// empty, re-creating it replaces the old one, a scaled surface takes its pixel size from the
// display scale, and what is drawn through the device context it hands out lands in its pixels.
#include <gtest/gtest.h>

#include "gdi/surface.h"
#include "skin_support.h"
#include "ui/DPIScale.h"
#include "ui/OffscreenDC.h"

using namespace skintest;

namespace {

// The pixels of the bitmap selected into a surface's device context, 0xAARRGGBB by row.
std::vector<std::vector<uint32_t>> PixelsOf(const COffscreenDC& surface)
{
    platform::gdi::Target target;
    EXPECT_TRUE(platform::gdi::GetDCTarget(HandleOf(surface), &target));
    std::vector<std::vector<uint32_t>> rows;
    if (!target.surface)
        return rows;
    for (int y = 0; y < target.surface->Height(); ++y)
        rows.emplace_back(target.surface->Row(y), target.surface->Row(y) + target.surface->Width());
    return rows;
}

TEST(OffscreenDC, CreateMakesAllOrNothing)
{
    CDC deleted;
    ASSERT_TRUE(deleted.CreateCompatibleDC(nullptr));
    HDC gone = deleted.Detach();
    DeleteDC(gone);
    deleted.Attach(gone);
    CDC screen;
    ASSERT_TRUE(screen.CreateCompatibleDC(nullptr));
    CDC noHandle;
    struct Case {
        const char* what;
        CDC* dc;  // null with `own` set: the surface's own device context
        bool own;
        int width;
        int height;
        BOOL created;
    } cases[] = {
        {"compatible with a memory dc", &screen, false, 4, 3, 1},
        {"no device context", nullptr, false, 4, 3, 0},
        {"a CDC without a device context", &noHandle, false, 4, 3, 0},
        {"no pixels", &screen, false, 0, 0, 1},
        {"negative width", &screen, false, -1, 3, 0},
        {"deleted dc", &deleted, false, 4, 3, 0},
        {"compatible with its own device context", nullptr, true, 5, 6, 1},
    };
    for (const Case& c : cases) {
        // Each starts from a created surface, which Create releases first whatever follows.
        COffscreenDC surface(&screen, 7, 7);
        ASSERT_TRUE(surface.IsCreated());
        HDC old = HandleOf(surface);
        EXPECT_EQ(surface.Create(c.own ? surface.GetDC() : c.dc, c.width, c.height), c.created)
            << c.what;
        platform::gdi::Target released;
        EXPECT_FALSE(platform::gdi::GetDCTarget(old, &released)) << c.what;
        EXPECT_EQ(surface.IsCreated(), c.created) << c.what;
        EXPECT_EQ(surface.GetWidth(), c.created ? c.width : 0) << c.what;
        EXPECT_EQ(surface.GetHeight(), c.created ? c.height : 0) << c.what;
        if (!c.created) {
            EXPECT_EQ(surface.GetDC(), nullptr) << c.what;
            continue;
        }
        platform::gdi::Target target;
        ASSERT_TRUE(platform::gdi::GetDCTarget(HandleOf(surface), &target)) << c.what;
        if (c.width == 0)
            continue;
        ASSERT_EQ(target.surface->Width(), c.width) << c.what;
        ASSERT_EQ(target.surface->Height(), c.height) << c.what;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                EXPECT_EQ(target.surface->Row(y)[x], 0u) << c.what;
    }
    // The handle is gone already; the object must not delete it a second time.
    deleted.Detach();
}

TEST(OffscreenDC, ReleaseEmptiesAndIsSafeTwice)
{
    CDC screen;
    ASSERT_TRUE(screen.CreateCompatibleDC(nullptr));
    COffscreenDC surface;
    EXPECT_FALSE(surface.IsCreated());
    EXPECT_EQ(surface.GetDC(), nullptr);
    surface.Release();
    ASSERT_TRUE(surface.Create(&screen, 5, 2));
    HDC dc = HandleOf(surface);
    surface.Release();
    surface.Release();
    EXPECT_FALSE(surface.IsCreated());
    EXPECT_EQ(surface.GetDC(), nullptr);
    EXPECT_EQ(surface.GetWidth(), 0);
    EXPECT_EQ(surface.GetHeight(), 0);
    platform::gdi::Target target;
    EXPECT_FALSE(platform::gdi::GetDCTarget(dc, &target));
}

TEST(OffscreenDC, DrawingThroughItsDeviceContextLandsInItsPixels)
{
    CDC screen;
    ASSERT_TRUE(screen.CreateCompatibleDC(nullptr));
    COffscreenDC surface(&screen, 4, 3);
    ASSERT_TRUE(surface.IsCreated());
    CDC* dc = surface.GetDC();
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(surface.GetDC(), dc) << "one object for the surface's life";
    EXPECT_NE(dc, &screen);

    // GDI fills write the colour and leave alpha at 0; the fill runs past the right and bottom
    // edges, which clip it to the surface's own size.
    const uint32_t fill = platform::gdi::PixelOf(RGB(0x10, 0x20, 0x30));
    dc->FillSolidRect(2, 1, 5, 5, RGB(0x10, 0x20, 0x30));
    const std::vector<std::vector<uint32_t>> filled = {
        {0, 0, 0, 0}, {0, 0, fill, fill}, {0, 0, fill, fill}};
    EXPECT_EQ(PixelsOf(surface), filled);

    // The device context is a source for other surfaces' device contexts as well.
    COffscreenDC copy(&screen, 2, 2);
    ASSERT_TRUE(copy.GetDC()->BitBlt(0, 0, 2, 2, dc, 1, 0, SRCCOPY));
    EXPECT_EQ(PixelsOf(copy), (std::vector<std::vector<uint32_t>>{{0, 0}, {0, fill}}));

    // A re-created surface draws into its new bitmap only.
    ASSERT_TRUE(surface.Create(&screen, 2, 1));
    surface.GetDC()->FillSolidRect(0, 0, 1, 1, RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(PixelsOf(surface), (std::vector<std::vector<uint32_t>>{{fill, 0}}));
    EXPECT_EQ(PixelsOf(copy), (std::vector<std::vector<uint32_t>>{{0, 0}, {0, fill}}));
}

// Surfaces sized in design units: the display scale is set per case and put back afterwards.
class ScaledOffscreenDC : public SkinFixture {
protected:
    void SetUp() override
    {
        SkinFixture::SetUp();
        m_saved = g_DPIScale;
    }
    void TearDown() override
    {
        g_DPIScale = m_saved;
        SkinFixture::TearDown();
    }

    CDPIScale m_saved;
};

TEST_F(ScaledOffscreenDC, SizeFollowsTheDisplayScale)
{
    struct Case {
        int dpi;
        int width;  // design units
        int height;
        int pixelWidth;
        int pixelHeight;
    } cases[] = {
        {96, 7, 3, 7, 3},    // 100 percent
        {120, 7, 3, 9, 4},   // 125: 8.75 and 3.75 round to the nearest pixel
        {144, 7, 3, 11, 5},  // 150: 10.5 and 4.5 round up
        {192, 7, 3, 14, 6},  // 200
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.dpi << " dpi, " << c.width << " x " << c.height);
        g_DPIScale.SetDPI(c.dpi);
        COffscreenDC surface;
        ASSERT_TRUE(surface.CreateScaled(Dc(), c.width, c.height));
        EXPECT_EQ(surface.GetWidth(), c.pixelWidth);
        EXPECT_EQ(surface.GetHeight(), c.pixelHeight);
        platform::gdi::Target target;
        ASSERT_TRUE(platform::gdi::GetDCTarget(HandleOf(surface), &target));
        EXPECT_EQ(target.surface->Width(), c.pixelWidth);
        EXPECT_EQ(target.surface->Height(), c.pixelHeight);
    }

    // A surface that exists already keeps its device context, its size and its pixels.
    g_DPIScale.SetDPI(192);
    COffscreenDC kept(Dc(), 3, 2);
    Fill(kept, 0x12345678);
    CDC* dc = kept.GetDC();
    EXPECT_FALSE(kept.CreateScaled(Dc(), 10, 10));
    EXPECT_EQ(kept.GetDC(), dc);
    EXPECT_EQ(kept.GetWidth(), 3);
    EXPECT_EQ(kept.GetHeight(), 2);
    EXPECT_EQ(PixelsOf(kept),
              std::vector<std::vector<uint32_t>>(2, {0x12345678, 0x12345678, 0x12345678}));
    // Once released it can be made again, at the scaled size.
    kept.Release();
    EXPECT_TRUE(kept.CreateScaled(Dc(), 10, 10));
    EXPECT_EQ(kept.GetWidth(), 20);
    EXPECT_EQ(kept.GetHeight(), 20);

    // Failing to make it leaves it empty.
    COffscreenDC failed;
    EXPECT_FALSE(failed.CreateScaled(nullptr, 4, 4));
    EXPECT_FALSE(failed.IsCreated());
    EXPECT_EQ(failed.GetWidth(), 0);
}

TEST_F(ScaledOffscreenDC, PicturesAreDrawnOverTheScaledSize)
{
    Add(L"SOLID.PNG", Picture(1, 1, 0xFF336699));
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(::testing::Message() << dpi << " dpi");
        g_DPIScale.SetDPI(dpi);
        COffscreenDC surface;
        ASSERT_TRUE(surface.CreateScaled(Dc(), 7, 3));
        DrawSkinImage(surface, L"solid.png");
        // Every pixel up to the scaled edges, none left at the design size.
        const std::vector<std::vector<uint32_t>> expected(
            size_t(g_DPIScale.Scale(3)),
            std::vector<uint32_t>(size_t(g_DPIScale.Scale(7)), 0xFF336699));
        EXPECT_EQ(PixelsOf(surface), expected);
    }

    // At 200 percent two picture columns spread over four pixels.
    Picture ramp(2, 1);
    ramp.At(0, 0) = 0xFFFF0000;
    ramp.At(1, 0) = 0xFF0000FF;
    Add(L"RAMP.PNG", ramp);
    g_DPIScale.SetDPI(192);
    COffscreenDC wide;
    ASSERT_TRUE(wide.CreateScaled(Dc(), 2, 1));
    DrawSkinImage(wide, L"ramp.png");
    const std::vector<uint32_t> row = {0xFFFF0000, 0xFFBF0040, 0xFF4000BF, 0xFF0000FF};
    EXPECT_EQ(PixelsOf(wide), (std::vector<std::vector<uint32_t>>{row, row}));
}

}  // namespace
