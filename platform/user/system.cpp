// System metrics, the one monitor and system parameters.
#include <cwchar>

#include "wm.h"

using namespace platform::user;

namespace {

// The monitor handle: a tagged number that no other handle uses.
HMONITOR TheMonitor()
{
    return reinterpret_cast<HMONITOR>(uintptr_t(0x7E000001));
}

RECT ScreenRect()
{
    return RECT{0, 0, G().screen.cx, G().screen.cy};
}

HMONITOR MonitorFor(const RECT& rect, DWORD flags)
{
    RECT screen = ScreenRect();
    RECT overlap;
    if (IntersectRect(&overlap, &rect, &screen))
        return TheMonitor();
    // A point or an empty rectangle on the screen still lies on the monitor.
    POINT corner = {rect.left, rect.top};
    if (PtInRect(&screen, corner))
        return TheMonitor();
    return flags == MONITOR_DEFAULTTONULL ? nullptr : TheMonitor();
}

}  // namespace

int GetSystemMetrics(int index)
{
    SIZE screen = G().screen;
    switch (index) {
        case SM_CXSCREEN:
        case SM_CXVIRTUALSCREEN:
            return screen.cx;
        case SM_CYSCREEN:
        case SM_CYVIRTUALSCREEN:
            return screen.cy;
        case SM_XVIRTUALSCREEN:
        case SM_YVIRTUALSCREEN:
            return 0;
        case SM_CXICON:
        case SM_CYICON:
        case SM_CXCURSOR:
        case SM_CYCURSOR:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CXDOUBLECLK:
        case SM_CYDOUBLECLK:
            return 4;
        case SM_CMONITORS:
            return 1;
        default:
            return 0;
    }
}

HMONITOR MonitorFromRect(const RECT* rect, DWORD flags)
{
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return MonitorFor(*rect, flags);
}

HMONITOR MonitorFromPoint(POINT point, DWORD flags)
{
    return MonitorFor(RECT{point.x, point.y, point.x, point.y}, flags);
}

HMONITOR MonitorFromWindow(HWND window, DWORD flags)
{
    RECT rect;
    {
        std::lock_guard<std::mutex> guard(G().lock);
        if (window == G().desktop->handle)
            return TheMonitor();
        Window* w = FindL(window);
        if (!w)
            return flags == MONITOR_DEFAULTTONULL ? nullptr : TheMonitor();
        // A minimised window counts where it will be restored.
        if (w->style & WS_MINIMIZE) {
            POINT origin = w->parent ? ClientOriginL(w->parent) : POINT{0, 0};
            rect = w->restore;
            OffsetRect(&rect, origin.x, origin.y);
        } else {
            rect = ScreenRectL(w);
        }
    }
    return MonitorFor(rect, flags);
}

BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info)
{
    if (monitor != TheMonitor() || !info ||
        (info->cbSize != sizeof(MONITORINFO) && info->cbSize != sizeof(MONITORINFOEXW))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->rcMonitor = ScreenRect();
    info->rcWork = ScreenRect();
    info->dwFlags = MONITORINFOF_PRIMARY;
    if (info->cbSize == sizeof(MONITORINFOEXW)) {
        auto* ex = reinterpret_cast<LPMONITORINFOEXW>(info);
        std::wcsncpy(ex->szDevice, L"\\\\.\\DISPLAY1", CCHDEVICENAME - 1);
        ex->szDevice[CCHDEVICENAME - 1] = L'\0';
    }
    return TRUE;
}

BOOL SystemParametersInfoW(UINT action, UINT uiParam, PVOID pvParam, UINT winIni)
{
    Wm& g = G();
    std::lock_guard<std::mutex> guard(g.lock);
    switch (action) {
        case SPI_GETDRAGFULLWINDOWS:
            if (!pvParam)
                break;
            *static_cast<BOOL*>(pvParam) = g.dragFullWindows ? TRUE : FALSE;
            return TRUE;
        case SPI_SETDRAGFULLWINDOWS:
            g.dragFullWindows = uiParam != 0;
            return TRUE;
        case SPI_GETWORKAREA:
            if (!pvParam)
                break;
            *static_cast<RECT*>(pvParam) = ScreenRect();
            return TRUE;
        case SPI_GETMOUSEHOVERTIME:
            if (!pvParam)
                break;
            *static_cast<UINT*>(pvParam) = 400;
            return TRUE;
        default:
            break;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
