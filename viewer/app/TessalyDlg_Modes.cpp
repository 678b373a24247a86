// The main dialog's title-bar and tool buttons, window modes, full screen and map search.
#include "app/TessalyDlg.h"

#include "app/MapScript.h"
#include "platform/shell.h"
#include "playback/WebForm.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"

namespace {

// The maker's web site, opened by the brand button.
const WCHAR kMakerSite[] = L"https://www.kestrovan.com/";

}  // namespace

void CTessalyDlg::OnTitleBtnClicked(UINT id)
{
    switch (id) {
    case ID_BTN_CLOSE:
        LogWrite(L"BTN CLICK : ID_BTN_CLOSE");
        if (m_VideoMgr.GetState() == STATE_PLAY)
            VideoSTOP();
        SendMessage(WM_CLOSE, 0, 0);
        break;
    case ID_BTN_MIN:
        LogWrite(L"BTN CLICK : ID_BTN_MIN");
        VideoPause();
        ShowWindow(SW_MINIMIZE);
        break;
    case ID_BTN_MAX:
        LogWrite(L"BTN CLICK : ID_BTN_MAX");
        if (m_nWindowMode == WINDOW_MODE_NORMAL) {
            m_btnMax.SetImages(L"btn_before_nor.png", L"btn_before_over.png",
                               L"btn_before_press.png", m_dcBackground.GetDC());
            m_btnMax.Redraw();
            ShowWindow(SW_MAXIMIZE);
            m_nWindowMode = WINDOW_MODE_MAXIMISED;
        } else {
            m_btnMax.SetImages(L"btn_full_nor.png", L"btn_full_over.png", L"btn_full_press.png",
                               m_dcBackground.GetDC());
            m_btnMax.Redraw();
            ShowWindow(SW_RESTORE);
            m_nWindowMode = WINDOW_MODE_NORMAL;
        }
        break;
    case ID_BTN_FILE:
        LogWrite(L"BTN CLICK : ID_BTN_FILE");
        if (m_boxFile.m_hWnd && m_boxFile.IsWindowVisible())
            HidePopups();
        else
            ShowPopupBox(ID_BOX_FILE);
        break;
    case ID_BTN_SETTING_MENU:
        LogWrite(L"BTN CLICK : ID_BTN_SETTING");
        if (m_boxSetting.m_hWnd && m_boxSetting.IsWindowVisible())
            HidePopups();
        else
            ShowPopupBox(ID_BOX_SETTING);
        break;
    default:  // 1005 and 1007
        break;
    }
}

void CTessalyDlg::OnToolBtnClicked(UINT id)
{
    HidePopups();
    switch (id) {
    case ID_BTN_FOLUP:
    case ID_BTN_FOLDN:
        if (id == ID_BTN_FOLUP)
            LogWrite(L"BTN CLICK : ID_BTN_FOLUP");
        LogWrite(L"BTN CLICK : ID_BTN_FOLDN");
        ShowRearView(!m_bRearViewShown);
        break;
    case ID_BTN_EXPAND:
        m_wndVideoMain.HideContextMenu();
        ToggleFullScreen();
        if (m_VideoMgr.GetState() != STATE_STOP)
            ShowPlayTime();
        UpdateChannelLabels();
        break;
    case ID_BTN_CHANGE:
        LogWrite(L"BTN CLICK : ID_BTN_CHANGE");
        if (m_VideoMgr.GetState() == STATE_STOP)
            break;
        SetReverseView(!m_VideoMgr.GetReverseMode());
        SwapTitleLabels();
        if (m_wndVideoMain.IsFullScreen())
            m_wndVideoMain.SetCaptionTitle(m_strPlayingTitle);
        break;
    case ID_BTN_MAPSEARCH:
        SearchMapArea();
        break;
    case ID_BTN_FITAREA:
        LogWrite(L"BTN CLICK : ID_BTN_FITAREA");
        if (IsMovieOpen()) {
            m_VideoMgr.SetVideoViewSize(1.0f);
            m_wndVideoMain.ResetView();
        }
        break;
    case ID_BTN_BRAND:
        LogWrite(L"BTN CLICK : ID_BTN_BRAND");
        // The address opens in the user's web browser, whichever that is.
        ShellExecuteW(m_hWnd, L"open", kMakerSite, nullptr, nullptr, SW_SHOWNORMAL);
        break;
    default:
        break;
    }
}

void CTessalyDlg::SearchMapArea()
{
    const WCHAR* caption = L"IDS_STRING_K_062";
    if (m_bParseDone == 0) {
        MessageBoxW(m_hWnd, GetLangText(L"IDS_STRING_K_087").c_str(),
                    GetLangText(caption).c_str(), MB_OK);
        return;
    }
    LogWrite(L"BTN CLICK : ID_BTN_MAPSEARCH");
    if (m_VideoMgr.GetState() == STATE_PLAY)
        VideoPause();

    RecFileMap& area = m_RecMaps[CATEGORY_AREA];
    if (!m_bTrackDrawn) {
        EmptyAreaResults();
        MessageBoxW(m_hWnd, GetLangText(L"IDS_STRING_K_061").c_str(),
                    GetLangText(caption).c_str(), MB_OK);
        m_btnListPosition.EnableWindow(FALSE);
        return;
    }
    const std::wstring answer =
        m_pWebForm ? m_pWebForm->RunScriptAndReadValue(kMapGetExtent) : std::wstring();
    if (answer.empty())
        return;
    MapExtent extent;
    // An answer that is not four numbers finds nothing, as an area without recordings would.
    const bool readable = ParseMapExtent(answer, extent);

    EmptyAreaResults();
    if (readable)
        for (int category = CATEGORY_CONTINUOUS; category <= CATEGORY_PARKING; ++category)
            FindRecordsInExtent(extent, m_RecMaps[category], area);

    if (area.empty()) {
        MessageBoxW(m_hWnd, GetLangText(L"IDS_STRING_K_061").c_str(),
                    GetLangText(caption).c_str(), MB_OK);
        m_btnListPosition.EnableWindow(FALSE);
        m_listPlay.DeleteAllItems();
        // The emptied playlist shows the (empty) location results, not the list it showed.
        m_nShownCategory = CATEGORY_AREA;
        m_pShownMap = &area;
        return;
    }
    MessageBoxW(m_hWnd,
                FormatText(GetLangText(L"IDS_STRING_K_079").c_str(), int(area.size())).c_str(),
                GetLangText(caption).c_str(), MB_OK);
    m_btnListPosition.EnableWindow(TRUE);
    SendMessage(WM_COMMAND, ID_BTN_LIST_POSITION, 0);
    ShowMovieList(CATEGORY_AREA);
}

void CTessalyDlg::EmptyAreaResults()
{
    RecFileMap& area = m_RecMaps[CATEGORY_AREA];
    // The recording in the player may be one of the results: its telemetry goes with them,
    // so the player lets go of it first.
    if (m_pPlayingText) {
        for (auto& entry : area) {
            if (&entry.second.m_TextData == m_pPlayingText) {
                VideoSTOP();
                m_pPlayingText = nullptr;
                break;
            }
        }
    }
    area.clear();
}

void CTessalyDlg::ToggleFullScreen()
{
    if (m_nWindowMode != WINDOW_MODE_FULLSCREEN) {
        LogWrite(L"BTN CLICK : ID_BTN_EXPAND");
        RECT target = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        RECT window;
        GetWindowRect(&window);
        if (HMONITOR monitor = MonitorFromRect(&window, MONITOR_DEFAULTTONEAREST)) {
            MONITORINFO info = {};
            info.cbSize = sizeof(info);
            if (GetMonitorInfoW(monitor, &info))
                target = info.rcMonitor;
        }
        m_wndVideoMain.ModifyStyle(WS_CHILD, WS_POPUP);
        m_wndVideoMain.SetParent(nullptr);
        m_wndVideoMain.SetWindowPos(&CWnd::wndTop, target.left, target.top,
                                    target.right - target.left, target.bottom - target.top,
                                    SWP_SHOWWINDOW);
        m_wndVideoMain.SetCaptionTitle(m_strPlayingTitle);
        m_VideoMgr.ResetSize(0);
        ShowWindow(SW_HIDE);
        m_nSavedWindowMode = m_nWindowMode;
        m_nWindowMode = WINDOW_MODE_FULLSCREEN;
        ShowBarProgress();
    } else {
        m_wndVideoMain.HideOverlays();
        m_wndVideoMain.ModifyStyle(WS_POPUP, WS_CHILD);
        m_wndVideoMain.SetParent(this);
        m_wndVideoMain.MoveWindow(&m_rcVideo, TRUE);
        m_VideoMgr.ResetSize(1);
        ShowWindow(SW_SHOW);
        m_nWindowMode = m_nSavedWindowMode;
    }
}

void CTessalyDlg::ReloadAllTexts()
{
    ReloadButtonTexts();
    ReloadMenuTexts();
    ReloadLabelTexts();
    if (m_wndVideoMain.m_hWnd)
        m_wndVideoMain.ReloadTexts();
    if (m_listPlay.m_hWnd)
        m_listPlay.ReloadTexts();
    if (m_boxBriSpd.m_hWnd)
        m_boxBriSpd.ReloadTexts();
    InvalidateRect(&m_rcMap, TRUE);
}
