#include "PatternSource.h"

#include <chrono>

namespace dshowtest {
namespace {

DEFINE_GUID(CLSID_TestPatternSource, 0x2B7E4F10, 0x93A5, 0x4C6D, 0x8E, 0x02, 0x5F, 0x41, 0x7A, 0x9C,
            0x36, 0xE1);

constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos |
                                AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetCurrentPos;

}  // namespace

CPatternSource::CPatternSource(const PatternOptions& options)
    : CSource(NAME("Pattern source"), nullptr, CLSID_TestPatternSource)
{
    HRESULT hr = S_OK;
    // The pin adds itself to the filter; the filter deletes it.
    m_stream = new CPatternStream(this, options, &hr);
}

CPatternStream::CPatternStream(CPatternSource* filter, const PatternOptions& options, HRESULT* phr)
    : CSourceStream(NAME("Pattern stream"), phr, filter, L"Pattern"),
      CMediaTimeSeeking(kCapabilities),
      m_options(options)
{
}

HRESULT STDMETHODCALLTYPE CPatternStream::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaSeeking)) {
        return GetInterface(static_cast<IMediaSeeking*>(this), object);
    }
    return CSourceStream::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CPatternStream::Notify(IBaseFilter* self, Quality quality)
{
    CAutoLock lock(&m_sharedLock);
    m_quality.push_back(quality);
    return S_OK;
}

HRESULT CPatternStream::GetMediaType(CMediaType* mediaType)
{
    mediaType->InitMediaType();
    mediaType->SetType(&m_options.majorType);
    mediaType->SetSubtype(&m_options.subtype);
    mediaType->SetFormatType(&FORMAT_None);
    mediaType->SetSampleSize(ULONG(m_options.sampleBytes));
    return S_OK;
}

HRESULT CPatternStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    request->cBuffers = m_options.buffers;
    request->cbBuffer = m_options.sampleBytes;
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer)
        return E_FAIL;
    return S_OK;
}

HRESULT CPatternStream::OnThreadCreate()
{
    CAutoLock lock(&m_sharedLock);
    ++m_threadCreates;
    return m_options.threadCreateResult;
}

HRESULT CPatternStream::OnThreadDestroy()
{
    CAutoLock lock(&m_sharedLock);
    ++m_threadDestroys;
    return S_OK;
}

HRESULT CPatternStream::OnThreadStartPlay()
{
    LONGLONG first;
    double rate;
    {
        CAutoLock lock(&m_sharedLock);
        ++m_startPlays;
        m_discontinuity = true;
        first = m_first;
        rate = m_rate;
    }
    return DeliverNewSegment(first * m_options.frameDuration, MAX_TIME, rate);
}

HRESULT CPatternStream::FillBuffer(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data)
        return S_FALSE;
    bool wait = false;
    {
        CAutoLock lock(&m_sharedLock);
        wait = m_next == m_options.waitForStopAt && !m_waitedForStop;
        if (wait)
            m_waitedForStop = true;
    }
    if (wait) {
        // Like a source whose data has not come: wait, watching for a request to the thread.
        {
            std::lock_guard<std::mutex> guard(m_waitLock);
            m_waitingForRequest = true;
        }
        m_waitChanged.notify_all();
        while (!WaitForRequest(INFINITE)) {
        }
        return S_FALSE;
    }
    CAutoLock lock(&m_sharedLock);
    if (m_options.sampleCount >= 0 && m_next >= m_options.sampleCount)
        return S_FALSE;
    if (m_next == m_options.failAt)
        return m_options.failWith;
    const LONG bytes =
        m_options.sampleBytes < sample->GetSize() ? m_options.sampleBytes : sample->GetSize();
    for (LONG i = 0; i < bytes; ++i)
        data[i] = BYTE(m_next + i);
    sample->SetActualDataLength(bytes);
    REFERENCE_TIME start = (m_next - m_first) * m_options.frameDuration;
    REFERENCE_TIME stop = start + m_options.frameDuration;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(m_options.syncEvery > 0 && m_next % m_options.syncEvery == 0);
    sample->SetDiscontinuity(m_discontinuity);
    m_discontinuity = false;
    if (m_next == m_options.typeChangeAt) {
        CMediaType changed;
        GetMediaType(&changed);
        changed.SetSubtype(&m_options.typeChangeSubtype);
        sample->SetMediaType(&changed);
    }
    ++m_next;
    return S_OK;
}

int CPatternStream::ThreadCreates()
{
    CAutoLock lock(&m_sharedLock);
    return m_threadCreates;
}

int CPatternStream::ThreadDestroys()
{
    CAutoLock lock(&m_sharedLock);
    return m_threadDestroys;
}

int CPatternStream::StartPlays()
{
    CAutoLock lock(&m_sharedLock);
    return m_startPlays;
}

std::vector<Quality> CPatternStream::QualityMessages()
{
    CAutoLock lock(&m_sharedLock);
    return m_quality;
}

bool CPatternStream::WaitUntilWaitingForRequest(DWORD timeout)
{
    std::unique_lock<std::mutex> guard(m_waitLock);
    return m_waitChanged.wait_for(guard, std::chrono::milliseconds(timeout),
                                  [this] { return m_waitingForRequest; });
}

std::vector<LONGLONG> CPatternStream::Seeks()
{
    CAutoLock lock(&m_sharedLock);
    return m_seeks;
}

// ---------------------------------------------------------------------------------------------
// IMediaSeeking

HRESULT STDMETHODCALLTYPE CPatternStream::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    if (m_options.sampleCount < 0)
        return E_NOTIMPL;
    *duration = m_options.sampleCount * m_options.frameDuration;
    return S_OK;
}


HRESULT STDMETHODCALLTYPE CPatternStream::GetCurrentPosition(LONGLONG* current)
{
    if (!current)
        return E_POINTER;
    CAutoLock lock(&m_sharedLock);
    *current = m_next * m_options.frameDuration;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPatternStream::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                       LONGLONG* stop, DWORD stopFlags)
{
    LONGLONG position = 0;
    const HRESULT asked = AbsoluteTarget(current, currentFlags, &position);
    if (asked != S_OK)
        return asked == S_FALSE ? S_OK : asked;
    const LONGLONG target = position / m_options.frameDuration;
    // The restart of a source pin: flush downstream and stop the loop first, so that nothing of
    // the new position goes into the flush; then move, end the flush and play again.
    CAutoLock lock(m_pFilter->pStateLock());
    const bool streaming = ThreadExists();
    if (streaming) {
        DeliverBeginFlush();
        Stop();
    }
    {
        CAutoLock shared(&m_sharedLock);
        m_seeks.push_back(*current);
        m_next = m_first = target;
    }
    if (streaming) {
        DeliverEndFlush();
        Pause();
    }
    return S_OK;
}



HRESULT STDMETHODCALLTYPE CPatternStream::SetRate(double rate)
{
    if (rate <= 0)
        return E_INVALIDARG;
    CAutoLock lock(&m_sharedLock);
    m_rate = rate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPatternStream::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    CAutoLock lock(&m_sharedLock);
    *rate = m_rate;
    return S_OK;
}


}  // namespace dshowtest
