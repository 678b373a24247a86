// What the system's controls ("Button", "Edit") share: their classes, the colour request to the
// parent and the background it chooses.
#pragma once

#include <memory>

#include "platform/user.h"

namespace platform::user {

struct WindowClass;

// The system classes, made once with the window manager's state; each control file gives its
// own.
std::shared_ptr<WindowClass> ButtonClass();
std::shared_ptr<WindowClass> EditClass();

// Asks the parent for the control's colours (message: a WM_CTLCOLOR* request) on dc and fills
// `area` with the brush it answers; the null brush copies the parent's pixels beneath the
// control instead, since every window here has pixels of its own. Without a parent, or when
// the parent answers no brush, the default processing chooses.
void PaintControlBackground(HWND control, HDC dc, UINT message, const RECT& area);

// The font given by WM_SETFONT, kept at window-data offset 0 by both classes.
constexpr int kControlFontOffset = 0;
inline HFONT ControlFont(HWND control)
{
    return reinterpret_cast<HFONT>(GetWindowLongPtrW(control, kControlFontOffset));
}

// Sends the parent WM_COMMAND with the control's id and a notification code.
void NotifyParent(HWND control, WORD code);

// A rectangle's outline, one pixel wide, inside it.
void FrameOutline(HDC dc, const RECT& rect, COLORREF color);

}  // namespace platform::user
