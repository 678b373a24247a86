// The playback engine beside source filters that lack what the engine asks of them. The dual
// source's class is taken, for the whole process, by a stand-in that answers each test case's
// way (no IFileSourceFilter, no pairing interface, no track interface, or a refusal to join the
// graph), and the AVI splitter's by one whose output cannot list its media types. Every such
// open fails as its row of the failure table says, and leaves no source filter alive. The
// decoders and renderers are the real ones.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "EngineTesting.h"
#include "com/classes.h"
#include "filters/dualsource/KVMP4DualSourceInfo.h"

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

// What the stand-in source leaves out.
enum class Lack { FileSource, PairingInfo, TrackInfo, JoiningTheGraph };

std::atomic<Lack> g_lack{Lack::FileSource};
std::atomic<int> g_alive{0};  // stand-in sources not yet destroyed

class CStandInSource final : public CBaseFilter,
                             public IFileSourceFilter,
                             public IKVMP4DualSourceInfo {
public:
    explicit CStandInSource(Lack lack)
        : CBaseFilter(NAME("Stand-in source"), nullptr, &m_lock, CLSID_KVMP4DualSourceFilter),
          m_lack(lack)
    {
        ++g_alive;
    }
    ~CStandInSource() override { --g_alive; }

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IFileSourceFilter && m_lack != Lack::FileSource)
            return GetInterface(static_cast<IFileSourceFilter*>(this), object);
        if (iid == IID_IKVMP4DualSourceInfo && m_lack != Lack::PairingInfo)
            return GetInterface(static_cast<IKVMP4DualSourceInfo*>(this), object);
        return CBaseFilter::NonDelegatingQueryInterface(iid, object);
    }

    int GetPinCount() override { return 0; }
    CBasePin* GetPin(int) override { return nullptr; }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override
    {
        if (graph && m_lack == Lack::JoiningTheGraph)
            return E_FAIL;
        return CBaseFilter::JoinFilterGraph(graph, name);
    }

    // IFileSourceFilter: every file loads.
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE*) override
    {
        *name = nullptr;
        return E_FAIL;
    }

    // IKVMP4DualSourceInfo: a front file alone.
    HRESULT STDMETHODCALLTYPE GetChannelInfo(int* front, int* rear) override
    {
        *front = 1;
        *rear = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPairTolerance(int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSingleFileMode(BOOL) override { return S_OK; }

private:
    CCritSec m_lock;
    const Lack m_lack;
};

HRESULT CreateStandIn(IUnknown*, REFIID iid, void** object)
{
    auto* source = new CStandInSource(g_lack.load());
    source->NonDelegatingAddRef();
    const HRESULT hr = source->NonDelegatingQueryInterface(iid, object);
    source->NonDelegatingRelease();
    return hr;
}

// A stand-in for the AVI splitter: its input takes the reader's stream, and its one output
// pin fails to list its media types, so the engine cannot count the video streams.
std::atomic<int> g_aliveSplitters{0};
std::atomic<int> g_typeListings{0};  // asked of the stand-in splitter's output

class CStandInSplitterInput final : public CBaseInputPin {
public:
    CStandInSplitterInput(CBaseFilter* filter, CCritSec* lock, HRESULT* phr)
        : CBaseInputPin(NAME("Stand-in splitter input"), filter, lock, phr, L"input pin")
    {
    }
    HRESULT CheckMediaType(const CMediaType* type) override
    {
        return IsEqualGUID(*type->Type(), MEDIATYPE_Stream) ? S_OK : S_FALSE;
    }
};

class CStandInSplitterOutput final : public CBaseOutputPin {
public:
    CStandInSplitterOutput(CBaseFilter* filter, CCritSec* lock, HRESULT* phr)
        : CBaseOutputPin(NAME("Stand-in splitter output"), filter, lock, phr, L"Stream 00")
    {
    }
    HRESULT CheckMediaType(const CMediaType*) override { return S_FALSE; }
    HRESULT DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*) override
    {
        return E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override
    {
        ++g_typeListings;
        *types = nullptr;
        return E_FAIL;
    }
};

class CStandInSplitter final : public CBaseFilter {
public:
    CStandInSplitter()
        : CBaseFilter(NAME("Stand-in splitter"), nullptr, &m_lock, CLSID_AviSplitter),
          m_input(this, &m_lock, &m_hr),
          m_output(this, &m_lock, &m_hr)
    {
        ++g_aliveSplitters;
    }
    ~CStandInSplitter() override { --g_aliveSplitters; }

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int index) override
    {
        if (index == 0)
            return &m_input;
        return index == 1 ? &m_output : nullptr;
    }

private:
    CCritSec m_lock;
    HRESULT m_hr = S_OK;
    CStandInSplitterInput m_input;
    CStandInSplitterOutput m_output;
};

HRESULT CreateStandInSplitter(IUnknown*, REFIID iid, void** object)
{
    auto* splitter = new CStandInSplitter();
    splitter->NonDelegatingAddRef();
    const HRESULT hr = splitter->NonDelegatingQueryInterface(iid, object);
    splitter->NonDelegatingRelease();
    return hr;
}

class StandInEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Registered before anything asks COM for a class, so before the layer's own.
        ASSERT_TRUE(platform::RegisterSystemClass(CLSID_KVMP4DualSourceFilter, &CreateStandIn));
        ASSERT_TRUE(platform::RegisterSystemClass(CLSID_AviSplitter, &CreateStandInSplitter));
        m_world = std::make_unique<EngineWorld>(false);
    }
    void TearDown() override { m_world.reset(); }

private:
    std::unique_ptr<EngineWorld> m_world;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new StandInEnvironment);

TEST(StandInSource, EachMissingPieceFailsTheOpenWithItsMessageAndLeavesNoSource)
{
    TemporaryFolder folder;
    CVideoMgr engine;
    EngineWindows windows;
    windows.Attach(&engine);
    const fs::path front = folder.Pair(Fixture("single/normal.mp4"), "");
    struct Case {
        const char* name;
        Lack lack;
        BOOL singleFile;
        const wchar_t* box;
    };
    const Case cases[] = {
        {"no file loading", Lack::FileSource, FALSE,
         L"Error : Fail QueryInterface IID_IFileSourceFilter (0x1)"},
        {"no pairing, one file asked for", Lack::PairingInfo, TRUE,
         L"Error : Fail QueryInterface IKVMP4DualSourceInfo(0x80004002).0"},
        {"no pairing", Lack::PairingInfo, FALSE,
         L"Error : Fail QueryInterface IKVMP4DualSourceInfo(0x80004002)"},
        {"no track information", Lack::TrackInfo, FALSE,
         L"Error : Fail QueryInterface IKVTrackInfo(0x80004002)"},
        {"refused by the graph", Lack::JoiningTheGraph, FALSE,
         L"Error : DirectShow KV MP4 Dual Source (0x80004005)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_lack = c.lack;
        platform::testing::ClearShownMessageBoxes();
        EXPECT_FALSE(engine.OnMovieOpen(WindowsPath(front), c.singleFile, FALSE));
        EXPECT_EQ(engine.GetState(), STATE_STOP);
        EXPECT_EQ(engine.GetVideoTrackCount(), 0);
        const auto boxes = platform::testing::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.box);
        EXPECT_EQ(boxes[0].buttons, std::vector<std::wstring>{L"OK"});
        EXPECT_EQ(boxes[0].owner, windows.owner);
        // The failed open let go of the source it made; the next open starts clean.
        EXPECT_EQ(g_alive.load(), 0);
        EXPECT_FALSE(GraphOf(engine.GetVideoRenderer(FALSE)));
    }
    engine.Close();
    windows.engine = nullptr;
}

// An AVI open that fails at the count of the splitter's streams (only traced, as connection
// failures are) leaves neither the splitter nor the reader with its file open.
TEST(StandInSplitter, AFailedStreamCountFailsTheOpenAndLeavesNoReaderNorSplitter)
{
    TemporaryFolder folder;
    CVideoMgr engine;
    EngineWindows windows;
    windows.Attach(&engine);
    const fs::path avi = folder.Path() / "lines.avi";
    fs::copy_file(Fixture("avi/lines.avi"), avi);
    platform::testing::ClearShownMessageBoxes();
    EXPECT_FALSE(engine.OnMovieOpen(WindowsPath(avi), FALSE, FALSE));
    EXPECT_EQ(engine.GetState(), STATE_STOP);
    EXPECT_EQ(engine.GetVideoTrackCount(), 0);
    EXPECT_GT(g_typeListings.load(), 0) << "the reader connected and the count was asked";
    EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
    EXPECT_EQ(g_aliveSplitters.load(), 0);
    EXPECT_EQ(OpenDescriptors(avi), 0) << "the reader let go of the file";
    engine.Close();
    windows.engine = nullptr;
}

}  // namespace
