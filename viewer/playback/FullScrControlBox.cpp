#include "playback/FullScrControlBox.h"

#include <cwchar>

#include "ui/ControlMessages.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/TextBitmap.h"

namespace {

// Design units of the bar's client area.
constexpr RECT kPlayTimeRect = {25, 32, 75, 52};
constexpr RECT kTotalTimeRect = {91, 32, 146, 52};
constexpr COLORREF kPlayTimeColor = RGB(63, 168, 235);
constexpr COLORREF kTotalTimeColor = RGB(162, 172, 185);

RECT Scaled(RECT design)
{
    g_DPIScale.ScaleRect(&design);
    return design;
}

}  // namespace

// One button of the bar: where it goes (design units of the bar), its pictures and set-up.
struct CFullScrControlBox::Control {
    CTButton CFullScrControlBox::*button;
    const wchar_t* name;
    int id;
    int x, y, width, height;
    const wchar_t* normal;
    const wchar_t* over;
    const wchar_t* pressed;
    const wchar_t* disabled;
    const wchar_t* tooltip;  // language key, or null
    bool activates;          // a click activates the window under it
};

CFullScrControlBox::CFullScrControlBox() : CDPIWnd(this) {}

CFullScrControlBox::~CFullScrControlBox()
{
    if (GetSafeHwnd())
        DestroyWindow();
    if (m_hTimeFont)
        DeleteObject(m_hTimeFont);
}

const CFullScrControlBox::Control* CFullScrControlBox::Controls(size_t* count)
{
    using C = Control;
    using Box = CFullScrControlBox;
    static const C controls[] = {
        {&Box::m_btnPre, L"VideoPre", ID_BTN_PRE, 113, 71, 60, 60, L"btn_pre_normal.png",
         L"btn_pre_over.png", L"btn_pre_press.png", L"", nullptr, true},
        {&Box::m_btnSec, L"VideoSec1", ID_BTN_SEC, 184, 71, 60, 60, L"btn_sec1_normal.png",
         L"btn_sec1_over.png", L"btn_sec1_press.png", L"", nullptr, true},
        {&Box::m_btnPlay, L"VideoPlay", ID_BTN_PLAY, 255, 58, 86, 86, L"btn_play_normal.png",
         L"btn_play_over.png", L"btn_play_press.png", L"", nullptr, true},
        {&Box::m_btnPause, L"VideoPause", ID_BTN_PAUSE, 255, 58, 86, 86, L"btn_pause_normal.png",
         L"btn_pause_over.png", L"btn_pause_press.png", L"", nullptr, true},
        {&Box::m_btnStop, L"VideoStop", ID_BTN_STOP, 352, 58, 86, 86, L"btn_stop_normal.png",
         L"btn_stop_over.png", L"btn_stop_press.png", L"", nullptr, true},
        {&Box::m_btnSec2, L"VideoSec2", ID_BTN_SEC2, 449, 71, 60, 60, L"btn_sec2_normal.png",
         L"btn_sec2_over.png", L"btn_sec2_press.png", L"", nullptr, true},
        {&Box::m_btnNext, L"VideoNext", ID_BTN_NEXT, 520, 71, 60, 60, L"btn_next_normal.png",
         L"btn_next_over.png", L"btn_next_press.png", L"", nullptr, true},
        {&Box::m_btnChange, L"VideoChange", ID_BTN_CHANGE, 515, 36, 36, 24,
         L"btn_change_normal_2.png", L"btn_change_over_2.png", L"btn_change_press_2.png",
         L"btn_change_dis_2.png", L"IDS_STRING_K_052", false},
        {&Box::m_btnSize, L"VideoSize", ID_BTN_SIZE, 551, 36, 36, 24, L"btn_size_normal.png",
         L"btn_size_over.png", L"btn_size_press.png", L"btn_size_dis.png", L"IDS_STRING_K_053",
         false},
        {&Box::m_btnSetting, L"VideoSetting", ID_BTN_SETTING, 551, 36, 36, 24,
         L"btn_setting_normal.png", L"btn_setting_over.png", L"btn_setting_press.png",
         L"btn_setting_dis.png", L"IDS_STRING_K_054", false},
        {&Box::m_btnSave, L"VideoSave", ID_BTN_SAVE, 587, 36, 36, 24, L"btn_save_normal.png",
         L"btn_save_over.png", L"btn_save_press.png", L"", L"IDS_STRING_K_055", true},
        {&Box::m_btnVolume, L"VideoVolume", ID_BTN_VOLUME, 623, 36, 36, 24,
         L"btn_volume_normal.png", L"btn_volume_over.png", L"btn_volume_press.png", L"",
         L"IDS_STRING_K_057", false},
        {&Box::m_btnConnect, L"VideoConnect", ID_BTN_VIDEO_CONNECT, 479, 36, 36, 24,
         L"btn_connect_off_normal.png", L"btn_connect_over.png", L"btn_connect_press.png", L"",
         L"IDS_STRING_K_081", false},
    };
    *count = sizeof(controls) / sizeof(controls[0]);
    return controls;
}

CTButton* CFullScrControlBox::GetButton(int id)
{
    size_t count = 0;
    const Control* controls = Controls(&count);
    for (size_t i = 0; i < count; ++i)
        if (controls[i].id == id)
            return &(this->*controls[i].button);
    return nullptr;
}

std::wstring CFullScrControlBox::FormatTime(int seconds)
{
    if (seconds < 0)
        seconds = 0;
    wchar_t text[32];
    std::swprintf(text, 32, L"%02d:%02d:%02d", seconds / 3600, seconds % 3600 / 60,
                  seconds % 3600 % 60);
    return text;
}

int CFullScrControlBox::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    CRect client;
    GetClientRect(&client);

    LOGFONTW description = {};
    description.lfHeight = GetFontValue(L"TEXTSIZE_FULLSCR");
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = ANSI_CHARSET;
    description.lfQuality = ANTIALIASED_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_MODERN;
    std::wcscpy(description.lfFaceName, L"tahoma");
    m_hTimeFont = DPICreateFontIndirect(&description);

    if (CDC* dc = GetDC()) {
        if (m_dcBackground.Create(dc, client.Width(), client.Height()))
            GetNinePatch()->Draw(m_dcBackground, L"full_bg.9.png");
        ReleaseDC(dc);
    }

    size_t count = 0;
    const Control* controls = Controls(&count);
    for (size_t i = 0; i < count; ++i) {
        const Control& c = controls[i];
        CTButton& button = this->*c.button;
        button.DPICreateEx(WS_EX_TOOLWINDOW, PopupWindowClass(), c.name, WS_POPUP, 0, 0, c.width,
                           c.height, m_hWnd, nullptr);
        button.SetCommandId(c.id);
        if (!c.activates)
            button.SetMouseActivate(FALSE);
        button.SetImages(c.normal, c.over, c.pressed, c.disabled);
        if (c.tooltip)
            button.SetTooltip(GetLangText(c.tooltip));
        button.ShowWindow(SW_HIDE);
    }
    m_btnConnect.SetCheckImage(L"btn_connect_on_normal.png");
    m_btnConnect.SetCheck(TRUE);
    m_btnSize.EnableWindow(FALSE);
    m_btnSetting.EnableWindow(FALSE);
    m_btnVolume.SetLevelImages(L"ic_volume_mute.png", L"ic_volume_01.png", L"ic_volume_02.png",
                               L"ic_volume_03.png", L"ic_volume_04.png", L"ic_volume_05.png",
                               g_DPIScale.Scale(18), g_DPIScale.Scale(4));
    m_btnVolume.SetLevel(3);

    m_sldProgress.DPICreateEx(WS_EX_TOOLWINDOW, PopupWindowClass(), L"ScrVideo", WS_POPUP, 25, 24,
                              643, 7, m_hWnd, nullptr);
    m_sldProgress.SetNotifyId(ID_SLIDER_FULLSCREEN_SEEK);
    m_sldProgress.SetMax(100.0f);
    m_sldProgress.SetImages(L"progress_bar.9.png", L"progress_bg.9.png", L"progress_point.png",
                            L"progress_point.png", L"progress_point.png", 643, 7);
    m_sldProgress.EnableWindow(FALSE);
    m_sldProgress.ShowWindow(SW_HIDE);
    m_bCreated = 1;
    return 0;
}

void CFullScrControlBox::SetPlayTime(int seconds)
{
    m_nPlayTime = seconds;
    m_bDirty = 1;
    if (IsWindowVisible())
        Recompose();
}

void CFullScrControlBox::SetTotalTime(int seconds)
{
    m_nTotalTime = seconds;
    m_bDirty = 1;
    if (IsWindowVisible())
        Recompose();
}

void CFullScrControlBox::ResetProgress()
{
    if (m_sldProgress.GetSafeHwnd())
        m_sldProgress.SetValue(0.0f);
    m_nPlayTime = 0;
    m_nTotalTime = 0;
    Recompose();
}

void CFullScrControlBox::SetPlayState(BOOL playing)
{
    m_bPlaying = playing ? TRUE : FALSE;
    if (!IsWindowVisible())
        return;
    m_btnPlay.ShowWindow(m_bPlaying ? SW_HIDE : SW_SHOWNOACTIVATE);
    m_btnPause.ShowWindow(m_bPlaying ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void CFullScrControlBox::EnableSizeBtn(BOOL enable)
{
    if (m_btnSize.GetSafeHwnd())
        m_btnSize.EnableWindow(enable);
}

void CFullScrControlBox::EnableSettingBtn(BOOL enable)
{
    if (m_btnSetting.GetSafeHwnd())
        m_btnSetting.EnableWindow(enable);
}

void CFullScrControlBox::SetContinuePlay(BOOL on)
{
    if (m_btnConnect.GetSafeHwnd())
        m_btnConnect.SetCheck(on);
}

void CFullScrControlBox::ReloadTexts()
{
    size_t count = 0;
    const Control* controls = Controls(&count);
    for (size_t i = 0; i < count; ++i)
        if (controls[i].tooltip && (this->*controls[i].button).GetSafeHwnd())
            (this->*controls[i].button).SetTooltip(GetLangText(controls[i].tooltip));
    Recompose();
}

LRESULT CFullScrControlBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SLIDER_CHANGED) {
        if (wParam == ID_SLIDER_FULLSCREEN_SEEK && m_hNotifyWnd)
            ::SendMessageW(m_hNotifyWnd, WM_SLIDER_CHANGED, wParam, lParam);
        return 0;
    }
    if (message == WM_SLIDER_RELEASED && m_hNotifyWnd)
        ::SendMessageW(m_hNotifyWnd, WM_SLIDER_RELEASED, wParam, 0);
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CFullScrControlBox::OnCommand(WPARAM wParam, LPARAM /*lParam*/)
{
    const int id = LOWORD(wParam);
    if (!((id >= ID_BTN_PLAY && id <= ID_BTN_VIDEO_CONNECT) || id == ID_BTN_CHANGE))
        return FALSE;
    if (m_hNotifyWnd)
        ::SendMessageW(m_hNotifyWnd, WM_COMMAND, WPARAM(id), 0);
    return TRUE;
}

void CFullScrControlBox::OnShowWindow(BOOL show, UINT status)
{
    CWnd::OnShowWindow(show, status);
    if (show) {
        LayOut();
        Recompose();
        return;
    }
    size_t count = 0;
    const Control* controls = Controls(&count);
    for (size_t i = 0; i < count; ++i)
        (this->*controls[i].button).ShowWindow(SW_HIDE);
    m_sldProgress.ShowWindow(SW_HIDE);
    ::SendMessageW(::GetParent(m_hWnd), WM_SLIDER_RELEASED, ID_SLIDER_HIDE_POPUPS, 0);
}

void CFullScrControlBox::OnMove(int x, int y)
{
    CWnd::OnMove(x, y);
    // The controls are windows of their own: they follow a bar that moves while shown.
    if (m_bCreated && IsWindowVisible())
        LayOut();
}

void CFullScrControlBox::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    if (m_bCreated && IsWindowVisible()) {
        LayOut();
        Recompose();
    }
}

void CFullScrControlBox::LayOut()
{
    auto place = [this](CWnd& control, int x, int y, int width, int height) {
        POINT point = {g_DPIScale.Scale(x), g_DPIScale.Scale(y)};
        ClientToScreen(&point);
        control.MoveWindow(point.x, point.y, g_DPIScale.Scale(width), g_DPIScale.Scale(height),
                           TRUE);
    };
    size_t count = 0;
    const Control* controls = Controls(&count);
    for (size_t i = 0; i < count; ++i) {
        const Control& c = controls[i];
        CTButton& button = this->*c.button;
        place(button, c.x, c.y, c.width, c.height);
        bool shown = true;
        if (&button == &m_btnPlay)
            shown = !m_bPlaying;
        else if (&button == &m_btnPause)
            shown = m_bPlaying;
        else if (&button == &m_btnSetting)
            shown = false;  // it shares the zoom button's place
        button.ShowWindow(shown ? SW_SHOWNOACTIVATE : SW_HIDE);
        if (&button == &m_btnChange)
            button.EnableWindow(m_bChangeEnabled);
    }
    place(m_sldProgress, 25, 24, 643, 7);
    m_sldProgress.ShowWindow(SW_SHOWNOACTIVATE);
}

void CFullScrControlBox::Recompose()
{
    m_bDirty = 1;
    if (CDC* dc = GetDC()) {
        Compose(dc);
        ReleaseDC(dc);
    }
}

void CFullScrControlBox::OnPaint()
{
    CPaintDC dc(this);
    Compose(&dc);
}

BOOL CFullScrControlBox::OnEraseBkgnd(CDC* /*dc*/)
{
    return TRUE;
}

void CFullScrControlBox::Compose(CDC* target)
{
    if (!m_bCreated)
        return;
    CRect client;
    GetClientRect(&client);
    const int width = client.Width();
    const int height = client.Height();
    if (m_dcComposite.GetWidth() != width || m_dcComposite.GetHeight() != height)
        m_bDirty = 1;
    if (m_bDirty || !m_dcComposite.IsCreated()) {
        m_bDirty = 0;
        if (!m_dcComposite.Create(target, width, height))
            return;
        if (m_dcBackground.GetWidth() != width || m_dcBackground.GetHeight() != height)
            if (m_dcBackground.Create(target, width, height))
                GetNinePatch()->Draw(m_dcBackground, L"full_bg.9.png");
        if (m_dcBackground.IsCreated())
            m_dcComposite.GetDC()->BitBlt(0, 0, width, height, m_dcBackground.GetDC(), 0, 0,
                                          SRCCOPY);
        DrawPanelText(m_dcComposite, FormatTime(m_nPlayTime) + L" /", m_hTimeFont,
                      Scaled(kPlayTimeRect), kPlayTimeColor, 0);
        DrawPanelText(m_dcComposite, FormatTime(m_nTotalTime), m_hTimeFont,
                      Scaled(kTotalTimeRect), kTotalTimeColor, 0);
    }
    PushLayeredPicture(*this, m_dcComposite);
}
