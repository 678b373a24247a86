#include "Damage.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace mkcard {

namespace {

uint32_t Be32(const std::string& b, uint64_t at)
{
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
           (uint32_t(uint8_t(b[at + 2])) << 8) | uint32_t(uint8_t(b[at + 3]));
}

// Reads the box header at `at` within [.., end); false when it does not fit.
bool ReadBox(const std::string& b, uint64_t at, uint64_t end, BoxSpan* box, std::string* type)
{
    if (at + 8 > end)
        return false;
    uint64_t size = Be32(b, at);
    uint32_t header = 8;
    *type = b.substr(at + 4, 4);
    if (size == 1) {
        if (at + 16 > end)
            return false;
        size = (uint64_t(Be32(b, at + 8)) << 32) | Be32(b, at + 12);
        header = 16;
    } else if (size == 0) {
        size = end - at;  // extends to the end of its parent
    }
    if (size < header || size > end - at)
        return false;
    *box = BoxSpan{at, size, header};
    return true;
}

// Bytes between a box's header and its first child, for the boxes whose children we follow.
std::optional<uint64_t> ChildOffset(const std::string& type)
{
    if (type == "moov" || type == "trak" || type == "mdia" || type == "minf" || type == "stbl")
        return 0;
    if (type == "stsd")
        return 8;  // version, flags, entry count
    if (type == "avc1" || type == "avc3")
        return 78;  // the visual sample entry's fields
    return std::nullopt;
}

std::string ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Depth-first search for parts[level..] among the boxes in [begin, end).
std::optional<BoxSpan> FindIn(const std::string& bytes, const std::vector<std::string>& parts,
                              size_t level, uint64_t begin, uint64_t end)
{
    BoxSpan box{};
    std::string type;
    for (uint64_t at = begin; ReadBox(bytes, at, end, &box, &type); at += box.size) {
        if (type != parts[level])
            continue;
        if (level + 1 == parts.size())
            return box;
        const auto skip = ChildOffset(type);
        if (!skip || box.header + *skip > box.size)
            continue;
        if (auto found = FindIn(bytes, parts, level + 1, box.offset + box.header + *skip,
                                box.offset + box.size))
            return found;
    }
    return std::nullopt;
}

void PutBe32(std::string& b, uint64_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(uint8_t(value >> (24 - 8 * i)));
}

void WriteAll(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot rewrite " + file.string());
}

}  // namespace

std::optional<BoxSpan> FindBox(const std::string& bytes, const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(path);
    while (std::getline(in, part, '/'))
        parts.push_back(part);
    if (parts.empty())
        return std::nullopt;
    return FindIn(bytes, parts, 0, 0, bytes.size());
}

void CutIndex(const fs::path& file)
{
    const std::string bytes = ReadAll(file);
    const auto moov = FindBox(bytes, "moov");
    const auto mdat = FindBox(bytes, "mdat");
    if (!moov || !mdat || moov->offset < mdat->offset)
        throw std::runtime_error(file.string() + " has no index after its media data");
    fs::resize_file(file, moov->offset);
}

void BreakAvcConfiguration(const fs::path& file)
{
    std::string bytes = ReadAll(file);
    // The first track holding an AVC record: the video track, wherever it is among the tracks.
    const auto record = FindBox(bytes, "moov/trak/mdia/minf/stbl/stsd/avc1/avcC");
    if (!record)
        throw std::runtime_error(file.string() + " has no AVC configuration record");
    const uint64_t data = record->offset + record->header;
    // version, profile, compatibility, level, length size, SPS count, then the first SPS length.
    if (record->size < record->header + 8 || uint8_t(bytes[data]) != 1)
        throw std::runtime_error(file.string() +
                                 " has an AVC configuration record of an unexpected form");
    bytes[data + 6] = '\xFF';
    bytes[data + 7] = '\xF0';
    WriteAll(file, bytes);
}

void InflateTextSamples(const fs::path& file)
{
    std::string bytes = ReadAll(file);
    const auto moov = FindBox(bytes, "moov");
    if (!moov)
        throw std::runtime_error(file.string() + " has no movie box");
    BoxSpan trak{};
    std::string type;
    const uint64_t end = moov->offset + moov->size;
    for (uint64_t at = moov->offset + moov->header; ReadBox(bytes, at, end, &trak, &type);
         at += trak.size) {
        if (type != "trak")
            continue;
        // The track's own bytes, searched as a file of their own.
        const std::string track = bytes.substr(trak.offset, trak.size);
        const auto hdlr = FindBox(track, "trak/mdia/hdlr");
        if (!hdlr || hdlr->size < hdlr->header + 12 ||
            track.compare(hdlr->offset + hdlr->header + 8, 4, "sbtl") != 0)
            continue;
        const auto stsz = FindBox(track, "trak/mdia/minf/stbl/stsz");
        const auto stsc = FindBox(track, "trak/mdia/minf/stbl/stsc");
        const auto stco = FindBox(track, "trak/mdia/minf/stbl/stco");
        if (!stsz || !stsc || !stco || stsc->size < stsc->header + 20 ||
            stco->size < stco->header + 12)
            throw std::runtime_error(file.string() + " has a text track of an unexpected form");
        const uint64_t sc = trak.offset + stsc->offset + stsc->header;
        if (Be32(bytes, sc + 4) != 1 || Be32(bytes, sc + 12) != 1)
            throw std::runtime_error(file.string() + " keeps several text samples in a chunk");
        // One size for every sample; the chunks all start where the first one does.
        PutBe32(bytes, trak.offset + stsz->offset + stsz->header + 4, 1000000);
        const uint64_t co = trak.offset + stco->offset + stco->header;
        const uint32_t chunks = Be32(bytes, co + 4);
        if (stco->size < stco->header + 8 + uint64_t(chunks) * 4)
            throw std::runtime_error(file.string() + " has a cut chunk-offset table");
        const uint32_t first = Be32(bytes, co + 8);
        for (uint32_t i = 1; i < chunks; ++i)
            PutBe32(bytes, co + 8 + uint64_t(i) * 4, first);
        WriteAll(file, bytes);
        return;
    }
    throw std::runtime_error(file.string() + " has no text track");
}

}  // namespace mkcard
