// The main dialog's map on mkcard's cards: which map page it loads for the card at start and
// when cards come and go, and the map search over the track of the recording played.
#include <algorithm>
#include <filesystem>

#include "DialogFixture.h"
#include "playback/WebForm.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"


namespace {

// A card whose device record carries the Local ID 45, written by mkcard into the build tree.
const std::string kChinaCard = std::string(KV_APP_FIXTURE_DIR) + "/card-local45";

class MapDialog : public apptest::DialogFixture {
protected:
    // The file name of the page the map shows ("mapView.htm").
    std::wstring PageName()
    {
        std::wstring url;
        OnUi([&] {
            IWebBrowser2* browser = dlg().m_pWebForm ? dlg().m_pWebForm->GetBrowser() : nullptr;
            BSTR location = nullptr;
            if (browser && SUCCEEDED(browser->get_LocationURL(&location)) && location) {
                url = location;
                SysFreeString(location);
            }
        });
        const size_t slash = url.find_last_of(L"\\/");
        return slash == std::wstring::npos ? url : url.substr(slash + 1);
    }
    void Command(UINT id)
    {
        OnUi([&] { dlg().SendMessage(WM_COMMAND, id, 0); });
    }
};

TEST_F(MapDialog, TheCardAtStartChoosesTheMapPage)
{
    const struct {
        std::string card;  // empty: no card
        const wchar_t* page;
    } cases[] = {
        {"", L"mapView.htm"},
        {"card", L"mapView.htm"},
        {kChinaCard, L"mapView_baidu.htm"},
        {"card-blackbox", L"mapView.htm"},  // an older card has no device record
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.card);
        if (!c.card.empty())
            UseCard(c.card);
        StartDialog();
        EXPECT_EQ(PageName(), c.page);
        CloseDialog();
        RemoveCard();
    }
}

TEST_F(MapDialog, TheMapPageFollowsTheCardsThatComeAndGo)
{
    StartDialog();
    ASSERT_EQ(PageName(), L"mapView.htm");
    // Each step changes the card in the drive (taking out the one there first), which the
    // system announces; the page is the new card's once the check has run.
    const struct {
        std::string card;  // empty: none
        const wchar_t* page;
    } steps[] = {
        {kChinaCard, L"mapView_baidu.htm"},
        {"", L"mapView.htm"},
        {"card", L"mapView.htm"},
        {kChinaCard, L"mapView_baidu.htm"},  // swapped within the drive's settling time
        {"card", L"mapView.htm"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.card);
        RemoveCard();
        if (!s.card.empty())
            UseCard(s.card);
        ASSERT_TRUE(WaitUntil([&] { return dlg().m_bCardCheckPending != FALSE; }, 20000))
            << "no notice reached the dialog";
        ASSERT_TRUE(WaitUntil([&] { return !dlg().m_bCardCheckPending; }, 10000));
        EXPECT_EQ(PageName(), s.page);
    }
}

TEST_F(MapDialog, ASearchOverThePlayedTrackListsTheRecordingsInTheArea)
{
    UseCard("card");
    apptest::pt::AnswerMessageBoxes({});
    StartDialog();
    // The search reads every recording's telemetry: the parsing thread has gone through them.
    ASSERT_TRUE(WaitUntil([&] { return dlg().m_bParseDone == 1; }, 60000));
    // The rear view folded away, so that the map and its search button show; the first
    // recording of the card played, which draws its track and fits the page to it.
    Command(ID_BTN_FOLDN);
    const std::wstring played = L"REC_2026_05_14_08_30_00_F";
    OnUi([&] { dlg().m_listPlay.SetSelectedItem(played); });
    Command(ID_BTN_PLAY_FORCE);
    bool drawn = false;
    OnUi([&] { drawn = dlg().m_bTrackDrawn == 1; });
    ASSERT_TRUE(drawn);
    Pump(300);
    SaveShot("map_dialog_track.png");

    apptest::pt::ClearShownMessageBoxes();
    apptest::pt::AnswerMessageBoxes({IDOK});
    Command(ID_BTN_MAPSEARCH);

    std::vector<std::wstring> found, rows;
    int shown = -1, state = -1;
    bool positionEnabled = false, positionMarked = false, normalMarked = true,
         fileSizeVisible = false;
    OnUi([&] {
        for (const auto& entry : dlg().m_RecMaps[CATEGORY_AREA])
            found.push_back(entry.first);
        for (int i = 0; i < dlg().m_listPlay.GetItemCount(); ++i)
            rows.push_back(dlg().m_listPlay.GetItem(i).title);
        shown = dlg().m_nShownCategory;
        state = dlg().m_VideoMgr.GetState();
        positionEnabled = dlg().m_btnListPosition.IsWindowEnabled();
        positionMarked = dlg().m_btnListPosition.GetCheck();
        normalMarked = dlg().m_btnListNormal.GetCheck();
        fileSizeVisible = dlg().m_btnListFileSize.IsWindowVisible();
    });
    // The played recording and its rear partner lie on the track; recordings two minutes or
    // more further along the drive lie outside it.
    ASSERT_GE(found.size(), 2u);
    EXPECT_NE(std::find(found.begin(), found.end(), played), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), L"REC_2026_05_14_08_30_00_R"), found.end());
    for (const wchar_t* far : {L"REC_2026_05_14_08_32_00_F", L"REC_2026_05_14_08_39_00_F"})
        EXPECT_EQ(std::find(found.begin(), found.end(), far), found.end()) << far;
    const auto boxes = apptest::pt::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FormatText(GetLangText(L"IDS_STRING_K_079").c_str(), int(found.size())));
    EXPECT_EQ(boxes[0].text, std::to_wstring(found.size()) + L" video file(s) found.");
    EXPECT_EQ(boxes[0].caption, GetLangText(L"IDS_STRING_K_062"));
    // The location list is shown with what was found, its tab marked, the others not.
    EXPECT_EQ(shown, CATEGORY_AREA);
    EXPECT_EQ(rows, found);
    EXPECT_TRUE(positionEnabled);
    EXPECT_TRUE(positionMarked);
    EXPECT_FALSE(normalMarked);
    EXPECT_TRUE(fileSizeVisible);
    // The search paused the recording.
    EXPECT_EQ(state, STATE_PAUSE);
    SaveShot("map_dialog_search.png");
}

}  // namespace
