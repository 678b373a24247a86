// A small drawing surface for GDI tests: a memory device context holding a 32-bit DIB section
// whose pixels the test reads and writes directly.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace gditest {

// Pixels as 0xAARRGGBB (blue in the lowest byte).
constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return (a << 24) | (r << 16) | (g << 8) | b;
}

class Canvas {
public:
    explicit Canvas(int width = 40, int height = 30, bool bottomUp = false)
        : m_width(width), m_height(height), m_bottomUp(bottomUp)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = bottomUp ? height : -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        m_bits = static_cast<uint32_t*>(bits);
        m_previous = SelectObject(m_dc, m_bitmap);
    }
    ~Canvas()
    {
        SelectObject(m_dc, m_previous);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Valid() const { return m_dc && m_bitmap && m_bits && m_previous; }
    HDC Dc() const { return m_dc; }
    HBITMAP Bitmap() const { return m_bitmap; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    uint32_t* Memory() const { return m_bits; }

    // Pixel (x, y) counted from the top-left corner, whatever the memory order.
    uint32_t& At(int x, int y) const
    {
        int row = m_bottomUp ? m_height - 1 - y : y;
        return m_bits[row * m_width + x];
    }
    void Fill(uint32_t pixel) const
    {
        for (int i = 0; i < m_width * m_height; ++i)
            m_bits[i] = pixel;
    }

    // The smallest rectangle holding every pixel that differs from `background`; empty when
    // none does.
    RECT Changed(uint32_t background) const
    {
        RECT box = {m_width, m_height, 0, 0};
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                if (At(x, y) != background) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        if (box.right == 0)
            box = RECT{0, 0, 0, 0};
        return box;
    }

private:
    int m_width;
    int m_height;
    bool m_bottomUp;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    uint32_t* m_bits = nullptr;
};

// The font file that text tests pin, so that metrics do not depend on the installed fonts.
inline const std::string kPinnedFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

inline HFONT MakeFont(int height, const wchar_t* face = L"Verdana", int weight = FW_NORMAL,
                      bool italic = false, BYTE charset = DEFAULT_CHARSET)
{
    LOGFONTW lf = {};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfCharSet = charset;
    lf.lfQuality = ANTIALIASED_QUALITY;
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_MODERN;
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

}  // namespace gditest

inline std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
inline bool operator==(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != 0;
}
