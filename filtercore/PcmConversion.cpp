#include "filtercore/PcmConversion.h"

#include <cmath>
#include <cstring>

namespace FilterCore {

int16_t FloatToPcm16(float value)
{
    // NaN becomes 0, the rest is clamped to [-1, 1], both exactly in single precision (which
    // leaves four values to a vector where double precision leaves two). In double precision
    // the product and the half added are exact, so truncating rounds the exact product half
    // away from zero.
    float v = value == value ? value : 0.0f;
    v = v > 1.0f ? 1.0f : v;
    v = v < -1.0f ? -1.0f : v;
    double scaled = static_cast<double>(v) * 32767.0;
    return static_cast<int16_t>(static_cast<int32_t>(scaled + std::copysign(0.5, scaled)));
}

int InterleaveFloatPlanes(const float* const* planes, int channels, int samples, BYTE* out,
                          int capacity)
{
    if (!planes || !out || channels <= 0 || samples <= 0 || capacity <= 0)
        return 0;
    const int frameBytes = channels * 2;
    int frames = capacity / frameBytes;
    if (frames > samples)
        frames = samples;
    if (channels == 2) {
        // Stereo, the cameras' format, in one pass the compiler can vectorise.
        const float* left = planes[0];
        const float* right = planes[1];
        int16_t pair[2];
        for (int s = 0; s < frames; ++s) {
            pair[0] = FloatToPcm16(left[s]);
            pair[1] = FloatToPcm16(right[s]);
            std::memcpy(out + 4 * s, pair, sizeof pair);
        }
        return frames * frameBytes;
    }
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
