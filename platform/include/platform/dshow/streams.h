// The DirectShow filter base classes: objects and their aggregation, class factories and
// library registration, media types, samples and allocators, threads and locks, filters and
// pins, the source and transform filter frameworks and the seeking pass-through.
//
// A static library (dshowbase) that each filter library links. A library that links it defines
// the template table (g_Templates, g_cTemplates) and an entry point DllMain that passes its
// notifications to DllEntryPoint; the base classes call that entry point when the library is
// loaded and unloaded, as the loader does on Windows.
//
// Locks. A filter's state lock (m_pLock: CSource's m_cStateLock, CTransformFilter's m_csFilter)
// guards its state changes, connections and the pins' media types; it is held while Stop waits
// for streaming threads to end, so code that runs on a streaming thread (FillBuffer, Receive,
// Transform) never takes it. IsActive and IsStopped may be called on any thread without it.
// CTransformFilter's m_csReceive serialises the streaming calls (Receive, EndOfStream) with
// Stop. Allocators and CAMThread guard themselves.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/kernel.h"

typedef WCHAR TCHAR;
typedef const TCHAR* LPCTSTR;

// Object names are for diagnostics only and are not kept; NAME("...") names nothing.
#define NAME(text) ((LPCTSTR) nullptr)

#ifndef DLL_PROCESS_ATTACH
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#endif

// Largest stream time: a segment without end.
#define MAX_TIME 0x7FFFFFFFFFFFFFFFLL

// =============================================================================================
// Locks, events and worker threads

// A recursive lock (a critical section). Not copyable.
class CCritSec {
public:
    CCritSec() { InitializeCriticalSection(&m_section); }
    ~CCritSec() { DeleteCriticalSection(&m_section); }
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock() { EnterCriticalSection(&m_section); }
    void Unlock() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Holds a CCritSec for the life of the scope.
class CAutoLock {
public:
    explicit CAutoLock(CCritSec* lock) : m_pLock(lock) { m_pLock->Lock(); }
    ~CAutoLock() { m_pLock->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

protected:
    CCritSec* m_pLock;
};

// A kernel event: auto-reset unless manualReset. phr receives E_OUTOFMEMORY when no event
// could be made (the object then waits on nothing and Wait fails).
class CAMEvent {
public:
    explicit CAMEvent(BOOL manualReset = FALSE, HRESULT* phr = nullptr);
    ~CAMEvent();
    CAMEvent(const CAMEvent&) = delete;
    CAMEvent& operator=(const CAMEvent&) = delete;

    operator HANDLE() const { return m_hEvent; }
    void Set();
    void Reset();
    // TRUE when the event was signalled within the time (milliseconds, or INFINITE).
    BOOL Wait(DWORD timeout = INFINITE);
    BOOL Check() { return Wait(0); }

protected:
    HANDLE m_hEvent;
};

// A worker thread that takes one request at a time from the threads that own it.
//
// CallWorker hands the worker a request (a DWORD) and blocks until the worker answers it with
// Reply; callers are served one after another (m_AccessLock). A request stays pending from
// CallWorker until Reply, so a worker that peeks at it with CheckRequest sees it again in its
// next GetRequest. When the worker's ThreadProc returns without answering, CallWorker returns
// E_FAIL instead of waiting for ever; it returns E_FAIL too when no thread exists.
class CAMThread {
public:
    explicit CAMThread(HRESULT* phr = nullptr);
    // Waits for the thread to end (Close): the owner must have asked it to exit before.
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the thread; FALSE when one exists already or the thread cannot be started.
    BOOL Create();
    // Waits for the thread to end and forgets it.
    void Close();
    BOOL ThreadExists() const { return m_hThread != nullptr; }

    // Hands the worker a request and waits for its reply: (DWORD)E_FAIL when there is no
    // thread, or when it ends without replying.
    DWORD CallWorker(DWORD request);
    // CallWorker in two halves, so that an owner can have several workers busy with a request
    // at once. PostRequest hands the request over (FALSE, handing nothing over, when there is
    // no thread or it has ended); WaitForReply waits for the reply to it. Between the two the
    // owner keeps other owners from calling (CallWorker does so with m_AccessLock).
    BOOL PostRequest(DWORD request);
    DWORD WaitForReply();

    // Worker side: waits for the next request and returns it (still pending).
    DWORD GetRequest();
    // Worker side: TRUE and the pending request's value when there is one; never blocks.
    BOOL CheckRequest(DWORD* request);
    // Worker side: waits up to `milliseconds` for a request to be pending; TRUE when one is.
    BOOL WaitForRequest(DWORD milliseconds);
    // Worker side: answers the pending request; CallWorker returns `result`.
    void Reply(DWORD result);

    // Serialises the owners' calls to CallWorker.
    CCritSec m_AccessLock;
    // For the worker's own use; the base class does not take it.
    CCritSec m_WorkerLock;

protected:
    virtual DWORD ThreadProc() = 0;

private:
    static DWORD WINAPI InitialThreadProc(LPVOID parameter);

    HANDLE m_hThread = nullptr;  // touched by the owner threads only, under m_AccessLock

    std::mutex m_requestLock;
    std::condition_variable m_requestChanged;
    bool m_requestPending = false;  // guarded by m_requestLock
    bool m_replied = false;         // guarded by m_requestLock
    bool m_threadEnded = false;     // guarded by m_requestLock
    DWORD m_request = 0;            // guarded by m_requestLock
    DWORD m_reply = 0;              // guarded by m_requestLock
};

// =============================================================================================
// Objects, aggregation and class factories

// Counts the live objects of the library, for DllCanUnloadNow.
class CBaseObject {
public:
    explicit CBaseObject(LPCTSTR name);
    virtual ~CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    // Objects of this library that exist now.
    static LONG ObjectsActive();

private:
    static std::atomic<LONG> s_objects;
};

// The IUnknown of an object that may be aggregated: the "inner" unknown, which never delegates.
// An aggregate's outer object holds it; everyone else reaches the object through its
// interfaces, whose IUnknown methods delegate to the owner (DECLARE_IUNKNOWN).
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};
typedef INonDelegatingUnknown* PNDUNKNOWN;

// A reference-counted COM object, aggregatable. Created with a count of 0; the creator takes
// the first reference. The final NonDelegatingRelease deletes the object.
//
// GetOwner is the object's controlling unknown: the outer object's IUnknown when the object
// was created inside an aggregate, else the object's own non-delegating IUnknown. Asking
// NonDelegatingQueryInterface for IID_IUnknown gives that non-delegating IUnknown (a real
// IUnknown whose methods are the NonDelegating* ones), which is what a class factory hands the
// outer object. Derived classes answer their interfaces in NonDelegatingQueryInterface (with
// GetInterface) and pass every other id to their base.
class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    CUnknown(LPCTSTR name, LPUNKNOWN outer);
    CUnknown(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr);
    ~CUnknown() override;

    LPUNKNOWN GetOwner() const { return m_pUnknown; }

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

protected:
    std::atomic<LONG> m_cRef{0};

private:
    // The non-delegating IUnknown as a real IUnknown.
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(CUnknown* object) : m_object(object) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
        {
            return m_object->NonDelegatingQueryInterface(iid, object);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return m_object->NonDelegatingAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return m_object->NonDelegatingRelease(); }

    private:
        CUnknown* m_object;
    };

    InnerUnknown m_inner{this};
    IUnknown* const m_pUnknown;  // the controlling unknown, not counted
};

// Hands out an interface pointer with one reference added (through the pointer's own AddRef,
// which reaches the owner). Always NOERROR; E_POINTER for a null out pointer.
HRESULT WINAPI GetInterface(LPUNKNOWN unknown, void** object);

// The IUnknown methods of a class derived from CUnknown and from COM interfaces: all three go
// to the controlling unknown.
#define DECLARE_IUNKNOWN                                                       \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override \
    {                                                                          \
        return GetOwner()->QueryInterface(riid, ppv);                          \
    }                                                                          \
    ULONG STDMETHODCALLTYPE AddRef() override                                  \
    {                                                                          \
        return GetOwner()->AddRef();                                           \
    }                                                                          \
    ULONG STDMETHODCALLTYPE Release() override                                 \
    {                                                                          \
        return GetOwner()->Release();                                          \
    }

// Makes one object for a class factory: the object with no reference taken, or null. *phr
// receives the creation's result (E_OUTOFMEMORY when the object cannot be allocated); a
// non-null object with a failing *phr is deleted by the caller.
typedef CUnknown*(CALLBACK* LPFNNewCOMObject)(LPUNKNOWN outer, HRESULT* phr);
// Called from the library's entry point: TRUE when the library is loaded, FALSE when it is
// unloaded, with the template's class identifier.
typedef void(CALLBACK* LPFNInitRoutine)(BOOL loading, const CLSID* clsid);

// One class of the library: an aggregate, so that a table of them is built before any code of
// the library runs.
class CFactoryTemplate {
public:
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;  // null: not a filter, nothing to register

    BOOL IsClassID(REFCLSID clsid) const { return m_ClsID && IsEqualCLSID(*m_ClsID, clsid); }
    CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr) const;
};

// The library's classes, defined by the library that links the base classes.
extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;

// The library's module handle, set by DllEntryPoint when the library is loaded.
extern HINSTANCE g_hInst;

// Registers (TRUE) or unregisters (FALSE) every class of g_Templates:
//   HKEY_CLASSES_ROOT\CLSID\{clsid}                 (default) = the template's name
//   HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32  (default) = the library's file,
//                                                   ThreadingModel = "Both"
// and, for templates with filter data, under the filter category
//   HKEY_CLASSES_ROOT\CLSID\{083863F1-70DE-11D0-BD40-00A0C911CE86}\Instance\{clsid}
//     FriendlyName = the filter's name, CLSID = "{clsid}", FilterData = the binary data below.
// Unregistering removes these keys; keys that are already gone are not an error. The first
// failure is returned (HRESULT_FROM_WIN32 of the registry's error) and the rest is still done.
//
// FilterData, little-endian 32-bit words: the layout version (1), the merit, the pin count;
// then for each pin its REG_PINFLAG_* flags and its media type count, each type as two GUIDs
// (major type, subtype; 16 bytes each, GUID_NULL for a null pointer).
STDAPI AMovieDllRegisterServer2(BOOL registering);

// The base classes' part of the library entry point: DLL_PROCESS_ATTACH records the module
// handle in g_hInst and calls each template's init routine with TRUE; DLL_PROCESS_DETACH calls
// them with FALSE. Always TRUE.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, ULONG reason, LPVOID reserved);

// =============================================================================================
// Media types

// An AM_MEDIA_TYPE that owns its format block (CoTaskMemAlloc'd) and its pUnk reference.
// Copies are deep. Assignment that runs out of memory leaves the type without a format block.
class CMediaType : public AM_MEDIA_TYPE {
public:
    // Fixed-size samples of 1 byte, everything else zero (GUID_NULL, no format block).
    CMediaType();
    explicit CMediaType(const GUID* majorType);
    CMediaType(const AM_MEDIA_TYPE& type, HRESULT* phr = nullptr);
    CMediaType(const CMediaType& type, HRESULT* phr = nullptr);
    ~CMediaType();

    CMediaType& operator=(const CMediaType& type);
    CMediaType& operator=(const AM_MEDIA_TYPE& type);
    // Same major type, subtype, format type and format bytes.
    bool operator==(const CMediaType& type) const;
    bool operator!=(const CMediaType& type) const { return !(*this == type); }

    // E_OUTOFMEMORY when the format block cannot be copied.
    HRESULT Set(const CMediaType& type);
    HRESULT Set(const AM_MEDIA_TYPE& type);

    BOOL IsValid() const { return !IsEqualGUID(majortype, GUID_NULL); }
    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* type) { majortype = *type; }
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* type) { subtype = *type; }
    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* type) { formattype = *type; }

    BOOL IsFixedSize() const { return bFixedSizeSamples; }
    BOOL IsTemporalCompressed() const { return bTemporalCompression; }
    // 0 for variable-size samples.
    ULONG GetSampleSize() const { return IsFixedSize() ? lSampleSize : 0; }
    // A size of 0 makes the samples variable-size.
    void SetSampleSize(ULONG size);
    void SetVariableSize();
    void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // Copies `length` bytes into a new format block; FALSE (the old block kept) when out of
    // memory.
    BOOL SetFormat(const BYTE* format, ULONG length);
    // A format block of `length` bytes, the current one when it has that size, else a new one
    // with unspecified contents; null (the old block kept) when out of memory.
    BYTE* AllocFormatBuffer(ULONG length);
    // As AllocFormatBuffer, keeping the first bytes of the old block.
    BYTE* ReallocFormatBuffer(ULONG length);
    void ResetFormatBuffer();
    void InitMediaType();

    // Major type or format type is GUID_NULL (the subtype is not looked at).
    BOOL IsPartiallySpecified() const;
    // Every part that `partial` specifies (not GUID_NULL) is equal here; a specified format type
    // needs equal format bytes too.
    BOOL MatchesPartial(const CMediaType* partial) const;
};

// Frees the format block and the pUnk reference; the structure itself stays.
void WINAPI FreeMediaType(AM_MEDIA_TYPE& type);
// FreeMediaType, then CoTaskMemFree of the structure. Null does nothing.
void WINAPI DeleteMediaType(AM_MEDIA_TYPE* type);
// A CoTaskMemAlloc'd deep copy (free it with DeleteMediaType); null when out of memory.
AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* source);
// A deep copy into an uninitialised structure. E_OUTOFMEMORY (the target then has no format
// block) when the block cannot be copied; E_POINTER for null pointers.
HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// A stream time (100 ns) with conversions.
class CRefTime {
public:
    REFERENCE_TIME m_time = 0;

    CRefTime() = default;
    CRefTime(REFERENCE_TIME time) : m_time(time) {}
    operator REFERENCE_TIME() const { return m_time; }
    LONG Millisecs() const { return LONG(m_time / 10000); }
};

// =============================================================================================
// Samples and allocators

class CBaseAllocator;

// A buffer of an allocator's pool. The count starts at 0 in the pool; GetBuffer hands the
// sample out with one reference, and the final Release clears its properties (times, flags,
// media type, data length back to the buffer's size) and returns it to the pool. One thread at
// a time uses a sample: whoever holds it.
class CMediaSample : public IMediaSample {
public:
    CMediaSample(LPCTSTR name, CBaseAllocator* allocator, HRESULT* phr, BYTE* buffer = nullptr,
                 LONG length = 0);
    virtual ~CMediaSample();
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // Gives the sample its buffer (the allocator's memory). E_POINTER for a null buffer with a
    // length.
    HRESULT SetPointer(BYTE* buffer, LONG length);

    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override;
    LONG STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL syncPoint) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL preroll) override;
    LONG STDMETHODCALLTYPE GetActualDataLength() override;
    // VFW_E_BUFFER_OVERFLOW for a length beyond the buffer (or negative).
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** mediaType) override;
    // A copy is kept; null clears the type change.
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* mediaType) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL discontinuity) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    // Null start clears the media times.
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* end) override;

protected:
    friend class CBaseAllocator;

    // Clears what one use of the sample set, before it goes back to the pool.
    void ResetProperties();

    DWORD m_dwFlags = 0;  // AM_SAMPLE_* bits
    DWORD m_dwTypeSpecificFlags = 0;
    BYTE* m_pBuffer;
    LONG m_lActual;
    LONG m_cbBuffer;
    CBaseAllocator* m_pAllocator;  // the pool; not counted (see CBaseAllocator)
    REFERENCE_TIME m_Start = 0;
    REFERENCE_TIME m_End = 0;
    LONGLONG m_MediaStart = 0;
    LONGLONG m_MediaEnd = 0;
    bool m_bMediaTimeValid = false;
    AM_MEDIA_TYPE* m_pMediaType = nullptr;  // owned; set when AM_SAMPLE_TYPECHANGED is
    DWORD m_dwStreamId = AM_STREAM_MEDIA;
    std::atomic<LONG> m_cRef{0};
};

// An allocator: a pool of samples handed out by GetBuffer and returned by their final Release.
//
// SetProperties is refused while committed (VFW_E_ALREADY_COMMITTED) and while samples are out
// (VFW_E_BUFFERS_OUTSTANDING). Commit makes the buffers (Alloc); Decommit makes GetBuffer fail
// and wakes every caller waiting in it, and the buffers are freed (Free) once the last sample
// has come back. While a sample is out it holds a reference on its allocator, so the pool
// outlives every sample it handed out. All state is guarded by m_lock; Alloc and Free are called
// with it held.
class CBaseAllocator : public CUnknown, public IMemAllocator {
public:
    CBaseAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                            ALLOCATOR_PROPERTIES* actual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT STDMETHODCALLTYPE Commit() override;
    HRESULT STDMETHODCALLTYPE Decommit() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** buffer, REFERENCE_TIME* startTime,
                                        REFERENCE_TIME* endTime, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* buffer) override;

protected:
    // Makes m_lCount buffers of m_lSize bytes (after m_lPrefix bytes, aligned to m_lAlignment)
    // with their samples in m_lFree. The base checks the properties: VFW_E_SIZENOTSET when a
    // count, a size or the alignment is not set; S_FALSE when nothing changed since the last
    // Alloc, so derived classes can keep their buffers.
    virtual HRESULT Alloc();
    // Frees the buffers and their samples; every sample is back in m_lFree.
    virtual void Free() = 0;

    std::mutex m_lock;
    std::condition_variable m_sampleFreed;  // a sample came back, or the allocator decommitted
    std::vector<CMediaSample*> m_lFree;     // samples in the pool (owned by the derived class)
    LONG m_lAllocated = 0;                  // samples made by Alloc
    LONG m_lWaiting = 0;                    // callers blocked in GetBuffer
    LONG m_lCount = 0;                      // buffers asked for
    LONG m_lSize = 0;                       // bytes of each buffer
    LONG m_lAlignment = 0;
    LONG m_lPrefix = 0;
    BOOL m_bChanged = FALSE;  // properties changed since the last Alloc
    BOOL m_bCommitted = FALSE;
    BOOL m_bDecommitInProgress = FALSE;  // decommitted with samples still out
};

// An allocator of ordinary memory: one block for all buffers, freed at decommit once every
// sample is back. Alignment must be a power of two (VFW_E_BADALIGN); each buffer's size is
// rounded up so that prefix plus buffer is a multiple of the alignment.
class CMemAllocator : public CBaseAllocator {
public:
    CMemAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr);
    ~CMemAllocator() override;

    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                            ALLOCATOR_PROPERTIES* actual) override;

    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

protected:
    HRESULT Alloc() override;
    void Free() override;

private:
    void ReallyFree();

    BYTE* m_pBuffer = nullptr;  // the whole block, guarded by m_lock
};

// =============================================================================================
// Filters and pins

class CBasePin;

// A filter with the filter graph's side of IBaseFilter: state, clock, graph membership, events
// and pin enumeration. Derived classes give their pins through GetPinCount and GetPin and
// share the state lock with them (m_pLock).
//
// Pause from stopped activates the connected pins (CBasePin::Active); Run first pauses when
// stopped, then runs the connected pins; Stop deactivates the connected pins (Inactive), which
// ends their streaming, and goes on with the other pins after a failure, returning the first.
class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid);
    CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid, HRESULT* phr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    // IBaseFilter, IMediaFilter, IPersist, IAMovieSetup.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classID) override;

    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD milliSecsTimeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;

    // IBaseFilter. FindPin compares the identifier with each pin's QueryId.
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** enumPins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    // E_NOTIMPL: the base classes carry no vendor text.
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) override;

    // IAMovieSetup: the filter data of GetSetupData under the filter category, with this
    // library's file; S_FALSE without setup data.
    HRESULT STDMETHODCALLTYPE Register() override;
    HRESULT STDMETHODCALLTYPE Unregister() override;

    // Stream time now: the clock's time minus the run's start. VFW_E_NO_CLOCK without a clock.
    virtual HRESULT StreamTime(CRefTime& streamTime);

    BOOL IsActive() const { return m_State != State_Stopped; }
    BOOL IsStopped() const { return m_State == State_Stopped; }

    // Posts an event to the graph (E_NOTIMPL outside a graph). EC_COMPLETE's second parameter
    // becomes this filter's IBaseFilter. Safe on any thread, also while Stop waits.
    HRESULT NotifyEvent(LONG eventCode, LONG_PTR param1, LONG_PTR param2);
    // The graph, not counted (null outside one).
    IFilterGraph* GetFilterGraph() { return m_pGraph; }
    // Asks the graph to reconnect the pin; E_NOINTERFACE outside a graph.
    HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mediaType);

    // The set of pins changes: enumerators made before then fail with VFW_E_ENUM_OUT_OF_SYNC.
    virtual LONG GetPinVersion();
    void IncrementPinVersion();

    virtual int GetPinCount() = 0;
    // The pin, not counted, or null beyond the last one.
    virtual CBasePin* GetPin(int index) = 0;

    // Registration data for Register; null by default.
    virtual const AMOVIESETUP_FILTER* GetSetupData() { return nullptr; }

protected:
    std::atomic<FILTER_STATE> m_State{State_Stopped};  // written under m_pLock
    IReferenceClock* m_pClock = nullptr;               // counted; guarded by m_pLock
    CRefTime m_tStart;                                 // the run's start; guarded by m_pLock
    CLSID m_clsid;
    CCritSec* m_pLock;
    WCHAR* m_pName = nullptr;          // the name in the graph (new[]); guarded by m_pLock
    IFilterGraph* m_pGraph = nullptr;  // not counted; guarded by m_pLock
    std::atomic<IMediaEventSink*> m_pSink{nullptr};  // not counted
    std::atomic<LONG> m_PinVersion{1};
};

// A pin of a CBaseFilter. Its reference count is its filter's: AddRef and Release go to the
// filter, which owns and deletes its pins.
//
// Connecting: Connect (on an output pin) tries the given type when it is fully specified, else
// the receiving pin's preferred types, then its own (m_bTryMyTypesFirst reverses the order),
// each that matches a partial type. For each candidate: CheckConnect, CheckMediaType, then the
// receiving pin's ReceiveConnection, then CompleteConnect; a failing step undoes the earlier
// ones with BreakConnect. ReceiveConnection checks the same way on the input side.
// Connections change only while the filter is stopped (VFW_E_NOT_STOPPED).
class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    CBasePin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR name,
             PIN_DIRECTION direction);
    ~CBasePin() override;

    DECLARE_IUNKNOWN
    // IPin, IQualityControl.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector,
                                                const AM_MEDIA_TYPE* mediaType) override;
    // S_FALSE when not connected.
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* mediaType) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    // The pin's name.
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    // S_OK when CheckMediaType accepts the type, else S_FALSE.
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** enumTypes) override;
    // E_NOTIMPL: every input pin feeds every output pin.
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    // Records the segment (CurrentStartTime, CurrentStopTime, CurrentRate).
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;

    // IQualityControl. Notify: E_NOTIMPL here; pins that take quality messages override it.
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* self, Quality quality) override;
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

    BOOL IsConnected() const { return m_Connected != nullptr; }
    // Not counted.
    IPin* GetConnected() const { return m_Connected; }
    BOOL IsStopped() const { return m_pFilter->IsStopped(); }
    LPWSTR Name() const { return m_pName; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    double CurrentRate() const { return m_dRate; }
    BOOL CanReconnectWhenActive() const { return m_bCanReconnectWhenActive; }
    void SetReconnectWhenActive(BOOL can) { m_bCanReconnectWhenActive = can; }

    // The filter's state changes, called with the filter's state lock held.
    virtual HRESULT Active() { return NOERROR; }
    virtual HRESULT Inactive() { return NOERROR; }
    virtual HRESULT Run(REFERENCE_TIME start) { return NOERROR; }

    // S_OK accepts the type; S_FALSE or an error refuses it.
    virtual HRESULT CheckMediaType(const CMediaType* mediaType) = 0;
    virtual HRESULT SetMediaType(const CMediaType* mediaType);
    // The directions must differ (VFW_E_INVALID_DIRECTION).
    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT BreakConnect() { return NOERROR; }
    virtual HRESULT CompleteConnect(IPin* receivePin) { return NOERROR; }
    // The preferred type at a position: S_OK, VFW_S_NO_MORE_ITEMS past the last, E_INVALIDARG
    // for a negative position. E_UNEXPECTED here: the pin proposes no types.
    virtual HRESULT GetMediaType(int position, CMediaType* mediaType);
    virtual LONG GetMediaTypeVersion() { return m_TypeVersion; }
    void IncrementTypeVersion() { ++m_TypeVersion; }

protected:
    // Breaks the connection without the state check; S_FALSE when not connected.
    HRESULT DisconnectInternal();
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType* mediaType);
    HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types);
    HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* mediaType);

    WCHAR* m_pName = nullptr;
    IPin* m_Connected = nullptr;  // counted; changes only while stopped, under m_pLock
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    std::atomic<BOOL> m_bRunTimeError{FALSE};
    BOOL m_bCanReconnectWhenActive = FALSE;
    BOOL m_bTryMyTypesFirst = FALSE;
    CBaseFilter* m_pFilter;
    std::atomic<IQualityControl*> m_pQSink{nullptr};  // not counted
    std::atomic<LONG> m_TypeVersion{1};
    CMediaType m_mt;  // the connection's type; guarded by m_pLock
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tStop = MAX_TIME;
    double m_dRate = 1.0;
};

// Enumerates a filter's pins (each one reference). Made with the filter's pin version; fails
// with VFW_E_ENUM_OUT_OF_SYNC once the filter's pins change, until Reset.
class CEnumPins final : public IEnumPins {
public:
    CEnumPins(CBaseFilter* filter, const CEnumPins* from);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** clone) override;

private:
    ~CEnumPins();

    platform::RefCount m_cRef;
    CBaseFilter* m_pFilter;  // counted
    std::mutex m_lock;
    int m_position = 0;  // guarded by m_lock
    LONG m_version;      // guarded by m_lock
};

// Enumerates a pin's preferred media types (CBasePin::GetMediaType), each a CoTaskMemAlloc'd
// copy. Fails with VFW_E_ENUM_OUT_OF_SYNC once the pin's type version changes, until Reset.
class CEnumMediaTypes final : public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* from);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override;

private:
    ~CEnumMediaTypes();

    platform::RefCount m_cRef;
    CBasePin* m_pPin;  // counted
    std::mutex m_lock;
    int m_position = 0;  // guarded by m_lock
    LONG m_version;      // guarded by m_lock
};

// An output pin that delivers samples through the connected input pin's IMemInputPin.
//
// CompleteConnect decides the allocator: the input pin's requirements, then the input pin's
// allocator, else a CMemAllocator of its own (InitAllocator), sized by DecideBufferSize and
// announced with NotifyAllocator. Active commits it and Inactive decommits it, which wakes a
// streaming thread waiting in GetDeliveryBuffer. EndOfStream, BeginFlush and EndFlush are not
// for output pins (E_UNEXPECTED).
class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                   LPCWSTR name);

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
    virtual HRESULT InitAllocator(IMemAllocator** allocator);
    // Sets the allocator's properties from the input pin's request (zeroed, cbAlign 1, when it
    // has none) with IMemAllocator::SetProperties.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

    // An empty sample from the allocator (one reference): VFW_E_NOT_COMMITTED while stopped.
    virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* startTime,
                                      REFERENCE_TIME* endTime, DWORD flags);
    // IMemInputPin::Receive of the connected pin; the caller keeps its reference.
    virtual HRESULT Deliver(IMediaSample* sample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

protected:
    IMemAllocator* m_pAllocator = nullptr;  // counted; changes only while stopped
    IMemInputPin* m_pInputPin = nullptr;    // counted; changes only while stopped
};

// An input pin with IMemInputPin. Receive checks that the pin may take samples (CheckStreaming:
// VFW_E_WRONG_STATE while stopped, S_FALSE while flushing, VFW_E_RUNTIME_ERROR after a failure)
// and records the sample's properties (SampleProps); a sample that carries a media type the pin
// does not accept ends the stream: end of stream downstream, EC_ERRORABORT, and
// VFW_E_INVALIDMEDIATYPE until the next flush or stop. Derived classes process the sample after
// calling it. BeginFlush sets the flushing flag and EndFlush clears it (and the error); a
// derived class passes the flush on.
class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                  LPCWSTR name);
    ~CBaseInputPin() override;

    DECLARE_IUNKNOWN
    // IMemInputPin, then CBasePin's.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IMemInputPin. GetAllocator offers a CMemAllocator of the pin's own.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    // E_NOTIMPL: no requirements.
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    // Receive for each sample until one answers other than S_OK.
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, LONG count,
                                              LONG* processed) override;
    // S_OK when the filter has no output pin or a connected one's downstream may block.
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    // S_OK without doing anything: quality messages go to output pins.
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* self, Quality quality) override;

    HRESULT BreakConnect() override;
    // Decommits the allocator (waking a sender blocked in GetBuffer) and clears the flags.
    HRESULT Inactive() override;

    BOOL IsReadOnly() const { return m_bReadOnly; }
    BOOL IsFlushing() const { return m_bFlushing; }
    virtual HRESULT CheckStreaming();
    // Passes a quality message on: to the sink set with SetSink, else upstream to the output
    // pin this pin is connected to. VFW_E_NOT_FOUND when there is no one to take it.
    HRESULT PassNotify(Quality& quality);
    // The properties of the sample being received; valid on the streaming thread until the
    // next Receive. pMediaType, when set, points to a type the pin owns.
    AM_SAMPLE2_PROPERTIES* SampleProps() { return &m_SampleProps; }

protected:
    IMemAllocator* m_pAllocator = nullptr;  // counted; guarded by m_pLock
    BOOL m_bReadOnly = FALSE;
    std::atomic<BOOL> m_bFlushing{FALSE};
    AM_SAMPLE2_PROPERTIES m_SampleProps{};
    CMediaType m_SampleType;  // the type the last sample carried; streaming thread only
};

// =============================================================================================
// Source filters

class CSourceStream;

// A source filter: a filter whose pins are CSourceStream objects. Each pin adds itself when it
// is constructed and removes itself when it is deleted; the filter deletes its remaining pins
// last to first. m_cStateLock is the state lock of the filter and its pins.
class CSource : public CBaseFilter {
public:
    CSource(LPCTSTR name, LPUNKNOWN outer, CLSID clsid, HRESULT* phr);
    CSource(LPCTSTR name, LPUNKNOWN outer, CLSID clsid);
    ~CSource() override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;
    // Identifiers are pin numbers from "1" (CSourceStream::QueryId).
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;

    // From stopped, every connected pin's thread is started before any is waited for, so that
    // the threads come up and answer their first requests side by side rather than one pin
    // after the other. A pin that fails leaves no pin of the filter active.
    HRESULT STDMETHODCALLTYPE Pause() override;

    CCritSec* pStateLock() { return &m_cStateLock; }
    HRESULT AddPin(CSourceStream* pin);
    HRESULT RemovePin(CSourceStream* pin);
    // Index from 0, or -1 when the pin is not this filter's.
    int FindPinNumber(IPin* pin);

protected:
    int m_iPins = 0;                        // guarded by m_cStateLock
    CSourceStream** m_paStreams = nullptr;  // new[]; guarded by m_cStateLock
    CCritSec m_cStateLock;
};

// The output pin of a CSource, with a streaming thread (CAMThread) that fills samples
// (FillBuffer) and delivers them.
//
// Active (at pause from stopped) commits the allocator, starts the thread and sends it
// CMD_INIT (OnThreadCreate) and CMD_PAUSE, which starts DoBufferProcessingLoop. Inactive (at
// stop) decommits the allocator, so that a thread waiting for a buffer wakes, then sends
// CMD_STOP and CMD_EXIT (OnThreadDestroy) and joins the thread before it returns.
//
// DoBufferProcessingLoop calls OnThreadStartPlay, then for each sample: GetDeliveryBuffer,
// FillBuffer, Deliver. FillBuffer answers S_OK to deliver the sample, S_FALSE at the end of
// the stream (end of stream goes downstream and the loop ends), or an error (end of stream,
// EC_ERRORABORT with the error, and the loop ends). A FillBuffer that waits for data watches
// for requests (CheckRequest, WaitForRequest) and answers S_FALSE when a CMD_STOP or CMD_EXIT
// is pending: the loop then ends without an end of stream, since the stream did not end. The loop
// also ends when the downstream pin answers other than S_OK, and when a CMD_STOP or CMD_EXIT
// request comes; CMD_RUN and CMD_PAUSE are answered and streaming goes on. After the loop ends the
// thread waits for its next request: CMD_PAUSE or CMD_RUN start the loop again (OnThreadStartPlay
// included).
class CSourceStream : public CAMThread, public CBaseOutputPin {
public:
    enum Command { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };

    CSourceStream(LPCTSTR objectName, HRESULT* phr, CSource* filter, LPCWSTR name);
    // Joins a streaming thread that is still running (a filter deleted without Stop).
    ~CSourceStream() override;

    // The filter's run notification keeps its name beside the thread's run command.
    using CBaseOutputPin::Run;
    HRESULT Init() { return HRESULT(CallWorker(CMD_INIT)); }
    HRESULT Exit() { return HRESULT(CallWorker(CMD_EXIT)); }
    HRESULT Run() { return HRESULT(CallWorker(CMD_RUN)); }
    HRESULT Pause() { return HRESULT(CallWorker(CMD_PAUSE)); }
    HRESULT Stop() { return HRESULT(CallWorker(CMD_STOP)); }

    // The pin's number from 1, as text.
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;

    // Active in two steps, for a filter that starts all its pins at once (CSource::Pause), with
    // the state lock held. StartThread commits the allocator, starts the thread and hands it
    // CMD_INIT: S_OK, or S_FALSE with nothing started when the pin is not connected, or an
    // error with nothing left committed or running. AwaitThreadStart waits for the thread's
    // answer to CMD_INIT; when that is a failure the allocator is decommitted and the thread
    // joined. CMD_PAUSE then starts streaming.
    HRESULT StartThread();
    HRESULT AwaitThreadStart();

protected:
    // Fills the sample on the streaming thread; see the class comment for the answers.
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
    virtual HRESULT OnThreadCreate() { return NOERROR; }
    virtual HRESULT OnThreadDestroy() { return NOERROR; }
    virtual HRESULT OnThreadStartPlay() { return NOERROR; }

    HRESULT Active() override;
    HRESULT Inactive() override;

    Command GetRequest() { return Command(CAMThread::GetRequest()); }
    BOOL CheckRequest(Command* command);

    DWORD ThreadProc() override;
    virtual HRESULT DoBufferProcessingLoop();

    // One type: accepts exactly what GetMediaType(CMediaType*) gives (E_FAIL otherwise).
    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    // Position 0 is GetMediaType(CMediaType*); VFW_S_NO_MORE_ITEMS after it.
    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    // The pin's one type; E_UNEXPECTED here. Called with the state lock held.
    virtual HRESULT GetMediaType(CMediaType* mediaType);

    CSource* m_pFilter;
};

// =============================================================================================
// Seeking pass-through

// The capabilities and time formats of IMediaSeeking for a pin that seeks in media time
// (100 ns) only. The class that derives from it answers IUnknown, the positions and the rate.
class CMediaTimeSeeking : public IMediaSeeking {
public:
    explicit CMediaTimeSeeking(DWORD capabilities) : m_dwSeekingCaps(capabilities) {}

    // The capabilities given.
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    // S_OK when every asked bit is one of the capabilities, else S_FALSE; *capabilities is not
    // changed.
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
    // S_OK for TIME_FORMAT_MEDIA_TIME, S_FALSE for any other format.
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    // TIME_FORMAT_MEDIA_TIME.
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    // S_OK for TIME_FORMAT_MEDIA_TIME, E_INVALIDARG for any other format.
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    // The value itself when both formats are media time (a null format counts as the current
    // one), else E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                LONGLONG source, const GUID* sourceFormat) override;
    // The stop position is the duration (GetDuration).
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    // GetCurrentPosition and GetStopPosition for the pointers given (either may be null);
    // S_OK, or the first of the two answers that failed.
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    // From 0 to the duration: the whole stream is at hand.
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    // 0: nothing is played before the start position.
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

    // The current position that SetPositions asks for, for a pin that takes absolute positions
    // only: S_OK with *target (negative positions become 0), S_FALSE when the current position
    // is not to change, E_POINTER without a position, E_INVALIDARG for relative or incremental
    // positioning.
    static HRESULT AbsoluteTarget(const LONGLONG* current, DWORD currentFlags, LONGLONG* target);

protected:
    const DWORD m_dwSeekingCaps;
};

// IMediaSeeking and IMediaPosition of a filter that does not seek itself: each call goes to the
// output pin upstream of the given input pin (E_NOTIMPL while it is not connected or does not
// seek). IMediaPosition calls go to the upstream pin's IMediaPosition, or, when it has only
// IMediaSeeking, to that in media time (seconds times 10,000,000). GetCurrentPosition uses
// GetMediaTime first (a filter that knows the position of its last sample overrides it).
// IDispatch has no type information and no names here.
class CPosPassThru : public CUnknown, public IMediaSeeking, public IMediaPosition {
public:
    CPosPassThru(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr, IPin* pin);

    DECLARE_IUNKNOWN
    // IMediaSeeking, IMediaPosition.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IMediaSeeking
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                LONGLONG source, const GUID* sourceFormat) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

    // IDispatch: no type information (count 0, DISP_E_BADINDEX), no names
    // (DISP_E_UNKNOWNNAME), no members to invoke (DISP_E_MEMBERNOTFOUND).
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // IMediaPosition
    HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* length) override;
    HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE put_Rate(double rate) override;
    HRESULT STDMETHODCALLTYPE get_Rate(double* rate) override;
    HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* canSeek) override;
    HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* canSeek) override;

    // The position of the last sample in media time; E_FAIL here (not known).
    virtual HRESULT GetMediaTime(LONGLONG* startTime, LONGLONG* endTime) { return E_FAIL; }

protected:
    // The upstream pin's interfaces (one reference each), or E_NOTIMPL.
    HRESULT GetPeer(IMediaPosition** position);
    HRESULT GetPeerSeeking(IMediaSeeking** seeking);

private:
    // OATRUE or OAFALSE for one upstream seeking capability.
    HRESULT CanSeek(DWORD capability, LONG* canSeek);

    IPin* m_pPin;  // the filter's input pin, not counted (the filter owns it)
};

// =============================================================================================
// Transform filters

class CTransformFilter;

// The input pin of a CTransformFilter ("In"). Its checks go to the filter (CheckInputType, and
// CheckTransform against the output's type when the output is connected); Receive holds the
// filter's m_csReceive and passes the sample to CTransformFilter::Receive; end of stream, flush
// and new segment go to the filter, which passes them downstream.
class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(LPCTSTR objectName, CTransformFilter* filter, HRESULT* phr, LPCWSTR name);

    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT SetMediaType(const CMediaType* mediaType) override;
    // Also VFW_E_NOT_CONNECTED while the output pin is not connected.
    HRESULT CheckStreaming() override;

    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;

    const CMediaType& CurrentMediaType() const { return m_mt; }

protected:
    CTransformFilter* m_pTransformFilter;
};

// The output pin of a CTransformFilter ("Out"). It connects only after the input pin; its types
// come from the filter's GetMediaType and are checked with CheckTransform; DecideBufferSize is
// the filter's. Quality messages go to AlterQuality and, when it answers S_FALSE, upstream
// through the input pin. IMediaSeeking and IMediaPosition pass upstream (CPosPassThru).
class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(LPCTSTR objectName, CTransformFilter* filter, HRESULT* phr, LPCWSTR name);
    ~CTransformOutputPin() override;

    // IMediaSeeking and IMediaPosition, then the base pin's.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT SetMediaType(const CMediaType* mediaType) override;
    HRESULT GetMediaType(int position, CMediaType* mediaType) override;

    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* self, Quality quality) override;

    const CMediaType& CurrentMediaType() const { return m_mt; }

protected:
    CTransformFilter* m_pTransformFilter;
    CPosPassThru* m_pPosition = nullptr;  // made at the first seeking request; one reference
};

// A filter with one input and one output pin that turns each input sample into one output
// sample on the upstream streaming thread.
//
// Receive takes an output sample (InitializeOutputSample: from the output allocator, with the
// input's times, media times, sync point, preroll and discontinuity; the output sample keeps
// any media type the downstream allocator put on it), calls Transform and delivers the output
// sample when Transform answers S_OK. S_FALSE drops it: the next delivered sample is marked as
// a discontinuity, and the first drop sends EC_QUALITY_CHANGE. Samples that are not media data
// (dwStreamId other than AM_STREAM_MEDIA) go downstream unchanged.
//
// Pause from stopped calls StartStreaming (when both pins are connected) under m_csReceive;
// with the input unconnected it sends end of stream downstream once. Stop decommits the input
// (the upstream filter stops delivering), waits for a Receive under way (m_csReceive), stops
// the output and calls StopStreaming.
class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(LPCTSTR name, LPUNKNOWN outer, REFCLSID clsid);
    ~CTransformFilter() override;

    int GetPinCount() override { return 2; }
    // 0 the input pin, 1 the output pin; both are made at the first call.
    CBasePin* GetPin(int index) override;
    // "In" and "Out".
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;

    // The transform: S_OK delivers the output sample, S_FALSE drops it, an error fails the
    // stream (the upstream pin gets it from Receive). E_UNEXPECTED here.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
    virtual HRESULT StartStreaming() { return NOERROR; }
    virtual HRESULT StopStreaming() { return NOERROR; }
    // S_OK when the filter handled the quality message, S_FALSE to pass it upstream (here).
    virtual HRESULT AlterQuality(Quality quality) { return S_FALSE; }
    // A pin's connection type was set.
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mediaType)
    {
        return NOERROR;
    }
    virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin) { return NOERROR; }
    virtual HRESULT BreakConnect(PIN_DIRECTION direction) { return NOERROR; }
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin) { return NOERROR; }

    virtual HRESULT Receive(IMediaSample* sample);
    // The output sample for an input sample (one reference), initialised as Receive describes.
    HRESULT InitializeOutputSample(IMediaSample* sample, IMediaSample** outSample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    virtual HRESULT CheckInputType(const CMediaType* input) = 0;
    virtual HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT GetMediaType(int position, CMediaType* mediaType) = 0;

    CCritSec* pStateLock() { return &m_csFilter; }

protected:
    friend class CTransformInputPin;
    friend class CTransformOutputPin;

    BOOL m_bEOSDelivered = FALSE;  // guarded by m_csFilter
    std::atomic<BOOL> m_bSampleSkipped{FALSE};
    std::atomic<BOOL> m_bQualityChanged{FALSE};
    CCritSec m_csFilter;
    CCritSec m_csReceive;
    CTransformInputPin* m_pInput = nullptr;  // made once under m_csFilter, owned
    CTransformOutputPin* m_pOutput = nullptr;
};
