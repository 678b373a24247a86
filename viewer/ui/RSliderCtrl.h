// CRSliderCtrl: the skinned slider of the main dialog, the seek bar (notify id 1200) and the
// passive speed gauge (1205). It holds a position between 0 and 100, paints the empty bar, the
// filled bar up to the position and a thumb, and reports the pointer to its parent with
// WM_SLIDER_CHANGED (wParam the notify id, lParam the position rounded half up; in a vertical
// slider 100 less that, so the top reports 100) and WM_SLIDER_RELEASED (lParam 0).
#pragma once

#include <string>

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"

// Created by its parent through DPICreate; user-interface thread only.
class CRSliderCtrl : public CWnd, public CDPIWnd {
public:
    CRSliderCtrl();
    ~CRSliderCtrl() override;

    // Clamped to [0, 100]; repaints at once.
    void SetPos(float value);
    float GetPos() const { return m_fPos; }
    void SetNotifyId(int id) { m_nNotifyId = id; }
    // 0 interactive; any other value ignores the mouse, and 2 also hides the thumb.
    void SetStyle(int style) { m_nStyle = style; }
    // Nine-patch bars drawn barWidth x barHeight pixels thick across the slider's middle; the
    // thumbs at their own sizes (empty names: none).
    void SetImages9(const std::wstring& bar9, const std::wstring& background9,
                    const std::wstring& thumbNormal, const std::wstring& thumbOver,
                    const std::wstring& thumbPressed, int barWidth, int barHeight);
    // Plain bars stretched over the slider and blended over the parent's pixels under it.
    void SetImages(const std::wstring& full, const std::wstring& empty,
                   const std::wstring& thumbNormal, const std::wstring& thumbOver,
                   const std::wstring& thumbPressed, CDC* parentBackground, int barWidth,
                   int barHeight);

    // Where the thumb was last drawn, client pixels.
    const RECT& GetThumbRect() const { return m_rcThumb; }

protected:
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    int OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message) override;

private:
    // The pictures as last given; a size change builds the surfaces again from them.
    struct Pictures {
        bool given = false;
        bool nine = false;
        std::wstring bar, background, thumb[3];
        int barWidth = 0, barHeight = 0;
    };
    void Build(CDC* parentBackground);
    void Redraw();
    void Paint(CDC* target);
    void Compose(CDC* target);
    // The track along the slider less the thumb (pixels); 0 or less when there is none.
    int Travel() const;
    int Along(CPoint point) const { return m_bHorizontal ? point.x : point.y; }
    LPARAM Value() const;
    void Clamp();

    Pictures m_pictures;
    COffscreenDC m_dcComposite;  // the composed slider, kept until dirty
    COffscreenDC m_dcParent;     // the parent's pixels, only with plain pictures
    COffscreenDC m_dcBar;        // filled bar, client-sized
    COffscreenDC m_dcBackground; // empty bar, client-sized
    COffscreenDC m_dcThumb[3];   // normal, over, pressed
    int m_nLastCoordinate = -1;
    int m_nLook = 0;  // 0 normal, 2 pressed
    int m_nStyle = 0;
    int m_bHorizontal = 1;
    int m_nHalfThumb = 0;
    int m_nThumbOffset = 0;  // across the slider
    int m_nNotifyId = 0;
    BOOL m_bTracking = FALSE;
    int m_bDirty = 1;
    BOOL m_bDragging = FALSE;
    RECT m_rcClient = {0, 0, 0, 0};
    RECT m_rcThumb = {0, 0, 0, 0};
    float m_fMin = 0.0f;
    float m_fMax = 100.0f;
    float m_fPos = 0.0f;
    float m_fPaintedPos = -0.1f;
};
