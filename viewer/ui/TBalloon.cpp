#include "ui/TBalloon.h"

#include <cwchar>

#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/TextBitmap.h"

namespace {

constexpr int kHeight = 27;  // design units
constexpr const WCHAR* kPicture = L"bg_info.9.png";

}  // namespace

void DrawTextAlpha(COffscreenDC& target, const std::wstring& text, HFONT font, const RECT& rect,
                   COLORREF color, BOOL centre)
{
    if (!target.IsCreated())
        return;
    SIZE size = {0, 0};
    HBITMAP bitmap = CreateTextBitmap(text, font, color, &size);
    if (!bitmap)
        return;
    int dy = (rect.bottom - rect.top - size.cy) / 2;
    int gap = rect.right - rect.left - size.cx;
    int dx = centre ? (gap + 1) / 2 : 0;
    BlendTextBitmap(target, bitmap, size, rect.left + (dx > 0 ? dx : 0),
                    rect.top + (dy > 0 ? dy : 0));
    DeleteObject(bitmap);
}

CTBalloon::CTBalloon() : CDPIWnd(this) {}

CTBalloon::~CTBalloon()
{
    if (GetSafeHwnd())
        DestroyWindow();
    if (m_hFont)
        DeleteObject(m_hFont);
}

void CTBalloon::MakeFont(LPCWSTR sizeKey, BYTE clipPrecision, bool replace)
{
    if (m_hFont && !replace)
        return;
    LOGFONTW description = {};
    description.lfHeight = GetFontValue(sizeKey);
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    description.lfClipPrecision = clipPrecision;
    description.lfQuality = ANTIALIASED_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_MODERN;
    std::wcsncpy(description.lfFaceName, GetUIFaceName().c_str(), LF_FACESIZE - 1);
    HFONT font = DPICreateFontIndirect(&description);
    if (!font)
        return;
    if (m_hFont)
        DeleteObject(m_hFont);
    m_hFont = font;
}

void CTBalloon::SetText(const std::wstring& text)
{
    MakeFont(L"TEXTSIZE_TBALOON", CLIP_STROKE_PRECIS, true);
    int width = 0;
    if (HDC dc = CreateCompatibleDC(nullptr)) {
        HGDIOBJ old = SelectObject(dc, m_hFont);
        RECT measure = {0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), int(text.size()), &measure, DT_CALCRECT);
        width = measure.right - measure.left;
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    // The balloon keeps its place: the owner may be showing it while the text changes.
    if (GetSafeHwnd())
        ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, width + g_DPIScale.Scale(25),
                       g_DPIScale.Scale(kHeight), SWP_NOMOVE | SWP_NOACTIVATE);
    m_strText = text;
    Redraw();
}

void CTBalloon::FitWidth(int designWidth)
{
    if (!GetSafeHwnd())
        return;
    CRect client;
    GetClientRect(&client);
    if (client.Width() != g_DPIScale.Scale(designWidth))
        DPISetWindowPos(HWND_TOPMOST, 0, 0, designWidth, kHeight,
                        SWP_NOMOVE | SWP_NOACTIVATE | SWP_HIDEWINDOW);
}

void CTBalloon::SetNumberText(int number)
{
    MakeFont(L"TEXTSIZE_TBALOON_NUM", CLIP_DEFAULT_PRECIS, false);
    FitWidth(number / 10 == 0 ? 26 : number / 100 == 0 ? 33 : 40);
    m_strText = std::to_wstring(number);
    Redraw();
}

void CTBalloon::SetSpeedText(int index)
{
    static const WCHAR* const kSpeeds[] = {L"x0.2", L"x0.5", L"x0.7", L"x1.0",
                                           L"x2.0", L"x3.0", L"x4.0"};
    MakeFont(L"TEXTSIZE_TBALOON_SPD", CLIP_DEFAULT_PRECIS, false);
    FitWidth(45);
    if (index >= 0 && index < 7)
        m_strText = kSpeeds[index];
    Redraw();
}

void CTBalloon::Redraw()
{
    m_bDirty = 1;
    Paint();
}

int CTBalloon::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    GetClientRect(&m_rcClient);
    return 0;
}

void CTBalloon::OnPaint()
{
    {
        CPaintDC dc(this);
    }
    Paint();
}

void CTBalloon::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    GetClientRect(&m_rcClient);
    Redraw();
}

BOOL CTBalloon::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

int CTBalloon::OnMouseActivate(CWnd*, UINT, UINT)
{
    return MA_NOACTIVATE;
}

void CTBalloon::Paint()
{
    if (!GetSafeHwnd())
        return;
    GetClientRect(&m_rcClient);
    const int width = m_rcClient.right - m_rcClient.left;
    const int height = m_rcClient.bottom - m_rcClient.top;
    if (m_dcFace.GetWidth() != width || m_dcFace.GetHeight() != height)
        m_bDirty = 1;
    if (m_bDirty) {
        m_bDirty = 0;
        CDC* dc = GetDC();
        if (!dc)
            return;
        m_dcFace.Create(dc, width, height);
        ReleaseDC(dc);
        // A missing picture is reported once by the painter; the text is still drawn.
        m_rcContent = m_rcClient;
        GetNinePatch()->Draw(m_dcFace, kPicture, &m_rcContent);
        DrawTextAlpha(m_dcFace, m_strText, m_hFont, m_rcContent, RGB(0, 0, 0), TRUE);
    }
    PushLayeredPicture(*this, m_dcFace);
}
