// CTransformFilter between a pattern source and a null renderer: connection order, samples
// and their properties through Transform, dropped samples, end of stream, flushes and new
// segments passed downstream, quality messages reaching AlterQuality or going upstream,
// seeking passed upstream, and media types carried on samples.
#include <gtest/gtest.h>

#include "NullRenderer.h"
#include "PatternSource.h"

namespace dshowtest {
namespace {

constexpr REFERENCE_TIME kFrame = 400000;

DEFINE_GUID(CLSID_TestInverter, 0x7A0E9C35, 0x1F62, 0x4B8D, 0xA4, 0x13, 0x6E, 0x2D, 0x90, 0xC7,
            0x58, 0x21);
DEFINE_GUID(MEDIASUBTYPE_TestOther, 0x8C3A51E3, 0x6D04, 0x4F19, 0xB7, 0x2E, 0x11, 0x90, 0x5A, 0x6B,
            0xC3, 0xD8);

// Inverts every byte. Drops the samples whose first byte is listed; answers quality messages
// itself or passes them on; records what it saw on its streaming thread.
class CInverter final : public CTransformFilter {
public:
    CInverter() : CTransformFilter(NAME("Inverter"), nullptr, CLSID_TestInverter) {}

    std::vector<BYTE> drop;      // set before streaming
    bool handleQuality = false;  // set before streaming

    HRESULT CheckInputType(const CMediaType* input) override
    {
        return IsEqualGUID(input->majortype, MEDIATYPE_Video) &&
                       IsEqualGUID(input->subtype, MEDIASUBTYPE_TestPattern)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) override
    {
        return IsEqualGUID(output->majortype, MEDIATYPE_Video) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, CMediaType* mediaType) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        return m_pInput->ConnectionMediaType(mediaType);
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = 1;
        request->cbBuffer = 64;
        ALLOCATOR_PROPERTIES actual;
        return allocator->SetProperties(request, &actual);
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        BYTE* source = nullptr;
        BYTE* target = nullptr;
        in->GetPointer(&source);
        out->GetPointer(&target);
        const LONG length = in->GetActualDataLength();
        AM_MEDIA_TYPE* carried = nullptr;
        if (out->GetMediaType(&carried) == S_OK) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_outputTypes.push_back(carried->subtype);
            DeleteMediaType(carried);
        }
        for (BYTE value : drop) {
            if (length > 0 && source[0] == value)
                return S_FALSE;
        }
        for (LONG i = 0; i < length; ++i)
            target[i] = BYTE(~source[i]);
        out->SetActualDataLength(length);
        return S_OK;
    }
    HRESULT AlterQuality(Quality quality) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_quality.push_back(quality);
        return handleQuality ? S_OK : S_FALSE;
    }
    HRESULT StartStreaming() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_starts;
        return S_OK;
    }
    HRESULT StopStreaming() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_stops;
        return S_OK;
    }

    int Starts()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_starts;
    }
    int Stops()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_stops;
    }
    std::vector<Quality> QualitySeen()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_quality;
    }
    std::vector<GUID> OutputTypesSeen()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_outputTypes;
    }
    IPin* Input() { return GetPin(0); }
    IPin* Output() { return GetPin(1); }

private:
    std::mutex m_lock;
    int m_starts = 0;                 // guarded by m_lock
    int m_stops = 0;                  // guarded by m_lock
    std::vector<Quality> m_quality;   // guarded by m_lock
    std::vector<GUID> m_outputTypes;  // guarded by m_lock
};

class SourceTransformRenderer : public ::testing::Test {
protected:
    void Build(const PatternOptions& options = PatternOptions())
    {
        m_source = new CPatternSource(options);
        m_filters[0] = ComPtr<IBaseFilter>(m_source);
        m_inverter = new CInverter;
        m_filters[1] = ComPtr<IBaseFilter>(m_inverter);
        m_renderer = new CNullRenderer;
        m_filters[2] = ComPtr<IBaseFilter>(m_renderer);
        m_events = ComPtr<IFilterGraph>(new CEventRecorder);
        for (ComPtr<IBaseFilter>& filter : m_filters)
            filter->JoinFilterGraph(m_events.Get(), L"");
    }
    void ConnectAll()
    {
        ASSERT_EQ(m_source->OutputPin()->Connect(m_inverter->Input(), nullptr), S_OK);
        ASSERT_EQ(m_inverter->Output()->Connect(m_renderer->InputPin(), nullptr), S_OK);
    }
    void TearDown() override
    {
        if (!m_renderer)
            return;
        Stop();
        for (IPin* pin : {m_source->OutputPin(), m_inverter->Input(), m_inverter->Output(),
                          m_renderer->InputPin()}) {
            pin->Disconnect();
        }
        for (ComPtr<IBaseFilter>& filter : m_filters)
            filter->JoinFilterGraph(nullptr, nullptr);
    }

    // From the renderer upstream, as the graph does.
    void Run()
    {
        for (int i = 2; i >= 0; --i)
            ASSERT_EQ(m_filters[i]->Run(0), S_OK);
    }
    void Stop()
    {
        for (int i = 2; i >= 0; --i)
            EXPECT_EQ(m_filters[i]->Stop(), S_OK);
    }
    CEventRecorder* Events() { return static_cast<CEventRecorder*>(m_events.Get()); }

    CPatternSource* m_source = nullptr;
    CInverter* m_inverter = nullptr;
    CNullRenderer* m_renderer = nullptr;
    ComPtr<IBaseFilter> m_filters[3];
    ComPtr<IFilterGraph> m_events;
};

TEST_F(SourceTransformRenderer, OutputConnectsOnlyAfterTheInputAndOffersItsTypes)
{
    Build();
    EXPECT_FALSE(SUCCEEDED(m_inverter->Output()->Connect(m_renderer->InputPin(), nullptr)));
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(m_inverter->Output()->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(1, &type, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    ConnectAll();
    ASSERT_EQ(types->Reset(), S_OK);
    ASSERT_EQ(types->Next(1, &type, &fetched), S_OK);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_TestPattern);
    DeleteMediaType(type);

    LPWSTR id = nullptr;
    ASSERT_EQ(m_inverter->Output()->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"Out");
    CoTaskMemFree(id);
    ComPtr<IPin> found;
    ASSERT_EQ(m_filters[1]->FindPin(L"In", &found), S_OK);
    EXPECT_EQ(found.Get(), m_inverter->Input());
    EXPECT_EQ(m_filters[1]->FindPin(L"XForm In", &found), VFW_E_NOT_FOUND);
}

TEST_F(SourceTransformRenderer, SamplesPassTransformedWithTheirPropertiesThenTheEnd)
{
    PatternOptions options;
    options.sampleCount = 6;
    options.syncEvery = 3;
    Build(options);
    ConnectAll();
    Run();
    ASSERT_TRUE(m_renderer->WaitForEndOfStream());
    ASSERT_TRUE(Events()->WaitFor(EC_COMPLETE));
    std::vector<SampleRecord> samples = m_renderer->Samples();
    ASSERT_EQ(samples.size(), 6u);
    for (size_t n = 0; n < samples.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(samples[n].start, REFERENCE_TIME(n) * kFrame);
        EXPECT_EQ(samples[n].stop, REFERENCE_TIME(n + 1) * kFrame);
        EXPECT_EQ(samples[n].syncPoint, n % 3 == 0);
        EXPECT_EQ(samples[n].discontinuity, n == 0);
        EXPECT_EQ(samples[n].length, 64);
        EXPECT_EQ(samples[n].data[0], BYTE(~BYTE(n)));
        EXPECT_EQ(samples[n].data[5], BYTE(~BYTE(n + 5)));
    }
    ASSERT_EQ(m_renderer->Segments().size(), 1u);
    Stop();
    EXPECT_EQ(m_inverter->Starts(), 1);
    EXPECT_EQ(m_inverter->Stops(), 1);
    EXPECT_EQ(Events()->Count(EC_COMPLETE), 1);
}

TEST_F(SourceTransformRenderer, DroppedSamplesMarkTheNextAsDiscontinuousAndReportOnce)
{
    PatternOptions options;
    options.sampleCount = 8;
    Build(options);
    m_inverter->drop = {2, 3, 6};
    ConnectAll();
    Run();
    ASSERT_TRUE(m_renderer->WaitForEndOfStream());
    std::vector<SampleRecord> samples = m_renderer->Samples();
    ASSERT_EQ(samples.size(), 5u);
    const BYTE delivered[] = {0, 1, 4, 5, 7};
    const bool discontinuous[] = {true, false, true, false, true};
    for (size_t i = 0; i < samples.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(samples[i].data[0], BYTE(~delivered[i]));
        EXPECT_EQ(samples[i].discontinuity, discontinuous[i]);
    }
    EXPECT_EQ(Events()->Count(EC_QUALITY_CHANGE), 1);
}

TEST_F(SourceTransformRenderer, FlushesAndNewSegmentsOfASeekPassDownstream)
{
    PatternOptions options;
    options.sampleCount = -1;
    Build(options);
    m_renderer->SetHold(true);
    ConnectAll();
    Run();
    ASSERT_TRUE(m_renderer->WaitForHeld());
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(m_source->OutputPin()->QueryInterface(IID_PPV_ARGS(&seeking)), S_OK);
    LONGLONG position = 7 * kFrame;
    const size_t before = m_renderer->SampleCount();
    ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_TRUE(m_renderer->WaitForSamples(before + 1));
    EXPECT_EQ(m_renderer->BeginFlushCount(), 1);
    EXPECT_EQ(m_renderer->EndFlushCount(), 1);
    std::vector<SegmentRecord> segments = m_renderer->Segments();
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[1].start, 7 * kFrame);
    const SampleRecord first = m_renderer->Samples()[before];
    EXPECT_EQ(first.data[0], BYTE(~BYTE(7)));
    EXPECT_TRUE(first.discontinuity);
    m_renderer->SetHold(false);
}

TEST_F(SourceTransformRenderer, QualityMessagesReachAlterQualityAndGoUpstreamWhenNotHandled)
{
    for (bool handled : {false, true}) {
        SCOPED_TRACE(handled);
        Build();
        m_inverter->handleQuality = handled;
        ConnectAll();
        Quality late{Famine, 900, 1000000, 2 * kFrame};
        EXPECT_EQ(m_renderer->SendQuality(late), S_OK);
        ASSERT_EQ(m_inverter->QualitySeen().size(), 1u);
        EXPECT_EQ(m_inverter->QualitySeen()[0].Late, 1000000);
        std::vector<Quality> upstream = m_source->Stream()->QualityMessages();
        if (handled) {
            EXPECT_TRUE(upstream.empty());
        } else {
            ASSERT_EQ(upstream.size(), 1u);
            EXPECT_EQ(upstream[0].Proportion, 900);
            EXPECT_EQ(upstream[0].TimeStamp, 2 * kFrame);
        }
        TearDown();
    }
    m_renderer = nullptr;
}

TEST_F(SourceTransformRenderer, SeekingOnTheRendererTravelsUpstreamToTheSource)
{
    PatternOptions options;
    options.sampleCount = 25;
    Build(options);
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(m_filters[2]->QueryInterface(IID_PPV_ARGS(&seeking)), S_OK);
    LONGLONG duration = 0;
    EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL);  // nothing upstream yet

    ConnectAll();
    ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 25 * kFrame);
    ASSERT_EQ(seeking->SetRate(2.0), S_OK);
    double rate = 0;
    ASSERT_EQ(m_source->Stream()->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 2.0);
    DWORD capabilities = AM_SEEKING_CanPlayBackwards;
    EXPECT_EQ(seeking->CheckCapabilities(&capabilities), S_FALSE);

    // IMediaPosition through the same chain, in seconds, although the source seeks only in
    // media time.
    ComPtr<IMediaPosition> position;
    ASSERT_EQ(m_filters[2]->QueryInterface(IID_PPV_ARGS(&position)), S_OK);
    REFTIME seconds = 0;
    ASSERT_EQ(position->get_Duration(&seconds), S_OK);
    EXPECT_DOUBLE_EQ(seconds, 1.0);
    ASSERT_EQ(position->put_CurrentPosition(0.4), S_OK);
    ASSERT_EQ(m_source->Stream()->Seeks().size(), 1u);
    EXPECT_EQ(m_source->Stream()->Seeks()[0], 4000000);
    LONG can = 0;
    ASSERT_EQ(position->CanSeekBackward(&can), S_OK);
    EXPECT_EQ(can, OATRUE);
    ASSERT_EQ(position->put_Rate(0.5), S_OK);
    ASSERT_EQ(m_source->Stream()->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 0.5);
    UINT typeInfo = 1;
    EXPECT_EQ(position->GetTypeInfoCount(&typeInfo), S_OK);
    EXPECT_EQ(typeInfo, 0u);
}

TEST_F(SourceTransformRenderer, PositionInSecondsReadsAndSetsEachTimeOfAMediaTimeSource)
{
    PatternOptions options;
    options.sampleCount = 25;
    Build(options);
    ComPtr<IMediaPosition> position;
    ASSERT_EQ(m_filters[2]->QueryInterface(IID_PPV_ARGS(&position)), S_OK);
    REFTIME seconds = -1;
    EXPECT_EQ(position->get_StopTime(&seconds), E_NOTIMPL);  // nothing upstream yet
    EXPECT_EQ(seconds, -1);

    ConnectAll();
    EXPECT_EQ(position->get_StopTime(nullptr), E_POINTER);
    ASSERT_EQ(position->get_StopTime(&seconds), S_OK);
    EXPECT_DOUBLE_EQ(seconds, 1.0);
    ASSERT_EQ(position->get_PrerollTime(&seconds), S_OK);
    EXPECT_DOUBLE_EQ(seconds, 0.0);
    ASSERT_EQ(position->put_CurrentPosition(0.4), S_OK);
    ASSERT_EQ(position->get_CurrentPosition(&seconds), S_OK);
    EXPECT_DOUBLE_EQ(seconds, 0.4);
    // A new stop time leaves the current position alone: the source sees no seek.
    ASSERT_EQ(position->put_StopTime(0.8), S_OK);
    EXPECT_EQ(m_source->Stream()->Seeks().size(), 1u);
    // Media time has no way to set the preroll.
    EXPECT_EQ(position->put_PrerollTime(0.1), E_NOTIMPL);
}

TEST_F(SourceTransformRenderer, MediaTypesCarriedOnSamplesInBothDirections)
{
    // A type the downstream allocator puts on an output sample reaches Transform and goes on
    // to the renderer with the sample.
    PatternOptions options;
    options.sampleCount = 3;
    Build(options);
    ConnectAll();
    CMediaType other;
    ASSERT_EQ(m_renderer->InputPin()->ConnectionMediaType(&other), S_OK);
    other.SetSubtype(&MEDIASUBTYPE_TestOther);
    m_renderer->AttachTypeToNextSample(other);
    Run();
    ASSERT_TRUE(m_renderer->WaitForEndOfStream());
    ASSERT_EQ(m_inverter->OutputTypesSeen().size(), 1u);
    EXPECT_EQ(m_inverter->OutputTypesSeen()[0], MEDIASUBTYPE_TestOther);
    std::vector<SampleRecord> samples = m_renderer->Samples();
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_TRUE(samples[0].typeChanged);
    EXPECT_EQ(samples[0].carriedSubtype, MEDIASUBTYPE_TestOther);
    EXPECT_FALSE(samples[1].typeChanged);
    TearDown();

    // An input sample carrying a type the transform refuses ends the stream with an error.
    options.sampleCount = 10;
    options.typeChangeAt = 2;
    options.typeChangeSubtype = MEDIASUBTYPE_TestOther;
    Build(options);
    ConnectAll();
    Run();
    ASSERT_TRUE(Events()->WaitFor(EC_ERRORABORT));
    ASSERT_TRUE(m_renderer->WaitForEndOfStream());
    EXPECT_EQ(m_renderer->SampleCount(), 2u);
}

TEST_F(SourceTransformRenderer, StopFromTheRendererUpEndsAReceiveBlockedDownstream)
{
    PatternOptions options;
    options.sampleCount = -1;
    Build(options);
    m_renderer->SetHold(true);
    ConnectAll();
    for (int cycle = 0; cycle < 5; ++cycle) {
        Run();
        ASSERT_TRUE(m_renderer->WaitForHeld());
        Stop();
    }
    EXPECT_EQ(m_source->Stream()->ThreadDestroys(), 5);
    EXPECT_EQ(m_inverter->Stops(), 5);
}

}  // namespace
}  // namespace dshowtest
