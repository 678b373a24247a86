// Object counting and the aggregatable IUnknown of the base classes.
#include "platform/dshow/streams.h"

std::atomic<LONG> CBaseObject::s_objects{0};

CBaseObject::CBaseObject(LPCTSTR name)
{
    s_objects.fetch_add(1, std::memory_order_relaxed);
}

CBaseObject::~CBaseObject()
{
    s_objects.fetch_sub(1, std::memory_order_acq_rel);
}

LONG CBaseObject::ObjectsActive()
{
    return s_objects.load(std::memory_order_acquire);
}

CUnknown::CUnknown(LPCTSTR name, LPUNKNOWN outer)
    : CBaseObject(name), m_pUnknown(outer ? outer : static_cast<IUnknown*>(&m_inner))
{
}

CUnknown::CUnknown(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr) : CUnknown(name, outer) {}

CUnknown::~CUnknown() = default;

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown))
        return GetInterface(&m_inner, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef()
{
    return ULONG(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease()
{
    LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        // A count of one during destruction keeps a Release that the destructor causes (an
        // aggregate releasing its inner object's interfaces) from deleting the object again.
        m_cRef.store(1, std::memory_order_relaxed);
        delete this;
        return 0;
    }
    return ULONG(count);
}

HRESULT WINAPI GetInterface(LPUNKNOWN unknown, void** object)
{
    if (!object)
        return E_POINTER;
    *object = unknown;
    unknown->AddRef();
    return NOERROR;
}
