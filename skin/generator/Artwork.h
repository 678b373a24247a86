// The artwork of every picture. Each drawing fills the picture's art area: the whole picture for
// plain pictures, the picture less its top row and left column for inset icons, and the inner
// picture (less the one-pixel frame) for nine-patch and three-slice pictures.
#pragma once

#include <cairo.h>

#include "Image.h"
#include "SkinTable.h"

namespace skin {

// The art area of a picture in its own pixels.
struct ArtArea {
    int left;
    int top;
    int width;
    int height;
};

ArtArea ArtAreaOf(const Picture& picture);

// Draws the picture's artwork into a context whose origin is the art area's top-left corner
// and whose clip is the art area.
void DrawArt(cairo_t* cr, const Picture& picture, int width, int height);

// The whole picture as the file holds it: the artwork with its frame.
Image RenderPicture(const Picture& picture);

}  // namespace skin
