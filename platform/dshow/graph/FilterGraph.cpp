// The filter graph manager: its identity, membership, connections and the filter enumerator.
#include "FilterGraph.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <new>
#include <set>

#include "../../com/classes.h"

namespace platform::dshow {
namespace {

[[maybe_unused]] const bool g_registered =
    RegisterSystemClass(CLSID_FilterGraph, &CFilterGraph::Create);

// The IUnknown that identifies a COM object, not counted (the caller holds the object), or
// null when the object does not answer it.
IUnknown* IdentityOf(IUnknown* object)
{
    IUnknown* identity = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))) ||
        !identity) {
        return nullptr;
    }
    identity->Release();
    return identity;
}

// Calls `visit` for each pin of the filter with its direction, until it answers false.
void ForEachPin(IBaseFilter* filter, const std::function<bool(IPin*, PIN_DIRECTION)>& visit)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return;
    for (;;) {
        ComPtr<IPin> pin;
        ULONG fetched = 0;
        if (pins->Next(1, &pin, &fetched) != S_OK || fetched != 1 || !pin)
            return;
        PIN_DIRECTION direction = PINDIR_INPUT;
        if (FAILED(pin->QueryDirection(&direction)))
            continue;
        if (!visit(pin.Get(), direction))
            return;
    }
}

// Snapshot enumerator over the graph's members; it fails with VFW_E_ENUM_OUT_OF_SYNC once the
// membership changed, until Reset takes a new snapshot.
class CEnumGraphFilters final : public IEnumFilters {
public:
    explicit CEnumGraphFilters(CFilterGraph* graph)
        : m_graph(static_cast<IGraphBuilder*>(graph)), m_owner(graph)
    {
        Snapshot();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEnumFilters) {
            *object = static_cast<IEnumFilters*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_references.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        return m_references.Release([this] { delete this; });
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override
    {
        if (!filters)
            return E_POINTER;
        if (fetched) {
            *fetched = 0;
        } else if (count > 1) {
            return E_INVALIDARG;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_version != m_owner->MembershipVersion())
            return VFW_E_ENUM_OUT_OF_SYNC;
        ULONG done = 0;
        while (done < count && m_position < m_filters.size()) {
            m_filters[m_position++].CopyTo(&filters[done++]);
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_version != m_owner->MembershipVersion())
            return VFW_E_ENUM_OUT_OF_SYNC;
        const size_t left = m_filters.size() - m_position;
        m_position += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        Snapshot();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumFilters** clone) override
    {
        if (!clone)
            return E_POINTER;
        *clone = nullptr;
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_version != m_owner->MembershipVersion())
            return VFW_E_ENUM_OUT_OF_SYNC;
        auto* copy = new (std::nothrow) CEnumGraphFilters(*this);
        if (!copy)
            return E_OUTOFMEMORY;
        *clone = copy;
        return S_OK;
    }

private:
    CEnumGraphFilters(const CEnumGraphFilters& other)
        : m_graph(other.m_graph),
          m_owner(other.m_owner),
          m_filters(other.m_filters),
          m_position(other.m_position),
          m_version(other.m_version)
    {
    }
    ~CEnumGraphFilters() = default;

    // Called under m_lock (or from the constructor).
    void Snapshot()
    {
        // The version is read first: a change while the snapshot is taken makes the next call
        // fail rather than hand out a mixed set.
        m_version = m_owner->MembershipVersion();
        m_filters = m_owner->MemberSnapshot();
        m_position = 0;
    }

    platform::RefCount m_references;
    ComPtr<IFilterGraph> m_graph;  // keeps m_owner alive
    CFilterGraph* m_owner;
    std::mutex m_lock;
    std::vector<ComPtr<IBaseFilter>> m_filters;  // guarded by m_lock
    size_t m_position = 0;                       // guarded by m_lock
    LONG m_version = 0;                          // guarded by m_lock
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Identity

HRESULT CFilterGraph::Create(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* graph = new (std::nothrow) CFilterGraph;
    if (!graph)
        return E_OUTOFMEMORY;
    HRESULT hr = graph->QueryInterface(iid, object);
    graph->Release();
    return hr;
}

CFilterGraph::~CFilterGraph()
{
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (m_state != State_Stopped)
            Stop();
    }
    {
        std::lock_guard<std::mutex> guard(m_pauseLock);
        m_pauseWaiterExit = true;
        ++m_pauseGeneration;
        m_cueing.clear();
    }
    m_pauseChanged.notify_all();
    if (m_pauseWaiter.joinable())
        m_pauseWaiter.join();

    // Connected filters hold references on each other through their pins: every connection is
    // broken so that the filters can go.
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    for (Member& member : m_members)
        DisconnectAll(member.filter.Get());
    for (Member& member : m_members) {
        member.filter->SetSyncSource(nullptr);
        member.filter->JoinFilterGraph(nullptr, nullptr);
    }
    m_members.clear();
}

HRESULT STDMETHODCALLTYPE CFilterGraph::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IFilterGraph || iid == IID_IGraphBuilder) {
        *object = static_cast<IGraphBuilder*>(this);
    } else if (iid == IID_IMediaControl || iid == IID_IDispatch) {
        *object = static_cast<IMediaControl*>(this);
    } else if (iid == IID_IMediaSeeking) {
        *object = static_cast<IMediaSeeking*>(this);
    } else if (iid == IID_IMediaPosition) {
        *object = static_cast<IMediaPosition*>(this);
    } else if (iid == IID_IMediaEvent || iid == IID_IMediaEventEx) {
        *object = static_cast<IMediaEventEx*>(this);
    } else if (iid == IID_IMediaEventSink) {
        *object = static_cast<IMediaEventSink*>(this);
    } else if (iid == IID_IBasicAudio) {
        *object = static_cast<IBasicAudio*>(this);
    } else if (iid == IID_IMediaFilter || iid == IID_IPersist) {
        *object = static_cast<IMediaFilter*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CFilterGraph::AddRef()
{
    return m_references.AddRef();
}

ULONG STDMETHODCALLTYPE CFilterGraph::Release()
{
    return m_references.Release([this] { delete this; });
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetClassID(CLSID* classID)
{
    if (!classID)
        return E_POINTER;
    *classID = CLSID_FilterGraph;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                               EXCEPINFO*, UINT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------------------------
// Members

CFilterGraph::Member* CFilterGraph::FindMember(IUnknown* identity)
{
    if (!identity)
        return nullptr;
    for (Member& member : m_members) {
        if (member.identity == identity)
            return &member;
    }
    return nullptr;
}

bool CFilterGraph::IsMemberFilter(IBaseFilter* filter)
{
    return filter && FindMember(IdentityOf(filter)) != nullptr;
}

IBaseFilter* CFilterGraph::FilterOfPin(IPin* pin)
{
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info)))
        return nullptr;
    Member* member = info.pFilter ? FindMember(IdentityOf(info.pFilter)) : nullptr;
    if (info.pFilter)
        info.pFilter->Release();
    return member ? member->filter.Get() : nullptr;
}

bool CFilterGraph::IsMemberPin(IPin* pin)
{
    return FilterOfPin(pin) != nullptr;
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::MemberSnapshot()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    std::vector<ComPtr<IBaseFilter>> filters;
    filters.reserve(m_members.size());
    for (const Member& member : m_members)
        filters.push_back(member.filter);
    return filters;
}

std::vector<IBaseFilter*> CFilterGraph::DownstreamFirst()
{
    std::vector<IBaseFilter*> order;
    std::set<IBaseFilter*> visited;
    // Post-order over the connections from output pins: a filter is placed after every filter
    // it feeds. The visited set also ends a walk round a (malformed) cycle.
    std::function<void(IBaseFilter*)> visit = [&](IBaseFilter* filter) {
        if (!visited.insert(filter).second)
            return;
        ForEachPin(filter, [&](IPin* pin, PIN_DIRECTION direction) {
            if (direction != PINDIR_OUTPUT)
                return true;
            ComPtr<IPin> peer;
            if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
                if (IBaseFilter* downstream = FilterOfPin(peer.Get()))
                    visit(downstream);
            }
            return true;
        });
        order.push_back(filter);
    };
    for (Member& member : m_members)
        visit(member.filter.Get());
    return order;
}

std::vector<IBaseFilter*> CFilterGraph::Renderers()
{
    std::vector<IBaseFilter*> renderers;
    for (IBaseFilter* filter : DownstreamFirst()) {
        ComPtr<IAMFilterMiscFlags> flags;
        if (SUCCEEDED(filter->QueryInterface(IID_PPV_ARGS(&flags))) && flags) {
            if (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) {
                renderers.push_back(filter);
            }
            continue;
        }
        bool inputs = false;
        bool outputs = false;
        ForEachPin(filter, [&](IPin*, PIN_DIRECTION direction) {
            (direction == PINDIR_INPUT ? inputs : outputs) = true;
            return true;
        });
        if (inputs && !outputs)
            renderers.push_back(filter);
    }
    return renderers;
}

void CFilterGraph::DisconnectAll(IBaseFilter* filter)
{
    ForEachPin(filter, [&](IPin* pin, PIN_DIRECTION) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
            pin->Disconnect();
            peer->Disconnect();
        }
        return true;
    });
}

HRESULT STDMETHODCALLTYPE CFilterGraph::AddFilter(IBaseFilter* filter, LPCWSTR name)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    IUnknown* identity = IdentityOf(filter);
    if (!identity)
        return E_NOINTERFACE;
    if (FindMember(identity))
        return E_INVALIDARG;

    auto taken = [&](const std::wstring& candidate) {
        return std::any_of(m_members.begin(), m_members.end(),
                           [&](const Member& m) { return m.name == candidate; });
    };
    // Names fit FILTER_INFO::achName with its zero, also with a " 0001" suffix.
    std::wstring base = name ? name : L"Filter";
    std::wstring chosen = base.substr(0, MAX_FILTER_NAME - 1);
    bool renamed = false;
    if (taken(chosen)) {
        base = base.substr(0, MAX_FILTER_NAME - 1 - 5);
        renamed = true;
        chosen.clear();
        for (int suffix = 1; suffix <= 9999; ++suffix) {
            wchar_t number[8];
            swprintf(number, 8, L" %04d", suffix);
            if (!taken(base + number)) {
                chosen = base + number;
                break;
            }
        }
        if (chosen.empty())
            return VFW_E_DUPLICATE_NAME;
    }

    HRESULT hr = filter->JoinFilterGraph(AsFilterGraph(), chosen.c_str());
    if (FAILED(hr))
        return hr;
    try {
        m_members.push_back({ComPtr<IBaseFilter>(filter), identity, chosen});
    } catch (...) {
        filter->JoinFilterGraph(nullptr, nullptr);
        return E_OUTOFMEMORY;
    }
    m_version.fetch_add(1, std::memory_order_acq_rel);
    // A filter that joins a playing graph runs on its clock too.
    if (m_state != State_Stopped)
        filter->SetSyncSource(m_clock.Get());
    return renamed ? VFW_S_DUPLICATE_NAME : S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::RemoveFilter(IBaseFilter* filter)
{
    if (!filter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    Member* member = FindMember(IdentityOf(filter));
    if (!member)
        return VFW_E_NOT_IN_GRAPH;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;

    ComPtr<IBaseFilter> removed = member->filter;
    IUnknown* identity = member->identity;
    DisconnectAll(removed.Get());
    if (m_clock && !m_clockFixed) {
        // A clock the graph took from this filter goes with it; the next start chooses again.
        ComPtr<IReferenceClock> own;
        if (SUCCEEDED(removed->QueryInterface(IID_PPV_ARGS(&own))) && own &&
            IdentityOf(own.Get()) == IdentityOf(m_clock.Get())) {
            m_clock = nullptr;
        }
    }
    // The filter may hold the graph's clock, which may be its own: the reference goes first.
    removed->SetSyncSource(nullptr);
    removed->JoinFilterGraph(nullptr, nullptr);
    ForgetRenderer(removed.Get());
    m_members.erase(std::remove_if(m_members.begin(), m_members.end(),
                                   [&](const Member& m) { return m.identity == identity; }),
                    m_members.end());
    m_version.fetch_add(1, std::memory_order_acq_rel);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::EnumFilters(IEnumFilters** enumFilters)
{
    if (!enumFilters)
        return E_POINTER;
    *enumFilters = nullptr;
    auto* enumerator = new (std::nothrow) CEnumGraphFilters(this);
    if (!enumerator)
        return E_OUTOFMEMORY;
    *enumFilters = enumerator;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::FindFilterByName(LPCWSTR name, IBaseFilter** filter)
{
    if (!filter)
        return E_POINTER;
    *filter = nullptr;
    if (!name)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    for (Member& member : m_members) {
        if (member.name == name)
            return member.filter.CopyTo(filter);
    }
    return VFW_E_NOT_FOUND;
}

// ---------------------------------------------------------------------------------------------
// Connections

HRESULT STDMETHODCALLTYPE CFilterGraph::ConnectDirect(IPin* output, IPin* input,
                                                      const AM_MEDIA_TYPE* mediaType)
{
    if (!output || !input)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!IsMemberPin(output) || !IsMemberPin(input))
        return VFW_E_NOT_IN_GRAPH;
    PIN_DIRECTION outputDirection = PINDIR_INPUT;
    PIN_DIRECTION inputDirection = PINDIR_OUTPUT;
    HRESULT hr = output->QueryDirection(&outputDirection);
    if (SUCCEEDED(hr))
        hr = input->QueryDirection(&inputDirection);
    if (FAILED(hr))
        return hr;
    if (outputDirection != PINDIR_OUTPUT || inputDirection != PINDIR_INPUT) {
        return VFW_E_INVALID_DIRECTION;
    }
    return output->Connect(input, mediaType);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Connect(IPin* output, IPin* input)
{
    return ConnectDirect(output, input, nullptr);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Reconnect(IPin* pin)
{
    if (!pin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!IsMemberPin(pin))
        return VFW_E_NOT_IN_GRAPH;
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(&peer)) || !peer)
        return VFW_E_NOT_CONNECTED;
    PIN_DIRECTION direction = PINDIR_INPUT;
    HRESULT hr = pin->QueryDirection(&direction);
    if (FAILED(hr))
        return hr;
    ComPtr<IPin> output(direction == PINDIR_OUTPUT ? pin : peer.Get());
    ComPtr<IPin> input(direction == PINDIR_OUTPUT ? peer.Get() : pin);
    hr = output->Disconnect();
    if (FAILED(hr))
        return hr;
    hr = input->Disconnect();
    if (FAILED(hr))
        return hr;
    return output->Connect(input.Get(), nullptr);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Disconnect(IPin* pin)
{
    if (!pin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return pin->Disconnect();
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Render(IPin*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::RenderFile(LPCWSTR, LPCWSTR)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter** filter)
{
    if (filter)
        *filter = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::SetLogFile(DWORD_PTR)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Abort()
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::ShouldOperationContinue()
{
    return S_OK;
}

}  // namespace platform::dshow
