// The filter graph manager playing a graph: a two-pin test source feeding two null renderers,
// with a third renderer left unconnected, on a clock the test drives. State changes and their
// order, the streaming threads at Stop, EC_COMPLETE and EC_PAUSED, seeks and rates reaching the
// source pins, the position, the event queue and its notify window, volume and the clock.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dshow/graph/FilterGraph.h"
#include "graph_harness.h"
#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

using graphtest::CLoggingRenderer;
using graphtest::CTestClock;
using graphtest::CTestSource;
using graphtest::kSecond;
using graphtest::StateLog;
using platform::dshow::kRunLatency;

constexpr REFERENCE_TIME kClockStart = 1000 * kSecond;
constexpr LONG kWait = 20000;  // milliseconds; only a failing test waits this long

struct Event {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
};

// A renderer that takes its time to complete a pause, until the test lets it.
class CCueingRenderer final : public CLoggingRenderer {
public:
    CCueingRenderer() : CLoggingRenderer("cueing", nullptr) {}

    void Cue()
    {
        {
            std::lock_guard<std::mutex> guard(m_cueLock);
            m_cued = true;
        }
        m_cueChanged.notify_all();
    }

    HRESULT STDMETHODCALLTYPE Pause() override
    {
        HRESULT hr = CLoggingRenderer::Pause();
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> guard(m_cueLock);
        return m_cued ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override
    {
        if (!state)
            return E_POINTER;
        *state = m_State;
        if (*state != State_Paused)
            return S_OK;
        std::unique_lock<std::mutex> guard(m_cueLock);
        m_cueChanged.wait_for(guard, std::chrono::milliseconds(timeout), [&] { return m_cued; });
        return m_cued ? S_OK : VFW_S_STATE_INTERMEDIATE;
    }

private:
    std::mutex m_cueLock;
    std::condition_variable m_cueChanged;
    bool m_cued = false;  // guarded by m_cueLock
};

// A renderer with a volume control, as the sound renderer has.
class CAudioRenderer final : public CLoggingRenderer, public IBasicAudio {
public:
    CAudioRenderer() : CLoggingRenderer("audio", nullptr) {}

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IBasicAudio)
            return GetInterface(static_cast<IBasicAudio*>(this), object);
        return CLoggingRenderer::NonDelegatingQueryInterface(iid, object);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override
    {
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE put_Volume(LONG volume) override
    {
        if (volume < -10000 || volume > 0)
            return E_INVALIDARG;
        m_volume = volume;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Volume(LONG* volume) override
    {
        *volume = m_volume;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Balance(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Balance(LONG*) override { return E_NOTIMPL; }

    std::atomic<LONG> m_volume{0};
};

// A renderer that offers a clock, as the sound renderer does.
class CClockRenderer final : public CLoggingRenderer {
public:
    CClockRenderer() : CLoggingRenderer("clock", nullptr), m_clock(new CTestClock(kClockStart)) {}
    ~CClockRenderer() override { m_clock->Release(); }

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IReferenceClock)
            return m_clock->QueryInterface(iid, object);
        return CLoggingRenderer::NonDelegatingQueryInterface(iid, object);
    }

    IReferenceClock* Clock() { return m_clock; }

private:
    CTestClock* m_clock;  // one reference
};

ComPtr<IBaseFilter> Filter(CBaseFilter* filter)
{
    return ComPtr<IBaseFilter>(filter);
}

class GraphPlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&graph)),
                  S_OK);
        ASSERT_EQ(graph.As(&control), S_OK);
        ASSERT_EQ(graph.As(&seeking), S_OK);
        ASSERT_EQ(graph.As(&position), S_OK);
        ASSERT_EQ(graph.As(&events), S_OK);

        source = new CTestSource({5 * kSecond, 3 * kSecond}, &log);
        front = new CLoggingRenderer("front", &log);
        rear = new CLoggingRenderer("rear", &log);
        spare = new CLoggingRenderer("spare", &log);
        filters = {Filter(source), Filter(front), Filter(rear), Filter(spare)};
        ASSERT_EQ(graph->AddFilter(filters[0].Get(), L"Source"), S_OK);
        ASSERT_EQ(graph->AddFilter(filters[1].Get(), L"Front"), S_OK);
        ASSERT_EQ(graph->AddFilter(filters[2].Get(), L"Rear"), S_OK);
        ASSERT_EQ(graph->AddFilter(filters[3].Get(), L"Spare"), S_OK);
        ASSERT_EQ(graph->Connect(source->Pin(0), front->InputPin()), S_OK);
        ASSERT_EQ(graph->Connect(source->Pin(1), rear->InputPin()), S_OK);

        clock = new CTestClock(kClockStart);
        ComPtr<IMediaFilter> media;
        ASSERT_EQ(graph.As(&media), S_OK);
        ASSERT_EQ(media->SetSyncSource(clock), S_OK);
    }
    void TearDown() override
    {
        if (control)
            control->Stop();
        control = nullptr;
        seeking = nullptr;
        position = nullptr;
        events = nullptr;
        graph = nullptr;
        filters.clear();
        if (clock)
            clock->Release();
        CoUninitialize();
    }

    // Takes events until one of the code comes (true) or none comes for kWait (false).
    bool WaitForEvent(LONG code, std::vector<Event>* seen = nullptr)
    {
        for (;;) {
            Event event{};
            if (events->GetEvent(&event.code, &event.param1, &event.param2, kWait) != S_OK) {
                return false;
            }
            events->FreeEventParams(event.code, event.param1, event.param2);
            if (seen)
                seen->push_back(event);
            if (event.code == code)
                return true;
        }
    }
    // The events queued now.
    std::vector<Event> TakeQueued()
    {
        std::vector<Event> queued;
        Event event{};
        while (events->GetEvent(&event.code, &event.param1, &event.param2, 0) == S_OK) {
            queued.push_back(event);
        }
        return queued;
    }
    static int Count(const std::vector<Event>& list, LONG code)
    {
        return int(std::count_if(list.begin(), list.end(),
                                 [&](const Event& e) { return e.code == code; }));
    }
    LONGLONG Position()
    {
        LONGLONG now = -1;
        EXPECT_EQ(seeking->GetCurrentPosition(&now), S_OK);
        return now;
    }

    StateLog log;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IMediaPosition> position;
    ComPtr<IMediaEventEx> events;
    CTestSource* source = nullptr;
    CLoggingRenderer* front = nullptr;
    CLoggingRenderer* rear = nullptr;
    CLoggingRenderer* spare = nullptr;  // never connected
    std::vector<ComPtr<IBaseFilter>> filters;
    CTestClock* clock = nullptr;  // one reference
};

TEST_F(GraphPlayback, StateChangesGoFromTheRenderersUpstream)
{
    auto index = [](const std::vector<std::string>& entries, const std::string& entry) {
        auto found = std::find(entries.begin(), entries.end(), entry);
        EXPECT_NE(found, entries.end()) << entry;
        return found - entries.begin();
    };
    struct {
        const char* what;
        std::function<HRESULT()> change;
        std::vector<const char*> verbs;  // in the order the graph gives them
    } const steps[] = {
        {"run from stopped", [&] { return control->Run(); }, {"Pause", "Run"}},
        {"pause from running", [&] { return control->Pause(); }, {"Pause"}},
        {"run from paused", [&] { return control->Run(); }, {"Run"}},
        {"stop from running", [&] { return control->Stop(); }, {"Pause", "Stop"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        log.Clear();
        ASSERT_TRUE(SUCCEEDED(step.change()));
        const std::vector<std::string> entries = log.Entries();
        for (const std::string verb : step.verbs) {
            const auto upstream = index(entries, "source " + verb);
            EXPECT_LT(index(entries, "front " + verb), upstream);
            EXPECT_LT(index(entries, "rear " + verb), upstream);
            index(entries, "spare " + verb);
        }
        if (step.verbs.size() == 2) {
            EXPECT_LT(index(entries, std::string("source ") + step.verbs[0]),
                      index(entries, std::string("front ") + step.verbs[1]));
        }
    }
}

TEST_F(GraphPlayback, StopEndsEveryStreamingThreadBeforeItReturns)
{
    // The front renderer keeps the first sample and blocks the pin's thread in Receive; Stop
    // must still end both threads, every time.
    front->SetHold(true);
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(front->WaitForHeld());
        ASSERT_EQ(control->Stop(), S_OK);
        for (int pin = 0; pin < 2; ++pin) {
            EXPECT_FALSE(source->Stream(pin)->HasThread());
            EXPECT_EQ(source->Stream(pin)->ThreadsStarted(), round);
            EXPECT_EQ(source->Stream(pin)->ThreadsEnded(), round);
        }
        OAFilterState state = -1;
        EXPECT_EQ(control->GetState(0, &state), S_OK);
        EXPECT_EQ(state, State_Stopped);
    }
}

TEST_F(GraphPlayback, CompleteComesOnceWhenEveryRendererHasFinished)
{
    std::vector<Event> seen;
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    // The spare renderer never receives anything: unconnected, it counts as finished.
    ASSERT_TRUE(WaitForEvent(EC_COMPLETE, &seen));
    ASSERT_EQ(front->CompleteCount(), 1);
    ASSERT_EQ(rear->CompleteCount(), 1);
    for (const Event& e : TakeQueued())
        seen.push_back(e);
    EXPECT_EQ(Count(seen, EC_COMPLETE), 1);
    EXPECT_EQ(Count(seen, EC_PAUSED), 1) << "Run from stopped completes a pause first";
    auto complete = std::find_if(seen.begin(), seen.end(),
                                 [](const Event& e) { return e.code == EC_COMPLETE; });
    EXPECT_EQ(complete->param1, S_OK);
    EXPECT_EQ(complete->param2, 0) << "the graph's own event names no renderer";

    // A seek plays the streams again, and their end is announced again, once.
    LONGLONG start = 0;
    ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    seen.clear();
    ASSERT_TRUE(WaitForEvent(EC_COMPLETE, &seen));
    ASSERT_TRUE(front->WaitForEndOfStream(2));
    ASSERT_TRUE(rear->WaitForEndOfStream(2));
    ASSERT_EQ(control->Stop(), S_OK);
    for (const Event& e : TakeQueued())
        seen.push_back(e);
    EXPECT_EQ(Count(seen, EC_COMPLETE), 1);
}

TEST_F(GraphPlayback, NoCompleteWhileOneRendererIsStillPlaying)
{
    front->SetHold(true);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(rear->WaitForEndOfStream());
    ASSERT_TRUE(front->WaitForHeld());
    // Stop joins the rear pin's thread, so its renderer's EC_COMPLETE has been handled.
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(rear->CompleteCount(), 1);
    EXPECT_EQ(Count(TakeQueued(), EC_COMPLETE), 0);
}

TEST_F(GraphPlayback, AnEndReportedForTheDataBeforeASeekIsNotCounted)
{
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitForEvent(EC_COMPLETE));

    // While the seek goes through the front chain, the rear renderer, which the seek has not
    // reached yet, reports the end of what it played before. After the seek the rear renderer
    // keeps its first sample and never finishes: the graph must not announce the end.
    rear->SetHold(true);
    source->Stream(0)->OnSeek([&] { rear->NotifyEvent(EC_COMPLETE, S_OK, 0); });
    LONGLONG start = 0;
    ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_TRUE(front->WaitForEndOfStream(2));
    ASSERT_TRUE(rear->WaitForHeld());
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(front->CompleteCount(), 2);
    EXPECT_EQ(Count(TakeQueued(), EC_COMPLETE), 0);
}

TEST_F(GraphPlayback, SeeksAndRatesReachEachSourcePinOnce)
{
    struct {
        const char* state;
        std::function<HRESULT()> enter;
    } const states[] = {
        {"stopped", [&] { return control->Stop(); }},
        {"paused", [&] { return control->Pause(); }},
        {"running", [&] { return control->Run(); }},
    };
    for (const auto& state : states) {
        SCOPED_TRACE(state.state);
        ASSERT_TRUE(SUCCEEDED(state.enter()));
        int seeks[2] = {source->Stream(0)->SeekCount(), source->Stream(1)->SeekCount()};
        int rates[2] = {source->Stream(0)->RateCount(), source->Stream(1)->RateCount()};

        LONGLONG target = 2 * kSecond;
        ASSERT_EQ(seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                        AM_SEEKING_NoPositioning),
                  S_OK);
        for (int pin = 0; pin < 2; ++pin) {
            EXPECT_EQ(source->Stream(pin)->SeekCount(), seeks[pin] + 1);
            EXPECT_EQ(source->Stream(pin)->LastSeek(), 2 * kSecond);
            EXPECT_EQ(source->Stream(pin)->LastSeekFlags() & AM_SEEKING_PositioningBitsMask,
                      DWORD(AM_SEEKING_AbsolutePositioning));
        }
        EXPECT_EQ(Position(), 2 * kSecond);

        // A relative seek reaches the pins as the absolute position it means.
        LONGLONG step = kSecond;
        ASSERT_EQ(seeking->SetPositions(&step, AM_SEEKING_RelativePositioning, nullptr,
                                        AM_SEEKING_NoPositioning),
                  S_OK);
        for (int pin = 0; pin < 2; ++pin) {
            EXPECT_EQ(source->Stream(pin)->SeekCount(), seeks[pin] + 2);
            EXPECT_EQ(source->Stream(pin)->LastSeek(), 3 * kSecond);
        }

        ASSERT_EQ(position->put_Rate(2.0), S_OK);
        double rate = 0;
        EXPECT_EQ(position->get_Rate(&rate), S_OK);
        EXPECT_EQ(rate, 2.0);
        for (int pin = 0; pin < 2; ++pin) {
            EXPECT_EQ(source->Stream(pin)->RateCount(), rates[pin] + 1);
            EXPECT_EQ(source->Stream(pin)->LastRate(), 2.0);
        }
        // A rate the sources refuse is the graph's answer, and the rate stays.
        EXPECT_EQ(position->put_Rate(0.05), E_INVALIDARG);
        EXPECT_EQ(position->get_Rate(&rate), S_OK);
        EXPECT_EQ(rate, 2.0);
        EXPECT_EQ(position->put_Rate(0.0), E_INVALIDARG);
        ASSERT_EQ(position->put_Rate(1.0), S_OK);
    }
}

TEST_F(GraphPlayback, PositionFollowsStreamTimeOnTheDrivenClock)
{
    EXPECT_EQ(Position(), 0);
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    clock->Advance(10 * kSecond);
    EXPECT_EQ(Position(), 0) << "paused from stopped: no stream time yet";

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    clock->Advance(kRunLatency);
    EXPECT_EQ(Position(), 0);
    clock->Advance(2 * kSecond);
    EXPECT_EQ(Position(), 2 * kSecond);

    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    clock->Advance(5 * kSecond);
    EXPECT_EQ(Position(), 2 * kSecond) << "paused: stream time stands still";
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    clock->Advance(kRunLatency / 2);
    EXPECT_EQ(Position(), 2 * kSecond) << "until the run's start, the position does not go back";
    clock->Advance(kRunLatency / 2 + kSecond / 2);
    EXPECT_EQ(Position(), 2 * kSecond + kSecond / 2);

    // At twice the speed, media time goes twice as fast from where the rate changed.
    ASSERT_EQ(seeking->SetRate(2.0), S_OK);
    EXPECT_EQ(Position(), 2 * kSecond + kSecond / 2);
    EXPECT_EQ(source->Stream(0)->LastSeek(), 2 * kSecond + kSecond / 2)
        << "the streams count their times from the same place as the graph";
    clock->Advance(kRunLatency + kSecond / 2);
    EXPECT_EQ(Position(), 3 * kSecond + kSecond / 2);

    // A seek while running starts stream time again at the new position.
    LONGLONG target = kSecond;
    ASSERT_EQ(seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    EXPECT_EQ(Position(), kSecond);
    clock->Advance(kRunLatency + kSecond / 4);
    EXPECT_EQ(Position(), kSecond + kSecond / 2);

    // Stop keeps the position, and the next run starts the sources from there.
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(Position(), kSecond + kSecond / 2);
    const int seeks = source->Stream(0)->SeekCount();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_EQ(source->Stream(0)->SeekCount(), seeks + 1);
    EXPECT_EQ(source->Stream(0)->LastSeek(), kSecond + kSecond / 2);

    // The position never passes the end of the longest stream.
    clock->Advance(100 * kSecond);
    EXPECT_EQ(Position(), 5 * kSecond);
    REFTIME seconds = 0;
    EXPECT_EQ(position->get_CurrentPosition(&seconds), S_OK);
    EXPECT_EQ(seconds, 5.0);
}

TEST_F(GraphPlayback, DurationAndCapabilitiesAreThoseOfTheStreams)
{
    LONGLONG duration = 0;
    EXPECT_EQ(seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 5 * kSecond) << "the longest stream";
    REFTIME seconds = 0;
    EXPECT_EQ(position->get_Duration(&seconds), S_OK);
    EXPECT_EQ(seconds, 5.0);
    LONGLONG stop = 0;
    EXPECT_EQ(seeking->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, 5 * kSecond);

    DWORD wanted =
        AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetDuration;
    EXPECT_EQ(seeking->CheckCapabilities(&wanted), S_OK)
        << "the graph knows the current position itself";
    DWORD backwards = AM_SEEKING_CanPlayBackwards;
    EXPECT_EQ(seeking->CheckCapabilities(&backwards), E_FAIL);
    LONG can = OAFALSE;
    EXPECT_EQ(position->CanSeekBackward(&can), S_OK);
    EXPECT_EQ(can, OATRUE);

    EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_FRAME), E_INVALIDARG);
    EXPECT_EQ(seeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME), S_OK);

    // Null pointers and positioning without a position.
    EXPECT_EQ(seeking->GetDuration(nullptr), E_POINTER);
    EXPECT_EQ(seeking->SetPositions(nullptr, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              E_POINTER);
}

TEST_F(GraphPlayback, TimesInSecondsAreTheMediaTimesOfTheGraph)
{
    struct Case {
        const char* name;
        HRESULT (STDMETHODCALLTYPE IMediaPosition::*seconds)(REFTIME*);
        HRESULT (STDMETHODCALLTYPE IMediaSeeking::*units)(LONGLONG*);
    };
    const Case cases[] = {
        {"duration", &IMediaPosition::get_Duration, &IMediaSeeking::GetDuration},
        {"current", &IMediaPosition::get_CurrentPosition, &IMediaSeeking::GetCurrentPosition},
        {"stop", &IMediaPosition::get_StopTime, &IMediaSeeking::GetStopPosition},
        {"preroll", &IMediaPosition::get_PrerollTime, &IMediaSeeking::GetPreroll},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LONGLONG units = -1;
        ASSERT_EQ((seeking.Get()->*c.units)(&units), S_OK);
        REFTIME seconds = -1;
        ASSERT_EQ((position.Get()->*c.seconds)(&seconds), S_OK);
        EXPECT_DOUBLE_EQ(seconds, double(units) / 10000000.0);
        EXPECT_EQ((position.Get()->*c.seconds)(nullptr), E_POINTER);
    }

    DWORD capabilities = 0;
    ASSERT_EQ(seeking->GetCapabilities(&capabilities), S_OK);
    LONG forward = -1;
    ASSERT_EQ(position->CanSeekForward(&forward), S_OK);
    EXPECT_EQ(forward, (capabilities & AM_SEEKING_CanSeekForwards) ? OATRUE : OAFALSE);
    EXPECT_EQ(position->CanSeekForward(nullptr), E_POINTER);
}

TEST_F(GraphPlayback, EventsAreQueuedAndPostedToTheNotifyWindow)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = L"GraphNotifyTarget";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"GraphNotifyTarget", L"", 0, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    constexpr UINT kMessage = WM_APP + 6;
    auto posted = [&] {
        int count = 0;
        MSG msg{};
        while (PeekMessageW(&msg, window, kMessage, kMessage, PM_REMOVE)) {
            EXPECT_EQ(msg.wParam, 0u);
            EXPECT_EQ(msg.lParam, 77);
            ++count;
        }
        return count;
    };

    ComPtr<IMediaEventSink> sink;
    ASSERT_EQ(graph.As(&sink), S_OK);
    ASSERT_EQ(events->SetNotifyWindow(OAHWND(window), kMessage, 77), S_OK);
    // Filters post from their own threads.
    std::thread streaming([&] {
        sink->Notify(EC_USER + 1, 11, 12);
        sink->Notify(EC_USER + 2, 21, 22);
    });
    streaming.join();
    EXPECT_EQ(posted(), 2);

    std::vector<Event> got = TakeQueued();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].code, EC_USER + 1);
    EXPECT_EQ(got[0].param1, 11);
    EXPECT_EQ(got[0].param2, 12);
    EXPECT_EQ(got[1].code, EC_USER + 2);
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    EXPECT_EQ(events->GetEvent(nullptr, &p1, &p2, 0), E_POINTER);

    // Without a window nothing is posted, and a window set while events wait is told once.
    ASSERT_EQ(events->SetNotifyWindow(0, 0, 0), S_OK);
    sink->Notify(EC_USER + 3, 0, 0);
    sink->Notify(EC_USER + 4, 0, 0);
    EXPECT_EQ(posted(), 0);
    ASSERT_EQ(events->SetNotifyWindow(OAHWND(window), kMessage, 77), S_OK);
    EXPECT_EQ(posted(), 1);
    EXPECT_EQ(TakeQueued().size(), 2u);

    // The graph's own events go the same way.
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    EXPECT_EQ(posted(), 1);
    got = TakeQueued();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, EC_PAUSED);
    EXPECT_EQ(got[0].param1, S_OK);

    ASSERT_EQ(events->SetNotifyWindow(0, 0, 0), S_OK);
    DestroyWindow(window);
}

TEST_F(GraphPlayback, PauseIsAnnouncedWhenEveryFilterHasCompletedIt)
{
    auto* cueing = new CCueingRenderer;
    filters.push_back(Filter(cueing));
    ASSERT_EQ(graph->AddFilter(filters.back().Get(), L"Cueing"), S_OK);

    EXPECT_EQ(control->Pause(), S_FALSE);
    OAFilterState state = -1;
    EXPECT_EQ(control->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(Count(TakeQueued(), EC_PAUSED), 0) << "a filter is still cueing";

    cueing->Cue();
    std::vector<Event> seen;
    ASSERT_TRUE(WaitForEvent(EC_PAUSED, &seen));
    EXPECT_EQ(seen.back().param1, S_OK);
    EXPECT_EQ(control->GetState(kWait, &state), S_OK);
    EXPECT_EQ(state, State_Paused);

    // Filters that pause at once are announced at once.
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(Count(TakeQueued(), EC_PAUSED), 1);
}

TEST_F(GraphPlayback, VolumeGoesToTheFiltersThatHaveOne)
{
    ComPtr<IBasicAudio> audio;
    ASSERT_EQ(graph.As(&audio), S_OK);
    EXPECT_EQ(audio->put_Volume(-301), E_NOTIMPL) << "no filter has a volume";

    auto* sound = new CAudioRenderer;
    filters.push_back(Filter(sound));
    ASSERT_EQ(graph->AddFilter(filters.back().Get(), L"Audio Renderer"), S_OK);
    EXPECT_EQ(audio->put_Volume(-301), S_OK);
    EXPECT_EQ(sound->m_volume.load(), -301);
    LONG volume = 0;
    EXPECT_EQ(audio->get_Volume(&volume), S_OK);
    EXPECT_EQ(volume, -301);
    EXPECT_EQ(audio->put_Volume(100), E_INVALIDARG) << "the filter's own answer";
    EXPECT_EQ(sound->m_volume.load(), -301);
}

TEST_F(GraphPlayback, ClockIsAConnectedFiltersOwnElseTheSystemClock)
{
    ComPtr<IMediaFilter> media;
    ASSERT_EQ(graph.As(&media), S_OK);
    ASSERT_EQ(graph->SetDefaultSyncSource(), S_OK);

    // A clock-offering renderer that is not connected is passed over.
    auto* offering = new CClockRenderer;
    filters.push_back(Filter(offering));
    ASSERT_EQ(graph->AddFilter(filters.back().Get(), L"Clock"), S_OK);
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    ComPtr<IReferenceClock> chosen;
    ASSERT_EQ(media->GetSyncSource(&chosen), S_OK);
    ASSERT_TRUE(chosen);
    EXPECT_NE(chosen.Get(), offering->Clock());
    ComPtr<IReferenceClock> frontClock;
    ASSERT_EQ(front->GetSyncSource(&frontClock), S_OK);
    EXPECT_EQ(frontClock.Get(), chosen.Get()) << "every filter runs on the graph's clock";
    EXPECT_EQ(media->SetSyncSource(nullptr), VFW_E_NOT_STOPPED);

    // Connected, its clock is the graph's at the next start.
    ASSERT_EQ(control->Stop(), S_OK);
    ASSERT_EQ(graph->Disconnect(source->Pin(1)), S_OK);
    ASSERT_EQ(graph->Disconnect(rear->InputPin()), S_OK);
    ASSERT_EQ(graph->Connect(source->Pin(1), offering->InputPin()), S_OK);
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    ASSERT_EQ(media->GetSyncSource(&chosen), S_OK);
    EXPECT_EQ(chosen.Get(), offering->Clock());
    ASSERT_EQ(front->GetSyncSource(&frontClock), S_OK);
    EXPECT_EQ(frontClock.Get(), offering->Clock());

    // Removing the filter takes its clock out of the graph.
    ASSERT_EQ(control->Stop(), S_OK);
    ASSERT_EQ(graph->RemoveFilter(filters.back().Get()), S_OK);
    ASSERT_EQ(media->GetSyncSource(&chosen), S_OK);
    EXPECT_FALSE(chosen);
    ComPtr<IReferenceClock> offeringClock;
    ASSERT_EQ(offering->GetSyncSource(&offeringClock), S_OK);
    EXPECT_FALSE(offeringClock) << "a removed filter holds no clock of the graph";
}

}  // namespace
