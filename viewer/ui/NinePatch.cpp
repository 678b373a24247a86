#include "ui/NinePatch.h"

#include <algorithm>

#include "ui/GdiPlusBitmap.h"
#include "ui/SkinImage.h"

CNinePatch* g_pNinePatch = nullptr;

namespace {

// A stretch marker: black in its colour channels and not fully transparent.
bool IsStretchMarker(const Gdiplus::Color& color)
{
    return color.GetR() == 0 && color.GetG() == 0 && color.GetB() == 0 && color.GetValue() != 0;
}

bool IsBlack(const Gdiplus::Color& color)
{
    return color.GetR() == 0 && color.GetG() == 0 && color.GetB() == 0;
}

bool IsWhite(const Gdiplus::Color& color)
{
    return color.GetR() == 255 && color.GetG() == 255 && color.GetB() == 255;
}

// Where the content frame along one edge starts (the first black pixel) and where it ends (the
// pixel before the next white one), as picture coordinates along that edge; -1 for what is not
// found. A run starting at the edge's first pixel has no end. `color` carries the last colour
// read, which a failed read keeps.
void ScanContentEdge(Gdiplus::Bitmap* picture, bool rightColumn, int length, Gdiplus::Color* color,
                     int* start, int* end)
{
    int w = int(picture->GetWidth());
    int h = int(picture->GetHeight());
    auto read = [&](int i) {
        if (rightColumn)
            picture->GetPixel(w - 1, i, color);
        else
            picture->GetPixel(i, h - 1, color);
    };
    *start = -1;
    *end = -1;
    for (int i = 0; i < length; ++i) {
        read(i);
        if (IsBlack(*color)) {
            *start = i;
            break;
        }
    }
    if (*start <= 0)
        return;
    for (int i = *start; i < length; ++i) {
        read(i);
        if (IsWhite(*color)) {
            *end = i - 1;
            break;
        }
    }
}

// How the stretch moves and grows the content run [start, end] of picture coordinates along one
// direction: each marked line (picture coordinate marker + 1) stretched to `span` lines adds
// span - 1 lines, which move the run when the line lies before it and lengthen it when the line
// lies inside.
void MapContentRun(const std::vector<int>& markers, const std::vector<int>& spans, int start,
                   int end, int* shift, int* growth)
{
    *shift = 0;
    *growth = 0;
    if (spans.empty() || spans.size() != markers.size())
        return;
    for (size_t i = 0; i < markers.size(); ++i) {
        int line = markers[i] + 1;
        int added = spans[i] - 1;
        if (line >= start && line <= end)
            *growth += added;
        else if (line < start)
            *shift += added;
    }
}

}  // namespace

CNinePatch* GetNinePatch()
{
    if (!g_pNinePatch)
        g_pNinePatch = new CNinePatch;
    return g_pNinePatch;
}

CNinePatch::CNinePatch() = default;

void CNinePatch::Draw(COffscreenDC& target, std::wstring name, RECT* content)
{
    if (!target.IsCreated())
        return;
    m_vecHorzSpan.clear();
    m_vecVertSpan.clear();
    m_vecColMarker.clear();
    m_vecRowMarker.clear();

    name = SkinResourceName(name);
    CGdiPlusBitmapResource picture;
    if (!picture.Load(name.c_str(), L"PNG", g_hSkinModule)) {
        ReportMissingSkinImage(L"nine patch", name);
        return;
    }
    Gdiplus::Bitmap* bitmap = picture.m_pBitmap;
    const int w = int(bitmap->GetWidth());
    const int h = int(bitmap->GetHeight());
    // A frame on every side and one inner pixel at least.
    if (w < 3 || h < 3) {
        ReportMissingSkinImage(L"nine patch", name);
        return;
    }

    // Only the frame beside inner columns and rows can mark: a corner would name the frame
    // itself (column -1) or the content frame.
    Gdiplus::Color color;  // opaque black until the first read; a failed read keeps the last
    for (int x = 1; x <= w - 2; ++x) {
        bitmap->GetPixel(x, 0, &color);
        if (IsStretchMarker(color))
            m_vecColMarker.push_back(x - 1);
    }
    for (int y = 1; y <= h - 2; ++y) {
        bitmap->GetPixel(0, y, &color);
        if (IsStretchMarker(color))
            m_vecRowMarker.push_back(y - 1);
    }

    const int width = target.GetWidth();
    const int height = target.GetHeight();
    // A keeps the content frame as its last column and row; the stretch moves it into the last
    // column and row of C, which are not copied.
    COffscreenDC a(target.GetDC(), w - 1, h - 1);
    COffscreenDC b(target.GetDC(), width + 1, h - 1);
    COffscreenDC c(target.GetDC(), width + 1, height + 1);
    if (!a.IsCreated() || !b.IsCreated() || !c.IsCreated())
        return;
    {
        Gdiplus::Graphics graphics(a.GetDC()->GetSafeHdc());
        graphics.DrawImage(bitmap, Gdiplus::Rect(0, 0, w - 1, h - 1), 1, 1, w - 1, h - 1,
                           Gdiplus::UnitPixel);
    }
    StretchHorz(b, a);
    StretchVert(c, b);
    if (content)
        GetContentRect(bitmap, content);
    target.GetDC()->BitBlt(0, 0, width, height, c.GetDC(), 0, 0, SRCCOPY);
}

void CNinePatch::GetContentRect(Gdiplus::Bitmap* picture, RECT* rect)
{
    if (!picture || !rect)
        return;
    Gdiplus::Color color;
    int top, bottom, left, right;
    ScanContentEdge(picture, true, int(picture->GetHeight()), &color, &top, &bottom);
    ScanContentEdge(picture, false, int(picture->GetWidth()), &color, &left, &right);
    int height = bottom - top + 1;
    int width = right - left + 1;
    int shiftY, growY, shiftX, growX;
    MapContentRun(m_vecRowMarker, m_vecVertSpan, top, bottom, &shiftY, &growY);
    MapContentRun(m_vecColMarker, m_vecHorzSpan, left, right, &shiftX, &growX);
    rect->left = left + shiftX;
    rect->top = top + shiftY;
    rect->right = rect->left + width + growX;
    rect->bottom = rect->top + height + growY;
}

void CNinePatch::StretchHorz(COffscreenDC& destination, COffscreenDC& source)
{
    Stretch(destination, source, true);
}

void CNinePatch::StretchVert(COffscreenDC& destination, COffscreenDC& source)
{
    Stretch(destination, source, false);
}

void CNinePatch::Stretch(COffscreenDC& destination, COffscreenDC& source, bool horizontal)
{
    const std::vector<int>& markers = horizontal ? m_vecColMarker : m_vecRowMarker;
    std::vector<int>& spans = horizontal ? m_vecHorzSpan : m_vecVertSpan;
    const int sourceLength = horizontal ? source.GetWidth() : source.GetHeight();
    const int destLength = horizontal ? destination.GetWidth() : destination.GetHeight();
    const int across = horizontal ? source.GetHeight() : source.GetWidth();
    CDC* to = destination.GetDC();
    CDC* from = source.GetDC();
    // Copies `count` source lines from `at` to `position`, stretched to `length` lines; an empty
    // surface on either side takes or gives nothing.
    auto place = [&](int at, int count, int position, int length) {
        if (count <= 0 || length <= 0 || !to || !from)
            return;
        if (horizontal)
            to->StretchBlt(position, 0, length, across, from, at, 0, count, across, SRCCOPY);
        else
            to->StretchBlt(0, position, across, length, from, 0, at, across, count, SRCCOPY);
    };
    // A destination shorter than the source gets the picture at its own size, cut off at the
    // destination's edge: marked lines are never shrunk below one line or mirrored.
    const int extra = std::max(destLength - sourceLength, 0);
    if (!horizontal && extra == 0) {
        place(0, sourceLength, 0, sourceLength);
        return;
    }
    if (markers.empty()) {
        place(0, sourceLength, 0, sourceLength);
    } else if (markers.size() == 1) {
        const int m = markers[0];
        place(0, m, 0, m);
        place(m, 1, m, extra + 1);
        place(m + 1, sourceLength - m - 1, m + extra + 1, sourceLength - m - 1);
        spans.push_back(extra + 1);
    } else if (markers.size() == 2) {
        const int m0 = markers[0];
        const int m1 = markers[1];
        // The two marked lines share extra + 2 lines; the second takes the odd one.
        const int first = (extra + 2) / 2;
        const int second = extra + 2 - first;
        place(0, m0, 0, m0);
        place(m0, 1, m0, first);
        place(m0 + 1, m1 - m0 - 1, m0 + first, m1 - m0 - 1);
        place(m1, 1, m1 + first - 1, second);
        place(m1 + 1, sourceLength - m1 - 1, m1 + first + second - 1, sourceLength - m1 - 1);
        spans.push_back(first);
        spans.push_back(second);
    }
    // Three or more markers: the picture cannot be stretched, and nothing is drawn.
}
