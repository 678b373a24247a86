// Reading the telemetry text track of a 60-second 1080p recording against reading every byte
// of the same file, and against reading every packet of it through FFmpeg (what a reader that
// does not skip the other tracks does). The file is read once before any measurement, so every
// variant starts from the same warm page cache. Each variant runs several times, interleaved
// with the others so that a change of load on the machine falls on all of them alike, and the
// ratios are those of the median times.
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

void BM_ReadWholeFile(benchmark::State& state)
{
    std::vector<char> buffer(1 << 20);
    const int64_t size = FileSize(Input());
    for (auto _ : state) {
        int64_t total = ReadEveryByte(Input(), buffer);
        benchmark::DoNotOptimize(buffer.data());
        if (total != size) {
            state.SkipWithError("the whole file was not read");
            break;
        }
    }
    state.counters["MB"] = static_cast<double>(size) / 1e6;
}

void BM_ReadTextTrack(benchmark::State& state)
{
    const std::wstring path = platform::ToWindowsPath(Input());
    size_t packets = 0;
    for (auto _ : state) {
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

// Every packet of every track through av_read_frame, the text packets kept.
void BM_ReadEveryPacket(benchmark::State& state)
{
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
    if (whole > 0 && text > 0) {
        std::printf("ratio text track / whole file's bytes: %.3f (target <= 0.1)\n", text / whole);
    }
    if (every > 0 && text > 0) {
        std::printf("ratio text track / every packet read: %.3f\n", text / every);
    }
    benchmark::Shutdown();
    return 0;
}
