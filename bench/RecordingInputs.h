// Benchmark inputs: large recordings written once by mkcard into the build tree and kept there,
// so that later runs reuse them.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace bench {

// The build tree: benchmarks live in <build>/bench, mkcard in <build>/bin.
inline std::filesystem::path BuildDir()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
}

struct Pair {
    std::string front;
    std::string rear;
};

// Video bit rate of the benchmark inputs in kbit/s: what a 1080p dash camera records, so
// that reading a file costs what it costs on a real card.
constexpr int kCameraKbps = 12000;

// A front/rear pair of `seconds` of WxH video at `fps` and the camera's bit rate, written on
// first use.
inline Pair RecordingPair(int width, int height, int seconds, int fps)
{
    namespace fs = std::filesystem;
    const std::string name = std::to_string(width) + "x" + std::to_string(height) + "-" +
                             std::to_string(seconds) + "s-" + std::to_string(fps) + "fps-" +
                             std::to_string(kCameraKbps) + "k";
    const fs::path folder = BuildDir() / "bench-inputs" / name;
    Pair pair{(folder / "REC_2026_05_14_08_30_00_F.mp4").string(),
              (folder / "REC_2026_05_14_08_30_00_R.mp4").string()};
    if (fs::exists(pair.front) && fs::exists(pair.rear)) return pair;

    fs::create_directories(folder);
    const std::string command = (BuildDir() / "bin" / "mkcard").string() + " single pair '" +
                                folder.string() + "' --size " + std::to_string(width) + "x" +
                                std::to_string(height) + " --seconds " +
                                std::to_string(seconds) + " --fps " + std::to_string(fps) +
                                " --bitrate " + std::to_string(kCameraKbps);
    std::fprintf(stderr, "writing the benchmark input %s ...\n", name.c_str());
    int status = std::system(command.c_str());
    if (status != 0 || !fs::exists(pair.front) || !fs::exists(pair.rear)) {
        throw std::runtime_error("mkcard failed: " + command);
    }
    return pair;
}

// Links `pairs` names of a pair into `folder`, one minute apart from 09:00 on
// ("REC_2026_05_14_09_00_00_F.mp4" and its rear), as hard links (symbolic ones where the
// file system refuses); names already there are kept.
inline void LinkPairs(const std::filesystem::path& folder, const Pair& pair, int pairs)
{
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    for (int i = 0; i < pairs; ++i) {
        char stem[64];
        std::snprintf(stem, sizeof stem, "REC_2026_05_14_%02d_%02d_00_", 9 + i / 60, i % 60);
        for (const auto& [source, suffix] :
             {std::pair{pair.front, "F.mp4"}, std::pair{pair.rear, "R.mp4"}}) {
            const fs::path link = folder / (std::string(stem) + suffix);
            if (fs::exists(link))
                continue;
            std::error_code error;
            fs::create_hard_link(source, link, error);
            if (error)
                fs::create_symlink(source, link);
        }
    }
}

// A card named `name` under the benchmark inputs: a real card's settings files from mkcard,
// its recording folders emptied, and `pairs` one-minute 1080p30 pairs linked into its
// continuous folder.
inline std::filesystem::path CardOfPairs(const std::string& name, int pairs)
{
    namespace fs = std::filesystem;
    const fs::path folder = BuildDir() / "bench-inputs" / name;
    if (!fs::exists(folder / "setting")) {
        const std::string command = (BuildDir() / "bin" / "mkcard").string() + " card '" +
                                    folder.string() + "' >/dev/null";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("mkcard failed: " + command);
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_directory() && entry.path().filename() != "setting")
                fs::remove_all(entry.path());
    }
    LinkPairs(folder / "cont_rec", RecordingPair(1920, 1080, 60, 30), pairs);
    return folder;
}

}  // namespace bench
