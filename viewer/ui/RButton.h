// CRButton: the owner-drawn push button of the main dialog, its title bar, the full-screen
// caption bar and the scroll bars. It paints the picture of its state (plain or nine-patch)
// over a copy of its parent's background, optionally a caption in state colours and a level
// icon, shows a tooltip balloon while the pointer is over it, and posts a click to its parent
// as WM_COMMAND with its control id.
#pragma once

#include <string>

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/TBalloon.h"

// The caption of a nine-patch button, filled by its owner.
struct CRButtonText {
    std::wstring strText;
    COLORREF clrNormal = 0;
    COLORREF clrDisabled = 0;
    COLORREF clrOver = 0;
    COLORREF clrPress = 0;  // pressed or checked
    int nFontSize = 0;      // design units
    int nAlign = 0;         // 0 top-left of the content area, 1 centred
};

// Created by its parent through DPICreate (null class, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, the
// command id as control id), then given pictures. Setters repaint at once through a device
// context of the button's window. User-interface thread only.
class CRButton : public CWnd, public CDPIWnd {
public:
    // The states; each has its own picture.
    enum State { kNormal = 0, kOver = 1, kPressed = 2, kChecked = 3, kDisabled = 4 };

    CRButton();
    ~CRButton() override;

    // Plain pictures stretched onto surfaces of the button's size. With a parent device
    // context the parent's pixels under the button become its background (backgroundMode 1
    // takes them from point (1, 0) of that device context instead). An empty disabled name
    // leaves the button without a disabled picture.
    void SetImages(const std::wstring& normal, const std::wstring& over,
                   const std::wstring& pressed, CDC* parentDC,
                   const std::wstring& disabled = std::wstring(), int backgroundMode = 0);
    // Nine-patch pictures and an optional caption, whose rectangle is the normal picture's
    // content area.
    void SetImages9(const std::wstring& normal9, const std::wstring& over9,
                    const std::wstring& pressed9, CDC* parentDC,
                    const CRButtonText* caption = nullptr,
                    const std::wstring& disabled9 = std::wstring());
    // Six level icons (0 to 5) and the disabled one (6), each at its own size at (x, y) pixels;
    // the level becomes 0.
    void SetLevelImages(const std::wstring& level0, const std::wstring& level1,
                        const std::wstring& level2, const std::wstring& level3,
                        const std::wstring& level4, const std::wstring& level5,
                        const std::wstring& disabled, int x, int y);
    // Any value is kept; only 0 to 6 draw an icon (6 and a disabled button: the disabled icon).
    void SetLevel(int level);
    int GetLevel() const { return m_nLevel; }
    // The checked picture, plain or nine-patch; no repaint. A button with a checked picture
    // that is checked stays checked through clicks.
    void SetCheckImage(const std::wstring& name);
    void SetCheckImage9(const std::wstring& name9);
    // Nothing while disabled; otherwise checked (state 3) or normal (state 0).
    void SetCheck(BOOL check);
    BOOL GetCheck() const { return m_bChecked; }
    // Creates the balloon on first use; an empty text shows no tooltip.
    void SetTooltip(const std::wstring& text);
    // Extra pixels added to the balloon's place below the button's left edge.
    void SetTooltipOffset(int dy, int dx);
    // FALSE: a click does not activate the top-level window.
    void SetMouseActivate(BOOL activate) { m_bMouseActivate = activate; }
    // Replaces the caption's text; callers follow with Redraw.
    void SetCaption(const std::wstring& text) { m_strCaption = text; }
    void Redraw();
    // While locked the pointer does not change the state (clicks are still posted).
    void SetLock(BOOL lock) { m_bLock = lock; }
    void SetState(int state);
    int GetState() const { return m_nState; }

    // The balloon, for owners and tests that look at it; it exists once a tooltip was set.
    CTBalloon& GetBalloon() { return m_balloon; }

protected:
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    void OnEnable(BOOL enable) override;
    int OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message) override;

private:
    // Copies the parent's pixels under the button (from (1, 0) of parentDC with fromCorner).
    void CopyBackground(CDC* dc, CDC* parentDC, bool fromCorner);
    void Paint(CDC* target);
    void Compose(CDC* target, int width, int height);
    void DrawCaption(CDC* target);
    // Asks for a WM_MOUSELEAVE unless one is asked for already.
    void TrackLeave();
    void ShowBalloon();

    COffscreenDC m_dcFace;        // the composed face, kept until the button is dirty
    COffscreenDC m_dcBackground;  // the parent's pixels under the button
    COffscreenDC m_dcState[5];    // by State: normal, over, pressed, checked, disabled
    COffscreenDC m_dcLevel[7];
    int m_bDirty = 1;
    BOOL m_bLock = FALSE;
    BOOL m_bTracking = FALSE;  // a WM_MOUSELEAVE is asked for and has not come yet
    int m_nState = kNormal;
    BOOL m_bHasCaption = FALSE;
    std::wstring m_strCaption;
    COLORREF m_clrCaption[4] = {0, 0, 0, 0};  // normal, disabled, over, pressed-or-checked
    int m_nFontSize = 0;
    int m_nAlign = 0;
    RECT m_rcCaption = {0, 0, 0, 0};  // pixels
    HFONT m_hCaptionFont = nullptr;   // owned
    BOOL m_bChecked = FALSE;
    BOOL m_bHasBackground = FALSE;
    CTBalloon m_balloon;
    BOOL m_bBalloonCreated = FALSE;
    std::wstring m_strTooltip;
    int m_nTooltipDy = 0;
    int m_nTooltipDx = 0;
    int m_nLevel = -1;
    POINT m_ptLevel = {0, 0};
    BOOL m_bMouseActivate = TRUE;
};
