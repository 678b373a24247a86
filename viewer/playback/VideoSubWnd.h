// CVideoSubWnd: the main dialog's small video view. While a recording with two video streams
// is open the engine's second renderer draws into it and the window paints nothing of its own;
// otherwise it shows the rear-view placeholder, or, for an MP4 recording played in single-view
// mode, two explanatory texts on a nine-patch background.
#pragma once

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"

// A child of the main dialog, whose CVideoWndHost answers what is open. User-interface thread
// only.
class CVideoSubWnd : public CWnd, public CDPIWnd {
public:
    CVideoSubWnd();
    ~CVideoSubWnd() override;

protected:
    // Mouse moves and left-button presses and releases also go to the parent, first, with the
    // point converted to the parent's client coordinates.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;

private:
    void DrawSingleViewTexts(const CRect& client);

    COffscreenDC m_dcPlaceholder;  // "view_rear.png" at the client size of creation time
    // "bg_list02.9.png" with the single-view texts, made again at the client size every paint
    COffscreenDC m_dcText;
    CRect m_rcClient;
};
