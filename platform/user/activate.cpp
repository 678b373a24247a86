// Activation, focus, capture and enabling.
#include "wm.h"

namespace platform::user {

namespace {

bool StillActive(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    return H(G().active) == window;
}

bool Iconic(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    return w && (w->style & WS_MINIMIZE);
}

}  // namespace

HWND Activate(HWND window, int how)
{
    Wm& g = G();
    HWND previous = nullptr;
    HWND next = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = nullptr;
        if (window) {
            w = FindL(window);
            if (!w)
                return nullptr;
            w = TopLevelL(w);
        }
        previous = H(g.active);
        next = H(w);
        if (g.active == w)
            return previous;
        // The new state is set before any message goes out, so that a window hiding itself
        // while it hears of losing activation does not start another change.
        g.active = w;
        if (w) {
            ZOrderL(w, HWND_TOP);
            if (OnScreenL(w))
                AddDirtyL(ScreenRectL(w));
        }
    }
    if (previous && IsWindow(previous)) {
        Notify(previous, WM_NCACTIVATE, FALSE, 0);
        if (!StillActive(next))
            return previous;
        Notify(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, Iconic(previous) ? 1 : 0),
               reinterpret_cast<LPARAM>(next));
    }
    if (next && StillActive(next)) {
        Notify(next, WM_NCACTIVATE, TRUE, 0);
        if (StillActive(next))
            Notify(next, WM_ACTIVATE, MAKEWPARAM(how, Iconic(next) ? 1 : 0),
                   reinterpret_cast<LPARAM>(previous));
    }
    // A focus left behind in a window that is no longer active goes away.
    bool stale = false;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        stale = g.focus && TopLevelL(g.focus) != g.active;
    }
    if (stale)
        ChangeFocus(nullptr);
    return previous;
}

void ActivateNextAfter(HWND leaving)
{
    Wm& g = G();
    HWND next = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* l = FindL(leaving);
        if (!l)
            return;
        l = TopLevelL(l);
        if (g.active != l)
            return;
        auto takes = [&](const Window* w) {
            return w && w != l && OnScreenL(w) && EnabledL(w) && w->owner != l &&
                   !(w->exStyle & WS_EX_NOACTIVATE);
        };
        if (takes(l->owner)) {
            next = l->owner->handle;
        } else {
            for (Window* w : g.topLevels) {
                if (takes(w) && !(w->exStyle & WS_EX_TOOLWINDOW)) {
                    next = w->handle;
                    break;
                }
            }
        }
    }
    Activate(next, WA_ACTIVE);
}

HWND ChangeFocus(HWND window)
{
    Wm& g = G();
    HWND previous = nullptr;
    bool activate = false;
    HWND top = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = nullptr;
        if (window) {
            w = FindL(window);
            if (!w)
                return nullptr;
            top = TopLevelL(w)->handle;
            activate = TopLevelL(w) != g.active;
        }
    }
    if (activate)
        Activate(top, WA_ACTIVE);
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = window ? FindL(window) : nullptr;
        if (window && !w)
            return nullptr;
        previous = H(g.focus);
        if (g.focus == w)
            return previous;
        g.focus = w;
    }
    if (previous && IsWindow(previous))
        Notify(previous, WM_KILLFOCUS, WPARAM(window), 0);
    bool still = false;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        still = window && H(g.focus) == window;
    }
    if (still)
        Notify(window, WM_SETFOCUS, WPARAM(previous), 0);
    return previous;
}

void ReleaseCaptureFrom(HWND window, bool includeDescendants)
{
    Wm& g = G();
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w || !g.capture)
            return;
        if (g.capture != w && !(includeDescendants && IsAncestorL(w, g.capture)))
            return;
        previous = g.capture->handle;
        g.capture = nullptr;
        CheckTrackingL();
    }
    Notify(previous, WM_CAPTURECHANGED, 0, 0);
}

}  // namespace platform::user

using namespace platform::user;

namespace {

// The window if it belongs to the calling thread, else null.
HWND MineL(Window* w)
{
    return (w && w->threadId == GetCurrentThreadId()) ? w->handle : nullptr;
}

// Whether the calling thread may make `window` its active or focus window: null (to clear it)
// or a window of this thread. Fails for an unknown window, and for another thread's with
// ERROR_ACCESS_DENIED.
bool OwnedHereOrNull(HWND window)
{
    if (!window)
        return true;
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    if (!w)
        return false;
    if (w->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// What a change reports as the window it replaced: `previous` while it still exists and belongs
// to the calling thread, else null.
HWND MineNow(HWND previous)
{
    std::lock_guard<std::mutex> guard(G().lock);
    return MineL(previous ? FindL(previous) : nullptr);
}

}  // namespace

HWND SetActiveWindow(HWND window)
{
    if (!OwnedHereOrNull(window))
        return nullptr;
    HWND previous = Activate(window, WA_ACTIVE);
    return MineNow(previous);
}

HWND GetActiveWindow()
{
    std::lock_guard<std::mutex> guard(G().lock);
    return MineL(G().active);
}

BOOL SetForegroundWindow(HWND window)
{
    if (!IsWindow(window))
        return FALSE;
    Activate(window, WA_ACTIVE);
    return TRUE;
}

HWND GetForegroundWindow()
{
    std::lock_guard<std::mutex> guard(G().lock);
    return H(G().active);
}

HWND SetFocus(HWND window)
{
    if (!OwnedHereOrNull(window))
        return nullptr;
    HWND previous = ChangeFocus(window);
    return MineNow(previous);
}

HWND GetFocus()
{
    std::lock_guard<std::mutex> guard(G().lock);
    return MineL(G().focus);
}

HWND SetCapture(HWND window)
{
    Wm& g = G();
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return nullptr;
        previous = H(g.capture);
        g.capture = w;
    }
    if (previous && previous != window) {
        Notify(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
    }
    return previous;
}

BOOL ReleaseCapture()
{
    Wm& g = G();
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        if (!g.capture || g.capture->threadId != GetCurrentThreadId())
            return TRUE;
        previous = g.capture->handle;
        g.capture = nullptr;
        CheckTrackingL();
    }
    Notify(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture()
{
    std::lock_guard<std::mutex> guard(G().lock);
    return MineL(G().capture);
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    Wm& g = G();
    bool wasDisabled = false;
    bool focusInside = false;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return FALSE;
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (bool(enable) == !wasDisabled)
            return wasDisabled;
        if (enable) {
            w->style &= ~WS_DISABLED;
        } else {
            w->style |= WS_DISABLED;
            focusInside = g.focus && IsAncestorL(w, g.focus);
        }
        CheckTrackingL();
    }
    if (!enable) {
        ReleaseCaptureFrom(window, true);
        if (focusInside)
            ChangeFocus(nullptr);
    }
    SendMessageW(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    return w && EnabledL(w);
}
