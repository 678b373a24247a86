// KVMP4DualSourceFilter.ax as an in-process server: what DllRegisterServer writes into the
// registry (kept in a temporary folder), creation by class identifier through COM, creation
// from the file by its bare name as the viewer does when the class is not registered, and
// unregistration.
#include <cstring>

#include "SourceTesting.h"
#include "platform/testing.h"

using namespace sourcetest;

namespace {

std::wstring ClassKey()
{
    return L"CLSID\\" + platform::GuidToString(CLSID_KVMP4DualSourceFilter);
}

std::wstring InstanceKey()
{
    return L"CLSID\\" + platform::GuidToString(CLSID_LegacyAmFilterCategory) + L"\\Instance\\" +
           platform::GuidToString(CLSID_KVMP4DualSourceFilter);
}

// A value's bytes; empty when the key or the value is missing.
std::vector<BYTE> ReadValue(const std::wstring& path, LPCWSTR name, DWORD* type = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> data(4096);
    DWORD size = DWORD(data.size());
    DWORD valueType = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &valueType, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return {};
    if (type)
        *type = valueType;
    data.resize(size);
    return data;
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

template <class T>
T At(const std::vector<BYTE>& bytes, size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

template <class Proc>
Proc Export(const char* name)
{
    return reinterpret_cast<Proc>(GetProcAddress(FilterLibrary(), name));
}

class DualSourceRegistration : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::SetHomeFolder(m_home.Path().string());
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override { CoUninitialize(); }

    TempFolder m_home;
};

}  // namespace

TEST_F(DualSourceRegistration, WritesTheServerAndTheFilterData)
{
    ASSERT_EQ(Export<LPFNREGISTERSERVER>("DllRegisterServer")(), S_OK);

    EXPECT_EQ(ReadString(ClassKey(), L""), L"KESTROVAN Black Box MP4 Dual Source");
    const std::wstring server = ClassKey() + L"\\InprocServer32";
    const std::string library = platform::ToNativePath(ReadString(server, L""));
    EXPECT_EQ(fs::path(library).filename(), "KVMP4DualSourceFilter.ax");
    EXPECT_TRUE(fs::equivalent(
        library, std::string(std::getenv("KV_BUILD_DIR")) + "/bin/KVMP4DualSourceFilter.ax"));
    EXPECT_EQ(ReadString(server, L"ThreadingModel"), L"Both");

    EXPECT_EQ(ReadString(InstanceKey(), L"FriendlyName"), L"KESTROVAN Black Box MP4 Dual Source");
    EXPECT_EQ(ReadString(InstanceKey(), L"CLSID"),
              platform::GuidToString(CLSID_KVMP4DualSourceFilter));
    const std::vector<BYTE> data = ReadValue(InstanceKey(), L"FilterData");
    ASSERT_EQ(data.size(), 12u + 4 * (8 + 32));
    EXPECT_EQ(At<DWORD>(data, 0), 1u);
    EXPECT_EQ(At<DWORD>(data, 4), DWORD(MERIT_DO_NOT_USE));
    EXPECT_EQ(At<DWORD>(data, 8), 4u);
    for (size_t pin = 0; pin < 4; ++pin) {
        SCOPED_TRACE(pin);
        const size_t at = 12 + pin * 40;
        EXPECT_EQ(At<DWORD>(data, at), DWORD(REG_PINFLAG_B_OUTPUT));
        EXPECT_EQ(At<DWORD>(data, at + 4), 1u);
        EXPECT_EQ(At<GUID>(data, at + 8), pin % 2 == 0 ? MEDIATYPE_Video : MEDIATYPE_Audio);
        EXPECT_EQ(At<GUID>(data, at + 24), MEDIASUBTYPE_None);
    }

    ASSERT_EQ(Export<LPFNREGISTERSERVER>("DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ReadString(ClassKey(), L""), L"<missing>");
    EXPECT_TRUE(ReadValue(InstanceKey(), L"FilterData").empty());
}

TEST_F(DualSourceRegistration, CreatedByClassIdentifierOnlyWhileRegistered)
{
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(CLSID_KVMP4DualSourceFilter, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              REGDB_E_CLASSNOTREG);

    ASSERT_EQ(Export<LPFNREGISTERSERVER>("DllRegisterServer")(), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_KVMP4DualSourceFilter, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    ComPtr<IFileSourceFilter> source = Query<IFileSourceFilter>(filter.Get());
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Load(Fixture(kPairFront).c_str(), nullptr), S_OK);
    EXPECT_EQ(Pins(filter.Get()).size(), 4u);
    EXPECT_EQ(Export<LPFNCANUNLOADNOW>("DllCanUnloadNow")(), S_FALSE) << "a filter lives";
    source = nullptr;
    filter = nullptr;
    EXPECT_EQ(Export<LPFNCANUNLOADNOW>("DllCanUnloadNow")(), S_OK);

    ASSERT_EQ(Export<LPFNREGISTERSERVER>("DllUnregisterServer")(), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_KVMP4DualSourceFilter, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              REGDB_E_CLASSNOTREG);
}

// Unregistered, the viewer loads the file by its bare name and asks its class object.
TEST_F(DualSourceRegistration, CreatedFromTheFileByItsBareName)
{
    HMODULE module = LoadLibraryW(L"KVMP4DualSourceFilter.ax");
    ASSERT_NE(module, nullptr);
    auto getClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    for (const char* hidden :
         {"DllMain", "DllEntryPoint", "g_Templates", "AMovieDllRegisterServer2"}) {
        EXPECT_EQ(GetProcAddress(module, hidden), nullptr) << hidden << " is not exported";
    }

    ComPtr<IUnknown> object;
    ASSERT_EQ(getClassObject(CLSID_KVMP4DualSourceFilter, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
              S_OK);
    ComPtr<IClassFactory> factory = Query<IClassFactory>(object.Get());
    ASSERT_TRUE(factory);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_KVMP4DualSourceFilter);
    FILTER_INFO info = {};
    EXPECT_EQ(filter->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);

    ComPtr<IUnknown> other;
    EXPECT_EQ(getClassObject(CLSID_FilterGraph, IID_IUnknown, reinterpret_cast<void**>(&other)),
              CLASS_E_CLASSNOTAVAILABLE);
}
