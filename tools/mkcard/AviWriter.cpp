#include "AviWriter.h"

#include "FFmpegOwners.h"
#include "Sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace fs = std::filesystem;

namespace mkcard {

namespace {

constexpr uint32_t kKeyFrame = 0x10;      // AVIIF_KEYFRAME
constexpr uint32_t kHasIndex = 0x10;      // AVIF_HASINDEX
constexpr uint32_t kInterleaved = 0x100;  // AVIF_ISINTERLEAVED
constexpr size_t kJunkBytes = 500;

void PutLe16(std::string& s, uint32_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void PutLe32(std::string& s, uint32_t v)
{
    PutLe16(s, v & 0xFFFF);
    PutLe16(s, v >> 16);
}
void SetLe32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A chunk: id, size, data and the pad byte that keeps chunks on even positions.
std::string Chunk(const char* id, const std::string& data)
{
    std::string c(id, 4);
    PutLe32(c, static_cast<uint32_t>(data.size()));
    c += data;
    if (data.size() % 2)
        c += '\0';
    return c;
}

std::string List(const char* type, const std::string& body)
{
    std::string l = "LIST";
    PutLe32(l, static_cast<uint32_t>(body.size() + 4));
    l.append(type, 4);
    l += body;
    return l;
}

struct StreamHeader {
    const char* type;
    std::string handler;  // 4 bytes
    uint32_t scale, rate, length, bufferSize, sampleSize;
    uint16_t width, height;
};

std::string Strh(const StreamHeader& h)
{
    std::string d(h.type, 4);
    d += h.handler;
    PutLe32(d, 0);  // flags
    PutLe16(d, 0);  // priority
    PutLe16(d, 0);  // language
    PutLe32(d, 0);  // initial frames
    PutLe32(d, h.scale);
    PutLe32(d, h.rate);
    PutLe32(d, 0);  // start
    PutLe32(d, h.length);
    PutLe32(d, h.bufferSize);
    PutLe32(d, 0xFFFFFFFFu);  // quality: the default
    PutLe32(d, h.sampleSize);
    PutLe16(d, 0);  // frame rectangle
    PutLe16(d, 0);
    PutLe16(d, h.width);
    PutLe16(d, h.height);
    return Chunk("strh", d);
}

// One chunk of the movi list, with what its index entry needs.
struct MoviChunk {
    std::string id;
    std::string data;
    bool key;
    bool telemetry;
    size_t position = 0;  // of its header within the movi list's body
};

class AviSession {
public:
    AviSession(const RecordingSpec& spec, const AviOptions& options)
        : m_spec(spec), m_options(options)
    {
    }

    std::string Build()
    {
        const int frames = m_spec.video != VideoCodec::None ? m_spec.FrameCount() : 0;
        if (frames == 0)
            throw std::invalid_argument("an AVI recording needs video");
        const double length = m_spec.LengthSeconds();
        const bool sound = m_spec.audio != AudioCodec::None;
        const bool rear = m_options.rearVideo;
        // Streams: the front video, the rear video when there is one, sound, telemetry.
        const int soundStream = rear ? 2 : 1;
        const std::string soundId = "0" + std::to_string(soundStream) + "wb";
        const std::string textId = "0" + std::to_string(soundStream + (sound ? 1 : 0)) + "tx";

        m_front = OpenEncoder();
        if (rear)
            m_rear = OpenEncoder();
        TelemetryPlan plan = m_spec.telemetry;
        plan.lengthSeconds = length;
        std::vector<AviTelemetryChunk> telemetry = AviTelemetryChunks(plan, m_options.style);
        if (m_options.damage == AviDamage::OversizedTextChunks) {
            if (m_options.style == AviTelemetryStyle::Samples || telemetry.size() < 10)
                throw std::invalid_argument("oversized text chunks need text telemetry of 1 s");
            for (int line = 1; line <= 9; ++line) {
                const size_t size = kTextChunkData + static_cast<size_t>(line);
                std::string text = "gsensor," + std::to_string(size) + "," + std::to_string(line) +
                                   ",-" + std::to_string(line) + ",";
                text.resize(size, 'x');
                telemetry[static_cast<size_t>(line)].payload = text;
            }
        }

        // Sound in tenth-second blocks, one per telemetry line, so all three streams step
        // together: at each step the sound block, the telemetry chunk, then the pictures that
        // start before the next step.
        const int rate = m_spec.sampleRate;
        const int64_t totalSamples = sound ? std::llround(length * rate) : 0;
        Tone tone(440.0, rate, totalSamples);
        int64_t samplesDone = 0;
        int framesDone = 0;
        for (size_t j = 0; j < telemetry.size(); ++j) {
            if (sound) {
                const bool last = j + 1 == telemetry.size();
                const int64_t end =
                    last ? totalSamples
                         : std::min<int64_t>(totalSamples,
                                             std::llround(double(j + 1) * rate / kLinesPerSecond));
                if (end > samplesDone) {
                    m_chunks.push_back(
                        {soundId, Pcm(tone, static_cast<int>(end - samplesDone)), true, false});
                    samplesDone = end;
                }
            }
            m_chunks.push_back({textId, telemetry[j].payload, true, true});
            if (m_options.damage == AviDamage::UndeclaredStream)
                m_chunks.push_back({kUndeclaredId, std::string(64, char(0xA5)), true, false});
            const double next = double(j + 1) / kLinesPerSecond;
            while (framesDone < frames &&
                   (double(framesDone) / m_spec.fps < next || j + 1 == telemetry.size())) {
                EncodeFrame(m_front, m_spec.channel, framesDone);
                if (rear)
                    EncodeFrame(m_rear, Channel::Rear, framesDone);
                ++framesDone;
            }
        }
        Flush(m_front);
        if (rear)
            Flush(m_rear);
        return Assemble(frames, sound, static_cast<uint32_t>(totalSamples),
                        static_cast<uint32_t>(telemetry.size()));
    }

private:
    // One video stream: its encoder, the picture it encodes from and its chunk id.
    struct VideoStream {
        CodecContextPtr encoder;
        FramePtr picture;
        std::string id;
    };

    VideoStream OpenEncoder()
    {
        VideoStream stream;
        stream.id = m_front.encoder ? "01dc" : "00dc";
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec)
            throw std::runtime_error("video encoder libx264 is not available");
        stream.encoder.reset(avcodec_alloc_context3(codec));
        if (!stream.encoder)
            throw std::bad_alloc();
        AVCodecContext* c = stream.encoder.get();
        c->width = m_spec.width;
        c->height = m_spec.height;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = AVRational{1, m_spec.fps};
        c->framerate = AVRational{m_spec.fps, 1};
        c->gop_size = m_spec.fps;
        c->max_b_frames = 0;
        c->thread_count = 1;
        c->flags |= AV_CODEC_FLAG_BITEXACT;  // no global header: SPS and PPS in the stream
        AVDictionary* options = nullptr;
        av_dict_set(&options, "preset", "ultrafast", 0);
        if (m_spec.videoKbps > 0) {
            c->bit_rate = int64_t(m_spec.videoKbps) * 1000;
            c->rc_max_rate = c->bit_rate * 3 / 2;
            c->rc_buffer_size = static_cast<int>(c->bit_rate);
        } else {
            av_dict_set(&options, "crf", "26", 0);
        }
        const int rc = avcodec_open2(c, codec, &options);
        av_dict_free(&options);
        AvCheck(rc, "opening the libx264 encoder");
        stream.picture.reset(av_frame_alloc());
        if (!stream.picture)
            throw std::bad_alloc();
        AVFrame* picture = stream.picture.get();
        picture->format = c->pix_fmt;
        picture->width = c->width;
        picture->height = c->height;
        AvCheck(av_frame_get_buffer(picture, 0), "allocating a picture");
        return stream;
    }

    void EncodeFrame(VideoStream& stream, Channel channel, int index)
    {
        AVFrame* picture = stream.picture.get();
        AvCheck(av_frame_make_writable(picture), "preparing a picture");
        PaintFrame(picture, channel, index, m_spec.fps, m_spec.videoKbps > 0);
        picture->pts = index;
        AvCheck(avcodec_send_frame(stream.encoder.get(), picture), "encoding a picture");
        Drain(stream);
    }

    void Flush(VideoStream& stream)
    {
        AvCheck(avcodec_send_frame(stream.encoder.get(), nullptr), "finishing the encoder");
        Drain(stream);
    }

    void Drain(VideoStream& stream)
    {
        PacketPtr pkt(av_packet_alloc());
        if (!pkt)
            throw std::bad_alloc();
        for (;;) {
            const int rc = avcodec_receive_packet(stream.encoder.get(), pkt.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            AvCheck(rc, "encoding");
            m_chunks.push_back({stream.id,
                                std::string(reinterpret_cast<const char*>(pkt->data),
                                            static_cast<size_t>(pkt->size)),
                                (pkt->flags & AV_PKT_FLAG_KEY) != 0, false});
            m_largestFrame = std::max(m_largestFrame, static_cast<uint32_t>(pkt->size));
            av_packet_unref(pkt.get());
        }
    }

    // count stereo samples of the tone, 16-bit little-endian, interleaved.
    std::string Pcm(Tone& tone, int count)
    {
        FramePtr frame(av_frame_alloc());
        if (!frame)
            throw std::bad_alloc();
        frame->format = AV_SAMPLE_FMT_S16;
        frame->sample_rate = m_spec.sampleRate;
        frame->nb_samples = count;
        const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        AvCheck(av_channel_layout_copy(&frame->ch_layout, &stereo), "setting the channel layout");
        AvCheck(av_frame_get_buffer(frame.get(), 0), "allocating sound");
        tone.Fill(frame.get());
        return std::string(reinterpret_cast<const char*>(frame->data[0]),
                           static_cast<size_t>(count) * 4);
    }

    std::string Assemble(int frames, bool sound, uint32_t samples, uint32_t telemetryChunks)
    {
        const uint16_t w = static_cast<uint16_t>(m_spec.width);
        const uint16_t h = static_cast<uint16_t>(m_spec.height);
        const uint32_t streams = (sound ? 3 : 2) + (m_options.rearVideo ? 1 : 0);

        std::string avih;
        PutLe32(avih, static_cast<uint32_t>(1000000 / m_spec.fps));
        PutLe32(avih, m_largestFrame * static_cast<uint32_t>(m_spec.fps));
        PutLe32(avih, 0);
        PutLe32(avih, kHasIndex | kInterleaved);
        PutLe32(avih, static_cast<uint32_t>(frames));
        PutLe32(avih, 0);
        PutLe32(avih, streams);
        PutLe32(avih, m_largestFrame);
        PutLe32(avih, w);
        PutLe32(avih, h);
        avih.append(16, '\0');

        const std::string handler =
            m_options.damage == AviDamage::LowerCaseHandler ? "h264" : "H264";
        std::string bih;
        PutLe32(bih, 40);
        PutLe32(bih, w);
        PutLe32(bih, h);
        PutLe16(bih, 1);
        PutLe16(bih, 24);
        bih += handler;
        PutLe32(bih, uint32_t(w) * h * 3);
        bih.append(16, '\0');
        std::string hdrl = Chunk("avih", avih);
        const std::string videoList =
            List("strl", Strh({"vids", handler, 1, static_cast<uint32_t>(m_spec.fps),
                               static_cast<uint32_t>(frames), m_largestFrame, 0, w, h}) +
                             Chunk("strf", bih));
        hdrl += videoList;
        if (m_options.rearVideo)
            hdrl += videoList;
        if (sound) {
            std::string wave;
            PutLe16(wave, 1);  // PCM
            PutLe16(wave, 2);
            PutLe32(wave, static_cast<uint32_t>(m_spec.sampleRate));
            PutLe32(wave, static_cast<uint32_t>(m_spec.sampleRate) * 4);
            PutLe16(wave, 4);
            PutLe16(wave, 16);
            PutLe16(wave, 0);
            hdrl += List(
                "strl",
                Strh({"auds", std::string(4, '\0'), 1, static_cast<uint32_t>(m_spec.sampleRate),
                      samples, static_cast<uint32_t>(m_spec.sampleRate) * 4 / kLinesPerSecond + 4,
                      4, 0, 0}) +
                    Chunk("strf", wave));
        }
        hdrl += List("strl", Strh({"txts", std::string(4, '\0'), 1, kLinesPerSecond,
                                   telemetryChunks, 128, 0, 0, 0}));
        const std::string header = List("hdrl", hdrl);

        std::string movi;
        for (MoviChunk& c : m_chunks) {
            c.position = movi.size();
            movi += Chunk(c.id.c_str(), c.data);
        }
        const std::string junk = m_options.junk ? Chunk("JUNK", std::string(kJunkBytes, '\0')) : "";
        // Where the "movi" type code lies in the file.
        const size_t moviType = 12 + header.size() + junk.size() + 8;

        std::string index;
        size_t telemetrySeen = 0;
        for (const MoviChunk& c : m_chunks) {
            uint32_t offset = static_cast<uint32_t>(c.position + 4);  // from the type code
            if (m_options.style == AviTelemetryStyle::Samples)
                offset = static_cast<uint32_t>(moviType + 4 + c.position);
            if (c.telemetry && m_options.damage == AviDamage::IndexPastEnd &&
                ++telemetrySeen % 7 == 0)
                offset = kPastEndOffset;
            index += c.id;
            PutLe32(index, c.key ? kKeyFrame : 0);
            PutLe32(index, offset);
            PutLe32(index, static_cast<uint32_t>(c.data.size()));
        }
        std::string idx1 = Chunk("idx1", index);
        if (m_options.damage == AviDamage::HugeIndexSize)
            SetLe32(idx1, 4, 0xFFFFFFF0u);

        std::string body = "AVI " + header + junk + List("movi", movi) + idx1;
        std::string file = "RIFF";
        PutLe32(file, static_cast<uint32_t>(body.size()));
        file += body;
        if (m_options.damage == AviDamage::CutIndex) {
            const size_t indexStart = file.size() - idx1.size();
            file.resize(indexStart + 8 + (index.size() / 16 / 2) * 16 + 5);
        }
        return file;
    }

    const RecordingSpec& m_spec;
    const AviOptions& m_options;
    VideoStream m_front;
    VideoStream m_rear;
    std::vector<MoviChunk> m_chunks;
    uint32_t m_largestFrame = 0;
};

}  // namespace

void AviWriter::Write(const RecordingSpec& spec, const fs::path& path) const
{
    if (spec.width < 2 || spec.height < 2 || spec.width % 2 || spec.height % 2 ||
        spec.width > 4096 || spec.height > 4096)
        throw std::invalid_argument("the picture size must be even, 2x2 to 4096x4096");
    if (spec.fps < 1 || !(spec.LengthSeconds() > 0))
        throw std::invalid_argument("the frame rate and the length must be above 0");
    const std::string bytes = AviSession(spec, m_options).Build();
    const fs::path partial = fs::path(path).concat(".partial");
    try {
        {
            std::ofstream out(partial, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.close();
            if (!out)
                throw std::runtime_error("cannot write " + partial.string());
        }
        fs::rename(partial, path);
    } catch (...) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw;
    }
}

}  // namespace mkcard
