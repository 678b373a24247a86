// Fonts and DrawTextW with the pinned font: height rules, DT_CALCRECT bounding exactly what is
// drawn, the alpha rule, background modes, alignment, clipping, line breaking, prefixes, tabs,
// per-character fallback and synthesised styles.
#include <cwchar>
#include <string>
#include <vector>

#include "canvas.h"

using gditest::Argb;
using gditest::Canvas;
using gditest::MakeFont;

namespace {

constexpr uint32_t kBlack = Argb(0xFF, 0, 0, 0);

class GdiText : public ::testing::Test {
protected:
    static void SetUpTestSuite() { platform::testing::PinFontFile(gditest::kPinnedFont); }
    static void TearDownTestSuite() { platform::testing::PinFontFile(""); }

    // A canvas with a font selected and white transparent-mode text, background black.
    struct Scene {
        explicit Scene(int height, int width = 200, int canvasHeight = 80, int weight = FW_NORMAL,
                       bool italic = false)
            : canvas(width, canvasHeight), font(MakeFont(height, L"Verdana", weight, italic))
        {
            canvas.Fill(kBlack);
            previous = SelectObject(canvas.Dc(), font);
            SetBkMode(canvas.Dc(), TRANSPARENT);
            SetTextColor(canvas.Dc(), RGB(255, 255, 255));
        }
        ~Scene()
        {
            SelectObject(canvas.Dc(), previous);
            DeleteObject(font);
        }
        RECT Measure(const std::wstring& text, UINT format = 0, RECT rect = {10, 10, 10, 10})
        {
            DrawTextW(canvas.Dc(), text.c_str(), -1, &rect, format | DT_CALCRECT);
            return rect;
        }
        int Draw(const std::wstring& text, RECT rect, UINT format = 0)
        {
            return DrawTextW(canvas.Dc(), text.c_str(), -1, &rect, format);
        }
        LONG Width(const std::wstring& text)
        {
            SIZE size = {};
            GetTextExtentPoint32W(canvas.Dc(), text.c_str(), int(text.size()), &size);
            return size.cx;
        }
        RECT Ink() const { return canvas.Changed(kBlack); }
        long Coverage() const
        {
            long sum = 0;
            for (int y = 0; y < canvas.Height(); ++y)
                for (int x = 0; x < canvas.Width(); ++x)
                    sum += canvas.At(x, y) & 0xFF;
            return sum;
        }

        Canvas canvas;
        HFONT font;
        HGDIOBJ previous = nullptr;
    };
};

struct HeightCase {
    LONG lfHeight;
    LONG cell;  // ascent + descent of DejaVu Sans (win metrics 1901 + 483 of 2048 units)
};

TEST_F(GdiText, HeightRulesForNegativeAndPositiveHeights)
{
    const HeightCase cases[] = {
        {-20, 24},           // em 20: round(18.56) + round(4.72)
        {-11, 13},           // em 11: round(10.21) + round(2.59)
        {13, 13},            // positive: the cell itself
        {20, 20},  {0, 16},  // the default cell
    };
    for (const HeightCase& c : cases) {
        SCOPED_TRACE(c.lfHeight);
        Scene scene(c.lfHeight);
        RECT box = scene.Measure(L"x");
        EXPECT_EQ(box.bottom - box.top, c.cell);
        SIZE size = {};
        ASSERT_TRUE(GetTextExtentPoint32W(scene.canvas.Dc(), L"x", 1, &size));
        EXPECT_EQ(size.cy, c.cell);
        EXPECT_EQ(size.cx, box.right - box.left);
    }
    // A larger em draws larger glyphs.
    Scene small(-11), large(-20);
    EXPECT_LT(small.Width(L"Tessaly"), large.Width(L"Tessaly"));
}

TEST_F(GdiText, CalcRectBoundsExactlyWhatIsDrawn)
{
    struct Case {
        const wchar_t* text;
        UINT format;
        LONG width;  // of the rectangle given to DT_CALCRECT (for word breaking)
        LONG lines;
    } cases[] = {
        {L"Hello World", 0, 0, 1},
        {L"Hello World", DT_SINGLELINE, 0, 1},
        {L"Box\nlines", 0, 0, 2},
        {L"Seek and you shall find", DT_WORDBREAK, 90, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::string(c.text, c.text + wcslen(c.text)));
        Scene scene(-16);
        RECT line = scene.Measure(L"x");
        LONG lineHeight = line.bottom - line.top;
        RECT box = scene.Measure(c.text, c.format, RECT{10, 10, 10 + c.width, 10});
        EXPECT_EQ(box.left, 10);
        EXPECT_EQ(box.top, 10);
        EXPECT_EQ(box.bottom - box.top, c.lines * lineHeight);
        // Draw in the measured rectangle, unclipped: the ink lies inside it and reaches its
        // left and right edges within a glyph's side bearing. (The texts start and end with
        // glyphs that keep inside their advance; a T or a W would overhang by a pixel.)
        EXPECT_EQ(scene.Draw(c.text, box, c.format | DT_NOCLIP), c.lines * lineHeight);
        RECT ink = scene.Ink();
        EXPECT_GE(ink.left, box.left);
        EXPECT_LE(ink.left, box.left + 2);
        EXPECT_LE(ink.right, box.right);
        EXPECT_GE(ink.right, box.right - 3);
        EXPECT_GE(ink.top, box.top);
        EXPECT_LE(ink.bottom, box.bottom);
        EXPECT_GT(ink.bottom, box.bottom - lineHeight);
        long everything = scene.Coverage();

        // A bitmap of exactly the measured size (as text bitmaps are made) loses no ink.
        Canvas exact(box.right - box.left, box.bottom - box.top, true);
        exact.Fill(kBlack);
        HGDIOBJ previous = SelectObject(exact.Dc(), scene.font);
        SetBkMode(exact.Dc(), TRANSPARENT);
        SetTextColor(exact.Dc(), RGB(255, 255, 255));
        RECT origin = {0, 0, box.right - box.left, box.bottom - box.top};
        DrawTextW(exact.Dc(), c.text, -1, &origin, c.format | DT_NOCLIP);
        long kept = 0;
        for (int y = 0; y < exact.Height(); ++y)
            for (int x = 0; x < exact.Width(); ++x)
                kept += exact.At(x, y) & 0xFF;
        EXPECT_EQ(kept, everything);
        SelectObject(exact.Dc(), previous);
    }
}

TEST_F(GdiText, TextWritesColourAndLeavesAlphaZeroOnTouchedPixels)
{
    Scene scene(-20);
    const uint32_t background = Argb(0xFF, 0x20, 0x40, 0x60);
    scene.canvas.Fill(background);
    SetTextColor(scene.canvas.Dc(), RGB(255, 0, 0));
    scene.Draw(L"HIT", RECT{5, 5, 150, 40});
    int full = 0, partial = 0, untouched = 0;
    for (int y = 0; y < scene.canvas.Height(); ++y)
        for (int x = 0; x < scene.canvas.Width(); ++x) {
            uint32_t pixel = scene.canvas.At(x, y);
            if (pixel == background) {
                ++untouched;
                continue;
            }
            EXPECT_EQ(pixel >> 24, 0u) << x << "," << y;
            uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
            if (pixel == Argb(0, 255, 0, 0)) {
                ++full;
            } else {
                // Between the background and the text colour, channel by channel.
                ++partial;
                EXPECT_GE(r, 0x20u);
                EXPECT_LE(g, 0x40u);
                EXPECT_LE(b, 0x60u);
            }
        }
    // Straight stems of H, I and T are fully covered; their edges are antialiased.
    EXPECT_GT(full, 20);
    EXPECT_GT(partial, 0);
    EXPECT_GT(untouched, 0);
}

TEST_F(GdiText, WhiteOnOpaqueBlackGivesCoverageInEveryChannel)
{
    // How text bitmaps for translucent surfaces are made: measure, then draw white on an
    // opaque black background into a bottom-up DIB of exactly that size.
    Scene scene(-14);
    RECT box = scene.Measure(L"Play (Pause)");
    Canvas bitmap(box.right - box.left, box.bottom - box.top, true);
    bitmap.Fill(0xDEADBEEF);
    HGDIOBJ previous = SelectObject(bitmap.Dc(), scene.font);
    SetBkMode(bitmap.Dc(), OPAQUE);
    SetBkColor(bitmap.Dc(), RGB(0, 0, 0));
    SetTextColor(bitmap.Dc(), RGB(255, 255, 255));
    RECT rect = {0, 0, bitmap.Width(), bitmap.Height()};
    DrawTextW(bitmap.Dc(), L"Play (Pause)", -1, &rect, DT_NOCLIP);
    SelectObject(bitmap.Dc(), previous);
    uint32_t brightest = 0;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            uint32_t pixel = bitmap.At(x, y);
            uint32_t coverage = pixel & 0xFF;
            ASSERT_EQ(pixel, Argb(0, coverage, coverage, coverage)) << x << "," << y;
            brightest = std::max(brightest, coverage);
        }
    EXPECT_EQ(brightest, 255u);
}

TEST_F(GdiText, OpaqueModeFillsEachLineBoxWithTheBackgroundColour)
{
    Scene scene(-16);
    RECT box = scene.Measure(L"ab\nabcdef", 0, RECT{20, 10, 20, 10});
    RECT first = scene.Measure(L"ab", 0, RECT{20, 10, 20, 10});
    LONG lineHeight = first.bottom - first.top;
    SetBkMode(scene.canvas.Dc(), OPAQUE);
    SetBkColor(scene.canvas.Dc(), RGB(0, 0, 255));
    scene.Draw(L"ab\nabcdef", box);
    EXPECT_EQ(scene.Ink(), box);
    // The first, shorter line's box ends where its text ends.
    EXPECT_EQ(scene.canvas.At(first.right - 1, 10 + lineHeight - 1) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(scene.canvas.At(first.right, 10), kBlack);
    EXPECT_EQ(scene.canvas.At(box.right - 1, 10 + lineHeight) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(GdiText, AlignmentAndVerticalCentring)
{
    Scene probe(-16);
    RECT text = probe.Measure(L"Tessaly");
    LONG width = text.right - text.left, height = text.bottom - text.top;
    const RECT area = {10, 5, 150, 65};
    LONG areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    struct Case {
        const char* what;
        UINT format;
        LONG dx;
        LONG dy;
        int result;  // DrawTextW's return value
    } cases[] = {
        {"top-left", 0, 0, 0, int(height)},
        {"centred", DT_CENTER, (areaWidth - width) / 2, 0, int(height)},
        {"single line, vertical centre", DT_SINGLELINE | DT_VCENTER, 0, (areaHeight - height) / 2,
         int((areaHeight - height) / 2 + height)},
        // DT_VCENTER does nothing without DT_SINGLELINE.
        {"vertical centre alone", DT_VCENTER, 0, 0, int(height)},
        {"both centres", DT_SINGLELINE | DT_VCENTER | DT_CENTER, (areaWidth - width) / 2,
         (areaHeight - height) / 2, int((areaHeight - height) / 2 + height)},
    };
    // Unclipped, so that the T's overhang to the left shows in every case.
    Scene reference(-16);
    reference.Draw(L"Tessaly", area, DT_NOCLIP);
    RECT base = reference.Ink();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scene scene(-16);
        EXPECT_EQ(scene.Draw(L"Tessaly", area, c.format | DT_NOCLIP), c.result);
        RECT ink = scene.Ink();
        EXPECT_EQ(ink.left - base.left, c.dx);
        EXPECT_EQ(ink.top - base.top, c.dy);
    }
}

TEST_F(GdiText, WrappedCentredLinesAreEachCentredAndStayAtTheTop)
{
    // The format of multi-line hints: centred, vertically centred (which needs a single line,
    // so the text stays at the top), broken at words, tabs expanded.
    const UINT hint = DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_EXPANDTABS;
    ASSERT_EQ(hint, 0x55u);
    Scene scene(-16, 200, 80);
    LONG lineHeight = scene.Measure(L"x").bottom - 10;
    LONG first = scene.Width(L"Insert the");
    LONG second = scene.Width(L"card");
    RECT area = {20, 10, 20 + first + 10, 70};
    EXPECT_EQ(scene.Draw(L"Insert the card", area, hint), 2 * lineHeight);
    LONG areaWidth = area.right - area.left;
    // Each line's box is centred on its own width; its ink starts within a side bearing.
    auto firstInk = [&](LONG top, LONG bottom) {
        LONG left = scene.canvas.Width();
        for (LONG y = top; y < bottom; ++y)
            for (LONG x = 0; x < scene.canvas.Width(); ++x)
                if (scene.canvas.At(x, y) != kBlack)
                    left = std::min(left, x);
        return left;
    };
    LONG firstLeft = area.left + (areaWidth - first) / 2;
    LONG secondLeft = area.left + (areaWidth - second) / 2;
    EXPECT_GE(firstInk(10, 10 + lineHeight), firstLeft);
    EXPECT_LE(firstInk(10, 10 + lineHeight), firstLeft + 2);
    EXPECT_GE(firstInk(10 + lineHeight, 10 + 2 * lineHeight), secondLeft);
    EXPECT_LE(firstInk(10 + lineHeight, 10 + 2 * lineHeight), secondLeft + 2);
    EXPECT_GE(scene.Ink().top, 10);
    EXPECT_LE(scene.Ink().bottom, 10 + 2 * lineHeight);
}

TEST_F(GdiText, DrawingIsClippedToTheRectangleUnlessNoClip)
{
    Scene scene(-20);
    RECT narrow = {10, 10, 30, 20};  // narrower and lower than the text
    scene.Draw(L"Clipped text", narrow);
    RECT ink = scene.Ink();
    EXPECT_GE(ink.left, narrow.left);
    EXPECT_LE(ink.right, narrow.right);
    EXPECT_LE(ink.bottom, narrow.bottom);
    EXPECT_GT(ink.right, narrow.right - 3);

    Scene unclipped(-20);
    unclipped.Draw(L"Clipped text", narrow, DT_NOCLIP);
    EXPECT_GT(unclipped.Ink().right, narrow.right + 40);
    EXPECT_GT(unclipped.Ink().bottom, narrow.bottom);
}

TEST_F(GdiText, LineBreaks)
{
    Scene scene(-16);
    LONG lineHeight = scene.Measure(L"x").bottom - 10;
    struct Case {
        const char* what;
        const wchar_t* text;
        UINT format;
        LONG width;
        LONG lines;
        const wchar_t* widest;  // the line whose width the measured rectangle takes
    } cases[] = {
        {"fits", L"one two", DT_WORDBREAK, 400, 1, L"one two"},
        {"breaks at the last space that fits", L"one two three", DT_WORDBREAK, 0, 2, L"one two"},
        {"a long word widens the rectangle", L"a extraordinarily b", DT_WORDBREAK, 20, 3,
         L"extraordinarily"},
        {"breaks between ideographs", L"中文字", DT_WORDBREAK, 1, 3, L"中"},
        {"line feed", L"a\nbb", 0, 0, 2, L"bb"},
        {"carriage return and line feed", L"a\r\nbb", 0, 0, 2, L"bb"},
        {"carriage return", L"aaa\rb", 0, 0, 2, L"aaa"},
        {"a line end at the end adds no line", L"aaa\n", 0, 0, 1, L"aaa"},
        {"single line ignores line ends", L"a\nb", DT_SINGLELINE, 0, 1, L"ab"},
        {"without word breaking lines stay long", L"one two three", 0, 10, 1, L"one two three"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LONG width = c.width ? c.width : scene.Width(L"one two") + 5;
        RECT box = scene.Measure(c.text, c.format, RECT{10, 10, 10 + width, 10});
        EXPECT_EQ(box.bottom - box.top, c.lines * lineHeight);
        EXPECT_EQ(box.right - box.left, scene.Width(c.widest));
    }
    // An empty text is one empty line.
    RECT empty = scene.Measure(L"");
    EXPECT_EQ(empty, (RECT{10, 10, 10, 10 + lineHeight}));
}

TEST_F(GdiText, AmpersandUnderlinesTheNextCharacter)
{
    Scene scene(-20);
    EXPECT_EQ(scene.Measure(L"&&").right - 10, scene.Width(L"&"));
    EXPECT_EQ(scene.Measure(L"&Save").right - 10, scene.Width(L"Save"));
    EXPECT_EQ(scene.Measure(L"Fish && Chips").right - 10, scene.Width(L"Fish & Chips"));

    // "&Save" draws "Save" with a line under the S only, below the baseline.
    Scene plain(-20), prefixed(-20);
    RECT area = {10, 10, 150, 50};
    plain.Draw(L"Save", area);
    prefixed.Draw(L"&Save", area);
    RECT plainInk = plain.Ink(), prefixedInk = prefixed.Ink();
    EXPECT_GT(prefixedInk.bottom, plainInk.bottom);
    LONG underline = prefixedInk.bottom - 1;
    LONG sWidth = prefixed.Width(L"S");
    for (LONG x = 10; x < 10 + sWidth; ++x)
        EXPECT_NE(prefixed.canvas.At(x, underline), kBlack) << x;
    for (LONG x = 10 + sWidth; x < 150; ++x)
        EXPECT_EQ(prefixed.canvas.At(x, underline), kBlack) << x;
}

TEST_F(GdiText, ExpandTabsStopsEveryEightAverageCharacters)
{
    Scene scene(-16);
    LONG b = scene.Width(L"b");
    LONG stop = scene.Measure(L"\tb", DT_EXPANDTABS).right - 10 - b;
    EXPECT_GT(stop, 8 * 5);
    // A short word before the tab does not move the stop; a word past it moves to the next.
    EXPECT_EQ(scene.Measure(L"ab\tb", DT_EXPANDTABS).right - 10, stop + b);
    std::wstring longWord(10, L'm');
    ASSERT_GT(scene.Width(longWord), stop);
    ASSERT_LT(scene.Width(longWord), 4 * stop);
    LONG stops = scene.Width(longWord) / stop + 1;
    EXPECT_EQ(scene.Measure(longWord + L"\tb", DT_EXPANDTABS).right - 10, stops * stop + b);
}

TEST_F(GdiText, MissingCharactersComeFromTheFallbackFaces)
{
    // The pinned Latin font has no Hangul, kana or ideographs; they are drawn all the same.
    for (const wchar_t* text : {L"한국어", L"にほんご", L"中文"}) {
        Scene scene(-20);
        SCOPED_TRACE(std::wstring(text).size());
        EXPECT_GT(scene.Width(text), 30);
        scene.Draw(text, RECT{5, 5, 195, 60});
        RECT ink = scene.Ink();
        EXPECT_GT(ink.right - ink.left, 30);
        EXPECT_GT(scene.Coverage(), 255 * 40);
    }
}

TEST_F(GdiText, BoldAndItalicAreSynthesisedForARegularFace)
{
    Scene regular(-20), bold(-20, 200, 80, FW_BOLD), semibold(-20, 200, 80, 600),
        light(-20, 200, 80, 300), italic(-20, 200, 80, FW_NORMAL, true);
    RECT area = {5, 5, 195, 60};
    for (Scene* scene : {&regular, &bold, &semibold, &light, &italic})
        scene->Draw(L"Heavy", area);
    EXPECT_GT(bold.Coverage(), regular.Coverage() * 11 / 10);
    EXPECT_GE(bold.Width(L"Heavy"), regular.Width(L"Heavy"));
    EXPECT_EQ(semibold.Coverage(), bold.Coverage());
    EXPECT_EQ(light.Coverage(), regular.Coverage());
    // Slanting keeps the advance and moves the tops of the letters right.
    EXPECT_EQ(italic.Width(L"Heavy"), regular.Width(L"Heavy"));
    EXPECT_NE(italic.Coverage(), 0);
    RECT regularInk = regular.Ink(), italicInk = italic.Ink();
    auto firstInkInRow = [](const Scene& scene, LONG y) {
        for (int x = 0; x < scene.canvas.Width(); ++x)
            if (scene.canvas.At(x, y) != kBlack)
                return x;
        return -1;
    };
    LONG topRow = regularInk.top + 1;
    EXPECT_GT(firstInkInRow(italic, topRow), firstInkInRow(regular, topRow));
    EXPECT_EQ(italicInk.top, regularInk.top);
}

TEST_F(GdiText, FontsThatCannotBeDrawnAsAskedAreRefused)
{
    struct Case {
        const char* what;
        void (*change)(LOGFONTW&);
    } cases[] = {
        {"width", [](LOGFONTW& f) { f.lfWidth = 8; }},
        {"escapement", [](LOGFONTW& f) { f.lfEscapement = 900; }},
        {"orientation", [](LOGFONTW& f) { f.lfOrientation = 900; }},
        {"underline", [](LOGFONTW& f) { f.lfUnderline = 1; }},
        {"strike-out", [](LOGFONTW& f) { f.lfStrikeOut = 1; }},
        {"too tall", [](LOGFONTW& f) { f.lfHeight = -5000; }},
    };
    for (const Case& c : cases) {
        LOGFONTW font = {};
        font.lfHeight = -12;
        c.change(font);
        EXPECT_EQ(CreateFontIndirectW(&font), nullptr) << c.what;
    }
    EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
    // A face name without its terminating zero is read up to LF_FACESIZE - 1 characters.
    LOGFONTW font = {};
    font.lfHeight = -12;
    std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), L'x');
    HFONT longName = CreateFontIndirectW(&font);
    ASSERT_NE(longName, nullptr);
    Canvas canvas;
    HGDIOBJ previous = SelectObject(canvas.Dc(), longName);
    RECT rect = {0, 0, 0, 0};
    EXPECT_GT(DrawTextW(canvas.Dc(), L"x", -1, &rect, DT_CALCRECT), 0);
    SelectObject(canvas.Dc(), previous);
    DeleteObject(longName);
}

TEST_F(GdiText, BadArgumentsFailWithoutDrawing)
{
    Scene scene(-12);
    RECT rect = {0, 0, 100, 30};
    EXPECT_EQ(DrawTextW(scene.canvas.Dc(), nullptr, -1, &rect, 0), 0);
    EXPECT_EQ(DrawTextW(scene.canvas.Dc(), L"x", -1, nullptr, 0), 0);
    EXPECT_EQ(DrawTextW(scene.canvas.Dc(), L"x", -2, &rect, 0), 0);
    EXPECT_EQ(DrawTextW(scene.canvas.Dc(), L"x", -1, &rect, 0x2 /* right-aligned */), 0);
    EXPECT_EQ(DrawTextW(nullptr, L"x", -1, &rect, 0), 0);
    EXPECT_EQ(scene.Ink(), (RECT{0, 0, 0, 0}));
    // A count shorter than the string draws only that many characters.
    RECT counted = {0, 0, 0, 0};
    DrawTextW(scene.canvas.Dc(), L"abcdef", 3, &counted, DT_CALCRECT);
    EXPECT_EQ(counted.right, scene.Width(L"abc"));
    SIZE size;
    EXPECT_FALSE(GetTextExtentPoint32W(scene.canvas.Dc(), L"x", -1, &size));
    EXPECT_FALSE(GetTextExtentPoint32W(scene.canvas.Dc(), L"x", 1, nullptr));
}

}  // namespace

namespace {

// Face names map to installed fonts through fontconfig; faces that are not installed (none of
// the Windows faces are, here) fall back to DejaVu Sans, or to WenQuanYi Micro Hei for the
// Chinese, Japanese and Korean faces and character sets. The mapping shows in the advance
// widths, which differ between the two fallback families.
LONG WidthIn(const wchar_t* face, BYTE charset = DEFAULT_CHARSET, int weight = FW_NORMAL)
{
    HFONT font = MakeFont(-16, face, weight, false, charset);
    if (!font)
        return -1;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size = {};
    const wchar_t text[] = L"Tessaly viewer 2026";
    GetTextExtentPoint32W(dc, text, int(wcslen(text)), &size);
    SelectObject(dc, previous);
    DeleteObject(font);
    DeleteDC(dc);
    return size.cx;
}

TEST(GdiFaces, FaceNamesMapToInstalledFontsOrTheirStandIns)
{
    platform::testing::PinFontFile("");
    const LONG dejaVu = WidthIn(L"DejaVu Sans");
    const LONG cjk = WidthIn(L"WenQuanYi Micro Hei");
    ASSERT_GT(dejaVu, 0);
    ASSERT_GT(cjk, 0);
    ASSERT_NE(dejaVu, cjk);
    struct Case {
        const wchar_t* face;
        BYTE charset;
        LONG expected;
    } cases[] = {
        {L"Verdana", DEFAULT_CHARSET, dejaVu},
        {L"tahoma", ANSI_CHARSET, dejaVu},
        {L"MS Shell Dlg", DEFAULT_CHARSET, dejaVu},
        {L"No Such Face", DEFAULT_CHARSET, dejaVu},
        {L"", DEFAULT_CHARSET, dejaVu},
        {L"dejavu sans", DEFAULT_CHARSET, dejaVu},  // names compare without regard to case
        {L"simsun", GB2312_CHARSET, cjk},
        {L"dotum", HANGUL_CHARSET, cjk},
        {L"MS Gothic", DEFAULT_CHARSET, cjk},
        {L"Verdana", HANGUL_CHARSET, cjk},
        {L"돋움", DEFAULT_CHARSET, cjk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.face).size());
        EXPECT_EQ(WidthIn(c.face, c.charset), c.expected)
            << std::string(c.face, c.face + wcslen(c.face));
    }
    // An installed face is used as it is, and a bold request finds the installed bold face.
    EXPECT_NE(WidthIn(L"DejaVu Serif"), dejaVu);
    EXPECT_EQ(WidthIn(L"Verdana", DEFAULT_CHARSET, FW_BOLD),
              WidthIn(L"DejaVu Sans", DEFAULT_CHARSET, FW_BOLD));
    EXPECT_NE(WidthIn(L"Verdana", DEFAULT_CHARSET, FW_BOLD), dejaVu);

    // A pinned file replaces every face, fonts made before the pin included.
    HFONT early = MakeFont(-16, L"MS Gothic");
    platform::testing::PinFontFile(gditest::kPinnedFont);
    EXPECT_EQ(WidthIn(L"MS Gothic"), dejaVu);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, early);
    SIZE size = {};
    GetTextExtentPoint32W(dc, L"Tessaly viewer 2026", 19, &size);
    EXPECT_EQ(size.cx, dejaVu);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(early);
    platform::testing::PinFontFile("");
    EXPECT_EQ(WidthIn(L"MS Gothic"), cjk);
}

}  // namespace
