// The system's "Button" and "Edit" controls, driven by injected mouse and keys: what the parent
// is told, the text and selection they keep, and the pixels they draw in the parent's colours.
#include <string>
#include <utility>
#include <vector>

#include "harness.h"

using namespace usertest;
using platform::testing::AdvanceClock;
using platform::testing::InjectClick;
using platform::testing::InjectKey;
using platform::testing::InjectKeys;
using platform::testing::InjectMouseButton;
using platform::testing::InjectMouseMove;
using platform::testing::MouseButton;
using platform::testing::PumpMessages;

namespace {

constexpr uint32_t kGreen = 0x00FF00, kBlue = 0x0000FF;

class UserControls : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        platform::testing::UseManualClock();
        AdvanceClock(10000);  // no double click across tests
        red = CreateSolidBrush(RGB(255, 0, 0));
        green = CreateSolidBrush(RGB(0, 255, 0));
        blue = CreateSolidBrush(RGB(0, 0, 255));
        // The parent records its notifications and answers each colour request with a brush
        // of its own: red for buttons, green for statics, blue for edit fields.
        parent = Make("P", {WS_POPUP | WS_VISIBLE, 0, {0, 0, 300, 200}, nullptr, 0,
                            [this](HWND, UINT message, WPARAM wParam, LPARAM lParam)
                                -> std::optional<LRESULT> {
                                switch (message) {
                                    case WM_COMMAND:
                                        commands.push_back({LOWORD(wParam), HIWORD(wParam)});
                                        sources.push_back(reinterpret_cast<HWND>(lParam));
                                        return 0;
                                    case WM_CTLCOLORBTN:
                                        requests.push_back(message);
                                        return reinterpret_cast<LRESULT>(red);
                                    case WM_CTLCOLORSTATIC:
                                        requests.push_back(message);
                                        return reinterpret_cast<LRESULT>(green);
                                    case WM_CTLCOLOREDIT:
                                        requests.push_back(message);
                                        return reinterpret_cast<LRESULT>(blue);
                                    default:
                                        return std::nullopt;
                                }
                            }});
        font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                           0, L"DejaVu Sans");
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        for (HGDIOBJ o : {HGDIOBJ(red), HGDIOBJ(green), HGDIOBJ(blue), HGDIOBJ(font)})
            DeleteObject(o);
        TakeLog();
    }

    HWND Control(const wchar_t* className, const wchar_t* text, DWORD style, RECT r, int id,
                 DWORD exStyle = 0)
    {
        HWND control = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style,
                                       r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                                       reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                       nullptr, nullptr);
        if (control)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        PumpMessages();
        return control;
    }

    std::vector<uint32_t> pixels;
    SIZE size = {0, 0};
    uint32_t Pixel(HWND window, int x, int y)
    {
        EXPECT_TRUE(platform::testing::ReadWindowPixels(window, &pixels, &size));
        return pixels[size_t(y) * size_t(size.cx) + size_t(x)] & 0xFFFFFF;
    }
    // How many pixels of a row differ from `background` between x0 and x1.
    int Marks(HWND window, int y, int x0, int x1, uint32_t background)
    {
        int marks = 0;
        for (int x = x0; x < x1; ++x)
            marks += Pixel(window, x, y) != background;
        return marks;
    }

    std::wstring Text(HWND window)
    {
        wchar_t buffer[256] = {};
        SendMessageW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }
    std::pair<DWORD, DWORD> Selection(HWND edit)
    {
        DWORD from = 99, to = 99;
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                     reinterpret_cast<LPARAM>(&to));
        return {from, to};
    }
    void Type(const char* keys)
    {
        for (const char* k = keys; *k; ++k)
            InjectKeys({UINT(*k >= 'a' && *k <= 'z' ? *k - 'a' + 'A' : *k)});
        PumpMessages();
    }

    HWND parent = nullptr;
    HBRUSH red = nullptr, green = nullptr, blue = nullptr;
    HFONT font = nullptr;
    std::vector<std::pair<WORD, WORD>> commands;  // (id, code)
    std::vector<HWND> sources;
    std::vector<UINT> requests;
};

TEST_F(UserControls, PushButtonsReportAClickOnlyForAPressAndReleaseOverThem)
{
    HWND button = Control(L"BUTTON", L"OK", BS_PUSHBUTTON, {10, 10, 90, 40}, 7);
    ASSERT_NE(button, nullptr);
    using Steps = std::vector<std::pair<POINT, bool>>;  // pointer at, button down
    struct Case {
        const char* what;
        Steps steps;
        size_t clicks;
    } cases[] = {
        {"pressed and released inside", {{{50, 25}, true}, {{50, 25}, false}}, 1},
        {"released outside", {{{50, 25}, true}, {{150, 100}, false}}, 0},
        {"dragged out and back", {{{50, 25}, true}, {{150, 100}, true}, {{60, 30}, false}}, 1},
        {"pressed outside, released inside", {{{150, 100}, true}, {{50, 25}, false}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        commands.clear();
        for (const auto& [at, down] : c.steps) {
            InjectMouseMove(at.x, at.y);
            InjectMouseButton(at.x, at.y, MouseButton::Left, down);
            PumpMessages();
        }
        ASSERT_EQ(commands.size(), c.clicks);
        if (c.clicks) {
            EXPECT_EQ(commands[0], std::make_pair(WORD(7), WORD(BN_CLICKED)));
            EXPECT_EQ(sources[0], button);
        }
        AdvanceClock(1000);
    }
    // Held down over it, the button shows itself pushed in; released, it comes back.
    InjectMouseMove(50, 25);
    InjectMouseButton(50, 25, MouseButton::Left, true);
    PumpMessages();
    EXPECT_EQ(Pixel(button, 5, 5), 0xCCE4F7u);
    InjectMouseButton(50, 25, MouseButton::Left, false);
    PumpMessages();
    EXPECT_EQ(Pixel(button, 5, 5), 0xE1E1E1u);

    // The click gave it the focus: Space clicks too, on its release.
    EXPECT_EQ(GetFocus(), button);
    commands.clear();
    InjectKey(VK_SPACE, true);
    PumpMessages();
    EXPECT_TRUE(commands.empty());
    InjectKey(VK_SPACE, false);
    PumpMessages();
    EXPECT_EQ(commands.size(), 1u);

    // Disabled, it gets no input at all.
    EnableWindow(button, FALSE);
    commands.clear();
    InjectClick(50, 25);
    PumpMessages();
    EXPECT_TRUE(commands.empty());
}

TEST_F(UserControls, ButtonsDrawTheirKindInTheParentsColours)
{
    HWND plain = Control(L"Button", L"Plain", BS_PUSHBUTTON, {10, 10, 90, 40}, 1);
    HWND preferred = Control(L"Button", L"Go", BS_DEFPUSHBUTTON, {100, 10, 180, 40}, 2);
    HWND group = Control(L"Button", L"Group", BS_GROUPBOX, {10, 60, 200, 150}, 3);
    ASSERT_TRUE(plain && preferred && group);
    // A face with a thin grey border; the default button's border is blue and two pixels wide.
    EXPECT_EQ(Pixel(plain, 0, 15), 0xADADADu);
    EXPECT_EQ(Pixel(plain, 1, 15), 0xE1E1E1u);
    EXPECT_EQ(Pixel(preferred, 0, 15), 0x0078D7u);
    EXPECT_EQ(Pixel(preferred, 1, 15), 0x0078D7u);
    // The caption in the middle, in the button-text colour.
    EXPECT_GT(Marks(plain, 15, 2, 78, 0xE1E1E1), 4);
    EXPECT_EQ(Marks(plain, 15, 2, 15, 0xE1E1E1), 0) << "centred, not at the left";
    // The group box: the static colour around a frame line that its caption interrupts.
    EXPECT_EQ(Pixel(group, 100, 40), kGreen) << "inside the frame";
    EXPECT_EQ(Pixel(group, 0, 40), 0xDCDCDCu) << "the frame's left line";
    EXPECT_GT(Marks(group, 7, 8, 50, kGreen), 4) << "the caption";
    EXPECT_NE(std::find(requests.begin(), requests.end(), UINT(WM_CTLCOLORSTATIC)),
              requests.end());

    // A click on a group box tells nobody anything.
    commands.clear();
    InjectClick(100, 130);
    PumpMessages();
    EXPECT_TRUE(commands.empty());

    // Kinds the class does not draw are refused.
    for (DWORD kind : {DWORD(2) /* check box */, DWORD(4) /* radio button */, DWORD(BS_OWNERDRAW)})
        EXPECT_EQ(Control(L"Button", L"x", kind, {0, 0, 10, 10}, 9), nullptr) << kind;
}

TEST_F(UserControls, EditControlsTakeTheKeyboard)
{
    HWND edit = Control(L"Edit", L"", ES_LEFT | ES_AUTOHSCROLL | WS_BORDER, {10, 10, 210, 34}, 5);
    ASSERT_NE(edit, nullptr);
    SetFocus(edit);
    commands.clear();
    Type("hello");
    EXPECT_EQ(Text(edit), L"hello");
    EXPECT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands.back(), std::make_pair(WORD(5), WORD(EN_CHANGE)));

    struct Step {
        std::vector<UINT> keys;  // pressed together
        const wchar_t* text;
        std::pair<DWORD, DWORD> selection;
    } steps[] = {
        {{VK_LEFT}, L"hello", {4, 4}},
        {{VK_LEFT}, L"hello", {3, 3}},
        {{VK_BACK}, L"helo", {2, 2}},
        {{VK_SHIFT, VK_HOME}, L"helo", {0, 2}},
        {{'X'}, L"xlo", {1, 1}},
        {{VK_SHIFT, VK_RIGHT}, L"xlo", {1, 2}},
        {{VK_DELETE}, L"xo", {1, 1}},
        {{VK_END}, L"xo", {2, 2}},
        {{VK_DELETE}, L"xo", {2, 2}},
        {{VK_HOME}, L"xo", {0, 0}},
        {{VK_BACK}, L"xo", {0, 0}},
        {{VK_CONTROL, 'A'}, L"xo", {0, 2}},
        {{'Z'}, L"z", {1, 1}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "keys " << step.keys[0] << " -> "
                                        << std::string(step.text, step.text + wcslen(step.text)));
        switch (step.keys.size()) {
            case 1:
                InjectKeys({step.keys[0]});
                break;
            default:
                InjectKeys({step.keys[0], step.keys[1]});
                break;
        }
        PumpMessages();
        EXPECT_EQ(Text(edit), step.text);
        EXPECT_EQ(Selection(edit), step.selection);
    }

    // Read-only: the caret still moves and selects, the text stays.
    SendMessageW(edit, EM_SETREADONLY, TRUE, 0);
    EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);
    Type("ab");
    InjectKeys({VK_BACK});
    InjectKeys({VK_HOME});
    PumpMessages();
    EXPECT_EQ(Text(edit), L"z");
    EXPECT_EQ(Selection(edit), std::make_pair(DWORD(0), DWORD(0)));
    SendMessageW(edit, EM_SETREADONLY, FALSE, 0);

    // The limit holds for typing; setting the text is not limited and puts the caret first.
    SendMessageW(edit, EM_LIMITTEXT, 3, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
    InjectKeys({VK_END});
    Type("abcd");
    EXPECT_EQ(Text(edit), L"zab");
    SetWindowTextW(edit, L"longer text");
    EXPECT_EQ(Text(edit), L"longer text");
    EXPECT_EQ(Selection(edit), std::make_pair(DWORD(0), DWORD(0)));
}

TEST_F(UserControls, EditSelectionMessagesAndTheWidthOfAFieldThatDoesNotScroll)
{
    HWND edit = Control(L"Edit", L"abcdef", ES_LEFT | ES_AUTOHSCROLL, {10, 10, 210, 34}, 5);
    ASSERT_NE(edit, nullptr);
    struct Case {
        WPARAM start;
        LPARAM end;
        std::pair<DWORD, DWORD> selection;
    } cases[] = {
        {0, -1, {0, 6}}, {2, 4, {2, 4}},  {4, 2, {2, 4}},
        {1, 99, {1, 6}}, {WPARAM(-1), 3, {3, 3}},
    };
    for (const Case& c : cases) {
        SendMessageW(edit, EM_SETSEL, c.start, c.end);
        EXPECT_EQ(Selection(edit), c.selection) << int(c.start) << " " << c.end;
    }
    // Replacing works on the selection, read-only or not, with the caret after it.
    SendMessageW(edit, EM_SETREADONLY, TRUE, 0);
    SendMessageW(edit, EM_SETSEL, 1, 3);
    commands.clear();
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"XYZ"));
    EXPECT_EQ(Text(edit), L"aXYZdef");
    EXPECT_EQ(Selection(edit), std::make_pair(DWORD(4), DWORD(4)));
    EXPECT_EQ(commands.size(), 1u);
    LRESULT packed = SendMessageW(edit, EM_GETSEL, 0, 0);
    EXPECT_EQ(LOWORD(packed), 4);
    EXPECT_EQ(HIWORD(packed), 4);

    // Without ES_AUTOHSCROLL the text never grows wider than the field.
    HWND narrow = Control(L"Edit", L"", ES_LEFT, {10, 50, 60, 74}, 6);
    SetFocus(narrow);
    Type("wwwwwwwwwwwwwwwwwwww");
    std::wstring kept = Text(narrow);
    EXPECT_GT(kept.size(), 2u);
    EXPECT_LT(kept.size(), 20u);
    SIZE extent = {0, 0};
    HDC dc = GetDC(narrow);
    SelectObject(dc, font);
    GetTextExtentPoint32W(dc, kept.c_str(), int(kept.size()), &extent);
    ReleaseDC(narrow, dc);
    EXPECT_LE(extent.cx, 48);

    // Multi-line fields are not offered.
    EXPECT_EQ(Control(L"Edit", L"", ES_MULTILINE, {0, 0, 10, 10}, 9), nullptr);
}

TEST_F(UserControls, EditFieldsAreDrawnAndPointedAtLikeText)
{
    HWND edit = Control(L"Edit", L"abcdef", ES_LEFT | ES_AUTOHSCROLL, {10, 10, 210, 34}, 5);
    HWND field = Control(L"Edit", L"right", ES_RIGHT | ES_READONLY, {10, 50, 210, 74}, 6,
                         WS_EX_CLIENTEDGE);
    ASSERT_TRUE(edit && field);
    // The editable field asks for edit colours, the read-only one for static colours.
    EXPECT_EQ(Pixel(edit, 150, 12), kBlue);
    EXPECT_EQ(Pixel(field, 10, 12), kGreen);
    EXPECT_EQ(Pixel(field, 0, 12), 0x7A7A7Au) << "the client edge";
    // Right alignment: the text at the right end, nothing at the left.
    EXPECT_EQ(Marks(field, 9, 2, 100, kGreen), 0);
    EXPECT_GT(Marks(field, 9, 150, 198, kGreen), 2);

    // A click puts the caret at the nearest boundary; dragging selects what it passes.
    HDC dc = GetDC(edit);
    SelectObject(dc, font);
    SIZE three = {0, 0};
    GetTextExtentPoint32W(dc, L"abc", 3, &three);
    ReleaseDC(edit, dc);
    POINT at = At(edit, 2 + three.cx, 12);  // the border-less field's text starts at x 1
    InjectClick(at.x, at.y);
    PumpMessages();
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(Selection(edit), std::make_pair(DWORD(3), DWORD(3)));
    POINT start = At(edit, 1, 12);
    AdvanceClock(1000);
    InjectMouseMove(start.x, start.y);
    InjectMouseButton(start.x, start.y, MouseButton::Left, true);
    InjectMouseMove(at.x, at.y);
    InjectMouseButton(at.x, at.y, MouseButton::Left, false);
    PumpMessages();
    EXPECT_EQ(Selection(edit), std::make_pair(DWORD(0), DWORD(3)));
    // The selection is highlighted while the field has the focus.
    EXPECT_GT(Marks(edit, 8, 1, 1 + three.cx, kBlue), three.cx / 2);
    EXPECT_EQ(Pixel(edit, 1 + three.cx / 6, 2), 0x0078D7u);
}

}  // namespace
