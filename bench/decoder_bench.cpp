// Decoding and converting a 1080p30 60-second front/rear pair as the viewer's graph does it:
// the dual source filter, one decoder filter per video pin, each into a renderer that takes
// every picture at once (no clock) in UYVY, all made from the libraries in the program's
// folder; against the ffmpeg program decoding both files into UYVY with the same thread count
// and type for each of them in one run. Prints the ratio of ffmpeg's time to ours (the goal is at least 0.9).
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "RecordingInputs.h"
#include "filters/dualsource/KVMP4DualSourceInfo.h"
#include "filters/h264decode/KVH264.h"
#include "filters/h264decode/VideoDecoder.h"
#include "platform/dshow/streams.h"
#include "platform/kernel.h"

namespace {

const bench::Pair& Inputs()
{
    static const bench::Pair pair = bench::RecordingPair(1920, 1080, 60, 30);
    return pair;
}

DEFINE_GUID(CLSID_BenchSink, 0x7A2C5E91, 0x4D38, 0x4B6F, 0x9E, 0x07, 0x31, 0xC8, 0x5B, 0x2D, 0xA4,
            0x6E);

// A renderer without a clock: takes each picture at once and tells when the stream ended.
class Sink : public CBaseFilter {
public:
    Sink() : CBaseFilter(nullptr, nullptr, &m_lock, CLSID_BenchSink), m_pin(this) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }
    IPin* Input() { return &m_pin; }

    void WaitForEnd()
    {
        std::unique_lock<std::mutex> guard(m_endLock);
        m_ended.wait(guard, [&] { return m_end; });
    }
    long Pictures() const { return m_pin.m_pictures; }

private:
    class Pin : public CBaseInputPin {
    public:
        explicit Pin(Sink* sink)
            : CBaseInputPin(nullptr, sink, &sink->m_lock, nullptr, L"In"), m_sink(sink)
        {
        }
        // UYVY only, what the ffmpeg side converts to, so that both sides do the same work.
        HRESULT CheckMediaType(const CMediaType* type) override
        {
            return IsEqualGUID(type->majortype, MEDIATYPE_Video) &&
                           IsEqualGUID(type->subtype, MEDIASUBTYPE_UYVY)
                       ? S_OK
                       : S_FALSE;
        }
        HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override
        {
            HRESULT hr = CBaseInputPin::Receive(sample);
            if (hr == S_OK)
                ++m_pictures;
            return hr;
        }
        HRESULT STDMETHODCALLTYPE EndOfStream() override
        {
            {
                std::lock_guard<std::mutex> guard(m_sink->m_endLock);
                m_sink->m_end = true;
            }
            m_sink->m_ended.notify_all();
            return S_OK;
        }
        std::atomic<long> m_pictures{0};
        Sink* m_sink;
    };

    CCritSec m_lock;
    Pin m_pin;
    std::mutex m_endLock;
    std::condition_variable m_ended;
    bool m_end = false;  // guarded by m_endLock
};

// A filter made from a library in the program's folder, as the viewer makes it when its class
// is not registered.
ComPtr<IBaseFilter> FromLibrary(const char* file, REFCLSID clsid)
{
    typedef HRESULT(STDAPICALLTYPE * GetClassObject)(REFCLSID, REFIID, LPVOID*);
    const std::string path = (bench::BuildDir() / "bin" / file).string();
    HMODULE module = LoadLibraryW(platform::ToWindowsPath(path).c_str());
    if (!module)
        return nullptr;
    auto get = reinterpret_cast<GetClassObject>(GetProcAddress(module, "DllGetClassObject"));
    ComPtr<IClassFactory> factory;
    ComPtr<IBaseFilter> filter;
    if (!get || FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)))) {
        return nullptr;
    }
    return filter;
}

ComPtr<IPin> PinNamed(IBaseFilter* filter, const wchar_t* name)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return nullptr;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> held;
        held.Attach(pin);
        PIN_INFO info = {};
        if (SUCCEEDED(held->QueryPinInfo(&info))) {
            if (info.pFilter)
                info.pFilter->Release();
            if (std::wstring(info.achName) == name)
                return held;
        }
    }
    return nullptr;
}

void BM_SourceAndTwoDecoders(benchmark::State& state)
{
    const bench::Pair& pair = Inputs();
    long pictures = 0;
    for (auto _ : state) {
        ComPtr<IBaseFilter> source =
            FromLibrary("KVMP4DualSourceFilter.ax", CLSID_KVMP4DualSourceFilter);
        ComPtr<IBaseFilter> decoders[2] = {
            FromLibrary("KVH264DecodeFilter.ax", CLSID_KVH264DecodeFilter),
            FromLibrary("KVH264DecodeFilter.ax", CLSID_KVH264DecodeFilter)};
        ComPtr<IFileSourceFilter> file;
        if (!source || !decoders[0] || !decoders[1] || FAILED(source.As(&file)) ||
            FAILED(file->Load(platform::ToWindowsPath(pair.front).c_str(), nullptr))) {
            state.SkipWithError("the filter libraries do not make the graph");
            return;
        }
        Sink* sinks[2] = {new Sink(), new Sink()};
        ComPtr<IBaseFilter> sinkFilters[2] = {ComPtr<IBaseFilter>(sinks[0]),
                                              ComPtr<IBaseFilter>(sinks[1])};
        const wchar_t* names[2] = {L"Front Video", L"Rear Video"};
        std::vector<std::pair<ComPtr<IPin>, ComPtr<IPin>>> links;
        bool connected = true;
        for (int i = 0; i < 2; ++i) {
            ComPtr<IPin> video = PinNamed(source.Get(), names[i]);
            ComPtr<IPin> in;
            ComPtr<IPin> out;
            decoders[i]->FindPin(L"In", &in);
            decoders[i]->FindPin(L"Out", &out);
            connected = connected && video && in && out &&
                        video->Connect(in.Get(), nullptr) == S_OK &&
                        out->Connect(sinks[i]->Input(), nullptr) == S_OK;
            links.emplace_back(video, in);
            links.emplace_back(out, ComPtr<IPin>(sinks[i]->Input()));
        }
        if (!connected) {
            state.SkipWithError("the pins do not connect");
            return;
        }
        // Renderers first, the source last, as the graph changes states.
        for (int i = 0; i < 2; ++i)
            sinks[i]->Run(0);
        for (int i = 0; i < 2; ++i)
            decoders[i]->Run(0);
        source->Run(0);
        for (Sink* sink : sinks)
            sink->WaitForEnd();
        pictures = sinks[0]->Pictures() + sinks[1]->Pictures();
        for (int i = 0; i < 2; ++i)
            sinks[i]->Stop();
        for (int i = 0; i < 2; ++i)
            decoders[i]->Stop();
        source->Stop();
        for (auto& [out, in] : links) {
            if (out)
                out->Disconnect();
            if (in)
                in->Disconnect();
        }
    }
    state.counters["pictures"] = double(pictures);
}

void BM_FFmpegProgram(benchmark::State& state)
{
    const bench::Pair& pair = Inputs();
    // Options before an -i are that input's alone: each decoder gets them.
    const std::string threads =
        "-threads " + std::to_string(VideoDecoder::ThreadCount()) + " -thread_type slice";
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error " + threads +
                                " -i '" + pair.front + "' " + threads + " -i '" + pair.rear +
                                "' -map 0:v -map 1:v -pix_fmt uyvy422 -sws_flags fast_bilinear "
                                "-f null -";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
}

BENCHMARK(BM_SourceAndTwoDecoders)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FFmpegProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps each benchmark's time per iteration for the ratio printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv)
{
    Inputs();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.m_times;
    const char* ours = "BM_SourceAndTwoDecoders/iterations:3/real_time";
    const char* ffmpeg = "BM_FFmpegProgram/iterations:3/real_time";
    if (t.count(ours) && t.count(ffmpeg) && t[ours] > 0) {
        std::printf("decoding threads per decoder: %d\n", VideoDecoder::ThreadCount());
        std::printf("ratio ffmpeg / source + two decoders: %.2f (target >= 0.9)\n",
                    t[ffmpeg] / t[ours]);
    }
    benchmark::Shutdown();
    return 0;
}
