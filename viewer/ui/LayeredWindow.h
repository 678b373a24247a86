// Pushing a composed picture to a translucent pop-up: the floating controls (menus, panels,
// their buttons and sliders, the balloon) are layered top-most tool windows shown with their
// picture's per-pixel alpha.
#pragma once

#include "platform/mfc.h"
#include "ui/OffscreenDC.h"

// Adds WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST to the window's extended style and shows
// the picture's top-left client-sized part at the window's screen position, source-over with
// constant alpha 255 and the picture's premultiplied alpha (ULW_ALPHA). FALSE when the window or
// the picture does not exist or the update fails; the window then keeps its last picture.
BOOL PushLayeredPicture(CWnd& window, const COffscreenDC& picture);

// Blends the whole of a created source surface (per-pixel alpha, constant alpha 255) into the
// target at (x, y) with the size (width, height), stretching when it differs. Nothing happens
// when either surface is empty.
void BlendSurface(const COffscreenDC& target, int x, int y, int width, int height,
                  const COffscreenDC& source);

// The window class of the floating pop-ups and their balloons: redrawn on resizing, no cursor,
// the window-colour brush, no icon. Registered once; the name lives as long as the process.
LPCWSTR PopupWindowClass();

// A floating control's composed picture is kept until a change marks it dirty: when the face is
// missing or dirty it is made again, empty and client-sized, compatible with the target, dirty is
// cleared and the answer is TRUE, so that the caller fills it. FALSE: push the face as it is (or,
// when it could not be made, nothing).
BOOL RenewFace(CWnd& window, CDC* target, COffscreenDC& face, int& dirty);

// The panels' face: when it is renewed, the background copied one to one at the client size, then
// `fill` (when given) adds what changes; the face is pushed either way.
void ComposePanel(CWnd& window, CDC* target, COffscreenDC& face, int& dirty,
                  const COffscreenDC& background, void (*fill)(CWnd&, COffscreenDC&) = nullptr);
