// Helpers for the skin-picture tests: synthetic pictures published as "PNG" resources of the
// test program, which becomes the skin module, and the pixels of offscreen surfaces.
//
// The resources are registered at run time through the table interface that generated resource
// code uses, so that each test defines its small pictures next to what it expects of them.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gdi/surface.h"
#include "kernel/module.h"
#include "pictures.h"
#include "platform/gdiplus.h"
#include "ui/OffscreenDC.h"
#include "ui/SkinImage.h"

namespace skintest {

using pngtest::Picture;

// Inner pixels of the test pictures: opaque (so the premultiplied surface holds the same value)
// and unique to their inner position (ix, iy), never black or white.
constexpr uint32_t Inner(int ix, int iy)
{
    return 0xFF000000u | uint32_t(ix * 8 + 1) << 16 | uint32_t(iy * 8 + 1) << 8 | 0x55u;
}

constexpr uint32_t kOpaqueBlack = 0xFF000000u;
constexpr uint32_t kClearWhite = 0x00FFFFFFu;

// A picture of inner w x h pixels (Inner values) inside a one-pixel frame of `frame`.
inline Picture Framed(int innerWidth, int innerHeight, uint32_t frame = kClearWhite)
{
    Picture p(innerWidth + 2, innerHeight + 2, frame);
    for (int y = 0; y < innerHeight; ++y)
        for (int x = 0; x < innerWidth; ++x)
            p.At(x + 1, y + 1) = Inner(x, y);
    return p;
}

// Publishes pictures as resources of type "PNG" of the test program and points g_hSkinModule
// at the program; starts GDI+ for the test's duration. One per test.
class SkinFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&m_token, &input, nullptr), Gdiplus::Ok);
        g_hSkinModule = GetModuleHandleW(nullptr);
        ASSERT_TRUE(m_dc.CreateCompatibleDC(nullptr));
    }
    void TearDown() override
    {
        Stored().clear();
        Publish();
        g_hSkinModule = nullptr;
        m_dc.DeleteDC();
        Gdiplus::GdiplusShutdown(m_token);
    }

    // A memory device context compatible with the screen, which surfaces are made compatible
    // with.
    CDC* Dc() { return &m_dc; }

    // Adds (or replaces) the resource `name` with these bytes.
    static void AddBytes(const std::wstring& name, std::vector<uint8_t> bytes)
    {
        for (Resource& r : Stored())
            if (r.name == name) {
                r.bytes = std::move(bytes);
                Publish();
                return;
            }
        Stored().push_back({name, std::move(bytes)});
        Publish();
    }
    static void Add(const std::wstring& name, const Picture& picture)
    {
        AddBytes(name, pngtest::Encode(picture));
    }

    ULONG_PTR m_token = 0;
    CDC m_dc;

private:
    struct Resource {
        std::wstring name;
        std::vector<uint8_t> bytes;
    };
    static std::deque<Resource>& Stored()
    {
        static std::deque<Resource> stored;
        return stored;
    }
    static void Publish()
    {
        // The table lives in the program's own memory, which makes it the program's table.
        static platform::ResourceTable table = {nullptr, 0};
        static std::vector<platform::ResourceEntry> entries;
        platform::UnregisterResourceTable(&table);
        entries.clear();
        for (const Resource& r : Stored())
            entries.push_back(
                {L"PNG", r.name.c_str(), 0, 0, DWORD(r.bytes.size()), r.bytes.data()});
        table = {entries.data(), DWORD(entries.size())};
        if (!entries.empty())
            platform::RegisterResourceTable(&table);
    }
};

// The memory device context of a surface, null when it is empty.
inline HDC HandleOf(const COffscreenDC& surface)
{
    return surface.GetDC() ? surface.GetDC()->GetSafeHdc() : nullptr;
}

// Pixel (x, y) of a created surface, premultiplied 0xAARRGGBB.
inline uint32_t At(const COffscreenDC& surface, int x, int y)
{
    platform::gdi::Target target;
    EXPECT_TRUE(platform::gdi::GetDCTarget(HandleOf(surface), &target));
    return target.surface->Row(y)[x];
}

inline void Fill(const COffscreenDC& surface, uint32_t pixel)
{
    platform::gdi::Target target;
    ASSERT_TRUE(platform::gdi::GetDCTarget(HandleOf(surface), &target));
    for (int y = 0; y < target.surface->Height(); ++y)
        for (int x = 0; x < target.surface->Width(); ++x)
            target.surface->Row(y)[x] = pixel;
}

}  // namespace skintest
