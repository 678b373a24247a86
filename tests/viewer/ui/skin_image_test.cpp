// Skin pictures drawn stretched, at their own size and cut into three slices, on small synthetic
// pictures; missing pictures are reported once, without a message box, and draw nothing.
#include "platform/testing.h"
#include "skin_support.h"

using namespace skintest;

namespace {

class SkinImageTest : public SkinFixture {
protected:
    void SetUp() override
    {
        SkinFixture::SetUp();
        // A box would be answered at once and recorded instead of waiting for a user.
        platform::testing::AnswerMessageBoxes({});
        platform::testing::ClearShownMessageBoxes();
    }
    void TearDown() override
    {
        EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
        SkinFixture::TearDown();
    }

    static std::vector<uint32_t> Row(const COffscreenDC& surface, int y)
    {
        std::vector<uint32_t> row;
        for (int x = 0; x < surface.GetWidth(); ++x)
            row.push_back(At(surface, x, y));
        return row;
    }
};

TEST_F(SkinImageTest, NamesInAnyCaseFindOnePicture)
{
    Add(L"BTN_PLAY_NORMAL.PNG", Picture(5, 3, 0xFF203040));
    for (const wchar_t* name :
         {L"btn_play_normal.png", L"BTN_PLAY_NORMAL.PNG", L"Btn_Play_Normal.png"}) {
        RECT rect = {9, 9, 9, 9};
        GetSkinImageSize(name, &rect);
        EXPECT_TRUE(rect.left == 0 && rect.top == 0 && rect.right == 5 && rect.bottom == 3)
            << "name " << std::string(name, name + wcslen(name));
    }
    RECT rect = {9, 9, 9, 9};
    GetSkinImageSize(L"btn_missing_normal.png", &rect);
    EXPECT_TRUE(rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0);
    GetSkinImageSize(L"btn_play_normal.png", nullptr);
}

TEST_F(SkinImageTest, DrawSkinImageStretchesOverTheTargetAndComposes)
{
    Picture ramp(2, 1);
    ramp.At(0, 0) = 0xFFFF0000;
    ramp.At(1, 0) = 0xFF0000FF;
    Add(L"RAMP.PNG", ramp);
    Add(L"HALF_BLUE.PNG", Picture(1, 1, 0x800000FF));

    COffscreenDC wide(Dc(), 4, 1);
    DrawSkinImage(wide, L"ramp.png");
    EXPECT_EQ(Row(wide, 0),
              (std::vector<uint32_t>{0xFFFF0000, 0xFFBF0040, 0xFF4000BF, 0xFF0000FF}));

    COffscreenDC white(Dc(), 3, 2);
    Fill(white, 0xFFFFFFFF);
    DrawSkinImage(white, L"half_blue.png");
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(Row(white, y), std::vector<uint32_t>(3, 0xFF7F7FFF));

    // Nothing to draw on: not even looked up.
    COffscreenDC empty;
    DrawSkinImage(empty, L"never_looked_up.png");
    EXPECT_FALSE(empty.IsCreated());
    EXPECT_TRUE(ReportMissingSkinImage(L"normal", L"NEVER_LOOKED_UP.PNG"));
    COffscreenDC none(Dc(), 0, 0);
    ASSERT_TRUE(none.IsCreated());
    DrawSkinImage(none, L"ramp.png");
}

TEST_F(SkinImageTest, LoadSkinImageMakesAPremultipliedSurfaceOfThePicturesSize)
{
    Picture picture(2, 1);
    picture.At(0, 0) = 0x80FF0000;
    picture.At(1, 0) = 0xFF00FF00;
    Add(L"IC_TWO.PNG", picture);
    COffscreenDC target(Dc(), 9, 9);
    Fill(target, 0x12345678);
    LoadSkinImage(Dc(), target, L"ic_two.png");
    ASSERT_TRUE(target.IsCreated());
    EXPECT_EQ(target.GetWidth(), 2);
    EXPECT_EQ(target.GetHeight(), 1);
    EXPECT_EQ(Row(target, 0), (std::vector<uint32_t>{0x80800000, 0xFF00FF00}));
}

// Slice pictures: inner pixels Inner(x, y) in a one-pixel border; one marker along the top row
// (horizontal) or the left column (vertical) beside inner index `marker`, or none for -1.
Picture Sliced(int innerWidth, int innerHeight, bool horizontal, int marker,
               uint32_t border = kClearWhite, uint32_t corner = kClearWhite)
{
    Picture p = Framed(innerWidth, innerHeight, border);
    p.At(0, 0) = corner;
    if (marker >= 0)
        p.At(horizontal ? marker + 1 : 0, horizontal ? 0 : marker + 1) = kOpaqueBlack;
    return p;
}

TEST_F(SkinImageTest, SlicesCutAtTheMarker)
{
    struct Case {
        const char* what;
        bool horizontal;
        int innerWidth;
        int innerHeight;
        Picture picture;
        int split;  // the inner index of the stretch line
    } cases[] = {
        {"marker in the middle", true, 6, 3, Sliced(6, 3, true, 2), 2},
        {"marker above the first inner column: no left cap", true, 6, 3, Sliced(6, 3, true, 0), 0},
        {"marker above the last inner column: no right cap", true, 6, 3, Sliced(6, 3, true, 5), 5},
        {"no marker: the first inner column stretches", true, 6, 3, Sliced(6, 3, true, -1), 0},
        {"transparent black border and a black corner", true, 6, 3,
         Sliced(6, 3, true, 3, 0x00000000, kOpaqueBlack), 3},
        {"vertical, marker in the middle", false, 3, 6, Sliced(3, 6, false, 2), 2},
        {"vertical, transparent black border and a black corner", false, 3, 6,
         Sliced(3, 6, false, 4, 0x00000000, kOpaqueBlack), 4},
        {"vertical, marker beside the last inner row", false, 3, 6, Sliced(3, 6, false, 5), 5},
    };
    for (const Case& c : cases) {
        Add(L"SLICE.PNG", c.picture);
        COffscreenDC first(Dc(), 9, 9);
        COffscreenDC middle(Dc(), 9, 9);
        COffscreenDC last(Dc(), 9, 9);
        if (c.horizontal)
            LoadSkinSlicesHorz(Dc(), L"slice.png", first, middle, last);
        else
            LoadSkinSlicesVert(Dc(), L"slice.png", first, middle, last);
        const int inner = c.horizontal ? c.innerWidth : c.innerHeight;
        const int across = (c.horizontal ? c.innerHeight : c.innerWidth) + 2;
        struct Expected {
            const char* name;
            const COffscreenDC* surface;
            int offset;  // inner index of the slice's first line
            int length;  // lines; 0: no such slice
        } slices[] = {
            {"first", &first, 0, c.split},
            {"middle", &middle, c.split, 1},
            // Two lines longer than the inner lines it shows, as the callers size it.
            {"last", &last, c.split + 1, inner - c.split - 1 == 0 ? 0 : inner + 2 - c.split - 1},
        };
        for (const Expected& e : slices) {
            if (e.length == 0) {
                EXPECT_FALSE(e.surface->IsCreated()) << c.what << ": " << e.name;
                continue;
            }
            ASSERT_TRUE(e.surface->IsCreated()) << c.what << ": " << e.name;
            int width = c.horizontal ? e.length : across;
            int height = c.horizontal ? across : e.length;
            ASSERT_EQ(e.surface->GetWidth(), width) << c.what << ": " << e.name;
            ASSERT_EQ(e.surface->GetHeight(), height) << c.what << ": " << e.name;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    int ix = c.horizontal ? e.offset + x : x;
                    int iy = c.horizontal ? y : e.offset + y;
                    uint32_t expected = ix < c.innerWidth && iy < c.innerHeight ? Inner(ix, iy) : 0;
                    ASSERT_EQ(At(*e.surface, x, y), expected)
                        << c.what << ": " << e.name << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(SkinImageTest, MissingPicturesAreReportedOnceAndGiveEmptySurfaces)
{
    Add(L"THIN.PNG", Picture(2, 5, 0xFF000000));
    for (const wchar_t* name : {L"absent_slices.png", L"thin.png"}) {
        for (bool horizontal : {true, false}) {
            COffscreenDC first(Dc(), 4, 4);
            COffscreenDC middle(Dc(), 4, 4);
            COffscreenDC last(Dc(), 4, 4);
            if (horizontal)
                LoadSkinSlicesHorz(Dc(), name, first, middle, last);
            else
                LoadSkinSlicesVert(Dc(), name, first, middle, last);
            EXPECT_FALSE(first.IsCreated() || middle.IsCreated() || last.IsCreated());
        }
        EXPECT_FALSE(ReportMissingSkinImage(L"normal", SkinResourceName(name)));
    }

    COffscreenDC target(Dc(), 3, 3);
    Fill(target, 0x12345678);
    DrawSkinImage(target, L"absent_stretch.png");
    DrawSkinImage(target, L"absent_stretch.png");
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(Row(target, y), std::vector<uint32_t>(3, 0x12345678));
    EXPECT_FALSE(ReportMissingSkinImage(L"normal", L"ABSENT_STRETCH.PNG"));

    LoadSkinImage(Dc(), target, L"absent_whole.png");
    EXPECT_FALSE(target.IsCreated());
    EXPECT_EQ(target.GetWidth(), 0);
    EXPECT_FALSE(ReportMissingSkinImage(L"normal", L"ABSENT_WHOLE.PNG"));

    // Each name once for the life of the process.
    EXPECT_TRUE(ReportMissingSkinImage(L"normal", L"ONLY_ONCE.PNG"));
    EXPECT_FALSE(ReportMissingSkinImage(L"nine patch", L"ONLY_ONCE.PNG"));
}

TEST_F(SkinImageTest, BrandPictureComesFromTheModuleAtAPath)
{
    std::wstring path = platform::ToWindowsPath(KV_BRAND_TEST_MODULE);
    COffscreenDC target;
    LoadBrandImage(Dc(), target, path);
    ASSERT_TRUE(target.IsCreated());
    ASSERT_EQ(target.GetWidth(), 3);
    ASSERT_EQ(target.GetHeight(), 2);
    EXPECT_EQ(Row(target, 0), (std::vector<uint32_t>{0xFF102030, 0x80808080, 0}));
    EXPECT_EQ(Row(target, 1), (std::vector<uint32_t>{0xFFFFFFFF, 0xFF000000, 0xFF0A0B0C}));
    EXPECT_EQ(GetModuleHandleW(L"KvBrandTest.dll"), nullptr) << "the module is freed again";

    // Neither a missing module nor one without the picture changes the target.
    for (std::wstring other : {path + L".missing", platform::ToWindowsPath(KV_PLATFORM_LIBRARY)}) {
        COffscreenDC kept(Dc(), 1, 1);
        Fill(kept, 0x12345678);
        LoadBrandImage(Dc(), kept, other);
        ASSERT_TRUE(kept.IsCreated());
        EXPECT_EQ(At(kept, 0, 0), 0x12345678u);
    }
}

}  // namespace
