// KVH264DecodeFilter.ax as the viewer meets it: a library in the program's folder that shows
// only the four COM exports, registers as a filter that automatic graph building leaves alone,
// and makes a working decoder through its class factory, by class identifier or from the file.
#include <gtest/gtest.h>

#include "DecoderTesting.h"
#include "FilterChain.h"
#include "LibraryTesting.h"
#include "Playback.h"

using namespace h264test;

namespace {

typedef HRESULT(STDAPICALLTYPE* GetClassObjectProc)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* PlainProc)();

HMODULE LoadDecoderLibrary()
{
    HMODULE module = LoadLibraryW(LibraryPath("KVH264DecodeFilter.ax").c_str());
    EXPECT_NE(module, nullptr) << "KVH264DecodeFilter.ax does not load";
    return module;
}

// Plays normal.mp4 through a decoder made elsewhere: every picture must come out.
void ExpectDecodes(IBaseFilter* filter)
{
    Clip clip;
    ASSERT_TRUE(LoadClip("single/normal.mp4", &clip));
    auto* source = new CPushSource(clip.type, clip.bufferSize);
    auto* renderer = new dshowtest::CNullRenderer();
    FilterChain chain({source, filter, renderer});
    ASSERT_EQ(chain.Connect(source->OutputPin(), FindPin(filter, L"In").Get()), S_OK);
    ASSERT_EQ(chain.Connect(FindPin(filter, L"Out").Get(), renderer->InputPin()), S_OK);
    ASSERT_EQ(chain.Run(), S_OK);
    for (const ClipSample& sample : clip.samples) {
        PushOptions options;
        options.start = sample.start;
        options.stop = sample.start + clip.frameDuration;
        options.sync = sample.sync;
        ASSERT_EQ(source->Push(sample.data.data(), LONG(sample.data.size()), options), S_OK);
    }
    ASSERT_EQ(source->PushEndOfStream(), S_OK);
    EXPECT_EQ(renderer->SampleCount(), clip.samples.size());
}

}  // namespace

TEST(DecoderLibrary, ShowsOnlyTheComExports)
{
    HMODULE module = LoadDecoderLibrary();
    ASSERT_NE(module, nullptr);
    for (const char* name :
         {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
    }
    for (const char* name :
         {"DllMain", "DllEntryPoint", "AMovieDllRegisterServer2", "g_Templates", "g_cTemplates",
          "g_hInst", "_ZN6KVH26414CreateInstanceEP8IUnknownPi"}) {
        EXPECT_EQ(GetProcAddress(module, name), nullptr) << name;
    }
}

TEST(DecoderLibrary, RegistersAFilterThatOnlyACallerByIdentifierUses)
{
    TemporaryRegistry registry;
    HMODULE module = LoadDecoderLibrary();
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(Export<PlainProc>(module, "DllRegisterServer")(), S_OK);

    const std::wstring server = ClassKey(CLSID_KVH264DecodeFilter);
    EXPECT_EQ(ReadString(server, nullptr), L"KESTROVAN H264 Decoding Filter");
    EXPECT_EQ(ReadString(server + L"\\InprocServer32", nullptr),
              LibraryPath("KVH264DecodeFilter.ax"));
    EXPECT_EQ(ReadString(server + L"\\InprocServer32", L"ThreadingModel"), L"Both");

    const std::wstring instance = FilterInstanceKey(CLSID_KVH264DecodeFilter);
    EXPECT_EQ(ReadString(instance, L"FriendlyName"), L"KESTROVAN H264 Decoding Filter");
    const RegisteredFilter data = ReadFilterData(ReadValue(instance, L"FilterData"));
    EXPECT_EQ(data.merit, DWORD(MERIT_DO_NOT_USE));
    ASSERT_EQ(data.pins.size(), 2u);
    EXPECT_EQ(data.pins[0].flags, 0u);
    EXPECT_EQ(data.pins[1].flags, DWORD(REG_PINFLAG_B_OUTPUT | REG_PINFLAG_B_RENDERER));
    for (const RegisteredPin& pin : data.pins) {
        ASSERT_EQ(pin.types.size(), 1u);
        EXPECT_TRUE(IsEqualGUID(pin.types[0].first, MEDIATYPE_Video));
        EXPECT_TRUE(IsEqualGUID(pin.types[0].second, GUID_NULL));
    }

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(CoCreateInstance(CLSID_KVH264DecodeFilter, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&filter)),
                  S_OK);
        CLSID clsid = GUID_NULL;
        EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
        EXPECT_TRUE(IsEqualGUID(clsid, CLSID_KVH264DecodeFilter));
        ExpectDecodes(filter.Get());
    }

    ASSERT_EQ(Export<PlainProc>(module, "DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ReadString(server, nullptr), L"<missing>");
    EXPECT_EQ(ReadString(instance, L"FriendlyName"), L"<missing>");
    ComPtr<IBaseFilter> gone;
    EXPECT_EQ(CoCreateInstance(CLSID_KVH264DecodeFilter, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&gone)),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
}

// When the class is not registered the viewer loads the file and asks its class factory.
TEST(DecoderLibrary, MakesDecodersThroughItsClassFactory)
{
    HMODULE module = LoadDecoderLibrary();
    ASSERT_NE(module, nullptr);
    auto getClassObject = Export<GetClassObjectProc>(module, "DllGetClassObject");
    auto canUnloadNow = Export<PlainProc>(module, "DllCanUnloadNow");
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);

    ComPtr<IUnknown> other;
    EXPECT_EQ(getClassObject(CLSID_LegacyAmFilterCategory, IID_IUnknown,
                             reinterpret_cast<void**>(&other)),
              CLASS_E_CLASSNOTAVAILABLE);

    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(CLSID_KVH264DecodeFilter, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory)),
                  S_OK);
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)), S_OK);
        factory = nullptr;
        EXPECT_EQ(canUnloadNow(), S_FALSE);
        ExpectDecodes(filter.Get());
    }
    EXPECT_EQ(canUnloadNow(), S_OK);
}
