// DrawTextW and GetTextExtentPoint32W: text layout and glyph drawing.
#include <climits>
#include <cstdint>
#include <cwchar>
#include <vector>

#include "object.h"
#include "paint.h"

using namespace platform::gdi;

namespace {

constexpr UINT kDrawTextFlags =
    DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_SINGLELINE | DT_EXPANDTABS | DT_NOCLIP | DT_CALCRECT;

// Tab stops lie every eight average character widths, counted from the line's start.
constexpr int kTabChars = 8;

bool IsSpace(wchar_t ch)
{
    return ch == L' ';
}

// Characters between which a line may break without a space: the ideographs and kana of
// Chinese and Japanese, and the full-width forms (Korean breaks at spaces).
bool BreaksAround(wchar_t ch)
{
    uint32_t c = uint32_t(ch);
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// Widths are 64-bit: a long enough text passes the range of an int.
struct Placed {
    const Glyph* glyph;
    int64_t x;  // from the line's left edge
    int advance;
    bool underline;
};

struct Line {
    size_t begin;  // into Layout::placed
    size_t end;
    int64_t width;
};

// The result of laying out one DrawTextW call. Reused per thread to spare allocations.
struct Layout {
    std::vector<wchar_t> chars;
    std::vector<uint8_t> underline;
    std::vector<const Glyph*> glyphs;
    std::vector<Placed> placed;
    std::vector<Line> lines;
    int64_t widest = 0;
};

class LineBuilder {
public:
    LineBuilder(Layout& layout, int tabWidth, bool expandTabs)
        : m_layout(layout), m_tabWidth(tabWidth), m_expandTabs(expandTabs)
    {
    }

    // The advance of character i when the line so far is x pixels wide.
    int Advance(size_t i, int64_t x) const
    {
        if (m_layout.chars[i] == L'\t' && m_expandTabs)
            return int((x / m_tabWidth + 1) * m_tabWidth - x);
        return m_layout.glyphs[i]->advance;
    }

    // Places characters [begin, end) as one line, `width` pixels wide.
    void Emit(size_t begin, size_t end, int64_t width)
    {
        Line line{m_layout.placed.size(), 0, width};
        int64_t x = 0;
        for (size_t i = begin; i < end; ++i) {
            int advance = Advance(i, x);
            bool tab = m_layout.chars[i] == L'\t' && m_expandTabs;
            m_layout.placed.push_back(
                Placed{tab ? nullptr : m_layout.glyphs[i], x, advance, m_layout.underline[i] != 0});
            x += advance;
        }
        line.end = m_layout.placed.size();
        m_layout.lines.push_back(line);
        m_layout.widest = std::max(m_layout.widest, width);
    }

    // One paragraph, characters [begin, end), without breaking.
    void Whole(size_t begin, size_t end)
    {
        int64_t x = 0;
        for (size_t i = begin; i < end; ++i)
            x += Advance(i, x);
        Emit(begin, end, x);
    }

    // One paragraph broken into lines no wider than `limit` where it can be: after a run of
    // spaces (which the broken line drops) and around Chinese and Japanese characters. A word
    // wider than the limit stays whole on a line of its own; spaces at the end of a line may
    // pass the limit.
    void Broken(size_t begin, size_t end, int64_t limit)
    {
        size_t start = begin;
        while (true) {
            int64_t x = 0;
            size_t breakAt = start;   // where the next line would start; start: none yet
            size_t breakEnd = start;  // end of the visible part of the line before breakAt
            int64_t breakWidth = 0;
            size_t inkEnd = start;  // end of the last non-space character
            int64_t inkWidth = 0;
            bool broke = false;
            for (size_t i = start; i < end; ++i) {
                wchar_t ch = m_layout.chars[i];
                int advance = Advance(i, x);
                bool space = IsSpace(ch) || (ch == L'\t' && m_expandTabs);
                if (space) {
                    x += advance;
                    if (inkEnd > start) {
                        breakAt = i + 1;
                        breakEnd = inkEnd;
                        breakWidth = inkWidth;
                    }
                    continue;
                }
                if (i > start && inkEnd == i &&
                    (BreaksAround(ch) || BreaksAround(m_layout.chars[i - 1]))) {
                    breakAt = i;
                    breakEnd = i;
                    breakWidth = x;
                }
                if (x + advance > limit && breakAt > start) {
                    Emit(start, breakEnd, breakWidth);
                    start = breakAt;
                    broke = true;
                    break;
                }
                x += advance;
                inkEnd = i + 1;
                inkWidth = x;
            }
            if (!broke) {
                Emit(start, end, x);
                return;
            }
        }
    }

private:
    Layout& m_layout;
    const int m_tabWidth;
    const bool m_expandTabs;
};

// Lays text out for DrawTextW: prefix characters, line ends, breaks and tabs.
void LayOut(const wchar_t* text, size_t count, UINT format, int64_t width, FontFace& face,
            Layout& layout)
{
    layout.chars.clear();
    layout.underline.clear();
    layout.placed.clear();
    layout.lines.clear();
    layout.widest = 0;
    bool underlineNext = false;
    for (size_t i = 0; i < count; ++i) {
        wchar_t ch = text[i];
        if (ch == L'&') {
            if (i + 1 < count && text[i + 1] == L'&') {
                ++i;
            } else {
                underlineNext = true;
                continue;
            }
        }
        layout.chars.push_back(ch);
        layout.underline.push_back(underlineNext && ch >= 0x20);
        underlineNext = false;
    }
    layout.glyphs.resize(layout.chars.size());
    face.GetGlyphs(layout.chars.data(), layout.chars.size(), layout.glyphs.data());

    LineBuilder builder(layout, kTabChars * face.Metrics().aveCharWidth,
                        (format & DT_EXPANDTABS) != 0);
    size_t n = layout.chars.size();
    if (format & DT_SINGLELINE) {
        builder.Whole(0, n);
        return;
    }
    size_t begin = 0;
    while (true) {
        size_t end = begin;
        while (end < n && layout.chars[end] != L'\r' && layout.chars[end] != L'\n')
            ++end;
        if (format & DT_WORDBREAK)
            builder.Broken(begin, end, width);
        else
            builder.Whole(begin, end);
        if (end >= n)
            return;
        begin = end + 1;
        if (layout.chars[end] == L'\r' && begin < n && layout.chars[begin] == L'\n')
            ++begin;
        if (begin >= n)
            return;  // a line end at the very end starts no further line
    }
}

thread_local Layout t_layout;

// Draws one glyph's coverage with its top-left pixel at (left, top), device pixels. Requires
// the surface's lock.
void DrawGlyph(const Target& target, const Glyph& glyph, int64_t left, int64_t top, uint32_t color)
{
    Box box{left, top, left + glyph.width, top + glyph.height};
    for (const RECT& clip : target.clip) {
        RECT area;
        if (!ClipBox(box, clip, &area))
            continue;
        for (LONG y = area.top; y < area.bottom; ++y) {
            const uint8_t* coverage = glyph.coverage.data() + size_t(y - top) * size_t(glyph.width);
            uint32_t* row = target.surface->Row(y);
            for (LONG x = area.left; x < area.right; ++x) {
                uint32_t c = coverage[x - left];
                if (c)
                    row[x] = Cover(row[x], color, c);
            }
        }
    }
}

}  // namespace

int DrawTextW(HDC handle, LPCWSTR text, int count, LPRECT rect, UINT format)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return 0;
    if (!text || !rect || count < -1 || (format & ~kDrawTextFlags) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = count == -1 ? wcslen(text) : size_t(count);
    DcLock lock(dc.get());
    std::shared_ptr<FontFace> face = dc->font->Face();
    if (!face) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const FontMetrics& metrics = face->Metrics();
    Layout& layout = t_layout;
    LayOut(text, length, format, int64_t(rect->right) - rect->left, *face, layout);
    int lineHeight = metrics.height;
    int64_t total = int64_t(layout.lines.size()) * lineHeight;
    int totalResult = int(std::min<int64_t>(total, INT_MAX));
    if (format & DT_CALCRECT) {
        rect->right = LONG(int64_t(rect->left) + layout.widest);
        rect->bottom = LONG(int64_t(rect->top) + total);
        return totalResult;
    }

    int64_t top = rect->top;
    bool centredVertically = (format & DT_SINGLELINE) && (format & DT_VCENTER);
    if (centredVertically)
        top += (int64_t(rect->bottom) - rect->top - lineHeight) / 2;
    int result = centredVertically ? int(top - rect->top + lineHeight) : totalResult;

    Target target = dc->CurrentTarget();
    if (!target.surface)
        return result;
    std::vector<RECT> clips;
    if (format & DT_NOCLIP) {
        clips = target.clip;
    } else {
        Box bounds{int64_t(rect->left) + target.origin.x, int64_t(rect->top) + target.origin.y,
                   int64_t(rect->right) + target.origin.x, int64_t(rect->bottom) + target.origin.y};
        for (const RECT& clip : target.clip) {
            RECT area;
            if (ClipBox(bounds, clip, &area))
                clips.push_back(area);
        }
    }
    Target clipped{target.surface, target.origin, std::move(clips)};
    uint32_t color = PixelOf(dc->textColor);
    uint32_t background = PixelOf(dc->bkColor);
    bool opaque = dc->bkMode == OPAQUE;

    int64_t clipTop = INT64_MAX, clipBottom = INT64_MIN;
    for (const RECT& clip : clipped.clip) {
        clipTop = std::min<int64_t>(clipTop, clip.top);
        clipBottom = std::max<int64_t>(clipBottom, clip.bottom);
    }
    SurfaceLock pixels(target.surface.get());
    for (size_t i = 0; i < layout.lines.size(); ++i) {
        const Line& line = layout.lines[i];
        int64_t x = rect->left;
        if (format & DT_CENTER)
            x += (int64_t(rect->right) - rect->left - line.width) / 2;
        int64_t y = top + int64_t(i) * lineHeight;
        int64_t deviceX = x + target.origin.x;
        int64_t deviceY = y + target.origin.y;
        // Glyphs may reach a cell height above or below their line; lines farther from the
        // visible part are skipped.
        if (deviceY + 2 * lineHeight <= clipTop || deviceY - lineHeight >= clipBottom)
            continue;
        if (opaque)
            FillBox(clipped, Box{deviceX, deviceY, deviceX + line.width, deviceY + lineHeight},
                    background);
        int64_t baseline = deviceY + metrics.ascent;
        for (size_t p = line.begin; p < line.end; ++p) {
            const Placed& placed = layout.placed[p];
            if (placed.glyph && placed.glyph->width > 0)
                DrawGlyph(clipped, *placed.glyph, deviceX + placed.x + placed.glyph->left,
                          baseline - placed.glyph->top, color);
            if (placed.underline) {
                int64_t underlineTop = baseline + metrics.underlineOffset;
                FillBox(clipped,
                        Box{deviceX + placed.x, underlineTop, deviceX + placed.x + placed.advance,
                            underlineTop + metrics.underlineThickness},
                        color);
            }
        }
    }
    return result;
}

BOOL GetTextExtentPoint32W(HDC handle, LPCWSTR text, int count, LPSIZE size)
{
    auto dc = LookupDc(handle);
    if (!dc)
        return FALSE;
    if (!size || count < 0 || (count > 0 && !text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DcLock lock(dc.get());
    std::shared_ptr<FontFace> face = dc->font->Face();
    if (!face) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<const Glyph*> glyphs(static_cast<size_t>(count));
    face->GetGlyphs(text, size_t(count), glyphs.data());
    int64_t width = 0;
    for (const Glyph* glyph : glyphs)
        width += glyph->advance;
    size->cx = LONG(width);
    size->cy = face->Metrics().height;
    return TRUE;
}
