// Update regions and WM_PAINT, window device contexts, layered windows and what the compositor
// sees of the screen.
#include <cstdio>
#include <filesystem>

#include "harness.h"
#include "user/compositor.h"

using namespace usertest;
using platform::testing::PumpMessages;
using platform::testing::ReadWindowPixels;
using platform::user::ScreenState;
using platform::user::TakeScreenState;

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kRed = 0x00FF0000;
constexpr uint32_t kBlue = 0x000000FF;

class UserPaint : public ::testing::Test {
protected:
    void SetUp() override { TakeLog(); }
};

struct Pixels {
    std::vector<uint32_t> data;
    SIZE size = {0, 0};
    explicit Pixels(HWND window) { EXPECT_TRUE(ReadWindowPixels(window, &data, &size)); }
    uint32_t At(int x, int y) const { return data[size_t(y) * size_t(size.cx) + size_t(x)]; }
};

void Fill(HDC dc, RECT r, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// Whether every pixel of `r` lies in one of the rectangles.
bool Covers(const std::vector<RECT>& rects, const RECT& r)
{
    for (LONG y = r.top; y < r.bottom; ++y) {
        for (LONG x = r.left; x < r.right; ++x) {
            bool inside = false;
            for (const RECT& d : rects)
                inside = inside || PtInRect(&d, POINT{x, y});
            if (!inside)
                return false;
        }
    }
    return true;
}

TEST_F(UserPaint, PaintingReachesOnlyTheUpdateRegion)
{
    RECT painted = {};
    BOOL mustErase = FALSE;
    bool eraseItself = true;
    HWND w = Make("W", {WS_POPUP | WS_VISIBLE,
                        0,
                        {10, 10, 50, 40},
                        nullptr,
                        0,
                        [&](HWND self, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                            if (m == WM_ERASEBKGND && !eraseItself)
                                return 0;
                            if (m != WM_PAINT || eraseItself)
                                return std::nullopt;
                            PAINTSTRUCT ps;
                            HDC dc = BeginPaint(self, &ps);
                            painted = ps.rcPaint;
                            mustErase = ps.fErase;
                            Fill(dc, RECT{0, 0, 40, 30}, RGB(255, 0, 0));
                            EndPaint(self, &ps);
                            return 0;
                        }});
    // Shown: invalidated whole with erasing, which fills the class brush (white).
    PumpMessages();
    Pixels shown(w);
    ASSERT_EQ(shown.size.cx, 40);
    EXPECT_EQ(shown.At(0, 0), kWhite);
    EXPECT_EQ(shown.At(39, 29), kWhite);

    eraseItself = false;
    TakeLog();
    RECT first = {0, 0, 10, 10};
    InvalidateRect(w, &first, FALSE);
    RECT second = {20, 15, 30, 25};
    InvalidateRect(w, &second, FALSE);
    RECT outside = {35, 25, 60, 60};  // clipped to the client area
    InvalidateRect(w, &outside, FALSE);
    PumpMessages();
    EXPECT_EQ(Only(TakeLog(), {"WM_PAINT"}).size(), 1u);
    EXPECT_EQ(painted, (RECT{0, 0, 40, 30}));
    EXPECT_FALSE(mustErase);
    Pixels after(w);
    EXPECT_EQ(after.At(5, 5), kRed);
    EXPECT_EQ(after.At(25, 20), kRed);
    EXPECT_EQ(after.At(39, 29), kRed);
    EXPECT_EQ(after.At(15, 5), kWhite);
    EXPECT_EQ(after.At(34, 24), kWhite);

    // Validated parts are not painted; an erase that WM_ERASEBKGND refused is the painter's.
    InvalidateRect(w, nullptr, TRUE);
    RECT kept = {0, 0, 40, 20};
    ValidateRect(w, &kept);
    PumpMessages();
    EXPECT_EQ(painted, (RECT{0, 20, 40, 30}));
    EXPECT_TRUE(mustErase);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
    DestroyWindow(w);
}

TEST_F(UserPaint, UpdateWindowPaintsTheWindowAndItsChildrenAtOnce)
{
    HWND parent = Make("P", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 100, 100}});
    HWND child = Make("C", {WS_CHILD | WS_VISIBLE, 0, {10, 10, 30, 30}, parent});
    HWND hidden = Make("H", {WS_CHILD, 0, {40, 10, 60, 30}, parent});
    PumpMessages();
    InvalidateRect(parent, nullptr, FALSE);
    InvalidateRect(child, nullptr, FALSE);
    InvalidateRect(hidden, nullptr, FALSE);
    TakeLog();
    UpdateWindow(parent);
    EXPECT_EQ(Only(TakeLog(), {"WM_PAINT"}),
              (std::vector<std::string>{"P:WM_PAINT", "C:WM_PAINT"}));
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    DestroyWindow(parent);
}

TEST_F(UserPaint, WindowDeviceContextsDrawStraightIntoThePixels)
{
    HWND w = Make("W", {WS_POPUP | WS_VISIBLE, 0, {200, 100, 240, 130}});
    PumpMessages();
    TakeScreenState();  // starts the dirty area afresh

    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    Fill(dc, RECT{5, 5, 15, 15}, RGB(0, 0, 255));
    // A device context is released only by the window it came from.
    HWND other = Make("O", {WS_POPUP, 0, {0, 0, 5, 5}});
    EXPECT_EQ(ReleaseDC(other, dc), 0);
    EXPECT_EQ(ReleaseDC(w, dc), 1);
    EXPECT_EQ(ReleaseDC(w, dc), 0);
    Pixels pixels(w);
    EXPECT_EQ(pixels.At(5, 5), kBlue);
    EXPECT_EQ(pixels.At(14, 14), kBlue);
    EXPECT_EQ(pixels.At(15, 15), kWhite);
    ScreenState state = TakeScreenState();
    EXPECT_TRUE(Covers(state.dirty, RECT{200, 100, 240, 130}));
    EXPECT_TRUE(TakeScreenState().dirty.empty());

    // A device context held across a resize draws into the new pixels; the old ones are kept.
    dc = GetDC(w);
    MoveWindow(w, 200, 100, 60, 50, FALSE);
    Fill(dc, RECT{50, 40, 60, 50}, RGB(255, 0, 0));
    ReleaseDC(w, dc);
    Pixels grown(w);
    ASSERT_EQ(grown.size.cx, 60);
    ASSERT_EQ(grown.size.cy, 50);
    EXPECT_EQ(grown.At(5, 5), kBlue);
    EXPECT_EQ(grown.At(55, 45), kRed);

    // The desktop's pixels lie beneath every window.
    HDC desktop = GetDC(nullptr);
    Fill(desktop, RECT{0, 0, 10, 10}, RGB(0, 0, 255));
    ReleaseDC(nullptr, desktop);
    state = TakeScreenState();
    ASSERT_TRUE(state.desktop);
    EXPECT_EQ(state.desktop->Row(3)[3], kBlue);

    std::string path = ::testing::TempDir() + "user_paint_window.png";
    EXPECT_TRUE(platform::testing::SaveWindowPng(w, path));
    EXPECT_GT(std::filesystem::file_size(path), 0u);
    std::remove(path.c_str());
    DestroyWindow(other);
    DestroyWindow(w);
}

TEST_F(UserPaint, ScreenStateListsVisibleWindowsBottomToTopWithClippedLayers)
{
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE, 0, {100, 100, 300, 200}});
    HWND child = Make("C", {WS_CHILD | WS_VISIBLE, 0, {150, 50, 300, 90}, dialog});
    HWND grandchild = Make("G", {WS_CHILD | WS_VISIBLE, 0, {0, 0, 10, 10}, child});
    Make("H", {WS_CHILD, 0, {0, 0, 10, 10}, dialog});
    HWND topmost = Make("T", {WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST, {0, 0, 50, 50}});
    HWND minimised = Make("M", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 50, 50}});
    ShowWindow(minimised, SW_MINIMIZE);
    HWND offscreen = Make("F", {WS_POPUP, 0, {0, 0, 50, 50}});
    (void)grandchild;
    (void)offscreen;
    PumpMessages();

    ScreenState state = TakeScreenState();
    EXPECT_EQ(state.size.cx, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(state.windows.size(), 2u);
    EXPECT_EQ(state.windows[0].window, dialog);
    EXPECT_EQ(state.windows[1].window, topmost);
    const auto& layers = state.windows[0].layers;
    ASSERT_EQ(layers.size(), 3u);  // the dialog, its child, the grandchild; not the hidden one
    EXPECT_EQ(layers[0].origin.x, 100);
    EXPECT_EQ(layers[1].origin.x, 250);
    EXPECT_EQ(layers[1].clip, (RECT{250, 150, 300, 190}));  // cut by the dialog's edge
    EXPECT_EQ(layers[2].clip, (RECT{250, 150, 260, 160}));
    ASSERT_TRUE(layers[0].pixels);
    EXPECT_EQ(layers[0].pixels->Width(), 200);
    EXPECT_FALSE(state.windows[0].layered);

    // The generation moves with every change, and a waiter is woken by it.
    uint64_t seen = state.generation;
    EXPECT_EQ(platform::user::WaitForScreenChange(seen, 0), seen);
    MoveWindow(topmost, 10, 10, 50, 50, TRUE);
    EXPECT_NE(platform::user::WaitForScreenChange(seen, 0), seen);
    state = TakeScreenState();
    EXPECT_TRUE(Covers(state.dirty, RECT{0, 0, 50, 50}));
    EXPECT_TRUE(Covers(state.dirty, RECT{10, 10, 60, 60}));
    for (HWND w : {dialog, topmost, minimised, offscreen})
        DestroyWindow(w);
}

TEST_F(UserPaint, LayeredWindowsShowTheirLastPictureOnly)
{
    HWND w = Make("L", {WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, {0, 0, 20, 10}});
    PumpMessages();
    SetWindowLongPtrW(w, GWL_EXSTYLE, GetWindowLongPtrW(w, GWL_EXSTYLE) | WS_EX_LAYERED);
    // Layered, but without a picture yet: not on the screen, not under the pointer.
    EXPECT_TRUE(TakeScreenState().windows.empty());
    EXPECT_NE(WindowFromPoint(POINT{5, 5}), w);

    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 30, -10, 1, 32, BI_RGB};
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<uint32_t*>(bits);
    for (int i = 0; i < 300; ++i)
        px[i] = (i % 30 < 10) ? 0x80400000u : 0xFF00FF00u;
    HDC source = CreateCompatibleDC(nullptr);
    SelectObject(source, picture);

    SIZE size = {20, 10};
    POINT from = {10, 0};  // the right two thirds of the picture
    POINT to = {300, 400};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 200, AC_SRC_ALPHA};
    ASSERT_TRUE(UpdateLayeredWindow(w, nullptr, &to, &size, source, &from, 0, &blend, ULW_ALPHA));
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r, (RECT{300, 400, 320, 410}));
    Pixels shown(w);
    EXPECT_EQ(shown.At(0, 0), 0xFF00FF00u);
    ScreenState state = TakeScreenState();
    ASSERT_EQ(state.windows.size(), 1u);
    EXPECT_TRUE(state.windows[0].layered);
    EXPECT_TRUE(state.windows[0].perPixelAlpha);
    EXPECT_EQ(state.windows[0].constantAlpha, 200);
    EXPECT_EQ(WindowFromPoint(POINT{305, 405}), w);

    // Painting into a layered window's own pixels changes nothing on the screen.
    HDC dc = GetDC(w);
    Fill(dc, RECT{0, 0, 20, 10}, RGB(0, 0, 255));
    ReleaseDC(w, dc);
    EXPECT_EQ(Pixels(w).At(0, 0), 0xFF00FF00u);

    // A picture only moves the window; a new size needs a new picture. Colour keys are not
    // offered, and plain windows have no picture.
    POINT again = {0, 0};
    ASSERT_TRUE(
        UpdateLayeredWindow(w, nullptr, &again, nullptr, nullptr, nullptr, 0, &blend, ULW_ALPHA));
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 0);
    SIZE bigger = {25, 10};
    EXPECT_FALSE(
        UpdateLayeredWindow(w, nullptr, nullptr, &bigger, nullptr, nullptr, 0, &blend, ULW_ALPHA));
    EXPECT_FALSE(UpdateLayeredWindow(w, nullptr, nullptr, nullptr, source, &from, 0, &blend,
                                     0x1 /* ULW_COLORKEY */));
    HWND plain = Make("P", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 5, 5}});
    PumpMessages();
    EXPECT_FALSE(
        UpdateLayeredWindow(plain, nullptr, nullptr, nullptr, source, &from, 0, &blend, ULW_ALPHA));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    // Without WS_EX_LAYERED again, the window is plain and paints itself.
    TakeLog();
    SetWindowLongPtrW(w, GWL_EXSTYLE, GetWindowLongPtrW(w, GWL_EXSTYLE) & ~WS_EX_LAYERED);
    PumpMessages();
    EXPECT_EQ(Only(TakeLog(), {"WM_PAINT"}), (std::vector<std::string>{"L:WM_PAINT"}));
    state = TakeScreenState();
    bool found = false;
    for (const auto& entry : state.windows) {
        if (entry.window != w)
            continue;
        found = true;
        EXPECT_FALSE(entry.layered);
        ASSERT_EQ(entry.layers.size(), 1u);
        EXPECT_EQ(entry.layers[0].pixels->Row(0)[0], kWhite);  // erased with the class brush
    }
    EXPECT_TRUE(found);
    DeleteDC(source);
    DeleteObject(picture);
    DestroyWindow(plain);
    DestroyWindow(w);
}

}  // namespace
