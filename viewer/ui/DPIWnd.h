// CDPIWnd: the second base class of the skinned windows, which creates and places its window
// in design units.
#pragma once

#include "platform/mfc.h"

// Holds the window it places (not owned), null until SetWnd; every operation does nothing and
// returns 0 without one. Coordinates are design units, converted by g_DPIScale; the caller's
// rectangle is read, never changed, so the same design rectangle can be passed on every layout
// pass. Used on the thread of the window.
class CDPIWnd {
public:
    CDPIWnd();
    explicit CDPIWnd(CWnd* window);

    void SetWnd(CWnd* window);

    // Creates the window with the scaled rectangle through its Create the first time, and
    // returns Create's result; once the window exists, moves it there with repainting and
    // returns 0. So one call both creates a control and places it on later layout passes.
    BOOL DPICreate(LPCWSTR className, LPCWSTR title, DWORD style, const RECT& rect, CWnd* parent,
                   UINT id, CCreateContext* context = nullptr);
    // The same for a window built on the static control (a CStatic), through CStatic::Create;
    // 0 and nothing done when the window is not one.
    BOOL DPICreateStatic(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    // The same with CreateEx and the four numbers scaled.
    BOOL DPICreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU idOrMenu, LPVOID param = nullptr);
    // MoveWindow with the four numbers scaled, repainting; its result.
    BOOL DPIMoveWindow(int x, int y, int width, int height);
    // SetWindowPos with the four numbers scaled; its result.
    BOOL DPISetWindowPos(HWND insertAfter, int x, int y, int width, int height, UINT flags);

private:
    CWnd* m_pWnd;
};
