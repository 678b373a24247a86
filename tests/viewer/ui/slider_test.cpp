// The seek slider and the speed gauge in real windows, at 100 % and 150 %: the values that
// presses and drags report, the release that only a press on the slider gets, positions and
// where they draw the bar and the thumb, a vertical slider's direction, the passive gauge, a
// size change, and a slider no longer than its thumb.
#include <cmath>

#include "controls_support.h"
#include "face_support.h"
#include "ui/ControlMessages.h"
#include "ui/RSliderCtrl.h"

namespace {

using namespace controltest;
using facetest::CFace;

constexpr uint32_t kGround = 0xFF202830u;

class Slider : public facetest::GroundTest {
protected:
    Slider() : GroundTest(kGround) {}
    void CreateSeek(CRSliderCtrl& slider, int width = 643)
    {
        ASSERT_TRUE(slider.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {10, 100, 10 + width, 107},
                                     &dialog, 1200));
        slider.SetNotifyId(ID_SLIDER_SEEK);
        slider.SetImages9(L"progress_bar.9.png", L"progress_bg.9.png", L"progress_point.png",
                          L"progress_point.png", L"progress_point.png", 643, 7);
        Pump();
    }
    int Width(const CWnd& w)
    {
        CRect r;
        w.GetClientRect(&r);
        return r.Width();
    }
    // The value a press at x reports: (x - 5 + 1) x 100 / (L - 10), clamped, rounded half up.
    static long Expected(int x, int length)
    {
        float pos = float(x - 5 + 1) * 100.0f / float(length - 10);
        pos = std::clamp(pos, 0.0f, 100.0f);
        return long(std::floor(pos + 0.5f));
    }
};

TEST_P(Slider, PressesReportThePositionUnderThePointerAndDragsFollowIt)
{
    CRSliderCtrl slider;
    CreateSeek(slider);
    const int length = Width(slider);
    for (int x : {4, length - 6, length / 3}) {
        SCOPED_TRACE(x);
        slider.SetPos(x < length / 2 ? 100.0f : 0.0f);  // the thumb away from the press
        dialog.received.clear();
        Press(slider, x, 3, true);
        Press(slider, x, 3, false);
        EXPECT_EQ(dialog.received, (std::vector<Received>{{WM_SLIDER_CHANGED, 1200, Expected(x, length)},
                                                          {WM_SLIDER_RELEASED, 1200, 0}}));
    }
    if (Percent() == 100) {  // the exact figures of a 643-pixel bar
        EXPECT_EQ(Expected(4, 643), 0);
        EXPECT_EQ(Expected(637, 643), 100);
    }

    // A press on the thumb sends nothing; each drag step posts, beyond the end clamped.
    slider.SetPos(50);
    const RECT thumb = slider.GetThumbRect();
    const int x = (thumb.left + thumb.right) / 2;
    dialog.received.clear();
    Press(slider, x, 3, true);
    EXPECT_TRUE(dialog.received.empty());
    MoveTo(slider, x, 3);
    MoveTo(slider, x + 1000, 3);  // captured: beyond the end
    Press(slider, x + 1000, 3, false);
    EXPECT_EQ(dialog.received, (std::vector<Received>{{WM_SLIDER_CHANGED, 1200, 50},
                                                      {WM_SLIDER_CHANGED, 1200, 100},
                                                      {WM_SLIDER_RELEASED, 1200, 0}}));
    EXPECT_EQ(slider.GetPos(), 100.0f);
}

TEST_P(Slider, OnlyAReleaseOfItsOwnPressIsReported)
{
    CRSliderCtrl slider;
    CreateSeek(slider);
    Press(dialog, 600, 600, true);
    MoveTo(slider, 100, 3);
    Press(slider, 100, 3, false);
    EXPECT_TRUE(dialog.Of(WM_SLIDER_RELEASED).empty());
    EXPECT_TRUE(dialog.Of(WM_SLIDER_CHANGED).empty());
}

TEST_P(Slider, DrawsTheFilledBarUpToThePositionAndBlendsTheThumb)
{
    CRSliderCtrl slider;
    CreateSeek(slider);
    const int length = Width(slider);
    slider.SetPos(150);
    EXPECT_EQ(slider.GetPos(), 100.0f);
    slider.SetPos(-3);
    EXPECT_EQ(slider.GetPos(), 0.0f);
    slider.SetPos(49.5f);  // draws floor(50.0) percent
    const int f = (length - 10) * 50 / 100;
    EXPECT_EQ(slider.GetThumbRect().left, f);
    EXPECT_EQ(CRect(slider.GetThumbRect()).Size(), CSize(9, 7));

    CFace bar(length, S(7)), track(length, S(7));
    GetNinePatch()->Draw(bar.Surface(), L"progress_bar.9.png");
    GetNinePatch()->Draw(track.Surface(), L"progress_bg.9.png");
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    COffscreenDC point;
    LoadSkinImage(&dc, point, L"progress_point.png");
    Pixels shown = Read(slider);
    const int y = S(7) / 2;
    EXPECT_EQ(shown.At(f / 2, y) & 0xFFFFFF, bar.At(length / 2, y) & 0xFFFFFF);
    EXPECT_EQ(shown.At((f + 9 + length) / 2, y) & 0xFFFFFF, track.At(length / 2, y) & 0xFFFFFF);
    const int top = (S(7) - 7) / 2;  // centred across the slider
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 9; ++i)
            ASSERT_EQ(shown.At(f + i, top + j) & 0xFFFFFF,
                      facetest::SurfaceAt(point, i, j) & 0xFFFFFF)
                << i << "," << j;
    pt::SaveWindowPng(slider.GetSafeHwnd(), ShotPath("slider_seek_50_" + std::to_string(Percent()) + ".png"));
    Press(slider, f + 4, top + 3, true);
    pt::SaveWindowPng(slider.GetSafeHwnd(), ShotPath("slider_seek_pressed_" + std::to_string(Percent()) + ".png"));
    Press(slider, f + 4, top + 3, false);

    // A wider slider draws its bars over the whole new width.
    slider.SetPos(100);
    slider.MoveWindow(S(10), S(100), length + 200, S(7));
    Pump();
    Pixels wider = Read(slider);
    EXPECT_EQ(wider.At(length + 100, y) & 0xFFFFFF, bar.At(length / 2, y) & 0xFFFFFF);
    EXPECT_EQ(slider.GetThumbRect().left, length + 200 - 10);
}

TEST_P(Slider, AVerticalSliderReportsTheMaximumAtTheTop)
{
    CRSliderCtrl slider;
    ASSERT_TRUE(slider.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {40, 100, 51, 175}, &dialog,
                                 1203));
    slider.SetNotifyId(ID_SLIDER_VOLUME);
    slider.SetImages9(L"volume_scroll.9.png", L"volume_scroll_bg.9.png",
                      L"volume_handler_nor.png", L"volume_handler_over.png",
                      L"volume_handler_press.png", 3, 75);
    CRect client;
    slider.GetClientRect(&client);
    slider.SetPos(50);
    Click(slider, client.Width() / 2, 0);
    slider.SetPos(50);
    Click(slider, client.Width() / 2, client.Height() - 1);
    auto changed = dialog.Of(WM_SLIDER_CHANGED);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].lParam, 100);
    EXPECT_EQ(changed[1].lParam, 0);
    slider.SetPos(20);
    EXPECT_EQ(slider.GetThumbRect().top, (client.Height() - 12) * 20 / 100);
    pt::SaveWindowPng(slider.GetSafeHwnd(), ShotPath("slider_vertical_" + std::to_string(Percent()) + ".png"));
}

TEST_P(Slider, TheSpeedGaugeIgnoresThePointerAndHasNoThumb)
{
    CRSliderCtrl gauge;
    ASSERT_TRUE(gauge.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {10, 200, 145, 208}, &dialog,
                                1205));
    gauge.SetNotifyId(ID_SLIDER_SPEED_GAUGE);
    gauge.SetStyle(2);
    gauge.SetImages(L"speed_gauge_full.png", L"speed_gauge_no.png", L"", L"", L"", background->Dc(),
                    S(135), S(8));
    gauge.SetPos(50);
    Click(gauge, 20, 3);
    EXPECT_TRUE(dialog.received.empty());
    EXPECT_EQ(gauge.GetPos(), 50.0f);
    EXPECT_TRUE(IsRectEmpty(&gauge.GetThumbRect()));
    // The full picture up to the middle, the empty one after it, both over the background.
    const int w = Width(gauge);
    CFace full(w, S(8), kGround), empty(w, S(8), kGround);
    full.BlendPlain(L"speed_gauge_full.png", w, S(8), 0, 0, w, S(8));
    empty.BlendPlain(L"speed_gauge_no.png", w, S(8), 0, 0, w, S(8));
    Pixels shown = Read(gauge);
    EXPECT_EQ(shown.At(w / 4, S(4)) & 0xFFFFFF, full.At(w / 4, S(4)) & 0xFFFFFF);
    EXPECT_EQ(shown.At(w * 3 / 4, S(4)) & 0xFFFFFF, empty.At(w * 3 / 4, S(4)) & 0xFFFFFF);
    pt::SaveWindowPng(gauge.GetSafeHwnd(), ShotPath("slider_gauge_" + std::to_string(Percent()) + ".png"));
}

TEST_P(Slider, ASliderNoLongerThanItsThumbStaysAtItsMinimum)
{
    CRSliderCtrl slider;
    ASSERT_TRUE(slider.Create(nullptr, L"", WS_CHILD | WS_VISIBLE, CRect(10, 300, 20, 307), &dialog,
                              1200));
    slider.SetNotifyId(ID_SLIDER_SEEK);
    slider.SetImages9(L"progress_bar.9.png", L"progress_bg.9.png", L"progress_point.png",
                      L"progress_point.png", L"progress_point.png", 10, 7);
    Press(slider, 6, 3, true);
    MoveTo(slider, 3, 3);
    Press(slider, 3, 3, false);
    EXPECT_EQ(slider.GetPos(), 0.0f);
    for (const Received& r : dialog.Of(WM_SLIDER_CHANGED))
        EXPECT_EQ(r.lParam, 0);
    slider.SetPos(70);
    EXPECT_EQ(slider.GetThumbRect().left, 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, Slider, ::testing::Values(100, 150), PercentName);

}  // namespace
