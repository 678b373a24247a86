// CTSliderCtrl: the slider of the floating surfaces (brightness and speed, volume, full-screen
// progress), a top-level layered pop-up owned by its panel: a floating-point position in
// [0, maximum] over a nine-patch track, a filled bar up to it, a thumb, and a balloon with the
// value above the thumb while the pointer is on it or dragging.
#pragma once

#include <climits>
#include <string>

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/TBalloon.h"

// Owners create it through DPICreateEx as a WS_POPUP with WS_EX_TOOLWINDOW that they own; it is
// horizontal when wider than high. Values sent are the position rounded half up, counted from
// the top end in a vertical slider (maximum - rounded position), so a vertical volume slider
// reports 100 at its top. A press beside the thumb and every drag step post WM_SLIDER_CHANGED;
// every release over the slider sends WM_SLIDER_RELEASED. User-interface thread only.
class CTSliderCtrl : public CWnd, public CDPIWnd {
public:
    CTSliderCtrl();
    ~CTSliderCtrl() override;

    // Position := value clamped to [0, maximum]; repaints at once. The balloon is left alone.
    void SetValue(float value);
    float GetValue() const { return m_fPos; }
    void SetMax(float maximum);
    void SetNotifyId(int id) { m_nNotifyId = id; }
    // The track and bar nine-patches drawn at the bar's thickness (barWidth x barHeight design
    // units, the thickness across the slider) and the thumb pictures at their own sizes.
    void SetImages(const std::wstring& bar9, const std::wstring& background9,
                   const std::wstring& thumbNormal, const std::wstring& thumbOver,
                   const std::wstring& thumbPressed, int barWidth, int barHeight);
    // 0 no balloon, 1 the value as a number, 2 the value as a speed step.
    void SetBalloonMode(int mode) { m_nBalloonMode = mode; }
    // Brings the balloon up to date at the last pointer point (after a wheel step, say).
    void UpdateBalloon();

    // The value the messages carry for the current position.
    int ReportedValue() const;
    BOOL IsHorizontal() const { return m_bHorizontal; }
    const RECT& GetThumbRect() const { return m_rcThumb; }
    CTBalloon& GetBalloon() { return m_balloon; }

protected:
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    int OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message) override;

private:
    void Repaint();
    void Compose(CDC* target);
    void ShowBalloon(POINT point, bool dragging);
    int Along(POINT point) const { return m_bHorizontal ? point.x : point.y; }
    int Length() const;  // client length along the slider, less the thumb
    float Clamp(float value) const;

    COffscreenDC m_dcComposite;  // the composed picture, kept until dirty
    COffscreenDC m_dcBar;        // client-sized, the filled bar
    COffscreenDC m_dcBack;       // client-sized, the empty track
    COffscreenDC m_dcThumb[3];   // normal, over, pressed, at their own sizes
    int m_nLast = -1;            // pointer coordinate along the slider at the last step
    int m_nLook = 0;             // 0 normal, 2 pressed
    int m_nStyle = 0;            // 0 interactive; nothing sets another value
    BOOL m_bHorizontal = TRUE;
    int m_nHalfThumb = 0;    // half the thumb's length along the slider, rounded up
    int m_nThumbOffset = 0;  // the thumb's distance from the top in a horizontal slider
    int m_nNotifyId = 0;
    BOOL m_bTracking = FALSE;
    int m_bDirty = 1;
    BOOL m_bDragging = FALSE;
    CRect m_rcClient;
    RECT m_rcThumb = {0, 0, 0, 0};
    float m_fMin = 0.0f;
    float m_fMax = 100.0f;
    float m_fPos = 0.0f;
    float m_fPaintedPos = -0.1f;
    CTBalloon m_balloon;
    // The value the balloon shows; none yet, so that the first showing sets the real value.
    int m_nBalloonValue = INT_MIN;
    int m_nBalloonMode = 0;
    POINT m_ptLast = {0, 0};  // client pixels of the last WM_MOUSEMOVE
};
