// The file-parsing thread's walk over a card of 100 one-minute 1080p front/rear pairs (200
// recordings, hard links to one pair so that the card costs no disk) against only reading each
// file's text samples with the text-track reader. Meanwhile a stand-in for the user-interface
// thread takes the extraction lock every 5 ms, as the play command does, and the longest wait
// for it is reported: the window answers input within that time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "RecordingInputs.h"
#include "SecondsReporter.h"
#include "app/FileParsing.h"
#include "filtercore/TextTrackReader.h"
#include "platform/kernel.h"
#include "playback/FileAnalysis.h"

CRITICAL_SECTION g_csExtractText;

namespace {

namespace fs = std::filesystem;

constexpr int kPairs = 100;

// The card's recording folder: kPairs pairs named one minute apart, linked to one pair.
const fs::path& CardFolder()
{
    static const fs::path folder = [] {
        const fs::path card = bench::BuildDir() / "bench-inputs" / "parsing-card" / "cont_rec";
        bench::LinkPairs(card, bench::RecordingPair(1920, 1080, 60, 30), kPairs);
        return card;
    }();
    return folder;
}

// The card's maps as the lists build them: every recording listed, none parsed.
const RecFileMap& CardMap()
{
    static const RecFileMap map = [] {
        RecFileMap m;
        CFileAnalysis* analysis = CFileAnalysis::GetInstance();
        analysis->ScanFolder(platform::ToWindowsPath(CardFolder().string()), m);
        CFileAnalysis::ReleaseInstance();
        return m;
    }();
    return map;
}

void BM_ParsingThreadWalk(benchmark::State& state)
{
    if (CardMap().size() != 2 * kPairs) {
        state.SkipWithError("the card does not list every recording");
        return;
    }
    double longestWaitMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        RecFileMap maps[6];
        maps[0] = CardMap();
        std::atomic<int> stop{0};
        std::atomic<bool> walking{true};
        state.ResumeTiming();

        std::thread ui([&] {
            while (walking) {
                const auto asked = std::chrono::steady_clock::now();
                EnterCriticalSection(&g_csExtractText);
                const auto got = std::chrono::steady_clock::now();
                LeaveCriticalSection(&g_csExtractText);
                longestWaitMs = std::max(
                    longestWaitMs, std::chrono::duration<double, std::milli>(got - asked).count());
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        const bool completed = ParseRecordingMaps(maps, 6, stop, nullptr, nullptr);
        walking = false;
        ui.join();
        if (!completed || maps[0].begin()->second.m_TextData.m_GSensorList.empty()) {
            state.SkipWithError("the walk did not read the card");
            break;
        }
    }
    state.counters["recordings"] = 2 * kPairs;
    state.counters["ui_wait_max_ms"] = longestWaitMs;
}

void BM_ReadTextSamplesOnly(benchmark::State& state)
{
    size_t packets = 0;
    for (auto _ : state) {
        packets = 0;
        for (const auto& [key, entry] : CardMap()) {
            FilterCore::TextTrackReader reader;
            FilterCore::TextTrackList list;
            reader.Read(entry.m_strPath, &list);
            packets += list.size();
        }
        benchmark::DoNotOptimize(packets);
    }
    if (packets == 0)
        state.SkipWithError("no text samples read");
    state.counters["recordings"] = double(CardMap().size());
}

BENCHMARK(BM_ParsingThreadWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReadTextSamplesOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    InitializeCriticalSection(&g_csExtractText);
    benchmark::Initialize(&argc, argv);
    bench::SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double walk = reporter.m_times["BM_ParsingThreadWalk/iterations:3/real_time"];
    const double read = reporter.m_times["BM_ReadTextSamplesOnly/iterations:3/real_time"];
    if (walk > 0 && read > 0)
        std::printf("parsing walk over %d recordings: %.3f s (goal under 2 s); reading only their "
                    "text samples: %.3f s; ratio %.2f\n",
                    2 * kPairs, walk, read, walk / read);
    benchmark::Shutdown();
    DeleteCriticalSection(&g_csExtractText);
    return 0;
}
