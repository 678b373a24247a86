// A page's <canvas>: a 32-bit premultiplied pixel buffer (a top-down DIB section, so that the
// window can blit it) with the state and drawing operations of a 2D context, drawn with Cairo.
#pragma once

#include <cairo.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi.h"

namespace platform::browser {

struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};

// CSS colour text: the basic and common named colours, "transparent", #rgb, #rgba, #rrggbb,
// #rrggbbaa, rgb() and rgba(). False (and *color unchanged) for anything else.
bool ParseCssColor(std::string_view text, Rgba* color);

enum class TextAlign { Start, Left, Center, Right, End };
enum class TextBaseline { Alphabetic, Top, Middle, Bottom, Hanging, Ideographic };

// What save() and restore() keep, besides the transform and the clip that Cairo keeps.
struct CanvasState {
    Rgba fill;
    Rgba stroke;
    std::string fillText = "#000000";
    std::string strokeText = "#000000";
    double lineWidth = 1;
    double globalAlpha = 1;
    std::string font = "10px sans-serif";
    std::string family = "sans-serif";
    double fontSize = 10;
    bool bold = false;
    bool italic = false;
    TextAlign align = TextAlign::Start;
    TextBaseline baseline = TextBaseline::Alphabetic;
    std::string lineCap = "butt";
    std::string lineJoin = "miter";
    std::vector<double> dash;
};

class Canvas {
public:
    // Sizes are clamped to 1..kMaxSide pixels.
    static constexpr int kMaxSide = 8192;

    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // A new size clears the pixels and resets the state, the transform and the path.
    void Resize(int width, int height);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // The pixels, current as of the last drawing call (flushed).
    HBITMAP Bitmap();
    // The pixel at (x, y) as 0xAARRGGBB premultiplied; 0 outside.
    uint32_t PixelAt(int x, int y);

    CanvasState& State() { return m_states.back(); }
    cairo_t* Cr() { return m_cr; }

    // Makes the context usable again after Cairo put it into an error state.
    void CheckStatus();
    // Multiplies the transform by `matrix` (or replaces it); false, changing nothing, when the
    // result would not be finite and invertible.
    bool Transform(const cairo_matrix_t& matrix, bool replace);
    void Save();
    void Restore();
    // Property setters that parse; invalid values are ignored, as a 2D context ignores them.
    void SetFillStyle(const std::string& text);
    void SetStrokeStyle(const std::string& text);
    void SetFont(const std::string& text);
    void SetTextAlign(const std::string& text);
    void SetTextBaseline(const std::string& text);
    std::string TextAlignName() const;
    std::string TextBaselineName() const;

    void Fill();
    void Stroke();
    void FillRect(double x, double y, double width, double height);
    void StrokeRect(double x, double y, double width, double height);
    void ClearRect(double x, double y, double width, double height);
    void FillText(const std::string& text, double x, double y, bool stroke);
    double MeasureText(const std::string& text);
    void DrawCanvas(Canvas& source, double x, double y, double width, double height);

    // Set by every drawing call, cleared by whoever shows the pixels.
    bool dirty = true;

private:
    void Create();
    void Destroy();
    void ApplyFont();
    void ApplyStrokeSettings();
    void SetSource(const Rgba& color);
    // Runs `draw` on a path of its own, keeping the current path.
    template <class Draw>
    void WithOwnPath(Draw draw);

    int m_width;
    int m_height;
    HBITMAP m_bitmap = nullptr;
    void* m_bits = nullptr;
    cairo_surface_t* m_surface = nullptr;
    cairo_t* m_cr = nullptr;
    std::vector<CanvasState> m_states;
};

}  // namespace platform::browser
