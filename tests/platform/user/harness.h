// Windows for the window-manager tests: each records the messages it receives, by window name,
// in one log, and may answer some of them through a handler of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/user.h"

inline bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline void PrintTo(const RECT& r, std::ostream* out)
{
    *out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace usertest {

// A handler answers a message (a value) or leaves it to DefWindowProcW (nullopt).
using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

struct Spec {
    std::string name;
    Handler handler;
};

inline std::mutex g_lock;
inline std::map<HWND, Spec> g_windows;  // guarded by g_lock
inline std::vector<std::string> g_log;  // guarded by g_lock
inline std::set<UINT> g_recorded = {
    WM_CREATE,      WM_DESTROY,       WM_NCDESTROY,   WM_MOVE,           WM_SIZE,
    WM_ACTIVATE,    WM_SETFOCUS,      WM_KILLFOCUS,   WM_ENABLE,         WM_PAINT,
    WM_SHOWWINDOW,  WM_MOUSEACTIVATE, WM_NCACTIVATE,  WM_KEYDOWN,        WM_KEYUP,
    WM_CHAR,        WM_SYSKEYDOWN,    WM_SYSKEYUP,    WM_SYSCHAR,        WM_COMMAND,
    WM_TIMER,       WM_MOUSEMOVE,     WM_LBUTTONDOWN, WM_LBUTTONUP,      WM_LBUTTONDBLCLK,
    WM_RBUTTONDOWN, WM_RBUTTONUP,     WM_MOUSEWHEEL,  WM_CAPTURECHANGED, WM_MOUSEHOVER,
    WM_MOUSELEAVE,  WM_USER,          WM_USER + 1,    WM_USER + 2,       WM_USER + 3};

inline const char* MessageName(UINT message)
{
    switch (message) {
        case WM_CREATE:
            return "WM_CREATE";
        case WM_DESTROY:
            return "WM_DESTROY";
        case WM_NCDESTROY:
            return "WM_NCDESTROY";
        case WM_NCCREATE:
            return "WM_NCCREATE";
        case WM_MOVE:
            return "WM_MOVE";
        case WM_SIZE:
            return "WM_SIZE";
        case WM_ACTIVATE:
            return "WM_ACTIVATE";
        case WM_SETFOCUS:
            return "WM_SETFOCUS";
        case WM_KILLFOCUS:
            return "WM_KILLFOCUS";
        case WM_ENABLE:
            return "WM_ENABLE";
        case WM_PAINT:
            return "WM_PAINT";
        case WM_SHOWWINDOW:
            return "WM_SHOWWINDOW";
        case WM_MOUSEACTIVATE:
            return "WM_MOUSEACTIVATE";
        case WM_NCACTIVATE:
            return "WM_NCACTIVATE";
        case WM_KEYDOWN:
            return "WM_KEYDOWN";
        case WM_KEYUP:
            return "WM_KEYUP";
        case WM_CHAR:
            return "WM_CHAR";
        case WM_SYSKEYDOWN:
            return "WM_SYSKEYDOWN";
        case WM_SYSKEYUP:
            return "WM_SYSKEYUP";
        case WM_SYSCHAR:
            return "WM_SYSCHAR";
        case WM_COMMAND:
            return "WM_COMMAND";
        case WM_TIMER:
            return "WM_TIMER";
        case WM_MOUSEMOVE:
            return "WM_MOUSEMOVE";
        case WM_LBUTTONDOWN:
            return "WM_LBUTTONDOWN";
        case WM_LBUTTONUP:
            return "WM_LBUTTONUP";
        case WM_LBUTTONDBLCLK:
            return "WM_LBUTTONDBLCLK";
        case WM_RBUTTONDOWN:
            return "WM_RBUTTONDOWN";
        case WM_RBUTTONUP:
            return "WM_RBUTTONUP";
        case WM_MOUSEWHEEL:
            return "WM_MOUSEWHEEL";
        case WM_CAPTURECHANGED:
            return "WM_CAPTURECHANGED";
        case WM_MOUSEHOVER:
            return "WM_MOUSEHOVER";
        case WM_MOUSELEAVE:
            return "WM_MOUSELEAVE";
        case WM_ERASEBKGND:
            return "WM_ERASEBKGND";
        case WM_SETCURSOR:
            return "WM_SETCURSOR";
        case WM_GETMINMAXINFO:
            return "WM_GETMINMAXINFO";
        case WM_USER:
            return "WM_USER";
        case WM_USER + 1:
            return "WM_USER+1";
        case WM_USER + 2:
            return "WM_USER+2";
        case WM_USER + 3:
            return "WM_USER+3";
        default:
            return nullptr;
    }
}

inline std::string NameOf(HWND window)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_windows.find(window);
    return it == g_windows.end() ? "?" : it->second.name;
}

// "name:MESSAGE"; the messages whose parameters matter to activation carry them:
// WM_ACTIVATE(state,other) and WM_SHOWWINDOW(shown).
inline std::string Describe(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::string text;
    {
        auto it = g_windows.find(window);
        text = it == g_windows.end() ? "?" : it->second.name;
    }
    const char* name = MessageName(message);
    char buffer[32];
    if (!name) {
        std::snprintf(buffer, sizeof buffer, "0x%04x", message);
        name = buffer;
    }
    text += ":";
    text += name;
    if (message == WM_ACTIVATE) {
        auto it = g_windows.find(reinterpret_cast<HWND>(lParam));
        text += "(" + std::to_string(LOWORD(wParam)) + "," +
                (lParam == 0             ? std::string("null")
                 : it == g_windows.end() ? std::string("?")
                                         : it->second.name) +
                ")";
    } else if (message == WM_SHOWWINDOW || message == WM_NCACTIVATE || message == WM_ENABLE) {
        text += "(" + std::to_string(int(wParam)) + ")";
    } else if (message == WM_KILLFOCUS || message == WM_SETFOCUS) {
        auto it = g_windows.find(reinterpret_cast<HWND>(wParam));
        text += "(" +
                (wParam == 0             ? std::string("null")
                 : it == g_windows.end() ? std::string("?")
                                         : it->second.name) +
                ")";
    }
    return text;
}

inline LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Handler handler;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            if (create->lpCreateParams)
                g_windows[window] = *static_cast<Spec*>(create->lpCreateParams);
        }
        if (g_recorded.count(message))
            g_log.push_back(Describe(window, message, wParam, lParam));
        auto it = g_windows.find(window);
        if (it != g_windows.end())
            handler = it->second.handler;
    }
    if (handler) {
        std::optional<LRESULT> answer = handler(window, message, wParam, lParam);
        if (answer)
            return *answer;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

inline const wchar_t kClass[] = L"UserTestWindow";
inline const wchar_t kDoubleClickClass[] = L"UserTestDoubleClicks";

inline void RegisterTestClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = RecordingProc;
        wc.cbWndExtra = 16;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kClass;
        RegisterClassExW(&wc);
        wc.style = CS_DBLCLKS;
        wc.lpszClassName = kDoubleClickClass;
        RegisterClassExW(&wc);
    });
}

struct Options {
    DWORD style = WS_POPUP;
    DWORD exStyle = 0;
    RECT rect = {0, 0, 100, 100};  // left, top, right, bottom in the parent's coordinates
    HWND parent = nullptr;
    int id = 0;
    Handler handler;
    const wchar_t* className = kClass;
};

inline HWND Make(const std::string& name, const Options& o)
{
    RegisterTestClasses();
    Spec spec{name, o.handler};
    return CreateWindowExW(o.exStyle, o.className, L"", o.style, o.rect.left, o.rect.top,
                           o.rect.right - o.rect.left, o.rect.bottom - o.rect.top, o.parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(o.id)), nullptr, &spec);
}

inline std::vector<std::string> TakeLog()
{
    std::lock_guard<std::mutex> guard(g_lock);
    std::vector<std::string> log;
    log.swap(g_log);
    return log;
}

// The entries of a log that concern the given messages, in order.
inline std::vector<std::string> Only(const std::vector<std::string>& log,
                                     std::initializer_list<const char*> messages)
{
    std::vector<std::string> kept;
    for (const std::string& entry : log) {
        std::string message = entry.substr(entry.find(':') + 1);
        message = message.substr(0, message.find('('));
        for (const char* m : messages)
            if (message == m)
                kept.push_back(entry);
    }
    return kept;
}

// Screen pixel of a window's client point.
inline POINT At(HWND window, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(window, &p);
    return p;
}

}  // namespace usertest
