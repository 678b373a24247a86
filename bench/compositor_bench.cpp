// Composing the 1920 x 1080 screen of 40 windows, four of them layered with per-pixel alpha,
// after a full invalidation: the goal is at least 200 frames per second. Measured beside a plain
// copy of the screen's bytes, which no composition can beat.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "../platform/screen/compositor.h"
#include "platform/testing.h"
#include "platform/user.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kWindows = 40;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        COLORREF colour = COLORREF(GetWindowLongPtrW(window, GWLP_USERDATA));
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, L"Tessaly 2026-05-14 08:30:00 front (x1.0)", -1, &client,
                  DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A picture with per-pixel alpha for a layered window: premultiplied, alpha rising from left to
// right, fully transparent in a border, as the translucent pop-ups are.
void GiveLayeredPicture(HWND window, int x, int y, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            bool border = row < 8 || col < 8 || row >= height - 8 || col >= width - 8;
            uint32_t a = border ? 0 : 64 + uint32_t(col * 160 / width);
            uint32_t c = a * 200 / 255;
            pixels[size_t(row) * size_t(width) + size_t(col)] =
                (a << 24) | (c << 16) | (c << 8) | c;
        }
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    POINT at = {x, y};
    SIZE size = {width, height};
    POINT from = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window, nullptr, &at, &size, dc, &from, 0, &blend, ULW_ALPHA);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// Forty windows scattered over the screen, overlapping, every tenth one layered.
void MakeScreen()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = L"CompositorBench";
    RegisterClassExW(&wc);
    uint32_t seed = 12345;
    auto next = [&](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % range;
    };
    for (int i = 0; i < kWindows; ++i) {
        int width = 160 + int(next(480));
        int height = 120 + int(next(360));
        int x = int(next(uint32_t(kWidth - width)));
        int y = int(next(uint32_t(kHeight - height)));
        bool layered = i % 10 == 9;
        HWND window =
            CreateWindowExW(layered ? WS_EX_LAYERED | WS_EX_TOOLWINDOW : 0, L"CompositorBench", L"",
                            WS_POPUP, x, y, width, height, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(RGB(next(256), next(256), next(256))));
        if (layered)
            GiveLayeredPicture(window, x, y, width, height);
        ShowWindow(window, SW_SHOWNOACTIVATE);
    }
    platform::testing::PumpMessages();
}

void BM_ComposeAfterFullInvalidation(benchmark::State& state)
{
    platform::screen::Compositor& compositor = platform::screen::Compositor::Get();
    for (auto _ : state)
        compositor.Compose(true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComposeAfterFullInvalidation)->Unit(benchmark::kMillisecond);

void BM_CopyScreenBytes(benchmark::State& state)
{
    std::vector<uint32_t> from(size_t(kWidth) * kHeight, 0x00808080u);
    std::vector<uint32_t> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyScreenBytes)->Unit(benchmark::kMillisecond);

// Frames per second of `frame`, timed over many frames.
template <typename Frame>
double FramesPerSecond(Frame frame)
{
    constexpr int kFrames = 300;
    frame();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kFrames; ++i)
        frame();
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return kFrames / elapsed.count();
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("PLATFORM_SCREEN", "1920x1080", 1);
    setenv("PLATFORM_PRESENTER", "headless", 1);
    MakeScreen();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    platform::screen::Compositor& compositor = platform::screen::Compositor::Get();
    double composed = FramesPerSecond([&] { compositor.Compose(true); });
    std::vector<uint32_t> from(size_t(kWidth) * kHeight, 0x00808080u);
    std::vector<uint32_t> to(from.size());
    double copied = FramesPerSecond([&] {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    });
    std::printf(
        "Composing 1920x1080, %d windows (4 layered), after a full invalidation: %.0f frames a "
        "second (goal: at least 200); a plain copy of the screen's bytes: %.0f a second (the "
        "limit), %.2fx the composition's time\n",
        kWindows, composed, copied, copied / composed);
    return composed >= 200.0 ? 0 : 1;
}
