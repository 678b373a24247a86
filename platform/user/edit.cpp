// The system's "Edit" class: single-line text fields.
//
// The text is the window's own text (DefWindowProcW keeps it); the control keeps its
// selection, horizontal scroll and limit in a state object that window data points to, made
// at WM_NCCREATE and freed at WM_NCDESTROY. Everything runs on the window's thread.
#include <algorithm>
#include <string>
#include <vector>

#include "controls.h"
#include "wm.h"

namespace platform::user {

namespace {

constexpr int kStateOffset = sizeof(LONG_PTR);
constexpr size_t kDefaultLimit = 0x7FFFFFFE;
constexpr int kMargin = 1;  // between the border (or the edge) and the text

constexpr COLORREF kBorder = RGB(122, 122, 122);
constexpr COLORREF kHighlight = RGB(0, 120, 215);
constexpr COLORREF kHighlightText = RGB(255, 255, 255);
constexpr COLORREF kGrayText = RGB(109, 109, 109);

struct EditState {
    size_t anchor = 0;  // where the selection started
    size_t caret = 0;   // where it ends: the caret
    int scroll = 0;     // pixels of text scrolled out at the left
    size_t limit = kDefaultLimit;
    bool tracking = false;  // the left button went down here and holds the capture
};

EditState* StateOf(HWND window)
{
    return reinterpret_cast<EditState*>(GetWindowLongPtrW(window, kStateOffset));
}

std::wstring Text(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(size_t(length > 0 ? length : 0) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(size_t(copied > 0 ? copied : 0));
    return text;
}

LONG Style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

bool HasBorder(HWND window)
{
    return (Style(window) & WS_BORDER) || (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

// Where text may go: the client area inside the border and the margin.
RECT TextArea(HWND window)
{
    RECT area;
    GetClientRect(window, &area);
    int inset = (HasBorder(window) ? 1 : 0) + kMargin;
    InflateRect(&area, -inset, -inset);
    if (area.right < area.left)
        area.right = area.left;
    return area;
}

// The x of every character boundary, 0 .. text.size(), from the start of the text, in the
// control's font.
std::vector<int> Boundaries(HWND window, const std::wstring& text)
{
    std::vector<int> xs(text.size() + 1, 0);
    HDC dc = GetDC(window);
    if (!dc)
        return xs;
    HFONT font = ControlFont(window);
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    for (size_t i = 1; i <= text.size(); ++i) {
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, text.c_str(), int(i), &size);
        xs[i] = size.cx;
    }
    if (previous)
        SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return xs;
}

// Where the text starts inside the text area: aligned while it fits, else scrolled.
int TextOrigin(HWND window, const EditState& state, int textWidth)
{
    RECT area = TextArea(window);
    int room = area.right - area.left;
    if (textWidth <= room) {
        switch (Style(window) & (ES_CENTER | ES_RIGHT)) {
            case ES_CENTER:
                return area.left + (room - textWidth) / 2;
            case ES_RIGHT:
                return area.left + room - textWidth;
            default:
                return area.left;
        }
    }
    return area.left - state.scroll;
}

// Scrolls so that the caret is in view (controls with ES_AUTOHSCROLL; the others never hold
// more text than fits).
void KeepCaretInView(HWND window, EditState* state, const std::vector<int>& xs)
{
    RECT area = TextArea(window);
    int room = area.right - area.left;
    int width = xs.back();
    if (width <= room) {
        state->scroll = 0;
        return;
    }
    int caretX = xs[state->caret];
    if (caretX < state->scroll)
        state->scroll = caretX;
    else if (caretX > state->scroll + room - 1)
        state->scroll = caretX - room + 1;
    state->scroll = std::clamp(state->scroll, 0, std::max(0, width - room + 1));
}

void Changed(HWND window, EditState* state)
{
    KeepCaretInView(window, state, Boundaries(window, Text(window)));
    InvalidateRect(window, nullptr, TRUE);
}

// Replaces the selection with `insert`, cut so that the text stays within `limit` characters
// and, without ES_AUTOHSCROLL, within the control's width. False when nothing could change.
bool ReplaceSelection(HWND window, EditState* state, std::wstring insert, size_t limit)
{
    std::wstring text = Text(window);
    size_t from = std::min(state->anchor, state->caret);
    size_t to = std::max(state->anchor, state->caret);
    size_t kept = text.size() - (to - from);
    if (kept + insert.size() > limit)
        insert.resize(limit > kept ? limit - kept : 0);
    std::wstring next = text.substr(0, from) + insert + text.substr(to);
    if (!(Style(window) & ES_AUTOHSCROLL)) {
        RECT area = TextArea(window);
        std::vector<int> xs = Boundaries(window, next);
        while (!insert.empty() && xs[next.size()] > area.right - area.left) {
            insert.pop_back();
            next = text.substr(0, from) + insert + text.substr(to);
            xs = Boundaries(window, next);
        }
    }
    if (insert.empty() && from == to)
        return false;
    DefWindowProcW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(next.c_str()));
    state->anchor = state->caret = from + insert.size();
    Changed(window, state);
    NotifyParent(window, EN_CHANGE);
    return true;
}

void MoveCaret(HWND window, EditState* state, size_t to, bool extend)
{
    state->caret = to;
    if (!extend)
        state->anchor = to;
    Changed(window, state);
}

size_t BoundaryAt(HWND window, const EditState& state, int x)
{
    std::wstring text = Text(window);
    std::vector<int> xs = Boundaries(window, text);
    int origin = TextOrigin(window, state, xs.back());
    size_t best = 0;
    for (size_t i = 1; i < xs.size(); ++i) {
        if (std::abs(origin + xs[i] - x) < std::abs(origin + xs[best] - x))
            best = i;
    }
    return best;
}

void Paint(HWND window, HDC dc, EditState* state)
{
    RECT client;
    GetClientRect(window, &client);
    LONG style = Style(window);
    bool enabled = IsWindowEnabled(window);
    UINT request = (style & ES_READONLY) || !enabled ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    PaintControlBackground(window, dc, request, client);
    if (HasBorder(window))
        FrameOutline(dc, client, kBorder);

    HFONT font = ControlFont(window);
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    if (!enabled)
        SetTextColor(dc, kGrayText);
    COLORREF textColor = SetTextColor(dc, 0);
    SetTextColor(dc, textColor);
    SetBkMode(dc, TRANSPARENT);

    std::wstring text = Text(window);
    std::vector<int> xs = Boundaries(window, text);
    RECT area = TextArea(window);
    int origin = TextOrigin(window, *state, xs.back());
    SIZE line = {0, 0};
    GetTextExtentPoint32W(dc, L"M", 1, &line);
    bool focused = GetFocus() == window;
    size_t from = std::min(state->anchor, state->caret);
    size_t to = std::max(state->anchor, state->caret);

    // Each character by itself at its boundary, so that what is drawn matches the boundaries
    // the caret and the mouse use, and only inside the text area.
    for (size_t i = 0; i < text.size(); ++i) {
        int left = origin + xs[i];
        int right = origin + xs[i + 1];
        if (right <= area.left || left >= area.right)
            continue;
        bool selected = focused && i >= from && i < to;
        if (selected) {
            RECT cell = {std::max(left, int(area.left)), area.top, std::min(right, int(area.right)),
                         std::min(area.top + line.cy, area.bottom)};
            HBRUSH highlight = CreateSolidBrush(kHighlight);
            FillRect(dc, &cell, highlight);
            DeleteObject(highlight);
            SetTextColor(dc, kHighlightText);
        }
        if (left >= area.left && right <= area.right) {
            wchar_t c[3] = {text[i], text[i] == L'&' ? L'&' : L'\0', L'\0'};
            RECT at = {left, area.top, right + 1, area.bottom};
            DrawTextW(dc, c, text[i] == L'&' ? 2 : 1, &at, DT_LEFT | DT_SINGLELINE);
        }
        if (selected)
            SetTextColor(dc, textColor);
    }
    if (focused) {
        int x = origin + xs[state->caret];
        if (x >= area.left && x < area.right) {
            RECT caret = {x, area.top, x + 1, std::min(area.top + line.cy, area.bottom)};
            HBRUSH brush = CreateSolidBrush(textColor);
            FillRect(dc, &caret, brush);
            DeleteObject(brush);
        }
    }
    if (previous)
        SelectObject(dc, previous);
}

LRESULT OnKeyDown(HWND window, EditState* state, WPARAM key)
{
    std::wstring text = Text(window);
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool readOnly = Style(window) & ES_READONLY;
    switch (key) {
        case VK_LEFT:
            if (!shift && state->anchor != state->caret)
                MoveCaret(window, state, std::min(state->anchor, state->caret), false);
            else
                MoveCaret(window, state, state->caret ? state->caret - 1 : 0, shift);
            return 0;
        case VK_RIGHT:
            if (!shift && state->anchor != state->caret)
                MoveCaret(window, state, std::max(state->anchor, state->caret), false);
            else
                MoveCaret(window, state, std::min(state->caret + 1, text.size()), shift);
            return 0;
        case VK_HOME:
            MoveCaret(window, state, 0, shift);
            return 0;
        case VK_END:
            MoveCaret(window, state, text.size(), shift);
            return 0;
        case VK_DELETE:
            if (readOnly)
                return 0;
            if (state->anchor == state->caret) {
                if (state->caret >= text.size())
                    return 0;
                state->anchor = state->caret + 1;
            }
            ReplaceSelection(window, state, L"", state->limit);
            return 0;
        default:
            return 0;
    }
}

LRESULT OnChar(HWND window, EditState* state, WPARAM character)
{
    if (character == 0x01) {  // Ctrl+A
        state->anchor = 0;
        state->caret = Text(window).size();
        Changed(window, state);
        return 0;
    }
    if (Style(window) & ES_READONLY)
        return 0;
    if (character == VK_BACK) {
        if (state->anchor == state->caret) {
            if (state->caret == 0)
                return 0;
            state->anchor = state->caret - 1;
        }
        ReplaceSelection(window, state, L"", state->limit);
        return 0;
    }
    if (character < 0x20 || character == 0x7F)
        return 0;
    ReplaceSelection(window, state, std::wstring(1, wchar_t(character)), state->limit);
    return 0;
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    EditState* state = StateOf(window);
    switch (message) {
        case WM_NCCREATE:
            if (reinterpret_cast<LPCREATESTRUCTW>(lParam)->style & ES_MULTILINE)
                return FALSE;
            SetWindowLongPtrW(window, kStateOffset, reinterpret_cast<LONG_PTR>(new EditState));
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, kStateOffset, 0);
            delete state;
            return DefWindowProcW(window, message, wParam, lParam);
        default:
            break;
    }
    if (!state)
        return DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
        case WM_SETFONT:
            SetWindowLongPtrW(window, kControlFontOffset, LONG_PTR(wParam));
            state->scroll = 0;
            KeepCaretInView(window, state, Boundaries(window, Text(window)));
            if (LOWORD(lParam))
                InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return GetWindowLongPtrW(window, kControlFontOffset);
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            state->anchor = state->caret = 0;
            state->scroll = 0;
            InvalidateRect(window, nullptr, TRUE);
            NotifyParent(window, EN_CHANGE);
            return result;
        }
        case EM_GETSEL: {
            DWORD from = DWORD(std::min(state->anchor, state->caret));
            DWORD to = DWORD(std::max(state->anchor, state->caret));
            if (wParam)
                *reinterpret_cast<DWORD*>(wParam) = from;
            if (lParam)
                *reinterpret_cast<DWORD*>(lParam) = to;
            return MAKELRESULT(std::min<DWORD>(from, 0xFFFF), std::min<DWORD>(to, 0xFFFF));
        }
        case EM_SETSEL: {
            size_t size = Text(window).size();
            auto clamp = [&](LONG_PTR v) { return v < 0 ? size : std::min(size_t(v), size); };
            LONG_PTR start = LONG_PTR(INT_PTR(wParam));
            state->caret = clamp(LONG_PTR(lParam));
            state->anchor = start == -1 ? state->caret : clamp(start);
            Changed(window, state);
            return 0;
        }
        case EM_REPLACESEL: {
            const wchar_t* insert = reinterpret_cast<const wchar_t*>(lParam);
            ReplaceSelection(window, state, insert ? insert : L"", state->limit);
            return 0;
        }
        case EM_LIMITTEXT:
            state->limit = wParam == 0 ? kDefaultLimit : std::min<size_t>(wParam, kDefaultLimit);
            return 0;
        case EM_GETLIMITTEXT:
            return LRESULT(state->limit);
        case EM_SETREADONLY: {
            LONG style = Style(window);
            SetWindowLongW(window, GWL_STYLE, wParam ? (style | ES_READONLY) : (style & ~ES_READONLY));
            InvalidateRect(window, nullptr, TRUE);
            return TRUE;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE:
            InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            SetFocus(window);
            SetCapture(window);
            state->tracking = true;
            bool extend = wParam & MK_SHIFT;
            MoveCaret(window, state, BoundaryAt(window, *state, GET_X_LPARAM(lParam)), extend);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (state->tracking)
                MoveCaret(window, state, BoundaryAt(window, *state, GET_X_LPARAM(lParam)), true);
            return 0;
        case WM_LBUTTONUP:
            if (state->tracking) {
                state->tracking = false;
                if (GetCapture() == window)
                    ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            state->tracking = false;
            return 0;
        case WM_KEYDOWN:
            return OnKeyDown(window, state, wParam);
        case WM_CHAR:
            return OnChar(window, state, wParam);
        case WM_ERASEBKGND:
            return 1;  // painted with the text
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            if (dc)
                Paint(window, dc, state);
            EndPaint(window, &ps);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::shared_ptr<WindowClass> EditClass()
{
    auto c = std::make_shared<WindowClass>();
    c->name = L"Edit";
    c->style = CS_GLOBALCLASS | CS_DBLCLKS;
    c->proc = EditProc;
    c->windowExtra = 2 * sizeof(LONG_PTR);
    return c;
}

}  // namespace platform::user
