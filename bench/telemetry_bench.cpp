// Telemetry extraction over a card of 100 one-minute 1080p30 front/rear pairs, in recordings
// per second, against the limit: reading only the bytes of the recordings' text samples (their
// positions found beforehand). And the folder scan with recording analysis but no extraction
// over 1,000 files, which must take under one second. Prints the ratio and the scan's time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "RecordingInputs.h"
#include "SecondsReporter.h"
#include "platform/kernel.h"
#include "playback/FileAnalysis.h"

extern "C" {
#include <libavformat/avformat.h>
}

CRITICAL_SECTION g_csExtractText;

namespace fs = std::filesystem;

namespace {

constexpr int kPairs = 100;
constexpr int kScanFiles = 1000;

// The card: 100 pairs a minute apart in cont_rec, all of them links to the one 1080p pair
// (the telemetry of every recording is read from its own path all the same).
const std::vector<std::string>& CardRecordings()
{
    static const std::vector<std::string> files = [] {
        const bench::Pair pair = bench::RecordingPair(1920, 1080, 60, 30);
        const fs::path folder = bench::BuildDir() / "bench-inputs" / "card-100-pairs" / "cont_rec";
        fs::create_directories(folder);
        std::vector<std::string> names;
        for (int i = 0; i < kPairs; ++i) {
            char stem[64];
            std::snprintf(stem, sizeof stem, "REC_2026_05_14_%02d_%02d_00_", 8 + (30 + i) / 60,
                          (30 + i) % 60);
            for (const auto& [source, letter] : {std::pair{pair.front, 'F'}, {pair.rear, 'R'}}) {
                const fs::path target = folder / (std::string(stem) + letter + ".mp4");
                if (!fs::exists(target)) {
                    std::error_code error;
                    fs::create_hard_link(source, target, error);
                    if (error)
                        fs::copy_file(source, target);
                }
                names.push_back(target.string());
            }
        }
        return names;
    }();
    return files;
}

struct Range {
    int64_t position;
    int size;
};

// Where the text samples of a recording lie, from its index.
std::vector<Range> TextSamples(const std::string& native)
{
    std::vector<Range> ranges;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, ("file:" + native).c_str(), nullptr, nullptr) < 0)
        return ranges;
    int text = av_find_best_stream(format, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
    if (text >= 0) {
        AVStream* stream = format->streams[text];
        for (int i = 0; i < avformat_index_get_entries_count(stream); ++i) {
            const AVIndexEntry* e = avformat_index_get_entry(stream, i);
            ranges.push_back({e->pos, e->size});
        }
    }
    avformat_close_input(&format);
    return ranges;
}

void BM_ReadTextSampleBytesOnly(benchmark::State& state)
{
    const std::vector<std::string>& files = CardRecordings();
    const bench::Pair pair = bench::RecordingPair(1920, 1080, 60, 30);
    const std::vector<Range> front = TextSamples(pair.front), rear = TextSamples(pair.rear);
    std::vector<char> buffer(4096);
    for (auto _ : state) {
        int64_t bytes = 0;
        for (const std::string& file : files) {
            const std::vector<Range>& samples = file[file.size() - 5] == 'F' ? front : rear;
            int fd = open(file.c_str(), O_RDONLY);
            for (const Range& r : samples)
                bytes += pread(fd, buffer.data(), size_t(r.size), r.position);
            close(fd);
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(files.size()));
}

void BM_ExtractCardTelemetry(benchmark::State& state)
{
    std::vector<std::wstring> paths;
    for (const std::string& file : CardRecordings())
        paths.push_back(platform::ToWindowsPath(file));
    CFileAnalysis* analysis = CFileAnalysis::GetInstance();
    size_t fixes = 0;
    for (auto _ : state) {
        fixes = 0;
        for (const std::wstring& path : paths) {
            EnterCriticalSection(&g_csExtractText);
            CTextData text;
            analysis->ExtractText(path, text);
            LeaveCriticalSection(&g_csExtractText);
            fixes += text.m_GPSList.size();
        }
    }
    CFileAnalysis::ReleaseInstance();
    state.SetItemsProcessed(state.iterations() * int64_t(paths.size()));
    state.counters["fixes"] = double(fixes);
}

// 500 front/rear pairs of small stand-in files: the scan reads status and pairs, nothing else.
const std::wstring& ScanFolder()
{
    static const std::wstring folder = [] {
        const fs::path native = bench::BuildDir() / "bench-inputs" / "scan-1000-files" / "cont_rec";
        fs::create_directories(native);
        for (int i = 0; i < kScanFiles / 2; ++i) {
            char stem[64];
            std::snprintf(stem, sizeof stem, "REC_2026_%02d_%02d_%02d_%02d_00_", 1 + i / 200,
                          1 + i / 8 % 25, i / 60 % 24, i % 60);
            for (char letter : {'F', 'R'}) {
                const fs::path file = native / (std::string(stem) + letter + ".mp4");
                if (!fs::exists(file))
                    std::ofstream(file, std::ios::binary) << "stand-in";
            }
        }
        return platform::ToWindowsPath(native.string());
    }();
    return folder;
}

void BM_ScanFolder1000Files(benchmark::State& state)
{
    const std::wstring& folder = ScanFolder();
    size_t entries = 0;
    for (auto _ : state) {
        CFileAnalysis* analysis = CFileAnalysis::GetInstance();
        RecFileMap map;
        analysis->ScanFolder(folder, map);
        CFileAnalysis::ReleaseInstance();
        entries = map.size();
    }
    state.counters["entries"] = double(entries);
}

BENCHMARK(BM_ReadTextSampleBytesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractCardTelemetry)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanFolder1000Files)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    InitializeCriticalSection(&g_csExtractText);
    CardRecordings();
    ScanFolder();
    benchmark::Initialize(&argc, argv);
    bench::SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.m_times;
    const std::string extract = "BM_ExtractCardTelemetry/real_time";
    const std::string limit = "BM_ReadTextSampleBytesOnly/real_time";
    const std::string scan = "BM_ScanFolder1000Files/real_time";
    const double recordings = 2.0 * kPairs;
    if (t.count(extract) && t.count(limit) && t[limit] > 0) {
        std::printf("telemetry extraction: %.0f recordings/s; text bytes only: %.0f recordings/s\n",
                    recordings / t[extract], recordings / t[limit]);
        std::printf("ratio extraction time / text-bytes-only time: %.1f\n", t[extract] / t[limit]);
    }
    if (t.count(scan)) {
        std::printf("folder scan of %d files without extraction: %.0f ms (%s one second)\n",
                    kScanFiles, t[scan] * 1000.0, t[scan] < 1.0 ? "under" : "NOT under");
    }
    benchmark::Shutdown();
    DeleteCriticalSection(&g_csExtractText);
    return 0;
}
