// The skinned controls as a user sees them: the texts of three languages (one of them Korean)
// drawn by the popup menu, the speed panel and the list's hint, and one picture of the list
// with 30 rows, a menu with an open sub-menu and both panels, saved for looking at.
#include <set>

#include "controls_support.h"
#include "ui/LayeredWindow.h"
#include "ui/RListCtrl.h"
#include "ui/TDropBox.h"
#include "ui/TDropBriSpd.h"
#include "ui/TDropVol.h"

namespace {

using namespace controltest;

class ControlsView : public ControlTest {
protected:
    int Percent() const override { return 100; }
    void TearDown() override
    {
        LoadLanguage(L"english");
        ControlTest::TearDown();
    }
};

// The pixels of a rectangle of a window, for comparing what two languages drew there.
std::vector<uint32_t> Cut(const ControlTest* /*unused*/, const std::vector<uint32_t>& all,
                          SIZE size, RECT r)
{
    std::vector<uint32_t> out;
    for (int y = r.top; y < r.bottom && y < size.cy; ++y)
        for (int x = r.left; x < r.right && x < size.cx; ++x)
            out.push_back(all[size_t(y) * size.cx + x]);
    return out;
}

TEST_F(ControlsView, TextsOfThreeLanguagesAreDrawn)
{
    std::set<std::vector<uint32_t>> labels, menus, hints;
    for (const wchar_t* language : {L"english", L"german", L"korean"}) {
        SCOPED_TRACE(::testing::Message() << std::string(language, language + wcslen(language)));
        ASSERT_TRUE(LoadLanguage(language));

        CTDropBriSpd panel;
        ASSERT_TRUE(panel.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(),
                                      L"BriSpd", WS_POPUP, 100, 100, 151, 150, dialog.m_hWnd,
                                      nullptr));
        panel.ShowWindow(SW_SHOWNA);
        Pump();
        Pixels p = Read(panel);
        const RECT label = {35, 64, 140, 85};
        EXPECT_GT(p.CountDiffering(label, p.At(138, 83)), 30);
        labels.insert(Cut(this, p.data, p.size, label));
        panel.DestroyWindow();

        CRListCtrl list;
        ASSERT_TRUE(list.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE,
                                   CRect(400, 40, 722, 260), &dialog, 1300));
        list.AddItem(L"REC_2018_09_10_12_30_45_F", 0, L"", 1048576, 0);
        list.UpdateScroll();
        // The context menu's rows take the language's texts.
        list.ReloadTexts();
        CTDropBox& menu = list.GetContextMenu();
        menu.ShowWindow(SW_SHOWNA);
        Pump();
        Pixels m = Read(menu);
        const RECT& row = menu.GetItems().front().rect;
        const RECT text = {row.left + 5, row.top, row.left + 90, row.bottom};
        EXPECT_GT(m.CountDiffering(text, m.At(row.left + 100, row.top + 10)), 20);
        menus.insert(Cut(this, m.data, m.size, text));
        menu.ShowWindow(SW_HIDE);

        list.SetLock(TRUE);
        Pump();
        Pixels h = Read(list);
        const RECT hintArea = {0, 60, 307, 160};
        EXPECT_GT(h.CountDiffering(hintArea, h.At(2, 2)), 200);
        hints.insert(Cut(this, h.data, h.size, hintArea));
        list.DestroyWindow();
    }
    // Each language drew something of its own.
    EXPECT_EQ(labels.size(), 3u);
    EXPECT_EQ(menus.size(), 3u);
    EXPECT_EQ(hints.size(), 3u);
}

TEST_F(ControlsView, SavesAPictureOfTheListTheMenusAndBothPanels)
{
    CRListCtrl list;
    ASSERT_TRUE(list.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(20, 20, 342, 620),
                               &dialog, 1300));
    std::vector<std::wstring> titles;
    for (int i = 0; i < 40; ++i)
        titles.push_back(L"REC_2018_09_10_12_" + std::to_wstring(10 + i / 2) + L"_00_" +
                         (i % 2 ? L"R" : L"F"));
    for (int i = 0; i < 40; ++i)
        list.AddItem(titles[size_t(i)], 0, L"", 52428800ull + 1048576ull * i,
                     i >= 30 ? 0 : (i % 2 ? 2 : 1));
    list.UpdateScroll();
    list.SetSelectedItem(titles[4]);
    list.SetPlayingItem(titles[7]);
    Pump();
    ASSERT_EQ(list.GetRowCount(), 30);

    CTDropBox language, setting;
    ASSERT_TRUE(setting.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(),
                                    L"Setting", WS_POPUP, 380, 40, 256, 76, dialog.m_hWnd,
                                    nullptr));
    ASSERT_TRUE(language.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(),
                                     L"Language", WS_POPUP, 0, 0, 256, 97, setting.m_hWnd,
                                     nullptr));
    language.SetBackImages(L"bg_rightclick.9.png", L"list_bg_press.9.png", L"list_bg_over.9.png");
    language.SetCheckStyle(TRUE);
    language.SetCheckImages(L"ic_checkbox_normal.png", L"ic_checkbox_over.png");
    language.AddItem(L"English", L"", 2001);
    language.AddItem(L"Deutsch", L"", 2002);
    language.AddItem(L"\xD55C\xAD6D\xC5B4", L"", 2003);
    language.SetItemCheck(2001, 1);
    setting.SetBackImages(L"bg_rightclick.9.png", L"list_bg_press.9.png", L"list_bg_over.9.png");
    setting.SetSubMenuStyle(TRUE);
    setting.SetSubMenuImages(L"ic_tri_right_normal.png", L"ic_tri_right_over.png");
    setting.AddSeparator(L"line.9.png", 241, 2, 7, 28, 1);
    setting.AddItem(L"Language", L"", 2100, &language);
    setting.AddItem(L"Speed unit", L"km/h", 2101);
    setting.AddItem(L"Information", L"Ctrl+I", 2102);
    language.ShowWindow(SW_HIDE);
    setting.ShowWindow(SW_SHOWNA);
    Pump();
    const RECT& first = setting.GetItems().front().rect;
    MoveTo(setting, (first.left + first.right) / 2, (first.top + first.bottom) / 2);
    ASSERT_TRUE(language.IsWindowVisible());

    CTDropBriSpd speed;
    ASSERT_TRUE(speed.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), L"BriSpd",
                                  WS_POPUP, 420, 320, 151, 150, dialog.m_hWnd, nullptr));
    CTDropVol volume;
    ASSERT_TRUE(volume.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), L"Volume",
                                   WS_POPUP, 620, 320, 43, 116, dialog.m_hWnd, nullptr));
    speed.ShowWindow(SW_SHOWNA);
    volume.ShowWindow(SW_SHOWNA);
    Pump();

    RECT area = {0, 0, 960, 660};
    const std::string path = ShotPath("controls.png");
    EXPECT_TRUE(pt::SaveScreenPng(path, &area));
    std::printf("saved %s\n", path.c_str());
    for (CWnd* w : std::initializer_list<CWnd*>{&speed, &volume, &language, &setting, &list})
        w->DestroyWindow();
}

}  // namespace
