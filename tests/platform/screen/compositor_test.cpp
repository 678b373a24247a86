// The composed screen: windows in z-order, children inside their parents, layered windows with
// their alpha, the desktop beneath, and recomposition of only what changed.
#include "harness.h"

using namespace screentest;
using platform::testing::ReadScreenPixels;
using platform::testing::ReadWindowPixels;

namespace {

constexpr uint32_t kBlack = Opaque(0x000000);
constexpr uint32_t kRed = Opaque(0xFF0000);
constexpr uint32_t kGreen = Opaque(0x00FF00);
constexpr uint32_t kBlue = Opaque(0x0000FF);
constexpr uint32_t kYellow = Opaque(0xFFFF00);

TEST(ScreenComposition, OverlappingWindowsChildrenLayeredWindowsAndTheDesktop)
{
    WindowsGuard keep;
    // Nothing on the screen yet: the desktop's colour.
    ExpectPixels(Screen(), {{0, 0, kBlack, "empty screen"}, {63, 47, kBlack, "empty screen"}});

    HWND a = keep(MakeWindow({0, 0, 32, 24}, RGB(255, 0, 0)));
    HWND b = keep(MakeWindow({16, 12, 48, 36}, RGB(0, 255, 0)));
    keep(MakeWindow({4, 4, 12, 12}, RGB(0, 0, 255), WS_CHILD | WS_VISIBLE, 0, b));
    // A child reaching past its parent's right edge shows only inside the parent.
    keep(MakeWindow({22, 16, 40, 30}, RGB(255, 255, 0), WS_CHILD | WS_VISIBLE, 0, b));
    // Left half: white at half coverage (premultiplied); right half: fully transparent.
    keep(MakeLayered(
        {40, 20, 64, 44}, [](int x, int) { return x < 12 ? 0x80808080u : 0x00000000u; }, 255,
        true));

    std::vector<uint32_t> screen = Screen();
    // GDI leaves the alpha byte 0 where it paints; the screen still shows those windows.
    std::vector<uint32_t> own;
    SIZE size;
    ASSERT_TRUE(ReadWindowPixels(a, &own, &size));
    ASSERT_EQ(own[0] >> 24, 0u);
    ExpectPixels(screen, {
                             {2, 2, kRed, "A alone"},
                             {20, 14, kGreen, "B over A"},
                             {40, 25, Opaque(0x80FF80), "half white over B"},
                             {24, 20, kBlue, "B's child"},
                             {38, 30, kYellow, "B's other child"},
                             {45, 30, Opaque(0xFFFF80), "half white over that child"},
                             {50, 30, Opaque(0x808080), "half white right of B, child cut off"},
                             {45, 40, Opaque(0x808080), "half white below B, child cut off"},
                             {56, 30, kBlack, "transparent part over the desktop"},
                             {10, 40, kBlack, "desktop"},
                         });

    // The desktop's own pixels show wherever no window lies.
    HDC desktop = GetDC(nullptr);
    HBRUSH grey = CreateSolidBrush(RGB(10, 20, 30));
    RECT all = {0, 0, kWidth, kHeight};
    FillRect(desktop, &all, grey);
    DeleteObject(grey);
    ReleaseDC(nullptr, desktop);
    ExpectPixels(Screen(), {{10, 40, Opaque(0x0A141E), "painted desktop"},
                            {56, 30, Opaque(0x0A141E), "transparent part over it"},
                            {2, 2, kRed, "A still over it"}});
    desktop = GetDC(nullptr);
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(desktop, &all, black);
    DeleteObject(black);
    ReleaseDC(nullptr, desktop);
}

TEST(ScreenComposition, LayeredWindowsBlendByConstantAndPerPixelAlpha)
{
    struct Case {
        const char* what;
        uint32_t picture;  // every pixel of the layered window
        BYTE constantAlpha;
        bool perPixel;
        uint32_t expected;  // over opaque green
    } cases[] = {
        {"premultiplied half white", 0x80808080u, 255, true, Opaque(0x80FF80)},
        {"fully transparent", 0x00000000u, 255, true, kGreen},
        {"fully opaque", 0xFF102030u, 255, true, Opaque(0x102030)},
        {"half white at half constant alpha", 0x80808080u, 128, true, Opaque(0x40FF40)},
        {"picture alpha ignored without per-pixel alpha", 0x000000FFu, 128, false,
         Opaque(0x007F80)},
        {"opaque picture with alpha 0", 0x00123456u, 255, false, Opaque(0x123456)},
        {"constant alpha 0", 0xFFFFFFFFu, 0, true, kGreen},
    };
    WindowsGuard keep;
    keep(MakeWindow({0, 0, 64, 48}, RGB(0, 255, 0)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND layered = MakeLayered(
            {8, 8, 24, 24}, [&](int, int) { return c.picture; }, c.constantAlpha, c.perPixel);
        ExpectPixels(Screen(), {{16, 16, c.expected, c.what}, {30, 30, kGreen, "outside"}});
        DestroyWindow(layered);
    }
}

TEST(ScreenComposition, OnlyChangedAreasAreRecomposed)
{
    WindowsGuard keep;
    HWND a = keep(MakeWindow({0, 0, 20, 20}, RGB(255, 0, 0)));
    HWND b = keep(MakeWindow({30, 0, 50, 20}, RGB(0, 255, 0)));
    ExpectPixels(Screen(), {{5, 5, kRed, "A"}, {35, 5, kGreen, "B"}});

    // B's pixels change, but a window device context reports its drawing only when released.
    RECT all = {0, 0, 20, 20};
    HDC dcB = GetDC(b);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dcB, &all, blue);
    HDC dcA = GetDC(a);
    HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 0));
    FillRect(dcA, &all, yellow);
    ReleaseDC(a, dcA);
    ExpectPixels(Screen(), {{5, 5, kYellow, "A recomposed"}, {35, 5, kGreen, "B not yet"}});
    ReleaseDC(b, dcB);
    ExpectPixels(Screen(), {{5, 5, kYellow, "A"}, {35, 5, kBlue, "B recomposed"}});
    DeleteObject(blue);
    DeleteObject(yellow);

    // A moved away leaves no trace where it was.
    MoveWindow(a, 0, 26, 20, 20, TRUE);
    std::vector<uint32_t> moved = Screen();
    std::vector<uint32_t> own;
    SIZE size;
    ASSERT_TRUE(ReadWindowPixels(a, &own, &size));
    ExpectPixels(moved, {{5, 5, kBlack, "where A was"},
                         {5, 31, own[5 * 20 + 5] | 0xFF000000u, "where A is"},
                         {35, 5, kBlue, "B"}});

    // A layered window's new picture replaces the old one on the screen.
    HWND layered = keep(MakeLayered(
        {40, 30, 60, 46}, [](int, int) { return 0xFF0000FFu; }, 255, true));
    ExpectPixels(Screen(), {{50, 38, kBlue, "first picture"}});
    SetPicture(
        layered, {40, 30, 60, 46}, [](int, int) { return 0xFFFF0000u; }, 255, true);
    ExpectPixels(Screen(), {{50, 38, kRed, "second picture"}});
}

TEST(ScreenComposition, ZOrderKeepsTheTopmostBandAbove)
{
    WindowsGuard keep;
    HWND topmost =
        keep(MakeWindow({0, 0, 30, 30}, RGB(255, 0, 0), WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST));
    HWND normal = keep(MakeWindow({10, 10, 40, 40}, RGB(0, 255, 0)));
    // Activation brings the normal window to the top of its band, still below the topmost one.
    SetForegroundWindow(normal);
    ExpectPixels(Screen(), {{20, 20, kRed, "topmost over the newer window"},
                            {35, 35, kGreen, "normal window"}});
    SetWindowPos(normal, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ExpectPixels(Screen(), {{20, 20, kGreen, "now topmost itself"}});
    SetWindowPos(normal, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ExpectPixels(Screen(), {{20, 20, kRed, "back below the band"}});
    SetWindowPos(topmost, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ExpectPixels(Screen(), {{20, 20, kGreen, "topmost window sent to the bottom"}});
}

TEST(ScreenComposition, HiddenAndMinimisedWindowsAreNotComposed)
{
    WindowsGuard keep;
    HWND a = keep(MakeWindow({0, 0, 40, 40}, RGB(255, 0, 0)));
    HWND b = keep(MakeWindow({10, 10, 30, 30}, RGB(0, 255, 0)));
    HWND child = keep(MakeWindow({0, 0, 10, 10}, RGB(0, 0, 255), WS_CHILD | WS_VISIBLE, 0, b));
    // A layered window shows nothing before its first picture.
    RegisterColourClass();
    keep(CreateWindowExW(WS_EX_LAYERED, kColourClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, 64, 48,
                         nullptr, nullptr, nullptr, nullptr));
    ExpectPixels(Screen(), {{15, 15, kBlue, "child"}, {25, 25, kGreen, "B"}, {5, 5, kRed, "A"}});

    struct Step {
        const char* what;
        HWND window;
        int command;
        uint32_t at15;  // pixel (15, 15)
        uint32_t at25;  // pixel (25, 25)
    } steps[] = {
        {"child hidden", child, SW_HIDE, kGreen, kGreen},
        {"B hidden", b, SW_HIDE, kRed, kRed},
        {"B shown again", b, SW_SHOWNOACTIVATE, kGreen, kGreen},
        {"B minimised", b, SW_SHOWMINNOACTIVE, kRed, kRed},
        {"A hidden", a, SW_HIDE, kBlack, kBlack},
    };
    for (const Step& s : steps) {
        ShowWindow(s.window, s.command);
        ExpectPixels(Screen(), {{15, 15, s.at15, s.what}, {25, 25, s.at25, s.what}});
    }
}

TEST(ScreenComposition, ReadsAreClippedToTheScreen)
{
    WindowsGuard keep;
    keep(MakeWindow({50, 40, 64, 48}, RGB(0, 0, 255)));
    platform::testing::PumpMessages();
    std::vector<uint32_t> pixels;
    SIZE size = {};
    RECT corner = {56, 44, 80, 60};
    ASSERT_TRUE(ReadScreenPixels(&pixels, &size, &corner));
    EXPECT_EQ(size.cx, 8);
    EXPECT_EQ(size.cy, 4);
    EXPECT_EQ(pixels.size(), 32u);
    EXPECT_EQ(pixels.back(), kBlue);
    RECT off = {64, 0, 70, 10};
    EXPECT_FALSE(ReadScreenPixels(&pixels, &size, &off));
    RECT empty = {10, 10, 10, 20};
    EXPECT_FALSE(ReadScreenPixels(&pixels, &size, &empty));
}

}  // namespace
