// The window manager's state: windows, classes, per-thread queues, input and the clock.
//
// One lock, Wm::lock, guards everything here (the tree, styles, rectangles, queues, timers,
// activation, focus, capture, input and the clock). It is never held while a window procedure
// runs or while a thread waits for another; functions whose names end in L require it. Lock
// order: Wm::lock, then GDI device-context locks, then surface locks; nothing that holds a
// surface or device-context lock takes Wm::lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "../gdi/surface.h"
#include "compositor.h"
#include "platform/kernel.h"
#include "platform/user.h"
#include "region.h"

namespace platform::user {

struct ThreadState;

struct WindowClass {
    std::wstring name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HICON iconSmall = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    int windows = 0;  // windows of the class that exist
};

struct Window {
    HWND handle = nullptr;
    DWORD threadId = 0;
    std::shared_ptr<ThreadState> thread;  // null for the desktop
    std::shared_ptr<WindowClass> windowClass;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    Window* parent = nullptr;       // null for top-level windows
    Window* owner = nullptr;        // top-level windows only
    std::vector<Window*> children;  // z-order, top first
    RECT rect = {0, 0, 0, 0};       // parent client coordinates, or screen for top-level windows
    RECT restore = {0, 0, 0, 0};    // the normal rectangle while minimised or maximised
    std::wstring text;
    UINT_PTR id = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    HICON iconBig = nullptr;
    HICON iconSmall = nullptr;

    Region update;  // client coordinates
    bool erase = false;
    // Its last paint showed its parent's pixels beneath it (a control with a null background
    // brush): the parent's update region reaches into it, see AddUpdateL.
    bool showsParent = false;

    // Client-sized pixels, made on first use; replaced (not resized) when the size changes.
    std::shared_ptr<gdi::Surface> pixels;
    // Layered windows: the last UpdateLayeredWindow picture; null shows nothing.
    std::shared_ptr<gdi::Surface> layered;
    BYTE layeredAlpha = 255;
    bool layeredPerPixel = false;
    // Window and paint device contexts not yet released; a paint one keeps the clip of its
    // update region, a window one covers the whole client area.
    struct Dc {
        HDC dc;
        bool paint;
    };
    std::vector<Dc> dcs;

    bool trackLeave = false;
    bool trackHover = false;
    DWORD hoverTime = 0;
    uint64_t hoverStart = 0;
    POINT hoverAnchor = {0, 0};  // screen

    bool destroying = false;
    bool gone = false;  // the handle is no longer valid
};

// A message sent from one thread to a window of another, waiting to be handled.
struct SentMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<ThreadState> sender;
};

struct Timer {
    HWND window = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    uint64_t due = 0;
    TIMERPROC proc = nullptr;
};

struct ThreadState {
    DWORD id = 0;
    bool alive = true;
    std::condition_variable wake;  // with Wm::lock
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> incoming;
    std::vector<Timer> timers;
    UINT_PTR nextTimerId = 0x7000;
    bool quit = false;
    int quitCode = 0;
    // Set by the thread itself while it waits in GetMessageW / WaitMessage with nothing to do;
    // cleared by whoever gives it something.
    bool idle = false;
    MSG last = {};  // the last message retrieved, for GetMessageTime
};

struct RawInput {
    InputEvent event;
    DWORD time = 0;
};

struct ClickRecord {
    HWND window = nullptr;
    UINT button = 0;  // the DOWN message
    DWORD time = 0;
    POINT point = {0, 0};
    bool valid = false;
};

struct Wm {
    std::mutex lock;
    std::condition_variable idleChanged;
    std::condition_variable screenChanged;

    std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
    uintptr_t nextHandle = 0x20000;
    std::vector<Window*> topLevels;  // z-order, top first
    std::shared_ptr<Window> desktop;

    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;

    std::unordered_map<DWORD, std::shared_ptr<ThreadState>> threads;

    Window* active = nullptr;
    Window* focus = nullptr;
    Window* capture = nullptr;

    std::deque<RawInput> input;
    POINT cursor = {0, 0};       // as of the last input delivered
    POINT asyncCursor = {0, 0};  // as of the last input posted
    BYTE keys[256] = {};
    BYTE asyncKeys[256] = {};
    ClickRecord lastClick;
    HCURSOR cursorShape = nullptr;
    int cursorCount = 0;
    bool dragFullWindows = true;

    bool manualClock = false;
    uint64_t manualNow = 0;

    SIZE screen = {1920, 1080};
    Region dirty;
    uint64_t generation = 1;

    std::unordered_map<HDC, HWND> windowDcs;
};

Wm& G();

// The calling thread's queue, made on first use; it lives until the thread ends, when its
// windows go away without messages and sends waiting for it return 0.
std::shared_ptr<ThreadState> CurrentThreadL();
std::shared_ptr<ThreadState> CurrentThread();

// Milliseconds on the window manager's clock.
uint64_t NowL();

// Lookups: null (with ERROR_INVALID_WINDOW_HANDLE) for handles that are not windows.
Window* FindL(HWND window);
std::shared_ptr<Window> FindShared(HWND window);
inline HWND H(const Window* w)
{
    return w ? w->handle : nullptr;
}

// Tree and geometry helpers.
Window* TopLevelL(Window* w);
bool IsAncestorL(const Window* ancestor, const Window* w);  // true for w itself
bool VisibleL(const Window* w);                             // itself and every ancestor
bool OnScreenL(const Window* w);  // visible and no minimised top-level ancestor
bool EnabledL(const Window* w);
POINT ClientOriginL(const Window* w);  // screen position of client (0, 0)
RECT ScreenRectL(const Window* w);
RECT ClientRectL(const Window* w);  // (0, 0, width, height)
// The screen rectangle where a window can show: clipped by its ancestors and the screen.
RECT VisibleScreenRectL(const Window* w);
bool EffectiveTopmostL(const Window* w);

// Adds `area` (client coordinates, within the client area) to a window's update region and
// wakes its thread. A window without WS_CLIPCHILDREN passes the part under each visible child
// that shows its pixels through on to that child, as Windows passes a parent's update region
// on to the children it covers: the child paints after the parent and shows what the parent
// painted beneath it. Children that paint all their own pixels are left alone, since the
// parent's paint cannot reach their pixels here.
void AddUpdateL(Window* w, const RECT& area, bool erase);

// Marks a thread as having work and wakes it.
void WakeL(ThreadState* thread);
void WakeAllL();
void AddDirtyL(const RECT& screenRect);
void PostL(ThreadState* thread, const MSG& msg);

// Z-order: puts a top-level window at the top of its band (with the windows it owns above
// it), or a child at the top of its siblings; the other insert positions as SetWindowPos.
void ZOrderL(Window* w, HWND insertAfter);
void NormaliseZOrderL();

// Pixels: the window's client-sized buffer, made when missing (null for empty sizes).
std::shared_ptr<gdi::Surface> PixelsL(Window* w);
// Called after a window's client size changed: new pixels keep the old ones that fit, and the
// device contexts onto the window are pointed at them.
void ResizePixelsL(Window* w);

// Runs a message sent from another thread on the calling thread (the window's) and wakes the
// sender. Call without the lock.
void Deliver(const std::shared_ptr<SentMessage>& sent);

// Runs the oldest message sent to the calling thread `me`, if one waits, with the manager's
// lock (held through `lock`) released around the call and held again on return. Returns
// whether there was one.
bool DeliverNextSentL(ThreadState* me, std::unique_lock<std::mutex>& lock);

// Activation, focus and capture notices: handled at once for a window of the calling thread;
// for another thread's window queued with the sent messages, without waiting for it, so that a
// thread that does not look at its queue (it waits for the caller, say) cannot block the
// change. Call without the lock.
void Notify(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Activation and focus; call without the lock. Activate sends the activation messages (see
// SetActiveWindow) and returns the window active before.
HWND Activate(HWND window, int how);
// Chooses and activates the window that should take over from `leaving`, which is being hidden,
// disabled, minimised or destroyed.
void ActivateNextAfter(HWND leaving);
HWND ChangeFocus(HWND window);
void ReleaseCaptureFrom(HWND window, bool includeDescendants);

// Sends WM_SHOWWINDOW and shows or hides; used by ShowWindow and DestroyWindow.
void ShowL(Window* w, bool show);

// Input: a message from the input queue for `me`, when the head of the queue is for it.
enum class InputResult { None, Got, Retry };
InputResult TakeInput(ThreadState* me, MSG* out, HWND filter, UINT min, UINT max, bool remove,
                      std::unique_lock<std::mutex>& lock);
// After a window moved, was hidden or destroyed: leave notifications for windows the pointer is
// no longer over.
void CheckTrackingL();
// Posts WM_MOUSEHOVER for hovers that are due; returns the earliest future due time (or 0).
uint64_t FireHoversL(ThreadState* me);
Window* HitTestL(POINT screen, bool* disabledTopLevel);

// Whether a message passes a GetMessage filter.
bool MatchesFilter(const MSG& msg, HWND filter, UINT min, UINT max);

// The thread that should receive WM_PAINT: finds a visible window of `thread` with a non-empty
// update region, parents before children.
Window* FindPaintWindowL(ThreadState* thread, HWND filter);

// Destroys a window tree without messages (thread exit).
void RemoveSilentlyL(Window* w);

// The compositor's shape for a cursor handle.
CursorShape ShapeOf(HCURSOR cursor);

// The system colour brushes.
HBRUSH SysColorBrush(int index);
// The brush that a class background stands for (a handle or a colour index plus one).
HBRUSH ClassBrush(HBRUSH background);

}  // namespace platform::user
