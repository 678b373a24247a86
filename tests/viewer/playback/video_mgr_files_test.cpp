// The playback engine in a program whose folder holds none of the filter libraries: a class
// that is not registered cannot be created, whatever the loader's other search places hold,
// and a registered one needs no file beside the program.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineTesting.h"
#include "filters/dualsource/KVMP4DualSourceInfo.h"

using namespace enginetest;
namespace fs = std::filesystem;

namespace {

class FilterFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::ClearShownMessageBoxes();
        windows.Attach(&engine);
        front = folder.Pair(Fixture("single/pair/" + std::string(kFrontName)),
                            Fixture("single/pair/" + std::string(kRearName)));
    }
    void TearDown() override
    {
        engine.Close();
        windows.engine = nullptr;
    }
    EngineWorld world;  // a registry of its own for each test
    TemporaryFolder folder;
    fs::path front;
    CVideoMgr engine;
    EngineWindows windows;
};

TEST_F(FilterFiles, AnUnregisteredClassWithoutItsFileNamesTheFilterInAMessageBox)
{
    ASSERT_FALSE(fs::exists(fs::canonical("/proc/self/exe").parent_path() /
                            "KVMP4DualSourceFilter.ax"));
    EXPECT_FALSE(engine.OnMovieOpen(WindowsPath(front), FALSE, FALSE));
    EXPECT_EQ(engine.GetState(), STATE_STOP);
    const auto boxes = platform::testing::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Error : Failed to Create Filter 'KV MP4 Dual Source Filter' (0x80004005)");

    // With the source registered, the decoder is the first filter that cannot be made.
    ASSERT_TRUE(RegisterLibrary("KVMP4DualSourceFilter.ax", true));
    platform::testing::ClearShownMessageBoxes();
    EXPECT_FALSE(engine.OnMovieOpen(WindowsPath(front), FALSE, FALSE));
    const auto second = platform::testing::ShownMessageBoxes();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].text, L"Error : Failed to Create Filter 'KV Video Decoder Sub' (0x80004005)");
    EXPECT_EQ(OpenDescriptors(front), 0);
}

TEST_F(FilterFiles, RegisteredClassesAreCreatedWithoutAFileBesideTheProgram)
{
    ASSERT_TRUE(RegisterLibrary("KVMP4DualSourceFilter.ax", true));
    ASSERT_TRUE(RegisterLibrary("KVH264DecodeFilter.ax", true));
    EXPECT_TRUE(engine.OnMovieOpen(WindowsPath(front), FALSE, FALSE));
    EXPECT_EQ(engine.GetVideoTrackCount(), 2);
    EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
}

}  // namespace
