// The recording list with a full card's 5,000 recordings: filling it (which must take under
// 50 ms) against filling a plain vector of the same records, scrolling one page and repainting
// (under 2 ms) against a plain owner-drawn repaint of the same rows (one fill, two texts a row,
// one blit), and the heap the list keeps for each recording (under 2 KB). Prints the ratios.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "SecondsReporter.h"
#include "platform/gdiplus.h"
#include "ui/ControlMessages.h"
#include "ui/DPIScale.h"
#include "ui/RListCtrl.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace {

// Bytes the program holds through operator new, counted by the usable size of each block.
std::atomic<long long> g_liveBytes{0};

void* Counted(size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    g_liveBytes += (long long)malloc_usable_size(block);
    return block;
}

void Uncounted(void* block)
{
    if (block) {
        g_liveBytes -= (long long)malloc_usable_size(block);
        std::free(block);
    }
}

}  // namespace

void* operator new(size_t size)
{
    return Counted(size);
}
void* operator new[](size_t size)
{
    return Counted(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    void* block = std::malloc(size ? size : 1);
    if (block)
        g_liveBytes += (long long)malloc_usable_size(block);
    return block;
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    Uncounted(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    Uncounted(block);
}
void operator delete(void* block) noexcept
{
    Uncounted(block);
}
void operator delete[](void* block) noexcept
{
    Uncounted(block);
}
void operator delete(void* block, size_t) noexcept
{
    Uncounted(block);
}
void operator delete[](void* block, size_t) noexcept
{
    Uncounted(block);
}

namespace {

constexpr int kRecordings = 5000;

struct Recording {
    std::wstring title;
    std::wstring path;
    ULONGLONG bytes;
    int pairType;
};

const std::vector<Recording>& Card()
{
    static const std::vector<Recording> card = [] {
        std::vector<Recording> c;
        for (int i = 0; i < kRecordings; ++i) {
            wchar_t title[64];
            std::swprintf(title, 64, L"REC_2018_09_%02d_%02d_%02d_%02d_%lc", 1 + i / 1440,
                          i / 60 % 24, i % 60, 0, i % 2 ? L'R' : L'F');
            c.push_back({title, std::wstring(L"E:\\cont_rec\\") + title + L".MP4",
                         52428800ull + ULONGLONG(i) * 4096, i % 2 ? 2 : 1});
        }
        return c;
    }();
    return card;
}

struct Dialog {
    CWnd parent;
    CRListCtrl list;
    ULONG_PTR token = 0;
    Dialog()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
        g_DPIScale.SetDPI(96);
        g_hSkinModule = LoadLibraryW(KV_SKIN_MODULE);
        LoadLanguage(L"english");
        parent.CreateEx(0, nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr);
        list.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(10, 10, 332, 230), &parent,
                       1300);
    }
    void Fill()
    {
        list.DeleteAllItems();
        for (const Recording& r : Card())
            list.AddItem(r.title, 0, r.path, r.bytes, r.pairType);
        list.OnItemsChanged();
        list.UpdateScroll();
        list.SetSelectedItem(Card().front().title);
    }
};

Dialog& TheDialog()
{
    static Dialog* dialog = new Dialog;  // lives until the process ends
    return *dialog;
}

void BM_FillList(benchmark::State& state)
{
    Dialog& d = TheDialog();
    for (auto _ : state)
        d.Fill();
}

// The same records into a plain vector, with the same size text.
void BM_ReferenceFillVector(benchmark::State& state)
{
    std::vector<CRListItem> items;  // kept across runs, as the list keeps its array
    for (auto _ : state) {
        items.clear();
        for (const Recording& r : Card()) {
            CRListItem item;
            item.title = r.title;
            item.path = r.path;
            wchar_t text[48];
            std::swprintf(text, 48, L"%0.2fmb", double(float(r.bytes) * (1.0f / 1048576.0f)));
            item.sizeText = text;
            item.pairType = r.pairType;
            items.push_back(std::move(item));
        }
        benchmark::DoNotOptimize(items.data());
    }
}

void BM_ScrollPageAndRepaint(benchmark::State& state)
{
    Dialog& d = TheDialog();
    d.Fill();
    const int rows = d.list.GetRowCount();
    int step = 0;
    for (auto _ : state) {
        // One page down (or back to the top near the end), one row at a time as the bar's
        // one-row steps ask, then the repaint.
        if (d.list.GetTopIndex() + 2 * rows >= kRecordings)
            d.list.SendMessage(WM_RSCROLL_POS, 0);
        for (int i = 0; i < rows; ++i)
            d.list.SendMessage(WM_RSCROLL_DOWN, 1);
        d.list.UpdateWindow();
        ++step;
    }
    benchmark::DoNotOptimize(step);
}

// A plain owner-drawn list repainting the same rows: a fill per row, the two texts, one blit.
void BM_ReferenceRepaint(benchmark::State& state)
{
    Dialog& d = TheDialog();
    const int rows = d.list.GetRowCount();
    CClientDC window(&d.list);
    COffscreenDC surface(&window, 307, rows * 20);
    CDC* dc = surface.GetDC();
    LOGFONTW description = {};
    description.lfHeight = 12;
    description.lfWeight = FW_NORMAL;
    GetUIFaceName().copy(description.lfFaceName, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&description);
    int top = 0;
    for (auto _ : state) {
        HGDIOBJ old = dc->SelectObject(font);
        dc->SetBkMode(TRANSPARENT);
        dc->SetTextColor(RGB(163, 183, 203));
        for (int r = 0; r < rows; ++r) {
            const Recording& rec = Card()[size_t((top + r) % kRecordings)];
            RECT row = {0, r * 20, 307, r * 20 + 20};
            dc->FillSolidRect(&row, (top + r) % 2 ? RGB(30, 35, 42) : RGB(24, 28, 34));
            RECT title = {18, row.top, 224, row.bottom};
            dc->DrawText(rec.title, &title, DT_SINGLELINE | DT_VCENTER);
            RECT size = {230, row.top, 306, row.bottom};
            dc->DrawText(L"50.00mb", &size, DT_SINGLELINE | DT_VCENTER);
        }
        dc->SelectObject(old);
        window.BitBlt(0, 0, 307, rows * 20, dc, 0, 0, SRCCOPY);
        top = (top + rows) % kRecordings;
    }
    DeleteObject(font);
}

BENCHMARK(BM_FillList)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReferenceFillVector)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScrollPageAndRepaint)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReferenceRepaint)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Heap the list keeps for its items, per recording: a new list filled once, against the same
// list empty.
double BytesPerRecording()
{
    Dialog& d = TheDialog();
    CRListCtrl fresh;
    fresh.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(10, 10, 332, 230), &d.parent,
                    1301);
    const long long before = g_liveBytes;
    for (const Recording& r : Card())
        fresh.AddItem(r.title, 0, r.path, r.bytes, r.pairType);
    fresh.UpdateScroll();
    const long long after = g_liveBytes;
    fresh.DestroyWindow();
    return after > before ? double(after - before) / kRecordings : 0.0;
}

}  // namespace

int main(int argc, char** argv)
{
    Card();
    benchmark::Initialize(&argc, argv);
    bench::SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.m_times;
    const std::string fill = "BM_FillList/real_time";
    const std::string vector = "BM_ReferenceFillVector/real_time";
    const std::string page = "BM_ScrollPageAndRepaint/real_time";
    const std::string plain = "BM_ReferenceRepaint/real_time";
    if (t.count(fill) && t.count(vector) && t[vector] > 0)
        std::printf("filling %d recordings: %.2f ms (%s 50 ms); plain vector %.2f ms; ratio %.2f\n",
                    kRecordings, t[fill] * 1e3, t[fill] < 50e-3 ? "under" : "NOT under",
                    t[vector] * 1e3, t[fill] / t[vector]);
    if (t.count(page) && t.count(plain) && t[plain] > 0)
        std::printf(
            "scrolling one page and repainting: %.3f ms (%s 2 ms); plain owner-drawn repaint "
            "%.3f ms; ratio %.2f\n",
            t[page] * 1e3, t[page] < 2e-3 ? "under" : "NOT under", t[plain] * 1e3,
            t[page] / t[plain]);
    const double perRecording = BytesPerRecording();
    std::printf("heap per recording: %.0f bytes (%s 2048)\n", perRecording,
                perRecording < 2048 ? "under" : "NOT under");
    benchmark::Shutdown();
    return 0;
}
