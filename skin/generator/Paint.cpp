#include "Paint.h"

#include <cmath>
#include <stdexcept>

namespace skin {

Canvas::Canvas(int width, int height)
    : m_width(width),
      m_height(height),
      m_surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height))
{
    if (cairo_surface_status(m_surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("cannot create a " + std::to_string(width) + " x " +
                                 std::to_string(height) + " surface");
    }
    m_context.reset(cairo_create(m_surface.get()));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(m_context.get(), options);
    cairo_font_options_destroy(options);
}

void SetColour(cairo_t* cr, Rgba colour)
{
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, colour.a);
}

void RoundedRect(cairo_t* cr, double x, double y, double width, double height, double radius)
{
    radius = std::min(radius, std::min(width, height) / 2);
    if (radius <= 0) {
        cairo_rectangle(cr, x, y, width, height);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x + radius, y + height - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void TopRoundedRect(cairo_t* cr, double x, double y, double width, double height, double radius)
{
    radius = std::min(radius, std::min(width / 2, height));
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_line_to(cr, x + width, y + height);
    cairo_line_to(cr, x, y + height);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void FillWith(cairo_t* cr, Rgba colour, bool keep)
{
    SetColour(cr, colour);
    keep ? cairo_fill_preserve(cr) : cairo_fill(cr);
}

void StrokeWith(cairo_t* cr, Rgba colour, double width, bool keep)
{
    SetColour(cr, colour);
    cairo_set_line_width(cr, width);
    keep ? cairo_stroke_preserve(cr) : cairo_stroke(cr);
}

void FillPixels(cairo_t* cr, int left, int top, int width, int height, Rgba colour)
{
    cairo_rectangle(cr, left, top, width, height);
    FillWith(cr, colour);
}

namespace {

void SelectFace(cairo_t* cr, double size, bool bold)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

}  // namespace

void CentredText(cairo_t* cr, const std::string& text, double cx, double cy, double size, bool bold,
                 Rgba colour)
{
    SelectFace(cr, size, bold);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, cx - extents.x_bearing - extents.width / 2,
                  cy - extents.y_bearing - extents.height / 2);
    SetColour(cr, colour);
    cairo_show_text(cr, text.c_str());
    cairo_new_path(cr);
}

double TextAt(cairo_t* cr, const std::string& text, double x, double y, double size, bool bold,
              Rgba colour, double letterSpacing)
{
    SelectFace(cr, size, bold);
    SetColour(cr, colour);
    double start = x;
    for (char c : text) {
        char one[2] = {c, 0};
        cairo_text_extents_t extents;
        cairo_text_extents(cr, one, &extents);
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, one);
        x += extents.x_advance + letterSpacing;
    }
    cairo_new_path(cr);
    return x - start - (text.empty() ? 0 : letterSpacing);
}

double TextWidth(cairo_t* cr, const std::string& text, double size, bool bold, double letterSpacing)
{
    SelectFace(cr, size, bold);
    double width = 0;
    for (char c : text) {
        char one[2] = {c, 0};
        cairo_text_extents_t extents;
        cairo_text_extents(cr, one, &extents);
        width += extents.x_advance + letterSpacing;
    }
    return width - (text.empty() ? 0 : letterSpacing);
}

void InnerShadow(cairo_t* cr, double x, double y, double width, double height, double depth)
{
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, y, 0, y + depth);
    cairo_pattern_add_color_stop_rgba(shade, 0, 0, 0, 0, 0.45);
    cairo_pattern_add_color_stop_rgba(shade, 1, 0, 0, 0, 0);
    cairo_rectangle(cr, x, y, width, std::min(depth, height));
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
}

void UpperLight(cairo_t* cr, double x, double y, double width, double height)
{
    cairo_pattern_t* light = cairo_pattern_create_linear(0, y, 0, y + height / 2);
    cairo_pattern_add_color_stop_rgba(light, 0, 1, 1, 1, 0.07);
    cairo_pattern_add_color_stop_rgba(light, 1, 1, 1, 1, 0);
    cairo_rectangle(cr, x, y, width, height / 2);
    cairo_set_source(cr, light);
    cairo_fill(cr);
    cairo_pattern_destroy(light);
}

}  // namespace skin
