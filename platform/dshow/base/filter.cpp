// CBaseFilter and its pin enumerator.
#include <cwchar>
#include <new>

#include "register.h"

namespace {

WCHAR* CopyText(LPCWSTR text)
{
    if (!text)
        return nullptr;
    size_t length = wcslen(text);
    WCHAR* copy = new (std::nothrow) WCHAR[length + 1];
    if (copy)
        wmemcpy(copy, text, length + 1);
    return copy;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CBaseFilter

CBaseFilter::CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid)
    : CUnknown(name, outer), m_clsid(clsid), m_pLock(lock)
{
}

CBaseFilter::CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid,
                         HRESULT* phr)
    : CBaseFilter(name, outer, lock, clsid)
{
}

CBaseFilter::~CBaseFilter()
{
    delete[] m_pName;
    if (m_pClock)
        m_pClock->Release();
}

HRESULT STDMETHODCALLTYPE CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IBaseFilter)) {
        return GetInterface(static_cast<IBaseFilter*>(this), object);
    }
    if (IsEqualIID(iid, IID_IMediaFilter)) {
        return GetInterface(static_cast<IMediaFilter*>(this), object);
    }
    if (IsEqualIID(iid, IID_IPersist))
        return GetInterface(static_cast<IPersist*>(this), object);
    if (IsEqualIID(iid, IID_IAMovieSetup)) {
        return GetInterface(static_cast<IAMovieSetup*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetClassID(CLSID* classID)
{
    if (!classID)
        return E_POINTER;
    *classID = m_clsid;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Stop()
{
    CAutoLock lock(m_pLock);
    HRESULT result = NOERROR;
    if (m_State != State_Stopped) {
        const int pins = GetPinCount();
        for (int i = 0; i < pins; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected())
                continue;
            HRESULT hr = pin->Inactive();
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr;
        }
    }
    m_State = State_Stopped;
    return result;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Pause()
{
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        const int pins = GetPinCount();
        for (int i = 0; i < pins; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected())
                continue;
            HRESULT hr = pin->Active();
            if (FAILED(hr))
                return hr;
        }
    }
    m_State = State_Paused;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(m_pLock);
    m_tStart = start;
    if (m_State == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    if (m_State != State_Running) {
        const int pins = GetPinCount();
        for (int i = 0; i < pins; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected())
                continue;
            HRESULT hr = pin->Run(start);
            if (FAILED(hr))
                return hr;
        }
    }
    m_State = State_Running;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetState(DWORD milliSecsTimeout, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_State;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::SetSyncSource(IReferenceClock* clock)
{
    CAutoLock lock(m_pLock);
    if (clock)
        clock->AddRef();
    if (m_pClock)
        m_pClock->Release();
    m_pClock = clock;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetSyncSource(IReferenceClock** clock)
{
    if (!clock)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    *clock = m_pClock;
    if (m_pClock)
        m_pClock->AddRef();
    return NOERROR;
}

HRESULT CBaseFilter::StreamTime(CRefTime& streamTime)
{
    CAutoLock lock(m_pLock);
    if (!m_pClock)
        return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    HRESULT hr = m_pClock->GetTime(&now);
    if (FAILED(hr))
        return hr;
    streamTime = now - m_tStart;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::EnumPins(IEnumPins** enumPins)
{
    if (!enumPins)
        return E_POINTER;
    *enumPins = new (std::nothrow) CEnumPins(this, nullptr);
    return *enumPins ? NOERROR : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    if (!id)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    const int pins = GetPinCount();
    for (int i = 0; i < pins; ++i) {
        CBasePin* candidate = GetPin(i);
        if (!candidate)
            continue;
        LPWSTR candidateId = nullptr;
        if (FAILED(candidate->QueryId(&candidateId)) || !candidateId)
            continue;
        bool same = wcscmp(candidateId, id) == 0;
        CoTaskMemFree(candidateId);
        if (same) {
            *pin = candidate;
            candidate->AddRef();
            return NOERROR;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    info->achName[0] = 0;
    if (m_pName) {
        wcsncpy(info->achName, m_pName, MAX_FILTER_NAME - 1);
        info->achName[MAX_FILTER_NAME - 1] = 0;
    }
    info->pGraph = m_pGraph;
    if (m_pGraph)
        m_pGraph->AddRef();
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    CAutoLock lock(m_pLock);
    m_pGraph = graph;
    IMediaEventSink* sink = nullptr;
    if (graph &&
        SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) &&
        sink) {
        // The graph owns this filter: holding a reference on its sink would make a cycle.
        sink->Release();
    }
    m_pSink.store(sink, std::memory_order_release);
    delete[] m_pName;
    m_pName = CopyText(name);
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::QueryVendorInfo(LPWSTR* vendorInfo)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Register()
{
    const AMOVIESETUP_FILTER* setup = GetSetupData();
    if (!setup)
        return S_FALSE;
    return dshowbase::RegisterFilter(*setup);
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Unregister()
{
    const AMOVIESETUP_FILTER* setup = GetSetupData();
    if (!setup || !setup->clsID)
        return S_FALSE;
    return dshowbase::UnregisterFilter(*setup->clsID);
}

HRESULT CBaseFilter::NotifyEvent(LONG eventCode, LONG_PTR param1, LONG_PTR param2)
{
    IMediaEventSink* sink = m_pSink.load(std::memory_order_acquire);
    if (!sink)
        return E_NOTIMPL;
    if (eventCode == EC_COMPLETE)
        param2 = LONG_PTR(static_cast<IBaseFilter*>(this));
    return sink->Notify(eventCode, param1, param2);
}

HRESULT CBaseFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mediaType)
{
    IFilterGraph* graph = nullptr;
    {
        CAutoLock lock(m_pLock);
        graph = m_pGraph;
    }
    if (!graph)
        return E_NOINTERFACE;
    return graph->Reconnect(pin);
}

LONG CBaseFilter::GetPinVersion()
{
    return m_PinVersion.load(std::memory_order_acquire);
}

void CBaseFilter::IncrementPinVersion()
{
    m_PinVersion.fetch_add(1, std::memory_order_acq_rel);
}

// ---------------------------------------------------------------------------------------------
// CEnumPins

CEnumPins::CEnumPins(CBaseFilter* filter, const CEnumPins* from)
    : m_pFilter(filter), m_version(filter->GetPinVersion())
{
    if (from) {
        m_position = from->m_position;
        m_version = from->m_version;
    }
    m_pFilter->AddRef();
}

CEnumPins::~CEnumPins()
{
    m_pFilter->Release();
}

HRESULT STDMETHODCALLTYPE CEnumPins::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumPins) || IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IEnumPins*>(this);
        AddRef();
        return NOERROR;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CEnumPins::AddRef()
{
    return m_cRef.AddRef();
}

ULONG STDMETHODCALLTYPE CEnumPins::Release()
{
    return m_cRef.Release([this] { delete this; });
}

HRESULT STDMETHODCALLTYPE CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (!pins)
        return E_POINTER;
    if (fetched) {
        *fetched = 0;
    } else if (count > 1) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_version != m_pFilter->GetPinVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG done = 0;
    while (done < count) {
        CBasePin* pin = m_pFilter->GetPin(m_position);
        if (!pin)
            break;
        ++m_position;
        pins[done++] = pin;
        pin->AddRef();
    }
    if (fetched)
        *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Skip(ULONG count)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_version != m_pFilter->GetPinVersion())
        return VFW_E_ENUM_OUT_OF_SYNC;
    const int pins = m_pFilter->GetPinCount();
    const LONGLONG target = LONGLONG(m_position) + count;
    if (target > pins) {
        m_position = pins;
        return S_FALSE;
    }
    m_position = int(target);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_version = m_pFilter->GetPinVersion();
    m_position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEnumPins::Clone(IEnumPins** clone)
{
    if (!clone)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_version != m_pFilter->GetPinVersion()) {
        *clone = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *clone = new (std::nothrow) CEnumPins(m_pFilter, this);
    return *clone ? NOERROR : E_OUTOFMEMORY;
}
