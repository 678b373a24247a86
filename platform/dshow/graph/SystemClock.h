// The system reference clock (CLSID_SystemClock): the clock a filter graph runs on when no filter
// in it offers one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dshow.h"

namespace platform::dshow {

// Reference time is the monotonic clock in 100 ns, so it never goes back and does not follow
// changes of the wall clock. One-shot advise requests are served by one thread of the clock's
// own ("kv-sysclock"), started at the first request that is not due yet and joined when the
// clock is destroyed; a request that is due already signals its event at once. Periodic
// requests need a semaphore, which the layer does not have: AdvisePeriodic answers E_NOTIMPL.
// Safe on any thread.
class CSystemClock final : public IReferenceClock {
public:
    // The class creator for the system class table: a new clock with one reference.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    CSystemClock() = default;
    CSystemClock(const CSystemClock&) = delete;
    CSystemClock& operator=(const CSystemClock&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override;
    // E_INVALIDARG unless 0 < baseTime + streamTime < MAX_TIME and the event is not null.
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                         HEVENT event, DWORD_PTR* adviseCookie) override;
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                             HSEMAPHORE semaphore,
                                             DWORD_PTR* adviseCookie) override;
    // S_OK when the request was waiting, S_FALSE when it had fired or never existed.
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR adviseCookie) override;

    // The monotonic clock now, in 100 ns.
    static REFERENCE_TIME Now();

private:
    ~CSystemClock();

    struct Request {
        DWORD_PTR cookie;
        REFERENCE_TIME due;  // reference time, 100 ns
        HEVENT event;
    };

    void AdviseLoop();

    platform::RefCount m_references;

    std::mutex m_lock;
    std::condition_variable m_changed;  // a request came or went, or the clock ends
    std::vector<Request> m_requests;    // guarded by m_lock
    DWORD_PTR m_nextCookie = 1;         // guarded by m_lock
    bool m_exit = false;                // guarded by m_lock
    std::thread m_thread;               // started under m_lock; joined by the destructor
};

}  // namespace platform::dshow
