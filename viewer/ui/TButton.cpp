#include "ui/TButton.h"

#include "ui/ControlPaint.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"
#include "ui/TextBitmap.h"

CTButton::CTButton() : CDPIWnd(this) {}

CTButton::~CTButton()
{
    if (m_hCaptionFont)
        DeleteObject(m_hCaptionFont);
    if (m_balloon.GetSafeHwnd())
        m_balloon.DestroyWindow();
    if (GetSafeHwnd())
        DestroyWindow();
}

void CTButton::LoadStates(const std::wstring* names, bool nine, RECT* normalContent)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    CRect client;
    GetClientRect(&client);
    // Normal, over, pressed, then disabled (index 4) when named.
    const int slots[4] = {kNormal, kOver, kPressed, kDisabled};
    for (int i = 0; i < 4; ++i) {
        if (i == 3 && names[i].empty())
            continue;
        COffscreenDC& surface = m_dcState[slots[i]];
        if (!surface.Create(dc, client.Width(), client.Height()))
            continue;
        if (nine)
            GetNinePatch()->Draw(surface, names[i], i == 0 ? normalContent : nullptr);
        else
            DrawSkinImage(surface, names[i]);
    }
    ReleaseDC(dc);
}

void CTButton::SetImages(const std::wstring& normal, const std::wstring& over,
                         const std::wstring& pressed, const std::wstring& disabled)
{
    const std::wstring names[4] = {normal, over, pressed, disabled};
    LoadStates(names, false, nullptr);
    Repaint();
}

void CTButton::SetImages9(const std::wstring& normal9, const std::wstring& over9,
                          const std::wstring& pressed9, const CRButtonText* caption,
                          const std::wstring& disabled9)
{
    if (caption) {
        m_strCaption = caption->strText;
        m_clrNormal = caption->clrNormal;
        m_clrOver = caption->clrOver;
        m_clrPressed = caption->clrPress;
        m_clrCaption = m_clrNormal;
        m_nCaptionSize = caption->nFontSize;
        m_nCaptionAlign = caption->nAlign;
        LOGFONTW description = {};
        description.lfHeight = 12;
        description.lfWeight = FW_NORMAL;
        description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
        description.lfQuality = ANTIALIASED_QUALITY;
        description.lfPitchAndFamily = FF_MODERN | VARIABLE_PITCH;
        GetUIFaceName().copy(description.lfFaceName, LF_FACESIZE - 1);
        if (m_hCaptionFont)
            DeleteObject(m_hCaptionFont);
        m_hCaptionFont = DPICreateFontIndirect(&description);
        m_bHasCaption = 1;
    }
    const std::wstring names[4] = {normal9, over9, pressed9, disabled9};
    RECT content = m_rcCaption;
    LoadStates(names, true, &content);
    if (caption)
        m_rcCaption = content;
    Repaint();
}

void CTButton::SetLevelImages(const std::wstring& level0, const std::wstring& level1,
                              const std::wstring& level2, const std::wstring& level3,
                              const std::wstring& level4, const std::wstring& level5, int x, int y)
{
    if (CDC* dc = GetDC()) {
        const std::wstring* names[6] = {&level0, &level1, &level2, &level3, &level4, &level5};
        for (int i = 0; i < 6; ++i)
            LoadSkinImage(dc, m_dcLevel[i], *names[i]);
        ReleaseDC(dc);
    }
    m_ptLevel = {x, y};
    m_nLevel = 0;
}

void CTButton::SetLevel(int level)
{
    m_nLevel = level;
    Repaint();
}

void CTButton::SetCheckImage(const std::wstring& name)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    CRect client;
    GetClientRect(&client);
    if (m_dcState[kChecked].Create(dc, client.Width(), client.Height()))
        DrawSkinImage(m_dcState[kChecked], name);
    ReleaseDC(dc);
}

void CTButton::SetCheck(BOOL checked)
{
    m_bChecked = checked ? TRUE : FALSE;
    m_nState = checked ? kChecked : kNormal;
    Repaint();
}

void CTButton::SetTooltip(const std::wstring& text)
{
    if (!m_bBalloonCreated && GetSafeHwnd()) {
        m_bBalloonCreated = m_balloon.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(),
                                               L"Balloon", WS_POPUP, 0, 0, 1, 1, m_hWnd, nullptr);
    }
    if (m_bBalloonCreated)
        m_balloon.SetText(text);
    m_strTooltip = text;
}

void CTButton::Repaint()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Compose(dc); });
}

void CTButton::OnPaint()
{
    CPaintDC dc(this);
    Compose(&dc);
}

BOOL CTButton::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CTButton::Compose(CDC* target)
{
    CRect client;
    GetClientRect(&client);
    // The whole face, caption included, is composed once per change into a fresh picture, so
    // that repaints push the same pixels and the caption is blended exactly once.
    if (RenewFace(*this, target, m_dcFace, m_bDirty)) {
        const COffscreenDC& state = m_dcState[m_nState >= 0 && m_nState <= 4 ? m_nState : 0];
        BlendSurface(m_dcFace, 0, 0, client.Width(), client.Height(), state);
        if (m_nLevel >= 0 && m_nLevel <= 5) {
            const COffscreenDC& level = m_dcLevel[m_nLevel];
            BlendSurface(m_dcFace, m_ptLevel.x, m_ptLevel.y, level.GetWidth(), level.GetHeight(),
                         level);
        }
        if (m_bHasCaption) {
            if (m_nState == kNormal)
                m_clrCaption = m_clrNormal;
            else if (m_nState == kOver)
                m_clrCaption = m_clrOver;
            else if (m_nState == kPressed || m_nState == kChecked)
                m_clrCaption = m_clrPressed;
            SIZE size = {0, 0};
            if (HBITMAP text =
                    CreateTextBitmap(m_strCaption, m_hCaptionFont, m_clrCaption, &size)) {
                int x = m_rcCaption.left;
                int y = m_rcCaption.top;
                if (m_nCaptionAlign == 1) {
                    y += (m_rcCaption.bottom - m_rcCaption.top - g_DPIScale.Scale(m_nCaptionSize)) /
                         2;
                    x += (m_rcCaption.right - m_rcCaption.left - size.cx) / 2;
                }
                BlendTextBitmap(m_dcFace, text, size, x, y);
                DeleteObject(text);
            }
        }
    }
    PushLayeredPicture(*this, m_dcFace);
}

void CTButton::OnLButtonDown(UINT flags, CPoint point)
{
    if (!m_nLock) {
        m_bPressed = TRUE;
        m_nState = kPressed;
        Repaint();
        // Held while the button is down, so that the release comes back here wherever it is.
        SetCapture();
    }
    CWnd::OnLButtonDown(flags, point);
}

void CTButton::OnLButtonUp(UINT flags, CPoint point)
{
    CRect client;
    GetClientRect(&client);
    const bool inside = client.PtInRect(point) != 0;
    const bool click = m_bPressed && inside;
    m_bPressed = FALSE;
    if (GetCapture() == this)
        ReleaseCapture();
    // A click is a press and a release on the button; the owner hears of it before the look
    // changes.
    if (click) {
        if (CWnd* owner = GetParent())
            ::SendMessageW(owner->GetSafeHwnd(), WM_COMMAND, WPARAM(LOWORD(m_nCommandId)), 0);
    }
    if (!m_nLock && GetSafeHwnd() && m_nState != kDisabled) {
        m_nState = m_bChecked ? kChecked : (inside ? kOver : kNormal);
        Repaint();
    }
    CWnd::OnLButtonUp(flags, point);
}

void CTButton::OnMouseMove(UINT flags, CPoint point)
{
    CRect client;
    GetClientRect(&client);
    const bool inside = client.PtInRect(point) != 0;
    if (inside && !m_strTooltip.empty() && m_bBalloonCreated && !m_balloon.IsWindowVisible()) {
        CRect window;
        GetWindowRect(&window);
        ::SetWindowPos(m_balloon.GetSafeHwnd(), HWND_TOPMOST, window.left + 8, window.bottom + 8, 0,
                       0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    if (inside && !m_bTracking) {
        TRACKMOUSEEVENT track = {sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
        m_bTracking = TrackMouseEvent(&track);
    }
    if (inside && !m_nLock && m_nState == kNormal) {
        m_bHover = 1;
        m_nState = kOver;
        Repaint();
    }
    if (!inside)
        HideBalloon();
    CWnd::OnMouseMove(flags, point);
}

void CTButton::OnMouseLeave()
{
    m_bHover = 0;
    m_bTracking = FALSE;
    if (!m_nLock && !m_bPressed && m_nState != kDisabled && m_nState != RestState()) {
        m_nState = RestState();
        Repaint();
    }
    HideBalloon();
    CWnd::OnMouseLeave();
}

void CTButton::HideBalloon()
{
    if (!m_strTooltip.empty() && m_bBalloonCreated && m_balloon.IsWindowVisible())
        m_balloon.ShowWindow(SW_HIDE);
}

int CTButton::OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message)
{
    if (!m_bMouseActivate)
        return MA_NOACTIVATE;
    return CWnd::OnMouseActivate(topLevel, hitTest, message);
}

void CTButton::OnEnable(BOOL enable)
{
    CWnd::OnEnable(enable);
    if (enable) {
        if (m_nState == kDisabled) {
            m_nState = RestState();
            Repaint();
        }
    } else if (m_dcState[kDisabled].IsCreated()) {
        m_bPressed = FALSE;
        m_nState = kDisabled;
        Repaint();
    }
}

void CTButton::OnShowWindow(BOOL show, UINT status)
{
    CWnd::OnShowWindow(show, status);
    if (show)
        return;
    // A button hidden while held (its panel closed under the pointer) lets go of the mouse and
    // comes back at rest.
    if (GetCapture() == this)
        ReleaseCapture();
    m_bPressed = FALSE;
    m_bHover = 0;
    m_bTracking = FALSE;
    if (m_nState != kDisabled)
        m_nState = RestState();
    Repaint();
    HideBalloon();
}
