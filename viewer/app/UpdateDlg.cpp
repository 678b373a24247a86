// The update dialog.
#include "app/UpdateDlg.h"

#include <cstring>

#include "app/AppGlobals.h"
#include "res/resource.h"
#include "ui/DPIScale.h"
#include "ui/Settings.h"

namespace {

constexpr int IDC_VERSION_LABEL = 1004;
constexpr int IDC_UPDATE_LABEL = 1005;
constexpr int IDC_VERSION = 1006;
constexpr int IDC_UPDATE = 1007;

HFONT MakeFont()
{
    LOGFONTW description = {};
    description.lfHeight = 12;
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    description.lfQuality = ANTIALIASED_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_MODERN;
    std::wcsncpy(description.lfFaceName, GetUIFaceName().c_str(), LF_FACESIZE - 1);
    return DPICreateFontIndirect(&description);
}

}  // namespace

CUpdateDlg::CUpdateDlg(CWnd* parent) : CDialog(IDD_UPDATE, parent) {}

CUpdateDlg::~CUpdateDlg()
{
    if (m_hTextFont)
        DeleteObject(m_hTextFont);
    if (m_hVersionFont)
        DeleteObject(m_hVersionFont);
    if (m_hWhiteBrush)
        DeleteObject(m_hWhiteBrush);
}

void CUpdateDlg::DoDataExchange(CDataExchange* exchange)
{
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_VERSION_LABEL, m_edtVersionLabel);
    DDX_Control(exchange, IDC_UPDATE_LABEL, m_edtUpdateLabel);
    DDX_Control(exchange, IDC_VERSION, m_edtVersion);
    DDX_Control(exchange, IDC_UPDATE, m_btnUpdate);
}

BOOL CUpdateDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (m_hTextFont)
        DeleteObject(m_hTextFont);
    if (m_hVersionFont)
        DeleteObject(m_hVersionFont);
    m_hTextFont = MakeFont();
    m_hVersionFont = MakeFont();
    if (!m_hWhiteBrush)
        m_hWhiteBrush = CreateSolidBrush(RGB(255, 255, 255));

    auto text = [](CWnd* control, LPCWSTR key, HFONT font) {
        if (!control || !control->GetSafeHwnd())
            return;
        control->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        control->SetWindowText(GetLangText(key).c_str());
    };
    SetWindowText(GetLangText(L"IDS_STRING_K_068").c_str());
    text(&m_edtVersionLabel, L"IDS_STRING_K_066", m_hTextFont);
    text(&m_edtUpdateLabel, L"IDS_STRING_K_067", m_hTextFont);
    text(&m_btnUpdate, L"IDS_STRING_K_068", m_hTextFont);
    text(GetDlgItem(IDOK), L"IDS_STRING_K_069", m_hTextFont);
    if (m_edtVersion.GetSafeHwnd()) {
        m_edtVersion.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hVersionFont), TRUE);
        m_edtVersion.SetWindowText(g_strAppVersion.c_str());
    }
    return TRUE;
}

BOOL CUpdateDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDC_UPDATE && HIWORD(wParam) == BN_CLICKED) {
        // The system's own notice: "work in progress", titled "notice".
        MessageBoxW(m_hWnd, L"작업 중.", L"알림", MB_OK);
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

HBRUSH CUpdateDlg::OnCtlColor(CDC* dc, CWnd* control, UINT type)
{
    HBRUSH brush = CDialog::OnCtlColor(dc, control, type);
    dc->SetBkMode(TRANSPARENT);
    if (control && control->GetDlgCtrlID() == IDC_VERSION)
        dc->SetTextColor(RGB(255, 153, 0));
    if (type == CTLCOLOR_DLG)
        return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    if (type == CTLCOLOR_BTN || type == CTLCOLOR_STATIC || type == CTLCOLOR_EDIT) {
        dc->SetBkColor(RGB(255, 255, 255));
        return m_hWhiteBrush;
    }
    return brush;
}
