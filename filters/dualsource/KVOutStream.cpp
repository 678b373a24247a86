#include "KVOutStream.h"

#include <climits>
#include <cmath>

#include "KVMP4DualSourceFilter.h"

namespace FilterCore {

KVOutStream::KVOutStream(int coreIndex, KVMP4DualSourceFilter* filter, LPCWSTR name, int portIndex,
                         HRESULT* phr)
    : CSourceStream(nullptr, phr, filter, name),
      CMediaTimeSeeking(kSeekingCapabilities),
      m_coreIndex(coreIndex),
      m_portIndex(portIndex),
      m_pOwner(filter)
{
}

// The filter joins the streaming thread (its Stop) before it deletes a pin, so no FillBuffer
// of a half-destroyed pin can run.
KVOutStream::~KVOutStream() = default;

KVMP4SourceCore* KVOutStream::Core()
{
    return m_pOwner->Helper(m_coreIndex)->Core();
}

LONGLONG KVOutStream::ScaleTime(LONGLONG value, double rate)
{
    double scaled = std::trunc(double(value) / rate);
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 9.2e18)
        return LLONG_MAX;
    if (scaled <= -9.2e18)
        return LLONG_MIN;
    return LONGLONG(scaled);
}

LONGLONG KVOutStream::SampleStart(LONGLONG start, LONGLONG seekStart, double rate)
{
    LONGLONG elapsed = 0;
    if (__builtin_sub_overflow(start, seekStart, &elapsed)) {
        elapsed = start < seekStart ? LLONG_MIN : LLONG_MAX;
    }
    return ScaleTime(elapsed, rate);
}

LONGLONG KVOutStream::SampleStop(LONGLONG start, LONGLONG duration)
{
    LONGLONG stop = 0;
    if (__builtin_add_overflow(start, duration, &stop))
        stop = LLONG_MAX;
    return stop;
}

HRESULT STDMETHODCALLTYPE KVOutStream::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaSeeking)) {
        return GetInterface(static_cast<IMediaSeeking*>(this), object);
    }
    return CSourceStream::NonDelegatingQueryInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// Streaming

HRESULT KVOutStream::OnThreadStartPlay()
{
    LONGLONG current = 0;
    LONGLONG stop = 0;
    double rate = 1.0;
    {
        CAutoLock lock(&m_csState);
        m_bDiscontinuity = TRUE;
        current = m_rtCurrent;
        stop = m_rtStop;
        rate = m_dRate;
    }
    Core()->ResumeReading();
    return DeliverNewSegment(current, stop, rate);
}

HRESULT KVOutStream::TakeSample(IMediaSample* mediaSample, CoreSample* sample)
{
    BYTE* buffer = nullptr;
    if (FAILED(mediaSample->GetPointer(&buffer)) || !buffer)
        return S_FALSE;
    {
        CAutoLock lock(&m_csState);
        // A track whose duration is unknown (0) has no end to be past.
        if (m_rtStop > 0 && m_rtSeekStart >= m_rtStop)
            return S_FALSE;
    }
    for (;;) {
        sample->Clear();
        sample->Lend(buffer, mediaSample->GetSize());
        bool taken = false;
        {
            CAutoLock lock(&m_csSample);
            taken = ReadCore(sample);
        }
        if (taken)
            return S_OK;
        if (!Core()->IsHalted())
            return S_FALSE;  // the core's end marker
        // The core was halted: whoever halts a core sends each of its streaming pins a request
        // next (the filter's stop, or the stop of a seek or rate change). S_FALSE with that
        // request pending ends the loop without an end of stream.
        while (!CheckRequest(nullptr) && Core()->IsHalted())
            WaitForRequest(INFINITE);
        if (CheckRequest(nullptr))
            return S_FALSE;
        // The core reads again (the other pin of the core took it back): try once more.
    }
}

// ---------------------------------------------------------------------------------------------
// Connection

HRESULT KVOutStream::GetMediaType(CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    CoreDShowHelperT<KVMP4SourceCore>* helper = m_pOwner->Helper(m_coreIndex);
    CorePortProperties* port = m_portIndex >= 0 ? helper->Port(m_portIndex) : nullptr;
    if (!port)
        return E_FAIL;
    if (port->GetSubtypeCount() < 1)
        return VFW_S_NO_MORE_ITEMS;
    mediaType->SetType(port->GetMajorType());
    mediaType->SetSubtype(port->GetSubtype(0));
    mediaType->SetFormatType(port->GetFormatType());
    if (port->GetFormat(nullptr))
        return helper->GetMediaType(m_portIndex, 0, mediaType);
    return S_OK;
}

HRESULT KVOutStream::CompleteConnect(IPin* receivePin)
{
    // The track is read only once the connection stands: a track enabled for a pin whose
    // connection failed would fill its queue for nobody.
    HRESULT hr = CSourceStream::CompleteConnect(receivePin);
    if (FAILED(hr))
        return hr;
    int stream = TrackStream();
    if (stream >= 0)
        Core()->EnableStream(stream);
    return hr;
}

HRESULT KVOutStream::BreakConnect()
{
    int stream = TrackStream();
    if (stream >= 0)
        Core()->DisableStream(stream);
    return CSourceStream::BreakConnect();
}

HRESULT KVOutStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    return m_pOwner->Helper(m_coreIndex)->DecideBufferSize(m_portIndex, allocator, request, 0);
}

// ---------------------------------------------------------------------------------------------
// Times, for the filter

void KVOutStream::SetSeekPosition(LONGLONG position)
{
    CAutoLock lock(&m_csState);
    m_rtCurrent = position;
    m_rtSeekStart = position;
}

void KVOutStream::SetRateFrom(double rate, LONGLONG position)
{
    CAutoLock lock(&m_csState);
    m_dRate = rate;
    m_rtCurrent = position;
    m_rtSeekStart = position;
}

LONGLONG KVOutStream::CurrentPosition()
{
    CAutoLock lock(&m_csState);
    return m_rtCurrent;
}

double KVOutStream::Rate()
{
    CAutoLock lock(&m_csState);
    return m_dRate;
}

// ---------------------------------------------------------------------------------------------
// IMediaSeeking

HRESULT STDMETHODCALLTYPE KVOutStream::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    CAutoLock lock(&m_csState);
    *duration = m_rtDuration;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVOutStream::GetStopPosition(LONGLONG* stop)
{
    if (!stop)
        return E_POINTER;
    CAutoLock lock(&m_csState);
    *stop = m_rtStop;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVOutStream::GetCurrentPosition(LONGLONG* current)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE KVOutStream::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                    LONGLONG* stop, DWORD stopFlags)
{
    if (stopFlags) {
        if (!stop)
            return E_POINTER;
        if (stopFlags & ~DWORD(AM_SEEKING_PositioningBitsMask))
            return E_INVALIDARG;
    }
    if (!currentFlags)
        return S_OK;
    if (!current)
        return E_POINTER;
    const DWORD positioning = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (positioning != AM_SEEKING_AbsolutePositioning &&
        positioning != AM_SEEKING_RelativePositioning) {
        return E_INVALIDARG;
    }
    return m_pOwner->SeekFrom(this, current, positioning);
}

HRESULT STDMETHODCALLTYPE KVOutStream::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    CAutoLock lock(&m_csState);
    if (current)
        *current = m_rtCurrent;
    if (stop)
        *stop = m_rtStop;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVOutStream::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    CAutoLock lock(&m_csState);
    if (earliest)
        *earliest = 0;
    if (latest)
        *latest = m_rtDuration;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVOutStream::SetRate(double rate)
{
    if (!std::isfinite(rate) || rate < 0.1)
        return E_INVALIDARG;
    return m_pOwner->ChangeRate(this, rate);
}

HRESULT STDMETHODCALLTYPE KVOutStream::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    CAutoLock lock(&m_csState);
    *rate = m_dRate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVOutStream::GetPreroll(LONGLONG* preroll)
{
    if (!preroll)
        return E_POINTER;
    *preroll = 0;
    return S_OK;
}

}  // namespace FilterCore
