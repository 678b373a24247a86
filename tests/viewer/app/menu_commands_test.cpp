// The popup-menu commands of the real dialog: the File and Setting menus' items clicked as the
// user clicks them, language, speed unit, play type, zoom, the initialise button, the context
// menus with their lock rule, the playlist's keys and delete.
#include "DialogFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "card_support.h"
#include "playback/FileAnalysis.h"
#include "ui/ControlMessages.h"
#include "ui/DPIScale.h"
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

    // Opens a title-bar menu with its button and clicks the item where the menu shows it.
    void ClickMenuItem(UINT menuButton, UINT item)
    {
        POINT at = {-1, -1};
        OnUi([&] {
            CTessalyDlg& d = dlg();
            d.SendMessage(WM_COMMAND, menuButton, 0);
            CTDropBox& box = menuButton == ID_BTN_FILE ? d.m_boxFile : d.m_boxSetting;
            ASSERT_TRUE(box.IsWindowVisible()) << menuButton;
            for (const CTDropBoxItem& row : box.GetItems())
                if (row.id == item) {
                    at = {g_DPIScale.Scale((row.rect.left + row.rect.right) / 2),
                          g_DPIScale.Scale((row.rect.top + row.rect.bottom) / 2)};
                    ::ClientToScreen(box.m_hWnd, &at);
                }
        });
        ASSERT_GE(at.x, 0) << "item " << item << " is in the menu";
        apptest::pt::InjectClick(at.x, at.y);
    }
    // A top-level window of the dialog's thread with this title, else null.
    HWND WindowOfDialogThread(const wchar_t* title)
    {
        HWND found = FindWindowW(nullptr, title);
        return found && IsWindowVisible(found) &&
                       GetWindowThreadProcessId(found, nullptr) ==
                           GetWindowThreadProcessId(hwnd(), nullptr)
                   ? found
                   : nullptr;
    }

    fs::path m_settings;
};

// The File and Setting menus' items, each clicked in its open menu on a card while the dialog
// runs: the menu closes and the item does what it names.
TEST_F(MenuTest, FileAndSettingItemsCloseTheirMenuAndAct)
{
    Start();
    namespace pt = apptest::pt;
    const fs::path card = fs::path(TempDir()) / "card";
    // The card's settings program, made to leave a mark where it runs (its own folder).
    fs::path program;
    for (const fs::directory_entry& entry : fs::directory_iterator(card / "setting"))
        if (entry.is_regular_file() &&
            (entry.status().permissions() & fs::perms::owner_exec) != fs::perms::none)
            program = entry.path();
    ASSERT_FALSE(program.empty()) << "mkcard's settings program";
    cardtest::WriteFile(program, "#!/bin/sh\necho ran > ran.txt\n");
    fs::permissions(program, fs::perms::owner_all);
    // A recording from outside the card, for File > Open.
    const fs::path avi = fs::path(TempDir()) / "files" / "Rec_0001.avi";
    fs::create_directories(avi.parent_path());
    fs::copy(fs::path(apptest::FixturesDir()) / "avi" / "Rec_0001.avi", avi);
    const fs::path saved = fs::path(TempDir()) / "saved.mp4";
    std::wstring playing;
    HWND info = nullptr;
    auto hasRow = [&](const std::wstring& title) {
        bool found = false;
        OnUi([&] {
            for (int i = 0; i < dlg().m_listPlay.GetItemCount(); ++i)
                found = found || dlg().m_listPlay.GetItem(i).title == title;
        });
        return found;
    };

    struct Case {
        const char* what;
        UINT menu;
        UINT item;
        std::function<void()> arrange;  // before the click
        std::function<bool()> shown;    // what the user sees once the item has acted
        std::function<void()> check;    // afterwards
    };
    const Case cases[] = {
        {"Setting > Dash Cam Info: the card's device record, modally", ID_BTN_SETTING_MENU,
         ID_BOX_SETTING_VIEW, nullptr,
         [&] { return (info = WindowOfDialogThread(L"Dash Cam Info")) != nullptr; },
         [&] {
             wchar_t model[64] = {};
             GetWindowTextW(GetDlgItem(info, 1015), model, 64);
             EXPECT_STREQ(model, L"Q914");
             PostMessageW(info, WM_COMMAND, IDOK, 0);
             EXPECT_TRUE(Eventually([&] { return !IsWindow(info); }));
         }},
        {"Setting > Dash Cam Settings: the card's own program runs", ID_BTN_SETTING_MENU,
         ID_BOX_SETTING_DASHCAM, [&] { pt::ClearShownMessageBoxes(); },
         [&] { return fs::exists(program.parent_path() / "ran.txt"); },
         [&] { EXPECT_TRUE(pt::ShownMessageBoxes().empty()); }},
        {"File > Save As: the open recording is copied where the user chose", ID_BTN_FILE,
         ID_BTN_FILE_OTHER_SAVE,
         [&] {
             // Paused, so that it is still the one in the player whatever the test's pace.
             OpenFirst();
             Command(ID_BTN_PAUSE);
             OnUi([&] { playing = dlg().m_strPlayingTitle; });
             pt::ClearShownFileDialogs();
             pt::AnswerFileDialogs({{true, {platform::ToWindowsPath(saved.string())}}});
         },
         [&] {
             // Asked on the dialog's thread: after the command, not in the middle of the copy.
             bool copied = false;
             OnUi([&] {
                 const fs::path from = card / "cont_rec" / (platform::WideToAnsi(playing) + ".mp4");
                 copied = fs::exists(saved) && fs::file_size(saved) == fs::file_size(from);
             });
             return copied;
         },
         [&] {
             ASSERT_EQ(pt::ShownFileDialogs().size(), 1u);
             EXPECT_TRUE(pt::ShownFileDialogs()[0].save);
             EXPECT_EQ(pt::ShownFileDialogs()[0].fileName, playing);
             EXPECT_EQ(
                 cardtest::ReadFile(saved),
                 cardtest::ReadFile(card / "cont_rec" / (platform::WideToAnsi(playing) + ".mp4")));
             EXPECT_EQ(State(), STATE_PAUSE);
         }},
        {"File > Open: the chosen recording joins the list", ID_BTN_FILE, ID_BTN_FILE_OPEN,
         [&] {
             pt::ClearShownFileDialogs();
             pt::AnswerFileDialogs({{true, {platform::ToWindowsPath(avi.string())}}});
         },
         [&] { return hasRow(L"REC_0001"); },
         [&] {
             ASSERT_EQ(pt::ShownFileDialogs().size(), 1u);
             EXPECT_FALSE(pt::ShownFileDialogs()[0].save);
             EXPECT_TRUE(pt::ShownFileDialogs()[0].flags & OFN_ALLOWMULTISELECT);
             EXPECT_TRUE(hasRow(playing)) << "the card's recordings stay listed";
             EXPECT_EQ(State(), STATE_PAUSE) << "the open recording stays as it was";
         }},
        {"File > Exit: the dialog closes, a recording open", ID_BTN_FILE, ID_BTN_FILE_CLOSE,
         nullptr, [&] { return !IsWindow(hwnd()); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.arrange)
            c.arrange();
        ClickMenuItem(c.menu, c.item);
        ASSERT_TRUE(Eventually(c.shown));
        if (IsWindow(hwnd()))
            OnUi([&] {
                EXPECT_FALSE(dlg().m_boxFile.IsWindowVisible());
                EXPECT_FALSE(dlg().m_boxSetting.IsWindowVisible());
            });
        if (c.check)
            c.check();
    }
    EXPECT_GE(CloseDialog(), 0) << "DoModal returned";
}

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
