// The window manager's state, the per-thread queues, the clock, lookups and geometry.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "../gdi/object.h"
#include "controls.h"
#include "wm.h"

namespace platform::user {

namespace {

SIZE ScreenSizeFromEnvironment()
{
    SIZE size = {1920, 1080};
    const char* text = std::getenv("PLATFORM_SCREEN");
    if (!text)
        return size;
    char* end = nullptr;
    long width = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X'))
        return size;
    const char* second = end + 1;
    long height = std::strtol(second, &end, 10);
    if (end == second || *end != '\0')
        return size;
    // Screens outside these bounds are refused rather than allocated.
    if (width < 16 || height < 16 || width > 16384 || height > 16384)
        return size;
    return SIZE{LONG(width), LONG(height)};
}

// Ends a thread's part in the window manager: its windows go away without messages (its
// window procedures may belong to objects already destroyed), and every send waiting for it
// returns 0.
void EndThread(const std::shared_ptr<ThreadState>& state)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    state->alive = false;
    std::vector<Window*> roots;
    for (auto& [value, w] : g.windows) {
        if (w->threadId == state->id && (!w->parent || w->parent->threadId != state->id))
            roots.push_back(w.get());
    }
    for (Window* root : roots) {
        if (!root->gone)
            RemoveSilentlyL(root);
    }
    for (auto& sent : state->incoming) {
        sent->done = true;
        sent->result = 0;
        if (sent->sender)
            sent->sender->wake.notify_all();
    }
    state->incoming.clear();
    state->posted.clear();
    state->timers.clear();
    g.threads.erase(state->id);
    g.idleChanged.notify_all();
}

struct ThreadHolder {
    std::shared_ptr<ThreadState> state;
    ~ThreadHolder()
    {
        if (state)
            EndThread(state);
    }
};

thread_local ThreadHolder t_thread;

}  // namespace

Wm& G()
{
    static Wm* wm = [] {
        Wm* made = new Wm;  // lives until the process ends, past every thread's exit
        made->screen = ScreenSizeFromEnvironment();
        made->cursor = POINT{made->screen.cx / 2, made->screen.cy / 2};
        made->asyncCursor = made->cursor;
        auto desktop = std::make_shared<Window>();
        desktop->handle = reinterpret_cast<HWND>(uintptr_t(0x10010));
        desktop->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN;
        desktop->rect = RECT{0, 0, made->screen.cx, made->screen.cy};
        made->desktop = desktop;
        // The system's own control classes, there before any program registers one.
        for (std::shared_ptr<WindowClass> system : {ButtonClass(), EditClass()}) {
            system->atom = made->nextAtom++;
            system->cursor = LoadCursorW(nullptr, system->name == L"Edit" ? IDC_IBEAM : IDC_ARROW);
            made->classes.push_back(system);
        }
        return made;
    }();
    return *wm;
}

std::shared_ptr<ThreadState> CurrentThreadL()
{
    if (!t_thread.state) {
        auto state = std::make_shared<ThreadState>();
        state->id = GetCurrentThreadId();
        G().threads[state->id] = state;
        t_thread.state = state;
    }
    return t_thread.state;
}

std::shared_ptr<ThreadState> CurrentThread()
{
    if (t_thread.state)
        return t_thread.state;
    std::lock_guard<std::mutex> guard(G().lock);
    return CurrentThreadL();
}

uint64_t NowL()
{
    Wm& g = G();
    return g.manualClock ? g.manualNow : GetTickCount64();
}

Window* FindL(HWND window)
{
    Wm& g = G();
    auto it = g.windows.find(reinterpret_cast<uintptr_t>(window));
    if (it == g.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return it->second.get();
}

std::shared_ptr<Window> FindShared(HWND window)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    auto it = g.windows.find(reinterpret_cast<uintptr_t>(window));
    if (it == g.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return it->second;
}

Window* TopLevelL(Window* w)
{
    while (w && w->parent)
        w = w->parent;
    return w;
}

bool IsAncestorL(const Window* ancestor, const Window* w)
{
    for (; w; w = w->parent)
        if (w == ancestor)
            return true;
    return false;
}

bool VisibleL(const Window* w)
{
    for (; w; w = w->parent)
        if (!(w->style & WS_VISIBLE))
            return false;
    return true;
}

bool OnScreenL(const Window* w)
{
    if (!VisibleL(w))
        return false;
    for (; w; w = w->parent)
        if (w->style & WS_MINIMIZE)
            return false;
    return true;
}

bool EnabledL(const Window* w)
{
    return w && !(w->style & WS_DISABLED);
}

POINT ClientOriginL(const Window* w)
{
    POINT origin = {0, 0};
    for (; w; w = w->parent) {
        origin.x += w->rect.left;
        origin.y += w->rect.top;
    }
    return origin;
}

RECT ClientRectL(const Window* w)
{
    return RECT{0, 0, std::max<LONG>(0, w->rect.right - w->rect.left),
                std::max<LONG>(0, w->rect.bottom - w->rect.top)};
}

RECT ScreenRectL(const Window* w)
{
    POINT origin = ClientOriginL(w);
    RECT client = ClientRectL(w);
    return RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}

RECT VisibleScreenRectL(const Window* w)
{
    RECT visible = ScreenRectL(w);
    for (const Window* p = w->parent; p; p = p->parent) {
        RECT parent = ScreenRectL(p);
        if (!IntersectRect(&visible, &visible, &parent))
            return RECT{0, 0, 0, 0};
    }
    RECT screen = {0, 0, G().screen.cx, G().screen.cy};
    if (!IntersectRect(&visible, &visible, &screen))
        return RECT{0, 0, 0, 0};
    return visible;
}

bool EffectiveTopmostL(const Window* w)
{
    for (int depth = 0; w && depth < 64; w = w->owner, ++depth)
        if (w->exStyle & WS_EX_TOPMOST)
            return true;
    return false;
}

void WakeL(ThreadState* thread)
{
    if (!thread)
        return;
    thread->idle = false;
    thread->wake.notify_all();
}

void WakeAllL()
{
    for (auto& [id, thread] : G().threads)
        WakeL(thread.get());
}

void AddDirtyL(const RECT& screenRect)
{
    Wm& g = G();
    RECT screen = {0, 0, g.screen.cx, g.screen.cy};
    RECT part;
    if (!IntersectRect(&part, &screenRect, &screen))
        return;
    g.dirty.Add(part);
    ++g.generation;
    g.screenChanged.notify_all();
}

void PostL(ThreadState* thread, const MSG& msg)
{
    thread->posted.push_back(msg);
    WakeL(thread);
}

// ---------------------------------------------------------------------------------------------
// Z-order

namespace {

size_t IndexOf(const std::vector<Window*>& list, const Window* w)
{
    return size_t(std::find(list.begin(), list.end(), w) - list.begin());
}

}  // namespace

void NormaliseZOrderL()
{
    auto& list = G().topLevels;
    std::stable_partition(list.begin(), list.end(),
                          [](const Window* w) { return EffectiveTopmostL(w); });
    // Owned windows that fell below their owner go back just above it, in their order.
    for (size_t rounds = 0; rounds <= list.size(); ++rounds) {
        bool moved = false;
        for (size_t i = 0; i < list.size() && !moved; ++i) {
            Window* owner = list[i];
            std::vector<Window*> below;
            for (size_t j = i + 1; j < list.size(); ++j)
                if (list[j]->owner == owner)
                    below.push_back(list[j]);
            if (below.empty())
                continue;
            for (Window* w : below)
                list.erase(list.begin() + IndexOf(list, w));
            list.insert(list.begin() + IndexOf(list, owner), below.begin(), below.end());
            moved = true;
        }
        if (!moved)
            break;
    }
}

void ZOrderL(Window* w, HWND insertAfter)
{
    if (w->parent) {
        auto& siblings = w->parent->children;
        siblings.erase(siblings.begin() + IndexOf(siblings, w));
        if (insertAfter == HWND_BOTTOM) {
            siblings.push_back(w);
            return;
        }
        size_t at = 0;
        if (insertAfter != HWND_TOP && insertAfter != HWND_TOPMOST &&
            insertAfter != HWND_NOTOPMOST) {
            size_t index = IndexOf(siblings, FindL(insertAfter));
            if (index < siblings.size())
                at = index + 1;
        }
        siblings.insert(siblings.begin() + at, w);
        return;
    }
    auto& list = G().topLevels;
    list.erase(list.begin() + IndexOf(list, w));
    if (insertAfter == HWND_TOPMOST)
        w->exStyle |= WS_EX_TOPMOST;
    if (insertAfter == HWND_NOTOPMOST || insertAfter == HWND_BOTTOM)
        w->exStyle &= ~WS_EX_TOPMOST;
    Window* after = nullptr;
    if (insertAfter != HWND_TOP && insertAfter != HWND_BOTTOM && insertAfter != HWND_TOPMOST &&
        insertAfter != HWND_NOTOPMOST) {
        after = FindL(insertAfter);
        if (after && after->parent)
            after = nullptr;
    }
    if (insertAfter == HWND_BOTTOM) {
        list.push_back(w);
    } else if (after && after != w && IndexOf(list, after) < list.size()) {
        list.insert(list.begin() + IndexOf(list, after) + 1, w);
    } else {
        size_t at = 0;
        if (!EffectiveTopmostL(w))
            while (at < list.size() && EffectiveTopmostL(list[at]))
                ++at;
        list.insert(list.begin() + at, w);
    }
    // The windows it owns move with it and stay just above it, in their order.
    std::vector<Window*> owned;
    for (Window* other : list) {
        for (const Window* o = other->owner; o; o = o->owner) {
            if (o == w) {
                owned.push_back(other);
                break;
            }
        }
    }
    if (!owned.empty()) {
        for (Window* o : owned)
            list.erase(list.begin() + IndexOf(list, o));
        list.insert(list.begin() + IndexOf(list, w), owned.begin(), owned.end());
    }
    NormaliseZOrderL();
}

// ---------------------------------------------------------------------------------------------
// Pixels

std::shared_ptr<gdi::Surface> PixelsL(Window* w)
{
    if (!w->pixels) {
        RECT client = ClientRectL(w);
        if (w == G().desktop.get())
            client = RECT{0, 0, G().screen.cx, G().screen.cy};
        if (client.right > 0 && client.bottom > 0)
            w->pixels = gdi::Surface::Create(client.right, client.bottom);
    }
    return w->pixels;
}

void ResizePixelsL(Window* w)
{
    RECT client = ClientRectL(w);
    std::shared_ptr<gdi::Surface> old = w->pixels;
    if (old && old->Width() == client.right && old->Height() == client.bottom)
        return;
    std::shared_ptr<gdi::Surface> made;
    if (old && client.right > 0 && client.bottom > 0) {
        made = gdi::Surface::Create(client.right, client.bottom);
        if (made) {
            gdi::SurfaceLock both(old.get(), made.get());
            int width = std::min(old->Width(), made->Width());
            int height = std::min(old->Height(), made->Height());
            for (int y = 0; y < height; ++y)
                std::memcpy(made->Row(y), old->Row(y), size_t(width) * 4);
        }
    }
    w->pixels = made;
    for (const Window::Dc& dc : w->dcs) {
        gdi::Target target;
        target.surface = made;
        if (dc.paint) {
            gdi::Target previous;
            if (gdi::GetDCTarget(dc.dc, &previous))
                target.clip = previous.clip;
        } else {
            target.clip.push_back(client);
        }
        gdi::SetSurfaceDCTarget(dc.dc, target);
    }
}

bool MatchesFilter(const MSG& msg, HWND filter, UINT min, UINT max)
{
    if (filter == reinterpret_cast<HWND>(-1)) {
        if (msg.hwnd)
            return false;
    } else if (filter && msg.hwnd != filter) {
        return false;
    }
    if (min == 0 && max == 0)
        return true;
    return msg.message >= min && msg.message <= max;
}

}  // namespace platform::user
