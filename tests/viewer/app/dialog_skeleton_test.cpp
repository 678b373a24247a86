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

// A quit that ends the modal run before the dialog was ever closed (a timed end that finds the
// splash still up, the session ending) still frees the painting objects with the dialog; the
// leak check at the program's end sees them otherwise.
TEST_F(DialogSkeletonTest, AQuitWithoutACloseFreesWhatThePaintMade)
{
    StartDialog();
    const HWND window = hwnd();
    OnUi([&] {
        dlg().SendMessage(WM_PAINT, 0, 0);
        PostQuitMessage(0);
    });
    // The window goes once the modal run has ended; only then may CloseDialog's WM_CLOSE come.
    for (int waited = 0; IsWindow(window) && waited < 20000; waited += 10)
        Sleep(10);
    EXPECT_EQ(CloseDialog(), -1) << "the modal run ended by the quit, not by a close";
    EXPECT_FALSE(DialogRunning());
}

}  // namespace
