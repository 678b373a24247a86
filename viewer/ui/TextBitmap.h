// Text for translucent surfaces: a line rendered into a premultiplied 32-bit bitmap whose alpha
// is the glyph coverage, so that it blends correctly over the per-pixel alpha of a layered
// window (GDI text itself leaves the alpha of the pixels it touches at 0).
#pragma once

#include <string>

#include "platform/gdi.h"
#include "ui/OffscreenDC.h"

// A bitmap of exactly the text's measured size (DrawTextW with DT_CALCRECT in the font), each
// pixel the colour scaled by the coverage, alpha the coverage. The caller owns the bitmap and
// deletes it; *size (when given) receives its size, (0, 0) without one. Null for an empty
// text, a null font or a text that measures empty.
HBITMAP CreateTextBitmap(const std::wstring& text, HFONT font, COLORREF color,
                         SIZE* size = nullptr);

// Blends the text bitmap (per-pixel alpha, constant alpha 255) into the target's surface at
// (left + dx, top + dy): dy is (rectangle height - text height) / 2 rounded up, dx the same from
// the widths when align is 1 and 0 otherwise, both 0 when negative. Nothing is clipped to the
// rectangle. Nothing happens for an empty target or text.
void DrawPanelText(COffscreenDC& target, const std::wstring& text, HFONT font, const RECT& rect,
                   COLORREF color, int align);

// Blends a text bitmap made by CreateTextBitmap into the target at (x, y) at its own size.
void BlendTextBitmap(COffscreenDC& target, HBITMAP bitmap, SIZE size, int x, int y);
