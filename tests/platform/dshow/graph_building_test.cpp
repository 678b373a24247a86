// The filter graph manager as a container: creation by class identifier, membership and names,
// direct connections and their errors, enumeration, the references it gives up, and the system
// clock.
#include <gtest/gtest.h>

#include <vector>

#include "graph_harness.h"
#include "platform/com.h"
#include "platform/dshow.h"
#include "platform/kernel.h"

namespace {

using graphtest::CLoggingRenderer;
using graphtest::CTestSource;
using graphtest::kSecond;

ComPtr<IBaseFilter> Filter(CBaseFilter* filter)
{
    return ComPtr<IBaseFilter>(filter);
}

class GraphBuilding : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&graph)),
                  S_OK);
    }
    void TearDown() override
    {
        graph = nullptr;
        CoUninitialize();
    }

    int MemberCount()
    {
        ComPtr<IEnumFilters> filters;
        EXPECT_EQ(graph->EnumFilters(&filters), S_OK);
        int count = 0;
        ComPtr<IBaseFilter> filter;
        ULONG fetched = 0;
        while (filters->Next(1, &filter, &fetched) == S_OK)
            ++count;
        return count;
    }

    ComPtr<IGraphBuilder> graph;
};

TEST_F(GraphBuilding, ClassIdentifierGivesOneObjectWithTheGraphInterfaces)
{
    ComPtr<IUnknown> identity;
    ASSERT_EQ(graph->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
    const IID interfaces[] = {IID_IFilterGraph,  IID_IGraphBuilder,   IID_IMediaControl,
                              IID_IMediaSeeking, IID_IMediaPosition,  IID_IMediaEvent,
                              IID_IMediaEventEx, IID_IMediaEventSink, IID_IBasicAudio,
                              IID_IMediaFilter,  IID_IPersist,        IID_IDispatch};
    for (const IID& iid : interfaces) {
        SCOPED_TRACE(platform::GuidToString(iid));
        ComPtr<IUnknown> part;
        ASSERT_EQ(graph->QueryInterface(iid, reinterpret_cast<void**>(&part)), S_OK);
        ComPtr<IUnknown> same;
        ASSERT_EQ(part.As(&same), S_OK);
        EXPECT_EQ(same.Get(), identity.Get());
    }
    ComPtr<IBaseFilter> notAFilter;
    EXPECT_EQ(graph.As(&notAFilter), E_NOINTERFACE);

    ComPtr<IUnknown> inner;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, identity.Get(), CLSCTX_INPROC_SERVER,
                               IID_IUnknown, reinterpret_cast<void**>(&inner)),
              CLASS_E_NOAGGREGATION);

    ComPtr<IMediaFilter> media;
    ASSERT_EQ(graph.As(&media), S_OK);
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(media->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_FilterGraph);
}

TEST_F(GraphBuilding, NamesAreMadeUniqueAndFound)
{
    auto* first = new CLoggingRenderer("first", nullptr);
    auto* second = new CLoggingRenderer("second", nullptr);
    auto* unnamed = new CLoggingRenderer("unnamed", nullptr);
    ComPtr<IBaseFilter> a = Filter(first), b = Filter(second), c = Filter(unnamed);

    EXPECT_EQ(graph->AddFilter(nullptr, L"Nothing"), E_POINTER);
    EXPECT_EQ(graph->AddFilter(a.Get(), L"Video Mixing Renderer Main"), S_OK);
    EXPECT_EQ(graph->AddFilter(b.Get(), L"Video Mixing Renderer Main"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(graph->AddFilter(c.Get(), nullptr), S_OK);
    EXPECT_TRUE(FAILED(graph->AddFilter(a.Get(), L"Again"))) << "a filter joins a graph once";
    EXPECT_EQ(MemberCount(), 3);

    struct {
        const wchar_t* name;
        IBaseFilter* expected;
    } const lookups[] = {{L"Video Mixing Renderer Main", a.Get()},
                         {L"Video Mixing Renderer Main 0001", b.Get()},
                         {L"Filter", c.Get()},
                         {L"Again", nullptr}};
    for (const auto& lookup : lookups) {
        SCOPED_TRACE(platform::WideToAnsi(lookup.name));
        ComPtr<IBaseFilter> found;
        HRESULT hr = graph->FindFilterByName(lookup.name, &found);
        EXPECT_EQ(hr, lookup.expected ? S_OK : VFW_E_NOT_FOUND);
        EXPECT_EQ(found.Get(), lookup.expected);
    }

    // The filter learns its name and its graph.
    FILTER_INFO info{};
    ASSERT_EQ(b->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Video Mixing Renderer Main 0001");
    ComPtr<IFilterGraph> joined;
    joined.Attach(info.pGraph);
    ComPtr<IFilterGraph> mine;
    ASSERT_EQ(graph.As(&mine), S_OK);
    EXPECT_EQ(joined.Get(), mine.Get());

    // A long name is cut to fit FILTER_INFO, and still made unique.
    std::wstring longName(300, L'x');
    auto* third = new CLoggingRenderer("third", nullptr);
    auto* fourth = new CLoggingRenderer("fourth", nullptr);
    ComPtr<IBaseFilter> d = Filter(third), e = Filter(fourth);
    EXPECT_EQ(graph->AddFilter(d.Get(), longName.c_str()), S_OK);
    EXPECT_EQ(graph->AddFilter(e.Get(), longName.c_str()), VFW_S_DUPLICATE_NAME);
    ASSERT_EQ(e->QueryFilterInfo(&info), S_OK);
    if (info.pGraph)
        info.pGraph->Release();
    EXPECT_EQ(std::wstring(info.achName), std::wstring(MAX_FILTER_NAME - 6, L'x') + L" 0001");
}

TEST_F(GraphBuilding, EnumeratorListsMembersAndNoticesChanges)
{
    auto* first = new CLoggingRenderer("first", nullptr);
    auto* second = new CLoggingRenderer("second", nullptr);
    ComPtr<IBaseFilter> a = Filter(first), b = Filter(second);
    ASSERT_EQ(graph->AddFilter(a.Get(), L"A"), S_OK);
    ASSERT_EQ(graph->AddFilter(b.Get(), L"B"), S_OK);

    ComPtr<IEnumFilters> filters;
    ASSERT_EQ(graph->EnumFilters(&filters), S_OK);
    IBaseFilter* listed[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(filters->Next(3, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(listed[0], a.Get());
    EXPECT_EQ(listed[1], b.Get());
    listed[0]->Release();
    listed[1]->Release();

    ComPtr<IEnumFilters> clone;
    ASSERT_EQ(filters->Clone(&clone), S_OK);
    ASSERT_EQ(graph->RemoveFilter(a.Get()), S_OK);
    ComPtr<IBaseFilter> next;
    EXPECT_EQ(filters->Reset(), S_OK);
    EXPECT_EQ(clone->Next(1, &next, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    ASSERT_EQ(filters->Next(1, &next, nullptr), S_OK);
    EXPECT_EQ(next.Get(), b.Get());
    EXPECT_EQ(filters->Next(1, &next, nullptr), S_FALSE);
}

TEST_F(GraphBuilding, ConnectJoinsTwoMemberPinsDirectlyOrFails)
{
    auto* source = new CTestSource({5 * kSecond}, nullptr);
    auto* renderer = new CLoggingRenderer("renderer", nullptr);
    auto* outsider = new CLoggingRenderer("outsider", nullptr);
    auto* refusing = new dshowtest::CNullRenderer(
        [](const CMediaType& type) { return type.majortype != MEDIATYPE_Video; });
    ComPtr<IBaseFilter> s = Filter(source), r = Filter(renderer), o = Filter(outsider),
                        x = Filter(refusing);
    ASSERT_EQ(graph->AddFilter(s.Get(), L"Source"), S_OK);
    ASSERT_EQ(graph->AddFilter(r.Get(), L"Renderer"), S_OK);
    ASSERT_EQ(graph->AddFilter(x.Get(), L"Refusing"), S_OK);
    IPin* out = source->Pin(0);
    IPin* in = renderer->InputPin();

    struct {
        const char* what;
        IPin* output;
        IPin* input;
        HRESULT expected;
    } const refused[] = {
        {"no output pin", nullptr, in, E_POINTER},
        {"no input pin", out, nullptr, E_POINTER},
        {"pins the wrong way round", in, out, VFW_E_INVALID_DIRECTION},
        {"a pin of a filter outside the graph", out, outsider->InputPin(), VFW_E_NOT_IN_GRAPH},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(graph->Connect(c.output, c.input), c.expected);
        ComPtr<IPin> peer;
        EXPECT_EQ(out->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    }

    // A renderer that refuses the source's type: the connection fails and nothing is put in
    // between to convert.
    EXPECT_TRUE(FAILED(graph->Connect(out, refusing->InputPin())));
    EXPECT_EQ(MemberCount(), 3);

    ASSERT_EQ(graph->Connect(out, in), S_OK);
    ComPtr<IPin> peer;
    ASSERT_EQ(out->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer.Get(), in);
    EXPECT_EQ(graph->Connect(out, in), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(MemberCount(), 3);
}

TEST_F(GraphBuilding, DisconnectAndRemoveFilterAnswerTheirErrors)
{
    auto* source = new CTestSource({5 * kSecond, 5 * kSecond}, nullptr);
    auto* renderer = new CLoggingRenderer("renderer", nullptr);
    auto* outsider = new CLoggingRenderer("outsider", nullptr);
    ComPtr<IBaseFilter> s = Filter(source), r = Filter(renderer), o = Filter(outsider);
    ASSERT_EQ(graph->AddFilter(s.Get(), L"Source"), S_OK);
    ASSERT_EQ(graph->AddFilter(r.Get(), L"Renderer"), S_OK);
    ASSERT_EQ(graph->Connect(source->Pin(0), renderer->InputPin()), S_OK);

    EXPECT_EQ(graph->Disconnect(nullptr), E_POINTER);
    EXPECT_EQ(graph->Disconnect(source->Pin(1)), S_FALSE) << "an unconnected pin";
    EXPECT_EQ(graph->RemoveFilter(nullptr), E_POINTER);
    EXPECT_EQ(graph->RemoveFilter(o.Get()), VFW_E_NOT_IN_GRAPH) << "a filter of no graph";

    ComPtr<IMediaControl> control;
    ASSERT_EQ(graph.As(&control), S_OK);
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    EXPECT_EQ(graph->RemoveFilter(r.Get()), VFW_E_NOT_STOPPED);
    EXPECT_EQ(graph->Disconnect(source->Pin(0)), VFW_E_NOT_STOPPED);
    ASSERT_EQ(control->Stop(), S_OK);

    // Removing a connected filter breaks both ends of its connection.
    ASSERT_EQ(graph->RemoveFilter(r.Get()), S_OK);
    ComPtr<IPin> peer;
    EXPECT_EQ(source->Pin(0)->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(renderer->InputPin()->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    FILTER_INFO info{};
    ASSERT_EQ(r->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(graph->RemoveFilter(r.Get()), VFW_E_NOT_IN_GRAPH) << "removed already";

    // Disconnect breaks one end only: the graph caller breaks the other.
    ASSERT_EQ(graph->AddFilter(r.Get(), L"Renderer"), S_OK);
    ASSERT_EQ(graph->Connect(source->Pin(0), renderer->InputPin()), S_OK);
    EXPECT_EQ(graph->Disconnect(source->Pin(0)), S_OK);
    EXPECT_EQ(source->Pin(0)->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(renderer->InputPin()->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(graph->Disconnect(renderer->InputPin()), S_OK);
    EXPECT_EQ(graph->Disconnect(renderer->InputPin()), S_FALSE);
}

TEST_F(GraphBuilding, ReleasingTheGraphLetsItsConnectedFiltersGo)
{
    const LONG before = CBaseObject::ObjectsActive();
    {
        auto* source = new CTestSource({2 * kSecond, 2 * kSecond}, nullptr);
        auto* video = new CLoggingRenderer("video", nullptr);
        auto* audio = new CLoggingRenderer("audio", nullptr);
        ComPtr<IBaseFilter> s = Filter(source), v = Filter(video), a = Filter(audio);
        ASSERT_EQ(graph->AddFilter(s.Get(), L"Source"), S_OK);
        ASSERT_EQ(graph->AddFilter(v.Get(), L"Video"), S_OK);
        ASSERT_EQ(graph->AddFilter(a.Get(), L"Audio"), S_OK);
        ASSERT_EQ(graph->Connect(source->Pin(0), video->InputPin()), S_OK);
        ASSERT_EQ(graph->Connect(source->Pin(1), audio->InputPin()), S_OK);
        ComPtr<IMediaControl> control;
        ASSERT_EQ(graph.As(&control), S_OK);
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        EXPECT_GT(CBaseObject::ObjectsActive(), before);
    }
    // Released while running: the graph stops and disconnects its filters, which hold each
    // other through their pins, so that every one of them is destroyed.
    graph = nullptr;
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

TEST(SystemClock, TellsTimeAndSignalsAdviseRequests)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    {
        ComPtr<IReferenceClock> clock;
        ASSERT_EQ(CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&clock)),
                  S_OK);
        REFERENCE_TIME first = 0, second = 0;
        ASSERT_EQ(clock->GetTime(&first), S_OK);
        ASSERT_EQ(clock->GetTime(&second), S_OK);
        EXPECT_GT(first, 0);
        EXPECT_GE(second, first);

        HANDLE due = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE soon = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD_PTR cookie = 0;
        HEVENT dueEvent = HEVENT(due), soonEvent = HEVENT(soon), neverEvent = HEVENT(never);

        struct {
            const char* what;
            REFERENCE_TIME base;
            REFERENCE_TIME stream;
            HEVENT event;
        } const invalid[] = {{"a time of 0", 0, 0, dueEvent},
                             {"a negative time", first, -2 * first, dueEvent},
                             {"a sum past the largest time", 0x7FFFFFFFFFFFFFFFLL, first, dueEvent},
                             {"no event", first, 0, 0}};
        for (const auto& c : invalid) {
            SCOPED_TRACE(c.what);
            EXPECT_EQ(clock->AdviseTime(c.base, c.stream, c.event, &cookie), E_INVALIDARG);
        }
        EXPECT_EQ(clock->AdviseTime(first, 0, dueEvent, nullptr), E_POINTER);

        // A time that has passed signals at once.
        ASSERT_EQ(clock->AdviseTime(first, 0, dueEvent, &cookie), S_OK);
        EXPECT_EQ(WaitForSingleObject(due, 0), WAIT_OBJECT_0);
        EXPECT_EQ(clock->Unadvise(cookie), S_FALSE) << "fired requests are forgotten";

        // A time a little ahead is signalled by the clock's thread; one an hour ahead can be
        // withdrawn and then never comes.
        REFERENCE_TIME now = 0;
        clock->GetTime(&now);
        DWORD_PTR hourCookie = 0;
        ASSERT_EQ(clock->AdviseTime(now, 3600 * kSecond, neverEvent, &hourCookie), S_OK);
        ASSERT_EQ(clock->AdviseTime(now, kSecond / 100, soonEvent, &cookie), S_OK);
        EXPECT_EQ(WaitForSingleObject(soon, 20000), WAIT_OBJECT_0);
        EXPECT_EQ(clock->Unadvise(hourCookie), S_OK);
        EXPECT_EQ(clock->Unadvise(hourCookie), S_FALSE);
        EXPECT_EQ(WaitForSingleObject(never, 0), WAIT_TIMEOUT);

        EXPECT_EQ(clock->AdvisePeriodic(now, kSecond, 0, &cookie), E_NOTIMPL);
        CloseHandle(due);
        CloseHandle(soon);
        CloseHandle(never);
    }
    CoUninitialize();
}

}  // namespace
