// CGPSViewer: the main dialog's G-sensor panel, which draws a recording's three acceleration
// curves over a grid and a vertical line at the playing position.
#pragma once

#include <vector>

#include "platform/mfc.h"
#include "playback/TextData.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"

// The background, the grid and the curves are composed in a surface of the client size, which
// is copied to the window in one blit; the position line alone is drawn straight onto the
// window, so a repaint shows the curves without it until the next SetCLine. Everything runs on
// the user-interface thread; nothing is locked.
//
// The panel keeps its own copy of the samples it shows, so the recording entry that handed
// them over may be replaced or freed at any time afterwards.
class CGPSViewer : public CWnd, public CDPIWnd {
public:
    CGPSViewer();
    ~CGPSViewer() override;

    // Takes the picture under the panel from the parent's background surface (client
    // coordinates of the parent) and redraws the empty grid over it. Call once the panel
    // exists; a null parentDC leaves the background black.
    void SetBackground(CDC* parentDC);
    // Copies the G-sensor samples of `data` and draws them; null shows the empty grid.
    // Always TRUE.
    BOOL DrawGPSData(const CTextData* data);
    // Draws the position line at percent (0 to 100) of the width over the composed picture;
    // 100 lies one pixel right of the last column. The second argument is not used. Always
    // TRUE.
    BOOL SetCLine(int percent, int unused);
    // Forgets the samples and shows the empty grid.
    void ResetData();

    // The number of samples shown (0 in the empty state).
    size_t GetSampleCount() const { return m_samples.size(); }

protected:
    // Mouse moves and left-button presses and releases also go to the parent, unchanged (the
    // point in the panel's client coordinates), so that a drag on the graph moves the dialog.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;

private:
    // One sample's three axes, in 1/128 g.
    struct Sample {
        int x;
        int y;
        int z;
    };

    // Rebuilds the surface from the background and the grid when m_bReset is set, then copies
    // it onto target.
    void Render(CDC* target);
    // Renders onto a device context of the window.
    void RenderToWindow();
    void DrawGrid(CDC* dc);
    // Draws the three curves of m_samples into the surface.
    void DrawCurves();

    std::vector<Sample> m_samples;  // the samples shown, in list order; empty: none
    COffscreenDC m_surface;         // background, grid and curves at the client size
    int m_bReset;                   // 1: rebuild the surface from background and grid
    int m_bPainted;                 // 1 once rendered: size changes redraw from then on
    COffscreenDC m_background;      // the parent's picture under the panel
    RECT m_rcClient;                // the client rectangle, pixels
    std::vector<POINT> m_points;    // one curve's points while it is drawn, kept for reuse
};
