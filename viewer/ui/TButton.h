// CTButton: the button of the floating surfaces (the full-screen control bar, the brightness and
// speed panel, the zoomed view's corner), a top-level layered pop-up owned by its panel that
// composes its own transparency: five state pictures, an optional caption and level icon, a
// checked state and a tooltip balloon. A click goes to the owner as a sent WM_COMMAND.
#pragma once

#include <string>

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/RButton.h"
#include "ui/TBalloon.h"

// Owners create it through DPICreateEx as a hidden WS_POPUP with WS_EX_TOOLWINDOW that they
// own, give it pictures, command id and tooltip, then place and show it. User-interface thread
// only.
class CTButton : public CWnd, public CDPIWnd {
public:
    enum State { kNormal = 0, kOver = 1, kPressed = 2, kChecked = 3, kDisabled = 4 };

    CTButton();
    ~CTButton() override;

    // Plain pictures stretched to the client size; the disabled one only when named.
    void SetImages(const std::wstring& normal, const std::wstring& over,
                   const std::wstring& pressed, const std::wstring& disabled = L"");
    // Nine-patches stretched to the client size and, with a record, the caption: its text,
    // normal, over and pressed colours, size (used to centre it vertically; the font is 12
    // units high) and alignment; the normal picture's content area holds it.
    void SetImages9(const std::wstring& normal9, const std::wstring& over9,
                    const std::wstring& pressed9, const CRButtonText* caption,
                    const std::wstring& disabled9 = L"");
    // Six level pictures at their own sizes, shown at (x, y) pixels; the level becomes 0.
    void SetLevelImages(const std::wstring& level0, const std::wstring& level1,
                        const std::wstring& level2, const std::wstring& level3,
                        const std::wstring& level4, const std::wstring& level5, int x, int y);
    // 0 to 5 shows that level icon, any other value none; repaints at once.
    void SetLevel(int level);
    int GetLevel() const { return m_nLevel; }
    void SetCheckImage(const std::wstring& name);
    // Checked: the checked look; unchecked: the normal look. Repaints at once.
    void SetCheck(BOOL checked);
    BOOL GetCheck() const { return m_bChecked; }
    void SetCommandId(int id) { m_nCommandId = id; }
    // FALSE: a click does not activate the window (so the panel keeps activation).
    void SetMouseActivate(BOOL activate) { m_bMouseActivate = activate; }
    // Creates the balloon on first use and gives it the text; empty: no tooltip.
    void SetTooltip(const std::wstring& text);
    int GetState() const { return m_nState; }
    // The tooltip balloon, for its owner's placement and tests; no window before SetTooltip.
    CTBalloon& GetBalloon() { return m_balloon; }

protected:
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    int OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message) override;
    void OnEnable(BOOL enable) override;
    void OnShowWindow(BOOL show, UINT status) override;

private:
    // Sets the dirty flag and paints through a window device context.
    void Repaint();
    void Compose(CDC* target);
    // The look a button at rest has: checked or normal.
    int RestState() const { return m_bChecked ? kChecked : kNormal; }
    void HideBalloon();
    void LoadStates(const std::wstring* names, bool nine, RECT* normalContent);

    COffscreenDC m_dcFace;      // the composed face, kept until dirty
    COffscreenDC m_dcState[5];  // normal, over, pressed, checked, disabled; client-sized
    COffscreenDC m_dcLevel[6];
    int m_nLock = 0;  // nothing sets it; while non-zero the mouse would not change the look
    int m_bDirty = 1;
    int m_bHover = 0;
    int m_nState = kNormal;
    BOOL m_bPressed = FALSE;   // the left button went down on the button and is still down
    BOOL m_bTracking = FALSE;  // a WM_MOUSELEAVE is requested
    int m_bHasCaption = 0;
    std::wstring m_strCaption;
    COLORREF m_clrNormal = 0, m_clrOver = 0, m_clrPressed = 0;
    COLORREF m_clrCaption = 0;        // the colour last used; the disabled look keeps it
    int m_nCaptionSize = 0;           // design units
    int m_nCaptionAlign = 0;          // 0 top-left, 1 centred
    RECT m_rcCaption = {0, 0, 0, 0};  // pixels
    HFONT m_hCaptionFont = nullptr;   // owned
    int m_nCommandId = 0;
    int m_nLevel = -1;
    POINT m_ptLevel = {0, 0};
    BOOL m_bMouseActivate = TRUE;
    CTBalloon m_balloon;
    std::wstring m_strTooltip;
    BOOL m_bBalloonCreated = FALSE;
    BOOL m_bChecked = FALSE;
};
