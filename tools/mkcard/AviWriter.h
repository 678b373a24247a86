// Writes AVI recordings the way the camera's AVI models do: an H.264 video stream, 16-bit PCM
// sound and a telemetry stream of text chunks ("02tx"), in the layout the viewer's walk reads:
//   RIFF "AVI "
//     LIST hdrl: avih (56 bytes), then one strl per stream; the first is the video's, so its
//                stream header lies at offset 108 and its handler "H264" at offset 112
//     [JUNK]     optional padding
//     LIST movi: the chunks, interleaved in time order
//     idx1       16 bytes per chunk: id, flags, offset, size
// Index offsets point at chunk headers: from the "movi" type code (the standard), or from the
// start of the file in the sample-record style.
#pragma once

#include "AviChunks.h"
#include "Recording.h"

#include <cstdint>

namespace mkcard {

enum class AviDamage {
    None,
    // The file ends half-way through the index (the index size still counts every entry), so
    // reads of the index come up short.
    CutIndex,
    // Every 7th telemetry entry of the index points far past the end of the file.
    IndexPastEnd,
    // The index size field says 0xFFFFFFF0 bytes; the file is otherwise whole.
    HugeIndexSize,
    // The G-sensor chunks of lines 1 to 9 of the text style hold 113 to 121 data bytes, with no
    // zero byte: "gsensor,<size>,<line>,-<line>," and "x" up to the size. A reader takes the
    // first 112 bytes of those up to 120 and skips the one of 121.
    OversizedTextChunks,
    // The video stream's handler is "h264" in lower case.
    LowerCaseHandler,
    // Beside every telemetry chunk lies a chunk of stream 07 ("07dc", 64 bytes that are no
    // picture), which the header does not declare; the index lists them with the others.
    UndeclaredStream,
};

struct AviOptions {
    AviTelemetryStyle style = AviTelemetryStyle::Lines;
    bool junk = true;  // a JUNK chunk between the header list and the movi list
    AviDamage damage = AviDamage::None;
    // A second video stream (01dc) with the rear camera's pictures, as the two-channel AVI
    // models write front and rear into one file; sound and telemetry move to streams 02 and 03.
    bool rearVideo = false;
};

// Index positions that AviDamage::IndexPastEnd gives its entries.
constexpr uint32_t kPastEndOffset = 0x7FFFFF00;
// The chunk id of the stream that AviDamage::UndeclaredStream adds.
constexpr const char* kUndeclaredId = "07dc";

class AviWriter : public RecordingWriter {
public:
    explicit AviWriter(AviOptions options = {}) : m_options(options) {}

    std::string Extension() const override { return "avi"; }
    // Deterministic, like the MP4 writer. The telemetry is the front camera's drive in the
    // chosen style; sound is written when the spec has any (as PCM at its sample rate).
    void Write(const RecordingSpec& spec, const std::filesystem::path& path) const override;

private:
    AviOptions m_options;
};

}  // namespace mkcard
