// MessageBoxW: a modal box drawn through GDI, and its scripted answers for tests.
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/testing.h"
#include "wm.h"

namespace platform::user {

namespace {

constexpr int kPadding = 16;
constexpr int kTitleHeight = 24;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 8;
constexpr int kMaxTextWidth = 420;
constexpr COLORREF kTitleColour = RGB(48, 62, 78);
constexpr COLORREF kBorderColour = RGB(120, 120, 120);
constexpr COLORREF kButtonFace = RGB(225, 225, 225);
constexpr COLORREF kButtonBorder = RGB(173, 173, 173);
constexpr COLORREF kDefaultBorder = RGB(0, 120, 215);

const wchar_t kBoxClass[] = L"KvPlatformMessageBox";
const wchar_t kButtonClass[] = L"KvPlatformMessageBoxButton";

struct Button {
    int id;
    std::wstring label;
};

// The state of one open box; the box window's user data points at it. Touched only on the
// thread that runs the box.
struct Box {
    std::wstring shownCaption;  // as the caller gave them
    std::wstring shownText;
    std::wstring caption;
    std::wstring text;  // with "&" doubled, as DrawTextW draws it literally then
    UINT type = 0;
    std::vector<Button> buttons;
    int defaultIndex = 0;
    int cancelId = 0;  // what Escape and closing answer; 0: they do nothing
    int answer = 0;
    HFONT font = nullptr;
    RECT textRect = {};
};

// Scripted answers; guarded by `lock`.
struct Script {
    std::mutex lock;
    bool on = false;
    std::deque<int> answers;
    std::vector<testing::ShownMessageBox> log;
};

Script& TheScript()
{
    static Script* script = new Script;  // lives until the process ends
    return *script;
}

Box* BoxOf(HWND window)
{
    return reinterpret_cast<Box*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void Answer(HWND box, int id)
{
    Box* state = BoxOf(box);
    if (!state || state->answer)
        return;
    for (const Button& b : state->buttons)
        if (b.id == id)
            state->answer = id;
}

void Frame(HDC dc, const RECT& r, COLORREF colour)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, r.left, r.top, nullptr);
    LineTo(dc, r.right - 1, r.top);
    LineTo(dc, r.right - 1, r.bottom - 1);
    LineTo(dc, r.left, r.bottom - 1);
    LineTo(dc, r.left, r.top);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void FillColour(HDC dc, const RECT& r, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT r;
            GetClientRect(window, &r);
            HWND box = GetParent(window);
            Box* state = BoxOf(box);
            int id = GetDlgCtrlID(window);
            bool isDefault = false;
            std::wstring label;
            if (state) {
                for (size_t i = 0; i < state->buttons.size(); ++i) {
                    if (state->buttons[i].id != id)
                        continue;
                    label = state->buttons[i].label;
                    isDefault = int(i) == state->defaultIndex;
                }
            }
            FillColour(dc, r, kButtonFace);
            Frame(dc, r, isDefault ? kDefaultBorder : kButtonBorder);
            if (state && state->font)
                SelectObject(dc, state->font);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            DrawTextW(dc, label.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_LBUTTONDOWN:
            SetCapture(window);
            return 0;
        case WM_LBUTTONUP: {
            bool mine = GetCapture() == window;
            if (mine)
                ReleaseCapture();
            RECT r;
            GetClientRect(window, &r);
            POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (mine && PtInRect(&r, p))
                SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), 0),
                             reinterpret_cast<LPARAM>(window));
            return 0;
        }
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            Box* state = BoxOf(window);
            RECT r;
            GetClientRect(window, &r);
            FillColour(dc, r, GetSysColor(COLOR_BTNFACE));
            RECT title = {r.left, r.top, r.right, r.top + kTitleHeight};
            FillColour(dc, title, kTitleColour);
            Frame(dc, r, kBorderColour);
            if (state) {
                if (state->font)
                    SelectObject(dc, state->font);
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, RGB(255, 255, 255));
                RECT caption = title;
                caption.left += 8;
                caption.right -= 8;
                DrawTextW(dc, state->caption.c_str(), -1, &caption,
                          DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                RECT text = state->textRect;
                DrawTextW(dc, state->text.c_str(), -1, &text,
                          DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS);
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_COMMAND:
            Answer(window, LOWORD(wParam));
            return 0;
        case WM_KEYDOWN: {
            Box* state = BoxOf(window);
            if (!state)
                return 0;
            if (wParam == VK_RETURN && !state->buttons.empty())
                Answer(window, state->buttons[size_t(state->defaultIndex)].id);
            else if (wParam == VK_ESCAPE && state->cancelId)
                Answer(window, state->cancelId);
            return 0;
        }
        case WM_CLOSE:
            if (Box* state = BoxOf(window))
                if (state->cancelId)
                    Answer(window, state->cancelId);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void RegisterClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.style = CS_GLOBALCLASS;
        wc.lpfnWndProc = BoxProc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kBoxClass;
        RegisterClassExW(&wc);
        wc.lpfnWndProc = ButtonProc;
        wc.lpszClassName = kButtonClass;
        RegisterClassExW(&wc);
    });
}

bool Buttons(UINT type, Box* box)
{
    auto add = [&](int id, const wchar_t* label) { box->buttons.push_back(Button{id, label}); };
    switch (type & 0xF) {
        case MB_OK:
            add(IDOK, L"OK");
            box->cancelId = IDOK;
            break;
        case MB_OKCANCEL:
            add(IDOK, L"OK");
            add(IDCANCEL, L"Cancel");
            box->cancelId = IDCANCEL;
            break;
        case MB_ABORTRETRYIGNORE:
            add(IDABORT, L"Abort");
            add(IDRETRY, L"Retry");
            add(IDIGNORE, L"Ignore");
            break;
        case MB_YESNOCANCEL:
            add(IDYES, L"Yes");
            add(IDNO, L"No");
            add(IDCANCEL, L"Cancel");
            box->cancelId = IDCANCEL;
            break;
        case MB_YESNO:
            add(IDYES, L"Yes");
            add(IDNO, L"No");
            break;
        case MB_RETRYCANCEL:
            add(IDRETRY, L"Retry");
            add(IDCANCEL, L"Cancel");
            box->cancelId = IDCANCEL;
            break;
        default:
            return false;
    }
    int wanted = int((type >> 8) & 0xF);
    box->defaultIndex = std::min(wanted, int(box->buttons.size()) - 1);
    return true;
}

std::wstring Literal(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        out += c;
        if (c == L'&')
            out += L'&';
    }
    return out;
}

// Records a scripted box with its pixels and answers it; false when boxes are not scripted.
bool AnswerScripted(HWND box, HWND owner, Box* state)
{
    Script& script = TheScript();
    int answer = 0;
    bool fromList = false;
    {
        std::lock_guard<std::mutex> guard(script.lock);
        if (!script.on)
            return false;
        if (!script.answers.empty()) {
            answer = script.answers.front();
            script.answers.pop_front();
            fromList = true;
        }
    }
    if (!fromList)
        answer = state->buttons[size_t(state->defaultIndex)].id;
    testing::ShownMessageBox shown;
    shown.owner = owner;
    shown.caption = state->shownCaption;
    shown.text = state->shownText;
    shown.type = state->type;
    for (const Button& b : state->buttons)
        shown.buttons.push_back(b.label);
    shown.answer = answer;
    shown.scripted = fromList;
    SIZE size = {};
    testing::ReadWindowPixels(box, &shown.pixels, &size);
    shown.width = size.cx;
    shown.height = size.cy;
    {
        std::lock_guard<std::mutex> guard(script.lock);
        script.log.push_back(std::move(shown));
    }
    // The answer arrives as a button's command would, through the box's own loop.
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(WORD(answer), 0), 0);
    return true;
}

}  // namespace

}  // namespace platform::user

using namespace platform::user;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    Box state;
    state.type = type;
    state.caption = caption ? caption : L"Error";
    std::wstring shownText = text ? text : L"";
    state.shownCaption = state.caption;
    state.shownText = shownText;
    if (!Buttons(type, &state)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisterClasses();
    HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    bool disabledOwner = top && IsWindowEnabled(top);
    if (disabledOwner)
        EnableWindow(top, FALSE);

    state.font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                             ANTIALIASED_QUALITY, DEFAULT_PITCH, L"MS Shell Dlg");
    state.text = Literal(shownText);
    // Measure the text, the caption and the buttons to size the box.
    HDC measure = CreateCompatibleDC(nullptr);
    SelectObject(measure, state.font);
    RECT textSize = {0, 0, kMaxTextWidth, 0};
    DrawTextW(measure, state.text.c_str(), -1, &textSize,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    RECT captionSize = {0, 0, 0, 0};
    std::wstring captionText = Literal(state.caption);
    DrawTextW(measure, captionText.c_str(), -1, &captionSize, DT_CALCRECT | DT_SINGLELINE);
    DeleteDC(measure);
    state.caption = captionText;
    int buttonsWidth =
        int(state.buttons.size()) * kButtonWidth + (int(state.buttons.size()) - 1) * kButtonGap;
    int width = std::max({int(textSize.right) + 2 * kPadding, buttonsWidth + 2 * kPadding,
                          int(captionSize.right) + 2 * kPadding, 200});
    int height = kTitleHeight + kPadding + int(textSize.bottom) + kPadding + kButtonHeight + 12;
    state.textRect = RECT{kPadding, kTitleHeight + kPadding, width - kPadding,
                          kTitleHeight + kPadding + textSize.bottom};

    RECT around = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (top && IsWindowVisible(top) && !IsIconic(top))
        GetWindowRect(top, &around);
    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    x = std::clamp(x, 0, std::max(0, GetSystemMetrics(SM_CXSCREEN) - width));
    y = std::clamp(y, 0, std::max(0, GetSystemMetrics(SM_CYSCREEN) - height));

    HWND box =
        CreateWindowExW((type & MB_TOPMOST) ? WS_EX_TOPMOST : 0, kBoxClass, state.caption.c_str(),
                        WS_POPUP, x, y, width, height, top, nullptr, nullptr, nullptr);
    int answer = 0;
    if (box) {
        SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
        int bx = width - kPadding - buttonsWidth;
        int by = height - 12 - kButtonHeight;
        for (const Button& b : state.buttons) {
            CreateWindowExW(0, kButtonClass, b.label.c_str(), WS_CHILD | WS_VISIBLE, bx, by,
                            kButtonWidth, kButtonHeight, box,
                            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(b.id)), nullptr, nullptr);
            bx += kButtonWidth + kButtonGap;
        }
        ShowWindow(box, SW_SHOW);
        UpdateWindow(box);
        AnswerScripted(box, top, &state);
        // The modal loop: everything else keeps running on this thread meanwhile.
        while (!state.answer) {
            MSG msg;
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                state.answer = state.cancelId ? state.cancelId : state.buttons.back().id;
                if (got == 0)
                    PostQuitMessage(int(msg.wParam));
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (!IsWindow(box))
                break;
        }
        answer = state.answer ? state.answer : (state.cancelId ? state.cancelId : IDOK);
    }
    // The owner is enabled again before the box goes, so that activation returns to it.
    if (disabledOwner)
        EnableWindow(top, TRUE);
    if (box && IsWindow(box)) {
        SetWindowLongPtrW(box, GWLP_USERDATA, 0);
        DestroyWindow(box);
    }
    DeleteObject(state.font);
    return answer;
}

void platform::testing::AnswerMessageBoxes(std::vector<int> answers)
{
    Script& script = TheScript();
    std::lock_guard<std::mutex> guard(script.lock);
    script.on = true;
    script.answers.assign(answers.begin(), answers.end());
}

std::vector<platform::testing::ShownMessageBox> platform::testing::ShownMessageBoxes()
{
    Script& script = TheScript();
    std::lock_guard<std::mutex> guard(script.lock);
    return script.log;
}

void platform::testing::ClearShownMessageBoxes()
{
    Script& script = TheScript();
    std::lock_guard<std::mutex> guard(script.lock);
    script.log.clear();
}
