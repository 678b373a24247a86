// GDI+ start-up and PNG pictures: every kind of PNG becomes straight 8-bit ARGB with the file's
// own values, and damaged input fails with a status instead of a picture.
#include <climits>

#include <gtest/gtest.h>

#include "pictures.h"
#include "platform/gdiplus.h"

using namespace Gdiplus;
using pngtest::Chunk;
using pngtest::Picture;

namespace {

class GdiplusSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        GdiplusStartupInput input;
        ASSERT_EQ(GdiplusStartup(&m_token, &input, nullptr), Ok);
    }
    void TearDown() override { GdiplusShutdown(m_token); }

    ULONG_PTR m_token = 0;
};

std::vector<uint32_t> PixelsOf(Bitmap& bitmap)
{
    std::vector<uint32_t> pixels;
    for (INT y = 0; y < INT(bitmap.GetHeight()); ++y) {
        for (INT x = 0; x < INT(bitmap.GetWidth()); ++x) {
            Color color;
            EXPECT_EQ(bitmap.GetPixel(x, y, &color), Ok);
            pixels.push_back(color.GetValue());
        }
    }
    return pixels;
}

TEST(GdiplusStartup, TokensCountStartUpsAndObjectsNeedOne)
{
    struct Bad {
        const char* what;
        bool nullToken;
        bool nullInput;
        bool withOutput;
        UINT version;
        BOOL suppressThread;
        Status expected;
    } cases[] = {
        {"null token", true, false, false, 1, FALSE, InvalidParameter},
        {"null input", false, true, false, 1, FALSE, InvalidParameter},
        {"output given", false, false, true, 1, FALSE, InvalidParameter},
        {"version 2", false, false, false, 2, FALSE, UnsupportedGdiplusVersion},
        {"no background thread", false, false, false, 1, TRUE, NotImplemented},
    };
    for (const Bad& bad : cases) {
        GdiplusStartupInput input(nullptr, bad.suppressThread);
        input.GdiplusVersion = bad.version;
        ULONG_PTR token = 77;
        int storage = 0;
        EXPECT_EQ(GdiplusStartup(
                      bad.nullToken ? nullptr : &token, bad.nullInput ? nullptr : &input,
                      bad.withOutput ? reinterpret_cast<GdiplusStartupOutput*>(&storage) : nullptr),
                  bad.expected)
            << bad.what;
        EXPECT_EQ(token, 77u) << bad.what;
    }

    std::vector<uint8_t> png = pngtest::Encode(Picture(2, 1, 0xFF102030));
    auto made = [&png]() {
        Bitmap bitmap(pngtest::StreamOf(png).Get());
        return bitmap.GetLastStatus();
    };
    EXPECT_EQ(made(), GdiplusNotInitialized);
    GdiplusStartupInput input;
    ULONG_PTR first = 0;
    ULONG_PTR second = 0;
    ASSERT_EQ(GdiplusStartup(&first, &input, nullptr), Ok);
    ASSERT_EQ(GdiplusStartup(&second, &input, nullptr), Ok);
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    GdiplusShutdown(first);
    GdiplusShutdown(first);         // already ended: does not end the second start-up
    GdiplusShutdown(first + 1000);  // never given
    EXPECT_EQ(made(), Ok);
    GdiplusShutdown(second);
    EXPECT_EQ(made(), GdiplusNotInitialized);
    HDC dc = CreateCompatibleDC(nullptr);
    Graphics graphics(dc);
    EXPECT_EQ(graphics.GetLastStatus(), GdiplusNotInitialized);
    DeleteDC(dc);
}

using GdiplusBitmap = GdiplusSession;

TEST_F(GdiplusBitmap, EveryKindOfPngGivesStraightArgb)
{
    std::vector<uint8_t> rgba = pngtest::Encode([] {
        Picture p(3, 1);
        p.At(0, 0) = 0x80C86432;  // half-transparent: the colour is not premultiplied
        p.At(1, 0) = 0x00FFFFFF;  // transparent white stays white
        p.At(2, 0) = 0xFF000000;
        return p;
    }());
    struct Case {
        const char* what;
        std::vector<uint8_t> png;
        UINT width;
        UINT height;
        std::vector<uint32_t> pixels;
    } cases[] = {
        {"rgba 8", rgba, 3, 1, {0x80C86432, 0x00FFFFFF, 0xFF000000}},
        {"rgb 8",
         pngtest::EncodeRows(2, 1, 8, 2, {{1, 2, 3, 250, 251, 252}}),
         2,
         1,
         {0xFF010203, 0xFFFAFBFC}},
        {"rgb 8 with a transparent colour",
         pngtest::EncodeRows(2, 1, 8, 2, {{1, 2, 3, 9, 9, 9}}, {{"tRNS", {0, 9, 0, 9, 0, 9}}}),
         2,
         1,
         {0xFF010203, 0x00090909}},
        {"grey 8", pngtest::EncodeRows(2, 1, 8, 0, {{0x10, 0xEE}}), 2, 1, {0xFF101010, 0xFFEEEEEE}},
        {"grey 1",
         pngtest::EncodeRows(3, 1, 1, 0, {{0xA0}}),
         3,
         1,
         {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
        {"grey and alpha 8",
         pngtest::EncodeRows(1, 2, 8, 4, {{0x33, 0x44}, {0xFF, 0x00}}),
         1,
         2,
         {0x44333333, 0x00FFFFFF}},
        {"palette 2 with alpha",
         pngtest::EncodeRows(
             4, 1, 2, 3, {{0x1B}},
             {{"PLTE", {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}}, {"tRNS", {0, 128}}}),
         4,
         1,
         {0x000A141E, 0x8028323C, 0xFF46505A, 0xFF646E78}},
        {"rgba 16",
         pngtest::EncodeRows(1, 1, 16, 6, {{0x80, 0x80, 0x12, 0x34, 0xFF, 0xFF, 0x80, 0x80}}),
         1,
         1,
         {0x808012FF}},
        {"gamma chunk not applied",
         pngtest::EncodeRows(1, 1, 8, 2, {{100, 150, 200}}, {{"gAMA", {0, 0x01, 0x86, 0xA0}}}),
         1,
         1,
         {0xFF6496C8}},
        {"interlaced",
         pngtest::EncodeRows(2, 2, 8, 0, {{0x01}, {0x02}, {0x03, 0x04}}, {}, true),
         2,
         2,
         {0xFF010101, 0xFF020202, 0xFF030303, 0xFF040404}},
    };
    for (Case& c : cases) {
        std::unique_ptr<Bitmap> bitmap(Bitmap::FromStream(pngtest::StreamOf(c.png).Get()));
        ASSERT_TRUE(bitmap) << c.what;
        ASSERT_EQ(bitmap->GetLastStatus(), Ok) << c.what;
        EXPECT_EQ(bitmap->GetWidth(), c.width) << c.what;
        EXPECT_EQ(bitmap->GetHeight(), c.height) << c.what;
        EXPECT_EQ(PixelsOf(*bitmap), c.pixels) << c.what;
    }
}

TEST_F(GdiplusBitmap, DecodesFromTheStreamPosition)
{
    std::vector<uint8_t> bytes = {'j', 'u', 'n', 'k'};
    std::vector<uint8_t> png = pngtest::Encode(Picture(1, 1, 0xFF445566));
    bytes.insert(bytes.end(), png.begin(), png.end());
    ComPtr<IStream> stream = pngtest::StreamOf(bytes);
    LARGE_INTEGER move;
    move.QuadPart = 4;
    ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), S_OK);
    Bitmap bitmap(stream.Get());
    ASSERT_EQ(bitmap.GetLastStatus(), Ok);
    EXPECT_EQ(PixelsOf(bitmap), std::vector<uint32_t>{0xFF445566});
}

TEST_F(GdiplusBitmap, DamagedInputFailsWithoutAPicture)
{
    const std::vector<uint8_t> good = pngtest::Encode(Picture(4, 3, 0xFF808080));
    auto cut = [&good](size_t bytes) {
        return std::vector<uint8_t>(good.begin(), good.begin() + long(bytes));
    };
    auto flipped = [&good](size_t at) {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x40;
        return bad;
    };
    auto header = [](uint32_t width, uint32_t height, int depth, int type) {
        std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        std::vector<uint8_t> data;
        pngtest::PutBigEndian(&data, width);
        pngtest::PutBigEndian(&data, height);
        data.insert(data.end(), {uint8_t(depth), uint8_t(type), 0, 0, 0});
        pngtest::PutChunk(&png, "IHDR", data);
        pngtest::PutChunk(&png, "IDAT", pngtest::StoredZlib(std::vector<uint8_t>(64, 0)));
        pngtest::PutChunk(&png, "IEND", {});
        return png;
    };
    auto withPixelData = [](std::vector<uint8_t> zlib) {
        std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        std::vector<uint8_t> data;
        pngtest::PutBigEndian(&data, 1);
        pngtest::PutBigEndian(&data, 1);
        data.insert(data.end(), {8, 0, 0, 0, 0});
        pngtest::PutChunk(&png, "IHDR", data);
        pngtest::PutChunk(&png, "IDAT", zlib);
        pngtest::PutChunk(&png, "IEND", {});
        return png;
    };
    std::vector<uint8_t> badBlock = pngtest::StoredZlib({0, 0x7F});
    badBlock[5] ^= 0xFF;  // the block's length check no longer matches its length
    std::vector<uint8_t> badAdler = pngtest::StoredZlib({0, 0x7F});
    badAdler.back() ^= 0x01;
    // Offsets into the good file: the signature is 8 bytes, IHDR 25, then IDAT (data from 41).
    const size_t idat = 33;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        Status expected;
    } cases[] = {
        {"empty", {}, InvalidParameter},
        {"not a png", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0}, InvalidParameter},
        {"signature only", cut(8), InvalidParameter},
        {"cut in the header", cut(20), InvalidParameter},
        {"cut after the header", cut(idat), InvalidParameter},
        {"cut in the pixels", cut(idat + 30), InvalidParameter},
        {"cut before the end chunk", cut(good.size() - 12), InvalidParameter},
        {"header checksum wrong", flipped(29), InvalidParameter},
        {"pixel chunk checksum wrong", flipped(idat + 8), InvalidParameter},
        {"deflate block damaged", withPixelData(badBlock), InvalidParameter},
        {"deflate checksum wrong", withPixelData(badAdler), InvalidParameter},
        {"too little pixel data", header(4, 4, 8, 6), InvalidParameter},
        {"width 0", header(0, 4, 8, 6), InvalidParameter},
        {"bit depth 4 for rgb", header(4, 4, 4, 2), InvalidParameter},
        {"wider than 16384", header(16385, 1, 8, 6), OutOfMemory},
        {"more than 2^26 pixels", header(16384, 4097, 8, 6), OutOfMemory},
    };
    for (const Case& c : cases) {
        Bitmap bitmap(pngtest::StreamOf(c.bytes).Get());
        EXPECT_EQ(bitmap.GetLastStatus(), c.expected) << c.what;
        // Without a picture every call keeps failing, after the status was read as well.
        EXPECT_EQ(bitmap.GetWidth(), 0u) << c.what;
        EXPECT_EQ(bitmap.GetHeight(), 0u) << c.what;
        Color color(0x12345678);
        EXPECT_EQ(bitmap.GetPixel(0, 0, &color), InvalidParameter) << c.what;
        EXPECT_EQ(color.GetValue(), 0x12345678u) << c.what;
        EXPECT_EQ(bitmap.GetLastStatus(), InvalidParameter) << c.what;
    }

    Bitmap none(nullptr);
    EXPECT_EQ(none.GetLastStatus(), InvalidParameter);

    // A stream whose block its owner freed cannot be read.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, good.size());
    ASSERT_TRUE(block);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, &stream), S_OK);
    GlobalFree(block);
    Bitmap unreadable(stream.Get());
    EXPECT_EQ(unreadable.GetLastStatus(), Win32Error);
}

TEST_F(GdiplusBitmap, FailedCallsAreReportedOnceAndKeepTheColour)
{
    Bitmap bitmap(pngtest::StreamOf(pngtest::Encode(Picture(2, 3, 0xFF010203))).Get());
    ASSERT_EQ(bitmap.GetLastStatus(), Ok);
    struct Point {
        INT x;
        INT y;
    } outside[] = {{-1, 0}, {0, -1}, {2, 0}, {0, 3}, {INT_MIN, 0}};
    for (Point p : outside) {
        Color color(0xCAFEBABE);
        EXPECT_EQ(bitmap.GetPixel(p.x, p.y, &color), InvalidParameter) << p.x << "," << p.y;
        EXPECT_EQ(color.GetValue(), 0xCAFEBABEu);
    }
    EXPECT_EQ(bitmap.GetPixel(0, 0, nullptr), InvalidParameter);
    EXPECT_EQ(bitmap.GetLastStatus(), InvalidParameter);
    EXPECT_EQ(bitmap.GetLastStatus(), Ok);
    Color color;
    EXPECT_EQ(color.GetValue(), 0xFF000000u);  // opaque black until something is read
    EXPECT_EQ(bitmap.GetPixel(1, 2, &color), Ok);
    EXPECT_EQ(color.GetValue(), 0xFF010203u);
    EXPECT_EQ(bitmap.GetLastStatus(), Ok);
}

}  // namespace
