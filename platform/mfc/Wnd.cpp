// CWnd: the permanent map, AfxWndProc and the dispatch to the virtual handlers, creation,
// attaching and subclassing, and the wrappers of the window manager's calls.
#include <mutex>
#include <unordered_map>

#include "WndState.h"

namespace platform::mfc {

namespace {

// Guarded by MapLock(); any thread looks up, the window's thread attaches and detaches.
std::unordered_map<HWND, CWnd*>& Map()
{
    static auto* map = new std::unordered_map<HWND, CWnd*>();
    return *map;
}

std::mutex& MapLock()
{
    static auto* lock = new std::mutex();
    return *lock;
}

// A device context that a message lends to its handler: the CDC does not own it.
class LentDC : public CDC {
public:
    explicit LentDC(HDC dc) { m_hDC = dc; }
    ~LentDC() override { m_hDC = nullptr; }
};

// Restores the thread's message frame however the handler leaves.
class FrameGuard {
public:
    FrameGuard(ThreadState& thread, UINT message, WPARAM wParam, LPARAM lParam)
        : m_thread(thread), m_frame{message, wParam, lParam, thread.current}
    {
        thread.current = &m_frame;
    }
    ~FrameGuard() { m_thread.current = m_frame.previous; }
    FrameGuard(const FrameGuard&) = delete;
    FrameGuard& operator=(const FrameGuard&) = delete;

private:
    ThreadState& m_thread;
    MessageFrame m_frame;
};

}  // namespace

ThreadState& Thread()
{
    thread_local ThreadState state;
    return state;
}

std::unordered_map<HWND, std::unique_ptr<CWnd>>& Temporaries()
{
    thread_local std::unordered_map<HWND, std::unique_ptr<CWnd>> temporaries;
    return temporaries;
}

void DeleteTemporaries()
{
    // A loop nested inside a handler (a dialog run from a command) leaves them to the outer
    // loop: the handler may still hold one.
    if (Thread().current)
        return;
    Temporaries().clear();
}

bool MapAttach(HWND window, CWnd* object)
{
    std::lock_guard<std::mutex> guard(MapLock());
    auto& map = Map();
    if (map.count(window))
        return false;
    for (const auto& entry : map)
        if (entry.second == object)
            return false;
    map.emplace(window, object);
    return true;
}

void MapDetach(HWND window, CWnd* object)
{
    std::lock_guard<std::mutex> guard(MapLock());
    auto it = Map().find(window);
    if (it != Map().end() && it->second == object)
        Map().erase(it);
}

CWnd* MapFind(HWND window)
{
    std::lock_guard<std::mutex> guard(MapLock());
    auto it = Map().find(window);
    return it == Map().end() ? nullptr : it->second;
}

// The framework's loop gives the main window a last look at a message of a window outside its
// tree (a pop-up detached from it, such as a picture moved onto the whole screen), so that the
// main window's accelerators still work there. Not while the main window is disabled behind a
// modal dialog, and only on the thread the main window belongs to (elsewhere there is none).
bool OfferToMainWindow(MSG* msg)
{
    CWnd* main = AfxGetMainWnd();
    if (!main || !main->m_hWnd || !msg->hwnd || !::IsWindowEnabled(main->m_hWnd))
        return false;
    int depth = 0;
    for (HWND window = msg->hwnd; window && depth < 1000; window = ::GetParent(window), ++depth)
        if (window == main->m_hWnd)
            return false;
    return main->PreTranslateMessage(msg) != FALSE;
}

bool PumpMessage(HWND stop, int* quitCode)
{
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE))
        DeleteTemporaries();
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
        if (quitCode)
            *quitCode = int(msg.wParam);
        return false;
    }
    if (got == -1) {
        if (quitCode)
            *quitCode = -1;
        return false;
    }
    if (!CWnd::WalkPreTranslateTree(stop, &msg) && !OfferToMainWindow(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace platform::mfc

using namespace platform::mfc;

LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ThreadState& thread = Thread();
    CWnd* object = MapFind(window);
    if (!object && thread.creating && !thread.creating->m_hWnd) {
        object = thread.creating;
        thread.creating = nullptr;
        if (MapAttach(window, object)) {
            object->m_hWnd = window;
        } else {
            object = nullptr;
        }
    }
    if (!object)
        return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    {
        FrameGuard frame(thread, message, wParam, lParam);
        result = object->WindowProc(message, wParam, lParam);
    }
    // The object may have deleted itself while handling the message; only one still mapped to
    // the window is finished.
    if (message == WM_NCDESTROY && MapFind(window) == object)
        object->FinishDestroy();
    return result;
}

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::CWnd() : m_hWnd(nullptr), m_pfnSuper(nullptr), m_bTemporary(false) {}

CWnd::CWnd(HWND constant) : m_hWnd(constant), m_pfnSuper(nullptr), m_bTemporary(true) {}

CWnd::~CWnd()
{
    if (m_bTemporary)
        return;
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this && GetCurrentThreadId() == ApplicationThread())
        app->m_pMainWnd = nullptr;
    ThreadState& thread = Thread();
    if (thread.creating == this)
        thread.creating = nullptr;
    HWND window = m_hWnd;
    if (!window)
        return;
    if (IsWindow(window) && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
        ::DestroyWindow(window);
    if (m_hWnd) {
        // Another thread's window, or one that refused to go: it keeps running without this
        // object, with its class's own procedure where it had one.
        if (m_pfnSuper && IsWindow(window) &&
            reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) == AfxWndProc)
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        MapDetach(window, this);
        m_hWnd = nullptr;
    }
}

void CWnd::FinishDestroy()
{
    HWND window = m_hWnd;
    MapDetach(window, this);
    m_hWnd = nullptr;
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this && GetCurrentThreadId() == ApplicationThread()) {
        app->m_pMainWnd = nullptr;
        PostQuitMessage(0);
    }
    PostNcDestroy();
}

CWnd* CWnd::FromHandlePermanent(HWND window)
{
    return window ? MapFind(window) : nullptr;
}

CWnd* CWnd::FromHandle(HWND window)
{
    if (!window)
        return nullptr;
    if (CWnd* permanent = MapFind(window))
        return permanent;
    auto& temporaries = Temporaries();
    auto it = temporaries.find(window);
    if (it != temporaries.end())
        return it->second.get();
    std::unique_ptr<CWnd> temporary(new CWnd(window));
    CWnd* result = temporary.get();
    temporaries.emplace(window, std::move(temporary));
    return result;
}

BOOL CWnd::Attach(HWND window)
{
    if (!window || m_hWnd || m_bTemporary || !IsWindow(window))
        return FALSE;
    if (!MapAttach(window, this))
        return FALSE;
    m_hWnd = window;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND window = m_hWnd;
    if (window && !m_bTemporary)
        MapDetach(window, this);
    m_hWnd = nullptr;
    return window;
}

BOOL CWnd::SubclassWindow(HWND window)
{
    if (!Attach(window))
        return FALSE;
    LONG_PTR previous =
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc));
    WNDPROC old = reinterpret_cast<WNDPROC>(previous);
    if (!old) {
        Detach();
        return FALSE;
    }
    // A window of a framework class already runs through AfxWndProc; its default is
    // DefWindowProcW.
    m_pfnSuper = old == AfxWndProc ? nullptr : old;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent || !parent->m_hWnd)
        return FALSE;
    HWND control = ::GetDlgItem(parent->m_hWnd, int(id));
    return control ? SubclassWindow(control) : FALSE;
}

HWND CWnd::UnsubclassWindow()
{
    if (!m_hWnd)
        return nullptr;
    if (m_pfnSuper)
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id, CCreateContext* context)
{
    if (!parent || !parent->m_hWnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return CreateEx(0, className, windowName, style | WS_CHILD, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top, parent->m_hWnd,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), context);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU idOrMenu, LPVOID param)
{
    if (m_hWnd || m_bTemporary) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::wstring useClass;
    WNDPROC super = nullptr;
    if (!ResolveClass(className, &useClass, &super))
        return FALSE;
    m_pfnSuper = super;
    ThreadState& thread = Thread();
    CWnd* outer = thread.creating;
    thread.creating = this;
    HWND window = CreateWindowExW(exStyle, useClass.c_str(), windowName, style, x, y, width, height,
                                  parent, idOrMenu, AfxGetInstanceHandle(), param);
    if (thread.creating == this)
        thread.creating = outer;
    return window && m_hWnd == window ? TRUE : FALSE;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id, LPVOID param)
{
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top,
                    parent ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), param);
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Dispatch

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    MessageFrame* frame = Thread().current;
    if (!frame || !m_hWnd)
        return 0;
    return DefWindowProc(frame->message, frame->wParam, frame->lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    LRESULT answer = 0;
    switch (message) {
        case WM_CREATE:
            answer = OnCreate(reinterpret_cast<LPCREATESTRUCTW>(lParam));
            break;
        case WM_DESTROY:
            OnDestroy();
            break;
        case WM_NCDESTROY:
            OnNcDestroy();
            break;
        case WM_CLOSE:
            OnClose();
            break;
        case WM_PAINT:
            OnPaint();
            break;
        case WM_ERASEBKGND: {
            LentDC dc(reinterpret_cast<HDC>(wParam));
            answer = OnEraseBkgnd(&dc);
            break;
        }
        case WM_SIZE:
            OnSize(UINT(wParam), LOWORD(lParam), HIWORD(lParam));
            break;
        case WM_MOVE:
            OnMove(SHORT(LOWORD(lParam)), SHORT(HIWORD(lParam)));
            break;
        case WM_SHOWWINDOW:
            OnShowWindow(BOOL(wParam), UINT(lParam));
            break;
        case WM_ENABLE:
            OnEnable(BOOL(wParam));
            break;
        case WM_ACTIVATE:
            OnActivate(LOWORD(wParam), FromHandle(reinterpret_cast<HWND>(lParam)), HIWORD(wParam));
            break;
        case WM_MOUSEACTIVATE:
            answer = OnMouseActivate(FromHandle(reinterpret_cast<HWND>(wParam)), LOWORD(lParam),
                                     HIWORD(lParam));
            break;
        case WM_TIMER:
            OnTimer(UINT_PTR(wParam));
            break;
        case WM_MOUSEMOVE:
            OnMouseMove(UINT(wParam), CPoint(lParam));
            break;
        case WM_LBUTTONDOWN:
            OnLButtonDown(UINT(wParam), CPoint(lParam));
            break;
        case WM_LBUTTONUP:
            OnLButtonUp(UINT(wParam), CPoint(lParam));
            break;
        case WM_LBUTTONDBLCLK:
            OnLButtonDblClk(UINT(wParam), CPoint(lParam));
            break;
        case WM_RBUTTONDOWN:
            OnRButtonDown(UINT(wParam), CPoint(lParam));
            break;
        case WM_RBUTTONUP:
            OnRButtonUp(UINT(wParam), CPoint(lParam));
            break;
        case WM_MOUSEWHEEL:
            answer = OnMouseWheel(GET_KEYSTATE_WPARAM(wParam), GET_WHEEL_DELTA_WPARAM(wParam),
                                  CPoint(lParam));
            break;
        case WM_MOUSELEAVE:
            OnMouseLeave();
            break;
        case WM_GETMINMAXINFO:
            OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
            break;
        case WM_QUERYDRAGICON:
            answer = reinterpret_cast<LRESULT>(OnQueryDragIcon());
            break;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC: {
            LentDC dc(reinterpret_cast<HDC>(wParam));
            answer = reinterpret_cast<LRESULT>(OnCtlColor(
                &dc, FromHandle(reinterpret_cast<HWND>(lParam)), message - WM_CTLCOLORMSGBOX));
            break;
        }
        case WM_COMMAND:
            if (!OnCommand(wParam, lParam))
                return FALSE;
            break;
        default:
            return FALSE;
    }
    *result = answer;
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

BOOL CWnd::WalkPreTranslateTree(HWND stop, MSG* msg)
{
    if (!msg)
        return FALSE;
    // Window trees are shallow; the bound only guards against a parent chain changed under us.
    int depth = 0;
    for (HWND window = msg->hwnd; window && depth < 1000; window = ::GetParent(window), ++depth) {
        CWnd* object = FromHandlePermanent(window);
        if (object && object->PreTranslateMessage(msg))
            return TRUE;
        if (window == stop)
            break;
    }
    return FALSE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL saveAndValidate)
{
    if (!m_hWnd)
        return FALSE;
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

void DDX_Control(CDataExchange* exchange, int id, CWnd& control)
{
    if (!exchange || !exchange->m_pDlgWnd || control.m_hWnd)
        return;
    control.SubclassDlgItem(UINT(id), exchange->m_pDlgWnd);
}

void CWnd::PostNcDestroy() {}

int CWnd::OnCreate(LPCREATESTRUCTW)
{
    return int(Default());
}
void CWnd::OnDestroy()
{
    Default();
}
void CWnd::OnNcDestroy()
{
    Default();
}
void CWnd::OnClose()
{
    Default();
}
void CWnd::OnPaint()
{
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*)
{
    return BOOL(Default());
}
void CWnd::OnSize(UINT, int, int)
{
    Default();
}
void CWnd::OnMove(int, int)
{
    Default();
}
void CWnd::OnShowWindow(BOOL, UINT)
{
    Default();
}
void CWnd::OnEnable(BOOL)
{
    Default();
}
void CWnd::OnActivate(UINT, CWnd*, BOOL)
{
    Default();
}
int CWnd::OnMouseActivate(CWnd*, UINT, UINT)
{
    return int(Default());
}
void CWnd::OnTimer(UINT_PTR)
{
    Default();
}
void CWnd::OnMouseMove(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonDown(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonUp(UINT, CPoint)
{
    Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint)
{
    Default();
}
void CWnd::OnRButtonDown(UINT, CPoint)
{
    Default();
}
void CWnd::OnRButtonUp(UINT, CPoint)
{
    Default();
}
BOOL CWnd::OnMouseWheel(UINT, short, CPoint)
{
    return BOOL(Default());
}
void CWnd::OnMouseLeave()
{
    Default();
}
void CWnd::OnGetMinMaxInfo(MINMAXINFO*)
{
    Default();
}
HCURSOR CWnd::OnQueryDragIcon()
{
    return reinterpret_cast<HCURSOR>(Default());
}
HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT)
{
    return reinterpret_cast<HBRUSH>(Default());
}

// ---------------------------------------------------------------------------------------------
// Wrappers

DWORD CWnd::GetStyle() const
{
    return DWORD(GetWindowLongW(m_hWnd, GWL_STYLE));
}

DWORD CWnd::GetExStyle() const
{
    return DWORD(GetWindowLongW(m_hWnd, GWL_EXSTYLE));
}

namespace {

BOOL Modify(HWND window, int index, DWORD remove, DWORD add, UINT flags)
{
    DWORD style = DWORD(GetWindowLongW(window, index));
    DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return FALSE;
    SetWindowLongW(window, index, LONG(changed));
    if (flags)
        ::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

}  // namespace

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags)
{
    return m_hWnd ? Modify(m_hWnd, GWL_STYLE, remove, add, flags) : FALSE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags)
{
    return m_hWnd ? Modify(m_hWnd, GWL_EXSTYLE, remove, add, flags) : FALSE;
}

CWnd* CWnd::GetParent() const
{
    return FromHandle(::GetParent(m_hWnd));
}

CWnd* CWnd::SetParent(CWnd* newParent)
{
    HWND previous = ::SetParent(m_hWnd, newParent ? newParent->m_hWnd : nullptr);
    if (previous == GetDesktopWindow())
        return nullptr;
    return FromHandle(previous);
}

CWnd* CWnd::GetDlgItem(int id) const
{
    return FromHandle(::GetDlgItem(m_hWnd, id));
}

int CWnd::GetDlgCtrlID() const
{
    return ::GetDlgCtrlID(m_hWnd);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return PostMessageW(m_hWnd, message, wParam, lParam);
}

void CWnd::SetWindowText(LPCWSTR text)
{
    SetWindowTextW(m_hWnd, text);
}

int CWnd::GetWindowText(std::wstring& text) const
{
    int length = GetWindowTextLengthW(m_hWnd);
    std::wstring buffer(size_t(length) + 1, L'\0');
    int copied = GetWindowTextW(m_hWnd, buffer.data(), length + 1);
    text.assign(buffer.data(), size_t(copied < 0 ? 0 : copied));
    return int(text.size());
}

int CWnd::GetWindowTextLength() const
{
    return GetWindowTextLengthW(m_hWnd);
}

void CWnd::SetDlgItemText(int id, LPCWSTR text)
{
    SetWindowTextW(::GetDlgItem(m_hWnd, id), text);
}

void CWnd::GetClientRect(LPRECT rect) const
{
    ::GetClientRect(m_hWnd, rect);
}

void CWnd::GetWindowRect(LPRECT rect) const
{
    ::GetWindowRect(m_hWnd, rect);
}

void CWnd::ClientToScreen(LPPOINT point) const
{
    ::ClientToScreen(m_hWnd, point);
}

void CWnd::ClientToScreen(LPRECT rect) const
{
    if (rect)
        MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<LPPOINT>(rect), 2);
}

void CWnd::ScreenToClient(LPPOINT point) const
{
    ::ScreenToClient(m_hWnd, point);
}

void CWnd::ScreenToClient(LPRECT rect) const
{
    if (rect)
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(rect), 2);
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint)
{
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint)
{
    if (rect)
        ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left,
                     rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int width, int height, UINT flags)
{
    return ::SetWindowPos(m_hWnd, insertAfter ? insertAfter->m_hWnd : nullptr, x, y, width, height,
                          flags);
}

BOOL CWnd::ShowWindow(int command)
{
    return ::ShowWindow(m_hWnd, command);
}

BOOL CWnd::IsWindowVisible() const
{
    return ::IsWindowVisible(m_hWnd);
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    return ::EnableWindow(m_hWnd, enable);
}

BOOL CWnd::IsWindowEnabled() const
{
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

BOOL CWnd::IsZoomed() const
{
    return ::IsZoomed(m_hWnd);
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    if (!m_hWnd)
        return;
    RECT mine = {};
    ::GetWindowRect(m_hWnd, &mine);
    HWND over = nullptr;
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    bool child = (GetStyle() & WS_CHILD) != 0;
    if (child) {
        over = ::GetParent(m_hWnd);
        if (over) {
            ::GetClientRect(over, &area);
            MapWindowPoints(over, nullptr, reinterpret_cast<LPPOINT>(&area), 2);
        }
    } else {
        over = alternateOwner ? alternateOwner->m_hWnd : GetWindow(m_hWnd, GW_OWNER);
    }
    RECT around = area;
    if (over && !child && ::IsWindowVisible(over) && !::IsIconic(over))
        ::GetWindowRect(over, &around);
    int width = mine.right - mine.left;
    int height = mine.bottom - mine.top;
    int x = (around.left + around.right) / 2 - width / 2;
    int y = (around.top + around.bottom) / 2 - height / 2;
    // Keep the window on the screen (or inside its parent) where it fits.
    if (x + width > area.right)
        x = area.right - width;
    if (x < area.left)
        x = area.left;
    if (y + height > area.bottom)
        y = area.bottom - height;
    if (y < area.top)
        y = area.top;
    if (child) {
        POINT origin = {x, y};
        ::ScreenToClient(over, &origin);
        x = origin.x;
        y = origin.y;
    }
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::Invalidate(BOOL erase)
{
    ::InvalidateRect(m_hWnd, nullptr, erase);
}

void CWnd::InvalidateRect(LPCRECT rect, BOOL erase)
{
    ::InvalidateRect(m_hWnd, rect, erase);
}

void CWnd::ValidateRect(LPCRECT rect)
{
    ::ValidateRect(m_hWnd, rect);
}

void CWnd::UpdateWindow()
{
    ::UpdateWindow(m_hWnd);
}

CDC* CWnd::GetDC()
{
    if (!m_hWnd)
        return nullptr;
    HDC dc = ::GetDC(m_hWnd);
    if (!dc)
        return nullptr;
    auto* object = new CDC();
    object->m_hDC = dc;
    return object;
}

int CWnd::ReleaseDC(CDC* dc)
{
    if (!dc)
        return 0;
    int released = ::ReleaseDC(m_hWnd, dc->m_hDC);
    // A device context that was not this window's is left to its owner.
    if (released) {
        dc->m_hDC = nullptr;
        delete dc;
    }
    return released;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC timerProc)
{
    return ::SetTimer(m_hWnd, id, elapse, timerProc);
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    return ::KillTimer(m_hWnd, id);
}

CWnd* CWnd::SetCapture()
{
    return FromHandle(::SetCapture(m_hWnd));
}

CWnd* CWnd::GetCapture()
{
    return FromHandle(::GetCapture());
}

CWnd* CWnd::SetFocus()
{
    return FromHandle(::SetFocus(m_hWnd));
}

CWnd* CWnd::GetFocus()
{
    return FromHandle(::GetFocus());
}

CWnd* CWnd::SetActiveWindow()
{
    return FromHandle(::SetActiveWindow(m_hWnd));
}

BOOL CWnd::SetForegroundWindow()
{
    return ::SetForegroundWindow(m_hWnd);
}
