// CTBalloon: the small floating label of the skinned controls (a button's tooltip, a panel
// slider's value read-out): a top-most layered pop-up showing the nine-patch "bg_info.9.png"
// with one line of black anti-aliased text centred in the picture's content area.
#pragma once

#include <string>

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"

// Created hidden by its owner, once, with CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
// PopupWindowClass(), L"Balloon", WS_POPUP, 0, 0, 1, 1, owner, nullptr); the owner places,
// shows and hides it. It never takes activation. User-interface thread only.
class CTBalloon : public CWnd, public CDPIWnd {
public:
    CTBalloon();
    ~CTBalloon() override;

    // A new font from the language ("TEXTSIZE_TBALOON"), the window sized to the text's width
    // plus 25 units by 27 units (its position and visibility stay as they are), and a repaint.
    void SetText(const std::wstring& text);
    // The number in "%d". The first of these calls (or of SetSpeedText) makes the font, later
    // ones keep it. The width is 26 units for -9 to 9, 33 for two digits, else 40; a change of
    // width hides the balloon.
    void SetNumberText(int number);
    // "x0.2", "x0.5", "x0.7", "x1.0", "x2.0", "x3.0", "x4.0" for 0 to 6; other indices keep the
    // text. 45 units wide; a change of width hides the balloon.
    void SetSpeedText(int index);
    // Composes anew and pushes the picture.
    void Redraw();

    const std::wstring& GetText() const { return m_strText; }

protected:
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    int OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message) override;

private:
    // Makes the font from the language key when there is none yet (or always, with replace).
    void MakeFont(LPCWSTR sizeKey, BYTE clipPrecision, bool replace);
    // Resizes to width x 27 units, hidden, when the client width differs.
    void FitWidth(int designWidth);
    void Paint();

    COffscreenDC m_dcFace;  // the composed picture, kept until the next change
    int m_bDirty = 1;
    RECT m_rcClient = {0, 0, 0, 0};
    RECT m_rcContent = {0, 0, 0, 0};  // pixels, the background's content area
    std::wstring m_strText;
    HFONT m_hFont = nullptr;  // owned; none until the first text
};

// Blends the text, anti-aliased in `color`, into the target: vertically centred in the
// rectangle (offset rounded down), horizontally at its left or, with centre, centred (offset
// rounded up); offsets below 0 become 0 and nothing is clipped to the rectangle. Nothing is
// drawn for an empty text or target, or without a font.
void DrawTextAlpha(COffscreenDC& target, const std::wstring& text, HFONT font, const RECT& rect,
                   COLORREF color, BOOL centre);
