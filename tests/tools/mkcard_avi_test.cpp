// mkcard's AVI recordings: the layout the viewer's walk expects, every index entry pointing at
// its chunk, the damage each damaged kind is named for, pictures and sound that FFmpeg reads,
// the AVI card's names, and determinism.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

fs::path Env(const char* name)
{
    const char* v = std::getenv(name);
    if (!v || !*v) {
        ADD_FAILURE() << name << " is not set; run the test through ctest";
        return {};
    }
    return v;
}

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

uint32_t Le32(const std::string& s, size_t at)
{
    if (at + 4 > s.size())
        return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

struct IndexEntry {
    std::string id;
    uint32_t offset, size;
};

// The top-level layout of an AVI file as the viewer's walk reads it.
struct Layout {
    bool junk = false;
    size_t moviType = 0;  // position of the "movi" type code
    size_t index = 0;     // position of the "idx1" header
    uint32_t indexSize = 0;
    std::vector<IndexEntry> entries;  // the whole entries the file holds
};

Layout Walk(const std::string& f)
{
    Layout l;
    size_t at = 12 + 8 + Le32(f, 16);
    if (f.compare(at, 4, "JUNK") == 0) {
        l.junk = true;
        at += 8 + Le32(f, at + 4);
    }
    EXPECT_EQ(f.compare(at, 4, "LIST"), 0);
    EXPECT_EQ(f.compare(at + 8, 4, "movi"), 0);
    l.moviType = at + 8;
    l.index = at + 8 + Le32(f, at + 4);
    EXPECT_EQ(f.compare(l.index, 4, "idx1"), 0);
    l.indexSize = Le32(f, l.index + 4);
    for (size_t e = l.index + 8; e + 16 <= f.size(); e += 16)
        l.entries.push_back({f.substr(e, 4), Le32(f, e + 8), Le32(f, e + 12)});
    return l;
}

int RunMkcard(const std::vector<std::string>& args)
{
    std::vector<std::string> all{(Env("KV_BUILD_DIR") / "bin" / "mkcard").string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TempDir {
public:
    TempDir()
    {
        std::string templ = (fs::temp_directory_path() / "mkcard_avi.XXXXXX").string();
        if (!mkdtemp(templ.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = templ;
    }
    ~TempDir() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

TEST(MkcardAvi, EveryKindHasTheLayoutAndTheDamageItIsNamedFor)
{
    struct Case {
        const char* file;
        bool junk;
        bool absolute;  // index offsets from the start of the file
        const char* handler;
    };
    const Case cases[] = {
        {"samples.avi", false, true, "H264"},  {"lines.avi", true, false, "H264"},
        {"Rec_0001.avi", true, false, "H264"}, {"short.avi", true, false, "H264"},
        {"pastend.avi", true, false, "H264"},  {"hugeindex.avi", true, false, "H264"},
        {"sizes.avi", true, false, "H264"},    {"lowercase.avi", true, false, "h264"},
        {"undeclared.avi", true, false, "H264"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string f = ReadFile(Env("KV_FIXTURES") / "avi" / c.file);
        ASSERT_GT(f.size(), 200u);
        const std::string name = c.file;
        EXPECT_EQ(f.substr(0, 4), "RIFF");
        EXPECT_EQ(f.substr(8, 4), "AVI ");
        EXPECT_EQ(f.substr(12, 4), "LIST");
        EXPECT_EQ(f.substr(20, 4), "hdrl");
        EXPECT_EQ(f.substr(24, 4), "avih");
        EXPECT_EQ(Le32(f, 28), 56u);
        EXPECT_EQ(f.substr(88, 4), "LIST");
        EXPECT_EQ(f.substr(96, 4), "strl");
        EXPECT_EQ(f.substr(100, 4), "strh");
        EXPECT_EQ(f.substr(108, 4), "vids");
        EXPECT_EQ(f.substr(112, 4), c.handler);

        const Layout l = Walk(f);
        EXPECT_EQ(l.junk, c.junk);
        const size_t stated = l.indexSize / 16;
        if (name == "hugeindex.avi") {
            EXPECT_EQ(l.indexSize, 0xFFFFFFF0u);
        } else if (name == "short.avi") {
            EXPECT_GT(stated, l.entries.size() + 10) << "the file ends inside the index";
            EXPECT_NE((f.size() - l.index - 8) % 16, 0u);
        } else {
            EXPECT_EQ(stated, l.entries.size());
            EXPECT_EQ(Le32(f, 4), f.size() - 8);
        }

        size_t telemetry = 0, pastEnd = 0, undeclared = 0;
        std::set<size_t> sizes;
        for (const IndexEntry& e : l.entries) {
            const bool text = e.id == "02tx";
            telemetry += text;
            undeclared += e.id == "07dc";
            if (text && e.offset >= f.size()) {
                ++pastEnd;
                continue;
            }
            const size_t header = c.absolute ? e.offset : l.moviType + e.offset;
            ASSERT_LT(header + 8, f.size());
            EXPECT_EQ(f.substr(header, 4), e.id);
            EXPECT_EQ(Le32(f, header + 4), e.size);
            if (text)
                sizes.insert(e.size);
        }
        if (name == "short.avi") {
            EXPECT_GT(telemetry, 0u);
            EXPECT_LT(telemetry, 30u);
            continue;
        }
        EXPECT_EQ(telemetry, 30u) << "ten chunks a second for 3 s";
        EXPECT_EQ(pastEnd, name == "pastend.avi" ? 4u : 0u);
        // Stream 07 lies beside every telemetry chunk; the header declares three streams.
        EXPECT_EQ(undeclared, name == "undeclared.avi" ? 30u : 0u);
        EXPECT_EQ(Le32(f, 56), 3u) << "avih's stream count";
        if (name == "samples.avi") {
            EXPECT_EQ(sizes, std::set<size_t>{72});
        } else if (name == "sizes.avi") {
            for (size_t s = 113; s <= 121; ++s)
                EXPECT_TRUE(sizes.count(s)) << s;
        } else {
            EXPECT_TRUE(sizes.count(112)) << "pairs fill the 112 data bytes";
            EXPECT_LT(*sizes.rbegin(), 113u);
        }
    }
}

TEST(MkcardAvi, FfmpegReadsThePicturesAndTheSound)
{
    av_log_set_level(AV_LOG_QUIET);
    for (const char* file : {"samples.avi", "lines.avi", "Rec_0001.avi"}) {
        SCOPED_TRACE(file);
        const std::string path = (Env("KV_FIXTURES") / "avi" / file).string();
        AVFormatContext* raw = nullptr;
        ASSERT_EQ(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), 0);
        std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> in(
            raw, [](AVFormatContext* f) { avformat_close_input(&f); });
        avformat_find_stream_info(in.get(), nullptr);
        ASSERT_GE(in->nb_streams, 2u);
        const AVCodecParameters* video = in->streams[0]->codecpar;
        EXPECT_EQ(video->codec_id, AV_CODEC_ID_H264);
        EXPECT_EQ(video->width, 320);
        EXPECT_EQ(video->height, 180);
        const AVCodecParameters* sound = in->streams[1]->codecpar;
        EXPECT_EQ(sound->codec_id, AV_CODEC_ID_PCM_S16LE);
        EXPECT_EQ(sound->sample_rate, 16000);
        EXPECT_EQ(sound->ch_layout.nb_channels, 2);

        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> dec(
            avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
        ASSERT_EQ(avcodec_parameters_to_context(dec.get(), video), 0);
        ASSERT_EQ(avcodec_open2(dec.get(), codec, nullptr), 0);
        AVPacket* pkt = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        int pictures = 0;
        int64_t soundBytes = 0;
        while (av_read_frame(in.get(), pkt) >= 0) {
            if (pkt->stream_index == 0) {
                EXPECT_EQ(avcodec_send_packet(dec.get(), pkt), 0);
                while (avcodec_receive_frame(dec.get(), frame) == 0)
                    ++pictures;
            } else if (pkt->stream_index == 1) {
                soundBytes += pkt->size;
            }
            av_packet_unref(pkt);
        }
        avcodec_send_packet(dec.get(), nullptr);
        while (avcodec_receive_frame(dec.get(), frame) == 0)
            ++pictures;
        av_frame_free(&frame);
        av_packet_free(&pkt);
        EXPECT_EQ(pictures, 45) << "3 s at 15 frames per second";
        EXPECT_EQ(soundBytes, 3 * 16000 * 4);
    }
}

// Front and rear in one file: two H.264 streams (the front's list first, so the handler stays
// at offset 112), then the sound and the telemetry, each index entry on its chunk; FFmpeg
// decodes every picture of both cameras, and the two show different scenes.
TEST(MkcardAvi, TheTwoCameraKindHoldsBothPicturesThenSoundAndTelemetry)
{
    av_log_set_level(AV_LOG_QUIET);
    const fs::path file = Env("KV_FIXTURES") / "avi" / "dualvideo.avi";
    const std::string f = ReadFile(file);
    ASSERT_GT(f.size(), 200u);
    EXPECT_EQ(f.substr(108, 4), "vids");
    EXPECT_EQ(f.substr(112, 4), "H264");
    EXPECT_EQ(Le32(f, 24 + 8 + 24), 4u) << "four streams in the main header";
    const Layout l = Walk(f);
    std::map<std::string, size_t> perId;
    for (const IndexEntry& e : l.entries) {
        ++perId[e.id];
        const size_t header = l.moviType + e.offset;
        ASSERT_LT(header + 8, f.size());
        EXPECT_EQ(f.substr(header, 4), e.id);
        EXPECT_EQ(Le32(f, header + 4), e.size);
    }
    const std::map<std::string, size_t> expected = {
        {"00dc", 45}, {"01dc", 45}, {"02wb", 30}, {"03tx", 30}};
    EXPECT_EQ(perId, expected);

    AVFormatContext* raw = nullptr;
    ASSERT_EQ(avformat_open_input(&raw, file.c_str(), nullptr, nullptr), 0);
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> in(
        raw, [](AVFormatContext* c) { avformat_close_input(&c); });
    avformat_find_stream_info(in.get(), nullptr);
    ASSERT_GE(in->nb_streams, 3u);
    EXPECT_EQ(in->streams[2]->codecpar->codec_id, AV_CODEC_ID_PCM_S16LE);
    using Decoder = std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)>;
    std::vector<Decoder> decoders;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    for (int i = 0; i < 2; ++i) {
        const AVCodecParameters* video = in->streams[i]->codecpar;
        EXPECT_EQ(video->codec_id, AV_CODEC_ID_H264);
        EXPECT_EQ(video->width, 320);
        EXPECT_EQ(video->height, 180);
        decoders.emplace_back(avcodec_alloc_context3(codec),
                              [](AVCodecContext* c) { avcodec_free_context(&c); });
        ASSERT_EQ(avcodec_parameters_to_context(decoders.back().get(), video), 0);
        ASSERT_EQ(avcodec_open2(decoders.back().get(), codec, nullptr), 0);
    }
    int pictures[2] = {0, 0};
    // The mean blue-difference of each stream's first picture: the front's day sky is blue,
    // the rear's dusk orange.
    double meanU[2] = {0, 0};
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&](int i) {
        while (avcodec_receive_frame(decoders[i].get(), frame) == 0) {
            if (pictures[i]++ == 0) {
                double sum = 0;
                for (int y = 0; y < frame->height / 2; ++y)
                    for (int x = 0; x < frame->width / 2; ++x)
                        sum += frame->data[1][y * frame->linesize[1] + x];
                meanU[i] = sum / (frame->height / 2) / (frame->width / 2);
            }
        }
    };
    while (av_read_frame(in.get(), pkt) >= 0) {
        const int i = pkt->stream_index;
        if (i < 2) {
            EXPECT_EQ(avcodec_send_packet(decoders[i].get(), pkt), 0);
            receive(i);
        }
        av_packet_unref(pkt);
    }
    for (int i = 0; i < 2; ++i) {
        avcodec_send_packet(decoders[i].get(), nullptr);
        receive(i);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    EXPECT_EQ(pictures[0], 45);
    EXPECT_EQ(pictures[1], 45);
    EXPECT_GT(meanU[0], meanU[1] + 10) << "front " << meanU[0] << ", rear " << meanU[1];
}

TEST(MkcardAvi, CardNamesAndDeterminism)
{
    const fs::path card = Env("KV_FIXTURES") / "avi" / "card";
    const std::vector<std::string> expected = {"DUALSAVE/Event_0011.avi",
                                               "cont_rec/Rec_0001.avi",
                                               "cont_rec/Rec_0002.avi",
                                               "cont_rec/Rec_0003.avi",
                                               "evt_rec/Event_0004.avi",
                                               "manual_rec/Manual_0006.avi",
                                               "motion_rec/Park_0007.avi",
                                               "motion_rec/Park_0008.avi",
                                               "motion_timelapse_rec/Park_0009.avi",
                                               "parking_rec/Park_0010.avi"};
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(card))
        if (e.is_regular_file())
            found.push_back(fs::relative(e.path(), card).generic_string());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);

    TempDir dir;
    const fs::path a = dir.Path() / "a.avi", b = dir.Path() / "b.avi";
    ASSERT_EQ(RunMkcard({"avi", "newstyle", a.string(), "--size", "64x36", "--seconds", "1.5"}), 0);
    ASSERT_EQ(RunMkcard({"avi", "newstyle", b.string(), "--size", "64x36", "--seconds", "1.5"}), 0);
    EXPECT_EQ(ReadFile(a), ReadFile(b));
    EXPECT_EQ(Walk(ReadFile(a)).entries.size() > 0, true);
    EXPECT_EQ(RunMkcard({"avi", "nosuchkind", (dir.Path() / "c.avi").string()}), 2);
    EXPECT_FALSE(fs::exists(dir.Path() / "c.avi"));
    // Oversized chunks need a whole second of text chunks.
    EXPECT_EQ(RunMkcard({"avi", "sizes", (dir.Path() / "d.avi").string(), "--seconds", "0.5"}), 1);
    EXPECT_FALSE(fs::exists(dir.Path() / "d.avi"));
}

}  // namespace
