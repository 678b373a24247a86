#include "ui/RScrollBar.h"

#include <algorithm>

#include "ui/ControlMessages.h"
#include "ui/DebugLog.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/SkinImage.h"

namespace {

constexpr int kArrow = 13;   // pixels, the arrows' size
constexpr int kMargin = 26;  // the two arrows together
constexpr DWORD kArrowStyle = WS_CHILD | WS_VISIBLE | 0xB;

// What differs between the twins besides the axis.
struct Twin {
    UINT firstId, secondId;
    UINT firstMessage, secondMessage, positionMessage;
    int minimumLength;
    int trackWidth, trackHeight;  // design units
    const WCHAR* track;
    const WCHAR* firstArrow[4];  // normal, over, pressed, disabled
    const WCHAR* secondArrow[4];
    const WCHAR* thumb[3];  // normal, over, pressed
};

const Twin kVertical = {
    ID_BTN_SCROLL_UP,
    ID_BTN_SCROLL_DOWN,
    WM_RSCROLL_UP,
    WM_RSCROLL_DOWN,
    WM_RSCROLL_POS,
    16,
    15,
    222,
    L"scroll_bg.9.png",
    {L"scroll_btn_up_normal.png", L"scroll_btn_up_over.png", L"scroll_btn_up_press.png",
     L"scroll_btn_up_dim.png"},
    {L"scroll_btn_down_normal.png", L"scroll_btn_down_over.png", L"scroll_btn_down_press.png",
     L"scroll_btn_down_dim.png"},
    {L"scroll_handler_normal.9.png", L"scroll_handler_over.9.png", L"scroll_handler_press.9.png"},
};

const Twin kHorizontal = {
    ID_BTN_SCROLL_LEFT,
    ID_BTN_SCROLL_RIGHT,
    WM_RSCROLL_LEFT,
    WM_RSCROLL_RIGHT,
    WM_RSCROLL_HPOS,
    0,
    626,
    14,
    L"scroll_bg_width.9.png",
    {L"scroll_btn_left_normal.png", L"scroll_btn_left_over.png", L"scroll_btn_left_press.png",
     L"scroll_btn_left_dim.png"},
    {L"scroll_btn_right_normal.png", L"scroll_btn_right_over.png", L"scroll_btn_right_press.png",
     L"scroll_btn_right_dim.png"},
    {L"scroll_handler_w_normal.9.png", L"scroll_handler_w_over.9.png",
     L"scroll_handler_w_press.9.png"},
};

const Twin& TwinOf(bool horizontal)
{
    return horizontal ? kHorizontal : kVertical;
}

}  // namespace

CRScrollBar::CRScrollBar() : CRScrollBar(false) {}

CRScrollBar::CRScrollBar(bool horizontal) : m_bHorizontal(horizontal) {}

CRScrollBar::~CRScrollBar()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

int CRScrollBar::Length() const
{
    return m_bHorizontal ? m_rcClient.right - m_rcClient.left : m_rcClient.bottom - m_rcClient.top;
}

CRect CRScrollBar::SecondArrowRect() const
{
    if (m_bHorizontal)
        return CRect(m_rcClient.right - kArrow, 0, m_rcClient.right, kArrow);
    return CRect(m_rcClient.right - 14, m_rcClient.bottom - kArrow, m_rcClient.right - 1,
                 m_rcClient.bottom);
}

int CRScrollBar::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    WCHAR path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    m_strProgramFolder = path;
    m_strProgramFolder.erase(m_strProgramFolder.find_last_of(L"\\/") + 1);
    GetClientRect(&m_rcClient);
    m_rcPrevClient = m_rcClient;

    const Twin& twin = TwinOf(m_bHorizontal);
    CDC* dc = GetDC();
    if (!dc)
        return -1;
    if (m_dcTrack.CreateScaled(dc, twin.trackWidth, twin.trackHeight))
        GetNinePatch()->Draw(m_dcTrack, twin.track);
    // Both arrows are placed in pixels, as everything else of the bar.
    CRect first = m_bHorizontal ? CRect(0, 0, kArrow, kArrow)
                                : CRect(m_rcClient.right - 14, 0, m_rcClient.right - 1, kArrow);
    struct {
        CRButton& button;
        CRect rect;
        UINT id;
        const WCHAR* const* names;
    } arrows[] = {{m_btnFirst, first, twin.firstId, twin.firstArrow},
                  {m_btnSecond, SecondArrowRect(), twin.secondId, twin.secondArrow}};
    for (auto& arrow : arrows) {
        if (!arrow.button.Create(nullptr, L"", kArrowStyle, arrow.rect, this, arrow.id))
            continue;
        arrow.button.SetImages(arrow.names[0], arrow.names[1], arrow.names[2], m_dcTrack.GetDC(),
                               arrow.names[3], 1);
        arrow.button.ShowWindow(SW_SHOW);
    }
    for (int look = 0; look < 3; ++look) {
        COffscreenDC* slices = m_dcThumb[look];
        if (m_bHorizontal)
            LoadSkinSlicesHorz(dc, twin.thumb[look], slices[0], slices[1], slices[2]);
        else
            LoadSkinSlicesVert(dc, twin.thumb[look], slices[0], slices[1], slices[2]);
    }
    ReleaseDC(dc);
    return 0;
}

void CRScrollBar::PlaceThumb(int start, int length)
{
    if (m_bHorizontal)
        SetRect(&m_rcThumb, start, 2, start + length, 13);
    else
        SetRect(&m_rcThumb, 2, start, 13, start + length);
}

int CRScrollBar::SetThumbInfo(int range, int page, int percent)
{
    m_nRange = range;
    m_nPage = page;
    m_nPercent = percent;
    m_nLastReported = percent;
    const int h = Length();
    const int track = std::max(h - kMargin, 0);
    // A range of 0 (or less) would divide by zero; it scrolls nothing more than a range of 1.
    const long long safeRange = std::max(range, 1);
    int length = int(std::clamp<long long>(page * (long long)track / safeRange, -track, track));
    length = std::max(length, TwinOf(m_bHorizontal).minimumLength);
    // Neither the thumb nor its start may reach onto an arrow.
    length = std::clamp(length, 0, track);
    long long start = (long long)percent * (track - length) / 100 + kArrow;
    start = std::clamp<long long>(start, kArrow, std::max(h - length - kArrow, kArrow));
    PlaceThumb(int(start), length);
    return ThumbEnd();
}

void CRScrollBar::RedrawTrack()
{
    if (!GetSafeHwnd())
        return;
    CRect track = m_bHorizontal ? CRect(kArrow, 2, m_rcClient.right - kArrow, kArrow)
                                : CRect(2, kArrow, kArrow, m_rcClient.bottom - kArrow);
    InvalidateRect(&track, FALSE);
}

void CRScrollBar::OnPaint()
{
    CPaintDC dc(this);
    GetClientRect(&m_rcClient);
    const int width = m_rcClient.right - m_rcClient.left;
    const int height = m_rcClient.bottom - m_rcClient.top;
    if (m_dcComposite.GetWidth() != width || m_dcComposite.GetHeight() != height) {
        m_dcComposite.Release();
        CRect second = SecondArrowRect();
        if (m_btnSecond.GetSafeHwnd())
            m_btnSecond.MoveWindow(&second, TRUE);
    }
    if (!m_dcComposite.IsCreated() && !m_dcComposite.Create(&dc, width, height))
        return;
    CDC* surface = m_dcComposite.GetDC();
    if (m_dcTrack.IsCreated())
        surface->StretchBlt(0, 0, width, height, m_dcTrack.GetDC(), 0, 0, m_dcTrack.GetWidth(),
                            m_dcTrack.GetHeight(), SRCCOPY);
    const BOOL scrolls = m_nPage != 1;
    for (CRButton* arrow : {&m_btnFirst, &m_btnSecond})
        if (arrow->GetSafeHwnd() && arrow->IsWindowEnabled() != scrolls)
            arrow->EnableWindow(scrolls);
    if (scrolls)
        DrawThumb(surface);
    dc.BitBlt(0, 0, width, height, surface, 0, 0, SRCCOPY);
}

void CRScrollBar::DrawThumb(CDC*)
{
    const COffscreenDC* slices = m_dcThumb[std::clamp(m_nLook, 0, 2)];
    const COffscreenDC* over = m_dcThumb[1];
    const int h = Length();
    const int length = ThumbEnd() - ThumbStart();
    const long long raw = (long long)m_nPage * std::max(h - kMargin, 0) / std::max(m_nRange, 1);
    int middle = 1;
    if (raw > 16) {
        if (m_bHorizontal)
            middle = length - slices[0].GetHeight() - slices[2].GetHeight() + 11;
        else
            middle = length - over[0].GetHeight() - over[2].GetHeight() + 2;
        middle = std::max(middle, 1);
    }
    auto along = [&](const COffscreenDC& s) { return m_bHorizontal ? s.GetWidth() : s.GetHeight(); };
    // The last cap carries the picture's two border lines beyond its inner part. A thumb painted
    // longer than its rectangle (the caps of a very short one) ends at the second arrow at most.
    const int painted = along(slices[0]) + middle + std::max(along(slices[2]) - 2, 0);
    int start = ThumbStart();
    if (start + painted > h - kArrow)
        start = std::max(h - kArrow - painted, kArrow);
    const int across = 2;
    int at = start;
    for (int i = 0; i < 3; ++i) {
        const COffscreenDC& slice = slices[i];
        int extent = i == 1 ? middle : along(slice);
        if (m_bHorizontal)
            BlendSurface(m_dcComposite, at, across, extent, slice.GetHeight(), slice);
        else
            BlendSurface(m_dcComposite, across, at, slice.GetWidth(), extent, slice);
        if (slice.IsCreated() || i == 1)
            at += extent;
    }
}

void CRScrollBar::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    m_rcPrevClient = m_rcClient;
    GetClientRect(&m_rcClient);
}

void CRScrollBar::OnMouseMove(UINT flags, CPoint point)
{
    CWnd::OnMouseMove(flags, point);
    if (m_bDragging) {
        DragTo(Coordinate(point));
        return;
    }
    const bool onThumb = PtInRect(&m_rcThumb, point) != 0;
    if (onThumb && m_nLook != 1) {
        m_nLook = 1;
        Invalidate(FALSE);
        TRACKMOUSEEVENT track = {sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, m_hWnd, 0};
        TrackMouseEvent(&track);
    } else if (!onThumb && m_nLook == 1) {
        m_nLook = 0;
        RedrawTrack();
    }
}

void CRScrollBar::OnLButtonDown(UINT flags, CPoint point)
{
    CWnd::OnLButtonDown(flags, point);
    // Only a press on the thumb drags; the track beside it does not page.
    if (m_nLook != 1)
        return;
    m_nLook = 2;
    RedrawTrack();
    m_bDragging = TRUE;
    m_nLastCoordinate = Coordinate(point);
    SetCapture();
}

void CRScrollBar::OnLButtonUp(UINT flags, CPoint point)
{
    CWnd::OnLButtonUp(flags, point);
    if (m_nLook == 2) {
        m_nLook = 1;
        RedrawTrack();
    }
    m_bDragging = FALSE;
    if (::GetCapture() == m_hWnd)
        ReleaseCapture();
}

void CRScrollBar::OnMouseLeave()
{
    CWnd::OnMouseLeave();
    if (m_bDragging)
        return;
    m_nLook = 0;
    RedrawTrack();
}

void CRScrollBar::DragTo(int coordinate)
{
    if (m_nPage == 1)
        return;
    const int h = Length();
    const int d = coordinate - m_nLastCoordinate;
    int start = ThumbStart();
    int end = ThumbEnd();
    // A step that would push the thumb onto an arrow leaves it where it is.
    if (start + d > kArrow - 1 && end + d <= h - kArrow) {
        start += d;
        end += d;
        PlaceThumb(start, end - start);
    }
    // A thumb that fills the track has nowhere to go: it stands at 0.
    const int free = h - (end - start) - kMargin;
    const int position = free > 0 ? (start - kArrow) * 100 / free : 0;
    if (position != m_nLastReported) {
        m_nLastReported = position;
        if (m_hNotifyWnd)
            ::SendMessageW(m_hNotifyWnd, TwinOf(m_bHorizontal).positionMessage, WPARAM(position),
                           0);
    }
    m_nLastCoordinate = coordinate;
    RedrawTrack();
}

BOOL CRScrollBar::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const Twin& twin = TwinOf(m_bHorizontal);
    UINT id = LOWORD(wParam);
    if (id != twin.firstId && id != twin.secondId)
        return CWnd::OnCommand(wParam, lParam);
    if (m_hNotifyWnd)
        ::SendMessageW(m_hNotifyWnd, id == twin.firstId ? twin.firstMessage : twin.secondMessage, 0,
                       0);
    return TRUE;
}

void CRScrollBar::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    CWnd::OnActivate(state, other, minimized);
    if (!m_bHorizontal)
        LogWrite(state == WA_INACTIVE ? L"CRScrollBar---->WA_INACTIVE"
                                      : L"CRScrollBar---->WA_ACTIVE");
}
