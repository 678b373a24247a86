// The library side of COM for a filter library: the class factory over the template table,
// DllGetClassObject, DllCanUnloadNow, the entry point and AMovieDllRegisterServer2.
//
// This file is linked into a library as soon as the library defines DllRegisterServer (which
// calls AMovieDllRegisterServer2) or DllMain (which calls DllEntryPoint), and it brings the
// other exports and the load-time call of the entry point with it.
#include <new>

#include "register.h"

HINSTANCE g_hInst = nullptr;

// An unoptimised program that links the base classes without being a filter library (a test,
// say) can pull this object in for an inline function it happens to emit; the template table is
// then absent rather than an unresolved symbol, and the library offers no classes.
#pragma weak g_Templates
#pragma weak g_cTemplates

namespace {
int TemplateCount()
{
    return &g_cTemplates != nullptr && g_Templates != nullptr ? g_cTemplates : 0;
}
}  // namespace

// The library's own entry point, when it has one; else the base classes' is called directly.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
    __attribute__((weak));

namespace {

// Server locks taken with IClassFactory::LockServer.
std::atomic<LONG> g_serverLocks{0};

// The class object of one template.
class CClassFactory final : public IClassFactory, public CBaseObject {
public:
    explicit CClassFactory(const CFactoryTemplate* entry)
        : CBaseObject(NAME("Class factory")), m_template(entry)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return NOERROR;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_cRef.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        return m_cRef.Release([this] { delete this; });
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer && !IsEqualIID(iid, IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        HRESULT hr = S_OK;
        CUnknown* instance = m_template->CreateInstance(outer, &hr);
        if (!instance)
            return FAILED(hr) ? hr : E_OUTOFMEMORY;
        if (FAILED(hr)) {
            delete instance;
            return hr;
        }
        // The temporary reference makes a failed QueryInterface delete the new object.
        instance->NonDelegatingAddRef();
        hr = instance->NonDelegatingQueryInterface(iid, object);
        instance->NonDelegatingRelease();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) {
            g_serverLocks.fetch_add(1, std::memory_order_relaxed);
        } else if (g_serverLocks.fetch_sub(1, std::memory_order_acq_rel) <= 0) {
            g_serverLocks.fetch_add(1, std::memory_order_relaxed);  // an unmatched unlock
        }
        return NOERROR;
    }

private:
    ~CClassFactory() override = default;

    platform::RefCount m_cRef{0};
    const CFactoryTemplate* m_template;
};

// Calls the entry point when the library is loaded and unloaded, as the loader does on
// Windows. The base classes are an archive linked after the library's own objects, so this
// runs after the library's static initialisers and before its static destructors.
struct LibraryEntry {
    LibraryEntry()
    {
        m_module = reinterpret_cast<HINSTANCE>(dshowbase::LibraryModule());
        Call(DLL_PROCESS_ATTACH);
    }
    ~LibraryEntry() { Call(DLL_PROCESS_DETACH); }
    void Call(DWORD reason)
    {
        if (DllMain) {
            DllMain(m_module, reason, nullptr);
        } else {
            DllEntryPoint(m_module, reason, nullptr);
        }
    }
    HINSTANCE m_module;
};

LibraryEntry g_libraryEntry;

}  // namespace

CUnknown* CFactoryTemplate::CreateInstance(LPUNKNOWN outer, HRESULT* phr) const
{
    if (!m_lpfnNew) {
        *phr = E_UNEXPECTED;
        return nullptr;
    }
    // Creation functions allocate with new: running out of memory must not leave the library
    // as an exception.
    try {
        return m_lpfnNew(outer, phr);
    } catch (const std::bad_alloc&) {
        *phr = E_OUTOFMEMORY;
        return nullptr;
    }
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
        return E_NOINTERFACE;
    }
    for (int i = 0; i < TemplateCount(); ++i) {
        if (!g_Templates[i].IsClassID(clsid))
            continue;
        CClassFactory* factory = new (std::nothrow) CClassFactory(&g_Templates[i]);
        if (!factory)
            return E_OUTOFMEMORY;
        factory->AddRef();
        *object = static_cast<IClassFactory*>(factory);
        return NOERROR;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    return g_serverLocks.load(std::memory_order_acquire) == 0 && CBaseObject::ObjectsActive() == 0
               ? S_OK
               : S_FALSE;
}

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, ULONG reason, LPVOID reserved)
{
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            g_hInst = instance;
            for (int i = 0; i < TemplateCount(); ++i) {
                if (g_Templates[i].m_lpfnInit)
                    g_Templates[i].m_lpfnInit(TRUE, g_Templates[i].m_ClsID);
            }
            break;
        case DLL_PROCESS_DETACH:
            for (int i = 0; i < TemplateCount(); ++i) {
                if (g_Templates[i].m_lpfnInit)
                    g_Templates[i].m_lpfnInit(FALSE, g_Templates[i].m_ClsID);
            }
            break;
        default:
            break;
    }
    return TRUE;
}

STDAPI AMovieDllRegisterServer2(BOOL registering)
{
    HMODULE module = g_hInst ? reinterpret_cast<HMODULE>(g_hInst) : dshowbase::LibraryModule();
    const std::wstring path = dshowbase::ModulePath(module);
    if (registering && path.empty())
        return E_FAIL;

    HRESULT result = S_OK;
    auto keep = [&result](HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    };
    for (int i = 0; i < TemplateCount(); ++i) {
        const CFactoryTemplate& entry = g_Templates[i];
        if (!entry.m_ClsID)
            continue;
        if (registering) {
            // The server first, so that a registered filter can always be created.
            keep(dshowbase::RegisterServer(*entry.m_ClsID, entry.m_Name, path));
            if (entry.m_pAMovieSetup_Filter)
                keep(dshowbase::RegisterFilter(*entry.m_pAMovieSetup_Filter));
        } else {
            if (entry.m_pAMovieSetup_Filter && entry.m_pAMovieSetup_Filter->clsID) {
                keep(dshowbase::UnregisterFilter(*entry.m_pAMovieSetup_Filter->clsID));
            }
            keep(dshowbase::UnregisterServer(*entry.m_ClsID));
        }
    }
    return result;
}
