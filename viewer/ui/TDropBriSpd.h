// CTDropBriSpd: the brightness and speed panel that opens under the playback-speed tool button:
// a speed section (icon, label, the current rate in a gauge, a seven-step slider), an
// Initialize button, and a brightness value with a slider of its own that is never shown.
#pragma once

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/TButton.h"
#include "ui/TSliderCtrl.h"

// The playback rates by speed index; index 3 (1.0) is the default.
extern const float g_PlaySpeedTable[7];
// The first index among 0 to 5 whose rate equals the rate exactly; 6 when none does (4.0 and
// every rate outside the table).
int SpeedIndexOf(float rate);

// The main dialog creates it hidden as a WS_POPUP with WS_EX_TOPMOST | WS_EX_TOOLWINDOW of
// 151 x 150 units that it owns, places it under the tool button and shows it activated; the
// panel hides itself when it loses activation. Its sliders and button are pop-ups of its own
// that never take activation. Every change goes to the owner synchronously: WM_SLIDER_CHANGED
// with 1201 and the brightness or 1202 and the speed index, and WM_COMMAND 1056 after the
// Initialize button reset the panel. User-interface thread only.
class CTDropBriSpd : public CWnd, public CDPIWnd {
public:
    CTDropBriSpd();
    ~CTDropBriSpd() override;

    // Brightness 50, speed 1.0 with the slider at index 3; tells nobody.
    void Initialize();
    // Pictures, font and texts again for the current language.
    void ReloadTexts();
    void Redraw();

    unsigned int GetBrightness() const { return m_nBrightness; }
    float GetSpeed() const { return m_fSpeed; }
    CTSliderCtrl& GetSpeedSlider() { return m_sldSpeed; }
    CTSliderCtrl& GetBrightnessSlider() { return m_sldBrightness; }
    CTButton& GetInitButton() { return m_btnInit; }

protected:
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnShowWindow(BOOL show, UINT status) override;
    void OnActivate(UINT state, CWnd* other, BOOL minimized) override;
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void BuildBackground(CDC* dc);
    void MakeFont();
    void GiveButtonPictures();
    void Recompose();
    void Compose(CDC* target);
    void OnSliderChanged(WPARAM id, LPARAM value);
    // Moves a child to a client point of the panel (design units) at its design size.
    void PlaceChild(CWnd& child, int x, int y, int width, int height, bool show);

    COffscreenDC m_dcComposite;
    COffscreenDC m_dcBack;       // background with the static speed section, client size
    COffscreenDC m_dcSpeedIcon;  // the icon's own size
    COffscreenDC m_dcContents;   // 139 x 55 units
    COffscreenDC m_dcGauge;      // 37 x 15 units
    int m_bDirty = 1;
    CTSliderCtrl m_sldBrightness;     // "ScrBri", never shown
    CTSliderCtrl m_sldSpeed;          // "ScrSpd"
    CTButton m_btnInit;               // "ScrInit"
    HFONT m_hFont = nullptr;          // owned
    unsigned int m_nBrightness = 50;  // 0 to 100
    float m_fSpeed = 1.0f;            // always an entry of g_PlaySpeedTable
};
