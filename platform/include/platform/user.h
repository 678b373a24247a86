// The window manager: window classes, windows and their tree, z-order, visibility and
// activation, message queues and timers, input, painting into window pixels, layered windows,
// modal message boxes, accelerators, cursors, system metrics and the one monitor.
//
// Threads: a window belongs to the thread that created it, and every thread has its own queue.
// SendMessageW to another thread's window blocks until that thread handles it; meanwhile the
// sender still handles what other threads send to its own windows, so a send back into the
// sender never deadlocks. Functions that change a window (ShowWindow, SetWindowPos, ...) may be
// called from any thread; the messages they cause are sent to the window's thread. DestroyWindow
// and SetTimer act only on windows of the calling thread, as on Windows.
//
// Geometry: windows have no frame or caption here, so a window's client area is the whole
// window. Coordinates of top-level windows are screen pixels on one monitor, the virtual screen
// (1920 x 1080 unless PLATFORM_SCREEN=WxH); those of child windows count from the parent's
// client area.
//
// Pixels: every window owns a 32-bit BGRA buffer of its client size. GetDC and BeginPaint give
// device contexts that draw into it (from any thread, serialised by the buffer's own lock); the
// compositor (screen/) shows the buffers. A layered window shows instead the picture that
// UpdateLayeredWindow last gave it, and nothing before the first such call.
#pragma once

#include <string>

#include "platform/base.h"
#include "platform/gdi.h"

// ---------------------------------------------------------------------------------------------
// Handles and basic types

struct HWND__;
typedef HWND__* HWND;
struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;
struct HMENU__;
typedef HMENU__* HMENU;
struct HACCEL__;
typedef HACCEL__* HACCEL;
struct HMONITOR__;
typedef HMONITOR__* HMONITOR;

typedef LRESULT(CALLBACK* WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Called by DispatchMessageW for a WM_TIMER whose timer was set with a procedure; `time` is the
// tick count of the message.
typedef void(CALLBACK* TIMERPROC)(HWND window, UINT message, UINT_PTR id, DWORD time);
typedef BOOL(CALLBACK* WNDENUMPROC)(HWND window, LPARAM lParam);

#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKELRESULT(l, h) ((LRESULT)(DWORD)MAKELONG(l, h))
// Signed coordinates packed into an LPARAM (a captured pointer may lie left of or above the
// window).
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
#define GET_WHEEL_DELTA_WPARAM(wp) ((short)HIWORD(wp))
#define GET_KEYSTATE_WPARAM(wp) (LOWORD(wp))
#define WHEEL_DELTA 120
#define MAKEINTATOM(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))

// Window-manager errors (GetLastError).
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_ACCEL_HANDLE 1403L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_WINDOW_OF_OTHER_THREAD 1408L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_INVALID_THREAD_ID 1444L
#define ERROR_NOT_ENOUGH_QUOTA 1816L

// ---------------------------------------------------------------------------------------------
// Messages

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_SETCURSOR 0x0020
#define WM_MOUSEACTIVATE 0x0021
#define WM_GETMINMAXINFO 0x0024
#define WM_ICONERASEBKGND 0x0027
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_QUERYDRAGICON 0x0037
#define WM_COPYDATA 0x004A
#define WM_GETICON 0x007F
#define WM_SETICON 0x0080
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_NCHITTEST 0x0084
#define WM_NCACTIVATE 0x0086
#define WM_NCLBUTTONDOWN 0x00A1
#define WM_KEYFIRST 0x0100
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_KEYLAST 0x0109
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSCROLLBAR 0x0137
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEFIRST 0x0200
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_RBUTTONDBLCLK 0x0206
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MBUTTONDBLCLK 0x0209
#define WM_MOUSEWHEEL 0x020A
#define WM_MOUSELAST 0x020A
#define WM_CAPTURECHANGED 0x0215
#define WM_DEVICECHANGE 0x0219
#define WM_ENTERSIZEMOVE 0x0231
#define WM_EXITSIZEMOVE 0x0232
#define WM_DROPFILES 0x0233
#define WM_MOUSEHOVER 0x02A1
#define WM_MOUSELEAVE 0x02A3
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_ACTIVATE: the low word of wParam; the high word is non-zero when the window is minimised;
// lParam is the window that loses (or gains) activation, or null.
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2

// WM_MOUSEACTIVATE answers.
#define MA_ACTIVATE 1
#define MA_ACTIVATEANDEAT 2
#define MA_NOACTIVATE 3
#define MA_NOACTIVATEANDEAT 4

// Hit-test codes (WM_SETCURSOR, WM_MOUSEACTIVATE, WM_NCLBUTTONDOWN).
#define HTERROR (-2)
#define HTTRANSPARENT (-1)
#define HTNOWHERE 0
#define HTCLIENT 1
#define HTCAPTION 2
#define HTLEFT 10
#define HTRIGHT 11
#define HTTOP 12
#define HTTOPLEFT 13
#define HTTOPRIGHT 14
#define HTBOTTOM 15
#define HTBOTTOMLEFT 16
#define HTBOTTOMRIGHT 17

// WM_SIZE wParam.
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

// Mouse message wParam flags.
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010

// WM_SYSCOMMAND wParam.
#define SC_SIZE 0xF000
#define SC_MOVE 0xF010
#define SC_MINIMIZE 0xF020
#define SC_MAXIMIZE 0xF030
#define SC_CLOSE 0xF060
#define SC_RESTORE 0xF120

// WM_SETICON wParam.
#define ICON_SMALL 0
#define ICON_BIG 1

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;  // the window manager's tick count when the message was made
    POINT pt;    // the cursor in screen pixels at that time
} MSG, *PMSG, *LPMSG;

typedef struct tagCREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTW, *LPCREATESTRUCTW;

typedef struct tagMINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
} MINMAXINFO, *PMINMAXINFO, *LPMINMAXINFO;

typedef struct tagPAINTSTRUCT {
    HDC hdc;
    BOOL fErase;   // TRUE when WM_ERASEBKGND did not erase and the painter should
    RECT rcPaint;  // the bounds of the region being painted, client coordinates
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
} PAINTSTRUCT, *PPAINTSTRUCT, *LPPAINTSTRUCT;

// Sending and posting. PostMessageW with a null window posts a thread message to the calling
// thread; HWND_BROADCAST reaches every top-level window. A queue holds at most 10000 posted
// messages; beyond that posting fails with ERROR_NOT_ENOUGH_QUOTA.
#define HWND_BROADCAST ((HWND)(ULONG_PTR)0xffff)
PLATFORM_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
PLATFORM_API BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
PLATFORM_API BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
PLATFORM_API void PostQuitMessage(int exitCode);

// Retrieval, in Windows' order: messages sent from other threads are handled first (inside the
// call), then posted messages, then input, then WM_QUIT, then WM_PAINT for a visible window with
// a non-empty update region, then WM_TIMER. A window filter matches that window only; (HWND)-1
// matches thread messages only. GetMessageW returns 0 for WM_QUIT, -1 for a bad filter window,
// else 1. PeekMessageW never removes WM_PAINT (BeginPaint validates the region).
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002
PLATFORM_API BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
PLATFORM_API BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
// Blocks until something arrives for the calling thread's queue.
PLATFORM_API BOOL WaitMessage();
// Posts WM_CHAR (WM_SYSCHAR) for a key message that makes a character, with the US layout.
PLATFORM_API BOOL TranslateMessage(const MSG* msg);
PLATFORM_API LRESULT DispatchMessageW(const MSG* msg);
PLATFORM_API DWORD GetMessageTime();
PLATFORM_API LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam);

// ---------------------------------------------------------------------------------------------
// Window classes

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_GLOBALCLASS 0x4000

// Background brushes may also be a system colour index plus one, as on Windows.
#define COLOR_WINDOW 5
#define COLOR_WINDOWTEXT 8
#define COLOR_BTNFACE 15
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_BTNTEXT 18

typedef struct tagWNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;  // bytes of window data at offsets 0.. for Get/SetWindowLongPtrW
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;  // set by DefWindowProcW's WM_SETCURSOR; null leaves the cursor alone
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXW, *LPWNDCLASSEXW;

typedef struct tagWNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
} WNDCLASSW, *LPWNDCLASSW;

// Names compare without regard to case. A class belongs to its instance; CS_GLOBALCLASS makes
// it visible to every instance. Registering a name that the instance (or a global class)
// already has fails with ERROR_CLASS_ALREADY_EXISTS. Returns the class atom, 0 on failure.
PLATFORM_API ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
PLATFORM_API ATOM RegisterClassW(const WNDCLASSW* windowClass);
// Fails with ERROR_CLASS_HAS_WINDOWS while windows of the class exist.
PLATFORM_API BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
PLATFORM_API BOOL GetClassInfoExW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSEXW windowClass);
PLATFORM_API BOOL GetClassInfoW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSW windowClass);

// ---------------------------------------------------------------------------------------------
// Windows

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW \
    (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
// The owner-drawn button style, in the low bits that a window class of its own reads; windows
// of other classes keep it as a plain style value. The "Button" class itself does not offer it
// (see "Buttons and edit controls" below).
#define BS_OWNERDRAW 0x0000000BL

#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TRANSPARENT 0x00000020L
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_APPWINDOW 0x00040000L
#define WS_EX_LAYERED 0x00080000L
#define WS_EX_NOACTIVATE 0x08000000L

#define CW_USEDEFAULT ((int)0x80000000)

// A null parent makes a top-level window; a parent with WS_POPUP or without WS_CHILD makes it
// the new window's owner, or rather the parent's top-level ancestor, since only top-level
// windows own others. WS_CHILD requires a parent (ERROR_TLW_WITH_WSCHILD); for children the
// menu argument is the control id. WM_NCCREATE answering FALSE or WM_CREATE answering -1
// destroys the window again (WM_DESTROY, WM_NCDESTROY) and the call returns null. Then WM_SIZE
// and WM_MOVE are sent, and WS_VISIBLE shows the window (a top-level one is also activated).
PLATFORM_API HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                                  int x, int y, int width, int height, HWND parent, HMENU menu,
                                  HINSTANCE instance, LPVOID param);
// Only windows of the calling thread (ERROR_ACCESS_DENIED otherwise). Hides the window (passing
// activation on), destroys the windows it owns, sends WM_DESTROY to it and then to its children,
// WM_NCDESTROY to the children and then to it, and invalidates the handles. Messages still
// queued for the windows are dropped; sends waiting for them return 0. A window may destroy
// itself inside its own handler.
PLATFORM_API BOOL DestroyWindow(HWND window);
PLATFORM_API BOOL IsWindow(HWND window);
PLATFORM_API BOOL IsChild(HWND parent, HWND window);
// The parent of a child window, the owner of a top-level window with WS_POPUP, else null.
PLATFORM_API HWND GetParent(HWND window);
// Moves the window under another parent (null: the desktop, making it top-level) keeping its
// coordinates relative to the new parent; styles are not changed. Returns the previous parent
// (the desktop window for a top-level window), null on failure.
PLATFORM_API HWND SetParent(HWND window, HWND newParent);
PLATFORM_API HWND GetDesktopWindow();

#define GA_PARENT 1
#define GA_ROOT 2
#define GA_ROOTOWNER 3
PLATFORM_API HWND GetAncestor(HWND window, UINT flags);

#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5
// Siblings in z-order, top first; GW_CHILD gives the top child.
PLATFORM_API HWND GetWindow(HWND window, UINT relation);
PLATFORM_API HWND GetDlgItem(HWND parent, int id);
PLATFORM_API int GetDlgCtrlID(HWND window);
// Top-level windows in z-order, top first.
PLATFORM_API BOOL EnumWindows(WNDENUMPROC callback, LPARAM lParam);
// The thread that created the window; *processId receives the process.
PLATFORM_API DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);

#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
// Offsets from 0 address the class's cbWndExtra bytes (ERROR_INVALID_INDEX past them). Setting
// GWL_STYLE changes the bits only (WS_VISIBLE and WS_DISABLED included, without messages);
// WS_EX_TOPMOST cannot be changed through GWL_EXSTYLE (SetWindowPos does that), and adding or
// removing WS_EX_LAYERED makes the window layered or plain. GWLP_HWNDPARENT sets the owner.
PLATFORM_API LONG_PTR GetWindowLongPtrW(HWND window, int index);
PLATFORM_API LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
PLATFORM_API LONG GetWindowLongW(HWND window, int index);
PLATFORM_API LONG SetWindowLongW(HWND window, int index, LONG value);

// Through WM_SETTEXT and WM_GETTEXT, so a window may handle its own text.
PLATFORM_API BOOL SetWindowTextW(HWND window, LPCWSTR text);
PLATFORM_API int GetWindowTextW(HWND window, LPWSTR text, int maxCount);
PLATFORM_API int GetWindowTextLengthW(HWND window);

// ---------------------------------------------------------------------------------------------
// Rectangles and coordinates

PLATFORM_API BOOL GetClientRect(HWND window, LPRECT rect);
// Screen coordinates.
PLATFORM_API BOOL GetWindowRect(HWND window, LPRECT rect);
PLATFORM_API BOOL ClientToScreen(HWND window, LPPOINT point);
PLATFORM_API BOOL ScreenToClient(HWND window, LPPOINT point);
// A null window stands for the screen. Returns the offset added, x in the low word and y in
// the high word, or 0 on failure (with the last error set).
PLATFORM_API int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);

// ---------------------------------------------------------------------------------------------
// Position, size, z-order and visibility

#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOCOPYBITS 0x0100
#define SWP_NOOWNERZORDER 0x0200

// Z-order: top-level windows form one list with the topmost band (WS_EX_TOPMOST, and every
// window owned by a topmost one) above the rest, and owned windows always above their owner;
// children are ordered among their siblings. New windows go to the top of their band.
// Without SWP_NOACTIVATE a visible top-level window is activated and brought to the top of its
// band. A size change sends WM_SIZE, a move WM_MOVE; unless SWP_NOREDRAW, a size change
// invalidates the window (all of it with CS_HREDRAW / CS_VREDRAW, else the new parts).
// SWP_SHOWWINDOW and SWP_HIDEWINDOW change visibility without WM_SHOWWINDOW.
PLATFORM_API BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy,
                               UINT flags);
PLATFORM_API BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
PLATFORM_API BOOL BringWindowToTop(HWND window);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9

// WM_SHOWWINDOW goes to the window before its visibility changes; showing invalidates the
// window and its visible descendants. SW_SHOW, SW_SHOWNORMAL, SW_RESTORE, SW_SHOWMAXIMIZED and
// SW_SHOWMINIMIZED activate a top-level window after showing it (even one already visible);
// SW_SHOWNA and SW_SHOWNOACTIVATE do not; child windows are never activated. Hiding the active
// window activates its owner, or else the top visible, enabled window that is neither a tool
// window nor owned by it (or none). A maximised
// window covers the monitor; a minimised one is not shown (there is no task bar) and has an
// empty client area until restored. Returns nonzero when the window was visible before.
PLATFORM_API BOOL ShowWindow(HWND window, int command);
// WS_VISIBLE of the window and of every ancestor.
PLATFORM_API BOOL IsWindowVisible(HWND window);
PLATFORM_API BOOL IsIconic(HWND window);
PLATFORM_API BOOL IsZoomed(HWND window);

// ---------------------------------------------------------------------------------------------
// Enabling, activation, focus and capture

// Sends WM_ENABLE after the change; disabling also takes the focus and the capture from the
// window and its descendants. Returns nonzero when the window was disabled before.
PLATFORM_API BOOL EnableWindow(HWND window, BOOL enable);
PLATFORM_API BOOL IsWindowEnabled(HWND window);

// Activation changes send, in this order, WM_NCACTIVATE(FALSE) and WM_ACTIVATE(WA_INACTIVE,
// new window) to the window losing activation, then WM_NCACTIVATE(TRUE) and
// WM_ACTIVATE(WA_ACTIVE or WA_CLICKACTIVE, old window) to the window gaining it, whose default
// processing sets the focus to it (WM_KILLFOCUS to the old focus, then WM_SETFOCUS). A mouse
// button pressed over a window whose top-level window is not active first sends it
// WM_MOUSEACTIVATE; its default processing asks the parent, and MA_NOACTIVATE (or
// MA_NOACTIVATEANDEAT) keeps the active window as it is. Only top-level windows are activated.
PLATFORM_API HWND SetActiveWindow(HWND window);
// The active window and the focus window, when they belong to the calling thread; else null.
PLATFORM_API HWND GetActiveWindow();
PLATFORM_API BOOL SetForegroundWindow(HWND window);
// The active window, whichever thread it belongs to.
PLATFORM_API HWND GetForegroundWindow();
// Activates the window's top-level window first when needed. A null window removes the focus.
// Returns the previous focus window (of the calling thread), null on failure.
PLATFORM_API HWND SetFocus(HWND window);
PLATFORM_API HWND GetFocus();

// Mouse input goes to the capture window wherever the pointer is; WM_CAPTURECHANGED goes to the
// window that loses the capture (lParam: the new capture window or null).
PLATFORM_API HWND SetCapture(HWND window);
PLATFORM_API BOOL ReleaseCapture();
PLATFORM_API HWND GetCapture();

// ---------------------------------------------------------------------------------------------
// Mouse, keyboard and cursors

// Mouse messages go to the capture window, else to the window under the pointer: the top
// visible top-level window that holds the point (a layered window only where its picture's
// alpha is not zero), then down its visible children; disabled children pass the point to
// their parent and a disabled top-level window drops it. With CS_DBLCLKS a second press of the
// same button on the same window within GetDoubleClickTime and the SM_CXDOUBLECLK x
// SM_CYDOUBLECLK rectangle arrives as the DBLCLK message. The wheel goes to the focus window
// (else the active window) with screen coordinates. Keys go to the focus window, or as WM_SYS*
// messages to the active window when nothing has the focus; WM_SYSKEYDOWN also while Alt is
// held (without Ctrl).
PLATFORM_API HWND WindowFromPoint(POINT point);
PLATFORM_API BOOL GetCursorPos(LPPOINT point);
PLATFORM_API UINT GetDoubleClickTime();

#define TME_HOVER 0x00000001
#define TME_LEAVE 0x00000002
#define TME_QUERY 0x40000000
#define TME_CANCEL 0x80000000
#define HOVER_DEFAULT 0xFFFFFFFF

typedef struct tagTRACKMOUSEEVENT {
    DWORD cbSize;
    DWORD dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;  // milliseconds; HOVER_DEFAULT is 400, and less than 10 counts as 10
} TRACKMOUSEEVENT, *LPTRACKMOUSEEVENT;

// WM_MOUSELEAVE is posted once when the pointer is no longer over the window (not while the
// window holds the capture), or at once when it is not over it at the call. WM_MOUSEHOVER is
// posted once when the pointer has rested within the hover rectangle (the double-click
// rectangle) for the hover time, measured on the window manager's clock.
PLATFORM_API BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track);

#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_MBUTTON 0x04
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F5 0x74
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B

// The state of a key as of the last input message the window manager delivered (the high bit
// set while down); GetAsyncKeyState as of the last input that arrived.
PLATFORM_API SHORT GetKeyState(int virtualKey);
PLATFORM_API SHORT GetAsyncKeyState(int virtualKey);

#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_IBEAM MAKEINTRESOURCEW(32513)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDC_SIZENWSE MAKEINTRESOURCEW(32642)
#define IDC_SIZENESW MAKEINTRESOURCEW(32643)
#define IDC_SIZEWE MAKEINTRESOURCEW(32644)
#define IDC_SIZENS MAKEINTRESOURCEW(32645)
#define IDC_SIZEALL MAKEINTRESOURCEW(32646)
#define IDC_HAND MAKEINTRESOURCEW(32649)

// The system cursors above, with a null instance; cursors from resources are not offered
// (null, ERROR_RESOURCE_NAME_NOT_FOUND).
PLATFORM_API HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
// The pointer's shape for the whole screen; returns the previous one.
PLATFORM_API HCURSOR SetCursor(HCURSOR cursor);
PLATFORM_API HCURSOR GetCursor();
// Raises (TRUE) or lowers the display count and returns it; the pointer shows while it is >= 0.
PLATFORM_API int ShowCursor(BOOL show);

// Icons come from a module's RT_GROUP_ICON resource in Windows' layout (a GRPICONDIR whose
// entries name RT_ICON resources): the entry nearest SM_CXICON x SM_CYICON is used, scaled to
// that size; its RT_ICON holds a PNG file or a device-independent bitmap with its AND mask.
// The system's icons (a null instance) are not offered (ERROR_RESOURCE_NAME_NOT_FOUND); a
// damaged resource gives null with ERROR_INVALID_DATA.
PLATFORM_API HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
PLATFORM_API BOOL DestroyIcon(HICON icon);
// Blends the icon (SM_CXICON x SM_CYICON) at (x, y), source-over with its alpha.
PLATFORM_API BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

// ---------------------------------------------------------------------------------------------
// Timers
//
// Timers run on the window manager's clock (the monotonic tick count, or the manual clock of
// testing.h). WM_TIMER is made only for the thread that set the timer, only when nothing else
// is waiting, and at most once per timer however much time has passed; the next one is due a
// period after the one retrieved. Periods below 10 ms count as 10 ms.

#define USER_TIMER_MINIMUM 0x0000000A
// A window of another thread fails with ERROR_ACCESS_DENIED. Setting an existing id again
// restarts it. With a null window the id is chosen and returned.
PLATFORM_API UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
PLATFORM_API BOOL KillTimer(HWND window, UINT_PTR id);

// ---------------------------------------------------------------------------------------------
// Painting

// Adds a rectangle (client coordinates; null: the whole client area) to the update region; a
// null window invalidates every window.
PLATFORM_API BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
PLATFORM_API BOOL ValidateRect(HWND window, const RECT* rect);
// The bounds of the update region; with erase TRUE a pending erase is done first. Nonzero when
// the region is not empty.
PLATFORM_API BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL erase);
// Sends WM_PAINT at once to the window and to its descendants whose update region is not empty.
PLATFORM_API BOOL UpdateWindow(HWND window);

// A device context onto the update region of the window's pixels; the region is validated and,
// when an erase is pending, WM_ERASEBKGND is sent with the device context.
PLATFORM_API HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
PLATFORM_API BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// A device context onto the whole client area of the window's pixels, usable from any thread;
// a null window gives the desktop's pixels, shown beneath every window. Release it with
// ReleaseDC (1 on success, 0 for a device context that is not the window's).
PLATFORM_API HDC GetDC(HWND window);
PLATFORM_API int ReleaseDC(HWND window, HDC dc);

namespace platform {

// For controls painted with a null background brush (not Windows): copies the parent's pixels
// beneath `area` (the control's client coordinates) into `dc`, and has the parent's later
// invalidations beneath the control reach the control as well, so that it paints again after
// the parent and keeps showing what the parent paints there. On Windows such a control draws
// onto the pixels its parent painted; here every window has pixels of its own.
PLATFORM_API void PaintParentBeneath(HWND control, HDC dc, const RECT& area);

}  // namespace platform

// System colours: COLOR_WINDOW white, COLOR_WINDOWTEXT and COLOR_BTNTEXT black, COLOR_BTNFACE
// RGB(240, 240, 240). The brushes are shared and must not be deleted.
PLATFORM_API DWORD GetSysColor(int index);
PLATFORM_API HBRUSH GetSysColorBrush(int index);

#define ULW_ALPHA 0x00000002
#define ULW_OPAQUE 0x00000004
// Gives a layered top-level window its picture: `size` pixels of hdcSrc from pointSrc (pixels
// outside the source stay transparent), shown at pointDst (screen; null keeps the position)
// with the blend's constant alpha and, with ULW_ALPHA and AC_SRC_ALPHA, the picture's
// premultiplied per-pixel alpha; ULW_OPAQUE shows it opaque. A new position or size moves the
// window as SetWindowPos would. hdcDst is not used. Colour keys are not offered: ULW_COLORKEY
// and windows without WS_EX_LAYERED fail with ERROR_INVALID_PARAMETER.
PLATFORM_API BOOL UpdateLayeredWindow(HWND window, HDC hdcDst, POINT* pointDst, SIZE* size,
                                      HDC hdcSrc, POINT* pointSrc, COLORREF colorKey,
                                      BLENDFUNCTION* blend, DWORD flags);

// ---------------------------------------------------------------------------------------------
// Default processing

// What DefWindowProcW does, by message: WM_NCCREATE takes the window text; WM_CLOSE destroys
// the window; WM_PAINT begins and ends painting; WM_ERASEBKGND fills the update region with the
// class brush (answer 1, or 0 without one); WM_SETTEXT/WM_GETTEXT/WM_GETTEXTLENGTH keep the
// text; WM_MOUSEACTIVATE and WM_SETCURSOR ask the parent first (the class cursor is set for
// HTCLIENT); WM_MOUSEWHEEL goes on to the parent; WM_ACTIVATE sets the focus to an activated
// window; WM_NCACTIVATE answers TRUE; WM_SETICON/WM_GETICON keep the icons; WM_CTLCOLOR*
// answer the button-face brush with window text colours; WM_SYSKEYDOWN Alt+F4 and
// WM_SYSCOMMAND SC_CLOSE send WM_CLOSE, SC_MINIMIZE / SC_MAXIMIZE / SC_RESTORE show the window
// so; WM_NCLBUTTONDOWN with HTCAPTION or a border code moves or sizes the window with the
// mouse until the left button is released (Escape puts it back), keeping WM_GETMINMAXINFO's
// minimum tracking size; WM_NCHITTEST answers HTCLIENT inside the window. Anything else: 0.
PLATFORM_API LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------------------
// Message boxes

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_APPLMODAL 0x00000000L
#define MB_TOPMOST 0x00040000L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// A modal box drawn through GDI (the text broken into lines, the buttons below it), owned by
// the owner's top-level window, which is disabled until the box is answered; a modal message
// loop runs on the calling thread meanwhile. Enter answers the default button, Escape the
// Cancel (or the only OK) button; a click on a button answers it. Icons are not drawn. A WM_QUIT
// that arrives ends the box with IDCANCEL (IDOK for MB_OK) and is posted again. Returns the
// answer, 0 for an unknown button set (ERROR_INVALID_PARAMETER).
PLATFORM_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// ---------------------------------------------------------------------------------------------
// Accelerators

#define FVIRTKEY 0x01
#define FNOINVERT 0x02
#define FSHIFT 0x04
#define FCONTROL 0x08
#define FALT 0x10

typedef struct tagACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
} ACCEL, *LPACCEL;

// Reads an RT_ACCELERATOR resource in Windows' binary layout: 8-byte entries of WORD flags
// (the F* values; 0x80 marks the last entry), WORD key, WORD command and WORD padding. A missing
// or malformed resource gives null (ERROR_RESOURCE_NAME_NOT_FOUND or ERROR_INVALID_DATA).
PLATFORM_API HACCEL LoadAcceleratorsW(HINSTANCE instance, LPCWSTR tableName);
PLATFORM_API HACCEL CreateAcceleratorTableW(LPACCEL entries, int count);
PLATFORM_API BOOL DestroyAcceleratorTable(HACCEL table);
// Matches WM_KEYDOWN / WM_SYSKEYDOWN against FVIRTKEY entries (Shift, Ctrl and Alt exactly as
// the entry says) and WM_CHAR / WM_SYSCHAR against character entries, and sends the first
// match as WM_COMMAND (command, 1) to the window. TRUE when it did.
PLATFORM_API int TranslateAcceleratorW(HWND window, HACCEL table, LPMSG msg);

// ---------------------------------------------------------------------------------------------
// System metrics, monitors and parameters

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXCURSOR 13
#define SM_CYCURSOR 14
#define SM_CXDOUBLECLK 36
#define SM_CYDOUBLECLK 37
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#define SM_XVIRTUALSCREEN 76
#define SM_YVIRTUALSCREEN 77
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
#define SM_CMONITORS 80
// Unknown indices give 0.
PLATFORM_API int GetSystemMetrics(int index);

#define MONITOR_DEFAULTTONULL 0x00000000
#define MONITOR_DEFAULTTOPRIMARY 0x00000001
#define MONITOR_DEFAULTTONEAREST 0x00000002
#define MONITORINFOF_PRIMARY 0x00000001
#define CCHDEVICENAME 32

typedef struct tagMONITORINFO {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;  // the whole monitor: there is no task bar
    DWORD dwFlags;
} MONITORINFO, *LPMONITORINFO;

typedef struct tagMONITORINFOEXW {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags;
    WCHAR szDevice[CCHDEVICENAME];
} MONITORINFOEXW, *LPMONITORINFOEXW;

// The one monitor covers the virtual screen. A rectangle, point or window off the screen gives
// null with MONITOR_DEFAULTTONULL, else the monitor.
PLATFORM_API HMONITOR MonitorFromRect(const RECT* rect, DWORD flags);
PLATFORM_API HMONITOR MonitorFromPoint(POINT point, DWORD flags);
PLATFORM_API HMONITOR MonitorFromWindow(HWND window, DWORD flags);
// cbSize must be sizeof(MONITORINFO) or sizeof(MONITORINFOEXW).
PLATFORM_API BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info);

#define SPI_SETDRAGFULLWINDOWS 0x0025
#define SPI_GETDRAGFULLWINDOWS 0x0026
#define SPI_GETWORKAREA 0x0030
#define SPI_GETMOUSEHOVERTIME 0x0066
#define SPIF_UPDATEINIFILE 0x0001
#define SPIF_SENDCHANGE 0x0002
// SPI_SETDRAGFULLWINDOWS takes the setting in uiParam and holds for the process (nothing is
// written to a profile). While it is off, moving or sizing with the mouse changes the window
// once, when the button is released; no outline is drawn meanwhile. Other actions fail with
// ERROR_INVALID_PARAMETER.
PLATFORM_API BOOL SystemParametersInfoW(UINT action, UINT uiParam, PVOID pvParam, UINT winIni);

// ---------------------------------------------------------------------------------------------
// String tables

// Reads string `id` of the module's RT_STRING resources in Windows' layout: block id / 16 + 1
// holds strings id & ~15 to id | 15, each a WORD count of UTF-16LE units and the units.
// Copies at most maxCount - 1 characters (a surrogate pair makes one) and a terminating null,
// and returns the characters copied; 0 for an empty or missing string (the buffer then holds
// ""; ERROR_RESOURCE_NAME_NOT_FOUND when the block is missing, ERROR_INVALID_DATA when it is
// cut short). maxCount 0, which on Windows lends a pointer to the resource's own UTF-16 text,
// fails here with ERROR_INVALID_PARAMETER: WCHAR is not UTF-16.
PLATFORM_API int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int maxCount);

// ---------------------------------------------------------------------------------------------
// Common controls and the window-message filter

#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_HOTKEY_CLASS 0x00000040
#define ICC_ANIMATE_CLASS 0x00000080
#define ICC_WIN95_CLASSES 0x000000FF
#define ICC_STANDARD_CLASSES 0x00004000

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;  // sizeof(INITCOMMONCONTROLSEX)
    DWORD dwICC;   // the ICC_ sets of classes wanted
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8, "INITCOMMONCONTROLSEX is two DWORDs");

// Makes the window classes of the sets available. The layer offers none of the common
// controls' own classes (list views, progress bars, ...: nothing here creates one); the
// standard classes "Button" and "Edit" are system classes that every process has. A null
// structure or a wrong dwSize fails with ERROR_INVALID_PARAMETER; otherwise TRUE.
PLATFORM_API BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

#define MSGFLT_ADD 1
#define MSGFLT_REMOVE 2
// Adds a message to (or removes it from) the messages that other processes of lower integrity
// may send this one. There are no integrity levels here: every process of the same user
// reaches this one's windows through WM_COPYDATA and dropped files alike, so the filter has
// nothing to hold back. TRUE for MSGFLT_ADD and MSGFLT_REMOVE, else FALSE with
// ERROR_INVALID_PARAMETER. Exported with C linkage: programs find it by name in "user32.dll"
// (GetProcAddress), which LoadLibraryW gives as the layer's own library.
extern "C" PLATFORM_API BOOL ChangeWindowMessageFilter(UINT message, DWORD flag);

// ---------------------------------------------------------------------------------------------
// Buttons and edit controls: the system classes "Button" and "Edit"
//
// Both exist in every process (global classes, as the system's own), drawn through GDI in the
// font given by WM_SETFONT (the system font until then), in colours the parent answers to
// WM_CTLCOLORBTN (buttons), WM_CTLCOLORSTATIC (group boxes, and edit controls that are
// read-only or disabled) or WM_CTLCOLOREDIT (other edit controls): the brush fills the
// background, and the null brush shows the parent's pixels beneath. Windows have no frame
// here, so WS_BORDER and WS_EX_CLIENTEDGE draw a one-pixel border inside the client area.

#define WS_EX_CLIENTEDGE 0x00000200L

// Button styles (the low four bits: the type). Push buttons report a click (the left button
// pressed and released over the button, or Space pressed and released while it has the focus)
// to the parent as WM_COMMAND (MAKEWPARAM(id, BN_CLICKED), the button's window), sent after the
// release; a disabled button gets no input. The default push button is drawn with a heavier
// border. A group box draws its frame and its text at the top left, and ignores the mouse.
// Other types (check boxes, radio buttons, BS_OWNERDRAW) are not offered: creating one fails
// (WM_CREATE answers -1).
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_GROUPBOX 0x00000007L
#define BS_TYPEMASK 0x0000000FL
#define BN_CLICKED 0

// Edit styles: single-line controls only (ES_MULTILINE makes creation fail). Without
// ES_AUTOHSCROLL the text may not grow wider than the control; with it, the text scrolls to
// keep the caret in view. The text is aligned by ES_LEFT, ES_CENTER or ES_RIGHT while it fits.
#define ES_LEFT 0x0000L
#define ES_CENTER 0x0001L
#define ES_RIGHT 0x0002L
#define ES_MULTILINE 0x0004L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L

// Sent to the parent as WM_COMMAND (MAKEWPARAM(id, EN_CHANGE), the control's window) after the
// text changed through the keyboard, WM_SETTEXT or EM_REPLACESEL.
#define EN_CHANGE 0x0300

// The keyboard of an edit control with the focus: characters replace the selection (Backspace
// and Delete remove it, or the character before / after the caret); Left, Right, Home and End
// move the caret, with Shift extending the selection; Ctrl+A selects everything. A read-only
// control moves and selects but does not change. A press of the left button puts the caret at
// the nearest character boundary, and dragging selects. There is no clipboard, no undo and no
// context menu. The caret is a steady line while the control has the focus. WM_SETTEXT puts
// the caret at the start without a selection.
#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_LIMITTEXT 0x00C5
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EM_REPLACESEL 0x00C2
#define EM_SETREADONLY 0x00CF
#define EM_GETLIMITTEXT 0x00D5
// EM_GETSEL: the selection's start and end (characters) in the low and high words of the
// answer, and in the DWORDs wParam and lParam point to when they are not null.
// EM_SETSEL (start, end): the selection from start (the anchor) to end (where the caret
// goes); each is clamped to the text; start -1 removes the selection leaving the caret; end -1
// means the end of the text, so (0, -1) selects all.
// EM_REPLACESEL (canUndo, text): replaces the selection (or inserts at the caret), cut to the
// limit, with the caret after it; also for read-only controls.
// EM_LIMITTEXT (count): the most characters the user may enter (0: 0x7FFFFFFE, the default);
// WM_SETTEXT is not limited. EM_SETREADONLY (flag): sets or clears ES_READONLY; TRUE.

// ---------------------------------------------------------------------------------------------
// Windows of other processes
//
// A top-level window with a title is reachable from the other processes of the same user (an
// abstract Unix socket named after the title, without regard to case, and the user). Only
// WM_COPYDATA crosses: the receiver's window gets it on its own thread with a copy of the data,
// valid during the call, and wParam as the number the sender gave (it names no window there).

typedef struct tagCOPYDATASTRUCT {
    ULONG_PTR dwData;
    DWORD cbData;  // at most 64 MiB to another process
    PVOID lpData;
} COPYDATASTRUCT, *PCOPYDATASTRUCT;

// Top-level windows of this process in z-order first (title and class compared without regard
// to case; null matches any), then, for a title without a class name, a window of another
// process. SendMessageW to such a window waits at most 5 s for the answer (0 and
// ERROR_TIMEOUT after that; ERROR_INVALID_WINDOW_HANDLE when the window is gone), handling
// meanwhile what other threads send to the caller's windows. Other functions do not take
// another process's window.
PLATFORM_API HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);
