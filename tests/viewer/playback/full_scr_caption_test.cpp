// The full-screen caption bar as the main video window uses it: a top-most tool pop-up whose
// buttons keep their distance from the right edge through resizes (also when a resize is
// painted before the owner asks for a redraw), the title centred by SetTitle, the brand
// picture only with a device record, and the commands its buttons send.
#include "playback/FullScrCaption.h"

#include "ui/LayeredWindow.h"
#include "video_wnd_support.h"

namespace videotest {
namespace {

class FullScrCaptionTest : public VideoWndTest {
protected:
    void Make(int width)
    {
        caption.SetDeviceRecordQuery([this] { return dialog.deviceRecord != FALSE; });
        ASSERT_TRUE(caption.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(),
                                     L"ScrCaption", WS_POPUP, 0, 100, width, 37,
                                     dialog.GetSafeHwnd(), nullptr));
        caption.SetNotifyWnd(dialog.GetSafeHwnd());
        caption.ShowWindow(SW_SHOWNOACTIVATE);
        caption.Redraw();
        Pump();
    }
    // A child's left edge and width in the caption's client coordinates.
    std::pair<int, int> Place(CWnd& child)
    {
        CRect r;
        child.GetWindowRect(&r);
        caption.ScreenToClient(&r);
        return {r.left, r.Width()};
    }
    void Resize(int width) { caption.MoveWindow(0, 100, width, 37, TRUE); }

    CFullScrCaption caption;
};

TEST_F(FullScrCaptionTest, ButtonsFollowTheRightEdgeAndTheTitleWaitsForSetTitle)
{
    Make(800);
    const struct {
        int id;
        int fromRight;
    } buttons[] = {{ID_BTN_CAP_RESTORE, 103}, {ID_BTN_CAP_MIN, 74}, {ID_BTN_CAP_CLOSE, 45}};
    auto expectAt = [&](int width) {
        for (auto b : buttons)
            EXPECT_EQ(Place(caption.GetButton(b.id)), std::make_pair(width - b.fromRight, 29))
                << "button " << b.id << " at width " << width;
    };
    expectAt(800);
    EXPECT_EQ(Place(caption.GetTitleLabel()), std::make_pair(400 - 103, 207));

    Resize(900);
    caption.Redraw();
    expectAt(900);
    EXPECT_EQ(Place(caption.GetTitleLabel()).first, 400 - 103);
    caption.SetTitle(L"REC_2018_09_10_12_30_45_F");
    EXPECT_EQ(Place(caption.GetTitleLabel()).first, 450 - 103);

    // A resize painted before the owner's Redraw still moves them, once.
    Resize(1000);
    caption.UpdateWindow();
    Pump();
    expectAt(1000);
    caption.Redraw();
    expectAt(1000);
    Resize(700);
    caption.Redraw();
    expectAt(700);
    // The bar's picture covers the new width: the right end shows the strip, not black.
    const Pixels shown = ReadWindow(caption.GetSafeHwnd());
    EXPECT_NE(shown.At(690, 30), 0u);
}

TEST_F(FullScrCaptionTest, BrandPictureOnlyWithADeviceRecord)
{
    RECT brandSize;
    GetSkinImageSize(L"bi_brand.png", &brandSize);
    ASSERT_GT(brandSize.right, 0);
    Make(800);
    const RECT brand = {10, 6, 10 + brandSize.right, 6 + brandSize.bottom};
    const Pixels without = ReadWindow(caption.GetSafeHwnd());
    dialog.deviceRecord = TRUE;
    caption.Redraw();
    const Pixels with = ReadWindow(caption.GetSafeHwnd());
    int changed = 0;
    for (int y = 0; y < with.size.cy; ++y)
        for (int x = 0; x < 300; ++x)
            if (with.At(x, y) != without.At(x, y)) {
                ++changed;
                EXPECT_TRUE(PtInRect(&brand, POINT{x, y})) << x << "," << y;
            }
    EXPECT_GT(changed, 20);
    dialog.deviceRecord = FALSE;
    caption.Redraw();
    EXPECT_EQ(ReadWindow(caption.GetSafeHwnd()).data, without.data);
}

TEST_F(FullScrCaptionTest, EachButtonSendsItsCommandAndNothingElse)
{
    Make(800);
    for (int id : {ID_BTN_CAP_MIN, ID_BTN_CAP_RESTORE, ID_BTN_CAP_CLOSE}) {
        SCOPED_TRACE(id);
        dialog.received.clear();
        CRButton& button = caption.GetButton(id);
        Click(button.GetSafeHwnd(), 14, 13);
        std::vector<Received> sent;
        for (const Received& r : dialog.received)
            if (r.message != WM_MOUSEMOVE)
                sent.push_back(r);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].message, UINT(WM_COMMAND));
        EXPECT_EQ(sent[0].wParam, WPARAM(id));
        EXPECT_EQ(sent[0].lParam, 0);
    }
}

}  // namespace
}  // namespace videotest
