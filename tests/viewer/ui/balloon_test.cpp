// The tooltip balloon as a real layered pop-up, at 100 % and 150 %: its sizes for numbers,
// speeds and texts, a text change that keeps a shown balloon where its owner put it, its
// picture (the nine-patch background with the text in the content area), and a missing
// background picture, which is reported once and never as a message box.
#include "controls_support.h"
#include "face_support.h"
#include "ui/LayeredWindow.h"
#include "ui/TBalloon.h"
#include "ui/TextBitmap.h"

#include <cwchar>

namespace {

using namespace controltest;
using facetest::CFace;

class Balloon : public ControlTest {
protected:
    void Create(CTBalloon& balloon)
    {
        ASSERT_TRUE(balloon.CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, PopupWindowClass(),
                                     L"Balloon", WS_POPUP, 0, 0, 1, 1, dialog.m_hWnd, nullptr));
    }
    CSize ClientSize(const CTBalloon& balloon)
    {
        CRect client;
        balloon.GetClientRect(&client);
        return client.Size();
    }
    void Show(CTBalloon& balloon, int x, int y)
    {
        balloon.SetWindowPos(&CWnd::wndTopMost, x, y, 0, 0,
                             SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        Pump();
    }
};

TEST_P(Balloon, NumberAndSpeedTextsTakeTheirWidthsAndHideOnAChangeOfWidth)
{
    CTBalloon balloon;
    Create(balloon);
    struct Case {
        int number;
        int width;  // design units
    } cases[] = {{9, 26}, {10, 33}, {100, 40}, {-15, 33}, {-5, 26}, {99, 33}, {1000, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        Show(balloon, 300, 300);
        const bool sameWidth = ClientSize(balloon).cx == S(c.width);
        balloon.SetNumberText(c.number);
        EXPECT_EQ(ClientSize(balloon), CSize(S(c.width), S(27)));
        EXPECT_EQ(balloon.GetText(), std::to_wstring(c.number));
        EXPECT_EQ(balloon.IsWindowVisible() != 0, sameWidth);
    }

    balloon.SetSpeedText(2);
    EXPECT_EQ(balloon.GetText(), L"x0.7");
    EXPECT_EQ(ClientSize(balloon), CSize(S(45), S(27)));
    for (int index : {7, -1}) {
        balloon.SetSpeedText(index);
        EXPECT_EQ(balloon.GetText(), L"x0.7");
    }
    balloon.SetSpeedText(6);
    EXPECT_EQ(balloon.GetText(), L"x4.0");
}

TEST_P(Balloon, TextChangesKeepAShownBalloonInPlace)
{
    CTBalloon balloon;
    Create(balloon);
    balloon.SetText(L"Play");
    Show(balloon, 320, 240);
    balloon.SetText(L"Play the next recording");
    CRect shown;
    balloon.GetWindowRect(&shown);
    EXPECT_EQ(shown.TopLeft(), CPoint(320, 240));
    EXPECT_TRUE(balloon.IsWindowVisible());

    // The width is the text's own plus 25 units.
    HFONT font = nullptr;
    {
        LOGFONTW description = {};
        description.lfHeight = GetFontValue(L"TEXTSIZE_TBALOON");
        description.lfWeight = FW_NORMAL;
        wcsncpy(description.lfFaceName, GetUIFaceName().c_str(), LF_FACESIZE - 1);
        font = DPICreateFontIndirect(&description);
    }
    SIZE text = {0, 0};
    HBITMAP bitmap = CreateTextBitmap(L"Play the next recording", font, 0, &text);
    DeleteObject(bitmap);
    DeleteObject(font);
    EXPECT_EQ(ClientSize(balloon), CSize(text.cx + S(25), S(27)));
}

TEST_P(Balloon, ShowsTheBackgroundPictureWithBlackTextInItsContentArea)
{
    CTBalloon balloon;
    Create(balloon);
    balloon.SetNumberText(42);
    Show(balloon, 200, 200);
    CSize size = ClientSize(balloon);
    Pixels shown = Read(balloon);
    ASSERT_EQ(shown.size.cx, size.cx);

    CFace face(size.cx, size.cy, 0);
    RECT content = {0, 0, 0, 0};
    GetNinePatch()->Draw(face.Surface(), L"bg_info.9.png", &content);
    // Outside the content area the balloon is the picture, alpha included.
    int mismatches = 0, inside = 0, dark = 0;
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) {
            bool inContent = PtInRect(&content, POINT{x, y});
            uint32_t p = shown.At(x, y);
            if (!inContent)
                mismatches += p != face.At(x, y);
            else if (p >> 24 == 0xFF) {
                ++inside;
                dark += (p & 0xFF) < 0x60 && (p >> 8 & 0xFF) < 0x60;
            }
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(inside, 0);
    EXPECT_GT(dark, 5);  // the digits
    pt::SaveWindowPng(balloon.GetSafeHwnd(),
                      ShotPath("balloon_number_" + std::to_string(Percent()) + ".png"));
    balloon.SetSpeedText(3);
    pt::SaveWindowPng(balloon.GetSafeHwnd(),
                      ShotPath("balloon_speed_" + std::to_string(Percent()) + ".png"));
}

TEST_P(Balloon, AMissingBackgroundIsReportedOnceAndShowsNoBox)
{
    pt::AnswerMessageBoxes({});
    pt::ClearShownMessageBoxes();
    HMODULE skin = g_hSkinModule;
    g_hSkinModule = GetModuleHandleW(nullptr);  // the test program holds no pictures
    {
        CTBalloon balloon;
        Create(balloon);
        balloon.SetText(L"No picture");
        Show(balloon, 100, 100);
        for (int i = 0; i < 3; ++i) {
            balloon.Redraw();
            balloon.Invalidate();
            Pump();
        }
        // Reported already: this call finds the name in the list.
        EXPECT_FALSE(ReportMissingSkinImage(L"nine patch", L"BG_INFO.9.PNG"));
        // The text is still shown, black on a transparent ground.
        Pixels shown = Read(balloon);
        int covered = 0;
        for (uint32_t p : shown.data)
            covered += p >> 24 != 0;
        EXPECT_GT(covered, 5);
    }
    g_hSkinModule = skin;
    EXPECT_TRUE(pt::ShownMessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Scales, Balloon, ::testing::Values(100, 150), PercentName);

}  // namespace
