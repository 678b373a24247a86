// The playback engine's start: from CVideoMgr::OnMovieOpen on a 1080p30 front/rear pair to the
// first picture painted in both video windows after Play, against plain FFmpeg decoding both
// files to their first picture with the decoder filter's settings, and against the ffplay
// program showing the first picture of the front file (SDL's dummy video driver, no sound).
// Prints the medians and their ratios; the goal is a median under 150 ms. The engine and the
// plain decoders each run one untimed round first; ffplay is a new process every time. Run it with
// PLATFORM_PRESENTER=headless and PLATFORM_AUDIO=null (the sound goes to the null device).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "RecordingInputs.h"
#include "filters/h264decode/VideoDecoder.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/user.h"
#include "playback/FileAnalysis.h"
#include "playback/VideoMgr.h"

CRITICAL_SECTION g_csExtractText;

namespace {

struct Picture {
    std::vector<uint32_t> pixels;
    SIZE size = {};
    bool operator!=(const Picture& other) const { return pixels != other.pixels; }
};

Picture WindowPixels(HWND window)
{
    Picture picture;
    if (!platform::testing::ReadWindowPixels(window, &picture.pixels, &picture.size))
        picture = Picture{};
    return picture;
}

// A window shows a picture once a pixel of its middle row is not black.
bool ShowsPicture(const Picture& picture)
{
    const size_t width = size_t(std::max<LONG>(picture.size.cx, 0));
    const size_t height = size_t(std::max<LONG>(picture.size.cy, 0));
    if (width == 0 || height == 0 || picture.pixels.size() < width * height)
        return false;
    const uint32_t* row = picture.pixels.data() + height / 2 * width;
    return std::any_of(row, row + width, [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

// The renderers are kept from one recording to the next and paint their last picture into the
// windows as the new recording opens: the new recording's first picture is the first one that
// differs from what the window showed when Play was called.
bool ShowsNewPicture(HWND window, const Picture& atPlay)
{
    const Picture now = WindowPixels(window);
    return ShowsPicture(now) && now != atPlay;
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

    // New (black) windows, so that the last run's pictures do not count.
    auto freshWindows = [&] {
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
    };
    auto playToPictures = [&]() -> const char* {
        if (!engine.OnMovieOpen(front, FALSE, FALSE))
            return "the pair did not open";
        platform::testing::PumpMessages();
        const Picture mainAtPlay = WindowPixels(main);
        const Picture subAtPlay = WindowPixels(sub);
        if (FAILED(engine.Play()))
            return "the pair did not play";
        const DWORD start = GetTickCount();
        while (!(ShowsNewPicture(main, mainAtPlay) && ShowsNewPicture(sub, subAtPlay))) {
            platform::testing::PumpMessages();
            if (GetTickCount() - start > 20000)
                return "no picture within 20 s";
            Sleep(1);
        }
        return nullptr;
    };

    // One untimed round first, as for the plain decoders below: the first decoders of a
    // process pay for memory that later ones find already mapped.
    freshWindows();
    const char* failure = playToPictures();
    for (auto _ : state) {
        if (failure)
            break;
        state.PauseTiming();
        freshWindows();
        state.ResumeTiming();
        failure = playToPictures();
    }
    if (failure)
        state.SkipWithError(failure);
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

// Plain FFmpeg doing the least the engine must: each file of the pair opened with libavformat and
// decoded to its first picture on a thread of its own, by a decoder set up as the decoder filter
// sets up its own (its thread count and type, fast flag and error concealment). What is left of the
// engine's time beyond this is the graph's.

bool FirstPicture(const std::string& file)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0)
        return false;
    bool shown = false;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec =
        stream >= 0 ? avcodec_find_decoder(format->streams[stream]->codecpar->codec_id) : nullptr;
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (context && packet && frame &&
        avcodec_parameters_to_context(context, format->streams[stream]->codecpar) >= 0) {
        context->thread_count = VideoDecoder::ThreadCount();
        context->thread_type = FF_THREAD_SLICE;
        context->workaround_bugs = 1;
        context->error_concealment = 3;
        context->flags2 |= AV_CODEC_FLAG2_FAST;
        if (avcodec_open2(context, codec, nullptr) >= 0) {
            while (!shown && av_read_frame(format, packet) >= 0) {
                if (packet->stream_index == stream && avcodec_send_packet(context, packet) >= 0)
                    shown = avcodec_receive_frame(context, frame) >= 0;
                av_packet_unref(packet);
            }
            // A decoder holding back its pictures gives them up at the end of the input.
            if (!shown && avcodec_send_packet(context, nullptr) >= 0)
                shown = avcodec_receive_frame(context, frame) >= 0;
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return shown;
}

void BM_PlainDecodersFirstPictures(benchmark::State& state)
{
    const bench::Pair pair = bench::RecordingPair(1920, 1080, 10, 30);
    auto both = [&] {
        bool rear = false;
        std::thread other([&] { rear = FirstPicture(pair.rear); });
        const bool front = FirstPicture(pair.front);
        other.join();
        return front && rear;
    };
    bool shown = both();  // untimed, as the engine's first round
    for (auto _ : state) {
        if (!shown)
            break;
        shown = both();
    }
    if (!shown)
        state.SkipWithError("plain FFmpeg decoded no first picture");
}
BENCHMARK(BM_PlainDecodersFirstPictures)
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
    const auto plain = reporter.medians.find("BM_PlainDecodersFirstPictures");
    if (ours != reporter.medians.end() && ffplay != reporter.medians.end() && ours->second > 0) {
        std::printf("open to first pictures in both windows: median %.1f ms (goal < 150 ms); "
                    "ffplay to its first picture: %.1f ms; ratio ffplay / engine %.2f\n",
                    ours->second, ffplay->second, ffplay->second / ours->second);
    }
    if (ours != reporter.medians.end() && plain != reporter.medians.end() && plain->second > 0) {
        std::printf("plain FFmpeg, both files opened and decoded to their first picture with the "
                    "decoder filter's settings (%d slice threads each): median %.1f ms; ratio engine / "
                    "plain %.2f\n",
                    VideoDecoder::ThreadCount(), plain->second, ours->second / plain->second);
    }
    benchmark::Shutdown();
    return 0;
}
