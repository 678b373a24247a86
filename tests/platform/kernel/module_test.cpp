// Modules: loading by bare name and by path, reference counts, exports and file names.
//
// KvModuleTest.dll lies in this program's folder only; the program's folder rule is the only
// way a bare name can find it.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

const wchar_t kLibrary[] = L"KvModuleTest.dll";

std::string ProgramPath()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

std::string ProgramFolder()
{
    std::string path = ProgramPath();
    return path.substr(0, path.rfind('/') + 1);
}

std::wstring FileName(HMODULE module)
{
    WCHAR buffer[1024];
    DWORD n = GetModuleFileNameW(module, buffer, 1024);
    return std::wstring(buffer, n);
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

// The exports of the test library.
int CallExport(HMODULE module, const char* name)
{
    auto function = reinterpret_cast<int (*)()>(GetProcAddress(module, name));
    return function ? function() : -1;
}

TEST(ModuleTest, ProgramIsTheNullModuleAndNamesItsOwnFile)
{
    HMODULE program = GetModuleHandleW(nullptr);
    ASSERT_NE(program, nullptr);
    std::wstring file = FileName(nullptr);
    EXPECT_EQ(file, FileName(program));
    EXPECT_EQ(file.substr(0, 3), L"C:\\");
    EXPECT_TRUE(SameFile(platform::ToNativePath(file), ProgramPath()));

    // The program is found by its file name in any case ("." means: no extension), and
    // loading it by its path gives the same handle; freeing it changes nothing.
    std::wstring name = file.substr(file.rfind(L'\\') + 1);
    for (wchar_t& c : name) c = wchar_t(towupper(c));
    EXPECT_EQ(GetModuleHandleW((name + L".").c_str()), program);
    EXPECT_EQ(LoadLibraryW(file.c_str()), program);
    EXPECT_TRUE(FreeLibrary(program));
    EXPECT_EQ(GetModuleHandleW(nullptr), program);
}

TEST(ModuleTest, ModuleFileNameIsCutToTheBuffer)
{
    std::wstring file = FileName(nullptr);
    const DWORD length = DWORD(file.size());
    struct Case {
        DWORD size;
        DWORD result;
        size_t kept;  // characters before the zero
        bool cut;
    } cases[] = {
        {1, 1, 0, true},
        {5, 5, 4, true},
        {length, length, length - 1, true},
        {length + 1, length, length, false},
        {520, length, length, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<WCHAR> buffer(c.size + 1, L'#');
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), c.size), c.result);
        EXPECT_EQ(std::wstring(buffer.data()), file.substr(0, c.kept));
        EXPECT_EQ(buffer[c.size], L'#') << "wrote past the buffer";
        EXPECT_EQ(GetLastError(), c.cut ? DWORD(ERROR_INSUFFICIENT_BUFFER) : DWORD(ERROR_SUCCESS));
    }
    WCHAR untouched = L'#';
    EXPECT_EQ(GetModuleFileNameW(nullptr, &untouched, 0), 0u);
    EXPECT_EQ(untouched, L'#');
}

TEST(ModuleTest, BareNameLoadsFromTheProgramFolderInAnyCase)
{
    ASSERT_EQ(GetModuleHandleW(kLibrary), nullptr) << "loaded before the test";
    HMODULE module = LoadLibraryW(L"kvmoduletest.DLL");
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_NE(module, GetModuleHandleW(nullptr));
    EXPECT_EQ(GetModuleHandleW(kLibrary), module);
    EXPECT_EQ(GetModuleHandleW(L"KVMODULETEST.dll"), module);

    std::wstring file = FileName(module);
    EXPECT_TRUE(SameFile(platform::ToNativePath(file), ProgramFolder() + "KvModuleTest.dll"));
    // By its full path, in either separator, it is the same module.
    std::wstring slashed = file;
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    EXPECT_EQ(LoadLibraryW(slashed.c_str()), module);
    EXPECT_EQ(GetModuleHandleW(file.c_str()), module);

    // Its resources are its own: the program does not have them.
    HRSRC resource = FindResourceW(module, L"idb_bi", L"png");
    ASSERT_NE(resource, nullptr);
    std::string expected = "A stand-in for a brand picture.\n";
    ASSERT_EQ(SizeofResource(module, resource), expected.size());
    EXPECT_EQ(std::memcmp(LockResource(LoadResource(module, resource)), expected.data(),
                          expected.size()),
              0);
    EXPECT_EQ(FindResourceW(nullptr, L"IDB_BI", L"PNG"), nullptr);
    EXPECT_EQ(LoadResource(nullptr, resource), nullptr);

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);
}

TEST(ModuleTest, ReferencesAreCountedAndTheLastFreeUnloads)
{
    HMODULE first = LoadLibraryW(kLibrary);
    ASSERT_NE(first, nullptr);
    HMODULE second = LoadLibraryW(kLibrary);
    EXPECT_EQ(second, first);
    EXPECT_EQ(CallExport(first, "KvModuleTestBump"), 1);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleW(kLibrary), first) << "one reference is left";
    EXPECT_NE(FindResourceW(first, L"IDB_BI", L"PNG"), nullptr);
    EXPECT_EQ(CallExport(first, "KvModuleTestBump"), 2);

    EXPECT_TRUE(FreeLibrary(first));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

    // The old handle is dead: calls that take it fail instead of touching freed memory.
    EXPECT_EQ(FindResourceW(first, L"IDB_BI", L"PNG"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetProcAddress(first, "KvModuleTestBump"), nullptr);
    EXPECT_FALSE(FreeLibrary(first));

    // Loaded afresh, the library's data starts again: it really was unmapped.
    HMODULE again = LoadLibraryW(kLibrary);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(CallExport(again, "KvModuleTestBump"), 1);
    EXPECT_TRUE(FreeLibrary(again));
}

TEST(ModuleTest, GetProcAddressFindsOnlyTheModulesOwnNamedExports)
{
    HMODULE module = LoadLibraryW(kLibrary);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(CallExport(module, "KvModuleTestAnswer"), 42);
    struct Case {
        const char* name;
        const char* why;
    } missing[] = {
        {"NoSuchExport", "absent"},
        {"kvmoduletestanswer", "export names are case-sensitive"},
        {"malloc", "exported by a library the module depends on, not by the module"},
        {MAKEINTRESOURCEA(1), "ordinals do not exist"},
        {nullptr, "no name"},
    };
    for (const Case& c : missing) {
        SCOPED_TRACE(c.why);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetProcAddress(module, c.name), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    }
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(ModuleTest, LoadFailuresReportModuleNotFound)
{
    std::wstring notALibrary = platform::ToWindowsPath(KV_TEST_DATA "/hello.txt");
    std::wstring missingInFolder = platform::ToWindowsPath(ProgramFolder() + "Missing.dll");
    const wchar_t* names[] = {L"NoSuchModule.dll", L"COMCTL32.DLL", notALibrary.c_str(),
                              missingInFolder.c_str(), L""};
    for (const wchar_t* name : names) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(LoadLibraryW(name), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
        EXPECT_EQ(GetModuleHandleW(name), nullptr);
    }
    EXPECT_FALSE(FreeLibrary(nullptr));
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&names)));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// Loads, reads and frees from several threads at once while the program's own resources are
// looked up: the registry must stay consistent (ThreadSanitizer checks the locking).
TEST(ModuleTest, ThreadsLoadReadAndFreeTogether)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures] {
            for (int i = 0; i < kRounds; ++i) {
                HMODULE module = LoadLibraryW(kLibrary);
                HRSRC resource = module ? FindResourceW(module, L"IDB_BI", L"PNG") : nullptr;
                const char* bytes =
                    resource ? static_cast<const char*>(LockResource(LoadResource(module, resource)))
                             : nullptr;
                if (!bytes || std::strncmp(bytes, "A stand-in", 10) != 0) ++failures;
                if (!module || !FreeLibrary(module)) ++failures;
                if (!GetModuleHandleW(nullptr)) ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(GetModuleHandleW(kLibrary), nullptr);
}

}  // namespace
