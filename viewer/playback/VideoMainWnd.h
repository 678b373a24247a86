// CVideoMainWnd: the main dialog's large video view. The engine's renderer draws the picture
// straight into it; the window paints an idle picture while no two-view recording is open and
// owns what belongs to the picture: the scroll bars and corner button that pan a zoomed
// picture, the right-click menu, and in full screen the caption bar and control bar, which
// hide themselves and the cursor 5 seconds after the last mouse movement.
#pragma once

#include <string>

#include "platform/mfc.h"
#include "playback/FullScrCaption.h"
#include "playback/FullScrControlBox.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/RScrollBar.h"
#include "ui/RScrollBar_Hor.h"
#include "ui/TButton.h"
#include "ui/TDropBox.h"

#define ID_BTN_FITAREA 1305
#define ID_BOX_CONTEXT_PLAY 1059
#define ID_BOX_CONTEXT_FULLSCR 1062
#define ID_BOX_CONTEXT_FULLWIN 1063
// The timer that hides the full-screen bars and the cursor.
#define IDT_AUTOHIDE 102

// A child of the main dialog (or, in full screen, a top-level pop-up covering the monitor that
// the dialog made of it). Its children are top-level tool pop-ups placed in screen coordinates
// along its edges, so they stay above the picture. It reports to the dialog by messages only;
// the dialog's CVideoWndHost answers what is open. User-interface thread only.
class CVideoMainWnd : public CWnd, public CDPIWnd {
public:
    CVideoMainWnd();
    ~CVideoMainWnd() override;

    // The window that receives the notifications and answers as CVideoWndHost.
    void SetParentHwnd(HWND parent) { m_hParentWnd = parent; }
    // The picture's zoom as the dialog sets it; above 1.0 the scroll bars pan it. TRUE.
    BOOL SetZoom(float level);
    // Zoomed: shows and places the scroll bars and the corner button and resets the pan (the
    // dialog is told when the pan was not at its origin).
    void UpdateScrollBars();
    // Zoomed: places the scroll bars and the corner button again.
    void MoveScrollBars();
    // Zoom 1.0, no pan drag; the scroll bars and corner button hidden; in full screen the
    // control bar's progress reset.
    void ResetView();
    // Hides the scroll bars, the corner button, the menu and both full-screen bars.
    void HideOverlays();
    void HideContextMenu();
    BOOL IsFullScreen() const { return m_bFullScreen; }
    void SetCaptionTitle(const std::wstring& title) { m_wndCaption.SetTitle(title); }
    // Nonzero: a right click does nothing.
    void DisableContextMenu(BOOL disable) { m_bContextMenuDisabled = disable; }
    void ReloadTexts();

    float GetZoom() const { return m_fZoom; }
    int GetPanX() const { return m_nPanX; }
    // The pan pair of a WM_VIDEO_PANZOOM that this window is sending right now: the receiver
    // frees only such a pair, never a pointer that arrived from anywhere else.
    bool IsPanPairInFlight(LPARAM pair) const
    {
        return pair != 0 && reinterpret_cast<const int*>(pair) == m_pPanPairInFlight;
    }
    int GetPanY() const { return m_nPanY; }
    CFullScrControlBox& GetControlBox() { return m_wndControl; }
    CFullScrCaption& GetCaption() { return m_wndCaption; }
    CRScrollBar& GetVerScroll() { return m_scrVer; }
    CRScrollBar_Hor& GetHorScroll() { return m_scrHor; }
    CTButton& GetFitButton() { return m_btnFitArea; }
    CTDropBox& GetContextMenu() { return m_boxContext; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    void OnRButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnClose() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnTimer(UINT_PTR id) override;

private:
    bool Zoomed() const { return m_fZoom > 1.0f; }
    // Places the two bars and the corner button along the client edges; `show` also shows
    // them and gives the bars their thumbs.
    void PlaceScrollBars(bool show);
    // Tells the dialog the pan (a new pair, which the dialog frees).
    void SendPan();
    void UpdateHorThumb();
    void UpdateVerThumb();
    // Full screen: the bars and the cursor shown and the 5 seconds started again; else the
    // timer stopped and the cursor shown.
    void OverlayStep();
    void StopAutoHide();
    void RestoreCursor();
    void EndDrag();

    CFullScrControlBox m_wndControl;
    COffscreenDC m_dcBackground;  // "view_front.png" at the client size of creation time
    COffscreenDC m_dcTitle;       // "view_front_title.png", 243 x 44 pixels
    CRect m_rcClient;
    CRScrollBar m_scrVer;
    CRScrollBar_Hor m_scrHor;
    CTButton m_btnFitArea;
    CTDropBox m_boxContext;
    CFullScrCaption m_wndCaption;
    float m_fZoom = 1.0f;
    CPoint m_ptDragStart;
    BOOL m_bDragging = FALSE;
    int m_nPanX = 0;  // -100 (right edge of the picture shown) .. 0 (left edge)
    int m_nPanY = 0;  // 0 (top edge shown) .. 100 (bottom edge)
    const int* m_pPanPairInFlight = nullptr;  // during SendPan's send
    HWND m_hParentWnd = nullptr;
    BOOL m_bTrackingLeave = FALSE;
    BOOL m_bFullScreen = FALSE;
    CPoint m_ptLastMouse;
    BOOL m_bCursorShown = TRUE;  // the window has not lowered the cursor's display count
    UINT_PTR m_nAutoHideTimer = 0;
    BOOL m_bContextMenuDisabled = FALSE;
    HWND m_hCreatorWnd = nullptr;  // the window it was created in (the dialog)
};
