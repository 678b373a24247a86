// The system renderers playing a 1080p30 60-second front/rear pair (the camera's bit rate)
// through the dual source filter, two H.264 decoders and two windowless video renderers
// painting into a 960x540 and a 320x180 window, the sound on the null device:
//   - at 4x: the share of the pictures presented (goal at least 95 %);
//   - at 1x: CPU seconds per played second against two ffplay processes playing the front and
//     the rear file scaled to the same sizes (SDL's dummy video and audio drivers), as a ratio
//     (goal at most 1.0);
//   - at 1x: each presented picture's time against the sound clock, median and worst offset
//     (goals 33 ms and under 100 ms);
//   - SetPositions while playing to the first picture of the new position in both windows
//     (goal: median under 100 ms).
// Run it with PLATFORM_PRESENTER=headless (set here when missing).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "RecordingInputs.h"
#include "RendererStats.h"
#include "filters/dualsource/KVMP4DualSourceInfo.h"
#include "filters/h264decode/KVH264.h"
#include "platform/dshow/streams.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/user.h"

namespace {

constexpr LONGLONG kUnits = 10000000;
constexpr int kWidths[2] = {960, 320};
constexpr int kHeights[2] = {540, 180};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

ComPtr<IBaseFilter> FromLibrary(const char* file, REFCLSID clsid)
{
    typedef HRESULT(STDAPICALLTYPE * GetClassObject)(REFCLSID, REFIID, LPVOID*);
    const std::wstring path = platform::ToWindowsPath((bench::BuildDir() / "bin" / file).string());
    HMODULE module = LoadLibraryW(path.c_str());
    auto get = module ? reinterpret_cast<GetClassObject>(GetProcAddress(module, "DllGetClassObject"))
                      : nullptr;
    ComPtr<IClassFactory> factory;
    ComPtr<IBaseFilter> filter;
    if (!get || FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter))))
        return nullptr;
    return filter;
}

template <class T>
ComPtr<T> Make(REFCLSID clsid)
{
    ComPtr<T> object;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    return object;
}

// A pin by its identifier, else by its name.
ComPtr<IPin> FindPin(IBaseFilter* filter, const wchar_t* id)
{
    ComPtr<IPin> pin;
    if (!filter)
        return nullptr;
    if (SUCCEEDED(filter->FindPin(id, &pin)) && pin)
        return pin;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter)
                info.pFilter->Release();
            if (std::wstring(info.achName) == id)
                return pin;
        }
    }
    return nullptr;
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    ComPtr<IEnumPins> pins;
    ComPtr<IPin> pin;
    if (!filter || FAILED(filter->EnumPins(&pins)))
        return nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction)
            return pin;
    }
    return nullptr;
}

KvRendererCounts Counts(IUnknown* renderer)
{
    KvRendererCounts counts{};
    ComPtr<IKvRendererStats> stats;
    if (renderer && SUCCEEDED(renderer->QueryInterface(IID_PPV_ARGS(&stats))))
        stats->GetCounts(&counts);
    return counts;
}

std::vector<KvPresentation> Presentations(IUnknown* renderer)
{
    std::vector<KvPresentation> all(8192);
    ULONG count = 0;
    ComPtr<IKvRendererStats> stats;
    if (renderer && SUCCEEDED(renderer->QueryInterface(IID_PPV_ARGS(&stats))))
        stats->GetPresentations(all.data(), ULONG(all.size()), &count);
    all.resize(count);
    return all;
}

void ResetStats(IUnknown* renderer)
{
    ComPtr<IKvRendererStats> stats;
    if (renderer && SUCCEEDED(renderer->QueryInterface(IID_PPV_ARGS(&stats))))
        stats->Reset();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The viewer's graph on the pair, pictures into two windows.
struct Graph {
    explicit Graph(const bench::Pair& pair)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = L"KvRendererBenchWindow";
        RegisterClassW(&wc);
        graph = Make<IGraphBuilder>(CLSID_FilterGraph);
        source = FromLibrary("KVMP4DualSourceFilter.ax", CLSID_KVMP4DualSourceFilter);
        sound = Make<IBaseFilter>(CLSID_DSoundRender);
        if (!graph || !source || !sound) {
            std::fprintf(stderr, "cannot make the graph, the source or the sound renderer\n");
            return;
        }
        graph.As(&control);
        graph.As(&seeking);
        graph.As(&events);
        graph->AddFilter(source.Get(), L"Source");
        graph->AddFilter(sound.Get(), L"Audio Renderer");
        ComPtr<IFileSourceFilter> load;
        source.As(&load);
        if (FAILED(load->Load(platform::ToWindowsPath(pair.front).c_str(), nullptr))) {
            std::fprintf(stderr, "cannot open %s\n", pair.front.c_str());
            return;
        }
        if (FAILED(graph->Connect(FindPin(source.Get(), L"Front Audio").Get(),
                                  FirstPin(sound.Get(), PINDIR_INPUT).Get()))) {
            std::fprintf(stderr, "cannot connect the sound\n");
            return;
        }
        const wchar_t* videoPins[2] = {L"Front Video", L"Rear Video"};
        for (int i = 0; i < 2; ++i) {
            windows[i] = CreateWindowExW(0, L"KvRendererBenchWindow", L"", WS_POPUP | WS_VISIBLE,
                                         0, 0, kWidths[i], kHeights[i], nullptr, nullptr,
                                         nullptr, nullptr);
            decoders[i] = FromLibrary("KVH264DecodeFilter.ax", CLSID_KVH264DecodeFilter);
            videos[i] = Make<IBaseFilter>(CLSID_VideoMixingRenderer9);
            if (!decoders[i] || !videos[i]) {
                std::fprintf(stderr, "cannot make decoder or renderer %d\n", i);
                return;
            }
            graph->AddFilter(decoders[i].Get(), i ? L"KV Video Decoder Sub" : L"KV Video Decoder Main");
            graph->AddFilter(videos[i].Get(), i ? L"Renderer Sub" : L"Renderer Main");
            ComPtr<IVMRFilterConfig9> config;
            videos[i].As(&config);
            config->SetRenderingMode(VMR9Mode_Windowless);
            ComPtr<IVMRWindowlessControl9> windowless;
            videos[i].As(&windowless);
            windowless->SetVideoClippingWindow(windows[i]);
            RECT client{0, 0, kWidths[i], kHeights[i]};
            windowless->SetVideoPosition(nullptr, &client);
            if (FAILED(graph->Connect(FindPin(source.Get(), videoPins[i]).Get(),
                                      FindPin(decoders[i].Get(), L"In").Get())) ||
                FAILED(graph->Connect(FindPin(decoders[i].Get(), L"Out").Get(),
                                      FirstPin(videos[i].Get(), PINDIR_INPUT).Get()))) {
                std::fprintf(stderr, "cannot connect video chain %d\n", i);
                return;
            }
        }
        ok = true;
    }
    ~Graph()
    {
        if (control)
            control->Stop();
        control = nullptr;
        seeking = nullptr;
        events = nullptr;
        graph = nullptr;
        for (HWND w : windows)
            if (w)
                DestroyWindow(w);
    }
    bool WaitForComplete(double seconds)
    {
        const double end = Now() + seconds;
        while (Now() < end) {
            LONG code = 0;
            LONG_PTR a = 0;
            LONG_PTR b = 0;
            if (events->GetEvent(&code, &a, &b, 50) == S_OK) {
                events->FreeEventParams(code, a, b);
                if (code == EC_COMPLETE)
                    return true;
            }
        }
        return false;
    }
    void ResetAll()
    {
        for (auto& v : videos)
            ResetStats(v.Get());
        ResetStats(sound.Get());
    }

    bool ok = false;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IMediaEvent> events;
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> sound;
    ComPtr<IBaseFilter> decoders[2];
    ComPtr<IBaseFilter> videos[2];
    HWND windows[2] = {};
};

struct World {
    World()
    {
        setenv("PLATFORM_PRESENTER", "headless", 0);
        setenv("PLATFORM_AUDIO", "null", 1);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    }
};

bench::Pair Input()
{
    static World world;
    static const bench::Pair pair = bench::RecordingPair(1920, 1080, 60, 30);
    return pair;
}

// 4x from the start to the end: the share of the recordings' pictures presented.
void BM_FourTimesSpeed(benchmark::State& state)
{
    const bench::Pair pair = Input();
    for (auto _ : state) {
        Graph g(pair);
        if (!g.ok) {
            state.SkipWithError("cannot build the graph");
            return;
        }
        g.seeking->SetRate(4.0);
        g.control->Run();
        const bool ended = g.WaitForComplete(60);
        LONG presented = 0;
        LONG received = 0;
        for (auto& v : g.videos) {
            const KvRendererCounts c = Counts(v.Get());
            presented += c.presented;
            received += c.received;
        }
        const double share = 100.0 * presented / (2 * 60 * 30);
        state.counters["presented_%"] = share;
        state.counters["received"] = received;
        std::printf("4x playback: %.1f %% of the %d pictures presented (%d received)%s; goal >= 95 %%\n",
                    share, 2 * 60 * 30, int(received), ended ? "" : ", no end within 60 s");
    }
}
BENCHMARK(BM_FourTimesSpeed)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// ffplay's CPU seconds for `seconds` of both files at the windows' sizes, run side by side.
double FfplayCpu(const bench::Pair& pair, int seconds)
{
    const std::string files[2] = {pair.front, pair.rear};
    pid_t children[2] = {};
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        if (children[i] == 0) {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            const std::string t = std::to_string(seconds);
            const std::string x = std::to_string(kWidths[i]);
            const std::string y = std::to_string(kHeights[i]);
            execlp("ffplay", "ffplay", "-v", "quiet", "-autoexit", "-t", t.c_str(), "-x",
                   x.c_str(), "-y", y.c_str(), files[i].c_str(), nullptr);
            _exit(127);
        }
    }
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
    }
    return CpuSeconds(RUSAGE_CHILDREN) - before;
}

// 1x: CPU against ffplay, and the pictures against the sound clock.
void BM_NormalSpeed(benchmark::State& state)
{
    const bench::Pair pair = Input();
    constexpr int kSeconds = 20;
    for (auto _ : state) {
        Graph g(pair);
        if (!g.ok) {
            state.SkipWithError("cannot build the graph");
            return;
        }
        g.control->Run();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        g.ResetAll();
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        const double wall0 = Now();
        std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
        const double ours = (CpuSeconds(RUSAGE_SELF) - cpu0) / (Now() - wall0);
        std::vector<double> offsets;
        for (auto& v : g.videos)
            for (const KvPresentation& p : Presentations(v.Get()))
                offsets.push_back(std::abs(double(p.clockTime - p.sampleStart)) / 10000.0);
        g.control->Stop();
        const double theirs = FfplayCpu(pair, kSeconds) / kSeconds;
        const double worst = offsets.empty() ? NAN : *std::max_element(offsets.begin(), offsets.end());
        state.counters["cpu_ratio"] = ours / theirs;
        state.counters["offset_median_ms"] = Median(offsets);
        state.counters["offset_worst_ms"] = worst;
        std::printf("1x playback: %.3f CPU s per played s, two ffplay %.3f: ratio %.2f (goal <= 1.0)\n",
                    ours, theirs, ours / theirs);
        std::printf("picture vs sound clock over %zu pictures: median %.1f ms (goal <= 33), worst "
                    "%.1f ms (goal < 100)\n",
                    offsets.size(), Median(offsets), worst);
    }
}
BENCHMARK(BM_NormalSpeed)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// SetPositions while playing to the first picture of the new position in both windows.
void BM_SeekWhilePlaying(benchmark::State& state)
{
    const bench::Pair pair = Input();
    for (auto _ : state) {
        Graph g(pair);
        if (!g.ok) {
            state.SkipWithError("cannot build the graph");
            return;
        }
        g.control->Run();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::vector<double> delays;
        const int targets[] = {30, 10, 45, 5, 50, 20, 40, 15, 35, 25, 55, 12};
        for (int target : targets) {
            g.ResetAll();
            LONGLONG position = LONGLONG(target) * kUnits;
            const double asked = Now();
            g.seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning);
            // The new position's pictures start at stream time 0.
            auto shown = [&] {
                for (auto& v : g.videos) {
                    const auto all = Presentations(v.Get());
                    if (std::none_of(all.begin(), all.end(), [](const KvPresentation& p) {
                            return p.sampleStart >= 0 && p.sampleStart < kUnits / 2;
                        }))
                        return false;
                }
                return true;
            };
            while (!shown() && Now() - asked < 5)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            delays.push_back((Now() - asked) * 1000);
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
        }
        const double median = Median(delays);
        state.counters["seek_median_ms"] = median;
        std::printf("SetPositions while playing to the new position's first picture in both "
                    "windows: median %.1f ms over %zu seeks, worst %.1f ms (goal: median < 100)\n",
                    median, delays.size(), *std::max_element(delays.begin(), delays.end()));
    }
}
BENCHMARK(BM_SeekWhilePlaying)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
