// The sound and the windowless video renderer in the viewer's graphs, on real recordings, with
// the null sound device (or SDL's dummy driver): pictures on the sound clock, the pause picture,
// seeks, rates, volume and balance, the end, damaged files, and stops that end every wait.
#include <gtest/gtest.h>


#include <cmath>
#include <cstdlib>

#include "DrivenClock.h"
#include "RendererGraph.h"

using namespace systest;

namespace {

// An 8-second pair (15 pictures a second, a key frame every second) and an 8-second AVI.
std::string Pair()
{
    return RendererFixture("pair/REC_2026_05_14_08_30_00_F.mp4");
}
std::string Avi()
{
    return RendererFixture("lines8.avi");
}

class Renderers : public ::testing::Test {
protected:
    void SetUp() override { setenv("PLATFORM_AUDIO", "null", 1); }
    ComScope com;
};

// Pictures shown since the last reset, of renderer i.
std::vector<KvPresentation> Shown(RendererGraph& g, size_t i)
{
    return Presentations(g.videos[i].Get());
}

// How long a stop or a flush may take on a loaded machine. Each of them ends the renderers'
// waits at once; a renderer that left a paused or a full wait to run out would never return.
constexpr double kEndsTheWaitsMs = 10000.0;

// The 120 pictures of an 8-second recording at 15 a second, played to the end: each one that
// reached the renderer was shown or dropped as late, nine in ten of them shown. The decoder
// leaves out pictures only once the renderer has reported lateness upstream; on a loaded
// machine that may be many, never most of them.
void ExpectEveryPictureAccountedFor(const KvRendererCounts& counts)
{
    EXPECT_LE(counts.received, 120);
    EXPECT_GE(counts.received, 60) << "most pictures reach the renderer";
    if (counts.received < 114)
        EXPECT_GT(counts.qualityMessages, 0) << "pictures left out without a lateness report";
    EXPECT_EQ(counts.presented + counts.dropped, counts.received);
    EXPECT_GE(counts.presented * 10, counts.received * 9) << "at least nine in ten shown";
}

}  // namespace

// The pair plays on the sound renderer's clock (the graph takes it since it is connected):
// every picture of both recordings is shown close to its time, the sound is played, and the
// end comes once both pictures and sound are out.
TEST_F(Renderers, APairPlaysOnTheSoundClockToItsEnd)
{
    RendererGraph g(RendererGraph::Kind::Mp4Pair, Pair());
    ASSERT_TRUE(g.built);
    ASSERT_EQ(g.soundConnected, S_OK);
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    ComPtr<IMediaFilter> timing;
    ASSERT_EQ(g.graph.As(&timing), S_OK);
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(timing->GetSyncSource(&clock), S_OK);
    ComPtr<IReferenceClock> soundClock;
    ASSERT_EQ(g.sound.As(&soundClock), S_OK);
    EXPECT_EQ(clock.Get(), soundClock.Get());

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(g.WaitForComplete(30000));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(seconds, 7.5) << "played in real time";
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const KvRendererCounts counts = Counts(g.videos[i].Get());
        ExpectEveryPictureAccountedFor(counts);
        const auto late = Lateness(Shown(g, i));
        EXPECT_LT(Median(late), 20.0) << "ms after its time";
        EXPECT_GE(*std::min_element(late.begin(), late.end()), 0.0) << "never early";
        // The window shows the last picture.
        SIZE size{};
        const auto pixels = g.TestWindowOf(i).Pixels(&size);
        EXPECT_GT(LitShare(pixels, size, RECT{0, 0, size.cx, size.cy}), 0.5);
    }
    const KvRendererCounts sound = Counts(g.sound.Get());
    EXPECT_GE(sound.framesPlayed, 7 * 48000) << "the sound was played, in real time";
    EXPECT_EQ(sound.deviceIsReal, 0);
    EXPECT_GT(sound.peakLeft, 1000);
}

// Without a connected sound renderer the graph runs on the system clock, and the pictures
// keep to it.
TEST_F(Renderers, WithoutSoundThePicturesKeepToTheSystemClock)
{
    RendererGraph g(RendererGraph::Kind::Mp4Pair, Pair(), SIZE{320, 180}, SIZE{160, 90}, false);
    ASSERT_TRUE(g.built);
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    ComPtr<IMediaFilter> timing;
    ASSERT_EQ(g.graph.As(&timing), S_OK);
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(timing->GetSyncSource(&clock), S_OK);
    ComPtr<IReferenceClock> soundClock;
    ASSERT_EQ(g.sound.As(&soundClock), S_OK);
    ASSERT_TRUE(clock);
    EXPECT_NE(clock.Get(), soundClock.Get());
    // The first second of pictures, however long the decoders take to start.
    EXPECT_TRUE(WaitUntil([&] { return Shown(g, 0).size() >= 15; }));
    const auto shown = Shown(g, 0);
    EXPECT_GE(shown.size(), 15u);
    EXPECT_LT(Median(Lateness(shown)), 20.0);
}

// An AVI through the reader, the splitter, a decoder and the audio wrapper: pictures on their
// times, sound played, the end reported.
TEST_F(Renderers, AnAviPlaysThroughTheSplitterAndTheWrapperToItsEnd)
{
    RendererGraph g(RendererGraph::Kind::Avi, Avi());
    ASSERT_TRUE(g.built);
    ASSERT_EQ(g.soundConnected, S_OK);
    ASSERT_EQ(g.videos.size(), 1u);
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    ASSERT_TRUE(g.WaitForComplete(30000));
    const KvRendererCounts counts = Counts(g.videos[0].Get());
    ExpectEveryPictureAccountedFor(counts);
    EXPECT_LT(Median(Lateness(Shown(g, 0))), 20.0);
    EXPECT_GE(Counts(g.sound.Get()).framesPlayed, 7 * 16000);
}

// Paused from stopped, each renderer shows the first picture at once (the pause completes)
// and then waits; a seek while paused shows the new position's picture, at time 0; a seek
// while playing shows the new position's picture soon, and the pictures after it on time.
TEST_F(Renderers, PauseShowsOnePictureAndSeeksShowTheNewPosition)
{
    RendererGraph g(RendererGraph::Kind::Mp4Pair, Pair());
    ASSERT_TRUE(g.built);
    g.control->Pause();
    OAFilterState state = 0;
    ASSERT_EQ(g.control->GetState(10000, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    EXPECT_TRUE(WaitUntil([&] { return g.Presented() == std::vector<LONG>{1, 1}; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(g.Presented(), (std::vector<LONG>{1, 1})) << "one pause picture, then a wait";
    SIZE size{};
    const auto first = g.TestWindowOf(0).Pixels(&size);
    EXPECT_GT(LitShare(first, size, RECT{0, 0, size.cx, size.cy}), 0.5);

    // Paused, at 4 s (a key frame).
    ASSERT_EQ(g.SeekTo(4 * kUnits), S_OK);
    ASSERT_EQ(g.control->GetState(10000, &state), S_OK);
    ASSERT_TRUE(g.WaitForPictures({1, 1}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(g.Presented(), (std::vector<LONG>{2, 2}));
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(Shown(g, i).back().sampleStart, 0) << "the position's own picture";
    const auto second = g.TestWindowOf(0).Pixels();
    double changed = 0;
    for (size_t p = 0; p < first.size() && p < second.size(); ++p)
        changed += PixelDifference(first[p], second[p]) > 8;
    EXPECT_GT(changed / double(first.size()), 0.01) << "the window shows the new picture";

    // Playing, back to 1 s.
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    g.ResetStats();
    ASSERT_EQ(g.SeekTo(1 * kUnits), S_OK);
    // The pictures from the new position's own one on, of renderer i.
    auto sinceTheSeek = [&](size_t i) {
        const auto shown = Shown(g, i);
        auto from = std::find_if(shown.begin(), shown.end(),
                                 [](const KvPresentation& p) { return p.sampleStart == 0; });
        return std::vector<KvPresentation>(from, shown.end());
    };
    EXPECT_TRUE(WaitUntil([&] {
        return !sinceTheSeek(0).empty() && !sinceTheSeek(1).empty();
    })) << "the new position's picture";
    // Ten pictures after it, each on its time.
    EXPECT_TRUE(WaitUntil([&] {
        return sinceTheSeek(0).size() >= 10 && sinceTheSeek(1).size() >= 10;
    }));
    for (size_t i = 0; i < 2; ++i) {
        const std::vector<KvPresentation> after = sinceTheSeek(i);
        EXPECT_GE(after.size(), 10u);
        EXPECT_LT(Median(Lateness(after)), 20.0) << "on time after the seek";
    }
}

// Rates from 0.2 to 4 while playing: the pictures keep to the clock (no drift, no burst of
// late ones after the change), the position moves at the rate, and the sound plays on up to
// twice the speed and is muted above.
TEST_F(Renderers, RateChangesKeepPicturesAndClockTogether)
{
    RendererGraph g(RendererGraph::Kind::Mp4Pair, Pair());
    ASSERT_TRUE(g.built);
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    ASSERT_TRUE(g.WaitForPictures({0, 0}));
    for (double rate : {0.2, 0.5, 2.0, 4.0, 1.0}) {
        SCOPED_TRACE(rate);
        ASSERT_EQ(g.SeekTo(kUnits), S_OK);
        ASSERT_EQ(g.seeking->SetRate(rate), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        g.ResetStats();
        LONGLONG from = 0;
        ASSERT_EQ(g.seeking->GetCurrentPosition(&from), S_OK);
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        LONGLONG to = 0;
        ASSERT_EQ(g.seeking->GetCurrentPosition(&to), S_OK);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_NEAR(double(to - from) / kUnits / wall, rate, 0.15 * rate) << "the position's speed";
        for (size_t i = 0; i < 2; ++i) {
            const auto shown = Shown(g, i);
            const KvRendererCounts counts = Counts(g.videos[i].Get());
            // 15 pictures a second of the recording, `rate` seconds of it a second.
            EXPECT_GE(double(shown.size()), 0.8 * 15 * rate * wall - 2);
            const auto late = Lateness(shown);
            EXPECT_LT(Median(late), 20.0);
            EXPECT_LE(counts.dropped, std::max(2, int(0.05 * counts.received)))
                << "no burst of late pictures";
        }
        const KvRendererCounts sound = Counts(g.sound.Get());
        if (rate <= 2.0)
            EXPECT_GT(sound.peakLeft, 1000) << "sound at this rate";
        else
            EXPECT_EQ(sound.peakLeft, 0) << "muted above twice the speed";
    }
}

// IBasicAudio on the graph reaches the sound renderer, and what it sets is the level of the
// sound handed to the device: -10000 silent, 0 full; the balance takes one side away.
TEST_F(Renderers, VolumeAndBalanceThroughTheGraphSetTheLevelPlayed)
{
    RendererGraph g(RendererGraph::Kind::Mp4Pair, Pair());
    ASSERT_TRUE(g.built);
    ASSERT_TRUE(g.audio);
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return Counts(g.sound.Get()).peakLeft > 0; }));
    struct Case {
        LONG volume;
        LONG balance;
        bool left;
        bool right;
    };
    const Case cases[] = {
        {0, 0, true, true},       {-10000, 0, false, false}, {0, -10000, true, false},
        {0, 10000, false, true},  {-600, 0, true, true},
    };
    LONG full = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.volume << " " << c.balance);
        ASSERT_EQ(g.audio->put_Volume(c.volume), S_OK);
        ASSERT_EQ(g.audio->put_Balance(c.balance), S_OK);
        LONG volume = 1;
        ASSERT_EQ(g.audio->get_Volume(&volume), S_OK);
        EXPECT_EQ(volume, c.volume);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        g.ResetStats();
        // Long enough for a side that should stay silent to have been heard; a side that
        // plays may take longer to come through on a loaded machine.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        WaitUntil([&] {
            const KvRendererCounts k = Counts(g.sound.Get());
            return (!c.left || k.peakLeft > 0) && (!c.right || k.peakRight > 0);
        });
        const KvRendererCounts counts = Counts(g.sound.Get());
        if (c.volume == 0 && c.balance == 0)
            full = counts.peakLeft;
        EXPECT_EQ(counts.peakLeft > 0, c.left);
        EXPECT_EQ(counts.peakRight > 0, c.right);
        if (c.volume == -600 && full > 0)  // -6 dB: about half the level
            EXPECT_NEAR(double(counts.peakLeft) / full, 0.5, 0.15);
    }
    EXPECT_EQ(g.audio->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(g.audio->put_Balance(10001), E_INVALIDARG);
}

// A picture late on the clock is not painted, and its lateness goes upstream, where the
// decoder takes it; only the first picture of a new position is painted however late it is.
TEST_F(Renderers, LatePicturesAreDroppedAndTheLatenessGoesUpstream)
{
    RendererGraph g(RendererGraph::Kind::Mp4Pair, Pair());
    ASSERT_TRUE(g.built);
    // A clock the test moves: two seconds ahead once the graph runs, so everything is late.
    auto* clock = new dshowtest::CDrivenClock(0);
    ComPtr<IReferenceClock> keep(clock);
    clock->Release();
    ComPtr<IMediaFilter> timing;
    ASSERT_EQ(g.graph.As(&timing), S_OK);
    ASSERT_EQ(timing->SetSyncSource(clock), S_OK);
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    clock->Advance(2 * kUnits);
    // The 30 late pictures of those two seconds are dropped here, or left out by the decoder
    // once it has the lateness (how many of each depends on how quickly it reacts); either
    // way only the first picture of the start is painted late.
    const bool reported = WaitUntil([&] {
        const KvRendererCounts c = Counts(g.videos[0].Get());
        return c.qualityMessages > 0 && c.presented >= 1 && c.presented < c.received;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const KvRendererCounts counts = Counts(g.videos[0].Get());
    EXPECT_TRUE(reported) << counts.received << " received, " << counts.presented
                          << " presented, " << counts.dropped << " dropped, "
                          << counts.qualityMessages << " reports";
    EXPECT_LT(counts.presented, counts.received);
    EXPECT_LT(counts.received - counts.dropped, 30) << "the late pictures were painted";
    const auto startShown = Shown(g, 0);
    EXPECT_LE(std::count_if(startShown.begin(), startShown.end(),
                            [](const KvPresentation& p) { return p.sampleStart < 3 * kUnits / 2; }),
              1)
        << "only the first late picture is painted";

    // A seek while everything is late: the window shows the new position's first picture all
    // the same, and not the late ones after it (dropped, or skipped by the decoder).
    g.ResetStats();
    ASSERT_EQ(g.SeekTo(4 * kUnits), S_OK);
    clock->Advance(2 * kUnits);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(WaitUntil([&] {
            const auto shown = Shown(g, i);
            return std::any_of(shown.begin(), shown.end(),
                               [](const KvPresentation& p) { return p.sampleStart == 0; });
        })) << "the new position's picture";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        // A picture of the old position already on its way when the statistics were reset
        // may come before it; what counts is what follows the new position's first picture.
        const auto shown = Shown(g, i);
        const auto first = std::find_if(shown.begin(), shown.end(),
                                        [](const KvPresentation& p) { return p.sampleStart == 0; });
        ASSERT_NE(first, shown.end());
        EXPECT_LE(shown.end() - first, 2) << "the late ones after it are not painted";
    }
    clock->Advance(20 * kUnits);
    EXPECT_TRUE(g.WaitForComplete(20000));
    g.control->Stop();
}

// The damaged AVIs mkcard writes, played into the real renderers: refused at the connection or
// played to an end, and stopped at once.
TEST_F(Renderers, DamagedAvisEndOrAreRefusedAndStopAtOnce)
{
    for (const char* fixture : {"avi/short.avi", "avi/pastend.avi", "avi/hugeindex.avi",
                                "avi/sizes.avi", "avi/lowercase.avi",
                                "avi/undeclared.avi"}) {
        SCOPED_TRACE(fixture);
        RendererGraph g(RendererGraph::Kind::Avi, Fixture(fixture));
        if (!g.built)
            continue;  // refused: a clear error from the connection
        ASSERT_TRUE(SUCCEEDED(g.control->Run()));
        EXPECT_TRUE(g.WaitForComplete(20000));
        EXPECT_LT(RendererGraph::Timed([&] { EXPECT_EQ(g.control->Stop(), S_OK); }),
                  kEndsTheWaitsMs);
    }
}

// Stop ends every wait of the renderers at once: paused with full queues, playing, playing
// slowly (long waits for each picture), in the middle of seeks, and from a rate change.
TEST_F(Renderers, StopEndsEveryWaitAtOnce)
{
    enum class Before { Paused, Playing, Slow, Seeking, Fast };
    for (Before before : {Before::Paused, Before::Playing, Before::Slow, Before::Seeking,
                          Before::Fast}) {
        for (auto kind : {RendererGraph::Kind::Mp4Pair, RendererGraph::Kind::Avi}) {
            SCOPED_TRACE(testing::Message() << int(before) << " " << int(kind));
            RendererGraph g(kind, kind == RendererGraph::Kind::Avi ? Avi() : Pair());
            ASSERT_TRUE(g.built);
            if (before == Before::Paused) {
                g.control->Pause();
            } else {
                ASSERT_TRUE(SUCCEEDED(g.control->Run()));
                if (before == Before::Slow)
                    g.seeking->SetRate(0.2);
                if (before == Before::Fast)
                    g.seeking->SetRate(4.0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            if (before == Before::Seeking)
                for (int k = 0; k < 5; ++k)  // each flush ends the renderers' waits at once
                    EXPECT_LT(RendererGraph::Timed([&] { g.SeekTo(LONGLONG(k) * kUnits); }),
                              kEndsTheWaitsMs);
            EXPECT_LT(RendererGraph::Timed([&] { EXPECT_EQ(g.control->Stop(), S_OK); }),
                      kEndsTheWaitsMs);
            // And plays again after the stop.
            const auto shown = g.Presented();
            ASSERT_TRUE(SUCCEEDED(g.control->Run()));
            EXPECT_TRUE(g.WaitForPictures(shown));
            EXPECT_LT(RendererGraph::Timed([&] { g.control->Stop(); }), kEndsTheWaitsMs);
        }
    }
}

// The windowless control on the window's pixels: the kept picture as a bitmap, repainting,
// letter-box bars, a destination outside the window clipped, a source rectangle zoomed in.
TEST_F(Renderers, TheWindowShowsThePictureWhereAndAsItIsAsked)
{
    RendererGraph g(RendererGraph::Kind::Mp4Pair, Pair(), SIZE{320, 320});
    ASSERT_TRUE(g.built);
    g.control->Pause();
    OAFilterState state = 0;
    ASSERT_EQ(g.control->GetState(10000, &state), S_OK);
    ASSERT_TRUE(g.WaitForPictures({0, 0}));
    IVMRWindowlessControl9* vmr = g.controls[0].Get();
    HWND window = g.Window(0);
    LONG width = 0;
    LONG height = 0;
    ASSERT_EQ(vmr->GetNativeVideoSize(&width, &height, nullptr, nullptr), S_OK);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 180);

    // The kept picture, bottom-up 32-bit.
    BYTE* dib = nullptr;
    ASSERT_EQ(vmr->GetCurrentImage(&dib), S_OK);
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
    ASSERT_EQ(header->biWidth, 320);
    ASSERT_EQ(header->biHeight, 180);
    ASSERT_EQ(header->biBitCount, 32);
    std::vector<uint32_t> image(320 * 180);
    const auto* rows = reinterpret_cast<const uint32_t*>(dib + header->biSize);
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 320; ++x)
            image[size_t(y) * 320 + size_t(x)] = rows[size_t(179 - y) * 320 + size_t(x)];
    CoTaskMemFree(dib);
    auto imageAt = [&](double x, double y) {
        return image[size_t(std::clamp(int(y), 0, 179)) * 320 + size_t(std::clamp(int(x), 0, 319))];
    };
    // The mean difference between the window's rectangle and the picture's part mapped on it.
    auto matches = [&](RECT inWindow, RECT ofPicture) {
        SIZE size{};
        const auto pixels = g.TestWindowOf(0).Pixels(&size);
        double sum = 0;
        long n = 0;
        for (LONG y = inWindow.top + 2; y < inWindow.bottom - 2; y += 3)
            for (LONG x = inWindow.left + 2; x < inWindow.right - 2; x += 3) {
                const double px = ofPicture.left + (x - inWindow.left + 0.5) *
                                                       (ofPicture.right - ofPicture.left) /
                                                       (inWindow.right - inWindow.left);
                const double py = ofPicture.top + (y - inWindow.top + 0.5) *
                                                      (ofPicture.bottom - ofPicture.top) /
                                                      (inWindow.bottom - inWindow.top);
                sum += PixelDifference(pixels[size_t(y) * size_t(size.cx) + size_t(x)],
                                       imageAt(px, py));
                ++n;
            }
        return n ? sum / n : 255.0;
    };
    auto litShare = [&](RECT area) {
        SIZE size{};
        const auto pixels = g.TestWindowOf(0).Pixels(&size);
        return LitShare(pixels, size, area);
    };
    auto repaint = [&] {
        HDC dc = GetDC(window);
        EXPECT_EQ(vmr->RepaintVideo(window, dc), S_OK);
        ReleaseDC(window, dc);
    };

    // Stretched over the whole window (aspect mode none).
    EXPECT_LT(matches(RECT{0, 0, 320, 320}, RECT{0, 0, 320, 180}), 12.0);

    // Painted over, then repainted from the kept picture.
    {
        HDC dc = GetDC(window);
        RECT all{0, 0, 320, 320};
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(dc, &all, white);
        DeleteObject(white);
        ReleaseDC(window, dc);
    }
    repaint();
    EXPECT_LT(matches(RECT{0, 0, 320, 320}, RECT{0, 0, 320, 180}), 12.0);

    // Letter-box: 320 x 180 in the middle of 320 x 320, black bars above and below.
    ASSERT_EQ(vmr->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX), S_OK);
    repaint();
    EXPECT_EQ(litShare(RECT{0, 0, 320, 70}), 0.0);
    EXPECT_EQ(litShare(RECT{0, 250, 320, 320}), 0.0);
    EXPECT_LT(matches(RECT{0, 70, 320, 250}, RECT{0, 0, 320, 180}), 12.0);
    ASSERT_EQ(vmr->SetAspectRatioMode(VMR_ARMODE_NONE), S_OK);

    // A destination half outside the window: its visible half shows the picture's right half.
    RECT destination{-160, 0, 160, 320};
    ASSERT_EQ(vmr->SetVideoPosition(nullptr, &destination), S_OK);
    repaint();
    EXPECT_LT(matches(RECT{0, 0, 160, 320}, RECT{160, 0, 320, 180}), 12.0);
    EXPECT_EQ(litShare(RECT{160, 0, 320, 320}), 0.0) << "black beside it";

    // A source rectangle: the picture's top-left quarter over the whole window.
    RECT source{0, 0, 160, 90};
    destination = RECT{0, 0, 320, 320};
    ASSERT_EQ(vmr->SetVideoPosition(&source, &destination), S_OK);
    repaint();
    EXPECT_LT(matches(RECT{0, 0, 320, 320}, RECT{0, 0, 160, 90}), 12.0);

    // Rectangles it cannot take.
    RECT outside{0, 0, 400, 90};
    EXPECT_EQ(vmr->SetVideoPosition(&outside, nullptr), E_INVALIDARG);
    RECT negative{10, 10, 0, 0};
    EXPECT_EQ(vmr->SetVideoPosition(nullptr, &negative), E_INVALIDARG);
    if (const char* png = std::getenv("KV_RENDERER_PNG"))
        platform::testing::SaveWindowPng(window, png);  // to look at what the window shows

    // Once its input is disconnected (the viewer does so between two recordings), the renderer
    // keeps nothing of the stream that is gone: a repaint shows black.
    destination = RECT{0, 0, 320, 320};
    ASSERT_EQ(vmr->SetVideoPosition(nullptr, &destination), S_OK);
    repaint();
    EXPECT_GT(litShare(RECT{0, 0, 320, 320}), 0.5) << "the picture before the disconnection";
    g.control->Stop();
    ComPtr<IPin> input = InPin(g.videos[0].Get());
    ComPtr<IPin> upstream;
    ASSERT_EQ(input->ConnectedTo(&upstream), S_OK);
    ASSERT_EQ(g.graph->Disconnect(upstream.Get()), S_OK);
    ASSERT_EQ(g.graph->Disconnect(input.Get()), S_OK);
    repaint();
    EXPECT_EQ(litShare(RECT{0, 0, 320, 320}), 0.0) << "the last picture is still shown";
    dib = nullptr;
    EXPECT_EQ(vmr->GetCurrentImage(&dib), E_FAIL);
    EXPECT_EQ(dib, nullptr);
}

// With SDL's dummy driver the sound goes to SDL: the device is SDL's and consumes the sound in
// real time.
TEST_F(Renderers, SoundReachesSdlOnItsDummyDriver)
{
    unsetenv("PLATFORM_AUDIO");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    {
        RendererGraph g(RendererGraph::Kind::Mp4Pair, Pair());
        ASSERT_TRUE(g.built);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(SUCCEEDED(g.control->Run()));
        // Two seconds at least, then until a second of sound has gone to the device.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        WaitUntil([&] {
            const KvRendererCounts k = Counts(g.sound.Get());
            return k.framesPlayed > 48000 && k.peakLeft > 1000;
        });
        const KvRendererCounts counts = Counts(g.sound.Get());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(counts.deviceIsReal, 1);
        EXPECT_GT(counts.framesPlayed, 48000);
        EXPECT_LT(counts.framesPlayed, 2 * 48000 * seconds) << "consumed in real time";
        EXPECT_GT(counts.peakLeft, 1000);
        // The start's first picture is shown however late it came; the ones after it keep to
        // the sound.
        auto shown = Shown(g, 0);
        if (!shown.empty())
            shown.erase(shown.begin());
        EXPECT_LT(Median(Lateness(shown)), 40.0) << "the pictures follow SDL's sound";
    }
    unsetenv("SDL_AUDIODRIVER");
}
