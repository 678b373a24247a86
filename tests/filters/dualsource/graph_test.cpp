// The dual source filter in a real filter graph (CLSID_FilterGraph), driven the way the playback
// engine drives it: run, seek, change the rate, pause, stop and run again, then play to the end,
// which the graph reports with exactly one EC_COMPLETE.
//
// The renderers keep the samples they receive until told to give them back, so each pin stalls
// after its allocator's buffers (one for video, twenty for sound) and every step finds the
// stream still under way.
#include <algorithm>

#include "SourceTesting.h"

using namespace sourcetest;
using dshowtest::CNullRenderer;
using dshowtest::SampleRecord;

namespace {

class DualSourceGraph : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, reinterpret_cast<void**>(&m_graph)),
                  S_OK);
        m_source = LoadSource(Fixture(kPairFront));
        ASSERT_TRUE(m_source);
        ASSERT_EQ(m_graph->AddFilter(m_source.Get(), L"DirectShow KV MP4 Dual Source"), S_OK);
        for (const ComPtr<IPin>& pin : Pins(m_source.Get())) {
            auto* renderer = new CNullRenderer();
            renderer->NonDelegatingAddRef();
            renderer->SetKeepSamples(true);
            m_renderers.push_back(renderer);
            ASSERT_TRUE(SUCCEEDED(m_graph->AddFilter(renderer, L"Renderer")));
            ASSERT_EQ(m_graph->Connect(pin.Get(), renderer->InputPin()), S_OK);
        }
        ASSERT_EQ(m_renderers.size(), 4u);
        m_control = Query<IMediaControl>(m_graph.Get());
        m_seeking = Query<IMediaSeeking>(m_graph.Get());
        m_position = Query<IMediaPosition>(m_graph.Get());
        m_events = Query<IMediaEventEx>(m_graph.Get());
        ASSERT_TRUE(m_control && m_seeking && m_position && m_events);
    }

    void TearDown() override
    {
        if (m_control)
            m_control->Stop();
        for (CNullRenderer* renderer : m_renderers) {
            if (m_graph)
                m_graph->RemoveFilter(renderer);
            renderer->NonDelegatingRelease();
        }
        if (m_graph && m_source)
            m_graph->RemoveFilter(m_source.Get());
        m_events = nullptr;
        m_position = nullptr;
        m_seeking = nullptr;
        m_control = nullptr;
        m_source = nullptr;
        m_graph = nullptr;
        CoUninitialize();
    }

    // Hands the renderers' buffers back and waits until each video renderer (pins 0 and 2) has
    // received one more frame. The sound renderers go on too, but may reach their end.
    void WaitForProgress()
    {
        std::vector<size_t> counts;
        for (CNullRenderer* renderer : m_renderers)
            counts.push_back(renderer->SampleCount());
        for (CNullRenderer* renderer : m_renderers)
            renderer->ReleaseKept();
        for (size_t video : {0u, 2u}) {
            ASSERT_TRUE(m_renderers[video]->WaitForSamples(counts[video] + 1)) << video;
        }
    }

    // How many times each stream has started again: the samples marked as discontinuities.
    std::vector<size_t> Starts()
    {
        std::vector<size_t> starts;
        for (CNullRenderer* renderer : m_renderers) {
            size_t count = 0;
            for (const SampleRecord& sample : renderer->Samples())
                count += sample.discontinuity;
            starts.push_back(count);
        }
        return starts;
    }

    // Waits until every stream has started again since `before` and returns the first sample of
    // each one's latest start.
    std::vector<SampleRecord> WaitForRestart(const std::vector<size_t>& before)
    {
        std::vector<SampleRecord> firsts;
        for (size_t i = 0; i < m_renderers.size(); ++i) {
            for (;;) {
                std::vector<SampleRecord> samples = m_renderers[i]->Samples();
                size_t starts = 0;
                for (const SampleRecord& sample : samples)
                    starts += sample.discontinuity;
                if (starts > before[i]) {
                    auto last = std::find_if(samples.rbegin(), samples.rend(),
                                             [](const SampleRecord& s) { return s.discontinuity; });
                    firsts.push_back(*last);
                    break;
                }
                if (!m_renderers[i]->WaitForSamples(samples.size() + 1)) {
                    ADD_FAILURE() << "renderer " << i << " did not start again";
                    return firsts;
                }
            }
        }
        return firsts;
    }

    // Seeks the graph; every stream starts a new segment there with a key frame.
    void SeekTo(LONGLONG position)
    {
        const std::vector<size_t> before = Starts();
        LONGLONG target = position;
        ASSERT_EQ(m_seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning),
                  S_OK);
        const std::vector<SampleRecord> firsts = WaitForRestart(before);
        ASSERT_EQ(firsts.size(), m_renderers.size());
        for (size_t i = 0; i < m_renderers.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(firsts[i].syncPoint);
            ASSERT_FALSE(m_renderers[i]->Segments().empty());
            EXPECT_EQ(m_renderers[i]->Segments().back().start, position);
        }
    }

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IBaseFilter> m_source;
    std::vector<CNullRenderer*> m_renderers;  // one reference each
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaSeeking> m_seeking;
    ComPtr<IMediaPosition> m_position;
    ComPtr<IMediaEventEx> m_events;
};

}  // namespace

TEST_F(DualSourceGraph, RunSeekRateStopAndPlayToOneCompletion)
{
    LONGLONG duration = 0;
    ASSERT_EQ(m_seeking->GetDuration(&duration), S_OK);
    EXPECT_NEAR(double(duration), double(3 * kSecond), double(kSecond / 10));

    ASSERT_TRUE(SUCCEEDED(m_control->Run()));
    ASSERT_NO_FATAL_FAILURE(WaitForProgress());

    ASSERT_NO_FATAL_FAILURE(SeekTo(kSecond));
    ASSERT_NO_FATAL_FAILURE(WaitForProgress());

    const std::vector<size_t> before = Starts();
    ASSERT_EQ(m_position->put_Rate(2.0), S_OK);
    double rate = 0;
    EXPECT_EQ(m_position->get_Rate(&rate), S_OK);
    EXPECT_EQ(rate, 2.0);
    ASSERT_EQ(WaitForRestart(before).size(), m_renderers.size());
    for (CNullRenderer* renderer : m_renderers) {
        ASSERT_FALSE(renderer->Segments().empty());
        EXPECT_EQ(renderer->Segments().back().rate, 2.0);
    }
    ASSERT_NO_FATAL_FAILURE(WaitForProgress());

    ASSERT_TRUE(SUCCEEDED(m_control->Pause()));
    ASSERT_NO_FATAL_FAILURE(SeekTo(kSecond / 2));
    ASSERT_TRUE(SUCCEEDED(m_control->Run()));
    ASSERT_NO_FATAL_FAILURE(WaitForProgress());

    // Stop joins every streaming thread; running again goes on from there.
    ASSERT_EQ(m_control->Stop(), S_OK);
    ASSERT_EQ(m_position->put_Rate(1.0), S_OK);
    ASSERT_TRUE(SUCCEEDED(m_control->Run()));
    ASSERT_NO_FATAL_FAILURE(WaitForProgress());

    // Nothing has ended yet: no completion so far.
    LONG code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (m_events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        EXPECT_NE(code, EC_COMPLETE);
        EXPECT_NE(code, EC_ERRORABORT);
        m_events->FreeEventParams(code, param1, param2);
    }

    for (CNullRenderer* renderer : m_renderers) {
        renderer->SetKeepSamples(false);
        renderer->ReleaseKept();
    }
    for (CNullRenderer* renderer : m_renderers)
        ASSERT_TRUE(renderer->WaitForEndOfStream());
    // The renderers report their ends; the graph's one completion follows the last of them.
    int completions = 0;
    while (completions == 0 && m_events->GetEvent(&code, &param1, &param2, 20000) == S_OK) {
        if (code == EC_COMPLETE)
            ++completions;
        EXPECT_NE(code, EC_ERRORABORT);
        m_events->FreeEventParams(code, param1, param2);
    }
    while (m_events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        if (code == EC_COMPLETE)
            ++completions;
        m_events->FreeEventParams(code, param1, param2);
    }
    EXPECT_EQ(completions, 1);
    ASSERT_EQ(m_control->Stop(), S_OK);
}
