// PLATFORM_SCREENSHOT: a program that exits writes the screen as it was, with its windows, to
// a PNG file, whichever thread ends it; a file that cannot be written is reported, not left cut.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "child.h"

namespace {

using namespace screentest;

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
