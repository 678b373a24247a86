// A contact sheet of the skin: every picture labelled with its name, size and kind, on a
// chequered ground that shows its transparency; nine-patch and three-slice pictures also
// stretched the way their control stretches them, so that their look in use can be judged.
#pragma once

#include <string>
#include <vector>

#include "Image.h"
#include "SkinTable.h"

namespace skin {

struct SheetEntry {
    const Picture* picture;
    Image image;  // the file's pixels, frame included
};

// Stretches a nine-patch picture to width x height as a painter that reads its markers does:
// the frame is dropped and the marked column and row repeat; a target smaller than the inner
// picture keeps the picture's top-left part.
Image StretchNinePatch(const Image& file, const Picture& picture, int width, int height);

// Lays a three-slice picture out at a length along its cut: first cap, the stretch column (or
// row) repeated, last cap, without the border.
Image StretchSlices(const Image& file, const Picture& picture, int length);

// A composed view shown at full size at the head of the sheet.
struct SheetView {
    std::string title;
    Image image;
};

// Writes the sheet as a PNG: the views first, then every picture in table order; throws
// std::runtime_error on failure.
void WriteContactSheet(const std::vector<SheetView>& views, const std::vector<SheetEntry>& entries,
                       const std::string& path);

}  // namespace skin
