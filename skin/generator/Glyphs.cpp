#include "Glyphs.h"

#include <cmath>

#include "Paint.h"

namespace skin {

namespace {

// Box coordinates: u and v run from 0 to 1 across the box.
double X(GlyphBox box, double u)
{
    return box.cx + (u - 0.5) * box.size;
}

double Y(GlyphBox box, double v)
{
    return box.cy + (v - 0.5) * box.size;
}

void MoveTo(cairo_t* cr, GlyphBox box, double u, double v)
{
    cairo_move_to(cr, X(box, u), Y(box, v));
}

void LineTo(cairo_t* cr, GlyphBox box, double u, double v)
{
    cairo_line_to(cr, X(box, u), Y(box, v));
}

void Polygon(cairo_t* cr, GlyphBox box, std::initializer_list<std::pair<double, double>> points)
{
    bool first = true;
    for (auto [u, v] : points) {
        first ? MoveTo(cr, box, u, v) : LineTo(cr, box, u, v);
        first = false;
    }
    cairo_close_path(cr);
}

void RoundStroke(cairo_t* cr, Rgba colour, double width)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    StrokeWith(cr, colour, width);
}

// Fills a polygon and strokes its outline thinly, which rounds its corners a little.
void SoftFill(cairo_t* cr, Rgba colour, double corner)
{
    SetColour(cr, colour);
    cairo_fill_preserve(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, corner);
    cairo_stroke(cr);
}

void Bar(cairo_t* cr, GlyphBox box, double u, double v, double w, double h, double radius)
{
    RoundedRect(cr, X(box, u), Y(box, v), w * box.size, h * box.size, radius);
}

// An arrow head: a filled triangle with its tip at (x, y) pointing along angle (radians).
void ArrowHead(cairo_t* cr, double x, double y, double angle, double length, double half,
               Rgba colour)
{
    double bx = x - std::cos(angle) * length;
    double by = y - std::sin(angle) * length;
    double nx = -std::sin(angle) * half;
    double ny = std::cos(angle) * half;
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, bx + nx, by + ny);
    cairo_line_to(cr, bx - nx, by - ny);
    cairo_close_path(cr);
    SoftFill(cr, colour, 0.8);
}

}  // namespace

void GlyphPlay(cairo_t* cr, GlyphBox box, Rgba colour)
{
    Polygon(cr, box, {{0.30, 0.17}, {0.30, 0.83}, {0.85, 0.50}});
    SoftFill(cr, colour, box.size * 0.06);
}

void GlyphPause(cairo_t* cr, GlyphBox box, Rgba colour)
{
    Bar(cr, box, 0.24, 0.18, 0.18, 0.64, box.size * 0.04);
    Bar(cr, box, 0.58, 0.18, 0.18, 0.64, box.size * 0.04);
    FillWith(cr, colour);
}

void GlyphStop(cairo_t* cr, GlyphBox box, Rgba colour)
{
    Bar(cr, box, 0.22, 0.22, 0.56, 0.56, box.size * 0.07);
    FillWith(cr, colour);
}

void GlyphPrevious(cairo_t* cr, GlyphBox box, Rgba colour)
{
    Bar(cr, box, 0.20, 0.22, 0.11, 0.56, box.size * 0.03);
    FillWith(cr, colour);
    Polygon(cr, box, {{0.80, 0.22}, {0.80, 0.78}, {0.35, 0.50}});
    SoftFill(cr, colour, box.size * 0.05);
}

void GlyphNext(cairo_t* cr, GlyphBox box, Rgba colour)
{
    Bar(cr, box, 0.69, 0.22, 0.11, 0.56, box.size * 0.03);
    FillWith(cr, colour);
    Polygon(cr, box, {{0.20, 0.22}, {0.20, 0.78}, {0.65, 0.50}});
    SoftFill(cr, colour, box.size * 0.05);
}

void GlyphTenSeconds(cairo_t* cr, GlyphBox box, Rgba colour, bool forward, double stroke)
{
    double r = box.size * 0.40;
    double cx = box.cx;
    double cy = box.cy + box.size * 0.03;
    // The circle is open above the arrow's tail; the head sits at the top, pointing the way
    // the time goes.
    double gap = 0.9;  // radians left open beside the head
    double top = -M_PI / 2;
    cairo_new_path(cr);
    if (forward) {
        cairo_arc_negative(cr, cx, cy, r, top, top + gap);
    } else {
        cairo_arc(cr, cx, cy, r, top, top - gap + 2 * M_PI);
    }
    RoundStroke(cr, colour, stroke);
    double direction = forward ? 0 : M_PI;
    double tipX = cx + (forward ? 1 : -1) * box.size * 0.15;
    ArrowHead(cr, tipX, cy - r, direction, box.size * 0.20, box.size * 0.13, colour);
    CentredText(cr, "10", cx, cy + box.size * 0.02, box.size * 0.30, true, colour);
}

void GlyphClose(cairo_t* cr, GlyphBox box, Rgba colour, double stroke)
{
    MoveTo(cr, box, 0.15, 0.15);
    LineTo(cr, box, 0.85, 0.85);
    MoveTo(cr, box, 0.85, 0.15);
    LineTo(cr, box, 0.15, 0.85);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    StrokeWith(cr, colour, stroke);
}

void GlyphMaximise(cairo_t* cr, GlyphBox box, Rgba colour)
{
    // A window outline with a heavier title edge, on whole pixels.
    double left = std::floor(X(box, 0.1)) + 0.5;
    double top = std::floor(Y(box, 0.1)) + 0.5;
    double side = std::round(box.size * 0.8) - 1;
    cairo_rectangle(cr, left, top, side, side);
    StrokeWith(cr, colour, 1);
    FillPixels(cr, int(left + 0.5), int(top + 0.5), int(side), 1, colour);
}

void GlyphMinimise(cairo_t* cr, GlyphBox box, Rgba colour)
{
    int left = int(std::floor(X(box, 0.1)));
    int width = int(std::round(box.size * 0.8));
    FillPixels(cr, left, int(std::floor(Y(box, 0.85))), width, 2, colour);
}

void GlyphRestore(cairo_t* cr, GlyphBox box, Rgba colour)
{
    // The window behind shows only its top and right edges.
    double left = std::floor(X(box, 0.1)) + 0.5;
    double top = std::floor(Y(box, 0.1)) + 0.5;
    double side = std::round(box.size * 0.6) - 1;
    double step = std::round(box.size * 0.2);
    cairo_move_to(cr, left + step, top + step);
    cairo_line_to(cr, left + step, top);
    cairo_line_to(cr, left + step + side, top);
    cairo_line_to(cr, left + step + side, top + side);
    cairo_line_to(cr, left + side, top + side);
    StrokeWith(cr, colour, 1);
    cairo_rectangle(cr, left, top + step, side, side);
    StrokeWith(cr, colour, 1);
    FillPixels(cr, int(left + 0.5), int(top + step + 0.5), int(side), 1, colour);
}

void GlyphCorners(cairo_t* cr, GlyphBox box, Rgba colour, bool outward, double stroke)
{
    // One-pixel strokes sit on pixel centres so that small glyphs stay sharp.
    bool thin = stroke <= 1.01;
    auto snap = [thin](double v) { return thin ? std::floor(v) + 0.5 : v; };
    double left = box.cx - box.size / 2, right = box.cx + box.size / 2 - (thin ? 1 : 0);
    double top = box.cy - box.size / 2, bottom = box.cy + box.size / 2 - (thin ? 1 : 0);
    double arm = std::round(box.size * (outward ? 0.3 : 0.34));
    for (int corner = 0; corner < 4; ++corner) {
        double x = corner & 1 ? right : left;
        double y = corner & 2 ? bottom : top;
        double dx = corner & 1 ? -arm : arm;  // towards the centre
        double dy = corner & 2 ? -arm : arm;
        if (outward) {
            // An L at the box's corner, its arms along the edges.
            cairo_move_to(cr, snap(x), snap(y + dy));
            cairo_line_to(cr, snap(x), snap(y));
            cairo_line_to(cr, snap(x + dx), snap(y));
        } else {
            // An L whose corner sits inside the box, its arms reaching back to the edges.
            cairo_move_to(cr, snap(x), snap(y + dy));
            cairo_line_to(cr, snap(x + dx), snap(y + dy));
            cairo_line_to(cr, snap(x + dx), snap(y));
        }
    }
    cairo_set_line_cap(cr, thin ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    StrokeWith(cr, colour, stroke);
}

void GlyphFold(cairo_t* cr, GlyphBox box, Rgba colour, bool up)
{
    double bar = up ? 0.16 : 0.76;
    Bar(cr, box, 0.16, bar, 0.68, 0.08, 0.5);
    FillWith(cr, colour);
    double tip = up ? 0.36 : 0.64;
    double tail = up ? 0.66 : 0.34;
    MoveTo(cr, box, 0.24, tail);
    LineTo(cr, box, 0.50, tip);
    LineTo(cr, box, 0.76, tail);
    RoundStroke(cr, colour, std::max(1.6, box.size * 0.1));
}

void GlyphMapPin(cairo_t* cr, GlyphBox box, Rgba colour, bool movie)
{
    double r = box.size * 0.27;
    double cx = box.cx;
    double cy = Y(box, 0.38);
    double tipY = Y(box, 0.92);
    // The pin: a circle whose lower sides run straight to the tip, tangent to it; the arc runs
    // from the left tangent point over the top to the right one.
    double theta = std::acos(r / (tipY - cy));
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, r, M_PI / 2 + theta, 2 * M_PI + M_PI / 2 - theta);
    cairo_line_to(cr, cx, tipY);
    cairo_close_path(cr);
    if (movie) {
        // A play triangle in the pin's head: recordings on the map.
        double t = r * 0.55;
        cairo_move_to(cr, cx - t * 0.55, cy - t * 0.75);
        cairo_line_to(cr, cx + t * 0.85, cy);
        cairo_line_to(cr, cx - t * 0.55, cy + t * 0.75);
        cairo_close_path(cr);
    } else {
        cairo_new_sub_path(cr);
        cairo_arc_negative(cr, cx, cy, r * 0.42, 0, -2 * M_PI);
    }
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    FillWith(cr, colour);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

void GlyphSwap(cairo_t* cr, GlyphBox box, Rgba colour, double stroke)
{
    MoveTo(cr, box, 0.14, 0.34);
    LineTo(cr, box, 0.70, 0.34);
    MoveTo(cr, box, 0.86, 0.66);
    LineTo(cr, box, 0.30, 0.66);
    RoundStroke(cr, colour, stroke);
    double head = box.size * 0.24;
    ArrowHead(cr, X(box, 0.90), Y(box, 0.34), 0, head, head * 0.62, colour);
    ArrowHead(cr, X(box, 0.10), Y(box, 0.66), M_PI, head, head * 0.62, colour);
}

void GlyphZoom(cairo_t* cr, GlyphBox box, Rgba colour, double stroke)
{
    double cx = X(box, 0.42);
    double cy = Y(box, 0.42);
    double r = box.size * 0.28;
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    StrokeWith(cr, colour, stroke);
    MoveTo(cr, box, 0.64, 0.64);
    LineTo(cr, box, 0.88, 0.88);
    RoundStroke(cr, colour, stroke * 1.5);
    double arm = r * 0.5;
    cairo_move_to(cr, cx - arm, cy);
    cairo_line_to(cr, cx + arm, cy);
    cairo_move_to(cr, cx, cy - arm);
    cairo_line_to(cr, cx, cy + arm);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    StrokeWith(cr, colour, stroke);
}

void GlyphGear(cairo_t* cr, GlyphBox box, Rgba colour)
{
    const int teeth = 8;
    double outer = box.size * 0.46;
    double inner = box.size * 0.33;
    double step = 2 * M_PI / teeth;
    cairo_new_path(cr);
    for (int i = 0; i < teeth; ++i) {
        double a = i * step - M_PI / 2;
        // Each tooth: rising flank, flat top, falling flank, then the root to the next tooth.
        double points[4][2] = {{a - step * 0.30, inner},
                               {a - step * 0.17, outer},
                               {a + step * 0.17, outer},
                               {a + step * 0.30, inner}};
        for (int k = 0; k < 4; ++k) {
            double x = box.cx + std::cos(points[k][0]) * points[k][1];
            double y = box.cy + std::sin(points[k][0]) * points[k][1];
            (i == 0 && k == 0) ? cairo_move_to(cr, x, y) : cairo_line_to(cr, x, y);
        }
        cairo_arc(cr, box.cx, box.cy, inner, a + step * 0.30, a + step * 0.70);
    }
    cairo_close_path(cr);
    cairo_new_sub_path(cr);
    cairo_arc_negative(cr, box.cx, box.cy, box.size * 0.15, 0, -2 * M_PI);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    FillWith(cr, colour);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

void GlyphSave(cairo_t* cr, GlyphBox box, Rgba colour, double stroke)
{
    MoveTo(cr, box, 0.14, 0.62);
    LineTo(cr, box, 0.14, 0.86);
    LineTo(cr, box, 0.86, 0.86);
    LineTo(cr, box, 0.86, 0.62);
    RoundStroke(cr, colour, stroke);
    MoveTo(cr, box, 0.50, 0.10);
    LineTo(cr, box, 0.50, 0.50);
    RoundStroke(cr, colour, stroke);
    double head = box.size * 0.28;
    ArrowHead(cr, box.cx, Y(box, 0.70), M_PI / 2, head, head * 0.75, colour);
}

void GlyphSpeaker(cairo_t* cr, GlyphBox box, Rgba colour)
{
    Polygon(cr, box,
            {{0.12, 0.36}, {0.36, 0.36}, {0.76, 0.08}, {0.76, 0.92}, {0.36, 0.64}, {0.12, 0.64}});
    SoftFill(cr, colour, 0.8);
}

void GlyphRepeat(cairo_t* cr, GlyphBox box, Rgba colour, double stroke)
{
    double r = box.size * 0.16;
    // Upper run, left to right, bending down at the left end.
    MoveTo(cr, box, 0.14, 0.60);
    cairo_arc(cr, X(box, 0.14) + r, Y(box, 0.30) + r, r, M_PI, 3 * M_PI / 2);
    LineTo(cr, box, 0.70, 0.30);
    // Lower run, right to left, bending up at the right end.
    MoveTo(cr, box, 0.86, 0.40);
    cairo_arc(cr, X(box, 0.86) - r, Y(box, 0.70) - r, r, 0, M_PI / 2);
    LineTo(cr, box, 0.30, 0.70);
    RoundStroke(cr, colour, stroke);
    double head = box.size * 0.22;
    ArrowHead(cr, X(box, 0.88), Y(box, 0.30), 0, head, head * 0.62, colour);
    ArrowHead(cr, X(box, 0.12), Y(box, 0.70), M_PI, head, head * 0.62, colour);
}

void GlyphCamera(cairo_t* cr, GlyphBox box, Rgba colour)
{
    // A dash camera seen from the front: a rounded body, a mount on top and a ringed lens.
    Bar(cr, box, 0.40, 0.14, 0.20, 0.12, box.size * 0.03);
    FillWith(cr, colour);
    Bar(cr, box, 0.06, 0.24, 0.88, 0.56, box.size * 0.10);
    double lensX = X(box, 0.50);
    double lensY = Y(box, 0.52);
    cairo_new_sub_path(cr);
    cairo_arc_negative(cr, lensX, lensY, box.size * 0.21, 0, -2 * M_PI);
    cairo_new_sub_path(cr);
    cairo_arc(cr, lensX, lensY, box.size * 0.13, 0, 2 * M_PI);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    FillWith(cr, colour);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_arc(cr, X(box, 0.80), Y(box, 0.34), box.size * 0.035, 0, 2 * M_PI);
    FillWith(cr, colour);
}

void GlyphTriangle(cairo_t* cr, GlyphBox box, Rgba colour, int direction)
{
    switch (direction & 3) {
        case 0:
            Polygon(cr, box, {{0.5, 0.22}, {0.92, 0.74}, {0.08, 0.74}});
            break;
        case 1:
            Polygon(cr, box, {{0.78, 0.5}, {0.26, 0.92}, {0.26, 0.08}});
            break;
        case 2:
            Polygon(cr, box, {{0.5, 0.78}, {0.08, 0.26}, {0.92, 0.26}});
            break;
        case 3:
            Polygon(cr, box, {{0.22, 0.5}, {0.74, 0.08}, {0.74, 0.92}});
            break;
    }
    FillWith(cr, colour);
}

void GlyphCheck(cairo_t* cr, GlyphBox box, Rgba colour, double stroke)
{
    MoveTo(cr, box, 0.18, 0.52);
    LineTo(cr, box, 0.42, 0.76);
    LineTo(cr, box, 0.84, 0.26);
    RoundStroke(cr, colour, stroke);
}

}  // namespace skin
