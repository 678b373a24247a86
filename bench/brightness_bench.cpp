// The brightness filter on 1080p UYVY pictures, on one core: each picture is delivered to the
// filter's input pin on the benchmark's thread and the filter writes it into the renderer's
// buffer, as in a graph. Against a plain copy of the same bytes. Prints the gigabytes of
// picture per second (the goal is at least 1) and the ratio to the copy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "filters/brightness/kv_transform.h"
#include "platform/dshow/streams.h"

namespace {

constexpr LONG kWidth = 1920;
constexpr LONG kHeight = 1080;
constexpr LONG kPicture = kWidth * 2 * kHeight;

DEFINE_GUID(CLSID_BenchSource, 0x5E81B2C4, 0x9A07, 0x4F3D, 0xB6, 0x28, 0x0C, 0x7D, 0x93, 0xE1, 0x45,
            0xAF);
DEFINE_GUID(CLSID_BenchSink, 0x5E81B2C5, 0x9A07, 0x4F3D, 0xB6, 0x28, 0x0C, 0x7D, 0x93, 0xE1, 0x45,
            0xAF);

CMediaType UyvyType()
{
    VIDEOINFOHEADER info = {};
    info.rcSource = info.rcTarget = RECT{0, 0, kWidth, kHeight};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = MAKEFOURCC('U', 'Y', 'V', 'Y');
    info.bmiHeader.biSizeImage = kPicture;
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_UYVY);
    type.SetFormatType(&FORMAT_VideoInfo);
    type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
    type.SetSampleSize(kPicture);
    return type;
}

class Source : public CBaseFilter {
public:
    Source() : CBaseFilter(nullptr, nullptr, &m_lock, CLSID_BenchSource), m_pin(this, &m_lock) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }

    class Pin : public CBaseOutputPin {
    public:
        Pin(CBaseFilter* filter, CCritSec* lock)
            : CBaseOutputPin(nullptr, filter, lock, nullptr, L"Out")
        {
        }
        HRESULT CheckMediaType(const CMediaType* type) override
        {
            return *type == UyvyType() ? S_OK : S_FALSE;
        }
        HRESULT GetMediaType(int position, CMediaType* type) override
        {
            if (position < 0)
                return E_INVALIDARG;
            if (position > 0)
                return VFW_S_NO_MORE_ITEMS;
            *type = UyvyType();
            return S_OK;
        }
        HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
        {
            request->cBuffers = 1;
            request->cbBuffer = kPicture;
            request->cbAlign = 16;
            ALLOCATOR_PROPERTIES actual;
            return allocator->SetProperties(request, &actual);
        }
    };
    Pin m_pin;

private:
    CCritSec m_lock;
};

class Sink : public CBaseFilter {
public:
    Sink() : CBaseFilter(nullptr, nullptr, &m_lock, CLSID_BenchSink), m_pin(this, &m_lock) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }

    class Pin : public CBaseInputPin {
    public:
        Pin(CBaseFilter* filter, CCritSec* lock)
            : CBaseInputPin(nullptr, filter, lock, nullptr, L"In")
        {
        }
        HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    };
    Pin m_pin;

private:
    CCritSec m_lock;
};

void BM_BrightnessFilter(benchmark::State& state)
{
    HRESULT hr = S_OK;
    auto* filter = static_cast<Ckv_transform*>(Ckv_transform::CreateInstance(nullptr, &hr));
    ComPtr<IBaseFilter> transform(static_cast<IBaseFilter*>(filter));
    auto* source = new Source();
    ComPtr<IBaseFilter> sourceFilter(static_cast<IBaseFilter*>(source));
    auto* sink = new Sink();
    ComPtr<IBaseFilter> sinkFilter(static_cast<IBaseFilter*>(sink));
    IPin* in = static_cast<IPin*>(filter->GetPin(0));
    IPin* out = static_cast<IPin*>(filter->GetPin(1));
    if (source->m_pin.Connect(in, nullptr) != S_OK || out->Connect(&sink->m_pin, nullptr) != S_OK) {
        state.SkipWithError("the pins do not connect");
        return;
    }
    sink->Run(0);
    transform->Run(0);
    source->Run(0);

    std::vector<BYTE> picture(kPicture);
    for (LONG i = 0; i < kPicture; ++i)
        picture[size_t(i)] = BYTE(i * 7 + i / 3840);
    g_brightness = int32_t(state.range(0));
    // The source's allocator has one buffer: the picture is written into it once, so that the
    // filter reads the same bytes from the same place at every delivery, as the plain copy does,
    // and no write by the source warms the cache just before the filter runs.
    BYTE* filled = nullptr;
    for (auto _ : state) {
        IMediaSample* sample = nullptr;
        source->m_pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (data != filled) {
            state.PauseTiming();
            std::memcpy(data, picture.data(), picture.size());
            filled = data;
            state.ResumeTiming();
        }
        sample->SetActualDataLength(kPicture);
        source->m_pin.Deliver(sample);
        sample->Release();
    }
    g_brightness = 0;
    state.SetBytesProcessed(int64_t(state.iterations()) * kPicture);

    sink->Stop();
    transform->Stop();
    source->Stop();
    source->m_pin.Disconnect();
    in->Disconnect();
    out->Disconnect();
    sink->m_pin.Disconnect();
}

void BM_PlainCopy(benchmark::State& state)
{
    std::vector<BYTE> from(kPicture, 0x55);
    std::vector<BYTE> to(kPicture);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kPicture);
}

BENCHMARK(BM_BrightnessFilter)->Arg(0)->Arg(40)->Arg(-40)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMicrosecond);

class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end())
                m_rates[run.benchmark_name()] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double copy = reporter.m_rates["BM_PlainCopy"];
    for (const char* name :
         {"BM_BrightnessFilter/0", "BM_BrightnessFilter/40", "BM_BrightnessFilter/-40"}) {
        auto rate = reporter.m_rates.find(name);
        if (rate == reporter.m_rates.end())
            continue;
        std::printf("%-24s %.2f GB/s of 1080p UYVY: ratio to 1 GB/s %.2f, to a plain copy %.2f\n",
                    name, rate->second / 1e9, rate->second / 1e9,
                    copy > 0 ? rate->second / copy : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
