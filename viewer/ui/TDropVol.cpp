#include "ui/TDropVol.h"

#include <algorithm>

#include "ui/ControlMessages.h"
#include "ui/ControlPaint.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"

CTDropVol::CTDropVol() : CDPIWnd(this) {}

CTDropVol::~CTDropVol()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

int CTDropVol::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    if (CDC* dc = GetDC()) {
        CRect client;
        GetClientRect(&client);
        if (m_dcBack.Create(dc, client.Width(), client.Height()))
            GetNinePatch()->Draw(m_dcBack, L"play_setting_bg.9.png");
        ReleaseDC(dc);
    }
    m_sldVolume.DPICreateEx(WS_EX_TOOLWINDOW, PopupWindowClass(), L"SldVol", WS_POPUP, 16, 13, 11,
                            75, m_hWnd, nullptr);
    m_sldVolume.SetBalloonMode(1);
    m_sldVolume.SetNotifyId(ID_SLIDER_VOLUME);
    m_sldVolume.SetMax(100.0f);
    m_sldVolume.SetImages(L"volume_scroll.9.png", L"volume_scroll_bg.9.png",
                          L"volume_handler_nor.png", L"volume_handler_over.png",
                          L"volume_handler_press.png", 3, 75);
    return 0;
}

void CTDropVol::Redraw()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Compose(dc); });
}

void CTDropVol::OnPaint()
{
    CPaintDC dc(this);
    Compose(&dc);
}

BOOL CTDropVol::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CTDropVol::Compose(CDC* target)
{
    ComposePanel(*this, target, m_dcComposite, m_bDirty, m_dcBack);
}

void CTDropVol::OnShowWindow(BOOL show, UINT status)
{
    CWnd::OnShowWindow(show, status);
    if (!m_sldVolume.GetSafeHwnd())
        return;
    if (show) {
        POINT at = {g_DPIScale.Scale(16), g_DPIScale.Scale(13)};
        ClientToScreen(&at);
        // Shown without activation, so that the panel keeps it and stays open.
        ::SetWindowPos(m_sldVolume.GetSafeHwnd(), HWND_TOPMOST, at.x, at.y, g_DPIScale.Scale(11),
                       g_DPIScale.Scale(75), SWP_NOACTIVATE);
        m_sldVolume.SetValue(float(100 - int(m_nVolume)));
        m_sldVolume.ShowWindow(SW_SHOWNA);
    } else {
        m_sldVolume.ShowWindow(SW_HIDE);
    }
}

void CTDropVol::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    CWnd::OnActivate(state, other, minimized);
    if (state == WA_INACTIVE)
        ShowWindow(SW_HIDE);
}

BOOL CTDropVol::OnMouseWheel(UINT, short delta, CPoint)
{
    float v = m_sldVolume.GetValue();  // counted from the top
    if (m_sldVolume.GetSafeHwnd() && m_sldVolume.IsWindowVisible()) {
        if (delta == 120)
            v = std::max(v - 1.0f, 0.0f);
        else if (delta == -120)
            v = std::min(v + 1.0f, 100.0f);
        m_sldVolume.SetValue(v);
        m_sldVolume.UpdateBalloon();
    }
    SendMessage(WM_SLIDER_CHANGED, ID_SLIDER_VOLUME, LPARAM(unsigned(100.0f - v)));
    return TRUE;
}

LRESULT CTDropVol::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SLIDER_CHANGED) {
        if (wParam == ID_SLIDER_VOLUME) {
            m_nVolume = unsigned(std::clamp<LPARAM>(lParam, 0, 100));
            if (CWnd* owner = GetParent())
                ::SendMessageW(owner->GetSafeHwnd(), WM_SLIDER_CHANGED, wParam, LPARAM(m_nVolume));
        }
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
