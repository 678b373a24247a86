// The skin's palette and the looks of the five control states, shared by all artwork so that
// the theme stays one: dark flat faces, light glyphs, one blue accent.
#pragma once

#include <cstdint>

#include "SkinTable.h"

namespace skin {

// A colour with straight alpha, each channel 0 to 1.
struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};

constexpr Rgba Hex(uint32_t rgb, double alpha = 1.0)
{
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha};
}

constexpr Rgba WithAlpha(Rgba colour, double alpha)
{
    return {colour.r, colour.g, colour.b, alpha};
}

namespace palette {
// Surfaces, from the darkest.
constexpr Rgba kLine = Hex(0x0b0d10);       // separators and the dialog's own frame lines
constexpr Rgba kBase = Hex(0x14171b);       // the dialog's body
constexpr Rgba kPanel = Hex(0x1a1e23);      // panels and even list rows
constexpr Rgba kBand = Hex(0x1d2228);       // title bar and title strips
constexpr Rgba kRaised = Hex(0x262c33);     // button faces
constexpr Rgba kHighlight = Hex(0x2d343c);  // one-pixel top lights
constexpr Rgba kEdge = Hex(0x3a434e);       // button borders
// Glyphs and text.
constexpr Rgba kGlyph = Hex(0xc3cfdb);
constexpr Rgba kGlyphBright = Hex(0xffffff);
constexpr Rgba kGlyphDim = Hex(0x4a525b);
constexpr Rgba kText = Hex(0xa3b7cb);  // the list's row text
// The accent, for hover borders, pressed glyphs, selection and progress.
constexpr Rgba kAccent = Hex(0x3fa8eb);
constexpr Rgba kAccentBright = Hex(0x74c3f4);
constexpr Rgba kAccentDeep = Hex(0x2a7cb3);
constexpr Rgba kAccentDark = Hex(0x1c4a6c);
// Closing, on the close button's hover and press.
constexpr Rgba kDanger = Hex(0xd4463c);
constexpr Rgba kDangerDeep = Hex(0x9c3029);
// The light popup menus and the balloon, whose texts are black.
constexpr Rgba kPaper = Hex(0xe4e9ee);
constexpr Rgba kPaperEdge = Hex(0x9eabb8);
constexpr Rgba kInk = Hex(0x2b333c);
}  // namespace palette

// How a face looks in one state: its fill, border and glyph colours, how far its content sinks
// (pixels, down and right) and whether a shadow falls inside its upper edge.
struct Look {
    Rgba face;
    Rgba edge;
    Rgba glyph;
    double sink = 0;
    bool inset = false;
    bool lit = false;  // a faint light on the upper half, for the hover state
};

Look LookOf(State state);

}  // namespace skin
