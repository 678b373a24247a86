// Plays 1080p30 front/rear pairs of one and of three minutes through two reading cores, each
// pin paced like playback (sped up 20 times), and reports the resident memory and the most the
// queues held: it stays the same whatever the recording's length.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "RecordingInputs.h"
#include "filtercore/KVMP4SourceCore.h"

using namespace FilterCore;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kSpeed = 20.0;

double ResidentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0);
}

// A pin that renders in time: it takes the next sample once the playback clock reaches it.
void Play(KVMP4SourceCore& core, int type, Clock::time_point start)
{
    CoreSample sample;
    for (;;) {
        bool ok = type == CORE_TRACK_VIDEO ? core.GetVideoSample(&sample)
                                           : core.GetAudioSample(&sample);
        if (!ok) return;
        auto due = start + std::chrono::microseconds(
                               static_cast<int64_t>(static_cast<double>(sample.m_start) / 10.0 / kSpeed));
        std::this_thread::sleep_until(due);
    }
}

void BM_PlayPair(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    const bench::Pair pair = bench::RecordingPair(1920, 1080, seconds, 30);
    double peakResident = 0;
    size_t peakQueued = 0;
    for (auto _ : state) {
        KVMP4SourceCore cores[2];
        for (int i = 0; i < 2; ++i) {
            if (!cores[i].Open(platform::ToWindowsPath(i == 0 ? pair.front : pair.rear))) {
                state.SkipWithError("a benchmark input does not open");
                return;
            }
            cores[i].EnableStream(cores[i].GetVideoTrack().streamIndex);
            if (cores[i].TrackCount(CORE_TRACK_AUDIO)) {
                cores[i].EnableStream(cores[i].GetAudioTrack().streamIndex);
            }
        }
        const Clock::time_point start = Clock::now();
        std::vector<std::thread> pins;
        for (KVMP4SourceCore& core : cores) {
            core.ResumeReading();
            pins.emplace_back(Play, std::ref(core), CORE_TRACK_VIDEO, start);
            if (core.TrackCount(CORE_TRACK_AUDIO)) {
                pins.emplace_back(Play, std::ref(core), CORE_TRACK_AUDIO, start);
            }
        }
        std::atomic<bool> playing{true};
        std::thread monitor([&] {
            while (playing.load()) {
                peakResident = std::max(peakResident, ResidentMegabytes());
                for (KVMP4SourceCore& core : cores) {
                    peakQueued = std::max({peakQueued, core.QueuedBytes(CORE_TRACK_VIDEO),
                                           core.QueuedBytes(CORE_TRACK_AUDIO)});
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        for (std::thread& pin : pins) pin.join();
        playing = false;
        monitor.join();
        for (KVMP4SourceCore& core : cores) core.HaltReading();
    }
    state.counters["peak_rss_MB"] = peakResident;
    state.counters["peak_queue_MB"] = static_cast<double>(peakQueued) / (1024.0 * 1024.0);
    std::printf("%d-second pair: peak resident %.1f MB (target < 100), largest queue %.2f MB, "
                "files %.1f MB\n",
                seconds, peakResident, static_cast<double>(peakQueued) / (1024.0 * 1024.0),
                static_cast<double>(std::filesystem::file_size(pair.front) +
                                    std::filesystem::file_size(pair.rear)) /
                    (1024.0 * 1024.0));
}

BENCHMARK(BM_PlayPair)->Arg(60)->Arg(180)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
