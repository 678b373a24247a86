// CWnd: which virtual handlers a window's messages reach and in which order, default
// processing through the class's own procedure, attaching and subclassing, destruction from
// every side, temporary objects, and the PreTranslateMessage walk.
#include <functional>
#include <memory>

#include "framework.h"

using namespace mfctest;
using platform::testing::AdvanceClockAndPump;
using platform::testing::InjectClick;
using platform::testing::InjectMouseButton;
using platform::testing::InjectWheel;

namespace {

std::string Pt(CPoint p)
{
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

// Records every handler it reaches and then does the default processing.
class Recorder : public CWnd {
public:
    explicit Recorder(std::vector<std::string>* log) : m_log(log) {}

    std::function<int()> onCreate;           // replaces the answer of OnCreate
    std::function<void()> onLButtonDown;     // runs after the record
    std::function<BOOL(MSG*)> preTranslate;  // the filter, when set
    bool deleteInPostNcDestroy = false;

    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_USER + 5)
            Log("PreTranslate");
        return preTranslate ? preTranslate(msg) : CWnd::PreTranslateMessage(msg);
    }

protected:
    void Log(const std::string& entry) { m_log->push_back(entry); }

    int OnCreate(LPCREATESTRUCTW create) override
    {
        Log("OnCreate " + Narrow(create->lpszName ? create->lpszName : L""));
        int base = CWnd::OnCreate(create);
        return onCreate ? onCreate() : base;
    }
    void OnDestroy() override { Log("OnDestroy"), CWnd::OnDestroy(); }
    void OnNcDestroy() override { Log("OnNcDestroy"), CWnd::OnNcDestroy(); }
    void PostNcDestroy() override
    {
        Log("PostNcDestroy");
        if (deleteInPostNcDestroy)
            delete this;
    }
    void OnPaint() override { Log("OnPaint"), CWnd::OnPaint(); }
    BOOL OnEraseBkgnd(CDC* dc) override
    {
        Log("OnEraseBkgnd");
        return CWnd::OnEraseBkgnd(dc);
    }
    void OnSize(UINT type, int cx, int cy) override
    {
        Log("OnSize " + std::to_string(type) + " " + std::to_string(cx) + "x" + std::to_string(cy));
        CWnd::OnSize(type, cx, cy);
    }
    void OnMove(int x, int y) override
    {
        Log("OnMove " + std::to_string(x) + "," + std::to_string(y));
        CWnd::OnMove(x, y);
    }
    void OnShowWindow(BOOL show, UINT status) override
    {
        Log("OnShowWindow " + std::to_string(show));
        CWnd::OnShowWindow(show, status);
    }
    void OnActivate(UINT state, CWnd* other, BOOL minimized) override
    {
        Log("OnActivate " + std::to_string(state));
        CWnd::OnActivate(state, other, minimized);
    }
    int OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message) override
    {
        Log("OnMouseActivate " + std::to_string(hitTest));
        return CWnd::OnMouseActivate(topLevel, hitTest, message);
    }
    void OnTimer(UINT_PTR id) override
    {
        Log("OnTimer " + std::to_string(id));
        CWnd::OnTimer(id);
    }
    void OnMouseMove(UINT flags, CPoint point) override
    {
        Log("OnMouseMove " + Pt(point));
        CWnd::OnMouseMove(flags, point);
    }
    void OnLButtonDown(UINT flags, CPoint point) override
    {
        Log("OnLButtonDown " + std::to_string(flags) + " " + Pt(point));
        if (onLButtonDown) {
            onLButtonDown();
            return;
        }
        CWnd::OnLButtonDown(flags, point);
    }
    void OnLButtonUp(UINT flags, CPoint point) override
    {
        Log("OnLButtonUp " + Pt(point));
        CWnd::OnLButtonUp(flags, point);
    }
    void OnLButtonDblClk(UINT flags, CPoint point) override
    {
        Log("OnLButtonDblClk " + Pt(point));
        CWnd::OnLButtonDblClk(flags, point);
    }
    void OnRButtonUp(UINT flags, CPoint point) override
    {
        Log("OnRButtonUp " + Pt(point));
        CWnd::OnRButtonUp(flags, point);
    }
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override
    {
        Log("OnMouseWheel " + std::to_string(delta) + " " + Pt(point));
        return CWnd::OnMouseWheel(flags, delta, point);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        Log("OnCommand " + std::to_string(LOWORD(wParam)) + " " + std::to_string(HIWORD(wParam)));
        return CWnd::OnCommand(wParam, lParam);
    }

private:
    std::vector<std::string>* m_log;
};

HBRUSH WindowBrush()
{
    return reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
}

class MfcWindow : public ::testing::Test {
protected:
    void SetUp() override { platform::testing::UseManualClock(); }
    void TearDown() override { Pump(); }
};

TEST_F(MfcWindow, HandlersFollowTheMessagesOfAWindowsLife)
{
    std::vector<std::string> log;
    Recorder window(&log);
    LPCWSTR cls = AfxRegisterWndClass(0, nullptr, WindowBrush());
    ASSERT_NE(cls, nullptr);
    ASSERT_TRUE(window.CreateEx(0, cls, L"Main", WS_POPUP | WS_VISIBLE, 100, 100, 200, 120, nullptr,
                                nullptr));
    HWND handle = window.m_hWnd;
    EXPECT_EQ(CWnd::FromHandlePermanent(handle), &window);
    Pump();
    // Creation, showing and activation, then the first paint, whose default processing erases.
    EXPECT_EQ(log, (std::vector<std::string>{"OnCreate Main", "OnSize 0 200x120", "OnMove 100,100",
                                             "OnShowWindow 1", "OnActivate 1", "OnPaint",
                                             "OnEraseBkgnd"}));
    // The default erase used the class brush.
    EXPECT_EQ(Read(handle).At(5, 5), 0xFFFFFFu);

    log.clear();
    InjectClick(150, 160);
    InjectWheel(150, 160, -120);
    window.PostMessage(WM_COMMAND, MAKEWPARAM(7, 0), 0);
    window.SetTimer(5, 100);
    Pump();
    AdvanceClockAndPump(100);
    window.KillTimer(5);
    // Posted messages before input, timers last.
    EXPECT_EQ(log, (std::vector<std::string>{"OnCommand 7 0", "OnMouseMove 50,60",
                                             "OnLButtonDown 1 50,60", "OnLButtonUp 50,60",
                                             "OnMouseWheel -120 150,160", "OnTimer 5"}));

    log.clear();
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(log, (std::vector<std::string>{"OnActivate 0", "OnDestroy", "OnNcDestroy",
                                             "PostNcDestroy"}));
    EXPECT_EQ(window.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(CWnd::FromHandlePermanent(handle), nullptr);
}

TEST_F(MfcWindow, ChildrenOfTheDefaultClassGetDoubleClicksAndFailuresLeaveTheObjectFree)
{
    std::vector<std::string> log;
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0, nullptr, WindowBrush()), L"P",
                                WS_POPUP | WS_VISIBLE, 300, 300, 200, 200, nullptr, nullptr));
    Recorder child(&log);
    ASSERT_TRUE(child.Create(nullptr, L"C", WS_VISIBLE, CRect(10, 20, 110, 70), &parent, 1250));
    EXPECT_EQ(child.GetDlgCtrlID(), 1250);
    EXPECT_TRUE(child.GetStyle() & WS_CHILD);
    EXPECT_EQ(child.GetParent(), &parent);
    EXPECT_EQ(parent.GetDlgItem(1250), &child);
    Pump();
    log.clear();
    InjectClick(330, 340);
    InjectMouseButton(330, 340, platform::testing::MouseButton::Left, true);
    InjectMouseButton(330, 340, platform::testing::MouseButton::Left, false);
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"OnMouseMove 20,20", "OnLButtonDown 1 20,20",
                                             "OnLButtonUp 20,20", "OnLButtonDblClk 20,20",
                                             "OnLButtonUp 20,20"}));

    // Create makes children only; a refusing WM_CREATE destroys the window again.
    Recorder orphan(&log);
    EXPECT_FALSE(orphan.Create(nullptr, L"O", WS_VISIBLE, CRect(0, 0, 10, 10), nullptr, 1));
    Recorder refused(&log);
    refused.onCreate = [] { return -1; };
    log.clear();
    EXPECT_FALSE(refused.Create(nullptr, L"R", WS_VISIBLE, CRect(0, 0, 10, 10), &parent, 2));
    EXPECT_EQ(
        log, (std::vector<std::string>{"OnCreate R", "OnDestroy", "OnNcDestroy", "PostNcDestroy"}));
    EXPECT_EQ(refused.m_hWnd, nullptr);
    EXPECT_EQ(parent.GetDlgItem(2), nullptr);
    // Detached, the object can make a window again.
    refused.onCreate = nullptr;
    EXPECT_TRUE(refused.Create(nullptr, L"R2", 0, CRect(0, 0, 10, 10), &parent, 2));
    EXPECT_FALSE(refused.CreateEx(0, nullptr, L"again", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr));

    // One class name per set of attributes, and it lives on.
    LPCWSTR a = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, nullptr, WindowBrush());
    EXPECT_EQ(AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, nullptr, WindowBrush()), a);
    EXPECT_NE(AfxRegisterWndClass(CS_HREDRAW, nullptr, WindowBrush()), a);
    EXPECT_EQ(std::wstring(a).rfind(L"Afx:", 0), 0u);
    parent.DestroyWindow();
    EXPECT_EQ(child.m_hWnd, nullptr);  // went with its parent
    EXPECT_EQ(refused.m_hWnd, nullptr);
}

// A class with a procedure of its own: 42 for WM_USER, and a note of what it sees.
std::vector<std::string>* g_rawLog = nullptr;
LRESULT CALLBACK RawProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_rawLog && message == WM_CREATE)
        g_rawLog->push_back("raw create");
    if (g_rawLog && message == WM_USER)
        g_rawLog->push_back("raw user");
    if (g_rawLog && message == WM_USER + 1)
        g_rawLog->push_back("raw user+1");
    if (message == WM_USER)
        return 42;
    return DefWindowProcW(window, message, wParam, lParam);
}

class Intercepting : public Recorder {
public:
    using Recorder::Recorder;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_USER + 1) {
            Log("object");
            return 7;
        }
        return Recorder::WindowProc(message, wParam, lParam);
    }
};

TEST_F(MfcWindow, ForeignClassesKeepTheirOwnProcedureForTheDefault)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = RawProc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.lpszClassName = L"MfcTestRaw";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    std::vector<std::string> log;
    g_rawLog = &log;

    // Created through the object: the object's handlers come first, the class's procedure
    // does their default processing.
    Intercepting object(&log);
    ASSERT_TRUE(object.CreateEx(0, L"MfcTestRaw", L"S", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr));
    EXPECT_EQ(object.SendMessage(WM_USER), 42);
    EXPECT_EQ(object.SendMessage(WM_USER + 1), 7);
    EXPECT_EQ(log, (std::vector<std::string>{"OnCreate S", "raw create", "OnSize 0 50x50",
                                             "OnMove 0,0", "raw user", "object"}));

    // Subclassed afterwards: the same, until the window is given back.
    HWND raw = CreateWindowExW(0, L"MfcTestRaw", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                               AfxGetInstanceHandle(), nullptr);
    ASSERT_NE(raw, nullptr);
    log.clear();
    Intercepting later(&log);
    ASSERT_TRUE(later.SubclassWindow(raw));
    EXPECT_FALSE(object.SubclassWindow(raw));  // attached to another object already
    EXPECT_EQ(SendMessageW(raw, WM_USER, 0, 0), 42);
    EXPECT_EQ(SendMessageW(raw, WM_USER + 1, 0, 0), 7);
    EXPECT_EQ(later.UnsubclassWindow(), raw);
    EXPECT_EQ(SendMessageW(raw, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"raw user", "object", "raw user+1"}));
    DestroyWindow(raw);
    object.DestroyWindow();
    g_rawLog = nullptr;
}

TEST_F(MfcWindow, WindowsAndObjectsMayEachGoFirst)
{
    std::vector<std::string> log;
    LPCWSTR cls = AfxRegisterWndClass(0, nullptr, WindowBrush());

    // Deleting the object destroys its window.
    HWND handle = nullptr;
    {
        Recorder scoped(&log);
        ASSERT_TRUE(scoped.CreateEx(0, cls, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
        handle = scoped.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(handle));

    // A window destroyed by its own click handler: the rest of the input finds nothing.
    Recorder self(&log);
    ASSERT_TRUE(
        self.CreateEx(0, cls, L"", WS_POPUP | WS_VISIBLE, 500, 500, 50, 50, nullptr, nullptr));
    self.onLButtonDown = [&] { self.DestroyWindow(); };
    Pump();
    log.clear();
    InjectClick(510, 510);
    Pump();
    EXPECT_EQ(
        log, (std::vector<std::string>{"OnMouseMove 10,10", "OnLButtonDown 1 10,10", "OnActivate 0",
                                       "OnDestroy", "OnNcDestroy", "PostNcDestroy"}));
    EXPECT_EQ(self.m_hWnd, nullptr);

    // An object on the heap that ends itself when its window goes, with messages still queued.
    auto* heap = new Recorder(&log);
    heap->deleteInPostNcDestroy = true;
    ASSERT_TRUE(heap->CreateEx(0, cls, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    handle = heap->m_hWnd;
    PostMessageW(handle, WM_COMMAND, 1, 0);
    log.clear();
    DestroyWindow(handle);
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"OnDestroy", "OnNcDestroy", "PostNcDestroy"}));
}

TEST_F(MfcWindow, FromHandleLendsTemporaryObjectsForWindowsWithoutOne)
{
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr));
    // A window of a framework class made without an object.
    HWND raw =
        CreateWindowExW(0, AfxRegisterWndClass(0), L"", WS_CHILD, 0, 0, 10, 10, parent.m_hWnd,
                        reinterpret_cast<HMENU>(UINT_PTR(9)), nullptr, nullptr);
    ASSERT_NE(raw, nullptr);
    CWnd* temporary = parent.GetDlgItem(9);
    ASSERT_NE(temporary, nullptr);
    EXPECT_EQ(temporary->m_hWnd, raw);
    EXPECT_EQ(parent.GetDlgItem(9), temporary);
    EXPECT_EQ(CWnd::FromHandlePermanent(raw), nullptr);
    EXPECT_EQ(temporary->GetParent(), &parent);
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
    EXPECT_EQ(parent.GetDlgItem(10), nullptr);
    // A permanent object can still take the window over.
    CWnd owner;
    EXPECT_TRUE(owner.Attach(raw));
    EXPECT_EQ(parent.GetDlgItem(9), &owner);
    EXPECT_EQ(owner.Detach(), raw);
    parent.DestroyWindow();
}

TEST_F(MfcWindow, CenterWindowCentresOverTheOwnerOrTheScreenAndStaysOnIt)
{
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, nullptr, L"", WS_POPUP | WS_VISIBLE, 100, 100, 400, 200, nullptr,
                               nullptr));
    struct Case {
        const char* name;
        HWND parent;
        DWORD style;
        CRect before;
        CPoint after;  // top-left, screen pixels (children: parent's client)
    };
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    const Case cases[] = {
        {"no owner: the screen", nullptr, WS_POPUP, CRect(0, 0, 480, 320),
         CPoint(cx / 2 - 240, cy / 2 - 160)},
        {"owned: over the owner", owner.m_hWnd, WS_POPUP, CRect(0, 0, 200, 100), CPoint(200, 150)},
        {"larger than its owner, kept on the screen", owner.m_hWnd, WS_POPUP, CRect(0, 0, 900, 300),
         CPoint(0, 50)},
        {"child: inside the parent", owner.m_hWnd, WS_CHILD, CRect(0, 0, 100, 50), CPoint(150, 75)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CWnd window;
        ASSERT_TRUE(
            window.CreateEx(0, nullptr, L"", c.style, c.before, CWnd::FromHandle(c.parent), 0));
        window.CenterWindow();
        CRect rect;
        window.GetWindowRect(&rect);
        if (c.style & WS_CHILD)
            owner.ScreenToClient(&rect);
        EXPECT_EQ(rect.TopLeft(), c.after);
        EXPECT_EQ(rect.Size(), c.before.Size());
    }
    owner.DestroyWindow();
}

// Posts every command (notification code 0) on to its parent, as the viewer's popup menus do.
class Relay : public Recorder {
public:
    using Recorder::Recorder;
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_COMMAND && HIWORD(msg->wParam) == 0) {
            Log("relay");
            ::PostMessageW(::GetParent(m_hWnd), WM_COMMAND, msg->wParam, msg->lParam);
            return TRUE;
        }
        return Recorder::PreTranslateMessage(msg);
    }
};

TEST_F(MfcWindow, PreTranslateMessageWalksUpParentsAndOwners)
{
    std::vector<std::string> log;
    LPCWSTR cls = AfxRegisterWndClass(0, nullptr, WindowBrush());
    Recorder top(&log);
    ASSERT_TRUE(top.CreateEx(0, cls, L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr));
    Recorder middle(&log);
    ASSERT_TRUE(middle.Create(nullptr, L"", 0, CRect(0, 0, 100, 100), &top, 1));
    HWND leaf = CreateWindowExW(0, cls, L"", WS_CHILD, 0, 0, 10, 10, middle.m_hWnd, nullptr,
                                nullptr, nullptr);
    int consumedBy = 0;
    top.preTranslate = [&](MSG* msg) {
        if (msg->message != WM_USER + 5)
            return FALSE;
        consumedBy = 1;
        return TRUE;
    };

    // From a window without an object, through its parents, until the top takes it.
    Pump();
    log.clear();
    PostMessageW(leaf, WM_USER + 5, 0, 0);
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"PreTranslate", "PreTranslate"}));
    EXPECT_EQ(consumedBy, 1);
    // The walk stops at the window it is told to.
    log.clear();
    MSG msg = {leaf, WM_USER + 5, 0, 0, 0, {0, 0}};
    EXPECT_FALSE(CWnd::WalkPreTranslateTree(middle.m_hWnd, &msg));
    EXPECT_EQ(log, (std::vector<std::string>{"PreTranslate"}));

    // Popups pass commands to their owners: a sub-menu's command reaches the owner of the top
    // popup with its parameters unchanged.
    Relay menu(&log);
    ASSERT_TRUE(
        menu.CreateEx(WS_EX_TOOLWINDOW, cls, L"", WS_POPUP, 0, 0, 50, 50, top.m_hWnd, nullptr));
    Relay subMenu(&log);
    ASSERT_TRUE(
        subMenu.CreateEx(WS_EX_TOOLWINDOW, cls, L"", WS_POPUP, 0, 0, 50, 50, menu.m_hWnd, nullptr));
    EXPECT_EQ(subMenu.GetParent(), &menu);
    log.clear();
    subMenu.PostMessage(WM_COMMAND, MAKEWPARAM(1036, 0), 0);
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"relay", "relay", "OnCommand 1036 0"}));
    top.DestroyWindow();
}

}  // namespace
