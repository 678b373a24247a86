// The playback commands, the play progress and the map calls of the real dialog on an mkcard
// card: playing from the list and the buttons, the transport, speeds and volume, the displays
// against the recording's own telemetry, and the mended faults.
#include "DialogFixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/MapScript.h"
#include "app/PlayProgress.h"
#include "playback/FileAnalysis.h"
#include "playback/WebForm.h"
#include "ui/ControlMessages.h"

namespace fs = std::filesystem;

namespace {

// A map page that keeps every call it gets, one a line, in its form field.
const char kRecordingPage[] = R"PAGE(<html><body><form><input name="calls" value=""></form><script>
var calls = [];
function log(s) { calls.push(s); document.forms[0].elements[0].value = calls.join('\n'); }
function initialize() { log('initialize()'); }
function removePolyLine() { log('removePolyLine()'); }
function removePoint() { log('removePoint()'); }
function MapMoveToAuto(a, b, c) { log("MapMoveToAuto('" + a + "','" + b + "'," + c + ")"); }
function addPolyLine(t, c, w, a) { log("addPolyLine('" + t + "',\"" + c + "\"," + w + "," + a + ")"); }
function fnGetExtentWGS84() { document.forms[0].elements[0].value = window.extent || ''; }
</script></body></html>)PAGE";

class PlayTest : public apptest::DialogFixture {
protected:
    // The dialog on the card, its settings written into the test's folder. A test that lets
    // the player run for a while in real time takes the card of long recordings ("card-long",
    // 20 s each), so that no recording ends, and continuous play moves the list on, before
    // the test has looked.
    void StartOnCard(const std::string& card = "card")
    {
        m_root = UseCard(card);
        // A box the engine or the dialog shows is answered, never waited on.
        apptest::pt::AnswerMessageBoxes({});
        StartDialog();
        const fs::path settings = fs::path(TempDir()) / "program";
        fs::create_directories(settings);
        OnUi([&] {
            dlg().m_strAppFolder = platform::ToWindowsPath(settings.string()) + L"\\";
            ASSERT_TRUE(dlg().m_listPlay.m_hWnd);
            ListCard();
            ASSERT_GE(dlg().m_listPlay.GetItemCount(), 3);
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
        const wchar_t* folders[] = {L"cont_rec", L"evt_rec", L"manual_rec", L"motion_rec",
                                    L"parking_rec"};
        CFileAnalysis* analysis = CFileAnalysis::GetInstance();
        for (int i = 0; i < 5; ++i) {
            d.m_RecMaps[i].clear();
            analysis->ScanFolder(m_root + folders[i], d.m_RecMaps[i]);
        }
        CFileAnalysis::ReleaseInstance();
        d.m_pShownMap = &d.m_RecMaps[CATEGORY_CONTINUOUS];
        d.m_listPlay.SetLock(FALSE);
        d.m_listPlay.DeleteAllItems();
        for (const auto& [key, info] : *d.m_pShownMap)
            d.m_listPlay.AddItem(key, 0, info.m_strPath, info.m_nSize, info.m_nChannel);
        d.m_listPlay.UpdateScroll();
        d.m_listPlay.SetSelectedItem(d.m_pShownMap->begin()->first);
        d.m_listPlay.Invalidate(FALSE);
    }

    // Replaces the map page by one that records the calls, and forgets the calls so far.
    void RecordMapCalls()
    {
        const fs::path page = fs::path(TempDir()) / "calls.htm";
        std::ofstream(page) << kRecordingPage;
        OnUi([&] {
            ASSERT_NE(dlg().m_pWebForm, nullptr);
            dlg().m_pWebForm->Navigate(platform::ToWindowsPath(page.string()).c_str());
        });
        Pump(100);
    }
    std::wstring MapCalls()
    {
        std::wstring calls;
        OnUi([&] { calls = dlg().m_pWebForm->RunScriptAndReadValue("void 0"); });
        return calls;
    }
    void ClearMapCalls()
    {
        OnUi([&] {
            dlg().m_pWebForm->ExecScript("calls = []; document.forms[0].elements[0].value = '';");
        });
    }

    std::wstring Title(int index)
    {
        std::wstring title;
        OnUi([&] {
            if (index < dlg().m_listPlay.GetItemCount())
                title = dlg().m_listPlay.GetItem(index).title;
        });
        return title;
    }

    std::wstring m_root;
    void Command(UINT id)
    {
        OnUi([&] { dlg().SendMessage(WM_COMMAND, id, 0); });
    }
    void Slider(WPARAM id, LPARAM value)
    {
        OnUi([&] { dlg().SendMessage(WM_SLIDER_CHANGED, id, value); });
    }
    int State()
    {
        int state = -1;
        OnUi([&] { state = dlg().m_VideoMgr.GetState(); });
        return state;
    }
    // Opens the row's recording as a double click does, and pauses it at the percent given.
    void OpenPaused(const std::wstring& title, int percent)
    {
        OnUi([&] { dlg().m_listPlay.SetSelectedItem(title); });
        Command(ID_BTN_PLAY_FORCE);
        ASSERT_EQ(State(), STATE_PLAY);
        Slider(1200, percent);
        ASSERT_EQ(State(), STATE_PAUSE);
    }
    // Pixels of the window that show the sample rear picture's orange sky. Any thread.
    static size_t RearSkyPixels(HWND sub)
    {
        std::vector<uint32_t> pixels;
        SIZE size = {};
        if (!apptest::pt::ReadWindowPixels(sub, &pixels, &size))
            return 0;
        return size_t(std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) {
            const int r = (p >> 16) & 0xFF, b = p & 0xFF;
            return r > 150 && b < 120;
        }));
    }
    static std::wstring Text(CWnd& label)
    {
        wchar_t buffer[256] = {};
        ::GetWindowTextW(label.m_hWnd, buffer, 256);
        return buffer;
    }
};

TEST_F(PlayTest, PlaysFromTheListAndFollowsTheTransport)
{
    StartOnCard("card-long");
    const std::wstring first = Title(0);
    // A double click on the first row opens it.
    RECT row = {};
    int rowHeight = 0;
    OnUi([&] {
        dlg().m_listPlay.GetWindowRect(&row);
        rowHeight = dlg().m_listPlay.GetRowHeight();
    });
    const int x = row.left + 40, y = row.top + rowHeight / 2;
    apptest::pt::InjectClick(x, y);
    apptest::pt::InjectClick(x, y);
    WaitUntil([&] { return dlg().m_VideoMgr.GetState() == STATE_PLAY; }, 20000);
    ASSERT_EQ(State(), STATE_PLAY);
    OnUi([&] {
        CTessalyDlg& d = dlg();
        EXPECT_EQ(d.m_strPlayingTitle, first);
        EXPECT_EQ(d.m_listPlay.GetPlayingTitle(), first);
        EXPECT_EQ(d.m_lblTitle1.GetText(), first);
        EXPECT_NE(d.m_pPlayingText, nullptr);
        EXPECT_TRUE(d.m_btnPause.IsWindowVisible());
        EXPECT_FALSE(d.m_btnPlay.IsWindowVisible());
        EXPECT_TRUE(d.m_sliderSeek.IsWindowEnabled());
        EXPECT_TRUE(d.m_btnSize.IsWindowEnabled());
        EXPECT_FALSE(d.m_btnScrSetting.IsWindowEnabled());  // MP4
        // The full-screen bar's twins say the same.
        CFullScrControlBox& bar = d.m_wndVideoMain.GetControlBox();
        EXPECT_TRUE(bar.GetButton(ID_BTN_SIZE)->IsWindowEnabled());
        EXPECT_FALSE(bar.GetButton(ID_BTN_SETTING)->IsWindowEnabled());
    });

    Command(ID_BTN_PAUSE);
    EXPECT_EQ(State(), STATE_PAUSE);
    OnUi([&] {
        EXPECT_FALSE(dlg().m_btnPause.IsWindowVisible());
        EXPECT_TRUE(dlg().m_btnPlay.IsWindowVisible());
    });
    // Play while paused resumes the same recording.
    Command(ID_BTN_PLAY);
    EXPECT_EQ(State(), STATE_PLAY);
    OnUi([&] { EXPECT_EQ(dlg().m_strPlayingTitle, first); });

    // The rear picture plays in the rear-view window; after the stop the window shows its
    // placeholder again, not the last picture.
    HWND sub = nullptr;
    OnUi([&] { sub = dlg().m_wndVideoSub.m_hWnd; });
    EXPECT_TRUE(WaitUntil([&] { return RearSkyPixels(sub) > 100; }));
    Command(ID_BTN_STOP);
    EXPECT_EQ(State(), STATE_STOP);
    EXPECT_TRUE(WaitUntil([&] { return RearSkyPixels(sub) == 0; }, 20000)) << RearSkyPixels(sub);
    OnUi([&] {
        CTessalyDlg& d = dlg();
        EXPECT_EQ(d.m_pPlayingText, nullptr);
        EXPECT_TRUE(d.m_strPlayingTitle.empty());
        EXPECT_EQ(d.m_lblTitle1.GetText(), L"Video not found.");
        EXPECT_EQ(d.m_lblGX.GetText(), L"X : 0000");
        EXPECT_EQ(d.m_numSpeed.GetNumber(), -1);
        EXPECT_FALSE(d.m_sliderSeek.IsWindowEnabled());
        EXPECT_FALSE(d.m_btnSize.IsWindowEnabled());
        EXPECT_FALSE(d.m_wndVideoMain.GetControlBox().GetButton(ID_BTN_SIZE)->IsWindowEnabled());
        EXPECT_EQ(Text(d.m_lblPlayTime), L"00:00:00 /");
        EXPECT_TRUE(d.m_listPlay.GetPlayingTitle().empty());
    });
    // Previous and next while stopped do nothing.
    Command(ID_BTN_NEXT);
    EXPECT_EQ(State(), STATE_STOP);
}

TEST_F(PlayTest, ProgressShowsTheRecordingsOwnTelemetry)
{
    StartOnCard("card-long");
    RecordMapCalls();
    const std::wstring first = Title(0);
    OpenPaused(first, 50);
    OnUi([&] {
        CTessalyDlg& d = dlg();
        const int pos = d.m_VideoMgr.GetPosition();
        const int dur = d.m_VideoMgr.GetDuration();
        ASSERT_GT(dur, 0);
        const CTextData& text = *d.m_pPlayingText;
        ASSERT_FALSE(text.m_GSensorList.empty());
        ASSERT_FALSE(text.m_GPSList.empty());
        EXPECT_EQ(Text(d.m_lblPlayTime), PlayTimeText(pos));
        EXPECT_EQ(Text(d.m_lblTotalTime), TotalTimeText(dur));
        auto g = text.m_GSensorList.begin();
        std::advance(g, GSensorSampleIndex(text.m_GSensorList.size(), pos, dur));
        EXPECT_EQ(d.m_lblGX.GetText(), GSensorLabelText(L'X', g->m_nX));
        EXPECT_EQ(d.m_lblGY.GetText(), GSensorLabelText(L'Y', g->m_nY));
        EXPECT_EQ(d.m_lblGZ.GetText(), GSensorLabelText(L'Z', g->m_nZ));
        const CGPSData* fix = PickGpsFix(text.m_GPSList, pos, dur);
        ASSERT_NE(fix, nullptr);
        EXPECT_EQ(d.m_numSpeed.GetNumber(), SpeedNumber(fix->m_dSpeed, FALSE));
        EXPECT_FLOAT_EQ(d.m_sliderSpeed.GetPos(), SpeedGauge(fix->m_dSpeed));
        const std::wstring move = MapMoveToScript(ToDecimalDegrees(fix->m_dLongitude),
                                                  ToDecimalDegrees(fix->m_dLatitude));
        EXPECT_NE(MapCalls().find(move), std::wstring::npos) << MapCalls();
    });
    // The track of the recording went to the page when it opened.
    EXPECT_NE(MapCalls().find(L"addPolyLine('126.98"), std::wstring::npos) << MapCalls();

    // Playing on, timer 101 moves the displays every whole second.
    Command(ID_BTN_PLAY);
    int before = 0;
    OnUi([&] { before = dlg().m_nShownPosition; });
    WaitUntil([&] { return dlg().m_nShownPosition > before; }, 20000);
    OnUi([&] {
        CTessalyDlg& d = dlg();
        EXPECT_GT(d.m_nShownPosition, before);
        const int dur = d.m_VideoMgr.GetDuration();
        EXPECT_FLOAT_EQ(d.m_sliderSeek.GetPos(), float(d.m_nShownPosition) / float(dur) * 100.0f);
    });
}

TEST_F(PlayTest, TheTrackExampleAndAFirstPlayCentresTheMapOnce)
{
    StartOnCard();
    RecordMapCalls();
    const std::wstring first = Title(0);
    OnUi([&] {
        dlg().StopFileParsing();  // the entry is changed here, not by the parsing thread
        RecFileInfo& entry = dlg().m_pShownMap->at(first);
        entry.m_TextData = CTextData();
        for (const auto& [lat, lon] : {std::pair{3723.4500, 12209.0000},
                                       std::pair{3723.4500, 12209.0000},
                                       std::pair{3723.4600, 12209.0100}}) {
            CGPSData fix;
            fix.m_dLatitude = lat;
            fix.m_dLongitude = lon;
            fix.m_bValid = TRUE;
            entry.m_TextData.m_GPSList.push_back(fix);
        }
        entry.m_bTextParsed = TRUE;
        dlg().m_listPlay.SetSelectedItem(first);
    });
    Command(ID_BTN_PLAY_FORCE);
    const std::wstring calls = MapCalls();
    EXPECT_NE(calls.find(L"addPolyLine('122.150000,37.390833|122.150167,37.391000',\"red\",4,0.5)"),
              std::wstring::npos)
        << calls;
    OnUi([&] {
        EXPECT_EQ(dlg().m_bTrackDrawn, 1);
        EXPECT_EQ(dlg().m_bMapCentred, 1);
    });
    // The reset before the track: initialize, removePolyLine, removePoint, the origin.
    EXPECT_NE(calls.find(L"initialize()\nremovePolyLine()\nremovePoint()\nMapMoveToAuto('0','0',-1)\n"
                         L"addPolyLine"),
              std::wstring::npos)
        << calls;
}

TEST_F(PlayTest, SpeedsVolumeAndTheRateIndexOutsideTheTable)
{
    StartOnCard();
    OpenPaused(Title(0), 0);
    const float rates[] = {0.2f, 0.5f, 0.7f, 1.0f, 2.0f, 3.0f, 4.0f};
    for (int i = 0; i < 7; ++i) {
        Slider(1202, i);
        OnUi([&] { EXPECT_FLOAT_EQ(dlg().m_VideoMgr.GetVideoSpeed(), rates[i]); });
    }
    // An index the table lacks changes nothing (and reads nothing beyond the table).
    Slider(1202, 7);
    Slider(1202, -1);
    OnUi([&] { EXPECT_FLOAT_EQ(dlg().m_VideoMgr.GetVideoSpeed(), 4.0f); });
    struct {
        int volume;
        int level;
    } volumes[] = {{0, 0}, {19, 1}, {20, 2}, {79, 4}, {80, 5}, {100, 5}};
    for (const auto& v : volumes) {
        Slider(1203, v.volume);
        OnUi([&] {
            EXPECT_EQ(dlg().m_VideoMgr.GetVolume(), v.volume);
            EXPECT_EQ(dlg().m_btnVolume.GetLevel(), v.level) << v.volume;
        });
    }
    Slider(1203, -5);
    OnUi([&] { EXPECT_EQ(dlg().m_btnVolume.GetLevel(), 5); });
    // Auto-continue toggles with its button's check and the full-screen bar's.
    for (int on : {0, 1}) {
        Command(1111);
        OnUi([&] {
            CTessalyDlg& d = dlg();
            EXPECT_EQ(d.m_bAutoContinue, on);
            EXPECT_EQ(d.m_btnVideoConnect.GetCheck() != FALSE, on != 0);
            EXPECT_EQ(d.m_wndVideoMain.GetControlBox()
                              .GetButton(ID_BTN_VIDEO_CONNECT)
                              ->GetCheck() != FALSE,
                      on != 0);
        });
    }
}

TEST_F(PlayTest, ToolButtonsOpenOnePanelAtATime)
{
    StartOnCard();
    OpenPaused(Title(0), 0);
    struct {
        UINT command;
        int shown;  // index into the panels below
    } cases[] = {{1110, 5}, {1108, 4}, {1107, 2}, {1110, 5}};
    for (const auto& c : cases) {
        Command(c.command);
        OnUi([&] {
            CTessalyDlg& d = dlg();
            CWnd* panels[] = {&d.m_boxFile, &d.m_boxSetting, &d.m_boxScrSize, &d.m_boxScrSize02,
                              &d.m_boxBriSpd, &d.m_boxVol};
            for (int i = 0; i < 6; ++i)
                EXPECT_EQ(panels[i]->IsWindowVisible() != FALSE, i == c.shown)
                    << c.command << " panel " << i;
        });
    }
    // Zoomed, the size button opens the other size panel.
    Command(1054);
    Command(1107);
    OnUi([&] {
        EXPECT_TRUE(dlg().m_boxScrSize02.IsWindowVisible());
        EXPECT_FALSE(dlg().m_boxScrSize.IsWindowVisible());
    });
}

TEST_F(PlayTest, NextAndPreviousStepTheListAndAreGuardedAgainstRepeats)
{
    StartOnCard("card-long");
    OpenPaused(Title(0), 0);
    Command(ID_BTN_PLAY);
    std::wstring playing;
    OnUi([&] { playing = dlg().m_strPlayingTitle; });
    const DWORD start = GetTickCount();
    Command(ID_BTN_NEXT);
    std::wstring next;
    OnUi([&] { next = dlg().m_strPlayingTitle; });
    EXPECT_NE(next, playing);
    EXPECT_EQ(State(), STATE_PLAY);
    // A second next within the second is dropped (when opening took less than that).
    Command(ID_BTN_NEXT);
    std::wstring second;
    OnUi([&] { second = dlg().m_strPlayingTitle; });
    if (GetTickCount() - start < 900)
        EXPECT_EQ(second, next);
    // Previous is another command: it passes, back to the first recording when the second
    // next was dropped (a slow machine may have let it through).
    Command(ID_BTN_PRE);
    OnUi([&] {
        EXPECT_NE(dlg().m_strPlayingTitle, second);
        if (second == next)
            EXPECT_EQ(dlg().m_strPlayingTitle, playing);
    });
}

TEST_F(PlayTest, ReopeningShowsTheFirstPositionAtOnce)
{
    StartOnCard();
    OpenPaused(Title(0), 0);
    Command(ID_BTN_STOP);
    OnUi([&] { EXPECT_EQ(dlg().m_lblGX.GetText(), L"X : 0000"); });
    // The same recording again, at position 0 like the last one shown: the first tick shows
    // it.
    OnUi([&] { dlg().m_listPlay.SetSelectedItem(Title(0)); });
    Command(ID_BTN_PLAY_FORCE);
    // The tick and the look in one go, so that the position cannot move on between them.
    OnUi([&] {
        dlg().UpdatePlayProgress();
        EXPECT_EQ(dlg().m_nShownPosition, dlg().m_VideoMgr.GetPosition());
        EXPECT_NE(dlg().m_lblGX.GetText(), L"X : 0000");
    });
}

TEST_F(PlayTest, MP4ModeFollowsEveryRecordingPlayed)
{
    StartOnCard();
    OpenPaused(Title(0), 0);
    // As if an AVI recording had played last: the next MP4 recording, already tested, sets
    // the mode again.
    OnUi([&] { dlg().m_bMP4Mode = 0; });
    OnUi([&] { dlg().m_listPlay.SetSelectedItem(Title(0)); });
    Command(ID_BTN_PLAY_FORCE);
    OnUi([&] {
        EXPECT_EQ(dlg().m_pShownMap->at(Title(0)).m_nCodecState, CODEC_PLAYABLE);
        EXPECT_EQ(dlg().m_bMP4Mode, 1);
    });
}

TEST_F(PlayTest, UnsupportedRecordingIsRefusedWithItsMessageEvenWithoutACard)
{
    StartOnCard();
    const std::wstring first = Title(0);
    RemoveCard();
    apptest::pt::AnswerMessageBoxes({IDOK});
    apptest::pt::ClearShownMessageBoxes();
    OnUi([&] {
        dlg().m_pShownMap->at(first).m_nCodecState = CODEC_UNSUPPORTED;
        dlg().m_listPlay.SetSelectedItem(first);
        EXPECT_FALSE(dlg().VideoPlay(TRUE));
    });
    EXPECT_EQ(State(), STATE_STOP);
    const auto boxes = apptest::pt::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"This video format is not supported.");
}

TEST_F(PlayTest, EmptiedMapsLeaveNothingToReadOrOpen)
{
    StartOnCard("card-long");
    const std::wstring first = Title(0);
    OpenPaused(first, 0);
    Command(ID_BTN_PLAY);
    // What the card's removal does to the maps, with the recording still in the player: the
    // parsing thread is stopped, then the maps are emptied.
    OnUi([&] {
        dlg().StopFileParsing();
        for (RecFileMap& map : dlg().m_RecMaps)
            map.clear();
        EXPECT_FALSE(dlg().SetGSensor());
        EXPECT_EQ(dlg().m_pPlayingText, nullptr);
    });
    Pump(1200);  // progress ticks read nothing of the gone entry
    OnUi([&] {
        dlg().m_pShownMap = nullptr;
        dlg().m_listPlay.SetPlayingItem(L"");
        dlg().m_listPlay.SetSelectedItem(first);
        EXPECT_FALSE(dlg().VideoPlay(TRUE));
    });
    EXPECT_EQ(State(), STATE_STOP);
}

TEST_F(PlayTest, AutoContinuePlaysOnFromRecordingToRecording)
{
    StartOnCard();
    // Dual play: the list steps from pair to pair (08:30, 08:31), then to the lone 08:32 front.
    OnUi([&] {
        dlg().m_bSinglePlay = 0;
        dlg().m_listPlay.SetSelectedItem(dlg().m_listPlay.GetItem(0).title);
    });
    Command(ID_BTN_PLAY_FORCE);
    // Each recording ends on its own: the graph's end reaches the dialog as WM_VIDEO_END and
    // the list steps on. A missing end leaves the loop at its bound with fewer titles.
    std::vector<std::wstring> played;
    int stopped = 0;  // samples in a row that found the player stopped
    for (int i = 0; i < 200; ++i) {
        std::wstring title;
        int state = STATE_STOP;
        OnUi([&] {
            CTessalyDlg& d = dlg();
            title = d.m_strPlayingTitle;
            state = d.m_VideoMgr.GetState();
        });
        if (!title.empty() && (played.empty() || played.back() != title))
            played.push_back(title);
        stopped = state == STATE_STOP ? stopped + 1 : 0;
        if (stopped >= 3 || played.size() > 3)
            break;
        Pump(200);
    }
    ASSERT_GE(played.size(), 3u);
    EXPECT_EQ(played[0], L"REC_2026_05_14_08_30_00_F");
    EXPECT_EQ(played[1], L"REC_2026_05_14_08_31_00_F");
    EXPECT_EQ(played[2], L"REC_2026_05_14_08_32_00_F");
    // The end of the last row moves on as the Next button does: the list wraps, and the first
    // recording plays again.
    ASSERT_EQ(played.size(), 4u) << "playback went on after the last row";
    EXPECT_EQ(played[3], played[0]);
    EXPECT_EQ(State(), STATE_PLAY);
}

// The end of a recording in full screen where continuous play cannot or must not go on: the
// only recording of its list with continuous play on, or any with it off.
TEST_F(PlayTest, EndOfPlayWithoutANextRecordingStopsAndFullScreenFollows)
{
    StartOnCard();
    const struct {
        const char* what;
        bool onlyRow;
        int autoContinue;
        int mode;  // the window mode after the end
    } cases[] = {
        {"continuous play off, recordings after it", false, 0, WINDOW_MODE_FULLSCREEN},
        {"the list's only recording, continuous play on", true, 1, WINDOW_MODE_NORMAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring title = L"REC_2026_05_14_08_30_00_F";
        OnUi([&] {
            CTessalyDlg& d = dlg();
            d.m_bAutoContinue = c.autoContinue;
            if (c.onlyRow) {
                d.m_listPlay.DeleteAllItems();
                const RecFileInfo& info = d.m_pShownMap->at(title);
                d.m_listPlay.AddItem(title, 0, info.m_strPath, info.m_nSize, info.m_nChannel);
                d.m_listPlay.UpdateScroll();
            }
            d.m_listPlay.SetSelectedItem(title);
        });
        Command(ID_BTN_PLAY_FORCE);
        ASSERT_EQ(State(), STATE_PLAY);
        OnUi([&] { dlg().ToggleFullScreen(); });
        OnUi([&] { ASSERT_EQ(dlg().m_nWindowMode, WINDOW_MODE_FULLSCREEN); });
        // The recording ends on its own (three seconds).
        EXPECT_TRUE(WaitUntil([&] { return dlg().m_VideoMgr.GetState() == STATE_STOP; }, 20000));
        Pump(300);
        OnUi([&] {
            EXPECT_EQ(dlg().m_VideoMgr.GetState(), STATE_STOP) << "nothing else started";
            EXPECT_EQ(dlg().m_nWindowMode, c.mode);
        });
        if (c.mode == WINDOW_MODE_FULLSCREEN)
            OnUi([&] { dlg().ToggleFullScreen(); });
    }
}

}  // namespace
