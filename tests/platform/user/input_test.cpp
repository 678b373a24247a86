// Input routing through injected input: hit testing, mouse activation of a pop-up panel,
// capture, leave and hover tracking, double clicks, the wheel and keys, accelerators, cursors
// and moving and sizing with the mouse.
#include <cstring>

#include "harness.h"
#include "user/compositor.h"

using namespace usertest;
using platform::testing::AdvanceClock;
using platform::testing::AdvanceClockAndPump;
using platform::testing::InjectClick;
using platform::testing::InjectKey;
using platform::testing::InjectKeys;
using platform::testing::InjectMouseButton;
using platform::testing::InjectMouseMove;
using platform::testing::InjectWheel;
using platform::testing::MouseButton;
using platform::testing::PumpMessages;

namespace {

class UserInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::UseManualClock();
        // Far from the previous test's clicks, so that no double click spans tests.
        AdvanceClock(10000);
        TakeLog();
    }
};

// A 32-bit top-down DIB section filled by `fill(x, y)` with premultiplied pixels.
template <class Fill>
HBITMAP Picture(int width, int height, Fill fill)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = fill(x, y);
    return bitmap;
}

void PushPicture(HWND window, HBITMAP bitmap, POINT at, SIZE size)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(
        UpdateLayeredWindow(window, nullptr, &at, &size, dc, &source, 0, &blend, ULW_ALPHA));
    SelectObject(dc, old);
    DeleteDC(dc);
}

TEST_F(UserInput, HitTestingFindsChildrenSkipsDisabledOnesAndTransparentPixels)
{
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 400, 300}});
    HWND button = Make("B", {WS_CHILD | WS_VISIBLE, 0, {10, 10, 110, 60}, dialog});
    HWND inner = Make("I", {WS_CHILD | WS_VISIBLE, 0, {5, 5, 25, 25}, button});
    HWND disabled = Make("X", {WS_CHILD | WS_VISIBLE | WS_DISABLED, 0, {200, 10, 300, 60}, dialog});
    HWND hidden = Make("H", {WS_CHILD, 0, {10, 100, 110, 150}, dialog});
    // A layered pop-up whose left half is transparent.
    HWND layered = Make("L", {WS_POPUP | WS_VISIBLE, WS_EX_LAYERED | WS_EX_TOPMOST, {0, 0, 1, 1}});
    HBITMAP picture = Picture(40, 20, [](int x, int) { return x < 20 ? 0u : 0xFF102030u; });
    PushPicture(layered, picture, POINT{150, 200}, SIZE{40, 20});
    DeleteObject(picture);
    HWND blocked = Make("Z", {WS_POPUP | WS_VISIBLE | WS_DISABLED, 0, {500, 0, 600, 100}});
    (void)disabled;
    (void)hidden;

    struct Case {
        POINT point;
        HWND expected;
    };
    const Case cases[] = {
        {{50, 30}, button},   {{20, 20}, inner},     {{250, 30}, dialog},   {{50, 120}, dialog},
        {{160, 210}, dialog}, {{175, 210}, layered}, {{189, 219}, layered}, {{190, 210}, dialog},
        {{550, 50}, blocked}, {{700, 700}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.point.x << "," << c.point.y);
        EXPECT_EQ(WindowFromPoint(c.point), c.expected);
    }

    // Clicks follow the same rules; the disabled top-level window gets nothing.
    PumpMessages();
    TakeLog();
    InjectClick(160, 210);
    InjectClick(250, 30);
    InjectClick(180, 205);
    InjectClick(550, 50);
    PumpMessages();
    EXPECT_EQ(
        Only(TakeLog(), {"WM_LBUTTONDOWN"}),
        (std::vector<std::string>{"D:WM_LBUTTONDOWN", "D:WM_LBUTTONDOWN", "L:WM_LBUTTONDOWN"}));
    DestroyWindow(layered);
    DestroyWindow(blocked);
    DestroyWindow(dialog);
}

TEST_F(UserInput, APopupPanelKeepsActivationWhileItsChildrenAreClicked)
{
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 400, 300}});
    HWND slider = nullptr;
    HWND panel = Make("P", {WS_POPUP,
                            WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                            {50, 50, 200, 200},
                            dialog,
                            0,
                            [&](HWND self, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
                                if (m == WM_ACTIVATE && LOWORD(wp) == WA_INACTIVE)
                                    ShowWindow(self, SW_HIDE);
                                if (m == WM_SHOWWINDOW && slider)
                                    ShowWindow(slider, wp ? SW_SHOW : SW_HIDE);
                                return std::nullopt;
                            }});
    slider = Make("S", {WS_POPUP,
                        WS_EX_TOOLWINDOW,
                        {60, 100, 140, 111},
                        panel,
                        0,
                        [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                            if (m == WM_MOUSEACTIVATE)
                                return MA_NOACTIVATE;
                            return std::nullopt;
                        }});
    PumpMessages();

    ShowWindow(panel, SW_SHOW);
    PumpMessages();
    EXPECT_EQ(GetActiveWindow(), panel);
    EXPECT_TRUE(IsWindowVisible(slider));
    TakeLog();

    // A click on the slider neither activates it nor takes activation from the panel.
    InjectClick(100, 105);
    PumpMessages();
    EXPECT_EQ(
        Only(TakeLog(), {"WM_MOUSEACTIVATE", "WM_ACTIVATE", "WM_SHOWWINDOW", "WM_LBUTTONDOWN",
                         "WM_LBUTTONUP"}),
        (std::vector<std::string>{"S:WM_MOUSEACTIVATE", "S:WM_LBUTTONDOWN", "S:WM_LBUTTONUP"}));
    EXPECT_EQ(GetActiveWindow(), panel);
    EXPECT_TRUE(IsWindowVisible(panel));

    // A click on the dialog takes activation: the panel, told which window takes it, hides.
    InjectClick(300, 250);
    PumpMessages();
    EXPECT_EQ(
        Only(TakeLog(), {"WM_MOUSEACTIVATE", "WM_ACTIVATE", "WM_SHOWWINDOW", "WM_LBUTTONDOWN",
                         "WM_LBUTTONUP"}),
        (std::vector<std::string>{"D:WM_MOUSEACTIVATE", "P:WM_ACTIVATE(0,D)", "P:WM_SHOWWINDOW(0)",
                                  "S:WM_SHOWWINDOW(0)", "D:WM_ACTIVATE(2,P)", "D:WM_LBUTTONDOWN",
                                  "D:WM_LBUTTONUP"}));
    EXPECT_EQ(GetActiveWindow(), dialog);
    EXPECT_FALSE(IsWindowVisible(panel));
    EXPECT_FALSE(IsWindowVisible(slider));

    // MA_ACTIVATEANDEAT activates and swallows the press.
    HWND eater = Make("E", {WS_POPUP | WS_VISIBLE,
                            0,
                            {500, 0, 600, 100},
                            nullptr,
                            0,
                            [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                                if (m == WM_MOUSEACTIVATE)
                                    return MA_ACTIVATEANDEAT;
                                return std::nullopt;
                            }});
    SetActiveWindow(dialog);
    TakeLog();
    InjectClick(550, 50);
    PumpMessages();
    EXPECT_EQ(Only(TakeLog(), {"WM_MOUSEACTIVATE", "WM_LBUTTONDOWN", "WM_LBUTTONUP"}),
              (std::vector<std::string>{"E:WM_MOUSEACTIVATE", "E:WM_LBUTTONUP"}));
    EXPECT_EQ(GetActiveWindow(), eater);
    DestroyWindow(eater);
    DestroyWindow(dialog);
}

TEST_F(UserInput, CaptureKeepsTheMouseAndLeaveWaitsForItsRelease)
{
    std::vector<int> xs;
    auto tracker = [&](HWND self, UINT m, WPARAM, LPARAM lp) -> std::optional<LRESULT> {
        if (m == WM_MOUSEMOVE) {
            xs.push_back(GET_X_LPARAM(lp));
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, self, 0};
            TrackMouseEvent(&track);
        }
        if (m == WM_LBUTTONDOWN)
            SetCapture(self);
        if (m == WM_LBUTTONUP)
            ReleaseCapture();
        return std::nullopt;
    };
    HWND a = Make("A", {WS_POPUP | WS_VISIBLE, 0, {100, 100, 200, 200}, nullptr, 0, tracker});
    HWND b = Make("B", {WS_POPUP | WS_VISIBLE, 0, {200, 100, 300, 200}});
    PumpMessages();
    TakeLog();

    InjectMouseMove(150, 150);
    InjectMouseMove(160, 150);
    InjectMouseMove(250, 150);
    PumpMessages();
    // The window that was left hears of it before the next window gets the move.
    EXPECT_EQ(Only(TakeLog(), {"WM_MOUSEMOVE", "WM_MOUSELEAVE"}),
              (std::vector<std::string>{"A:WM_MOUSEMOVE", "A:WM_MOUSEMOVE", "A:WM_MOUSELEAVE",
                                        "B:WM_MOUSEMOVE"}));

    xs.clear();
    InjectMouseMove(150, 150);
    InjectMouseButton(150, 150, MouseButton::Left, true);
    InjectMouseMove(250, 150);  // over B, but A holds the capture
    InjectMouseMove(50, 150);   // left of A: negative client coordinates
    InjectMouseButton(250, 150, MouseButton::Left, false);
    PumpMessages();
    EXPECT_EQ(Only(TakeLog(), {"WM_MOUSEMOVE", "WM_MOUSELEAVE", "WM_LBUTTONDOWN", "WM_LBUTTONUP",
                               "WM_CAPTURECHANGED"}),
              (std::vector<std::string>{"A:WM_MOUSEMOVE", "A:WM_LBUTTONDOWN", "A:WM_MOUSEMOVE",
                                        "A:WM_MOUSEMOVE", "A:WM_LBUTTONUP", "A:WM_CAPTURECHANGED",
                                        "A:WM_MOUSELEAVE"}));
    EXPECT_EQ(xs, (std::vector<int>{50, 150, -50}));
    EXPECT_EQ(GetCapture(), nullptr);

    // A leave request while the pointer is elsewhere is answered at once.
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, a, 0};
    ASSERT_TRUE(TrackMouseEvent(&track));
    PumpMessages();
    EXPECT_EQ(Only(TakeLog(), {"WM_MOUSELEAVE"}), (std::vector<std::string>{"A:WM_MOUSELEAVE"}));
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST_F(UserInput, HoverIsPostedOnceThePointerHasRested)
{
    HWND w = Make(
        "W", {WS_POPUP | WS_VISIBLE,
              0,
              {0, 0, 100, 100},
              nullptr,
              0,
              [](HWND self, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                  if (m == WM_LBUTTONDOWN) {
                      TRACKMOUSEEVENT track = {sizeof(track), TME_HOVER | TME_LEAVE, self, 100};
                      TrackMouseEvent(&track);
                  }
                  return std::nullopt;
              }});
    InjectClick(50, 50);
    PumpMessages();
    TakeLog();
    AdvanceClockAndPump(60);
    InjectMouseMove(51, 51);  // within the hover rectangle: the time keeps running
    AdvanceClockAndPump(39);
    EXPECT_TRUE(Only(TakeLog(), {"WM_MOUSEHOVER"}).empty());
    AdvanceClockAndPump(1);
    EXPECT_EQ(Only(TakeLog(), {"WM_MOUSEHOVER"}), (std::vector<std::string>{"W:WM_MOUSEHOVER"}));
    AdvanceClockAndPump(500);
    EXPECT_TRUE(Only(TakeLog(), {"WM_MOUSEHOVER"}).empty());  // once per request

    // Moving out of the rectangle starts the time again.
    InjectClick(50, 50);
    PumpMessages();
    AdvanceClockAndPump(90);
    InjectMouseMove(60, 50);
    AdvanceClockAndPump(90);
    EXPECT_TRUE(Only(TakeLog(), {"WM_MOUSEHOVER"}).empty());
    AdvanceClockAndPump(10);
    EXPECT_EQ(Only(TakeLog(), {"WM_MOUSEHOVER"}), (std::vector<std::string>{"W:WM_MOUSEHOVER"}));
    DestroyWindow(w);
}

TEST_F(UserInput, DoubleClicksNeedTheClassTheTimeAndThePlace)
{
    struct Case {
        const char* name;
        const wchar_t* className;
        int dx;
        int dy;
        DWORD gap;
        const char* second;
    };
    const Case cases[] = {
        {"same place at once", kDoubleClickClass, 0, 0, 0, "WM_LBUTTONDBLCLK"},
        {"at the limits", kDoubleClickClass, 2, -2, 500, "WM_LBUTTONDBLCLK"},
        {"too far", kDoubleClickClass, 3, 0, 0, "WM_LBUTTONDOWN"},
        {"too late", kDoubleClickClass, 0, 0, 501, "WM_LBUTTONDOWN"},
        {"class without CS_DBLCLKS", kClass, 0, 0, 0, "WM_LBUTTONDOWN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Options o{WS_POPUP | WS_VISIBLE, 0, {0, 0, 100, 100}};
        o.className = c.className;
        HWND w = Make("W", o);
        PumpMessages();
        TakeLog();
        InjectClick(50, 50);
        AdvanceClock(c.gap);
        InjectClick(50 + c.dx, 50 + c.dy);
        PumpMessages();
        EXPECT_EQ(Only(TakeLog(), {"WM_LBUTTONDOWN", "WM_LBUTTONDBLCLK"}),
                  (std::vector<std::string>{"W:WM_LBUTTONDOWN", std::string("W:") + c.second}));
        DestroyWindow(w);
        AdvanceClock(1000);
    }

    // A third click starts over; a click on another window is no double click.
    Options o{WS_POPUP | WS_VISIBLE, 0, {0, 0, 100, 100}};
    o.className = kDoubleClickClass;
    HWND a = Make("A", o);
    o.rect = RECT{100, 0, 200, 100};
    HWND b = Make("B", o);
    PumpMessages();
    TakeLog();
    InjectClick(50, 50);
    InjectClick(50, 50);
    InjectClick(50, 50);
    InjectClick(101, 50);
    InjectMouseButton(101, 50, MouseButton::Right, true);
    PumpMessages();
    EXPECT_EQ(
        Only(TakeLog(), {"WM_LBUTTONDOWN", "WM_LBUTTONDBLCLK", "WM_RBUTTONDOWN"}),
        (std::vector<std::string>{"A:WM_LBUTTONDOWN", "A:WM_LBUTTONDBLCLK", "A:WM_LBUTTONDOWN",
                                  "B:WM_LBUTTONDOWN", "B:WM_RBUTTONDOWN"}));
    InjectMouseButton(101, 50, MouseButton::Right, false);
    PumpMessages();
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST_F(UserInput, WheelAndKeysGoToTheFocusWindow)
{
    std::vector<std::pair<int, POINT>> wheels;
    std::wstring typed;
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE,
                             0,
                             {0, 0, 300, 300},
                             nullptr,
                             0,
                             [&](HWND, UINT m, WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
                                 if (m == WM_MOUSEWHEEL)
                                     wheels.push_back({GET_WHEEL_DELTA_WPARAM(wp),
                                                       POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}});
                                 return std::nullopt;
                             }});
    HWND edit = Make("E", {WS_CHILD | WS_VISIBLE,
                           0,
                           {10, 10, 100, 30},
                           dialog,
                           0,
                           [&](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
                               if (m == WM_CHAR || m == WM_SYSCHAR)
                                   typed += wchar_t(wp);
                               return std::nullopt;
                           }});
    HWND other = Make("O", {WS_POPUP | WS_VISIBLE, 0, {400, 0, 500, 100}});
    SetActiveWindow(dialog);
    SetFocus(edit);
    PumpMessages();
    TakeLog();

    // The wheel over another window still goes to the focus, which passes it to its parent.
    InjectWheel(450, 50, -WHEEL_DELTA);
    PumpMessages();
    EXPECT_EQ(Only(TakeLog(), {"WM_MOUSEWHEEL"}),
              (std::vector<std::string>{"E:WM_MOUSEWHEEL", "D:WM_MOUSEWHEEL"}));
    ASSERT_EQ(wheels.size(), 1u);
    EXPECT_EQ(wheels[0].first, -120);
    EXPECT_EQ(wheels[0].second.x, 450);  // screen coordinates

    InjectKeys({'A'});
    InjectKeys({VK_SHIFT, 'A'});
    InjectKeys({VK_CONTROL, 'A'});
    InjectKeys({VK_MENU, VK_RETURN});
    PumpMessages();
    EXPECT_EQ(typed, std::wstring(L"aA\x01\r"));
    EXPECT_EQ(Only(TakeLog(), {"WM_KEYDOWN", "WM_SYSKEYDOWN", "WM_SYSCHAR"}),
              (std::vector<std::string>{"E:WM_KEYDOWN", "E:WM_KEYDOWN", "E:WM_KEYDOWN",
                                        "E:WM_KEYDOWN", "E:WM_KEYDOWN", "E:WM_SYSKEYDOWN",
                                        "E:WM_SYSKEYDOWN", "E:WM_SYSCHAR"}));
    EXPECT_FALSE(GetKeyState(VK_MENU) < 0);

    // With no focus, keys reach the active window as system keys.
    SetFocus(nullptr);
    InjectKeys({'B'});
    PumpMessages();
    EXPECT_EQ(Only(TakeLog(), {"WM_KEYDOWN", "WM_SYSKEYDOWN"}),
              (std::vector<std::string>{"D:WM_SYSKEYDOWN"}));
    DestroyWindow(other);
    DestroyWindow(dialog);
}

TEST_F(UserInput, AcceleratorsMatchKeysWithExactlyTheirModifiers)
{
    std::vector<WPARAM> commands;
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE,
                             0,
                             {0, 0, 100, 100},
                             nullptr,
                             0,
                             [&](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
                                 if (m == WM_COMMAND)
                                     commands.push_back(wp);
                                 return std::nullopt;
                             }});
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(140));
    ASSERT_NE(table, nullptr);
    auto translate = [&](MSG& msg) { return TranslateAcceleratorW(dialog, table, &msg) != 0; };
    PumpMessages(translate);

    struct Case {
        std::initializer_list<UINT> keys;
        std::vector<WPARAM> expected;
    };
    const Case cases[] = {
        {{VK_CONTROL, 'O'}, {MAKEWPARAM(32771, 1)}},
        {{VK_CONTROL, VK_SHIFT, 'O'}, {}},
        {{'O'}, {}},
        {{VK_CONTROL, VK_SHIFT, 'S'}, {MAKEWPARAM(32772, 1)}},
        {{VK_RETURN}, {MAKEWPARAM(32779, 1)}},
        {{VK_MENU, VK_RETURN}, {MAKEWPARAM(32776, 1)}},
        {{VK_SHIFT, VK_RETURN}, {}},
    };
    for (const Case& c : cases) {
        commands.clear();
        InjectKeys(c.keys);
        PumpMessages(translate);
        EXPECT_EQ(commands, c.expected) << "keys starting with " << *c.keys.begin();
    }
    EXPECT_TRUE(DestroyAcceleratorTable(table));
    EXPECT_FALSE(DestroyAcceleratorTable(table));

    // Tables cut short or of a size that is no whole number of entries are refused.
    for (int id : {141, 142}) {
        EXPECT_EQ(LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
    }
    EXPECT_EQ(LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(143)), nullptr);
    DestroyWindow(dialog);
}

TEST_F(UserInput, TheClassCursorIsSetUnlessAParentAnswersSetCursor)
{
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.lpfnWndProc = RecordingProc;
    wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
    wc.lpszClassName = L"UserTestHand";
    ASSERT_TRUE(RegisterClassExW(&wc));
    ASSERT_NE(wc.hCursor, nullptr);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_HAND), wc.hCursor);
    EXPECT_EQ(LoadCursorW(GetModuleHandleW(nullptr), IDC_HAND), nullptr);

    bool parentClaims = false;
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE,
                             0,
                             {0, 0, 200, 200},
                             nullptr,
                             0,
                             [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                                 if (m == WM_SETCURSOR && parentClaims) {
                                     SetCursor(LoadCursorW(nullptr, IDC_SIZENWSE));
                                     return TRUE;
                                 }
                                 return std::nullopt;
                             }});
    Options o{WS_CHILD | WS_VISIBLE, 0, {10, 10, 60, 60}, dialog};
    o.className = L"UserTestHand";
    Make("H", o);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));

    InjectMouseMove(20, 20);
    PumpMessages();
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    EXPECT_EQ(platform::user::TakeScreenState().cursorShape, platform::user::CursorShape::Hand);
    // Over the dialog, whose class has no cursor, the pointer keeps its shape.
    InjectMouseMove(150, 150);
    PumpMessages();
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    parentClaims = true;
    InjectMouseMove(21, 21);
    PumpMessages();
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_SIZENWSE));

    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(platform::user::TakeScreenState().cursorVisible);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    DestroyWindow(dialog);
}

TEST_F(UserInput, DraggingTheCaptionOrTheGripMovesAndSizesWithTheMouse)
{
    int moves = 0;
    HWND dialog =
        Make("D", {WS_POPUP | WS_VISIBLE,
                   0,
                   {10, 10, 310, 210},
                   nullptr,
                   0,
                   [&](HWND self, UINT m, WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
                       if (m == WM_MOVE)
                           ++moves;
                       if (m == WM_GETMINMAXINFO)
                           reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = {200, 150};
                       if (m == WM_MOUSEMOVE && (wp & MK_LBUTTON)) {
                           RECT client;
                           GetClientRect(self, &client);
                           POINT p = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
                           bool grip = p.x >= client.right - 18 && p.y >= client.bottom - 18;
                           ClientToScreen(self, &p);
                           PostMessageW(self, WM_NCLBUTTONDOWN, grip ? HTBOTTOMRIGHT : HTCAPTION,
                                        MAKELPARAM(p.x, p.y));
                       }
                       return std::nullopt;
                   }});
    PumpMessages();
    RECT r;

    struct Step {
        const char* name;
        POINT press;
        POINT start;  // the move that starts the loop
        POINT to;
        bool escape;
        RECT expected;
    };
    const Step steps[] = {
        {"caption", {50, 50}, {80, 70}, {100, 100}, false, {30, 40, 330, 240}},
        {"grip, down to the minimum size",
         {320, 230},
         {321, 231},
         {100, 100},
         false,
         {30, 40, 230, 190}},
        {"grip, larger", {220, 180}, {221, 181}, {300, 260}, false, {30, 40, 309, 269}},
        {"escape puts it back", {50, 50}, {60, 60}, {400, 400}, true, {30, 40, 309, 269}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        InjectMouseButton(s.press.x, s.press.y, MouseButton::Left, true);
        InjectMouseMove(s.start.x, s.start.y);
        InjectMouseMove(s.to.x, s.to.y);
        if (s.escape)
            InjectKeys({VK_ESCAPE});
        InjectMouseButton(s.to.x, s.to.y, MouseButton::Left, false);
        PumpMessages();
        GetWindowRect(dialog, &r);
        EXPECT_EQ(r, s.expected);
        EXPECT_EQ(GetCapture(), nullptr);
    }

    // Without full-window dragging the window moves once, when the button is released.
    BOOL full = TRUE;
    SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
    EXPECT_TRUE(full);
    SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, 0);
    moves = 0;
    InjectMouseButton(50, 60, MouseButton::Left, true);
    InjectMouseMove(51, 61);
    for (int i = 1; i <= 5; ++i)
        InjectMouseMove(51 + i * 10, 61);
    InjectMouseButton(101, 61, MouseButton::Left, false);
    PumpMessages();
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.left, 80);
    EXPECT_EQ(moves, 1);
    SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
    DestroyWindow(dialog);
}

}  // namespace
