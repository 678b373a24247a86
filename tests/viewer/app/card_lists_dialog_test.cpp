// The main dialog's recording lists over mkcard's cards: the six lists and their tabs for each
// kind of card, the card taken out and put back while the dialog runs, deleting with its
// question, opened and dropped files, and the registry values across a restart.
#include <gtest/gtest.h>

#include <filesystem>

#include "DialogFixture.h"
#include "app/DeviceData.h"
#include "card_support.h"
#include "ui/Settings.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

constexpr const wchar_t* kKey = L"SOFTWARE\\KESTROVAN\\";

std::wstring Key(int minute, char channel)
{
    wchar_t text[64];
    swprintf(text, 64, L"REC_2026_05_14_08_%02d_00_%c", minute, channel);
    return text;
}

class CardListsDialog : public apptest::DialogFixture {
protected:
    std::vector<size_t> MapSizes()
    {
        std::vector<size_t> sizes;
        OnUi([&] {
            for (const RecFileMap& map : dlg().m_RecMaps)
                sizes.push_back(map.size());
        });
        return sizes;
    }
    // The playlist's rows: title and pair type.
    std::vector<std::pair<std::wstring, int>> Rows()
    {
        std::vector<std::pair<std::wstring, int>> rows;
        OnUi([&] {
            for (int i = 0; i < dlg().m_listPlay.GetItemCount(); ++i)
                rows.emplace_back(dlg().m_listPlay.GetItem(i).title, dlg().m_listPlay.GetItem(i).pairType);
        });
        return rows;
    }
    // Enabled, visible and marked, for a tab.
    struct Tab {
        bool enabled, visible, marked;
    };
    Tab TabState(CRButton CTessalyDlg::*button)
    {
        Tab tab{};
        OnUi([&] {
            CRButton& b = dlg().*button;
            tab = {b.IsWindowEnabled() != FALSE, b.IsWindowVisible() != FALSE, b.GetCheck() != FALSE};
        });
        return tab;
    }
    std::wstring ReadRegistry(LPCWSTR name)
    {
        WCHAR buffer[260] = {};
        CTessalyDlg::RegReadString(HKEY_LOCAL_MACHINE, kKey, name, buffer, sizeof buffer);
        return buffer;
    }
    void Command(UINT id)
    {
        OnUi([&] { dlg().SendMessage(WM_COMMAND, id, 0); });
    }
    // A left click in the middle of a tab, through the mouse.
    void Click(CRButton CTessalyDlg::*button)
    {
        RECT r = {};
        OnUi([&] { (dlg().*button).GetWindowRect(&r); });
        const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
        pt::InjectMouseMove(x, y);
        pt::InjectClick(x, y);
        // The click has been handled once the dialog's thread is idle again.
        pt::WaitForThreadIdle(GetWindowThreadProcessId(hwnd(), nullptr));
    }
    int State()
    {
        int state = -1;
        OnUi([&] { state = dlg().m_VideoMgr.GetState(); });
        return state;
    }
};

TEST_F(CardListsDialog, SixListsOfAQ914CardAndTheRegistryValues)
{
    std::wstring root = UseCard("card");
    StartDialog();
    EXPECT_EQ(MapSizes(), (std::vector<size_t>{5, 5, 2, 5, 2, 0}));
    using R = std::vector<std::pair<std::wstring, int>>;
    EXPECT_EQ(Rows(), (R{{Key(30, 'F'), 1}, {Key(30, 'R'), 2}, {Key(31, 'F'), 1}, {Key(31, 'R'), 2},
                         {Key(32, 'F'), 0}}));
    OnUi([&] {
        EXPECT_EQ(dlg().m_nShownCategory, 0);
        EXPECT_EQ(dlg().m_listPlay.GetSelectedTitle(), Key(30, 'F'));
        EXPECT_FALSE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_bMP4Mode, 1);
        EXPECT_EQ(g_strCardDrive, root);
        EXPECT_EQ(dlg().m_strRootPath, root);
        EXPECT_GT(g_fCardCapacityGB, 0.0f);
        ASSERT_NE(g_pBlackBoxData, nullptr);
        EXPECT_EQ(FieldText(g_pBlackBoxData->szModel), "Q914");
    });
    Tab normal = TabState(&CTessalyDlg::m_btnListNormal);
    EXPECT_TRUE(normal.enabled && normal.visible && normal.marked);
    EXPECT_TRUE(TabState(&CTessalyDlg::m_btnListRecNormal).visible);
    EXPECT_FALSE(TabState(&CTessalyDlg::m_btnListParkMotion).visible);
    EXPECT_FALSE(TabState(&CTessalyDlg::m_btnListPosition).enabled);

    // The event list holds the DUALSAVE pair of this model.
    Command(ID_BTN_LIST_NORSHOCK);
    EXPECT_EQ(Rows(), (R{{Key(33, 'F'), 1}, {Key(33, 'R'), 2}, {Key(34, 'R'), 0}, {Key(40, 'F'), 1},
                         {Key(40, 'R'), 2}}));
    Command(ID_BTN_LIST_PARKING);
    EXPECT_EQ(Rows().size(), 5u);  // motion_rec and motion_timelapse_rec
    EXPECT_TRUE(TabState(&CTessalyDlg::m_btnListParking).marked);
    EXPECT_FALSE(TabState(&CTessalyDlg::m_btnListNormal).marked);
    Command(ID_BTN_LIST_MANUAL);
    EXPECT_EQ(Rows().size(), 2u);
    EXPECT_TRUE(TabState(&CTessalyDlg::m_btnListFileSize).visible);
    SaveShot("card_lists_q914.png");

    EXPECT_EQ(ReadRegistry(L"LANGUAGE"), L"english");
    std::wstring folder = ReadRegistry(L"DASHCAMPATH");
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_EQ(ReadRegistry(L"PLAYTYPE"), L"0");  // missing: dual, and "0" stored
    CloseDialog();
}

TEST_F(CardListsDialog, OlderCardsNoCardAndAParkingOnlyCard)
{
    UseCard("card-blackbox");
    StartDialog();
    EXPECT_EQ(MapSizes(), (std::vector<size_t>{5, 0, 0, 0, 0, 0}));
    OnUi([&] {
        ASSERT_NE(g_pBlackBoxData, nullptr);
        EXPECT_EQ(FieldText(g_pBlackBoxData->szSettingProgram), "SETTING\\R208_Setting.exe");
        EXPECT_FALSE(dlg().m_listPlay.GetLock());
    });
    EXPECT_FALSE(TabState(&CTessalyDlg::m_btnListParking).enabled);
    CloseDialog();
    RemoveCard();

    StartDialog();
    EXPECT_EQ(MapSizes(), (std::vector<size_t>{0, 0, 0, 0, 0, 0}));
    OnUi([&] {
        EXPECT_TRUE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_listPlay.GetItemCount(), 0);
        EXPECT_EQ(dlg().UpdateListTabs(), -1);
        EXPECT_EQ(g_pBlackBoxData, nullptr);
        EXPECT_TRUE(g_strCardDrive.empty());
    });
    EXPECT_FALSE(TabState(&CTessalyDlg::m_btnListNormal).enabled);
    SaveShot("card_lists_nocard.png");
    CloseDialog();

    // Only "parking_rec": 1252 is marked and the parking-shock list is shown.
    std::wstring root = UseCard("card");
    for (const char* folder : {"cont_rec", "evt_rec", "manual_rec", "motion_rec",
                               "motion_timelapse_rec", "DUALSAVE"})
        fs::remove_all(fs::path(TempDir()) / "card" / folder);
    StartDialog();
    EXPECT_EQ(MapSizes(), (std::vector<size_t>{0, 0, 0, 0, 2, 0}));
    OnUi([&] { EXPECT_EQ(dlg().m_nShownCategory, 4); });
    EXPECT_TRUE(TabState(&CTessalyDlg::m_btnListParking).marked);
    EXPECT_TRUE(TabState(&CTessalyDlg::m_btnListParkShock).visible);
    EXPECT_FALSE(TabState(&CTessalyDlg::m_btnListNormal).enabled);
    EXPECT_FALSE(TabState(&CTessalyDlg::m_btnListParkMotion).enabled);
    // Its tab while the other list is empty: the parking-shock list stays, not rebuilt.
    Command(ID_BTN_LIST_PARKING);
    OnUi([&] { EXPECT_EQ(dlg().m_nShownCategory, 4); });
    CloseDialog();
}

// The two other kinds of card: one carrying both settings files is read from its device
// record, and a drive with recordings but neither file is no camera's card.
TEST_F(CardListsDialog, BothSettingsFilesOrNeither)
{
    UseCard("card");
    cardtest::WriteFile(fs::path(TempDir()) / "card" / "setting" / "blackbox.cfg",
                        "[blackbox]\r\nversion=9.9\r\nmodel=R208\r\n");
    StartDialog();
    // The Q914's own record: its DUALSAVE pair is among the events.
    EXPECT_EQ(MapSizes(), (std::vector<size_t>{5, 5, 2, 5, 2, 0}));
    OnUi([&] {
        ASSERT_NE(g_pBlackBoxData, nullptr);
        EXPECT_EQ(FieldText(g_pBlackBoxData->szModel), "Q914");
        EXPECT_EQ(FieldText(g_pBlackBoxData->szSettingProgram), "SETTING/KvSetup.exe");
        EXPECT_FALSE(dlg().m_listPlay.GetLock());
    });
    CloseDialog();
    RemoveCard();
    fs::remove_all(fs::path(TempDir()) / "card");

    UseCard("card");
    fs::remove_all(fs::path(TempDir()) / "card" / "setting");
    StartDialog();
    EXPECT_EQ(MapSizes(), (std::vector<size_t>{0, 0, 0, 0, 0, 0}));
    OnUi([&] {
        EXPECT_EQ(g_pBlackBoxData, nullptr);
        EXPECT_TRUE(g_strCardDrive.empty());
        EXPECT_TRUE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_listPlay.GetItemCount(), 0);
    });
    EXPECT_FALSE(TabState(&CTessalyDlg::m_btnListNormal).enabled);
    CloseDialog();
}

TEST_F(CardListsDialog, CardOutAndInWhileRunning)
{
    std::wstring root = UseCard("card");
    StartDialog();
    OnUi([&] {
        dlg().OnSDCardOut();
        for (const RecFileMap& map : dlg().m_RecMaps)
            EXPECT_TRUE(map.empty());
        EXPECT_EQ(dlg().m_pShownMap, nullptr);
        EXPECT_EQ(dlg().m_pPlayingText, nullptr);
        EXPECT_TRUE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_listPlay.GetItemCount(), 0);
        EXPECT_TRUE(g_strCardDrive.empty());
        EXPECT_EQ(g_fCardCapacityGB, 0.0f);
        EXPECT_EQ(g_pBlackBoxData, nullptr);
    });
    // Another card, smaller than 1000 MB or not, gets its own capacity and lists.
    RemoveCard();
    std::wstring other = UseCard("card-blackbox");
    OnUi([&] {
        ASSERT_TRUE(dlg().FindSDCard());
        dlg().OnSDCardIn();
        EXPECT_EQ(g_strCardDrive, other);
        EXPECT_EQ(dlg().m_RecMaps[0].size(), 5u);
        EXPECT_EQ(dlg().m_RecMaps[1].size(), 0u);
        EXPECT_FALSE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_listPlay.GetItemCount(), 5);
    });
    CloseDialog();
}

TEST_F(CardListsDialog, DeleteAsksFirstAndUnpairsThePartner)
{
    std::wstring root = UseCard("card");
    fs::path cont = fs::path(TempDir()) / "card" / "cont_rec";
    StartDialog();
    pt::ClearShownMessageBoxes();
    // The front file of the 08:30 pair is selected; the answer is Cancel: nothing changes.
    pt::AnswerMessageBoxes({IDCANCEL});
    Command(ID_BOX_LIST_DELETE);
    ASSERT_EQ(pt::ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(pt::ShownMessageBoxes()[0].text, L"Delete\n\n" + Key(30, 'F'));
    EXPECT_TRUE(fs::exists(cont / "REC_2026_05_14_08_30_00_F.mp4"));
    EXPECT_EQ(Rows().size(), 5u);

    pt::AnswerMessageBoxes({IDOK});
    Command(ID_BOX_LIST_DELETE);
    EXPECT_FALSE(fs::exists(cont / "REC_2026_05_14_08_30_00_F.mp4"));
    EXPECT_TRUE(fs::exists(cont / "REC_2026_05_14_08_30_00_R.mp4"));
    using R = std::vector<std::pair<std::wstring, int>>;
    EXPECT_EQ(Rows(), (R{{Key(30, 'R'), 0}, {Key(31, 'F'), 1}, {Key(31, 'R'), 2}, {Key(32, 'F'), 0}}));

    // The last entry, a front without partner at the end of the map.
    OnUi([&] { dlg().m_listPlay.SetSelectedItem(Key(32, 'F')); });
    pt::AnswerMessageBoxes({IDOK});
    Command(ID_BOX_LIST_DELETE);
    EXPECT_EQ(Rows(), (R{{Key(30, 'R'), 0}, {Key(31, 'F'), 1}, {Key(31, 'R'), 2}}));

    // In the map-area list only the entry goes, without a question.
    pt::ClearShownMessageBoxes();
    OnUi([&] {
        dlg().m_RecMaps[CATEGORY_AREA][Key(31, 'F')] = dlg().m_RecMaps[0].at(Key(31, 'F'));
        dlg().UpdateListTabs();
    });
    Command(ID_BTN_LIST_POSITION);
    Command(ID_BOX_LIST_DELETE);
    EXPECT_TRUE(pt::ShownMessageBoxes().empty());
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(fs::exists(cont / "REC_2026_05_14_08_31_00_F.mp4"));
    CloseDialog();
}

TEST_F(CardListsDialog, AddedFilesFindTheirListWithoutACard)
{
    std::wstring root = UseCard("card");
    StartDialog();
    OnUi([&] { dlg().OnSDCardOut(); });
    RemoveCard();
    // A recording from a folder of any other name goes to the continuous list.
    fs::path folder = fs::path(TempDir()) / "drops";
    fs::create_directories(folder / "motion_timelapse_rec");
    fs::copy(fs::path(TempDir()) / "card" / "motion_timelapse_rec" / "REC_2026_05_14_08_38_00_F.mp4",
             folder / "motion_timelapse_rec" / "REC_2026_05_14_08_38_00_F.Mp4");
    fs::copy(fs::path(TempDir()) / "card" / "motion_timelapse_rec" / "REC_2026_05_14_08_38_00_R.mp4",
             folder / "motion_timelapse_rec" / "REC_2026_05_14_08_38_00_R.mp4");
    std::wstring path = platform::ToWindowsPath(
        (folder / "motion_timelapse_rec" / "REC_2026_05_14_08_38_00_F.Mp4").string());
    OnUi([&] {
        dlg().AddRecordingFile(path + L".txt");  // not a recording: ignored
        EXPECT_TRUE(dlg().m_listPlay.GetLock());
        dlg().AddRecordingFile(path);
        EXPECT_EQ(dlg().m_RecMaps[CATEGORY_MOTION].size(), 2u);  // the pair
        EXPECT_EQ(dlg().m_nShownCategory, int(CATEGORY_MOTION));
        EXPECT_FALSE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_bMP4Mode, 1);  // ".Mp4" is an MP4 recording
        EXPECT_EQ(dlg().m_bPlayTypeLocked, 0);
        const RecFileInfo& entry = dlg().m_RecMaps[CATEGORY_MOTION].at(L"REC_2026_05_14_08_38_00_F");
        EXPECT_FALSE(entry.m_TextData.m_GSensorList.empty());  // extracted at once
    });
    EXPECT_TRUE(TabState(&CTessalyDlg::m_btnListParking).marked);
    CloseDialog();
}

TEST_F(CardListsDialog, PlayTypeSurvivesARestart)
{
    ASSERT_TRUE(CTessalyDlg::RegWriteString(HKEY_LOCAL_MACHINE, kKey, L"PLAYTYPE", L"1"));
    UseCard("card");
    StartDialog();
    OnUi([&] { EXPECT_EQ(dlg().m_bSinglePlay, 1); });
    // The user switches to front and rear from the Setting menu.
    OnUi([&] { dlg().SendMessage(WM_COMMAND, 1047, 0); });
    OnUi([&] { EXPECT_EQ(dlg().m_bSinglePlay, 0); });
    CloseDialog();
    StartDialog();
    OnUi([&] { EXPECT_EQ(dlg().m_bSinglePlay, 0); });
    EXPECT_EQ(ReadRegistry(L"PLAYTYPE"), L"0");
    CloseDialog();
}

TEST_F(CardListsDialog, EachSubTabShowsItsOwnListUnderTheMarkedTab)
{
    UseCard("card");
    StartDialog();
    using R = std::vector<std::pair<std::wstring, int>>;
    const R continuous = {{Key(30, 'F'), 1}, {Key(30, 'R'), 2}, {Key(31, 'F'), 1},
                          {Key(31, 'R'), 2}, {Key(32, 'F'), 0}};
    const R event = {{Key(33, 'F'), 1}, {Key(33, 'R'), 2}, {Key(34, 'R'), 0}, {Key(40, 'F'), 1},
                     {Key(40, 'R'), 2}};
    const R motion = {{Key(36, 'F'), 1}, {Key(36, 'R'), 2}, {Key(37, 'F'), 0}, {Key(38, 'F'), 1},
                      {Key(38, 'R'), 2}};
    const R parking = {{Key(39, 'F'), 1}, {Key(39, 'R'), 2}};
    CRButton CTessalyDlg::*const normalTab = &CTessalyDlg::m_btnListNormal;
    CRButton CTessalyDlg::*const parkingTab = &CTessalyDlg::m_btnListParking;
    // Clicked in turn with the mouse: the list, the main tab that stays marked, and the pair
    // of sub-tabs that stays shown.
    const struct {
        CRButton CTessalyDlg::*click;
        const R* rows;
        CRButton CTessalyDlg::*marked;
        CRButton CTessalyDlg::*pair;  // one of the shown sub-tabs
        CRButton CTessalyDlg::*hidden;  // one of the hidden ones
    } clicks[] = {
        {parkingTab, &motion, parkingTab, &CTessalyDlg::m_btnListParkShock, &CTessalyDlg::m_btnListRecNormal},
        {&CTessalyDlg::m_btnListParkShock, &parking, parkingTab, &CTessalyDlg::m_btnListParkMotion,
         &CTessalyDlg::m_btnListNorShock},
        {&CTessalyDlg::m_btnListParkMotion, &motion, parkingTab, &CTessalyDlg::m_btnListParkShock,
         &CTessalyDlg::m_btnListRecNormal},
        {&CTessalyDlg::m_btnListParkShock, &parking, parkingTab, &CTessalyDlg::m_btnListParkMotion,
         &CTessalyDlg::m_btnListFileSize},
        {normalTab, &continuous, normalTab, &CTessalyDlg::m_btnListNorShock, &CTessalyDlg::m_btnListParkShock},
        {&CTessalyDlg::m_btnListNorShock, &event, normalTab, &CTessalyDlg::m_btnListRecNormal,
         &CTessalyDlg::m_btnListParkMotion},
        {&CTessalyDlg::m_btnListRecNormal, &continuous, normalTab, &CTessalyDlg::m_btnListNorShock,
         &CTessalyDlg::m_btnListFileName},
    };
    int step = 0;
    for (const auto& c : clicks) {
        SCOPED_TRACE(step++);
        Click(c.click);
        EXPECT_TRUE(WaitUntil([&] { return Rows() == *c.rows; }, 20000)) << Rows().size();
        const Tab marked = TabState(c.marked);
        EXPECT_TRUE(marked.marked && marked.visible);
        EXPECT_FALSE(TabState(c.marked == normalTab ? parkingTab : normalTab).marked);
        EXPECT_TRUE(TabState(c.pair).visible);
        EXPECT_FALSE(TabState(c.hidden).visible);
    }
    SaveShot("card_lists_subtabs.png");

    // While a recording plays: another list pauses it, and the now-playing mark follows its
    // title back into its own list; the list already shown changes nothing.
    OnUi([&] { dlg().m_listPlay.SetSelectedItem(Key(31, 'F')); });
    Command(ID_BTN_PLAY_FORCE);
    ASSERT_EQ(State(), STATE_PLAY);
    Click(&CTessalyDlg::m_btnListRecNormal);
    EXPECT_EQ(State(), STATE_PLAY);
    Click(&CTessalyDlg::m_btnListNorShock);
    EXPECT_TRUE(WaitUntil([&] { return Rows() == event; }, 20000));
    EXPECT_EQ(State(), STATE_PAUSE);
    OnUi([&] { EXPECT_EQ(dlg().m_listPlay.GetPlayingIndex(), -1); });
    Click(&CTessalyDlg::m_btnListRecNormal);
    EXPECT_TRUE(WaitUntil([&] { return Rows() == continuous; }, 20000));
    OnUi([&] { EXPECT_EQ(dlg().m_listPlay.GetPlayingIndex(), 2); });
    EXPECT_EQ(State(), STATE_PAUSE);
}

}  // namespace

namespace {

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif
#else
constexpr bool kThreadSanitizer = false;
#endif

class CardPulled : public CardListsDialog {
protected:
    int StateNow()
    {
        int state = STATE_STOP;
        OnUi([&] { state = dlg().m_VideoMgr.GetState(); });
        return state;
    }
    // Waits (at most 20 s: sanitised builds open slowly) until the player holds a recording.
    bool WaitPlaying()
    {
        for (int i = 0; i < 200; ++i) {
            bool playing = false;
            OnUi([&] { playing = dlg().m_VideoMgr.GetState() != STATE_STOP; });
            if (playing)
                return true;
            Pump(100);
        }
        return false;
    }
};

// The card's folder goes away under the running viewer while a recording plays and the parsing
// thread reads the card: the layer sees the drive go, and the card check closes the card.
TEST_F(CardPulled, WhilePlayingAndParsing)
{
    std::wstring root = UseCard("card");
    StartDialog();
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_PLAY, 0); });
    if (!WaitPlaying() && kThreadSanitizer)
        GTEST_SKIP() << "no recording opens within 20 s in the ThreadSanitizer build";
    ASSERT_NE(StateNow(), STATE_STOP);
    // A user answers whatever the player says of the files that went with the card.
    pt::AnswerMessageBoxes({});
    std::error_code ignored;
    fs::remove_all(fs::path(TempDir()) / "card", ignored);
    // The layer notices the drive gone; the card is closed as a vanished card is, with the
    // player and the parsing thread still on it.
    EXPECT_TRUE(WaitUntil([] { return g_strCardDrive.empty(); }, 20000))
        << "the card check never closed the vanished card";
    OnUi([&] {
        EXPECT_TRUE(g_strCardDrive.empty());
        EXPECT_EQ(g_pBlackBoxData, nullptr);
        EXPECT_EQ(dlg().m_VideoMgr.GetState(), STATE_STOP);
        EXPECT_EQ(dlg().m_pPlayingText, nullptr);
        for (const RecFileMap& map : dlg().m_RecMaps)
            EXPECT_TRUE(map.empty());
        EXPECT_TRUE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_listPlay.GetItemCount(), 0);
    });
    EXPECT_EQ(ReadRegistry(L"LANGUAGE"), L"english");
    SaveShot("card_pulled.png");
    CloseDialog();
}

TEST_F(CardPulled, DeletingThePlayingRecordingStopsItFirst)
{
    std::wstring root = UseCard("card");
    fs::path file = fs::path(TempDir()) / "card" / "cont_rec" / "REC_2026_05_14_08_30_00_R.mp4";
    StartDialog();
    OnUi([&] { dlg().m_listPlay.SetSelectedItem(Key(30, 'F')); });
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_PLAY, 0); });
    if (!WaitPlaying() && kThreadSanitizer)
        GTEST_SKIP() << "no recording opens within 20 s in the ThreadSanitizer build";
    ASSERT_NE(StateNow(), STATE_STOP);
    OnUi([&] {
        EXPECT_EQ(dlg().m_listPlay.GetPlayingTitle(), Key(30, 'F'));
        // The rear row of the pair that plays.
        dlg().m_listPlay.SetSelectedItem(Key(30, 'R'));
    });
    pt::AnswerMessageBoxes({IDOK});
    Command(ID_BOX_LIST_DELETE);
    EXPECT_FALSE(fs::exists(file));
    OnUi([&] {
        EXPECT_EQ(dlg().m_VideoMgr.GetState(), STATE_STOP);
        EXPECT_EQ(dlg().m_pPlayingText, nullptr);
        EXPECT_EQ(dlg().m_RecMaps[0].at(Key(30, 'F')).m_nChannel, 0);
    });
    CloseDialog();
}

// The delete question keeps the dialog running under it: the card check that falls due while
// it is up may close the card, or open it anew when it was put back. The answer then deletes
// nothing, since the lists the user was asked from are gone.
TEST_F(CardPulled, TheCardGoingWhileTheDeleteQuestionIsUpDeletesNothing)
{
    const struct {
        const char* what;
        bool putBack;
        int rowsAfter;
    } cases[] = {{"card pulled", false, 0}, {"card put back", true, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring root = UseCard("card");
        const fs::path card = fs::path(TempDir()) / "card";
        const fs::path file = card / "cont_rec" / "REC_2026_05_14_08_30_00_F.mp4";
        StartDialog();
        OnUi([&] { EXPECT_EQ(dlg().m_listPlay.GetSelectedTitle(), Key(30, 'F')); });
        RemoveCard();
        std::wstring again;
        if (c.putBack)
            again = pt::AddRemovableDrive(card.string());
        ASSERT_TRUE(WaitUntil([&] { return dlg().m_bCardCheckPending != FALSE; }, 20000));
        pt::ClearShownMessageBoxes();
        pt::AnswerMessageBoxes({IDOK});
        OnUi([&] {
            // The settling time ends while the question is up: its timer message is handled
            // by the question's own loop before the answer.
            dlg().PostMessage(WM_TIMER, IDT_CARD_CHECK, 0);
            dlg().SendMessage(WM_COMMAND, ID_BOX_LIST_DELETE, 0);
        });
        ASSERT_EQ(pt::ShownMessageBoxes().size(), 1u);
        EXPECT_TRUE(fs::exists(file));
        EXPECT_EQ(int(Rows().size()), c.rowsAfter);
        OnUi([&] {
            EXPECT_FALSE(dlg().m_bCardCheckPending);
            EXPECT_EQ(g_strCardDrive, again);
        });
        CloseDialog();
        if (c.putBack)
            pt::RemoveRemovableDrive(again);
        fs::remove_all(card);
    }
}

}  // namespace

namespace {

// An AVI camera's card that carries a device record: its recordings are no MP4 pairs.
TEST_F(CardListsDialog, AnAviCardWithADeviceRecordStaysOutOfTheMp4Mode)
{
    fs::create_directories(fs::path(TempDir()) / "avi");
    UseCard("avi/card");
    fs::copy(fs::path(apptest::FixturesDir()) / "card" / "setting",
             fs::path(TempDir()) / "avi" / "card" / "setting", fs::copy_options::recursive);
    StartDialog();
    OnUi([&] {
        ASSERT_NE(g_pBlackBoxData, nullptr);
        EXPECT_EQ(dlg().m_RecMaps[CATEGORY_CONTINUOUS].size(), 3u);
        EXPECT_EQ(dlg().m_bMP4Mode, 0);
        EXPECT_EQ(dlg().m_bPlayTypeLocked, 1);
    });
    CloseDialog();
}

}  // namespace
