// The popup-menu commands of the real dialog: language, speed unit, play type, zoom, the
// initialise button, the context menus with their lock rule, the playlist's keys and delete.
#include "DialogFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "playback/FileAnalysis.h"
#include "ui/ControlMessages.h"
#include "ui/Settings.h"

namespace fs = std::filesystem;

namespace {

int CheckOf(const CTDropBox& box, UINT id)
{
    for (const CTDropBoxItem& item : box.GetItems())
        if (item.id == id)
            return item.check;
    return -1;
}

std::wstring RegistryLanguage()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KESTROVAN\\", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return L"";
    wchar_t buffer[64] = {};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    RegQueryValueExW(key, L"LANGUAGE", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    return buffer;
}

class MenuTest : public apptest::DialogFixture {
protected:
    void Start(bool card = true)
    {
        if (card)
            m_root = UseCard("card");
        // A box the engine or the dialog shows is answered, never waited on.
        apptest::pt::AnswerMessageBoxes({});
        StartDialog();
        m_settings = fs::path(TempDir()) / "program";
        fs::create_directories(m_settings);
        OnUi([&] {
            dlg().m_strAppFolder = platform::ToWindowsPath(m_settings.string()) + L"\\";
            // The settings as the program has them: read from (here: missing in) its folder.
            LoadSettingIni(dlg().m_strAppFolder);
            if (!m_root.empty())
                ListCard();
        });
    }

    // The card's continuous recordings in the playlist, as the lists show them, when the
    // dialog has not listed them itself.
    void ListCard()
    {
        CTessalyDlg& d = dlg();
        if (d.m_listPlay.GetItemCount() > 0)
            return;
        d.StopFileParsing();
        CFileAnalysis* analysis = CFileAnalysis::GetInstance();
        d.m_RecMaps[CATEGORY_CONTINUOUS].clear();
        analysis->ScanFolder(m_root + L"cont_rec", d.m_RecMaps[CATEGORY_CONTINUOUS]);
        CFileAnalysis::ReleaseInstance();
        d.m_pShownMap = &d.m_RecMaps[CATEGORY_CONTINUOUS];
        d.m_listPlay.SetLock(FALSE);
        for (const auto& [key, info] : *d.m_pShownMap)
            d.m_listPlay.AddItem(key, 0, info.m_strPath, info.m_nSize, info.m_nChannel);
        d.m_listPlay.UpdateScroll();
        d.m_listPlay.SetSelectedItem(d.m_pShownMap->begin()->first);
    }
    std::wstring m_root;
    void Command(UINT id)
    {
        OnUi([&] { dlg().SendMessage(WM_COMMAND, id, 0); });
    }
    int State()
    {
        int state = -1;
        OnUi([&] { state = dlg().m_VideoMgr.GetState(); });
        return state;
    }
    // The settings file's text (UTF-16LE written; read here as bytes with the zeros dropped).
    std::string SettingsText()
    {
        std::ifstream in(m_settings / "tessaly.ini", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string text;
        for (char c : bytes)
            if (c != 0)
                text += c;
        return text;
    }
    fs::file_time_type SettingsTime()
    {
        std::error_code error;
        return fs::last_write_time(m_settings / "tessaly.ini", error);
    }
    void OpenFirst()
    {
        OnUi([&] { dlg().m_listPlay.SetSelectedItem(dlg().m_listPlay.GetItem(0).title); });
        Command(ID_BTN_PLAY_FORCE);
        ASSERT_EQ(State(), STATE_PLAY);
    }

    fs::path m_settings;
};

TEST_F(MenuTest, LanguageSwitchChecksSavesAndWritesTheRegistryOnlyOnAChange)
{
    Start();
    const std::wstring registryBefore = RegistryLanguage();
    Command(1033);  // english is loaded already: nothing happens
    EXPECT_FALSE(fs::exists(m_settings / "tessaly.ini"));
    Command(1034);
    OnUi([&] {
        EXPECT_EQ(GetLanguageName(), L"korean");
        for (UINT id = 1033; id <= 1043; ++id)
            EXPECT_EQ(CheckOf(dlg().m_boxLang, id), id == 1034 ? 1 : 0) << id;
        EXPECT_EQ(GetLangText(L"IDS_STRING_K_105"), std::wstring(L"\uc601\uc0c1\uc774 \uc5c6\uc2b5\ub2c8\ub2e4."))
            << "the Korean texts are loaded";
    });
    EXPECT_NE(SettingsText().find("language = korean"), std::string::npos) << SettingsText();
    if (!registryBefore.empty())  // the start-up wrote the registry: the switch rewrites it
        EXPECT_EQ(RegistryLanguage(), L"korean");
    Command(1033);
    EXPECT_NE(SettingsText().find("language = english"), std::string::npos);
    OnUi([&] { EXPECT_EQ(GetLanguageName(), L"english"); });
}

TEST_F(MenuTest, SpeedUnitIsSavedEachTime)
{
    Start();
    Command(1046);
    OnUi([&] {
        EXPECT_EQ(dlg().m_bSpeedMph, 1);
        EXPECT_EQ(CheckOf(dlg().m_boxUnit, 1046), 1);
        EXPECT_EQ(CheckOf(dlg().m_boxUnit, 1045), 0);
    });
    EXPECT_NE(SettingsText().find("unit = mph"), std::string::npos);
    fs::remove(m_settings / "tessaly.ini");
    Command(1046);  // the same unit again still writes the file
    EXPECT_TRUE(fs::exists(m_settings / "tessaly.ini"));
    Command(1045);
    OnUi([&] { EXPECT_EQ(dlg().m_bSpeedMph, 0); });
    EXPECT_NE(SettingsText().find("unit = km/h"), std::string::npos);
}

TEST_F(MenuTest, ZoomAndInitialiseActOnlyOnAnOpenRecording)
{
    Start();
    Command(1051);
    OnUi([&] { EXPECT_FLOAT_EQ(dlg().m_VideoMgr.GetVideoViewSize(), 1.0f); });
    OpenFirst();
    Command(ID_BTN_PAUSE);
    struct {
        UINT id;
        float factor;
    } zooms[] = {{1051, 0.5f}, {1050, 1.0f}, {1053, 1.5f}, {1052, 1.0f}, {1054, 2.0f}};
    for (const auto& z : zooms) {
        Command(z.id);
        OnUi([&] { EXPECT_FLOAT_EQ(dlg().m_VideoMgr.GetVideoViewSize(), z.factor) << z.id; });
    }
    OnUi([&] {
        dlg().SendMessage(WM_SLIDER_CHANGED, 1202, 6);
        EXPECT_FLOAT_EQ(dlg().m_VideoMgr.GetVideoSpeed(), 4.0f);
    });
    Command(1056);
    OnUi([&] { EXPECT_FLOAT_EQ(dlg().m_VideoMgr.GetVideoSpeed(), 1.0f); });
}

TEST_F(MenuTest, ContextPlayPausesAndResumes)
{
    Start();
    OpenFirst();
    Command(1059);
    EXPECT_EQ(State(), STATE_PAUSE);
    Command(1059);
    EXPECT_EQ(State(), STATE_PLAY);
}

TEST_F(MenuTest, ContextCommandsDoNothingOnTheLockedNoCardList)
{
    Start(false);
    OnUi([&] { dlg().m_listPlay.SetLock(TRUE); });  // the no-card mode's list
    const int mode = [&] {
        int m = 0;
        OnUi([&] { m = dlg().m_nWindowMode; });
        return m;
    }();
    Command(1063);
    Command(1062);
    Command(1059);
    OnUi([&] { EXPECT_EQ(dlg().m_nWindowMode, mode); });
    EXPECT_EQ(State(), STATE_STOP);
}

TEST_F(MenuTest, WindowSizeCommandMaximisesAndRestores)
{
    Start();
    Command(1063);
    OnUi([&] {
        EXPECT_EQ(dlg().m_nWindowMode, 1);
        EXPECT_TRUE(::IsZoomed(dlg().m_hWnd));
    });
    Command(1063);
    OnUi([&] {
        EXPECT_EQ(dlg().m_nWindowMode, 0);
        EXPECT_FALSE(::IsZoomed(dlg().m_hWnd));
    });
}

TEST_F(MenuTest, PlayTypeSwitchReopensThePlayingRecording)
{
    Start();
    std::wstring playing, other;
    OnUi([&] {
        dlg().m_bMP4Mode = 1;
        dlg().m_bPlayTypeLocked = 0;
        playing = dlg().m_listPlay.GetItem(0).title;
        other = dlg().m_listPlay.GetItem(2).title;
    });
    OpenFirst();
    int single = 0;
    OnUi([&] {
        single = dlg().m_bSinglePlay;
        dlg().m_listPlay.SetSelectedItem(other);  // the user selects another row meanwhile
    });
    Command(1047);
    OnUi([&] {
        EXPECT_EQ(dlg().m_bSinglePlay, single ? 0 : 1);
        EXPECT_EQ(dlg().m_strPlayingTitle, playing);
        EXPECT_EQ(dlg().m_VideoMgr.GetState(), STATE_PLAY);
        EXPECT_EQ(CheckOf(dlg().m_boxSetting, 1047), single ? 1 : 0);
    });
    EXPECT_NE(SettingsText().find(single ? "playtype = dual" : "playtype = single"), std::string::npos);
    // Locked (no device record) or without MP4 recordings the item does nothing.
    OnUi([&] { dlg().m_bPlayTypeLocked = 1; });
    Command(1047);
    OnUi([&] { EXPECT_EQ(dlg().m_bSinglePlay, single ? 0 : 1); });
}

TEST_F(MenuTest, PlaylistKeysMoveTheSelectionAndPlayIt)
{
    Start();
    std::wstring first, second;
    OnUi([&] {
        first = dlg().m_listPlay.GetItem(0).title;
        second = dlg().m_listPlay.GetItem(1).title;
        dlg().m_listPlay.SetSelectedItem(first);
    });
    Command(1068);
    OnUi([&] { EXPECT_EQ(dlg().m_listPlay.GetSelectedTitle(), second); });
    Command(1067);
    OnUi([&] { EXPECT_EQ(dlg().m_listPlay.GetSelectedTitle(), first); });
    Command(1064);
    EXPECT_EQ(State(), STATE_PLAY);
    OnUi([&] { EXPECT_EQ(dlg().m_strPlayingTitle, first); });
}

}  // namespace
