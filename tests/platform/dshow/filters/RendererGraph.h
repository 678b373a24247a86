// Test support for the system renderers: a viewer's graph on real recordings, built as the
// viewer builds it. MP4 pairs go through the dual source filter and two H.264 decoders (from
// their libraries in the program's folder) into two windowless video renderers; AVI recordings
// through the file reader, the AVI splitter and a decoder, their sound through the audio
// wrapper. The sound goes to the sound renderer, each picture into a window of its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SysFilterTesting.h"
#include "filters/dualsource/KVMP4DualSourceInfo.h"
#include "filters/h264decode/KVH264.h"
#include "platform/testing.h"
#include "platform/user.h"

namespace systest {

constexpr LONGLONG kUnits = 10000000;

// A recording the renderer tests' own fixture step wrote.
inline std::string RendererFixture(const std::string& name)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    return std::string(build ? build : ".") + "/fixtures-renderers/" + name;
}

// A filter made from its library in the program's folder, as the viewer makes the ones it
// ships.
inline ComPtr<IBaseFilter> FromLibrary(const char* file, REFCLSID clsid)
{
    typedef HRESULT(STDAPICALLTYPE * GetClassObject)(REFCLSID, REFIID, LPVOID*);
    const char* build = std::getenv("KV_BUILD_DIR");
    const std::wstring path =
        platform::ToWindowsPath(std::string(build ? build : ".") + "/bin/" + file);
    HMODULE module = LoadLibraryW(path.c_str());
    auto get = module ? reinterpret_cast<GetClassObject>(GetProcAddress(module, "DllGetClassObject"))
                      : nullptr;
    ComPtr<IClassFactory> factory;
    ComPtr<IBaseFilter> filter;
    if (!get || FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)))) {
        ADD_FAILURE() << "cannot make a filter from " << file;
        return nullptr;
    }
    return filter;
}

inline ComPtr<IPin> PinNamed(IBaseFilter* filter, const wchar_t* name)
{
    ComPtr<IPin> found;
    if (SUCCEEDED(filter->FindPin(name, &found)) && found)
        return found;
    for (PIN_DIRECTION d : {PINDIR_OUTPUT, PINDIR_INPUT})
        for (auto& pin : Pins(filter, d))
            if (PinName(pin.Get()) == name)
                return pin;
    return nullptr;
}

// A visible top-level window of the given client size that paints nothing itself.
class TestWindow {
public:
    TestWindow(int width, int height)
    {
        static const ATOM registered = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.lpszClassName = L"KvRendererTestWindow";
            return RegisterClassW(&wc);
        }();
        (void)registered;
        m_window = CreateWindowExW(0, L"KvRendererTestWindow", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                   width, height, nullptr, nullptr, nullptr, nullptr);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    ~TestWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    HWND Handle() const { return m_window; }

    std::vector<uint32_t> Pixels(SIZE* size = nullptr) const
    {
        std::vector<uint32_t> pixels;
        SIZE s{};
        platform::testing::ReadWindowPixels(m_window, &pixels, &s);
        if (size)
            *size = s;
        return pixels;
    }

private:
    HWND m_window = nullptr;
};

inline bool IsBlack(uint32_t pixel)
{
    return (pixel & 0xFFFFFF) == 0;
}

// The share of the pixels in the rectangle that are not black.
inline double LitShare(const std::vector<uint32_t>& pixels, SIZE size, RECT area)
{
    long lit = 0;
    long all = 0;
    for (LONG y = std::max(0L, long(area.top)); y < std::min(long(size.cy), long(area.bottom)); ++y)
        for (LONG x = std::max(0L, long(area.left)); x < std::min(long(size.cx), long(area.right));
             ++x) {
            ++all;
            lit += !IsBlack(pixels[size_t(y) * size_t(size.cx) + size_t(x)]);
        }
    return all ? double(lit) / double(all) : 0.0;
}

// The mean difference of the colour channels of two pixels (0..255).
inline double PixelDifference(uint32_t a, uint32_t b)
{
    double sum = 0;
    for (int shift : {0, 8, 16})
        sum += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
    return sum / 3;
}

class RendererGraph {
public:
    enum class Kind { Mp4Pair, Avi };

    // `file`: the pair's front file or the AVI file; windows for the front and rear pictures.
    RendererGraph(Kind kind, const std::string& file, SIZE mainSize = {320, 180},
                  SIZE subSize = {160, 90}, bool withSound = true)
        : m_windows{TestWindow(mainSize.cx, mainSize.cy), TestWindow(subSize.cx, subSize.cy)}
    {
        graph = Make<IGraphBuilder>(CLSID_FilterGraph);
        if (!graph)
            return;
        graph.As(&control);
        graph.As(&seeking);
        graph.As(&events);
        graph.As(&audio);
        sound = Make<IBaseFilter>(CLSID_DSoundRender);
        graph->AddFilter(sound.Get(), L"Audio Renderer");
        std::vector<ComPtr<IPin>> videoOutputs;
        ComPtr<IPin> soundOutput;
        if (kind == Kind::Mp4Pair) {
            source = FromLibrary("KVMP4DualSourceFilter.ax", CLSID_KVMP4DualSourceFilter);
            if (!source)
                return;
            graph->AddFilter(source.Get(), L"DirectShow KV MP4 Dual Source");
            ComPtr<IFileSourceFilter> load;
            source.As(&load);
            loaded = load->Load(platform::ToWindowsPath(file).c_str(), nullptr);
            if (FAILED(loaded))
                return;
            for (const wchar_t* name : {L"Front Video", L"Rear Video"})
                if (ComPtr<IPin> pin = PinNamed(source.Get(), name))
                    videoOutputs.push_back(pin);
            soundOutput = PinNamed(source.Get(), L"Front Audio");
        } else {
            source = Make<IBaseFilter>(CLSID_AsyncReader);
            splitter = Make<IBaseFilter>(CLSID_AviSplitter);
            graph->AddFilter(source.Get(), L"DirectShow Async File Source");
            graph->AddFilter(splitter.Get(), L"DirectShow AVI Splitter");
            ComPtr<IFileSourceFilter> load;
            source.As(&load);
            loaded = load->Load(platform::ToWindowsPath(file).c_str(), nullptr);
            if (FAILED(loaded))
                return;
            loaded = graph->Connect(OutPin(source.Get(), 0).Get(), InPin(splitter.Get()).Get());
            if (FAILED(loaded))
                return;
            for (auto& pin : Pins(splitter.Get(), PINDIR_OUTPUT)) {
                AM_MEDIA_TYPE* type = nullptr;
                ComPtr<IEnumMediaTypes> types;
                if (FAILED(pin->EnumMediaTypes(&types)) || types->Next(1, &type, nullptr) != S_OK)
                    continue;
                const GUID major = type->majortype;
                DeleteMediaType(type);
                if (IsEqualGUID(major, MEDIATYPE_Video) && videoOutputs.size() < 2)
                    videoOutputs.push_back(pin);
                else if (IsEqualGUID(major, MEDIATYPE_Audio) && !soundOutput)
                    soundOutput = pin;
            }
            if (soundOutput) {
                wrapper = Make<IBaseFilter>(CLSID_ACMWrapper);
                graph->AddFilter(wrapper.Get(), L"ACM Audio Wrapper");
                if (SUCCEEDED(graph->Connect(soundOutput.Get(), InPin(wrapper.Get()).Get())))
                    soundOutput = OutPin(wrapper.Get(), 0);
                else
                    soundOutput = nullptr;
            }
        }
        if (soundOutput && withSound)
            soundConnected = graph->Connect(soundOutput.Get(), InPin(sound.Get()).Get());
        for (size_t i = 0; i < videoOutputs.size(); ++i) {
            ComPtr<IBaseFilter> decoder =
                FromLibrary("KVH264DecodeFilter.ax", CLSID_KVH264DecodeFilter);
            ComPtr<IBaseFilter> renderer = Make<IBaseFilter>(CLSID_VideoMixingRenderer9);
            if (!decoder || !renderer)
                return;
            graph->AddFilter(decoder.Get(), i == 0 ? L"KV Video Decoder Main" : L"KV Video Decoder Sub");
            graph->AddFilter(renderer.Get(), i == 0 ? L"Renderer Main" : L"Renderer Sub");
            ComPtr<IVMRFilterConfig9> config;
            renderer.As(&config);
            config->SetRenderingMode(VMR9Mode_Windowless);
            config->SetNumberOfStreams(1);
            ComPtr<IVMRWindowlessControl9> windowless;
            renderer.As(&windowless);
            windowless->SetVideoClippingWindow(m_windows[i].Handle());
            RECT client{};
            GetClientRect(m_windows[i].Handle(), &client);
            windowless->SetVideoPosition(nullptr, &client);
            if (FAILED(graph->Connect(videoOutputs[i].Get(), PinNamed(decoder.Get(), L"In").Get())) ||
                FAILED(graph->Connect(PinNamed(decoder.Get(), L"Out").Get(),
                                      InPin(renderer.Get()).Get()))) {
                return;  // refused: not built
            }
            decoders.push_back(decoder);
            videos.push_back(renderer);
            controls.push_back(windowless);
        }
        built = true;
    }

    ~RendererGraph()
    {
        if (control)
            control->Stop();
    }

    HWND Window(size_t i) const { return m_windows[i].Handle(); }
    const TestWindow& TestWindowOf(size_t i) const { return m_windows[i]; }

    // Takes events until EC_COMPLETE; false when none came within `ms`.
    bool WaitForComplete(LONG ms) { return WaitForEvent(events.Get(), EC_COMPLETE, ms); }

    // Waits until every video renderer presented more than it had in `before`.
    bool WaitForPictures(const std::vector<LONG>& before, int ms = 20000)
    {
        return WaitUntil(
            [&] {
                for (size_t i = 0; i < videos.size(); ++i)
                    if (Counts(videos[i].Get()).presented <= before[i])
                        return false;
                return true;
            },
            ms);
    }
    std::vector<LONG> Presented()
    {
        std::vector<LONG> counts;
        for (auto& v : videos)
            counts.push_back(Counts(v.Get()).presented);
        return counts;
    }
    void ResetStats()
    {
        for (auto& v : videos)
            ResetStatsOf(v.Get());
        ResetStatsOf(sound.Get());
    }
    static void ResetStatsOf(IUnknown* renderer)
    {
        ComPtr<IKvRendererStats> stats;
        if (renderer && SUCCEEDED(renderer->QueryInterface(IID_PPV_ARGS(&stats))))
            stats->Reset();
    }

    HRESULT SeekTo(LONGLONG position)
    {
        return seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                     AM_SEEKING_NoPositioning);
    }

    // Milliseconds a call took.
    template <class Call>
    static double Timed(Call call)
    {
        const auto start = std::chrono::steady_clock::now();
        call();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }

    bool built = false;
    HRESULT loaded = E_FAIL;
    HRESULT soundConnected = E_FAIL;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IMediaEvent> events;
    ComPtr<IBasicAudio> audio;
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> splitter;
    ComPtr<IBaseFilter> wrapper;
    ComPtr<IBaseFilter> sound;
    std::vector<ComPtr<IBaseFilter>> decoders;
    std::vector<ComPtr<IBaseFilter>> videos;
    std::vector<ComPtr<IVMRWindowlessControl9>> controls;

private:
    TestWindow m_windows[2];
};

// How late each presentation was (its clock time minus its sample's time), milliseconds.
inline std::vector<double> Lateness(const std::vector<KvPresentation>& presentations)
{
    std::vector<double> late;
    for (const auto& p : presentations)
        late.push_back(double(p.clockTime - p.sampleStart) / 10000.0);
    return late;
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace systest
