// Resources of the program, embedded by two kv_add_resources calls (see CMakeLists.txt):
// LANGUAGE/ENGLISH and LANGUAGE/EMPTY; RT_RCDATA 140 (a big file), PNG/IC_PLAY_NORMAL.9.PNG and
// RT_STRING 7.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ResourceBytes(HMODULE module, HRSRC resource)
{
    HGLOBAL data = LoadResource(module, resource);
    EXPECT_NE(data, nullptr);
    const void* bytes = LockResource(data);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % 16, 0u) << "resources are 16-byte aligned";
    return std::string(static_cast<const char*>(bytes), SizeofResource(module, resource));
}

TEST(ResourceTest, FoundByNameInAnyCaseAndById)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* type;
        std::string file;
    } cases[] = {
        {L"ENGLISH", L"LANGUAGE", KV_TEST_DATA "/hello.txt"},
        {L"english", L"language", KV_TEST_DATA "/hello.txt"},
        {L"EnGlIsH", L"Language", KV_TEST_DATA "/hello.txt"},
        {L"ic_play_normal.9.png", L"PNG", KV_TEST_DATA "/brand.txt"},
        {MAKEINTRESOURCEW(7), RT_STRING, KV_TEST_DATA "/hello.txt"},
        {L"#7", L"#6", KV_TEST_DATA "/hello.txt"},
        {L"#0007", RT_STRING, KV_TEST_DATA "/hello.txt"},
        {MAKEINTRESOURCEW(140), RT_RCDATA, KV_BIG_RESOURCE},
        {L"EMPTY", L"LANGUAGE", KV_TEST_DATA "/empty.txt"},
    };
    HMODULE program = GetModuleHandleW(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        for (HMODULE module : {HMODULE(nullptr), program}) {
            HRSRC resource = FindResourceW(module, c.name, c.type);
            ASSERT_NE(resource, nullptr) << GetLastError();
            EXPECT_EQ(ResourceBytes(module, resource), FileBytes(c.file));
        }
    }
}

TEST(ResourceTest, MissingTypeOrNameSaysWhich)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* type;
        DWORD error;
    } cases[] = {
        {L"FRENCH", L"LANGUAGE", ERROR_RESOURCE_NAME_NOT_FOUND},
        {L"ENGLISH", L"TEXT", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {L"ENGLISH", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEW(8), RT_STRING, ERROR_RESOURCE_NAME_NOT_FOUND},
        {L"#7", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
        {L"#7x", RT_STRING, ERROR_RESOURCE_NAME_NOT_FOUND},
        {L"#65543", RT_STRING, ERROR_RESOURCE_NAME_NOT_FOUND},  // not id 7 modulo 65536
        {L"7", RT_STRING, ERROR_RESOURCE_NAME_NOT_FOUND},       // a string, not the id
        {L"", L"LANGUAGE", ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, L"LANGUAGE", ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION, ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(FindResourceW(nullptr, c.name, c.type), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(ResourceTest, ForeignHandlesAreRefused)
{
    HRSRC english = FindResourceW(nullptr, L"ENGLISH", L"LANGUAGE");
    ASSERT_NE(english, nullptr);

    // A module without resources: the library layer itself.
    HMODULE platform = GetModuleHandleW(L"libplatform.so");
    ASSERT_NE(platform, nullptr);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FindResourceW(platform, L"ENGLISH", L"LANGUAGE"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
    // A resource handle given with a module it does not belong to, or none at all.
    EXPECT_EQ(LoadResource(platform, english), nullptr);
    EXPECT_EQ(SizeofResource(platform, english), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(LockResource(nullptr), nullptr);
    int notAModule = 0;
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(&notAModule), L"ENGLISH", L"LANGUAGE"),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
