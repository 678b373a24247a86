// FindWindowW and WM_COPYDATA across processes, with the launcher stand-in as the other
// process, and FindWindowW within this one.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "../../support/launcher/LauncherProcess.h"
#include "shell_harness.h"

using namespace shelltest;
using launchertest::LauncherProcess;

namespace {

// The 36-byte notice: firmware, model and drive root, zero-padded.
std::vector<BYTE> Notice(const char* firmware, const char* model, const char* drive)
{
    std::vector<BYTE> record(36, 0);
    std::memcpy(record.data(), firmware, std::min<size_t>(std::strlen(firmware), 10));
    std::memcpy(record.data() + 10, model, std::min<size_t>(std::strlen(model), 16));
    std::memcpy(record.data() + 26, drive, std::min<size_t>(std::strlen(drive), 10));
    return record;
}

std::string Hex(const std::vector<BYTE>& bytes)
{
    std::string text;
    for (BYTE b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        text += hex;
    }
    return text;
}

LRESULT Send(HWND target, HWND from, std::vector<BYTE>& record)
{
    COPYDATASTRUCT copy = {2014, DWORD(record.size()), record.data()};
    return SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                        reinterpret_cast<LPARAM>(&copy));
}

TEST(LauncherNotice, ReachesTheWindowOfAnotherProcessByItsTitle)
{
    ASSERT_EQ(FindWindowW(nullptr, L"Tessaly_Launcher"), nullptr);  // no launcher yet
    HWND viewer = MakeWindow(L"KESTROVAN DASHCAM TESSALY", 0, 0, 50, 50);
    LauncherProcess launcher;
    ASSERT_EQ(launcher.ReadLine(), "ready");

    HWND target = FindWindowW(nullptr, L"Tessaly_Launcher");
    ASSERT_NE(target, nullptr);
    EXPECT_NE(target, viewer);
    EXPECT_EQ(FindWindowW(nullptr, L"TESSALY_launcher"), target);  // titles ignore case
    EXPECT_EQ(FindWindowW(nullptr, L"Tessaly_Launcher2"), nullptr);

    std::vector<BYTE> card = Notice("1.02.03.45", "Q914 ", "E:\\");
    EXPECT_EQ(Send(target, viewer, card), 1);
    EXPECT_EQ(launcher.ReadLine(), "notice 2014 36 " + Hex(card) +
                                       " firmware=\"1.02.03.45\" model=\"Q914 \" drive=\"E:\\\"");
    std::vector<BYTE> none(36, 0);
    EXPECT_EQ(Send(target, viewer, none), 1);
    EXPECT_EQ(launcher.ReadLine(),
              "notice 2014 36 " + Hex(none) + " firmware=\"\" model=\"\" drive=\"\"");
    // Data of any size crosses whole.
    std::vector<BYTE> big(300000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = BYTE(i * 7);
    std::string bigLine;
    std::thread reader([&] { bigLine = launcher.ReadLine(); });  // the line outgrows a pipe
    EXPECT_EQ(Send(target, viewer, big), 1);
    reader.join();
    EXPECT_EQ(bigLine, "notice 2014 300000 " + Hex(big));

    EXPECT_EQ(launcher.Finish(), 0);
    EXPECT_EQ(FindWindowW(nullptr, L"Tessaly_Launcher"), nullptr);
    SetLastError(0);
    EXPECT_EQ(Send(target, viewer, card), 0);  // the handle of a window that is gone
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(viewer);
}

TEST(LauncherNotice, ALauncherThatDoesNotAnswerIsGivenUpOnWhileOurWindowsStayServed)
{
    HWND viewer = MakeWindow(L"Viewer", 0, 0, 50, 50);
    LauncherProcess launcher(/*stall=*/true);
    ASSERT_EQ(launcher.ReadLine(), "ready");
    HWND target = FindWindowW(nullptr, L"Tessaly_Launcher");
    ASSERT_NE(target, nullptr);

    // Another thread of ours sends to our window while we wait for the launcher. The wait is
    // long enough for the side's send to arrive within it even on a loaded machine; should it
    // come late all the same, the pump below still serves it, so the test cannot hang.
    g_received.clear();
    std::atomic<LRESULT> sideAnswer{-1};
    std::atomic<bool> sendReturned{false};
    std::atomic<bool> answeredWhileWaiting{false};
    std::atomic<bool> sideDone{false};
    std::thread side([&] {
        launcher.ReadLine();  // "stalled": our send is waiting now
        sideAnswer = SendMessageW(viewer, WM_USER + 7, 0, 0);
        answeredWhileWaiting = !sendReturned.load();
        sideDone = true;
    });
    platform::testing::SetCrossProcessSendTimeout(4000);
    std::vector<BYTE> card = Notice("1.0", "Q914", "E:\\");
    SetLastError(0);
    EXPECT_EQ(Send(target, viewer, card), 0);
    sendReturned = true;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_TIMEOUT));
    platform::testing::SetCrossProcessSendTimeout(0);
    EXPECT_TRUE(PumpUntil([&] { return sideDone.load(); }) || PumpUntil([&] { return sideDone.load(); }));
    side.join();
    EXPECT_EQ(sideAnswer.load(), 0);
    EXPECT_TRUE(answeredWhileWaiting.load());  // served by our window during the wait
    EXPECT_EQ(ReceivedOf(WM_USER + 7).size(), 1u);
    EXPECT_EQ(launcher.Finish(), 0);
    DestroyWindow(viewer);
}

TEST(FindWindow, FindsTopLevelWindowsOfThisProcessByTitleAndClass)
{
    HWND first = MakeWindow(L"Same Title", 0, 0, 10, 10);
    HWND child = MakeWindow(L"Child Title", 0, 0, 5, 5, first);
    ASSERT_TRUE(first && child);
    EXPECT_EQ(FindWindowW(nullptr, L"same title"), first);
    EXPECT_EQ(FindWindowW(L"shelltestwindow", L"Same Title"), first);
    EXPECT_EQ(FindWindowW(L"OtherClass", L"Same Title"), nullptr);
    EXPECT_EQ(FindWindowW(nullptr, L"Child Title"), nullptr);  // only top-level windows

    // A new title is found under it, the old one no longer; a destroyed window is not found.
    SetWindowTextW(first, L"Renamed");
    EXPECT_EQ(FindWindowW(nullptr, L"Same Title"), nullptr);
    EXPECT_EQ(FindWindowW(nullptr, L"Renamed"), first);
    DestroyWindow(first);
    EXPECT_EQ(FindWindowW(nullptr, L"Renamed"), nullptr);
}

}  // namespace
