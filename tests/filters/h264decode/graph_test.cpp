// The decoder in running graphs: a source's streaming thread feeds it, the renderer takes the
// pictures, and the graph's thread seeks, stops and runs again meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <thread>

#include "ClipSource.h"
#include "DecoderTesting.h"
#include "FilterChain.h"
#include "H264Clip.h"
#include "NullRenderer.h"

using namespace h264test;

namespace {

// One channel: a clip source, a decoder and a renderer, connected and stopped.
struct Channel {
    explicit Channel(const std::string& fixture)
    {
        ok = LoadClip(fixture, &clip);
        reference = ReferencePictures(clip);
        ok = ok && !reference.empty();
        source = new CClipSource(clip);
        decoder = MakeDecoder();
        renderer = new dshowtest::CNullRenderer();
        renderer->SetKeptBytes(size_t(clip.width) * clip.height * 2);
        chain = std::make_unique<FilterChain>(
            std::vector<IBaseFilter*>{source, decoder.filter.Get(), renderer});
        CMediaType uyvy;
        ok = ok && chain->Connect(source->OutputPin(), decoder.Input()) == S_OK &&
             decoder.object->GetMediaType(2, &uyvy) == S_OK &&
             chain->Connect(decoder.Output(), renderer->InputPin(), &uyvy) == S_OK;
        EXPECT_TRUE(ok) << "cannot set up " << fixture;
    }

    const Picture* Identify(const dshowtest::SampleRecord& record) const
    {
        return FindPicture(reference, HashBytes(record.data.data(), record.data.size()));
    }

    bool ok = false;
    Clip clip;  // declared first: the source reads it until the chain is gone
    std::vector<Picture> reference;
    CClipSource* source = nullptr;
    Decoder decoder;
    dshowtest::CNullRenderer* renderer = nullptr;
    std::unique_ptr<FilterChain> chain;
};

// The samples the records came from, checking each record's time against its own sample's,
// counted from `seekStart`.
std::vector<size_t> Sources(const Channel& channel,
                            const std::vector<dshowtest::SampleRecord>& records,
                            REFERENCE_TIME seekStart = 0)
{
    std::vector<size_t> samples;
    for (size_t i = 0; i < records.size(); ++i) {
        const Picture* picture = channel.Identify(records[i]);
        if (!picture) {
            ADD_FAILURE() << "picture " << i << " is none of the reference pictures";
            continue;
        }
        EXPECT_EQ(records[i].start, picture->start - seekStart) << "picture " << i;
        samples.push_back(picture->sample);
    }
    return samples;
}

std::vector<size_t> Range(size_t first, size_t end)
{
    std::vector<size_t> values(end - first);
    std::iota(values.begin(), values.end(), first);
    return values;
}

}  // namespace

// Both channels of a pair play at once, each on its own streaming thread through its own
// decoder: every picture comes out once with its own sample's times, and each stream ends.
TEST(DecoderGraph, PlaysAPairWithEachPictureAtItsSamplesTime)
{
    Channel front("single/pair/REC_2026_05_14_08_30_00_F.mp4");
    Channel rear("single/pair/REC_2026_05_14_08_30_00_R.mp4");
    ASSERT_TRUE(front.ok && rear.ok);
    ASSERT_EQ(front.chain->Run(), S_OK);
    ASSERT_EQ(rear.chain->Run(), S_OK);
    for (Channel* channel : {&front, &rear}) {
        ASSERT_TRUE(channel->renderer->WaitForEndOfStream());
        const auto records = channel->renderer->Samples();
        std::vector<size_t> samples = Sources(*channel, records);
        EXPECT_TRUE(std::is_sorted(samples.begin(), samples.end()));
        EXPECT_EQ(samples, Range(0, channel->clip.samples.size()));
        EXPECT_TRUE(channel->chain->Events()->WaitFor(EC_COMPLETE));
    }
    EXPECT_EQ(front.chain->Stop(), S_OK);
    EXPECT_EQ(rear.chain->Stop(), S_OK);
}

// A seek while pictures are still inside the decoder: nothing from before the seek may show
// after it, and the first picture shown is the one at the position, at time 0.
TEST(DecoderGraph, AfterASeekTheFirstPictureIsTheTargetsAndNoEarlierOneFollows)
{
    for (const char* fixture : {"single/bframes.mp4", "single/normal.mp4"}) {
        SCOPED_TRACE(fixture);
        Channel channel(fixture);
        ASSERT_TRUE(channel.ok);
        const size_t target = 20;  // between the key frames at 15 and 30
        const REFERENCE_TIME position = channel.clip.samples[target].start;

        // Hold the first picture: the streaming thread waits in the renderer with later
        // samples inside the decoder.
        channel.renderer->SetHold(true);
        ASSERT_EQ(channel.chain->Run(), S_OK);
        ASSERT_TRUE(channel.renderer->WaitForHeld());
        channel.renderer->ClearRecords();

        LONGLONG current = position;
        ComPtr<IMediaSeeking> seeking;
        ASSERT_EQ(channel.source->OutputPin()->QueryInterface(IID_PPV_ARGS(&seeking)), S_OK);
        ASSERT_EQ(seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                        AM_SEEKING_NoPositioning),
                  S_OK);
        ASSERT_TRUE(channel.renderer->WaitForHeld());
        channel.renderer->SetHold(false);
        ASSERT_TRUE(channel.renderer->WaitForEndOfStream());

        const auto records = channel.renderer->Samples();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.front().start, 0);
        EXPECT_TRUE(records.front().discontinuity);
        // What shows is every sample from the position on, in presentation order.
        std::vector<size_t> expected;
        for (size_t i = 0; i < channel.clip.samples.size(); ++i) {
            if (channel.clip.samples[i].start >= position)
                expected.push_back(i);
        }
        std::sort(expected.begin(), expected.end(), [&](size_t a, size_t b) {
            return channel.clip.samples[a].start < channel.clip.samples[b].start;
        });
        EXPECT_EQ(Sources(channel, records, position), expected);
        EXPECT_EQ(channel.chain->Stop(), S_OK);
    }
}

// Stopping with pictures inside the decoder and running again neither hangs nor repeats a
// picture; the stream still ends.
TEST(DecoderGraph, StopsAndRunsAgainWhilePicturesAreInFlight)
{
    Channel channel("single/normal.mp4");
    ASSERT_TRUE(channel.ok);
    for (int round = 0; round < 3; ++round) {
        channel.renderer->SetHold(true);
        ASSERT_EQ(channel.chain->Run(), S_OK);
        ASSERT_TRUE(channel.renderer->WaitForHeld());
        ASSERT_EQ(channel.chain->Stop(), S_OK);
        channel.renderer->SetHold(false);
    }
    ASSERT_EQ(channel.chain->Run(), S_OK);
    ASSERT_TRUE(channel.renderer->WaitForEndOfStream());
    std::vector<size_t> samples = Sources(channel, channel.renderer->Samples());
    std::vector<size_t> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end())
        << "a picture came out twice";
    EXPECT_TRUE(std::is_sorted(samples.begin(), samples.end()));
    EXPECT_EQ(channel.chain->Stop(), S_OK);
}
