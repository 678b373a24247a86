#include "playback/GPSViewer.h"

#include <algorithm>
#include <cstdint>

#include "ui/DPIScale.h"

namespace {

const COLORREF kGridColour = RGB(58, 60, 67);
const COLORREF kPositionColour = RGB(255, 138, 72);
// The curves in the order they are drawn: x, y, z.
const COLORREF kCurveColours[3] = {RGB(0, 255, 0), RGB(255, 0, 0), RGB(0, 0, 255)};

// The grid's rows are this many design units apart; the panel is drawn for 13 of them.
const int kGridStep = 6;
const int kGridRows = 13;
// ±512 (4 g) spans this many design units, half of it on each side of the middle line.
const int kCurveSpan = 47;
const int kFullScale = 512;

// Coordinates beyond this are never on the panel; keeping them inside it keeps the conversion
// to int defined for any sample value, without moving a point that could be seen.
const float kFarAway = float(1 << 30);

int Truncated(float value)
{
    return int(std::clamp(value, -kFarAway, kFarAway));
}

}  // namespace

CGPSViewer::CGPSViewer() : m_bReset(1), m_bPainted(0), m_rcClient{0, 0, 0, 0}
{
    SetWnd(this);
}

CGPSViewer::~CGPSViewer()
{
    // While the object is whole, so the window's last messages still reach this class.
    DestroyWindow();
}

int CGPSViewer::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    GetClientRect(&m_rcClient);
    return 0;
}

void CGPSViewer::OnPaint()
{
    CPaintDC dc(this);
    Render(&dc);
}

void CGPSViewer::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    // The rectangle follows every size change, so that a first render after an early resize
    // builds its surface at the size the window has.
    GetClientRect(&m_rcClient);
    if (!m_bPainted)
        return;
    m_bReset = 1;
    RenderToWindow();
    if (!m_samples.empty()) {
        DrawCurves();
        RenderToWindow();
    }
}

LRESULT CGPSViewer::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
        if (CWnd* parent = GetParent())
            parent->SendMessage(message, wParam, lParam);
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CGPSViewer::SetBackground(CDC* parentDC)
{
    GetClientRect(&m_rcClient);
    RECT window = {0, 0, 0, 0};
    GetWindowRect(&window);
    if (CWnd* parent = GetParent())
        parent->ScreenToClient(&window);
    const int w = m_rcClient.right - m_rcClient.left;
    const int h = m_rcClient.bottom - m_rcClient.top;

    m_background.Release();
    {
        CClientDC own(this);
        if (own.GetSafeHdc() && m_background.Create(&own, w, h) && parentDC &&
            parentDC->GetSafeHdc())
            m_background.GetDC()->BitBlt(0, 0, w, h, parentDC, window.left, window.top, SRCCOPY);
    }
    m_bReset = 1;
    RenderToWindow();
}

BOOL CGPSViewer::DrawGPSData(const CTextData* data)
{
    m_bReset = 1;
    RenderToWindow();

    m_samples.clear();
    if (data) {
        m_samples.reserve(data->m_GSensorList.size());
        for (const CGSensorData& sample : data->m_GSensorList)
            m_samples.push_back({sample.m_nX, sample.m_nY, sample.m_nZ});
    }
    DrawCurves();
    m_bReset = 0;
    RenderToWindow();
    return TRUE;
}

BOOL CGPSViewer::SetCLine(int percent, int)
{
    const int64_t w = m_rcClient.right - m_rcClient.left;
    const int x = int(std::clamp<int64_t>(w * percent / 100, INT32_MIN, INT32_MAX));
    m_bReset = 0;
    RenderToWindow();

    CClientDC dc(this);
    if (!dc.GetSafeHdc())
        return TRUE;
    HPEN pen = CreatePen(PS_SOLID, 1, kPositionColour);
    HGDIOBJ previous = dc.SelectObject(pen);
    dc.MoveTo(x, 0);
    dc.LineTo(x, m_rcClient.bottom);
    dc.SelectObject(previous);
    DeleteObject(pen);
    return TRUE;
}

void CGPSViewer::ResetData()
{
    m_samples.clear();
    m_bReset = 1;
    RenderToWindow();
}

void CGPSViewer::RenderToWindow()
{
    CClientDC dc(this);
    if (dc.GetSafeHdc())
        Render(&dc);
}

void CGPSViewer::Render(CDC* target)
{
    const int w = m_rcClient.right - m_rcClient.left;
    const int h = m_rcClient.bottom - m_rcClient.top;
    if (m_bReset && m_surface.IsCreated())
        m_surface.Release();
    // A surface made here holds nothing yet, whatever m_bReset says (a position line before the
    // first render): it gets the background and the grid.
    const bool fresh = !m_surface.IsCreated();
    if (fresh)
        m_surface.Create(target, w, h);
    if (m_surface.IsCreated()) {
        if (m_bReset || fresh)
            DrawGrid(m_surface.GetDC());
        target->BitBlt(0, 0, w, h, m_surface.GetDC(), 0, 0, SRCCOPY);
    }
    m_bPainted = 1;
    m_bReset = 0;
}

void CGPSViewer::DrawGrid(CDC* dc)
{
    const int w = m_rcClient.right - m_rcClient.left;
    const int h = m_rcClient.bottom - m_rcClient.top;
    if (m_background.IsCreated())
        dc->StretchBlt(0, 0, w, h, m_background.GetDC(), 0, 0, m_background.GetWidth(),
                       m_background.GetHeight(), SRCCOPY);

    HPEN pen = CreatePen(PS_SOLID, 1, kGridColour);
    HGDIOBJ previous = dc->SelectObject(pen);
    const int step = g_DPIScale.Scale(kGridStep);
    for (int row = 0; row <= kGridRows; ++row) {
        dc->MoveTo(0, row * step);
        dc->LineTo(m_rcClient.right, row * step);
    }
    // The bottom border: the last row of a panel 13 steps high.
    dc->MoveTo(0, kGridRows * step - 1);
    dc->LineTo(m_rcClient.right, kGridRows * step - 1);
    dc->SelectObject(previous);
    DeleteObject(pen);
}

void CGPSViewer::DrawCurves()
{
    CDC* dc = m_surface.GetDC();
    if (!dc || m_samples.empty())
        return;
    const int w = m_rcClient.right - m_rcClient.left;
    const int h = m_rcClient.bottom - m_rcClient.top;
    const size_t n = m_samples.size();
    // One sample has no spacing: its value is drawn across the whole width, which is what the
    // panel's labels show for that recording at every moment.
    const float xstep = n > 1 ? float(w) / float(n - 1) : 0.0f;
    const int x0 = m_rcClient.left;
    const int y0 = m_rcClient.top + h / 2;
    const float k = float(g_DPIScale.Scale(kCurveSpan) * 0.5 / kFullScale);

    HGDIOBJ previous = nullptr;
    HPEN drawn = nullptr;
    for (int axis = 0; axis < 3; ++axis) {
        HPEN pen = CreatePen(PS_SOLID, 1, kCurveColours[axis]);
        HGDIOBJ replaced = dc->SelectObject(pen);
        if (drawn)
            DeleteObject(drawn);
        else
            previous = replaced;
        drawn = pen;

        // Every curve starts with a stroke from the middle of the left edge.
        m_points.clear();
        m_points.push_back({x0, y0});
        for (size_t i = 0; i < n; ++i) {
            const Sample& s = m_samples[i];
            const int value = axis == 0 ? s.x : axis == 1 ? s.y : s.z;
            const int y = Truncated(float(y0) - float(value) * k);
            m_points.push_back({Truncated(float(i) * xstep + float(x0)), y});
        }
        if (n == 1)
            m_points.push_back({x0 + w, m_points.back().y});
        dc->Polyline(m_points.data(), int(m_points.size()));
    }
    dc->SelectObject(previous);
    DeleteObject(drawn);
}
