// Source filters: CSource and its streaming output pin CSourceStream.
#include <cwchar>
#include <new>
#include <vector>

#include "platform/dshow/streams.h"

// ---------------------------------------------------------------------------------------------
// CSource

CSource::CSource(LPCTSTR name, LPUNKNOWN outer, CLSID clsid, HRESULT* phr)
    : CBaseFilter(name, outer, &m_cStateLock, clsid)
{
}

CSource::CSource(LPCTSTR name, LPUNKNOWN outer, CLSID clsid)
    : CBaseFilter(name, outer, &m_cStateLock, clsid)
{
}

CSource::~CSource()
{
    // Each pin removes itself from the array as it goes.
    while (m_iPins > 0)
        delete m_paStreams[m_iPins - 1];
    delete[] m_paStreams;
}

int CSource::GetPinCount()
{
    CAutoLock lock(&m_cStateLock);
    return m_iPins;
}

CBasePin* CSource::GetPin(int index)
{
    CAutoLock lock(&m_cStateLock);
    if (index < 0 || index >= m_iPins)
        return nullptr;
    return m_paStreams[index];
}

HRESULT CSource::AddPin(CSourceStream* pin)
{
    CAutoLock lock(&m_cStateLock);
    CSourceStream** streams = new (std::nothrow) CSourceStream*[m_iPins + 1];
    if (!streams)
        return E_OUTOFMEMORY;
    for (int i = 0; i < m_iPins; ++i)
        streams[i] = m_paStreams[i];
    streams[m_iPins] = pin;
    delete[] m_paStreams;
    m_paStreams = streams;
    ++m_iPins;
    IncrementPinVersion();
    return NOERROR;
}

HRESULT CSource::RemovePin(CSourceStream* pin)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (m_paStreams[i] != pin)
            continue;
        for (int j = i; j + 1 < m_iPins; ++j)
            m_paStreams[j] = m_paStreams[j + 1];
        --m_iPins;
        if (m_iPins == 0) {
            delete[] m_paStreams;
            m_paStreams = nullptr;
        }
        IncrementPinVersion();
        return NOERROR;
    }
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE CSource::Pause()
{
    CAutoLock lock(&m_cStateLock);
    if (m_State != State_Stopped)
        return CBaseFilter::Pause();
    HRESULT result = NOERROR;
    std::vector<CSourceStream*> started;
    for (int i = 0; i < m_iPins; ++i) {
        HRESULT hr = m_paStreams[i]->StartThread();
        if (FAILED(hr)) {
            result = hr;
            break;
        }
        if (hr == S_OK)
            started.push_back(m_paStreams[i]);
    }
    // Every thread that was started answers its CMD_INIT, after a failure too.
    std::vector<CSourceStream*> running;
    for (CSourceStream* pin : started) {
        HRESULT hr = pin->AwaitThreadStart();
        if (SUCCEEDED(hr)) {
            running.push_back(pin);
        } else if (SUCCEEDED(result)) {
            result = hr;
        }
    }
    if (SUCCEEDED(result)) {
        std::vector<bool> posted;
        for (CSourceStream* pin : running)
            posted.push_back(pin->PostRequest(CSourceStream::CMD_PAUSE));
        for (size_t i = 0; i < running.size(); ++i) {
            HRESULT hr = posted[i] ? HRESULT(running[i]->WaitForReply()) : E_FAIL;
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr;
        }
    }
    if (FAILED(result)) {
        // Through CBasePin, where Inactive is public, as CBaseFilter::Stop calls it.
        for (CBasePin* pin : running)
            pin->Inactive();
        return result;
    }
    m_State = State_Paused;
    return NOERROR;
}

int CSource::FindPinNumber(IPin* pin)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (static_cast<IPin*>(m_paStreams[i]) == pin)
            return i;
    }
    return -1;
}

HRESULT STDMETHODCALLTYPE CSource::FindPin(LPCWSTR id, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    if (!id)
        return E_POINTER;
    // Only a plain decimal number names a pin: "2", not "2x" or "+2".
    WCHAR* end = nullptr;
    long number = (id[0] >= L'0' && id[0] <= L'9') ? wcstol(id, &end, 10) : 0;
    if (!end || *end != 0 || number < 1)
        return VFW_E_NOT_FOUND;
    CAutoLock lock(&m_cStateLock);
    if (number > m_iPins)
        return VFW_E_NOT_FOUND;
    CSourceStream* found = m_paStreams[number - 1];
    *pin = static_cast<IPin*>(found);
    found->AddRef();
    return NOERROR;
}

// ---------------------------------------------------------------------------------------------
// CSourceStream

CSourceStream::CSourceStream(LPCTSTR objectName, HRESULT* phr, CSource* filter, LPCWSTR name)
    : CAMThread(phr),
      CBaseOutputPin(objectName, filter, filter->pStateLock(), phr, name),
      m_pFilter(filter)
{
    HRESULT hr = m_pFilter->AddPin(this);
    if (FAILED(hr) && phr)
        *phr = hr;
}

CSourceStream::~CSourceStream()
{
    if (ThreadExists()) {
        if (m_pAllocator)
            m_pAllocator->Decommit();
        if (SUCCEEDED(Stop()))
            Exit();
        Close();
    }
    m_pFilter->RemovePin(this);
}

HRESULT STDMETHODCALLTYPE CSourceStream::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    *id = nullptr;
    int number = m_pFilter->FindPinNumber(static_cast<IPin*>(this)) + 1;
    if (number < 1)
        return VFW_E_NOT_FOUND;
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(12 * sizeof(WCHAR)));
    if (!*id)
        return E_OUTOFMEMORY;
    swprintf(*id, 12, L"%d", number);
    return NOERROR;
}

HRESULT CSourceStream::Active()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (m_pFilter->IsActive())
        return S_FALSE;
    HRESULT hr = StartThread();
    if (hr != S_OK)
        return SUCCEEDED(hr) ? NOERROR : hr;
    hr = AwaitThreadStart();
    if (FAILED(hr))
        return hr;
    return Pause();
}

HRESULT CSourceStream::StartThread()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected())
        return S_FALSE;
    if (ThreadExists())
        return E_UNEXPECTED;
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr))
        return hr;
    if (!Create()) {
        CBaseOutputPin::Inactive();
        return E_FAIL;
    }
    if (!PostRequest(CMD_INIT)) {
        CBaseOutputPin::Inactive();
        Close();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CSourceStream::AwaitThreadStart()
{
    CAutoLock lock(m_pFilter->pStateLock());
    HRESULT hr = HRESULT(WaitForReply());
    if (FAILED(hr)) {
        // The thread ends after refusing to start (OnThreadCreate failed): join it.
        CBaseOutputPin::Inactive();
        Close();
    }
    return hr;
}

HRESULT CSourceStream::Inactive()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected())
        return NOERROR;
    // Decommitting first wakes a streaming thread that waits for a buffer, so that it takes
    // the stop request.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (ThreadExists()) {
        HRESULT stopped = Stop();
        if (SUCCEEDED(stopped))
            stopped = Exit();
        // A thread that answered or has ended is joined; the thread is never left behind.
        Close();
        if (FAILED(stopped) && SUCCEEDED(hr))
            hr = stopped;
    }
    return hr;
}

BOOL CSourceStream::CheckRequest(Command* command)
{
    DWORD request = 0;
    if (!CAMThread::CheckRequest(&request))
        return FALSE;
    if (command)
        *command = Command(request);
    return TRUE;
}

DWORD CSourceStream::ThreadProc()
{
    Command command;
    do {
        command = GetRequest();
        if (command == CMD_EXIT) {
            Reply(NOERROR);
            return 0;
        }
        if (command != CMD_INIT)
            Reply(DWORD(E_UNEXPECTED));
    } while (command != CMD_INIT);

    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        Reply(DWORD(hr));
        return 1;
    }
    Reply(NOERROR);

    do {
        command = GetRequest();
        switch (command) {
            case CMD_EXIT:
                Reply(NOERROR);
                break;
            case CMD_RUN:
            case CMD_PAUSE:
                Reply(NOERROR);
                DoBufferProcessingLoop();
                break;
            case CMD_STOP:
                Reply(NOERROR);
                break;
            default:
                Reply(DWORD(E_NOTIMPL));
                break;
        }
    } while (command != CMD_EXIT);

    OnThreadDestroy();
    return 0;
}

HRESULT CSourceStream::DoBufferProcessingLoop()
{
    OnThreadStartPlay();
    for (;;) {
        Command command;
        while (!CheckRequest(&command)) {
            IMediaSample* sample = nullptr;
            HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
            if (FAILED(hr)) {
                // No buffer while the allocator is decommitted: a stop is on its way, or
                // the downstream filter commits again. Wait for a request a little, then try
                // again.
                WaitForRequest(1);
                continue;
            }
            hr = FillBuffer(sample);
            if (hr == S_OK) {
                hr = Deliver(sample);
                sample->Release();
                // The downstream filter takes no more (flushing, stopping, failed).
                if (hr != S_OK)
                    return S_OK;
            } else if (hr == S_FALSE) {
                sample->Release();
                // A FillBuffer that gave up because a stop or exit came has not seen the end
                // of the stream: the downstream filters must not be told it ended.
                Command pending;
                if (!CheckRequest(&pending) || (pending != CMD_STOP && pending != CMD_EXIT)) {
                    DeliverEndOfStream();
                }
                return S_OK;
            } else {
                sample->Release();
                DeliverEndOfStream();
                m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
                return hr;
            }
        }
        // Stop and exit are answered by ThreadProc, which sees the request still pending.
        if (command == CMD_STOP || command == CMD_EXIT)
            return S_FALSE;
        if (command == CMD_RUN || command == CMD_PAUSE) {
            Reply(NOERROR);
        } else {
            Reply(DWORD(E_UNEXPECTED));
        }
    }
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType mine;
    HRESULT hr = GetMediaType(&mine);
    if (FAILED(hr))
        return hr;
    return mine == *mediaType ? NOERROR : E_FAIL;
}

HRESULT CSourceStream::GetMediaType(int position, CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    return GetMediaType(mediaType);
}

HRESULT CSourceStream::GetMediaType(CMediaType* mediaType)
{
    return E_UNEXPECTED;
}
