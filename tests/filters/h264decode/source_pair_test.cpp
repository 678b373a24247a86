// The viewer's graph with the real source: the filter graph manager holding the dual source
// filter, whose two video pins feed a decoder each ("Main" the front, "Sub" the rear) and a
// renderer each, all filters made from the libraries in the program's folder, on a clock the
// test drives.
#include <gtest/gtest.h>

#include <numeric>

#include "DrivenClock.h"
#include "H264Clip.h"
#include "LibraryTesting.h"
#include "MediaTypes.h"
#include "NullRenderer.h"
#include "filters/dualsource/KVMP4DualSourceInfo.h"
#include "filters/h264decode/KVH264.h"

using namespace h264test;
using dshowtest::CDrivenClock;

namespace {

constexpr DWORD kWait = 20000;  // milliseconds a test waits for an event before it fails

std::vector<size_t> Range(size_t first, size_t end)
{
    std::vector<size_t> values(end - first);
    std::iota(values.begin(), values.end(), first);
    return values;
}

ComPtr<IBaseFilter> FromLibrary(const char* file, REFCLSID clsid)
{
    typedef HRESULT(STDAPICALLTYPE * GetClassObject)(REFCLSID, REFIID, LPVOID*);
    HMODULE module = LoadLibraryW(LibraryPath(file).c_str());
    auto get = module ? Export<GetClassObject>(module, "DllGetClassObject") : nullptr;
    ComPtr<IClassFactory> factory;
    ComPtr<IBaseFilter> filter;
    if (!get || FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)))) {
        ADD_FAILURE() << "cannot make a filter from " << file;
        return nullptr;
    }
    return filter;
}

class ViewerGraph : public ::testing::Test {
protected:
    static constexpr const char* kFront = "single/pair/REC_2026_05_14_08_30_00_F.mp4";
    static constexpr const char* kRear = "single/pair/REC_2026_05_14_08_30_00_R.mp4";

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(LoadClip(kFront, &clips[0]) && LoadClip(kRear, &clips[1]));
        for (int i = 0; i < 2; ++i)
            references[i] = ReferencePictures(clips[i]);

        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&graph)),
                  S_OK);
        ASSERT_EQ(graph.As(&control), S_OK);
        ASSERT_EQ(graph.As(&seeking), S_OK);
        ASSERT_EQ(graph.As(&events), S_OK);

        source = FromLibrary("KVMP4DualSourceFilter.ax", CLSID_KVMP4DualSourceFilter);
        for (auto& decoder : decoders) {
            decoder = FromLibrary("KVH264DecodeFilter.ax", CLSID_KVH264DecodeFilter);
        }
        ASSERT_TRUE(source && decoders[0] && decoders[1]);
        ASSERT_EQ(graph->AddFilter(source.Get(), L"DirectShow KV MP4 Dual Source"), S_OK);
        ASSERT_EQ(graph->AddFilter(decoders[1].Get(), L"KV Video Decoder Sub"), S_OK);
        ASSERT_EQ(graph->AddFilter(decoders[0].Get(), L"KV Video Decoder Main"), S_OK);
        ComPtr<IFileSourceFilter> file;
        ASSERT_EQ(source.As(&file), S_OK);
        ASSERT_EQ(file->Load(platform::ToWindowsPath(FixturePath(kFront)).c_str(), nullptr), S_OK);

        // Pin 1 is "Front Video" and pin 3 "Rear Video"; the front's sound lies between them.
        const wchar_t* ids[2] = {L"1", L"3"};
        const wchar_t* names[2] = {L"Renderer Main", L"Renderer Sub"};
        for (int i = 0; i < 2; ++i) {
            renderers[i] = new dshowtest::CNullRenderer();
            rendererFilters[i] = ComPtr<IBaseFilter>(renderers[i]);
            renderers[i]->SetKeptBytes(size_t(clips[i].width) * clips[i].height * 2);
            ASSERT_EQ(graph->AddFilter(rendererFilters[i].Get(), names[i]), S_OK);
            ComPtr<IPin> video;
            ComPtr<IPin> in;
            ComPtr<IPin> out;
            ASSERT_EQ(source->FindPin(ids[i], &video), S_OK);
            ASSERT_EQ(decoders[i]->FindPin(L"In", &in), S_OK);
            ASSERT_EQ(decoders[i]->FindPin(L"Out", &out), S_OK);
            ASSERT_EQ(graph->Connect(video.Get(), in.Get()), S_OK);
            const CMediaType uyvy =
                VideoInfoType(MEDIASUBTYPE_UYVY, clips[i].width, clips[i].height, 16,
                              MAKEFOURCC('U', 'Y', 'V', 'Y'));
            ASSERT_EQ(graph->ConnectDirect(out.Get(), renderers[i]->InputPin(), &uyvy), S_OK);
        }

        clock = new CDrivenClock(0);
        ComPtr<IMediaFilter> media;
        ASSERT_EQ(graph.As(&media), S_OK);
        ASSERT_EQ(media->SetSyncSource(clock), S_OK);
    }

    void TearDown() override
    {
        if (control)
            control->Stop();
        control = nullptr;
        seeking = nullptr;
        events = nullptr;
        graph = nullptr;
        source = nullptr;
        for (auto& decoder : decoders)
            decoder = nullptr;
        for (auto& renderer : rendererFilters)
            renderer = nullptr;
        if (clock)
            clock->Release();
        CoUninitialize();
    }

    // Takes events until EC_COMPLETE; false when none comes within kWait.
    bool WaitForComplete()
    {
        for (;;) {
            LONG code = 0;
            LONG_PTR first = 0;
            LONG_PTR second = 0;
            if (events->GetEvent(&code, &first, &second, kWait) != S_OK)
                return false;
            events->FreeEventParams(code, first, second);
            if (code == EC_COMPLETE)
                return true;
        }
    }

    // The samples of channel i that its renderer's pictures came from, each picture checked
    // against its own sample's times counted from `seekStart`.
    std::vector<size_t> Shown(int i, REFERENCE_TIME seekStart = 0)
    {
        std::vector<size_t> samples;
        for (const auto& record : renderers[i]->Samples()) {
            const Picture* picture =
                FindPicture(references[i], HashBytes(record.data.data(), record.data.size()));
            if (!picture) {
                ADD_FAILURE() << "a picture of channel " << i << " is none of the recording's";
                continue;
            }
            EXPECT_EQ(record.start, picture->start - seekStart);
            EXPECT_EQ(record.stop, picture->start - seekStart + clips[i].frameDuration);
            samples.push_back(picture->sample);
        }
        return samples;
    }

    Clip clips[2];
    std::vector<Picture> references[2];
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IMediaEventEx> events;
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> decoders[2];
    dshowtest::CNullRenderer* renderers[2] = {};
    ComPtr<IBaseFilter> rendererFilters[2];
    CDrivenClock* clock = nullptr;  // one reference
};

}  // namespace

// Every picture of both recordings comes out once, with the times its own sample had, and the
// graph reports the end once both renderers have had theirs.
TEST_F(ViewerGraph, PlaysAPairWithEachPictureAtItsSamplesTime)
{
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(clips[0].samples.back().start + 10000000);
    ASSERT_TRUE(WaitForComplete());
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "front" : "rear");
        EXPECT_EQ(renderers[i]->EndOfStreamCount(), 1);
        EXPECT_EQ(Shown(i), Range(0, clips[i].samples.size()));
    }
}

// A seek through the graph while pictures wait inside both decoders: the first picture each
// renderer shows after it is the one at the position, at time 0, and nothing from before the
// seek follows.
TEST_F(ViewerGraph, AfterASeekTheFirstPictureIsAtThePositionAndNoEarlierOneFollows)
{
    const size_t target = 15;  // a key frame, one second in
    ASSERT_TRUE(clips[0].samples[target].sync && clips[1].samples[target].sync);
    const REFERENCE_TIME position = clips[0].samples[target].start;
    ASSERT_EQ(position, clips[1].samples[target].start);

    for (auto* renderer : renderers)
        renderer->SetHold(true);
    ASSERT_EQ(control->Run(), S_OK);
    for (auto* renderer : renderers)
        ASSERT_TRUE(renderer->WaitForHeld());
    for (auto* renderer : renderers)
        renderer->ClearRecords();

    LONGLONG current = position;
    ASSERT_EQ(seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    for (auto* renderer : renderers)
        ASSERT_TRUE(renderer->WaitForHeld());
    for (auto* renderer : renderers)
        renderer->SetHold(false);
    clock->Advance(clips[0].samples.back().start + 10000000);
    ASSERT_TRUE(WaitForComplete());

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "front" : "rear");
        const auto records = renderers[i]->Samples();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.front().start, 0);
        EXPECT_EQ(Shown(i, position), Range(target, clips[i].samples.size()));
    }
}
