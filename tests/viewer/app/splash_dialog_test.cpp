// The splash dialog on a thread of its own, as start-up runs it, on the manual clock: the track
// it fills one step per 10 ms tick, the keys that must not end it, and its end with IDOK at the
// last step.
#include "DialogFixture.h"

#include <atomic>

#include "app/SplashDlg.h"
#include "res/resource.h"

namespace {

using apptest::Pixels;
namespace pt = platform::testing;

constexpr uint32_t kFill = 0x6CB4EB;   // RGB(108, 180, 235)
constexpr uint32_t kTrack = 0x222527;  // RGB(34, 37, 39)

// Keeps what the window showed when it was told to end, and how it was told.
class CWatchedSplash : public CSplashDlg {
public:
    Pixels last;
    std::atomic<WPARAM> endedBy{0};

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) &&
            !endedBy) {
            pt::ReadWindowPixels(GetSafeHwnd(), &last.data, &last.size);
            endedBy = LOWORD(wParam);
        }
        return CSplashDlg::WindowProc(message, wParam, lParam);
    }
};

struct SplashRun {
    CWatchedSplash splash;
    INT_PTR result = 0;
};

DWORD WINAPI RunSplash(LPVOID param)
{
    SplashRun* run = static_cast<SplashRun*>(param);
    run->result = run->splash.DoModal();
    return 0;
}

HWND VisibleWindowOf(DWORD threadId)
{
    struct Find {
        DWORD thread;
        HWND found;
    } find = {threadId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            Find* f = reinterpret_cast<Find*>(param);
            if (GetWindowThreadProcessId(window, nullptr) == f->thread && IsWindowVisible(window)) {
                f->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// The first column of the track's middle row that is not the fill (the track's end, 214, when
// it is filled all the way), after checking that the row holds only fill and track.
int FillEnd(const Pixels& shown)
{
    int end = -1;
    for (int x = 34; x < 214; ++x) {
        const uint32_t p = shown.At(x, 183);
        EXPECT_TRUE(p == kFill || p == kTrack) << "x " << x << ": " << std::hex << p;
        if (p != kFill && end < 0)
            end = x;
        if (p == kFill && end >= 0)
            ADD_FAILURE() << "fill after the track at x " << x;
    }
    return end < 0 ? 214 : end;
}

class SplashDialog : public apptest::DialogFixture {};

TEST_F(SplashDialog, FillsItsTrackStepByStepAndEndsOnlyAfterTheLastWithOk)
{
    pt::UseManualClock();
    SplashRun run;
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, RunSplash, &run, 0, &threadId);
    ASSERT_NE(thread, nullptr);
    HWND window = nullptr;
    for (int i = 0; i < 20000 && !window; ++i) {
        window = VisibleWindowOf(threadId);
        if (!window)
            Sleep(1);
    }
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(pt::WaitForThreadIdle(threadId));
    RECT placed = {};
    GetWindowRect(window, &placed);
    EXPECT_EQ(placed.right - placed.left, 480);
    EXPECT_EQ(placed.bottom - placed.top, 320);
    EXPECT_EQ(GetForegroundWindow(), window);
    // Before the first tick the track is empty.
    EXPECT_EQ(FillEnd(apptest::ReadWindow(window)), 34);

    const struct {
        int step;
        int fillEnd;  // first track column past the fill
    } checkpoints[] = {{1, 35}, {50, 124}, {99, 212}};
    int step = 0;
    for (const auto& c : checkpoints) {
        SCOPED_TRACE(c.step);
        for (; step < c.step; ++step) {
            pt::AdvanceClock(10);
            ASSERT_TRUE(pt::WaitForThreadIdle(threadId));
            if (step == 20) {
                // Enter and Escape, typed while the splash has the keyboard, end nothing.
                pt::InjectKeys({VK_RETURN});
                pt::InjectKeys({VK_ESCAPE});
                ASSERT_TRUE(pt::WaitForThreadIdle(threadId));
            }
        }
        const Pixels shown = apptest::ReadWindow(window);
        EXPECT_EQ(FillEnd(shown), c.fillEnd);
        // Three rows high: 182 to 184.
        EXPECT_EQ(shown.At(34, 182), kFill);
        EXPECT_EQ(shown.At(34, 184), kFill);
        EXPECT_NE(shown.At(34, 185), kFill);
        EXPECT_NE(shown.At(34, 181), kFill);
        EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD(WAIT_TIMEOUT));
        EXPECT_TRUE(IsWindowVisible(window));
    }
    EXPECT_EQ(run.splash.endedBy.load(), 0u);

    // The hundredth tick fills the whole track and ends the dialog with IDOK.
    pt::AdvanceClock(10);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), DWORD(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(run.splash.endedBy.load(), WPARAM(IDOK));
    ASSERT_GT(run.splash.last.size.cx, 214);
    EXPECT_EQ(FillEnd(run.splash.last), 214);
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
