// The H.264 decoder configuration record (the "avcC" box of MP4) that the decoder is opened
// with, rebuilt from the sequence and picture parameter sets an MPEG2VIDEOINFO format block
// carries after its header.
#pragma once

#include <vector>

#include "platform/dshow.h"

struct AvcDecoderConfig {
    // Bytes of each NAL unit's length field in the samples: MPEG2VIDEOINFO's dwFlags (1, 2 or
    // 4; 0 means 4).
    int nalLengthSize = 0;
    // The record: version, profile, compatibility, level, length size, set count, the sets each
    // with its 2-byte big-endian length, then a zero count of separate picture sets. Empty when
    // the format block carries no parameter sets.
    std::vector<BYTE> bytes;

    bool Empty() const { return bytes.empty(); }
};

// Builds the record from a format block of `formatLength` bytes that holds an MPEG2VIDEOINFO.
// The sequence header is read only as far as both cbSequenceHeader and the block reach, and only
// whole parameter sets are taken: every set the record lists lies inside its bytes. A block
// shorter than the MPEG2VIDEOINFO header, or one without parameter sets, gives an empty record.
AvcDecoderConfig BuildAvcConfig(const BYTE* format, ULONG formatLength);
