// Update regions, WM_PAINT, window device contexts, system colours, layered windows and the
// compositor's view of the screen.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "../gdi/object.h"
#include "wm.h"

namespace platform::user {

namespace {

bool IsDesktop(HWND window)
{
    return window && window == G().desktop->handle;
}

// A device context onto a window's pixels, remembered so that a resize can repoint it.
HDC MakeDcL(Window* w, const std::vector<RECT>& clip, bool paint)
{
    platform::gdi::Target target;
    target.surface = PixelsL(w);
    target.clip = clip;
    HDC dc = platform::gdi::CreateSurfaceDC(target);
    if (!dc)
        return nullptr;
    w->dcs.push_back(Window::Dc{dc, paint});
    G().windowDcs[dc] = w->handle;
    return dc;
}

// Forgets a window device context and marks what it may have drawn as changed. Returns false
// for a device context that is not a window's.
bool ForgetDc(HWND window, HDC dc)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    auto it = g.windowDcs.find(dc);
    if (it == g.windowDcs.end())
        return false;
    if (window && it->second != window)
        return false;
    HWND owner = it->second;
    g.windowDcs.erase(it);
    Window* w = IsDesktop(owner) ? g.desktop.get() : nullptr;
    if (!w) {
        auto found = g.windows.find(reinterpret_cast<uintptr_t>(owner));
        if (found != g.windows.end())
            w = found->second.get();
    }
    if (!w)
        return true;
    w->dcs.erase(std::remove_if(w->dcs.begin(), w->dcs.end(),
                                [&](const Window::Dc& d) { return d.dc == dc; }),
                 w->dcs.end());
    if (w == g.desktop.get())
        AddDirtyL(RECT{0, 0, g.screen.cx, g.screen.cy});
    else if (OnScreenL(w) && !(w->exStyle & WS_EX_LAYERED))
        AddDirtyL(VisibleScreenRectL(w));
    return true;
}

// Sends WM_ERASEBKGND with a device context onto the given region.
LRESULT Erase(HWND window, const std::vector<RECT>& region)
{
    HDC dc = nullptr;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return 0;
        dc = MakeDcL(w, region, true);
    }
    if (!dc)
        return 0;
    LRESULT erased = SendMessageW(window, WM_ERASEBKGND, WPARAM(dc), 0);
    ForgetDc(window, dc);
    DeleteDC(dc);
    return erased;
}

void AddLayersL(Window* w, ScreenWindow* out)
{
    RECT clip = VisibleScreenRectL(w);
    if (IsRectEmpty(&clip))
        return;
    ScreenLayer layer;
    layer.pixels = w->pixels;
    layer.origin = ClientOriginL(w);
    layer.clip = clip;
    out->layers.push_back(layer);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        if ((*it)->style & WS_VISIBLE)
            AddLayersL(*it, out);
}

}  // namespace

void AddUpdateL(Window* w, const RECT& area, bool erase)
{
    if (IsRectEmpty(&area))
        return;
    w->update.Add(area);
    if (erase)
        w->erase = true;
    WakeL(w->thread.get());
    if (w->style & WS_CLIPCHILDREN)
        return;
    POINT origin = ClientOriginL(w);
    for (Window* child : w->children) {
        if (!child->showsParent || !(child->style & WS_VISIBLE))
            continue;
        POINT at = ClientOriginL(child);
        RECT beneath = area;
        OffsetRect(&beneath, origin.x - at.x, origin.y - at.y);
        RECT client = ClientRectL(child);
        RECT part = {};
        if (IntersectRect(&part, &beneath, &client))
            AddUpdateL(child, part, erase);
    }
}

HBRUSH SysColorBrush(int index)
{
    static std::mutex lock;
    static HBRUSH brushes[32] = {};
    if (index < 0 || index >= 32)
        return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    if (!brushes[index])
        brushes[index] = CreateSolidBrush(GetSysColor(index));
    return brushes[index];
}

HBRUSH ClassBrush(HBRUSH background)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(background);
    if (value > 0 && value <= 32)
        return SysColorBrush(int(value) - 1);
    return background;
}

ScreenState TakeScreenState()
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    ScreenState state;
    state.size = g.screen;
    state.generation = g.generation;
    state.desktop = g.desktop->pixels;
    for (auto it = g.topLevels.rbegin(); it != g.topLevels.rend(); ++it) {
        Window* w = *it;
        if (!OnScreenL(w))
            continue;
        ScreenWindow window;
        window.window = w->handle;
        window.rect = ScreenRectL(w);
        if (w->exStyle & WS_EX_LAYERED) {
            if (!w->layered)
                continue;
            window.layered = true;
            window.constantAlpha = w->layeredAlpha;
            window.perPixelAlpha = w->layeredPerPixel;
            RECT clip = VisibleScreenRectL(w);
            if (!IsRectEmpty(&clip)) {
                ScreenLayer layer;
                layer.pixels = w->layered;
                layer.origin = POINT{w->rect.left, w->rect.top};
                layer.clip = clip;
                window.layers.push_back(layer);
            }
        } else {
            AddLayersL(w, &window);
        }
        state.windows.push_back(std::move(window));
    }
    state.dirty = g.dirty.Rects();
    g.dirty.Clear();
    state.cursor = g.cursor;
    state.cursorShape = ShapeOf(g.cursorShape);
    state.cursorVisible = g.cursorCount >= 0;
    return state;
}

uint64_t WaitForScreenChange(uint64_t seen, DWORD milliseconds)
{
    Wm& g = G();
    std::unique_lock<std::mutex> lock(g.lock);
    auto changed = [&] { return g.generation != seen; };
    if (milliseconds == INFINITE)
        g.screenChanged.wait(lock, changed);
    else
        g.screenChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), changed);
    return g.generation;
}

}  // namespace platform::user

using namespace platform::user;

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    if (!window) {
        for (auto& [value, w] : g.windows) {
            w->update.Add(ClientRectL(w.get()));
            if (erase)
                w->erase = true;
            WakeL(w->thread.get());
        }
        return TRUE;
    }
    Window* w = FindL(window);
    if (!w)
        return FALSE;
    RECT client = ClientRectL(w);
    RECT area = client;
    if (rect && !IntersectRect(&area, rect, &client))
        return TRUE;
    AddUpdateL(w, area, erase);
    return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    if (!w)
        return FALSE;
    if (rect)
        w->update.Subtract(*rect);
    else
        w->update.Clear();
    if (w->update.Empty())
        w->erase = false;
    return TRUE;
}

BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL erase)
{
    std::vector<RECT> region;
    bool pending = false;
    RECT bounds = {0, 0, 0, 0};
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return FALSE;
        w->update.Intersect(ClientRectL(w));
        bounds = w->update.Bounds();
        region = w->update.Rects();
        pending = erase && w->erase && !region.empty();
        if (pending)
            w->erase = false;
    }
    if (pending)
        Erase(window, region);
    if (rect)
        *rect = bounds;
    return region.empty() ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND window)
{
    std::vector<HWND> due;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return FALSE;
        std::vector<Window*> stack{w};
        while (!stack.empty()) {
            Window* v = stack.back();
            stack.pop_back();
            if (!(v->style & WS_VISIBLE))
                continue;
            if (!v->update.Empty())
                due.push_back(v->handle);
            for (auto it = v->children.rbegin(); it != v->children.rend(); ++it)
                stack.push_back(*it);
        }
        if (!VisibleL(w))
            due.clear();
    }
    for (HWND v : due) {
        bool still = false;
        {
            std::lock_guard<std::mutex> guard(G().lock);
            Window* w = FindL(v);
            still = w && !w->update.Empty();
        }
        if (still)
            SendMessageW(v, WM_PAINT, 0, 0);
    }
    return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint)
{
    if (!paint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    *paint = PAINTSTRUCT{};
    bool erase = false;
    HDC dc = nullptr;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return nullptr;
        w->update.Intersect(ClientRectL(w));
        Region region = w->update;
        erase = w->erase;
        w->update.Clear();
        w->erase = false;
        // Marked again if this paint shows the parent's pixels.
        w->showsParent = false;
        dc = MakeDcL(w, region.Rects(), true);
        paint->rcPaint = region.Bounds();
    }
    if (!dc)
        return nullptr;
    paint->hdc = dc;
    if (erase)
        paint->fErase = SendMessageW(window, WM_ERASEBKGND, WPARAM(dc), 0) ? FALSE : TRUE;
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint)
{
    if (!paint || !paint->hdc)
        return FALSE;
    if (ForgetDc(window, paint->hdc))
        DeleteDC(paint->hdc);
    return TRUE;
}

HDC GetDC(HWND window)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    Window* w = (!window || IsDesktop(window)) ? g.desktop.get() : FindL(window);
    if (!w)
        return nullptr;
    RECT client = w == g.desktop.get() ? RECT{0, 0, g.screen.cx, g.screen.cy} : ClientRectL(w);
    return MakeDcL(w, {client}, false);
}

int ReleaseDC(HWND window, HDC dc)
{
    if (!ForgetDc(window && !IsDesktop(window) ? window : nullptr, dc))
        return 0;
    DeleteDC(dc);
    return 1;
}

void platform::PaintParentBeneath(HWND control, HDC dc, const RECT& area)
{
    HWND parent = nullptr;
    POINT origin = {0, 0};
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(control);
        if (!w || !w->parent)
            return;
        w->showsParent = true;
        parent = w->parent->handle;
        POINT at = ClientOriginL(w);
        POINT beneath = ClientOriginL(w->parent);
        origin = POINT{at.x - beneath.x, at.y - beneath.y};
    }
    HDC pixels = GetDC(parent);
    if (!pixels)
        return;
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, pixels,
           origin.x + area.left, origin.y + area.top, SRCCOPY);
    ReleaseDC(parent, pixels);
}

DWORD GetSysColor(int index)
{
    switch (index) {
        case COLOR_WINDOW:
            return RGB(255, 255, 255);
        case COLOR_WINDOWTEXT:
            return RGB(0, 0, 0);
        case COLOR_BTNFACE:
            return RGB(240, 240, 240);
        case COLOR_BTNTEXT:
            return RGB(0, 0, 0);
        default:
            return 0;
    }
}

HBRUSH GetSysColorBrush(int index)
{
    return SysColorBrush(index);
}

BOOL UpdateLayeredWindow(HWND window, HDC hdcDst, POINT* pointDst, SIZE* size, HDC hdcSrc,
                         POINT* pointSrc, COLORREF colorKey, BLENDFUNCTION* blend, DWORD flags)
{
    Wm& g = G();
    if ((flags & ~DWORD(ULW_ALPHA | ULW_OPAQUE)) || ((flags & ULW_ALPHA) && !blend)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT current = {};
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return FALSE;
        if (!(w->exStyle & WS_EX_LAYERED) || w->parent) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        current = w->rect;
    }
    SIZE newSize = size ? *size : SIZE{current.right - current.left, current.bottom - current.top};
    POINT newPos = pointDst ? *pointDst : POINT{current.left, current.top};
    bool resized =
        newSize.cx != current.right - current.left || newSize.cy != current.bottom - current.top;
    if (newSize.cx <= 0 || newSize.cy <= 0 || (resized && !hdcSrc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    std::shared_ptr<platform::gdi::Surface> picture;
    if (hdcSrc) {
        platform::gdi::Target source;
        if (!platform::gdi::GetDCTarget(hdcSrc, &source))
            return FALSE;
        picture = platform::gdi::Surface::Create(newSize.cx, newSize.cy);
        if (!picture) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        if (source.surface) {
            POINT from = pointSrc ? *pointSrc : POINT{0, 0};
            int64_t sx = int64_t(from.x) + source.origin.x;
            int64_t sy = int64_t(from.y) + source.origin.y;
            std::lock_guard<std::mutex> pixels(source.surface->Lock());
            for (int y = 0; y < newSize.cy; ++y) {
                int64_t row = sy + y;
                if (row < 0 || row >= source.surface->Height())
                    continue;
                int64_t left = std::max<int64_t>(0, -sx);
                int64_t right = std::min<int64_t>(newSize.cx, source.surface->Width() - sx);
                if (left >= right)
                    continue;
                std::memcpy(picture->Row(y) + left, source.surface->Row(int(row)) + sx + left,
                            size_t(right - left) * 4);
            }
        }
    }
    if (resized || newPos.x != current.left || newPos.y != current.top)
        SetWindowPos(window, nullptr, newPos.x, newPos.y, newSize.cx, newSize.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);

    std::lock_guard<std::mutex> guard(g.lock);
    Window* w = FindL(window);
    if (!w)
        return FALSE;
    if (picture)
        w->layered = picture;
    if (flags & ULW_OPAQUE) {
        w->layeredAlpha = 255;
        w->layeredPerPixel = false;
    } else if (blend) {
        w->layeredAlpha = blend->SourceConstantAlpha;
        w->layeredPerPixel = (flags & ULW_ALPHA) && (blend->AlphaFormat & AC_SRC_ALPHA);
    }
    if (OnScreenL(w))
        AddDirtyL(VisibleScreenRectL(w));
    CheckTrackingL();
    return TRUE;
}
