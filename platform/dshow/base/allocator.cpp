// Media samples and the allocators that pool them.
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/dshow/streams.h"

// ---------------------------------------------------------------------------------------------
// CMediaSample

CMediaSample::CMediaSample(LPCTSTR name, CBaseAllocator* allocator, HRESULT* phr, BYTE* buffer,
                           LONG length)
    : m_pBuffer(buffer), m_lActual(length), m_cbBuffer(length), m_pAllocator(allocator)
{
    if (length < 0 || (length > 0 && !buffer)) {
        m_pBuffer = nullptr;
        m_lActual = m_cbBuffer = 0;
        if (phr)
            *phr = E_INVALIDARG;
    }
}

CMediaSample::~CMediaSample()
{
    if (m_pMediaType)
        DeleteMediaType(m_pMediaType);
}

HRESULT STDMETHODCALLTYPE CMediaSample::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaSample) || IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CMediaSample::AddRef()
{
    return ULONG(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG STDMETHODCALLTYPE CMediaSample::Release()
{
    LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        ResetProperties();
        // The pool takes the sample back; the sample's hold on the pool ends there.
        m_pAllocator->ReleaseBuffer(this);
    }
    return ULONG(count);
}

void CMediaSample::ResetProperties()
{
    m_dwFlags = 0;
    m_dwTypeSpecificFlags = 0;
    m_dwStreamId = AM_STREAM_MEDIA;
    m_bMediaTimeValid = false;
    m_lActual = m_cbBuffer;
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
}

HRESULT CMediaSample::SetPointer(BYTE* buffer, LONG length)
{
    if (length < 0 || (length > 0 && !buffer))
        return E_POINTER;
    m_pBuffer = buffer;
    m_cbBuffer = m_lActual = length;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetPointer(BYTE** buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = m_pBuffer;
    return NOERROR;
}

LONG STDMETHODCALLTYPE CMediaSample::GetSize()
{
    return m_cbBuffer;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!(m_dwFlags & AM_SAMPLE_TIMEVALID))
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_Start;
    if (!(m_dwFlags & AM_SAMPLE_STOPVALID)) {
        *end = m_Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *end = m_End;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (!start) {
        m_dwFlags &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
        return NOERROR;
    }
    m_Start = *start;
    m_dwFlags |= AM_SAMPLE_TIMEVALID;
    if (end) {
        m_End = *end;
        m_dwFlags |= AM_SAMPLE_STOPVALID;
    } else {
        m_dwFlags &= ~AM_SAMPLE_STOPVALID;
    }
    return NOERROR;
}

namespace {

HRESULT FlagAnswer(DWORD flags, DWORD flag)
{
    return (flags & flag) ? S_OK : S_FALSE;
}

void SetFlag(DWORD* flags, DWORD flag, BOOL on)
{
    if (on) {
        *flags |= flag;
    } else {
        *flags &= ~flag;
    }
}

}  // namespace

HRESULT STDMETHODCALLTYPE CMediaSample::IsSyncPoint()
{
    return FlagAnswer(m_dwFlags, AM_SAMPLE_SPLICEPOINT);
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetSyncPoint(BOOL syncPoint)
{
    SetFlag(&m_dwFlags, AM_SAMPLE_SPLICEPOINT, syncPoint);
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CMediaSample::IsPreroll()
{
    return FlagAnswer(m_dwFlags, AM_SAMPLE_PREROLL);
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetPreroll(BOOL preroll)
{
    SetFlag(&m_dwFlags, AM_SAMPLE_PREROLL, preroll);
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CMediaSample::IsDiscontinuity()
{
    return FlagAnswer(m_dwFlags, AM_SAMPLE_DATADISCONTINUITY);
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetDiscontinuity(BOOL discontinuity)
{
    SetFlag(&m_dwFlags, AM_SAMPLE_DATADISCONTINUITY, discontinuity);
    return NOERROR;
}

LONG STDMETHODCALLTYPE CMediaSample::GetActualDataLength()
{
    return m_lActual;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > m_cbBuffer)
        return VFW_E_BUFFER_OVERFLOW;
    m_lActual = length;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetMediaType(AM_MEDIA_TYPE** mediaType)
{
    if (!mediaType)
        return E_POINTER;
    *mediaType = nullptr;
    if (!(m_dwFlags & AM_SAMPLE_TYPECHANGED) || !m_pMediaType)
        return S_FALSE;
    *mediaType = CreateMediaType(m_pMediaType);
    return *mediaType ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetMediaType(AM_MEDIA_TYPE* mediaType)
{
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
    m_dwFlags &= ~AM_SAMPLE_TYPECHANGED;
    if (!mediaType)
        return NOERROR;
    m_pMediaType = CreateMediaType(mediaType);
    if (!m_pMediaType)
        return E_OUTOFMEMORY;
    m_dwFlags |= AM_SAMPLE_TYPECHANGED;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!m_bMediaTimeValid)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *start = m_MediaStart;
    *end = m_MediaEnd;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start) {
        m_bMediaTimeValid = false;
        return NOERROR;
    }
    if (!end)
        return E_POINTER;
    m_MediaStart = *start;
    m_MediaEnd = *end;
    m_bMediaTimeValid = true;
    return NOERROR;
}

// ---------------------------------------------------------------------------------------------
// CBaseAllocator

CBaseAllocator::CBaseAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr) : CUnknown(name, outer)
{
}

CBaseAllocator::~CBaseAllocator() = default;

HRESULT STDMETHODCALLTYPE CBaseAllocator::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMemAllocator)) {
        return GetInterface(static_cast<IMemAllocator*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                        ALLOCATOR_PROPERTIES* actual)
{
    if (!request || !actual)
        return E_POINTER;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bCommitted)
        return VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != LONG(m_lFree.size()))
        return VFW_E_BUFFERS_OUTSTANDING;
    m_lCount = request->cBuffers;
    m_lSize = request->cbBuffer;
    m_lAlignment = request->cbAlign;
    m_lPrefix = request->cbPrefix;
    m_bChanged = TRUE;
    *actual = *request;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties)
{
    if (!properties)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    properties->cBuffers = m_lCount;
    properties->cbBuffer = m_lSize;
    properties->cbAlign = m_lAlignment;
    properties->cbPrefix = m_lPrefix;
    return NOERROR;
}

HRESULT CBaseAllocator::Alloc()
{
    if (m_lCount <= 0 || m_lSize <= 0 || m_lAlignment <= 0)
        return VFW_E_SIZENOTSET;
    return m_bChanged ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::Commit()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bCommitted)
        return NOERROR;
    if (m_bDecommitInProgress) {
        // The buffers of the last commit are still there (some samples are out): use them.
        m_bDecommitInProgress = FALSE;
        m_bCommitted = TRUE;
        return NOERROR;
    }
    HRESULT hr = Alloc();
    if (FAILED(hr))
        return hr;
    m_bCommitted = TRUE;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::Decommit()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_bCommitted)
            return NOERROR;
        m_bCommitted = FALSE;
        if (m_lAllocated == LONG(m_lFree.size())) {
            Free();
        } else {
            m_bDecommitInProgress = TRUE;
        }
    }
    m_sampleFreed.notify_all();
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::GetBuffer(IMediaSample** buffer,
                                                    REFERENCE_TIME* startTime,
                                                    REFERENCE_TIME* endTime, DWORD flags)
{
    if (!buffer)
        return E_POINTER;
    *buffer = nullptr;
    CMediaSample* sample = nullptr;
    {
        std::unique_lock<std::mutex> guard(m_lock);
        for (;;) {
            if (!m_bCommitted)
                return VFW_E_NOT_COMMITTED;
            if (!m_lFree.empty())
                break;
            if (flags & AM_GBF_NOWAIT)
                return VFW_E_TIMEOUT;
            ++m_lWaiting;
            m_sampleFreed.wait(guard);
            --m_lWaiting;
        }
        sample = m_lFree.back();
        m_lFree.pop_back();
        sample->m_cRef.store(1, std::memory_order_relaxed);
    }
    // The sample holds the pool until it comes back (ReleaseBuffer).
    NonDelegatingAddRef();
    *buffer = sample;
    return NOERROR;
}

HRESULT STDMETHODCALLTYPE CBaseAllocator::ReleaseBuffer(IMediaSample* buffer)
{
    if (!buffer)
        return E_POINTER;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lFree.push_back(static_cast<CMediaSample*>(buffer));
        if (m_bDecommitInProgress && m_lAllocated == LONG(m_lFree.size())) {
            Free();
            m_bDecommitInProgress = FALSE;
        }
    }
    m_sampleFreed.notify_all();
    NonDelegatingRelease();
    return NOERROR;
}

// ---------------------------------------------------------------------------------------------
// CMemAllocator

CMemAllocator::CMemAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseAllocator(name, outer, phr)
{
}

CMemAllocator::~CMemAllocator()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ReallyFree();
}

CUnknown* CALLBACK CMemAllocator::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    CUnknown* allocator = new (std::nothrow) CMemAllocator(NAME("CMemAllocator"), outer, phr);
    if (!allocator && phr)
        *phr = E_OUTOFMEMORY;
    return allocator;
}

HRESULT STDMETHODCALLTYPE CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                       ALLOCATOR_PROPERTIES* actual)
{
    if (!request || !actual)
        return E_POINTER;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) {
        return E_INVALIDARG;
    }
    const LONG align = request->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0)
        return VFW_E_BADALIGN;
    // Prefix plus buffer is rounded up to a multiple of the alignment, so that every buffer of
    // the block starts aligned.
    LONGLONG whole = LONGLONG(request->cbBuffer) + request->cbPrefix;
    LONGLONG remainder = whole % align;
    if (remainder != 0)
        whole += align - remainder;
    LONGLONG size = whole - request->cbPrefix;
    // The whole pool must stay below 2 GiB, so that every offset into it fits a LONG.
    if (size > 0x7FFFFFFF || (request->cBuffers != 0 && whole > 0x7FFFFFFFLL / request->cBuffers)) {
        return E_OUTOFMEMORY;
    }

    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bCommitted)
        return VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != LONG(m_lFree.size()))
        return VFW_E_BUFFERS_OUTSTANDING;
    m_lCount = request->cBuffers;
    m_lSize = LONG(size);
    m_lAlignment = align;
    m_lPrefix = request->cbPrefix;
    m_bChanged = TRUE;
    actual->cBuffers = m_lCount;
    actual->cbBuffer = m_lSize;
    actual->cbAlign = m_lAlignment;
    actual->cbPrefix = m_lPrefix;
    return NOERROR;
}

HRESULT CMemAllocator::Alloc()
{
    HRESULT hr = CBaseAllocator::Alloc();
    if (FAILED(hr))
        return hr;
    if (hr == S_FALSE && m_pBuffer)
        return NOERROR;  // the block of the same properties is there

    ReallyFree();
    const size_t stride = size_t(m_lSize) + size_t(m_lPrefix);
    const size_t alignment = size_t(m_lAlignment) < alignof(std::max_align_t)
                                 ? alignof(std::max_align_t)
                                 : size_t(m_lAlignment);
    // Room for the block plus enough to move its first buffer (after the prefix) onto the
    // alignment.
    const size_t total = stride * size_t(m_lCount) + alignment;
    void* block = nullptr;
    if (posix_memalign(&block, alignment, total) != 0)
        return E_OUTOFMEMORY;
    BYTE* base = static_cast<BYTE*>(block);
    const size_t shift = (alignment - size_t(m_lPrefix) % alignment) % alignment;

    m_lFree.reserve(size_t(m_lCount));
    for (LONG i = 0; i < m_lCount; ++i) {
        BYTE* buffer = base + shift + size_t(i) * stride + size_t(m_lPrefix);
        HRESULT sampleResult = S_OK;
        CMediaSample* sample = new (std::nothrow)
            CMediaSample(NAME("Default memory media sample"), this, &sampleResult, buffer, m_lSize);
        if (!sample || FAILED(sampleResult)) {
            delete sample;
            m_pBuffer = base;
            ReallyFree();
            return E_OUTOFMEMORY;
        }
        m_lFree.push_back(sample);
        ++m_lAllocated;
    }
    m_pBuffer = base;
    m_bChanged = FALSE;
    return NOERROR;
}

void CMemAllocator::Free()
{
    ReallyFree();
}

void CMemAllocator::ReallyFree()
{
    for (CMediaSample* sample : m_lFree)
        delete sample;
    m_lFree.clear();
    m_lAllocated = 0;
    free(m_pBuffer);
    m_pBuffer = nullptr;
}
