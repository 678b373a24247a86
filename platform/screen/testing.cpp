// The screen's test hooks: reading and saving the composed screen.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "../gdi/object.h"
#include "compositor.h"
#include "platform/testing.h"
#include "screenshot.h"

namespace platform::screen {

bool SaveScreenFile(const std::string& path, const RECT* area)
{
    SIZE whole = Compositor::Get().Size();
    RECT part = area ? *area : RECT{0, 0, whole.cx, whole.cy};
    std::vector<uint32_t> pixels;
    SIZE size;
    if (path.empty() || !Compositor::Get().Read(part, &pixels, &size))
        return false;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, size.cx, size.cy);
    std::shared_ptr<gdi::Surface> surface = gdi::BitmapSurface(bitmap);
    bool saved = false;
    if (surface) {
        {
            std::lock_guard<std::mutex> lock(surface->Lock());
            for (int y = 0; y < size.cy; ++y)
                std::memcpy(surface->Row(y), pixels.data() + size_t(y) * size_t(size.cx),
                            size_t(size.cx) * 4);
        }
        // Written beside the target and renamed over it, so that a failed write never leaves
        // a cut file in its place.
        std::string partial = path + ".partial-" + std::to_string(getpid());
        saved = testing::SaveBitmapPng(bitmap, partial) &&
                std::rename(partial.c_str(), path.c_str()) == 0;
        if (!saved)
            std::remove(partial.c_str());
    }
    DeleteObject(bitmap);
    DeleteDC(dc);
    return saved;
}

}  // namespace platform::screen

namespace platform::testing {

bool ReadScreenPixels(std::vector<uint32_t>* pixels, SIZE* size, const RECT* area)
{
    if (!pixels || !size)
        return false;
    screen::Compositor& compositor = screen::Compositor::Get();
    SIZE whole = compositor.Size();
    RECT part = area ? *area : RECT{0, 0, whole.cx, whole.cy};
    return compositor.Read(part, pixels, size);
}

bool SaveScreenPng(const std::string& path, const RECT* area)
{
    return screen::SaveScreenFile(path, area);
}

}  // namespace platform::testing
