// ShellExecuteW of files on a card: a program runs, other files go to the desktop's opener,
// and the failures give the codes callers test.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "shell_harness.h"

using namespace shelltest;

namespace {

INT_PTR Result(HINSTANCE code)
{
    return reinterpret_cast<INT_PTR>(code);
}

void WriteScript(const fs::path& path, const std::string& body)
{
    std::ofstream out(path);
    out << "#!/bin/sh\n" << body;
    out.close();
    chmod(path.c_str(), 0755);
}

std::string WaitForFile(const fs::path& path)
{
    PumpUntil([&] { return fs::exists(path) && fs::file_size(path) > 0; });
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ShellExecute : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_card = MakeTempFolder("exec-card");
        m_root = platform::testing::AddRemovableDrive(m_card.string());
        ASSERT_EQ(m_root.size(), 3u);
        fs::create_directories(m_card / "SETTING");
        // The opener the desktop would have, found on a PATH of the test's own.
        m_bin = MakeTempFolder("exec-bin");
        const char* path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        setenv("PATH", m_bin.c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", m_oldPath.c_str(), 1);
        platform::testing::RemoveRemovableDrive(m_root);
        fs::remove_all(m_card);
        fs::remove_all(m_bin);
    }
    fs::path m_card, m_bin;
    std::wstring m_root;
    std::string m_oldPath;
};

TEST_F(ShellExecute, TheSettingsProgramOnTheCardRunsInItsFolder)
{
    fs::path record = m_card / "ran.txt";
    WriteScript(m_card / "SETTING" / "R208_Setting.exe",
                "pwd > \"" + record.string() + ".tmp\"; echo \"$@\" >> \"" + record.string() +
                    ".tmp\"; /bin/mv \"" + record.string() + ".tmp\" \"" + record.string() + "\"\n");
    INT_PTR result = Result(ShellExecuteW(nullptr, L"open",
                                          (m_root + L"setting\\r208_setting.exe").c_str(),
                                          L"-a \"two words\"", nullptr, SW_SHOW));
    EXPECT_GT(result, 32);
    EXPECT_EQ(WaitForFile(record), (m_card / "SETTING").string() + "\n-a two words\n");
}

TEST_F(ShellExecute, OtherFilesGoToTheOpener)
{
    std::ofstream(m_card / "manual.pdf") << "pdf";
    // Without an opener there is no program for the file.
    EXPECT_EQ(Result(ShellExecuteW(nullptr, L"open", (m_root + L"manual.pdf").c_str(), nullptr,
                                   nullptr, SW_SHOW)),
              INT_PTR(SE_ERR_NOASSOC));

    fs::path record = m_bin / "opened.txt";
    WriteScript(m_bin / "xdg-open", "echo \"$1\" > \"" + record.string() + ".tmp\"; /bin/mv \"" +
                                        record.string() + ".tmp\" \"" + record.string() + "\"\n");
    EXPECT_GT(Result(ShellExecuteW(nullptr, nullptr, (m_root + L"MANUAL.PDF").c_str(), nullptr,
                                   nullptr, SW_SHOW)),
              32);
    EXPECT_EQ(WaitForFile(record), (m_card / "manual.pdf").string() + "\n");
}

TEST_F(ShellExecute, AnAddressGoesToTheOpenerAsItStands)
{
    const wchar_t* site = L"https://www.kestrovan.com/";
    // Without an opener nothing can show the page.
    EXPECT_EQ(Result(ShellExecuteW(nullptr, L"open", site, nullptr, nullptr, SW_SHOWNORMAL)),
              INT_PTR(SE_ERR_NOASSOC));

    fs::path record = m_bin / "opened.txt";
    WriteScript(m_bin / "xdg-open", "echo \"$@\" > \"" + record.string() + ".tmp\"; /bin/mv \"" +
                                        record.string() + ".tmp\" \"" + record.string() + "\"\n");
    const struct {
        const wchar_t* address;
        const char* handed;
    } cases[] = {
        {site, "https://www.kestrovan.com/"},
        {L"mailto:service@kestrovan.com", "mailto:service@kestrovan.com"},
        {L"http://host/a page?q=1&r=2", "http://host/a page?q=1&r=2"},
    };
    for (const auto& c : cases) {
        fs::remove(record);
        EXPECT_GT(Result(ShellExecuteW(nullptr, L"open", c.address, nullptr, nullptr,
                                       SW_SHOWNORMAL)),
                  32)
            << c.handed;
        EXPECT_EQ(WaitForFile(record), std::string(c.handed) + "\n");
    }
    // A drive letter is no scheme: a file missing on a card is still a missing file.
    EXPECT_EQ(Result(ShellExecuteW(nullptr, L"open", (m_root + L"site.url").c_str(), nullptr,
                                   nullptr, SW_SHOW)),
              INT_PTR(SE_ERR_FNF));
}

TEST_F(ShellExecute, FailuresGiveTheirCodes)
{
    std::ofstream(m_card / "file.txt") << "x";
    const std::wstring noFolder = m_root + L"nofolder";
    struct Case {
        const wchar_t* verb;
        std::wstring file;
        const wchar_t* directory;
        INT_PTR expected;
    } cases[] = {
        {L"open", m_root + L"SETTING\\missing.exe", nullptr, SE_ERR_FNF},
        {L"open", m_root + L"NOFOLDER\\R208_Setting.exe", nullptr, SE_ERR_PNF},
        {L"open", L"Q:\\nodrive.exe", nullptr, SE_ERR_PNF},
        {L"open", m_root + L"file.txt", noFolder.c_str(), SE_ERR_PNF},
        {L"print", m_root + L"file.txt", nullptr, SE_ERR_NOASSOC},
        {L"open", L"", nullptr, SE_ERR_FNF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Result(ShellExecuteW(nullptr, c.verb, c.file.c_str(), nullptr, c.directory,
                                       SW_SHOW)),
                  c.expected)
            << std::string(c.file.begin(), c.file.end());
    }
}

}  // namespace
