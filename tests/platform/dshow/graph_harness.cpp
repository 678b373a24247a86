#include "graph_harness.h"

namespace graphtest {
namespace {

DEFINE_GUID(CLSID_GraphTestSource, 0x3A0C59E2, 0x6F1B, 0x4D27, 0x8E, 0x90, 0x15, 0xB4, 0x7C, 0x2D,
            0x61, 0xA8);

constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos |
                                AM_SEEKING_CanGetDuration;

}  // namespace

// ---------------------------------------------------------------------------------------------
// CTestStream

CTestStream::CTestStream(CTestSource* filter, LPCWSTR name, REFERENCE_TIME duration, HRESULT* phr)
    : CSourceStream(NAME("Graph test stream"), phr, filter, name),
      CMediaTimeSeeking(kCapabilities),
      m_duration(duration)
{
}

HRESULT STDMETHODCALLTYPE CTestStream::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(this), object);
    return CSourceStream::NonDelegatingQueryInterface(iid, object);
}

LONGLONG CTestStream::LastSeek()
{
    std::lock_guard<std::mutex> guard(m_positionLock);
    return m_lastSeek;
}

DWORD CTestStream::LastSeekFlags()
{
    std::lock_guard<std::mutex> guard(m_positionLock);
    return m_lastSeekFlags;
}

double CTestStream::LastRate()
{
    std::lock_guard<std::mutex> guard(m_positionLock);
    return m_lastRate;
}

HRESULT CTestStream::GetMediaType(CMediaType* mediaType)
{
    mediaType->InitMediaType();
    mediaType->SetType(&MEDIATYPE_Video);
    mediaType->SetSubtype(&MEDIASUBTYPE_None);
    mediaType->SetFormatType(&FORMAT_None);
    mediaType->SetSampleSize(16);
    return S_OK;
}

HRESULT CTestStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    request->cBuffers = 2;
    request->cbBuffer = 16;
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
}

HRESULT CTestStream::FillBuffer(IMediaSample* sample)
{
    std::lock_guard<std::mutex> guard(m_positionLock);
    if (m_next >= m_duration)
        return S_FALSE;
    REFERENCE_TIME start = REFERENCE_TIME(double(m_next - m_seekStart) / m_rate);
    REFERENCE_TIME stop = start + REFERENCE_TIME(double(kSecond) / m_rate);
    m_next += kSecond;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetActualDataLength(0);
    return S_OK;
}

HRESULT CTestStream::OnThreadCreate()
{
    ++m_threadsStarted;
    return S_OK;
}

HRESULT CTestStream::OnThreadDestroy()
{
    ++m_threadsEnded;
    return S_OK;
}

HRESULT CTestStream::OnThreadStartPlay()
{
    REFERENCE_TIME start = 0;
    double rate = 1.0;
    {
        std::lock_guard<std::mutex> guard(m_positionLock);
        start = m_seekStart;
        rate = m_rate;
    }
    return DeliverNewSegment(start, m_duration, rate);
}

void CTestStream::Restart()
{
    if (!ThreadExists())
        return;
    DeliverBeginFlush();
    Stop();
    DeliverEndFlush();
    Pause();
}

HRESULT STDMETHODCALLTYPE CTestStream::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    *duration = m_duration;
    return S_OK;
}


HRESULT STDMETHODCALLTYPE CTestStream::GetCurrentPosition(LONGLONG*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CTestStream::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                    LONGLONG* stop, DWORD stopFlags)
{
    ++m_seeks;
    if (m_onSeek)
        m_onSeek();
    const DWORD positioning = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (positioning && !current)
        return E_POINTER;
    {
        std::lock_guard<std::mutex> guard(m_positionLock);
        m_lastSeekFlags = currentFlags;
        if (positioning) {
            m_lastSeek = *current;
            // Only absolute positions are understood here: the graph converts the others.
            if (positioning != AM_SEEKING_AbsolutePositioning)
                return E_INVALIDARG;
            m_seekStart = m_next = *current;
        }
    }
    if (positioning)
        Restart();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestStream::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    if (current)
        return E_NOTIMPL;
    if (stop)
        *stop = m_duration;
    return S_OK;
}


HRESULT STDMETHODCALLTYPE CTestStream::SetRate(double rate)
{
    ++m_rates;
    if (rate < 0.1)
        return E_INVALIDARG;
    {
        std::lock_guard<std::mutex> guard(m_positionLock);
        m_lastRate = m_rate = rate;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestStream::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_positionLock);
    *rate = m_rate;
    return S_OK;
}


// ---------------------------------------------------------------------------------------------
// CTestSource

CTestSource::CTestSource(std::vector<REFERENCE_TIME> durations, StateLog* log)
    : CSource(NAME("Graph test source"), nullptr, CLSID_GraphTestSource), m_log(log)
{
    for (size_t i = 0; i < durations.size(); ++i) {
        HRESULT hr = S_OK;
        std::wstring name = L"Out " + std::to_wstring(i + 1);
        new CTestStream(this, name.c_str(), durations[i], &hr);  // the filter owns its pins
    }
}

HRESULT STDMETHODCALLTYPE CTestSource::Stop()
{
    if (m_log)
        m_log->Add("source Stop");
    return CSource::Stop();
}

HRESULT STDMETHODCALLTYPE CTestSource::Pause()
{
    if (m_log)
        m_log->Add("source Pause");
    return CSource::Pause();
}

HRESULT STDMETHODCALLTYPE CTestSource::Run(REFERENCE_TIME start)
{
    if (m_log)
        m_log->Add("source Run");
    return CSource::Run(start);
}

}  // namespace graphtest
