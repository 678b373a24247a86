// Version blocks: this program carries VERSION 1.0.0.2 and KvModuleTest.dll VERSION 2.1 (see
// CMakeLists.txt); both are read by path as the viewer reads its own version.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

const wchar_t kLibrary[] = L"KvModuleTest.dll";

std::wstring FileName(HMODULE module)
{
    WCHAR buffer[1024];
    DWORD n = GetModuleFileNameW(module, buffer, 1024);
    return std::wstring(buffer, n);
}

std::wstring ProgramFolder()
{
    std::wstring path = FileName(nullptr);
    return path.substr(0, path.rfind(L'\\') + 1);
}

// The block of a file as GetFileVersionInfoSizeW and GetFileVersionInfoW give it; empty when
// either fails. Kept in 32-bit units so that the block is aligned as an allocation would be.
std::vector<uint32_t> ReadBlock(const std::wstring& file)
{
    DWORD handle = 123;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    if (size == 0) return {};
    std::vector<uint32_t> block((size + 3) / 4);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return {};
    return block;
}

std::wstring QueryString(const void* block, const std::wstring& path)
{
    LPVOID text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, path.c_str(), &text, &length)) return L"<missing>";
    EXPECT_GT(length, 0u);
    const auto* characters = static_cast<const wchar_t*>(text);
    EXPECT_EQ(characters[length - 1], L'\0') << "the length counts the terminating zero";
    return std::wstring(characters, length - 1);
}

// Reads the file version string as the viewer does: the first translation names the table.
std::wstring FileVersionText(const void* block)
{
    LPVOID translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation", &translation, &length) ||
        length < 4) {
        return L"<no translation>";
    }
    const auto* words = static_cast<const WORD*>(translation);
    wchar_t path[64];
    std::swprintf(path, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", words[0], words[1]);
    return QueryString(block, path);
}

TEST(VersionTest, BlockIsReadThroughEveryPath)
{
    struct Case {
        const char* what;
        std::function<std::wstring()> path;
        DWORD versionMS, versionLS, fileType;
        const wchar_t* fileVersion;
        const wchar_t* description;
    } cases[] = {
        {"the program", [] { return FileName(nullptr); }, 0x00010000, 0x00000002, 1, L"1.0.0.2",
         L"Version test \u00A9"},
        {"a library not loaded", [] { return ProgramFolder() + kLibrary; }, 0x00020001, 0, 2,
         L"2.1", L"Module test library \U0001D11E"},
        {"a loaded library", [] { return FileName(GetModuleHandleW(kLibrary)); }, 0x00020001, 0,
         2, L"2.1", L"Module test library \U0001D11E"},
    };
    HMODULE library = nullptr;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "a loaded library") {
            library = LoadLibraryW(kLibrary);
            ASSERT_NE(library, nullptr);
        }
        std::vector<uint32_t> block = ReadBlock(c.path());
        ASSERT_FALSE(block.empty()) << GetLastError();

        LPVOID value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
        ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, c.versionMS);
        EXPECT_EQ(fixed->dwFileVersionLS, c.versionLS);
        EXPECT_EQ(fixed->dwProductVersionMS, c.versionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, c.versionLS);
        EXPECT_EQ(fixed->dwFileType, c.fileType);

        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
        ASSERT_EQ(length, 4u);
        EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0409);
        EXPECT_EQ(static_cast<const WORD*>(value)[1], 0x04b0);

        EXPECT_EQ(FileVersionText(block.data()), c.fileVersion);
        EXPECT_EQ(QueryString(block.data(), L"\\StringFileInfo\\040904b0\\ProductVersion"),
                  c.fileVersion);
        EXPECT_EQ(QueryString(block.data(), L"\\StringFileInfo\\040904b0\\CompanyName"),
                  L"Kestrovan");
        EXPECT_EQ(QueryString(block.data(), L"\\stringfileinfo\\040904B0\\FILEDESCRIPTION"),
                  c.description);
    }
    // Reading the version of a library that was not loaded leaves it unloaded; reading a
    // loaded one leaves its reference alone.
    EXPECT_EQ(GetModuleHandleW(kLibrary), library);
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);
}

TEST(VersionTest, MissingValuesAndFilesFail)
{
    std::vector<uint32_t> block = ReadBlock(FileName(nullptr));
    ASSERT_FALSE(block.empty());
    const wchar_t* missing[] = {
        L"\\StringFileInfo\\040904b0\\Comments",
        L"\\StringFileInfo\\04070000\\FileVersion",
        L"\\StringFileInfo\\040904b0\\FileVersion\\More",
        L"\\VarFileInfo\\Translations",
        L"\\Nothing",
    };
    for (const wchar_t* path : missing) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(path)));
        LPVOID value = nullptr;
        UINT length = 77;
        EXPECT_FALSE(VerQueryValueW(block.data(), path, &value, &length));
    }

    struct FileCase {
        std::wstring file;
        DWORD error;
    } files[] = {
        {ProgramFolder() + L"NoSuchFile.dll", ERROR_FILE_NOT_FOUND},
        {platform::ToWindowsPath(KV_TEST_DATA "/hello.txt"), ERROR_RESOURCE_DATA_NOT_FOUND},
        {FileName(GetModuleHandleW(L"libplatform.so")), ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const FileCase& c : files) {
        SCOPED_TRACE(testing::PrintToString(c.file));
        DWORD handle = 5;
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetFileVersionInfoSizeW(c.file.c_str(), &handle), 0u);
        EXPECT_EQ(GetLastError(), c.error);
        uint32_t buffer[64] = {};
        EXPECT_FALSE(GetFileVersionInfoW(c.file.c_str(), 0, sizeof buffer, buffer));
    }

    // A buffer smaller than the size asked for is refused, not filled with a cut block.
    std::wstring program = FileName(nullptr);
    DWORD size = GetFileVersionInfoSizeW(program.c_str(), nullptr);
    std::vector<uint32_t> small(size / 4, 0xAAAAAAAAu);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetFileVersionInfoW(program.c_str(), 0, size - 1, small.data()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

// The resource itself has Windows' layout, so that any reader of VS_VERSIONINFO can take it.
TEST(VersionTest, ResourceHasTheWindowsLayout)
{
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(resource, nullptr);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource)));
    DWORD size = SizeofResource(nullptr, resource);
    auto word = [&](size_t offset) { return WORD(bytes[offset] | (bytes[offset + 1] << 8)); };
    auto utf16 = [](const std::string& text) {
        std::string out;
        for (char c : text) out += std::string{c, '\0'};
        return out + std::string(2, '\0');
    };
    auto at = [&](size_t offset, const std::string& expected) {
        return offset + expected.size() <= size &&
               std::memcmp(bytes + offset, expected.data(), expected.size()) == 0;
    };
    auto find = [&](const std::string& text) {
        std::string needle = utf16(text);
        for (size_t offset = 0; offset + needle.size() <= size; offset += 2) {
            if (at(offset, needle)) return offset;
        }
        return size_t(0);
    };

    EXPECT_EQ(word(0), size) << "wLength spans the whole resource";
    EXPECT_EQ(word(2), 52) << "wValueLength is the size of VS_FIXEDFILEINFO";
    EXPECT_EQ(word(4), 0) << "the root's value is binary";
    EXPECT_TRUE(at(6, utf16("VS_VERSION_INFO")));
    EXPECT_EQ(word(40) | (word(42) << 16), 0xFEEF04BDu) << "the fixed part starts at 40";

    // A string: header on a 32-bit boundary, key, value on the next boundary, lengths in units.
    size_t key = find("FileVersion");
    ASSERT_GT(key, 6u);
    size_t node = key - 6;
    EXPECT_EQ(node % 4, 0u);
    EXPECT_EQ(word(node + 2), 8) << "\"1.0.0.2\" and its zero";
    EXPECT_EQ(word(node + 4), 1) << "text";
    size_t value = (key + utf16("FileVersion").size() + 3) & ~size_t(3);
    EXPECT_TRUE(at(value, utf16("1.0.0.2")));
    EXPECT_EQ(word(node), value + 16 - node);

    size_t table = find("040904b0");
    ASSERT_GT(table, 6u);
    EXPECT_EQ(word(table - 6 + 2), 0);
    EXPECT_EQ(word(table - 6 + 4), 1);

    size_t translation = find("Translation");
    ASSERT_GT(translation, 6u);
    EXPECT_EQ(word(translation - 6 + 2), 4) << "a binary value counts bytes";
    EXPECT_EQ(word(translation - 6 + 4), 0);
    size_t pair = (translation + utf16("Translation").size() + 3) & ~size_t(3);
    EXPECT_EQ(word(pair), 0x0409);
    EXPECT_EQ(word(pair + 2), 0x04b0);

    // Read in place, the resource gives its binary parts; its strings need the wide copy that
    // only GetFileVersionInfoW makes.
    LPVOID fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(bytes, L"\\", &fixed, &length));
    EXPECT_EQ(fixed, bytes + 40);
    LPVOID text = nullptr;
    EXPECT_FALSE(VerQueryValueW(bytes, L"\\StringFileInfo\\040904b0\\FileVersion", &text, &length));
}

// Malformed blocks handed to VerQueryValueW are rejected without reading past their stated
// length (AddressSanitizer watches the reads).
TEST(VersionTest, MalformedBlocksAreRejected)
{
    auto block = [](std::vector<WORD> words) {
        words[0] = WORD(words.size() * 2);
        return words;
    };
    auto key = [](std::vector<WORD> words, const char* text) {
        for (const char* p = text; *p; ++p) words.push_back(WORD(*p));
        words.push_back(0);
        return words;
    };
    std::vector<WORD> root = key({0, 0, 0}, "VS_VERSION_INFO");
    root.push_back(0);  // padding to the value at byte 40

    struct Case {
        const char* what;
        std::vector<WORD> words;
    } cases[] = {
        {"shorter than a header", {4, 0, 0}},
        {"key without its zero", block({0, 0, 0, 'V', 'S'})},
        {"wrong root key", block(key({0, 0, 0}, "VS_VERSION_INFX"))},
        {"fixed part cut short", [&] {
             auto w = root;
             w[1] = 52;
             w.resize(w.size() + 10, 0);
             return block(w);
         }()},
        {"child longer than its parent", [&] {
             auto w = root;
             auto child = key({400, 0, 1}, "StringFileInfo");
             w.insert(w.end(), child.begin(), child.end());
             return block(w);
         }()},
        {"binary value beyond its node", [&] {
             auto w = root;
             auto child = key({0, 200, 0}, "VarFileInfo");
             child[0] = WORD(child.size() * 2);
             w.insert(w.end(), child.begin(), child.end());
             return block(w);
         }()},
    };
    const wchar_t* queries[] = {L"\\", L"\\StringFileInfo", L"\\VarFileInfo",
                                L"\\StringFileInfo\\040904b0\\FileVersion"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The block's own copy, exactly as long as it says it is.
        std::vector<WORD> copy = c.words;
        for (const wchar_t* query : queries) {
            LPVOID value = nullptr;
            UINT length = 0;
            EXPECT_FALSE(VerQueryValueW(copy.data(), query, &value, &length))
                << testing::PrintToString(std::wstring(query));
        }
    }
}

}  // namespace
