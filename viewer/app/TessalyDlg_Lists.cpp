// The main dialog's six recording lists, their tabs, opened and dropped files, deletion.
#include <vector>

#include "app/DeviceData.h"
#include "app/RecordingLists.h"
#include "app/TessalyDlg.h"
#include "playback/FileAnalysis.h"
#include "platform/shell.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"

namespace {

// The analysis instance for the length of one list operation.
class AnalysisUse {
public:
    AnalysisUse() : m_analysis(CFileAnalysis::GetInstance()) {}
    ~AnalysisUse() { CFileAnalysis::ReleaseInstance(); }
    AnalysisUse(const AnalysisUse&) = delete;
    AnalysisUse& operator=(const AnalysisUse&) = delete;
    CFileAnalysis& operator*() { return *m_analysis; }

private:
    CFileAnalysis* m_analysis;
};

void EnableItem(CWnd* dialog, int id, BOOL enable)
{
    if (HWND item = ::GetDlgItem(dialog->GetSafeHwnd(), id))
        ::EnableWindow(item, enable);
}

void ShowButton(CRButton& button, BOOL show)
{
    if (button.GetSafeHwnd())
        button.ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CheckButton(CRButton& button, BOOL check)
{
    if (button.GetSafeHwnd())
        button.SetCheck(check);
}

}  // namespace

// The parsing thread walks the lists without a lock: every change of them happens between
// these two, which stop a run that goes on and start it again afterwards.
class CTessalyDlg::ListChange {
public:
    explicit ListChange(CTessalyDlg& dialog) : m_dialog(dialog), m_bWasParsing(dialog.m_bParseDone == 0)
    {
        m_dialog.StopFileParsing();
    }
    ~ListChange()
    {
        if (m_bWasParsing)
            m_dialog.StartFileParsing();
    }
    ListChange(const ListChange&) = delete;
    ListChange& operator=(const ListChange&) = delete;

private:
    CTessalyDlg& m_dialog;
    bool m_bWasParsing;
};

BOOL CTessalyDlg::InitMovieList(BOOL checkCard)
{
    AnalysisUse analysis;
    if (checkCard && !g_bCardFound) {
        SetCardMode(FALSE, FALSE);
        return FALSE;
    }
    // Nothing may keep pointing into the lists that are rebuilt now.
    m_pShownMap = nullptr;
    ++m_nListsBuilt;
    std::string model = g_pBlackBoxData ? FieldText(g_pBlackBoxData->szModel) : std::string();
    ScanCardFolders(*analysis, m_strRootPath, model, m_RecMaps);
    int category = UpdateListTabs();
    if (category >= 0) {
        ShowMovieList(category);
        m_nShownCategory = category;
    } else {
        m_listPlay.DeleteAllItems();
    }
    // At start-up the card's mode follows what it holds (an AVI camera's card is no MP4 card);
    // an inserted card's caller sets it itself.
    if (checkCard)
        SetCardMode(TRUE, FALSE);
    return TRUE;
}

int CTessalyDlg::UpdateListTabs()
{
    CRButton* tabs[] = {&m_btnListNormal,    &m_btnListParking,   &m_btnListManual,
                        &m_btnListPosition,  &m_btnListRecNormal, &m_btnListNorShock,
                        &m_btnListParkMotion, &m_btnListParkShock};
    for (CRButton* tab : tabs)
        if (tab->GetSafeHwnd())
            tab->EnableWindow(TRUE);
    for (int i = 0; i < 4; ++i)
        CheckButton(*tabs[i], FALSE);

    int result = -1;
    auto empty = [this](int category) { return m_RecMaps[category].empty(); };
    auto disable = [](CRButton& button) {
        if (button.GetSafeHwnd())
            button.EnableWindow(FALSE);
    };
    auto take = [&result](int category) {
        if (result < 0)
            result = category;
    };
    if (empty(CATEGORY_CONTINUOUS))
        disable(m_btnListRecNormal);
    else
        take(CATEGORY_CONTINUOUS);
    if (empty(CATEGORY_EVENT))
        disable(m_btnListNorShock);
    else
        take(CATEGORY_EVENT);
    if (empty(CATEGORY_CONTINUOUS) && empty(CATEGORY_EVENT))
        disable(m_btnListNormal);
    if (empty(CATEGORY_MOTION))
        disable(m_btnListParkMotion);
    else
        take(CATEGORY_MOTION);
    if (empty(CATEGORY_PARKING))
        disable(m_btnListParkShock);
    else
        take(CATEGORY_PARKING);
    if (empty(CATEGORY_MOTION) && empty(CATEGORY_PARKING))
        disable(m_btnListParking);
    if (empty(CATEGORY_MANUAL))
        disable(m_btnListManual);
    else
        take(CATEGORY_MANUAL);
    if (empty(CATEGORY_AREA))
        disable(m_btnListPosition);
    else
        take(CATEGORY_AREA);
    ArrangeListTabs(result);
    return result;
}

void CTessalyDlg::ArrangeListTabs(int category)
{
    BOOL normal = category == CATEGORY_CONTINUOUS || category == CATEGORY_EVENT;
    BOOL parking = category == CATEGORY_MOTION || category == CATEGORY_PARKING;
    BOOL columns = category == CATEGORY_MANUAL || category == CATEGORY_AREA;
    if (!normal && !parking && !columns)
        return;
    CheckButton(normal ? m_btnListNormal
                       : parking ? m_btnListParking
                                 : category == CATEGORY_MANUAL ? m_btnListManual : m_btnListPosition,
                TRUE);
    ShowButton(m_btnListRecNormal, normal);
    ShowButton(m_btnListNorShock, normal);
    ShowButton(m_btnListParkMotion, parking);
    ShowButton(m_btnListParkShock, parking);
    ShowButton(m_btnListFileSize, columns);
    ShowButton(m_btnListFileName, columns);
}

void CTessalyDlg::ShowMovieList(int category)
{
    if (category < 0 || category >= CATEGORY_COUNT)
        return;
    m_listPlay.DeleteAllItems();
    m_pShownMap = &m_RecMaps[category];
    for (const auto& [key, info] : *m_pShownMap)
        m_listPlay.AddItem(key, 0, info.m_strPath, info.m_nSize, info.m_nChannel);
    m_listPlay.OnItemsChanged();
    m_listPlay.UpdateScroll();
    if (!m_pShownMap->empty())
        m_listPlay.SetSelectedItem(m_pShownMap->begin()->first);
}

void CTessalyDlg::OnListTabClicked(UINT id)
{
    int shownBefore = m_nShownCategory;
    HidePopups();
    auto show = [this](int category) {
        if (m_nShownCategory != category)
            ShowMovieList(category);
        m_nShownCategory = category;
    };
    auto marks = [this](CRButton& marked) {
        for (CRButton* tab : {&m_btnListNormal, &m_btnListParking, &m_btnListManual, &m_btnListPosition})
            CheckButton(*tab, tab == &marked);
    };
    switch (id) {
    case ID_LIST_PLAY:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_MAIN");
        break;
    case ID_BTN_LIST_NORMAL:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_NORMAL");
        marks(m_btnListNormal);
        ArrangeListTabs(CATEGORY_CONTINUOUS);
        show(m_RecMaps[CATEGORY_CONTINUOUS].empty() ? CATEGORY_EVENT : CATEGORY_CONTINUOUS);
        break;
    case ID_BTN_LIST_PARKING:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_PARKING");
        marks(m_btnListParking);
        ArrangeListTabs(CATEGORY_MOTION);
        show(m_RecMaps[CATEGORY_MOTION].empty() ? CATEGORY_PARKING : CATEGORY_MOTION);
        break;
    case ID_BTN_LIST_MANUAL:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_MANUAL");
        marks(m_btnListManual);
        ArrangeListTabs(CATEGORY_MANUAL);
        show(CATEGORY_MANUAL);
        break;
    case ID_BTN_LIST_POSITION:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_POSITION");
        marks(m_btnListPosition);
        ArrangeListTabs(CATEGORY_AREA);
        show(CATEGORY_AREA);
        break;
    case ID_BTN_LIST_RECNORMAL:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_RECNORMAL");
        show(CATEGORY_CONTINUOUS);
        break;
    case ID_BTN_LIST_NORSHOCK:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_NORSHOCK");
        show(CATEGORY_EVENT);
        break;
    case ID_BTN_LIST_PARKMOTION:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_PARKMOTION");
        show(CATEGORY_MOTION);
        break;
    case ID_BTN_LIST_PARKSHOCK:
        LogWrite(L"BTN CLICK : ID_BTN_LIST_PARKSHOCK");
        show(CATEGORY_PARKING);
        break;
    default:
        break;
    }
    m_listPlay.SetPlayingItem(m_strPlayingTitle);
    if (shownBefore != m_nShownCategory && m_VideoMgr.GetState() == STATE_PLAY)
        VideoPause();
}

void CTessalyDlg::AddRecordingFile(const std::wstring& path)
{
    if (!IsRecordingPath(path))
        return;
    ListChange change(*this);
    AddRecording(path, IsMP4Path(path));
}

void CTessalyDlg::OnDropFiles(HDROP drop)
{
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    LogWrite(FormatText(L"number of files = %d", int(count)));
    {
        ListChange change(*this);
        for (UINT i = 0; i < count; ++i) {
            WCHAR path[260] = {};
            DragQueryFileW(drop, i, path, 260);
            if (IsRecordingPath(path))
                AddRecording(path, IsMP4Path(path));
        }
    }
    DragFinish(drop);
}

void CTessalyDlg::OpenRecordingFiles()
{
    CFileDialog dialog(TRUE, nullptr, L"*.avi;*.mp4", OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                       L"All (*.avi, *.mp4)|*.avi;*.mp4|AVI (*.avi)|*.avi|MP4 (*.mp4)|*.mp4||", this);
    if (dialog.DoModal() != IDOK)
        return;
    std::vector<std::wstring> paths;
    BOOL isMP4 = FALSE;
    for (POSITION position = dialog.GetStartPosition(); position;) {
        paths.push_back(dialog.GetNextPathName(position));
        if (IsMP4Path(paths.back()))
            isMP4 = TRUE;
    }
    ListChange change(*this);
    for (const std::wstring& path : paths)
        AddRecording(path, isMP4);
}

void CTessalyDlg::SaveRecordingAs()
{
    if (m_strPlayingTitle.empty())
        return;
    // The recording's own entry: the one whose telemetry the player shows, else the one of that
    // title in the shown list, else in any list (the shown list may have changed since).
    const RecFileInfo* source = nullptr;
    for (const RecFileMap& map : m_RecMaps)
        for (const auto& [key, info] : map)
            if (m_pPlayingText && &info.m_TextData == m_pPlayingText && key == m_strPlayingTitle)
                source = &info;
    if (!source && m_pShownMap && m_pShownMap->count(m_strPlayingTitle))
        source = &m_pShownMap->at(m_strPlayingTitle);
    for (const RecFileMap& map : m_RecMaps)
        if (!source && map.count(m_strPlayingTitle))
            source = &map.at(m_strPlayingTitle);
    if (!source)
        return;
    std::wstring from = source->m_strPath;
    CFileDialog dialog(FALSE, m_bMP4Mode ? L"mp4" : L"avi", m_strPlayingTitle.c_str(),
                       OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY,
                       m_bMP4Mode ? L"mp4 (*.mp4)|*.mp4||" : L"avi (*.avi)|*.avi||", this);
    if (dialog.DoModal() != IDOK)
        return;
    std::wstring to = dialog.GetPathName();
    // Copying a file onto itself would lose it.
    if (platform::ToNativePath(to) == platform::ToNativePath(from))
        return;
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        std::wstring text = FormatText(L"%ls\n\n%ls (%lu)", to.c_str(),
                                       L"The recording could not be saved here.",
                                       static_cast<unsigned long>(GetLastError()));
        MessageBoxW(m_hWnd, text.c_str(), GetLangText(L"IDS_STRING_K_008").c_str(),
                    MB_OK | MB_ICONWARNING);
    }
}

void CTessalyDlg::AddRecording(const std::wstring& path, BOOL isMP4)
{
    AnalysisUse analysis;
    std::wstring folder, fileName;
    SplitRecordingPath(path, &folder, &fileName);
    int category = CategoryOfFolder(folder);
    switch (category) {
    case CATEGORY_CONTINUOUS:
        EnableItem(this, ID_BTN_LIST_NORMAL, TRUE);
        if (folder == L"cont_rec")
            EnableItem(this, ID_BTN_LIST_RECNORMAL, TRUE);
        break;
    case CATEGORY_EVENT:
        EnableItem(this, ID_BTN_LIST_NORMAL, TRUE);
        EnableItem(this, ID_BTN_LIST_NORSHOCK, TRUE);
        break;
    case CATEGORY_MANUAL:
        EnableItem(this, ID_BTN_LIST_MANUAL, TRUE);
        break;
    case CATEGORY_MOTION:
        EnableItem(this, ID_BTN_LIST_PARKING, TRUE);
        EnableItem(this, ID_BTN_LIST_PARKMOTION, TRUE);
        break;
    case CATEGORY_PARKING:
        EnableItem(this, ID_BTN_LIST_PARKING, TRUE);
        EnableItem(this, ID_BTN_LIST_PARKSHOCK, TRUE);
        break;
    }
    (*analysis).AnalysisFile(path, fileName, m_RecMaps[category], TRUE, 0);

    BOOL locked = m_listPlay.GetLock();
    if (category == m_nShownCategory || locked) {
        std::wstring playing = m_listPlay.GetPlayingTitle();
        ShowMovieList(category);
        if (!playing.empty())
            m_listPlay.SetPlayingItem(playing);
    }
    if (locked) {
        if (category == CATEGORY_CONTINUOUS || category == CATEGORY_EVENT) {
            EnableItem(this, ID_BTN_LIST_RECNORMAL, TRUE);
            EnableItem(this, ID_BTN_LIST_NORSHOCK, TRUE);
        } else if (category == CATEGORY_MOTION || category == CATEGORY_PARKING) {
            EnableItem(this, ID_BTN_LIST_PARKMOTION, TRUE);
            EnableItem(this, ID_BTN_LIST_PARKSHOCK, TRUE);
        }
        ArrangeListTabs(category);
        m_nShownCategory = category;
        SetCardMode(TRUE, isMP4);
    }
}

void CTessalyDlg::SetCardMode(BOOL present, BOOL isMP4)
{
    CFullScrControlBox& bar = m_wndVideoMain.GetControlBox();
    const int playIds[] = {1100, 1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109, 1110, 1111,
                           1300, 1301, 1302, 1303, ID_BTN_SPEED_UNIT, ID_BTN_SETTING_MENU,
                           ID_NUM_SPEED};
    if (!present) {
        if (m_nWindowMode == WINDOW_MODE_FULLSCREEN)
            ToggleFullScreen();
        m_wndVideoMain.DisableContextMenu(TRUE);
        m_listPlay.SetLock(TRUE);
        m_listPlay.DeleteAllItems();
        if (m_VideoMgr.GetState() != STATE_STOP)
            VideoSTOP();
        for (CRButton* tab : {&m_btnListNormal, &m_btnListParking, &m_btnListManual, &m_btnListPosition})
            CheckButton(*tab, FALSE);
        for (CRButton* tab : {&m_btnListRecNormal, &m_btnListNorShock, &m_btnListParkMotion, &m_btnListParkShock})
            ShowButton(*tab, FALSE);
        ShowButton(m_btnListFileSize, TRUE);
        ShowButton(m_btnListFileName, TRUE);
        for (int id = ID_BTN_LIST_NORMAL; id <= ID_BTN_LIST_FILENAME; ++id)
            EnableItem(this, id, FALSE);
        for (int id : playIds)
            EnableItem(this, id, FALSE);
        if (m_lblParsing.GetSafeHwnd())
            m_lblParsing.ShowWindow(SW_HIDE);
        if (m_lblParsePercent.GetSafeHwnd())
            m_lblParsePercent.ShowWindow(SW_HIDE);
        m_boxSetting.SetItemDisable(ID_BOX_SETTING_PLAY, 1);
        m_bPlayTypeLocked = 1;
        m_boxSetting.SetItemCheck(ID_BOX_SETTING_PLAY, !m_bSinglePlay);
        LogWrite(L"Tessaly----->NO SDCARD,,");
        return;
    }

    m_wndVideoMain.DisableContextMenu(FALSE);
    m_listPlay.SetLock(FALSE);
    EnableItem(this, ID_BTN_LIST_FILESIZE, TRUE);
    EnableItem(this, ID_BTN_LIST_FILENAME, TRUE);
    for (int id : playIds)
        EnableItem(this, id, TRUE);
    if (m_btnVideoConnect.GetSafeHwnd() && m_bAutoContinue)
        m_btnVideoConnect.SetCheck(TRUE);
    EnableItem(this, ID_BTN_SIZE, FALSE);
    EnableItem(this, ID_BTN_SETTING, FALSE);
    bar.EnableSizeBtn(FALSE);
    bar.EnableSettingBtn(FALSE);
    // A card's recordings are MP4 front/rear recordings only when it holds any: an AVI camera's
    // card with a device record stays out of the MP4 mode.
    BOOL cardMP4 = FALSE;
    if (g_pBlackBoxData)
        for (const RecFileMap& map : m_RecMaps)
            for (const auto& entry : map)
                if (!cardMP4 && IsMP4Path(entry.second.m_strPath))
                    cardMP4 = TRUE;
    if (cardMP4 || isMP4) {
        // Entering the MP4 mode brings back the play type the user chose last time.
        if (!m_bMP4Mode)
            m_bSinglePlay = LoadPlayType();
        m_boxSetting.SetItemDisable(ID_BOX_SETTING_PLAY, 0);
        m_boxSetting.SetItemCheck(ID_BOX_SETTING_PLAY, !m_bSinglePlay);
        m_bMP4Mode = 1;
        m_bPlayTypeLocked = 0;
    } else {
        m_boxSetting.SetItemDisable(ID_BOX_SETTING_PLAY, 1);
        m_boxSetting.SetItemCheck(ID_BOX_SETTING_PLAY, 0);
        m_bMP4Mode = 0;
        m_bPlayTypeLocked = 1;
    }
    LogWrite(L"Tessaly----->SDCARD Insert");
}

BOOL CTessalyDlg::IsPlayingRearFile()
{
    if (!m_listPlay.GetSafeHwnd())
        return FALSE;
    std::wstring title = m_listPlay.GetPlayingTitle();
    return !title.empty() && (title.back() == L'R' || title.back() == L'r');
}

void CTessalyDlg::SwapTitleLabels()
{
    std::wstring first = m_lblTitle1.GetText();
    m_lblTitle1.SetText(m_lblTitle2.GetText());
    m_lblTitle2.SetText(m_bMP4Mode && m_bSinglePlay ? std::wstring() : first);
    m_strPlayingTitle = m_lblTitle1.GetText();
}

void CTessalyDlg::DeleteSelectedRecording()
{
    std::wstring title = m_listPlay.GetSelectedTitle();
    if (title.empty()) {
        LogWrite(L"strFocusItem.IsEmpty()\n");
        return;
    }
    if (!m_pShownMap)
        return;
    auto entry = m_pShownMap->find(title);
    if (entry == m_pShownMap->end())
        return;
    // The map-area list only forgets the entry; elsewhere the file goes too, and the user is
    // asked first.
    BOOL deleteFile = m_nShownCategory != CATEGORY_AREA;
    if (deleteFile) {
        const unsigned listsBefore = m_nListsBuilt;
        const RecFileMap* shownBefore = m_pShownMap;
        const std::wstring pathBefore = entry->second.m_strPath;
        std::wstring question = GetLangText(L"IDS_STRING_K_077") + L"\n\n" + title;
        if (MessageBoxW(m_hWnd, question.c_str(), L"Tessaly", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            return;
        // The dialog went on running under the question: the card may have been taken out,
        // put back or swapped meanwhile. Only the recording the user was asked about goes,
        // and only while the lists it was asked from still stand.
        if (m_nListsBuilt != listsBefore || m_pShownMap != shownBefore || !m_pShownMap)
            return;
        entry = m_pShownMap->find(title);
        if (entry == m_pShownMap->end() || entry->second.m_strPath != pathBefore)
            return;
    }
    // The player lets go of the recording first: the deleted one, or the other channel of the
    // pair it plays, or whatever telemetry it shows from this entry.
    std::wstring playing = m_listPlay.GetPlayingTitle();
    BOOL inPlayer = title == playing || (!playing.empty() && title == m_listPlay.GetPartnerTitle()) ||
                    m_pPlayingText == &entry->second.m_TextData;
    if (inPlayer && m_VideoMgr.GetState() != STATE_STOP)
        VideoSTOP();
    if (m_pPlayingText == &entry->second.m_TextData) {
        m_pPlayingText = nullptr;
        if (m_GPSViewer.GetSafeHwnd())
            m_GPSViewer.ResetData();
    }

    std::wstring path;
    {
        ListChange change(*this);
        RemoveRecording(*m_pShownMap, title, &path);
        ShowMovieList(m_nShownCategory);
        m_listPlay.SetPlayingItem(playing);
    }
    if (deleteFile)
        DeleteFileW(path.c_str());
}

int CTessalyDlg::GetVideoTrackCount()
{
    return m_VideoMgr.GetVideoTrackCount();
}

BOOL CTessalyDlg::IsMovieOpen()
{
    return m_VideoMgr.GetState() == STATE_PLAY || m_VideoMgr.GetState() == STATE_PAUSE;
}
