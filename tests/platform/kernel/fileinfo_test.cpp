// GetFileAttributesExW: one entry's status, reported exactly as a listing of its folder reports
// it, and the errors for names that do not exist or cannot name one entry.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/kernel.h"
#include "platform/testing.h"

namespace fs = std::filesystem;

namespace {

class Entries : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        fs::path base = build ? fs::path(build) / "tmp" : fs::temp_directory_path();
        fs::create_directories(base);
        std::string pattern = (base / "fileinfo-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_card = fs::canonical(pattern);
        fs::create_directories(m_card / "Cont_Rec" / "Sub");
        std::ofstream(m_card / "Cont_Rec" / "A.MP4", std::ios::binary) << "0123456789";
        std::ofstream(m_card / "Cont_Rec" / "locked.avi", std::ios::binary) << "x";
        fs::permissions(m_card / "Cont_Rec" / "locked.avi", fs::perms::owner_read);
        m_root = platform::testing::AddRemovableDrive(m_card.string());
    }
    void TearDown() override
    {
        platform::testing::RemoveRemovableDrive(m_root);
        fs::remove_all(m_card);
    }

    fs::path m_card;
    std::wstring m_root;
};

TEST_F(Entries, StatusMatchesTheListing)
{
    for (const wchar_t* name : {L"cont_rec\\a.mp4", L"CONT_REC\\locked.avi", L"Cont_Rec\\sub"}) {
        SCOPED_TRACE(platform::WideToAnsi(name));
        const std::wstring path = m_root + name;
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
        WIN32_FIND_DATAW listed;
        HANDLE find = FindFirstFileW(path.c_str(), &listed);
        ASSERT_NE(find, INVALID_HANDLE_VALUE);
        FindClose(find);
        EXPECT_EQ(data.dwFileAttributes, listed.dwFileAttributes);
        EXPECT_EQ(data.nFileSizeLow, listed.nFileSizeLow);
        EXPECT_EQ(data.nFileSizeHigh, listed.nFileSizeHigh);
        EXPECT_EQ(std::memcmp(&data.ftLastWriteTime, &listed.ftLastWriteTime, sizeof(FILETIME)), 0);
        EXPECT_EQ(std::memcmp(&data.ftCreationTime, &listed.ftCreationTime, sizeof(FILETIME)), 0);
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(
        GetFileAttributesExW((m_root + L"Cont_Rec\\A.MP4").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 10u);
    ASSERT_TRUE(GetFileAttributesExW((m_root + L"cont_rec\\locked.avi").c_str(),
                                     GetFileExInfoStandard, &data));
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(GetFileAttributesExW(m_root.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(Entries, NamesThatAreNoEntryFail)
{
    struct Case {
        std::wstring path;
        DWORD error;
    };
    const Case cases[] = {
        {m_root + L"cont_rec\\missing.mp4", ERROR_FILE_NOT_FOUND},
        {m_root + L"nofolder\\a.mp4", ERROR_PATH_NOT_FOUND},
        {m_root + L"cont_rec\\*.mp4", ERROR_INVALID_NAME},
        {L"", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::WideToAnsi(c.path));
        WIN32_FILE_ATTRIBUTE_DATA data;
        SetLastError(0);
        EXPECT_FALSE(GetFileAttributesExW(c.path.c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(GetLastError(), c.error);
    }
}

}  // namespace
