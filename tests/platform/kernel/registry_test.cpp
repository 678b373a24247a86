// The file-backed registry: values and keys, sizes and errors, sharing between processes and
// threads, and damaged or interrupted hive files.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child_process.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace {

const wchar_t kKey[] = L"SOFTWARE\\KESTROVAN\\";

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool Exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// The way the viewer writes a string: REG_SZ with its terminating zero counted.
LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD((text.size() + 1) * sizeof(WCHAR)));
}

// The value's type and bytes, or the failure's status.
struct Read {
    LSTATUS status;
    DWORD type;
    std::string bytes;
};

Read Query(HKEY key, const wchar_t* name)
{
    Read read{ERROR_SUCCESS, 0, {}};
    DWORD size = 0;
    read.status = RegQueryValueExW(key, name, nullptr, &read.type, nullptr, &size);
    if (read.status != ERROR_SUCCESS)
        return read;
    read.bytes.resize(size);
    read.status = RegQueryValueExW(key, name, nullptr, &read.type,
                                   reinterpret_cast<BYTE*>(read.bytes.data()), &size);
    read.bytes.resize(size);
    return read;
}

std::string Bytes(const std::wstring& text, bool withZero = true)
{
    return std::string(reinterpret_cast<const char*>(text.c_str()),
                       (text.size() + (withZero ? 1 : 0)) * sizeof(WCHAR));
}

HKEY Create(HKEY root, const wchar_t* path, REGSAM access = KEY_ALL_ACCESS,
            DWORD* disposition = nullptr)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &key, disposition);
    EXPECT_EQ(status, ERROR_SUCCESS);
    return key;
}

// A large REG_BINARY value that tells which rewrite stored it: the generation in its first four
// bytes, and every other byte derived from the generation and its place, so that a value cut
// short or mixed from two rewrites is seen.
constexpr size_t kLargeValueBytes = 64u << 10;

std::string LargeValue(uint32_t generation)
{
    std::string bytes(kLargeValueBytes, '\0');
    std::memcpy(bytes.data(), &generation, sizeof generation);
    for (size_t i = sizeof generation; i < bytes.size(); ++i)
        bytes[i] = char((generation * 131u + i * 7u) & 0xff);
    return bytes;
}

// The generation a large value carries, or 0 when it is not one that LargeValue makes.
uint32_t GenerationOf(const std::string& bytes)
{
    uint32_t generation = 0;
    if (bytes.size() != kLargeValueBytes)
        return 0;
    std::memcpy(&generation, bytes.data(), sizeof generation);
    return bytes == LargeValue(generation) ? generation : 0;
}

// Child roles. "set" writes KV_CHILD_VALUE as the REG_SZ value KV_CHILD_NAME under the
// test key; "expect" exits 0 when that value reads back as KV_CHILD_VALUE; "many" writes
// KV_CHILD_COUNT values named KV_CHILD_NAME0, 1, ... after the parent releases it; "rewrite"
// says it is ready, then rewrites the hive until it is killed, each time storing the large
// value KV_CHILD_NAME of the generation after the one it holds; "die" stores the next
// generation once, killing itself when KV_CHILD_COUNT bytes of the new file are written. The
// store is wherever the child's environment points.
std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

int ChildRoles(const std::string& role)
{
    std::wstring name = Widen(kvtest::ChildArgument("KV_CHILD_NAME"));
    std::wstring value = Widen(kvtest::ChildArgument("KV_CHILD_VALUE"));
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 10;
    int result = 0;
    if (role == "set") {
        result = SetString(key, name.c_str(), value) == ERROR_SUCCESS ? 0 : 11;
    } else if (role == "expect") {
        Read read = Query(key, name.c_str());
        result = read.status != ERROR_SUCCESS ? 12 : read.bytes != Bytes(value) ? 13 : 0;
    } else if (role == "many") {
        int count = std::atoi(kvtest::ChildArgument("KV_CHILD_COUNT").c_str());
        kvtest::ReadyAndWait();
        for (int i = 0; i < count && result == 0; ++i)
            if (SetString(key, (name + std::to_wstring(i)).c_str(), L"x") != ERROR_SUCCESS)
                result = 14;
    } else if (role == "rewrite" || role == "die") {
        Read held = Query(key, name.c_str());
        uint32_t generation = held.status == ERROR_SUCCESS ? GenerationOf(held.bytes) : 0;
        if (role == "die")
            platform::testing::DieDuringNextRegistryWrite(
                std::stoul(kvtest::ChildArgument("KV_CHILD_COUNT")));
        else
            kvtest::Ready();
        do {
            const std::string bytes = LargeValue(++generation);
            if (RegSetValueExW(key, name.c_str(), 0, REG_BINARY,
                               reinterpret_cast<const BYTE*>(bytes.data()),
                               DWORD(bytes.size())) != ERROR_SUCCESS)
                return 15;
        } while (role == "rewrite");
        result = 16;  // the writer was to die in its rewrite
    } else {
        result = 100;
    }
    RegCloseKey(key);
    return result;
}
KV_CHILD_ROLES(ChildRoles);

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        std::string base = std::string(build ? build : "/tmp") + "/registry_test.XXXXXX";
        ASSERT_NE(mkdtemp(base.data()), nullptr);
        m_home = base;
        platform::testing::SetHomeFolder(m_home);
    }
    void TearDown() override { std::system(("rm -rf '" + m_home + "'").c_str()); }

    std::string Hive() const { return m_home + "/HKEY_LOCAL_MACHINE"; }
    std::string HomeVariable() const { return "PLATFORM_HOME=" + m_home; }

    std::string m_home;
};

// ---------------------------------------------------------------------------------------------
// Values

TEST_F(Registry, ValuesReadBackAsTheyWereSet)
{
    // Each value goes through the file: every read parses it afresh.
    const wchar_t odd[] = {
        L'a', wchar_t(0xDC80), wchar_t(0xD800), wchar_t(0x110000), wchar_t(0xFFFFFFFF), L'\0'};
    DWORD number = 0x2A;
    uint64_t big = 0x0123456789ABCDEFull;
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::string bytes;
    } cases[] = {
        {L"DASHCAMPATH", REG_SZ, Bytes(L"C:\\Program Files\\Tessaly\\")},
        {L"quotes \"and\" 100% \\ [brackets]", REG_SZ, Bytes(L"say \"hi\" = 100%\t\r\nnext")},
        {L"unicode \u00e9\u4e2d\U0001F600", REG_SZ, Bytes(L"\u00c4rger \u4e2d\u6587 \U0001F600")},
        {L"not unicode", REG_SZ, Bytes(odd)},
        {L"controls \x01\x7f\x85", REG_EXPAND_SZ, Bytes(L"%PATH%\x01\x1f")},
        {L"no zero", REG_SZ, Bytes(L"english", false)},
        {L"empty string", REG_SZ, Bytes(L"")},
        {L"no bytes", REG_SZ, std::string()},
        {L"odd size", REG_SZ, std::string("abcde")},
        {L"multi", REG_MULTI_SZ, Bytes(std::wstring(L"one\0two\0", 8))},
        {L"dword", REG_DWORD, std::string(reinterpret_cast<char*>(&number), 4)},
        {L"short dword", REG_DWORD, std::string("\x01\x02\x03", 3)},
        {L"qword", REG_QWORD, std::string(reinterpret_cast<char*>(&big), 8)},
        {L"binary", REG_BINARY, std::string("\x00\xff\x10\n\"%", 6)},
        {L"empty binary", REG_BINARY, std::string()},
        {L"other type", 0x12345678, std::string("\x00\x01", 2)},
        {L"", REG_SZ, Bytes(L"the default value")},
    };
    HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
    for (const Case& c : cases)
        ASSERT_EQ(
            RegSetValueExW(key, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.bytes.data()),
                           DWORD(c.bytes.size())),
            ERROR_SUCCESS);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "value " << testing::PrintToString(std::wstring(c.name)));
        Read read = Query(key, c.name);
        ASSERT_EQ(read.status, ERROR_SUCCESS);
        EXPECT_EQ(read.type, c.type);
        EXPECT_EQ(read.bytes, c.bytes);
    }
    EXPECT_EQ(Query(key, nullptr).bytes, Bytes(L"the default value")) << "null names the default";
    RegCloseKey(key);
}

TEST_F(Registry, TheHiveIsReadableText)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
    SetString(key, L"DASHCAMPATH", L"C:\\Program Files\\Tessaly\\");
    SetString(key, L"LANGUAGE", L"english");
    DWORD number = 42;
    RegSetValueExW(key, L"Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
    RegSetValueExW(key, L"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ab"), 8);
    RegCloseKey(key);
    EXPECT_EQ(ReadText(Hive()),
              "# kvplatform registry hive HKEY_LOCAL_MACHINE\n"
              "\n[SOFTWARE\\KESTROVAN]\n"
              "\"DASHCAMPATH\" = sz \"C:\\Program Files\\Tessaly\\\"\n"
              "\"LANGUAGE\" = sz \"english\"\n"
              "\"Count\" = dword 0x0000002a\n"
              "\"Raw\" = sz \"ab\" nozero\n");
}

TEST_F(Registry, SizesFollowTheQueryProtocol)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
    SetString(key, L"LANGUAGE", L"english");
    const DWORD needed = 8 * sizeof(WCHAR);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"LANGUAGE", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, needed) << "a null buffer asks for the size";
    EXPECT_EQ(type, DWORD(REG_SZ));

    WCHAR small[4];
    size = sizeof small;
    type = 0;
    EXPECT_EQ(
        RegQueryValueExW(key, L"LANGUAGE", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(type, DWORD(REG_SZ));

    WCHAR exact[8];
    size = sizeof exact;
    EXPECT_EQ(
        RegQueryValueExW(key, L"LANGUAGE", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(std::wstring(exact), L"english");

    EXPECT_EQ(RegQueryValueExW(key, L"LANGUAGE", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS)
        << "neither type nor data: only whether it exists";
    EXPECT_EQ(RegQueryValueExW(key, L"LANGUAGE", nullptr, nullptr, reinterpret_cast<BYTE*>(exact),
                               nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Registry, NamesCompareWithoutRegardToCaseAndKeepTheirFirstCase)
{
    DWORD disposition = 0;
    HKEY key = Create(HKEY_LOCAL_MACHINE, L"Software\\Kestrovan\\\u00c4rger", KEY_ALL_ACCESS,
                      &disposition);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    SetString(key, L"Language", L"english");
    RegCloseKey(key);

    key = Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KESTROVAN\\\u00e4RGER", KEY_ALL_ACCESS,
                 &disposition);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(Query(key, L"LANGUAGE").bytes, Bytes(L"english"));
    EXPECT_EQ(SetString(key, L"LANGUAGE", L"korean"), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, L"language").bytes, Bytes(L"korean"));
    EXPECT_EQ(RegDeleteValueW(key, L"lAnGuAgE"), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, L"Language").status, ERROR_FILE_NOT_FOUND);
    SetString(key, L"LANGUAGE", L"korean");
    RegCloseKey(key);

    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"software\\KESTROVAN", 0, KEY_READ, &opened),
              ERROR_SUCCESS);
    RegCloseKey(opened);

    std::string text = ReadText(Hive());
    EXPECT_NE(text.find("[Software\\Kestrovan\\\xc3\x84rger]"), std::string::npos) << text;
    EXPECT_EQ(text.find("[SOFTWARE"), std::string::npos) << text;
    EXPECT_EQ(text.find("RGER"), std::string::npos) << text;
}

TEST_F(Registry, CreateMakesEveryMissingLevel)
{
    DWORD disposition = 0;
    HKEY deep = Create(HKEY_LOCAL_MACHINE, L"A\\B\\C", KEY_ALL_ACCESS, &disposition);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    for (const wchar_t* path : {L"A", L"A\\B", L"A\\B\\C", L"A\\B\\C\\"}) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS)
            << testing::PrintToString(std::wstring(path));
        RegCloseKey(key);
    }

    // Relative to an open key, and an empty sub-key opening the key itself.
    HKEY below = Create(deep, L"D", KEY_ALL_ACCESS, &disposition);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    SetString(below, L"v", L"1");
    HKEY same = nullptr;
    EXPECT_EQ(RegOpenKeyExW(below, L"", 0, KEY_READ, &same), ERROR_SUCCESS);
    EXPECT_EQ(Query(same, L"v").bytes, Bytes(L"1"));
    HKEY absolute = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"a\\b\\c\\d", 0, KEY_READ, &absolute),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(absolute, L"v").bytes, Bytes(L"1"));
    for (HKEY key : {deep, below, same, absolute})
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // Hives are separate.
    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"A", 0, KEY_READ, &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other, nullptr);
}

TEST_F(Registry, DeletingATreeTakesEverythingBelowAndKeepsTheRest)
{
    // "CLSID" exists only as the ancestor of the class keys; deleting the last of them must not
    // take it along.
    HKEY server = Create(HKEY_CLASSES_ROOT, L"CLSID\\{A}\\InprocServer32");
    SetString(server, nullptr, L"C:\\a.ax");
    HKEY sibling = Create(HKEY_CLASSES_ROOT, L"CLSIDX\\{B}");
    SetString(sibling, L"v", L"b");
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"clsid\\{a}"), ERROR_SUCCESS);
    HKEY open = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{A}", 0, KEY_READ, &open),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &open), ERROR_SUCCESS);
    RegCloseKey(open);
    EXPECT_EQ(Query(sibling, L"v").bytes, Bytes(L"b"));
    // A handle to a deleted key fails; the key can be made again afresh.
    EXPECT_EQ(Query(server, nullptr).status, ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{A}"), ERROR_FILE_NOT_FOUND);
    HKEY again = Create(HKEY_CLASSES_ROOT, L"CLSID\\{A}\\InprocServer32");
    EXPECT_EQ(Query(again, nullptr).status, ERROR_FILE_NOT_FOUND);

    // Without a sub-key the key stays, emptied, also when it existed only as an ancestor.
    HKEY deep = Create(HKEY_LOCAL_MACHINE, L"P\\Q\\R");
    SetString(deep, L"r", L"1");
    HKEY top = Create(HKEY_LOCAL_MACHINE, L"P");
    EXPECT_EQ(RegDeleteTreeW(top, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"P\\Q", 0, KEY_READ, &open), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetString(top, L"p", L"2"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(top, L""), ERROR_SUCCESS);
    EXPECT_EQ(Query(top, L"p").status, ERROR_FILE_NOT_FOUND);
    for (HKEY key : {server, sibling, again, deep, top})
        RegCloseKey(key);
}

TEST_F(Registry, ErrorsAreReportedAndChangeNothing)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
    SetString(key, L"LANGUAGE", L"english");
    HKEY readOnly = Create(HKEY_LOCAL_MACHINE, kKey, KEY_READ);
    HKEY writeOnly = Create(HKEY_LOCAL_MACHINE, kKey, KEY_WRITE);
    HKEY readDelete = Create(HKEY_LOCAL_MACHINE, kKey, KEY_READ | DELETE);
    HKEY closed = Create(HKEY_LOCAL_MACHINE, kKey);
    RegCloseKey(closed);
    std::string before = ReadText(Hive());

    HKEY result = nullptr;
    DWORD size = 0;
    struct Case {
        const char* what;
        LSTATUS status;
        LSTATUS expected;
    } cases[] = {
        {"open a missing key",
         RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NONE", 0, KEY_READ, &result),
         ERROR_FILE_NOT_FOUND},
        {"query a missing value", RegQueryValueExW(key, L"NONE", nullptr, nullptr, nullptr, &size),
         ERROR_FILE_NOT_FOUND},
        {"delete a missing value", RegDeleteValueW(key, L"NONE"), ERROR_FILE_NOT_FOUND},
        {"leading separator",
         RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"\\SOFTWARE", 0, KEY_READ, &result),
         ERROR_BAD_PATHNAME},
        {"empty level",
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                         nullptr, &result, nullptr),
         ERROR_BAD_PATHNAME},
        {"null sub-key to create",
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                         &result, nullptr),
         ERROR_INVALID_PARAMETER},
        {"closed key", SetString(closed, L"LANGUAGE", L"x"), ERROR_INVALID_HANDLE},
        {"close twice", RegCloseKey(closed), ERROR_INVALID_HANDLE},
        {"not a key",
         RegQueryValueExW(HKEY(uintptr_t(0x80000005)), L"x", nullptr, nullptr, nullptr, &size),
         ERROR_INVALID_HANDLE},
        {"set through a read-only key", SetString(readOnly, L"LANGUAGE", L"x"),
         ERROR_ACCESS_DENIED},
        {"delete through a read-only key", RegDeleteValueW(readOnly, L"LANGUAGE"),
         ERROR_ACCESS_DENIED},
        {"query through a write-only key",
         RegQueryValueExW(writeOnly, L"LANGUAGE", nullptr, nullptr, nullptr, &size),
         ERROR_ACCESS_DENIED},
        {"set data from nowhere", RegSetValueExW(key, L"LANGUAGE", 0, REG_SZ, nullptr, 4),
         ERROR_INVALID_PARAMETER},
        {"delete a missing tree", RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NONE"),
         ERROR_FILE_NOT_FOUND},
        {"delete a tree through a read-only key", RegDeleteTreeW(readOnly, nullptr),
         ERROR_ACCESS_DENIED},
        {"empty a key of values without KEY_SET_VALUE", RegDeleteTreeW(readDelete, nullptr),
         ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.status, c.expected) << c.what;
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(ReadText(Hive()), before);
    EXPECT_EQ(Query(readOnly, L"LANGUAGE").bytes, Bytes(L"english"));
    for (HKEY open : {key, readOnly, writeOnly, readDelete})
        RegCloseKey(open);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

// ---------------------------------------------------------------------------------------------
// Sharing

TEST_F(Registry, ValuesAreSharedWithOtherProcesses)
{
    {
        kvtest::ChildProcess child("set", {HomeVariable(), "KV_CHILD_NAME=DASHCAMPATH",
                                           "KV_CHILD_VALUE=C:\\from\\child\\"});
        child.Release();
        ASSERT_EQ(child.Wait(), 0);
    }
    HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(Query(key, L"DASHCAMPATH").bytes, Bytes(L"C:\\from\\child\\"));

    SetString(key, L"LANGUAGE", L"korean");
    RegCloseKey(key);
    kvtest::ChildProcess child("expect",
                               {HomeVariable(), "KV_CHILD_NAME=language", "KV_CHILD_VALUE=korean"});
    child.Release();
    EXPECT_EQ(child.Wait(), 0) << "the child did not read what this process wrote";
}

TEST_F(Registry, ConcurrentWritersLoseNoUpdate)
{
    constexpr int kCount = 60, kThreads = 3;
    kvtest::ChildProcess child("many", {HomeVariable(), "KV_CHILD_NAME=child",
                                        "KV_CHILD_COUNT=" + std::to_string(kCount)});
    ASSERT_TRUE(child.WaitReady());
    child.Release();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
            for (int i = 0; i < kCount; ++i)
                EXPECT_EQ(
                    SetString(key,
                              (L"thread" + std::to_wstring(t) + L"-" + std::to_wstring(i)).c_str(),
                              L"y"),
                    ERROR_SUCCESS);
            RegCloseKey(key);
        });
    for (auto& thread : threads)
        thread.join();
    ASSERT_EQ(child.Wait(), 0);

    HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
    int missing = 0;
    for (int i = 0; i < kCount; ++i) {
        missing += Query(key, (L"child" + std::to_wstring(i)).c_str()).status != ERROR_SUCCESS;
        for (int t = 0; t < kThreads; ++t)
            missing +=
                Query(key, (L"thread" + std::to_wstring(t) + L"-" + std::to_wstring(i)).c_str())
                    .status != ERROR_SUCCESS;
    }
    EXPECT_EQ(missing, 0);
    RegCloseKey(key);
}

TEST_F(Registry, TheStoreFollowsTheEnvironment)
{
    struct Case {
        std::vector<std::string> environment;
        std::string folder;  // below the test's home
    } cases[] = {
        {{"PLATFORM_HOME=" + m_home + "/platform", "XDG_CONFIG_HOME=" + m_home + "/xdg"},
         "/platform"},
        {{"PLATFORM_HOME", "XDG_CONFIG_HOME=" + m_home + "/xdg", "HOME=" + m_home + "/home"},
         "/xdg/kvplatform"},
        {{"PLATFORM_HOME", "XDG_CONFIG_HOME", "HOME=" + m_home + "/home"},
         "/home/.config/kvplatform"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        auto environment = c.environment;
        environment.push_back("KV_CHILD_NAME=where");
        environment.push_back("KV_CHILD_VALUE=here");
        kvtest::ChildProcess child("set", environment);
        child.Release();
        ASSERT_EQ(child.Wait(), 0);
        EXPECT_NE(
            ReadText(m_home + c.folder + "/HKEY_LOCAL_MACHINE").find("\"where\" = sz \"here\""),
            std::string::npos);
    }
}

// ---------------------------------------------------------------------------------------------
// Damage

// Writers killed in the middle of their rewrites of a large hive: at chosen points of writing
// the new file, then at random points of rewrites made over and over. Each time the hive holds
// what one whole rewrite wrote (the one before the kill, or the one being made), never a file
// cut short; the values no rewrite touched are all there; and the next writer goes on.
TEST_F(Registry, AWriterKilledDuringItsRewriteLeavesAWholeHive)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
    SetString(key, L"DASHCAMPATH", L"C:\\Tessaly\\");
    SetString(key, L"LANGUAGE", L"english");
    const std::string first = LargeValue(1);
    // How long one rewrite takes here, so that the random kills fall inside rewrites.
    auto begun = std::chrono::steady_clock::now();
    ASSERT_EQ(RegSetValueExW(key, L"LARGE", 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(first.data()), DWORD(first.size())),
              ERROR_SUCCESS);
    const auto rewrite = std::chrono::steady_clock::now() - begun;
    const size_t hiveBytes = ReadText(Hive()).size();

    // The hive must hold a whole large value of `generation` or, when `newer` may be, a later
    // one, with the other values beside it; returns the generation it holds.
    auto expectWhole = [&](uint32_t generation, bool newer) {
        Read large = Query(key, L"LARGE");
        EXPECT_EQ(large.status, ERROR_SUCCESS) << "the large value is gone";
        const uint32_t held = GenerationOf(large.bytes);
        EXPECT_NE(held, 0u) << "the large value is cut or mixed: " << large.bytes.size()
                            << " bytes";
        if (newer)
            EXPECT_GE(held, generation) << "a whole rewrite was lost";
        else
            EXPECT_EQ(held, generation) << "a rewrite that died took effect";
        EXPECT_EQ(Query(key, L"DASHCAMPATH").bytes, Bytes(L"C:\\Tessaly\\"));
        EXPECT_EQ(Query(key, L"LANGUAGE").bytes, Bytes(L"english"));
        return held ? held : generation;
    };

    uint32_t generation = 1;
    for (size_t written : {size_t(0), size_t(1), hiveBytes / 2, hiveBytes - 1, hiveBytes}) {
        SCOPED_TRACE("killed after writing " + std::to_string(written) + " of " +
                     std::to_string(hiveBytes) + " bytes");
        kvtest::ChildProcess child("die", {HomeVariable(), "KV_CHILD_NAME=LARGE",
                                           "KV_CHILD_COUNT=" + std::to_string(written)});
        ASSERT_TRUE(child.Started());
        ASSERT_EQ(child.Wait(), 128 + SIGKILL) << "the writer did not die in its rewrite";
        generation = expectWhole(generation, false);
    }

    const unsigned seed = std::random_device()();
    SCOPED_TRACE("random kills, seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> pick(
        0, std::chrono::duration_cast<std::chrono::microseconds>(rewrite).count() * 3);
    for (int kill = 0; kill < 12 && !HasFailure(); ++kill) {
        kvtest::ChildProcess child("rewrite", {HomeVariable(), "KV_CHILD_NAME=LARGE"});
        ASSERT_TRUE(child.Started());
        ASSERT_TRUE(child.WaitReady());
        std::this_thread::sleep_for(std::chrono::microseconds(pick(random)));
        child.Kill();
        ASSERT_EQ(child.Wait(), 128 + SIGKILL) << "the writer failed before it was killed";
        generation = expectWhole(generation, true);
    }

    // The next writer replaces what a killed one left behind.
    EXPECT_EQ(SetString(key, L"PLAYTYPE", L"0"), ERROR_SUCCESS);
    EXPECT_EQ(GenerationOf(Query(key, L"LARGE").bytes), generation);
    EXPECT_EQ(Query(key, L"LANGUAGE").bytes, Bytes(L"english"));
    EXPECT_EQ(Query(key, L"PLAYTYPE").bytes, Bytes(L"0"));
    EXPECT_FALSE(Exists(Hive() + ".tmp"));
    RegCloseKey(key);
}

TEST_F(Registry, UnreadableLinesAreAbsentAndSurviveRewrites)
{
    const std::string good =
        "[SOFTWARE\\KESTROVAN]\n"
        "\"LANGUAGE\" = sz \"english\"\n";
    struct Case {
        const char* what;
        std::string damage;     // lines that cannot be read, appended after `good`
        const wchar_t* hidden;  // a value name the damage must not produce, or null
    } cases[] = {
        {"binary junk", std::string("\x00\xff\xfe junk \x01\n", 11), nullptr},
        {"truncated last line", "\"PLAYTYPE\" = sz \"du", L"PLAYTYPE"},
        {"bad escape", "\"PLAYTYPE\" = sz \"%G1\"\n", L"PLAYTYPE"},
        {"invalid UTF-8", "\"PLAY\xc3(\" = sz \"x\"\n", nullptr},
        {"unknown type", "\"PLAYTYPE\" = float 1.5\n", L"PLAYTYPE"},
        {"number too long", "\"PLAYTYPE\" = dword 0x123456789\n", L"PLAYTYPE"},
        {"odd hex", "\"PLAYTYPE\" = binary abc\n", L"PLAYTYPE"},
        {"trailing words", "\"PLAYTYPE\" = sz \"x\" extra\n", L"PLAYTYPE"},
        {"broken header and what follows it", "[SOFTWARE\\KESTROVAN\n\"PLAYTYPE\" = sz \"dual\"\n",
         L"PLAYTYPE"},
        {"empty level in a header", "[SOFTWARE\\\\KESTROVAN]\n\"PLAYTYPE\" = sz \"1\"\n",
         L"PLAYTYPE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Also a line before any key, which belongs to none.
        WriteText(Hive(), "\"Stray\" = sz \"value\"\n" + good + c.damage);
        HKEY key = Create(HKEY_LOCAL_MACHINE, kKey);
        EXPECT_EQ(Query(key, L"LANGUAGE").bytes, Bytes(L"english"));
        if (c.hidden)
            EXPECT_EQ(Query(key, c.hidden).status, ERROR_FILE_NOT_FOUND);

        ASSERT_EQ(SetString(key, L"UNIT", L"km/h"), ERROR_SUCCESS);
        std::string text = ReadText(Hive());
        std::string damage = c.damage;
        if (!damage.empty() && damage.back() == '\n')
            damage.pop_back();
        std::istringstream lines(damage);
        for (std::string line; std::getline(lines, line);)
            EXPECT_NE(text.find(line), std::string::npos) << "lost: " << line;
        EXPECT_NE(text.find("\"Stray\" = sz \"value\""), std::string::npos);
        EXPECT_EQ(Query(key, L"LANGUAGE").bytes, Bytes(L"english"));
        EXPECT_EQ(Query(key, L"UNIT").bytes, Bytes(L"km/h"));
        if (c.hidden)
            EXPECT_EQ(Query(key, c.hidden).status, ERROR_FILE_NOT_FOUND);
        RegCloseKey(key);
    }
}

TEST_F(Registry, HandWrittenFilesAreRead)
{
    // Windows line ends, indentation, repeated sections and a repeated value (the first
    // counts), a key known only through the key below it, and the root's own values.
    WriteText(Hive(),
              "[]\r\n"
              "\"top\" = dword 0x1\r\n"
              "  [software\\kestrovan]  \r\n"
              "\t\"LANGUAGE\"=sz \"english\"\r\n"
              "\"language\" = sz \"korean\"\r\n"
              "[SOFTWARE\\KESTROVAN]\r\n"
              "\"UNIT\" = sz \"mph\"\r\n"
              "[SOFTWARE\\Deep\\Below]\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, L"LANGUAGE").bytes, Bytes(L"english"));
    EXPECT_EQ(Query(key, L"UNIT").bytes, Bytes(L"mph"));
    DWORD one = 1;
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, L"top").bytes,
              std::string(reinterpret_cast<char*>(&one), 4));
    HKEY deep = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DEEP", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &deep, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(SetString(deep, L"v", L"1"), ERROR_SUCCESS);
    EXPECT_NE(ReadText(Hive()).find("[SOFTWARE\\Deep]"), std::string::npos);
    EXPECT_EQ(Query(key, L"UNIT").bytes, Bytes(L"mph"));
    RegCloseKey(deep);
    RegCloseKey(key);
}

TEST_F(Registry, AHiveThatCannotBeReadIsNeverOverwritten)
{
    // A folder where the hive file should be: reading fails, so writing must not go ahead.
    ASSERT_EQ(mkdir(Hive().c_str(), 0700), 0);
    WriteText(Hive() + "/keep", "kept");
    HKEY key = nullptr;
    EXPECT_NE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_NE(SetString(HKEY_LOCAL_MACHINE, L"LANGUAGE", L"x"), ERROR_SUCCESS);
    EXPECT_NE(Query(HKEY_LOCAL_MACHINE, L"LANGUAGE").status, ERROR_SUCCESS);
    EXPECT_EQ(ReadText(Hive() + "/keep"), "kept");
}

}  // namespace
