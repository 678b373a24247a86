// Small drawing helpers over Cairo, shared by the artwork, and the owner of a Cairo image
// surface with its context.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

#include "Theme.h"

namespace skin {

// An ARGB32 image surface (premultiplied, as Cairo keeps it) and a context drawing on it. The
// surface starts fully transparent.
class Canvas {
public:
    Canvas(int width, int height);
    cairo_t* Context() const { return m_context.get(); }
    cairo_surface_t* Surface() const { return m_surface.get(); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    struct SurfaceDeleter {
        void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
    };
    struct ContextDeleter {
        void operator()(cairo_t* context) const { cairo_destroy(context); }
    };
    int m_width;
    int m_height;
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> m_surface;
    std::unique_ptr<cairo_t, ContextDeleter> m_context;
};

void SetColour(cairo_t* cr, Rgba colour);

// Adds a rectangle with corners rounded by radius to the path (radius 0 gives a plain one).
void RoundedRect(cairo_t* cr, double x, double y, double width, double height, double radius);

// Adds a rectangle rounded only at its two upper corners.
void TopRoundedRect(cairo_t* cr, double x, double y, double width, double height, double radius);

// Fills the current path with colour, keeping the path when keep is set.
void FillWith(cairo_t* cr, Rgba colour, bool keep = false);

// Strokes the current path with colour at a width in pixels.
void StrokeWith(cairo_t* cr, Rgba colour, double width, bool keep = false);

// Fills rows [top, top + height) of columns [left, left + width) with colour, pixel-aligned.
void FillPixels(cairo_t* cr, int left, int top, int width, int height, Rgba colour);

// Text in DejaVu Sans, centred on (cx, cy) by its ink extents; size in pixels.
void CentredText(cairo_t* cr, const std::string& text, double cx, double cy, double size, bool bold,
                 Rgba colour);

// Text in DejaVu Sans with its left edge at x and its baseline at y; returns its advance.
double TextAt(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold,
              Rgba colour, double letterSpacing = 0);

// The advance of a text as TextAt would draw it.
double TextWidth(cairo_t* cr, const std::string& text, double size, bool bold,
                 double letterSpacing = 0);

// A shadow that falls inside the current clip from its upper edge, for pressed faces.
void InnerShadow(cairo_t* cr, double x, double y, double width, double height, double depth);

// A faint light over the upper half of a rectangle, for hovered faces.
void UpperLight(cairo_t* cr, double x, double y, double width, double height);

}  // namespace skin
