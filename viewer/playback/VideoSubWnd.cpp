#include "playback/VideoSubWnd.h"

#include "playback/VideoWndHost.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

CVideoSubWnd::CVideoSubWnd() : CDPIWnd(this) {}

CVideoSubWnd::~CVideoSubWnd()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

LRESULT CVideoSubWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP)
        ForwardMouseToParent(m_hWnd, ::GetParent(m_hWnd), message, wParam, lParam);
    return CWnd::WindowProc(message, wParam, lParam);
}

int CVideoSubWnd::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    CDC* dc = GetDC();
    if (!dc)
        return 0;
    GetNinePatch();
    GetClientRect(&m_rcClient);
    if (m_dcPlaceholder.Create(dc, m_rcClient.Width(), m_rcClient.Height()))
        DrawSkinImage(m_dcPlaceholder, L"view_rear.png");
    if (m_dcText.Create(dc, m_rcClient.Width(), m_rcClient.Height()))
        GetNinePatch()->Draw(m_dcText, L"bg_list02.9.png");
    ReleaseDC(dc);
    return 0;
}

void CVideoSubWnd::OnPaint()
{
    CPaintDC dc(this);
    CVideoWndHost* host = VideoWndHostOf(::GetParent(m_hWnd));
    if (!IsTwoViewOpen(host)) {
        GetClientRect(&m_rcClient);
        const int width = m_rcClient.Width();
        const int height = m_rcClient.Height();
        if (host && host->IsPlayingMP4() && host->IsSingleView()) {
            // The texts are drawn on a fresh background at the current size every time, so
            // they neither pile up nor keep the size of an earlier layout.
            if (m_dcText.Create(&dc, width, height)) {
                GetNinePatch()->Draw(m_dcText, L"bg_list02.9.png");
                DrawSingleViewTexts(m_rcClient);
                dc.StretchBlt(0, 0, width, height, m_dcText.GetDC(), 0, 0, m_dcText.GetWidth(),
                              m_dcText.GetHeight(), SRCCOPY);
            }
        } else if (m_dcPlaceholder.IsCreated()) {
            dc.StretchBlt(0, 0, width, height, m_dcPlaceholder.GetDC(), 0, 0,
                          m_dcPlaceholder.GetWidth(), m_dcPlaceholder.GetHeight(), SRCCOPY);
        }
    }
    ::SendMessageW(::GetParent(m_hWnd), WM_VIDEO_RELAYOUT, 0, 0);
}

void CVideoSubWnd::DrawSingleViewTexts(const CRect& client)
{
    CDC* dc = m_dcText.GetDC();
    const int top = (client.bottom - client.top - 160) / 2;
    LOGFONTW description = {};
    description.lfHeight = 13;
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET") & 0xFF);
    description.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    description.lfPitchAndFamily = FF_MODERN;
    GetUIFaceName().copy(description.lfFaceName, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&description);
    HGDIOBJ previous = dc->SelectObject(font);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(RGB(182, 199, 215));
    const struct {
        const wchar_t* key;
        RECT rect;
    } texts[] = {
        {L"IDS_STRING_K_106", {client.left + 20, top, client.right - 35, top + 40}},
        {L"IDS_STRING_K_107", {client.left + 20, top + 80, client.right - 35, top + 140}},
    };
    // Word-wrapped text is not centred vertically by DT_VCENTER (that needs DT_SINGLELINE),
    // so each block is measured and moved to the middle of its rectangle.
    const UINT format = DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS;
    for (const auto& text : texts) {
        const std::wstring line = GetLangText(text.key);
        CRect rect = text.rect;
        CRect measured = rect;
        dc->DrawText(line, &measured, format | DT_CALCRECT);
        const int spare = rect.Height() - measured.Height();
        if (spare > 0)
            rect.top += spare / 2;
        dc->DrawText(line, &rect, format);
    }
    dc->SelectObject(previous);
    DeleteObject(font);
}
