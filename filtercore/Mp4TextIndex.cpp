#include "filtercore/Mp4TextIndex.h"

#include <cstring>

namespace FilterCore {

namespace {

// The largest moov box read whole: a ten-hour recording's index takes well under this.
constexpr uint64_t kMaxMoovBytes = 64u << 20;
// Top-level boxes walked before giving up.
constexpr int kMaxTopLevelBoxes = 4096;
// The end of a file read in one piece when the walk of its top-level boxes reaches it.
constexpr int64_t kTailBytes = 1 << 20;
// FFmpeg's index refuses samples larger than this.
constexpr uint64_t kMaxSampleSize = 0x3FFFFFFF;

constexpr uint32_t Tag(const char (&name)[5])
{
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint32_t(uint8_t(name[3]));
}

// A bounded view of bytes; every read past its end gives false.
struct Bytes {
    const uint8_t* data = nullptr;
    size_t size = 0;

    bool U32(size_t at, uint32_t* value) const
    {
        if (at > size || size - at < 4)
            return false;
        *value = uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 |
                 uint32_t(data[at + 2]) << 8 | uint32_t(data[at + 3]);
        return true;
    }
    bool U64(size_t at, uint64_t* value) const
    {
        uint32_t high = 0, low = 0;
        if (!U32(at, &high) || !U32(at + 4, &low))
            return false;
        *value = uint64_t(high) << 32 | low;
        return true;
    }
    Bytes Sub(size_t at, size_t length) const { return Bytes{data + at, length}; }
};

struct Box {
    uint32_t type = 0;
    Bytes payload;
};

// Splits `parent` into its child boxes. False for anything FFmpeg might read otherwise than as
// written: a size of 0 (to the parent's end), a size smaller than its header or running past
// the parent. Fewer than 8 bytes left at the end are padding and ignored.
bool Children(const Bytes& parent, std::vector<Box>* boxes)
{
    boxes->clear();
    size_t at = 0;
    while (parent.size - at >= 8) {
        uint32_t size32 = 0, type = 0;
        parent.U32(at, &size32);
        parent.U32(at + 4, &type);
        uint64_t size = size32;
        size_t header = 8;
        if (size32 == 1) {
            if (!parent.U64(at + 8, &size))
                return false;
            header = 16;
        }
        if (size32 == 0 || size < header || size > parent.size - at)
            return false;
        boxes->push_back(Box{type, parent.Sub(at + header, size_t(size) - header)});
        at += size_t(size);
    }
    return true;
}

// The one child of a type; false when there are several. `found` says whether there was one.
bool OnlyChild(const std::vector<Box>& boxes, uint32_t type, Box* box, bool* found)
{
    *found = false;
    for (const Box& b : boxes) {
        if (b.type != type)
            continue;
        if (*found)
            return false;
        *box = b;
        *found = true;
    }
    return true;
}

// The time scale of an mvhd or mdhd box (version 0 or 1); 0 when unreadable.
uint32_t TimeScale(const Bytes& payload)
{
    uint32_t versionFlags = 0, scale = 0;
    if (!payload.U32(0, &versionFlags))
        return 0;
    const uint32_t version = versionFlags >> 24;
    if (version > 1 || !payload.U32(version == 1 ? 20 : 12, &scale))
        return 0;
    return scale;
}

// The handler type of an hdlr box; 0 when unreadable.
uint32_t HandlerType(const Bytes& payload)
{
    uint32_t type = 0;
    return payload.U32(8, &type) ? type : 0;
}

struct Track {
    uint32_t handler = 0;
    uint32_t format = 0;  // the first sample description's format; 0 for none
    uint32_t descriptions = 0;
    bool dataHandlerMatters = false;  // minf holds an hdlr that FFmpeg would take for the kind
    bool references = false;          // a tref box (chapters and the like)
    Box stbl;
    Box elst;
    bool hasElst = false;
    uint32_t mediaScale = 0;
};

bool ReadTrack(const Bytes& trak, Track* track)
{
    std::vector<Box> boxes, mdia, minf;
    if (!Children(trak, &boxes))
        return false;
    bool found = false;
    Box box;
    for (const Box& b : boxes)
        track->references |= b.type == Tag("tref");
    Box edts;
    if (!OnlyChild(boxes, Tag("edts"), &edts, &found))
        return false;
    if (found) {
        std::vector<Box> edits;
        if (!Children(edts.payload, &edits) ||
            !OnlyChild(edits, Tag("elst"), &track->elst, &track->hasElst))
            return false;
    }
    if (!OnlyChild(boxes, Tag("mdia"), &box, &found) || !found || !Children(box.payload, &mdia))
        return false;
    if (!OnlyChild(mdia, Tag("mdhd"), &box, &found))
        return false;
    if (found)
        track->mediaScale = TimeScale(box.payload);
    if (!OnlyChild(mdia, Tag("hdlr"), &box, &found) || !found)
        return false;
    track->handler = HandlerType(box.payload);
    if (!OnlyChild(mdia, Tag("minf"), &box, &found) || !found || !Children(box.payload, &minf))
        return false;
    for (const Box& b : minf) {
        if (b.type != Tag("hdlr"))
            continue;
        const uint32_t type = HandlerType(b.payload);
        track->dataHandlerMatters |= type == Tag("vide") || type == Tag("soun") ||
                                     type == Tag("subp") || type == Tag("clcp") ||
                                     type == Tag("m1a ");
    }
    if (!OnlyChild(minf, Tag("stbl"), &track->stbl, &found) || !found)
        return false;
    std::vector<Box> tables;
    if (!Children(track->stbl.payload, &tables) || !OnlyChild(tables, Tag("stsd"), &box, &found) ||
        !found)
        return false;
    // stsd: version and flags, the entry count, then the entries (size, format, ...).
    if (!box.payload.U32(4, &track->descriptions))
        return false;
    if (track->descriptions > 0 && !box.payload.U32(12, &track->format))
        return false;
    return true;
}

// The samples of a text track as FFmpeg's index lists them. False where FFmpeg's index could
// differ from a plain reading of the tables.
bool IndexSamples(const Track& track, uint32_t movieScale, std::vector<TextSampleSpan>* samples)
{
    std::vector<Box> tables;
    if (!Children(track.stbl.payload, &tables))
        return false;
    Box stsz, stsc, stco, co64, stts, box;
    bool hasStsz, hasStsc, hasStco, hasCo64, hasStts, found;
    if (!OnlyChild(tables, Tag("stsz"), &stsz, &hasStsz) ||
        !OnlyChild(tables, Tag("stsc"), &stsc, &hasStsc) ||
        !OnlyChild(tables, Tag("stco"), &stco, &hasStco) ||
        !OnlyChild(tables, Tag("co64"), &co64, &hasCo64) ||
        !OnlyChild(tables, Tag("stts"), &stts, &hasStts))
        return false;
    // Compact sizes and composition offsets are left to FFmpeg, as are tables it would mend.
    for (uint32_t other : {Tag("stz2"), Tag("ctts")}) {
        if (!OnlyChild(tables, other, &box, &found) || found)
            return false;
    }
    if (!hasStsz || !hasStsc || !hasStts || hasStco == hasCo64)
        return false;

    // Sample sizes: a table, not one size for all.
    uint32_t constantSize = 0, sampleCount = 0;
    if (!stsz.payload.U32(4, &constantSize) || !stsz.payload.U32(8, &sampleCount) ||
        constantSize != 0 || sampleCount == 0 || (stsz.payload.size - 12) / 4 < sampleCount)
        return false;

    // Chunk offsets.
    const Box& offsets = hasStco ? stco : co64;
    const size_t offsetBytes = hasStco ? 4 : 8;
    uint32_t chunkCount = 0;
    if (!offsets.payload.U32(4, &chunkCount) || chunkCount == 0 ||
        (offsets.payload.size - 8) / offsetBytes < chunkCount)
        return false;

    // Samples per chunk: first chunks rising from 1, every entry of the one description.
    uint32_t stscCount = 0;
    if (!stsc.payload.U32(4, &stscCount) || stscCount == 0 ||
        (stsc.payload.size - 8) / 12 < stscCount)
        return false;
    std::vector<uint32_t> firsts(stscCount), counts(stscCount);
    for (uint32_t i = 0; i < stscCount; ++i) {
        uint32_t id = 0;
        stsc.payload.U32(8 + 12 * size_t(i), &firsts[i]);
        stsc.payload.U32(12 + 12 * size_t(i), &counts[i]);
        stsc.payload.U32(16 + 12 * size_t(i), &id);
        if (firsts[i] < 1 || (i == 0 && firsts[i] != 1) || (i > 0 && firsts[i] <= firsts[i - 1]) ||
            counts[i] < 1 || id != 1)
            return false;
    }

    // Decoding times: present; the edit list below needs each sample's.
    uint32_t sttsCount = 0;
    if (!stts.payload.U32(4, &sttsCount) || sttsCount == 0 ||
        (stts.payload.size - 8) / 8 < sttsCount)
        return false;

    // An edit list is taken only when it is one edit from the track's start at the normal rate.
    // FFmpeg then keeps the samples up to the first one that reaches the edit's end (its next
    // sample's time, or for the last one the edit's length, taken as its length): with every
    // sample a key frame, that one is the last it keeps.
    uint64_t editEnd = UINT64_MAX;  // in the track's time scale
    if (track.hasElst) {
        uint32_t versionFlags = 0, entries = 0;
        const Bytes& e = track.elst.payload;
        if (!e.U32(0, &versionFlags) || !e.U32(4, &entries) || entries != 1)
            return false;
        const uint32_t version = versionFlags >> 24;
        uint64_t segment = 0, rate = 0;
        int64_t mediaTime = 0;
        if (version == 0) {
            uint32_t s = 0, t = 0, r = 0;
            if (!e.U32(8, &s) || !e.U32(12, &t) || !e.U32(16, &r))
                return false;
            segment = s;
            mediaTime = int32_t(t);
            rate = r;
        } else if (version == 1) {
            uint64_t t = 0;
            uint32_t r = 0;
            if (!e.U64(8, &segment) || !e.U64(16, &t) || !e.U32(24, &r))
                return false;
            mediaTime = int64_t(t);
            rate = r;
        } else {
            return false;
        }
        Box stss;
        bool hasStss = false;
        if (mediaTime != 0 || rate != 0x10000 || movieScale == 0 || track.mediaScale == 0 ||
            segment > (uint64_t(1) << 40) || !OnlyChild(tables, Tag("stss"), &stss, &hasStss) ||
            hasStss)
            return false;
        // Rounded to the nearest, halves away from zero.
        editEnd = (segment * track.mediaScale + movieScale / 2) / movieScale;
        if (editEnd == 0)
            return false;
    }
    // Each sample's length, for the edit list: the stts runs in turn, the last one lasting for
    // every sample after it, as FFmpeg times its index.
    if (editEnd != UINT64_MAX) {
        for (uint32_t i = 0; i < sttsCount; ++i) {
            uint32_t count = 0, length = 0;
            stts.payload.U32(8 + 8 * size_t(i), &count);
            stts.payload.U32(12 + 8 * size_t(i), &length);
            if (count == 0 || length >= 0x80000000u)
                return false;
        }
    }
    uint32_t run = 0, usedOfRun = 0;
    uint64_t time = 0;
    const auto nextDelta = [&]() -> uint32_t {
        uint32_t count = 0, length = 0;
        stts.payload.U32(8 + 8 * size_t(run), &count);
        stts.payload.U32(12 + 8 * size_t(run), &length);
        if (run + 1 < sttsCount && ++usedOfRun == count) {
            ++run;
            usedOfRun = 0;
        }
        return length;
    };

    samples->clear();
    samples->reserve(sampleCount);
    uint32_t sample = 0;
    uint32_t entry = 0;
    for (uint32_t chunk = 0; chunk < chunkCount && sample < sampleCount; ++chunk) {
        uint64_t offset = 0;
        if (hasStco) {
            uint32_t o = 0;
            offsets.payload.U32(8 + 4 * size_t(chunk), &o);
            offset = o;
        } else {
            offsets.payload.U64(8 + 8 * size_t(chunk), &offset);
        }
        while (entry + 1 < stscCount && chunk + 1 == firsts[entry + 1])
            ++entry;
        for (uint32_t j = 0; j < counts[entry] && sample < sampleCount; ++j, ++sample) {
            uint32_t size = 0;
            stsz.payload.U32(12 + 4 * size_t(sample), &size);
            if (size > kMaxSampleSize)
                return false;
            samples->push_back(TextSampleSpan{static_cast<int64_t>(offset), int64_t(size)});
            offset += size;
            if (editEnd != UINT64_MAX) {
                // The sample's length as FFmpeg takes it: to the next sample's time, which
                // follows the stts runs, or the edit's length for the last sample.
                const uint64_t length = sample + 1 < sampleCount ? nextDelta() : editEnd;
                if (time + length >= editEnd)
                    return true;
                time += length;
            }
        }
    }
    return true;
}

// Whether a track's boxes hold together as far as FFmpeg reads them: its containers split into
// whole boxes and its tables hold the entries they count. FFmpeg refuses a file whose tables of
// any track are cut short, so a file where one is goes to FFmpeg for its answer.
bool TablesHoldTogether(const Bytes& container, int depth)
{
    std::vector<Box> boxes;
    if (depth > 4 || !Children(container, &boxes))
        return false;
    for (const Box& b : boxes) {
        const Bytes& p = b.payload;
        uint32_t versionFlags = 0, count = 0, constant = 0;
        size_t entryBytes = 0, first = 8;
        switch (b.type) {
            case Tag("edts"):
            case Tag("mdia"):
            case Tag("minf"):
            case Tag("stbl"):
                if (!TablesHoldTogether(p, depth + 1))
                    return false;
                continue;
            case Tag("stco"):
            case Tag("stss"):
                entryBytes = 4;
                break;
            case Tag("co64"):
            case Tag("stts"):
            case Tag("ctts"):
                entryBytes = 8;
                break;
            case Tag("stsc"):
                entryBytes = 12;
                break;
            case Tag("stsz"):
                if (!p.U32(4, &constant))
                    return false;
                entryBytes = constant == 0 ? 4 : 0;
                first = 12;
                break;
            case Tag("elst"):
                if (!p.U32(0, &versionFlags))
                    return false;
                entryBytes = (versionFlags >> 24) == 1 ? 20 : 12;
                break;
            case Tag("stsd"):
                if (!p.U32(4, &count) || count < 1 || p.size < 16)
                    return false;
                continue;
            case Tag("mdhd"):
            case Tag("hdlr"):
                if (p.size < 24 || (b.type == Tag("mdhd") && TimeScale(p) == 0))
                    return false;
                continue;
            default:
                continue;
        }
        const size_t countAt = b.type == Tag("stsz") ? 8 : 4;
        if (!p.U32(countAt, &count) || p.size < first)
            return false;
        if (entryBytes > 0 && (p.size - first) / entryBytes < count)
            return false;
    }
    return true;
}

bool ParseMoov(const Bytes& moov, std::vector<TextSampleSpan>* samples)
{
    std::vector<Box> boxes;
    if (!Children(moov, &boxes))
        return false;
    uint32_t movieScale = 0;
    bool movieScaleKnown = false;
    int trackCount = 0;
    int text = -1;
    for (const Box& b : boxes) {
        if (b.type == Tag("cmov") || b.type == Tag("mvex"))
            return false;
        if (b.type == Tag("mvhd")) {
            if (movieScaleKnown)
                return false;
            movieScale = TimeScale(b.payload);
            movieScaleKnown = true;
        } else if (b.type == Tag("trak")) {
            Track track;
            if (!TablesHoldTogether(b.payload, 0) || !ReadTrack(b.payload, &track) ||
                track.references || track.dataHandlerMatters)
                return false;
            const bool picturesOrSound =
                track.handler == Tag("vide") || track.handler == Tag("soun");
            const bool timedText = (track.handler == Tag("sbtl") || track.handler == Tag("text") ||
                                    track.handler == Tag("subt")) &&
                                   track.descriptions == 1 && track.format == Tag("tx3g");
            if (text < 0) {
                if (timedText) {
                    // The edit list is applied with the movie's time scale as read so far.
                    if (!IndexSamples(track, movieScaleKnown ? movieScale : 0, samples))
                        return false;
                    text = trackCount;
                } else if (!picturesOrSound) {
                    // A track of another kind might be the first text track FFmpeg finds.
                    return false;
                }
            }
            ++trackCount;
        }
    }
    if (text < 0)
        samples->clear();
    return text >= 0;
}

}  // namespace

bool ReadMp4TextIndex(const ReadAtFunction& fileReadAt, int64_t fileSize,
                      std::vector<TextSampleSpan>* samples)
{
    samples->clear();
    if (fileSize < 8)
        return false;
    // Once the walk reaches the last kTailBytes of the file, the rest of the file is read in
    // one piece and the remaining reads are answered from it: a recording keeps its moov box at
    // the end, and its header and payload then cost one wait for the storage instead of two.
    std::string tail;
    int64_t tailAt = -1;
    const auto readAt = [&](int64_t offset, size_t size, std::string* out) {
        if (tailAt < 0 && offset >= 0 && offset < fileSize && fileSize - offset <= kTailBytes) {
            if (!fileReadAt(offset, static_cast<size_t>(fileSize - offset), &tail))
                return false;
            tailAt = offset;
        }
        if (tailAt < 0 || offset < tailAt)
            return fileReadAt(offset, size, out);
        const uint64_t from = static_cast<uint64_t>(offset - tailAt);
        *out = from < tail.size() ? tail.substr(static_cast<size_t>(from), size) : std::string();
        return true;
    };
    int64_t at = 0;
    int64_t moovAt = -1;
    uint64_t moovSize = 0;
    size_t moovHeader = 0;
    std::string header;
    for (int count = 0; at < fileSize; ++count) {
        if (count >= kMaxTopLevelBoxes || !readAt(at, 16, &header))
            return false;
        if (header.size() < 8)
            break;
        const Bytes bytes{reinterpret_cast<const uint8_t*>(header.data()), header.size()};
        uint32_t size32 = 0, type = 0;
        bytes.U32(0, &size32);
        bytes.U32(4, &type);
        // The file must look like the MP4 family from its first box on, as FFmpeg's probe sees it.
        if (count == 0 && type != Tag("ftyp") && type != Tag("moov") && type != Tag("mdat") &&
            type != Tag("free") && type != Tag("skip") && type != Tag("wide"))
            return false;
        uint64_t size = size32;
        size_t boxHeader = 8;
        if (size32 == 1) {
            if (!bytes.U64(8, &size))
                return false;
            boxHeader = 16;
        } else if (size32 == 0) {
            size = uint64_t(fileSize - at);
        }
        if (type == Tag("moof"))
            return false;
        if (size < boxHeader)
            return false;
        const bool pastTheEnd = size > uint64_t(fileSize - at);
        if (type == Tag("moov")) {
            if (moovAt >= 0 || pastTheEnd || size - boxHeader > kMaxMoovBytes)
                return false;
            moovAt = at;
            moovSize = size;
            moovHeader = boxHeader;
        }
        // A box cut by the end of the file (the sample data of a recording cut short) is the
        // last one.
        if (pastTheEnd)
            break;
        at += static_cast<int64_t>(size);
    }
    if (moovAt < 0)
        return false;
    std::string moov;
    const size_t payload = static_cast<size_t>(moovSize) - moovHeader;
    if (!readAt(moovAt + int64_t(moovHeader), payload, &moov) || moov.size() != payload)
        return false;
    const Bytes bytes{reinterpret_cast<const uint8_t*>(moov.data()), moov.size()};
    if (!ParseMoov(bytes, samples)) {
        samples->clear();
        return false;
    }
    return true;
}

}  // namespace FilterCore
