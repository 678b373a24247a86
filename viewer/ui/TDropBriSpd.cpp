#include "ui/TDropBriSpd.h"

#include <algorithm>
#include <cwchar>

#include "ui/ControlMessages.h"
#include "ui/ControlPaint.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"
#include "ui/TextBitmap.h"

const float g_PlaySpeedTable[7] = {0.2f, 0.5f, 0.7f, 1.0f, 2.0f, 3.0f, 4.0f};

int SpeedIndexOf(float rate)
{
    for (int i = 0; i < 6; ++i)
        if (g_PlaySpeedTable[i] == rate)
            return i;
    return 6;
}

namespace {

int S(int design)
{
    return g_DPIScale.Scale(design);
}

RECT ScaledRect(int l, int t, int r, int b)
{
    return {S(l), S(t), S(r), S(b)};
}

constexpr int kSpeedSteps = 6;  // the last speed index

}  // namespace

CTDropBriSpd::CTDropBriSpd() : CDPIWnd(this) {}

CTDropBriSpd::~CTDropBriSpd()
{
    if (m_hFont)
        DeleteObject(m_hFont);
    if (GetSafeHwnd())
        DestroyWindow();
}

void CTDropBriSpd::MakeFont()
{
    LOGFONTW description = {};
    description.lfHeight = 12;
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    description.lfQuality = ANTIALIASED_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_MODERN;
    GetUIFaceName().copy(description.lfFaceName, LF_FACESIZE - 1);
    if (m_hFont)
        DeleteObject(m_hFont);
    m_hFont = DPICreateFontIndirect(&description);
}

void CTDropBriSpd::BuildBackground(CDC* dc)
{
    CRect client;
    GetClientRect(&client);
    if (m_dcBack.Create(dc, client.Width(), client.Height()))
        GetNinePatch()->Draw(m_dcBack, L"play_setting_bg2.9.png");
    MakeFont();
    m_dcContents.Release();
    if (m_dcContents.CreateScaled(dc, 139, 55)) {
        GetNinePatch()->Draw(m_dcContents, L"contents_area.9.png");
        m_dcBack.GetDC()->BitBlt(S(6), S(60), m_dcContents.GetWidth(), m_dcContents.GetHeight(),
                                 m_dcContents.GetDC(), 0, 0, SRCCOPY);
    }
    DrawPanelText(m_dcBack, GetLangText(L"IDS_STRING_K_028"), m_hFont, ScaledRect(35, 64, 140, 85),
                  RGB(178, 193, 222), 0);
    m_dcGauge.Release();
    if (m_dcGauge.CreateScaled(dc, 37, 15)) {
        GetNinePatch()->Draw(m_dcGauge, L"bg_text_small.9.png");
        BlendSurface(m_dcBack, S(13), S(94), m_dcGauge.GetWidth(), m_dcGauge.GetHeight(),
                     m_dcGauge);
    }
    LoadSkinImage(dc, m_dcSpeedIcon, L"ic_speed.png");
    BlendSurface(m_dcBack, S(10), S(64), S(21), S(21), m_dcSpeedIcon);
}

void CTDropBriSpd::GiveButtonPictures()
{
    CRButtonText caption;
    caption.strText = GetLangText(L"IDS_STRING_K_029");
    caption.clrNormal = RGB(140, 169, 188);
    caption.clrDisabled = RGB(140, 169, 188);
    caption.clrOver = RGB(255, 255, 255);
    caption.clrPress = RGB(255, 255, 255);
    caption.nFontSize = 11;
    caption.nAlign = 1;
    m_btnInit.SetImages9(L"setting_btn_nor.9.png", L"setting_btn_nor.9.png",
                         L"setting_btn_nor.9.png", &caption);
}

int CTDropBriSpd::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    if (CDC* dc = GetDC()) {
        BuildBackground(dc);
        ReleaseDC(dc);
    }
    const LPCWSTR windowClass = PopupWindowClass();
    struct SliderSetup {
        CTSliderCtrl* slider;
        LPCWSTR name;
        int balloon;
        int id;
        float maximum;
    } sliders[] = {{&m_sldBrightness, L"ScrBri", 1, ID_SLIDER_BRIGHTNESS, 100.0f},
                   {&m_sldSpeed, L"ScrSpd", 2, ID_SLIDER_SPEED, float(kSpeedSteps)}};
    for (const SliderSetup& s : sliders) {
        s.slider->DPICreateEx(WS_EX_TOOLWINDOW, windowClass, s.name, WS_POPUP, 0, 0, 75, 11, m_hWnd,
                              nullptr);
        s.slider->SetBalloonMode(s.balloon);
        s.slider->SetNotifyId(s.id);
        s.slider->SetMax(s.maximum);
        s.slider->SetImages(L"volume_scroll.9.png", L"volume_scroll_bg.9.png",
                            L"volume_handler_nor.png", L"volume_handler_over.png",
                            L"volume_handler_press.png", 75, 3);
    }
    m_btnInit.DPICreateEx(WS_EX_TOOLWINDOW, windowClass, L"ScrInit", WS_POPUP, 0, 0, 90, 21, m_hWnd,
                          nullptr);
    m_btnInit.SetCommandId(ID_BOX_SCRSETTING_INIT);
    m_btnInit.SetMouseActivate(FALSE);
    GiveButtonPictures();
    return 0;
}

void CTDropBriSpd::Initialize()
{
    m_nBrightness = 50;
    m_fSpeed = 1.0f;
    if (m_sldSpeed.GetSafeHwnd())
        m_sldSpeed.SetValue(float(SpeedIndexOf(1.0f)));
    Recompose();
}

void CTDropBriSpd::ReloadTexts()
{
    m_dcBack.Release();
    m_dcComposite.Release();
    m_dcSpeedIcon.Release();
    m_dcContents.Release();
    m_dcGauge.Release();
    if (CDC* dc = GetDC()) {
        BuildBackground(dc);
        ReleaseDC(dc);
    }
    if (m_btnInit.GetSafeHwnd())
        GiveButtonPictures();
    Recompose();
}

void CTDropBriSpd::Redraw()
{
    Recompose();
}

void CTDropBriSpd::Recompose()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Compose(dc); });
}

void CTDropBriSpd::OnPaint()
{
    CPaintDC dc(this);
    Compose(&dc);
}

BOOL CTDropBriSpd::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CTDropBriSpd::Compose(CDC* target)
{
    ComposePanel(*this, target, m_dcComposite, m_bDirty, m_dcBack,
                 [](CWnd& window, COffscreenDC& face) {
                     const auto& panel = static_cast<const CTDropBriSpd&>(window);
                     wchar_t rate[16];
                     std::swprintf(rate, 16, L"x%0.1f", double(panel.m_fSpeed));
                     DrawPanelText(face, rate, panel.m_hFont, ScaledRect(13, 94, 50, 109),
                                   RGB(139, 162, 191), 1);
                 });
}

void CTDropBriSpd::PlaceChild(CWnd& child, int x, int y, int width, int height, bool show)
{
    if (!child.GetSafeHwnd())
        return;
    POINT at = {S(x), S(y)};
    ClientToScreen(&at);
    // Shown without activation: the panel keeps it, and with it stays open.
    ::SetWindowPos(child.GetSafeHwnd(), HWND_TOPMOST, at.x, at.y, S(width), S(height),
                   SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : 0));
}

void CTDropBriSpd::OnShowWindow(BOOL show, UINT status)
{
    CWnd::OnShowWindow(show, status);
    if (show) {
        PlaceChild(m_sldBrightness, 58, 39, 75, 11, false);
        m_sldBrightness.SetValue(float(m_nBrightness));
        PlaceChild(m_sldSpeed, 58, 96, 75, 11, true);
        m_sldSpeed.SetValue(float(SpeedIndexOf(m_fSpeed)));
        PlaceChild(m_btnInit, 31, 117, 90, 21, true);
    } else {
        for (CWnd* child : {static_cast<CWnd*>(&m_sldBrightness), static_cast<CWnd*>(&m_sldSpeed),
                            static_cast<CWnd*>(&m_btnInit)})
            if (child->GetSafeHwnd())
                child->ShowWindow(SW_HIDE);
    }
}

void CTDropBriSpd::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    CWnd::OnActivate(state, other, minimized);
    if (state == WA_INACTIVE)
        ShowWindow(SW_HIDE);
}

BOOL CTDropBriSpd::OnMouseWheel(UINT, short delta, CPoint point)
{
    ScreenToClient(&point);
    const bool speedPart = point.y >= S(60);
    CTSliderCtrl& slider = speedPart ? m_sldSpeed : m_sldBrightness;
    const float top = speedPart ? float(kSpeedSteps) : 100.0f;
    float v = slider.GetValue();
    if (slider.GetSafeHwnd() && slider.IsWindowVisible()) {
        if (delta == 120)
            v = std::min(v + 1.0f, top);
        else if (delta == -120)
            v = std::max(v - 1.0f, 0.0f);
        slider.SetValue(v);
    }
    SendMessage(WM_SLIDER_CHANGED, speedPart ? ID_SLIDER_SPEED : ID_SLIDER_BRIGHTNESS,
                LPARAM(int(v)));
    return TRUE;
}

void CTDropBriSpd::OnSliderChanged(WPARAM id, LPARAM value)
{
    CWnd* owner = GetParent();
    if (id == ID_SLIDER_BRIGHTNESS) {
        m_nBrightness = unsigned(std::clamp<LPARAM>(value, 0, 100));
        m_bDirty = 1;
        if (owner)
            ::SendMessageW(owner->GetSafeHwnd(), WM_SLIDER_CHANGED, id, LPARAM(m_nBrightness));
    } else if (id == ID_SLIDER_SPEED) {
        // The index reads the table: whatever arrives is held to its seven entries.
        const int index = int(std::clamp<LPARAM>(value, 0, kSpeedSteps));
        m_fSpeed = g_PlaySpeedTable[index];
        Recompose();
        if (owner)
            ::SendMessageW(owner->GetSafeHwnd(), WM_SLIDER_CHANGED, id, LPARAM(index));
    }
}

BOOL CTDropBriSpd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == ID_BOX_SCRSETTING_INIT) {
        Initialize();
        if (CWnd* owner = GetParent())
            ::SendMessageW(owner->GetSafeHwnd(), WM_COMMAND, ID_BOX_SCRSETTING_INIT, 0);
        return TRUE;
    }
    return CWnd::OnCommand(wParam, lParam);
}

LRESULT CTDropBriSpd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SLIDER_CHANGED) {
        OnSliderChanged(wParam, lParam);
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
