// Test support: a source filter (CSource) with one output pin (CSourceStream) that sends
// numbered samples of a byte pattern and seeks like a file source.
//
// Sample n (from 0) holds the bytes n, n + 1, n + 2, ... (mod 256) and, counted from the last
// seek, runs from (n - first) * frame duration to the next frame; the first sample after each
// start of play is a discontinuity. FillBuffer ends the stream after the sample count (S_FALSE)
// and fails with the chosen error at the chosen sample. The pin's IMediaSeeking works in media
// time: a seek flushes downstream, stops the streaming loop, and starts it again at the sample
// that contains the new position, which each delivered sample then counts from; SetRate only
// records the rate. FillBuffer can be made to wait for the streaming thread's next request, as
// a source waiting for data does, and give up when it comes. Quality messages that reach the pin
// are recorded.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/dshow/streams.h"

namespace dshowtest {

DEFINE_GUID(MEDIASUBTYPE_TestPattern, 0x8C3A51E2, 0x6D04, 0x4F19, 0xB7, 0x2E, 0x11, 0x90, 0x5A,
            0x6B, 0xC3, 0xD8);

struct PatternOptions {
    GUID majorType = MEDIATYPE_Video;
    GUID subtype = MEDIASUBTYPE_TestPattern;
    LONG sampleBytes = 64;                  // bytes of data in each sample
    LONG buffers = 2;                       // buffers the pin asks its allocator for
    LONGLONG sampleCount = 10;              // samples before the end; -1 never ends
    REFERENCE_TIME frameDuration = 400000;  // 100 ns
    int syncEvery = 1;                      // every n-th sample is a sync point
    LONGLONG failAt = -1;                   // FillBuffer fails at this sample
    HRESULT failWith = E_FAIL;
    HRESULT threadCreateResult = S_OK;   // what OnThreadCreate answers
    LONGLONG typeChangeAt = -1;          // this sample carries a media type of...
    GUID typeChangeSubtype = GUID_NULL;  // ...the pin's type with this subtype
    LONGLONG waitForStopAt = -1;  // the first FillBuffer for this sample waits for a request to
                                  // the streaming thread, then gives up (S_FALSE)
};

class CPatternSource;

class CPatternStream : public CSourceStream, public CMediaTimeSeeking {
public:
    CPatternStream(CPatternSource* filter, const PatternOptions& options, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IQualityControl: records the message.
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* self, Quality quality) override;

    // IMediaSeeking
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;

    // What happened, safe on any thread.
    int ThreadCreates();
    int ThreadDestroys();
    int StartPlays();
    std::vector<Quality> QualityMessages();
    std::vector<LONGLONG> Seeks();  // the positions of SetPositions calls with a current position
    // Waits until FillBuffer waits for a request (waitForStopAt); false when the time
    // (milliseconds) ran out first.
    bool WaitUntilWaitingForRequest(DWORD timeout = 20000);

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    HRESULT OnThreadStartPlay() override;
    HRESULT GetMediaType(CMediaType* mediaType) override;
    using CSourceStream::GetMediaType;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    const PatternOptions m_options;
    // Guards everything below; taken by FillBuffer and the seeking calls, never together with
    // the filter's state lock on the streaming thread.
    CCritSec m_sharedLock;
    LONGLONG m_next = 0;   // the next sample to fill
    LONGLONG m_first = 0;  // the sample the last seek started at
    bool m_discontinuity = true;
    double m_rate = 1.0;
    int m_threadCreates = 0;
    int m_threadDestroys = 0;
    int m_startPlays = 0;
    std::vector<Quality> m_quality;
    std::vector<LONGLONG> m_seeks;
    bool m_waitedForStop = false;
    std::mutex m_waitLock;
    std::condition_variable m_waitChanged;
    bool m_waitingForRequest = false;  // guarded by m_waitLock
};

class CPatternSource : public CSource {
public:
    explicit CPatternSource(const PatternOptions& options = PatternOptions());

    CPatternStream* Stream() { return m_stream; }
    IPin* OutputPin() { return m_stream; }

private:
    CPatternStream* m_stream;  // owned by CSource's pin array
};

}  // namespace dshowtest
