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
    for (UINT key : keys)
        InjectKey(key, true);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        InjectKey(*it, false);
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
        if (filter && filter(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return handled;
}

bool WaitForThreadIdle(DWORD threadId)
{
    // A thread waiting for itself would wait for ever.
    if (threadId == GetCurrentThreadId())
        return false;
    Wm& g = G();
    std::unique_lock<std::mutex> lock(g.lock);
    std::shared_ptr<ThreadState> me = CurrentThreadL();
    for (;;) {
        // Messages sent to this thread's windows are handled while it waits, as SendMessageW
        // does, so that the other thread may send here on its way to idleness.
        if (DeliverNextSentL(me.get(), lock))
            continue;
        auto it = g.threads.find(threadId);
        if (it == g.threads.end() || !it->second->alive)
            return false;
        if (it->second->idle)
            return true;
        g.idleChanged.wait(lock);
    }
}

void UseManualClock()
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    if (g.manualClock)
        return;
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
            if (t.due <= target && (!next || t.due < next))
                next = t.due;
        for (auto& [value, w] : g.windows) {
            if (!w->trackHover || w->thread != me)
                continue;
            uint64_t due = w->hoverStart + w->hoverTime;
            if (due <= target && (!next || due < next))
                next = due;
        }
        if (!next)
            break;
        if (next > g.manualNow)
            g.manualNow = next;
        WakeAllL();
    }
    {
        std::lock_guard<std::mutex> guard(g.lock);
        if (target > g.manualNow)
            g.manualNow = target;
        WakeAllL();
    }
    PumpMessages();
}

namespace {

// The window's own layer and those of its visible descendants, in painting order, each clipped
// to the windows it lies in. Screen coordinates.
void CollectTreeL(Window* w, const RECT& within, bool root, std::vector<ScreenLayer>* layers)
{
    RECT clip;
    RECT rect = ScreenRectL(w);
    if (!IntersectRect(&clip, &rect, &within))
        return;
    ScreenLayer layer;
    layer.pixels = root ? PixelsL(w) : w->pixels;
    layer.origin = ClientOriginL(w);
    layer.clip = clip;
    layers->push_back(layer);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        if ((*it)->style & WS_VISIBLE)
            CollectTreeL(*it, clip, false, layers);
}

}  // namespace

bool ReadWindowPixels(HWND window, std::vector<uint32_t>* pixels, SIZE* size)
{
    if (!pixels || !size)
        return false;
    Wm& g = G();
    std::vector<ScreenLayer> layers;
    RECT bounds = {};
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return false;
        bounds = ScreenRectL(w);
        if (w->exStyle & WS_EX_LAYERED) {
            // A layered window shows its picture only, or nothing before the first one.
            if (w->layered) {
                bounds.right = bounds.left + w->layered->Width();
                bounds.bottom = bounds.top + w->layered->Height();
                layers.push_back(ScreenLayer{w->layered, POINT{bounds.left, bounds.top}, bounds});
            }
        } else {
            CollectTreeL(w, bounds, true, &layers);
        }
    }
    *size = SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
    pixels->assign(size_t(size->cx) * size_t(size->cy), 0);
    for (const ScreenLayer& layer : layers) {
        if (!layer.pixels)
            continue;
        std::lock_guard<std::mutex> lock(layer.pixels->Lock());
        RECT part = layer.clip;
        RECT surface = {layer.origin.x, layer.origin.y, layer.origin.x + layer.pixels->Width(),
                        layer.origin.y + layer.pixels->Height()};
        if (!IntersectRect(&part, &part, &surface))
            continue;
        for (LONG y = part.top; y < part.bottom; ++y) {
            const uint32_t* from =
                layer.pixels->Row(y - layer.origin.y) + (part.left - layer.origin.x);
            uint32_t* to = pixels->data() + size_t(y - bounds.top) * size_t(size->cx) +
                           size_t(part.left - bounds.left);
            std::memcpy(to, from, size_t(part.right - part.left) * 4);
        }
    }
    return true;
}

bool SaveWindowPng(HWND window, const std::string& path)
{
    std::vector<uint32_t> pixels;
    SIZE size;
    if (!ReadWindowPixels(window, &pixels, &size) || size.cx <= 0 || size.cy <= 0)
        return false;
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
