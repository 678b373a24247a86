// The system reference clock and its advise thread.
#include "SystemClock.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>

#include "../../com/classes.h"
#include "platform/kernel.h"

namespace platform::dshow {
namespace {

constexpr REFERENCE_TIME kLatestTime = std::numeric_limits<REFERENCE_TIME>::max();

[[maybe_unused]] const bool g_registered =
    RegisterSystemClass(CLSID_SystemClock, &CSystemClock::Create);

}  // namespace

HRESULT CSystemClock::Create(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* clock = new (std::nothrow) CSystemClock;
    if (!clock)
        return E_OUTOFMEMORY;
    HRESULT hr = clock->QueryInterface(iid, object);
    clock->Release();
    return hr;
}

CSystemClock::~CSystemClock()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_exit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

HRESULT STDMETHODCALLTYPE CSystemClock::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IReferenceClock) {
        *object = static_cast<IReferenceClock*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CSystemClock::AddRef()
{
    return m_references.AddRef();
}

ULONG STDMETHODCALLTYPE CSystemClock::Release()
{
    return m_references.Release([this] { delete this; });
}

REFERENCE_TIME CSystemClock::Now()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

HRESULT STDMETHODCALLTYPE CSystemClock::GetTime(REFERENCE_TIME* time)
{
    if (!time)
        return E_POINTER;
    *time = Now();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CSystemClock::AdviseTime(REFERENCE_TIME baseTime,
                                                   REFERENCE_TIME streamTime, HEVENT event,
                                                   DWORD_PTR* adviseCookie)
{
    if (!adviseCookie)
        return E_POINTER;
    *adviseCookie = 0;
    REFERENCE_TIME due = 0;
    if (__builtin_add_overflow(baseTime, streamTime, &due) || due <= 0 || due >= kLatestTime ||
        !event) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    const DWORD_PTR cookie = m_nextCookie++;
    if (due <= Now()) {
        // Due already: the request fires now and is forgotten, as if the thread had served it.
        SetEvent(reinterpret_cast<HANDLE>(event));
        *adviseCookie = cookie;
        return S_OK;
    }
    try {
        m_requests.push_back({cookie, due, event});
        if (!m_thread.joinable())
            m_thread = std::thread(&CSystemClock::AdviseLoop, this);
    } catch (...) {
        if (!m_requests.empty() && m_requests.back().cookie == cookie)
            m_requests.pop_back();
        return E_OUTOFMEMORY;
    }
    *adviseCookie = cookie;
    m_changed.notify_all();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CSystemClock::AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE,
                                                       DWORD_PTR* adviseCookie)
{
    if (!adviseCookie)
        return E_POINTER;
    *adviseCookie = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CSystemClock::Unadvise(DWORD_PTR adviseCookie)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = std::find_if(m_requests.begin(), m_requests.end(),
                              [&](const Request& r) { return r.cookie == adviseCookie; });
    if (found == m_requests.end())
        return S_FALSE;
    m_requests.erase(found);
    m_changed.notify_all();
    return S_OK;
}

void CSystemClock::AdviseLoop()
{
    pthread_setname_np(pthread_self(), "kv-sysclock");
    std::unique_lock<std::mutex> guard(m_lock);
    while (!m_exit) {
        const REFERENCE_TIME now = Now();
        REFERENCE_TIME next = kLatestTime;
        for (auto it = m_requests.begin(); it != m_requests.end();) {
            if (it->due <= now) {
                SetEvent(reinterpret_cast<HANDLE>(it->event));
                it = m_requests.erase(it);
            } else {
                next = std::min(next, it->due);
                ++it;
            }
        }
        if (next == kLatestTime) {
            m_changed.wait(guard);
        } else {
            m_changed.wait_for(guard, std::chrono::nanoseconds((next - now) * 100));
        }
    }
}

}  // namespace platform::dshow
