// Rectangles and coordinate mapping, SetWindowPos, MoveWindow and ShowWindow.
#include <algorithm>

#include "../screen/presenter.h"
#include "wm.h"

namespace platform::user {

namespace {

bool IsDesktop(HWND window)
{
    return window && window == G().desktop->handle;
}

// Invalidates a window that became visible, and its visible descendants.
void InvalidateTreeL(Window* w)
{
    RECT client = ClientRectL(w);
    if (!IsRectEmpty(&client)) {
        w->update.Clear();
        w->update.Add(client);
        w->erase = true;
    }
    WakeL(w->thread.get());
    for (Window* child : w->children)
        if (child->style & WS_VISIBLE)
            InvalidateTreeL(child);
}

// After a size change: the whole window with CS_HREDRAW / CS_VREDRAW, else what is new.
void InvalidateResizedL(Window* w, LONG oldWidth, LONG oldHeight)
{
    RECT client = ClientRectL(w);
    UINT classStyle = w->windowClass ? w->windowClass->style : 0;
    bool whole = ((classStyle & CS_HREDRAW) && client.right != oldWidth) ||
                 ((classStyle & CS_VREDRAW) && client.bottom != oldHeight);
    w->update.Intersect(client);
    if (whole) {
        AddUpdateL(w, client, true);
    } else {
        if (client.right > oldWidth)
            AddUpdateL(w, RECT{oldWidth, 0, client.right, client.bottom}, true);
        if (client.bottom > oldHeight)
            AddUpdateL(w, RECT{0, oldHeight, client.right, client.bottom}, true);
    }
    if (!w->update.Empty()) {
        w->erase = true;
        WakeL(w->thread.get());
    }
}

// The size and position messages after a change, then what follows from it.
struct Change {
    bool sized = false;
    bool moved = false;
    WPARAM sizeType = SIZE_RESTORED;
    LONG width = 0;
    LONG height = 0;
    LONG x = 0;
    LONG y = 0;
};

void SendChange(HWND window, const Change& change)
{
    if (change.sized)
        SendMessageW(window, WM_SIZE, change.sizeType,
                     MAKELPARAM(WORD(change.width), WORD(change.height)));
    if (change.moved)
        SendMessageW(window, WM_MOVE, 0, MAKELPARAM(WORD(SHORT(change.x)), WORD(SHORT(change.y))));
}

// Sets a new rectangle, keeping the screen's dirty area, the pixels and the update region in
// step; fills `change` with the messages due.
void SetRectL(Window* w, const RECT& rect, bool redraw, Change* change)
{
    RECT before = w->rect;
    bool onScreen = OnScreenL(w);
    RECT oldVisible = onScreen ? VisibleScreenRectL(w) : RECT{0, 0, 0, 0};
    w->rect = rect;
    LONG oldWidth = before.right - before.left;
    LONG oldHeight = before.bottom - before.top;
    LONG width = rect.right - rect.left;
    LONG height = rect.bottom - rect.top;
    change->sized = width != oldWidth || height != oldHeight;
    change->moved = rect.left != before.left || rect.top != before.top;
    change->width = std::max<LONG>(0, width);
    change->height = std::max<LONG>(0, height);
    change->x = rect.left;
    change->y = rect.top;
    change->sizeType = (w->style & WS_MINIMIZE)   ? SIZE_MINIMIZED
                       : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                                  : SIZE_RESTORED;
    if (change->sized) {
        ResizePixelsL(w);
        if (redraw)
            InvalidateResizedL(w, std::max<LONG>(0, oldWidth), std::max<LONG>(0, oldHeight));
    }
    if (onScreen)
        AddDirtyL(oldVisible);
    if (OnScreenL(w))
        AddDirtyL(VisibleScreenRectL(w));
}

// Where a maximised window goes, as WM_GETMINMAXINFO leaves it.
RECT MaximisedRect(HWND window)
{
    MINMAXINFO info = {};
    {
        std::lock_guard<std::mutex> guard(G().lock);
        info.ptMaxSize = POINT{G().screen.cx, G().screen.cy};
        info.ptMaxTrackSize = info.ptMaxSize;
        info.ptMinTrackSize = POINT{1, 1};
    }
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    return RECT{info.ptMaxPosition.x, info.ptMaxPosition.y, info.ptMaxPosition.x + info.ptMaxSize.x,
                info.ptMaxPosition.y + info.ptMaxSize.y};
}

}  // namespace

void ShowL(Window* w, bool show)
{
    if (bool(w->style & WS_VISIBLE) == show)
        return;
    if (show) {
        w->style |= WS_VISIBLE;
        // The first top-level window on the screen brings up whatever shows the screen.
        if (!w->parent)
            platform::screen::StartPresenter();
        if (VisibleL(w)) {
            InvalidateTreeL(w);
            if (OnScreenL(w))
                AddDirtyL(VisibleScreenRectL(w));
        }
    } else {
        if (OnScreenL(w))
            AddDirtyL(VisibleScreenRectL(w));
        w->style &= ~WS_VISIBLE;
    }
    CheckTrackingL();
}

}  // namespace platform::user

using namespace platform::user;

namespace {

// Reads one of a window's rectangles, `rectOfL(w)` with the manager's lock held; the desktop's
// rectangles are both the whole screen. FALSE for a null `rect` (ERROR_INVALID_PARAMETER) or a
// window that does not exist.
template <class RectOfL>
BOOL ReadRect(HWND window, LPRECT rect, RectOfL rectOfL)
{
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(G().lock);
    if (IsDesktop(window)) {
        *rect = RECT{0, 0, G().screen.cx, G().screen.cy};
        return TRUE;
    }
    Window* w = FindL(window);
    if (!w)
        return FALSE;
    *rect = rectOfL(w);
    return TRUE;
}

}  // namespace

BOOL GetClientRect(HWND window, LPRECT rect)
{
    return ReadRect(window, rect, ClientRectL);
}

BOOL GetWindowRect(HWND window, LPRECT rect)
{
    return ReadRect(window, rect, ScreenRectL);
}

namespace {

bool OriginOf(HWND window, POINT* origin)
{
    if (!window || IsDesktop(window)) {
        *origin = POINT{0, 0};
        return true;
    }
    Window* w = FindL(window);
    if (!w)
        return false;
    *origin = ClientOriginL(w);
    return true;
}

}  // namespace

BOOL ClientToScreen(HWND window, LPPOINT point)
{
    std::lock_guard<std::mutex> guard(G().lock);
    POINT origin;
    if (!point || !window || !OriginOf(window, &origin)) {
        if (!point || !window)
            SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND window, LPPOINT point)
{
    std::lock_guard<std::mutex> guard(G().lock);
    POINT origin;
    if (!point || !window || !OriginOf(window, &origin)) {
        if (!point || !window)
            SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    std::lock_guard<std::mutex> guard(G().lock);
    POINT a, b;
    if (!OriginOf(from, &a) || !OriginOf(to, &b))
        return 0;
    LONG dx = a.x - b.x;
    LONG dy = a.y - b.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    SetLastError(0);
    return MAKELONG(WORD(SHORT(dx)), WORD(SHORT(dy)));
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    Wm& g = G();
    Change change;
    bool activate = false;
    bool hidActive = false;
    bool hidFocus = false;
    HWND parent = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return FALSE;
        RECT& target = (w->style & WS_MINIMIZE) ? w->restore : w->rect;
        RECT rect = target;
        if (!(flags & SWP_NOMOVE)) {
            rect.right = x + (rect.right - rect.left);
            rect.bottom = y + (rect.bottom - rect.top);
            rect.left = x;
            rect.top = y;
        }
        if (!(flags & SWP_NOSIZE)) {
            rect.right = rect.left + std::max(0, cx);
            rect.bottom = rect.top + std::max(0, cy);
        }
        if (w->style & WS_MINIMIZE) {
            w->restore = rect;
        } else if (rect.left != w->rect.left || rect.top != w->rect.top ||
                   rect.right != w->rect.right || rect.bottom != w->rect.bottom) {
            SetRectL(w, rect, !(flags & SWP_NOREDRAW), &change);
        }
        if (!(flags & SWP_NOZORDER)) {
            bool onScreen = OnScreenL(w);
            ZOrderL(w, insertAfter);
            if (onScreen)
                AddDirtyL(VisibleScreenRectL(w));
        }
        if ((flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE))
            ShowL(w, true);
        if ((flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE)) {
            ShowL(w, false);
            hidActive = !w->parent && g.active == w;
            hidFocus = g.focus && IsAncestorL(w, g.focus);
            parent = H(w->parent);
        }
        activate = !(flags & SWP_NOACTIVATE) && !w->parent && OnScreenL(w);
        if (change.moved || change.sized || !(flags & SWP_NOZORDER))
            CheckTrackingL();
    }
    SendChange(window, change);
    if (hidActive)
        ActivateNextAfter(window);
    if (hidFocus)
        ChangeFocus(parent);
    if (activate)
        Activate(window, WA_ACTIVE);
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint)
{
    return SetWindowPos(window, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND window)
{
    return SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL ShowWindow(HWND window, int command)
{
    Wm& g = G();
    bool wasVisible = false;
    bool child = false;
    bool minimised = false;
    bool maximised = false;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return FALSE;
        wasVisible = (w->style & WS_VISIBLE) != 0;
        child = w->parent != nullptr;
        minimised = (w->style & WS_MINIMIZE) != 0;
        maximised = (w->style & WS_MAXIMIZE) != 0;
    }

    if (command == SW_HIDE) {
        if (!wasVisible)
            return FALSE;
        SendMessageW(window, WM_SHOWWINDOW, FALSE, 0);
        bool hidActive = false;
        bool hidFocus = false;
        HWND parent = nullptr;
        {
            std::lock_guard<std::mutex> guard(g.lock);
            Window* w = FindL(window);
            if (!w)
                return TRUE;
            ShowL(w, false);
            hidActive = !w->parent && g.active == w;
            hidFocus = g.focus && IsAncestorL(w, g.focus);
            parent = H(w->parent);
        }
        if (hidActive)
            ActivateNextAfter(window);
        if (hidFocus)
            ChangeFocus(parent);
        return TRUE;
    }

    bool activate = false;
    int placement = 0;  // 0 keep, 1 restore, 2 maximise, 3 minimise
    switch (command) {
        case SW_SHOWNORMAL:
        case SW_RESTORE:
            activate = true;
            placement = (minimised || maximised) ? 1 : 0;
            break;
        case SW_SHOW:
            activate = true;
            break;
        case SW_SHOWNA:
            break;
        case SW_SHOWNOACTIVATE:
            placement = (minimised || maximised) ? 1 : 0;
            break;
        case SW_SHOWMAXIMIZED:
            activate = true;
            placement = 2;
            break;
        case SW_SHOWMINIMIZED:
            activate = true;
            placement = 3;
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            placement = 3;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
    }
    // A minimised window that had been maximised is restored to its normal rectangle.
    if (!wasVisible)
        SendMessageW(window, WM_SHOWWINDOW, TRUE, 0);
    RECT maximisedRect = {};
    if (placement == 2)
        maximisedRect = MaximisedRect(window);

    Change change;
    bool leaving = false;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return wasVisible;
        if (placement == 1 && (w->style & (WS_MINIMIZE | WS_MAXIMIZE))) {
            RECT normal = w->restore;
            w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
            SetRectL(w, normal, true, &change);
            InvalidateTreeL(w);
        } else if (placement == 2 && !(w->style & WS_MAXIMIZE)) {
            if (!(w->style & WS_MINIMIZE))
                w->restore = w->rect;
            w->style &= ~WS_MINIMIZE;
            w->style |= WS_MAXIMIZE;
            SetRectL(w, maximisedRect, true, &change);
            change.sized = true;
            change.sizeType = SIZE_MAXIMIZED;
            InvalidateTreeL(w);
        } else if (placement == 3 && !(w->style & WS_MINIMIZE)) {
            if (!(w->style & WS_MAXIMIZE))
                w->restore = w->rect;
            w->style &= ~WS_MAXIMIZE;
            w->style |= WS_MINIMIZE;
            if (OnScreenL(w) || VisibleL(w))
                AddDirtyL(VisibleScreenRectL(w));
            SetRectL(w, RECT{-32000, -32000, -32000, -32000}, false, &change);
            change.sized = true;
            change.sizeType = SIZE_MINIMIZED;
            leaving = !w->parent && g.active == w && command != SW_SHOWMINIMIZED;
        }
        ShowL(w, true);
        CheckTrackingL();
    }
    SendChange(window, change);
    if (leaving)
        ActivateNextAfter(window);
    if (activate && !child)
        Activate(window, WA_ACTIVE);
    return wasVisible;
}

BOOL IsWindowVisible(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    if (IsDesktop(window))
        return TRUE;
    Window* w = FindL(window);
    return w && VisibleL(w);
}

BOOL IsIconic(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    return w && (w->style & WS_MINIMIZE);
}

BOOL IsZoomed(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    return w && (w->style & WS_MAXIMIZE);
}
