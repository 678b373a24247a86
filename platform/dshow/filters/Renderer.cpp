#include "Renderer.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace sysfilters {

namespace {

// Longest single sleep of a clock wait, so that a clock that is not the system's (the sound
// renderer's, a test's) is looked at again soon: milliseconds.
constexpr REFERENCE_TIME kLongestSleep = 10 * 10000;

// An allocator that gives at least `minimum` buffers whatever its user asks for, so that a
// renderer may hold samples (a picture queued for its time) while its upstream filter fills
// the next.
class CMinimumAllocator final : public CMemAllocator {
public:
    CMinimumAllocator(LONG minimum, HRESULT* phr)
        : CMemAllocator(NAME("Renderer allocator"), nullptr, phr), m_minimum(minimum)
    {
    }

    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                            ALLOCATOR_PROPERTIES* actual) override
    {
        if (!request)
            return E_POINTER;
        ALLOCATOR_PROPERTIES raised = *request;
        raised.cBuffers = std::max(raised.cBuffers, m_minimum);
        return CMemAllocator::SetProperties(&raised, actual);
    }

private:
    const LONG m_minimum;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Input pin

CRendererInputPin::CRendererInputPin(CRendererBase* renderer, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(NAME("Renderer input"), renderer, lock, phr, L"In"), m_pRenderer(renderer)
{
}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* mediaType)
{
    return m_pRenderer->CheckMediaType(mediaType);
}

HRESULT CRendererInputPin::SetMediaType(const CMediaType* mediaType)
{
    HRESULT hr = CBaseInputPin::SetMediaType(mediaType);
    if (FAILED(hr))
        return hr;
    return m_pRenderer->SetMediaType(mediaType);
}

HRESULT CRendererInputPin::BreakConnect()
{
    m_pRenderer->BreakConnect();
    return CBaseInputPin::BreakConnect();
}

HRESULT STDMETHODCALLTYPE CRendererInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator) {
        HRESULT hr = S_OK;
        auto* made = new (std::nothrow) CMinimumAllocator(m_pRenderer->MinimumBuffers(), &hr);
        if (!made)
            return E_OUTOFMEMORY;
        if (FAILED(hr)) {
            delete made;
            return hr;
        }
        hr = made->NonDelegatingQueryInterface(IID_IMemAllocator,
                                               reinterpret_cast<void**>(&m_pAllocator));
        if (FAILED(hr))
            return hr;
    }
    *allocator = m_pAllocator;  // the caller releases it
    m_pAllocator->AddRef();
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CRendererInputPin::NotifyAllocator(IMemAllocator* allocator,
                                                             BOOL readOnly)
{
    return CBaseInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT STDMETHODCALLTYPE CRendererInputPin::Receive(IMediaSample* sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    m_pRenderer->CountReceived();
    return m_pRenderer->Render(sample);
}

HRESULT STDMETHODCALLTYPE CRendererInputPin::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;
    return m_pRenderer->ReceiveEndOfStream();
}

HRESULT STDMETHODCALLTYPE CRendererInputPin::BeginFlush()
{
    CBaseInputPin::BeginFlush();
    m_pRenderer->ReceiveBeginFlush();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CRendererInputPin::EndFlush()
{
    m_pRenderer->ReceiveEndFlush();
    return CBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE CRendererInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                        double rate)
{
    CBasePin::NewSegment(start, stop, rate);
    m_pRenderer->ReceiveNewSegment(start, stop, rate);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// The filter

CRendererBase::CRendererBase(LPCTSTR name, LPUNKNOWN outer, REFCLSID clsid, HRESULT* phr)
    : CBaseFilter(name, outer, &m_lock, clsid), m_pin(this, &m_lock, phr)
{
}

CRendererBase::~CRendererBase()
{
    if (m_pPosition)
        m_pPosition->NonDelegatingRelease();
}

HRESULT STDMETHODCALLTYPE CRendererBase::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IMediaSeeking) || IsEqualIID(iid, IID_IMediaPosition)) {
        CAutoLock lock(&m_lock);
        if (!m_pPosition) {
            HRESULT hr = S_OK;
            auto* position =
                new (std::nothrow) CPosPassThru(NAME("Renderer seeking"), GetOwner(), &hr, &m_pin);
            if (!position)
                return E_OUTOFMEMORY;
            position->NonDelegatingAddRef();  // the filter's reference, released at its end
            m_pPosition = position;
        }
        return m_pPosition->NonDelegatingQueryInterface(iid, object);
    }
    if (IsEqualIID(iid, IID_IAMFilterMiscFlags))
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
    if (IsEqualIID(iid, IID_IKvRendererStats))
        return GetInterface(static_cast<IKvRendererStats*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CBasePin* CRendererBase::GetPin(int index)
{
    return index == 0 ? &m_pin : nullptr;
}

HRESULT STDMETHODCALLTYPE CRendererBase::Stop()
{
    CAutoLock lock(&m_lock);
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        m_waitState = State_Stopped;
        m_cued = false;
        m_endOfStream = false;
        m_completeSent = false;
        m_waitChanged.notify_all();
    }
    OnStop();
    // Decommits the allocator: an upstream filter waiting for a buffer wakes.
    return CBaseFilter::Stop();
}

HRESULT STDMETHODCALLTYPE CRendererBase::Pause()
{
    CAutoLock lock(&m_lock);
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr))
        return hr;
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        m_waitState = State_Paused;
        if (!m_pin.IsConnected())
            m_cued = true;  // nothing will come: the pause is complete at once
        m_clock = ComPtr<IReferenceClock>(m_pClock);
        m_waitChanged.notify_all();
    }
    OnPause();
    return hr;
}

HRESULT STDMETHODCALLTYPE CRendererBase::Run(REFERENCE_TIME start)
{
    CAutoLock lock(&m_lock);
    HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr))
        return hr;
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        m_waitState = State_Running;
        m_runStart = start;
        m_clock = ComPtr<IReferenceClock>(m_pClock);
        m_waitChanged.notify_all();
    }
    OnRun();
    // An unconnected renderer, or one whose stream ended while paused, is done at once.
    if (!m_pin.IsConnected()) {
        std::lock_guard<std::mutex> guard(m_waitLock);
        m_endOfStream = true;
    }
    CheckComplete();
    return hr;
}

HRESULT STDMETHODCALLTYPE CRendererBase::GetState(DWORD milliSecsTimeout, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    std::unique_lock<std::mutex> lock(m_waitLock);
    auto cued = [this] {
        return m_waitState != State_Paused || m_cued || m_endOfStream || m_flushing;
    };
    if (milliSecsTimeout == INFINITE)
        m_waitChanged.wait(lock, cued);
    else
        m_waitChanged.wait_for(lock, std::chrono::milliseconds(milliSecsTimeout), cued);
    *state = m_waitState;
    return cued() ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT STDMETHODCALLTYPE CRendererBase::SetSyncSource(IReferenceClock* clock)
{
    HRESULT hr = CBaseFilter::SetSyncSource(clock);
    std::lock_guard<std::mutex> guard(m_waitLock);
    m_clock = ComPtr<IReferenceClock>(clock);
    m_waitChanged.notify_all();
    return hr;
}

HRESULT CRendererBase::ReceiveEndOfStream()
{
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        if (m_flushing || m_waitState == State_Stopped)
            return S_OK;
        m_endOfStream = true;
        m_waitChanged.notify_all();
    }
    CheckComplete();
    return S_OK;
}

void CRendererBase::ReceiveBeginFlush()
{
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        m_flushing = true;
        m_waitChanged.notify_all();
    }
    OnBeginFlush();
}

void CRendererBase::ReceiveEndFlush()
{
    OnEndFlush();
    std::lock_guard<std::mutex> guard(m_waitLock);
    m_flushing = false;
    m_cued = false;  // the new position's first picture completes the pause again
    m_endOfStream = false;
    m_completeSent = false;
    m_waitChanged.notify_all();
}

void CRendererBase::ReceiveNewSegment(REFERENCE_TIME, REFERENCE_TIME, double rate)
{
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        m_segmentRate = rate > 0 ? rate : 1.0;
    }
    OnNewSegment(rate > 0 ? rate : 1.0);
}

void CRendererBase::SetCued()
{
    std::lock_guard<std::mutex> guard(m_waitLock);
    if (!m_cued) {
        m_cued = true;
        m_waitChanged.notify_all();
    }
}

void CRendererBase::CheckComplete()
{
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        if (!m_endOfStream || m_completeSent || m_flushing || m_waitState != State_Running)
            return;
    }
    if (!IsRenderedOut())
        return;
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        if (m_completeSent || !m_endOfStream || m_waitState != State_Running)
            return;
        m_completeSent = true;
    }
    NotifyEvent(EC_COMPLETE, S_OK, 0);
}

bool CRendererBase::Flushing()
{
    std::lock_guard<std::mutex> guard(m_waitLock);
    return m_flushing;
}

FILTER_STATE CRendererBase::WaitState()
{
    std::lock_guard<std::mutex> guard(m_waitLock);
    return m_waitState;
}

bool CRendererBase::StreamTimeNow(REFERENCE_TIME* now)
{
    ComPtr<IReferenceClock> clock;
    REFERENCE_TIME start = 0;
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        if (m_waitState != State_Running || !m_clock)
            return false;
        clock = m_clock;
        start = m_runStart;
    }
    REFERENCE_TIME time = 0;
    if (FAILED(clock->GetTime(&time)))
        return false;
    *now = time - start;
    return true;
}

CRendererBase::Wake CRendererBase::WaitWhilePaused()
{
    std::unique_lock<std::mutex> lock(m_waitLock);
    m_waitChanged.wait(lock, [this] { return m_flushing || m_waitState != State_Paused; });
    if (m_flushing)
        return Wake::Flushed;
    return m_waitState == State_Stopped ? Wake::Stopped : Wake::Due;
}

CRendererBase::Wake CRendererBase::WaitForStreamTime(REFERENCE_TIME streamTime, bool endOnPause,
                                                     REFERENCE_TIME* lateness)
{
    if (lateness)
        *lateness = 0;
    std::unique_lock<std::mutex> lock(m_waitLock);
    for (;;) {
        if (m_flushing)
            return Wake::Flushed;
        if (m_waitState == State_Stopped)
            return Wake::Stopped;
        if (m_waitState == State_Paused) {
            if (endOnPause)
                return Wake::Paused;
            m_waitChanged.wait(lock);
            continue;
        }
        if (!m_clock)
            return Wake::Due;  // no clock: as fast as the samples come
        ComPtr<IReferenceClock> clock = m_clock;
        const REFERENCE_TIME due = m_runStart + streamTime;
        lock.unlock();
        REFERENCE_TIME now = 0;
        const bool known = SUCCEEDED(clock->GetTime(&now));
        lock.lock();
        if (!known)
            return Wake::Due;
        if (m_flushing || m_waitState != State_Running || m_runStart + streamTime != due)
            continue;  // something changed meanwhile: look again
        if (now >= due) {
            if (lateness)
                *lateness = now - due;
            return Wake::Due;
        }
        const REFERENCE_TIME sleep = std::min(due - now, kLongestSleep);
        m_waitChanged.wait_for(lock, std::chrono::microseconds(sleep / 10));
    }
}

// ---------------------------------------------------------------------------------------------
// Statistics

namespace {
constexpr size_t kPresentationsKept = 8192;
}

void CRendererBase::CountReceived()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_counts.received;
}

void CRendererBase::CountPresented(REFERENCE_TIME sampleStart, REFERENCE_TIME clockTime)
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_counts.presented;
    m_presented.push_back({sampleStart, clockTime});
    if (m_presented.size() > kPresentationsKept)
        m_presented.pop_front();
}

void CRendererBase::CountDropped()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_counts.dropped;
}

void CRendererBase::CountQualityMessage()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_counts.qualityMessages;
}

HRESULT STDMETHODCALLTYPE CRendererBase::GetCounts(KvRendererCounts* counts)
{
    if (!counts)
        return E_POINTER;
    {
        std::lock_guard<std::mutex> guard(m_statsLock);
        *counts = m_counts;
    }
    FillCounts(counts);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CRendererBase::GetPresentations(KvPresentation* buffer, ULONG capacity,
                                                           ULONG* count)
{
    if (!count || (!buffer && capacity > 0))
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_statsLock);
    const size_t n = std::min<size_t>(capacity, m_presented.size());
    std::copy(m_presented.end() - std::ptrdiff_t(n), m_presented.end(), buffer);
    *count = ULONG(n);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CRendererBase::Reset()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    m_counts = KvRendererCounts{};
    m_presented.clear();
    return S_OK;
}

}  // namespace sysfilters
