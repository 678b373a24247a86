// A file dialog that nobody scripted, on a system without zenity: a message says so and the
// dialog chooses nothing.
#include "platform/mfc.h"
#include "shell_harness.h"

using namespace shelltest;

TEST(FileDialogWithoutZenity, SaysSoAndChoosesNothing)
{
    fs::path empty = MakeTempFolder("nozenity");
    setenv("PATH", empty.c_str(), 1);
    platform::testing::AnswerMessageBoxes({IDOK});
    CFileDialog dialog(TRUE, nullptr, L"*.avi;*.mp4", OFN_ALLOWMULTISELECT,
                       L"AVI (*.avi)|*.avi||");
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_INITIALIZATION));
    auto boxes = platform::testing::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(L"zenity is not installed"), std::wstring::npos);
    EXPECT_TRUE(platform::testing::ShownFileDialogs().empty());
    fs::remove_all(empty);
}
