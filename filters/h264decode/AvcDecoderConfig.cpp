#include "filters/h264decode/AvcDecoderConfig.h"

#include <algorithm>
#include <cstring>

AvcDecoderConfig BuildAvcConfig(const BYTE* format, ULONG formatLength)
{
    AvcDecoderConfig config;
    if (!format || formatLength < SIZE_MPEG2VIDEOINFO_HEADER)
        return config;
    MPEG2VIDEOINFO info;
    std::memcpy(&info, format, SIZE_MPEG2VIDEOINFO_HEADER);
    config.nalLengthSize = info.dwFlags ? static_cast<int>(info.dwFlags) : 4;
    if (info.cbSequenceHeader == 0)
        return config;

    const BYTE* sets = format + SIZE_MPEG2VIDEOINFO_HEADER;
    const size_t available =
        std::min<size_t>(info.cbSequenceHeader, formatLength - SIZE_MPEG2VIDEOINFO_HEADER);
    // Count the whole sets: each is its 2-byte length and that many bytes. The count byte holds
    // at most 31 sets, and the record must end right after the sets it counts, because the
    // decoder reads the next byte as the number of separate picture sets.
    size_t used = 0;
    int count = 0;
    while (count < 31 && used + 2 <= available) {
        const size_t length = (static_cast<size_t>(sets[used]) << 8) | sets[used + 1];
        if (used + 2 + length > available)
            break;
        used += 2 + length;
        ++count;
    }
    if (count == 0)
        return config;

    config.bytes.assign(used + 7, 0);
    BYTE* record = config.bytes.data();
    record[0] = 1;  // configuration version
    record[1] = static_cast<BYTE>(info.dwProfile);
    record[2] = 0;  // profile compatibility
    record[3] = static_cast<BYTE>(info.dwLevel);
    record[4] = static_cast<BYTE>((config.nalLengthSize - 1) & 3);
    record[5] = static_cast<BYTE>(count);
    std::memcpy(record + 6, sets, used);
    // record[6 + used] stays 0: no separate list of picture sets follows; the decoder takes
    // every set of the first list by its own NAL type.
    return config;
}
