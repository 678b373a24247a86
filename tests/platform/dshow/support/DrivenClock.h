// Test support: a reference clock that stands still until the test moves it. A request for an
// event at a time fires when the clock reaches that time, at once when it has passed already.
#pragma once

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/dshow.h"
#include "platform/kernel.h"

namespace dshowtest {

class CDrivenClock final : public IReferenceClock {
public:
    // Made with one reference, which the creator releases.
    explicit CDrivenClock(REFERENCE_TIME start) : m_now(start) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IReferenceClock)) {
            *object = static_cast<IReferenceClock*>(this);
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

    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override
    {
        if (!time)
            return E_POINTER;
        std::lock_guard<std::mutex> guard(m_lock);
        *time = m_now;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME base, REFERENCE_TIME stream, HEVENT event,
                                         DWORD_PTR* cookie) override
    {
        if (!cookie)
            return E_POINTER;
        std::lock_guard<std::mutex> guard(m_lock);
        *cookie = ++m_lastCookie;
        if (base + stream <= m_now) {
            SetEvent(reinterpret_cast<HANDLE>(event));
        } else {
            m_requests.push_back({*cookie, base + stream, event});
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE,
                                             DWORD_PTR*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR cookie) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto found = std::find_if(m_requests.begin(), m_requests.end(),
                                        [&](const Request& r) { return r.cookie == cookie; });
        if (found == m_requests.end())
            return S_FALSE;
        m_requests.erase(found);
        return S_OK;
    }

    REFERENCE_TIME Now()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_now;
    }

    // Moves the clock on by `amount` (100 ns) and fires the requests that fell due.
    void Advance(REFERENCE_TIME amount)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_now += amount;
        for (auto it = m_requests.begin(); it != m_requests.end();) {
            if (it->due <= m_now) {
                SetEvent(reinterpret_cast<HANDLE>(it->event));
                it = m_requests.erase(it);
            } else {
                ++it;
            }
        }
    }

private:
    struct Request {
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        HEVENT event;
    };
    ~CDrivenClock() = default;

    platform::RefCount m_references;
    std::mutex m_lock;
    REFERENCE_TIME m_now;             // guarded by m_lock
    DWORD_PTR m_lastCookie = 0;       // guarded by m_lock
    std::vector<Request> m_requests;  // guarded by m_lock
};

}  // namespace dshowtest
