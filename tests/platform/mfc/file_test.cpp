// CFile, CFileFind and the framework's exceptions on a card folder: what opening, reading,
// seeking and listing report, and which failures throw.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/mfc.h"
#include "platform/testing.h"

namespace fs = std::filesystem;

namespace {

void WriteNative(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A card folder as a removable drive: "<root>cont_rec\A.mp4" (10 bytes), "B.avi" (3 bytes) and
// an empty sub-folder "Sub".
class CardFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        fs::path base = build ? fs::path(build) / "tmp" : fs::temp_directory_path();
        fs::create_directories(base);
        std::string pattern = (base / "mfc-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_card = fs::canonical(pattern);
        WriteNative(m_card / "cont_rec" / "A.mp4", "0123456789");
        WriteNative(m_card / "cont_rec" / "B.avi", "avi");
        fs::create_directories(m_card / "cont_rec" / "Sub");
        m_root = platform::testing::AddRemovableDrive(m_card.string());
    }
    void TearDown() override
    {
        platform::testing::RemoveRemovableDrive(m_root);
        fs::remove_all(m_card);
    }
    std::wstring Win(const wchar_t* below) const { return m_root + below; }

    fs::path m_card;
    std::wstring m_root;
};

// Runs f and returns the cause of the CFileException* it throws (deleting it), or -1 when it
// throws nothing.
template <class F>
int CauseThrownBy(F f)
{
    try {
        f();
    } catch (CFileException* e) {
        int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

TEST_F(CardFolder, OpenFailuresDescribeTheirCause)
{
    struct Case {
        std::wstring path;
        UINT flags;
        int cause;
        LONG osError;
    };
    const Case cases[] = {
        {Win(L"cont_rec\\missing.mp4"), CFile::modeRead, CFileException::fileNotFound,
         ERROR_FILE_NOT_FOUND},
        {Win(L"nofolder\\A.mp4"), CFile::modeRead, CFileException::badPath, ERROR_PATH_NOT_FOUND},
        {Win(L"cont_rec\\Sub"), CFile::modeRead, CFileException::accessDenied, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::WideToAnsi(c.path));
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(c.path.c_str(), c.flags | CFile::typeBinary, &error));
        EXPECT_EQ(error.m_cause, c.cause);
        EXPECT_EQ(error.m_lOsError, c.osError);
        EXPECT_EQ(error.m_strFileName, c.path);
        EXPECT_EQ(file.m_hFile, CFile::hFileNull);
    }
}

TEST_F(CardFolder, ReadsStopAtTheEndWithoutThrowing)
{
    CFile file;
    ASSERT_TRUE(file.Open(Win(L"CONT_REC\\a.MP4").c_str(),
                          CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary));
    EXPECT_EQ(file.GetLength(), 10u);
    char buffer[8];
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file.Seek(2, CFile::current), 6u);
    EXPECT_EQ(file.Read(buffer, 8), 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(file.Read(buffer, 8), 0u);
    // A position past the end is allowed; reading there gives nothing.
    EXPECT_EQ(file.Seek(100, CFile::begin), 100u);
    EXPECT_EQ(file.Read(buffer, 8), 0u);
    EXPECT_EQ(file.Seek(-3, CFile::end), 7u);
    EXPECT_EQ(file.GetPosition(), 7u);
    // Opening an object that holds a file already is refused and keeps the file.
    CFileException error;
    EXPECT_FALSE(file.Open(Win(L"cont_rec\\B.avi").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::genericException);
    EXPECT_EQ(file.GetLength(), 10u);
}

TEST_F(CardFolder, FailedOperationsThrowFileExceptions)
{
    CFile file;
    ASSERT_TRUE(file.Open(Win(L"cont_rec\\A.mp4").c_str(), CFile::modeRead));
    EXPECT_EQ(CauseThrownBy([&] { file.Seek(-1, CFile::begin); }), CFileException::badSeek);
    EXPECT_EQ(CauseThrownBy([&] { file.Seek(-11, CFile::end); }), CFileException::badSeek);
    EXPECT_EQ(file.GetPosition(), 0u) << "a failed seek leaves the position";
    EXPECT_EQ(CauseThrownBy([&] { file.Write("x", 1); }), CFileException::accessDenied);
    file.Close();
    file.Close();  // closing twice is harmless
    char c;
    EXPECT_EQ(CauseThrownBy([&] { file.Read(&c, 1); }), CFileException::invalidFile);
    EXPECT_EQ(CauseThrownBy([&] { file.GetLength(); }), CFileException::invalidFile);
}

TEST_F(CardFolder, CreateTruncatesUnlessToldNotTo)
{
    const std::wstring path = Win(L"cont_rec\\new.bin");
    {
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
        file.Write("abcdef", 6);
    }
    {
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(),
                              CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
        EXPECT_EQ(file.GetLength(), 6u);
        file.Seek(0, CFile::end);
        file.Write("gh", 2);
    }
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead));
    char buffer[16];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 8u);
    EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
    file.Close();
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
    EXPECT_EQ(file.GetLength(), 0u);
}

TEST_F(CardFolder, StatusOfFilesFoldersAndMissingNames)
{
    CFileStatus status;
    std::memset(&status, 0xCC, sizeof status);
    ASSERT_TRUE(CFile::GetStatus(Win(L"cont_rec\\a.mp4").c_str(), status));
    EXPECT_EQ(status.m_size, 10u);
    EXPECT_FALSE(status.m_attribute & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(std::wstring(status.m_szFullName), Win(L"cont_rec\\a.mp4"));
    struct stat st {};
    ASSERT_EQ(stat((m_card / "cont_rec" / "A.mp4").c_str(), &st), 0);
    const time_t written = st.st_mtime;
    EXPECT_NEAR(double(status.m_mtime.GetTime()), double(written), 1.0);

    ASSERT_TRUE(CFile::GetStatus(Win(L"cont_rec\\Sub").c_str(), status));
    EXPECT_TRUE(status.m_attribute & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(status.m_size, 0u);
    ASSERT_TRUE(CFile::GetStatus(m_root.c_str(), status));
    EXPECT_TRUE(status.m_attribute & FILE_ATTRIBUTE_DIRECTORY);

    EXPECT_FALSE(CFile::GetStatus(Win(L"cont_rec\\missing.mp4").c_str(), status));
    EXPECT_FALSE(CFile::GetStatus(Win(L"cont_rec\\*.mp4").c_str(), status));
    EXPECT_FALSE(CFile::GetStatus(L"", status));
}

TEST_F(CardFolder, FindListsEveryEntryAndKeepsTheLastOneCurrent)
{
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(Win(L"cont_rec\\*.*").c_str()));
    EXPECT_EQ(finder.GetRoot(), Win(L"cont_rec"));
    std::map<std::wstring, std::wstring> paths;
    std::map<std::wstring, ULONGLONG> sizes;
    int dots = 0, folders = 0;
    BOOL more = TRUE;
    while (more) {
        more = finder.FindNextFile();
        paths[finder.GetFileName()] = finder.GetFilePath();
        sizes[finder.GetFileName()] = finder.GetLength();
        dots += finder.IsDots();
        folders += finder.IsDirectory();
    }
    EXPECT_EQ(paths.size(), 5u) << "., .., A.mp4, B.avi, Sub";
    EXPECT_EQ(dots, 2);
    EXPECT_EQ(folders, 3);
    EXPECT_EQ(paths[L"A.mp4"], Win(L"cont_rec\\A.mp4"));
    EXPECT_EQ(sizes[L"A.mp4"], 10u);
    EXPECT_EQ(sizes[L"B.avi"], 3u);
    // After the last entry the search stays at it.
    EXPECT_FALSE(finder.FindNextFile());
    EXPECT_FALSE(finder.GetFileName().empty());

    ASSERT_TRUE(finder.FindFile(Win(L"cont_rec\\*.avi").c_str()));
    EXPECT_FALSE(finder.FindNextFile()) << "one match: it is the last one";
    EXPECT_EQ(finder.GetFileName(), L"B.avi");

    EXPECT_FALSE(finder.FindFile(Win(L"cont_rec\\*.mov").c_str()));
    EXPECT_FALSE(finder.FindFile(Win(L"missing\\*.*").c_str()));
    EXPECT_FALSE(finder.FindNextFile());
}

TEST_F(CardFolder, FindOfARelativePatternGivesAbsolutePaths)
{
    const fs::path before = fs::current_path();
    fs::current_path(m_card / "cont_rec");
    CFileFind finder;
    BOOL found = finder.FindFile(L"*.mp4");
    fs::current_path(before);
    ASSERT_TRUE(found);
    finder.FindNextFile();
    EXPECT_EQ(finder.GetFilePath(), Win(L"cont_rec\\A.mp4"));
}

// AddressSanitizer reports a stack object deleted, LeakSanitizer a heap object left.
TEST(CException, DeleteFreesOnlyObjectsMadeToDeleteThemselves)
{
    CException onStack(FALSE);
    onStack.Delete();
    CException* thrown = nullptr;
    try {
        CFileException::ThrowOsError(ERROR_HANDLE_EOF, L"x");
    } catch (CException* e) {
        thrown = e;
    }
    ASSERT_NE(thrown, nullptr);
    EXPECT_EQ(dynamic_cast<CFileException*>(thrown)->m_cause, CFileException::endOfFile);
    thrown->Delete();
    EXPECT_EQ(CauseThrownBy([] { CFileException::ThrowOsError(ERROR_SUCCESS); }), -1);
}

}  // namespace
