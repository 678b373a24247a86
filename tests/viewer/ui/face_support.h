// Expected faces for the skinned-control tests: a parent background of one colour, skin
// pictures drawn the way a control's picture is made (stretched plain picture, nine-patch,
// three slices) and blended over it, and comparisons of a window's pixels with them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls_support.h"
#include "gdi/surface.h"
#include "ui/DPIScale.h"
#include "ui/NinePatch.h"
#include "ui/OffscreenDC.h"
#include "ui/SkinImage.h"

namespace facetest {

// Pixel (x, y) of a created surface, 0xAARRGGBB.
inline uint32_t SurfaceAt(const COffscreenDC& surface, int x, int y)
{
    platform::gdi::Target target;
    EXPECT_TRUE(platform::gdi::GetDCTarget(surface.GetDC()->GetSafeHdc(), &target));
    return target.surface->Row(y)[x];
}

inline void FillSurface(const COffscreenDC& surface, uint32_t pixel)
{
    platform::gdi::Target target;
    ASSERT_TRUE(platform::gdi::GetDCTarget(surface.GetDC()->GetSafeHdc(), &target));
    for (int y = 0; y < target.surface->Height(); ++y)
        for (int x = 0; x < target.surface->Width(); ++x)
            target.surface->Row(y)[x] = pixel;
}

// A screen-compatible surface of width x height pixels filled with one opaque colour.
class CFace {
public:
    CFace(int width, int height, uint32_t ground = 0xFF000000u)
    {
        m_dc.CreateCompatibleDC(nullptr);
        m_surface.Create(&m_dc, width, height);
        FillSurface(m_surface, ground);
    }
    COffscreenDC& Surface() { return m_surface; }
    CDC* Dc() { return m_surface.GetDC(); }
    int Width() const { return m_surface.GetWidth(); }
    int Height() const { return m_surface.GetHeight(); }
    uint32_t At(int x, int y) const { return SurfaceAt(m_surface, x, y); }

    // Blends a surface over the face at (x, y) with the size (w, h), stretching.
    void Blend(const COffscreenDC& picture, int x, int y, int w, int h)
    {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        m_surface.GetDC()->AlphaBlend(x, y, w, h, picture.GetDC(), 0, 0, picture.GetWidth(),
                                      picture.GetHeight(), blend);
    }
    // A plain picture stretched onto a surface of (w, h) design units, then blended up to
    // (pw, ph) pixels at (x, y): how a button makes and draws its state pictures.
    void BlendPlain(const std::wstring& name, int w, int h, int x, int y, int pw, int ph)
    {
        COffscreenDC picture(&m_dc, w, h);
        DrawSkinImage(picture, name);
        Blend(picture, x, y, pw, ph);
    }
    void BlendNinePatch(const std::wstring& name, int w, int h, int x, int y, int pw, int ph)
    {
        COffscreenDC picture(&m_dc, w, h);
        GetNinePatch()->Draw(picture, name);
        Blend(picture, x, y, pw, ph);
    }

private:
    CDC m_dc;
    COffscreenDC m_surface;
};

// The number of pixels of the window's area (x, y, w, h) whose colour (alpha ignored) differs
// from the face's pixel at the same place less (x, y).
template <class WindowPixels>
int CountMismatches(const WindowPixels& window, int x, int y, const CFace& face,
                           int tolerance = 0)
{
    int n = 0;
    for (int j = 0; j < face.Height(); ++j)
        for (int i = 0; i < face.Width(); ++i) {
            uint32_t a = window.At(x + i, y + j);
            uint32_t b = face.At(i, j);
            for (int shift = 0; shift < 24; shift += 8)
                if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > tolerance) {
                    ++n;
                    break;
                }
        }
    return n;
}

// A control test whose parent background is a face of one colour, the ground.
class GroundTest : public controltest::ControlTest {
protected:
    explicit GroundTest(uint32_t ground) : m_ground(ground) {}
    void SetUp() override
    {
        ControlTest::SetUp();
        background = std::make_unique<CFace>(1200, 900, m_ground);
    }
    void TearDown() override
    {
        background.reset();
        ControlTest::TearDown();
    }

    std::unique_ptr<CFace> background;

private:
    uint32_t m_ground;
};

}  // namespace facetest
