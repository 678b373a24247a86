// CRImageNum: a whole number from 0 to 999 (or three dashes) shown with the skin's digit
// pictures over a copy of the parent's background; the main dialog's speed read-out.
#pragma once

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"

// Created by its parent; loads its digit pictures when its window is created. Setters repaint at
// once through a device context of its window. User-interface thread only.
class CRImageNum : public CWnd, public CDPIWnd {
public:
    CRImageNum();
    ~CRImageNum() override;

    // -1 shows dashes; other values below -1 or above 999 are ignored. Always recomposes.
    void SetNumber(int number);
    int GetNumber() const { return m_nNumber; }
    // Copies the parent's pixels under the control; no repaint.
    void SetBackground(CDC* parentDC);
    void Redraw();

protected:
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    void OnEnable(BOOL enable) override;
    void OnSize(UINT type, int cx, int cy) override;

private:
    void Paint(CDC* target);

    COffscreenDC m_dcFace;  // the composed picture, kept until the display is dirty
    COffscreenDC m_dcBackground;
    // 0 to 9 the digits, 10 the disabled dash, 11 the dash; at the pictures' own sizes.
    COffscreenDC m_dcDigit[12];
    int m_bDirty = 1;
    int m_nNumber = -1;
    int m_bEnabled = 1;
};
