// The popup menu driven by injected input in real windows: the commands that rows post (and
// that disabled rows, gaps and margins do not), hover and held pictures, check marks, sub-menus
// opened without activation and their commands relayed to the top popup's owner, and the chain
// closing when activation leaves it, at 100 % and 150 %.
#include <algorithm>

#include "controls_support.h"
#include "ui/DPIWnd.h"
#include "ui/LayeredWindow.h"
#include "ui/TDropBox.h"

namespace {

using namespace controltest;

// Counts the leave notices the popup receives.
class CCountingDropBox : public CTDropBox {
public:
    int leaves = 0;

protected:
    void OnMouseLeave() override
    {
        ++leaves;
        CTDropBox::OnMouseLeave();
    }
};

class DropBox : public ControlTest {
protected:
    // Creates a popup as the viewer's owners do, owned by `parent`, hidden.
    static void Create(CTDropBox& box, HWND parent, int x, int y, int w, int h,
                       LPCWSTR name = L"Menu")
    {
        ASSERT_TRUE(box.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), name,
                                    WS_POPUP, x, y, w, h, parent, nullptr));
        box.SetBackImages(L"bg_rightclick.9.png", L"list_bg_press.9.png", L"list_bg_over.9.png");
    }
    // The centre of row i in client pixels.
    POINT RowCentre(const CTDropBox& box, int i) const
    {
        auto it = std::next(box.GetItems().begin(), i);
        return {S((it->rect.left + it->rect.right) / 2), S((it->rect.top + it->rect.bottom) / 2)};
    }
    void Open(CTDropBox& box)
    {
        box.ResetHover();
        box.SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        Pump();
    }
};

TEST_P(DropBox, PostsTheCommandsOfEnabledRowsOnly)
{
    CTDropBox menu;
    Create(menu, dialog.m_hWnd, 100, 100, 256, 100);
    menu.SetCheckStyle(TRUE);
    menu.SetCheckImages(L"ic_checkbox_normal.png", L"ic_checkbox_over.png");
    menu.AddSeparator(L"line.9.png", 241, 2, 7, 29, 1);
    menu.AddItem(L"Open", L"Ctrl+O", 0x10401);  // only the low 16 bits are posted
    menu.AddItem(L"Disabled", L"", 1002);
    menu.AddItem(L"Exit", L"", 1003);
    menu.SetItemDisable(1002, 1);
    menu.ShowWindow(SW_HIDE);
    Open(menu);

    // The second row is taller by the separator that names it; one unit between rows.
    auto rows = menu.GetItems();
    auto first = rows.begin(), second = std::next(first), third = std::next(second);
    EXPECT_EQ(first->rect.bottom - first->rect.top, 20);
    EXPECT_EQ(second->rect.top, first->rect.bottom + 1);
    EXPECT_EQ(second->rect.bottom - second->rect.top, 20 + 2);
    EXPECT_EQ(third->rect.top, second->rect.bottom + 1);

    for (int i = 0; i < 3; ++i) {
        POINT c = RowCentre(menu, i);
        Click(menu, c.x, c.y);
    }
    // The gap between the first two rows and the margin left of the rows post nothing.
    Click(menu, RowCentre(menu, 0).x, S(first->rect.bottom) + S(1) / 2);
    Click(menu, S(menu.GetRowsArea().left) / 2, RowCentre(menu, 0).y);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{0x0401, 1003}));
    // Clicks on a popup activate it; the owner hides it when it handles the command.
    menu.DestroyWindow();
}

TEST_P(DropBox, DrawsHoverAndHeldRowsChecksAndGreyDisabledText)
{
    CTDropBox menu;
    Create(menu, dialog.m_hWnd, 100, 100, 256, 76);
    menu.SetCheckStyle(TRUE);
    menu.SetCheckImages(L"ic_checkbox_normal.png", L"ic_checkbox_over.png");
    menu.AddItem(L"English", L"", 2001);
    menu.AddItem(L"Korean", L"", 2002);
    menu.AddItem(L"Off", L"", 2003);
    menu.ShowWindow(SW_HIDE);
    Open(menu);
    auto markArea = [&](int i) {
        auto it = std::next(menu.GetItems().begin(), i);
        return RECT{S(it->rect.left + 5), S(it->rect.top + 2), S(it->rect.left + 21),
                    S(it->rect.top + 18)};
    };
    Pixels before = Read(menu);
    uint32_t ground = before.At(RowCentre(menu, 0).x, S(menu.GetItems().front().rect.top) + 1);
    EXPECT_EQ(before.CountDiffering(markArea(0), ground), 0);

    menu.SetItemCheck(2001, 1);
    menu.SetItemCheck(2002, 2);  // only exactly 1 draws a mark
    Pixels checked = Read(menu);
    EXPECT_GT(checked.CountDiffering(markArea(0), ground), 10);
    EXPECT_EQ(checked.CountDiffering(markArea(1), ground), 0);

    // Hovering paints the hover row under the whole row; holding the button the held row.
    POINT c = RowCentre(menu, 2);
    auto rowPixel = [&](const Pixels& p) {
        return p.At(S(menu.GetItems().back().rect.right) - S(3), c.y);
    };
    MoveTo(menu, c.x, c.y);
    EXPECT_EQ(menu.GetHoverRow(), 2);
    uint32_t hover = rowPixel(Read(menu));
    EXPECT_NE(hover, rowPixel(checked));
    Press(menu, c.x, c.y, true);
    uint32_t held = rowPixel(Read(menu));
    EXPECT_NE(held, hover);
    Press(menu, c.x, c.y, false);
    EXPECT_EQ(rowPixel(Read(menu)), hover);

    // A hovered disabled row has grey text and no row picture.
    menu.SetItemDisable(2003, 1);
    EXPECT_EQ(rowPixel(Read(menu)), rowPixel(checked));
    // ResetHover takes the highlight off.
    menu.SetItemDisable(2003, 0);
    menu.ResetHover();
    EXPECT_EQ(menu.GetHoverRow(), -1);
    EXPECT_EQ(rowPixel(Read(menu)), rowPixel(checked));
    menu.DestroyWindow();
}

// A language change renames rows by id: every row of the id gets both texts, shown when the
// owner next recomposes the menu (ResetFont), while a check mark goes to the first row only.
// The renamed menu then looks exactly like one built with the new texts.
TEST_P(DropBox, RenamingByIdChangesEveryRowOfTheIdAtTheNextComposition)
{
    struct Row {
        const wchar_t* text;
        const wchar_t* right;
        UINT id;
    };
    auto make = [&](CTDropBox& box, int x, std::initializer_list<Row> rows) {
        Create(box, dialog.m_hWnd, x, 100, 256, 76);
        box.SetCheckStyle(TRUE);
        box.SetCheckImages(L"ic_checkbox_normal.png", L"ic_checkbox_over.png");
        for (const Row& r : rows)
            box.AddItem(r.text, r.right, r.id);
        box.ShowWindow(SW_HIDE);
        Open(box);
    };
    CTDropBox menu, renamed;
    make(menu, 50, {{L"Front", L"", 3001}, {L"Rear", L"Ctrl+R", 3002}, {L"Front", L"", 3001}});
    make(renamed, 350,
         {{L"Avant", L"Ctrl+F", 3001}, {L"Rear", L"Ctrl+R", 3002}, {L"Avant", L"Ctrl+F", 3001}});
    const Pixels before = Read(menu);
    ASSERT_NE(before.data, Read(renamed).data);

    menu.SetItemText(3001, L"Avant", L"Ctrl+F");
    menu.SetItemText(3999, L"Nobody", L"");  // no row has it
    EXPECT_EQ(Read(menu).data, before.data);  // nothing shown before the owner recomposes
    menu.ResetFont();
    EXPECT_EQ(Read(menu).data, Read(renamed).data);

    menu.SetItemCheck(3001, 1);
    std::vector<int> checks;
    for (const CTDropBoxItem& item : menu.GetItems())
        checks.push_back(item.check);
    EXPECT_EQ(checks, (std::vector<int>{1, 0, 0}));
    menu.DestroyWindow();
    renamed.DestroyWindow();
}

TEST_P(DropBox, SubMenusOpenWithoutActivationAndRelayCommandsToTheTopOwner)
{
    // Sub-menus are declared first, so that they outlive the popups that point at them.
    CTDropBox deeper, language, menu;
    Create(menu, dialog.m_hWnd, 100, 100, 256, 76, L"Setting");
    Create(language, menu.m_hWnd, 0, 0, 256, 76, L"Language");
    Create(deeper, language.m_hWnd, 0, 0, 256, 55, L"Deeper");
    deeper.AddItem(L"Deep", L"", 3001);
    language.SetSubMenuStyle(TRUE);
    language.SetSubMenuImages(L"ic_tri_right_normal.png", L"ic_tri_right_over.png");
    language.AddItem(L"English", L"", 3002);
    language.AddItem(L"More", L"", 3003, &deeper);
    menu.SetSubMenuStyle(TRUE);
    menu.SetSubMenuImages(L"ic_tri_right_normal.png", L"ic_tri_right_over.png");
    menu.AddItem(L"Language", L"", 3004, &language);
    menu.AddItem(L"Unit", L"", 3005);
    for (CTDropBox* box : {&menu, &language, &deeper})
        box->ShowWindow(SW_HIDE);
    Open(menu);
    ASSERT_EQ(::GetActiveWindow(), menu.m_hWnd);

    // Hovering the row opens the sub-menu at the row's top-right corner, 3 units up, and the
    // top popup stays active.
    POINT row0 = RowCentre(menu, 0);
    MoveTo(menu, row0.x, row0.y);
    ASSERT_TRUE(language.IsWindowVisible());
    EXPECT_EQ(::GetActiveWindow(), menu.m_hWnd);
    CRect subRect;
    language.GetWindowRect(&subRect);
    POINT corner =
        ScreenOf(menu, S(menu.GetItems().front().rect.right), S(menu.GetItems().front().rect.top));
    EXPECT_EQ(subRect.left, corner.x);
    EXPECT_EQ(subRect.top, corner.y - S(3));
    // Moving within the row does nothing; to a row without one hides it.
    MoveTo(menu, row0.x + 3, row0.y);
    EXPECT_TRUE(language.IsWindowVisible());
    POINT row1 = RowCentre(menu, 1);
    MoveTo(menu, row1.x, row1.y);
    EXPECT_FALSE(language.IsWindowVisible());

    // A command two levels down reaches the dialog unchanged; the rows with sub-menus post
    // nothing.
    MoveTo(menu, row0.x, row0.y);
    POINT more = RowCentre(language, 1);
    Click(language, more.x, more.y);
    ASSERT_TRUE(deeper.IsWindowVisible());
    POINT deep = RowCentre(deeper, 0);
    Click(deeper, deep.x, deep.y);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{3001}));
    for (CTDropBox* box : {&deeper, &language, &menu})
        box->DestroyWindow();
}

TEST_P(DropBox, TheChainClosesWhenActivationLeavesIt)
{
    CTDropBox language, menu;
    Create(menu, dialog.m_hWnd, 100, 100, 256, 76, L"Setting");
    Create(language, menu.m_hWnd, 0, 0, 256, 76, L"Language");
    language.AddItem(L"English", L"", 4001);
    menu.AddItem(L"Language", L"", 4002, &language);
    menu.AddItem(L"Unit", L"", 4003);
    language.ShowWindow(SW_HIDE);
    menu.ShowWindow(SW_HIDE);
    POINT row0 = RowCentre(menu, 0);

    // Hovered open (not activated), then a click on the dialog: both close.
    Open(menu);
    MoveTo(menu, row0.x, row0.y);
    ASSERT_TRUE(language.IsWindowVisible());
    Click(dialog, 900, 800);
    EXPECT_FALSE(menu.IsWindowVisible());
    EXPECT_FALSE(language.IsWindowVisible());
    EXPECT_EQ(::GetActiveWindow(), dialog.m_hWnd);

    // A click into the open sub-menu activates it, and the top popup stays open; a click back
    // on the top popup's margin closes only the sub-menu.
    Open(menu);
    MoveTo(menu, row0.x, row0.y);
    Click(language, S(2), S(2));
    ASSERT_EQ(::GetActiveWindow(), language.m_hWnd);
    EXPECT_TRUE(menu.IsWindowVisible());
    Click(menu, S(2), S(2));
    EXPECT_FALSE(language.IsWindowVisible());
    EXPECT_TRUE(menu.IsWindowVisible());
    // Activated again, the sub-menu losing activation to the dialog closes the whole chain.
    POINT row1 = RowCentre(menu, 1);
    MoveTo(menu, row1.x, row1.y);
    MoveTo(menu, row0.x, row0.y);
    Click(language, S(2), S(2));
    ASSERT_EQ(::GetActiveWindow(), language.m_hWnd);
    Click(dialog, 900, 800);
    EXPECT_FALSE(language.IsWindowVisible());
    EXPECT_FALSE(menu.IsWindowVisible());
    EXPECT_EQ(::GetActiveWindow(), dialog.m_hWnd);
    Open(menu);
    Click(menu, row1.x, row1.y);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{4003}));
    language.DestroyWindow();
    menu.DestroyWindow();
}

TEST_P(DropBox, EveryVisitOfThePointerEndsWithALeaveNotice)
{
    CCountingDropBox menu;
    Create(menu, dialog.m_hWnd, 100, 100, 256, 76);
    menu.AddItem(L"Play", L"Enter", 1064);
    menu.ShowWindow(SW_HIDE);
    Open(menu);
    POINT c = RowCentre(menu, 0);
    for (int visit = 1; visit <= 3; ++visit) {
        MoveTo(menu, c.x, c.y);
        MoveTo(dialog, 900, 800);
        EXPECT_EQ(menu.leaves, visit);
    }
    // The row stays highlighted after the pointer left, until ResetHover.
    EXPECT_EQ(menu.GetHoverRow(), 0);
    menu.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(Scales, DropBox, ::testing::Values(100, 150), PercentName);

}  // namespace
