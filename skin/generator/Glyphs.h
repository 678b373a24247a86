// The button glyphs, drawn in one colour into a square box: (cx, cy) is the box's centre and
// size its side in pixels. Strokes are given in pixels and do not grow with the box, so small
// glyphs stay crisp.
#pragma once

#include <cairo.h>

#include "Theme.h"

namespace skin {

struct GlyphBox {
    double cx;
    double cy;
    double size;
};

void GlyphPlay(cairo_t* cr, GlyphBox box, Rgba colour);
void GlyphPause(cairo_t* cr, GlyphBox box, Rgba colour);
void GlyphStop(cairo_t* cr, GlyphBox box, Rgba colour);
void GlyphPrevious(cairo_t* cr, GlyphBox box, Rgba colour);
void GlyphNext(cairo_t* cr, GlyphBox box, Rgba colour);
// A circular arrow with "10" inside: turning back (anticlockwise) or forward (clockwise).
void GlyphTenSeconds(cairo_t* cr, GlyphBox box, Rgba colour, bool forward, double stroke);

void GlyphClose(cairo_t* cr, GlyphBox box, Rgba colour, double stroke);
void GlyphMaximise(cairo_t* cr, GlyphBox box, Rgba colour);
void GlyphMinimise(cairo_t* cr, GlyphBox box, Rgba colour);
void GlyphRestore(cairo_t* cr, GlyphBox box, Rgba colour);
// Corner brackets pointing out of the box (enter full screen) or into it (leave full screen).
void GlyphCorners(cairo_t* cr, GlyphBox box, Rgba colour, bool outward, double stroke);

// A chevron with a bar: folding up (bar on top, chevron up) or down.
void GlyphFold(cairo_t* cr, GlyphBox box, Rgba colour, bool up);
// A map pin; with movie set, a play triangle takes the place of the hole in its head.
void GlyphMapPin(cairo_t* cr, GlyphBox box, Rgba colour, bool movie);
void GlyphSwap(cairo_t* cr, GlyphBox box, Rgba colour, double stroke);
void GlyphZoom(cairo_t* cr, GlyphBox box, Rgba colour, double stroke);
void GlyphGear(cairo_t* cr, GlyphBox box, Rgba colour);
void GlyphSave(cairo_t* cr, GlyphBox box, Rgba colour, double stroke);
void GlyphSpeaker(cairo_t* cr, GlyphBox box, Rgba colour);
void GlyphRepeat(cairo_t* cr, GlyphBox box, Rgba colour, double stroke);
void GlyphCamera(cairo_t* cr, GlyphBox box, Rgba colour);

// A solid triangle pointing in a direction: 0 up, 1 right, 2 down, 3 left.
void GlyphTriangle(cairo_t* cr, GlyphBox box, Rgba colour, int direction);
void GlyphCheck(cairo_t* cr, GlyphBox box, Rgba colour, double stroke);

}  // namespace skin
