#include "ui/DPIWnd.h"

#include "ui/DPIScale.h"

namespace {

RECT Scaled(const RECT& design)
{
    RECT rect = design;
    g_DPIScale.ScaleRect(&rect);
    return rect;
}

}  // namespace

CDPIWnd::CDPIWnd() : m_pWnd(nullptr) {}

CDPIWnd::CDPIWnd(CWnd* window) : m_pWnd(window) {}

void CDPIWnd::SetWnd(CWnd* window)
{
    m_pWnd = window;
}

BOOL CDPIWnd::DPICreate(LPCWSTR className, LPCWSTR title, DWORD style, const RECT& rect,
                        CWnd* parent, UINT id, CCreateContext* context)
{
    if (!m_pWnd)
        return 0;
    RECT scaled = Scaled(rect);
    if (!m_pWnd->GetSafeHwnd())
        return m_pWnd->Create(className, title, style, scaled, parent, id, context);
    m_pWnd->MoveWindow(&scaled, TRUE);
    return 0;
}

BOOL CDPIWnd::DPICreateStatic(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    auto* control = dynamic_cast<CStatic*>(m_pWnd);
    if (!control)
        return 0;
    RECT scaled = Scaled(rect);
    if (!control->GetSafeHwnd())
        return control->Create(text, style, scaled, parent, id);
    control->MoveWindow(&scaled, TRUE);
    return 0;
}

BOOL CDPIWnd::DPICreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                          int y, int width, int height, HWND parent, HMENU idOrMenu, LPVOID param)
{
    if (!m_pWnd)
        return 0;
    int sx = g_DPIScale.Scale(x);
    int sy = g_DPIScale.Scale(y);
    int sw = g_DPIScale.Scale(width);
    int sh = g_DPIScale.Scale(height);
    if (!m_pWnd->GetSafeHwnd())
        return m_pWnd->CreateEx(exStyle, className, title, style, sx, sy, sw, sh, parent, idOrMenu,
                                param);
    m_pWnd->MoveWindow(sx, sy, sw, sh, TRUE);
    return 0;
}

BOOL CDPIWnd::DPIMoveWindow(int x, int y, int width, int height)
{
    if (!m_pWnd || !m_pWnd->GetSafeHwnd())
        return 0;
    return ::MoveWindow(m_pWnd->GetSafeHwnd(), g_DPIScale.Scale(x), g_DPIScale.Scale(y),
                        g_DPIScale.Scale(width), g_DPIScale.Scale(height), TRUE);
}

BOOL CDPIWnd::DPISetWindowPos(HWND insertAfter, int x, int y, int width, int height, UINT flags)
{
    if (!m_pWnd || !m_pWnd->GetSafeHwnd())
        return 0;
    return ::SetWindowPos(m_pWnd->GetSafeHwnd(), insertAfter, g_DPIScale.Scale(x),
                          g_DPIScale.Scale(y), g_DPIScale.Scale(width), g_DPIScale.Scale(height),
                          flags);
}
