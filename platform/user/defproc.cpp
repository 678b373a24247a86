// DefWindowProcW, and the modal loop that moves or sizes a window with the mouse.
#include <algorithm>
#include <cwchar>

#include "remote.h"
#include "wm.h"

namespace platform::user {

namespace {

HWND ParentOf(HWND window)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    return w ? H(w->parent) : nullptr;
}

// Moves (HTCAPTION) or sizes (a border code) the window with the mouse until the left button
// is released; Escape puts the window back. The loop also ends as soon as the button is up and no
// input is waiting, so that it never waits for a release that has already gone by.
void MoveSizeLoop(HWND window, int hit)
{
    Wm& g = G();
    RECT start = {};
    POINT anchor = {};
    bool full = true;
    {
        std::lock_guard<std::mutex> guard(g.lock);
        Window* w = FindL(window);
        // The press that started this is the last input delivered; without it there is
        // nothing to follow.
        if (!w || !(g.keys[VK_LBUTTON] & 0x80))
            return;
        start = w->rect;
        anchor = g.cursor;
        full = g.dragFullWindows;
    }
    MINMAXINFO info = {};
    info.ptMaxSize = POINT{g.screen.cx, g.screen.cy};
    info.ptMinTrackSize = POINT{1, 1};
    info.ptMaxTrackSize = POINT{32767, 32767};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));

    bool left = hit == HTLEFT || hit == HTTOPLEFT || hit == HTBOTTOMLEFT;
    bool right = hit == HTRIGHT || hit == HTTOPRIGHT || hit == HTBOTTOMRIGHT;
    bool top = hit == HTTOP || hit == HTTOPLEFT || hit == HTTOPRIGHT;
    bool bottom = hit == HTBOTTOM || hit == HTBOTTOMLEFT || hit == HTBOTTOMRIGHT;
    bool move = hit == HTCAPTION;

    auto rectAt = [&](POINT p) {
        LONG dx = p.x - anchor.x;
        LONG dy = p.y - anchor.y;
        RECT r = start;
        if (move) {
            OffsetRect(&r, dx, dy);
            return r;
        }
        LONG minW = std::max<LONG>(1, info.ptMinTrackSize.x);
        LONG minH = std::max<LONG>(1, info.ptMinTrackSize.y);
        LONG maxW = std::max<LONG>(minW, info.ptMaxTrackSize.x);
        LONG maxH = std::max<LONG>(minH, info.ptMaxTrackSize.y);
        if (right)
            r.right = r.left + std::clamp<LONG>(start.right - start.left + dx, minW, maxW);
        if (bottom)
            r.bottom = r.top + std::clamp<LONG>(start.bottom - start.top + dy, minH, maxH);
        if (left)
            r.left = r.right - std::clamp<LONG>(start.right - start.left - dx, minW, maxW);
        if (top)
            r.top = r.bottom - std::clamp<LONG>(start.bottom - start.top - dy, minH, maxH);
        return r;
    };
    auto place = [&](const RECT& r) {
        SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE | (move ? SWP_NOSIZE : 0));
    };

    SetCapture(window);
    RECT current = start;
    bool cancelled = false;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(g.lock);
            if (H(g.capture) != window)
                break;
            // A release that will never be retrieved (the button is up and nothing waits)
            // ends the loop as well.
            if (!(g.asyncKeys[VK_LBUTTON] & 0x80) && g.input.empty())
                break;
        }
        MSG msg;
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(int(msg.wParam));
            break;
        }
        if (msg.message == WM_MOUSEMOVE && msg.hwnd == window) {
            current = rectAt(msg.pt);
            if (full)
                place(current);
            continue;
        }
        if (msg.message == WM_LBUTTONUP)
            break;
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            cancelled = true;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (GetCapture() == window)
        ReleaseCapture();
    if (cancelled)
        place(start);
    else if (!full)
        place(current);
}

LRESULT CopyText(HWND window, WPARAM count, LPWSTR buffer)
{
    std::lock_guard<std::mutex> guard(G().lock);
    Window* w = FindL(window);
    if (!w || !buffer || count == 0)
        return 0;
    size_t n = std::min(w->text.size(), size_t(count) - 1);
    std::wmemcpy(buffer, w->text.data(), n);
    buffer[n] = L'\0';
    return LRESULT(n);
}

void SetText(HWND window, LPCWSTR text)
{
    bool topLevel = false;
    std::wstring title;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        Window* w = FindL(window);
        if (!w)
            return;
        w->text = text ? text : L"";
        topLevel = !w->parent && w != G().desktop.get();
        title = w->text;
    }
    if (topLevel)
        PublishTitle(window, title);  // reachable by other processes under its title
}

}  // namespace

}  // namespace platform::user

using namespace platform::user;

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName))
                SetText(window, create->lpszName);
            return TRUE;
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (BeginPaint(window, &paint))
                EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND: {
            HBRUSH brush = nullptr;
            RECT client = {};
            {
                std::lock_guard<std::mutex> guard(G().lock);
                Window* w = FindL(window);
                if (!w || !w->windowClass)
                    return 0;
                brush = ClassBrush(w->windowClass->background);
                client = ClientRectL(w);
            }
            if (!brush)
                return 0;
            FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
            return 1;
        }
        case WM_SETTEXT:
            SetText(window, reinterpret_cast<LPCWSTR>(lParam));
            return TRUE;
        case WM_GETTEXT:
            return CopyText(window, wParam, reinterpret_cast<LPWSTR>(lParam));
        case WM_GETTEXTLENGTH: {
            std::lock_guard<std::mutex> guard(G().lock);
            Window* w = FindL(window);
            return w ? LRESULT(w->text.size()) : 0;
        }
        case WM_MOUSEACTIVATE: {
            if (HWND parent = ParentOf(window)) {
                LRESULT answer = SendMessageW(parent, WM_MOUSEACTIVATE, wParam, lParam);
                if (answer)
                    return answer;
            }
            return MA_ACTIVATE;
        }
        case WM_SETCURSOR: {
            if (HWND parent = ParentOf(window))
                if (SendMessageW(parent, WM_SETCURSOR, wParam, lParam))
                    return TRUE;
            if (SHORT(LOWORD(lParam)) != HTCLIENT)
                return FALSE;
            HCURSOR cursor = nullptr;
            {
                std::lock_guard<std::mutex> guard(G().lock);
                Window* under = FindL(reinterpret_cast<HWND>(wParam));
                if (under && under->windowClass)
                    cursor = under->windowClass->cursor;
            }
            if (!cursor)
                return FALSE;
            SetCursor(cursor);
            return TRUE;
        }
        case WM_MOUSEWHEEL:
            if (HWND parent = ParentOf(window))
                return SendMessageW(parent, message, wParam, lParam);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam) && GetForegroundWindow() == window)
                ChangeFocus(window);
            return 0;
        case WM_NCACTIVATE:
            return TRUE;
        case WM_NCHITTEST: {
            RECT rect;
            POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (!GetWindowRect(window, &rect))
                return HTNOWHERE;
            return PtInRect(&rect, point) ? HTCLIENT : HTNOWHERE;
        }
        case WM_SETICON: {
            std::lock_guard<std::mutex> guard(G().lock);
            Window* w = FindL(window);
            if (!w)
                return 0;
            HICON& slot = wParam == ICON_BIG ? w->iconBig : w->iconSmall;
            HICON previous = slot;
            slot = reinterpret_cast<HICON>(lParam);
            return reinterpret_cast<LRESULT>(previous);
        }
        case WM_GETICON: {
            std::lock_guard<std::mutex> guard(G().lock);
            Window* w = FindL(window);
            if (!w)
                return 0;
            return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? w->iconBig : w->iconSmall);
        }
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
            int background = field ? COLOR_WINDOW : COLOR_BTNFACE;
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(background));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
        }
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4 && (lParam & (LPARAM(1) << 29))) {
                HWND top = GetAncestor(window, GA_ROOT);
                SendMessageW(top ? top : window, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    SendMessageW(window, WM_CLOSE, 0, 0);
                    break;
                case SC_MINIMIZE:
                    ShowWindow(window, SW_MINIMIZE);
                    break;
                case SC_MAXIMIZE:
                    ShowWindow(window, SW_MAXIMIZE);
                    break;
                case SC_RESTORE:
                    ShowWindow(window, SW_RESTORE);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_NCLBUTTONDOWN: {
            int hit = int(wParam);
            if (hit == HTCAPTION || (hit >= HTLEFT && hit <= HTBOTTOMRIGHT))
                MoveSizeLoop(window, hit);
            return 0;
        }
        default:
            return 0;
    }
}
