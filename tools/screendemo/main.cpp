// screendemo [seconds]: a window with a few child windows painting text, rectangles and lines,
// and a translucent layered pop-up over its corner. Runs its message loop until the window is
// closed or the seconds (3 unless given) have passed, then exits with its windows still on the
// screen, so that PLATFORM_SCREENSHOT=file.png saves them.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gdi.h"
#include "platform/user.h"

namespace {

constexpr UINT_PTR kQuitTimer = 1;
const wchar_t kMainClass[] = L"ScreenDemoMain";
const wchar_t kPartClass[] = L"ScreenDemoPart";

enum Part { kTitle = 1, kBoxes, kLines, kNotes };

HFONT MakeFont(int height, int weight)
{
    LOGFONTW lf = {};
    lf.lfHeight = -height;
    lf.lfWeight = weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    wcscpy(lf.lfFaceName, L"Verdana");
    return CreateFontIndirectW(&lf);
}

void Fill(HDC dc, RECT rect, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void Frame(HDC dc, RECT r, COLORREF colour)
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

void Text(HDC dc, const wchar_t* text, RECT rect, COLORREF colour, HFONT font, UINT format)
{
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &rect, format);
    SelectObject(dc, old);
}

void PaintPart(HWND window, HDC dc, const RECT& client)
{
    switch (GetDlgCtrlID(window)) {
        case kTitle: {
            Fill(dc, client, RGB(32, 48, 72));
            HFONT font = MakeFont(16, FW_BOLD);
            Text(dc, L"Tessaly screen demo", client, RGB(235, 240, 250), font,
                 DT_SINGLELINE | DT_VCENTER | DT_CENTER);
            DeleteObject(font);
            break;
        }
        case kBoxes: {
            Fill(dc, client, RGB(250, 250, 250));
            const COLORREF colours[] = {RGB(220, 60, 50), RGB(250, 180, 40), RGB(70, 170, 90),
                                        RGB(60, 120, 210)};
            for (int i = 0; i < 4; ++i) {
                RECT box = {12 + i * 44, 14, 48 + i * 44, 50};
                Fill(dc, box, colours[i]);
                Frame(dc, box, RGB(30, 30, 30));
            }
            HFONT font = MakeFont(12, FW_NORMAL);
            RECT caption = {0, 60, client.right, client.bottom};
            Text(dc, L"FillRect and a 1-pixel frame", caption, RGB(40, 40, 40), font,
                 DT_SINGLELINE | DT_CENTER);
            DeleteObject(font);
            Frame(dc, client, RGB(160, 160, 160));
            break;
        }
        case kLines: {
            Fill(dc, client, RGB(20, 24, 28));
            HPEN grid = CreatePen(PS_SOLID, 1, RGB(50, 60, 70));
            HGDIOBJ old = SelectObject(dc, grid);
            for (int x = 0; x < client.right; x += 16) {
                MoveToEx(dc, x, 0, nullptr);
                LineTo(dc, x, client.bottom);
            }
            for (int y = 0; y < client.bottom; y += 16) {
                MoveToEx(dc, 0, y, nullptr);
                LineTo(dc, client.right, y);
            }
            HPEN trace = CreatePen(PS_SOLID, 1, RGB(90, 230, 120));
            SelectObject(dc, trace);
            // A G-sensor-like trace: a zigzag across the panel.
            MoveToEx(dc, 0, client.bottom / 2, nullptr);
            for (int x = 8, i = 0; x <= client.right; x += 8, ++i)
                LineTo(dc, x, client.bottom / 2 + ((i % 4) - 1 - (i % 4 == 3 ? 2 : 0)) * 14);
            SelectObject(dc, old);
            DeleteObject(trace);
            DeleteObject(grid);
            break;
        }
        case kNotes: {
            Fill(dc, client, RGB(255, 253, 235));
            HFONT font = MakeFont(12, FW_NORMAL);
            RECT inner = {8, 6, client.right - 8, client.bottom - 6};
            Text(dc,
                 L"Child windows paint in WM_PAINT into their own pixels; the compositor puts "
                 L"them on the screen inside their parent, and the layered pop-up over them "
                 L"with its per-pixel alpha.",
                 inner, RGB(60, 50, 20), font, DT_WORDBREAK | DT_LEFT);
            DeleteObject(font);
            Frame(dc, client, RGB(200, 190, 140));
            break;
        }
        default:
            break;
    }
}

LRESULT CALLBACK PartProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        PaintPart(window, dc, client);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            RECT client;
            GetClientRect(window, &client);
            Fill(dc, client, RGB(214, 219, 226));
            Frame(dc, client, RGB(90, 100, 115));
            EndPaint(window, &ps);
            return 0;
        }
        case WM_TIMER:
            if (wParam == kQuitTimer) {
                KillTimer(window, kQuitTimer);
                PostQuitMessage(0);  // the windows stay, for the screenshot taken at exit
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The pop-up's picture: a translucent dark panel (premultiplied alpha) with opaque white text.
// GDI text leaves alpha 0, so the text is drawn white on black into a mask of its own, whose
// brightness is the text's coverage.
void GivePopupPicture(HWND popup, int x, int y, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC maskDc = CreateCompatibleDC(nullptr);
    void* maskBits = nullptr;
    HBITMAP mask = CreateDIBSection(maskDc, &info, DIB_RGB_COLORS, &maskBits, nullptr, 0);
    HGDIOBJ oldMask = SelectObject(maskDc, mask);
    HFONT font = MakeFont(14, FW_BOLD);
    // Centred in both directions: DT_VCENTER works on single lines only, so the text is
    // measured first.
    const wchar_t* caption = L"Layered pop-up\n70% opaque panel";
    RECT text = {0, 0, width, height};
    HGDIOBJ oldFont = SelectObject(maskDc, font);
    DrawTextW(maskDc, caption, -1, &text, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    SelectObject(maskDc, oldFont);
    int textHeight = text.bottom - text.top;
    text = RECT{0, (height - textHeight) / 2, width, (height + textHeight) / 2};
    Text(maskDc, caption, text, RGB(255, 255, 255), font, DT_CENTER | DT_WORDBREAK);
    DeleteObject(font);

    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const auto* in = static_cast<const uint32_t*>(maskBits);
    auto* out = static_cast<uint32_t*>(bits);
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            // Rounded-off corners: fully transparent outside a radius of 10 pixels.
            int dx = col < 10 ? 10 - col : col >= width - 10 ? col - (width - 11) : 0;
            int dy = row < 10 ? 10 - row : row >= height - 10 ? row - (height - 11) : 0;
            size_t at = size_t(row) * size_t(width) + size_t(col);
            if (dx * dx + dy * dy > 100) {
                out[at] = 0;
                continue;
            }
            uint32_t coverage = (in[at] >> 16) & 0xFF;
            uint32_t alpha = 180;  // the panel's opacity, premultiplied below
            uint32_t r = 20 * alpha / 255, g = 40 * alpha / 255, b = 80 * alpha / 255;
            uint32_t keep = 255 - coverage;
            alpha = coverage + alpha * keep / 255;
            r = coverage + r * keep / 255;
            g = coverage + g * keep / 255;
            b = coverage + b * keep / 255;
            out[at] = (alpha << 24) | (r << 16) | (g << 8) | b;
        }
    }
    HGDIOBJ old = SelectObject(dc, picture);
    POINT at = {x, y};
    SIZE size = {width, height};
    POINT from = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(popup, nullptr, &at, &size, dc, &from, 0, &blend, ULW_ALPHA);
    SelectObject(dc, old);
    DeleteObject(picture);
    DeleteDC(dc);
    SelectObject(maskDc, oldMask);
    DeleteObject(mask);
    DeleteDC(maskDc);
}

void PaintDesktop()
{
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    HDC dc = GetDC(nullptr);
    Fill(dc, screen, RGB(36, 84, 96));
    ReleaseDC(nullptr, dc);
}

}  // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: screendemo [seconds]\n");
        return 2;
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainProc;
    wc.lpszClassName = kMainClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = PartProc;
    wc.lpszClassName = kPartClass;
    RegisterClassExW(&wc);

    PaintDesktop();
    HWND main = CreateWindowExW(0, kMainClass, L"Tessaly screen demo", WS_POPUP, 60, 60, 480, 320,
                                nullptr, nullptr, nullptr, nullptr);
    if (!main) {
        std::fprintf(stderr, "screendemo: cannot create the window\n");
        return 1;
    }
    struct {
        Part id;
        RECT rect;
    } parts[] = {{kTitle, {1, 1, 479, 33}},
                 {kBoxes, {12, 44, 212, 134}},
                 {kLines, {224, 44, 468, 204}},
                 {kNotes, {12, 146, 212, 306}}};
    for (const auto& p : parts)
        CreateWindowExW(0, kPartClass, L"", WS_CHILD | WS_VISIBLE, p.rect.left, p.rect.top,
                        p.rect.right - p.rect.left, p.rect.bottom - p.rect.top, main,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(p.id)), nullptr, nullptr);
    ShowWindow(main, SW_SHOW);

    HWND popup = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPartClass, L"",
                                 WS_POPUP, 380, 250, 220, 90, main, nullptr, nullptr, nullptr);
    GivePopupPicture(popup, 380, 250, 220, 90);
    ShowWindow(popup, SW_SHOWNOACTIVATE);

    SetTimer(main, kQuitTimer, UINT(seconds) * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}
