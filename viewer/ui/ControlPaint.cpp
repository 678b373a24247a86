#include "ui/ControlPaint.h"

BOOL CopyParentBackground(const CWnd& control, CDC* compatible, CDC* parentDC,
                          COffscreenDC& target, const POINT* from)
{
    if (!parentDC || !compatible)
        return FALSE;
    CRect client;
    control.GetClientRect(&client);
    CRect place;
    control.GetWindowRect(&place);
    if (CWnd* parent = control.GetParent())
        parent->ScreenToClient(&place);
    if (!target.Create(compatible, client.Width(), client.Height()))
        return FALSE;
    POINT source = from ? *from : POINT{place.left, place.top};
    target.GetDC()->BitBlt(0, 0, client.Width(), client.Height(), parentDC, source.x, source.y,
                           SRCCOPY);
    return TRUE;
}

BOOL FitSurface(COffscreenDC& surface, CDC* compatible, int width, int height)
{
    if (surface.IsCreated() && surface.GetWidth() == width && surface.GetHeight() == height)
        return FALSE;
    surface.Create(compatible, width, height);
    return TRUE;
}

void PaintNow(CWnd& window, const std::function<void(CDC*)>& paint)
{
    if (CDC* dc = window.GetDC()) {
        paint(dc);
        window.ReleaseDC(dc);
    }
}
