#include "ui/TSliderCtrl.h"

#include <cmath>

#include "ui/ControlMessages.h"
#include "ui/ControlPaint.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/SkinImage.h"

CTSliderCtrl::CTSliderCtrl() : CDPIWnd(this) {}

CTSliderCtrl::~CTSliderCtrl()
{
    if (m_balloon.GetSafeHwnd())
        m_balloon.DestroyWindow();
    if (GetSafeHwnd())
        DestroyWindow();
}

int CTSliderCtrl::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    GetClientRect(&m_rcClient);
    m_balloon.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), L"Balloon", WS_POPUP,
                       0, 0, 1, 1, m_hWnd, nullptr);
    m_balloon.SetNumberText(50);
    return 0;
}

float CTSliderCtrl::Clamp(float value) const
{
    return value < m_fMin ? m_fMin : (value > m_fMax ? m_fMax : value);
}

void CTSliderCtrl::SetValue(float value)
{
    m_fPos = Clamp(value);
    Repaint();
}

void CTSliderCtrl::SetMax(float maximum)
{
    m_fMax = maximum > m_fMin ? maximum : m_fMin + 1.0f;
    m_fPos = Clamp(m_fPos);
    m_bDirty = 1;
}

int CTSliderCtrl::ReportedValue() const
{
    int rounded = int(std::floor(m_fPos + 0.5f));
    return m_bHorizontal ? rounded : int(m_fMax - float(rounded));
}

int CTSliderCtrl::Length() const
{
    int along = m_bHorizontal ? m_rcClient.Width() : m_rcClient.Height();
    return along - 2 * m_nHalfThumb;
}

void CTSliderCtrl::SetImages(const std::wstring& bar9, const std::wstring& background9,
                             const std::wstring& thumbNormal, const std::wstring& thumbOver,
                             const std::wstring& thumbPressed, int barWidth, int barHeight)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    GetClientRect(&m_rcClient);
    const int w = m_rcClient.Width(), h = m_rcClient.Height();
    m_bHorizontal = h < w;
    const std::wstring* thumbs[3] = {&thumbNormal, &thumbOver, &thumbPressed};
    for (int i = 0; i < 3; ++i)
        if (!thumbs[i]->empty())
            LoadSkinImage(dc, m_dcThumb[i], *thumbs[i]);
    m_dcBar.Create(dc, w, h);
    m_dcBack.Create(dc, w, h);
    // The bar's thickness is given in design units like every other size of the panels.
    const int across = m_bHorizontal ? h : w;
    const int thickness = g_DPIScale.Scale(m_bHorizontal ? barHeight : barWidth);
    const int margin = std::max(0, (across - thickness) / 2);
    const int t = across - 2 * margin;
    for (auto [surface, name] : {std::pair{&m_dcBar, &bar9}, {&m_dcBack, &background9}}) {
        COffscreenDC strip;
        if (!strip.Create(dc, m_bHorizontal ? w : t, m_bHorizontal ? t : h))
            continue;
        GetNinePatch()->Draw(strip, *name);
        surface->GetDC()->BitBlt(m_bHorizontal ? 0 : margin, m_bHorizontal ? margin : 0,
                                 strip.GetWidth(), strip.GetHeight(), strip.GetDC(), 0, 0, SRCCOPY);
    }
    const COffscreenDC& thumb = m_dcThumb[0];
    if (thumb.IsCreated()) {
        int length = m_bHorizontal ? thumb.GetWidth() : thumb.GetHeight();
        m_nHalfThumb = (length + 1) / 2;
        // The thumb sits centred across the slider, whatever the scale.
        m_nThumbOffset = m_bHorizontal && thumb.GetHeight() < h ? (h - thumb.GetHeight()) / 2 : 0;
    }
    ReleaseDC(dc);
    Repaint();
}

void CTSliderCtrl::Repaint()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Compose(dc); });
}

void CTSliderCtrl::OnPaint()
{
    CPaintDC dc(this);
    Compose(&dc);
}

void CTSliderCtrl::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    GetClientRect(&m_rcClient);
    Repaint();
}

void CTSliderCtrl::Compose(CDC* target)
{
    const int w = m_rcClient.Width(), h = m_rcClient.Height();
    if (RenewFace(*this, target, m_dcComposite, m_bDirty)) {
        m_fPaintedPos = m_fPos;
        const COffscreenDC& normal = m_dcThumb[0];
        const int length = Length();
        const int f = length > 0 && m_fMax > 0.0f
                          ? int(float(length) * std::floor(m_fPos + 0.5f) / m_fMax)
                          : 0;
        const int odd =
            normal.IsCreated() && (m_bHorizontal ? normal.GetWidth() : normal.GetHeight()) % 2 ? 1
                                                                                               : 0;
        // Every layer is blended over the one below, so that the thumb's transparent corners
        // show the track and the bar rather than cutting holes into them.
        if (m_bHorizontal) {
            BlendSurface(m_dcComposite, 0, 0, w - odd, h, m_dcBack);
            if (f > 0)
                BlendSurface(m_dcComposite, 0, 0, f, h, m_dcBar);
        } else {
            BlendSurface(m_dcComposite, 0, 0, w, h - odd, m_dcBack);
            if (h - odd - f > 0)
                BlendSurface(m_dcComposite, 0, f, w, h - odd - f, m_dcBar);
        }
        if (normal.IsCreated()) {
            const COffscreenDC& look = m_dcThumb[m_nLook == 2 && m_dcThumb[2].IsCreated() ? 2 : 0];
            POINT at = m_bHorizontal ? POINT{f, m_nThumbOffset} : POINT{0, f};
            m_rcThumb = {at.x, at.y, at.x + look.GetWidth(), at.y + look.GetHeight()};
            BlendSurface(m_dcComposite, at.x, at.y, look.GetWidth(), look.GetHeight(), look);
        }
    }
    PushLayeredPicture(*this, m_dcComposite);
}

void CTSliderCtrl::OnLButtonDown(UINT flags, CPoint point)
{
    if (m_nStyle == 0) {
        m_bDragging = TRUE;
        m_nLook = 2;
        const int c = Along(point);
        m_nLast = c;
        SetCapture();
        if (!PtInRect(&m_rcThumb, point) && Length() > 0) {
            m_fPos = Clamp(float(c - m_nHalfThumb + 1) * m_fMax / float(Length()));
            if (CWnd* owner = GetParent())
                ::PostMessageW(owner->GetSafeHwnd(), WM_SLIDER_CHANGED, WPARAM(m_nNotifyId),
                               LPARAM(ReportedValue()));
        }
        Repaint();
    }
    CWnd::OnLButtonDown(flags, point);
}

void CTSliderCtrl::OnLButtonUp(UINT flags, CPoint point)
{
    if (m_nStyle == 0) {
        if (GetCapture() == this)
            ReleaseCapture();
        m_bDragging = FALSE;
        m_nLook = 0;
        if (CWnd* owner = GetParent())
            ::SendMessageW(owner->GetSafeHwnd(), WM_SLIDER_RELEASED, WPARAM(m_nNotifyId), 0);
        if (GetSafeHwnd())
            Repaint();
    }
    CWnd::OnLButtonUp(flags, point);
}

void CTSliderCtrl::OnMouseMove(UINT flags, CPoint point)
{
    if (m_nStyle == 0) {
        m_ptLast = point;
        if (!m_bTracking) {
            TRACKMOUSEEVENT track = {sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
            m_bTracking = TrackMouseEvent(&track);
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
        }
        if (m_bDragging && Length() > 0) {
            const int c = Along(point);
            m_fPos = Clamp(m_fPos + float(c - m_nLast) * m_fMax / float(Length()));
            if (CWnd* owner = GetParent())
                ::PostMessageW(owner->GetSafeHwnd(), WM_SLIDER_CHANGED, WPARAM(m_nNotifyId),
                               LPARAM(ReportedValue()));
            m_nLast = c;
            Repaint();
        }
        ShowBalloon(point, m_bDragging);
    }
    CWnd::OnMouseMove(flags, point);
}

void CTSliderCtrl::OnMouseLeave()
{
    m_bTracking = FALSE;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    if (m_balloon.GetSafeHwnd() && m_balloon.IsWindowVisible())
        m_balloon.ShowWindow(SW_HIDE);
    CWnd::OnMouseLeave();
}

int CTSliderCtrl::OnMouseActivate(CWnd*, UINT, UINT)
{
    return MA_NOACTIVATE;
}

void CTSliderCtrl::UpdateBalloon()
{
    // The balloon belongs over the thumb only while the pointer is on it: a value that moved
    // the thumb away from where the pointer rests hides it, whether or not a drag is on.
    ShowBalloon(m_ptLast, false);
}

void CTSliderCtrl::ShowBalloon(POINT point, bool dragging)
{
    if (!m_balloon.GetSafeHwnd())
        return;
    if (!PtInRect(&m_rcThumb, point) && !dragging) {
        if (m_balloon.IsWindowVisible())
            m_balloon.ShowWindow(SW_HIDE);
        return;
    }
    if (m_nBalloonMode == 0)
        return;
    const int value = ReportedValue();
    if (value != m_nBalloonValue) {
        m_nBalloonValue = value;
        if (m_nBalloonMode == 1)
            m_balloon.SetNumberText(value);
        else
            m_balloon.SetSpeedText(value);
    }
    CRect balloon;
    m_balloon.GetClientRect(&balloon);
    POINT thumb = {m_rcThumb.left, m_rcThumb.top};
    ClientToScreen(&thumb);
    POINT at = m_bHorizontal ? POINT{thumb.x + balloon.Width() / -3, thumb.y - balloon.Height()}
                             : POINT{thumb.x - balloon.Width(), thumb.y + balloon.Height() / -3};
    ::SetWindowPos(m_balloon.GetSafeHwnd(), HWND_TOPMOST, at.x, at.y, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}
