// The sub video window in a stand-in dialog: which picture it paints for what is open, the
// single-view texts centred in their rectangles at the current size, the repaint notice, and
// the mouse messages the dialog sees.
#include "playback/VideoSubWnd.h"

#include "video_wnd_support.h"

namespace videotest {
namespace {

constexpr uint32_t kMarker = 0xC800C8;

class VideoSubWndTest : public VideoWndTest {
protected:
    void Make(int width = 320, int height = 240)
    {
        ASSERT_TRUE(wnd.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {10, 20, 10 + width, 20 + height},
                                  &dialog, 1001));
        Pump();
    }
    // Fills the window's pixels with the marker, then has it paint again.
    Pixels Repaint()
    {
        CClientDC dc(&wnd);
        CRect client;
        wnd.GetClientRect(&client);
        dc.FillSolidRect(&client, RGB(0xC8, 0, 0xC8));
        dialog.received.clear();
        wnd.Invalidate(FALSE);
        wnd.UpdateWindow();
        Pump();
        return ReadWindow(wnd.GetSafeHwnd());
    }
    // The placeholder as the window should show it: the rear-view picture stretched over the
    // client area.
    Pixels Placeholder()
    {
        CRect client;
        wnd.GetClientRect(&client);
        CClientDC dc(&wnd);
        COffscreenDC picture(&dc, client.Width(), client.Height());
        DrawSkinImage(picture, L"view_rear.png");
        CClientDC target(&wnd);
        target.BitBlt(0, 0, client.Width(), client.Height(), picture.GetDC(), 0, 0, SRCCOPY);
        return ReadWindow(wnd.GetSafeHwnd());
    }

    CVideoSubWnd wnd;
};

TEST_F(VideoSubWndTest, PaintsThePictureOfWhatIsOpen)
{
    Make();
    struct Case {
        const char* name;
        int tracks;
        BOOL open;
        BOOL mp4;
        BOOL single;
        enum { kPlaceholder, kNothing, kTexts } shows;
    } cases[] = {
        {"nothing open", 0, FALSE, FALSE, FALSE, Case::kPlaceholder},
        {"two-view pair playing", 2, TRUE, TRUE, FALSE, Case::kNothing},
        {"two streams but closed", 2, FALSE, TRUE, FALSE, Case::kPlaceholder},
        {"MP4 in single view", 1, TRUE, TRUE, TRUE, Case::kTexts},
        {"AVI with one stream, single view", 1, TRUE, FALSE, TRUE, Case::kPlaceholder},
        {"AVI with one stream, dual view", 1, TRUE, FALSE, FALSE, Case::kPlaceholder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialog.trackCount = c.tracks;
        dialog.movieOpen = c.open;
        dialog.playingMP4 = c.mp4;
        dialog.singleView = c.single;
        const Pixels shown = Repaint();
        // Every paint ends with the repaint notice, whatever it painted.
        ASSERT_EQ(dialog.Of(WM_VIDEO_RELAYOUT).size(), 1u);
        EXPECT_EQ(dialog.Of(WM_VIDEO_RELAYOUT)[0].wParam, 0u);
        const RECT all = {0, 0, shown.size.cx, shown.size.cy};
        switch (c.shows) {
        case Case::kNothing:
            EXPECT_EQ(shown.CountDiffering(all, kMarker, 0), 0);
            break;
        case Case::kPlaceholder:
            EXPECT_EQ(shown.data, Placeholder().data);
            break;
        case Case::kTexts:
            // The whole window painted, with something else than the placeholder.
            EXPECT_EQ(shown.CountDiffering(all, kMarker, 0), shown.size.cx * shown.size.cy);
            EXPECT_NE(shown.data, Placeholder().data);
            break;
        }
    }
}

// Each text block sits in the middle of its rectangle (word-wrapped text is not centred by
// the format flags alone), at the rectangles of the current client size.
TEST_F(VideoSubWndTest, SingleViewTextsAreCentredAtTheCurrentSize)
{
    Make(320, 240);
    dialog.trackCount = 1;
    dialog.movieOpen = TRUE;
    dialog.playingMP4 = TRUE;
    dialog.singleView = TRUE;
    for (SIZE size : {SIZE{320, 240}, SIZE{420, 300}}) {
        SCOPED_TRACE(size.cy);
        wnd.MoveWindow(10, 20, size.cx, size.cy, TRUE);
        const Pixels shown = Repaint();
        ASSERT_EQ(shown.size.cx, size.cx);
        const int top = (size.cy - 160) / 2;
        const uint32_t ground = shown.At(21, top + 60);  // between the two rectangles
        for (int block = 0; block < 2; ++block) {
            const RECT rect = {20, top + block * 80, size.cx - 35, top + block * 80 + (block ? 60 : 40)};
            auto [first, last] = shown.RowsDiffering(rect, ground);
            ASSERT_GE(first, 0) << "block " << block << " shows no text";
            const int middle = (rect.top + rect.bottom) / 2;
            EXPECT_NEAR((first + last) / 2, middle, 3) << "block " << block;
            EXPECT_GT(first, rect.top + 2) << "block " << block << " is at the top";
        }
        // Nothing but the background between the blocks and below them.
        EXPECT_EQ(shown.CountDiffering({0, top + 40, size.cx, top + 80}, ground), 0);
    }
    const std::string path = ShotPath("video_sub_single_view.png");
    EXPECT_TRUE(pt::SaveWindowPng(wnd.GetSafeHwnd(), path));
}

TEST_F(VideoSubWndTest, MouseInputReachesTheDialogInItsCoordinates)
{
    Make();
    dialog.received.clear();
    MoveTo(wnd.GetSafeHwnd(), 30, 40);
    Button(wnd.GetSafeHwnd(), 30, 40, true);
    Button(wnd.GetSafeHwnd(), 30, 40, false);
    std::vector<UINT> messages;
    for (const Received& r : dialog.received)
        if (r.message == WM_MOUSEMOVE || r.message == WM_LBUTTONDOWN || r.message == WM_LBUTTONUP) {
            messages.push_back(r.message);
            EXPECT_EQ(GET_X_LPARAM(r.lParam), 40);  // 30 + the window's left edge in the dialog
            EXPECT_EQ(GET_Y_LPARAM(r.lParam), 60);
        }
    EXPECT_EQ(messages, (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(dialog.Of(WM_LBUTTONDOWN)[0].wParam & MK_LBUTTON, WPARAM(MK_LBUTTON));
}

}  // namespace
}  // namespace videotest
