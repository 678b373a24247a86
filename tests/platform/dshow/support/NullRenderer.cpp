#include "NullRenderer.h"

#include <algorithm>
#include <chrono>

namespace dshowtest {
namespace {

// CLSID of the test renderer; not registered anywhere.
DEFINE_GUID(CLSID_TestNullRenderer, 0x5E1D7A41, 0x0B2C, 0x4E8F, 0x9A, 0x61, 0x3C, 0x27, 0x8D, 0x10,
            0x44, 0x5B);

// The renderer's allocator: ordinary memory, and a media type to put on the next sample it
// hands out.
class CTypedAllocator final : public CMemAllocator {
public:
    explicit CTypedAllocator(HRESULT* phr) : CMemAllocator(NAME("Null renderer"), nullptr, phr) {}

    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** buffer, REFERENCE_TIME* startTime,
                                        REFERENCE_TIME* endTime, DWORD flags) override
    {
        HRESULT hr = CMemAllocator::GetBuffer(buffer, startTime, endTime, flags);
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> guard(m_typeLock);
        if (m_pending) {
            (*buffer)->SetMediaType(&m_type);
            m_pending = false;
        }
        return hr;
    }

    void AttachToNext(const CMediaType& type)
    {
        std::lock_guard<std::mutex> guard(m_typeLock);
        m_type = type;
        m_pending = true;
    }

private:
    std::mutex m_typeLock;
    CMediaType m_type;       // guarded by m_typeLock
    bool m_pending = false;  // guarded by m_typeLock
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// CNullRendererInputPin

CNullRendererInputPin::CNullRendererInputPin(CNullRenderer* renderer, HRESULT* phr)
    : CBaseInputPin(NAME("Null renderer input"), renderer, &renderer->m_stateLock, phr, L"Input"),
      m_renderer(renderer)
{
}

HRESULT CNullRendererInputPin::CheckMediaType(const CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    if (!m_renderer->m_accept)
        return S_OK;
    return m_renderer->m_accept(*mediaType) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CNullRendererInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    *allocator = m_renderer->m_allocator;
    (*allocator)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CNullRendererInputPin::Receive(IMediaSample* sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    return m_renderer->OnReceive(sample);
}

HRESULT STDMETHODCALLTYPE CNullRendererInputPin::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;
    return m_renderer->OnEndOfStream();
}

HRESULT STDMETHODCALLTYPE CNullRendererInputPin::BeginFlush()
{
    HRESULT hr = CBaseInputPin::BeginFlush();
    m_renderer->OnBeginFlush();
    return hr;
}

HRESULT STDMETHODCALLTYPE CNullRendererInputPin::EndFlush()
{
    m_renderer->OnEndFlush();
    return CBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE CNullRendererInputPin::NewSegment(REFERENCE_TIME start,
                                                            REFERENCE_TIME stop, double rate)
{
    m_renderer->OnNewSegment(start, stop, rate);
    return CBaseInputPin::NewSegment(start, stop, rate);
}

HRESULT CNullRendererInputPin::Inactive()
{
    HRESULT hr = CBaseInputPin::Inactive();
    m_renderer->ReleaseHeld();
    return hr;
}

// ---------------------------------------------------------------------------------------------
// CNullRenderer

CNullRenderer::CNullRenderer(std::function<bool(const CMediaType&)> accept)
    : CBaseFilter(NAME("Null renderer"), nullptr, &m_stateLock, CLSID_TestNullRenderer),
      m_pin(this, nullptr),
      m_accept(std::move(accept))
{
    HRESULT hr = S_OK;
    auto* allocator = new CTypedAllocator(&hr);
    allocator->NonDelegatingQueryInterface(IID_IMemAllocator,
                                           reinterpret_cast<void**>(&m_allocator));
}

CNullRenderer::~CNullRenderer()
{
    ReleaseKept();
    if (m_position)
        m_position->NonDelegatingRelease();
    // The pin's connection holds the allocator too; the pin goes after this body.
    if (m_allocator)
        m_allocator->Release();
}

HRESULT STDMETHODCALLTYPE CNullRenderer::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IAMFilterMiscFlags)) {
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
    }
    if (IsEqualIID(iid, IID_IMediaSeeking) || IsEqualIID(iid, IID_IMediaPosition)) {
        CAutoLock lock(&m_stateLock);
        if (!m_position) {
            HRESULT hr = S_OK;
            m_position = new CPosPassThru(NAME("Null renderer seeking"), GetOwner(), &hr, &m_pin);
            m_position->NonDelegatingAddRef();
        }
        return m_position->NonDelegatingQueryInterface(iid, object);
    }
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CBasePin* CNullRenderer::GetPin(int index)
{
    return index == 0 ? &m_pin : nullptr;
}

HRESULT STDMETHODCALLTYPE CNullRenderer::Stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_running = false;
        m_stopped = true;
        m_endPending = false;
        m_completeSent = false;
    }
    HRESULT hr = CBaseFilter::Stop();
    ReleaseHeld();
    return hr;
}

HRESULT STDMETHODCALLTYPE CNullRenderer::Pause()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_running = false;
        m_stopped = false;
    }
    return CBaseFilter::Pause();
}

HRESULT STDMETHODCALLTYPE CNullRenderer::Run(REFERENCE_TIME start)
{
    HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr))
        return hr;
    bool complete = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_running = true;
        m_stopped = false;
        if (m_endPending && !m_completeSent)
            complete = m_completeSent = true;
        if (complete)
            ++m_complete;
    }
    if (complete)
        NotifyEvent(EC_COMPLETE, S_OK, 0);
    m_changed.notify_all();
    return hr;
}

HRESULT CNullRenderer::OnReceive(IMediaSample* sample)
{
    SampleRecord record;
    record.timeResult = sample->GetTime(&record.start, &record.stop);
    record.syncPoint = sample->IsSyncPoint() == S_OK;
    record.discontinuity = sample->IsDiscontinuity() == S_OK;
    record.preroll = sample->IsPreroll() == S_OK;
    record.length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    if (SUCCEEDED(sample->GetPointer(&data)) && data && record.length > 0) {
        std::lock_guard<std::mutex> guard(m_lock);
        size_t kept = std::min(size_t(record.length), m_keptBytes);
        record.data.assign(data, data + kept);
    }
    const AM_SAMPLE2_PROPERTIES* props = m_pin.SampleProps();
    if (props->dwSampleFlags & AM_SAMPLE_TYPECHANGED && props->pMediaType) {
        record.typeChanged = true;
        record.carriedSubtype = props->pMediaType->subtype;
    }

    std::unique_lock<std::mutex> guard(m_lock);
    m_samples.push_back(std::move(record));
    if (m_keep) {
        sample->AddRef();  // released by ReleaseKept
        m_kept.push_back(sample);
    }
    m_changed.notify_all();
    if (m_hold && !m_flushing && !m_stopped) {
        const unsigned generation = m_holdGeneration;
        ++m_held;
        m_changed.notify_all();
        m_changed.wait(guard, [&] {
            return !m_hold || m_flushing || m_stopped || m_holdGeneration != generation;
        });
        --m_held;
    }
    return S_OK;
}

HRESULT CNullRenderer::OnEndOfStream()
{
    bool complete = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_endOfStream;
        m_endPending = true;
        if (m_running && !m_completeSent)
            complete = m_completeSent = true;
        if (complete)
            ++m_complete;
    }
    m_changed.notify_all();
    if (complete)
        NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

void CNullRenderer::OnBeginFlush()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_beginFlush;
        m_flushing = true;
        m_endPending = false;
        m_completeSent = false;
    }
    ReleaseHeld();
}

void CNullRenderer::OnEndFlush()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_endFlush;
        m_flushing = false;
    }
    m_changed.notify_all();
}

void CNullRenderer::OnNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_segments.push_back({start, stop, rate});
    }
    m_changed.notify_all();
}

void CNullRenderer::ReleaseHeld()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_holdGeneration;
    }
    m_changed.notify_all();
    ReleaseKept();
}

void CNullRenderer::SetKeepSamples(bool keep)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_keep = keep;
}

void CNullRenderer::ReleaseKept()
{
    std::vector<IMediaSample*> kept;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        kept.swap(m_kept);
    }
    // Outside the lock: a sample going back may wake a sender that calls Receive again.
    for (IMediaSample* sample : kept)
        sample->Release();
}

std::vector<SampleRecord> CNullRenderer::Samples()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_samples;
}

size_t CNullRenderer::SampleCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_samples.size();
}

std::vector<SegmentRecord> CNullRenderer::Segments()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_segments;
}

int CNullRenderer::EndOfStreamCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_endOfStream;
}

int CNullRenderer::BeginFlushCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_beginFlush;
}

int CNullRenderer::EndFlushCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_endFlush;
}

int CNullRenderer::CompleteCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_complete;
}

void CNullRenderer::ClearRecords()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_samples.clear();
    m_segments.clear();
    m_endOfStream = m_beginFlush = m_endFlush = m_complete = 0;
}

bool CNullRenderer::WaitForSamples(size_t count, DWORD timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeout),
                              [&] { return m_samples.size() >= count; });
}

bool CNullRenderer::WaitForEndOfStream(int count, DWORD timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeout),
                              [&] { return m_endOfStream >= count; });
}

void CNullRenderer::SetHold(bool hold)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_hold = hold;
    }
    m_changed.notify_all();
}

bool CNullRenderer::WaitForHeld(DWORD timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeout),
                              [&] { return m_held > 0; });
}

void CNullRenderer::SetKeptBytes(size_t bytes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_keptBytes = bytes;
}

void CNullRenderer::AttachTypeToNextSample(const CMediaType& type)
{
    static_cast<CTypedAllocator*>(m_allocator)->AttachToNext(type);
}

HRESULT CNullRenderer::SendQuality(Quality quality)
{
    return m_pin.PassNotify(quality);
}

// ---------------------------------------------------------------------------------------------
// CEventRecorder

HRESULT STDMETHODCALLTYPE CEventRecorder::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph)) {
        *object = static_cast<IFilterGraph*>(this);
    } else if (IsEqualIID(iid, IID_IMediaEventSink)) {
        *object = static_cast<IMediaEventSink*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CEventRecorder::AddRef()
{
    return m_cRef.AddRef();
}

ULONG STDMETHODCALLTYPE CEventRecorder::Release()
{
    return m_cRef.Release([this] { delete this; });
}

HRESULT STDMETHODCALLTYPE CEventRecorder::Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back({eventCode, param1, param2});
    }
    m_changed.notify_all();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEventRecorder::AddFilter(IBaseFilter*, LPCWSTR)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CEventRecorder::RemoveFilter(IBaseFilter*)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CEventRecorder::EnumFilters(IEnumFilters**)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CEventRecorder::FindFilterByName(LPCWSTR, IBaseFilter**)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CEventRecorder::ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CEventRecorder::Reconnect(IPin*)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CEventRecorder::Disconnect(IPin*)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CEventRecorder::SetDefaultSyncSource()
{
    return E_NOTIMPL;
}

std::vector<CEventRecorder::Event> CEventRecorder::Events()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

int CEventRecorder::Count(LONG eventCode)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return int(std::count_if(m_events.begin(), m_events.end(),
                             [&](const Event& event) { return event.code == eventCode; }));
}

bool CEventRecorder::WaitFor(LONG eventCode, int count, DWORD timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeout), [&] {
        return std::count_if(m_events.begin(), m_events.end(),
                             [&](const Event& event) { return event.code == eventCode; }) >= count;
    });
}

}  // namespace dshowtest
