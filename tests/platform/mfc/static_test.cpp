// CStatic and the "Static" class: the colours its parent chooses, fonts, alignment, repainting
// on new text, and hit testing, read back from the control's pixels.
#include <algorithm>

#include "framework.h"

using namespace mfctest;

namespace {

constexpr COLORREF kParentColour = RGB(0, 0, 255);

// Paints itself blue (its class brush) and answers WM_CTLCOLORSTATIC as told.
class Panel : public CWnd {
public:
    enum class Brush { Default, Solid, Null };
    Brush brush = Brush::Default;
    COLORREF textColour = RGB(0, 0, 0);
    COLORREF fill = kParentColour;  // what the panel paints itself with
    HBRUSH solid = CreateSolidBrush(RGB(0, 128, 0));
    ~Panel() override
    {
        DestroyWindow();
        DeleteObject(solid);
    }

protected:
    BOOL OnEraseBkgnd(CDC* dc) override
    {
        CRect client;
        GetClientRect(&client);
        dc->FillSolidRect(&client, fill);
        return TRUE;
    }
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT type) override
    {
        HBRUSH base = CWnd::OnCtlColor(dc, control, type);
        if (type != CTLCOLOR_STATIC || brush == Brush::Default)
            return base;
        dc->SetTextColor(textColour);
        if (brush == Brush::Solid)
            return solid;
        dc->SetBkMode(TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
};

// The bounds of the pixels that differ from `background`; empty when there are none.
RECT Ink(const Pixels& p, uint32_t background)
{
    RECT r = {p.size.cx, p.size.cy, 0, 0};
    for (int y = 0; y < p.size.cy; ++y)
        for (int x = 0; x < p.size.cx; ++x)
            if (p.At(x, y) != background) {
                r.left = std::min<LONG>(r.left, x), r.top = std::min<LONG>(r.top, y);
                r.right = std::max<LONG>(r.right, x + 1),
                r.bottom = std::max<LONG>(r.bottom, y + 1);
            }
    return r.right > r.left ? r : RECT{0, 0, 0, 0};
}

bool HasPixel(const Pixels& p, bool (*test)(uint32_t))
{
    return std::any_of(p.data.begin(), p.data.end(),
                       [&](uint32_t v) { return test(v & 0xFFFFFF); });
}

class MfcStatic : public ::testing::Test {
protected:
    void SetUp() override
    {
        PinTestFont();
        m_blue = CreateSolidBrush(kParentColour);
        ASSERT_TRUE(m_panel.CreateEx(0, AfxRegisterWndClass(0, nullptr, m_blue), L"",
                                     WS_POPUP | WS_VISIBLE, 40, 40, 400, 200, nullptr, nullptr));
        m_font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                             L"DejaVu Sans");
    }
    void TearDown() override
    {
        m_panel.DestroyWindow();
        DeleteObject(m_font);
        DeleteObject(m_blue);
        platform::testing::PinFontFile("");
    }

    // A label with the test font, painted.
    void Make(CStatic& label, LPCWSTR text, DWORD style, const RECT& rect)
    {
        ASSERT_TRUE(label.Create(text, WS_VISIBLE | style, rect, &m_panel, 1150));
        label.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
        Pump();
    }

    Panel m_panel;
    HBRUSH m_blue = nullptr;
    HFONT m_font = nullptr;
};

TEST_F(MfcStatic, TheParentsColoursPaintTheControl)
{
    struct Case {
        const char* name;
        Panel::Brush brush;
        uint32_t background;      // of the control's pixels away from the text
        bool (*inked)(uint32_t);  // some text pixel is like this
    };
    const Case cases[] = {
        // No answer of its own: the default colours, black on the button face.
        {"default", Panel::Brush::Default, 0xF0F0F0, [](uint32_t v) { return v == 0; }},
        {"solid", Panel::Brush::Solid, 0x008000,
         [](uint32_t v) { return (v >> 16) > 0xC0 && ((v >> 8) & 0xFF) < 0x60; }},
        // The null brush erases nothing: the parent's blue shows behind the red text.
        {"null", Panel::Brush::Null, 0x0000FF,
         [](uint32_t v) { return (v >> 16) > 0xC0 && (v & 0xFF) < 0x40; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_panel.brush = c.brush;
        m_panel.textColour = RGB(255, 0, 0);
        CStatic label;
        Make(label, L"Front", SS_LEFT, CRect(10, 10, 130, 40));
        Pixels p = Read(label.m_hWnd);
        ASSERT_EQ(p.size.cx, 120);
        EXPECT_EQ(p.At(119, 29), c.background);
        EXPECT_EQ(p.At(0, 29), c.background);
        EXPECT_TRUE(HasPixel(p, c.inked));
        label.DestroyWindow();
    }
}

// A label with the null brush over a part of its parent that the parent paints anew shows the
// new paint, with its text over it: the parent's update region reaches the label, which paints
// after the parent. A parent with WS_CLIPCHILDREN keeps its update region to itself, and the
// label keeps what it showed.
TEST_F(MfcStatic, ALabelWithTheNullBrushShowsWhatItsParentPaintsBeneathItLater)
{
    constexpr COLORREF kNewColour = RGB(0, 160, 80);
    struct Case {
        const char* name;
        DWORD parentStyle;
        RECT invalid;  // of the panel; the label stands at (10, 10, 130, 40)
        int newFrom;   // the label's rows from here down show the new colour, the others blue
    };
    const Case cases[] = {
        {"whole parent", 0, {0, 0, 400, 200}, 0},
        {"lower half of the label", 0, {0, 25, 400, 200}, 15},
        {"parent clipping its children", WS_CLIPCHILDREN, {0, 0, 400, 200}, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_panel.brush = Panel::Brush::Null;
        m_panel.textColour = RGB(255, 0, 0);
        m_panel.fill = kParentColour;
        SetWindowLongW(m_panel.m_hWnd, GWL_STYLE, WS_POPUP | WS_VISIBLE | c.parentStyle);
        m_panel.Invalidate();
        CStatic label;
        Make(label, L"Front", SS_LEFT, CRect(10, 10, 130, 40));
        ASSERT_EQ(Read(label.m_hWnd).At(119, 29), 0x0000FFu);

        m_panel.fill = kNewColour;
        m_panel.InvalidateRect(&c.invalid, TRUE);
        Pump();
        const Pixels shown = Read(label.m_hWnd);
        ASSERT_EQ(shown.size.cy, 30);
        for (int y = 0; y < shown.size.cy; ++y)
            ASSERT_EQ(shown.At(119, y), y >= c.newFrom ? Rgb(kNewColour) : 0x0000FFu)
                << "row " << y;
        EXPECT_TRUE(HasPixel(shown, [](uint32_t v) { return (v >> 16) > 0xC0; }))
            << "the text shows over the background";
        label.DestroyWindow();
    }
    SetWindowLongW(m_panel.m_hWnd, GWL_STYLE, WS_POPUP | WS_VISIBLE);
}

TEST_F(MfcStatic, FontsAlignmentAndNewTextRepaint)
{
    // The text's width in the test font, for where the alignments put it.
    HDC measure = CreateCompatibleDC(nullptr);
    SelectObject(measure, m_font);
    SIZE extent = {};
    GetTextExtentPoint32W(measure, L"Ver 1.0.0.02", 12, &extent);
    DeleteDC(measure);
    ASSERT_GT(extent.cx, 20);

    struct Case {
        const char* name;
        DWORD style;
        int left;  // expected left edge of the ink, within 2 pixels
    };
    const Case cases[] = {
        {"left", SS_LEFT, 0},
        {"centre", SS_CENTER, (200 - extent.cx) / 2},
        {"right", SS_RIGHT, 200 - extent.cx},
        {"simple", SS_SIMPLE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CStatic label;
        Make(label, L"Ver 1.0.0.02", c.style, CRect(10, 10, 210, 40));
        RECT ink = Ink(Read(label.m_hWnd), 0xF0F0F0);
        EXPECT_NEAR(ink.left, c.left, 2);
        EXPECT_LE(ink.right, 200);
        label.DestroyWindow();
    }

    // A bigger font draws bigger letters; the control reports the font it was given.
    CStatic label;
    Make(label, L"Front", SS_LEFT, CRect(10, 10, 210, 60));
    int smallHeight = Ink(Read(label.m_hWnd), 0xF0F0F0).bottom;
    HFONT big =
        CreateFontW(-30, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"DejaVu Sans");
    label.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(big), TRUE);
    Pump();
    EXPECT_EQ(reinterpret_cast<HFONT>(label.SendMessage(WM_GETFONT)), big);
    EXPECT_GT(Ink(Read(label.m_hWnd), 0xF0F0F0).bottom, smallHeight + 10);

    // New text shows at the next paint; an emptied one leaves the background alone.
    label.SetWindowText(L"");
    Pump();
    EXPECT_EQ(Ink(Read(label.m_hWnd), 0xF0F0F0).right, 0);
    label.SetWindowText(L"Rear");
    Pump();
    EXPECT_GT(Ink(Read(label.m_hWnd), 0xF0F0F0).right, 0);
    std::wstring text;
    label.GetWindowText(text);
    EXPECT_EQ(text, L"Rear");
    label.DestroyWindow();
    DeleteObject(big);
}

TEST_F(MfcStatic, PrefixesAndHitTesting)
{
    // "&" is a prefix unless SS_NOPREFIX, which draws it.
    CStatic prefixed, plain;
    Make(prefixed, L"A&&&B", SS_LEFT, CRect(0, 0, 200, 30));
    Make(plain, L"A&&&B", SS_LEFT | SS_NOPREFIX, CRect(0, 40, 200, 70));
    EXPECT_GT(Ink(Read(plain.m_hWnd), 0xF0F0F0).right, Ink(Read(prefixed.m_hWnd), 0xF0F0F0).right);

    // Without SS_NOTIFY a label lets the mouse through to what lies beneath.
    CStatic notifying;
    Make(notifying, L"x", SS_NOTIFY, CRect(0, 80, 50, 100));
    EXPECT_EQ(plain.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(45, 45)), HTTRANSPARENT);
    EXPECT_EQ(notifying.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(45, 125)), HTCLIENT);
}

}  // namespace
