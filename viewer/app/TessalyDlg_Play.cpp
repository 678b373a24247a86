// The main dialog's playback commands and play progress: opening, playing, pausing and stopping
// the recording chosen in the playlist, the control-box buttons, the sliders' notifications,
// the popup panels of the tool buttons, and the displays kept in step with the engine by timer
// 101. User-interface thread only.
#include "app/TessalyDlg.h"

#include "app/MapScript.h"
#include "app/PlayProgress.h"
#include "playback/FileAnalysis.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"

namespace {

template <class... Args>
void Trace(const wchar_t* format, Args... args)
{
    LogWrite(FormatText(format, args...));
}

// Restores the cursor and releases the recording-analysis object on every way out of
// VideoPlay.
class PlayScope {
public:
    PlayScope() : m_saved(GetCursor())
    {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        m_analysis = CFileAnalysis::GetInstance();
    }
    ~PlayScope()
    {
        CFileAnalysis::ReleaseInstance();
        SetCursor(m_saved);
    }
    PlayScope(const PlayScope&) = delete;
    PlayScope& operator=(const PlayScope&) = delete;
    CFileAnalysis* Analysis() const { return m_analysis; }

private:
    HCURSOR m_saved;
    CFileAnalysis* m_analysis = nullptr;
};

// Holds the extraction lock for as long as it lives.
class ExtractTextLock {
public:
    ExtractTextLock() { EnterCriticalSection(&g_csExtractText); }
    ~ExtractTextLock() { LeaveCriticalSection(&g_csExtractText); }
    ExtractTextLock(const ExtractTextLock&) = delete;
    ExtractTextLock& operator=(const ExtractTextLock&) = delete;
};

}  // namespace

// Repaints a label's area from the dialog's background surface, so that a shorter text leaves
// nothing of the longer one behind.
static void RepaintFromBackground(CWnd& dialog, CWnd& label, COffscreenDC& background)
{
    if (!label.m_hWnd || !background.GetDC())
        return;
    RECT r = {};
    label.GetWindowRect(&r);
    dialog.ScreenToClient(&r);
    CClientDC dc(&label);
    dc.BitBlt(0, 0, r.right - r.left, r.bottom - r.top, background.GetDC(), r.left, r.top, SRCCOPY);
}

BOOL CTessalyDlg::IsRepeatedClick(int id, DWORD interval)
{
    return IsRepeatedClickAt(m_ClickGuard.id, m_ClickGuard.tick, id, interval, GetTickCount());
}

void CTessalyDlg::SetPlayingText(CTextData* text, const std::wstring& key)
{
    ExtractTextLock lock;
    m_pPlayingText = text;
    m_strTextKey = key;
}

const CTextData* CTessalyDlg::PlayingText()
{
    if (!m_pPlayingText)
        return nullptr;
    for (RecFileMap& map : m_RecMaps) {
        auto it = map.find(m_strTextKey);
        if (it != map.end() && &it->second.m_TextData == m_pPlayingText)
            return m_pPlayingText;
    }
    // The entry is gone (its map was emptied or rebuilt): nothing of it is read any more.
    SetPlayingText(nullptr, std::wstring());
    return nullptr;
}

RecFileInfo* CTessalyDlg::FindShownEntry(const std::wstring& title)
{
    if (!m_pShownMap)
        return nullptr;
    auto it = m_pShownMap->find(title);
    return it == m_pShownMap->end() ? nullptr : &it->second;
}

BOOL CTessalyDlg::VideoPlay(BOOL force)
{
    PlayScope scope;
    Trace(L"Tessaly---->VideoPlay START. CurrentState[%d]", m_VideoMgr.GetState());

    if (m_VideoMgr.GetState() == STATE_PLAY) {
        m_sliderSpeed.SetPos(0);
        ResetMapPage();
        m_VideoMgr.Close();
    }
    if (m_VideoMgr.GetState() != STATE_STOP && !force) {
        Trace(L"VideoPlay::PAUSE->Play routine");
        m_btnPause.ShowWindow(SW_SHOW);
        m_btnPlay.ShowWindow(SW_HIDE);
        m_wndVideoMain.GetControlBox().SetPlayState(TRUE);
        SetTimer(IDT_PLAY_PROGRESS, 100, nullptr);
        ShowPlayTime();
        ShowTotalTime();
        m_VideoMgr.Play();
        Trace(L"Tessaly---->VideoPlay END");
        return TRUE;
    }
    m_VideoMgr.SetReverseMode(FALSE);

    std::wstring title = m_listPlay.GetPlayingTitle();
    if (title.empty()) {
        title = m_listPlay.GetSelectedTitle();
        if (title.empty()) {
            Trace(L"VideoPlay::None FocusedTitle");
            return FALSE;
        }
        m_listPlay.SetPlayingItem(title);
        m_listPlay.UpdateScroll();
        Trace(L"VideoPlay::Set NewSelectedTitle");
    }

    // The list and the shown map can be out of step (the card was pulled and its maps emptied):
    // a title without an entry opens nothing.
    RecFileInfo* entry = FindShownEntry(title);
    if (!entry) {
        Trace(L"VideoPlay::None FocusedTitle");
        VideoSTOP();
        return FALSE;
    }
    const std::wstring path = entry->m_strPath;
    SetPlayingText(&entry->m_TextData, title);

    {
        // Whether the entry still needs its telemetry is decided under the lock, so that the
        // file-parsing thread and this thread never both extract it.
        Trace(L">>>");
        ExtractTextLock lock;
        if (!entry->m_bTextParsed) {
            try {
                scope.Analysis()->ExtractEntryText(*entry);
                Trace(L"ExtractText on video play[%ls]", path.c_str());
            } catch (...) {
                Trace(L"ExtractText Execption has occured on video play[%ls]", path.c_str());
            }
        }
        Trace(L"<<<");
    }

    const std::list<CGPSData>& fixes = m_pPlayingText->m_GPSList;
    m_bFirstGpsInvalid = (!fixes.empty() && !fixes.front().m_bValid) ? 1 : 0;
    UpdateMapArea(TRUE);
    if (!m_bMapCentred) {
        RunMapScript(kMapMoveToOrigin);
        m_bMapCentred = 1;
    }

    Trace(L"VideoPlay::Get GPSData");
    m_numSpeed.SetNumber(-1);
    m_GPSViewer.DrawGPSData(m_pPlayingText);
    Trace(L"VideoPlay::Draw GPSData");
    ResetMapPage();
    DrawMapTrack(title);
    Trace(L"VideoPlay::Draw MapLine");

    m_VideoMgr.SetOwnerWnd(m_hWnd);
    m_VideoMgr.SetVideoWnd(m_wndVideoMain.m_hWnd, m_wndVideoSub.m_hWnd);
    Trace(L"VideoPlay::Set Video Handle");

    // The format gate. The MP4 flag follows every recording that passes, not only the first
    // test of each, so that an AVI played after an MP4 (or the reverse) gets its own layout.
    bool refused = false;
    CFileAnalysis* analysis = scope.Analysis();
    if (entry->m_nCodecState == CODEC_UNSUPPORTED) {
        refused = true;
    } else if (analysis->IsMP4Recording(path)) {
        m_bMP4Mode = 1;
        entry->m_nCodecState = CODEC_PLAYABLE;
    } else if (entry->m_nCodecState == CODEC_PLAYABLE) {
        m_bMP4Mode = 0;
    } else {
        Trace(L">>>");
        BOOL h264 = FALSE;
        {
            ExtractTextLock lock;
            try {
                h264 = CFileAnalysis::CheckH264(path);
            } catch (...) {
                h264 = FALSE;
                Trace(L"CheckH264 Execption has occured on video play[%ls]", path.c_str());
            }
        }
        Trace(L"<<<");
        if (h264) {
            m_bMP4Mode = 0;
            entry->m_nCodecState = CODEC_PLAYABLE;
        } else {
            entry->m_nCodecState = CODEC_UNSUPPORTED;
            refused = true;
        }
    }
    if (refused) {
        // The user is told whether or not a card is present: a refused recording opened from
        // a folder deserves the same answer as one on the card.
        MessageBoxW(m_hWnd, GetLangText(L"IDS_STRING_K_086").c_str(), L"", MB_OK);
        VideoSTOP();
        return FALSE;
    }

    Trace(L"VideoPlay::Pass H264 Checking");
    m_boxBriSpd.Initialize();
    if (!m_VideoMgr.OnMovieOpen(path, m_bSinglePlay, FALSE)) {
        VideoSTOP();
        Trace(L"VideoPlay::OnMovieOpen Fail");
        return FALSE;
    }
    // A new recording shows its first position at the first tick, even when it equals the last
    // one shown of the recording before.
    m_nShownPosition = -1;

    m_lblTitle1.SetText(title);
    const int streams = m_VideoMgr.GetVideoTrackCount();
    if ((m_bMP4Mode == 1 && m_bSinglePlay == 0 && streams == 2) ||
        (m_bMP4Mode == 0 && streams == 2)) {
        m_lblTitle2.SetText(m_listPlay.GetPartnerTitle());
        m_btnChange.EnableWindow(TRUE);
        m_wndVideoMain.GetControlBox().EnableChangeBtn(TRUE);
    } else {
        m_btnChange.EnableWindow(FALSE);
        m_wndVideoMain.GetControlBox().EnableChangeBtn(FALSE);
        ClearRearView();
    }
    m_strPlayingTitle = title;
    m_wndVideoMain.SetCaptionTitle(m_strPlayingTitle);
    SetReverseView(m_bMP4Mode == 1 && m_bSinglePlay == 0 && m_listPlay.IsPlayingRear());

    m_VideoMgr.ResetSize(m_nWindowMode == 2 ? 0 : 1);
    m_VideoMgr.Play();
    Trace(L"VideoPlay::Pass Video Play");
    ShowPlayTime();
    ShowTotalTime();
    Trace(L"VideoPlay::Set TimeUI");
    SetTimer(IDT_PLAY_PROGRESS, 100, nullptr);

    m_btnPause.ShowWindow(SW_SHOW);
    m_btnPlay.ShowWindow(SW_HIDE);
    m_wndVideoMain.GetControlBox().SetPlayState(TRUE);
    UpdateChannelLabels();
    m_sliderSeek.EnableWindow(TRUE);
    m_wndVideoMain.GetControlBox().GetProgress().EnableWindow(TRUE);
    Trace(L"VideoPlay::Set TitleUI");
    m_btnScrSetting.EnableWindow(m_bMP4Mode == 0);
    m_wndVideoMain.GetControlBox().EnableSettingBtn(m_bMP4Mode == 0);
    m_btnSize.EnableWindow(TRUE);
    m_wndVideoMain.GetControlBox().EnableSizeBtn(TRUE);
    Trace(L"Tessaly---->VideoPlay END");
    return TRUE;
}

BOOL CTessalyDlg::VideoPause()
{
    Trace(L"Tessaly---->VideoPause START");
    m_btnPause.ShowWindow(SW_HIDE);
    m_btnPlay.ShowWindow(SW_SHOW);
    m_wndVideoMain.GetControlBox().SetPlayState(FALSE);
    KillTimer(IDT_PLAY_PROGRESS);
    m_VideoMgr.Pause();
    Trace(L"Tessaly---->VideoPause End");
    return TRUE;
}

BOOL CTessalyDlg::VideoSTOP()
{
    Trace(L"Tessaly---->VideoSTOP START");
    if (m_VideoMgr.GetReverseMode())
        SetReverseView(FALSE);
    m_btnPause.ShowWindow(SW_HIDE);
    m_btnPlay.ShowWindow(SW_SHOW);
    m_wndVideoMain.GetControlBox().SetPlayState(FALSE);

    SetPlayingText(nullptr, std::wstring());
    m_bFirstGpsInvalid = 1;
    UpdateMapArea(FALSE);

    KillTimer(IDT_PLAY_PROGRESS);
    m_VideoMgr.Close();
    ShowTotalTime();
    ShowPlayTime();
    m_sliderSeek.SetPos(0);
    m_nShownPosition = -1;

    if (m_bRearViewShown)
        InvalidateRect(nullptr, TRUE);
    else
        InvalidateRect(&m_rcVideo, TRUE);

    m_strPlayingTitle.clear();
    m_wndVideoMain.ResetView();
    m_wndVideoMain.Invalidate(TRUE);
    // The rear view holds the last picture its renderer drew until it paints its placeholder.
    m_wndVideoSub.Invalidate(TRUE);
    m_wndVideoMain.SetCaptionTitle(L"");
    m_lblTitle1.SetText(GetLangText(L"IDS_STRING_K_105"));
    m_lblTitle2.SetText(GetLangText(L"IDS_STRING_K_105"));

    m_sliderSeek.EnableWindow(FALSE);
    m_wndVideoMain.GetControlBox().GetProgress().EnableWindow(FALSE);
    m_numSpeed.SetNumber(-1);
    m_GPSViewer.ResetData();
    m_lblGX.SetText(GSensorStoppedText(L'X'));
    m_lblGY.SetText(GSensorStoppedText(L'Y'));
    m_lblGZ.SetText(GSensorStoppedText(L'Z'));
    m_sliderSpeed.SetPos(0);

    m_listPlay.SetPlayingItem(L"");
    ResetMapPage();

    m_btnScrSetting.EnableWindow(FALSE);
    m_btnSize.EnableWindow(FALSE);
    m_wndVideoMain.GetControlBox().EnableSettingBtn(FALSE);
    m_wndVideoMain.GetControlBox().EnableSizeBtn(FALSE);
    Trace(L"Tessaly---->VideoSTOP End");
    return TRUE;
}

void CTessalyDlg::OnControlBoxBtnClicked(UINT id)
{
    HidePopups();
    Trace(L"OnControlBoxBtnClicked ");
    const int state = m_VideoMgr.GetState();
    switch (id) {
    case 1100:
        Trace(L"BTN CLICK : ID_BTN_PLAY ");
        VideoPlay(FALSE);
        break;
    case 1101:
        Trace(L"BTN CLICK : ID_BTN_PAUSE ");
        VideoPause();
        break;
    case 1102:
        Trace(L"BTN CLICK : ID_BTN_STOP ");
        VideoSTOP();
        break;
    case 1103:
    case 1104:
        if (IsRepeatedClick(int(id), 1000))
            break;
        Trace(id == 1103 ? L"BTN CLICK : ID_BTN_PRE " : L"BTN CLICK : ID_BTN_NEXT ");
        if (state == STATE_STOP)
            break;
        if (state == STATE_PAUSE)
            VideoPlay(FALSE);
        if (id == 1103)
            m_listPlay.SelectPrevItem(m_bSinglePlay);
        else
            m_listPlay.SelectNextItem(m_bSinglePlay);
        break;
    case 1105:
    case 1106:
        if (IsRepeatedClick(int(id), 400))
            break;
        Trace(id == 1105 ? L"BTN CLICK : ID_BTN_SEC(PRE10) " : L"BTN CLICK : ID_BTN_SEC2(NEXT10) ");
        if (id == 1105)
            m_VideoMgr.SeekBackwards();
        else
            m_VideoMgr.SeekForwards();
        if (m_VideoMgr.GetState() == STATE_PAUSE)
            UpdatePlayProgress();
        break;
    case 1107:
        Trace(L"BTN CLICK : ID_BTN_SIZE ");
        ShowPopupBox(m_VideoMgr.GetVideoViewSize() == 1.0f ? 1048 : 1049);
        break;
    case 1108:
        Trace(L"BTN CLICK : ID_BTN_SETTING ");
        ShowPopupBox(1055);
        break;
    case 1109:
        Trace(L"BTN CLICK : ID_BTN_SAVE ");
        SaveRecordingAs();
        break;
    case 1110:
        Trace(L"BTN CLICK : ID_BTN_VOLUME ");
        ShowPopupBox(1057);
        break;
    case 1111:
        Trace(L"BTN CLICK : ID_BTN_VIDEO_CONNECT ");
        m_bAutoContinue = m_bAutoContinue ? 0 : 1;
        m_btnVideoConnect.SetCheck(m_bAutoContinue);
        m_wndVideoMain.GetControlBox().SetContinuePlay(m_bAutoContinue);
        break;
    case 1112:
        Trace(L"BTN CLICK : ID_BTN_PLAY_FORCE ");
        VideoPlay(TRUE);
        break;
    default:
        break;
    }
}

LRESULT CTessalyDlg::OnSliderChanged(WPARAM id, LPARAM value)
{
    switch (id) {
    case 1200: {
        int state = m_VideoMgr.GetState();
        if (state == STATE_PLAY) {
            m_bResumeAfterSeek = 0;
            VideoPause();
            state = STATE_PAUSE;
        }
        if (state == STATE_PAUSE) {
            m_VideoMgr.SetPosition(int(value));
            m_VideoMgr.ReDrawVideo();
        }
        ShowPlayTime();
        if (SetGSensor()) {
            if (m_wndVideoSub.IsWindowVisible())
                MoveMapPage(FALSE);
            else
                MoveMapPage(TRUE);
            m_btnMapEmpty.MoveWindow(0, 0, 0, 0, TRUE);
        } else {
            MoveMapPage(FALSE);
            m_btnMapEmpty.MoveWindow(0, 0, 0, 0, TRUE);
        }
        break;
    }
    case 1201:
        m_VideoMgr.SetBrightness(int(value));
        break;
    case 1202: {
        // The panel keeps the index within the table; anything else is no rate at all.
        const float rate = PlaySpeedForIndex(value);
        if (rate > 0)
            m_VideoMgr.SetVideoSpeed(rate);
        break;
    }
    case 1203: {
        m_VideoMgr.SetVolume(int(value));
        const int level = VolumeLevel(int(value));
        if (level >= 0) {
            if (m_btnVolume.GetLevel() != level)
                m_btnVolume.SetLevel(level);
            if (CTButton* button = m_wndVideoMain.GetControlBox().GetButton(1110))
                if (button->GetLevel() != level)
                    button->SetLevel(level);
        }
        break;
    }
    default:
        break;
    }
    return 0;
}

void CTessalyDlg::OnSeekReleased(UINT id)
{
    if (id != 1200 && id != 1204)
        return;
    if (m_bResumeAfterSeek == 0)
        VideoPlay(FALSE);
    m_bResumeAfterSeek = 1;
}

void CTessalyDlg::ShowPopupBox(int id)
{
    POINT pt = {};
    GetPopupPos(id, &pt);
    const POINT unit = {g_DPIScale.Unscale(pt.x), g_DPIScale.Unscale(pt.y)};
    CWnd* shown = nullptr;
    switch (id) {
    case 1020:
    case 1029:
    case 1048:
    case 1049: {
        CTDropBox& box = id == 1020 ? m_boxFile
                         : id == 1029 ? m_boxSetting
                         : id == 1048 ? m_boxScrSize
                                      : m_boxScrSize02;
        box.ResetHover();
        box.DPISetWindowPos(HWND_TOPMOST, unit.x, unit.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        shown = &box;
        break;
    }
    case 1055:
        m_boxBriSpd.DPIMoveWindow(unit.x, unit.y, 151, 150);
        m_boxBriSpd.ReloadTexts();
        m_boxBriSpd.ShowWindow(SW_SHOW);
        shown = &m_boxBriSpd;
        break;
    case 1057:
        m_boxVol.DPIMoveWindow(unit.x, unit.y, 43, 116);
        m_boxVol.ShowWindow(SW_SHOW);
        shown = &m_boxVol;
        break;
    default:
        break;
    }
    CWnd* panels[] = {&m_boxFile, &m_boxSetting, &m_boxScrSize, &m_boxScrSize02, &m_boxBriSpd,
                      &m_boxVol};
    for (CWnd* panel : panels)
        if (panel != shown && panel->m_hWnd)
            panel->ShowWindow(SW_HIDE);
    if (id == 1020)
        m_boxFile.ShowWindow(SW_SHOW);
}

void CTessalyDlg::ShowPlayTime()
{
    const int pos = m_VideoMgr.GetPosition();
    RepaintFromBackground(*this, m_lblPlayTime, m_dcBackground);
    m_lblPlayTime.SetWindowText(PlayTimeText(pos).c_str());
    m_wndVideoMain.GetControlBox().SetPlayTime(pos);
    m_wndVideoMain.GetControlBox().GetProgress().EnableWindow(TRUE);
}

void CTessalyDlg::ShowTotalTime()
{
    const int dur = m_VideoMgr.GetDuration();
    RepaintFromBackground(*this, m_lblTotalTime, m_dcBackground);
    m_lblTotalTime.SetWindowText(TotalTimeText(dur).c_str());
    m_wndVideoMain.GetControlBox().SetTotalTime(dur);
}

void CTessalyDlg::ShowBarProgress()
{
    ShowTotalTime();
    ShowPlayTime();
    const int duration = m_VideoMgr.GetDuration();
    m_wndVideoMain.GetControlBox().GetProgress().SetValue(
        duration ? float(m_VideoMgr.GetPosition()) / float(duration) * 100.0f : 0.0f);
}

void CTessalyDlg::UpdatePlayProgress()
{
    const int pos = m_VideoMgr.GetPosition();
    const int dur = m_VideoMgr.GetDuration();
    if (pos == m_nShownPosition || dur == 0)
        return;
    const float percent = float(pos) / float(dur) * 100.0f;
    m_sliderSeek.SetPos(percent);
    ShowPlayTime();
    const BOOL shown = SetGSensor();
    if (!m_wndVideoSub.IsWindowVisible()) {
        if (shown) {
            MoveMapPage(TRUE);
            m_btnMapEmpty.MoveWindow(0, 0, 0, 0, TRUE);
        } else {
            MoveMapPage(FALSE);
            m_btnMapEmpty.MoveWindow(m_rcMap.left, m_rcMap.top, m_rcMap.right - m_rcMap.left,
                                 m_rcMap.bottom - m_rcMap.top,
                                     TRUE);
            m_btnMapEmpty.ShowWindow(SW_SHOW);
        }
    }
    m_nShownPosition = pos;
    m_wndVideoMain.GetControlBox().GetProgress().SetValue(percent);
}

BOOL CTessalyDlg::SetGSensor()
{
    const int pos = m_VideoMgr.GetPosition();
    const int dur = m_VideoMgr.GetDuration();
    const CTextData* text = PlayingText();
    if (!text || dur == 0)
        return FALSE;

    const size_t n = text->m_GSensorList.size();
    if (n == 0) {
        m_lblGX.SetText(GSensorEmptyText(L'X'));
        m_lblGY.SetText(GSensorEmptyText(L'Y'));
        m_lblGZ.SetText(GSensorEmptyText(L'Z'));
    } else {
        const size_t i = GSensorSampleIndex(n, pos, dur);
        auto it = text->m_GSensorList.begin();
        std::advance(it, i);
        m_lblGX.SetText(GSensorLabelText(L'X', it->m_nX));
        m_lblGY.SetText(GSensorLabelText(L'Y', it->m_nY));
        m_lblGZ.SetText(GSensorLabelText(L'Z', it->m_nZ));
        Trace(L"SetGSensor [%d,%d,%d] at %d / %d", it->m_nX, it->m_nY, it->m_nZ, int(i), int(n));
        const int p = pos * 100 / dur;
        Trace(L"SetCLine(%d) at Time %d Totla %d", p, pos, dur);
        m_GPSViewer.SetCLine(p, 0);
    }

    const std::list<CGPSData>& fixes = text->m_GPSList;
    if (fixes.empty()) {
        m_numSpeed.SetNumber(-1);
        m_sliderSpeed.SetPos(0);
        return FALSE;
    }
    const CGPSData* fix = PickGpsFix(fixes, pos, dur);
    if (!fix) {
        m_numSpeed.SetNumber(-1);
        m_sliderSpeed.SetPos(0);
        Trace(L"nTime: %d, nGPSDataSize: %d\r\n", pos, int(fixes.size()));
        return FALSE;
    }
    if (!fix->m_bValid) {
        m_numSpeed.SetNumber(-1);
        return FALSE;
    }
    if (m_bFirstGpsInvalid == 1) {
        m_bFirstGpsInvalid = 0;
        UpdateMapArea(FALSE);
    }
    const double lon = ToDecimalDegrees(fix->m_dLongitude);
    const double lat = ToDecimalDegrees(fix->m_dLatitude);
    m_numSpeed.SetNumber(SpeedNumber(fix->m_dSpeed, m_bSpeedMph));
    m_sliderSpeed.SetPos(SpeedGauge(fix->m_dSpeed));
    RunMapScript(MapMoveToScript(lon, lat));
    return TRUE;
}

void CTessalyDlg::OnTimer(UINT_PTR id)
{
    if (id == IDT_PLAY_PROGRESS) {
        UpdatePlayProgress();
    } else if (id == IDT_PARSING_HIDE) {
        KillTimer(IDT_PARSING_HIDE);
        if (m_lblParsePercent.m_hWnd)
            m_lblParsePercent.ShowWindow(SW_HIDE);
        if (m_lblParsing.m_hWnd)
            m_lblParsing.ShowWindow(SW_HIDE);
    }
    CDialog::OnTimer(id);
}
