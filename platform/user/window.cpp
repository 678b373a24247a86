// Window classes, creating and destroying windows, the tree, window data and text.
#include <algorithm>
#include <cstring>
#include <cwctype>

#include "remote.h"
#include "wm.h"

namespace platform::user {

namespace {

bool SameName(const std::wstring& a, LPCWSTR b)
{
    size_t n = a.size();
    for (size_t i = 0; i < n; ++i) {
        if (!b[i] || std::towupper(wint_t(a[i])) != std::towupper(wint_t(b[i])))
            return false;
    }
    return b[n] == L'\0';
}

// The class a name or atom stands for: the instance's own first, then a global class, then
// any class of that name (modules here share one process-wide table of instances).
std::shared_ptr<WindowClass> FindClassL(LPCWSTR name, HINSTANCE instance, bool strict)
{
    auto& classes = G().classes;
    auto matches = [&](const std::shared_ptr<WindowClass>& c) {
        if (IS_INTRESOURCE(name))
            return c->atom == ATOM(reinterpret_cast<uintptr_t>(name));
        return SameName(c->name, name);
    };
    for (auto& c : classes)
        if (matches(c) && c->instance == instance)
            return c;
    for (auto& c : classes)
        if (matches(c) && (c->style & CS_GLOBALCLASS))
            return c;
    if (!strict)
        for (auto& c : classes)
            if (matches(c))
                return c;
    return nullptr;
}

ATOM Register(const WNDCLASSEXW& wc)
{
    if (!wc.lpszClassName || IS_INTRESOURCE(wc.lpszClassName) || !wc.lpszClassName[0] ||
        wc.cbWndExtra < 0 || wc.cbWndExtra > 40000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    for (auto& c : g.classes) {
        if (SameName(c->name, wc.lpszClassName) &&
            (c->instance == wc.hInstance || (c->style & CS_GLOBALCLASS))) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    auto c = std::make_shared<WindowClass>();
    c->name = wc.lpszClassName;
    c->atom = g.nextAtom++;
    c->style = wc.style;
    c->proc = wc.lpfnWndProc;
    c->windowExtra = wc.cbWndExtra;
    c->instance = wc.hInstance;
    c->icon = wc.hIcon;
    c->iconSmall = wc.hIconSm;
    c->cursor = wc.hCursor;
    c->background = wc.hbrBackground;
    g.classes.push_back(c);
    return c->atom;
}

void Unlink(Window* w)
{
    Wm& g = G();
    if (w->parent) {
        auto& siblings = w->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
    } else {
        g.topLevels.erase(std::remove(g.topLevels.begin(), g.topLevels.end(), w),
                          g.topLevels.end());
    }
}

// Forgets one window whose children are gone already: its handle, its place in the tree, its
// timers, the messages queued for it and the sends waiting for it.
void RemoveL(Window* w)
{
    Wm& g = G();
    if (w->gone)
        return;
    WithdrawTitle(w->handle);
    if (OnScreenL(w))
        AddDirtyL(VisibleScreenRectL(w));
    Unlink(w);
    for (Window* other : g.topLevels)
        if (other->owner == w)
            other->owner = nullptr;
    if (g.active == w)
        g.active = nullptr;
    if (g.focus == w)
        g.focus = nullptr;
    if (g.capture == w)
        g.capture = nullptr;
    if (g.lastClick.window == w->handle)
        g.lastClick.valid = false;
    if (ThreadState* t = w->thread.get()) {
        t->timers.erase(
            std::remove_if(t->timers.begin(), t->timers.end(),
                           [&](const Timer& timer) { return timer.window == w->handle; }),
            t->timers.end());
        t->posted.erase(std::remove_if(t->posted.begin(), t->posted.end(),
                                       [&](const MSG& m) { return m.hwnd == w->handle; }),
                        t->posted.end());
        for (auto it = t->incoming.begin(); it != t->incoming.end();) {
            if ((*it)->window == w->handle) {
                (*it)->done = true;
                (*it)->result = 0;
                if ((*it)->sender)
                    (*it)->sender->wake.notify_all();
                it = t->incoming.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Device contexts still held onto the window draw nowhere from now on.
    for (const Window::Dc& dc : w->dcs)
        gdi::SetSurfaceDCTarget(dc.dc, gdi::Target());
    w->dcs.clear();
    if (w->windowClass)
        --w->windowClass->windows;
    w->parent = nullptr;
    w->owner = nullptr;
    w->gone = true;
    g.windows.erase(reinterpret_cast<uintptr_t>(w->handle));
}

// The handles of a window's children as they stand now; false when the window is gone.
bool ChildHandles(HWND window, std::vector<HWND>* children)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    if (!w)
        return false;
    for (Window* c : w->children)
        children->push_back(c->handle);
    return true;
}

void SendDestroy(HWND window)
{
    SendMessageW(window, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    if (!ChildHandles(window, &children))
        return;
    for (HWND child : children)
        SendDestroy(child);
}

void SendNcDestroy(HWND window)
{
    std::vector<HWND> children;
    if (!ChildHandles(window, &children))
        return;
    for (HWND child : children)
        SendNcDestroy(child);
    SendMessageW(window, WM_NCDESTROY, 0, 0);
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    if (!w)
        return;
    // Children that appeared during the destruction go with their parent, silently.
    while (!w->children.empty())
        RemoveSilentlyL(w->children.front());
    RemoveL(w);
    CheckTrackingL();
}

void MarkDestroyingL(Window* w)
{
    w->destroying = true;
    for (Window* c : w->children)
        MarkDestroyingL(c);
}

void Destroy(HWND window)
{
    Wm& g = G();
    std::vector<HWND> owned;
    HWND parent = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return;
        MarkDestroyingL(w);
        for (Window* other : g.topLevels) {
            if (other->owner != w)
                continue;
            if (other->threadId == w->threadId)
                owned.push_back(other->handle);
            else
                other->owner = nullptr;
        }
        parent = w->parent && !w->parent->destroying ? w->parent->handle : nullptr;
    }
    for (HWND o : owned)
        DestroyWindow(o);

    bool wasActive = false;
    bool hadFocus = false;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return;
        ShowL(w, false);
        wasActive = !w->parent && g.active == w;
        hadFocus = g.focus && IsAncestorL(w, g.focus);
    }
    if (wasActive)
        ActivateNextAfter(window);
    ReleaseCaptureFrom(window, true);
    if (hadFocus)
        ChangeFocus(parent);
    SendDestroy(window);
    SendNcDestroy(window);
}

}  // namespace

void RemoveSilentlyL(Window* w)
{
    while (!w->children.empty())
        RemoveSilentlyL(w->children.front());
    RemoveL(w);
}

}  // namespace platform::user

using namespace platform::user;

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass)
{
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Register(*windowClass);
}

ATOM RegisterClassW(const WNDCLASSW* windowClass)
{
    if (!windowClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex = {};
    ex.cbSize = sizeof(ex);
    ex.style = windowClass->style;
    ex.lpfnWndProc = windowClass->lpfnWndProc;
    ex.cbClsExtra = windowClass->cbClsExtra;
    ex.cbWndExtra = windowClass->cbWndExtra;
    ex.hInstance = windowClass->hInstance;
    ex.hIcon = windowClass->hIcon;
    ex.hCursor = windowClass->hCursor;
    ex.hbrBackground = windowClass->hbrBackground;
    ex.lpszMenuName = windowClass->lpszMenuName;
    ex.lpszClassName = windowClass->lpszClassName;
    return Register(ex);
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    auto c = className ? FindClassL(className, instance, true) : nullptr;
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (c->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    g.classes.erase(std::remove(g.classes.begin(), g.classes.end(), c), g.classes.end());
    return TRUE;
}

BOOL GetClassInfoExW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSEXW windowClass)
{
    if (!className || !windowClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(G().lock);
    auto c = FindClassL(className, instance, true);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    UINT size = windowClass->cbSize;
    *windowClass = WNDCLASSEXW{};
    windowClass->cbSize = size;
    windowClass->style = c->style;
    windowClass->lpfnWndProc = c->proc;
    windowClass->cbWndExtra = c->windowExtra;
    windowClass->hInstance = c->instance;
    windowClass->hIcon = c->icon;
    windowClass->hCursor = c->cursor;
    windowClass->hbrBackground = c->background;
    windowClass->lpszClassName = c->name.c_str();
    windowClass->hIconSm = c->iconSmall;
    return c->atom;
}

BOOL GetClassInfoW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSW windowClass)
{
    if (!windowClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WNDCLASSEXW ex = {};
    ex.cbSize = sizeof(ex);
    BOOL found = GetClassInfoExW(instance, className, &ex);
    if (!found)
        return FALSE;
    *windowClass =
        WNDCLASSW{ex.style, ex.lpfnWndProc, ex.cbClsExtra,    ex.cbWndExtra,   ex.hInstance,
                  ex.hIcon, ex.hCursor,     ex.hbrBackground, ex.lpszMenuName, ex.lpszClassName};
    return found;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parentHandle, HMENU menu,
                     HINSTANCE instance, LPVOID param)
{
    Wm& g = G();
    HWND handle = nullptr;
    bool child = false;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        if (!className) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        auto windowClass = FindClassL(className, instance, false);
        if (!windowClass) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window* parent = nullptr;
        if (parentHandle && parentHandle != g.desktop->handle) {
            parent = FindL(parentHandle);
            if (!parent)
                return nullptr;
        }
        child = (style & WS_CHILD) && parent;
        if ((style & WS_CHILD) && !parent && parentHandle != g.desktop->handle) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        if (x == CW_USEDEFAULT)
            x = y = 0;
        if (width == CW_USEDEFAULT) {
            width = child ? 0 : g.screen.cx * 3 / 4;
            height = child ? 0 : g.screen.cy * 3 / 4;
        }
        auto w = std::make_shared<Window>();
        handle = reinterpret_cast<HWND>(g.nextHandle);
        g.nextHandle += 2;
        w->handle = handle;
        w->thread = CurrentThreadL();
        w->threadId = w->thread->id;
        w->windowClass = windowClass;
        w->proc = windowClass->proc;
        w->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
        w->exStyle = exStyle;
        w->rect = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
        w->restore = w->rect;
        w->instance = instance;
        w->extra.assign(size_t(windowClass->windowExtra), 0);
        if (child) {
            w->parent = parent;
            w->id = reinterpret_cast<UINT_PTR>(menu);
            parent->children.push_back(w.get());
        } else {
            w->owner = parent ? TopLevelL(parent) : nullptr;
            g.topLevels.push_back(w.get());
        }
        ++windowClass->windows;
        g.windows.emplace(reinterpret_cast<uintptr_t>(handle), w);
        ZOrderL(w.get(), HWND_TOP);
    }

    CREATESTRUCTW create = {};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parentHandle;
    create.cy = height;
    create.cx = width;
    create.y = y;
    create.x = x;
    create.style = LONG(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    if (!SendMessageW(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        if (IsWindow(handle))
            SendNcDestroy(handle);
        return nullptr;
    }
    if (!IsWindow(handle))
        return nullptr;
    if (SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        if (IsWindow(handle))
            DestroyWindow(handle);
        return nullptr;
    }
    if (!IsWindow(handle))
        return nullptr;
    RECT rect = {};
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(handle);
        if (!w)
            return nullptr;
        rect = w->rect;
    }
    SendMessageW(handle, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(WORD(rect.right - rect.left), WORD(rect.bottom - rect.top)));
    SendMessageW(handle, WM_MOVE, 0, MAKELPARAM(WORD(SHORT(rect.left)), WORD(SHORT(rect.top))));
    if (style & WS_VISIBLE) {
        int command = child ? SW_SHOWNA : SW_SHOW;
        if (!child && (style & WS_MAXIMIZE))
            command = SW_SHOWMAXIMIZED;
        if (!child && (style & WS_MINIMIZE))
            command = SW_SHOWMINIMIZED;
        ShowWindow(handle, command);
    }
    return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window)
{
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return FALSE;
        if (w->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->destroying)
            return TRUE;
    }
    Destroy(window);
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    auto& windows = G().windows;
    return windows.find(reinterpret_cast<uintptr_t>(window)) != windows.end();
}

BOOL IsChild(HWND parent, HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* p = FindL(parent);
    Window* w = FindL(window);
    return p && w && w != p && IsAncestorL(p, w);
}

HWND GetParent(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    if (!w)
        return nullptr;
    if (w->parent)
        return w->parent->handle;
    if (w->style & WS_POPUP)
        return H(w->owner);
    return nullptr;
}

HWND SetParent(HWND window, HWND newParent)
{
    Wm& g = G();
    HWND previous = nullptr;
    HWND activate = nullptr;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        if (!w)
            return nullptr;
        Window* p = nullptr;
        if (newParent && newParent != g.desktop->handle) {
            p = FindL(newParent);
            if (!p)
                return nullptr;
            if (IsAncestorL(w, p)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
        }
        previous = w->parent ? w->parent->handle : g.desktop->handle;
        if (w->parent == p)
            return previous;
        if (OnScreenL(w))
            AddDirtyL(VisibleScreenRectL(w));
        Unlink(w);
        w->parent = p;
        w->owner = nullptr;
        if (p)
            p->children.push_back(w);
        else
            g.topLevels.push_back(w);
        ZOrderL(w, HWND_TOP);
        if (OnScreenL(w))
            AddDirtyL(VisibleScreenRectL(w));
        // Only top-level windows are active: an active window that became a child hands
        // activation to its new top-level window.
        if (p && g.active == w)
            activate = TopLevelL(p)->handle;
        CheckTrackingL();
    }
    if (activate)
        Activate(activate, WA_ACTIVE);
    return previous;
}

HWND GetDesktopWindow()
{
    return G().desktop->handle;
}

HWND GetAncestor(HWND window, UINT flags)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    Window* w = FindL(window);
    if (!w)
        return nullptr;
    switch (flags) {
        case GA_PARENT:
            return w->parent ? w->parent->handle : g.desktop->handle;
        case GA_ROOT:
            return TopLevelL(w)->handle;
        case GA_ROOTOWNER: {
            Window* top = TopLevelL(w);
            for (int depth = 0; top->owner && depth < 64; ++depth)
                top = top->owner;
            return top->handle;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

HWND GetWindow(HWND window, UINT relation)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    Window* w = FindL(window);
    if (!w)
        return nullptr;
    if (relation == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front()->handle;
    if (relation == GW_OWNER)
        return H(w->owner);
    const std::vector<Window*>& siblings = w->parent ? w->parent->children : g.topLevels;
    auto it = std::find(siblings.begin(), siblings.end(), w);
    switch (relation) {
        case GW_HWNDFIRST:
            return siblings.front()->handle;
        case GW_HWNDLAST:
            return siblings.back()->handle;
        case GW_HWNDNEXT:
            return (it + 1) < siblings.end() ? (*(it + 1))->handle : nullptr;
        case GW_HWNDPREV:
            return it != siblings.begin() ? (*(it - 1))->handle : nullptr;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

HWND GetDlgItem(HWND parent, int id)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* p = FindL(parent);
    if (!p)
        return nullptr;
    for (Window* c : p->children)
        if (c->id == UINT_PTR(id))
            return c->handle;
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

int GetDlgCtrlID(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    return w ? int(w->id) : 0;
}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM lParam)
{
    if (!callback) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> windows;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        for (Window* w : G().topLevels)
            windows.push_back(w->handle);
    }
    for (HWND w : windows)
        if (IsWindow(w) && !callback(w, lParam))
            break;
    return TRUE;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    if (!w)
        return 0;
    if (processId)
        *processId = GetCurrentProcessId();
    return w->threadId;
}

namespace {

bool ExtraSlot(Window* w, int index, size_t size)
{
    if (index < 0 || size_t(index) + size > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
    return true;
}

// Reads or writes one field; `set` null reads.
bool WindowLong(HWND window, int index, const LONG_PTR* set, LONG_PTR* previous, size_t extraSize)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    Window* w = FindL(window);
    if (!w)
        return false;
    SetLastError(0);
    switch (index) {
        case GWLP_WNDPROC:
            *previous = reinterpret_cast<LONG_PTR>(w->proc);
            if (set)
                w->proc = reinterpret_cast<WNDPROC>(*set);
            return true;
        case GWLP_HINSTANCE:
            *previous = reinterpret_cast<LONG_PTR>(w->instance);
            if (set)
                w->instance = reinterpret_cast<HINSTANCE>(*set);
            return true;
        case GWLP_HWNDPARENT:
            *previous = reinterpret_cast<LONG_PTR>(w->parent ? w->parent->handle : H(w->owner));
            if (set && !w->parent) {
                Window* owner = *set ? FindL(reinterpret_cast<HWND>(*set)) : nullptr;
                if (owner)
                    owner = TopLevelL(owner);
                // An owner chain that came back to the window would have no top.
                for (const Window* o = owner; o; o = o->owner) {
                    if (o == w) {
                        SetLastError(ERROR_INVALID_PARAMETER);
                        return false;
                    }
                }
                w->owner = owner;
                NormaliseZOrderL();
                if (OnScreenL(w))
                    AddDirtyL(VisibleScreenRectL(w));
            }
            return true;
        case GWLP_ID:
            *previous = LONG_PTR(w->id);
            if (set)
                w->id = UINT_PTR(*set);
            return true;
        case GWL_STYLE: {
            *previous = LONG_PTR(DWORD(w->style));
            if (!set)
                return true;
            DWORD value = DWORD(*set);
            bool wasOnScreen = OnScreenL(w);
            RECT before = wasOnScreen ? VisibleScreenRectL(w) : RECT{0, 0, 0, 0};
            // Minimised and maximised are placements, kept by ShowWindow.
            w->style =
                (value & ~(WS_MINIMIZE | WS_MAXIMIZE)) | (w->style & (WS_MINIMIZE | WS_MAXIMIZE));
            if (wasOnScreen)
                AddDirtyL(before);
            if (OnScreenL(w))
                AddDirtyL(VisibleScreenRectL(w));
            CheckTrackingL();
            return true;
        }
        case GWL_EXSTYLE: {
            *previous = LONG_PTR(DWORD(w->exStyle));
            if (!set)
                return true;
            DWORD value = DWORD(*set);
            value = (value & ~DWORD(WS_EX_TOPMOST)) | (w->exStyle & WS_EX_TOPMOST);
            bool wasLayered = (w->exStyle & WS_EX_LAYERED) != 0;
            bool layered = (value & WS_EX_LAYERED) != 0 && !w->parent;
            w->exStyle = value;
            if (wasLayered != layered) {
                if (OnScreenL(w))
                    AddDirtyL(VisibleScreenRectL(w));
                w->layered.reset();
                w->layeredAlpha = 255;
                w->layeredPerPixel = false;
                if (!layered) {
                    // Back to a plain window, which paints itself again.
                    RECT client = ClientRectL(w);
                    w->update.Add(client);
                    w->erase = true;
                    WakeL(w->thread.get());
                }
                CheckTrackingL();
            }
            return true;
        }
        case GWLP_USERDATA:
            *previous = w->userData;
            if (set)
                w->userData = *set;
            return true;
        default:
            if (!ExtraSlot(w, index, extraSize))
                return false;
            if (extraSize == sizeof(LONG_PTR)) {
                LONG_PTR value;
                std::memcpy(&value, w->extra.data() + index, sizeof(value));
                *previous = value;
                if (set)
                    std::memcpy(w->extra.data() + index, set, sizeof(LONG_PTR));
            } else {
                LONG value;
                std::memcpy(&value, w->extra.data() + index, sizeof(value));
                *previous = value;
                if (set) {
                    LONG narrow = LONG(*set);
                    std::memcpy(w->extra.data() + index, &narrow, sizeof(narrow));
                }
            }
            return true;
    }
}

}  // namespace

LONG_PTR GetWindowLongPtrW(HWND window, int index)
{
    LONG_PTR value = 0;
    return WindowLong(window, index, nullptr, &value, sizeof(LONG_PTR)) ? value : 0;
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value)
{
    LONG_PTR previous = 0;
    return WindowLong(window, index, &value, &previous, sizeof(LONG_PTR)) ? previous : 0;
}

LONG GetWindowLongW(HWND window, int index)
{
    LONG_PTR value = 0;
    return WindowLong(window, index, nullptr, &value, sizeof(LONG)) ? LONG(value) : 0;
}

LONG SetWindowLongW(HWND window, int index, LONG value)
{
    LONG_PTR wide = value;
    LONG_PTR previous = 0;
    return WindowLong(window, index, &wide, &previous, sizeof(LONG)) ? LONG(previous) : 0;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text)
{
    if (!IsWindow(window))
        return FALSE;
    return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextW(HWND window, LPWSTR text, int maxCount)
{
    if (!text || maxCount <= 0)
        return 0;
    text[0] = L'\0';
    if (!IsWindow(window))
        return 0;
    return int(SendMessageW(window, WM_GETTEXT, WPARAM(maxCount), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthW(HWND window)
{
    if (!IsWindow(window))
        return 0;
    return int(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
}
