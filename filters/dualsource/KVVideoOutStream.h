// The video pin of one reading core: "Front Video" for core 0, "Rear Video" for core 1. Each
// sample lasts one frame: 1000 / frame rate truncated to whole milliseconds (330,000 at
// 30 frames per second, not 333,333), or 1 when the frame rate is not known.
#pragma once

#include "KVOutStream.h"

namespace FilterCore {

class KVVideoOutStream : public KVOutStream {
public:
    KVVideoOutStream(int coreIndex, KVMP4DualSourceFilter* filter, int portIndex, HRESULT* phr);

    // The frame duration in 100 ns for a frame rate in frames per second.
    static LONGLONG FrameDurationOf(double frameRate);

protected:
    // Delivers the next video packet as it is stored, with its key-frame flag as the sync point.
    HRESULT FillBuffer(IMediaSample* sample) override;
    int TrackStream() override;
    bool ReadCore(CoreSample* sample) override;

private:
    LONGLONG m_rtFrameDuration = 1;  // 100 ns; set at construction
};

}  // namespace FilterCore
