// The nine-patch painter on small synthetic pictures: where every inner column and row of the
// picture lands in the target, the content area after the stretch, and pictures that are
// missing, too small or carry markers in their corners.
#include <sstream>

#include "skin_support.h"
#include "ui/NinePatch.h"

using namespace skintest;

namespace {

// Target columns (or rows) by what they show: an inner index of the picture, the content frame
// (not checked) or nothing from the picture (transparent black).
constexpr int kFrame = -2;
constexpr int kNothing = -1;

std::vector<int> Seq(int first, int last)
{
    std::vector<int> out;
    for (int i = first; i <= last; ++i)
        out.push_back(i);
    return out;
}
std::vector<int> Rep(int value, int count)
{
    return std::vector<int>(size_t(count), value);
}
std::vector<int> Cat(std::initializer_list<std::vector<int>> parts)
{
    std::vector<int> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

struct Run {
    int first;  // picture coordinate of the first black pixel; -1: no run
    int last;
};

// A nine-patch picture: inner pixels Inner(x, y), markers above inner columns `cols` and beside
// inner rows `rows`, the content runs along the bottom row and right column, every other frame
// pixel `frame`, and the four corners `corner` unless a content run covers them.
Picture NinePatch(int innerWidth, int innerHeight, std::vector<int> cols, std::vector<int> rows,
                  Run contentX = {-1, -1}, Run contentY = {-1, -1}, uint32_t frame = kClearWhite,
                  uint32_t corner = kClearWhite)
{
    Picture p = Framed(innerWidth, innerHeight, frame);
    int w = p.width;
    int h = p.height;
    p.At(0, 0) = p.At(w - 1, 0) = p.At(0, h - 1) = p.At(w - 1, h - 1) = corner;
    for (int c : cols)
        p.At(c + 1, 0) = kOpaqueBlack;
    for (int r : rows)
        p.At(0, r + 1) = kOpaqueBlack;
    for (int x = contentX.first; contentX.first >= 0 && x <= contentX.last; ++x)
        p.At(x, h - 1) = kOpaqueBlack;
    for (int y = contentY.first; contentY.first >= 0 && y <= contentY.last; ++y)
        p.At(w - 1, y) = kOpaqueBlack;
    return p;
}

class NinePatchTest : public SkinFixture {
protected:
    // Checks every pixel of the target against the column and row maps; reports the first
    // few differences only.
    static void ExpectStretched(const COffscreenDC& target, const std::vector<int>& columns,
                                const std::vector<int>& rows, const char* what)
    {
        ASSERT_EQ(int(columns.size()), target.GetWidth()) << what;
        ASSERT_EQ(int(rows.size()), target.GetHeight()) << what;
        std::ostringstream differences;
        int count = 0;
        for (int y = 0; y < target.GetHeight(); ++y) {
            for (int x = 0; x < target.GetWidth(); ++x) {
                int cx = columns[size_t(x)];
                int cy = rows[size_t(y)];
                if (cx == kNothing || cy == kNothing) {
                    if (At(target, x, y) == 0)
                        continue;
                } else if (cx == kFrame || cy == kFrame || At(target, x, y) == Inner(cx, cy)) {
                    continue;
                }
                if (count++ < 5)
                    differences << " (" << x << "," << y << ")=" << std::hex << At(target, x, y)
                                << std::dec;
            }
        }
        EXPECT_EQ(count, 0) << what << ":" << differences.str();
    }
};

TEST_F(NinePatchTest, EveryInnerColumnAndRowLandsWhereTheMarkersSay)
{
    const uint32_t kBefore = 0x12345678;
    struct Case {
        const char* what;
        Picture picture;
        int width;
        int height;
        std::vector<int> columns;
        std::vector<int> rows;
    } cases[] = {
        {"no markers: 1:1 into the top-left corner", NinePatch(4, 3, {}, {}), 9, 7,
         Cat({Seq(0, 3), {kFrame}, Rep(kNothing, 4)}),
         Cat({Seq(0, 2), {kFrame}, Rep(kNothing, 3)})},
        {"one marker each way, 11 wide onto 40", NinePatch(9, 5, {3}, {2}), 40, 12,
         Cat({Seq(0, 2), Rep(3, 32), Seq(4, 8)}), Cat({Seq(0, 1), Rep(2, 8), Seq(3, 4)})},
        {"two markers sharing evenly", NinePatch(8, 6, {2, 5}, {1, 4}), 14, 10,
         Cat({Seq(0, 1), Rep(2, 4), Seq(3, 4), Rep(5, 4), Seq(6, 7)}),
         Cat({{0}, Rep(1, 3), Seq(2, 3), Rep(4, 3), {5}})},
        {"two markers, the second taking the odd line", NinePatch(8, 6, {2, 5}, {1, 4}), 15, 11,
         Cat({Seq(0, 1), Rep(2, 4), Seq(3, 4), Rep(5, 5), Seq(6, 7)}),
         Cat({{0}, Rep(1, 3), Seq(2, 3), Rep(4, 4), {5}})},
        {"markers on the first and last inner lines", NinePatch(8, 4, {0, 7}, {3}), 12, 6,
         Cat({Rep(0, 3), Seq(1, 6), Rep(7, 3)}), Cat({Seq(0, 2), Rep(3, 3)})},
        {"same size as the inner part", NinePatch(6, 4, {2}, {1}), 6, 4, Seq(0, 5), Seq(0, 3)},
        {"target smaller than the picture: cut off, never mirrored", NinePatch(9, 5, {3}, {2}), 5,
         3, Seq(0, 4), Seq(0, 2)},
        {"black corners and a transparent black frame mark nothing",
         NinePatch(9, 5, {3}, {2}, {-1, -1}, {-1, -1}, 0x00000000, kOpaqueBlack), 40, 12,
         Cat({Seq(0, 2), Rep(3, 32), Seq(4, 8)}), Cat({Seq(0, 1), Rep(2, 8), Seq(3, 4)})},
        {"three markers leave the target transparent black", NinePatch(8, 4, {1, 3, 5}, {}), 12, 6,
         Rep(kNothing, 12), Rep(kNothing, 6)},
    };
    for (const Case& c : cases) {
        Add(L"CASE.9.PNG", c.picture);
        COffscreenDC target(Dc(), c.width, c.height);
        ASSERT_TRUE(target.IsCreated()) << c.what;
        Fill(target, kBefore);  // replaced, not composed
        GetNinePatch()->Draw(target, L"case.9.png");
        ExpectStretched(target, c.columns, c.rows, c.what);
    }
}

TEST_F(NinePatchTest, ContentAreaFollowsTheStretch)
{
    struct Case {
        const char* what;
        Picture picture;
        int width;
        int height;
        RECT expected;
    } cases[] = {
        // Picture columns 2..8 (7) hold the marker at picture column 4, stretched to 32: 7 + 31.
        {"one marker inside the content",
         NinePatch(9, 5, {3}, {2}, {2, 8}, {1, 5}),
         40,
         12,
         {2, 1, 40, 13}},
        // The marked column before the content grows to 12 and moves it 11 to the right.
        {"a marker before the content moves it",
         NinePatch(9, 5, {0}, {}, {3, 8}, {1, 5}),
         20,
         5,
         {14, 1, 20, 6}},
        {"two markers inside the content",
         NinePatch(8, 6, {2, 5}, {}, {1, 8}, {1, 6}),
         15,
         6,
         {1, 1, 16, 7}},
        {"right column black from its first pixel",
         NinePatch(4, 3, {}, {}, {1, 4}, {0, 3}),
         4,
         3,
         {1, 0, 5, 0}},
        {"no content frame", NinePatch(4, 3, {}, {}), 4, 3, {-1, -1, 0, 0}},
    };
    for (const Case& c : cases) {
        Add(L"CONTENT.9.PNG", c.picture);
        COffscreenDC target(Dc(), c.width, c.height);
        RECT content = {99, 99, 99, 99};
        GetNinePatch()->Draw(target, L"Content.9.png", &content);
        EXPECT_EQ(content.left, c.expected.left) << c.what;
        EXPECT_EQ(content.top, c.expected.top) << c.what;
        EXPECT_EQ(content.right, c.expected.right) << c.what;
        EXPECT_EQ(content.bottom, c.expected.bottom) << c.what;
    }
}

TEST_F(NinePatchTest, UnusablePicturesAreReportedOnceAndDrawNothing)
{
    Add(L"TINY.9.PNG", Picture(2, 2, kOpaqueBlack));
    AddBytes(L"BROKEN.9.PNG", {0x89, 'P', 'N', 'G'});
    for (const wchar_t* name : {L"absent.9.png", L"tiny.9.png", L"broken.9.png"}) {
        COffscreenDC target(Dc(), 6, 4);
        Fill(target, 0x12345678);
        RECT content = {7, 7, 7, 7};
        GetNinePatch()->Draw(target, name, &content);
        GetNinePatch()->Draw(target, name, &content);  // a repaint asks again
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                ASSERT_EQ(At(target, x, y), 0x12345678u) << name;
        EXPECT_TRUE(content.left == 7 && content.top == 7 && content.right == 7 &&
                    content.bottom == 7)
            << name;
        // Drawing reported the picture already, so no further line is written for it.
        EXPECT_FALSE(ReportMissingSkinImage(L"nine patch", SkinResourceName(name))) << name;
    }

    // An empty target does not even look the picture up.
    COffscreenDC empty;
    GetNinePatch()->Draw(empty, L"never_looked_up.9.png");
    EXPECT_FALSE(empty.IsCreated());
    EXPECT_TRUE(ReportMissingSkinImage(L"nine patch", L"NEVER_LOOKED_UP.9.PNG"));
    EXPECT_FALSE(ReportMissingSkinImage(L"nine patch", L"NEVER_LOOKED_UP.9.PNG"));
}

}  // namespace
