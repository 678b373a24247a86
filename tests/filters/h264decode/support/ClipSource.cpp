#include "ClipSource.h"

#include <cstring>

namespace h264test {

namespace {

// {0E5B7A93-2C61-4D8F-A3B4-7C9D1E6F0A52}
DEFINE_GUID(CLSID_TestClipSource, 0x0E5B7A93, 0x2C61, 0x4D8F, 0xA3, 0xB4, 0x7C, 0x9D, 0x1E, 0x6F,
            0x0A, 0x52);

constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos |
                                AM_SEEKING_CanGetDuration;

}  // namespace

CClipSource::CClipSource(const Clip& clip)
    : CSource(NAME("Clip source"), nullptr, CLSID_TestClipSource)
{
    HRESULT hr = S_OK;
    // The pin adds itself to the filter, which deletes it.
    m_stream = new CClipStream(this, clip, &hr);
}

CClipStream::CClipStream(CClipSource* filter, const Clip& clip, HRESULT* phr)
    : CSourceStream(NAME("Clip stream"), phr, filter, L"Video"),
      CMediaTimeSeeking(kCapabilities),
      m_clip(clip)
{
}

HRESULT STDMETHODCALLTYPE CClipStream::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaSeeking)) {
        return GetInterface(static_cast<IMediaSeeking*>(this), object);
    }
    return CSourceStream::NonDelegatingQueryInterface(iid, object);
}

HRESULT CClipStream::GetMediaType(CMediaType* mediaType)
{
    return mediaType->Set(m_clip.type);
}

HRESULT CClipStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    request->cBuffers = 1;
    request->cbBuffer = m_clip.bufferSize;
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer >= request->cbBuffer ? S_OK : E_FAIL;
}

HRESULT CClipStream::OnThreadStartPlay()
{
    REFERENCE_TIME start;
    {
        CAutoLock lock(&m_positionLock);
        m_discontinuity = true;
        start = m_seekStart;
    }
    return DeliverNewSegment(start, MAX_TIME, 1.0);
}

HRESULT CClipStream::FillBuffer(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data)
        return S_FALSE;
    CAutoLock lock(&m_positionLock);
    if (m_next >= m_clip.samples.size())
        return S_FALSE;
    const ClipSample& source = m_clip.samples[m_next++];
    if (LONG(source.data.size()) > sample->GetSize())
        return E_FAIL;
    std::memcpy(data, source.data.data(), source.data.size());
    sample->SetActualDataLength(LONG(source.data.size()));
    REFERENCE_TIME start = source.start - m_seekStart;
    REFERENCE_TIME stop = start + m_clip.frameDuration;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(source.sync);
    sample->SetPreroll(source.start < m_seekStart);
    sample->SetDiscontinuity(m_discontinuity);
    m_discontinuity = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CClipStream::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    *duration = m_clip.samples.empty() ? 0 : m_clip.samples.back().start + m_clip.frameDuration;
    return S_OK;
}


HRESULT STDMETHODCALLTYPE CClipStream::GetCurrentPosition(LONGLONG* current)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CClipStream::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                    LONGLONG* stop, DWORD stopFlags)
{
    LONGLONG position = 0;
    const HRESULT asked = AbsoluteTarget(current, currentFlags, &position);
    if (asked != S_OK)
        return asked == S_FALSE ? S_OK : asked;
    // The key frame at or before the position.
    size_t first = 0;
    for (size_t i = 0; i < m_clip.samples.size(); ++i) {
        if (m_clip.samples[i].start > position)
            break;
        if (m_clip.samples[i].sync)
            first = i;
    }
    // Flush downstream and stop the loop first, so that nothing of the old position goes out
    // after the flush; then move, end the flush and play again.
    CAutoLock lock(m_pFilter->pStateLock());
    const bool streaming = ThreadExists();
    if (streaming) {
        DeliverBeginFlush();
        Stop();
    }
    {
        CAutoLock guard(&m_positionLock);
        m_next = first;
        m_seekStart = position;
    }
    if (streaming) {
        DeliverEndFlush();
        Pause();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CClipStream::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    if (current) {
        CAutoLock lock(&m_positionLock);
        *current = m_seekStart;
    }
    if (stop)
        GetStopPosition(stop);
    return S_OK;
}


HRESULT STDMETHODCALLTYPE CClipStream::SetRate(double rate)
{
    return rate == 1.0 ? S_OK : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CClipStream::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    *rate = 1.0;
    return S_OK;
}


}  // namespace h264test
