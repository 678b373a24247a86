// The dual source filter in a filter graph, against its reading cores alone.
//
// Streaming: a 1080p30 60-second front/rear pair played from KVMP4DualSourceFilter.ax through
// the graph into four null renderers (counting renderers of this program, which take each
// sample at once), with no clock, so that the graph runs as fast as the filter delivers;
// against two reading cores opened on the same files with a thread per track pulling samples
// into buffers of the ports' sizes, as the pins pull them. Only the streaming is timed, not the
// opening. Prints the ratio of the cores' time to the graph's (the goal: at least 0.95).
//
// Seeking: the same pair playing in the graph, its renderers holding their buffers so that the
// stream stands still wherever it is; the time from IMediaSeeking::SetPositions on the graph to
// the first sample of the new position at both video renderers, over seeks spread across the
// recording. Prints the median (the goal: under 30 ms).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KVMP4DualSourceInfo.h"
#include "RecordingInputs.h"
#include "filtercore/KVMP4SourceCore.h"
#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/dshow/streams.h"

using namespace FilterCore;

namespace {

constexpr LONGLONG kSecond = 10000000;

const bench::Pair& Inputs()
{
    static const bench::Pair pair = bench::RecordingPair(1920, 1080, 60, 30);
    return pair;
}

// ---------------------------------------------------------------------------------------------
// The cores alone

int64_t PullTrack(KVMP4SourceCore& core, int type)
{
    int port = type == CORE_TRACK_VIDEO || core.TrackCount(CORE_TRACK_VIDEO) == 0 ? 0 : 1;
    int reserved = 0, count = 0, size = 0;
    core.GetProperties()->GetOutputPort(port)->GetAllocator(&reserved, &count, &size);
    std::vector<BYTE> buffer(size);
    int64_t bytes = 0;
    for (;;) {
        CoreSample sample;
        sample.Lend(buffer.data(), size);
        bool ok =
            type == CORE_TRACK_VIDEO ? core.GetVideoSample(&sample) : core.GetAudioSample(&sample);
        if (!ok)
            break;
        bytes += sample.m_length;
    }
    return bytes;
}

// Times the pulling only: both cores are open, their tracks enabled, before the clock starts.
void BM_Cores(benchmark::State& state)
{
    const bench::Pair& pair = Inputs();
    for (auto _ : state) {
        KVMP4SourceCore cores[2];
        for (int i = 0; i < 2; ++i) {
            KVMP4SourceCore& core = cores[i];
            if (!core.Open(platform::ToWindowsPath(i == 0 ? pair.front : pair.rear))) {
                state.SkipWithError("a benchmark input does not open");
                return;
            }
            core.EnableStream(core.GetVideoTrack().streamIndex);
            if (core.TrackCount(CORE_TRACK_AUDIO))
                core.EnableStream(core.GetAudioTrack().streamIndex);
        }
        auto begin = std::chrono::steady_clock::now();
        std::vector<std::thread> pins;
        int64_t bytes[4] = {};
        for (int i = 0; i < 2; ++i) {
            KVMP4SourceCore& core = cores[i];
            core.ResumeReading();
            pins.emplace_back(
                [&core, &bytes, i] { bytes[2 * i] = PullTrack(core, CORE_TRACK_VIDEO); });
            if (core.TrackCount(CORE_TRACK_AUDIO)) {
                pins.emplace_back(
                    [&core, &bytes, i] { bytes[2 * i + 1] = PullTrack(core, CORE_TRACK_AUDIO); });
            }
        }
        for (std::thread& pin : pins)
            pin.join();
        auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        for (KVMP4SourceCore& core : cores)
            core.HaltReading();
        benchmark::DoNotOptimize(bytes);
    }
}

// ---------------------------------------------------------------------------------------------
// A null renderer: counts what it receives, and can keep the samples (holding the sender's
// buffers, so that the sender stands still) until a flush or a stop.

DEFINE_GUID(CLSID_CountingRenderer, 0x3F1C9A52, 0x7D20, 0x4B6E, 0x8A, 0x31, 0x5C, 0x90, 0xE4, 0x27,
            0xB1, 0x6D);

class CCountingRenderer;

class CCountingPin final : public CBaseInputPin {
public:
    CCountingPin(CCountingRenderer* renderer, CCritSec* lock, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;

private:
    CCountingRenderer* m_renderer;
};

class CCountingRenderer final : public CBaseFilter {
public:
    explicit CCountingRenderer(bool keep)
        : CBaseFilter(NAME("Counting renderer"), nullptr, &m_stateLock, CLSID_CountingRenderer),
          m_pin(this, &m_stateLock, nullptr),
          m_keep(keep)
    {
    }
    ~CCountingRenderer() override
    {
        ReleaseKept();
        if (m_position)
            m_position->NonDelegatingRelease();
    }

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IMediaSeeking) || IsEqualIID(iid, IID_IMediaPosition)) {
            CAutoLock lock(&m_stateLock);
            if (!m_position) {
                HRESULT hr = S_OK;
                m_position = new CPosPassThru(NAME("Seeking"), GetOwner(), &hr, &m_pin);
                m_position->NonDelegatingAddRef();
            }
            return m_position->NonDelegatingQueryInterface(iid, object);
        }
        return CBaseFilter::NonDelegatingQueryInterface(iid, object);
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }
    HRESULT STDMETHODCALLTYPE Stop() override
    {
        HRESULT hr = CBaseFilter::Stop();
        ReleaseKept();
        return hr;
    }
    IPin* InputPin() { return &m_pin; }

    void OnSample(IMediaSample* sample)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_samples;
        if (m_keep) {
            sample->AddRef();
            m_kept.push_back(sample);
        }
        if (m_samples >= m_wanted)
            m_changed.notify_all();
    }
    void OnEnd()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_ends;
        m_changed.notify_all();
    }
    void ReleaseKept()
    {
        std::vector<IMediaSample*> kept;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            kept.swap(m_kept);
        }
        for (IMediaSample* sample : kept)
            sample->Release();
    }
    size_t Samples()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_samples;
    }
    bool WaitForSamples(size_t count, int milliseconds)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_wanted = count;
        return m_changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                  [&] { return m_samples >= count; });
    }
    bool WaitForEnd(int milliseconds)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                  [&] { return m_ends > 0; });
    }

private:
    CCritSec m_stateLock;
    CCountingPin m_pin;
    CPosPassThru* m_position = nullptr;  // one reference
    const bool m_keep;
    std::mutex m_lock;
    std::condition_variable m_changed;
    size_t m_samples = 0;               // guarded by m_lock
    size_t m_wanted = SIZE_MAX;         // guarded by m_lock
    int m_ends = 0;                     // guarded by m_lock
    std::vector<IMediaSample*> m_kept;  // guarded by m_lock; one reference each
};

CCountingPin::CCountingPin(CCountingRenderer* renderer, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(NAME("Counting renderer input"), renderer, lock, phr, L"Input"),
      m_renderer(renderer)
{
}

HRESULT STDMETHODCALLTYPE CCountingPin::Receive(IMediaSample* sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr == S_OK)
        m_renderer->OnSample(sample);
    return hr;
}

HRESULT STDMETHODCALLTYPE CCountingPin::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr == S_OK)
        m_renderer->OnEnd();
    return hr;
}

HRESULT STDMETHODCALLTYPE CCountingPin::BeginFlush()
{
    HRESULT hr = CBaseInputPin::BeginFlush();
    m_renderer->ReleaseKept();
    return hr;
}

// ---------------------------------------------------------------------------------------------
// The filter in a graph

HMODULE FilterLibrary()
{
    static HMODULE module = LoadLibraryW(
        platform::ToWindowsPath((bench::BuildDir() / "bin" / "KVMP4DualSourceFilter.ax").string())
            .c_str());
    return module;
}

template <class T>
ComPtr<T> Query(IUnknown* object)
{
    ComPtr<T> result;
    if (object)
        object->QueryInterface(IID_PPV_ARGS(&result));
    return result;
}

// The pair loaded into the filter, its pins connected to null renderers in a graph without a
// clock. Stopped and taken apart when it goes.
class Playback {
public:
    explicit Playback(bool keepSamples)
    {
        auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
            GetProcAddress(FilterLibrary(), "DllGetClassObject"));
        ComPtr<IClassFactory> factory;
        if (!getClassObject ||
            FAILED(getClassObject(CLSID_KVMP4DualSourceFilter, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory))) ||
            FAILED(factory->CreateInstance(nullptr, IID_IBaseFilter,
                                           reinterpret_cast<void**>(&m_source))) ||
            FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IGraphBuilder, reinterpret_cast<void**>(&m_graph)))) {
            return;
        }
        const std::wstring front = platform::ToWindowsPath(Inputs().front);
        if (FAILED(Query<IFileSourceFilter>(m_source.Get())->Load(front.c_str(), nullptr)) ||
            FAILED(m_graph->AddFilter(m_source.Get(), L"DirectShow KV MP4 Dual Source"))) {
            return;
        }
        ComPtr<IEnumPins> pins;
        m_source->EnumPins(&pins);
        IPin* pin = nullptr;
        while (pins && pins->Next(1, &pin, nullptr) == S_OK) {
            ComPtr<IPin> output;
            output.Attach(pin);
            auto* renderer = new CCountingRenderer(keepSamples);
            renderer->NonDelegatingAddRef();
            m_renderers.push_back(renderer);
            if (FAILED(m_graph->AddFilter(renderer, L"Renderer")) ||
                FAILED(m_graph->Connect(output.Get(), renderer->InputPin()))) {
                return;
            }
        }
        Query<IMediaFilter>(m_graph.Get())->SetSyncSource(nullptr);
        m_control = Query<IMediaControl>(m_graph.Get());
        m_seeking = Query<IMediaSeeking>(m_graph.Get());
        m_ready = m_renderers.size() == 4 && m_control && m_seeking;
    }
    ~Playback()
    {
        if (m_control)
            m_control->Stop();
        for (CCountingRenderer* renderer : m_renderers) {
            m_graph->RemoveFilter(renderer);
            renderer->NonDelegatingRelease();
        }
        if (m_graph && m_source)
            m_graph->RemoveFilter(m_source.Get());
    }
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    bool Ready() const { return m_ready; }
    IMediaControl* Control() { return m_control.Get(); }
    IMediaSeeking* Seeking() { return m_seeking.Get(); }
    CCountingRenderer* Renderer(size_t i) { return m_renderers[i]; }
    size_t Renderers() const { return m_renderers.size(); }

private:
    ComPtr<IBaseFilter> m_source;
    ComPtr<IGraphBuilder> m_graph;
    std::vector<CCountingRenderer*> m_renderers;  // one reference each
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaSeeking> m_seeking;
    bool m_ready = false;
};

// Times the streaming only: the graph is built and the pair loaded before the clock starts;
// it stops when every renderer has its end of stream.
void BM_SourceGraph(benchmark::State& state)
{
    for (auto _ : state) {
        Playback playback(false);
        if (!playback.Ready()) {
            state.SkipWithError("the graph could not be built");
            return;
        }
        auto begin = std::chrono::steady_clock::now();
        playback.Control()->Run();
        for (size_t i = 0; i < playback.Renderers(); ++i) {
            if (!playback.Renderer(i)->WaitForEnd(600000)) {
                state.SkipWithError("a stream did not end");
                return;
            }
        }
        auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    }
}

// Seek latency, in milliseconds per seek, kept for the median printed at the end.
std::vector<double> g_seekMilliseconds;

void BM_SeekLatency(benchmark::State& state)
{
    Playback playback(true);
    if (!playback.Ready()) {
        state.SkipWithError("the graph could not be built");
        return;
    }
    playback.Control()->Run();
    CCountingRenderer* video[2] = {playback.Renderer(0), playback.Renderer(2)};
    for (CCountingRenderer* renderer : video)
        renderer->WaitForSamples(1, 10000);
    int seek = 0;
    for (auto _ : state) {
        // Positions spread over the recording, away from its end.
        LONGLONG position = (LONGLONG(seek++) * 7300000000LL / 10) % (55 * kSecond) + kSecond / 3;
        size_t counts[2] = {video[0]->Samples(), video[1]->Samples()};
        auto begin = std::chrono::steady_clock::now();
        playback.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                         AM_SEEKING_NoPositioning);
        for (int i = 0; i < 2; ++i) {
            if (!video[i]->WaitForSamples(counts[i] + 1, 10000)) {
                state.SkipWithError("no sample after a seek");
                return;
            }
        }
        auto end = std::chrono::steady_clock::now();
        g_seekMilliseconds.push_back(
            std::chrono::duration<double, std::milli>(end - begin).count());
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    }
}

// The machines these run on are shared: the ratios are taken between the medians of repeated
// runs, and between their fastest runs, which other work on the machine slows least.
double Fastest(const std::vector<double>& times)
{
    return times.empty() ? 0 : *std::min_element(times.begin(), times.end());
}
BENCHMARK(BM_Cores)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(25)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_SourceGraph)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(25)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_SeekLatency)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);

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
    CoInitialize(nullptr);
    // The repetitions of the two streaming benchmarks take turns, so that a change in the
    // machine's load falls on both alike.
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = int(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.m_times;
    for (const char* statistic : {"median", "min"}) {
        const std::string cores = std::string("BM_Cores/repeats:25/manual_time_") + statistic;
        const std::string graph = std::string("BM_SourceGraph/repeats:25/manual_time_") + statistic;
        if (t.count(cores) && t.count(graph) && t[graph] > 0) {
            std::printf(
                "ratio two cores / source filter in the graph (%s): %.2f (target >= 0.95)\n",
                statistic, t[cores] / t[graph]);
        }
    }
    if (!g_seekMilliseconds.empty()) {
        std::vector<double> sorted = g_seekMilliseconds;
        std::sort(sorted.begin(), sorted.end());
        std::printf(
            "seek latency over %zu seeks: median %.2f ms, slowest %.2f ms (target: median "
            "< 30 ms)\n",
            sorted.size(), sorted[sorted.size() / 2], sorted.back());
    }
    benchmark::Shutdown();
    CoUninitialize();
    return 0;
}
