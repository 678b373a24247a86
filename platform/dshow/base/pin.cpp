// Pins: CBasePin with its connection process and media-type enumerator, CBaseOutputPin and
// CBaseInputPin.
#include <cstring>
#include <cwchar>
#include <new>

#include "platform/dshow/streams.h"

namespace {

// Results that only say "this type does not fit": a search over many types answers
// VFW_E_NO_ACCEPTABLE_TYPES for them. Anything else (out of memory, a pin in the wrong
// state) is worth passing on.
bool IsTypeRefusal(HRESULT hr)
{
    return hr == S_FALSE || hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED ||
           hr == VFW_E_INVALIDMEDIATYPE || hr == VFW_E_INVALIDSUBTYPE ||
           hr == VFW_E_NO_ACCEPTABLE_TYPES;
}

const CMediaType* AsMediaType(const AM_MEDIA_TYPE* type)
{
    // CMediaType adds no data to AM_MEDIA_TYPE, so a pin can look at any media type through it.
    return static_cast<const CMediaType*>(type);
}

// Gives up a pin's allocator as a broken connection does: decommitted, so that no buffer is
// waited for any longer, and its reference released.
void DropAllocator(IMemAllocator** allocator)
{
    if (!*allocator)
        return;
    (*allocator)->Decommit();
    (*allocator)->Release();
    *allocator = nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CBasePin

CBasePin::CBasePin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                   LPCWSTR name, PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr), m_dir(direction), m_pLock(lock), m_pFilter(filter)
{
    if (name) {
        size_t length = wcslen(name);
        m_pName = new (std::nothrow) WCHAR[length + 1];
        if (m_pName) {
            wmemcpy(m_pName, name, length + 1);
        } else if (phr) {
            *phr = E_OUTOFMEMORY;
        }
    }
}

CBasePin::~CBasePin()
{
    if (m_Connected)
        m_Connected->Release();
    delete[] m_pName;
}

HRESULT STDMETHODCALLTYPE CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IPin))
        return GetInterface(static_cast<IPin*>(this), object);
    if (IsEqualIID(iid, IID_IQualityControl)) {
        return GetInterface(static_cast<IQualityControl*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE CBasePin::NonDelegatingAddRef()
{
    return m_pFilter->AddRef();
}

ULONG STDMETHODCALLTYPE CBasePin::NonDelegatingRelease()
{
    return m_pFilter->Release();
}

HRESULT CBasePin::SetMediaType(const CMediaType* mediaType)
{
    return m_mt.Set(*mediaType);
}

HRESULT CBasePin::CheckConnect(IPin* pin)
{
    PIN_DIRECTION direction;
    HRESULT hr = pin->QueryDirection(&direction);
    if (FAILED(hr))
        return hr;
    return direction == m_dir ? VFW_E_INVALID_DIRECTION : NOERROR;
}

HRESULT CBasePin::GetMediaType(int position, CMediaType* mediaType)
{
    return E_UNEXPECTED;
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* mediaType)
{
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(mediaType);
    if (hr != S_OK) {
        BreakConnect();
        return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_Connected = receivePin;
    m_Connected->AddRef();
    hr = SetMediaType(mediaType);
    if (SUCCEEDED(hr)) {
        hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), mediaType);
        if (SUCCEEDED(hr)) {
            hr = CompleteConnect(receivePin);
            if (SUCCEEDED(hr))
                return NOERROR;
            receivePin->Disconnect();
        }
    }
    m_Connected->Release();
    m_Connected = nullptr;
    FreeMediaType(m_mt);
    m_mt.InitMediaType();
    BreakConnect();
    return hr == S_FALSE ? VFW_E_TYPE_NOT_ACCEPTED : hr;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types)
{
    HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
    if (FAILED(types->Reset()))
        return failure;
    for (;;) {
        AM_MEDIA_TYPE* type = nullptr;
        ULONG fetched = 0;
        HRESULT hr = types->Next(1, &type, &fetched);
        if (hr != S_OK || fetched != 1 || !type) {
            if (type)
                DeleteMediaType(type);
            return failure;
        }
        if (!partial || AsMediaType(type)->MatchesPartial(partial)) {
            hr = AttemptConnection(receivePin, AsMediaType(type));
            if (SUCCEEDED(hr)) {
                DeleteMediaType(type);
                return NOERROR;
            }
            if (!IsTypeRefusal(hr) && IsTypeRefusal(failure))
                failure = hr;
        }
        DeleteMediaType(type);
    }
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* mediaType)
{
    if (mediaType && !mediaType->IsPartiallySpecified()) {
        return AttemptConnection(receivePin, mediaType);
    }
    HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int round = 0; round < 2; ++round) {
        const bool mine = (round == 0) == bool(m_bTryMyTypesFirst);
        IEnumMediaTypes* types = nullptr;
        HRESULT hr = mine ? EnumMediaTypes(&types) : receivePin->EnumMediaTypes(&types);
        if (FAILED(hr) || !types)
            continue;
        hr = TryMediaTypes(receivePin, mediaType, types);
        types->Release();
        if (SUCCEEDED(hr))
            return NOERROR;
        if (!IsTypeRefusal(hr) && IsTypeRefusal(failure))
            failure = hr;
    }
    return failure;
}

HRESULT STDMETHODCALLTYPE CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType)
{
    if (!receivePin)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive)
        return VFW_E_NOT_STOPPED;
    return AgreeMediaType(receivePin, mediaType ? AsMediaType(mediaType) : nullptr);
}

HRESULT STDMETHODCALLTYPE CBasePin::ReceiveConnection(IPin* connector,
                                                      const AM_MEDIA_TYPE* mediaType)
{
    if (!connector || !mediaType)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive)
        return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(AsMediaType(mediaType));
    if (hr != S_OK) {
        BreakConnect();
        return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_Connected = connector;
    m_Connected->AddRef();
    hr = SetMediaType(AsMediaType(mediaType));
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(connector);
        if (SUCCEEDED(hr))
            return NOERROR;
    }
    m_Connected->Release();
    m_Connected = nullptr;
    FreeMediaType(m_mt);
    m_mt.InitMediaType();
    BreakConnect();
    return hr;
}

HRESULT CBasePin::DisconnectInternal()
{
    if (!m_Connected)
        return S_FALSE;
    HRESULT hr = BreakConnect();
    if (FAILED(hr))
        return hr;
    m_Connected->Release();
    m_Connected = nullptr;
    FreeMediaType(m_mt);
    m_mt.InitMediaType();
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBasePin::Disconnect()
{
    CAutoLock lock(m_pLock);
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    // No lock: the connection changes only while the filter is stopped, and streaming threads
    // ask too.
    *pin = m_Connected;
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    m_Connected->AddRef();
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_Connected) {
        static_cast<CMediaType*>(mediaType)->InitMediaType();
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(mediaType, &m_mt);
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = static_cast<IBaseFilter*>(m_pFilter);
    m_pFilter->AddRef();
    info->dir = m_dir;
    info->achName[0] = 0;
    if (m_pName) {
        wcsncpy(info->achName, m_pName, MAX_PIN_NAME - 1);
        info->achName[MAX_PIN_NAME - 1] = 0;
    }
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = m_dir;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    const WCHAR* name = m_pName ? m_pName : L"";
    size_t bytes = (wcslen(name) + 1) * sizeof(WCHAR);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id)
        return E_OUTOFMEMORY;
    memcpy(*id, name, bytes);
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryAccept(const AM_MEDIA_TYPE* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    HRESULT hr = CheckMediaType(AsMediaType(mediaType));
    return hr == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBasePin::EnumMediaTypes(IEnumMediaTypes** enumTypes)
{
    if (!enumTypes)
        return E_POINTER;
    *enumTypes = new (std::nothrow) CEnumMediaTypes(this, nullptr);
    return *enumTypes ? NOERROR : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryInternalConnections(IPin** pins, ULONG* count)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBasePin::EndOfStream()
{
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                               double rate)
{
    m_tStart = start;
    m_tStop = stop;
    m_dRate = rate;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBasePin::Notify(IBaseFilter* self, Quality quality)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBasePin::SetSink(IQualityControl* sink)
{
    m_pQSink.store(sink, std::memory_order_release);
    return NOERROR;
}

// ---------------------------------------------------------------------------------------------
// CEnumMediaTypes

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* from)
    : m_pPin(pin), m_version(pin->GetMediaTypeVersion())
{
    if (from) {
        m_position = from->m_position;
        m_version = from->m_version;
    }
    m_pPin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pPin->Release();
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumMediaTypes) || IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IEnumMediaTypes*>(this);
        AddRef();
        return NOERROR;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CEnumMediaTypes::AddRef()
{
    return m_cRef.AddRef();
}

ULONG STDMETHODCALLTYPE CEnumMediaTypes::Release()
{
    return m_cRef.Release([this] { delete this; });
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (!types)
        return E_POINTER;
    if (fetched) {
        *fetched = 0;
    } else if (count > 1) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_version != m_pPin->GetMediaTypeVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG done = 0;
    while (done < count) {
        CMediaType type;
        if (m_pPin->GetMediaType(m_position, &type) != S_OK)
            break;
        AM_MEDIA_TYPE* copy = CreateMediaType(&type);
        if (!copy) {
            // Hand out what was made; the caller sees fewer than asked for.
            break;
        }
        ++m_position;
        types[done++] = copy;
    }
    if (fetched)
        *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Skip(ULONG count)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_version != m_pPin->GetMediaTypeVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    while (count > 0) {
        CMediaType type;
        if (m_pPin->GetMediaType(m_position, &type) != S_OK)
            return S_FALSE;
        ++m_position;
        --count;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_version = m_pPin->GetMediaTypeVersion();
    m_position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumMediaTypes::Clone(IEnumMediaTypes** clone)
{
    if (!clone)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_version != m_pPin->GetMediaTypeVersion()) {
        *clone = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *clone = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
    return *clone ? NOERROR : E_OUTOFMEMORY;
}

// ---------------------------------------------------------------------------------------------
// CBaseOutputPin

CBaseOutputPin::CBaseOutputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock,
                               HRESULT* phr, LPCWSTR name)
    : CBasePin(objectName, filter, lock, phr, name, PINDIR_OUTPUT)
{
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    IMemInputPin* input = nullptr;
    hr = pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (FAILED(hr) || !input)
        return VFW_E_NO_TRANSPORT;
    if (m_pInputPin)
        m_pInputPin->Release();
    m_pInputPin = input;
    return NOERROR;
}

HRESULT CBaseOutputPin::BreakConnect()
{
    DropAllocator(&m_pAllocator);
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    return NOERROR;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* receivePin)
{
    return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    if (!pin || !allocator)
        return E_POINTER;
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES request{};
    pin->GetAllocatorRequirements(&request);  // none is fine: the request stays zero
    if (request.cbAlign == 0)
        request.cbAlign = 1;

    HRESULT hr = pin->GetAllocator(allocator);
    if (SUCCEEDED(hr) && *allocator) {
        ALLOCATOR_PROPERTIES tried = request;
        hr = DecideBufferSize(*allocator, &tried);
        if (SUCCEEDED(hr)) {
            hr = pin->NotifyAllocator(*allocator, FALSE);
            if (SUCCEEDED(hr))
                return NOERROR;
        }
    }
    if (*allocator) {
        (*allocator)->Release();
        *allocator = nullptr;
    }

    hr = InitAllocator(allocator);
    if (SUCCEEDED(hr)) {
        hr = DecideBufferSize(*allocator, &request);
        if (SUCCEEDED(hr)) {
            hr = pin->NotifyAllocator(*allocator, FALSE);
            if (SUCCEEDED(hr))
                return NOERROR;
        }
    }
    if (*allocator) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    return hr;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator)
{
    HRESULT hr = S_OK;
    CMemAllocator* made = new (std::nothrow) CMemAllocator(NAME("CMemAllocator"), nullptr, &hr);
    if (!made)
        return E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete made;
        return hr;
    }
    return made->NonDelegatingQueryInterface(IID_IMemAllocator,
                                             reinterpret_cast<void**>(allocator));
}

HRESULT CBaseOutputPin::Active()
{
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive()
{
    m_bRunTimeError = FALSE;
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* startTime,
                                          REFERENCE_TIME* endTime, DWORD flags)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->GetBuffer(sample, startTime, endTime, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample)
{
    if (!m_pInputPin)
        return VFW_E_NOT_CONNECTED;
    return m_pInputPin->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->NewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE CBaseOutputPin::EndOfStream()
{
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE CBaseOutputPin::BeginFlush()
{
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE CBaseOutputPin::EndFlush()
{
    return E_UNEXPECTED;
}

// ---------------------------------------------------------------------------------------------
// CBaseInputPin

CBaseInputPin::CBaseInputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                             LPCWSTR name)
    : CBasePin(objectName, filter, lock, phr, name, PINDIR_INPUT)
{
}

CBaseInputPin::~CBaseInputPin()
{
    if (m_pAllocator)
        m_pAllocator->Release();
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMemInputPin)) {
        return GetInterface(static_cast<IMemInputPin*>(this), object);
    }
    return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator) {
        HRESULT hr = S_OK;
        CMemAllocator* made = new (std::nothrow) CMemAllocator(NAME("CMemAllocator"), nullptr, &hr);
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
    *allocator = m_pAllocator;
    m_pAllocator->AddRef();
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    allocator->AddRef();
    if (m_pAllocator)
        m_pAllocator->Release();
    m_pAllocator = allocator;
    m_bReadOnly = readOnly;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props)
{
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::BreakConnect()
{
    DropAllocator(&m_pAllocator);
    return NOERROR;
}

HRESULT CBaseInputPin::Inactive()
{
    m_bRunTimeError = FALSE;
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    m_bFlushing = FALSE;
    return m_pAllocator->Decommit();
}

HRESULT CBaseInputPin::CheckStreaming()
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (IsStopped())
        return VFW_E_WRONG_STATE;
    if (m_bFlushing)
        return S_FALSE;
    if (m_bRunTimeError)
        return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;

    AM_SAMPLE2_PROPERTIES& props = m_SampleProps;
    props = AM_SAMPLE2_PROPERTIES{};
    props.cbData = sizeof(AM_SAMPLE2_PROPERTIES);
    props.dwStreamId = AM_STREAM_MEDIA;
    HRESULT timeResult = sample->GetTime(&props.tStart, &props.tStop);
    if (SUCCEEDED(timeResult)) {
        props.dwSampleFlags |= AM_SAMPLE_TIMEVALID;
        if (timeResult == S_OK)
            props.dwSampleFlags |= AM_SAMPLE_STOPVALID;
    }
    if (sample->IsSyncPoint() == S_OK)
        props.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
    if (sample->IsPreroll() == S_OK)
        props.dwSampleFlags |= AM_SAMPLE_PREROLL;
    if (sample->IsDiscontinuity() == S_OK)
        props.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
    props.lActual = sample->GetActualDataLength();
    props.cbBuffer = sample->GetSize();
    sample->GetPointer(&props.pbBuffer);

    AM_MEDIA_TYPE* carried = nullptr;
    if (sample->GetMediaType(&carried) == S_OK && carried) {
        m_SampleType.Set(*carried);
        DeleteMediaType(carried);
        props.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
        props.pMediaType = &m_SampleType;
        if (CheckMediaType(&m_SampleType) != S_OK) {
            // A format the pin cannot take ends the stream here, for good until a flush or a
            // stop clears the error.
            EndOfStream();
            m_bRunTimeError = TRUE;
            m_pFilter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
            return VFW_E_INVALIDMEDIATYPE;
        }
    }
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count,
                                                         LONG* processed)
{
    if (!samples || !processed)
        return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    while (*processed < count) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK)
            break;
        ++*processed;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::ReceiveCanBlock()
{
    const int pins = m_pFilter->GetPinCount();
    int outputs = 0;
    for (int i = 0; i < pins; ++i) {
        CBasePin* pin = m_pFilter->GetPin(i);
        PIN_DIRECTION direction;
        if (!pin || FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) {
            continue;
        }
        ++outputs;
        ComPtr<IPin> connected;
        if (FAILED(pin->ConnectedTo(&connected)) || !connected)
            continue;
        ComPtr<IMemInputPin> input;
        if (FAILED(connected.As(&input)) || !input)
            return S_OK;
        if (input->ReceiveCanBlock() != S_FALSE)
            return S_OK;
    }
    return outputs == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::BeginFlush()
{
    CAutoLock lock(m_pLock);
    m_bFlushing = TRUE;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::EndFlush()
{
    CAutoLock lock(m_pLock);
    m_bFlushing = FALSE;
    m_bRunTimeError = FALSE;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::Notify(IBaseFilter* self, Quality quality)
{
    return NOERROR;
}

HRESULT CBaseInputPin::PassNotify(Quality& quality)
{
    // Quality messages arrive on a downstream streaming thread: no filter lock here (Stop may
    // hold it while it waits for that thread).
    IBaseFilter* self = static_cast<IBaseFilter*>(m_pFilter);
    if (IQualityControl* sink = m_pQSink.load(std::memory_order_acquire)) {
        return sink->Notify(self, quality);
    }
    if (!m_Connected)
        return VFW_E_NOT_FOUND;
    ComPtr<IQualityControl> upstream;
    if (FAILED(m_Connected->QueryInterface(IID_PPV_ARGS(&upstream))) || !upstream) {
        return VFW_E_NOT_FOUND;
    }
    return upstream->Notify(self, quality);
}
