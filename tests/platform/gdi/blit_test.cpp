// BitBlt, StretchBlt and AlphaBlend on small surfaces: all four bytes copied, pixel repetition,
// clipping at every edge, overlapping copies, and the premultiplied blend values.
#include "canvas.h"

using gditest::Argb;
using gditest::Canvas;

namespace {

// A source whose pixel (x, y) is unique: alpha 0x80 + x, red y, green x, blue 0x11.
void Pattern(const Canvas& canvas)
{
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            canvas.At(x, y) = Argb(0x80 + x, y, x, 0x11);
}

constexpr uint32_t kBackground = Argb(0x12, 0x34, 0x56, 0x78);

TEST(GdiBlit, BitBltCopiesAllFourBytesAndClips)
{
    Canvas source(10, 8, true);
    Canvas dest;
    Pattern(source);
    dest.Fill(kBackground);
    ASSERT_TRUE(BitBlt(dest.Dc(), 5, 4, 3, 2, source.Dc(), 2, 1, SRCCOPY));
    EXPECT_EQ(dest.At(5, 4), source.At(2, 1));
    EXPECT_EQ(dest.At(7, 5), source.At(4, 2));
    EXPECT_EQ(dest.Changed(kBackground), (RECT{5, 4, 8, 6}));

    // A destination partly off the left/top edge and a source partly off its right/bottom
    // edge: only pixels with both ends inside are touched.
    dest.Fill(kBackground);
    ASSERT_TRUE(BitBlt(dest.Dc(), -2, -1, 20, 20, source.Dc(), 5, 4, SRCCOPY));
    EXPECT_EQ(dest.At(0, 0), source.At(7, 5));
    EXPECT_EQ(dest.Changed(kBackground), (RECT{0, 0, 3, 3}));

    EXPECT_FALSE(BitBlt(dest.Dc(), 0, 0, 2, 2, source.Dc(), 0, 0, 0x00EE0086 /* SRCPAINT */));
    EXPECT_FALSE(BitBlt(dest.Dc(), 0, 0, -2, 2, source.Dc(), 0, 0, SRCCOPY));
}

TEST(GdiBlit, OverlappingCopyInOneBitmapReadsTheOldPixels)
{
    Canvas canvas(10, 4);
    Pattern(canvas);
    Canvas original(10, 4);
    Pattern(original);
    // Shift right by 2 and down by 1 within the same bitmap.
    ASSERT_TRUE(BitBlt(canvas.Dc(), 2, 1, 8, 3, canvas.Dc(), 0, 0, SRCCOPY));
    for (int y = 1; y < 4; ++y)
        for (int x = 2; x < 10; ++x)
            EXPECT_EQ(canvas.At(x, y), original.At(x - 2, y - 1));
    // And left, through stretching code.
    Pattern(canvas);
    ASSERT_TRUE(StretchBlt(canvas.Dc(), 0, 0, 6, 2, canvas.Dc(), 1, 0, 3, 1, SRCCOPY));
    EXPECT_EQ(canvas.At(0, 0), original.At(1, 0));
    EXPECT_EQ(canvas.At(1, 1), original.At(1, 0));
    EXPECT_EQ(canvas.At(5, 1), original.At(3, 0));
}

TEST(GdiBlit, StretchBltRepeatsPixelsWhenEnlarging)
{
    Canvas source(3, 2);
    Pattern(source);
    Canvas dest;
    dest.Fill(kBackground);
    // 3 x 2 to 9 x 4: every source pixel becomes a 3 x 2 block.
    ASSERT_TRUE(StretchBlt(dest.Dc(), 1, 1, 9, 4, source.Dc(), 0, 0, 3, 2, SRCCOPY));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(dest.At(1 + x, 1 + y), source.At(x / 3, y / 2)) << x << "," << y;
    EXPECT_EQ(dest.Changed(kBackground), (RECT{1, 1, 10, 5}));

    // One column stretched to 32 (a nine-patch's marked column).
    dest.Fill(kBackground);
    ASSERT_TRUE(StretchBlt(dest.Dc(), 4, 0, 32, 2, source.Dc(), 1, 0, 1, 2, SRCCOPY));
    EXPECT_EQ(dest.At(4, 1), source.At(1, 1));
    EXPECT_EQ(dest.At(35, 0), source.At(1, 0));
    EXPECT_EQ(dest.Changed(kBackground), (RECT{4, 0, 36, 2}));
}

TEST(GdiBlit, StretchBltShrinksByDroppingPixelsAndNeverMirrors)
{
    Canvas source(8, 2);
    Pattern(source);
    Canvas dest(10, 4);
    dest.Fill(kBackground);
    ASSERT_TRUE(StretchBlt(dest.Dc(), 0, 0, 4, 1, source.Dc(), 0, 0, 8, 2, SRCCOPY));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(dest.At(x, 0), source.At(2 * x, 0));

    dest.Fill(kBackground);
    EXPECT_FALSE(StretchBlt(dest.Dc(), 4, 0, -4, 1, source.Dc(), 0, 0, 8, 2, SRCCOPY));
    EXPECT_FALSE(StretchBlt(dest.Dc(), 0, 0, 4, 1, source.Dc(), 8, 0, -8, 2, SRCCOPY));
    // An empty destination or source draws nothing and is not an error.
    EXPECT_TRUE(StretchBlt(dest.Dc(), 0, 0, 0, 1, source.Dc(), 0, 0, 8, 2, SRCCOPY));
    EXPECT_TRUE(StretchBlt(dest.Dc(), 0, 0, 4, 1, source.Dc(), 0, 0, 0, 2, SRCCOPY));
    EXPECT_EQ(dest.Changed(kBackground), (RECT{0, 0, 0, 0}));
}

TEST(GdiBlit, StretchBltLeavesPixelsWhoseSourceIsOutside)
{
    // A 3-slice cut: the slice surface is taller than the picture that fills it.
    Canvas source(4, 2);
    Pattern(source);
    Canvas slice(2, 4);
    slice.Fill(kBackground);
    ASSERT_TRUE(StretchBlt(slice.Dc(), 0, 0, 2, 4, source.Dc(), 2, 0, 2, 4, SRCCOPY));
    EXPECT_EQ(slice.At(1, 1), source.At(3, 1));
    EXPECT_EQ(slice.At(0, 2), kBackground);
    EXPECT_EQ(slice.At(1, 3), kBackground);
}

// Source pixel, destination pixel, constant alpha, per-pixel flag, expected result. Values are
// premultiplied; results rounded to the nearest integer.
struct BlendCase {
    const char* what;
    uint32_t source;
    uint32_t dest;
    BYTE constantAlpha;
    bool perPixel;
    uint32_t expected;
};

const BlendCase kBlendCases[] = {
    {"opaque source replaces", Argb(255, 10, 20, 30), Argb(255, 200, 200, 200), 255, true,
     Argb(255, 10, 20, 30)},
    {"transparent source keeps", Argb(0, 0, 0, 0), Argb(77, 1, 2, 3), 255, true, Argb(77, 1, 2, 3)},
    // 100 + 200 * 127 / 255 = 199.6
    {"half alpha over opaque", Argb(128, 100, 50, 0), Argb(255, 200, 200, 200), 255, true,
     Argb(255, 200, 150, 100)},
    {"half alpha over transparent", Argb(128, 100, 50, 0), Argb(0, 0, 0, 0), 255, true,
     Argb(128, 100, 50, 0)},
    // Source scaled by 128 / 255 first: (255, 255, 0, 0) -> (128, 128, 0, 0); then over.
    {"constant alpha with per-pixel alpha", Argb(255, 255, 0, 0), Argb(255, 0, 0, 255), 128, true,
     Argb(255, 128, 0, 127)},
    // Without per-pixel alpha every byte mixes by the constant alpha.
    {"constant alpha only", Argb(0, 255, 0, 0), Argb(255, 0, 0, 255), 51, false,
     Argb(204, 51, 0, 204)},
    // Colour with zero alpha (GDI text on a layered picture) adds, saturating.
    {"zero alpha colour adds", Argb(0, 200, 10, 0), Argb(255, 100, 10, 0), 255, true,
     Argb(255, 255, 20, 0)},
};

TEST(GdiBlit, AlphaBlendValues)
{
    for (const BlendCase& c : kBlendCases) {
        SCOPED_TRACE(c.what);
        Canvas source(2, 2);
        Canvas dest(4, 4);
        source.Fill(c.source);
        dest.Fill(c.dest);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, c.constantAlpha,
                               BYTE(c.perPixel ? AC_SRC_ALPHA : 0)};
        ASSERT_TRUE(AlphaBlend(dest.Dc(), 1, 1, 2, 2, source.Dc(), 0, 0, 2, 2, blend));
        EXPECT_EQ(dest.At(1, 1), c.expected);
        EXPECT_EQ(dest.At(2, 2), c.expected);
        EXPECT_EQ(dest.At(0, 0), c.dest);
        EXPECT_EQ(dest.At(3, 3), c.dest);
    }
}

TEST(GdiBlit, AlphaBlendStretchesAndChecksItsSource)
{
    Canvas source(2, 1);
    source.At(0, 0) = Argb(255, 255, 0, 0);
    source.At(1, 0) = Argb(255, 0, 0, 255);
    Canvas dest(10, 4);
    dest.Fill(kBackground);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(dest.Dc(), 0, 0, 8, 2, source.Dc(), 0, 0, 2, 1, blend));
    EXPECT_EQ(dest.At(3, 1), Argb(255, 255, 0, 0));
    EXPECT_EQ(dest.At(4, 0), Argb(255, 0, 0, 255));
    EXPECT_EQ(dest.Changed(kBackground), (RECT{0, 0, 8, 2}));

    // The source rectangle must lie wholly inside the source; nothing is drawn otherwise.
    dest.Fill(kBackground);
    EXPECT_FALSE(AlphaBlend(dest.Dc(), 0, 0, 2, 1, source.Dc(), 1, 0, 2, 1, blend));
    EXPECT_FALSE(AlphaBlend(dest.Dc(), 0, 0, 2, 1, source.Dc(), -1, 0, 2, 1, blend));
    EXPECT_FALSE(AlphaBlend(dest.Dc(), 0, 0, -2, 1, source.Dc(), 0, 0, 2, 1, blend));
    BLENDFUNCTION unknownOp = {1, 0, 255, AC_SRC_ALPHA};
    EXPECT_FALSE(AlphaBlend(dest.Dc(), 0, 0, 2, 1, source.Dc(), 0, 0, 2, 1, unknownOp));
    // Overlapping rectangles in one bitmap are refused; separate ones work.
    EXPECT_FALSE(AlphaBlend(dest.Dc(), 1, 0, 2, 2, dest.Dc(), 0, 0, 2, 2, blend));
    EXPECT_EQ(dest.Changed(kBackground), (RECT{0, 0, 0, 0}));
    dest.At(0, 0) = Argb(255, 1, 2, 3);
    EXPECT_TRUE(AlphaBlend(dest.Dc(), 5, 2, 1, 1, dest.Dc(), 0, 0, 1, 1, blend));
    EXPECT_EQ(dest.At(5, 2), Argb(255, 1, 2, 3));

    // The destination is clipped like any other drawing.
    dest.Fill(kBackground);
    ASSERT_TRUE(AlphaBlend(dest.Dc(), 7, 3, 8, 2, source.Dc(), 0, 0, 2, 1, blend));
    EXPECT_EQ(dest.Changed(kBackground), (RECT{7, 3, 10, 4}));
}

TEST(GdiBlit, BlitsFromADeviceContextWithoutABitmap)
{
    // A memory device context without a bitmap of its own holds the 1 x 1 stock bitmap: a copy
    // from beyond that pixel changes nothing, and a blend from beyond it fails.
    HDC bare = CreateCompatibleDC(nullptr);
    Canvas dest;
    dest.Fill(kBackground);
    ASSERT_TRUE(BitBlt(dest.Dc(), 0, 0, 5, 5, bare, 3, 3, SRCCOPY));
    EXPECT_EQ(dest.Changed(kBackground), (RECT{0, 0, 0, 0}));
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    EXPECT_FALSE(AlphaBlend(dest.Dc(), 0, 0, 5, 5, bare, 0, 0, 5, 5, blend));
    DeleteDC(bare);
}

}  // namespace
