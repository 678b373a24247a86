// The viewer's start-up with a card of 100 recordings (50 one-minute 1080p front/rear pairs,
// hard links to one pair) as a removable drive: from the moment the application's steps begin
// (skin module, language, display scale) until the main dialog is shown with the card's lists
// built, the splash's own second included. Printed against the 1.5 s the start may take, with
// the resident memory of the idle viewer against its 150 MB. In-process and headless: the
// program's loading, the application object's first steps and the presenter are not in it;
// viewer_process_bench times the start of the program itself.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "RecordingInputs.h"
#include "SecondsReporter.h"
#include "app/TessalyDlg.h"
#include "platform/gdiplus.h"
#include "platform/testing.h"
#include "ui/DPIScale.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPairs = 50;

// The card: a real card's settings files and folders, its continuous folder holding kPairs
// pairs named one minute apart.
const fs::path& CardFolder()
{
    static const fs::path card = bench::CardOfPairs("startup-card", kPairs);
    return card;
}

// The dialog's thread: the dialog run modally, as the application does, with a window of the
// thread that tells when the modal loop runs (after OnInitDialog has returned).
struct Run {
    std::atomic<HWND> runner{nullptr};
    CTessalyDlg* dialog = nullptr;
    std::atomic<bool> shown{false};
    size_t listed = 0;
};

class CRunner : public CWnd {
public:
    Run* run = nullptr;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_APP + 1) {
            if (run->dialog->m_bInitDone && run->dialog->IsWindowVisible()) {
                run->listed = run->dialog->m_RecMaps[CATEGORY_CONTINUOUS].size();
                run->shown = true;
            }
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

DWORD WINAPI DialogThread(LPVOID param)
{
    Run* run = static_cast<Run*>(param);
    CRunner runner;
    runner.run = run;
    runner.CreateEx(0, AfxRegisterWndClass(0), L"runner", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
    {
        CTessalyDlg dialog;
        run->dialog = &dialog;
        run->runner = runner.m_hWnd;
        dialog.DoModal();
        run->runner = nullptr;
    }
    runner.DestroyWindow();
    return 0;
}

long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

double g_residentMB = 0;

void BM_StartToDialogShown(benchmark::State& state)
{
    const fs::path card = CardFolder();
    const std::wstring root = platform::testing::AddRemovableDrive(card.string());
    const fs::path home = bench::BuildDir() / "bench-inputs" / "startup-home";
    fs::create_directories(home);
    platform::testing::SetHomeFolder(home.string());
    size_t listed = 0;
    for (auto _ : state) {
        // The application's own steps before the dialog.
        g_hSkinModule = GetModuleHandleW(L"KvImageDll.dll");
        if (!g_hSkinModule)
            g_hSkinModule = LoadLibraryW(L"KvImageDll.dll");
        LoadLanguage(L"english");
        g_DPIScale.SetDPI(96);

        Run run;
        HANDLE thread = CreateThread(nullptr, 0, DialogThread, &run, 0, nullptr);
        while (!run.shown) {
            if (HWND runner = run.runner.load())
                SendMessageW(runner, WM_APP + 1, 0, 0);
            Sleep(1);
        }
        state.PauseTiming();
        listed = run.listed;
        Sleep(500);  // idle, the parsing thread at work
        g_residentMB = std::max(g_residentMB, ResidentKilobytes() / 1024.0);
        PostMessageW(run.dialog->m_hWnd, WM_CLOSE, 0, 0);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        state.ResumeTiming();
    }
    platform::testing::RemoveRemovableDrive(root);
    if (listed != 2 * kPairs)
        state.SkipWithError("the card's recordings were not all listed");
}
BENCHMARK(BM_StartToDialogShown)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    setenv("PLATFORM_PRESENTER", "headless", 0);
    setenv("PLATFORM_AUDIO", "null", 0);
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    benchmark::Initialize(&argc, argv);
    bench::SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double start = reporter.m_times["BM_StartToDialogShown/iterations:3/real_time"];
    if (start > 0)
        std::printf("start-up to the main dialog with 100 recordings listed: %.3f s, %.2f of the "
                    "1.5 s allowed; idle resident memory %.0f MB, %.2f of the 150 MB allowed\n",
                    start, start / 1.5, g_residentMB, g_residentMB / 150.0);
    benchmark::Shutdown();
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
