// The display scale and the scaled-window mix-in: conversions at several scales, the scale
// before it is set, fonts and rectangles of the caller left alone, and windows created, placed
// and moved in design units.
#include <gtest/gtest.h>

#include "platform/mfc.h"
#include "platform/testing.h"
#include "ui/DPIScale.h"
#include "ui/DPIWnd.h"

namespace {

TEST(DPIScale, ConvertsBothWaysWithRoundingOfHalvesAwayFromZero)
{
    struct Case {
        int dpi;
        int percent;
        int design;
        int pixels;    // Scale(design)
        int unscaled;  // Unscale(pixels)
    };
    const Case cases[] = {
        {96, 100, 7, 7, 7},         {96, 100, -965, -965, -965}, {144, 150, 7, 11, 7},
        {144, 150, -7, -11, -7},    {144, 150, 1, 2, 1},         {144, 150, 0, 0, 0},
        {120, 125, 965, 1206, 965}, {192, 200, 711, 1422, 711},  {72, 75, 3, 2, 3},
        {72, 75, 2, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.dpi << " dpi, " << c.design);
        CDPIScale scale;
        EXPECT_EQ(scale.SetDPI(c.dpi), c.percent);
        EXPECT_EQ(scale.GetPercent(), c.percent);
        EXPECT_EQ(scale.Scale(c.design), c.pixels);
        EXPECT_EQ(scale.Unscale(c.pixels), c.unscaled);
    }

    // Rectangles and points convert corner by corner, so a width may differ by one pixel from
    // the scaled width.
    CDPIScale scale;
    scale.SetDPI(144);
    RECT rect = {1, 3, 6, 8};  // 5 wide
    scale.ScaleRect(&rect);
    EXPECT_EQ(rect.left, 2);
    EXPECT_EQ(rect.top, 5);
    EXPECT_EQ(rect.right, 9);  // 7 wide, where 5 x 1.5 = 7.5 rounds to 8
    EXPECT_EQ(rect.bottom, 12);
    scale.UnscaleRect(&rect);
    EXPECT_EQ(rect.left, 1);
    EXPECT_EQ(rect.right, 6);
    POINT point = {-7, 7};
    scale.ScalePoint(&point);
    EXPECT_EQ(point.x, -11);
    EXPECT_EQ(point.y, 11);
    scale.UnscalePoint(&point);
    EXPECT_EQ(point.x, -7);
}

TEST(DPIScale, KeepsTheFirstPercentAndAnswersZeroBeforeAnyIsSet)
{
    CDPIScale scale;
    EXPECT_EQ(scale.GetPercent(), 0);
    EXPECT_EQ(scale.Scale(965), 0);
    // No scale to divide by yet: 0, as Scale answers, rather than a division by zero.
    EXPECT_EQ(scale.Unscale(965), 0);
    EXPECT_EQ(scale.Unscale(-1), 0);
    RECT rect = {10, 20, 30, 40};
    scale.UnscaleRect(&rect);
    EXPECT_EQ(rect.right, 0);

    EXPECT_EQ(scale.SetDPI(144), 150);
    EXPECT_EQ(scale.SetDPI(96), 100);
    EXPECT_EQ(scale.GetPercent(), 100);
    EXPECT_EQ(scale.GetLastPercent(), 100);
    EXPECT_EQ(scale.GetBasePercent(), 150);
    // A resolution that rounds to 0 percent leaves no divisor either.
    EXPECT_EQ(scale.SetDPI(0), 0);
    EXPECT_EQ(scale.Unscale(100), 0);
}

// The cell height the font really has, measured.
int CellHeight(HFONT font)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size = {};
    GetTextExtentPoint32W(dc, L"Hg", 2, &size);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return size.cy;
}

class DPIScaled : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        g_DPIScale.SetDPI(144);
    }
    void TearDown() override
    {
        g_DPIScale.SetDPI(96);
        platform::testing::PinFontFile("");
    }
};

TEST_F(DPIScaled, AFontDescriptionServesAgainUnchanged)
{
    LOGFONTW description = {};
    description.lfHeight = 20;
    description.lfWeight = FW_NORMAL;
    wcscpy(description.lfFaceName, L"tahoma");
    HFONT first = DPICreateFontIndirect(&description);
    HFONT second = DPICreateFontIndirect(&description);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(description.lfHeight, 20);
    // Both are 30 pixels high, the second not scaled twice to 45.
    EXPECT_EQ(CellHeight(first), 30);
    EXPECT_EQ(CellHeight(second), 30);
    DeleteObject(first);
    DeleteObject(second);
    EXPECT_EQ(DPICreateFontIndirect(nullptr), nullptr);
}

class Control : public CWnd, public CDPIWnd {
public:
    Control() : CDPIWnd(this) {}
};

class Label : public CStatic, public CDPIWnd {
public:
    Label() : CDPIWnd(this) {}
};

CRect WindowRectIn(const CWnd& window, const CWnd& parent)
{
    CRect rect;
    window.GetWindowRect(&rect);
    parent.ScreenToClient(&rect);
    return rect;
}

TEST_F(DPIScaled, WindowsAreCreatedAndPlacedInDesignUnits)
{
    CWnd dialog;
    ASSERT_TRUE(dialog.CreateEx(0, nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 1448, 1067, nullptr,
                                nullptr));
    Control button;
    const RECT design = {10, 6, 40, 32};
    // The first call creates the window at the scaled place and gives Create's result.
    EXPECT_TRUE(button.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE, design, &dialog, 1306));
    EXPECT_EQ(WindowRectIn(button, dialog), CRect(15, 9, 60, 48));
    EXPECT_EQ(CRect(design), CRect(10, 6, 40, 32));  // the caller's rectangle is left alone
    // The same rectangle again moves the window there, scaled once, and answers 0.
    button.MoveWindow(0, 0, 5, 5);
    EXPECT_FALSE(button.DPICreate(nullptr, nullptr, WS_CHILD | WS_VISIBLE, design, &dialog, 1306));
    EXPECT_EQ(WindowRectIn(button, dialog), CRect(15, 9, 60, 48));
    EXPECT_EQ(dialog.GetDlgItem(1306), &button);

    EXPECT_TRUE(button.DPIMoveWindow(100, 200, 27, 27));
    EXPECT_EQ(WindowRectIn(button, dialog), CRect(150, 300, 191, 341));
    EXPECT_TRUE(button.DPISetWindowPos(nullptr, 1, 2, 3, 4, SWP_NOZORDER | SWP_NOACTIVATE));
    EXPECT_EQ(WindowRectIn(button, dialog), CRect(2, 3, 7, 9));

    // Pop-ups through the extended creation, in screen coordinates.
    Control menu;
    EXPECT_TRUE(menu.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, AfxRegisterWndClass(0), L"File",
                                 WS_POPUP, 6, 30, 150, 100, dialog.m_hWnd, nullptr));
    CRect rect;
    menu.GetWindowRect(&rect);
    EXPECT_EQ(rect, CRect(9, 45, 234, 195));
    EXPECT_FALSE(menu.DPICreateEx(0, nullptr, L"", WS_POPUP, 0, 0, 10, 10, dialog.m_hWnd, nullptr));
    menu.GetWindowRect(&rect);
    EXPECT_EQ(rect, CRect(0, 0, 15, 15));

    // Static labels through the static control's own creation.
    Label version;
    EXPECT_TRUE(version.DPICreateStatic(L"Ver 1.0.0.02", WS_CHILD | WS_VISIBLE, CRect(0, 0, 90, 16),
                                        &dialog, 1165));
    EXPECT_EQ(WindowRectIn(version, dialog), CRect(0, 0, 135, 24));
    std::wstring text;
    version.GetWindowText(text);
    EXPECT_EQ(text, L"Ver 1.0.0.02");
    // Not a static control: nothing happens.
    EXPECT_FALSE(button.DPICreateStatic(L"", 0, design, &dialog, 1));

    // Without a window to place, every operation does nothing.
    CDPIWnd unattached;
    EXPECT_FALSE(unattached.DPICreate(nullptr, nullptr, WS_CHILD, design, &dialog, 9));
    EXPECT_FALSE(unattached.DPIMoveWindow(0, 0, 1, 1));
    EXPECT_FALSE(unattached.DPISetWindowPos(nullptr, 0, 0, 1, 1, 0));
    EXPECT_EQ(dialog.GetDlgItem(9), nullptr);
    dialog.DestroyWindow();
}

}  // namespace
