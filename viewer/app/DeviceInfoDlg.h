// CBbInfoDlg: the modal device-information dialog (the camera's model, firmware, memory size,
// safety-camera and MICOM versions and Local ID read from the memory card). Rows without data
// are left out and the rows below close up; without a device record only the first three
// captions are shown, without values. Run anew for each opening, on the user-interface thread.
#pragma once

#include "platform/mfc.h"
#include "ui/DPIWnd.h"

class CBbInfoDlg : public CDialog, public CDPIWnd {
public:
    explicit CBbInfoDlg(CWnd* parent = nullptr);
    ~CBbInfoDlg() override;

    BOOL OnInitDialog() override;

    // Rows laid out by the last opening; a line is drawn between neighbouring rows.
    int GetRowCount() const { return m_nRowCount; }

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    void OnPaint() override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT type) override;

private:
    void SetControlText(int id, const std::wstring& text, HFONT font);
    // Places a control in design units.
    void PlaceControl(int id, int x, int y, int width);

    HFONT m_hCaptionFont = nullptr;  // owned
    HFONT m_hValueFont = nullptr;    // owned
    int m_nRowCount = 0;
    int m_nRowPitch = 33;    // design units
    int m_nLeftMargin = 10;  // design units
    int m_nFirstLine = 46;   // design units
    HBRUSH m_hWhiteBrush = nullptr;  // owned, for the fields' background
};
