// The number display in a real window, at 100 % and 150 %: the digits of each number (and the
// dashes) against the skin's digit pictures over the parent's background, numbers it ignores,
// the dimmed dashes while disabled, a missing digit picture, and a size change.
#include "controls_support.h"
#include "face_support.h"
#include "ui/RImageNum.h"

namespace {

using namespace controltest;
using facetest::CFace;
using facetest::CountMismatches;

constexpr uint32_t kGround = 0xFF1F2A36u;

class ImageNum : public facetest::GroundTest {
protected:
    ImageNum() : GroundTest(kGround) {}
    void Create(CRImageNum& display)
    {
        ASSERT_TRUE(display.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {20, 20, 92, 63},
                                      &dialog, 1300));
        display.SetBackground(background->Dc());
        display.Redraw();
    }
    // The face for three digit pictures (by index as the display numbers them).
    int Mismatches(const CRImageNum& display, const int (&digits)[3])
    {
        CRect client;
        display.GetClientRect(&client);
        CFace face(client.Width(), client.Height(), kGround);
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        for (int k = 0; k < 3; ++k) {
            std::wstring name = digits[k] == 10   ? L"num_speed_-_dis.png"
                                : digits[k] == 11 ? L"num_speed_-.png"
                                                  : L"num_speed_0" + std::to_wstring(digits[k]) +
                                                        L".png";
            COffscreenDC picture;
            LoadSkinImage(&dc, picture, name);
            face.Blend(picture, S(k * 24), 0, S(picture.GetWidth()), S(picture.GetHeight()));
        }
        return CountMismatches(Read(display), 0, 0, face);
    }

};

TEST_P(ImageNum, ShowsThreeDigitsDashesAndIgnoresNumbersOutOfRange)
{
    CRImageNum display;
    Create(display);
    EXPECT_EQ(display.GetNumber(), -1);
    EXPECT_EQ(Mismatches(display, {11, 11, 11}), 0);
    pt::SaveWindowPng(display.GetSafeHwnd(), ShotPath("number_dashes_" + std::to_string(Percent()) + ".png"));
    struct Case {
        int number;
        int shown;
        int digits[3];
    } cases[] = {{0, 0, {0, 0, 0}},       {42, 42, {0, 4, 2}},   {1000, 42, {0, 4, 2}},
                 {-2, 42, {0, 4, 2}},     {999, 999, {9, 9, 9}}, {7, 7, {0, 0, 7}},
                 {-1, -1, {11, 11, 11}},  {135, 135, {1, 3, 5}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        display.SetNumber(c.number);
        EXPECT_EQ(display.GetNumber(), c.shown);
        EXPECT_EQ(Mismatches(display, c.digits), 0);
    }
    pt::SaveWindowPng(display.GetSafeHwnd(), ShotPath("number_135_" + std::to_string(Percent()) + ".png"));
    display.EnableWindow(FALSE);
    EXPECT_EQ(Mismatches(display, {10, 10, 10}), 0);
    pt::SaveWindowPng(display.GetSafeHwnd(), ShotPath("number_disabled_" + std::to_string(Percent()) + ".png"));
    display.SetNumber(88);
    EXPECT_EQ(Mismatches(display, {10, 10, 10}), 0);
    display.EnableWindow(TRUE);
    EXPECT_EQ(Mismatches(display, {0, 8, 8}), 0);
}

TEST_P(ImageNum, WithoutItsDigitPicturesShowsTheBackgroundOnly)
{
    HMODULE skin = g_hSkinModule;
    g_hSkinModule = GetModuleHandleW(nullptr);  // no pictures in the test program
    CRImageNum display;
    Create(display);
    g_hSkinModule = skin;
    display.SetNumber(123);
    Pixels shown = Read(display);
    EXPECT_EQ(shown.CountDiffering({0, 0, shown.size.cx, shown.size.cy}, kGround, 0), 0);
    EXPECT_FALSE(ReportMissingSkinImage(L"normal", L"NUM_SPEED_00.PNG"));  // reported already
}

TEST_P(ImageNum, FollowsASizeChange)
{
    CRImageNum display;
    Create(display);
    display.SetNumber(5);
    display.MoveWindow(S(20), S(20), S(100), S(50));
    Pump();
    Pixels shown = Read(display);
    EXPECT_EQ(shown.size.cx, S(100));
    CRect client;
    display.GetClientRect(&client);
    EXPECT_EQ(client.Width(), S(100));
    // The digits stay where they were, drawn into the new size.
    EXPECT_EQ(Mismatches(display, {0, 0, 5}) <= (S(100) - S(72)) * S(50) + S(72) * (S(50) - S(43)),
              true);
}

INSTANTIATE_TEST_SUITE_P(Scales, ImageNum, ::testing::Values(100, 150), PercentName);

}  // namespace
