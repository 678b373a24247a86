#include "compositor.h"

#include <algorithm>
#include <cstring>

#include "../gdi/paint.h"

namespace platform::screen {

namespace {

// What the screen shows where neither a window nor the desktop's own pixels lie.
constexpr uint32_t kDesktopColour = 0xFF000000u;
constexpr uint32_t kOpaque = 0xFF000000u;

bool Intersect(const RECT& a, const RECT& b, RECT* out)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom)
        return false;
    *out = r;
    return true;
}

// Removes `cover` from a set of non-overlapping rectangles.
void Cut(std::vector<RECT>* pieces, const RECT& cover, std::vector<RECT>* scratch)
{
    scratch->clear();
    for (const RECT& piece : *pieces)
        user::SubtractRect(piece, cover, scratch);
    pieces->swap(*scratch);
}

// A window pixel copied onto the screen: opaque whatever its alpha byte holds, since GDI leaves
// that byte 0 where it draws.
void CopyRow(uint32_t* out, const uint32_t* in, int count)
{
    for (int x = 0; x < count; ++x)
        out[x] = in[x] | kOpaque;
}

// A layered window's pixel over an opaque screen pixel. Without per-pixel alpha the picture is
// opaque and mixed by the constant alpha; with it the picture is premultiplied, scaled by the
// constant alpha and composed source-over, the same arithmetic as AlphaBlend.
inline uint32_t Over(uint32_t source, uint32_t dest, uint32_t constantAlpha, bool perPixel)
{
    uint32_t out = kOpaque;
    if (!perPixel) {
        uint32_t inverse = 255 - constantAlpha;
        for (int shift = 0; shift < 24; shift += 8) {
            uint32_t s = (source >> shift) & 0xFF;
            uint32_t d = (dest >> shift) & 0xFF;
            out |= gdi::Div255(s * constantAlpha + d * inverse) << shift;
        }
        return out;
    }
    if (constantAlpha != 255)
        source = gdi::ScaleChannels(source, constantAlpha);
    if (source == 0)
        return dest;
    return gdi::PremultipliedOver(source, dest) | kOpaque;
}

void BlendRow(uint32_t* out, const uint32_t* in, int count, uint32_t constantAlpha, bool perPixel)
{
    for (int x = 0; x < count; ++x)
        out[x] = Over(in[x], out[x], constantAlpha, perPixel);
}

}  // namespace

Compositor& Compositor::Get()
{
    static Compositor* compositor = new Compositor;  // never destroyed, see the declaration
    return *compositor;
}

void Compositor::Compose(bool everything)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ComposeL(everything);
}

bool Compositor::Read(const RECT& area, std::vector<uint32_t>* pixels, SIZE* size)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ComposeL(false);
    RECT part;
    if (!Intersect(area, RECT{0, 0, m_size.cx, m_size.cy}, &part))
        return false;
    int width = part.right - part.left;
    int height = part.bottom - part.top;
    pixels->resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(pixels->data() + size_t(y) * size_t(width),
                    m_pixels.data() + size_t(part.top + y) * size_t(m_size.cx) + size_t(part.left),
                    size_t(width) * 4);
    *size = SIZE{width, height};
    return true;
}

void Compositor::Present(const std::function<void(const Frame&)>& present)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ComposeL(false);
    m_changed = m_unpresented.Rects();
    m_unpresented.Clear();
    Frame frame;
    frame.pixels = m_pixels.data();
    frame.size = m_size;
    frame.changed = &m_changed;
    frame.cursor = m_cursor;
    present(frame);
}

SIZE Compositor::Size()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_composed)
        ComposeL(true);
    return m_size;
}

void Compositor::EnsureSizeL(SIZE size)
{
    if (size.cx == m_size.cx && size.cy == m_size.cy && !m_pixels.empty())
        return;
    m_size = size;
    m_pixels.assign(size_t(std::max<LONG>(0, size.cx)) * size_t(std::max<LONG>(0, size.cy)),
                    kDesktopColour);
    m_composed = false;
}

void Compositor::ComposeL(bool everything)
{
    user::ScreenState state = user::TakeScreenState();
    EnsureSizeL(state.size);
    m_cursor.position = state.cursor;
    m_cursor.shape = state.cursorShape;
    m_cursor.visible = state.cursorVisible;
    const RECT screen = {0, 0, m_size.cx, m_size.cy};
    if (!m_composed)
        everything = true;

    std::vector<RECT> dirty;
    if (everything) {
        dirty.push_back(screen);
    } else {
        for (const RECT& d : state.dirty) {
            RECT part;
            if (Intersect(d, screen, &part))
                dirty.push_back(part);
        }
    }
    if (dirty.empty())
        return;

    // Every buffer that can show, bottom to top, cut to the part its pixels really cover (a
    // snapshot may pair a buffer with a newer, larger rectangle; the rest shows what lies
    // beneath).
    std::vector<Layer> layers;
    for (const user::ScreenWindow& window : state.windows) {
        for (const user::ScreenLayer& source : window.layers) {
            if (!source.pixels)
                continue;
            Layer layer;
            layer.pixels = source.pixels;
            layer.origin = source.origin;
            RECT bounds{source.origin.x, source.origin.y, source.origin.x + source.pixels->Width(),
                        source.origin.y + source.pixels->Height()};
            if (!Intersect(source.clip, bounds, &layer.area))
                continue;
            if (!Intersect(layer.area, screen, &layer.area))
                continue;
            if (window.layered) {
                layer.constantAlpha = window.constantAlpha;
                layer.perPixelAlpha = window.perPixelAlpha;
                layer.opaque = window.constantAlpha == 255 && !window.perPixelAlpha;
                if (window.constantAlpha == 0)
                    continue;
            }
            layers.push_back(std::move(layer));
        }
    }

    for (const RECT& d : dirty) {
        PaintL(d, layers, state.desktop);
        m_unpresented.Add(d);
    }
    m_composed = true;
}

// Paints one dirty rectangle. Each buffer is drawn only where no opaque buffer above it covers
// the rectangle, so every pixel is written once by the topmost opaque buffer (or the desktop)
// beneath it and then blended by the translucent ones above, bottom to top.
void Compositor::PaintL(const RECT& dirty, const std::vector<Layer>& layers,
                        const std::shared_ptr<gdi::Surface>& desktop)
{
    std::vector<std::vector<RECT>> visible(layers.size());
    std::vector<RECT> covers;
    std::vector<RECT> scratch;
    for (size_t i = layers.size(); i-- > 0;) {
        RECT part;
        if (!Intersect(layers[i].area, dirty, &part))
            continue;
        std::vector<RECT>& pieces = visible[i];
        pieces.push_back(part);
        for (const RECT& cover : covers) {
            Cut(&pieces, cover, &scratch);
            if (pieces.empty())
                break;
        }
        if (layers[i].opaque && !pieces.empty())
            covers.push_back(part);
    }
    std::vector<RECT> bare{dirty};
    for (const RECT& cover : covers) {
        Cut(&bare, cover, &scratch);
        if (bare.empty())
            break;
    }

    const size_t stride = size_t(m_size.cx);
    uint32_t* screen = m_pixels.data();
    if (!bare.empty()) {
        // The desktop's pixels are screen-sized; a smaller buffer leaves the desktop colour.
        std::unique_lock<std::mutex> lock;
        if (desktop)
            lock = std::unique_lock<std::mutex>(desktop->Lock());
        for (const RECT& r : bare) {
            for (LONG y = r.top; y < r.bottom; ++y) {
                uint32_t* out = screen + size_t(y) * stride + size_t(r.left);
                LONG inside = desktop && y < desktop->Height()
                                  ? std::clamp<LONG>(desktop->Width() - r.left, 0, r.right - r.left)
                                  : 0;
                if (inside > 0)
                    CopyRow(out, desktop->Row(y) + r.left, inside);
                std::fill(out + inside, out + (r.right - r.left), kDesktopColour);
            }
        }
    }

    for (size_t i = 0; i < layers.size(); ++i) {
        if (visible[i].empty())
            continue;
        const Layer& layer = layers[i];
        std::lock_guard<std::mutex> lock(layer.pixels->Lock());
        for (const RECT& r : visible[i]) {
            const int count = r.right - r.left;
            const int sx = r.left - layer.origin.x;
            for (LONG y = r.top; y < r.bottom; ++y) {
                uint32_t* out = screen + size_t(y) * stride + size_t(r.left);
                const uint32_t* in = layer.pixels->Row(y - layer.origin.y) + sx;
                if (layer.opaque)
                    CopyRow(out, in, count);
                else
                    BlendRow(out, in, count, layer.constantAlpha, layer.perPixelAlpha);
            }
        }
    }
}

}  // namespace platform::screen
