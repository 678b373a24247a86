// PLATFORM_EXIT_AFTER: a program left running saves the screen with its windows after the time
// given and ends as if closed; one that refuses is made to end, and none is left hanging.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "child.h"

namespace {

using namespace screentest;

TEST(ScreenExitAfter, SavesTheScreenThenEndsTheProgramHoweverItResists)
{
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    struct Case {
        const char* mode;
        int exitCode;  // how the program ended
    } cases[] = {
        {"loop", 7},      // closed its window: the loop saw WM_QUIT from WM_DESTROY
        {"stubborn", 8},  // refused WM_CLOSE: WM_QUIT was posted after the grace period
        {"hung", 124},    // never pumped: ended at once after the second grace period
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        std::string png = dir + "/" + c.mode + ".png";
        std::string errors = dir + "/" + c.mode + ".err";
        ASSERT_EQ(RunChild(c.mode, png, errors, {"PLATFORM_EXIT_AFTER=0.2"}), c.exitCode)
            << ReadAll(errors);
        int width = 0, height = 0;
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(ReadPng(png, &width, &height, &rgb)) << ReadAll(errors);
        ASSERT_EQ(width, 64);
        auto pixel = [&](int x, int y) {
            const uint8_t* p = &rgb[(size_t(y) * 64 + size_t(x)) * 3];
            return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
        };
        // Saved while the window was still there, and not saved again, empty, at exit.
        EXPECT_EQ(pixel(5, 5), 0xFF0000u) << "the child's window";
        EXPECT_EQ(pixel(40, 30), 0x000000u) << "the desktop";
        EXPECT_NE(ReadAll(errors).find("PLATFORM_EXIT_AFTER: the screen was saved to " + png),
                  std::string::npos)
            << ReadAll(errors);
        std::remove(png.c_str());
        std::remove(errors.c_str());
    }
    rmdir(dir.c_str());
}

TEST(ScreenExitAfter, ATimeThatIsNotANumberOfSecondsIsReportedAndIgnored)
{
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    for (const char* value : {"soon", "-1", "0", "1e3", "2s"}) {
        SCOPED_TRACE(value);
        std::string png = dir + "/screen.png";
        std::string errors = dir + "/child.err";
        // "return" ends by itself; the screenshot is then the one taken at exit.
        EXPECT_EQ(RunChild("return", png, errors, {std::string("PLATFORM_EXIT_AFTER=") + value}),
                  0);
        EXPECT_NE(ReadAll(errors).find("is not a number of seconds; ignored"), std::string::npos)
            << ReadAll(errors);
        struct stat info;
        EXPECT_EQ(stat(png.c_str(), &info), 0);
        std::remove(png.c_str());
        std::remove(errors.c_str());
    }
    rmdir(dir.c_str());
}

}  // namespace
