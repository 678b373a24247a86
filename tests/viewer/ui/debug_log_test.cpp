#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "ui/DebugLog.h"

namespace {

bool Exists(const std::wstring& windowsPath)
{
    struct stat st;
    return stat(platform::ToNativePath(windowsPath).c_str(), &st) == 0;
}

// The sink keeps nothing, so what can be seen of it is that every call takes its line and
// reports success from any thread at once (and, under ThreadSanitizer, that the calls share
// no state), and that no log file appears: neither under the path built at start-up, relative
// to the working folder, nor in the log folder the main dialog sets later.
TEST(DebugLog, TakesLinesFromAnyThreadAndWritesNoFile)
{
    WCHAR program[4096];
    ASSERT_GT(GetModuleFileNameW(nullptr, program, 4096), 0u);
    std::wstring folder(program);
    folder.resize(folder.find_last_of(L'\\') + 1);
    const std::wstring places[] = {L"Tessaly.log", folder + L"Tessaly.log"};
    for (const std::wstring& place : places)
        unlink(platform::ToNativePath(place).c_str());

    EXPECT_EQ(g_strLogPath, L"Tessaly.log");
    // As the main dialog does; the path stays the one built from the empty folder.
    g_strLogFolder = folder;
    EXPECT_EQ(LogOpen(), 1);
    const std::wstring lines[] = {L"", L"Tessaly---->VideoPlay START. CurrentState[2]",
                                  L"BTN CLICK : ID_BTN_FILE_OPEN", L"%s %d %n",
                                  std::wstring(100000, L'x')};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&lines] {
            for (const std::wstring& line : lines)
                EXPECT_EQ(LogWrite(line), 1);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(LogClose(), 1);
    EXPECT_EQ(g_strLogPath, L"Tessaly.log");

    for (const std::wstring& place : places)
        EXPECT_FALSE(Exists(place)) << platform::ToNativePath(place);
    g_strLogFolder.clear();
}

}  // namespace
