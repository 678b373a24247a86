// Test support: a source filter that plays a clip's H.264 samples on a streaming thread of its
// own, as the source filter's video pin does (same media type, start times in 100 ns counted
// from the last seek position, stop times one frame later, key frames as sync points, the
// first sample after each start a discontinuity). A seek flushes downstream, stops the loop and
// starts it again at the key frame at or before the position; the samples before the position
// are marked as preroll.
#pragma once

#include "H264Clip.h"
#include "platform/dshow/streams.h"

namespace h264test {

class CClipSource;

class CClipStream : public CSourceStream, public CMediaTimeSeeking {
public:
    CClipStream(CClipSource* filter, const Clip& clip, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IMediaSeeking: media time only; SetPositions takes an absolute current position.
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadStartPlay() override;
    HRESULT GetMediaType(CMediaType* mediaType) override;
    using CSourceStream::GetMediaType;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    const Clip& m_clip;
    // Guards the position; taken by FillBuffer and the seek, never with the state lock on the
    // streaming thread.
    CCritSec m_positionLock;
    size_t m_next = 0;               // the next sample to deliver
    REFERENCE_TIME m_seekStart = 0;  // the last seek position, 100 ns
    bool m_discontinuity = true;
};

class CClipSource : public CSource {
public:
    // The clip must outlive the filter.
    explicit CClipSource(const Clip& clip);
    IPin* OutputPin() { return m_stream; }
    CClipStream* Stream() { return m_stream; }

private:
    CClipStream* m_stream;  // owned by CSource's pin array
};

}  // namespace h264test
