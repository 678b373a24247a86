// Steps that every skinned control takes to paint: copying its parent's pixels under it,
// keeping its composed face at its client size, and painting at once outside WM_PAINT.
#pragma once

#include <functional>

#include "platform/mfc.h"
#include "ui/OffscreenDC.h"

// Re-creates target (compatible with `compatible`) at the control's client size and copies
// into it the pixels of parentDC at the control's place in its parent's client area, or at
// *from of parentDC when given. FALSE, with target as it was, without a parentDC or when the
// surface cannot be made.
BOOL CopyParentBackground(const CWnd& control, CDC* compatible, CDC* parentDC,
                          COffscreenDC& target, const POINT* from = nullptr);

// Re-creates the surface at width x height when it has another size. TRUE when it did, so the
// face it holds must be composed again.
BOOL FitSurface(COffscreenDC& surface, CDC* compatible, int width, int height);

// Runs paint with a device context of the window's client area, at once, on the calling
// thread; nothing without a window.
void PaintNow(CWnd& window, const std::function<void(CDC*)>& paint);
