#include "ui/LayeredWindow.h"

BOOL PushLayeredPicture(CWnd& window, const COffscreenDC& picture)
{
    if (!window.GetSafeHwnd() || !picture.IsCreated())
        return FALSE;
    window.ModifyStyleEx(0, WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    CRect client;
    window.GetClientRect(&client);
    CRect bounds;
    window.GetWindowRect(&bounds);
    POINT destination = {bounds.left, bounds.top};
    SIZE size = {client.Width(), client.Height()};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return UpdateLayeredWindow(window.GetSafeHwnd(), nullptr, &destination, &size,
                               picture.GetDC()->GetSafeHdc(), &source, 0, &blend, ULW_ALPHA);
}

void BlendSurface(const COffscreenDC& target, int x, int y, int width, int height,
                  const COffscreenDC& source)
{
    if (!target.IsCreated() || !source.IsCreated() || source.GetWidth() <= 0 ||
        source.GetHeight() <= 0)
        return;
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    target.GetDC()->AlphaBlend(x, y, width, height, source.GetDC(), 0, 0, source.GetWidth(),
                               source.GetHeight(), blend);
}

LPCWSTR PopupWindowClass()
{
    return AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, nullptr,
                               reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr);
}

BOOL RenewFace(CWnd& window, CDC* target, COffscreenDC& face, int& dirty)
{
    if (!dirty && face.IsCreated())
        return FALSE;
    CRect client;
    window.GetClientRect(&client);
    if (!face.Create(target, client.Width(), client.Height()))
        return FALSE;
    dirty = 0;
    return TRUE;
}

void ComposePanel(CWnd& window, CDC* target, COffscreenDC& face, int& dirty,
                  const COffscreenDC& background, void (*fill)(CWnd&, COffscreenDC&))
{
    if (RenewFace(window, target, face, dirty)) {
        if (background.IsCreated())
            face.GetDC()->BitBlt(0, 0, face.GetWidth(), face.GetHeight(), background.GetDC(), 0, 0,
                                 SRCCOPY);
        if (fill)
            fill(window, face);
    }
    PushLayeredPicture(window, face);
}
