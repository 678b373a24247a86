// Demultiplexing a 1080p30 60-second front/rear pair through two reading cores against plain
// FFmpeg doing the same work: each file on a thread of its own, every packet read with
// av_read_frame and the AAC sound decoded and converted to interleaved 16-bit PCM, which the core
// always does on the way out. The cores are driven as the dual source filter drives them: both
// files opened on one thread (the filter's Load), then each track pulled on a thread of its own
// (the four pins' streaming threads), every sample into a buffer of the pin's allocator, until the
// end marker. Each measurement includes the opening of the files on both sides. Prints the ratio
// of the plain time to the cores' time (above 1: the cores are faster).
//
// The runs of the two benchmarks are interleaved at random and repeated, and the ratio is formed
// from the medians, so that a load that comes and goes on the machine touches both alike.
// Benchmark flags given on the command line override these defaults.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RecordingInputs.h"
#include "filtercore/KVMP4SourceCore.h"

extern "C" {
#include <libswresample/swresample.h>
}

using namespace FilterCore;

namespace {

const bench::Pair& Inputs()
{
    static const bench::Pair pair = bench::RecordingPair(1920, 1080, 60, 30);
    return pair;
}

// Plain FFmpeg on one file: every packet read, the sound decoded and converted to interleaved
// signed 16-bit samples by libswresample into one reused buffer. Returns the bytes of packets and
// of sound, or -1 when the file or its sound cannot be set up.
int64_t PlainRead(const std::string& native)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, ("file:" + native).c_str(), nullptr, nullptr) < 0)
        return -1;
    avformat_find_stream_info(format, nullptr);
    const int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* decoder = nullptr;
    SwrContext* convert = nullptr;
    bool ok = audio >= 0;
    if (ok) {
        const AVCodecParameters* par = format->streams[audio]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        decoder = avcodec_alloc_context3(codec);
        ok = decoder && avcodec_parameters_to_context(decoder, par) >= 0 &&
             avcodec_open2(decoder, codec, nullptr) >= 0 &&
             swr_alloc_set_opts2(&convert, &decoder->ch_layout, AV_SAMPLE_FMT_S16,
                                 decoder->sample_rate, &decoder->ch_layout, decoder->sample_fmt,
                                 decoder->sample_rate, 0, nullptr) >= 0 &&
             swr_init(convert) >= 0;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<uint8_t> pcm;
    int64_t bytes = 0;
    while (ok && av_read_frame(format, packet) >= 0) {
        bytes += packet->size;
        if (packet->stream_index == audio) {
            avcodec_send_packet(decoder, packet);
            while (avcodec_receive_frame(decoder, frame) == 0) {
                const int channels = frame->ch_layout.nb_channels;
                pcm.resize(static_cast<size_t>(frame->nb_samples) * channels * 2);
                uint8_t* out = pcm.data();
                const int converted =
                    swr_convert(convert, &out, frame->nb_samples,
                                const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
                if (converted > 0)
                    bytes += int64_t(converted) * channels * 2;
                av_frame_unref(frame);
            }
        }
        av_packet_unref(packet);
    }
    swr_free(&convert);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return ok ? bytes : -1;
}

// One output pin: the buffers its allocator commits before streaming starts (the count and
// size the port asks for, uninitialised as an allocator leaves them), and the streaming
// thread's loop, which lends the next buffer for every sample until the end marker.
class Pin {
public:
    Pin(KVMP4SourceCore& core, int type) : m_core(core), m_type(type)
    {
        const int port = type == CORE_TRACK_VIDEO || core.TrackCount(CORE_TRACK_VIDEO) == 0 ? 0 : 1;
        int reserved = 0;
        core.GetProperties()->GetOutputPort(port)->GetAllocator(&reserved, &m_count, &m_size);
        if (m_count < 1)
            m_count = 1;
        for (int i = 0; i < m_count; ++i)
            m_buffers.emplace_back(new BYTE[m_size]);
    }

    void Start()
    {
        m_thread = std::thread([this] {
            for (int i = 0;; i = (i + 1) % m_count) {
                CoreSample sample;
                sample.Lend(m_buffers[i].get(), m_size);
                bool ok = m_type == CORE_TRACK_VIDEO ? m_core.GetVideoSample(&sample)
                                                     : m_core.GetAudioSample(&sample);
                if (!ok)
                    break;
                m_bytes += sample.m_length;
            }
        });
    }

    int64_t Join()
    {
        m_thread.join();
        return m_bytes;
    }

private:
    KVMP4SourceCore& m_core;
    const int m_type;
    int m_count = 0;
    int m_size = 0;
    std::vector<std::unique_ptr<BYTE[]>> m_buffers;
    std::thread m_thread;
    int64_t m_bytes = 0;
};

// Both files at once, each read on a thread of its own, as the cores read them.
void BM_PlainTwoThreads(benchmark::State& state)
{
    const bench::Pair& pair = Inputs();
    for (auto _ : state) {
        int64_t bytes[2] = {0, 0};
        std::thread rear([&] { bytes[1] = PlainRead(pair.rear); });
        bytes[0] = PlainRead(pair.front);
        rear.join();
        if (bytes[0] < 0 || bytes[1] < 0) {
            state.SkipWithError("a benchmark input does not read");
            return;
        }
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_TwoCores(benchmark::State& state)
{
    const bench::Pair& pair = Inputs();
    for (auto _ : state) {
        KVMP4SourceCore cores[2];
        for (int i = 0; i < 2; ++i) {
            KVMP4SourceCore& core = cores[i];
            if (!core.Open(platform::ToWindowsPath(i == 0 ? pair.front : pair.rear))) {
                state.SkipWithError("a benchmark input does not open");
                return;
            }
            // What connecting the pins does.
            core.EnableStream(core.GetVideoTrack().streamIndex);
            if (core.TrackCount(CORE_TRACK_AUDIO))
                core.EnableStream(core.GetAudioTrack().streamIndex);
        }
        std::vector<std::unique_ptr<Pin>> pins;
        for (KVMP4SourceCore& core : cores) {
            pins.emplace_back(new Pin(core, CORE_TRACK_VIDEO));
            if (core.TrackCount(CORE_TRACK_AUDIO))
                pins.emplace_back(new Pin(core, CORE_TRACK_AUDIO));
        }
        // Run: every pin starts streaming, and the first of a core's pins starts its reading.
        for (KVMP4SourceCore& core : cores)
            core.ResumeReading();
        for (auto& pin : pins)
            pin->Start();
        int64_t bytes = 0;
        for (auto& pin : pins)
            bytes += pin->Join();
        for (KVMP4SourceCore& core : cores)
            core.HaltReading();
        benchmark::DoNotOptimize(bytes);
    }
}

BENCHMARK(BM_PlainTwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TwoCores)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's time per iteration, the median of its repetitions when there are
// several, for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median")
                    m_median[name] = run.GetAdjustedRealTime();
            } else {
                m_single[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double Time(const std::string& name) const
    {
        auto it = m_median.find(name);
        if (it != m_median.end())
            return it->second;
        it = m_single.find(name);
        return it != m_single.end() ? it->second : 0.0;
    }

private:
    std::map<std::string, double> m_median;
    std::map<std::string, double> m_single;
};

}  // namespace

int main(int argc, char** argv)
{
    Inputs();
    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=15";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions, interleave, aggregates});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double cores = reporter.Time("BM_TwoCores");
    const double plain = reporter.Time("BM_PlainTwoThreads");
    if (cores > 0 && plain > 0) {
        std::printf("ratio plain read + AAC to PCM on two threads / two cores: %.2f (target >= 0.9)\n",
                    plain / cores);
    }
    benchmark::Shutdown();
    return 0;
}
