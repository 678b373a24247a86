// Sending, posting and retrieving messages, and timers.
#include <algorithm>
#include <chrono>

#include "remote.h"
#include "wm.h"

namespace platform::user {

namespace {

constexpr size_t kMaxPosted = 10000;

LRESULT CallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc = nullptr;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return 0;
        proc = w->proc;
    }
    if (!proc)
        return DefWindowProcW(window, message, wParam, lParam);
    return proc(window, message, wParam, lParam);
}

}  // namespace

// Handles a message that another thread sent to one of this thread's windows and wakes the
// sender with the result, also when the window procedure throws.
void Deliver(const std::shared_ptr<SentMessage>& sent)
{
    struct Finish {
        const std::shared_ptr<SentMessage>& sent;
        LRESULT result = 0;
        ~Finish()
        {
            std::lock_guard<std::mutex> guard(G().lock);
            sent->result = result;
            sent->done = true;
            if (sent->sender)
                sent->sender->wake.notify_all();
        }
    } finish{sent};
    finish.result = CallProc(sent->window, sent->message, sent->wParam, sent->lParam);
}

bool DeliverNextSentL(ThreadState* me, std::unique_lock<std::mutex>& lock)
{
    if (me->incoming.empty())
        return false;
    auto sent = me->incoming.front();
    me->incoming.pop_front();
    lock.unlock();
    Deliver(sent);
    lock.lock();
    return true;
}

namespace {

LRESULT SendAcross(const std::shared_ptr<ThreadState>& target, HWND window, UINT message,
                   WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<ThreadState> me = CurrentThread();
    auto sent = std::make_shared<SentMessage>();
    sent->window = window;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->sender = me;
    std::unique_lock<std::mutex> lock(G().lock);
    if (!target->alive)
        return 0;
    target->incoming.push_back(sent);
    WakeL(target.get());
    // A target that waits for another thread to go idle handles sends meanwhile.
    G().idleChanged.notify_all();
    // While waiting, this thread handles what is sent to its own windows, so that the target
    // (or a third thread) may send back into it without deadlocking.
    while (!sent->done) {
        if (DeliverNextSentL(me.get(), lock))
            continue;
        me->wake.wait(lock);
    }
    return sent->result;
}

bool TakePostedL(ThreadState* me, MSG* out, HWND filter, UINT min, UINT max, bool remove)
{
    for (auto it = me->posted.begin(); it != me->posted.end(); ++it) {
        if (!MatchesFilter(*it, filter, min, max))
            continue;
        *out = *it;
        if (remove)
            me->posted.erase(it);
        return true;
    }
    return false;
}

bool TakeTimerL(ThreadState* me, MSG* out, HWND filter, UINT min, UINT max, bool remove)
{
    MSG probe = {};
    probe.message = WM_TIMER;
    uint64_t now = NowL();
    Timer* chosen = nullptr;
    for (Timer& t : me->timers) {
        probe.hwnd = t.window;
        if (t.due > now || !MatchesFilter(probe, filter, min, max))
            continue;
        if (!chosen || t.due < chosen->due)
            chosen = &t;
    }
    if (!chosen)
        return false;
    out->hwnd = chosen->window;
    out->message = WM_TIMER;
    out->wParam = chosen->id;
    out->lParam = reinterpret_cast<LPARAM>(chosen->proc);
    out->time = DWORD(now);
    out->pt = G().cursor;
    if (remove) {
        chosen->due += chosen->elapse;
        if (chosen->due <= now)
            chosen->due = now + chosen->elapse;
    }
    return true;
}

uint64_t NextTimerDueL(ThreadState* me)
{
    uint64_t next = 0;
    for (const Timer& t : me->timers)
        if (!next || t.due < next)
            next = t.due;
    return next;
}

// The retrieval loop behind GetMessageW, PeekMessageW and WaitMessage. With `out` null it only
// waits until something is there.
bool Fetch(MSG* out, HWND filter, UINT min, UINT max, bool remove, bool wait)
{
    Wm& g = G();
    std::unique_lock<std::mutex> lock(g.lock);
    std::shared_ptr<ThreadState> me = CurrentThreadL();
    MSG scratch = {};
    MSG* msg = out ? out : &scratch;
    bool take = out ? remove : false;
    for (;;) {
        if (DeliverNextSentL(me.get(), lock)) {
            if (!out)
                return true;
            continue;
        }
        if (TakePostedL(me.get(), msg, filter, min, max, take))
            break;
        InputResult input = TakeInput(me.get(), msg, filter, min, max, take, lock);
        if (input == InputResult::Got)
            break;
        if (input == InputResult::Retry)
            continue;
        bool threadFilter = !filter || filter == reinterpret_cast<HWND>(-1);
        bool quitInRange = (min == 0 && max == 0) || (WM_QUIT >= min && WM_QUIT <= max);
        if (me->quit && threadFilter && quitInRange) {
            *msg = MSG{};
            msg->message = WM_QUIT;
            msg->wParam = WPARAM(me->quitCode);
            msg->time = DWORD(NowL());
            msg->pt = g.cursor;
            if (take)
                me->quit = false;
            break;
        }
        MSG paint = {};
        paint.message = WM_PAINT;
        if (MatchesFilter(paint, nullptr, min, max)) {
            if (Window* w = FindPaintWindowL(me.get(), filter)) {
                *msg = paint;
                msg->hwnd = w->handle;
                msg->time = DWORD(NowL());
                msg->pt = g.cursor;
                break;
            }
        }
        uint64_t hoverDue = FireHoversL(me.get());
        if (!me->posted.empty() && TakePostedL(me.get(), msg, filter, min, max, take))
            break;
        if (TakeTimerL(me.get(), msg, filter, min, max, take))
            break;
        if (!wait)
            return false;
        if (!out && (!me->posted.empty() || me->quit))
            return true;

        me->idle = true;
        g.idleChanged.notify_all();
        uint64_t due = NextTimerDueL(me.get());
        if (hoverDue && (!due || hoverDue < due))
            due = hoverDue;
        if (due && !g.manualClock) {
            uint64_t now = NowL();
            auto wait_for = std::chrono::milliseconds(due > now ? due - now : 0);
            me->wake.wait_for(lock, wait_for);
        } else {
            me->wake.wait(lock);
        }
        me->idle = false;
        if (!out)
            return true;
    }
    if (take)
        me->last = *msg;
    return true;
}

}  // namespace

void Notify(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<ThreadState> target;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return;
        target = w->thread;
        if (target->id != GetCurrentThreadId()) {
            auto sent = std::make_shared<SentMessage>();
            sent->window = window;
            sent->message = message;
            sent->wParam = wParam;
            sent->lParam = lParam;
            target->incoming.push_back(sent);
            WakeL(target.get());
            G().idleChanged.notify_all();
            return;
        }
    }
    CallProc(window, message, wParam, lParam);
}

Window* FindPaintWindowL(ThreadState* thread, HWND filter)
{
    std::vector<Window*> stack(G().topLevels.rbegin(), G().topLevels.rend());
    while (!stack.empty()) {
        Window* w = stack.back();
        stack.pop_back();
        if (!(w->style & WS_VISIBLE))
            continue;
        if (w->thread.get() == thread && !w->update.Empty() && (!filter || filter == w->handle))
            return w;
        for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
            stack.push_back(*it);
    }
    return nullptr;
}

}  // namespace platform::user

using namespace platform::user;

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window == HWND_BROADCAST) {
        std::vector<HWND> targets;
        {
            std::lock_guard<std::mutex> guard(G().lock);
            for (Window* w : G().topLevels)
                targets.push_back(w->handle);
        }
        for (HWND target : targets)
            SendMessageW(target, message, wParam, lParam);
        return 0;
    }
    if (IsRemoteWindow(window))
        return SendToRemote(window, message, wParam, lParam);
    std::shared_ptr<ThreadState> target;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return 0;
        target = w->thread;
    }
    if (target->id == GetCurrentThreadId())
        return CallProc(window, message, wParam, lParam);
    return SendAcross(target, window, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    MSG msg = {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = DWORD(NowL());
    msg.pt = g.cursor;
    if (window == HWND_BROADCAST) {
        for (Window* w : g.topLevels) {
            if (w->thread->posted.size() >= kMaxPosted)
                continue;
            msg.hwnd = w->handle;
            PostL(w->thread.get(), msg);
        }
        return TRUE;
    }
    ThreadState* target = nullptr;
    if (!window) {
        target = CurrentThreadL().get();
    } else {
        Window* w = FindL(window);
        if (!w)
            return FALSE;
        target = w->thread.get();
    }
    if (target->posted.size() >= kMaxPosted) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    PostL(target, msg);
    return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    auto it = g.threads.find(threadId);
    if (it == g.threads.end() || !it->second->alive) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    if (it->second->posted.size() >= kMaxPosted) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    MSG msg = {};
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = DWORD(NowL());
    msg.pt = g.cursor;
    PostL(it->second.get(), msg);
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    std::lock_guard<std::mutex> guard(G().lock);
    auto me = CurrentThreadL();
    me->quit = true;
    me->quitCode = exitCode;
    WakeL(me.get());
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (window && window != reinterpret_cast<HWND>(-1) && !IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Fetch(msg, window, filterMin, filterMax, true, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Fetch(msg, window, filterMin, filterMax, (remove & PM_REMOVE) != 0, false) ? TRUE
                                                                                      : FALSE;
}

BOOL WaitMessage()
{
    Fetch(nullptr, nullptr, 0, 0, false, true);
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        // Only the procedure of a live timer is called, never an arbitrary lParam.
        TIMERPROC proc = nullptr;
        {
            std::lock_guard<std::mutex> guard(G().lock);
            auto me = CurrentThreadL();
            for (const Timer& t : me->timers)
                if (t.window == msg->hwnd && t.id == msg->wParam &&
                    reinterpret_cast<LPARAM>(t.proc) == msg->lParam)
                    proc = t.proc;
        }
        if (proc)
            proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    if (!msg->hwnd)
        return 0;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(msg->hwnd);
        if (!w)
            return 0;
        if (w->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
            return 0;
        }
    }
    return CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

namespace {

// The character a key makes on the US layout, or 0.
WCHAR CharacterOf(UINT vk, bool shift, bool control)
{
    if (vk >= 'A' && vk <= 'Z') {
        if (control)
            return WCHAR(vk - 'A' + 1);
        return shift ? WCHAR(vk) : WCHAR(vk - 'A' + 'a');
    }
    if (control) {
        if (vk == VK_RETURN)
            return L'\n';
        if (vk == VK_ESCAPE)
            return 27;
        if (vk == VK_BACK)
            return 127;
        return 0;
    }
    if (vk >= '0' && vk <= '9')
        return shift ? L")!@#$%^&*("[vk - '0'] : WCHAR(vk);
    struct Oem {
        UINT vk;
        WCHAR plain;
        WCHAR shifted;
    };
    static const Oem oem[] = {{0xBA, L';', L':'}, {0xBB, L'=', L'+'}, {0xBC, L',', L'<'},
                              {0xBD, L'-', L'_'}, {0xBE, L'.', L'>'}, {0xBF, L'/', L'?'},
                              {0xC0, L'`', L'~'}, {0xDB, L'[', L'{'}, {0xDC, L'\\', L'|'},
                              {0xDD, L']', L'}'}, {0xDE, L'\'', L'"'}};
    for (const Oem& o : oem)
        if (o.vk == vk)
            return shift ? o.shifted : o.plain;
    switch (vk) {
        case VK_SPACE:
            return L' ';
        case VK_RETURN:
            return L'\r';
        case VK_ESCAPE:
            return 27;
        case VK_BACK:
            return 8;
        case VK_TAB:
            return 9;
        default:
            return 0;
    }
}

}  // namespace

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg)
        return FALSE;
    UINT m = msg->message;
    if (m != WM_KEYDOWN && m != WM_KEYUP && m != WM_SYSKEYDOWN && m != WM_SYSKEYUP)
        return FALSE;
    if (m == WM_KEYUP || m == WM_SYSKEYUP)
        return TRUE;
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool control = GetKeyState(VK_CONTROL) < 0;
    bool alt = GetKeyState(VK_MENU) < 0;
    if (control && alt)
        return TRUE;
    WCHAR ch = CharacterOf(UINT(msg->wParam), shift, control);
    if (ch)
        PostMessageW(msg->hwnd, m == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR, ch, msg->lParam);
    return TRUE;
}

DWORD GetMessageTime()
{
    std::lock_guard<std::mutex> guard(G().lock);
    return CurrentThreadL()->last.time;
}

LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!proc)
        return 0;
    return proc(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Timers

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    auto me = CurrentThreadL();
    if (window) {
        Window* w = FindL(window);
        if (!w)
            return 0;
        if (w->threadId != me->id) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, 0x7FFFFFFF);
    uint64_t due = NowL() + elapse;
    for (Timer& t : me->timers) {
        if (t.window == window && t.id == id && (window || id)) {
            t.elapse = elapse;
            t.due = due;
            t.proc = timerProc;
            return window ? (id ? id : 1) : id;
        }
    }
    Timer t;
    t.window = window;
    t.id = window ? id : me->nextTimerId++;
    t.elapse = elapse;
    t.due = due;
    t.proc = timerProc;
    me->timers.push_back(t);
    WakeL(me.get());
    return window ? (id ? id : 1) : t.id;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    std::lock_guard<std::mutex> guard(G().lock);
    auto me = CurrentThreadL();
    auto it = std::find_if(me->timers.begin(), me->timers.end(),
                           [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == me->timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    me->timers.erase(it);
    return TRUE;
}
