// Test support: an mkcard recording pushed sample by sample from the test's thread through a
// decoder into a recording null renderer, and the checks that tell which sample each delivered
// picture came from.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DecoderTesting.h"
#include "FilterChain.h"
#include "H264Clip.h"
#include "MediaTypes.h"
#include "NullRenderer.h"
#include "PushSource.h"

namespace h264test {

class Playback {
public:
    // Loads the clip, connects source, decoder and renderer (the decoder's output with
    // `output`, or UYVY at the picture's width), and runs them. False with a test failure when
    // any of it fails.
    bool Start(const std::string& fixture, const CMediaType* output = nullptr)
    {
        if (!LoadClip(fixture, &clip))
            return false;
        bool ok = true;
        auto check = [&ok](HRESULT hr, const char* step) {
            EXPECT_EQ(hr, S_OK) << step;
            ok = ok && hr == S_OK;
        };
        reference = ReferencePictures(clip);
        source = new CPushSource(clip.type, clip.bufferSize);
        decoder = MakeDecoder();
        renderer = new dshowtest::CNullRenderer();
        renderer->SetKeptBytes(size_t(clip.width) * clip.height * 4);
        chain = std::make_unique<FilterChain>(
            std::vector<IBaseFilter*>{source, decoder.filter.Get(), renderer});
        check(chain->Connect(source->OutputPin(), decoder.Input()), "connecting the decoder");
        CMediaType uyvy;
        if (!output) {
            check(decoder.object->GetMediaType(2, &uyvy), "the UYVY type");
            output = &uyvy;
        }
        check(chain->Connect(decoder.Output(), renderer->InputPin(), output),
              "connecting the renderer");
        check(chain->Run(), "running");
        return ok;
    }

    // The options a source pin puts on sample `index`.
    PushOptions OptionsFor(size_t index) const
    {
        PushOptions options;
        options.start = clip.samples[index].start;
        options.stop = options.start + clip.frameDuration;
        options.sync = clip.samples[index].sync;
        return options;
    }

    HRESULT Push(size_t index) { return Push(index, OptionsFor(index)); }
    HRESULT Push(size_t index, const PushOptions& options)
    {
        const ClipSample& sample = clip.samples[index];
        return source->Push(sample.data.data(), LONG(sample.data.size()), options);
    }
    void PushRange(size_t first, size_t end)
    {
        for (size_t i = first; i < end; ++i)
            EXPECT_EQ(Push(i), S_OK) << "sample " << i;
    }
    void End() { EXPECT_EQ(source->PushEndOfStream(), S_OK); }

    // The reference picture a delivered UYVY picture at the picture's width shows, or null.
    const Picture* Identify(const dshowtest::SampleRecord& record) const
    {
        const size_t bytes = size_t(clip.width) * clip.height * 2;
        if (record.data.size() < bytes)
            return nullptr;
        return FindPicture(reference, HashBytes(record.data.data(), bytes));
    }

    Clip clip;
    std::vector<Picture> reference;
    CPushSource* source = nullptr;  // held by the chain
    Decoder decoder;
    dshowtest::CNullRenderer* renderer = nullptr;  // held by the chain
    std::unique_ptr<FilterChain> chain;
};

// Every record is a reference picture, carries that picture's own sample times, and the
// records run forward in time without repeats. Returns the samples the pictures came from.
inline std::vector<size_t> ExpectOwnTimes(const Playback& playback,
                                          const std::vector<dshowtest::SampleRecord>& records)
{
    std::vector<size_t> samples;
    REFERENCE_TIME last = -1;
    for (size_t i = 0; i < records.size(); ++i) {
        const Picture* picture = playback.Identify(records[i]);
        if (!picture) {
            ADD_FAILURE() << "picture " << i << " is none of the reference pictures";
            continue;
        }
        EXPECT_EQ(records[i].timeResult, S_OK) << "picture " << i;
        EXPECT_EQ(records[i].start, picture->start) << "picture " << i;
        EXPECT_EQ(records[i].stop, picture->start + playback.clip.frameDuration) << "picture " << i;
        EXPECT_GT(records[i].start, last) << "picture " << i << " goes back in time";
        last = records[i].start;
        samples.push_back(picture->sample);
    }
    return samples;
}

}  // namespace h264test
