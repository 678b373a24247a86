// The telemetry of AVI recordings: what the camera puts into each telemetry chunk. Pure data,
// no FFmpeg, so that tests can compute what a recording holds.
#pragma once

#include "Telemetry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mkcard {

enum class AviTelemetryStyle {
    // 72-byte sample records, one per telemetry line (ten a second). Their index entries give
    // chunk positions from the start of the file.
    Samples,
    // Text chunks (index positions from the "movi" list) for recordings with old-style names:
    // the first chunk of each second is a sentence-and-values pair on even seconds and a
    // "GPRMC" line on odd ones, the other nine are "gsensor" lines.
    Lines,
    // Text chunks for recordings with new-style names: the first chunk of each second is a
    // pair on even seconds and a "G$GPRMC" line on odd ones, the other nine are "M" lines
    // ("M", three axis bytes of 128 + value / 10 in 1/128 g, then 1, 1, 1).
    NewLines,
};

// One telemetry chunk's content.
struct AviTelemetryChunk {
    std::string payload;  // the chunk's data bytes
    // For text chunks: a pair holds an NMEA sentence and "z,y,x" values (both below); any other
    // text chunk holds one line.
    bool pair = false;
    std::string sentence;
    std::string values;
    std::string line;
};

// The 72-byte sample record's layout (little-endian).
constexpr size_t kSampleRecordBytes = 72;
constexpr uint32_t kSampleMagic = 0x1FF;
constexpr uint32_t kSampleFormat = 0x5A03260A;  // the reader looks at the low 24 bits only
constexpr uint32_t kSampleTickUnits = 3276800;  // sub-second counter units per G-sensor tick
// Two records of every sample recording that the reader must pass over: in second 1 (from the
// recording's start) the record of line 5 carries flag bits 0x3 (not usable), and in second 2
// the record of line 7 repeats the tick of line 6 (no new G-sensor reading).
constexpr int kFlaggedSampleLine = 15;
constexpr int kRepeatedTickLine = 27;

// A text chunk's data is at most 112 bytes; a pair fills exactly that.
constexpr size_t kTextChunkData = 112;

// The chunks of one recording, one per telemetry line, in line order.
std::vector<AviTelemetryChunk> AviTelemetryChunks(const TelemetryPlan& plan,
                                                  AviTelemetryStyle style);

// A coordinate in the NMEA form ddmm.mmmm (degrees x 100 + minutes), negative for south and
// west, as the sample records carry it.
double NmeaCoordinate(double degrees);

}  // namespace mkcard
