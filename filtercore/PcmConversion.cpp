#include "filtercore/PcmConversion.h"

#include <cmath>
#include <cstring>

namespace FilterCore {

int16_t FloatToPcm16(float value)
{
    if (std::isnan(value)) return 0;
    if (value > 1.0f) value = 1.0f;
    if (value < -1.0f) value = -1.0f;
    return static_cast<int16_t>(std::lround(value * 32767.0f));
}

int InterleaveFloatPlanes(const float* const* planes, int channels, int samples, BYTE* out,
                          int capacity)
{
    if (!planes || !out || channels <= 0 || samples <= 0 || capacity <= 0) return 0;
    const int frameBytes = channels * 2;
    int frames = capacity / frameBytes;
    if (frames > samples) frames = samples;
    BYTE* write = out;
    for (int s = 0; s < frames; ++s) {
        for (int c = 0; c < channels; ++c) {
            int16_t value = FloatToPcm16(planes[c][s]);
            std::memcpy(write, &value, sizeof value);
            write += sizeof value;
        }
    }
    return frames * frameBytes;
}

}  // namespace FilterCore
