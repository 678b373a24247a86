// Helpers of the framework's window tests: a message pump that runs the framework's
// PreTranslateMessage walk, and pixel reading.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/mfc.h"
#include "platform/testing.h"

namespace mfctest {

// Pumps the calling thread until idle, offering each message to the objects' filters first, as
// the framework's own loops do.
inline int Pump()
{
    return platform::testing::PumpMessages(
        [](MSG& msg) { return CWnd::WalkPreTranslateTree(nullptr, &msg) != FALSE; });
}

// A window's pixels, row by row (0xAARRGGBB).
struct Pixels {
    std::vector<uint32_t> data;
    SIZE size = {0, 0};
    uint32_t At(int x, int y) const
    {
        return data[size_t(y) * size_t(size.cx) + size_t(x)] & 0xFFFFFF;
    }
};

inline Pixels Read(HWND window)
{
    Pixels p;
    EXPECT_TRUE(platform::testing::ReadWindowPixels(window, &p.data, &p.size));
    return p;
}

// 0x00RRGGBB as the pixels hold it, from a COLORREF.
inline uint32_t Rgb(COLORREF c)
{
    return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

inline std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Text metrics that do not depend on the fonts installed.
inline void PinTestFont()
{
    platform::testing::PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
}

}  // namespace mfctest
