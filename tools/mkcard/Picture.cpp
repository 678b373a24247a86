#include "Picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace mkcard {

namespace {

struct Yuv {
    uint8_t y, u, v;
};

// Studio-range BT.601, the matrix decoders assume for standard-definition and untagged video.
Yuv FromRgb(int r, int g, int b)
{
    auto clamp = [](double v) {
        return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    return {clamp(0.257 * r + 0.504 * g + 0.098 * b + 16),
            clamp(-0.148 * r - 0.291 * g + 0.439 * b + 128),
            clamp(0.439 * r - 0.368 * g - 0.071 * b + 128)};
}

struct Palette {
    Yuv skyTop, skyHorizon, verge, asphalt, marking, label, digits, backing;
};

const Palette& PaletteOf(Channel channel)
{
    static const Palette front{FromRgb(70, 130, 220),  FromRgb(170, 205, 240), FromRgb(70, 140, 60),
                               FromRgb(85, 85, 90),    FromRgb(240, 240, 240), FromRgb(255, 230, 0),
                               FromRgb(255, 255, 255), FromRgb(20, 20, 60)};
    static const Palette rear{FromRgb(200, 90, 40),   FromRgb(250, 180, 110), FromRgb(120, 90, 50),
                              FromRgb(60, 55, 55),    FromRgb(250, 210, 150), FromRgb(0, 230, 255),
                              FromRgb(255, 255, 255), FromRgb(70, 20, 10)};
    return channel == Channel::Front ? front : rear;
}

class Canvas {
public:
    explicit Canvas(AVFrame* f) : m_f(f) {}
    int Width() const { return m_f->width; }
    int Height() const { return m_f->height; }

    // Fills the luma of row y over [x0, x1) and, on even rows, the chroma beneath it.
    void Span(int y, int x0, int x1, Yuv c)
    {
        x0 = std::max(x0, 0);
        x1 = std::min(x1, Width());
        if (y < 0 || y >= Height() || x0 >= x1)
            return;
        std::memset(m_f->data[0] + static_cast<ptrdiff_t>(y) * m_f->linesize[0] + x0, c.y,
                    static_cast<size_t>(x1 - x0));
        if (y % 2 == 0) {
            const int cx0 = x0 / 2, cx1 = (x1 + 1) / 2;
            const ptrdiff_t row = y / 2;
            std::memset(m_f->data[1] + row * m_f->linesize[1] + cx0, c.u,
                        static_cast<size_t>(cx1 - cx0));
            std::memset(m_f->data[2] + row * m_f->linesize[2] + cx0, c.v,
                        static_cast<size_t>(cx1 - cx0));
        }
    }
    void Rect(int x, int y, int w, int h, Yuv c)
    {
        for (int r = std::max(y, 0); r < std::min(y + h, Height()); ++r)
            Span(r, x, x + w, c);
    }

private:
    AVFrame* m_f;
};

// Glyphs of 3x5 cells, rows top to bottom, bit 2 the left column.
const uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};
const uint8_t kLetterF[5] = {7, 4, 6, 4, 4};
const uint8_t kLetterR[5] = {6, 5, 6, 5, 5};

void Glyph(Canvas& c, const uint8_t rows[5], int x, int y, int cell, Yuv colour)
{
    for (int r = 0; r < 5; ++r)
        for (int col = 0; col < 3; ++col)
            if (rows[r] & (4 >> col))
                c.Rect(x + col * cell, y + r * cell, cell, cell, colour);
}

Yuv Mix(Yuv a, Yuv b, double t)
{
    auto m = [t](uint8_t p, uint8_t q) {
        return static_cast<uint8_t>(std::lround(p + (q - p) * t));
    };
    return {m(a.y, b.y), m(a.u, b.u), m(a.v, b.v)};
}

// Adds noise of up to +-12 to every luma sample: a hash of position and frame, so the same
// frame always gets the same grain.
void AddGrain(AVFrame* frame, int index)
{
    uint32_t seed = 0x9E3779B9u * static_cast<uint32_t>(index + 1);
    for (int y = 0; y < frame->height; ++y) {
        uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        uint32_t state = seed ^ (0x85EBCA6Bu * static_cast<uint32_t>(y + 1));
        for (int x = 0; x < frame->width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int v = row[x] + static_cast<int>(state % 25) - 12;
            row[x] = static_cast<uint8_t>(std::clamp(v, 16, 235));
        }
    }
}

}  // namespace

void PaintFrame(AVFrame* frame, Channel channel, int index, int fps, bool grain)
{
    Canvas c(frame);
    const Palette& p = PaletteOf(channel);
    const int w = c.Width(), h = c.Height();
    const int horizon = h * 2 / 5;

    for (int y = 0; y < horizon; ++y)
        c.Span(y, 0, w, Mix(p.skyTop, p.skyHorizon, horizon > 1 ? double(y) / (horizon - 1) : 1.0));

    // The road narrows to the horizon. Marks sit at fixed distances along the road and move by
    // the car's travel: 12 m/s, a depth unit per metre, shown in perspective as depth = K / row.
    const double travelled = 12.0 * index / std::max(fps, 1);
    const double shift = channel == Channel::Front ? travelled : -travelled;
    for (int y = horizon; y < h; ++y) {
        const double below = y - horizon + 1;
        const double nearness = below / std::max(1, h - horizon);
        const int half = static_cast<int>(w * (0.03 + 0.47 * nearness));
        const int centre = w / 2;
        const int edge = std::max(1, half / 14);
        const double depth = 40.0 * (h - horizon) / below;  // metres ahead
        const bool dash = std::fmod(std::fmod(depth + shift, 8.0) + 8.0, 8.0) < 4.0;
        const int dashHalf = std::max(1, half / 30);
        c.Span(y, 0, centre - half, p.verge);
        c.Span(y, centre - half, centre - half + edge, p.marking);
        c.Span(y, centre - half + edge, centre + half - edge, p.asphalt);
        c.Span(y, centre + half - edge, centre + half, p.marking);
        c.Span(y, centre + half, w, p.verge);
        if (dash)
            c.Span(y, centre - dashHalf, centre + dashHalf, p.marking);
    }

    // The letter and the frame number on a dark backing, top left.
    const int cell = std::max(1, h / 36);
    int digits[10];
    int n = 0;
    for (int v = std::max(index, 0); n == 0 || v > 0; v /= 10)
        digits[n++] = v % 10;
    const int pitch = 4 * cell;
    c.Rect(0, 0, cell + pitch * (n + 2) + cell, cell * 7, p.backing);
    Glyph(c, channel == Channel::Front ? kLetterF : kLetterR, cell, cell, cell, p.label);
    for (int i = 0; i < n; ++i)
        Glyph(c, kDigits[digits[n - 1 - i]], cell + pitch * (i + 2), cell, cell, p.digits);

    if (grain)
        AddGrain(frame, index);
}

}  // namespace mkcard
