// Test support: a renderer that presents nothing and records everything it receives, and a
// stand-in graph that records the events filters post.
//
// CNullRenderer has one input pin built on CBaseInputPin. It takes every sample at once (no
// clock), unless told to hold them, and records each one with its times and flags, every end of
// stream, flush and new segment. It behaves as a renderer towards the graph: it answers
// IAMFilterMiscFlags with AM_FILTER_MISC_FLAGS_IS_RENDERER, passes IMediaSeeking and
// IMediaPosition upstream (CPosPassThru), and posts EC_COMPLETE once per stream end: at the end
// of stream while running, or at the next Run when the end came while paused. A flush or a
// stop forgets the end. Waits are bounded so that a failing test ends instead of hanging.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/dshow/streams.h"

namespace dshowtest {

// One received sample.
struct SampleRecord {
    HRESULT timeResult = S_OK;  // GetTime's answer: S_OK, VFW_S_NO_STOP_TIME or an error
    REFERENCE_TIME start = 0;   // 100 ns, valid when timeResult succeeded
    REFERENCE_TIME stop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    bool preroll = false;
    LONG length = 0;           // actual data length in bytes
    std::vector<BYTE> data;    // the first bytes of the data (up to the renderer's limit)
    bool typeChanged = false;  // the sample carried a media type
    GUID carriedSubtype = GUID_NULL;
};

struct SegmentRecord {
    REFERENCE_TIME start;
    REFERENCE_TIME stop;
    double rate;
};

class CNullRenderer;

class CNullRendererInputPin : public CBaseInputPin {
public:
    CNullRendererInputPin(CNullRenderer* renderer, HRESULT* phr);

    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;
    HRESULT Inactive() override;

private:
    CNullRenderer* m_renderer;
};

class CNullRenderer : public CBaseFilter, public IAMFilterMiscFlags {
public:
    // accept decides which media types the input pin takes; null takes every type.
    explicit CNullRenderer(std::function<bool(const CMediaType&)> accept = nullptr);
    ~CNullRenderer() override;

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;

    ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    IPin* InputPin() { return &m_pin; }

    // Records, safe on any thread.
    std::vector<SampleRecord> Samples();
    size_t SampleCount();
    std::vector<SegmentRecord> Segments();
    int EndOfStreamCount();
    int BeginFlushCount();
    int EndFlushCount();
    int CompleteCount();  // EC_COMPLETE notifications posted
    void ClearRecords();

    // Waits until at least `count` samples (ends of stream) have been recorded since the last
    // ClearRecords; false when the time (milliseconds) ran out first.
    bool WaitForSamples(size_t count, DWORD timeout = 20000);
    bool WaitForEndOfStream(int count = 1, DWORD timeout = 20000);

    // Holding: Receive keeps each sample (and blocks its caller) until the hold is lifted, a
    // flush begins or the renderer stops; the samples held so far are then released.
    void SetHold(bool hold);
    // Waits until a Receive is blocked on the hold.
    bool WaitForHeld(DWORD timeout = 20000);

    // Keeping: Receive returns at once but the renderer keeps a reference to each sample, as a
    // renderer queueing pictures does, so the sender's allocator runs dry. The samples go back
    // at a flush, at a stop, or with ReleaseKept.
    void SetKeepSamples(bool keep);
    void ReleaseKept();

    // How many bytes of each sample's data are kept in its record (default 16).
    void SetKeptBytes(size_t bytes);

    // The media type the allocator puts on the next sample it hands out, as a renderer does to
    // ask its upstream filter for a new format.
    void AttachTypeToNextSample(const CMediaType& type);

    // Sends a quality message upstream, as a renderer that falls behind does.
    HRESULT SendQuality(Quality quality);

private:
    friend class CNullRendererInputPin;

    HRESULT OnReceive(IMediaSample* sample);
    HRESULT OnEndOfStream();
    void OnBeginFlush();
    void OnEndFlush();
    void OnNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    // Ends the holding of every Receive blocked now (flush, stop) and gives back kept samples.
    void ReleaseHeld();

    CCritSec m_stateLock;
    CNullRendererInputPin m_pin;
    std::function<bool(const CMediaType&)> m_accept;
    CPosPassThru* m_position = nullptr;    // one reference; made at the first seeking request
    IMemAllocator* m_allocator = nullptr;  // the allocator the input pin offers; one reference

    std::mutex m_lock;
    std::condition_variable m_changed;
    // Guarded by m_lock:
    std::vector<SampleRecord> m_samples;
    std::vector<SegmentRecord> m_segments;
    int m_endOfStream = 0;
    int m_beginFlush = 0;
    int m_endFlush = 0;
    int m_complete = 0;
    bool m_running = false;
    bool m_endPending = false;  // an end of stream not yet reported with EC_COMPLETE
    bool m_completeSent = false;
    bool m_hold = false;
    unsigned m_holdGeneration = 0;  // advanced by flushes and stops, which release held samples
    // No sample is held while a flush runs or the renderer is stopped: a Receive that began
    // before the flush or the stop and reaches the hold after it would otherwise wait for a
    // release that already happened.
    bool m_flushing = false;
    bool m_stopped = true;
    int m_held = 0;                 // Receive calls blocked on the hold now
    bool m_keep = false;
    std::vector<IMediaSample*> m_kept;  // one reference each
    size_t m_keptBytes = 16;
};

// A stand-in for the filter graph as far as filters see it: JoinFilterGraph gets its
// IFilterGraph, and the events that filters post through IMediaEventSink are recorded. The
// graph operations are not offered (E_NOTIMPL): tests connect and run filters themselves.
class CEventRecorder final : public IFilterGraph, public IMediaEventSink {
public:
    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    CEventRecorder() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2) override;

    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* filter, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) override;
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** enumFilters) override;
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* output, IPin* input,
                                            const AM_MEDIA_TYPE* mediaType) override;
    HRESULT STDMETHODCALLTYPE Reconnect(IPin* pin) override;
    HRESULT STDMETHODCALLTYPE Disconnect(IPin* pin) override;
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override;

    std::vector<Event> Events();
    int Count(LONG eventCode);
    // Waits until `count` events of the code have come; false when the time ran out first.
    bool WaitFor(LONG eventCode, int count = 1, DWORD timeout = 20000);

private:
    ~CEventRecorder() = default;

    platform::RefCount m_cRef{0};
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Event> m_events;  // guarded by m_lock
};

}  // namespace dshowtest
