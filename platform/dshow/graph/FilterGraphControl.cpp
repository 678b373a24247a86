// The filter graph manager: state changes, the reference clock and the pause waiter.
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <new>

#include "FilterGraph.h"
#include "SystemClock.h"

namespace platform::dshow {

// ---------------------------------------------------------------------------------------------
// The clock

void CFilterGraph::ChooseClock()
{
    if (m_clockFixed)
        return;
    m_clock = nullptr;
    for (IBaseFilter* filter : DownstreamFirst()) {
        ComPtr<IReferenceClock> clock;
        if (FAILED(filter->QueryInterface(IID_PPV_ARGS(&clock))) || !clock)
            continue;
        bool connected = false;
        ComPtr<IEnumPins> pins;
        if (SUCCEEDED(filter->EnumPins(&pins)) && pins) {
            ComPtr<IPin> pin;
            ULONG fetched = 0;
            while (!connected && pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
                ComPtr<IPin> peer;
                connected = SUCCEEDED(pin->ConnectedTo(&peer)) && peer;
            }
        }
        if (connected) {
            m_clock = clock;
            return;
        }
    }
    if (!m_systemClock) {
        auto* clock = new (std::nothrow) CSystemClock;
        if (!clock)
            return;  // no clock: the filters run as fast as they can
        m_systemClock.Attach(clock);
    }
    m_clock = m_systemClock;
}

bool CFilterGraph::ClockTime(REFERENCE_TIME* now)
{
    return m_clock && SUCCEEDED(m_clock->GetTime(now));
}

REFERENCE_TIME CFilterGraph::StreamTime()
{
    if (m_state != State_Running)
        return m_pausedStreamTime;
    REFERENCE_TIME now = 0;
    if (!ClockTime(&now))
        return m_pausedStreamTime;
    // The run starts a little in the future; until then the stream stays where it was.
    return std::max(m_pausedStreamTime, now - m_runStart);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::SetSyncSource(IReferenceClock* clock)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    m_clock = ComPtr<IReferenceClock>(clock);
    m_clockFixed = true;
    for (Member& member : m_members)
        member.filter->SetSyncSource(clock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetSyncSource(IReferenceClock** clock)
{
    if (!clock)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_clock.CopyTo(clock);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::SetDefaultSyncSource()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    m_clockFixed = false;
    ChooseClock();
    for (Member& member : m_members)
        member.filter->SetSyncSource(m_clock.Get());
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// State changes

void CFilterGraph::PrepareStart()
{
    ChooseClock();
    for (Member& member : m_members)
        member.filter->SetSyncSource(m_clock.Get());
    if (m_seekAtStart) {
        // The sources stopped somewhere past what was shown: they start again where the graph
        // stopped.
        LONGLONG position = m_positionBase;
        SeekRenderers(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        m_seekAtStart = false;
    }
    m_pausedStreamTime = 0;
    StartCounting(false);
}

HRESULT CFilterGraph::PauseFilters(std::vector<ComPtr<IBaseFilter>>* cueing)
{
    HRESULT result = S_OK;
    for (IBaseFilter* filter : DownstreamFirst()) {
        HRESULT hr = filter->Pause();
        if (FAILED(hr)) {
            if (SUCCEEDED(result))
                result = hr;
        } else if (hr == S_FALSE && cueing) {
            cueing->push_back(ComPtr<IBaseFilter>(filter));
        }
    }
    return result;
}

HRESULT CFilterGraph::RunFilters(REFERENCE_TIME start)
{
    HRESULT result = S_OK;
    bool intermediate = false;
    for (IBaseFilter* filter : DownstreamFirst()) {
        HRESULT hr = filter->Run(start);
        if (FAILED(hr)) {
            if (SUCCEEDED(result))
                result = hr;
        } else if (hr == S_FALSE) {
            intermediate = true;
        }
    }
    return FAILED(result) ? result : intermediate ? S_FALSE : S_OK;
}

HRESULT CFilterGraph::RunFiltersAt(REFERENCE_TIME start)
{
    if (start == 0) {
        REFERENCE_TIME now = 0;
        if (ClockTime(&now))
            start = now + kRunLatency - m_pausedStreamTime;
    }
    HRESULT result = RunFilters(start);
    m_runStart = start;
    return result;
}

HRESULT CFilterGraph::PauseGraph(bool announce)
{
    if (m_state == State_Stopped) {
        PrepareStart();
    } else if (m_state == State_Running) {
        m_pausedStreamTime = StreamTime();
    }
    std::vector<ComPtr<IBaseFilter>> cueing;
    HRESULT result = PauseFilters(&cueing);
    m_state = State_Paused;
    const bool complete = cueing.empty();
    if (announce)
        AnnouncePause(result, std::move(cueing));
    if (FAILED(result))
        return result;
    return complete ? S_OK : S_FALSE;
}

HRESULT CFilterGraph::RunGraph(REFERENCE_TIME start)
{
    HRESULT paused = S_OK;
    if (m_state == State_Stopped) {
        paused = PauseGraph(true);
        if (FAILED(paused))
            return paused;
    }
    if (m_state == State_Running)
        return S_OK;
    HRESULT result = RunFiltersAt(start);
    m_state = State_Running;
    CompleteIfFinished();
    if (FAILED(result))
        return result;
    return paused == S_FALSE ? S_FALSE : result;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Run()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return RunGraph(0);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Run(REFERENCE_TIME start)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return RunGraph(start);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Pause()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return PauseGraph(true);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Stop()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    StopCounting();
    CancelPendingPause();
    if (m_state != State_Stopped) {
        m_positionBase = CurrentPosition();
        m_seekAtStart = true;
    }
    if (m_state == State_Running)
        PauseFilters(nullptr);
    HRESULT result = S_OK;
    for (IBaseFilter* filter : DownstreamFirst()) {
        HRESULT hr = filter->Stop();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    m_state = State_Stopped;
    m_pausedStreamTime = 0;
    return result;
}

HRESULT CFilterGraph::WaitForState(DWORD milliseconds, FILTER_STATE* state)
{
    std::vector<ComPtr<IBaseFilter>> filters;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        *state = m_state;
        for (IBaseFilter* filter : DownstreamFirst())
            filters.emplace_back(filter);
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    HRESULT result = S_OK;
    for (const ComPtr<IBaseFilter>& filter : filters) {
        DWORD left = INFINITE;
        if (milliseconds != INFINITE) {
            auto remaining =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            left = DWORD(std::max<long long>(0, remaining.count()));
        }
        FILTER_STATE filterState = State_Stopped;
        HRESULT hr = filter->GetState(left, &filterState);
        if (FAILED(hr))
            return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE) {
            result = VFW_S_STATE_INTERMEDIATE;
        } else if (hr == VFW_S_CANT_CUE && result == S_OK) {
            result = VFW_S_CANT_CUE;
        }
    }
    return result;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetState(LONG msTimeout, OAFilterState* state)
{
    if (!state)
        return E_POINTER;
    FILTER_STATE filterState = State_Stopped;
    HRESULT hr = WaitForState(msTimeout < 0 ? INFINITE : DWORD(msTimeout), &filterState);
    *state = filterState;
    return hr;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetState(DWORD milliSecsTimeout, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    return WaitForState(milliSecsTimeout, state);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::RenderFile(BSTR)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::AddSourceFilter(BSTR, IDispatch** unknown)
{
    if (unknown)
        *unknown = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::get_FilterCollection(IDispatch** unknown)
{
    if (unknown)
        *unknown = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::get_RegFilterCollection(IDispatch** unknown)
{
    if (unknown)
        *unknown = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::StopWhenReady()
{
    return E_NOTIMPL;
}

// ---------------------------------------------------------------------------------------------
// The pause waiter

void CFilterGraph::AnnouncePause(HRESULT result, std::vector<ComPtr<IBaseFilter>> cueing)
{
    std::lock_guard<std::mutex> guard(m_pauseLock);
    ++m_pauseGeneration;
    m_cueing.clear();
    if (FAILED(result) || cueing.empty()) {
        QueueEvent(EC_PAUSED, result, 0);
        return;
    }
    m_cueing = std::move(cueing);
    if (!m_pauseWaiter.joinable()) {
        try {
            m_pauseWaiter = std::thread(&CFilterGraph::CueLoop, this);
        } catch (...) {
            // Without the waiter nobody would announce the pause: announce it now.
            m_cueing.clear();
            QueueEvent(EC_PAUSED, S_OK, 0);
            return;
        }
    }
    m_pauseChanged.notify_all();
}

void CFilterGraph::CancelPendingPause()
{
    {
        std::lock_guard<std::mutex> guard(m_pauseLock);
        ++m_pauseGeneration;
        m_cueing.clear();
    }
    m_pauseChanged.notify_all();
}

void CFilterGraph::CueLoop()
{
    pthread_setname_np(pthread_self(), "kv-graph-cue");
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> guard(m_pauseLock);
    while (!m_pauseWaiterExit) {
        if (m_cueing.empty()) {
            m_pauseChanged.wait(guard);
            continue;
        }
        const unsigned generation = m_pauseGeneration;
        std::vector<ComPtr<IBaseFilter>> asked = m_cueing;
        std::vector<ComPtr<IBaseFilter>> stillCueing;
        const auto roundStart = Clock::now();
        guard.unlock();
        for (const ComPtr<IBaseFilter>& filter : asked) {
            FILTER_STATE state = State_Stopped;
            if (filter->GetState(kCuePollMilliseconds, &state) == VFW_S_STATE_INTERMEDIATE) {
                stillCueing.push_back(filter);
            }
        }
        // The references go here, outside the lock: a filter removed meanwhile ends here.
        asked.clear();
        guard.lock();
        if (generation != m_pauseGeneration)
            continue;  // a stop or a new pause came
        m_cueing = std::move(stillCueing);
        if (m_cueing.empty()) {
            QueueEvent(EC_PAUSED, S_OK, 0);
            continue;
        }
        // A filter that answers at once instead of waiting is asked again a little later.
        m_pauseChanged.wait_until(guard, roundStart + std::chrono::milliseconds(10), [&] {
            return m_pauseWaiterExit || generation != m_pauseGeneration;
        });
    }
}

}  // namespace platform::dshow
