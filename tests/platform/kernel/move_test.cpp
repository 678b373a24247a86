#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

class MoveFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        std::string base = std::string(build ? build : "/tmp") + "/move_test.XXXXXX";
        ASSERT_NE(mkdtemp(base.data()), nullptr);
        m_folder = base;
    }
    void TearDown() override { std::system(("rm -rf '" + m_folder + "'").c_str()); }

    std::string Native(const std::string& name) const { return m_folder + "/" + name; }
    std::wstring Windows(const std::string& name) const
    {
        return platform::ToWindowsPath(Native(name));
    }
    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(Native(name), std::ios::binary) << text;
    }
    // The file's bytes, or "<none>" when it does not exist, "<folder>" for a folder.
    std::string Read(const std::string& name) const
    {
        struct stat st;
        if (stat(Native(name).c_str(), &st) != 0)
            return "<none>";
        if (S_ISDIR(st.st_mode))
            return "<folder>";
        std::ifstream in(Native(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string m_folder;
};

TEST_F(MoveFileTest, RenamesReplacesOrRefusesAsWindowsDoes)
{
    enum Target { kNone, kFile, kFolder };
    struct Case {
        const char* what;
        Target target;
        DWORD flags;
        BOOL ok;
        DWORD error;
        const char* sourceAfter;
        const char* targetAfter;
    } cases[] = {
        {"new name", kNone, 0, TRUE, 0, "<none>", "new"},
        {"new name, written through", kNone, MOVEFILE_WRITE_THROUGH, TRUE, 0, "<none>", "new"},
        {"replace", kFile, MOVEFILE_REPLACE_EXISTING, TRUE, 0, "<none>", "new"},
        {"replace, written through", kFile, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH,
         TRUE, 0, "<none>", "new"},
        {"existing target without the replace flag", kFile, 0, FALSE, ERROR_ALREADY_EXISTS, "new",
         "old"},
        {"folder in the way", kFolder, MOVEFILE_REPLACE_EXISTING, FALSE, ERROR_ACCESS_DENIED, "new",
         "<folder>"},
        {"unknown flag", kNone, 0x2, FALSE, ERROR_INVALID_PARAMETER, "new", "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::system(("rm -rf '" + m_folder + "'/*").c_str());
        Write("source.txt", "new");
        if (c.target == kFile)
            Write("target.txt", "old");
        if (c.target == kFolder)
            mkdir(Native("target.txt").c_str(), 0755);
        SetLastError(0);
        EXPECT_EQ(
            MoveFileExW(Windows("source.txt").c_str(), Windows("target.txt").c_str(), c.flags),
            c.ok);
        if (!c.ok)
            EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(Read("source.txt"), c.sourceAfter);
        EXPECT_EQ(Read("target.txt"), c.targetAfter);
    }
}

TEST_F(MoveFileTest, TellsAMissingFileFromAMissingFolder)
{
    Write("source.txt", "new");
    EXPECT_FALSE(MoveFileExW(Windows("absent.txt").c_str(), Windows("target.txt").c_str(),
                             MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileExW(Windows("source.txt").c_str(), Windows("nowhere/target.txt").c_str(),
                             MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Read("source.txt"), "new");
    EXPECT_FALSE(MoveFileExW(Windows("source.txt").c_str(), nullptr, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(MoveFileTest, FindsTheSourceWhateverTheCaseOfItsName)
{
    Write("Source.TXT", "new");
    std::wstring folder = platform::ToWindowsPath(m_folder);
    EXPECT_TRUE(MoveFileExW((folder + L"\\SOURCE.txt").c_str(), (folder + L"\\target.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Read("Source.TXT"), "<none>");
    EXPECT_EQ(Read("target.txt"), "new");
}

}  // namespace
