// The launcher stand-in for tests: a program that owns a top-level window titled
// "Tessaly_Launcher", as the camera's launcher does, and prints on standard output, one line
// each:
//   ready                                  once the window exists
//   notice <dwData> <cbData> <hex bytes>   for every WM_COPYDATA, and for a 36-byte record also
//       firmware="<bytes 0-9>" model="<bytes 10-25>" drive="<bytes 26-35>" (each up to its
//       first zero byte)
// It answers each notice with 1 and ends when its standard input reaches its end. With
// --stall it answers no notice: its window's thread waits for the end of standard input first.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/kernel.h"
#include "platform/user.h"

namespace {

bool g_stall = false;
HANDLE g_inputEnded = nullptr;

std::string Text(const BYTE* bytes, size_t size)
{
    size_t length = 0;
    while (length < size && bytes[length])
        ++length;
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

void PrintNotice(const COPYDATASTRUCT* copy)
{
    const BYTE* bytes = static_cast<const BYTE*>(copy->lpData);
    std::string line = "notice " + std::to_string(copy->dwData) + " " +
                       std::to_string(copy->cbData) + " ";
    for (DWORD i = 0; i < copy->cbData; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        line += hex;
    }
    if (copy->cbData == 36) {
        line += " firmware=\"" + Text(bytes, 10) + "\" model=\"" + Text(bytes + 10, 16) +
                "\" drive=\"" + Text(bytes + 26, 10) + "\"";
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

LRESULT CALLBACK LauncherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_COPYDATA:
            if (g_stall) {
                std::printf("stalled\n");
                std::fflush(stdout);
                WaitForSingleObject(g_inputEnded, INFINITE);
                return 0;
            }
            PrintNotice(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            return 1;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    g_stall = argc > 1 && std::strcmp(argv[1], "--stall") == 0;
    g_inputEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = LauncherProc;
    wc.lpszClassName = L"TessalyLauncherStandIn";
    RegisterClassExW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"Tessaly_Launcher", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
    if (!window)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);

    std::thread([window] {
        char buffer[256];
        while (read(0, buffer, sizeof buffer) > 0) {
        }
        SetEvent(g_inputEnded);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }).detach();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
