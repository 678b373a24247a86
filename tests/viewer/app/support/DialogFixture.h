// The main dialog in-process, for the tests of every area of it.
//
// DialogFixture gives each test a world of its own and runs the real CTessalyDlg in it:
//   - a temporary folder (removed afterwards) holding the registry's hive files (PLATFORM_HOME)
//     and any card copied for the test;
//   - the program folder: the test program's own folder, build/tests/app, where the build puts
//     links to the skin module, the filter libraries and the map pages. It is shared by every
//     test: tests must not write into it (no settings file is loaded, so the dialog writes none);
//   - GDI+, the real skin module "KvImageDll.dll", English texts, the display scale at 100
//     percent, one pinned font (DejaVu Sans) so that text metrics are stable;
//   - the dialog's own user-interface thread, which runs DoModal as the program does. The test
//     thread reaches the dialog only through OnUi, which runs code on that thread and waits.
//
// Typical use:
//   class MyTest : public apptest::DialogFixture {};
//   TEST_F(MyTest, Something) {
//       UseCard("card");                    // a copy of build/fixtures/card as a removable drive
//       StartDialog();                      // returns once OnInitDialog has finished
//       OnUi([&] { dlg().SendMessage(WM_COMMAND, ID_BTN_PLAY); });
//       Pump(200);                          // let the dialog's thread work for 200 ms
//       apptest::Pixels shot = ReadScreen();
//       SaveShot("my_test.png");            // build/my_test.png, to look at
//       CloseDialog();                      // WM_CLOSE, waits for DoModal to return
//   }
// TearDown closes a dialog still open. Tests that need the fixtures label themselves with
// FIXTURES recordings in CMake (the cards come from mkcard's fixtures).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/TessalyDlg.h"
#include "platform/testing.h"

namespace apptest {

namespace pt = platform::testing;

// Pixels 0xRRGGBB of a picture read from the screen or a window.
struct Pixels {
    std::vector<uint32_t> data;
    SIZE size = {0, 0};
    uint32_t At(int x, int y) const { return data[size_t(y) * size.cx + x] & 0xFFFFFF; }
    // Pixels of the rectangle that differ from `ground` by more than `tolerance` in a channel.
    int CountDiffering(RECT r, uint32_t ground, int tolerance = 24) const;
};

Pixels ReadWindow(HWND window);
Pixels ReadScreen(const RECT* area = nullptr);

// The build folder (KV_BUILD_DIR), the fixtures folder (KV_FIXTURES), the program folder.
std::string BuildDir();
std::string FixturesDir();
std::string ProgramDir();

// A folder copied recursively (for cards that a test changes).
void CopyFolder(const std::string& from, const std::string& to);

class DialogFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Copies build/fixtures/<name> (or the folder itself, when name is an absolute path) into
    // the test's folder and adds it as a removable drive; returns its root ("E:\"). Call
    // before StartDialog for a card present at start-up.
    std::wstring UseCard(const std::string& name);
    // Removes a card added by UseCard (the drive disappears; no notification is sent).
    void RemoveCard();
    // The test's temporary folder.
    const std::string& TempDir() const { return m_temp; }

    // Starts the dialog on its thread; returns once OnInitDialog has returned and the dialog
    // is shown (fails the test after 20 s).
    void StartDialog();
    // The two halves of StartDialog, for tests that watch the start-up itself: the thread is
    // started, then awaited.
    void BeginDialog();
    void WaitDialogStarted();
    // Runs fn on the dialog's thread and waits for it.
    void OnUi(const std::function<void()>& fn);
    // Lets the dialog's thread run for the time given (the test thread sleeps).
    void Pump(DWORD milliseconds);
    // Lets the dialog's thread run until `done` holds, for at most `milliseconds`; `done` is
    // asked on the dialog's thread between its messages, every 10 ms. Tells whether it held.
    bool WaitUntil(const std::function<bool()>& done, DWORD milliseconds = 10000);
    // The same asked on the test's thread, for what it reads itself (the screen, files, other
    // processes, the fixture's own state): every 10 ms for at most `milliseconds`. Tells
    // whether it held.
    static bool Eventually(const std::function<bool()>& held, DWORD milliseconds = 10000);
    // Sends WM_CLOSE and waits until DoModal has returned and the thread has ended (fails the
    // test after 20 s); the dialog object is destroyed on its thread right after DoModal, as
    // the application object does. Returns DoModal's result.
    INT_PTR CloseDialog();
    bool DialogRunning() const { return m_hThread != nullptr; }

    // The running dialog (only between StartDialog and CloseDialog; touch it only in OnUi).
    CTessalyDlg& dlg() { return *m_pDialog; }
    // The dialog object as soon as its thread has made it, before DoModal (null until then),
    // for a test that watches the start-up while the dialog's thread cannot answer OnUi: only
    // what another thread may read (window handles, label texts under their lock).
    CTessalyDlg* StartingDialog() const { return m_hRunner.load() ? m_pDialog : nullptr; }
    // The dialog's window, from WaitDialogStarted on (any thread may use the handle).
    HWND hwnd() const { return m_hDialogWnd.load(); }

    // Saves the screen to build/<name> and returns the path.
    std::string SaveShot(const std::string& name);

private:
    static DWORD WINAPI UiThread(LPVOID fixture);

    std::string m_temp;
    std::wstring m_cardRoot;
    ULONG_PTR m_gdiplusToken = 0;
    CTessalyDlg* m_pDialog = nullptr;
    HANDLE m_hThread = nullptr;
    DWORD m_uiThreadId = 0;
    // A window of the dialog's thread that runs OnUi's code; set before DoModal starts.
    std::atomic<HWND> m_hRunner{nullptr};
    std::atomic<HWND> m_hDialogWnd{nullptr};
    INT_PTR m_nResult = 0;
};

}  // namespace apptest
