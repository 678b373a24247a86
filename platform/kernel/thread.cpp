// Threads: CreateThread over detached pthreads, and the thread and process ids.
//
// A thread's kernel object is shared by its handle and by the thread itself, so a caller may
// close the handle at any time; the object goes when both are done with it. Thread ids are
// handed out by this layer, one per thread for the life of the process and never reused, so a
// table keyed by thread id cannot mistake a new thread for one that has ended. Threads that
// this layer did not start (the main thread, library threads) get their id on first use.
#include <atomic>
#include <cstdio>
#include <memory>

#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include "handle.h"
#include "wait.h"

namespace platform {
namespace {

std::atomic<DWORD> g_nextThreadId{1};
thread_local DWORD t_threadId = 0;

DWORD NewThreadId()
{
    DWORD id = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
    if (id == 0)
        id = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);  // after a wrap
    return id;
}

class ThreadObject : public KernelObject {
public:
    // Signalled when the thread function has returned.
    DWORD Wait(DWORD milliseconds) override
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return WaitUntilReady(m_finished, guard, milliseconds, [this] { return m_done; });
    }

    void Finish(DWORD exitCode)
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_exitCode = exitCode;
            m_done = true;
        }
        m_finished.notify_all();
    }

    // STILL_ACTIVE until the function returns, then its result.
    DWORD ExitCode()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_exitCode;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_finished;
    bool m_done = false;              // guarded by m_lock
    DWORD m_exitCode = STILL_ACTIVE;  // guarded by m_lock
};

// What the new thread receives; it owns this record and frees it when the function returns.
struct ThreadStart {
    std::shared_ptr<ThreadObject> object;
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
    DWORD id;
};

void* RunThread(void* argument)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
    t_threadId = start->id;
    // Names show in debuggers and in top; Linux allows 15 characters.
    char name[16];
    std::snprintf(name, sizeof name, "kvthread-%u", unsigned(start->id));
    pthread_setname_np(pthread_self(), name);
    DWORD exitCode = start->routine(start->parameter);
    start->object->Finish(exitCode);
    return nullptr;
}

}  // namespace
}  // namespace platform

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE startAddress,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId)
{
    using namespace platform;
    // Suspended creation needs ResumeThread, which this layer does not offer; no other flag
    // is used by our code.
    if (!startAddress || creationFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }

    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        // Windows rounds the size up to whole pages and reserves at least 64 KiB.
        SIZE_T page = SIZE_T(sysconf(_SC_PAGESIZE));
        SIZE_T size = (stackSize + page - 1) / page * page;
        if (size < 64 * 1024)
            size = 64 * 1024;
        if (size < SIZE_T(PTHREAD_STACK_MIN))
            size = PTHREAD_STACK_MIN;
        pthread_attr_setstacksize(&attributes, size);
    }

    auto object = std::make_shared<ThreadObject>();
    DWORD id = NewThreadId();
    auto* start = new ThreadStart{object, startAddress, parameter, id};
    pthread_t thread;
    int error = pthread_create(&thread, &attributes, RunThread, start);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete start;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId)
        *threadId = id;
    return NewHandle(std::move(object));
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode)
{
    auto object = platform::HandleAs<platform::ThreadObject>(thread);
    if (!object)
        return FALSE;
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = object->ExitCode();
    return TRUE;
}

DWORD GetCurrentThreadId()
{
    if (platform::t_threadId == 0)
        platform::t_threadId = platform::NewThreadId();
    return platform::t_threadId;
}

DWORD GetCurrentProcessId()
{
    return DWORD(getpid());
}
