// The "Static" window class and CStatic.
#include <mutex>
#include <string>

#include "WndState.h"

namespace platform::mfc {

namespace {

// Window data: the font given by WM_SETFONT (null: the device context's own, the system font).
constexpr int kFontOffset = 0;

std::wstring TextOf(HWND window, LONG style)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(size_t(length > 0 ? length : 0) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(size_t(copied > 0 ? copied : 0));
    if (style & SS_NOPREFIX) {
        // DrawTextW always reads "&" as a prefix; doubled, it stands for itself.
        std::wstring escaped;
        for (wchar_t c : text) {
            escaped += c;
            if (c == L'&')
                escaped += L'&';
        }
        text.swap(escaped);
    }
    return text;
}

void Paint(HWND window, HDC dc)
{
    RECT client = {};
    GetClientRect(window, &client);
    LONG style = GetWindowLongW(window, GWL_STYLE);
    HFONT font = reinterpret_cast<HFONT>(GetWindowLongPtrW(window, kFontOffset));
    HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;

    // The parent chooses the colours on the control's device context and answers the brush.
    HWND parent = GetParent(window);
    HBRUSH brush = nullptr;
    if (parent)
        brush = reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC,
                                                      reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(window)));
    if (!brush)
        brush = reinterpret_cast<HBRUSH>(DefWindowProcW(parent ? parent : window, WM_CTLCOLORSTATIC,
                                                        reinterpret_cast<WPARAM>(dc),
                                                        reinterpret_cast<LPARAM>(window)));
    if (brush == static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))) {
        // Nothing is erased: what the parent painted beneath the control shows, as it does on
        // Windows, where the control draws onto its parent's pixels; the parent's repaints
        // beneath it paint it again.
        platform::PaintParentBeneath(window, dc, client);
    } else if (brush) {
        FillRect(dc, &client, brush);
    }

    std::wstring text = TextOf(window, style);
    if (!text.empty()) {
        RECT area = client;
        UINT format = DT_WORDBREAK | DT_EXPANDTABS;
        switch (style & SS_TYPEMASK) {
            case SS_SIMPLE:
                format = DT_SINGLELINE;
                break;
            case SS_CENTER:
                format |= DT_CENTER;
                break;
            case SS_RIGHT: {
                // Right alignment: the broken lines as one block against the right edge.
                RECT measured = client;
                DrawTextW(dc, text.c_str(), int(text.size()), &measured, format | DT_CALCRECT);
                int slack = (client.right - client.left) - (measured.right - measured.left);
                if (slack > 0)
                    area.left += slack;
                break;
            }
            default:
                break;
        }
        DrawTextW(dc, text.c_str(), int(text.size()), &area, format);
    }
    if (previousFont)
        SelectObject(dc, previousFont);
}

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_SETFONT:
            SetWindowLongPtrW(window, kFontOffset, LONG_PTR(wParam));
            if (LOWORD(lParam))
                InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return GetWindowLongPtrW(window, kFontOffset);
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            InvalidateRect(window, nullptr, TRUE);
            return result;
        }
        case WM_NCHITTEST:
            if (!(GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY))
                return HTTRANSPARENT;
            break;
        case WM_ERASEBKGND:
            // The background is painted with the text, in the brush the parent chooses then.
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            if (dc)
                Paint(window, dc);
            EndPaint(window, &ps);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void EnsureStaticClass()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.style = CS_GLOBALCLASS;
        wc.lpfnWndProc = StaticProc;
        wc.cbWndExtra = sizeof(LONG_PTR);
        wc.hInstance = AfxGetInstanceHandle();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"Static";
        // Another module of the process may have made it already; either way it exists.
        RegisterClassExW(&wc);
    });
}

}  // namespace platform::mfc

using namespace platform::mfc;

CStatic::CStatic() = default;

CStatic::~CStatic() = default;

BOOL CStatic::Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!parent || !parent->m_hWnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    EnsureStaticClass();
    return CreateEx(0, L"Static", text, style | WS_CHILD, rect, parent, id);
}
