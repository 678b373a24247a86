#include "ui/RStaticText.h"

#include <cwchar>

#include "ui/ControlPaint.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/TextBitmap.h"

namespace {

// Posted to the label's own window when its text was replaced on another thread.
constexpr UINT kTextChanged = 0x8000 + 0x123;

}  // namespace

CRStaticText::CRStaticText() : CDPIWnd(this) {}

CRStaticText::~CRStaticText()
{
    if (GetSafeHwnd())
        DestroyWindow();
    if (m_hOwnFont)
        DeleteObject(m_hOwnFont);
}

void CRStaticText::SetBackground(const std::wstring& ninePatch, HFONT font,
                                 CDC* parentBackground, const CRButtonText* style)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    GetClientRect(&m_rcClient);
    CRect client = m_rcClient;
    CopyParentBackground(*this, dc, parentBackground, m_dcBackground);
    if (style) {
        {
            std::lock_guard<std::mutex> lock(m_csText);
            m_strText = style->strText;
        }
        m_clrNormal = style->clrNormal;
        m_clrOver = style->clrOver;
        m_clrPress = style->clrPress;
        m_nSize = g_DPIScale.Scale(style->nFontSize);
        m_nAlign = style->nAlign;
    }
    if (font)
        m_hFont = font;
    if (!ninePatch.empty()) {
        COffscreenDC frame(dc, client.Width(), client.Height());
        RECT content = m_rcClient;
        GetNinePatch()->Draw(frame, ninePatch, &content);
        m_rcText = content;
        BlendSurface(m_dcBackground, 0, 0, client.Width(), client.Height(), frame);
    } else {
        m_rcText = m_rcClient;
    }
    ReleaseDC(dc);
    Redraw();
}

void CRStaticText::SetText(const std::wstring& text)
{
    {
        std::lock_guard<std::mutex> lock(m_csText);
        m_strText = text;
    }
    HWND window = m_hWnd;
    if (!window)
        return;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        Redraw();
        return;
    }
    // Painting belongs to the label's thread; one posted repaint serves every text set before
    // it is handled.
    if (!m_bRepaintPosted.exchange(true))
        if (!::PostMessageW(window, kTextChanged, 0, 0))
            m_bRepaintPosted = false;
}

std::wstring CRStaticText::GetText() const
{
    std::lock_guard<std::mutex> lock(m_csText);
    return m_strText;
}

LRESULT CRStaticText::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kTextChanged) {
        m_bRepaintPosted = false;
        Redraw();
        return 0;
    }
    if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
        if (CWnd* parent = GetParent()) {
            // The parent gets the point in its own client coordinates.
            POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            MapWindowPoints(m_hWnd, parent->GetSafeHwnd(), &point, 1);
            ::SendMessageW(parent->GetSafeHwnd(), message, wParam, MAKELPARAM(point.x, point.y));
        }
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CRStaticText::OnPaint()
{
    CPaintDC dc(this);
    Paint(&dc);
}

void CRStaticText::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    GetClientRect(&m_rcClient);
    Redraw();
}

void CRStaticText::Redraw()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Paint(dc); });
}

HFONT CRStaticText::Font()
{
    if (m_hFont)
        return m_hFont;
    if (!m_hOwnFont) {
        LOGFONTW description = {};
        description.lfHeight = m_nSize > 0 ? g_DPIScale.Unscale(m_nSize) : 13;
        description.lfWeight = FW_NORMAL;
        description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
        description.lfQuality = ANTIALIASED_QUALITY;
        std::wcsncpy(description.lfFaceName, GetUIFaceName().c_str(), LF_FACESIZE - 1);
        m_hOwnFont = DPICreateFontIndirect(&description);
    }
    return m_hOwnFont;
}

void CRStaticText::Paint(CDC* target)
{
    GetClientRect(&m_rcClient);
    const int width = m_rcClient.right - m_rcClient.left;
    const int height = m_rcClient.bottom - m_rcClient.top;
    if (FitSurface(m_dcComposite, target, width, height))
        m_bDirty = 1;
    if (!m_dcComposite.IsCreated())
        return;
    if (m_bDirty) {
        m_bDirty = 0;
        CDC* out = m_dcComposite.GetDC();
        out->FillSolidRect(0, 0, width, height, RGB(0, 0, 0));
        if (m_dcBackground.IsCreated())
            out->BitBlt(0, 0, width, height, m_dcBackground.GetDC(), 0, 0, SRCCOPY);
        DrawLabelText(GetText());
    }
    target->BitBlt(0, 0, width, height, m_dcComposite.GetDC(), 0, 0, SRCCOPY);
}

void CRStaticText::DrawLabelText(const std::wstring& text)
{
    SIZE size = {0, 0};
    HBITMAP bitmap = CreateTextBitmap(text, Font(), m_clrNormal, &size);
    if (!bitmap)
        return;
    int x = m_rcText.left;
    if (m_nAlign == 1) {
        int gap = m_rcText.right - m_rcText.left - size.cx;
        if (gap > 0)
            x += (gap + 1) / 2;
    }
    int y = m_rcText.top + (m_rcText.bottom - m_rcText.top - size.cy) / 2 - 2;
    BlendTextBitmap(m_dcComposite, bitmap, size, x, y);
    DeleteObject(bitmap);
}
