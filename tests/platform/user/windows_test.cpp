// The window tree, z-order, visibility and activation order, rectangles, placement, enabling
// and window data.
#include "harness.h"

using namespace usertest;
using platform::testing::PumpMessages;

namespace {

class UserWindows : public ::testing::Test {
protected:
    void SetUp() override { TakeLog(); }
};

std::vector<std::string> TopLevelNames()
{
    std::vector<std::string> names;
    EnumWindows(
        [](HWND w, LPARAM names) {
            reinterpret_cast<std::vector<std::string>*>(names)->push_back(NameOf(w));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&names));
    return names;
}

TEST_F(UserWindows, PopupsCreatedUnderAChildAreOwnedByItsTopLevelWindow)
{
    HWND dialog = Make("D", {WS_POPUP});
    HWND child = Make("C", {WS_CHILD, 0, {0, 0, 10, 10}, dialog});
    HWND grandchild = Make("G", {WS_CHILD, 0, {0, 0, 5, 5}, child});
    HWND popup = Make("P", {WS_POPUP, WS_EX_TOOLWINDOW, {0, 0, 5, 5}, grandchild});
    HWND overlapped = Make("V", {WS_OVERLAPPED, 0, {0, 0, 5, 5}, child});

    EXPECT_EQ(GetParent(grandchild), child);
    EXPECT_EQ(GetParent(popup), dialog);  // a pop-up's parent is its owner
    EXPECT_EQ(GetWindow(popup, GW_OWNER), dialog);
    EXPECT_EQ(GetParent(overlapped), nullptr);  // owned, but not a pop-up
    EXPECT_EQ(GetWindow(overlapped, GW_OWNER), dialog);
    EXPECT_EQ(GetAncestor(grandchild, GA_ROOT), dialog);
    EXPECT_EQ(GetAncestor(popup, GA_ROOT), popup);
    EXPECT_EQ(GetAncestor(popup, GA_ROOTOWNER), dialog);
    EXPECT_EQ(GetAncestor(dialog, GA_PARENT), GetDesktopWindow());
    EXPECT_TRUE(IsChild(dialog, grandchild));
    EXPECT_FALSE(IsChild(dialog, popup));
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_FALSE(IsWindow(overlapped));
}

TEST_F(UserWindows, ZOrderKeepsTheTopmostBandAndOwnedWindowsAboveTheirOwner)
{
    HWND a = Make("A", {WS_POPUP | WS_VISIBLE});
    HWND topmost = Make("T", {WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST});
    HWND owned = Make("O", {WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, {0, 0, 10, 10}, a});
    HWND b = Make("B", {WS_POPUP | WS_VISIBLE});
    // New windows go to the top of their band: B below the topmost T.
    EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"T", "B", "O", "A"}));

    // Activating A brings the window it owns up with it.
    SetActiveWindow(a);
    EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"T", "O", "A", "B"}));

    // Windows owned by a topmost window are topmost too.
    HWND panelChild = Make("S", {WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, {0, 0, 5, 5}, topmost});
    SetWindowPos(b, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"B", "S", "T", "O", "A"}));
    EXPECT_TRUE(GetWindowLongPtrW(b, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SetWindowPos(b, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"S", "T", "B", "O", "A"}));
    SetWindowPos(topmost, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"B", "O", "A", "S", "T"}));
    // Placing a window after another one puts it just below that one.
    SetWindowPos(b, a, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"O", "A", "B", "S", "T"}));
    (void)owned;
    (void)panelChild;

    // Children: new ones on top; HWND_BOTTOM and insert-after among siblings.
    HWND c1 = Make("c1", {WS_CHILD, 0, {0, 0, 5, 5}, a});
    HWND c2 = Make("c2", {WS_CHILD, 0, {0, 0, 5, 5}, a});
    HWND c3 = Make("c3", {WS_CHILD, 0, {0, 0, 5, 5}, a});
    EXPECT_EQ(GetWindow(a, GW_CHILD), c3);
    SetWindowPos(c3, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(a, GW_CHILD), c2);
    EXPECT_EQ(GetWindow(c2, GW_HWNDNEXT), c1);
    EXPECT_EQ(GetWindow(c1, GW_HWNDNEXT), c3);
    SetWindowPos(c2, c1, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(a, GW_CHILD), c1);
    EXPECT_EQ(GetWindow(c3, GW_HWNDPREV), c2);
    for (HWND w : {a, b, topmost})
        DestroyWindow(w);
}

TEST_F(UserWindows, ShowingAndHidingFollowWindowsOrder)
{
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 300, 300}});
    HWND popup = Make("P", {WS_POPUP,
                            WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                            {10, 10, 60, 60},
                            dialog,
                            0,
                            [](HWND self, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
                                // Not yet visible when told it is about to be shown.
                                if (m == WM_SHOWWINDOW && wp)
                                    EXPECT_FALSE(IsWindowVisible(self));
                                return std::nullopt;
                            }});
    HWND child = Make("C", {WS_CHILD, 0, {0, 0, 10, 10}, dialog});
    PumpMessages();
    ASSERT_EQ(GetActiveWindow(), dialog);
    ASSERT_EQ(GetFocus(), dialog);
    TakeLog();

    ShowWindow(popup, SW_SHOW);
    EXPECT_EQ(
        Only(TakeLog(),
             {"WM_SHOWWINDOW", "WM_NCACTIVATE", "WM_ACTIVATE", "WM_SETFOCUS", "WM_KILLFOCUS"}),
        (std::vector<std::string>{"P:WM_SHOWWINDOW(1)", "D:WM_NCACTIVATE(0)", "D:WM_ACTIVATE(0,P)",
                                  "P:WM_NCACTIVATE(1)", "P:WM_ACTIVATE(1,D)", "D:WM_KILLFOCUS(P)",
                                  "P:WM_SETFOCUS(D)"}));
    EXPECT_EQ(GetActiveWindow(), popup);

    // SW_SHOW of a visible top-level window activates it again; WM_SHOWWINDOW is not sent.
    SetActiveWindow(dialog);
    TakeLog();
    ShowWindow(popup, SW_SHOW);
    EXPECT_EQ(Only(TakeLog(), {"WM_SHOWWINDOW", "WM_ACTIVATE"}),
              (std::vector<std::string>{"D:WM_ACTIVATE(0,P)", "P:WM_ACTIVATE(1,D)"}));

    // Hiding the active pop-up gives activation back to its owner.
    ShowWindow(popup, SW_HIDE);
    EXPECT_EQ(Only(TakeLog(), {"WM_SHOWWINDOW", "WM_ACTIVATE"}),
              (std::vector<std::string>{"P:WM_SHOWWINDOW(0)", "P:WM_ACTIVATE(0,D)",
                                        "D:WM_ACTIVATE(1,P)"}));
    EXPECT_EQ(GetActiveWindow(), dialog);
    EXPECT_FALSE(IsWindowVisible(popup));

    // Showing without activation: SW_SHOWNA, SetWindowPos with SWP_NOACTIVATE (which sends no
    // WM_SHOWWINDOW), and children, which are never activated.
    ShowWindow(popup, SW_SHOWNA);
    ShowWindow(popup, SW_HIDE);
    SetWindowPos(popup, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ShowWindow(child, SW_SHOW);
    EXPECT_EQ(Only(TakeLog(), {"WM_SHOWWINDOW", "WM_ACTIVATE"}),
              (std::vector<std::string>{"P:WM_SHOWWINDOW(1)", "P:WM_SHOWWINDOW(0)",
                                        "C:WM_SHOWWINDOW(1)"}));
    EXPECT_TRUE(IsWindowVisible(popup));
    EXPECT_EQ(GetActiveWindow(), dialog);

    // Showing a child of a hidden window leaves it invisible until the parent shows.
    ShowWindow(dialog, SW_HIDE);
    EXPECT_TRUE(GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(IsWindowVisible(child));
    // Tool windows do not take activation over from a hidden window.
    EXPECT_EQ(GetActiveWindow(), nullptr);
    DestroyWindow(dialog);
}

TEST_F(UserWindows, RectanglesAndCoordinateMapping)
{
    HWND top = Make("T", {WS_POPUP, 0, {100, 50, 400, 250}});
    HWND child = Make("C", {WS_CHILD, 0, {10, 20, 110, 70}, top});
    RECT r;
    ASSERT_TRUE(GetWindowRect(child, &r));
    EXPECT_EQ(r, (RECT{110, 70, 210, 120}));
    ASSERT_TRUE(GetClientRect(child, &r));
    EXPECT_EQ(r, (RECT{0, 0, 100, 50}));
    POINT p = {5, 6};
    ClientToScreen(child, &p);
    EXPECT_EQ(p.x, 115);
    EXPECT_EQ(p.y, 76);
    ScreenToClient(top, &p);
    EXPECT_EQ(p.x, 15);
    EXPECT_EQ(p.y, 26);
    POINT pts[2] = {{0, 0}, {-5, 3}};
    int offset = MapWindowPoints(child, top, pts, 2);
    EXPECT_EQ(GET_X_LPARAM(offset), 10);
    EXPECT_EQ(GET_Y_LPARAM(offset), 20);
    EXPECT_EQ(pts[1].x, 5);
    EXPECT_EQ(pts[1].y, 23);
    MapWindowPoints(nullptr, child, pts, 1);
    EXPECT_EQ(pts[0].x, 10 - 110);

    RECT screen;
    GetWindowRect(GetDesktopWindow(), &screen);
    EXPECT_EQ(screen, (RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
    DestroyWindow(top);
}

TEST_F(UserWindows, MovingAndSizingSendSizeAndMoveAndInvalidateByClassStyle)
{
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = L"UserTestRedraw";
    ASSERT_TRUE(RegisterClassExW(&wc));
    EXPECT_FALSE(RegisterClassExW(&wc));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));

    HWND plain = Make("W", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 100, 80}});
    Options redrawing{WS_POPUP | WS_VISIBLE, 0, {0, 0, 100, 80}};
    redrawing.className = L"UserTestRedraw";
    HWND whole = Make("R", redrawing);
    PumpMessages();
    TakeLog();

    for (HWND w : {plain, whole}) {
        ASSERT_TRUE(MoveWindow(w, 30, 40, 120, 80, TRUE));
        RECT update;
        ASSERT_TRUE(GetUpdateRect(w, &update, FALSE));
        // Without CS_HREDRAW only the new strip needs painting.
        EXPECT_EQ(update, (w == plain ? RECT{100, 0, 120, 80} : RECT{0, 0, 120, 80}));
        ValidateRect(w, nullptr);
    }
    std::vector<std::string> log = Only(TakeLog(), {"WM_SIZE", "WM_MOVE"});
    EXPECT_EQ(log, (std::vector<std::string>{"W:WM_SIZE", "W:WM_MOVE", "R:WM_SIZE", "R:WM_MOVE"}));

    // Only what changes is reported; SWP_NOREDRAW invalidates nothing.
    SetWindowPos(plain, nullptr, 31, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(plain, nullptr, 0, 0, 200, 80, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW);
    EXPECT_EQ(Only(TakeLog(), {"WM_SIZE", "WM_MOVE"}),
              (std::vector<std::string>{"W:WM_MOVE", "W:WM_SIZE"}));
    EXPECT_FALSE(GetUpdateRect(plain, nullptr, FALSE));
    RECT r;
    GetWindowRect(plain, &r);
    EXPECT_EQ(r, (RECT{31, 40, 231, 120}));

    LPARAM sized = 0;
    HWND probe = Make("S", {WS_POPUP,
                            0,
                            {0, 0, 10, 10},
                            nullptr,
                            0,
                            [&](HWND, UINT m, WPARAM, LPARAM lp) -> std::optional<LRESULT> {
                                if (m == WM_SIZE)
                                    sized = lp;
                                return std::nullopt;
                            }});
    MoveWindow(probe, 0, 0, 640, 360, FALSE);
    EXPECT_EQ(LOWORD(sized), 640);
    EXPECT_EQ(HIWORD(sized), 360);
    for (HWND w : {plain, whole, probe})
        DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassW(L"UserTestRedraw", nullptr));
}

TEST_F(UserWindows, MaximiseMinimiseAndRestore)
{
    WPARAM lastType = 99;
    HWND w = Make("W", {WS_POPUP | WS_VISIBLE,
                        0,
                        {10, 20, 210, 120},
                        nullptr,
                        0,
                        [&](HWND, UINT m, WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
                            if (m == WM_SIZE)
                                lastType = wp;
                            if (m == WM_GETMINMAXINFO) {
                                auto* info = reinterpret_cast<MINMAXINFO*>(lp);
                                info->ptMaxSize.y -= 40;  // keep a strip free
                            }
                            return std::nullopt;
                        }});
    RECT r;
    ShowWindow(w, SW_MAXIMIZE);
    EXPECT_TRUE(IsZoomed(w));
    EXPECT_EQ(lastType, WPARAM(SIZE_MAXIMIZED));
    GetWindowRect(w, &r);
    EXPECT_EQ(r, (RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) - 40}));

    ShowWindow(w, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(w));
    EXPECT_FALSE(IsZoomed(w));
    EXPECT_EQ(lastType, WPARAM(SIZE_MINIMIZED));
    GetClientRect(w, &r);
    EXPECT_TRUE(IsRectEmpty(&r));
    EXPECT_NE(GetActiveWindow(), w);
    EXPECT_EQ(MonitorFromWindow(w, MONITOR_DEFAULTTONULL), MonitorFromPoint(POINT{0, 0}, 0));

    ShowWindow(w, SW_RESTORE);
    EXPECT_FALSE(IsIconic(w));
    EXPECT_EQ(lastType, WPARAM(SIZE_RESTORED));
    GetWindowRect(w, &r);
    EXPECT_EQ(r, (RECT{10, 20, 210, 120}));
    EXPECT_EQ(GetActiveWindow(), w);
    DestroyWindow(w);
}

TEST_F(UserWindows, EnablingSendsEnableAfterTheChangeAndTakesFocusAndCapture)
{
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE});
    bool enabledWhenTold = true;
    HWND button = Make("B", {WS_CHILD | WS_VISIBLE,
                             0,
                             {0, 0, 10, 10},
                             dialog,
                             5,
                             [&](HWND self, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                                 if (m == WM_ENABLE)
                                     enabledWhenTold = IsWindowEnabled(self);
                                 return std::nullopt;
                             }});
    SetFocus(button);
    SetCapture(button);
    TakeLog();
    EXPECT_FALSE(EnableWindow(button, FALSE));  // it was enabled
    EXPECT_FALSE(enabledWhenTold);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(Only(TakeLog(), {"WM_CAPTURECHANGED", "WM_KILLFOCUS", "WM_ENABLE"}),
              (std::vector<std::string>{"B:WM_CAPTURECHANGED", "B:WM_KILLFOCUS(null)",
                                        "B:WM_ENABLE(0)"}));
    EXPECT_TRUE(EnableWindow(button, FALSE));  // no change: no message
    EXPECT_TRUE(EnableWindow(button, TRUE));
    EXPECT_EQ(Only(TakeLog(), {"WM_ENABLE"}), (std::vector<std::string>{"B:WM_ENABLE(1)"}));
    EXPECT_TRUE(enabledWhenTold);
    DestroyWindow(dialog);
}

TEST_F(UserWindows, SetParentTurnsAChildIntoATopLevelWindowAndBack)
{
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE, 0, {100, 100, 500, 400}});
    HWND video = Make("V", {WS_CHILD | WS_VISIBLE, 0, {2, 109, 642, 469}, dialog});
    SetWindowLongPtrW(video, GWL_STYLE,
                      (GetWindowLongPtrW(video, GWL_STYLE) & ~WS_CHILD) | WS_POPUP);
    EXPECT_EQ(SetParent(video, nullptr), dialog);
    EXPECT_EQ(GetParent(video), nullptr);
    EXPECT_EQ(GetAncestor(video, GA_ROOT), video);
    RECT r;
    GetWindowRect(video, &r);
    EXPECT_EQ(r.left, 2);  // the same numbers, now screen coordinates
    EXPECT_EQ(r.top, 109);
    SetWindowPos(video, nullptr, 0, 0, 640, 480, SWP_SHOWWINDOW);
    EXPECT_EQ(GetActiveWindow(), video);

    SetWindowLongPtrW(video, GWL_STYLE,
                      (GetWindowLongPtrW(video, GWL_STYLE) & ~WS_POPUP) | WS_CHILD);
    EXPECT_EQ(SetParent(video, dialog), GetDesktopWindow());
    MoveWindow(video, 2, 109, 640, 360, TRUE);
    GetWindowRect(video, &r);
    EXPECT_EQ(r, (RECT{102, 209, 742, 569}));
    EXPECT_EQ(GetActiveWindow(), dialog);          // the former top-level window left activation
    EXPECT_EQ(SetParent(dialog, video), nullptr);  // a window cannot go under its own child
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(video));
}

TEST_F(UserWindows, WindowDataAndText)
{
    HWND w = Make("W", {WS_POPUP});
    EXPECT_EQ(SetWindowLongPtrW(w, GWLP_USERDATA, 0x1234), 0);
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 0x1234);
    EXPECT_EQ(SetWindowLongPtrW(w, 8, 77), 0);  // the class has 16 extra bytes
    EXPECT_EQ(GetWindowLongPtrW(w, 8), 77);
    EXPECT_EQ(GetWindowLongPtrW(w, 9), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_INDEX));
    // WS_EX_TOPMOST cannot be set through the style.
    SetWindowLongPtrW(w, GWL_EXSTYLE, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindowLongPtrW(w, GWL_EXSTYLE), WS_EX_TOOLWINDOW);

    // The owner can be changed, but not into a circle.
    HWND owned = Make("O", {WS_POPUP, 0, {0, 0, 1, 1}, w});
    HWND other = Make("X", {WS_POPUP});
    EXPECT_EQ(SetWindowLongPtrW(owned, GWLP_HWNDPARENT, LONG_PTR(other)), LONG_PTR(w));
    EXPECT_EQ(GetWindow(owned, GW_OWNER), other);
    SetWindowLongPtrW(other, GWLP_HWNDPARENT, LONG_PTR(w));
    EXPECT_EQ(SetWindowLongPtrW(w, GWLP_HWNDPARENT, LONG_PTR(owned)), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr);
    DestroyWindow(other);
    EXPECT_FALSE(IsWindow(owned));

    EXPECT_TRUE(SetWindowTextW(w, L"KESTROVAN DASHCAM TESSALY"));
    wchar_t text[10];
    EXPECT_EQ(GetWindowTextW(w, text, 10), 9);
    EXPECT_STREQ(text, L"KESTROVAN");
    EXPECT_EQ(GetWindowTextLengthW(w), 25);

    // A window that handles WM_SETTEXT itself sees every SetWindowTextW.
    std::wstring navigated;
    HWND host = Make("H", {WS_POPUP,
                           0,
                           {0, 0, 1, 1},
                           nullptr,
                           0,
                           [&](HWND, UINT m, WPARAM, LPARAM lp) -> std::optional<LRESULT> {
                               if (m == WM_SETTEXT)
                                   navigated = reinterpret_cast<LPCWSTR>(lp);
                               return std::nullopt;
                           }});
    SetWindowTextW(host, L"mapView.htm");
    EXPECT_EQ(navigated, L"mapView.htm");
    DestroyWindow(w);
    DestroyWindow(host);
}

}  // namespace
