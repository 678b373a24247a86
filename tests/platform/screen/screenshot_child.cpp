// A program that puts windows on the screen and exits in the way its argument names, for the
// PLATFORM_SCREENSHOT and PLATFORM_EXIT_AFTER tests: "return" leaves main with its windows
// still open, "thread-exit" calls exit on another thread while the main thread still runs.
// The others run a message loop until something ends it: "loop" closes its window when asked
// (exit code 7 once the loop ends), "stubborn" refuses WM_CLOSE (exit code 8 when WM_QUIT ends
// its loop), "hung" never looks at its queue.
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/user.h"

namespace {

bool g_stubborn = false;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && g_stubborn)
        return 0;
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        RECT client;
        GetClientRect(window, &client);
        FillRect(dc, &client, red);
        DeleteObject(red);
        EndPaint(window, &ps);
        return 0;
    }
    if (message == WM_ERASEBKGND)
        return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    g_stubborn = std::strcmp(argv[1], "stubborn") == 0;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = L"ScreenshotChild";
    RegisterClassExW(&wc);
    CreateWindowExW(0, L"ScreenshotChild", L"", WS_POPUP | WS_VISIBLE, 0, 0, 32, 24, nullptr,
                    nullptr, nullptr, nullptr);
    platform::testing::PumpMessages();

    if (std::strcmp(argv[1], "return") == 0)
        return 0;
    if (std::strcmp(argv[1], "thread-exit") == 0) {
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread([] { std::exit(0); }).detach();
        WaitForSingleObject(done, INFINITE);  // never set: the other thread ends the process
    }
    if (std::strcmp(argv[1], "loop") == 0 || g_stubborn) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return g_stubborn ? 8 : 7;
    }
    if (std::strcmp(argv[1], "hung") == 0) {
        HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        WaitForSingleObject(never, INFINITE);
    }
    return 3;
}
