#include "ui/RButton.h"

#include <cwchar>

#include "ui/ControlPaint.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace {

// A surface of the client size in design units, compatible with dc.
bool CreateDesignSized(COffscreenDC& surface, CDC* dc, const CRect& client)
{
    surface.Release();
    return surface.Create(dc, g_DPIScale.Unscale(client.Width()),
                          g_DPIScale.Unscale(client.Height())) != 0;
}

}  // namespace

CRButton::CRButton() : CDPIWnd(this) {}

CRButton::~CRButton()
{
    if (m_balloon.GetSafeHwnd())
        m_balloon.DestroyWindow();
    if (GetSafeHwnd())
        DestroyWindow();
    if (m_hCaptionFont)
        DeleteObject(m_hCaptionFont);
}

void CRButton::CopyBackground(CDC* dc, CDC* parentDC, bool fromCorner)
{
    const POINT corner = {1, 0};
    if (CopyParentBackground(*this, dc, parentDC, m_dcBackground, fromCorner ? &corner : nullptr))
        m_bHasBackground = TRUE;
}

void CRButton::SetImages(const std::wstring& normal, const std::wstring& over,
                         const std::wstring& pressed, CDC* parentDC, const std::wstring& disabled,
                         int backgroundMode)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    CRect client;
    GetClientRect(&client);
    CopyBackground(dc, parentDC, backgroundMode == 1);
    const std::pair<State, const std::wstring*> pictures[] = {
        {kNormal, &normal}, {kOver, &over}, {kPressed, &pressed}, {kDisabled, &disabled}};
    for (auto [state, name] : pictures) {
        if (state == kDisabled && name->empty())
            continue;
        if (CreateDesignSized(m_dcState[state], dc, client))
            DrawSkinImage(m_dcState[state], *name);
    }
    ReleaseDC(dc);
    Redraw();
}

void CRButton::SetImages9(const std::wstring& normal9, const std::wstring& over9,
                          const std::wstring& pressed9, CDC* parentDC,
                          const CRButtonText* caption, const std::wstring& disabled9)
{
    m_dcFace.Release();
    CDC* dc = GetDC();
    if (!dc)
        return;
    CRect client;
    GetClientRect(&client);
    CopyBackground(dc, parentDC, false);
    if (caption) {
        m_strCaption = caption->strText;
        m_clrCaption[0] = caption->clrNormal;
        m_clrCaption[1] = caption->clrDisabled;
        m_clrCaption[2] = caption->clrOver;
        m_clrCaption[3] = caption->clrPress;
        m_nFontSize = caption->nFontSize;
        m_nAlign = caption->nAlign;
        LOGFONTW description = {};
        description.lfHeight = g_DPIScale.Scale(m_nFontSize);
        description.lfWeight = FW_NORMAL;
        description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
        std::wcsncpy(description.lfFaceName, GetUIFaceName().c_str(), LF_FACESIZE - 1);
        if (HFONT font = CreateFontIndirectW(&description)) {
            if (m_hCaptionFont)
                DeleteObject(m_hCaptionFont);
            m_hCaptionFont = font;
        }
        m_bHasCaption = TRUE;
    }
    const std::pair<State, const std::wstring*> pictures[] = {
        {kNormal, &normal9}, {kOver, &over9}, {kPressed, &pressed9}, {kDisabled, &disabled9}};
    for (auto [state, name] : pictures) {
        if (state == kDisabled && name->empty())
            continue;
        if (!CreateDesignSized(m_dcState[state], dc, client))
            continue;
        if (state == kNormal && m_bHasCaption) {
            // The content area is found in design units and placed in pixels.
            RECT content = {0, 0, m_dcState[state].GetWidth(), m_dcState[state].GetHeight()};
            GetNinePatch()->Draw(m_dcState[state], *name, &content);
            g_DPIScale.ScaleRect(&content);
            m_rcCaption = content;
        } else {
            GetNinePatch()->Draw(m_dcState[state], *name);
        }
    }
    ReleaseDC(dc);
    Redraw();
}

void CRButton::SetLevelImages(const std::wstring& level0, const std::wstring& level1,
                              const std::wstring& level2, const std::wstring& level3,
                              const std::wstring& level4, const std::wstring& level5,
                              const std::wstring& disabled, int x, int y)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    const std::wstring* names[] = {&level0, &level1, &level2, &level3,
                                   &level4, &level5, &disabled};
    for (int i = 0; i < 7; ++i)
        LoadSkinImage(dc, m_dcLevel[i], *names[i]);
    ReleaseDC(dc);
    m_ptLevel = {x, y};
    m_nLevel = 0;
    Redraw();
}

void CRButton::SetLevel(int level)
{
    m_nLevel = level;
    Redraw();
}

void CRButton::SetCheckImage(const std::wstring& name)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    CRect client;
    GetClientRect(&client);
    if (CreateDesignSized(m_dcState[kChecked], dc, client))
        DrawSkinImage(m_dcState[kChecked], name);
    ReleaseDC(dc);
}

void CRButton::SetCheckImage9(const std::wstring& name9)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    CRect client;
    GetClientRect(&client);
    if (m_dcState[kChecked].Create(dc, client.Width(), client.Height()))
        GetNinePatch()->Draw(m_dcState[kChecked], name9);
    ReleaseDC(dc);
}

void CRButton::SetCheck(BOOL check)
{
    if (m_nState == kDisabled)
        return;
    m_nState = check ? kChecked : kNormal;
    m_bChecked = check ? TRUE : FALSE;
    Redraw();
}

void CRButton::SetTooltip(const std::wstring& text)
{
    if (!m_bBalloonCreated && GetSafeHwnd())
        m_bBalloonCreated = m_balloon.CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                               PopupWindowClass(), L"Balloon", WS_POPUP, 0, 0, 1,
                                               1, m_hWnd, nullptr);
    if (m_bBalloonCreated)
        m_balloon.SetText(text);
    m_strTooltip = text;
}

void CRButton::SetTooltipOffset(int dy, int dx)
{
    m_nTooltipDy = dy;
    m_nTooltipDx = dx;
}

void CRButton::SetState(int state)
{
    m_nState = state;
    Redraw();
}

void CRButton::Redraw()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Paint(dc); });
}

void CRButton::OnPaint()
{
    CPaintDC dc(this);
    Paint(&dc);
}

void CRButton::Paint(CDC* target)
{
    CRect client;
    GetClientRect(&client);
    if (FitSurface(m_dcFace, target, client.Width(), client.Height()))
        m_bDirty = 1;
    if (!m_dcFace.IsCreated())
        return;
    if (m_bDirty) {
        m_bDirty = 0;
        Compose(target, client.Width(), client.Height());
    }
    target->BitBlt(0, 0, client.Width(), client.Height(), m_dcFace.GetDC(), 0, 0, SRCCOPY);
    if (m_bHasCaption)
        DrawCaption(target);
}

void CRButton::Compose(CDC*, int width, int height)
{
    CDC* face = m_dcFace.GetDC();
    face->FillSolidRect(0, 0, width, height, RGB(0, 0, 0));
    if (m_dcBackground.IsCreated())
        face->BitBlt(0, 0, width, height, m_dcBackground.GetDC(), 0, 0, SRCCOPY);
    // A state without a picture (or one out of range) shows the background alone.
    if (m_nState >= kNormal && m_nState <= kDisabled)
        BlendSurface(m_dcFace, 0, 0, width, height, m_dcState[m_nState]);
    if (m_nLevel >= 0 && m_nLevel <= 6) {
        const COffscreenDC& icon = m_dcLevel[m_nState == kDisabled ? 6 : m_nLevel];
        BlendSurface(m_dcFace, m_ptLevel.x, m_ptLevel.y, icon.GetWidth(), icon.GetHeight(), icon);
    }
}

void CRButton::DrawCaption(CDC* target)
{
    COLORREF color = m_clrCaption[0];
    if (m_nState == kOver)
        color = m_clrCaption[2];
    else if (m_nState == kDisabled)
        color = m_clrCaption[1];
    else if (m_nState == kPressed || m_nState == kChecked)
        color = m_clrCaption[3];
    target->SetTextColor(color);
    target->SetBkMode(TRANSPARENT);
    HGDIOBJ old = target->SelectObject(HGDIOBJ(m_hCaptionFont));
    CRect area = m_rcCaption;
    if (m_nAlign == 1) {
        area.top += (area.Height() - g_DPIScale.Scale(m_nFontSize)) / 2;
        target->DrawText(m_strCaption, &area, DT_CENTER | DT_SINGLELINE);
    } else {
        target->DrawText(m_strCaption, &area, DT_LEFT | DT_TOP | DT_SINGLELINE);
    }
    if (old)
        target->SelectObject(old);
}

void CRButton::OnLButtonDown(UINT, CPoint)
{
    if (m_bLock)
        return;
    m_nState = kPressed;
    // A press without a move before it still gets the button back to normal when the pointer
    // goes.
    TrackLeave();
    Redraw();
}

void CRButton::OnLButtonUp(UINT, CPoint)
{
    // Posted, so the parent handles the click after the button has repainted.
    if (CWnd* parent = GetParent())
        ::PostMessageW(parent->GetSafeHwnd(), WM_COMMAND, WPARAM(UINT(GetDlgCtrlID()) & 0xFFFF),
                       0);
    if (m_bLock)
        return;
    // A checked button with a checked picture stays checked (its owner unchecks it); it shows
    // the checked picture again rather than staying pressed.
    m_nState = m_dcState[kChecked].IsCreated() && m_bChecked ? kChecked : kOver;
    Redraw();
}

void CRButton::TrackLeave()
{
    if (m_bTracking)
        return;
    TRACKMOUSEEVENT track = {sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
    if (TrackMouseEvent(&track))
        m_bTracking = TRUE;
}

void CRButton::ShowBalloon()
{
    CRect button;
    GetWindowRect(&button);
    CRect balloon;
    m_balloon.GetWindowRect(&balloon);
    int x = button.left + m_nTooltipDx + 8;
    int y = button.bottom + m_nTooltipDy + 8;
    int right = GetSystemMetrics(SM_CXSCREEN);
    if (HMONITOR monitor = MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONULL)) {
        MONITORINFO info = {};
        info.cbSize = sizeof(MONITORINFO);
        if (GetMonitorInfoW(monitor, &info))
            right = info.rcMonitor.right;
    }
    if (x + balloon.Width() > right)
        x -= x + balloon.Width() - right;
    ::SetWindowPos(m_balloon.GetSafeHwnd(), HWND_TOPMOST, x, y, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CRButton::OnMouseMove(UINT, CPoint)
{
    bool balloon = !m_strTooltip.empty() && m_bBalloonCreated;
    if (balloon)
        ShowBalloon();
    if (!m_bLock && m_nState == kNormal) {
        m_nState = kOver;
        TrackLeave();
        Redraw();
    }
    // A shown balloon needs the leave to be hidden again, also on a locked button; so do the
    // hover and checked looks.
    if (balloon || (!m_bLock && (m_nState == kOver || m_nState == kChecked)))
        TrackLeave();
}

void CRButton::OnMouseLeave()
{
    m_bTracking = FALSE;
    if (!m_bLock && !m_bChecked && m_nState != kDisabled) {
        m_nState = kNormal;
        Redraw();
    }
    if (!m_strTooltip.empty() && m_bBalloonCreated)
        m_balloon.ShowWindow(SW_HIDE);
}

void CRButton::OnEnable(BOOL enable)
{
    CWnd::OnEnable(enable);
    if (enable) {
        if (m_nState == kDisabled) {
            m_nState = m_bChecked ? kChecked : kNormal;
            Redraw();
        }
    } else if (m_dcState[kDisabled].IsCreated()) {
        m_nState = kDisabled;
        Redraw();
    }
}

int CRButton::OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message)
{
    if (m_bMouseActivate)
        return CWnd::OnMouseActivate(topLevel, hitTest, message);
    return MA_NOACTIVATE;
}
