// The dual source filter streaming into recording null renderers, connected pin to pin and run
// by hand: what each pin delivers and when, seeks and rate changes while streaming, stopping
// and starting again, and a filter released while it streams.
//
// A renderer that keeps its samples holds the pin's buffers, so a pin stops after as many
// samples as its allocator has buffers (one for video, twenty for sound) until the renderer
// gives them back; that is how these tests put a pin at a known sample without waiting on time.
#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

#include "SourceTesting.h"

using namespace sourcetest;
using dshowtest::CNullRenderer;
using dshowtest::SampleRecord;

namespace {

struct FilePackets {
    int video = 0;
    int audio = 0;
    std::vector<uint8_t> firstAudio;  // the first audio packet's bytes
};

FilePackets CountPackets(const std::string& native)
{
    FilePackets result;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, ("file:" + native).c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << native;
        return result;
    }
    avformat_find_stream_info(format, nullptr);
    int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == video)
            ++result.video;
        if (packet->stream_index == audio) {
            if (result.audio++ == 0)
                result.firstAudio.assign(packet->data, packet->data + packet->size);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return result;
}

DWORD BytesPerSecond(IPin* pin)
{
    AM_MEDIA_TYPE type = {};
    if (FAILED(pin->ConnectionMediaType(&type)))
        return 0;
    DWORD bytes = 0;
    if (type.cbFormat >= sizeof(WAVEFORMATEX)) {
        bytes = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat)->nAvgBytesPerSec;
    }
    FreeMediaType(type);
    return bytes;
}

bool IsVideo(IPin* pin)
{
    return PinName(pin).find(L"Video") != std::wstring::npos;
}

// Samples from `first` on.
std::vector<SampleRecord> From(CNullRenderer* renderer, size_t first)
{
    std::vector<SampleRecord> all = renderer->Samples();
    return std::vector<SampleRecord>(all.begin() + long(std::min(first, all.size())), all.end());
}

LONGLONG Seek(Chain& chain, size_t pin, LONGLONG position, HRESULT expected = S_OK)
{
    EXPECT_EQ(chain.Seeking(pin)->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                               AM_SEEKING_NoPositioning),
              expected);
    return position;
}

}  // namespace

// Every pin delivers every packet of its track once, stamped with its start and duration, the
// first one a discontinuity; every renderer then gets one end of stream and reports completion.
TEST(DualSourceStreaming, EveryTrackPlaysToItsEndWithItsTimes)
{
    struct Case {
        const char* what;
        std::vector<std::string> files;  // front, then rear
    } cases[] = {
        {"a pair with sound on both sides", {kPairFront, kPairRear}},
        {"a recording with sound only", {"single/audioonly.mp4"}},
        {"little-endian PCM sound", {"single/pcm_s16le.mov"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Chain chain(LoadSource(Fixture(c.files[0])));
        ASSERT_NO_FATAL_FAILURE(chain.Connect());
        ASSERT_NO_FATAL_FAILURE(chain.Run());
        for (size_t i = 0; i < chain.Size(); ++i) {
            ASSERT_TRUE(chain.Renderer(i)->WaitForEndOfStream()) << "pin " << i;
        }
        ASSERT_TRUE(chain.Events()->WaitFor(EC_COMPLETE, int(chain.Size())));
        EXPECT_EQ(chain.Events()->Count(EC_ERRORABORT), 0);

        for (size_t i = 0; i < chain.Size(); ++i) {
            IPin* pin = chain.Output(i);
            SCOPED_TRACE(PinName(pin));
            const bool video = IsVideo(pin);
            const FilePackets packets = CountPackets(Native(c.files[PinName(pin)[0] == L'R']));
            const std::vector<SampleRecord> samples = chain.Renderer(i)->Samples();
            EXPECT_EQ(int(samples.size()), video ? packets.video : packets.audio);
            EXPECT_EQ(chain.Renderer(i)->EndOfStreamCount(), 1);
            ASSERT_FALSE(samples.empty());
            // AAC starts with its encoder's priming frame, just before 0.
            if (video)
                EXPECT_EQ(samples[0].start, 0);
            EXPECT_LE(samples[0].start, 0);
            EXPECT_GT(samples[0].start, -kSecond / 10);
            const DWORD bytesPerSecond = video ? 0 : BytesPerSecond(pin);
            for (size_t s = 0; s < samples.size(); ++s) {
                const SampleRecord& sample = samples[s];
                ASSERT_EQ(sample.timeResult, S_OK);
                EXPECT_EQ(sample.discontinuity, s == 0) << "sample " << s;
                if (video) {
                    // 15 frames a second: 1000 / 15 truncated to 66 ms.
                    EXPECT_EQ(sample.stop - sample.start, 660000) << "sample " << s;
                    if (s == 0)
                        EXPECT_TRUE(sample.syncPoint);
                } else {
                    const LONGLONG milliseconds = LONGLONG(sample.length) * 1000 / bytesPerSecond;
                    EXPECT_EQ(sample.stop - sample.start, milliseconds * 10000) << "sample " << s;
                    EXPECT_TRUE(sample.syncPoint);
                }
                if (s > 0)
                    EXPECT_GT(sample.start, samples[s - 1].start) << "sample " << s;
            }
        }
    }
}

TEST(DualSourceStreaming, BigEndianSoundIsDeliveredLittleEndian)
{
    const FilePackets packets = CountPackets(Native("single/pcm_s16be.mov"));
    ASSERT_GE(packets.firstAudio.size(), 64u);
    Chain chain(LoadSource(Fixture("single/pcm_s16be.mov")));
    ASSERT_EQ(PinNames(chain.Source()),
              (std::vector<std::wstring>{L"Front Video", L"Front Audio"}));
    chain.Renderer(1)->SetKeptBytes(64);
    ASSERT_NO_FATAL_FAILURE(chain.Connect({1}));
    ASSERT_NO_FATAL_FAILURE(chain.Run());
    ASSERT_TRUE(chain.Renderer(1)->WaitForEndOfStream());
    const std::vector<SampleRecord> samples = chain.Renderer(1)->Samples();
    ASSERT_FALSE(samples.empty());
    std::vector<BYTE> expected(packets.firstAudio.begin(), packets.firstAudio.begin() + 64);
    for (size_t i = 0; i + 1 < expected.size(); i += 2)
        std::swap(expected[i], expected[i + 1]);
    EXPECT_EQ(samples[0].data, expected);
    EXPECT_EQ(int(samples.size()), packets.audio);
}

// A rate given to one pin reaches every pin; times and durations are divided by it.
TEST(DualSourceStreaming, TheRateDividesTimesAndDurations)
{
    Chain chain(LoadSource(Fixture(kFrontOnly)));
    ASSERT_NO_FATAL_FAILURE(chain.Connect());
    ASSERT_EQ(chain.Seeking(0)->SetRate(2.0), S_OK);
    double rate = 0;
    ASSERT_EQ(chain.Seeking(1)->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 2.0);
    EXPECT_EQ(chain.Seeking(1)->SetRate(2.0), S_OK);
    ASSERT_NO_FATAL_FAILURE(chain.Run());
    ASSERT_TRUE(chain.Renderer(0)->WaitForEndOfStream());
    ASSERT_TRUE(chain.Renderer(1)->WaitForEndOfStream());

    for (size_t i = 0; i < 2; ++i) {
        ASSERT_FALSE(chain.Renderer(i)->Segments().empty());
        EXPECT_EQ(chain.Renderer(i)->Segments().back().rate, 2.0);
    }
    const std::vector<SampleRecord> video = chain.Renderer(0)->Samples();
    ASSERT_GT(video.size(), 16u);
    EXPECT_EQ(video[15].start, kSecond / 2) << "the key frame one second in, at rate 2";
    for (const SampleRecord& sample : video)
        EXPECT_EQ(sample.stop - sample.start, 330000);
    const DWORD bytesPerSecond = BytesPerSecond(chain.Output(1));
    for (const SampleRecord& sample : chain.Renderer(1)->Samples()) {
        const LONGLONG milliseconds = LONGLONG(sample.length) * 1000 / bytesPerSecond;
        EXPECT_EQ(sample.stop - sample.start, milliseconds * 10000 / 2);
    }
}

// A rate change while playing restarts the times at the position reached, at the new rate: no
// jump, and no frame lost on the way.
TEST(DualSourceStreaming, ARateChangeWhilePlayingGoesOnFromThePositionReached)
{
    Chain chain(LoadSource(Fixture(kFrontOnly)));
    CNullRenderer* renderer = chain.Renderer(0);
    renderer->SetKeepSamples(true);
    ASSERT_NO_FATAL_FAILURE(chain.Connect({0}));
    ASSERT_NO_FATAL_FAILURE(chain.Run());
    for (size_t n = 1; n <= 20; ++n) {
        ASSERT_TRUE(renderer->WaitForSamples(n));
        if (n < 20)
            renderer->ReleaseKept();
    }
    const std::vector<SampleRecord> before = renderer->Samples();
    ASSERT_EQ(before.size(), 20u);
    const LONGLONG reached = before.back().start;  // media time: rate 1 from position 0
    const LONGLONG frame = before[19].start - before[18].start;

    ASSERT_EQ(chain.Seeking(0)->SetRate(2.0), S_OK);
    ASSERT_TRUE(renderer->WaitForSamples(21));
    EXPECT_EQ(renderer->BeginFlushCount(), 1);
    ASSERT_FALSE(renderer->Segments().empty());
    EXPECT_EQ(renderer->Segments().back().start, reached);
    EXPECT_EQ(renderer->Segments().back().rate, 2.0);
    const SampleRecord next = renderer->Samples()[20];
    EXPECT_TRUE(next.discontinuity);
    EXPECT_NEAR(double(next.start), double(frame) / 2, 1.0) << "the very next frame, at rate 2";
    EXPECT_EQ(next.stop - next.start, 330000);
    LONGLONG current = 0;
    EXPECT_EQ(chain.Seeking(0)->GetPositions(&current, nullptr), S_OK);
    EXPECT_NEAR(double(current), double(reached + frame), 1.0);
}

// A seek stops the pins before the cores move, so the key frame of the new position is the
// first sample after the flush; every pin of the seek starts a new segment at the position.
TEST(DualSourceStreaming, ASeekDeliversTheKeyFrameOfTheNewPosition)
{
    Chain chain(LoadSource(Fixture(kFrontOnly)));
    chain.Renderer(0)->SetKeepSamples(true);
    chain.Renderer(1)->SetKeepSamples(true);
    ASSERT_NO_FATAL_FAILURE(chain.Connect());
    ASSERT_NO_FATAL_FAILURE(chain.Pause());
    ASSERT_TRUE(chain.Renderer(0)->WaitForSamples(1));
    ASSERT_TRUE(chain.Renderer(1)->WaitForSamples(20));

    const LONGLONG target = 3 * kSecond / 2;
    EXPECT_EQ(Seek(chain, 0, target), target);
    EXPECT_EQ(Seek(chain, 1, target), target) << "the second pin takes part in the same seek";
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        CNullRenderer* renderer = chain.Renderer(i);
        EXPECT_EQ(renderer->BeginFlushCount(), 1);
        EXPECT_EQ(renderer->EndFlushCount(), 1);
        ASSERT_TRUE(renderer->WaitForSamples(i == 0 ? 2 : 21));
        ASSERT_FALSE(renderer->Segments().empty());
        EXPECT_EQ(renderer->Segments().back().start, target);
        const SampleRecord first = renderer->Samples()[i == 0 ? 1 : 20];
        EXPECT_TRUE(first.discontinuity);
        EXPECT_TRUE(first.syncPoint);
        EXPECT_LT(std::abs(first.start), kSecond) << "within the key frame interval";
    }
    // The video pin stopped at its one buffer: its position is the key frame it delivered.
    LONGLONG current = 0;
    EXPECT_EQ(chain.Seeking(0)->GetPositions(&current, nullptr), S_OK);
    EXPECT_EQ(current, target + chain.Renderer(0)->Samples()[1].start);
}

// The graph sends a seek to every connected pin once: the first call moves everything, the
// others take part. A pin that calls again, or a call that asks for something else, starts a
// new seek, so a pin that missed a seek does not throw the counting off for good.
TEST(DualSourceStreaming, TheSeekCounterFollowsTheConnectedPins)
{
    Chain chain(LoadSource(Fixture(kSilentRearFront)));
    ASSERT_EQ(chain.Size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        chain.Renderer(i)->SetKeepSamples(true);
    ASSERT_NO_FATAL_FAILURE(chain.Connect());
    ASSERT_NO_FATAL_FAILURE(chain.Pause());
    struct Step {
        const char* what;
        size_t pin;
        LONGLONG position;
        int seeks;  // seeks carried out so far
    } steps[] = {
        {"the first pin seeks", 0, kSecond, 1},
        {"the second takes part", 1, kSecond, 1},
        {"the third ends the seek", 2, kSecond, 1},
        {"a fourth call starts a new seek", 0, kSecond, 2},
        {"a pin that took part already starts another", 0, kSecond, 3},
        {"another position starts another", 1, 2 * kSecond, 4},
        {"taking part", 2, 2 * kSecond, 4},
        {"the last of the three", 0, 2 * kSecond, 4},
        {"and then a new one", 1, 2 * kSecond, 5},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(Seek(chain, step.pin, step.position), step.position);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(chain.Renderer(i)->BeginFlushCount(), step.seeks);
    }
}

// A position the cores cannot seek to fails for every pin of that seek, and streaming goes on
// where it was: every packet still arrives once.
TEST(DualSourceStreaming, AFailedSeekIsAnErrorAndLosesNothing)
{
    const FilePackets packets = CountPackets(Native(kFrontOnly));
    Chain chain(LoadSource(Fixture(kFrontOnly)));
    chain.Renderer(0)->SetKeepSamples(true);
    chain.Renderer(1)->SetKeepSamples(true);
    ASSERT_NO_FATAL_FAILURE(chain.Connect());
    ASSERT_NO_FATAL_FAILURE(chain.Pause());
    ASSERT_TRUE(chain.Renderer(0)->WaitForSamples(1));
    ASSERT_TRUE(chain.Renderer(1)->WaitForSamples(20));

    const LONGLONG far = 100 * kSecond;
    LONGLONG position = far;
    EXPECT_EQ(chain.Seeking(0)->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, 0),
              E_FAIL);
    EXPECT_EQ(position, far) << "nothing written back";
    position = far;
    EXPECT_EQ(chain.Seeking(1)->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, 0),
              E_FAIL)
        << "the other pin of the same seek";
    for (size_t i = 0; i < 2; ++i) {
        chain.Renderer(i)->SetKeepSamples(false);
        chain.Renderer(i)->ReleaseKept();
    }
    ASSERT_NO_FATAL_FAILURE(chain.Run());
    ASSERT_TRUE(chain.Renderer(0)->WaitForEndOfStream());
    ASSERT_TRUE(chain.Renderer(1)->WaitForEndOfStream());
    const std::vector<SampleRecord> video = chain.Renderer(0)->Samples();
    EXPECT_EQ(int(video.size()), packets.video);
    for (size_t s = 1; s < video.size(); ++s)
        EXPECT_GT(video[s].start, video[s - 1].start);
    EXPECT_EQ(int(chain.Renderer(1)->SampleCount()), packets.audio);
}

// Stopping the source while it streams (its renderers still running) is no end of stream, and
// running again goes on right after the last sample delivered. Repeated at whatever points the
// stops fall on, so that they catch pins waiting for data as well as pins delivering. (A track
// that has ended ends again at each run: there is nothing after its end.)
TEST(DualSourceStreaming, StopAndRunAgainGoOnWithoutAnEndOfStream)
{
    const FilePackets front = CountPackets(Native(kPairFront));
    const FilePackets rear = CountPackets(Native(kPairRear));
    const int expected[4] = {front.video, front.audio, rear.video, rear.audio};
    Chain chain(LoadSource(Fixture(kPairFront)));
    ASSERT_NO_FATAL_FAILURE(chain.Connect());
    for (CNullRenderer* renderer :
         {chain.Renderer(0), chain.Renderer(1), chain.Renderer(2), chain.Renderer(3)}) {
        ASSERT_EQ(renderer->Run(0), S_OK);
    }
    for (size_t step = 1; step <= 6; ++step) {
        ASSERT_EQ(chain.Source()->Run(0), S_OK);
        ASSERT_TRUE(chain.Renderer(0)->WaitForSamples(step * 5));
        ASSERT_EQ(chain.Source()->Stop(), S_OK);
        // A track may well have ended meanwhile, but only after its last packet.
        for (size_t i = 0; i < 4; ++i) {
            if (chain.Renderer(i)->EndOfStreamCount() == 0)
                continue;
            EXPECT_EQ(int(chain.Renderer(i)->SampleCount()), expected[i])
                << "pin " << i << ", stop " << step;
        }
    }
    ASSERT_EQ(chain.Source()->Run(0), S_OK);
    for (size_t i = 0; i < 4; ++i)
        ASSERT_TRUE(chain.Renderer(i)->WaitForEndOfStream());
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const std::vector<SampleRecord> samples = chain.Renderer(i)->Samples();
        EXPECT_EQ(int(samples.size()), expected[i]);
        for (size_t s = 1; s < samples.size(); ++s)
            EXPECT_GT(samples[s].start, samples[s - 1].start);
    }
}

// After the end of the stream a seek plays the recording again from the new position.
TEST(DualSourceStreaming, ASeekAfterTheEndPlaysAgain)
{
    const FilePackets packets = CountPackets(Native(kFrontOnly));
    Chain chain(LoadSource(Fixture(kFrontOnly)));
    ASSERT_NO_FATAL_FAILURE(chain.Connect());
    ASSERT_NO_FATAL_FAILURE(chain.Run());
    ASSERT_TRUE(chain.Renderer(0)->WaitForEndOfStream());
    ASSERT_TRUE(chain.Renderer(1)->WaitForEndOfStream());
    const size_t first = chain.Renderer(0)->SampleCount();
    Seek(chain, 0, 0);
    Seek(chain, 1, 0);
    ASSERT_TRUE(chain.Renderer(0)->WaitForEndOfStream(2));
    ASSERT_TRUE(chain.Renderer(1)->WaitForEndOfStream(2));
    const std::vector<SampleRecord> again = From(chain.Renderer(0), first);
    EXPECT_EQ(int(again.size()), packets.video);
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again[0].start, 0);
    EXPECT_TRUE(again[0].discontinuity);
}

// The last reference to a filter that still streams can go with its pins still running (here
// the renderers let go of the connections while the source runs): the streaming threads end
// before the cores they read from are destroyed. The renderers keep their samples, so each pin
// is known to be waiting for a buffer, not inside a renderer, when the renderers let go.
TEST(DualSourceStreaming, AFilterReleasedWhileStreamingEndsItsThreadsFirst)
{
    ComPtr<IBaseFilter> source = LoadSource(Fixture(kPairFront));
    ASSERT_TRUE(source);
    std::vector<ComPtr<IPin>> pins = Pins(source.Get());
    std::vector<CNullRenderer*> renderers;
    for (const ComPtr<IPin>& pin : pins) {
        auto* renderer = new CNullRenderer();
        renderer->NonDelegatingAddRef();
        renderer->SetKeepSamples(true);
        ASSERT_EQ(pin->Connect(renderer->InputPin(), nullptr), S_OK);
        ASSERT_EQ(renderer->Run(0), S_OK);
        renderers.push_back(renderer);
    }
    pins.clear();
    ASSERT_EQ(source->Run(0), S_OK);
    for (size_t i = 0; i < renderers.size(); ++i) {
        ASSERT_TRUE(renderers[i]->WaitForSamples(i % 2 == 0 ? 1 : 20)) << i;
    }
    for (CNullRenderer* renderer : renderers) {
        renderer->Stop();
        renderer->InputPin()->Disconnect();
    }
    source = nullptr;  // the last reference: the filter goes while its threads run
    for (CNullRenderer* renderer : renderers)
        renderer->NonDelegatingRelease();
}
