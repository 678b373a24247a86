// The full-screen control bar on its own: the time texts, which of play and pause shows and
// when the front/rear, zoom, setting and continuous-play buttons change, what it forwards and
// reports, and its layered picture brought up to date at once on every change and at every size.
#include "playback/FullScrControlBox.h"

#include <algorithm>
#include <functional>

#include "ui/ControlMessages.h"
#include "ui/LayeredWindow.h"
#include "video_wnd_support.h"

namespace videotest {
namespace {

TEST(FullScrControlBoxTime, FormatsHoursMinutesAndSeconds)
{
    const struct {
        int seconds;
        const wchar_t* text;
    } cases[] = {{0, L"00:00:00"},   {59, L"00:00:59"},    {3599, L"00:59:59"},
                 {3725, L"01:02:05"}, {360000, L"100:00:00"}, {-5, L"00:00:00"}};
    for (auto c : cases)
        EXPECT_EQ(CFullScrControlBox::FormatTime(c.seconds), c.text) << c.seconds;
}

class FullScrControlBoxTest : public VideoWndTest {
protected:
    void SetUp() override
    {
        VideoWndTest::SetUp();
        ASSERT_TRUE(notify.CreateEx(0, AfxRegisterWndClass(0), L"Notify", WS_POPUP, 0, 0, 10, 10,
                                    nullptr, nullptr));
        ASSERT_TRUE(bar.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(),
                                    L"ScrControl", WS_POPUP, 100, 400, 695, 159,
                                    dialog.GetSafeHwnd(), nullptr));
        bar.SetNotifyWnd(notify.GetSafeHwnd());
        bar.ShowWindow(SW_HIDE);
        Pump();
    }
    void TearDown() override
    {
        bar.DestroyWindow();
        notify.DestroyWindow();
        VideoWndTest::TearDown();
    }
    bool Visible(int id) { return bar.GetButton(id)->IsWindowVisible() != FALSE; }
    void Show()
    {
        bar.ShowWindow(SW_SHOWNOACTIVATE);
        Pump();
    }
    void Hide()
    {
        bar.ShowWindow(SW_HIDE);
        Pump();
    }

    // What a 36 x 24 panel button at rest shows with `picture` as its normal picture.
    Pixels Look(const wchar_t* picture)
    {
        CTButton reference;
        EXPECT_TRUE(reference.DPICreateEx(WS_EX_TOOLWINDOW, PopupWindowClass(), L"Reference",
                                          WS_POPUP, 0, 0, 36, 24, dialog.GetSafeHwnd(),
                                          nullptr));
        reference.SetImages(picture, picture, picture);
        reference.ShowWindow(SW_SHOWNA);
        Pump();
        Pixels look = ReadWindow(reference.GetSafeHwnd());
        reference.DestroyWindow();
        Pump();
        return look;
    }
    // Clicks the button and takes the pointer off it again; true when the click reached the
    // notify window.
    bool ClickCommands(int id)
    {
        notify.received.clear();
        Click(bar.GetButton(id)->GetSafeHwnd(), 18, 12);
        MoveTo(dialog.GetSafeHwnd(), 20, 20);
        const auto commands = notify.Commands();
        return std::find(commands.begin(), commands.end(), WPARAM(id)) != commands.end();
    }

    CDialogStandIn notify;  // the main video window's place
    CFullScrControlBox bar;
};

// The zoom button starts disabled; EnableSizeBtn changes it at once, shown or hidden, and the
// next showing keeps it (unlike the front/rear button, the layout does not set it again).
TEST_F(FullScrControlBoxTest, TheZoomButtonLooksAndAnswersAsEnableSizeBtnLastSaid)
{
    const Pixels enabledLook = Look(L"btn_size_normal.png");
    const Pixels disabledLook = Look(L"btn_size_dis.png");
    ASSERT_NE(enabledLook.data, disabledLook.data);
    struct Step {
        const char* what;
        std::function<void()> act;
        bool enabled;
    } steps[] = {
        {"at creation", [&] { Show(); }, false},
        {"enabled while shown", [&] { bar.EnableSizeBtn(TRUE); }, true},
        {"shown again", [&] { Hide(); Show(); }, true},
        {"disabled while hidden", [&] { Hide(); bar.EnableSizeBtn(FALSE); Show(); }, false},
        {"enabled while hidden", [&] { Hide(); bar.EnableSizeBtn(TRUE); Show(); }, true},
    };
    CTButton& size = *bar.GetButton(ID_BTN_SIZE);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(size.IsWindowEnabled() != FALSE, step.enabled);
        EXPECT_TRUE(size.IsWindowVisible());
        EXPECT_EQ(ReadWindow(size.GetSafeHwnd()).data,
                  (step.enabled ? enabledLook : disabledLook).data);
        EXPECT_EQ(ClickCommands(ID_BTN_SIZE), step.enabled);
    }
}

// The continuous-play button is on from creation; SetContinuePlay alone turns it on and off.
// A click is passed on and leaves the look to the owner's answer.
TEST_F(FullScrControlBoxTest, TheContinuousPlayButtonShowsWhatSetContinuePlaySaid)
{
    const Pixels onLook = Look(L"btn_connect_on_normal.png");
    const Pixels offLook = Look(L"btn_connect_off_normal.png");
    ASSERT_NE(onLook.data, offLook.data);
    struct Step {
        const char* what;
        std::function<void()> act;
        bool on;
    } steps[] = {
        {"at creation", [&] { Show(); }, true},
        {"clicked", [&] { EXPECT_TRUE(ClickCommands(ID_BTN_VIDEO_CONNECT)); }, true},
        {"turned off", [&] { bar.SetContinuePlay(FALSE); }, false},
        {"clicked while off", [&] { EXPECT_TRUE(ClickCommands(ID_BTN_VIDEO_CONNECT)); }, false},
        {"turned on while hidden", [&] { Hide(); bar.SetContinuePlay(TRUE); Show(); }, true},
    };
    CTButton& connect = *bar.GetButton(ID_BTN_VIDEO_CONNECT);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(connect.GetCheck() != FALSE, step.on);
        EXPECT_EQ(ReadWindow(connect.GetSafeHwnd()).data, (step.on ? onLook : offLook).data);
    }
}

TEST_F(FullScrControlBoxTest, ButtonsShowByTheStateStoredWhileHidden)
{
    bar.SetPlayState(TRUE);
    bar.EnableChangeBtn(TRUE);
    bar.EnableSettingBtn(TRUE);
    EXPECT_FALSE(Visible(ID_BTN_PAUSE));
    EXPECT_FALSE(Visible(ID_BTN_PLAY));
    Show();
    EXPECT_TRUE(Visible(ID_BTN_PAUSE));
    EXPECT_FALSE(Visible(ID_BTN_PLAY));
    EXPECT_TRUE(bar.GetButton(ID_BTN_CHANGE)->IsWindowEnabled());
    EXPECT_FALSE(Visible(ID_BTN_SETTING));
    for (int id : {ID_BTN_PRE, ID_BTN_SEC, ID_BTN_STOP, ID_BTN_SEC2, ID_BTN_NEXT, ID_BTN_CHANGE,
                   ID_BTN_SIZE, ID_BTN_SAVE, ID_BTN_VOLUME, ID_BTN_VIDEO_CONNECT})
        EXPECT_TRUE(Visible(id)) << id;
    EXPECT_TRUE(bar.GetProgress().IsWindowVisible());
    // The play button's place: (255, 58) of the bar.
    CRect play;
    bar.GetButton(ID_BTN_PAUSE)->GetWindowRect(&play);
    EXPECT_EQ(play, CRect(100 + 255, 400 + 58, 100 + 255 + 86, 400 + 58 + 86));

    // Visible: play and pause swap at once; the front/rear flag waits for the next showing.
    bar.SetPlayState(FALSE);
    EXPECT_TRUE(Visible(ID_BTN_PLAY));
    EXPECT_FALSE(Visible(ID_BTN_PAUSE));
    bar.EnableChangeBtn(FALSE);
    EXPECT_TRUE(bar.GetButton(ID_BTN_CHANGE)->IsWindowEnabled());
    Hide();
    Show();
    EXPECT_FALSE(bar.GetButton(ID_BTN_CHANGE)->IsWindowEnabled());
    EXPECT_FALSE(Visible(ID_BTN_SETTING));
    // The controls follow the bar when it moves while shown.
    bar.DPIMoveWindow(50, 300, 695, 159);
    Pump();
    bar.GetButton(ID_BTN_PLAY)->GetWindowRect(&play);
    EXPECT_EQ(play.TopLeft(), CPoint(50 + 255, 300 + 58));
}

TEST_F(FullScrControlBoxTest, ForwardsCommandsAndItsSliderAndReportsEveryHiding)
{
    Show();
    Click(bar.GetButton(ID_BTN_STOP)->GetSafeHwnd(), 40, 40);
    Click(bar.GetButton(ID_BTN_SAVE)->GetSafeHwnd(), 18, 12);
    EXPECT_EQ(notify.Commands(), (std::vector<WPARAM>{ID_BTN_STOP, ID_BTN_SAVE}));
    for (const Received& r : notify.Of(WM_COMMAND))
        EXPECT_EQ(r.lParam, 0);

    notify.received.clear();
    ::SendMessageW(bar.GetSafeHwnd(), WM_SLIDER_CHANGED, ID_SLIDER_FULLSCREEN_SEEK, 42);
    ::SendMessageW(bar.GetSafeHwnd(), WM_SLIDER_CHANGED, ID_SLIDER_VOLUME, 17);
    ::SendMessageW(bar.GetSafeHwnd(), WM_SLIDER_RELEASED, ID_SLIDER_FULLSCREEN_SEEK, 99);
    ASSERT_EQ(notify.received.size(), 2u);
    EXPECT_EQ(notify.received[0].message, UINT(WM_SLIDER_CHANGED));
    EXPECT_EQ(notify.received[0].wParam, WPARAM(ID_SLIDER_FULLSCREEN_SEEK));
    EXPECT_EQ(notify.received[0].lParam, 42);
    EXPECT_EQ(notify.received[1].message, UINT(WM_SLIDER_RELEASED));
    EXPECT_EQ(notify.received[1].lParam, 0);

    for (int round = 0; round < 2; ++round) {
        dialog.received.clear();
        Hide();
        const auto released = dialog.Of(WM_SLIDER_RELEASED);
        ASSERT_EQ(released.size(), 1u) << "round " << round;
        EXPECT_EQ(released[0].wParam, WPARAM(ID_SLIDER_HIDE_POPUPS));
        EXPECT_FALSE(Visible(ID_BTN_STOP));
        EXPECT_FALSE(bar.GetProgress().IsWindowVisible());
        Show();
    }
}

// A layered window is never painted by WM_PAINT: a time set while shown must reach the screen
// at once, and a bar made larger shows a picture of its new size.
TEST_F(FullScrControlBoxTest, PictureFollowsEveryChangeAndSize)
{
    Show();
    const Pixels before = ReadWindow(bar.GetSafeHwnd());
    ASSERT_EQ(before.size.cx, 695);
    bar.SetPlayTime(3725);
    bar.SetTotalTime(7199);
    const Pixels after = ReadWindow(bar.GetSafeHwnd());
    const RECT playText = {25, 32, 75, 52};
    const RECT totalText = {91, 32, 146, 52};
    int changedPlay = 0, changedTotal = 0;
    for (int y = 0; y < after.size.cy; ++y)
        for (int x = 0; x < after.size.cx; ++x)
            if (after.data[size_t(y) * after.size.cx + x] != before.data[size_t(y) * before.size.cx + x]) {
                POINT p = {x, y};
                changedPlay += PtInRect(&playText, p) ? 1 : 0;
                changedTotal += PtInRect(&totalText, p) ? 1 : 0;
            }
    EXPECT_GT(changedPlay, 10);
    EXPECT_GT(changedTotal, 10);
    bar.ResetProgress();
    EXPECT_EQ(ReadWindow(bar.GetSafeHwnd()).data, before.data);

    bar.DPIMoveWindow(100, 400, 800, 180);
    Pump();
    const Pixels larger = ReadWindow(bar.GetSafeHwnd());
    EXPECT_EQ(larger.size.cx, 800);
    EXPECT_EQ(larger.size.cy, 180);
    // The translucent strip reaches the new right and bottom edges.
    EXPECT_NE(larger.data[size_t(90) * 800 + 790] >> 24, 0u);
}

}  // namespace
}  // namespace videotest
