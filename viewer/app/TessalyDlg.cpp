// The main dialog's construction, start-up, splash thread, close and destruction.
#include "app/TessalyDlg.h"

#include "playback/JSObject.h"
#include "playback/WebForm.h"
#include "playback/WebformDispatchImpl.h"
#include "ui/DPIScale.h"

CRITICAL_SECTION g_csExtractText;
HANDLE g_hShowMainDlgEvent = nullptr;
HANDLE g_hFileParsingEvent = nullptr;
JSObject* g_pJSObject = nullptr;
WebformDispatchImpl* g_pWebformDispatch = nullptr;
std::wstring g_strAppVersion = L"NOT";

BlackBoxData* g_pBlackBoxData = nullptr;
BOOL g_bCardFound = FALSE;
float g_fCardCapacityGB = 0;
std::wstring g_strCardDrive;

CTessalyDlg::CTessalyDlg(CWnd* parent)
    : CDialog(IDD_TESSALY_DIALOG, parent),
      m_dlgUpdate(nullptr),
      m_dlgBbInfo(nullptr),
      m_dlgSplash(nullptr)
{
    m_hIcon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    g_DPIScale.ScaleRect(&m_rcVideo);
    g_DPIScale.ScaleRect(&m_rcSubVideo);
    g_DPIScale.ScaleRect(&m_rcMap);
    delete g_pBlackBoxData;
    g_pBlackBoxData = nullptr;
    g_bCardFound = FALSE;
    g_fCardCapacityGB = 0;
    g_strCardDrive.clear();
    g_strAppVersion = L"NOT";
}

CTessalyDlg::~CTessalyDlg()
{
    delete m_pWebForm;
    m_pWebForm = nullptr;
    delete g_pWebformDispatch;
    g_pWebformDispatch = nullptr;
    if (g_pJSObject) {
        g_pJSObject->Release();
        g_pJSObject = nullptr;
    }
    if (m_hIcon)
        DestroyIcon(m_hIcon);
}

void CTessalyDlg::DoDataExchange(CDataExchange* exchange)
{
    CDialog::DoDataExchange(exchange);
}

BOOL CTessalyDlg::IsPlayingMP4()
{
    return m_bMP4Mode;
}

BOOL CTessalyDlg::IsSingleView()
{
    return m_bSinglePlay;
}

BOOL CTessalyDlg::HasDeviceRecord()
{
    return g_pBlackBoxData != nullptr;
}
