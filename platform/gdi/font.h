// Fonts: face resolution through fontconfig, rendering through FreeType, and the glyph cache.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi.h"

namespace platform::gdi {

// Font metrics in whole pixels, as GDI reports them for TrueType fonts: the cell is
// ascent + descent high; the baseline lies `ascent` pixels below the cell's top.
struct FontMetrics {
    int ascent = 0;
    int descent = 0;
    int height = 0;
    int aveCharWidth = 1;
    int underlineOffset = 1;     // pixels below the baseline to the underline's top row
    int underlineThickness = 1;  // rows
};

// One rendered character. Coverage rows are `width` bytes each, 0 (none) to 255 (full); the
// top-left coverage pixel lies at (pen x + left, baseline - top).
struct Glyph {
    int advance = 0;  // whole pixels
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;
};

class FaceInstance;

// A font as a LOGFONTW resolved it: the chosen face at one size, followed by the faces that
// supply characters it lacks. Shared by every HFONT that resolves alike; lives as long as the
// process. Safe to use from any thread.
class FontFace {
public:
    FontFace(std::vector<std::shared_ptr<FaceInstance>> chain, FontMetrics metrics);
    const FontMetrics& Metrics() const { return m_metrics; }

    // The glyphs of `count` characters, in order. Returned pointers stay valid for the life of
    // the process; glyphs are rendered on first use and cached.
    void GetGlyphs(const wchar_t* text, size_t count, const Glyph** glyphs);

private:
    const Glyph* Find(char32_t ch);  // requires m_lock

    const std::vector<std::shared_ptr<FaceInstance>> m_chain;
    const FontMetrics m_metrics;
    std::mutex m_lock;
    const Glyph* m_ascii[128] = {};                       // guarded by m_lock
    std::unordered_map<char32_t, const Glyph*> m_glyphs;  // guarded by m_lock
};

// Resolves a font description (which the caller has validated). Null only when no font file at
// all can be loaded.
std::shared_ptr<FontFace> ResolveFont(const LOGFONTW& font);

// Whether a LOGFONTW height is one that fonts are made for (at most 2048 pixels either way).
bool ValidFontHeight(LONG height);

// Counts changes of the pinned font file, so that fonts resolved before a change resolve again.
unsigned FontGeneration();

}  // namespace platform::gdi
