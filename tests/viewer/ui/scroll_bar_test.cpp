// The skinned scroll bars in real windows, at 100 % and 150 %: the thumb's place for the
// owner's range, page and percent (including ranges of 0 and thumbs longer than the track),
// arrow clicks and thumb drags reported to the notify window, each bar comparing with its own
// last position, a thumb that fills the track, a page of 1, and the track and thumb pictures
// in their looks against the nine-patch painter and the slicers.
#include "controls_support.h"
#include "face_support.h"
#include "ui/ControlMessages.h"
#include "ui/RScrollBar.h"
#include "ui/RScrollBar_Hor.h"

namespace {

using namespace controltest;
using facetest::CFace;

class ScrollBar : public ControlTest {
protected:
    // A bar of `length` pixels along its axis, 15 (vertical) or 14 (horizontal) across.
    void Create(CRScrollBar& bar, bool horizontal, int length, int x = 20, int y = 20)
    {
        CRect rect = horizontal ? CRect(x, y, x + length, y + 14) : CRect(x, y, x + 15, y + length);
        ASSERT_TRUE(bar.Create(nullptr, L"", WS_CHILD | WS_VISIBLE, rect, &dialog, 1250));
        bar.SetNotifyWnd(dialog.m_hWnd);
        Pump();
    }
    // A client point along the bar's axis at `along`, across at the thumb's middle.
    static POINT At(bool horizontal, int along) { return horizontal ? POINT{along, 7} : POINT{7, along}; }
    void Move(const CRScrollBar& bar, bool horizontal, int along)
    {
        POINT p = At(horizontal, along);
        MoveTo(bar, p.x, p.y);
    }
    void Button(const CRScrollBar& bar, bool horizontal, int along, bool down)
    {
        POINT p = At(horizontal, along);
        Press(bar, p.x, p.y, down);
    }
};

TEST_P(ScrollBar, PlacesTheThumbForRangePageAndPercent)
{
    CRScrollBar vertical;
    CRScrollBar_Hor horizontal;
    Create(vertical, false, 300);
    Create(horizontal, true, 300, 60, 20);
    struct Case {
        bool horizontal;
        int range, page, percent;
        int start, end;  // along the axis
    } cases[] = {
        {false, 1000, 300, 0, 13, 95},
        {false, 1000, 300, 100, 205, 287},
        {false, 1000, 300, 150, 205, 287},    // pulled back to end at h - 13
        {false, 10000, 100, 0, 13, 29},       // raised to 16
        {true, 10000, 100, 0, 13, 15},        // no minimum across
        {true, 10000, 100, 100, 285, 287},
        {true, 1000, 300, 50, 109, 191},
        {false, 0, 300, 0, 13, 287},          // a range of 0 counts as 1; page > range
        {false, 100, 500, 40, 13, 287},       // never longer than the track
        {false, 1000, 300, -20, 13, 95},      // never on the first arrow
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.horizontal << " " << c.range << " " << c.page
                                        << " " << c.percent);
        CRScrollBar& bar = c.horizontal ? static_cast<CRScrollBar&>(horizontal) : vertical;
        EXPECT_EQ(bar.SetThumbInfo(c.range, c.page, c.percent), c.end);
        RECT want = c.horizontal ? RECT{c.start, 2, c.end, 13} : RECT{2, c.start, 13, c.end};
        EXPECT_EQ(CRect(bar.GetThumbRect()), CRect(want));
        bar.Invalidate();
        Pump();  // paints without dividing by zero
    }
    // A bar shorter than its arrows and minimum thumb keeps the thumb between them.
    CRScrollBar tiny;
    Create(tiny, false, 30, 100, 20);
    EXPECT_EQ(tiny.SetThumbInfo(1000, 300, 100), 17);
    EXPECT_EQ(CRect(tiny.GetThumbRect()), CRect(2, 13, 13, 17));
}

TEST_P(ScrollBar, ArrowsAndDragsReportToTheNotifyWindow)
{
    struct Twin {
        bool horizontal;
        UINT first, second, position;
    } twins[] = {{false, WM_RSCROLL_UP, WM_RSCROLL_DOWN, WM_RSCROLL_POS},
                 {true, WM_RSCROLL_LEFT, WM_RSCROLL_RIGHT, WM_RSCROLL_HPOS}};
    for (const Twin& t : twins) {
        SCOPED_TRACE(t.horizontal);
        dialog.received.clear();
        std::unique_ptr<CRScrollBar> bar(t.horizontal ? new CRScrollBar_Hor : new CRScrollBar);
        Create(*bar, t.horizontal, 300);
        bar->SetThumbInfo(1000, 300, 0);
        bar->Invalidate();
        Pump();
        // The arrows, clicked in their middles.
        Button(*bar, t.horizontal, 6, true);
        Button(*bar, t.horizontal, 6, false);
        Button(*bar, t.horizontal, 293, true);
        Button(*bar, t.horizontal, 293, false);

        // A drag from the thumb: 96 pixels is half the free track.
        Move(*bar, t.horizontal, 40);
        EXPECT_EQ(bar->GetThumbLook(), 1);
        Button(*bar, t.horizontal, 40, true);
        EXPECT_EQ(bar->GetThumbLook(), 2);
        Move(*bar, t.horizontal, 136);
        // Past the second arrow the thumb stays; the next step counts from the new pointer.
        Move(*bar, t.horizontal, 400);
        Move(*bar, t.horizontal, 380);
        // The captured pointer leaves the bar and comes back: nothing is lost.
        Button(*bar, t.horizontal, 380, false);
        EXPECT_EQ(bar->GetThumbLook(), 0);  // released away from the thumb: left
        std::vector<Received> want = {{t.first, 0, 0},
                                      {t.second, 0, 0},
                                      {t.position, 50, 0},
                                      {t.position, 39, 0}};
        EXPECT_EQ(dialog.received, want);
        EXPECT_EQ(t.horizontal ? bar->GetThumbRect().left : bar->GetThumbRect().top, 89);
    }
}

TEST_P(ScrollBar, EachBarComparesWithItsOwnLastPosition)
{
    CRScrollBar first, second;
    Create(first, false, 300, 20, 20);
    Create(second, false, 300, 60, 20);
    first.SetThumbInfo(1000, 300, 10);
    second.SetThumbInfo(1000, 300, 30);
    // The owner's percent is what each bar compares with: both report their first position.
    dialog.received.clear();
    for (CRScrollBar* bar : {&first, &second}) {
        int start = bar->GetThumbRect().top;
        Move(*bar, false, start + 5);
        Button(*bar, false, start + 5, true);
        Move(*bar, false, start + 5 - (start - 13));
        Button(*bar, false, 18, false);
        EXPECT_EQ(bar->GetThumbRect().top, 13);
    }
    EXPECT_EQ(dialog.Of(WM_RSCROLL_POS),
              (std::vector<Received>{{WM_RSCROLL_POS, 0, 0}, {WM_RSCROLL_POS, 0, 0}}));
}

TEST_P(ScrollBar, AThumbFillingTheTrackOrAPageOfOneMovesAndSendsNothing)
{
    CRScrollBar bar;
    Create(bar, false, 300);
    bar.SetThumbInfo(100, 100, 0);  // the whole track
    bar.Invalidate();
    Pump();
    Move(bar, false, 150);
    Button(bar, false, 150, true);
    Move(bar, false, 151);
    Move(bar, false, 149);
    Button(bar, false, 149, false);
    EXPECT_EQ(CRect(bar.GetThumbRect()), CRect(2, 13, 13, 287));
    EXPECT_TRUE(dialog.Of(WM_RSCROLL_POS).empty());

    bar.SetThumbInfo(1, 1, 0);
    bar.Invalidate();
    Pump();
    CWnd* up = bar.GetDlgItem(ID_BTN_SCROLL_UP);
    ASSERT_NE(up, nullptr);
    EXPECT_FALSE(up->IsWindowEnabled());
    EXPECT_FALSE(bar.GetDlgItem(ID_BTN_SCROLL_DOWN)->IsWindowEnabled());
    Move(bar, false, 20);
    Button(bar, false, 20, true);
    Move(bar, false, 120);
    Button(bar, false, 120, false);
    Button(bar, false, 6, true);
    Button(bar, false, 6, false);
    EXPECT_TRUE(dialog.received.empty());
    // No thumb: the track alone.
    Pixels p = Read(bar);
    EXPECT_EQ(p.At(7, 20), p.At(7, 150));
}

TEST_P(ScrollBar, DrawsTheTrackAndTheThumbOfEachLook)
{
    struct Twin {
        bool horizontal;
        const wchar_t* track;
        int trackW, trackH;
        const wchar_t* thumb[3];
    } twins[] = {
        {false, L"scroll_bg.9.png", 15, 222,
         {L"scroll_handler_normal.9.png", L"scroll_handler_over.9.png",
          L"scroll_handler_press.9.png"}},
        {true, L"scroll_bg_width.9.png", 626, 14,
         {L"scroll_handler_w_normal.9.png", L"scroll_handler_w_over.9.png",
          L"scroll_handler_w_press.9.png"}},
    };
    for (const Twin& t : twins) {
        SCOPED_TRACE(t.horizontal);
        std::unique_ptr<CRScrollBar> bar(t.horizontal ? new CRScrollBar_Hor : new CRScrollBar);
        Create(*bar, t.horizontal, 200);
        bar->SetThumbInfo(400, 100, 50);
        bar->Invalidate();
        Pump();
        const RECT thumb = bar->GetThumbRect();
        const int start = t.horizontal ? thumb.left : thumb.top;
        const int length = t.horizontal ? thumb.right - thumb.left : thumb.bottom - thumb.top;
        CRect client;
        bar->GetClientRect(&client);
        auto expected = [&](int look) {
            auto face = std::make_unique<CFace>(client.Width(), client.Height(), 0);
            CFace track(S(t.trackW), S(t.trackH), 0);
            GetNinePatch()->Draw(track.Surface(), t.track);
            face->Dc()->StretchBlt(0, 0, client.Width(), client.Height(), track.Dc(), 0, 0,
                                   track.Width(), track.Height(), SRCCOPY);
            COffscreenDC slice[3];
            CDC dc;
            dc.CreateCompatibleDC(nullptr);
            if (t.horizontal)
                LoadSkinSlicesHorz(&dc, t.thumb[look], slice[0], slice[1], slice[2]);
            else
                LoadSkinSlicesVert(&dc, t.thumb[look], slice[0], slice[1], slice[2]);
            int first = t.horizontal ? slice[0].GetWidth() : slice[0].GetHeight();
            int middle = length - 15;  // the caps of the skin's thumbs take 15 pixels
            int at = start;
            for (int i = 0; i < 3; ++i) {
                int extent = i == 1 ? middle : t.horizontal ? slice[i].GetWidth()
                                                            : slice[i].GetHeight();
                if (t.horizontal)
                    face->Blend(slice[i], at, 2, extent, slice[i].GetHeight());
                else
                    face->Blend(slice[i], 2, at, slice[i].GetWidth(), extent);
                at += extent;
            }
            EXPECT_EQ(first, 8);
            return face;
        };
        // The track between the arrows, where the bar draws itself.
        auto mismatches = [&](int look) {
            auto face = expected(look);
            Pixels shown = Read(*bar);
            int n = 0;
            for (int y = 0; y < client.Height(); ++y)
                for (int x = 0; x < client.Width(); ++x) {
                    int along = t.horizontal ? x : y;
                    if (along >= 13 && along < (t.horizontal ? client.Width() : client.Height()) - 13)
                        n += (shown.At(x, y) & 0xFFFFFF) != (face->At(x, y) & 0xFFFFFF);
                }
            return n;
        };
        const char* names[] = {"normal", "over", "pressed"};
        auto shot = [&](int look) {
            pt::SaveWindowPng(bar->GetSafeHwnd(),
                              ShotPath(std::string("scroll_") + (t.horizontal ? "hor_" : "ver_") +
                                       names[look] + "_" + std::to_string(Percent()) + ".png"));
        };
        EXPECT_EQ(mismatches(0), 0);
        shot(0);
        Move(*bar, t.horizontal, start + length / 2);
        EXPECT_EQ(bar->GetThumbLook(), 1);
        EXPECT_EQ(mismatches(1), 0);
        shot(1);
        Button(*bar, t.horizontal, start + length / 2, true);
        EXPECT_EQ(mismatches(2), 0);
        shot(2);
        Button(*bar, t.horizontal, start + length / 2, false);
        MoveTo(dialog, 600, 600);
        EXPECT_EQ(bar->GetThumbLook(), 0);
        EXPECT_EQ(mismatches(0), 0);
    }
}

TEST_P(ScrollBar, TheWheelMovesNothingAndGoesOnToTheOwner)
{
    // The bars do not scroll by themselves: a wheel turned over a focused bar is passed on to
    // its parent unhandled, and the thumb stays.
    CRScrollBar bar;
    Create(bar, false, 300);
    bar.SetThumbInfo(1000, 300, 50);
    const CRect before = bar.GetThumbRect();
    bar.SetFocus();
    POINT p = ScreenOf(bar, 7, 150);
    pt::InjectWheel(p.x, p.y, -120);
    pt::InjectWheel(p.x, p.y, 240);
    Pump();
    EXPECT_EQ(CRect(bar.GetThumbRect()), before);
    EXPECT_TRUE(dialog.received.empty());
}

TEST_P(ScrollBar, AShortThumbAtTheEndIsPaintedBeforeTheSecondArrow)
{
    // Its caps make a 2-pixel horizontal thumb 16 pixels long on the screen; at the end of the
    // track it is painted back from the arrow instead of under it.
    CRScrollBar_Hor bar;
    Create(bar, true, 300);
    EXPECT_EQ(bar.SetThumbInfo(10000, 100, 100), 287);
    bar.Invalidate();
    Pump();
    Pixels shown = Read(bar);
    const uint32_t track = shown.At(150, 7);
    int thumb = 0;
    for (int x = 13; x < 287; ++x)
        thumb += (shown.At(x, 7) & 0xFFFFFF) != (track & 0xFFFFFF);
    EXPECT_GE(thumb, 12);
    EXPECT_NE(shown.At(275, 7) & 0xFFFFFF, track & 0xFFFFFF);
}

INSTANTIATE_TEST_SUITE_P(Scales, ScrollBar, ::testing::Values(100, 150), PercentName);

}  // namespace
