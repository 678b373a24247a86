// CDialog from RT_DIALOG templates: the modal loop and its owner, the ways it ends (EndDialog,
// keys, WM_CLOSE, WM_QUIT, another thread), what the template builds, its colours, and the
// templates that cannot be used.
#include <thread>

#include "framework.h"

using namespace mfctest;
using platform::testing::InjectKey;

namespace {

constexpr UINT kPlain = 200;    // visible, font 8, a label 1001
constexpr UINT kHidden = 201;   // not visible, font 16
constexpr UINT kBroken = 202;   // not a template
constexpr UINT kUnknown = 203;  // a control of a class nobody registered
constexpr UINT_PTR kFallbackTimer = 1;
constexpr int kFallback = 999;  // the result when nothing else ended the dialog

// A dialog whose steps the test chooses. It always sets a timer that ends it with kFallback,
// due at once on the manual clock, so that a dialog that should have ended otherwise does not
// hang the test: timers come after posted messages, input and painting.
class TestDialog : public CDialog {
public:
    explicit TestDialog(UINT id, CWnd* parent = nullptr) : CDialog(id, parent) {}

    std::function<void(TestDialog&)> init;    // in OnInitDialog, after the base
    std::function<void(TestDialog&)> onUser;  // WM_USER
    bool swallowEnterAndEscape = false;
    std::vector<std::string> log;
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));

    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (swallowEnterAndEscape && (msg->wParam == 13 || msg->wParam == 27)) {
            if (msg->message == WM_KEYDOWN)
                log.push_back("swallowed " + std::to_string(msg->wParam));
            return TRUE;
        }
        return CDialog::PreTranslateMessage(msg);
    }

protected:
    BOOL OnInitDialog() override
    {
        BOOL result = CDialog::OnInitDialog();
        log.push_back(std::string("init visible=") + (IsWindowVisible() ? "1" : "0"));
        SetTimer(kFallbackTimer, 10);
        platform::testing::AdvanceClock(10);
        if (init)
            init(*this);
        return result;
    }
    void DoDataExchange(CDataExchange* exchange) override
    {
        log.push_back(std::string("exchange ") + (exchange->m_bSaveAndValidate ? "save" : "load"));
    }
    void OnOK() override
    {
        log.push_back("OnOK");
        CDialog::OnOK();
    }
    void OnCancel() override
    {
        log.push_back("OnCancel");
        CDialog::OnCancel();
    }
    void OnClose() override
    {
        log.push_back("OnClose");
        CDialog::OnClose();
    }
    void OnTimer(UINT_PTR id) override
    {
        if (id == kFallbackTimer) {
            KillTimer(id);
            EndDialog(kFallback);
        }
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_USER && onUser)
            onUser(*this);
        return CDialog::WindowProc(message, wParam, lParam);
    }
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT type) override
    {
        HBRUSH base = CDialog::OnCtlColor(dc, control, type);
        if (type == CTLCOLOR_DLG)
            return white;
        if (type == CTLCOLOR_STATIC && control && control->GetDlgCtrlID() == 1001) {
            dc->SetTextColor(RGB(255, 153, 0));
            return white;
        }
        return base;
    }
};

class MfcDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        PinTestFont();
        platform::testing::UseManualClock();
        ASSERT_TRUE(m_owner.CreateEx(0, AfxRegisterWndClass(0), L"Owner", WS_POPUP | WS_VISIBLE, 0,
                                     0, 600, 400, nullptr, nullptr));
        Pump();
        ASSERT_EQ(GetActiveWindow(), m_owner.m_hWnd);
    }
    void TearDown() override
    {
        m_owner.DestroyWindow();
        platform::testing::PinFontFile("");
    }
    CWnd m_owner;
};

TEST_F(MfcDialog, TheModalLoopEndsByEndDialogKeysCloseAndQuit)
{
    struct Case {
        const char* name;
        std::function<void()> before;  // input queued before DoModal
        std::function<void(TestDialog&)> init;
        INT_PTR result;
        std::vector<std::string> log;  // after the init entry
    };
    const Case cases[] = {
        {"EndDialog from a posted message",
         nullptr,
         [](TestDialog& d) { d.PostMessage(WM_USER); },
         77,
         {}},
        {"Escape",
         [] { InjectKey(VK_ESCAPE, true), InjectKey(VK_ESCAPE, false); },
         nullptr,
         IDCANCEL,
         {"OnCancel"}},
        {"Enter",
         [] { InjectKey(VK_RETURN, true), InjectKey(VK_RETURN, false); },
         nullptr,
         IDOK,
         {"OnOK", "exchange save"}},
        {"WM_CLOSE",
         nullptr,
         [](TestDialog& d) { d.PostMessage(WM_CLOSE); },
         IDCANCEL,
         {"OnClose", "OnCancel"}},
        {"nothing but the timer", nullptr, nullptr, kFallback, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDialog dialog(kPlain, &m_owner);
        dialog.init = c.init;
        bool ownerEnabled = true;
        dialog.onUser = [&](TestDialog& d) {
            ownerEnabled = m_owner.IsWindowEnabled();
            d.EndDialog(77);
        };
        if (c.before)
            c.before();
        EXPECT_EQ(dialog.DoModal(), c.result);
        std::vector<std::string> expected = {"exchange load", "init visible=0"};
        expected.insert(expected.end(), c.log.begin(), c.log.end());
        EXPECT_EQ(dialog.log, expected);
        if (c.result == 77)
            EXPECT_FALSE(ownerEnabled);  // disabled while the dialog runs
        EXPECT_EQ(dialog.m_hWnd, nullptr);
        EXPECT_TRUE(m_owner.IsWindowEnabled());
        EXPECT_EQ(GetActiveWindow(), m_owner.m_hWnd);
    }

    // WM_QUIT ends the loop and stays for the loop outside.
    TestDialog quitting(kPlain, &m_owner);
    quitting.init = [](TestDialog&) { PostQuitMessage(3); };
    EXPECT_EQ(quitting.DoModal(), -1);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    // So does the dialog's window being destroyed by someone else.
    TestDialog destroyed(kPlain, &m_owner);
    destroyed.init = [](TestDialog& d) { d.PostMessage(WM_USER); };
    destroyed.onUser = [](TestDialog& d) { ::DestroyWindow(d.m_hWnd); };
    EXPECT_EQ(destroyed.DoModal(), -1);
    EXPECT_TRUE(m_owner.IsWindowEnabled());
}

TEST_F(MfcDialog, PreTranslateMessageCanKeepEnterAndEscapeFromEndingIt)
{
    TestDialog splash(kPlain);
    splash.swallowEnterAndEscape = true;
    InjectKey(VK_RETURN, true), InjectKey(VK_RETURN, false);
    InjectKey(VK_ESCAPE, true), InjectKey(VK_ESCAPE, false);
    EXPECT_EQ(splash.DoModal(), kFallback);
    EXPECT_EQ(splash.log, (std::vector<std::string>{"exchange load", "init visible=0",
                                                    "swallowed 13", "swallowed 27"}));
}

TEST_F(MfcDialog, TheTemplateBuildsTheWindowItsControlsAndFont)
{
    struct Seen {
        std::wstring caption, label;
        bool visible = false;
        bool labelHasDialogFont = false;
        CRect window, control;
        uint32_t background = 0;
        bool orangeText = false;
    };
    auto look = [](UINT id, Seen* seen) {
        TestDialog dialog(id);
        dialog.init = [](TestDialog& d) { d.PostMessage(WM_USER); };
        dialog.onUser = [seen](TestDialog& d) {
            d.GetWindowText(seen->caption);
            CWnd* label = d.GetDlgItem(1001);
            ASSERT_NE(label, nullptr);
            label->GetWindowText(seen->label);
            seen->visible = d.IsWindowVisible();
            HFONT font = reinterpret_cast<HFONT>(d.SendMessage(WM_GETFONT));
            seen->labelHasDialogFont =
                font && reinterpret_cast<HFONT>(label->SendMessage(WM_GETFONT)) == font;
            d.GetWindowRect(&seen->window);
            label->GetWindowRect(&seen->control);
            d.UpdateWindow();
            seen->background =
                Read(d.m_hWnd).At(seen->window.Width() - 2, seen->window.Height() - 2);
            Pixels text = Read(label->m_hWnd);
            for (uint32_t v : text.data)
                seen->orangeText |= ((v >> 16) & 0xFF) > 0xE0 && ((v >> 8) & 0xFF) > 0x70 &&
                                    ((v >> 8) & 0xFF) < 0xC0 && (v & 0xFF) < 0x60;
            d.EndDialog(IDOK);
        };
        EXPECT_EQ(dialog.DoModal(), IDOK);
    };
    Seen plain, hidden;
    look(kPlain, &plain);
    look(kHidden, &hidden);

    EXPECT_EQ(plain.caption, L"Test dialog");
    EXPECT_EQ(plain.label, L"Label");
    EXPECT_TRUE(plain.labelHasDialogFont);
    EXPECT_TRUE(plain.visible);
    EXPECT_TRUE(hidden.visible);  // shown although its template does not say so
    // Dialog units follow the font: half the dialog's width for half its units, and twice the
    // pixels in a font twice as large. Without an owner the position counts from the screen.
    EXPECT_NEAR(plain.control.Width() * 2, plain.window.Width(), 2);
    EXPECT_NEAR(plain.window.left, plain.control.left - plain.window.left, 2);
    EXPECT_GT(plain.window.Width(), 250);
    EXPECT_NEAR(double(hidden.window.Width()) / plain.window.Width(), 2.0, 0.25);
    EXPECT_NEAR(double(hidden.window.Height()) / plain.window.Height(), 2.0, 0.25);
    // The colours the dialog answers: white for itself and its label, the label's text orange.
    EXPECT_EQ(plain.background, 0xFFFFFFu);
    EXPECT_TRUE(plain.orangeText);
}

TEST_F(MfcDialog, TemplatesThatCannotBeUsedFailWithAReason)
{
    struct Case {
        const char* name;
        UINT id;
        DWORD error;
    };
    const Case cases[] = {
        {"missing", 299, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"not a template", kBroken, ERROR_INVALID_DATA},
        {"unknown control class", kUnknown, ERROR_CANNOT_FIND_WND_CLASS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDialog dialog(c.id, &m_owner);
        EXPECT_EQ(dialog.DoModal(), -1);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(dialog.m_hWnd, nullptr);
        EXPECT_TRUE(m_owner.IsWindowEnabled());
    }
}

TEST_F(MfcDialog, TemporaryObjectsOutliveALoopNestedInTheHandlerThatHoldsThem)
{
    DWORD me = GetCurrentThreadId();
    TestDialog outer(kPlain, &m_owner);
    outer.init = [](TestDialog& d) { d.PostMessage(WM_USER); };
    INT_PTR innerResult = 0;
    HWND seen = nullptr;
    outer.onUser = [&](TestDialog& d) {
        CWnd* label = d.GetDlgItem(1001);  // a control without an object: a temporary one
        ASSERT_NE(label, nullptr);
        ASSERT_EQ(CWnd::FromHandlePermanent(label->m_hWnd), nullptr);
        // A second dialog, run from this handler, waits idle until its timer is made due.
        TestDialog inner(kPlain, &d);
        inner.init = [](TestDialog& i) { i.SetTimer(kFallbackTimer, 20); };
        std::thread clock([me] {
            platform::testing::WaitForThreadIdle(me);
            platform::testing::AdvanceClock(20);
        });
        innerResult = inner.DoModal();
        clock.join();
        seen = label->m_hWnd;  // still alive
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(outer.DoModal(), IDOK);
    EXPECT_EQ(innerResult, kFallback);
    EXPECT_NE(seen, nullptr);
}

TEST(MfcDialogThreads, ADialogOnItsOwnThreadEndsWhenAnotherThreadSaysSo)
{
    PinTestFont();
    HANDLE up = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    TestDialog splash(kPlain);
    splash.init = [&](TestDialog& d) {
        d.KillTimer(kFallbackTimer);
        SetEvent(up);
    };
    INT_PTR result = 0;
    std::thread thread([&] {
        result = splash.DoModal();
        SetEvent(up);  // also when the dialog could not be made
    });
    ASSERT_EQ(WaitForSingleObject(up, INFINITE), WAIT_OBJECT_0);
    splash.EndDialog(IDOK);
    thread.join();
    EXPECT_EQ(result, IDOK);
    CloseHandle(up);
    platform::testing::PinFontFile("");
}

}  // namespace
