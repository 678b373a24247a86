// A filter library made with the base classes: its entry point at load, AMovieDllRegisterServer2
// writing and removing the class and filter keys, DllGetClassObject over the template table,
// DllCanUnloadNow counting objects and locks, aggregation through the class factory, and
// creation through CoCreateInstance from the registered path. The registry lives in a
// temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dshow.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace {

// {C4A7E2D1-5B39-4F6A-9D08-2E71B3C5A9F4}, the test library's filter.
DEFINE_GUID(CLSID_KvDshowTestFilter, 0xC4A7E2D1, 0x5B39, 0x4F6A, 0x9D, 0x08, 0x2E, 0x71, 0xB3, 0xC5,
            0xA9, 0xF4);
DEFINE_GUID(CLSID_Unknown, 0xC4A7E2D1, 0x5B39, 0x4F6A, 0x9D, 0x08, 0x2E, 0x71, 0xB3, 0xC5, 0xA9,
            0xF5);

typedef int (*InitCallsProc)();
typedef HINSTANCE (*ModuleProc)();

std::wstring ClassKey(REFCLSID clsid)
{
    return L"CLSID\\" + platform::GuidToString(clsid);
}

std::wstring InstanceKey(REFCLSID clsid)
{
    return ClassKey(CLSID_LegacyAmFilterCategory) + L"\\Instance\\" + platform::GuidToString(clsid);
}

bool KeyExists(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The value's bytes, or nothing when the key or value is missing.
std::vector<BYTE> ReadValue(const std::wstring& path, LPCWSTR name, DWORD* type = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    BYTE data[4096];
    DWORD size = sizeof data;
    DWORD valueType = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &valueType, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return {};
    if (type)
        *type = valueType;
    return std::vector<BYTE>(data, data + size);
}

std::wstring ReadString(const std::wstring& path, LPCWSTR name)
{
    DWORD type = 0;
    std::vector<BYTE> bytes = ReadValue(path, name, &type);
    if (bytes.empty() || type != REG_SZ)
        return L"<missing>";
    std::wstring text(reinterpret_cast<const WCHAR*>(bytes.data()), bytes.size() / sizeof(WCHAR));
    if (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

DWORD WordAt(const std::vector<BYTE>& bytes, size_t offset)
{
    DWORD value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

GUID GuidAt(const std::vector<BYTE>& bytes, size_t offset)
{
    GUID value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// An aggregating object that holds the inner object's non-delegating IUnknown.
class COuter final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }

    IUnknown* inner = nullptr;
    LONG refs = 1;  // the test's own
};

class FilterLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        std::string base = std::string(build ? build : "/tmp") + "/dshow_registration.XXXXXX";
        ASSERT_NE(mkdtemp(base.data()), nullptr);
        m_home = base;
        platform::testing::SetHomeFolder(m_home);

        m_module = LoadLibraryW(platform::ToWindowsPath(KV_TEST_FILTER).c_str());
        ASSERT_NE(m_module, nullptr);
        m_register =
            reinterpret_cast<LPFNREGISTERSERVER>(GetProcAddress(m_module, "DllRegisterServer"));
        m_unregister =
            reinterpret_cast<LPFNREGISTERSERVER>(GetProcAddress(m_module, "DllUnregisterServer"));
        m_getClassObject =
            reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(m_module, "DllGetClassObject"));
        m_canUnloadNow =
            reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(m_module, "DllCanUnloadNow"));
        ASSERT_TRUE(m_register && m_unregister && m_getClassObject && m_canUnloadNow);
    }
    void TearDown() override { std::system(("rm -rf '" + m_home + "'").c_str()); }

    ComPtr<IClassFactory> Factory(REFCLSID clsid)
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(m_getClassObject(clsid, IID_PPV_ARGS(&factory)), S_OK);
        return factory;
    }

    std::string m_home;
    HMODULE m_module = nullptr;
    LPFNREGISTERSERVER m_register = nullptr;
    LPFNREGISTERSERVER m_unregister = nullptr;
    LPFNGETCLASSOBJECT m_getClassObject = nullptr;
    LPFNCANUNLOADNOW m_canUnloadNow = nullptr;
};

TEST_F(FilterLibrary, EntryPointRunsAtLoadWithTheLibrarysOwnModule)
{
    auto initCalls =
        reinterpret_cast<InitCallsProc>(GetProcAddress(m_module, "KvDshowTestInitCalls"));
    auto module = reinterpret_cast<ModuleProc>(GetProcAddress(m_module, "KvDshowTestModule"));
    ASSERT_TRUE(initCalls && module);
    EXPECT_EQ(initCalls(), 1);  // the filter's init routine, once, with TRUE
    EXPECT_EQ(reinterpret_cast<HMODULE>(module()), m_module);
}

TEST_F(FilterLibrary, RegistersEveryClassAndTheFilterData)
{
    ASSERT_EQ(m_register(), S_OK);

    WCHAR path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(m_module, path, DWORD(sizeof path / sizeof path[0]));
    ASSERT_GT(length, 0u);
    const std::wstring server = ClassKey(CLSID_KvDshowTestFilter);
    EXPECT_EQ(ReadString(server, nullptr), L"KV Test Filter");
    EXPECT_EQ(ReadString(server + L"\\InprocServer32", nullptr), std::wstring(path, length));
    EXPECT_EQ(ReadString(server + L"\\InprocServer32", L"ThreadingModel"), L"Both");
    EXPECT_EQ(ReadString(ClassKey(CLSID_MemoryAllocator), nullptr), L"Test memory allocator");

    const std::wstring instance = InstanceKey(CLSID_KvDshowTestFilter);
    EXPECT_EQ(ReadString(instance, L"FriendlyName"), L"KV Test Filter");
    EXPECT_EQ(ReadString(instance, L"CLSID"), platform::GuidToString(CLSID_KvDshowTestFilter));
    DWORD type = 0;
    std::vector<BYTE> data = ReadValue(instance, L"FilterData", &type);
    EXPECT_EQ(type, DWORD(REG_BINARY));
    // version, merit, pins; each pin: flags, types, then each type's two GUIDs.
    ASSERT_EQ(data.size(), 3 * 4 + 2 * (8 + 32));
    EXPECT_EQ(WordAt(data, 0), 1u);
    EXPECT_EQ(WordAt(data, 4), DWORD(MERIT_DO_NOT_USE));
    EXPECT_EQ(WordAt(data, 8), 2u);
    EXPECT_EQ(WordAt(data, 12), 0u);
    EXPECT_EQ(WordAt(data, 16), 1u);
    EXPECT_EQ(GuidAt(data, 20), MEDIATYPE_Video);
    EXPECT_EQ(GuidAt(data, 36), MEDIASUBTYPE_AVC1);
    EXPECT_EQ(WordAt(data, 52),
              DWORD(REG_PINFLAG_B_RENDERER | REG_PINFLAG_B_MANY | REG_PINFLAG_B_OUTPUT));
    EXPECT_EQ(WordAt(data, 56), 1u);
    EXPECT_EQ(GuidAt(data, 60), MEDIATYPE_Video);
    EXPECT_EQ(GuidAt(data, 76), GUID_NULL);

    // A class without filter data is a COM server only.
    EXPECT_FALSE(KeyExists(InstanceKey(CLSID_MemoryAllocator)));
}

TEST_F(FilterLibrary, UnregisteringRemovesOnlyItsOwnKeys)
{
    HKEY neighbour = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, InstanceKey(CLSID_Unknown).c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &neighbour, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(neighbour);
    ASSERT_EQ(m_register(), S_OK);
    ASSERT_EQ(m_unregister(), S_OK);
    EXPECT_FALSE(KeyExists(ClassKey(CLSID_KvDshowTestFilter)));
    EXPECT_FALSE(KeyExists(ClassKey(CLSID_MemoryAllocator)));
    EXPECT_FALSE(KeyExists(InstanceKey(CLSID_KvDshowTestFilter)));
    EXPECT_TRUE(KeyExists(InstanceKey(CLSID_Unknown)));
    EXPECT_EQ(m_unregister(), S_OK);  // nothing left to remove is no failure
}

TEST_F(FilterLibrary, FilterRegistersItselfThroughIAMovieSetup)
{
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(Factory(CLSID_KvDshowTestFilter)->CreateInstance(nullptr, IID_PPV_ARGS(&filter)),
              S_OK);
    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(filter.As(&setup), S_OK);
    ASSERT_EQ(setup->Register(), S_OK);
    EXPECT_EQ(ReadString(InstanceKey(CLSID_KvDshowTestFilter), L"FriendlyName"), L"KV Test Filter");
    ASSERT_EQ(setup->Unregister(), S_OK);
    EXPECT_FALSE(KeyExists(InstanceKey(CLSID_KvDshowTestFilter)));
}

TEST_F(FilterLibrary, ClassFactoryMakesObjectsAndTheLibraryCountsThem)
{
    EXPECT_EQ(m_canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory = Factory(CLSID_KvDshowTestFilter);
    ASSERT_TRUE(factory);
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);  // a class object is alive

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)), S_OK);
    CLSID clsid;
    ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_KvDshowTestFilter);
    ComPtr<IMemAllocator> notThere;
    EXPECT_EQ(filter.As(&notThere), E_NOINTERFACE);

    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(Factory(CLSID_MemoryAllocator)->CreateInstance(nullptr, IID_PPV_ARGS(&allocator)),
              S_OK);

    factory = nullptr;
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);  // objects are alive
    filter = nullptr;
    allocator = nullptr;
    EXPECT_EQ(m_canUnloadNow(), S_OK);

    factory = Factory(CLSID_KvDshowTestFilter);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory = nullptr;
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);  // locked
    factory = Factory(CLSID_KvDshowTestFilter);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory = nullptr;
    EXPECT_EQ(m_canUnloadNow(), S_OK);
}

TEST_F(FilterLibrary, ClassObjectRequestsAndCreationsThatFail)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_getClassObject(CLSID_Unknown, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(m_getClassObject(CLSID_KvDshowTestFilter, IID_IBaseFilter, &object), E_NOINTERFACE);
    EXPECT_EQ(m_getClassObject(CLSID_KvDshowTestFilter, IID_IClassFactory, nullptr), E_POINTER);

    ComPtr<IClassFactory> factory = Factory(CLSID_KvDshowTestFilter);
    COuter outer;
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IBaseFilter, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);
    factory = nullptr;
    EXPECT_EQ(m_canUnloadNow(), S_OK);  // nothing was left behind
}

TEST_F(FilterLibrary, FilterAggregatedThroughTheFactoryAnswersForItsOuterObject)
{
    COuter outer;
    ComPtr<IClassFactory> factory = Factory(CLSID_KvDshowTestFilter);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    ASSERT_NE(outer.inner, static_cast<IUnknown*>(&outer));
    {
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(outer.QueryInterface(IID_PPV_ARGS(&filter)), S_OK);
        EXPECT_EQ(outer.refs, 2);  // the filter's interface counts on the outer object
        ComPtr<IUnknown> identity;
        ASSERT_EQ(filter->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
        EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    }
    EXPECT_EQ(outer.refs, 1);
    factory = nullptr;
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);
    outer.inner->Release();  // the aggregate ends: the inner object goes
    outer.inner = nullptr;
    EXPECT_EQ(m_canUnloadNow(), S_OK);
}

TEST_F(FilterLibrary, CoCreateInstanceFindsTheRegisteredLibraryUntilItIsUnregistered)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(m_register(), S_OK);
    {
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(CoCreateInstance(CLSID_KvDshowTestFilter, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&filter)),
                  S_OK);
        CLSID clsid;
        ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
        EXPECT_EQ(clsid, CLSID_KvDshowTestFilter);
    }
    ASSERT_EQ(m_unregister(), S_OK);
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(CLSID_KvDshowTestFilter, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&filter)),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
}

}  // namespace
