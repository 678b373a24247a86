// The main video window in a stand-in dialog, without a recording: the idle picture, zoom and
// the pan from drags and scroll bars, the mouse it keeps or passes on, the context menu, and
// full screen with its bars, their 5-second hiding on the driven clock and the commands that
// reach the dialog through them.
#include "playback/VideoMainWnd.h"

#include "playback/VideoWndHost.h"
#include "ui/ControlMessages.h"
#include "video_wnd_support.h"

namespace videotest {
namespace {

class VideoMainWndTest : public VideoWndTest {
protected:
    void Make(int width = 640, int height = 360)
    {
        wnd.SetParentHwnd(dialog.GetSafeHwnd());
        ASSERT_TRUE(wnd.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                  {20, 30, 20 + width, 30 + height}, &dialog, 1000));
        Pump();
        dialog.received.clear();
    }
    HWND H() const { return wnd.GetSafeHwnd(); }
    std::vector<std::pair<int, int>> Pans() const
    {
        std::vector<std::pair<int, int>> pans;
        for (const Received& r : dialog.Of(WM_VIDEO_PANZOOM))
            pans.push_back({r.panX, r.panY});
        return pans;
    }
    static CRect ScreenRect(CWnd& window)
    {
        CRect r;
        window.GetWindowRect(&r);
        return r;
    }
    // As the dialog enters full screen: the window becomes a top-level pop-up over the screen.
    void EnterFullScreen()
    {
        wnd.ShowWindow(SW_HIDE);
        wnd.ModifyStyle(WS_CHILD, WS_POPUP);
        wnd.SetParent(nullptr);
        wnd.SetWindowPos(nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                         GetSystemMetrics(SM_CYSCREEN), SWP_SHOWWINDOW | SWP_NOZORDER);
        Pump();
    }
    void LeaveFullScreen()
    {
        wnd.HideOverlays();
        wnd.ModifyStyle(WS_POPUP, WS_CHILD);
        wnd.SetParent(&dialog);
        wnd.SetWindowPos(nullptr, 20, 30, 640, 360, SWP_SHOWWINDOW | SWP_NOZORDER);
        Pump();
    }
    static int CursorCount()
    {
        const int count = ShowCursor(TRUE) - 1;
        ShowCursor(FALSE);
        return count;
    }

    CVideoMainWnd wnd;
};

TEST_F(VideoMainWndTest, IdlePictureAndRelayoutNotice)
{
    Make();
    wnd.Invalidate(FALSE);
    wnd.UpdateWindow();
    Pump();
    ASSERT_EQ(dialog.Of(WM_VIDEO_RELAYOUT).size(), 1u);
    EXPECT_EQ(dialog.Of(WM_VIDEO_RELAYOUT)[0].wParam, 1u);
    // The title picture sits at the centre, over the background picture.
    const Pixels shown = ReadWindow(H());
    const uint32_t corner = shown.At(5, 5);
    EXPECT_GT(shown.CountDiffering({320 - 83, 180 - 22, 320 - 83 + 243, 180 + 22}, corner), 200);
    EXPECT_EQ(shown.CountDiffering({0, 0, 200, 100}, corner, 40), 0);
    EXPECT_TRUE(pt::SaveWindowPng(H(), ShotPath("video_main_idle.png")));
}

TEST_F(VideoMainWndTest, ZoomShowsTheBarsAndFittingHidesThem)
{
    Make();
    wnd.SetZoom(1.0f);
    EXPECT_FALSE(wnd.GetVerScroll().IsWindowVisible());
    EXPECT_FALSE(wnd.GetFitButton().IsWindowVisible());

    wnd.SetZoom(2.0f);
    POINT origin = ScreenOf(H(), 0, 0);
    EXPECT_TRUE(wnd.GetVerScroll().IsWindowVisible());
    EXPECT_TRUE(wnd.GetHorScroll().IsWindowVisible());
    EXPECT_TRUE(wnd.GetFitButton().IsWindowVisible());
    EXPECT_EQ(ScreenRect(wnd.GetVerScroll()), CRect(origin.x + 626, origin.y, origin.x + 641, origin.y + 346));
    EXPECT_EQ(ScreenRect(wnd.GetHorScroll()), CRect(origin.x, origin.y + 346, origin.x + 626, origin.y + 360));
    EXPECT_EQ(ScreenRect(wnd.GetFitButton()), CRect(origin.x + 626, origin.y + 346, origin.x + 640, origin.y + 360));
    // No pan was set: nothing to tell the dialog.
    EXPECT_TRUE(Pans().empty());

    // Hiding the overlays (as leaving full screen does) takes the corner button with the bars.
    wnd.HideOverlays();
    EXPECT_FALSE(wnd.GetVerScroll().IsWindowVisible());
    EXPECT_FALSE(wnd.GetFitButton().IsWindowVisible());
    wnd.SetZoom(2.0f);
    wnd.ResetView();
    EXPECT_EQ(wnd.GetZoom(), 1.0f);
    EXPECT_FALSE(wnd.GetHorScroll().IsWindowVisible());
    EXPECT_FALSE(wnd.GetFitButton().IsWindowVisible());
}

TEST_F(VideoMainWndTest, ScrollBarMessagesPanWithinTheirLimits)
{
    Make();
    wnd.SetZoom(2.0f);
    const struct {
        UINT message;
        WPARAM wParam;
        std::pair<int, int> pan;
    } steps[] = {
        {WM_RSCROLL_LEFT, 0, {0, 0}},      // at the left edge already: still reported
        {WM_RSCROLL_RIGHT, 0, {-10, 0}},   {WM_RSCROLL_HPOS, 95, {-95, 0}},
        {WM_RSCROLL_RIGHT, 0, {-100, 0}},  // clamped
        {WM_RSCROLL_UP, 0, {-100, 0}},     {WM_RSCROLL_POS, 70, {-100, 70}},
        {WM_RSCROLL_DOWN, 0, {-100, 80}},  {WM_RSCROLL_POS, 95, {-100, 95}},
        {WM_RSCROLL_DOWN, 0, {-100, 100}},
    };
    for (auto step : steps) {
        dialog.received.clear();
        const RECT thumb = wnd.GetVerScroll().GetThumbRect();
        EXPECT_EQ(::SendMessageW(H(), step.message, step.wParam, 0), 1);
        EXPECT_EQ(Pans(), (std::vector<std::pair<int, int>>{step.pan})) << std::hex << step.message;
        if (step.message == WM_RSCROLL_POS)
            EXPECT_EQ(CRect(wnd.GetVerScroll().GetThumbRect()), CRect(thumb));
    }
    // A resize starts the bars at the origin again and moves the picture back with them.
    dialog.received.clear();
    wnd.MoveWindow(20, 30, 600, 340, TRUE);
    Pump();
    EXPECT_EQ(Pans(), (std::vector<std::pair<int, int>>{{0, 0}}));
    EXPECT_EQ(wnd.GetPanX(), 0);
}

TEST_F(VideoMainWndTest, DragPansByTheDistanceFromThePressPoint)
{
    Make();
    wnd.SetZoom(2.0f);
    ::SendMessageW(H(), WM_RSCROLL_HPOS, 50, 0);
    dialog.received.clear();
    MoveTo(H(), 300, 200);
    Button(H(), 300, 200, true);
    EXPECT_EQ(dialog.Of(WM_VIDEO_PAUSE).size(), 1u);
    EXPECT_EQ(CWnd::GetCapture(), &wnd);
    MoveTo(H(), 390, 200);  // 90 to the right: +3
    MoveTo(H(), 390, 155);  // 45 up from the press point: +1 down, and +3 again
    MoveTo(H(), 391, 155);  // the same distances again
    EXPECT_EQ(Pans(), (std::vector<std::pair<int, int>>{{-47, 0}, {-44, 1}, {-41, 2}}));
    Button(H(), 391, 155, false);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    // Zoomed, the dialog does not see the mouse.
    EXPECT_TRUE(dialog.Of(WM_LBUTTONDOWN).empty());

    // The view fitted during a drag: the release still lets the mouse go.
    Button(H(), 300, 200, true);
    wnd.ResetView();
    Button(H(), 300, 200, false);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    MoveTo(H(), 10, 10);
    EXPECT_TRUE(Pans().size() == 3u);
}

TEST_F(VideoMainWndTest, AtZoomOneTheDialogSeesTheMouseInItsCoordinates)
{
    Make();
    MoveTo(H(), 50, 60);
    Button(H(), 50, 60, true);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    Button(H(), 50, 60, false);
    for (UINT message : {UINT(WM_MOUSEMOVE), UINT(WM_LBUTTONDOWN), UINT(WM_LBUTTONUP)}) {
        const auto got = dialog.Of(message);
        ASSERT_FALSE(got.empty()) << message;
        EXPECT_EQ(GET_X_LPARAM(got.back().lParam), 70);  // 50 + the window's place in the dialog
        EXPECT_EQ(GET_Y_LPARAM(got.back().lParam), 90);
    }
    EXPECT_TRUE(dialog.Of(WM_VIDEO_PAUSE).empty());
}

TEST_F(VideoMainWndTest, RightClickShowsTheMenuUnlessDisabled)
{
    Make();
    wnd.DisableContextMenu(TRUE);
    Click(H(), 100, 100, pt::MouseButton::Right);
    EXPECT_TRUE(dialog.Of(WM_VIDEO_RBUTTONUP).empty());
    EXPECT_FALSE(wnd.GetContextMenu().IsWindowVisible());
    wnd.DisableContextMenu(FALSE);
    Click(H(), 100, 100, pt::MouseButton::Right);
    EXPECT_EQ(dialog.Of(WM_VIDEO_RBUTTONUP).size(), 1u);
    ASSERT_TRUE(wnd.GetContextMenu().IsWindowVisible());
    const POINT at = ScreenOf(H(), 100, 100);
    EXPECT_EQ(ScreenRect(wnd.GetContextMenu()), CRect(at.x, at.y, at.x + 256, at.y + 78));
    EXPECT_EQ(wnd.GetContextMenu().GetItems().size(), 3u);
    wnd.HideContextMenu();
    EXPECT_FALSE(wnd.GetContextMenu().IsWindowVisible());
}

// A child as wide as the monitor (the dialog maximised) is no full screen; the top-level
// window over the monitor is, whatever its height.
TEST_F(VideoMainWndTest, FullScreenIsTheTopLevelWindowAsWideAsTheMonitor)
{
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    dialog.MoveWindow(0, 0, screen, 900, TRUE);
    Make();
    wnd.MoveWindow(0, 0, screen, 800, TRUE);
    Pump();
    EXPECT_FALSE(wnd.IsFullScreen());
    EXPECT_FALSE(wnd.GetCaption().IsWindowVisible());
    EnterFullScreen();
    EXPECT_TRUE(wnd.IsFullScreen());
    wnd.SetWindowPos(nullptr, 0, 0, screen, 500, SWP_NOZORDER);
    Pump();
    EXPECT_TRUE(wnd.IsFullScreen());
}

TEST_F(VideoMainWndTest, FullScreenBarsHideAfterFiveSecondsWithoutMovement)
{
    Make();
    EnterFullScreen();
    ASSERT_TRUE(wnd.IsFullScreen());
    CFullScrCaption& caption = wnd.GetCaption();
    CFullScrControlBox& bar = wnd.GetControlBox();
    ASSERT_TRUE(caption.IsWindowVisible());
    ASSERT_TRUE(bar.IsWindowVisible());
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(ScreenRect(caption), CRect(0, 0, screenW, 37));
    EXPECT_EQ(ScreenRect(bar), CRect((screenW - 695) / 2, screenH - 159, (screenW - 695) / 2 + 695, screenH));
    const int cursor = CursorCount();

    pt::AdvanceClockAndPump(4000);
    EXPECT_TRUE(bar.IsWindowVisible());
    MoveTo(H(), 800, 500);  // a new point: five seconds from now
    pt::AdvanceClockAndPump(4000);
    EXPECT_TRUE(caption.IsWindowVisible());
    EXPECT_TRUE(bar.IsWindowVisible());
    MoveTo(H(), 800, 500);  // the same point again restarts nothing
    pt::AdvanceClockAndPump(1100);
    EXPECT_FALSE(caption.IsWindowVisible());
    EXPECT_FALSE(bar.IsWindowVisible());
    EXPECT_EQ(CursorCount(), cursor - 1);
    // Hiding the bar tells the dialog to close its popups.
    EXPECT_FALSE(dialog.Of(WM_SLIDER_RELEASED).empty());
    EXPECT_EQ(dialog.Of(WM_SLIDER_RELEASED).back().wParam, WPARAM(ID_SLIDER_HIDE_POPUPS));

    MoveTo(H(), 810, 500);
    EXPECT_TRUE(caption.IsWindowVisible());
    EXPECT_TRUE(bar.IsWindowVisible());
    EXPECT_EQ(CursorCount(), cursor);
    // Leaving the window stops the timer with the bars shown.
    pt::InjectMouseMove(-50, -50);
    MoveTo(caption.GetSafeHwnd(), 500, 30);
    pt::AdvanceClockAndPump(6000);
    EXPECT_TRUE(bar.IsWindowVisible());
    EXPECT_EQ(CursorCount(), cursor);
    EXPECT_TRUE(pt::SaveScreenPng(ShotPath("video_main_fullscreen_idle.png")));

    LeaveFullScreen();
    EXPECT_FALSE(wnd.IsFullScreen());
    EXPECT_FALSE(caption.IsWindowVisible());
    EXPECT_FALSE(bar.IsWindowVisible());
}

TEST_F(VideoMainWndTest, FullScreenCommandsReachTheDialog)
{
    Make();
    EnterFullScreen();
    CFullScrControlBox& bar = wnd.GetControlBox();
    bar.SetPlayState(FALSE);
    dialog.received.clear();
    for (int id : {ID_BTN_PLAY, ID_BTN_SEC2, ID_BTN_VOLUME, ID_BTN_CHANGE}) {
        CTButton* button = bar.GetButton(id);
        ASSERT_NE(button, nullptr);
        if (!button->IsWindowEnabled())
            button->EnableWindow(TRUE);
        CRect r;
        button->GetClientRect(&r);
        Click(button->GetSafeHwnd(), r.Width() / 2, r.Height() / 2);
    }
    EXPECT_EQ(dialog.Commands(),
              (std::vector<WPARAM>{ID_BTN_PLAY, ID_BTN_SEC2, ID_BTN_VOLUME, ID_BTN_CHANGE}));

    // The progress slider reaches the dialog as the seek slider.
    dialog.received.clear();
    bar.GetProgress().EnableWindow(TRUE);
    CRect track;
    bar.GetProgress().GetClientRect(&track);
    Click(bar.GetProgress().GetSafeHwnd(), track.Width() * 3 / 4, track.Height() / 2);
    const auto changed = dialog.Of(WM_SLIDER_CHANGED);
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(changed.back().wParam, WPARAM(ID_SLIDER_SEEK));
    EXPECT_NEAR(double(changed.back().lParam), 75.0, 3.0);

    // The caption: close asks the dialog once and leaves the decision to it; minimise pauses;
    // restore is posted.
    dialog.received.clear();
    Click(wnd.GetCaption().GetButton(ID_BTN_CAP_CLOSE).GetSafeHwnd(), 14, 13);
    EXPECT_EQ(dialog.Of(WM_CLOSE).size(), 1u);
    EXPECT_TRUE(::IsWindow(H()));
    EXPECT_TRUE(wnd.GetCaption().GetSafeHwnd() && ::IsWindow(wnd.GetCaption().GetSafeHwnd()));
    Click(wnd.GetCaption().GetButton(ID_BTN_CAP_RESTORE).GetSafeHwnd(), 14, 13);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{ID_BTN_CAP_RESTORE}));
    Click(wnd.GetCaption().GetButton(ID_BTN_CAP_MIN).GetSafeHwnd(), 14, 13);
    EXPECT_EQ(dialog.Of(WM_VIDEO_PAUSE).size(), 1u);
    EXPECT_FALSE(wnd.GetControlBox().IsWindowVisible());
    EXPECT_TRUE(wnd.IsIconic());
}

}  // namespace
}  // namespace videotest
