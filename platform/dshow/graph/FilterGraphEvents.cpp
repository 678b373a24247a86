// The filter graph manager: the event queue, its notify window, and the count of finished
// renderers behind the graph's EC_COMPLETE.
#include <algorithm>
#include <chrono>

#include "FilterGraph.h"

namespace platform::dshow {

// ---------------------------------------------------------------------------------------------
// The queue

void CFilterGraph::QueueLocked(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    m_events.push_back({code, param1, param2});
    m_eventQueued.notify_all();
    // Posting under the lock: once SetNotifyWindow has returned, the old window gets nothing.
    if (m_notifyWindow)
        PostMessageW(m_notifyWindow, m_notifyMessage, 0, m_notifyData);
}

void CFilterGraph::QueueEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    QueueLocked(code, param1, param2);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2)
{
    if (eventCode != EC_COMPLETE) {
        QueueEvent(eventCode, param1, param2);
        return S_OK;
    }
    std::lock_guard<std::mutex> guard(m_eventLock);
    Completion& completion = m_completion;
    if (!completion.counting)
        return S_OK;
    auto entry = std::find_if(completion.renderers.begin(), completion.renderers.end(),
                              [&](const RendererEntry& e) { return LONG_PTR(e.filter) == param2; });
    // The end of a stream that is not counted, or of the data before a seek under way.
    if (entry == completion.renderers.end() || entry->seekPending)
        return S_OK;
    if (FAILED(HRESULT(param1)) && SUCCEEDED(completion.status))
        completion.status = HRESULT(param1);
    entry->finished = true;
    if (!completion.sent && std::all_of(completion.renderers.begin(), completion.renderers.end(),
                                        [](const RendererEntry& e) { return e.finished; })) {
        completion.sent = true;
        QueueLocked(EC_COMPLETE, completion.status, 0);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetEvent(LONG* eventCode, LONG_PTR* param1,
                                                 LONG_PTR* param2, LONG msTimeout)
{
    if (!eventCode || !param1 || !param2)
        return E_POINTER;
    *eventCode = 0;
    *param1 = *param2 = 0;
    std::unique_lock<std::mutex> guard(m_eventLock);
    auto queued = [&] { return !m_events.empty(); };
    if (msTimeout < 0) {
        m_eventQueued.wait(guard, queued);
    } else if (!m_eventQueued.wait_for(guard, std::chrono::milliseconds(msTimeout), queued)) {
        return E_ABORT;
    }
    const Event event = m_events.front();
    m_events.pop_front();
    *eventCode = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR)
{
    // No event the graph queues owns memory or references through its parameters.
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::SetNotifyWindow(OAHWND window, LONG message,
                                                        LONG_PTR instanceData)
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    m_notifyWindow = reinterpret_cast<HWND>(window);
    m_notifyMessage = UINT(message);
    m_notifyData = instanceData;
    if (m_notifyWindow && !m_events.empty()) {
        PostMessageW(m_notifyWindow, m_notifyMessage, 0, m_notifyData);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetEventHandle(OAEVENT* event)
{
    if (event)
        *event = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::WaitForCompletion(LONG, LONG* eventCode)
{
    if (eventCode)
        *eventCode = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::CancelDefaultHandling(LONG)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::RestoreDefaultHandling(LONG)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::SetNotifyFlags(LONG)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetNotifyFlags(LONG* noNotifyFlags)
{
    if (noNotifyFlags)
        *noNotifyFlags = 0;
    return E_NOTIMPL;
}

// ---------------------------------------------------------------------------------------------
// Counting finished renderers

void CFilterGraph::StartCounting(bool seeking)
{
    // The renderers and their connections are read under m_lock, before the event lock.
    std::vector<RendererEntry> renderers;
    for (IBaseFilter* renderer : Renderers()) {
        bool connected = false;
        ComPtr<IEnumPins> pins;
        if (SUCCEEDED(renderer->EnumPins(&pins)) && pins) {
            ComPtr<IPin> pin;
            ULONG fetched = 0;
            while (!connected && pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
                PIN_DIRECTION direction = PINDIR_OUTPUT;
                ComPtr<IPin> peer;
                connected = SUCCEEDED(pin->QueryDirection(&direction)) &&
                            direction == PINDIR_INPUT && SUCCEEDED(pin->ConnectedTo(&peer)) && peer;
            }
        }
        renderers.push_back({renderer, !connected, seeking && connected});
    }
    std::lock_guard<std::mutex> guard(m_eventLock);
    m_completion.renderers = std::move(renderers);
    m_completion.counting = true;
    m_completion.sent = false;
    m_completion.status = S_OK;
}

CFilterGraph::Completion CFilterGraph::SaveCompletion()
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    return m_completion;
}

void CFilterGraph::RestoreCompletion(Completion saved)
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    m_completion = std::move(saved);
}

void CFilterGraph::ReachRenderer(IBaseFilter* renderer)
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    for (RendererEntry& entry : m_completion.renderers) {
        if (entry.filter == renderer)
            entry.seekPending = false;
    }
}

void CFilterGraph::StopCounting()
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    m_completion.counting = false;
}

void CFilterGraph::CompleteIfFinished()
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    Completion& completion = m_completion;
    if (!completion.counting || completion.sent)
        return;
    if (!std::all_of(completion.renderers.begin(), completion.renderers.end(),
                     [](const RendererEntry& e) { return e.finished; })) {
        return;
    }
    completion.sent = true;
    QueueLocked(EC_COMPLETE, completion.status, 0);
}

void CFilterGraph::ForgetRenderer(IBaseFilter* renderer)
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    auto& renderers = m_completion.renderers;
    renderers.erase(std::remove_if(renderers.begin(), renderers.end(),
                                   [&](const RendererEntry& e) { return e.filter == renderer; }),
                    renderers.end());
}

}  // namespace platform::dshow
