// Test helpers for the dual source filter: the recordings mkcard writes into $KV_FIXTURES,
// folders of copied or damaged recordings, the filter created from its library file as the
// viewer does, and a chain of the filter's pins into recording null renderers, run without a
// filter graph.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KVMP4DualSourceInfo.h"
#include "NullRenderer.h"
#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/kernel.h"

namespace sourcetest {

namespace fs = std::filesystem;

constexpr REFERENCE_TIME kSecond = 10000000;

inline std::string Native(const std::string& relative)
{
    const char* folder = std::getenv("KV_FIXTURES");
    EXPECT_NE(folder, nullptr) << "KV_FIXTURES is not set";
    return std::string(folder ? folder : "/nonexistent") + "/" + relative;
}

// A fixture file as the system sees it: a Windows path.
inline std::wstring Fixture(const std::string& relative)
{
    return platform::ToWindowsPath(Native(relative));
}

// The front and rear of one moment, as the card holds them.
const std::string kPairFront = "card/cont_rec/REC_2026_05_14_08_30_00_F.mp4";  // AAC 48 kHz
const std::string kPairRear = "card/cont_rec/REC_2026_05_14_08_30_00_R.mp4";   // AAC 44.1 kHz
const std::string kSilentRearFront = "card/cont_rec/REC_2026_05_14_08_31_00_F.mp4";
const std::string kSilentRearRear = "card/cont_rec/REC_2026_05_14_08_31_00_R.mp4";  // no sound
const std::string kFrontOnly = "card/cont_rec/REC_2026_05_14_08_32_00_F.mp4";
const std::string kRearOnly = "card/evt_rec/REC_2026_05_14_08_34_00_R.mp4";

// A folder of its own under the build tree, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder()
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        fs::path base = fs::path(build ? build : "/tmp") / "test-tmp";
        fs::create_directories(base);
        std::string pattern = (base / "dualsource-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
        m_path = mkdtemp(name.data()) ? fs::path(name.data()) : fs::path();
        EXPECT_FALSE(m_path.empty());
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& Path() const { return m_path; }
    // Copies a fixture under a new name and returns the copy's Windows path.
    std::wstring Copy(const std::string& fixture, const std::string& name) const
    {
        fs::copy_file(Native(fixture), m_path / name, fs::copy_options::overwrite_existing);
        return Windows(name);
    }
    std::wstring Write(const std::string& name, const std::vector<char>& bytes) const
    {
        std::ofstream out(m_path / name, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        return Windows(name);
    }
    std::wstring Windows(const std::string& name) const
    {
        return platform::ToWindowsPath((m_path / name).string());
    }

private:
    fs::path m_path;
};

inline std::vector<char> ReadBytes(const std::string& native)
{
    std::ifstream in(native, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The filter library, loaded by its path in the build tree; it stays loaded, as in the viewer.
inline HMODULE FilterLibrary()
{
    const char* build = std::getenv("KV_BUILD_DIR");
    EXPECT_NE(build, nullptr) << "KV_BUILD_DIR is not set";
    static HMODULE module = LoadLibraryW(
        platform::ToWindowsPath(std::string(build ? build : "") + "/bin/KVMP4DualSourceFilter.ax")
            .c_str());
    EXPECT_NE(module, nullptr);
    return module;
}

// A new filter through the library's class factory.
inline ComPtr<IBaseFilter> CreateSource()
{
    ComPtr<IBaseFilter> filter;
    HMODULE module = FilterLibrary();
    if (!module)
        return filter;
    auto getClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, "DllGetClassObject"));
    EXPECT_NE(getClassObject, nullptr);
    if (!getClassObject)
        return filter;
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(CLSID_KVMP4DualSourceFilter, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
              S_OK);
    if (!factory)
        return filter;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    return filter;
}

template <class T>
ComPtr<T> Query(IUnknown* object)
{
    ComPtr<T> result;
    if (object)
        object->QueryInterface(IID_PPV_ARGS(&result));
    return result;
}

inline std::vector<ComPtr<IPin>> Pins(IBaseFilter* filter)
{
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> pinEnum;
    if (FAILED(filter->EnumPins(&pinEnum)))
        return pins;
    IPin* pin = nullptr;
    while (pinEnum->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> held;
        held.Attach(pin);
        pins.push_back(held);
    }
    return pins;
}

inline std::wstring PinName(IPin* pin)
{
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info)))
        return L"<no info>";
    if (info.pFilter)
        info.pFilter->Release();
    return info.achName;
}

inline std::vector<std::wstring> PinNames(IBaseFilter* filter)
{
    std::vector<std::wstring> names;
    for (const ComPtr<IPin>& pin : Pins(filter))
        names.push_back(PinName(pin.Get()));
    return names;
}

// A loaded filter, or a failure recorded in the test.
inline ComPtr<IBaseFilter> LoadSource(const std::wstring& path, bool singleFile = false)
{
    ComPtr<IBaseFilter> filter = CreateSource();
    if (!filter)
        return filter;
    if (singleFile)
        Query<IKVMP4DualSourceInfo>(filter.Get())->SetSingleFileMode(TRUE);
    EXPECT_EQ(Query<IFileSourceFilter>(filter.Get())->Load(path.c_str(), nullptr), S_OK);
    return filter;
}

// The filter's pins, each connected straight to a recording null renderer, with the filters
// run and stopped by hand in the graph's order (renderers first when stopping, the source last
// when starting). Events go to an event recorder that stands in for the graph.
class Chain {
public:
    explicit Chain(ComPtr<IBaseFilter> source) : m_source(std::move(source))
    {
        m_events = new dshowtest::CEventRecorder();
        m_events->AddRef();
        m_source->JoinFilterGraph(m_events, L"Source");
        for (const ComPtr<IPin>& pin : Pins(m_source.Get())) {
            auto* renderer = new dshowtest::CNullRenderer();
            renderer->NonDelegatingAddRef();
            renderer->JoinFilterGraph(m_events, L"Renderer");
            m_renderers.push_back(renderer);
            m_outputs.push_back(pin);
        }
    }
    ~Chain()
    {
        Stop();
        for (size_t i = 0; i < m_outputs.size(); ++i) {
            m_outputs[i]->Disconnect();
            m_renderers[i]->InputPin()->Disconnect();
            m_renderers[i]->JoinFilterGraph(nullptr, nullptr);
            m_renderers[i]->NonDelegatingRelease();
        }
        m_source->JoinFilterGraph(nullptr, nullptr);
        m_events->Release();
    }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    // Connects the pins of these indexes (every pin when empty).
    void Connect(std::vector<size_t> which = {})
    {
        if (which.empty()) {
            for (size_t i = 0; i < m_outputs.size(); ++i)
                which.push_back(i);
        }
        for (size_t i : which) {
            ASSERT_LT(i, m_outputs.size());
            ASSERT_EQ(m_outputs[i]->Connect(m_renderers[i]->InputPin(), nullptr), S_OK)
                << "pin " << i;
        }
    }

    void Pause()
    {
        for (dshowtest::CNullRenderer* renderer : m_renderers)
            ASSERT_EQ(renderer->Pause(), S_OK);
        ASSERT_EQ(m_source->Pause(), S_OK);
    }
    void Run()
    {
        for (dshowtest::CNullRenderer* renderer : m_renderers)
            ASSERT_EQ(renderer->Run(0), S_OK);
        ASSERT_EQ(m_source->Run(0), S_OK);
    }
    void Stop()
    {
        for (dshowtest::CNullRenderer* renderer : m_renderers)
            renderer->Stop();
        m_source->Stop();
    }

    IBaseFilter* Source() { return m_source.Get(); }
    IPin* Output(size_t i) { return m_outputs[i].Get(); }
    ComPtr<IMediaSeeking> Seeking(size_t i) { return Query<IMediaSeeking>(m_outputs[i].Get()); }
    dshowtest::CNullRenderer* Renderer(size_t i) { return m_renderers[i]; }
    dshowtest::CEventRecorder* Events() { return m_events; }
    size_t Size() const { return m_outputs.size(); }

private:
    ComPtr<IBaseFilter> m_source;
    dshowtest::CEventRecorder* m_events = nullptr;  // one reference
    std::vector<ComPtr<IPin>> m_outputs;
    std::vector<dshowtest::CNullRenderer*> m_renderers;  // one reference each
};

}  // namespace sourcetest
