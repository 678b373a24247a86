// A top-level window for the shell tests that records the messages it gets, and folders in
// the build tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/shell.h"
#include "platform/testing.h"
#include "platform/user.h"

namespace shelltest {

namespace fs = std::filesystem;

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    // What wParam / lParam pointed to, read while the message was handled.
    std::vector<std::wstring> files;
    std::wstring item;
    DWORD unitMask = 0;
    POINT point = {0, 0};
};

inline std::vector<Received> g_received;
// Set by a test to read what a message carries while it is handled.
inline std::function<void(Received&)> g_inspect;

inline LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE || message == WM_DROPFILES || message >= WM_USER) {
        Received got{window, message, wParam, lParam, {}, {}, 0, {0, 0}};
        if (g_inspect)
            g_inspect(got);
        g_received.push_back(got);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

inline HWND MakeWindow(const wchar_t* title, int x, int y, int width, int height,
                       HWND parent = nullptr)
{
    static ATOM atom = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = L"ShellTestWindow";
        return RegisterClassExW(&wc);
    }();
    (void)atom;
    DWORD style = parent ? (WS_CHILD | WS_VISIBLE) : (WS_POPUP | WS_VISIBLE);
    return CreateWindowExW(0, L"ShellTestWindow", title, style, x, y, width, height, parent,
                           nullptr, nullptr, nullptr);
}

// The messages of one kind received so far.
inline std::vector<Received> ReceivedOf(UINT message)
{
    std::vector<Received> out;
    for (const Received& got : g_received) {
        if (got.message == message)
            out.push_back(got);
    }
    return out;
}

// Pumps the calling thread's messages until `done` holds, for at most ten seconds (the layer's
// own threads deliver some notices).
inline bool PumpUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000; ++i) {
        platform::testing::PumpMessages();
        if (done())
            return true;
        Sleep(10);
    }
    return false;
}

inline fs::path MakeTempFolder(const char* tag)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    fs::path base = build ? fs::path(build) / "tmp" : fs::temp_directory_path();
    fs::create_directories(base);
    std::string pattern = (base / (std::string(tag) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        ADD_FAILURE() << "mkdtemp failed under " << base;
    return fs::canonical(pattern);
}

}  // namespace shelltest
