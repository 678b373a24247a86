// CBbInfoDlg: the modal device-information dialog (the camera's model, firmware, memory size,
// safety-camera and MICOM versions and Local ID read from the memory card).
#pragma once

#include "platform/mfc.h"
#include "ui/DPIWnd.h"

class CBbInfoDlg : public CDialog, public CDPIWnd {
public:
    explicit CBbInfoDlg(CWnd* parent = nullptr);
    ~CBbInfoDlg() override;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
};
