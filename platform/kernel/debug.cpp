// Debug output: the texts a program hands to the debugger, kept for tests.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>

#include "platform/kernel.h"
#include "platform/testing.h"

namespace {

// The most recent texts, oldest first; at most kKeep of them. Guarded by g_lock.
constexpr size_t kKeep = 4096;
std::mutex g_lock;
std::deque<std::wstring> g_texts;

}  // namespace

void OutputDebugStringW(LPCWSTR text)
{
    if (!text)
        return;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_texts.emplace_back(text);
        if (g_texts.size() > kKeep)
            g_texts.pop_front();
    }
    if (std::getenv("PLATFORM_DEBUG_OUTPUT"))
        std::fprintf(stderr, "%ls", text);
}

void OutputDebugStringA(LPCSTR text)
{
    if (!text)
        return;
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return;
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(size_t(length - 1));
    OutputDebugStringW(wide.c_str());
}

namespace platform::testing {

std::vector<std::wstring> DebugStrings()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return {g_texts.begin(), g_texts.end()};
}

void ClearDebugStrings()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_texts.clear();
}

}  // namespace platform::testing
