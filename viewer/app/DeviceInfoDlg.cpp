// The device-information dialog.
#include "app/DeviceInfoDlg.h"

#include <cstring>

#include "app/DeviceData.h"
#include "res/resource.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"

namespace {

enum {
    IDC_CAPTION_MODEL = 1009,
    IDC_CAPTION_FIRMWARE = 1010,
    IDC_CAPTION_MEMORY = 1012,
    IDC_CAPTION_SAFETY = 1013,
    IDC_CAPTION_MICOM = 1014,
    IDC_CAPTION_LOCALID = 1021,
    IDC_VALUE_FIRST = 1015,  // model; 1016 firmware ... 1020 Local ID
    IDC_VALUE_LAST = 1020,
};

constexpr UINT kLocalIdString = 291;

HFONT MakeFont(LPCWSTR sizeKey, const std::wstring& face, LONG weight)
{
    LOGFONTW description = {};
    description.lfHeight = GetFontValue(sizeKey);
    description.lfWeight = weight;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    description.lfQuality = ANTIALIASED_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_MODERN;
    std::wcsncpy(description.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return DPICreateFontIndirect(&description);
}

}  // namespace

CBbInfoDlg::CBbInfoDlg(CWnd* parent) : CDialog(IDD_BBINFO, parent), CDPIWnd(this) {}

CBbInfoDlg::~CBbInfoDlg()
{
    if (m_hCaptionFont)
        DeleteObject(m_hCaptionFont);
    if (m_hValueFont)
        DeleteObject(m_hValueFont);
    if (m_hWhiteBrush)
        DeleteObject(m_hWhiteBrush);
}

void CBbInfoDlg::DoDataExchange(CDataExchange* exchange)
{
    CDialog::DoDataExchange(exchange);
}

void CBbInfoDlg::SetControlText(int id, const std::wstring& text, HFONT font)
{
    if (CWnd* control = GetDlgItem(id)) {
        control->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        control->SetWindowText(text.c_str());
    }
}

void CBbInfoDlg::PlaceControl(int id, int x, int y, int width)
{
    if (CWnd* control = GetDlgItem(id))
        control->MoveWindow(g_DPIScale.Scale(x), g_DPIScale.Scale(y), g_DPIScale.Scale(width),
                            g_DPIScale.Scale(15), TRUE);
}

BOOL CBbInfoDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_nRowCount = 0;
    DPIMoveWindow(0, 0, 446, 285);
    CenterWindow();

    if (m_hCaptionFont)
        DeleteObject(m_hCaptionFont);
    if (m_hValueFont)
        DeleteObject(m_hValueFont);
    m_hCaptionFont = MakeFont(L"TEXTSIZE_BBINFO_1", GetUIFaceName(), FW_NORMAL);
    m_hValueFont = MakeFont(L"TEXTSIZE_BBINFO_3", L"tahoma", FW_BOLD);
    if (!m_hWhiteBrush)
        m_hWhiteBrush = CreateSolidBrush(RGB(255, 255, 255));

    SetWindowText(GetLangText(L"IDS_STRING_K_070").c_str());
    SetControlText(IDC_CAPTION_MODEL, GetLangText(L"IDS_STRING_K_071"), m_hCaptionFont);
    SetControlText(IDC_CAPTION_FIRMWARE, GetLangText(L"IDS_STRING_K_073"), m_hCaptionFont);
    SetControlText(IDC_CAPTION_MEMORY, GetLangText(L"IDS_STRING_K_074"), m_hCaptionFont);
    SetControlText(IDC_CAPTION_SAFETY, GetLangText(L"IDS_STRING_K_075"), m_hCaptionFont);
    SetControlText(IDC_CAPTION_MICOM, GetLangText(L"IDS_STRING_K_090"), m_hCaptionFont);
    WCHAR localId[64] = {};
    if (LoadStringW(AfxGetResourceHandle(), kLocalIdString, localId, 64) <= 0)
        std::wcscpy(localId, L"Local ID");
    SetControlText(IDC_CAPTION_LOCALID, localId, m_hCaptionFont);

    const BlackBoxData* record = g_pBlackBoxData;
    // Every text field is read within its own bytes, whatever the card wrote there.
    BOOL safety = FALSE;
    BOOL micom = FALSE;
    for (int id = IDC_VALUE_FIRST; id <= IDC_VALUE_LAST; ++id)
        SetControlText(id, L"", m_hValueFont);
    if (record) {
        const BYTE* v = record->safetyCamVersion;
        safety = v[0] || v[1] || v[2] || v[3];
        std::wstring micomText = FieldTextW(record->szMicomVersion);
        micom = !micomText.empty();
        SetControlText(1015, FieldTextW(record->szModel), m_hValueFont);
        SetControlText(1016, FieldTextW(record->szFirmware), m_hValueFont);
        SetControlText(1017, FormatText(L"%0.2f GB", double(g_fCardCapacityGB)), m_hValueFont);
        if (safety)
            SetControlText(1018, FormatText(L"%02d.%02d.%02d.%02d", v[3], v[2], v[1], v[0]),
                           m_hValueFont);
        SetControlText(1019, micomText, m_hValueFont);
        SetControlText(1020, FormatText(L"%d", int(record->nLocalId)), m_hValueFont);
        if (!micom)
            SetControlText(IDC_CAPTION_MICOM, L"", m_hCaptionFont);
    } else {
        for (int id = IDC_VALUE_FIRST; id <= IDC_VALUE_LAST; ++id)
            if (CWnd* control = GetDlgItem(id))
                control->ShowWindow(SW_HIDE);
    }

    CRect client;
    GetClientRect(&client);
    int anchor = g_DPIScale.Unscale(client.Width()) - 115;
    auto row = [this](int caption, int captionWidth, int value, int valueX, int valueWidth) {
        int y = 26 + m_nRowPitch * m_nRowCount;
        PlaceControl(caption, 15, y, captionWidth);
        PlaceControl(value, valueX, y, valueWidth);
        ++m_nRowCount;
    };
    row(IDC_CAPTION_MODEL, 200, 1015, anchor - 100, 200);
    row(IDC_CAPTION_FIRMWARE, 200, 1016, anchor, 100);
    row(IDC_CAPTION_MEMORY, 280, 1017, anchor, 100);
    if (record) {
        if (safety)
            row(IDC_CAPTION_SAFETY, 260, 1018, anchor, 100);
        if (micom)
            row(IDC_CAPTION_MICOM, 200, 1019, anchor, 100);
        row(IDC_CAPTION_LOCALID, 200, 1020, anchor, 100);
    }

    if (CWnd* ok = GetDlgItem(IDOK)) {
        CRect button;
        ok->GetWindowRect(&button);
        ok->MoveWindow(client.right - g_DPIScale.Scale(85), client.bottom - g_DPIScale.Scale(35),
                       button.Width(), button.Height(), TRUE);
    }
    return TRUE;
}

void CBbInfoDlg::OnPaint()
{
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(163, 181, 198));
    HGDIOBJ old = SelectObject(dc.GetSafeHdc(), pen);
    for (int i = 0; i + 1 < m_nRowCount; ++i) {
        int y = g_DPIScale.Scale(m_nFirstLine + m_nRowPitch * i);
        MoveToEx(dc.GetSafeHdc(), g_DPIScale.Scale(m_nLeftMargin), y, nullptr);
        LineTo(dc.GetSafeHdc(), client.Width() - g_DPIScale.Scale(m_nLeftMargin), y);
    }
    SelectObject(dc.GetSafeHdc(), old);
    DeleteObject(pen);
}

HBRUSH CBbInfoDlg::OnCtlColor(CDC* dc, CWnd* control, UINT type)
{
    HBRUSH brush = CDialog::OnCtlColor(dc, control, type);
    dc->SetBkMode(TRANSPARENT);
    int id = control ? control->GetDlgCtrlID() : 0;
    if (id >= IDC_VALUE_FIRST && id <= IDC_VALUE_LAST)
        dc->SetTextColor(RGB(255, 153, 0));
    if (type == CTLCOLOR_DLG)
        return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    if (type == CTLCOLOR_STATIC) {
        dc->SetBkColor(RGB(255, 255, 255));
        return m_hWhiteBrush;
    }
    return brush;
}
