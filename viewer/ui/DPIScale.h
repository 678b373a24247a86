// The display scale: design units (pixels of a 96 dots-per-inch screen, in which every
// coordinate, size and font height of the viewer is written) to device pixels and back.
#pragma once

#include "platform/gdi.h"

// One scale for the process. Every conversion goes through MulDiv, which rounds to the
// nearest integer with halves away from zero. Plain data without a lock: set on the
// user-interface thread before the first window exists, only read afterwards.
class CDPIScale {
public:
    // No scale yet: the percent, the first percent and the last percent are 0.
    constexpr CDPIScale() : m_nPercent(0), m_nBasePercent(0), m_nLastPercent(0) {}

    // The percent becomes dpi x 100 / 96 (96 is 100 percent) and is returned; the first call
    // also fixes the base percent, which later calls leave alone.
    int SetDPI(int dpi);

    // Design units to pixels. Before SetDPI every value becomes 0.
    int Scale(int value) const;
    // Pixels to design units. Before SetDPI (or with a percent of 0) every value becomes 0,
    // the same answer as Scale gives then, instead of dividing by the missing percent.
    int Unscale(int value) const;
    // In place, each coordinate on its own: a rectangle is scaled corner by corner, so its
    // width can differ by a pixel from the scaled width.
    void ScalePoint(POINT* point) const;
    void UnscalePoint(POINT* point) const;
    void ScaleRect(RECT* rect) const;
    void UnscaleRect(RECT* rect) const;

    int GetPercent() const { return m_nPercent; }
    // The percent of the first SetDPI.
    int GetBasePercent() const { return m_nBasePercent; }
    // The percent of the latest SetDPI.
    int GetLastPercent() const { return m_nLastPercent; }

private:
    int m_nPercent;
    int m_nBasePercent;
    int m_nLastPercent;
};

// The process's scale, constant-initialised, so it exists before any global constructor runs;
// the application object sets it to 96 dots per inch at start-up.
extern CDPIScale g_DPIScale;

// A font from a description in design units: its lfHeight is scaled on a copy, the caller's
// structure is left as it was (so one description can serve again). Returns the new font,
// which the caller owns, or null as CreateFontIndirectW fails.
HFONT DPICreateFontIndirect(const LOGFONTW* font);
