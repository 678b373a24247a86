// The 2D context of a page's canvas, drawn with Cairo into a DIB section.
#include "Canvas.h"

#include "Text.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace platform::browser {

namespace {

struct NamedColor {
    const char* name;
    uint32_t rgb;
};

// Sorted by name for the binary search.
constexpr NamedColor kNamedColors[] = {
    {"aqua", 0x00FFFF},      {"black", 0x000000},     {"blue", 0x0000FF},
    {"brown", 0xA52A2A},     {"cyan", 0x00FFFF},      {"darkblue", 0x00008B},
    {"darkgray", 0xA9A9A9},  {"darkgreen", 0x006400}, {"darkgrey", 0xA9A9A9},
    {"darkred", 0x8B0000},   {"fuchsia", 0xFF00FF},   {"gold", 0xFFD700},
    {"gray", 0x808080},      {"green", 0x008000},     {"grey", 0x808080},
    {"lightblue", 0xADD8E6}, {"lightgray", 0xD3D3D3}, {"lightgrey", 0xD3D3D3},
    {"lime", 0x00FF00},      {"magenta", 0xFF00FF},   {"maroon", 0x800000},
    {"navy", 0x000080},      {"olive", 0x808000},     {"orange", 0xFFA500},
    {"pink", 0xFFC0CB},      {"purple", 0x800080},    {"red", 0xFF0000},
    {"silver", 0xC0C0C0},    {"teal", 0x008080},      {"white", 0xFFFFFF},
    {"yellow", 0xFFFF00},
};

std::string Lower(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads numbers separated by commas (blanks already removed), each optionally ending in '%'.
bool ReadNumbers(std::string_view body, std::vector<std::pair<double, bool>>* numbers)
{
    std::string text(body);
    const char* p = text.c_str();
    while (*p) {
        char* end = nullptr;
        double value = std::strtod(p, &end);
        if (end == p || !std::isfinite(value))
            return false;
        bool percent = *end == '%';
        if (percent)
            ++end;
        numbers->push_back({value, percent});
        if (*end == ',')
            ++end;
        else if (*end)
            return false;
        p = end;
    }
    return true;
}

double Clamp01(double v)
{
    return std::clamp(v, 0.0, 1.0);
}

// Cairo refuses text that is not UTF-8 (and its context then draws nothing more): what is not
// well-formed text of scalar values becomes U+FFFD.
std::string ValidUtf8(const std::string& text)
{
    return WideToUtf8(Utf8ToWide(text));
}

// Cairo keeps its fonts (and fontconfig's patterns behind them) in static caches, and the
// fontconfig configuration it loaded; they are handed back when the process ends, once no
// canvas is left. Guarded by the canvases' thread
// (the browser window's), since canvases never change threads.
std::atomic<int> g_liveCanvases{0};

void ReleaseCairoCaches()
{
    if (g_liveCanvases == 0) {
        cairo_debug_reset_static_data();
        FcFini();
    }
}

}  // namespace

bool ParseCssColor(std::string_view input, Rgba* color)
{
    std::string text = Lower(input);
    if (text.empty())
        return false;
    if (text == "transparent") {
        *color = {0, 0, 0, 0};
        return true;
    }
    if (text[0] == '#') {
        std::string hex = text.substr(1);
        for (char c : hex)
            if (HexDigit(c) < 0)
                return false;
        auto nibble = [&](size_t i) { return HexDigit(hex[i]) * 17 / 255.0; };
        auto byte = [&](size_t i) {
            return (HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1])) / 255.0;
        };
        if (hex.size() == 3 || hex.size() == 4) {
            *color = {nibble(0), nibble(1), nibble(2), hex.size() == 4 ? nibble(3) : 1.0};
            return true;
        }
        if (hex.size() == 6 || hex.size() == 8) {
            *color = {byte(0), byte(2), byte(4), hex.size() == 8 ? byte(6) : 1.0};
            return true;
        }
        return false;
    }
    bool rgba = text.rfind("rgba(", 0) == 0;
    if ((rgba || text.rfind("rgb(", 0) == 0) && text.back() == ')') {
        size_t open = text.find('(');
        std::vector<std::pair<double, bool>> n;
        if (!ReadNumbers(std::string_view(text).substr(open + 1, text.size() - open - 2), &n))
            return false;
        if (n.size() != 3 && n.size() != 4)
            return false;
        auto channel = [&](size_t i) {
            return Clamp01(n[i].second ? n[i].first / 100.0 : n[i].first / 255.0);
        };
        double alpha = n.size() == 4 ? Clamp01(n[3].second ? n[3].first / 100.0 : n[3].first) : 1.0;
        *color = {channel(0), channel(1), channel(2), alpha};
        return true;
    }
    auto found = std::lower_bound(std::begin(kNamedColors), std::end(kNamedColors), text,
                                  [](const NamedColor& c, const std::string& t) {
                                      return std::strcmp(c.name, t.c_str()) < 0;
                                  });
    if (found == std::end(kNamedColors) || text != found->name)
        return false;
    *color = {((found->rgb >> 16) & 0xFF) / 255.0, ((found->rgb >> 8) & 0xFF) / 255.0,
              (found->rgb & 0xFF) / 255.0, 1.0};
    return true;
}

Canvas::Canvas(int width, int height)
    : m_width(std::clamp(width, 1, kMaxSide)), m_height(std::clamp(height, 1, kMaxSide))
{
    static const bool registered = std::atexit(ReleaseCairoCaches) == 0;
    (void)registered;
    ++g_liveCanvases;
    Create();
}

Canvas::~Canvas()
{
    Destroy();
    --g_liveCanvases;
}

void Canvas::Create()
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = m_width;
    info.bmiHeader.biHeight = -m_height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
    if (m_bitmap && m_bits)
        m_surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(m_bits),
                                                        CAIRO_FORMAT_ARGB32, m_width, m_height,
                                                        m_width * 4);
    else
        m_surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m_width, m_height);
    m_cr = cairo_create(m_surface);
    m_states.assign(1, CanvasState{});
    dirty = true;
}

void Canvas::Destroy()
{
    if (m_cr)
        cairo_destroy(m_cr);
    if (m_surface)
        cairo_surface_destroy(m_surface);
    if (m_bitmap)
        DeleteObject(m_bitmap);
    m_cr = nullptr;
    m_surface = nullptr;
    m_bitmap = nullptr;
    m_bits = nullptr;
}

void Canvas::Resize(int width, int height)
{
    Destroy();
    m_width = std::clamp(width, 1, kMaxSide);
    m_height = std::clamp(height, 1, kMaxSide);
    Create();
}

HBITMAP Canvas::Bitmap()
{
    cairo_surface_flush(m_surface);
    return m_bitmap;
}

uint32_t Canvas::PixelAt(int x, int y)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    cairo_surface_flush(m_surface);
    const unsigned char* data = cairo_image_surface_get_data(m_surface);
    int stride = cairo_image_surface_get_stride(m_surface);
    uint32_t pixel;
    std::memcpy(&pixel, data + size_t(y) * stride + size_t(x) * 4, 4);
    return pixel;
}

void Canvas::CheckStatus()
{
    if (cairo_status(m_cr) == CAIRO_STATUS_SUCCESS)
        return;
    // A context in an error state draws nothing more: start a fresh one over the same pixels.
    cairo_destroy(m_cr);
    m_cr = cairo_create(m_surface);
    m_states.assign(1, CanvasState{});
}

bool Canvas::Transform(const cairo_matrix_t& matrix, bool replace)
{
    cairo_matrix_t result = matrix;
    if (!replace) {
        cairo_matrix_t current;
        cairo_get_matrix(m_cr, &current);
        cairo_matrix_multiply(&result, &matrix, &current);
    }
    for (double v : {result.xx, result.yx, result.xy, result.yy, result.x0, result.y0})
        if (!std::isfinite(v))
            return false;
    cairo_matrix_t inverse = result;
    if (cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS)
        return false;
    cairo_set_matrix(m_cr, &result);
    return true;
}

void Canvas::Save()
{
    if (m_states.size() >= 1024)
        return;
    cairo_save(m_cr);
    m_states.push_back(m_states.back());
}

void Canvas::Restore()
{
    if (m_states.size() <= 1)
        return;
    cairo_restore(m_cr);
    m_states.pop_back();
}

void Canvas::SetFillStyle(const std::string& text)
{
    if (ParseCssColor(text, &State().fill))
        State().fillText = text;
}

void Canvas::SetStrokeStyle(const std::string& text)
{
    if (ParseCssColor(text, &State().stroke))
        State().strokeText = text;
}

// "[italic] [bold] <size>px <family>"; other forms are ignored.
void Canvas::SetFont(const std::string& text)
{
    CanvasState parsed = State();
    parsed.bold = false;
    parsed.italic = false;
    size_t pos = 0;
    bool sized = false;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        size_t end = text.find(' ', pos);
        std::string word =
            text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (word.empty())
            break;
        if (word == "bold" || word == "bolder" || word == "600" || word == "700")
            parsed.bold = true;
        else if (word == "italic" || word == "oblique")
            parsed.italic = true;
        else if (word == "normal")
            ;
        else if (!sized && word.size() > 2 && word.compare(word.size() - 2, 2, "px") == 0) {
            double size = std::strtod(word.c_str(), nullptr);
            if (!(size > 0 && size < 1000))
                return;
            parsed.fontSize = size;
            sized = true;
            parsed.family = end == std::string::npos ? "sans-serif" : text.substr(end + 1);
            break;
        } else
            return;
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    if (!sized)
        return;
    parsed.font = text;
    State() = parsed;
}

void Canvas::SetTextAlign(const std::string& text)
{
    static const std::pair<const char*, TextAlign> names[] = {{"start", TextAlign::Start},
                                                              {"left", TextAlign::Left},
                                                              {"center", TextAlign::Center},
                                                              {"right", TextAlign::Right},
                                                              {"end", TextAlign::End}};
    for (auto& [name, value] : names)
        if (text == name)
            State().align = value;
}

void Canvas::SetTextBaseline(const std::string& text)
{
    static const std::pair<const char*, TextBaseline> names[] = {
        {"alphabetic", TextBaseline::Alphabetic}, {"top", TextBaseline::Top},
        {"middle", TextBaseline::Middle},         {"bottom", TextBaseline::Bottom},
        {"hanging", TextBaseline::Hanging},       {"ideographic", TextBaseline::Ideographic}};
    for (auto& [name, value] : names)
        if (text == name)
            State().baseline = value;
}

std::string Canvas::TextAlignName() const
{
    static const char* names[] = {"start", "left", "center", "right", "end"};
    return names[int(m_states.back().align)];
}

std::string Canvas::TextBaselineName() const
{
    static const char* names[] = {"alphabetic", "top",     "middle",
                                  "bottom",     "hanging", "ideographic"};
    return names[int(m_states.back().baseline)];
}

void Canvas::SetSource(const Rgba& c)
{
    cairo_set_source_rgba(m_cr, c.r, c.g, c.b, c.a * Clamp01(State().globalAlpha));
}

void Canvas::ApplyStrokeSettings()
{
    const CanvasState& s = State();
    cairo_set_line_width(m_cr, s.lineWidth);
    cairo_set_line_cap(m_cr, s.lineCap == "round"    ? CAIRO_LINE_CAP_ROUND
                             : s.lineCap == "square" ? CAIRO_LINE_CAP_SQUARE
                                                     : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(m_cr, s.lineJoin == "round"   ? CAIRO_LINE_JOIN_ROUND
                              : s.lineJoin == "bevel" ? CAIRO_LINE_JOIN_BEVEL
                                                      : CAIRO_LINE_JOIN_MITER);
    cairo_set_dash(m_cr, s.dash.data(), int(s.dash.size()), 0);
}

void Canvas::ApplyFont()
{
    const CanvasState& s = State();
    std::string family = s.family;
    if (family.find("serif") != std::string::npos && family.find("sans") == std::string::npos)
        family = "DejaVu Serif";
    else if (family.find("mono") != std::string::npos)
        family = "DejaVu Sans Mono";
    else
        family = "DejaVu Sans";
    cairo_select_font_face(m_cr, family.c_str(),
                           s.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           s.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m_cr, s.fontSize);
}

template <class Draw>
void Canvas::WithOwnPath(Draw draw)
{
    cairo_path_t* kept = cairo_copy_path(m_cr);
    cairo_new_path(m_cr);
    draw();
    cairo_new_path(m_cr);
    if (kept) {
        if (kept->status == CAIRO_STATUS_SUCCESS)
            cairo_append_path(m_cr, kept);
        cairo_path_destroy(kept);
    }
    dirty = true;
}

void Canvas::Fill()
{
    SetSource(State().fill);
    cairo_fill_preserve(m_cr);
    dirty = true;
}

void Canvas::Stroke()
{
    SetSource(State().stroke);
    ApplyStrokeSettings();
    cairo_stroke_preserve(m_cr);
    dirty = true;
}

void Canvas::FillRect(double x, double y, double width, double height)
{
    WithOwnPath([&] {
        cairo_rectangle(m_cr, x, y, width, height);
        SetSource(State().fill);
        cairo_fill(m_cr);
    });
}

void Canvas::StrokeRect(double x, double y, double width, double height)
{
    WithOwnPath([&] {
        cairo_rectangle(m_cr, x, y, width, height);
        SetSource(State().stroke);
        ApplyStrokeSettings();
        cairo_stroke(m_cr);
    });
}

void Canvas::ClearRect(double x, double y, double width, double height)
{
    WithOwnPath([&] {
        cairo_save(m_cr);
        cairo_set_operator(m_cr, CAIRO_OPERATOR_CLEAR);
        cairo_rectangle(m_cr, x, y, width, height);
        cairo_fill(m_cr);
        cairo_restore(m_cr);
    });
}

double Canvas::MeasureText(const std::string& text)
{
    ApplyFont();
    cairo_text_extents_t extents;
    cairo_text_extents(m_cr, ValidUtf8(text).c_str(), &extents);
    return extents.x_advance;
}

void Canvas::FillText(const std::string& input, double x, double y, bool stroke)
{
    std::string text = ValidUtf8(input);
    ApplyFont();
    cairo_text_extents_t extents;
    cairo_text_extents(m_cr, text.c_str(), &extents);
    cairo_font_extents_t font;
    cairo_font_extents(m_cr, &font);
    switch (State().align) {
        case TextAlign::Center:
            x -= extents.x_advance / 2;
            break;
        case TextAlign::Right:
        case TextAlign::End:
            x -= extents.x_advance;
            break;
        default:
            break;
    }
    switch (State().baseline) {
        case TextBaseline::Top:
        case TextBaseline::Hanging:
            y += font.ascent;
            break;
        case TextBaseline::Middle:
            y += (font.ascent - font.descent) / 2;
            break;
        case TextBaseline::Bottom:
        case TextBaseline::Ideographic:
            y -= font.descent;
            break;
        default:
            break;
    }
    WithOwnPath([&] {
        cairo_move_to(m_cr, x, y);
        if (stroke) {
            cairo_text_path(m_cr, text.c_str());
            SetSource(State().stroke);
            ApplyStrokeSettings();
            cairo_stroke(m_cr);
        } else {
            SetSource(State().fill);
            cairo_show_text(m_cr, text.c_str());
        }
    });
}

void Canvas::DrawCanvas(Canvas& source, double x, double y, double width, double height)
{
    if (&source == this || width == 0 || height == 0)
        return;
    cairo_surface_flush(source.m_surface);
    WithOwnPath([&] {
        cairo_save(m_cr);
        cairo_translate(m_cr, x, y);
        cairo_scale(m_cr, width / source.m_width, height / source.m_height);
        cairo_set_source_surface(m_cr, source.m_surface, 0, 0);
        cairo_paint_with_alpha(m_cr, Clamp01(State().globalAlpha));
        cairo_restore(m_cr);
    });
}

}  // namespace platform::browser
