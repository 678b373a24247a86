#include "Artwork.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <tuple>

#include "Glyphs.h"
#include "Paint.h"
#include "Theme.h"

namespace skin {

using namespace palette;

namespace {

// ---------------------------------------------------------------------------------------------
// Faces

// Fills and rims the current path as a face in a look, with the look's light or shadow inside.
void Face(cairo_t* cr, const Look& look, double x, double y, double width, double height,
          double radius, double rim)
{
    RoundedRect(cr, x, y, width, height, radius);
    FillWith(cr, look.face, true);
    cairo_save(cr);
    cairo_clip(cr);
    if (look.lit)
        UpperLight(cr, x, y, width, height);
    if (look.inset)
        InnerShadow(cr, x, y, width, height, std::max(3.0, height * 0.18));
    cairo_restore(cr);
    RoundedRect(cr, x, y, width, height, radius);
    StrokeWith(cr, look.edge, rim);
}

// A round face filling a square picture of side size.
void DiscFace(cairo_t* cr, const Look& look, double size, double rim)
{
    double inset = rim / 2 + 0.5;
    Face(cr, look, inset, inset, size - 2 * inset, size - 2 * inset, size, rim);
}

// A rounded-rectangle face filling a picture; the rim sits on whole pixels.
void BoxFace(cairo_t* cr, const Look& look, double width, double height, double radius)
{
    Face(cr, look, 0.5, 0.5, width - 1, height - 1, radius, 1);
}

// Window buttons show no face until the pointer is over them; closing is red.
void WindowFace(cairo_t* cr, State state, bool closing, double width, double height)
{
    Rgba fill;
    switch (state) {
        case State::Over:
            fill = closing ? kDanger : Hex(0x313a44);
            break;
        case State::Press:
            fill = closing ? kDangerDeep : Hex(0x15181c);
            break;
        default:
            return;
    }
    RoundedRect(cr, 1, 1, width - 2, height - 2, 3);
    FillWith(cr, fill, true);
    if (state == State::Press) {
        cairo_save(cr);
        cairo_clip(cr);
        InnerShadow(cr, 1, 1, width - 2, height - 2, 5);
        cairo_restore(cr);
    }
    cairo_new_path(cr);
}

Rgba WindowGlyphColour(State state, bool closing)
{
    switch (state) {
        case State::Over:
            return kGlyphBright;
        case State::Press:
            return closing ? kGlyphBright : kAccent;
        default:
            return kGlyph;
    }
}

// ---------------------------------------------------------------------------------------------
// Buttons

void TransportButton(cairo_t* cr, const Picture& p)
{
    Look look = LookOf(p.state);
    double size = p.width;
    bool large = size > 70;
    DiscFace(cr, look, size, large ? 2 : 1.5);
    double c = size / 2 + look.sink;
    GlyphBox box = {c, c, size * (large ? 0.40 : 0.42)};
    switch (p.art) {
        case Art::Play:
            box.cx += size * 0.03;  // the triangle's weight sits left of its box's centre
            GlyphPlay(cr, box, look.glyph);
            break;
        case Art::Pause:
            GlyphPause(cr, box, look.glyph);
            break;
        case Art::Stop:
            GlyphStop(cr, box, look.glyph);
            break;
        case Art::Previous:
            GlyphPrevious(cr, box, look.glyph);
            break;
        case Art::Next:
            GlyphNext(cr, box, look.glyph);
            break;
        case Art::Back10:
        case Art::Forward10:
            box.size = size * 0.56;
            GlyphTenSeconds(cr, box, look.glyph, p.art == Art::Forward10, 2.2);
            break;
        default:
            throw std::logic_error("not a transport button");
    }
}

void WindowButton(cairo_t* cr, const Picture& p)
{
    bool closing = p.art == Art::Close;
    WindowFace(cr, p.state, closing, p.width, p.height);
    double sink = p.state == State::Press ? 1 : 0;
    GlyphBox box = {p.width / 2.0 + sink, p.height / 2.0 + sink, 10};
    Rgba colour = WindowGlyphColour(p.state, closing);
    switch (p.art) {
        case Art::Close:
            GlyphClose(cr, box, colour, 1.5);
            break;
        case Art::Maximise:
            GlyphMaximise(cr, box, colour);
            break;
        case Art::Minimise:
            GlyphMinimise(cr, box, colour);
            break;
        case Art::Restore:
            GlyphRestore(cr, box, colour);
            break;
        case Art::LeaveFullScreen:
            GlyphCorners(cr, box, colour, false, 1);
            break;
        default:
            throw std::logic_error("not a window button");
    }
}

void ToolButton(cairo_t* cr, const Picture& p)
{
    Look look = LookOf(p.state);
    BoxFace(cr, look, p.width, p.height, p.height > 20 ? 4 : 3);
    double glyph = std::min(p.width, p.height) * (p.width == p.height ? 0.56 : 0.62);
    GlyphBox box = {p.width / 2.0 + look.sink, p.height / 2.0 + look.sink, glyph};
    double stroke = 1.6;
    switch (p.art) {
        case Art::FoldUp:
        case Art::FoldDown:
            GlyphFold(cr, box, look.glyph, p.art == Art::FoldUp);
            break;
        case Art::MapMovie:
            box.size *= 1.1;
            GlyphMapPin(cr, box, look.glyph, true);
            break;
        case Art::Swap:
            GlyphSwap(cr, box, look.glyph, stroke);
            break;
        case Art::FullScreen:
            box.size *= 0.9;
            GlyphCorners(cr, box, look.glyph, true, stroke);
            break;
        case Art::Zoom:
            GlyphZoom(cr, box, look.glyph, stroke);
            break;
        case Art::Settings:
            GlyphGear(cr, box, look.glyph);
            break;
        case Art::Save:
            GlyphSave(cr, box, look.glyph, stroke);
            break;
        case Art::Volume:
            // The speaker keeps to the left half; the level icon fills x 18 to 31.
            box = {10.5 + look.sink, p.height / 2.0 + look.sink, 12};
            GlyphSpeaker(cr, box, look.glyph);
            break;
        case Art::ContinuousPlay:
            GlyphRepeat(cr, box, look.glyph, stroke);
            break;
        case Art::FitArea:
            box.size = 8;
            GlyphCorners(cr, box, look.glyph, true, 1);
            break;
        default:
            throw std::logic_error("not a tool button");
    }
}

void ArrowButton(cairo_t* cr, const Picture& p)
{
    Look look = LookOf(p.state);
    BoxFace(cr, look, p.width, p.height, 2);
    int direction = p.art == Art::ArrowUp      ? 0
                    : p.art == Art::ArrowRight ? 1
                    : p.art == Art::ArrowDown  ? 2
                                               : 3;
    GlyphBox box = {p.width / 2.0 + look.sink, p.height / 2.0 + look.sink, 8};
    GlyphTriangle(cr, box, look.glyph, direction);
}

void BrandMark(cairo_t* cr, const Picture& p)
{
    Rgba text = kGlyph;
    Rgba mark = kAccent;
    double sink = 0;
    if (p.state == State::Over) {
        text = kGlyphBright;
        mark = kAccentBright;
    } else if (p.state == State::Press) {
        text = kAccent;
        mark = kAccentDeep;
        sink = 1;
    }
    // The emblem: two chevrons pointing forward, like a road running ahead.
    double cy = p.height / 2.0 + sink;
    for (int i = 0; i < 2; ++i) {
        double x = 3 + i * 6 + sink;
        cairo_move_to(cr, x, cy - 6);
        cairo_line_to(cr, x + 6, cy);
        cairo_line_to(cr, x, cy + 6);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        StrokeWith(cr, i == 0 ? WithAlpha(mark, 0.55) : mark, 2.4);
    }
    const std::string word = "KESTROVAN";
    double left = 20;
    double room = p.width - left - 2;
    double size = 12;
    while (size > 7 && TextWidth(cr, word, size, true, 1) > room)
        size -= 0.25;
    TextAt(cr, word, left + sink, cy + size * 0.36, size, true, text, 1);
}

// The File and Settings buttons: no face at rest, a face under the pointer and when pressed.
void MenuButton(cairo_t* cr, const Picture& p, int w, int h)
{
    switch (p.state) {
        case State::Normal:
            RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
            StrokeWith(cr, Hex(0x2a3139), 1);
            return;
        case State::Disabled:
            RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
            StrokeWith(cr, Hex(0x20252a), 1);
            return;
        default:
            BoxFace(cr, LookOf(p.state), w, h, 3);
            return;
    }
}

void SettingButton(cairo_t* cr, int w, int h)
{
    BoxFace(cr, LookOf(State::Normal), w, h, 3);
}

// ---------------------------------------------------------------------------------------------
// Tabs and rows

void Tab(cairo_t* cr, const Picture& p, int w, int h)
{
    bool outer = p.art == Art::TabOuter;
    Rgba fill = Hex(0x1b1f25);
    switch (p.state) {
        case State::Over:
            fill = Hex(0x252c34);
            break;
        case State::Press:
            fill = Hex(0x14171b);
            break;
        case State::Disabled:
            fill = Hex(0x17191d);
            break;
        case State::Selected:
            fill = Hex(0x232a32);
            break;
        default:
            break;
    }
    TopRoundedRect(cr, 0, 0, w, h, outer ? 4 : 0);
    FillWith(cr, fill, true);
    cairo_save(cr);
    cairo_clip(cr);
    if (p.state == State::Press)
        InnerShadow(cr, 0, 0, w, h, 6);
    if (p.state == State::Over)
        UpperLight(cr, 0, 0, w, h);
    // A top light, dividers at both sides and the strip's bottom line.
    if (p.state != State::Press)
        FillPixels(cr, 0, 0, w, 1, WithAlpha(kGlyphBright, 0.06));
    FillPixels(cr, 0, 0, 1, h, kLine);
    FillPixels(cr, w - 1, 0, 1, h, kLine);
    if (p.state == State::Selected) {
        FillPixels(cr, 1, h - 3, w - 2, 3, kAccent);
    } else {
        FillPixels(cr, 0, h - 1, w, 1, kLine);
    }
    cairo_restore(cr);
}

void SubTab(cairo_t* cr, const Picture& p, int w, int h)
{
    Rgba fill = Hex(0x16191d);
    switch (p.state) {
        case State::Over:
            fill = Hex(0x232930);
            break;
        case State::Press:
            fill = Hex(0x101215);
            break;
        case State::Disabled:
            fill = Hex(0x131518);
            break;
        default:
            break;
    }
    FillPixels(cr, 0, 0, w, h, fill);
    if (p.state == State::Press)
        InnerShadow(cr, 0, 0, w, h, 5);
    FillPixels(cr, 0, h - 1, w, 1, kLine);
    if (p.art == Art::SubTabLeft)
        FillPixels(cr, w - 1, 3, 1, h - 6, kLine);
}

void ListRow(cairo_t* cr, Art art, int w, int h)
{
    Rgba fill;
    switch (art) {
        case Art::RowEven:
            fill = Hex(0x1a1e23);
            break;
        case Art::RowOdd:
            fill = Hex(0x1f2429);
            break;
        case Art::RowSelected:
            fill = Hex(0x1f4464);
            break;
        default:
            fill = Hex(0x163550);
            break;
    }
    FillPixels(cr, 0, 0, w, h, fill);
    if (art == Art::RowSelected)
        FillPixels(cr, 0, 0, w, 1, Hex(0x2b5b84));
    if (art == Art::RowPressed)
        InnerShadow(cr, 0, 0, w, h, 5);
    // The last column divides the title column from the size column (and the size column from
    // the scroll bar).
    FillPixels(cr, w - 1, 0, 1, h, WithAlpha(kLine, 0.6));
}

// ---------------------------------------------------------------------------------------------
// Panels and backgrounds

void Background(cairo_t* cr, int w, int h)
{
    const int titleBar = 70;  // the title bar runs down to y 71 with its bottom line
    const int statusBar = 18;
    FillPixels(cr, 0, 0, w, titleBar, kBand);
    FillPixels(cr, 0, titleBar, w, 1, kLine);
    FillPixels(cr, 0, titleBar + 1, w, h - titleBar - 1, kBase);
    FillPixels(cr, 0, h - statusBar, w, statusBar, Hex(0x171a1f));
    FillPixels(cr, 0, h - statusBar, w, 1, Hex(0x20252b));
    // The dialog has no frame of its own: a one-pixel outline and a light along the top.
    FillPixels(cr, 0, 0, w, 1, Hex(0x313840));
    FillPixels(cr, 0, 0, 1, h, Hex(0x2a3037));
    FillPixels(cr, w - 1, 0, 1, h, Hex(0x2a3037));
    FillPixels(cr, 0, h - 1, w, 1, Hex(0x2a3037));
}

void TitleStrip(cairo_t* cr, int w, int h)
{
    FillPixels(cr, 0, 0, w, h, Hex(0x1a1f25));
    FillPixels(cr, 0, 0, w, 1, Hex(0x242a31));
    FillPixels(cr, 0, h - 1, w, 1, kLine);
}

void SensorPanel(cairo_t* cr, int w, int h)
{
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 6);
    FillWith(cr, Hex(0x171b20), true);
    StrokeWith(cr, Hex(0x262d35), 1);
    // Dividers between the speed read-out, the sensor values and the graph.
    for (int x : {156, 238})
        FillPixels(cr, x, 8, 1, h - 16, Hex(0x222830));
}

void Field(cairo_t* cr, int w, int h, double radius)
{
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, radius);
    FillWith(cr, Hex(0x0f1215), true);
    StrokeWith(cr, Hex(0x29313a), 1);
}

void Balloon(cairo_t* cr, int w, int h)
{
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 4);
    FillWith(cr, WithAlpha(Hex(0xeef2f6), 0.97), true);
    StrokeWith(cr, Hex(0x8d9cab), 1);
}

void MenuPanel(cairo_t* cr, int w, int h)
{
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 4);
    FillWith(cr, kPaper, true);
    StrokeWith(cr, kPaperEdge, 1);
}

void MenuRow(cairo_t* cr, bool held, int w, int h)
{
    RoundedRect(cr, 0, 0, w, h, 3);
    FillWith(cr, held ? kAccentDeep : kAccent);
    if (held)
        InnerShadow(cr, 0, 0, w, h, 4);
}

void MenuSeparator(cairo_t* cr, int w, int h)
{
    FillPixels(cr, 0, 0, w, 1, Hex(0xb4bfca));
    FillPixels(cr, 0, 1, w, h - 1, Hex(0xf8fafb));
}

void DarkPanel(cairo_t* cr, int w, int h)
{
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 5);
    FillWith(cr, WithAlpha(Hex(0x1c2127), 0.96), true);
    StrokeWith(cr, Hex(0x36404a), 1);
}

void SectionBox(cairo_t* cr, int w, int h)
{
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 4);
    FillWith(cr, Hex(0x252b32), true);
    StrokeWith(cr, Hex(0x303841), 1);
}

void ControlBar(cairo_t* cr, int w, int h)
{
    TopRoundedRect(cr, 0, 0, w, h, 8);
    FillWith(cr, WithAlpha(Hex(0x101317), 0.86), true);
    cairo_save(cr);
    cairo_clip(cr);
    FillPixels(cr, 0, 0, w, 1, WithAlpha(kGlyphBright, 0.10));
    cairo_restore(cr);
}

void CaptionBar(cairo_t* cr, int w, int h)
{
    FillPixels(cr, 0, 0, w, h - 1, WithAlpha(Hex(0x101317), 0.86));
    FillPixels(cr, 0, h - 1, w, 1, WithAlpha(Hex(0x3a434e), 0.9));
}

void ScrollTrack(cairo_t* cr, bool vertical, int w, int h)
{
    FillPixels(cr, 0, 0, w, h, Hex(0x16191d));
    if (vertical) {
        FillPixels(cr, 0, 0, 1, h, kLine);
    } else {
        FillPixels(cr, 0, 0, w, 1, kLine);
    }
}

void ScrollThumb(cairo_t* cr, State state, int w, int h)
{
    Rgba fill = state == State::Over    ? Hex(0x68757f)
                : state == State::Press ? kAccent
                                        : Hex(0x48535e);
    RoundedRect(cr, 0, 0, w, h, 4);
    FillWith(cr, fill);
}

// ---------------------------------------------------------------------------------------------
// Sliders

void SeekBar(cairo_t* cr, bool filled, int w, int h)
{
    FillPixels(cr, 0, 0, w, h, Hex(0x0d0f12));
    if (filled) {
        cairo_pattern_t* shade = cairo_pattern_create_linear(0, 1, 0, h - 1);
        cairo_pattern_add_color_stop_rgb(shade, 0, kAccentBright.r, kAccentBright.g,
                                         kAccentBright.b);
        cairo_pattern_add_color_stop_rgb(shade, 1, kAccentDeep.r, kAccentDeep.g, kAccentDeep.b);
        cairo_rectangle(cr, 0, 1, w, h - 2);
        cairo_set_source(cr, shade);
        cairo_fill(cr);
        cairo_pattern_destroy(shade);
    } else {
        FillPixels(cr, 0, 1, w, h - 2, Hex(0x252c34));
    }
}

void SeekThumb(cairo_t* cr, int w, int h)
{
    FillPixels(cr, 0, 0, w, h, Hex(0x6f8396));
    FillPixels(cr, 1, 1, w - 2, h - 2, Hex(0xe6ecf2));
}

void VolumeThumb(cairo_t* cr, State state, int w, int h)
{
    Rgba fill = Hex(0xdfe6ed);
    Rgba rim = Hex(0x7d8fa1);
    if (state == State::Over) {
        fill = kGlyphBright;
        rim = kAccent;
    } else if (state == State::Press) {
        fill = kAccent;
        rim = kGlyphBright;
    }
    double r = w / 2.0;
    cairo_arc(cr, w / 2.0, h / 2.0, r - 0.6, 0, 2 * M_PI);
    FillWith(cr, fill, true);
    StrokeWith(cr, rim, 1.2);
}

// ---------------------------------------------------------------------------------------------
// Small icons

void VolumeLevel(cairo_t* cr, int level, bool muted, bool disabled, int h)
{
    for (int i = 0; i < 5; ++i) {
        int height = 4 + 3 * i;
        Rgba colour = disabled ? Hex(0x2f353c) : i < level ? kGlyph : Hex(0x3a434e);
        FillPixels(cr, 3 * i, h - height, 2, height, colour);
    }
    if (muted) {
        GlyphClose(cr, {4.5, 4.5, 7}, Hex(0xe0675c), 1.6);
    }
}

// Seven segments, the way a speed read-out shows digits: a top, upper right, lower right,
// bottom, lower left, upper left and middle segment. Bit i of the mask lights segment i.
void Segments(cairo_t* cr, unsigned mask, Rgba lit, Rgba unlit, int w, int h)
{
    const double t = 4;      // thickness
    const double gap = 0.8;  // between neighbouring segments
    double left = 3, right = w - 3, top = 3, bottom = h - 3;
    double middle = (top + bottom) / 2;
    auto horizontal = [&](double y) {
        double x0 = left + gap, x1 = right - gap;
        cairo_move_to(cr, x0, y);
        cairo_line_to(cr, x0 + t / 2, y - t / 2);
        cairo_line_to(cr, x1 - t / 2, y - t / 2);
        cairo_line_to(cr, x1, y);
        cairo_line_to(cr, x1 - t / 2, y + t / 2);
        cairo_line_to(cr, x0 + t / 2, y + t / 2);
        cairo_close_path(cr);
    };
    auto vertical = [&](double x, double y0, double y1) {
        y0 += gap;
        y1 -= gap;
        cairo_move_to(cr, x, y0);
        cairo_line_to(cr, x + t / 2, y0 + t / 2);
        cairo_line_to(cr, x + t / 2, y1 - t / 2);
        cairo_line_to(cr, x, y1);
        cairo_line_to(cr, x - t / 2, y1 - t / 2);
        cairo_line_to(cr, x - t / 2, y0 + t / 2);
        cairo_close_path(cr);
    };
    double lx = left + t / 2, rx = right - t / 2;
    double ty = top + t / 2, by = bottom - t / 2;
    for (int i = 0; i < 7; ++i) {
        switch (i) {
            case 0:
                horizontal(ty);
                break;
            case 1:
                vertical(rx, ty, middle);
                break;
            case 2:
                vertical(rx, middle, by);
                break;
            case 3:
                horizontal(by);
                break;
            case 4:
                vertical(lx, middle, by);
                break;
            case 5:
                vertical(lx, ty, middle);
                break;
            case 6:
                horizontal(middle);
                break;
        }
        FillWith(cr, mask & (1u << i) ? lit : unlit);
    }
}

void Digit(cairo_t* cr, const Picture& p, int w, int h)
{
    static const unsigned kMasks[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    Rgba lit = Hex(0xe8eef4);
    Rgba unlit = WithAlpha(kGlyphBright, 0.05);
    unsigned mask;
    if (p.art == Art::DigitDash) {
        mask = 0x40;
        if (p.state == State::Disabled)
            lit = kGlyphDim;
    } else {
        mask = kMasks[int(p.art) - int(Art::Digit0)];
    }
    Segments(cr, mask, lit, unlit, w, h);
}

void Gauge(cairo_t* cr, bool full, int w, int h)
{
    RoundedRect(cr, 0.5, 1.5, w - 1, h - 3, (h - 3) / 2.0);
    if (!full) {
        FillWith(cr, Hex(0x0f1215), true);
        StrokeWith(cr, Hex(0x262d35), 1);
        return;
    }
    // Slow to fast: calm blue into amber and red, so the filled length reads at a glance.
    cairo_pattern_t* ramp = cairo_pattern_create_linear(0, 0, w, 0);
    cairo_pattern_add_color_stop_rgb(ramp, 0.0, 0.16, 0.49, 0.70);
    cairo_pattern_add_color_stop_rgb(ramp, 0.5, 0.25, 0.66, 0.92);
    cairo_pattern_add_color_stop_rgb(ramp, 0.8, 0.94, 0.63, 0.19);
    cairo_pattern_add_color_stop_rgb(ramp, 1.0, 0.88, 0.28, 0.24);
    cairo_set_source(cr, ramp);
    cairo_fill(cr);
    cairo_pattern_destroy(ramp);
}

void SpeedIcon(cairo_t* cr, int w, int h)
{
    double cx = w / 2.0, cy = h / 2.0 + 1.5, r = 8;
    cairo_arc(cr, cx, cy, r, M_PI * 0.80, M_PI * 2.20);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    StrokeWith(cr, kAccent, 2);
    cairo_move_to(cr, cx, cy);
    cairo_line_to(cr, cx + std::cos(-M_PI * 0.30) * (r - 2), cy + std::sin(-M_PI * 0.30) * (r - 2));
    StrokeWith(cr, kGlyph, 1.8);
    cairo_arc(cr, cx, cy, 2, 0, 2 * M_PI);
    FillWith(cr, kGlyph);
}

void Link(cairo_t* cr, bool front, int h)
{
    // A bracket joining a front row to the rear row below it: the front row holds its upper
    // half, the rear row its lower half, and both reach the row's middle with a short tick.
    Rgba colour = Hex(0x5d7a96);
    int middle = h / 2;
    if (front) {
        FillPixels(cr, 2, middle, 1, h - middle, colour);
    } else {
        FillPixels(cr, 2, 0, 1, middle + 1, colour);
    }
    FillPixels(cr, 2, middle, 3, 1, colour);
}

void SizeGrip(cairo_t* cr, int w, int h)
{
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col <= row; ++col) {
            int x = w - 4 - 4 * (row - col);
            int y = h - 4 - 4 * col;
            FillPixels(cr, x, y, 2, 2, Hex(0x4e5761));
        }
    }
}

void Unit(cairo_t* cr, const Picture& p, int w, int h)
{
    Rgba colour = p.state == State::Disabled ? kGlyphDim : kText;
    CentredText(cr, p.art == Art::UnitKmh ? "km/h" : "mph", w / 2.0, h / 2.0, 11, false, colour);
}

// ---------------------------------------------------------------------------------------------
// Large pictures

void Vignette(cairo_t* cr, int w, int h, uint32_t centre, uint32_t edge)
{
    Rgba c = Hex(centre), e = Hex(edge);
    cairo_pattern_t* glow =
        cairo_pattern_create_radial(w / 2.0, h / 2.0, 0, w / 2.0, h / 2.0, std::hypot(w, h) / 2);
    cairo_pattern_add_color_stop_rgb(glow, 0, c.r, c.g, c.b);
    cairo_pattern_add_color_stop_rgb(glow, 1, e.r, e.g, e.b);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_set_source(cr, glow);
    cairo_fill(cr);
    cairo_pattern_destroy(glow);
}

// The lines of a road running towards the horizon, faintly behind an idle view.
void Road(cairo_t* cr, int w, int h)
{
    double horizonY = h * 0.55;
    Rgba line = WithAlpha(kGlyphBright, 0.045);
    for (double edge : {-0.35, 0.35}) {
        cairo_move_to(cr, w / 2.0 + edge * w * 0.08, horizonY);
        cairo_line_to(cr, w / 2.0 + edge * w * 2.2, h);
        StrokeWith(cr, line, 2);
    }
    for (int i = 0; i < 4; ++i) {
        double t0 = 0.15 + i * 0.22, t1 = t0 + 0.10;
        auto at = [&](double t) { return horizonY + (h - horizonY) * t * t; };
        cairo_move_to(cr, w / 2.0, at(t0));
        cairo_line_to(cr, w / 2.0, at(t1));
        StrokeWith(cr, line, 1 + 3 * t1);
    }
}

void Splash(cairo_t* cr, int w, int h)
{
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(sky, 0, 0x1d / 255.0, 0x23 / 255.0, 0x2a / 255.0);
    cairo_pattern_add_color_stop_rgb(sky, 1, 0x0e / 255.0, 0x11 / 255.0, 0x14 / 255.0);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_set_source(cr, sky);
    cairo_fill(cr);
    cairo_pattern_destroy(sky);
    // A lens on the right, in rings of the accent.
    double lx = w * 0.825, ly = h * 0.42;
    for (auto [radius, width, alpha] : {std::tuple{118.0, 22.0, 0.06},
                                        {86.0, 10.0, 0.10},
                                        {58.0, 4.0, 0.18},
                                        {34.0, 2.0, 0.30}}) {
        cairo_arc(cr, lx, ly, radius, 0, 2 * M_PI);
        StrokeWith(cr, WithAlpha(kAccent, alpha), width);
    }
    cairo_arc(cr, lx - 10, ly - 10, 8, 0, 2 * M_PI);
    FillWith(cr, WithAlpha(kGlyphBright, 0.12));
    // The words; the progress track at (34, 182)-(214, 185) stays clear below them.
    TextAt(cr, "KESTROVAN", 36, 72, 11, true, kAccent, 3);
    TextAt(cr, "TESSALY", 32, 150, 42, true, Hex(0xe8eef4), 3);
    TextAt(cr, "DASHCAM VIEWER", 36, 172, 11, false, kText, 3.2);
}

void FrontView(cairo_t* cr, int w, int h)
{
    Vignette(cr, w, h, 0x191d22, 0x0b0d10);
    Road(cr, w, h);
}

void FrontViewTitle(cairo_t* cr, int, int h)
{
    Rgba colour = Hex(0x56626e);
    GlyphCamera(cr, {21, h / 2.0, 38}, colour);
    TextAt(cr, "TESSALY", 52, h / 2.0 + 8, 22, true, colour, 3);
}

void RearView(cairo_t* cr, int w, int h)
{
    Vignette(cr, w, h, 0x191d22, 0x0b0d10);
    Road(cr, w, h);
    Rgba colour = Hex(0x4b5662);
    GlyphCamera(cr, {w / 2.0, h / 2.0 - 4, 46}, colour);
}

void MapEmpty(cairo_t* cr, int w, int h)
{
    FillPixels(cr, 0, 0, w, h, Hex(0x161a1f));
    // A faint street map: a grid of blocks and two main roads.
    for (int x = 20; x < w; x += 46)
        FillPixels(cr, x, 0, 2, h, Hex(0x1b2026));
    for (int y = 14; y < h; y += 38)
        FillPixels(cr, 0, y, w, 2, Hex(0x1b2026));
    cairo_move_to(cr, -10, h * 0.78);
    cairo_curve_to(cr, w * 0.3, h * 0.70, w * 0.55, h * 0.32, w + 10, h * 0.22);
    StrokeWith(cr, Hex(0x222830), 7);
    cairo_move_to(cr, w * 0.30, -10);
    cairo_curve_to(cr, w * 0.36, h * 0.40, w * 0.26, h * 0.70, w * 0.34, h + 10);
    StrokeWith(cr, Hex(0x202630), 5);
    // The pin, without a position to show.
    GlyphMapPin(cr, {w / 2.0, h / 2.0 - 6, 54}, Hex(0x47525d), false);
    cairo_arc(cr, w / 2.0, h / 2.0 + 20, 9, 0, 2 * M_PI);
    StrokeWith(cr, WithAlpha(Hex(0x47525d), 0.6), 1.5);
}

}  // namespace

ArtArea ArtAreaOf(const Picture& p)
{
    switch (p.kind) {
        case Kind::Plain:
            return {0, 0, p.width, p.height};
        case Kind::Inset:
            return {1, 1, p.width - 1, p.height - 1};
        case Kind::NinePatch:
        case Kind::SliceHorz:
        case Kind::SliceVert:
            break;
    }
    return {1, 1, p.width - 2, p.height - 2};
}

void DrawArt(cairo_t* cr, const Picture& p, int w, int h)
{
    switch (p.art) {
        case Art::Play:
        case Art::Pause:
        case Art::Stop:
        case Art::Previous:
        case Art::Next:
        case Art::Back10:
        case Art::Forward10:
            return TransportButton(cr, p);
        case Art::Close:
        case Art::Maximise:
        case Art::Minimise:
        case Art::Restore:
        case Art::LeaveFullScreen:
            return WindowButton(cr, p);
        case Art::FoldUp:
        case Art::FoldDown:
        case Art::MapMovie:
        case Art::Swap:
        case Art::FullScreen:
        case Art::Zoom:
        case Art::Settings:
        case Art::Save:
        case Art::Volume:
        case Art::ContinuousPlay:
        case Art::FitArea:
            return ToolButton(cr, p);
        case Art::Brand:
            return BrandMark(cr, p);
        case Art::ArrowUp:
        case Art::ArrowDown:
        case Art::ArrowLeft:
        case Art::ArrowRight:
            return ArrowButton(cr, p);
        case Art::ScrollThumb:
            return ScrollThumb(cr, p.state, w, h);
        case Art::CheckMark:
            return GlyphCheck(cr, {8, 8, 12}, p.state == State::Over ? kGlyphBright : kInk, 2);
        case Art::SubMenuArrow:
            // Drawn at (right - 25, top + 7) of a 20-high row, so its middle is at y 3.5.
            return GlyphTriangle(cr, {8.5, 3.5, 8}, p.state == State::Over ? kGlyphBright : kInk,
                                 1);
        case Art::NowPlaying:
            cairo_move_to(cr, 0, 0);
            cairo_line_to(cr, w, h / 2.0);
            cairo_line_to(cr, 0, h);
            cairo_close_path(cr);
            return FillWith(cr, kAccent);
        case Art::FrontLink:
        case Art::RearLink:
            return Link(cr, p.art == Art::FrontLink, h);
        case Art::VolumeMute:
            return VolumeLevel(cr, 0, true, false, h);
        case Art::VolumeLevel1:
        case Art::VolumeLevel2:
        case Art::VolumeLevel3:
        case Art::VolumeLevel4:
        case Art::VolumeLevel5:
            return VolumeLevel(cr, int(p.art) - int(Art::VolumeLevel1) + 1, false, false, h);
        case Art::VolumeLevelDisabled:
            return VolumeLevel(cr, 0, false, true, h);
        case Art::Digit0:
        case Art::Digit1:
        case Art::Digit2:
        case Art::Digit3:
        case Art::Digit4:
        case Art::Digit5:
        case Art::Digit6:
        case Art::Digit7:
        case Art::Digit8:
        case Art::Digit9:
        case Art::DigitDash:
            return Digit(cr, p, w, h);
        case Art::UnitKmh:
        case Art::UnitMph:
            return Unit(cr, p, w, h);
        case Art::GaugeFull:
        case Art::GaugeEmpty:
            return Gauge(cr, p.art == Art::GaugeFull, w, h);
        case Art::SpeedIcon:
            return SpeedIcon(cr, w, h);
        case Art::SeekThumb:
            return SeekThumb(cr, w, h);
        case Art::VolumeThumb:
            return VolumeThumb(cr, p.state, w, h);
        case Art::SeekBar:
        case Art::SeekTrack:
            return SeekBar(cr, p.art == Art::SeekBar, w, h);
        case Art::VolumeBar:
            return FillPixels(cr, 0, 0, w, h, kAccent);
        case Art::VolumeTrack:
            return FillPixels(cr, 0, 0, w, h, Hex(0x3a434e));
        case Art::MenuButton:
            return MenuButton(cr, p, w, h);
        case Art::SettingButton:
            return SettingButton(cr, w, h);
        case Art::TabOuter:
        case Art::TabInner:
            return Tab(cr, p, w, h);
        case Art::SubTabLeft:
        case Art::SubTabRight:
            return SubTab(cr, p, w, h);
        case Art::Background:
            return Background(cr, w, h);
        case Art::TitleStrip:
            return TitleStrip(cr, w, h);
        case Art::SensorPanel:
            return SensorPanel(cr, w, h);
        case Art::TextField:
            return Field(cr, w, h, 3);
        case Art::SmallTextField:
            return Field(cr, w, h, 2);
        case Art::Balloon:
            return Balloon(cr, w, h);
        case Art::RowEven:
        case Art::RowOdd:
        case Art::RowSelected:
        case Art::RowPressed:
            return ListRow(cr, p.art, w, h);
        case Art::MenuPanel:
            return MenuPanel(cr, w, h);
        case Art::MenuRowHover:
        case Art::MenuRowHeld:
            return MenuRow(cr, p.art == Art::MenuRowHeld, w, h);
        case Art::MenuSeparator:
            return MenuSeparator(cr, w, h);
        case Art::DarkPanel:
            return DarkPanel(cr, w, h);
        case Art::SectionBox:
            return SectionBox(cr, w, h);
        case Art::ControlBar:
            return ControlBar(cr, w, h);
        case Art::CaptionBar:
            return CaptionBar(cr, w, h);
        case Art::ScrollTrackVert:
        case Art::ScrollTrackHorz:
            return ScrollTrack(cr, p.art == Art::ScrollTrackVert, w, h);
        case Art::SizeGrip:
            return SizeGrip(cr, w, h);
        case Art::Splash:
            return Splash(cr, w, h);
        case Art::FrontView:
            return FrontView(cr, w, h);
        case Art::FrontViewTitle:
            return FrontViewTitle(cr, w, h);
        case Art::RearView:
            return RearView(cr, w, h);
        case Art::MapEmpty:
            return MapEmpty(cr, w, h);
    }
    throw std::logic_error(std::string("no artwork for ") + p.name);
}

Image RenderPicture(const Picture& picture)
{
    Canvas canvas(picture.width, picture.height);
    cairo_t* cr = canvas.Context();
    ArtArea area = ArtAreaOf(picture);
    cairo_save(cr);
    cairo_rectangle(cr, area.left, area.top, area.width, area.height);
    cairo_clip(cr);
    cairo_translate(cr, area.left, area.top);
    DrawArt(cr, picture, area.width, area.height);
    cairo_restore(cr);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("drawing ") + picture.name +
                                 " failed: " + cairo_status_to_string(cairo_status(cr)));
    }
    Image image = Image::FromSurface(canvas.Surface());
    ApplyFrame(image, picture);
    return image;
}

}  // namespace skin
