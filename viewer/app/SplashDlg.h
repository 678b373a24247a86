// CSplashDlg: the start-up picture shown while the main dialog builds itself. A top-most
// 480 x 320 window with "splash.png" and a progress track that fills in 100 steps of 10 ms and
// then ends the dialog with IDOK. Lives entirely on the splash thread.
#pragma once

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"

class CSplashDlg : public CDialog, public CDPIWnd {
public:
    explicit CSplashDlg(CWnd* parent = nullptr);
    ~CSplashDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // The progress step (0..100).
    int GetStep() const { return m_nStep; }
    // The track rectangle in pixels.
    const RECT& GetTrackRect() const { return m_rcTrack; }

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnTimer(UINT_PTR id) override;

private:
    // Draws the fill of the track up to the step on the window's own device context.
    void DrawProgress(int step);

    COffscreenDC m_dcCompose;          // client-sized, made on the first paint
    CBitmap* m_pComposeBitmap = nullptr;
    COffscreenDC m_dcSplash;           // "splash.png" at the client size
    RECT m_rcClient = {0, 0, 0, 0};
    int m_bDirty = 1;
    RECT m_rcTrack = {34, 182, 214, 185};  // scaled by the constructor
    int m_nStep = 0;
};
