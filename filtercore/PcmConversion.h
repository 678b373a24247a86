// Decoded floating-point sound to the 16-bit PCM that the audio port announces.
#pragma once

#include <cstdint>

#include "platform/base.h"

namespace FilterCore {

// Clamps to [-1, 1], scales by 32767 and rounds half away from zero; NaN gives 0.
int16_t FloatToPcm16(float value);

// Interleaves `channels` planes of `samples` floats each (sample 0 of every channel, then
// sample 1, ...) into native-endian 16-bit values at `out`. Writes only whole sample frames and
// never more than `capacity` bytes. Returns the bytes written.
int InterleaveFloatPlanes(const float* const* planes, int channels, int samples, BYTE* out,
                          int capacity);

}  // namespace FilterCore
