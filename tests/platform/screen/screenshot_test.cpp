// PLATFORM_SCREENSHOT: a program that exits writes the screen as it was, with its windows, to
// a PNG file, whichever thread ends it; a file that cannot be written is reported, not left cut.
#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

extern char** environ;

namespace {

std::string HereDir()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, size_t(n));
    return path.substr(0, path.rfind('/'));
}

std::string MakeTempDir()
{
    std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    pattern += "/screenshot-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

// Runs the child program with the screenshot path; returns its exit status (-1 when it did not
// exit normally) and what it wrote on standard error.
int RunChild(const std::string& mode, const std::string& screenshot, const std::string& errors)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("PLATFORM_SCREENSHOT=", 0) == 0 ||
            entry.rfind("PLATFORM_SCREEN=", 0) == 0 || entry.rfind("PLATFORM_PRESENTER=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("PLATFORM_SCREENSHOT=" + screenshot);
    env.push_back("PLATFORM_SCREEN=64x48");
    env.push_back("PLATFORM_PRESENTER=headless");
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::string program = HereDir() + "/screen_screenshot_child";
    std::vector<char*> argv{program.data(), const_cast<char*>(mode.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -2;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -3;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Reads a PNG file as 8-bit RGB; false when it is not one.
bool ReadPng(const std::string& path, int* width, int* height, std::vector<uint8_t>* rgb)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    rgb->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr))
        return false;
    *width = int(image.width);
    *height = int(image.height);
    return true;
}

TEST(ScreenScreenshot, WrittenAtExitWithTheWindowsStillShown)
{
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    for (const char* mode : {"return", "thread-exit"}) {
        SCOPED_TRACE(mode);
        std::string png = dir + "/" + mode + ".png";
        std::string errors = dir + "/" + mode + ".err";
        ASSERT_EQ(RunChild(mode, png, errors), 0) << ReadAll(errors);
        int width = 0, height = 0;
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(ReadPng(png, &width, &height, &rgb)) << ReadAll(errors);
        ASSERT_EQ(width, 64);
        ASSERT_EQ(height, 48);
        auto pixel = [&](int x, int y) {
            const uint8_t* p = &rgb[(size_t(y) * 64 + size_t(x)) * 3];
            return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
        };
        EXPECT_EQ(pixel(5, 5), 0xFF0000u) << "the child's window";
        EXPECT_EQ(pixel(40, 30), 0x000000u) << "the desktop";
        EXPECT_EQ(ReadAll(errors), "");
        std::remove(png.c_str());
        std::remove(errors.c_str());
    }
    rmdir(dir.c_str());
}

TEST(ScreenScreenshot, AnUnwritablePathIsReportedAndLeavesNoFile)
{
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    std::string png = dir + "/missing-folder/screen.png";
    std::string errors = dir + "/child.err";
    EXPECT_EQ(RunChild("return", png, errors), 0);
    struct stat info;
    EXPECT_NE(stat(png.c_str(), &info), 0);
    EXPECT_NE(ReadAll(errors).find("PLATFORM_SCREENSHOT: cannot write the screen to"),
              std::string::npos)
        << ReadAll(errors);
    std::remove(errors.c_str());
    rmdir(dir.c_str());
}

}  // namespace
