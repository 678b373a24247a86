// Test support: filters connected in a row without a graph manager and driven the way the
// filter graph drives them: every state change goes from the last filter (the renderer) to the
// first, and the events they post are recorded.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "NullRenderer.h"
#include "platform/dshow/streams.h"

namespace h264test {

class FilterChain {
public:
    // The filters from the source to the renderer; the chain holds a reference to each and
    // makes them members of its event recorder.
    explicit FilterChain(std::vector<IBaseFilter*> filters)
        : m_events(new dshowtest::CEventRecorder)
    {
        m_events->AddRef();
        int index = 0;
        for (IBaseFilter* filter : filters) {
            filter->AddRef();
            m_filters.push_back(filter);
            std::wstring name = L"Filter " + std::to_wstring(index++);
            filter->JoinFilterGraph(m_events, name.c_str());
        }
    }
    ~FilterChain()
    {
        Stop();
        // Connected pins hold their peers: break every connection so the filters can go.
        for (auto& [out, in] : m_connections) {
            out->Disconnect();
            in->Disconnect();
            out->Release();
            in->Release();
        }
        for (IBaseFilter* filter : m_filters) {
            filter->JoinFilterGraph(nullptr, nullptr);
            filter->Release();
        }
        m_events->Release();
    }
    FilterChain(const FilterChain&) = delete;
    FilterChain& operator=(const FilterChain&) = delete;

    HRESULT Connect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type = nullptr)
    {
        HRESULT hr = out->Connect(in, type);
        if (SUCCEEDED(hr)) {
            out->AddRef();
            in->AddRef();
            m_connections.emplace_back(out, in);
        }
        return hr;
    }

    HRESULT Pause()
    {
        return Each([](IBaseFilter* f) { return f->Pause(); });
    }
    HRESULT Run()
    {
        return Each([](IBaseFilter* f) { return f->Run(0); });
    }
    HRESULT Stop()
    {
        return Each([](IBaseFilter* f) { return f->Stop(); });
    }

    dshowtest::CEventRecorder* Events() { return m_events; }

private:
    template <class Step>
    HRESULT Each(Step step)
    {
        HRESULT first = S_OK;
        for (auto it = m_filters.rbegin(); it != m_filters.rend(); ++it) {
            HRESULT hr = step(*it);
            if (FAILED(hr) && SUCCEEDED(first))
                first = hr;
        }
        return first;
    }

    dshowtest::CEventRecorder* m_events;  // one reference
    std::vector<IBaseFilter*> m_filters;  // one reference each
    std::vector<std::pair<IPin*, IPin*>> m_connections;
};

// The filter's pin with the identifier ("In", "Out", "1"), one reference.
inline ComPtr<IPin> FindPin(IBaseFilter* filter, const wchar_t* id)
{
    ComPtr<IPin> pin;
    EXPECT_EQ(filter->FindPin(id, &pin), S_OK) << "no pin " << id;
    return pin;
}

}  // namespace h264test
