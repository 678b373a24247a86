// COffscreenDC: a memory surface is either wholly made (device context, bitmap and size) or
// empty, and re-creating it replaces the old one.
#include <gtest/gtest.h>

#include "gdi/surface.h"
#include "ui/OffscreenDC.h"

namespace {

TEST(OffscreenDC, CreateMakesAllOrNothing)
{
    HDC deleted = CreateCompatibleDC(nullptr);
    DeleteDC(deleted);
    HDC screen = CreateCompatibleDC(nullptr);
    struct Case {
        const char* what;
        HDC dc;
        int width;
        int height;
        BOOL created;
    } cases[] = {
        {"compatible with a memory dc", screen, 4, 3, 1},
        {"no device context", nullptr, 4, 3, 0},
        {"no pixels", screen, 0, 0, 1},
        {"negative width", screen, -1, 3, 0},
        {"deleted dc", deleted, 4, 3, 0},
    };
    for (const Case& c : cases) {
        // Each starts from a created surface, which Create releases first whatever follows.
        COffscreenDC surface(screen, 7, 7);
        ASSERT_TRUE(surface.IsCreated());
        HDC old = surface.GetDC();
        EXPECT_EQ(surface.Create(c.dc, c.width, c.height), c.created) << c.what;
        platform::gdi::Target gone;
        EXPECT_FALSE(platform::gdi::GetDCTarget(old, &gone)) << c.what;
        EXPECT_EQ(surface.IsCreated(), c.created) << c.what;
        EXPECT_EQ(surface.GetWidth(), c.created ? c.width : 0) << c.what;
        EXPECT_EQ(surface.GetHeight(), c.created ? c.height : 0) << c.what;
        if (!c.created) {
            EXPECT_EQ(surface.GetDC(), nullptr) << c.what;
            continue;
        }
        platform::gdi::Target target;
        ASSERT_TRUE(platform::gdi::GetDCTarget(surface.GetDC(), &target)) << c.what;
        if (c.width == 0)
            continue;
        ASSERT_EQ(target.surface->Width(), c.width) << c.what;
        ASSERT_EQ(target.surface->Height(), c.height) << c.what;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                EXPECT_EQ(target.surface->Row(y)[x], 0u) << c.what;
    }
    DeleteDC(screen);
}

TEST(OffscreenDC, ReleaseEmptiesAndIsSafeTwice)
{
    HDC screen = CreateCompatibleDC(nullptr);
    COffscreenDC surface;
    EXPECT_FALSE(surface.IsCreated());
    surface.Release();
    ASSERT_TRUE(surface.Create(screen, 5, 2));
    HDC dc = surface.GetDC();
    surface.Release();
    surface.Release();
    EXPECT_FALSE(surface.IsCreated());
    EXPECT_EQ(surface.GetWidth(), 0);
    EXPECT_EQ(surface.GetHeight(), 0);
    platform::gdi::Target target;
    EXPECT_FALSE(platform::gdi::GetDCTarget(dc, &target));
    DeleteDC(screen);
}

}  // namespace
