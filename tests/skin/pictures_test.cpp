// The skin modules as the viewer finds them: every picture of the skin table is a "PNG"
// resource of KvImageDll.dll under its upper-cased name, decodes to the table's size, and its
// frame reads, by the rules the nine-patch painter and the three-slice loader apply, as the
// controls that draw it need: markers inside the picture, a content area that holds the
// caption, rows or text the control puts there, thumbs that come out as long as the scroll bar
// asks. The brand picture is KvBrand.dll's "IDB_BI".
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SkinTable.h"
#include "platform/gdi.h"
#include "platform/kernel.h"

namespace {

using skin::Kind;
using skin::Picture;

// ---------------------------------------------------------------------------------------------
// Decoding

struct Rgba8 {
    uint8_t r = 0, g = 0, b = 0, a = 0;
};

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<Rgba8> pixels;  // straight alpha, as the PNG file holds it
    const Rgba8& At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

struct ReadSource {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t count)
{
    auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (count > source->size - source->offset)
        png_error(png, "the PNG data ends early");
    std::memcpy(out, source->data + source->offset, count);
    source->offset += count;
}

void Fail(png_structp png, png_const_charp message)
{
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void Ignore(png_structp, png_const_charp) {}

struct ReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadState() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Decodes any PNG to 8-bit straight RGBA; false with a message in error when it cannot.
bool DecodePng(const void* data, size_t size, Decoded& out, std::string& error)
{
    ReadSource source{static_cast<const uint8_t*>(data), size, 0};
    std::vector<png_bytep> rows;  // sized before the jump point, filled after it
    ReadState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, Fail, Ignore);
    if (!state.png)
        return false;
    state.info = png_create_info_struct(state.png);
    if (!state.info)
        return false;
    if (setjmp(png_jmpbuf(state.png)))
        return false;
    png_set_read_fn(state.png, &source, ReadBytes);
    png_read_info(state.png, state.info);
    png_set_expand(state.png);
    png_set_strip_16(state.png);
    png_set_gray_to_rgb(state.png);
    png_set_add_alpha(state.png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(state.png, state.info);
    out.width = int(png_get_image_width(state.png, state.info));
    out.height = int(png_get_image_height(state.png, state.info));
    out.pixels.assign(size_t(out.width) * out.height, Rgba8{});
    rows.resize(out.height);
    for (int y = 0; y < out.height; ++y) {
        rows[y] = reinterpret_cast<png_bytep>(&out.pixels[size_t(y) * out.width]);
    }
    png_read_image(state.png, rows.data());
    png_read_end(state.png, nullptr);
    return true;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// ---------------------------------------------------------------------------------------------
// Reading frames the way the controls read them

bool Black(const Rgba8& p)
{
    return p.r == 0 && p.g == 0 && p.b == 0;
}

bool White(const Rgba8& p)
{
    return p.r == 255 && p.g == 255 && p.b == 255;
}

// A stretch marker of row 0 or column 0: black with a non-zero alpha.
bool Marker(const Rgba8& p)
{
    return Black(p) && p.a != 0;
}

// The frame of a nine-patch picture as the painter reads it. Marker positions are in inner
// pixels (file pixel less one); content edges are file pixels, -1 when the frame gives none.
struct NinePatchFrame {
    std::vector<int> columns;
    std::vector<int> rows;
    int top = -1, bottom = -1, left = -1, right = -1;
};

// One run of the content frame: the first black pixel (alpha ignored) and the pixel before the
// first white one after it.
void ContentRun(const Decoded& d, bool column, int& first, int& last)
{
    int length = column ? d.height : d.width;
    auto at = [&](int i) { return column ? d.At(d.width - 1, i) : d.At(i, d.height - 1); };
    first = -1;
    last = -1;
    for (int i = 0; i < length; ++i) {
        if (Black(at(i))) {
            first = i;
            break;
        }
    }
    if (first <= 0)
        return;
    for (int i = first; i < length; ++i) {
        if (White(at(i))) {
            last = i - 1;
            return;
        }
    }
}

NinePatchFrame ReadNinePatch(const Decoded& d)
{
    NinePatchFrame frame;
    for (int x = 0; x < d.width; ++x) {
        if (Marker(d.At(x, 0)))
            frame.columns.push_back(x - 1);
    }
    for (int y = 0; y < d.height; ++y) {
        if (Marker(d.At(0, y)))
            frame.rows.push_back(y - 1);
    }
    ContentRun(d, true, frame.top, frame.bottom);
    ContentRun(d, false, frame.left, frame.right);
    return frame;
}

// The content rectangle after a stretch to width x height, in the painter's coordinates (the
// picture file's, which callers use in the target as they stand): each marked column inside
// the content takes up the extra width once.
RECT ContentAt(const Decoded& d, const NinePatchFrame& frame, int width, int height)
{
    int extraX = width + 2 - d.width;
    int extraY = height + 2 - d.height;
    int w = frame.right - frame.left + 1;
    int h = frame.bottom - frame.top + 1;
    for (int m : frame.columns) {
        if (m + 1 >= frame.left && m + 1 <= frame.right)
            w += extraX;
    }
    for (int m : frame.rows) {
        if (m + 1 >= frame.top && m + 1 <= frame.bottom)
            h += extraY;
    }
    return RECT{frame.left, frame.top, frame.left + w, frame.top + h};
}

// The split of a three-slice picture: the first pixel of the top row (across) or the left
// column (down) whose colour is black, alpha not looked at, less one; 0 when there is none.
int SliceSplit(const Decoded& d, bool across)
{
    int length = across ? d.width : d.height;
    for (int i = 0; i < length; ++i) {
        if (Black(across ? d.At(i, 0) : d.At(0, i)))
            return i - 1;
    }
    return 0;
}

bool SameColumn(const Decoded& d, int a, int b)
{
    for (int y = 1; y < d.height - 1; ++y) {
        const Rgba8& p = d.At(a, y);
        const Rgba8& q = d.At(b, y);
        if (p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a)
            return false;
    }
    return true;
}

bool SameRow(const Decoded& d, int a, int b)
{
    for (int x = 1; x < d.width - 1; ++x) {
        const Rgba8& p = d.At(x, a);
        const Rgba8& q = d.At(x, b);
        if (p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Text as the controls measure it

// The extent of a text in a font of the face and cell height (design units at 100 percent).
SIZE TextExtent(const wchar_t* face, int height, const wchar_t* text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font =
        CreateFontW(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_MODERN, face);
    HGDIOBJ previous = SelectObject(dc, font);
    RECT rect = {0, 0, 0, 0};
    DrawTextW(dc, text, -1, &rect, DT_SINGLELINE | DT_CALCRECT);
    SelectObject(dc, previous);
    DeleteObject(font);
    DeleteDC(dc);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// ---------------------------------------------------------------------------------------------
// The modules

class SkinPictures : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "KV_BUILD_DIR names the build tree";
        s_skin = LoadLibraryW(
            platform::ToWindowsPath(std::string(build) + "/bin/KvImageDll.dll").c_str());
        s_brand =
            LoadLibraryW(platform::ToWindowsPath(std::string(build) + "/bin/KvBrand.dll").c_str());
        for (size_t i = 0; i < skin::kPictureCount; ++i) {
            const Picture& picture = skin::kPictures[i];
            Decoded decoded;
            std::string error;
            if (Load(picture, decoded, error))
                s_decoded.emplace(picture.name, std::move(decoded));
        }
    }
    static void TearDownTestSuite()
    {
        s_decoded.clear();
        if (s_skin)
            FreeLibrary(s_skin);
        if (s_brand)
            FreeLibrary(s_brand);
        s_skin = s_brand = nullptr;
    }

    static bool Load(const Picture& picture, Decoded& decoded, std::string& error)
    {
        HMODULE module = skin::ModuleOf(picture) == skin::Module::Skin ? s_skin : s_brand;
        if (!module) {
            error = "module not loaded";
            return false;
        }
        std::wstring name = Wide(skin::ResourceNameOf(picture));
        HRSRC resource = FindResourceW(module, name.c_str(), L"PNG");
        if (!resource) {
            error = "no resource";
            return false;
        }
        const void* bytes = LockResource(LoadResource(module, resource));
        DWORD size = SizeofResource(module, resource);
        if (!bytes || size == 0) {
            error = "empty resource";
            return false;
        }
        return DecodePng(bytes, size, decoded, error);
    }

    // The decoded picture of a name of the table; fails the test when it is missing.
    static const Decoded& Get(const std::string& name)
    {
        static const Decoded kNone;
        auto it = s_decoded.find(name);
        EXPECT_NE(it, s_decoded.end()) << name << " did not load";
        return it == s_decoded.end() ? kNone : it->second;
    }

    static const Picture* Find(const std::string& name)
    {
        for (size_t i = 0; i < skin::kPictureCount; ++i) {
            if (name == skin::kPictures[i].name)
                return &skin::kPictures[i];
        }
        return nullptr;
    }

    static HMODULE s_skin;
    static HMODULE s_brand;
    static std::map<std::string, Decoded> s_decoded;
};

HMODULE SkinPictures::s_skin = nullptr;
HMODULE SkinPictures::s_brand = nullptr;
std::map<std::string, Decoded> SkinPictures::s_decoded;

TEST_F(SkinPictures, EveryPictureOfTheTableIsEmbeddedAtItsSize)
{
    ASSERT_NE(s_skin, nullptr) << "KvImageDll.dll: " << GetLastError();
    ASSERT_NE(s_brand, nullptr) << "KvBrand.dll: " << GetLastError();
    for (size_t i = 0; i < skin::kPictureCount; ++i) {
        const Picture& picture = skin::kPictures[i];
        SCOPED_TRACE(picture.name);
        Decoded decoded;
        std::string error;
        ASSERT_TRUE(Load(picture, decoded, error)) << error;
        EXPECT_EQ(decoded.width, picture.width);
        EXPECT_EQ(decoded.height, picture.height);
    }
    // The viewer asks in upper case; the brand module's name is not a file name.
    EXPECT_NE(FindResourceW(s_skin, L"BTN_PLAY_NORMAL.PNG", L"PNG"), nullptr);
    EXPECT_NE(FindResourceW(s_skin, L"NUM_SPEED_-_DIS.PNG", L"PNG"), nullptr);
    EXPECT_NE(FindResourceW(s_brand, L"IDB_BI", L"PNG"), nullptr);
    EXPECT_EQ(FindResourceW(s_skin, L"IDB_BI", L"PNG"), nullptr);
}

// Pictures of one control in its states are told apart by the user, so no two are the same.
TEST_F(SkinPictures, StatesOfAControlLookDifferent)
{
    std::map<std::pair<int, int>, std::vector<const Picture*>> controls;  // art and size
    for (size_t i = 0; i < skin::kPictureCount; ++i) {
        const Picture& p = skin::kPictures[i];
        if (p.state == skin::State::None || skin::ModuleOf(p) != skin::Module::Skin)
            continue;
        controls[{int(p.art), p.width * 10000 + p.height}].push_back(&p);
    }
    int compared = 0;
    for (const auto& [key, pictures] : controls) {
        for (size_t a = 0; a < pictures.size(); ++a) {
            for (size_t b = a + 1; b < pictures.size(); ++b) {
                if (pictures[a]->state == pictures[b]->state)
                    continue;
                SCOPED_TRACE(std::string(pictures[a]->name) + " and " + pictures[b]->name);
                const Decoded& x = Get(pictures[a]->name);
                const Decoded& y = Get(pictures[b]->name);
                ASSERT_EQ(x.pixels.size(), y.pixels.size());
                EXPECT_NE(0, std::memcmp(x.pixels.data(), y.pixels.data(),
                                         x.pixels.size() * sizeof(Rgba8)));
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 0);
}

TEST_F(SkinPictures, NinePatchFramesFollowTheMarkerRules)
{
    for (size_t i = 0; i < skin::kPictureCount; ++i) {
        const Picture& p = skin::kPictures[i];
        if (p.kind != Kind::NinePatch)
            continue;
        SCOPED_TRACE(p.name);
        const Decoded& d = Get(p.name);
        NinePatchFrame frame = ReadNinePatch(d);
        // One marker a direction, on a column and row of the picture itself.
        ASSERT_EQ(frame.columns.size(), 1u);
        ASSERT_EQ(frame.rows.size(), 1u);
        EXPECT_GE(frame.columns[0], 0);
        EXPECT_LE(frame.columns[0], d.width - 3);
        EXPECT_GE(frame.rows[0], 0);
        EXPECT_LE(frame.rows[0], d.height - 3);
        // A reader that ignores alpha finds the same markers: no other frame pixel of row 0 or
        // column 0 is black in its colour, transparent or not.
        for (int x = 0; x < d.width; ++x) {
            EXPECT_EQ(Black(d.At(x, 0)), x == frame.columns[0] + 1) << "row 0, x " << x;
        }
        for (int y = 0; y < d.height; ++y) {
            EXPECT_EQ(Black(d.At(0, y)), y == frame.rows[0] + 1) << "column 0, y " << y;
        }
        // The content runs start after a non-black pixel and end at a white one, inside the
        // frame; everything else of the frame is transparent, so nothing of it can show.
        EXPECT_FALSE(Black(d.At(d.width - 1, 0)));
        ASSERT_GT(frame.top, 0);
        ASSERT_GE(frame.bottom, frame.top);
        EXPECT_LE(frame.bottom, d.height - 2);
        ASSERT_GT(frame.left, 0);
        ASSERT_GE(frame.right, frame.left);
        EXPECT_LE(frame.right, d.width - 2);
        for (int y = 0; y < d.height; ++y) {
            bool run = y >= frame.top && y <= frame.bottom;
            EXPECT_EQ(Black(d.At(d.width - 1, y)), run) << "right column, y " << y;
        }
        for (int x = 0; x < d.width; ++x) {
            bool run = x >= frame.left && x <= frame.right;
            EXPECT_EQ(Black(d.At(x, d.height - 1)), run) << "bottom row, x " << x;
        }
        for (int x = 0; x < d.width; ++x) {
            for (int y : {0, d.height - 1}) {
                if (!Black(d.At(x, y)))
                    EXPECT_EQ(d.At(x, y).a, 0) << x << ", " << y;
            }
        }
        for (int y = 0; y < d.height; ++y) {
            for (int x : {0, d.width - 1}) {
                if (!Black(d.At(x, y)))
                    EXPECT_EQ(d.At(x, y).a, 0) << x << ", " << y;
            }
        }
    }
}

// Every place a control draws a nine-patch: the target size, and what the content area must
// hold there: a line of text in a font of that cell height (0 for none), as wide as the sample
// text the control puts there in English (none: any text, only its height counts).
struct Place {
    const char* picture;
    int width;
    int height;
    int textHeight;
    const wchar_t* sample = nullptr;
};

TEST_F(SkinPictures, NinePatchesFitEveryPlaceTheControlsDrawThem)
{
    // A caption of the File button: the button is its caption's width plus 35 units wide.
    int fileButton = TextExtent(L"Verdana", 14, L"File").cx + 35;
    int tooltip = TextExtent(L"Verdana", 13, L"Toggle Front / Rear").cx + 25;
    const Place places[] = {
        {"bg.9.png", 965, 711, 0},       // the dialog at its creation size
        {"bg.9.png", 1920, 1050, 0},     // maximised
        {"bg_title.9.png", 642, 37, 0},  // W - 323 wide
        {"bg_title_right.9.png", 322, 37, 0},
        {"gps_bg.9.png", 621, 92, 0},
        {"bg_text.9.png", 207, 22, 13},  // the title labels, tahoma of 13
        {"bg_text_small.9.png", 37, 15, 0},
        {"bg_info.9.png", tooltip, 27, 13, L"Toggle Front / Rear"},
        {"bg_info.9.png", 26, 27, 11, L"-9"},    // slider values: one digit
        {"bg_info.9.png", 33, 27, 11, L"-15"},   // two digits
        {"bg_info.9.png", 40, 27, 11, L"100"},   // three
        {"bg_info.9.png", 45, 27, 11, L"x0.5"},  // a speed step
        {"bg_list01.9.png", 224, 20, 12},
        {"bg_list01.9.png", 83, 20, 12},
        {"bg_list02.9.png", 224, 20, 0},
        {"bg_list02.9.png", 83, 20, 0},
        {"bg_list02.9.png", 307, 220, 0},  // the locked list's hint
        {"bg_list02.9.png", 320, 240, 0},  // the sub view's single-view notice
        {"bg_list_over.9.png", 224, 20, 0},
        {"bg_list_over.9.png", 83, 20, 0},
        {"bg_list_press.9.png", 224, 20, 0},
        {"bg_list_press.9.png", 83, 20, 0},
        {"btn_menu_nor.png", fileButton, 25, 14, L"File"},
        {"btn_menu_nor.png", fileButton, 27, 14},  // the Settings button is 27 high
        {"btn_menu_over.png", fileButton, 25, 0},
        {"btn_menu_press.png", fileButton, 25, 0},
        {"btn_menu_dis.png", fileButton, 25, 0},
        {"list_menu01_normal.9.png", 81, 27, 13, L"Continuous"},
        {"list_menu01_over.9.png", 81, 27, 0},
        {"list_menu01_press.9.png", 81, 27, 0},
        {"list_menu01_dis.9.png", 81, 27, 0},
        {"list_menu01_selected.9.png", 81, 27, 0},
        {"list_menu02_normal.9.png", 80, 27, 13, L"Parking"},
        {"list_menu02_over.9.png", 80, 27, 0},
        {"list_menu02_press.9.png", 80, 27, 0},
        {"list_menu02_dis.9.png", 80, 27, 0},
        {"list_menu02_selected.9.png", 80, 27, 0},
        {"list_sub_menu01_normal.9.png", 161, 20, 13, L"Continuous"},
        {"list_sub_menu01_normal.9.png", 224, 20, 13, L"File Name"},  // a column header
        {"list_sub_menu02_normal.9.png", 161, 20, 13, L"C Incident"},
        {"list_sub_menu02_normal.9.png", 98, 20, 13, L"File Size"},
        {"setting_btn_nor.9.png", 90, 21, 12, L"Initialize"},
        {"contents_area.9.png", 139, 55, 0},
        {"play_setting_bg.9.png", 43, 116, 0},  // the volume panel
        {"play_setting_bg2.9.png", 151, 150, 0},
        {"full_bg.9.png", 695, 159, 0},
        {"full_title_bg.9.png", 1920, 37, 0},
        {"full_title_bg.9.png", 207, 19, 13},  // the full-screen title's frame
        {"line.9.png", 241, 2, 0},
        {"progress_bar.9.png", 643, 7, 0},
        {"progress_bg.9.png", 643, 7, 0},
        {"volume_scroll.9.png", 75, 3, 0},  // across in the speed panel
        {"volume_scroll.9.png", 3, 75, 0},  // down in the volume panel
        {"volume_scroll_bg.9.png", 75, 3, 0},
        {"volume_scroll_bg.9.png", 3, 75, 0},
        {"scroll_bg.9.png", 15, 222, 0},
        {"scroll_bg_width.9.png", 626, 14, 0},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(testing::Message()
                     << place.picture << " at " << place.width << " x " << place.height);
        const Picture* picture = Find(place.picture);
        ASSERT_NE(picture, nullptr);
        ASSERT_EQ(picture->kind, Kind::NinePatch);
        const Decoded& d = Get(place.picture);
        NinePatchFrame frame = ReadNinePatch(d);
        ASSERT_EQ(frame.columns.size(), 1u);
        ASSERT_EQ(frame.rows.size(), 1u);
        // The painter stretches, it never shrinks: the picture without its frame fits.
        int extraX = place.width - (d.width - 2);
        int extraY = place.height - (d.height - 2);
        EXPECT_GE(extraX, 0);
        EXPECT_GE(extraY, 0);
        // A stretched column or row repeats a neighbour, so the stretch smears no detail.
        int m = frame.columns[0] + 1;
        if (extraX > 0) {
            EXPECT_TRUE(SameColumn(d, m, m - 1) || SameColumn(d, m, m + 1)) << "column " << m;
        }
        int r = frame.rows[0] + 1;
        if (extraY > 0) {
            EXPECT_TRUE(SameRow(d, r, r - 1) || SameRow(d, r, r + 1)) << "row " << r;
        }
        if (place.textHeight == 0)
            continue;
        RECT content = ContentAt(d, frame, place.width, place.height);
        EXPECT_GE(content.left, 0);
        EXPECT_GE(content.top, 0);
        EXPECT_LE(content.right, place.width);
        EXPECT_LE(content.bottom, place.height);
        SIZE text = TextExtent(L"Verdana", place.textHeight, place.sample ? place.sample : L"Ag");
        EXPECT_GE(content.bottom - content.top, text.cy);
        if (place.sample)
            EXPECT_GE(content.right - content.left, text.cx) << "wide enough";
    }
}

// The playlist's rows: the title starts right of the now-playing mark and the link icon, the
// size column holds a recording's size, and the link icons keep clear of the title.
TEST_F(SkinPictures, ListRowsLeaveRoomForIconsAndSizes)
{
    const Decoded& row = Get("bg_list01.9.png");
    NinePatchFrame frame = ReadNinePatch(row);
    ASSERT_EQ(frame.columns.size(), 1u);
    ASSERT_EQ(frame.rows.size(), 1u);
    RECT title = ContentAt(row, frame, 224, 20);
    RECT size = ContentAt(row, frame, 83, 20);
    const int iconLeft = 11, iconWidth = 7;  // the link icon's place in the row
    EXPECT_GE(title.left, iconLeft + iconWidth);
    EXPECT_LE(title.right, 224);
    EXPECT_LE(size.right, 83);
    EXPECT_GE(size.right - size.left, TextExtent(L"Verdana", 12, L"999.99mb").cx);

    for (const char* name : {"ic_front_link.png", "ic_rear_link.png"}) {
        SCOPED_TRACE(name);
        const Decoded& icon = Get(name);
        int rightmost = -1;
        for (int y = 0; y < icon.height; ++y) {
            for (int x = 1; x < icon.width; ++x) {
                if (icon.At(x, y).a != 0)
                    rightmost = std::max(rightmost, x - 1);
            }
        }
        ASSERT_GE(rightmost, 0) << "an empty icon";
        EXPECT_LT(iconLeft + rightmost, title.left - 1);
    }
}

// Popup menus place their rows from the background's content area down, 20 units a row and
// one between rows (a separator's height more for the row that owns it); every row must lie
// inside the popup, and the hover and held row pictures fit the rows area's width.
TEST_F(SkinPictures, MenuBackgroundsHoldTheirRows)
{
    struct Menu {
        const char* background;
        int width;
        int height;
        int rows;
        int separator;  // height of the separator owned by the first row, 0 for none
    } menus[] = {
        {"bg_rightclick.9.png", 256, 76, 3, 0},    // File
        {"bg_rightclick.9.png", 300, 120, 5, 0},   // Settings
        {"bg_rightclick.9.png", 335, 120, 5, 0},   // Settings in French
        {"bg_rightclick.9.png", 250, 250, 11, 0},  // languages
        {"bg_rightclick.9.png", 100, 55, 2, 0},    // speed unit
        {"bg_rightclick.9.png", 256, 55, 2, 0},    // the playlist's context menu
        {"bg_rightclick.9.png", 256, 78, 3, 2},    // the video's context menu
        {"play_setting_bg.9.png", 67, 102, 4, 0},  // screen size
        {"play_setting_bg.9.png", 100, 123, 5, 0},
    };
    for (const Menu& menu : menus) {
        SCOPED_TRACE(testing::Message()
                     << menu.background << " at " << menu.width << " x " << menu.height);
        const Decoded& d = Get(menu.background);
        NinePatchFrame frame = ReadNinePatch(d);
        ASSERT_EQ(frame.columns.size(), 1u);
        ASSERT_EQ(frame.rows.size(), 1u);
        RECT area = ContentAt(d, frame, menu.width, menu.height);
        area.right -= 3;
        int bottom = area.top + menu.separator + 20;
        for (int row = 1; row < menu.rows; ++row)
            bottom += 21;
        EXPECT_GE(area.left, 0);
        EXPECT_GE(area.top, 0);
        EXPECT_LE(area.right, menu.width);
        EXPECT_LE(bottom, area.bottom);
        EXPECT_LE(area.bottom, menu.height);
        for (const char* row : {"list_bg_over.9.png", "list_bg_press.9.png"}) {
            EXPECT_LE(Get(row).width - 2, area.right - area.left) << row;
            EXPECT_EQ(Get(row).height - 2, 20) << row;
        }
    }
    // The video menu's separator is drawn at (7, 25), 241 wide: within the rows' width.
    const Decoded& d = Get("bg_rightclick.9.png");
    RECT area = ContentAt(d, ReadNinePatch(d), 256, 78);
    EXPECT_LE(area.left, 7);
    EXPECT_GE(area.right - 3, 7 + 241);
}

// Scroll thumbs: the bars draw the first cap at its own size, the middle slice stretched to a
// length worked out from the caps' heights, then the last cap; what shows must be exactly the
// thumb's length (16 at least, the vertical bar's minimum), 11 pixels thick.
TEST_F(SkinPictures, ScrollThumbsComeOutAsLongAsTheBarAsks)
{
    const int lengths[] = {2, 16, 17, 40, 82, 300};
    for (size_t i = 0; i < skin::kPictureCount; ++i) {
        const Picture& p = skin::kPictures[i];
        if (p.kind != Kind::SliceHorz && p.kind != Kind::SliceVert)
            continue;
        SCOPED_TRACE(p.name);
        const Decoded& d = Get(p.name);
        bool across = p.kind == Kind::SliceHorz;
        int along = across ? d.width : d.height;
        int thick = across ? d.height : d.width;
        // One black pixel in the scanned line, above or beside an inner pixel with a cap on
        // either side; the whole border is transparent and otherwise not black.
        int s = SliceSplit(d, across);
        EXPECT_GE(s, 1);
        EXPECT_LE(s, along - 4);
        for (int k = 0; k < along; ++k) {
            const Rgba8& p0 = across ? d.At(k, 0) : d.At(0, k);
            EXPECT_EQ(Black(p0), k == s + 1) << k;
        }
        for (int x = 0; x < d.width; ++x) {
            for (int y = 0; y < d.height; ++y) {
                bool border = x == 0 || y == 0 || x == d.width - 1 || y == d.height - 1;
                bool marker = across ? (y == 0 && x == s + 1) : (x == 0 && y == s + 1);
                if (border && !marker)
                    EXPECT_EQ(d.At(x, y).a, 0) << x << ", " << y;
            }
        }
        EXPECT_EQ(thick - 2, 11);
        // Cap sizes as the slicer makes them: the first s long, the last along - s - 1 long
        // (its last two pixels lie past the picture and stay empty); both as thick as the
        // whole picture.
        int first = s;
        int last = along - s - 1;
        for (int length : lengths) {
            int middle;
            if (length <= 16) {
                middle = 1;
            } else if (across) {
                middle = length - thick - thick + 11;  // the caps' heights, not their widths
            } else {
                middle = length - first - last + 2;
            }
            int shown = first + middle + last - 2;
            EXPECT_EQ(shown, std::max(length, 16)) << "length " << length;
        }
    }
}

// The list's icons go through the nine-patch painter without markers, which drops row 0 and
// column 0: those are empty, the rest is the icon at the size the list gives it.
TEST_F(SkinPictures, InsetIconsKeepAnEmptyRowAndColumnForThePainter)
{
    const struct {
        const char* name;
        int width, height;  // the surface the list draws the icon onto
    } icons[] = {
        {"ic_nowplaying.png", 4, 7}, {"ic_front_link.png", 7, 20}, {"ic_rear_link.png", 7, 20}};
    for (const auto& icon : icons) {
        SCOPED_TRACE(icon.name);
        const Decoded& d = Get(icon.name);
        EXPECT_EQ(d.width - 1, icon.width);
        EXPECT_EQ(d.height - 1, icon.height);
        for (int x = 0; x < d.width; ++x)
            EXPECT_EQ(d.At(x, 0).a, 0) << x;
        for (int y = 0; y < d.height; ++y)
            EXPECT_EQ(d.At(0, y).a, 0) << y;
        EXPECT_TRUE(ReadNinePatch(d).columns.empty());
        EXPECT_TRUE(ReadNinePatch(d).rows.empty());
    }
}

// Pictures that end up copied onto an opaque window (not blended) or blended over white must
// cover every pixel, or the window shows black (or white) through them.
TEST_F(SkinPictures, PicturesCopiedOntoWindowsAreOpaque)
{
    const char* opaque[] = {
        "bg.9.png",
        "bg_list01.9.png",
        "bg_list02.9.png",
        "bg_list_over.9.png",
        "bg_list_press.9.png",
        "progress_bar.9.png",
        "progress_bg.9.png",
        "progress_point.png",
        "scroll_bg.9.png",
        "scroll_bg_width.9.png",
        "view_front.png",
        "view_rear.png",
        "splash.png",
        "map_empty.png",
    };
    for (const char* name : opaque) {
        SCOPED_TRACE(name);
        const Picture* picture = Find(name);
        ASSERT_NE(picture, nullptr);
        const Decoded& d = Get(name);
        int frame = picture->kind == Kind::NinePatch ? 1 : 0;
        int holes = 0;
        for (int y = frame; y < d.height - frame; ++y) {
            for (int x = frame; x < d.width - frame; ++x)
                holes += d.At(x, y).a != 255;
        }
        EXPECT_EQ(holes, 0);
    }
}

// The speed read-out shows three digits side by side in its 72 x 43 window, each at the step
// of digit 0's width; the brand button at (10, 6) ends left of the title strip at x 121.
TEST_F(SkinPictures, PicturesLoadedAtTheirOwnSizeFitTheirPlaces)
{
    const Decoded& zero = Get("num_speed_00.png");
    EXPECT_EQ(3 * zero.width, 72);
    EXPECT_EQ(zero.height, 43);
    for (const char* digit : {"num_speed_07.png", "num_speed_-.png", "num_speed_-_dis.png"}) {
        EXPECT_EQ(Get(digit).width, zero.width) << digit;
        EXPECT_EQ(Get(digit).height, zero.height) << digit;
    }
    const Decoded& brand = Get("bi_brand.png");
    EXPECT_LE(10 + brand.width, 121);
    EXPECT_LE(6 + brand.height, 32);
    const Decoded& module = Get("IDB_BI");
    EXPECT_LE(10 + module.width, 121);
    // Volume levels sit at (18, 4) of the 36 x 24 volume button.
    for (const char* level :
         {"ic_volume_mute.png", "ic_volume_01.png", "ic_volume_05.png", "ic_volume_dis.png"}) {
        EXPECT_LE(18 + Get(level).width, 36) << level;
        EXPECT_LE(4 + Get(level).height, 24) << level;
    }
}

}  // namespace
