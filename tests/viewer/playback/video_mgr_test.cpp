// The playback engine on the real graph: the dual source filter and two H.264 decoders made
// from their libraries in the program's folder (the classes are not registered), driving the
// owner and the two video windows of the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "EngineTesting.h"
#include "filters/dualsource/KVMP4DualSourceInfo.h"

using namespace enginetest;
namespace fs = std::filesystem;

// Rectangles compare by their four edges (found by the assertions through the global scope).
static bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace {

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_world = std::make_unique<EngineWorld>(); }
    void TearDown() override { m_world.reset(); }

private:
    std::unique_ptr<EngineWorld> m_world;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

std::string Text(const RECT& r)
{
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
           std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

class Engine : public ::testing::Test {
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

    BOOL Open(const fs::path& path, BOOL singleFile = FALSE, BOOL oneStream = FALSE)
    {
        return engine.OnMovieOpen(WindowsPath(path), singleFile, oneStream);
    }

    IBaseFilter* Main() { return engine.GetVideoRenderer(FALSE); }
    IBaseFilter* Sub() { return engine.GetVideoRenderer(TRUE); }
    ComPtr<IFilterGraph> Graph() { return GraphOf(Main()); }

    // The graph's position and duration in media time; -1 without a graph.
    LONGLONG GraphTime(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*read)(LONGLONG*))
    {
        ComPtr<IMediaSeeking> seeking;
        LONGLONG time = -1;
        if (ComPtr<IFilterGraph> graph = Graph(); graph && SUCCEEDED(graph.As(&seeking)))
            (seeking.Get()->*read)(&time);
        return time;
    }
    LONGLONG Position() { return GraphTime(&IMediaSeeking::GetCurrentPosition); }
    LONGLONG Duration() { return GraphTime(&IMediaSeeking::GetDuration); }

    TemporaryFolder folder;
    CVideoMgr engine;
    EngineWindows windows;
};

// ---------------------------------------------------------------------------------------------
// Opening

TEST_F(Engine, OpensEachKindOfRecordingWithItsChainsOnTheRightPins)
{
    const std::string pairFront = Fixture("single/pair/REC_2026_05_14_08_30_00_F.mp4");
    const std::string pairRear = Fixture("single/pair/REC_2026_05_14_08_30_00_R.mp4");
    const std::string normal = Fixture("single/normal.mp4");
    const std::string silent = Fixture("single/noaudio.mp4");
    struct Case {
        const char* name;
        std::string front, rear;
        BOOL singleFile, oneStream;
        int streams;
        bool audio;            // the recording's sound counts (the no-audio flag is clear)
        const wchar_t* sub;    // the pin feeding decoder Sub, "" when it is unconnected
        const wchar_t* sound;  // the pin feeding the sound renderer, when there is one
    };
    const Case cases[] = {
        {"pair", pairFront, pairRear, FALSE, FALSE, 2, true, L"Rear Video", L"Front Audio"},
        {"pair, single file", pairFront, pairRear, TRUE, FALSE, 1, true, L"", L"Front Audio"},
        {"pair, one stream", pairFront, pairRear, FALSE, TRUE, 2, true, L"", L"Front Audio"},
        {"pair without sound", silent, silent, FALSE, FALSE, 2, false, L"Rear Video", L""},
        // Only the front's sound is played: a silent front beside a rear with sound opens
        // with both pictures and no sound.
        {"silent front, rear with sound", silent, normal, FALSE, FALSE, 2, false, L"Rear Video",
         L""},
        {"front without partner", normal, "", FALSE, FALSE, 1, true, L"", L"Front Audio"},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path front = folder.Pair(c.front, c.rear, std::to_string(index++));
        ASSERT_TRUE(Open(front, c.singleFile, c.oneStream));
        EXPECT_EQ(engine.GetState(), STATE_PAUSE);
        EXPECT_EQ(engine.GetVideoTrackCount(), c.streams);
        EXPECT_EQ(engine.GetDuration(), 2);
        ComPtr<IFilterGraph> graph = Graph();
        ASSERT_TRUE(graph);
        EXPECT_EQ(FeedingPin(graph.Get(), L"KV Video Decoder Main"), L"Front Video");
        EXPECT_EQ(FeedingPin(graph.Get(), L"KV Video Decoder Sub"), c.sub);
        EXPECT_NE(FeedingPin(graph.Get(), L"Video Mixing Renderer Main"), L"");
        EXPECT_EQ(FeedingPin(graph.Get(), L"Video Mixing Renderer Sub") != L"", *c.sub != 0);
        if (InGraph(graph.Get(), L"Audio Renderer")) {
            EXPECT_EQ(engine.HasAudio(), c.audio);
            EXPECT_EQ(FeedingPin(graph.Get(), L"Audio Renderer"), c.sound);
        }
        EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
        engine.Close();
        EXPECT_EQ(engine.GetVideoTrackCount(), 0);
        EXPECT_FALSE(GraphOf(Main()));
    }
}

// An AVI recording goes through the async reader and the splitter: one video stream, or the
// front and rear cameras as two; H.264, 16-bit PCM and a telemetry text stream, which is no
// sound (a recording without PCM gets no sound chain). With two streams the sound is the
// splitter's third output, not its second.
TEST_F(Engine, OpensAviRecordingsThroughTheSplitterAndTheAudioWrapper)
{
    struct Case {
        const char* fixture;
        BOOL oneStream;
        int streams;
        const wchar_t* main;   // the splitter's pin feeding decoder Main
        const wchar_t* sub;    // and decoder Sub ("" unconnected)
        const wchar_t* sound;  // and the audio wrapper ("" unconnected)
    };
    const Case cases[] = {
        {"avi/lines.avi", FALSE, 1, L"Stream 00", L"", L"Stream 01"},
        // Video and telemetry only: the text stream is no sound, so no sound chain is tried.
        {"avi/nosound.avi", FALSE, 1, L"Stream 00", L"", L""},
        {"avi/dualvideo.avi", FALSE, 2, L"Stream 00", L"Stream 01", L"Stream 02"},
        {"avi/dualvideo.avi", TRUE, 2, L"Stream 00", L"", L"Stream 02"},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + (c.oneStream ? ", one stream" : ""));
        const fs::path avi = folder.Path() / (std::to_string(index++) + ".avi");
        fs::copy_file(Fixture(c.fixture), avi);
        ASSERT_TRUE(Open(avi, FALSE, c.oneStream));
        EXPECT_EQ(engine.GetState(), STATE_PAUSE);
        EXPECT_EQ(engine.GetVideoTrackCount(), c.streams);
        EXPECT_EQ(engine.HasAudio(), *c.sound != 0);
        EXPECT_EQ(engine.GetDuration(), 3);
        ComPtr<IFilterGraph> graph = Graph();
        ASSERT_TRUE(graph);
        EXPECT_NE(FeedingPin(graph.Get(), L"DirectShow AVI Splitter"), L"");
        EXPECT_EQ(FeedingPin(graph.Get(), L"KV Video Decoder Main"), c.main);
        EXPECT_EQ(FeedingPin(graph.Get(), L"KV Video Decoder Sub"), c.sub);
        EXPECT_EQ(FeedingPin(graph.Get(), L"Video Mixing Renderer Sub") != L"", *c.sub != 0);
        if (InGraph(graph.Get(), L"Audio Renderer")) {
            EXPECT_EQ(FeedingPin(graph.Get(), L"ACM Audio Wrapper"), c.sound);
            EXPECT_EQ(FeedingPin(graph.Get(), L"Audio Renderer") != L"", *c.sound != 0);
        }
        EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
        engine.Close();
    }
}

TEST_F(Engine, ReusesItsRenderersAndLeavesThemDetachedAfterClose)
{
    const fs::path front = folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                                       Fixture("single/pair/" + std::string(kRearName)));
    ASSERT_TRUE(Open(front));
    IBaseFilter* main = Main();
    IBaseFilter* sub = Sub();
    ASSERT_TRUE(main && sub);
    if (CFakeVideoRenderer* fake = FakeOf(main)) {
        EXPECT_EQ(fake->ClippingWindow(), windows.main);
        EXPECT_EQ(FakeOf(sub)->ClippingWindow(), windows.sub);
    }
    EXPECT_EQ(AspectOf(main), DWORD(VMR_ARMODE_LETTER_BOX));
    // A second open closes the first recording itself.
    ASSERT_TRUE(Open(front));
    EXPECT_EQ(Main(), main);
    EXPECT_EQ(Sub(), sub);
    EXPECT_EQ(engine.Close(), 1);
    EXPECT_EQ(engine.GetState(), STATE_STOP);
    if (CFakeVideoRenderer* fake = FakeOf(main)) {
        EXPECT_EQ(fake->ClippingWindow(), nullptr);
        EXPECT_EQ(FakeOf(sub)->ClippingWindow(), nullptr);
    }
    EXPECT_EQ(engine.Close(), 1);  // without a graph: only the state
}

TEST_F(Engine, FailedOpensReportAsTheTableSaysAndLeaveNothingLoaded)
{
    const std::string normal = Fixture("single/normal.mp4");
    struct Case {
        const char* name;
        std::string rear;
        const wchar_t* box;  // the message box's text, or null for none
    };
    const Case cases[] = {
        // The partner exists but does not open: Load fails.
        {"rear cannot be read", Fixture("single/truncated.mp4"),
         L"Error : Failed to Load File (0x80004005)"},
        // The rear holds no video: its chain cannot be connected, which is only traced.
        {"rear without video", Fixture("single/audioonly.mp4"), nullptr},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::ClearShownMessageBoxes();
        const fs::path front = folder.Pair(normal, c.rear, std::to_string(index++));
        EXPECT_FALSE(Open(front));
        EXPECT_EQ(engine.GetState(), STATE_STOP);
        EXPECT_EQ(engine.GetVideoTrackCount(), 0);
        const auto boxes = platform::testing::ShownMessageBoxes();
        if (c.box) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, c.box);
            EXPECT_EQ(boxes[0].buttons, std::vector<std::wstring>{L"OK"});
            EXPECT_EQ(boxes[0].owner, windows.owner);
        } else {
            EXPECT_TRUE(boxes.empty());
        }
        // The failed open's source filter is gone with its reading threads and files.
        EXPECT_EQ(OpenDescriptors(front), 0);
        EXPECT_FALSE(GraphOf(Main()));
        if (CFakeVideoRenderer* fake = FakeOf(Main()))
            EXPECT_EQ(fake->ClippingWindow(), nullptr);
    }
    // The kept graph serves the next recording.
    ASSERT_TRUE(Open(folder.Pair(normal, "", "good")));
    EXPECT_EQ(engine.GetVideoTrackCount(), 1);
}

TEST_F(Engine, OpensAPathLongerThanTheOldBuffer)
{
    fs::path sub;
    for (int i = 0; i < 6; ++i)
        sub /= std::string(60, char('a' + i));
    const fs::path front = folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                                       Fixture("single/pair/" + std::string(kRearName)), sub);
    ASSERT_GT(WindowsPath(front).size(), 300u);
    ASSERT_TRUE(Open(front));
    EXPECT_EQ(engine.GetVideoTrackCount(), 2);
}

// ---------------------------------------------------------------------------------------------
// Control

TEST(EngineArithmetic, DurationRoundingAndVolumeAttenuation)
{
    const struct {
        LONGLONG duration;
        int seconds;
    } durations[] = {
        {196000000, 20},  {199999999, 20}, {200000000, 20}, {579000000, 57},
        {580000000, 58},  {580000001, 60}, {599000000, 60}, {615000000, 60},
        {619999999, 60},  {620000000, 62}, {700000000, 70}, {706000000, 71},
        {24000000, 2},    {25000000, 3},   {0, 0},
    };
    for (const auto& d : durations)
        EXPECT_EQ(RoundedDurationSeconds(d.duration), d.seconds) << d.duration;

    const struct {
        int volume;
        LONG attenuation;
    } volumes[] = {{0, -9999}, {1, -2000}, {10, -999},   {50, -301},
                   {75, -124}, {100, 0},   {150, 0},     {-20, -9999}};
    for (const auto& v : volumes)
        EXPECT_EQ(VolumeToAttenuation(v.volume), v.attenuation) << v.volume;
}

// A renderer-like filter whose state changes the test can make fail.
class CRefusingFilter : public dshowtest::CNullRenderer {
public:
    bool refuse = false;
    HRESULT STDMETHODCALLTYPE Pause() override { return refuse ? E_FAIL : CNullRenderer::Pause(); }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override
    {
        return refuse ? E_FAIL : CNullRenderer::Run(start);
    }
};

TEST_F(Engine, StatesFollowTheGraphAndARefusedChangeKeepsTheOldOne)
{
    // Without a graph.
    EXPECT_EQ(engine.Play(), 0);
    EXPECT_EQ(engine.GetState(), STATE_STOP);
    EXPECT_EQ(engine.Stop(), 1);
    EXPECT_EQ(engine.GetDuration(), 0);
    EXPECT_EQ(engine.GetPosition(), 0);
    EXPECT_EQ(engine.HandleGraphEvent(0), E_ABORT);

    ASSERT_TRUE(Open(folder.Pair(Fixture("single/normal.mp4"), "")));
    EXPECT_EQ(engine.GetState(), STATE_PAUSE);
    EXPECT_EQ(engine.Play(), S_OK);
    EXPECT_EQ(engine.GetState(), STATE_PLAY);
    EXPECT_EQ(engine.Pause(), S_OK);
    EXPECT_EQ(engine.GetState(), STATE_PAUSE);
    EXPECT_EQ(engine.Stop(), S_OK);
    EXPECT_EQ(engine.GetState(), STATE_STOP);
    EXPECT_EQ(engine.GetDuration(), 2);  // the graph stays open

    CRefusingFilter* refusing = new CRefusingFilter();
    ComPtr<IBaseFilter> keep(refusing);
    ComPtr<IFilterGraph> graph = Graph();
    ASSERT_EQ(graph->AddFilter(refusing, L"Refusing"), S_OK);
    refusing->refuse = true;
    EXPECT_TRUE(FAILED(engine.Pause()));
    EXPECT_EQ(engine.GetState(), STATE_STOP);
    EXPECT_TRUE(FAILED(engine.Play()));
    EXPECT_EQ(engine.GetState(), STATE_STOP);
    refusing->refuse = false;
    EXPECT_EQ(engine.Play(), S_OK);
    EXPECT_EQ(engine.GetState(), STATE_PLAY);
    refusing->refuse = true;
    EXPECT_TRUE(FAILED(engine.Pause()));
    EXPECT_EQ(engine.GetState(), STATE_PLAY);
    refusing->refuse = false;
    graph->RemoveFilter(refusing);
}

TEST_F(Engine, SeeksByPercentAndByTenSeconds)
{
    // 25.1 s at 10 frames a second with a key frame every second: the last picture, at 25 s,
    // is a key frame, so every target but the very end can be reached.
    ASSERT_TRUE(Open(folder.Pair(EngineFixture("long25.mp4"), "")));
    const LONGLONG d = Duration();
    ASSERT_EQ(d, 251000000);
    CFakeVideoRenderer* fake = FakeOf(Main());
    // The target the graph passed on (when the renderer tells), and the position reached.
    auto expectSeek = [&](LONGLONG target, bool reachable) {
        if (fake) {
            const std::vector<LONGLONG> targets = fake->SeekTargets();
            ASSERT_FALSE(targets.empty());
            EXPECT_EQ(targets.back(), target);
        }
        if (reachable)
            EXPECT_EQ(Position(), target);
    };
    auto seeks = [&] { return fake ? fake->SeekTargets().size() : 0; };

    const struct {
        int percent;
        LONGLONG target;
        bool reachable;
    } percents[] = {{50, d / 2, true},    {40, d * 40 / 100, true}, {150, d, false},
                    {-20, 0, true},       {99, d * 99 / 100, true}, {0, 0, true}};
    for (const auto& p : percents) {
        SCOPED_TRACE(p.percent);
        engine.SetPosition(p.percent);
        expectSeek(p.target, p.reachable);
    }

    // Ten seconds back from 4 s reaches the start; forward from 5 s before the end stops a
    // tenth of a second before it; within the last second nothing moves.
    engine.SetPosition(16);
    expectSeek(d * 16 / 100, true);
    engine.SeekBackwards();
    expectSeek(0, true);
    engine.SetPosition(80);
    engine.SeekForwards();
    expectSeek(d - 1000000, true);
    engine.SetPosition(98);
    const LONGLONG nearEnd = d * 98 / 100;
    ASSERT_LT(d - nearEnd, 10000000);
    size_t before = seeks();
    engine.SeekForwards();
    EXPECT_EQ(seeks(), before);
    EXPECT_EQ(Position(), nearEnd);
    engine.SetPosition(0);
    engine.SeekForwards();
    expectSeek(100000000, true);

    // Stopped, only the percent seek moves.
    engine.Stop();
    engine.SetPosition(40);
    expectSeek(d * 40 / 100, true);
    before = seeks();
    engine.SeekForwards();
    engine.SeekBackwards();
    EXPECT_EQ(seeks(), before);
    EXPECT_EQ(Position(), d * 40 / 100);
}

// 61.5 s at 4 frames a second, a key frame every second: the last picture (61.25 s) is no
// key frame, so ten seconds forward near the end lands after the last key frame (61 s).
TEST_F(Engine, TenSecondsForwardNearTheEndMovesPastTheLastKeyFrame)
{
    ASSERT_TRUE(Open(folder.Pair(EngineFixture("long61.mp4"), "")));
    const LONGLONG d = Duration();
    ASSERT_EQ(d, 615000000);
    engine.SetPosition(90);
    ASSERT_EQ(Position(), d * 90 / 100);
    engine.SeekForwards();
    EXPECT_EQ(Position(), d - 1000000);
    EXPECT_EQ(engine.GetPosition(), 60);
}

TEST_F(Engine, ThePositionNeverPassesTheRoundedDuration)
{
    ASSERT_TRUE(Open(folder.Pair(EngineFixture("long61.mp4"), "")));
    EXPECT_EQ(engine.GetDuration(), 60);
    engine.SetPosition(99);
    ASSERT_EQ(engine.Play(), S_OK);
    const DWORD start = GetTickCount();
    while (Position() < 610000000 && GetTickCount() - start < 20000)
        Sleep(5);
    ASSERT_GE(Position(), 610000000);  // 61 s into a recording that counts as 60 s long
    EXPECT_EQ(engine.GetPosition(), 60);
}

TEST_F(Engine, RateAndVolumeReachTheGraphAndSurviveAsTheyShould)
{
    engine.SetVolume(10);
    engine.SetVideoSpeed(2.0f);  // without a graph: only stored
    EXPECT_EQ(engine.GetVolume(), 10);
    ASSERT_TRUE(Open(folder.Pair(Fixture("single/normal.mp4"), "")));
    EXPECT_FLOAT_EQ(engine.GetVideoSpeed(), 1.0f);  // every open plays at normal speed
    ComPtr<IFilterGraph> graph = Graph();
    ComPtr<IMediaPosition> position;
    ASSERT_EQ(graph.As(&position), S_OK);
    engine.SetVideoSpeed(0.5f);
    double rate = 0;
    position->get_Rate(&rate);
    EXPECT_DOUBLE_EQ(rate, 0.5);
    engine.SetVolume(150);
    EXPECT_EQ(engine.GetVolume(), 150);
    if (InGraph(graph.Get(), L"Audio Renderer")) {
        ComPtr<IBasicAudio> audio;
        ASSERT_EQ(graph.As(&audio), S_OK);
        LONG volume = 1;
        audio->get_Volume(&volume);
        EXPECT_EQ(volume, 0);
        engine.SetVolume(50);
        audio->get_Volume(&volume);
        EXPECT_EQ(volume, -301);
        ASSERT_TRUE(Open(folder.Pair(Fixture("single/normal.mp4"), "", "again")));
        ComPtr<IBasicAudio> again;
        ASSERT_EQ(GraphOf(Main()).As(&again), S_OK);
        again->get_Volume(&volume);
        EXPECT_EQ(volume, -301);  // the stored volume applies to the next recording
    }
}

// ---------------------------------------------------------------------------------------------
// Events

TEST_F(Engine, TheEndClosesTheGraphBeforeTheOwnerHearsOfIt)
{
    ASSERT_TRUE(Open(folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                                 Fixture("single/pair/" + std::string(kRearName)))));
    ASSERT_EQ(engine.Play(), S_OK);
    ASSERT_TRUE(windows.PumpUntil([&] { return windows.Count(WM_VIDEO_END) > 0; }));
    windows.PumpUntil([] { return false; }, 100);
    ASSERT_EQ(windows.Count(WM_VIDEO_END), 1);
    for (const auto& entry : windows.received) {
        if (entry.message == WM_VIDEO_END) {
            EXPECT_EQ(entry.state, STATE_STOP);
            EXPECT_EQ(entry.videoTracks, 0);
        }
    }
    EXPECT_EQ(engine.GetDuration(), 0);
    EXPECT_FALSE(GraphOf(Main()));
    EXPECT_EQ(engine.HandleGraphEvent(0), E_ABORT);
}

TEST_F(Engine, AnOwnerThatOpensTheNextRecordingAtTheEndKeepsIt)
{
    const fs::path first = folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                                       Fixture("single/pair/" + std::string(kRearName)));
    const fs::path next = folder.Pair(Fixture("single/normal.mp4"), "", "next");
    ASSERT_TRUE(Open(first));
    CFakeVideoRenderer* main = FakeOf(Main());
    CFakeVideoRenderer* sub = FakeOf(Sub());
    if (!main)
        GTEST_SKIP() << "needs renderers that tell when they finished";
    // The recording plays to its end twice before the owner reads the graph's events, so the
    // queue holds a second end after the first.
    for (int run = 1; run <= 2; ++run) {
        ASSERT_EQ(engine.Play(), S_OK);
        const DWORD start = GetTickCount();
        while ((main->CompleteCount() < run || sub->CompleteCount() < run) &&
               GetTickCount() - start < 30000) {
            Sleep(2);
        }
        ASSERT_GE(main->CompleteCount(), run);
        ASSERT_GE(sub->CompleteCount(), run);
        if (run == 1)
            engine.Stop();
    }
    windows.onVideoEnd = [&] {
        EXPECT_TRUE(engine.OnMovieOpen(WindowsPath(next), FALSE, FALSE));
    };
    windows.PumpUntil([&] { return windows.Count(WM_VIDEO_END) > 0; });
    windows.PumpUntil([] { return false; }, 100);
    EXPECT_EQ(windows.Count(WM_VIDEO_END), 1);
    EXPECT_EQ(engine.GetState(), STATE_PAUSE);
    EXPECT_EQ(engine.GetVideoTrackCount(), 1);
    EXPECT_EQ(engine.GetDuration(), 2);
}

// A completed pause reported by the graph repaints both pictures, each into the window that
// shows it, but only while the engine plays; paused or stopped the pictures are left alone.
TEST_F(Engine, APauseReportWhilePlayingRepaintsBothPicturesAndOtherwiseNothing)
{
    ASSERT_TRUE(Open(folder.Pair(EngineFixture("pair30/" + std::string(kFrontName)),
                                 EngineFixture("pair30/" + std::string(kRearName)))));
    CFakeVideoRenderer* front = FakeOf(engine.GetVideoRenderer(FALSE));
    CFakeVideoRenderer* rear = FakeOf(engine.GetVideoRenderer(TRUE));
    if (!front || !rear)
        GTEST_SKIP() << "needs renderers that tell what they repainted";
    ComPtr<IMediaEventSink> sink;
    ASSERT_TRUE(SUCCEEDED(Graph().As(&sink)));

    using Windows = std::vector<HWND>;
    struct Case {
        const char* name;
        std::function<void()> enter;
        Windows front, rear;  // the windows each renderer repainted
    };
    const Case cases[] = {
        {"playing", [&] { engine.Play(); }, {windows.main}, {windows.sub}},
        {"playing, swapped", [&] { engine.SetReverseMode(TRUE); }, {windows.sub},
         {windows.main}},
        {"paused", [&] { engine.Pause(); }, {}, {}},
        {"stopped", [&] { engine.Stop(); }, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.enter();
        // What the graph reported on its own is handled first.
        windows.PumpUntil([] { return false; }, 100);
        front->ClearRepaints();
        rear->ClearRepaints();
        const int handled = windows.Count(WM_VIDEO_GRAPHNOTIFY);
        ASSERT_EQ(sink->Notify(EC_PAUSED, 0, 0), S_OK);
        ASSERT_TRUE(windows.PumpUntil(
            [&] { return windows.Count(WM_VIDEO_GRAPHNOTIFY) > handled; }));
        EXPECT_EQ(front->Repaints(), c.front);
        EXPECT_EQ(rear->Repaints(), c.rear);
    }
    EXPECT_EQ(engine.GetState(), STATE_STOP);
    EXPECT_EQ(engine.GetDuration(), 30);  // no pause report closed the graph
}

// ---------------------------------------------------------------------------------------------
// The view

TEST_F(Engine, ZoomAndPanPlaceTheMainPicture)
{
    ASSERT_TRUE(Open(folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                                 Fixture("single/pair/" + std::string(kRearName)))));
    EXPECT_EQ(DestinationOf(Main()), (RECT{0, 0, 640, 360}));
    EXPECT_EQ(DestinationOf(Sub()), (RECT{0, 0, 320, 180}));
    platform::testing::PumpMessages();
    const int sizeMessages = windows.Count(WM_VIDEO_SIZECHANGED);

    const struct {
        const char* step;
        float zoom;  // 0: pan instead
        int x, y;
        RECT expected;
    } steps[] = {
        {"half", 0.5f, 0, 0, {160, 90, 480, 270}},
        {"double", 2.0f, 0, 0, {0, 0, 1280, 720}},
        {"pan to the bottom right", 0, -100, 100, {-640, -360, 640, 360}},
        {"pan to the middle", 0, -50, 50, {-320, -180, 960, 540}},
        {"pan back", 0, 0, 0, {0, 0, 1280, 720}},
        {"one and a half", 1.5f, 0, 0, {0, 0, 960, 540}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        if (CFakeVideoRenderer* fake = FakeOf(Main()))
            fake->ClearRepaints();
        if (s.zoom > 0)
            engine.SetVideoViewSize(s.zoom);
        else
            engine.MoveVideoPosByPercent(s.x, s.y);
        EXPECT_EQ(DestinationOf(Main()), s.expected) << Text(DestinationOf(Main()));
        EXPECT_EQ(DestinationOf(Sub()), (RECT{0, 0, 320, 180}));
        if (CFakeVideoRenderer* fake = FakeOf(Main())) {
            // A smaller picture lets the window's background show around it instead.
            const std::vector<HWND> painted = fake->Repaints();
            EXPECT_EQ(painted, s.zoom == 0.5f ? std::vector<HWND>{}
                                              : std::vector<HWND>{windows.main});
        }
    }
    platform::testing::PumpMessages();
    EXPECT_EQ(windows.Count(WM_VIDEO_SIZECHANGED), sizeMessages + 3);
    EXPECT_FLOAT_EQ(engine.GetVideoViewSize(), 1.5f);

    // Zoomed, a new aspect mode waits for the picture to fit again.
    engine.ResetSize(0);
    EXPECT_EQ(DestinationOf(Main()), (RECT{0, 0, 960, 540}));
    EXPECT_EQ(AspectOf(Main()), DWORD(VMR_ARMODE_LETTER_BOX));
    engine.SetVideoViewSize(1.0f);
    engine.ResetSize(0);
    EXPECT_EQ(DestinationOf(Main()), (RECT{0, 0, 640, 360}));
    EXPECT_EQ(AspectOf(Main()), DWORD(VMR_ARMODE_NONE));
    EXPECT_EQ(AspectOf(Sub()), DWORD(VMR_ARMODE_NONE));

    // A pixel move stays; the percent pan is relative to the sized rectangle.
    engine.MoveVideoPosByPixel(10, 20);
    EXPECT_EQ(DestinationOf(Main()), (RECT{-10, -20, 630, 340}));
    EXPECT_EQ(engine.GetMainDestRect(), (RECT{-10, -20, 630, 340}));
}

TEST_F(Engine, SwapWhileStoppedAppliesToTheNextRecording)
{
    const fs::path front = folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                                       Fixture("single/pair/" + std::string(kRearName)));
    EXPECT_EQ(engine.SetReverseMode(TRUE), 0);
    EXPECT_TRUE(engine.GetReverseMode());
    ASSERT_TRUE(Open(front));
    EXPECT_EQ(DestinationOf(Sub()), (RECT{0, 0, 640, 360}));
    EXPECT_EQ(DestinationOf(Main()), (RECT{0, 0, 320, 180}));
    if (CFakeVideoRenderer* fake = FakeOf(Main())) {
        EXPECT_EQ(fake->ClippingWindow(), windows.sub);
        EXPECT_EQ(FakeOf(Sub())->ClippingWindow(), windows.main);
    }
    // The flag outlives the recording.
    engine.Close();
    EXPECT_TRUE(engine.GetReverseMode());
}

TEST_F(Engine, SwapWhilePlayingAndZoomedKeepsBothPicturesFitted)
{
    ASSERT_TRUE(Open(folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                                 Fixture("single/pair/" + std::string(kRearName)))));
    ASSERT_EQ(engine.Play(), S_OK);
    engine.SetVideoViewSize(2.0f);
    EXPECT_EQ(engine.SetReverseMode(TRUE), 0);
    // The rear picture is now the zoomed one; the front one fits the sub window.
    EXPECT_EQ(DestinationOf(Sub()), (RECT{0, 0, 1280, 720}));
    EXPECT_EQ(DestinationOf(Main()), (RECT{0, 0, 320, 180}));
    if (CFakeVideoRenderer* fake = FakeOf(Main())) {
        EXPECT_EQ(fake->ClippingWindow(), windows.sub);
        EXPECT_EQ(FakeOf(Sub())->ClippingWindow(), windows.main);
    }
    EXPECT_EQ(engine.SetReverseMode(FALSE), 0);
    EXPECT_EQ(DestinationOf(Main()), (RECT{0, 0, 1280, 720}));
    EXPECT_EQ(DestinationOf(Sub()), (RECT{0, 0, 320, 180}));

    // Stop ends the zoom, and the pictures show it.
    engine.Stop();
    EXPECT_FLOAT_EQ(engine.GetVideoViewSize(), 1.0f);
    EXPECT_EQ(DestinationOf(Main()), (RECT{0, 0, 640, 360}));
    EXPECT_EQ(engine.GetMainDestRect(), (RECT{0, 0, 640, 360}));
    EXPECT_EQ(DestinationOf(Sub()), (RECT{0, 0, 320, 180}));
}

}  // namespace
