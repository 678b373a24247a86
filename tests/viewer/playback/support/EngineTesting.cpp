#include "EngineTesting.h"

namespace enginetest {

namespace {

EngineWindows* g_windows = nullptr;  // the one set of windows alive, on the test's thread

const wchar_t* ClassName()
{
    static const bool registered = [] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.lpszClassName = L"EngineTestVideo";
        RegisterClassW(&windowClass);
        windowClass.lpfnWndProc = nullptr;
        return true;
    }();
    (void)registered;
    return L"EngineTestVideo";
}

}  // namespace

EngineWindows::EngineWindows()
{
    static const bool ownerRegistered = [] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &EngineWindows::OwnerProc;
        windowClass.lpszClassName = L"EngineTestOwner";
        return RegisterClassW(&windowClass) != 0;
    }();
    EXPECT_TRUE(ownerRegistered);
    g_windows = this;
    owner = CreateWindowExW(0, L"EngineTestOwner", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 960,
                            400, nullptr, nullptr, nullptr, nullptr);
    main = CreateWindowExW(0, ClassName(), L"main", WS_CHILD | WS_VISIBLE, 0, 0, 640, 360, owner,
                           nullptr, nullptr, nullptr);
    sub = CreateWindowExW(0, ClassName(), L"sub", WS_CHILD | WS_VISIBLE, 640, 0, 320, 180, owner,
                          nullptr, nullptr, nullptr);
    EXPECT_TRUE(owner && main && sub);
}

EngineWindows::~EngineWindows()
{
    DestroyWindow(owner);
    platform::testing::PumpMessages();
    g_windows = nullptr;
}

LRESULT CALLBACK EngineWindows::OwnerProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam)
{
    EngineWindows* self = g_windows;
    if (self && self->engine &&
        (message == WM_VIDEO_GRAPHNOTIFY || message == WM_VIDEO_END ||
         message == WM_VIDEO_SIZECHANGED)) {
        self->received.push_back(
            {message, self->engine->GetState(), self->engine->GetVideoTrackCount()});
        if (message == WM_VIDEO_GRAPHNOTIFY)
            self->engine->HandleGraphEvent(lParam);
        if (message == WM_VIDEO_END && self->onVideoEnd)
            self->onVideoEnd();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool EngineWindows::PumpUntil(const std::function<bool()>& done, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        platform::testing::PumpMessages();
        if (done())
            return true;
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(2);
    }
}

int EngineWindows::Count(UINT message) const
{
    int count = 0;
    for (const Received& entry : received)
        count += entry.message == message;
    return count;
}

ComPtr<IFilterGraph> GraphOf(IBaseFilter* filter)
{
    ComPtr<IFilterGraph> graph;
    FILTER_INFO info = {};
    if (filter && SUCCEEDED(filter->QueryFilterInfo(&info)) && info.pGraph)
        graph.Attach(info.pGraph);
    return graph;
}

bool InGraph(IFilterGraph* graph, const wchar_t* filterName)
{
    ComPtr<IBaseFilter> filter;
    return graph && SUCCEEDED(graph->FindFilterByName(filterName, &filter)) && filter;
}

std::wstring FeedingPin(IFilterGraph* graph, const wchar_t* filterName)
{
    ComPtr<IBaseFilter> filter;
    if (!graph || FAILED(graph->FindFilterByName(filterName, &filter)) || !filter)
        return L"";
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return L"";
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_OUTPUT;
        pin->QueryDirection(&direction);
        if (direction != PINDIR_INPUT)
            continue;
        ComPtr<IPin> upstream;
        if (FAILED(pin->ConnectedTo(&upstream)) || !upstream)
            return L"";
        PIN_INFO info = {};
        upstream->QueryPinInfo(&info);
        if (info.pFilter)
            info.pFilter->Release();
        return info.achName;
    }
    return L"";
}

RECT DestinationOf(IBaseFilter* renderer)
{
    RECT dest = {-1, -1, -1, -1};
    ComPtr<IVMRWindowlessControl9> control;
    if (renderer && SUCCEEDED(renderer->QueryInterface(IID_PPV_ARGS(&control))))
        control->GetVideoPosition(nullptr, &dest);
    return dest;
}

DWORD AspectOf(IBaseFilter* renderer)
{
    DWORD mode = 0xFFFFFFFF;
    ComPtr<IVMRWindowlessControl9> control;
    if (renderer && SUCCEEDED(renderer->QueryInterface(IID_PPV_ARGS(&control))))
        control->GetAspectRatioMode(&mode);
    return mode;
}

CFakeVideoRenderer* FakeOf(IBaseFilter* renderer)
{
    return dynamic_cast<CFakeVideoRenderer*>(renderer);
}

bool RegisterLibrary(const char* file, bool doRegister)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    const std::wstring path =
        platform::ToWindowsPath(std::string(build ? build : ".") + "/bin/" + file);
    HMODULE module = LoadLibraryW(path.c_str());
    auto call = module ? reinterpret_cast<LPFNREGISTERSERVER>(GetProcAddress(
                             module, doRegister ? "DllRegisterServer" : "DllUnregisterServer"))
                       : nullptr;
    return call && SUCCEEDED(call());
}

}  // namespace enginetest
