// The COM runtime: apartment counts, the system class table, the search for a class object
// (system classes, then in-process servers registered under HKEY_CLASSES_ROOT) and GUID text.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "classes.h"
#include "platform/com.h"
#include "platform/kernel.h"

namespace platform {
namespace {

// ---------------------------------------------------------------------------------------------
// Apartments

enum class Apartment { None, SingleThreaded, MultiThreaded };

struct ThreadApartment {
    Apartment model = Apartment::None;
    unsigned count = 0;  // successful initialisations not yet undone
};

thread_local ThreadApartment t_apartment;

// Threads currently in the multithreaded apartment. While there is one, threads that never
// initialised COM belong to it implicitly and may create objects.
std::atomic<int> g_multiThreadedThreads{0};

bool MayCreateObjects()
{
    return t_apartment.count > 0 || g_multiThreadedThreads.load(std::memory_order_acquire) > 0;
}

// ---------------------------------------------------------------------------------------------
// System classes

struct SystemClass {
    SystemClassCreator create;
    Aggregation aggregation;
};

struct SystemClassTable {
    std::mutex lock;
    std::map<GUID, SystemClass> classes;  // guarded by `lock`
};

SystemClassTable& SystemClasses()
{
    static SystemClassTable* table = new SystemClassTable;  // lives until the process ends
    return *table;
}

// The class object COM hands out for a system class. System classes live in this library,
// which is never unloaded, so LockServer has nothing to keep loaded.
class SystemClassFactory final : public IClassFactory {
public:
    explicit SystemClassFactory(SystemClass entry) : m_class(entry) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_references.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        return m_references.Release([this] { delete this; });
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer && (m_class.aggregation == Aggregation::Refused || iid != IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        HRESULT result = m_class.create(outer, iid, object);
        if (FAILED(result))
            *object = nullptr;
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ~SystemClassFactory() = default;

    const SystemClass m_class;
    platform::RefCount m_references;
};

// ---------------------------------------------------------------------------------------------
// In-process servers

// The libraries COM has loaded. Each holds one LoadLibraryW reference for the life of the
// process: objects and class objects they made may outlive any apartment.
struct ServerLibraries {
    std::mutex lock;
    std::set<HMODULE> loaded;  // guarded by `lock`
};

ServerLibraries& Servers()
{
    static ServerLibraries* servers = new ServerLibraries;  // lives until the process ends
    return *servers;
}

// Keeps the first reference to each library and gives back any further one.
void KeepLoaded(HMODULE module)
{
    ServerLibraries& servers = Servers();
    bool known;
    {
        std::lock_guard<std::mutex> guard(servers.lock);
        known = !servers.loaded.insert(module).second;
    }
    if (known)
        FreeLibrary(module);
}

// The default value of HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32: the server library's
// path, or empty when the class has no usable registration.
std::wstring RegisteredServerPath(REFCLSID clsid)
{
    std::wstring keyName = L"CLSID\\" + GuidToString(clsid) + L"\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return {};
    std::wstring path;
    DWORD type = REG_NONE, bytes = 0;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        type == REG_SZ && bytes >= sizeof(WCHAR)) {
        std::vector<WCHAR> text(bytes / sizeof(WCHAR) + 1, 0);
        DWORD size = DWORD(text.size() * sizeof(WCHAR));
        if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(text.data()),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            // The stored text may or may not count its terminating zero: it ends at the first.
            path.assign(text.data(), std::min<size_t>(size / sizeof(WCHAR), text.size()));
            path = path.c_str();
        }
    }
    RegCloseKey(key);
    return path;
}

// The system filters (file reader, AVI splitter, audio wrapper, sound and video renderers) live
// in a module of their own beside this library, "libkvsysfilters.so", which registers its
// classes when it is loaded. It is loaded once, at the first request for a class the table does
// not hold, and stays loaded. A missing module leaves those classes unregistered.
void LoadSystemFilterModule()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&LoadSystemFilterModule), &info) || !info.dli_fname)
            return;
        std::string path = info.dli_fname;
        const size_t slash = path.rfind('/');
        path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
               "libkvsysfilters.so";
        dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    });
}

std::optional<SystemClass> FindSystemClass(REFCLSID clsid)
{
    SystemClassTable& table = SystemClasses();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.classes.find(clsid);
    if (it == table.classes.end())
        return std::nullopt;
    return it->second;
}

HRESULT ServerClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    std::wstring path = RegisteredServerPath(clsid);
    if (path.empty())
        return REGDB_E_CLASSNOTREG;
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module)
        return CO_E_DLLNOTFOUND;
    auto getClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, "DllGetClassObject"));
    if (!getClassObject) {
        FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    KeepLoaded(module);
    HRESULT result = getClassObject(clsid, iid, object);
    if (FAILED(result))
        *object = nullptr;
    return result;
}

}  // namespace

bool RegisterSystemClass(REFCLSID clsid, SystemClassCreator create, Aggregation aggregation)
{
    if (!create)
        return false;
    SystemClassTable& table = SystemClasses();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.classes.emplace(clsid, SystemClass{create, aggregation}).second;
}

}  // namespace platform

using namespace platform;

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit)
{
    if (reserved)
        return E_INVALIDARG;
    Apartment model =
        (coInit & COINIT_APARTMENTTHREADED) ? Apartment::SingleThreaded : Apartment::MultiThreaded;
    ThreadApartment& apartment = t_apartment;
    if (apartment.count > 0) {
        if (apartment.model != model)
            return RPC_E_CHANGED_MODE;
        ++apartment.count;
        return S_FALSE;
    }
    apartment.model = model;
    apartment.count = 1;
    if (model == Apartment::MultiThreaded)
        g_multiThreadedThreads.fetch_add(1, std::memory_order_acq_rel);
    return S_OK;
}

HRESULT CoInitialize(LPVOID reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize()
{
    ThreadApartment& apartment = t_apartment;
    if (apartment.count == 0)
        return;
    if (--apartment.count > 0)
        return;
    if (apartment.model == Apartment::MultiThreaded)
        g_multiThreadedThreads.fetch_sub(1, std::memory_order_acq_rel);
    apartment.model = Apartment::None;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID serverInfo, REFIID iid,
                         LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (serverInfo)
        return E_INVALIDARG;
    if (!MayCreateObjects())
        return CO_E_NOTINITIALIZED;
    if (!(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;

    std::optional<SystemClass> system = FindSystemClass(clsid);
    if (!system) {
        LoadSystemFilterModule();
        system = FindSystemClass(clsid);
    }
    if (system) {
        // The factory starts with the one reference that QueryInterface trades for the
        // caller's.
        auto* factory = new SystemClassFactory(*system);
        HRESULT result = factory->QueryInterface(iid, object);
        factory->Release();
        return result;
    }
    return ServerClassObject(clsid, iid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    ComPtr<IClassFactory> factory;
    HRESULT result = CoGetClassObject(clsid, context, nullptr, IID_PPV_ARGS(&factory));
    if (FAILED(result))
        return result;
    if (!factory)
        return E_NOINTERFACE;
    result = factory->CreateInstance(outer, iid, object);
    if (FAILED(result))
        *object = nullptr;
    return result;
}

int StringFromGUID2(REFGUID guid, LPOLESTR text, int capacity)
{
    std::wstring formatted = GuidToString(guid);
    if (!text || capacity < int(formatted.size()) + 1)
        return 0;
    std::copy(formatted.begin(), formatted.end(), text);
    text[formatted.size()] = 0;
    return int(formatted.size()) + 1;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid)
{
    if (!text || !clsid)
        return E_INVALIDARG;
    return GuidFromString(text, clsid) ? NOERROR : CO_E_CLASSSTRING;
}
