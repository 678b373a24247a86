// Runs screen_screenshot_child, the program whose end the screenshot and exit-after tests
// watch, on a 64 x 48 headless screen, and reads what it leaves behind.
#pragma once

#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace screentest {

inline std::string HereDir()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, size_t(n));
    return path.substr(0, path.rfind('/'));
}

inline std::string MakeTempDir()
{
    std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    pattern += "/screenshot-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

// Runs the child in `mode` with the screenshot path and the extra "NAME=value" entries; its
// standard error goes to the file `errors`. Returns its exit status (-1 when it did not exit
// normally).
inline int RunChild(const std::string& mode, const std::string& screenshot,
                    const std::string& errors, const std::vector<std::string>& extra = {})
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("PLATFORM_SCREENSHOT=", 0) == 0 ||
            entry.rfind("PLATFORM_SCREEN=", 0) == 0 ||
            entry.rfind("PLATFORM_PRESENTER=", 0) == 0 ||
            entry.rfind("PLATFORM_EXIT_AFTER=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("PLATFORM_SCREENSHOT=" + screenshot);
    env.push_back("PLATFORM_SCREEN=64x48");
    env.push_back("PLATFORM_PRESENTER=headless");
    env.insert(env.end(), extra.begin(), extra.end());
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

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Reads a PNG file as 8-bit RGB; false when it is not one.
inline bool ReadPng(const std::string& path, int* width, int* height, std::vector<uint8_t>* rgb)
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

}  // namespace screentest
