// Transform filters: CTransformFilter with its input and output pins.
#include <cstring>
#include <cwchar>
#include <new>

#include "platform/dshow/streams.h"

namespace {

HRESULT CopyId(LPCWSTR text, LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    size_t bytes = (wcslen(text) + 1) * sizeof(WCHAR);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id)
        return E_OUTOFMEMORY;
    std::memcpy(*id, text, bytes);
    return NOERROR;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CTransformInputPin

CTransformInputPin::CTransformInputPin(LPCTSTR objectName, CTransformFilter* filter, HRESULT* phr,
                                       LPCWSTR name)
    : CBaseInputPin(objectName, filter, &filter->m_csFilter, phr, name), m_pTransformFilter(filter)
{
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::QueryId(LPWSTR* id)
{
    return CopyId(L"In", id);
}

HRESULT CTransformInputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, receivePin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    HRESULT hr = m_pTransformFilter->CheckInputType(mediaType);
    if (hr != S_OK)
        return hr;
    CTransformOutputPin* output = m_pTransformFilter->m_pOutput;
    if (output && output->IsConnected()) {
        return m_pTransformFilter->CheckTransform(mediaType, &output->CurrentMediaType());
    }
    return NOERROR;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* mediaType)
{
    HRESULT hr = CBasePin::SetMediaType(mediaType);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, mediaType);
}

HRESULT CTransformInputPin::CheckStreaming()
{
    CTransformOutputPin* output = m_pTransformFilter->m_pOutput;
    if (!output || !output->IsConnected())
        return VFW_E_NOT_CONNECTED;
    return CBaseInputPin::CheckStreaming();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndOfStream()
{
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;
    return m_pTransformFilter->EndOfStream();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::BeginFlush()
{
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    CTransformOutputPin* output = m_pTransformFilter->m_pOutput;
    if (!IsConnected() || !output || !output->IsConnected())
        return VFW_E_NOT_CONNECTED;
    HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->BeginFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndFlush()
{
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    CTransformOutputPin* output = m_pTransformFilter->m_pOutput;
    if (!IsConnected() || !output || !output->IsConnected())
        return VFW_E_NOT_CONNECTED;
    HRESULT hr = m_pTransformFilter->EndFlush();
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                         double rate)
{
    CBasePin::NewSegment(start, stop, rate);
    return m_pTransformFilter->NewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::Receive(IMediaSample* sample)
{
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    return m_pTransformFilter->Receive(sample);
}

// ---------------------------------------------------------------------------------------------
// CTransformOutputPin

CTransformOutputPin::CTransformOutputPin(LPCTSTR objectName, CTransformFilter* filter, HRESULT* phr,
                                         LPCWSTR name)
    : CBaseOutputPin(objectName, filter, &filter->m_csFilter, phr, name), m_pTransformFilter(filter)
{
}

CTransformOutputPin::~CTransformOutputPin()
{
    if (m_pPosition)
        m_pPosition->NonDelegatingRelease();
}

HRESULT STDMETHODCALLTYPE CTransformOutputPin::NonDelegatingQueryInterface(REFIID iid,
                                                                           void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaPosition) || IsEqualIID(iid, IID_IMediaSeeking)) {
        {
            CAutoLock lock(m_pLock);
            if (!m_pPosition) {
                HRESULT hr = S_OK;
                CPosPassThru* position = new (std::nothrow)
                    CPosPassThru(NAME("Transform pass-through"), GetOwner(), &hr,
                                 static_cast<IPin*>(m_pTransformFilter->m_pInput));
                if (!position)
                    return E_OUTOFMEMORY;
                if (FAILED(hr)) {
                    delete position;
                    return hr;
                }
                position->NonDelegatingAddRef();
                m_pPosition = position;
            }
        }
        return m_pPosition->NonDelegatingQueryInterface(iid, object);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CTransformOutputPin::QueryId(LPWSTR* id)
{
    return CopyId(L"Out", id);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin)
{
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    if (!input || !input->IsConnected())
        return E_UNEXPECTED;
    HRESULT hr = CBaseOutputPin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pin);
}

HRESULT CTransformOutputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request)
{
    return m_pTransformFilter->DecideBufferSize(allocator, request);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    if (!input || !input->IsConnected())
        return E_INVALIDARG;
    return m_pTransformFilter->CheckTransform(&input->CurrentMediaType(), mediaType);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* mediaType)
{
    HRESULT hr = CBasePin::SetMediaType(mediaType);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, mediaType);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* mediaType)
{
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    if (!input || !input->IsConnected())
        return VFW_S_NO_MORE_ITEMS;
    return m_pTransformFilter->GetMediaType(position, mediaType);
}

HRESULT STDMETHODCALLTYPE CTransformOutputPin::Notify(IBaseFilter* self, Quality quality)
{
    HRESULT hr = m_pTransformFilter->AlterQuality(quality);
    if (hr != S_FALSE)
        return hr;
    return m_pTransformFilter->m_pInput->PassNotify(quality);
}

// ---------------------------------------------------------------------------------------------
// CTransformFilter

CTransformFilter::CTransformFilter(LPCTSTR name, LPUNKNOWN outer, REFCLSID clsid)
    : CBaseFilter(name, outer, &m_csFilter, clsid)
{
}

CTransformFilter::~CTransformFilter()
{
    delete m_pInput;
    delete m_pOutput;
}

CBasePin* CTransformFilter::GetPin(int index)
{
    {
        CAutoLock lock(&m_csFilter);
        if (!m_pInput) {
            HRESULT hr = S_OK;
            m_pInput = new (std::nothrow)
                CTransformInputPin(NAME("Transform input pin"), this, &hr, L"XForm In");
            if (m_pInput && SUCCEEDED(hr)) {
                m_pOutput = new (std::nothrow)
                    CTransformOutputPin(NAME("Transform output pin"), this, &hr, L"XForm Out");
            }
            if (!m_pInput || !m_pOutput || FAILED(hr)) {
                delete m_pInput;
                delete m_pOutput;
                m_pInput = nullptr;
                m_pOutput = nullptr;
                return nullptr;
            }
        }
    }
    switch (index) {
        case 0:
            return m_pInput;
        case 1:
            return m_pOutput;
        default:
            return nullptr;
    }
}

HRESULT STDMETHODCALLTYPE CTransformFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    if (!id)
        return E_POINTER;
    CBasePin* found = nullptr;
    if (wcscmp(id, L"In") == 0) {
        found = GetPin(0);
    } else if (wcscmp(id, L"Out") == 0) {
        found = GetPin(1);
    } else {
        return VFW_E_NOT_FOUND;
    }
    if (!found)
        return E_OUTOFMEMORY;
    *pin = static_cast<IPin*>(found);
    found->AddRef();
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CTransformFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    if (m_State == State_Stopped)
        return NOERROR;
    if (!m_pInput || !m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
        m_State = State_Stopped;
        m_bEOSDelivered = FALSE;
        return NOERROR;
    }
    // The input first: its allocator is the upstream filter's, and decommitting it makes the
    // upstream filter stop delivering. Then wait for a Receive that is under way.
    m_pInput->Inactive();
    CAutoLock receiving(&m_csReceive);
    m_pOutput->Inactive();
    HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        m_State = State_Stopped;
        m_bEOSDelivered = FALSE;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CTransformFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    HRESULT hr = NOERROR;
    if (m_State == State_Paused) {
        // Nothing to change.
    } else if (!m_pInput || !m_pInput->IsConnected()) {
        // Nothing will come: tell the downstream filter at once.
        if (m_pOutput && !m_bEOSDelivered) {
            m_pOutput->DeliverEndOfStream();
            m_bEOSDelivered = TRUE;
        }
        m_State = State_Paused;
    } else if (!m_pOutput->IsConnected()) {
        m_State = State_Paused;
    } else {
        if (m_State == State_Stopped) {
            CAutoLock receiving(&m_csReceive);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr))
            hr = CBaseFilter::Pause();
    }
    m_bSampleSkipped = FALSE;
    m_bQualityChanged = FALSE;
    return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample* in, IMediaSample* out)
{
    return E_UNEXPECTED;
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* sample, IMediaSample** outSample)
{
    if (!outSample)
        return E_POINTER;
    *outSample = nullptr;
    const AM_SAMPLE2_PROPERTIES* props = m_pInput->SampleProps();
    DWORD flags = m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
    if (!(props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT))
        flags |= AM_GBF_NOTASYNCPOINT;
    REFERENCE_TIME start = props->tStart;
    REFERENCE_TIME stop = props->tStop;
    const bool timed = props->dwSampleFlags & AM_SAMPLE_TIMEVALID;
    const bool stopped = props->dwSampleFlags & AM_SAMPLE_STOPVALID;
    IMediaSample* out = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, timed ? &start : nullptr,
                                              stopped ? &stop : nullptr, flags);
    if (FAILED(hr))
        return hr;

    if (timed)
        out->SetTime(&start, stopped ? &stop : nullptr);
    out->SetSyncPoint((props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT) ? TRUE : FALSE);
    out->SetPreroll((props->dwSampleFlags & AM_SAMPLE_PREROLL) ? TRUE : FALSE);
    out->SetDiscontinuity(
        (props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) || m_bSampleSkipped ? TRUE : FALSE);
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaStop) == NOERROR) {
        out->SetMediaTime(&mediaStart, &mediaStop);
    }
    if (props->lActual >= 0 && props->lActual <= out->GetSize()) {
        out->SetActualDataLength(props->lActual);
    }
    *outSample = out;
    return NOERROR;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample)
{
    const AM_SAMPLE2_PROPERTIES* props = m_pInput->SampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA)
        return m_pOutput->Deliver(sample);

    IMediaSample* out = nullptr;
    HRESULT hr = InitializeOutputSample(sample, &out);
    if (FAILED(hr))
        return hr;
    hr = Transform(sample, out);
    if (hr == NOERROR) {
        hr = m_pOutput->Deliver(out);
        m_bSampleSkipped = FALSE;
    } else if (hr == S_FALSE) {
        m_bSampleSkipped = TRUE;
        if (!m_bQualityChanged) {
            m_bQualityChanged = TRUE;
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
        }
        hr = NOERROR;
    }
    out->Release();
    return hr;
}

HRESULT CTransformFilter::EndOfStream()
{
    if (!m_pOutput)
        return VFW_E_NOT_CONNECTED;
    return m_pOutput->DeliverEndOfStream();
}

HRESULT CTransformFilter::BeginFlush()
{
    if (!m_pOutput)
        return VFW_E_NOT_CONNECTED;
    return m_pOutput->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush()
{
    if (!m_pOutput)
        return VFW_E_NOT_CONNECTED;
    return m_pOutput->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    if (!m_pOutput)
        return VFW_E_NOT_CONNECTED;
    return m_pOutput->DeliverNewSegment(start, stop, rate);
}
