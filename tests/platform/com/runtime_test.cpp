// The COM runtime: ComPtr's reference keeping, apartments, system classes and the factory rules,
// in-process servers registered with regsvr and found by class identifier, broken
// registrations, and GUID text.
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "com/classes.h"
#include "platform/com.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "test_server.h"

namespace {

// ---------------------------------------------------------------------------------------------
// A counted object for ComPtr, and a system class

// {8B1F0C62-3A5D-4E71-B0C9-6D2E4F1A7B01}
DEFINE_GUID(IID_ICounted, 0x8B1F0C62, 0x3A5D, 0x4E71, 0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A, 0x7B,
            0x01);
struct ICounted : IUnknown {
    virtual LONG STDMETHODCALLTYPE References() = 0;

protected:
    ~ICounted() = default;
};
DECLARE_INTERFACE_ID(ICounted, IID_ICounted);

// Counts its references; deleted at 0, which bumps g_destroyed.
std::atomic<int> g_destroyed{0};
class Counted final : public ICounted {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_ICounted) {
            *object = static_cast<ICounted*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = --m_references;
        if (left == 0) {
            ++g_destroyed;
            delete this;
        }
        return ULONG(left);
    }
    LONG STDMETHODCALLTYPE References() override { return m_references; }

private:
    ~Counted() = default;
    std::atomic<LONG> m_references{1};
};

// {8B1F0C62-3A5D-4E71-B0C9-6D2E4F1A7B02}, refusing aggregation; ...03, allowing it.
DEFINE_GUID(CLSID_TestSystemClass, 0x8B1F0C62, 0x3A5D, 0x4E71, 0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A,
            0x7B, 0x02);
DEFINE_GUID(CLSID_TestAggregatable, 0x8B1F0C62, 0x3A5D, 0x4E71, 0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A,
            0x7B, 0x03);
// Never registered anywhere.
DEFINE_GUID(CLSID_Nobody, 0x8B1F0C62, 0x3A5D, 0x4E71, 0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A, 0x7B,
            0x7F);

std::atomic<IUnknown*> g_lastOuter{nullptr};

HRESULT CreateCounted(IUnknown* outer, REFIID iid, void** object)
{
    g_lastOuter = outer;
    Counted* counted = new Counted;
    HRESULT result = counted->QueryInterface(iid, object);
    counted->Release();
    return result;
}

const bool g_registered = platform::RegisterSystemClass(CLSID_TestSystemClass, CreateCounted) &&
                          platform::RegisterSystemClass(CLSID_TestAggregatable, CreateCounted,
                                                        platform::Aggregation::Allowed);

// ---------------------------------------------------------------------------------------------
// Helpers

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

struct Outcome {
    int exitCode;
    std::string output;
};

// Runs a command line with the registry at `home`, collecting stdout and stderr.
Outcome RunWithHome(const std::string& home, const std::string& arguments)
{
    std::string command =
        "PLATFORM_HOME=" + Quoted(home) + " " + Quoted(KV_REGSVR) + " " + arguments + " 2>&1";
    Outcome run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, n);
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

LSTATUS SetString(HKEY key, LPCWSTR name, const std::wstring& text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD((text.size() + 1) * sizeof(WCHAR)));
}

std::wstring ClassKey(REFCLSID clsid)
{
    return L"CLSID\\" + platform::GuidToString(clsid);
}

// The registry points at a fresh folder for each test, and the test's thread is in a
// single-threaded apartment (which, unlike the multithreaded one, gives other threads
// nothing).
class ComRuntime : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_registered);
        const char* build = std::getenv("KV_BUILD_DIR");
        std::string base = std::string(build ? build : "/tmp") + "/com_test.XXXXXX";
        ASSERT_NE(mkdtemp(base.data()), nullptr);
        m_home = base;
        platform::testing::SetHomeFolder(m_home);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }
    void TearDown() override
    {
        CoUninitialize();
        std::system(("rm -rf " + Quoted(m_home)).c_str());
    }

    // Registers `clsid` with the given InprocServer32 default value (none when null).
    void RegisterServerPath(REFCLSID clsid, const wchar_t* path)
    {
        HKEY key = nullptr;
        std::wstring name = ClassKey(clsid) + (path ? L"\\InprocServer32" : L"");
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        if (path)
            EXPECT_EQ(SetString(key, nullptr, path), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    std::string m_home;
};

// ---------------------------------------------------------------------------------------------
// ComPtr

TEST(ComPtrTest, HoldsExactlyTheReferencesItOwns)
{
    int destroyedBefore = g_destroyed;
    ICounted* raw = new Counted;  // one reference, ours
    {
        ComPtr<ICounted> first(raw);  // adds one
        EXPECT_EQ(raw->References(), 2);
        ComPtr<ICounted> copy = first;
        EXPECT_EQ(raw->References(), 3);
        ComPtr<ICounted> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(raw->References(), 3);
        copy = moved;
        ComPtr<ICounted>& alias = copy;
        copy = alias;  // assigning a pointer to itself keeps its reference
        EXPECT_EQ(raw->References(), 4);
        copy = nullptr;
        EXPECT_EQ(raw->References(), 3);

        // Converting to a base interface shares the object.
        ComPtr<IUnknown> unknown = moved;
        EXPECT_EQ(raw->References(), 4);
        EXPECT_EQ(static_cast<IUnknown*>(raw), unknown.Get());

        // The address-of operator releases what was held before handing out the slot.
        ComPtr<ICounted> out(raw);
        EXPECT_EQ(raw->References(), 5);
        ICounted** slot = &out;
        EXPECT_EQ(raw->References(), 4);
        EXPECT_EQ(*slot, nullptr);
        EXPECT_EQ(raw->QueryInterface(IID_PPV_ARGS(&out)), S_OK);
        EXPECT_EQ(raw->References(), 5);

        // Detach hands the reference over; Attach takes one over.
        ICounted* detached = out.Detach();
        EXPECT_FALSE(out);
        EXPECT_EQ(raw->References(), 5);
        out.Attach(detached);
        EXPECT_EQ(raw->References(), 5);
        ICounted* copied = nullptr;
        EXPECT_EQ(out.CopyTo(&copied), S_OK);
        EXPECT_EQ(raw->References(), 6);
        copied->Release();

        // As: QueryInterface into a typed pointer; a failure leaves it empty.
        ComPtr<ICounted> again;
        EXPECT_EQ(unknown.As(&again), S_OK);
        EXPECT_EQ(again.Get(), raw);
        ComPtr<IClassFactory> wrong;
        EXPECT_EQ(unknown.As(&wrong), E_NOINTERFACE);
        EXPECT_FALSE(wrong);
        EXPECT_EQ(ComPtr<ICounted>().As(&again), E_POINTER);
        EXPECT_FALSE(again);
        EXPECT_EQ(raw->References(), 5);
    }
    EXPECT_EQ(raw->References(), 1);
    raw->Release();
    EXPECT_EQ(g_destroyed, destroyedBefore + 1);
}

// ---------------------------------------------------------------------------------------------
// Apartments

TEST(Apartments, EachThreadCountsItsOwnInitialisations)
{
    auto onFreshThread = [](auto body) { std::thread(body).join(); };
    onFreshThread([] {
        EXPECT_EQ(CoInitializeEx(reinterpret_cast<void*>(1), COINIT_MULTITHREADED), E_INVALIDARG);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE),
                  S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        // Another thread starts from nothing, whatever this one holds.
        std::thread([] {
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
            CoUninitialize();
        }).join();
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        CoUninitialize();  // one too many does nothing
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(Apartments, ObjectsNeedAnApartmentOrAMultithreadedOneInTheProcess)
{
    auto create = [] {
        ComPtr<ICounted> object;
        return CoCreateInstance(CLSID_TestSystemClass, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&object));
    };
    std::thread([&] {
        EXPECT_EQ(create(), CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(create(), S_OK);
        CoUninitialize();
        EXPECT_EQ(create(), CO_E_NOTINITIALIZED);
    }).join();

    // While another thread is in the multithreaded apartment, a thread that never initialised
    // COM belongs to it implicitly.
    std::promise<void> entered, done;
    std::thread member([&] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        entered.set_value();
        done.get_future().wait();
        CoUninitialize();
    });
    entered.get_future().wait();
    std::thread([&] { EXPECT_EQ(create(), S_OK); }).join();
    done.set_value();
    member.join();
    std::thread([&] { EXPECT_EQ(create(), CO_E_NOTINITIALIZED); }).join();
}

// ---------------------------------------------------------------------------------------------
// System classes

TEST_F(ComRuntime, SystemClassesComeBeforeTheRegistryAndFollowTheFactoryRules)
{
    // A registration of the same class that could never load does not matter.
    RegisterServerPath(CLSID_TestSystemClass, L"C:\\nowhere\\missing.ax");
    ComPtr<ICounted> counted;
    ASSERT_EQ(CoCreateInstance(CLSID_TestSystemClass, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&counted)),
              S_OK);
    EXPECT_EQ(counted->References(), 1);

    IUnknown* outer = counted.Get();
    void* object = reinterpret_cast<void*>(1);
    struct Case {
        const char* what;
        HRESULT result;
        HRESULT expected;
    } cases[] = {
        {"unknown class",
         CoCreateInstance(CLSID_Nobody, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
         REGDB_E_CLASSNOTREG},
        {"no in-process context",
         CoCreateInstance(CLSID_TestSystemClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                          &object),
         REGDB_E_CLASSNOTREG},
        {"interface the object lacks",
         CoCreateInstance(CLSID_TestSystemClass, nullptr, CLSCTX_INPROC_SERVER, IID_IStream,
                          &object),
         E_NOINTERFACE},
        {"aggregating a class that refuses it",
         CoCreateInstance(CLSID_TestSystemClass, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          &object),
         CLASS_E_NOAGGREGATION},
        {"aggregating for an interface other than IUnknown",
         CoCreateInstance(CLSID_TestAggregatable, outer, CLSCTX_INPROC_SERVER, IID_ICounted,
                          &object),
         CLASS_E_NOAGGREGATION},
        {"no place for the object",
         CoCreateInstance(CLSID_TestSystemClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          nullptr),
         E_POINTER},
        {"server information",
         CoGetClassObject(CLSID_TestSystemClass, CLSCTX_INPROC_SERVER, outer, IID_IClassFactory,
                          &object),
         E_INVALIDARG},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, c.expected) << c.what;
    }
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(counted->References(), 1);  // no failure kept a reference to the outer object
    EXPECT_FALSE(platform::RegisterSystemClass(CLSID_TestSystemClass, CreateCounted));

    // An aggregatable class receives the outer object.
    ComPtr<IUnknown> inner;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestAggregatable, outer, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&inner)),
        S_OK);
    EXPECT_EQ(g_lastOuter.load(), outer);

    // The class object: one identity whichever interface it is reached through.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_TestSystemClass, CLSCTX_INPROC_SERVER, nullptr,
                               IID_PPV_ARGS(&factory)),
              S_OK);
    ComPtr<IUnknown> identity, again;
    ASSERT_EQ(factory.As(&identity), S_OK);
    ComPtr<IClassFactory> back;
    ASSERT_EQ(identity.As(&back), S_OK);
    ASSERT_EQ(back.As(&again), S_OK);
    EXPECT_EQ(identity, again);
    EXPECT_EQ(back, factory);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
}

// ---------------------------------------------------------------------------------------------
// In-process servers

TEST_F(ComRuntime, ARegisteredServerIsCreatedFromItsPathUntilItIsUnregistered)
{
    ComPtr<IKvTestWidget> widget;
    EXPECT_EQ(CoCreateInstance(CLSID_KvComTestWidget, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&widget)),
              REGDB_E_CLASSNOTREG);

    Outcome registered = RunWithHome(m_home, Quoted(KV_COM_TEST_SERVER));
    EXPECT_EQ(registered.exitCode, 0) << registered.output;
    EXPECT_NE(registered.output.find("DllRegisterServer in"), std::string::npos);
    EXPECT_NE(registered.output.find("succeeded"), std::string::npos);

    // The server is registered by its file in Windows form, as the library itself names it.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT,
                            (ClassKey(CLSID_KvComTestWidget) + L"\\InprocServer32").c_str(), 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    WCHAR path[4096] = {};
    DWORD size = sizeof path - sizeof(WCHAR);
    EXPECT_EQ(
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(path), &size),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(std::wstring(path), platform::ToWindowsPath(KV_COM_TEST_SERVER));

    ASSERT_EQ(CoCreateInstance(CLSID_KvComTestWidget, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&widget)),
              S_OK);
    int answer = 0;
    EXPECT_EQ(widget->GetAnswer(&answer), S_OK);
    EXPECT_EQ(answer, 42);

    // Its class object answers as the server's own factory does, and the library is the one
    // already loaded.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_KvComTestWidget, CLSCTX_INPROC_SERVER, nullptr,
                               IID_PPV_ARGS(&factory)),
              S_OK);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(widget.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    HMODULE server = GetModuleHandleW(KV_COM_TEST_SERVER_NAME);
    ASSERT_NE(server, nullptr);
    auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(server, "DllCanUnloadNow"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);  // the widget and the factory are alive

    Outcome unregistered = RunWithHome(m_home, "/u " + Quoted(KV_COM_TEST_SERVER));
    EXPECT_EQ(unregistered.exitCode, 0) << unregistered.output;
    EXPECT_NE(unregistered.output.find("DllUnregisterServer in"), std::string::npos);
    ComPtr<IKvTestWidget> another;
    EXPECT_EQ(CoCreateInstance(CLSID_KvComTestWidget, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&another)),
              REGDB_E_CLASSNOTREG);
    // Objects made before stay usable: COM keeps the library loaded.
    EXPECT_EQ(widget->GetAnswer(&answer), S_OK);
}

TEST_F(ComRuntime, RegsvrReportsEveryWayItFails)
{
    struct Case {
        const char* what;
        std::string arguments;
        int exitCode;
        const char* says;
    } cases[] = {
        {"no library", "", 1, "usage"},
        {"two libraries", "a b", 1, "usage"},
        {"a missing file", Quoted(m_home + "/missing.ax"), 3, "could not be loaded"},
        {"a library without the entry point", Quoted(KV_PLATFORM_LIBRARY), 4,
         "has no DllRegisterServer"},
        {"unregistering without the entry point", "/u " + Quoted(KV_PLATFORM_LIBRARY), 4,
         "has no DllUnregisterServer"},
    };
    for (const Case& c : cases) {
        Outcome run = RunWithHome(m_home, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ": " << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.what << ": " << run.output;
    }
}

TEST_F(ComRuntime, BrokenRegistrationsFailWithTheirOwnErrors)
{
    const std::wstring server = platform::ToWindowsPath(KV_COM_TEST_SERVER);
    const std::wstring noExports = platform::ToWindowsPath(KV_PLATFORM_LIBRARY);
    struct Case {
        const char* what;
        GUID clsid;
        const wchar_t* path;  // the InprocServer32 default value; null: no such key
        HRESULT expected;
    } cases[] = {
        {"a class key without a server",
         {0x8B1F0C62, 0x3A5D, 0x4E71, {0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A, 0x7B, 0x10}},
         nullptr,
         REGDB_E_CLASSNOTREG},
        {"an empty server path",
         {0x8B1F0C62, 0x3A5D, 0x4E71, {0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A, 0x7B, 0x11}},
         L"",
         REGDB_E_CLASSNOTREG},
        {"a server file that does not exist",
         {0x8B1F0C62, 0x3A5D, 0x4E71, {0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A, 0x7B, 0x12}},
         L"C:\\nowhere\\missing.ax",
         CO_E_DLLNOTFOUND},
        {"a library without DllGetClassObject",
         {0x8B1F0C62, 0x3A5D, 0x4E71, {0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A, 0x7B, 0x13}},
         noExports.c_str(),
         CO_E_ERRORINDLL},
        {"a server that does not serve the class",
         {0x8B1F0C62, 0x3A5D, 0x4E71, {0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A, 0x7B, 0x14}},
         server.c_str(),
         CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const Case& c : cases) {
        RegisterServerPath(c.clsid, c.path);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
                  c.expected)
            << c.what;
        EXPECT_EQ(object, nullptr) << c.what;
    }

    // A server path stored as a number is no registration either.
    GUID numeric = {0x8B1F0C62, 0x3A5D, 0x4E71, {0xB0, 0xC9, 0x6D, 0x2E, 0x4F, 0x1A, 0x7B, 0x15}};
    RegisterServerPath(numeric, L"unused");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (ClassKey(numeric) + L"\\InprocServer32").c_str(), 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    DWORD number = 7;
    EXPECT_EQ(RegSetValueExW(key, nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number),
              ERROR_SUCCESS);
    RegCloseKey(key);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(numeric, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
}

// ---------------------------------------------------------------------------------------------
// GUID text

TEST(GuidText, ClassIdsRoundTripThroughTheirBracedForm)
{
    const GUID source = {
        0x9A098A17, 0x3953, 0x49FF, {0x9E, 0xC4, 0x12, 0xDD, 0xAE, 0x23, 0x68, 0x5D}};
    WCHAR text[40];
    EXPECT_EQ(StringFromGUID2(source, text, 38), 0);  // no room for the zero
    ASSERT_EQ(StringFromGUID2(source, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{9A098A17-3953-49FF-9EC4-12DDAE23685D}");

    CLSID parsed = GUID_NULL;
    EXPECT_EQ(CLSIDFromString(L"{9a098a17-3953-49ff-9ec4-12ddae23685d}", &parsed), NOERROR);
    EXPECT_EQ(parsed, source);

    const wchar_t* refused[] = {
        L"9A098A17-3953-49FF-9EC4-12DDAE23685D",     // no braces
        L"{9A098A17-3953-49FF-9EC4-12DDAE23685}",    // a digit short
        L"{9A098A17-3953-49FF-9EC4-12DDAE23685D}x",  // trailing text
        L"{9A098A17-3953-49FF-9EC412DDAE23685D0}",   // a dash missing
        L"{9A098A17-3953-49FF-9EC4-12DDAE23685G}",   // not a hex digit
        L"KESTROVAN.DualSource",                     // no program ids here
        L"",
    };
    for (const wchar_t* text : refused) {
        CLSID unchanged = source;
        EXPECT_EQ(CLSIDFromString(text, &unchanged), CO_E_CLASSSTRING) << std::wstring(text);
        EXPECT_EQ(unchanged, source);
    }
    EXPECT_EQ(CLSIDFromString(nullptr, &parsed), E_INVALIDARG);
}

}  // namespace
