// CRScrollBar: the skinned vertical scroll bar of the recording list and the zoomed main view:
// two arrow buttons at its ends and a three-slice thumb between them. The bar owns no scroll
// position: its owner gives it the range, the page and the position in percent, and the bar
// reports arrow clicks (WM_RSCROLL_UP, WM_RSCROLL_DOWN) and thumb drags (WM_RSCROLL_POS with
// the new percent) to its notify window with SendMessage. CRScrollBar_Hor is the same bar
// turned by 90 degrees.
//
// Every measurement of the bars is in pixels, unscaled: the arrows are 13 x 13 and the thumb is
// 11 pixels thick, 2 pixels in from the bar's edge.
#pragma once

#include <string>

#include "platform/mfc.h"
#include "ui/OffscreenDC.h"
#include "ui/RButton.h"

// Created by its owner as a child or tool pop-up; user-interface thread only.
class CRScrollBar : public CWnd {
public:
    CRScrollBar();
    ~CRScrollBar() override;

    // Stores the values and places the thumb: its length is page x (length - 26) / range (the
    // vertical bar at least 16), never longer than the track between the arrows, and it starts
    // percent of the free track after the first arrow, never on an arrow. A range below 1
    // counts as 1; a page of 1 means nothing scrolls (no thumb, arrows disabled). The percent
    // also becomes the position that the next drag compares with. Returns the thumb's far edge
    // in pixels; no repaint.
    int SetThumbInfo(int range, int page, int percent);
    // Invalidates the track between the arrows, without erasing.
    void RedrawTrack();
    void SetNotifyWnd(HWND notify) { m_hNotifyWnd = notify; }

    // The thumb in client pixels, as the last SetThumbInfo or drag placed it.
    const RECT& GetThumbRect() const { return m_rcThumb; }
    // 0 normal, 1 pointer over the thumb, 2 pressed.
    int GetThumbLook() const { return m_nLook; }

protected:
    // The horizontal twin's constructor.
    explicit CRScrollBar(bool horizontal);

    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    void OnActivate(UINT state, CWnd* other, BOOL minimized) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    // The bar's length along its axis in pixels.
    int Length() const;
    int Coordinate(CPoint point) const { return m_bHorizontal ? point.x : point.y; }
    // The thumb's start and end along the axis.
    int ThumbStart() const { return m_bHorizontal ? m_rcThumb.left : m_rcThumb.top; }
    int ThumbEnd() const { return m_bHorizontal ? m_rcThumb.right : m_rcThumb.bottom; }
    void PlaceThumb(int start, int length);
    // The second arrow's place at the bar's far end.
    CRect SecondArrowRect() const;
    void DragTo(int coordinate);
    void DrawThumb(CDC* dc);

    const bool m_bHorizontal;
    CRButton m_btnFirst;   // up or left
    CRButton m_btnSecond;  // down or right
    RECT m_rcThumb = {0, 0, 0, 0};
    RECT m_rcClient = {0, 0, 0, 0};
    RECT m_rcPrevClient = {0, 0, 0, 0};
    COffscreenDC m_dcComposite;
    COffscreenDC m_dcTrack;
    // Thumb slices by look (normal, over, pressed): first cap, stretched middle, last cap.
    COffscreenDC m_dcThumb[3][3];
    std::wstring m_strProgramFolder;
    int m_nLook = 0;
    int m_nRange = 1;
    int m_nPage = 1;
    int m_nPercent = 0;
    HWND m_hNotifyWnd = nullptr;
    BOOL m_bDragging = FALSE;
    int m_nLastCoordinate = 0;
    // The position last reported by a drag or given by the owner, per bar.
    int m_nLastReported = 0;
};
