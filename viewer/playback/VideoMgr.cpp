#include "playback/VideoMgr.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "filters/dualsource/KVMP4DualSourceInfo.h"
#include "platform/kernel.h"
#include "playback/FileAnalysis.h"
#include "ui/DebugLog.h"

const FilterFileEntry FilterFileTable[3] = {
    {&CLSID_KVMP4DualSourceFilter, L"KVMP4DualSourceFilter.ax"},
    {&CLSID_KVH264DecodeFilter, L"KVH264DecodeFilter.ax"},
    {&CLSID_KVBrightnessFilter, L"kv_transform.dll"},
};

namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;  // media time: 100 ns
constexpr LONGLONG kTenSeconds = 10 * kUnitsPerSecond;

template <class... Args>
void Trace(const wchar_t* format, Args... args)
{
    LogWrite(FormatText(format, args...));
}

// The program's folder with a trailing backslash; empty when the program's path is unknown.
std::wstring ProgramFolder()
{
    std::vector<WCHAR> buffer(MAX_PATH);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            return std::wstring();
        if (length < buffer.size() - 1 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            std::wstring path(buffer.data(), length);
            size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Frees a media type an enumerator handed out.
void DeleteEnumeratedType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return;
    CoTaskMemFree(type->pbFormat);
    if (type->pUnk)
        type->pUnk->Release();
    CoTaskMemFree(type);
}

// The filter's pins in enumeration order with their directions; false, with the failing
// result in *result, when the enumeration or a direction query fails.
struct PinEntry {
    ComPtr<IPin> pin;
    PIN_DIRECTION direction;
};
bool ListPins(IBaseFilter* filter, std::vector<PinEntry>* pins, HRESULT* result)
{
    ComPtr<IEnumPins> pinEnum;
    HRESULT hr = filter->EnumPins(&pinEnum);
    if (FAILED(hr)) {
        *result = hr;
        return false;
    }
    for (;;) {
        ComPtr<IPin> pin;
        hr = pinEnum->Next(1, &pin, nullptr);
        if (FAILED(hr)) {
            *result = hr;
            return false;
        }
        if (hr != S_OK || !pin)
            return true;
        PinEntry entry{pin, PINDIR_INPUT};
        hr = pin->QueryDirection(&entry.direction);
        if (FAILED(hr)) {
            *result = hr;
            return false;
        }
        pins->push_back(entry);
    }
}

// The output pin whose name is `name`, or null.
ComPtr<IPin> OutputPinNamed(const std::vector<PinEntry>& pins, const wchar_t* name)
{
    for (const PinEntry& entry : pins) {
        if (entry.direction != PINDIR_OUTPUT)
            continue;
        PIN_INFO info = {};
        if (FAILED(entry.pin->QueryPinInfo(&info)))
            continue;
        if (info.pFilter)
            info.pFilter->Release();
        info.achName[MAX_PIN_NAME - 1] = 0;
        if (std::wcscmp(info.achName, name) == 0)
            return entry.pin;
    }
    return nullptr;
}

// The `index`th output pin (counted from 0) of the major type, or null.
ComPtr<IPin> OutputPinOfType(const std::vector<PinEntry>& pins, REFGUID major, int index)
{
    for (const PinEntry& entry : pins) {
        if (entry.direction == PINDIR_OUTPUT && HasMajorType(entry.pin.Get(), major) == S_OK &&
            index-- == 0) {
            return entry.pin;
        }
    }
    return nullptr;
}

// A device context of the window for one RepaintVideo, released after it.
void RepaintInto(IVMRWindowlessControl9* control, HWND window)
{
    HDC dc = GetDC(window);
    control->RepaintVideo(window, dc);
    if (dc)
        ReleaseDC(window, dc);
}

// Whether the renderer's input is connected: one without a stream has no picture to repaint.
bool IsFed(IBaseFilter* renderer)
{
    ComPtr<IEnumPins> pins;
    if (!renderer || FAILED(renderer->EnumPins(&pins)) || !pins)
        return false;
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_OUTPUT;
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT &&
            SUCCEEDED(pin->ConnectedTo(&peer)) && peer)
            return true;
        pin = nullptr;
    }
    return false;
}

ComPtr<IVMRWindowlessControl9> WindowlessControl(IBaseFilter* renderer)
{
    ComPtr<IVMRWindowlessControl9> control;
    if (renderer)
        renderer->QueryInterface(IID_PPV_ARGS(&control));
    return control;
}

RECT ClientRect(HWND window)
{
    RECT rect = {};
    if (window)
        GetClientRect(window, &rect);
    return rect;
}

}  // namespace

const wchar_t* FilterFileFor(REFCLSID clsid)
{
    for (const FilterFileEntry& entry : FilterFileTable) {
        if (*entry.clsid == clsid)
            return entry.file;
    }
    return nullptr;
}

BOOL CreateObject(LPCWSTR file, REFCLSID clsid, void** out)
{
    // The program's folder only: a bare name would also search the loader's usual places.
    const std::wstring path = ProgramFolder() + file;
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) {
        Trace(L"CreateObject : LoadLibrary [%ls] Failed.", file);
        return FALSE;
    }
    auto getClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, "DllGetClassObject"));
    if (!getClassObject) {
        Trace(L"CreateObject : GetProcAddress DllGetClassObject Failed [%ls]", file);
        return FALSE;
    }
    ComPtr<IUnknown> object;
    if (FAILED(getClassObject(clsid, IID_IUnknown, reinterpret_cast<void**>(&object))) ||
        !object) {
        return FALSE;
    }
    ComPtr<IClassFactory> factory;
    if (FAILED(object->QueryInterface(IID_PPV_ARGS(&factory)))) {
        Trace(L"CreateObject : IClassFactory E_NOINTERFACE [%ls] hResult(0x%x)", file,
              unsigned(E_NOINTERFACE));
        return FALSE;
    }
    HRESULT hr = factory->CreateInstance(nullptr, IID_IBaseFilter, out);
    if (FAILED(hr)) {
        Trace(L"CreateObject : CreateInstance IID_IBaseFilter Failed [%ls] hResult(0x%x)", file,
              unsigned(hr));
        return FALSE;
    }
    return TRUE;
}

int RoundedDurationSeconds(LONGLONG d)
{
    if (d < 20 * kUnitsPerSecond || d > 70 * kUnitsPerSecond)
        return int(float(d) / float(kUnitsPerSecond) + 0.5f);
    if (d >= 580000001 && d <= 619999999)
        return 60;
    return int(d / kUnitsPerSecond);
}

LONG VolumeToAttenuation(int volume)
{
    float f = float(double(volume) / 100.0);
    f = std::clamp(f, 0.0f, 1.0f);
    // A floor of -100 dB: log10 of c is -10, so 0 gives just above -10000.
    const double c = double(float(std::pow(10.0, -10.0)));
    return LONG(std::log10((1.0 - c) * double(f) + c) * 10.0 * 100.0);
}

HRESULT HasMajorType(IPin* pin, REFGUID majorType)
{
    ComPtr<IEnumMediaTypes> types;
    HRESULT hr = pin->EnumMediaTypes(&types);
    if (FAILED(hr))
        return hr;
    HRESULT found = S_FALSE;
    for (;;) {
        AM_MEDIA_TYPE* type = nullptr;
        hr = types->Next(1, &type, nullptr);
        if (FAILED(hr))
            return hr;
        if (hr != S_OK || !type)
            return found;
        if (type->majortype == majorType)
            found = S_OK;
        DeleteEnumeratedType(type);
    }
}

HRESULT IsVideoPin(IPin* pin)
{
    return HasMajorType(pin, MEDIATYPE_Video);
}

// ---------------------------------------------------------------------------------------------
// Object

CVideoMgr::CVideoMgr()
{
    m_bComInitialized = SUCCEEDED(CoInitialize(nullptr));
}

CVideoMgr::~CVideoMgr()
{
    if (m_pGraph)
        Close();
    m_pVideoRendererMain = nullptr;
    m_pVideoRendererSub = nullptr;
    if (m_bComInitialized)
        CoUninitialize();
}

int CVideoMgr::SetOwnerWnd(HWND owner)
{
    m_hOwnerWnd = owner;
    return 0;
}

int CVideoMgr::SetVideoWnd(HWND main, HWND sub)
{
    m_hMainWnd = main;
    m_hSubWnd = sub;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

BOOL CVideoMgr::OnMovieOpen(const std::wstring& path, BOOL singleFile, BOOL oneStream)
{
    Trace(L"Tessaly----->CVideoMgr::OnMovieOpen START");
    Trace(L"Tessaly----->FilePath: ");
    LogWrite(path);
    if (m_pSource)
        Close();

    CFileAnalysis* analysis = CFileAnalysis::GetInstance();
    const BOOL isMP4 = analysis->IsMP4Recording(path);
    CFileAnalysis::ReleaseInstance();

    try {
        BuildGraph(isMP4);
        SetupVideoRendererSettings(FALSE, FALSE);

        if (isMP4 && singleFile) {
            ComPtr<IKVMP4DualSourceInfo> info;
            HRESULT hr = m_pSource->QueryInterface(IID_PPV_ARGS(&info));
            if (FAILED(hr)) {
                std::wstring text = FormatText(
                    L"Error : Fail QueryInterface IKVMP4DualSourceInfo(0x%x).0", unsigned(hr));
                LogWrite(text);
                MessageBoxW(m_hOwnerWnd, text.c_str(), nullptr, MB_OK);
                throw OpenFailure{-1};
            }
            info->SetSingleFileMode(TRUE);
        }

        if (!LoadMovieFile(path))
            throw OpenFailure{-1};

        m_nVideoStreams = 0;
        m_bNoAudio = TRUE;
        IBaseFilter* upstream = nullptr;
        if (isMP4) {
            ComPtr<IKVMP4DualSourceInfo> info;
            ComPtr<IKVTrackInfo> tracks;
            HRESULT hr = m_pSource->QueryInterface(IID_PPV_ARGS(&info));
            const wchar_t* missing = L"Error : Fail QueryInterface IKVMP4DualSourceInfo(0x%x)";
            if (SUCCEEDED(hr)) {
                hr = m_pSource->QueryInterface(IID_PPV_ARGS(&tracks));
                missing = L"Error : Fail QueryInterface IKVTrackInfo(0x%x)";
            }
            if (FAILED(hr)) {
                std::wstring text = FormatText(missing, unsigned(hr));
                LogWrite(text);
                MessageBoxW(m_hOwnerWnd, text.c_str(), nullptr, MB_OK);
                throw OpenFailure{-1};
            }
            int front = 0;
            int rear = 0;
            info->GetChannelInfo(&front, &rear);
            m_nVideoStreams = rear ? 2 : 1;
            short audioTracks = 0;
            if (SUCCEEDED(tracks->GetAudioTrackCount(&audioTracks)) && audioTracks > 0)
                m_bNoAudio = FALSE;
            upstream = m_pSource.Get();
        } else {
            ConnectFilter(m_pSource.Get(), m_pAviSplitter.Get(), L"Source to AVI Splitter", 0);
            const int count = GetVideoStreamCount();
            if (count < 0) {
                ReportError(L"AVI Splitter Check Error", count, FALSE);
                throw OpenFailure{-3};
            }
            m_nVideoStreams = count;
            upstream = m_pAviSplitter.Get();
        }

        ConnectGraph(isMP4, oneStream ? 1 : m_nVideoStreams, upstream);
    } catch (const OpenFailure& failure) {
        Trace(L"Tessaly----->CVideoMgr::OnMovieOpen Failed(%d)", failure.code);
        // Nothing of the failed open may stay alive until the next one: a loaded source
        // filter keeps its reading threads. The graph object itself is kept for reuse.
        ReleaseFilters();
        m_nVideoStreams = 0;
        m_nState = STATE_STOP;
        SetupVideoRendererSettings(FALSE, TRUE);
        return FALSE;
    }

    SetVolume(m_nVolume);
    SetVideoSpeed(1.0f);
    SetVideoViewSize(1.0f);
    // The sub picture starts fitted to its window as well.
    m_rcSubDest = ClientRect(m_hSubWnd);
    PlacePicture(SubViewRenderer(), m_rcSubDest, m_hSubWnd, false);
    Trace(L"CVideoMgr::OnMovieOpen Init Value(Vol/Bri/Speed)");

    ComPtr<IMediaEventEx> events;
    if (SUCCEEDED(m_pGraph->QueryInterface(IID_PPV_ARGS(&events))))
        events->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hOwnerWnd), WM_VIDEO_GRAPHNOTIFY, 0);

    m_nState = STATE_PAUSE;
    if (m_bReverse) {
        Trace(L"Tessaly----->OpenVideo::SetReverseMode");
        SetReverseMode(m_bReverse);
    }
    Trace(L"Tessaly----->CVideoMgr::OnMovieOpen End");
    return TRUE;
}

void CVideoMgr::BuildGraph(BOOL isMP4)
{
    if (!m_pGraph) {
        CreateFilter(CLSID_FilterGraph, IID_IGraphBuilder, reinterpret_cast<void**>(&m_pGraph),
                     L"Graph Builder");
    }
    if (isMP4) {
        CreateFilter(CLSID_KVMP4DualSourceFilter, IID_IBaseFilter,
                     reinterpret_cast<void**>(&m_pSource), L"KV MP4 Dual Source Filter");
        AddFilter(m_pSource.Get(), L"DirectShow KV MP4 Dual Source");
    } else {
        CreateFilter(CLSID_AsyncReader, IID_IBaseFilter, reinterpret_cast<void**>(&m_pSource),
                     L"DirectShow Async File Source");
        AddFilter(m_pSource.Get(), L"DirectShow Async File Source");
        CreateFilter(CLSID_AviSplitter, IID_IBaseFilter,
                     reinterpret_cast<void**>(&m_pAviSplitter), L"DirectShow AVI Splitter");
        AddFilter(m_pAviSplitter.Get(), L"DirectShow AVI Splitter");
        CreateFilter(CLSID_ACMWrapper, IID_IBaseFilter,
                     reinterpret_cast<void**>(&m_pAudioWrapper), L"ACMWrapper");
        AddFilter(m_pAudioWrapper.Get(), L"ACM Audio Wrapper");
    }

    m_bAudioRendererFailed = FALSE;
    HRESULT hr = CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IBaseFilter, reinterpret_cast<void**>(&m_pAudioRenderer));
    if (FAILED(hr)) {
        Trace(L"Error : Fail Create DSoundRender(0x%x)", unsigned(hr));
        m_bAudioRendererFailed = TRUE;
    } else {
        Trace(L"PASS Create DSoundRender");
        AddFilter(m_pAudioRenderer.Get(), L"Audio Renderer");
    }

    CreateFilter(CLSID_KVH264DecodeFilter, IID_IBaseFilter,
                 reinterpret_cast<void**>(&m_pDecoderSub), L"KV Video Decoder Sub");
    AddFilter(m_pDecoderSub.Get(), L"KV Video Decoder Sub");
    CreateFilter(CLSID_KVH264DecodeFilter, IID_IBaseFilter,
                 reinterpret_cast<void**>(&m_pDecoderMain), L"KV Video Decoder Main");
    AddFilter(m_pDecoderMain.Get(), L"KV Video Decoder Main");

    if (!m_pVideoRendererSub) {
        CreateFilter(CLSID_VideoMixingRenderer9, IID_IBaseFilter,
                     reinterpret_cast<void**>(&m_pVideoRendererSub), L"Video Mixing Renderer Sub");
    }
    AddFilter(m_pVideoRendererSub.Get(), L"Video Mixing Renderer Sub");
    if (!m_pVideoRendererMain) {
        CreateFilter(CLSID_VideoMixingRenderer9, IID_IBaseFilter,
                     reinterpret_cast<void**>(&m_pVideoRendererMain),
                     L"Video Mixing Renderer Main");
    }
    AddFilter(m_pVideoRendererMain.Get(), L"Video Mixing Renderer Main");
}

void CVideoMgr::CreateFilter(REFCLSID clsid, REFIID iid, void** out, LPCWSTR label)
{
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
    if (FAILED(hr)) {
        if (const wchar_t* file = FilterFileFor(clsid))
            hr = CreateObject(file, clsid, out) ? S_OK : E_FAIL;
    }
    if (FAILED(hr)) {
        ReportError(FormatText(L"Failed to Create Filter '%ls'", label).c_str(), hr, TRUE);
        throw OpenFailure{-1};
    }
    Trace(L"PASS Create %ls", label);
}

void CVideoMgr::AddFilter(IBaseFilter* filter, LPCWSTR name)
{
    HRESULT hr = m_pGraph->AddFilter(filter, name);
    if (FAILED(hr)) {
        ReportError(name, hr, TRUE);
        throw OpenFailure{-2};
    }
    Trace(L"PASS AddFilter %ls", name);
}

void CVideoMgr::ConnectFilter(IBaseFilter* upstream, IBaseFilter* downstream, LPCWSTR label,
                              int outPinIndex)
{
    std::vector<PinEntry> pins;
    HRESULT hr = S_OK;
    if (!ListPins(upstream, &pins, &hr)) {
        ReportError(FormatText(L"Connection failed: %ls", label).c_str(), hr, FALSE);
        throw OpenFailure{-3};
    }
    ComPtr<IPin> out;
    int outputs = 0;
    for (const PinEntry& entry : pins) {
        if (entry.direction != PINDIR_OUTPUT)
            continue;
        out = entry.pin;
        if (outputs++ == outPinIndex)
            break;
    }
    ConnectPins(out.Get(), downstream, label);
}

void CVideoMgr::ConnectPins(IPin* out, IBaseFilter* downstream, LPCWSTR label)
{
    std::vector<PinEntry> pins;
    HRESULT hr = S_OK;
    ComPtr<IPin> in;
    if (ListPins(downstream, &pins, &hr)) {
        for (const PinEntry& entry : pins) {
            if (entry.direction == PINDIR_INPUT) {
                in = entry.pin;
                break;
            }
        }
        const wchar_t* step = nullptr;
        if (!out || !in) {
            hr = VFW_E_NOT_FOUND;
            step = out ? L"no input pin" : L"no output pin";
        } else if (FAILED(hr = m_pGraph->Disconnect(out))) {
            step = L"pGB->Disconnect(pOutPin)";
        } else if (FAILED(hr = m_pGraph->Disconnect(in.Get()))) {
            step = L"pGB->Disconnect(pInPin)";
        } else if (FAILED(hr = m_pGraph->Connect(out, in.Get()))) {
            step = L"pGB->Connect(pOutPin,pInPin)";
        } else {
            return;
        }
        ReportError(step, hr, FALSE);
    }
    ReportError(FormatText(L"Connection failed: %ls", label).c_str(), hr, FALSE);
    throw OpenFailure{-3};
}

void CVideoMgr::ConnectGraph(BOOL isMP4, int streams, IBaseFilter* upstream)
{
    // Each chain takes its pin by name (the dual source's "Front Video", "Rear Video" and
    // "Front Audio") or by media type (the AVI splitter's first and second video output and
    // its first sound output), so that a missing track never shifts another into its place.
    std::vector<PinEntry> pins;
    HRESULT hr = S_OK;
    if (!ListPins(upstream, &pins, &hr)) {
        ReportError(L"Connection failed: upstream pins", hr, FALSE);
        throw OpenFailure{-3};
    }
    auto videoPin = [&](int index) {
        if (isMP4)
            return OutputPinNamed(pins, index == 0 ? L"Front Video" : L"Rear Video");
        return OutputPinOfType(pins, MEDIATYPE_Video, index);
    };

    if (streams == 2) {
        Trace(L"Tessaly----->VIDEO STREAM 2");
        ConnectPins(videoPin(0).Get(), m_pDecoderMain.Get(), L"AVI Splitter to Decoder");
        ConnectFilter(m_pDecoderMain.Get(), m_pVideoRendererMain.Get(),
                      L"Decoder to Video Renderer", 0);
        ConnectPins(videoPin(1).Get(), m_pDecoderSub.Get(), L"Decoder 2 to AVI Splitter");
        ConnectFilter(m_pDecoderSub.Get(), m_pVideoRendererSub.Get(),
                      L"Decoder 2 to Video Renderer 2", 0);
    } else {
        Trace(L"Tessaly----->VIDEO STREAM 1");
        ConnectPins(videoPin(0).Get(), m_pDecoderMain.Get(), L"AVI Splitter to Decoder");
        ConnectFilter(m_pDecoderMain.Get(), m_pVideoRendererMain.Get(),
                      L"Decoder to Video Renderer", 0);
    }

    if (!m_bNoAudio && !m_bAudioRendererFailed) {
        // Only the front recording's sound is played; a front file without sound beside a
        // rear file with sound plays silently.
        ComPtr<IPin> audio = isMP4 ? OutputPinNamed(pins, L"Front Audio")
                                   : OutputPinOfType(pins, MEDIATYPE_Audio, 0);
        if (!audio) {
            m_bNoAudio = TRUE;
        } else if (isMP4) {
            ConnectPins(audio.Get(), m_pAudioRenderer.Get(),
                        streams == 2 ? L"AVI Splitter to Audio Wrapper"
                                     : L"Source to Audio Renderer");
        } else {
            ConnectPins(audio.Get(), m_pAudioWrapper.Get(), L"AVI Splitter to Audio Wrapper");
            ConnectFilter(m_pAudioWrapper.Get(), m_pAudioRenderer.Get(),
                          L"Audio Wrapper to Audio Renderer", 0);
        }
    }
    Trace(L"PASS Filter Connect");
}

BOOL CVideoMgr::LoadMovieFile(const std::wstring& path)
{
    ComPtr<IFileSourceFilter> file;
    if (FAILED(m_pSource->QueryInterface(IID_PPV_ARGS(&file)))) {
        ReportError(L"Fail QueryInterface IID_IFileSourceFilter", 1, TRUE);
        return FALSE;
    }
    // The path goes whole to the filter, whatever its length.
    HRESULT hr = file->Load(path.c_str(), nullptr);
    if (FAILED(hr)) {
        ReportError(L"Failed to Load File", hr, TRUE);
        return FALSE;
    }
    Trace(L"PASS Load Movie File");
    return TRUE;
}

int CVideoMgr::GetVideoStreamCount()
{
    std::vector<PinEntry> pins;
    HRESULT hr = S_OK;
    if (!ListPins(m_pAviSplitter.Get(), &pins, &hr))
        return hr;
    int count = 0;
    for (const PinEntry& entry : pins) {
        if (entry.direction != PINDIR_OUTPUT)
            continue;
        hr = IsVideoPin(entry.pin.Get());
        if (FAILED(hr))
            return hr;
        if (hr == S_OK) {
            ++count;
            continue;
        }
        // Only a sound output makes an audio branch; a text stream is no sound.
        hr = HasMajorType(entry.pin.Get(), MEDIATYPE_Audio);
        if (FAILED(hr))
            return hr;
        if (hr == S_OK)
            m_bNoAudio = FALSE;
    }
    return count;
}

void CVideoMgr::ReportError(LPCWSTR text, HRESULT code, BOOL showBox)
{
    std::wstring line = FormatText(L"Error : %ls (0x%x)", text, unsigned(code));
    LogWrite(line);
    if (showBox)
        MessageBoxW(m_hOwnerWnd, line.c_str(), nullptr, MB_OK);
}

void CVideoMgr::ReleaseFilters()
{
    if (m_pGraph) {
        for (IBaseFilter* filter :
             {m_pDecoderMain.Get(), m_pDecoderSub.Get(), m_pAviSplitter.Get(), m_pSource.Get(),
              m_pAudioWrapper.Get(), m_pAudioRenderer.Get(), m_pVideoRendererMain.Get(),
              m_pVideoRendererSub.Get()}) {
            if (filter)
                m_pGraph->RemoveFilter(filter);
        }
    }
    m_pAudioRenderer = nullptr;
    m_pAudioWrapper = nullptr;
    m_pDecoderMain = nullptr;
    m_pDecoderSub = nullptr;
    m_pAviSplitter = nullptr;
    m_pSource = nullptr;
}

BOOL CVideoMgr::Close()
{
    Trace(L"Tessaly-----> CVideoMgr::Close START");
    m_nState = STATE_STOP;
    if (!m_pGraph)
        return 1;
    ComPtr<IMediaEventEx> events;
    if (SUCCEEDED(m_pGraph->QueryInterface(IID_PPV_ARGS(&events))))
        events->SetNotifyWindow(0, 0, 0);
    Stop();
    m_pGraph->Abort();
    ReleaseFilters();
    Trace(L"Tessaly-----> CVideoMgr::OnClose End");
    m_pGraph = nullptr;
    m_nVideoStreams = 0;
    SetupVideoRendererSettings(FALSE, TRUE);
    return 1;
}

void CVideoMgr::SetupVideoRendererSettings(BOOL subOnly, BOOL detach)
{
    auto setup = [&](IBaseFilter* renderer, HWND window) {
        if (!renderer)
            return;
        ComPtr<IVMRFilterConfig9> config;
        if (FAILED(renderer->QueryInterface(IID_PPV_ARGS(&config))))
            return;
        config->SetRenderingMode(VMR9Mode_Windowless);
        config = nullptr;
        if (ComPtr<IVMRWindowlessControl9> control = WindowlessControl(renderer)) {
            if (detach) {
                control->SetVideoClippingWindow(nullptr);
            } else {
                control->SetVideoClippingWindow(window);
                control->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX);
            }
        }
    };
    if (!subOnly)
        setup(m_pVideoRendererMain.Get(), m_hMainWnd);
    Trace(L"CVideoMgr::SetupVideoRendererSettings FVR::QueryInterface(IID_IVMRFilterConfig)");
    setup(m_pVideoRendererSub.Get(), m_hSubWnd);
}

void CVideoMgr::SetupSubRendererSettings()
{
    SetupVideoRendererSettings(TRUE, TRUE);
}

// ---------------------------------------------------------------------------------------------
// Control

HRESULT CVideoMgr::Play()
{
    return RunOrPause(true);
}

HRESULT CVideoMgr::Pause()
{
    return RunOrPause(false);
}

HRESULT CVideoMgr::RunOrPause(bool run)
{
    const wchar_t* trace = run ? L"CVideoMgr::Play" : L"CVideoMgr::Pause";
    if (!m_pGraph) {
        Trace(trace);
        return 0;
    }
    ComPtr<IMediaControl> control;
    HRESULT hr = m_pGraph->QueryInterface(IID_PPV_ARGS(&control));
    if (FAILED(hr))
        return hr;
    hr = run ? control->Run() : control->Pause();
    Trace(trace);
    // A graph that refused keeps the engine in the state it had.
    if (FAILED(hr))
        return hr;
    m_nState = run ? STATE_PLAY : STATE_PAUSE;
    return 0;
}

HRESULT CVideoMgr::Stop()
{
    Trace(L"CVideoMgr::Stopping");
    m_nState = STATE_STOP;
    ComPtr<IMediaControl> control;
    if (!m_pGraph || FAILED(m_pGraph->QueryInterface(IID_PPV_ARGS(&control))))
        return 1;
    Trace(L"CVideoMgr::Stopped");
    // The zoom ends with the stop, and both pictures are fitted again to match it.
    m_fViewSize = 1.0f;
    ResetSize(m_nAspectMode);
    return control->Stop();
}

int CVideoMgr::GetDuration()
{
    ComPtr<IMediaSeeking> seeking;
    LONGLONG d = 0;
    if (!m_pGraph || FAILED(m_pGraph->QueryInterface(IID_PPV_ARGS(&seeking))) ||
        FAILED(seeking->GetDuration(&d))) {
        Trace(L"CVideoMgr::GetDuration");
        return 0;
    }
    return RoundedDurationSeconds(d);
}

int CVideoMgr::GetPosition()
{
    ComPtr<IMediaSeeking> seeking;
    LONGLONG position = 0;
    if (!m_pGraph || FAILED(m_pGraph->QueryInterface(IID_PPV_ARGS(&seeking))) ||
        FAILED(seeking->GetCurrentPosition(&position))) {
        Trace(L"CVideoMgr::GetPosition");
        return 0;
    }
    // The duration is rounded (up to 60 for 58 to 62 s); the position never passes it, so
    // the dialog never shows a time beyond the end.
    return std::clamp(int(position / kUnitsPerSecond), 0, GetDuration());
}

namespace {

void SeekTo(IGraphBuilder* graph, LONGLONG position)
{
    ComPtr<IMediaSeeking> seeking;
    if (graph && SUCCEEDED(graph->QueryInterface(IID_PPV_ARGS(&seeking)))) {
        seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                              AM_SEEKING_NoPositioning);
    }
}

// The graph's current position and duration in media time; false without IMediaSeeking.
bool ReadTimes(IGraphBuilder* graph, LONGLONG* current, LONGLONG* duration)
{
    ComPtr<IMediaSeeking> seeking;
    if (!graph || FAILED(graph->QueryInterface(IID_PPV_ARGS(&seeking))))
        return false;
    *current = 0;
    *duration = 0;
    seeking->GetCurrentPosition(current);
    seeking->GetDuration(duration);
    return true;
}

}  // namespace

void CVideoMgr::SetPosition(int percent)
{
    LONGLONG current = 0;
    LONGLONG duration = 0;
    if (!ReadTimes(m_pGraph.Get(), &current, &duration))
        return;
    percent = std::clamp(percent, 0, 100);
    SeekTo(m_pGraph.Get(), duration * percent / 100);
}

void CVideoMgr::SeekBackwards()
{
    if (m_nState != STATE_PLAY && m_nState != STATE_PAUSE)
        return;
    LONGLONG current = 0;
    LONGLONG duration = 0;
    if (!ReadTimes(m_pGraph.Get(), &current, &duration))
        return;
    SeekTo(m_pGraph.Get(), std::max<LONGLONG>(current - kTenSeconds, 0));
    Trace(L"CVideoMgr::SeekBackwards");
}

void CVideoMgr::SeekForwards()
{
    if (m_nState != STATE_PLAY && m_nState != STATE_PAUSE)
        return;
    LONGLONG current = 0;
    LONGLONG duration = 0;
    if (!ReadTimes(m_pGraph.Get(), &current, &duration))
        return;
    if (current > duration - kUnitsPerSecond)
        return;
    LONGLONG target = current + kTenSeconds;
    if (target > duration)
        target = duration - kUnitsPerSecond / 10;
    SeekTo(m_pGraph.Get(), target);
    Trace(L"CVideoMgr::SeekForwards");
}

void CVideoMgr::SetVideoSpeed(float rate)
{
    m_fSpeed = rate;
    if (m_pGraph) {
        ComPtr<IMediaPosition> position;
        if (SUCCEEDED(m_pGraph->QueryInterface(IID_PPV_ARGS(&position)))) {
            HRESULT hr = position->put_Rate(double(rate));
            if (hr == S_OK) {
                Trace(L"SetRate() S_OK");
            } else if (hr == E_INVALIDARG) {
                Trace(L"SetRate() E_INVALIDARG");
                double current = 0;
                position->get_Rate(&current);
                Trace(L"CVideoMgr::get_Rate(%f)", current);
            } else if (hr == E_NOTIMPL) {
                Trace(L"SetRate() E_NOTIMPL");
            }
        }
    }
    Trace(L"CVideoMgr::SetVideoSpeed(%f)", double(rate));
}

void CVideoMgr::SetVolume(int volume)
{
    m_nVolume = volume;
    ComPtr<IBasicAudio> audio;
    if (!m_pGraph || FAILED(m_pGraph->QueryInterface(IID_PPV_ARGS(&audio))))
        return;
    audio->put_Volume(VolumeToAttenuation(volume));
    Trace(L"CVideoMgr::SetVolume(%d)", volume);
}

void CVideoMgr::SetBrightness(int value)
{
    Trace(L"CVideoMgr::SetBrightness(%d)", value);
}

HRESULT CVideoMgr::HandleGraphEvent(LPARAM)
{
    if (!m_pGraph)
        return E_ABORT;
    ComPtr<IMediaEventEx> events;
    HRESULT hr = m_pGraph->QueryInterface(IID_PPV_ARGS(&events));
    if (FAILED(hr))
        return hr;
    // Our own reference to the event interface keeps the queue readable after Close has
    // released the graph.
    hr = S_OK;
    bool ended = false;
    LONG code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    while (SUCCEEDED(events->GetEvent(&code, &param1, &param2, 0))) {
        if (code == EC_COMPLETE) {
            Trace(L"CVideoMgr::HandleGraphEvent EC_COMPLETE");
            Close();
            ended = true;
        } else if (code == EC_PAUSED) {
            Trace(L"CVideoMgr::HandleGraphEvent EC_PAUSED");
            if (m_nState == STATE_PLAY)
                ReDrawVideo();
        } else {
            Trace(L"CVideoMgr::HandleGraphEvent %d (0x%x)", int(code), unsigned(code));
        }
        hr = events->FreeEventParams(code, param1, param2);
    }
    events = nullptr;
    // The owner learns of the end only once the old graph's queue is drained, so that the next
    // recording it opens in response starts from a finished event loop.
    if (ended)
        SendMessageW(m_hOwnerWnd, WM_VIDEO_END, 0, 0);
    return hr;
}

// ---------------------------------------------------------------------------------------------
// The view

IBaseFilter* CVideoMgr::MainViewRenderer() const
{
    return m_bReverse ? m_pVideoRendererSub.Get() : m_pVideoRendererMain.Get();
}

IBaseFilter* CVideoMgr::SubViewRenderer() const
{
    return m_bReverse ? m_pVideoRendererMain.Get() : m_pVideoRendererSub.Get();
}

void CVideoMgr::PlacePicture(IBaseFilter* renderer, const RECT& dest, HWND window, bool paint)
{
    if (ComPtr<IVMRWindowlessControl9> control = WindowlessControl(renderer)) {
        control->SetVideoPosition(nullptr, &dest);
        if (paint)
            RepaintInto(control.Get(), window);
    }
}

void CVideoMgr::Repaint(IBaseFilter* renderer, HWND window)
{
    // A renderer without a stream (the second one beside a recording with one video stream)
    // would only paint black over the picture the window draws itself in its place.
    if (!IsFed(renderer))
        return;
    if (ComPtr<IVMRWindowlessControl9> control = WindowlessControl(renderer))
        RepaintInto(control.Get(), window);
}

int CVideoMgr::SetReverseMode(BOOL reverse)
{
    Trace(L"Tessaly----->CVideoMgr::SetReverseMode START");
    if (m_nState == STATE_STOP) {
        m_bReverse = reverse;
        Trace(L"Tessaly----->CVideoMgr::SetReverseMode Return::STATE_STOP");
        return 0;
    }
    ComPtr<IVMRWindowlessControl9> main = WindowlessControl(m_pVideoRendererMain.Get());
    ComPtr<IVMRWindowlessControl9> sub = WindowlessControl(m_pVideoRendererSub.Get());
    if (main)
        main->SetVideoClippingWindow(reverse ? m_hSubWnd : m_hMainWnd);
    if (sub)
        sub->SetVideoClippingWindow(reverse ? m_hMainWnd : m_hSubWnd);
    m_bReverse = reverse;
    ResetSize(m_nAspectMode ? 1 : 0);
    Trace(L"Tessaly----->CVideoMgr::SetReverseMode END");
    return 0;
}

void CVideoMgr::SetVideoViewSize(float factor)
{
    Trace(L"Tessaly----->CVideoMgr::SetVideoViewSize START(%f)", double(factor));
    const RECT client = ClientRect(m_hMainWnd);
    const LONG width = client.right - client.left;
    const LONG height = client.bottom - client.top;
    m_rcMainDest = client;
    m_rcMainDest.right = LONG(float(width) * factor);
    m_rcMainDest.bottom = LONG(float(height) * factor);
    if (factor < 1.0f) {
        const LONG left = (width - m_rcMainDest.right) / 2;
        const LONG top = (height - m_rcMainDest.bottom) / 2;
        m_rcMainDest.left += left;
        m_rcMainDest.right += left;
        m_rcMainDest.top += top;
        m_rcMainDest.bottom += top;
    }
    if (ComPtr<IVMRWindowlessControl9> control = WindowlessControl(MainViewRenderer())) {
        control->SetVideoPosition(nullptr, &m_rcMainDest);
        if (factor < 1.0f)
            InvalidateRect(m_hMainWnd, nullptr, TRUE);
        else
            RepaintInto(control.Get(), m_hMainWnd);
        m_fViewSize = factor;
    }
    PostMessageW(m_hOwnerWnd, WM_VIDEO_SIZECHANGED, 0, 0);
    Trace(L"Tessaly----->CVideoMgr::SetVideoViewSize END");
}

int CVideoMgr::ResetSize(int aspectMode)
{
    Trace(L"Tessaly-----> CVideoMgr::ResetSize START");
    m_rcSubDest = ClientRect(m_hSubWnd);
    if (m_fViewSize != 1.0f) {
        // Zoomed: the sub picture (which may have been the zoomed one before a swap) fits its
        // window again in the mode in force, and the main picture keeps its zoom.
        if (ComPtr<IVMRWindowlessControl9> sub = WindowlessControl(SubViewRenderer())) {
            sub->SetAspectRatioMode(m_nAspectMode ? VMR_ARMODE_LETTER_BOX : VMR_ARMODE_NONE);
            sub->SetVideoPosition(nullptr, &m_rcSubDest);
        }
        SetVideoViewSize(m_fViewSize);
        return 0;
    }
    m_rcMainDest = ClientRect(m_hMainWnd);
    m_nAspectMode = aspectMode;
    const DWORD mode = aspectMode ? VMR_ARMODE_LETTER_BOX : VMR_ARMODE_NONE;
    if (ComPtr<IVMRWindowlessControl9> main = WindowlessControl(MainViewRenderer())) {
        main->SetAspectRatioMode(mode);
        main->SetVideoPosition(nullptr, &m_rcMainDest);
    }
    if (ComPtr<IVMRWindowlessControl9> sub = WindowlessControl(SubViewRenderer())) {
        sub->SetAspectRatioMode(mode);
        sub->SetVideoPosition(nullptr, &m_rcSubDest);
    }
    Trace(L"Tessaly-----> CVideoMgr::ResetSize END");
    return 0;
}

void CVideoMgr::MoveVideoPosByPercent(int x, int y)
{
    Trace(L"Tessaly----->CVideoMgr::MoveVideoPosByPercent START");
    const RECT client = ClientRect(m_hMainWnd);
    const LONG dx = ((m_rcMainDest.right - m_rcMainDest.left) - (client.right - client.left)) *
                    x / 100;
    const LONG dy = ((m_rcMainDest.bottom - m_rcMainDest.top) - (client.bottom - client.top)) *
                    y / 100;
    RECT moved = m_rcMainDest;
    OffsetRect(&moved, dx, -dy);
    PlacePicture(MainViewRenderer(), moved, m_hMainWnd, true);
    Trace(L"Tessaly----->CVideoMgr::MoveVideoPosByPercent END");
}

void CVideoMgr::MoveVideoPosByPixel(int dx, int dy)
{
    OffsetRect(&m_rcMainDest, -dx, -dy);
    PlacePicture(MainViewRenderer(), m_rcMainDest, m_hMainWnd, true);
}

void CVideoMgr::ReDrawVideo()
{
    Trace(L"Tessaly----->CVideoMgr::ReDrawVideo Start");
    Repaint(MainViewRenderer(), m_hMainWnd);
    Repaint(SubViewRenderer(), m_hSubWnd);
    Trace(L"Tessaly----->CVideoMgr::ReDrawVideo End");
}
