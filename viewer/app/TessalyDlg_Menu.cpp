// The main dialog's popup-menu commands: the File and Setting menus with the language and
// speed-unit sub-menus, the view-size panels, the initialise button of the brightness and
// speed panel, the main video window's and the playlist's context menus and the keys that
// stand for them. User-interface thread only.
#include "app/TessalyDlg.h"

#include "ui/DebugLog.h"
#include "ui/Settings.h"

namespace {

struct LanguageItem {
    UINT id;
    const wchar_t* name;
};

const LanguageItem kLanguages[] = {
    {1033, L"english"},    {1034, L"korean"},  {1035, L"spanish"},
    {1036, L"chinesesimplified"}, {1037, L"portuguese"}, {1038, L"french"},
    {1039, L"russian"},    {1040, L"german"},  {1041, L"italian"},
    {1042, L"japanese"},   {1043, L"chinesetraditional"},
};

void Trace(const wchar_t* line)
{
    LogWrite(line);
}

}  // namespace

void CTessalyDlg::OnPopupBoxClicked(UINT id)
{
    HidePopups();
    switch (id) {
    case 1021:
        Trace(L"BTN CLICK : ID_BTN_FILE_OPEN");
        OpenRecordingFiles();
        break;
    case 1023:
        Trace(L"BTN CLICK : ID_BTN_FILE_OTHER_SAVE");
        SaveRecordingAs();
        break;
    case 1024:
        Trace(L"BTN CLICK : ID_BTN_FILE_CLOSE");
        SendMessage(WM_CLOSE, 0, 0);
        break;
    case 1030:
        RunSettingsProgram();
        break;
    case 1031:
        Trace(L"BTN CLICK : ID_BOX_SETTING_VIEW");
        m_dlgBbInfo.DoModal();
        break;
    case 1045:
    case 1046:
        SwitchSpeedUnit(id == 1046);
        break;
    case 1047:
        Trace(L"BTN CLICK : ID_BOX_SETTING_PLAY");
        SwitchPlayType();
        break;
    case 1050:
    case 1051:
    case 1052:
    case 1053:
    case 1054: {
        static const wchar_t* const names[] = {L"BTN CLICK : SCRSIZE_00", L"BTN CLICK : SCRSIZE_01",
                                               L"BTN CLICK : SCRSIZE_02", L"BTN CLICK : SCRSIZE_03",
                                               L"BTN CLICK : SCRSIZE_04"};
        static const float factors[] = {1.0f, 0.5f, 1.0f, 1.5f, 2.0f};
        Trace(names[id - 1050]);
        if (m_VideoMgr.GetState() != STATE_STOP)
            m_VideoMgr.SetVideoViewSize(factors[id - 1050]);
        break;
    }
    case 1056:
        Trace(L"BTN CLICK : ID_BOX_SCRSETTING_INIT");
        if (m_VideoMgr.GetState() != STATE_STOP) {
            m_VideoMgr.SetBrightness(50);
            m_VideoMgr.SetVideoSpeed(1.0f);
        }
        break;
    case 1059:
        if (m_listPlay.GetLock())
            break;
        Trace(L"BTN CLICK : ID_BOX_CONTEXT_PLAY");
        m_wndVideoMain.HideContextMenu();
        if (m_VideoMgr.GetState() == STATE_PAUSE)
            VideoPlay(FALSE);
        else
            VideoPause();
        break;
    case 1062:
        if (m_listPlay.GetLock())
            break;
        Trace(L"BTN CLICK : ID_BOX_CONTEXT_FULLSCR");
        m_wndVideoMain.HideContextMenu();
        ToggleFullScreen();
        ShowPlayTime();
        UpdateChannelLabels();
        break;
    case 1063:
        if (m_listPlay.GetLock())
            break;
        Trace(L"BTN CLICK : ID_BOX_CONTEXT_FULLWIN");
        ToggleWindowSize();
        break;
    case 1064:
        m_listPlay.PlaySelectedItem();
        m_listPlay.SetFocus();
        break;
    case 1065:
        DeleteSelectedRecording();
        m_listPlay.SetFocus();
        break;
    case 1067:
        m_listPlay.SelectPrev();
        break;
    case 1068:
        m_listPlay.SelectNext();
        break;
    default:
        for (const LanguageItem& item : kLanguages)
            if (item.id == id)
                SwitchLanguage(item.id, item.name);
        break;
    }
}

void CTessalyDlg::SwitchLanguage(UINT id, const std::wstring& name)
{
    const std::wstring previous = GetLanguageName();
    if (previous == name)
        return;
    if (!LoadLanguage(name)) {
        // A language that cannot be loaded is not kept: the texts go back to the language in
        // use, and neither the settings nor the registry name the failed one.
        if (!previous.empty())
            LoadLanguage(previous);
        return;
    }
    for (const LanguageItem& item : kLanguages)
        m_boxLang.SetItemCheck(item.id, item.id == id ? TRUE : FALSE);
    SetInstallValue(L"language", name.c_str());
    ReloadAllTexts();
    SaveSettingIni(m_strAppFolder);
    WriteRegistrySettings();
    m_bBackgroundDirty = 1;
    InvalidateRect(nullptr, FALSE);
}

void CTessalyDlg::SwitchSpeedUnit(BOOL mph)
{
    m_boxUnit.SetItemCheck(1045, mph ? FALSE : TRUE);
    m_boxUnit.SetItemCheck(1046, mph ? TRUE : FALSE);
    if (mph)
        m_btnSpeedUnit.SetImages(L"speed_mile.png", L"speed_mile.png", L"speed_mile.png",
                                 m_dcBackground.GetDC(), L"speed_mile_dis.png", 0);
    else
        m_btnSpeedUnit.SetImages(L"speed_km.png", L"speed_km.png", L"speed_km.png",
                                 m_dcBackground.GetDC(), L"speed_km_dis.png", 0);
    m_bSpeedMph = mph ? 1 : 0;
    m_btnSpeedUnit.Redraw();
    SetInstallValue(L"unit", mph ? L"mph" : L"km/h");
    SaveSettingIni(m_strAppFolder);
}

void CTessalyDlg::SwitchPlayType()
{
    if (!m_bMP4Mode || m_bPlayTypeLocked)
        return;
    if (m_bSinglePlay) {
        m_boxSetting.SetItemCheck(1047, TRUE);
        SetInstallValue(L"playtype", L"dual");
        SaveSettingIni(m_strAppFolder);
        m_bSinglePlay = 0;
    } else {
        m_boxSetting.SetItemCheck(1047, FALSE);
        SetInstallValue(L"playtype", L"single");
        SaveSettingIni(m_strAppFolder);
        m_bSinglePlay = 1;
    }
    // The registry keeps the play type across restarts; the settings file's copy is never read.
    SavePlayType();
    if (!IsMovieOpen()) {
        m_wndVideoSub.InvalidateRect(nullptr, TRUE);
        UpdateChannelLabels();
        return;
    }
    // The recording in the player is opened again in the new play type. VideoSTOP clears the
    // now-playing mark, which VideoPlay would otherwise replace by the selected row: the mark
    // goes back onto the recording that was playing.
    const std::wstring playing = m_listPlay.GetPlayingTitle();
    VideoSTOP();
    if (!playing.empty())
        m_listPlay.SetPlayingItem(playing);
    VideoPlay(FALSE);
}

void CTessalyDlg::ToggleWindowSize()
{
    switch (m_nWindowMode) {
    case 0:
        m_btnMax.SetImages(L"btn_before_nor.png", L"btn_before_over.png",
                                L"btn_before_press.png", m_dcBackground.GetDC(), L"", 0);
        m_btnMax.Redraw();
        ShowWindow(SW_MAXIMIZE);
        m_nWindowMode = 1;
        if (!IsMovieOpen())
            m_wndVideoSub.InvalidateRect(nullptr, TRUE);
        break;
    case 1:
        m_btnMax.SetImages(L"btn_full_nor.png", L"btn_full_over.png", L"btn_full_press.png",
                                m_dcBackground.GetDC(), L"", 0);
        m_btnMax.Redraw();
        ShowWindow(SW_RESTORE);
        m_nWindowMode = 0;
        break;
    case 2:
        m_btnMax.SetImages(L"btn_before_nor.png", L"btn_before_over.png",
                                L"btn_before_press.png", m_dcBackground.GetDC(), L"", 0);
        m_btnMax.Redraw();
        ToggleFullScreen();
        ShowWindow(SW_MAXIMIZE);
        m_nWindowMode = 1;
        break;
    default:
        break;
    }
    m_wndVideoMain.HideContextMenu();
}
