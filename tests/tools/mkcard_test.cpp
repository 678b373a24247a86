// mkcard writes every recording and card that later tests read; these tests check that what it
// writes is what those tests assume: the streams and telemetry of recordings, their timing, the
// card layout and device record, the damaged kinds, determinism, and its command line.

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

fs::path EnvPath(const char* name)
{
    const char* v = std::getenv(name);
    if (!v || !*v) {
        ADD_FAILURE() << name << " is not set; run the test through ctest";
        return {};
    }
    return v;
}

fs::path Fixtures()
{
    return EnvPath("KV_FIXTURES");
}
fs::path Mkcard()
{
    return EnvPath("KV_BUILD_DIR") / "bin" / "mkcard";
}

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string templ = (fs::temp_directory_path() / "mkcard_test.XXXXXX").string();
        if (!::mkdtemp(templ.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = templ;
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell), capturing its output.
RunResult RunProgram(const fs::path& program, const std::vector<std::string>& args)
{
    TempDir capture;
    const std::string outPath = (capture.Path() / "out").string();
    const std::string errPath = (capture.Path() / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> all{program.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    RunResult r;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        r.err = "cannot start " + program.string();
        return r;
    }
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

RunResult RunMkcard(const std::vector<std::string>& args)
{
    return RunProgram(Mkcard(), args);
}

struct InputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};

InputPtr Open(const fs::path& p)
{
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, p.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    return InputPtr(raw);
}

struct StreamInfo {
    AVMediaType type;
    AVCodecID codec;
    int width, height, sampleRate, channels;
};

struct Packet {
    int stream;
    int64_t pts, dts;
    double ptsSeconds;
    std::string bytes;
};

// What libavformat reads from a recording: its streams and every packet in file order.
struct Recording {
    std::vector<StreamInfo> streams;
    std::vector<Packet> packets;
    double videoSeconds = 0;  // the video stream's duration

    int StreamOf(AVMediaType type) const
    {
        for (size_t i = 0; i < streams.size(); ++i)
            if (streams[i].type == type)
                return static_cast<int>(i);
        return -1;
    }
    std::vector<const Packet*> PacketsOf(int stream) const
    {
        std::vector<const Packet*> r;
        for (const Packet& p : packets)
            if (p.stream == stream)
                r.push_back(&p);
        return r;
    }
    // The text track's lines, each packet's bytes after the 2-byte length.
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (const Packet* p : PacketsOf(StreamOf(AVMEDIA_TYPE_SUBTITLE)))
            lines.push_back(p->bytes.substr(2));
        return lines;
    }
};

std::optional<Recording> Read(const fs::path& p)
{
    InputPtr in = Open(p);
    if (!in)
        return std::nullopt;
    // Some sample descriptions (MPEG-4 part 2) reach the parameters only through this pass,
    // which the viewer's reading core runs as well.
    avformat_find_stream_info(in.get(), nullptr);
    Recording r;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* s = in->streams[i];
        const AVCodecParameters* c = s->codecpar;
        r.streams.push_back({c->codec_type, c->codec_id, c->width, c->height, c->sample_rate,
                             c->ch_layout.nb_channels});
        if (c->codec_type == AVMEDIA_TYPE_VIDEO && s->duration != AV_NOPTS_VALUE)
            r.videoSeconds = s->duration * av_q2d(s->time_base);
    }
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        const AVStream* s = in->streams[pkt->stream_index];
        r.packets.push_back({pkt->stream_index, pkt->pts, pkt->dts, pkt->pts * av_q2d(s->time_base),
                             std::string(reinterpret_cast<const char*>(pkt->data),
                                         static_cast<size_t>(pkt->size))});
        av_packet_unref(pkt.get());
    }
    return r;
}

// The number of pictures the video stream decodes to; -1 when the decoder cannot be opened.
int DecodedPictures(const fs::path& p)
{
    InputPtr in = Open(p);
    if (!in)
        return -1;
    const int v = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0)
        return -1;
    const AVCodec* codec = avcodec_find_decoder(in->streams[v]->codecpar->codec_id);
    std::unique_ptr<AVCodecContext, CodecFree> dec(avcodec_alloc_context3(codec));
    if (avcodec_parameters_to_context(dec.get(), in->streams[v]->codecpar) < 0 ||
        avcodec_open2(dec.get(), codec, nullptr) < 0)
        return -1;
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    int pictures = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) == 0)
            ++pictures;
    };
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == v) {
            avcodec_send_packet(dec.get(), pkt.get());
            drain();
        }
        av_packet_unref(pkt.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    drain();
    return pictures;
}

std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep))
        parts.push_back(part);
    if (!s.empty() && s.back() == sep)
        parts.push_back("");
    return parts;
}

bool StartsWith(const std::string& s, const std::string& prefix)
{
    return s.rfind(prefix, 0) == 0;
}

std::vector<fs::path> RecordingsUnder(const fs::path& root)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().extension() == ".mp4")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Resolves a card-relative path with either separator, each component without regard to case,
// as a FAT card is read.
std::optional<fs::path> ResolveOnCard(const fs::path& root, std::string relative)
{
    std::replace(relative.begin(), relative.end(), '\\', '/');
    fs::path at = root;
    for (const std::string& part : Split(relative, '/')) {
        std::optional<fs::path> next;
        for (const auto& e : fs::directory_iterator(at))
            if (strcasecmp(e.path().filename().c_str(), part.c_str()) == 0)
                next = e.path();
        if (!next)
            return std::nullopt;
        at = *next;
    }
    return at;
}

// A zero-terminated text field of the device record.
std::string RecordText(const std::string& record, size_t offset, size_t size)
{
    const std::string field = record.substr(offset, size);
    return field.substr(0, field.find('\0'));
}

int32_t RecordInt(const std::string& record, size_t offset)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(record[offset + i]);
    return static_cast<int32_t>(v);
}

// The moment a recording's file name gives: "REC_YYYY_MM_DD_hh_mm_ss_C.mp4".
struct NameTime {
    int year, month, day, hour, minute, second;
    char channel;
};
std::optional<NameTime> ParseName(const std::string& name)
{
    static const std::regex form(
        R"(REC_(\d{4})_(\d{2})_(\d{2})_(\d{2})_(\d{2})_(\d{2})_([FR])\.mp4)");
    std::smatch m;
    if (!std::regex_match(name, m, form))
        return std::nullopt;
    return NameTime{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]),
                    std::stoi(m[5]), std::stoi(m[6]), m[7].str()[0]};
}

// Seconds since 1970 of a civil time taken as UTC.
int64_t ToEpoch(int y, int mo, int d, int h, int mi, int s)
{
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return static_cast<int64_t>(timegm(&t));
}

// One telemetry line read back: the G-sensor sample in 1/128 g when it has one, and the RMC
// sentence's fields when it has one.
struct LineReading {
    std::optional<std::array<double, 3>> g;  // x, y, z in g
    std::vector<std::string> rmc;            // tokens of the RMC sentence, token 0 "GPRMC"
    bool car = false;
};

LineReading ReadLine(const std::string& line)
{
    LineReading r;
    const std::vector<std::string> t = Split(line, ',');
    if (t.empty())
        return r;
    if (t[0] == "gsensor" && t.size() >= 4) {
        r.g = std::array<double, 3>{std::stod(t[1]) / 128, std::stod(t[2]) / 128,
                                    std::stod(t[3]) / 128};
    } else if (t[0] == "gsensori" && t.size() >= 6) {
        const double perG = std::stod(t[2]) / std::stod(t[1]);
        r.g = std::array<double, 3>{std::stod(t[3]) / perG, std::stod(t[4]) / perG,
                                    std::stod(t[5]) / perG};
    }
    r.car = line.find(",CAR,") != std::string::npos;
    const size_t rmc = line.find("GPRMC,");
    if (rmc != std::string::npos)
        r.rmc = Split(line.substr(rmc), ',');
    return r;
}

// ddmm.mmmm (or dddmm.mmmm) to degrees; NaN when the text is not of that form.
double NmeaDegrees(const std::string& text, int degreeDigits)
{
    static const std::regex form(R"(\d+\.\d{4})");
    if (!std::regex_match(text, form) || text.find('.') != static_cast<size_t>(degreeDigits + 2))
        return NAN;
    const double minutes = std::stod(text.substr(static_cast<size_t>(degreeDigits)));
    if (minutes >= 60.0)
        return NAN;
    return std::stod(text.substr(0, static_cast<size_t>(degreeDigits))) + minutes / 60.0;
}

bool ChecksumMatches(const std::string& sentence)
{
    const size_t star = sentence.find('*');
    if (star == std::string::npos || star + 3 != sentence.size())
        return false;
    unsigned sum = 0;
    for (size_t i = 0; i < star; ++i)
        sum ^= static_cast<unsigned char>(sentence[i]);
    return std::stoul(sentence.substr(star + 1), nullptr, 16) == sum;
}

// ---------------------------------------------------------------------------------------------

TEST(MkcardPair, FfprobeShowsH264AacAndATextTrackOfTelemetryLines)
{
    const fs::path pair = Fixtures() / "single" / "pair";
    for (const char* name : {"REC_2026_05_14_08_30_00_F.mp4", "REC_2026_05_14_08_30_00_R.mp4"}) {
        SCOPED_TRACE(name);
        const RunResult probe =
            RunProgram("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of",
                                   "csv=p=0", (pair / name).string()});
        ASSERT_EQ(probe.status, 0) << probe.err;
        EXPECT_EQ(probe.out, "h264\naac\nmov_text\n");

        const auto rec = Read(pair / name);
        ASSERT_TRUE(rec);
        const auto text = rec->PacketsOf(rec->StreamOf(AVMEDIA_TYPE_SUBTITLE));
        ASSERT_FALSE(text.empty());
        for (const Packet* p : text) {
            // Readers take packets of 3 to 150 bytes: a 2-byte big-endian length, then the line.
            ASSERT_GE(p->bytes.size(), 3u);
            ASSERT_LE(p->bytes.size(), 150u);
            const size_t length =
                (static_cast<uint8_t>(p->bytes[0]) << 8) | static_cast<uint8_t>(p->bytes[1]);
            EXPECT_EQ(length, p->bytes.size() - 2);
            const std::string line = p->bytes.substr(2);
            EXPECT_TRUE(StartsWith(line, "gsensori,") || StartsWith(line, "gsensor,") ||
                        StartsWith(line, "GPRMC,"))
                << line;
            EXPECT_EQ(line.find('\0'), std::string::npos) << line;
        }
    }
}

// The lines of a front and a rear recording together use every line form readers know, and
// each second starts with a line that carries a GPS fix.
TEST(MkcardTelemetry, PairUsesEveryLineFormWithAFixEachSecond)
{
    std::set<std::string> forms;
    for (const char* name : {"REC_2026_05_14_08_30_00_F.mp4", "REC_2026_05_14_08_30_00_R.mp4"}) {
        SCOPED_TRACE(name);
        const auto rec = Read(Fixtures() / "single" / "pair" / name);
        ASSERT_TRUE(rec);
        const std::vector<std::string> lines = rec->Lines();
        for (size_t j = 0; j < lines.size(); ++j) {
            const LineReading r = ReadLine(lines[j]);
            EXPECT_EQ(!r.rmc.empty(), j % 10 == 0) << "line " << j << ": " << lines[j];
            if (StartsWith(lines[j], "gsensori,") && r.car && !r.rmc.empty())
                forms.insert("gsensori+CAR+GPRMC");
            else if (StartsWith(lines[j], "gsensori,"))
                forms.insert("gsensori");
            else if (StartsWith(lines[j], "gsensor,"))
                forms.insert("gsensor");
            else if (StartsWith(lines[j], "GPRMC,"))
                forms.insert("GPRMC");
        }
    }
    EXPECT_EQ(forms, (std::set<std::string>{"gsensori+CAR+GPRMC", "gsensori", "gsensor", "GPRMC"}));
}

// Text packets sit on the video timeline: line j starts at j/10 s, and the lines cover the
// video exactly, whatever the frame rate and length.
TEST(MkcardTelemetry, LinesFollowTheVideoTimeline)
{
    struct Case {
        const char* fixture;
        double seconds;
    };
    const Case cases[] = {{"single/normal.mp4", 2.0},
                          {"single/bframes.mp4", 2.0},
                          {"single/oneframe.mp4", 1.0 / 15},
                          {"card/cont_rec/REC_2026_05_14_08_30_00_R.mp4", 3.0},
                          {"card-long/cont_rec/REC_2026_05_14_08_32_00_F.mp4", 20.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const auto rec = Read(Fixtures() / c.fixture);
        ASSERT_TRUE(rec);
        EXPECT_NEAR(rec->videoSeconds, c.seconds, 1e-3);
        const auto text = rec->PacketsOf(rec->StreamOf(AVMEDIA_TYPE_SUBTITLE));
        EXPECT_EQ(text.size(), static_cast<size_t>(std::ceil(c.seconds * 10 - 1e-6)));
        for (size_t j = 0; j < text.size(); ++j)
            EXPECT_NEAR(text[j]->ptsSeconds, j * 0.1, 1e-3) << "line " << j;
        // The first picture is shown at 0, like the first line.
        double firstPicture = 1e9;
        for (const Packet* p : rec->PacketsOf(rec->StreamOf(AVMEDIA_TYPE_VIDEO)))
            firstPicture = std::min(firstPicture, p->ptsSeconds);
        EXPECT_NEAR(firstPicture, 0.0, 1e-3);
    }
}

// Across the card the GPS fixes tell one drive: each fix's UTC time is its file's local time
// minus 9 hours plus its second in the recording, coordinates are valid NMEA, the car moves at
// changing speed, and every recording's G-sensor curve rests at about 1 g with a bump.
TEST(MkcardTelemetry, CardTelemetryDescribesAPlausibleDrive)
{
    std::set<std::string> positions;
    double slowest = 1e9, fastest = 0;
    const std::vector<fs::path> files = RecordingsUnder(Fixtures() / "card");
    ASSERT_FALSE(files.empty());
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto name = ParseName(file.filename().string());
        ASSERT_TRUE(name);
        const int64_t utcStart =
            ToEpoch(name->year, name->month, name->day, name->hour, name->minute, name->second) -
            9 * 3600;
        const auto rec = Read(file);
        ASSERT_TRUE(rec);
        int fix = 0;
        double peak = 0;
        std::vector<double> z;
        for (const std::string& line : rec->Lines()) {
            const LineReading r = ReadLine(line);
            if (r.g) {
                peak = std::max({peak, std::fabs((*r.g)[0]), std::fabs((*r.g)[1])});
                z.push_back((*r.g)[2]);
            }
            if (r.rmc.empty())
                continue;
            ASSERT_GE(r.rmc.size(), 10u) << line;
            const std::string sentence = line.substr(line.find("GPRMC,"));
            EXPECT_TRUE(ChecksumMatches(sentence)) << sentence;
            const std::string& hms = r.rmc[1];
            const std::string& dmy = r.rmc[9];
            ASSERT_EQ(hms.size(), 9u) << line;
            ASSERT_EQ(dmy.size(), 6u) << line;
            const int64_t at =
                ToEpoch(2000 + std::stoi(dmy.substr(4, 2)), std::stoi(dmy.substr(2, 2)),
                        std::stoi(dmy.substr(0, 2)), std::stoi(hms.substr(0, 2)),
                        std::stoi(hms.substr(2, 2)), std::stoi(hms.substr(4, 2)));
            EXPECT_EQ(at, utcStart + fix) << line;
            EXPECT_EQ(r.rmc[2], "A");
            EXPECT_FALSE(std::isnan(NmeaDegrees(r.rmc[3], 2))) << r.rmc[3];
            EXPECT_FALSE(std::isnan(NmeaDegrees(r.rmc[5], 3))) << r.rmc[5];
            EXPECT_TRUE(r.rmc[4] == "N" && r.rmc[6] == "E") << line;
            positions.insert(r.rmc[3] + r.rmc[5]);
            const double knots = std::stod(r.rmc[7]);
            slowest = std::min(slowest, knots);
            fastest = std::max(fastest, knots);
            ++fix;
        }
        EXPECT_EQ(fix, 3) << "one fix per second of a 3-second recording";
        ASSERT_FALSE(z.empty());
        std::sort(z.begin(), z.end());
        EXPECT_NEAR(z[z.size() / 2], 1.0, 0.15) << "at rest the sensor reads 1 g upwards";
        EXPECT_GT(peak, 1.0) << "the curve has a bump";
        EXPECT_LT(peak, 4.0) << "the bump stays within the sensor's range";
    }
    EXPECT_GT(positions.size(), files.size()) << "the car moves between fixes";
    EXPECT_GT(fastest - slowest, 10.0) << "the speed changes";
}

// ---------------------------------------------------------------------------------------------

TEST(MkcardSingle, EachKindHasTheStreamsItIsNamedFor)
{
    const AVCodecID none = AV_CODEC_ID_NONE;
    struct Case {
        const char* file;
        AVCodecID video, audio;
        bool text;
        int width, height;
    };
    const Case cases[] = {
        {"normal.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, true, 320, 180},
        {"noaudio.mp4", AV_CODEC_ID_H264, none, true, 320, 180},
        {"pcm_s16le.mov", AV_CODEC_ID_H264, AV_CODEC_ID_PCM_S16LE, true, 320, 180},
        {"pcm_s16be.mov", AV_CODEC_ID_H264, AV_CODEC_ID_PCM_S16BE, true, 320, 180},
        {"mp3.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_MP3, true, 320, 180},
        {"mpeg4.mp4", AV_CODEC_ID_MPEG4, AV_CODEC_ID_AAC, true, 320, 180},
        {"bframes.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, true, 320, 180},
        {"tiny16.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, true, 16, 16},
        {"oneframe.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, true, 320, 180},
        {"audioonly.mp4", none, AV_CODEC_ID_AAC, true, 0, 0},
        {"notext.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, false, 320, 180},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto rec = Read(Fixtures() / "single" / c.file);
        ASSERT_TRUE(rec);
        const int v = rec->StreamOf(AVMEDIA_TYPE_VIDEO), a = rec->StreamOf(AVMEDIA_TYPE_AUDIO);
        EXPECT_EQ(v < 0 ? none : rec->streams[v].codec, c.video);
        EXPECT_EQ(a < 0 ? none : rec->streams[a].codec, c.audio);
        EXPECT_EQ(rec->StreamOf(AVMEDIA_TYPE_SUBTITLE) >= 0, c.text);
        if (v >= 0) {
            EXPECT_EQ(rec->streams[v].width, c.width);
            EXPECT_EQ(rec->streams[v].height, c.height);
            EXPECT_GT(DecodedPictures(Fixtures() / "single" / c.file), 0);
        }
        if (a >= 0)
            EXPECT_EQ(rec->streams[a].channels, 2);
    }

    const auto one = Read(Fixtures() / "single" / "oneframe.mp4");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->PacketsOf(one->StreamOf(AVMEDIA_TYPE_VIDEO)).size(), 1u);

    // With B-frames some picture is stored before one it is shown after.
    const auto b = Read(Fixtures() / "single" / "bframes.mp4");
    ASSERT_TRUE(b);
    const auto video = b->PacketsOf(b->StreamOf(AVMEDIA_TYPE_VIDEO));
    bool reordered = false;
    for (size_t i = 1; i < video.size(); ++i)
        reordered = reordered || video[i]->pts < video[i - 1]->pts;
    EXPECT_TRUE(reordered);
    const auto n = Read(Fixtures() / "single" / "normal.mp4");
    ASSERT_TRUE(n);
    for (const Packet* p : n->PacketsOf(n->StreamOf(AVMEDIA_TYPE_VIDEO)))
        EXPECT_EQ(p->pts, p->dts);
}

// The top-level boxes of an MP4 file, by type.
std::multiset<std::string> TopLevelBoxes(const std::string& bytes)
{
    std::multiset<std::string> types;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint64_t size = 0;
        for (int i = 0; i < 4; ++i)
            size = (size << 8) | static_cast<uint8_t>(bytes[at + i]);
        types.insert(bytes.substr(at + 4, 4));
        if (size < 8)
            break;
        at += size;
    }
    return types;
}

TEST(MkcardSingle, DamagedKindsAreReallyDamaged)
{
    const fs::path single = Fixtures() / "single";

    EXPECT_EQ(fs::file_size(single / "empty.mp4"), 0u);
    EXPECT_FALSE(Open(single / "empty.mp4"));

    // Cut before its index: the media data is there, the moov box is not, and it does not open.
    const std::string truncated = ReadFile(single / "truncated.mp4");
    EXPECT_GT(truncated.size(), 1000u);
    const auto boxes = TopLevelBoxes(truncated);
    EXPECT_EQ(boxes.count("mdat"), 1u);
    EXPECT_EQ(boxes.count("moov"), 0u);
    EXPECT_FALSE(Open(single / "truncated.mp4"));
    EXPECT_EQ(truncated, ReadFile(single / "normal.mp4").substr(0, truncated.size()))
        << "a cut, not a different file";

    // The configuration record keeps version 1 but its first parameter-set length runs past its
    // end, and the video no longer decodes, while the same recording undamaged does.
    InputPtr in = Open(single / "badavcc.mp4");
    ASSERT_TRUE(in);
    const int v = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    ASSERT_GE(v, 0);
    const AVCodecParameters* par = in->streams[v]->codecpar;
    ASSERT_GE(par->extradata_size, 8);
    EXPECT_EQ(par->extradata[0], 1);
    const int spsLength = (par->extradata[6] << 8) | par->extradata[7];
    EXPECT_GT(8 + spsLength, par->extradata_size);
    EXPECT_LE(DecodedPictures(single / "badavcc.mp4"), 0);
    EXPECT_GT(DecodedPictures(single / "normal.mp4"), 0);

    // Every text sample claims a million bytes at the first sample's offset, in a file that
    // holds far fewer; the pictures still decode.
    InputPtr huge = Open(single / "hugetext.mp4");
    ASSERT_TRUE(huge);
    ASSERT_GE(avformat_find_stream_info(huge.get(), nullptr), 0);
    const int t = av_find_best_stream(huge.get(), AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
    ASSERT_GE(t, 0);
    AVStream* text = huge->streams[t];
    const int entries = avformat_index_get_entries_count(text);
    EXPECT_GE(entries, 10);
    const AVIndexEntry* first = avformat_index_get_entry(text, 0);
    ASSERT_TRUE(first);
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(text, i);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->size, 1000000);
        EXPECT_EQ(entry->pos, first->pos);
    }
    EXPECT_LT(fs::file_size(single / "hugetext.mp4"), 1000000u);
    EXPECT_GT(DecodedPictures(single / "hugetext.mp4"), 0);
}

TEST(MkcardSingle, SameArgumentsWriteTheSameBytes)
{
    TempDir first, second;
    for (const char* kind : {"pair", "normal", "bframes", "mp3", "mpeg4", "pcm_s16be", "badavcc"}) {
        SCOPED_TRACE(kind);
        for (const TempDir* dir : {&first, &second}) {
            const RunResult r = RunMkcard({"single", kind, (dir->Path() / kind).string(), "--size",
                                           "64x36", "--seconds", "1.2", "--fps", "10"});
            ASSERT_EQ(r.status, 0) << r.err;
        }
        const fs::path a = first.Path() / kind, b = second.Path() / kind;
        if (fs::is_directory(a)) {
            for (const auto& e : fs::directory_iterator(a))
                EXPECT_EQ(ReadFile(e.path()), ReadFile(b / e.path().filename())) << e.path();
            EXPECT_EQ(std::distance(fs::directory_iterator(a), {}), 2);
        } else {
            const std::string bytes = ReadFile(a);
            EXPECT_GT(bytes.size(), 0u);
            EXPECT_EQ(bytes, ReadFile(b));
        }
    }
}

// ---------------------------------------------------------------------------------------------

TEST(MkcardCard, LayoutHasEveryFolderWithPairsAndOrphans)
{
    const fs::path card = Fixtures() / "card";
    for (const char* folder : {"cont_rec", "evt_rec", "manual_rec", "motion_rec",
                               "motion_timelapse_rec", "parking_rec", "DUALSAVE"})
        EXPECT_TRUE(fs::is_directory(card / folder)) << folder;

    std::map<std::string, std::set<char>> moments;  // folder/time -> channels
    std::set<std::string> names;
    int rearsWithSound = 0, rearsWithout = 0;
    for (const fs::path& file : RecordingsUnder(card)) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        const auto parsed = ParseName(name);
        ASSERT_TRUE(parsed);
        EXPECT_TRUE(names.insert(name).second)
            << "two recordings of one moment in different folders";
        moments[file.parent_path().filename().string() + "/" + name.substr(0, name.size() - 6)]
            .insert(parsed->channel);
        const auto rec = Read(file);
        ASSERT_TRUE(rec);
        ASSERT_GE(rec->StreamOf(AVMEDIA_TYPE_VIDEO), 0);
        EXPECT_EQ(rec->streams[rec->StreamOf(AVMEDIA_TYPE_VIDEO)].codec, AV_CODEC_ID_H264);
        EXPECT_GE(rec->StreamOf(AVMEDIA_TYPE_SUBTITLE), 0);
        const int a = rec->StreamOf(AVMEDIA_TYPE_AUDIO);
        if (a >= 0) {
            EXPECT_EQ(rec->streams[a].codec, AV_CODEC_ID_AAC);
            EXPECT_EQ(rec->streams[a].channels, 2);
            EXPECT_TRUE(rec->streams[a].sampleRate == 44100 || rec->streams[a].sampleRate == 48000);
        }
        if (parsed->channel == 'F')
            EXPECT_GE(a, 0) << "every front records sound";
        else
            ++(a >= 0 ? rearsWithSound : rearsWithout);
    }
    int pairs = 0, frontOnly = 0, rearOnly = 0;
    for (const auto& [moment, channels] : moments) {
        if (channels.size() == 2)
            ++pairs;
        else
            ++(channels.count('F') ? frontOnly : rearOnly);
    }
    EXPECT_GE(pairs, 7);
    EXPECT_GE(frontOnly, 1);
    EXPECT_GE(rearOnly, 1);
    EXPECT_GE(rearsWithSound, 1);
    EXPECT_GE(rearsWithout, 1);
}

TEST(MkcardCard, DeviceRecordAndSettingsProgram)
{
    const fs::path card = Fixtures() / "card";
    const std::string record = ReadFile(card / "setting" / "setup.cfg");
    ASSERT_EQ(record.size(), 764u);
    EXPECT_EQ(RecordText(record, 8, 32), "Q914");
    EXPECT_FALSE(RecordText(record, 40, 184).empty());
    EXPECT_FALSE(RecordText(record, 356, 104).empty());
    EXPECT_EQ(RecordInt(record, 460), 0);
    EXPECT_FALSE(fs::exists(card / "setting" / "blackbox.cfg"));

    // The settings program is where the record says, relative to the card root, and runs.
    const std::string program = RecordText(record, 228, 128);
    const auto path = ResolveOnCard(card, program);
    ASSERT_TRUE(path) << program;
    const RunResult r = RunProgram(*path, {});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(r.out.empty());

    // Only the older settings file, and its program at the fixed path.
    const fs::path old = Fixtures() / "card-blackbox";
    EXPECT_FALSE(ResolveOnCard(old, "setting/setup.cfg"));
    const auto ini = ResolveOnCard(old, "SETTING\\blackbox.cfg");
    ASSERT_TRUE(ini);
    const std::vector<std::string> lines = Split(ReadFile(*ini), '\n');
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[blackbox]\r");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("version=[^\r]{1,9}\r"))) << lines[1];
    EXPECT_EQ(lines[2], "model=Q914\r");
    const auto oldProgram = ResolveOnCard(old, "SETTING\\R208_Setting.exe");
    ASSERT_TRUE(oldProgram);
    EXPECT_EQ(RunProgram(*oldProgram, {}).status, 0);
    EXPECT_FALSE(RecordingsUnder(old / "cont_rec").empty());
}

// The card options reach the device record and the layout.
TEST(MkcardCard, OptionsShapeTheCard)
{
    struct Case {
        std::vector<std::string> options;
        std::string model;
        int32_t localId;
        bool dualSave, setupCfg, blackboxCfg;
    };
    const Case cases[] = {
        {{"--model", "Q914 (A)", "--local-id", "45"}, "Q914 (A)", 45, false, true, false},
        {{"--blackbox-cfg", "--local-id", "-7"}, "Q914", -7, true, true, true},
        {{"--model", "Q800", "--no-setup-cfg", "--blackbox-cfg"}, "Q800", 0, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        TempDir dir;
        std::vector<std::string> args{
            "card", dir.Path().string(), "--size", "32x18", "--seconds", "0.5", "--fps", "4"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = RunMkcard(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(fs::exists(dir.Path() / "DUALSAVE"), c.dualSave);
        EXPECT_EQ(fs::exists(dir.Path() / "setting" / "setup.cfg"), c.setupCfg);
        EXPECT_EQ(fs::exists(dir.Path() / "setting" / "blackbox.cfg"), c.blackboxCfg);
        if (c.setupCfg) {
            const std::string record = ReadFile(dir.Path() / "setting" / "setup.cfg");
            ASSERT_EQ(record.size(), 764u);
            EXPECT_EQ(RecordText(record, 8, 32), c.model);
            EXPECT_EQ(RecordInt(record, 460), c.localId);
        }
        if (c.blackboxCfg)
            EXPECT_NE(
                ReadFile(dir.Path() / "setting" / "blackbox.cfg").find("model=" + c.model + "\r\n"),
                std::string::npos);
        const auto rec = Read(dir.Path() / "cont_rec" / "REC_2026_05_14_08_30_00_F.mp4");
        ASSERT_TRUE(rec);
        const int v = rec->StreamOf(AVMEDIA_TYPE_VIDEO);
        ASSERT_GE(v, 0);
        EXPECT_EQ(rec->streams[v].width, 32);
        EXPECT_EQ(rec->streams[v].height, 18);
        EXPECT_EQ(rec->PacketsOf(v).size(), 2u) << "0.5 s at 4 frames per second";
    }
}

// ---------------------------------------------------------------------------------------------

TEST(MkcardCommandLine, BadArgumentsFailWithAMessageAndWriteNothing)
{
    TempDir dir;
    const std::string out = (dir.Path() / "out").string();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"bake", out},
        {"card"},
        {"card", out, "--size", "0x0"},
        {"card", out, "--size", "33x32"},
        {"card", out, "--size", "320"},
        {"card", out, "--size", "320x180x2"},
        {"card", out, "--fps", "0"},
        {"card", out, "--fps", "ten"},
        {"card", out, "--seconds", "-1"},
        {"card", out, "--seconds", "nan"},
        {"card", out, "--seconds"},
        {"card", out, "--local-id", "4294967296"},
        {"card", out, "--model", ""},
        {"card", out, "--model", "a model name far longer than thirty-one bytes"},
        {"card", out, "--bogus"},
        {"card", out, "extra"},
        {"single", "nosuchkind", out},
        {"single", "normal"},
        {"single", "normal", out, "--model", "Q914"},
        {"fixtures"},
        {"info", (dir.Path() / "missing").string()},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const std::string& a : args)
            shown += " " + a;
        SCOPED_TRACE("mkcard" + shown);
        const RunResult r = RunMkcard(args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.status, -1) << "crashed";
        EXPECT_TRUE(StartsWith(r.err, "mkcard: ")) << r.err;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST(MkcardCommandLine, FixturesRefuseToReplaceAFolderTheyDidNotWrite)
{
    TempDir dir;
    const fs::path target = dir.Path() / "mine";
    fs::create_directories(target);
    std::ofstream(target / "keep.txt") << "precious";
    const RunResult r = RunMkcard({"fixtures", target.string()});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("refusing"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(target / "keep.txt"), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(target), {}), 1);
}

// `info` lists every recording with the telemetry count a reader finds, and reports the
// unreadable ones without stopping.
TEST(MkcardInfo, ListsEachRecordingWithItsTelemetryLines)
{
    const RunResult card = RunMkcard({"info", (Fixtures() / "card").string()});
    ASSERT_EQ(card.status, 0) << card.err;
    const std::vector<fs::path> files = RecordingsUnder(Fixtures() / "card");
    for (const fs::path& file : files) {
        const std::string shown = fs::relative(file, Fixtures() / "card").generic_string();
        SCOPED_TRACE(shown);
        const size_t at = card.out.find(shown + "\n");
        ASSERT_NE(at, std::string::npos);
        const std::string block = card.out.substr(at, card.out.find("\n\n", at) - at);
        const auto rec = Read(file);
        ASSERT_TRUE(rec);
        const size_t lines = rec->Lines().size();
        EXPECT_NE(block.find(", " + std::to_string(lines) + " telemetry lines"), std::string::npos)
            << block;
        EXPECT_NE(block.find("h264, 320x180"), std::string::npos) << block;
    }
    EXPECT_NE(card.out.find(std::to_string(files.size()) + " recordings"), std::string::npos);

    const RunResult single = RunMkcard({"info", (Fixtures() / "single").string()});
    EXPECT_EQ(single.status, 1);
    EXPECT_NE(single.out.find("truncated.mp4\n  "), std::string::npos);
    EXPECT_NE(single.out.find("empty.mp4\n  cannot open"), std::string::npos);
    EXPECT_NE(single.out.find("2 unreadable"), std::string::npos) << single.out;
    EXPECT_NE(single.out.find("pcm_s16le.mov\n"), std::string::npos);
}

}  // namespace
