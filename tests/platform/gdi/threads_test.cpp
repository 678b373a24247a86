// Painting from several threads at once: each thread draws into its own device context, while
// sharing one font (whose glyphs are first rendered concurrently) and one source device
// context; the pictures must match the same drawing done on one thread, and ThreadSanitizer
// must find no race.
#include <atomic>
#include <thread>
#include <vector>

#include "canvas.h"
#include "gdi/surface.h"

using gditest::Argb;
using gditest::Canvas;

namespace {

constexpr int kThreads = 6;
constexpr int kRounds = 20;

struct Shared {
    HFONT font;
    HDC source;  // a memory device context holding a premultiplied picture
};

// One round of what a control's paint does: background, blended picture, frame lines, text.
void Paint(const Canvas& canvas, const Shared& shared, int round)
{
    HDC dc = canvas.Dc();
    HBRUSH brush = CreateSolidBrush(RGB(10 * round, 40, 200));
    RECT all = {0, 0, canvas.Width(), canvas.Height()};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, round % 7, 2, 30, 20, shared.source, 0, 0, 10, 10, blend);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 138, 72));
    HGDIOBJ previousPen = SelectObject(dc, pen);
    MoveToEx(dc, 0, round % 30, nullptr);
    LineTo(dc, canvas.Width(), 29 - round % 30);
    SelectObject(dc, previousPen);
    DeleteObject(pen);
    HGDIOBJ previousFont = SelectObject(dc, shared.font);
    SetBkMode(dc, round % 2 ? OPAQUE : TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT text = {4, 4, canvas.Width() - 4, canvas.Height() - 4};
    static const wchar_t* const kTexts[] = {L"Tessaly 0123", L"재생 일시정지", L"Быстрая лиса",
                                            L"再生 播放 &Play"};
    DrawTextW(dc, kTexts[round % 4], -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, previousFont);
}

TEST(GdiThreads, ConcurrentPaintingMatchesPaintingOnOneThread)
{
    platform::testing::PinFontFile(gditest::kPinnedFont);
    Canvas picture(10, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            picture.At(x, y) = Argb(128, 100, 10 * x, 10 * y);
    // A size no other test uses, so that the threads render its glyphs for the first time.
    Shared shared{gditest::MakeFont(-17, L"Verdana", FW_BOLD, true), picture.Dc()};
    ASSERT_NE(shared.font, nullptr);

    std::vector<std::unique_ptr<Canvas>> canvases;
    for (int i = 0; i < kThreads; ++i)
        canvases.push_back(std::make_unique<Canvas>(160, 30));
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round)
                Paint(*canvases[i], shared, round + i);
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    for (int i = 0; i < kThreads; ++i) {
        Canvas reference(160, 30);
        for (int round = 0; round < kRounds; ++round)
            Paint(reference, shared, round + i);
        int differing = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 160; ++x)
                differing += reference.At(x, y) != canvases[i]->At(x, y);
        EXPECT_EQ(differing, 0) << "thread " << i;
    }
    DeleteObject(shared.font);
    platform::testing::PinFontFile("");
}

TEST(GdiThreads, ObjectsComeAndGoWhileOtherThreadsDraw)
{
    // Threads create, select, deselect and delete their own objects and device contexts while
    // one bitmap is fought over: only one device context can hold it at a time.
    Canvas shared(8, 8);
    HBITMAP contested = CreateCompatibleBitmap(shared.Dc(), 8, 8);
    std::vector<std::thread> threads;
    std::vector<int> holds(kThreads, 0);
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 200; ++round) {
                HDC dc = CreateCompatibleDC(nullptr);
                HGDIOBJ previous = SelectObject(dc, contested);
                if (previous) {
                    ++holds[size_t(i)];
                    RECT r = {0, 0, 8, 8};
                    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
                    SelectObject(dc, previous);
                }
                HFONT font = gditest::MakeFont(-12);
                SelectObject(dc, font);
                DeleteObject(font);  // still selected: lives until the device context goes
                RECT box = {0, 0, 0, 0};
                DrawTextW(dc, L"x", 1, &box, DT_CALCRECT);
                DeleteDC(dc);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    int total = 0;
    for (int count : holds)
        total += count;
    EXPECT_GT(total, 0);
    EXPECT_TRUE(DeleteObject(contested));
}

TEST(GdiThreads, WindowSurfaceIsPaintedFromSeveralThreadsWhileItIsRead)
{
    // One window's pixels, two device contexts onto its two halves (as GetDC from two threads
    // gives), and a reader that copies the pixels under their lock (as the compositor does).
    platform::testing::PinFontFile(gditest::kPinnedFont);
    auto surface = platform::gdi::Surface::Create(160, 60);
    ASSERT_NE(surface, nullptr);
    HDC halves[2];
    for (int i = 0; i < 2; ++i) {
        platform::gdi::Target target;
        target.surface = surface;
        target.origin = POINT{0, 30 * i};
        target.clip = {RECT{0, 30 * i, 160, 30 * (i + 1)}};
        halves[i] = platform::gdi::CreateSurfaceDC(target);
    }
    Canvas picture(10, 10);
    picture.Fill(Argb(128, 64, 0, 0));
    Shared shared{gditest::MakeFont(-15), picture.Dc()};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        std::vector<uint32_t> copy(160 * 60);
        while (!done.load()) {
            std::lock_guard<std::mutex> guard(surface->Lock());
            for (int y = 0; y < 60; ++y)
                std::copy(surface->Row(y), surface->Row(y) + 160, copy.begin() + y * 160);
        }
    });
    std::vector<std::thread> painters;
    for (int i = 0; i < 2; ++i) {
        painters.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round) {
                HBRUSH brush = CreateSolidBrush(RGB(0, 40 * i, 200));
                RECT all = {0, 0, 160, 30};
                FillRect(halves[i], &all, brush);
                DeleteObject(brush);
                HGDIOBJ previous = SelectObject(halves[i], shared.font);
                SetBkMode(halves[i], TRANSPARENT);
                RECT text = {4, 4, 156, 26};
                DrawTextW(halves[i], i ? L"재생 일시정지" : L"Tessaly 0123", -1, &text,
                          DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                SelectObject(halves[i], previous);
            }
        });
    }
    for (std::thread& painter : painters)
        painter.join();
    done = true;
    reader.join();

    // Each half holds its own background and nothing of the other's.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(surface->Row(30 * i)[0], Argb(0, 0, 40 * i, 200));
        EXPECT_EQ(surface->Row(30 * i + 29)[159], Argb(0, 0, 40 * i, 200));
    }
    for (HDC dc : halves)
        DeleteDC(dc);
    DeleteObject(shared.font);
    platform::testing::PinFontFile("");
}

}  // namespace
