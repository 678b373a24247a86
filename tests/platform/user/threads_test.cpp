// Windows on several threads: cross-thread sends that stay re-entrant, threads that end, input
// for another thread's window, painting from worker threads, and a message box answered by
// real input. Also run under ThreadSanitizer.
#include <atomic>
#include <latch>
#include <thread>

#include "harness.h"
#include "user/compositor.h"

using namespace usertest;
using platform::testing::InjectClick;
using platform::testing::InjectKeys;
using platform::testing::PumpMessages;
using platform::testing::WaitForThreadIdle;

namespace {

// A thread that creates one window and runs a message loop until WM_QUIT.
class UiThread {
public:
    UiThread(std::string name, Options options)
    {
        std::latch ready(1);
        m_thread = std::thread([&, name, options] {
            m_id = GetCurrentThreadId();
            m_window = Make(name, options);
            ready.count_down();
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (m_keepWindow.load())
                return;  // the thread's end takes it
            if (IsWindow(m_window))
                DestroyWindow(m_window);
        });
        ready.wait();
    }
    ~UiThread() { Stop(); }
    void Stop()
    {
        if (!m_thread.joinable())
            return;
        PostThreadMessageW(m_id, WM_QUIT, 0, 0);
        m_thread.join();
    }
    HWND Window() const { return m_window; }
    DWORD Id() const { return m_id; }
    void KeepWindowAtExit() { m_keepWindow = true; }

private:
    std::thread m_thread;
    DWORD m_id = 0;
    HWND m_window = nullptr;
    std::atomic<bool> m_keepWindow{false};
};

TEST(UserThreads, ASendRunsOnTheTargetThreadAndSentMessagesComeBeforePosted)
{
    HWND main = Make("M", {WS_POPUP, 0, {0, 0, 10, 10}});
    UiThread worker("W", {WS_POPUP,
                          0,
                          {0, 0, 10, 10},
                          nullptr,
                          0,
                          [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                              if (m == WM_USER)
                                  return LRESULT(GetCurrentThreadId());
                              if (m == WM_USER + 1) {
                                  PostMessageW(main, WM_USER + 2, 0, 0);
                                  return SendMessageW(main, WM_USER + 3, 0, 0) + 7;
                              }
                              return std::nullopt;
                          }});
    EXPECT_EQ(DWORD(SendMessageW(worker.Window(), WM_USER, 0, 0)), worker.Id());
    TakeLog();
    // The worker posts to us and then sends to us while we wait in our own send: the sent
    // message is handled at once, the posted one when we next look at our queue.
    EXPECT_EQ(SendMessageW(worker.Window(), WM_USER + 1, 0, 0), 7);
    EXPECT_EQ(Only(TakeLog(), {"WM_USER+2", "WM_USER+3"}),
              (std::vector<std::string>{"M:WM_USER+3"}));
    PumpMessages();
    EXPECT_EQ(Only(TakeLog(), {"WM_USER+2", "WM_USER+3"}),
              (std::vector<std::string>{"M:WM_USER+2"}));

    // What changes another thread's window is sent to that thread.
    std::atomic<DWORD> shownOn{0};
    UiThread other("O", {WS_POPUP,
                         0,
                         {0, 0, 10, 10},
                         nullptr,
                         0,
                         [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                             if (m == WM_SHOWWINDOW)
                                 shownOn = GetCurrentThreadId();
                             return std::nullopt;
                         }});
    ShowWindow(other.Window(), SW_SHOWNA);
    EXPECT_EQ(shownOn.load(), other.Id());
    EXPECT_FALSE(SetTimer(other.Window(), 1, 10, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DestroyWindow(other.Window()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    DestroyWindow(main);
}

TEST(UserThreads, SendsAroundThreeThreadsWhileEachIsInsideASendDoNotDeadlock)
{
    // Each window answers WM_USER (wParam n) by sending n - 1 to the next window in the ring
    // and adding one; the ring runs through three threads, each of which is blocked in its own
    // send when the next message reaches it.
    HWND ring[3] = {};
    std::atomic<int> visits[3] = {};
    auto hop = [&](int index) {
        return [&, index](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
            if (m != WM_USER)
                return std::nullopt;
            ++visits[index];
            if (wp == 0)
                return 0;
            return SendMessageW(ring[(index + 1) % 3], WM_USER, wp - 1, 0) + 1;
        };
    };
    ring[0] = Make("M", {WS_POPUP, 0, {0, 0, 10, 10}, nullptr, 0, hop(0)});
    UiThread b("B", {WS_POPUP, 0, {0, 0, 10, 10}, nullptr, 0, hop(1)});
    UiThread c("C", {WS_POPUP, 0, {0, 0, 10, 10}, nullptr, 0, hop(2)});
    ring[1] = b.Window();
    ring[2] = c.Window();
    EXPECT_EQ(SendMessageW(ring[1], WM_USER, 11, 0), 11);
    EXPECT_EQ(visits[0].load() + visits[1].load() + visits[2].load(), 12);
    EXPECT_EQ(visits[1].load(), 4);
    DestroyWindow(ring[0]);
}

TEST(UserThreads, ActivationNeverWaitsForAThreadThatIsNotLookingAtItsQueue)
{
    HANDLE inside = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    UiThread busy("B", {WS_POPUP | WS_VISIBLE,
                        0,
                        {0, 0, 50, 50},
                        nullptr,
                        0,
                        [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                            if (m == WM_USER) {
                                SetEvent(inside);
                                WaitForSingleObject(go, INFINITE);
                            }
                            return std::nullopt;
                        }});
    ASSERT_EQ(GetForegroundWindow(), busy.Window());
    PostMessageW(busy.Window(), WM_USER, 0, 0);
    WaitForSingleObject(inside, INFINITE);
    TakeLog();

    // The busy thread's window loses activation while that thread waits for an event, as a
    // user-interface thread waits for its splash thread: the change must not wait for it.
    HWND main = Make("M", {WS_POPUP | WS_VISIBLE, 0, {100, 0, 150, 50}});
    EXPECT_EQ(GetActiveWindow(), main);
    SetEvent(go);
    ASSERT_TRUE(WaitForThreadIdle(busy.Id()));
    EXPECT_EQ(Only(TakeLog(), {"WM_ACTIVATE"}),
              (std::vector<std::string>{"M:WM_ACTIVATE(1,B)", "B:WM_ACTIVATE(0,M)"}));
    DestroyWindow(main);
    CloseHandle(inside);
    CloseHandle(go);
}

TEST(UserThreads, AThreadThatEndsTakesItsWindowsAndWakesItsSenders)
{
    std::atomic<int> handled{0};
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
    std::latch created(1);
    std::thread owner([&] {
        window = Make("W", {WS_POPUP | WS_VISIBLE,
                            0,
                            {0, 0, 10, 10},
                            nullptr,
                            0,
                            [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                                if (m == WM_USER)
                                    ++handled;
                                return std::nullopt;
                            }});
        created.count_down();
        // Never looks at its queue again.
        WaitForSingleObject(go, INFINITE);
    });
    created.wait();
    LRESULT result = -1;
    std::thread sender([&] { result = SendMessageW(window, WM_USER, 0, 0); });
    SetEvent(go);
    owner.join();
    sender.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(handled.load(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    CloseHandle(go);
}

TEST(UserThreads, InjectedInputReachesTheThreadThatOwnsTheWindow)
{
    std::atomic<DWORD> pressedOn{0};
    UiThread worker("W", {WS_POPUP | WS_VISIBLE,
                          0,
                          {300, 300, 400, 400},
                          nullptr,
                          0,
                          [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                              if (m == WM_LBUTTONDOWN)
                                  pressedOn = GetCurrentThreadId();
                              return std::nullopt;
                          }});
    HWND mine = Make("M", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 100, 100}});
    PumpMessages();
    TakeLog();
    InjectClick(350, 350);
    InjectClick(50, 50);
    // The click for the worker comes first; this thread waits for it to be taken.
    while (PumpMessages() == 0)
        WaitForThreadIdle(worker.Id());
    ASSERT_TRUE(WaitForThreadIdle(worker.Id()));
    EXPECT_EQ(pressedOn.load(), worker.Id());
    std::vector<std::string> log = Only(TakeLog(), {"WM_LBUTTONDOWN", "WM_LBUTTONUP"});
    EXPECT_EQ(log, (std::vector<std::string>{"W:WM_LBUTTONDOWN", "W:WM_LBUTTONUP",
                                             "M:WM_LBUTTONDOWN", "M:WM_LBUTTONUP"}));
    worker.Stop();
    EXPECT_FALSE(WaitForThreadIdle(worker.Id()));
    EXPECT_FALSE(WaitForThreadIdle(GetCurrentThreadId()));
    DestroyWindow(mine);
}

TEST(UserThreads, PaintingFromWorkerThreadsThroughGetDcIsSerialisedByThePixels)
{
    constexpr int kWorkers = 4;
    constexpr int kBand = 16;
    HWND window = Make("W", {WS_POPUP | WS_VISIBLE, 0, {0, 0, kBand * kWorkers, 32}});
    PumpMessages();
    const COLORREF colours[kWorkers] = {RGB(200, 0, 0), RGB(0, 200, 0), RGB(0, 0, 200),
                                        RGB(200, 200, 0)};
    std::atomic<bool> resizing{true};
    std::latch settled(kWorkers + 1);
    std::vector<std::thread> workers;
    for (int i = 0; i < kWorkers; ++i) {
        workers.emplace_back([&, i] {
            HBRUSH brush = CreateSolidBrush(colours[i]);
            RECT band = {i * kBand, 0, (i + 1) * kBand, 32};
            while (resizing.load()) {
                HDC dc = GetDC(window);
                FillRect(dc, &band, brush);
                ReleaseDC(window, dc);
            }
            settled.arrive_and_wait();
            HDC dc = GetDC(window);
            FillRect(dc, &band, brush);
            ReleaseDC(window, dc);
            DeleteObject(brush);
        });
    }
    // Meanwhile the window changes size and the compositor reads its pixels.
    std::thread compositor([&] {
        while (resizing.load()) {
            platform::user::ScreenState state = platform::user::TakeScreenState();
            for (const auto& w : state.windows)
                for (const auto& layer : w.layers)
                    if (layer.pixels) {
                        std::lock_guard<std::mutex> lock(layer.pixels->Lock());
                        volatile uint32_t first = layer.pixels->Row(0)[0];
                        (void)first;
                    }
        }
    });
    for (int round = 0; round < 40; ++round) {
        MoveWindow(window, 0, 0, kBand * kWorkers + (round % 2) * 8, 32 + (round % 3) * 4, TRUE);
        PumpMessages();
    }
    MoveWindow(window, 0, 0, kBand * kWorkers, 32, FALSE);
    resizing = false;
    compositor.join();
    settled.arrive_and_wait();
    for (std::thread& t : workers)
        t.join();

    std::vector<uint32_t> pixels;
    SIZE size;
    ASSERT_TRUE(platform::testing::ReadWindowPixels(window, &pixels, &size));
    ASSERT_EQ(size.cx, kBand * kWorkers);
    for (int i = 0; i < kWorkers; ++i) {
        uint32_t expected =
            (GetRValue(colours[i]) << 16) | (GetGValue(colours[i]) << 8) | GetBValue(colours[i]);
        EXPECT_EQ(pixels[size_t(5 * size.cx + i * kBand + 3)], expected) << "band " << i;
    }
    DestroyWindow(window);
}

TEST(UserThreads, AMessageBoxAnsweredByTheUserKeepsItsDisabledOwnerFromInput)
{
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 800, 600}});
    PumpMessages();
    TakeLog();
    DWORD ui = GetCurrentThreadId();
    std::thread user([&] {
        // The box is up and painted once this thread's loop waits.
        WaitForThreadIdle(ui);
        HWND box = GetForegroundWindow();
        // A click on the disabled dialog brings the box back to the front and reaches nobody.
        InjectClick(20, 580);
        WaitForThreadIdle(ui);
        RECT r;
        GetWindowRect(GetDlgItem(box, IDCANCEL), &r);
        InjectClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    });
    int answer = MessageBoxW(dialog, L"Stop playback?", L"Tessaly", MB_OKCANCEL);
    user.join();
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(Only(TakeLog(), {"WM_LBUTTONDOWN", "WM_ENABLE"}),
              (std::vector<std::string>{"D:WM_ENABLE(0)", "D:WM_ENABLE(1)"}));
    EXPECT_EQ(GetActiveWindow(), dialog);

    // Keys already waiting answer the box as soon as it takes the focus.
    struct Case {
        std::initializer_list<UINT> keys;
        UINT type;
        int answer;
    };
    const Case cases[] = {
        {{VK_RETURN}, MB_OKCANCEL, IDOK},
        {{VK_ESCAPE}, MB_OKCANCEL, IDCANCEL},
        {{VK_ESCAPE}, MB_OK, IDOK},
        {{VK_MENU, VK_F4}, MB_YESNOCANCEL, IDCANCEL},
        {{VK_RETURN}, MB_YESNO | MB_DEFBUTTON2, IDNO},
    };
    for (const Case& c : cases) {
        InjectKeys(c.keys);
        EXPECT_EQ(MessageBoxW(dialog, L"?", L"Tessaly", c.type), c.answer) << c.type;
        PumpMessages();
    }
    EXPECT_TRUE(IsWindowEnabled(dialog));
    DestroyWindow(dialog);
}

}  // namespace
