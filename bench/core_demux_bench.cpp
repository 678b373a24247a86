// Demultiplexing a 1080p30 60-second front/rear pair through two reading cores, with video and
// audio samples pulled on a thread per track as the pins pull them, against plain FFmpeg over
// the same files: an av_read_frame loop, and the same loop that also decodes the AAC sound,
// which the core always does on the way out. Prints the ratios of the plain times to the cores'.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "RecordingInputs.h"
#include "filtercore/KVMP4SourceCore.h"

using namespace FilterCore;

namespace {

const bench::Pair& Inputs()
{
    static const bench::Pair pair = bench::RecordingPair(1920, 1080, 60, 30);
    return pair;
}

// Plain FFmpeg: every packet of the file read, the sound decoded when asked.
int64_t PlainRead(const std::string& native, bool decodeAudio)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, ("file:" + native).c_str(), nullptr, nullptr) < 0) return 0;
    avformat_find_stream_info(format, nullptr);
    int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* decoder = nullptr;
    if (decodeAudio && audio >= 0) {
        const AVCodec* codec = avcodec_find_decoder(format->streams[audio]->codecpar->codec_id);
        decoder = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder, format->streams[audio]->codecpar);
        avcodec_open2(decoder, codec, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int64_t bytes = 0;
    while (av_read_frame(format, packet) >= 0) {
        bytes += packet->size;
        if (decoder && packet->stream_index == audio) {
            avcodec_send_packet(decoder, packet);
            while (avcodec_receive_frame(decoder, frame) == 0) av_frame_unref(frame);
        }
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return bytes;
}

// One pin: pulls samples into a buffer of the port's size until the end marker.
int64_t PullTrack(KVMP4SourceCore& core, int type)
{
    int port = type == CORE_TRACK_VIDEO || core.TrackCount(CORE_TRACK_VIDEO) == 0 ? 0 : 1;
    int reserved = 0, count = 0, size = 0;
    core.GetProperties()->GetOutputPort(port)->GetAllocator(&reserved, &count, &size);
    std::vector<BYTE> buffer(size);
    int64_t bytes = 0;
    for (;;) {
        CoreSample sample;
        sample.Lend(buffer.data(), size);
        bool ok = type == CORE_TRACK_VIDEO ? core.GetVideoSample(&sample)
                                           : core.GetAudioSample(&sample);
        if (!ok) break;
        bytes += sample.m_length;
    }
    return bytes;
}

void PlainDemux(benchmark::State& state, bool decodeAudio)
{
    const bench::Pair& pair = Inputs();
    for (auto _ : state) {
        int64_t bytes = PlainRead(pair.front, decodeAudio) + PlainRead(pair.rear, decodeAudio);
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_PlainReadFrame(benchmark::State& state) { PlainDemux(state, false); }
void BM_PlainReadFrameAndDecodeAac(benchmark::State& state) { PlainDemux(state, true); }

void BM_TwoCores(benchmark::State& state)
{
    const bench::Pair& pair = Inputs();
    for (auto _ : state) {
        KVMP4SourceCore cores[2];
        std::vector<std::thread> pins;
        int64_t bytes[4] = {};
        for (int i = 0; i < 2; ++i) {
            KVMP4SourceCore& core = cores[i];
            if (!core.Open(platform::ToWindowsPath(i == 0 ? pair.front : pair.rear))) {
                state.SkipWithError("a benchmark input does not open");
                return;
            }
            core.EnableStream(core.GetVideoTrack().streamIndex);
            if (core.TrackCount(CORE_TRACK_AUDIO)) core.EnableStream(core.GetAudioTrack().streamIndex);
            core.ResumeReading();
            pins.emplace_back([&core, &bytes, i] { bytes[2 * i] = PullTrack(core, CORE_TRACK_VIDEO); });
            if (core.TrackCount(CORE_TRACK_AUDIO)) {
                pins.emplace_back(
                    [&core, &bytes, i] { bytes[2 * i + 1] = PullTrack(core, CORE_TRACK_AUDIO); });
            }
        }
        for (std::thread& pin : pins) pin.join();
        for (KVMP4SourceCore& core : cores) core.HaltReading();
        benchmark::DoNotOptimize(bytes);
    }
}

BENCHMARK(BM_PlainReadFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainReadFrameAndDecodeAac)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TwoCores)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's time per iteration for the ratios printed at the end.
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
    Inputs();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.m_times;
    const char* core = "BM_TwoCores/real_time";
    if (t.count(core) && t[core] > 0) {
        if (t.count("BM_PlainReadFrameAndDecodeAac/real_time")) {
            std::printf("ratio plain read+AAC decode / two cores: %.2f (target >= 0.9)\n",
                        t["BM_PlainReadFrameAndDecodeAac/real_time"] / t[core]);
        }
        if (t.count("BM_PlainReadFrame/real_time")) {
            std::printf("ratio plain read only / two cores:       %.2f\n",
                        t["BM_PlainReadFrame/real_time"] / t[core]);
        }
    }
    benchmark::Shutdown();
    return 0;
}
