// The application object in-process: its start-up runs the main dialog modally, and once that
// has closed nothing points at the dialog any more.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "app/TessalyApp.h"

namespace {

TEST(ApplicationTest, RunsTheDialogModallyAndForgetsItAfterwards)
{
    // A private place for the single-instance lock and the registry.
    const std::string temp = (std::filesystem::temp_directory_path() /
                              ("tessaly-application-" + std::to_string(::getpid())))
                                 .string();
    std::filesystem::create_directories(temp + "/runtime");
    std::filesystem::permissions(temp + "/runtime", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", (temp + "/runtime").c_str(), 1);
    apptest::pt::SetHomeFolder(temp);

    CTessalyApp app;
    // Closes the dialog once it has come up and taken the foreground.
    HANDLE closer = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            for (int i = 0; i < 2000; ++i) {
                HWND window = GetForegroundWindow();
                WCHAR caption[64] = {};
                if (window && IsWindowVisible(window) && GetWindowTextW(window, caption, 64) &&
                    std::wstring(caption) == L"KESTROVAN DASHCAM TESSALY" &&
                    GetWindowTextLengthW(window) > 0) {
                    RECT r;
                    GetWindowRect(window, &r);
                    if (r.right - r.left == 965) {
                        PostMessageW(window, WM_CLOSE, 0, 0);
                        return 0;
                    }
                }
                Sleep(10);
            }
            return 1;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(closer, nullptr);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    EXPECT_EQ(WaitForSingleObject(closer, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(closer, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(closer);
    app.ExitInstance();
    std::error_code ignored;
    std::filesystem::remove_all(temp, ignored);
}

}  // namespace
