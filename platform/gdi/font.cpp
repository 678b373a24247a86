#include "font.h"

#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <map>
#include <tuple>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include "platform/testing.h"

namespace platform::gdi {

namespace {

// The families that stand in for faces that are not installed.
constexpr const char* kLatinFallback = "DejaVu Sans";
constexpr const char* kCjkFallback = "WenQuanYi Micro Hei";

// Fonts taller than this are refused at creation; their glyphs would be megabytes each.
constexpr int kMaxPixelHeight = 2048;

struct FaceFile {
    std::string path;
    int index = 0;
    bool operator==(const FaceFile& other) const
    {
        return path == other.path && index == other.index;
    }
};

// Guards the FreeType library object, the creation of faces, every fontconfig call and the
// caches below. Glyph rendering takes only the face's own lock.
std::mutex g_fontLock;
FT_Library g_library = nullptr;  // guarded by g_fontLock; lives until the process ends
std::string g_pinnedFile;        // guarded by g_fontLock; empty when no file is pinned
unsigned g_generation = 1;       // guarded by g_fontLock

// Whether fontconfig has been asked anything, and whether it has been shut down; guarded by
// g_fontLock.
bool g_fontconfigUsed = false;
bool g_fontconfigClosed = false;

// Releases fontconfig's configuration at exit, so that the process ends without what leak
// checkers count as lost memory; fonts resolved afterwards get no fontconfig matches.
void CloseFontconfig()
{
    std::lock_guard<std::mutex> guard(g_fontLock);
    if (g_fontconfigUsed && !g_fontconfigClosed)
        FcFini();
    g_fontconfigClosed = true;
}

FT_Library Library()
{
    if (!g_library && FT_Init_FreeType(&g_library) != 0)
        g_library = nullptr;
    return g_library;
}

std::string Utf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t wc : text) {
        uint32_t c = uint32_t(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

// Faces of Chinese, Japanese and Korean systems; a face name written in other than ASCII is
// taken as one too.
bool IsCjkFace(const std::string& lowerName)
{
    static const char* const kNames[] = {"simsun",     "nsimsun",       "simhei",
                                         "kaiti",      "fangsong",      "microsoft yahei",
                                         "mingliu",    "pmingliu",      "microsoft jhenghei",
                                         "dotum",      "dotumche",      "gulim",
                                         "gulimche",   "batang",        "batangche",
                                         "gungsuh",    "malgun gothic", "ms gothic",
                                         "ms pgothic", "ms ui gothic",  "ms mincho",
                                         "ms pmincho", "meiryo",        "meiryo ui",
                                         "yu gothic"};
    for (const char* name : kNames)
        if (lowerName == name)
            return true;
    for (char c : lowerName)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

bool IsCjkCharset(BYTE charset)
{
    return charset == SHIFTJIS_CHARSET || charset == HANGUL_CHARSET || charset == GB2312_CHARSET ||
           charset == CHINESEBIG5_CHARSET;
}

// The installed font fontconfig chooses for a family, weight and slant. With exactFamily the
// match must carry that family name (compared without regard to case); otherwise whatever
// fontconfig substitutes is accepted. Requires g_fontLock.
bool MatchFamily(const std::string& family, int weight, bool italic, bool exactFamily,
                 FaceFile* file)
{
    if (g_fontconfigClosed)
        return false;
    if (!g_fontconfigUsed) {
        g_fontconfigUsed = true;
        std::atexit(CloseFontconfig);
    }
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;

    bool ok = !exactFamily;
    std::string wanted = LowerAscii(family);
    FcChar8* name = nullptr;
    for (int i = 0; exactFamily && FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch;
         ++i) {
        if (LowerAscii(reinterpret_cast<const char*>(name)) == wanted)
            ok = true;
    }
    FcChar8* path = nullptr;
    int index = 0;
    if (ok && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        file->path = reinterpret_cast<const char*>(path);
        file->index = index;
    } else {
        ok = false;
    }
    FcPatternDestroy(match);
    return ok;
}

int RoundToInt(double value)
{
    return int(std::lround(value));
}

}  // namespace

// One font file opened at one size, with the style it must synthesise. Rendered glyphs are
// cached here and shared by every FontFace that uses the instance.
class FaceInstance {
public:
    FaceInstance(FT_Face face, bool embolden, bool oblique)
        : m_face(face), m_embolden(embolden), m_oblique(oblique)
    {
    }
    // Instances live until the process ends (they sit in a cache that is never emptied), so the
    // face is not closed: FreeType may already be gone when static objects are destroyed.
    ~FaceInstance() = default;

    bool Has(char32_t ch)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return FT_Get_Char_Index(m_face, ch) != 0;
    }

    // The glyph for a character; with orNotdef the face's missing-glyph shape when it has no
    // glyph for it, else null. Characters that map to one glyph share its rendering.
    const Glyph* Render(char32_t ch, bool orNotdef)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto found = m_byChar.find(ch);
        if (found != m_byChar.end())
            return found->second;
        FT_UInt index = FT_Get_Char_Index(m_face, ch);
        if (index == 0 && !orNotdef)
            return nullptr;
        auto& glyph = m_byIndex[index];
        if (!glyph) {
            glyph = std::make_unique<Glyph>();
            if (FT_Load_Glyph(m_face, index, FT_LOAD_NO_BITMAP) == 0) {
                FT_GlyphSlot slot = m_face->glyph;
                if (m_oblique)
                    FT_GlyphSlot_Oblique(slot);
                if (m_embolden)
                    FT_GlyphSlot_Embolden(slot);
                glyph->advance = int((slot->advance.x + 32) >> 6);
                if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0)
                    Copy(slot, glyph.get());
            }
        }
        m_byChar.emplace(ch, glyph.get());
        return glyph.get();
    }

private:
    static void Copy(FT_GlyphSlot slot, Glyph* glyph)
    {
        const FT_Bitmap& bitmap = slot->bitmap;
        glyph->left = slot->bitmap_left;
        glyph->top = slot->bitmap_top;
        glyph->width = int(bitmap.width);
        glyph->height = int(bitmap.rows);
        glyph->coverage.assign(size_t(glyph->width) * size_t(glyph->height), 0);
        for (int y = 0; y < glyph->height; ++y) {
            const unsigned char* row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
            uint8_t* out = glyph->coverage.data() + size_t(y) * size_t(glyph->width);
            for (int x = 0; x < glyph->width; ++x) {
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                    out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
                else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                    out[x] = row[x];
            }
        }
    }

    // Guards m_face (FreeType faces are not thread-safe) and both maps.
    std::mutex m_lock;
    FT_Face m_face;
    const bool m_embolden;
    const bool m_oblique;
    std::unordered_map<FT_UInt, std::unique_ptr<Glyph>> m_byIndex;
    std::unordered_map<char32_t, const Glyph*> m_byChar;
};

namespace {

struct InstanceKey {
    std::string path;
    int index;
    long size26;  // em size in 1/64 pixel
    bool bold;
    bool italic;
    bool operator<(const InstanceKey& o) const
    {
        return std::tie(path, index, size26, bold, italic) <
               std::tie(o.path, o.index, o.size26, o.bold, o.italic);
    }
};

// Guarded by g_fontLock; never emptied, so instances and their glyphs live as long as the
// process.
std::map<InstanceKey, std::shared_ptr<FaceInstance>>& Instances()
{
    static auto* instances = new std::map<InstanceKey, std::shared_ptr<FaceInstance>>;
    return *instances;
}

// Resolved fonts by description; guarded by g_fontLock, emptied when the pinned file changes.
std::map<std::wstring, std::shared_ptr<FontFace>>& Faces()
{
    static auto* faces = new std::map<std::wstring, std::shared_ptr<FontFace>>;
    return *faces;
}

FT_Face OpenFile(const FaceFile& file)
{
    FT_Library library = Library();
    FT_Face face = nullptr;
    if (!library || FT_New_Face(library, file.path.c_str(), file.index, &face) != 0)
        return nullptr;
    if (!FT_IS_SCALABLE(face)) {
        FT_Done_Face(face);
        return nullptr;
    }
    return face;
}

bool FaceIsBold(FT_Face face)
{
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->usWeightClass)
        return os2->usWeightClass >= 600;
    return (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
}

bool FaceIsItalic(FT_Face face)
{
    return (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
}

// An instance of the file at the em size, from the cache or newly opened. `face`, when given,
// is an already opened face of that file that the instance may keep (else it is closed).
// Requires g_fontLock.
std::shared_ptr<FaceInstance> Instance(const FaceFile& file, long size26, bool bold, bool italic,
                                       FT_Face face)
{
    InstanceKey key{file.path, file.index, size26, bold, italic};
    auto found = Instances().find(key);
    if (found != Instances().end()) {
        if (face)
            FT_Done_Face(face);
        return found->second;
    }
    if (!face)
        face = OpenFile(file);
    if (!face)
        return nullptr;
    if (FT_Set_Char_Size(face, 0, size26, 72, 72) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    auto instance = std::make_shared<FaceInstance>(face, bold && !FaceIsBold(face),
                                                   italic && !FaceIsItalic(face));
    Instances().emplace(key, instance);
    return instance;
}

// The size and GDI metrics of a face for a LOGFONT height.
void SizeFor(FT_Face face, LONG height, long* size26, FontMetrics* metrics)
{
    double upem = face->units_per_EM ? face->units_per_EM : 2048;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double winAscent = os2 ? os2->usWinAscent : face->ascender;
    double winDescent = os2 ? os2->usWinDescent : -face->descender;
    if (winAscent + winDescent <= 0) {
        winAscent = upem * 0.8;
        winDescent = upem * 0.2;
    }
    if (height == 0)
        height = 16;
    double em;  // pixels
    if (height < 0) {
        em = -double(height);
        metrics->ascent = RoundToInt(winAscent * em / upem);
        metrics->descent = RoundToInt(winDescent * em / upem);
    } else {
        em = double(height) * upem / (winAscent + winDescent);
        metrics->ascent = RoundToInt(winAscent * height / (winAscent + winDescent));
        metrics->descent = int(height) - metrics->ascent;
    }
    *size26 = std::max(1L, long(std::lround(em * 64)));
    em = double(*size26) / 64;
    metrics->height = metrics->ascent + metrics->descent;
    double average = (os2 && os2->xAvgCharWidth > 0) ? os2->xAvgCharWidth * em / upem : em / 2;
    metrics->aveCharWidth = std::max(1, RoundToInt(average));
    metrics->underlineOffset = std::max(1, RoundToInt(-face->underline_position * em / upem));
    metrics->underlineThickness = std::max(1, RoundToInt(face->underline_thickness * em / upem));
}

// A glyph of no size and no advance, for control characters.
const Glyph* EmptyGlyph()
{
    static const Glyph* empty = new Glyph;
    return empty;
}

}  // namespace

FontFace::FontFace(std::vector<std::shared_ptr<FaceInstance>> chain, FontMetrics metrics)
    : m_chain(std::move(chain)), m_metrics(metrics)
{
}

const Glyph* FontFace::Find(char32_t ch)
{
    if (ch < 0x20 || ch == 0x7F || (ch >= 0x80 && ch < 0xA0))
        return EmptyGlyph();
    for (const auto& instance : m_chain) {
        if (instance->Has(ch))
            return instance->Render(ch, false);
    }
    return m_chain.front()->Render(ch, true);
}

void FontFace::GetGlyphs(const wchar_t* text, size_t count, const Glyph** glyphs)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (size_t i = 0; i < count; ++i) {
        char32_t ch = char32_t(uint32_t(text[i]));
        const Glyph* glyph;
        if (ch < 128) {
            glyph = m_ascii[ch];
            if (!glyph)
                glyph = m_ascii[ch] = Find(ch);
        } else {
            auto found = m_glyphs.find(ch);
            if (found != m_glyphs.end()) {
                glyph = found->second;
            } else {
                glyph = Find(ch);
                m_glyphs.emplace(ch, glyph);
            }
        }
        glyphs[i] = glyph;
    }
}

std::shared_ptr<FontFace> ResolveFont(const LOGFONTW& font)
{
    std::wstring faceName(font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE - 1));
    std::string name = Utf8(faceName);
    std::string lowerName = LowerAscii(name);
    int weight = font.lfWeight <= 0 ? FW_NORMAL : std::min<int>(font.lfWeight, 1000);
    bool bold = weight >= 600;
    bool italic = font.lfItalic != 0;
    bool cjk = IsCjkFace(lowerName) || IsCjkCharset(font.lfCharSet);

    std::lock_guard<std::mutex> guard(g_fontLock);
    std::wstring key = std::wstring(lowerName.begin(), lowerName.end()) + L'|' +
                       std::to_wstring(font.lfHeight) + L'|' + (bold ? L'b' : L'n') +
                       (italic ? L'i' : L'r') + (cjk ? L'c' : L'l');
    auto found = Faces().find(key);
    if (found != Faces().end())
        return found->second;

    // The chosen face: the pinned file, the face of that name, or the stand-in family.
    FaceFile primary;
    FT_Face primaryFace = nullptr;
    if (!g_pinnedFile.empty()) {
        primary.path = g_pinnedFile;
        primaryFace = OpenFile(primary);
    }
    if (!primaryFace && !name.empty() && MatchFamily(name, weight, italic, true, &primary))
        primaryFace = OpenFile(primary);
    if (!primaryFace &&
        MatchFamily(cjk ? kCjkFallback : kLatinFallback, weight, italic, true, &primary))
        primaryFace = OpenFile(primary);
    if (!primaryFace && MatchFamily("sans-serif", weight, italic, false, &primary))
        primaryFace = OpenFile(primary);
    if (!primaryFace)
        return nullptr;

    long size26 = 0;
    FontMetrics metrics;
    SizeFor(primaryFace, font.lfHeight, &size26, &metrics);
    std::vector<std::shared_ptr<FaceInstance>> chain;
    std::vector<FaceFile> used;
    if (auto instance = Instance(primary, size26, bold, italic, primaryFace)) {
        chain.push_back(instance);
        used.push_back(primary);
    }
    for (const char* family : {kCjkFallback, kLatinFallback}) {
        FaceFile fallback;
        if (!MatchFamily(family, weight, italic, true, &fallback))
            continue;
        bool seen = false;
        for (const FaceFile& file : used)
            seen = seen || file == fallback;
        if (seen)
            continue;
        if (auto instance = Instance(fallback, size26, bold, italic, nullptr)) {
            chain.push_back(instance);
            used.push_back(fallback);
        }
    }
    if (chain.empty())
        return nullptr;
    auto face = std::make_shared<FontFace>(std::move(chain), metrics);
    Faces().emplace(key, face);
    return face;
}

unsigned FontGeneration()
{
    std::lock_guard<std::mutex> guard(g_fontLock);
    return g_generation;
}

bool ValidFontHeight(LONG height)
{
    return height >= -kMaxPixelHeight && height <= kMaxPixelHeight;
}

}  // namespace platform::gdi

namespace platform::testing {

void PinFontFile(const std::string& path)
{
    std::lock_guard<std::mutex> guard(gdi::g_fontLock);
    gdi::g_pinnedFile = path;
    ++gdi::g_generation;
    gdi::Faces().clear();
}

}  // namespace platform::testing
