#include "surface.h"

#include <cstdlib>

namespace platform::gdi {

// Larger surfaces are refused rather than risking an allocation that the system grants lazily
// and kills the process for later: 16384 x 16384 pixels is 1 GiB.
constexpr int64_t kMaxPixels = int64_t(16384) * 16384;

std::shared_ptr<Surface> Surface::Create(int width, int height, bool bottomUp)
{
    if (width < 1 || height < 1 || int64_t(width) * height > kMaxPixels)
        return nullptr;
    void* memory = std::calloc(size_t(width) * size_t(height), 4);
    if (!memory)
        return nullptr;
    std::shared_ptr<Surface> surface(new Surface);
    surface->m_width = width;
    surface->m_height = height;
    surface->m_memory = static_cast<uint8_t*>(memory);
    ptrdiff_t rowBytes = ptrdiff_t(width) * 4;
    if (bottomUp) {
        surface->m_top = surface->m_memory + rowBytes * (height - 1);
        surface->m_stride = -rowBytes;
    } else {
        surface->m_top = surface->m_memory;
        surface->m_stride = rowBytes;
    }
    return surface;
}

Surface::~Surface()
{
    std::free(m_memory);
}

}  // namespace platform::gdi
