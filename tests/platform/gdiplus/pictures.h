// Small pictures for GDI+ and skin tests: an ARGB picture type, a PNG writer that needs no
// library (stored deflate blocks), and a stream over a copy of some bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/com.h"

namespace pngtest {

// Straight ARGB pixels, 0xAARRGGBB, row after row from the top; transparent black to start.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;

    Picture(int w, int h, uint32_t fill = 0) : width(w), height(h), argb(size_t(w) * h, fill) {}
    uint32_t& At(int x, int y) { return argb[size_t(y) * width + x]; }
    uint32_t At(int x, int y) const { return argb[size_t(y) * width + x]; }
};

inline void PutBigEndian(std::vector<uint8_t>* out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(uint8_t(value >> shift));
}

inline uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline void PutChunk(std::vector<uint8_t>* out, const char type[4],
                     const std::vector<uint8_t>& data)
{
    PutBigEndian(out, uint32_t(data.size()));
    size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    PutBigEndian(out, Crc32(out->data() + start, out->size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks.
inline std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        size_t length = std::min<size_t>(raw.size() - at, 65535);
        bool last = at + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(uint8_t(length));
        out.push_back(uint8_t(length >> 8));
        out.push_back(uint8_t(~length));
        out.push_back(uint8_t(~length >> 8));
        out.insert(out.end(), raw.begin() + long(at), raw.begin() + long(at + length));
        at += length;
    } while (at < raw.size());
    uint32_t a = 1;
    uint32_t b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(&out, (b << 16) | a);
    return out;
}

struct Chunk {
    const char* type;
    std::vector<uint8_t> data;
};

// A PNG of the given kind from rows of packed samples (without filter bytes), with extra
// chunks (PLTE, tRNS, gAMA ...) placed before the pixel data. An interlaced picture's rows are
// the rows of its seven passes in order.
inline std::vector<uint8_t> EncodeRows(int width, int height, int bitDepth, int colorType,
                                       const std::vector<std::vector<uint8_t>>& rows,
                                       const std::vector<Chunk>& extra = {},
                                       bool interlaced = false)
{
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian(&header, uint32_t(width));
    PutBigEndian(&header, uint32_t(height));
    header.insert(header.end(), {uint8_t(bitDepth), uint8_t(colorType), 0, 0, uint8_t(interlaced)});
    PutChunk(&png, "IHDR", header);
    for (const Chunk& chunk : extra)
        PutChunk(&png, chunk.type, chunk.data);
    std::vector<uint8_t> raw;
    for (const std::vector<uint8_t>& row : rows) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), row.begin(), row.end());
    }
    PutChunk(&png, "IDAT", StoredZlib(raw));
    PutChunk(&png, "IEND", {});
    return png;
}

// An 8-bit RGBA PNG of the picture.
inline std::vector<uint8_t> Encode(const Picture& picture)
{
    std::vector<std::vector<uint8_t>> rows;
    for (int y = 0; y < picture.height; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < picture.width; ++x) {
            uint32_t p = picture.At(x, y);
            row.insert(row.end(),
                       {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
        }
        rows.push_back(row);
    }
    return EncodeRows(picture.width, picture.height, 8, 6, rows);
}

// A stream over a moveable global block holding a copy of the bytes; the block goes with the
// stream.
inline ComPtr<IStream> StreamOf(const std::vector<uint8_t>& bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block)
        return nullptr;
    if (!bytes.empty()) {
        void* data = GlobalLock(block);
        std::memcpy(data, bytes.data(), bytes.size());
        GlobalUnlock(block);
    }
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
        GlobalFree(block);
        return nullptr;
    }
    return stream;
}

}  // namespace pngtest
