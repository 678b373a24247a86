#include "ui/RSliderCtrl.h"

#include <algorithm>
#include <cmath>

#include "ui/ControlMessages.h"
#include "ui/ControlPaint.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/SkinImage.h"

CRSliderCtrl::CRSliderCtrl() : CDPIWnd(this) {}

CRSliderCtrl::~CRSliderCtrl()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

void CRSliderCtrl::SetImages9(const std::wstring& bar9, const std::wstring& background9,
                              const std::wstring& thumbNormal, const std::wstring& thumbOver,
                              const std::wstring& thumbPressed, int barWidth, int barHeight)
{
    m_pictures = {true, true, bar9, background9, {thumbNormal, thumbOver, thumbPressed},
                  barWidth, barHeight};
    Build(nullptr);
    Redraw();
}

void CRSliderCtrl::SetImages(const std::wstring& full, const std::wstring& empty,
                             const std::wstring& thumbNormal, const std::wstring& thumbOver,
                             const std::wstring& thumbPressed, CDC* parentBackground,
                             int barWidth, int barHeight)
{
    m_pictures = {true, false, full, empty, {thumbNormal, thumbOver, thumbPressed}, barWidth,
                  barHeight};
    m_dcParent.Release();
    Build(parentBackground);
    Redraw();
}

void CRSliderCtrl::Build(CDC* parentBackground)
{
    if (!m_pictures.given)
        return;
    CDC* dc = GetDC();
    if (!dc)
        return;
    GetClientRect(&m_rcClient);
    const int cw = m_rcClient.right - m_rcClient.left;
    const int ch = m_rcClient.bottom - m_rcClient.top;
    m_bHorizontal = ch < cw ? 1 : 0;
    for (int i = 0; i < 3; ++i) {
        if (m_pictures.thumb[i].empty())
            m_dcThumb[i].Release();
        else
            LoadSkinImage(dc, m_dcThumb[i], m_pictures.thumb[i]);
    }
    m_dcBar.Create(dc, cw, ch);
    m_dcBackground.Create(dc, cw, ch);
    if (m_pictures.nine) {
        // The bars are drawn at their thickness across the slider's middle.
        const int margin = m_bHorizontal ? (ch - m_pictures.barHeight) / 2
                                         : (cw - m_pictures.barWidth) / 2;
        const int thickness = (m_bHorizontal ? ch : cw) - 2 * margin;
        for (auto [surface, name] : {std::pair{&m_dcBar, &m_pictures.bar},
                                     {&m_dcBackground, &m_pictures.background}}) {
            COffscreenDC strip(dc, m_bHorizontal ? cw : thickness, m_bHorizontal ? thickness : ch);
            GetNinePatch()->Draw(strip, *name);
            if (strip.IsCreated() && surface->IsCreated())
                surface->GetDC()->BitBlt(m_bHorizontal ? 0 : margin, m_bHorizontal ? margin : 0,
                                         strip.GetWidth(), strip.GetHeight(), strip.GetDC(), 0,
                                         0, SRCCOPY);
        }
    } else {
        DrawSkinImage(m_dcBar, m_pictures.bar);
        DrawSkinImage(m_dcBackground, m_pictures.background);
        CopyParentBackground(*this, dc, parentBackground, m_dcParent);
    }
    // The thumb is centred across the slider.
    const COffscreenDC& thumb = m_dcThumb[0];
    m_nHalfThumb = 0;
    m_nThumbOffset = 0;
    if (thumb.IsCreated()) {
        const int along = m_bHorizontal ? thumb.GetWidth() : thumb.GetHeight();
        const int across = m_bHorizontal ? thumb.GetHeight() : thumb.GetWidth();
        const int room = m_bHorizontal ? ch : cw;
        m_nHalfThumb = (along + 1) / 2;
        if (across < room)
            m_nThumbOffset = (room - across) / 2;
    }
    ReleaseDC(dc);
    m_dcComposite.Release();
    m_bDirty = 1;
}

int CRSliderCtrl::Travel() const
{
    const int length = m_bHorizontal ? m_rcClient.right - m_rcClient.left
                                     : m_rcClient.bottom - m_rcClient.top;
    return length - 2 * m_nHalfThumb;
}

void CRSliderCtrl::Clamp()
{
    if (!(m_fPos >= m_fMin))  // also a position that is not a number
        m_fPos = m_fMin;
    if (m_fPos > m_fMax)
        m_fPos = m_fMax;
}

LPARAM CRSliderCtrl::Value() const
{
    const float rounded = std::floor(m_fPos + 0.5f);
    return m_bHorizontal ? LPARAM(rounded) : LPARAM(m_fMax - rounded);
}

void CRSliderCtrl::SetPos(float value)
{
    m_fPos = value;
    Clamp();
    Redraw();
}

void CRSliderCtrl::Redraw()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Paint(dc); });
}

void CRSliderCtrl::OnPaint()
{
    CPaintDC dc(this);
    Paint(&dc);
}

void CRSliderCtrl::Paint(CDC* target)
{
    GetClientRect(&m_rcClient);
    const int cw = m_rcClient.right - m_rcClient.left;
    const int ch = m_rcClient.bottom - m_rcClient.top;
    if (FitSurface(m_dcComposite, target, cw, ch))
        m_bDirty = 1;
    if (!m_dcComposite.IsCreated())
        return;
    if (m_bDirty) {
        m_bDirty = 0;
        Compose(target);
    }
    target->BitBlt(0, 0, cw, ch, m_dcComposite.GetDC(), 0, 0, SRCCOPY);
}

void CRSliderCtrl::Compose(CDC*)
{
    const int cw = m_rcClient.right - m_rcClient.left;
    const int ch = m_rcClient.bottom - m_rcClient.top;
    const int travel = Travel();
    // A slider no longer than its thumb has no track to fill.
    const int f = travel > 0 ? int(float(travel) * std::floor(m_fPos + 0.5f) / m_fMax) : 0;
    m_fPaintedPos = m_fPos;
    const COffscreenDC& normal = m_dcThumb[0];
    const int odd = normal.IsCreated() &&
                            (m_bHorizontal ? normal.GetWidth() : normal.GetHeight()) % 2 == 1
                        ? 1
                        : 0;
    CDC* out = m_dcComposite.GetDC();
    out->FillSolidRect(0, 0, cw, ch, RGB(0, 0, 0));
    const bool parent = m_dcParent.IsCreated();
    // With a parent background every layer is blended over it, else copied.
    auto layer = [&](const COffscreenDC& source, int x, int y, int w, int h, int sw, int sh) {
        if (!source.IsCreated() || w <= 0 || h <= 0)
            return;
        if (parent) {
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            out->AlphaBlend(x, y, w, h, source.GetDC(), 0, 0, sw, sh, blend);
        } else {
            out->StretchBlt(x, y, w, h, source.GetDC(), 0, 0, sw, sh, SRCCOPY);
        }
    };
    if (parent)
        out->StretchBlt(0, 0, cw, ch, m_dcParent.GetDC(), 0, 0, m_dcParent.GetWidth(),
                        m_dcParent.GetHeight(), SRCCOPY);
    const int bw = m_dcBar.GetWidth(), bh = m_dcBar.GetHeight();
    if (m_bHorizontal) {
        layer(m_dcBackground, 0, 0, cw - odd, ch, m_dcBackground.GetWidth(),
              m_dcBackground.GetHeight());
        if (parent)
            layer(m_dcBar, 0, 0, f, ch, f, bh);
        else
            layer(m_dcBar, 0, 0, f, ch, bw, bh);
    } else {
        layer(m_dcBackground, 0, 0, cw, ch - odd, m_dcBackground.GetWidth(),
              m_dcBackground.GetHeight());
        layer(m_dcBar, 0, f, cw, ch - odd - f, bw, bh);
    }
    if (!normal.IsCreated() || m_nStyle == 2) {
        SetRectEmpty(&m_rcThumb);
        return;
    }
    const COffscreenDC& look =
        m_nLook == 2 && m_dcThumb[2].IsCreated() ? m_dcThumb[2] : normal;
    if (m_bHorizontal)
        SetRect(&m_rcThumb, f, m_nThumbOffset, f + normal.GetWidth(),
                m_nThumbOffset + normal.GetHeight());
    else
        SetRect(&m_rcThumb, m_nThumbOffset, f, m_nThumbOffset + normal.GetWidth(),
                f + normal.GetHeight());
    // Blended, so that the thumb's transparent edges show the bar.
    BlendSurface(m_dcComposite, m_rcThumb.left, m_rcThumb.top, look.GetWidth(), look.GetHeight(),
                 look);
}

void CRSliderCtrl::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    GetClientRect(&m_rcClient);
    // The bars follow the new size; the parent's pixels are stretched until given again.
    Build(nullptr);
    Redraw();
}

void CRSliderCtrl::OnLButtonDown(UINT flags, CPoint point)
{
    if (m_nStyle != 0) {
        CWnd::OnLButtonDown(flags, point);
        return;
    }
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    m_bDragging = TRUE;
    m_nLook = 2;
    const int c = Along(point);
    SetCapture();
    if (PtInRect(&m_rcThumb, point)) {
        m_nLastCoordinate = c;
        Redraw();
        return;
    }
    const int travel = Travel();
    if (travel > 0) {
        m_fPos = float(c - m_nHalfThumb + 1) * m_fMax / float(travel);
        Clamp();
    }
    if (CWnd* parent = GetParent())
        ::SendMessageW(parent->GetSafeHwnd(), WM_SLIDER_CHANGED, WPARAM(m_nNotifyId), Value());
    m_nLastCoordinate = c;
    Redraw();
}

void CRSliderCtrl::OnMouseMove(UINT flags, CPoint point)
{
    if (m_nStyle != 0) {
        CWnd::OnMouseMove(flags, point);
        return;
    }
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    if (!m_bTracking) {
        TRACKMOUSEEVENT track = {sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
        m_bTracking = TrackMouseEvent(&track);
    }
    if (!m_bDragging)
        return;
    const int c = Along(point);
    const int travel = Travel();
    if (travel > 0) {
        m_fPos += float(c - m_nLastCoordinate) * m_fMax / float(travel);
        Clamp();
    }
    m_nLastCoordinate = c;
    if (CWnd* parent = GetParent())
        ::PostMessageW(parent->GetSafeHwnd(), WM_SLIDER_CHANGED, WPARAM(m_nNotifyId), Value());
    Redraw();
}

void CRSliderCtrl::OnLButtonUp(UINT flags, CPoint point)
{
    if (m_nStyle != 0) {
        CWnd::OnLButtonUp(flags, point);
        return;
    }
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    if (::GetCapture() == m_hWnd)
        ReleaseCapture();
    const BOOL pressed = m_bDragging;
    m_bDragging = FALSE;
    m_nLook = 0;
    // Only the release of a press on this slider ends a seek: a stray release (a press that
    // began elsewhere) must not resume playback.
    if (pressed)
        if (CWnd* parent = GetParent())
            ::SendMessageW(parent->GetSafeHwnd(), WM_SLIDER_RELEASED, WPARAM(m_nNotifyId), 0);
    Redraw();
}

void CRSliderCtrl::OnMouseLeave()
{
    m_bTracking = FALSE;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

int CRSliderCtrl::OnMouseActivate(CWnd*, UINT, UINT)
{
    return MA_NOACTIVATE;
}
