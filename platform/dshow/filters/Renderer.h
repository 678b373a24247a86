// What the sound and the video renderer share: a filter with one input pin ("In") that renders
// what it receives against the graph's clock.
//
// State. The filter mirrors its state, run start and clock under m_waitLock, so that the
// renderer's own threads (the video presenter, the sound device) and the streaming thread can
// wait on m_waitChanged without the filter's state lock. Every wait ends at once on Stop, on a
// flush and on a seek (which flushes); WaitForStreamTime also ends when the graph pauses.
//
// Cueing. A pause completes (GetState answers S_OK instead of VFW_S_STATE_INTERMEDIATE) once
// the renderer has something to show (SetCued: the video renderer's first picture, the sound
// renderer's first sound) or the stream has ended; every flush and stop cue again.
//
// End of stream. EndOfStream marks the end; EC_COMPLETE goes to the graph once the filter runs
// and the derived renderer says everything received has been rendered (IsRenderedOut), checked
// again with CheckComplete. A flush or a stop forgets the end.
//
// The filter passes IMediaSeeking and IMediaPosition upstream (CPosPassThru) and says through
// IAMFilterMiscFlags that it is a renderer.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "RendererStats.h"
#include "platform/dshow/streams.h"

namespace sysfilters {

class CRendererBase;

class CRendererInputPin final : public CBaseInputPin {
public:
    CRendererInputPin(CRendererBase* renderer, CCritSec* lock, HRESULT* phr);

    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT SetMediaType(const CMediaType* mediaType) override;
    HRESULT BreakConnect() override;
    // The allocator the upstream pin fills: at least the renderer's own buffer count.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;
    const CMediaType& CurrentMediaType() const { return m_mt; }

private:
    CRendererBase* m_pRenderer;
};

class CRendererBase : public CBaseFilter, public IAMFilterMiscFlags, public IKvRendererStats {
public:
    CRendererBase(LPCTSTR name, LPUNKNOWN outer, REFCLSID clsid, HRESULT* phr);
    ~CRendererBase() override;

    DECLARE_IUNKNOWN
    // IMediaSeeking and IMediaPosition (upstream), IAMFilterMiscFlags, then the filter's.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD milliSecsTimeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;

    ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    // IKvRendererStats
    HRESULT STDMETHODCALLTYPE GetCounts(KvRendererCounts* counts) override;
    HRESULT STDMETHODCALLTYPE GetPresentations(KvPresentation* buffer, ULONG capacity,
                                               ULONG* count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;

    // For the input pin.
    virtual HRESULT CheckMediaType(const CMediaType* mediaType) = 0;
    virtual HRESULT SetMediaType(const CMediaType* mediaType) { return S_OK; }
    virtual void BreakConnect() {}
    // Buffers the upstream allocator must have so that the renderer can hold samples.
    virtual LONG MinimumBuffers() { return 1; }
    // A sample on the streaming thread, after the pin's checks. May block (with the waits
    // below) and answers as IMemInputPin::Receive does.
    virtual HRESULT Render(IMediaSample* sample) = 0;
    HRESULT ReceiveEndOfStream();
    void ReceiveBeginFlush();
    void ReceiveEndFlush();
    void ReceiveNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

protected:
    enum class Wake { Due, Flushed, Stopped, Paused };

    // Hooks, each called with no lock of the base held.
    virtual void OnBeginFlush() {}
    virtual void OnEndFlush() {}
    virtual void OnStop() {}
    virtual void OnPause() {}
    virtual void OnRun() {}
    virtual void OnNewSegment(double rate) {}
    // True when everything received has been rendered (for EC_COMPLETE after the end).
    virtual bool IsRenderedOut() { return true; }
    // The derived renderer's own parts of the counts.
    virtual void FillCounts(KvRendererCounts* counts) {}

    // The statistics, from any thread.
    void CountReceived();
    void CountPresented(REFERENCE_TIME sampleStart, REFERENCE_TIME clockTime);
    void CountDropped();
    void CountQualityMessage();

    // Waits until the graph runs and the clock reaches `streamTime` (100 ns of stream time), or
    // until a stop or flush (or a pause, when `endOnPause`) ends the wait. *lateness receives
    // how late the time was when the wait ended with Due (0 or more, 100 ns).
    Wake WaitForStreamTime(REFERENCE_TIME streamTime, bool endOnPause, REFERENCE_TIME* lateness);
    // Waits while the graph is paused (not stopped, not flushing): Due once it runs.
    Wake WaitWhilePaused();
    // Stream time now on the graph's clock; false while not running or without a clock.
    bool StreamTimeNow(REFERENCE_TIME* now);
    void SetCued();
    void CheckComplete();
    bool Flushing();
    FILTER_STATE WaitState();

    CCritSec m_lock;
    CRendererInputPin m_pin;

    std::mutex m_waitLock;
    std::condition_variable m_waitChanged;
    FILTER_STATE m_waitState = State_Stopped;  // m_waitLock
    REFERENCE_TIME m_runStart = 0;             // reference time of stream time 0; m_waitLock
    ComPtr<IReferenceClock> m_clock;           // m_waitLock
    bool m_flushing = false;                   // m_waitLock
    bool m_cued = false;                       // m_waitLock
    bool m_endOfStream = false;                // m_waitLock
    bool m_completeSent = false;               // m_waitLock
    double m_segmentRate = 1.0;                // m_waitLock

private:
    friend class CRendererInputPin;

    CPosPassThru* m_pPosition = nullptr;  // made at the first seeking request; m_lock

    std::mutex m_statsLock;
    KvRendererCounts m_counts{};              // m_statsLock
    std::deque<KvPresentation> m_presented;   // the most recent ones; m_statsLock
};

}  // namespace sysfilters
