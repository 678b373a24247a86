// CNinePatch: stretches a nine-patch skin picture (".9.png") to the size of a surface and tells
// where its content area lands.
//
// The picture has a one-pixel frame. Black pixels (any alpha but 0) in row 0 above the inner
// columns mark the columns that stretch, and black pixels in column 0 beside the inner rows mark
// the rows that stretch; one or two markers per direction are usable. The right column and the
// bottom row carry the content frame: a black run (alpha ignored) that ends at a white pixel.
// The corners of the frame are no markers.
#pragma once

#include <string>
#include <vector>

#include "platform/gdiplus.h"
#include "ui/OffscreenDC.h"

// Used on the user-interface thread, one drawing call at a time; the lists hold the state of
// the current call only.
class CNinePatch {
public:
    CNinePatch();
    CNinePatch(const CNinePatch&) = delete;
    CNinePatch& operator=(const CNinePatch&) = delete;

    // Replaces the whole of a created target with the picture (by name, as for skin pictures)
    // stretched to the target's size, in premultiplied ARGB, and fills *content (when given)
    // with the content area. The marked columns share the width the target has beyond the
    // picture's inner part, the second of two markers taking the odd column; a target smaller
    // than that shows the picture at its own size, cut off at the target's edges. Without
    // markers in a direction the picture is copied at 1:1 into the top-left corner, and with
    // three or more the target ends transparent black. Nothing happens for an empty target; a
    // missing or unusable picture (below 3 x 3 pixels) is reported once, and then the target
    // and *content are left as they were.
    void Draw(COffscreenDC& target, std::wstring name, RECT* content = nullptr);

    // The content area after the current call's stretch, in the picture's coordinates (frame
    // included) moved by the stretched columns and rows before it and grown by those inside it.
    // Along each frame edge the area starts at the first black pixel and ends before the next
    // white one: an edge without black gives -1 as its start and a length of 1, one whose first
    // pixel is black or whose run has no white end gives a length of 0 or less.
    void GetContentRect(Gdiplus::Bitmap* picture, RECT* rect);

    // The two passes of Draw, from a source holding the picture without row 0 and column 0 into
    // a destination of the stretched width (or height) plus one; they read the markers found by
    // Draw and record the spans they stretch the marked columns (rows) to.
    void StretchHorz(COffscreenDC& destination, COffscreenDC& source);
    // As StretchHorz by rows, except that a destination as high as the source is a plain copy
    // that records nothing.
    void StretchVert(COffscreenDC& destination, COffscreenDC& source);

private:
    void Stretch(COffscreenDC& destination, COffscreenDC& source, bool horizontal);

    std::vector<int> m_vecHorzSpan;   // width each marked column was stretched to, in order
    std::vector<int> m_vecVertSpan;   // height each marked row was stretched to
    std::vector<int> m_vecColMarker;  // x - 1 of each marked column of row 0, ascending
    std::vector<int> m_vecRowMarker;  // y - 1 of each marked row of column 0, ascending
};

// The process-wide painter: made by GetNinePatch on first use, deleted (and reset to null) by
// the main dialog when it closes. User-interface thread only.
extern CNinePatch* g_pNinePatch;

// g_pNinePatch, made first when there is none.
CNinePatch* GetNinePatch();
