// What a system renderer tells about its work, for tests and benchmarks: an interface of the
// layer's own (not Windows'), answered by the sound and the video renderer.
#pragma once

#include "platform/dshow.h"

// {6B1B8C52-2E55-4F0B-9C2A-3A1C6F3D7E41}
DEFINE_GUID(IID_IKvRendererStats, 0x6B1B8C52, 0x2E55, 0x4F0B, 0x9C, 0x2A, 0x3A, 0x1C, 0x6F, 0x3D,
            0x7E, 0x41);

// One picture shown, or one block of sound handed to the device: the sample's start (stream
// time, 100 ns) and the stream time on the graph's clock when it was shown (for sound: the
// clock's stream time at the start of the device's block that played it).
struct KvPresentation {
    REFERENCE_TIME sampleStart;
    REFERENCE_TIME clockTime;
};

struct KvRendererCounts {
    LONG received;   // samples taken from upstream since the renderer was made
    LONG presented;  // pictures painted (sound: blocks played)
    LONG dropped;    // late pictures not painted (sound: blocks thrown away)
    LONG qualityMessages;  // lateness reports sent upstream
    // Sound only: frames the device consumed and the gain last applied to the left and right
    // channels (1.0 = full level).
    LONGLONG framesPlayed;
    double gainLeft;
    double gainRight;
    LONG deviceIsReal;  // 1 when SDL audio plays the sound, 0 for the null device
    // Sound only: the largest magnitude handed to the device on the left and the right channel
    // since the last Reset (0..32768).
    LONG peakLeft;
    LONG peakRight;
};

struct IKvRendererStats : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCounts(KvRendererCounts* counts) = 0;
    // The most recent presentations, oldest first: up to `capacity`, *count how many.
    virtual HRESULT STDMETHODCALLTYPE GetPresentations(KvPresentation* buffer, ULONG capacity,
                                                       ULONG* count) = 0;
    // Forgets the presentations and counts.
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;

protected:
    ~IKvRendererStats() = default;
};
DECLARE_INTERFACE_ID(IKvRendererStats, IID_IKvRendererStats);
