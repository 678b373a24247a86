// CSource and CSourceStream pushing samples into a CBaseInputPin renderer, connected directly
// through IPin::Connect: negotiation, streaming, end of stream, errors, repeated starts and
// stops, stops that must wake a blocked streaming thread, and the flush-and-restart of a seek.
#include <gtest/gtest.h>

#include "NullRenderer.h"
#include "PatternSource.h"

namespace dshowtest {
namespace {

constexpr REFERENCE_TIME kFrame = 400000;

// A source and a renderer that join a stand-in graph and are connected pin to pin.
class SourceToRenderer : public ::testing::Test {
protected:
    void Build(const PatternOptions& options = PatternOptions(),
               std::function<bool(const CMediaType&)> accept = nullptr)
    {
        m_source = new CPatternSource(options);
        m_sourceFilter = ComPtr<IBaseFilter>(m_source);
        m_renderer = new CNullRenderer(std::move(accept));
        m_rendererFilter = ComPtr<IBaseFilter>(m_renderer);
        m_events = ComPtr<IFilterGraph>(new CEventRecorder);
        m_sourceFilter->JoinFilterGraph(m_events.Get(), L"Source");
        m_rendererFilter->JoinFilterGraph(m_events.Get(), L"Renderer");
    }

    void TearDown() override
    {
        if (m_rendererFilter) {
            Stop();
            m_source->OutputPin()->Disconnect();
            m_renderer->InputPin()->Disconnect();
            m_sourceFilter->JoinFilterGraph(nullptr, nullptr);
            m_rendererFilter->JoinFilterGraph(nullptr, nullptr);
        }
    }

    HRESULT Connect(const AM_MEDIA_TYPE* type = nullptr)
    {
        return m_source->OutputPin()->Connect(m_renderer->InputPin(), type);
    }

    CEventRecorder* Events() { return static_cast<CEventRecorder*>(m_events.Get()); }

    // State changes go from the renderer upstream, as the graph sends them.
    void Run()
    {
        ASSERT_EQ(m_rendererFilter->Run(0), S_OK);
        ASSERT_EQ(m_sourceFilter->Run(0), S_OK);
    }
    void Pause()
    {
        ASSERT_EQ(m_rendererFilter->Pause(), S_OK);
        ASSERT_EQ(m_sourceFilter->Pause(), S_OK);
    }
    void Stop()
    {
        EXPECT_EQ(m_rendererFilter->Stop(), S_OK);
        EXPECT_EQ(m_sourceFilter->Stop(), S_OK);
    }

    CPatternSource* m_source = nullptr;
    CNullRenderer* m_renderer = nullptr;
    ComPtr<IBaseFilter> m_sourceFilter;
    ComPtr<IBaseFilter> m_rendererFilter;
    ComPtr<IFilterGraph> m_events;
};

TEST_F(SourceToRenderer, ConnectNegotiatesTheSourceTypeAndDecidesTheAllocator)
{
    Build();
    ASSERT_EQ(Connect(), S_OK);
    CMediaType source;
    CMediaType renderer;
    ASSERT_EQ(m_source->OutputPin()->ConnectionMediaType(&source), S_OK);
    ASSERT_EQ(m_renderer->InputPin()->ConnectionMediaType(&renderer), S_OK);
    EXPECT_TRUE(source == renderer);
    EXPECT_EQ(source.subtype, MEDIASUBTYPE_TestPattern);

    ComPtr<IPin> connected;
    ASSERT_EQ(m_renderer->InputPin()->ConnectedTo(&connected), S_OK);
    EXPECT_EQ(connected.Get(), m_source->OutputPin());

    ComPtr<IMemInputPin> input;
    ASSERT_EQ(m_renderer->InputPin()->QueryInterface(IID_PPV_ARGS(&input)), S_OK);
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
    ALLOCATOR_PROPERTIES properties{};
    ASSERT_EQ(allocator->GetProperties(&properties), S_OK);
    EXPECT_EQ(properties.cBuffers, 2);
    EXPECT_EQ(properties.cbBuffer, 64);
}

TEST_F(SourceToRenderer, ConnectionsThatCannotBeMadeLeaveBothPinsFree)
{
    struct Case {
        const char* what;
        bool accept;
        bool giveType;      // pass the source's full type to Connect
        GUID partialMajor;  // else, when not GUID_NULL, a partial type with this major type
        HRESULT result;
    };
    const Case cases[] = {
        {"renderer refuses every type", false, false, GUID_NULL, VFW_E_NO_ACCEPTABLE_TYPES},
        {"renderer refuses the given type", false, true, GUID_NULL, VFW_E_TYPE_NOT_ACCEPTED},
        {"partial type matches nothing", true, false, MEDIATYPE_Audio, VFW_E_NO_ACCEPTABLE_TYPES},
    };
    for (const Case& c : cases) {
        Build(PatternOptions(), [&](const CMediaType&) { return c.accept; });
        CMediaType type;
        if (c.giveType) {
            type.SetType(&MEDIATYPE_Video);
            type.SetSubtype(&MEDIASUBTYPE_TestPattern);
            type.SetFormatType(&FORMAT_None);
            type.SetSampleSize(64);
        } else if (c.partialMajor != GUID_NULL) {
            type.SetType(&c.partialMajor);
        }
        const bool withType = c.giveType || c.partialMajor != GUID_NULL;
        EXPECT_EQ(Connect(withType ? &type : nullptr), c.result) << c.what;
        ComPtr<IPin> connected;
        EXPECT_EQ(m_source->OutputPin()->ConnectedTo(&connected), VFW_E_NOT_CONNECTED) << c.what;
        EXPECT_EQ(m_renderer->InputPin()->ConnectedTo(&connected), VFW_E_NOT_CONNECTED) << c.what;
        TearDown();
    }
    m_rendererFilter = nullptr;
}

TEST_F(SourceToRenderer, ConnectionRulesOfDirectionStateAndRepetition)
{
    Build();
    CPatternSource* other = new CPatternSource;
    ComPtr<IBaseFilter> otherFilter(other);
    EXPECT_EQ(m_source->OutputPin()->Connect(other->OutputPin(), nullptr), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(m_renderer->InputPin()->Disconnect(), S_FALSE);

    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(Connect(), VFW_E_ALREADY_CONNECTED);
    Pause();
    EXPECT_EQ(m_source->OutputPin()->Disconnect(), VFW_E_NOT_STOPPED);
    Stop();
    EXPECT_EQ(m_source->OutputPin()->Disconnect(), S_OK);
    EXPECT_EQ(m_renderer->InputPin()->Disconnect(), S_OK);
    m_renderer->Pause();
    EXPECT_EQ(Connect(), VFW_E_NOT_STOPPED);  // the receiving pin's filter is active
    m_renderer->Stop();
    EXPECT_EQ(Connect(), S_OK);
}

TEST_F(SourceToRenderer, PinsAreNumberedAndEnumeratorsNoticeNewPins)
{
    Build();
    LPWSTR id = nullptr;
    ASSERT_EQ(m_source->OutputPin()->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"1");
    CoTaskMemFree(id);
    PIN_INFO info{};
    ASSERT_EQ(m_source->OutputPin()->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Pattern");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(info.pFilter, m_sourceFilter.Get());
    info.pFilter->Release();

    ComPtr<IEnumPins> pins;
    ASSERT_EQ(m_sourceFilter->EnumPins(&pins), S_OK);
    HRESULT hr = S_OK;
    new CPatternStream(m_source, PatternOptions(), &hr);  // the filter owns it
    ASSERT_EQ(hr, S_OK);
    IPin* found[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(2, found, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    ASSERT_EQ(pins->Reset(), S_OK);
    ASSERT_EQ(pins->Next(2, found, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(found[0], m_source->OutputPin());
    ComPtr<IPin> second;
    ASSERT_EQ(m_sourceFilter->FindPin(L"2", &second), S_OK);
    EXPECT_EQ(second.Get(), found[1]);
    for (IPin* pin : found)
        pin->Release();
    for (LPCWSTR missing : {L"3", L"0", L"1x", L"", L"Pattern"}) {
        EXPECT_EQ(m_sourceFilter->FindPin(missing, &second), VFW_E_NOT_FOUND) << missing;
        EXPECT_EQ(second.Get(), nullptr);
    }
}

TEST_F(SourceToRenderer, PlaysEverySampleThenEndsTheStreamOnce)
{
    PatternOptions options;
    options.sampleCount = 12;
    options.syncEvery = 4;
    Build(options);
    ASSERT_EQ(Connect(), S_OK);
    Run();
    ASSERT_TRUE(m_renderer->WaitForEndOfStream());
    ASSERT_TRUE(Events()->WaitFor(EC_COMPLETE));

    std::vector<SampleRecord> samples = m_renderer->Samples();
    ASSERT_EQ(samples.size(), 12u);
    for (size_t n = 0; n < samples.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(samples[n].timeResult, S_OK);
        EXPECT_EQ(samples[n].start, REFERENCE_TIME(n) * kFrame);
        EXPECT_EQ(samples[n].stop, REFERENCE_TIME(n + 1) * kFrame);
        EXPECT_EQ(samples[n].syncPoint, n % 4 == 0);
        EXPECT_EQ(samples[n].discontinuity, n == 0);
        EXPECT_EQ(samples[n].length, 64);
        ASSERT_EQ(samples[n].data.size(), 16u);
        EXPECT_EQ(samples[n].data[0], BYTE(n));
        EXPECT_EQ(samples[n].data[15], BYTE(n + 15));
    }
    ASSERT_EQ(m_renderer->Segments().size(), 1u);
    EXPECT_EQ(m_renderer->Segments()[0].start, 0);

    Stop();
    EXPECT_EQ(m_renderer->EndOfStreamCount(), 1);
    EXPECT_EQ(Events()->Count(EC_COMPLETE), 1);
    for (const CEventRecorder::Event& event : Events()->Events()) {
        if (event.code == EC_COMPLETE)
            EXPECT_EQ(event.param2, LONG_PTR(m_rendererFilter.Get()));
    }
    // Stop returned after the streaming thread had ended.
    EXPECT_EQ(m_source->Stream()->ThreadCreates(), 1);
    EXPECT_EQ(m_source->Stream()->ThreadDestroys(), 1);
}

TEST_F(SourceToRenderer, StartsAndStopsRepeatedlyJoiningTheThreadEachTime)
{
    PatternOptions options;
    options.sampleCount = -1;
    Build(options);
    ASSERT_EQ(Connect(), S_OK);
    for (int cycle = 1; cycle <= 25; ++cycle) {
        SCOPED_TRACE(cycle);
        m_renderer->ClearRecords();
        if (cycle % 2) {
            Pause();
            Run();
        } else {
            Run();  // straight from stopped
        }
        ASSERT_TRUE(m_renderer->WaitForSamples(3));
        Stop();
        EXPECT_EQ(m_source->Stream()->ThreadDestroys(), cycle);
    }
    EXPECT_EQ(m_source->Stream()->ThreadCreates(), 25);
}

TEST_F(SourceToRenderer, StopWakesAThreadWaitingForABuffer)
{
    PatternOptions options;
    options.sampleCount = -1;
    Build(options);
    m_renderer->SetKeepSamples(true);  // the two buffers never come back by themselves
    ASSERT_EQ(Connect(), S_OK);
    Run();
    ASSERT_TRUE(m_renderer->WaitForSamples(2));
    // The streaming thread now waits in GetDeliveryBuffer (or is about to): stopping the
    // source decommits the allocator, which wakes it, and joins it.
    EXPECT_EQ(m_sourceFilter->Stop(), S_OK);
    EXPECT_EQ(m_source->Stream()->ThreadDestroys(), 1);
    EXPECT_EQ(m_renderer->SampleCount(), 2u);
    // The kept samples go back to a decommitted pool, which frees them then.
    EXPECT_EQ(m_rendererFilter->Stop(), S_OK);
}

TEST_F(SourceToRenderer, StopFromTheRendererUpWakesAThreadBlockedInDeliver)
{
    PatternOptions options;
    options.sampleCount = -1;
    Build(options);
    m_renderer->SetHold(true);
    ASSERT_EQ(Connect(), S_OK);
    Run();
    ASSERT_TRUE(m_renderer->WaitForHeld());
    Stop();
    EXPECT_EQ(m_source->Stream()->ThreadDestroys(), 1);
}

TEST_F(SourceToRenderer, StoppingASourceThatWaitsForDataIsNoEndOfStream)
{
    PatternOptions options;
    options.sampleCount = 8;
    options.waitForStopAt = 3;
    Build(options);
    ASSERT_EQ(Connect(), S_OK);
    Run();
    ASSERT_TRUE(m_source->Stream()->WaitUntilWaitingForRequest());
    // The renderer keeps running: only the source stops, while its FillBuffer waits.
    EXPECT_EQ(m_sourceFilter->Stop(), S_OK);
    EXPECT_EQ(m_renderer->EndOfStreamCount(), 0);
    EXPECT_EQ(Events()->Count(EC_COMPLETE), 0);
    // Running again goes on with the sample it gave up, to the real end.
    ASSERT_EQ(m_sourceFilter->Run(0), S_OK);
    ASSERT_TRUE(m_renderer->WaitForEndOfStream());
    std::vector<SampleRecord> samples = m_renderer->Samples();
    ASSERT_EQ(samples.size(), 8u);
    for (size_t n = 0; n < samples.size(); ++n)
        EXPECT_EQ(samples[n].data[0], BYTE(n)) << n;
    Stop();
    EXPECT_EQ(m_renderer->EndOfStreamCount(), 1);
}

TEST_F(SourceToRenderer, FillBufferFailureEndsTheStreamAndAbortsTheGraph)
{
    PatternOptions options;
    options.sampleCount = 10;
    options.failAt = 3;
    options.failWith = E_OUTOFMEMORY;
    Build(options);
    ASSERT_EQ(Connect(), S_OK);
    Run();
    ASSERT_TRUE(Events()->WaitFor(EC_ERRORABORT));
    ASSERT_TRUE(m_renderer->WaitForEndOfStream());
    EXPECT_EQ(m_renderer->SampleCount(), 3u);
    for (const CEventRecorder::Event& event : Events()->Events()) {
        if (event.code == EC_ERRORABORT)
            EXPECT_EQ(event.param1, E_OUTOFMEMORY);
    }
    Stop();
}

TEST_F(SourceToRenderer, ThreadThatRefusesToStartFailsThePauseAndIsJoined)
{
    PatternOptions options;
    options.threadCreateResult = E_ACCESSDENIED;
    Build(options);
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(m_rendererFilter->Pause(), S_OK);
    EXPECT_EQ(m_sourceFilter->Pause(), E_ACCESSDENIED);
    EXPECT_EQ(m_source->Stream()->ThreadCreates(), 1);
    EXPECT_EQ(m_source->Stream()->ThreadDestroys(), 1);
    FILTER_STATE state;
    ASSERT_EQ(m_sourceFilter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // It can be tried again: the thread was closed.
    EXPECT_EQ(m_sourceFilter->Pause(), E_ACCESSDENIED);
    EXPECT_EQ(m_source->Stream()->ThreadDestroys(), 2);
}

// A source of three pins, each into a renderer of its own, whose middle pin's thread refuses to
// start: the pause fails as a whole, no pin streams or keeps a thread, and the source pauses
// once that pin is left unconnected.
TEST(SourcePins, APinThatCannotStartLeavesNoPinOfTheFilterActive)
{
    PatternOptions good;
    good.sampleCount = 5;
    PatternOptions refusing = good;
    refusing.threadCreateResult = E_ACCESSDENIED;
    auto* source = new CPatternSource(good);
    ComPtr<IBaseFilter> sourceFilter(source);
    HRESULT hr = S_OK;
    // Each pin adds itself to the filter, which deletes it.
    CPatternStream* streams[3] = {source->Stream(), new CPatternStream(source, refusing, &hr),
                                  new CPatternStream(source, good, &hr)};
    ComPtr<IFilterGraph> events(new CEventRecorder);
    sourceFilter->JoinFilterGraph(events.Get(), L"Source");
    std::vector<ComPtr<IBaseFilter>> renderers;
    for (CPatternStream* stream : streams) {
        auto* renderer = new CNullRenderer();
        renderers.emplace_back(renderer);
        renderer->JoinFilterGraph(events.Get(), L"Renderer");
        ASSERT_EQ(stream->Connect(renderer->InputPin(), nullptr), S_OK);
        ASSERT_EQ(renderer->Pause(), S_OK);
    }

    EXPECT_EQ(sourceFilter->Pause(), E_ACCESSDENIED);
    FILTER_STATE state;
    ASSERT_EQ(sourceFilter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(streams[i]->ThreadCreates(), 1);
        EXPECT_EQ(streams[i]->ThreadDestroys(), 1);
        EXPECT_EQ(streams[i]->StartPlays(), 0) << "nothing streamed";
    }

    ASSERT_EQ(streams[1]->Disconnect(), S_OK);
    ASSERT_EQ(sourceFilter->Pause(), S_OK);
    for (int i : {0, 2}) {
        auto* renderer = static_cast<CNullRenderer*>(renderers[i].Get());
        ASSERT_TRUE(renderer->WaitForEndOfStream()) << i;
        EXPECT_EQ(renderer->SampleCount(), 5u);
    }
    EXPECT_EQ(sourceFilter->Stop(), S_OK);
    for (size_t i = 0; i < renderers.size(); ++i) {
        renderers[i]->Stop();
        streams[i]->Disconnect();
        static_cast<CNullRenderer*>(renderers[i].Get())->InputPin()->Disconnect();
        renderers[i]->JoinFilterGraph(nullptr, nullptr);
    }
    sourceFilter->JoinFilterGraph(nullptr, nullptr);
}

TEST_F(SourceToRenderer, SeekFlushesStopsAndRestartsTheStreamAtTheNewPosition)
{
    PatternOptions options;
    options.sampleCount = -1;
    Build(options);
    m_renderer->SetHold(true);
    ASSERT_EQ(Connect(), S_OK);
    Run();
    ASSERT_TRUE(m_renderer->WaitForHeld());

    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(m_source->OutputPin()->QueryInterface(IID_PPV_ARGS(&seeking)), S_OK);
    LONGLONG position = 40 * kFrame;
    const size_t before = m_renderer->SampleCount();
    ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    // The flush released the held sample; the restarted loop delivers from sample 40 on.
    ASSERT_TRUE(m_renderer->WaitForSamples(before + 1));
    ASSERT_TRUE(m_renderer->WaitForHeld());
    EXPECT_EQ(m_renderer->BeginFlushCount(), 1);
    EXPECT_EQ(m_renderer->EndFlushCount(), 1);
    std::vector<SegmentRecord> segments = m_renderer->Segments();
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[1].start, 40 * kFrame);
    const SampleRecord last = m_renderer->Samples().back();
    EXPECT_EQ(last.data[0], BYTE(40));
    EXPECT_EQ(last.start, 0);
    EXPECT_TRUE(last.discontinuity);
    EXPECT_EQ(m_source->Stream()->StartPlays(), 2);
    EXPECT_EQ(m_source->Stream()->ThreadCreates(), 1);  // the same thread plays on
    Stop();
}

}  // namespace
}  // namespace dshowtest
