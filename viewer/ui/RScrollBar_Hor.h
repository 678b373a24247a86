// CRScrollBar_Hor: the horizontal skinned scroll bar, CRScrollBar turned by 90 degrees. It
// reports WM_RSCROLL_LEFT, WM_RSCROLL_RIGHT and WM_RSCROLL_HPOS; its thumb has no minimum
// length, and its window sends no activation trace.
#pragma once

#include "ui/RScrollBar.h"

class CRScrollBar_Hor : public CRScrollBar {
public:
    CRScrollBar_Hor();
};
