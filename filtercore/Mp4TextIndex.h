// Where the text samples of an MP4 recording lie, read from the file's own index (the moov box)
// without opening the file through FFmpeg: only the boxes the first text track needs are
// parsed, from one read of the moov box. The answer is FFmpeg's own index of that track, entry
// for entry, for the files this parser is sure of; for anything else (fragments, compressed or
// missing headers, edit lists that cut samples, tracks of kinds it does not know, damaged or
// ambiguous boxes) it declines, and the caller asks FFmpeg.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace FilterCore {

struct TextSampleSpan {
    int64_t pos;   // byte offset in the file; a negative offset ends the track
    int64_t size;  // bytes
};

// Reads up to `size` bytes at `offset` into `out` (resized to what was read); false when the
// read fails. A read at or past the end gives no bytes.
typedef std::function<bool(int64_t offset, size_t size, std::string* out)> ReadAtFunction;

// Fills `samples` with the spans of the first text track's samples, in index order, and
// returns true; false (samples cleared) when the file is not one this parser is sure of,
// including files with no text track. `fileSize` is the file's length in bytes.
bool ReadMp4TextIndex(const ReadAtFunction& readAt, int64_t fileSize,
                      std::vector<TextSampleSpan>* samples);

}  // namespace FilterCore
