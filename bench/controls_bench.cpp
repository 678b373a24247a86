// Repainting each skinned control after a change of its state, at 100 %: the push button
// (normal and over in turn), the balloon (two numbers of one width), the number display, the
// scroll bar's thumb, the seek slider and a label. Each must take under 0.2 ms; each is printed
// against a plain BitBlt of the control's size into the same window, as a ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "SecondsReporter.h"
#include "platform/gdiplus.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/RButton.h"
#include "ui/RImageNum.h"
#include "ui/RScrollBar.h"
#include "ui/RSliderCtrl.h"
#include "ui/RStaticText.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"
#include "ui/TBalloon.h"

namespace {

struct Controls {
    CWnd parent;
    COffscreenDC background;
    CRButton button;
    CTBalloon balloon;
    CRImageNum number;
    CRScrollBar scroll;
    CRSliderCtrl slider;
    CRStaticText label;
    HFONT font = nullptr;

    Controls()
    {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);  // for the life of the process
        g_DPIScale.SetDPI(96);
        g_hSkinModule = LoadLibraryW(KV_SKIN_MODULE);
        LoadLanguage(L"english");
        parent.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 400,
                        nullptr, nullptr);
        {
            CClientDC dc(&parent);
            background.Create(&dc, 1000, 400);
            background.GetDC()->FillSolidRect(0, 0, 1000, 400, RGB(20, 30, 40));
        }
        button.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, {10, 10, 96, 96},
                         &parent, 1100);
        button.SetImages(L"btn_play_normal.png", L"btn_play_over.png", L"btn_play_press.png",
                         background.GetDC(), L"btn_play_dim.png");
        balloon.CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, PopupWindowClass(), L"Balloon",
                         WS_POPUP, 0, 0, 1, 1, parent.m_hWnd, nullptr);
        balloon.SetNumberText(42);
        balloon.SetWindowPos(&CWnd::wndTopMost, 500, 300, 0, 0,
                             SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        number.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {110, 10, 182, 53}, &parent, 1300);
        number.SetBackground(background.GetDC());
        scroll.Create(nullptr, L"", WS_CHILD | WS_VISIBLE, CRect(200, 10, 215, 310), &parent,
                      1250);
        scroll.SetThumbInfo(1000, 300, 0);
        slider.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {230, 10, 873, 17}, &parent, 1200);
        slider.SetImages9(L"progress_bar.9.png", L"progress_bg.9.png", L"progress_point.png",
                          L"progress_point.png", L"progress_point.png", 643, 7);
        label.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {230, 40, 437, 62}, &parent, 1400);
        LOGFONTW description = {};
        description.lfHeight = 13;
        font = DPICreateFontIndirect(&description);
        CRButtonText style{L"", RGB(230, 230, 230), 0, 0, 0, 13, 1};
        label.SetBackground(L"bg_text.9.png", font, background.GetDC(), &style);
    }
};

Controls& TheControls()
{
    static Controls* controls = new Controls;  // lives until the process ends
    return *controls;
}

// A plain copy of the control's size into its window, the reference of every control.
void BlitReference(benchmark::State& state, CWnd& window)
{
    CRect client;
    window.GetClientRect(&client);
    COffscreenDC surface;
    {
        CClientDC dc(&window);
        surface.Create(&dc, client.Width(), client.Height());
    }
    for (auto _ : state) {
        CClientDC dc(&window);
        dc.BitBlt(0, 0, client.Width(), client.Height(), surface.GetDC(), 0, 0, SRCCOPY);
    }
}

void BM_Button(benchmark::State& state)
{
    CRButton& b = TheControls().button;
    int i = 0;
    for (auto _ : state)
        b.SetState(++i & 1 ? CRButton::kOver : CRButton::kNormal);
}
void BM_ButtonBlit(benchmark::State& state)
{
    BlitReference(state, TheControls().button);
}

void BM_Balloon(benchmark::State& state)
{
    CTBalloon& b = TheControls().balloon;
    int i = 0;
    for (auto _ : state)
        b.SetNumberText(++i & 1 ? 42 : 57);
}
void BM_BalloonBlit(benchmark::State& state)
{
    // A layered window shows its picture through one update, the reference of its push.
    CTBalloon& b = TheControls().balloon;
    CRect client;
    b.GetClientRect(&client);
    COffscreenDC surface;
    {
        CClientDC dc(&b);
        surface.Create(&dc, client.Width(), client.Height());
    }
    for (auto _ : state)
        PushLayeredPicture(b, surface);
}

void BM_Number(benchmark::State& state)
{
    CRImageNum& n = TheControls().number;
    int i = 0;
    for (auto _ : state)
        n.SetNumber(++i % 1000);
}
void BM_NumberBlit(benchmark::State& state)
{
    BlitReference(state, TheControls().number);
}

void BM_ScrollBar(benchmark::State& state)
{
    CRScrollBar& s = TheControls().scroll;
    int i = 0;
    for (auto _ : state) {
        s.SetThumbInfo(1000, 300, ++i % 101);
        s.RedrawTrack();
        s.UpdateWindow();
    }
}
void BM_ScrollBarBlit(benchmark::State& state)
{
    BlitReference(state, TheControls().scroll);
}

void BM_Slider(benchmark::State& state)
{
    CRSliderCtrl& s = TheControls().slider;
    int i = 0;
    for (auto _ : state)
        s.SetPos(float(++i % 101));
}
void BM_SliderBlit(benchmark::State& state)
{
    BlitReference(state, TheControls().slider);
}

void BM_Label(benchmark::State& state)
{
    CRStaticText& l = TheControls().label;
    int i = 0;
    for (auto _ : state)
        l.SetText(L"00:0" + std::to_wstring(++i % 10) + L" / 01:00");
}
void BM_LabelBlit(benchmark::State& state)
{
    BlitReference(state, TheControls().label);
}

BENCHMARK(BM_Button)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ButtonBlit)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Balloon)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BalloonBlit)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Number)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_NumberBlit)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ScrollBar)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ScrollBarBlit)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Slider)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SliderBlit)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Label)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LabelBlit)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    TheControls();
    benchmark::Initialize(&argc, argv);
    bench::SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.m_times;
    for (const char* name : {"Button", "Balloon", "Number", "ScrollBar", "Slider", "Label"}) {
        const std::string ours = std::string("BM_") + name + "/real_time";
        const std::string blit = std::string("BM_") + name + "Blit/real_time";
        if (!t.count(ours) || !t.count(blit) || t[blit] <= 0)
            continue;
        std::printf("%-10s repaint after a change: %.4f ms (%s 0.2 ms); plain copy %.4f ms; "
                    "ratio %.2f\n",
                    name, t[ours] * 1e3, t[ours] < 0.2e-3 ? "under" : "NOT under",
                    t[blit] * 1e3, t[ours] / t[blit]);
    }
    benchmark::Shutdown();
    return 0;
}
