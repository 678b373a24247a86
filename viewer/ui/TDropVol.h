// CTDropVol: the narrow volume panel that opens under the volume tool button, one vertical
// slider for the sound volume (0 to 100) over a nine-patch background.
#pragma once

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/TSliderCtrl.h"

// The main dialog creates it hidden as a WS_POPUP with WS_EX_TOPMOST | WS_EX_TOOLWINDOW of
// 43 x 116 units that it owns, places it under the volume button and shows it activated; it
// hides itself when it loses activation. Every change goes to the owner synchronously as
// WM_SLIDER_CHANGED with 1203 and the volume. User-interface thread only.
class CTDropVol : public CWnd, public CDPIWnd {
public:
    CTDropVol();
    ~CTDropVol() override;

    void Redraw();
    unsigned int GetVolume() const { return m_nVolume; }
    CTSliderCtrl& GetSlider() { return m_sldVolume; }

protected:
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnShowWindow(BOOL show, UINT status) override;
    void OnActivate(UINT state, CWnd* other, BOOL minimized) override;
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Compose(CDC* target);

    COffscreenDC m_dcComposite;
    COffscreenDC m_dcBack;  // "play_setting_bg.9.png" at the client size
    int m_bDirty = 1;
    CTSliderCtrl m_sldVolume;     // "SldVol", vertical, its value counted from the top
    unsigned int m_nVolume = 50;  // 0 to 100
};
