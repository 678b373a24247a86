// The playback engine with the layer's own sound and video renderers: real pictures painted
// into the two video windows while a recording plays, pauses, seeks, swaps and zooms, and the
// end of the recording closing the graph before the owner hears of it. The filters are made
// from their libraries in the program's folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "EngineTesting.h"

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

class RealRendererEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_world = std::make_unique<EngineWorld>(false); }
    void TearDown() override { m_world.reset(); }

private:
    std::unique_ptr<EngineWorld> m_world;
};

const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new RealRendererEnvironment);

// What a window shows, read from its pixels.
struct Shot {
    std::vector<uint32_t> pixels;
    SIZE size = {0, 0};

    explicit Shot(HWND window)
    {
        if (!platform::testing::ReadWindowPixels(window, &pixels, &size))
            size = {0, 0};
    }
    bool Valid() const { return size.cx > 0 && size.cy > 0; }
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size.cx + x] & 0xFFFFFF; }
    // The rectangle's pixels differ from the other shot's somewhere.
    bool DiffersFrom(const Shot& other, RECT r) const
    {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (At(x, y) != other.At(x, y))
                    return true;
        return false;
    }
};

int Red(uint32_t p) { return int(p >> 16 & 0xFF); }
int Blue(uint32_t p) { return int(p & 0xFF); }
// The front camera's day sky is blue, the rear camera's dusk sky orange.
bool DaySky(uint32_t p) { return Blue(p) > Red(p) + 60; }
bool DuskSky(uint32_t p) { return Red(p) > Blue(p) + 60; }

enum class Camera { None, Front, Rear };

// Which camera's picture fills the window: its sky a fifth of the way down, in the middle.
Camera Showing(HWND window)
{
    const Shot shot(window);
    if (!shot.Valid())
        return Camera::None;
    const uint32_t p = shot.At(shot.size.cx / 2, shot.size.cy / 5);
    return DaySky(p) ? Camera::Front : DuskSky(p) ? Camera::Rear : Camera::None;
}

// The first row of a column, from the top, below the day sky (the horizon); -1 when the column
// shows no sky at its top, the height when it is sky all the way.
int Horizon(const Shot& shot, int x)
{
    if (!DaySky(shot.At(x, 0)))
        return -1;
    for (int y = 0; y < shot.size.cy; ++y) {
        if (!DaySky(shot.At(x, y)))
            return y;
    }
    return shot.size.cy;
}

std::string ShotPath(const std::string& name)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    return std::string(build ? build : "/tmp") + "/" + name;
}

class RealEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        windows.Attach(&engine);
        platform::testing::ClearShownMessageBoxes();
    }
    void TearDown() override
    {
        engine.Close();
        windows.engine = nullptr;
    }

    IBaseFilter* Main() { return engine.GetVideoRenderer(FALSE); }
    LONGLONG Position()
    {
        ComPtr<IMediaSeeking> seeking;
        LONGLONG time = -1;
        if (ComPtr<IFilterGraph> graph = GraphOf(Main()); graph && SUCCEEDED(graph.As(&seeking)))
            seeking->GetCurrentPosition(&time);
        return time;
    }
    bool Shows(Camera main, Camera sub, DWORD timeout = 10000)
    {
        return windows.PumpUntil(
            [&] { return Showing(windows.main) == main && Showing(windows.sub) == sub; }, timeout);
    }
    // Plays to the end; the owner must hear of it once, with the graph already closed.
    void ExpectTheEndClosesTheGraphFirst()
    {
        ASSERT_TRUE(windows.PumpUntil([&] { return windows.Count(WM_VIDEO_END) > 0; }, 20000))
            << "the recording never ended";
        windows.PumpUntil([] { return false; }, 100);
        EXPECT_EQ(windows.Count(WM_VIDEO_END), 1);
        for (const auto& entry : windows.received) {
            if (entry.message == WM_VIDEO_END) {
                EXPECT_EQ(entry.state, STATE_STOP);
                EXPECT_EQ(entry.videoTracks, 0);
            }
        }
        EXPECT_FALSE(GraphOf(Main()));
        EXPECT_EQ(engine.HandleGraphEvent(0), E_ABORT);
    }

    TemporaryFolder folder;
    CVideoMgr engine;
    EngineWindows windows;
};

// The number in the top-left corner of the picture (the frame's) at 640 x 360.
constexpr RECT kFrameNumber = {0, 0, 140, 70};

TEST_F(RealEngine, APairPlaysPausesSeeksAndSwapsInItsWindowsAndTheEndClosesTheGraph)
{
    const fs::path front = folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                                       Fixture("single/pair/" + std::string(kRearName)));
    ASSERT_TRUE(engine.OnMovieOpen(WindowsPath(front), FALSE, FALSE));
    ASSERT_EQ(engine.GetVideoTrackCount(), 2);
    ASSERT_EQ(engine.Play(), S_OK);
    ASSERT_TRUE(Shows(Camera::Front, Camera::Rear)) << "the front picture in the main window, "
                                                       "the rear one in the sub window";
    EXPECT_TRUE(platform::testing::SaveWindowPng(windows.owner, ShotPath("engine_pair_playing.png")));

    // Paused, the picture and the position stay.
    ASSERT_EQ(engine.Pause(), S_OK);
    windows.PumpUntil([] { return false; }, 200);
    const Shot paused(windows.main);
    const LONGLONG pausedAt = Position();
    windows.PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(Shot(windows.main).DiffersFrom(paused, kFrameNumber));
    EXPECT_EQ(Position(), pausedAt);

    // A seek while paused shows the picture of the new position at once.
    engine.SetPosition(50);
    EXPECT_EQ(Position(), 10000000);
    EXPECT_TRUE(windows.PumpUntil(
        [&] { return Shot(windows.main).DiffersFrom(paused, kFrameNumber); }, 20000));

    // Swapped while playing, the next pictures go to the other windows.
    ASSERT_EQ(engine.Play(), S_OK);
    EXPECT_EQ(engine.SetReverseMode(TRUE), 0);
    EXPECT_TRUE(Shows(Camera::Rear, Camera::Front));
    EXPECT_EQ(engine.SetReverseMode(FALSE), 0);
    EXPECT_TRUE(Shows(Camera::Front, Camera::Rear));

    ExpectTheEndClosesTheGraphFirst();
}

// Zoom and pan on the painted picture, paused: the horizon of the front picture lies 40 % down
// (row 144 of 360); twice the size puts it at row 288, and the pan to the middle (half of the
// overhang: 320 columns left, 180 rows up) at row 108. A half-size picture sits in the middle
// of the window.
TEST_F(RealEngine, ZoomAndPanMoveThePaintedPicture)
{
    const fs::path front = folder.Pair(Fixture("single/normal.mp4"), "");
    ASSERT_TRUE(engine.OnMovieOpen(WindowsPath(front), FALSE, FALSE));
    ASSERT_EQ(engine.Play(), S_OK);
    ASSERT_TRUE(windows.PumpUntil([&] { return Showing(windows.main) == Camera::Front; }));
    ASSERT_EQ(engine.Pause(), S_OK);
    windows.PumpUntil([] { return false; }, 200);
    // Column 100 of the 320-pixel picture lies left of the road and right of the frame
    // number: at 200 in the window, at 400 zoomed, and at 80 after the pan.
    const int horizon = Horizon(Shot(windows.main), 200);
    ASSERT_GT(horizon, 130);
    ASSERT_LT(horizon, 160);

    // Each change is painted once the window's messages have been handled.
    engine.SetVideoViewSize(2.0f);
    windows.PumpUntil([&] { return std::abs(Horizon(Shot(windows.main), 400) - 2 * horizon) <= 4; });
    EXPECT_NEAR(Horizon(Shot(windows.main), 400), 2 * horizon, 4);
    engine.MoveVideoPosByPercent(-50, 50);
    windows.PumpUntil(
        [&] { return std::abs(Horizon(Shot(windows.main), 80) - (2 * horizon - 180)) <= 4; });
    EXPECT_NEAR(Horizon(Shot(windows.main), 80), 2 * horizon - 180, 4);
    EXPECT_TRUE(platform::testing::SaveWindowPng(windows.main, ShotPath("engine_zoomed_panned.png")));

    engine.SetVideoViewSize(0.5f);
    engine.ReDrawVideo();  // as the dialog does when the window has been invalidated
    windows.PumpUntil([&] {
        const Shot shown(windows.main);
        return DaySky(shown.At(320, 100)) && !DaySky(shown.At(320, 80)) &&
               !DaySky(shown.At(150, 100));
    });
    const Shot half(windows.main);
    EXPECT_TRUE(DaySky(half.At(320, 100))) << "the picture's sky inside (160, 90, 480, 270)";
    EXPECT_FALSE(DaySky(half.At(320, 80))) << "above it the picture is gone";
    EXPECT_FALSE(DaySky(half.At(150, 100)));
}

// The front and rear cameras of one AVI file, each in its window, played to the end.
TEST_F(RealEngine, AnAviWithTwoVideoStreamsShowsBothCameras)
{
    const fs::path avi = folder.Path() / "dualvideo.avi";
    fs::copy_file(Fixture("avi/dualvideo.avi"), avi);
    ASSERT_TRUE(engine.OnMovieOpen(WindowsPath(avi), FALSE, FALSE));
    ASSERT_EQ(engine.GetVideoTrackCount(), 2);
    ASSERT_EQ(engine.Play(), S_OK);
    EXPECT_TRUE(Shows(Camera::Front, Camera::Rear));
    ExpectTheEndClosesTheGraphFirst();
}


// Every way a recording reaches its end on the real renderers ends it for the owner: a pair
// with sound, a pair without, a lone front camera (the sub renderer and, without sound, the
// sound renderer unconnected), played faster or slower, or paused just before the end.
TEST_F(RealEngine, EveryRecordingThatPlaysToItsEndEndsForTheOwner)
{
    struct Case {
        const char* name;
        std::string front;
        std::string rear;
        float speed;
        bool pauseNearTheEnd;
        BOOL singleFile = FALSE;
        float speedNearTheEnd = 0;  // 0: kept
    };
    const std::string pair = "single/pair/";
    const Case cases[] = {
        {"pair", pair + kFrontName, pair + kRearName, 1.0f, false},
        {"pair without sound", "single/noaudio.mp4", "single/noaudio.mp4", 1.0f, false},
        {"front only", "single/normal.mp4", "", 1.0f, false},
        {"front only without sound", "single/noaudio.mp4", "", 1.0f, false},
        {"pair at double speed", pair + kFrontName, pair + kRearName, 2.0f, false},
        {"a one-picture pair at half speed", "single/oneframe.mp4", "single/oneframe.mp4", 0.5f, false},
        {"pair paused near the end", pair + kFrontName, pair + kRearName, 1.0f, true},
        {"the front file of a pair alone", pair + kFrontName, pair + kRearName, 1.0f, false, TRUE},
        {"the front file alone, paused near the end", pair + kFrontName, pair + kRearName, 1.0f,
         true, TRUE},
        {"the front file alone at double speed", pair + kFrontName, pair + kRearName, 2.0f, false,
         TRUE},
        {"pair sped up near the end", pair + kFrontName, pair + kRearName, 1.0f, false, FALSE, 2.0f},
        {"pair slowed down near the end", pair + kFrontName, pair + kRearName, 2.0f, false, FALSE,
         1.0f},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path sub = "case" + std::to_string(index++);
        windows.received.clear();
        const fs::path front =
            folder.Pair(Fixture(c.front), c.rear.empty() ? std::string() : Fixture(c.rear), sub);
        ASSERT_TRUE(engine.OnMovieOpen(WindowsPath(front), c.singleFile, FALSE));
        engine.SetVideoSpeed(c.speed);
        ASSERT_EQ(engine.Play(), S_OK);
        if (c.pauseNearTheEnd || c.speedNearTheEnd > 0) {
            LONGLONG duration = 0;
            ComPtr<IMediaSeeking> seeking;
            if (ComPtr<IFilterGraph> graph = GraphOf(Main()); graph && SUCCEEDED(graph.As(&seeking)))
                seeking->GetDuration(&duration);
            ASSERT_GT(duration, 0);
            ASSERT_TRUE(windows.PumpUntil(
                [&] { return Position() >= duration - 3000000 || !GraphOf(Main()); }, 20000));
            ASSERT_TRUE(GraphOf(Main())) << "ended before the step near the end";
            if (c.speedNearTheEnd > 0)
                engine.SetVideoSpeed(c.speedNearTheEnd);
            if (c.pauseNearTheEnd) {
                ASSERT_EQ(engine.Pause(), S_OK);
                windows.PumpUntil([] { return false; }, 500);
                EXPECT_EQ(windows.Count(WM_VIDEO_END), 0) << "no end while paused";
                ASSERT_EQ(engine.Play(), S_OK);
            }
        }
        ExpectTheEndClosesTheGraphFirst();
    }
}

}  // namespace
