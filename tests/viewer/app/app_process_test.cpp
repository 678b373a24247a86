// The viewer program as a process, from a temporary copy of its folder: only one viewer runs at
// a time, and its settings come from the program's folder whatever the current directory.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "DialogFixture.h"
#include "platform/com.h"
#include "platform/gdiplus.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// A copy of the program's folder: the program itself linked in (so that it finds this folder
// as its own) and links to what it loads beside it.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& name)
    {
        const fs::path bin = fs::path(apptest::BuildDir()) / "bin";
        m_dir = fs::path(apptest::BuildDir()) / "tmp" / (name + "-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "program");
        fs::create_directories(m_dir / "home");
        fs::create_directories(m_dir / "runtime");
        fs::permissions(m_dir / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(m_dir / "elsewhere");
        for (const fs::directory_entry& entry : fs::directory_iterator(bin)) {
            const std::string file = entry.path().filename().string();
            if (file == "tessaly")
                fs::create_hard_link(entry.path(), Program());
            else
                fs::create_symlink(entry.path(), m_dir / "program" / file);
        }
    }
    ~ProgramFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    fs::path Program() const { return m_dir / "program" / "tessaly"; }
    fs::path Dir(const char* part) const { return m_dir / part; }

    // Starts the program with the current directory `cwd`; it saves the screen to `shot` and
    // ends after `seconds`.
    pid_t Start(const fs::path& cwd, const fs::path& shot, const char* seconds) const
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string v(*e);
            if (v.rfind("PLATFORM_", 0) != 0 && v.rfind("XDG_RUNTIME_DIR=", 0) != 0)
                env.push_back(v);
        }
        env.push_back("PLATFORM_PRESENTER=headless");
        env.push_back("PLATFORM_HOME=" + Dir("home").string());
        env.push_back("XDG_RUNTIME_DIR=" + Dir("runtime").string());
        env.push_back("PLATFORM_SCREENSHOT=" + shot.string());
        env.push_back(std::string("PLATFORM_EXIT_AFTER=") + seconds);
        std::vector<char*> envp;
        for (std::string& v : env)
            envp.push_back(v.data());
        envp.push_back(nullptr);
        const std::string program = Program().string();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

private:
    fs::path m_dir;
};

// Waits up to `seconds` for the process; its exit status, or -1 when it is still running.
int WaitFor(pid_t pid, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() > end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Waits up to `seconds` until a viewer started with this runtime folder holds its single-instance
// name, that is until the name's lock file is held. The look is taken under the gate lock, as
// the holders take theirs, so that it never makes a starting viewer find the name taken.
bool WaitForInstance(const fs::path& runtime, double seconds)
{
    const fs::path folder = runtime / "kvplatform";
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        bool held = false;
        const int gate = open((folder / "mutex.gate").c_str(), O_RDWR | O_CLOEXEC);
        if (gate >= 0) {
            if (flock(gate, LOCK_EX) == 0) {
                const int fd = open((folder / "mutex.MUTEX_TESSALY").c_str(), O_RDWR | O_CLOEXEC);
                if (fd >= 0) {
                    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
                        flock(fd, LOCK_UN);
                    else
                        held = errno == EWOULDBLOCK;
                    close(fd);
                }
                flock(gate, LOCK_UN);
            }
            close(gate);
        }
        if (held)
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// "tessaly.ini" as the viewer writes it: UTF-16LE with its byte-order mark.
void WriteSettings(const fs::path& folder, const std::string& language)
{
    const std::string text = "[install]\r\nlanguage=" + language + "\r\n";
    std::ofstream out(folder / "tessaly.ini", std::ios::binary);
    out.put(char(0xFF));
    out.put(char(0xFE));
    for (char c : text) {
        out.put(c);
        out.put(0);
    }
}

// The pixels of the title bar's menu buttons in a saved screen.
std::vector<uint32_t> MenuButtonPixels(const fs::path& png)
{
    std::ifstream in(png, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty()) << png;
    std::vector<uint32_t> pixels;
    if (bytes.empty())
        return pixels;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(block, TRUE, &stream), S_OK);
    {
        Gdiplus::Bitmap picture(stream);
        for (int y = 32; y < 60; ++y)
            for (int x = 0; x < 220; ++x) {
                Gdiplus::Color c;
                picture.GetPixel(x, y, &c);
                pixels.push_back(c.GetValue());
            }
    }
    stream->Release();
    return pixels;
}

class AppProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&m_token, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(m_token); }
    ULONG_PTR m_token = 0;
};

TEST_F(AppProcessTest, ASecondViewerEndsAtOnceWithoutAWindow)
{
    ProgramFolder folder("single-instance");
    const fs::path first = folder.Dir("home") / "first.png";
    const fs::path second = folder.Dir("home") / "second.png";
    const pid_t a = folder.Start(folder.Dir("elsewhere"), first, "20");
    ASSERT_GT(a, 0);
    ASSERT_TRUE(WaitForInstance(folder.Dir("runtime"), 20)) << "the first viewer never came up";
    const pid_t b = folder.Start(folder.Dir("elsewhere"), second, "20");
    ASSERT_GT(b, 0);
    // The second one ends without waiting for its timed end, and its screen (saved as it
    // exits) holds no window of its own.
    EXPECT_EQ(WaitFor(b, 15), 0);
    for (uint32_t pixel : MenuButtonPixels(second))
        ASSERT_EQ(pixel & 0xFFFFFF, 0u) << "the second viewer showed a window";
    // The first goes on undisturbed to its timed end.
    EXPECT_EQ(WaitFor(a, 60), 0);
    EXPECT_TRUE(fs::exists(first));
}

TEST_F(AppProcessTest, TheSettingsComeFromTheProgramsFolderNotTheCurrentDirectory)
{
    ProgramFolder folder("settings-folder");
    auto run = [&](const char* name) {
        const fs::path shot = folder.Dir("home") / name;
        // Long enough for the splash to have gone on a loaded machine: the saved screen
        // shows the dialog's menu buttons, whose texts are in the language read.
        const pid_t pid = folder.Start(folder.Dir("elsewhere"), shot, "10");
        EXPECT_EQ(WaitFor(pid, 30), 0);
        const std::vector<uint32_t> pixels = MenuButtonPixels(shot);
        EXPECT_TRUE(std::any_of(pixels.begin(), pixels.end(),
                                [](uint32_t p) { return (p & 0xFFFFFF) != 0; }))
            << "no dialog on the saved screen of " << name;
        return pixels;
    };
    const std::vector<uint32_t> english = run("plain.png");
    // Korean in the current directory only: not read.
    WriteSettings(folder.Dir("elsewhere"), "korean");
    const std::vector<uint32_t> fromCwd = run("cwd.png");
    // Korean in the program's folder: read, whatever the current directory holds.
    WriteSettings(folder.Dir("elsewhere"), "english");
    WriteSettings(folder.Dir("program"), "korean");
    const std::vector<uint32_t> fromProgram = run("program.png");
    ASSERT_FALSE(english.empty());
    EXPECT_EQ(fromCwd, english);
    EXPECT_NE(fromProgram, english);
    // Start-up reads, it writes nothing: the file is as it was.
    EXPECT_EQ(fs::file_size(folder.Dir("program") / "tessaly.ini"),
              2 + 2 * std::string("[install]\r\nlanguage=korean\r\n").size());
}

}  // namespace
