// Icons from the program's resources, drawn with DrawIcon onto a small bitmap.
#include <gtest/gtest.h>

#include "gdi/surface.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;

struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 40, 30);
    HGDIOBJ old = SelectObject(dc, bitmap);
    Canvas()
    {
        RECT all = {0, 0, 40, 30};
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(dc, &all, white);
        DeleteObject(white);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    uint32_t At(int x, int y) const { return platform::gdi::BitmapSurface(bitmap)->Row(y)[x]; }
};

HICON Load(int id)
{
    return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

TEST(UserIcon, TheEntryNearestTheIconSizeIsDrawnWithItsAlpha)
{
    struct Case {
        const char* name;
        int group;
        int x;
        int y;
        uint32_t expected;
    };
    const Case cases[] = {
        // 16 x 16 PNG and 32 x 32 bitmap: the bitmap, left half opaque red, right half clear.
        {"bitmap with alpha, left", 134, 4, 4, 0xFFFF0000},
        {"bitmap with alpha, right", 134, 30, 4, kWhite},
        // Only the 16 x 16 PNG: doubled; half-transparent red over white, then opaque blue.
        {"PNG scaled, left", 135, 4, 10, 0x80FF7F7F},
        {"PNG scaled, right", 135, 30, 10, 0xFF0000FF},
        // A 24-bit bitmap whose mask clears the top half.
        {"mask, top", 136, 10, 5, kWhite},
        {"mask, bottom", 136, 10, 20, 0xFF00FF00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HICON icon = Load(c.group);
        ASSERT_NE(icon, nullptr);
        Canvas canvas;
        // Drawn at (0, -2): the top two rows fall outside the bitmap.
        ASSERT_TRUE(DrawIcon(canvas.dc, 0, -2, icon));
        EXPECT_EQ(canvas.At(c.x, c.y), c.expected);
        EXPECT_EQ(canvas.At(35, 5), kWhite);  // beyond the icon's 32 columns
        EXPECT_TRUE(DestroyIcon(icon));
        EXPECT_FALSE(DrawIcon(canvas.dc, 0, 0, icon));
    }
}

TEST(UserIcon, MissingAndDamagedIconsAreRefused)
{
    struct Case {
        HINSTANCE instance;
        int group;
        DWORD error;
    };
    const Case cases[] = {
        {GetModuleHandleW(nullptr), 137, ERROR_RESOURCE_NAME_NOT_FOUND},  // names no RT_ICON
        {GetModuleHandleW(nullptr), 138, ERROR_INVALID_DATA},             // cut short
        {GetModuleHandleW(nullptr), 139, ERROR_INVALID_DATA},             // a broken PNG
        {GetModuleHandleW(nullptr), 140, ERROR_RESOURCE_NAME_NOT_FOUND},  // no such group
        {nullptr, 32512, ERROR_RESOURCE_NAME_NOT_FOUND},                  // the system's icons
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadIconW(c.instance, MAKEINTRESOURCEW(c.group)), nullptr) << c.group;
        EXPECT_EQ(GetLastError(), c.error) << c.group;
    }
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
}

}  // namespace
