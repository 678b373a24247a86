// Windows for the screen tests: plain windows that paint one colour in WM_PAINT, layered
// windows with a picture made pixel by pixel, and reading the composed screen.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/user.h"

namespace screentest {

// A small screen and nothing shown, set before the window manager is first used (the screen's
// size is read once per process).
inline const bool kScreenConfigured = [] {
    setenv("PLATFORM_SCREEN", "64x48", 1);
    setenv("PLATFORM_PRESENTER", "headless", 1);
    unsetenv("PLATFORM_SCREENSHOT");
    return true;
}();

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Screen pixels as read back: opaque 0xFFRRGGBB.
constexpr uint32_t Opaque(uint32_t rgb)
{
    return 0xFF000000u | rgb;
}

inline LRESULT CALLBACK ColourProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            HBRUSH brush = CreateSolidBrush(COLORREF(GetWindowLongPtrW(window, GWLP_USERDATA)));
            RECT client;
            GetClientRect(window, &client);
            FillRect(dc, &client, brush);
            DeleteObject(brush);
            EndPaint(window, &ps);
            return 0;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

inline const wchar_t kColourClass[] = L"ScreenTestColour";

inline void RegisterColourClass()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = ColourProc;
        wc.lpszClassName = kColourClass;
        RegisterClassExW(&wc);
    });
}

// A window that paints itself in `colour` (a COLORREF) when it handles WM_PAINT; `rect` is in
// the parent's client coordinates (the screen for top-level windows).
inline HWND MakeWindow(RECT rect, COLORREF colour, DWORD style = WS_POPUP | WS_VISIBLE,
                       DWORD exStyle = 0, HWND parent = nullptr)
{
    RegisterColourClass();
    HWND window = CreateWindowExW(exStyle, kColourClass, L"", style & ~WS_VISIBLE, rect.left,
                                  rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                  nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(colour));
    if (style & WS_VISIBLE)
        ShowWindow(window, (style & WS_CHILD) ? SW_SHOWNA : SW_SHOWNOACTIVATE);
    return window;
}

// Gives a layered window the picture `pixel(x, y)` (0xAARRGGBB, premultiplied when it uses
// per-pixel alpha) at `rect`, composed with `constantAlpha` and, when `perPixel`, its alpha.
inline void SetPicture(HWND window, RECT rect, const std::function<uint32_t(int, int)>& pixel,
                       BYTE constantAlpha, bool perPixel)
{
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    auto* row = static_cast<uint32_t*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            row[size_t(y) * size_t(width) + size_t(x)] = pixel(x, y);
    HGDIOBJ old = SelectObject(dc, bitmap);
    POINT at = {rect.left, rect.top};
    SIZE size = {width, height};
    POINT from = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, constantAlpha, BYTE(perPixel ? AC_SRC_ALPHA : 0)};
    EXPECT_TRUE(UpdateLayeredWindow(window, nullptr, &at, &size, dc, &from, 0, &blend, ULW_ALPHA));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

inline HWND MakeLayered(RECT rect, const std::function<uint32_t(int, int)>& pixel,
                        BYTE constantAlpha, bool perPixel, DWORD exStyle = 0)
{
    RegisterColourClass();
    HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | exStyle, kColourClass, L"",
                                  WS_POPUP, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    SetPicture(window, rect, pixel, constantAlpha, perPixel);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

// Handles every pending WM_PAINT, then reads the whole screen.
inline std::vector<uint32_t> Screen()
{
    platform::testing::PumpMessages();
    std::vector<uint32_t> pixels;
    SIZE size = {};
    EXPECT_TRUE(platform::testing::ReadScreenPixels(&pixels, &size));
    EXPECT_EQ(size.cx, kWidth);
    EXPECT_EQ(size.cy, kHeight);
    return pixels;
}

inline uint32_t At(const std::vector<uint32_t>& screen, int x, int y)
{
    return screen.at(size_t(y) * kWidth + size_t(x));
}

struct Probe {
    int x;
    int y;
    uint32_t expected;
    const char* what;
};

inline void ExpectPixels(const std::vector<uint32_t>& screen, std::initializer_list<Probe> probes)
{
    for (const Probe& p : probes) {
        EXPECT_EQ(At(screen, p.x, p.y), p.expected)
            << p.what << " at (" << p.x << ", " << p.y << ")" << std::hex << " got 0x"
            << At(screen, p.x, p.y) << " want 0x" << p.expected;
    }
}

// Destroys the windows a test made, so that tests running in one process do not see them.
class WindowsGuard {
public:
    ~WindowsGuard()
    {
        for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it)
            if (IsWindow(*it))
                DestroyWindow(*it);
        platform::testing::PumpMessages();
    }
    HWND operator()(HWND window)
    {
        m_windows.push_back(window);
        return window;
    }

private:
    std::vector<HWND> m_windows;
};

}  // namespace screentest
