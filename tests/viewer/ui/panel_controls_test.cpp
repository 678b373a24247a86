// The floating controls driven by injected input in real windows: the panel button's clicks,
// capture and looks, the panel slider's values, releases, balloon and picture, and the
// brightness and speed panel and the volume panel opened over a dialog without their controls
// taking activation, at 100 % and 150 %.
#include <algorithm>

#include "controls_support.h"
#include "ui/ControlMessages.h"
#include "ui/LayeredWindow.h"
#include "ui/TButton.h"
#include "ui/TDropBriSpd.h"
#include "ui/TDropVol.h"
#include "ui/TSliderCtrl.h"

namespace {

using namespace controltest;

uint8_t Alpha(uint32_t pixel)
{
    return uint8_t(pixel >> 24);
}

// A window that owns the floating controls as a panel does: a visible pop-up over the dialog,
// passing what its controls send on to the dialog.
class CPanel : public CWnd {
public:
    CWnd* forwardTo = nullptr;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (forwardTo && (message == WM_COMMAND || message == WM_SLIDER_CHANGED ||
                          message == WM_SLIDER_RELEASED))
            return forwardTo->SendMessage(message, wParam, lParam);
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class Floating : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        ASSERT_TRUE(panel.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), L"Panel",
                                   WS_POPUP | WS_VISIBLE, 300, 300, 800, 500, dialog.m_hWnd,
                                   nullptr));
        panel.forwardTo = &dialog;
        panel.SetActiveWindow();
        Pump();
    }
    void TearDown() override
    {
        if (panel.GetSafeHwnd())
            panel.DestroyWindow();
        ControlTest::TearDown();
    }
    template <class Control>
    void CreateOwned(Control& control, int x, int y, int w, int h, LPCWSTR name)
    {
        ASSERT_TRUE(control.DPICreateEx(WS_EX_TOOLWINDOW, PopupWindowClass(), name, WS_POPUP, x, y,
                                        w, h, panel.m_hWnd, nullptr));
    }
    CPanel panel;
};

// ---------------------------------------------------------------------------------------------
// Panel button

class PanelButton : public Floating {
protected:
    void SetUp() override
    {
        Floating::SetUp();
        CreateOwned(button, 400, 400, 90, 21, L"ScrInit");
        CRButtonText caption;
        caption.strText = L"Initialize";
        caption.clrNormal = RGB(140, 169, 188);
        caption.clrDisabled = RGB(140, 169, 188);
        caption.clrOver = RGB(255, 255, 255);
        caption.clrPress = RGB(255, 255, 255);
        caption.nFontSize = 11;
        caption.nAlign = 1;
        button.SetImages9(L"setting_btn_nor.9.png", L"setting_btn_nor.9.png",
                          L"setting_btn_nor.9.png", &caption);
        button.SetCommandId(ID_BOX_SCRSETTING_INIT);
        button.SetMouseActivate(FALSE);
        button.ShowWindow(SW_SHOWNA);
        Pump();
    }
    CTButton button;
};

TEST_P(PanelButton, ClicksArePressesAndReleasesOnTheButton)
{
    const int w = S(90), h = S(21);
    struct Case {
        const char* what;
        POINT press;  // client pixels of the button
        POINT release;
        int commands;
    };
    const Case cases[] = {
        {"press and release on it", {w / 2, h / 2}, {w / 2, h / 2}, 1},
        {"pressed on it, released beside it", {w / 2, h / 2}, {w + 40, h / 2}, 0},
        {"pressed beside it, released on it", {w + 40, h / 2}, {w / 2, h / 2}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialog.received.clear();
        MoveTo(button, c.press.x, c.press.y);
        Press(button, c.press.x, c.press.y, true);
        MoveTo(button, c.release.x, c.release.y);
        Press(button, c.release.x, c.release.y, false);
        EXPECT_EQ(int(dialog.Commands().size()), c.commands);
        if (c.commands)
            EXPECT_EQ(dialog.Commands()[0], WPARAM(ID_BOX_SCRSETTING_INIT));
        EXPECT_EQ(CWnd::GetCapture(), nullptr);
        MoveTo(dialog, 1100, 850);
    }
    // The click did not take activation from the panel.
    EXPECT_EQ(::GetActiveWindow(), panel.m_hWnd);
}

TEST_P(PanelButton, HoverTakesNoCaptureAndHidingReleasesIt)
{
    const int w = S(90), h = S(21);
    MoveTo(button, w / 2, h / 2);
    EXPECT_EQ(button.GetState(), CTButton::kOver);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    // A click elsewhere reaches that window, not the hovered button.
    MoveTo(dialog, 50, 50);
    EXPECT_EQ(button.GetState(), CTButton::kNormal);

    // Held, then hidden under the pointer (its panel closed): the mouse is free and the button
    // comes back at rest.
    MoveTo(button, w / 2, h / 2);
    Press(button, w / 2, h / 2, true);
    ASSERT_EQ(CWnd::GetCapture(), &button);
    button.ShowWindow(SW_HIDE);
    Pump();
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    EXPECT_EQ(button.GetState(), CTButton::kNormal);
    pt::InjectMouseButton(10, 10, pt::MouseButton::Left, false);
    Pump();
    EXPECT_TRUE(dialog.Commands().empty());
}

TEST_P(PanelButton, TheCaptionIsComposedOnceAndTheCheckedLookStays)
{
    const int w = S(90), h = S(21);
    Pixels first = Read(button);
    // Repaints push the same picture: the caption does not thicken.
    for (int i = 0; i < 4; ++i) {
        button.Invalidate(FALSE);
        Pump();
    }
    Pixels again = Read(button);
    EXPECT_EQ(first.data, again.data);
    // The caption is there, in the normal colour.
    EXPECT_GT(first.CountDiffering({0, 0, w, h}, first.At(S(4), h / 2)), 20);

    button.SetCheckImage(L"btn_connect_on_normal.png");
    button.SetCheck(TRUE);
    Pixels checked = Read(button);
    EXPECT_NE(checked.data, first.data);
    // A click on a checked button returns to the checked look, not the pressed one.
    Click(button, w / 2, h / 2);
    EXPECT_EQ(button.GetState(), CTButton::kChecked);
    MoveTo(dialog, 50, 50);
    EXPECT_EQ(button.GetState(), CTButton::kChecked);
    EXPECT_EQ(Read(button).data, checked.data);
    button.SetCheck(FALSE);
    EXPECT_EQ(Read(button).data, first.data);
}

TEST_P(PanelButton, LevelsAndTooltip)
{
    CTButton volume;
    CreateOwned(volume, 500, 500, 36, 24, L"Volume");
    volume.SetImages(L"btn_volume_normal.png", L"btn_volume_over.png", L"btn_volume_press.png");
    volume.SetLevelImages(L"ic_volume_mute.png", L"ic_volume_01.png", L"ic_volume_02.png",
                          L"ic_volume_03.png", L"ic_volume_04.png", L"ic_volume_05.png", S(18),
                          S(4));
    volume.SetTooltip(L"Volume");
    volume.ShowWindow(SW_SHOWNA);
    Pump();
    Pixels none[2];
    for (int i = 0; i < 2; ++i) {
        volume.SetLevel(i == 0 ? 6 : -1);
        none[i] = Read(volume);
    }
    EXPECT_EQ(none[0].data, none[1].data);  // 6 and -1 show no level icon
    volume.SetLevel(3);
    Pixels three = Read(volume);
    RECT icon = {S(18), S(4), S(18) + 14, S(4) + 16};
    EXPECT_GT(three.CountDiffering(icon, 0), 0);
    int differing = 0;
    for (int y = icon.top; y < icon.bottom; ++y)
        for (int x = icon.left; x < icon.right; ++x)
            differing += three.At(x, y) != none[0].At(x, y);
    EXPECT_GT(differing, 10);

    // The tooltip shows 8 pixels right of the left edge and 8 below the bottom edge while the
    // pointer is on the button, without taking activation.
    MoveTo(volume, 5, 5);
    ASSERT_TRUE(volume.GetBalloon().IsWindowVisible());
    CRect buttonRect, balloonRect;
    volume.GetWindowRect(&buttonRect);
    volume.GetBalloon().GetWindowRect(&balloonRect);
    EXPECT_EQ(balloonRect.left, buttonRect.left + 8);
    EXPECT_EQ(balloonRect.top, buttonRect.bottom + 8);
    EXPECT_EQ(::GetActiveWindow(), panel.m_hWnd);
    MoveTo(dialog, 50, 50);
    EXPECT_FALSE(volume.GetBalloon().IsWindowVisible());
}

INSTANTIATE_TEST_SUITE_P(Scales, PanelButton, ::testing::Values(100, 150), PercentName);

// ---------------------------------------------------------------------------------------------
// Panel slider

class PanelSlider : public Floating {
protected:
    void Make(CTSliderCtrl& slider, int x, int w, int h, float maximum, int balloon, int id)
    {
        CreateOwned(slider, x, 400, w, h, L"Slider");
        slider.SetBalloonMode(balloon);
        slider.SetNotifyId(id);
        slider.SetMax(maximum);
        slider.SetImages(L"volume_scroll.9.png", L"volume_scroll_bg.9.png",
                         L"volume_handler_nor.png", L"volume_handler_over.png",
                         L"volume_handler_press.png", w > h ? 75 : 3, w > h ? 3 : 75);
        slider.ShowWindow(SW_SHOWNA);
        Pump();
    }
};

TEST_P(PanelSlider, ReportsPressesDragsAndReleases)
{
    CTSliderCtrl speed;
    Make(speed, 400, 75, 11, 6.0f, 2, ID_SLIDER_SPEED);
    const int length = S(75), half = (9 + 1) / 2, y = S(11) / 2;
    // A press near the far end clamps to the maximum and posts it; the release is sent.
    // (The track stops a pixel short of the end, which the thumb covers there.)
    Press(speed, length - 2, y, true);
    Press(speed, length - 2, y, false);
    EXPECT_EQ(dialog.received, (std::vector<Received>{{WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 6},
                                                      {WM_SLIDER_RELEASED, ID_SLIDER_SPEED, 0}}));
    EXPECT_EQ(speed.GetValue(), 6.0f);

    // A press beside the thumb at the start, then a drag by a third of the track.
    dialog.received.clear();
    Press(speed, half - 1, y, true);
    EXPECT_EQ(speed.GetValue(), 0.0f);
    MoveTo(speed, half - 1 + (length - 2 * half) / 2, y);
    Press(speed, half - 1 + (length - 2 * half) / 2, y, false);
    ASSERT_EQ(dialog.received.size(), 3u);
    EXPECT_EQ(dialog.received[0], (Received{WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 0}));
    EXPECT_EQ(dialog.received[1], (Received{WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 3}));
    EXPECT_EQ(dialog.received[2], (Received{WM_SLIDER_RELEASED, ID_SLIDER_SPEED, 0}));
    EXPECT_EQ(::GetActiveWindow(), panel.m_hWnd);

    // A vertical slider reports from its top end: the top gives the maximum, the bottom 0.
    CTSliderCtrl volume;
    Make(volume, 600, 11, 75, 100.0f, 1, ID_SLIDER_VOLUME);
    dialog.received.clear();
    volume.SetValue(50.0f);  // the thumb in the middle, away from both ends
    Press(volume, S(11) / 2, 0, true);
    Press(volume, S(11) / 2, 0, false);
    Press(volume, S(11) / 2, S(75) - 2, true);
    Press(volume, S(11) / 2, S(75) - 2, false);
    auto changes = dialog.Of(WM_SLIDER_CHANGED);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].lParam, 100);
    EXPECT_EQ(changes[1].lParam, 0);
    volume.SetValue(20.0f);
    EXPECT_EQ(volume.ReportedValue(), 80);
    volume.SetValue(150.0f);
    EXPECT_EQ(volume.GetValue(), 100.0f);
}

TEST_P(PanelSlider, TheBalloonShowsTheValueOverTheThumbFromTheFirstShowing)
{
    CTSliderCtrl brightness;
    Make(brightness, 400, 75, 11, 100.0f, 1, ID_SLIDER_BRIGHTNESS);
    // At value 0 the first balloon shows 0, not the number it was created with.
    const RECT thumb = brightness.GetThumbRect();
    MoveTo(brightness, thumb.left + 2, thumb.top + 2);
    CTBalloon& balloon = brightness.GetBalloon();
    ASSERT_TRUE(balloon.IsWindowVisible());
    CTBalloon reference;
    ASSERT_TRUE(reference.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), L"Balloon",
                                   WS_POPUP, 0, 0, 1, 1, dialog.m_hWnd, nullptr));
    reference.SetNumberText(0);
    EXPECT_EQ(Read(balloon).data, Read(reference).data);
    // Above the thumb, a third of its width to the left.
    CRect at, size;
    balloon.GetWindowRect(&at);
    balloon.GetClientRect(&size);
    POINT corner = ScreenOf(brightness, thumb.left, thumb.top);
    EXPECT_EQ(at.left, corner.x + size.Width() / -3);
    EXPECT_EQ(at.top, corner.y - size.Height());
    // Off the thumb it hides; during a drag it follows the thumb off it as well.
    MoveTo(brightness, S(70), S(5));
    EXPECT_FALSE(balloon.IsWindowVisible());
    MoveTo(brightness, thumb.left + 2, thumb.top + 2);
    Press(brightness, thumb.left + 2, thumb.top + 2, true);
    MoveTo(brightness, thumb.left + 2 + S(30), thumb.top + 2);
    EXPECT_TRUE(balloon.IsWindowVisible());
    reference.SetNumberText(brightness.ReportedValue());
    EXPECT_EQ(Read(balloon).data, Read(reference).data);
    Press(brightness, thumb.left + 2 + S(30), thumb.top + 2, false);
    reference.DestroyWindow();
}

// A value set from elsewhere (a wheel step) leaves the balloon as it was; UpdateBalloon then
// judges it at the pointer's last place, which has not moved: shown with the new value over
// the thumb while the thumb is still under the pointer, hidden once it has left it.
TEST_P(PanelSlider, UpdateBalloonJudgesTheBalloonWhereThePointerLastWas)
{
    CTSliderCtrl brightness;
    Make(brightness, 400, 75, 11, 100.0f, 1, ID_SLIDER_BRIGHTNESS);
    brightness.SetValue(50.0f);
    const RECT thumb = brightness.GetThumbRect();
    MoveTo(brightness, (thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2);
    CTBalloon& balloon = brightness.GetBalloon();
    ASSERT_TRUE(balloon.IsWindowVisible());
    CTBalloon reference;
    ASSERT_TRUE(reference.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), L"Balloon",
                                   WS_POPUP, 0, 0, 1, 1, dialog.m_hWnd, nullptr));
    auto shows = [&](int value) {
        reference.SetNumberText(value);
        return Read(balloon).data == Read(reference).data;
    };
    auto aboveTheThumb = [&] {
        CRect at, size;
        balloon.GetWindowRect(&at);
        balloon.GetClientRect(&size);
        const RECT now = brightness.GetThumbRect();
        POINT corner = ScreenOf(brightness, now.left, now.top);
        return at.TopLeft() == CPoint(corner.x + size.Width() / -3, corner.y - size.Height());
    };
    ASSERT_TRUE(shows(50));

    // Two steps on: the thumb moves under the resting pointer.
    CRect placed;
    balloon.GetWindowRect(&placed);
    brightness.SetValue(52.0f);
    ASSERT_NE(brightness.GetThumbRect().left, thumb.left);
    CRect still;
    balloon.GetWindowRect(&still);
    EXPECT_EQ(still, placed);
    EXPECT_TRUE(shows(50));
    brightness.UpdateBalloon();
    EXPECT_TRUE(balloon.IsWindowVisible());
    EXPECT_TRUE(shows(52));
    EXPECT_TRUE(aboveTheThumb());

    // Far on: the thumb has left the pointer.
    brightness.SetValue(90.0f);
    EXPECT_TRUE(balloon.IsWindowVisible());
    brightness.UpdateBalloon();
    EXPECT_FALSE(balloon.IsWindowVisible());

    // Back under the pointer, which never moved.
    brightness.SetValue(50.0f);
    brightness.UpdateBalloon();
    EXPECT_TRUE(balloon.IsWindowVisible());
    EXPECT_TRUE(shows(50));
    EXPECT_TRUE(aboveTheThumb());
    reference.DestroyWindow();
}

TEST_P(PanelSlider, TheThumbIsBlendedOverTrackAndBar)
{
    CTSliderCtrl slider;
    Make(slider, 400, 75, 11, 100.0f, 0, ID_SLIDER_VOLUME);
    // The rows where the track is drawn, read with the thumb at the far end.
    slider.SetValue(100.0f);
    Pixels away = Read(slider);
    std::vector<int> trackRows;
    for (int y = 0; y < away.size.cy; ++y)
        if (Alpha(away.At(1, y)) > 0)
            trackRows.push_back(y);
    ASSERT_FALSE(trackRows.empty());
    for (float value : {0.0f, 40.0f, 60.0f}) {
        SCOPED_TRACE(value);
        slider.SetValue(value);
        Pixels p = Read(slider);
        const RECT thumb = slider.GetThumbRect();
        // Under the thumb, the track and bar rows keep at least their own coverage.
        for (int y : trackRows)
            for (int x = thumb.left; x < thumb.right && x < p.size.cx - 1; ++x)
                EXPECT_GE(Alpha(p.At(x, y)), Alpha(away.At(1, y))) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, PanelSlider, ::testing::Values(100, 150), PercentName);

// ---------------------------------------------------------------------------------------------
// The two panels over a dialog

TEST(PlaySpeed, IndexesAndRates)
{
    const struct {
        float rate;
        int index;
    } cases[] = {{0.2f, 0}, {0.5f, 1}, {0.7f, 2}, {1.0f, 3}, {2.0f, 4},
                 {3.0f, 5}, {4.0f, 6}, {1.5f, 6}, {0.0f, 6}, {-1.0f, 6}};
    for (const auto& c : cases) {
        EXPECT_EQ(SpeedIndexOf(c.rate), c.index) << c.rate;
        if (c.index < 6 || c.rate == 4.0f)
            EXPECT_EQ(g_PlaySpeedTable[c.index], c.rate);
    }
}

class Panels : public ControlTest {
protected:
    template <class PanelType>
    void Create(PanelType& p, int w, int h, LPCWSTR name)
    {
        ASSERT_TRUE(p.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), name,
                                  WS_POPUP, 0, 0, w, h, dialog.m_hWnd, nullptr));
    }
    // As the main dialog opens a panel: moved below its tool button, then shown activated.
    static void Open(CWnd& p, int x, int y)
    {
        p.SetWindowPos(&CWnd::wndTopMost, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        p.ShowWindow(SW_SHOW);
        Pump();
    }
    static POINT ClientPointOf(const CWnd& parent, const CWnd& child)
    {
        CRect r;
        child.GetWindowRect(&r);
        POINT p = {r.left, r.top};
        parent.ScreenToClient(&p);
        return p;
    }
};

TEST_P(Panels, SpeedPanelOpensBesideItsButtonAndKeepsActivation)
{
    CTDropBriSpd box;
    Create(box, 151, 150, L"BriSpd");
    Open(box, S(600), S(100));
    ASSERT_TRUE(box.IsWindowVisible());
    ASSERT_EQ(::GetActiveWindow(), box.m_hWnd);
    // The speed slider and the button are placed on the panel and shown; the brightness
    // slider stays hidden.
    EXPECT_TRUE(box.GetSpeedSlider().IsWindowVisible());
    EXPECT_TRUE(box.GetInitButton().IsWindowVisible());
    EXPECT_FALSE(box.GetBrightnessSlider().IsWindowVisible());
    EXPECT_EQ(ClientPointOf(box, box.GetSpeedSlider()), (CPoint(S(58), S(96))));
    EXPECT_EQ(ClientPointOf(box, box.GetInitButton()), (CPoint(S(31), S(117))));
    EXPECT_EQ(box.GetSpeedSlider().GetValue(), 3.0f);

    // A press at the slider's start goes to index 0 through the panel to the dialog; the
    // panel stays active and open.
    CTSliderCtrl& slider = box.GetSpeedSlider();
    Click(slider, 1, S(11) / 2);
    EXPECT_EQ(dialog.Of(WM_SLIDER_CHANGED),
              (std::vector<Received>{{WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 0}}));
    EXPECT_EQ(box.GetSpeed(), 0.2f);
    EXPECT_EQ(::GetActiveWindow(), box.m_hWnd);

    // The wheel over the speed part: up one step, up at the top stays, an odd delta reports
    // the unchanged index; over the upper part the brightness is reported as it is.
    dialog.received.clear();
    slider.SetValue(5.0f);
    POINT speedPart = ScreenOf(box, S(20), S(120));
    for (int delta : {120, 120, 240})
        pt::InjectWheel(speedPart.x, speedPart.y, delta);
    POINT upper = ScreenOf(box, S(20), S(20));
    pt::InjectWheel(upper.x, upper.y, 120);
    Pump();
    EXPECT_EQ(dialog.Of(WM_SLIDER_CHANGED),
              (std::vector<Received>{{WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 6},
                                     {WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 6},
                                     {WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 6},
                                     {WM_SLIDER_CHANGED, ID_SLIDER_BRIGHTNESS, 50}}));

    // An index outside the table is held to its ends.
    dialog.received.clear();
    box.SendMessage(WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 99);
    box.SendMessage(WM_SLIDER_CHANGED, ID_SLIDER_SPEED, -5);
    box.SendMessage(WM_SLIDER_CHANGED, 1299, 3);
    EXPECT_EQ(dialog.Of(WM_SLIDER_CHANGED),
              (std::vector<Received>{{WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 6},
                                     {WM_SLIDER_CHANGED, ID_SLIDER_SPEED, 0}}));
    EXPECT_EQ(box.GetSpeed(), 0.2f);

    // The Initialize button resets the panel and passes its command on, still without taking
    // activation.
    dialog.received.clear();
    Pixels before = Read(box);
    CTButton& init = box.GetInitButton();
    Click(init, S(45), S(10));
    EXPECT_EQ(dialog.received, (std::vector<Received>{{WM_COMMAND, ID_BOX_SCRSETTING_INIT, 0}}));
    EXPECT_EQ(box.GetSpeed(), 1.0f);
    EXPECT_EQ(box.GetSpeedSlider().GetValue(), 3.0f);
    EXPECT_EQ(::GetActiveWindow(), box.m_hWnd);
    // The gauge shows the new rate.
    RECT gauge = {S(13), S(94), S(50), S(109)};
    Pixels after = Read(box);
    int changed = 0;
    for (int y = gauge.top; y < gauge.bottom; ++y)
        for (int x = gauge.left; x < gauge.right; ++x)
            changed += before.At(x, y) != after.At(x, y);
    EXPECT_GT(changed, 5);

    // A click on the dialog closes the panel with its controls; the dialog is active again.
    Click(dialog, 50, 50);
    EXPECT_FALSE(box.IsWindowVisible());
    EXPECT_FALSE(box.GetSpeedSlider().IsWindowVisible());
    EXPECT_FALSE(box.GetInitButton().IsWindowVisible());
    EXPECT_EQ(::GetActiveWindow(), dialog.m_hWnd);
    box.DestroyWindow();
}

TEST_P(Panels, VolumePanelReportsTheVolumeFromItsVerticalSlider)
{
    CTDropVol box;
    Create(box, 43, 116, L"Volume");
    Open(box, S(700), S(100));
    ASSERT_EQ(::GetActiveWindow(), box.m_hWnd);
    CTSliderCtrl& slider = box.GetSlider();
    ASSERT_TRUE(slider.IsWindowVisible());
    EXPECT_EQ(ClientPointOf(box, slider), (CPoint(S(16), S(13))));
    EXPECT_EQ(slider.GetValue(), 50.0f);  // 100 - volume, counted from the top

    Click(slider, S(11) / 2, 0);
    Click(slider, S(11) / 2, S(75) - 2);
    EXPECT_EQ(dialog.Of(WM_SLIDER_CHANGED),
              (std::vector<Received>{{WM_SLIDER_CHANGED, ID_SLIDER_VOLUME, 100},
                                     {WM_SLIDER_CHANGED, ID_SLIDER_VOLUME, 0}}));
    EXPECT_EQ(::GetActiveWindow(), box.m_hWnd);

    dialog.received.clear();
    slider.SetValue(1.0f);  // volume 99
    POINT over = ScreenOf(box, S(20), S(50));
    for (int delta : {120, 120, 240, -120})
        pt::InjectWheel(over.x, over.y, delta);
    Pump();
    EXPECT_EQ(dialog.Of(WM_SLIDER_CHANGED),
              (std::vector<Received>{{WM_SLIDER_CHANGED, ID_SLIDER_VOLUME, 100},
                                     {WM_SLIDER_CHANGED, ID_SLIDER_VOLUME, 100},
                                     {WM_SLIDER_CHANGED, ID_SLIDER_VOLUME, 100},
                                     {WM_SLIDER_CHANGED, ID_SLIDER_VOLUME, 99}}));
    EXPECT_EQ(box.GetVolume(), 99u);

    Click(dialog, 50, 50);
    EXPECT_FALSE(box.IsWindowVisible());
    EXPECT_FALSE(slider.IsWindowVisible());
    EXPECT_EQ(::GetActiveWindow(), dialog.m_hWnd);
    // Opened again at the last volume.
    Open(box, S(700), S(100));
    EXPECT_EQ(slider.GetValue(), 1.0f);
    box.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(Scales, Panels, ::testing::Values(100, 150), PercentName);

}  // namespace
