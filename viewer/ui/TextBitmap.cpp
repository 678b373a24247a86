#include "ui/TextBitmap.h"

#include <cstdint>

namespace {

// The offset that centres `inner` in `outer`, rounded up, never negative.
int CentreOffset(int outer, int inner)
{
    int gap = outer - inner;
    return gap > 0 ? (gap + 1) / 2 : 0;
}

struct TextBits {
    HBITMAP bitmap = nullptr;
    SIZE size = {0, 0};
};

TextBits RenderText(const std::wstring& text, HFONT font, COLORREF color)
{
    TextBits out;
    if (text.empty() || !font)
        return out;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return out;
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT measure = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), int(text.size()), &measure, DT_CALCRECT);
    int width = measure.right - measure.left;
    int height = measure.bottom - measure.top;
    if (width > 0 && height > 0) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;  // bottom-up, as the row order does not matter here
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap && bits) {
            HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
            SetTextColor(dc, RGB(255, 255, 255));
            SetBkColor(dc, RGB(0, 0, 0));
            SetBkMode(dc, OPAQUE);
            RECT area = {0, 0, width, height};
            DrawTextW(dc, text.c_str(), int(text.size()), &area, DT_NOCLIP);
            SelectObject(dc, oldBitmap);
            const uint32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
            auto* pixel = static_cast<uint32_t*>(bits);
            for (size_t i = 0, n = size_t(width) * size_t(height); i < n; ++i) {
                uint32_t c = pixel[i] & 0xFFu;  // the blue byte: the glyph's coverage
                pixel[i] = c << 24 | (r * c >> 8) << 16 | (g * c >> 8) << 8 | (b * c >> 8);
            }
            out.bitmap = bitmap;
            out.size = {width, height};
        } else if (bitmap) {
            DeleteObject(bitmap);
        }
    }
    SelectObject(dc, oldFont);
    DeleteDC(dc);
    return out;
}

}  // namespace

HBITMAP CreateTextBitmap(const std::wstring& text, HFONT font, COLORREF color, SIZE* size)
{
    TextBits rendered = RenderText(text, font, color);
    if (size)
        *size = rendered.size;
    return rendered.bitmap;
}

void BlendTextBitmap(COffscreenDC& target, HBITMAP bitmap, SIZE size, int x, int y)
{
    if (!target.IsCreated() || !bitmap)
        return;
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, bitmap);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(target.GetDC()->GetSafeHdc(), x, y, size.cx, size.cy, source, 0, 0, size.cx, size.cy,
               blend);
    SelectObject(source, old);
    DeleteDC(source);
}

void DrawPanelText(COffscreenDC& target, const std::wstring& text, HFONT font, const RECT& rect,
                   COLORREF color, int align)
{
    if (!target.IsCreated())
        return;
    TextBits rendered = RenderText(text, font, color);
    if (!rendered.bitmap)
        return;
    int dy = CentreOffset(rect.bottom - rect.top, rendered.size.cy);
    int dx = align == 1 ? CentreOffset(rect.right - rect.left, rendered.size.cx) : 0;
    BlendTextBitmap(target, rendered.bitmap, rendered.size, rect.left + dx, rect.top + dy);
    DeleteObject(rendered.bitmap);
}
