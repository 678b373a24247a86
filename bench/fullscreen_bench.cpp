// Full screen while a 1080p30 front/rear pair plays through the engine into the video windows:
// from the toggle (the main video window becomes a top-level pop-up over the screen, the
// dialog hides, the pictures are fitted again) to the first full-screen picture on the screen.
// The goal is under 100 ms. Printed beside the plain work of one full-screen picture: libswscale
// converting a decoded 1080p picture to the screen's size and a blit of it into a window.
// Run it with PLATFORM_PRESENTER=headless and PLATFORM_AUDIO=null.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "RecordingInputs.h"
#include "platform/gdiplus.h"
#include "platform/kernel.h"
#include "platform/mfc.h"
#include "platform/testing.h"
#include "playback/FileAnalysis.h"
#include "playback/VideoMainWnd.h"
#include "playback/VideoMgr.h"
#include "playback/VideoSubWnd.h"
#include "playback/VideoWndHost.h"
#include "ui/DPIScale.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

CRITICAL_SECTION g_csExtractText;

namespace {

namespace pt = platform::testing;

// The main dialog's part: it answers the windows and passes the engine's and the windows'
// messages to the engine.
class CHost : public CWnd, public CVideoWndHost {
public:
    CVideoMgr* engine = nullptr;
    int GetVideoTrackCount() override { return engine ? engine->GetVideoTrackCount() : 0; }
    BOOL IsMovieOpen() override
    {
        return engine && (engine->GetState() == STATE_PLAY || engine->GetState() == STATE_PAUSE);
    }
    BOOL IsPlayingMP4() override { return TRUE; }
    BOOL IsSingleView() override { return FALSE; }
    BOOL HasDeviceRecord() override { return FALSE; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (engine && message == WM_VIDEO_GRAPHNOTIFY) {
            engine->HandleGraphEvent(lParam);
            return 0;
        }
        if (engine && message == WM_VIDEO_RELAYOUT) {
            engine->ReDrawVideo();
            return 1;
        }
        if (message == WM_VIDEO_PANZOOM) {
            delete[] reinterpret_cast<int*>(lParam);
            return 1;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

void Pump()
{
    pt::PumpMessages([](MSG& msg) { return CWnd::WalkPreTranslateTree(nullptr, &msg) != 0; });
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout = 20000)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        Pump();
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(1);
    }
    return true;
}

uint32_t ScreenPixel(int x, int y)
{
    std::vector<uint32_t> pixels;
    SIZE size = {};
    RECT area = {x, y, x + 1, y + 1};
    if (!pt::ReadScreenPixels(&pixels, &size, &area) || pixels.empty())
        return 0;
    return pixels[0] & 0xFFFFFF;
}

// The front picture's grass, below its horizon.
bool Grass(uint32_t p)
{
    const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
    return g > r + 30 && g > b + 30;
}

struct World {
    std::string home;
    bool ok = true;
    World()
    {
        InitializeCriticalSection(&g_csExtractText);
        char pattern[] = "/tmp/kv-fullscreen-bench-XXXXXX";
        home = mkdtemp(pattern);
        pt::SetHomeFolder(home);
        for (const char* file : {"KVMP4DualSourceFilter.ax", "KVH264DecodeFilter.ax"}) {
            const std::wstring path =
                platform::ToWindowsPath((bench::BuildDir() / "bin" / file).string());
            HMODULE module = LoadLibraryW(path.c_str());
            auto doRegister = module ? reinterpret_cast<LPFNREGISTERSERVER>(
                                           GetProcAddress(module, "DllRegisterServer"))
                                     : nullptr;
            ok = ok && doRegister && SUCCEEDED(doRegister());
        }
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);  // for the life of the process
        g_DPIScale.SetDPI(96);
        g_hSkinModule = LoadLibraryW(KV_SKIN_MODULE);
        ok = ok && g_hSkinModule && LoadLanguage(L"english");
    }
    ~World()
    {
        std::error_code error;
        std::filesystem::remove_all(home, error);
    }
};

void BM_FullScreenFirstPicture(benchmark::State& state)
{
    static World world;
    if (!world.ok) {
        state.SkipWithError("the filter libraries, the skin or the texts did not load");
        return;
    }
    const bench::Pair pair = bench::RecordingPair(1920, 1080, 10, 30);
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    CVideoMgr engine;
    CHost host;
    host.CreateEx(0, AfxRegisterWndClass(0), L"Dialog", WS_POPUP | WS_VISIBLE, 0, 0, 1040, 700,
                  nullptr, nullptr);
    CVideoMainWnd main;
    CVideoSubWnd sub;
    main.SetParentHwnd(host.GetSafeHwnd());
    main.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, {20, 30, 660, 390},
                   &host, 1000);
    sub.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {680, 30, 1000, 210}, &host, 1001);
    engine.SetOwnerWnd(host.GetSafeHwnd());
    engine.SetVideoWnd(main.GetSafeHwnd(), sub.GetSafeHwnd());
    if (!engine.OnMovieOpen(platform::ToWindowsPath(pair.front), FALSE, FALSE) ||
        FAILED(engine.Play())) {
        state.SkipWithError("the pair did not open and play");
        return;
    }
    host.engine = &engine;
    // A point of the screen that only the full-screen picture covers: its grass, left of the
    // road, below the main window's place in the dialog.
    const int x = screenW / 8, y = screenH / 2;
    if (!PumpUntil([&] { return Grass(ScreenPixel(40, 30 + 220)); })) {
        state.SkipWithError("no picture in the main window");
        return;
    }
    for (auto _ : state) {
        main.ShowWindow(SW_HIDE);
        main.ModifyStyle(WS_CHILD, WS_POPUP);
        main.SetParent(nullptr);
        main.SetWindowPos(nullptr, 0, 0, screenW, screenH, SWP_SHOWWINDOW | SWP_NOZORDER);
        host.ShowWindow(SW_HIDE);
        engine.ResetSize(1);
        if (!PumpUntil([&] { return Grass(ScreenPixel(x, y)); })) {
            state.SkipWithError("no full-screen picture within 20 s");
            break;
        }
        state.PauseTiming();
        main.HideOverlays();
        main.ModifyStyle(WS_POPUP, WS_CHILD);
        main.SetParent(&host);
        main.SetWindowPos(nullptr, 20, 30, 640, 360, SWP_SHOWWINDOW | SWP_NOZORDER);
        host.ShowWindow(SW_SHOW);
        engine.ResetSize(1);
        PumpUntil([&] { return !Grass(ScreenPixel(x, y)); }, 2000);
        // Back in the middle of the recording now and then, so that it never ends.
        if (engine.GetPosition() > 6)
            engine.SetPosition(10);
        state.ResumeTiming();
    }
    host.engine = nullptr;
    engine.Close();
    main.DestroyWindow();
    sub.DestroyWindow();
    host.DestroyWindow();
    Pump();
}
BENCHMARK(BM_FullScreenFirstPicture)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(15);

// The plain work of one full-screen picture: a decoded 1080p picture converted to the screen's
// size (the renderer's scaling) and blitted into a full-screen window.
void BM_PlainFullScreenPicture(benchmark::State& state)
{
    const bench::Pair pair = bench::RecordingPair(1920, 1080, 10, 30);
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, pair.front.c_str(), nullptr, nullptr) < 0) {
        state.SkipWithError("cannot open the front file");
        return;
    }
    avformat_find_stream_info(format, nullptr);
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool decoded = false;
    while (!decoded && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) >= 0)
            decoded = avcodec_receive_frame(decoder, frame) == 0;
        av_packet_unref(packet);
    }
    if (!decoded) {
        avcodec_send_packet(decoder, nullptr);
        decoded = avcodec_receive_frame(decoder, frame) == 0;
    }
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExW(0, AfxRegisterWndClass(0), L"plain", WS_POPUP | WS_VISIBLE, 0,
                                  0, screenW, screenH, nullptr, nullptr, nullptr, nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = screenW;
    info.bmiHeader.biHeight = -screenH;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = bitmap ? SelectObject(memory, bitmap) : nullptr;
    if (!decoded || !window || !bits) {
        state.SkipWithError("no decoded picture, window or bitmap");
    } else {
        for (auto _ : state) {
            // A new size needs a new conversion, as in the renderer.
            SwsContext* scaler = sws_getContext(frame->width, frame->height,
                                                AVPixelFormat(frame->format), screenW, screenH,
                                                AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR, nullptr,
                                                nullptr, nullptr);
            uint8_t* planes[1] = {static_cast<uint8_t*>(bits)};
            int strides[1] = {screenW * 4};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
            sws_freeContext(scaler);
            HDC dc = GetDC(window);
            BitBlt(dc, 0, 0, screenW, screenH, memory, 0, 0, SRCCOPY);
            ReleaseDC(window, dc);
        }
    }
    if (old)
        SelectObject(memory, old);
    if (bitmap)
        DeleteObject(bitmap);
    DeleteDC(memory);
    if (window)
        DestroyWindow(window);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
}
BENCHMARK(BM_PlainFullScreenPicture)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(15);

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
    const auto ours = reporter.medians.find("BM_FullScreenFirstPicture");
    const auto plain = reporter.medians.find("BM_PlainFullScreenPicture");
    if (ours != reporter.medians.end() && plain != reporter.medians.end() && ours->second > 0) {
        std::printf("full-screen toggle to its first picture: median %.1f ms (goal < 100 ms); "
                    "plain scaling and blit of one full-screen picture: %.1f ms; "
                    "ratio plain / ours %.2f\n",
                    ours->second, plain->second, plain->second / ours->second);
    }
    benchmark::Shutdown();
    return 0;
}
