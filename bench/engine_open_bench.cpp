// The playback engine's start: from CVideoMgr::OnMovieOpen on a 1080p30 front/rear pair to the
// first picture painted in both video windows after Play, against the ffplay program showing
// the first picture of the front file (SDL's dummy video driver, no sound). Prints both
// medians and their ratio; the goal is a median under 150 ms. Run it with
// PLATFORM_PRESENTER=headless and PLATFORM_AUDIO=null (the sound goes to the null device).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "RecordingInputs.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/user.h"
#include "playback/FileAnalysis.h"
#include "playback/VideoMgr.h"

CRITICAL_SECTION g_csExtractText;

namespace {

// A window shows a picture once a pixel of its middle row is not black.
bool ShowsPicture(HWND window)
{
    std::vector<uint32_t> pixels;
    SIZE size = {};
    if (!platform::testing::ReadWindowPixels(window, &pixels, &size) || size.cy <= 0)
        return false;
    const uint32_t* row = pixels.data() + size_t(size.cy / 2) * size_t(size.cx);
    return std::any_of(row, row + size.cx, [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* engine = reinterpret_cast<CVideoMgr*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (engine && message == WM_VIDEO_GRAPHNOTIFY) {
        engine->HandleGraphEvent(lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct Setup {
    std::string home;
    bool ok = false;

    Setup()
    {
        InitializeCriticalSection(&g_csExtractText);
        char pattern[] = "/tmp/kv-engine-bench-XXXXXX";
        home = mkdtemp(pattern);
        platform::testing::SetHomeFolder(home);
        // The bench program's folder holds no filter library: the classes are registered.
        ok = true;
        for (const char* file : {"KVMP4DualSourceFilter.ax", "KVH264DecodeFilter.ax"}) {
            const std::wstring path =
                platform::ToWindowsPath((bench::BuildDir() / "bin" / file).string());
            HMODULE module = LoadLibraryW(path.c_str());
            auto doRegister = module ? reinterpret_cast<LPFNREGISTERSERVER>(
                                           GetProcAddress(module, "DllRegisterServer"))
                                     : nullptr;
            ok = ok && doRegister && SUCCEEDED(doRegister());
        }
    }
    ~Setup()
    {
        std::error_code error;
        std::filesystem::remove_all(home, error);
    }
};

void BM_EngineOpenToFirstPictures(benchmark::State& state)
{
    static Setup setup;
    if (!setup.ok) {
        state.SkipWithError("the filter libraries could not be registered");
        return;
    }
    const bench::Pair pair = bench::RecordingPair(1920, 1080, 10, 30);
    CVideoMgr engine;
    {
        ComPtr<IBaseFilter> renderer;
        if (FAILED(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&renderer)))) {
            state.SkipWithError("the layer has no video renderer");
            return;
        }
    }
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = OwnerProc;
    windowClass.lpszClassName = L"EngineBenchOwner";
    RegisterClassW(&windowClass);
    HWND owner = CreateWindowExW(0, L"EngineBenchOwner", L"owner", WS_POPUP | WS_VISIBLE, 0, 0,
                                 1280, 400, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&engine));
    HWND main = nullptr;
    HWND sub = nullptr;
    engine.SetOwnerWnd(owner);
    const std::wstring front = platform::ToWindowsPath(pair.front);

    for (auto _ : state) {
        // New (black) windows, so that the last run's pictures do not count.
        state.PauseTiming();
        engine.Close();
        if (main)
            DestroyWindow(main);
        if (sub)
            DestroyWindow(sub);
        main = CreateWindowExW(0, L"EngineBenchOwner", L"main", WS_CHILD | WS_VISIBLE, 0, 0,
                               640, 360, owner, nullptr, nullptr, nullptr);
        sub = CreateWindowExW(0, L"EngineBenchOwner", L"sub", WS_CHILD | WS_VISIBLE, 640, 0,
                              320, 180, owner, nullptr, nullptr, nullptr);
        engine.SetVideoWnd(main, sub);
        state.ResumeTiming();

        if (!engine.OnMovieOpen(front, FALSE, FALSE) || FAILED(engine.Play())) {
            state.SkipWithError("the pair did not open and play");
            break;
        }
        const DWORD start = GetTickCount();
        while (!(ShowsPicture(main) && ShowsPicture(sub))) {
            platform::testing::PumpMessages();
            if (GetTickCount() - start > 20000) {
                state.SkipWithError("no picture within 20 s");
                break;
            }
            Sleep(1);
        }
    }
    engine.Close();
    DestroyWindow(owner);
    platform::testing::PumpMessages();
}
BENCHMARK(BM_EngineOpenToFirstPictures)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(9);

// ffplay from its start to its first picture: a preloaded library ends it at the moment it
// presents the first picture it filled from a decoded frame (SDL's dummy video driver, no
// sound).
void BM_FFplayFirstPicture(benchmark::State& state)
{
    const bench::Pair pair = bench::RecordingPair(1920, 1080, 10, 30);
    const std::string command = "LD_PRELOAD='" KV_FFPLAY_PRELOAD
                                "' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 20 "
                                "ffplay -nostats -loglevel quiet -an '" +
                                pair.front + "' > /dev/null 2>&1";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffplay showed no picture");
            break;
        }
    }
}
BENCHMARK(BM_FFplayFirstPicture)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(9);

// Collects the medians to print them side by side at the end.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.aggregate_name == "median" && !run.error_occurred)
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.medians.find("BM_EngineOpenToFirstPictures");
    const auto ffplay = reporter.medians.find("BM_FFplayFirstPicture");
    if (ours != reporter.medians.end() && ffplay != reporter.medians.end() && ours->second > 0) {
        std::printf("open to first pictures in both windows: median %.1f ms (goal < 150 ms); "
                    "ffplay to its first picture: %.1f ms; ratio ffplay / engine %.2f\n",
                    ours->second, ffplay->second, ffplay->second / ours->second);
    }
    benchmark::Shutdown();
    return 0;
}
