// The main dialog's own window handlers on an mkcard card: the view size the engine reports
// and the fit-area button, the minimum size, the drag setting while the dialog is active, the
// label colours, the wheel for the playlist wherever the cursor is, and the card check after
// a device broadcast and after the shell's media notice.
#include <filesystem>
#include <functional>
#include <iterator>

#include "DialogFixture.h"
#include "ui/DPIScale.h"

namespace fs = std::filesystem;

namespace {

namespace pt = platform::testing;

class DialogHandlers : public apptest::DialogFixture {
protected:
    void Command(UINT id)
    {
        OnUi([&] { dlg().SendMessage(WM_COMMAND, id, 0); });
    }
    // Opens the first row's recording as a double click does, and pauses it.
    void OpenPaused()
    {
        OnUi([&] { dlg().m_listPlay.SetSelectedItem(dlg().m_listPlay.GetItem(0).title); });
        Command(ID_BTN_PLAY_FORCE);
        Command(ID_BTN_PAUSE);
        int state = -1;
        OnUi([&] { state = dlg().m_VideoMgr.GetState(); });
        ASSERT_EQ(state, STATE_PAUSE);
    }
    // On the dialog's thread: hands the dialog the messages of that kind waiting in its queue,
    // as its loop would.
    void TakePosted(UINT message)
    {
        MSG msg;
        while (PeekMessageW(&msg, dlg().m_hWnd, message, message, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    struct View {
        float engine;  // the engine's view size
        float zoom;    // the main video window's zoom
        bool bars;     // its scroll bars and fit-area button shown
    };
    View ViewNow()
    {
        View v{};
        OnUi([&] {
            CVideoMainWnd& main = dlg().m_wndVideoMain;
            v.engine = dlg().m_VideoMgr.GetVideoViewSize();
            v.zoom = main.GetZoom();
            v.bars = main.GetVerScroll().IsWindowVisible() && main.GetHorScroll().IsWindowVisible() &&
                     main.GetFitButton().IsWindowVisible();
        });
        return v;
    }
    static BOOL DragFullWindows()
    {
        BOOL full = 2;
        SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
        return full;
    }
    RECT ScreenRectOf(HWND window)
    {
        RECT r = {};
        ::GetWindowRect(window, &r);
        return r;
    }
};

TEST_F(DialogHandlers, TheViewSizeTheEngineReportsSetsTheMainPicturesZoom)
{
    UseCard("card");
    StartDialog();
    OpenPaused();
    // The engine posts its notice after every change of its view size; the main video window
    // follows the sizes it knows and keeps its zoom for any other.
    const struct {
        float size;
        View expected;
    } steps[] = {
        {2.0f, {2.0f, 2.0f, true}},
        {1.25f, {1.25f, 2.0f, true}},
        {1.5f, {1.5f, 1.5f, true}},
        {0.5f, {0.5f, 1.0f, false}},
        {1.25f, {1.25f, 1.0f, false}},
        {2.0f, {2.0f, 2.0f, true}},
        {1.0f, {1.0f, 1.0f, false}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.size);
        OnUi([&] {
            dlg().m_VideoMgr.SetVideoViewSize(s.size);
            TakePosted(WM_VIDEO_SIZECHANGED);
        });
        const View v = ViewNow();
        EXPECT_FLOAT_EQ(v.engine, s.expected.engine);
        EXPECT_FLOAT_EQ(v.zoom, s.expected.zoom);
        EXPECT_EQ(v.bars, s.expected.bars);
    }
}

TEST_F(DialogHandlers, TheFitAreaButtonTakesTheZoomBack)
{
    UseCard("card");
    StartDialog();
    OpenPaused();
    // Zoomed twice by the screen-size menu: the bars and the corner button come up.
    OnUi([&] {
        dlg().SendMessage(WM_COMMAND, ID_BOX_SCRSIZE_20, 0);
        TakePosted(WM_VIDEO_SIZECHANGED);
    });
    View v = ViewNow();
    ASSERT_FLOAT_EQ(v.zoom, 2.0f);
    ASSERT_TRUE(v.bars);
    HWND fit = nullptr;
    OnUi([&] { fit = dlg().m_wndVideoMain.GetFitButton().m_hWnd; });
    const RECT r = ScreenRectOf(fit);
    pt::InjectMouseMove((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    pt::InjectClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    EXPECT_TRUE(WaitUntil([&] { return dlg().m_wndVideoMain.GetZoom() == 1.0f; }, 20000));
    OnUi([&] { TakePosted(WM_VIDEO_SIZECHANGED); });
    v = ViewNow();
    EXPECT_FLOAT_EQ(v.engine, 1.0f);
    EXPECT_FLOAT_EQ(v.zoom, 1.0f);
    EXPECT_FALSE(v.bars);
    bool fitShown = true;
    OnUi([&] { fitShown = dlg().m_wndVideoMain.GetFitButton().IsWindowVisible(); });
    EXPECT_FALSE(fitShown);
}

TEST_F(DialogHandlers, TheDialogIsNeverSizedBelowItsDesignSize)
{
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        g_DPIScale.SetDPI(dpi);
        StartDialog();
        MINMAXINFO info = {};
        info.ptMaxSize = {1920, 1080};
        info.ptMaxPosition = {0, 0};
        info.ptMinTrackSize = {1, 1};
        info.ptMaxTrackSize = {32767, 32767};
        SendMessageW(hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(info.ptMinTrackSize.x, g_DPIScale.Scale(965));
        EXPECT_EQ(info.ptMinTrackSize.y, g_DPIScale.Scale(711));
        // The maximised size and place stay the system's.
        EXPECT_EQ(info.ptMaxSize.x, 1920);
        EXPECT_EQ(info.ptMaxSize.y, 1080);
        EXPECT_EQ(info.ptMaxTrackSize.x, 32767);
        CloseDialog();
    }
    g_DPIScale.SetDPI(96);
}

TEST_F(DialogHandlers, WhileActiveWindowsMoveAsOutlinesAndTheUsersSettingComesBack)
{
    for (BOOL user : {TRUE, FALSE}) {
        SCOPED_TRACE(user);
        SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, UINT(user), nullptr, 0);
        StartDialog();
        ASSERT_EQ(GetForegroundWindow(), hwnd());
        EXPECT_FALSE(DragFullWindows());

        // Another program window is clicked, then the dialog again.
        CWnd* other = nullptr;
        OnUi([&] {
            other = new CWnd();
            other->CreateEx(0, AfxRegisterWndClass(0), L"other", WS_POPUP | WS_VISIBLE, 1300, 800,
                            200, 150, nullptr, nullptr);
        });
        pt::InjectClick(1400, 870);
        ASSERT_TRUE(WaitUntil([&] { return ::GetActiveWindow() == other->m_hWnd; }, 20000));
        EXPECT_EQ(DragFullWindows(), user);
        // A free spot of the dialog's client area, below the playlist's tabs.
        pt::InjectClick(900, 700);
        ASSERT_TRUE(WaitUntil([&] { return ::GetActiveWindow() == hwnd(); }, 20000));
        EXPECT_FALSE(DragFullWindows());

        // Closing the active dialog gives the setting back too.
        OnUi([&] { other->DestroyWindow(); delete other; });
        CloseDialog();
        EXPECT_EQ(DragFullWindows(), user);
    }
    SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);
}

TEST_F(DialogHandlers, LabelsDrawTheirTextInTheirColoursOverTheDialogsBackground)
{
    UseCard("card");
    StartDialog();
    OpenPaused();  // the play and total times show
    const struct {
        int id;
        COLORREF colour;
    } labels[] = {
        {ID_STATIC_FRONT, RGB(218, 228, 236)},    {ID_STATIC_REAR, RGB(218, 228, 236)},
        {ID_STATIC_PLAYLIST, RGB(218, 228, 236)}, {ID_STATIC_PLAYTIME, RGB(63, 168, 235)},
        {ID_STATIC_TOTALTIME, RGB(162, 172, 185)}, {ID_STATIC_VERSION, RGB(182, 199, 215)},
    };
    HWND windows[std::size(labels)] = {};
    OnUi([&] {
        for (size_t i = 0; i < std::size(labels); ++i)
            if (CWnd* child = dlg().GetDlgItem(labels[i].id))
                windows[i] = child->m_hWnd;
    });
    // Pixels of a label's text colour on the screen.
    auto textPixels = [&](size_t i) {
        const RECT r = ScreenRectOf(windows[i]);
        apptest::Pixels shot = apptest::ReadScreen(&r);
        const COLORREF c = labels[i].colour;
        const uint32_t colour = GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
        return shot.size.cx * shot.size.cy -
               shot.CountDiffering({0, 0, shot.size.cx, shot.size.cy}, colour, 12);
    };
    // The labels paint once the dialog's thread has come to them.
    Eventually([&] {
        for (size_t i = 0; i < std::size(labels); ++i)
            if (!windows[i] || textPixels(i) <= 3)
                return false;
        return true;
    }, 20000);
    SaveShot("dialog_handlers_labels.png");
    for (size_t i = 0; i < std::size(labels); ++i) {
        const auto& l = labels[i];
        SCOPED_TRACE(l.id);
        const HWND label = windows[i];
        ASSERT_NE(label, nullptr);
        const RECT r = ScreenRectOf(label);
        apptest::Pixels shot = apptest::ReadScreen(&r);
        // Text pixels of the label's colour...
        EXPECT_GT(textPixels(i), 3);
        // ...over the dialog's own dark background, not the light default control face.
        for (POINT corner : {POINT{0, 0}, POINT{shot.size.cx - 1, 0}, POINT{0, shot.size.cy - 1},
                             POINT{shot.size.cx - 1, shot.size.cy - 1}})
            EXPECT_LT(shot.CountDiffering({corner.x, corner.y, corner.x + 1, corner.y + 1},
                                          0x000000, 100),
                      1)
                << std::hex << shot.At(corner.x, corner.y);
    }
}

TEST_F(DialogHandlers, TheWheelScrollsThePlaylistWhereverTheCursorIs)
{
    UseCard("card");
    // A card with more continuous recordings than the playlist shows at once.
    const fs::path cont = fs::path(TempDir()) / "card" / "cont_rec";
    for (int minute = 41; minute <= 52; ++minute)
        fs::copy_file(cont / "REC_2026_05_14_08_32_00_F.mp4",
                      cont / ("REC_2026_05_14_08_" + std::to_string(minute) + "_00_F.mp4"));
    StartDialog();
    int items = 0, rows = 0;
    HWND video = nullptr;
    OnUi([&] {
        items = dlg().m_listPlay.GetItemCount();
        rows = dlg().m_listPlay.GetRowCount();
        video = dlg().m_wndVideoMain.m_hWnd;
        dlg().m_btnPlay.SetFocus();  // the focus on a button, not in the list
    });
    ASSERT_EQ(items, 17);
    ASSERT_LT(rows, items);
    // The cursor over the main video window, far from the list.
    const RECT r = ScreenRectOf(video);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    pt::InjectMouseMove(x, y);
    const struct {
        int delta;
        int top;
    } turns[] = {{-120, 2}, {-120, 4}, {120, 2}, {120, 0}, {120, 0}};
    for (const auto& t : turns) {
        pt::InjectWheel(x, y, t.delta);
        EXPECT_TRUE(WaitUntil([&] { return dlg().m_listPlay.GetTopIndex() == t.top; }, 20000))
            << "delta " << t.delta << ", top " << [&] {
                   int top = -1;
                   OnUi([&] { top = dlg().m_listPlay.GetTopIndex(); });
                   return top;
               }();
    }
}

TEST_F(DialogHandlers, TheShellsNoticeReopensAKnownCardAndTheDeviceBroadcastClosesIt)
{
    UseCard("card");
    StartDialog();
    const fs::path card = fs::path(TempDir()) / "card";
    // Each step changes the card without the system announcing it, then delivers one notice;
    // the continuous list shows whether the card was opened again (rebuilt from the files),
    // left as it was, or closed.
    const struct {
        const char* what;
        std::function<void()> change;
        UINT message;
        WPARAM wParam;
        size_t continuous;
        const wchar_t* model;
    } steps[] = {
        {"a recording added, the device broadcast",
         [&] {
             fs::copy_file(card / "cont_rec" / "REC_2026_05_14_08_32_00_F.mp4",
                           card / "cont_rec" / "REC_2026_05_14_08_50_00_F.mp4");
         },
         WM_DEVICECHANGE, 0x8000, 5, L"Q914"},
        {"the shell's notice", [] {}, WM_USER_MEDIACHANGED, 0, 6, L"Q914"},
        // The card's record gone: the shell's notice finds no camera card but closes nothing.
        {"the record gone, the shell's notice",
         [&] { fs::remove(card / "setting" / "setup.cfg"); }, WM_USER_MEDIACHANGED, 0, 6, L"None"},
        {"the device broadcast", [] {}, WM_DEVICECHANGE, 0x8000, 0, L"None"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.change();
        OnUi([&] { dlg().SendMessage(s.message, s.wParam, 0); });
        ASSERT_TRUE(WaitUntil([&] { return !dlg().m_bCardCheckPending; }, 10000));
        size_t continuous = 0;
        std::wstring model;
        OnUi([&] {
            continuous = dlg().m_RecMaps[CATEGORY_CONTINUOUS].size();
            model = dlg().m_lblModel.GetText();
        });
        EXPECT_EQ(continuous, s.continuous);
        EXPECT_EQ(model, s.model);
    }
}

}  // namespace
