// DrawTextW lays out text that comes from outside (language texts, file names, telemetry):
// arbitrary characters, prefixes, tabs and line ends with every supported format, measured and
// drawn into a small surface. Measuring must bound the layout: the measured rectangle holds as
// many lines as the height reports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/gdi.h"
#include "platform/testing.h"

namespace {

struct Scene {
    Scene()
    {
        platform::testing::PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = 64;
        info.bmiHeader.biHeight = 48;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        SelectObject(dc, CreateDIBSection(dc, &info, DIB_RGB_COLORS, nullptr, nullptr, 0));
        LOGFONTW lf = {};
        lf.lfHeight = 13;
        SelectObject(dc, CreateFontIndirectW(&lf));
    }
    HDC dc;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Scene scene;
    if (size < 6)
        return 0;
    const UINT flags[] = {DT_CENTER,     DT_VCENTER,    DT_WORDBREAK,
                          DT_SINGLELINE, DT_EXPANDTABS, DT_NOCLIP};
    UINT format = 0;
    for (size_t i = 0; i < 6; ++i)
        if (data[0] & (1u << i))
            format |= flags[i];
    int left = int(int8_t(data[1])) * 4;
    int top = int(int8_t(data[2])) * 4;
    int width = int(int8_t(data[3])) * 2;
    int height = int(int8_t(data[4])) * 2;
    SetBkMode(scene.dc, (data[5] & 1) ? OPAQUE : TRANSPARENT);
    // Characters from pairs of bytes, mostly below U+3400 with a share of ideographs.
    std::vector<wchar_t> text;
    for (size_t i = 6; i + 1 < size && text.size() < 256; i += 2) {
        uint32_t unit = uint32_t(data[i]) | uint32_t(data[i + 1]) << 8;
        text.push_back(wchar_t(unit < 0xF000 ? unit % 0x3400 : 0x4E00 + unit % 0x200));
    }
    int count = int(text.size());
    text.push_back(L'\0');  // so that an empty text still has an address
    RECT measured = {left, top, left + width, top + height};
    int total = DrawTextW(scene.dc, text.data(), count, &measured, format | DT_CALCRECT);
    if (total != measured.bottom - measured.top || total <= 0 || measured.right < measured.left)
        std::abort();
    RECT rect = {left, top, left + width, top + height};
    DrawTextW(scene.dc, text.data(), count, &rect, format);
    return 0;
}
