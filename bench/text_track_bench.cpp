// Reading the telemetry text track of a 60-second 1080p recording against reading every byte
// of the same file, and against reading every packet of it through FFmpeg (what a reader that
// does not skip the other tracks does). Cold: the file's pages are evicted from the page cache
// before every timed read, so that each read goes to the storage as a read from a card does.
// Warm: the file is read whole before a run's first timed read, so the page cache holds it.
// Each variant runs several times, interleaved with the others so that a change of load on the
// machine falls on all of them alike, and the ratios are those of the median times.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "RecordingInputs.h"
#include "filtercore/TextTrackReader.h"
#include "platform/kernel.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Reads every byte of a native path with read(2) into one reused 1 MiB buffer; returns the
// number of bytes read, or -1 when the file cannot be opened or a read fails.
int64_t ReadEveryByte(const std::string& native, std::vector<char>& buffer)
{
    int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int64_t total = 0;
    ssize_t got;
    while ((got = read(fd, buffer.data(), buffer.size())) > 0)
        total += got;
    close(fd);
    return got < 0 ? -1 : total;
}

int64_t FileSize(const std::string& native)
{
    struct stat status;
    return stat(native.c_str(), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

// The front file of the benchmark pair, written on first use and then read once whole, so
// that the page cache holds it before the first measurement.
const std::string& Input()
{
    static const std::string front = [] {
        std::string path = bench::RecordingPair(1920, 1080, 60, 30).front;
        std::vector<char> buffer(1 << 20);
        if (ReadEveryByte(path, buffer) != FileSize(path)) {
            throw std::runtime_error("cannot read the benchmark input " + path);
        }
        return path;
    }();
    return front;
}

// Drops the file's pages from the page cache (they are clean: nothing is written back).
bool EvictFromCache(const std::string& native)
{
    int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    close(fd);
    return ok;
}

// Before a run (warm) or, untimed, before each of its reads (cold), puts the page cache in the
// state the variant measures. False when it cannot.
class CacheState {
public:
    CacheState(benchmark::State& state, bool cold) : m_state(state), m_cold(cold)
    {
        std::vector<char> buffer(1 << 20);
        if (!cold && ReadEveryByte(Input(), buffer) != FileSize(Input()))
            state.SkipWithError("cannot read the benchmark input");
    }
    bool BeforeRead()
    {
        if (!m_cold)
            return true;
        m_state.PauseTiming();
        bool ok = EvictFromCache(Input());
        m_state.ResumeTiming();
        if (!ok)
            m_state.SkipWithError("cannot evict the input from the page cache");
        return ok;
    }

private:
    benchmark::State& m_state;
    const bool m_cold;
};

void ReadWholeFile(benchmark::State& state, bool cold)
{
    std::vector<char> buffer(1 << 20);
    const int64_t size = FileSize(Input());
    CacheState cache(state, cold);
    for (auto _ : state) {
        if (!cache.BeforeRead())
            break;
        int64_t total = ReadEveryByte(Input(), buffer);
        benchmark::DoNotOptimize(buffer.data());
        if (total != size) {
            state.SkipWithError("the whole file was not read");
            break;
        }
    }
    state.counters["MB"] = static_cast<double>(size) / 1e6;
}

void ReadTextTrack(benchmark::State& state, bool cold)
{
    const std::wstring path = platform::ToWindowsPath(Input());
    size_t packets = 0;
    CacheState cache(state, cold);
    for (auto _ : state) {
        if (!cache.BeforeRead())
            break;
        FilterCore::TextTrackReader reader;
        FilterCore::TextTrackList list;
        reader.Read(path, &list);
        packets = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    if (packets == 0)
        state.SkipWithError("no text packets read");
    state.counters["packets"] = static_cast<double>(packets);
}

void BM_ReadWholeFile(benchmark::State& state)
{
    ReadWholeFile(state, false);
}
void BM_ReadWholeFileCold(benchmark::State& state)
{
    ReadWholeFile(state, true);
}
void BM_ReadTextTrack(benchmark::State& state)
{
    ReadTextTrack(state, false);
}
void BM_ReadTextTrackCold(benchmark::State& state)
{
    ReadTextTrack(state, true);
}

// Every packet of every track through av_read_frame, the text packets kept.
void BM_ReadEveryPacket(benchmark::State& state)
{
    CacheState cache(state, false);
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        if (avformat_open_input(&format, ("file:" + Input()).c_str(), nullptr, nullptr) < 0) {
            state.SkipWithError("cannot open the input");
            break;
        }
        int text = av_find_best_stream(format, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
        AVPacket* packet = av_packet_alloc();
        FilterCore::TextTrackList list;
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == text) {
                list.emplace_back(reinterpret_cast<const char*>(packet->data), packet->size);
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        avformat_close_input(&format);
        benchmark::DoNotOptimize(list.data());
    }
}

BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadEveryPacket)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadTextTrack)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadWholeFileCold)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadTextTrackCold)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps, by benchmark, the median of its repetitions when they are aggregated and the time of
// each repetition otherwise.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                m_medians[name] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Iteration) {
                m_times[name].push_back(run.GetAdjustedRealTime());
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The median time of a benchmark's repetitions; 0 when it did not run.
    double Median(const std::string& name) const
    {
        if (auto aggregate = m_medians.find(name); aggregate != m_medians.end()) {
            return aggregate->second;
        }
        auto found = m_times.find(name);
        if (found == m_times.end() || found->second.empty())
            return 0;
        std::vector<double> times = found->second;
        std::sort(times.begin(), times.end());
        size_t middle = times.size() / 2;
        return times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    }

private:
    std::map<std::string, double> m_medians;
    std::map<std::string, std::vector<double>> m_times;
};

}  // namespace

int main(int argc, char** argv)
{
    Input();
    // Defaults first, so that the same flags given on the command line override them.
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=9";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions, interleaving, aggregates});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double whole = reporter.Median("BM_ReadWholeFile");
    const double every = reporter.Median("BM_ReadEveryPacket");
    const double text = reporter.Median("BM_ReadTextTrack");
    const double wholeCold = reporter.Median("BM_ReadWholeFileCold");
    const double textCold = reporter.Median("BM_ReadTextTrackCold");
    if (wholeCold > 0 && textCold > 0) {
        std::printf("ratio text track / whole file's bytes, cold cache: %.3f (target <= 0.05)\n",
                    textCold / wholeCold);
    }
    if (whole > 0 && text > 0) {
        std::printf("ratio text track / whole file's bytes, warm cache: %.3f (target <= 0.1)\n",
                    text / whole);
    }
    if (every > 0 && text > 0) {
        std::printf("ratio text track / every packet read, warm cache: %.3f\n", text / every);
    }
    benchmark::Shutdown();
    return 0;
}
