// The time-out rule that every waitable kernel object shares.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/kernel.h"

namespace platform {

// Waits on `signal` (with `lock` held, as condition variables require) until `ready()` is true
// or `milliseconds` have passed on the steady clock; INFINITE never times out and 0 only looks.
// Returns WAIT_OBJECT_0 when ready() held, WAIT_TIMEOUT otherwise. The caller that consumes a
// signal (an auto-reset event) does so while still holding `lock`, so no other waiter can see
// the same signal.
template <class Ready>
DWORD WaitUntilReady(std::condition_variable& signal, std::unique_lock<std::mutex>& lock,
                     DWORD milliseconds, Ready ready)
{
    if (milliseconds == INFINITE) {
        signal.wait(lock, ready);
        return WAIT_OBJECT_0;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    return signal.wait_until(lock, deadline, ready) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

}  // namespace platform
