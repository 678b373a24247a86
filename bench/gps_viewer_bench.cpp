// The G-sensor graph of a 60-minute recording (36,000 samples a curve) in a panel widened to
// 1,000 x 78 pixels: drawing the recording (which must take under 5 ms) against three plain
// polylines of the same points blitted to the same window, and moving the position line
// (under 0.5 ms) against a plain blit of the panel's size plus one line. The same curves drawn
// segment by segment with LineTo show what one call per curve saves. Prints the ratios.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SecondsReporter.h"
#include "playback/GPSViewer.h"
#include "ui/DPIScale.h"

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 78;
constexpr int kSamples = 36000;  // 60 minutes at 10 samples a second

// A drive's worth of readings: slow swings with a bump now and then, in 1/128 g.
const CTextData& Recording()
{
    static const CTextData text = [] {
        CTextData t;
        for (int i = 0; i < kSamples; ++i) {
            const double s = i / 10.0;
            const double bump = (i % 3000 < 20) ? 200.0 * std::sin(i * 0.9) : 0.0;
            t.m_GSensorList.emplace_back(int(40 * std::sin(s / 17.0) + bump),
                                         int(60 * std::sin(s / 29.0) - bump),
                                         int(128 + 8 * std::sin(s * 1.3) + bump / 2));
        }
        return t;
    }();
    return text;
}

struct Panel {
    CWnd parent;
    CGPSViewer graph;
    Panel()
    {
        g_DPIScale.SetDPI(96);
        parent.CreateEx(0, nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, kWidth + 20, 200, nullptr,
                        nullptr);
        const RECT design = {10, 20, 10 + kWidth, 20 + kHeight};
        graph.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE, design, &parent, 1163);
        CClientDC dc(&parent);
        COffscreenDC background(&dc, kWidth + 20, 200);
        background.GetDC()->FillSolidRect(0, 0, kWidth + 20, 200, RGB(20, 30, 40));
        graph.SetBackground(background.GetDC());
    }
};

Panel& ThePanel()
{
    static Panel* panel = new Panel;  // lives until the process ends
    return *panel;
}

// The three curves' points as the graph places them, for the reference paths.
const std::vector<std::vector<POINT>>& CurvePoints()
{
    static const std::vector<std::vector<POINT>> curves = [] {
        std::vector<std::vector<POINT>> c(3);
        const float xstep = float(kWidth) / float(kSamples - 1);
        const float k = float(47 * 0.5 / 512);
        for (auto& curve : c)
            curve.push_back({0, kHeight / 2});
        int i = 0;
        for (const CGSensorData& s : Recording().m_GSensorList) {
            const int x = int(float(i++) * xstep);
            c[0].push_back({x, int(float(kHeight / 2) - float(s.m_nX) * k)});
            c[1].push_back({x, int(float(kHeight / 2) - float(s.m_nY) * k)});
            c[2].push_back({x, int(float(kHeight / 2) - float(s.m_nZ) * k)});
        }
        return c;
    }();
    return curves;
}

void BM_DrawGPSData(benchmark::State& state)
{
    Panel& panel = ThePanel();
    for (auto _ : state)
        panel.graph.DrawGPSData(&Recording());
}

// Plain GDI: a memory surface of the panel's size cleared, three polylines, one blit to the
// window.
void DrawReference(benchmark::State& state, bool segmentBySegment)
{
    Panel& panel = ThePanel();
    const auto& curves = CurvePoints();
    CClientDC window(&panel.graph);
    COffscreenDC surface(&window, kWidth, kHeight);
    CDC* dc = surface.GetDC();
    const COLORREF colours[3] = {RGB(0, 255, 0), RGB(255, 0, 0), RGB(0, 0, 255)};
    HPEN pens[3];
    for (int i = 0; i < 3; ++i)
        pens[i] = CreatePen(PS_SOLID, 1, colours[i]);
    for (auto _ : state) {
        dc->FillSolidRect(0, 0, kWidth, kHeight, RGB(20, 30, 40));
        for (int i = 0; i < 3; ++i) {
            HGDIOBJ previous = dc->SelectObject(pens[i]);
            if (segmentBySegment) {
                dc->MoveTo(curves[i][0].x, curves[i][0].y);
                for (size_t p = 1; p < curves[i].size(); ++p)
                    dc->LineTo(curves[i][p].x, curves[i][p].y);
            } else {
                dc->Polyline(curves[i].data(), int(curves[i].size()));
            }
            dc->SelectObject(previous);
        }
        window.BitBlt(0, 0, kWidth, kHeight, dc, 0, 0, SRCCOPY);
    }
    for (HPEN pen : pens)
        DeleteObject(pen);
}

void BM_ReferencePolylines(benchmark::State& state)
{
    DrawReference(state, false);
}

void BM_ReferenceLineToSegments(benchmark::State& state)
{
    DrawReference(state, true);
}

void BM_SetCLine(benchmark::State& state)
{
    Panel& panel = ThePanel();
    panel.graph.DrawGPSData(&Recording());
    int percent = 0;
    for (auto _ : state) {
        panel.graph.SetCLine(percent, 1);
        percent = (percent + 1) % 101;
    }
}

// A blit of the panel's size onto a fresh window device context and one vertical line on
// another, as a plain program would move such a line.
void BM_ReferenceBlitAndLine(benchmark::State& state)
{
    Panel& panel = ThePanel();
    COffscreenDC surface;
    {
        CClientDC window(&panel.graph);
        surface.Create(&window, kWidth, kHeight);
    }
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 138, 72));
    int x = 0;
    for (auto _ : state) {
        {
            CClientDC window(&panel.graph);
            window.BitBlt(0, 0, kWidth, kHeight, surface.GetDC(), 0, 0, SRCCOPY);
        }
        CClientDC window(&panel.graph);
        HGDIOBJ previous = window.SelectObject(pen);
        window.MoveTo(x, 0);
        window.LineTo(x, kHeight);
        window.SelectObject(previous);
        x = (x + 10) % kWidth;
    }
    DeleteObject(pen);
}

BENCHMARK(BM_DrawGPSData)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReferencePolylines)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReferenceLineToSegments)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SetCLine)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReferenceBlitAndLine)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    Recording();
    CurvePoints();
    benchmark::Initialize(&argc, argv);
    bench::SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.m_times;
    const std::string draw = "BM_DrawGPSData/real_time";
    const std::string polylines = "BM_ReferencePolylines/real_time";
    const std::string segments = "BM_ReferenceLineToSegments/real_time";
    const std::string line = "BM_SetCLine/real_time";
    const std::string blit = "BM_ReferenceBlitAndLine/real_time";
    if (t.count(draw) && t.count(polylines) && t[polylines] > 0) {
        std::printf(
            "drawing %d samples a curve at %d x %d: %.2f ms (%s 5 ms); plain polylines "
            "%.2f ms; ratio %.2f\n",
            kSamples, kWidth, kHeight, t[draw] * 1e3, t[draw] < 5e-3 ? "under" : "NOT under",
            t[polylines] * 1e3, t[draw] / t[polylines]);
    }
    if (t.count(segments) && t.count(polylines) && t[polylines] > 0)
        std::printf(
            "the same curves segment by segment with LineTo: %.2f ms; ratio to polylines "
            "%.2f\n",
            t[segments] * 1e3, t[segments] / t[polylines]);
    if (t.count(line) && t.count(blit) && t[blit] > 0) {
        std::printf(
            "moving the position line: %.3f ms (%s 0.5 ms); plain blit and line %.3f ms; "
            "ratio %.2f\n",
            t[line] * 1e3, t[line] < 0.5e-3 ? "under" : "NOT under", t[blit] * 1e3,
            t[line] / t[blit]);
    }
    benchmark::Shutdown();
    return 0;
}
