// The video windows with a recording playing through the engine on the layer's own renderers:
// the main and sub windows in a stand-in dialog that passes the windows' messages to the engine
// as the main dialog does. The picture's placement is read from the screen while it plays:
// zoomed and panned through the scroll bars' messages, swapped, fitted again, and in full
// screen with its bars, which hide after 5 seconds on the driven clock, and back.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EngineTesting.h"
#include "playback/VideoMainWnd.h"
#include "playback/VideoSubWnd.h"
#include "ui/ControlMessages.h"
#include "video_wnd_support.h"

namespace {

using videotest::Pixels;
namespace pt = platform::testing;
namespace fs = std::filesystem;

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_world = std::make_unique<enginetest::EngineWorld>(false); }
    void TearDown() override { m_world.reset(); }

private:
    std::unique_ptr<enginetest::EngineWorld> m_world;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

int Red(uint32_t p) { return int(p >> 16 & 0xFF); }
int Blue(uint32_t p) { return int(p & 0xFF); }
// The front camera's day sky is blue, the rear camera's dusk sky orange.
bool DaySky(uint32_t p) { return Blue(p) > Red(p) + 60; }
bool DuskSky(uint32_t p) { return Red(p) > Blue(p) + 60; }

// The first screen row of a column, from `top` down, that is no longer day sky (the front
// picture's horizon), as a row counted from `top`; -1 when the column starts below the sky.
int Horizon(const Pixels& screen, int x, int top, int bottom)
{
    if (!DaySky(screen.At(x, top)))
        return -1;
    for (int y = top; y < bottom; ++y) {
        if (!DaySky(screen.At(x, y)))
            return y - top;
    }
    return bottom - top;
}

// The main window at (20, 30), 640 x 360, the sub window at (680, 30), 320 x 180.
constexpr int kMainX = 20, kMainY = 30, kSubX = 680, kSubY = 30;

class VideoWndPlay : public videotest::VideoWndTest {
protected:
    void SetUp() override
    {
        VideoWndTest::SetUp();
        dialog.MoveWindow(0, 0, 1040, 700, TRUE);
        main.SetParentHwnd(dialog.GetSafeHwnd());
        ASSERT_TRUE(main.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                   {kMainX, kMainY, kMainX + 640, kMainY + 360}, &dialog, 1000));
        ASSERT_TRUE(sub.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE,
                                  {kSubX, kSubY, kSubX + 320, kSubY + 180}, &dialog, 1001));
        // What the main dialog does with the windows' and the engine's messages.
        dialog.onReceive = [this](const videotest::Received& r) {
            if (r.message == WM_VIDEO_GRAPHNOTIFY)
                engine.HandleGraphEvent(r.lParam);
            else if (r.message == WM_VIDEO_PANZOOM)
                engine.MoveVideoPosByPercent(r.panX, r.panY);
            else if (r.message == WM_VIDEO_RELAYOUT)
                engine.ReDrawVideo();
            else if (r.message == WM_VIDEO_END)
                dialog.movieOpen = FALSE;
        };
        engine.SetOwnerWnd(dialog.GetSafeHwnd());
        engine.SetVideoWnd(main.GetSafeHwnd(), sub.GetSafeHwnd());
        Pump();
        idleSub = SubOnScreen();
    }
    // Opens a recording as the dialog does and plays it: thirty seconds, so that it plays on
    // through every step, also under the thread checker on a loaded machine (once it ends,
    // the stand-in dialog has nothing open and the main window shows its idle picture). A
    // recording with one video stream leaves the sub window to its own picture.
    void OpenAndPlay(const std::string& frontFixture, const std::string& rearFixture)
    {
        const fs::path front = folder.Pair(enginetest::EngineFixture(frontFixture),
                                           rearFixture.empty()
                                               ? std::string()
                                               : enginetest::EngineFixture(rearFixture));
        ASSERT_TRUE(engine.OnMovieOpen(enginetest::WindowsPath(front), FALSE, FALSE));
        dialog.trackCount = engine.GetVideoTrackCount();
        dialog.movieOpen = TRUE;
        dialog.playingMP4 = TRUE;
        if (dialog.trackCount < 2)
            engine.SetupSubRendererSettings();
        sub.Invalidate(FALSE);
        ASSERT_EQ(engine.Play(), S_OK);
    }
    void OpenAndPlayPair()
    {
        OpenAndPlay("pair30/" + std::string(enginetest::kFrontName),
                    "pair30/" + std::string(enginetest::kRearName));
    }
    Pixels SubOnScreen()
    {
        RECT area = {kSubX, kSubY, kSubX + 320, kSubY + 180};
        return videotest::ReadScreen(&area);
    }
    void TearDown() override
    {
        dialog.onReceive = nullptr;
        engine.Close();
        if (main.GetSafeHwnd())
            main.DestroyWindow();
        if (sub.GetSafeHwnd())
            sub.DestroyWindow();
        VideoWndTest::TearDown();
    }

    // Pumps until `done` holds, for at most `timeout` ms of real time.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeout = 10000)
    {
        const DWORD start = GetTickCount();
        for (;;) {
            Pump();
            if (done())
                return true;
            if (GetTickCount() - start > timeout)
                return false;
            Sleep(5);
        }
    }
    void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }
    // The front picture in the main window and the rear one in the sub window, or the reverse.
    bool Shows(bool frontInMain)
    {
        return PumpUntil([&] {
            const Pixels screen = videotest::ReadScreen();
            // Right of the frame number, also when it has three digits and is zoomed.
            const uint32_t inMain = screen.At(kMainX + 600, kMainY + 60);
            const uint32_t inSub = screen.At(kSubX + 160, kSubY + 30);
            return frontInMain ? DaySky(inMain) && DuskSky(inSub)
                               : DuskSky(inMain) && DaySky(inSub);
        });
    }
    // The horizon in a column of the main window as the screen shows it.
    int MainHorizon(int x)
    {
        return Horizon(videotest::ReadScreen(), kMainX + x, kMainY, kMainY + 360);
    }

    enginetest::TemporaryFolder folder;
    CVideoMgr engine;
    CVideoMainWnd main;
    CVideoSubWnd sub;
    Pixels idleSub;  // the sub window's placeholder, before any recording
};

// Column 120 of the 320 x 180 picture lies left of the road and right of the frame number,
// also of one with three digits (which reaches column 110 from the 100th picture on); the
// horizon crosses it 40 % down. In the main window the column is at 240, zoomed twice at 480,
// and panned to the middle (320 columns left, 180 rows up) at 160.
TEST_F(VideoWndPlay, ZoomPanAndSwapOfAPlayingPair)
{
    ASSERT_NO_FATAL_FAILURE(OpenAndPlayPair());
    ASSERT_TRUE(Shows(true)) << "the front picture in the main window, the rear one in the sub";
    EXPECT_TRUE(pt::SaveScreenPng(videotest::ShotPath("video_windows_playing.png")));
    const int horizon = MainHorizon(240);
    ASSERT_GT(horizon, 130);
    ASSERT_LT(horizon, 160);

    // The dialog zooms the engine's picture and the window's bars together.
    engine.SetVideoViewSize(2.0f);
    main.SetZoom(2.0f);
    EXPECT_TRUE(PumpUntil([&] { return std::abs(MainHorizon(480) - 2 * horizon) <= 4; }))
        << MainHorizon(480);
    // The bars' own messages pan: half way right, half way down.
    main.SendMessage(WM_RSCROLL_HPOS, 50, 0);
    main.SendMessage(WM_RSCROLL_POS, 50, 0);
    ASSERT_EQ(dialog.Of(WM_VIDEO_PANZOOM).size(), 2u);
    EXPECT_EQ(dialog.Of(WM_VIDEO_PANZOOM).back().panX, -50);
    EXPECT_EQ(dialog.Of(WM_VIDEO_PANZOOM).back().panY, 50);
    EXPECT_TRUE(PumpUntil([&] { return std::abs(MainHorizon(160) - (2 * horizon - 180)) <= 4; }))
        << MainHorizon(160);
    EXPECT_TRUE(pt::SaveScreenPng(videotest::ShotPath("video_windows_zoomed.png")));

    // Swapped while zoomed, the rear picture is the zoomed one and the front one fits the sub
    // window.
    EXPECT_EQ(engine.SetReverseMode(TRUE), 0);
    EXPECT_TRUE(Shows(false));
    EXPECT_TRUE(PumpUntil([&] {
        const Pixels screen = videotest::ReadScreen();
        return Horizon(screen, kSubX + 120, kSubY, kSubY + 180) > 65 &&
               Horizon(screen, kSubX + 120, kSubY, kSubY + 180) < 80;
    })) << "the whole front picture in the sub window";
    EXPECT_EQ(engine.SetReverseMode(FALSE), 0);
    EXPECT_TRUE(Shows(true));

    // Fitted again.
    main.ResetView();
    engine.SetVideoViewSize(1.0f);
    engine.ResetSize(1);
    EXPECT_TRUE(PumpUntil([&] { return std::abs(MainHorizon(240) - horizon) <= 2; }));
}

TEST_F(VideoWndPlay, FullScreenWithItsBarsAndBack)
{
    ASSERT_NO_FATAL_FAILURE(OpenAndPlayPair());
    ASSERT_TRUE(Shows(true));
    const int horizon = MainHorizon(240);
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);

    // As the dialog enters full screen: the window becomes a top-level pop-up over the screen,
    // the dialog hides, and the pictures are fitted to their windows again.
    main.ShowWindow(SW_HIDE);
    main.ModifyStyle(WS_CHILD, WS_POPUP);
    main.SetParent(nullptr);
    main.SetWindowPos(nullptr, 0, 0, screenW, screenH, SWP_SHOWWINDOW | SWP_NOZORDER);
    dialog.ShowWindow(SW_HIDE);
    engine.ResetSize(1);
    Pump();
    ASSERT_TRUE(main.IsFullScreen());
    EXPECT_TRUE(main.GetCaption().IsWindowVisible());
    EXPECT_TRUE(main.GetControlBox().IsWindowVisible());
    // The picture fills the screen (the screen is as wide as 16:9 of its height or wider) with
    // the horizon 40 % down, under the caption bar.
    const int pictureW = std::min(screenW, screenH * 16 / 9);
    const int pictureH = pictureW * 9 / 16;
    const int top = (screenH - pictureH) / 2;
    const int left = (screenW - pictureW) / 2;
    const int column = left + pictureW * 120 / 320;
    auto fullHorizon = [&] {
        return Horizon(videotest::ReadScreen(), column, std::max(top, 40), top + pictureH) +
               std::max(top, 40) - top;
    };
    EXPECT_TRUE(PumpUntil([&] { return std::abs(fullHorizon() - pictureH * 72 / 180) <= 4; }))
        << fullHorizon() << " of " << pictureH;
    EXPECT_TRUE(pt::SaveScreenPng(videotest::ShotPath("video_fullscreen_playing.png")));

    // Five seconds without the mouse moving hide the bars; the picture plays on.
    pt::AdvanceClockAndPump(5100);
    EXPECT_FALSE(main.GetCaption().IsWindowVisible());
    EXPECT_FALSE(main.GetControlBox().IsWindowVisible());
    const Pixels before = videotest::ReadScreen();
    EXPECT_TRUE(PumpUntil([&] { return videotest::ReadScreen().data != before.data; }))
        << "the pictures move on";
    EXPECT_TRUE(pt::SaveScreenPng(videotest::ShotPath("video_fullscreen_bars_hidden.png")));

    // Back into the dialog.
    main.HideOverlays();
    main.ModifyStyle(WS_POPUP, WS_CHILD);
    main.SetParent(&dialog);
    main.SetWindowPos(nullptr, kMainX, kMainY, 640, 360, SWP_SHOWWINDOW | SWP_NOZORDER);
    dialog.ShowWindow(SW_SHOW);
    engine.ResetSize(1);
    Pump();
    EXPECT_FALSE(main.IsFullScreen());
    EXPECT_FALSE(main.GetCaption().IsWindowVisible());
    EXPECT_FALSE(main.GetControlBox().IsWindowVisible());
    EXPECT_TRUE(Shows(true));
    EXPECT_TRUE(PumpUntil([&] { return std::abs(MainHorizon(240) - horizon) <= 2; }));
}

// One video stream: the front picture plays in the main window while the sub window keeps its
// placeholder; with the pair the rear picture takes its place.
TEST_F(VideoWndPlay, TheSubWindowKeepsItsPlaceholderBesideASingleStream)
{
    ASSERT_FALSE(DaySky(idleSub.At(160, 30)) || DuskSky(idleSub.At(160, 30)));
    ASSERT_GT(idleSub.CountDiffering({0, 0, 320, 180}, 0), 1000) << "a placeholder is drawn";
    ASSERT_NO_FATAL_FAILURE(OpenAndPlay("pair30/" + std::string(enginetest::kFrontName), ""));
    ASSERT_EQ(engine.GetVideoTrackCount(), 1);
    EXPECT_TRUE(PumpUntil([&] {
        return DaySky(videotest::ReadScreen().At(kMainX + 600, kMainY + 60));
    }));
    PumpFor(300);
    EXPECT_EQ(SubOnScreen().data, idleSub.data);
    EXPECT_TRUE(pt::SaveScreenPng(videotest::ShotPath("video_windows_single_stream.png")));
}

}  // namespace
