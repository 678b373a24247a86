// Damage done to a written MP4 on purpose, the way recordings arrive broken from cards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace mkcard {

struct BoxSpan {
    uint64_t offset;  // of the box header in the file
    uint64_t size;    // of the whole box, header included
    uint32_t header;  // bytes of the header (8, or 16 with a 64-bit size)
};

// Finds the box at the given path of four-character types ("moov/trak/mdia/minf/stbl/stsd/
// avc1/avcC"), descending through container boxes and the sample-description entries; the first
// match at each level is taken. Empty when the path does not exist or the file is malformed.
std::optional<BoxSpan> FindBox(const std::string& bytes, const std::string& path);

// Cuts the file at the start of its top-level moov box, as a recording interrupted before its
// index was written: the media data stays, the index is lost. Throws when there is no moov box
// after the media data.
void CutIndex(const std::filesystem::path& file);

// Corrupts the video track's AVC configuration record in place: the length of its first
// sequence parameter set is set to point far past the end of the record. The version byte and
// the box sizes stay, so the record looks well-formed until its lengths are followed. Throws
// when the file has no avcC box.
void BreakAvcConfiguration(const std::filesystem::path& file);

// Makes every sample of the text track claim 1,000,000 bytes at the offset of its first sample
// (a patched sample-size and chunk-offset table), as a hostile file would: a reader that trusts
// the index reads far more than the file holds, once per sample. Throws when the file has no
// text track with one sample per chunk.
void InflateTextSamples(const std::filesystem::path& file);

}  // namespace mkcard
