#include <sys/stat.h>
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

TEST(DebugLog, EveryLineReachesTheSinkFromAnyThreadAndNoFileIsWritten)
{
    EXPECT_EQ(g_strLogPath, L"Tessaly.log");
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

    WCHAR program[4096];
    ASSERT_GT(GetModuleFileNameW(nullptr, program, 4096), 0u);
    std::wstring folder(program);
    folder.resize(folder.find_last_of(L'\\') + 1);
    EXPECT_FALSE(Exists(L"Tessaly.log"));
    EXPECT_FALSE(Exists(folder + L"Tessaly.log"));
}

}  // namespace
