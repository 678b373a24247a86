// Opens arbitrary bytes as a recording through the reading core and pulls every sample, as two
// pins would, then seeks back and reads the text track: nothing may crash, leak or hang.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

#include "filtercore/KVMP4SourceCore.h"
#include "filtercore/TextTrackReader.h"
#include "platform/kernel.h"

using namespace FilterCore;

namespace {

void PullAll(KVMP4SourceCore& core, int type)
{
    CoreSample sample;
    while (type == CORE_TRACK_VIDEO ? core.GetVideoSample(&sample) : core.GetAudioSample(&sample)) {
        if (sample.m_length < 0 || sample.m_length > sample.m_capacity) __builtin_trap();
    }
}

void Play(KVMP4SourceCore& core)
{
    const bool video = core.TrackCount(CORE_TRACK_VIDEO) > 0;
    const bool audio = core.TrackCount(CORE_TRACK_AUDIO) > 0;
    if (!video && !audio) return;
    if (video) core.EnableStream(core.GetVideoTrack().streamIndex);
    if (audio) core.EnableStream(core.GetAudioTrack().streamIndex);
    core.ResumeReading();
    std::thread audioPin([&] {
        if (audio) PullAll(core, CORE_TRACK_AUDIO);
    });
    if (video) PullAll(core, CORE_TRACK_VIDEO);
    audioPin.join();
}

}  // namespace

// Seeds an empty corpus folder (the first argument that is not an option) with the small
// recordings mkcard wrote into $KV_FIXTURES, so that mutation starts from real MP4 structure.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    namespace fs = std::filesystem;
    const char* fixtures = std::getenv("KV_FIXTURES");
    if (!fixtures) return 0;
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (arg[0] == '-') continue;
        std::error_code error;
        if (!fs::is_directory(arg, error) || !fs::is_empty(arg, error)) return 0;
        for (const auto& entry : fs::directory_iterator(fs::path(fixtures) / "single", error)) {
            if (entry.is_regular_file() && entry.file_size() > 0 && entry.file_size() <= 64 * 1024) {
                fs::copy_file(entry.path(), fs::path(arg) / entry.path().filename(), error);
            }
        }
        return 0;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string native = [] {
        av_log_set_level(AV_LOG_QUIET);
        return "/tmp/source_core_fuzz-" + std::to_string(getpid()) + ".mp4";
    }();
    FILE* file = std::fopen(native.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    const std::wstring path = platform::ToWindowsPath(native);

    {
        KVMP4SourceCore core;
        if (core.Open(path)) {
            CoreProperties* ports = core.GetProperties();
            for (int i = 0; i < ports->GetOutputPortCount(); ++i) {
                int length = 0;
                ports->GetOutputPort(i)->GetFormat(&length);
            }
            Play(core);
            core.Seek(0, nullptr, nullptr);
            Play(core);
            core.HaltReading();
        }
    }
    TextTrackReader reader;
    TextTrackList list;
    reader.Read(path, &list);
    std::remove(native.c_str());
    return 0;
}
