// The push button driven by injected input in a real window, at 100 % and 150 %: the picture of
// every state against the skin picture drawn as the button draws it, the clicks its parent
// receives (and those it does not), checked and disabled looks through enabling, captions,
// level icons, and the tooltip balloon's placement and its leave.
#include "controls_support.h"
#include "face_support.h"
#include "ui/RButton.h"

namespace {

using namespace controltest;
using facetest::CFace;
using facetest::CountMismatches;

constexpr uint32_t kGround = 0xFF3A5F7Cu;
constexpr UINT kId = 1100;

class Button : public facetest::GroundTest {
protected:
    Button() : GroundTest(kGround) {}

    // A play button at (x, y) design units, 86 x 86, with the parent background.
    void CreatePlay(CRButton& button, int x, int y, bool disabledPicture = true)
    {
        ASSERT_TRUE(button.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
                                     {x, y, x + 86, y + 86}, &dialog, kId));
        button.SetImages(L"btn_play_normal.png", L"btn_play_over.png", L"btn_play_press.png",
                         background->Dc(), disabledPicture ? L"btn_play_dim.png" : L"");
        Pump();
    }
    // Mismatching pixels between the button and a picture blended over the ground as the
    // button makes plain pictures: stretched onto design-sized surfaces, blended up.
    int Mismatches(const CRButton& button, const std::wstring& picture)
    {
        CRect client;
        button.GetClientRect(&client);
        CFace face(client.Width(), client.Height(), kGround);
        face.BlendPlain(picture, g_DPIScale.Unscale(client.Width()),
                        g_DPIScale.Unscale(client.Height()), 0, 0, client.Width(),
                        client.Height());
        return CountMismatches(Read(button), 0, 0, face);
    }
    void Shot(const CRButton& button, const std::string& state)
    {
        pt::SaveWindowPng(button.GetSafeHwnd(),
                          ShotPath("button_" + state + "_" + std::to_string(Percent()) + ".png"));
    }

};

TEST_P(Button, ShowsEachStatePictureAsThePointerMovesPressesAndLeaves)
{
    CRButton button;
    CreatePlay(button, 40, 40);
    CRect client;
    button.GetClientRect(&client);
    ASSERT_EQ(client.Width(), S(86));
    const int cx = client.Width() / 2, cy = client.Height() / 2;

    struct Step {
        const char* what;
        std::function<void()> act;
        int state;
        const wchar_t* picture;
    } steps[] = {
        {"normal", [] {}, CRButton::kNormal, L"btn_play_normal.png"},
        {"over", [&] { MoveTo(button, cx, cy); }, CRButton::kOver, L"btn_play_over.png"},
        {"pressed", [&] { Press(button, cx, cy, true); }, CRButton::kPressed,
         L"btn_play_press.png"},
        {"released", [&] { Press(button, cx, cy, false); }, CRButton::kOver,
         L"btn_play_over.png"},
        {"left", [&] { MoveTo(dialog, 600, 600); }, CRButton::kNormal, L"btn_play_normal.png"},
        {"disabled", [&] { button.EnableWindow(FALSE); }, CRButton::kDisabled,
         L"btn_play_dim.png"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(button.GetState(), step.state);
        EXPECT_EQ(Mismatches(button, step.picture), 0);
        Shot(button, step.what);
    }
    // One click, posted after the release.
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{kId}));
}

TEST_P(Button, PostsAClickOnlyForAReleaseOverTheButton)
{
    CRButton button;
    CreatePlay(button, 40, 40);
    const int c = S(43);
    std::vector<int> statesSeen;
    dialog.onReceive = [&](const Received&) { statesSeen.push_back(button.GetState()); };

    // Pressed, dragged off and released elsewhere: no command, normal again on the leave.
    Press(button, c, c, true);
    MoveTo(dialog, 600, 600);
    Press(dialog, 600, 600, false);
    EXPECT_TRUE(dialog.Commands().empty());
    EXPECT_EQ(button.GetState(), CRButton::kNormal);

    // Pressed elsewhere, released over the button: a command, received after the repaint.
    Press(dialog, 600, 600, true);
    MoveTo(button, c, c);
    Press(button, c, c, false);
    EXPECT_EQ(dialog.Commands(), (std::vector<WPARAM>{kId}));
    EXPECT_EQ(statesSeen, (std::vector<int>{CRButton::kOver}));

    // A locked button keeps its look but still posts.
    button.SetLock(TRUE);
    Click(button, c, c);
    EXPECT_EQ(button.GetState(), CRButton::kOver);
    EXPECT_EQ(dialog.Commands().size(), 2u);
}

TEST_P(Button, StaysCheckedThroughClicksAndAfterBeingDisabledAndEnabled)
{
    CRButton button;
    CreatePlay(button, 40, 40);
    button.SetCheckImage(L"btn_pause_normal.png");
    button.SetCheck(TRUE);
    EXPECT_EQ(button.GetState(), CRButton::kChecked);
    EXPECT_EQ(Mismatches(button, L"btn_pause_normal.png"), 0);
    Shot(button, "checked");

    const int c = S(43);
    Click(button, c, c);
    MoveTo(dialog, 600, 600);
    EXPECT_EQ(button.GetState(), CRButton::kChecked);
    EXPECT_EQ(Mismatches(button, L"btn_pause_normal.png"), 0);

    button.EnableWindow(FALSE);
    EXPECT_EQ(button.GetState(), CRButton::kDisabled);
    EXPECT_EQ(Mismatches(button, L"btn_play_dim.png"), 0);
    button.SetCheck(FALSE);  // nothing while disabled
    EXPECT_EQ(button.GetState(), CRButton::kDisabled);
    button.EnableWindow(TRUE);
    EXPECT_EQ(button.GetState(), CRButton::kChecked);
    EXPECT_EQ(Mismatches(button, L"btn_pause_normal.png"), 0);

    button.SetCheck(FALSE);
    EXPECT_EQ(button.GetState(), CRButton::kNormal);
    EXPECT_EQ(Mismatches(button, L"btn_play_normal.png"), 0);
}

// A state set by the owner shows at once, without waiting for a paint, in the picture of that
// state; the look follows no input here, so nothing is pumped.
TEST_P(Button, ASetStateShowsThatStatesPictureAtOnce)
{
    CRButton button;
    CreatePlay(button, 40, 40);
    button.SetCheckImage(L"btn_pause_normal.png");
    const struct {
        int state;
        const wchar_t* picture;
    } cases[] = {
        {CRButton::kOver, L"btn_play_over.png"},      {CRButton::kPressed, L"btn_play_press.png"},
        {CRButton::kChecked, L"btn_pause_normal.png"}, {CRButton::kDisabled, L"btn_play_dim.png"},
        {CRButton::kNormal, L"btn_play_normal.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        button.SetState(c.state);
        EXPECT_EQ(button.GetState(), c.state);
        EXPECT_EQ(Mismatches(button, c.picture), 0);
    }
    EXPECT_TRUE(dialog.Commands().empty());
}

// A new caption text shows at the next redraw, in the place, font and colour of the old one:
// the button then looks exactly like one made with that text.
TEST_P(Button, ANewCaptionShowsAtTheNextRedrawAsIfGivenAtTheStart)
{
    const CRButtonText caption{L"Event", RGB(255, 255, 255), RGB(90, 90, 90), RGB(255, 230, 0),
                               RGB(0, 255, 0), 13, 1};
    auto make = [&](CRButton& button, int x, const wchar_t* text) {
        ASSERT_TRUE(button.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
                                     {x, 10, x + 81, 37}, &dialog, 1001));
        CRButtonText given = caption;
        given.strText = text;
        button.SetImages9(L"list_menu01_normal.9.png", L"list_menu01_over.9.png",
                          L"list_menu01_press.9.png", background->Dc(), &given,
                          L"list_menu01_dis.9.png");
    };
    CRButton renamed, parking, event;
    make(renamed, 10, L"Event");
    make(event, 110, L"Event");
    make(parking, 210, L"Parking");
    Pump();
    const Pixels before = Read(renamed);
    ASSERT_EQ(before.data, Read(event).data);
    ASSERT_NE(before.data, Read(parking).data);

    renamed.SetCaption(L"Parking");
    EXPECT_EQ(Read(renamed).data, before.data);  // no repaint of its own
    renamed.Redraw();
    EXPECT_EQ(Read(renamed).data, Read(parking).data);
    // Later paints keep it.
    renamed.Invalidate(FALSE);
    Pump();
    EXPECT_EQ(Read(renamed).data, Read(parking).data);
}

TEST_P(Button, WithoutADisabledPictureDisablingChangesNothingVisible)
{
    CRButton button;
    CreatePlay(button, 40, 40, false);
    button.EnableWindow(FALSE);
    EXPECT_EQ(button.GetState(), CRButton::kNormal);
    EXPECT_EQ(Mismatches(button, L"btn_play_normal.png"), 0);
    // A disabled window gets no input: its parent gets the click, not a command.
    Click(button, S(43), S(43));
    EXPECT_TRUE(dialog.Commands().empty());
}

TEST_P(Button, NinePatchFaceWithACaptionInStateColours)
{
    CRButton button;
    ASSERT_TRUE(button.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
                                 {10, 10, 91, 37}, &dialog, 1001));
    CRButtonText caption{L"Event", RGB(255, 255, 255), RGB(90, 90, 90), RGB(255, 230, 0),
                         RGB(0, 255, 0), 13, 1};
    button.SetImages9(L"list_menu01_normal.9.png", L"list_menu01_over.9.png",
                      L"list_menu01_press.9.png", background->Dc(), &caption,
                      L"list_menu01_dis.9.png");
    Pump();
    CRect client;
    button.GetClientRect(&client);
    // Below the caption's band the face is the nine-patch drawn at design size, blended up.
    CFace face(client.Width(), client.Height(), kGround);
    face.BlendNinePatch(L"list_menu01_normal.9.png", 81, 27, 0, 0, client.Width(),
                        client.Height());
    Pixels normal = Read(button);
    int mismatches = 0;
    for (int x = 0; x < client.Width(); ++x)
        for (int y : {0, 1, client.Height() - 1})
            mismatches += (normal.At(x, y) & 0xFFFFFF) != (face.At(x, y) & 0xFFFFFF);
    EXPECT_EQ(mismatches, 0);

    // Pixels within a small distance of the caption colour.
    auto colourCount = [&](const Pixels& p, COLORREF colour) {
        uint32_t want = 0xFF000000u | GetRValue(colour) << 16 | GetGValue(colour) << 8 |
                        GetBValue(colour);
        RECT all = {0, 0, client.Width(), client.Height()};
        return client.Width() * client.Height() - p.CountDiffering(all, want, 40);
    };
    EXPECT_GT(colourCount(normal, caption.clrNormal), 10);
    Shot(button, "caption_normal");
    MoveTo(button, client.Width() / 2, client.Height() / 2);
    Pixels over = Read(button);
    EXPECT_GT(colourCount(over, caption.clrOver), 10);
    EXPECT_EQ(colourCount(over, caption.clrNormal), 0);
    Shot(button, "caption_over");
    Press(button, client.Width() / 2, client.Height() / 2, true);
    EXPECT_GT(colourCount(Read(button), caption.clrPress), 10);
    Shot(button, "caption_pressed");
    Press(button, client.Width() / 2, client.Height() / 2, false);
    MoveTo(dialog, 600, 600);
    button.EnableWindow(FALSE);
    EXPECT_GT(colourCount(Read(button), caption.clrDisabled), 10);
    Shot(button, "caption_disabled");
}

TEST_P(Button, DrawsTheLevelIconOnlyForLevelsZeroToSix)
{
    CRButton button;
    ASSERT_TRUE(button.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
                                 {10, 10, 46, 34}, &dialog, 1110));
    button.SetImages(L"btn_volume_normal.png", L"btn_volume_over.png", L"btn_volume_press.png",
                     background->Dc(), L"btn_volume_dis.png");
    button.SetLevelImages(L"ic_volume_mute.png", L"ic_volume_01.png", L"ic_volume_02.png",
                          L"ic_volume_03.png", L"ic_volume_04.png", L"ic_volume_05.png",
                          L"ic_volume_dis.png", 18, 4);
    EXPECT_EQ(button.GetLevel(), 0);
    for (int level : {3, 5, 7}) {
        SCOPED_TRACE(level);
        button.SetLevel(level);
        CRect client;
        button.GetClientRect(&client);
        CFace face(client.Width(), client.Height(), kGround);
        face.BlendPlain(L"btn_volume_normal.png", g_DPIScale.Unscale(client.Width()),
                        g_DPIScale.Unscale(client.Height()), 0, 0, client.Width(),
                        client.Height());
        if (level <= 6) {
            COffscreenDC icon;
            CDC dc;
            dc.CreateCompatibleDC(nullptr);
            LoadSkinImage(&dc, icon, L"ic_volume_0" + std::to_wstring(level) + L".png");
            face.Blend(icon, 18, 4, icon.GetWidth(), icon.GetHeight());
        }
        EXPECT_EQ(CountMismatches(Read(button), 0, 0, face), 0);
        Shot(button, "level" + std::to_string(level));
    }
}

TEST_P(Button, TooltipBalloonBelowTheButtonKeptOnTheMonitorAndHiddenOnTheLeave)
{
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    struct Case {
        const char* what;
        int x;  // design units in the dialog
        bool locked;
    } cases[] = {{"left", 40, false}, {"locked", 140, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CRButton button;
        CreatePlay(button, c.x, 40);
        button.SetTooltip(L"Play");
        button.SetTooltipOffset(3, 5);
        button.SetLock(c.locked ? TRUE : FALSE);
        CTBalloon& balloon = button.GetBalloon();
        ASSERT_NE(balloon.GetSafeHwnd(), nullptr);
        EXPECT_FALSE(balloon.IsWindowVisible());
        MoveTo(button, S(10), S(10));
        ASSERT_TRUE(balloon.IsWindowVisible());
        CRect place, shown;
        button.GetWindowRect(&place);
        balloon.GetWindowRect(&shown);
        EXPECT_EQ(shown.left, place.left + 5 + 8);
        EXPECT_EQ(shown.top, place.bottom + 3 + 8);
        EXPECT_EQ(shown.Height(), S(27));
        EXPECT_EQ(button.GetState(), c.locked ? CRButton::kNormal : CRButton::kOver);
        // Clicking the balloon activates nothing.
        HWND active = GetActiveWindow();
        Click(balloon, 3, 3);
        EXPECT_EQ(GetActiveWindow(), active);
        MoveTo(dialog, 600, 600);
        EXPECT_FALSE(balloon.IsWindowVisible());
    }

    // Near the right edge of the screen the balloon moves left to end at the edge; the
    // dialog puts the button there.
    dialog.MoveWindow(screenWidth - S(100), 0, S(100), S(200));
    Pump();
    CRButton button;
    CreatePlay(button, 5, 5);
    button.SetTooltip(L"A longer tooltip text");
    MoveTo(button, S(10), S(10));
    CRect shown;
    button.GetBalloon().GetWindowRect(&shown);
    EXPECT_EQ(shown.right, screenWidth);
    pt::SaveScreenPng(ShotPath("button_tooltip_" + std::to_string(Percent()) + ".png"));
}

INSTANTIATE_TEST_SUITE_P(Scales, Button, ::testing::Values(100, 150), PercentName);

}  // namespace
