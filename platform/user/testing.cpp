// The window manager's test hooks: injected input, pumping, the manual clock and window pixels.
#include <cstring>

#include "../gdi/object.h"
#include "platform/testing.h"
#include "wm.h"

using namespace platform::user;

namespace platform::testing {

void InjectMouseMove(int x, int y)
{
    InputEvent e;
    e.kind = InputEvent::Kind::Move;
    e.point = POINT{x, y};
    PostInput(e);
}

void InjectMouseButton(int x, int y, MouseButton button, bool down)
{
    InputEvent e;
    e.kind = InputEvent::Kind::Button;
    e.point = POINT{x, y};
    e.button = button == MouseButton::Left ? 0 : button == MouseButton::Right ? 1 : 2;
    e.down = down;
    PostInput(e);
}

void InjectClick(int x, int y, MouseButton button)
{
    InjectMouseMove(x, y);
    InjectMouseButton(x, y, button, true);
    InjectMouseButton(x, y, button, false);
}

void InjectWheel(int x, int y, int delta)
{
    InputEvent e;
    e.kind = InputEvent::Kind::Wheel;
    e.point = POINT{x, y};
    e.wheelDelta = delta;
    PostInput(e);
}

void InjectKey(UINT virtualKey, bool down)
{
    InputEvent e;
    e.kind = InputEvent::Kind::Key;
    e.virtualKey = virtualKey;
    e.down = down;
    PostInput(e);
}

void InjectKeys(std::initializer_list<UINT> keys)
{
    for (UINT key : keys) InjectKey(key, true);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) InjectKey(*it, false);
}

int PumpMessages(const std::function<bool(MSG&)>& filter)
{
    int handled = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ++handled;
        if (msg.message == WM_QUIT) {
            // Left for the caller's own loop to see.
            PostQuitMessage(int(msg.wParam));
            break;
        }
        if (filter && filter(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return handled;
}

bool WaitForThreadIdle(DWORD threadId)
{
    Wm& g = G();
    std::unique_lock<std::mutex> lock(g.lock);
    for (;;) {
        auto it = g.threads.find(threadId);
        if (it == g.threads.end() || !it->second->alive) return false;
        if (it->second->idle) return true;
        g.idleChanged.wait(lock);
    }
}

void UseManualClock()
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    if (g.manualClock) return;
    g.manualNow = GetTickCount64();
    g.manualClock = true;
}

void AdvanceClock(DWORD milliseconds)
{
    UseManualClock();
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    g.manualNow += milliseconds;
    WakeAllL();
}

void AdvanceClockAndPump(DWORD milliseconds)
{
    UseManualClock();
    Wm& g = G();
    uint64_t target;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        target = g.manualNow + milliseconds;
    }
    for (;;) {
        PumpMessages();
        std::lock_guard<std::mutex> guard(g.lock);
        std::shared_ptr<ThreadState> me = CurrentThreadL();
        uint64_t next = 0;
        for (const Timer& t : me->timers)
            if (t.due <= target && (!next || t.due < next)) next = t.due;
        for (auto& [value, w] : g.windows) {
            if (!w->trackHover || w->thread != me) continue;
            uint64_t due = w->hoverStart + w->hoverTime;
            if (due <= target && (!next || due < next)) next = due;
        }
        if (!next) break;
        if (next > g.manualNow) g.manualNow = next;
        WakeAllL();
    }
    {
        std::lock_guard<std::mutex> guard(g.lock);
        if (target > g.manualNow) g.manualNow = target;
        WakeAllL();
    }
    PumpMessages();
}

bool ReadWindowPixels(HWND window, std::vector<uint32_t>* pixels, SIZE* size)
{
    if (!pixels || !size) return false;
    Wm& g = G();
    std::shared_ptr<gdi::Surface> surface;
    RECT client = {};
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w) return false;
        client = ClientRectL(w);
        surface = (w->exStyle & WS_EX_LAYERED) ? w->layered : w->pixels;
        if (!surface && !(w->exStyle & WS_EX_LAYERED)) surface = PixelsL(w);
    }
    if (!surface) {
        // Nothing to show: a layered window before its first picture.
        *size = SIZE{client.right, client.bottom};
        pixels->assign(size_t(client.right) * size_t(client.bottom), 0);
        return true;
    }
    std::lock_guard<std::mutex> lock(surface->Lock());
    *size = SIZE{surface->Width(), surface->Height()};
    pixels->resize(size_t(size->cx) * size_t(size->cy));
    for (int y = 0; y < size->cy; ++y)
        std::memcpy(pixels->data() + size_t(y) * size_t(size->cx), surface->Row(y),
                    size_t(size->cx) * 4);
    return true;
}

bool SaveWindowPng(HWND window, const std::string& path)
{
    std::vector<uint32_t> pixels;
    SIZE size;
    if (!ReadWindowPixels(window, &pixels, &size) || size.cx <= 0 || size.cy <= 0) return false;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, size.cx, size.cy);
    bool saved = false;
    if (auto surface = gdi::BitmapSurface(bitmap)) {
        {
            std::lock_guard<std::mutex> lock(surface->Lock());
            for (int y = 0; y < size.cy; ++y)
                std::memcpy(surface->Row(y), pixels.data() + size_t(y) * size_t(size.cx),
                            size_t(size.cx) * 4);
        }
        saved = SaveBitmapPng(bitmap, path);
    }
    DeleteObject(bitmap);
    DeleteDC(dc);
    return saved;
}

}  // namespace platform::testing
