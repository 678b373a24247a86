#include "Singles.h"

#include "AviSingles.h"
#include "Card.h"
#include "Damage.h"
#include "Mp4Writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace mkcard {

namespace {

// Marks a folder as written by WriteFixtures, so that a later run may replace it.
constexpr const char* kFixtureMarker = ".mkcard-fixtures";

RecordingSpec BaseSpec(const SingleOptions& o)
{
    RecordingSpec spec;
    spec.width = o.width;
    spec.height = o.height;
    spec.fps = o.fps;
    spec.videoKbps = o.videoKbps;
    spec.seconds = o.seconds;
    return spec;
}

void RemoveQuietly(const fs::path& p)
{
    std::error_code ignored;
    fs::remove(p, ignored);
}

// Holds an exclusive lock on a file for as long as it lives.
class FileLock {
public:
    explicit FileLock(const fs::path& path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0)
            throw std::runtime_error("cannot open the lock file " + path.string() + ": " +
                                     std::strerror(errno));
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                throw std::runtime_error("cannot lock " + path.string() + ": " +
                                         std::strerror(errno));
            }
        }
    }
    ~FileLock() { ::close(m_fd); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};

// Puts staging in target's place. When target exists its old content ends up in staging.
void SwapInto(const fs::path& staging, const fs::path& target)
{
    if (!fs::exists(target)) {
        fs::rename(staging, target);
        return;
    }
    if (::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        throw std::runtime_error("cannot replace " + target.string() + ": " + std::strerror(errno));
    // No atomic exchange on this file system: move the old set aside, then the new one in.
    const fs::path aside = fs::path(staging).concat(".old");
    fs::rename(target, aside);
    fs::rename(staging, target);
    fs::rename(aside, staging);
}

}  // namespace

const std::vector<std::string>& SingleKinds()
{
    static const std::vector<std::string> kinds = {
        "pair",      "normal",  "noaudio", "pcm_s16le", "pcm_s16be", "mp3",
        "mpeg4",     "bframes", "tiny16",  "oneframe",  "audioonly", "notext",
        "truncated", "empty",   "badavcc", "hugetext"};
    return kinds;
}

std::string FixtureExtension(const std::string& kind)
{
    if (kind == "pair")
        return "";
    if (kind == "pcm_s16le" || kind == "pcm_s16be")
        return "mov";
    return "mp4";
}

void WriteSingle(const std::string& kind, const fs::path& out, const SingleOptions& options)
{
    if (std::find(SingleKinds().begin(), SingleKinds().end(), kind) == SingleKinds().end())
        throw std::invalid_argument("unknown kind \"" + kind + "\"");
    if (out.has_parent_path())
        fs::create_directories(out.parent_path());

    if (kind == "pair") {
        fs::create_directories(out);
        const Mp4Writer writer;
        for (Channel channel : {Channel::Front, Channel::Rear}) {
            RecordingSpec spec = BaseSpec(options);
            spec.channel = channel;
            spec.sampleRate = channel == Channel::Front ? 48000 : 44100;
            writer.Write(spec, out / RecordingFileName(kDriveStart, channel, writer.Extension()));
        }
        return;
    }
    if (kind == "empty") {
        std::ofstream file(out, std::ios::binary | std::ios::trunc);
        file.close();
        if (!file)
            throw std::runtime_error("cannot write " + out.string());
        return;
    }

    RecordingSpec spec = BaseSpec(options);
    Mp4Writer::Container container = Mp4Writer::Container::Mp4;
    if (kind == "noaudio")
        spec.audio = AudioCodec::None;
    if (kind == "pcm_s16le" || kind == "pcm_s16be") {
        spec.audio = kind == "pcm_s16le" ? AudioCodec::PcmS16Le : AudioCodec::PcmS16Be;
        container = Mp4Writer::Container::Mov;
    }
    if (kind == "mp3")
        spec.audio = AudioCodec::Mp3;
    if (kind == "mpeg4")
        spec.video = VideoCodec::Mpeg4Part2;
    if (kind == "bframes")
        spec.video = VideoCodec::H264BFrames;
    if (kind == "tiny16")
        spec.width = spec.height = 16;
    if (kind == "oneframe")
        spec.frameCount = 1;
    if (kind == "audioonly")
        spec.video = VideoCodec::None;
    if (kind == "notext")
        spec.text = false;
    Mp4Writer(container).Write(spec, out);

    try {
        if (kind == "truncated")
            CutIndex(out);
        if (kind == "badavcc")
            BreakAvcConfiguration(out);
        if (kind == "hugetext")
            InflateTextSamples(out);
    } catch (...) {
        RemoveQuietly(out);
        throw;
    }
}

void WriteFixtures(const fs::path& dir)
{
    const fs::path target = fs::absolute(dir).lexically_normal();
    const fs::path name = target.filename();
    if (name.empty())
        throw std::invalid_argument("the fixture folder needs a name: " + dir.string());
    fs::create_directories(target.parent_path());
    FileLock lock(fs::path(target).concat(".lock"));

    if (fs::exists(target)) {
        if (!fs::is_directory(target))
            throw std::runtime_error(target.string() + " exists and is not a folder");
        if (!fs::is_empty(target) && !fs::exists(target / kFixtureMarker))
            throw std::runtime_error("refusing to replace " + target.string() +
                                     ": it holds files that mkcard fixtures did not write");
    }

    const fs::path staging = fs::path(target).concat(".staging." + std::to_string(::getpid()));
    fs::remove_all(staging);
    try {
        fs::create_directories(staging);
        const Mp4Writer writer;
        CardOptions card;
        WriteCard(staging / "card", card, writer);

        CardOptions blackbox;
        blackbox.setupCfg = false;
        blackbox.blackboxCfg = true;
        blackbox.folders = {"cont_rec"};
        WriteCard(staging / "card-blackbox", blackbox, writer);

        // Recordings that outlast the waits of tests that play them in real time, small so
        // that they stay cheap to write and to decode.
        CardOptions longer;
        longer.width = 160;
        longer.height = 90;
        longer.seconds = 20.0;
        longer.folders = {"cont_rec"};
        WriteCard(staging / "card-long", longer, writer);

        SingleOptions single;
        single.seconds = 2.0;
        for (const std::string& kind : SingleKinds()) {
            const std::string ext = FixtureExtension(kind);
            WriteSingle(kind, staging / "single" / (ext.empty() ? kind : kind + "." + ext), single);
        }
        WriteAviFixtures(staging / "avi");
        std::ofstream(staging / kFixtureMarker)
            << "written by mkcard fixtures; replaced by its next run\n";

        SwapInto(staging, target);
        fs::remove_all(staging);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        throw;
    }
}

}  // namespace mkcard
