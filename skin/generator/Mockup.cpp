#include "Mockup.h"

#include <cstring>
#include <stdexcept>

#include "ContactSheet.h"
#include "Paint.h"

namespace skin {

namespace {

const Picture& PictureNamed(const std::string& name)
{
    for (size_t i = 0; i < kPictureCount; ++i) {
        if (name == kPictures[i].name)
            return kPictures[i];
    }
    throw std::logic_error("no picture " + name);
}

class Board {
public:
    Board(const PictureSet& pictures, int width, int height)
        : m_pictures(pictures), m_canvas(width, height)
    {
    }
    cairo_t* Cr() const { return m_canvas.Context(); }

    // A picture at its own size, or stretched to width x height as DrawSkinImage draws it.
    void Put(const std::string& name, double x, double y, int width = 0, int height = 0)
    {
        PaintImage(ImageOf(name), x, y, width, height);
    }

    // A nine-patch stretched to width x height.
    void Nine(const std::string& name, double x, double y, int width, int height)
    {
        Image stretched = StretchNinePatch(ImageOf(name), PictureNamed(name), width, height);
        PaintImage(stretched, x, y, 0, 0);
    }

    // An inset icon as the list draws it: without its top row and left column.
    void Inset(const std::string& name, double x, double y)
    {
        const Image& file = ImageOf(name);
        Image icon(file.Width() - 1, file.Height() - 1);
        for (int yy = 0; yy < icon.Height(); ++yy) {
            for (int xx = 0; xx < icon.Width(); ++xx)
                icon.At(xx, yy) = file.At(xx + 1, yy + 1);
        }
        PaintImage(icon, x, y, 0, 0);
    }

    void Text(const std::string& text, double x, double y, double size, Rgba colour)
    {
        TextAt(Cr(), text, x, y, size, false, colour);
    }

    // Text centred horizontally in [left, right) with its baseline at y.
    void Centred(const std::string& text, double left, double right, double y, double size,
                 Rgba colour)
    {
        double width = TextWidth(Cr(), text, size, false);
        TextAt(Cr(), text, left + (right - left - width) / 2, y, size, false, colour);
    }

    Image Result() const { return Image::FromSurface(m_canvas.Surface()); }

private:
    const Image& ImageOf(const std::string& name) const
    {
        auto it = m_pictures.find(name);
        if (it == m_pictures.end())
            throw std::logic_error("not drawn: " + name);
        return *it->second;
    }

    void PaintImage(const Image& image, double x, double y, int width, int height)
    {
        cairo_surface_t* surface = image.ToSurface();
        cairo_t* cr = Cr();
        cairo_save(cr);
        cairo_translate(cr, x, y);
        if (width > 0 && height > 0) {
            cairo_scale(cr, double(width) / image.Width(), double(height) / image.Height());
        }
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(surface);
    }

    const PictureSet& m_pictures;
    Canvas m_canvas;
};

// COLORREF values of the controls (0x00BBGGRR) as colours.
Rgba Ref(uint32_t bgr)
{
    return Hex(((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF));
}

}  // namespace

Image MockMainDialog(const PictureSet& pictures)
{
    const int W = 965, H = 711;
    Board b(pictures, W, H);
    FillPixels(b.Cr(), 0, 0, W, H, Hex(0xffffff));
    b.Nine("bg.9.png", 0, 0, W, H);
    b.Nine("gps_bg.9.png", 8, H - 122, 621, 92);
    b.Nine("bg_title.9.png", 1, 71, W - 323, 37);
    for (int y : {71, 349, 386})
        b.Nine("bg_title_right.9.png", W - 323, y, 322, 37);

    // Title bar.
    b.Put("bi_brand.png", 10, 6);
    b.Put("btn_close_nor.png", W - 45, 0);
    b.Put("btn_full_over.png", W - 74, 0);
    b.Put("btn_minimum_nor.png", W - 103, 0);
    int fileWidth = int(TextWidth(b.Cr(), "File", 14, false)) + 35;
    b.Nine("btn_menu_over.png", 6, 42, fileWidth, 25);
    b.Centred("File", 6, 6 + fileWidth, 42 + 18, 14, Hex(0xffffff));
    int settingsX = 6 + fileWidth + 14;
    int settingsWidth = int(TextWidth(b.Cr(), "Settings", 14, false)) + 35;
    b.Nine("btn_menu_nor.png", settingsX, 42, settingsWidth, 27);
    b.Centred("Settings", settingsX, settingsX + settingsWidth, 42 + 19, 14, Ref(0xBCA98C));

    // Left strip and the main view.
    b.Text("Front", 9, 95, 15, Hex(0xb6c7d7));
    b.Nine("bg_text.9.png", 80, 79, 207, 22);
    b.Text("REC_2018_09_10_12_30_45_F", 86, 95, 12, Ref(0xEBA83F));
    b.Put("btn_expand_normal.png", W - 386, 77);
    b.Put("btn_change_over.png", W - 356, 77);
    b.Put("view_front.png", 2, 109, 640, 360);
    b.Put("view_front_title.png", 2 + 320 - 83, 109 + 180 - 22);

    // Right column: rear view, fold buttons, playlist.
    b.Text("Rear", W - 286, 95, 15, Hex(0xb6c7d7));
    b.Put("btn_folding_up_nor.png", W - 317, 77);
    b.Put("view_rear.png", W - 322, 109, 320, 240);
    b.Text("Map", W - 286, 372, 15, Hex(0xb6c7d7));
    b.Put("btn_folding_down_nor.png", W - 317, 355);
    b.Text("Playlist", W - 313, 409, 15, Hex(0xb6c7d7));
    struct Tab {
        const char* picture;
        int left, right;
        const char* caption;
        uint32_t colour;
    } tabs[] = {{"list_menu01_selected.9.png", W - 323, W - 242, "Continuous", 0xFFFFFF},
                {"list_menu02_over.9.png", W - 242, W - 162, "Parking", 0xDAB692},
                {"list_menu02_normal.9.png", W - 162, W - 81, "Manual", 0xB19477},
                {"list_menu01_dis.9.png", W - 82, W - 1, "Location", 0x474440}};
    for (const Tab& tab : tabs) {
        b.Nine(tab.picture, tab.left, 423, tab.right - tab.left, 27);
        b.Centred(tab.caption, tab.left, tab.right, 441, 12, Ref(tab.colour));
    }
    b.Nine("list_sub_menu01_normal.9.png", W - 323, 450, 161, 20);
    b.Centred("Continuous", W - 323, W - 162, 464, 12, Ref(0xB19477));
    b.Nine("list_sub_menu02_over.9.png", W - 162, 450, 161, 20);
    b.Centred("C Incident", W - 162, W - 1, 464, 12, Ref(0xDAB692));

    // Playlist rows: a pair being played, a selected row, a pressed row and plain stripes.
    int listX = W - 323, listY = 470;
    for (int row = 0; row < 11; ++row) {
        int y = listY + row * 20;
        const char* look = row % 2 ? "bg_list02.9.png" : "bg_list01.9.png";
        if (row == 4)
            look = "bg_list_over.9.png";
        if (row == 6)
            look = "bg_list_press.9.png";
        b.Nine(look, listX, y, 224, 20);
        b.Nine(look, listX + 224, y, 83, 20);
        Rgba text = row == 4 || row == 6 ? Hex(0xffffff) : row == 2 ? Hex(0x3fa8eb) : Hex(0xa3b7cb);
        if (row == 2)
            b.Inset("ic_nowplaying.png", listX + 6, y + 8);
        if (row == 2)
            b.Inset("ic_front_link.png", listX + 11, y);
        if (row == 3)
            b.Inset("ic_rear_link.png", listX + 11, y);
        char title[40];
        std::snprintf(title, sizeof title, "REC_2018_09_10_12_%02d_45_%c", 20 + row,
                      row == 3 ? 'R' : 'F');
        b.Text(title, listX + 18, y + 14, 11, text);
        b.Text(row == 3 ? "96.12mb" : "123.45mb", listX + 224 + 18, y + 14, 11, text);
    }
    b.Nine("scroll_bg.9.png", W - 16, listY, 15, 220);
    b.Put("scroll_btn_up_normal.png", W - 15, listY);
    b.Put("scroll_btn_down_over.png", W - 15, listY + 220 - 13);
    Image thumb = StretchSlices(*pictures.at("scroll_handler_over.9.png"),
                                PictureNamed("scroll_handler_over.9.png"), 82);
    cairo_surface_t* thumbSurface = thumb.ToSurface();
    cairo_set_source_surface(b.Cr(), thumbSurface, W - 16 + 2, listY + 40);
    cairo_paint(b.Cr());
    cairo_surface_destroy(thumbSurface);

    // Seek bar and transport.
    b.Nine("progress_bg.9.png", 0, H - 242, 643, 7);
    b.Nine("progress_bar.9.png", 0, H - 242, 240, 7);
    b.Put("progress_point.png", 240, H - 242);
    b.Text("00:01:02 /", 13, H - 214, 13, Hex(0x3fa8eb));
    b.Text("00:03:00", 77, H - 214, 13, Hex(0xa2acb9));
    b.Put("btn_pre_normal.png", 90, H - 201);
    b.Put("btn_sec1_normal.png", 161, H - 201);
    b.Put("btn_pause_over.png", 232, H - 214);
    b.Put("btn_stop_normal.png", 329, H - 214);
    b.Put("btn_sec2_press.png", 426, H - 201);
    b.Put("btn_next_dim.png", 497, H - 201);
    b.Put("btn_connect_on_normal.png", 495, H - 230);
    b.Put("btn_size_dis.png", 531, H - 230);
    b.Put("btn_save_normal.png", 567, H - 230);
    b.Put("btn_volume_normal.png", 603, H - 230);
    b.Put("ic_volume_03.png", 603 + 18, H - 230 + 4);
    b.Nine("bg_info.9.png", 603 - 10, H - 198, int(TextWidth(b.Cr(), "Volume", 13, false)) + 25,
           27);
    b.Text("Volume", 603 - 10 + 12, H - 180, 13, Hex(0x000000));

    // Speed read-out and sensor values.
    b.Put("num_speed_00.png", 27, H - 98);
    b.Put("num_speed_04.png", 27 + 24, H - 98);
    b.Put("num_speed_02.png", 27 + 48, H - 98);
    b.Put("speed_km.png", 104, H - 74);
    b.Put("speed_gauge_no.png", 14, H - 42);
    b.Put("speed_gauge_full.png", 14, H - 42, 135, 8);
    b.Put("speed_gauge_no.png", 14 + 40, H - 42, 95, 8);
    b.Text("X : 0012", 178, H - 98, 12, Ref(0x3DED6B));
    b.Text("Y : -003", 178, H - 70, 12, Ref(0x2E37F3));
    b.Text("Z : 0128", 178, H - 42, 12, Ref(0xFDBB53));
    for (int x = 254; x < 612; x += 6)
        FillPixels(b.Cr(), x, H - 115, 1, 78, Hex(0x1c2127));
    b.Text("KV-900", 11, H - 4, 13, Ref(0xD7C7B6));
    b.Text("Ver 1.0.0.01", W - 104, H - 4, 12, Hex(0x8d99a5));
    b.Put("ic_expand.png", W - 18, H - 18);

    // The File menu, open, with the pointer on its second row.
    int menuX = 2, menuY = 42 + 25 + 4;
    b.Nine("bg_rightclick.9.png", menuX, menuY, 256, 76);
    const char* rows[][2] = {
        {"Open", "Ctrl + O"}, {"Save As", "Ctrl + Shift + S"}, {"Exit", "Ctrl + Q"}};
    for (int i = 0; i < 3; ++i) {
        int top = menuY + 7 + i * 21;
        Rgba colour = Hex(0x000000);
        if (i == 1) {
            b.Nine("list_bg_over.9.png", menuX + 7, top, 256 - 7 - 6 - 3, 20);
            colour = Hex(0xffffff);
        }
        b.Text(rows[i][0], menuX + 12, top + 15, 13, colour);
        double width = TextWidth(b.Cr(), rows[i][1], 13, false);
        b.Text(rows[i][1], menuX + 256 - 9 - 3 - 5 - 10 - width, top + 15, 13, colour);
    }
    return b.Result();
}

Image MockFullScreen(const PictureSet& pictures)
{
    const int W = 760, H = 300;
    Board b(pictures, W, H);
    // A daylight scene stands in for the video under the translucent bars.
    cairo_pattern_t* scene = cairo_pattern_create_linear(0, 0, 0, H);
    cairo_pattern_add_color_stop_rgb(scene, 0, 0.55, 0.68, 0.80);
    cairo_pattern_add_color_stop_rgb(scene, 0.55, 0.78, 0.82, 0.84);
    cairo_pattern_add_color_stop_rgb(scene, 0.56, 0.36, 0.38, 0.40);
    cairo_pattern_add_color_stop_rgb(scene, 1, 0.24, 0.25, 0.27);
    cairo_rectangle(b.Cr(), 0, 0, W, H);
    cairo_set_source(b.Cr(), scene);
    cairo_fill(b.Cr());
    cairo_pattern_destroy(scene);

    b.Nine("full_title_bg.9.png", 0, 0, W, 37);
    b.Put("bi_brand.png", 10, 6);
    b.Nine("full_title_bg.9.png", W / 2 - 103, 12, 207, 25);
    b.Centred("REC_2018_09_10_12_30_45_F", W / 2 - 103, W / 2 + 104, 29, 13, Hex(0xb6c7d7));
    b.Put("btn_reduction_over.png", W - 103, 0);
    b.Put("btn_minimum_nor.png", W - 74, 0);
    b.Put("btn_close_nor.png", W - 45, 0);

    int x0 = (W - 695) / 2, y0 = H - 159;
    b.Nine("full_bg.9.png", x0, y0, 695, 159);
    b.Nine("progress_bg.9.png", x0 + 25, y0 + 24, 643, 7);
    b.Nine("progress_bar.9.png", x0 + 25, y0 + 24, 300, 7);
    b.Put("progress_point.png", x0 + 25 + 300, y0 + 24);
    b.Text("01:02:05 /", x0 + 25, y0 + 47, 13, Hex(0x3fa8eb));
    b.Text("00:03:00", x0 + 91, y0 + 47, 13, Hex(0xa2acb9));
    b.Put("btn_pre_normal.png", x0 + 113, y0 + 71);
    b.Put("btn_sec1_over.png", x0 + 184, y0 + 71);
    b.Put("btn_play_normal.png", x0 + 255, y0 + 58);
    b.Put("btn_stop_normal.png", x0 + 352, y0 + 58);
    b.Put("btn_sec2_normal.png", x0 + 449, y0 + 71);
    b.Put("btn_next_normal.png", x0 + 520, y0 + 71);
    b.Put("btn_connect_off_normal.png", x0 + 479, y0 + 36);
    b.Put("btn_change_normal_2.png", x0 + 515, y0 + 36);
    b.Put("btn_size_normal.png", x0 + 551, y0 + 36);
    b.Put("btn_save_over.png", x0 + 587, y0 + 36);
    b.Put("btn_volume_normal.png", x0 + 623, y0 + 36);
    b.Put("ic_volume_05.png", x0 + 623 + 18, y0 + 36 + 4);

    // The speed panel and the volume panel, open above the bar.
    int px = 20, py = 50;
    b.Nine("play_setting_bg2.9.png", px, py, 151, 150);
    b.Nine("contents_area.9.png", px + 6, py + 60, 139, 55);
    b.Put("ic_speed.png", px + 10, py + 64);
    b.Text("Play Speed", px + 35, py + 79, 12, Hex(0xb2c1de));
    b.Nine("bg_text_small.9.png", px + 13, py + 94, 37, 15);
    b.Centred("x1.0", px + 13, px + 50, py + 106, 11, Hex(0x8ba2bf));
    b.Nine("volume_scroll_bg.9.png", px + 58, py + 96 + 4, 75, 3);
    b.Nine("volume_scroll.9.png", px + 58, py + 96 + 4, 36, 3);
    b.Put("volume_handler_over.png", px + 58 + 36, py + 96);
    b.Nine("setting_btn_nor.9.png", px + 31, py + 117, 90, 21);
    b.Centred("Initialize", px + 31, px + 121, py + 132, 12, Ref(0xBCA98C));
    b.Nine("bg_info.9.png", px + 58 + 36 - 15, py + 96 - 27, 45, 27);
    b.Centred("x1.0", px + 58 + 36 - 15, px + 58 + 36 + 30, py + 96 - 9, 11, Hex(0x000000));

    int vx = 190, vy = 70;
    b.Nine("play_setting_bg.9.png", vx, vy, 43, 116);
    b.Nine("volume_scroll_bg.9.png", vx + 16 + 4, vy + 13, 3, 75);
    b.Nine("volume_scroll.9.png", vx + 16 + 4, vy + 13 + 30, 3, 45);
    b.Put("volume_handler_nor.png", vx + 16, vy + 13 + 30);
    return b.Result();
}

}  // namespace skin
