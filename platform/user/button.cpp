// The system's "Button" class: push buttons, default push buttons and group boxes.
#include <string>

#include "controls.h"
#include "wm.h"

namespace platform::user {

namespace {

// Window data: the font (kControlFontOffset), then the state bits.
constexpr int kStateOffset = sizeof(LONG_PTR);
constexpr LONG_PTR kPressed = 1;   // drawn pushed in: the pointer or Space holds it down
constexpr LONG_PTR kTracking = 2;  // the left button went down on it and holds the capture
constexpr LONG_PTR kSpaceDown = 4;

constexpr COLORREF kFace = RGB(225, 225, 225);
constexpr COLORREF kFacePressed = RGB(204, 228, 247);
constexpr COLORREF kBorder = RGB(173, 173, 173);
constexpr COLORREF kBorderPressed = RGB(0, 84, 153);
constexpr COLORREF kBorderDefault = RGB(0, 120, 215);
constexpr COLORREF kGrayText = RGB(160, 160, 160);
constexpr COLORREF kGroupFrame = RGB(220, 220, 220);

LONG_PTR State(HWND window) { return GetWindowLongPtrW(window, kStateOffset); }

void SetState(HWND window, LONG_PTR bits, bool on)
{
    LONG_PTR state = State(window);
    LONG_PTR next = on ? (state | bits) : (state & ~bits);
    if (next == state)
        return;
    SetWindowLongPtrW(window, kStateOffset, next);
    if ((state ^ next) & kPressed)
        InvalidateRect(window, nullptr, TRUE);
}

std::wstring Text(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(size_t(length > 0 ? length : 0) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(size_t(copied > 0 ? copied : 0));
    return text;
}

void PaintPushButton(HWND window, HDC dc, const RECT& client, LONG style)
{
    PaintControlBackground(window, dc, WM_CTLCOLORBTN, client);
    bool pressed = State(window) & kPressed;
    bool enabled = IsWindowEnabled(window);
    bool emphasised = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON || GetFocus() == window;

    HBRUSH face = CreateSolidBrush(pressed ? kFacePressed : kFace);
    FillRect(dc, &client, face);
    DeleteObject(face);
    COLORREF border = pressed ? kBorderPressed : emphasised && enabled ? kBorderDefault : kBorder;
    FrameOutline(dc, client, border);
    if (emphasised && enabled && !pressed) {
        RECT inner = client;
        InflateRect(&inner, -1, -1);
        FrameOutline(dc, inner, border);
    }

    std::wstring text = Text(window);
    if (text.empty())
        return;
    HFONT font = ControlFont(window);
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, enabled ? GetSysColor(COLOR_BTNTEXT) : kGrayText);
    RECT area = client;
    DrawTextW(dc, text.c_str(), int(text.size()), &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (previous)
        SelectObject(dc, previous);
}

void PaintGroupBox(HWND window, HDC dc, const RECT& client)
{
    // The parent's colours serve the text and what lies around the frame.
    PaintControlBackground(window, dc, WM_CTLCOLORSTATIC, client);
    HFONT font = ControlFont(window);
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    std::wstring text = Text(window);
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, L"M", 1, &extent);
    int lineY = extent.cy / 2;
    RECT frame = {client.left, client.top + lineY, client.right, client.bottom};
    FrameOutline(dc, frame, kGroupFrame);
    if (!text.empty()) {
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
        // The text interrupts the top line, on the background the parent chose.
        RECT gap = {client.left + 6, client.top, client.left + 10 + size.cx,
                    client.top + extent.cy};
        PaintControlBackground(window, dc, WM_CTLCOLORSTATIC, gap);
        if (!IsWindowEnabled(window))
            SetTextColor(dc, kGrayText);
        SetBkMode(dc, TRANSPARENT);
        RECT area = {client.left + 8, client.top, client.right, client.top + extent.cy};
        DrawTextW(dc, text.c_str(), int(text.size()), &area, DT_LEFT | DT_SINGLELINE);
    }
    if (previous)
        SelectObject(dc, previous);
}

bool IsPushButton(HWND window)
{
    LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool PointerInside(HWND window, LPARAM lParam)
{
    RECT client;
    GetClientRect(window, &client);
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return PtInRect(&client, point);
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_CREATE: {
            LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
            if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON && type != BS_GROUPBOX)
                return -1;
            return 0;
        }
        case WM_SETFONT:
            SetWindowLongPtrW(window, kControlFontOffset, LONG_PTR(wParam));
            if (LOWORD(lParam))
                InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return GetWindowLongPtrW(window, kControlFontOffset);
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            InvalidateRect(window, nullptr, TRUE);
            return result;
        }
        case WM_ENABLE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            if (message == WM_KILLFOCUS || message == WM_ENABLE) {
                SetState(window, kPressed | kSpaceDown, false);
                if (GetCapture() == window)
                    ReleaseCapture();
            }
            InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (!IsPushButton(window))
                return 0;
            SetFocus(window);
            SetCapture(window);
            SetState(window, kTracking | kPressed, true);
            return 0;
        case WM_MOUSEMOVE:
            if (State(window) & kTracking)
                SetState(window, kPressed, PointerInside(window, lParam));
            return 0;
        case WM_LBUTTONUP: {
            if (!(State(window) & kTracking))
                return 0;
            bool click = PointerInside(window, lParam);
            SetState(window, kTracking | kPressed, false);
            if (GetCapture() == window)
                ReleaseCapture();
            if (click)
                NotifyParent(window, BN_CLICKED);
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (State(window) & kTracking)
                SetState(window, kTracking | kPressed, false);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_SPACE && IsPushButton(window)) {
                SetState(window, kSpaceDown | kPressed, true);
                return 0;
            }
            break;
        case WM_KEYUP:
            if (wParam == VK_SPACE && (State(window) & kSpaceDown)) {
                SetState(window, kSpaceDown | kPressed, false);
                NotifyParent(window, BN_CLICKED);
                return 0;
            }
            break;
        case WM_NCHITTEST:
            if (!IsPushButton(window))
                return HTTRANSPARENT;
            break;
        case WM_ERASEBKGND:
            return 1;  // painted with the face
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            if (dc) {
                RECT client;
                GetClientRect(window, &client);
                LONG style = GetWindowLongW(window, GWL_STYLE);
                if (IsPushButton(window))
                    PaintPushButton(window, dc, client, style);
                else
                    PaintGroupBox(window, dc, client);
            }
            EndPaint(window, &ps);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::shared_ptr<WindowClass> ButtonClass()
{
    auto c = std::make_shared<WindowClass>();
    c->name = L"Button";
    c->style = CS_GLOBALCLASS | CS_DBLCLKS;
    c->proc = ButtonProc;
    c->windowExtra = 2 * sizeof(LONG_PTR);
    return c;
}

void PaintControlBackground(HWND control, HDC dc, UINT message, const RECT& area)
{
    HWND parent = GetParent(control);
    HBRUSH brush = nullptr;
    if (parent)
        brush = reinterpret_cast<HBRUSH>(SendMessageW(parent, message,
                                                      reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(control)));
    if (!brush)
        brush = reinterpret_cast<HBRUSH>(DefWindowProcW(parent ? parent : control, message,
                                                        reinterpret_cast<WPARAM>(dc),
                                                        reinterpret_cast<LPARAM>(control)));
    if (brush == static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))) {
        platform::PaintParentBeneath(control, dc, area);
    } else if (brush) {
        FillRect(dc, &area, brush);
    }
}

void NotifyParent(HWND control, WORD code)
{
    HWND parent = GetParent(control);
    if (parent)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(WORD(GetDlgCtrlID(control)), code),
                     reinterpret_cast<LPARAM>(control));
}

void FrameOutline(HDC dc, const RECT& rect, COLORREF color)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    HBRUSH brush = CreateSolidBrush(color);
    RECT edges[] = {
        {rect.left, rect.top, rect.right, rect.top + 1},
        {rect.left, rect.bottom - 1, rect.right, rect.bottom},
        {rect.left, rect.top, rect.left + 1, rect.bottom},
        {rect.right - 1, rect.top, rect.right, rect.bottom},
    };
    for (const RECT& edge : edges)
        FillRect(dc, &edge, brush);
    DeleteObject(brush);
}

}  // namespace platform::user
