// CRStatic: the framework's static text control placed in design units; its owner gives it
// text, font and colours the standard way (SetWindowText, WM_SETFONT, the colour message).
#pragma once

#include "platform/mfc.h"
#include "ui/DPIWnd.h"

class CRStatic : public CStatic, public CDPIWnd {
public:
    CRStatic();
    ~CRStatic() override;
};
