// Test support for the playback engine: the recordings it opens, pairs assembled from them in
// a temporary folder, the owner and video windows it drives, and what its graph holds.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FakeVideoRenderer.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/user.h"
#include "playback/VideoMgr.h"

namespace enginetest {

constexpr const char* kFrontName = "REC_2026_05_14_08_30_00_F.mp4";
constexpr const char* kRearName = "REC_2026_05_14_08_30_00_R.mp4";

// A file of the fixture set (mkcard fixtures) by its path inside the set.
inline std::string Fixture(const std::string& relative)
{
    const char* dir = std::getenv("KV_FIXTURES");
    EXPECT_NE(dir, nullptr) << "KV_FIXTURES is not set";
    return std::string(dir ? dir : ".") + "/" + relative;
}

// A file the engine tests' own fixture step wrote (longer recordings).
inline std::string EngineFixture(const std::string& name)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    return std::string(build ? build : ".") + "/fixtures-engine/" + name;
}

inline std::wstring WindowsPath(const std::filesystem::path& path)
{
    return platform::ToWindowsPath(path.string());
}

// A new empty folder, removed with everything in it when the object goes.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        char pattern[] = "/tmp/kv-engine-XXXXXX";
        m_path = mkdtemp(pattern);
    }
    ~TemporaryFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    const std::filesystem::path& Path() const { return m_path; }

    // Copies fixture files in as the front and (unless rear is empty) the rear recording of
    // one moment, and returns the front file's path.
    std::filesystem::path Pair(const std::string& front, const std::string& rear,
                               const std::filesystem::path& sub = {})
    {
        const std::filesystem::path dir = m_path / sub;
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(front, dir / kFrontName);
        if (!rear.empty())
            std::filesystem::copy_file(rear, dir / kRearName);
        return dir / kFrontName;
    }

private:
    std::filesystem::path m_path;
};

// The world an engine test runs in, for the life of the object: an empty registry in a new
// folder (no filter class is registered), message boxes answered without a user, and the
// stand-in video renderer registered unless the layer has a real one or the test asks for the
// layer's own.
class EngineWorld {
public:
    explicit EngineWorld(bool standInRenderer = true)
    {
        char pattern[] = "/tmp/kv-engine-registry-XXXXXX";
        m_home = mkdtemp(pattern);
        platform::testing::SetHomeFolder(m_home);
        platform::testing::AnswerMessageBoxes({});
        if (standInRenderer)
            CFakeVideoRenderer::RegisterClass();
    }
    ~EngineWorld()
    {
        std::error_code error;
        std::filesystem::remove_all(m_home, error);
    }

private:
    std::string m_home;
};

// How many of the process's file descriptors are open on the file.
inline int OpenDescriptors(const std::filesystem::path& file)
{
    int count = 0;
    std::error_code error;
    const auto target = std::filesystem::canonical(file, error);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code readError;
        auto link = std::filesystem::read_symlink(entry.path(), readError);
        if (!readError && link == target)
            ++count;
    }
    return count;
}

// The owner (the main dialog's part: it passes graph notifications to the engine and records
// every engine message it receives) and the two video windows, 640 x 360 and 320 x 180.
class EngineWindows {
public:
    struct Received {
        UINT message;
        int state;        // the engine's state when the message arrived
        int videoTracks;  // its video stream count then
    };

    EngineWindows();
    ~EngineWindows();

    HWND owner = nullptr;
    HWND main = nullptr;
    HWND sub = nullptr;
    CVideoMgr* engine = nullptr;
    std::vector<Received> received;
    // Called for each WM_VIDEO_END after it was recorded.
    std::function<void()> onVideoEnd;

    // Makes these the engine's owner and video windows, and passes it the owner's notices.
    void Attach(CVideoMgr* e)
    {
        engine = e;
        e->SetOwnerWnd(owner);
        e->SetVideoWnd(main, sub);
    }

    // Pumps the thread's messages until `done` holds or the milliseconds ran out.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeout = 30000);
    int Count(UINT message) const;

private:
    static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The graph the renderer is in (null when it is in none), and the name of the output pin that
// feeds the first input pin of the graph's filter of that name ("" when the filter is missing
// or its input is not connected).
ComPtr<IFilterGraph> GraphOf(IBaseFilter* filter);
std::wstring FeedingPin(IFilterGraph* graph, const wchar_t* filterName);
bool InGraph(IFilterGraph* graph, const wchar_t* filterName);

// The destination rectangle and aspect mode a renderer was last given.
RECT DestinationOf(IBaseFilter* renderer);
DWORD AspectOf(IBaseFilter* renderer);
// The fake renderer behind a filter, or null for a real one.
CFakeVideoRenderer* FakeOf(IBaseFilter* renderer);

// Calls a filter library's DllRegisterServer or DllUnregisterServer; the library is looked up
// in the build's program folder.
bool RegisterLibrary(const char* file, bool doRegister);

}  // namespace enginetest
