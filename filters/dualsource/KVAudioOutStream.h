// The audio pin of one reading core: "Front Audio" for core 0, "Rear Audio" for core 1. It
// delivers 16-bit PCM in the byte order its media type says (little-endian): big-endian PCM
// tracks are swapped on the way. Each sample lasts its length at the track's bytes per second,
// truncated to whole milliseconds; every sample is a sync point.
#pragma once

#include "KVOutStream.h"

namespace FilterCore {

class KVAudioOutStream : public KVOutStream {
public:
    KVAudioOutStream(int coreIndex, KVMP4DualSourceFilter* filter, int portIndex, HRESULT* phr);

    // Sample rate x channels x bytes per sample of the delivered sound, or 1 when any of them is
    // not known, so that no duration divides by zero.
    static DWORD BytesPerSecondOf(int sampleRate, int channels, int bytesPerSample);
    // The duration in 100 ns of `length` bytes at `bytesPerSecond` and `rate`: whole
    // milliseconds of sound, then divided by the rate.
    static LONGLONG DurationOf(LONG length, DWORD bytesPerSecond, double rate);

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;
    int TrackStream() override;
    bool ReadCore(CoreSample* sample) override;

private:
    DWORD m_bytesPerSecond = 1;  // set at construction
    int m_codec = 0;             // CoreCodecId of the track
};

}  // namespace FilterCore
