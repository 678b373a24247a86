#include "AsyncReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/kernel.h"

namespace sysfilters {

namespace {

// Byte positions travel in sample times multiplied by this.
constexpr LONGLONG kUnits = 10000000;

// The whole of `length` bytes at `position`, or as many as the file has: the count read, or
// -1 (errno set) on a read error.
ssize_t ReadFully(int fd, LONGLONG position, LONG length, BYTE* buffer)
{
    ssize_t total = 0;
    while (total < length) {
        ssize_t got = pread(fd, buffer + total, size_t(length - total), off_t(position + total));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The output pin

CAsyncOutputPin::CAsyncOutputPin(CAsyncReader* filter, CCritSec* lock, HRESULT* phr)
    : CBasePin(NAME("Async output"), filter, lock, phr, L"Output", PINDIR_OUTPUT),
      m_pReader(filter)
{
}

CAsyncOutputPin::~CAsyncOutputPin()
{
    Shutdown();
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IAsyncReader))
        return GetInterface(static_cast<IAsyncReader*>(this), object);
    return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CAsyncOutputPin::CheckMediaType(const CMediaType* mediaType)
{
    const CMediaType& own = m_pReader->StreamType();
    if (!IsEqualGUID(*mediaType->Type(), *own.Type()))
        return S_FALSE;
    if (!IsEqualGUID(*mediaType->Subtype(), GUID_NULL) &&
        !IsEqualGUID(*mediaType->Subtype(), *own.Subtype()))
        return S_FALSE;
    return S_OK;
}

HRESULT CAsyncOutputPin::GetMediaType(int position, CMediaType* mediaType)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    return mediaType->Set(m_pReader->StreamType());
}

HRESULT CAsyncOutputPin::CheckConnect(IPin* pin)
{
    return CBasePin::CheckConnect(pin);
}

HRESULT CAsyncOutputPin::BreakConnect()
{
    // A reader that lets go of the pin gets back what it still had queued.
    BeginFlush();
    EndFlush();
    return CBasePin::BreakConnect();
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::RequestAllocator(IMemAllocator* preferred,
                                                            ALLOCATOR_PROPERTIES* props,
                                                            IMemAllocator** actual)
{
    if (!props || !actual)
        return E_POINTER;
    *actual = nullptr;
    ALLOCATOR_PROPERTIES granted{};
    if (props->cbAlign <= 0)
        props->cbAlign = 1;
    if (preferred && SUCCEEDED(preferred->SetProperties(props, &granted))) {
        preferred->AddRef();  // the caller releases it
        *actual = preferred;
        return S_OK;
    }
    HRESULT hr = S_OK;
    CUnknown* made = CMemAllocator::CreateInstance(nullptr, &hr);
    if (!made)
        return E_OUTOFMEMORY;
    IMemAllocator* allocator = nullptr;
    made->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&allocator));
    hr = allocator->SetProperties(props, &granted);
    if (FAILED(hr)) {
        allocator->Release();
        return hr;
    }
    *actual = allocator;  // the caller releases it
    return S_OK;
}

HRESULT CAsyncOutputPin::ReadSample(IMediaSample* sample)
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr))
        return hr;
    BYTE* buffer = nullptr;
    hr = sample->GetPointer(&buffer);
    if (FAILED(hr))
        return hr;
    const LONGLONG position = start / kUnits;
    const LONGLONG length = (stop - start) / kUnits;
    if (position < 0 || length < 0 || length > sample->GetSize())
        return E_INVALIDARG;
    const ssize_t got = ReadFully(m_pReader->FileDescriptor(), position, LONG(length), buffer);
    if (got < 0)
        return E_FAIL;
    sample->SetActualDataLength(LONG(got));
    return got == length ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::Request(IMediaSample* sample, DWORD_PTR user)
{
    if (!sample)
        return E_POINTER;
    if (m_pReader->FileDescriptor() < 0)
        return E_UNEXPECTED;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr))
        return hr;
    if (start < 0 || stop < start || (stop - start) / kUnits > sample->GetSize())
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_queueLock);
    if (m_flushing || m_exit)
        return VFW_E_WRONG_STATE;
    if (!m_worker.joinable())
        m_worker = std::thread([this] { WorkerLoop(); });
    sample->AddRef();  // handed back by WaitForNext
    m_queued.push_back({sample, user, S_OK});
    m_queueChanged.notify_all();
    return S_OK;
}

void CAsyncOutputPin::WorkerLoop()
{
    pthread_setname_np(pthread_self(), "kv-async-read");
    std::unique_lock<std::mutex> lock(m_queueLock);
    for (;;) {
        m_queueChanged.wait(lock, [this] { return m_exit || !m_queued.empty(); });
        if (m_queued.empty())
            return;
        Pending request = m_queued.front();
        m_queued.pop_front();
        ++m_reading;
        lock.unlock();
        request.result = ReadSample(request.sample);
        lock.lock();
        --m_reading;
        m_done.push_back(request);
        m_queueChanged.notify_all();
    }
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::WaitForNext(DWORD timeout, IMediaSample** sample,
                                                       DWORD_PTR* user)
{
    if (!sample || !user)
        return E_POINTER;
    *sample = nullptr;
    *user = 0;
    std::unique_lock<std::mutex> lock(m_queueLock);
    auto ready = [this] { return !m_done.empty() || m_flushing; };
    if (timeout == INFINITE)
        m_queueChanged.wait(lock, ready);
    else
        m_queueChanged.wait_for(lock, std::chrono::milliseconds(timeout), ready);
    if (m_done.empty())
        return m_flushing ? VFW_E_WRONG_STATE : VFW_E_TIMEOUT;
    Pending request = m_done.front();
    m_done.pop_front();
    *sample = request.sample;  // the caller releases it
    *user = request.user;
    return request.result;
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::SyncReadAligned(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    if (m_pReader->FileDescriptor() < 0)
        return E_UNEXPECTED;
    return ReadSample(sample);
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer)
{
    if (!buffer && length > 0)
        return E_POINTER;
    if (position < 0 || length < 0)
        return E_INVALIDARG;
    if (m_pReader->FileDescriptor() < 0)
        return E_UNEXPECTED;
    const ssize_t got = ReadFully(m_pReader->FileDescriptor(), position, length, buffer);
    if (got < 0)
        return E_FAIL;
    return got == length ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::Length(LONGLONG* total, LONGLONG* available)
{
    if (!total || !available)
        return E_POINTER;
    struct stat info {};
    if (m_pReader->FileDescriptor() < 0 || fstat(m_pReader->FileDescriptor(), &info) != 0)
        return E_UNEXPECTED;
    *total = *available = LONGLONG(info.st_size);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::BeginFlush()
{
    std::lock_guard<std::mutex> guard(m_queueLock);
    m_flushing = true;
    // Requests not yet read come back unread.
    while (!m_queued.empty()) {
        Pending request = m_queued.front();
        m_queued.pop_front();
        request.result = VFW_E_WRONG_STATE;
        m_done.push_back(request);
    }
    m_queueChanged.notify_all();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAsyncOutputPin::EndFlush()
{
    std::unique_lock<std::mutex> lock(m_queueLock);
    // A read under way finishes first, so that nothing of the flushed requests is left.
    m_queueChanged.wait(lock, [this] { return m_reading == 0; });
    for (Pending& request : m_done)
        request.sample->Release();
    m_done.clear();
    m_flushing = false;
    return S_OK;
}

void CAsyncOutputPin::Shutdown()
{
    std::thread worker;
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        m_exit = true;
        m_queueChanged.notify_all();
        worker = std::move(m_worker);
    }
    if (worker.joinable())
        worker.join();
    std::lock_guard<std::mutex> guard(m_queueLock);
    for (Pending& request : m_queued)
        request.sample->Release();
    for (Pending& request : m_done)
        request.sample->Release();
    m_queued.clear();
    m_done.clear();
}

// ---------------------------------------------------------------------------------------------
// The filter

CUnknown* CALLBACK CAsyncReader::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    auto* filter = new (std::nothrow) CAsyncReader(outer, phr);
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CAsyncReader::CAsyncReader(LPUNKNOWN outer, HRESULT* phr)
    : CBaseFilter(NAME("Async reader"), outer, &m_lock, CLSID_AsyncReader)
{
}

CAsyncReader::~CAsyncReader()
{
    delete m_pPin;
    if (m_fd >= 0)
        close(m_fd);
}

HRESULT STDMETHODCALLTYPE CAsyncReader::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IFileSourceFilter))
        return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

int CAsyncReader::GetPinCount()
{
    CAutoLock lock(&m_lock);
    return m_pPin ? 1 : 0;
}

CBasePin* CAsyncReader::GetPin(int index)
{
    CAutoLock lock(&m_lock);
    return index == 0 ? m_pPin : nullptr;
}

HRESULT STDMETHODCALLTYPE CAsyncReader::Load(LPCOLESTR fileName, const AM_MEDIA_TYPE* mediaType)
{
    if (!fileName)
        return E_POINTER;
    CAutoLock lock(&m_lock);
    if (m_fd >= 0)
        return E_UNEXPECTED;
    const std::string native = platform::ToNativePath(fileName);
    const int fd = native.empty() ? -1 : open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const DWORD error = errno == ENOENT ? ERROR_FILE_NOT_FOUND
                            : errno == EACCES ? ERROR_ACCESS_DENIED
                                              : ERROR_PATH_NOT_FOUND;
        return HRESULT_FROM_WIN32(error);
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    if (mediaType) {
        m_type = *mediaType;
    } else {
        m_type.InitMediaType();
        m_type.SetType(&MEDIATYPE_Stream);
        BYTE head[12] = {};
        const ssize_t got = ReadFully(fd, 0, sizeof head, head);
        const bool avi = got == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
                         std::memcmp(head + 8, "AVI ", 4) == 0;
        m_type.SetSubtype(avi ? &MEDIASUBTYPE_Avi : &GUID_NULL);
        m_type.SetFormatType(&FORMAT_None);
        m_type.SetVariableSize();
    }
    HRESULT hr = S_OK;
    auto* pin = new (std::nothrow) CAsyncOutputPin(this, &m_lock, &hr);
    if (!pin || FAILED(hr)) {
        delete pin;
        close(fd);
        return pin ? hr : E_OUTOFMEMORY;
    }
    m_fd = fd;
    m_name = fileName;
    m_pPin = pin;
    IncrementPinVersion();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAsyncReader::GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* mediaType)
{
    if (!fileName)
        return E_POINTER;
    *fileName = nullptr;
    CAutoLock lock(&m_lock);
    if (m_fd < 0)
        return E_FAIL;
    const size_t bytes = (m_name.size() + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!copy)
        return E_OUTOFMEMORY;
    std::memcpy(copy, m_name.c_str(), bytes);
    if (mediaType && FAILED(CopyMediaType(mediaType, &m_type))) {
        CoTaskMemFree(copy);
        return E_OUTOFMEMORY;
    }
    *fileName = copy;  // the caller frees it
    return S_OK;
}

}  // namespace sysfilters
