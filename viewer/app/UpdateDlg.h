// CUpdateDlg: a small modal dialog that shows the viewer's version and offers an update button.
#pragma once

#include "platform/mfc.h"

class CUpdateDlg : public CDialog {
public:
    explicit CUpdateDlg(CWnd* parent = nullptr);
    ~CUpdateDlg() override;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
};
