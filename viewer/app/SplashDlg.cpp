// The splash dialog: "splash.png" and a progress track that fills in 100 steps of 10 ms.
#include "app/SplashDlg.h"

#include <cmath>

#include "res/resource.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/SkinImage.h"

namespace {

const COLORREF kTrackColour = RGB(34, 37, 39);
const COLORREF kFillColour = RGB(108, 180, 235);

}  // namespace

CSplashDlg::CSplashDlg(CWnd* parent) : CDialog(IDD_SPLASH, parent), CDPIWnd(this)
{
    g_DPIScale.ScaleRect(&m_rcTrack);
}

CSplashDlg::~CSplashDlg()
{
    delete m_pComposeBitmap;
}

void CSplashDlg::DoDataExchange(CDataExchange* exchange)
{
    CDialog::DoDataExchange(exchange);
}

BOOL CSplashDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    DPISetWindowPos(HWND_TOPMOST, 0, 0, 480, 320, SWP_SHOWWINDOW);
    CenterWindow();
    SetWindowText(L"KESTROVAN DASHCAM TESSALY");
    GetClientRect(&m_rcClient);
    m_rcTrack = {34, 182, 214, 185};
    g_DPIScale.ScaleRect(&m_rcTrack);
    CClientDC dc(this);
    m_dcSplash.Create(&dc, m_rcClient.right, m_rcClient.bottom);
    DrawSkinImage(m_dcSplash, L"splash.png");
    m_nStep = 0;
    m_bDirty = 1;
    SetTimer(IDT_SPLASH_STEP, 10);
    return TRUE;
}

BOOL CSplashDlg::PreTranslateMessage(MSG* msg)
{
    // Enter and Escape never end the splash.
    if (msg && (msg->wParam == 13 || msg->wParam == 27))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

void CSplashDlg::OnTimer(UINT_PTR id)
{
    if (id != IDT_SPLASH_STEP) {
        CDialog::OnTimer(id);
        return;
    }
    int step = m_nStep + 1;
    if (step > 99) {
        LogWrite(L"Tessaly----->Splash Step over 100");
        step = 100;
    }
    SendMessage(WM_SPLASH_PROGRESS, step, 0);
}

LRESULT CSplashDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SPLASH_PROGRESS) {
        m_nStep = int(wParam);
        DrawProgress(m_nStep);
        if (m_nStep > 99) {
            KillTimer(IDT_SPLASH_STEP);
            SendMessage(WM_COMMAND, IDOK, 0);
        }
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CSplashDlg::DrawProgress(int step)
{
    CClientDC dc(this);
    const int right = 34 + int(std::floor(1.8 * step));
    RECT fill = {g_DPIScale.Scale(34), g_DPIScale.Scale(182), g_DPIScale.Scale(right),
                 g_DPIScale.Scale(185)};
    dc.FillSolidRect(&fill, kFillColour);
    if (step == 100)
        LogWrite(FormatText(L"Splash pos : <%d>", 100));
}

BOOL CSplashDlg::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CSplashDlg::OnPaint()
{
    CPaintDC paint(this);
    GetClientRect(&m_rcClient);
    const int width = m_rcClient.right;
    const int height = m_rcClient.bottom;
    if (m_bDirty && m_dcCompose.IsCreated())
        m_dcCompose.Release();
    if (!m_dcCompose.IsCreated())
        m_dcCompose.Create(&paint, width, height);
    if (m_bDirty) {
        delete m_pComposeBitmap;
        m_pComposeBitmap = nullptr;
    }
    CDC* compose = m_dcCompose.GetDC();
    if (!compose)
        return;
    CBitmap* previous = nullptr;
    if (m_pComposeBitmap) {
        previous = compose->SelectObject(m_pComposeBitmap);
    } else {
        m_pComposeBitmap = new CBitmap();
        m_pComposeBitmap->CreateCompatibleBitmap(&paint, width, height);
        previous = compose->SelectObject(m_pComposeBitmap);
        if (m_dcSplash.IsCreated())
            compose->BitBlt(0, 0, width, height, m_dcSplash.GetDC(), 0, 0, SRCCOPY);
        compose->FillSolidRect(&m_rcTrack, kTrackColour);
    }
    paint.BitBlt(0, 0, width, height, compose, 0, 0, SRCCOPY);
    if (previous)
        compose->SelectObject(previous);
    m_bDirty = 0;
}
