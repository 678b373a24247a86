// Test support: the H.264 video of an mkcard recording as the source filter's video pin
// delivers it (the media type it offers, the samples with their start times in 100 ns and
// their key-frame flags), and the pictures a plain single-threaded FFmpeg decode of the same
// file gives, converted to UYVY, for telling which sample a delivered picture came from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dshow/streams.h"

namespace h264test {

struct ClipSample {
    std::vector<BYTE> data;
    REFERENCE_TIME start = 0;  // 100 ns from the start of the file
    bool sync = false;
};

struct Clip {
    CMediaType type;      // MEDIATYPE_Video / MEDIASUBTYPE_AVC1 / FORMAT_MPEG2Video with the sets
    LONG bufferSize = 0;  // bytes the source's video pin asks for
    int width = 0;
    int height = 0;
    // The stop time a source pin adds to each start: whole milliseconds of one frame x 10,000.
    REFERENCE_TIME frameDuration = 0;
    std::vector<ClipSample> samples;  // in file (decode) order
    std::vector<BYTE> fileConfig;     // the file's own avcC record
};

// A picture of the reference decode.
struct Picture {
    uint64_t hash = 0;         // of the UYVY picture, rows of width x 2 bytes
    REFERENCE_TIME start = 0;  // the start time of the sample it was decoded from
    size_t sample = 0;         // that sample's index in the clip
};

// The native path of a fixture, for instance "single/normal.mp4".
std::string FixturePath(const std::string& relative);

// Reads the clip through the reading core; false (with a test failure) when it does not open.
bool LoadClip(const std::string& relative, Clip* clip);

// The pictures of the clip's samples in presentation order, decoded from `first` on (a key
// frame) with the flags the decoder filter uses, on one thread; none when the file's own
// configuration does not open a decoder.
std::vector<Picture> ReferencePictures(const Clip& clip, size_t first = 0);

// FNV-1a over the bytes.
uint64_t HashBytes(const BYTE* data, size_t length);

// The reference picture with that hash, or null.
const Picture* FindPicture(const std::vector<Picture>& pictures, uint64_t hash);

}  // namespace h264test
