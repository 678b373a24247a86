#include "playback/VideoMainWnd.h"

#include <algorithm>

#include "playback/VideoWndHost.h"
#include "ui/ControlMessages.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace {

constexpr int kCaptionHeight = 37;  // design units
constexpr int kControlWidth = 695;
constexpr int kControlHeight = 159;
constexpr int kBar = 14;  // pixels: the scroll bars' thickness and the corner button's side
constexpr UINT kAutoHideMs = 5000;

int S(int design)
{
    return g_DPIScale.Scale(design);
}

void SetSizeAllCursor()
{
    SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
}

}  // namespace

CVideoMainWnd::CVideoMainWnd() : CDPIWnd(this) {}

CVideoMainWnd::~CVideoMainWnd()
{
    RestoreCursor();
    if (GetSafeHwnd())
        DestroyWindow();
}

int CVideoMainWnd::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    if (CDC* dc = GetDC()) {
        GetNinePatch();
        GetClientRect(&m_rcClient);
        if (m_dcBackground.Create(dc, m_rcClient.Width(), m_rcClient.Height()))
            DrawSkinImage(m_dcBackground, L"view_front.png");
        if (m_dcTitle.Create(dc, 243, 44))
            DrawSkinImage(m_dcTitle, L"view_front_title.png");
        ReleaseDC(dc);
    }
    const LPCWSTR popupClass = PopupWindowClass();
    const DWORD topTool = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;

    m_wndCaption.SetDeviceRecordQuery([this] {
        CVideoWndHost* host = VideoWndHostOf(m_hParentWnd);
        return host && host->HasDeviceRecord();
    });
    m_wndCaption.CreateEx(topTool, popupClass, L"ScrCaption", WS_POPUP, 0, 0, m_rcClient.Width(),
                          S(kCaptionHeight), m_hWnd, nullptr);
    m_wndCaption.SetNotifyWnd(m_hWnd);
    m_wndCaption.ShowWindow(SW_HIDE);

    const int width = g_DPIScale.Unscale(m_rcClient.Width());
    const int height = g_DPIScale.Unscale(m_rcClient.Height());
    m_wndControl.DPICreateEx(topTool, popupClass, L"ScrControl", WS_POPUP,
                             (width - kControlWidth) / 2, height - kControlHeight, kControlWidth,
                             kControlHeight, m_hWnd, nullptr);
    m_wndControl.SetNotifyWnd(m_hWnd);
    m_wndControl.ShowWindow(SW_HIDE);

    m_scrVer.CreateEx(WS_EX_TOOLWINDOW, popupClass, L"ScrVer", WS_POPUP, 0, 0, kBar + 1,
                      std::max(1, int(m_rcClient.bottom) - kBar), m_hWnd, nullptr);
    m_scrVer.SetNotifyWnd(m_hWnd);
    m_scrHor.CreateEx(WS_EX_TOOLWINDOW, popupClass, L"ScrHor", WS_POPUP, 0, 0,
                      std::max(1, int(m_rcClient.right) - kBar), kBar, m_hWnd, nullptr);
    m_scrHor.SetNotifyWnd(m_hWnd);

    m_btnFitArea.CreateEx(WS_EX_TOOLWINDOW, popupClass, L"FitArea", WS_POPUP, 0, 0, kBar, kBar,
                          m_hWnd, nullptr);
    m_btnFitArea.SetCommandId(ID_BTN_FITAREA);
    m_btnFitArea.SetImages(L"btn_fitarea_normal.png", L"btn_fitarea_over.png",
                           L"btn_fitarea_press.png");
    m_btnFitArea.SetTooltip(GetLangText(L"IDS_STRING_K_056"));

    m_boxContext.CreateEx(topTool, popupClass, L"ScrContext", WS_POPUP, 0, 0, 256, 78, m_hWnd,
                          nullptr);
    m_boxContext.SetBackImages(L"bg_rightclick.9.png", L"list_bg_over.9.png",
                               L"list_bg_press.9.png");
    m_boxContext.SetTextColors(RGB(0, 0, 0), RGB(255, 255, 255));
    m_boxContext.AddSeparator(L"line.9.png", 241, 2, 7, 25, 0);
    m_boxContext.AddItem(GetLangText(L"IDS_STRING_K_030"), GetLangText(L"IDS_STRING_K_031"),
                         ID_BOX_CONTEXT_PLAY);
    m_boxContext.AddItem(GetLangText(L"IDS_STRING_K_034"), GetLangText(L"IDS_STRING_K_035"),
                         ID_BOX_CONTEXT_FULLSCR);
    m_boxContext.AddItem(GetLangText(L"IDS_STRING_K_036"), GetLangText(L"IDS_STRING_K_037"),
                         ID_BOX_CONTEXT_FULLWIN);
    m_boxContext.ShowWindow(SW_HIDE);

    SetWindowText(L"KESTROVAN DASHCAM TESSALY");
    m_hCreatorWnd = ::GetParent(m_hWnd);
    return 0;
}

void CVideoMainWnd::OnPaint()
{
    CPaintDC dc(this);
    if (!IsTwoViewOpen(VideoWndHostOf(m_hParentWnd))) {
        GetClientRect(&m_rcClient);
        const int width = m_rcClient.Width();
        const int height = m_rcClient.Height();
        if (m_dcBackground.IsCreated())
            dc.StretchBlt(0, 0, width, height, m_dcBackground.GetDC(), 0, 0,
                          m_dcBackground.GetWidth(), m_dcBackground.GetHeight(), SRCCOPY);
        if (m_dcTitle.IsCreated()) {
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            dc.AlphaBlend(width / 2 - S(83), height / 2 - S(22), S(243), S(44), m_dcTitle.GetDC(),
                          0, 0, 243, 44, blend);
        }
    }
    if (m_hParentWnd)
        ::SendMessageW(m_hParentWnd, WM_VIDEO_RELAYOUT, 1, 0);
}

// --- zoom and panning ------------------------------------------------------------------------

BOOL CVideoMainWnd::SetZoom(float level)
{
    m_fZoom = level;
    UpdateScrollBars();
    return TRUE;
}

void CVideoMainWnd::PlaceScrollBars(bool show)
{
    GetClientRect(&m_rcClient);
    if (!Zoomed())
        return;
    const CRect& c = m_rcClient;
    auto place = [this](CWnd& window, int x, int y, int width, int height) {
        POINT point = {x, y};
        ClientToScreen(&point);
        window.MoveWindow(point.x, point.y, std::max(1, width), std::max(1, height), TRUE);
    };
    place(m_scrVer, c.right - kBar, c.top, kBar + 1, c.bottom - kBar);
    if (show) {
        m_scrVer.Invalidate(FALSE);
        m_scrVer.ShowWindow(SW_SHOWNOACTIVATE);
        m_scrVer.SetThumbInfo(int(float(c.bottom) * m_fZoom), c.bottom, 0);
    }
    place(m_scrHor, c.left, c.bottom - kBar, c.right - kBar, kBar);
    if (show) {
        m_scrHor.Invalidate(FALSE);
        m_scrHor.ShowWindow(SW_SHOWNOACTIVATE);
        m_scrHor.SetThumbInfo(int(float(c.right) * m_fZoom), c.right, 0);
    }
    place(m_btnFitArea, c.right - kBar, c.bottom - kBar, kBar, kBar);
    if (show)
        m_btnFitArea.ShowWindow(SW_SHOWNOACTIVATE);
}

void CVideoMainWnd::UpdateScrollBars()
{
    PlaceScrollBars(true);
    if (!Zoomed())
        return;
    // The bars start again at the picture's origin; a picture panned elsewhere is moved back
    // with them, so what the bars show and what the renderer shows agree.
    const bool moved = m_nPanX != 0 || m_nPanY != 0;
    m_nPanX = 0;
    m_nPanY = 0;
    if (moved)
        SendPan();
}

void CVideoMainWnd::MoveScrollBars()
{
    PlaceScrollBars(false);
}

void CVideoMainWnd::ResetView()
{
    m_fZoom = 1.0f;
    EndDrag();
    m_scrVer.ShowWindow(SW_HIDE);
    m_scrHor.ShowWindow(SW_HIDE);
    m_btnFitArea.ShowWindow(SW_HIDE);
    if (m_bFullScreen)
        m_wndControl.ResetProgress();
}

void CVideoMainWnd::HideOverlays()
{
    m_scrVer.ShowWindow(SW_HIDE);
    m_scrHor.ShowWindow(SW_HIDE);
    // The corner button belongs with the bars: left alone it would float over the dialog
    // after full screen ends; the next resize while zoomed shows all three again.
    m_btnFitArea.ShowWindow(SW_HIDE);
    m_boxContext.ShowWindow(SW_HIDE);
    m_wndCaption.ShowWindow(SW_HIDE);
    m_wndControl.ShowWindow(SW_HIDE);
}

void CVideoMainWnd::HideContextMenu()
{
    if (m_boxContext.IsWindowVisible())
        m_boxContext.ShowWindow(SW_HIDE);
}

void CVideoMainWnd::SendPan()
{
    if (!m_hParentWnd || !::IsWindow(m_hParentWnd))
        return;
    int* pair = new int[2]{m_nPanX, m_nPanY};  // the dialog frees it
    m_pPanPairInFlight = pair;
    ::SendMessageW(m_hParentWnd, WM_VIDEO_PANZOOM, 1, reinterpret_cast<LPARAM>(pair));
    m_pPanPairInFlight = nullptr;
}

void CVideoMainWnd::UpdateHorThumb()
{
    GetClientRect(&m_rcClient);
    m_scrHor.SetThumbInfo(int(float(m_rcClient.right) * m_fZoom), m_rcClient.right, -m_nPanX);
    m_scrHor.RedrawTrack();
}

void CVideoMainWnd::UpdateVerThumb()
{
    GetClientRect(&m_rcClient);
    m_scrVer.SetThumbInfo(int(float(m_rcClient.bottom) * m_fZoom), m_rcClient.bottom, m_nPanY);
    m_scrVer.RedrawTrack();
}

void CVideoMainWnd::EndDrag()
{
    if (m_bDragging && GetCapture() == this)
        ReleaseCapture();
    m_bDragging = FALSE;
}

void CVideoMainWnd::OnLButtonDown(UINT flags, CPoint point)
{
    if (Zoomed()) {
        if (m_hParentWnd)
            ::SendMessageW(m_hParentWnd, WM_VIDEO_PAUSE, 0, 0);
        m_ptDragStart = point;
        m_bDragging = TRUE;
        SetCapture();
        SetSizeAllCursor();
    }
    CWnd::OnLButtonDown(flags, point);
}

void CVideoMainWnd::OnLButtonUp(UINT flags, CPoint point)
{
    // Whatever the zoom is now: a drag that began zoomed ends here even when the view was
    // fitted meanwhile, so the mouse is never kept.
    EndDrag();
    CWnd::OnLButtonUp(flags, point);
}

void CVideoMainWnd::OnMouseMove(UINT flags, CPoint point)
{
    if (!m_bTrackingLeave) {
        TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hWnd, 0};
        TrackMouseEvent(&track);
        m_bTrackingLeave = TRUE;
    }
    if (Zoomed()) {
        if (m_bDragging) {
            const int panX = std::clamp(m_nPanX + (point.x - m_ptDragStart.x) / 30, -100, 0);
            const int panY = std::clamp(m_nPanY - (point.y - m_ptDragStart.y) / 30, 0, 100);
            if (panX != m_nPanX || panY != m_nPanY) {
                m_nPanX = panX;
                m_nPanY = panY;
                SendPan();
                UpdateHorThumb();
                UpdateVerThumb();
            }
        }
        SetSizeAllCursor();
    }
    if (point.x != m_ptLastMouse.x || point.y != m_ptLastMouse.y) {
        OverlayStep();
        m_ptLastMouse = point;
    }
    CWnd::OnMouseMove(flags, point);
}

void CVideoMainWnd::OnMouseLeave()
{
    m_bTrackingLeave = FALSE;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    StopAutoHide();
    RestoreCursor();
    CWnd::OnMouseLeave();
}

void CVideoMainWnd::OnRButtonUp(UINT flags, CPoint point)
{
    if (m_bContextMenuDisabled)
        return;
    if (m_hParentWnd)
        ::SendMessageW(m_hParentWnd, WM_VIDEO_RBUTTONUP, 0, 0);
    POINT screen = point;
    ClientToScreen(&screen);
    m_boxContext.MoveWindow(screen.x, screen.y, 256, 78, TRUE);
    m_boxContext.ShowWindow(SW_SHOW);
    CWnd::OnRButtonUp(flags, point);
}

// --- messages from the bars and the children -------------------------------------------------

LRESULT CVideoMainWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_RSCROLL_UP:
    case WM_RSCROLL_DOWN:
    case WM_RSCROLL_POS:
        if (message == WM_RSCROLL_UP)
            m_nPanY = std::max(0, m_nPanY - 10);
        else if (message == WM_RSCROLL_DOWN)
            m_nPanY = std::min(100, m_nPanY + 10);
        else
            m_nPanY = int(wParam);
        SendPan();
        if (message != WM_RSCROLL_POS)
            UpdateVerThumb();
        return 1;
    case WM_RSCROLL_LEFT:
    case WM_RSCROLL_RIGHT:
    case WM_RSCROLL_HPOS:
        if (message == WM_RSCROLL_LEFT)
            m_nPanX = std::min(0, m_nPanX + 10);
        else if (message == WM_RSCROLL_RIGHT)
            m_nPanX = std::max(-100, m_nPanX - 10);
        else
            m_nPanX = -int(wParam);
        SendPan();
        if (message != WM_RSCROLL_HPOS)
            UpdateHorThumb();
        return 1;
    case WM_SLIDER_CHANGED:
        if (wParam == ID_SLIDER_FULLSCREEN_SEEK && m_hParentWnd)
            ::SendMessageW(m_hParentWnd, WM_SLIDER_CHANGED, ID_SLIDER_SEEK, lParam);
        return 0;
    case WM_SLIDER_RELEASED:
        if (m_hParentWnd)
            ::SendMessageW(m_hParentWnd, WM_SLIDER_RELEASED, wParam, 0);
        break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        if (!Zoomed() && !m_bFullScreen)
            ForwardMouseToParent(m_hWnd, m_hParentWnd, message, wParam, lParam);
        break;
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CVideoMainWnd::OnCommand(WPARAM wParam, LPARAM /*lParam*/)
{
    const int id = LOWORD(wParam);
    switch (id) {
    case ID_BTN_CAP_CLOSE:
        LogWrite(L"Tessaly : ID_BTN_CAP_CLOSE");
        SendMessage(WM_CLOSE);
        return TRUE;
    case ID_BTN_CAP_MIN:
        LogWrite(L"Tessaly : ID_BTN_CAP_MIN");
        HideOverlays();
        if (m_hParentWnd)
            ::SendMessageW(m_hParentWnd, WM_VIDEO_PAUSE, 0, 0);
        ShowWindow(SW_SHOWMINIMIZED);
        return TRUE;
    case ID_BTN_CAP_RESTORE:
        if (m_hParentWnd)
            ::PostMessageW(m_hParentWnd, WM_COMMAND, ID_BTN_CAP_RESTORE, 0);
        return TRUE;
    default:
        break;
    }
    if ((id >= ID_BTN_PLAY && id <= ID_BTN_VIDEO_CONNECT) ||
        (id >= ID_BTN_CHANGE && id <= ID_BTN_FITAREA)) {
        if (m_hParentWnd)
            ::SendMessageW(m_hParentWnd, WM_COMMAND, WPARAM(id), 0);
        return TRUE;
    }
    return FALSE;
}

void CVideoMainWnd::OnClose()
{
    // Closing is the dialog's decision: it is asked, and when it closes, the window and its
    // pop-ups go with it. Only a window without a dialog closes itself.
    if (m_hCreatorWnd && ::IsWindow(m_hCreatorWnd)) {
        ::SendMessageW(m_hCreatorWnd, WM_CLOSE, 0, 0);
        return;
    }
    CWnd::OnClose();
}

// --- full screen and auto-hide ---------------------------------------------------------------

void CVideoMainWnd::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    if (type == SIZE_MINIMIZED)
        return;
    CRect bounds;
    GetWindowRect(&bounds);
    CRect monitor(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (HMONITOR handle = MonitorFromRect(&bounds, MONITOR_DEFAULTTONEAREST)) {
        MONITORINFO info = {};
        info.cbSize = sizeof(info);
        if (GetMonitorInfoW(handle, &info))
            monitor = info.rcMonitor;
    }
    GetClientRect(&m_rcClient);
    UpdateScrollBars();
    // Only the top-level window the dialog makes of it is full screen: a child as wide as the
    // monitor (the dialog maximised) is not.
    m_bFullScreen = !(GetStyle() & WS_CHILD) && m_rcClient.Width() == monitor.Width();
    LogWrite(L"Tessaly : CVideoMainWnd::OnSize");
    if (m_bFullScreen) {
        m_wndCaption.MoveWindow(monitor.left, monitor.top, m_rcClient.Width(), S(kCaptionHeight),
                                TRUE);
        m_wndCaption.ShowWindow(SW_SHOWNOACTIVATE);
        m_wndCaption.Redraw();
        const int x = (m_rcClient.Width() - S(kControlWidth)) / 2 + monitor.left;
        const int y = m_rcClient.Height() - S(kControlHeight) + monitor.top;
        m_wndControl.DPIMoveWindow(g_DPIScale.Unscale(x), g_DPIScale.Unscale(y), kControlWidth,
                                   kControlHeight);
        m_wndControl.ShowWindow(SW_SHOWNOACTIVATE);
    }
    OverlayStep();
}

void CVideoMainWnd::OverlayStep()
{
    StopAutoHide();
    RestoreCursor();
    if (!m_bFullScreen)
        return;
    m_wndCaption.ShowWindow(SW_SHOWNOACTIVATE);
    m_wndControl.ShowWindow(SW_SHOWNOACTIVATE);
    m_nAutoHideTimer = SetTimer(IDT_AUTOHIDE, kAutoHideMs);
}

void CVideoMainWnd::StopAutoHide()
{
    if (m_nAutoHideTimer) {
        KillTimer(IDT_AUTOHIDE);
        m_nAutoHideTimer = 0;
    }
}

void CVideoMainWnd::RestoreCursor()
{
    if (!m_bCursorShown) {
        ShowCursor(TRUE);
        m_bCursorShown = TRUE;
    }
}

void CVideoMainWnd::OnTimer(UINT_PTR id)
{
    if (id != IDT_AUTOHIDE) {
        CWnd::OnTimer(id);
        return;
    }
    StopAutoHide();
    m_wndCaption.ShowWindow(SW_HIDE);
    m_wndControl.ShowWindow(SW_HIDE);
    if (m_bCursorShown) {
        ShowCursor(FALSE);
        m_bCursorShown = FALSE;
    }
}

void CVideoMainWnd::ReloadTexts()
{
    m_boxContext.SetItemText(ID_BOX_CONTEXT_PLAY, GetLangText(L"IDS_STRING_K_030"),
                             GetLangText(L"IDS_STRING_K_031"));
    m_boxContext.SetItemText(ID_BOX_CONTEXT_FULLSCR, GetLangText(L"IDS_STRING_K_034"),
                             GetLangText(L"IDS_STRING_K_035"));
    m_boxContext.SetItemText(ID_BOX_CONTEXT_FULLWIN, GetLangText(L"IDS_STRING_K_036"),
                             GetLangText(L"IDS_STRING_K_037"));
    m_boxContext.ResetFont();
    m_wndControl.ReloadTexts();
    m_wndCaption.ReloadTexts();
    m_btnFitArea.SetTooltip(GetLangText(L"IDS_STRING_K_056"));
    m_btnFitArea.Invalidate(FALSE);
}
