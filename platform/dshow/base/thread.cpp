// Events and the request/reply worker thread of the base classes.
#include <chrono>

#include "platform/dshow/streams.h"

// ---------------------------------------------------------------------------------------------
// CAMEvent

CAMEvent::CAMEvent(BOOL manualReset, HRESULT* phr)
    : m_hEvent(CreateEventW(nullptr, manualReset, FALSE, nullptr))
{
    if (!m_hEvent && phr)
        *phr = E_OUTOFMEMORY;
}

CAMEvent::~CAMEvent()
{
    if (m_hEvent)
        CloseHandle(m_hEvent);
}

void CAMEvent::Set()
{
    if (m_hEvent)
        SetEvent(m_hEvent);
}

void CAMEvent::Reset()
{
    if (m_hEvent)
        ResetEvent(m_hEvent);
}

BOOL CAMEvent::Wait(DWORD timeout)
{
    return m_hEvent && WaitForSingleObject(m_hEvent, timeout) == WAIT_OBJECT_0;
}

// ---------------------------------------------------------------------------------------------
// CAMThread

CAMThread::CAMThread(HRESULT* phr) {}

CAMThread::~CAMThread()
{
    Close();
}

DWORD WINAPI CAMThread::InitialThreadProc(LPVOID parameter)
{
    CAMThread* thread = static_cast<CAMThread*>(parameter);
    DWORD result = thread->ThreadProc();
    {
        std::lock_guard<std::mutex> guard(thread->m_requestLock);
        thread->m_threadEnded = true;
    }
    // An owner still waiting in CallWorker gets its answer: there will be no reply.
    thread->m_requestChanged.notify_all();
    return result;
}

BOOL CAMThread::Create()
{
    CAutoLock lock(&m_AccessLock);
    if (ThreadExists())
        return FALSE;
    {
        std::lock_guard<std::mutex> guard(m_requestLock);
        m_requestPending = false;
        m_replied = false;
        m_threadEnded = false;
    }
    DWORD id = 0;
    m_hThread = CreateThread(nullptr, 0, &CAMThread::InitialThreadProc, this, 0, &id);
    return m_hThread != nullptr;
}

void CAMThread::Close()
{
    CAutoLock lock(&m_AccessLock);
    if (!m_hThread)
        return;
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}

DWORD CAMThread::CallWorker(DWORD request)
{
    CAutoLock lock(&m_AccessLock);
    if (!PostRequest(request))
        return DWORD(E_FAIL);
    return WaitForReply();
}

BOOL CAMThread::PostRequest(DWORD request)
{
    CAutoLock lock(&m_AccessLock);
    if (!ThreadExists())
        return FALSE;
    {
        std::lock_guard<std::mutex> guard(m_requestLock);
        if (m_threadEnded)
            return FALSE;
        m_request = request;
        m_requestPending = true;
        m_replied = false;
    }
    m_requestChanged.notify_all();
    return TRUE;
}

DWORD CAMThread::WaitForReply()
{
    std::unique_lock<std::mutex> guard(m_requestLock);
    m_requestChanged.wait(guard, [this] { return m_replied || m_threadEnded; });
    if (!m_replied) {
        m_requestPending = false;
        return DWORD(E_FAIL);
    }
    return m_reply;
}

DWORD CAMThread::GetRequest()
{
    std::unique_lock<std::mutex> guard(m_requestLock);
    m_requestChanged.wait(guard, [this] { return m_requestPending; });
    return m_request;
}

BOOL CAMThread::CheckRequest(DWORD* request)
{
    std::lock_guard<std::mutex> guard(m_requestLock);
    if (!m_requestPending)
        return FALSE;
    if (request)
        *request = m_request;
    return TRUE;
}

BOOL CAMThread::WaitForRequest(DWORD milliseconds)
{
    std::unique_lock<std::mutex> guard(m_requestLock);
    return m_requestChanged.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                     [this] { return m_requestPending; });
}

void CAMThread::Reply(DWORD result)
{
    {
        std::lock_guard<std::mutex> guard(m_requestLock);
        if (!m_requestPending)
            return;
        m_reply = result;
        m_requestPending = false;
        m_replied = true;
    }
    m_requestChanged.notify_all();
}
