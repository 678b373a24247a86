// The playback engine on a machine whose sound renderer cannot be made: the sound renderer's
// class is taken, before the layer registers its own, by one whose every creation fails as it
// does without sound hardware. Recordings with sound then open without a message and play to
// their end, silently.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "EngineTesting.h"
#include "com/classes.h"

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

HRESULT NoSoundHardware(IUnknown*, REFIID, void** object)
{
    *object = nullptr;
    return VFW_E_NO_AUDIO_HARDWARE;
}

class SilentEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Registered before anything asks COM for a class, so before the layer's own.
        ASSERT_TRUE(platform::RegisterSystemClass(CLSID_DSoundRender, &NoSoundHardware));
        m_world = std::make_unique<EngineWorld>();
    }
    void TearDown() override { m_world.reset(); }

private:
    std::unique_ptr<EngineWorld> m_world;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new SilentEnvironment);

TEST(SilentEngine, RecordingsWithSoundOpenAndPlayToTheirEndWithoutTheSoundRenderer)
{
    TemporaryFolder folder;
    CVideoMgr engine;
    EngineWindows windows;
    // The engine has COM ready for this thread.
    ComPtr<IBaseFilter> probe;
    ASSERT_EQ(CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&probe)),
              VFW_E_NO_AUDIO_HARDWARE);
    windows.Attach(&engine);
    platform::testing::ClearShownMessageBoxes();

    struct Case {
        const char* name;
        fs::path file;
        int streams;
    };
    const Case cases[] = {
        {"pair",
         folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                     Fixture("single/pair/" + std::string(kRearName)), "pair"),
         2},
        {"front alone", folder.Pair(Fixture("single/normal.mp4"), "", "alone"), 1},
        {"avi", folder.Path() / "lines.avi", 1},
    };
    fs::copy_file(Fixture("avi/lines.avi"), folder.Path() / "lines.avi");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(engine.OnMovieOpen(WindowsPath(c.file), FALSE, FALSE));
        EXPECT_EQ(engine.GetVideoTrackCount(), c.streams);
        ComPtr<IFilterGraph> graph = GraphOf(engine.GetVideoRenderer(FALSE));
        ASSERT_TRUE(graph);
        EXPECT_FALSE(InGraph(graph.Get(), L"Audio Renderer"));
        // Nothing was tried on the sound's side: the wrapper of an AVI recording waits
        // unconnected.
        EXPECT_EQ(FeedingPin(graph.Get(), L"ACM Audio Wrapper"), L"");
        EXPECT_EQ(FeedingPin(graph.Get(), L"KV Video Decoder Main"),
                  c.file.extension() == ".avi" ? L"Stream 00" : L"Front Video");
        EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
        graph = nullptr;

        engine.SetVolume(80);
        const int ends = windows.Count(WM_VIDEO_END);
        ASSERT_EQ(engine.Play(), S_OK);
        EXPECT_EQ(engine.GetState(), STATE_PLAY);
        ASSERT_TRUE(windows.PumpUntil([&] { return windows.Count(WM_VIDEO_END) > ends; }));
        EXPECT_EQ(engine.GetState(), STATE_STOP);
        EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
    }
    windows.engine = nullptr;
}

}  // namespace
