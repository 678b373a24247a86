// Message retrieval order, timers on the manual clock, creation and destruction.
#include "harness.h"

using namespace usertest;
using platform::testing::AdvanceClock;
using platform::testing::AdvanceClockAndPump;
using platform::testing::PumpMessages;

namespace {

class UserMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::UseManualClock();
        TakeLog();
    }
};

TEST_F(UserMessages, RetrievalOrderIsPostedInputQuitPaintTimer)
{
    HWND w = Make("W", {WS_POPUP | WS_VISIBLE, 0, {100, 100, 200, 200}});
    ASSERT_TRUE(w);
    PumpMessages();
    TakeLog();

    // Queue one of each kind, in the opposite of the order they come out.
    ASSERT_TRUE(SetTimer(w, 7, 10, nullptr));
    AdvanceClock(10);
    InvalidateRect(w, nullptr, FALSE);
    platform::testing::InjectMouseMove(150, 150);
    PostMessageW(w, WM_USER, 0, 0);
    PostQuitMessage(3);

    std::vector<std::string> seen;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        seen.push_back(std::string(MessageName(msg.message)));
        DispatchMessageW(&msg);
        if (msg.message == WM_TIMER)
            break;
        if (seen.size() > 10)
            break;
    }
    // WM_QUIT ends the loop before paint and timer are looked at.
    EXPECT_EQ(seen, (std::vector<std::string>{"WM_USER", "WM_MOUSEMOVE"}));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);

    seen.clear();
    PostMessageW(w, WM_USER + 1, 0, 0);
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        seen.push_back(std::string(MessageName(msg.message)));
        DispatchMessageW(&msg);
        // A message posted while painting still comes before the timer.
        if (msg.message == WM_PAINT)
            PostMessageW(w, WM_USER + 2, 0, 0);
        if (msg.message == WM_TIMER || seen.size() > 10)
            break;
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"WM_USER+1", "WM_PAINT", "WM_USER+2", "WM_TIMER"}));
    DestroyWindow(w);
}

TEST_F(UserMessages, PeekMessageFiltersAndLeavesPaintUntilValidated)
{
    HWND w = Make("W", {WS_POPUP | WS_VISIBLE});
    PumpMessages();
    PostMessageW(w, WM_USER, 0, 0);
    PostMessageW(nullptr, WM_USER + 1, 0, 0);  // a thread message
    InvalidateRect(w, nullptr, FALSE);

    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_USER + 1));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, w, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT(WM_USER));
    ASSERT_TRUE(PeekMessageW(&msg, w, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_USER));
    // WM_PAINT stays until BeginPaint validates the region.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_PAINT));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_PAINT));
    DispatchMessageW(&msg);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w);
}

TEST_F(UserMessages, AFullQueueRefusesFurtherPostsAndKeepsWhatItHolds)
{
    int received = 0;
    HWND w = Make("W", {WS_POPUP,
                        0,
                        {0, 0, 10, 10},
                        nullptr,
                        0,
                        [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                            if (m == WM_USER)
                                ++received;
                            return std::nullopt;
                        }});
    int posted = 0;
    while (PostMessageW(w, WM_USER, 0, 0) && posted < 20000)
        ++posted;
    EXPECT_EQ(posted, 10000);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_QUOTA));
    // Sending still works: it does not go through the queue.
    EXPECT_EQ(SendMessageW(w, WM_USER, 0, 0), 0);
    PumpMessages();
    EXPECT_EQ(received, 10001);
    EXPECT_TRUE(PostMessageW(w, WM_USER, 0, 0));
    DestroyWindow(w);
}

TEST_F(UserMessages, TimersFireInOrderOfTheirDueTimesOnTheManualClock)
{
    std::vector<std::pair<UINT_PTR, DWORD>> fired;
    DWORD start = 0;
    HWND w = Make("W", {WS_POPUP,
                        0,
                        {0, 0, 10, 10},
                        nullptr,
                        0,
                        [&](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
                            if (m == WM_TIMER)
                                fired.push_back({wp, GetMessageTime() - start});
                            return std::nullopt;
                        }});
    MSG probe;
    PostMessageW(w, WM_USER, 0, 0);
    GetMessageW(&probe, nullptr, 0, 0);
    start = probe.time;
    SetTimer(w, 1, 30, nullptr);
    SetTimer(w, 2, 50, nullptr);
    AdvanceClockAndPump(150);
    EXPECT_EQ(fired,
              (std::vector<std::pair<UINT_PTR, DWORD>>{
                  {1, 30}, {2, 50}, {1, 60}, {1, 90}, {2, 100}, {1, 120}, {1, 150}, {2, 150}}));

    // However long nobody looks, a timer gives one WM_TIMER, then runs on a period later.
    fired.clear();
    AdvanceClock(1000);
    PumpMessages();
    EXPECT_EQ(fired.size(), 2u);
    fired.clear();
    KillTimer(w, 2);
    EXPECT_FALSE(KillTimer(w, 2));
    AdvanceClockAndPump(30);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].first, 1u);

    // Below the minimum period, a timer runs every 10 ms.
    KillTimer(w, 1);
    fired.clear();
    SetTimer(w, 3, 1, nullptr);
    AdvanceClockAndPump(100);
    EXPECT_EQ(fired.size(), 10u);
    DestroyWindow(w);
}

std::vector<UINT_PTR> g_procTimers;
void CALLBACK TimerProc(HWND, UINT message, UINT_PTR id, DWORD)
{
    if (message == WM_TIMER)
        g_procTimers.push_back(id);
}

TEST_F(UserMessages, ThreadTimersAndTimerProceduresGoThroughDispatch)
{
    UINT_PTR a = SetTimer(nullptr, 0, 20, TimerProc);
    UINT_PTR b = SetTimer(nullptr, 0, 20, TimerProc);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    AdvanceClockAndPump(20);
    EXPECT_EQ(g_procTimers, (std::vector<UINT_PTR>{a, b}));
    KillTimer(nullptr, a);
    KillTimer(nullptr, b);

    // A WM_TIMER whose lParam names no live timer calls nothing.
    g_procTimers.clear();
    MSG forged = {};
    forged.message = WM_TIMER;
    forged.wParam = a;
    forged.lParam = reinterpret_cast<LPARAM>(&TimerProc);
    DispatchMessageW(&forged);
    EXPECT_TRUE(g_procTimers.empty());
}

TEST_F(UserMessages, CreationSendsItsMessagesAndFailureDestroysTheWindow)
{
    struct Case {
        const char* name;
        UINT refuse;  // the creation message answered with failure, or 0
        LRESULT answer;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"ok", 0, 0, {"ok:WM_CREATE", "ok:WM_SIZE", "ok:WM_MOVE", "ok:WM_SHOWWINDOW(1)"}},
        {"nocreate",
         WM_CREATE,
         -1,
         {"nocreate:WM_CREATE", "nocreate:WM_DESTROY", "nocreate:WM_NCDESTROY"}},
        {"noncc", WM_NCCREATE, FALSE, {"noncc:WM_NCDESTROY"}},
    };
    HWND parent = Make("P", {WS_POPUP});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TakeLog();
        UINT refuse = c.refuse;
        LRESULT answer = c.answer;
        HWND w = Make(c.name, {WS_CHILD | WS_VISIBLE,
                               0,
                               {5, 6, 25, 36},
                               parent,
                               11,
                               [=](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                                   if (m == refuse)
                                       return answer;
                                   return std::nullopt;
                               }});
        EXPECT_EQ(Only(TakeLog(), {"WM_CREATE", "WM_SIZE", "WM_MOVE", "WM_SHOWWINDOW", "WM_DESTROY",
                                   "WM_NCDESTROY"}),
                  c.expected);
        if (refuse) {
            EXPECT_EQ(w, nullptr);
            EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
        } else {
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(GetDlgItem(parent, 11), w);
            DestroyWindow(w);
        }
    }

    EXPECT_EQ(
        CreateWindowExW(0, kClass, L"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_TLW_WITH_WSCHILD));
    EXPECT_EQ(CreateWindowExW(0, L"NoSuchClass", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
    DestroyWindow(parent);
}

TEST_F(UserMessages, DestructionGoesOwnedFirstThenParentBeforeChildren)
{
    HWND parent = Make("P", {WS_POPUP | WS_VISIBLE});
    HWND first = Make("C1", {WS_CHILD | WS_VISIBLE, 0, {0, 0, 10, 10}, parent});
    Make("G", {WS_CHILD | WS_VISIBLE, 0, {0, 0, 5, 5}, first});
    Make("C2", {WS_CHILD | WS_VISIBLE, 0, {20, 0, 30, 10}, parent});
    HWND owned = Make("O", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 10, 10}, first});
    EXPECT_EQ(GetParent(owned), parent);  // owned by the top-level ancestor of C1
    PumpMessages();
    TakeLog();
    ASSERT_TRUE(DestroyWindow(parent));
    EXPECT_EQ(
        Only(TakeLog(), {"WM_DESTROY", "WM_NCDESTROY"}),
        (std::vector<std::string>{"O:WM_DESTROY", "O:WM_NCDESTROY", "P:WM_DESTROY", "C2:WM_DESTROY",
                                  "C1:WM_DESTROY", "G:WM_DESTROY", "C2:WM_NCDESTROY",
                                  "G:WM_NCDESTROY", "C1:WM_NCDESTROY", "P:WM_NCDESTROY"}));
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(IsWindow(owned));
}

TEST_F(UserMessages, MessagesQueuedForADestroyedWindowAreDropped)
{
    HWND w = Make("W", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 50, 50}});
    PumpMessages();
    for (int i = 0; i < 3; ++i)
        PostMessageW(w, WM_USER, 0, 0);
    SetTimer(w, 1, 10, nullptr);
    InvalidateRect(w, nullptr, TRUE);
    platform::testing::InjectClick(10, 10);
    TakeLog();
    DestroyWindow(w);
    AdvanceClockAndPump(50);
    EXPECT_EQ(Only(TakeLog(), {"WM_USER", "WM_TIMER", "WM_PAINT", "WM_LBUTTONDOWN"}),
              std::vector<std::string>{});
    EXPECT_EQ(SendMessageW(w, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(SetTimer(w, 2, 10, nullptr));
}

TEST_F(UserMessages, AWindowMayDestroyItselfAndItsParentInsideItsOwnHandler)
{
    HWND parent = Make("P", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 100, 100}});
    HWND child = nullptr;
    LONG_PTR afterwards = -1;
    child = Make("C", {WS_CHILD | WS_VISIBLE,
                       0,
                       {10, 10, 60, 60},
                       parent,
                       1,
                       [&](HWND self, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                           if (m == WM_LBUTTONDOWN) {
                               DestroyWindow(self);
                               afterwards = GetWindowLongPtrW(self, GWLP_USERDATA);
                               // Default processing of a window that is gone does nothing.
                               DefWindowProcW(self, WM_PAINT, 0, 0);
                               SendMessageW(self, WM_USER, 0, 0);
                               return 0;
                           }
                           return std::nullopt;
                       }});
    PumpMessages();
    TakeLog();
    platform::testing::InjectClick(20, 20);
    PumpMessages();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(afterwards, 0);
    // The release, with the child gone, goes to the parent below it.
    EXPECT_EQ(Only(TakeLog(),
                   {"WM_LBUTTONDOWN", "WM_LBUTTONUP", "WM_DESTROY", "WM_NCDESTROY", "WM_USER"}),
              (std::vector<std::string>{"C:WM_LBUTTONDOWN", "C:WM_DESTROY", "C:WM_NCDESTROY",
                                        "P:WM_LBUTTONUP"}));

    HWND second = Make("C2", {WS_CHILD | WS_VISIBLE,
                              0,
                              {10, 10, 60, 60},
                              parent,
                              2,
                              [&](HWND self, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                                  if (m == WM_USER) {
                                      DestroyWindow(GetParent(self));
                                      return IsWindow(self) ? 1 : 2;
                                  }
                                  return std::nullopt;
                              }});
    EXPECT_EQ(SendMessageW(second, WM_USER, 0, 0), 2);
    EXPECT_FALSE(IsWindow(parent));
}

}  // namespace
