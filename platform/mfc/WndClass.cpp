// The framework's window classes: the default class of CWnd::Create, the classes of
// AfxRegisterWndClass, superclasses of classes with procedures of their own, and the dialog
// class.
#include <cstdio>
#include <map>
#include <mutex>
#include <set>

#include "WndState.h"

namespace platform::mfc {

namespace {

std::mutex& ClassLock()
{
    static auto* lock = new std::mutex();
    return *lock;
}

// Registers a class whose procedure is AfxWndProc; an existing class of that name counts as
// registered (another module of the process made it).
bool RegisterFrameworkClass(LPCWSTR name, UINT style, HCURSOR cursor, HBRUSH background, HICON icon,
                            int windowExtra)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = style;
    wc.lpfnWndProc = AfxWndProc;
    wc.cbWndExtra = windowExtra;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0 || GetLastError() == DWORD(ERROR_CLASS_ALREADY_EXISTS);
}

bool FindClass(LPCWSTR name, WNDCLASSEXW* wc)
{
    wc->cbSize = sizeof(*wc);
    if (GetClassInfoExW(AfxGetInstanceHandle(), name, wc))
        return true;
    wc->cbSize = sizeof(*wc);
    return GetClassInfoExW(nullptr, name, wc) != 0;
}

const wchar_t kDefaultClass[] = L"AfxWnd";
const wchar_t kDialogClass[] = L"#32770";

}  // namespace

bool ResolveClass(LPCWSTR className, std::wstring* use, WNDPROC* super)
{
    *super = nullptr;
    if (!className) {
        static bool registered = [] {
            return RegisterFrameworkClass(kDefaultClass, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW,
                                          LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr, 0);
        }();
        if (!registered)
            return false;
        *use = kDefaultClass;
        return true;
    }
    WNDCLASSEXW wc = {};
    if (!FindClass(className, &wc)) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return false;
    }
    if (wc.lpfnWndProc == AfxWndProc) {
        *use = IS_INTRESOURCE(className) ? std::wstring(wc.lpszClassName) : className;
        return true;
    }
    // The superclass keeps the class's attributes; its windows start in AfxWndProc, which
    // passes what the object leaves to the class's own procedure.
    wchar_t name[160];
    std::swprintf(name, sizeof name / sizeof name[0], L"Afx:Super:%ls:%llx", wc.lpszClassName,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(wc.lpfnWndProc)));
    std::lock_guard<std::mutex> guard(ClassLock());
    static auto* made = new std::set<std::wstring>();
    if (!made->count(name)) {
        if (!RegisterFrameworkClass(name, wc.style, wc.hCursor, wc.hbrBackground, wc.hIcon,
                                    wc.cbWndExtra))
            return false;
        made->insert(name);
    }
    *use = name;
    *super = wc.lpfnWndProc;
    return true;
}

LPCWSTR DialogClassName()
{
    static bool registered = [] {
        return RegisterFrameworkClass(kDialogClass, CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW),
                                      nullptr, nullptr, 0);
    }();
    return registered ? kDialogClass : nullptr;
}

}  // namespace platform::mfc

using namespace platform::mfc;

LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon)
{
    wchar_t name[128];
    std::swprintf(
        name, sizeof name / sizeof name[0], L"Afx:%llx:%x:%llx:%llx:%llx",
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(AfxGetInstanceHandle())),
        classStyle, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(cursor)),
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(background)),
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(icon)));
    std::lock_guard<std::mutex> guard(ClassLock());
    // Node-based, so the names handed out stay where they are.
    static auto* names = new std::set<std::wstring>();
    auto it = names->find(name);
    if (it != names->end())
        return it->c_str();
    if (!RegisterFrameworkClass(name, classStyle, cursor, background, icon, 0))
        return nullptr;
    return names->insert(name).first->c_str();
}
