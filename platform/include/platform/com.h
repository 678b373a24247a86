// COM: the interfaces every object and server speaks (IUnknown, IClassFactory, IStream,
// IDispatch and IDispatchEx with BSTR and VARIANT), how our code names interface ids, the one
// smart pointer that holds references (ComPtr), apartments, object creation by class identifier,
// GUID text, global memory and the stream over it, and the four exports of an in-process server
// library.
//
// Apartments are counted but not modelled: there is no marshalling, and an object is called
// directly on whichever thread calls it. Objects that several threads use guard themselves.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "platform/base.h"
#include "platform/kernel.h"

#define EXTERN_C extern "C"
#define STDAPICALLTYPE
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
// The exports of a library (DllGetClassObject and the rest): C names, visible from a library
// built with hidden visibility, so that GetProcAddress finds them.
#define STDAPI EXTERN_C PLATFORM_API HRESULT STDAPICALLTYPE
#define STDAPI_(type) EXTERN_C PLATFORM_API type STDAPICALLTYPE

#define NOERROR S_OK
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9)
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001)
#define STG_E_INVALIDHANDLE ((HRESULT)0x80030006)
#define STG_E_INVALIDPOINTER ((HRESULT)0x80030009)
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070)
#define STG_E_INVALIDFLAG ((HRESULT)0x800300FF)

#ifndef ERROR_DISCARDED
#define ERROR_DISCARDED 157L
#endif
#ifndef ERROR_NOT_LOCKED
#define ERROR_NOT_LOCKED 158L
#endif

// ---------------------------------------------------------------------------------------------
// Interfaces and their ids

DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_ISequentialStream, 0x0C733A30, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44,
            0x77, 0x3D);
DEFINE_GUID(IID_IStream, 0x0000000C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);

// The interface id of an interface type: platform::IidOf<IStream>(). Each interface names its
// id once, right after it and in its own namespace, with DECLARE_INTERFACE_ID. The id is found
// for the exact type only, so an interface without one does not compile where its id is asked
// for (it never silently takes its base's).
namespace platform {

template <class Interface>
struct InterfaceTag {
};

template <class Interface>
constexpr const IID& IidOf()
{
    return InterfaceIdFor(InterfaceTag<Interface>{});
}

}  // namespace platform

#define DECLARE_INTERFACE_ID(Interface, iid)                     \
    [[maybe_unused]] inline constexpr const IID& InterfaceIdFor( \
        ::platform::InterfaceTag<Interface>)                     \
    {                                                            \
        return iid;                                              \
    }

// Every COM object answers these three. QueryInterface hands out a pointer to the asked
// interface with one reference added (the caller releases it), or null and E_NOINTERFACE;
// asking for IID_IUnknown through any interface of one object gives the same pointer. AddRef
// and Release return the new count, for diagnostics only. An object is destroyed by its own
// final Release, never through an interface pointer: the destructor is protected and the
// three methods keep their slots 0 to 2.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;
DECLARE_INTERFACE_ID(IUnknown, IID_IUnknown);

// A class object. CreateInstance makes one object of its class: outer is the controlling
// IUnknown when the object is created inside an aggregate, in which case iid must be
// IID_IUnknown (else CLASS_E_NOAGGREGATION, as for a class that cannot be aggregated).
// LockServer(TRUE) keeps the server's library loaded until the matching LockServer(FALSE).
struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                                     void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};
typedef IClassFactory* LPCLASSFACTORY;
DECLARE_INTERFACE_ID(IClassFactory, IID_IClassFactory);

// Reads and writes at a seek position. Read gives S_OK also when fewer bytes than asked
// remain (none at the end); *read, when not null, receives the count.
struct ISequentialStream : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG bytes, ULONG* read) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG bytes, ULONG* written) = 0;

protected:
    ~ISequentialStream() = default;
};
DECLARE_INTERFACE_ID(ISequentialStream, IID_ISequentialStream);

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2

#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1
#define STATFLAG_NOOPEN 2

#define STGTY_STORAGE 1
#define STGTY_STREAM 2
#define STGTY_LOCKBYTES 3
#define STGTY_PROPERTY 4

#define STGM_READ 0x00000000
#define STGM_WRITE 0x00000001
#define STGM_READWRITE 0x00000002

#define STGC_DEFAULT 0

// glibc's <fcntl.h> has a LOCK_WRITE of its own (mandatory locks, which nothing here uses);
// the stream lock type wins wherever both are included.
#ifdef LOCK_WRITE
#undef LOCK_WRITE
#endif
#define LOCK_WRITE 1
#define LOCK_EXCLUSIVE 2
#define LOCK_ONLYONCE 4

// What IStream::Stat tells. pwcsName is allocated with CoTaskMemAlloc (the caller frees it)
// unless STATFLAG_NONAME was given, and null for a stream without a name.
typedef struct tagSTATSTG {
    LPOLESTR pwcsName;
    DWORD type;             // STGTY_*
    ULARGE_INTEGER cbSize;  // bytes
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;            // STGM_* the stream was opened with
    DWORD grfLocksSupported;  // LOCK_* bits; 0 when region locking is not supported
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
} STATSTG;
static_assert(sizeof(STATSTG) == 80 && offsetof(STATSTG, cbSize) == 16 &&
                  offsetof(STATSTG, clsid) == 56,
              "STATSTG crosses COM interfaces");

// A seekable stream of bytes. Seeking past the end is allowed (a later write fills the gap);
// seeking before the start fails with STG_E_INVALIDFUNCTION. With STREAM_SEEK_SET the move
// is read as unsigned. Stream sizes and positions are bytes.
struct IStream : ISequentialStream {
    virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                           ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) = 0;
    // Copies up to `bytes` bytes from this stream's position to the target's, moving both.
    virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER bytes,
                                             ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit(DWORD commitFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
    virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER bytes,
                                                 DWORD lockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER bytes,
                                                   DWORD lockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* statstg, DWORD statFlag) = 0;
    // A second stream over the same bytes with its own seek position, starting at this one's.
    virtual HRESULT STDMETHODCALLTYPE Clone(IStream** clone) = 0;

protected:
    ~IStream() = default;
};
typedef IStream* LPSTREAM;
DECLARE_INTERFACE_ID(IStream, IID_IStream);

// ---------------------------------------------------------------------------------------------
// Automation: BSTR, VARIANT and the argument blocks of IDispatch::Invoke

// A BSTR points at wide text with a zero after it and its length in bytes stored in the 4 bytes
// before it, so it may hold zeros of its own. A null BSTR counts as the empty string.
typedef OLECHAR* BSTR;
typedef LONG DISPID;
typedef LONG SCODE;
typedef double DOUBLE;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
struct ITypeInfo;
struct IServiceProvider;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_BYREF = 0x4000,
};

// One value of an automation call. The type tag says which member of the union holds it; with
// VT_BYREF the member is a pointer to a value of the other bits' type, owned by whoever made
// the VARIANT. VariantClear frees what a VARIANT owns: its BSTR or its interface reference.
typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        struct IDispatch* pdispVal;
        INT intVal;
        UINT uintVal;
        ULONG ulVal;
        LONG* plVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        struct tagVARIANT* pvarVal;
        PVOID byref;
        struct {
            PVOID pvRecord;
            PVOID pRecInfo;
        } record;
    };
} VARIANT, VARIANTARG;
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT crosses COM interfaces");

#define V_VT(v) ((v)->vt)
#define V_I4(v) ((v)->lVal)
#define V_R8(v) ((v)->dblVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_UNKNOWN(v) ((v)->punkVal)

// The arguments of an Invoke call, in reverse order: rgvarg[0] is the last argument. Named
// arguments come first in rgvarg, with their ids in rgdispidNamedArgs (DISPID_PROPERTYPUT
// names the value of a property put).
typedef struct tagDISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

// What an object tells about an exception its member raised (Invoke then answers
// DISP_E_EXCEPTION); the caller frees the BSTRs.
typedef struct tagEXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
    SCODE scode;
} EXCEPINFO;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

#define DISPID_UNKNOWN ((DISPID)-1)
#define DISPID_VALUE ((DISPID)0)
#define DISPID_PROPERTYPUT ((DISPID)-3)

#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000E)

// BSTR allocation. SysAllocString copies a zero-terminated text (null for null);
// SysAllocStringLen copies `length` characters (or leaves them zero when text is null) and adds
// the zero. SysFreeString accepts null. SysStringLen is the length in characters, 0 for null.
PLATFORM_API BSTR SysAllocString(const OLECHAR* text);
PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
PLATFORM_API void SysFreeString(BSTR text);
PLATFORM_API UINT SysStringLen(BSTR text);

// VariantInit makes a VARIANT VT_EMPTY without looking at what it held. VariantClear frees
// what it owns (a BSTR, an interface reference; nothing for VT_BYREF) and makes it VT_EMPTY.
// VariantCopy clears the target and copies the source, with its own BSTR or reference.
PLATFORM_API void VariantInit(VARIANTARG* variant);
PLATFORM_API HRESULT VariantClear(VARIANTARG* variant);
PLATFORM_API HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source);

#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006)
#define DISP_E_BADINDEX ((HRESULT)0x8002000B)

DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);

// Late-bound calls by member id. An object without type information answers a count of 0 from
// GetTypeInfoCount.
struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                    LCID locale, DISPID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                             DISPPARAMS* params, VARIANT* result,
                                             EXCEPINFO* exception, UINT* argumentError) = 0;

protected:
    ~IDispatch() = default;
};
typedef IDispatch* LPDISPATCH;
DECLARE_INTERFACE_ID(IDispatch, IID_IDispatch);

DEFINE_GUID(IID_IDispatchEx, 0xA6EF9860, 0xC720, 0x11D0, 0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA,
            0xA9);

#define fdexNameCaseSensitive 0x00000001L
#define fdexNameEnsure 0x00000002L
#define fdexNameImplicit 0x00000004L
#define fdexNameCaseInsensitive 0x00000008L

// A dispatch object whose members can be added at run time, such as a script's objects.
// GetDispID finds the id of a name (DISP_E_UNKNOWNNAME), and with fdexNameEnsure adds the
// member when it is missing. InvokeEx is Invoke for those ids.
struct IDispatchEx : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD flags, DISPID* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID locale, WORD flags,
                                               DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO* exception,
                                               IServiceProvider* caller) = 0;

protected:
    ~IDispatchEx() = default;
};
DECLARE_INTERFACE_ID(IDispatchEx, IID_IDispatchEx);

namespace platform {

template <class T>
void** PpvArgs(T** pointer)
{
    static_assert(std::is_base_of_v<IUnknown, T>, "IID_PPV_ARGS needs a COM interface pointer");
    return reinterpret_cast<void**>(pointer);
}

// The reference count of a COM object that is not aggregated. It starts at `initial`, the
// reference its creator holds. Release gives the count left and, when that is 0, calls
// `destroy` (a lambda of the object's own, which may reach a private destructor):
//     ULONG Release() override { return m_references.Release([this] { delete this; }); }
// Safe on any thread.
class RefCount {
public:
    explicit RefCount(ULONG initial = 1) : m_count(initial) {}
    RefCount(const RefCount&) = delete;
    RefCount& operator=(const RefCount&) = delete;

    ULONG AddRef() { return m_count.fetch_add(1, std::memory_order_relaxed) + 1; }
    template <class Destroy>
    ULONG Release(Destroy destroy)
    {
        const ULONG left = m_count.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            destroy();
        return left;
    }

private:
    std::atomic<ULONG> m_count;
};

}  // namespace platform

// The interface id and the out-parameter of a typed interface pointer, for calls that take
// (REFIID, void**): QueryInterface(IID_PPV_ARGS(&stream)).
#define IID_PPV_ARGS(pointer)                                                                  \
    ::platform::IidOf<std::remove_pointer_t<std::remove_reference_t<decltype(*(pointer))>>>(), \
        ::platform::PpvArgs(pointer)

// ---------------------------------------------------------------------------------------------
// ComPtr: one counted reference to a COM interface, released when the pointer goes.
//
// Constructing from a raw pointer adds a reference; Attach takes over a reference the caller
// owns; Detach hands the reference to the caller. The address-of operator first releases what
// the pointer holds and then gives the slot, for out-parameters:
//     ComPtr<IStream> stream;
//     CreateStreamOnHGlobal(block, TRUE, &stream);

template <class T>
class ComPtr {
public:
    using InterfaceType = T;

    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    explicit ComPtr(T* pointer) noexcept : m_pointer(pointer)
    {
        if (m_pointer)
            m_pointer->AddRef();
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_pointer) {}
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) noexcept : ComPtr(static_cast<T*>(other.Get()))
    {
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(ComPtr<U>&& other) noexcept : m_pointer(other.Detach())
    {
    }
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other) noexcept
    {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept
    {
        Reset();
        return *this;
    }

    T* Get() const noexcept { return m_pointer; }
    T* operator->() const noexcept { return m_pointer; }
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

    // Releases what is held and gives the empty slot to a call that writes a new reference.
    T** operator&() noexcept
    {
        Reset();
        return &m_pointer;
    }

    // Takes over a reference the caller owned, releasing what was held.
    void Attach(T* pointer) noexcept
    {
        T* old = std::exchange(m_pointer, pointer);
        if (old)
            old->Release();
    }
    // Gives up the reference without releasing it: the caller owns it afterwards.
    T* Detach() noexcept { return std::exchange(m_pointer, nullptr); }
    // Releases the reference (the slot is cleared first, so a Release that reaches this
    // pointer again finds it empty).
    void Reset() noexcept
    {
        if (T* old = std::exchange(m_pointer, nullptr))
            old->Release();
    }
    void Swap(ComPtr& other) noexcept { std::swap(m_pointer, other.m_pointer); }

    // Hands out another reference: the caller releases it. E_POINTER for a null target.
    HRESULT CopyTo(T** target) const noexcept
    {
        if (!target)
            return E_POINTER;
        *target = m_pointer;
        if (m_pointer)
            m_pointer->AddRef();
        return S_OK;
    }

    // QueryInterface for U: `pointer.As(&other)` releases what `other` held and fills it, or
    // leaves it null on failure; E_POINTER when this holds nothing.
    template <class U>
    HRESULT As(U** target) const noexcept
    {
        if (!target)
            return E_POINTER;
        *target = nullptr;
        if (!m_pointer)
            return E_POINTER;
        return m_pointer->QueryInterface(IID_PPV_ARGS(target));
    }

private:
    T* m_pointer = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) noexcept
{
    return a.Get() == b.Get();
}
template <class T>
bool operator==(const ComPtr<T>& a, std::nullptr_t) noexcept
{
    return a.Get() == nullptr;
}

// ---------------------------------------------------------------------------------------------
// Apartments and object creation

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// Each thread counts its initialisations: the first returns S_OK, each further one of the same
// model S_FALSE (and must be matched by CoUninitialize as well); one of the other model
// returns RPC_E_CHANGED_MODE and counts nothing. reserved must be null (E_INVALIDARG).
// CoInitialize(NULL) is CoInitializeEx(NULL, COINIT_APARTMENTTHREADED).
PLATFORM_API HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
PLATFORM_API HRESULT CoInitialize(LPVOID reserved);
// Undoes one successful initialisation of the calling thread; does nothing on a thread that
// has none. Libraries loaded for COM stay loaded until the process ends.
PLATFORM_API void CoUninitialize();

// Finds the class object of a class: the layer's own classes first (platform/com/classes.h),
// then HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, whose default value is the library's
// path (a bare name is looked up as LoadLibraryW does); the library is loaded once and stays
// loaded, and its DllGetClassObject answers. Results: REGDB_E_CLASSNOTREG when neither knows
// the class or the context lacks CLSCTX_INPROC_SERVER; CO_E_DLLNOTFOUND when the library
// does not load; CO_E_ERRORINDLL when it has no DllGetClassObject; CO_E_NOTINITIALIZED when
// the calling thread has not initialised COM and no thread of the process is in the
// multithreaded apartment; else what DllGetClassObject or QueryInterface returns. serverInfo
// must be null (E_INVALIDARG).
PLATFORM_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID serverInfo, REFIID iid,
                                      LPVOID* object);
// CoGetClassObject for IClassFactory, then IClassFactory::CreateInstance. E_POINTER when
// object is null; otherwise *object is null on every failure.
PLATFORM_API HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                      LPVOID* object);

// ---------------------------------------------------------------------------------------------
// GUID text

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and a zero; returns 39, the characters
// written with the zero, or 0 when the buffer holds fewer than 39.
PLATFORM_API int StringFromGUID2(REFGUID guid, LPOLESTR text, int capacity);
// Reads the braced form (hex digits in either case). CO_E_CLASSSTRING for anything else,
// leaving *clsid unchanged; E_INVALIDARG for null pointers.
PLATFORM_API HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);

// ---------------------------------------------------------------------------------------------
// Global memory
//
// A fixed block's handle is the address of its bytes. A moveable block's handle is a separate
// value; GlobalLock gives its bytes and counts a lock, and the layer never moves a block while
// it is locked. Every call checks the handle against the blocks it gave out, so a stale or
// foreign handle fails (ERROR_INVALID_HANDLE) instead of being dereferenced.

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

// Other flags fail with ERROR_INVALID_PARAMETER; a size that cannot be allocated with
// ERROR_NOT_ENOUGH_MEMORY. Without GMEM_ZEROINIT the bytes are unspecified.
PLATFORM_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Fixed: the handle itself. Moveable: the bytes, counting one lock; null (ERROR_DISCARDED) for
// a block of 0 bytes, which counts no lock.
PLATFORM_API LPVOID GlobalLock(HGLOBAL memory);
// Moveable: removes one lock; nonzero while locks remain, else 0 with NO_ERROR, or 0 with
// ERROR_NOT_LOCKED when the block was not locked. Fixed: TRUE.
PLATFORM_API BOOL GlobalUnlock(HGLOBAL memory);
// Frees the block, locked or not. Returns null, or the handle when it is not a block.
PLATFORM_API HGLOBAL GlobalFree(HGLOBAL memory);
// The block's size in bytes; 0 with ERROR_INVALID_HANDLE for a handle that is not a block.
PLATFORM_API SIZE_T GlobalSize(HGLOBAL memory);

// A stream over a global memory block: its bytes are the block's (initially the whole block),
// and the stream's size is always the block's size, so writes past the end and SetSize grow or
// shrink the block (the gap a write leaves after a seek past the end reads as zeros). A block
// can grow only when it is moveable and not locked; otherwise, and beyond 4 GiB - 1 bytes,
// growing fails with STG_E_MEDIUMFULL. A null block makes a new moveable block of 0 bytes.
// With deleteOnRelease the block is freed when the stream and all its clones are released;
// without it the caller frees the block after that final release. A stream whose block the
// caller freed early fails every access with STG_E_INVALIDHANDLE. The stream is not
// transacted (Commit and Revert have nothing to do) and does not lock regions
// (STG_E_INVALIDFUNCTION); it may be used from several threads.
// E_INVALIDARG for a null result pointer or a handle that is not a block.
PLATFORM_API HRESULT CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream);

// ---------------------------------------------------------------------------------------------
// The exports of an in-process server library
//
// A library that serves COM classes defines these four with STDAPI; the declarations here make
// them visible from a library built with -fvisibility=hidden. DllGetClassObject gives the
// class object of one of its classes (CLASS_E_CLASSNOTAVAILABLE for others); DllCanUnloadNow
// answers S_OK when no object and no server lock remains, else S_FALSE; DllRegisterServer and
// DllUnregisterServer write and remove the library's classes under HKEY_CLASSES_ROOT.

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);
STDAPI DllCanUnloadNow();
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();

typedef HRESULT(STDAPICALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* LPFNCANUNLOADNOW)();
typedef HRESULT(STDAPICALLTYPE* LPFNREGISTERSERVER)();
