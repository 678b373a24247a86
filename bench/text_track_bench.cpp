// Reading the telemetry text track of a 60-second 1080p recording against reading every byte
// of the same file, and against reading every packet of it through FFmpeg (what a reader that
// does not skip the other tracks does). Prints the ratios of the times.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "RecordingInputs.h"
#include "filtercore/TextTrackReader.h"
#include "platform/kernel.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

const std::string& Input()
{
    static const std::string front = bench::RecordingPair(1920, 1080, 60, 30).front;
    return front;
}

void BM_ReadWholeFile(benchmark::State& state)
{
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        int fd = open(Input().c_str(), O_RDONLY);
        int64_t total = 0;
        ssize_t got;
        while ((got = read(fd, buffer.data(), buffer.size())) > 0) total += got;
        close(fd);
        benchmark::DoNotOptimize(total);
    }
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
    state.counters["packets"] = static_cast<double>(packets);
}

// Every packet of every track through av_read_frame, the text packets kept.
void BM_ReadEveryPacket(benchmark::State& state)
{
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        avformat_open_input(&format, ("file:" + Input()).c_str(), nullptr, nullptr);
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

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv)
{
    Input();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.m_times;
    if (t.count("BM_ReadWholeFile/real_time") && t.count("BM_ReadTextTrack/real_time") &&
        t["BM_ReadWholeFile/real_time"] > 0) {
        std::printf("ratio text track / whole file's bytes: %.3f (target <= 0.1)\n",
                    t["BM_ReadTextTrack/real_time"] / t["BM_ReadWholeFile/real_time"]);
    }
    if (t.count("BM_ReadEveryPacket/real_time") && t.count("BM_ReadTextTrack/real_time") &&
        t["BM_ReadEveryPacket/real_time"] > 0) {
        std::printf("ratio text track / every packet read: %.3f\n",
                    t["BM_ReadTextTrack/real_time"] / t["BM_ReadEveryPacket/real_time"]);
    }
    benchmark::Shutdown();
    return 0;
}
