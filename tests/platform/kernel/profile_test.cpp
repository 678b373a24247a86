// Reading values of private-profile (ini) files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/kernel.h"

namespace fs = std::filesystem;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        fs::path base = build ? fs::path(build) / "tmp" : fs::temp_directory_path();
        fs::create_directories(base);
        std::string pattern = (base / "profile-XXXXXX").string();
        ASSERT_TRUE(mkdtemp(pattern.data()));
        m_folder = pattern;
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // Writes the file and returns its Windows path in the system code page.
    std::string Write(const std::string& name, const std::string& bytes)
    {
        fs::create_directories((m_folder / name).parent_path());
        std::ofstream(m_folder / name, std::ios::binary) << bytes;
        return platform::WideToAnsi(platform::ToWindowsPath((m_folder / name).string()));
    }

    std::string Read(const char* section, const char* key, const char* fallback,
                     const std::string& file, DWORD size = 64, DWORD* count = nullptr)
    {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer, size, file.c_str());
        if (count)
            *count = n;
        EXPECT_EQ(buffer[n], 0);
        return std::string(buffer, n);
    }

    fs::path m_folder;
};

TEST_F(ProfileTest, FindsValuesBySectionAndKey)
{
    std::string file = Write("SETTING/blackbox.cfg",
                             "; camera\r\n[other]\r\nmodel=X\r\n[ BlackBox ]\r\n"
                             "  Version = 1.05.002  \r\nmodel=\"Q914 (A)\"\r\nempty=\r\n");
    struct {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"blackbox", "version", "1.05.002"},  // names without regard to case, blanks trimmed
        {"blackbox", "MODEL", "Q914 (A)"},    // one pair of quotes removed
        {"other", "model", "X"},
        {"blackbox", "empty", ""},            // present but empty: not the default
        {"blackbox", "missing", "dflt"},
        {"nosection", "model", "dflt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read(c.section, c.key, "dflt  ", file), c.expected) << c.section << "/" << c.key;
}

TEST_F(ProfileTest, CutsToTheBufferAndFallsBackForMissingOrOddFiles)
{
    std::string file = Write("a.ini", "[blackbox]\nversion=0123456789ABCDEF\n");
    DWORD count = 0;
    EXPECT_EQ(Read("blackbox", "version", "0", file, 10, &count), "012345678");
    EXPECT_EQ(count, 9u);
    // Another spelling of the folder and file finds the same file, as on a FAT card.
    std::string upper = file;
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Read("blackbox", "version", "0", upper.substr(0, upper.size() - 5) + "A.INI"),
              "0123456789ABCDEF");

    EXPECT_EQ(Read("blackbox", "version", "0", Write("missing/none.ini", "").substr(0) + "x"), "0");
    EXPECT_EQ(Read("blackbox", "version", "0", Write("empty.ini", "")), "0");
    // A folder is not a settings file; binary garbage without line ends has no key.
    fs::create_directories(m_folder / "dir.ini");
    EXPECT_EQ(Read("blackbox", "version", "0",
                   platform::WideToAnsi(platform::ToWindowsPath((m_folder / "dir.ini").string()))),
              "0");
    EXPECT_EQ(Read("blackbox", "version", "0", Write("garbage.ini", std::string(5000, '\xFF'))), "0");
    // UTF-16LE text with its byte-order mark.
    std::string wide = platform::WideToUtf16Le(L"[blackbox]\r\nmodel=R208\r\n");
    EXPECT_EQ(Read("blackbox", "model", "0", Write("wide.ini", "\xFF\xFE" + wide)), "R208");

    char buffer[8] = "abc";
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, "k", "d", buffer, sizeof buffer, file.c_str()), 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
