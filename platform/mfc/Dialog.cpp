// CDialog: dialogs from templates, the modal loop, and the dialog manager's default processing.
#include <string>

#include "DialogTemplate.h"
#include "WndState.h"

using namespace platform::mfc;

namespace {

// The horizontal and vertical base units of a font: the average width of the 52 letters and
// the cell height.
SIZE BaseUnits(HFONT font)
{
    SIZE units = {8, 16};
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return units;
    HGDIOBJ previous = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent = {0, 0};
    if (GetTextExtentPoint32W(dc, kLetters, 52, &extent) && extent.cx > 0 && extent.cy > 0) {
        units.cx = (extent.cx / 26 + 1) / 2;
        units.cy = extent.cy;
    }
    if (previous)
        SelectObject(dc, previous);
    DeleteDC(dc);
    return units;
}

// Sends the command of a push button of the dialog, as a click on it would: nothing when the
// dialog has such a control and it is disabled.
void PressButton(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (control && !IsWindowEnabled(control))
        return;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(control));
}

}  // namespace

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_lpszTemplateName(MAKEINTRESOURCEW(templateId)),
      m_pParentWnd(parent),
      m_hFont(nullptr),
      m_nModalResult(-1),
      m_bContinueModal(false),
      m_hModalWindow(nullptr)
{
}

CDialog::CDialog(LPCWSTR templateName, CWnd* parent)
    : m_lpszTemplateName(nullptr),
      m_pParentWnd(parent),
      m_hFont(nullptr),
      m_nModalResult(-1),
      m_bContinueModal(false),
      m_hModalWindow(nullptr)
{
    if (IS_INTRESOURCE(templateName)) {
        m_lpszTemplateName = templateName;
    } else {
        m_strTemplateName = templateName ? templateName : L"";
        m_lpszTemplateName = m_strTemplateName.c_str();
    }
}

CDialog::~CDialog()
{
    // Destroyed here, while the object is still a dialog, so that its own handlers see the end.
    if (m_hWnd && IsWindow(m_hWnd) &&
        GetWindowThreadProcessId(m_hWnd, nullptr) == GetCurrentThreadId())
        ::DestroyWindow(m_hWnd);
    if (m_hFont)
        DeleteObject(m_hFont);
}

LRESULT CALLBACK CDialog::DefDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_CLOSE: {
            HWND cancel = ::GetDlgItem(window, IDCANCEL);
            if (cancel && !::IsWindowEnabled(cancel))
                return 0;
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0),
                         reinterpret_cast<LPARAM>(cancel));
            return 0;
        }
        case WM_ERASEBKGND: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            HBRUSH brush = reinterpret_cast<HBRUSH>(
                SendMessageW(window, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(window)));
            if (!brush)
                brush = GetSysColorBrush(COLOR_WINDOW);
            RECT client = {};
            ::GetClientRect(window, &client);
            FillRect(dc, &client, brush);
            return 1;
        }
        case WM_GETFONT: {
            auto* dialog = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(window));
            return reinterpret_cast<LRESULT>(dialog ? dialog->m_hFont : nullptr);
        }
        case WM_INITDIALOG:
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool CDialog::CreateFromTemplate(HWND owner)
{
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC resource = FindResourceW(module, m_lpszTemplateName, RT_DIALOG);
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(module, resource);
    DialogTemplate dialog;
    if (!bytes || !ParseDialogTemplate(bytes, size, &dialog, nullptr)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }

    if (m_hFont) {
        DeleteObject(m_hFont);
        m_hFont = nullptr;
    }
    if (dialog.hasFont)
        m_hFont = CreateFontW(-MulDiv(dialog.pointSize, 96, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                              FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, dialog.face.c_str());
    SIZE units = BaseUnits(m_hFont);
    auto toX = [&](int v) { return MulDiv(v, units.cx, 4); };
    auto toY = [&](int v) { return MulDiv(v, units.cy, 8); };

    DWORD style = dialog.style;
    int x = toX(dialog.x);
    int y = toY(dialog.y);
    if (owner && !(style & WS_CHILD)) {
        POINT origin = {0, 0};
        ::ClientToScreen(owner, &origin);
        x += origin.x;
        y += origin.y;
    }
    LPCWSTR dialogClass = DialogClassName();
    if (!dialogClass)
        return false;
    EnsureStaticClass();

    m_pfnSuper = DefDialogProc;
    ThreadState& thread = Thread();
    CWnd* outer = thread.creating;
    thread.creating = this;
    HWND window =
        CreateWindowExW(dialog.exStyle, dialogClass, dialog.caption.c_str(), style & ~WS_VISIBLE, x,
                        y, toX(dialog.width), toY(dialog.height), owner, nullptr, module, nullptr);
    if (thread.creating == this)
        thread.creating = outer;
    if (!window || m_hWnd != window)
        return false;
    if (m_hFont)
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);

    HWND firstTabStop = nullptr;
    for (const DialogControl& control : dialog.controls) {
        HWND child = CreateWindowExW(
            control.exStyle, control.className.c_str(), control.text.c_str(),
            (control.style | WS_CHILD) & ~WS_POPUP, toX(control.x), toY(control.y),
            toX(control.width), toY(control.height), window,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(control.id)), module, nullptr);
        if (!child) {
            DWORD why = GetLastError();
            if (IsWindow(window))
                ::DestroyWindow(window);
            SetLastError(why);
            return false;
        }
        // Each control goes beneath the ones before it, so that the template's order is the
        // order from front to back, as the dialog manager makes it: a group box listed after
        // the controls it frames stays behind them.
        ::SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        if (m_hFont)
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
        if (!firstTabStop && (control.style & WS_TABSTOP))
            firstTabStop = child;
    }
    SendMessageW(window, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), 0);
    return m_hWnd == window && IsWindow(window);
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    HWND owner = nullptr;
    if (m_pParentWnd && m_pParentWnd->m_hWnd) {
        owner = m_pParentWnd->m_hWnd;
    } else if (CWnd* main = AfxGetMainWnd(); main && main != this && main->m_hWnd) {
        owner = main->m_hWnd;
    }
    if (owner)
        owner = GetAncestor(owner, GA_ROOT);
    bool enableOwner = owner && ::IsWindowEnabled(owner);
    if (enableOwner)
        ::EnableWindow(owner, FALSE);

    m_nModalResult = -1;
    m_bContinueModal = true;
    bool created = CreateFromTemplate(owner);
    DWORD failure = created ? 0 : GetLastError();
    if (created && m_bContinueModal) {
        if (!::IsWindowVisible(m_hWnd))
            ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        RunModalLoop();
    }
    m_bContinueModal = false;

    // The owner is enabled before the dialog hides, so that it takes the activation back.
    if (enableOwner && IsWindow(owner))
        ::EnableWindow(owner, TRUE);
    if (m_hWnd) {
        bool wasActive = GetActiveWindow() == m_hWnd;
        ::ShowWindow(m_hWnd, SW_HIDE);
        if (wasActive && owner && IsWindow(owner))
            ::SetActiveWindow(owner);
        ::DestroyWindow(m_hWnd);
    }
    if (m_hFont) {
        DeleteObject(m_hFont);
        m_hFont = nullptr;
    }
    if (!created)
        SetLastError(failure);
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    while (m_bContinueModal) {
        int quitCode = 0;
        if (!PumpMessage(m_hWnd, &quitCode)) {
            // Someone wants the program to end: the dialog ends and WM_QUIT goes on to the
            // loop outside.
            if (quitCode != -1)
                PostQuitMessage(quitCode);
            m_nModalResult = -1;
            break;
        }
    }
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    m_bContinueModal = false;
    // Wakes the modal loop in case it waits for a message; a window already gone ignores it.
    HWND window = m_hModalWindow.load();
    if (window)
        PostMessageW(window, WM_NULL, 0, 0);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    // Buttons, menus (0) and accelerators (1) give commands; other codes are notifications.
    if (HIWORD(wParam) <= 1) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return CWnd::OnCommand(wParam, lParam);
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITDIALOG) {
        m_hModalWindow = m_hWnd;
        BOOL setFocus = OnInitDialog();
        if (setFocus && wParam && IsWindow(reinterpret_cast<HWND>(wParam)))
            ::SetFocus(reinterpret_cast<HWND>(wParam));
        *result = setFocus;
        return TRUE;
    }
    if (message == WM_NCDESTROY) {
        // A dialog destroyed from elsewhere ends its modal loop.
        m_bContinueModal = false;
        m_hModalWindow = nullptr;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    if (!msg || !m_hWnd || msg->message != WM_KEYDOWN)
        return FALSE;
    if (msg->hwnd != m_hWnd && !IsChild(m_hWnd, msg->hwnd))
        return FALSE;
    if (msg->wParam == VK_ESCAPE) {
        PressButton(m_hWnd, IDCANCEL);
        return TRUE;
    }
    if (msg->wParam == VK_RETURN) {
        PressButton(m_hWnd, IDOK);
        return TRUE;
    }
    return FALSE;
}
