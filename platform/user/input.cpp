// The input queue: routing mouse and key events to windows, hit testing, double clicks, leave
// and hover tracking, key state and cursors.
//
// Events wait in one queue in the order they arrived. The thread that owns the window an event
// is for takes it when it looks for input; the window is chosen at that moment, from the
// capture, focus and window positions as they are then, so that a press handled earlier (which
// may take the capture) decides where the following release goes.
#include <algorithm>
#include <cstdlib>

#include "wm.h"

namespace platform::user {

namespace {

constexpr size_t kMaxQueuedInput = 10000;
constexpr UINT kDoubleClickTime = 500;
constexpr int kDoubleClickWidth = 4;
constexpr int kDoubleClickHeight = 4;
constexpr DWORD kDefaultHoverTime = 400;

// What an event becomes for the window it goes to.
struct Route {
    Window* target = nullptr;
    MSG msg = {};
    bool doubleClick = false;
    // A press on a disabled top-level window: the enabled window it owns (a modal box) is
    // activated instead and the press is dropped.
    Window* activateInstead = nullptr;
};

UINT ButtonMessage(int button, bool down)
{
    static const UINT downs[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static const UINT ups[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    button = std::clamp(button, 0, 2);
    return down ? downs[button] : ups[button];
}

int ButtonKey(int button)
{
    static const int keys[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    return keys[std::clamp(button, 0, 2)];
}

WPARAM MouseKeys(const BYTE* keys)
{
    WPARAM flags = 0;
    if (keys[VK_LBUTTON] & 0x80)
        flags |= MK_LBUTTON;
    if (keys[VK_RBUTTON] & 0x80)
        flags |= MK_RBUTTON;
    if (keys[VK_MBUTTON] & 0x80)
        flags |= MK_MBUTTON;
    if (keys[VK_SHIFT] & 0x80)
        flags |= MK_SHIFT;
    if (keys[VK_CONTROL] & 0x80)
        flags |= MK_CONTROL;
    return flags;
}

LPARAM PackPoint(LONG x, LONG y)
{
    return MAKELPARAM(WORD(SHORT(x)), WORD(SHORT(y)));
}

bool IsExtendedKey(UINT vk)
{
    return (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE;
}

bool LayeredHitL(const Window* w, POINT screen)
{
    if (!w->layered || w->layeredAlpha == 0)
        return false;
    if (!w->layeredPerPixel)
        return true;
    int x = screen.x - w->rect.left;
    int y = screen.y - w->rect.top;
    if (x < 0 || y < 0 || x >= w->layered->Width() || y >= w->layered->Height())
        return false;
    std::lock_guard<std::mutex> pixels(w->layered->Lock());
    return (w->layered->Row(y)[x] >> 24) != 0;
}

Window* DescendL(Window* w, POINT screen)
{
    for (Window* child : w->children) {
        if (!(child->style & WS_VISIBLE) || !EnabledL(child))
            continue;
        RECT r = ScreenRectL(child);
        if (!PtInRect(&r, screen))
            continue;
        return DescendL(child, screen);
    }
    return w;
}

Route RouteL(const RawInput& raw)
{
    Wm& g = G();
    Route route;
    const InputEvent& e = raw.event;
    route.msg.time = raw.time;
    route.msg.pt = e.point;
    BYTE keys[256];
    std::copy(std::begin(g.keys), std::end(g.keys), keys);

    if (e.kind == InputEvent::Kind::Key) {
        UINT vk = e.virtualKey & 0xFF;
        bool wasDown = (keys[vk] & 0x80) != 0;
        keys[vk] = e.down ? BYTE(keys[vk] | 0x80) : BYTE(keys[vk] & ~0x80);
        bool alt = (keys[VK_MENU] & 0x80) != 0;
        bool control = (keys[VK_CONTROL] & 0x80) != 0;
        bool system = (alt && !control) || vk == VK_MENU || vk == VK_F10;
        Window* target = g.focus;
        if (!target) {
            target = g.active;
            system = true;
        }
        if (!target)
            return route;
        route.target = target;
        route.msg.hwnd = target->handle;
        route.msg.message =
            e.down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
        route.msg.wParam = vk;
        LPARAM l = 1;
        if (IsExtendedKey(vk))
            l |= LPARAM(1) << 24;
        if (alt)
            l |= LPARAM(1) << 29;
        if (wasDown)
            l |= LPARAM(1) << 30;
        if (!e.down)
            l |= LPARAM(1) << 31 | LPARAM(1) << 30;
        route.msg.lParam = LPARAM(DWORD(l));
        return route;
    }

    if (e.kind == InputEvent::Kind::Wheel) {
        Window* target = g.focus ? g.focus : g.active;
        if (!target)
            return route;
        route.target = target;
        route.msg.hwnd = target->handle;
        route.msg.message = WM_MOUSEWHEEL;
        route.msg.wParam = MAKEWPARAM(WORD(MouseKeys(keys)), WORD(SHORT(e.wheelDelta)));
        route.msg.lParam = PackPoint(e.point.x, e.point.y);
        return route;
    }

    if (e.kind == InputEvent::Kind::Button)
        keys[ButtonKey(e.button)] = e.down ? 0x80 : 0;
    Window* target = g.capture;
    if (!target) {
        bool disabled = false;
        target = HitTestL(e.point, &disabled);
        if (target && disabled) {
            if (e.kind == InputEvent::Kind::Button && e.down) {
                for (Window* w : g.topLevels) {
                    if (w->owner == target && OnScreenL(w) && EnabledL(w)) {
                        route.activateInstead = w;
                        break;
                    }
                }
            }
            return route;
        }
    }
    if (!target)
        return route;
    route.target = target;
    route.msg.hwnd = target->handle;
    POINT origin = ClientOriginL(target);
    route.msg.lParam = PackPoint(e.point.x - origin.x, e.point.y - origin.y);
    route.msg.wParam = MouseKeys(keys);
    if (e.kind == InputEvent::Kind::Move) {
        route.msg.message = WM_MOUSEMOVE;
        return route;
    }
    UINT message = ButtonMessage(e.button, e.down);
    if (e.down) {
        const ClickRecord& last = g.lastClick;
        bool dblclks = target->windowClass && (target->windowClass->style & CS_DBLCLKS);
        if (dblclks && last.valid && last.window == target->handle && last.button == message &&
            raw.time - last.time <= kDoubleClickTime &&
            std::abs(e.point.x - last.point.x) <= kDoubleClickWidth / 2 &&
            std::abs(e.point.y - last.point.y) <= kDoubleClickHeight / 2) {
            route.doubleClick = true;
            message += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
        }
    }
    route.msg.message = message;
    return route;
}

void ApplyL(const RawInput& raw, const Route& route)
{
    Wm& g = G();
    const InputEvent& e = raw.event;
    if (e.kind == InputEvent::Kind::Key) {
        UINT vk = e.virtualKey & 0xFF;
        if (e.down) {
            bool wasDown = (g.keys[vk] & 0x80) != 0;
            g.keys[vk] = BYTE(0x80 | (wasDown ? (g.keys[vk] & 1) : ((g.keys[vk] & 1) ^ 1)));
        } else {
            g.keys[vk] &= BYTE(~0x80);
        }
        return;
    }
    g.cursor = e.point;
    if (e.kind == InputEvent::Kind::Button) {
        g.keys[ButtonKey(e.button)] = e.down ? 0x80 : 0;
        if (e.down && route.target) {
            if (route.doubleClick) {
                g.lastClick.valid = false;
            } else {
                g.lastClick.valid = true;
                g.lastClick.window = route.target->handle;
                g.lastClick.button = route.msg.message;
                g.lastClick.time = raw.time;
                g.lastClick.point = e.point;
            }
        }
    }
    uint64_t now = NowL();
    for (auto& [value, w] : g.windows) {
        if (!w->trackHover)
            continue;
        if (std::abs(e.point.x - w->hoverAnchor.x) > kDoubleClickWidth / 2 ||
            std::abs(e.point.y - w->hoverAnchor.y) > kDoubleClickHeight / 2) {
            w->hoverAnchor = e.point;
            w->hoverStart = now;
        }
    }
}

// Posts WM_MOUSELEAVE to tracked windows that the pointer at `point` is not over. Returns true
// when it posted to `me`.
bool PostLeavesL(POINT point, ThreadState* me)
{
    Wm& g = G();
    bool disabled = false;
    Window* over = HitTestL(point, &disabled);
    bool postedToMe = false;
    for (auto& [value, w] : g.windows) {
        if (!w->trackLeave && !w->trackHover)
            continue;
        if (w.get() == over || w.get() == g.capture)
            continue;
        if (w->trackLeave) {
            MSG msg = {};
            msg.hwnd = w->handle;
            msg.message = WM_MOUSELEAVE;
            msg.time = DWORD(NowL());
            msg.pt = point;
            PostL(w->thread.get(), msg);
            if (w->thread.get() == me)
                postedToMe = true;
        }
        w->trackLeave = false;
        w->trackHover = false;
    }
    return postedToMe;
}

}  // namespace

Window* HitTestL(POINT screen, bool* disabledTopLevel)
{
    *disabledTopLevel = false;
    for (Window* w : G().topLevels) {
        if (!OnScreenL(w))
            continue;
        RECT r = ScreenRectL(w);
        if (!PtInRect(&r, screen))
            continue;
        if ((w->exStyle & WS_EX_LAYERED) && !LayeredHitL(w, screen))
            continue;
        if (!EnabledL(w)) {
            *disabledTopLevel = true;
            return w;
        }
        return DescendL(w, screen);
    }
    return nullptr;
}

void CheckTrackingL()
{
    PostLeavesL(G().cursor, nullptr);
}

uint64_t FireHoversL(ThreadState* me)
{
    Wm& g = G();
    uint64_t now = NowL();
    uint64_t next = 0;
    for (auto& [value, w] : g.windows) {
        if (!w->trackHover || w->thread.get() != me)
            continue;
        uint64_t due = w->hoverStart + w->hoverTime;
        if (due > now) {
            if (!next || due < next)
                next = due;
            continue;
        }
        POINT origin = ClientOriginL(w.get());
        MSG msg = {};
        msg.hwnd = w->handle;
        msg.message = WM_MOUSEHOVER;
        msg.wParam = MouseKeys(g.keys);
        msg.lParam = PackPoint(g.cursor.x - origin.x, g.cursor.y - origin.y);
        msg.time = DWORD(now);
        msg.pt = g.cursor;
        PostL(me, msg);
        w->trackHover = false;
    }
    return next;
}

InputResult TakeInput(ThreadState* me, MSG* out, HWND filter, UINT min, UINT max, bool remove,
                      std::unique_lock<std::mutex>& lock)
{
    Wm& g = G();
    while (!g.input.empty()) {
        RawInput raw = g.input.front();
        Route route = RouteL(raw);
        if (!route.target) {
            // Nobody's event: it only moves the pointer and the key state.
            g.input.pop_front();
            ApplyL(raw, route);
            PostLeavesL(g.cursor, nullptr);
            WakeAllL();
            if (route.activateInstead) {
                HWND window = route.activateInstead->handle;
                lock.unlock();
                Activate(window, WA_CLICKACTIVE);
                lock.lock();
                return InputResult::Retry;
            }
            continue;
        }
        if (route.target->thread.get() != me) {
            WakeL(route.target->thread.get());
            return InputResult::None;
        }
        if (!MatchesFilter(route.msg, filter, min, max))
            return InputResult::None;
        if (!remove) {
            *out = route.msg;
            return InputResult::Got;
        }
        bool mouse =
            raw.event.kind == InputEvent::Kind::Move || raw.event.kind == InputEvent::Kind::Button;
        // Leaving comes first: a window the pointer left hears of it before the window it
        // moved to gets the move.
        if (mouse && PostLeavesL(raw.event.point, me))
            return InputResult::Retry;
        g.input.pop_front();
        ApplyL(raw, route);
        if (mouse)
            PostLeavesL(g.cursor, nullptr);
        WakeAllL();

        MSG msg = route.msg;
        bool captured = g.capture != nullptr;
        bool press = raw.event.kind == InputEvent::Kind::Button && raw.event.down;
        Window* top = TopLevelL(route.target);
        bool activate = press && top != g.active;
        HWND topHandle = top->handle;
        lock.unlock();
        bool eat = false;
        if (activate) {
            LRESULT answer = SendMessageW(msg.hwnd, WM_MOUSEACTIVATE, WPARAM(topHandle),
                                          MAKELPARAM(HTCLIENT, msg.message));
            if (answer == MA_ACTIVATEANDEAT || answer == MA_NOACTIVATEANDEAT)
                eat = true;
            if (answer != MA_NOACTIVATE && answer != MA_NOACTIVATEANDEAT)
                Activate(topHandle, WA_CLICKACTIVE);
        }
        if (mouse && !captured)
            SendMessageW(msg.hwnd, WM_SETCURSOR, WPARAM(msg.hwnd),
                         MAKELPARAM(HTCLIENT, msg.message));
        lock.lock();
        if (eat || !FindL(msg.hwnd))
            return InputResult::Retry;
        *out = msg;
        return InputResult::Got;
    }
    return InputResult::None;
}

void PostInput(const InputEvent& event)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    RawInput raw;
    raw.event = event;
    raw.event.point.x = std::clamp<LONG>(event.point.x, 0, g.screen.cx - 1);
    raw.event.point.y = std::clamp<LONG>(event.point.y, 0, g.screen.cy - 1);
    raw.time = DWORD(NowL());
    // A queue nobody reads drops pointer moves first; presses, releases and keys are kept.
    if (g.input.size() >= kMaxQueuedInput && event.kind == InputEvent::Kind::Move)
        return;
    if (event.kind == InputEvent::Kind::Key) {
        UINT vk = event.virtualKey & 0xFF;
        g.asyncKeys[vk] = event.down ? 0x80 : 0;
    } else {
        g.asyncCursor = raw.event.point;
        if (event.kind == InputEvent::Kind::Button)
            g.asyncKeys[ButtonKey(event.button)] = event.down ? 0x80 : 0;
    }
    g.input.push_back(raw);
    WakeAllL();
}

}  // namespace platform::user

using namespace platform::user;

HWND WindowFromPoint(POINT point)
{
    std::lock_guard<std::mutex> guard(G().lock);
    bool disabled = false;
    return H(HitTestL(point, &disabled));
}

BOOL GetCursorPos(LPPOINT point)
{
    if (!point) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(G().lock);
    *point = G().cursor;
    return TRUE;
}

UINT GetDoubleClickTime()
{
    return kDoubleClickTime;
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track)
{
    if (!track || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    if (track->dwFlags & TME_QUERY) {
        TRACKMOUSEEVENT found = {sizeof(TRACKMOUSEEVENT), 0, nullptr, 0};
        for (auto& [value, w] : g.windows) {
            if (!w->trackLeave && !w->trackHover)
                continue;
            found.hwndTrack = w->handle;
            found.dwFlags = (w->trackLeave ? TME_LEAVE : 0) | (w->trackHover ? TME_HOVER : 0);
            found.dwHoverTime = w->hoverTime;
            break;
        }
        *track = found;
        return TRUE;
    }
    Window* w = FindL(track->hwndTrack);
    if (!w)
        return FALSE;
    if (track->dwFlags & TME_CANCEL) {
        if (track->dwFlags & TME_LEAVE)
            w->trackLeave = false;
        if (track->dwFlags & TME_HOVER)
            w->trackHover = false;
        return TRUE;
    }
    bool disabled = false;
    bool over = HitTestL(g.cursor, &disabled) == w || g.capture == w;
    if (track->dwFlags & TME_LEAVE) {
        if (over) {
            w->trackLeave = true;
        } else {
            MSG msg = {};
            msg.hwnd = w->handle;
            msg.message = WM_MOUSELEAVE;
            msg.time = DWORD(NowL());
            msg.pt = g.cursor;
            PostL(w->thread.get(), msg);
        }
    }
    if ((track->dwFlags & TME_HOVER) && over) {
        DWORD time = track->dwHoverTime == HOVER_DEFAULT ? kDefaultHoverTime : track->dwHoverTime;
        w->trackHover = true;
        w->hoverTime = std::max<DWORD>(time, USER_TIMER_MINIMUM);
        w->hoverStart = NowL();
        w->hoverAnchor = g.cursor;
        WakeL(w->thread.get());
    }
    return TRUE;
}

SHORT GetKeyState(int virtualKey)
{
    std::lock_guard<std::mutex> guard(G().lock);
    BYTE state = G().keys[virtualKey & 0xFF];
    return SHORT(((state & 0x80) ? 0x8000 : 0) | (state & 1));
}

SHORT GetAsyncKeyState(int virtualKey)
{
    std::lock_guard<std::mutex> guard(G().lock);
    return (G().asyncKeys[virtualKey & 0xFF] & 0x80) ? SHORT(0x8000) : SHORT(0);
}

// ---------------------------------------------------------------------------------------------
// Cursors

namespace {

struct SystemCursor {
    WORD id;
    CursorShape shape;
};

const SystemCursor kCursors[] = {
    {32512, CursorShape::Arrow},    {32513, CursorShape::IBeam},    {32514, CursorShape::Wait},
    {32642, CursorShape::SizeNWSE}, {32643, CursorShape::SizeNESW}, {32644, CursorShape::SizeWE},
    {32645, CursorShape::SizeNS},   {32646, CursorShape::SizeAll},  {32649, CursorShape::Hand},
};

// System cursor handles are small tagged numbers that no other handle uses.
HCURSOR CursorHandle(size_t index)
{
    return reinterpret_cast<HCURSOR>(uintptr_t(0x7C000000) + index * 4);
}

}  // namespace

namespace platform::user {

CursorShape ShapeOf(HCURSOR cursor)
{
    for (size_t i = 0; i < std::size(kCursors); ++i)
        if (CursorHandle(i) == cursor)
            return kCursors[i].shape;
    return CursorShape::Arrow;
}

}  // namespace platform::user

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name)
{
    if (!instance && IS_INTRESOURCE(name)) {
        WORD id = WORD(reinterpret_cast<uintptr_t>(name));
        for (size_t i = 0; i < std::size(kCursors); ++i)
            if (kCursors[i].id == id)
                return CursorHandle(i);
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    HCURSOR previous = g.cursorShape;
    if (previous != cursor) {
        g.cursorShape = cursor;
        ++g.generation;
        g.screenChanged.notify_all();
    }
    return previous;
}

HCURSOR GetCursor()
{
    std::lock_guard<std::mutex> guard(G().lock);
    return G().cursorShape;
}

int ShowCursor(BOOL show)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    g.cursorCount += show ? 1 : -1;
    ++g.generation;
    g.screenChanged.notify_all();
    return g.cursorCount;
}
