// The decoder filter between a source and a renderer, driven sample by sample: what it
// delivers, with which times, in which layouts, and what flushes, lateness, preroll and
// damaged input do to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "Playback.h"

using namespace h264test;

namespace {

std::vector<size_t> Range(size_t first, size_t end)
{
    std::vector<size_t> values(end - first);
    std::iota(values.begin(), values.end(), first);
    return values;
}

std::vector<size_t> Sorted(std::vector<size_t> values)
{
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace

class DecoderPlayback : public ::testing::TestWithParam<const char*> {};

// With reordering a picture leaves the decoder several samples after its
// own; it must still carry its own sample's times, come out once, and the pictures still in
// the decoder at the end of the stream must come out before the end does.
TEST_P(DecoderPlayback, DeliversEveryPictureOnceWithItsOwnSampleTimes)
{
    Playback playback;
    ASSERT_TRUE(playback.Start(GetParam()));
    playback.PushRange(0, playback.clip.samples.size());
    playback.End();

    const auto records = playback.renderer->Samples();
    ASSERT_EQ(records.size(), playback.reference.size());
    EXPECT_EQ(Sorted(ExpectOwnTimes(playback, records)), Range(0, playback.clip.samples.size()));
    for (size_t i = 0; i < records.size(); ++i) {
        const Picture* picture = playback.Identify(records[i]);
        if (!picture)
            continue;
        EXPECT_EQ(records[i].syncPoint, playback.clip.samples[picture->sample].sync) << i;
        EXPECT_EQ(records[i].discontinuity, i == 0) << i;
        EXPECT_EQ(records[i].length, playback.clip.width * playback.clip.height * 2) << i;
    }
    EXPECT_EQ(playback.renderer->EndOfStreamCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Recordings, DecoderPlayback,
                         ::testing::Values("single/normal.mp4", "single/bframes.mp4",
                                           "single/tiny16.mp4", "single/oneframe.mp4"));

// The same picture in each layout the filter writes, against the UYVY reference: YUY2 and
// YVYU are UYVY's bytes in another order, YV12 keeps the luma plane whole and puts the V plane
// before the U plane.
TEST(DecoderLayouts, WritesEachLayoutInItsOwnByteOrder)
{
    Playback reference;
    ASSERT_TRUE(reference.Start("single/normal.mp4"));
    reference.PushRange(0, 1);
    reference.End();
    const auto uyvyRecords = reference.renderer->Samples();
    ASSERT_EQ(uyvyRecords.size(), 1u);
    const std::vector<BYTE>& uyvy = uyvyRecords[0].data;
    const int width = reference.clip.width;
    const int height = reference.clip.height;
    const size_t pixels = size_t(width) * height;

    auto decodeAs = [&](const CMediaType& type) {
        Playback playback;
        EXPECT_TRUE(playback.Start("single/normal.mp4", &type));
        playback.PushRange(0, 1);
        playback.End();
        const auto records = playback.renderer->Samples();
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? std::vector<BYTE>() : records[0].data;
    };

    const struct {
        const GUID* subtype;
        DWORD fourcc;
        int order[4];  // where U, Y0, V, Y1 of UYVY go in each 4-byte group
    } packed[] = {
        {&MEDIASUBTYPE_UYVY, MAKEFOURCC('U', 'Y', 'V', 'Y'), {0, 1, 2, 3}},
        {&MEDIASUBTYPE_YUY2, MAKEFOURCC('Y', 'U', 'Y', '2'), {1, 0, 3, 2}},
    };
    for (const auto& layout : packed) {
        const std::vector<BYTE> bytes =
            decodeAs(VideoInfoType(*layout.subtype, width, height, 16, layout.fourcc));
        ASSERT_EQ(bytes.size(), pixels * 2);
        size_t mismatches = 0;
        for (size_t group = 0; group < pixels / 2; ++group) {
            for (int k = 0; k < 4; ++k) {
                mismatches += bytes[group * 4 + layout.order[k]] != uyvy[group * 4 + k];
            }
        }
        EXPECT_EQ(mismatches, 0u) << std::hex << layout.fourcc;
    }

    // YVYU comes through FFmpeg's general scaler, which rounds differently from the direct
    // conversion: luma and chroma stay within a step or two on average, and V stays where V is.
    {
        const std::vector<BYTE> yvyu = decodeAs(
            VideoInfoType(MEDIASUBTYPE_YVYU, width, height, 16, MAKEFOURCC('Y', 'V', 'Y', 'U')));
        ASSERT_EQ(yvyu.size(), pixels * 2);
        double luma = 0;
        double sameChroma = 0;
        double swappedChroma = 0;
        for (size_t group = 0; group < pixels / 2; ++group) {
            const BYTE* a = yvyu.data() + group * 4;
            const BYTE* b = uyvy.data() + group * 4;
            luma += std::abs(a[0] - b[1]) + std::abs(a[2] - b[3]);
            sameChroma += std::abs(a[1] - b[2]) + std::abs(a[3] - b[0]);
            swappedChroma += std::abs(a[1] - b[0]) + std::abs(a[3] - b[2]);
        }
        luma /= double(pixels);
        sameChroma /= double(pixels);
        swappedChroma /= double(pixels);
        EXPECT_LT(luma, 0.5);
        EXPECT_LT(sameChroma, 1.0);
        EXPECT_GT(swappedChroma, 8 * sameChroma + 4);
    }

    {
        const std::vector<BYTE> yv12 = decodeAs(
            VideoInfoType(MEDIASUBTYPE_YV12, width, height, 12, MAKEFOURCC('Y', 'V', '1', '2')));
        ASSERT_EQ(yv12.size(), pixels * 3 / 2);
        size_t lumaMismatches = 0;
        for (size_t i = 0; i < pixels; ++i)
            lumaMismatches += yv12[i] != uyvy[i * 2 + 1];
        EXPECT_EQ(lumaMismatches, 0u);
        // Row r of each chroma plane is UYVY's chroma of picture row 2r.
        const BYTE* v = yv12.data() + pixels;
        const BYTE* u = v + pixels / 4;
        size_t chromaMismatches = 0;
        for (int r = 0; r < height / 2; ++r) {
            for (int c = 0; c < width / 2; ++c) {
                const BYTE* group = uyvy.data() + (size_t(2 * r) * width + 2 * c) * 2;
                chromaMismatches += v[r * (width / 2) + c] != group[2];
                chromaMismatches += u[r * (width / 2) + c] != group[0];
            }
        }
        EXPECT_EQ(chromaMismatches, 0u);
    }
}

// A renderer may put a new type on a sample it hands out, asking for another stride or layout.
// The picture is written at that stride, and a type whose picture would not fit the buffer, or
// that names no layout the filter writes, drops pictures instead of writing anywhere else.
TEST(DecoderLayouts, FollowsATypeTheRendererPutsOnASample)
{
    const DWORD uyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');
    CMediaType shortBlock = VideoInfoType(MEDIASUBTYPE_UYVY, 384, 180, 16, uyvy);
    shortBlock.cbFormat = 40;
    const struct {
        const char* name;
        CMediaType type;
        int stride;  // pixels of the pictures delivered after the change
        int lost;    // pictures lost by the change; -1: every one after it
    } cases[] = {
        {"UYVY at a wider stride", VideoInfoType(MEDIASUBTYPE_UYVY, 384, 180, 16, uyvy), 384, 0},
        {"VIDEOINFOHEADER2 stride", VideoInfo2Type(MEDIASUBTYPE_UYVY, 400, 180, 16, uyvy), 400, 0},
        {"a stride past the buffer", VideoInfoType(MEDIASUBTYPE_UYVY, 700, 180, 16, uyvy), 0, -1},
        {"RGB24", VideoInfoType(kSubtypeRgb24, 320, 180, 24, 0), 0, -1},
        {"no subtype", VideoInfoType(GUID_NULL, 320, 180, 16, 0), 0, -1},
        // The sample with the unusable type is dropped; the layout stays as it was.
        {"a block too short for its stride", shortBlock, 320, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Playback playback;
        ASSERT_TRUE(playback.Start("single/normal.mp4"));
        const size_t total = playback.clip.samples.size();
        playback.PushRange(0, 20);
        const size_t before = playback.renderer->SampleCount();
        playback.renderer->AttachTypeToNextSample(c.type);
        playback.PushRange(20, total);
        playback.End();

        const auto records = playback.renderer->Samples();
        EXPECT_EQ(playback.renderer->EndOfStreamCount(), 1);
        if (c.lost != 0)
            EXPECT_GE(playback.chain->Events()->Count(EC_QUALITY_CHANGE), 1);
        if (c.lost < 0) {
            EXPECT_EQ(records.size(), before);
            continue;
        }
        ASSERT_EQ(records.size(), total - size_t(c.lost));
        const int width = playback.clip.width;
        const int height = playback.clip.height;
        for (size_t i = before; i < records.size(); ++i) {
            ASSERT_EQ(records[i].length, c.stride * height * 2) << i;
            // Each row at the new stride is the reference picture's row.
            std::vector<BYTE> packed;
            for (int row = 0; row < height; ++row) {
                const BYTE* start = records[i].data.data() + size_t(row) * c.stride * 2;
                packed.insert(packed.end(), start, start + width * 2);
            }
            const Picture* picture =
                FindPicture(playback.reference, HashBytes(packed.data(), packed.size()));
            ASSERT_NE(picture, nullptr) << i;
            EXPECT_EQ(records[i].start, picture->start) << i;
        }
    }
}

// A source may bring a new input type on a sample. It takes effect from there on (the offered
// output's frame duration follows it), and the open decoder, which keeps its own copy of the
// parameter sets, decodes on.
TEST(DecoderInputChange, ATypeOnASampleTakesEffectAndDecodingGoesOn)
{
    Playback playback;
    ASSERT_TRUE(playback.Start("single/normal.mp4"));
    const size_t total = playback.clip.samples.size();
    CMediaType changed = playback.clip.type;
    reinterpret_cast<MPEG2VIDEOINFO*>(changed.Format())->hdr.AvgTimePerFrame = 333333;
    playback.PushRange(0, 10);
    PushOptions options = playback.OptionsFor(10);
    options.mediaType = &changed;
    ASSERT_EQ(playback.Push(10, options), S_OK);
    playback.PushRange(11, total);
    playback.End();

    EXPECT_EQ(Sorted(ExpectOwnTimes(playback, playback.renderer->Samples())), Range(0, total));
    CMediaType offered;
    ASSERT_EQ(playback.decoder.object->GetMediaType(2, &offered), S_OK);
    EXPECT_EQ(VideoInfoOf(offered).AvgTimePerFrame, 333333);
}

// Pictures still in the decoder when a flush comes (reordering) must not come
// out after it; after the flush decoding starts again at the next key frame.
TEST(DecoderFlush, NothingFromBeforeAFlushComesOutAfterIt)
{
    for (const char* fixture : {"single/bframes.mp4", "single/normal.mp4"}) {
        SCOPED_TRACE(fixture);
        Playback playback;
        ASSERT_TRUE(playback.Start(fixture));
        const size_t total = playback.clip.samples.size();
        ASSERT_TRUE(playback.clip.samples[15].sync);
        playback.PushRange(0, 10);
        const size_t before = playback.renderer->SampleCount();
        ASSERT_EQ(playback.source->Flush(), S_OK);
        playback.PushRange(10, total);
        playback.End();

        auto records = playback.renderer->Samples();
        records.erase(records.begin(), records.begin() + before);
        EXPECT_EQ(Sorted(ExpectOwnTimes(playback, records)), Range(15, total));
        ASSERT_FALSE(records.empty());
        EXPECT_TRUE(records[0].discontinuity);
    }
}

// A renderer that falls behind drops one decoded picture for every 33 ms of lateness it
// reports; the message ends at the decoder, and a flush forgets the pictures still to drop.
TEST(DecoderQuality, DropsDecodedPicturesForReportedLateness)
{
    const struct {
        REFERENCE_TIME late;
        bool flush;
        size_t dropped;
    } cases[] = {{1000000, false, 3},
                 {200000, false, 0},
                 {330000, false, 0},
                 {330001, false, 1},
                 {1000000, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "late " << c.late << (c.flush ? " then a flush" : ""));
        Playback playback;
        ASSERT_TRUE(playback.Start("single/normal.mp4"));
        const size_t total = playback.clip.samples.size();
        playback.PushRange(0, 15);
        Quality quality = {Famine, 800, c.late, 0};
        EXPECT_EQ(playback.renderer->SendQuality(quality), S_OK);
        size_t expected = total - c.dropped;
        std::vector<size_t> samples;
        if (c.flush) {
            const size_t before = playback.renderer->SampleCount();
            ASSERT_EQ(playback.source->Flush(), S_OK);
            expected = before + (total - 15);
        }
        playback.PushRange(15, total);
        playback.End();

        const auto records = playback.renderer->Samples();
        EXPECT_EQ(records.size(), expected);
        samples = ExpectOwnTimes(playback, records);
        // The dropped pictures are consecutive and the others are all there.
        if (!c.flush && c.dropped > 0 && samples.size() == expected) {
            std::vector<size_t> missing;
            const std::vector<size_t> sorted = Sorted(samples);
            const std::vector<size_t> all = Range(0, total);
            std::set_difference(all.begin(), all.end(), sorted.begin(), sorted.end(),
                                std::back_inserter(missing));
            ASSERT_EQ(missing.size(), c.dropped);
            EXPECT_EQ(missing.back() - missing.front(), c.dropped - 1);
        }
        EXPECT_TRUE(playback.source->QualityMessages().empty());
    }
}

// Preroll samples are decoded, so that the pictures depending on them are whole, but their
// own pictures are not shown.
TEST(DecoderPreroll, DecodesPrerollSamplesWithoutShowingThem)
{
    Playback playback;
    ASSERT_TRUE(playback.Start("single/normal.mp4"));
    const size_t total = playback.clip.samples.size();
    for (size_t i = 0; i < total; ++i) {
        PushOptions options = playback.OptionsFor(i);
        options.preroll = i < 3;
        ASSERT_EQ(playback.Push(i, options), S_OK);
    }
    playback.End();
    EXPECT_EQ(Sorted(ExpectOwnTimes(playback, playback.renderer->Samples())), Range(3, total));
}

// Damaged input decodes on: the filter drops what it cannot use, never stops the stream, and
// the pictures after the next key frame are whole again.
TEST(DecoderRobustness, DecodesOnThroughDamagedSamples)
{
    enum Damage { Flip, ZeroRun, Short, Garbage, LengthPastEnd, Untimed };
    const struct {
        const char* name;
        size_t first;  // the first sample pushed
        size_t damaged;
        Damage damage;
    } cases[] = {
        {"flipped bytes", 0, 3, Flip},
        {"a zeroed run", 0, 6, ZeroRun},
        {"a first sample that is not a key frame", 4, 4, Untimed},
        {"a key frame cut to 4 bytes", 0, 0, Short},
        {"random bytes", 0, 5, Garbage},
        {"a NAL length past the sample's end", 0, 2, LengthPastEnd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Playback playback;
        ASSERT_TRUE(playback.Start("single/normal.mp4"));
        const size_t total = playback.clip.samples.size();
        for (size_t i = c.first; i < total; ++i) {
            std::vector<BYTE> bytes = playback.clip.samples[i].data;
            if (i == c.damaged) {
                switch (c.damage) {
                    case Flip:
                        for (size_t k = 8; k < bytes.size(); k += 7)
                            bytes[k] ^= 0xFF;
                        break;
                    case ZeroRun:
                        std::fill(bytes.begin() + 6, bytes.begin() + bytes.size() / 2, 0);
                        break;
                    case Short:
                        bytes.resize(4);
                        break;
                    case Garbage:
                        for (size_t k = 0; k < bytes.size(); ++k)
                            bytes[k] = BYTE(k * 131 + 7);
                        break;
                    case LengthPastEnd:
                        bytes[0] = 0x7F;
                        break;
                    case Untimed:
                        break;
                }
            }
            ASSERT_EQ(
                playback.source->Push(bytes.data(), LONG(bytes.size()), playback.OptionsFor(i)),
                S_OK)
                << i;
        }
        playback.End();
        EXPECT_EQ(playback.renderer->EndOfStreamCount(), 1);

        // Every picture from the key frame at 15 on is there, whole, with its own times.
        std::vector<size_t> whole;
        for (const auto& record : playback.renderer->Samples()) {
            const Picture* picture = playback.Identify(record);
            if (!picture || picture->sample < 15)
                continue;
            EXPECT_EQ(record.start, picture->start);
            whole.push_back(picture->sample);
        }
        EXPECT_EQ(Sorted(whole), Range(15, total));
    }
}

// A record whose first parameter set claims more bytes than it has leaves the decoder without
// parameter sets: nothing decodes, and the stream still ends.
TEST(DecoderRobustness, EndsAStreamWhoseConfigurationIsBroken)
{
    Playback playback;
    ASSERT_TRUE(playback.Start("single/badavcc.mp4"));
    playback.PushRange(0, playback.clip.samples.size());
    playback.End();
    EXPECT_EQ(playback.renderer->EndOfStreamCount(), 1);
}
