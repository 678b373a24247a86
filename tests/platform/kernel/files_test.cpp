// File calls on a card folder: dispositions, reading and writing, listings with patterns, and
// the error codes Windows callers test for.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <vector>

#include "platform/kernel.h"
#include "platform/testing.h"

namespace fs = std::filesystem;

namespace {

std::string Narrow(const std::wstring& text)
{
    return platform::WideToAnsi(text);
}

std::string ReadNative(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteNative(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A card folder with recordings, a settings folder and a few odd entries, as drive "X:\".
class CardFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        fs::path base = build ? fs::path(build) / "tmp" : fs::temp_directory_path();
        fs::create_directories(base);
        std::string pattern = (base / "files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_card = fs::canonical(pattern);
        WriteNative(m_card / "Cont_Rec" / "A.MP4", "front");
        WriteNative(m_card / "Cont_Rec" / "b.mp4", "rear!");
        WriteNative(m_card / "Cont_Rec" / "c.avi", "avi");
        WriteNative(m_card / "Cont_Rec" / "noext", "");
        WriteNative(m_card / "Cont_Rec" / "AB.mp4.bak", "old");
        fs::create_directories(m_card / "Cont_Rec" / "Sub");
        WriteNative(m_card / "setting" / "setup.cfg", "device");
        m_root = platform::testing::AddRemovableDrive(m_card.string());
        ASSERT_EQ(m_root.size(), 3u);
    }
    void TearDown() override
    {
        platform::testing::RemoveRemovableDrive(m_root);
        fs::permissions(m_card, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(m_card);
    }
    std::wstring Win(const wchar_t* below) const { return m_root + below; }

    fs::path m_card;
    std::wstring m_root;
};

// Closes a handle when the test leaves its scope.
struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
};

TEST_F(CardFiles, EachDispositionCreatesOpensOrTruncatesAsWindowsDoes)
{
    struct Case {
        DWORD disposition;
        bool exists;
        bool opens;
        DWORD error;
        const char* contentAfter;  // null: the file does not exist afterwards
    };
    const Case cases[] = {
        {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
        {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("disposition " + std::to_string(c.disposition) +
                     (c.exists ? " on a file" : " on nothing"));
        fs::path native = m_card / "setting" / "Target.bin";
        fs::remove(native);
        if (c.exists)
            WriteNative(native, "old");
        SetLastError(0xDEAD);
        // Lower case on purpose: an existing file is found whatever the case.
        Handle file(CreateFileW(Win(L"SETTING\\target.BIN").c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, c.disposition, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        EXPECT_EQ(file.valid(), c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        // A new file takes the name as written; an existing one keeps its own.
        fs::path created = m_card / "setting" / "target.BIN";
        fs::path after = fs::exists(native) ? native : created;
        EXPECT_EQ(fs::exists(after), c.contentAfter != nullptr);
        if (c.contentAfter && fs::exists(after))
            EXPECT_EQ(ReadNative(after), c.contentAfter);
        fs::remove(m_card / "setting" / "target.BIN");
    }
}

TEST_F(CardFiles, OpeningFailsWithTheErrorCallersTestFor)
{
    fs::path readOnly = m_card / "setting" / "locked.cfg";
    WriteNative(readOnly, "keep");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    struct Case {
        const char* what;
        std::wstring path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    };
    const Case cases[] = {
        {"missing file", Win(L"Cont_Rec\\none.mp4"), GENERIC_READ, OPEN_EXISTING,
         ERROR_FILE_NOT_FOUND},
        {"missing folder", Win(L"nowhere\\a.mp4"), GENERIC_READ, OPEN_EXISTING,
         ERROR_PATH_NOT_FOUND},
        {"create in a missing folder", Win(L"nowhere\\a.mp4"), GENERIC_WRITE, CREATE_ALWAYS,
         ERROR_PATH_NOT_FOUND},
        {"file used as a folder", Win(L"setting\\setup.cfg\\x"), GENERIC_READ, OPEN_EXISTING,
         ERROR_PATH_NOT_FOUND},
        {"a folder", Win(L"Cont_Rec"), GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"a drive's root", m_root, GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"wildcard in the name", Win(L"Cont_Rec\\*.mp4"), GENERIC_READ, OPEN_EXISTING,
         ERROR_INVALID_NAME},
        {"bar in a folder name", Win(L"a|b\\c.mp4"), GENERIC_READ, OPEN_EXISTING,
         ERROR_INVALID_NAME},
        {"writing a read-only file", Win(L"setting\\locked.cfg"), GENERIC_WRITE, OPEN_EXISTING,
         ERROR_ACCESS_DENIED},
        {"replacing a read-only file", Win(L"setting\\locked.cfg"), GENERIC_READ, CREATE_ALWAYS,
         ERROR_ACCESS_DENIED},
        {"no such disposition", Win(L"setting\\setup.cfg"), GENERIC_READ, 9,
         ERROR_INVALID_PARAMETER},
        {"truncating without write access", Win(L"setting\\setup.cfg"), GENERIC_READ,
         TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
        {"empty name", L"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"network path", L"\\\\server\\share\\a.mp4", GENERIC_READ, OPEN_EXISTING,
         ERROR_BAD_PATHNAME},
    };
    for (const Case& c : cases) {
        SetLastError(ERROR_SUCCESS);
        HANDLE h = CreateFileW(c.path.c_str(), c.access, FILE_SHARE_READ, nullptr, c.disposition, 0,
                               nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    EXPECT_EQ(ReadNative(readOnly), "keep");
    // A read-only file still opens for reading.
    Handle reader(CreateFileW(Win(L"SETTING\\LOCKED.CFG").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    EXPECT_TRUE(reader.valid());
}

TEST_F(CardFiles, ReadsWritesAndMovesThePosition)
{
    Handle file(CreateFileW(Win(L"setting\\log.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.h, "0123456789", 10, &written, nullptr));
    EXPECT_EQ(written, 10u);
    EXPECT_TRUE(FlushFileBuffers(file.h));

    LARGE_INTEGER size{}, position{}, move{};
    ASSERT_TRUE(GetFileSizeEx(file.h, &size));
    EXPECT_EQ(size.QuadPart, 10);

    move.QuadPart = -4;
    ASSERT_TRUE(SetFilePointerEx(file.h, move, &position, FILE_END));
    EXPECT_EQ(position.QuadPart, 6);
    char buffer[16] = {};
    DWORD got = 99;
    ASSERT_TRUE(ReadFile(file.h, buffer, sizeof(buffer), &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "6789");  // a short read at the end is no failure
    ASSERT_TRUE(ReadFile(file.h, buffer, sizeof(buffer), &got, nullptr));
    EXPECT_EQ(got, 0u);  // at the end: TRUE with nothing read

    move.QuadPart = -20;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetFilePointerEx(file.h, move, &position, FILE_CURRENT));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
    move.QuadPart = 0;
    ASSERT_TRUE(SetFilePointerEx(file.h, move, &position, FILE_CURRENT));
    EXPECT_EQ(position.QuadPart, 10);  // a refused move leaves the position
    EXPECT_FALSE(SetFilePointerEx(file.h, move, &position, 7));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    // Beyond the end, a write leaves a zero-filled gap.
    move.QuadPart = 12;
    ASSERT_TRUE(SetFilePointerEx(file.h, move, nullptr, FILE_BEGIN));
    ASSERT_TRUE(WriteFile(file.h, "!", 1, &written, nullptr));
    EXPECT_EQ(ReadNative(m_card / "setting" / "log.txt"), std::string("0123456789\0\0!", 13));
}

TEST_F(CardFiles, HandlesRefuseWhatTheyWereNotOpenedFor)
{
    Handle reader(CreateFileW(Win(L"setting\\setup.cfg").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    Handle writer(CreateFileW(Win(L"setting\\setup.cfg").c_str(), GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    Handle query(
        CreateFileW(Win(L"setting\\setup.cfg").c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader.valid() && writer.valid() && query.valid());
    char buffer[8];
    DWORD count = 5;
    struct Case {
        const char* what;
        std::function<BOOL()> call;
        DWORD error;
        bool movesData;  // a read or a write, which reports a count
    };
    const Case cases[] = {
        {"write through a reader", [&] { return WriteFile(reader.h, "x", 1, &count, nullptr); },
         ERROR_ACCESS_DENIED, true},
        {"flush a reader", [&] { return FlushFileBuffers(reader.h); }, ERROR_ACCESS_DENIED, false},
        {"read through a writer", [&] { return ReadFile(writer.h, buffer, 8, &count, nullptr); },
         ERROR_ACCESS_DENIED, true},
        {"read through a size query", [&] { return ReadFile(query.h, buffer, 8, &count, nullptr); },
         ERROR_ACCESS_DENIED, true},
        {"overlapped read", [&] { return ReadFile(reader.h, buffer, 8, &count, buffer); },
         ERROR_INVALID_PARAMETER, true},
    };
    for (const Case& c : cases) {
        SetLastError(ERROR_SUCCESS);
        count = 5;
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
        // Reads and writes clear the count before anything else.
        if (c.movesData)
            EXPECT_EQ(count, 0u) << c.what;
    }

    LARGE_INTEGER size{};
    EXPECT_TRUE(GetFileSizeEx(query.h, &size));
    EXPECT_EQ(size.QuadPart, 6);
    EXPECT_EQ(ReadNative(m_card / "setting" / "setup.cfg"), "device");

    // Handles that are not files, or no longer open.
    HANDLE closed = CreateFileW(Win(L"setting\\setup.cfg").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    WIN32_FIND_DATAW data;
    Handle find(FindFirstFileW(Win(L"setting\\*").c_str(), &data));
    for (HANDLE bad : {closed, INVALID_HANDLE_VALUE, HANDLE(nullptr), find.h}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(ReadFile(bad, buffer, 8, &count, nullptr));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(GetFileSizeEx(bad, &size));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
    EXPECT_FALSE(CloseHandle(closed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// Every name a pattern lists, in listing order.
std::vector<std::string> List(const std::wstring& pattern, DWORD* error)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    SetLastError(ERROR_SUCCESS);
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return names;
    }
    do {
        names.push_back(Narrow(data.cFileName));
    } while (FindNextFileW(find, &data));
    *error = GetLastError();
    EXPECT_TRUE(FindClose(find));
    return names;
}

TEST_F(CardFiles, PatternsMatchWithoutRegardToCase)
{
    using Names = std::vector<std::string>;
    struct Case {
        std::wstring pattern;
        Names names;
        DWORD error;  // after the last entry, or of FindFirstFileW when nothing is listed
    };
    const Case cases[] = {
        {Win(L"Cont_Rec\\*.mp4"), {"A.MP4", "b.mp4"}, ERROR_NO_MORE_FILES},
        {Win(L"cont_rec\\*.MP4"), {"A.MP4", "b.mp4"}, ERROR_NO_MORE_FILES},
        {Win(L"Cont_Rec\\*"),
         {".", "..", "A.MP4", "AB.mp4.bak", "b.mp4", "c.avi", "noext", "Sub"},
         ERROR_NO_MORE_FILES},
        {Win(L"Cont_Rec\\*.*"),
         {".", "..", "A.MP4", "AB.mp4.bak", "b.mp4", "c.avi", "noext", "Sub"},
         ERROR_NO_MORE_FILES},
        {Win(L"Cont_Rec\\?.mp4"), {"A.MP4", "b.mp4"}, ERROR_NO_MORE_FILES},
        // "?" may also match nothing before a dot, as on Windows.
        {Win(L"Cont_Rec\\??.mp4"), {"A.MP4", "b.mp4"}, ERROR_NO_MORE_FILES},
        {Win(L"Cont_Rec\\a?.mp4*"), {"A.MP4", "AB.mp4.bak"}, ERROR_NO_MORE_FILES},
        {Win(L"Cont_Rec\\*."), {".", "..", "noext", "Sub"}, ERROR_NO_MORE_FILES},
        {Win(L"Cont_Rec\\*.mp"), {}, ERROR_FILE_NOT_FOUND},
        {Win(L"Cont_Rec\\a.mp4"), {"A.MP4"}, ERROR_NO_MORE_FILES},
        {Win(L"CONT_REC"), {"Cont_Rec"}, ERROR_NO_MORE_FILES},
        {Win(L"Cont_Rec\\x*"), {}, ERROR_FILE_NOT_FOUND},
        // A drive's root lists neither "." nor "..".
        {Win(L"*"), {"Cont_Rec", "setting"}, ERROR_NO_MORE_FILES},
        {Win(L"nowhere\\*"), {}, ERROR_PATH_NOT_FOUND},
        {Win(L"setting\\setup.cfg\\*"), {}, ERROR_PATH_NOT_FOUND},
        {Win(L"Cont_Rec\\"), {}, ERROR_FILE_NOT_FOUND},
        {Win(L"Cont*\\*.mp4"), {}, ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        DWORD error = 0;
        EXPECT_EQ(List(c.pattern, &error), c.names) << Narrow(c.pattern);
        EXPECT_EQ(error, c.error) << Narrow(c.pattern);
    }
}

TEST_F(CardFiles, ListingsDescribeEachEntry)
{
    fs::path file = m_card / "Cont_Rec" / "A.MP4";
    // 2018-09-10 12:30:45 UTC, in seconds since 1970 and in 100 ns since 1601.
    struct timespec times[2] = {{1536582645, 0}, {1536582645, 500}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const uint64_t expected = (1536582645ull + 11644473600ull) * 10000000ull + 5;

    WIN32_FIND_DATAW data;
    Handle find(FindFirstFileW(Win(L"Cont_Rec\\a.mp4").c_str(), &data));
    ASSERT_TRUE(find.valid());
    EXPECT_EQ(Narrow(data.cFileName), "A.MP4");
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    uint64_t written =
        (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(written, expected);

    Handle folder(FindFirstFileW(Win(L"cont_rec\\sub").c_str(), &data));
    ASSERT_TRUE(folder.valid());
    EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(data.nFileSizeLow, 0u);  // folders have size 0, which the folder scan relies on

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(FindNextFileW(folder.h, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_FALSE(FindNextFileW(folder.h, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));

    HANDLE search = FindFirstFileW(Win(L"*").c_str(), &data);
    ASSERT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    Handle notAFind(CreateFileW(Win(L"setting\\setup.cfg").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(FindClose(notAFind.h));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(CardFiles, ExistenceAndAttributesTellFileFromFolderFromNothing)
{
    fs::path readOnly = m_card / "setting" / "locked.cfg";
    WriteNative(readOnly, "keep");
    fs::permissions(readOnly, fs::perms::owner_read);
    struct Case {
        std::wstring path;
        bool exists;
        DWORD attributes;
        DWORD error;  // for the ones that do not exist
    };
    const Case cases[] = {
        {Win(L"Cont_Rec\\a.mp4"), true, FILE_ATTRIBUTE_ARCHIVE, 0},
        {Win(L"SETTING\\LOCKED.cfg"), true, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, 0},
        {Win(L"cont_rec"), true, FILE_ATTRIBUTE_DIRECTORY, 0},
        {Win(L"cont_rec\\"), true, FILE_ATTRIBUTE_DIRECTORY, 0},
        {m_root, true, FILE_ATTRIBUTE_DIRECTORY, 0},
        {Win(L"Cont_Rec\\z.mp4"), false, INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {Win(L"nowhere\\z.mp4"), false, INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {Win(L"Cont_Rec\\*.mp4"), false, INVALID_FILE_ATTRIBUTES, ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PathFileExistsW(c.path.c_str()), c.exists ? TRUE : FALSE) << Narrow(c.path);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetFileAttributesW(c.path.c_str()), c.attributes) << Narrow(c.path);
        if (!c.exists)
            EXPECT_EQ(GetLastError(), c.error) << Narrow(c.path);
    }
    EXPECT_FALSE(PathFileExistsW(nullptr));
}

TEST_F(CardFiles, CopiesReplaceWholeFilesOrKeepTheTarget)
{
    fs::path target = m_card / "setting" / "copy.mp4";
    struct timespec times[2] = {{1536582645, 0}, {1536582645, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (m_card / "Cont_Rec" / "A.MP4").c_str(), times, 0), 0);

    ASSERT_TRUE(
        CopyFileW(Win(L"cont_rec\\a.mp4").c_str(), Win(L"setting\\copy.mp4").c_str(), TRUE));
    EXPECT_EQ(ReadNative(target), "front");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1536582645);  // the last write time travels with the copy

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(
        CopyFileW(Win(L"Cont_Rec\\b.mp4").c_str(), Win(L"SETTING\\COPY.MP4").c_str(), TRUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadNative(target), "front");

    // A reader that opened the old file keeps reading it whole while the copy replaces it.
    Handle reader(CreateFileW(Win(L"setting\\copy.mp4").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader.valid());
    ASSERT_TRUE(
        CopyFileW(Win(L"Cont_Rec\\b.mp4").c_str(), Win(L"setting\\copy.mp4").c_str(), FALSE));
    EXPECT_EQ(ReadNative(target), "rear!");
    char buffer[16];
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(reader.h, buffer, sizeof(buffer), &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "front");

    struct Case {
        const char* what;
        std::wstring from, to;
        DWORD error;
    };
    const Case failures[] = {
        {"missing source", Win(L"Cont_Rec\\z.mp4"), Win(L"setting\\z.mp4"), ERROR_FILE_NOT_FOUND},
        {"source in a missing folder", Win(L"nowhere\\z.mp4"), Win(L"setting\\z.mp4"),
         ERROR_PATH_NOT_FOUND},
        {"target in a missing folder", Win(L"Cont_Rec\\b.mp4"), Win(L"nowhere\\z.mp4"),
         ERROR_PATH_NOT_FOUND},
        {"a folder as source", Win(L"Cont_Rec\\Sub"), Win(L"setting\\z.mp4"), ERROR_ACCESS_DENIED},
        {"a folder as target", Win(L"Cont_Rec\\b.mp4"), Win(L"Cont_Rec\\sub"), ERROR_ACCESS_DENIED},
        {"onto itself", Win(L"Cont_Rec\\b.mp4"), Win(L"CONT_REC\\B.MP4"), ERROR_SHARING_VIOLATION},
    };
    for (const Case& c : failures) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CopyFileW(c.from.c_str(), c.to.c_str(), FALSE)) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(ReadNative(m_card / "Cont_Rec" / "b.mp4"), "rear!");

    // No temporary file is left behind, whether a copy succeeded or failed.
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_card / "setting"))
        names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"copy.mp4", "setup.cfg"}));
}

TEST_F(CardFiles, DeletesFilesButNotFoldersOrReadOnlyFiles)
{
    fs::path readOnly = m_card / "setting" / "locked.cfg";
    WriteNative(readOnly, "keep");
    fs::permissions(readOnly, fs::perms::owner_read);

    EXPECT_TRUE(DeleteFileW(Win(L"cont_rec\\A.mp4").c_str()));
    EXPECT_FALSE(fs::exists(m_card / "Cont_Rec" / "A.MP4"));
    struct Case {
        const char* what;
        std::wstring path;
        DWORD error;
    };
    const Case cases[] = {
        {"already deleted", Win(L"Cont_Rec\\A.MP4"), ERROR_FILE_NOT_FOUND},
        {"missing folder", Win(L"nowhere\\A.MP4"), ERROR_PATH_NOT_FOUND},
        {"a folder", Win(L"Cont_Rec\\Sub"), ERROR_ACCESS_DENIED},
        {"a read-only file", Win(L"setting\\locked.cfg"), ERROR_ACCESS_DENIED},
        {"a pattern", Win(L"Cont_Rec\\*.mp4"), ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(DeleteFileW(c.path.c_str())) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_TRUE(fs::exists(readOnly));
    EXPECT_TRUE(fs::exists(m_card / "Cont_Rec" / "b.mp4"));
}

}  // namespace
