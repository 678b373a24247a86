// Test support for the system filters: making them as the viewer does (CoCreateInstance), the
// fixtures' Windows paths, pins by direction and index, graph events, and the viewer's filter
// libraries from the program's folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "RendererStats.h"
#include "platform/dshow/streams.h"
#include "platform/kernel.h"

namespace systest {

inline std::string Fixture(const std::string& relative)
{
    const char* folder = std::getenv("KV_FIXTURES");
    EXPECT_NE(folder, nullptr) << "KV_FIXTURES is not set";
    return std::string(folder ? folder : "/nonexistent") + "/" + relative;
}

inline std::wstring FixturePath(const std::string& relative)
{
    return platform::ToWindowsPath(Fixture(relative));
}

template <class T>
ComPtr<T> Make(REFCLSID clsid)
{
    ComPtr<T> object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)), S_OK);
    return object;
}

// The filter's pins of one direction, in enumeration order.
inline std::vector<ComPtr<IPin>> Pins(IBaseFilter* filter, PIN_DIRECTION direction)
{
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> pinEnum;
    if (!filter || FAILED(filter->EnumPins(&pinEnum)))
        return pins;
    ComPtr<IPin> pin;
    while (pinEnum->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction)
            pins.push_back(pin);
    }
    return pins;
}

inline ComPtr<IPin> OutPin(IBaseFilter* filter, size_t index)
{
    auto pins = Pins(filter, PINDIR_OUTPUT);
    return index < pins.size() ? pins[index] : nullptr;
}

inline ComPtr<IPin> InPin(IBaseFilter* filter)
{
    auto pins = Pins(filter, PINDIR_INPUT);
    return pins.empty() ? nullptr : pins[0];
}

inline std::wstring PinName(IPin* pin)
{
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info)))
        return L"";
    if (info.pFilter)
        info.pFilter->Release();
    return info.achName;
}

// Waits for an event of the code (other events are passed over); false when `ms` ran out.
inline bool WaitForEvent(IMediaEvent* events, LONG code, LONG ms, LONG_PTR* param1 = nullptr)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        LONG got = 0;
        LONG_PTR p1 = 0;
        LONG_PTR p2 = 0;
        if (events->GetEvent(&got, &p1, &p2, 20) == S_OK) {
            events->FreeEventParams(got, p1, p2);
            if (got == code) {
                if (param1)
                    *param1 = p1;
                return true;
            }
        }
    }
    return false;
}

// Waits until `done` holds, looking every few milliseconds; false when `ms` ran out.
template <class Predicate>
bool WaitUntil(Predicate done, int ms = 20000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline KvRendererCounts Counts(IUnknown* renderer)
{
    KvRendererCounts counts{};
    ComPtr<IKvRendererStats> stats;
    if (renderer && SUCCEEDED(renderer->QueryInterface(IID_PPV_ARGS(&stats))))
        stats->GetCounts(&counts);
    return counts;
}

inline std::vector<KvPresentation> Presentations(IUnknown* renderer)
{
    std::vector<KvPresentation> all(8192);
    ULONG count = 0;
    ComPtr<IKvRendererStats> stats;
    if (renderer && SUCCEEDED(renderer->QueryInterface(IID_PPV_ARGS(&stats))))
        stats->GetPresentations(all.data(), ULONG(all.size()), &count);
    all.resize(count);
    return all;
}

// COM on the test's thread for the life of the object.
struct ComScope {
    ComScope() { EXPECT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    ~ComScope() { CoUninitialize(); }
};

}  // namespace systest
