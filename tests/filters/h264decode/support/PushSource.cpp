#include "PushSource.h"

#include <cstring>

namespace h264test {

namespace {

// {6F3D2C81-9A4B-4E57-B0C6-1D8E7F2A9B35}
DEFINE_GUID(CLSID_TestPushSource, 0x6F3D2C81, 0x9A4B, 0x4E57, 0xB0, 0xC6, 0x1D, 0x8E, 0x7F, 0x2A,
            0x9B, 0x35);

}  // namespace

CPushPin::CPushPin(CPushSource* filter, CCritSec* lock, HRESULT* phr)
    : CBaseOutputPin(NAME("Push pin"), filter, lock, phr, L"Out"), m_source(filter)
{
}

HRESULT CPushPin::CheckMediaType(const CMediaType* mediaType)
{
    return mediaType && *mediaType == m_source->m_type ? S_OK : S_FALSE;
}

HRESULT CPushPin::GetMediaType(int position, CMediaType* mediaType)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    return mediaType->Set(m_source->m_type);
}

HRESULT CPushPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    request->cBuffers = m_source->m_buffers;
    request->cbBuffer = m_source->m_bufferSize;
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer >= request->cbBuffer ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CPushPin::Notify(IBaseFilter* self, Quality quality)
{
    std::lock_guard<std::mutex> guard(m_source->m_lock);
    m_source->m_quality.push_back(quality);
    return S_OK;
}

CPushSource::CPushSource(const CMediaType& type, LONG bufferSize, LONG buffers)
    : CBaseFilter(NAME("Push source"), nullptr, &m_stateLock, CLSID_TestPushSource),
      m_pin(this, &m_stateLock, nullptr),
      m_type(type),
      m_bufferSize(bufferSize),
      m_buffers(buffers)
{
}

CPushSource::~CPushSource() = default;

HRESULT CPushSource::Push(const BYTE* data, LONG length, const PushOptions& options)
{
    IMediaSample* sample = nullptr;
    HRESULT hr = m_pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    const LONG bytes = length < sample->GetSize() ? length : sample->GetSize();
    if (bytes > 0)
        std::memcpy(buffer, data, size_t(bytes));
    sample->SetActualDataLength(bytes);
    REFERENCE_TIME start = options.start;
    REFERENCE_TIME stop = options.stop;
    if (options.timed)
        sample->SetTime(&start, &stop);
    sample->SetSyncPoint(options.sync);
    sample->SetPreroll(options.preroll);
    sample->SetDiscontinuity(options.discontinuity);
    if (options.mediaType)
        sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(options.mediaType));
    hr = m_pin.Deliver(sample);
    sample->Release();
    return hr;
}

HRESULT CPushSource::Flush()
{
    HRESULT hr = m_pin.DeliverBeginFlush();
    if (FAILED(hr))
        return hr;
    return m_pin.DeliverEndFlush();
}

std::vector<Quality> CPushSource::QualityMessages()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_quality;
}

}  // namespace h264test
