// The SDL presenter on SDL's dummy video driver: what arrives in its window (mouse, wheel, keys,
// dropped files, a request to close) reaches the window manager as Windows input, and it stops
// cleanly; and composing while a worker thread paints a window and the presenter shows it.
#include <SDL.h>

#include <atomic>
#include <thread>

#include "harness.h"
#include "screen/drop.h"
#include "screen/presenter.h"

using namespace screentest;
using platform::screen::ActivePresenter;
using platform::screen::FileDrop;
using platform::screen::PresenterKind;

namespace {

constexpr UINT kDropped = WM_USER + 5;

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Touched only by the test thread, which owns the window.
std::vector<Received> g_received;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_MOUSEWHEEL:
        case WM_KEYDOWN:
        case WM_KEYUP:
        case kDropped:
            g_received.push_back({message, wParam, lParam});
            return 0;
        case WM_CLOSE:  // recorded, and refused: the test ends the window itself
            g_received.push_back({message, wParam, lParam});
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND MakeRecordingWindow()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = L"ScreenTestRecorder";
    RegisterClassExW(&wc);
    return CreateWindowExW(0, L"ScreenTestRecorder", L"", WS_POPUP | WS_VISIBLE, 10, 10, 30, 30,
                           nullptr, nullptr, nullptr, nullptr);
}

// Handles the thread's messages until `message` has arrived, and returns what arrived since the
// previous call.
std::vector<Received> WaitFor(UINT message, WPARAM wParam)
{
    for (;;) {
        for (const Received& r : g_received) {
            if (r.message == message && r.wParam == wParam) {
                std::vector<Received> got;
                got.swap(g_received);
                return got;
            }
        }
        MSG msg;
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0)
            return {};
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Push(SDL_Event event)
{
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

SDL_Event Mouse(Uint32 type, int x, int y, Uint8 button = 0)
{
    SDL_Event e = {};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.x = x;
        e.motion.y = y;
    } else {
        e.button.x = x;
        e.button.y = y;
        e.button.button = button;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
    }
    return e;
}

SDL_Event Wheel(int y, bool flipped)
{
    SDL_Event e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = y;
    e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    return e;
}

SDL_Event Key(bool down, SDL_Keycode key, SDL_Scancode code)
{
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = code;
    return e;
}

SDL_Event Drop(Uint32 type, const char* file = nullptr)
{
    SDL_Event e = {};
    e.type = type;
    e.drop.file = file ? SDL_strdup(file) : nullptr;  // the presenter frees it, as SDL's own
    return e;
}

std::vector<UINT> Messages(const std::vector<Received>& got)
{
    std::vector<UINT> messages;
    for (const Received& r : got)
        messages.push_back(r.message);
    return messages;
}

class ScreenSdlPresenter : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_TRUE(platform::screen::StartSdlPresenter());
    }
    void TearDown() override
    {
        platform::screen::StopPresenter();
        EXPECT_EQ(ActivePresenter(), PresenterKind::Headless);
    }
};

TEST_F(ScreenSdlPresenter, TurnsWindowInputIntoWindowsInput)
{
    EXPECT_EQ(ActivePresenter(), PresenterKind::Sdl);
    WindowsGuard keep;
    HWND window = keep(MakeRecordingWindow());

    // A click in screen pixels reaches the window under it, in its client coordinates, and
    // activates it, so the wheel and the keys go to it too.
    Push(Mouse(SDL_MOUSEMOTION, 20, 25));
    Push(Mouse(SDL_MOUSEBUTTONDOWN, 20, 25, SDL_BUTTON_LEFT));
    Push(Mouse(SDL_MOUSEBUTTONUP, 20, 25, SDL_BUTTON_LEFT));
    std::vector<Received> got = WaitFor(WM_LBUTTONUP, 0);
    ASSERT_EQ(Messages(got), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(got[0].lParam, MAKELPARAM(10, 15));
    EXPECT_EQ(GetFocus(), window);
    Push(Mouse(SDL_MOUSEBUTTONDOWN, 20, 25, SDL_BUTTON_RIGHT));
    EXPECT_EQ(Messages(WaitFor(WM_RBUTTONDOWN, MK_RBUTTON)), (std::vector<UINT>{WM_RBUTTONDOWN}));
    Push(Mouse(SDL_MOUSEBUTTONUP, 20, 25, SDL_BUTTON_RIGHT));

    struct WheelCase {
        int y;
        bool flipped;
        int delta;
    } wheels[] = {{1, false, WHEEL_DELTA}, {-2, false, -2 * WHEEL_DELTA}, {1, true, -WHEEL_DELTA}};
    for (const WheelCase& w : wheels) {
        Push(Wheel(w.y, w.flipped));
        // Keys wait until after the wheel; a marker key ends each step.
        Push(Key(true, SDLK_F5, SDL_SCANCODE_F5));
        got = WaitFor(WM_KEYDOWN, VK_F5);
        ASSERT_EQ(Messages(got), (std::vector<UINT>{WM_MOUSEWHEEL, WM_KEYDOWN}));
        EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(got[0].wParam), w.delta);
        Push(Key(false, SDLK_F5, SDL_SCANCODE_F5));
        WaitFor(WM_KEYUP, VK_F5);
    }

    struct KeyCase {
        SDL_Keycode key;
        SDL_Scancode code;
        UINT virtualKey;
    } keys[] = {{SDLK_a, SDL_SCANCODE_A, 'A'},
                {SDLK_7, SDL_SCANCODE_7, '7'},
                {SDLK_F12, SDL_SCANCODE_F12, VK_F12},
                {SDLK_RETURN, SDL_SCANCODE_RETURN, VK_RETURN},
                {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, VK_RETURN},
                {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, VK_NEXT},
                {SDLK_DELETE, SDL_SCANCODE_DELETE, VK_DELETE},
                {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, VK_ESCAPE}};
    for (const KeyCase& k : keys) {
        Push(Key(true, k.key, k.code));
        Push(Key(false, k.key, k.code));
        got = WaitFor(WM_KEYUP, k.virtualKey);
        EXPECT_EQ(got.front().message, UINT(WM_KEYDOWN)) << k.virtualKey;
        EXPECT_EQ(got.front().wParam, k.virtualKey);
    }

    // Both Shift keys down: letting one go keeps Shift down until the other is let go.
    Push(Key(true, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT));
    Push(Key(true, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT));
    Push(Key(false, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT));
    Push(Key(true, SDLK_b, SDL_SCANCODE_B));
    got = WaitFor(WM_KEYDOWN, 'B');
    for (const Received& r : got)
        EXPECT_NE(r.message, UINT(WM_KEYUP)) << "a Shift let go early";
    Push(Key(false, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT));
    WaitFor(WM_KEYUP, VK_SHIFT);

    // A key held while the window loses the keyboard is let go for the layer.
    Push(Key(true, SDLK_c, SDL_SCANCODE_C));
    SDL_Event focus = {};
    focus.type = SDL_WINDOWEVENT;
    focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    Push(focus);
    got = WaitFor(WM_KEYUP, 'C');
    EXPECT_EQ(GetKeyState('C') & 0x8000, 0);
}

TEST_F(ScreenSdlPresenter, HandsDroppedFilesToTheShellAndAsksTheApplicationToClose)
{
    WindowsGuard keep;
    HWND window = keep(MakeRecordingWindow());
    std::mutex lock;
    std::vector<FileDrop> drops;  // guarded by lock
    // Drops arrive on the presenter's thread; the window hears of each one.
    platform::screen::SetFileDropReceiver([&](const FileDrop& drop) {
        std::lock_guard<std::mutex> guard(lock);
        drops.push_back(drop);
        PostMessageW(window, kDropped, drops.size(), 0);
    });

    Push(Drop(SDL_DROPBEGIN));
    Push(Drop(SDL_DROPFILE, "/tmp/REC_2018_09_10_12_30_45_F.mp4"));
    Push(Drop(SDL_DROPFILE, "/tmp/notes.txt"));
    Push(Drop(SDL_DROPCOMPLETE));
    Push(Drop(SDL_DROPFILE, "/tmp/alone.avi"));  // without a begin and end: a drop of its own
    WaitFor(kDropped, 2);
    {
        std::lock_guard<std::mutex> guard(lock);
        ASSERT_EQ(drops.size(), 2u);
        EXPECT_EQ(drops[0].files,
                  (std::vector<std::wstring>{L"C:\\tmp\\REC_2018_09_10_12_30_45_F.mp4",
                                             L"C:\\tmp\\notes.txt"}));
        EXPECT_EQ(drops[1].files, (std::vector<std::wstring>{L"C:\\tmp\\alone.avi"}));
    }
    platform::screen::SetFileDropReceiver(nullptr);

    // Closing the presenter's window asks the application's main windows to close; this one
    // refuses, and the screen goes on being shown.
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    Push(quit);
    EXPECT_EQ(Messages(WaitFor(WM_CLOSE, 0)), (std::vector<UINT>{WM_CLOSE}));
    EXPECT_EQ(ActivePresenter(), PresenterKind::Sdl);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(ScreenSdlPresenter, ComposesWhileAnotherThreadPaints)
{
    WindowsGuard keep;
    HWND window = keep(MakeWindow({8, 8, 40, 40}, RGB(0, 0, 0)));
    Screen();
    const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)};
    constexpr int kPaints = 300;
    std::atomic<bool> done{false};
    // GetDC painting from a thread that does not own the window, as the video renderer does.
    std::thread painter([&] {
        RECT all = {0, 0, 32, 32};
        for (int i = 0; i < kPaints; ++i) {
            HDC dc = GetDC(window);
            HBRUSH brush = CreateSolidBrush(colours[i % 3]);
            FillRect(dc, &all, brush);
            DeleteObject(brush);
            ReleaseDC(window, dc);
        }
        done.store(true);
    });
    auto isPainted = [&](uint32_t pixel) {
        for (COLORREF c : colours)
            if (pixel == Opaque(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF)))
                return true;
        return pixel == Opaque(0);
    };
    do {
        std::vector<uint32_t> pixels;
        SIZE size;
        ASSERT_TRUE(platform::testing::ReadScreenPixels(&pixels, &size));
        for (int y = 8; y < 40; ++y)
            for (int x = 8; x < 40; ++x)
                ASSERT_TRUE(isPainted(At(pixels, x, y))) << x << ", " << y;
    } while (!done.load());
    painter.join();
    ExpectPixels(Screen(), {{8, 8, Opaque(0x0000FF), "the last paint"},
                            {39, 39, Opaque(0x0000FF), "the last paint"}});
}

}  // namespace
