// Message boxes answered by scripted answers: the modal loop, the disabled owner, what the box
// showed.
#include "harness.h"

using namespace usertest;
using platform::testing::AnswerMessageBoxes;
using platform::testing::PumpMessages;
using platform::testing::ShownMessageBox;
using platform::testing::ShownMessageBoxes;

namespace {

constexpr uint32_t kTitle = 0x00303E4E;  // the box's title strip, RGB(48, 62, 78)

size_t Count(const std::vector<uint32_t>& pixels, uint32_t value)
{
    size_t n = 0;
    for (uint32_t p : pixels)
        n += p == value;
    return n;
}

TEST(UserMessageBox, AScriptedAnswerEndsTheModalBoxWhileTheOwnerIsDisabled)
{
    AnswerMessageBoxes({IDNO});
    int answer = 0;
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE, 0, {100, 100, 700, 500}});
    HWND list = Make("L", {WS_CHILD | WS_VISIBLE,
                           0,
                           {10, 10, 200, 200},
                           dialog,
                           0,
                           [&](HWND self, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                               if (m == WM_USER)
                                   answer =
                                       MessageBoxW(self, L"Delete the recording & its partner?",
                                                   L"Tessaly", MB_YESNO | MB_ICONQUESTION);
                               return std::nullopt;
                           }});
    PumpMessages();
    TakeLog();
    PostMessageW(list, WM_USER, 0, 0);
    PumpMessages();

    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(Only(TakeLog(), {"WM_ENABLE"}),
              (std::vector<std::string>{"D:WM_ENABLE(0)", "D:WM_ENABLE(1)"}));
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_EQ(GetActiveWindow(), dialog);
    EXPECT_EQ(GetWindow(dialog, GW_HWNDFIRST), dialog);  // the box is gone

    std::vector<ShownMessageBox> shown = ShownMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    const ShownMessageBox& box = shown[0];
    EXPECT_EQ(box.owner, dialog);  // the top-level window of the window passed
    EXPECT_EQ(box.caption, L"Tessaly");
    EXPECT_EQ(box.text, L"Delete the recording & its partner?");
    EXPECT_EQ(box.buttons, (std::vector<std::wstring>{L"Yes", L"No"}));
    EXPECT_EQ(box.type, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_TRUE(box.scripted);
    // Drawn before it was answered: a title strip, button faces and dark text.
    ASSERT_GT(box.width, 200);
    ASSERT_EQ(box.pixels.size(), size_t(box.width) * size_t(box.height));
    EXPECT_GT(Count(box.pixels, kTitle), size_t(box.width) * 10);
    EXPECT_GT(Count(box.pixels, 0x00E1E1E1), 1000u);
    size_t dark = 0;
    for (int y = 24; y < box.height - 40; ++y)
        for (int x = 0; x < box.width; ++x)
            dark += (box.pixels[size_t(y * box.width + x)] & 0xFF) < 0x60;
    EXPECT_GT(dark, 50u);
    DestroyWindow(dialog);
}

TEST(UserMessageBox, UnscriptedBoxesTakeTheirDefaultButton)
{
    AnswerMessageBoxes({});
    struct Case {
        UINT type;
        int answer;
        std::vector<std::wstring> buttons;
    };
    const Case cases[] = {
        {MB_OK, IDOK, {L"OK"}},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL, {L"OK", L"Cancel"}},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, IDNO, {L"Yes", L"No", L"Cancel"}},
        {MB_RETRYCANCEL | MB_DEFBUTTON3, IDCANCEL, {L"Retry", L"Cancel"}},
        {MB_ABORTRETRYIGNORE, IDABORT, {L"Abort", L"Retry", L"Ignore"}},
    };
    for (const Case& c : cases) {
        platform::testing::ClearShownMessageBoxes();
        EXPECT_EQ(
            MessageBoxW(nullptr, L"Error : Cannot create the filter (0x80040154)", nullptr, c.type),
            c.answer);
        std::vector<ShownMessageBox> shown = ShownMessageBoxes();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].buttons, c.buttons);
        EXPECT_EQ(shown[0].owner, nullptr);
        EXPECT_EQ(shown[0].caption, L"Error");  // a null caption
        EXPECT_FALSE(shown[0].scripted);
    }

    // A disabled owner stays disabled; an unknown button set is refused before anything shows.
    HWND dialog = Make("D", {WS_POPUP | WS_VISIBLE | WS_DISABLED});
    platform::testing::ClearShownMessageBoxes();
    EXPECT_EQ(MessageBoxW(dialog, L"text", L"caption", MB_OK), IDOK);
    EXPECT_FALSE(IsWindowEnabled(dialog));
    EnableWindow(dialog, TRUE);
    EXPECT_EQ(MessageBoxW(dialog, L"text", L"caption", 7), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_EQ(ShownMessageBoxes().size(), 1u);
    DestroyWindow(dialog);
}

}  // namespace
