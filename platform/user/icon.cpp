// Icons from a module's RT_GROUP_ICON and RT_ICON resources, and DrawIcon.
#include <png.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "../gdi/object.h"
#include "../gdi/paint.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

using platform::gdi::Surface;

struct Icons {
    std::mutex lock;
    // Guarded by `lock`: premultiplied SM_CXICON x SM_CYICON pictures by handle. Handles are
    // tagged numbers that no other handle uses, never reused.
    std::unordered_map<uintptr_t, std::shared_ptr<Surface>> icons;
    uintptr_t next = 0x7B000000;
};

Icons& TheIcons()
{
    static Icons* icons = new Icons;  // lives until the process ends
    return *icons;
}

constexpr int kIconSize = 32;

struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

bool Find(HINSTANCE instance, LPCWSTR name, LPCWSTR type, Resource* out)
{
    HRSRC found = FindResourceW(instance, name, type);
    if (!found)
        return false;
    out->data = static_cast<const BYTE*>(LockResource(LoadResource(instance, found)));
    out->size = SizeofResource(instance, found);
    return out->data != nullptr;
}

uint16_t Word(const BYTE* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t Dword(const BYTE* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Straight BGRA pixels, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

bool DecodePng(const Resource& r, Image* out)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, r.data, r.size))
        return false;
    image.format = PNG_FORMAT_BGRA;
    if (image.width == 0 || image.height == 0 || image.width > 1024 || image.height > 1024) {
        png_image_free(&image);
        return false;
    }
    out->width = int(image.width);
    out->height = int(image.height);
    out->pixels.assign(size_t(image.width) * image.height, 0);
    if (!png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

// A device-independent bitmap icon: a BITMAPINFOHEADER of twice the height, the colour table
// when there is one, the XOR picture bottom-up and the 1-bit AND mask. 32-bit pictures carry
// their alpha (or use the mask when every alpha byte is 0); 24-, 8-, 4- and 1-bit ones the mask.
bool DecodeDib(const Resource& r, Image* out)
{
    if (r.size < 40 || Dword(r.data) < 40)
        return false;
    int32_t width = int32_t(Dword(r.data + 4));
    int32_t height = int32_t(Dword(r.data + 8)) / 2;
    int bits = Word(r.data + 14);
    uint32_t compression = Dword(r.data + 16);
    uint32_t used = Dword(r.data + 32);
    if (width <= 0 || height <= 0 || width > 1024 || height > 1024 || compression != 0)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        return false;
    size_t colours = bits <= 8 ? (used ? used : (size_t(1) << bits)) : 0;
    if (colours > 256)
        return false;
    size_t header = Dword(r.data);
    size_t xorStride = ((size_t(width) * size_t(bits) + 31) / 32) * 4;
    size_t andStride = ((size_t(width) + 31) / 32) * 4;
    size_t needed = header + colours * 4 + xorStride * size_t(height) + andStride * size_t(height);
    if (needed > r.size)
        return false;
    const BYTE* table = r.data + header;
    const BYTE* xorBits = table + colours * 4;
    const BYTE* andBits = xorBits + xorStride * size_t(height);
    out->width = width;
    out->height = height;
    out->pixels.assign(size_t(width) * size_t(height), 0);
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const BYTE* row = xorBits + xorStride * size_t(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = 0;
            if (bits == 32) {
                pixel = Dword(row + x * 4);
                anyAlpha = anyAlpha || (pixel >> 24) != 0;
            } else if (bits == 24) {
                pixel = uint32_t(row[x * 3]) | uint32_t(row[x * 3 + 1]) << 8 |
                        uint32_t(row[x * 3 + 2]) << 16;
            } else {
                int perByte = 8 / bits;
                int shift = 8 - bits * (1 + x % perByte);
                size_t index = (row[x / perByte] >> shift) & ((1 << bits) - 1);
                if (index < colours)
                    pixel = Dword(table + index * 4) & 0x00FFFFFF;
            }
            out->pixels[size_t(y) * size_t(width) + size_t(x)] = pixel;
        }
    }
    if (bits != 32 || !anyAlpha) {
        for (int y = 0; y < height; ++y) {
            const BYTE* mask = andBits + andStride * size_t(height - 1 - y);
            for (int x = 0; x < width; ++x) {
                bool transparent = (mask[x / 8] >> (7 - x % 8)) & 1;
                uint32_t& p = out->pixels[size_t(y) * size_t(width) + size_t(x)];
                p = transparent ? 0 : (p | 0xFF000000u);
            }
        }
    }
    return true;
}

// The picture at the icon size (nearest pixel), premultiplied.
std::shared_ptr<Surface> Premultiplied(const Image& image)
{
    auto surface = Surface::Create(kIconSize, kIconSize);
    if (!surface)
        return nullptr;
    for (int y = 0; y < kIconSize; ++y) {
        uint32_t* row = surface->Row(y);
        int sy = y * image.height / kIconSize;
        for (int x = 0; x < kIconSize; ++x) {
            int sx = x * image.width / kIconSize;
            uint32_t p = image.pixels[size_t(sy) * size_t(image.width) + size_t(sx)];
            uint32_t a = p >> 24;
            uint32_t b = platform::gdi::Div255((p & 0xFF) * a);
            uint32_t g = platform::gdi::Div255(((p >> 8) & 0xFF) * a);
            uint32_t r = platform::gdi::Div255(((p >> 16) & 0xFF) * a);
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return surface;
}

}  // namespace

HICON LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    // The system's icons are not offered: there is nothing that would show them.
    Resource group;
    if (!instance || !Find(instance, name, RT_GROUP_ICON, &group)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    // GRPICONDIR: reserved, type 1, count; then 14-byte entries whose last word is the RT_ICON
    // id. The entry nearest the icon size wins, the deeper one among equals.
    if (group.size < 6 || Word(group.data + 2) != 1 ||
        group.size < 6 + size_t(Word(group.data + 4)) * 14 || Word(group.data + 4) == 0) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    int count = Word(group.data + 4);
    int best = -1;
    int bestDistance = 0;
    int bestBits = 0;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = group.data + 6 + i * 14;
        int size = entry[0] ? entry[0] : 256;
        int bits = Word(entry + 6);
        int distance = std::abs(size - kIconSize);
        if (best < 0 || distance < bestDistance || (distance == bestDistance && bits > bestBits)) {
            best = i;
            bestDistance = distance;
            bestBits = bits;
        }
    }
    WORD id = Word(group.data + 6 + best * 14 + 12);
    Resource picture;
    if (!Find(instance, MAKEINTRESOURCEW(id), RT_ICON, &picture)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    static const BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Image image;
    bool png = picture.size >= 8 && std::memcmp(picture.data, kPngSignature, 8) == 0;
    if (!(png ? DecodePng(picture, &image) : DecodeDib(picture, &image))) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    auto surface = Premultiplied(image);
    if (!surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Icons& icons = TheIcons();
    std::lock_guard<std::mutex> guard(icons.lock);
    uintptr_t value = icons.next;
    icons.next += 4;
    icons.icons.emplace(value, surface);
    return reinterpret_cast<HICON>(value);
}

BOOL DestroyIcon(HICON icon)
{
    Icons& icons = TheIcons();
    std::lock_guard<std::mutex> guard(icons.lock);
    if (!icons.icons.erase(reinterpret_cast<uintptr_t>(icon))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon)
{
    std::shared_ptr<Surface> picture;
    {
        Icons& icons = TheIcons();
        std::lock_guard<std::mutex> guard(icons.lock);
        auto it = icons.icons.find(reinterpret_cast<uintptr_t>(icon));
        if (it == icons.icons.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        picture = it->second;
    }
    platform::gdi::Target target;
    if (!platform::gdi::GetDCTarget(dc, &target))
        return FALSE;
    if (!target.surface)
        return TRUE;
    platform::gdi::Box box = platform::gdi::DeviceBox(x, y, kIconSize, kIconSize, target.origin);
    platform::gdi::SurfaceLock pixels(target.surface.get(), picture.get());
    for (const RECT& clip : target.clip) {
        RECT area;
        if (!platform::gdi::ClipBox(box, clip, &area))
            continue;
        for (LONG dy = area.top; dy < area.bottom; ++dy) {
            uint32_t* row = target.surface->Row(dy);
            const uint32_t* from = picture->Row(int(dy - box.top));
            for (LONG dx = area.left; dx < area.right; ++dx) {
                row[dx] = platform::gdi::PremultipliedOver(from[dx - box.left], row[dx]);
            }
        }
    }
    return TRUE;
}
