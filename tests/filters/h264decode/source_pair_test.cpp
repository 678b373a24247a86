// The viewer's chain with the real source: the dual source filter's two video pins, each into
// a decoder of its own and a renderer, all made from the libraries in the program's folder.
#include <gtest/gtest.h>

#include <numeric>

#include "FilterChain.h"
#include "H264Clip.h"
#include "LibraryTesting.h"
#include "MediaTypes.h"
#include "NullRenderer.h"
#include "filters/dualsource/KVMP4DualSourceInfo.h"
#include "filters/h264decode/KVH264.h"

using namespace h264test;

namespace {

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

}  // namespace

// Every picture of both recordings comes out once, with the times its own sample had.
TEST(DecoderGraph, PlaysAPairFromTheSourceFilter)
{
    const std::string front = "single/pair/REC_2026_05_14_08_30_00_F.mp4";
    const std::string rear = "single/pair/REC_2026_05_14_08_30_00_R.mp4";
    Clip clips[2];
    ASSERT_TRUE(LoadClip(front, &clips[0]) && LoadClip(rear, &clips[1]));
    const std::vector<Picture> references[2] = {ReferencePictures(clips[0]),
                                                ReferencePictures(clips[1])};

    ComPtr<IBaseFilter> source =
        FromLibrary("KVMP4DualSourceFilter.ax", CLSID_KVMP4DualSourceFilter);
    ComPtr<IBaseFilter> decoders[2] = {
        FromLibrary("KVH264DecodeFilter.ax", CLSID_KVH264DecodeFilter),
        FromLibrary("KVH264DecodeFilter.ax", CLSID_KVH264DecodeFilter)};
    ASSERT_TRUE(source && decoders[0] && decoders[1]);
    ComPtr<IFileSourceFilter> file;
    ASSERT_EQ(source.As(&file), S_OK);
    ASSERT_EQ(file->Load(platform::ToWindowsPath(FixturePath(front)).c_str(), nullptr), S_OK);

    dshowtest::CNullRenderer* renderers[2] = {new dshowtest::CNullRenderer(),
                                              new dshowtest::CNullRenderer()};
    FilterChain chain(
        {source.Get(), decoders[0].Get(), decoders[1].Get(), renderers[0], renderers[1]});
    // Pin 0 is "Front Video" and pin 2 "Rear Video" (the front audio lies between them).
    const wchar_t* ids[2] = {L"1", L"3"};
    for (int i = 0; i < 2; ++i) {
        renderers[i]->SetKeptBytes(size_t(clips[i].width) * clips[i].height * 2);
        ComPtr<IPin> video = FindPin(source.Get(), ids[i]);
        ASSERT_TRUE(video);
        ASSERT_EQ(chain.Connect(video.Get(), FindPin(decoders[i].Get(), L"In").Get()), S_OK);
        CMediaType uyvy = VideoInfoType(MEDIASUBTYPE_UYVY, clips[i].width, clips[i].height, 16,
                                        MAKEFOURCC('U', 'Y', 'V', 'Y'));
        ASSERT_EQ(chain.Connect(FindPin(decoders[i].Get(), L"Out").Get(), renderers[i]->InputPin(),
                                &uyvy),
                  S_OK);
    }
    ASSERT_EQ(chain.Run(), S_OK);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "front" : "rear");
        ASSERT_TRUE(renderers[i]->WaitForEndOfStream());
        const auto records = renderers[i]->Samples();
        std::vector<size_t> samples;
        for (const auto& record : records) {
            const Picture* picture =
                FindPicture(references[i], HashBytes(record.data.data(), record.data.size()));
            ASSERT_NE(picture, nullptr);
            EXPECT_EQ(record.start, picture->start);
            EXPECT_EQ(record.stop, picture->start + clips[i].frameDuration);
            samples.push_back(picture->sample);
        }
        EXPECT_EQ(samples, Range(0, clips[i].samples.size()));
    }
    EXPECT_EQ(chain.Stop(), S_OK);
}
