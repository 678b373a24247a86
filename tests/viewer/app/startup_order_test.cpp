// The start-up order as the user and the card see it: the splash covers the whole build of the
// main dialog (its lists and its map page made behind it), the dialog shows only after the
// splash, and the parsing thread starts reading the card only then.
//
// The window manager's clock stands still in this program, so the splash's progress timer
// runs only when the test moves the clock: the splash stays up for as long as the test looks.
#include <chrono>

#include "DialogFixture.h"
#include "ui/Settings.h"

namespace {

namespace pt = platform::testing;
using apptest::Pixels;
using apptest::ReadScreen;

class StartUpOrderTest : public apptest::DialogFixture {};

// The main dialog's window while it is still hidden: the top-level window that holds the
// playlist.
HWND FindDialogWindow()
{
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            if (!GetDlgItem(window, ID_LIST_PLAY))
                return TRUE;
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

bool Enabled(HWND dialog, int id)
{
    HWND child = GetDlgItem(dialog, id);
    return child && IsWindowEnabled(child);
}

TEST_F(StartUpOrderTest, TheSplashCoversTheListsAndTheMapPageAndParsingWaitsForItsEnd)
{
    UseCard("card");  // every category but the area results holds recordings
    pt::UseManualClock();
    // The splash is centred (480 x 320 on 1920 x 1080); the dialog's title bar is at the top left.
    const RECT splashOnly = {1100, 380, 1190, 420};
    const RECT titleBar = {0, 0, 600, 30};
    BeginDialog();

    // Behind the splash the dialog builds its lists: the tab of the continuous recordings is
    // usable, the one of the (empty) area results is not.
    HWND dialog = nullptr;
    bool listsBuilt = false;
    for (int i = 0; i < 2000 && !listsBuilt; ++i) {
        Sleep(10);
        if (!dialog)
            dialog = FindDialogWindow();
        listsBuilt = dialog && Enabled(dialog, ID_BTN_LIST_NORMAL) &&
                     !Enabled(dialog, ID_BTN_LIST_POSITION);
    }
    ASSERT_TRUE(listsBuilt) << "the lists were not built while the splash was up";
    // The map page's host is there too, made before the lists.
    EXPECT_NE(GetDlgItem(dialog, ID_WEBFORM), nullptr);

    // The dialog waits for the splash: for as long as it stays up, the dialog stays hidden and
    // no parsing run has begun (none runs, and none has moved its progress on or finished).
    CTessalyDlg* starting = StartingDialog();
    ASSERT_NE(starting, nullptr);
    const std::wstring loading = GetLangText(L"IDS_STRING_K_088");
    for (int i = 0; i < 10; ++i) {
        Sleep(100);
        Pixels screen = ReadScreen();
        EXPECT_GT(screen.CountDiffering(splashOnly, 0), 100) << "the splash is up";
        EXPECT_EQ(screen.CountDiffering(titleBar, 0), 0) << "nothing of the dialog shows";
        EXPECT_FALSE(IsWindowVisible(dialog));
        EXPECT_EQ(starting->m_bParseDone.load(), 1) << "parsing runs under the splash";
        EXPECT_EQ(starting->m_lblParsePercent.GetText(), L"0%") << "parsing ran under the splash";
        EXPECT_EQ(starting->m_lblParsing.GetText(), loading);
    }

    // The splash's hundred steps, one clock tick each; then the dialog shows. The splash's
    // thread takes each tick in its own time (for 30 s at most).
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!IsWindowVisible(dialog) && std::chrono::steady_clock::now() < end) {
        pt::AdvanceClock(10);
        Sleep(1);
    }
    ASSERT_TRUE(IsWindowVisible(dialog)) << "the splash never ended";
    WaitDialogStarted();
    Pixels after = ReadScreen();
    EXPECT_EQ(after.CountDiffering(splashOnly, 0), 0) << "the splash is gone";

    // Now the parsing thread reads every recording of the lists and says so (its last words
    // come just after the end of its run).
    const std::wstring complete = GetLangText(L"IDS_STRING_K_089");
    EXPECT_TRUE(WaitUntil(
        [&] { return dlg().m_bParseDone == 1 && dlg().m_lblParsing.GetText() == complete; },
        60000));
    EXPECT_EQ(dlg().m_lblParsing.GetText(), complete);
    EXPECT_EQ(dlg().m_lblParsePercent.GetText(), L"100%");
    CloseDialog();
}

}  // namespace
