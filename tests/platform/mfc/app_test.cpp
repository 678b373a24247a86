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

}  // namespace
