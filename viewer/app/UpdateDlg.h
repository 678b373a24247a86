// CUpdateDlg: a small modal dialog that shows the viewer's version and offers an update button,
// which only shows a notice. Held by the main dialog; nothing opens it there.
#pragma once

#include "platform/mfc.h"

class CUpdateDlg : public CDialog {
public:
    explicit CUpdateDlg(CWnd* parent = nullptr);
    ~CUpdateDlg() override;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT type) override;

private:
    HFONT m_hTextFont = nullptr;     // owned
    HFONT m_hVersionFont = nullptr;  // owned
    CEdit m_edtVersionLabel;  // 1004
    CEdit m_edtUpdateLabel;   // 1005
    CEdit m_edtVersion;       // 1006
    CButton m_btnUpdate;      // 1007
    HBRUSH m_hWhiteBrush = nullptr;  // owned
};
