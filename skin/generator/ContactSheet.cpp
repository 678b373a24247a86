#include "ContactSheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "Paint.h"

namespace skin {

namespace {

// Where a target coordinate along one axis reads from in the inner picture, with the marked
// pixel repeated to take up the extra length.
int SourceOf(int target, int stretch, int extra)
{
    if (target <= stretch)
        return target;
    if (target <= stretch + extra)
        return stretch;
    return target - extra;
}

}  // namespace

Image StretchNinePatch(const Image& file, const Picture& picture, int width, int height)
{
    int innerW = file.Width() - 2;
    int innerH = file.Height() - 2;
    int extraX = std::max(0, width - innerW);
    int extraY = std::max(0, height - innerH);
    Image out(width, height);
    for (int y = 0; y < height; ++y) {
        int sy = SourceOf(y, picture.frame.stretchY, extraY);
        for (int x = 0; x < width; ++x) {
            int sx = SourceOf(x, picture.frame.stretchX, extraX);
            if (sx < innerW && sy < innerH)
                out.At(x, y) = file.At(1 + sx, 1 + sy);
        }
    }
    return out;
}

Image StretchSlices(const Image& file, const Picture& picture, int length)
{
    bool horizontal = picture.kind == Kind::SliceHorz;
    int innerW = file.Width() - 2;
    int innerH = file.Height() - 2;
    int along = horizontal ? innerW : innerH;
    int extra = std::max(0, length - along);
    int stretch = horizontal ? picture.frame.stretchX : picture.frame.stretchY;
    Image out(horizontal ? length : innerW, horizontal ? innerH : length);
    for (int y = 0; y < out.Height(); ++y) {
        for (int x = 0; x < out.Width(); ++x) {
            int sx = horizontal ? SourceOf(x, stretch, extra) : x;
            int sy = horizontal ? y : SourceOf(y, stretch, extra);
            if (sx < innerW && sy < innerH)
                out.At(x, y) = file.At(1 + sx, 1 + sy);
        }
    }
    return out;
}

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// One picture on the sheet, shown at a scale (2 for small pictures, below 1 for large ones).
struct Tile {
    SurfacePtr surface;
    int width;
    int height;
    double scale;
    std::string caption;  // under the tile, for the stretched views
    int slot = 0;         // the width the tile takes on the sheet, caption included
    bool light = false;   // shown on a light ground, for marks drawn for the light menus
};

struct Cell {
    std::string title;
    std::string detail;
    std::vector<Tile> tiles;
    int width = 0;
    int height = 0;
};

const char* KindName(Kind kind)
{
    switch (kind) {
        case Kind::Plain:
            return "plain";
        case Kind::Inset:
            return "inset icon";
        case Kind::NinePatch:
            return "nine-patch";
        case Kind::SliceHorz:
            return "three slices across";
        case Kind::SliceVert:
            return "three slices down";
    }
    return "";
}

Tile MakeTile(const Image& image, std::string caption, bool fullSize = false)
{
    int largest = std::max(image.Width(), image.Height());
    double scale = largest <= 48 ? 2 : largest > 400 ? 400.0 / largest : 1;
    if (image.Width() * scale > 640)
        scale = 640.0 / image.Width();
    if (fullSize)
        scale = 1;
    Tile tile{SurfacePtr(image.ToSurface()), int(std::ceil(image.Width() * scale)),
              int(std::ceil(image.Height() * scale)), scale, std::move(caption)};
    return tile;
}

constexpr int kMargin = 16;
constexpr int kPad = 8;
constexpr int kTitleSize = 11;
constexpr int kLabelHeight = 30;
constexpr int kCaptionHeight = 14;
constexpr int kSheetWidth = 1800;

Cell MakeCell(cairo_t* measure, const SheetEntry& entry)
{
    const Picture& p = *entry.picture;
    Cell cell;
    cell.title = p.name;
    cell.detail =
        std::to_string(p.width) + " x " + std::to_string(p.height) + ", " + KindName(p.kind);
    cell.tiles.push_back(MakeTile(entry.image, ""));
    if (p.kind == Kind::NinePatch && p.previewWidth > 0) {
        Image stretched = StretchNinePatch(entry.image, p, p.previewWidth, p.previewHeight);
        cell.tiles.push_back(MakeTile(stretched, "at " + std::to_string(p.previewWidth) + " x " +
                                                     std::to_string(p.previewHeight)));
    } else if ((p.kind == Kind::SliceHorz || p.kind == Kind::SliceVert) && p.previewWidth > 0) {
        int length = p.kind == Kind::SliceHorz ? p.previewWidth : p.previewHeight;
        cell.tiles.push_back(
            MakeTile(StretchSlices(entry.image, p, length), "at length " + std::to_string(length)));
    }
    for (Tile& tile : cell.tiles) {
        if (tile.scale != 1 && tile.caption.empty()) {
            char text[32];
            std::snprintf(text, sizeof text, "shown x%.2g", tile.scale);
            tile.caption = text;
        }
    }
    bool mark = p.art == Art::CheckMark || p.art == Art::SubMenuArrow;
    bool light = (mark && p.state == State::Normal) || p.art == Art::MenuSeparator;
    for (Tile& tile : cell.tiles) {
        tile.light = light;
        tile.slot =
            std::max(tile.width, int(std::ceil(TextWidth(measure, tile.caption, 9, false))));
    }
    int tilesWidth = 0;
    int tilesHeight = 0;
    for (const Tile& tile : cell.tiles) {
        tilesWidth += tile.slot + (tilesWidth ? kPad : 0);
        tilesHeight = std::max(tilesHeight, tile.height + kCaptionHeight);
    }
    double textWidth = std::max(TextWidth(measure, cell.title, kTitleSize, true),
                                TextWidth(measure, cell.detail, kTitleSize - 1, false));
    cell.width = std::max(tilesWidth, int(std::ceil(textWidth))) + 2 * kPad;
    cell.height = kLabelHeight + tilesHeight + 2 * kPad;
    return cell;
}

void Chequer(cairo_t* cr, double x, double y, int width, int height, bool light)
{
    FillPixels(cr, int(x), int(y), width, height, light ? Hex(0xe4e9ee) : Hex(0x3a3f45));
    cairo_save(cr);
    cairo_rectangle(cr, x, y, width, height);
    cairo_clip(cr);
    for (int cy = 0; cy < height; cy += 6) {
        for (int cx = (cy / 6) % 2 * 6; cx < width; cx += 12) {
            FillPixels(cr, int(x) + cx, int(y) + cy, 6, 6, light ? Hex(0xd2d9e0) : Hex(0x2c3035));
        }
    }
    cairo_restore(cr);
}

void DrawCell(cairo_t* cr, const Cell& cell, int x, int y)
{
    RoundedRect(cr, x + 0.5, y + 0.5, cell.width - 1, cell.height - 1, 4);
    FillWith(cr, Hex(0x25292e), true);
    StrokeWith(cr, Hex(0x363c43), 1);
    TextAt(cr, cell.title, x + kPad, y + kPad + 10, kTitleSize, true, Hex(0xdde4ea));
    TextAt(cr, cell.detail, x + kPad, y + kPad + 24, kTitleSize - 1, false, Hex(0x8d99a5));
    int tx = x + kPad;
    int ty = y + kPad + kLabelHeight;
    for (const Tile& tile : cell.tiles) {
        Chequer(cr, tx, ty, tile.width, tile.height, tile.light);
        cairo_save(cr);
        cairo_translate(cr, tx, ty);
        cairo_scale(cr, tile.scale, tile.scale);
        cairo_set_source_surface(cr, tile.surface.get(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr),
                                 tile.scale >= 1 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
        cairo_paint(cr);
        cairo_restore(cr);
        if (!tile.caption.empty()) {
            TextAt(cr, tile.caption, tx, ty + tile.height + 11, 9, false, Hex(0x8d99a5));
        }
        tx += tile.slot + kPad;
    }
}

}  // namespace

Cell MakeViewCell(const SheetView& view)
{
    Cell cell;
    cell.title = view.title;
    cell.detail = std::to_string(view.image.Width()) + " x " + std::to_string(view.image.Height()) +
                  ", put together from the pictures";
    cell.tiles.push_back(MakeTile(view.image, "", true));
    cell.tiles[0].slot = cell.tiles[0].width;
    cell.width = cell.tiles[0].width + 2 * kPad;
    cell.height = kLabelHeight + cell.tiles[0].height + kCaptionHeight + 2 * kPad;
    return cell;
}

void WriteContactSheet(const std::vector<SheetView>& views, const std::vector<SheetEntry>& entries,
                       const std::string& path)
{
    Canvas measure(1, 1);
    std::vector<Cell> cells;
    for (const SheetView& view : views)
        cells.push_back(MakeViewCell(view));
    for (const SheetEntry& entry : entries)
        cells.push_back(MakeCell(measure.Context(), entry));

    // Cells flow in table order, row by row.
    struct Placed {
        int x, y;
    };
    std::vector<Placed> places;
    int x = kMargin, y = kMargin, rowHeight = 0;
    for (const Cell& cell : cells) {
        if (x > kMargin && x + cell.width > kSheetWidth - kMargin) {
            x = kMargin;
            y += rowHeight + kPad;
            rowHeight = 0;
        }
        places.push_back({x, y});
        x += cell.width + kPad;
        rowHeight = std::max(rowHeight, cell.height);
    }
    int height = y + rowHeight + kMargin;

    Canvas sheet(kSheetWidth, height);
    cairo_t* cr = sheet.Context();
    FillPixels(cr, 0, 0, kSheetWidth, height, Hex(0x1b1e22));
    for (size_t i = 0; i < cells.size(); ++i)
        DrawCell(cr, cells[i], places[i].x, places[i].y);
    WritePng(Image::FromSurface(sheet.Surface()), path);
}

}  // namespace skin
