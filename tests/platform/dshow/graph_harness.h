// Filters and a clock for the filter graph tests.
//
// CTestSource is a CSource whose pins (CTestStream) each deliver one sample per second of media
// time, stamped from the last seek position and divided by the rate as a file source does, and
// answer IMediaSeeking themselves, counting every seek and rate change they receive. CTestClock
// is a reference clock that moves only when the test moves it. CLoggingRenderer is the null
// renderer with its state changes written to a shared log, so that tests see the order in which
// the graph changes the filters' states.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DrivenClock.h"
#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/dshow/streams.h"
#include "support/NullRenderer.h"

namespace graphtest {

constexpr REFERENCE_TIME kSecond = 10000000;

// The order of the state changes that filters received, shared by the filters of one graph.
class StateLog {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_entries.push_back(entry);
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_entries;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_entries.clear();
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_entries;  // guarded by m_lock
};

// The reference clock the tests drive.
using CTestClock = dshowtest::CDrivenClock;

class CTestSource;

// One output pin of the test source.
class CTestStream final : public CSourceStream, public CMediaTimeSeeking {
public:
    CTestStream(CTestSource* filter, LPCWSTR name, REFERENCE_TIME duration, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // What the pin received through IMediaSeeking.
    int SeekCount() const { return m_seeks.load(); }
    int RateCount() const { return m_rates.load(); }
    LONGLONG LastSeek();
    DWORD LastSeekFlags();
    double LastRate();
    // Streaming threads this pin started and ended.
    int ThreadsStarted() const { return m_threadsStarted.load(); }
    int ThreadsEnded() const { return m_threadsEnded.load(); }
    bool HasThread() { return ThreadExists(); }
    // Called at the start of each SetPositions, on the caller's thread.
    void OnSeek(std::function<void()> hook) { m_onSeek = std::move(hook); }

    // IMediaSeeking
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;

protected:
    HRESULT GetMediaType(CMediaType* mediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    HRESULT OnThreadStartPlay() override;

private:
    // Flushes downstream and starts the streaming loop again from the seek position, when the
    // streaming thread exists.
    void Restart();

    const REFERENCE_TIME m_duration;
    std::mutex m_positionLock;
    REFERENCE_TIME m_seekStart = 0;  // guarded by m_positionLock
    REFERENCE_TIME m_next = 0;       // media time of the next sample; m_positionLock
    double m_rate = 1.0;             // guarded by m_positionLock
    LONGLONG m_lastSeek = -1;        // guarded by m_positionLock
    DWORD m_lastSeekFlags = 0;       // guarded by m_positionLock
    double m_lastRate = 0;           // guarded by m_positionLock
    std::atomic<int> m_seeks{0};
    std::atomic<int> m_rates{0};
    std::atomic<int> m_threadsStarted{0};
    std::atomic<int> m_threadsEnded{0};
    std::function<void()> m_onSeek;  // set by the test before the graph seeks
};

// A source with one pin per duration given, named "Out 1", "Out 2", ...
class CTestSource final : public CSource {
public:
    CTestSource(std::vector<REFERENCE_TIME> durations, StateLog* log);

    CTestStream* Stream(int index) { return static_cast<CTestStream*>(GetPin(index)); }
    IPin* Pin(int index) { return static_cast<IPin*>(Stream(index)); }

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;

private:
    StateLog* m_log;
};

// The null renderer with its state changes logged as "<name> Pause" and so on.
class CLoggingRenderer : public dshowtest::CNullRenderer {
public:
    CLoggingRenderer(std::string name, StateLog* log) : m_name(std::move(name)), m_log(log) {}

    HRESULT STDMETHODCALLTYPE Stop() override
    {
        if (m_log)
            m_log->Add(m_name + " Stop");
        return CNullRenderer::Stop();
    }
    HRESULT STDMETHODCALLTYPE Pause() override
    {
        if (m_log)
            m_log->Add(m_name + " Pause");
        return CNullRenderer::Pause();
    }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override
    {
        if (m_log)
            m_log->Add(m_name + " Run");
        return CNullRenderer::Run(start);
    }

private:
    std::string m_name;
    StateLog* m_log;
};

}  // namespace graphtest
