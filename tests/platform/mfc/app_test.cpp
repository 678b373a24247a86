// The application object: the entry flow of AfxWinMain in a child process, the main window and
// the dialogs it owns, the registry key, and the named mutex.
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "framework.h"

using namespace mfctest;

namespace {

// What InitInstance does in a run of the entry flow.
enum class Start { Refuse, NoMainWindow, MainWindowClosesItself };

class TestApp : public CWinAppEx {
public:
    TestApp() : CWinAppEx(TRUE) {}
    Start start = Start::Refuse;
    CWnd frame;

    BOOL InitInstance() override
    {
        std::fprintf(stderr, "[InitInstance]");
        CWinAppEx::InitInstance();
        SetRegistryKey(L"Kestrovan");
        if (start == Start::Refuse)
            return FALSE;
        if (start == Start::MainWindowClosesItself) {
            frame.CreateEx(0, AfxRegisterWndClass(0), L"Frame", WS_POPUP | WS_VISIBLE, 0, 0, 100,
                           100, nullptr, nullptr);
            m_pMainWnd = &frame;
            frame.PostMessage(WM_CLOSE);
        }
        return TRUE;
    }
    int Run() override
    {
        std::fprintf(stderr, "[Run]");
        return CWinAppEx::Run();
    }
    int ExitInstance() override
    {
        int code = CWinAppEx::ExitInstance();
        std::fprintf(stderr, "[ExitInstance %d main=%d key=%ls profile=%ls]", code,
                     m_pMainWnd ? 1 : 0, m_pszRegistryKey ? m_pszRegistryKey : L"-",
                     m_pszProfileName ? m_pszProfileName : L"-");
        return code + 40;
    }
};

TestApp theApp;

// Runs the program's entry in this (child) process and ends it with the entry's result.
[[noreturn]] void RunEntry(Start start)
{
    theApp.start = start;
    int code = AfxWinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    std::fflush(stderr);
    std::_Exit(code);
}

TEST(MfcApp, TheEntryRunsInitInstanceThenTheLoopThenExitInstance)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // FALSE: no message loop at all.
    EXPECT_EXIT(RunEntry(Start::Refuse), ::testing::ExitedWithCode(40),
                "\\[InitInstance\\]\\[ExitInstance 0 main=0 key=Kestrovan profile=mfc_app\\]");
    // TRUE without a main window: the loop ends at once.
    EXPECT_EXIT(RunEntry(Start::NoMainWindow), ::testing::ExitedWithCode(40),
                "\\[InitInstance\\]\\[Run\\]\\[ExitInstance 0 main=0");
    // TRUE with a main window: the loop runs until that window is gone.
    EXPECT_EXIT(RunEntry(Start::MainWindowClosesItself), ::testing::ExitedWithCode(40),
                "\\[InitInstance\\]\\[Run\\]\\[ExitInstance 0 main=0");
}

TEST(MfcApp, TheMainWindowOwnsDialogsOnItsThreadOnly)
{
    EXPECT_EQ(AfxGetApp(), &theApp);
    EXPECT_EQ(std::wstring(theApp.m_pszAppName), L"mfc_app");
    CWnd frame;
    ASSERT_TRUE(frame.CreateEx(0, AfxRegisterWndClass(0), L"Frame", WS_POPUP | WS_VISIBLE, 0, 0,
                               300, 200, nullptr, nullptr));
    theApp.m_pMainWnd = &frame;
    EXPECT_EQ(AfxGetMainWnd(), &frame);
    CWnd* elsewhere = &frame;
    std::thread([&] { elsewhere = AfxGetMainWnd(); }).join();
    EXPECT_EQ(elsewhere, nullptr);

    // A dialog without a parent is owned by the main window, which it disables meanwhile.
    class Probe : public CDialog {
    public:
        Probe() : CDialog(UINT(200)) {}
        HWND owner = nullptr;
        BOOL frameEnabled = TRUE;

    protected:
        BOOL OnInitDialog() override
        {
            owner = ::GetWindow(m_hWnd, GW_OWNER);
            frameEnabled = ::IsWindowEnabled(owner);
            EndDialog(IDOK);
            return TRUE;
        }
    } probe;
    EXPECT_EQ(probe.DoModal(), IDOK);
    EXPECT_EQ(probe.owner, frame.m_hWnd);
    EXPECT_FALSE(probe.frameEnabled);
    EXPECT_TRUE(frame.IsWindowEnabled());

    // The main window's end clears the pointer and asks the loop to end.
    frame.DestroyWindow();
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(MfcApp, ANamedMutexTellsWhetherItsNameIsTaken)
{
    SetLastError(0);
    auto* first = new CMutex(FALSE, L"MUTEX_MFC_TEST");
    EXPECT_NE(first->m_hObject, nullptr);
    EXPECT_NE(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    auto* second = new CMutex(FALSE, L"MUTEX_MFC_TEST");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    delete second;
    delete first;
    // Closed with its objects, the name is free again.
    SetLastError(0);
    CMutex again(FALSE, L"MUTEX_MFC_TEST");
    EXPECT_NE(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    // What the system refuses throws.
    bool thrown = false;
    try {
        CMutex owned(TRUE, L"MUTEX_MFC_TEST_OWNED");
    } catch (CResourceException* e) {
        thrown = true;
        e->Delete();
    }
    EXPECT_TRUE(thrown);
}

// The start-up the viewer makes: the main window is a modal dialog whose initialisation starts
// a second thread with a modal splash of its own and waits, not pumping, until that splash has
// ended itself on its timer. Nothing may need the waiting thread meanwhile; then the main
// dialog shows, takes the foreground and closes.
TEST(MfcApp, ASplashOnItsOwnThreadRunsWhileTheMainDialogWaitsInItsInitialisation)
{
    class Splash : public CDialog {
    public:
        Splash() : CDialog(UINT(200)) {}
        int steps = 0;
        HWND owner = reinterpret_cast<HWND>(1);

    protected:
        BOOL OnInitDialog() override
        {
            CDialog::OnInitDialog();
            owner = ::GetWindow(m_hWnd, GW_OWNER);
            SetWindowPos(&CWnd::wndTopMost, 0, 0, 100, 60, SWP_SHOWWINDOW);
            CenterWindow();
            SetTimer(103, 10);
            return TRUE;
        }
        void OnTimer(UINT_PTR id) override
        {
            if (id == 103 && ++steps == 5) {
                KillTimer(103);
                SendMessage(WM_COMMAND, IDOK);
            }
        }
    };
    class Main : public CDialog {
    public:
        Main() : CDialog(UINT(201)) {}
        Splash splash;
        INT_PTR splashResult = 0;
        bool hiddenWhileWaiting = false;
        bool foreground = false;

    protected:
        BOOL OnInitDialog() override
        {
            CDialog::OnInitDialog();
            HANDLE shown = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            std::thread splashThread([this, shown] {
                splashResult = splash.DoModal();
                SetEvent(shown);
            });
            WaitForSingleObject(shown, INFINITE);
            splashThread.join();
            CloseHandle(shown);
            hiddenWhileWaiting = !IsWindowVisible();
            SetForegroundWindow();
            PostMessage(WM_USER);
            return TRUE;
        }
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message == WM_USER) {
                foreground = ::GetForegroundWindow() == m_hWnd && IsWindowVisible();
                PostMessage(WM_CLOSE);
            }
            return CDialog::WindowProc(message, wParam, lParam);
        }
    };
    Main main;
    theApp.m_pMainWnd = &main;
    EXPECT_EQ(main.DoModal(), IDCANCEL);
    EXPECT_EQ(main.splashResult, IDOK);
    EXPECT_EQ(main.splash.steps, 5);
    EXPECT_EQ(main.splash.owner, nullptr) << "the main window is not the splash thread's";
    EXPECT_TRUE(main.hiddenWhileWaiting);
    EXPECT_TRUE(main.foreground);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr) << "cleared when the dialog's window went";
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(MfcApp, KeysOfAPopupDetachedFromTheMainWindowStillPassItsPreTranslateMessage)
{
    // A window of the main window's thread outside its tree (as a picture moved onto the whole
    // screen is) gets its keys through the main window's PreTranslateMessage, where its
    // accelerators are; not while the main window is disabled behind a modal dialog.
    class Popup : public CWnd {
    public:
        std::vector<WPARAM> keys;  // WM_KEYDOWN that reached the window itself

    protected:
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message == WM_KEYDOWN)
                keys.push_back(wParam);
            return CWnd::WindowProc(message, wParam, lParam);
        }
    };
    class Main : public CDialog {
    public:
        Main() : CDialog(UINT(200)) {}
        bool disableSelf = false;
        Popup popup;
        std::vector<WPARAM> offered;  // WM_KEYDOWN of the popup seen here

        BOOL PreTranslateMessage(MSG* msg) override
        {
            if (msg->message == WM_KEYDOWN && msg->hwnd == popup.m_hWnd) {
                offered.push_back(msg->wParam);
                return msg->wParam == 'A';  // 'A' is taken here, as an accelerator is
            }
            return CDialog::PreTranslateMessage(msg);
        }

    protected:
        BOOL OnInitDialog() override
        {
            CDialog::OnInitDialog();
            popup.CreateEx(0, AfxRegisterWndClass(0), L"Detached", WS_POPUP | WS_VISIBLE, 0, 0,
                           50, 50, nullptr, nullptr);
            SetTimer(1, 1);
            return TRUE;
        }
        void OnTimer(UINT_PTR id) override
        {
            if (id != 1)
                return;
            if (ticks++ == 0) {
                // The dialog is up and active by now; the popup takes the keyboard from it.
                popup.SetActiveWindow();
                popup.SetFocus();
                if (disableSelf)
                    EnableWindow(FALSE);
                platform::testing::InjectKey('A', true), platform::testing::InjectKey('A', false);
                platform::testing::InjectKey('B', true), platform::testing::InjectKey('B', false);
                return;
            }
            // 'B' reaches the popup in either case, after 'A'; a bounded wait otherwise.
            const bool done = !popup.keys.empty() && popup.keys.back() == 'B';
            if (done || ticks > 300) {
                KillTimer(1);
                popup.DestroyWindow();
                EndDialog(done ? IDOK : -2);
            }
        }
        int ticks = 0;
    };
    for (bool disabled : {false, true}) {
        Main main;
        main.disableSelf = disabled;
        theApp.m_pMainWnd = &main;
        EXPECT_EQ(main.DoModal(), IDOK);
        // The main window's end asked the loop to end: that is not the next run's.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        if (!disabled) {
            EXPECT_EQ(main.offered, (std::vector<WPARAM>{'A', 'B'}));
            EXPECT_EQ(main.popup.keys, (std::vector<WPARAM>{'B'})) << "a key taken is not dispatched";
        } else {
            EXPECT_TRUE(main.offered.empty());
            EXPECT_EQ(main.popup.keys, (std::vector<WPARAM>{'A', 'B'}));
        }
    }
}

}  // namespace
