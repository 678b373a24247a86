// The main dialog in-process: start-up behind the splash, the layout at 100 and 150 percent and
// after resizing, the language switch, the message protocol, the window modes and the map
// search, each against the real dialog on its own thread.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "../../support/launcher/LauncherProcess.h"
#include "DialogFixture.h"
#include "playback/WebForm.h"
#include "ui/DPIScale.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"


namespace {

using apptest::Pixels;

// The launcher window as another program (the layer's stand-in): it prints "ready", then one
// line per notice it takes.
using Launcher = launchertest::LauncherProcess;
using apptest::ReadScreen;
using apptest::ReadWindow;

class MainDialogTest : public apptest::DialogFixture {
protected:
    // A child's rectangle in the dialog's client coordinates (pixels).
    RECT ChildRect(int id)
    {
        RECT r = {0, 0, 0, 0};
        OnUi([&] {
            CWnd* child = dlg().GetDlgItem(id);
            if (!child)
                return;
            child->GetWindowRect(&r);
            dlg().ScreenToClient(&r);
        });
        return r;
    }
    std::wstring ChildText(int id)
    {
        std::wstring text;
        OnUi([&] {
            if (CWnd* child = dlg().GetDlgItem(id))
                child->GetWindowText(text);
        });
        return text;
    }
};

std::string Str(const RECT& r)
{
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

std::wstring Text(const char* key)
{
    std::string k(key);
    return GetLangText(std::wstring(k.begin(), k.end()).c_str());
}

// ---------------------------------------------------------------------------------------------
// Start-up and close

TEST_F(MainDialogTest, TheSplashIsAloneOnTheScreenUntilItEndsThenTheDialogShows)
{
    // The dialog's title bar lies at the screen's top-left, the splash is centred (480 x 320
    // on 1920 x 1080): (1150, 400) is the splash's alone.
    const RECT splashOnly = {1100, 380, 1190, 420};
    const RECT titleBar = {0, 0, 600, 30};
    bool sawSplash = false;
    BeginDialog();
    for (int i = 0; i < 400 && !DialogRunning(); ++i)
        Sleep(5);
    for (int i = 0; i < 300; ++i) {
        Pixels screen = ReadScreen();
        const bool splash = screen.CountDiffering(splashOnly, 0) > 100;
        const bool dialog = screen.CountDiffering(titleBar, 0) > 100;
        if (splash) {
            sawSplash = true;
            EXPECT_FALSE(dialog) << "the dialog showed while the splash was up";
        }
        if (dialog)
            break;
        Sleep(10);
    }
    WaitDialogStarted();
    EXPECT_TRUE(sawSplash);
    Pixels after = ReadScreen();
    EXPECT_EQ(after.CountDiffering(splashOnly, 0), 0) << "the splash is gone";
    EXPECT_GT(after.CountDiffering(titleBar, 0), 100);
}

TEST_F(MainDialogTest, ComesUpAtTheTopLeftWithItsCaptionVersionAndSize)
{
    StartDialog();
    RECT window;
    GetWindowRect(hwnd(), &window);
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(window.right, 965);
    EXPECT_EQ(window.bottom, 711);
    WCHAR caption[64] = {};
    GetWindowTextW(hwnd(), caption, 64);
    EXPECT_STREQ(caption, L"KESTROVAN DASHCAM TESSALY");
    // The test program carries the program's version block, 1.0.0.2.
    EXPECT_EQ(g_strAppVersion, L"1.0.0.02");
    EXPECT_EQ(ChildText(ID_STATIC_VERSION), L"Ver 1.0.0.02");
    EXPECT_EQ(ChildText(ID_STATIC_FRONT), Text("IDS_STRING_K_018"));
    bool accelerators = false;
    OnUi([&] { accelerators = dlg().m_hAccel != nullptr; });
    EXPECT_TRUE(accelerators);
    SaveShot("main_dialog_english.png");
}

TEST_F(MainDialogTest, TheSplashEndingAnyOtherWayStillLetsStartUpGoOn)
{
    // The splash thread on its own, as start-up runs it; its dialog is closed instead of
    // finishing its steps.
    CTessalyDlg dialog;
    g_hShowMainDlgEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, CTessalyDlg::SplashThread, &dialog, 0, &threadId);
    ASSERT_NE(thread, nullptr);
    struct Find {
        DWORD thread;
        HWND found;
    } find = {threadId, nullptr};
    Eventually([&] {
        EnumWindows(
            [](HWND window, LPARAM param) -> BOOL {
                Find* f = reinterpret_cast<Find*>(param);
                if (GetWindowThreadProcessId(window, nullptr) == f->thread &&
                    IsWindowVisible(window)) {
                    f->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&find));
        return find.found != nullptr;
    }, 20000);
    ASSERT_NE(find.found, nullptr);
    PostMessageW(find.found, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitForSingleObject(g_hShowMainDlgEvent, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(g_hShowMainDlgEvent);
    g_hShowMainDlgEvent = nullptr;
}

TEST_F(MainDialogTest, CloseReleasesWhatStartUpMadeAndEndsTheModalRun)
{
    UseCard("card");
    StartDialog();
    EXPECT_EQ(CloseDialog(), IDCANCEL);
    EXPECT_EQ(g_pBlackBoxData, nullptr);
    EXPECT_EQ(g_pNinePatch, nullptr);
    EXPECT_EQ(g_pJSObject, nullptr);
    EXPECT_EQ(g_pWebformDispatch, nullptr);
}

TEST_F(MainDialogTest, PlaysARecordingOfTheCardInEitherLanguageAndClosesWhilePlaying)
{
    UseCard("card-long");  // 20 s recordings: still the first when the test looks
    StartDialog();
    BOOL played = FALSE;
    OnUi([&] { played = dlg().VideoPlay(TRUE); });
    ASSERT_TRUE(played);
    int state = -1;
    WaitUntil([&] {
        state = dlg().m_VideoMgr.GetState();
        return state == STATE_PLAY;
    }, 20000);
    EXPECT_EQ(state, STATE_PLAY);
    // The picture plays in the main window: its middle is not the empty view's.
    SaveShot("main_dialog_playing_english.png");
    OnUi([&] {
        LoadLanguage(L"chinesesimplified");
        dlg().ReloadAllTexts();
    });
    Pump(500);
    EXPECT_EQ(ChildText(ID_STATIC_MAP), Text("IDS_STRING_K_020"));
    SaveShot("main_dialog_playing_chinese.png");
    // Close while the recording plays (and the parsing thread may still read the card).
    EXPECT_EQ(CloseDialog(), IDCANCEL);
    LoadLanguage(L"english");
}

TEST_F(MainDialogTest, WithoutACardTheLauncherHearsOfNoCameraAtStartAndAtClose)
{
    Launcher launcher(false);
    ASSERT_EQ(launcher.ReadLine(), "ready");
    StartDialog();
    const std::string zero = "notice 2014 36 " + std::string(72, '0');
    EXPECT_EQ(launcher.ReadLine().rfind(zero, 0), 0u);
    CloseDialog();
    EXPECT_EQ(launcher.ReadLine().rfind(zero, 0), 0u);
}

TEST_F(MainDialogTest, ALauncherThatNeverAnswersDelaysTheStartOnlyBriefly)
{
    Launcher launcher(true);
    ASSERT_EQ(launcher.ReadLine(), "ready");
    const DWORD start = GetTickCount();
    // The sends to the launcher are bounded: the start and the close each end within their
    // bound, not for ever (bounds wide enough for a loaded machine under the sanitizers).
    StartDialog();
    EXPECT_LT(GetTickCount() - start, 30000u);
    const DWORD closing = GetTickCount();
    CloseDialog();
    EXPECT_LT(GetTickCount() - closing, 30000u);
}

// ---------------------------------------------------------------------------------------------
// Layout

struct Place {
    int id;
    int left, top, right, bottom;  // design units; W and H added below where marked
    bool fromRight, fromBottom;
};

void CheckPlaces(MainDialogTest* test, const std::vector<Place>& places,
                 const std::function<RECT(int)>& rectOf)
{
    (void)test;
    const int W = 965, H = 711;
    for (const Place& p : places) {
        RECT d = {p.left + (p.fromRight ? W : 0), p.top + (p.fromBottom ? H : 0),
                  p.right + (p.fromRight ? W : 0), p.bottom + (p.fromBottom ? H : 0)};
        g_DPIScale.ScaleRect(&d);
        const RECT r = rectOf(p.id);
        EXPECT_EQ(r.left, d.left) << "control " << p.id;
        EXPECT_EQ(r.top, d.top) << "control " << p.id;
        EXPECT_EQ(r.right, d.right) << "control " << p.id;
        EXPECT_EQ(r.bottom, d.bottom) << "control " << p.id;
    }
}

const std::vector<Place> kPlaces = {
    {ID_BTN_CLOSE, -45, 0, -16, 26, true, false},
    {ID_BTN_MIN, -103, 0, -74, 26, true, false},
    {ID_BTN_CHANGE, -356, 77, -329, 104, true, false},
    {ID_BTN_PLAY, 232, -214, 318, -128, false, true},
    {ID_BTN_NEXT, 497, -201, 557, -141, false, true},
    {ID_BTN_VIDEO_CONNECT, 495, -230, 531, -206, false, true},
    {ID_BTN_LIST_NORMAL, -323, 423, -242, 450, true, false},
    {ID_LIST_PLAY, -323, 470, -1, 690, true, false},
    {ID_VIDEO_MAIN, 2, 109, 642, 469, false, false},
    {ID_VIDEO_SUB, 643, 109, 963, 349, false, false},
    {ID_GPSVIEWER, 254, -115, 612, -37, false, true},
    {ID_STATIC_PLAYTIME, 13, -226, 75, -211, false, true},
    {ID_STATIC_TITLE1, 80, 79, 287, 101, false, false},
};

TEST_F(MainDialogTest, ControlsSitAtTheirDesignPlacesAt100Percent)
{
    StartDialog();
    CheckPlaces(this, kPlaces, [&](int id) { return ChildRect(id); });
}

TEST_F(MainDialogTest, ControlsSitAtTheirScaledPlacesAt150Percent)
{
    g_DPIScale.SetDPI(144);
    StartDialog();
    RECT window;
    GetWindowRect(hwnd(), &window);
    EXPECT_EQ(window.right - window.left, g_DPIScale.Scale(965));
    EXPECT_EQ(window.bottom - window.top, g_DPIScale.Scale(711));
    CheckPlaces(this, kPlaces, [&](int id) { return ChildRect(id); });
    SaveShot("main_dialog_150.png");
    CloseDialog();
    g_DPIScale.SetDPI(96);
}

TEST_F(MainDialogTest, MaximiseMovesTheControlsByTheSizeChangeAndRestoreBringsThemBack)
{
    StartDialog();
    const RECT close = ChildRect(ID_BTN_CLOSE), play = ChildRect(ID_BTN_PLAY),
               list = ChildRect(ID_LIST_PLAY), video = ChildRect(ID_VIDEO_MAIN),
               seek = ChildRect(ID_SLIDER_SEEK);
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_MAX, 0); });
    ASSERT_TRUE(WaitUntil([&] { return ChildRect(ID_BTN_CLOSE).left != close.left; }))
        << "the controls never moved; zoomed " << IsZoomed(hwnd()) << ", mode "
        << [&] { int m = -1; OnUi([&] { m = dlg().m_nWindowMode; }); return m; }();
    EXPECT_TRUE(IsZoomed(hwnd()));
    int mode = -1;
    OnUi([&] { mode = dlg().m_nWindowMode; });
    EXPECT_EQ(mode, WINDOW_MODE_MAXIMISED);
    RECT client;
    GetClientRect(hwnd(), &client);
    const int dx = client.right - 965, dy = client.bottom - 711;
    ASSERT_GT(dx, 0);
    EXPECT_EQ(ChildRect(ID_BTN_CLOSE).left, close.left + dx);
    EXPECT_EQ(ChildRect(ID_BTN_PLAY).left, play.left + dx / 2);
    EXPECT_EQ(ChildRect(ID_BTN_PLAY).top, play.top + dy);
    const RECT bigList = ChildRect(ID_LIST_PLAY);
    EXPECT_EQ(bigList.left, list.left + dx);
    EXPECT_EQ(bigList.bottom, list.bottom + dy);
    const RECT bigVideo = ChildRect(ID_VIDEO_MAIN);
    EXPECT_EQ(bigVideo.right, video.right + dx);
    EXPECT_EQ(bigVideo.bottom, video.bottom + dy);
    EXPECT_EQ(ChildRect(ID_SLIDER_SEEK).top, bigVideo.bottom);

    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_MAX, 0); });
    EXPECT_TRUE(WaitUntil([&] { return ChildRect(ID_BTN_CLOSE).left == close.left; }));
    EXPECT_FALSE(IsZoomed(hwnd()));
    EXPECT_EQ(ChildRect(ID_BTN_CLOSE).left, close.left);
    EXPECT_EQ(ChildRect(ID_BTN_PLAY).left, play.left);
    EXPECT_EQ(ChildRect(ID_SLIDER_SEEK).top, seek.top);
}

TEST_F(MainDialogTest, TransportButtonsDoNotDriftOverOddWidthChanges)
{
    StartDialog();
    const RECT play = ChildRect(ID_BTN_PLAY);
    // Three one-pixel widenings, then back in one step: each halving alone would lose a pixel.
    for (int width : {966, 967, 968, 965}) {
        OnUi([&] { dlg().SetWindowPos(nullptr, 0, 0, width, 711, SWP_NOZORDER | SWP_NOMOVE); });
        Pump(20);
    }
    EXPECT_EQ(ChildRect(ID_BTN_PLAY).left, play.left);
    OnUi([&] { dlg().SetWindowPos(nullptr, 0, 0, 968, 711, SWP_NOZORDER | SWP_NOMOVE); });
    EXPECT_EQ(ChildRect(ID_BTN_PLAY).left, play.left + 1);  // half of 3, the same as at once
}

TEST_F(MainDialogTest, RebuildingTheBackgroundKeepsTheSharedPainterForTheControls)
{
    StartDialog();
    OnUi([&] {
        CNinePatch* painter = GetNinePatch();
        dlg().BuildBackground();
        EXPECT_EQ(g_pNinePatch, painter);
    });
}

TEST_F(MainDialogTest, TheWidenedRearLabelStaysInsideTheWindow)
{
    StartDialog();
    OnUi([&] {
        dlg().m_bMP4Mode = 1;
        dlg().m_bSinglePlay = 1;
        dlg().UpdateChannelLabels();
    });
    const RECT rear = ChildRect(ID_STATIC_REAR);
    RECT client;
    GetClientRect(hwnd(), &client);
    EXPECT_GT(rear.right - rear.left, 65);
    EXPECT_LE(rear.right, client.right);
    EXPECT_EQ(ChildText(ID_STATIC_REAR), Text("IDS_STRING_K_105"));
}

TEST_F(MainDialogTest, AskingForTheViewAlreadyShownKeepsTheZoom)
{
    StartDialog();
    // A front/rear pair open in the engine, zoomed in.
    const std::string file = apptest::FixturesDir() + "/card/cont_rec/REC_2026_05_14_08_30_00_F.mp4";
    float before = 0, after = 0;
    BOOL opened = FALSE;
    OnUi([&] {
        dlg().m_VideoMgr.SetOwnerWnd(dlg().m_hWnd);
        dlg().m_VideoMgr.SetVideoWnd(dlg().m_wndVideoMain.m_hWnd, dlg().m_wndVideoSub.m_hWnd);
        opened = dlg().m_VideoMgr.OnMovieOpen(L"C:" + std::wstring(file.begin(), file.end()),
                                              FALSE, FALSE);
    });
    ASSERT_TRUE(opened) << file;
    OnUi([&] {
        dlg().m_VideoMgr.SetVideoViewSize(2.0f);
        before = dlg().m_VideoMgr.GetVideoViewSize();
        dlg().SetReverseView(FALSE);
        after = dlg().m_VideoMgr.GetVideoViewSize();
    });
    EXPECT_EQ(before, 2.0f);
    EXPECT_EQ(after, 2.0f);
    OnUi([&] {
        dlg().SetReverseView(TRUE);
        after = dlg().m_VideoMgr.GetVideoViewSize();
    });
    EXPECT_EQ(after, 1.0f);
    EXPECT_EQ(ChildText(ID_STATIC_FRONT), Text("IDS_STRING_K_019"));
    OnUi([&] { dlg().m_VideoMgr.Close(); });
}

TEST_F(MainDialogTest, TheMapSwitchFoldsTheRearViewAwayAndBack)
{
    StartDialog();
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_FOLDN, 0); });
    bool subVisible = true, searchVisible = false;
    OnUi([&] {
        subVisible = dlg().m_wndVideoSub.IsWindowVisible();
        searchVisible = dlg().m_btnMapSearch.IsWindowVisible();
    });
    EXPECT_FALSE(subVisible);
    EXPECT_TRUE(searchVisible);
    EXPECT_EQ(ChildRect(ID_BTN_FOLDN).top, 77);
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_FOLUP, 0); });
    OnUi([&] { subVisible = dlg().m_wndVideoSub.IsWindowVisible(); });
    EXPECT_TRUE(subVisible);
    EXPECT_EQ(ChildRect(ID_BTN_FOLDN).top, 355);
}

TEST_F(MainDialogTest, WhileTheRearViewPlaysTheStripBelowItShowsTheMapLabelAndSwitch)
{
    UseCard("card");
    StartDialog();
    BOOL played = FALSE;
    OnUi([&] { played = dlg().VideoPlay(TRUE); });
    ASSERT_TRUE(played);
    HWND label = nullptr, fold = nullptr, placeholder = nullptr, sub = nullptr;
    RECT column = ChildRect(ID_VIDEO_SUB);
    column.bottom += 37;  // the strip beneath the rear view
    OnUi([&] {
        label = dlg().m_lblMap.m_hWnd;
        fold = dlg().m_btnFolDn.m_hWnd;
        placeholder = dlg().m_btnMapEmpty.m_hWnd;
        sub = dlg().m_wndVideoSub.m_hWnd;
    });
    // From the opening on, through the first valid fix the progress shows (the recording's
    // first fixes are not valid yet; the map area is placed anew at each), nothing of the map
    // area lies over the rear picture or the strip beneath it.
    int covered = 0;
    RECT where = {0, 0, 0, 0};
    ASSERT_TRUE(WaitUntil([&] {
        RECT area, overlap;
        ::GetWindowRect(placeholder, &area);
        if (::IsWindowVisible(placeholder) && IntersectRect(&overlap, &area, &column)) {
            ++covered;
            where = area;
        }
        return dlg().m_VideoMgr.GetState() == STATE_PLAY && dlg().m_bFirstGpsInvalid == 0 &&
               dlg().m_nShownPosition >= 2;  // seconds
    }));
    EXPECT_EQ(covered, 0) << "the map placeholder lay at " << Str(where);
    ASSERT_TRUE(IsWindowVisible(sub));
    SaveShot("main_dialog_playing_rear_view.png");
    // What the screen shows there is the label and the switch themselves.
    for (HWND control : {label, fold}) {
        RECT r;
        GetWindowRect(control, &r);
        const Pixels own = apptest::ReadWindow(control);
        const Pixels shown = ReadScreen(&r);
        ASSERT_EQ(own.size.cx, shown.size.cx);
        int differing = 0;
        for (int y = 0; y < own.size.cy; ++y)
            for (int x = 0; x < own.size.cx; ++x)
                differing += own.At(x, y) != shown.At(x, y);
        EXPECT_EQ(differing, 0) << "control " << GetDlgCtrlID(control) << " at " << Str(r);
    }
    // The label's text is the map's, drawn in its light colour on the dark strip.
    const RECT labelRect = ChildRect(ID_STATIC_MAP);
    EXPECT_EQ(ChildText(ID_STATIC_MAP), Text("IDS_STRING_K_020"));
    EXPECT_GT(ReadScreen(&labelRect).CountDiffering({0, 0, 60, 15}, 0x000000, 100), 10);
    CloseDialog();
}

// Folding the rear view away brings the map up under the rear bar: the "Map" label moves there,
// beneath the lower, empty part of the tall "Rear" label. Both show the bar they stand on now,
// not what lay there before (the rear picture's dark top), and the map's text shows; folding
// the rear view back leaves no trace of it there.
TEST_F(MainDialogTest, FoldingTheRearViewAwayShowsTheMapLabelOnItsNewBar)
{
    UseCard("card");
    StartDialog();
    BOOL played = FALSE;
    OnUi([&] { played = dlg().VideoPlay(TRUE); });
    ASSERT_TRUE(played);
    ASSERT_TRUE(WaitUntil([&] { return dlg().m_VideoMgr.GetState() == STATE_PLAY; }));
    const RECT rearLabel = ChildRect(ID_STATIC_REAR);
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_FOLUP); });
    ASSERT_FALSE(IsWindowVisible(GetDlgItem(hwnd(), ID_VIDEO_SUB)));
    const RECT mapLabel = ChildRect(ID_STATIC_MAP);
    ASSERT_GT(rearLabel.bottom, mapLabel.top) << "the labels overlap in this layout";
    // Below its text, the rear label shows what lies beside it on each row: the bars beneath.
    const RECT rows = {rearLabel.right - 3, rearLabel.top + 20, rearLabel.right + 3,
                       rearLabel.bottom};
    int stale = 0, textPixels = 0;
    auto look = [&] {
        const Pixels shown = ReadScreen(&rows);
        stale = 0;
        for (int y = 0; y < shown.size.cy; ++y)
            stale += shown.At(1, y) != shown.At(5, y);
        const uint32_t bar = shown.At(5, mapLabel.top - rows.top + 7);
        const Pixels text = ReadScreen(&mapLabel);
        textPixels = text.CountDiffering({0, 0, text.size.cx, text.size.cy}, bar, 100);
        return stale == 0 && textPixels > 10;
    };
    // The labels paint once the dialog's thread has come to them.
    Eventually(look);
    EXPECT_EQ(stale, 0) << "rows of the rear label showing the old background";
    EXPECT_GT(textPixels, 10) << "the map's text shows";
    SaveShot("main_dialog_rear_folded_away.png");
    CloseDialog();
}

// ---------------------------------------------------------------------------------------------
// Language

TEST_F(MainDialogTest, SwitchingLanguageRedrawsEveryTextAndLeavesNoOldFontBehind)
{
    StartDialog();
    const RECT fileBefore = ChildRect(ID_BTN_FILE);
    HFONT old[4] = {};
    OnUi([&] {
        old[0] = dlg().m_hFont1;
        old[1] = dlg().m_hFont2;
        old[2] = dlg().m_hFont3;
        old[3] = dlg().m_hFont4;
        ASSERT_TRUE(LoadLanguage(L"korean"));
        dlg().ReloadAllTexts();
    });
    Pump(100);
    EXPECT_EQ(ChildText(ID_STATIC_MAP), Text("IDS_STRING_K_020"));
    EXPECT_EQ(ChildText(ID_STATIC_PLAYLIST), Text("IDS_STRING_K_021"));
    EXPECT_EQ(ChildText(ID_STATIC_FRONT), Text("IDS_STRING_K_018"));
    std::wstring title, original;
    HFONT now[4] = {};
    OnUi([&] {
        title = dlg().m_lblTitle1.GetText();
        for (const CTDropBoxItem& item : dlg().m_boxScrSize02.GetItems())
            if (item.id == ID_BOX_SCRSIZE_ORIGINAL)
                original = item.text;
        now[0] = dlg().m_hFont1;
        now[1] = dlg().m_hFont2;
        now[2] = dlg().m_hFont3;
        now[3] = dlg().m_hFont4;
    });
    EXPECT_EQ(title, Text("IDS_STRING_K_105"));
    // The screen-size menu's first item reads the same key as when it was made.
    EXPECT_EQ(original, Text("IDS_STRING_K_065"));
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(now[i], old[i]) << "font " << i << " is made anew";
        EXPECT_FALSE(DeleteObject(old[i])) << "font " << i << " was left behind";
    }
    EXPECT_NE(ChildRect(ID_BTN_FILE).right, fileBefore.right);
    SaveShot("main_dialog_korean.png");

    // Back and forth: every switch leaves exactly its own fonts.
    for (const WCHAR* name : {L"english", L"japanese", L"english"})
        OnUi([&] {
            LoadLanguage(name);
            dlg().ReloadAllTexts();
        });
    EXPECT_EQ(ChildText(ID_STATIC_MAP), Text("IDS_STRING_K_020"));
    EXPECT_EQ(ChildRect(ID_BTN_FILE).right, fileBefore.right);
}

// ---------------------------------------------------------------------------------------------
// Message protocol

TEST_F(MainDialogTest, EscapeAndEnterNeverEndTheDialog)
{
    StartDialog();
    OnUi([&] { dlg().SetForegroundWindow(); });
    for (UINT key : {UINT(VK_ESCAPE), UINT(VK_RETURN)}) {
        apptest::pt::InjectKey(key, true);
        apptest::pt::InjectKey(key, false);
    }
    Pump(200);
    EXPECT_TRUE(IsWindow(hwnd()));
    EXPECT_TRUE(IsWindowVisible(hwnd()));
}

TEST_F(MainDialogTest, ADeviceNotificationLeavesTheWindowAnsweringWhileTheCardSettles)
{
    StartDialog();
    const DWORD start = GetTickCount();
    OnUi([&] { dlg().SendMessage(WM_DEVICECHANGE, 0x8000, 0); });
    BOOL pending = FALSE;
    OnUi([&] { pending = dlg().m_bCardCheckPending; });
    // The card settles for 3 s: the dialog has answered with the check still to come.
    EXPECT_TRUE(pending) << "the dialog waited for the card";
    EXPECT_TRUE(WaitUntil([&] { return !dlg().m_bCardCheckPending; }, 20000));
    EXPECT_GE(GetTickCount() - start, 2900u) << "the check waits for the card to settle";
    std::wstring model;
    OnUi([&] { model = dlg().m_lblModel.GetText(); });
    EXPECT_EQ(model, L"None");
}

TEST_F(MainDialogTest, ACardSwappedWhileTheDriveSettlesIsOpenedAsANewCard)
{
    UseCard("card");
    // The second card: the same camera, one continuous recording fewer.
    const std::string second = TempDir() + "/second";
    apptest::CopyFolder(apptest::FixturesDir() + "/card", second);
    std::filesystem::remove(second + "/cont_rec/REC_2026_05_14_08_32_00_F.mp4");
    StartDialog();
    size_t before = 0;
    OnUi([&] {
        before = dlg().m_RecMaps[CATEGORY_CONTINUOUS].size();
        dlg().SendMessage(WM_DEVICECHANGE, 0x8004, 0);
    });
    ASSERT_GT(before, 0u);
    // Within the settling time the card is taken out and the other one put in.
    RemoveCard();
    const std::wstring root = apptest::pt::AddRemovableDrive(second);
    ASSERT_TRUE(WaitUntil([&] { return !dlg().m_bCardCheckPending; }, 20000));
    size_t after = 0;
    std::wstring drive;
    OnUi([&] {
        after = dlg().m_RecMaps[CATEGORY_CONTINUOUS].size();
        drive = g_strCardDrive;
    });
    EXPECT_EQ(drive, root);
    EXPECT_EQ(after, before - 1) << "the lists come from the card now in the drive";
    CloseDialog();
    apptest::pt::RemoveRemovableDrive(root);
}

TEST_F(MainDialogTest, AnAbortWithoutARunningParseLeavesNoSignalBehind)
{
    StartDialog();
    OnUi([&] {
        dlg().StopFileParsing();
        ResetEvent(g_hFileParsingEvent);
        dlg().SendMessage(WM_PARSING_ABORT, 0, 0);
    });
    EXPECT_EQ(WaitForSingleObject(g_hFileParsingEvent, 0), DWORD(WAIT_TIMEOUT));
}

TEST_F(MainDialogTest, APanPairFromElsewhereIsNeitherReadNorFreed)
{
    StartDialog();
    static int foreign[2] = {-50, 50};
    OnUi([&] { dlg().SendMessage(WM_VIDEO_PANZOOM, 1, reinterpret_cast<LPARAM>(foreign)); });
    // Freeing that array would have been reported by the address sanitizer; it is intact.
    EXPECT_EQ(foreign[0], -50);
    EXPECT_EQ(foreign[1], 50);
}

TEST_F(MainDialogTest, TheTwoSettingButtonsAreTwoCommands)
{
    StartDialog();
    bool menu = false;
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_SETTING_MENU, 0); });
    OnUi([&] { menu = dlg().m_boxSetting.IsWindowVisible(); });
    EXPECT_TRUE(menu) << "1006 opens the Setting menu";
    OnUi([&] { dlg().HidePopups(); });
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_SETTING, 0); });
    OnUi([&] { menu = dlg().m_boxSetting.IsWindowVisible(); });
    EXPECT_FALSE(menu) << "1108 is the screen settings, not the Setting menu";
}

// ---------------------------------------------------------------------------------------------
// Window modes

TEST_F(MainDialogTest, MinimiseFullScreenAndBack)
{
    StartDialog();
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_MIN, 0); });
    EXPECT_TRUE(IsIconic(hwnd()));
    OnUi([&] { dlg().ShowWindow(SW_RESTORE); });
    EXPECT_FALSE(IsIconic(hwnd()));

    // Full screen from the maximised mode returns to it.
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_MAX, 0); });
    HWND video = nullptr;
    OnUi([&] {
        video = dlg().m_wndVideoMain.m_hWnd;
        dlg().SendMessage(WM_COMMAND, ID_BTN_EXPAND, 0);
    });
    EXPECT_TRUE(WaitUntil([&] {
        RECT r;
        ::GetWindowRect(video, &r);
        return r.left == 0 && r.top == 0 && !::IsWindowVisible(hwnd());
    }));
    int mode = -1;
    OnUi([&] { mode = dlg().m_nWindowMode; });
    EXPECT_EQ(mode, WINDOW_MODE_FULLSCREEN);
    EXPECT_FALSE(IsWindowVisible(hwnd()));
    RECT r;
    GetWindowRect(video, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(GetParent(video), nullptr);

    OnUi([&] { dlg().ToggleFullScreen(); });
    OnUi([&] { mode = dlg().m_nWindowMode; });
    EXPECT_EQ(mode, WINDOW_MODE_MAXIMISED);
    EXPECT_TRUE(IsWindowVisible(hwnd()));
    EXPECT_EQ(GetParent(video), hwnd());
    RECT video2 = ChildRect(ID_VIDEO_MAIN);
    RECT expected = {};
    OnUi([&] { expected = dlg().m_rcVideo; });
    EXPECT_TRUE(EqualRect(&video2, &expected));
}

// The bar's total time reads the open recording's length in full screen, for the recording
// that played when full screen began and for the next one opened from the bar's button.
TEST_F(MainDialogTest, InFullScreenTheBarShowsTheLengthOfEachRecordingOpened)
{
    UseCard("card-long");
    StartDialog();
    BOOL played = FALSE;
    OnUi([&] { played = dlg().VideoPlay(TRUE); });
    ASSERT_TRUE(played);
    // The engine posts its size notice to the dialog while it opens or resizes a recording, on
    // the dialog's thread; once none waits in the queue, the dialog has handled the last one
    // (and with it the bar's times as they stand after the notice).
    auto sizeNoticeHandled = [] {
        MSG msg;
        return !PeekMessageW(&msg, nullptr, WM_VIDEO_SIZECHANGED, WM_VIDEO_SIZECHANGED,
                             PM_NOREMOVE);
    };
    ASSERT_TRUE(WaitUntil([&] {
        return dlg().m_VideoMgr.GetState() == STATE_PLAY && sizeNoticeHandled();
    }, 20000));
    HWND bar = nullptr;
    OnUi([&] {
        bar = dlg().m_wndVideoMain.GetControlBox().m_hWnd;
        dlg().SendMessage(WM_COMMAND, ID_BTN_EXPAND, 0);
    });
    ASSERT_TRUE(WaitUntil([&] {
        return dlg().m_nWindowMode == WINDOW_MODE_FULLSCREEN && ::IsWindowVisible(bar) &&
               sizeNoticeHandled();
    }));
    // The bar's total-time text, as shown and as the bar draws a given length.
    const RECT totalText = {91, 32, 146, 52};
    auto text = [&](const Pixels& p) {
        std::vector<uint32_t> out;
        for (int y = totalText.top; y < totalText.bottom; ++y)
            for (int x = totalText.left; x < totalText.right; ++x)
                out.push_back(p.At(x, y));
        return out;
    };
    auto drawn = [&](int seconds) {
        OnUi([&] { dlg().m_wndVideoMain.GetControlBox().SetTotalTime(seconds); });
        return text(ReadWindow(bar));
    };
    for (const char* step : {"entering full screen", "the next recording"}) {
        SCOPED_TRACE(step);
        if (std::string(step) == "the next recording") {
            std::wstring before, after;
            OnUi([&] { before = dlg().m_strPlayingTitle; });
            OnUi([&] { dlg().m_wndVideoMain.SendMessage(WM_COMMAND, ID_BTN_NEXT, 0); });
            WaitUntil([&] {
                after = dlg().m_strPlayingTitle;
                return after != before && sizeNoticeHandled();
            }, 20000);
            ASSERT_NE(after, before);
        }
        int duration = 0;
        OnUi([&] { duration = dlg().m_VideoMgr.GetDuration(); });
        ASSERT_GT(duration, 0);
        const std::vector<uint32_t> shown = text(ReadWindow(bar));
        EXPECT_FALSE(shown == drawn(0)) << "the bar reads 00:00:00";
        EXPECT_TRUE(shown == drawn(duration)) << "the bar reads another length";
    }
    SaveShot("main_dialog_fullscreen_next.png");
    OnUi([&] { dlg().ToggleFullScreen(); });
}

TEST_F(MainDialogTest, InFullScreenThePanelsOpenAboveTheControlBarAndTheMenuAtTheClick)
{
    UseCard("card-long");  // 20 s recordings: the first still plays when the panels open
    StartDialog();
    BOOL played = FALSE;
    OnUi([&] { played = dlg().VideoPlay(TRUE); });
    ASSERT_TRUE(played);
    HWND bar = nullptr, context = nullptr;
    OnUi([&] {
        bar = dlg().m_wndVideoMain.GetControlBox().m_hWnd;
        context = dlg().m_wndVideoMain.GetContextMenu().m_hWnd;
        dlg().SendMessage(WM_COMMAND, ID_BTN_EXPAND, 0);
    });
    ASSERT_TRUE(WaitUntil([&] {
        return dlg().m_nWindowMode == WINDOW_MODE_FULLSCREEN && ::IsWindowVisible(bar);
    }));
    auto screenRect = [](HWND window) {
        RECT r = {0, 0, 0, 0};
        ::GetWindowRect(window, &r);
        return r;
    };
    const RECT r = screenRect(bar);

    // Where the hidden dialog's controls stood (below the picture's burnt-in counter), the
    // picture shows once it has been drawn at its new size: nothing dark is left of them.
    const RECT dialogArea = {0, 240, 965, 711};
    const int areaPixels =
        (dialogArea.right - dialogArea.left) * (dialogArea.bottom - dialogArea.top);
    int dark = areaPixels;
    EXPECT_TRUE(WaitUntil([&] {
        const Pixels shown = ReadScreen(&dialogArea);
        dark = areaPixels - shown.CountDiffering({0, 0, shown.size.cx, shown.size.cy}, 0, 40);
        return dark < areaPixels / 100;
    }, 20000)) << dark << " dark pixels where the dialog stood";
    SaveShot("main_dialog_fullscreen_playing.png");

    // Each panel opens from the bar's own button, its bottom edge on the bar's button row (36
    // units into the bar), left of the button by a part of the panel's width.
    struct Case {
        const char* name;
        int command;  // the bar's button clicked, or a command the bar passes on
        bool zoomed;
        int left, top;  // expected, relative to the bar
        int width, height;
    };
    const Case cases[] = {
        {"screen size", ID_BTN_SIZE, false, 551 - 67 / 4, 36 - 102, 67, 102},
        {"volume", ID_BTN_VOLUME, false, 623 + 6 - 43 / 4, 36 - 116, 43, 116},
        {"screen size, zoomed", ID_BTN_SIZE, true, 551 - 100 / 4, 36 - 123, 100, 123},
        {"brightness and speed", ID_BTN_SETTING, false, 551 + 16 - 151 / 2, 36 - 150, 151, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND panel = nullptr, button = nullptr;
        OnUi([&] {
            if (c.zoomed)
                dlg().SendMessage(WM_COMMAND, ID_BOX_SCRSIZE_20, 0);
            CTButton* own = dlg().m_wndVideoMain.GetControlBox().GetButton(c.command);
            button = own && own->IsWindowVisible() ? own->m_hWnd : nullptr;
            panel = c.command == ID_BTN_VOLUME ? dlg().m_boxVol.m_hWnd
                    : c.command == ID_BTN_SETTING ? dlg().m_boxBriSpd.m_hWnd
                    : c.zoomed                    ? dlg().m_boxScrSize02.m_hWnd
                                                  : dlg().m_boxScrSize.m_hWnd;
        });
        if (button) {
            const RECT b = screenRect(button);
            apptest::pt::InjectClick((b.left + b.right) / 2, (b.top + b.bottom) / 2);
            EXPECT_EQ(r.top + 36, b.top);
        } else {
            // The screen-settings button shares the zoom button's place and stays hidden in the
            // bar; its command comes the bar's way through the video window.
            OnUi([&] { dlg().m_wndVideoMain.SendMessage(WM_COMMAND, c.command, 0); });
        }
        ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(panel) != FALSE; }, 20000));
        const RECT p = screenRect(panel);
        EXPECT_EQ(p.left, r.left + c.left);
        EXPECT_EQ(p.top, r.top + c.top);
        EXPECT_EQ(p.right - p.left, c.width);
        EXPECT_EQ(p.bottom, r.top + 36) << "the panel stands on the bar's button row";
        if (c.command == ID_BTN_VOLUME)
            SaveShot("main_dialog_fullscreen_popup.png");
        OnUi([&] { dlg().HidePopups(); });
    }

    // The picture's own menu opens where the right button was let go.
    apptest::pt::InjectClick(300, 240, apptest::pt::MouseButton::Right);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(context) != FALSE; }, 20000));
    const RECT m = screenRect(context);
    EXPECT_EQ(m.left, 300);
    EXPECT_EQ(m.top, 240);
    EXPECT_EQ(m.right - m.left, 256);
    EXPECT_EQ(m.bottom - m.top, 78);
    OnUi([&] { dlg().m_wndVideoMain.HideContextMenu(); });
    OnUi([&] { dlg().ToggleFullScreen(); });
}

TEST_F(MainDialogTest, TheWindowIsDraggedByItsFreeSpotsAndSizedByTheGrip)
{
    StartDialog();
    OnUi([&] { dlg().SetForegroundWindow(); });
    auto windowRect = [&] {
        RECT r;
        GetWindowRect(hwnd(), &r);
        return r;
    };
    // A press, a first move that starts the drag, the drag itself and the release (screen).
    auto drag = [&](POINT from, int dx, int dy) {
        apptest::pt::InjectMouseButton(from.x, from.y, apptest::pt::MouseButton::Left, true);
        apptest::pt::InjectMouseMove(from.x + 1, from.y + 1);
        apptest::pt::InjectMouseMove(from.x + 1 + dx, from.y + 1 + dy);
        apptest::pt::InjectMouseButton(from.x + 1 + dx, from.y + 1 + dy,
                                       apptest::pt::MouseButton::Left, false);
    };
    auto centre = [&](int id) {
        const RECT c = ChildRect(id);
        return POINT{(c.left + c.right) / 2, (c.top + c.bottom) / 2};
    };

    // Any spot the controls leave free, and the controls that pass the mouse on to the dialog:
    // the title bar right of the menus, the idle video picture, a channel label, the G-sensor
    // graph.
    struct Spot {
        const char* name;
        POINT client;
    };
    const Spot spots[] = {
        {"title bar", {600, 40}},
        {"video window", centre(ID_VIDEO_MAIN)},
        {"channel label", centre(ID_STATIC_FRONT)},
        {"G-sensor graph", centre(ID_GPSVIEWER)},
    };
    for (const Spot& s : spots) {
        SCOPED_TRACE(s.name);
        const RECT before = windowRect();
        drag({before.left + s.client.x, before.top + s.client.y}, 40, 25);
        ASSERT_TRUE(WaitUntil([&] { return windowRect().left != before.left; }, 20000));
        RECT expected = before;
        OffsetRect(&expected, 40, 25);
        EXPECT_EQ(Str(windowRect()), Str(expected));
    }

    // The size grip, the bottom-right corner: the window grows with the mouse and the layout
    // follows the new size.
    const RECT close = ChildRect(ID_BTN_CLOSE), list = ChildRect(ID_LIST_PLAY),
               video = ChildRect(ID_VIDEO_MAIN), play = ChildRect(ID_BTN_PLAY);
    RECT before = windowRect();
    const POINT grip = {before.right - 5, before.bottom - 5};
    ASSERT_EQ(WindowFromPoint(grip), hwnd()) << "the grip is the dialog's own";
    drag(grip, 60, 40);
    ASSERT_TRUE(WaitUntil([&] { return ChildRect(ID_BTN_CLOSE).left != close.left; }, 20000));
    RECT sized = windowRect();
    EXPECT_EQ(sized.left, before.left);
    EXPECT_EQ(sized.top, before.top);
    EXPECT_EQ(sized.right - sized.left, 965 + 60);
    EXPECT_EQ(sized.bottom - sized.top, 711 + 40);
    EXPECT_EQ(ChildRect(ID_BTN_CLOSE).left, close.left + 60);
    EXPECT_EQ(ChildRect(ID_LIST_PLAY).bottom, list.bottom + 40);
    EXPECT_EQ(ChildRect(ID_VIDEO_MAIN).right, video.right + 60);
    EXPECT_EQ(ChildRect(ID_BTN_PLAY).left, play.left + 30);
    SaveShot("main_dialog_sized_by_grip.png");

    // Smaller than the design size it does not go: back to 965 x 711 and the design places.
    drag({sized.right - 5, sized.bottom - 5}, -200, -200);
    ASSERT_TRUE(WaitUntil([&] { return ChildRect(ID_BTN_CLOSE).left == close.left; }, 20000));
    sized = windowRect();
    EXPECT_EQ(sized.right - sized.left, 965);
    EXPECT_EQ(sized.bottom - sized.top, 711);
    EXPECT_EQ(ChildRect(ID_LIST_PLAY).bottom, list.bottom);

    // Maximised, the window stays where it is.
    OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_MAX, 0); });
    ASSERT_TRUE(WaitUntil([&] { return IsZoomed(hwnd()) != FALSE; }, 20000));
    before = windowRect();
    drag({600, 40}, 40, 25);
    Pump(300);
    EXPECT_EQ(Str(windowRect()), Str(before));
}

TEST_F(MainDialogTest, TheBrandButtonOpensTheMakersSiteInTheUsersBrowser)
{
    // The desktop's opener, as a stand-in that notes what it was handed.
    const std::string bin = TempDir() + "/bin";
    std::filesystem::create_directories(bin);
    const std::string record = TempDir() + "/opened.txt";
    {
        FILE* script = fopen((bin + "/xdg-open").c_str(), "w");
        ASSERT_NE(script, nullptr);
        fprintf(script, "#!/bin/sh\necho \"$@\" > \"%s.tmp\"; /bin/mv \"%s.tmp\" \"%s\"\n",
                record.c_str(), record.c_str(), record.c_str());
        fclose(script);
        chmod((bin + "/xdg-open").c_str(), 0755);
    }
    const char* path = getenv("PATH");
    const std::string oldPath = path ? path : "";
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    StartDialog();
    const RECT brand = ChildRect(ID_BTN_BRAND);
    ASSERT_GT(brand.right, brand.left);
    apptest::pt::InjectClick((brand.left + brand.right) / 2, (brand.top + brand.bottom) / 2);
    std::string opened;
    Eventually([&] {
        if (FILE* in = fopen(record.c_str(), "r")) {
            char line[256] = {};
            if (fgets(line, sizeof line, in))
                opened = line;
            fclose(in);
        }
        return opened == "https://www.kestrovan.com/\n";
    }, 20000);
    EXPECT_EQ(opened, "https://www.kestrovan.com/\n");
    CloseDialog();
    setenv("PATH", oldPath.c_str(), 1);
}

// ---------------------------------------------------------------------------------------------
// Map search

TEST_F(MainDialogTest, TheMapSearchWithoutATrackSaysNothingWasFound)
{
    StartDialog();
    apptest::pt::ClearShownMessageBoxes();
    apptest::pt::AnswerMessageBoxes({IDOK});
    BOOL positionEnabled = TRUE;
    OnUi([&] {
        dlg().StopFileParsing();  // the maps change only while no parsing run reads them
        dlg().m_bParseDone = 1;
        dlg().m_bTrackDrawn = 0;
        dlg().SearchMapArea();
        positionEnabled = dlg().m_btnListPosition.IsWindowEnabled();
    });
    const auto boxes = apptest::pt::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text("IDS_STRING_K_061"));
    EXPECT_EQ(boxes[0].caption, Text("IDS_STRING_K_062"));
    EXPECT_FALSE(positionEnabled);
}

TEST_F(MainDialogTest, AnEmptySearchLetsGoOfTheResultsAndShowsTheEmptiedList)
{
    StartDialog();
    apptest::pt::ClearShownMessageBoxes();
    apptest::pt::AnswerMessageBoxes({IDOK, IDOK});
    int category = -1;
    bool playingCleared = false, shownIsArea = false;
    OnUi([&] {
        dlg().StopFileParsing();  // the maps change only while no parsing run reads them
        // A recording of an earlier search is in the player.
        RecFileInfo entry;
        entry.m_strPath = L"C:\\nowhere\\REC_2018_09_10_12_30_45_F.mp4";
        dlg().m_RecMaps[CATEGORY_AREA][L"REC_2018_09_10_12_30_45_F"] = entry;
        dlg().m_pPlayingText = &dlg().m_RecMaps[CATEGORY_AREA].begin()->second.m_TextData;
        dlg().m_nShownCategory = CATEGORY_CONTINUOUS;
        dlg().m_bParseDone = 1;
        dlg().m_bTrackDrawn = 1;
        dlg().SearchMapArea();
        category = dlg().m_nShownCategory;
        playingCleared = dlg().m_pPlayingText == nullptr;
        shownIsArea = dlg().m_pShownMap == &dlg().m_RecMaps[CATEGORY_AREA];
    });
    const auto boxes = apptest::pt::ShownMessageBoxes();
    // The page answered with its area (which holds no recording), or the search ended silently.
    if (!boxes.empty()) {
        EXPECT_EQ(boxes.back().text, Text("IDS_STRING_K_061"));
        EXPECT_EQ(category, CATEGORY_AREA);
        EXPECT_TRUE(shownIsArea);
        EXPECT_TRUE(playingCleared);
    }
}

TEST_F(MainDialogTest, EmptyingTheAreaResultsLetsThePlayerGoOfARecordingAmongThem)
{
    StartDialog();
    bool cleared = false, empty = false;
    OnUi([&] {
        dlg().StopFileParsing();  // the maps change only while no parsing run reads them
        RecFileInfo entry;
        dlg().m_RecMaps[CATEGORY_AREA][L"REC_2018_09_10_12_30_45_F"] = entry;
        dlg().m_pPlayingText = &dlg().m_RecMaps[CATEGORY_AREA].begin()->second.m_TextData;
        dlg().EmptyAreaResults();
        cleared = dlg().m_pPlayingText == nullptr;
        empty = dlg().m_RecMaps[CATEGORY_AREA].empty();
    });
    EXPECT_TRUE(cleared);
    EXPECT_TRUE(empty);
}

TEST_F(MainDialogTest, TheMapSearchWaitsForTheTelemetry)
{
    StartDialog();
    apptest::pt::ClearShownMessageBoxes();
    apptest::pt::AnswerMessageBoxes({IDOK});
    OnUi([&] {
        dlg().StopFileParsing();
        dlg().m_bParseDone = 0;  // as while the parsing thread runs
        dlg().m_bTrackDrawn = 1;
        dlg().SearchMapArea();
        dlg().m_bParseDone = 1;
    });
    const auto boxes = apptest::pt::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Text("IDS_STRING_K_087"));
}

}  // namespace
