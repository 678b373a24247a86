// The main dialog's message protocol: WindowProc, command routing, accelerators, the card
// check after device and media notifications, colours and the mouse.
#include "app/TessalyDlg.h"

#include <cstring>

#include "playback/WebForm.h"
#include "ui/ControlMessages.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"

namespace {

// How long the card's drive is given to settle after a notification.
const UINT kCardSettleMs = 3000;
// WM_DEVICECHANGE's wParam when a device has gone.
const WPARAM kDeviceRemoveComplete = 0x8004;

}  // namespace

BOOL CTessalyDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    // Buttons and menus give code 0, accelerators 1; other codes are notifications.
    if (HIWORD(wParam) <= 1) {
        const UINT id = LOWORD(wParam);
        if (id >= ID_BTN_TITLE_FIRST && id <= ID_BTN_TITLE_LAST) {
            OnTitleBtnClicked(id);
            return TRUE;
        }
        if (id >= ID_BOX_FIRST && id <= ID_BOX_LAST) {
            OnPopupBoxClicked(id);
            return TRUE;
        }
        if (id >= ID_BTN_CONTROL_FIRST && id <= ID_BTN_CONTROL_LAST) {
            OnControlBoxBtnClicked(id);
            return TRUE;
        }
        if (id >= ID_LIST_FIRST && id <= ID_LIST_LAST) {
            OnListTabClicked(id);
            return TRUE;
        }
        if (id >= ID_BTN_TOOL_FIRST && id <= ID_BTN_TOOL_LAST) {
            OnToolBtnClicked(id);
            return TRUE;
        }
        if (id == ID_ACCEL_FULLSCR) {
            OnFullscr();
            return TRUE;
        }
        if (id == ID_ACCEL_FULLWND) {
            OnFullwnd();
            return TRUE;
        }
        if (id >= ID_ACCEL_OPEN && id <= ID_ACCEL_SHIFTENTER) {
            OnAccelerator(id);
            return TRUE;
        }
    }
    return CDialog::OnCommand(wParam, lParam);
}

LRESULT CTessalyDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_VIDEO_GRAPHNOTIFY:
        m_VideoMgr.HandleGraphEvent(lParam);
        break;
    case WM_VIDEO_END:
        if (!m_bAutoContinue) {
            VideoSTOP();
        } else if (!m_listPlay.SelectNextItem(m_bSinglePlay)) {
            VideoSTOP();
            if (m_nWindowMode == WINDOW_MODE_FULLSCREEN)
                ToggleFullScreen();
        }
        break;
    case WM_VIDEO_PAUSE:
        LogWrite(L"Tessaly---->Recv WM_VIDEO_PAUSE");
        VideoPause();
        break;
    case WM_VIDEO_PANZOOM:
        // Only the pair that the main video window is sending is read and freed; a pointer
        // from anywhere else is neither.
        if (m_wndVideoMain.m_hWnd && m_wndVideoMain.IsPanPairInFlight(lParam)) {
            const int* pair = reinterpret_cast<const int*>(lParam);
            m_VideoMgr.MoveVideoPosByPercent(pair[0], pair[1]);
            delete[] pair;
        }
        break;
    case WM_VIDEO_RELAYOUT:
        Relayout();
        break;
    case WM_SLIDER_RELEASED:
        if (wParam == ID_SLIDER_SEEK || wParam == ID_SLIDER_FULLSCREEN_SEEK) {
            OnSeekReleased(UINT(wParam));
            Relayout();
        } else if (wParam == ID_SLIDER_HIDE_POPUPS) {
            for (CWnd* popup : {static_cast<CWnd*>(&m_boxScrSize),
                                static_cast<CWnd*>(&m_boxScrSize02), static_cast<CWnd*>(&m_boxVol)})
                if (popup->m_hWnd && popup->IsWindowVisible())
                    popup->ShowWindow(SW_HIDE);
        } else {
            Relayout();
        }
        break;
    case WM_VIDEO_RBUTTONUP:
    case WM_LIST_RBUTTONUP:
        HidePopups();
        break;
    case WM_PARSING_ABORT:
        // Only a running thread is asked to stop; the end-of-parsing event is left alone, so
        // no stale signal can make a later wait return before a later run has ended.
        if (m_bParseDone == 0)
            m_bParseDone = 1;
        KillTimer(IDT_PARSING_HIDE);
        break;
    case WM_MOVE:
        if (m_bInitDone == 1 && m_wndVideoMain.m_hWnd) {
            m_wndVideoMain.MoveScrollBars();
            m_VideoMgr.ReDrawVideo();
        }
        break;
    case WM_DEVICECHANGE:
        LogWrite(L"Tessaly---->Recv WM_DEVICECHANGE");
        ScheduleCardCheck(message, wParam);
        break;
    case WM_USER_MEDIACHANGED:
        LogWrite(L"Tessaly---->Recv WM_USER_MEDIACHANGED");
        ScheduleCardCheck(message, wParam);
        break;
    case WM_TIMER:
        if (wParam == IDT_CARD_CHECK) {
            KillTimer(IDT_CARD_CHECK);
            RunCardCheck();
            return 0;
        }
        break;
    // The handlers of the dialog's own messages.
    case WM_SLIDER_CHANGED:
        return OnSliderChanged(wParam, lParam);
    case WM_VIDEO_SIZECHANGED:
        return OnVideoSizeChaged(wParam, lParam);
    case WM_PARSING_UI:
        return OnParsingUi(wParam);
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CTessalyDlg::Relayout()
{
    m_VideoMgr.ReDrawVideo();
    if (m_pWebForm)
        m_pWebForm->MoveWindow(0, 0, 0, 0);
    if (!m_btnMapEmpty.m_hWnd)
        return;
    if (!m_wndVideoSub.m_hWnd || !m_wndVideoSub.IsWindowVisible()) {
        m_btnMapEmpty.MoveWindow(&m_rcMap, TRUE);
        m_btnMapEmpty.ShowWindow(SW_SHOW);
    } else {
        m_btnMapEmpty.MoveWindow(0, 0, 0, 0, TRUE);
    }
}

BOOL CTessalyDlg::PreTranslateMessage(MSG* msg)
{
    if (m_hAccel && TranslateAcceleratorW(m_hWnd, m_hAccel, msg))
        return TRUE;
    // Enter and Escape never end the dialog.
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

void CTessalyDlg::OnFullscr()
{
    LogWrite(L"Tessaly : OnFullscr");
    SendMessage(WM_COMMAND, ID_BOX_CONTEXT_FULLSCR, 0);
}

void CTessalyDlg::OnFullwnd()
{
    LogWrite(L"Tessaly : OnFullwnd");
    SendMessage(WM_COMMAND, ID_BOX_CONTEXT_FULLWIN, 0);
}

void CTessalyDlg::OnAccelerator(UINT command)
{
    switch (command) {
    case ID_ACCEL_OPEN:
        SendMessage(WM_COMMAND, ID_BTN_FILE_OPEN, 0);
        break;
    case ID_ACCEL_SAVEAS:
        SendMessage(WM_COMMAND, ID_BTN_FILE_OTHER_SAVE, 0);
        break;
    case ID_ACCEL_EXIT:
        SendMessage(WM_CLOSE, 0, 0);
        break;
    case ID_ACCEL_PLAYPAUSE:
        SendMessage(WM_COMMAND, m_VideoMgr.GetState() == STATE_PLAY ? ID_BTN_PAUSE : ID_BTN_PLAY,
                    0);
        break;
    case ID_ACCEL_DELETE:
        SendMessage(WM_COMMAND, ID_BOX_LIST_DELETE, 0);
        break;
    case ID_ACCEL_HELP:
        SendMessage(WM_COMMAND, ID_BOX_LIST_HELP, 0);
        break;
    case ID_ACCEL_PLAYSEL:
        SendMessage(WM_COMMAND, ID_BOX_LIST_PLAY, 0);
        break;
    case ID_ACCEL_UP:
        SendMessage(WM_COMMAND, ID_BOX_LIST_UP, 0);
        break;
    case ID_ACCEL_DOWN:
        SendMessage(WM_COMMAND, ID_BOX_LIST_DOWN, 0);
        break;
    default:  // Shift+Enter has no command
        break;
    }
}

LRESULT CTessalyDlg::OnVideoSizeChaged(WPARAM, LPARAM)
{
    LogWrite(L"OnVideoSizeChaged");
    const float v = m_VideoMgr.GetVideoViewSize();
    if (v == 0.5f || v == 1.0f) {
        m_wndVideoMain.ResetView();
        // In full screen the reset zeroes the bar's times and progress as a stop does. A new
        // size is no stop: every recording opened in full screen comes here after its times
        // were shown, and they show again.
        if (m_wndVideoMain.IsFullScreen() && IsMovieOpen())
            ShowBarProgress();
    } else if (v == 1.5f || v == 2.0f)
        m_wndVideoMain.SetZoom(v);
    Invalidate();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The card check. The drive is given time to settle without holding up the dialog: each
// notification (re)starts a one-shot timer, and the check runs when it fires. The card known
// when the first notification of a burst arrived is kept, and a device leaving is noted, so
// that a card taken out and another put in before the check is seen as a new card.

void CTessalyDlg::ScheduleCardCheck(UINT message, WPARAM wParam)
{
    if (!m_bCardCheckPending) {
        m_bCardCheckPending = TRUE;
        m_bCardCheckDevice = FALSE;
        m_bCardCheckMedia = FALSE;
        m_bCardCheckRemoval = FALSE;
        m_strCardCheckDrive = g_strCardDrive;
        if (g_pBlackBoxData)
            m_CardCheckRecord = *g_pBlackBoxData;
        else
            std::memset(&m_CardCheckRecord, 0, sizeof(m_CardCheckRecord));
    }
    if (message == WM_DEVICECHANGE) {
        m_bCardCheckDevice = TRUE;
        if (wParam == kDeviceRemoveComplete)
            m_bCardCheckRemoval = TRUE;
    } else
        m_bCardCheckMedia = TRUE;
    SetTimer(IDT_CARD_CHECK, kCardSettleMs);
}

void CTessalyDlg::RunCardCheck()
{
    if (!m_bCardCheckPending)
        return;
    m_bCardCheckPending = FALSE;
    // A device change closes a card that is gone; a media notification re-opens a card it
    // finds and never closes one. A card pulled out raises both at once, and the device change
    // still closes it.
    const bool hadCard = !m_strCardCheckDrive.empty() && m_bCardCheckDevice;
    const BOOL found = FindSDCard();
    if (found) {
        LogWrite(L"Tessaly---->WM_DEVICECHANGE(SD IN)");
        const bool sameCard =
            g_strCardDrive == m_strCardCheckDrive &&
            (g_pBlackBoxData ? std::memcmp(g_pBlackBoxData, &m_CardCheckRecord,
                                           sizeof(BlackBoxData)) == 0
                             : true);
        // A card found after a device left, or unlike the one known, is a new card even where
        // the drive is the same.
        if (!hadCard || m_bCardCheckMedia || !sameCard || m_bCardCheckRemoval)
            OnSDCardIn();
    } else {
        LogWrite(L"Tessaly---->WM_DEVICECHANGE(SD OUT)");
        if (hadCard)
            OnSDCardOut();
    }
    if (m_lblModel.m_hWnd)
        m_lblModel.SetText(g_bCardFound ? GetModelText() : std::wstring(L"None"));
    m_bBackgroundDirty = 1;
    InvalidateRect(&m_rcTitleStrip, TRUE);
}

void CTessalyDlg::HidePopups()
{
    for (CWnd* popup : {static_cast<CWnd*>(&m_boxFile), static_cast<CWnd*>(&m_boxSetting),
                        static_cast<CWnd*>(&m_boxScrSize), static_cast<CWnd*>(&m_boxScrSize02),
                        static_cast<CWnd*>(&m_boxBriSpd), static_cast<CWnd*>(&m_boxVol)})
        if (popup->m_hWnd && popup->IsWindowVisible())
            popup->ShowWindow(SW_HIDE);
}

// ---------------------------------------------------------------------------------------------
// Activation, colours, background, size limits

void CTessalyDlg::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    CDialog::OnActivate(state, other, minimized);
    if (state == WA_ACTIVE || state == WA_CLICKACTIVE) {
        BOOL full = FALSE;
        SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
        m_nSavedDragFullWindows = full;
        SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, FALSE, nullptr, 0);
        LogWrite(L"Tessaly---->WA_ACTIVE");
    } else if (state == WA_INACTIVE) {
        SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, UINT(m_nSavedDragFullWindows), nullptr, 0);
        LogWrite(L"Tessaly---->WA_INACTIVE");
    }
}

HBRUSH CTessalyDlg::OnCtlColor(CDC* dc, CWnd* control, UINT type)
{
    if (type != CTLCOLOR_STATIC)
        return CDialog::OnCtlColor(dc, control, type);
    dc->SetBkMode(TRANSPARENT);
    switch (control ? control->GetDlgCtrlID() : 0) {
    case ID_STATIC_FRONT:
    case ID_STATIC_REAR:
    case ID_STATIC_MAP:
    case ID_STATIC_PLAYLIST:
        dc->SetTextColor(RGB(218, 228, 236));
        break;
    case ID_STATIC_PLAYTIME:
        dc->SetTextColor(RGB(63, 168, 235));
        break;
    case ID_STATIC_TOTALTIME:
        dc->SetTextColor(RGB(162, 172, 185));
        break;
    case ID_STATIC_VERSION:
    case ID_STATIC_MODEL:
        dc->SetTextColor(RGB(182, 199, 215));
        break;
    default:
        break;
    }
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

BOOL CTessalyDlg::OnEraseBkgnd(CDC*)
{
    // The whole surface is painted by OnPaint.
    return TRUE;
}

void CTessalyDlg::OnGetMinMaxInfo(MINMAXINFO* info)
{
    info->ptMinTrackSize.x = g_DPIScale.Scale(DIALOG_DESIGN_WIDTH);
    info->ptMinTrackSize.y = g_DPIScale.Scale(DIALOG_DESIGN_HEIGHT);
    CDialog::OnGetMinMaxInfo(info);
}

// ---------------------------------------------------------------------------------------------
// The mouse: the size grip, dragging by the client area, the wheel for the playlist

BOOL CTessalyDlg::InSizeGrip(CPoint point) const
{
    const int size = g_DPIScale.Scale(18);
    return point.x >= m_rcClient.right - size && point.x < m_rcClient.right &&
           point.y >= m_rcClient.bottom - size && point.y < m_rcClient.bottom;
}

void CTessalyDlg::OnLButtonDown(UINT flags, CPoint point)
{
    if (InSizeGrip(point))
        SetCursor(LoadCursorW(nullptr, IDC_SIZENWSE));
    HidePopups();
    CDialog::OnLButtonDown(flags, point);
}

void CTessalyDlg::OnLButtonUp(UINT flags, CPoint point)
{
    CDialog::OnLButtonUp(flags, point);
}

void CTessalyDlg::OnMouseMove(UINT flags, CPoint point)
{
    const BOOL grip = InSizeGrip(point);
    if (grip)
        SetCursor(LoadCursorW(nullptr, IDC_SIZENWSE));
    if (flags & MK_LBUTTON) {
        const LPARAM where = MAKELPARAM(point.x, point.y);
        if (grip)
            SendMessage(WM_NCLBUTTONDOWN, HTBOTTOMRIGHT, where);
        else if (m_nWindowMode == WINDOW_MODE_NORMAL)
            PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, where);
    }
    CDialog::OnMouseMove(flags, point);
}

BOOL CTessalyDlg::OnMouseWheel(UINT flags, short delta, CPoint point)
{
    if (m_listPlay.m_hWnd)
        m_listPlay.OnParentMouseWheel(flags, delta, point);
    return CDialog::OnMouseWheel(flags, delta, point);
}

void CTessalyDlg::OnRButtonUp(UINT flags, CPoint point)
{
    HidePopups();
    CDialog::OnRButtonUp(flags, point);
}
