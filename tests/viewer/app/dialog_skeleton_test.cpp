// The main dialog comes up on its own thread in the fixture's world and goes again on WM_CLOSE.
#include "DialogFixture.h"

namespace {

class DialogSkeletonTest : public apptest::DialogFixture {};

TEST_F(DialogSkeletonTest, StartsAndClosesOnItsThread)
{
    StartDialog();
    ASSERT_TRUE(IsWindow(hwnd()));
    DWORD uiThread = 0;
    OnUi([&] { uiThread = GetCurrentThreadId(); });
    EXPECT_EQ(GetWindowThreadProcessId(hwnd(), nullptr), uiThread);
    EXPECT_NE(uiThread, GetCurrentThreadId());
    const HWND window = hwnd();
    CloseDialog();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(DialogRunning());
}

}  // namespace
