// The skinned labels in real windows, at 100 % and 150 %: the text blended over the parent's
// background and the nine-patch frame at its computed place, a label without a font, mouse
// input passed to the parent in the parent's coordinates, and texts set from another thread
// while the label's own thread paints (run under ThreadSanitizer too).
#include <atomic>
#include <thread>

#include "controls_support.h"
#include "face_support.h"
#include "ui/RStatic.h"
#include "ui/RStaticText.h"
#include "ui/TextBitmap.h"

namespace {

using namespace controltest;
using facetest::CFace;
using facetest::CountMismatches;

constexpr uint32_t kGround = 0xFF303844u;

// A parent that records the mouse messages its children pass on.
class CMouseParent : public CWnd {
public:
    std::vector<Received> mouse;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message >= WM_MOUSEMOVE && message <= WM_LBUTTONUP)
            mouse.push_back({message, wParam, lParam});
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class StaticText : public facetest::GroundTest {
protected:
    StaticText() : GroundTest(kGround) {}
    void SetUp() override
    {
        GroundTest::SetUp();
        LOGFONTW description = {};
        description.lfHeight = 13;
        description.lfWeight = FW_NORMAL;
        wcsncpy(description.lfFaceName, L"Verdana", LF_FACESIZE - 1);
        font = DPICreateFontIndirect(&description);
    }
    void TearDown() override
    {
        GroundTest::TearDown();
        DeleteObject(font);
    }
    void Create(CRStaticText& label, CWnd& parent, int x = 20, int y = 20)
    {
        ASSERT_TRUE(label.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE, {x, y, x + 207, y + 22},
                                    &parent, 1400));
    }
    // The label's face: the frame over the ground, the text bitmap at the label's place.
    std::unique_ptr<CFace> Expected(const CRStaticText& label, const std::wstring& text,
                                    COLORREF colour, int align, const wchar_t* frame)
    {
        CRect client;
        label.GetClientRect(&client);
        auto face = std::make_unique<CFace>(client.Width(), client.Height(), kGround);
        RECT area = client;
        if (frame) {
            CFace picture(client.Width(), client.Height(), 0);
            GetNinePatch()->Draw(picture.Surface(), frame, &area);
            face->Blend(picture.Surface(), 0, 0, client.Width(), client.Height());
        }
        SIZE size = {0, 0};
        HBITMAP bitmap = CreateTextBitmap(text, font, colour, &size);
        int x = area.left;
        int gap = area.right - area.left - size.cx;
        if (align == 1 && gap > 0)
            x += (gap + 1) / 2;
        int y = area.top + (area.bottom - area.top - size.cy) / 2 - 2;
        BlendTextBitmap(face->Surface(), bitmap, size, x, y);
        DeleteObject(bitmap);
        return face;
    }

    HFONT font = nullptr;
};

TEST_P(StaticText, BlendsTheTextAtItsPlaceOverTheFramedBackground)
{
    CRStaticText label;
    Create(label, dialog);
    CRButtonText style{L"REC_2018_09_10_12_30_45_F", RGB(230, 230, 230), 0, RGB(1, 2, 3), 0, 13, 1};
    label.SetBackground(L"bg_text.9.png", font, background->Dc(), &style);
    EXPECT_EQ(label.GetText(), style.strText);
    EXPECT_EQ(CountMismatches(Read(label), 0, 0,
                              *Expected(label, style.strText, style.clrNormal, 1, L"bg_text.9.png")),
              0);
    pt::SaveWindowPng(label.GetSafeHwnd(), ShotPath("label_centred_" + std::to_string(Percent()) + ".png"));

    // The same text again still paints; a long text starts at the rectangle's left.
    const std::wstring longText = L"A recording title far wider than the label itself";
    label.SetText(longText);
    EXPECT_EQ(CountMismatches(Read(label), 0, 0,
                              *Expected(label, longText, style.clrNormal, 1, L"bg_text.9.png")),
              0);
    // Left aligned without a frame: the text rectangle is the whole label.
    CRStaticText left;
    Create(left, dialog, 20, 60);
    CRButtonText leftStyle{L"12:30:45", RGB(255, 200, 0), 0, 0, 0, 13, 0};
    left.SetBackground(L"", font, background->Dc(), &leftStyle);
    EXPECT_EQ(CountMismatches(Read(left), 0, 0,
                              *Expected(left, L"12:30:45", leftStyle.clrNormal, 0, nullptr)),
              0);
    pt::SaveWindowPng(left.GetSafeHwnd(), ShotPath("label_left_" + std::to_string(Percent()) + ".png"));
}

TEST_P(StaticText, ALabelWithoutAFontStillShowsItsText)
{
    CRStaticText label;
    Create(label, dialog);
    label.SetBackground(L"", nullptr, background->Dc(), nullptr);
    label.SetText(L"Parsing 42 %");
    Pixels shown = Read(label);
    EXPECT_GT(shown.CountDiffering({0, 0, shown.size.cx, shown.size.cy}, kGround), 20);
    label.SetText(L"");
    shown = Read(label);
    EXPECT_EQ(shown.CountDiffering({0, 0, shown.size.cx, shown.size.cy}, kGround, 0), 0);
}

TEST_P(StaticText, PassesMouseInputToTheParentInTheParentsCoordinates)
{
    CMouseParent parent;
    ASSERT_TRUE(parent.Create(nullptr, L"", WS_CHILD | WS_VISIBLE, CRect(50, 50, 600, 400), &dialog,
                              1));
    CRStaticText label;
    Create(label, parent, 30, 40);
    label.SetBackground(L"", font, background->Dc(), nullptr);
    Click(label, 5, 6);
    CRect place;
    label.GetWindowRect(&place);
    parent.ScreenToClient(&place);
    const LPARAM at = MAKELPARAM(place.left + 5, place.top + 6);
    ASSERT_GE(parent.mouse.size(), 3u);
    std::vector<Received> last(parent.mouse.end() - 3, parent.mouse.end());
    EXPECT_EQ(last, (std::vector<Received>{{WM_MOUSEMOVE, 0, at},
                                           {WM_LBUTTONDOWN, MK_LBUTTON, at},
                                           {WM_LBUTTONUP, 0, at}}));
}

TEST_P(StaticText, TextsFromAnotherThreadArePaintedOnTheLabelsThread)
{
    CRStaticText label, reference;
    Create(label, dialog);
    Create(reference, dialog, 20, 60);
    CRButtonText style{L"", RGB(255, 255, 255), 0, 0, 0, 13, 1};
    label.SetBackground(L"bg_text.9.png", font, background->Dc(), &style);
    reference.SetBackground(L"bg_text.9.png", font, background->Dc(), &style);

    std::atomic<bool> done{false};
    std::thread parser([&] {
        for (int i = 0; i <= 100; ++i)
            label.SetText(std::to_wstring(i) + L" %");
        done = true;
    });
    while (!done) {
        std::wstring text = label.GetText();  // never torn: a whole number and " %"
        EXPECT_TRUE(text.empty() || text.back() == L'%') << std::string(text.begin(), text.end());
        Pump();
    }
    parser.join();
    Pump();
    EXPECT_EQ(label.GetText(), L"100 %");
    reference.SetText(L"100 %");
    Pixels a = Read(label), b = Read(reference);
    EXPECT_EQ(a.data, b.data);
}

TEST_P(StaticText, TheStaticControlIsPlacedInDesignUnits)
{
    CRStatic text;
    ASSERT_TRUE(text.DPICreateStatic(L"Front", SS_LEFT, {10, 10, 110, 30}, &dialog, 1500));
    CRect client;
    text.GetClientRect(&client);
    EXPECT_EQ(client.Size(), CSize(S(100), S(20)));
    std::wstring shown;
    text.GetWindowText(shown);
    EXPECT_EQ(shown, L"Front");
}

INSTANTIATE_TEST_SUITE_P(Scales, StaticText, ::testing::Values(100, 150), PercentName);

}  // namespace
