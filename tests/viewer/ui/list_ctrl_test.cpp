// The recording list driven by injected input in a real dialog: sizes, selection by click and
// by title, the playing mark, double clicks, the right-click menu and its Play command,
// next and previous recordings with pairs and wrap, the selection keys, scrolling by the bar's
// messages and the wheel, the locked hint, at 100 % and 150 %, and its texts in three
// languages.
#include <algorithm>

#include "controls_support.h"
#include "ui/ControlMessages.h"
#include "ui/RListCtrl.h"

namespace {

using namespace controltest;

// The main dialog's part: the keys and the menu's Play command drive the list.
class CListDialog : public CRecorder {
public:
    CRListCtrl* list = nullptr;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (list && message == WM_KEYDOWN) {
            if (wParam == VK_DOWN)
                list->SelectNext();
            else if (wParam == VK_UP)
                list->SelectPrev();
            else if (wParam == VK_RETURN)
                list->PlaySelectedItem();
            return 0;
        }
        LRESULT result = CRecorder::WindowProc(message, wParam, lParam);
        if (list && message == WM_COMMAND && LOWORD(wParam) == 1064) {
            list->GetContextMenu().ShowWindow(SW_HIDE);
            list->PlaySelectedItem();
        }
        return result;
    }
};

struct Entry {
    const wchar_t* title;
    int pairType;
};

class ListCtrl : public ControlTest {
protected:
    void SetUp() override
    {
        ControlTest::SetUp();
        dialog.DestroyWindow();
        ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), L"Dialog", WS_POPUP | WS_VISIBLE, 0,
                                   0, 1200, 900, nullptr, nullptr));
        owner.SetActiveWindow();
        owner.SetFocus();
        Pump();
    }
    void TearDown() override
    {
        list.DestroyWindow();
        owner.DestroyWindow();
        ControlTest::TearDown();
    }
    // A list of 322 x height units: 11 whole rows and a 10-unit strip below them for 230.
    void Create(int height = 230)
    {
        ASSERT_TRUE(list.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE,
                                   CRect(20, 40, 20 + 322, 40 + height), &owner, 1300));
        owner.list = &list;
        Pump();
    }
    void Fill(const std::vector<Entry>& entries)
    {
        list.DeleteAllItems();
        for (const Entry& e : entries)
            list.AddItem(e.title, 0, std::wstring(L"E:\\cont_rec\\") + e.title + L".mp4", 1048576,
                         e.pairType);
        list.OnItemsChanged();
        list.UpdateScroll();
        if (!entries.empty())
            list.SetSelectedItem(entries.front().title);
        Pump();
    }
    void FillNumbered(int count)
    {
        std::vector<std::wstring> titles;
        for (int i = 0; i < count; ++i)
            titles.push_back(L"REC_" + std::to_wstring(1000 + i));
        std::vector<Entry> entries;
        for (const auto& t : titles)
            entries.push_back({t.c_str(), 0});
        Fill(entries);
    }
    // Client pixels of the middle of visible row r.
    POINT RowPoint(int r) const
    {
        return {S(100), r * list.GetRowHeight() + list.GetRowHeight() / 2};
    }
    std::vector<int> Flags(int CRListItem::*flag) const
    {
        std::vector<int> on;
        for (int i = 0; i < list.GetItemCount(); ++i)
            if (list.GetItem(i).*flag)
                on.push_back(i);
        return on;
    }
    CListDialog owner;
    CRListCtrl list;
};

const std::vector<Entry> kPairs = {{L"A_F", 1}, {L"A_R", 2}, {L"B_F", 1}, {L"B_R", 2}, {L"C", 0}};

TEST_P(ListCtrl, SizesRoundThroughSinglePrecision)
{
    Create();
    const struct {
        ULONGLONG bytes;
        const wchar_t* text;
    } cases[] = {{1048576, L"1.00mb"},
                 {0, L"0.00mb"},
                 {524288, L"0.50mb"},
                 {123456789, L"117.74mb"},
                 {(1ull << 40) + 1, L"1048576.00mb"}};
    for (const auto& c : cases)
        list.AddItem(L"T", 0, L"", c.bytes, 0);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(list.GetItem(int(i)).sizeText, cases[i].text) << cases[i].bytes;
}

TEST_P(ListCtrl, ClicksSelectOnlyItemsAndDoubleClicksPlay)
{
    Create();
    FillNumbered(5);  // 5 items in 11 rows
    ASSERT_EQ(list.GetRowCount(), 11);
    EXPECT_EQ(list.m_nSelectedItem, 0);
    POINT p = RowPoint(2);
    Click(list, p.x, p.y);
    EXPECT_EQ(list.m_nSelectedItem, 2);
    EXPECT_EQ(Flags(&CRListItem::selected), (std::vector<int>{2}));
    EXPECT_TRUE(owner.Commands().empty());

    // A click on an empty row, or on the strip below the rows, selects nothing and leaves no
    // item marked; the empty row is not drawn selected.
    Pixels before = Read(list);
    POINT empty = RowPoint(7);
    Click(list, empty.x, empty.y);
    EXPECT_EQ(list.m_nSelectedItem, -1);
    EXPECT_TRUE(Flags(&CRListItem::selected).empty());
    Pixels after = Read(list);
    EXPECT_EQ(after.At(S(250), empty.y), before.At(S(250), empty.y));
    Click(list, p.x, p.y);
    Click(list, S(100), 11 * list.GetRowHeight() + S(5));
    EXPECT_EQ(list.m_nSelectedItem, -1);
    EXPECT_TRUE(Flags(&CRListItem::selected).empty());

    // A double click plays the row; one beside every item changes nothing.
    POINT third = RowPoint(3);
    Click(list, third.x, third.y);
    Click(list, third.x, third.y);  // within the double-click time: a double click
    EXPECT_EQ(owner.Commands(), (std::vector<WPARAM>{ID_BTN_PLAY_FORCE}));
    EXPECT_EQ(list.GetPlayingIndex(), 3);
    EXPECT_EQ(list.GetPlayingTitle(), L"REC_1003");
    pt::AdvanceClock(1000);
    Click(list, empty.x, empty.y);
    Click(list, empty.x, empty.y);
    EXPECT_EQ(owner.Commands().size(), 1u);
    EXPECT_EQ(Flags(&CRListItem::playing), (std::vector<int>{3}));
    EXPECT_EQ(list.GetPlayingIndex(), 3);
}

TEST_P(ListCtrl, RightClickMenuPlaysTheSelectionAndNeverLosesThePlayingMark)
{
    Create();
    FillNumbered(5);
    CTDropBox& menu = list.GetContextMenu();
    POINT p = RowPoint(1);
    Click(list, p.x, p.y, pt::MouseButton::Right);
    EXPECT_EQ(owner.Of(WM_LIST_RBUTTONUP).size(), 1u);
    EXPECT_EQ(list.m_nSelectedItem, 1);
    ASSERT_TRUE(menu.IsWindowVisible());
    CRect at;
    menu.GetWindowRect(&at);
    EXPECT_EQ(at.TopLeft(), CPoint(ScreenOf(list, p.x, p.y)));
    EXPECT_EQ(menu.GetHoverRow(), -1);

    // "Play" in the menu reaches the dialog, which plays the selection.
    auto play = menu.GetItems().begin();
    POINT row = {S((play->rect.left + play->rect.right) / 2),
                 S((play->rect.top + play->rect.bottom) / 2)};
    MoveTo(menu, row.x, row.y);
    EXPECT_EQ(menu.GetHoverRow(), 0);
    Click(menu, row.x, row.y);
    EXPECT_EQ(owner.Commands(), (std::vector<WPARAM>{1064, ID_BTN_PLAY_FORCE}));
    EXPECT_EQ(list.GetPlayingIndex(), 1);
    EXPECT_FALSE(menu.IsWindowVisible());

    // A right click on the empty area selects nothing; Play then keeps what plays, and the
    // menu opens without the old highlight.
    owner.received.clear();
    POINT empty = RowPoint(8);
    Click(list, empty.x, empty.y, pt::MouseButton::Right);
    EXPECT_EQ(list.m_nSelectedItem, -1);
    EXPECT_EQ(menu.GetHoverRow(), -1);
    MoveTo(menu, row.x, row.y);
    Click(menu, row.x, row.y);
    EXPECT_EQ(owner.Commands(), (std::vector<WPARAM>{1064}));
    EXPECT_EQ(list.GetPlayingIndex(), 1);
    EXPECT_EQ(Flags(&CRListItem::playing), (std::vector<int>{1}));

    // Without items a right click does nothing.
    list.DeleteAllItems();
    owner.received.clear();
    Click(list, p.x, p.y, pt::MouseButton::Right);
    EXPECT_TRUE(owner.received.empty());
    EXPECT_FALSE(menu.IsWindowVisible());
}

TEST_P(ListCtrl, NextAndPreviousRecordingsSkipPartnersAndWrap)
{
    Create();
    struct Case {
        std::vector<Entry> entries;
        BOOL single;
        bool next;
        int from;
        int to;
    };
    const std::vector<Entry> endsInPair = {{L"A_F", 1}, {L"A_R", 2}, {L"B_F", 1}, {L"B_R", 2}};
    const Case cases[] = {
        // Pair mode: the other channel's row is skipped.
        {kPairs, FALSE, true, 0, 2},
        {kPairs, FALSE, true, 1, 3},
        {kPairs, FALSE, true, 2, 4},
        {kPairs, FALSE, true, 3, 4},
        {kPairs, FALSE, true, 4, 0},
        {kPairs, FALSE, false, 4, 3},
        {kPairs, FALSE, false, 2, 0},
        {kPairs, FALSE, false, 3, 1},
        {kPairs, FALSE, false, 0, 4},
        // The last rear row goes back to the rear row before it, not to its own front.
        {endsInPair, FALSE, false, 3, 1},
        {endsInPair, FALSE, false, 1, 3},
        // Single mode: every row.
        {kPairs, TRUE, true, 0, 1},
        {kPairs, TRUE, true, 4, 0},
        {kPairs, TRUE, false, 3, 2},
        {kPairs, TRUE, false, 0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.single ? "single " : "pair ")
                                          << (c.next ? "next from " : "previous from ") << c.from);
        Fill(c.entries);
        list.SetPlayingItem(c.entries[size_t(c.from)].title);
        owner.received.clear();
        EXPECT_TRUE(c.next ? list.SelectNextItem(c.single) : list.SelectPrevItem(c.single));
        EXPECT_EQ(list.GetPlayingIndex(), c.to);
        EXPECT_EQ(Flags(&CRListItem::playing), (std::vector<int>{c.to}));
        EXPECT_EQ(owner.Commands(), (std::vector<WPARAM>{ID_BTN_PLAY}));
    }

    // Without a playing item the next one follows the selection; with neither, nothing.
    Fill(kPairs);
    list.SetPlayingItem(L"");
    list.SetSelectedItem(L"B_F");
    EXPECT_TRUE(list.SelectNextItem(FALSE));
    EXPECT_EQ(list.GetPlayingIndex(), 4);
    list.SetPlayingItem(L"");
    list.SetSelectedItem(L"");
    EXPECT_FALSE(list.SelectNextItem(FALSE));
    // A wrap plays item 0 with the selection index on it.
    list.SetPlayingItem(L"C");
    list.SetSelectedItem(L"B_R");
    EXPECT_TRUE(list.SelectNextItem(FALSE));
    EXPECT_EQ(list.m_nSelectedItem, 0);
    EXPECT_TRUE(Flags(&CRListItem::selected).empty());

    // One item or none: nothing moves, nothing is sent, and the one item keeps its marks.
    for (int count : {1, 0}) {
        SCOPED_TRACE(count);
        Fill(std::vector<Entry>(kPairs.begin(), kPairs.begin() + count));
        if (count)
            list.SetPlayingItem(L"A_F");
        owner.received.clear();
        EXPECT_FALSE(list.SelectNextItem(FALSE));
        EXPECT_FALSE(list.SelectPrevItem(FALSE));
        EXPECT_FALSE(list.SelectNext());
        EXPECT_FALSE(list.SelectPrev());
        EXPECT_TRUE(owner.received.empty());
        EXPECT_EQ(Flags(&CRListItem::playing), count ? std::vector<int>{0} : std::vector<int>{});
        EXPECT_EQ(Flags(&CRListItem::selected), count ? std::vector<int>{0} : std::vector<int>{});
        EXPECT_EQ(list.GetPlayingIndex(), count ? 0 : -1);
    }
    // The partner lookups.
    Fill(kPairs);
    const struct {
        const wchar_t* playing;
        const wchar_t* partner;
        BOOL rear, single;
    } partners[] = {{L"A_F", L"A_R", FALSE, FALSE},
                    {L"A_R", L"A_F", TRUE, FALSE},
                    {L"C", L"C", FALSE, TRUE},
                    {L"", L"", FALSE, FALSE}};
    for (const auto& c : partners) {
        list.SetPlayingItem(c.playing);
        EXPECT_EQ(list.GetPartnerTitle(), c.partner);
        EXPECT_EQ(list.IsPlayingRear(), c.rear);
        EXPECT_EQ(list.IsPlayingSingle(), c.single);
    }
}

TEST_P(ListCtrl, ThePlayingRowIsBroughtIntoViewFromAnywhere)
{
    Create();
    FillNumbered(30);  // 11 rows show
    const int rows = list.GetRowCount();
    auto visible = [&](int index) {
        return index >= list.GetTopIndex() && index < list.GetTopIndex() + rows;
    };
    // Stepping past the last row scrolls it in.
    list.SetPlayingItem(L"REC_1010");
    list.SelectNextItem(TRUE);
    EXPECT_EQ(list.GetPlayingIndex(), 11);
    EXPECT_TRUE(visible(11));
    // The view scrolled away to the end: the next item near the start is shown again.
    list.SetPlayingItem(L"REC_1001");
    list.SendMessage(WM_RSCROLL_POS, 100);
    EXPECT_EQ(list.GetTopIndex(), 30 - rows);
    list.SelectNextItem(TRUE);
    EXPECT_EQ(list.GetPlayingIndex(), 2);
    EXPECT_TRUE(visible(2));
    // Two steps back above the top row scroll too.
    std::vector<std::wstring> titles;
    std::vector<Entry> pairs;
    for (int i = 0; i < 30; ++i)
        titles.push_back(L"P" + std::to_wstring(i));
    for (int i = 0; i < 30; ++i)
        pairs.push_back({titles[size_t(i)].c_str(), i % 2 ? 2 : 1});
    Fill(pairs);
    list.SetPlayingItem(L"P10");
    list.SendMessage(WM_RSCROLL_DOWN, 0);
    for (int i = 0; i < 4; ++i)
        list.SendMessage(WM_RSCROLL_DOWN, 1);  // one row each
    EXPECT_EQ(list.GetTopIndex(), 6);
    list.SendMessage(WM_RSCROLL_DOWN, 0);
    list.SendMessage(WM_RSCROLL_DOWN, 0);
    EXPECT_EQ(list.GetTopIndex(), 10);
    list.SelectPrevItem(FALSE);
    EXPECT_EQ(list.GetPlayingIndex(), 8);
    EXPECT_TRUE(visible(8));
    // Wrapping back shows the last page.
    list.SetPlayingItem(L"P0");
    list.SelectPrevItem(FALSE);
    EXPECT_EQ(list.GetPlayingIndex(), 29);
    EXPECT_EQ(list.GetTopIndex(), 30 - rows);
}

TEST_P(ListCtrl, TheKeysMoveTheSelectionAndEnterPlaysIt)
{
    Create();
    FillNumbered(14);
    const int rows = list.GetRowCount();
    for (int i = 0; i < rows; ++i)
        pt::InjectKeys({VK_DOWN});
    Pump();
    EXPECT_EQ(list.m_nSelectedItem, rows);
    EXPECT_GE(rows, list.GetTopIndex() + 1);
    EXPECT_LT(rows, list.GetTopIndex() + rows);
    EXPECT_EQ(Flags(&CRListItem::selected), (std::vector<int>{rows}));
    for (int i = rows; i < 13; ++i)
        pt::InjectKeys({VK_DOWN});
    pt::InjectKeys({VK_DOWN});  // from the last item to the first
    Pump();
    EXPECT_EQ(list.m_nSelectedItem, 0);
    EXPECT_EQ(list.GetTopIndex(), 0);
    pt::InjectKeys({VK_UP});  // and back to the last
    Pump();
    EXPECT_EQ(list.m_nSelectedItem, 13);
    EXPECT_EQ(list.GetTopIndex(), 14 - rows);
    pt::InjectKeys({VK_RETURN});
    Pump();
    EXPECT_EQ(list.GetPlayingIndex(), 13);
    EXPECT_EQ(owner.Commands(), (std::vector<WPARAM>{ID_BTN_PLAY_FORCE}));
    // Up without a selection does nothing.
    list.SetSelectedItem(L"");
    pt::InjectKeys({VK_UP});
    Pump();
    EXPECT_EQ(list.m_nSelectedItem, -1);
    EXPECT_TRUE(Flags(&CRListItem::selected).empty());
}

TEST_P(ListCtrl, ScrollsByTheBarsMessagesAndTheWheel)
{
    Create();
    FillNumbered(25);
    const int rows = list.GetRowCount();
    struct Step {
        UINT message;
        WPARAM wParam;
        int top;
    } steps[] = {{WM_RSCROLL_DOWN, 0, 2}, {WM_RSCROLL_DOWN, 1, 3}, {WM_RSCROLL_UP, 1, 2},
                 {WM_RSCROLL_UP, 0, 0},   {WM_RSCROLL_UP, 0, 0},   {WM_RSCROLL_POS, 100, 25 - rows},
                 {WM_RSCROLL_POS, 0, 0},  {WM_RSCROLL_POS, 50, 7}};
    for (const Step& s : steps) {
        EXPECT_EQ(list.SendMessage(s.message, s.wParam), 1);
        EXPECT_EQ(list.GetTopIndex(), s.top) << s.message << " " << s.wParam;
    }
    const struct {
        short delta;
        int top;
    } wheel[] = {{-120, 9}, {-120, 11}, {-240, 11}, {120, 9}, {240, 9}};
    for (const auto& w : wheel) {
        list.OnParentMouseWheel(0, w.delta, POINT{0, 0});
        EXPECT_EQ(list.GetTopIndex(), w.top) << w.delta;
    }
    // The rows show the items from the top index on.
    Pixels p = Read(list);
    EXPECT_GT(p.CountDiffering({S(20), 0, S(200), list.GetRowHeight()}, p.At(S(250), 2)), 10);
    // Fewer items than rows: the top stays 0 whatever is asked.
    FillNumbered(4);
    list.SendMessage(WM_RSCROLL_POS, 100);
    EXPECT_EQ(list.GetTopIndex(), 0);
}

TEST_P(ListCtrl, TitleTextStartsAtTheRowsContentArea)
{
    Create();
    Fill({{L"WWWW", 0}});
    list.SetSelectedItem(L"");
    Pump();
    Pixels p = Read(list);
    // The first column with text ink in the first row: the content area starts 18 pixels in
    // at every scale (the nine-patch's fixed part), so the text does too.
    int first = -1;
    const uint32_t ground = p.At(S(200), list.GetRowHeight() / 2);
    for (int x = 0; x < S(200) && first < 0; ++x)
        for (int y = 2; y < list.GetRowHeight() - 2; ++y)
            if (p.CountDiffering({x, y, x + 1, y + 1}, ground, 40)) {
                first = x;
                break;
            }
    EXPECT_GE(first, 18);
    EXPECT_LE(first, 21);
}

TEST_P(ListCtrl, LockedListShowsTheHintAndTakesOnlyRightClicks)
{
    Create();
    FillNumbered(3);
    list.SetLock(TRUE);
    Pump();
    Pixels hint = Read(list);
    const int h = list.GetRowHeight() * 11;
    EXPECT_GT(hint.CountDiffering({0, h / 2 - S(36), S(300), h / 2 + S(36)}, hint.At(S(2), S(2))),
              50);
    POINT p = RowPoint(2);
    Click(list, p.x, p.y);
    Click(list, p.x, p.y);
    EXPECT_EQ(list.m_nSelectedItem, 0);
    EXPECT_TRUE(owner.Commands().empty());
    Click(list, p.x, p.y, pt::MouseButton::Right);
    EXPECT_EQ(list.m_nSelectedItem, 2);
    EXPECT_TRUE(list.GetContextMenu().IsWindowVisible());
}

INSTANTIATE_TEST_SUITE_P(Scales, ListCtrl, ::testing::Values(100, 150), PercentName);

}  // namespace
