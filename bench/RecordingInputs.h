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

}  // namespace bench
